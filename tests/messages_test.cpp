// The message table, EZipBuilder and the three reporting operations.
#include <gtest/gtest.h>

#include <sstream>

#include "ui/ConsoleUi.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/core/ZipMessageTable.h"

namespace {

struct MessagesTest : ::testing::Test {
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  std::vector<std::pair<int, std::string>> events;
  void SetUp() override {
    zip.OnMessage = [this](TZipBuilder*, int code, const std::string& text) { events.emplace_back(code, text); };
  }
};

TEST(MessageTable, HoldsAllHundredAndOneEntries) {
  EXPECT_EQ(ZipMessageCount(), 108);
  EXPECT_STREQ(FindZipMessage(10101), "Fatal Error in ZipDLL.DLL: abort exception");
  EXPECT_STREQ(FindZipMessage(11047), "Central directory");
  EXPECT_STREQ(FindZipMessage(10104), "Error - passwords do NOT match\nPassword ignored");
  EXPECT_EQ(FindZipMessage(10999), nullptr);
}

// A box on the console: caption and text reach the terminal escaped.
TEST(ConsoleUiTest, BoxesAreEscaped) {
  std::ostringstream captured;
  auto* old = std::cerr.rdbuf(captured.rdbuf());
  ui::ConsoleUi console;
  console.MessageBox("a\x1b[2Jb\nnext", "cap\x1b]0;t\x07", ui::kMbOk);
  std::cerr.rdbuf(old);
  EXPECT_EQ(captured.str(), "cap\\x1b]0;t\\x07: a\\x1b[2Jb\nnext\n");
}

TEST_F(MessagesTest, ShowZipMessageShowsRecordsAndRaisesOnMessage) {
  zip.ShowZipMessage(10203, "");
  ASSERT_EQ(ui.boxes.size(), 1u);
  EXPECT_EQ(ui.boxes[0].text, "Warning - Error in zip structure!");
  EXPECT_EQ(zip.ErrCode(), 10203);
  EXPECT_EQ(zip.Message(), "Warning - Error in zip structure!");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0], std::make_pair(0, std::string("Warning - Error in zip structure!")));
}

TEST_F(MessagesTest, UnattendedReportsShowNoBox) {
  zip.Unattended = true;
  zip.ShowZipMessage(10203, "");
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(zip.ErrCode(), 10203);
  EXPECT_EQ(events.size(), 1u);
}

TEST_F(MessagesTest, MissingIdentifierGivesTheFallbackText) {
  zip.ShowZipMessage(10999, "!");
  EXPECT_EQ(zip.Message(),
            "ZipMsgxx.res is probably not linked to the executable\nMissing String ID is: 10999!");
  EXPECT_EQ(zip.LoadZipStr(10999, "dflt"), "dflt");
  EXPECT_EQ(std::string(EZipBuilder(10999, 3).what()),
            "ZipMsgxx.res is probably not linked to the executable\nMissing String ID is: 10999");
}

TEST_F(MessagesTest, UnexpectedErrorTextFollowsAnEmptyLine) {
  zip.ShowZipMessage(10202, "\nboom");
  EXPECT_EQ(zip.Message(), "Unknown error in List() function\n\nboom");
}

TEST(EZipBuilderTest, ConstructorsFormatTheirTemplates) {
  EXPECT_EQ(std::string(EZipBuilder(11038, 3).what()),
            "This is the 3th disk in a backup set,\nplease insert the last disk of this set");
  EXPECT_EQ(std::string(EZipBuilder(11003, std::string("Q:\\")).what()), "Not a valid drive: Q:\\");
  EXPECT_EQ(std::string(EZipBuilder(10182, std::string("a"), std::string("b")).what()),
            "Copying a file from 'a' to 'b' failed");
  EXPECT_EQ(std::string(EZipBuilder(10304, 7).what()), "Error 7 occurred during Auto SFX creation.");
  EZipBuilder plain(11001);
  EXPECT_TRUE(plain.DisplayMsg());
  EXPECT_EQ(plain.Ident(), 11001);
}

TEST_F(MessagesTest, HiddenExceptionSetsErrCodeWithoutABox) {
  zip.ShowExceptionError(EZipBuilder(11007, false));
  EXPECT_TRUE(ui.boxes.empty());
  EXPECT_EQ(zip.ErrCode(), 11007);
  EXPECT_EQ(zip.Message(), "User canceled operation");
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].first, 0);
}

TEST_F(MessagesTest, BoundaryReportsEachKindOfFailure) {
  int cleanups = 0;
  auto cleanup = [&] { ++cleanups; };
  zip.Unattended = true;
  EXPECT_FALSE(zip.RunReported(11024, [] { throw EZipBuilder(11013); }, cleanup));
  EXPECT_EQ(zip.ErrCode(), 11013);
  EXPECT_FALSE(zip.RunReported(11024, [] { throw std::bad_alloc(); }, cleanup));
  EXPECT_EQ(zip.ErrCode(), 10103);
  EXPECT_FALSE(zip.RunReported(11024, [] { throw std::runtime_error("disk gone"); }, cleanup));
  EXPECT_EQ(zip.ErrCode(), 11024);
  EXPECT_EQ(zip.Message(),
            "UnKnown error in function ReadSpan(), WriteSpan(), Rename() or CopyZippedFiles()\n\ndisk gone");
  EXPECT_FALSE(zip.RunReported(10202, [] { throw 42; }, cleanup));
  EXPECT_EQ(zip.Message(), "Unknown error in List() function\n");
  EXPECT_TRUE(zip.RunReported(10202, [] {}, cleanup));
  EXPECT_EQ(cleanups, 4);
}

}  // namespace
