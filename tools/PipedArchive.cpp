#include "tools/PipedArchive.h"

#include <cstdio>
#include <iostream>
#include <vector>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

constexpr size_t kPipeBlock = 1 << 20;

}  // namespace

ArchiveFromStdin::ArchiveFromStdin(const std::string& operand) : name_(operand) {
  if (operand != "-") return;
  auto& files = *platform::DefaultEnv().files;
  spool_ = platform::TemporaryFile(files, files.GetTempPath());
  std::vector<char> block(kPipeBlock);
  size_t got = 0;
  while (spool_.IsOpen() && (got = std::fread(block.data(), 1, block.size(), stdin)) > 0) {
    if (files.Write(spool_.Handle(), block.data(), got) != static_cast<int64_t>(got)) break;
  }
  if (!spool_.IsOpen() || got > 0 || std::ferror(stdin)) {
    std::cerr << "zipbuilder: cannot keep the archive read from standard input\n";
    failed_ = true;
    return;
  }
  name_ = spool_.Path();
}

ArchiveToStdout::ArchiveToStdout(TZipBuilder& zip, const std::string& operand) : name_(operand) {
  if (operand != "-") return;
  piped_ = true;
  name_ = zip.MakeTempFileName("zbo", ".zip");
}

ArchiveToStdout::~ArchiveToStdout() {
  if (piped_ && !name_.empty()) platform::DefaultEnv().files->DeleteFile(name_);
}

bool ArchiveToStdout::Deliver() {
  if (!piped_) return true;
  auto& files = *platform::DefaultEnv().files;
  // The archive loses its name first, so that nothing stays behind whatever happens next.
  platform::TemporaryFile made = platform::TemporaryFile::Adopt(files, name_);
  if (!made.IsOpen()) {
    std::cerr << "zipbuilder: the archive for standard output was not made\n";
    return false;
  }
  name_.clear();  // `made` removes it now
  std::vector<char> block(kPipeBlock);
  files.Seek(made.Handle(), 0, platform::SeekFrom::Begin);
  int64_t got = 0;
  while ((got = files.Read(made.Handle(), block.data(), block.size())) > 0) {
    if (std::fwrite(block.data(), 1, static_cast<size_t>(got), stdout) != static_cast<size_t>(got)) break;
  }
  if (got != 0 || std::fflush(stdout) != 0) {
    std::cerr << "zipbuilder: cannot write the archive to standard output\n";
    return false;
  }
  return true;
}
