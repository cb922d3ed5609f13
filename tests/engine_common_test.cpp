// The code both engines share at their boundary: the callback record, the rule
// for what stops an engine, and the one mapping of failures at the entry points.
#include <gtest/gtest.h>

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "engines/ZipEngineApi.h"
#include "engines/common/EngineCallback.h"
#include "engines/common/EngineError.h"
#include "engines/common/EntryGuard.h"

namespace {

struct Seen {
  ZCallBackStruct record;
  std::string text;
};

// What the test's callback function sees and answers; one per test.
struct Script {
  std::vector<Seen> calls;
  std::vector<int32_t> answers;  // consumed in order; 0 once used up
  bool throwOnMessage = false;
};
Script* script = nullptr;

int32_t Answer(ZCallBackStruct* r) {
  script->calls.push_back({*r, std::string(r->FileNameOrMsg)});
  if (script->throwOnMessage && r->ActionCode == kActionMessage)
    throw std::runtime_error("handler failed");
  if (script->calls.size() > script->answers.size()) return 0;
  return script->answers[script->calls.size() - 1];
}

class EngineCommonTest : public ::testing::Test {
 protected:
  void SetUp() override { script = &s; }
  void TearDown() override { script = nullptr; }
  Script s;
  int owner = 0;
};

TEST_F(EngineCommonTest, AnyNonZeroAnswerStopsTheEngineForTheRestOfTheRun) {
  struct Case {
    int32_t answer;
    bool goesOn;
  };
  for (Case c :
       {Case{0, true}, Case{1, false}, Case{2, false}, Case{-1, false}, Case{0x10000, false}}) {
    SCOPED_TRACE(c.answer);
    s = {};
    s.answers = {c.answer, 0, 0};
    engine::EngineCallback callback(Answer, &owner, 0, false);
    EXPECT_EQ(callback.Progress(kActionBytesDone, 5), c.goesOn);
    // A later "go on" never takes a stop back.
    EXPECT_EQ(callback.Progress(kActionBytesDone, 6), c.goesOn);
    EXPECT_EQ(callback.Stopped(), !c.goesOn);
    if (c.goesOn) {
      EXPECT_NO_THROW(callback.ThrowIfStopped());
    } else {
      try {
        callback.ThrowIfStopped();
        ADD_FAILURE() << "no EngineError";
      } catch (const engine::EngineError& e) {
        EXPECT_EQ(e.Code(), kEngineAborted);
      }
    }
  }
}

TEST_F(EngineCommonTest, TheRecordCarriesCallerHandleVersionAndAClippedText) {
  struct Case {
    bool compressing;
    int32_t action;
    std::string text;
    uint32_t zipFlag;
    std::string seenText;
  };
  const std::string longText(400, 'n');
  const Case cases[] = {
      {false, kActionPassword, "a.txt", 0, "a.txt"},
      {true, kActionPassword, "a.txt", 1, "a.txt"},
      {true, kActionMemberBegin, "dir/b.txt", 0, "dir/b.txt"},  // only password requests are marked
      {false, kActionMessage, longText, 0, longText.substr(0, 255)},
  };
  for (const Case& c : cases) {
    s = {};
    engine::EngineCallback callback(Answer, &owner, 77, c.compressing);
    callback.Call(c.action, 3, 99, c.text);
    ASSERT_EQ(s.calls.size(), 1u);
    const ZCallBackStruct& r = s.calls[0].record;
    EXPECT_EQ(r.Caller, &owner);
    EXPECT_EQ(r.Handle, 77u);
    EXPECT_EQ(r.Version, 160u);
    EXPECT_EQ(r.IsOperationZip, c.zipFlag);
    EXPECT_EQ(r.ActionCode, c.action);
    EXPECT_EQ(r.ErrorCode, 3);
    EXPECT_EQ(r.FileSize, 99);
    EXPECT_EQ(s.calls[0].text, c.seenText);
    EXPECT_EQ(r.FileNameOrMsg[kCallbackCommentOffset],
              '\0');  // nothing of the text spills into the comment
  }
}

TEST_F(EngineCommonTest, WithoutAFunctionEveryDefaultAnswerStands) {
  engine::EngineCallback callback(nullptr, &owner, 0, false);
  EXPECT_FALSE(callback.HasFunction());
  EXPECT_TRUE(callback.Call(kActionOverwrite, 0x10002, 1, "x"));
  EXPECT_EQ(callback.Answer().FileSize, 1);
  EXPECT_EQ(callback.Answer().ErrorCode, 0x10002);
  EXPECT_EQ(callback.AnswerText(), "x");
  EXPECT_FALSE(callback.Stopped());
}

TEST_F(EngineCommonTest, TheGuardMapsEveryFailureToOneMessageAndTheBatchEnd) {
  struct Case {
    const char* name;
    std::function<int32_t()> body;
    int32_t code;
    std::string text;
  };
  const Case cases[] = {
      {"engine error",
       []() -> int32_t { throw engine::EngineError(kEngineOpenError, "Cannot open a.zip"); },
       kEngineOpenError, "Cannot open a.zip"},
      {"no memory", []() -> int32_t { throw std::bad_alloc(); }, kEngineNoMemory,
       "Not enough memory"},
      {"library failure", []() -> int32_t { throw std::out_of_range("index 9"); },
       kEngineUnexpected, "Unexpected failure: index 9"},
      {"anything else", []() -> int32_t { throw 42; }, kEngineUnexpected, "Unexpected failure"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    s = {};
    engine::EngineCallback callback(Answer, &owner, 0, false);
    EXPECT_EQ(engine::GuardedEntry(callback, c.body), 0);
    ASSERT_EQ(s.calls.size(), 2u);
    EXPECT_EQ(s.calls[0].record.ActionCode, kActionMessage);
    EXPECT_EQ(s.calls[0].record.ErrorCode, c.code);
    EXPECT_EQ(s.calls[0].text, c.text);
    EXPECT_EQ(s.calls[1].record.ActionCode, kActionBatchEnd);
  }
}

TEST_F(EngineCommonTest, TheGuardPassesResultsThroughAndSurvivesAThrowingHandler) {
  engine::EngineCallback callback(Answer, &owner, 0, false);
  EXPECT_EQ(engine::GuardedEntry(callback, [] { return 12; }), 12);
  EXPECT_TRUE(s.calls.empty());

  s.throwOnMessage = true;
  int32_t result = -1;
  EXPECT_NO_THROW(result = engine::GuardedEntry(callback, []() -> int32_t {
                    throw engine::EngineError(kEngineReadError, "x");
                  }));
  EXPECT_EQ(result, 0);
  EXPECT_EQ(s.calls.size(), 1u);  // the failed report ends the call: no batch end after it
}

}  // namespace
