// Loading the engines: where they are looked for, what is reported, versions,
// and that an operation unloads only what it loaded.
#include <gtest/gtest.h>

#include <map>

#include "platform/DynamicLibrary.h"
#include "platform/Env.h"
#include "tests/support/RecordingEngineHarness.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"
#include "zipbuilder/engine/EngineUse.h"

namespace {

using testsupport::RecordingEngineHarness;

// Passes loads on to the real loader, records them, and can hide entry points.
class WatchedLibraries : public platform::DynamicLibraries {
 public:
  std::vector<std::string> loads;
  int frees = 0;
  bool failLoads = false;
  std::vector<std::string> hidden;

  platform::LibraryHandle Load(const std::string& name) override {
    loads.push_back(name);
    return failLoads ? nullptr : real().Load(name);
  }
  void* GetProcAddress(platform::LibraryHandle library, const std::string& symbol) override {
    for (const auto& h : hidden)
      if (h == symbol) return nullptr;
    return real().GetProcAddress(library, symbol);
  }
  void Free(platform::LibraryHandle library) override {
    ++frees;
    real().Free(library);
  }

 private:
  static platform::DynamicLibraries& real() { return *platform::DefaultEnv().libraries; }
};

struct EngineLoaderTest : ::testing::Test {
  RecordingEngineHarness engine;
  testsupport::TempDir dlls;
  WatchedLibraries libraries;
  platform::Env env = platform::DefaultEnv();
  ui::ScriptedUi ui;
  std::unique_ptr<TZipBuilder> zip;
  std::vector<std::pair<int, std::string>> messages;

  void SetUp() override {
    ASSERT_TRUE(engine.Loaded());
    ASSERT_TRUE(RecordingEngineHarness::LinkAsEngines(dlls.path()));
    env.libraries = &libraries;
    zip = std::make_unique<TZipBuilder>(&env, &ui);
    zip->Unattended = true;
    zip->SetDLLDirectory(dlls.path());
    zip->OnMessage = [this](TZipBuilder* z, int, const std::string& text) { messages.push_back({z->ErrCode(), text}); };
  }
};

TEST_F(EngineLoaderTest, LoadsFromDllDirectoryAndResolvesEveryEntry) {
  zip->Load_Unz_Dll();
  ASSERT_TRUE(zip->UnzDllLoaded());
  ASSERT_EQ(libraries.loads.size(), 1u);
  EXPECT_EQ(libraries.loads[0], dlls.path() + "\\UNZDLL.DLL");
  EXPECT_TRUE(messages.empty());  // no trace: nothing reported
  zip->Load_Zip_Dll();
  EXPECT_TRUE(zip->ZipDllLoaded());
  EXPECT_EQ(libraries.loads.back(), dlls.path() + "\\ZIPDLL.DLL");
  zip->Unload_Unz_Dll();
  zip->Unload_Zip_Dll();
  EXPECT_FALSE(zip->UnzDllLoaded());
  EXPECT_FALSE(zip->ZipDllLoaded());
  EXPECT_EQ(libraries.frees, 2);
}

TEST_F(EngineLoaderTest, WithoutTheFileInDllDirectoryTheBareNameIsLoaded) {
  testsupport::TempDir empty;
  zip->SetDLLDirectory(empty.path());
  libraries.failLoads = true;
  zip->Load_Unz_Dll();
  ASSERT_EQ(libraries.loads.size(), 1u);
  EXPECT_EQ(libraries.loads[0], "UNZDLL.DLL");
}

TEST_F(EngineLoaderTest, TraceReportsTheLoad) {
  zip->Trace = true;
  zip->Load_Zip_Dll();
  zip->Load_Unz_Dll();
  ASSERT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages[0], (std::pair<int, std::string>{10601, "ZIP DLL Loaded"}));
  EXPECT_EQ(messages[1], (std::pair<int, std::string>{10701, "UNZDLL Loaded!"}));
  zip->Unload_Zip_Dll();
  zip->Unload_Unz_Dll();
}

TEST_F(EngineLoaderTest, MissingLibraryOrEntryIsReportedAndNotKept) {
  struct Case {
    bool failLoads;
    std::vector<std::string> hidden;
    bool zipEngine;
    std::vector<int> expected;
  } cases[] = {
      {true, {}, false, {10704}},
      {true, {}, true, {10604}},
      {false, {"UnzDllExec"}, false, {10702}},
      {false, {"GetUnzDllPrivVersion"}, false, {10703}},
      {false, {"ZipDllExec", "GetZipDllVersion"}, true, {10602, 10603}},
  };
  for (const auto& c : cases) {
    messages.clear();
    libraries.failLoads = c.failLoads;
    libraries.hidden = c.hidden;
    int freesBefore = libraries.frees;
    if (c.zipEngine) zip->Load_Zip_Dll(); else zip->Load_Unz_Dll();
    EXPECT_FALSE(c.zipEngine ? zip->ZipDllLoaded() : zip->UnzDllLoaded());
    std::vector<int> got;
    for (const auto& m : messages) got.push_back(m.first);
    EXPECT_EQ(got, c.expected);
    EXPECT_EQ(libraries.frees - freesBefore, c.failLoads ? 0 : 1) << "a partial library is released";
    EXPECT_EQ(c.zipEngine ? zip->GetZipVers() : zip->GetUnzVers(), 0);
  }
}

TEST_F(EngineLoaderTest, VersionQueryLoadsAsksAndUnloadsUnlessAlreadyLoaded) {
  recording::Config config;
  config.version = 155;
  config.privVersion = 15501;
  engine.Configure(config);
  EXPECT_EQ(zip->GetUnzVers(), 155);
  EXPECT_EQ(zip->GetUnzPrivVers(), 15501);
  EXPECT_EQ(zip->GetZipVers(), 155);
  EXPECT_FALSE(zip->UnzDllLoaded());
  EXPECT_FALSE(zip->ZipDllLoaded());
  EXPECT_EQ(libraries.loads.size(), 3u);
  EXPECT_EQ(libraries.frees, 3);

  zip->Load_Unz_Dll();
  {
    testsupport::ScopedEnv version("RECORDING_ENGINE_VERSION", "151");
    EXPECT_EQ(zip->GetUnzVers(), 151);
  }
  EXPECT_TRUE(zip->UnzDllLoaded()) << "a library loaded before stays loaded";
  EXPECT_EQ(libraries.loads.size(), 4u);
  zip->Unload_Unz_Dll();
}

TEST_F(EngineLoaderTest, EngineUseUnloadsOnlyWhatItLoaded) {
  {
    TZipBuilder::EngineUse use(*zip, TZipBuilder::EngineKind::Unz);
    EXPECT_TRUE(use.Loaded());
    {
      TZipBuilder::EngineUse inner(*zip, TZipBuilder::EngineKind::Unz);
      EXPECT_TRUE(inner.Loaded());
    }
    EXPECT_TRUE(zip->UnzDllLoaded());
  }
  EXPECT_FALSE(zip->UnzDllLoaded());
  EXPECT_EQ(libraries.loads.size(), 1u);
}

}  // namespace
