// Operations started from an event handler while another runs on the same
// component, and event handlers that throw: the running operation keeps its
// state, its memory block and its result.
#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>

#include "tests/support/RecordingEngineFixture.h"

namespace {

struct NestedCall {
  const char* name;
  std::function<void(TZipBuilder&, TMemoryStream&)> call;
};

const NestedCall kNestedCalls[] = {
    {"Extract", [](TZipBuilder& z, TMemoryStream&) { z.Extract(); }},
    {"ExtractFileToStream",
     [](TZipBuilder& z, TMemoryStream&) { EXPECT_EQ(z.ExtractFileToStream("b.bin"), nullptr); }},
    {"ExtractStreamToStream",
     [](TZipBuilder& z, TMemoryStream& in) {
       EXPECT_EQ(z.ExtractStreamToStream(&in, 5), nullptr);
     }},
    {"Add", [](TZipBuilder& z, TMemoryStream&) { z.Add(); }},
    {"AddStreamToFile", [](TZipBuilder& z, TMemoryStream&) { z.AddStreamToFile("new.txt", 0, 0); }},
    {"AddStreamToStream",
     [](TZipBuilder& z, TMemoryStream& in) { EXPECT_EQ(z.AddStreamToStream(&in), nullptr); }},
    {"Delete", [](TZipBuilder& z, TMemoryStream&) { z.Delete(); }},
    {"SetZipComment", [](TZipBuilder& z, TMemoryStream&) { z.SetZipComment("replaced"); }},
};

struct ReentrancyTest : testsupport::RecordingEngineFixture {
  void SetUp() override {
    PrepareArchive({testsupport::TestMember("a.txt", "hello world"),
                    testsupport::TestMember("b.bin", "bbbbb")});
    zip.SetFileName(archive);
    ASSERT_EQ(zip.Count(), 2);
  }
  // The engine reports a failure, then announces a member; `onMember` runs in
  // the handler of that announcement. The engine returns 1 and fills 11 bytes.
  void Script(std::function<void()> onMember) {
    recording::Config config;
    config.result = 1;
    config.outputData.assign(kData.begin(), kData.end());
    config.script = {{kActionMessage, 300, 0, 0, "first failure", ""},
                     {kActionMemberBegin, 0, 11, 0, "a.txt", ""}};
    engine.Configure(config);
    zip.OnProgress = [onMember](TZipBuilder*, ProgressType type, const std::string&, int64_t) {
      if (type == ptMemberBegin) onMember();
    };
  }
  const std::string kData = "hello world";
  TMemoryStream input;
};

// Outer runs: one that hands the engine the component's stream memory, one that
// rewrites the archive. Every nested call must return without touching anything:
// not the errors, not Cancel (the handler set it, so the engine stops), not the
// stream the engine writes into after the callbacks, and it reaches no engine.
TEST_F(ReentrancyTest, NestedCallsReturnWithoutTouchingTheRunningOperation) {
  input.Write("12345", 5);
  for (bool outerExtracts : {true, false}) {
    for (const NestedCall& nested : kNestedCalls) {
      SCOPED_TRACE(std::string(outerExtracts ? "extracting, " : "adding, ") + nested.name);
      bool sawRunning = false;
      Script([&] {
        sawRunning = (zip.ZipRunning() || zip.UnzipRunning());
        zip.Cancel = true;
        nested.call(zip, input);
      });
      TZipStream* result = nullptr;
      if (outerExtracts) {
        result = zip.ExtractFileToStream("A.TXT");
      } else {
        zip.SetFSpecArgs({"a.txt"});
        zip.Add();
      }
      EXPECT_TRUE(sawRunning);
      EXPECT_EQ(engine.Execs().size(), 1u) << "the nested call reached an engine";
      EXPECT_EQ(zip.ErrCode(), 44) << zip.Message();
      EXPECT_EQ(zip.Message(), "first failure");
      EXPECT_EQ(zip.SuccessCount(), 1);
      ASSERT_EQ(engine.Played().size(), 2u);
      EXPECT_EQ(engine.Played()[1].returned, 1) << "Cancel was cleared by the nested call";
      if (outerExtracts) {
        ASSERT_EQ(result, &zip.ZipStream());
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(result->Memory()), result->Size()),
                  kData);
      }
      EXPECT_FALSE((zip.ZipRunning() || zip.UnzipRunning()));
      EXPECT_FALSE(zip.Cancel);
    }
  }
}

// A handler's exception ends the run as failed, whatever the engine returned:
// no count, no stream.
TEST_F(ReentrancyTest, HandlerExceptionLeavesNoCountAndNoStream) {
  input.Write("12345", 5);
  const struct {
    const char* name;
    std::function<TZipStream*()> run;
    int32_t errCode;
  } runs[] = {
      {"ExtractFileToStream", [&] { return zip.ExtractFileToStream("a.txt"); }, 10501},
      {"ExtractStreamToStream", [&] { return zip.ExtractStreamToStream(&input, 11); }, 10501},
      {"Extract",
       [&] {
         zip.Extract();
         return nullptr;
       },
       10501},
      {"AddStreamToStream",
       [&]() -> TZipStream* {
         TZipStream* s = zip.AddStreamToStream(&input);
         return s && s->Size() > 0 ? s : nullptr;
       },
       10101},
      {"Add",
       [&] {
         zip.SetFSpecArgs({"a.txt"});
         zip.Add();
         return nullptr;
       },
       10101},
  };
  for (const auto& run : runs) {
    SCOPED_TRACE(run.name);
    Script([] { throw std::runtime_error("handler failed"); });
    EXPECT_EQ(run.run(), nullptr);
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_EQ(zip.ErrCode(), run.errCode);
    EXPECT_FALSE((zip.ZipRunning() || zip.UnzipRunning()));
  }
}

}  // namespace
