// The fixture of the renaming and copying tests: a source and a destination
// archive, crafted members with every form of header, and all-or-nothing runs
// under injected file-system failures.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <set>
#include <sstream>

#include "platform/Env.h"
#include "tests/support/CraftedZip.h"
#include "tests/support/FaultInjectingEnv.h"
#include "tests/support/PeerTools.h"
#include "tests/support/StoredZipView.h"
#include "tests/support/TempDir.h"
#include "ui/ScriptedUi.h"
#include "zipbuilder/ZipBuilder.h"

namespace copyrename {

namespace fs = std::filesystem;
using Op = platform::FaultInjectingFileSystem::Op;
using testsupport::CraftedMember;
using testsupport::CraftZip;
using testsupport::ReadTextFile;
using testsupport::ViewStoredZip;

inline const uint32_t kDay1 = testsupport::DosDateTime(2001, 2, 3, 4, 5, 6);
inline const uint32_t kDay2 = testsupport::DosDateTime(2010, 11, 12, 13, 14, 16);

inline std::vector<CraftedMember> Tree() {
  return {{"docs/readme.txt", "read me"},
          {"docs/x.txt", std::string(3000, 'x'), true},
          {"old/a.txt", "a"},
          {"x/old/b.txt", "b"},
          {"bold/c.txt", "c"},
          {"data.txt", "data"},
          {"a.txt", "top a"}};
}

inline std::vector<CraftedMember> DestinationMembers() {
  return {{"own.txt", "destination's own"}, {"same.txt", "destination's same"}, {"dir/", ""}};
}

inline std::vector<CraftedMember> SourceMembers() {
  CraftedMember secret("Same.TXT", "source's same", true), described("new1.txt", "11111", true),
      longLocalExtra("new2.txt", "two");
  secret.password = "pw";
  described.dataDescriptor = true;
  described.descriptorSignature = false;
  longLocalExtra.localExtra = std::string("\x55\x54\x05\x00\x01\x00\x00\x00\x00", 9);
  return {secret, described, longLocalExtra, {"other.txt", "not asked for"}};
}

inline std::string Joined(const testsupport::StoredZipView& view) {
  std::string names;
  for (const auto& m : view.members) names += (names.empty() ? "" : " ") + m.name;
  return names;
}

struct CopyRenameTest : ::testing::Test, testsupport::FaultInjectingEnv {
  ui::ScriptedUi ui;
  TZipBuilder zip{&env, &ui}, destination{&env, &ui};
  std::string path = dir / "src/s.zip", destinationPath = dir / "dst/d.zip";

  void SetUp() override {
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    for (TZipBuilder* z : {&zip, &destination}) {
      z->Unattended = true;
      z->HowToDelete = htdFinal;
      z->SetDLLDirectory(ZB_BINARY_DIR);
    }
  }
  std::string Use(TZipBuilder& z, const std::string& bytes) {
    testsupport::WriteTextFile(&z == &zip ? path : destinationPath, bytes);
    z.SetFileName(&z == &zip ? path : destinationPath);
    return bytes;
  }
  std::string Use(const std::string& bytes) { return Use(zip, bytes); }
  int Rename(std::vector<RenameItem> items, uint32_t dateTime = 0) {
    std::vector<RenameItem*> list;
    for (auto& item : items) list.push_back(&item);
    return zip.Rename(list, dateTime);
  }
  int Copy(std::vector<std::string> names, OvrOpts mode, bool deleteFromSource = false) {
    zip.SetFSpecArgs(names);
    return zip.CopyZippedFiles(&destination, deleteFromSource, mode);
  }
  size_t Files() {
    size_t n = 0;
    for (const char* sub : {"src", "dst"})
      n += static_cast<size_t>(
          std::distance(fs::directory_iterator(dir / sub), fs::directory_iterator()));
    return n;
  }
  // Fails the n-th call of each kind in turn, from the first until a run meets no
  // failure: each run ends with both archives either as `before` or as `after`
  // (then with result 0), and no temporary file left.
  void ExpectAllOrNothing(const std::string& source, const std::string& target,
                          const std::function<int()>& run) {
    files.Reset();
    Use(zip, source);
    Use(destination, target);
    ASSERT_EQ(run(), 0) << zip.Message();
    const std::string sourceAfter = ReadTextFile(path), targetAfter = ReadTextFile(destinationPath);
    for (Op op : {Op::Open, Op::Read, Op::Write, Op::Seek, Op::Move}) {
      int failed = 0;
      for (uint64_t n = 1; n < 200; ++n) {
        SCOPED_TRACE(testing::Message() << "op " << static_cast<int>(op) << " call " << n);
        files.Reset();
        Use(zip, source);
        Use(destination, target);
        files.Reset();
        files.FailNth(op, n);
        const int result = run();
        if (files.InjectedFailures() == 0) break;
        failed += result != 0;
        EXPECT_EQ(ReadTextFile(path), result ? source : sourceAfter);
        EXPECT_EQ(ReadTextFile(destinationPath), result ? target : targetAfter);
        EXPECT_TRUE(result == 0 || (result == -7 && zip.ErrCode() != 0)) << result;
        EXPECT_EQ(Files(), 2u);
        EXPECT_FALSE(zip.ZipRunning());
      }
      EXPECT_GT(failed, 0) << "op " << static_cast<int>(op);
    }
  }
};


// Little-endian bytes of `v`, and back.
inline std::string Le(uint64_t v, int width) {
  std::string b;
  for (int i = 0; i < width; ++i) b += static_cast<char>(v >> (8 * i));
  return b;
}
inline uint64_t LoadLe(const std::string& bytes, size_t at, int width) {
  uint64_t v = 0;
  for (int i = 0; i < width; ++i) v |= uint64_t{static_cast<uint8_t>(bytes[at + i])} << (8 * i);
  return v;
}

}  // namespace
