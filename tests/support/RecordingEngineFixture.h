// A component whose engines are the recording engine, in a temporary directory
// that also holds a small stored archive: the base of the command record tests.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/ArchiveBytes.h"
#include "tests/support/RecordingEngineHarness.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace testsupport {

// Fills stack memory below the caller with a non-zero pattern, so that a record
// the next call builds there shows every byte it leaves unset.
[[gnu::noinline]] inline void DirtyStack() {
  volatile unsigned char area[256 * 1024];
  for (auto& byte : area) byte = 0xA5;
}

class RecordingEngineFixture : public ::testing::Test {
 protected:
  // Points the component at the recording engine and writes `members` as `archive`.
  void PrepareArchive(const std::vector<TestMember>& members) {
    ASSERT_TRUE(engine.Loaded());
    ASSERT_TRUE(RecordingEngineHarness::LinkAsEngines(dir.path()));
    zip.SetDLLDirectory(dir.path());
    zip.Unattended = true;
    archive = dir / "test.zip";
    WriteTextFile(archive, BuildArchive(members).bytes);
  }
  // The engine reports `version` and returns `result` from every call.
  void UseVersion(int32_t version, int32_t result = 0) {
    recording::Config config;
    config.version = version;
    config.result = result;
    engine.Configure(config);
  }
  // Names the archive without listing it: the record tests need no member list.
  void NameArchiveUnlisted() {
    zip.Designing = true;
    zip.SetFileName(archive);
    zip.Designing = false;
  }

  RecordingEngineHarness engine;
  TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};
  std::string archive;
};

}  // namespace testsupport
