// Listing the central directory into ZipDirEntryRecords, and reading and
// writing the archive comment.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "zipbuilder/read/Zip64EndRecord.h"
#include "zipbuilder/ZipBuilder.h"
#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "platform/TemporaryFile.h"
#include "zipbuilder/rewrite/ArchiveReplace.h"
#include "zipbuilder/core/ResultCodes.h"
#include "zipformat/EndRecord.h"
#include "zipformat/Headers.h"

using platform::FileHandle;

namespace {

constexpr size_t kCentralHeaderSize = zip::kCentralHeaderSize;
constexpr int64_t kEndRecordSize = zip::kEndRecordSize;
// A buffer filled again and again costs less than a larger one: every page of
// memory touched for the first time costs a fault, which is dearer than a read
// call per this many bytes.
constexpr int64_t kMaxReadAhead = int64_t{128} << 10;

// Reads a file through one buffer, so that a central directory takes a read
// call per kMaxReadAhead bytes however many members it has. Short counts arrive
// exactly where the file ends, as with direct reads.
class ReadAhead {
 public:
  ReadAhead(platform::FileSystem& files, size_t chunk)
      : files_(files), buffer_(new uint8_t[chunk]), size_(chunk) {}

  // Forget the buffered bytes (the file or its position changed).
  void Discard() { begin_ = end_ = 0; }

  int64_t Read(FileHandle h, void* destination, size_t count) {
    auto* out = static_cast<uint8_t*>(destination);
    size_t done = 0;
    while (done < count) {
      if (begin_ == end_) {
        if (count - done >= size_) {
          int64_t got = files_.Read(h, out + done, count - done);
          return got < 0 ? kReadFailed : static_cast<int64_t>(done) + got;
        }
        int64_t got = files_.Read(h, buffer_.get(), size_);
        if (got <= 0) return got < 0 ? kReadFailed : static_cast<int64_t>(done);
        begin_ = 0;
        end_ = static_cast<size_t>(got);
      }
      size_t take = std::min(count - done, end_ - begin_);
      std::memcpy(out + done, buffer_.get() + begin_, take);
      begin_ += take;
      done += take;
    }
    return static_cast<int64_t>(done);
  }

 private:
  platform::FileSystem& files_;
  std::unique_ptr<uint8_t[]> buffer_;  // filled by reads only: never zero-filled first
  size_t size_;
  size_t begin_ = 0, end_ = 0;
};

// The C text view of stored bytes: everything before the first zero byte.
std::string UpToZero(const std::vector<char>& bytes) {
  return std::string(bytes.data(), std::find(bytes.begin(), bytes.end(), '\0') - bytes.begin());
}

// Cuts `text` at its first zero byte; false when there was none.
bool CutAtZero(std::string& text) {
  const void* zero = std::memchr(text.data(), '\0', text.size());
  if (!zero) return false;
  text.resize(static_cast<size_t>(static_cast<const char*>(zero) - text.data()));
  return true;
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

void ReadZip64Extent(platform::FileSystem& files, FileHandle h, int64_t endRecordOffset,
                     const zip::ZipEndOfCentral& endRecord, DirectoryExtent& extent) {
  const std::optional<zip::Zip64EndOfCentral> record = ReadZip64End(files, h, endRecordOffset);
  if (!record) return;
  // Writers that stream their input add these records to small archives too: the
  // directory then ends before them even when the end record holds the true values.
  extent.trailer = zip::kZip64EndSize + zip::kZip64LocatorSize;
  if (!zip::IsSaturated(endRecord)) return;
  const zip::DirectoryExtent resolved = zip::ResolveExtent(endRecord, &*record);
  if (resolved.entries > INT32_MAX || resolved.size > INT32_MAX || resolved.offset > INT32_MAX)
    return;
  extent.entries = static_cast<int64_t>(resolved.entries);
  extent.size = static_cast<int64_t>(resolved.size);
  extent.offset = static_cast<int64_t>(resolved.offset);
}

// A disk number of 0xFFFF says "see the ZIP64 end record": the numbers are
// taken from there. Without such a record, or with one whose numbers do not fit
// a set this component reads, the archive is refused with the number named.
void ResolveSaturatedDisks(platform::FileSystem& files, FileHandle h, int64_t endRecordOffset,
                           zip::ZipEndOfCentral& endRecord) {
  constexpr uint16_t kSaturated = zip::kSaturated16;
  if (endRecord.ThisDiskNo != kSaturated && endRecord.CentralDiskNo != kSaturated) return;
  const std::optional<zip::Zip64EndOfCentral> record = ReadZip64End(files, h, endRecordOffset);
  const zip::DirectoryExtent resolved = zip::ResolveExtent(endRecord, record ? &*record : nullptr);
  if (resolved.thisDisk >= kSaturated || resolved.centralDisk >= kSaturated)
    throw EZipBuilder::WithDetail(
        kMsgNotZipArchive, "the end record gives disk number " +
                               std::to_string(std::max(resolved.thisDisk, resolved.centralDisk)) +
                               ", which no ZIP64 end record replaces");
  endRecord.ThisDiskNo = static_cast<uint16_t>(resolved.thisDisk);
  endRecord.CentralDiskNo = static_cast<uint16_t>(resolved.centralDisk);
}

}  // namespace

void TZipBuilder::FreeZipDirEntryRecords() {
  zipDirEntryRecords_.clear();
}

void TZipBuilder::CloseInput() {
  if (inFileHandle_ != platform::kInvalidHandle) env_->files->Close(inFileHandle_);
  inFileHandle_ = platform::kInvalidHandle;
}

void TZipBuilder::List() {
  if (Designing) return;
  // Nothing of the archive listed before may outlive this listing: a missing
  // or unreadable archive leaves no comment, offsets or volume number behind
  // for the next add to write into another archive.
  FreeZipDirEntryRecords();
  listed_ = ListedArchive{};
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

  bool ok = RunReported(kMsgListUnknownError, [&] {
    inFileName_ = zipFileName_;
    volume_.drive = platform::ExtractDriveRoot(platform::ExpandFileName(zipFileName_));
    if (!IsDiskPresent()) throw EZipBuilder(kMsgDriveUndefined, volume_.drive);
    CheckIfLastDisk(endOfCentral, true);
    ResolveSaturatedDisks(files, inFileHandle_, listed_.endOfCentralOffset, endOfCentral);
    endRecordRead = true;

    listed_.lastDiskNumber = endOfCentral.ThisDiskNo;
    if (endOfCentral.ThisDiskNo > 0) listed_.spanned = true;
    extent = {endOfCentral.TotalEntries, endOfCentral.CentralSize, endOfCentral.CentralOffSet, 0};
    if (endOfCentral.ThisDiskNo == endOfCentral.CentralDiskNo) {
      // This volume is the last: a directory cut short cannot go on elsewhere.
      volume_.diskNr = endOfCentral.ThisDiskNo;
      ReadZip64Extent(files, inFileHandle_, listed_.endOfCentralOffset, endOfCentral, extent);
      expected = int64_t{listed_.archiveFileSize} - extent.size - extent.trailer - kEndRecordSize -
                 endOfCentral.ZipCommentLen;
    } else {
      GetNewDisk(endOfCentral.CentralDiskNo);
      listed_.archiveFileSize = static_cast<int32_t>(files.Size(inFileHandle_));
      expected = extent.offset;
    }
    listed_.structureWarning = extent.offset != expected;
    if (listed_.structureWarning) ShowZipMessage(kMsgStructureWarning, "");
    if (expected < 0 || files.Seek(inFileHandle_, expected, platform::SeekFrom::Begin) != expected)
      throw EZipBuilder(kMsgListSeekError);
    listed_.centralDirOffset = static_cast<int32_t>(expected);
    listed_.archiveStart = listed_.archiveFileSize == kEndRecordSize ? 0 : listed_.archiveFileSize;

    const int64_t fileSize = files.Size(inFileHandle_);
    // Every entry takes at least a fixed part: never reserve beyond what the file can hold.
    zipDirEntryRecords_.reserve(static_cast<size_t>(
        std::min(extent.entries, fileSize / static_cast<int64_t>(kCentralHeaderSize) + 1)));
    ReadAhead reader(
        files, static_cast<size_t>(std::clamp<int64_t>(fileSize - expected, 4096, kMaxReadAhead)));
    uint8_t bytes[kCentralHeaderSize];
    std::vector<char> comment;
    for (int i = 0; i < extent.entries; ++i) {
      while (reader.Read(inFileHandle_, bytes, kCentralHeaderSize) != int64_t{kCentralHeaderSize}) {
        if (volume_.diskNr >= endOfCentral.ThisDiskNo) throw EZipBuilder(kMsgCentralHeaderReadError);
        GetNewDisk(volume_.diskNr + 1);
        reader.Discard();
      }
      zip::CentralFileHeader header;
      if (zip::DecodeCentralHeader(bytes, header) != zip::Status::kOk)
        throw EZipBuilder(kMsgCentralSignatureWrong);

      // Names of any stored length are read whole, straight into the entry's text.
      std::string fileName(header.FileNameLen, '\0');
      if (reader.Read(inFileHandle_, fileName.data(), fileName.size()) != static_cast<int64_t>(fileName.size()))
        throw EZipBuilder(kMsgCentralNameReadError);
      HostSystem = header.VersionMadeBy1;
      HostVersion = header.VersionMadeBy0;
      HostFlags = header.Flag;
      // A zero byte cannot be part of a name: the entry is damaged.
      if (CutAtZero(fileName) && !listed_.structureWarning) {
        listed_.structureWarning = true;
        ShowZipMessage(kMsgStructureWarning, "");
      }
      ConvertOem2Iso(fileName, cpdOEM2ISO);

      auto entry = std::make_unique<ZipDirEntry>();
      CopyHeaderFields(header, *entry);
      entry->FileName = ReplaceForwardSlash(std::move(fileName));
      entry->Encrypted = (header.Flag & 1) != 0;

      if (header.ExtraLen != 0) {
        entry->ExtraData.resize(header.ExtraLen);
        if (reader.Read(inFileHandle_, entry->ExtraData.data(), header.ExtraLen) != header.ExtraLen)
          throw EZipBuilder(kMsgListSeekError);
      }
      if (header.FileComLen != 0) {
        comment.resize(header.FileComLen);
        if (reader.Read(inFileHandle_, comment.data(), comment.size()) !=
            static_cast<int64_t>(comment.size()))
          throw EZipBuilder(kMsgFileCommentReadError);
        entry->FileComment = UpToZero(comment);
        ConvertOem2Iso(entry->FileComment, cpdOEM2ISO);
      }

      const int32_t localOffset = static_cast<int32_t>(entry->LocalHeaderOffset);
      // A name ending in a separator (no file name part) is a directory-only entry.
      const std::string& stored = entry->FileName;
      const bool directoryOnly = stored.empty() || stored.back() == '\\' || stored.back() == ':';
      if (!UseDirOnlyEntries && directoryOnly) {
        ++listed_.skippedDirCount;
      } else {
        zipDirEntryRecords_.push_back(std::move(entry));
        if (OnNewName) OnNewName(this, i + 1, *zipDirEntryRecords_.back());
      }
      if (localOffset < listed_.archiveStart) listed_.archiveStart = localOffset;
    }
    listed_.lastDiskNumber = endOfCentral.ThisDiskNo;
  });

  if (!ok) {
    zipFileName_.clear();
    listed_.archiveStart = 0;
    listed_.rawZipComment.clear();
    listed_.lastDiskNumber = 0;
    listed_.spanned = false;
  }
  if (endRecordRead)
    listed_.archiveStart = static_cast<int32_t>(int64_t{listed_.archiveStart} + expected - extent.offset);
  StopWaitCursor();
  CloseInput();
  if (OnDirUpdate) OnDirUpdate(this);
}

std::string TZipBuilder::GetZipComment() {
  std::string text = listed_.rawZipComment;
  ConvertOem2Iso(text, cpdOEM2ISO);
  return text;
}

void TZipBuilder::SetZipComment(const std::string& comment) {
  if (Busy()) return;  // the archive is being read or rewritten
  auto& files = *env_->files;
  CloseInput();
  // The length field holds 16 bits: longer comments are cut to what it can say.
  std::string copy = comment.substr(0, std::min<size_t>(comment.size(), 65535));
  if (!copy.empty()) ConvertOem2Iso(copy, cpdISO2OEM);
  copy.resize(std::min<size_t>(copy.size(), 65535));  // conversion may change the length
  const std::string previousComment = listed_.rawZipComment;
  listed_.rawZipComment = copy;

  // The archive is rewritten into a temporary file beside it, which takes its
  // place only when complete: a full disk or a killed run leaves it as it was.
  bool replaced = false;
  FileHandle file = platform::kInvalidHandle, out = platform::kInvalidHandle;
  platform::TemporaryFile temporary;
  try {
    if (zipFileName_.empty()) throw EZipBuilder(kMsgInputMissing);
    file = files.Open(zipFileName_, platform::Access::Read, platform::Share::Read,
                      platform::Disposition::OpenExisting);
    if (file == platform::kInvalidHandle) throw EZipBuilder(kMsgZipOpenFailed);
    if (files.Seek(file, listed_.endOfCentralOffset, platform::SeekFrom::Begin) != listed_.endOfCentralOffset)
      throw EZipBuilder(kMsgInputSeekError);
    uint8_t record[kEndRecordSize];
    if (files.Read(file, record, sizeof record) != kEndRecordSize ||
        zip::Load32(record) != zip::kEndOfCentralSignature)
      throw EZipBuilder(kMsgEndRecordReadError);
    zip::ZipEndOfCentral end;
    zip::Decode(record, end);
    end.ZipCommentLen = static_cast<uint16_t>(copy.size());
    zip::Encode(end, record);
    temporary = CreateTemporaryBeside(files, zipFileName_);
    if (!temporary.IsOpen()) throw EZipBuilder(kMsgTempFileFailed);
    out = files.Open(temporary.Path(), platform::Access::Write, platform::Share::None,
                     platform::Disposition::OpenExisting, 0600);
    if (out == platform::kInvalidHandle) throw EZipBuilder(kMsgOutputCreateFailed);
    auto writeFailed = [&] {
      return EZipBuilder::WithDetail(kMsgOutputWriteError,
                                     platform::ErrorText(files.LastError()));
    };
    if (files.Seek(file, 0, platform::SeekFrom::Begin) != 0) throw EZipBuilder(kMsgInputSeekError);
    if (CopyBulk(file, out, listed_.endOfCentralOffset) != 0) throw writeFailed();
    if (files.Write(out, record, sizeof record) != kEndRecordSize ||
        files.Write(out, copy.data(), copy.size()) != static_cast<int64_t>(copy.size()) ||
        !files.Sync(out))
      throw writeFailed();
    files.Close(out);
    out = platform::kInvalidHandle;
    files.Close(file);
    file = platform::kInvalidHandle;
    replaced = ReplaceZipFile(temporary, zipFileName_, htdFinal) == 0;
  } catch (const EZipBuilder& e) {
    ShowExceptionError(e);
  } catch (const std::bad_alloc&) {
    ShowZipMessage(kMsgNoMemory, "");
  }
  if (out != platform::kInvalidHandle) files.Close(out);
  if (file != platform::kInvalidHandle) files.Close(file);
  temporary.Discard();
  if (replaced) {
    List();
  } else {
    listed_.rawZipComment = previousComment;  // the archive keeps its comment
  }
}
