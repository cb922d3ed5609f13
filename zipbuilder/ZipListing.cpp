// Listing the central directory into ZipDirEntryRecords, and reading and
// writing the archive comment.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "ZipBuilder.h"

using platform::FileHandle;

namespace {

constexpr size_t kCentralHeaderSize = 46;
constexpr int64_t kEndRecordSize = 22;
constexpr int64_t kMaxReadAhead = int64_t{64} << 20;

// Reads a file through one buffer, so that a central directory on one volume
// takes one read call however many members it has. Short counts arrive exactly
// where the file ends, as with direct reads.
class ReadAhead {
 public:
  ReadAhead(platform::FileSystem& files, size_t chunk) : files_(files), buffer_(chunk) {}

  // Forget the buffered bytes (the file or its position changed).
  void Discard() { begin_ = end_ = 0; }

  int64_t Read(FileHandle h, void* destination, size_t count) {
    auto* out = static_cast<uint8_t*>(destination);
    size_t done = 0;
    while (done < count) {
      if (begin_ == end_) {
        if (count - done >= buffer_.size()) {
          int64_t got = files_.Read(h, out + done, count - done);
          return got < 0 ? -1 : static_cast<int64_t>(done) + got;
        }
        int64_t got = files_.Read(h, buffer_.data(), buffer_.size());
        if (got <= 0) return got < 0 ? -1 : static_cast<int64_t>(done);
        begin_ = 0;
        end_ = static_cast<size_t>(got);
      }
      size_t take = std::min(count - done, end_ - begin_);
      std::memcpy(out + done, buffer_.data() + begin_, take);
      begin_ += take;
      done += take;
    }
    return static_cast<int64_t>(done);
  }

 private:
  platform::FileSystem& files_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0, end_ = 0;
};

// The C text view of stored bytes: everything before the first zero byte.
std::string UpToZero(const std::vector<char>& bytes) {
  return std::string(bytes.data(), std::find(bytes.begin(), bytes.end(), '\0') - bytes.begin());
}

// Fields 1 to 17 of an entry are the central header after its signature.
void CopyHeaderFields(const zip::CentralFileHeader& h, ZipDirEntryFixed& e) {
  e.VersionMadeBy = h.VersionMadeBy0;
  e.HostSystem = h.VersionMadeBy1;
  e.VersionNeeded = h.VersionNeed;
  e.GeneralFlags = h.Flag;
  e.Method = h.ComprMethod;
  e.ModTime = h.ModifTime;
  e.ModDate = h.ModifDate;
  e.Crc32 = h.CRC32;
  e.CompressedSize = h.ComprSize;
  e.UncompressedSize = h.UnComprSize;
  e.NameLength = h.FileNameLen;
  e.ExtraLength = h.ExtraLen;
  e.CommentLength = h.FileComLen;
  e.DiskStart = h.DiskStart;
  e.InternalAttributes = h.IntFileAtt;
  e.ExternalAttributes = h.ExtFileAtt;
  e.LocalHeaderOffset = h.RelOffLocal;
}

// Where the central directory is and how many entries it has. Archives of more
// than 65535 members (or 4 GiB) saturate the end record's fields and carry the
// true values in a ZIP64 end record just before it, found through its locator;
// a ZIP64 end record in front of an unsaturated one only moves the directory.
struct DirectoryExtent {
  int64_t entries = 0;
  int64_t size = 0;
  int64_t offset = 0;
  int64_t trailer = 0;  // bytes between the directory and the end record
};

bool Saturated(const zip::ZipEndOfCentral& r) {
  return r.TotalEntries == 0xFFFF || r.CentralSize == 0xFFFFFFFFu || r.CentralOffSet == 0xFFFFFFFFu;
}

uint64_t Load64(const uint8_t* p) { return zip::Load32(p) | (uint64_t{zip::Load32(p + 4)} << 32); }

void ReadZip64Extent(platform::FileSystem& files, FileHandle h, int64_t endRecordOffset, bool saturated,
                     DirectoryExtent& extent) {
  constexpr int64_t kLocatorSize = 20, kRecordSize = 56;
  uint8_t locator[kLocatorSize], record[kRecordSize];
  const int64_t locatorAt = endRecordOffset - kLocatorSize, recordAt = locatorAt - kRecordSize;
  if (recordAt < 0 || files.Seek(h, locatorAt, platform::SeekFrom::Begin) != locatorAt ||
      files.Read(h, locator, sizeof locator) != kLocatorSize || zip::Load32(locator) != 0x07064B50u)
    return;
  // The record is read where it must lie for an archive that ends with it; its
  // recorded offset only counts from the archive's start.
  if (files.Seek(h, recordAt, platform::SeekFrom::Begin) != recordAt ||
      files.Read(h, record, sizeof record) != kRecordSize || zip::Load32(record) != 0x06064B50u ||
      Load64(record + 4) != kRecordSize - 12)
    return;
  // Writers that stream their input add these records to small archives too: the
  // directory then ends before them even when the end record holds the true values.
  extent.trailer = kLocatorSize + kRecordSize;
  if (!saturated) return;
  const uint64_t entries = Load64(record + 32), size = Load64(record + 40), offset = Load64(record + 48);
  if (entries > INT32_MAX || size > INT32_MAX || offset > INT32_MAX) return;
  extent.entries = static_cast<int64_t>(entries);
  extent.size = static_cast<int64_t>(size);
  extent.offset = static_cast<int64_t>(offset);
}

}  // namespace

void TZipBuilder::FreeZipDirEntryRecords() { zipDirEntryRecords_.clear(); }

void TZipBuilder::List() {
  if (Designing) return;
  // Nothing of the archive listed before may outlive this listing: a missing
  // or unreadable archive leaves no comment, offsets or volume number behind
  // for the next add to write into another archive.
  FreeZipDirEntryRecords();
  realFileSize_ = 0;
  centralDirOffset_ = 0;
  endOfCentralOffset_ = 0;
  archiveStart_ = 0;
  archiveFileSize_ = 0;
  skippedDirCount_ = 0;
  spanned_ = false;
  structureWarning_ = false;
  lastDiskNumber_ = 0;
  rawZipComment_.clear();
  if (!FileExists(zipFileName_)) {
    if (OnDirUpdate) OnDirUpdate(this);
    return;
  }

  StartWaitCursor();
  auto& files = *env_->files;
  bool endRecordRead = false;
  int64_t expected = 0;
  DirectoryExtent extent;
  zip::ZipEndOfCentral endOfCentral{};

  bool ok = RunReported(10202, [&] {
    inFileName_ = zipFileName_;
    drive_ = platform::ExtractDriveRoot(platform::ExpandFileName(zipFileName_));
    if (!IsDiskPresent()) throw EZipBuilder(11004, drive_);
    CheckIfLastDisk(endOfCentral, true);
    endRecordRead = true;

    lastDiskNumber_ = endOfCentral.ThisDiskNo;
    if (endOfCentral.ThisDiskNo > 0) spanned_ = true;
    extent = {endOfCentral.TotalEntries, endOfCentral.CentralSize, endOfCentral.CentralOffSet, 0};
    if (endOfCentral.ThisDiskNo == endOfCentral.CentralDiskNo) {
      // This volume is the last: a directory cut short cannot go on elsewhere.
      diskNr_ = endOfCentral.ThisDiskNo;
      ReadZip64Extent(files, inFileHandle_, endOfCentralOffset_, Saturated(endOfCentral), extent);
      expected = int64_t{archiveFileSize_} - extent.size - extent.trailer - kEndRecordSize -
                 endOfCentral.ZipCommentLen;
    } else {
      GetNewDisk(endOfCentral.CentralDiskNo);
      archiveFileSize_ = static_cast<int32_t>(files.Size(inFileHandle_));
      expected = extent.offset;
    }
    structureWarning_ = extent.offset != expected;
    if (structureWarning_) ShowZipMessage(10203, "");
    if (expected < 0 || files.Seek(inFileHandle_, expected, platform::SeekFrom::Begin) != expected)
      throw EZipBuilder(10201);
    centralDirOffset_ = static_cast<int32_t>(expected);
    archiveStart_ = archiveFileSize_ == kEndRecordSize ? 0 : archiveFileSize_;

    const int64_t fileSize = files.Size(inFileHandle_);
    // Every entry takes at least a fixed part: never reserve beyond what the file can hold.
    zipDirEntryRecords_.reserve(static_cast<size_t>(std::min(extent.entries, fileSize / 46 + 1)));
    ReadAhead reader(files, static_cast<size_t>(std::clamp<int64_t>(fileSize - expected, 4096, kMaxReadAhead)));
    uint8_t bytes[kCentralHeaderSize];
    std::vector<char> name, comment;
    for (int i = 0; i < extent.entries; ++i) {
      while (reader.Read(inFileHandle_, bytes, kCentralHeaderSize) != int64_t{kCentralHeaderSize}) {
        if (diskNr_ >= endOfCentral.ThisDiskNo) throw EZipBuilder(11013);
        GetNewDisk(diskNr_ + 1);
        reader.Discard();
      }
      zip::CentralFileHeader header;
      zip::Decode(bytes, header);
      if (header.HeaderSig != zip::kCentralHeaderSignature) throw EZipBuilder(11015);

      // Names of any stored length are read whole.
      name.resize(header.FileNameLen);
      if (reader.Read(inFileHandle_, name.data(), name.size()) != static_cast<int64_t>(name.size()))
        throw EZipBuilder(11017);
      HostSystem = header.VersionMadeBy1;
      HostVersion = header.VersionMadeBy0;
      HostFlags = header.Flag;
      std::string fileName = UpToZero(name);
      // A zero byte cannot be part of a name: the entry is damaged.
      if (fileName.size() != name.size() && !structureWarning_) {
        structureWarning_ = true;
        ShowZipMessage(10203, "");
      }
      ConvertOem2Iso(fileName, cpdOEM2ISO);

      auto entry = std::make_unique<ZipDirEntry>();
      CopyHeaderFields(header, *entry);
      entry->FileName = ReplaceForwardSlash(fileName);
      entry->Encrypted = (header.Flag & 1) != 0;

      if (header.ExtraLen != 0) {
        entry->ExtraData.resize(header.ExtraLen);
        if (reader.Read(inFileHandle_, entry->ExtraData.data(), header.ExtraLen) != header.ExtraLen)
          throw EZipBuilder(10201);
      }
      if (header.FileComLen != 0) {
        comment.resize(header.FileComLen);
        if (reader.Read(inFileHandle_, comment.data(), comment.size()) != static_cast<int64_t>(comment.size()))
          throw EZipBuilder(11022);
        std::string text = UpToZero(comment);
        ConvertOem2Iso(text, cpdOEM2ISO);
        entry->FileComment = text;
      }

      const int32_t localOffset = static_cast<int32_t>(entry->LocalHeaderOffset);
      if (!UseDirOnlyEntries && platform::ExtractFileName(entry->FileName).empty()) {
        ++skippedDirCount_;
      } else {
        zipDirEntryRecords_.push_back(std::move(entry));
        if (OnNewName) OnNewName(this, i + 1, *zipDirEntryRecords_.back());
      }
      if (localOffset < archiveStart_) archiveStart_ = localOffset;
    }
    lastDiskNumber_ = endOfCentral.ThisDiskNo;
  });

  if (!ok) {
    zipFileName_.clear();
    archiveStart_ = 0;
    rawZipComment_.clear();
    lastDiskNumber_ = 0;
    spanned_ = false;
  }
  if (endRecordRead)
    archiveStart_ = static_cast<int32_t>(int64_t{archiveStart_} + expected - extent.offset);
  StopWaitCursor();
  if (inFileHandle_ != platform::kInvalidHandle) {
    files.Close(inFileHandle_);
    inFileHandle_ = platform::kInvalidHandle;
  }
  if (OnDirUpdate) OnDirUpdate(this);
}

std::string TZipBuilder::GetZipComment() {
  std::string text = rawZipComment_;
  ConvertOem2Iso(text, cpdOEM2ISO);
  return text;
}

void TZipBuilder::SetZipComment(const std::string& comment) {
  if (Busy()) return;  // the archive is being read or rewritten
  auto& files = *env_->files;
  if (inFileHandle_ != platform::kInvalidHandle) files.Close(inFileHandle_);
  inFileHandle_ = platform::kInvalidHandle;
  // The length field holds 16 bits: longer comments are cut to what it can say.
  std::string copy = comment.substr(0, std::min<size_t>(comment.size(), 65535));
  if (!copy.empty()) ConvertOem2Iso(copy, cpdISO2OEM);
  copy.resize(std::min<size_t>(copy.size(), 65535));  // conversion may change the length
  rawZipComment_ = copy;

  bool changing = false;
  FileHandle file = platform::kInvalidHandle;
  try {
    if (zipFileName_.empty()) throw EZipBuilder(11001);
    file = files.Open(zipFileName_, platform::Access::ReadWrite, platform::Share::Read,
                      platform::Disposition::OpenExisting);
    if (file == platform::kInvalidHandle) throw EZipBuilder(11002);
    if (files.Seek(file, endOfCentralOffset_, platform::SeekFrom::Begin) != endOfCentralOffset_)
      throw EZipBuilder(11008);
    uint8_t record[kEndRecordSize];
    if (files.Read(file, record, sizeof record) != kEndRecordSize ||
        zip::Load32(record) != zip::kEndOfCentralSignature)
      throw EZipBuilder(11011);
    zip::Store16(record + 20, static_cast<uint16_t>(copy.size()));
    if (files.Seek(file, -kEndRecordSize, platform::SeekFrom::Current) < 0) throw EZipBuilder(11008);
    changing = true;
    if (files.Write(file, record, sizeof record) != kEndRecordSize) throw EZipBuilder(11030);
    if (files.Write(file, copy.data(), copy.size()) != static_cast<int64_t>(copy.size()))
      throw EZipBuilder(11010);
    // A file that cannot be cut keeps the old comment's tail behind the new one.
    if (!files.SetEndOfFile(file)) throw EZipBuilder(11010);
    changing = false;
  } catch (const EZipBuilder& e) {
    ShowExceptionError(e);
    rawZipComment_.clear();
  } catch (const std::bad_alloc&) {
    ShowZipMessage(10103, "");
    rawZipComment_.clear();
  }
  if (file != platform::kInvalidHandle) files.Close(file);
  if (changing) List();
}
