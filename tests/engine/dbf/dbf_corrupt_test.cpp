// Damaged and truncated .dbf files: every one is refused with a clear error or opened within
// what the file really holds, never read past its end.
#include <gtest/gtest.h>

#include "tests/engine/dbf/dbf_test_util.h"

namespace dbftest {
namespace {

using namespace ace::storage;  // NOLINT

class DbfCorruptTest : public TempDirTest {
 protected:
  // A CDX table with three records "r1".."r3"; answers the file's bytes.
  std::vector<uint8_t> MakeTable() {
    auto t = Create("c.dbf", TableType::kCdx, {{"X", kFtString, 2}, {"N", kFtNumeric, 5, 1}});
    EXPECT_TRUE(t);
    for (int i = 1; i <= 3; ++i) {
      auto rec = t->BlankRecord();
      Put(rec, Field(*t, "X"), "r" + std::to_string(i));
      EXPECT_TRUE(t->AppendRecord(rec.data()).ok());
    }
    t.reset();
    return ReadAll(Path("c.dbf"));
  }
  uint32_t Expect(const std::vector<uint8_t>& bytes, uint32_t code) {
    WriteAll(Path("c.dbf"), bytes);
    auto t = OpenDbfTable(Path("c.dbf"), TableType::kCdx, {});
    EXPECT_EQ(t.status().code(), code) << t.status().message();
    if (code != 0) {
      EXPECT_NE(t.status().message().find("c.dbf"), std::string::npos);
    }
    return t.ok() ? t.value()->record_count() : 0;
  }
};

TEST_F(DbfCorruptTest, DamagedHeadersAreRefused) {
  auto good = MakeTable();
  uint16_t header_length = static_cast<uint16_t>(good[8] | (good[9] << 8));
  EXPECT_EQ(Expect(good, 0), 3u);

  Expect({}, ace::kErrCorruptFile);  // empty file
  Expect(std::vector<uint8_t>(good.begin(), good.begin() + 20), ace::kErrCorruptFile);
  Expect(std::vector<uint8_t>(good.begin(), good.begin() + 50), ace::kErrCorruptFile);
  auto bytes = good;
  bytes[0] = 0x8B;  // a version of another kind
  Expect(bytes, ace::kErrUnsupportedVersion);
  bytes = good;
  bytes[8] = 0xFF;  // header length past the end of the file
  bytes[9] = 0xFF;
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[8] = 10;  // header length too small for a field
  bytes[9] = 0;
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[10] = bytes[11] = 0;  // record length 0
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[10] = 3;  // record shorter than its fields
  bytes[11] = 0;
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[header_length - 1] = 'X';  // no end mark after the descriptors
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[32 + 11] = 'Z';  // unknown field type
  Expect(bytes, ace::kErrInvalidFieldType);
  bytes = good;
  bytes[32 + 32 + 17] = 5;  // decimals as wide as the field
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[32] = 0;  // nameless field
  Expect(bytes, ace::kErrCorruptFile);
  bytes = good;
  bytes[32 + 11] = 'D';  // date of length 2
  Expect(bytes, ace::kErrCorruptFile);
}

TEST_F(DbfCorruptTest, RecordCountIsWhatTheFileHolds) {
  auto good = MakeTable();
  uint16_t header_length = static_cast<uint16_t>(good[8] | (good[9] << 8));
  uint32_t reclen = good[10];
  auto bytes = good;
  SetLe32(bytes, 4, 1000000);  // the header claims far more than the file holds
  EXPECT_EQ(Expect(bytes, 0), 3u);
  // Cut in the middle of the third record: two whole records remain.
  bytes.resize(header_length + 2 * reclen + 3);
  EXPECT_EQ(Expect(bytes, 0), 2u);
  auto t = Open("c.dbf", TableType::kCdx);
  ASSERT_TRUE(t);
  std::vector<std::byte> rec(t->record_length());
  EXPECT_EQ(t->ReadRecord(3, rec.data()).code(), ace::kErrInvalidRecordNumber);
  ASSERT_TRUE(t->ReadRecord(2, rec.data()));
  EXPECT_EQ(Get(rec, Field(*t, "X")), "r2");
  // An append continues after the whole records and repairs the header.
  Put(rec, Field(*t, "X"), "r9");
  ASSERT_EQ(*t->AppendRecord(rec.data()), 3u);
  t.reset();
  bytes = ReadAll(Path("c.dbf"));
  EXPECT_EQ(Le32(bytes, 4), 3u);
  EXPECT_EQ(bytes.size(), header_length + 3 * reclen + 1);
  EXPECT_EQ(bytes.back(), 0x1A);
  // A header that claims fewer records than the file holds is believed.
  SetLe32(bytes, 4, 1);
  EXPECT_EQ(Expect(bytes, 0), 1u);
}

TEST_F(DbfCorruptTest, ClipperWideCharacterFieldsOpenOnNtx) {
  {
    auto t = Create("wide.dbf", TableType::kNtx, {{"TEXT", kFtString, 200}});
    ASSERT_TRUE(t);
  }
  // Length 300 the Clipper way: low byte in the length, high byte in the decimals.
  auto bytes = ReadAll(Path("wide.dbf"));
  bytes[32 + 16] = 300 & 0xFF;
  bytes[32 + 17] = 300 >> 8;
  bytes[10] = 301 & 0xFF;
  bytes[11] = 301 >> 8;
  WriteAll(Path("wide.dbf"), bytes);
  auto t = Open("wide.dbf", TableType::kNtx);
  ASSERT_TRUE(t);
  EXPECT_EQ(Field(*t, "TEXT").length, 300u);
  EXPECT_EQ(Field(*t, "TEXT").decimals, 0);
  auto rec = t->BlankRecord();
  Put(rec, Field(*t, "TEXT"), std::string(299, 'w') + "!");
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  EXPECT_EQ(Get(rec, Field(*t, "TEXT")), std::string(299, 'w') + "!");
  // A FoxPro table does not read the decimals byte of a character field as a length.
  WriteAll(Path("fox.dbf"), bytes);
  auto fox = OpenDbfTable(Path("fox.dbf"), TableType::kCdx, {});
  ASSERT_TRUE(fox.ok()) << fox.status().message();
  EXPECT_EQ(Field(**fox, "TEXT").length, 44u);
}

TEST_F(DbfCorruptTest, MissingFileAndVfpWithoutNullFlags) {
  auto missing = OpenDbfTable(Path("nope.dbf"), TableType::kNtx, {});
  EXPECT_EQ(missing.status().code(), ace::kErrFileNotFound);
  {
    auto t = Create("v.dbf", TableType::kVfp, {{"A", kFtInteger}, {"B", kFtString, 3, 0, false}});
    ASSERT_TRUE(t);
  }
  auto bytes = ReadAll(Path("v.dbf"));
  // Shrink _NullFlags (descriptor 3) to nothing by giving it length 0.
  bytes[32 + 2 * 32 + 16] = 0;
  WriteAll(Path("v.dbf"), bytes);
  EXPECT_EQ(OpenDbfTable(Path("v.dbf"), TableType::kVfp, {}).status().code(), ace::kErrCorruptFile);
  // Drop the nullable flag's partner: a table whose field needs _NullFlags but has none.
  bytes = ReadAll(Path("v.dbf"));
  bytes[32 + 2 * 32 + 16] = 1;
  bytes[32 + 2 * 32] = 0x0D;  // end the descriptors before _NullFlags
  WriteAll(Path("v.dbf"), bytes);
  EXPECT_EQ(OpenDbfTable(Path("v.dbf"), TableType::kVfp, {}).status().code(), ace::kErrCorruptFile);
}

}  // namespace
}  // namespace dbftest
