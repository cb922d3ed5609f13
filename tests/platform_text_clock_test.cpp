// Code pages (CP850 and UTF-8 both ways) and the clock's MS-DOS dates and times.
#include <gtest/gtest.h>

#include <ctime>

#include "platform/Clock.h"
#include "platform/CodePage.h"
#include "platform/Env.h"
#include "tests/support/TempDir.h"

namespace {

using namespace platform;

TEST(CodePageTest, EveryHighByteRoundTrips) {
  for (int b = 0x80; b <= 0xFF; ++b) {
    std::string oem(1, static_cast<char>(b));
    std::string text = OemToChar(oem);
    EXPECT_GE(text.size(), 2u) << b;
    EXPECT_EQ(text, Cp850Char(static_cast<unsigned char>(b))) << b;
    EXPECT_EQ(CharToOem(text), oem) << b;
  }
  std::string all;
  for (int b = 1; b <= 0xFF; ++b) all += static_cast<char>(b);
  EXPECT_EQ(CharToOem(OemToChar(all)), all);
}

TEST(CodePageTest, KnownCharacters) {
  EXPECT_EQ(OemToChar("\x81"), "\xc3\xbc");      // ü
  EXPECT_EQ(OemToChar("\x9c"), "\xc2\xa3");      // £
  EXPECT_EQ(OemToChar("\xb0"), "\xe2\x96\x91");  // ░
  EXPECT_EQ(OemToChar("\xff"), "\xc2\xa0");      // no-break space
  EXPECT_EQ(OemToChar("Gr\x81\xe1"
                      "e.txt"),
            "Gr\xc3\xbc\xc3\x9f"
            "e.txt");
  EXPECT_EQ(CharToOem("Gr\xc3\xbc\xc3\x9f"
                      "e.txt"),
            "Gr\x81\xe1"
            "e.txt");
  EXPECT_EQ(OemToChar("plain ASCII\t\n"), "plain ASCII\t\n");
}

TEST(CodePageTest, CharactersThatCp850LacksBecomeUnderscores) {
  EXPECT_EQ(CharToOem("\xe2\x82\xac"), "_");  // €
  EXPECT_EQ(CharToOem("a\xe6\x97\xa5\xe6\x9c\xac"
                      "b"),
            "a__b");                              // 日本
  EXPECT_EQ(CharToOem("\xf0\x9f\x98\x80"), "_");  // an emoji (4 bytes)
  // Bytes that are no UTF-8 are taken as CP850 already.
  EXPECT_EQ(CharToOem("\x81x\xe1"), "\x81x\xe1");
  EXPECT_TRUE(IsAscii("abc~"));
  EXPECT_FALSE(IsAscii("ab\x80"));
}

TEST(Utf16Test, UnitsToUtf8) {
  struct Case {
    std::u16string units;
    std::string utf8;
  } cases[] = {
      {u"", ""},
      {u"A\u00e9\u20ac", "A\xc3\xa9\xe2\x82\xac"},
      {{0xD83D, 0xDE00}, "\xf0\x9f\x98\x80"},          // a surrogate pair
      {{0xD83D, u'x'}, "\xef\xbf\xbdx"},                // high surrogate alone
      {{0xDE00, 0xD83D}, "\xef\xbf\xbd\xef\xbf\xbd"},  // pair in the wrong order
      {{u'a', 0xD83D}, "a\xef\xbf\xbd"},                // cut off after a high surrogate
  };
  for (const Case& c : cases) EXPECT_EQ(Utf16ToUtf8(c.units), c.utf8) << c.utf8;
}

TEST(Utf16Test, Utf8DecodesAndEncodesBothWays) {
  for (uint32_t cp : {0x41u, 0xE9u, 0x7FFu, 0x800u, 0xFFFFu, 0x10000u, 0x1F600u, 0x10FFFFu}) {
    std::string text;
    AppendUtf8(text, cp);
    uint32_t back = 0;
    EXPECT_EQ(DecodeUtf8(text, 0, back), text.size()) << cp;
    EXPECT_EQ(back, cp);
    std::u16string units;
    AppendUtf16(units, cp);
    EXPECT_EQ(units.size(), cp >= 0x10000 ? 2u : 1u);
    EXPECT_EQ(Utf16ToUtf8(units), text);
  }
  uint32_t cp = 0;
  EXPECT_EQ(DecodeUtf8("\x80", 0, cp), 0u) << "continuation byte first";
  EXPECT_EQ(DecodeUtf8("\xc3", 0, cp), 0u) << "cut short";
  EXPECT_EQ(DecodeUtf8("\xe2\x28\xa1", 0, cp), 0u) << "bad continuation";
  EXPECT_EQ(DecodeUtf8("\xf8\x80\x80\x80\x80", 0, cp), 0u) << "five-byte lead";
}

// The conversions use local time: the tests fix the time zone (and the C
// library re-reads it on tzset, also after the fixture restored the old TZ).
struct ClockTest : ::testing::Test {
  struct TzsetOnExit {
    ~TzsetOnExit() { tzset(); }
  } tzsetOnExit;
  testsupport::ScopedEnv tz{"TZ", "UTC"};
  void SetUp() override { tzset(); }
};

TEST_F(ClockTest, UnixAndDosTimesConvertBothWays) {
  const int64_t t = 1582983930;  // 2020-02-29 13:45:30 UTC
  const uint32_t dos = (0x505Du << 16) | 0x6DAFu;
  EXPECT_EQ(UnixToDosDateTime(t), dos);
  EXPECT_EQ(DosDateTimeToUnix(dos), t);
  EXPECT_EQ(UnixToDosDateTime(t + 1), dos);  // two-second resolution
  for (int64_t u :
       {int64_t{315532800}, int64_t{1000000000}, int64_t{1700000000}, int64_t{4102444798}})
    EXPECT_EQ(DosDateTimeToUnix(UnixToDosDateTime(u)), u) << u;
}

TEST_F(ClockTest, TimesBefore1980BecomeItsFirstSecond) {
  EXPECT_EQ(UnixToDosDateTime(0), 0x00210000u);
  EXPECT_EQ(UnixToDosDateTime(315532799), 0x00210000u);
  EXPECT_EQ(UnixToDosDateTime(315532800), 0x00210000u);
  EXPECT_EQ(DosDateTimeToUnix(0x00210000u), 315532800);
  EXPECT_EQ(DosDateTimeToUnix(0), 315532800);  // no month or day: taken as January 1st
}

TEST_F(ClockTest, TheYearStopsAt2107) {
  EXPECT_EQ(UnixToDosDateTime(7258118400) >> 25, 127u);  // 2200-01-01
}

TEST_F(ClockTest, LocalTimeIsUsed) {
  testsupport::ScopedEnv east("TZ", "UTC-2");  // two hours ahead of UTC
  tzset();
  EXPECT_EQ(UnixToDosDateTime(1582983930) & 0xFFFF, (15u << 11) | (45u << 5) | 15u);
  EXPECT_EQ(DosDateTimeToUnix((0x505Du << 16) | (15u << 11) | (45u << 5) | 15u), 1582983930);
}

TEST_F(ClockTest, NowIsTheCurrentLocalTime) {
  Clock& clock = *DefaultEnv().clock;
  uint32_t before = UnixToDosDateTime(static_cast<int64_t>(std::time(nullptr)));
  uint32_t now = clock.NowDosDateTime();
  uint32_t after = UnixToDosDateTime(static_cast<int64_t>(std::time(nullptr)));
  EXPECT_LE(before, now);
  EXPECT_LE(now, after);
}

}  // namespace
