// Memo files reuse their blocks: rewrites shorter and longer keep the file bounded on every
// format, cancelled edits and appends give their blocks back, no two records ever share a block,
// stale record images never bring back a block another user gave up, transactions keep what a
// rollback needs, and a DBF table we rewrote is still read right by dbfread.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/adt/adt_table_file.h"
#include "engine/storage/table_file.h"
#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

using ace::storage::FieldDesc;
using ace::storage::TableType;

// Printable text of n bytes that differs by seed (a dBase III memo cannot hold 0x1A).
std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, ' ');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>('a' + (i * 7 + seed * 13) % 26);
  if (n > 0) s[0] = static_cast<char>('A' + seed % 26);
  return s;
}

const char* Ext(UNSIGNED16 type) {
  return type == ADS_ADT ? ".adt" : ".dbf";
}
const char* MemoExt(UNSIGNED16 type) {
  return type == ADS_ADT ? ".adm" : type == ADS_NTX ? ".dbt" : ".fpt";
}

class MemoReuseTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  UNSIGNED16 type() const { return GetParam(); }
  std::string MemoFile(const std::string& name) const { return Path(name + MemoExt(type())); }
  uint64_t MemoSize(const std::string& name) const {
    return std::filesystem::file_size(MemoFile(name));
  }

  // A table with an integer key and two memo fields, holding records of the given sizes.
  ADSHANDLE MakeTable(const std::string& name, const std::vector<size_t>& sizes) {
    ADSHANDLE t = Create(name, type(), "ID,Numeric,8,0;A,Memo;B,Memo;");
    for (size_t i = 0; i < sizes.size(); ++i) {
      EXPECT_EQ(0u, AdsAppendRecord(t)) << LastErrorText();
      EXPECT_EQ(0u, AdsSetLong(t, U("ID"), static_cast<SIGNED32>(i + 1))) << LastErrorText();
      SetMemo(t, "A", Pattern(sizes[i], static_cast<unsigned>(i)));
      SetMemo(t, "B", Pattern(sizes[i] / 2 + 1, static_cast<unsigned>(i + 50)));
      EXPECT_EQ(0u, AdsWriteRecord(t)) << LastErrorText();
    }
    return t;
  }

  void SetMemo(ADSHANDLE t, const char* field, const std::string& value) {
    EXPECT_EQ(0u, AdsSetString(t, U(field), U(value), static_cast<UNSIGNED32>(value.size())))
        << LastErrorText();
  }

  std::string Memo(ADSHANDLE t, const char* field) {
    UNSIGNED32 len = 0;
    if (AdsGetMemoLength(t, U(field), &len) != 0) return "<error " + LastErrorText() + ">";
    std::vector<UNSIGNED8> buf(len + 1);
    UNSIGNED32 got = static_cast<UNSIGNED32>(buf.size());
    if (AdsGetString(t, U(field), buf.data(), &got, ADS_NONE) != 0)
      return "<error " + LastErrorText() + ">";
    return std::string(reinterpret_cast<char*>(buf.data()), got);
  }

  void Rewrite(ADSHANDLE t, UNSIGNED32 recno, const char* field, const std::string& value) {
    ASSERT_ACE(AdsGotoRecord(t, recno));
    SetMemo(t, field, value);
    ASSERT_ACE(AdsWriteRecord(t));
  }

  // Checks the memo file of a closed table: every memo of every record lies in blocks of its
  // own inside the file; on ADT the live runs, the free runs and the header add up to the file
  // exactly (nothing leaked, nothing counted twice).
  void ExpectNoSharedBlocks(const std::string& name, bool exact_space = true) {
    auto opened = ace::storage::OpenTableFile(Path(name + Ext(type())),
                                              static_cast<TableType>(type()), {true});
    ASSERT_TRUE(opened.ok()) << opened.status().message();
    ace::storage::TableFile& file = *opened.value();
    const uint64_t bs = file.memo_block_size();
    ASSERT_GT(bs, 0u);
    const uint64_t file_blocks = std::filesystem::file_size(file.memo_path()) / bs;
    std::map<uint64_t, std::pair<uint64_t, uint32_t>> extents;  // start -> (blocks, record)
    std::vector<std::byte> image(file.record_length());
    for (uint32_t r = 1; r <= file.record_count(); ++r) {
      ASSERT_TRUE(file.ReadRecord(r, image.data()).ok());
      for (const FieldDesc& f : file.fields()) {
        if (!ace::storage::IsMemoType(f.type, file.type())) continue;
        const uint64_t block = Pointer(image, f);
        if (block == 0) continue;
        auto length = file.MemoLength(image.data(), f);
        ASSERT_TRUE(length.ok()) << length.status().message();
        const uint64_t overhead = type() == ADS_ADT ? 16 : type() == ADS_NTX ? 2 : 8;
        const uint64_t blocks = (length.value() + overhead + bs - 1) / bs;
        EXPECT_LE(block + blocks, file_blocks) << "record " << r << " field " << f.name;
        EXPECT_TRUE(extents.emplace(block, std::make_pair(blocks, r)).second)
            << "two memos start at block " << block;
      }
    }
    uint64_t end = 0, used = 0;
    for (const auto& [start, e] : extents) {
      EXPECT_GE(start, end) << "the memo of record " << e.second << " at block " << start
                            << " overlaps the one before it";
      end = start + e.first;
      used += e.first;
    }
    if (type() == ADS_ADT && exact_space) {
      auto* adt = dynamic_cast<ace::storage::adt::AdtTableFile*>(&file);
      ASSERT_NE(nullptr, adt);
      auto space = adt->MemoSpaceInfo();
      ASSERT_TRUE(space.ok());
      EXPECT_EQ(1 + used + space->free_blocks, space->block_count);
      EXPECT_EQ(space->block_count, file_blocks);
    }
  }

  uint64_t Pointer(const std::vector<std::byte>& image, const FieldDesc& f) const {
    const auto* p = reinterpret_cast<const uint8_t*>(image.data() + f.offset);
    if (type() == ADS_ADT || f.length == 4)
      return p[0] | p[1] << 8 | p[2] << 16 | uint64_t{p[3]} << 24;
    uint64_t v = 0;
    for (uint32_t i = 0; i < f.length; ++i)
      if (p[i] >= '0' && p[i] <= '9') v = v * 10 + (p[i] - '0');
    return v;
  }
};

TEST_P(MemoReuseTest, RewritesShorterAndLongerKeepTheFileBounded) {
  const std::vector<size_t> sizes = {3000, 5000, 200};
  ADSHANDLE t = MakeTable("grow", sizes);
  const uint64_t initial = MemoSize("grow");
  std::mt19937 rng(7);
  std::vector<std::string> a(sizes.size()), b(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) {
    a[i] = Pattern(sizes[i], static_cast<unsigned>(i));
    b[i] = Pattern(sizes[i] / 2 + 1, static_cast<unsigned>(i + 50));
  }
  // ADT keeps a free list: the file never holds much more than the live memos and one value
  // waiting for its post. The DBF formats have none: a record keeps the run of blocks it was
  // given, and only a value longer than that run (or a value after the memo was cleared) adds
  // blocks.
  const uint64_t bs = type() == ADS_NTX ? 512 : 64;
  const uint64_t overhead = type() == ADS_ADT ? 16 : type() == ADS_NTX ? 2 : 8;
  uint64_t dbf_bound = initial;
  std::vector<uint64_t> run(sizes.size());
  for (size_t i = 0; i < sizes.size(); ++i) run[i] = (sizes[i] + overhead + bs - 1) / bs;
  for (int round = 0; round < 120; ++round) {
    const UNSIGNED32 rec = 1 + rng() % 3;
    // Between nothing and a little more than the record's first value: shorter and longer.
    const size_t n = rng() % (sizes[rec - 1] + 600);
    const uint64_t new_blocks = (n + overhead + bs - 1) / bs;
    if (n == 0) {
      run[rec - 1] = 0;
    } else if (new_blocks > run[rec - 1]) {
      dbf_bound += new_blocks * bs;
      run[rec - 1] = new_blocks;
    }
    a[rec - 1] = Pattern(n, static_cast<unsigned>(round));
    Rewrite(t, rec, "A", a[rec - 1]);
    if (type() == ADS_ADT) {
      // Every record at its largest value, one value waiting for its post, some splinters.
      EXPECT_LE(MemoSize("grow"), initial + 3 * 6000 + 4096) << "round " << round;
    } else {
      EXPECT_LE(MemoSize("grow"), dbf_bound) << "round " << round;
    }
  }
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("grow");
  ASSERT_ACE(Open("grow", type(), &t));
  for (UNSIGNED32 r = 1; r <= sizes.size(); ++r) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    EXPECT_EQ(a[r - 1], Memo(t, "A")) << "record " << r;
    EXPECT_EQ(b[r - 1], Memo(t, "B")) << "record " << r;
  }
  ASSERT_ACE(AdsCloseTable(t));
}

// A record keeps the blocks it was given: once a memo has been long, a short value in its
// blocks does not shrink what a later long value may use again, so alternating rewrites of
// one record (and of two records taking turns) leave the file as large as it was.
TEST_P(MemoReuseTest, AlternatingShorterAndLongerRewritesStayBounded) {
  ADSHANDLE t = MakeTable("alternate", {200, 200, 200});
  Rewrite(t, 1, "A", Pattern(3000, 1));
  Rewrite(t, 3, "A", Pattern(2500, 3));
  const uint64_t full = MemoSize("alternate");
  Rewrite(t, 1, "A", Pattern(100, 2));
  Rewrite(t, 3, "A", Pattern(40, 4));
  // DBF: each record keeps the run it was given. ADT gives surplus blocks back to its free
  // list, so a long value may need the space of one value more while it waits for its post.
  const uint64_t slack = type() == ADS_ADT ? 4096 : 0;
  const uint64_t settled = full + slack;
  std::vector<std::string> a = {Pattern(100, 2), Pattern(200, 1), Pattern(40, 4)};
  for (int round = 0; round < 60; ++round) {
    const UNSIGNED32 rec = round % 3 == 2 ? 3 : 1;
    const size_t longest = rec == 1 ? 3000 : 2500;
    const bool longer = round % 2 == 0;
    a[rec - 1] = Pattern(longer ? longest - 5 * round : 1 + round, static_cast<unsigned>(round));
    Rewrite(t, rec, "A", a[rec - 1]);
    EXPECT_LE(MemoSize("alternate"), settled) << "round " << round;
  }
  // The runs are still known when the table is opened again (nobody changed the file since).
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("alternate", type(), &t));
  for (int round = 0; round < 4; ++round) {
    a[0] = Pattern(round % 2 == 0 ? 2999 - round : 3, static_cast<unsigned>(80 + round));
    Rewrite(t, 1, "A", a[0]);
    EXPECT_LE(MemoSize("alternate"), settled) << "after the reopen, round " << round;
  }
  // A value longer than every earlier one needs more blocks once, and keeps them from then on.
  Rewrite(t, 1, "A", Pattern(4000, 90));
  const uint64_t grown = MemoSize("alternate") + slack;
  for (int round = 0; round < 10; ++round) {
    a[0] = Pattern(round % 2 == 0 ? 10 : 4000 - round, static_cast<unsigned>(100 + round));
    Rewrite(t, 1, "A", a[0]);
    EXPECT_LE(MemoSize("alternate"), grown) << "round " << round;
  }
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("alternate");
  ASSERT_ACE(Open("alternate", type(), &t));
  for (UNSIGNED32 r = 1; r <= 3; ++r) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    EXPECT_EQ(a[r - 1], Memo(t, "A")) << "record " << r;
    EXPECT_EQ(Pattern(101, 49 + r), Memo(t, "B")) << "record " << r;
  }
  ASSERT_ACE(AdsCloseTable(t));
}

// What the engine knows of a record's run holds only while nobody else changed the file: here
// another program packs the table in place (same files, new content) while the engine has it
// closed, so the run at the first memo block is now a short one with other memos behind it.
TEST_P(MemoReuseTest, RunsAreForgottenWhenAnotherProgramRewroteTheFile) {
  if (type() == ADS_ADT) GTEST_SKIP() << "ADT runs carry their length in the file";
  ADSHANDLE t = MakeTable("packed", {3000, 50, 5000});
  Rewrite(t, 1, "A", Pattern(100, 7));  // keeps its run of 3000 bytes
  ASSERT_ACE(AdsCloseTable(t));
  // The other program: a pack of a copy, written back over the table's files in place.
  const std::string other = Path("other");
  std::filesystem::create_directory(other);
  for (const char* ext : {".dbf", MemoExt(type())})
    std::filesystem::copy_file(Path(std::string("packed") + ext), other + "/packed" + ext);
  ADSHANDLE conn2 = 0;
  ASSERT_ACE(AdsConnect60(U(other), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn2));
  ADSHANDLE p = 0;
  ASSERT_ACE(Open("packed", type(), &p, ADS_EXCLUSIVE, conn2));
  ASSERT_ACE(AdsPackTable(p));
  ASSERT_ACE(AdsCloseTable(p));
  ASSERT_ACE(AdsDisconnect(conn2));
  for (const char* ext : {".dbf", MemoExt(type())}) {
    std::ifstream in(other + "/packed" + ext, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::ofstream out(Path(std::string("packed") + ext), std::ios::binary | std::ios::trunc);
    out << bytes;
  }
  ASSERT_ACE(Open("packed", type(), &t));
  const std::string longer = Pattern(2900, 8);
  Rewrite(t, 1, "A", longer);
  const std::vector<std::string> a = {longer, Pattern(50, 1), Pattern(5000, 2)};
  for (UNSIGNED32 r = 1; r <= 3; ++r) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    EXPECT_EQ(a[r - 1], Memo(t, "A")) << "record " << r;
    EXPECT_EQ(Pattern(r == 1 ? 1501 : r == 2 ? 26 : 2501, 49 + r), Memo(t, "B")) << "record " << r;
  }
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("packed");
}

TEST_P(MemoReuseTest, ShorterRewritesNeverGrowTheFile) {
  ADSHANDLE t = MakeTable("short", {9000, 700});
  const uint64_t initial = MemoSize("short");
  for (int round = 0; round < 20; ++round) {
    Rewrite(t, 1, "A", Pattern(9000 - 400 * round, static_cast<unsigned>(round)));
    EXPECT_LE(MemoSize("short"), initial) << "round " << round;
  }
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ(Pattern(700, 1), Memo(t, "A"));
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("short");
}

TEST_P(MemoReuseTest, CancelledEditsAndAppendsGiveTheirBlocksBack) {
  ADSHANDLE t = MakeTable("cancel", {1000, 1000});
  const uint64_t initial = MemoSize("cancel");
  for (int round = 0; round < 10; ++round) {
    ASSERT_ACE(AdsGotoRecord(t, 1));
    SetMemo(t, "A", Pattern(4000 + 100 * round, 9));  // longer: pending blocks of its own
    SetMemo(t, "A", Pattern(6000, 10));               // and again within the same edit
    SetMemo(t, "B", Pattern(10, 11));
    ASSERT_ACE(AdsCancelUpdate(t));
    EXPECT_EQ(Pattern(1000, 0), Memo(t, "A"));
    EXPECT_EQ(Pattern(501, 50), Memo(t, "B"));
    ASSERT_ACE(AdsAppendRecord(t));
    SetMemo(t, "A", Pattern(3000, 12));
    ASSERT_ACE(AdsCancelUpdate(t));
    EXPECT_EQ(initial, MemoSize("cancel")) << "round " << round;
  }
  // A refresh drops pending changes the same way.
  ASSERT_ACE(AdsGotoRecord(t, 2));
  SetMemo(t, "A", Pattern(5000, 13));
  ASSERT_ACE(AdsRefreshRecord(t));
  EXPECT_EQ(Pattern(1000, 1), Memo(t, "A"));
  EXPECT_EQ(initial, MemoSize("cancel"));
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("cancel");
}

TEST_P(MemoReuseTest, ClearedMemosFreeTheirBlocksAndPackCompacts) {
  ADSHANDLE t = MakeTable("pack", {4000, 4000, 4000});
  // Growing values cannot stay in place; the abandoned blocks wait for pack on DBF.
  for (int round = 1; round <= 5; ++round) Rewrite(t, 2, "A", Pattern(4000 + 1000 * round, 3));
  ASSERT_ACE(AdsGotoRecord(t, 3));
  ASSERT_ACE(AdsSetEmpty(t, U("A")));
  ASSERT_ACE(AdsWriteRecord(t));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  ASSERT_ACE(AdsDeleteRecord(t));
  const uint64_t before = MemoSize("pack");
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("pack", type(), &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsPackTable(t));
  const uint64_t after = MemoSize("pack");
  EXPECT_LT(after, before);
  // What is left: record 2's A (9000) and B, record 3's B, and the header.
  EXPECT_LE(after, 9000u + 2 * 2001 + 3 * 1024u);
  ASSERT_ACE(AdsGotoTop(t));
  EXPECT_EQ(Pattern(9000, 3), Memo(t, "A"));
  ASSERT_ACE(AdsSkip(t, 1));
  EXPECT_EQ("", Memo(t, "A"));
  EXPECT_EQ(Pattern(2001, 52), Memo(t, "B"));
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("pack");
}

// Another user rewrote the memo after this user read the record; this user's write of another
// field must not bring back the blocks that user gave up.
TEST_P(MemoReuseTest, AStaleRecordImageKeepsTheStoredMemo) {
  ADSHANDLE t = MakeTable("stale", {800, 800});
  ADSHANDLE conn2 = 0;
  ASSERT_ACE(AdsConnect60(U(dir_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn2));
  ADSHANDLE t2 = 0;
  ASSERT_ACE(Open("stale", type(), &t2, 0, conn2));
  ASSERT_ACE(AdsGotoRecord(t2, 1));  // t2 holds the image of record 1 now
  const std::string longer = Pattern(5000, 21);
  Rewrite(t, 1, "A", longer);  // does not fit: new blocks, the old ones given up
  Rewrite(t, 2, "A", Pattern(600, 22));
  ASSERT_ACE(AdsSetLong(t2, U("ID"), 99));
  ASSERT_ACE(AdsWriteRecord(t2));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ(longer, Memo(t, "A"));
  ASSERT_ACE(AdsCloseTable(t2));
  ASSERT_ACE(AdsDisconnect(conn2));
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("stale");
}

TEST_P(MemoReuseTest, RollbackRestoresAMemoThatWasRewrittenShorter) {
  ADSHANDLE t = MakeTable("txn", {3000, 3000});
  ASSERT_ACE(AdsBeginTransaction(conn_));
  Rewrite(t, 1, "A", Pattern(100, 31));  // would fit the old blocks
  Rewrite(t, 2, "A", Pattern(6000, 32));
  ASSERT_ACE(AdsRollbackTransaction(conn_));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ(Pattern(3000, 0), Memo(t, "A"));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ(Pattern(3000, 1), Memo(t, "A"));
  ASSERT_ACE(AdsBeginTransaction(conn_));
  Rewrite(t, 1, "A", Pattern(100, 33));
  ASSERT_ACE(AdsCommitTransaction(conn_));
  Rewrite(t, 2, "A", Pattern(50, 34));
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("txn", type(), &t));
  ASSERT_ACE(AdsGotoRecord(t, 1));
  EXPECT_EQ(Pattern(100, 33), Memo(t, "A"));
  ASSERT_ACE(AdsGotoRecord(t, 2));
  EXPECT_EQ(Pattern(50, 34), Memo(t, "A"));
  ASSERT_ACE(AdsCloseTable(t));
  // The commit gave back the run it replaced: nothing is left allocated that nobody holds.
  ExpectNoSharedBlocks("txn");
}

// A commit gives back the runs its records held before or in between (also across a savepoint
// rolled back to, and of a record appended in the transaction); nothing stays allocated that no
// record points at, and committing the same rewrites again and again keeps the file bounded.
TEST_P(MemoReuseTest, ACommitGivesBackTheRunsItReplaced) {
  if (type() != ADS_ADT) GTEST_SKIP() << "only ADT memo files keep a free list";
  ADSHANDLE t = MakeTable("commit", {3000, 3000, 3000});
  std::vector<std::string> a = {Pattern(3000, 0), Pattern(3000, 1), Pattern(3000, 2)};
  uint64_t first_size = 0;
  for (int round = 0; round < 12; ++round) {
    const unsigned seed = static_cast<unsigned>(10 * round);
    ASSERT_ACE(AdsBeginTransaction(conn_));
    Rewrite(t, 1, "A", Pattern(5000, seed));  // longer: a run of its own
    a[0] = Pattern(200 + round, seed + 1);
    Rewrite(t, 1, "A", a[0]);  // the run of the first rewrite is replaced in the transaction
    ASSERT_ACE(AdsCreateSavepoint(conn_, U("half"), 0));
    Rewrite(t, 3, "A", Pattern(7000, seed + 3));
    ASSERT_ACE(AdsSetLong(t, U("ID"), 33));  // written again, still in the same run
    ASSERT_ACE(AdsWriteRecord(t));
    ASSERT_ACE(AdsAppendRecord(t));
    SetMemo(t, "A", Pattern(2500, seed + 4));
    ASSERT_ACE(AdsWriteRecord(t));
    ASSERT_ACE(AdsRollbackTransaction80(conn_, U("half"), 0));
    // The run the rollback to the savepoint gave back may go to another record now.
    a[1] = Pattern(round % 2 ? 7000 : 100, seed + 2);
    Rewrite(t, 2, "A", a[1]);
    a[2] = Pattern(round % 3 == 0 ? 6000 : 50, seed + 5);
    Rewrite(t, 3, "A", a[2]);
    ASSERT_ACE(AdsAppendRecord(t));
    SetMemo(t, "A", Pattern(900, seed + 6));
    ASSERT_ACE(AdsWriteRecord(t));
    SetMemo(t, "A", Pattern(30, seed + 7));  // the appended record's first run is replaced
    ASSERT_ACE(AdsWriteRecord(t));
    ASSERT_ACE(AdsCommitTransaction(conn_));
    // The appended record goes again, outside the transaction, so the rounds stay alike.
    ASSERT_ACE(AdsDeleteRecord(t));
    ASSERT_ACE(AdsSetEmpty(t, U("A")));
    ASSERT_ACE(AdsSetEmpty(t, U("B")));
    ASSERT_ACE(AdsWriteRecord(t));
    if (round == 0) first_size = MemoSize("commit");
    EXPECT_LE(MemoSize("commit"), first_size + 8 * 1024) << "round " << round;
  }
  ASSERT_ACE(AdsCloseTable(t));
  ExpectNoSharedBlocks("commit");
  ASSERT_ACE(Open("commit", type(), &t));
  for (UNSIGNED32 r = 1; r <= 3; ++r) {
    ASSERT_ACE(AdsGotoRecord(t, r));
    EXPECT_EQ(a[r - 1], Memo(t, "A")) << "record " << r;
  }
  ASSERT_ACE(AdsCloseTable(t));
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoReuseTest,
                         ::testing::Values(ADS_ADT, ADS_NTX, ADS_CDX, ADS_VFP));

// ---- dbfread reads the DBF memo files after rewrites.

std::string RunShell(const std::string& command, int* status) {
  std::string out;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, pipe)) > 0) out.append(buf, n);
  *status = pclose(pipe);
  return out;
}

class MemoDbfreadTest : public MemoReuseTest {};

TEST_P(MemoDbfreadTest, DbfreadReadsTheRewrittenMemos) {
  int rc = 0;
  RunShell("/usr/bin/python3 -c 'import dbfread'", &rc);
  if (rc != 0) GTEST_SKIP() << "python3 with dbfread is not installed";
  ADSHANDLE t = MakeTable("peer", {2000, 300, 4000});
  std::vector<std::string> a = {Pattern(2000, 0), Pattern(300, 1), Pattern(4000, 2)};
  for (int round = 0; round < 30; ++round) {
    const UNSIGNED32 rec = 1 + round % 3;
    a[rec - 1] = Pattern(static_cast<size_t>((round * 977) % 4500), static_cast<unsigned>(round));
    Rewrite(t, rec, "A", a[rec - 1]);
  }
  ASSERT_ACE(AdsCloseTable(t));
  const std::string script = Path("read.py");
  FILE* f = fopen(script.c_str(), "w");
  ASSERT_NE(nullptr, f);
  fputs(
      "import dbfread,sys\n"
      "for r in dbfread.DBF(sys.argv[1]):\n"
      "  print(len(r['A'] or ''), (r['A'] or '')[:12])\n",
      f);
  fclose(f);
  const std::string out = RunShell("/usr/bin/python3 " + script + " " + Path("peer.dbf"), &rc);
  ASSERT_EQ(0, rc) << out;
  std::string expected;
  for (const std::string& v : a)
    expected += std::to_string(v.size()) + " " + v.substr(0, 12) + "\n";
  EXPECT_EQ(expected, out);
}

INSTANTIATE_TEST_SUITE_P(Formats, MemoDbfreadTest, ::testing::Values(ADS_NTX, ADS_CDX, ADS_VFP));

}  // namespace
}  // namespace ace_api_test
