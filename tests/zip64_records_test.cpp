// The compression engine's records where sizes, offsets and counts pass what
// the classic fields hold: each written record is decoded again through
// zipformat/ and must give the true values back, with ZIP64 blocks and end
// records only where a value needs them.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "engines/common/EngineError.h"
#include "engines/zipdll/ArchiveRecords.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipbuilder/read/ZipDirEntry.h"

namespace {

constexpr uint64_t kGiB = 1ull << 30;
constexpr uint64_t kFull = 0xFFFFFFFF;

std::span<const uint8_t> Bytes(const std::string& s) {
  return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

zipdll::Member NewMember(uint64_t size, uint64_t compressed, uint64_t offset) {
  zipdll::Member m;
  m.name = "big.bin";
  m.versionNeeded = zipdll::kVersionNeeded;
  m.uncompressedSize = size;
  m.compressedSize = compressed;
  m.localHeaderOffset = offset;
  m.extra = std::string("UT\x05\x00\x01\x01\x02\x03\x04", 9);  // a timestamp block to keep
  m.comment = "note";
  return m;
}

TEST(Zip64Records, CentralHeaderCarriesTheTrueValues) {
  struct Case {
    const char* name;
    uint64_t size, compressed, offset;
    bool block;  // a ZIP64 block is written
  };
  const Case cases[] = {
      {"classic", 1000, 600, 5000, false},
      {"just below the limit", kFull - 1, kFull - 1, kFull - 1, false},
      {"size at the limit", kFull, 1000, 0, true},
      {"large stored member", 5 * kGiB, 5 * kGiB, 0, true},
      {"offset only", 10, 10, 6 * kGiB, true},
      {"everything", 7 * kGiB, 6 * kGiB, 9 * kGiB, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const zipdll::Member m = NewMember(c.size, c.compressed, c.offset);
    const std::string bytes = zipdll::CentralHeaderBytes(m);
    zip::CentralEntry e;
    ASSERT_EQ(zip::DecodeCentralEntry(Bytes(bytes), e), zip::Status::kOk);
    EXPECT_EQ(e.recordSize, bytes.size());
    EXPECT_EQ(e.uncompressedSize, c.size);
    EXPECT_EQ(e.compressedSize, c.compressed);
    EXPECT_EQ(e.localHeaderOffset, c.offset);
    EXPECT_EQ(zip::FindExtra(e.extra, zip::kExtraZip64).has_value(), c.block);
    EXPECT_EQ(int{e.header.VersionNeed}, c.block ? 45 : zipdll::kVersionNeeded);
    EXPECT_TRUE(zip::FindExtra(e.extra, 0x5455).has_value()) << "the other blocks stay";
    EXPECT_EQ(std::string(e.comment.begin(), e.comment.end()), "note");
    // A field holds its value unless it cannot: only those fields are saturated.
    EXPECT_EQ(e.header.UnComprSize == kFull, c.size >= kFull);
    EXPECT_EQ(e.header.RelOffLocal == kFull, c.offset >= kFull);
  }
}

TEST(Zip64Records, CentralBlockReplacesTheOneReadAndRefusesAnOverlongExtraField) {
  zipdll::Member m = NewMember(10, 10, 8 * kGiB);
  const std::vector<uint8_t> stale = zip::EncodeZip64Extra({true, false, false, false}, {123, 0, 0, 0});
  m.extra = std::string(stale.begin(), stale.end()) + m.extra;
  zip::CentralEntry e;
  const std::string bytes = zipdll::CentralHeaderBytes(m);
  ASSERT_EQ(zip::DecodeCentralEntry(Bytes(bytes), e), zip::Status::kOk);
  EXPECT_EQ(e.localHeaderOffset, 8 * kGiB);
  EXPECT_EQ(e.extra.size(), 12u + 9u) << "one block of one value, and the timestamp";

  m.extra = std::string(0xFFFF - 4, '\0');
  m.extra[0] = 0x34;  // one block of 0xFFF7 bytes with an id of no meaning
  m.extra[2] = static_cast<char>(0xF7);
  m.extra[3] = static_cast<char>(0xFF);
  EXPECT_THROW(zipdll::CentralHeaderBytes(m), engine::EngineError);
}

TEST(Zip64Records, LocalHeaderBlockIsChosenBeforeTheSizesAreKnown) {
  struct Case {
    const char* name;
    bool reserved;
    uint64_t size, compressed;
    bool block;
  };
  const Case cases[] = {
      {"small, not reserved", false, 100, 80, false},
      {"small, reserved", true, 100, 80, true},
      {"large, known when written", false, 5 * kGiB, 4 * kGiB, true},
      {"large, reserved", true, 5 * kGiB, 5 * kGiB + 20, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    zipdll::Member m = NewMember(0, 0, 0);
    const size_t firstLength = zipdll::LocalHeaderBytes(m, c.reserved).size();
    m.uncompressedSize = c.size;
    m.compressedSize = c.compressed;
    const std::string bytes = zipdll::LocalHeaderBytes(m, c.reserved);
    if (c.reserved) {
      EXPECT_EQ(bytes.size(), firstLength) << "the rewritten header fits its place";
    }
    zip::LocalEntry e;
    ASSERT_EQ(zip::DecodeLocalEntry(Bytes(bytes), e), zip::Status::kOk);
    const auto block = zip::FindExtra(e.extra, zip::kExtraZip64);
    ASSERT_EQ(block.has_value(), c.block);
    if (!c.block) {
      EXPECT_EQ(uint64_t{e.header.UnComprSize}, c.size);
      EXPECT_EQ(uint64_t{e.header.ComprSize}, c.compressed);
      continue;
    }
    EXPECT_EQ(uint64_t{e.header.UnComprSize}, kFull);
    EXPECT_EQ(uint64_t{e.header.ComprSize}, kFull);
    EXPECT_EQ(int{e.header.VersionNeed}, 45);
    zip::Zip64Values values;
    ASSERT_EQ(zip::DecodeZip64Extra(*block, zip::kLocalZip64Fields, values), zip::Status::kOk);
    EXPECT_EQ(values.uncompressed, c.size);
    EXPECT_EQ(values.compressed, c.compressed);
  }
}

TEST(Zip64Records, ReservationCoversWhatDeflateAndEncryptionAdd) {
  EXPECT_FALSE(zipdll::ReservesZip64(0));
  EXPECT_FALSE(zipdll::ReservesZip64(512ull << 20));
  EXPECT_FALSE(zipdll::ReservesZip64(4 * kGiB - 64 * (1 << 20)));
  EXPECT_TRUE(zipdll::ReservesZip64(4 * kGiB - 2 * (1 << 20)));
  EXPECT_TRUE(zipdll::ReservesZip64(kFull));
  EXPECT_TRUE(zipdll::ReservesZip64(20 * kGiB));
}

TEST(Zip64Records, EndRecordsOnlyWhereTheValuesNeedThem) {
  struct Case {
    const char* name;
    uint64_t count, size, offset;
    bool zip64;
  };
  const Case cases[] = {
      {"classic", 3, 150, 4000, false},
      {"65,534 members", 65534, 65534 * 60, 100000, false},
      {"65,535 members", 65535, 65535 * 60, 100000, true},
      {"70,000 members", 70000, 70000 * 60, 100000, true},
      {"directory behind 4 GiB", 2, 100, 5 * kGiB, true},
      {"directory of 4 GiB", 5, kFull, 100, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string bytes = zipdll::EndRecordBytes(c.count, c.size, c.offset, "comment");
    const size_t trailer = c.zip64 ? zip::kZip64EndSize + zip::kZip64LocatorSize : 0;
    ASSERT_EQ(bytes.size(), trailer + zip::kEndRecordSize + 7);
    zip::ZipEndOfCentral end;
    zip::Decode(Bytes(bytes).data() + trailer, end);
    zip::DirectoryExtent extent = zip::ResolveExtent(end);
    if (c.zip64) {
      zip::Zip64EndOfCentral record;
      ASSERT_EQ(zip::DecodeZip64Trailer(Bytes(bytes).first(trailer), record), zip::Status::kOk);
      EXPECT_EQ(record.VersionNeed, 45);
      zip::Zip64Locator locator;
      ASSERT_EQ(zip::DecodeZip64Locator(Bytes(bytes).subspan(zip::kZip64EndSize, zip::kZip64LocatorSize),
                                        locator),
                zip::Status::kOk);
      EXPECT_EQ(locator.EndRecordOffSet, c.offset + c.size) << "the record follows the directory";
      extent = zip::ResolveExtent(end, &record);
    }
    EXPECT_EQ(extent.entries, c.count);
    EXPECT_EQ(extent.size, c.size);
    EXPECT_EQ(extent.offset, c.offset);
  }
}

// The component's listed entries keep their 32-bit fields; the 64-bit accessors
// give the true values from the ZIP64 block where a field is saturated.
TEST(Zip64Records, DirEntryAccessorsGiveTheTrueValues) {
  struct Case {
    const char* name;
    uint32_t size, compressed, offset;  // the fields as listed
    zip::Zip64Fields block;              // what the ZIP64 block holds (none: no block)
    uint64_t wantSize, wantCompressed, wantOffset;
  };
  const zip::Zip64Values inBlock{5 * kGiB, 4 * kGiB + 7, 6 * kGiB, 0};
  const Case cases[] = {
      {"classic", 100, 50, 2000, {}, 100, 50, 2000},
      {"size in the block", 0xFFFFFFFF, 50, 2000, {true, false, false, false}, 5 * kGiB, 50, 2000},
      {"offset in the block", 10, 10, 0xFFFFFFFF, {false, false, true, false}, 10, 10, 6 * kGiB},
      {"all three", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, {true, true, true, false},
       5 * kGiB, 4 * kGiB + 7, 6 * kGiB},
      {"block missing", 0xFFFFFFFF, 20, 30, {}, 0xFFFFFFFF, 20, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ZipDirEntry e;
    e.UncompressedSize = c.size;
    e.CompressedSize = c.compressed;
    e.LocalHeaderOffset = c.offset;
    if (c.block.Any()) e.ExtraData = zip::EncodeZip64Extra(c.block, inBlock);
    EXPECT_EQ(e.UncompressedSize64(), c.wantSize);
    EXPECT_EQ(e.CompressedSize64(), c.wantCompressed);
    EXPECT_EQ(e.LocalHeaderOffset64(), c.wantOffset);
  }
}

}  // namespace
