// TZipBuilder: the ZIP archive component. One class, implemented across the
// subfolders of zipbuilder/ by concern (core, engine, read, rewrite, span, sfx);
// each section below names the files that implement it. Its value types and
// event signatures are in ZipTypes.h.
#pragma once

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"
#include "platform/FileSystem.h"
#include "zipbuilder/ZipTypes.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipbuilder/core/ZipErrors.h"
#include "zipbuilder/read/ZipStream.h"
#include "zipbuilder/span/MemberTable.h"
#include "zipformat/Records.h"

namespace platform {
struct Env;
class DriveProvider;
class TemporaryFile;
}
namespace ui {
class UiService;
class FormatDialog;
}
class TSHFormatThread;
class OutputRule;
class ArchiveReader;
struct StoredArchive;

// ---- The component ---------------------------------------------------------------

class TZipBuilder {
 public:
  // `env` and `ui` default to the POSIX platform and the console.
  explicit TZipBuilder(platform::Env* env = nullptr, ui::UiService* ui = nullptr);
  ~TZipBuilder();
  TZipBuilder(const TZipBuilder&) = delete;
  TZipBuilder& operator=(const TZipBuilder&) = delete;

  // Test and host seams.
  platform::Env& Env() { return *env_; }
  ui::UiService& Ui() { return *ui_; }
  void SetUi(ui::UiService* ui);
  // True while a form designer edits the owning form: assigning ZipFileName does not list.
  bool Designing = false;
  // The application's main window, handed to the engines and used as owner of boxes.
  uintptr_t OwnerWindow = 0;

  // ---- Published properties ----
  bool Verbose = false;
  bool Trace = false;
  int32_t AddCompLevel = 9;
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
  bool UseDirOnlyEntries = false;

  std::vector<std::string>& FSpecArgs() { return fSpecArgs_; }
  void SetFSpecArgs(const std::vector<std::string>& lines) { fSpecArgs_ = lines; }
  std::vector<std::string>& FSpecArgsExcl() { return fSpecArgsExcl_; }
  void SetFSpecArgsExcl(const std::vector<std::string>& lines) { fSpecArgsExcl_ = lines; }

  const std::string& ZipFileName() const { return zipFileName_; }
  void SetFileName(const std::string& name);  // stores, then lists (unless Designing)
  const std::string& DLLDirectory() const { return dllDirectory_; }
  void SetDLLDirectory(const std::string& dir);
  int32_t KeepFreeOnDisk1() const { return static_cast<int32_t>(freeOnDisk1_); }
  void SetFreeOnDisk1(int32_t value);
  int32_t MaxVolumeSize() const { return static_cast<int32_t>(maxVolumeSize_); }
  void SetMaxVolumeSize(int32_t value);
  int32_t MinFreeVolumeSize() const { return minFreeVolumeSize_; }
  void SetMinFreeVolSize(int32_t value);
  const std::string& VersionInfo() const { return versionInfo_; }
  void SetVersionInfo(const std::string&) {}  // read-only in effect
  uint32_t PasswordReqCount() const { return passwordReqCount_; }
  void SetPasswordReqCount(uint32_t value);
  const std::string& RootDir() const { return rootDir_; }
  void SetRootDir(const std::string& dir);
  const TIcon& SFXIcon() const { return sfxIcon_; }
  void SetSFXIcon(const TIcon& icon) { sfxIcon_ = icon; }

  static AddStoreExts DefaultStoreSuffixes();

  // ---- Run-time state ----
  int32_t ErrCode() const { return errCode_; }
  const std::string& Message() const { return message_; }
  int32_t EngineErrCode() const { return engineErrCode_; }
  int32_t SuccessCount() const { return successCount_; }
  int GetCount() const;
  int Count() const { return GetCount(); }
  const std::vector<std::unique_ptr<ZipDirEntry>>& ZipDirEntryRecords() const { return zipDirEntryRecords_; }
  int32_t ArchiveStart() const { return archiveStart_; }
  int32_t CentralDirOffset() const { return centralDirOffset_; }
  int32_t EndOfCentralOffset() const { return endOfCentralOffset_; }
  int32_t ArchiveFileSize() const { return archiveFileSize_; }
  bool Spanned() const { return spanned_; }
  bool StructureWarning() const { return structureWarning_; }
  int32_t SkippedDirCount() const { return skippedDirCount_; }
  uint16_t LastDiskNumber() const { return lastDiskNumber_; }
  bool ZipRunning() const { return zipRunning_; }
  bool UnzipRunning() const { return unzipRunning_; }

  TZipStream& ZipStream() { return *stream_; }
  bool Cancel = false;

  // ---- Events ----
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

  // ---- Core services (core/ZipBuilderCore.cpp) ----
  void StartWaitCursor();
  void StopWaitCursor();
  bool FileExists(const std::string& name);
  // Converts `buffer` in place between the OEM and the system code page, following
  // CodePage and the host and version bytes of the entry being handled.
  void ConvertOem2Iso(std::string& buffer, CodePageDirection direction);
  // The host-system and version bytes ConvertOem2Iso reads, and the general purpose
  // flag of that entry (bit 11 set: UTF-8 already, never converted).
  uint8_t HostSystem = 0;
  uint8_t HostVersion = 0;
  uint16_t HostFlags = 0;

  // ---- Messages and errors (core/ZipMessages.cpp) ----
  std::string LoadZipStr(int id, const std::string& defaultText);
  void ShowZipMessage(int id, const std::string& extra);
  void ShowExceptionError(const EZipBuilder& e);
  // Runs `body` with the boundary convention: EZipBuilder is shown with
  // ShowExceptionError, lack of memory with 10103, other exceptions with
  // `unexpectedId` and a line break plus their text. Returns false after a report;
  // `cleanup` runs after any report.
  bool RunReported(int unexpectedId, const std::function<void()>& body,
                   const std::function<void()>& cleanup = nullptr);

  // ---- File utilities (core/ZipFileUtils.cpp) ----
  static std::string AppendSlash(const std::string& path);
  static std::string ReplaceForwardSlash(std::string text);
  int CopyBuffer(platform::FileHandle& in, platform::FileHandle& out, int64_t count);
  int CopyFileA(const std::string& source, const std::string& destination);
  int EraseFile(const std::string& path, DeleteOpts how);
  std::string MakeTempFileName(const std::string& prefix, const std::string& extension);

  // ---- Listing (read/ZipListing.cpp), end-record search and member table (read/ZipEndRecord.cpp),
  //      volumes and disk prompts (span/ZipVolumes.cpp) ----
  void List();
  std::string GetZipComment();
  void SetZipComment(const std::string& comment);

  // @listing-public: end-record search, member table, volumes and disk prompts
  // End-record search (read/ZipEndRecord.cpp). Opens the input archive name into the
  // input file handle and leaves it open for the caller on every outcome but a
  // failed open; true when `endOfCentral` was found and filled.
  bool CheckIfLastDisk(zip::ZipEndOfCentral& endOfCentral, bool raiseErrors);
  static std::unique_ptr<span::MDZipDataTable> AllocSpanMem(int count);
  static void DeleteSpanMem(std::unique_ptr<span::MDZipDataTable>& table);
  // Index of the entry named `name` (first `nameLength` bytes, case-insensitive); raises 11026.
  static int FindZipEntry(int count, const span::MDZipDataTable& table, const std::string& name,
                          int nameLength);
  // Copies the central directory from the input file handle to `outFile`, shifting
  // every offset by `shift`; 0 on success, -2 on any failure (not reported).
  int RWCentralDir(platform::FileHandle& outFile, zip::ZipEndOfCentral endOfCentral, int32_t shift);

  // Volumes and disk prompts (span/ZipVolumes.cpp).
  bool IsDiskPresent();
  int CheckForDisk();
  bool IsRightDisk(int driveType);
  void GetNewDisk(int diskNumber);
  // Spanning state the volume logic works on, for the spanning operations and tests.
  void SetDriveRoot(const std::string& root) { drive_ = root; }
  const std::string& InFileName() const { return inFileName_; }
  void SetInFileName(const std::string& name) { inFileName_ = name; }
  const std::string& VolumeName() const { return volumeName_; }
  uint32_t VolumeSerial() const { return volumeSerial_; }
  int64_t SizeOfDisk() const { return sizeOfDisk_; }
  int64_t FreeOnDisk() const { return freeOnDisk_; }
  int32_t DiskNr() const { return diskNr_; }
  void SetDiskNr(int32_t number) { diskNr_ = number; }
  void SetNewDisk(bool value) { newDisk_ = value; }
  bool NewDisk() const { return newDisk_; }
  void SetLastDiskNumber(uint16_t number) { lastDiskNumber_ = number; }
  int32_t RealFileSize() const { return realFileSize_; }
  const std::string& RawZipComment() const { return rawZipComment_; }
  platform::FileHandle InFileHandle() const { return inFileHandle_; }
  TZipDiskAction DiskAction() const { return diskAction_; }

  // Spanned sets. Writing (span/ZipSpanWrite.cpp): copies the single-file archive
  // `InFileName` onto the volumes of the set `OutFileName`. Joining
  // (span/ZipSpanJoin.cpp): copies the set one of whose volumes is `InFileName` into
  // one ordinary archive; `OutFileName` names it on entry (its extension becomes
  // ".zip"), or is a directory path ending in a separator for a temporary file,
  // and names the result on return (empty after a failure). Both return 0, or -7,
  // -8, -9 after a reported failure; -9 without a report while another
  // operation runs.
  int WriteSpan(const std::string& InFileName, const std::string& OutFileName);
  int ReadSpan(const std::string& InFileName, std::string& OutFileName);
  // Formats the disk in drive number formatDriveNumber_ through the format dialog,
  // labelling it with VolumeName(): -2 cancelled, -1 error or refused, -3 not run,
  // any other value: the dialog ran to its end (span/DiskFormat.cpp).
  int ZipFormat();
  // What the set writer sets before ZipFormat: the drive (0 for A) and the label.
  void SetFormatTarget(int32_t driveNumber, const std::string& label) {
    formatDriveNumber_ = driveNumber;
    volumeName_ = label;
  }

  // ---- Engine boundary (engine/ZipEngineLoader.cpp), callback (core/ZipCallback.cpp),
  //      extraction (engine/ZipExtract.cpp), passwords (core/ZipPasswords.cpp) ----
  // Engine libraries: load when not loaded (reports 10601..10604, 10701..10704), unload.
  void Load_Zip_Dll();
  void Load_Unz_Dll();
  void Unload_Zip_Dll();
  void Unload_Unz_Dll();
  bool ZipDllLoaded() const { return zipDll_ != nullptr; }
  bool UnzDllLoaded() const { return unzDll_ != nullptr; }
  // Engine versions times 100; a library that is not loaded is loaded, asked and
  // unloaded again. 0 when it cannot be loaded.
  int32_t GetZipVers();
  int32_t GetZipPrivVers();
  int32_t GetUnzVers();
  int32_t GetUnzPrivVers();
  // Makes sure an engine is loaded for one operation; unloads it at the end of
  // the scope only when it was loaded here.
  enum class EngineKind { Zip, Unz };
  class EngineUse {
   public:
    EngineUse(TZipBuilder& owner, EngineKind kind);
    ~EngineUse();
    EngineUse(const EngineUse&) = delete;
    EngineUse& operator=(const EngineUse&) = delete;
    bool Loaded() const;

   private:
    TZipBuilder& owner_;
    EngineKind kind_;
    bool loadedHere_ = false;
  };

  // The engines' callback: turns one callback record into events and answers.
  // Returns 1 when Cancel is set. Never lets an exception reach the engine.
  static int32_t ZCallback(ZCallBackStruct* record);

  // Extraction: members matching FSpecArgs into files below ExtrBaseDir, one
  // member into ZipStream(), or compressed memory into ZipStream().
  void Extract();
  TZipStream* ExtractFileToStream(const std::string& name);
  TZipStream* ExtractStreamToStream(TMemoryStream* input, uint32_t size);

  // Passwords: ask through the password dialog (or report when unattended).
  TPasswordButton GetPassword(const std::string& caption, const std::string& prompt, std::string& password,
                              TPasswordButtons buttons);
  std::string GetExtrPassword();
  std::string GetAddPassword();

  // ---- Adding (engine/ZipAdd.cpp) and deleting (engine/ZipDelete.cpp) ----
  // Adding: files named by FSpecArgs into ZipFileName, the component's stream
  // as one member, or a caller's stream compressed into the component's stream.
  void Add();
  void AddStreamToFile(const std::string& FileName, uint32_t FileDate, uint32_t FileAttr);
  TZipStream* AddStreamToStream(TMemoryStream* input);
  // Removes the members matching FSpecArgs from ZipFileName.
  void Delete();

  // Renaming (rewrite/ZipRename.cpp): changes stored names and dates without the engines.
  // 0 on success, -6 while another operation of this component runs, -7/-8/-9 as
  // RunCoded, -10 when a request for a file gives a new name without a file part.
  int Rename(std::vector<RenameItem*>& RenameList, uint32_t DateTime);
  // Copying between archives (rewrite/ZipCopy.cpp): the members named by FSpecArgs, in
  // their stored form, into `Destination`'s archive. Codes as Rename's; afterwards
  // FSpecArgs holds the names that were not copied.
  int CopyZippedFiles(TZipBuilder* Destination, bool DeleteFromSource, OvrOpts OverWrite);

  // ---- Self-extractors (sfx/ZipSFX.cpp, sfx/ZipSFXBack.cpp) ----
  // ZipFileName (".zip") to a self-extractor of the same base name (".exe"); with
  // `createEmpty` an empty self-extractor under ZipFileName. 0 or a negative code.
  // While another operation runs, these three return at once (-9, -3, 0).
  int ConvertSFX();
  int ConvertSFX(bool createEmpty);
  // ZipFileName (".exe") back to a ".zip", its settings taken into the properties.
  int ConvertZIP();
  // 1 when `SFXExeName` holds an end record usable in place, else 0 or a negative code.
  int IsZipSFX(const std::string& SFXExeName);


 private:
  // ======== Internals: state and helpers of the operations ========

  platform::Env* env_;
  ui::UiService* ui_;
  std::unique_ptr<ui::UiService> ownedUi_;

  // Property storage.
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

  // Run-time state.
  int32_t errCode_ = 0;
  std::string message_;
  int32_t engineErrCode_ = 0;
  int32_t successCount_ = 0;
  bool zipRunning_ = false;
  bool unzipRunning_ = false;
  std::vector<std::unique_ptr<ZipDirEntry>> zipDirEntryRecords_;
  std::unique_ptr<TZipStream> stream_;
  int32_t archiveStart_ = 0;
  int32_t centralDirOffset_ = 0;
  int32_t endOfCentralOffset_ = 0;
  int32_t archiveFileSize_ = 0;
  int32_t realFileSize_ = 0;
  std::string rawZipComment_;  // exactly as stored (OEM code page)
  bool structureWarning_ = false;
  bool spanned_ = false;
  int32_t skippedDirCount_ = 0;
  uint16_t lastDiskNumber_ = 0;

  // Spanning and volume state.
  int64_t sizeOfDisk_ = 0;
  int64_t freeOnDisk_ = 0;
  std::string inFileName_;
  std::string outFileName_;
  std::string drive_;  // drive root, e.g. "C:\"
  std::string volumeName_;
  platform::FileHandle inFileHandle_ = platform::kInvalidHandle;
  platform::FileHandle outFileHandle_ = platform::kInvalidHandle;
  int32_t diskNr_ = 0;
  int64_t bytesWritten_ = 0;  // on the current volume
  int32_t dateOfInputFile_ = 0;
  uint32_t volumeSerial_ = 0;
  bool newDisk_ = false;
  bool showProgress_ = false;  // CopyBuffer raises OnProgress while set
  TZipDiskStatus diskStatus_;
  TZipDiskAction diskAction_ = zdaOk;

  // The drive format worker (span/DiskFormat.cpp), shared with its thread.
  friend class TSHFormatThread;
  int32_t formatDriveNumber_ = 0;        // 0 for A
  ui::FormatDialog* formatDialog_ = nullptr;  // once ZipFormat has found it
  std::atomic<int> formatState_{0};      // 0 waiting, 1 dialog found, 2 worker done
  std::atomic<bool> autoStart_{false};   // the hook presses Start once
  std::atomic<int> formatResult_{kFormatNotRun};

  // Passwords.
  bool passwordRequestState_ = true;
  int32_t passwordDialogResult_ = 0;

  // Wait cursor.
  int32_t waitCursorDepth_ = 0;
  int16_t savedCursor_ = 0;


  // ---- Spanned sets (span/) ----
  // Writes to the output file handle; a short write raises `messageId`.
  void WriteJoin(const void* buffer, int64_t length, int messageId);
  // Bit 0 of `which`: free space, bit 1: size.
  void DiskFreeAndSize(int which);
  const std::string& OutFileName() const { return outFileName_; }
  // The window enumeration of ZipFormat: the dialog whose parent is the
  // application's window is the format dialog (state 1); false stops the enumeration.
  static bool EnumThreadWndProc(ui::FormatDialog& window, TZipBuilder* builder);
  // Writes to the set, opening volumes as needed; a record of `mustFit` bytes
  // starts a new volume when the open one has less room.
  void WriteSplit(const void* buffer, int64_t length, int64_t mustFit);
  // Copies `length` bytes from the input file handle to the set; a short read raises `messageId`.
  void RWSplitData(void* buffer, int64_t length, int messageId);
  // Copies `length` bytes from the volumes of a set to the output file handle,
  // moving to the next volume where one ends.
  void RWJoinData(void* buffer, int64_t length, int messageId);
  // `alsoReads`: another file the caller reads, which no volume may be.
  int WriteSpanSet(const std::string& InFileName, const std::string& OutFileName,
                   const std::string& alsoReads = "");
  struct SetOutput;  // the volumes being written (span/ZipSpanWrite.cpp)
  SetOutput* setOutput_ = nullptr;  // set only while a set is written
  // Gives a complete volume its name; raises a write error when it cannot.
  void NameVolume(std::string& name, platform::TemporaryFile& volume);
  // The set is complete: every volume takes its name, and numbered files left
  // from an older, longer set of the name are removed.
  void NameCompleteSet();
  // With `into`, the set is joined into that temporary file (OutFileName becomes its path).
  int JoinSpanSet(const std::string& InFileName, std::string& OutFileName,
                  platform::TemporaryFile* into = nullptr);
  platform::DriveProvider& Drives();
  // Prompts, formats, confirms, creates, measures and labels the volume of the
  // current disk number, restarting until one is open.
  void SetUpVolume();
  // The open volume is done: it gets the input's date and is closed; the next
  // write begins the next volume.
  void CloseVolume(bool nextDisk);
  // The questions of the volume set-up: true to go on with this disk, false for another one.
  bool ConfirmOverwrite(const std::string& name);
  bool ConfirmSpace(const std::string& name);
  // Raises the OnStatusDisk event and answers its action.
  TZipDiskAction AskStatusDisk(const std::string& name, TZipDiskStatus status);
  // The next record of `size` bytes from the volumes of a set (joining): moves to the
  // next volume where the current one ends, raises `messageId` when the record is cut.
  void ReadVolumeRecord(uint8_t* record, size_t size, int messageId);
  void ReadAcrossVolumes(void* buffer, int64_t length, int messageId);
  bool AtEndOfVolume();

  // ---- Engine libraries and entry points, extraction (engine/) ----
  void* zipDll_ = nullptr;
  void* unzDll_ = nullptr;
  ZipDllExecFn ZipDllExec = nullptr;
  DllVersionFn GetZipDllVersion = nullptr;
  DllVersionFn GetZipDllPrivVersion = nullptr;
  UnzDllExecFn UnzDllExec = nullptr;
  DllVersionFn GetUnzDllVersion = nullptr;
  DllVersionFn GetUnzDllPrivVersion = nullptr;
  int32_t AskEngineVersion(EngineKind kind, bool privateVersion);
  // An exception raised by an event handler inside ZCallback; the operation that
  // called the engine rethrows it once the engine has returned.
  std::exception_ptr callbackException_;
  void RethrowCallbackException();
  void AnswerPasswordRequest(ZCallBackStruct& record, const std::string& forFile);
  // mode 0 files, 1 member to memory, 2 memory to memory.
  void ExtExtract(int mode, TMemoryStream* input);
  struct ExtractRecord;  // the extract command record and the blocks it points to
  ExtractRecord* extractRecord_ = nullptr;  // set only during one extraction
  void SetUnZipSwitches(std::string& archiveName, int32_t version);

  // Renaming and copying: the finished temporary file gets `dosTime`, reaches
  // the disk and is closed (a failure to get it there is reported: -7); the
  // archive is replaced by it (rewrite/ArchiveReplace.cpp; failures reported: -7).
  int FinishTemporary(platform::FileHandle& file, uint32_t dosTime, int result);
  int ReplaceZipFile(platform::TemporaryFile& temporary, const std::string& archive, DeleteOpts how);
  // Copying with removal from the source (rewrite/ZipCopy.cpp): writes the source
  // archive, read through `in`, into `temporary` (made beside it) without the
  // entries `drop` marks (the very ones copied). 0, or a code as RunCoded's (reported).
  int WriteWithoutCopied(ArchiveReader& in, const StoredArchive& archive,
                         const std::vector<bool>& drop, platform::TemporaryFile& temporary);

  // ---- Adding and deleting (engine/) ----
  // mode 0 files, 1 stream to file, 2 stream to stream.
  void ExtAdd(int mode, uint32_t dateTime, uint32_t attributes, TMemoryStream* input);
  // Appends ".ext:" for suffix `value` (extension number `index`) when it is in AddStoreSuffixes.
  void AddSuffix(AddStoreSuffix value, std::string& list, int index);
  // After the engine built `temporary` for a spanned add: writes the set, names
  // its last volume as the archive on fixed and network drives, and removes
  // `temporary` unless the set could not be completed.
  void WriteSpanFromTemporary(const std::string& temporary);
  struct AddRecord;  // the add command record and the blocks it points to
  AddRecord* addRecord_ = nullptr;  // set only during one add or delete
  void SetZipSwitches(const std::string& archiveName, int32_t version);
  // The engine call that adding and deleting share: a record for `archiveName` in
  // the layout `version` calls for, the common setup, `build` for the operation's own
  // fields, then ZipDllExec once (SuccessCount := its result) and `afterExec`.
  // Any exception is reported as 10101. Both specification lists are cleared.
  void ExecAddRecord(int32_t version, const std::string& archiveName, const std::function<void(AddRecord&)>& build,
                     const std::function<void(AddRecord&)>& afterExec = nullptr);
  // ---- Self-extractors (sfx/) ----
  bool FindSfxStub();
  // Reports a refusal of the output rule; false then.
  bool CheckOutput(const OutputRule& rule, const std::string& output);
  // Reports a conversion's copy that fell short as the write error it is.
  void ReportShortCopy();
  int ReplaceIcon(platform::FileHandle output, int64_t stubSize);
  int WriteSfx(const std::string& temporary, const std::vector<uint8_t>& header, bool createEmpty,
               int64_t& stubSize, int64_t& archiveSize, int64_t& outputSize);
  int WriteZipFromSfx(const std::string& temporary, int64_t& archiveSize, int64_t& outputSize);
  bool IsInstallShield(platform::FileHandle file);
  // Puts the finished `temporary` in the place of `target` once it lists, then
  // erases `previous` (the converted archive, unless "") and continues with `target`.
  int PlaceConverted(platform::TemporaryFile& temporary, const std::string& target, const std::string& previous,
                     bool listTarget);

  // ---- Re-entrancy guard ----
  // Every public archive operation tests Busy() before it changes anything: an
  // event handler that starts an operation while one runs (a second click handled
  // by the callback's message processing) gets an immediate return, and the
  // running operation keeps its errors, counts, lists, stream and Cancel.
  // An operation holds a RunningScope on ZipRunning (it writes the archive) or
  // UnzipRunning (it reads it) while it runs. An operation that runs another
  // guarded operation of the same component calls that one's body, or releases
  // its scope first (copying with removal runs Delete on the source that way).
  bool Busy() const { return zipRunning_ || unzipRunning_; }
  enum class RunKind { Zip, Unzip };
  class RunningScope {
   public:
    RunningScope(TZipBuilder& owner, RunKind kind)
        : flag_(kind == RunKind::Zip ? owner.zipRunning_ : owner.unzipRunning_) {
      flag_ = true;
    }
    ~RunningScope() { Release(); }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
    void Release() { flag_ = false; }

   private:
    bool& flag_;
  };

  // ---- Shared by the operations (core/) ----
  // The same boundary for the operations that answer with a code: 0 when `body`
  // returns, -7 after an EZipBuilder, -8 after lack of memory, -9 (message 11024)
  // after any other exception.
  int RunCoded(const std::function<void()>& body);
  // CopyBuffer's meaning and result codes for large copies: blocks of 8 MB,
  // copied by the file system (see FileSystem::CopyRange).
  int CopyBulk(platform::FileHandle& in, platform::FileHandle& out, int64_t count);
  void FreeZipDirEntryRecords();
};

bool DirExists(const std::string& name, platform::FileSystem& files);
