// Two objects on one ADT table (as two users): records read in windows and a header refreshed
// from the change counter still show every change of the other user after a refresh; and
// private use (a rewrite's new table) writes its header and memos when it ends.
#include "tests/engine/adt/adt_test_util.h"

namespace adt_test {
namespace {

using ace::FaultInjector;
using ace::IoKind;
using ace::storage::MemoKind;

class AdtSharingTest : public AdtTest {
 protected:
  std::vector<FieldSpec> Fields() {
    return {{"NAME", ace::storage::kFtString, 12, 0, true},
            {"NOTE", ace::storage::kFtMemo, 0, 0, true}};
  }
  void Fill(TableFile& t, uint32_t n) {
    for (uint32_t i = 1; i <= n; ++i) {
      std::vector<std::byte> rec = t.BlankRecord();
      SetBytes(rec, Field(t, "NAME"), "row" + std::to_string(i));
      ASSERT_TRUE(t.AppendRecord(rec.data()).ok());
    }
  }
};

TEST_F(AdtSharingTest, ChangesOfAnotherUserAreSeenAfterARefresh) {
  auto writer = Create("t.adt", Fields());
  ASSERT_NE(writer, nullptr);
  Fill(*writer, 500);
  auto reader = Open("t.adt");
  ASSERT_NE(reader, nullptr);
  std::vector<std::byte> rec(reader->record_length());
  for (uint32_t r = 1; r <= 500; ++r) ASSERT_TRUE(reader->ReadRecord(r, rec.data()).ok());
  ASSERT_TRUE(reader->ReadRecord(7, rec.data()).ok());
  EXPECT_EQ(Bytes(rec, Field(*reader, "NAME"), 4), "row7");

  // The other user rewrites record 7 and appends one.
  std::vector<std::byte> changed(rec);
  SetBytes(changed, Field(*writer, "NAME"), "CHANGED");
  ASSERT_TRUE(writer->WriteRecord(7, changed.data()).ok());
  std::vector<std::byte> added = writer->BlankRecord();
  SetBytes(added, Field(*writer, "NAME"), "added");
  ASSERT_EQ(writer->AppendRecord(added.data()).value(), 501u);

  ASSERT_TRUE(reader->RefreshHeader().ok());
  EXPECT_EQ(reader->record_count(), 501u);
  ASSERT_TRUE(reader->ReadRecord(7, rec.data()).ok());
  EXPECT_EQ(Bytes(rec, Field(*reader, "NAME"), 7), "CHANGED");
  ASSERT_TRUE(reader->ReadRecord(501, rec.data()).ok());
  EXPECT_EQ(Bytes(rec, Field(*reader, "NAME"), 5), "added");

  // Its own writes are read back at once, and the other user sees them after a refresh.
  SetBytes(rec, Field(*reader, "NAME"), "mine");
  ASSERT_TRUE(reader->WriteRecord(8, rec.data()).ok());
  ASSERT_TRUE(reader->ReadRecord(8, rec.data()).ok());
  EXPECT_EQ(Bytes(rec, Field(*reader, "NAME"), 4), "mine");
  ASSERT_TRUE(writer->RefreshHeader().ok());
  ASSERT_TRUE(writer->ReadRecord(8, rec.data()).ok());
  EXPECT_EQ(Bytes(rec, Field(*writer, "NAME"), 4), "mine");
}

// Memos are read in windows too: another user's rewritten, cleared and new memos are seen after
// a refresh, and runs that user freed are never taken from a stale window when this one writes.
TEST_F(AdtSharingTest, MemosOfAnotherUserAreSeenAfterARefreshAndItsFreedRunsStayWhole) {
  auto writer = Create("m.adt", Fields());
  ASSERT_NE(writer, nullptr);
  const FieldDesc& note = Field(*writer, "NOTE");
  auto text = [](const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); };
  auto memo_of = [&](TableFile& t, uint32_t recno) {
    std::vector<std::byte> rec(t.record_length());
    EXPECT_TRUE(t.ReadRecord(recno, rec.data()).ok());
    auto m = t.ReadMemo(rec.data(), Field(t, "NOTE"));
    EXPECT_TRUE(m.ok()) << m.status().message();
    return m.ok() ? std::string(m->begin(), m->end()) : std::string("?");
  };
  for (uint32_t i = 1; i <= 300; ++i) {
    std::vector<std::byte> rec = writer->BlankRecord();
    ASSERT_TRUE(
        writer->WriteMemo(rec.data(), note, text("note " + std::to_string(i)), MemoKind::kText)
            .ok());
    ASSERT_TRUE(writer->AppendRecord(rec.data()).ok());
  }
  auto reader = Open("m.adt");
  ASSERT_NE(reader, nullptr);
  for (uint32_t r = 1; r <= 300; ++r) ASSERT_EQ(memo_of(*reader, r), "note " + std::to_string(r));

  // The other user edits record 5 (a longer memo elsewhere, its old run freed), clears
  // record 6 (its run freed) and appends a record with a memo.
  // Record 4 first gets a memo of the same size, which goes back into its own run.
  std::vector<std::byte> rec(writer->record_length());
  ASSERT_TRUE(writer->ReadRecord(4, rec.data()).ok());
  ASSERT_TRUE(writer->WritePendingMemo(rec.data(), note, text("NEW! 4"), MemoKind::kText).ok());
  ASSERT_TRUE(writer->PostRecord(4, rec.data()).ok());
  ASSERT_TRUE(writer->ReadRecord(5, rec.data()).ok());
  ASSERT_TRUE(writer->WritePendingMemo(rec.data(), note, text(std::string(300, 'x')),
                                       MemoKind::kText).ok());
  ASSERT_TRUE(writer->PostRecord(5, rec.data()).ok());
  ASSERT_TRUE(writer->ReadRecord(6, rec.data()).ok());
  ASSERT_TRUE(writer->WritePendingMemo(rec.data(), note, {}, MemoKind::kText).ok());
  ASSERT_TRUE(writer->PostRecord(6, rec.data()).ok());
  rec = writer->BlankRecord();
  ASSERT_TRUE(writer->WriteMemo(rec.data(), note, text("appended"), MemoKind::kText).ok());
  ASSERT_EQ(writer->AppendRecord(rec.data()).value(), 301u);

  // Before any refresh, this user writes a memo of two blocks: it takes the runs just freed from
  // the free list, which the window read before still shows as memos.
  ASSERT_TRUE(reader->ReadRecord(10, rec.data()).ok());
  ASSERT_TRUE(reader->WriteMemo(rec.data(), Field(*reader, "NOTE"), text(std::string(100, 'y')),
                                MemoKind::kText).ok());
  ASSERT_TRUE(reader->WriteRecord(10, rec.data()).ok());
  ASSERT_TRUE(reader->RefreshHeader().ok());
  EXPECT_EQ(memo_of(*reader, 4), "NEW! 4");
  EXPECT_EQ(memo_of(*reader, 5), std::string(300, 'x'));
  EXPECT_EQ(memo_of(*reader, 6), "");
  EXPECT_EQ(memo_of(*reader, 301), "appended");
  EXPECT_EQ(memo_of(*reader, 7), "note 7");

  // This user now writes memos that fit the freed runs; none may land on a live memo.
  for (uint32_t r : {7u, 8u, 9u}) {
    ASSERT_TRUE(reader->ReadRecord(r, rec.data()).ok());
    ASSERT_TRUE(reader->WritePendingMemo(rec.data(), Field(*reader, "NOTE"),
                                         text("mine " + std::to_string(r)), MemoKind::kText)
                    .ok());
    ASSERT_TRUE(reader->PostRecord(r, rec.data()).ok());
  }
  auto fresh = Open("m.adt");
  ASSERT_NE(fresh, nullptr);
  for (uint32_t r = 1; r <= 301; ++r) {
    std::string want = r == 4 ? "NEW! 4" : r == 5 ? std::string(300, 'x') : r == 6 ? "" : r == 301 ? "appended"
                     : r == 10 ? std::string(100, 'y')
                     : (r >= 7 && r <= 9) ? "mine " + std::to_string(r)
                                          : "note " + std::to_string(r);
    EXPECT_EQ(memo_of(*fresh, r), want) << "record " << r;
  }
  // No block is lost: the header block, the runs of the live memos (each just as long as its
  // memo needs) and the free runs make up the whole file.
  auto space = fresh->MemoSpaceInfo();
  ASSERT_TRUE(space.ok());
  uint32_t live = 0;
  for (uint32_t r = 1; r <= 301; ++r) {
    const size_t length = memo_of(*fresh, r).size();
    if (length > 0) live += static_cast<uint32_t>((ace::storage::adt::kRunHeaderSize + length + 63) / 64);
  }
  EXPECT_EQ(space->block_count, 1 + live + space->free_blocks);
}

TEST_F(AdtSharingTest, ARefreshWithoutChangesTakesNoLockAndReadsOnlyTheCounter) {
  auto t = Create("t.adt", Fields());
  ASSERT_NE(t, nullptr);
  Fill(*t, 10);
  FaultInjector::Reset();
  ASSERT_TRUE(t->RefreshHeader().ok());
  EXPECT_EQ(FaultInjector::Count(IoKind::kRead), 1u);
}

TEST_F(AdtSharingTest, PrivateUseWritesHeaderAndMemosWhenItEnds) {
  auto t = Create("p.adt", Fields());
  ASSERT_NE(t, nullptr);
  ASSERT_TRUE(t->SetPrivate(true).ok());
  for (uint32_t i = 1; i <= 300; ++i) {
    std::vector<std::byte> rec = t->BlankRecord();
    SetBytes(rec, Field(*t, "NAME"), "row" + std::to_string(i));
    std::string note(i * 7, static_cast<char>('a' + i % 26));
    std::vector<uint8_t> bytes(note.begin(), note.end());
    ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "NOTE"), bytes, MemoKind::kText).ok());
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  EXPECT_EQ(t->record_count(), 300u);
  {
    auto other = Open("p.adt", true);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(other->record_count(), 0u);  // nothing of it is in the file yet
  }
  ASSERT_TRUE(t->SetPrivate(false).ok());
  ASSERT_TRUE(t->Flush().ok());
  t.reset();
  auto back = Open("p.adt", true);
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->record_count(), 300u);
  std::vector<std::byte> rec(back->record_length());
  for (uint32_t i = 1; i <= 300; ++i) {
    ASSERT_TRUE(back->ReadRecord(i, rec.data()).ok());
    auto memo = back->ReadMemo(rec.data(), Field(*back, "NOTE"));
    ASSERT_TRUE(memo.ok()) << memo.status().message();
    ASSERT_EQ(memo->size(), i * 7);
    EXPECT_EQ(memo->front(), static_cast<uint8_t>('a' + i % 26));
  }
  auto space = back->MemoSpaceInfo();
  ASSERT_TRUE(space.ok());
  EXPECT_EQ(space->free_runs, 0u);
  EXPECT_EQ(uint64_t{space->block_count} * back->memo_block_size(),
            std::filesystem::file_size(Path("p.adm")));
}

}  // namespace
}  // namespace adt_test
