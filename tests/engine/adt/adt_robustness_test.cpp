// ADT tables under damage and restructuring: truncated and corrupt headers, bad descriptors,
// record counts that disagree with the file, pack and zap (also interrupted at each rename),
// deleted-record reuse, and record offsets beyond 4 GiB.
#include "tests/engine/adt/adt_test_util.h"

namespace adt_test {
namespace {

using namespace ace::storage;
using namespace ace::storage::adt;

std::vector<uint8_t> Text(const std::string& s) {
  return {s.begin(), s.end()};
}

class AdtFileTest : public AdtTest {
 protected:
  // A table of n records: Id autoinc, N integer = record number, Notes memo "note <n>".
  void MakeTable(const std::string& name, uint32_t n) {
    auto t = Create(name, {{"Id", kFtAutoInc}, {"N", kFtInteger}, {"Notes", kFtMemo}});
    ASSERT_TRUE(t);
    for (uint32_t i = 1; i <= n; ++i) {
      auto rec = t->BlankRecord();
      SetU32(rec, Field(*t, "N"), i);
      ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "Notes"), Text("note " + std::to_string(i)),
                               MemoKind::kText)
                      .ok());
      ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
    }
  }
  void Poke(const std::string& name, uint64_t offset, const void* bytes, size_t n) {
    auto f = ace::File::Open(Path(name), ace::OpenMode::kReadWrite);
    ASSERT_TRUE(f.ok());
    ASSERT_TRUE(f->WriteAt(offset, bytes, n).ok());
  }
  void Poke32(const std::string& name, uint64_t offset, uint32_t v) {
    std::byte b[4];
    Put32(b, v);
    Poke(name, offset, b, 4);
  }
  // Rewrites the header checksum so that a deliberately bad value behind it is what gets seen.
  void FixCrc(const std::string& name) {
    auto f = ace::File::Open(Path(name), ace::OpenMode::kReadWrite);
    std::byte h[kHeaderSize];
    ASSERT_TRUE(f->ReadAt(0, h, sizeof h).ok());
    std::vector<std::byte> all(Get64(h + kOffDataOffset));
    ASSERT_TRUE(f->ReadAt(0, all.data(), all.size()).ok());
    std::memset(all.data() + kOffCrc, 0, 4);
    std::memset(all.data() + kOffMutable, 0, kMutableSize);
    std::byte crc[4];
    Put32(crc, Crc32(0, all.data(), all.size()));
    ASSERT_TRUE(f->WriteAt(kOffCrc, crc, 4).ok());
  }
  uint32_t OpenCode(const std::string& name) {
    auto t = AdtTableFile::Open(Path(name), {});
    return t.status().code();
  }
  // The N values of the live records, in record order.
  std::vector<uint32_t> Values(AdtTableFile& t) {
    std::vector<uint32_t> out;
    std::vector<std::byte> r(t.record_length());
    for (uint32_t i = 1; i <= t.record_count(); ++i) {
      EXPECT_TRUE(t.ReadRecord(i, r.data()).ok());
      if (!t.IsDeleted(r.data())) out.push_back(U32(r, Field(t, "N")));
    }
    return out;
  }
  void DeleteRecord(AdtTableFile& t, uint32_t recno) {
    std::vector<std::byte> r(t.record_length());
    ASSERT_TRUE(t.ReadRecord(recno, r.data()).ok());
    t.SetDeleted(r.data(), true);
    ASSERT_TRUE(t.WriteRecord(recno, r.data()).ok());
  }
};

TEST_F(AdtFileTest, DamagedHeadersAreRefusedWithClearCodes) {
  MakeTable("t.adt", 3);
  auto size = ace::File::Open(Path("t.adt"), ace::OpenMode::kReadOnly)->Size().value();
  std::vector<std::byte> original(size);
  ASSERT_TRUE(ace::File::Open(Path("t.adt"), ace::OpenMode::kReadOnly)
                  ->ReadAt(0, original.data(), size)
                  .ok());
  auto restore = [&] {
    auto f = ace::File::Open(Path("t.adt"), ace::OpenMode::kCreateTruncate);
    ASSERT_TRUE(f->WriteAt(0, original.data(), original.size()).ok());
  };
  // Truncated inside the header and inside the descriptors.
  for (uint64_t cut : {uint64_t{0}, uint64_t{5}, uint64_t{100}, uint64_t{300}}) {
    ASSERT_TRUE(ace::File::Open(Path("t.adt"), ace::OpenMode::kReadWrite)->Truncate(cut).ok());
    EXPECT_EQ(OpenCode("t.adt"), ace::kErrCorruptFile) << "cut at " << cut;
    restore();
  }
  EXPECT_EQ(OpenCode("t.adt"), 0u);
  Poke("t.adt", 0, "XADT", 4);
  EXPECT_EQ(OpenCode("t.adt"), ace::kErrCorruptFile);
  restore();
  std::byte v{2};
  Poke("t.adt", kOffVersion, &v, 1);
  EXPECT_EQ(OpenCode("t.adt"), ace::kErrUnsupportedVersion);
  restore();
  std::byte flags{0x80};
  Poke("t.adt", kOffFlags, &flags, 1);
  EXPECT_EQ(OpenCode("t.adt"), ace::kErrUnsupportedVersion);
  restore();
  // The encrypted flag without the key block it promises is a damaged header.
  std::byte enc{kFlagEncrypted};
  Poke("t.adt", kOffFlags, &enc, 1);
  EXPECT_EQ(OpenCode("t.adt"), ace::kErrCorruptFile);
  restore();
  // A flipped bit in a field name is caught by the checksum.
  std::byte x{'Q'};
  Poke("t.adt", kHeaderSize + kDescSize + 0, &x, 1);
  auto r = AdtTableFile::Open(Path("t.adt"), {});
  EXPECT_EQ(r.status().code(), ace::kErrCorruptFile);
  EXPECT_NE(r.status().message().find("checksum"), std::string::npos);
  restore();
  EXPECT_EQ(OpenCode("t.adt"), 0u);
}

TEST_F(AdtFileTest, BadFieldDescriptorsAreCorruptEvenWithAValidChecksum) {
  MakeTable("t.adt", 1);
  auto original = ace::File::Open(Path("t.adt"), ace::OpenMode::kReadOnly);
  std::vector<std::byte> bytes(original->Size().value());
  ASSERT_TRUE(original->ReadAt(0, bytes.data(), bytes.size()).ok());
  auto restore = [&] {
    auto f = ace::File::Open(Path("t.adt"), ace::OpenMode::kCreateTruncate);
    ASSERT_TRUE(f->WriteAt(0, bytes.data(), bytes.size()).ok());
  };
  const uint64_t second = kHeaderSize + kDescSize;  // descriptor of N
  struct Damage {
    uint64_t offset;
    uint32_t value;
    size_t width;
  };
  const Damage damages[] = {
      {second + kDescOffType, 19, 2},        // a type ADT does not hold
      {second + kDescOffLength, 5, 4},       // integer of length 5
      {second + kDescOffOffset, 3, 4},       // overlaps the record header
      {second + kDescOffDecimals, 2, 2},     // decimals on an integer
      {kOffRecordLength, 999, 4},            // record length not matching
      {kOffFieldCount, 0, 2},                // no fields
      {kOffMemoBlockSize, 0, 2},             // memo field without block size
      {kOffCharType, 7, 2},                  // unknown char type
      {second + kDescOffName, 0x20, 1},      // name starting with a blank
      {kHeaderSize + kDescOffName, 'N', 1},  // Id renamed "Nd": fine ...
  };
  for (const auto& d : damages) {
    std::byte b[4];
    Put32(b, d.value);
    Poke("t.adt", d.offset, b, d.width);
    FixCrc("t.adt");
    uint32_t code = OpenCode("t.adt");
    if (d.offset == kHeaderSize + kDescOffName) {
      EXPECT_EQ(code, 0u);
    } else {
      EXPECT_EQ(code, ace::kErrCorruptFile) << "damage at " << d.offset;
    }
    restore();
  }
  // Two names equal but for case.
  Poke("t.adt", kHeaderSize + kDescOffName, "n\0", 2);
  FixCrc("t.adt");
  EXPECT_EQ(OpenCode("t.adt"), ace::kErrCorruptFile);
}

TEST_F(AdtFileTest, RecordCountBeyondTheFileOpensWithTheRecordsThere) {
  MakeTable("t.adt", 5);
  uint32_t reclen = 0;
  uint64_t data_offset = 0;
  {
    auto t = Open("t.adt");
    reclen = t->record_length();
    data_offset = RecordOffset(kHeaderSize + 3 * kDescSize, reclen, 1);
  }
  // Cut the file in the middle of record 4: records 1 to 3 remain.
  ASSERT_TRUE(ace::File::Open(Path("t.adt"), ace::OpenMode::kReadWrite)
                  ->Truncate(data_offset + 3 * reclen + reclen / 2)
                  .ok());
  auto t = Open("t.adt");
  ASSERT_TRUE(t);
  EXPECT_EQ(t->record_count(), 3u);
  EXPECT_EQ(Values(*t), (std::vector<uint32_t>{1, 2, 3}));
  // A count larger than the file claims nothing either.
  Poke32("t.adt", kOffRecordCount, 1000000);
  ASSERT_TRUE(t->RefreshHeader().ok());
  EXPECT_EQ(t->record_count(), 3u);
  // Appending continues after the records that are really there.
  auto rec = t->BlankRecord();
  SetU32(rec, Field(*t, "N"), 99);
  auto n = t->AppendRecord(rec.data());
  ASSERT_TRUE(n.ok());
  EXPECT_EQ(n.value(), 4u);
  t.reset();
  auto again = Open("t.adt");
  EXPECT_EQ(Values(*again), (std::vector<uint32_t>{1, 2, 3, 99}));
}

TEST_F(AdtFileTest, GarbageRecordStatusIsCorrupt) {
  MakeTable("t.adt", 2);
  auto t = Open("t.adt");
  uint64_t rec2 = RecordOffset(kHeaderSize + 3 * kDescSize, t->record_length(), 2);
  std::byte junk{0x00};
  Poke("t.adt", rec2, &junk, 1);
  std::vector<std::byte> r(t->record_length());
  EXPECT_TRUE(t->ReadRecord(1, r.data()).ok());
  auto st = t->ReadRecord(2, r.data());
  EXPECT_EQ(st.code(), ace::kErrCorruptFile);
  EXPECT_NE(st.message().find("record 2"), std::string::npos) << st.message();
  // Pack refuses to drop a record it cannot read, and leaves the table as it was.
  EXPECT_EQ(t->Pack().code(), ace::kErrCorruptFile);
  EXPECT_FALSE(ace::FileExists(Path("t.adt.new")));
  EXPECT_EQ(t->record_count(), 2u);
}

// Scans read runs of records in one piece; each image still gets the checks of a single read.
TEST_F(AdtFileTest, RunsOfRecordsReadAsSingleReadsDoAndKeepTheirChecks) {
  MakeTable("t.adt", 5);
  auto t = Open("t.adt");
  const size_t len = t->record_length();
  std::vector<std::byte> run(5 * len), one(len);
  ASSERT_TRUE(t->ReadRecords(1, 5, run.data()).ok());
  for (uint32_t r = 1; r <= 5; ++r) {
    ASSERT_TRUE(t->ReadRecord(r, one.data()).ok());
    EXPECT_EQ(0, std::memcmp(one.data(), run.data() + (r - 1) * len, len)) << "record " << r;
  }
  EXPECT_EQ(t->ReadRecords(4, 3, run.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->ReadRecords(2, 0xFFFFFFFFu, run.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->ReadRecords(0, 1, run.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_TRUE(t->ReadRecords(3, 0, run.data()).ok());

  std::byte junk{0x00};
  Poke("t.adt", RecordOffset(kHeaderSize + 3 * kDescSize, t->record_length(), 4), &junk, 1);
  t = Open("t.adt");  // the damage is not another user's change: a new reader sees it
  auto st = t->ReadRecords(1, 5, run.data());
  EXPECT_EQ(st.code(), ace::kErrCorruptFile);
  EXPECT_NE(st.message().find("record 4"), std::string::npos) << st.message();
  EXPECT_TRUE(t->ReadRecords(1, 3, run.data()).ok());
}

TEST_F(AdtFileTest, DamagedFieldCanBeOverwrittenWithAGoodImage) {
  auto t = Create("v.adt", {{"V", kFtVarcharFox, 4}, {"N", kFtInteger}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  const FieldDesc v = Field(*t, "V");
  Poke32("v.adt",
         RecordOffset(kHeaderSize + 2 * kDescSize, t->record_length(), 1) + v.offset + v.length,
         0x00000009);  // length word 9 in a 4-byte field
  std::vector<std::byte> r(t->record_length());
  EXPECT_EQ(t->ReadRecord(1, r.data()).code(), ace::kErrCorruptFile);
  SetU32(rec, Field(*t, "N"), 5);
  ASSERT_TRUE(t->WriteRecord(1, rec.data()).ok());
  ASSERT_TRUE(t->ReadRecord(1, r.data()).ok());
  EXPECT_EQ(U32(r, Field(*t, "N")), 5u);
}

TEST_F(AdtFileTest, TwoObjectsAppendingInTurnNeverOverwriteEachOther) {
  MakeTable("t.adt", 0);
  auto a = Open("t.adt");
  auto b = Open("t.adt");
  auto rec = a->BlankRecord();
  for (uint32_t i = 1; i <= 10; ++i) {
    AdtTableFile& who = i % 2 ? *a : *b;
    SetU32(rec, Field(who, "N"), i);
    auto n = who.AppendRecord(rec.data());
    ASSERT_TRUE(n.ok());
    EXPECT_EQ(n.value(), i);
  }
  ASSERT_TRUE(a->RefreshHeader().ok());
  EXPECT_EQ(Values(*a), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  std::vector<std::byte> r(a->record_length());
  std::vector<uint32_t> ids;
  for (uint32_t i = 1; i <= 10; ++i) {
    ASSERT_TRUE(a->ReadRecord(i, r.data()).ok());
    ids.push_back(U32(r, Field(*a, "Id")));
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_F(AdtFileTest, PackRemovesDeletedRecordsAndCompactsMemos) {
  MakeTable("t.adt", 6);
  auto t = Open("t.adt");
  ASSERT_TRUE(t);
  uint64_t id_before = t->table_id();
  uint64_t counter_before = t->change_counter();
  // Make memo garbage: rewrite record 1's memo longer several times.
  std::vector<std::byte> r(t->record_length());
  ASSERT_TRUE(t->ReadRecord(1, r.data()).ok());
  for (int i = 0; i < 5; ++i) {
    ASSERT_TRUE(t->WriteMemo(r.data(), Field(*t, "Notes"), std::vector<uint8_t>(200 * (i + 1), 'a'),
                             MemoKind::kText)
                    .ok());
    ASSERT_TRUE(t->WriteRecord(1, r.data()).ok());
  }
  ASSERT_TRUE(t->ReadRecord(6, r.data()).ok());
  ASSERT_TRUE(t->WriteMemo(r.data(), Field(*t, "Notes"), Text("picture"), MemoKind::kImage).ok());
  ASSERT_TRUE(t->WriteRecord(6, r.data()).ok());
  DeleteRecord(*t, 2);
  DeleteRecord(*t, 5);
  uint32_t blocks_before = t->MemoSpaceInfo()->block_count;
  ASSERT_TRUE(t->Pack().ok());
  EXPECT_EQ(t->record_count(), 4u);
  EXPECT_EQ(Values(*t), (std::vector<uint32_t>{1, 3, 4, 6}));
  EXPECT_NE(t->table_id(), id_before);
  EXPECT_GT(t->change_counter(), counter_before);
  auto space = t->MemoSpaceInfo().value();
  EXPECT_EQ(space.free_runs, 0u);
  EXPECT_LT(space.block_count, blocks_before);
  ASSERT_TRUE(t->ReadRecord(2, r.data()).ok());
  EXPECT_EQ(t->ReadMemo(r.data(), Field(*t, "Notes")).value(), Text("note 3"));
  ASSERT_TRUE(t->ReadRecord(1, r.data()).ok());
  EXPECT_EQ(t->ReadMemo(r.data(), Field(*t, "Notes")).value(), std::vector<uint8_t>(1000, 'a'));
  EXPECT_EQ(U32(r, Field(*t, "Id")), 1u);  // autoinc values are kept
  ASSERT_TRUE(t->ReadRecord(4, r.data()).ok());
  EXPECT_EQ(t->ReadMemo(r.data(), Field(*t, "Notes")).value(), Text("picture"));
  EXPECT_EQ(t->MemoType(r.data(), Field(*t, "Notes")).value(), MemoKind::kImage);
  EXPECT_EQ(t->next_autoinc(), 7u);
  EXPECT_FALSE(ace::FileExists(Path("t.adt.new")));
  EXPECT_FALSE(ace::FileExists(Path("t.adm.new")));
  EXPECT_FALSE(ace::FileExists(Path("t.adm.old")));
  // Appends work on the packed files, and a fresh object sees the same.
  auto rec = t->BlankRecord();
  SetU32(rec, Field(*t, "N"), 7);
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  t.reset();
  auto again = Open("t.adt");
  EXPECT_EQ(Values(*again), (std::vector<uint32_t>{1, 3, 4, 6, 7}));
}

TEST_F(AdtFileTest, ZapEmptiesTableAndMemoFile) {
  MakeTable("t.adt", 4);
  auto t = Open("t.adt");
  ASSERT_TRUE(t->Zap().ok());
  EXPECT_EQ(t->record_count(), 0u);
  EXPECT_EQ(t->MemoSpaceInfo()->block_count, 1u);
  EXPECT_EQ(t->next_autoinc(), 5u);
  t.reset();
  auto again = Open("t.adt");
  EXPECT_EQ(again->record_count(), 0u);
  EXPECT_EQ(again->fields().size(), 3u);
}

TEST_F(AdtFileTest, InterruptedPackLeavesAWholeTableAtEveryRename) {
  // The swap renames memo -> memo.old, memo.new -> memo, table.new -> table. A failure at any of
  // them must leave a table that opens with consistent records and memos: the old one.
  for (uint64_t failing = 1; failing <= 3; ++failing) {
    SCOPED_TRACE("rename " + std::to_string(failing));
    std::string name = "p" + std::to_string(failing) + ".adt";
    MakeTable(name, 4);
    auto t = Open(name);
    DeleteRecord(*t, 1);
    ace::FaultInjector::FailAt(ace::IoKind::kRename, failing, ace::kErrIo);
    EXPECT_EQ(t->Pack().code(), ace::kErrIo);
    ace::FaultInjector::Reset();
    t.reset();
    auto again = Open(name);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->record_count(), 4u);
    EXPECT_EQ(Values(*again), (std::vector<uint32_t>{2, 3, 4}));
    std::vector<std::byte> r(again->record_length());
    ASSERT_TRUE(again->ReadRecord(4, r.data()).ok());
    EXPECT_EQ(again->ReadMemo(r.data(), Field(*again, "Notes")).value(), Text("note 4"));
    ASSERT_TRUE(again->Pack().ok());
    EXPECT_EQ(Values(*again), (std::vector<uint32_t>{2, 3, 4}));
  }
}

TEST_F(AdtFileTest, CrashBetweenRenamesIsRepairedAtOpen) {
  // Simulates a process that died after renaming the new memo file into place but before the
  // table's rename: the old table with the new memo file and the old memo as .old.
  MakeTable("t.adt", 3);
  {
    auto t = Open("t.adt");
    DeleteRecord(*t, 1);
  }
  ASSERT_TRUE(ace::RenameFile(Path("t.adm"), Path("t.adm.old")).ok());
  ASSERT_TRUE(AdtMemoFile::Create(Path("t.adm"), 64, 777, ace::OpenMode::kCreateNew).ok());
  // Read-only: uses the old memo file where it is.
  {
    auto ro = Open("t.adt", true);
    ASSERT_TRUE(ro);
    std::vector<std::byte> r(ro->record_length());
    ASSERT_TRUE(ro->ReadRecord(3, r.data()).ok());
    EXPECT_EQ(ro->ReadMemo(r.data(), Field(*ro, "Notes")).value(), Text("note 3"));
    EXPECT_TRUE(ace::FileExists(Path("t.adm.old")));
  }
  auto t = Open("t.adt");
  ASSERT_TRUE(t);
  EXPECT_FALSE(ace::FileExists(Path("t.adm.old")));
  std::vector<std::byte> r(t->record_length());
  ASSERT_TRUE(t->ReadRecord(2, r.data()).ok());
  EXPECT_EQ(t->ReadMemo(r.data(), Field(*t, "Notes")).value(), Text("note 2"));
}

TEST_F(AdtFileTest, FailedWriteDuringPackKeepsTheOldTable) {
  MakeTable("t.adt", 3);
  auto t = Open("t.adt");
  DeleteRecord(*t, 2);
  ace::FaultInjector::FailAt(ace::IoKind::kSync, 1, ace::kErrDiskFull);
  EXPECT_EQ(t->Pack().code(), ace::kErrDiskFull);
  ace::FaultInjector::Reset();
  EXPECT_FALSE(ace::FileExists(Path("t.adt.new")));
  EXPECT_FALSE(ace::FileExists(Path("t.adm.new")));
  EXPECT_EQ(t->record_count(), 3u);
  EXPECT_EQ(Values(*t), (std::vector<uint32_t>{1, 3}));
}

TEST_F(AdtFileTest, DeletedRecordsAreReusedOnlyWhenTheTableSaysSo) {
  MakeTable("t.adt", 5);
  auto t = Open("t.adt");
  EXPECT_FALSE(t->reuse_deleted());
  DeleteRecord(*t, 2);
  DeleteRecord(*t, 4);
  auto rec = t->BlankRecord();
  SetU32(rec, Field(*t, "N"), 6);
  EXPECT_EQ(t->AppendRecord(rec.data()).value(), 6u);  // off: record numbers stay stable

  ASSERT_TRUE(t->SetReuseDeleted(true).ok());
  t.reset();
  t = Open("t.adt");  // the flag and the free list are on disk
  EXPECT_TRUE(t->reuse_deleted());
  SetU32(rec, Field(*t, "N"), 20);
  EXPECT_EQ(t->AppendRecord(rec.data()).value(), 2u);  // lowest deleted first
  // A recalled record leaves the free list and is never handed out.
  std::vector<std::byte> r(t->record_length());
  ASSERT_TRUE(t->ReadRecord(4, r.data()).ok());
  t->SetDeleted(r.data(), false);
  ASSERT_TRUE(t->WriteRecord(4, r.data()).ok());
  SetU32(rec, Field(*t, "N"), 21);
  EXPECT_EQ(t->AppendRecord(rec.data()).value(), 7u);
  // Deleting with reuse on puts the record on the list at once.
  DeleteRecord(*t, 3);
  SetU32(rec, Field(*t, "N"), 22);
  EXPECT_EQ(t->AppendRecord(rec.data()).value(), 3u);
  EXPECT_EQ(Values(*t), (std::vector<uint32_t>{1, 20, 22, 4, 5, 6, 21}));
  ASSERT_TRUE(t->SetReuseDeleted(false).ok());
  DeleteRecord(*t, 1);
  EXPECT_EQ(t->AppendRecord(rec.data()).value(), 8u);
}

TEST_F(AdtFileTest, DamagedFreeListNeverOverwritesALiveRecord) {
  MakeTable("t.adt", 3);
  auto t = Open("t.adt");
  ASSERT_TRUE(t->SetReuseDeleted(true).ok());
  Poke32("t.adt", kOffFreeHead, 2);  // points at a live record
  ASSERT_TRUE(t->RefreshHeader().ok());
  auto rec = t->BlankRecord();
  SetU32(rec, Field(*t, "N"), 50);
  EXPECT_EQ(t->AppendRecord(rec.data()).value(), 4u);
  EXPECT_EQ(Values(*t), (std::vector<uint32_t>{1, 2, 3, 50}));
}

TEST_F(AdtFileTest, RecordOffsetsBeyondFourGigabytes) {
  EXPECT_EQ(RecordOffset(256, 1000, 1), 256u);
  EXPECT_EQ(RecordOffset(416, 65535, 100000), 416u + 99999ull * 65535ull);
  EXPECT_EQ(RecordOffset(416, 65535, 0xFFFFFFFFu), 416u + 0xFFFFFFFEull * 65535ull);
  EXPECT_GT(RecordOffset(416, 65535, 100000), 0x100000000ull);

  // A sparse table whose last record lies past 4 GiB: written and read back in place.
  auto t = Create("big.adt", {{"C", kFtString, 60000}, {"I", kFtInteger}});
  ASSERT_TRUE(t);
  const uint32_t count = 80000;  // 80000 * 60009 bytes = about 4.8 GB
  uint64_t end =
      RecordOffset(kHeaderSize + 2 * kDescSize, t->record_length(), count) + t->record_length();
  ASSERT_GT(end, 0x100000000ull);
  ace::Status grown = t->data_file().Truncate(end);
  if (!grown.ok()) GTEST_SKIP() << "no sparse file of 4.8 GB here: " << grown.message();
  Poke32("big.adt", kOffRecordCount, count);
  ASSERT_TRUE(t->RefreshHeader().ok());
  ASSERT_EQ(t->record_count(), count);
  auto rec = t->BlankRecord();
  SetBytes(rec, Field(*t, "C"), "far away");
  SetU32(rec, Field(*t, "I"), 4242);
  ASSERT_TRUE(t->WriteRecord(count, rec.data()).code() == ace::kErrCorruptFile);  // sparse zeros
  // The zero-filled slot is no valid record; appending puts the next one past 4 GiB.
  auto n = t->AppendRecord(rec.data());
  ASSERT_TRUE(n.ok()) << n.status().message();
  EXPECT_EQ(n.value(), count + 1);
  t.reset();
  auto again = Open("big.adt");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->record_count(), count + 1);
  std::vector<std::byte> r(again->record_length());
  ASSERT_TRUE(again->ReadRecord(count + 1, r.data()).ok());
  EXPECT_EQ(Bytes(r, Field(*again, "C"), 8), "far away");
  EXPECT_EQ(U32(r, Field(*again, "I")), 4242u);
  auto size = again->data_file().Size().value();
  EXPECT_EQ(size, end + again->record_length());
}

}  // namespace
}  // namespace adt_test
