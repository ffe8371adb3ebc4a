// Dataset core on the real engine: records read forwards and backwards, by record number and
// by bookmark; record counts; the record filter event; bookmarks; and the field values of every
// engine type read from the record image.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "tests/ads/dataset/dataset_support.h"

namespace adstest {
namespace {

constexpr int kMany = 3000;

class DataSetRecords : public DataSetTest {
 protected:
  void MakeMany() {
    Create("viele", ADS_ADT, "Nr,Integer;Text,Char,12;");
    ADSHANDLE t = OpenRaw("viele", ADS_ADT);
    for (int i = 1; i <= kMany; ++i) {
      ASSERT_EQ(AdsAppendRecord(t), 0u);
      ASSERT_EQ(AdsSetLong(t, ADSFIELD(1), i * 7), 0u);
      const std::string text = "Zeile " + std::to_string(i);
      ASSERT_EQ(AdsSetField(t, ADSFIELD(2), U8(text), static_cast<UNSIGNED32>(text.size())), 0u);
      ASSERT_EQ(AdsWriteRecord(t), 0u);
    }
    AdsCloseTable(t);
  }
};

TEST_F(DataSetRecords, ManyRecordsForwardsAndBackwards) {
  MakeMany();
  TCoreDataSet* ds = Make("viele");
  ds->Open();
  EXPECT_EQ(ds->RecordCount(), kMany);
  int n = 0;
  while (!ds->Eof()) {
    ++n;
    ASSERT_EQ(ds->FieldByName("Nr")->AsInteger(), n * 7);
    ASSERT_EQ(ds->RecNo(), n);
    ds->Next();
  }
  EXPECT_EQ(n, kMany);
  ds->Last();
  n = kMany;
  while (!ds->Bof()) {
    ASSERT_EQ(ds->FieldByName("Text")->AsString(), "Zeile " + std::to_string(n));
    ds->Prior();
    if (!ds->Bof()) --n;
  }
  EXPECT_EQ(n, 1);
  EXPECT_EQ(ds->FieldByName("Nr")->AsInteger(), 7);
}

TEST_F(DataSetRecords, RecNoPositionsOnThePhysicalRecord) {
  MakeMany();
  TCoreDataSet* ds = Make("viele");
  ds->Open();
  for (int r : {5, 1, 2999, kMany, 1234}) {
    ds->SetRecNo(r);
    EXPECT_EQ(ds->RecNo(), r);
    EXPECT_EQ(ds->FieldByName("Nr")->AsInteger(), r * 7);
  }
  EXPECT_THROW(ds->SetRecNo(kMany + 1), EADSDatabaseError);  // the engine refuses
  EXPECT_EQ(ds->RecNo(), 1234);                              // the window stayed
}

TEST_F(DataSetRecords, RecNoWithAFilterGoesToTheTopAndSkips) {
  MakeMany();
  TCoreDataSet* ds = Make("viele");
  ds->SetOnFilterRecord([](TDataSet* d, bool& accept) {
    accept = d->FieldByName("Nr")->AsInteger() % 2 == 0;  // even records only
  });
  ds->SetFiltered(true);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("Nr")->AsInteger(), 14);
  ds->SetRecNo(5);  // top, then 4 records further (the engine's skip does not ask the event)
  EXPECT_EQ(ds->FieldByName("Nr")->AsInteger(), 5 * 7 + 7);  // record 5 is odd: the next one
  EXPECT_EQ(ds->RecNo(), 6);
}

TEST_F(DataSetRecords, BookmarksLeadBackToTheirRecords) {
  MakeMany();
  TCoreDataSet* ds = Make("viele");
  ds->Open();
  std::vector<std::pair<TBookmark, int>> marks;
  for (int r : {17, 2500, 3, kMany}) {
    ds->SetRecNo(r);
    marks.emplace_back(ds->Bookmark(), r);
  }
  ds->First();
  for (const auto& [mark, r] : marks) {
    ASSERT_EQ(mark.size(), static_cast<size_t>(ADS_BOOKMARK_LENGTH));
    EXPECT_TRUE(ds->BookmarkValid(mark));
    ds->GotoBookmark(mark);
    EXPECT_EQ(ds->FieldByName("Nr")->AsInteger(), r * 7);
    EXPECT_EQ(ds->RecNo(), r);
  }
  EXPECT_EQ(ds->CompareBookmarks(marks[0].first, marks[1].first), -1);
  EXPECT_EQ(ds->CompareBookmarks(marks[1].first, marks[0].first), 1);
  EXPECT_EQ(ds->CompareBookmarks(marks[2].first, marks[2].first), 0);
  EXPECT_EQ(ds->CompareBookmarks(TBookmark{}, marks[0].first), 1);
  EXPECT_EQ(ds->CompareBookmarks(marks[0].first, TBookmark{}), -1);
  EXPECT_EQ(ds->CompareBookmarks(TBookmark{}, TBookmark{}), 0);
  EXPECT_FALSE(ds->BookmarkValid(TBookmark{}));
  EXPECT_FALSE(ds->BookmarkValid(TBookmark{0xFF, 0xFF, 0xFF, 0x7F}));  // no such record
  ds->Close();
  EXPECT_FALSE(ds->BookmarkValid(marks[0].first));
}

TEST_F(DataSetRecords, DeletedDbfRecordsBookmarkIsValidOnlyWhenDeletedAreShown) {
  Create("dbf", ADS_CDX, "NR,Num,5,0;");
  Append("dbf", ADS_CDX, {{"1"}, {"2"}, {"3"}});
  ADSHANDLE t = OpenRaw("dbf", ADS_CDX);
  ASSERT_EQ(AdsGotoRecord(t, 2), 0u);
  ASSERT_EQ(AdsDeleteRecord(t), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  AdsCloseTable(t);
  TCoreDataSet* ds = Make("dbf", ttAdsCDX);
  ds->Open();
  const TBookmark deleted = {2, 0, 0, 0};
  EXPECT_FALSE(ds->BookmarkValid(deleted));
  ASSERT_EQ(AdsShowDeleted(1), 0u);
  EXPECT_TRUE(ds->BookmarkValid(deleted));
  AdsShowDeleted(0);
  // Hidden deleted records are skipped while reading.
  std::vector<double> seen;
  for (ds->First(); !ds->Eof(); ds->Next()) seen.push_back(ds->FieldByName("NR")->AsFloat());
  EXPECT_EQ(seen, (std::vector<double>{1, 3}));
}

TEST_F(DataSetRecords, AdtBookmarkOfADeletedRecordIsNotExamined) {
  Create("adt", ADS_ADT, "NR,Integer;");
  Append("adt", ADS_ADT, {{"1"}, {"2"}});
  ADSHANDLE t = OpenRaw("adt", ADS_ADT);
  ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
  ASSERT_EQ(AdsDeleteRecord(t), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  AdsCloseTable(t);
  TCoreDataSet* ds = Make("adt");
  ds->Open();
  EXPECT_TRUE(ds->BookmarkValid(TBookmark{1, 0, 0, 0}));
}

TEST_F(DataSetRecords, RecordFilterEventThatRejectsAllReachesTheEnd) {
  Create("k", ADS_ADT, "ID,Integer;");
  Append("k", ADS_ADT, {{"1"}, {"2"}, {"3"}});
  TCoreDataSet* ds = Make("k");
  int offered = 0;
  TDataSetState seenState = dsInactive;
  ds->SetOnFilterRecord([&](TDataSet* d, bool& accept) {
    ++offered;
    seenState = d->State();
    EXPECT_FALSE(d->FieldByName("ID")->IsNull());  // the offered record is readable
    accept = false;
  });
  ds->SetFiltered(true);
  ds->Open();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Eof());
  EXPECT_EQ(offered, 3);
  EXPECT_EQ(seenState, dsFilter);
  EXPECT_EQ(ds->State(), dsBrowse);
  // The current record, rejected, answers error.
  ASSERT_EQ(AdsGotoTop(static_cast<ADSHANDLE>(ds->Handle())), 0u);
  std::vector<std::byte> buffer(ds->RecBufSize());
  EXPECT_EQ(ds->GetRecord(buffer.data(), gmCurrent, false), grError);
  // Unfiltered, the handler is not asked.
  ds->Close();
  ds->SetFiltered(false);
  offered = 0;
  ds->Open();
  EXPECT_EQ(offered, 0);
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DataSetRecords, ExceptionInTheFilterEventRestoresTheState) {
  Create("k", ADS_ADT, "ID,Integer;");
  Append("k", ADS_ADT, {{"1"}});
  TCoreDataSet* ds = Make("k");
  ds->SetOnFilterRecord([](TDataSet*, bool&) { throw EDatabaseError("kaputt"); });
  ds->SetFiltered(true);
  EXPECT_THROW(ds->Open(), EDatabaseError);
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->Handle(), -1);
}

TEST_F(DataSetRecords, FetchWhileClosedOrInsertingAnswersError) {
  Create("k", ADS_ADT, "ID,Integer;");
  TCoreDataSet* ds = Make("k");
  std::byte buffer[64] = {};
  EXPECT_EQ(ds->GetRecord(buffer, gmNext, false), grError);
}

TEST_F(DataSetRecords, RecordCountAndRecNoOnAClosedDataSetRaise) {
  Create("k", ADS_ADT, "ID,Integer;");
  TCoreDataSet* ds = Make("k");
  EXPECT_THROW(ds->RecordCount(), EDatabaseError);
  EXPECT_THROW(ds->RecNo(), EDatabaseError);
}

TEST_F(DataSetRecords, RecordCountRespectsTheCountingOptions) {
  Create("dbf", ADS_CDX, "NR,Num,5,0;");
  Append("dbf", ADS_CDX, {{"1"}, {"2"}, {"3"}});
  ADSHANDLE t = OpenRaw("dbf", ADS_CDX);
  ASSERT_EQ(AdsGotoRecord(t, 1), 0u);
  ASSERT_EQ(AdsDeleteRecord(t), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  AdsCloseTable(t);
  TCoreDataSet* ds = Make("dbf", ttAdsCDX);
  ds->Open();
  EXPECT_EQ(ds->RecordCount(), 3);  // ignoring filters counts the deleted one
  ds->AdsTableOptions()->SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(ds->RecordCount(), 2);
  ds->AdsTableOptions()->SetAdsFreshRecordCount(true);
  EXPECT_EQ(ds->RecordCount(), 2);
}

TEST_F(DataSetRecords, CurrentRecordCopiesTheImage) {
  Create("k", ADS_ADT, "ID,Integer;");
  Append("k", ADS_ADT, {{"41"}, {"42"}});
  TCoreDataSet* ds = Make("k");
  ds->Open();
  ds->Next();
  std::vector<std::byte> image(ds->RecordSize());
  ASSERT_TRUE(ds->GetCurrentRecord(image.data()));
  const TACEFieldDef* id = ds->ACEFieldDefs()->Items(0);
  int32_t value = 0;
  std::memcpy(&value, image.data() + id->Offset(), 4);
  EXPECT_EQ(value, 42);
  ds->Next();  // past the end: the window keeps the last record
  ASSERT_TRUE(ds->GetCurrentRecord(image.data()));
  Create("leer", ADS_ADT, "ID,Integer;");
  TCoreDataSet* empty = Make("leer");
  empty->Open();
  EXPECT_FALSE(empty->GetCurrentRecord(image.data()));
}

TEST_F(DataSetRecords, CalculatedFieldsSeeTheBookmarkAsRecNo) {
  Create("k", ADS_ADT, "ID,Integer;");
  Append("k", ADS_ADT, {{"10"}, {"20"}});
  TCoreDataSet* ds = Make("k");
  auto* id = new TIntegerField(owner_.get());
  id->SetFieldName("ID");
  id->SetDataSet(ds);
  auto* calc = new TIntegerField(owner_.get());
  calc->SetFieldName("Doppelt");
  calc->SetFieldKind(fkCalculated);
  calc->SetDataSet(ds);
  std::vector<int> recnos;
  ds->OnCalcFields = [&](TDataSet* d) {
    recnos.push_back(d->RecNo());
    calc->SetAsInteger(id->AsInteger() * 2);
  };
  ds->Open();
  EXPECT_EQ(calc->AsInteger(), 20);
  ds->Next();
  EXPECT_EQ(calc->AsInteger(), 40);
  EXPECT_EQ(recnos, (std::vector<int>{1, 2}));
  EXPECT_GT(ds->CalcFieldsSize(), 0);
}

TEST_F(DataSetRecords, WritingOutsideEditStatesIsRefused) {
  Create("k", ADS_ADT, "ID,Integer;");
  Append("k", ADS_ADT, {{"1"}});
  TCoreDataSet* ds = Make("k");
  ds->Open();
  int32_t v = 5;
  ExpectRaises<EADSDatabaseError>([&] { ds->SetFieldData(ds->FieldByName("ID"), &v); },
                                  "Core1: Dataset not in edit mode");
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(DataSetRecords, EditingRefusesReadOnlyFieldsAndPostsTheOthers) {
  Create("k", ADS_ADT, "ID,Integer;Name,Char,5;");
  Append("k", ADS_ADT, {{"1", "Alt"}});
  TCoreDataSet* ds = Make("k");
  ds->Open();
  ds->Edit();
  ASSERT_EQ(ds->State(), dsEdit);
  ds->FieldByName("ID")->SetReadOnly(true);
  ExpectRaises<EDatabaseError>([&] { ds->FieldByName("ID")->SetAsInteger(2); },
                               "Core1: Field 'ID' cannot be modified");
  EXPECT_FALSE(ds->Modified());
  ds->FieldByName("Name")->SetAsString("Neu");
  EXPECT_TRUE(ds->Modified());
  ds->Post();
  EXPECT_EQ(ds->State(), dsBrowse);
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "Neu");
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 1);
  ds->Edit();
  ds->FieldByName("Name")->SetAsString("Weg");
  ds->Cancel();
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "Neu");
}

TEST_F(DataSetRecords, DeleteRemovesTheCurrentRecord) {
  Create("k", ADS_ADT, "ID,Integer;");
  Append("k", ADS_ADT, {{"1"}, {"2"}, {"3"}});
  TCoreDataSet* ds = Make("k");
  ds->Open();
  ds->Next();
  ds->Delete();
  EXPECT_EQ(ds->FieldByName("ID")->AsInteger(), 3);
  std::vector<int> left;
  for (ds->First(); !ds->Eof(); ds->Next()) left.push_back(ds->FieldByName("ID")->AsInteger());
  EXPECT_EQ(left, (std::vector<int>{1, 3}));
}

// ---- field values -----------------------------------------------------------------------------

TEST_F(DataSetRecords, AdtValuesOfEveryTypeAndTheirNulls) {
  Create("werte", ADS_ADT,
         "L,Logical;N,Num,10,2;D,Date;S,Char,6;M,Memo;Dbl,Double;Int,Integer;Sh,ShortInt;"
         "T,Time;TS,TimeStamp;R,Raw,3;CD,CurDouble;Mo,Money;CI,CIChar,8;NC,NChar,5;NV,NVarchar,6;"
         "V,VarChar,10;NF,Num,12,0;");
  Append("werte", ADS_ADT,
         {{"T", "1234.56", "2010-11-05", "abc", "Notiz", "2.5", "-70000", "-12", "12:00:00",
           "2010-11-05 12:00:00", "", "19.99", "12.3456", "Kiel", Utf8ToAnsi("Öl"),
           Utf8ToAnsi("Straße"), "lang", "-987654"},
          {}});
  TCoreDataSet* ds = Make("werte");
  ds->Open();
  auto F = [&](const char* n) { return ds->FieldByName(n); };
  EXPECT_TRUE(F("L")->AsBoolean());
  EXPECT_EQ(F("N")->AsString(), "1234.56");
  EXPECT_DOUBLE_EQ(F("N")->AsFloat(), 1234.56);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", F("D")->AsDateTime()), "2010-11-05");
  EXPECT_EQ(F("S")->AsString(), "abc");
  EXPECT_FALSE(F("M")->IsNull());
  EXPECT_DOUBLE_EQ(F("Dbl")->AsFloat(), 2.5);
  EXPECT_EQ(F("Int")->AsInteger(), -70000);
  EXPECT_EQ(F("Sh")->AsInteger(), -12);
  EXPECT_DOUBLE_EQ(F("T")->AsDateTime(), 0.5);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd hh:nn:ss", F("TS")->AsDateTime()), "2010-11-05 12:00:00");
  EXPECT_TRUE(F("R")->IsNull());
  EXPECT_DOUBLE_EQ(F("CD")->AsFloat(), 19.99);
  EXPECT_EQ(BcdToStr(F("Mo")->AsBCD(), '.'), "12.3456");
  EXPECT_EQ(F("CI")->AsString(), "Kiel");
  EXPECT_EQ(F("NC")->AsString(), "Öl");
  EXPECT_EQ(F("NV")->AsString(), "Straße");
  EXPECT_FALSE(F("V")->IsNull());  // kept in the memo file: read through blob streams
  EXPECT_EQ(BcdToStr(F("NF")->AsBCD(), '.'), "-987654");
  // The framework's forms in the native buffer.
  int32_t day = 0;
  ASSERT_TRUE(ds->GetFieldData(F("D"), &day));
  EXPECT_EQ(day, 2455506 - 1721425);
  double stamp = 0;
  ASSERT_TRUE(ds->GetFieldData(F("TS"), &stamp));
  EXPECT_DOUBLE_EQ(stamp, (2455506.0 - 1721425) * 86400000 + 43200000);

  ds->Next();  // the empty record: every field null on ADT
  for (TField* f : *ds->Fields()) EXPECT_TRUE(f->IsNull()) << f->FieldName();
}

// Character fields read without their padding, however long it is, and keep what is not
// padding: leading and inner blanks, a text that fills the field, high bytes in any place.
TEST_F(DataSetRecords, CharacterFieldsReadWithoutTheirPadding) {
  Create("namen", ADS_ADT, "ID,Integer;Name,Char,20;");
  const std::vector<std::string> texts = {
      "Anna",                   // 16 blanks of padding
      "Annabell",               // 12
      "Abcdefghijkl",           // 8, as one word of blanks
      "Abcdefghijklmnopqrst",   // none: the field is full
      "  vorn",                 // leading blanks stay
      "A        B",             // inner blanks stay, also eight of them
      "M\xFCller-L\xFCneburg",  // high bytes past the first eight
      "",                       // blanks only
  };
  std::vector<std::vector<std::string>> rows;
  for (size_t i = 0; i < texts.size(); ++i) rows.push_back({std::to_string(i + 1), texts[i]});
  Append("namen", ADS_ADT, rows);
  TCoreDataSet* ds = Make("namen");
  ds->Open();
  for (const std::string& text : texts) {
    ASSERT_FALSE(ds->Eof());
    EXPECT_EQ(ds->FieldByName("Name")->AsString(), AnsiToUtf8(text));
    ds->Next();
  }
  EXPECT_TRUE(ds->Eof());
  // A zero byte ends the text, whatever follows it.
  ADSHANDLE t = OpenRaw("namen", ADS_ADT);
  ASSERT_EQ(AdsGotoTop(t), 0u);
  const char with_zero[] = "ab\0cd";
  ASSERT_EQ(AdsSetField(t, ADSFIELD(2), U8(std::string(with_zero, 5)), 5), 0u);
  ASSERT_EQ(AdsWriteRecord(t), 0u);
  AdsCloseTable(t);
  ds->Refresh();
  ds->First();
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "ab");
}

TEST_F(DataSetRecords, MemoPresenceFlagReplacesTheEngineReference) {
  Create("memo", ADS_ADT, "ID,Integer;M,Memo;");
  Append("memo", ADS_ADT, {{"1", "Text"}, {"2"}});
  TCoreDataSet* ds = Make("memo");
  ds->Open();
  const TACEFieldDef* m = ds->ACEFieldDefs()->Items(1);
  std::vector<std::byte> image(ds->RecordSize());
  ASSERT_TRUE(ds->GetCurrentRecord(image.data()));
  uint32_t slot = 0;
  std::memcpy(&slot, image.data() + m->Offset(), 4);
  EXPECT_EQ(slot, 0xFFFFFFFFu);
  EXPECT_FALSE(ds->FieldByName("M")->IsNull());
  ds->Next();
  ASSERT_TRUE(ds->GetCurrentRecord(image.data()));
  std::memcpy(&slot, image.data() + m->Offset(), 4);
  EXPECT_EQ(slot, 0u);
  EXPECT_TRUE(ds->FieldByName("M")->IsNull());
}

TEST_F(DataSetRecords, DbfValuesAndTheirNulls) {
  Create("dbf", ADS_CDX, "L,Logical;N,Num,6,2;K,Num,4,0;D,Date;S,Char,5;");
  Append("dbf", ADS_CDX, {{"Y", "1.5", "-123", "2024-02-29", "xy"}, {}});
  TCoreDataSet* ds = Make("dbf", ttAdsCDX);
  ds->Open();
  EXPECT_TRUE(ds->FieldByName("L")->AsBoolean());
  EXPECT_DOUBLE_EQ(ds->FieldByName("N")->AsFloat(), 1.5);
  EXPECT_EQ(ds->FieldByName("K")->DataType(), ftSmallint);
  EXPECT_EQ(ds->FieldByName("K")->AsInteger(), -123);
  EXPECT_EQ(FormatDateTime("yyyy-mm-dd", ds->FieldByName("D")->AsDateTime()), "2024-02-29");
  EXPECT_EQ(ds->FieldByName("S")->AsString(), "xy");
  ds->Next();
  for (TField* f : *ds->Fields()) EXPECT_TRUE(f->IsNull()) << f->FieldName();
}

TEST_F(DataSetRecords, VfpTimestampReadsOneMillisecondLater) {
  Create("vfp", ADS_VFP, "TS,TimeStamp;I,Integer;");
  Append("vfp", ADS_VFP, {{"2010-11-05 12:00:00", "5"}});
  TCoreDataSet* ds = Make("vfp", ttAdsVFP);
  ds->Open();
  EXPECT_EQ(ds->AceTableType(), ADS_VFP);
  EXPECT_EQ(ds->ACEFieldDefs()->Items(0)->FieldType(), 14);
  std::vector<std::byte> image(ds->RecordSize());
  ASSERT_TRUE(ds->GetCurrentRecord(image.data()));
  uint32_t words[2] = {};
  std::memcpy(words, image.data() + ds->ACEFieldDefs()->Items(0)->Offset(), 8);
  ASSERT_NE(words[1], 0u);
  double stamp = 0;
  ASSERT_TRUE(ds->GetFieldData(ds->FieldByName("TS"), &stamp));
  EXPECT_DOUBLE_EQ(stamp, (static_cast<double>(words[0]) - 1721425) * 86400000 + words[1] + 1);
  // The engine keeps VFP times one millisecond short; read back they are whole again.
  EXPECT_DOUBLE_EQ(stamp, (2455506.0 - 1721425) * 86400000 + 43200000);
  EXPECT_EQ(ds->FieldByName("I")->AsInteger(), 5);
}

TEST_F(DataSetRecords, OemTablesAreReadThroughTheEngineConversion) {
  Create("oem", ADS_CDX, "NAME,Char,8;", ADS_OEM);
  {
    ADSHANDLE t = 0;
    ASSERT_EQ(AdsOpenTable90(conn_, U8("oem"), nullptr, ADS_CDX, ADS_OEM, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8(""), &t),
              0u);
    ASSERT_EQ(AdsAppendRecord(t), 0u);
    ASSERT_EQ(AdsSetField(t, U8("NAME"),
                          U8("Gr\xFC\xDF"
                             "e"),
                          5),
              0u);
    ASSERT_EQ(AdsWriteRecord(t), 0u);
    AdsCloseTable(t);
  }
  TCoreDataSet* ds = Make("oem", ttAdsCDX);
  ds->AdsTableOptions()->SetAdsCharType(OEM);
  ds->Open();
  EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "Grüße");
}

}  // namespace
}  // namespace adstest
