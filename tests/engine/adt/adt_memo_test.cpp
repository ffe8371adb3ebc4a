// ADT memo file: memos of 0, 1 and several MB, kinds, many rewrites (no two memos in one block,
// bounded file growth, reuse of released runs), memo pointers that do not check out.
#include <algorithm>
#include <map>
#include <random>

#include "tests/engine/adt/adt_test_util.h"

namespace adt_test {
namespace {

using namespace ace::storage;
using ace::storage::adt::AdtMemoFile;
using ace::storage::adt::Get32;

std::vector<uint8_t> Pattern(size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 31 + (i >> 8));
  return v;
}

class AdtMemoTest : public AdtTest {
 protected:
  void SetUp() override {
    AdtTest::SetUp();
    table_ = Create("memo.adt", {{"Id", kFtInteger},
                                 {"Notes", kFtMemo},
                                 {"Blob", kFtBinary},
                                 {"Pic", kFtImage},
                                 {"Wide", kFtNMemo}});
    ASSERT_TRUE(table_);
  }
  const FieldDesc& F(const char* name) { return Field(*table_, name); }

  std::unique_ptr<AdtTableFile> table_;
};

TEST_F(AdtMemoTest, MemosOfZeroOneAndSeveralMegabytesRoundTripAfterReopen) {
  auto rec = table_->BlankRecord();
  std::vector<uint8_t> one = {0x42};
  std::vector<uint8_t> big = Pattern(3 * 1024 * 1024 + 17, 7);
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Notes"), {}, MemoKind::kText).ok());
  EXPECT_EQ(U32(rec, F("Notes")), 0u);
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Blob"), one, MemoKind::kBinary).ok());
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Pic"), big, MemoKind::kImage).ok());
  EXPECT_NE(U32(rec, F("Blob")), 0u);
  ASSERT_TRUE(table_->AppendRecord(rec.data()).ok());
  table_.reset();

  table_ = Open("memo.adt");
  ASSERT_TRUE(table_);
  std::vector<std::byte> r(table_->record_length());
  ASSERT_TRUE(table_->ReadRecord(1, r.data()).ok());
  auto notes = table_->ReadMemo(r.data(), F("Notes"));
  ASSERT_TRUE(notes.ok());
  EXPECT_TRUE(notes->empty());
  EXPECT_EQ(table_->MemoLength(r.data(), F("Notes")).value(), 0u);
  EXPECT_EQ(table_->ReadMemo(r.data(), F("Blob")).value(), one);
  EXPECT_EQ(table_->MemoType(r.data(), F("Blob")).value(), MemoKind::kBinary);
  auto pic = table_->ReadMemo(r.data(), F("Pic"));
  ASSERT_TRUE(pic.ok());
  EXPECT_EQ(pic.value(), big);
  EXPECT_EQ(table_->MemoLength(r.data(), F("Pic")).value(), big.size());
  EXPECT_EQ(table_->MemoType(r.data(), F("Pic")).value(), MemoKind::kImage);
  EXPECT_EQ(table_->MemoType(r.data(), F("Notes")).value(), MemoKind::kText);
}

TEST_F(AdtMemoTest, ManyRewritesNeverShareBlocksAndKeepTheFileBounded) {
  // Ten records, each with a memo rewritten 300 times with lengths from 0 to 20 KB; after every
  // round each record's memo must read back exactly, and the runs must not overlap.
  constexpr int kRecords = 10;
  std::vector<std::vector<std::byte>> recs;
  for (int i = 0; i < kRecords; ++i) {
    recs.push_back(table_->BlankRecord());
    ASSERT_TRUE(table_->AppendRecord(recs.back().data()).ok());
  }
  std::mt19937 rng(1234);
  std::vector<std::vector<uint8_t>> expect(kRecords);
  uint64_t largest_live = 0;
  uint32_t max_blocks = 0;
  for (int round = 0; round < 300; ++round) {
    int i = static_cast<int>(rng() % kRecords);
    size_t n = rng() % 20000;
    if (round % 50 == 0) n = 0;
    expect[i] = Pattern(n, static_cast<uint8_t>(round));
    ASSERT_TRUE(table_->WriteMemo(recs[i].data(), F("Notes"), expect[i], MemoKind::kText).ok());
    ASSERT_TRUE(table_->WriteRecord(i + 1, recs[i].data()).ok());

    uint64_t live = 0;
    std::vector<std::pair<uint32_t, uint32_t>> runs;  // first block, blocks
    for (int k = 0; k < kRecords; ++k) {
      auto got = table_->ReadMemo(recs[k].data(), F("Notes"));
      ASSERT_TRUE(got.ok()) << got.status().message();
      ASSERT_EQ(got.value(), expect[k]) << "record " << k << " round " << round;
      uint32_t block = U32(recs[k], F("Notes"));
      if (block != 0) {
        runs.push_back({block, static_cast<uint32_t>((16 + expect[k].size() + 63) / 64)});
      }
      if (!expect[k].empty()) live += (16 + expect[k].size() + 63) / 64;
    }
    std::sort(runs.begin(), runs.end());
    for (size_t k = 1; k < runs.size(); ++k) {
      ASSERT_GE(runs[k].first, runs[k - 1].first + runs[k - 1].second) << "memos share a block";
    }
    largest_live = std::max(largest_live, live);
    auto space = table_->MemoSpaceInfo();
    ASSERT_TRUE(space.ok()) << space.status().message();
    max_blocks = std::max(max_blocks, space->block_count);
    // Everything in the file is either a live memo, free, or the header block.
    EXPECT_EQ(space->block_count, 1 + live + space->free_blocks);
  }
  // Released runs are reused and merged: the file never grows past a small multiple of what
  // the live memos need (without reuse 300 rewrites of ~10 KB would need ~47000 blocks).
  EXPECT_LT(max_blocks, 3 * largest_live + 400);
  auto size = ace::File::Open(Path("memo.adm"), ace::OpenMode::kReadOnly)->Size();
  EXPECT_EQ(size.value(), uint64_t{table_->MemoSpaceInfo()->block_count} * 64);
}

TEST_F(AdtMemoTest, ShorterRewriteStaysInPlaceAndClearingShrinksTheFile) {
  auto rec = table_->BlankRecord();
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Notes"), Pattern(1000, 1), MemoKind::kText).ok());
  uint32_t first = U32(rec, F("Notes"));
  auto other = table_->BlankRecord();
  ASSERT_TRUE(table_->WriteMemo(other.data(), F("Notes"), Pattern(100, 2), MemoKind::kText).ok());
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Notes"), Pattern(10, 3), MemoKind::kText).ok());
  EXPECT_EQ(U32(rec, F("Notes")), first);
  auto space = table_->MemoSpaceInfo().value();
  EXPECT_EQ(space.free_runs, 1u);  // the surplus of the shortened memo
  EXPECT_EQ(table_->ReadMemo(other.data(), F("Notes")).value(), Pattern(100, 2));
  // A longer memo grows into the free surplus right behind it and stays where it was.
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Notes"), Pattern(900, 4), MemoKind::kText).ok());
  EXPECT_EQ(U32(rec, F("Notes")), first);
  space = table_->MemoSpaceInfo().value();
  EXPECT_EQ(space.free_runs, 1u);
  EXPECT_EQ(space.free_blocks, 1u);
  EXPECT_EQ(table_->ReadMemo(rec.data(), F("Notes")).value(), Pattern(900, 4));
  // Clearing the last memo of the file cuts the file back.
  ASSERT_TRUE(table_->WriteMemo(other.data(), F("Notes"), {}, MemoKind::kText).ok());
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Notes"), {}, MemoKind::kText).ok());
  space = table_->MemoSpaceInfo().value();
  EXPECT_EQ(space.block_count, 1u);
  EXPECT_EQ(space.free_runs, 0u);
}

TEST_F(AdtMemoTest, GrowingMemoAtTheEndStaysInPlaceAndOthersMoveOut) {
  auto a = table_->BlankRecord();
  auto b = table_->BlankRecord();
  ASSERT_TRUE(table_->WriteMemo(a.data(), F("Notes"), Pattern(100, 1), MemoKind::kText).ok());
  ASSERT_TRUE(table_->WriteMemo(b.data(), F("Notes"), Pattern(100, 2), MemoKind::kText).ok());
  uint32_t b_block = U32(b, F("Notes"));
  for (size_t n = 200; n <= 5000; n += 300) {
    ASSERT_TRUE(table_->WriteMemo(b.data(), F("Notes"), Pattern(n, 3), MemoKind::kText).ok());
    EXPECT_EQ(U32(b, F("Notes")), b_block);  // last run of the file: grows in place
  }
  auto space = table_->MemoSpaceInfo().value();
  EXPECT_EQ(space.free_runs, 0u);
  EXPECT_EQ(space.block_count, 1 + 2 + (16 + 5000 + 63) / 64);
  // a is followed by a memo, so a longer a moves and its old run becomes free.
  uint32_t a_block = U32(a, F("Notes"));
  ASSERT_TRUE(table_->WriteMemo(a.data(), F("Notes"), Pattern(1000, 4), MemoKind::kText).ok());
  EXPECT_NE(U32(a, F("Notes")), a_block);
  EXPECT_EQ(table_->MemoSpaceInfo()->free_runs, 1u);
  EXPECT_EQ(table_->ReadMemo(a.data(), F("Notes")).value(), Pattern(1000, 4));
  EXPECT_EQ(table_->ReadMemo(b.data(), F("Notes")).value(), Pattern(5000, 3));
}

TEST_F(AdtMemoTest, PointersThatDoNotCheckOutAreCorruptNotCrashes) {
  auto rec = table_->BlankRecord();
  ASSERT_TRUE(table_->WriteMemo(rec.data(), F("Notes"), Pattern(500, 9), MemoKind::kText).ok());
  uint32_t block = U32(rec, F("Notes"));
  auto bad = rec;
  SetU32(bad, F("Notes"), 1000000);  // past the end
  auto r = table_->ReadMemo(bad.data(), F("Notes"));
  EXPECT_EQ(r.status().code(), ace::kErrCorruptFile);
  EXPECT_NE(r.status().message().find("past the end"), std::string::npos) << r.status().message();
  EXPECT_EQ(table_->MemoLength(bad.data(), F("Notes")).status().code(), ace::kErrCorruptFile);
  SetU32(bad, F("Notes"), block + 2);  // inside a memo, not at its start
  EXPECT_EQ(table_->ReadMemo(bad.data(), F("Notes")).status().code(), ace::kErrCorruptFile);
  // Overwriting a bad pointer stores the new memo elsewhere and leaves the good one alone.
  ASSERT_TRUE(table_->WriteMemo(bad.data(), F("Notes"), Pattern(20, 1), MemoKind::kText).ok());
  EXPECT_EQ(table_->ReadMemo(rec.data(), F("Notes")).value(), Pattern(500, 9));
  EXPECT_EQ(table_->ReadMemo(bad.data(), F("Notes")).value(), Pattern(20, 1));
  // A field that is not a memo field of this table is refused.
  EXPECT_EQ(table_->ReadMemo(rec.data(), F("Id")).status().code(), ace::kErrInvalidArgument);

  // A run header whose length claims more than its run is corrupt.
  table_.reset();
  {
    auto f = ace::File::Open(Path("memo.adm"), ace::OpenMode::kReadWrite);
    std::byte len[4];
    ace::storage::adt::Put32(len, 0x7FFFFFFF);
    ASSERT_TRUE(f->WriteAt(uint64_t{block} * 64 + 4, len, 4).ok());
  }
  table_ = Open("memo.adt");
  ASSERT_TRUE(table_);
  EXPECT_EQ(table_->ReadMemo(rec.data(), F("Notes")).status().code(), ace::kErrCorruptFile);
}

TEST_F(AdtMemoTest, TwoObjectsOnOneMemoFileDoNotHandOutTheSameBlocks) {
  auto other = Open("memo.adt");
  ASSERT_TRUE(other);
  auto a = table_->BlankRecord();
  auto b = other->BlankRecord();
  for (int i = 0; i < 20; ++i) {
    ASSERT_TRUE(
        table_->WriteMemo(a.data(), F("Notes"), Pattern(300 + i * 50, 1), MemoKind::kText).ok());
    ASSERT_TRUE(
        other
            ->WriteMemo(b.data(), Field(*other, "Notes"), Pattern(700 - i * 20, 2), MemoKind::kText)
            .ok());
    ASSERT_EQ(table_->ReadMemo(a.data(), F("Notes")).value(), Pattern(300 + i * 50, 1));
    ASSERT_EQ(other->ReadMemo(b.data(), Field(*other, "Notes")).value(), Pattern(700 - i * 20, 2));
  }
}

TEST_F(AdtMemoTest, MemoFileWithUnknownVersionOrForeignTableIsRefused) {
  table_.reset();
  {
    auto f = ace::File::Open(Path("memo.adm"), ace::OpenMode::kReadWrite);
    std::byte v{9};
    ASSERT_TRUE(f->WriteAt(8, &v, 1).ok());
  }
  auto r = AdtTableFile::Open(Path("memo.adt"), {});
  EXPECT_EQ(r.status().code(), ace::kErrUnsupportedVersion);
  // A memo file of another table (another table id) is not taken for this one's.
  ASSERT_TRUE(ace::RemoveFile(Path("memo.adm")).ok());
  auto m = AdtMemoFile::Create(Path("memo.adm"), 64, 12345, ace::OpenMode::kCreateNew);
  ASSERT_TRUE(m.ok());
  r = AdtTableFile::Open(Path("memo.adt"), {});
  EXPECT_EQ(r.status().code(), ace::kErrCorruptFile);
  ASSERT_TRUE(ace::RemoveFile(Path("memo.adm")).ok());
  r = AdtTableFile::Open(Path("memo.adt"), {});
  EXPECT_EQ(r.status().code(), ace::kErrFileNotFound);
}

}  // namespace
}  // namespace adt_test
