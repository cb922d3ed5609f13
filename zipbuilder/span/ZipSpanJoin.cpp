// Joining a spanned set into one ordinary archive: the directory is read from the
// last volumes, then every member is copied from the first volume on, and the
// directory and end record follow with volume numbers 0 and offsets in the
// joined file.
#include <algorithm>
#include <vector>

#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/span/SetJoiner.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/rewrite/OutputRule.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipbuilder/read/ArchiveStreams.h"
#include "zipbuilder/read/StoredArchive.h"
#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipformat/DataDescriptor.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipformat/VolumeNames.h"

using platform::kInvalidHandle;

namespace {

using zip::kCentralHeaderSize;
using zip::kEndRecordSize;
using zip::kLocalHeaderSize;

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

bool TZipBuilder::SetJoiner::AtEndOfVolume() {
  auto& files = *zb_.env_->files;
  const int64_t position = files.Seek(zb_.inFileHandle_, 0, platform::SeekFrom::Current);
  return position >= 0 && position >= files.Size(zb_.inFileHandle_);
}

void TZipBuilder::SetJoiner::ReadVolumeRecord(uint8_t* record, size_t size, int messageId) {
  // Volumes written by WriteSpan never cut a record: bytes before a volume's end
  // are dropped and the record is read again from the next volume's start.
  while (zb_.env_->files->Read(zb_.inFileHandle_, record, size) != static_cast<int64_t>(size)) {
    if (!AtEndOfVolume() || zb_.volume_.diskNr >= zb_.listed_.lastDiskNumber)
      throw EZipBuilder::WithDetail(messageId, zb_.inFileName_);
    zb_.GetNewDisk(zb_.volume_.diskNr + 1);
  }
}

void TZipBuilder::SetJoiner::ReadAcrossVolumes(void* buffer, int64_t length, int messageId) {
  auto* bytes = static_cast<uint8_t*>(buffer);
  while (length > 0) {
    const int64_t got = zb_.env_->files->Read(zb_.inFileHandle_, bytes, static_cast<size_t>(length));
    if (got < 0) throw EZipBuilder::WithDetail(messageId, zb_.inFileName_);
    if (got < length) {
      if (!AtEndOfVolume() || zb_.volume_.diskNr >= zb_.listed_.lastDiskNumber)
        throw EZipBuilder::WithDetail(messageId, zb_.inFileName_);
      zb_.GetNewDisk(zb_.volume_.diskNr + 1);
    }
    bytes += got;
    length -= got;
  }
}

void TZipBuilder::SetJoiner::WriteJoin(const void* buffer, int64_t length, int messageId) {
  if (zb_.env_->files->Write(zb_.outFileHandle_, buffer, static_cast<size_t>(length)) != length)
    throw EZipBuilder(messageId);
  if (zb_.OnProgress && zb_.showProgress_) zb_.OnProgress(&zb_, ptBytesDone, "", length);
}

void TZipBuilder::SetJoiner::RWJoinData(int64_t length, int messageId) {
  auto& files = *zb_.env_->files;
  while (length > 0) {
    const int64_t piece = std::min(length, kMoveBlock);
    const int64_t moved = MoveBlocks(files, zb_.inFileHandle_, zb_.outFileHandle_, piece);
    // A failed write (a full disk) is a write error, not one of the input.
    if (moved < 0 && FailedWriting(files.LastError()))
      throw EZipBuilder::WithDetail(kMsgOutputWriteError, platform::ErrorText(files.LastError()));
    if (moved < 0) throw EZipBuilder::WithDetail(messageId, zb_.inFileName_);
    if (moved > 0 && zb_.OnProgress && zb_.showProgress_) zb_.OnProgress(&zb_, ptBytesDone, "", moved);
    length -= moved;
    if (moved < piece) {  // the volume ends: the rest is on the next one
      if (!AtEndOfVolume() || zb_.volume_.diskNr >= zb_.listed_.lastDiskNumber)
        throw EZipBuilder::WithDetail(messageId, zb_.inFileName_);
      zb_.GetNewDisk(zb_.volume_.diskNr + 1);
    }
  }
}

int TZipBuilder::ReadSpan(const std::string& InFileName, std::string& OutFileName) {
  if (Busy()) return kSpanBusy;
  return SetJoiner(*this).JoinSpanSet(InFileName, OutFileName);
}

int TZipBuilder::SetJoiner::JoinSpanSet(const std::string& InFileName, std::string& OutFileName,
                             platform::TemporaryFile* into) {
  auto& files = *zb_.env_->files;
  zb_.unzipRunning_ = true;
  zb_.volume_.drive = platform::ExtractDriveRoot(platform::ExpandFileName(InFileName));
  zb_.volume_.diskNr = -1;
  zb_.volume_.newDisk = false;
  zb_.showProgress_ = false;
  zb_.inFileName_ = InFileName;
  zb_.CloseInput();
  zb_.StartWaitCursor();
  std::unique_ptr<span::MDZipDataTable> table;

  // A named output is written beside its name and takes it only when complete:
  // a failed or killed join leaves the old file of that name as it was.
  platform::TemporaryFile beside;
  const std::string givenName = OutFileName;
  std::string target;
  const int result = zb_.RunCoded([&] {
    // The last volume holds the end record; a numbered file that is not the last
    // one is named wrongly, a removable disk that is not is asked for again.
    int driveType = platform::kDriveRemovable;
    zip::ZipEndOfCentral end{};
    for (;;) {
      if (span::HoldsSeparateFiles(driveType)) {
        const int number = zip::NumberBeforeExtension(zb_.inFileName_);
        if (number == 1) throw EZipBuilder(kMsgFirstDiskOfSet);
        if (number == 0) throw EZipBuilder(kMsgNotZipArchive);
        throw EZipBuilder(kMsgNthDiskOfSet, number);
      }
      driveType = zb_.CheckForDisk();
      zb_.volume_.newDisk = true;
      if (span::HoldsSeparateFiles(driveType) && !zb_.FileExists(zb_.inFileName_))
        throw EZipBuilder::WithDetail(kMsgInputMissing, zb_.inFileName_);
      if (zb_.CheckIfLastDisk(end, false)) break;
    }

    if (into) {
      if (!into->IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
      OutFileName = into->Path();
    } else if (platform::ExtractFileName(OutFileName).empty()) {
      OutFileName = zb_.MakeTempFileName("zip", ".zip");
      if (OutFileName.empty()) throw EZipBuilder(kMsgTempFileFailed);
    } else {
      // Neither the name given (erased once the join is complete) nor the
      // joined archive's may be a volume of the set.
      OutputRule rule(files);
      if (span::HoldsSeparateFiles(driveType))
        rule.AddNumberedVolumes(zb_.inFileName_, end.ThisDiskNo);
      else
        rule.AddInput(zb_.inFileName_);
      target = platform::ChangeFileExt(OutFileName, ".zip");
      rule.Check(OutFileName);
      rule.Check(target);
      beside = CreateTemporaryBeside(files, target);
      if (!beside.IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
    }
    const std::string writeTo = beside.IsOpen() ? beside.Path() : OutFileName;
    zb_.outFileHandle_ = files.Open(writeTo, platform::Access::Write, platform::Share::None,
                                into || beside.IsOpen() ? platform::Disposition::OpenExisting
                                                        : platform::Disposition::CreateNew,
                                0600);
    if (zb_.outFileHandle_ == kInvalidHandle) throw EZipBuilder(kMsgOutputCreateFailed);

    zb_.volume_.dateOfInputFile = static_cast<int32_t>(files.GetFileDosTime(zb_.inFileHandle_).value_or(0));
    // A set with a ZIP64 end record has it and its locator on the last volume,
    // right in front of the end record.
    const std::optional<zip::Zip64EndOfCentral> zip64In =
        zip::IsSaturated(end) ? ReadZip64End(files, zb_.inFileHandle_, zb_.listed_.endOfCentralOffset)
                              : std::nullopt;
    const zip::DirectoryExtent extent = zip::ResolveExtent(end, zip64In ? &*zip64In : nullptr);
    if (extent.entries > INT32_MAX || extent.thisDisk > INT32_MAX || extent.centralDisk > extent.thisDisk)
      throw EZipBuilder(kMsgNotZipArchive);
    const int entries = static_cast<int>(extent.entries);
    zb_.listed_.lastDiskNumber = static_cast<int32_t>(extent.thisDisk);
    if (extent.thisDisk != extent.centralDisk)
      zb_.GetNewDisk(static_cast<int32_t>(extent.centralDisk));
    else
      zb_.volume_.diskNr = static_cast<int32_t>(extent.thisDisk);
    const auto directoryAt = static_cast<int64_t>(extent.offset);
    if (files.Seek(zb_.inFileHandle_, directoryAt, platform::SeekFrom::Begin) != directoryAt)
      throw EZipBuilder(kMsgInputSeekError);

    table = AllocSpanMem(entries);
    // Data sizes and uncompressed sizes as the directory gives them, ZIP64
    // values resolved, and the local header offsets in the joined file, by entry.
    std::vector<uint64_t> dataSizes(static_cast<size_t>(entries));
    std::vector<uint64_t> fullSizes(static_cast<size_t>(entries));
    std::vector<uint64_t> joinedAt(static_cast<size_t>(entries));
    std::vector<uint8_t> extra;
    int64_t totalBytes = 0;
    uint8_t header[kCentralHeaderSize];
    std::string name;
    auto readName = [&](size_t length, int messageId) {
      name.resize(length);
      if (files.Read(zb_.inFileHandle_, name.data(), length) != static_cast<int64_t>(length))
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
    for (int i = 0; i < entries; ++i) {
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
      fullSizes[static_cast<size_t>(i)] = resolved.uncompressedSize;
      totalBytes += int64_t{central.FileNameLen} + static_cast<int64_t>(resolved.compressedSize) +
                    central.ExtraLen + central.FileComLen;
      if (files.Seek(zb_.inFileHandle_, central.FileComLen, platform::SeekFrom::Current) < 0)
        throw EZipBuilder(kMsgInputSeekError);
    }

    zb_.GetNewDisk(0);
    zb_.showProgress_ = true;
    if (zb_.OnProgress) {
      zb_.OnProgress(&zb_, ptMemberCount, "", entries);
      zb_.OnProgress(&zb_, ptTotalBytes, "", totalBytes);
    }
    uint8_t marker[4];
    if (files.Read(zb_.inFileHandle_, marker, 4) != 4 || zip::Load32(marker) != zip::kSpannedSetMarker)
      throw EZipBuilder(kMsgExtendedLocalReadError);

    int64_t outPosition = 0;
    for (int i = 0; i < entries; ++i) {
      ReadVolumeRecord(header, kLocalHeaderSize, kMsgLocalHeaderReadError);
      zip::LocalFileHeader local;
      zip::Decode(header, local);
      if (local.HeaderSig != zip::kLocalHeaderSignature) throw EZipBuilder(kMsgLocalSignatureWrong);
      readName(local.FileNameLen, kMsgLocalNameReadError);
      const auto index = static_cast<size_t>(EntryFor(*table, entries, i, name));
      span::MDZipData& entry = *(*table)[index];
      entry.DiskStart = 0;
      entry.RelOffLocal = static_cast<int32_t>(outPosition);
      joinedAt[index] = static_cast<uint64_t>(outPosition);
      extra.resize(local.ExtraLen);
      ReadAcrossVolumes(extra.data(), local.ExtraLen, kMsgLocalExtraReadError);

      const bool descriptor = local.Flag & zip::kFlagDataDescriptor;
      const auto dataSize = static_cast<int64_t>(dataSizes[index]);
      const std::string shown = ReplaceForwardSlash(name);
      if (zb_.OnMessage) zb_.OnMessage(&zb_, 0, zb_.LoadZipStr(kMsgCopying, "Copying: ") + shown);
      if (zb_.OnProgress)
        zb_.OnProgress(&zb_, ptMemberBegin, shown,
                   int64_t{kLocalHeaderSize} + local.FileNameLen + local.ExtraLen + dataSize);
      WriteJoin(header, kLocalHeaderSize, kMsgLocalHeaderWriteError);
      WriteJoin(name.data(), local.FileNameLen, kMsgLocalHeaderWriteError);
      WriteJoin(extra.data(), local.ExtraLen, kMsgLocalHeaderWriteError);
      RWJoinData(dataSize, kMsgDataReadError);
      int64_t descriptorSize = 0;
      if (descriptor) {
        // Its form shows in its first word (signature or CRC) and the local ZIP64 block.
        uint8_t word[4];
        ReadAcrossVolumes(word, 4, kMsgDescriptorError);
        descriptorSize =
            static_cast<int64_t>(zip::PrescribedDataDescriptor(extra, zip::Load32(word)).length);
        WriteJoin(word, 4, kMsgDescriptorError);
        RWJoinData(descriptorSize - 4, kMsgDescriptorError);
      }
      outPosition += int64_t{kLocalHeaderSize} + local.FileNameLen + local.ExtraLen + dataSize +
                     descriptorSize;
    }

    zb_.showProgress_ = false;
    const int64_t directoryOffset = outPosition;
    for (int i = 0; i < entries; ++i) {
      zip::CentralFileHeader central = readCentralHeader();
      const auto index = static_cast<size_t>(EntryFor(*table, entries, i, name));
      extra.resize(central.ExtraLen);
      ReadAcrossVolumes(extra.data(), central.ExtraLen, kMsgCentralExtraReadError);
      // The offset in the joined file, in a ZIP64 block where it needs one.
      StoredMember member;
      member.compressedSize = dataSizes[index];
      member.uncompressedSize = fullSizes[index];
      const std::string_view stored(reinterpret_cast<const char*>(extra.data()), extra.size());
      const std::optional<std::string> placed =
          PlaceLocalHeader(central, stored, member, joinedAt[index]);
      const std::string_view written = placed ? std::string_view(*placed) : stored;
      central.DiskStart = 0;
      zip::Encode(central, header);
      WriteJoin(header, kCentralHeaderSize, kMsgCentralHeaderWriteError);
      WriteJoin(name.data(), central.FileNameLen, kMsgCentralHeaderWriteError);
      if (files.Write(zb_.outFileHandle_, written.data(), written.size()) !=
          static_cast<int64_t>(written.size()))
        throw EZipBuilder::WithDetail(kMsgOutputWriteError, platform::ErrorText(files.LastError()));
      RWJoinData(central.FileComLen, kMsgFileCommentReadError);
      outPosition += kCentralHeaderSize + central.FileNameLen + static_cast<int64_t>(written.size()) +
                     central.FileComLen;
    }

    // ZIP64 end records where the joined archive needs them.
    const auto directorySize = static_cast<uint64_t>(outPosition - directoryOffset);
    const bool zip64 = zip::NeedsZip64End(extent.entries, directorySize, static_cast<uint64_t>(directoryOffset));
    zip::ZipEndOfCentral record = end;
    record.ThisDiskNo = 0;
    record.CentralDiskNo = 0;
    if (zip64 || zip64In) {
      zip::SetDirectoryFields(record, extent.entries, directorySize, static_cast<uint64_t>(directoryOffset));
    } else {
      record.CentralOffSet = static_cast<uint32_t>(directoryOffset);
    }
    if (zip64) {
      uint8_t trailer[zip::kZip64EndSize + zip::kZip64LocatorSize];
      zip::Encode(zip::NewZip64End(zip::kZip64VersionNeeded, extent.entries, directorySize,
                                   static_cast<uint64_t>(directoryOffset)),
                  trailer);
      zip::Encode(zip::Zip64LocatorFor(static_cast<uint64_t>(outPosition)), trailer + zip::kZip64EndSize);
      WriteJoin(trailer, sizeof trailer, kMsgEndRecordWriteError);
    }
    zip::Encode(record, header);
    WriteJoin(header, kEndRecordSize, kMsgEndRecordWriteError);
    // The set's own ZIP64 end record and locator lie in front of its end record.
    uint8_t setTrailer[zip::kZip64EndSize + zip::kZip64LocatorSize];
    if (zip64In) ReadVolumeRecord(setTrailer, sizeof setTrailer, kMsgInputSeekError);
    // The set's own end record may begin the next volume: read it, never seek past it.
    ReadVolumeRecord(header, kEndRecordSize, kMsgInputSeekError);
    RWJoinData(end.ZipCommentLen, kMsgArchiveCommentReadError);
  });

  if (zb_.OnProgress) zb_.OnProgress(&zb_, ptBatchEnd, "", 0);
  DeleteSpanMem(table);
  zb_.CloseInput();
  int outcome = result;
  if (zb_.outFileHandle_ != kInvalidHandle) {
    if (beside.IsOpen()) {
      outcome = zb_.FinishTemporary(zb_.outFileHandle_, static_cast<uint32_t>(zb_.volume_.dateOfInputFile), outcome);
    } else {
      files.SetFileDosTime(zb_.outFileHandle_, static_cast<uint32_t>(zb_.volume_.dateOfInputFile));
      files.Close(zb_.outFileHandle_);
      zb_.outFileHandle_ = kInvalidHandle;
      if (outcome != 0 && !into) files.DeleteFile(OutFileName);
    }
  }
  if (outcome == 0 && beside.IsOpen()) {
    outcome = zb_.ReplaceZipFile(beside, target, zb_.HowToDelete);
    if (outcome == 0 && givenName != target && zb_.FileExists(givenName))
      zb_.EraseFile(givenName, zb_.HowToDelete);
    OutFileName = target;
  }
  beside.Discard();
  if (outcome != 0) OutFileName.clear();
  zb_.showProgress_ = false;
  zb_.unzipRunning_ = false;
  zb_.StopWaitCursor();
  return outcome;
}
