// The component's value types: option enumerations and their sets, the icon,
// the rename request and the event signatures.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "zipbuilder/core/EnumSet.h"
#include "zipbuilder/read/ZipDirEntry.h"

class TZipBuilder;

// ---- Enumerations ------------------------------------------------------------

enum AddOptsEnum {
  AddDirNames, AddRecurseDirs, AddMove, AddFreshen, AddUpdate, AddZipTime, AddForceDOS,
  AddHiddenFiles, AddArchiveOnly, AddResetArchive, AddEncrypt, AddSeparateDirs, AddVolume,
  AddDiskSpan, AddDiskSpanErase
};
enum ExtrOptsEnum { ExtrDirNames, ExtrOverWrite, ExtrFreshen, ExtrUpdate, ExtrTest };
enum SFXOptsEnum {
  SFXAskCmdLine, SFXAskFiles, SFXAutoRun, SFXHideOverWriteBox, SFXCheckSize, SFXNoSuccessMsg
};
enum AddStoreSuffix {
  assGIF, assPNG, assZ, assZIP, assZOO, assARC, assLZH, assARJ, assTAZ, assTGZ, assLHA, assRAR,
  assACE, assCAB, assGZ, assGZIP, assJAR, assEXE
};
enum OvrOpts : uint8_t { OvrConfirm, OvrAlways, OvrNever };
enum CPOpts : uint8_t { cpAUTO, cpNone, cpOEM };
enum DeleteOpts : uint8_t { htdFinal, htdAllowUndo };
// The cipher of members added with a password: the traditional one, or AES with
// keys of 128, 192 or 256 bits.
enum EncryptionOpts : uint8_t { encTraditional, encAES128, encAES192, encAES256 };
enum CodePageDirection { cpdOEM2ISO = 0, cpdISO2OEM = 1 };

// The kind of an OnProgress call.
enum ProgressType { ptMemberBegin, ptBytesDone, ptBatchEnd, ptMemberCount, ptTotalBytes };

// Why the engine skipped a member; the ordinal is the engine's reason minus 1.
enum UnZipSkipTypes {
  stOnFreshen,       // 1: not in the target (freshen)
  stNoOverwrite,     // 2: exists and overwriting is off or declined
  stFileExists,      // 3: exists and is not older (update)
  stBadPassword,     // 4: no or wrong password
  stNoEncryptionDLL, // 5: encryption not supported
  stCompressionUnknown,  // 6: unsupported compression method
  stUnknownZipHost,  // 7: unknown host system
  stZipFileFormatWrong,  // 8: damaged member
  stGeneralExtractError, // 9: other extraction error
  stUnsafeName       // 10: absolute, drive or ".." name, or a link leaving the base
};

enum TPasswordButton { pwbOk, pwbCancel, pwbCancelAll, pwbAbort };
using TPasswordButtons = EnumSet<TPasswordButton, uint8_t>;

enum TZipDiskStatusEnum { zdsEmpty, zdsHasFiles, zdsPreviousDisk, zdsSameFileName, zdsNotEnoughSpace };
using TZipDiskStatus = EnumSet<TZipDiskStatusEnum, uint8_t>;
enum TZipDiskAction : uint8_t { zdaOk, zdaErase, zdaReject, zdaCancel };

using AddOpts = EnumSet<AddOptsEnum, uint16_t>;
using ExtrOpts = EnumSet<ExtrOptsEnum, uint8_t>;
using SFXOpts = EnumSet<SFXOptsEnum, uint8_t>;
using AddStoreExts = EnumSet<AddStoreSuffix, uint32_t>;

// An icon, kept as the bytes of an .ico file.
struct TIcon {
  std::vector<uint8_t> data;
  bool Empty() const { return data.empty(); }
};

// One rename request; the caller owns it. `OldName` is a member name, a directory
// path ending in a separator, or any part of a name; `DateTime` is 0 or a new
// MS-DOS date (high 16 bits) and time (low 16 bits) for the members it renames.
struct RenameItem {
  std::string OldName;
  std::string NewName;
  uint32_t DateTime = 0;
};

// ---- Events (raised only when assigned; references carry answers back) ------------

using TNotifyEvent = std::function<void(TZipBuilder* Sender)>;
using TProgressEvent =
    std::function<void(TZipBuilder* Sender, ProgressType ProgrType, const std::string& FileName, int64_t FileSize)>;
using TMessageEvent = std::function<void(TZipBuilder* Sender, int ErrCode, const std::string& Message)>;
using TSetNewNameEvent =
    std::function<void(TZipBuilder* Sender, std::string& OldFileName, bool& IsChanged)>;
using TNewNameEvent = std::function<void(TZipBuilder* Sender, int SeqNo, ZipDirEntry& ZipEntry)>;
using TPasswordErrorEvent = std::function<void(TZipBuilder* Sender, bool IsZipAction, std::string& NewPassword,
                                               const std::string& ForFile, uint32_t& RepeatCount,
                                               TPasswordButton& Action)>;
using TCRC32ErrorEvent = std::function<void(TZipBuilder* Sender, const std::string& ForFile, uint32_t FoundCRC,
                                            uint32_t ExpectedCRC, bool& DoExtract)>;
using TExtractOverwriteEvent = std::function<void(TZipBuilder* Sender, const std::string& ForFile, bool IsOlder,
                                                  bool& DoOverwrite, int DirIndex)>;
using TExtractSkippedEvent = std::function<void(TZipBuilder* Sender, const std::string& ForFile,
                                                UnZipSkipTypes SkipType, int ExtError)>;
using TCopyZipOverwriteEvent =
    std::function<void(TZipBuilder* Sender, const std::string& ForFile, bool& DoOverwrite)>;
using TGetNextDiskEvent = std::function<void(TZipBuilder* Sender, int DiskSeqNo, int DiskTotal,
                                             const std::string& Drive, bool& Cancel)>;
using TStatusDiskEvent = std::function<void(TZipBuilder* Sender, int PreviousDisk, const std::string& PreviousFile,
                                            TZipDiskStatus Status, TZipDiskAction& Action)>;
using TFileCommentEvent = std::function<void(TZipBuilder* Sender, const std::string& ForFile,
                                             std::string& FileComment, bool& IsChanged)>;

// The component's version text.
extern const char* const kZipBuilderVersion;  // "1.60 "
