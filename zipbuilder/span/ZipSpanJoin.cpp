// Joining a spanned set into one ordinary archive: the directory is read from the
// last volumes, then every member is copied from the first volume on, and the
// directory and end record follow with volume numbers 0 and offsets in the
// joined file.
#include <algorithm>
#include <vector>

#include "zipbuilder/ZipBuilder.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/rewrite/OutputRule.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipformat/DataDescriptor.h"
#include "zipformat/Headers.h"
#include "zipformat/VolumeNames.h"

using platform::kInvalidHandle;

namespace {

using zip::kCentralHeaderSize;
using zip::kEndRecordSize;
using zip::kLocalHeaderSize;

constexpr size_t kChunk = 1 << 20;

// The entry for `name`: the one at `position` when it carries that name (members
// usually come in the same order in both places), else the first of that name.
int EntryFor(const span::MDZipDataTable& table, int count, int position,
             const std::string& name) {
  const span::MDZipData* hint = position < static_cast<int>(table.size())
                                        ? table[static_cast<size_t>(position)].get()
                                        : nullptr;
  if (hint && hint->FileName && *hint->FileName == name) return position;
  return TZipBuilder::FindZipEntry(count, table, name, static_cast<int>(name.size()));
}

}  // namespace

bool TZipBuilder::AtEndOfVolume() {
  auto& files = *env_->files;
  const int64_t position = files.Seek(inFileHandle_, 0, platform::SeekFrom::Current);
  return position >= 0 && position >= files.Size(inFileHandle_);
}

void TZipBuilder::ReadVolumeRecord(uint8_t* record, size_t size, int messageId) {
  // Volumes written by WriteSpan never cut a record: bytes before a volume's end
  // are dropped and the record is read again from the next volume's start.
  while (env_->files->Read(inFileHandle_, record, size) != static_cast<int64_t>(size)) {
    if (!AtEndOfVolume() || diskNr_ >= lastDiskNumber_)
      throw EZipBuilder::WithDetail(messageId, inFileName_);
    GetNewDisk(diskNr_ + 1);
  }
}

void TZipBuilder::ReadAcrossVolumes(void* buffer, int64_t length, int messageId) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    const int64_t got = env_->files->Read(inFileHandle_, bytes, static_cast<size_t>(length));
    if (got < 0) throw EZipBuilder::WithDetail(messageId, inFileName_);
    if (got < length) {
      if (!AtEndOfVolume() || diskNr_ >= lastDiskNumber_)
        throw EZipBuilder::WithDetail(messageId, inFileName_);
      GetNewDisk(diskNr_ + 1);
    }
    bytes += got;
    length -= got;
  }
}

void TZipBuilder::WriteJoin(const void* buffer, int64_t length, int messageId) {
  if (env_->files->Write(outFileHandle_, buffer, static_cast<size_t>(length)) != length)
    throw EZipBuilder(messageId);
  if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", length);
}

void TZipBuilder::RWJoinData(void* buffer, int64_t length, int messageId) {
  while (length > 0) {
    const int64_t n = std::min<int64_t>(length, kChunk);
    ReadAcrossVolumes(buffer, n, messageId);
    // A failed write (a full disk) is a write error, not one of the input.
    if (env_->files->Write(outFileHandle_, buffer, static_cast<size_t>(n)) != n)
      throw EZipBuilder::WithDetail(kMsgOutputWriteError,
                                    platform::ErrorText(env_->files->LastError()));
    if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", n);
    length -= n;
  }
}

int TZipBuilder::ReadSpan(const std::string& InFileName, std::string& OutFileName) {
  if (Busy()) return kSpanBusy;
  return JoinSpanSet(InFileName, OutFileName);
}

int TZipBuilder::JoinSpanSet(const std::string& InFileName, std::string& OutFileName,
                             platform::TemporaryFile* into) {
  auto& files = *env_->files;
  unzipRunning_ = true;
  drive_ = platform::ExtractDriveRoot(platform::ExpandFileName(InFileName));
  diskNr_ = -1;
  newDisk_ = false;
  showProgress_ = false;
  inFileName_ = InFileName;
  if (inFileHandle_ != kInvalidHandle) files.Close(inFileHandle_);
  inFileHandle_ = kInvalidHandle;
  StartWaitCursor();
  std::vector<uint8_t> buffer;
  std::unique_ptr<span::MDZipDataTable> table;

  // A named output is written beside its name and takes it only when complete:
  // a failed or killed join leaves the old file of that name as it was.
  platform::TemporaryFile beside;
  const std::string givenName = OutFileName;
  std::string target;
  const int result = RunCoded([&] {
    buffer.resize(kChunk);
    // The last volume holds the end record; a numbered file that is not the last
    // one is named wrongly, a removable disk that is not is asked for again.
    int driveType = platform::kDriveRemovable;
    zip::ZipEndOfCentral end{};
    for (;;) {
      if (span::HoldsSeparateFiles(driveType)) {
        const int number = zip::NumberBeforeExtension(inFileName_);
        if (number == 1) throw EZipBuilder(kMsgFirstDiskOfSet);
        if (number == 0) throw EZipBuilder(kMsgNotZipArchive);
        throw EZipBuilder(kMsgNthDiskOfSet, number);
      }
      driveType = CheckForDisk();
      newDisk_ = true;
      if (span::HoldsSeparateFiles(driveType) && !FileExists(inFileName_))
        throw EZipBuilder::WithDetail(kMsgInputMissing, inFileName_);
      if (CheckIfLastDisk(end, false)) break;
    }

    if (into) {
      if (!into->IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
      OutFileName = into->Path();
    } else if (platform::ExtractFileName(OutFileName).empty()) {
      OutFileName = MakeTempFileName("zip", ".zip");
      if (OutFileName.empty()) throw EZipBuilder(kMsgTempFileFailed);
    } else {
      // Neither the name given (erased once the join is complete) nor the
      // joined archive's may be a volume of the set.
      OutputRule rule(files);
      if (span::HoldsSeparateFiles(driveType))
        rule.AddNumberedVolumes(inFileName_, end.ThisDiskNo);
      else
        rule.AddInput(inFileName_);
      target = platform::ChangeFileExt(OutFileName, ".zip");
      rule.Check(OutFileName);
      rule.Check(target);
      beside = CreateTemporaryBeside(files, target);
      if (!beside.IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
    }
    const std::string writeTo = beside.IsOpen() ? beside.Path() : OutFileName;
    outFileHandle_ = files.Open(writeTo, platform::Access::Write, platform::Share::None,
                                into || beside.IsOpen() ? platform::Disposition::OpenExisting
                                                        : platform::Disposition::CreateNew,
                                0600);
    if (outFileHandle_ == kInvalidHandle) throw EZipBuilder(kMsgOutputCreateFailed);

    dateOfInputFile_ = static_cast<int32_t>(files.GetFileDosTime(inFileHandle_).value_or(0));
    lastDiskNumber_ = end.ThisDiskNo;
    if (end.ThisDiskNo != end.CentralDiskNo)
      GetNewDisk(end.CentralDiskNo);
    else
      diskNr_ = end.ThisDiskNo;
    if (files.Seek(inFileHandle_, end.CentralOffSet, platform::SeekFrom::Begin) !=
        end.CentralOffSet)
      throw EZipBuilder(kMsgInputSeekError);

    table = AllocSpanMem(end.TotalEntries);
    // Data sizes as the directory gives them, ZIP64 values resolved, by entry.
    std::vector<uint64_t> dataSizes(static_cast<size_t>(end.TotalEntries));
    std::vector<uint8_t> extra;
    int64_t totalBytes = 0;
    uint8_t header[kCentralHeaderSize];
    std::string name;
    auto readName = [&](size_t length, int messageId) {
      name.resize(length);
      if (files.Read(inFileHandle_, name.data(), length) != static_cast<int64_t>(length))
        throw EZipBuilder(messageId);
    };
    // A central header's fixed part into `header` and its name into `name`.
    auto readCentralHeader = [&] {
      ReadVolumeRecord(header, kCentralHeaderSize, kMsgCentralHeaderReadError);
      zip::CentralFileHeader central;
      zip::Decode(header, central);
      if (central.HeaderSig != zip::kCentralHeaderSignature)
        throw EZipBuilder(kMsgCentralSignatureWrong);
      readName(central.FileNameLen, kMsgCentralNameReadError);
      return central;
    };
    for (int i = 0; i < end.TotalEntries; ++i) {
      zip::CentralFileHeader central = readCentralHeader();
      span::MDZipData& entry = *(*table)[static_cast<size_t>(i)];
      entry.FileNameLen = central.FileNameLen;
      entry.FileName = name;
      entry.ComprSize = central.ComprSize;
      extra.resize(central.ExtraLen);
      ReadAcrossVolumes(extra.data(), central.ExtraLen, kMsgCentralExtraReadError);
      zip::CentralEntry resolved;
      resolved.header = central;
      resolved.extra = extra;
      if (zip::ResolveCentralValues(resolved) != zip::Status::kOk)
        throw EZipBuilder(kMsgCentralExtraReadError);
      dataSizes[static_cast<size_t>(i)] = resolved.compressedSize;
      totalBytes += int64_t{central.FileNameLen} + static_cast<int64_t>(resolved.compressedSize) +
                    central.ExtraLen + central.FileComLen;
      if (files.Seek(inFileHandle_, central.FileComLen, platform::SeekFrom::Current) < 0)
        throw EZipBuilder(kMsgInputSeekError);
    }

    GetNewDisk(0);
    showProgress_ = true;
    if (OnProgress) {
      OnProgress(this, ptMemberCount, "", end.TotalEntries);
      OnProgress(this, ptTotalBytes, "", totalBytes);
    }
    uint8_t marker[4];
    if (files.Read(inFileHandle_, marker, 4) != 4 || zip::Load32(marker) != zip::kSpannedSetMarker)
      throw EZipBuilder(kMsgExtendedLocalReadError);

    int64_t outPosition = 0;
    for (int i = 0; i < end.TotalEntries; ++i) {
      ReadVolumeRecord(header, kLocalHeaderSize, kMsgLocalHeaderReadError);
      zip::LocalFileHeader local;
      zip::Decode(header, local);
      if (local.HeaderSig != zip::kLocalHeaderSignature) throw EZipBuilder(kMsgLocalSignatureWrong);
      readName(local.FileNameLen, kMsgLocalNameReadError);
      const auto index = static_cast<size_t>(EntryFor(*table, end.TotalEntries, i, name));
      span::MDZipData& entry = *(*table)[index];
      entry.DiskStart = 0;
      entry.RelOffLocal = static_cast<int32_t>(outPosition);
      extra.resize(local.ExtraLen);
      ReadAcrossVolumes(extra.data(), local.ExtraLen, kMsgLocalExtraReadError);

      const bool descriptor = local.Flag & zip::kFlagDataDescriptor;
      const auto dataSize = static_cast<int64_t>(dataSizes[index]);
      const std::string shown = ReplaceForwardSlash(name);
      if (OnMessage) OnMessage(this, 0, LoadZipStr(kMsgCopying, "Copying: ") + shown);
      if (OnProgress)
        OnProgress(this, ptMemberBegin, shown,
                   int64_t{kLocalHeaderSize} + local.FileNameLen + local.ExtraLen + dataSize);
      WriteJoin(header, kLocalHeaderSize, kMsgLocalHeaderWriteError);
      WriteJoin(name.data(), local.FileNameLen, kMsgLocalHeaderWriteError);
      WriteJoin(extra.data(), local.ExtraLen, kMsgLocalHeaderWriteError);
      RWJoinData(buffer.data(), dataSize, kMsgDataReadError);
      int64_t descriptorSize = 0;
      if (descriptor) {
        // Its form shows in its first word (signature or CRC) and the local ZIP64 block.
        uint8_t word[4];
        ReadAcrossVolumes(word, 4, kMsgDescriptorError);
        descriptorSize =
            static_cast<int64_t>(zip::PrescribedDataDescriptor(extra, zip::Load32(word)).length);
        WriteJoin(word, 4, kMsgDescriptorError);
        RWJoinData(buffer.data(), descriptorSize - 4, kMsgDescriptorError);
      }
      outPosition += int64_t{kLocalHeaderSize} + local.FileNameLen + local.ExtraLen + dataSize +
                     descriptorSize;
    }

    showProgress_ = false;
    const int64_t directoryOffset = outPosition;
    for (int i = 0; i < end.TotalEntries; ++i) {
      zip::CentralFileHeader central = readCentralHeader();
      const span::MDZipData& entry =
          *(*table)[static_cast<size_t>(EntryFor(*table, end.TotalEntries, i, name))];
      central.RelOffLocal = static_cast<uint32_t>(entry.RelOffLocal);
      central.DiskStart = 0;
      zip::Encode(central, header);
      WriteJoin(header, kCentralHeaderSize, kMsgCentralHeaderWriteError);
      WriteJoin(name.data(), central.FileNameLen, kMsgCentralHeaderWriteError);
      RWJoinData(buffer.data(), central.ExtraLen, kMsgCentralExtraReadError);
      RWJoinData(buffer.data(), central.FileComLen, kMsgFileCommentReadError);
    }

    zip::ZipEndOfCentral record = end;
    record.ThisDiskNo = 0;
    record.CentralDiskNo = 0;
    record.CentralOffSet = static_cast<uint32_t>(directoryOffset);
    zip::Encode(record, header);
    WriteJoin(header, kEndRecordSize, kMsgEndRecordWriteError);
    // The set's own end record may begin the next volume: read it, never seek past it.
    ReadVolumeRecord(header, kEndRecordSize, kMsgInputSeekError);
    RWJoinData(buffer.data(), end.ZipCommentLen, kMsgArchiveCommentReadError);
  });

  if (OnProgress) OnProgress(this, ptBatchEnd, "", 0);
  DeleteSpanMem(table);
  if (inFileHandle_ != kInvalidHandle) {
    files.Close(inFileHandle_);
    inFileHandle_ = kInvalidHandle;
  }
  int outcome = result;
  if (outFileHandle_ != kInvalidHandle) {
    if (beside.IsOpen()) {
      outcome = FinishTemporary(outFileHandle_, static_cast<uint32_t>(dateOfInputFile_), outcome);
    } else {
      files.SetFileDosTime(outFileHandle_, static_cast<uint32_t>(dateOfInputFile_));
      files.Close(outFileHandle_);
      outFileHandle_ = kInvalidHandle;
      if (outcome != 0 && !into) files.DeleteFile(OutFileName);
    }
  }
  if (outcome == 0 && beside.IsOpen()) {
    outcome = ReplaceZipFile(beside, target, HowToDelete);
    if (outcome == 0 && givenName != target && FileExists(givenName))
      EraseFile(givenName, HowToDelete);
    OutFileName = target;
  }
  beside.Discard();
  if (outcome != 0) OutFileName.clear();
  showProgress_ = false;
  unzipRunning_ = false;
  StopWaitCursor();
  return outcome;
}
