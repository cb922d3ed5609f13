// The calling thread reads small members' data ahead in large blocks: which
// members a block holds, and that extraction gives the same files whether a
// member comes from a block or from a read of its own.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engines/unzdll/ReadAhead.h"
#include "tests/support/UnzDllFixture.h"

namespace {

using testsupport::CraftedMember;
using testsupport::ReadTextFile;
using testsupport::Repeated;
using unzdll::ReadAhead;

// A source of zero bytes that counts its reads (or fails them).
class CountingSource : public unzdll::ByteSource {
 public:
  explicit CountingSource(uint64_t size, bool failing = false) : size_(size), failing_(failing) {}
  uint64_t Size() const override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    ++reads;
    if (failing_ || offset > size_ || count > size_ - offset) return false;
    std::fill_n(static_cast<uint8_t*>(buffer), count, uint8_t{0});
    return true;
  }
  int reads = 0;

 private:
  uint64_t size_;
  bool failing_;
};

struct Extent {
  uint64_t offset;
  uint64_t compressed;
};

constexpr uint64_t kMiB = 1u << 20;
constexpr uint64_t kFixed = unzdll::kLocalHeaderSize;

// Members one behind the other: fixed header, a 10-byte name, the data.
std::vector<Extent> Packed(int count, uint64_t compressed, uint64_t from = 0) {
  std::vector<Extent> extents;
  for (int i = 0; i < count; ++i) extents.push_back({from + i * (kFixed + 10 + compressed), compressed});
  return extents;
}

TEST(ReadAheadTest, BlocksHoldRunsOfMembersThatFollowOneAnother) {
  struct Case {
    const char* what;
    std::vector<Extent> extents;
    std::vector<size_t> order;  // empty: as listed
    uint64_t dataLimit;
    int reads;                  // block reads tried for every member in order
    std::vector<bool> held;     // per position: in a block
    bool failing = false;       // every read fails: the members go to their workers
  };
  std::vector<Extent> gap = Packed(2, 100);
  gap.push_back({gap.back().offset + kFixed + 100 + ReadAhead::kLargestGap + 1, 100});
  std::vector<Extent> large = Packed(1, 100);
  large.push_back({kFixed + 110, ReadAhead::kBlockSize});
  large.push_back({2 * kFixed + 120 + ReadAhead::kBlockSize, 100});
  const std::vector<Case> cases = {
      {"small members in file order: one block", Packed(20, 1000), {}, 30 * kMiB, 1, std::vector<bool>(20, true)},
      {"a block ends at its size", Packed(12, 200000), {}, 30 * kMiB, 2, std::vector<bool>(12, true)},
      {"listed backwards: a block each", Packed(3, 1000), {2, 1, 0}, 30 * kMiB, 3, {true, true, true}},
      {"a long gap ends a run", gap, {}, 30 * kMiB, 2, {true, true, true}},
      {"a large member is read by its worker", large, {}, 30 * kMiB, 2, {true, false, true}},
      {"past the data: no block", Packed(2, 1000), {}, kFixed + 1010, 1, {true, false}},
      {"a failed read: no block", Packed(1, 100), {}, 30 * kMiB, 1, {false}, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<unzdll::Member> members;
    for (const Extent& e : c.extents) {
      unzdll::Member m;
      m.localHeaderOffset = e.offset;
      m.compressedSize = e.compressed;
      members.push_back(m);
    }
    std::vector<size_t> order = c.order;
    for (size_t i = 0; order.size() < members.size(); ++i) order.push_back(i);
    CountingSource source(40 * kMiB, c.failing);
    ReadAhead ahead(source, members, order, c.dataLimit);
    for (size_t position = 0; position < order.size(); ++position) {
      const unzdll::Member& m = members[order[position]];
      std::shared_ptr<const unzdll::ArchiveBlock> block = ahead.For(position);
      ASSERT_EQ(block != nullptr, c.held[position]) << position;
      if (!block) continue;
      EXPECT_LE(block->Size(), ReadAhead::kBlockSize);
      EXPECT_NE(block->Find(m.localHeaderOffset, kFixed + 10 + m.compressedSize), nullptr) << position;
      EXPECT_EQ(ahead.For(position), block) << "asked again: the same block";
    }
    EXPECT_EQ(source.reads, c.reads);
    EXPECT_EQ(static_cast<int>(ahead.BlocksRead()), c.failing ? 0 : c.reads);
  }
}

using ReadAheadRunTest = testsupport::UnzDllTest;

// Members from blocks, members whose local names outgrow the room guessed for
// them, large ones read by their workers and encrypted ones read into the
// worker's own buffer all come out whole; the same archive tested passes.
TEST_F(ReadAheadRunTest, EveryKindOfMemberComesOutWhole) {
  std::vector<CraftedMember> members;
  for (int i = 0; i < 300; ++i) members.push_back({"d" + std::to_string(i % 7) + "/s" + std::to_string(i), Repeated(i * 37 % 3000), i % 2 == 0});
  members[10].localExtra = std::string(3000, 'x');  // beyond the room guessed
  members[11].dataDescriptor = true;
  members[20] = {"big-stored.bin", Repeated(700000), false};
  members[21] = {"big-deflated.bin", Repeated(900000), true};
  members[30].password = "secret";
  members[31] = {"d1/", ""};
  const std::string archive = Archive(members);
  for (bool test : {false, true}) {
    SCOPED_TRACE(test ? "testing" : "extracting");
    testsupport::UnzRun run = RunOn(archive);
    run.test = test;
    run.password = "secret";
    Run(run);
    EXPECT_EQ(run.result, 300);
    EXPECT_EQ(run.Count(kActionSkipped), 0);
  }
  for (const CraftedMember& m : members) {
    if (m.name.back() != '/') {
      EXPECT_EQ(ReadTextFile(out_ + "/" + m.name), m.data) << m.name;
    }
  }
}

}  // namespace
