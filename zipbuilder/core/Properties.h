// The component's published properties and events: plain values the host sets
// and the operations read. The setters that do more than store (SetFileName
// lists the archive, the sizes are checked) are TZipBuilder's own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zipbuilder/ZipTypes.h"

class ZipBuilderProperties {
 public:
  // Host seams. True while a form designer edits the owning form: assigning ZipFileName does not list.
  bool Designing = false;
  // The application's main window, handed to the engines and used as owner of boxes.
  uintptr_t OwnerWindow = 0;

  // ---- Published properties ----
  bool Verbose = false;
  bool Trace = false;
  int32_t AddCompLevel = 9;  // 0..9, or kLevelBest
  AddOpts AddOptions;
  ExtrOpts ExtrOptions;
  SFXOpts SFXOptions{SFXCheckSize};
  std::string Password;
  std::string SFXPath;
  std::string ExtrBaseDir;
  OvrOpts SFXOverWriteMode = OvrConfirm;
  std::string SFXCaption = "Self-extracting Archive";
  std::string SFXDefaultDir;
  std::string SFXCommandLine;
  std::string SFXMessage;
  std::string TempDir;
  bool Unattended = false;
  bool ConfirmErase = true;
  CPOpts CodePage = cpAUTO;
  DeleteOpts HowToDelete = htdAllowUndo;
  AddStoreExts AddStoreSuffixes = DefaultStoreSuffixes();
  EncryptionOpts AddEncryption = encTraditional;
  bool UseDirOnlyEntries = false;
  // Extract refuses an ExtrBaseDir that names no directory (message 11062)
  // instead of extracting into the current directory.
  bool ExtrBaseDirMustExist = false;
  // Add stores a symbolic link as a link member holding the link's target
  // (where the system has links) instead of the file it leads to.
  bool AddStoreSymLinks = false;

  // Properties kept behind accessors.
  std::vector<std::string>& FSpecArgs() { return fSpecArgs_; }
  void SetFSpecArgs(const std::vector<std::string>& lines) { fSpecArgs_ = lines; }
  std::vector<std::string>& FSpecArgsExcl() { return fSpecArgsExcl_; }
  void SetFSpecArgsExcl(const std::vector<std::string>& lines) { fSpecArgsExcl_ = lines; }
  const std::string& ZipFileName() const { return zipFileName_; }
  const std::string& DLLDirectory() const { return dllDirectory_; }
  int32_t KeepFreeOnDisk1() const { return static_cast<int32_t>(freeOnDisk1_); }
  int32_t MaxVolumeSize() const { return static_cast<int32_t>(maxVolumeSize_); }
  int32_t MinFreeVolumeSize() const { return minFreeVolumeSize_; }
  const std::string& VersionInfo() const { return versionInfo_; }
  void SetVersionInfo(const std::string&) {}  // read-only in effect
  uint32_t PasswordReqCount() const { return passwordReqCount_; }
  const std::string& RootDir() const { return rootDir_; }
  const TIcon& SFXIcon() const { return sfxIcon_; }
  void SetSFXIcon(const TIcon& icon) { sfxIcon_ = icon; }
  static AddStoreExts DefaultStoreSuffixes();

 protected:
  std::vector<std::string> fSpecArgs_;
  std::vector<std::string> fSpecArgsExcl_;
  std::string zipFileName_;
  std::string dllDirectory_;
  int64_t freeOnDisk1_ = 0;
  int64_t maxVolumeSize_ = 0;
  int32_t minFreeVolumeSize_ = 65536;
  std::string versionInfo_;
  uint32_t passwordReqCount_ = 1;
  std::string rootDir_;
  TIcon sfxIcon_;
};

// The events; one that is not set is not raised.
struct ZipBuilderEvents {
  TNotifyEvent OnDirUpdate;
  TProgressEvent OnProgress;
  TMessageEvent OnMessage;
  TSetNewNameEvent OnSetNewName;
  TNewNameEvent OnNewName;
  TPasswordErrorEvent OnPasswordError;
  TCRC32ErrorEvent OnCRC32Error;
  TExtractOverwriteEvent OnExtractOverwrite;
  TExtractSkippedEvent OnExtractSkipped;
  TCopyZipOverwriteEvent OnCopyZipOverwrite;
  TGetNextDiskEvent OnGetNextDisk;
  TStatusDiskEvent OnStatusDisk;
  TFileCommentEvent OnFileComment;
};
