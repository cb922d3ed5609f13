// The fixture of the decompression engine's tests: crafted archives written
// into a temporary directory and runs of the engine into its "out" directory.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/CraftedZip.h"
#include "tests/support/FileTree.h"
#include "tests/support/TempDir.h"
#include "tests/support/UnzEngineRunner.h"

namespace testsupport {

// `size` bytes of numbered text lines: compressible, and different at every offset.
inline std::string Repeated(size_t size) {
  std::string out;
  for (size_t i = 0; out.size() < size; ++i) out += "line " + std::to_string(i) + "\n";
  out.resize(size);
  return out;
}

class UnzDllTest : public ::testing::Test {
 protected:
  std::string Archive(const std::vector<CraftedMember>& members, const std::string& stub = "") {
    std::string path = dir_ / ("a" + std::to_string(++archives_) + ".zip");
    WriteTextFile(path, CraftZip(members, stub));
    return path;
  }
  UnzRun RunOn(const std::string& archive) {
    UnzRun run;
    run.archive = archive;
    run.baseDir = out_;
    return run;
  }
  void Run(UnzRun& run) { ASSERT_TRUE(RunUnzEngine(run)) << "libunzdll.so not loadable"; }
  std::vector<std::string> Tree() const { return FileTreeNames(out_); }

  TempDir dir_;
  std::string out_ = dir_ / "out";
  int archives_ = 0;

  void SetUp() override { std::filesystem::create_directory(out_); }
};

}  // namespace testsupport
