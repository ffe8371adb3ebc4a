// ADT field layout and record images: every field type with its null form and edge values, long
// names, the refusals of create, and what the format maintains on append and write (autoinc,
// row version, modification time).
#include <array>

#include "tests/engine/adt/adt_test_util.h"

namespace adt_test {
namespace {

using namespace ace::storage;
using ace::storage::adt::Get16;
using ace::storage::adt::IsNull;
using ace::storage::adt::Put16;
using ace::storage::adt::Put32;
using ace::storage::adt::Put64;

std::vector<FieldSpec> AllTypes() {
  return {
      {"Logical", kFtLogical, 0, 0},
      {"Numeric", kFtNumeric, 12, 3},
      {"Date", kFtDate, 0, 0},
      {"Char", kFtString, 10, 0},
      {"Memo", kFtMemo, 0, 0},
      {"Binary", kFtBinary, 0, 0},
      {"Image", kFtImage, 0, 0},
      {"Varchar", kFtVarchar, 0, 0},
      {"CompactDate", kFtCompactDate, 0, 0},
      {"Double", kFtDouble, 0, 6},
      {"Integer", kFtInteger, 0, 0},
      {"Short", kFtShortInt, 0, 0},
      {"Time", kFtTime, 0, 0},
      {"Timestamp", kFtTimestamp, 0, 0},
      {"AutoInc", kFtAutoInc, 0, 0},
      {"Raw", kFtRaw, 6, 0},
      {"CurDouble", kFtCurDouble, 0, 0},
      {"Money", kFtMoney, 0, 0},
      {"CiChar", kFtCiString, 8, 0},
      {"RowVersion", kFtRowVersion, 0, 0},
      {"ModTime", kFtModTime, 0, 0},
      {"VarcharFox", kFtVarcharFox, 20, 0},
      {"VarBinary", kFtVarbinaryFox, 16, 0},
      {"NChar", kFtNChar, 5, 0},
      {"NVarchar", kFtNVarchar, 7, 0},
      {"NMemo", kFtNMemo, 0, 0},
  };
}

TEST_F(AdtTest, LayoutOfEveryTypeHasOffsetsLengthsAndLengthWords) {
  auto t = Create("all.adt", AllTypes());
  ASSERT_TRUE(t);
  ASSERT_EQ(t->fields().size(), 26u);
  const std::array<uint32_t, 26> lengths = {1, 12, 4, 10, 4, 4, 4, 4, 3,  8,  4,  2,  4,
                                            8, 4,  6, 8,  8, 8, 8, 8, 20, 16, 10, 14, 4};
  uint32_t offset = 5;
  for (size_t i = 0; i < lengths.size(); ++i) {
    const auto& f = t->fields()[i];
    EXPECT_EQ(f.length, lengths[i]) << f.name;
    EXPECT_EQ(f.offset, offset) << f.name;
    EXPECT_TRUE(f.nullable);
    offset +=
        f.length +
        ((f.type == kFtVarcharFox || f.type == kFtVarbinaryFox || f.type == kFtNVarchar) ? 2 : 0);
  }
  EXPECT_EQ(t->record_length(), offset);
  EXPECT_EQ(Field(*t, "Numeric").decimals, 3);
  EXPECT_EQ(Field(*t, "Double").decimals, 6);
  EXPECT_EQ(Field(*t, "Money").decimals, 4);
  EXPECT_EQ(t->memo_block_size(), 64);
  EXPECT_EQ(t->memo_path(), Path("all.adm"));
}

TEST_F(AdtTest, BlankRecordHoldsTheNullFormOfEveryType) {
  auto t = Create("all.adt", AllTypes());
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  ASSERT_EQ(rec.size(), t->record_length());
  EXPECT_FALSE(t->IsDeleted(rec.data()));
  for (const auto& f : t->fields()) EXPECT_TRUE(IsNull(rec.data(), f)) << f.name;
  EXPECT_EQ(Bytes(rec, Field(*t, "Logical"), 1), " ");
  EXPECT_EQ(U32(rec, Field(*t, "Double")), 32u);
  EXPECT_EQ(U32(rec, Field(*t, "Double"), 4), 0x80000000u);
  EXPECT_EQ(U32(rec, Field(*t, "CurDouble"), 4), 0x80000000u);
  EXPECT_EQ(U32(rec, Field(*t, "Integer")), 0x80000000u);
  EXPECT_EQ(Get16(rec.data() + Field(*t, "Short").offset), 0x8000);
  EXPECT_EQ(U32(rec, Field(*t, "Time")), 0xFFFFFFFFu);
  EXPECT_EQ(U32(rec, Field(*t, "AutoInc")), 0xFFFFFFFFu);
  EXPECT_EQ(U32(rec, Field(*t, "Timestamp")), 0u);
  EXPECT_EQ(U32(rec, Field(*t, "Timestamp"), 4), 0xFFFFFFFFu);
  EXPECT_EQ(U64(rec, Field(*t, "Money")), 0x8000000000000000ull);
  EXPECT_EQ(U64(rec, Field(*t, "RowVersion")), 0x8000000000000000ull);
  for (const char* name : {"VarcharFox", "VarBinary", "NVarchar"}) {
    const FieldDesc f = Field(*t, name);
    EXPECT_EQ(Get16(rec.data() + f.offset + f.length), 0xFFFF) << name;
  }
  for (const char* name : {"Memo", "Binary", "Image", "Varchar", "NMemo", "Char", "Numeric"}) {
    EXPECT_EQ(U32(rec, Field(*t, name)), 0u) << name;
  }
  // A zero length word is null as well; a one-character value is not.
  const FieldDesc vf = Field(*t, "VarcharFox");
  Put16(rec.data() + vf.offset + vf.length, 0);
  EXPECT_TRUE(IsNull(rec.data(), vf));
  Put16(rec.data() + vf.offset + vf.length, 1);
  EXPECT_FALSE(IsNull(rec.data(), vf));
}

TEST_F(AdtTest, EdgeValuesRoundTripThroughAFreshObject) {
  auto t = Create("all.adt", AllTypes());
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  SetBytes(rec, Field(*t, "Logical"), "T");
  SetBytes(rec, Field(*t, "Numeric"), " -123456.789");
  SetU32(rec, Field(*t, "Date"), 2455506);  // 2010-11-05
  SetBytes(rec, Field(*t, "Char"), "abc       ");
  SetBytes(rec, Field(*t, "CompactDate"), "\x0F\xB5\x65");
  double d = -1.5e300;
  std::memcpy(rec.data() + Field(*t, "Double").offset, &d, 8);
  SetU32(rec, Field(*t, "Integer"), 0x7FFFFFFF);
  Put16(rec.data() + Field(*t, "Short").offset, 0x8001);  // -32767, the smallest non-null
  SetU32(rec, Field(*t, "Time"), 86399999);
  SetU32(rec, Field(*t, "Timestamp"), 2451545);  // 2000-01-01 12:00
  Put32(rec.data() + Field(*t, "Timestamp").offset + 4, 43200000);
  SetBytes(rec, Field(*t, "Raw"), std::string("\0\x01\xFF\0\x80\x7F", 6));
  Put64(rec.data() + Field(*t, "Money").offset, 0x7FFFFFFFFFFFFFFFull);  // max money
  SetBytes(rec, Field(*t, "CiChar"), "MiXeD   ");
  const FieldDesc vf = Field(*t, "VarcharFox");
  SetBytes(rec, vf, "short");
  Put16(rec.data() + vf.offset + vf.length, 5);
  const FieldDesc vb = Field(*t, "VarBinary");
  SetBytes(rec, vb, std::string(16, '\xAB'));
  Put16(rec.data() + vb.offset + vb.length, 16);  // exactly full
  const FieldDesc nc = Field(*t, "NChar");
  SetBytes(rec, nc, std::string("A\0B\0 \0 \0 \0", 10));
  const FieldDesc nv = Field(*t, "NVarchar");
  SetBytes(rec, nv, std::string("x\0y\0", 4));
  Put16(rec.data() + nv.offset + nv.length, 2);  // two of seven characters
  auto recno = t->AppendRecord(rec.data());
  ASSERT_TRUE(recno.ok()) << recno.status().message();
  EXPECT_EQ(recno.value(), 1u);
  ASSERT_TRUE(t->Flush().ok());
  t.reset();

  auto again = Open("all.adt");
  ASSERT_TRUE(again);
  ASSERT_EQ(again->record_count(), 1u);
  std::vector<std::byte> back(again->record_length());
  ASSERT_TRUE(again->ReadRecord(1, back.data()).ok());
  for (const auto& f : again->fields()) {
    if (f.type == kFtAutoInc || f.type == kFtRowVersion || f.type == kFtModTime) continue;
    size_t area =
        f.length +
        (f.type == kFtVarcharFox || f.type == kFtVarbinaryFox || f.type == kFtNVarchar ? 2 : 0);
    EXPECT_EQ(Bytes(back, f, area), Bytes(rec, f, area)) << f.name;
  }
  EXPECT_FALSE(IsNull(back.data(), Field(*again, "Short")));
  EXPECT_FALSE(IsNull(back.data(), Field(*again, "NVarchar")));
  EXPECT_EQ(Get16(back.data() + nv.offset + nv.length), 2);
  EXPECT_TRUE(IsNull(back.data(), Field(*again, "Memo")));
}

TEST_F(AdtTest, AppendAndWriteMaintainAutoincRowVersionAndModTime) {
  auto t = Create("m.adt", {{"Id", kFtAutoInc},
                            {"Ver", kFtRowVersion},
                            {"Changed", kFtModTime},
                            {"Name", kFtString, 8}});
  ASSERT_TRUE(t);
  const FieldDesc id = Field(*t, "Id");
  const FieldDesc ver = Field(*t, "Ver");
  const FieldDesc changed = Field(*t, "Changed");
  auto rec = t->BlankRecord();
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());  // null autoinc: 1
  SetU32(rec, id, 0);
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());  // 0 counts as empty: 2
  SetU32(rec, id, 10);
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());  // explicit 10 moves the next value to 11
  SetU32(rec, id, 0xFFFFFFFFu);
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  EXPECT_EQ(t->next_autoinc(), 12u);
  EXPECT_EQ(Field(*t, "Id").autoinc_next, 12u);

  std::vector<std::byte> r(t->record_length());
  std::vector<uint32_t> ids;
  std::vector<uint64_t> versions;
  for (uint32_t n = 1; n <= 4; ++n) {
    ASSERT_TRUE(t->ReadRecord(n, r.data()).ok());
    ids.push_back(U32(r, id));
    versions.push_back(U64(r, ver));
    EXPECT_GT(U32(r, changed), 2451545u) << "modtime day";
    EXPECT_LT(U32(r, changed, 4), 86400000u) << "modtime ms";
  }
  EXPECT_EQ(ids, (std::vector<uint32_t>{1, 2, 10, 11}));
  for (size_t i = 1; i < versions.size(); ++i) EXPECT_GT(versions[i], versions[i - 1]);

  // A write keeps the stored autoinc when the image's is null, and raises the row version.
  ASSERT_TRUE(t->ReadRecord(2, r.data()).ok());
  uint64_t before = U64(r, ver);
  uint64_t stamp_before = t->change_counter();
  SetU32(r, id, 0xFFFFFFFFu);
  SetBytes(r, Field(*t, "Name"), "edited  ");
  ASSERT_TRUE(t->WriteRecord(2, r.data()).ok());
  ASSERT_TRUE(t->ReadRecord(2, r.data()).ok());
  EXPECT_EQ(U32(r, id), 2u);
  EXPECT_GT(U64(r, ver), before);
  EXPECT_GT(U64(r, ver), versions.back());
  EXPECT_GT(t->change_counter(), stamp_before);
  EXPECT_EQ(Bytes(r, Field(*t, "Name"), 8), "edited  ");

  // The next value survives a reopen.
  t.reset();
  auto again = Open("m.adt");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->next_autoinc(), 12u);
  auto blank = again->BlankRecord();
  auto n5 = again->AppendRecord(blank.data());
  ASSERT_TRUE(n5.ok());
  ASSERT_TRUE(again->ReadRecord(n5.value(), r.data()).ok());
  EXPECT_EQ(U32(r, Field(*again, "Id")), 12u);
}

TEST_F(AdtTest, LongNamesKeepTheirCaseAndDuplicatesIgnoringCaseAreRefused) {
  std::string long_name(128, 'x');
  long_name[0] = 'L';
  auto t = Create("n.adt", {{long_name, kFtInteger}, {"MixedCase Name", kFtString, 3}});
  ASSERT_TRUE(t);
  t.reset();
  auto again = Open("n.adt");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->fields()[0].name, long_name);
  EXPECT_EQ(again->fields()[1].name, "MixedCase Name");

  auto too_long = AdtTableFile::Create(Path("l.adt"), {{std::string(129, 'y'), kFtInteger}}, {});
  EXPECT_EQ(too_long.status().code(), ace::kErrNameTooLong);
  auto dup =
      AdtTableFile::Create(Path("d.adt"), {{"Name", kFtInteger}, {"NAME", kFtString, 2}}, {});
  EXPECT_EQ(dup.status().code(), ace::kErrInvalidFieldName);
  auto dup_latin = AdtTableFile::Create(Path("d2.adt"),
                                        {{"\xC4pfel", kFtInteger}, {"\xE4PFEL", kFtInteger}}, {});
  EXPECT_EQ(dup_latin.status().code(), ace::kErrInvalidFieldName);
  EXPECT_FALSE(ace::FileExists(Path("l.adt")));
  EXPECT_FALSE(ace::FileExists(Path("d.adt")));
}

TEST_F(AdtTest, CreateRefusesWhatTheFormatCannotHold) {
  struct Case {
    FieldSpec spec;
    uint32_t code;
  };
  const Case cases[] = {
      {{"A", 19, 0, 0}, ace::kErrInvalidFieldType},
      {{"A", 25, 0, 0}, ace::kErrInvalidFieldType},
      {{"A", kFtFoxBlob, 0, 0}, ace::kErrInvalidFieldType},
      {{"A", kFtString, 65531, 0}, ace::kErrInvalidArgument},
      {{"A", kFtNChar, 32766, 0}, ace::kErrInvalidArgument},
      {{"A", kFtNumeric, 33, 0}, ace::kErrInvalidArgument},
      {{"A", kFtNumeric, 5, 4}, ace::kErrInvalidArgument},  // no room for "0." and 4 digits
      {{"A", kFtInteger, 8, 0}, ace::kErrInvalidArgument},
      {{"A", kFtInteger, 0, 2}, ace::kErrInvalidArgument},
      {{"A", kFtMoney, 0, 2}, ace::kErrInvalidArgument},
      {{"", kFtInteger, 0, 0}, ace::kErrInvalidFieldName},
      {{" A", kFtInteger, 0, 0}, ace::kErrInvalidFieldName},
      {{"A\tB", kFtInteger, 0, 0}, ace::kErrInvalidFieldName},
  };
  int i = 0;
  for (const auto& c : cases) {
    auto r = AdtTableFile::Create(Path("r" + std::to_string(i++) + ".adt"), {c.spec}, {});
    EXPECT_EQ(r.status().code(), c.code)
        << c.spec.name << " type " << c.spec.type << " length " << c.spec.length;
  }
  // The widest character field fits alone; a second field pushes the record past 65535.
  EXPECT_TRUE(AdtTableFile::Create(Path("w.adt"), {{"C", kFtString, 65530}}, {}).ok());
  auto wide =
      AdtTableFile::Create(Path("w2.adt"), {{"C", kFtString, 65530}, {"L", kFtLogical}}, {});
  EXPECT_EQ(wide.status().code(), ace::kErrInvalidArgument);
  EXPECT_TRUE(AdtTableFile::Create(Path("n32.adt"), {{"N", kFtNumeric, 32, 30}}, {}).ok());
  // An existing file is never overwritten.
  auto again = AdtTableFile::Create(Path("w.adt"), {{"C", kFtString, 1}}, {});
  EXPECT_EQ(again.status().code(), ace::kErrFileExists);
  CreateOptions odd_block;
  odd_block.memo_block_size = 50;
  auto bad_block = AdtTableFile::Create(Path("b.adt"), {{"M", kFtMemo}}, odd_block);
  EXPECT_EQ(bad_block.status().code(), ace::kErrInvalidArgument);
}

TEST_F(AdtTest, HeaderKeepsCharTypeCollationAndDefaultLengths) {
  CreateOptions options;
  options.char_type = 2;
  options.collation = "GERMAN_VFP_CI_AS_1252";
  options.memo_block_size = 512;
  auto t = Create("h.adt", {{"C", kFtString, 0}, {"N", kFtNumeric, 0}, {"M", kFtMemo}}, options);
  ASSERT_TRUE(t);
  t.reset();
  auto again = Open("h.adt");
  ASSERT_TRUE(again);
  EXPECT_EQ(again->char_type(), 2);
  EXPECT_EQ(again->collation(), "GERMAN_VFP_CI_AS_1252");
  EXPECT_EQ(again->memo_block_size(), 512);
  EXPECT_EQ(Field(*again, "C").length, 1u);
  EXPECT_EQ(Field(*again, "N").length, 10u);
  options.char_type = 3;
  EXPECT_EQ(AdtTableFile::Create(Path("x.adt"), {{"C", kFtString, 1}}, options).status().code(),
            ace::kErrInvalidArgument);
}

TEST_F(AdtTest, ReadAndWriteCheckRecordNumbersLengthWordsAndReadOnly) {
  auto t = Create("c.adt", {{"V", kFtVarcharFox, 4}, {"I", kFtInteger}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  std::vector<std::byte> r(t->record_length());
  EXPECT_EQ(t->ReadRecord(1, r.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->ReadRecord(0, r.data()).code(), ace::kErrInvalidRecordNumber);
  EXPECT_EQ(t->WriteRecord(1, rec.data()).code(), ace::kErrInvalidRecordNumber);
  const FieldDesc v = Field(*t, "V");
  Put16(rec.data() + v.offset + v.length, 5);  // longer than the field
  EXPECT_EQ(t->AppendRecord(rec.data()).status().code(), ace::kErrInvalidArgument);
  EXPECT_EQ(t->record_count(), 0u);
  Put16(rec.data() + v.offset + v.length, 4);
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  t.reset();
  auto ro = Open("c.adt", true);
  ASSERT_TRUE(ro);
  EXPECT_EQ(ro->AppendRecord(rec.data()).status().code(), ace::kErrTableReadOnly);
  EXPECT_EQ(ro->WriteRecord(1, rec.data()).code(), ace::kErrTableReadOnly);
  EXPECT_EQ(ro->Pack().code(), ace::kErrTableReadOnly);
  EXPECT_TRUE(ro->ReadRecord(1, r.data()).ok());
}

TEST_F(AdtTest, RefreshHeaderSeesRecordsAppendedByAnotherUser) {
  auto a = Create("s.adt", {{"Id", kFtAutoInc}, {"I", kFtInteger}});
  ASSERT_TRUE(a);
  auto b = Open("s.adt");
  ASSERT_TRUE(b);
  auto rec = a->BlankRecord();
  ASSERT_TRUE(a->AppendRecord(rec.data()).ok());
  ASSERT_TRUE(a->AppendRecord(rec.data()).ok());
  EXPECT_EQ(b->record_count(), 0u);
  ASSERT_TRUE(b->RefreshHeader().ok());
  EXPECT_EQ(b->record_count(), 2u);
  // b's append takes the next number after a's, not a stale one.
  auto n = b->AppendRecord(rec.data());
  ASSERT_TRUE(n.ok());
  EXPECT_EQ(n.value(), 3u);
  std::vector<std::byte> r(b->record_length());
  ASSERT_TRUE(b->ReadRecord(3, r.data()).ok());
  EXPECT_EQ(U32(r, Field(*b, "Id")), 3u);
}

TEST_F(AdtTest, FactoryFunctionsHandOutTheTableThroughTheContract) {
  auto created = CreateAdtTable(Path("f.adt"), {{"Name", kFtString, 4}, {"Text", kFtMemo}}, {});
  ASSERT_TRUE(created.ok()) << created.status().message();
  EXPECT_EQ(created.value()->type(), TableType::kAdt);
  EXPECT_EQ(created.value()->memo_path(), Path("f.adm"));
  created.value().reset();
  auto opened = OpenAdtTable(Path("f.adt"), {});
  ASSERT_TRUE(opened.ok());
  EXPECT_EQ(opened.value()->fields().size(), 2u);
  EXPECT_EQ(OpenAdtTable(Path("missing.adt"), {}).status().code(), ace::kErrFileNotFound);
}

TEST_F(AdtTest, DeletionMarkIsInTheRecordHeader) {
  auto t = Create("del.adt", {{"I", kFtInteger}});
  ASSERT_TRUE(t);
  auto rec = t->BlankRecord();
  t->SetDeleted(rec.data(), true);
  EXPECT_TRUE(t->IsDeleted(rec.data()));
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  t->SetDeleted(rec.data(), false);
  EXPECT_FALSE(t->IsDeleted(rec.data()));
  ASSERT_TRUE(t->AppendRecord(rec.data()).ok());
  std::vector<std::byte> r(t->record_length());
  ASSERT_TRUE(t->ReadRecord(1, r.data()).ok());
  EXPECT_TRUE(t->IsDeleted(r.data()));
  t->SetDeleted(r.data(), false);
  ASSERT_TRUE(t->WriteRecord(1, r.data()).ok());
  ASSERT_TRUE(t->ReadRecord(1, r.data()).ok());
  EXPECT_FALSE(t->IsDeleted(r.data()));
}

}  // namespace
}  // namespace adt_test
