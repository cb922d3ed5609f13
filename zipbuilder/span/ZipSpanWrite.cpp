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

#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipbuilder/ZipBuilder.h"
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

constexpr int64_t kChunk = 1 << 20;

// The compressed sizes the central directory gives (ZIP64 values resolved), by
// local header offset: a local header may leave them 0 (sizes in a descriptor)
// or saturated (sizes in its ZIP64 block).
std::unordered_map<uint64_t, uint64_t> CentralDataSizes(platform::FileSystem& files, FileHandle in,
                                                        const zip::ZipEndOfCentral& end) {
  std::unordered_map<uint64_t, uint64_t> sizes;
  // The end record's sizes are claims: never read (or reserve) past the file.
  const int64_t fileSize = files.Size(in);
  if (fileSize <= end.CentralOffSet ||
      files.Seek(in, end.CentralOffSet, platform::SeekFrom::Begin) != end.CentralOffSet)
    return sizes;
  std::vector<uint8_t> directory(
      static_cast<size_t>(std::min<int64_t>(end.CentralSize, fileSize - end.CentralOffSet)));
  const int64_t got = files.Read(in, directory.data(), directory.size());
  std::span<const uint8_t> rest(directory.data(), static_cast<size_t>(std::max<int64_t>(got, 0)));
  zip::CentralEntry entry;
  while (zip::DecodeCentralEntry(rest, entry) == zip::Status::kOk) {
    sizes[entry.localHeaderOffset] = entry.compressedSize;
    rest = rest.subspan(entry.recordSize);
  }
  return sizes;
}

// A set says everything in its classic end record: the values an archive keeps
// in its ZIP64 end record (streaming writers use one even for small archives)
// are taken into it when they fit, else the archive is refused.
void TakeZip64Values(platform::FileSystem& files, FileHandle in, int64_t endRecordOffset,
                     zip::ZipEndOfCentral& end) {
  if (!zip::IsSaturated(end)) return;
  const std::optional<zip::Zip64EndOfCentral> record = ReadZip64End(files, in, endRecordOffset);
  if (!record) return;  // a classic record whose values merely reach their limits
  const zip::DirectoryExtent extent = zip::ResolveExtent(end, &*record);
  if (extent.entries >= zip::kSaturated16 || extent.size >= zip::kSaturated32 ||
      extent.offset >= zip::kSaturated32 || extent.thisDisk != 0 || extent.centralDisk != 0)
    throw EZipBuilder::WithDetail(kMsgNotZipArchive,
                                  "its directory needs 64-bit records, which a spanned set "
                                  "does not carry");
  end.CentralEntries = end.TotalEntries = static_cast<uint16_t>(extent.entries);
  end.CentralSize = static_cast<uint32_t>(extent.size);
  end.CentralOffSet = static_cast<uint32_t>(extent.offset);
  end.ThisDiskNo = end.CentralDiskNo = 0;
}

}  // namespace

// The volumes of the set being written. Each is written unnamed (or under a
// temporary name) beside its final name. Numbered files take their names only
// once the whole set is complete, so a failed or killed run leaves the files of
// those names as they were; a removable disk's volume takes its name when the
// disk is done, before the next one is asked for.
struct TZipBuilder::SetOutput {
  explicit SetOutput(platform::FileSystem& files) : rule(files) {}
  OutputRule rule;  // what the set is written from
  bool separateFiles = true;
  std::vector<std::pair<std::string, platform::TemporaryFile>> volumes;  // not yet named
};

platform::DriveProvider& TZipBuilder::Drives() {
  return *env_->drives;  // the environment is complete: checked at construction
}

int TZipBuilder::WriteSpan(const std::string& InFileName, const std::string& OutFileName) {
  return Busy() ? kSpanBusy : WriteSpanSet(InFileName, OutFileName);
}

void TZipBuilder::NameVolume(std::string& name, platform::TemporaryFile& volume) {
  auto& files = *env_->files;
  if (!files.Sync(volume.Handle()))
    throw EZipBuilder::WithDetail(kMsgOutputWriteError, platform::ErrorText(files.LastError()));
  if (ReplaceArchive(*env_, volume, name, false) != ReplaceOutcome::Replaced)
    throw EZipBuilder::WithDetail(kMsgOutputCreateFailed, name);
}

void TZipBuilder::NameCompleteSet() {
  auto& files = *env_->files;
  for (auto& [name, volume] : setOutput_->volumes) NameVolume(name, volume);
  setOutput_->volumes.clear();
  if (!setOutput_->separateFiles) return;
  // Files of higher numbers belong to an older, longer set of this name: left
  // in place, they would make the new set read as that one.
  for (int32_t n = diskNr_ + 1; n < 999; ++n) {
    const std::string name = zip::NumberedName(outFileName_, n);
    if (!FileExists(name)) break;
    if (!setOutput_->rule.Reads(name)) files.DeleteFile(name);
  }
}

int TZipBuilder::WriteSpanSet(const std::string& InFileName, const std::string& OutFileName,
                              const std::string& alsoReads) {
  auto& files = *env_->files;
  SetOutput output(files);
  output.rule.AddInput(InFileName);
  if (!alsoReads.empty()) output.rule.AddInput(alsoReads);
  setOutput_ = &output;
  zipRunning_ = true;
  drive_ = platform::ExtractDriveRoot(platform::ExpandFileName(OutFileName));
  diskNr_ = 0;
  freeOnDisk_ = 0;
  newDisk_ = true;
  bytesWritten_ = 0;
  inFileName_ = InFileName;
  outFileName_ = OutFileName;
  outFileHandle_ = kInvalidHandle;
  showProgress_ = false;
  StartWaitCursor();
  std::vector<uint8_t> buffer;
  std::unique_ptr<span::MDZipDataTable> table;

  const int result = RunCoded([&] {
    if (!FileExists(InFileName)) throw EZipBuilder(kMsgInputMissing);
    zip::ZipEndOfCentral end{};
    CheckIfLastDisk(end, true);
    dateOfInputFile_ = static_cast<int32_t>(files.GetFileDosTime(inFileHandle_).value_or(0));
    TakeZip64Values(files, inFileHandle_, endOfCentralOffset_, end);
    const auto centralSizes = CentralDataSizes(files, inFileHandle_, end);
    if (files.Seek(inFileHandle_, 0, platform::SeekFrom::Begin) != 0)
      throw EZipBuilder(kMsgInputSeekError);
    buffer.resize(kChunk);
    std::vector<uint8_t> extra;
    table = AllocSpanMem(end.TotalEntries);

    uint8_t marker[4];
    zip::Store32(marker, zip::kSpannedSetMarker);
    WriteSplit(marker, sizeof marker, 0);
    showProgress_ = true;
    if (OnProgress) {
      OnProgress(this, ptMemberCount, "", end.TotalEntries);
      OnProgress(this, ptTotalBytes, "", archiveFileSize_);
    }

    uint8_t header[kCentralHeaderSize];
    for (int i = 0; i < end.TotalEntries; ++i) {
      const int64_t localAt = files.Seek(inFileHandle_, 0, platform::SeekFrom::Current);
      if (files.Read(inFileHandle_, header, kLocalHeaderSize) != kLocalHeaderSize)
        throw EZipBuilder(kMsgLocalHeaderReadError);
      zip::LocalFileHeader local;
      zip::Decode(header, local);
      if (local.HeaderSig != zip::kLocalHeaderSignature) throw EZipBuilder(kMsgLocalSignatureWrong);
      if (files.Read(inFileHandle_, buffer.data(), local.FileNameLen) != local.FileNameLen)
        throw EZipBuilder(kMsgLocalNameReadError);
      span::MDZipData& entry = *(*table)[i];
      entry.FileNameLen = local.FileNameLen;
      entry.FileName = std::string(reinterpret_cast<char*>(buffer.data()), local.FileNameLen);

      const std::string shown = ReplaceForwardSlash(*entry.FileName);
      if (OnMessage) OnMessage(this, 0, LoadZipStr(kMsgCopying, "Copying: ") + shown);
      extra.resize(local.ExtraLen);
      if (files.Read(inFileHandle_, extra.data(), extra.size()) != local.ExtraLen)
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
      if (OnProgress) OnProgress(this, ptMemberBegin, shown, memberSize);

      WriteSplit(header, kLocalHeaderSize, kLocalHeaderSize + local.FileNameLen + local.ExtraLen);
      entry.DiskStart = static_cast<uint16_t>(diskNr_);
      entry.RelOffLocal = static_cast<int32_t>(bytesWritten_ - kLocalHeaderSize);
      WriteSplit(buffer.data(), local.FileNameLen, 0);
      WriteSplit(extra.data(), local.ExtraLen, 0);
      RWSplitData(buffer.data(), dataSize, kMsgDataReadError);
      if (descriptor) {
        // Its form shows in its first word (signature or CRC) and the local ZIP64 block.
        uint8_t word[4];
        if (files.Read(inFileHandle_, word, 4) != 4) throw EZipBuilder(kMsgDescriptorError);
        const zip::DescriptorForm form = zip::PrescribedDataDescriptor(extra, zip::Load32(word));
        WriteSplit(word, 4, 0);
        RWSplitData(buffer.data(), static_cast<int64_t>(form.length) - 4, kMsgDescriptorError);
      }
    }

    const std::string directoryText = LoadZipStr(kMsgCentralDirectory, "central directory");
    if (OnMessage) OnMessage(this, 0, LoadZipStr(kMsgCopying, "Copying: ") + directoryText);
    if (OnProgress)
      OnProgress(this, ptMemberBegin, directoryText,
                 int64_t{end.CentralSize} + end.ZipCommentLen + kEndRecordSize);

    int32_t directoryDisk = diskNr_;
    int64_t directoryOffset = bytesWritten_;
    for (int i = 0; i < end.TotalEntries; ++i) {
      if (files.Read(inFileHandle_, header, kCentralHeaderSize) != kCentralHeaderSize)
        throw EZipBuilder(kMsgCentralHeaderReadError);
      zip::CentralFileHeader central;
      zip::Decode(header, central);
      if (central.HeaderSig != zip::kCentralHeaderSignature)
        throw EZipBuilder(kMsgCentralSignatureWrong);
      if (files.Read(inFileHandle_, buffer.data(), central.FileNameLen) != central.FileNameLen)
        throw EZipBuilder(kMsgCentralNameReadError);
      const std::string name(reinterpret_cast<char*>(buffer.data()), central.FileNameLen);
      // Directory order usually is file order: try the same position first.
      int index = i;
      const span::MDZipData* hint =
          i < static_cast<int>(table->size()) ? (*table)[i].get() : nullptr;
      if (!hint || !hint->FileName || *hint->FileName != name)
        index = FindZipEntry(end.TotalEntries, *table, name, central.FileNameLen);
      central.DiskStart = (*table)[index]->DiskStart;
      central.RelOffLocal = static_cast<uint32_t>((*table)[index]->RelOffLocal);
      zip::Encode(central, header);
      WriteSplit(header, kCentralHeaderSize,
                 kCentralHeaderSize + central.FileNameLen + central.ExtraLen + central.FileComLen);
      if (i == 0) {
        directoryDisk = diskNr_;
        directoryOffset = bytesWritten_ - kCentralHeaderSize;
      }
      WriteSplit(buffer.data(), central.FileNameLen, 0);
      RWSplitData(buffer.data(), central.ExtraLen, kMsgCentralExtraReadError);
      RWSplitData(buffer.data(), central.FileComLen, kMsgFileCommentReadError);
    }

    // The end record goes whole onto the volume that then receives it.
    zip::ZipEndOfCentral record = end;
    record.CentralDiskNo = static_cast<uint16_t>(directoryDisk);
    record.CentralOffSet = static_cast<uint32_t>(directoryOffset);
    WriteSplit(nullptr, 0, kEndRecordSize + end.ZipCommentLen);
    record.ThisDiskNo = static_cast<uint16_t>(diskNr_);
    zip::Encode(record, header);
    WriteSplit(header, kEndRecordSize, 0);
    // Any ZIP64 end record and locator between the directory and the end record stay behind.
    const int64_t commentAt = int64_t{endOfCentralOffset_} + kEndRecordSize;
    if (files.Seek(inFileHandle_, commentAt, platform::SeekFrom::Begin) != commentAt)
      throw EZipBuilder(kMsgInputSeekError);
    RWSplitData(buffer.data(), end.ZipCommentLen, kMsgArchiveCommentReadError);
    showProgress_ = false;
    if (outFileHandle_ != kInvalidHandle)
      files.SetFileDosTime(outFileHandle_, static_cast<uint32_t>(dateOfInputFile_));
    outFileHandle_ = kInvalidHandle;
    NameCompleteSet();
  });

  if (OnProgress) OnProgress(this, ptBatchEnd, "", 0);
  DeleteSpanMem(table);
  // After a failure the volumes not yet named go with `output`.
  outFileHandle_ = kInvalidHandle;
  setOutput_ = nullptr;
  if (inFileHandle_ != kInvalidHandle) {
    files.Close(inFileHandle_);
    inFileHandle_ = kInvalidHandle;
  }
  zipRunning_ = false;
  StopWaitCursor();
  return result;
}

void TZipBuilder::RWSplitData(void* buffer, int64_t length, int messageId) {
  while (length > 0) {
    const int64_t n = std::min(length, kChunk);
    if (env_->files->Read(inFileHandle_, buffer, static_cast<size_t>(n)) != n)
      throw EZipBuilder(messageId);
    WriteSplit(buffer, n, 0);
    length -= n;
  }
}

void TZipBuilder::CloseVolume(bool nextDisk) {
  auto& files = *env_->files;
  files.SetFileDosTime(outFileHandle_, static_cast<uint32_t>(dateOfInputFile_));
  outFileHandle_ = kInvalidHandle;  // the volume's file holds the handle
  if (!setOutput_->separateFiles) {
    auto& [name, volume] = setOutput_->volumes.back();
    NameVolume(name, volume);
    setOutput_->volumes.pop_back();
  }
  bytesWritten_ = 0;
  if (nextDisk) {
    ++diskNr_;
    newDisk_ = true;
  }
}

void TZipBuilder::WriteSplit(const void* buffer, int64_t length, int64_t mustFit) {
  ui_->ProcessMessages();
  if (Cancel) throw EZipBuilder(kMsgUserCanceled, false);
  const auto* bytes = static_cast<const uint8_t*>(buffer);
  for (;;) {
    if (outFileHandle_ == kInvalidHandle) SetUpVolume();
    if (mustFit != 0 && mustFit > freeOnDisk_) {
      // A record larger than an empty volume fits nowhere: stop rather than open
      // volumes without end. (The first volume's marker counts as empty.)
      const bool empty = bytesWritten_ == 0 || (diskNr_ == 0 && bytesWritten_ <= 4);
      if (empty) throw EZipBuilder(kMsgOutputWriteError);
      CloseVolume(true);
      continue;
    }
    const int64_t n = std::min(length, freeOnDisk_);
    if (n > 0) {
      const int64_t written = env_->files->Write(outFileHandle_, bytes, static_cast<size_t>(n));
      if (written != n)
        throw EZipBuilder::WithDetail(kMsgOutputWriteError,
                                      platform::ErrorText(env_->files->LastError()));
      if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", n);
    }
    bytesWritten_ += n;
    freeOnDisk_ -= n;
    if (n == length) return;
    CloseVolume(true);
    freeOnDisk_ = 0;
    bytes += n;
    length -= n;
  }
}

TZipDiskAction TZipBuilder::AskStatusDisk(const std::string& name, TZipDiskStatus status) {
  diskStatus_ = status;
  diskAction_ = zdaOk;
  OnStatusDisk(this, zip::LabelNumber(volumeName_, 1), name, status, diskAction_);
  return diskAction_;
}

bool TZipBuilder::ConfirmOverwrite(const std::string& name) {
  const int labelNumber = zip::LabelNumber(volumeName_, 1);
  if (Unattended) throw EZipBuilder(kMsgUnattendedSpanning);
  TZipDiskStatus status;
  std::string prompt;
  auto& files = *env_->files;
  const auto info = files.Stat(name);
  if (info && static_cast<int32_t>(info->dosDateTime) == dateOfInputFile_ &&
      labelNumber - 1 < diskNr_) {
    int number = labelNumber;
    prompt = FormatZipMessage(LoadZipStr(kMsgPreviousDisk, ""), nullptr, 0, &number, 1);
    status.Include(zdsPreviousDisk);
  } else {
    prompt = FormatZipMessage(LoadZipStr(kMsgOverwriteFile, ""), &name, 1, nullptr, 0);
    status.Include(zdsSameFileName);
  }
  status.Include(sizeOfDisk_ != freeOnDisk_ ? zdsHasFiles : zdsEmpty);

  int answer;
  if (OnStatusDisk) {
    const TZipDiskAction action = AskStatusDisk(name, status);
    answer = action == zdaOk || action == zdaErase ? ui::kIdYes
             : action == zdaReject                 ? ui::kIdNo
                                                   : ui::kIdCancel;
  } else {
    answer = ui_->MessageBox(prompt, "Confirm",
                             ui::kMbYesNoCancel | ui::kMbIconWarning | ui::kMbDefButton2);
  }
  if (answer == ui::kIdYes) return true;
  if (answer == ui::kIdNo) return false;
  throw EZipBuilder(kMsgUserCanceled, false);
}

bool TZipBuilder::ConfirmSpace(const std::string& name) {
  if (Unattended) throw EZipBuilder(kMsgUnattendedSpanning);
  if (OnStatusDisk) {
    if (AskStatusDisk(name, TZipDiskStatus{zdsNotEnoughSpace}) == zdaCancel)
      throw EZipBuilder(kMsgUserCanceled, false);
    return false;
  }
  const int answer = ui_->MessageBox(LoadZipStr(kMsgDiskFull, ""), ui::ApplicationTitle(),
                                     ui::kMbRetryCancel | ui::kMbIconError);
  if (answer == ui::kIdRetry) return false;
  if (answer == 0) throw EZipBuilder(kMsgNoMemoryForBox);
  throw EZipBuilder(kMsgUserCanceled, false);
}

void TZipBuilder::SetUpVolume() {
  auto& files = *env_->files;
  for (;;) {
    std::string name = outFileName_;
    const int driveType = CheckForDisk();
    if (span::HoldsSeparateFiles(driveType)) {
      name = zip::NumberedName(outFileName_, diskNr_);
    } else if (AddOptions.Contains(AddDiskSpanErase) &&
               (!OnGetNextDisk || diskAction_ == zdaErase)) {
      formatDriveNumber_ =
          std::toupper(static_cast<unsigned char>(drive_.empty() ? 'A' : drive_[0])) - 'A';
      volumeName_ = zip::VolumeLabel(diskNr_);
      const int result = ZipFormat();
      if (result == kFormatCancelled) throw EZipBuilder(kMsgUserCanceled, false);
      if (result == kFormatError) throw EZipBuilder(kMsgUserCanceled, true);
    }
    setOutput_->rule.Check(name);
    if (FileExists(name) && !ConfirmOverwrite(name)) {
      bytesWritten_ = 0;
      newDisk_ = true;
      continue;
    }

    platform::TemporaryFile volume = CreateTemporaryBeside(files, name);
    if (!volume.IsOpen()) throw EZipBuilder::WithDetail(kMsgOutputCreateFailed, name);
    outFileHandle_ = volume.Handle();
    DiskFreeAndSize(1);
    if (maxVolumeSize_ != 0) freeOnDisk_ = std::min(freeOnDisk_, maxVolumeSize_);
    if (diskNr_ == 0) freeOnDisk_ -= freeOnDisk1_;

    if (freeOnDisk_ < minFreeVolumeSize_) {
      volume.Discard();
      outFileHandle_ = kInvalidHandle;
      if (!ConfirmSpace(name)) {
        bytesWritten_ = 0;
        newDisk_ = true;
        continue;
      }
    }

    if (!span::HoldsSeparateFiles(driveType)) {
      volumeName_ = zip::VolumeLabel(diskNr_);
      if (!Drives().SetVolumeLabel(drive_, volumeName_)) throw EZipBuilder(kMsgVolumeLabelFailed);
    }
    setOutput_->separateFiles = span::HoldsSeparateFiles(driveType);
    setOutput_->volumes.emplace_back(name, std::move(volume));
    return;
  }
}
