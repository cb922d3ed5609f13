// A run that fails leaves the installed version as it was: a damaged member, a
// full disk. The unattended run ends with status 4, the failure messages and the
// line saying that the previous version was restored; the installation directory
// is byte for byte as before, with no backup or journal left.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <sstream>

#include "installer/InstallRollback.h"
#include "installer/UnattendedUi.h"
#include "tests/installer/InstallerHarness.h"
#include "tests/support/FileTree.h"

namespace {

using testsupport::CraftedMember;
using testsupport::InstallerHarness;
namespace fs = std::filesystem;

std::string RandomBytes(size_t size, unsigned seed) {
  std::mt19937 random(seed);
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random());
  return bytes;
}

// A 6.05 installation of several files, every time in the past.
void InstallOldVersion(InstallerHarness& x) {
  x.InstallDemo("Update\ndemo.exe\n", "6.05");
  fs::create_directories(x.InstallDirNative() + "/data");
  for (const char* name : {"data/a.txt", "data/b.txt", "readme.txt"})
    testsupport::WriteTextFile(x.InstallDirNative() + "/" + name, std::string("old ") + name);
  fs::permissions(x.InstallDirNative() + "/data/b.txt", fs::perms::owner_read | fs::perms::owner_write);
  int64_t when = 1600000000;
  for (const auto& path : testsupport::FileTreeNames(x.InstallDirNative())) {
    struct timespec times[2] = {{when, 5000}, {when, 5000}};
    ::utimensat(AT_FDCWD, (x.InstallDirNative() + "/" + path).c_str(), times, 0);
    when += 100;
  }
  struct timespec times[2] = {{when, 7}, {when, 7}};
  ::utimensat(AT_FDCWD, x.InstallDirNative().c_str(), times, 0);
}

// Members of the 6.10 package, the third one named `third`.
std::vector<CraftedMember> Package(CraftedMember third) {
  std::vector<CraftedMember> members = {{"version.ver", "bin\\demo.exe\n6.00\n6.10\n"},
                                        {"bin/demo.exe", "the new program"}};
  members.push_back(std::move(third));
  for (const char* name : {"data/a.txt", "data/b.txt", "readme.txt", "plugins/new.dll", "docs/new.txt"})
    members.push_back({name, std::string("new ") + name});
  return members;
}

// A small tmpfs over a directory for the test's duration (root only).
struct SmallDisk {
  explicit SmallDisk(const std::string& at) {
    if (std::system(("mount -t tmpfs -o size=1m tmpfs " + testsupport::ShellQuote(at) + " 2>/dev/null").c_str()) == 0)
      path = at;
  }
  ~SmallDisk() {
    if (!path.empty()) std::system(("umount " + testsupport::ShellQuote(path)).c_str());
  }
  std::string path;  // empty when it could not be mounted
};

struct Failure {
  const char* name;
  bool needsTmpfs;  // the installation directory on a small file system of its own
  std::function<CraftedMember()> third;
};

TEST(InstallerFailure, TheInstalledVersionIsRestored) {
  const Failure failures[] = {
      {"a member's CRC flipped", false,
       [] {
         CraftedMember m("data/damaged.bin", RandomBytes(5000, 1), true);
         m.declaredCrc = 0x12345678;
         return m;
       }},
      {"a member's data flipped", false,
       [] {
         CraftedMember m("data/damaged.bin", std::string(4000, 'x'));
         m.payload = std::string(3999, 'x') + "y";
         return m;
       }},
      {"the disk full midway", true, [] { return CraftedMember("data/large.bin", RandomBytes(3 << 20, 2)); }},
  };
  for (const Failure& failure : failures) {
    SCOPED_TRACE(failure.name);
    InstallerHarness x;
    std::optional<SmallDisk> disk;
    if (failure.needsTmpfs) {
      disk.emplace(x.InstallDirNative());
      if (disk->path.empty()) {
        std::cout << "skipped: cannot mount a tmpfs here\n";
        continue;
      }
    }
    InstallOldVersion(x);
    x.CraftPackage(Package(failure.third()));
    auto before = testsupport::FileTreeState(x.InstallDirNative());

    std::ostringstream out;
    installer::UnattendedUi ui(out);
    EXPECT_EQ(installer::RunUnattended(&x.env, ui, x.ProgramPath()), installer::kExitNotInstalled);
    std::string text = out.str();
    // A damaged member of an encrypted package may first be taken for a wrong password.
    EXPECT_NE(text.find("Bravik-Solen: Error during installation!\\n\\nCheck if path is accessible and the demo.exe"),
              std::string::npos)
        << text;
    const std::string restored = "Bravik-Solen: The previous version was restored.\n";
    ASSERT_GE(text.size(), restored.size());
    EXPECT_EQ(text.substr(text.size() - restored.size()), restored) << text;
    EXPECT_EQ(testsupport::FileTreeState(x.InstallDirNative()), before);
  }
}

TEST(InstallerFailure, ASuccessLeavesNoBackup) {
  InstallerHarness x;
  InstallOldVersion(x);
  x.CraftPackage(Package({"data/third.txt", "third"}));
  std::ostringstream out;
  installer::UnattendedUi ui(out);
  EXPECT_EQ(installer::RunUnattended(&x.env, ui, x.ProgramPath()), installer::kExitInstalled) << out.str();
  EXPECT_EQ(testsupport::FileTreeNames(x.InstallDirNative()),
            (std::vector<std::string>{"bin/", "bin/demo.exe", "data/", "data/a.txt", "data/b.txt", "data/third.txt",
                                      "docs/", "docs/new.txt", "plugins/", "plugins/new.dll", "readme.txt",
                                      "version.ver"}));
  EXPECT_EQ(testsupport::ReadTextFile(x.InstallDirNative() + "/data/b.txt"), "new data/b.txt");
}

}  // namespace
