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

// A run appended in private use is written at once; it holds what appending its records one by
// one gives (autoincrement values, deletion marks, row versions), and a record refused in the
// middle appends none of the run.
TEST_F(AdtSharingTest, ARunAppendedInPrivateUseMatchesSingleAppends) {
  const std::vector<FieldSpec> fields = {{"ID", ace::storage::kFtAutoInc, 0, 0, false},
                                         {"NAME", ace::storage::kFtNVarchar, 8, 0, true},
                                         {"VER", ace::storage::kFtRowVersion, 0, 0, false}};
  auto one = Create("one.adt", fields);
  auto run = Create("run.adt", fields);
  ASSERT_NE(one, nullptr);
  ASSERT_NE(run, nullptr);
  const size_t len = one->record_length();
  std::vector<std::byte> images;
  for (uint32_t i = 0; i < 50; ++i) {
    std::vector<std::byte> rec = one->BlankRecord();
    const FieldDesc& name = Field(*one, "NAME");
    std::u16string text = u"n" + std::u16string(1, static_cast<char16_t>(u'a' + i % 26));
    std::memcpy(rec.data() + name.offset, text.data(), text.size() * 2);
    ace::storage::adt::Put16(rec.data() + name.offset + name.length,
                             static_cast<uint16_t>(text.size()));
    if (i == 20) SetU32(rec, Field(*one, "ID"), 100);  // an explicit value moves the next one
    one->SetDeleted(rec.data(), i % 9 == 4);
    images.insert(images.end(), rec.begin(), rec.end());
  }
  for (uint32_t i = 0; i < 50; ++i) ASSERT_TRUE(one->AppendRecord(images.data() + i * len).ok());
  ASSERT_TRUE(run->SetPrivate(true).ok());
  ASSERT_TRUE(run->AppendRecords(images.data(), 30).ok());
  ASSERT_TRUE(run->AppendRecords(images.data() + 30 * len, 20).ok());

  // A length word beyond its field refuses the run; nothing of it is appended.
  std::vector<std::byte> bad(images.begin(), images.begin() + 3 * len);
  const FieldDesc& name = Field(*run, "NAME");
  ace::storage::adt::Put16(bad.data() + len + name.offset + name.length, 60);
  EXPECT_EQ(run->AppendRecords(bad.data(), 3).code(), ace::kErrInvalidArgument);
  ASSERT_TRUE(run->SetPrivate(false).ok());
  ASSERT_TRUE(run->Flush().ok());

  auto back = Open("run.adt");
  ASSERT_NE(back, nullptr);
  ASSERT_EQ(back->record_count(), 50u);
  std::vector<std::byte> a(len), b(len);
  for (uint32_t r = 1; r <= 50; ++r) {
    ASSERT_TRUE(one->ReadRecord(r, a.data()).ok());
    ASSERT_TRUE(back->ReadRecord(r, b.data()).ok());
    EXPECT_EQ(0, std::memcmp(a.data(), b.data(), len)) << "record " << r;
  }
  // The next append after the run goes on numbering where the run left off.
  std::vector<std::byte> next = back->BlankRecord();
  ASSERT_EQ(back->AppendRecord(next.data()).value(), 51u);
  ASSERT_TRUE(back->ReadRecord(51, b.data()).ok());
  EXPECT_EQ(U32(b, Field(*back, "ID")), 130u);  // 1..20, 100 given, 101..129
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
