// The engine callback: every action, its answers and the events it raises.
#include <gtest/gtest.h>

#include <cstring>

#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

struct CallbackTest : ::testing::Test {
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};

  ZCallBackStruct Record(int action, int32_t first = 0, intptr_t second = 0, const std::string& text = "") {
    ZCallBackStruct r;
    std::memset(&r, 0, sizeof r);
    r.Caller = &zip;
    r.ActionCode = action;
    r.ErrorCode = first;
    r.FileSize = second;
    std::memcpy(r.FileNameOrMsg, text.data(), text.size());
    return r;
  }
  int32_t Call(ZCallBackStruct& r) { return TZipBuilder::ZCallback(&r); }
};

TEST_F(CallbackTest, ProgressActionsRaiseOnProgressWithCleanedNames) {
  struct Seen {
    ProgressType type;
    std::string name;
    int64_t size;
  };
  std::vector<Seen> seen;
  zip.OnProgress = [&](TZipBuilder*, ProgressType t, const std::string& n, int64_t s) { seen.push_back({t, n, s}); };
  struct Case {
    int action;
    ProgressType type;
    std::string name;
    int64_t size;
  } cases[] = {{1, ptMemberBegin, "dir\\sub\\a.txt", 1234},
               {2, ptBytesDone, "", 1234},
               {3, ptBatchEnd, "", 0},
               {5, ptMemberCount, "", 1234},
               {6, ptTotalBytes, "", 1234}};
  for (const auto& c : cases) {
    auto r = Record(c.action, 0, 1234, "dir/sub/a.txt  \t\r\n");
    EXPECT_EQ(Call(r), 0);
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().type, c.type);
    EXPECT_EQ(seen.back().name, c.name);
    EXPECT_EQ(seen.back().size, c.size);
  }
  EXPECT_EQ(seen.size(), 5u);
  EXPECT_EQ(ui.processMessagesCalls, 5);
}

TEST_F(CallbackTest, MessageKeepsTheLowByteSignedInErrCode) {
  std::vector<std::pair<int, std::string>> events;
  zip.OnMessage = [&](TZipBuilder*, int code, const std::string& text) { events.push_back({code, text}); };
  struct Case {
    int32_t first;
    int32_t errCode;
    int32_t engineErrCode;
  } cases[] = {{300, 44, 300}, {128, -128, 128}, {200, -56, 200}, {5, 5, 5}};
  for (const auto& c : cases) {
    auto r = Record(kActionMessage, c.first, 0, "bad/thing ");
    Call(r);
    EXPECT_EQ(zip.ErrCode(), c.errCode) << c.first;
    EXPECT_EQ(zip.EngineErrCode(), c.engineErrCode);
    EXPECT_EQ(zip.Message(), "bad\\thing");
    EXPECT_EQ(events.back(), (std::pair<int, std::string>{c.first, "bad\\thing"}));
  }
  // Code 0: ErrCode and EngineErrCode stay, the message is replaced.
  auto r = Record(kActionMessage, 0, 0, "just information");
  Call(r);
  EXPECT_EQ(zip.ErrCode(), 5);
  EXPECT_EQ(zip.EngineErrCode(), 5);
  EXPECT_EQ(zip.Message(), "just information");
  EXPECT_EQ(events.back().first, 0);
}

TEST_F(CallbackTest, NewNameSeesTheRawTextAndWritesTheAnswerBack) {
  auto r = Record(kActionNewName, 7, 0, "a/b.txt ");
  Call(r);
  EXPECT_EQ(r.ErrorCode, 7) << "without a handler the record stays as it came";

  std::string seenName;
  zip.OnSetNewName = [&](TZipBuilder*, std::string& name, bool& changed) {
    seenName = name;
    name = std::string(600, 'n');
    changed = true;
  };
  r = Record(kActionNewName, 0, 0, "a/b.txt ");
  Call(r);
  EXPECT_EQ(seenName, "a/b.txt ");
  EXPECT_EQ(r.ErrorCode, 1);
  EXPECT_EQ(std::string(r.FileNameOrMsg), std::string(512, 'n'));

  zip.OnSetNewName = [](TZipBuilder*, std::string& name, bool&) { name = "ignored"; };
  r = Record(kActionNewName, 1, 0, "keep");
  Call(r);
  EXPECT_EQ(r.ErrorCode, 0);
  EXPECT_STREQ(r.FileNameOrMsg, "keep");
}

TEST_F(CallbackTest, PasswordHandlerVariants) {
  struct Case {
    const char* name;
    std::string newPassword;
    uint32_t repeat;
    TPasswordButton action;
    int32_t first;
    intptr_t second;
    int actionCode;
    int32_t returned;
  } cases[] = {
      {"handler does nothing", "", 3, pwbOk, 0, 0, kActionPassword, 0},
      {"password, 20 repeats", "secret", 20, pwbOk, 1, 15, kActionPassword, 0},
      {"password, 4 repeats", "secret", 4, pwbOk, 1, 4, kActionPassword, 0},
      {"cancel drops the password", "secret", 4, pwbCancel, 0, 0, kActionPassword, 0},
      {"cancel all", "secret", 4, pwbCancelAll, 0, 0, 0, 0},
      {"abort", "", 4, pwbAbort, 0, 0, kActionPassword, 1},
  };
  for (const auto& c : cases) {
    zip.Cancel = false;
    bool seenZip = true;
    std::string seenFile;
    zip.OnPasswordError = [&](TZipBuilder*, bool isZip, std::string& pw, const std::string& forFile, uint32_t& rep,
                              TPasswordButton& act) {
      seenZip = isZip;
      seenFile = forFile;
      EXPECT_EQ(rep, 2u);
      pw = c.newPassword;
      if (c.repeat != 3) rep = c.repeat;
      act = c.action;
    };
    auto r = Record(kActionPassword, 0, 2, "dir/enc.txt");
    EXPECT_EQ(Call(r), c.returned) << c.name;
    EXPECT_FALSE(seenZip);
    EXPECT_EQ(seenFile, "dir\\enc.txt");
    EXPECT_EQ(r.ErrorCode, c.first) << c.name;
    EXPECT_EQ(r.FileSize, c.second) << c.name;
    EXPECT_EQ(r.ActionCode, c.actionCode) << c.name;
    if (c.first == 1) {
      EXPECT_STREQ(r.FileNameOrMsg, "secret");
    }
  }
  // After abort every further call returns 1.
  auto r = Record(kActionBytesDone, 0, 10);
  EXPECT_EQ(Call(r), 1);
}

TEST_F(CallbackTest, LongPasswordIsCutTo81Characters) {
  zip.OnPasswordError = [](TZipBuilder*, bool, std::string& pw, const std::string&, uint32_t&, TPasswordButton&) {
    pw = std::string(100, 'p');
  };
  auto r = Record(kActionPassword, 0, 1, "x");
  r.IsOperationZip = 1;
  Call(r);
  EXPECT_EQ(std::string(r.FileNameOrMsg), std::string(81, 'p'));
}

TEST_F(CallbackTest, PasswordWithoutHandlerAsksTheDialog) {
  ui.passwordAnswers.push_back({ui::kIdOk, "typed"});
  auto r = Record(kActionPassword, 0, 3, "enc.txt");
  Call(r);
  ASSERT_EQ(ui.passwordDialogs.size(), 1u);
  EXPECT_EQ(ui.passwordDialogs[0].buttons.size(), 3u) << "extract password: OK, Cancel, Cancel all";
  EXPECT_EQ(r.ErrorCode, 1);
  EXPECT_EQ(r.FileSize, 3);
  EXPECT_STREQ(r.FileNameOrMsg, "typed");
  EXPECT_EQ(zip.Password, "") << "a password asked for by the engine is not kept";

  ui.passwordAnswers.push_back({9, ""});
  r = Record(kActionPassword, 0, 3, "enc.txt");
  Call(r);
  EXPECT_EQ(r.ActionCode, 0) << "cancel all";
  EXPECT_EQ(r.ErrorCode, 0);
  EXPECT_EQ(r.FileSize, 0);

  // Bit 0 of the first value: a password for adding, asked twice.
  ui.passwordAnswers.push_back({ui::kIdOk, "pw"});
  ui.passwordAnswers.push_back({ui::kIdOk, "pw"});
  r = Record(kActionPassword, 1, 1, "new.txt");
  Call(r);
  EXPECT_EQ(ui.passwordDialogs.size(), 4u);
  EXPECT_EQ(ui.passwordDialogs[2].buttons.size(), 2u);
  EXPECT_STREQ(r.FileNameOrMsg, "pw");
}

TEST_F(CallbackTest, CrcErrorAnswers) {
  auto r = Record(kActionCrcError, 0x1234, 0x5678, "a.txt");
  Call(r);
  EXPECT_EQ(r.ErrorCode, 2) << "no handler";

  uint32_t found = 0, expected = 0;
  zip.OnCRC32Error = [&](TZipBuilder*, const std::string&, uint32_t f, uint32_t e, bool& doExtract) {
    found = f;
    expected = e;
    EXPECT_TRUE(doExtract);
    doExtract = false;
  };
  r = Record(kActionCrcError, static_cast<int32_t>(0xCAFEBABE), 0x5678, "a.txt");
  Call(r);
  EXPECT_EQ(found, 0xCAFEBABEu);
  EXPECT_EQ(expected, 0x5678u);
  EXPECT_EQ(r.ErrorCode, 0);
}

TEST_F(CallbackTest, OverwriteQuestion) {
  auto r = Record(kActionOverwrite, (1 << 16) | 7, 1, "a.txt");
  Call(r);
  EXPECT_EQ(r.FileSize, 1) << "no handler: left as asked";

  bool older = false;
  int index = -1;
  zip.OnExtractOverwrite = [&](TZipBuilder*, const std::string&, bool isOlder, bool& doOverwrite, int dirIndex) {
    older = isOlder;
    index = dirIndex;
    EXPECT_TRUE(doOverwrite);
    doOverwrite = false;
  };
  Call(r);
  EXPECT_TRUE(older);
  EXPECT_EQ(index, 7);
  EXPECT_EQ(r.FileSize, 0);
}

TEST_F(CallbackTest, SkippedMemberReportsItsReason) {
  std::vector<std::tuple<std::string, UnZipSkipTypes, int>> skips;
  zip.OnExtractSkipped = [&](TZipBuilder*, const std::string& f, UnZipSkipTypes t, int e) { skips.push_back({f, t, e}); };
  auto r = Record(kActionSkipped, kEngineUnsafeName, 0x100 | kSkipUnsafeName, "../evil ");
  Call(r);
  r = Record(kActionSkipped, 0, kSkipOnFreshen, "b");
  Call(r);
  ASSERT_EQ(skips.size(), 2u);
  EXPECT_EQ(skips[0], std::make_tuple(std::string("..\\evil"), stUnsafeName, kEngineUnsafeName));
  EXPECT_EQ(skips[1], std::make_tuple(std::string("b"), stOnFreshen, 0));
  EXPECT_EQ(zip.ErrCode(), kEngineUnsafeName) << "code 0 leaves ErrCode";
}

TEST_F(CallbackTest, CommentIsReadAtItsOffsetAndAnswered) {
  auto r = Record(kActionComment, 0, 0, "a.txt");
  std::strcpy(r.FileNameOrMsg + kCallbackCommentOffset, "old comment");
  std::string seen;
  zip.OnFileComment = [&](TZipBuilder*, const std::string&, std::string& comment, bool& changed) {
    seen = comment;
    comment = std::string(600, 'c');
    changed = true;
  };
  Call(r);
  EXPECT_EQ(seen, "old comment");
  EXPECT_EQ(r.ErrorCode, 1);
  EXPECT_EQ(r.FileSize, 511);
  EXPECT_EQ(std::string(r.FileNameOrMsg), std::string(511, 'c'));

  zip.OnFileComment = [](TZipBuilder*, const std::string&, std::string&, bool&) {};
  r = Record(kActionComment, 0, 0, "a.txt");
  std::strcpy(r.FileNameOrMsg + kCallbackCommentOffset, "kept");
  Call(r);
  EXPECT_EQ(r.ErrorCode, 0);
  EXPECT_EQ(r.FileSize, 4);
  EXPECT_STREQ(r.FileNameOrMsg, "");
}

TEST_F(CallbackTest, OutputMemoryComesFromTheComponentStream) {
  auto r = Record(kActionOutputMemory, 0, 1000);
  Call(r);
  EXPECT_EQ(zip.ZipStream().Size(), 1000);
  EXPECT_EQ(r.FileSize, reinterpret_cast<intptr_t>(zip.ZipStream().Memory()));
  EXPECT_EQ(r.ErrorCode, 0);

  r = Record(kActionOutputMemory, 0, -5);
  Call(r);
  EXPECT_EQ(r.ErrorCode, 1);
  EXPECT_EQ(r.FileSize, 0);
}

TEST_F(CallbackTest, HandlerExceptionStopsTheEngineInsteadOfUnwindingThroughIt) {
  zip.OnProgress = [](TZipBuilder*, ProgressType, const std::string&, int64_t) { throw std::runtime_error("boom"); };
  auto r = Record(kActionMemberBegin, 0, 1, "a");
  EXPECT_EQ(Call(r), 1);
  EXPECT_TRUE(zip.Cancel);
}

}  // namespace
