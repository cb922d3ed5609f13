// Spanned sets through the engines and against the peers: adding with spanning
// writes numbered volumes and names the last one as the archive; extraction joins
// into a temporary file and removes it; our volumes, renamed to the peer's split
// naming, pass `zip -s 0 --out` and `7z t`; a `zip -s` set renamed to our
// numbering joins and extracts; an incomplete set never loses the built archive.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>

#include "tests/support/FileTree.h"
#include "tests/support/PeerTools.h"
#include "tests/support/TempDir.h"
#include "tools/ExitStatus.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FileTree;
using testsupport::ReadTextFile;
using testsupport::RunIn;
using testsupport::WriteTextFile;

std::vector<std::string> FilesIn(const fs::path& directory) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(directory))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::string Slashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

struct SpanInteropTest : ::testing::Test {
  testsupport::TempDir dir;
  ui::ScriptedUi ui;
  TZipBuilder zip{nullptr, &ui};

  void SetUp() override {
    for (const char* tool : {"zip", "unzip", "7z"})
      if (!testsupport::HaveTool(tool)) GTEST_SKIP() << tool << " missing";
    zip.Unattended = true;
    zip.SetDLLDirectory(ZB_BINARY_DIR);
    fs::create_directories(dir / "tree/text");
    fs::create_directories(dir / "tree/bin");
    fs::create_directories(dir / "temp");
    fs::create_directories(dir / "set");
    zip.TempDir = dir / "temp";
    // About 5 MB of mixed files, each member smaller than a volume once
    // compressed: `zip -s 0` itself mis-joins members that touch more than two
    // volumes (its own `zip -s 64k` sets included), so larger ones are left to
    // the tests that join through us only.
    uint32_t x = 12345;
    for (int f = 0; f < 70; ++f) {
      std::string bytes(60000, '\0');
      for (char& c : bytes) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
      WriteTextFile(dir / ("tree/bin/random" + std::to_string(f) + ".bin"), bytes);
    }
    for (int f = 0; f < 10; ++f) {
      std::string text;
      for (int i = 0; i < 12000; ++i)
        text += "line " + std::to_string((i + f) * 7919 % 10007) + "\n";
      WriteTextFile(dir / ("tree/text/big" + std::to_string(f) + ".txt"), text);
    }
    for (int i = 0; i < 200; ++i)
      WriteTextFile(dir / ("tree/text/small" + std::to_string(i) + ".txt"),
                    std::string(i * 37 % 3000, 'a' + i % 26));
    previous_ = fs::current_path();
    fs::current_path(dir.path());
  }
  void TearDown() override {
    if (!previous_.empty()) fs::current_path(previous_);
  }
  fs::path previous_;

  void AddSpanned(const std::string& archive, int32_t volumeSize) {
    zip.SetFileName(archive);
    zip.AddOptions = AddOpts{AddDirNames, AddRecurseDirs, AddDiskSpan};
    zip.SetMaxVolumeSize(volumeSize);
    zip.SetFSpecArgs({"tree"});
    zip.Add();
  }
  void ExpectExtractsTree(TZipBuilder& reader, const std::string& archive) {
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    reader.SetFileName(archive);
    reader.ExtrBaseDir = dir / "out";
    reader.ExtrOptions = ExtrOpts{ExtrDirNames, ExtrOverWrite};
    reader.SetFSpecArgs({"*"});
    // The joined archive has no name while it is written and read: a killed
    // run leaves nothing of it.
    bool joinedNamed = false;
    reader.OnProgress = [&](TZipBuilder*, ProgressType, const std::string&, int64_t) {
      joinedNamed = joinedNamed || !fs::is_empty(dir / "temp");
    };
    reader.Extract();
    reader.OnProgress = nullptr;
    EXPECT_FALSE(joinedNamed);
    EXPECT_GT(reader.SuccessCount(), 200) << reader.Message();
    EXPECT_TRUE(FileTree(dir / "out/tree") == FileTree(dir / "tree"));
    EXPECT_TRUE(fs::is_empty(dir / "temp")) << "the joined archive is removed";
  }
};

TEST_F(SpanInteropTest, AddWritesNumberedVolumesThatJoinAndExtract) {
  AddSpanned(dir / "set/backup.zip", 65536);
  ASSERT_GT(zip.SuccessCount(), 200) << zip.Message();
  const auto volumes = FilesIn(dir / "set");
  ASSERT_GT(volumes.size(), 50u);
  EXPECT_EQ(volumes.front(), "backup001.zip");
  EXPECT_EQ(zip.ZipFileName(), dir / ("set/" + volumes.back()));
  for (const auto& v : volumes) EXPECT_LE(fs::file_size(dir / ("set/" + v)), 65536u) << v;
  EXPECT_TRUE(fs::is_empty(dir / "temp")) << "the engine's single-file archive is gone";
  EXPECT_TRUE(zip.Spanned());
  EXPECT_EQ(zip.LastDiskNumber(), volumes.size() - 1);
  ExpectExtractsTree(zip, zip.ZipFileName());

  // The peers: renamed to .z01, .z02 ... and .zip, the set is whole for them.
  fs::create_directories(dir / "peer");
  for (size_t i = 0; i < volumes.size(); ++i) {
    char suffix[24];
    std::snprintf(suffix, sizeof suffix, ".z%02zu", i + 1);
    fs::copy_file(dir / ("set/" + volumes[i]),
                  dir / ("peer/split" + std::string(i + 1 == volumes.size() ? ".zip" : suffix)));
  }
  auto sevenZip = RunIn(dir / "peer", "7z t split.zip");
  EXPECT_EQ(sevenZip.status, 0) << sevenZip.out << sevenZip.err;
  auto joined = RunIn(dir / "peer", "zip -s 0 split.zip --out whole.zip && unzip -tq whole.zip");
  EXPECT_EQ(joined.status, 0) << joined.out << joined.err;
}

TEST_F(SpanInteropTest, WrittenFromAnArchiveJoinsBackByteForByte) {
  // One member spreads over many volumes.
  std::string large(900000, '\0');
  uint32_t x = 99;
  for (char& c : large) c = static_cast<char>((x = x * 1664525 + 1013904223) >> 24);
  WriteTextFile(dir / "tree/bin/large.bin", large);
  zip.SetFileName(dir / "single.zip");
  zip.AddOptions = AddOpts{AddDirNames, AddRecurseDirs};
  zip.SetFSpecArgs({"tree"});
  zip.Add();
  ASSERT_GT(zip.SuccessCount(), 200);
  const std::string single = ReadTextFile(dir / "single.zip");
  ASSERT_GT(single.size(), 3000000u);
  zip.SetMaxVolumeSize(65536);
  ASSERT_EQ(zip.WriteSpan(dir / "single.zip", dir / "set/s.zip"), 0) << zip.Message();
  std::string out = dir / "joined.zip";
  ASSERT_EQ(zip.ReadSpan(dir / ("set/" + FilesIn(dir / "set").back()), out), 0) << zip.Message();
  EXPECT_TRUE(ReadTextFile(out) == single);
}

TEST_F(SpanInteropTest, PeerSplitSetRenamedToOurNumbering) {
  fs::create_directories(dir / "peer");
  auto made = RunIn(dir.path(), "zip -q -r -s 64k peer/split.zip tree");
  ASSERT_EQ(made.status, 0) << made.out << made.err;
  auto parts = FilesIn(dir / "peer");
  ASSERT_GT(parts.size(), 50u);
  // split.z01 ... split.zNN, then split.zip as the last volume.
  for (const auto& part : parts) {
    std::string number = part == "split.zip" ? std::to_string(parts.size()) : part.substr(7);
    char name[32];
    std::snprintf(name, sizeof name, "peer%03d.zip", std::stoi(number));
    fs::rename(dir / ("peer/" + part), dir / ("set/" + std::string(name)));
  }
  char last[32];
  std::snprintf(last, sizeof last, "set/peer%03zu.zip", parts.size());
  TZipBuilder reader{nullptr, &ui};
  reader.Unattended = true;
  reader.SetDLLDirectory(ZB_BINARY_DIR);
  reader.TempDir = dir / "temp";
  ExpectExtractsTree(reader, dir / last);
  std::string out = dir / "joined.zip";
  ASSERT_EQ(reader.ReadSpan(dir / last, out), 0) << reader.Message();
  auto test = RunIn(dir.path(), "unzip -tq joined.zip");
  EXPECT_EQ(test.status, 0) << test.out << test.err;
}

// An incomplete set leaves nothing new; the archive built for it is kept (and
// named) only when it alone holds the added files, which were moved into it.
TEST_F(SpanInteropTest, IncompleteSetKeepsTheBuiltArchiveOnlyForMovedFiles) {
  for (bool move : {false, true}) {
    SCOPED_TRACE(move);
    fs::remove_all(dir / "set");
    fs::create_directories(dir / "set");
    // The second volume's name is taken and nobody may be asked: the set stays incomplete.
    WriteTextFile(dir / "set/backup002.zip", "somebody else's file");
    if (move) {
      fs::create_directories(dir / "moved");
      WriteTextFile(dir / "moved/only.bin", ReadTextFile(dir / "tree/bin/random1.bin") +
                                                ReadTextFile(dir / "tree/bin/random2.bin"));
    }
    std::vector<std::string> messages;
    zip.OnMessage = [&](TZipBuilder*, int, const std::string& text) { messages.push_back(text); };
    zip.SetFileName(dir / "set/backup.zip");
    zip.AddOptions = move ? AddOpts{AddDirNames, AddMove, AddDiskSpan}
                          : AddOpts{AddDirNames, AddRecurseDirs, AddDiskSpan};
    zip.SetMaxVolumeSize(65536);
    zip.SetFSpecArgs({move ? "moved/only.bin" : "tree"});
    zip.Add();
    EXPECT_EQ(zip.SuccessCount(), 0);
    EXPECT_EQ(FilesIn(dir / "set"), std::vector<std::string>{"backup002.zip"});
    EXPECT_EQ(ReadTextFile(dir / "set/backup002.zip"), "somebody else's file");
    EXPECT_EQ(zip.ZipFileName(), dir / "set/backup.zip");
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Unattended disk spanning not implemented"),
              messages.end());
    const auto kept = FilesIn(dir / "temp");
    const bool said = std::any_of(messages.begin(), messages.end(), [](const std::string& m) {
      return m.rfind("Temporary zipfile kept: ", 0) == 0;
    });
    EXPECT_EQ(said, move);
    ASSERT_EQ(kept.size(), move ? 1u : 0u);
    if (!move) continue;
    EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](const std::string& m) {
      return Slashes(m) == "Temporary zipfile kept: " + dir / ("temp/" + kept[0]);
    }));
    auto test = RunIn(dir / "temp", "unzip -tq " + kept[0]);
    EXPECT_EQ(test.status, 0) << test.out << test.err;
    fs::remove(dir / ("temp/" + kept[0]));
  }
}

TEST_F(SpanInteropTest, StreamedAndZip64PeerArchivesSplitAndJoin) {
  // Sizes in descriptors of 16 and 24 bytes, saturated local sizes, and a ZIP64
  // end record in front of a saturated end record; members span volumes.
  const std::string streamed =
      "import sys, zipfile\n"
      "class Pipe:\n"
      "  def __init__(s, f): s.f = f\n"
      "  def write(s, b): return s.f.write(b)\n"
      "  def flush(s): pass\n"
      "with open(sys.argv[1], 'wb') as f, zipfile.ZipFile(Pipe(f), 'w', zipfile.ZIP_DEFLATED) as z:\n"
      "  for name in ('tree/bin/random1.bin', 'tree/text/big1.txt'):\n"
      "    with open(name, 'rb') as src, z.open(name, 'w', force_zip64=sys.argv[2] == '1') as m:\n"
      "      m.write(src.read() * 3)\n";
  WriteTextFile(dir / "streamed.py", streamed);
  const std::string cat = "cat tree/bin/random*.bin tree/text/big1.txt";
  const std::vector<std::pair<std::string, std::string>> sources = {
      {"zip64.zip", cat + " | zip -q -fz - - > zip64.zip"},
      {"piped.zip", cat + " | zip -q -fz- - - | cat > piped.zip"},
      {"py16.zip", "python3 streamed.py py16.zip 0"},
      {"py24.zip", "python3 streamed.py py24.zip 1"},
  };
  const std::string tool = std::string(ZB_BINARY_DIR) + "/zipbuilder";
  for (const auto& [archive, make] : sources) {
    SCOPED_TRACE(archive);
    ASSERT_EQ(RunIn(dir.path(), make).status, 0);
    fs::remove_all(dir / "set");
    fs::create_directories(dir / "set");
    auto split = RunIn(dir.path(), tool + " split -s 64k " + archive + " set/s.zip");
    ASSERT_EQ(split.status, 0) << split.err;
    const auto volumes = FilesIn(dir / "set");
    ASSERT_GT(volumes.size(), 3u);
    auto join = RunIn(dir.path(), tool + " join -f set/" + volumes.back() + " joined.zip");
    ASSERT_EQ(join.status, 0) << join.err;
    auto check = RunIn(dir.path(),
                       "unzip -tq joined.zip && 7z t joined.zip >/dev/null && "
                       "python3 -m zipfile -t joined.zip && "
                       "test \"$(unzip -Z1 joined.zip)\" = \"$(unzip -Z1 " + archive + ")\"");
    EXPECT_EQ(check.status, 0) << check.out << check.err;
  }
}

TEST_F(SpanInteropTest, CommandLineWritesListsTestsExtractsAndJoinsSets) {
  // The tool's temporary files go to our own directory.
  const std::string tool =
      "TMPDIR=" + dir / "temp" + " " + std::string(ZB_BINARY_DIR) + "/zipbuilder";
  auto add = RunIn(dir.path(), tool + " add -r -s 64k set/cli.zip tree </dev/null");
  ASSERT_EQ(add.status, 0) << add.err;
  const auto volumes = FilesIn(dir / "set");
  ASSERT_GT(volumes.size(), 50u);
  EXPECT_NE(add.err.find("last volume set/" + volumes.back()), std::string::npos)
      << add.err;
  // Any volume names the set.
  auto list = RunIn(dir.path(), tool + " list set/cli002.zip");
  EXPECT_EQ(list.status, 0) << list.err;
  EXPECT_NE(list.out.find("random69.bin"), std::string::npos);
  auto test = RunIn(dir.path(), tool + " test set/cli.zip");
  EXPECT_EQ(test.status, 0) << test.out << test.err;
  auto extract = RunIn(dir.path(), tool + " extract -d out set/cli001.zip");
  EXPECT_EQ(extract.status, 0) << extract.err;
  EXPECT_TRUE(FileTree(dir / "out/tree") == FileTree(dir / "tree"));
  EXPECT_TRUE(fs::is_empty(dir / "temp")) << "the joined archive is removed";
  auto join = RunIn(dir.path(), tool + " join set/cli010.zip joined.zip && unzip -tq joined.zip");
  EXPECT_EQ(join.status, 0) << join.out << join.err;
  auto again = RunIn(dir.path(), tool + " join set/cli010.zip joined.zip");
  EXPECT_EQ(again.status, kExitError);
  EXPECT_NE(again.err.find("exists"), std::string::npos);
  // Writing the set again: nobody on the terminal to allow overwriting the volumes.
  const std::string first = ReadTextFile(dir / "set/cli001.zip");
  auto rewrite = RunIn(dir.path(), tool + " add -r -s 64k set/cli.zip tree </dev/null");
  EXPECT_NE(rewrite.status, 0);
  EXPECT_TRUE(ReadTextFile(dir / "set/cli001.zip") == first);
  EXPECT_TRUE(fs::is_empty(dir / "temp")) << "the archive built for the set is removed";
  auto bad = RunIn(dir.path(), tool + " add -s 12q set/x.zip tree");
  EXPECT_EQ(bad.status, kExitUsage);
}

}  // namespace
