// Writing a spanned set: the records of a single-file archive copied in order onto
// volumes (removable disks, or numbered files on fixed and network drives), with
// each central header's volume and offset and the end record rewritten.
#include <algorithm>
#include <cctype>
#include <new>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

#include "zipbuilder/read/ArchiveStreams.h"
#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/span/SetWriter.h"
#include "platform/Drives.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "ui/UiService.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/rewrite/OutputRule.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipformat/DataDescriptor.h"
#include "zipformat/EndRecord.h"
#include "zipformat/Headers.h"
#include "zipformat/VolumeNames.h"

using platform::FileHandle;
using platform::kInvalidHandle;

namespace {

// The record sizes, signed for the arithmetic with file positions.
constexpr int64_t kLocalHeaderSize = zip::kLocalHeaderSize;
constexpr int64_t kCentralHeaderSize = zip::kCentralHeaderSize;
constexpr int64_t kEndRecordSize = zip::kEndRecordSize;

// The compressed sizes the central directory gives (ZIP64 values resolved), by
// local header offset: a local header may leave them 0 (sizes in a descriptor)
// or saturated (sizes in its ZIP64 block).
std::unordered_map<uint64_t, uint64_t> CentralDataSizes(platform::FileSystem& files, FileHandle in,
                                                        const zip::DirectoryExtent& extent) {
  std::unordered_map<uint64_t, uint64_t> sizes;
  // The end record's sizes are claims: never read (or reserve) past the file.
  const int64_t fileSize = files.Size(in);
  const auto offset = static_cast<int64_t>(extent.offset);
  if (fileSize <= offset || files.Seek(in, offset, platform::SeekFrom::Begin) != offset)
    return sizes;
  std::vector<uint8_t> directory(static_cast<size_t>(
      std::min<int64_t>(static_cast<int64_t>(extent.size), fileSize - offset)));
  const int64_t got = files.Read(in, directory.data(), directory.size());
  std::span<const uint8_t> rest(directory.data(), static_cast<size_t>(std::max<int64_t>(got, 0)));
  zip::CentralEntry entry;
  while (zip::DecodeCentralEntry(rest, entry) == zip::Status::kOk) {
    sizes[entry.localHeaderOffset] = entry.compressedSize;
    rest = rest.subspan(entry.recordSize);
  }
  return sizes;
}

// The directory of the archive to be spanned, with the values of its ZIP64 end
// record where the classic one saturates; `zip64` tells whether it has one. An
// archive that is spanned already is refused.
zip::DirectoryExtent SingleFileExtent(platform::FileSystem& files, FileHandle in,
                                      int64_t endRecordOffset, const zip::ZipEndOfCentral& end,
                                      bool& zip64) {
  const std::optional<zip::Zip64EndOfCentral> record =
      zip::IsSaturated(end) ? ReadZip64End(files, in, endRecordOffset) : std::nullopt;
  zip64 = record.has_value();
  const zip::DirectoryExtent extent = zip::ResolveExtent(end, record ? &*record : nullptr);
  if (extent.thisDisk != 0 || extent.centralDisk != 0 || extent.entries > INT32_MAX)
    throw EZipBuilder::WithDetail(kMsgNotZipArchive, "its directory lies on other volumes");
  return extent;
}

}  // namespace

// The volumes of the set being written. Each is written unnamed (or under a
// temporary name) beside its final name. Numbered files take their names only
// once the whole set is complete, so a failed or killed run leaves the files of
// those names as they were; a removable disk's volume takes its name when the
// disk is done, before the next one is asked for.
struct TZipBuilder::SetWriter::SetOutput {
  explicit SetOutput(platform::FileSystem& files) : rule(files) {}
  OutputRule rule;  // what the set is written from
  bool separateFiles = true;
  std::vector<std::pair<std::string, platform::TemporaryFile>> volumes;  // not yet named
};

platform::DriveProvider& TZipBuilder::Drives() {
  return *env_->drives;  // the environment is complete: checked at construction
}

int TZipBuilder::WriteSpan(const std::string& InFileName, const std::string& OutFileName) {
  return Busy() ? kSpanBusy : SetWriter(*this).WriteSpanSet(InFileName, OutFileName);
}

void TZipBuilder::SetWriter::NameVolume(std::string& name, platform::TemporaryFile& volume) {
  auto& files = *zb_.env_->files;
  if (!files.Sync(volume.Handle()))
    throw EZipBuilder::WithDetail(kMsgOutputWriteError, platform::ErrorText(files.LastError()));
  if (ReplaceArchive(*zb_.env_, volume, name, false) != ReplaceOutcome::Replaced)
    throw EZipBuilder::WithDetail(kMsgOutputCreateFailed, name);
}

void TZipBuilder::SetWriter::NameCompleteSet() {
  auto& files = *zb_.env_->files;
  for (auto& [name, volume] : setOutput_->volumes) NameVolume(name, volume);
  setOutput_->volumes.clear();
  if (!setOutput_->separateFiles) return;
  // Files of higher numbers belong to an older, longer set of this name: left
  // in place, they would make the new set read as that one.
  for (int32_t n = zb_.volume_.diskNr + 1; n < 999; ++n) {
    const std::string name = zip::NumberedName(zb_.volume_.outFileName, n);
    if (!zb_.FileExists(name)) break;
    if (!setOutput_->rule.Reads(name)) files.DeleteFile(name);
  }
}

int TZipBuilder::SetWriter::WriteSpanSet(const std::string& InFileName, const std::string& OutFileName,
                              const std::string& alsoReads) {
  auto& files = *zb_.env_->files;
  SetOutput output(files);
  output.rule.AddInput(InFileName);
  if (!alsoReads.empty()) output.rule.AddInput(alsoReads);
  setOutput_ = &output;
  zb_.zipRunning_ = true;
  zb_.volume_.drive = platform::ExtractDriveRoot(platform::ExpandFileName(OutFileName));
  zb_.volume_.diskNr = 0;
  zb_.volume_.freeOnDisk = 0;
  zb_.volume_.newDisk = true;
  zb_.volume_.bytesWritten = 0;
  zb_.inFileName_ = InFileName;
  zb_.volume_.outFileName = OutFileName;
  zb_.outFileHandle_ = kInvalidHandle;
  zb_.showProgress_ = false;
  zb_.StartWaitCursor();
  std::vector<uint8_t> buffer;
  std::unique_ptr<span::MDZipDataTable> table;

  const int result = zb_.RunCoded([&] {
    if (!zb_.FileExists(InFileName)) throw EZipBuilder(kMsgInputMissing);
    zip::ZipEndOfCentral end{};
    zb_.CheckIfLastDisk(end, true);
    zb_.volume_.dateOfInputFile = static_cast<int32_t>(files.GetFileDosTime(zb_.inFileHandle_).value_or(0));
    bool zip64In = false;
    const zip::DirectoryExtent extent =
        SingleFileExtent(files, zb_.inFileHandle_, zb_.listed_.endOfCentralOffset, end, zip64In);
    const int entries = static_cast<int>(extent.entries);
    const auto centralSizes = CentralDataSizes(files, zb_.inFileHandle_, extent);
    if (files.Seek(zb_.inFileHandle_, 0, platform::SeekFrom::Begin) != 0)
      throw EZipBuilder(kMsgInputSeekError);
    buffer.resize(0x10000);  // a name of any length the 16-bit field allows
    std::vector<uint8_t> extra;
    table = AllocSpanMem(entries);

    uint8_t marker[4];
    zip::Store32(marker, zip::kSpannedSetMarker);
    WriteSplit(marker, sizeof marker, 0);
    zb_.showProgress_ = true;
    if (zb_.OnProgress) {
      zb_.OnProgress(&zb_, ptMemberCount, "", entries);
      zb_.OnProgress(&zb_, ptTotalBytes, "", zb_.listed_.archiveFileSize);
    }

    uint8_t header[kCentralHeaderSize];
    for (int i = 0; i < entries; ++i) {
      const int64_t localAt = files.Seek(zb_.inFileHandle_, 0, platform::SeekFrom::Current);
      if (files.Read(zb_.inFileHandle_, header, kLocalHeaderSize) != kLocalHeaderSize)
        throw EZipBuilder(kMsgLocalHeaderReadError);
      zip::LocalFileHeader local;
      zip::Decode(header, local);
      if (local.HeaderSig != zip::kLocalHeaderSignature) throw EZipBuilder(kMsgLocalSignatureWrong);
      if (files.Read(zb_.inFileHandle_, buffer.data(), local.FileNameLen) != local.FileNameLen)
        throw EZipBuilder(kMsgLocalNameReadError);
      span::MDZipData& entry = *(*table)[i];
      entry.FileNameLen = local.FileNameLen;
      entry.FileName = std::string(reinterpret_cast<char*>(buffer.data()), local.FileNameLen);

      const std::string shown = ReplaceForwardSlash(*entry.FileName);
      if (zb_.OnMessage) zb_.OnMessage(&zb_, 0, zb_.LoadZipStr(kMsgCopying, "Copying: ") + shown);
      extra.resize(local.ExtraLen);
      if (files.Read(zb_.inFileHandle_, extra.data(), extra.size()) != local.ExtraLen)
        throw EZipBuilder(kMsgLocalExtraReadError);
      const bool descriptor = local.Flag & zip::kFlagDataDescriptor;
      const auto central = centralSizes.find(static_cast<uint64_t>(localAt));
      const int64_t dataSize =
          central != centralSizes.end() ? static_cast<int64_t>(central->second) : local.ComprSize;
      const int64_t descriptorSize =
          descriptor
              ? static_cast<int64_t>(
                    zip::PrescribedDataDescriptor(extra, zip::kDataDescriptorSignature).length)
              : 0;
      const int64_t memberSize =
          kLocalHeaderSize + local.FileNameLen + local.ExtraLen + dataSize + descriptorSize;
      if (zb_.OnProgress) zb_.OnProgress(&zb_, ptMemberBegin, shown, memberSize);

      WriteSplit(header, kLocalHeaderSize, kLocalHeaderSize + local.FileNameLen + local.ExtraLen);
      entry.DiskStart = static_cast<uint16_t>(zb_.volume_.diskNr);
      entry.RelOffLocal = static_cast<int32_t>(zb_.volume_.bytesWritten - kLocalHeaderSize);
      WriteSplit(buffer.data(), local.FileNameLen, 0);
      WriteSplit(extra.data(), local.ExtraLen, 0);
      RWSplitData(dataSize, kMsgDataReadError);
      if (descriptor) {
        // Its form shows in its first word (signature or CRC) and the local ZIP64 block.
        uint8_t word[4];
        if (files.Read(zb_.inFileHandle_, word, 4) != 4) throw EZipBuilder(kMsgDescriptorError);
        const zip::DescriptorForm form = zip::PrescribedDataDescriptor(extra, zip::Load32(word));
        WriteSplit(word, 4, 0);
        RWSplitData(static_cast<int64_t>(form.length) - 4, kMsgDescriptorError);
      }
    }

    const std::string directoryText = zb_.LoadZipStr(kMsgCentralDirectory, "central directory");
    if (zb_.OnMessage) zb_.OnMessage(&zb_, 0, zb_.LoadZipStr(kMsgCopying, "Copying: ") + directoryText);
    if (zb_.OnProgress)
      zb_.OnProgress(&zb_, ptMemberBegin, directoryText,
                 static_cast<int64_t>(extent.size) + end.ZipCommentLen + kEndRecordSize);

    int32_t directoryDisk = zb_.volume_.diskNr;
    int64_t directoryOffset = zb_.volume_.bytesWritten;
    for (int i = 0; i < entries; ++i) {
      if (files.Read(zb_.inFileHandle_, header, kCentralHeaderSize) != kCentralHeaderSize)
        throw EZipBuilder(kMsgCentralHeaderReadError);
      zip::CentralFileHeader central;
      zip::Decode(header, central);
      if (central.HeaderSig != zip::kCentralHeaderSignature)
        throw EZipBuilder(kMsgCentralSignatureWrong);
      if (files.Read(zb_.inFileHandle_, buffer.data(), central.FileNameLen) != central.FileNameLen)
        throw EZipBuilder(kMsgCentralNameReadError);
      const std::string name(reinterpret_cast<char*>(buffer.data()), central.FileNameLen);
      // Directory order usually is file order: try the same position first.
      int index = i;
      const span::MDZipData* hint =
          i < static_cast<int>(table->size()) ? (*table)[i].get() : nullptr;
      if (!hint || !hint->FileName || *hint->FileName != name)
        index = FindZipEntry(entries, *table, name, central.FileNameLen);
      central.DiskStart = (*table)[index]->DiskStart;
      central.RelOffLocal = static_cast<uint32_t>((*table)[index]->RelOffLocal);
      zip::Encode(central, header);
      WriteSplit(header, kCentralHeaderSize,
                 kCentralHeaderSize + central.FileNameLen + central.ExtraLen + central.FileComLen);
      if (i == 0) {
        directoryDisk = zb_.volume_.diskNr;
        directoryOffset = zb_.volume_.bytesWritten - kCentralHeaderSize;
      }
      WriteSplit(buffer.data(), central.FileNameLen, 0);
      RWSplitData(central.ExtraLen, kMsgCentralExtraReadError);
      RWSplitData(central.FileComLen, kMsgFileCommentReadError);
    }

    // The end records go whole onto the volume that then receives them: a
    // ZIP64 end record and its locator in front where the set needs them.
    const uint64_t directorySize = extent.size;  // the headers keep their lengths
    const bool zip64 = zip::NeedsZip64End(extent.entries, directorySize, static_cast<uint64_t>(directoryOffset));
    const int64_t trailer = zip64 ? int64_t{zip::kZip64EndSize + zip::kZip64LocatorSize} : 0;
    WriteSplit(nullptr, 0, trailer + kEndRecordSize + end.ZipCommentLen);
    zip::ZipEndOfCentral record = end;
    record.CentralDiskNo = static_cast<uint16_t>(directoryDisk);
    record.ThisDiskNo = static_cast<uint16_t>(zb_.volume_.diskNr);
    if (zip64 || zip64In) {
      zip::SetDirectoryFields(record, extent.entries, directorySize, static_cast<uint64_t>(directoryOffset));
    } else {
      record.CentralOffSet = static_cast<uint32_t>(directoryOffset);
    }
    if (zip64) {
      zip::Zip64EndOfCentral record64 = zip::NewZip64End(
          zip::kZip64VersionNeeded, extent.entries, directorySize, static_cast<uint64_t>(directoryOffset));
      record64.ThisDiskNo = static_cast<uint32_t>(zb_.volume_.diskNr);
      record64.CentralDiskNo = static_cast<uint32_t>(directoryDisk);
      zip::Zip64Locator locator = zip::Zip64LocatorFor(static_cast<uint64_t>(zb_.volume_.bytesWritten));
      locator.EndRecordDiskNo = static_cast<uint32_t>(zb_.volume_.diskNr);
      locator.TotalDisks = static_cast<uint32_t>(zb_.volume_.diskNr + 1);
      uint8_t bytes[zip::kZip64EndSize + zip::kZip64LocatorSize];
      zip::Encode(record64, bytes);
      zip::Encode(locator, bytes + zip::kZip64EndSize);
      WriteSplit(bytes, sizeof bytes, 0);
    }
    zip::Encode(record, header);
    WriteSplit(header, kEndRecordSize, 0);
    // The input's own ZIP64 end record and locator stay behind.
    const int64_t commentAt = int64_t{zb_.listed_.endOfCentralOffset} + kEndRecordSize;
    if (files.Seek(zb_.inFileHandle_, commentAt, platform::SeekFrom::Begin) != commentAt)
      throw EZipBuilder(kMsgInputSeekError);
    RWSplitData(end.ZipCommentLen, kMsgArchiveCommentReadError);
    zb_.showProgress_ = false;
    if (zb_.outFileHandle_ != kInvalidHandle)
      files.SetFileDosTime(zb_.outFileHandle_, static_cast<uint32_t>(zb_.volume_.dateOfInputFile));
    zb_.outFileHandle_ = kInvalidHandle;
    NameCompleteSet();
  });

  if (zb_.OnProgress) zb_.OnProgress(&zb_, ptBatchEnd, "", 0);
  DeleteSpanMem(table);
  // After a failure the volumes not yet named go with `output`.
  zb_.outFileHandle_ = kInvalidHandle;
  setOutput_ = nullptr;
  zb_.CloseInput();
  zb_.zipRunning_ = false;
  zb_.StopWaitCursor();
  return result;
}

void TZipBuilder::SetWriter::RWSplitData(int64_t length, int messageId) {
  auto& files = *zb_.env_->files;
  while (length > 0) {
    const int64_t piece = std::min(length, kMoveBlock);
    PlaceOnVolumes(piece, 0, [&](int64_t n) {
      const int64_t moved = MoveBlocks(files, zb_.inFileHandle_, zb_.outFileHandle_, n);
      if (moved < 0 && FailedWriting(files.LastError()))
        throw EZipBuilder::WithDetail(kMsgOutputWriteError, platform::ErrorText(files.LastError()));
      if (moved != n) throw EZipBuilder(messageId);
    });
    length -= piece;
  }
}

void TZipBuilder::SetWriter::CloseVolume(bool nextDisk) {
  auto& files = *zb_.env_->files;
  files.SetFileDosTime(zb_.outFileHandle_, static_cast<uint32_t>(zb_.volume_.dateOfInputFile));
  zb_.outFileHandle_ = kInvalidHandle;  // the volume's file holds the handle
  if (!setOutput_->separateFiles) {
    auto& [name, volume] = setOutput_->volumes.back();
    NameVolume(name, volume);
    setOutput_->volumes.pop_back();
  }
  zb_.volume_.bytesWritten = 0;
  if (nextDisk) {
    ++zb_.volume_.diskNr;
    zb_.volume_.newDisk = true;
  }
}

void TZipBuilder::SetWriter::WriteSplit(const void* buffer, int64_t length, int64_t mustFit) {
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  PlaceOnVolumes(length, mustFit, [&](int64_t n) {
    if (zb_.env_->files->Write(zb_.outFileHandle_, bytes, static_cast<size_t>(n)) != n)
      throw EZipBuilder::WithDetail(kMsgOutputWriteError,
                                    platform::ErrorText(zb_.env_->files->LastError()));
    bytes += n;
  });
}

void TZipBuilder::SetWriter::PlaceOnVolumes(int64_t length, int64_t mustFit,
                                            const std::function<void(int64_t)>& put) {
  zb_.ui_->ProcessMessages();
  if (zb_.Cancel) throw EZipBuilder(kMsgUserCanceled, false);
  for (;;) {
    if (zb_.outFileHandle_ == kInvalidHandle) SetUpVolume();
    if (mustFit != 0 && mustFit > zb_.volume_.freeOnDisk) {
      // A record larger than an empty volume fits nowhere: stop rather than open
      // volumes without end. (The first volume's marker counts as empty.)
      const bool empty = zb_.volume_.bytesWritten == 0 || (zb_.volume_.diskNr == 0 && zb_.volume_.bytesWritten <= 4);
      if (empty) throw EZipBuilder(kMsgOutputWriteError);
      CloseVolume(true);
      continue;
    }
    const int64_t n = std::min(length, zb_.volume_.freeOnDisk);
    if (n > 0) {
      put(n);
      if (zb_.OnProgress && zb_.showProgress_) zb_.OnProgress(&zb_, ptBytesDone, "", n);
    }
    zb_.volume_.bytesWritten += n;
    zb_.volume_.freeOnDisk -= n;
    if (n == length) return;
    CloseVolume(true);
    zb_.volume_.freeOnDisk = 0;
    length -= n;
  }
}

TZipDiskAction TZipBuilder::SetWriter::AskStatusDisk(const std::string& name, TZipDiskStatus status) {
  zb_.volume_.diskStatus = status;
  zb_.volume_.diskAction = zdaOk;
  zb_.OnStatusDisk(&zb_, zip::LabelNumber(zb_.volume_.volumeName, 1), name, status, zb_.volume_.diskAction);
  return zb_.volume_.diskAction;
}

bool TZipBuilder::SetWriter::ConfirmOverwrite(const std::string& name) {
  const int labelNumber = zip::LabelNumber(zb_.volume_.volumeName, 1);
  if (zb_.Unattended) throw EZipBuilder(kMsgUnattendedSpanning);
  TZipDiskStatus status;
  std::string prompt;
  auto& files = *zb_.env_->files;
  const auto info = files.Stat(name);
  if (info && static_cast<int32_t>(info->dosDateTime) == zb_.volume_.dateOfInputFile &&
      labelNumber - 1 < zb_.volume_.diskNr) {
    int number = labelNumber;
    prompt = FormatZipMessage(zb_.LoadZipStr(kMsgPreviousDisk, ""), nullptr, 0, &number, 1);
    status.Include(zdsPreviousDisk);
  } else {
    prompt = FormatZipMessage(zb_.LoadZipStr(kMsgOverwriteFile, ""), &name, 1, nullptr, 0);
    status.Include(zdsSameFileName);
  }
  status.Include(zb_.volume_.sizeOfDisk != zb_.volume_.freeOnDisk ? zdsHasFiles : zdsEmpty);

  int answer;
  if (zb_.OnStatusDisk) {
    const TZipDiskAction action = AskStatusDisk(name, status);
    answer = action == zdaOk || action == zdaErase ? ui::kIdYes
             : action == zdaReject                 ? ui::kIdNo
                                                   : ui::kIdCancel;
  } else {
    answer = zb_.ui_->MessageBox(prompt, "Confirm",
                             ui::kMbYesNoCancel | ui::kMbIconWarning | ui::kMbDefButton2);
  }
  if (answer == ui::kIdYes) return true;
  if (answer == ui::kIdNo) return false;
  throw EZipBuilder(kMsgUserCanceled, false);
}

bool TZipBuilder::SetWriter::ConfirmSpace(const std::string& name) {
  if (zb_.Unattended) throw EZipBuilder(kMsgUnattendedSpanning);
  if (zb_.OnStatusDisk) {
    if (AskStatusDisk(name, TZipDiskStatus{zdsNotEnoughSpace}) == zdaCancel)
      throw EZipBuilder(kMsgUserCanceled, false);
    return false;
  }
  const int answer = zb_.ui_->MessageBox(zb_.LoadZipStr(kMsgDiskFull, ""), ui::ApplicationTitle(),
                                     ui::kMbRetryCancel | ui::kMbIconError);
  if (answer == ui::kIdRetry) return false;
  if (answer == 0) throw EZipBuilder(kMsgNoMemoryForBox);
  throw EZipBuilder(kMsgUserCanceled, false);
}

void TZipBuilder::SetWriter::SetUpVolume() {
  auto& files = *zb_.env_->files;
  for (;;) {
    std::string name = zb_.volume_.outFileName;
    const int driveType = zb_.CheckForDisk();
    if (span::HoldsSeparateFiles(driveType)) {
      name = zip::NumberedName(zb_.volume_.outFileName, zb_.volume_.diskNr);
    } else if (zb_.AddOptions.Contains(AddDiskSpanErase) &&
               (!zb_.OnGetNextDisk || zb_.volume_.diskAction == zdaErase)) {
      zb_.format_.driveNumber =
          std::toupper(static_cast<unsigned char>(zb_.volume_.drive.empty() ? 'A' : zb_.volume_.drive[0])) - 'A';
      zb_.volume_.volumeName = zip::VolumeLabel(zb_.volume_.diskNr);
      const int result = zb_.ZipFormat();
      if (result == kFormatCancelled) throw EZipBuilder(kMsgUserCanceled, false);
      if (result == kFormatError) throw EZipBuilder(kMsgUserCanceled, true);
    }
    setOutput_->rule.Check(name);
    if (zb_.FileExists(name) && !ConfirmOverwrite(name)) {
      zb_.volume_.bytesWritten = 0;
      zb_.volume_.newDisk = true;
      continue;
    }

    platform::TemporaryFile volume = CreateTemporaryBeside(files, name);
    if (!volume.IsOpen()) throw EZipBuilder::WithDetail(kMsgOutputCreateFailed, name);
    zb_.outFileHandle_ = volume.Handle();
    zb_.DiskFreeAndSize(1);
    if (zb_.maxVolumeSize_ != 0) zb_.volume_.freeOnDisk = std::min(zb_.volume_.freeOnDisk, zb_.maxVolumeSize_);
    // Offsets within a volume are 32-bit fields: a large disk still gets volumes they can address.
    zb_.volume_.freeOnDisk = std::min<int64_t>(zb_.volume_.freeOnDisk, zip::kSaturated32);
    if (zb_.volume_.diskNr == 0) zb_.volume_.freeOnDisk -= zb_.freeOnDisk1_;

    if (zb_.volume_.freeOnDisk < zb_.minFreeVolumeSize_) {
      volume.Discard();
      zb_.outFileHandle_ = kInvalidHandle;
      if (!ConfirmSpace(name)) {
        zb_.volume_.bytesWritten = 0;
        zb_.volume_.newDisk = true;
        continue;
      }
    }

    if (!span::HoldsSeparateFiles(driveType)) {
      zb_.volume_.volumeName = zip::VolumeLabel(zb_.volume_.diskNr);
      if (!zb_.Drives().SetVolumeLabel(zb_.volume_.drive, zb_.volume_.volumeName)) throw EZipBuilder(kMsgVolumeLabelFailed);
    }
    setOutput_->separateFiles = span::HoldsSeparateFiles(driveType);
    setOutput_->volumes.emplace_back(name, std::move(volume));
    return;
  }
}
