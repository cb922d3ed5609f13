// Every rewriting command on a 2 MiB file system that cannot hold its result:
// it fails with a write error, leaves the archive byte for byte as it was, and
// leaves nothing else behind. Needs to mount a tmpfs (root); skipped otherwise.
// ZB_TOOL names another build's tool to run the cases against.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>

#include "tests/support/CraftedZip.h"
#include "tests/support/FileTree.h"
#include "tests/support/Noise.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::CraftZip;
using testsupport::FileTree;
using testsupport::Noise;
using testsupport::RunIn;
using testsupport::ShellQuote;
using testsupport::WriteTextFile;
using testsupport::ZipBuilderTool;

// 1.1 MB that does not compress: no second copy fits beside it in 2 MiB.
std::string LargeArchive() {
  return CraftZip({{"small.txt", "small"}, {"big.bin", Noise(1100000, 11)}});
}

struct FullDiskCase {
  const char* name;
  // Makes the files on the full disk (`disk`) and beside it (`dir`).
  std::function<void(const std::string& disk, const std::string& dir)> setUp;
  const char* command;  // run in the full disk's directory
  bool reportChecked;   // renaming and copying report through their own messages
};

const FullDiskCase kCases[] = {
    {"Rename", [](auto& disk, auto&) { WriteTextFile(disk + "/a.zip", LargeArchive()); },
     "rename a.zip big=huge", false},
    {"Copy",
     [](auto& disk, auto& dir) {
       WriteTextFile(disk + "/a.zip", LargeArchive());
       WriteTextFile(dir + "/src.zip", CraftZip({{"more.bin", Noise(300000, 5)}}));
     },
     "copy -o ../src.zip a.zip more.bin", false},
    {"Comment", [](auto& disk, auto&) { WriteTextFile(disk + "/a.zip", LargeArchive()); },
     "comment a.zip 'a comment'", true},
    {"Sfx", [](auto& disk, auto&) { WriteTextFile(disk + "/a.zip", LargeArchive()); }, "sfx a.zip",
     true},
    {"Unsfx",
     [](auto& disk, auto& dir) {
       WriteTextFile(dir + "/e.zip", LargeArchive());
       RunIn(dir, ZipBuilderTool() + " sfx e.zip");
       fs::copy_file(dir + "/e.exe", disk + "/e.exe");
     },
     "unsfx e.exe", true},
    {"Split", [](auto& disk, auto&) { WriteTextFile(disk + "/a.zip", LargeArchive()); },
     "split -s 256k a.zip s.zip", true},
    {"Join",
     [](auto& disk, auto& dir) {
       WriteTextFile(dir + "/a.zip", LargeArchive());
       RunIn(dir, ZipBuilderTool() + " split -s 256k a.zip s.zip && mv s0*.zip " + ShellQuote(disk));
     },
     "join s.zip j.zip", true},
    {"SpannedAdd",
     [](auto& disk, auto& dir) {
       WriteTextFile(disk + "/a.zip", LargeArchive());
       WriteTextFile(dir + "/n.txt", "new");
     },
     "add -s 256k a.zip ../n.txt", true},
};

// Cases print as their names (test names in ctest).
void PrintTo(const FullDiskCase& c, std::ostream* out) { *out << c.name; }

struct FullDisk : ::testing::TestWithParam<FullDiskCase> {
  testsupport::TempDir dir;
  std::string disk;
  bool mounted = false;
  void SetUp() override {
    umask(022);
    disk = dir / "disk";
    fs::create_directories(disk);
    fs::create_directories(dir / "tmp");
    mounted = std::system(("mount -t tmpfs -o size=2m tmpfs " + ShellQuote(disk) +
                           " 2>/dev/null").c_str()) == 0;
    if (!mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  }
  void TearDown() override {
    if (mounted) std::system(("umount " + ShellQuote(disk)).c_str());
  }
};

TEST_P(FullDisk, FailsWithAWriteErrorAndLeavesTheArchive) {
  const FullDiskCase& c = GetParam();
  c.setUp(disk, dir.path());
  const auto before = FileTree(disk);
  ASSERT_FALSE(before.empty());
  const auto r = RunIn(disk, "TMPDIR=" + dir / "tmp" + " " + ZipBuilderTool() + " " + c.command);
  EXPECT_NE(r.status, 0) << r.err;
  if (c.reportChecked) {
    EXPECT_TRUE(r.err.find("Write error") != std::string::npos ||
                r.err.find("rror while writing") != std::string::npos)
        << r.err;
  }
  EXPECT_TRUE(FileTree(disk) == before) << r.err;
  EXPECT_TRUE(fs::is_empty(dir / "tmp"));
}

INSTANTIATE_TEST_SUITE_P(Tmpfs, FullDisk, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
