// The extended table's members on the current record: the engine cursor follows the dataset's
// active record (also on an empty, a sequenced and an inserting dataset), values set through
// the engine reach the file and the window, texts convert in both directions, and bad
// arguments are refused before anything is done.
#include <cstdio>
#include <fstream>

#include "tests/ads/extended/extended_support.h"

namespace exttest {
namespace {

class RecordByType : public ExtWorldByType {};

TEST_P(RecordByType, SetLongChangesTheEngineRecordAndTheWindowShowsIt) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->First();
  t->Next();
  t->Next();  // ID 3
  ASSERT_EQ(Id(t), 3);
  // The engine cursor is put elsewhere: the member works on the dataset's record all the same.
  ASSERT_EQ(AdsGotoRecord(static_cast<ADSHANDLE>(t->Handle()), 7), 0u);
  t->AdsSetLong("Zahl", 4242);
  EXPECT_EQ(Id(t), 3);
  EXPECT_EQ(t->FieldByName("Zahl")->AsInteger(), 4242);
  EXPECT_EQ(t->AdsGetLong("Zahl"), 4242);
  // Another user reads the new value from the file, and record 7 kept its own.
  OtherUser other(data_, "Kinder", EngineType(GetParam()));
  EXPECT_EQ(other.Long(3, "Zahl"), 4242);
  EXPECT_EQ(other.Long(7, "Zahl"), 70);
}

TEST_P(RecordByType, StringMembersConvertTheCodePageAndTrim) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->AdsSetString("Name", "Jürgen Öz");
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "Jürgen Öz");
  EXPECT_EQ(t->AdsGetString("Name", optRTRIM), "Jürgen Öz");
  EXPECT_EQ(t->AdsGetString("Name", optNONE), "Jürgen Öz   ");
  EXPECT_EQ(t->AdsGetField("Name", optTRIM), "Jürgen Öz");
  OtherUser other(data_, "Kinder", EngineType(GetParam()));
  EXPECT_EQ(other.Text(1, "Name"), "J\xFCrgen \xD6z");  // Windows-1252 in the file
  t->AdsSetField("Zahl", "77");
  EXPECT_EQ(t->AdsGetField("Zahl", optTRIM), "77");
}

TEST_P(RecordByType, GetFieldReturnsAFullCharacterField) {
  MakeTable("Kinder", GetParam(), {{1, "ABCDEFGHIJKL", 5}});
  TAdsTable* t = OpenTable("Kinder", GetParam());
  // Twelve characters in a field of twelve: the text arrives whole.
  EXPECT_EQ(t->AdsGetField("Name", optNONE), "ABCDEFGHIJKL");
  EXPECT_EQ(t->AdsGetString("Name", optNONE), "ABCDEFGHIJKL");
  EXPECT_FALSE(t->AdsGetField("Datum", optNONE).empty());
}

TEST_P(RecordByType, DateAndTimeTexts) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  const int32_t julian = t->AdsGetJulian("Datum");
  DOUBLE expected = 0;
  ASSERT_EQ(AdsConvertStringToJulian(U8("20240101"), 8, &expected), 0u);
  EXPECT_EQ(julian, static_cast<int32_t>(expected));
  const std::string date = t->AdsGetDate("Datum");
  ASSERT_FALSE(date.empty());
  t->AdsSetJulian("Datum", julian + 1);
  EXPECT_NE(t->AdsGetDate("Datum"), date);
  t->AdsSetDate("Datum", date);
  EXPECT_EQ(t->AdsGetJulian("Datum"), julian);
  // A date text longer than its buffer is refused; the record keeps its date.
  try {
    t->AdsSetDate("Datum", std::string(256, '1'));
    ADD_FAILURE() << "a 256-character date text was taken";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), AE_COMPONENT);
  }
  EXPECT_EQ(t->AdsGetJulian("Datum"), julian);
}

TEST_P(RecordByType, TheEmptyTableIsNoError) {
  MakeTable("Leer", GetParam(), {});
  TAdsTable* t = OpenTable("Leer", GetParam());
  EXPECT_EQ(t->AdsActiveRecord(), 0u);
  // There is no current record: the getters answer their zero values.
  EXPECT_EQ(t->AdsGetLong("Zahl"), 0);
  EXPECT_EQ(t->AdsGetRecordNum(), 0);
  EXPECT_TRUE(t->Eof());
}

TEST_F(ExtWorld, ActiveRecordAnswersThePreviousPositionAndGoesToTheWindowsRecord) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  t->Next();  // ID 2
  const ADSHANDLE h = static_cast<ADSHANDLE>(t->Handle());
  ASSERT_EQ(AdsGotoRecord(h, 9), 0u);
  EXPECT_EQ(t->AdsActiveRecord(), 9u);
  EXPECT_EQ(EngineRecord(t), 2u);
  // From beginning or end of file there is no previous record.
  ASSERT_EQ(AdsGotoEOF(h), 0u);
  EXPECT_EQ(t->AdsActiveRecord(), 0u);
  EXPECT_EQ(EngineRecord(t), 2u);
  t->Close();
  EXPECT_THROW(t->AdsActiveRecord(), EDatabaseError);
}

TEST_F(ExtWorld, ActiveRecordOfASequencedDatasetGoesToItsRecordNotItsPosition) {
  MakeTable("Kinder", ttAdsADT);
  MakeIndex("Kinder", ttAdsADT, "ByName", "Name");
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  t->SetIndexName("ByName");
  t->SetSequenced(true);
  t->SetSequencedLevel(slExact);
  t->Open();
  t->Next();  // Berger (ID 5), the second by name
  ASSERT_EQ(Id(t), 5);
  ASSERT_EQ(t->RecNo(), 2);
  EXPECT_EQ(t->AdsGetLong("ID"), 5);
  EXPECT_EQ(EngineRecord(t), 5u);
}

TEST_F(ExtWorld, RecordNumDuringInsertLeavesTheEngineCursorWhereItIs) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  t->Next();
  t->Next();  // ID 3
  t->Insert();
  ASSERT_EQ(t->State(), dsInsert);
  ASSERT_EQ(AdsGotoRecord(static_cast<ADSHANDLE>(t->Handle()), 6), 0u);
  EXPECT_EQ(t->AdsGetRecordNum(), 6);
  EXPECT_EQ(EngineRecord(t), 6u);
  t->Cancel();
  // Outside the insert the member answers the dataset's record.
  EXPECT_EQ(t->AdsGetRecordNum(), Id(t));
}

TEST_F(ExtWorld, RecordNumRespectsTheFilterWhenCountingSaysSo) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  t->AdsSetFilter("ID > 4");
  ASSERT_EQ(Id(t), 5);
  t->Next();  // ID 6, the second visible record
  EXPECT_EQ(t->AdsGetRecordNum(), 6);
  t->AdsTableOptions()->SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(t->AdsGetRecordNum(), 2);
}

TEST_P(RecordByType, DeleteAndRecallReachTheEngine) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->Next();  // ID 2
  t->AdsDeleteRecord();
  // The deleted record is hidden: the window moved on.
  EXPECT_EQ(Id(t), 3);
  EXPECT_TRUE(t->AdsIsRecordDeleted(2));
  EXPECT_FALSE(t->AdsIsRecordDeleted(3));
  EXPECT_FALSE(t->AdsIsRecordDeleted(0));
  ASSERT_EQ(AdsShowDeleted(1), 0u);
  t->AdsGotoRecord(2);
  EXPECT_EQ(Id(t), 2);
  t->AdsRecallRecord();
  EXPECT_FALSE(t->AdsIsRecordDeleted(0));
  ASSERT_EQ(AdsShowDeleted(0), 0u);
  EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
}

TEST_P(RecordByType, ExpressionsAreEvaluatedOnTheDatasetsRecord) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->Next();
  t->Next();  // Zorn, 30
  ASSERT_EQ(AdsGotoRecord(static_cast<ADSHANDLE>(t->Handle()), 1), 0u);
  EXPECT_TRUE(t->AdsEvalLogicalExpr("Zahl = 30"));
  EXPECT_DOUBLE_EQ(t->AdsEvalNumericExpr("Zahl * 2"), 60.0);
  EXPECT_EQ(t->AdsEvalStringExpr("TRIM(Name) + '!'"), "Zorn!");
  EXPECT_EQ(t->AdsEvalTestExpr("Zahl > 1"), etLOGICAL);
  EXPECT_EQ(t->AdsEvalTestExpr("Datum"), etDATE);
  EXPECT_EQ(t->AdsEvalTestExpr("Name"), etSTRING);
  EXPECT_TRUE(t->AdsIsExprValid("Zahl + 1"));
  EXPECT_FALSE(t->AdsIsExprValid("Zahl +"));
  ExpectAceError([&] { t->AdsEvalNumericExpr("Zahl +"); }, AE_INVALID_EXPRESSION);
}

TEST_F(ExtWorld, BinaryDataInChunksAndThroughFiles) {
  ADSHANDLE conn = 0, table = 0;
  ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
  ASSERT_EQ(AdsCreateTable90(conn, U8("Bilder"), nullptr, ADS_ADT, ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0,
                             U8("ID,Integer;Bild,Image;Daten,Blob"), 0, U8(""), &table),
            0u);
  ASSERT_EQ(AdsAppendRecord(table), 0u);
  ASSERT_EQ(AdsSetLong(table, U8("ID"), 1), 0u);
  ASSERT_EQ(AdsWriteRecord(table), 0u);
  AdsCloseTable(table);
  AdsDisconnect(conn);

  TAdsTable* t = OpenTable("Bilder", ttAdsADT);
  const std::string bytes = std::string("\x01\x02\x00\xFF", 4) + std::string(3000, 'x');
  const auto* p = reinterpret_cast<const UNSIGNED8*>(bytes.data());
  t->AdsSetBinary("Bild", btIMAGE, static_cast<int32_t>(bytes.size()), 0, p, 1000);
  t->AdsSetBinary("Bild", btIMAGE, static_cast<int32_t>(bytes.size()), 1000, p + 1000,
                  static_cast<int32_t>(bytes.size()) - 1000);
  t->AdsWriteRecord();
  EXPECT_EQ(t->AdsGetBinaryLength("Bild"), static_cast<int32_t>(bytes.size()));
  EXPECT_EQ(t->AdsGetMemoDataType("Bild"), mdtIMAGE);
  std::string back(10, '\0');
  UNSIGNED32 length = 10;
  t->AdsGetBinary("Bild", 2, reinterpret_cast<UNSIGNED8*>(back.data()), length);
  EXPECT_EQ(length, 10u);
  EXPECT_EQ(back, bytes.substr(2, 10));

  const std::string file = (root_ / "bild.bin").string();
  t->AdsBinaryToFile("Bild", file);
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), bytes);
  t->AdsFileToBinary("Daten", btBINARY, file);
  t->AdsWriteRecord();
  EXPECT_EQ(t->AdsGetBinaryLength("Daten"), static_cast<int32_t>(bytes.size()));
  EXPECT_FALSE(t->AdsIsEmpty("Daten"));
  t->AdsSetEmpty("Daten");
  t->AdsWriteRecord();
  EXPECT_TRUE(t->AdsIsEmpty("Daten"));
  EXPECT_THROW(t->AdsSetBinary("Bild", btIMAGE, -1, 0, p, 1), ERangeError);
}

TEST_F(ExtWorld, BadArgumentsAreRefusedBeforeTheEngineIsAsked) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  t->Next();
  EXPECT_THROW(t->AdsGotoRecord(-1), ERangeError);
  EXPECT_THROW(t->AdsIsRecordLocked(-5), ERangeError);
  EXPECT_THROW(t->AdsGetFieldName(70000), ERangeError);
  EXPECT_THROW(t->AdsCacheRecords(-1), ERangeError);
  EXPECT_EQ(Id(t), 2);
  // A field name longer than the engine's buffer could, cut, name another field.
  const std::string longName = "Zahl" + std::string(130, 'x');
  try {
    t->AdsSetLong(longName, 1);
    ADD_FAILURE() << "a field name of 134 characters was taken";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), AE_COMPONENT);
    EXPECT_NE(e.Message().find("longer than 128"), std::string::npos) << e.Message();
  }
  EXPECT_EQ(t->FieldByName("Zahl")->AsInteger(), 20);
  ExpectAceError([&] { t->AdsGetLong("Unbekannt"); }, AE_COLUMN_NOT_FOUND);
}

TEST_F(ExtWorld, ExtractKeyGivesOneCharacterPerKeyByte) {
  MakeTable("Kinder", ttAdsADT);
  MakeIndex("Kinder", ttAdsADT, "ByZahl", "Zahl");
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  t->SetIndexName("ByZahl");
  t->Open();
  t->Next();  // Zahl 20
  const std::string key = t->AdsExtractKey();
  UNSIGNED8 raw[64] = {};
  UNSIGNED16 length = sizeof raw;
  ADSHANDLE index = 0;
  ASSERT_EQ(AdsGetIndexHandle(static_cast<ADSHANDLE>(t->Handle()), U8("ByZahl"), &index), 0u);
  ASSERT_EQ(AdsExtractKey(index, raw, &length), 0u);
  std::string expected;
  for (UNSIGNED16 i = 0; i < length; ++i) AppendUtf8(expected, raw[i]);
  EXPECT_EQ(key, expected);
  EXPECT_EQ(Utf8ToUtf16(key).size(), length);
}

INSTANTIATE_TEST_SUITE_P(Types, RecordByType, ::testing::Values(ttAdsADT, ttAdsCDX), TypeParamName);

}  // namespace
}  // namespace exttest
