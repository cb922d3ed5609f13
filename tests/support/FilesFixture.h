// The fixture of the file-system tests: a temporary directory and the POSIX
// file system, with short helpers to make files and open them.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "platform/FileSystem.h"
#include "tests/support/TempDir.h"

namespace testsupport {

struct FilesTest : ::testing::Test {
  TempDir dir;
  platform::FileSystem& files = platform::PosixFileSystem();

  std::string Make(const std::string& name, const std::string& text) {
    WriteTextFile(dir / name, text);
    return dir / name;
  }
  platform::FileHandle Open(const std::string& path, platform::Access access, platform::Share share,
                            platform::Disposition disposition = platform::Disposition::OpenExisting) {
    return files.Open(path, access, share, disposition);
  }
};

}  // namespace testsupport
