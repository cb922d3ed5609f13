// Finding the end-of-central-directory record of the input archive, and telling
// the volumes of a spanned set apart when there is none.
#include <algorithm>
#include <optional>
#include <span>
#include <vector>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipformat/EndRecord.h"
#include "zipformat/Headers.h"
#include "zipformat/VolumeNames.h"

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

bool TZipBuilder::CheckIfLastDisk(zip::ZipEndOfCentral& endOfCentral, bool raiseErrors) {
  auto& files = *env_->files;
  listed_.rawZipComment.clear();
  listed_.endOfCentralOffset = 0;

  if (inFileHandle_ != platform::kInvalidHandle) files.Close(inFileHandle_);  // a caller's leftover
  inFileHandle_ = files.Open(inFileName_, platform::Access::Read, platform::Share::Read,
                             platform::Disposition::OpenExisting);
  if (inFileHandle_ == platform::kInvalidHandle) {
    if (raiseErrors) throw EZipBuilder(kMsgInputMissing);
    ShowZipMessage(kMsgZipOpenFailed, "");
    return false;
  }

  const int labelNumber = zip::LabelNumber(volume_.volumeName, 0);

  bool firstVolume = false;
  uint8_t marker[4];
  if (files.Read(inFileHandle_, marker, 4) == 4 &&
      zip::Load32(marker) == zip::kDataDescriptorSignature &&
      files.Read(inFileHandle_, marker, 4) == 4 &&
      zip::Load32(marker) == zip::kLocalHeaderSignature) {
    firstVolume = true;
    listed_.spanned = true;
  }

  // Fast path: an archive without comment ends with its end record.
  uint8_t record[kEndRecordSize];
  int64_t fileSize = files.Seek(inFileHandle_, -kEndRecordSize, SeekFrom::End);
  if (fileSize >= 0) {
    fileSize += kEndRecordSize;
    listed_.archiveFileSize = static_cast<int32_t>(fileSize);
    listed_.realFileSize = listed_.archiveFileSize;
    if (files.Read(inFileHandle_, record, kEndRecordSize) == kEndRecordSize &&
        zip::Load32(record) == zip::kEndOfCentralSignature) {
      zip::Decode(record, endOfCentral);
      listed_.endOfCentralOffset = static_cast<int32_t>(fileSize - kEndRecordSize);
      return true;
    }
  } else {
    // Shorter than an end record: nothing to search.
    fileSize = std::max<int64_t>(files.Size(inFileHandle_), 0);
    listed_.archiveFileSize = static_cast<int32_t>(fileSize);
    listed_.realFileSize = listed_.archiveFileSize;
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
      listed_.endOfCentralOffset = static_cast<int32_t>(fileSize - window + i);
      endOfCentral = match->record;
      const int64_t end = i + kEndRecordSize + endOfCentral.ZipCommentLen;
      if (end != window) {
        listed_.archiveFileSize = static_cast<int32_t>(fileSize + (end - window));
        // A comment running past the end of the file is always worth a warning.
        if (end > window || !IsBlockPadding(buffer, end, listed_.realFileSize, listed_.archiveFileSize))
          ShowZipMessage(kMsgGarbageAtEnd, "");
      }
      if (endOfCentral.ZipCommentLen > 0) {
        auto first = buffer.begin() + i + kEndRecordSize;
        auto last = buffer.begin() + std::min(end, window);
        listed_.rawZipComment.assign(first, last);  // bytes, zeros included
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
