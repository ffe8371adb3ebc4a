// DBF tables: creation rules, round trips of every field type of each table type, header and
// record layout on disk, appends by two users, deleted marks, pack and zap.
#include <gtest/gtest.h>

#include <ctime>

#include "engine/base/file.h"
#include "engine/storage/dbf/dbf_info.h"
#include "tests/engine/dbf/dbf_test_util.h"

namespace dbftest {
namespace {

using namespace ace::storage;  // NOLINT

class DbfTableTest : public TempDirTest {};

TEST_F(DbfTableTest, NtxRoundTripOfEveryTypeAndFileLayout) {
  auto t = Create("kinder.dbf", TableType::kNtx,
                  {{"name", kFtString, 20},
                   {"Betrag", kFtNumeric, 8, 2},
                   {"GEB", kFtDate},
                   {"AKTIV", kFtLogical},
                   {"NOTIZ", kFtMemo}});
  ASSERT_TRUE(t);
  EXPECT_EQ(t->fields().size(), 5u);
  EXPECT_EQ(t->fields()[0].name, "NAME");  // names are stored upper case
  EXPECT_EQ(Field(*t, "BETRAG").type, kFtNumeric);
  EXPECT_EQ(Field(*t, "BETRAG").decimals, 2);
  EXPECT_EQ(Field(*t, "GEB").length, 8u);
  EXPECT_EQ(Field(*t, "NOTIZ").length, 10u);
  EXPECT_EQ(t->record_length(), 1u + 20 + 8 + 8 + 1 + 10);
  EXPECT_EQ(t->memo_block_size(), 512);

  auto rec = t->BlankRecord();
  EXPECT_EQ(rec[0], std::byte{' '});
  Put(rec, Field(*t, "NAME"), "Anna");
  PutRight(rec, Field(*t, "BETRAG"), "12.50");
  Put(rec, Field(*t, "GEB"), "20190304");
  Put(rec, Field(*t, "AKTIV"), "T");
  ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "NOTIZ"), Bytes("erste Zeile\r\nzweite"),
                           MemoKind::kText));
  auto recno = t->AppendRecord(rec.data());
  ASSERT_TRUE(recno.ok()) << recno.status().message();
  EXPECT_EQ(*recno, 1u);
  ASSERT_TRUE(t->Flush());
  t.reset();

  auto bytes = ReadAll(Path("kinder.dbf"));
  EXPECT_EQ(bytes[0], 0x83);  // dBase III with memo
  EXPECT_EQ(Le32(bytes, 4), 1u);
  uint16_t header_length = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  EXPECT_EQ(header_length, 32u + 5 * 32 + 1);
  EXPECT_EQ(bytes[header_length - 1], 0x0D);
  EXPECT_EQ(bytes.size(), header_length + 48u + 1);
  EXPECT_EQ(bytes.back(), 0x1A);
  EXPECT_TRUE(std::filesystem::exists(Path("kinder.dbt")));

  t = Open("kinder.dbf", TableType::kNtx);
  ASSERT_TRUE(t);
  ASSERT_EQ(t->record_count(), 1u);
  std::vector<std::byte> back(t->record_length());
  ASSERT_TRUE(t->ReadRecord(1, back.data()));
  EXPECT_EQ(Trim(Get(back, Field(*t, "NAME"))), "Anna");
  EXPECT_EQ(Get(back, Field(*t, "BETRAG")), "   12.50");
  EXPECT_EQ(Get(back, Field(*t, "GEB")), "20190304");
  EXPECT_EQ(Get(back, Field(*t, "AKTIV")), "T");
  auto memo = t->ReadMemo(back.data(), Field(*t, "NOTIZ"));
  ASSERT_TRUE(memo.ok()) << memo.status().message();
  EXPECT_EQ(*memo, Bytes("erste Zeile\r\nzweite"));
  EXPECT_EQ(*t->MemoType(back.data(), Field(*t, "NOTIZ")), MemoKind::kText);
  EXPECT_EQ(t->ReadRecord(2, back.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->ReadRecord(0, back.data()).code(), ace::kErrInvalidRecordNumber);
}

TEST_F(DbfTableTest, CdxMemoKindsAndVersion) {
  auto t = Create("fox.dbf", TableType::kCdx,
                  {{"TEXT", kFtMemo}, {"BIN", kFtBinary}, {"PIC", kFtImage}, {"N", kFtNumeric, 4}},
                  {.memo_block_size = 32, .char_type = 1, .collation = ""});
  ASSERT_TRUE(t);
  EXPECT_EQ(t->memo_block_size(), 32);
  auto rec = t->BlankRecord();
  std::vector<uint8_t> binary = {0, 1, 0x1A, 0x1A, 255, 0};
  ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "TEXT"), Bytes("hallo"), MemoKind::kText));
  ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "BIN"), binary, MemoKind::kBinary));
  ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "PIC"), binary, MemoKind::kImage));
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  t.reset();
  EXPECT_EQ(ReadAll(Path("fox.dbf"))[0], 0xF5);
  auto fpt = ReadAll(Path("fox.fpt"));
  EXPECT_EQ(fpt[6] << 8 | fpt[7], 32);  // big-endian block size

  t = Open("fox.dbf", TableType::kCdx);
  ASSERT_TRUE(t);
  EXPECT_EQ(Field(*t, "BIN").type, kFtBinary);
  EXPECT_EQ(Field(*t, "PIC").type, kFtImage);
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  EXPECT_EQ(*t->ReadMemo(rec.data(), Field(*t, "BIN")), binary);
  EXPECT_EQ(*t->ReadMemo(rec.data(), Field(*t, "PIC")), binary);
  EXPECT_EQ(*t->MemoLength(rec.data(), Field(*t, "TEXT")), 5u);
  EXPECT_EQ(*t->MemoType(rec.data(), Field(*t, "TEXT")), MemoKind::kText);
  EXPECT_EQ(*t->MemoType(rec.data(), Field(*t, "BIN")), MemoKind::kBinary);
  EXPECT_EQ(*t->MemoType(rec.data(), Field(*t, "PIC")), MemoKind::kImage);
  // The same file is not a Visual FoxPro table.
  auto vfp = OpenDbfTable(Path("fox.dbf"), TableType::kVfp, {});
  EXPECT_EQ(vfp.status().code(), ace::kErrUnsupportedVersion);
}

TEST_F(DbfTableTest, VfpTypesNullFlagsVarcharAndAutoinc) {
  auto t = Create("vfp.dbf", TableType::kVfp,
                  {{"ID", kFtAutoInc},
                   {"ANZAHL", kFtInteger},
                   {"WERT", kFtDouble, 0, 3},
                   {"PREIS", kFtMoney},
                   {"ZEIT", kFtTimestamp},
                   {"VNAME", kFtVarcharFox, 10},
                   {"ROH", kFtVarbinaryFox, 4, 0, false},
                   {"KOMMENTAR", kFtMemo},
                   {"DATEN", kFtFoxBlob},
                   {"OLE", kFtFoxGeneral},
                   {"FEST", kFtString, 5, 0, false}});
  ASSERT_TRUE(t);
  EXPECT_EQ(t->fields().size(), 11u);  // _NullFlags is in the image only
  const auto& id = Field(*t, "ID");
  EXPECT_EQ(id.type, kFtAutoInc);
  EXPECT_FALSE(id.nullable);
  EXPECT_EQ(id.autoinc_next, 1u);
  EXPECT_EQ(Field(*t, "KOMMENTAR").length, 4u);
  EXPECT_EQ(Field(*t, "DATEN").type, kFtFoxBlob);
  EXPECT_EQ(Field(*t, "OLE").type, kFtFoxGeneral);
  EXPECT_FALSE(Field(*t, "FEST").nullable);
  EXPECT_EQ(Field(*t, "FEST").null_bit, -1);
  // Bits in field order: the length bit of a varying field, then its null bit.
  EXPECT_EQ(Field(*t, "ANZAHL").null_bit, 0);
  EXPECT_EQ(Field(*t, "VNAME").varlen_bit, 4);
  EXPECT_EQ(Field(*t, "VNAME").null_bit, 5);
  EXPECT_EQ(Field(*t, "ROH").varlen_bit, 6);
  EXPECT_EQ(Field(*t, "ROH").null_bit, -1);
  EXPECT_EQ(Field(*t, "OLE").null_bit, 9);

  {
    // A blank record: binary types and block numbers zero, the others blanks, no null marks.
    auto blank = t->BlankRecord();
    EXPECT_EQ(blank[0], std::byte{' '});
    EXPECT_EQ(GetBin<int64_t>(blank, Field(*t, "PREIS")), 0);
    EXPECT_EQ(GetBin<uint32_t>(blank, Field(*t, "DATEN")), 0u);
    EXPECT_EQ(Get(blank, Field(*t, "VNAME")), std::string(10, ' '));
    EXPECT_EQ(Get(blank, Field(*t, "FEST")), "     ");
    for (int bit = 0; bit < 10; ++bit) EXPECT_FALSE(*GetVfpSystemBit(*t, blank.data(), bit));
  }
  for (int i = 0; i < 3; ++i) {
    auto rec = t->BlankRecord();
    PutBin<int32_t>(rec, Field(*t, "ANZAHL"), -7 * i);
    PutBin<double>(rec, Field(*t, "WERT"), 1.25 + i);
    PutBin<int64_t>(rec, Field(*t, "PREIS"), 123456789012345);  // 12345678901.2345
    PutBin<uint32_t>(rec, Field(*t, "ZEIT"), 2459000);
    std::memcpy(rec.data() + Field(*t, "ZEIT").offset + 4, "\x80\xee\x36\x00", 4);
    const auto& v = Field(*t, "VNAME");
    if (i == 0) {
      Put(rec, v, "Eva");  // shorter: length in the last byte, mark set
      rec[v.offset + v.length - 1] = std::byte{3};
      ASSERT_TRUE(SetVfpSystemBit(*t, rec.data(), v.varlen_bit, true));
    } else {
      Put(rec, v, "Maximilian");  // exactly the field's length
    }
    if (i == 2) {
      ASSERT_TRUE(SetVfpSystemBit(*t, rec.data(), Field(*t, "ANZAHL").null_bit, true));
    }
    ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "DATEN"), std::vector<uint8_t>{1, 2, 3},
                             MemoKind::kBinary));
    auto recno = t->AppendRecord(rec.data());
    ASSERT_TRUE(recno.ok()) << recno.status().message();
  }
  EXPECT_EQ(Field(*t, "ID").autoinc_next, 4u);
  t.reset();
  auto bytes = ReadAll(Path("vfp.dbf"));
  EXPECT_EQ(bytes[0], 0x32);          // varchar present
  EXPECT_EQ(bytes[28] & 0x02, 0x02);  // memo flag
  uint16_t header_length = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  EXPECT_EQ(header_length, 32u + 12 * 32 + 1 + 263);

  t = Open("vfp.dbf", TableType::kVfp);
  ASSERT_TRUE(t);
  EXPECT_EQ(Field(*t, "ID").autoinc_next, 4u);
  std::vector<std::byte> rec(t->record_length());
  for (uint32_t r = 1; r <= 3; ++r) {
    ASSERT_TRUE(t->ReadRecord(r, rec.data()));
    EXPECT_EQ(GetBin<int32_t>(rec, Field(*t, "ID")), static_cast<int32_t>(r));
    EXPECT_EQ(GetBin<double>(rec, Field(*t, "WERT")), 0.25 + r);
    EXPECT_EQ(GetBin<int64_t>(rec, Field(*t, "PREIS")), 123456789012345);
    EXPECT_EQ(GetBin<uint32_t>(rec, Field(*t, "ZEIT")), 2459000u);
    const auto& v = Field(*t, "VNAME");
    auto shorter = GetVfpSystemBit(*t, rec.data(), v.varlen_bit);
    ASSERT_TRUE(shorter.ok());
    EXPECT_EQ(*shorter, r == 1);
    if (r == 1) {
      EXPECT_EQ(static_cast<int>(rec[v.offset + v.length - 1]), 3);
    }
    EXPECT_EQ(Get(rec, v).substr(0, r == 1 ? 3 : 10), r == 1 ? "Eva" : "Maximilian");
    EXPECT_EQ(*GetVfpSystemBit(*t, rec.data(), Field(*t, "ANZAHL").null_bit), r == 3);
    EXPECT_EQ(*t->ReadMemo(rec.data(), Field(*t, "DATEN")), (std::vector<uint8_t>{1, 2, 3}));
  }
  EXPECT_EQ(GetVfpSystemBit(*t, rec.data(), 99).status().code(), ace::kErrInvalidArgument);
}

TEST_F(DbfTableTest, VfpAutoincContinuesAcrossUsers) {
  auto a = Create("auto.dbf", TableType::kVfp, {{"ID", kFtAutoInc}, {"X", kFtString, 2}});
  ASSERT_TRUE(a);
  auto b = Open("auto.dbf", TableType::kVfp);
  ASSERT_TRUE(b);
  auto rec = a->BlankRecord();
  ASSERT_TRUE(a->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(b->AppendRecord(rec.data()).ok());  // b's header was stale: it must not overwrite
  ASSERT_TRUE(a->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(b->RefreshHeader());
  ASSERT_EQ(b->record_count(), 3u);
  for (uint32_t r = 1; r <= 3; ++r) {
    ASSERT_TRUE(b->ReadRecord(r, rec.data()));
    EXPECT_EQ(GetBin<int32_t>(rec, Field(*b, "ID")), static_cast<int32_t>(r));
  }
}

TEST_F(DbfTableTest, CreationRefusesWhatTheFormatCannotHold) {
  auto refused = [&](TableType type, const std::vector<FieldSpec>& fields, uint32_t code) {
    auto t = CreateDbfTable(Path("bad.dbf"), type, fields, {});
    EXPECT_EQ(t.status().code(), code) << t.status().message();
    EXPECT_FALSE(std::filesystem::exists(Path("bad.dbf")));
    EXPECT_FALSE(std::filesystem::exists(Path("bad.dbt")));
    EXPECT_FALSE(std::filesystem::exists(Path("bad.fpt")));
    return t.status().message();
  };
  std::string msg =
      refused(TableType::kNtx, {{"KINDERGARTEN", kFtString, 5}}, ace::kErrNameTooLong);
  EXPECT_NE(msg.find("KINDERGARTEN"), std::string::npos);
  refused(TableType::kCdx, {{"Name", kFtString, 5}, {"NAME", kFtMemo}}, ace::kErrInvalidFieldName);
  refused(TableType::kNtx, {{"1X", kFtString, 5}}, ace::kErrInvalidFieldName);
  refused(TableType::kNtx, {{"A B", kFtString, 5}}, ace::kErrInvalidFieldName);
  refused(TableType::kNtx, {{"N", kFtNumeric, 21}}, ace::kErrInvalidArgument);
  refused(TableType::kNtx, {{"N", kFtNumeric, 5, 4}}, ace::kErrInvalidArgument);
  refused(TableType::kNtx, {{"C", kFtString, 255}}, ace::kErrInvalidArgument);
  refused(TableType::kCdx, {{"I", kFtInteger}}, ace::kErrInvalidFieldType);
  refused(TableType::kNtx, {{"B", kFtBinary}}, ace::kErrInvalidFieldType);
  refused(TableType::kVfp, {{"T", kFtTime}}, ace::kErrInvalidFieldType);
  refused(TableType::kVfp, {{"_NULLFLAGS", kFtString, 1}}, ace::kErrInvalidFieldName);
  refused(TableType::kNtx, {}, ace::kErrInvalidArgument);
  std::vector<FieldSpec> wide;
  for (int i = 0; i < 17; ++i) wide.push_back({"C" + std::to_string(i), kFtString, 250});
  refused(TableType::kNtx, wide, ace::kErrInvalidArgument);  // record above 4000 bytes
  std::vector<FieldSpec> many;
  for (int i = 0; i < 129; ++i) many.push_back({"F" + std::to_string(i), kFtLogical});
  refused(TableType::kNtx, many, ace::kErrInvalidArgument);

  // Widths the format holds are taken as they are.
  auto ok = CreateDbfTable(Path("ok.dbf"), TableType::kNtx,
                           {{"N", kFtNumeric, 20, 18}, {"C", kFtString, 254}}, {});
  ASSERT_TRUE(ok.ok()) << ok.status().message();
  EXPECT_EQ(Field(**ok, "N").decimals, 18);
  // An existing table is never overwritten.
  auto again = CreateDbfTable(Path("ok.dbf"), TableType::kNtx, {{"X", kFtLogical}}, {});
  EXPECT_EQ(again.status().code(), ace::kErrFileExists);
  EXPECT_EQ(ok.value()->fields().size(), 2u);
  auto reopened = OpenDbfTable(Path("ok.dbf"), TableType::kNtx, {});
  ASSERT_TRUE(reopened.ok());
  EXPECT_EQ(reopened.value()->fields().size(), 2u);
}

TEST_F(DbfTableTest, DeletedMarksPackAndZap) {
  auto t = Create("pack.dbf", TableType::kCdx, {{"NR", kFtNumeric, 3}, {"M", kFtMemo}});
  ASSERT_TRUE(t);
  for (int i = 1; i <= 6; ++i) {
    auto rec = t->BlankRecord();
    PutRight(rec, Field(*t, "NR"), std::to_string(i));
    std::string text(1000 * i, static_cast<char>('a' + i));
    ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "M"), Bytes(text), MemoKind::kText));
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  std::vector<std::byte> rec(t->record_length());
  for (uint32_t r : {2u, 5u}) {
    ASSERT_TRUE(t->ReadRecord(r, rec.data()));
    EXPECT_FALSE(t->IsDeleted(rec.data()));
    t->SetDeleted(rec.data(), true);
    EXPECT_EQ(rec[0], std::byte{0x2A});
    ASSERT_TRUE(t->WriteRecord(r, rec.data()));
  }
  ASSERT_TRUE(t->ReadRecord(2, rec.data()));
  EXPECT_TRUE(t->IsDeleted(rec.data()));
  auto memo_before = std::filesystem::file_size(Path("pack.fpt"));

  ASSERT_TRUE(t->Pack());
  EXPECT_EQ(t->record_count(), 4u);
  EXPECT_LT(std::filesystem::file_size(Path("pack.fpt")), memo_before);
  EXPECT_FALSE(std::filesystem::exists(Path("pack.dbf.rewrite")));
  int expected[] = {1, 3, 4, 6};
  for (uint32_t r = 1; r <= 4; ++r) {
    ASSERT_TRUE(t->ReadRecord(r, rec.data()));
    EXPECT_FALSE(t->IsDeleted(rec.data()));
    EXPECT_EQ(Trim(Get(rec, Field(*t, "NR"))), std::to_string(expected[r - 1]));
    auto memo = t->ReadMemo(rec.data(), Field(*t, "M"));
    ASSERT_TRUE(memo.ok()) << memo.status().message();
    EXPECT_EQ(*memo,
              Bytes(std::string(1000 * expected[r - 1], static_cast<char>('a' + expected[r - 1]))));
  }
  // The packed table is written after the pack and reopens the same.
  auto fresh = t->BlankRecord();
  PutRight(fresh, Field(*t, "NR"), "7");
  ASSERT_EQ(*t->AppendRecord(fresh.data()), 5u);
  t.reset();
  t = Open("pack.dbf", TableType::kCdx);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->record_count(), 5u);

  ASSERT_TRUE(t->Zap());
  EXPECT_EQ(t->record_count(), 0u);
  EXPECT_EQ(t->ReadRecord(1, rec.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(std::filesystem::file_size(Path("pack.fpt")), 512u);
  auto bytes = ReadAll(Path("pack.dbf"));
  EXPECT_EQ(Le32(bytes, 4), 0u);
  EXPECT_EQ(bytes.back(), 0x1A);
}

TEST_F(DbfTableTest, PackAndZapWithoutMemoFile) {
  auto t = Create("plain.dbf", TableType::kNtx, {{"X", kFtString, 1}});
  ASSERT_TRUE(t);
  EXPECT_TRUE(t->memo_path().empty());
  EXPECT_EQ(t->memo_block_size(), 0);
  for (char c : std::string("abcde")) {
    auto rec = t->BlankRecord();
    Put(rec, Field(*t, "X"), std::string(1, c));
    t->SetDeleted(rec.data(), c == 'a' || c == 'e');
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  ASSERT_TRUE(t->Pack());
  ASSERT_EQ(t->record_count(), 3u);
  std::vector<std::byte> rec(t->record_length());
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  EXPECT_EQ(Get(rec, Field(*t, "X")), "b");
  ASSERT_TRUE(t->ReadRecord(3, rec.data()));
  EXPECT_EQ(Get(rec, Field(*t, "X")), "d");
  EXPECT_EQ(std::filesystem::file_size(Path("plain.dbf")), 32u + 32 + 1 + 3 * 2 + 1);
  ASSERT_TRUE(t->Zap());
  EXPECT_EQ(std::filesystem::file_size(Path("plain.dbf")), 32u + 32 + 1 + 1);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir_), {}), 1);
}

TEST_F(DbfTableTest, PackKeepsHeaderBytesItDoesNotInterpret) {
  {
    auto t = Create("bound.dbf", TableType::kVfp, {{"A", kFtInteger}, {"B", kFtString, 4}});
    ASSERT_TRUE(t);
  }
  auto bytes = ReadAll(Path("bound.dbf"));
  uint16_t header_length = static_cast<uint16_t>(bytes[8] | (bytes[9] << 8));
  size_t backlink = header_length - 263;
  std::string dbc = "..\\daten\\kita.dbc";
  std::copy(dbc.begin(), dbc.end(), bytes.begin() + backlink);
  bytes[28] |= 0x04;           // the table belongs to a database container
  bytes[32 + 32 + 31] = 0x5A;  // a reserved byte of the second descriptor
  WriteAll(Path("bound.dbf"), bytes);
  auto t = Open("bound.dbf", TableType::kVfp);
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(t->Pack());
  auto after = ReadAll(Path("bound.dbf"));
  ASSERT_EQ(after.size(), header_length + t->record_length() + 1u);
  EXPECT_EQ(std::string(after.begin() + backlink, after.begin() + backlink + dbc.size()), dbc);
  EXPECT_EQ(after[28] & 0x04, 0x04);
  EXPECT_EQ(after[32 + 32 + 31], 0x5A);
  EXPECT_EQ(t->record_count(), 1u);
}

TEST_F(DbfTableTest, FailedPackLeavesTheTableWhole) {
  auto t = Create("keep.dbf", TableType::kNtx, {{"NR", kFtNumeric, 3}, {"M", kFtMemo}});
  ASSERT_TRUE(t);
  for (int i = 1; i <= 3; ++i) {
    auto rec = t->BlankRecord();
    PutRight(rec, Field(*t, "NR"), std::to_string(i));
    ASSERT_TRUE(t->WriteMemo(rec.data(), Field(*t, "M"), Bytes("memo " + std::to_string(i)),
                             MemoKind::kText));
    if (i == 2) t->SetDeleted(rec.data(), true);
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  auto data_before = ReadAll(Path("keep.dbf"));
  auto memo_before = ReadAll(Path("keep.dbt"));
  using Fault = std::pair<ace::IoKind, uint64_t>;
  for (auto [kind, nth] :
       {Fault{ace::IoKind::kWrite, 2}, Fault{ace::IoKind::kSync, 2}, Fault{ace::IoKind::kRename, 1},
        Fault{ace::IoKind::kRename, 2}, Fault{ace::IoKind::kRename, 3}}) {
    ace::FaultInjector::FailAt(kind, nth, ace::kErrDiskFull);
    ace::Status s = t->Pack();
    ace::FaultInjector::Reset();
    EXPECT_FALSE(s.ok());
    EXPECT_EQ(ReadAll(Path("keep.dbf")), data_before);
    EXPECT_EQ(ReadAll(Path("keep.dbt")), memo_before);
    EXPECT_FALSE(std::filesystem::exists(Path("keep.dbf.rewrite")));
    EXPECT_FALSE(std::filesystem::exists(Path("keep.dbt.rewrite")));
    EXPECT_FALSE(std::filesystem::exists(Path("keep.dbt.old")));
    EXPECT_EQ(t->record_count(), 3u);
    std::vector<std::byte> rec(t->record_length());
    ASSERT_TRUE(t->ReadRecord(3, rec.data()));
    EXPECT_EQ(*t->ReadMemo(rec.data(), Field(*t, "M")), Bytes("memo 3"));
  }
  ASSERT_TRUE(t->Pack());
  EXPECT_EQ(t->record_count(), 2u);
}

TEST_F(DbfTableTest, FailedAppendCountsNothing) {
  auto t = Create("app.dbf", TableType::kNtx, {{"X", kFtString, 3}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  Put(rec, Field(*t, "X"), "one");
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  for (uint64_t nth : {1, 2}) {  // the record write, then the header write
    ace::FaultInjector::FailAt(ace::IoKind::kWrite, nth, ace::kErrDiskFull);
    Put(rec, Field(*t, "X"), "bad");
    auto appended = t->AppendRecord(rec.data());
    ace::FaultInjector::Reset();
    EXPECT_EQ(appended.status().code(), ace::kErrDiskFull);
    EXPECT_EQ(t->record_count(), 1u);
    EXPECT_EQ(Le32(ReadAll(Path("app.dbf")), 4), 1u);
  }
  Put(rec, Field(*t, "X"), "two");
  ASSERT_EQ(*t->AppendRecord(rec.data()), 2u);
  auto reopened = Open("app.dbf", TableType::kNtx);
  ASSERT_TRUE(reopened);
  ASSERT_EQ(reopened->record_count(), 2u);
  ASSERT_TRUE(reopened->ReadRecord(2, rec.data()));
  EXPECT_EQ(Get(rec, Field(*reopened, "X")), "two");
  EXPECT_EQ(ReadAll(Path("app.dbf")).back(), 0x1A);
}

TEST_F(DbfTableTest, RunsOfRecordsReadAsSingleReadsDo) {
  auto t = Create("run.dbf", TableType::kCdx, {{"X", kFtString, 3}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  for (const char* v : {"one", "two", "thr", "fou"}) {
    Put(rec, Field(*t, "X"), v);
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  const size_t len = t->record_length();
  std::vector<std::byte> run(4 * len);
  ASSERT_TRUE(t->ReadRecords(2, 3, run.data()).ok());
  for (uint32_t i = 0; i < 3; ++i) {
    ASSERT_TRUE(t->ReadRecord(2 + i, rec.data()).ok());
    EXPECT_EQ(0, std::memcmp(rec.data(), run.data() + i * len, len)) << "record " << 2 + i;
  }
  EXPECT_EQ(t->ReadRecords(3, 3, run.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->ReadRecords(1, 0xFFFFFFFFu, run.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->ReadRecords(0, 2, run.data()).code(), ace::kErrInvalidRecordNumber);
}

TEST_F(DbfTableTest, ARunAppendedInPrivateUseMatchesSingleAppends) {
  auto one = Create("one.dbf", TableType::kCdx, {{"X", kFtString, 3}});
  auto run = Create("run.dbf", TableType::kCdx, {{"X", kFtString, 3}});
  ASSERT_TRUE(one);
  ASSERT_TRUE(run);
  const size_t len = one->record_length();
  std::vector<std::byte> images;
  for (int i = 0; i < 40; ++i) {
    auto rec = one->BlankRecord();
    Put(rec, Field(*one, "X"), std::to_string(100 + i));
    one->SetDeleted(rec.data(), i % 6 == 1);
    images.insert(images.end(), rec.begin(), rec.end());
    ASSERT_TRUE(one->AppendRecord(rec.data()).ok());
  }
  ASSERT_TRUE(run->SetPrivate(true));
  ASSERT_TRUE(run->AppendRecords(images.data(), 25));
  ASSERT_TRUE(run->AppendRecords(images.data() + 25 * len, 15));
  ASSERT_TRUE(run->SetPrivate(false));
  ASSERT_TRUE(run->Flush());
  auto a = ReadAll(Path("one.dbf"));
  auto b = ReadAll(Path("run.dbf"));
  EXPECT_EQ(Le32(b, 4), 40u);
  EXPECT_EQ(b.back(), 0x1A);
  ASSERT_EQ(a.size(), b.size());
  EXPECT_TRUE(std::equal(a.begin() + 32, a.end(), b.begin() + 32));  // all but the header's date
}

TEST_F(DbfTableTest, RefreshHeaderSeesAppendsOfAnotherUser) {
  auto a = Create("shared.dbf", TableType::kNtx, {{"X", kFtString, 3}});
  ASSERT_TRUE(a);
  auto b = Open("shared.dbf", TableType::kNtx);
  ASSERT_TRUE(b);
  auto rec = a->BlankRecord();
  Put(rec, Field(*a, "X"), "one");
  ASSERT_EQ(*a->AppendRecord(rec.data()), 1u);
  EXPECT_EQ(b->record_count(), 0u);
  ASSERT_TRUE(b->RefreshHeader());
  EXPECT_EQ(b->record_count(), 1u);
  Put(rec, Field(*a, "X"), "two");
  ASSERT_EQ(*a->AppendRecord(rec.data()), 2u);
  Put(rec, Field(*a, "X"), "thr");
  ASSERT_EQ(*b->AppendRecord(rec.data()), 3u);  // after a's second record, not over it
  ASSERT_TRUE(a->ReadRecord(2, rec.data()).code() == 0);
  EXPECT_EQ(Get(rec, Field(*a, "X")), "two");
  ASSERT_TRUE(a->RefreshHeader());
  ASSERT_TRUE(a->ReadRecord(3, rec.data()));
  EXPECT_EQ(Get(rec, Field(*a, "X")), "thr");
}

TEST_F(DbfTableTest, HeaderDateFlagsAndCodePage) {
  {
    auto t = Create("h.dbf", TableType::kCdx, {{"X", kFtString, 3}},
                    {.memo_block_size = 0, .char_type = 2, .collation = ""});
    ASSERT_TRUE(t);
    EXPECT_EQ(DbfCharType(*t), 2);
    EXPECT_FALSE(HasStructuralIndex(*t));
    auto rec = t->BlankRecord();
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  auto bytes = ReadAll(Path("h.dbf"));
  EXPECT_EQ(bytes[29], 0x02);  // code page 850
  bytes[1] = 90;               // last update 1990-01-01
  bytes[2] = 1;
  bytes[3] = 1;
  WriteAll(Path("h.dbf"), bytes);

  // Reading and flushing leave the file as it was.
  auto t = Open("h.dbf", TableType::kCdx);
  ASSERT_TRUE(t);
  std::vector<std::byte> rec(t->record_length());
  ASSERT_TRUE(t->ReadRecord(1, rec.data()));
  ASSERT_TRUE(t->Flush());
  EXPECT_EQ(ReadAll(Path("h.dbf")), bytes);

  // A write dates the header today.
  ASSERT_TRUE(t->WriteRecord(1, rec.data()));
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  auto after = ReadAll(Path("h.dbf"));
  EXPECT_EQ(after[1], tm.tm_year);
  EXPECT_EQ(after[2], tm.tm_mon + 1);
  EXPECT_EQ(after[3], tm.tm_mday);

  ASSERT_TRUE(SetStructuralIndexFlag(*t, true));
  EXPECT_TRUE(HasStructuralIndex(*t));
  EXPECT_EQ(ReadAll(Path("h.dbf"))[28], 0x01);
  t.reset();
  t = Open("h.dbf", TableType::kCdx);
  ASSERT_TRUE(t);
  EXPECT_TRUE(HasStructuralIndex(*t));
  EXPECT_EQ(DbfCharType(*t), 2);
}

TEST_F(DbfTableTest, FlushOfAStaleTableKeepsTheAppendsOfAnother) {
  auto a = Create("f.dbf", TableType::kNtx, {{"X", kFtString, 3}});
  ASSERT_TRUE(a);
  auto b = Open("f.dbf", TableType::kNtx);
  ASSERT_TRUE(b);
  auto rec = b->BlankRecord();
  ASSERT_TRUE(b->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(a->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(a->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(b->Flush());  // b still believes in one record
  EXPECT_EQ(Le32(ReadAll(Path("f.dbf")), 4), 3u);
}

TEST_F(DbfTableTest, ReadOnlyTableRefusesWrites) {
  {
    auto t = Create("ro.dbf", TableType::kCdx, {{"X", kFtString, 3}, {"M", kFtMemo}});
    ASSERT_TRUE(t);
    auto rec = t->BlankRecord();
    ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  }
  auto before = ReadAll(Path("ro.dbf"));
  auto t = Open("ro.dbf", TableType::kCdx, true);
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  EXPECT_EQ(t->WriteRecord(1, rec.data()).code(), ace::kErrTableReadOnly);
  EXPECT_EQ(t->AppendRecord(rec.data()).status().code(), ace::kErrTableReadOnly);
  EXPECT_EQ(t->WriteMemo(rec.data(), Field(*t, "M"), Bytes("x"), MemoKind::kText).code(),
            ace::kErrTableReadOnly);
  EXPECT_EQ(t->Pack().code(), ace::kErrTableReadOnly);
  EXPECT_TRUE(t->Flush());
  EXPECT_EQ(ReadAll(Path("ro.dbf")), before);
}

TEST_F(DbfTableTest, TableThatWouldPassFourGibIsRefused) {
  std::vector<FieldSpec> wide;
  for (int i = 0; i < 15; ++i) wide.push_back({"C" + std::to_string(i), kFtString, 254});
  auto t = Create("big.dbf", TableType::kNtx, wide);
  ASSERT_TRUE(t);
  uint32_t header = 32 + 15 * 32 + 1;
  uint32_t reclen = t->record_length();
  uint32_t count = static_cast<uint32_t>((0xFFFFFFFFull - header - 1) / reclen);
  t.reset();
  // A sparse file as long as count records: the header is patched, the rest is a hole.
  auto bytes = ReadAll(Path("big.dbf"));
  SetLe32(bytes, 4, count);
  bytes.resize(header);
  WriteAll(Path("big.dbf"), bytes);
  std::filesystem::resize_file(Path("big.dbf"), uint64_t{header} + uint64_t{count} * reclen + 1);
  t = Open("big.dbf", TableType::kNtx);
  ASSERT_TRUE(t);
  EXPECT_EQ(t->record_count(), count);
  auto rec = t->BlankRecord();
  auto appended = t->AppendRecord(rec.data());
  EXPECT_EQ(appended.status().code(), ace::kErrValueOutOfRange);
  EXPECT_NE(appended.status().message().find("4 GiB"), std::string::npos);
  EXPECT_EQ(t->record_count(), count);
  EXPECT_EQ(std::filesystem::file_size(Path("big.dbf")),
            uint64_t{header} + uint64_t{count} * reclen + 1);
}

}  // namespace
}  // namespace dbftest
