#include "zipformat/Records.h"

namespace zip {
namespace {

// Cursors over a record's bytes: each Field call takes the next field of the
// record's type, little-endian, and advances past it. A Reader returns the value
// read; a Writer stores the value it is given and returns it.
class Reader {
 public:
  explicit Reader(const uint8_t* p) : p_(p) {}
  template <typename T>
  T Field(T) {
    T value;
    if constexpr (sizeof(T) == 1) value = p_[0];
    else if constexpr (sizeof(T) == 2) value = Load16(p_);
    else if constexpr (sizeof(T) == 4) value = Load32(p_);
    else value = Load64(p_);
    p_ += sizeof(T);
    return value;
  }

 private:
  const uint8_t* p_;
};

class Writer {
 public:
  explicit Writer(uint8_t* p) : p_(p) {}
  template <typename T>
  T Field(T value) {
    if constexpr (sizeof(T) == 1) p_[0] = value;
    else if constexpr (sizeof(T) == 2) Store16(p_, value);
    else if constexpr (sizeof(T) == 4) Store32(p_, value);
    else Store64(p_, value);
    p_ += sizeof(T);
    return value;
  }

 private:
  uint8_t* p_;
};

// Each record's fields, once, in their order on disk; the cursor reads or
// writes them. Members are passed and assigned by value: a reference to a
// member of a packed record would be a misaligned access.

// What a local and a central header share, in the same order.
template <typename Cursor, typename Header>
void HeaderFields(Cursor& c, Header& r) {
  r.VersionNeed = c.Field(r.VersionNeed);
  r.Flag = c.Field(r.Flag);
  r.ComprMethod = c.Field(r.ComprMethod);
  r.ModifTime = c.Field(r.ModifTime);
  r.ModifDate = c.Field(r.ModifDate);
  r.CRC32 = c.Field(r.CRC32);
  r.ComprSize = c.Field(r.ComprSize);
  r.UnComprSize = c.Field(r.UnComprSize);
  r.FileNameLen = c.Field(r.FileNameLen);
  r.ExtraLen = c.Field(r.ExtraLen);
}

// Where the central directory lies, as the classic and the ZIP64 end records
// both say it (in fields of their own widths).
template <typename Cursor, typename End>
void DirectoryFields(Cursor& c, End& r) {
  r.ThisDiskNo = c.Field(r.ThisDiskNo);
  r.CentralDiskNo = c.Field(r.CentralDiskNo);
  r.CentralEntries = c.Field(r.CentralEntries);
  r.TotalEntries = c.Field(r.TotalEntries);
  r.CentralSize = c.Field(r.CentralSize);
  r.CentralOffSet = c.Field(r.CentralOffSet);
}

template <typename Cursor>
void Fields(Cursor& c, LocalFileHeader& r) {
  r.HeaderSig = c.Field(r.HeaderSig);
  HeaderFields(c, r);
}

template <typename Cursor>
void Fields(Cursor& c, CentralFileHeader& r) {
  r.HeaderSig = c.Field(r.HeaderSig);
  r.VersionMadeBy0 = c.Field(r.VersionMadeBy0);
  r.VersionMadeBy1 = c.Field(r.VersionMadeBy1);
  HeaderFields(c, r);
  r.FileComLen = c.Field(r.FileComLen);
  r.DiskStart = c.Field(r.DiskStart);
  r.IntFileAtt = c.Field(r.IntFileAtt);
  r.ExtFileAtt = c.Field(r.ExtFileAtt);
  r.RelOffLocal = c.Field(r.RelOffLocal);
}

template <typename Cursor>
void Fields(Cursor& c, ZipEndOfCentral& r) {
  r.HeaderSig = c.Field(r.HeaderSig);
  DirectoryFields(c, r);
  r.ZipCommentLen = c.Field(r.ZipCommentLen);
}

template <typename Cursor>
void Fields(Cursor& c, DataDescriptor& r) {
  r.DataDescSig = c.Field(r.DataDescSig);
  r.CRC32 = c.Field(r.CRC32);
  r.ComprSize = c.Field(r.ComprSize);
  r.UnComprSize = c.Field(r.UnComprSize);
}

template <typename Cursor>
void Fields(Cursor& c, Zip64EndOfCentral& r) {
  r.HeaderSig = c.Field(r.HeaderSig);
  r.RecordSize = c.Field(r.RecordSize);
  r.VersionMadeBy = c.Field(r.VersionMadeBy);
  r.VersionNeed = c.Field(r.VersionNeed);
  DirectoryFields(c, r);
}

template <typename Cursor>
void Fields(Cursor& c, Zip64Locator& r) {
  r.HeaderSig = c.Field(r.HeaderSig);
  r.EndRecordDiskNo = c.Field(r.EndRecordDiskNo);
  r.EndRecordOffSet = c.Field(r.EndRecordOffSet);
  r.TotalDisks = c.Field(r.TotalDisks);
}

template <typename Record>
void DecodeRecord(const uint8_t* in, Record& out) {
  out = Record{};  // the reader is handed the fields' values, which it does not use
  Reader cursor(in);
  Fields(cursor, out);
}

template <typename Record>
void EncodeRecord(Record record, uint8_t* out) {
  Writer cursor(out);
  Fields(cursor, record);
}

}  // namespace

void Decode(const uint8_t* in, LocalFileHeader& out) { DecodeRecord(in, out); }
void Decode(const uint8_t* in, CentralFileHeader& out) { DecodeRecord(in, out); }
void Decode(const uint8_t* in, ZipEndOfCentral& out) { DecodeRecord(in, out); }
void Decode(const uint8_t* in, DataDescriptor& out) { DecodeRecord(in, out); }
void Decode(const uint8_t* in, Zip64EndOfCentral& out) { DecodeRecord(in, out); }
void Decode(const uint8_t* in, Zip64Locator& out) { DecodeRecord(in, out); }
void Encode(const LocalFileHeader& in, uint8_t* out) { EncodeRecord(in, out); }
void Encode(const CentralFileHeader& in, uint8_t* out) { EncodeRecord(in, out); }
void Encode(const ZipEndOfCentral& in, uint8_t* out) { EncodeRecord(in, out); }
void Encode(const DataDescriptor& in, uint8_t* out) { EncodeRecord(in, out); }
void Encode(const Zip64EndOfCentral& in, uint8_t* out) { EncodeRecord(in, out); }
void Encode(const Zip64Locator& in, uint8_t* out) { EncodeRecord(in, out); }

}  // namespace zip
