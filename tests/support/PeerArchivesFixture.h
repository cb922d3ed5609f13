// The fixture of tests that read what the peer tools write: a source tree for
// them to archive in a temporary directory, and the archives they write of it.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "tests/support/Noise.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"

namespace testsupport {

class PeerArchivesTest : public ::testing::Test {
 protected:
  // Skips the test unless every tool is there; then writes a.txt, empty.txt,
  // sub/deep/noise.bin and sub/large.txt (`largeSize` bytes of text lines).
  void MakeSource(std::initializer_list<const char*> tools, size_t largeSize, uint32_t noiseSeed) {
    for (const char* tool : tools)
      if (!HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    std::filesystem::create_directories(src_ + "/sub/deep");
    std::string text;
    for (uint64_t i = 0; text.size() < largeSize; ++i) text += "row " + std::to_string(i * 7919 % 100003) + "\n";
    WriteTextFile(src_ + "/a.txt", text.substr(0, 50000));
    WriteTextFile(src_ + "/empty.txt", "");
    WriteTextFile(src_ + "/sub/deep/noise.bin", Noise(300000, noiseSeed));
    WriteTextFile(src_ + "/sub/large.txt", text);
  }

  // Runs a writer in the source tree; "@" in `command` stands for the archive.
  std::string Write(std::string command) {
    std::string archive = dir_ / ("w" + std::to_string(++archives_) + ".zip");
    command.replace(command.find('@'), 1, ShellQuote(archive));
    CommandResult r = RunIn(src_, command);
    EXPECT_EQ(r.status, 0) << command << r.err;
    return archive;
  }

  TempDir dir_;
  std::string src_ = dir_ / "src";
  int archives_ = 0;
};

}  // namespace testsupport
