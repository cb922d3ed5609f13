// Member names matched ignoring letter case by the locale's rules, non-ASCII
// letters included: the component's lookup and the engines' wildcards.
#include <gtest/gtest.h>

#include "zipformat/Wildcard.h"
#include "zipformat/TextCase.h"
#include "tests/support/RecordingEngineFixture.h"
#include "zipbuilder/core/ZipErrors.h"

namespace {

TEST(NameMatchingTest, WildcardsAndLookupIgnoreCaseBeyondAscii) {
  const struct {
    const char* pattern;
    const char* name;
    bool matches;
  } cases[] = {
      {"ÄRGER.TXT", "ärger.txt", true},
      {"straße/*", "STRASSE/x", false},  // no expansion: one character stays one
      {"ΣΟΦΊΑ?", "σοφίαx", true},
      {"пример.*", "ПРИМЕР.doc", true},
      {"d?r/a", "dér/a", true},   // "?" is one character, two bytes here
      {"d?r/a", "d/r/a", false},  // and never a separator
      {"Ä*", "a", false},
      {"*.TXT", "x\\Y.txt", true},
      {"x\xff?", "X\xffz", true},  // bytes that are not UTF-8 still match themselves
      {"x\xfe", "x\xff", false},
      {"Dir\\File.TXT", "dir\\file.txt", true},  // ASCII, compared in place
      {"a[b", "A{B", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.pattern) + " / " + c.name);
    EXPECT_EQ(zip::WildcardMatch(c.pattern, c.name), c.matches);
    if (!zip::HasWildcards(c.pattern)) {
      EXPECT_EQ(zip::SameTextIgnoringCase(c.pattern, c.name), c.matches);
      if (c.matches) {
        EXPECT_EQ(zip::HashIgnoringCase(c.pattern), zip::HashIgnoringCase(c.name));
      }
      // The member table of spanning finds its entries by the same rule.
      auto table = TZipBuilder::AllocSpanMem(1);
      (*table)[0]->FileName = c.name;
      (*table)[0]->FileNameLen = static_cast<uint16_t>(std::string(c.name).size());
      const std::string pattern = c.pattern;
      int found = -1;
      try {
        found = TZipBuilder::FindZipEntry(1, *table, pattern, static_cast<int>(pattern.size()));
      } catch (const EZipBuilder&) {
      }
      EXPECT_EQ(found == 0, c.matches);
    }
  }
}

// Where a name part is found, in bytes of the text, for ASCII texts (folded
// byte by byte) and for texts with other characters alike.
TEST(NameMatchingTest, FindIgnoringCaseGivesTheByteSpan) {
  const struct {
    const char* text;
    const char* part;
    int at, length;  // at -1: not found
  } cases[] = {
      {"Dir\\Sub\\File.TXT", "sub\\", 4, 4},
      {"dir\\file.txt", "FILE.TXT", 4, 8},
      {"abcabc", "CA", 2, 2},
      {"abc", "abcd", -1, 0},
      {"", "a", -1, 0},
      {"abc", "", -1, 0},
      {"a[z]", "A[Z]", 0, 4},  // only letters fold: '[' is not '{'
      {"a{z}", "A[Z]", -1, 0},
      {"äb/Cd", "cD", 4, 2},  // after a two-byte character
      {"xy/ÄRGER", "ärger", 3, 6},
      {"x\xff" "Ab", "aB", 2, 2},  // a byte that is not UTF-8 before
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " / " + c.part);
    const auto found = zip::FindIgnoringCase(c.text, c.part);
    ASSERT_EQ(found.has_value(), c.at >= 0);
    if (!found) continue;
    EXPECT_EQ(found->at, static_cast<size_t>(c.at));
    EXPECT_EQ(found->length, static_cast<size_t>(c.length));
  }
}

struct ComponentLookupTest : testsupport::RecordingEngineFixture {};

TEST_F(ComponentLookupTest, ExtractFileToStreamFindsANonAsciiNameInAnotherCase) {
  testsupport::TestMember member("Ärger/Übel.txt", "data");
  member.flags = 0x0800;  // stored as UTF-8
  PrepareArchive({member});
  recording::Config config;
  config.result = 1;
  config.outputData = {'d', 'a', 't', 'a'};
  engine.Configure(config);
  zip.SetFileName(archive);
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_NE(zip.ExtractFileToStream("äRGER\\üBEL.TXT"), nullptr);
  EXPECT_EQ(engine.Execs().size(), 1u);
}

}  // namespace
