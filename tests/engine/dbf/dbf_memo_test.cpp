// Memo storage of DBF tables (.dbt and .fpt): sizes from nothing to megabytes, rewrites that
// must reuse their blocks or move without touching other memos, and damaged memo files.
#include <gtest/gtest.h>

#include <random>

#include "tests/engine/dbf/dbf_test_util.h"

namespace dbftest {
namespace {

using namespace ace::storage;  // NOLINT

struct MemoCase {
  TableType type;
  const char* memo_name;
};

class DbfMemoTest : public TempDirTest, public ::testing::WithParamInterface<MemoCase> {
 protected:
  std::vector<uint8_t> Text(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>('A' + gen() % 26);
    return v;
  }
};

TEST_P(DbfMemoTest, SizesRoundTripAndSurviveReopen) {
  auto t = Create("m.dbf", GetParam().type, {{"NR", kFtNumeric, 2}, {"M", kFtMemo}});
  ASSERT_TRUE(t);
  const FieldDesc m = Field(*t, "M");  // a copy: t is reopened below
  std::vector<size_t> sizes = {0, 1, 505, 510, 511, 512, 3 * 1024 * 1024 + 7};
  for (size_t i = 0; i < sizes.size(); ++i) {
    auto rec = t->BlankRecord();
    ASSERT_TRUE(
        t->WriteMemo(rec.data(), m, Text(sizes[i], static_cast<unsigned>(i)), MemoKind::kText));
    if (sizes[i] == 0) {
      // No memo: no pointer (blanks, or a binary 0 on Visual FoxPro).
      EXPECT_TRUE(m.length == 4 ? GetBin<uint32_t>(rec, m) == 0 : Trim(Get(rec, m)).empty());
    }
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  t.reset();
  t = Open("m.dbf", GetParam().type);
  ASSERT_TRUE(t);
  std::vector<std::byte> rec(t->record_length());
  for (size_t i = 0; i < sizes.size(); ++i) {
    ASSERT_TRUE(t->ReadRecord(static_cast<uint32_t>(i + 1), rec.data()));
    auto memo = t->ReadMemo(rec.data(), m);
    ASSERT_TRUE(memo.ok()) << memo.status().message();
    EXPECT_EQ(*memo, Text(sizes[i], static_cast<unsigned>(i))) << "size " << sizes[i];
    EXPECT_EQ(*t->MemoLength(rec.data(), m), sizes[i]);
  }
}

TEST_P(DbfMemoTest, RewritesReuseBlocksAndNeverShareThem) {
  auto t = Create("m.dbf", GetParam().type, {{"M", kFtMemo}});
  ASSERT_TRUE(t);
  const FieldDesc m = Field(*t, "M");  // a copy: t is reopened below
  auto a = t->BlankRecord();
  auto b = t->BlankRecord();
  ASSERT_TRUE(t->WriteMemo(a.data(), m, Text(5000, 1), MemoKind::kText));
  ASSERT_TRUE(t->WriteMemo(b.data(), m, Text(300, 2), MemoKind::kText));
  ASSERT_TRUE(t->AppendRecord(a.data()).ok());
  ASSERT_TRUE(t->AppendRecord(b.data()).ok());
  std::string memo_path = Path(GetParam().memo_name);
  auto grown = std::filesystem::file_size(memo_path);

  // Shorter rewrites stay in the old blocks: the file does not grow at all.
  std::string pointer = Get(a, m);
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(t->WriteMemo(a.data(), m, Text(4900 - i * 90, 10 + i), MemoKind::kText));
    EXPECT_EQ(Get(a, m), pointer);
    ASSERT_TRUE(t->WriteRecord(1, a.data()));
  }
  EXPECT_EQ(std::filesystem::file_size(memo_path), grown);

  // Longer rewrites move to fresh blocks at the end and leave the neighbour alone.
  for (int i = 1; i <= 20; ++i) {
    ASSERT_TRUE(t->WriteMemo(b.data(), m, Text(300 + i * 700, 100 + i), MemoKind::kText));
    ASSERT_TRUE(t->WriteRecord(2, b.data()));
    auto other = t->ReadMemo(a.data(), m);
    ASSERT_TRUE(other.ok());
    EXPECT_EQ(*other, Text(4900 - 49 * 90, 10 + 49));
  }
  EXPECT_NE(Get(a, m), Get(b, m));
  EXPECT_EQ(*t->ReadMemo(b.data(), m), Text(300 + 20 * 700, 120));
  // Clearing a memo leaves no pointer.
  ASSERT_TRUE(t->WriteMemo(a.data(), m, {}, MemoKind::kText));
  EXPECT_TRUE(t->ReadMemo(a.data(), m)->empty());
  EXPECT_EQ(*t->MemoLength(a.data(), m), 0u);
}

TEST_P(DbfMemoTest, DamagedPointersAndMemoFilesAreCleanErrors) {
  auto t = Create("m.dbf", GetParam().type, {{"M", kFtMemo}});
  ASSERT_TRUE(t);
  const FieldDesc m = Field(*t, "M");  // a copy: t is reopened below
  auto rec = t->BlankRecord();
  ASSERT_TRUE(t->WriteMemo(rec.data(), m, Text(2000, 3), MemoKind::kText));
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  std::string memo_path = Path(GetParam().memo_name);
  auto memo_bytes = ReadAll(memo_path);

  // A block number past the end of the memo file.
  auto bad = rec;
  if (m.length == 4) {
    PutBin<uint32_t>(bad, m, 999999);
  } else {
    PutRight(bad, m, "999999");
  }
  EXPECT_EQ(t->ReadMemo(bad.data(), m).status().code(), ace::kErrCorruptFile);
  EXPECT_EQ(t->MemoLength(bad.data(), m).status().code(), ace::kErrCorruptFile);
  // A pointer of letters.
  if (m.length == 10) {
    Put(bad, m, "12ab");
    EXPECT_EQ(t->ReadMemo(bad.data(), m).status().code(), ace::kErrCorruptFile);
  }
  // Rewriting through a damaged pointer never overwrites: the memo goes to fresh blocks.
  ASSERT_TRUE(t->WriteMemo(bad.data(), m, Text(10, 4), MemoKind::kText));
  EXPECT_EQ(*t->ReadMemo(rec.data(), m), Text(2000, 3));
  EXPECT_EQ(*t->ReadMemo(bad.data(), m), Text(10, 4));

  // The memo file cut short in the middle of the memo.
  t.reset();
  auto cut = memo_bytes;
  cut.resize(memo_bytes.size() - 1200);
  WriteAll(memo_path, cut);
  t = Open("m.dbf", GetParam().type);
  ASSERT_TRUE(t);
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  auto memo = t->ReadMemo(rec.data(), m);
  EXPECT_EQ(memo.status().code(), ace::kErrCorruptFile);
  EXPECT_EQ(t->MemoLength(rec.data(), m).status().code(), ace::kErrCorruptFile);
  t.reset();

  // A header that is too short, and a missing memo file.
  WriteAll(memo_path, {1, 2, 3});
  EXPECT_EQ(OpenDbfTable(Path("m.dbf"), GetParam().type, {}).status().code(), ace::kErrCorruptFile);
  std::filesystem::remove(memo_path);
  auto missing = OpenDbfTable(Path("m.dbf"), GetParam().type, {});
  EXPECT_EQ(missing.status().code(), ace::kErrFileNotFound);
  EXPECT_NE(missing.status().message().find(GetParam().memo_name), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(Formats, DbfMemoTest,
                         ::testing::Values(MemoCase{TableType::kNtx, "m.dbt"},
                                           MemoCase{TableType::kCdx, "m.fpt"},
                                           MemoCase{TableType::kVfp, "m.fpt"}),
                         [](const auto& info) {
                           return std::string(info.param.type == TableType::kNtx   ? "Ntx"
                                              : info.param.type == TableType::kCdx ? "Cdx"
                                                                                   : "Vfp");
                         });

class FptTest : public TempDirTest {};

TEST_F(FptTest, LengthPastTheEndAndBlockSizeZero) {
  auto t = Create("f.dbf", TableType::kCdx, {{"M", kFtMemo}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "M"), Bytes("kurz"), MemoKind::kText));
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  t.reset();
  auto fpt = ReadAll(Path("f.fpt"));
  // The first memo starts at block 8 (512 / 64); claim a length far past the end.
  fpt[512 + 4] = 0x7F;
  WriteAll(Path("f.fpt"), fpt);
  t = Open("f.dbf", TableType::kCdx);
  ASSERT_TRUE(t);
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  auto memo = t->ReadMemo(rec.data(), Field(*t, "M"));
  EXPECT_EQ(memo.status().code(), ace::kErrCorruptFile);
  EXPECT_NE(memo.status().message().find("past the end"), std::string::npos);
  t.reset();
  fpt[6] = fpt[7] = 0;
  WriteAll(Path("f.fpt"), fpt);
  auto opened = OpenDbfTable(Path("f.dbf"), TableType::kCdx, {});
  EXPECT_EQ(opened.status().code(), ace::kErrCorruptFile);
  EXPECT_NE(opened.status().message().find("block size"), std::string::npos);
}

TEST_F(FptTest, MemoFileThatWouldPassFourGibIsRefused) {
  auto t = Create("g.dbf", TableType::kVfp, {{"M", kFtMemo}});
  ASSERT_TRUE(t);
  t.reset();
  auto fpt = ReadAll(Path("g.fpt"));
  // Next free block 0x03FFFFFF of 64 bytes: one more block ends past 4 GiB.
  fpt[0] = 0x03;
  fpt[1] = fpt[2] = fpt[3] = 0xFF;
  WriteAll(Path("g.fpt"), fpt);
  t = Open("g.dbf", TableType::kVfp);
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  ace::Status s = t->WriteMemo(rec.data(), Field(*t, "M"), Bytes("x"), MemoKind::kText);
  EXPECT_EQ(s.code(), ace::kErrValueOutOfRange);
  EXPECT_NE(s.message().find("4 GiB"), std::string::npos);
  EXPECT_EQ(GetBin<uint32_t>(rec, Field(*t, "M")), 0u);
  EXPECT_EQ(ReadAll(Path("g.fpt")), fpt);
}

TEST_F(FptTest, MemoFileFollowsTheCaseOfTheTableName) {
  {
    auto t = Create("GROSS.DBF", TableType::kNtx, {{"M", kFtMemo}});
    ASSERT_TRUE(t);
    EXPECT_EQ(t->memo_path(), Path("GROSS.DBT"));
    auto rec = t->BlankRecord();
    ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "M"), Bytes("gross"), MemoKind::kText));
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  std::filesystem::rename(Path("GROSS.DBT"), Path("GROSS.dbt"));
  auto t = Open("GROSS.DBF", TableType::kNtx);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->memo_path(), Path("GROSS.dbt"));
  std::vector<std::byte> rec(t->record_length());
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  EXPECT_EQ(*t->ReadMemo(rec.data(), Field(*t, "M")), Bytes("gross"));
}

TEST_F(FptTest, DbtRefusesItsEndMarkAndOddBlockSizes) {
  auto t = Create("d.dbf", TableType::kNtx, {{"M", kFtMemo}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  EXPECT_EQ(t->WriteMemo(rec.data(), Field(*t, "M"), std::vector<uint8_t>{'a', 0x1A, 'b'},
                         MemoKind::kText)
                .code(),
            ace::kErrInvalidArgument);
  EXPECT_EQ(Trim(Get(rec, Field(*t, "M"))), "");
  auto odd = CreateDbfTable(Path("e.dbf"), TableType::kNtx, {{"M", kFtMemo}},
                            {.memo_block_size = 64, .char_type = 1, .collation = ""});
  EXPECT_EQ(odd.status().code(), ace::kErrInvalidArgument);
  EXPECT_FALSE(std::filesystem::exists(Path("e.dbf")));
}

}  // namespace
}  // namespace dbftest
