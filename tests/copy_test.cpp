// Copying members between archives: overwrite modes, the not-copied list,
// deleting from the source only once the destination holds the members, the
// refusals, a stub kept in front, and failures leaving both archives alone.
#include <gtest/gtest.h>

#include <filesystem>

#include "platform/Env.h"
#include "platform/FaultInjectingFileSystem.h"
#include "support/CraftedZip.h"
#include "support/StoredZipView.h"
#include "support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace {

namespace fs = std::filesystem;
using Op = platform::FaultInjectingFileSystem::Op;
using testsupport::CraftedMember;
using testsupport::ReadTextFile;
using testsupport::ViewStoredZip;
using testsupport::WriteTextFile;

std::vector<CraftedMember> DestinationMembers() {
  return {{"own.txt", "destination's own"},
          {"same.txt", "destination's same"},
          {"dir/", ""},
          {"keep.txt", "kept"}};
}

std::vector<CraftedMember> SourceMembers() {
  CraftedMember described("new1.txt", std::string(5000, '1'), true);
  described.dataDescriptor = true;
  described.descriptorSignature = false;
  CraftedMember longLocalExtra("new2.txt", "two");
  longLocalExtra.localExtra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
  CraftedMember secret("Same.TXT", "source's same", true);
  secret.password = "pw";
  return {secret, described, longLocalExtra, {"other.txt", "not asked for"}};
}

struct CopyTest : ::testing::Test {
  testsupport::TempDir dir;
  testsupport::ScopedEnv data{"XDG_DATA_HOME", dir / "data"};
  platform::FaultInjectingFileSystem files{platform::PosixFileSystem()};
  platform::Env env = [this] {
    platform::Env e = platform::DefaultEnv();
    e.files = &files;
    return e;
  }();
  ui::ScriptedUi ui;
  TZipBuilder source{&env, &ui}, destination{&env, &ui};
  std::string sourcePath = dir / "src/s.zip", destinationPath = dir / "dst/d.zip";
  std::string sourceBytes, destinationBytes;

  void SetUp() override {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    for (TZipBuilder* z : {&source, &destination}) {
      z->Unattended = true;
      z->HowToDelete = htdFinal;
      z->SetDLLDirectory(ZB_BINARY_DIR);
    }
    Make(testsupport::CraftZip(SourceMembers()), testsupport::CraftZip(DestinationMembers()));
  }
  void Make(const std::string& sourceArchive, const std::string& destinationArchive) {
    sourceBytes = sourceArchive;
    destinationBytes = destinationArchive;
    WriteTextFile(sourcePath, sourceBytes);
    WriteTextFile(destinationPath, destinationBytes);
    source.SetFileName(sourcePath);
    destination.SetFileName(destinationPath);
  }
  int Copy(std::vector<std::string> names, OvrOpts mode, bool deleteFromSource = false) {
    source.SetFSpecArgs(names);
    return source.CopyZippedFiles(&destination, deleteFromSource, mode);
  }
  // name -> stored data, in archive order
  static std::vector<std::pair<std::string, std::string>> Contents(const std::string& bytes) {
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& m : ViewStoredZip(bytes).members) out.push_back({m.name, m.data});
    return out;
  }
  std::string StoredData(const std::string& bytes, const std::string& name) {
    for (const auto& m : ViewStoredZip(bytes).members)
      if (m.name == name) return m.data;
    return "<missing>";
  }
  size_t Files(const std::string& sub) {
    return static_cast<size_t>(
        std::distance(fs::directory_iterator(dir / sub), fs::directory_iterator()));
  }
};

TEST_F(CopyTest, OverwriteModesDecideSameNamedMembers) {
  struct Case {
    const char* what;
    OvrOpts mode;
    std::optional<bool> handlerAnswer;  // none: no handler, the box answers
    int boxAnswer;
    bool replaced;
  } cases[] = {
      {"always", OvrAlways, std::nullopt, 0, true},
      {"never", OvrNever, std::nullopt, 0, false},
      {"ask the handler, yes", OvrConfirm, true, 0, true},
      {"ask the handler, no", OvrConfirm, false, 0, false},
      {"ask with a box, yes", OvrConfirm, std::nullopt, ui::kIdYes, true},
      {"ask with a box, no", OvrConfirm, std::nullopt, ui::kIdNo, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Make(testsupport::CraftZip(SourceMembers()), testsupport::CraftZip(DestinationMembers()));
    ui.boxes.clear();
    std::vector<std::string> asked;
    source.OnCopyZipOverwrite = nullptr;
    if (c.handlerAnswer)
      source.OnCopyZipOverwrite = [&](TZipBuilder* sender, const std::string& name,
                                      bool& overwrite) {
        EXPECT_EQ(sender, &destination);
        EXPECT_FALSE(overwrite);
        asked.push_back(name);
        overwrite = *c.handlerAnswer;
      };
    if (c.boxAnswer) ui.boxAnswers = {c.boxAnswer};
    ASSERT_EQ(Copy({"new2.txt", "SAME.txt", "New1.txt"}, c.mode), 0) << source.Message();

    const std::string result = ReadTextFile(destinationPath);
    const auto view = ViewStoredZip(result);
    ASSERT_TRUE(view.ok);
    std::vector<std::string> names;
    for (const auto& m : view.members) names.push_back(m.name);
    // Destination order first (a replaced member keeps its place), then the new ones in request
    // order.
    EXPECT_EQ(names, (std::vector<std::string>{"own.txt", c.replaced ? "Same.TXT" : "same.txt",
                                               "dir/", "keep.txt", "new2.txt", "new1.txt"}));
    EXPECT_EQ(view.members[1].data, c.replaced ? StoredData(sourceBytes, "Same.TXT")
                                               : StoredData(destinationBytes, "same.txt"));
    EXPECT_EQ(view.members[5].data, StoredData(sourceBytes, "new1.txt"));
    for (const auto& m : view.members) EXPECT_EQ(m.localName, m.name);
    EXPECT_EQ(source.FSpecArgs(),
              c.replaced ? std::vector<std::string>{} : std::vector<std::string>{"same.txt"});
    EXPECT_EQ(asked,
              c.handlerAnswer ? std::vector<std::string>{"same.txt"} : std::vector<std::string>{});
    if (c.boxAnswer) {
      ASSERT_EQ(ui.boxes.size(), 1u);
      EXPECT_EQ(ui.boxes[0].text, "Overwrite file 'same.txt' in '" + destinationPath + "' ?");
      EXPECT_EQ(ui.boxes[0].style, ui::kMbYesNo | ui::kMbIconQuestion | ui::kMbDefButton2);
    } else {
      EXPECT_TRUE(ui.boxes.empty());
    }
    EXPECT_EQ(ReadTextFile(sourcePath), sourceBytes);
    EXPECT_EQ(destination.Count(), 5);  // listed anew; the directory entry is not listed
    EXPECT_EQ(Files("dst"), 1u);
  }
}

TEST_F(CopyTest, DescriptorsAndLongerLocalExtraFieldsTravelWhole) {
  ASSERT_EQ(Copy({"new1.txt", "new2.txt"}, OvrAlways), 0) << source.Message();
  const auto before = ViewStoredZip(sourceBytes),
             after = ViewStoredZip(ReadTextFile(destinationPath));
  ASSERT_TRUE(after.ok);
  const auto& described = after.members[4];
  EXPECT_EQ(described.name, "new1.txt");
  EXPECT_EQ(described.descriptor.substr(0, 12), before.members[1].descriptor.substr(0, 12));
  EXPECT_EQ(described.descriptor.substr(12, 4),
            std::string("PK\x03\x04", 4));  // 12 bytes, no signature
  EXPECT_EQ(after.members[5].localExtra, before.members[2].localExtra);
  EXPECT_EQ(after.members[5].extra, "");
}

TEST_F(CopyTest, StubAndCommentOfTheDestinationStay) {
  testsupport::ArchiveLayout layout;
  layout.stub = "MZ stub and settings";
  layout.comment = "destination comment";
  Make(testsupport::CraftZip(SourceMembers()),
       testsupport::CraftArchive(DestinationMembers(), layout).bytes);
  ASSERT_EQ(Copy({"other.txt"}, OvrAlways), 0) << source.Message();
  const std::string result = ReadTextFile(destinationPath);
  EXPECT_EQ(result.substr(0, layout.stub.size()), layout.stub);
  const auto view = ViewStoredZip(result);
  ASSERT_TRUE(view.ok);
  EXPECT_EQ(view.comment, layout.comment);
  EXPECT_EQ(view.members.back().name, "other.txt");
  EXPECT_EQ(destination.ArchiveStart(), static_cast<int32_t>(layout.stub.size()));
}

TEST_F(CopyTest, RefusalsLeaveBothArchives) {
  TZipBuilder sameName{&env, &ui};
  sameName.Unattended = true;
  sameName.SetFileName(dir / "src/S.ZIP");  // the same name but for letter case
  struct Case {
    const char* what;
    TZipBuilder* target;
    std::vector<std::string> names;
    int message;
    std::string text;
  } cases[] = {
      {"the same component",
       &source,
       {"new1.txt"},
       10180,
       "Source archive is the same as the destination archive!"},
      {"the same archive name", &sameName, {"new1.txt"}, 10180, ""},
      {"a name neither archive holds",
       &destination,
       {"new1.txt", "nowhere.txt"},
       10183,
       "File 'nowhere.txt' is not present in '" + sourcePath + "'!"},
      {"a name only the destination holds, replaced", &destination, {"own.txt"}, 10183, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    source.SetFSpecArgs(c.names);
    EXPECT_EQ(source.CopyZippedFiles(c.target, true, OvrAlways), -7);
    EXPECT_EQ(source.ErrCode(), c.message);
    if (!c.text.empty()) {
      EXPECT_EQ(source.Message(), c.text);
    }
    EXPECT_EQ(source.FSpecArgs(), c.names);
    EXPECT_EQ(ReadTextFile(sourcePath), sourceBytes);
    EXPECT_EQ(ReadTextFile(destinationPath), destinationBytes);
    EXPECT_EQ(Files("src") + Files("dst"), 2u);
    EXPECT_FALSE(source.ZipRunning());
  }
  fs::remove(destinationPath);
  EXPECT_EQ(Copy({"new1.txt"}, OvrAlways), -7);
  EXPECT_EQ(source.ErrCode(), 10185);
  EXPECT_EQ(Files("dst"), 0u);
}

TEST_F(CopyTest, NestedCallsDuringACopyChangeNothing) {
  std::vector<int> nested;
  source.OnCopyZipOverwrite = [&](TZipBuilder*, const std::string&, bool& overwrite) {
    nested.push_back(source.CopyZippedFiles(&destination, true, OvrAlways));
    std::vector<RenameItem> items = {{"new", "old"}};
    std::vector<RenameItem*> list = {&items[0]};
    nested.push_back(source.Rename(list, 0));
    overwrite = true;
  };
  ASSERT_EQ(Copy({"same.txt"}, OvrConfirm), 0);
  EXPECT_EQ(nested, (std::vector<int>{-6, -6}));
  EXPECT_EQ(ReadTextFile(sourcePath), sourceBytes);
}

TEST_F(CopyTest, DeleteFromSourceOnlyOnceTheDestinationHoldsTheMembers) {
  ASSERT_EQ(Copy({"new1.txt", "same.txt"}, OvrNever, true), 0) << source.Message();
  std::vector<std::string> left;
  for (const auto& m : ViewStoredZip(ReadTextFile(sourcePath)).members) left.push_back(m.name);
  // The kept name stays in the source, and is what FSpecArgs holds afterwards.
  EXPECT_EQ(left, (std::vector<std::string>{"Same.TXT", "new2.txt", "other.txt"}));
  EXPECT_EQ(source.FSpecArgs(), std::vector<std::string>{"same.txt"});
  EXPECT_EQ(StoredData(ReadTextFile(destinationPath), "new1.txt"),
            StoredData(sourceBytes, "new1.txt"));

  // The destination cannot take its new version's place: the source keeps everything.
  Make(testsupport::CraftZip(SourceMembers()), testsupport::CraftZip(DestinationMembers()));
  files.Reset();
  files.FailNth(Op::Move, 1);
  EXPECT_EQ(Copy({"new1.txt"}, OvrAlways, true), -7);
  EXPECT_EQ(source.ErrCode(), 11048);
  EXPECT_EQ(ReadTextFile(sourcePath), sourceBytes);
  EXPECT_EQ(ReadTextFile(destinationPath), destinationBytes);
  EXPECT_EQ(source.FSpecArgs(), std::vector<std::string>{"new1.txt"});
  EXPECT_EQ(Files("dst"), 1u);
}

TEST_F(CopyTest, InjectedFailuresLeaveBothArchivesOrTheWholeResult) {
  ASSERT_EQ(Copy({"new1.txt", "same.txt"}, OvrAlways), 0);
  const std::string copied = ReadTextFile(destinationPath);
  for (Op op : {Op::Open, Op::Read, Op::Write, Op::Seek, Op::Move}) {
    int failedRuns = 0;
    for (uint64_t n = 1; n < 200; ++n) {
      SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " call " << n);
      files.Reset();
      Make(sourceBytes, destinationBytes);
      files.Reset();
      files.FailNth(op, n);
      const int result = Copy({"new1.txt", "same.txt"}, OvrAlways);
      if (files.InjectedFailures() == 0) break;
      EXPECT_EQ(ReadTextFile(sourcePath), sourceBytes);
      if (result == 0) {
        EXPECT_EQ(ReadTextFile(destinationPath), copied);
      } else {
        ++failedRuns;
        EXPECT_EQ(result, -7);
        EXPECT_EQ(ReadTextFile(destinationPath), destinationBytes);
      }
      EXPECT_EQ(Files("src") + Files("dst"), 2u);
      EXPECT_FALSE(source.ZipRunning());
    }
    EXPECT_GT(failedRuns, 0) << "op " << static_cast<int>(op);
  }
}

}  // namespace
