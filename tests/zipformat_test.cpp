// The format library against short byte strings: every damage branch of the
// decoders, and the records against hand-written bytes (not our own encoder).
// Fields of the packed records are compared as values (unary +): a reference to
// one would be misaligned.
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>
#include <vector>

#include "zipformat/DataDescriptor.h"
#include "zipformat/EndRecord.h"
#include "zipformat/ExtraField.h"
#include "zipformat/Headers.h"
#include "zipformat/NameCodePage.h"
#include "zipformat/StreamHeader.h"
#include "zipformat/VolumeNames.h"
#include "zipformat/Wildcard.h"

namespace {

using Bytes = std::vector<uint8_t>;

// Bytes from a readable notation: "PK56" is the four signature bytes of the end
// record, other tokens are little-endian numbers of the given width ("4:22").
Bytes Le(uint64_t v, int width) {
  Bytes b;
  for (int i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}
Bytes Text(const std::string& s) {
  return Bytes(s.begin(), s.end());
}

Bytes EndRecord(uint16_t entries, uint32_t size, uint32_t offset, const std::string& comment,
                uint16_t commentLength) {
  return Cat({Text("PK\x05\x06"), Le(0, 2), Le(0, 2), Le(entries, 2), Le(entries, 2), Le(size, 4),
              Le(offset, 4), Le(commentLength, 2), Text(comment)});
}

Bytes Central(const std::string& name, const Bytes& extra, const std::string& comment,
              uint32_t csize, uint32_t usize, uint32_t offset, uint16_t disk = 0) {
  return Cat({Text("PK\x01\x02"),
              {20, 3},
              Le(20, 2),
              Le(0, 2),
              Le(8, 2),
              Le(0x1234, 2),
              Le(0x5678, 2),
              Le(0xCAFEBABE, 4),
              Le(csize, 4),
              Le(usize, 4),
              Le(name.size(), 2),
              Le(extra.size(), 2),
              Le(comment.size(), 2),
              Le(disk, 2),
              Le(1, 2),
              Le(0x81A40000, 4),
              Le(offset, 4),
              Text(name),
              extra,
              Text(comment)});
}

TEST(ZipFormatEndRecord, SearchCases) {
  struct Case {
    const char* what;
    Bytes file;
    bool found;
    size_t at;
    bool pastEnd;
    size_t trailing;
  };
  // Records whose directory (50 bytes at 100) is not in the file count only
  // when no other does; those below have theirs at 100.
  const Bytes plain = EndRecord(1, 50, 100, "", 0);
  const Bytes commented = EndRecord(1, 50, 100, "hello", 5);
  const Bytes directory = Central("o", {}, "", 0, 0, 0);  // 47 bytes
  const Bytes front(100, 'd');
  // A comment holding a signature, whose directory would be elsewhere.
  const Bytes trap = Cat({front, directory,
                          EndRecord(1, 47, 100, std::string("xx") + "PK\x05\x06" + std::string(18, '\x01'), 24)});
  // A cut download: its comment runs past the end, and an archive stored in it
  // has a record whose comment fits.
  const Bytes inner = Cat({Central("i", {}, "", 0, 0, 0), EndRecord(1, 47, 0, "", 0)});
  const Bytes holding = Cat({Bytes(30, 'l'), inner, Bytes(1, 'l'), directory, EndRecord(1, 47, 100, "abc", 9)});
  // The same behind a stub, offsets counting from the archive's start.
  const Bytes shifted = Cat({Bytes(500, 's'), holding});
  const Case cases[] = {
      {"too short", Bytes(21, 0), false, 0, false, 0},
      {"record alone", plain, true, 0, false, 0},
      {"after data", Cat({Bytes(7, 'a'), plain}), true, 7, false, 0},
      {"with comment", commented, true, 0, false, 0},
      {"padding behind", Cat({plain, Bytes(10, 0)}), true, 0, false, 10},
      {"none counts: the last signature", Cat({plain, plain}), true, 22, false, 0},
      {"signature inside the comment", trap, true, 147, false, 0},
      {"comment cut", EndRecord(1, 50, 100, "abc", 9), true, 0, true, 0},
      {"comment cut, an archive stored inside", holding, true, 147, true, 0},
      {"the same behind a stub", shifted, true, 647, true, 0},
      {"no signature", Bytes(100, 'z'), false, 0, false, 0},
  };
  for (const Case& c : cases) {
    auto m = zip::FindEndRecord(c.file);
    ASSERT_EQ(m.has_value(), c.found) << c.what;
    if (!m) continue;
    EXPECT_EQ(m->at, c.at) << c.what;
    EXPECT_EQ(m->commentPastEnd, c.pastEnd) << c.what;
    EXPECT_EQ(m->trailing, c.trailing) << c.what;
    EXPECT_EQ(+m->record.CentralOffSet, 100u) << c.what;
  }
  // Only the last bytes in memory: the directory is read where it lies.
  const std::span<const uint8_t> tail(holding.end() - 30, holding.end());
  size_t reads = 0;
  auto m = zip::FindEndRecord(tail, holding.size() - 30, [&](uint64_t offset, std::span<uint8_t> out) {
    ++reads;
    if (offset + out.size() > holding.size()) return false;
    std::copy_n(holding.begin() + static_cast<ptrdiff_t>(offset), out.size(), out.begin());
    return true;
  });
  ASSERT_TRUE(m.has_value());
  EXPECT_EQ(m->at, 5u);
  EXPECT_TRUE(m->commentPastEnd);
  EXPECT_GT(reads, 0u);
}

TEST(ZipFormatEndRecord, Zip64RecordsAndExtent) {
  const Bytes z64 = Cat({Text("PK\x06\x06"), Le(44, 8), Le(45, 2), Le(45, 2), Le(0, 4), Le(0, 4),
                         Le(70000, 8), Le(70001, 8), Le(1ull << 33, 8), Le(5ull << 32, 8)});
  const Bytes locator = Cat({Text("PK\x06\x07"), Le(0, 4), Le(123, 8), Le(1, 4)});
  zip::Zip64EndOfCentral record;
  zip::Zip64Locator loc;
  ASSERT_EQ(zip::DecodeZip64End(z64, record), zip::Status::kOk);
  ASSERT_EQ(zip::DecodeZip64Locator(locator, loc), zip::Status::kOk);
  EXPECT_EQ(+loc.EndRecordOffSet, 123u);
  EXPECT_EQ(zip::DecodeZip64End(Bytes(z64.begin(), z64.end() - 1), record),
            zip::Status::kTruncated);
  EXPECT_EQ(zip::DecodeZip64Locator(z64, loc), zip::Status::kBadSignature);
  Bytes small = z64;
  small[4] = 10;  // a record size smaller than the fixed fields
  EXPECT_EQ(zip::DecodeZip64End(small, record), zip::Status::kTruncated);
  ASSERT_EQ(zip::DecodeZip64End(z64, record), zip::Status::kOk);
  // Together in front of the end record: no locator means no ZIP64 records.
  EXPECT_EQ(zip::DecodeZip64Trailer(Cat({z64, locator}), record), zip::Status::kOk);
  EXPECT_EQ(zip::DecodeZip64Trailer(Cat({small, locator}), record), zip::Status::kTruncated);
  EXPECT_EQ(zip::DecodeZip64Trailer(Cat({z64, z64}), record), zip::Status::kNotFound);
  EXPECT_EQ(zip::DecodeZip64Trailer(z64, record), zip::Status::kTruncated);
  ASSERT_EQ(zip::DecodeZip64End(z64, record), zip::Status::kOk);

  auto classic = zip::FindEndRecord(EndRecord(0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "", 0))->record;
  EXPECT_TRUE(zip::IsSaturated(classic));
  auto e = zip::ResolveExtent(classic, &record);
  EXPECT_EQ(e.entries, 70001u);
  EXPECT_EQ(e.size, 1ull << 33);
  EXPECT_EQ(e.offset, 5ull << 32);
  EXPECT_TRUE(e.zip64);
  // A ZIP64 record in front of an unsaturated end record leaves its values alone.
  auto small64 = zip::FindEndRecord(EndRecord(3, 40, 60, "", 0))->record;
  EXPECT_FALSE(zip::IsSaturated(small64));
  e = zip::ResolveExtent(small64, &record);
  EXPECT_EQ(e.entries, 3u);
  EXPECT_EQ(e.offset, 60u);
}

TEST(ZipFormatHeaders, CentralEntryDamage) {
  const Bytes good = Central("dir/a.txt", {}, "note", 10, 20, 30);
  zip::CentralEntry e;
  ASSERT_EQ(zip::DecodeCentralEntry(good, e), zip::Status::kOk);
  EXPECT_EQ(std::string(e.name.begin(), e.name.end()), "dir/a.txt");
  EXPECT_EQ(std::string(e.comment.begin(), e.comment.end()), "note");
  EXPECT_EQ(e.recordSize, good.size());
  EXPECT_EQ(+e.header.HeaderSig, zip::kCentralHeaderSignature);
  EXPECT_EQ(+e.header.VersionMadeBy1, 3);
  EXPECT_EQ(+e.header.ModifTime, 0x1234);
  EXPECT_EQ(+e.header.ExtFileAtt, 0x81A40000u);
  EXPECT_EQ(e.localHeaderOffset, 30u);

  const Bytes z64extra =
      Cat({Le(0x0001, 2), Le(24, 2), Le(5ull << 32, 8), Le(6ull << 32, 8), Le(7ull << 32, 8)});
  const Bytes shortExtra = Cat({Le(0x0001, 2), Le(8, 2), Le(5ull << 32, 8)});
  const Bytes brokenExtra = Cat({Le(0x0001, 2), Le(30, 2), Le(1, 8)});
  struct Case {
    const char* what;
    Bytes bytes;
    zip::Status status;
  };
  Bytes wrongSig = good;
  wrongSig[2] = 3;
  const Case cases[] = {
      {"fixed part cut", Bytes(good.begin(), good.begin() + 45), zip::Status::kTruncated},
      {"wrong signature", wrongSig, zip::Status::kBadSignature},
      {"comment cut", Bytes(good.begin(), good.end() - 1), zip::Status::kVariableTruncated},
      {"saturated without block", Central("x", {}, "", 0xFFFFFFFF, 1, 0), zip::Status::kBadZip64},
      {"block too short", Central("x", shortExtra, "", 0xFFFFFFFF, 0xFFFFFFFF, 0),
       zip::Status::kBadZip64},
      {"block runs past the area", Central("x", brokenExtra, "", 0xFFFFFFFF, 1, 0),
       zip::Status::kBadZip64},
      {"saturated disk alone", Central("x", {}, "", 1, 1, 0, 0xFFFF), zip::Status::kOk},
      {"all from block", Central("x", z64extra, "", 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF),
       zip::Status::kOk},
  };
  for (const Case& c : cases) EXPECT_EQ(zip::DecodeCentralEntry(c.bytes, e), c.status) << c.what;
  EXPECT_EQ(e.uncompressedSize, 5ull << 32);
  EXPECT_EQ(e.compressedSize, 6ull << 32);
  EXPECT_EQ(e.localHeaderOffset, 7ull << 32);
  EXPECT_TRUE(e.zip64);
}

TEST(ZipFormatHeaders, LocalEntryAndDataBounds) {
  const Bytes local =
      Cat({Text("PK\x03\x04"), Le(20, 2), Le(8, 2), Le(8, 2), Le(0, 4), Le(0, 4), Le(5, 4),
           Le(9, 4), Le(3, 2), Le(4, 2), Text("abc"), Le(0xCAFE, 2), Le(0, 2)});
  zip::LocalEntry e;
  ASSERT_EQ(zip::DecodeLocalEntry(local, e), zip::Status::kOk);
  EXPECT_EQ(e.headerSize, 37u);
  EXPECT_EQ(+e.header.Flag, zip::kFlagDataDescriptor);
  EXPECT_EQ(zip::DecodeLocalEntry(Bytes(local.begin(), local.end() - 1), e),
            zip::Status::kVariableTruncated);
  EXPECT_EQ(zip::DecodeLocalEntry(Bytes(local.begin(), local.begin() + 29), e),
            zip::Status::kTruncated);
  EXPECT_EQ(zip::DecodeLocalEntry(Bytes(46, 'P'), e), zip::Status::kBadSignature);
  ASSERT_EQ(zip::DecodeLocalEntry(local, e), zip::Status::kOk);
  uint64_t start = 0;
  EXPECT_TRUE(zip::MemberDataFits(100, e.header, 5, 142, start));
  EXPECT_EQ(start, 137u);
  EXPECT_FALSE(zip::MemberDataFits(100, e.header, 6, 142, start));
  EXPECT_FALSE(zip::MemberDataFits(120, e.header, 0, 142, start));
  EXPECT_FALSE(zip::MemberDataFits(~0ull - 10, e.header, 0, ~0ull, start));  // no wrap-around
}

TEST(ZipFormatExtra, BlocksAndRemoval) {
  const Bytes ts = Cat({Le(0x5455, 2), Le(5, 2), {1}, Le(1700000000, 4)});
  const Bytes owner = Cat({Le(0x7875, 2), Le(7, 2), {1, 2}, Le(1000, 2), {2}, Le(100, 2)});
  const Bytes unixOld =
      Cat({Le(0x000D, 2), Le(14, 2), Le(1, 4), Le(2, 4), Le(501, 2), Le(20, 2), Text("ln")});
  const Bytes area = Cat({ts, owner, unixOld, {0, 0}});  // two bytes of trailing padding
  EXPECT_EQ(zip::DecodeTimestampExtra(*zip::FindExtra(area, 0x5455)), 1700000000u);
  auto o = zip::DecodeUnixOwnerExtra(*zip::FindExtra(area, 0x7875));
  ASSERT_TRUE(o);
  EXPECT_EQ(o->uid, 1000u);
  EXPECT_EQ(o->gid, 100u);
  auto u = zip::DecodeUnixExtra(*zip::FindExtra(area, 0x000D));
  ASSERT_TRUE(u);
  EXPECT_EQ(u->uid, 501);
  EXPECT_EQ(std::string(u->variable.begin(), u->variable.end()), "ln");
  EXPECT_EQ(zip::WithoutExtra(area, 0x7875), Cat({ts, unixOld, {0, 0}}));
  EXPECT_FALSE(zip::FindExtra(area, 0x0001));

  // Damage: lengths past the area, timestamps without a time, owner ids too wide.
  const Bytes brokenArea = Cat({ts, Le(0x0001, 2), Le(9, 2), Le(0, 4)});
  zip::ExtraFieldReader broken(brokenArea);
  EXPECT_TRUE(broken.Next());
  EXPECT_FALSE(broken.Next());
  EXPECT_EQ(broken.status(), zip::Status::kBadExtraField);
  EXPECT_FALSE(zip::DecodeTimestampExtra(Bytes{0, 1, 2, 3, 4}));
  EXPECT_FALSE(zip::DecodeUnixOwnerExtra(Bytes{1, 9, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_FALSE(zip::DecodeUnixOwnerExtra(Bytes{1, 4, 0}));
  EXPECT_FALSE(zip::DecodeUnixExtra(Bytes(11, 0)));

  // A ZIP64 block round trip with some fields present.
  zip::Zip64Values v{1, 2, 3, 4}, back;
  const Bytes block = zip::EncodeZip64Extra({true, false, true, true}, v);
  EXPECT_EQ(block.size(), 4u + 8 + 8 + 4);
  ASSERT_EQ(zip::DecodeZip64Extra(*zip::FindExtra(block, 1), {true, false, true, true}, back),
            zip::Status::kOk);
  EXPECT_EQ(back.offset, 3u);
  EXPECT_EQ(back.disk, 4u);
}

TEST(ZipFormatExtra, AesParameters) {
  struct Case {
    Bytes data;
    bool valid;
    uint16_t version, method;
    uint8_t strength;
  } cases[] = {
      {Cat({Le(2, 2), Text("AE"), {3}, Le(8, 2)}), true, 2, 8, 3},
      {Cat({Le(1, 2), Text("AE"), {1}, Le(14, 2), {0}}), true, 1, 14, 1},  // longer than needed
      {Cat({Le(3, 2), Text("AE"), {3}, Le(8, 2)}), false, 0, 0, 0},         // unknown version
      {Cat({Le(2, 2), Text("XY"), {3}, Le(8, 2)}), false, 0, 0, 0},         // another vendor
      {Cat({Le(2, 2), Text("AE"), {3}, Le(8, 1)}), false, 0, 0, 0},         // cut short
  };
  for (const Case& c : cases) {
    auto aes = zip::DecodeAesExtra(c.data);
    ASSERT_EQ(aes.has_value(), c.valid) << &c - cases;
    if (!aes) continue;
    EXPECT_EQ(aes->version, c.version);
    EXPECT_EQ(aes->strength, c.strength);
    EXPECT_EQ(aes->method, c.method);
  }
}

TEST(ZipFormatExtra, NtfsTimes) {
  const Bytes times = Cat({Le(1, 2), Le(24, 2), Le(0x01D0000000000001, 8), Le(2, 8), Le(3, 8)});
  const struct Case {
    const char* what;
    Bytes data;
    zip::Status status;
    size_t at;
  } cases[] = {
      {"times first", Cat({Le(0, 4), times}), zip::Status::kOk, 8},
      {"behind another tag", Cat({Le(0, 4), Le(7, 2), Le(2, 2), {9, 9}, times}), zip::Status::kOk,
       14},
      {"shorter than the reserved bytes", Bytes{0, 0, 0}, zip::Status::kTruncated, 0},
      {"times tag too short", Cat({Le(0, 4), Le(1, 2), Le(16, 2), Le(2, 8), Le(3, 8)}),
       zip::Status::kTruncated, 0},
      {"another tag only", Cat({Le(0, 4), Le(2, 2), Le(24, 2), Bytes(24, 0)}),
       zip::Status::kNotFound, 0},
      {"tag size past the block", Cat({Le(0, 4), Le(1, 2), Le(24, 2), Le(2, 8)}),
       zip::Status::kBadExtraField, 0},
      {"trailing bytes too short for a tag", Cat({Le(0, 4), {1, 0, 24}}), zip::Status::kNotFound,
       0},
  };
  for (const Case& c : cases) {
    zip::NtfsTimes t;
    ASSERT_EQ(zip::DecodeNtfsExtra(c.data, t), c.status) << c.what;
    if (c.status != zip::Status::kOk) continue;
    EXPECT_EQ(t.at, c.at) << c.what;
    EXPECT_EQ(t.modification, 0x01D0000000000001u) << c.what;
    EXPECT_EQ(t.access, 2u) << c.what;
    EXPECT_EQ(t.creation, 3u) << c.what;
  }
}

TEST(ZipFormatDescriptor, FormsToldApart) {
  const zip::DescriptorValues v{0x11223344, 500, 1000};
  const zip::DescriptorValues big{0x11223344, 5ull << 32, 6ull << 32};
  const Bytes sig = Text("PK\x07\x08");
  struct Case {
    const char* what;
    Bytes bytes;
    zip::DescriptorValues expected;
    size_t length;
  };
  const Case cases[] = {
      {"signed, 32-bit", Cat({sig, Le(v.crc, 4), Le(500, 4), Le(1000, 4), Text("PK\x01\x02")}), v,
       16},
      {"bare, 32-bit", Cat({Le(v.crc, 4), Le(500, 4), Le(1000, 4), Text("PK\x03\x04")}), v, 12},
      {"signed, 64-bit",
       Cat({sig, Le(big.crc, 4), Le(big.compressedSize, 8), Le(big.uncompressedSize, 8)}), big, 24},
      {"bare, 64-bit",
       Cat({Le(big.crc, 4), Le(big.compressedSize, 8), Le(big.uncompressedSize, 8)}), big, 20},
      {"disagreeing, signed", Cat({sig, Bytes(12, 0)}), v, 16},
      {"disagreeing, bare", Bytes(12, 0), v, 12},
      {"CRC equal to the signature, bare",
       Cat({sig, Le(500, 4), Le(1000, 4), Text("PK\x03\x04")}),
       {zip::kDataDescriptorSignature, 500, 1000},
       12},
  };
  for (const Case& c : cases) {
    auto form = zip::MeasureDataDescriptor(c.bytes, c.expected);
    ASSERT_TRUE(form) << c.what;
    EXPECT_EQ(form->length, c.length) << c.what;
  }
  EXPECT_FALSE(zip::MeasureDataDescriptor(Bytes(11, 0), v));
  uint8_t out[24];
  ASSERT_EQ(zip::EncodeDataDescriptor(big, true, out), 24u);
  auto back = zip::DecodeDataDescriptor(Bytes(out, out + 24), {24, true, true});
  EXPECT_EQ(back.uncompressedSize, big.uncompressedSize);

  // Without looking ahead: the first word and the local ZIP64 block decide.
  const Bytes zip64Extra{0x01, 0x00, 0x10, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  const Bytes otherExtra{0x55, 0x54, 0x01, 0x00, 0x03};
  EXPECT_EQ(zip::PrescribedDataDescriptor(otherExtra, zip::kDataDescriptorSignature).length, 16u);
  EXPECT_EQ(zip::PrescribedDataDescriptor(otherExtra, 0x11223344).length, 12u);
  EXPECT_EQ(zip::PrescribedDataDescriptor(zip64Extra, zip::kDataDescriptorSignature).length, 24u);
  EXPECT_EQ(zip::PrescribedDataDescriptor(zip64Extra, 0x11223344).length, 20u);
}

TEST(ZipFormatText, CodePageStreamHeaderAndWildcards) {
  using zip::NameCodePage;
  EXPECT_TRUE(zip::TextIsOem(0, 20, 0, NameCodePage::kAutomatic));
  EXPECT_TRUE(zip::TextIsOem(6, 20, 0, NameCodePage::kAutomatic));
  EXPECT_TRUE(zip::TextIsOem(11, 50, 0, NameCodePage::kAutomatic));
  EXPECT_FALSE(zip::TextIsOem(11, 20, 0, NameCodePage::kAutomatic));
  EXPECT_FALSE(zip::TextIsOem(3, 20, 0, NameCodePage::kAutomatic));
  EXPECT_TRUE(zip::TextIsOem(3, 20, 0, NameCodePage::kOem));
  EXPECT_FALSE(zip::TextIsOem(0, 20, 0, NameCodePage::kNone));
  EXPECT_FALSE(zip::TextIsOem(0, 20, zip::kFlagUtf8, NameCodePage::kOem));

  uint8_t header[zip::kStreamHeaderBytes];
  zip::EncodeStreamHeader({0xA1B2C3D4, 8}, header);
  EXPECT_EQ(Bytes(header, header + 6), Bytes({0xD4, 0xC3, 0xB2, 0xA1, 8, 0}));
  EXPECT_EQ(zip::DecodeStreamHeader(header).method, 8);

  struct Match {
    const char* pattern;
    const char* name;
    bool match;
  };
  const Match matches[] = {
      {"*.*", "README", true},
      {"*.*", "dir/a.txt", true},
      {"read*.*", "readme", true},
      {"*.txt", "DIR\\A.TXT", true},
      {"a?c", "a/c", false},
      {"a?c", "abc", true},
      {"*", "", true},
      {"", "x", false},
      {"dir/*.txt", "dir\\x.txt", true},
      {"*.t", "a.txt", false},
      {"**a", "bbba", true},
      {"readme.*", "readmes", false},
      // A pattern ending in ".*" takes names without an extension, and "*.*" below
      // a directory takes the directory's own entry, whatever the operation.
      {"readme.*", "readme", true},
      {"dir/*.*", "dir/", true},
      {"dir/*.*", "dir/sub/x", true},
      {"dir/*.*", "dirx/a.txt", false},
  };
  for (const Match& m : matches)
    EXPECT_EQ(zip::FileSpecMatch(m.pattern, m.name), m.match) << m.pattern << " " << m.name;
  EXPECT_TRUE(zip::HasWildcards("a?"));
  EXPECT_FALSE(zip::HasWildcards("a.b"));
}

TEST(ZipFormatVolumeNames, SetNamesAndOtherVolumes) {
  struct Case {
    const char* volume;
    int diskNumber;
    const char* other;
    const char* set;
  } cases[] = {
      {"C:\\sets\\backup003.zip", 4, "C:\\sets\\backup005.zip", "C:\\sets\\backup.zip"},
      {"/d.x/set012", 0, "/d.x/set001", "/d.x/set"},
      {"/d/ab.zip", 1, "/d/002.zip", "/d/ab"},  // fewer than three characters: all replaced
  };
  for (const Case& c : cases) {
    EXPECT_EQ(zip::OtherVolumeName(c.volume, c.diskNumber), c.other) << c.volume;
    EXPECT_EQ(zip::SetNameOf(zip::NumberedName(c.set, 6)), c.set) << c.set;
  }
}

}  // namespace
