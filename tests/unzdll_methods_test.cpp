// Members compressed with zstd, xz, LZMA and Deflate64, built here byte by byte
// (libzstd and liblzma compress; Deflate64 blocks are assembled bit by bit to
// reach its own length and distance codes), then extracted whole, to memory and
// with lies about their sizes, CRCs and data.
#include <gtest/gtest.h>
#include <lzma.h>
#include <zstd.h>

#include <filesystem>

#include "tests/support/CraftedZip.h"
#include "tests/support/Noise.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnzEngineRunner.h"

namespace fs = std::filesystem;
using namespace testsupport;

namespace {

std::string Zstd(const std::string& data) {
  std::string out(ZSTD_compressBound(data.size()), '\0');
  out.resize(ZSTD_compress(out.data(), out.size(), data.data(), data.size(), 3));
  return out;
}

std::string Xz(const std::string& data) {
  std::string out(lzma_stream_buffer_bound(data.size()), '\0');
  size_t used = 0;
  lzma_easy_buffer_encode(6, LZMA_CHECK_CRC64, nullptr,
                          reinterpret_cast<const uint8_t*>(data.data()), data.size(),
                          reinterpret_cast<uint8_t*>(out.data()), &used, out.size());
  out.resize(used);
  return out;
}

// The LZMA member layout: version, properties size, properties, raw stream.
std::string Lzma(const std::string& data, bool endMarker) {
  lzma_options_lzma options;
  lzma_lzma_preset(&options, 6);
  options.dict_size = 1u << 20;
  lzma_filter filters[] = {{LZMA_FILTER_LZMA1, &options}, {LZMA_VLI_UNKNOWN, nullptr}};
  std::string out(9 + data.size() + data.size() / 2 + 1024, '\0');
  out[0] = 16, out[1] = 2, out[2] = 5, out[3] = 0;
  lzma_properties_encode(filters, reinterpret_cast<uint8_t*>(out.data()) + 4);
  // The raw encoder always ends with the marker; cut it when it should be absent.
  if (!endMarker) {
    filters[0].id = LZMA_FILTER_LZMA1EXT;
    options.ext_flags = 0;
    options.ext_size_low = static_cast<uint32_t>(data.size());
    options.ext_size_high = 0;
  }
  size_t used = 9;
  lzma_raw_buffer_encode(filters, nullptr, reinterpret_cast<const uint8_t*>(data.data()),
                         data.size(), reinterpret_cast<uint8_t*>(out.data()), &used, out.size());
  out.resize(used);
  return out;
}

// Deflate64 assembled by hand: bits least significant first, Huffman codes most
// significant first, fixed codes.
class Deflate64Writer {
 public:
  void Bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) Bit((value >> i) & 1);
  }
  void Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) Bit((code >> i) & 1);
  }
  void Literal(int symbol) {
    if (symbol < 144)
      Code(0x30 + symbol, 8);
    else if (symbol < 256)
      Code(0x190 + symbol - 144, 9);
    else if (symbol < 280)
      Code(symbol - 256, 7);
    else
      Code(0xC0 + symbol - 280, 8);
  }
  void Stored(const std::string& bytes, bool last) {
    Bits(last, 1);
    Bits(0, 2);
    if (used_) Bits(0, 8 - used_);
    Bits(static_cast<uint32_t>(bytes.size()), 16);
    Bits(~static_cast<uint32_t>(bytes.size()) & 0xFFFF, 16);
    out_ += bytes;
  }
  std::string Finish() {
    if (used_) out_ += static_cast<char>(byte_);
    used_ = 0;
    return out_;
  }

 private:
  void Bit(uint32_t bit) {
    byte_ |= bit << used_;
    if (++used_ == 8) {
      out_ += static_cast<char>(byte_);
      byte_ = 0;
      used_ = 0;
    }
  }
  std::string out_;
  uint32_t byte_ = 0;
  int used_ = 0;
};

struct Deflate64Sample {
  std::string data, payload;
};

// A stored block of 60000 bytes, then a fixed block: a literal, a match of the
// longest length (code 285 with 16 extra bits) from 60001 back (distance code
// 31), and a short match of `lastDistance` (code 0 for 1).
Deflate64Sample Deflate64(uint32_t lastDistance = 1, int lastLiteral = 'Z') {
  Deflate64Sample s;
  s.data = Noise(60000, 3);
  Deflate64Writer w;
  w.Stored(s.data, false);
  w.Bits(1, 1);
  w.Bits(1, 2);  // fixed codes
  w.Literal(lastLiteral);
  s.data += static_cast<char>(lastLiteral);
  w.Literal(285);
  w.Bits(65535, 16);  // length 65538
  w.Code(31, 5);
  w.Bits(60001 - 49153, 14);
  for (int i = 0; i < 65538; ++i) s.data += s.data[s.data.size() - 60001];
  w.Literal(257);  // length 3
  if (lastDistance <= 4) {
    w.Code(lastDistance - 1, 5);
  } else {  // code 30: 32769 and 14 extra bits
    w.Code(30, 5);
    w.Bits(lastDistance - 32769, 14);
  }
  for (int i = 0; i < 3; ++i)
    s.data += s.data[s.data.size() - std::min<size_t>(lastDistance, s.data.size())];
  w.Literal(256);
  s.payload = w.Finish();
  return s;
}

std::string Text() {
  std::string text;
  for (uint64_t i = 0; text.size() < 700000; ++i)
    text += "line " + std::to_string(i * 7919 % 100003) + "\n";
  return text;
}

struct Method {
  const char* name;
  uint16_t method;
  std::string data, payload;
  uint16_t flags = 0;
};

std::vector<Method> Methods() {
  const std::string text = Text();
  Deflate64Sample d64 = Deflate64();
  return {
      {"zstd", 93, text, Zstd(text)},
      {"xz", 95, text, Xz(text)},
      {"lzma", 14, text, Lzma(text, false)},
      {"lzma with end marker", 14, text, Lzma(text, true), 0x0002},
      {"deflate64", 9, d64.data, d64.payload},
  };
}

class MethodsTest : public ::testing::Test {
 protected:
  std::string Archive(const CraftedMember& member) {
    std::string path = dir_ / ("m" + std::to_string(++archives_) + ".zip");
    WriteTextFile(path, CraftZip({member}));
    return path;
  }
  CraftedMember Member(const Method& m) {
    CraftedMember member("member.bin", m.data);
    member.method = m.method;
    member.payload = m.payload;
    member.flags = m.flags;
    return member;
  }
  UnzRun Extract(const std::string& archive, bool test = false) {
    UnzRun run;
    run.archive = archive;
    run.baseDir = dir_ / ("out" + std::to_string(++outs_));
    run.test = test;
    fs::create_directories(run.baseDir);
    EXPECT_TRUE(RunUnzEngine(run));
    return run;
  }
  TempDir dir_;
  int archives_ = 0, outs_ = 0;
};

TEST_F(MethodsTest, EveryMethodExtractsToFileAndMemory) {
  for (const Method& m : Methods()) {
    const std::string archive = Archive(Member(m));
    UnzRun run = Extract(archive);
    EXPECT_EQ(run.result, 1) << m.name;
    EXPECT_EQ(run.Count(kActionSkipped), 0) << m.name;
    EXPECT_TRUE(ReadTextFile(run.baseDir + "/member.bin") == m.data) << m.name;
    uint64_t reported = 0;
    for (const EngineEvent& e : run.Of(kActionBytesDone))
      reported += static_cast<uint64_t>(e.value);
    EXPECT_EQ(reported, m.data.size()) << m.name;
    EXPECT_EQ(Extract(archive, true).result, 1) << m.name;

    UnzRun memory;
    memory.archive = archive;
    memory.toMemory = true;
    memory.provideBlock = false;
    ASSERT_TRUE(RunUnzEngine(memory));
    EXPECT_EQ(memory.result, 1) << m.name;
    EXPECT_TRUE(memory.MemoryText() == m.data) << m.name;
  }
}

TEST_F(MethodsTest, LiesAndDamageFailWithoutAFile) {
  struct Fault {
    const char* what;
    void (*apply)(CraftedMember&);
    std::vector<int32_t> errors;  // any of these
  } faults[] = {
      {"declared far too small",
       [](CraftedMember& c) { c.declaredSize = static_cast<uint32_t>(c.data.size() / 3); },
       {kEngineSizeError}},
      {"declared larger",
       [](CraftedMember& c) { c.declaredSize = static_cast<uint32_t>(c.data.size() + 1); },
       {kEngineSizeError}},
      {"wrong CRC", [](CraftedMember& c) { c.declaredCrc = 0x12345678; }, {kEngineCrcError}},
      {"cut in half",
       [](CraftedMember& c) { c.payload->resize(c.payload->size() / 2); },
       {kEngineSizeError, kEngineBadArchive}},
      {"cut to its header",
       [](CraftedMember& c) { c.payload->resize(6); },
       {kEngineSizeError, kEngineBadArchive}},
      {"damaged in the middle",
       [](CraftedMember& c) {
         for (size_t i = 0; i < 16; ++i) (*c.payload)[c.payload->size() / 2 + i] ^= 0x5A;
       },
       {kEngineBadArchive, kEngineCrcError, kEngineSizeError}},
  };
  for (const Method& m : Methods()) {
    for (const Fault& f : faults) {
      CraftedMember member = Member(m);
      f.apply(member);
      const std::string archive = Archive(member);
      for (bool test : {false, true}) {
        const std::string what = std::string(m.name) + ", " + f.what + (test ? " (test)" : "");
        UnzRun run = Extract(archive, test);
        EXPECT_EQ(run.result, 0) << what;
        ASSERT_EQ(run.Count(kActionSkipped), 1) << what;
        const int32_t error = run.Of(kActionSkipped)[0].error;
        EXPECT_NE(std::find(f.errors.begin(), f.errors.end(), error), f.errors.end())
            << what << ": " << error;
        EXPECT_TRUE(fs::is_empty(run.baseDir)) << what;
      }
    }
  }
}

// A stream of three stored bytes and a fixed block copying 3 bytes from `distance` back.
std::string ShortHistory(uint32_t distanceCode, uint32_t extra, int literal = 257) {
  Deflate64Writer w;
  w.Stored("abc", false);
  w.Bits(1, 1);
  w.Bits(1, 2);
  w.Literal(literal);
  w.Code(distanceCode, 5);
  w.Bits(extra, distanceCode >= 30 ? 14 : 0);
  w.Literal(256);
  return w.Finish();
}

TEST_F(MethodsTest, Deflate64CodesBeyondDeflate) {
  for (uint32_t distance : {40001u, 49152u}) {  // code 30, low and at its largest
    Deflate64Sample sample = Deflate64(distance);
    ASSERT_EQ(sample.data.size(), 60000u + 1 + 65538 + 3);
    CraftedMember member("d64.bin", sample.data);
    member.method = 9;
    member.payload = sample.payload;
    UnzRun run = Extract(Archive(member));
    EXPECT_EQ(run.result, 1) << distance;
    EXPECT_TRUE(ReadTextFile(run.baseDir + "/d64.bin") == sample.data) << distance;
  }
  struct Broken {
    const char* what;
    std::string payload;
  } broken[] = {
      {"distance 32769 with 3 bytes of history", ShortHistory(30, 0)},
      {"distance 4 with 3 bytes of history", ShortHistory(3, 0)},
      {"length code 286", ShortHistory(1, 0, 286)},
      {"block type 3", std::string("\x07\x00", 2)},
  };
  for (const Broken& b : broken) {
    CraftedMember member("d64.bin", "abcabc");
    member.method = 9;
    member.payload = b.payload;
    UnzRun run = Extract(Archive(member));
    EXPECT_EQ(run.result, 0) << b.what;
    ASSERT_EQ(run.Count(kActionSkipped), 1) << b.what;
    EXPECT_EQ(run.Of(kActionSkipped)[0].error, kEngineBadArchive) << b.what;
  }
  // Distance 2 from "abc" gives "bcb": the stream itself is sound.
  CraftedMember sound("d64.bin", "abcbcb");
  sound.method = 9;
  sound.payload = ShortHistory(1, 0);
  EXPECT_EQ(Extract(Archive(sound)).result, 1);
}

}  // namespace
