#include "zipformat/Records.h"

namespace zip {

void Decode(const uint8_t* p, LocalFileHeader& r) {
  r.HeaderSig = Load32(p);
  r.VersionNeed = Load16(p + 4);
  r.Flag = Load16(p + 6);
  r.ComprMethod = Load16(p + 8);
  r.ModifTime = Load16(p + 10);
  r.ModifDate = Load16(p + 12);
  r.CRC32 = Load32(p + 14);
  r.ComprSize = Load32(p + 18);
  r.UnComprSize = Load32(p + 22);
  r.FileNameLen = Load16(p + 26);
  r.ExtraLen = Load16(p + 28);
}

void Encode(const LocalFileHeader& r, uint8_t* p) {
  Store32(p, r.HeaderSig);
  Store16(p + 4, r.VersionNeed);
  Store16(p + 6, r.Flag);
  Store16(p + 8, r.ComprMethod);
  Store16(p + 10, r.ModifTime);
  Store16(p + 12, r.ModifDate);
  Store32(p + 14, r.CRC32);
  Store32(p + 18, r.ComprSize);
  Store32(p + 22, r.UnComprSize);
  Store16(p + 26, r.FileNameLen);
  Store16(p + 28, r.ExtraLen);
}

void Decode(const uint8_t* p, CentralFileHeader& r) {
  r.HeaderSig = Load32(p);
  r.VersionMadeBy0 = p[4];
  r.VersionMadeBy1 = p[5];
  r.VersionNeed = Load16(p + 6);
  r.Flag = Load16(p + 8);
  r.ComprMethod = Load16(p + 10);
  r.ModifTime = Load16(p + 12);
  r.ModifDate = Load16(p + 14);
  r.CRC32 = Load32(p + 16);
  r.ComprSize = Load32(p + 20);
  r.UnComprSize = Load32(p + 24);
  r.FileNameLen = Load16(p + 28);
  r.ExtraLen = Load16(p + 30);
  r.FileComLen = Load16(p + 32);
  r.DiskStart = Load16(p + 34);
  r.IntFileAtt = Load16(p + 36);
  r.ExtFileAtt = Load32(p + 38);
  r.RelOffLocal = Load32(p + 42);
}

void Encode(const CentralFileHeader& r, uint8_t* p) {
  Store32(p, r.HeaderSig);
  p[4] = r.VersionMadeBy0;
  p[5] = r.VersionMadeBy1;
  Store16(p + 6, r.VersionNeed);
  Store16(p + 8, r.Flag);
  Store16(p + 10, r.ComprMethod);
  Store16(p + 12, r.ModifTime);
  Store16(p + 14, r.ModifDate);
  Store32(p + 16, r.CRC32);
  Store32(p + 20, r.ComprSize);
  Store32(p + 24, r.UnComprSize);
  Store16(p + 28, r.FileNameLen);
  Store16(p + 30, r.ExtraLen);
  Store16(p + 32, r.FileComLen);
  Store16(p + 34, r.DiskStart);
  Store16(p + 36, r.IntFileAtt);
  Store32(p + 38, r.ExtFileAtt);
  Store32(p + 42, r.RelOffLocal);
}

void Decode(const uint8_t* p, ZipEndOfCentral& r) {
  r.HeaderSig = Load32(p);
  r.ThisDiskNo = Load16(p + 4);
  r.CentralDiskNo = Load16(p + 6);
  r.CentralEntries = Load16(p + 8);
  r.TotalEntries = Load16(p + 10);
  r.CentralSize = Load32(p + 12);
  r.CentralOffSet = Load32(p + 16);
  r.ZipCommentLen = Load16(p + 20);
}

void Encode(const ZipEndOfCentral& r, uint8_t* p) {
  Store32(p, r.HeaderSig);
  Store16(p + 4, r.ThisDiskNo);
  Store16(p + 6, r.CentralDiskNo);
  Store16(p + 8, r.CentralEntries);
  Store16(p + 10, r.TotalEntries);
  Store32(p + 12, r.CentralSize);
  Store32(p + 16, r.CentralOffSet);
  Store16(p + 20, r.ZipCommentLen);
}

void Decode(const uint8_t* p, DataDescriptor& r) {
  r.DataDescSig = Load32(p);
  r.CRC32 = Load32(p + 4);
  r.ComprSize = Load32(p + 8);
  r.UnComprSize = Load32(p + 12);
}

void Encode(const DataDescriptor& r, uint8_t* p) {
  Store32(p, r.DataDescSig);
  Store32(p + 4, r.CRC32);
  Store32(p + 8, r.ComprSize);
  Store32(p + 12, r.UnComprSize);
}

void Decode(const uint8_t* p, Zip64EndOfCentral& r) {
  r.HeaderSig = Load32(p);
  r.RecordSize = Load64(p + 4);
  r.VersionMadeBy = Load16(p + 12);
  r.VersionNeed = Load16(p + 14);
  r.ThisDiskNo = Load32(p + 16);
  r.CentralDiskNo = Load32(p + 20);
  r.CentralEntries = Load64(p + 24);
  r.TotalEntries = Load64(p + 32);
  r.CentralSize = Load64(p + 40);
  r.CentralOffSet = Load64(p + 48);
}

void Encode(const Zip64EndOfCentral& r, uint8_t* p) {
  Store32(p, r.HeaderSig);
  Store64(p + 4, r.RecordSize);
  Store16(p + 12, r.VersionMadeBy);
  Store16(p + 14, r.VersionNeed);
  Store32(p + 16, r.ThisDiskNo);
  Store32(p + 20, r.CentralDiskNo);
  Store64(p + 24, r.CentralEntries);
  Store64(p + 32, r.TotalEntries);
  Store64(p + 40, r.CentralSize);
  Store64(p + 48, r.CentralOffSet);
}

void Decode(const uint8_t* p, Zip64Locator& r) {
  r.HeaderSig = Load32(p);
  r.EndRecordDiskNo = Load32(p + 4);
  r.EndRecordOffSet = Load64(p + 8);
  r.TotalDisks = Load32(p + 16);
}

void Encode(const Zip64Locator& r, uint8_t* p) {
  Store32(p, r.HeaderSig);
  Store32(p + 4, r.EndRecordDiskNo);
  Store64(p + 8, r.EndRecordOffSet);
  Store32(p + 16, r.TotalDisks);
}

}  // namespace zip
