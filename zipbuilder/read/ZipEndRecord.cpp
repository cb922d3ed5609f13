// Finding the end-of-central-directory record, telling the volumes of a spanned
// set apart, the member table, copying a central directory with shifted offsets
// and the checked write to the output file.
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipbuilder/ZipBuilder.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "zipformat/EndRecord.h"
#include "zipformat/Headers.h"
#include "zipformat/TextCase.h"

using platform::FileHandle;
using platform::SeekFrom;

namespace {

constexpr int64_t kEndRecordSize = zip::kEndRecordSize;
constexpr int64_t kMaxCommentSize = zip::kMaxCommentSize;

// Trailing bytes the search forgives: zero padding to a 512-byte block.
bool IsBlockPadding(const std::vector<uint8_t>& window, int64_t end, int64_t realSize,
                    int64_t archiveSize) {
  if (realSize - archiveSize >= 512 || realSize % 512 != 0) return false;
  return std::all_of(window.begin() + end, window.end(), [](uint8_t b) { return b == 0; });
}

}  // namespace

std::optional<zip::Zip64EndOfCentral> ReadZip64End(platform::FileSystem& files, FileHandle h,
                                                   int64_t endRecordOffset) {
  constexpr int64_t kBehind = zip::kZip64EndSize + zip::kZip64LocatorSize;
  uint8_t bytes[kBehind];
  const int64_t at = endRecordOffset - kBehind;
  zip::Zip64EndOfCentral record;
  if (at < 0 || files.Seek(h, at, platform::SeekFrom::Begin) != at ||
      files.Read(h, bytes, kBehind) != kBehind ||
      zip::DecodeZip64Trailer(bytes, record) != zip::Status::kOk ||
      record.RecordSize != zip::kZip64EndSize - 12)
    return std::nullopt;
  return record;
}

bool TZipBuilder::CheckIfLastDisk(zip::ZipEndOfCentral& endOfCentral, bool raiseErrors) {
  auto& files = *env_->files;
  rawZipComment_.clear();
  endOfCentralOffset_ = 0;

  if (inFileHandle_ != platform::kInvalidHandle) files.Close(inFileHandle_);  // a caller's leftover
  inFileHandle_ = files.Open(inFileName_, platform::Access::Read, platform::Share::Read,
                             platform::Disposition::OpenExisting);
  if (inFileHandle_ == platform::kInvalidHandle) {
    if (raiseErrors) throw EZipBuilder(kMsgInputMissing);
    ShowZipMessage(kMsgZipOpenFailed, "");
    return false;
  }

  const int labelNumber = DiskSpan::LabelNumber(volumeName_, 0);

  bool firstVolume = false;
  uint8_t marker[4];
  if (files.Read(inFileHandle_, marker, 4) == 4 &&
      zip::Load32(marker) == zip::kDataDescriptorSignature &&
      files.Read(inFileHandle_, marker, 4) == 4 &&
      zip::Load32(marker) == zip::kLocalHeaderSignature) {
    firstVolume = true;
    spanned_ = true;
  }

  // Fast path: an archive without comment ends with its end record.
  uint8_t record[kEndRecordSize];
  int64_t fileSize = files.Seek(inFileHandle_, -kEndRecordSize, SeekFrom::End);
  if (fileSize >= 0) {
    fileSize += kEndRecordSize;
    archiveFileSize_ = static_cast<int32_t>(fileSize);
    realFileSize_ = archiveFileSize_;
    if (files.Read(inFileHandle_, record, kEndRecordSize) == kEndRecordSize &&
        zip::Load32(record) == zip::kEndOfCentralSignature) {
      zip::Decode(record, endOfCentral);
      endOfCentralOffset_ = static_cast<int32_t>(fileSize - kEndRecordSize);
      return true;
    }
  } else {
    // Shorter than an end record: nothing to search.
    fileSize = std::max<int64_t>(files.Size(inFileHandle_), 0);
    archiveFileSize_ = static_cast<int32_t>(fileSize);
    realFileSize_ = archiveFileSize_;
  }

  // Backward search through the largest comment plus the record.
  const int64_t window = std::min<int64_t>(fileSize, kMaxCommentSize + kEndRecordSize);
  if (window > kEndRecordSize) {
    std::vector<uint8_t> buffer(static_cast<size_t>(window) + 1);
    if (files.Seek(inFileHandle_, -window, SeekFrom::End) < 0) {
      if (raiseErrors) throw EZipBuilder(kMsgInputSeekError);
      return false;
    }
    if (files.Read(inFileHandle_, buffer.data(), static_cast<size_t>(window)) != window) {
      if (raiseErrors) throw EZipBuilder(kMsgEndRecordReadError);
      return false;
    }
    buffer.resize(static_cast<size_t>(window));
    // The last record whose central directory is where it says; failing that,
    // the last signature.
    const int64_t windowStart = fileSize - window;
    std::optional<zip::EndRecordMatch> match = zip::FindEndRecord(
        buffer, static_cast<uint64_t>(windowStart), [&](uint64_t offset, std::span<uint8_t> out) {
          const auto at = static_cast<int64_t>(offset);
          return files.Seek(inFileHandle_, at, SeekFrom::Begin) == at &&
                 files.Read(inFileHandle_, out.data(), out.size()) == static_cast<int64_t>(out.size());
        });
    files.Seek(inFileHandle_, 0, SeekFrom::End);  // where the search leaves it without reads
    if (match) {
      const int64_t i = static_cast<int64_t>(match->at);
      endOfCentralOffset_ = static_cast<int32_t>(fileSize - window + i);
      endOfCentral = match->record;
      const int64_t end = i + kEndRecordSize + endOfCentral.ZipCommentLen;
      if (end != window) {
        archiveFileSize_ = static_cast<int32_t>(fileSize + (end - window));
        // A comment running past the end of the file is always worth a warning.
        if (end > window || !IsBlockPadding(buffer, end, realFileSize_, archiveFileSize_))
          ShowZipMessage(kMsgGarbageAtEnd, "");
      }
      if (endOfCentral.ZipCommentLen > 0) {
        auto first = buffer.begin() + i + kEndRecordSize;
        auto last = buffer.begin() + std::min(end, window);
        rawZipComment_.assign(first, last);  // bytes, zeros included
      }
      return true;
    }
  }

  if (!raiseErrors) return false;
  if (!firstVolume) {
    if (labelNumber != 0) throw EZipBuilder(kMsgNthDiskOfSet, labelNumber);
    throw EZipBuilder(kMsgNotZipArchive);
  }
  if (labelNumber == 1) throw EZipBuilder(kMsgFirstDiskOfSet);
  throw EZipBuilder(kMsgFirstFileOfSet);
}

std::unique_ptr<DiskSpan::MDZipDataTable> TZipBuilder::AllocSpanMem(int count) {
  auto table = std::make_unique<DiskSpan::MDZipDataTable>();
  table->reserve(static_cast<size_t>(std::max(count, 0)));
  for (int i = 0; i < count; ++i) table->push_back(std::make_unique<DiskSpan::MDZipData>());
  return table;
}

void TZipBuilder::DeleteSpanMem(std::unique_ptr<DiskSpan::MDZipDataTable>& table) {
  table.reset();
}

int TZipBuilder::FindZipEntry(int count, const DiskSpan::MDZipDataTable& table,
                              const std::string& name, int nameLength) {
  if (nameLength < 0 || name.size() < static_cast<size_t>(nameLength))
    throw EZipBuilder(kMsgLocalHeaderNotFound);
  const std::string wanted = name.substr(0, static_cast<size_t>(nameLength));
  const int limit = std::min<int>(count, static_cast<int>(table.size()));
  for (int i = 0; i < limit; ++i) {
    const DiskSpan::MDZipData* entry = table[i].get();
    // Names of one length only: folding letter case can change a name's length
    // (the three-byte KELVIN SIGN folds to "k").
    if (!entry || !entry->FileName || entry->FileNameLen != nameLength ||
        entry->FileName->size() < entry->FileNameLen)
      continue;
    // Letter case by the locale's rules, as every other name lookup compares.
    if (zip::SameTextIgnoringCase(entry->FileName->substr(0, entry->FileNameLen), wanted)) return i;
  }
  throw EZipBuilder(kMsgLocalHeaderNotFound);
}

int TZipBuilder::RWCentralDir(FileHandle& outFile, zip::ZipEndOfCentral endOfCentral,
                              int32_t shift) {
  auto& files = *env_->files;
  try {
    uint8_t bytes[zip::kCentralHeaderSize];
    for (int i = 0; i < endOfCentral.TotalEntries; ++i) {
      if (files.Read(inFileHandle_, bytes, sizeof bytes) != sizeof bytes)
        throw EZipBuilder(kMsgCentralHeaderReadError);
      zip::CentralFileHeader header;
      if (zip::DecodeCentralHeader(bytes, header) != zip::Status::kOk)
        throw EZipBuilder(kMsgCentralSignatureWrong);
      header.RelOffLocal += static_cast<uint32_t>(shift);
      zip::Encode(header, bytes);
      if (files.Write(outFile, bytes, sizeof bytes) != sizeof bytes)
        throw EZipBuilder(kMsgCentralHeaderWriteError);
      int64_t variable = int64_t{header.FileNameLen} + header.ExtraLen + header.FileComLen;
      if (variable > 0 && CopyBuffer(inFileHandle_, outFile, variable) != 0)
        throw EZipBuilder(kMsgCentralNameCopyError);
    }
    if (files.Seek(inFileHandle_, kEndRecordSize, SeekFrom::Current) < 0)
      throw EZipBuilder(kMsgEndRecordSkipError);
    endOfCentral.CentralOffSet += static_cast<uint32_t>(shift);
    uint8_t record[kEndRecordSize];
    zip::Encode(endOfCentral, record);
    if (files.Write(outFile, record, sizeof record) != sizeof record)
      throw EZipBuilder(kMsgEndRecordWriteError);
    if (endOfCentral.ZipCommentLen > 0 &&
        CopyBuffer(inFileHandle_, outFile, endOfCentral.ZipCommentLen) != 0)
      throw EZipBuilder(kMsgCommentCopyError);
  } catch (...) {
    return -2;
  }
  return 0;
}

void TZipBuilder::WriteJoin(const void* buffer, int64_t length, int messageId) {
  if (env_->files->Write(outFileHandle_, buffer, static_cast<size_t>(length)) != length)
    throw EZipBuilder(messageId);
  if (OnProgress && showProgress_) OnProgress(this, ptBytesDone, "", length);
}
