// TZipBuilder: the ZIP archive component. One class, implemented across the
// subfolders of zipbuilder/ by concern (core, engine, read, rewrite, span, sfx);
// each section below names the files that implement it. Its value types and
// event signatures are in ZipTypes.h.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"
#include "platform/FileSystem.h"
#include "zipbuilder/ZipTypes.h"
#include "zipbuilder/core/Properties.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipbuilder/core/ZipErrors.h"
#include "zipbuilder/engine/EngineLibraries.h"
#include "zipbuilder/read/ListedArchive.h"
#include "zipbuilder/read/ZipStream.h"
#include "zipbuilder/span/MemberTable.h"
#include "zipbuilder/span/VolumeState.h"
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

// The published properties and events are in core/Properties.h.
class TZipBuilder : public ZipBuilderProperties, public ZipBuilderEvents {
 public:
  // `env` defaults to the system's platform layer; `ui` to one that shows and
  // asks nothing (ui/QuietUi.h): a program that wants boxes and questions on the
  // console passes a ui::ConsoleUi.
  explicit TZipBuilder(platform::Env* env = nullptr, ui::UiService* ui = nullptr);
  ~TZipBuilder();
  TZipBuilder(const TZipBuilder&) = delete;
  TZipBuilder& operator=(const TZipBuilder&) = delete;

  // Test and host seams.
  platform::Env& Env() { return *env_; }
  ui::UiService& Ui() { return *ui_; }
  void SetUi(ui::UiService* ui);

  // ---- Property setters that do more than store (core/ZipBuilderCore.cpp) ----
  void SetFileName(const std::string& name);  // stores, then lists (unless Designing)
  void SetDLLDirectory(const std::string& dir);
  void SetFreeOnDisk1(int32_t value);
  void SetMaxVolumeSize(int32_t value);
  void SetMinFreeVolSize(int32_t value);
  void SetPasswordReqCount(uint32_t value);
  void SetRootDir(const std::string& dir);

  // ---- Run-time state ----
  int32_t ErrCode() const { return errCode_; }
  const std::string& Message() const { return message_; }
  int32_t EngineErrCode() const { return engineErrCode_; }
  int32_t SuccessCount() const { return successCount_; }
  int GetCount() const;
  int Count() const { return GetCount(); }
  const std::vector<std::unique_ptr<ZipDirEntry>>& ZipDirEntryRecords() const { return zipDirEntryRecords_; }
  int32_t ArchiveStart() const { return listed_.archiveStart; }
  int32_t CentralDirOffset() const { return listed_.centralDirOffset; }
  int32_t EndOfCentralOffset() const { return listed_.endOfCentralOffset; }
  int32_t ArchiveFileSize() const { return listed_.archiveFileSize; }
  bool Spanned() const { return listed_.spanned; }
  bool StructureWarning() const { return listed_.structureWarning; }
  int32_t SkippedDirCount() const { return listed_.skippedDirCount; }
  uint16_t LastDiskNumber() const { return listed_.lastDiskNumber; }
  bool ZipRunning() const { return zipRunning_; }
  bool UnzipRunning() const { return unzipRunning_; }

  TZipStream& ZipStream() { return *stream_; }
  bool Cancel = false;

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
  // With `zip64End` (the archive's ZIP64 end record), its counts and offsets
  // stand for the saturated ones, and a shifted copy of it goes in front of the
  // end record.
  int RWCentralDir(platform::FileHandle& outFile, zip::ZipEndOfCentral endOfCentral, int32_t shift,
                   const zip::Zip64EndOfCentral* zip64End = nullptr);

  // Volumes and disk prompts (span/ZipVolumes.cpp).
  bool IsDiskPresent();
  int CheckForDisk();
  bool IsRightDisk(int driveType);
  void GetNewDisk(int diskNumber);
  // Spanning state the volume logic works on, for the spanning operations and tests.
  void SetDriveRoot(const std::string& root) { volume_.drive = root; }
  const std::string& InFileName() const { return inFileName_; }
  void SetInFileName(const std::string& name) { inFileName_ = name; }
  const std::string& VolumeName() const { return volume_.volumeName; }
  uint32_t VolumeSerial() const { return volume_.volumeSerial; }
  int64_t SizeOfDisk() const { return volume_.sizeOfDisk; }
  int64_t FreeOnDisk() const { return volume_.freeOnDisk; }
  int32_t DiskNr() const { return volume_.diskNr; }
  void SetDiskNr(int32_t number) { volume_.diskNr = number; }
  void SetNewDisk(bool value) { volume_.newDisk = value; }
  bool NewDisk() const { return volume_.newDisk; }
  void SetLastDiskNumber(uint16_t number) { listed_.lastDiskNumber = number; }
  int32_t RealFileSize() const { return listed_.realFileSize; }
  const std::string& RawZipComment() const { return listed_.rawZipComment; }
  platform::FileHandle InFileHandle() const { return inFileHandle_; }
  TZipDiskAction DiskAction() const { return volume_.diskAction; }

  // Spanned sets. Writing (span/ZipSpanWrite.cpp): copies the single-file archive
  // `InFileName` onto the volumes of the set `OutFileName`. Joining
  // (span/ZipSpanJoin.cpp): copies the set one of whose volumes is `InFileName` into
  // one ordinary archive; `OutFileName` names it on entry (its extension becomes
  // ".zip"), or is a directory path ending in a separator for a temporary file,
  // and names the result on return (empty after a failure). Both return 0, or -7,
  // -8, -9 after a reported failure; -9 without a report while another runs.
  int WriteSpan(const std::string& InFileName, const std::string& OutFileName);
  int ReadSpan(const std::string& InFileName, std::string& OutFileName);
  // Formats the disk of the drive SetFormatTarget names through the format dialog,
  // labelling it with VolumeName(): -2 cancelled, -1 error or refused, -3 not run,
  // any other value: the dialog ran to its end (span/DiskFormat.cpp).
  int ZipFormat();
  // What the set writer sets before ZipFormat: the drive (0 for A) and the label.
  void SetFormatTarget(int32_t driveNumber, const std::string& label) {
    format_.driveNumber = driveNumber;
    volume_.volumeName = label;
  }

  // ---- Engine boundary (engine/ZipEngineLoader.cpp), callback (core/ZipCallback.cpp),
  //      extraction (engine/ZipExtract.cpp), passwords (core/ZipPasswords.cpp) ----
  // Engine libraries: load when not loaded (reports 10601..10604, 10701..10704), unload.
  void Load_Zip_Dll();
  void Load_Unz_Dll();
  void Unload_Zip_Dll();
  void Unload_Unz_Dll();
  bool ZipDllLoaded() const { return engines_.zipDll != nullptr; }
  bool UnzDllLoaded() const { return engines_.unzDll != nullptr; }
  // Engine versions times 100; a library that is not loaded is loaded, asked and
  // unloaded again. 0 when it cannot be loaded.
  int32_t GetZipVers();
  int32_t GetZipPrivVers();
  int32_t GetUnzVers();
  int32_t GetUnzPrivVers();
  enum class EngineKind { Zip, Unz };
  class EngineUse;  // engine/EngineUse.h: an engine loaded for one operation

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

  // Run-time state.
  int32_t errCode_ = 0;
  std::string message_;
  int32_t engineErrCode_ = 0;
  int32_t successCount_ = 0;
  bool zipRunning_ = false;
  bool unzipRunning_ = false;
  std::vector<std::unique_ptr<ZipDirEntry>> zipDirEntryRecords_;
  std::unique_ptr<TZipStream> stream_;
  ListedArchive listed_;

  // The volume being worked on (span/VolumeState.h); the archive's own input and output handles.
  span::VolumeState volume_;
  std::string inFileName_;
  platform::FileHandle inFileHandle_ = platform::kInvalidHandle;
  platform::FileHandle outFileHandle_ = platform::kInvalidHandle;
  bool showProgress_ = false;  // CopyBuffer raises OnProgress while set

  // The drive format worker (span/DiskFormat.cpp), shared with its thread.
  friend class TSHFormatThread;
  span::FormatState format_;

  // Passwords.
  bool passwordRequestState_ = true;
  int32_t passwordDialogResult_ = 0;

  // Wait cursor.
  int32_t waitCursorDepth_ = 0;
  int16_t savedCursor_ = 0;

  // ---- Spanned sets (span/) ----
  // Bit 0 of `which`: free space, bit 1: size.
  void DiskFreeAndSize(int which);
  // The window enumeration of ZipFormat: the dialog whose parent is the
  // application's window is the format dialog (state 1); false stops the enumeration.
  static bool EnumThreadWndProc(ui::FormatDialog& window, TZipBuilder* builder);
  platform::DriveProvider& Drives();
  class SetWriter;  // span/SetWriter.h
  class SetJoiner;  // span/SetJoiner.h

  // ---- Engine libraries and entry points, extraction (engine/) ----
  EngineLibraries engines_;
  int32_t AskEngineVersion(EngineKind kind, bool privateVersion);
  // An exception raised by an event handler inside ZCallback; the operation that
  // called the engine rethrows it once the engine has returned.
  std::exception_ptr callbackException_;
  void RethrowCallbackException();
  void AnswerPasswordRequest(ZCallBackStruct& record, const std::string& forFile);
  class ExtractCall;  // engine/ExtractCall.h: one extraction through the engine

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
  struct AddRecord;  // engine/ZipAddRecord.h: the add command record and the blocks it points to
  class AddCall;     // engine/AddCall.h: one add or delete through the engine

  // ---- Self-extractors (sfx/) ----
  class SfxConversion;  // sfx/SfxConversion.h

  // ---- Re-entrancy guard (core/RunningScope.h says how it works) ----
  bool Busy() const { return zipRunning_ || unzipRunning_; }
  enum class RunKind { Zip, Unzip };
  class RunningScope;  // core/RunningScope.h

  // ---- Shared by the operations (core/) ----
  // The same boundary for the operations that answer with a code: 0 when `body`
  // returns, -7 after an EZipBuilder, -8 after lack of memory, -9 (message 11024)
  // after any other exception.
  int RunCoded(const std::function<void()>& body);
  // CopyBuffer's meaning and result codes for large copies: blocks of 8 MB,
  // copied by the file system (see MoveBlocks in read/ArchiveStreams.h).
  int CopyBulk(platform::FileHandle& in, platform::FileHandle& out, int64_t count);
  void FreeZipDirEntryRecords();
  void CloseInput();  // the archive's input file handle, when it is open
};

bool DirExists(const std::string& name, platform::FileSystem& files);
