// The component with ZIPDLL.DLL and UNZDLL.DLL on Windows: trees with names
// outside ASCII and paths past the classic limit go in and come out whole,
// with or without a password; members of methods the Windows build has no
// library for are refused as unsupported while the others extract; new members
// say they were made on an NTFS host.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "platform/Env.h"
#include "platform/FileSystem.h"
#include "platform/Paths.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using namespace testsupport;

platform::FileSystem& files = *platform::DefaultEnv().files;

// Every regular file below `root`, by relative path, with its bytes. Read
// through the platform layer: the tree holds paths past the classic limit,
// which the standard library's calls do not reach here.
void AddTree(const std::string& root, const std::string& prefix, std::map<std::string, std::string>& tree) {
  auto entries = files.ListDirectory(root);
  ASSERT_TRUE(entries) << root;
  for (const platform::DirEntry& e : *entries) {
    const std::string path = root + "\\" + e.name;
    if (e.info.isDirectory) {
      AddTree(path, prefix + e.name + "/", tree);
      continue;
    }
    platform::FileHandle h = files.Open(path, platform::Access::Read, platform::Share::Read,
                                        platform::Disposition::OpenExisting);
    ASSERT_NE(h, platform::kInvalidHandle) << path;
    std::string bytes(e.info.size, '\0');
    EXPECT_EQ(files.Read(h, bytes.data(), bytes.size()), static_cast<int64_t>(bytes.size()));
    files.Close(h);
    tree[prefix + e.name] = bytes;
  }
}

std::map<std::string, std::string> Tree(const std::string& root) {
  std::map<std::string, std::string> tree;
  AddTree(root, "", tree);
  return tree;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  platform::FileHandle h = files.Open(path, platform::Access::Write, platform::Share::None,
                                      platform::Disposition::CreateAlways);
  ASSERT_NE(h, platform::kInvalidHandle) << path;
  EXPECT_EQ(files.Write(h, bytes.data(), bytes.size()), static_cast<int64_t>(bytes.size()));
  files.Close(h);
}

struct WindowsEnginesTest : ::testing::Test {
  TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};

  void SetUp() override {
    zip.Unattended = true;
    fs::current_path(dir.path());
  }
  // Writes the tree: a name outside ASCII, a path past 260 characters, a
  // member large enough to be deflated.
  void MakeTree() {
    const std::string deep = dir / ("tree\\" + std::string(120, 'd') + "\\" + std::string(120, 'e'));
    for (const std::string& d : {dir / "tree", platform::ExtractFilePath(deep), deep})
      ASSERT_TRUE(files.CreateDirectory(d)) << d;
    WriteFile(dir / "tree/plain.txt", "plain\n");
    WriteFile(dir / "tree/Gr\xc3\xbc\xc3\x9f\x65 \xe2\x82\xac.txt", "non-ASCII name\n");
    std::string text;
    for (int i = 0; i < 30000; ++i) text += "line " + std::to_string(i % 997) + "\n";
    WriteFile(deep + "\\long.txt", text);
  }
  void Add(const std::string& password) {
    zip.SetFileName(dir / "out.zip");
    zip.AddOptions = AddOpts{AddDirNames, AddRecurseDirs};
    if (!password.empty()) zip.AddOptions.Include(AddEncrypt);
    zip.Password = password;
    zip.SetFSpecArgs({"tree"});
    zip.Add();
  }
  // Extracts below `target`, which is made first (the component extracts into
  // the current directory when the base directory is missing).
  void Extract(const std::string& archive, const std::string& target, const std::string& password) {
    fs::create_directories(target);
    zip.SetFileName(archive);
    zip.Password = password;
    zip.ExtrBaseDir = target;
    zip.ExtrOptions = ExtrOpts{ExtrDirNames, ExtrOverWrite};
    zip.SetFSpecArgs({"*"});
    zip.Extract();
  }
};

TEST_F(WindowsEnginesTest, TreesGoInAndComeOutWhole) {
  MakeTree();
  for (const std::string password : {"", "S3cret \xc3\xa4"}) {
    SCOPED_TRACE(password);
    fs::remove(dir / "out.zip");
    Add(password);
    EXPECT_EQ(zip.SuccessCount(), 3) << zip.Message();
    const std::string target = dir / ("out" + std::to_string(password.size()));
    Extract(dir / "out.zip", target, password);
    EXPECT_EQ(zip.SuccessCount(), 3) << zip.Message();
    EXPECT_EQ(Tree(target + "/tree"), Tree(dir / "tree"));
  }
  // A wrong password writes nothing.
  Extract(dir / "out.zip", dir / "wrong", "not it");
  EXPECT_EQ(zip.SuccessCount(), 0);
  EXPECT_FALSE(fs::exists(dir / "wrong/tree/plain.txt"));
}

TEST_F(WindowsEnginesTest, NewMembersRecordAWindowsHost) {
  MakeTree();
  Add("");
  ASSERT_EQ(zip.SuccessCount(), 3) << zip.Message();
  ASSERT_EQ(zip.ZipDirEntryRecords().size(), 3u);
  for (const auto& e : zip.ZipDirEntryRecords()) {
    SCOPED_TRACE(e->FileName);
    EXPECT_EQ(e->HostSystem, 11) << "NTFS attributes, not Unix ones";
    EXPECT_EQ(e->ExternalAttributes >> 16, 0u) << "no Unix mode above the attribute byte";
  }
}

TEST_F(WindowsEnginesTest, MethodsWithoutALibraryAreRefused) {
  std::vector<CraftedMember> members = {{"stored.txt", "stored"}, {"deflated.txt", std::string(5000, 'z'), true}};
  const struct {
    const char* name;
    uint16_t method;
  } refused[] = {{"bzip2.bin", 12}, {"lzma.bin", 14}, {"zstd.bin", 93}, {"xz.bin", 95}};
  for (const auto& r : refused) {
    CraftedMember member{r.name, "data"};
    member.method = r.method;
    member.payload = "not decoded here";
    members.push_back(member);
  }
  WriteTextFile(dir / "methods.zip", CraftZip(members));
  Extract(dir / "methods.zip", dir / "out", "");
  EXPECT_EQ(zip.SuccessCount(), 2) << zip.Message() << " " << zip.ErrCode();
  EXPECT_EQ(ReadTextFile(dir / "out/stored.txt"), "stored");
  EXPECT_EQ(ReadTextFile(dir / "out/deflated.txt"), std::string(5000, 'z'));
  for (const auto& r : refused) EXPECT_FALSE(fs::exists(dir / ("out/" + std::string(r.name)))) << r.name;
}

}  // namespace
