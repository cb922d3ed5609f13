// Descriptor lines and version numbers.
#include <gtest/gtest.h>

#include <vector>

#include "installer/InstallerText.h"
#include "platform/Env.h"
#include "tests/support/FaultInjectingFileSystem.h"
#include "tests/support/TempDir.h"

namespace {

using installer::EConvertError;
using installer::ReadLine;
using installer::ScanInteger;
using installer::StripVersion;
using installer::StrToInt;
using installer::TextFile;

std::vector<std::string> ReadLines(const std::string& content, int count) {
  testsupport::TempDir dir;
  testsupport::WriteTextFile(dir / "f.txt", content);
  TextFile file(platform::PosixFileSystem(), dir / "f.txt");
  EXPECT_TRUE(file.IsOpen());
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back(ReadLine(file));
  return lines;
}

TEST(ReadLine, LineEndsAndEndOfFile) {
  using Lines = std::vector<std::string>;
  EXPECT_EQ(ReadLines("a\nb\n", 3), (Lines{"a", "b", ""}));
  EXPECT_EQ(ReadLines("a\r\nb\r\n", 3), (Lines{"a", "b", ""}));
  EXPECT_EQ(ReadLines("last without end", 2), (Lines{"last without end", ""}));
  EXPECT_EQ(ReadLines("cr\rinside\n\nx", 3), (Lines{"cr\rinside", "", "x"}));
  EXPECT_EQ(ReadLines("", 1), (Lines{""}));
}

TEST(ReadLine, LongLinesComeInPiecesOf254) {
  std::string a(254, 'a'), b(46, 'b');
  auto lines = ReadLines(a + b + "\nnext\n", 3);
  EXPECT_EQ(lines[0], a);
  EXPECT_EQ(lines[1], b);
  EXPECT_EQ(lines[2], "next");
  // Exactly 254 characters: one line, its line end (LF or CR LF) consumed with it.
  EXPECT_EQ(ReadLines(a + "\nnext\n", 2), (std::vector<std::string>{a, "next"}));
  EXPECT_EQ(ReadLines(a + "\r\nnext\n", 2), (std::vector<std::string>{a, "next"}));
  // Across the reader's 4096-byte chunks.
  std::string big(5000, 'z');
  auto pieces = ReadLines(big + "\nend", 21);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(pieces[i].size(), 254u) << i;
  EXPECT_EQ(pieces[19], std::string(5000 - 19 * 254, 'z'));
  EXPECT_EQ(pieces[20], "end");
}

TEST(ReadLine, ReadErrorLosesTheLineBeingRead) {
  // 101-byte lines: the 41st straddles the reader's first 4096-byte chunk.
  std::string content;
  for (int i = 0; i < 45; ++i) content += std::string(100, static_cast<char>('A' + i % 26)) + "\n";
  testsupport::TempDir dir;
  testsupport::WriteTextFile(dir / "f.txt", content);
  platform::FaultInjectingFileSystem files(platform::PosixFileSystem());
  files.FailFrom(platform::FaultInjectingFileSystem::Op::Read, 2);
  TextFile file(files, dir / "f.txt");
  ASSERT_TRUE(file.IsOpen());
  for (int i = 0; i < 40; ++i) EXPECT_EQ(ReadLine(file), std::string(100, static_cast<char>('A' + i % 26))) << i;
  EXPECT_EQ(ReadLine(file), "");  // not the part before the failed read
  EXPECT_EQ(ReadLine(file), "");
}

TEST(ReadLine, UnopenedFileReadsEmpty) {
  TextFile file(platform::PosixFileSystem(), "/nonexistent/dir/file.DAT");
  EXPECT_FALSE(file.IsOpen());
  EXPECT_EQ(ReadLine(file), "");
}

TEST(StripVersion, RemovesDotsAndCommasAndEmptiesZero) {
  EXPECT_EQ(StripVersion("6.0.1"), "601");
  EXPECT_EQ(StripVersion("6,12"), "612");
  EXPECT_EQ(StripVersion("6..0"), "60");
  EXPECT_EQ(StripVersion("0"), "");
  EXPECT_EQ(StripVersion("0.0"), "00");
  EXPECT_EQ(StripVersion("V6.0a"), "V60a");
}

TEST(StrToInt, AcceptsDecimalAndHexadecimalForms) {
  struct Case {
    const char* text;
    int32_t value;
  } cases[] = {{"610", 610},         {"  -42", -42},         {"+7", 7},          {"$1F", 31},
               {"x1f", 31},          {"X10", 16},            {"0x262", 610},     {"0X10", 16},
               {"-$10", -16},        {"2147483647", 2147483647}, {"-2147483648", INT32_MIN},
               {"$FFFFFFFF", -1},    {"0600", 600}};
  for (const auto& c : cases) EXPECT_EQ(StrToInt(c.text), c.value) << c.text;
}

TEST(StrToInt, RejectsEverythingElse) {
  for (const char* text : {"", " ", "61a", "6.1", "610 ", "\t610", "$", "0x", "--1", "2147483648",
                           "-2147483649", "$100000000", "1e3"}) {
    EXPECT_THROW(StrToInt(text), EConvertError) << '"' << text << '"';
  }
}

TEST(ScanInteger, ReadsLikePercentI) {
  struct Case {
    const char* text;
    std::optional<int32_t> value;
  } cases[] = {{"605", 605},   {"0600", 384},  {"0x262", 610}, {"  610abc", 610}, {"-12", -12},
               {"0", 0},       {"09", 0},      {"0xg", 0},     {"62", 62},        {"", std::nullopt},
               {"V60", std::nullopt}, {"-", std::nullopt}, {"99999999999", INT32_MAX}};
  for (const auto& c : cases) EXPECT_EQ(ScanInteger(c.text), c.value) << c.text;
}

}  // namespace
