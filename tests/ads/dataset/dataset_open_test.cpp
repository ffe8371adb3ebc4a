// Dataset core on the real engine: the open and close sequences with their events and engine
// calls, adopted handles, field definitions and the type mapping on ADT and DBF tables, the
// options object, the table-level operations, Version and the failures these raise.
#include <filesystem>
#include <string>
#include <vector>

#include "tests/ads/dataset/dataset_support.h"

namespace adstest {
namespace {

std::vector<std::string> g_calls;

UNSIGNED32 RecordOpen(ADSHANDLE c, const UNSIGNED8* n, const UNSIGNED8* a, UNSIGNED16 t,
                      UNSIGNED16 ch, UNSIGNED16 l, UNSIGNED16 r, UNSIGNED32 o, const UNSIGNED8* co,
                      ADSHANDLE* h) {
  g_calls.push_back("AdsOpenTable90");
  return ::AdsOpenTable90(c, n, a, t, ch, l, r, o, co, h);
}
UNSIGNED32 RecordClose(ADSHANDLE h) {
  g_calls.push_back("AdsCloseTable");
  return ::AdsCloseTable(h);
}
UNSIGNED32 RecordBOF(ADSHANDLE h) {
  g_calls.push_back("AdsGotoBOF");
  return ::AdsGotoBOF(h);
}
UNSIGNED32 RecordSkip(ADSHANDLE h, SIGNED32 n) {
  g_calls.push_back("AdsSkip " + std::to_string(n));
  return ::AdsSkip(h, n);
}
UNSIGNED32 RecordGetRecord(ADSHANDLE h, UNSIGNED8* p, UNSIGNED32* l) {
  g_calls.push_back("AdsGetRecord");
  return ::AdsGetRecord(h, p, l);
}
UNSIGNED32 RecordCache(ADSHANDLE h, UNSIGNED16 n) {
  g_calls.push_back("AdsCacheRecords " + std::to_string(n));
  return ::AdsCacheRecords(h, n);
}

int Count(const std::string& call) {
  int n = 0;
  for (const auto& c : g_calls) n += c == call;
  return n;
}

class DataSetOpen : public DataSetTest {
 protected:
  void SetUp() override {
    DataSetTest::SetUp();
    g_calls.clear();
    Create("kinder", ADS_ADT, "ID,Integer;Name,Char,10;");
    Append("kinder", ADS_ADT, {{"1", "Anna"}, {"2", "Bert"}, {"3", "Cleo"}});
  }
};

// ---- open and close ---------------------------------------------------------------------------

TEST_F(DataSetOpen, OpenAndCloseRunTheEventsAndEngineCallsInOrder) {
  TCoreDataSet* ds = Make("kinder");
  AceImportOverride open(Ace.AdsOpenTable90, &RecordOpen);
  AceImportOverride close(Ace.AdsCloseTable, &RecordClose);
  AceImportOverride bof(Ace.AdsGotoBOF, &RecordBOF);
  AceImportOverride skip(Ace.AdsSkip, &RecordSkip);
  ds->BeforeOpen = [&](TDataSet*) { g_calls.push_back("BeforeOpen"); };
  ds->AfterOpen = [&](TDataSet* d) {
    g_calls.push_back("AfterOpen");
    EXPECT_EQ(d->State(), dsBrowse);
  };
  ds->AfterScroll = [&](TDataSet*) { g_calls.push_back("AfterScroll"); };
  ds->BeforeClose = [&](TDataSet* d) {
    g_calls.push_back("BeforeClose");
    EXPECT_NE(static_cast<TCoreDataSet*>(d)->Handle(), -1);
  };
  ds->AfterClose = [&](TDataSet*) { g_calls.push_back("AfterClose"); };

  ds->Open();
  EXPECT_NE(ds->Handle(), -1);
  EXPECT_EQ(ds->ActiveHandle(), ds->Handle());
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "Anna");
  ds->Close();
  EXPECT_EQ(ds->Handle(), -1);
  EXPECT_EQ(ds->ActiveHandle(), -1);
  EXPECT_FALSE(ds->CanModify());
  const std::vector<std::string> expected = {"BeforeOpen",  "AdsOpenTable90", "AdsGotoBOF",
                                             "AdsSkip 1",   "AfterOpen",      "AfterScroll",
                                             "BeforeClose", "AdsCloseTable",  "AfterClose"};
  EXPECT_EQ(g_calls, expected);
}

TEST_F(DataSetOpen, FreshlyOpenedDataSetFetchedExactlyOneRecord) {
  TCoreDataSet* ds = Make("kinder");
  AceImportOverride get(Ace.AdsGetRecord, &RecordGetRecord);
  AceImportOverride skip(Ace.AdsSkip, &RecordSkip);
  ds->Open();
  EXPECT_EQ(Count("AdsGetRecord"), 1);
  EXPECT_EQ(Count("AdsSkip 1"), 1);
  EXPECT_EQ(ds->WindowRecordCount(), 1);
  EXPECT_EQ(ds->RecNo(), 1);
  EXPECT_FALSE(ds->Eof());
}

TEST_F(DataSetOpen, EmptyTableOpensAtTheEnd) {
  Create("leer", ADS_ADT, "ID,Integer;");
  TCoreDataSet* ds = Make("leer");
  ds->Open();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_TRUE(ds->Eof());
  EXPECT_TRUE(ds->Bof());
  EXPECT_EQ(ds->RecordCount(), 0);
  EXPECT_EQ(ds->RecNo(), 0);
}

TEST_F(DataSetOpen, CloseReleasesTheCursorSoThatAnotherUserOpensExclusively) {
  TCoreDataSet* ds = Make("kinder");
  ds->Open();
  ADSHANDLE other = 0;
  EXPECT_EQ(AdsOpenTable90(conn_, U8("kinder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, U8(""), &other),
            static_cast<UNSIGNED32>(AE_TABLE_IN_USE));
  ds->Close();
  ASSERT_EQ(AdsOpenTable90(conn_, U8("kinder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                           ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, U8(""), &other),
            0u)
      << LastError();
  AdsCloseTable(other);
}

TEST_F(DataSetOpen, AdoptedHandleIsUsedWithoutTheCursorHookAndClosedWithTheDataSet) {
  ADSHANDLE adopted = OpenRaw("kinder", ADS_ADT);
  ASSERT_EQ(AdsGotoRecord(adopted, 2), 0u);
  TCoreDataSet* ds = Make("kinder");
  ds->SetActiveHandle(static_cast<int32_t>(adopted));
  ds->Open();
  EXPECT_EQ(ds->opens_, 0);
  EXPECT_EQ(ds->Handle(), static_cast<int32_t>(adopted));
  EXPECT_EQ(ds->AceTableType(), ADS_ADT);
  EXPECT_EQ(ds->FieldByName("Name")->AsString(), "Anna");  // positioned before the first
  ds->Close();
  EXPECT_EQ(ds->ActiveHandle(), -1);
  UNSIGNED16 type = 0;
  EXPECT_NE(AdsGetTableType(adopted, &type), 0u);  // the handle is gone
}

TEST_F(DataSetOpen, FailedOpenLeavesTheDataSetClosedWithItsCursorReleased) {
  TCoreDataSet* ds = Make("kinder");
  AceImportOverride type(
      Ace.AdsGetFieldType, +[](ADSHANDLE, const UNSIGNED8*, UNSIGNED16* t) -> UNSIGNED32 {
        *t = 19;
        return 0;
      });
  AceImportOverride close(Ace.AdsCloseTable, &RecordClose);
  ExpectRaises<EADSDatabaseError>([&] { ds->Open(); },
                                  "Core1: Unknown field type (19) encountered.");
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->Handle(), -1);
  EXPECT_EQ(Count("AdsCloseTable"), 1);
}

TEST_F(DataSetOpen, UnknownFieldTypesRefuseTheOpen) {
  for (UNSIGNED16 code : {UNSIGNED16{0}, UNSIGNED16{19}, UNSIGNED16{25}, UNSIGNED16{29},
                          UNSIGNED16{50}, UNSIGNED16{53}}) {
    static UNSIGNED16 forced;
    forced = code;
    TCoreDataSet* ds = Make("kinder");
    AceImportOverride type(
        Ace.AdsGetFieldType, +[](ADSHANDLE, const UNSIGNED8*, UNSIGNED16* t) -> UNSIGNED32 {
          *t = forced;
          return 0;
        });
    try {
      ds->Open();
      ADD_FAILURE() << "code " << code << " opened";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT));
      EXPECT_NE(e.Message().find("Unknown field type (" + std::to_string(code) + ") encountered."),
                std::string::npos);
    }
    EXPECT_FALSE(ds->Active());
  }
}

TEST_F(DataSetOpen, OpeningWithAHandleAlreadySetIsRefused) {
  TCoreDataSet* ds = Make("kinder");
  ds->ForceHandle(12345);
  ExpectRaises<EADSDatabaseError>([&] { ds->Open(); }, "Core1: Table is already open.");
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->Handle(), -1);  // the failed open ran the close sequence
}

TEST_F(DataSetOpen, ReadOnlyOpenCannotModifyAndExclusiveOpenIsNoted) {
  TCoreDataSet* ds = Make("kinder");
  ds->SetReadOnly(true);
  ds->Open();
  EXPECT_FALSE(ds->CanModify());
  EXPECT_NE(ds->TableOptions() & ADS_READONLY, 0u);
  ds->Close();
  ds->SetReadOnly(false);
  ds->SetExclusive(true);
  ds->Open();
  EXPECT_TRUE(ds->CanModify());
  EXPECT_TRUE(ds->Exclusive());
  EXPECT_NE(ds->TableOptions() & ADS_EXCLUSIVE, 0u);
}

TEST_F(DataSetOpen, RecordCacheOptionReachesTheEngineAtOpenAndWhileOpen) {
  TCoreDataSet* ds = Make("kinder");
  AceImportOverride cache(Ace.AdsCacheRecords, &RecordCache);
  ds->AdsTableOptions()->SetAdsRecordCache(rcAggressive);
  ds->Open();
  EXPECT_EQ(g_calls, std::vector<std::string>{"AdsCacheRecords 100"});
  ds->AdsTableOptions()->SetAdsRecordCache(rcStandard);
  ds->AdsTableOptions()->SetAdsRecordCache(rcNone);
  EXPECT_EQ(g_calls, (std::vector<std::string>{"AdsCacheRecords 100", "AdsCacheRecords 10",
                                               "AdsCacheRecords 0"}));
  ds->Close();
  g_calls.clear();
  ds->Open();  // rcNone at open
  EXPECT_EQ(g_calls, std::vector<std::string>{"AdsCacheRecords 0"});
}

TEST_F(DataSetOpen, IndexPageSizeIsReplacedAtOpen) {
  TCoreDataSet* ds = Make("kinder");
  ds->AdsTableOptions()->SetAdsIndexPageSize(512);
  ds->Open();
  EXPECT_EQ(ds->AdsTableOptions()->AdsIndexPageSize(), 0);  // the table has no index order
  EXPECT_THROW(ds->AdsTableOptions()->SetAdsIndexPageSize(8193), ERangeError);
}

TEST_F(DataSetOpen, BufferLayoutFollowsRecordCalcAreaBlobsAndBookmark) {
  Create("memo", ADS_ADT, "ID,Integer;Text,Memo;Bild,Binary;");
  TCoreDataSet* ds = Make("memo");
  ds->Open();
  EXPECT_EQ(ds->BlobFieldCount(), 2);
  EXPECT_EQ(ds->BlobCacheOfs(), ds->RecordSize() + ds->CalcFieldsSize());
  EXPECT_EQ(ds->RecInfoOfs(), ds->BlobCacheOfs() + 2 * sizeof(void*));
  EXPECT_EQ(ds->BookmarkOfs(), ds->RecInfoOfs() + 8);
  EXPECT_EQ(ds->RecBufSize(), ds->BookmarkOfs() + ds->BookmarkSize());
  EXPECT_EQ(ds->BookmarkSize(), ADS_BOOKMARK_LENGTH);
  EXPECT_TRUE(ds->KeyBuffersAllocated());
  ds->Close();
  EXPECT_FALSE(ds->KeyBuffersAllocated());
}

// ---- field definitions ------------------------------------------------------------------------

TEST_F(DataSetOpen, AdtFieldDefinitionsMapEveryEngineType) {
  Create("alle", ADS_ADT,
         "L,Logical;N1,Num,10,2;N2,Num,20,2;N3,Num,10,5;D,Date;S,Char,10;M,Memo;B,Binary;"
         "I,Image;Dbl,Double;Int,Integer;Sh,ShortInt;T,Time;TS,TimeStamp;AI,AutoInc;R,Raw,6;"
         "CD,CurDouble;Mo,Money;CI,CIChar,8;RV,RowVersion;MT,ModTime;NC,NChar,10;NV,NVarchar,12;"
         "NM,NMemo;");
  TCoreDataSet* ds = Make("alle");
  ds->Open();
  struct Expect {
    const char* name;
    TFieldType type;
    int size;
    uint16_t code;
  };
  const Expect expected[] = {
      {"L", ftBoolean, 0, 1},       {"N1", ftBCD, 2, 2},          {"N2", ftFMTBcd, 2, 2},
      {"N3", ftFMTBcd, 5, 2},       {"D", ftDate, 0, 3},          {"S", ftString, 10, 4},
      {"M", ftMemo, 1, 5},          {"B", ftBlob, 1, 6},          {"I", ftBlob, 1, 7},
      {"Dbl", ftFloat, 0, 10},      {"Int", ftInteger, 0, 11},    {"Sh", ftSmallint, 0, 12},
      {"T", ftTime, 0, 13},         {"TS", ftDateTime, 0, 14},    {"AI", ftAutoInc, 0, 15},
      {"R", ftBytes, 6, 16},        {"CD", ftCurrency, 0, 17},    {"Mo", ftBCD, 4, 18},
      {"CI", ftString, 8, 20},      {"RV", ftBCD, 0, 21},         {"MT", ftDateTime, 0, 22},
      {"NC", ftWideString, 10, 26}, {"NV", ftWideString, 12, 27}, {"NM", ftWideMemo, 1, 28},
  };
  ASSERT_EQ(ds->FieldDefs()->Count(), static_cast<int>(std::size(expected)));
  ASSERT_EQ(ds->ACEFieldDefs()->Count(), static_cast<int>(std::size(expected)));
  for (size_t i = 0; i < std::size(expected); ++i) {
    TFieldDef* d = ds->FieldDefs()->Items(static_cast<int>(i));
    SCOPED_TRACE(expected[i].name);
    EXPECT_EQ(d->Name(), expected[i].name);
    EXPECT_EQ(d->DataType(), expected[i].type);
    EXPECT_EQ(d->Size(), expected[i].size);
    EXPECT_FALSE(d->Required());
    TACEFieldDef* a = ds->ACEFieldDefs()->Items(static_cast<int>(i));
    EXPECT_EQ(a->FieldName(), expected[i].name);
    EXPECT_EQ(a->FieldNumber(), i + 1);
    EXPECT_EQ(a->FieldType(), expected[i].code);
    EXPECT_FALSE(a->Modified());
  }
  EXPECT_EQ(ds->FieldDefs()->Find("N1")->Precision(), 8);
  EXPECT_EQ(ds->FieldDefs()->Find("N2")->Precision(), 18);
  EXPECT_EQ(ds->FieldDefs()->Find("Mo")->Precision(), 20);
  EXPECT_EQ(ds->FieldDefs()->Find("RV")->Precision(), 20);
  EXPECT_EQ(ds->ACEFieldDefs()->Items(1)->Decimals(), 2);
  EXPECT_EQ(ds->ACEFieldDefs()->Items(0)->Decimals(), 0);
  // A national field of 10 characters: 10 for the framework, 20 bytes in the image.
  EXPECT_EQ(ds->ACEFieldDefs()->Items(ds->ACEFieldDefs()->IndexOf("nc"))->Length(), 20u);
  EXPECT_EQ(ds->ACEFieldDefs()->IndexOf("NICHTDA"), -1);
  // Offsets lie inside the record, increasing in engine order.
  for (int i = 1; i < ds->ACEFieldDefs()->Count(); ++i)
    EXPECT_GT(ds->ACEFieldDefs()->Items(i)->Offset(), ds->ACEFieldDefs()->Items(i - 1)->Offset());
  // Field classes and their flags at open.
  auto* ci = dynamic_cast<TAdsStringField*>(ds->FieldByName("CI"));
  auto* s = dynamic_cast<TAdsStringField*>(ds->FieldByName("S"));
  ASSERT_NE(ci, nullptr);
  ASSERT_NE(s, nullptr);
  EXPECT_TRUE(ci->CaseInsensitive());
  EXPECT_FALSE(s->CaseInsensitive());
  auto* money = dynamic_cast<TAdsBCDField*>(ds->FieldByName("Mo"));
  auto* numeric = dynamic_cast<TAdsBCDField*>(ds->FieldByName("N1"));
  auto* version = dynamic_cast<TAdsBCDField*>(ds->FieldByName("RV"));
  ASSERT_NE(money, nullptr);
  ASSERT_NE(numeric, nullptr);
  ASSERT_NE(version, nullptr);
  EXPECT_TRUE(money->Currency());
  EXPECT_FALSE(numeric->Currency());
  EXPECT_FALSE(version->Currency());
}

TEST_F(DataSetOpen, NumericsAsFloatsMapAdtNumericsToFloat) {
  Create("zahlen", ADS_ADT, "A,Num,10,2;B,Num,4,0;");
  TCoreDataSet* ds = Make("zahlen");
  ds->AdsTableOptions()->SetAdsNumericsAsFloats(true);
  ds->Open();
  EXPECT_EQ(ds->FieldDefs()->Find("A")->DataType(), ftFloat);
  EXPECT_EQ(ds->FieldDefs()->Find("B")->DataType(), ftSmallint);
}

TEST_F(DataSetOpen, DbfNumericsBecomeSmallintOrFloat) {
  Create("dbfzahl", ADS_CDX, "N4,Num,4,0;N5,Num,5,0;N62,Num,6,2;S,Char,5;L,Logical;D,Date;");
  TCoreDataSet* ds = Make("dbfzahl", ttAdsCDX);
  ds->Open();
  EXPECT_EQ(ds->AceTableType(), ADS_CDX);
  EXPECT_EQ(ds->FieldDefs()->Find("N4")->DataType(), ftSmallint);
  EXPECT_EQ(ds->FieldDefs()->Find("N4")->Size(), 0);
  EXPECT_EQ(ds->FieldDefs()->Find("N5")->DataType(), ftFloat);
  EXPECT_EQ(ds->FieldDefs()->Find("N62")->DataType(), ftFloat);
  EXPECT_EQ(ds->FieldDefs()->Find("S")->DataType(), ftString);
  EXPECT_EQ(ds->FieldDefs()->Find("L")->DataType(), ftBoolean);
  EXPECT_EQ(ds->FieldDefs()->Find("D")->DataType(), ftDate);
}

TEST_F(DataSetOpen, FieldDefsOfAClosedDataSetComeFromATemporaryCursor) {
  TCoreDataSet* ds = Make("kinder");
  AceImportOverride open(Ace.AdsOpenTable90, &RecordOpen);
  AceImportOverride close(Ace.AdsCloseTable, &RecordClose);
  ds->FieldDefs()->Update();
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(ds->Handle(), -1);
  ASSERT_EQ(ds->FieldDefs()->Count(), 2);
  EXPECT_EQ(ds->FieldDefs()->Items(1)->Name(), "Name");
  EXPECT_EQ(g_calls, (std::vector<std::string>{"AdsOpenTable90", "AdsCloseTable"}));
}

TEST_F(DataSetOpen, PersistentFieldsStayAndAreBoundToTheDefinitions) {
  TCoreDataSet* ds = Make("kinder");
  auto* name = new TStringField(owner_.get());
  name->SetFieldName("Name");
  name->SetSize(10);
  name->SetDataSet(ds);
  ds->Open();
  EXPECT_EQ(ds->FieldCount(), 1);
  EXPECT_EQ(name->FieldNo(), 2);
  EXPECT_EQ(name->AsString(), "Anna");
  ds->Close();
  EXPECT_EQ(ds->FieldCount(), 1);  // persistent fields outlive the close
}

// ---- options ----------------------------------------------------------------------------------

TEST(TableOptions, DefaultsAndCharTypeNames) {
  TComponent owner(nullptr);
  TCoreDataSet ds(&owner);
  TAdsTableOptions* o = ds.AdsTableOptions();
  EXPECT_EQ(o->OwningDataSet(), &ds);
  EXPECT_EQ(o->AdsLockType(), Proprietary);
  EXPECT_EQ(o->AdsCharType(), ANSI);
  EXPECT_EQ(o->AdsFilterOptions(), IGNORE_WHEN_COUNTING);
  EXPECT_EQ(o->AdsScopeOptions(), IGNORE_SCOPES_WHEN_COUNTING);
  EXPECT_TRUE(o->AdsRightsCheck());
  EXPECT_TRUE(o->AdsOptimizedFilters());
  EXPECT_FALSE(o->AdsFreshRecordCount());
  EXPECT_EQ(o->AdsIndexPageSize(), 0);
  EXPECT_EQ(o->AdsRecordCache(), rcStandard);
  EXPECT_EQ(o->AdsAOFType(), atDynamic);
  EXPECT_FALSE(o->AdsPreserveSpaces());
  EXPECT_FALSE(o->AdsNumericsAsFloats());
  EXPECT_EQ(o->AdsRecordLockingMode(), lmPessimistic);
  EXPECT_EQ(o->AdsCollation(), "");
  EXPECT_EQ(o->AdsCachingOption(), tcNone);
  EXPECT_EQ(ds.Handle(), -1);
  EXPECT_EQ(ds.ActiveHandle(), -1);
  EXPECT_EQ(ds.TableType(), ttAdsADT);
  EXPECT_TRUE(ds.StoreActive());
  EXPECT_FALSE(ds.Sequenced());
  EXPECT_EQ(ds.SequencedLevel(), slStandard);
  EXPECT_EQ(ds.IndexFiles()->OwnerDataSet(), &ds);
  EXPECT_TRUE(ds.IndexFiles()->Sorted());

  EXPECT_STREQ(AdsCharTypeName(ANSI), "ANSI");
  EXPECT_STREQ(AdsCharTypeName(OEM), "OEM");
  EXPECT_STREQ(AdsCharTypeName(CZECH_VFP_CI_AS_1250), "CZECH_VFP_CI_AS_1250");
  EXPECT_STREQ(AdsCharTypeName(ENGL_AMER_ADS_CS_AS_1252), "ENGL(AMER)_ADS_CS_AS_1252");
  EXPECT_STREQ(AdsCharTypeName(ENGL_CAN_ADS_CS_AS_1252), "ENGL(CAN)_ADS_CS_AS_1252");
  EXPECT_STREQ(AdsCharTypeName(ENGL_UK_ADS_CS_AS_1252), "ENGL(UK)_ADS_CS_AS_1252");
  EXPECT_STREQ(AdsCharTypeName(SPAN_MOD_ADS_CS_AS_1252), "SPAN(MOD)_ADS_CS_AS_1252");
  EXPECT_STREQ(AdsCharTypeName(BOSNIAN_ADS_CS_AS_775), "BOSNIAN_ADS_CS_AS_775");
  EXPECT_EQ(static_cast<int>(BOSNIAN_ADS_CS_AS_775), 117);
  EXPECT_STREQ(AdsCharTypeName(static_cast<TAdsCharTypes>(118)), "");
  // Every name but the four is its enumerator's identifier, as the property table streams it.
  const TPropInfo* prop = TAdsTableOptions::StaticClass()->FindProp("AdsCharType");
  ASSERT_NE(prop, nullptr);
  ASSERT_EQ(prop->Names.size(), 118u);
  int differing = 0;
  for (int i = 0; i < 118; ++i)
    differing += prop->Names[i] != AdsCharTypeName(static_cast<TAdsCharTypes>(i));
  EXPECT_EQ(differing, 4);
}

TEST_F(DataSetOpen, OptionSettersRefuseWhileActiveAndKeepTheOldValue) {
  TCoreDataSet* ds = Make("kinder");
  ds->Open();
  TAdsTableOptions* o = ds->AdsTableOptions();
  ExpectRaises<EADSDatabaseError>([&] { o->SetAdsLockType(Compatible); },
                                  "Core1: Table must not be Active.");
  ExpectRaises<EADSDatabaseError>([&] { o->SetAdsCharType(OEM); },
                                  "Core1: Table must not be Active.");
  ExpectRaises<EADSDatabaseError>([&] { o->SetAdsRightsCheck(false); },
                                  "Core1: Table must not be Active.");
  ExpectRaises<EADSDatabaseError>([&] { o->SetAdsCachingOption(tcReads); },
                                  "Core1: Table must not be Active.");
  EXPECT_EQ(o->AdsLockType(), Proprietary);
  EXPECT_EQ(o->AdsCharType(), ANSI);
  EXPECT_TRUE(o->AdsRightsCheck());
  EXPECT_EQ(o->AdsCachingOption(), tcNone);
  o->SetAdsPreserveSpaces(true);  // stored without a check
  EXPECT_TRUE(o->AdsPreserveSpaces());
}

TEST_F(DataSetOpen, CollationCharTypesOnlyOnTablesThatKnowThem) {
  TCoreDataSet* cdx = Make("kinder", ttAdsCDX);
  ExpectRaises<EADSDatabaseError>(
      [&] { cdx->AdsTableOptions()->SetAdsCharType(GERMAN_VFP_CI_AS_1252); },
      "Core1: ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or OEM.");
  cdx->AdsTableOptions()->SetAdsCharType(OEM);
  EXPECT_EQ(cdx->AdsTableOptions()->AdsCharType(), OEM);
  TCoreDataSet* ntx = Make("kinder", ttAdsNTX);
  EXPECT_THROW(ntx->AdsTableOptions()->SetAdsCharType(DANISH_ADS_CS_AS_1252), EADSDatabaseError);
  TCoreDataSet* vfp = Make("kinder", ttAdsVFP);
  vfp->AdsTableOptions()->SetAdsCharType(GERMAN_VFP_CI_AS_1252);
  EXPECT_EQ(vfp->AdsTableOptions()->AdsCharType(), GERMAN_VFP_CI_AS_1252);
  ExpectRaises<EADSDatabaseError>(
      [&] { vfp->AdsTableOptions()->SetAdsCharType(static_cast<TAdsCharTypes>(118)); },
      "Core3: Invalid or unknown character type.");
  EXPECT_EQ(vfp->AdsTableOptions()->AdsCharType(), GERMAN_VFP_CI_AS_1252);
}

TEST_F(DataSetOpen, EffectiveCollationPrefersTableThenConnectionThenCharType) {
  TCoreDataSet* ds = Make("kinder");
  EXPECT_EQ(ds->GetEffectiveCollation(), "ANSI");
  ds->AdsTableOptions()->SetAdsCharType(ENGL_UK_ADS_CS_AS_1252);
  EXPECT_EQ(ds->GetEffectiveCollation(), "ENGL(UK)_ADS_CS_AS_1252");
  auto* connection = new TAdsConnection(owner_.get());
  connection->SetName("Conn");
  connection->SetConnectPath(data_);
  connection->SetAdsCollation("GERMAN_ADS_CS_AS_1252");
  ds->SetAdsConnection(connection);
  EXPECT_EQ(ds->GetEffectiveCollation(), "GERMAN_ADS_CS_AS_1252");
  ds->AdsTableOptions()->SetAdsCollation("DUTCH_VFP_CI_AS_1252");
  EXPECT_EQ(ds->GetEffectiveCollation(), "DUTCH_VFP_CI_AS_1252");
}

TEST_F(DataSetOpen, CharTypeTakeOverShowsTheTablesRealCharType) {
  Create("oem", ADS_CDX, "NAME,Char,8;", ADS_OEM);
  TCoreDataSet* ds = Make("oem", ttAdsCDX);
  ds->AdsTableOptions()->SetAdsCharType(OEM);
  ds->Open();
  EXPECT_EQ(ds->OpenCharType(), ADS_OEM);
  EXPECT_EQ(ds->AdsTableOptions()->AdsCharType(), OEM);
  ds->Close();
  ds->AdsTableOptions()->SetAdsCharType(ANSI);
  // The engine reports no collation information: the option follows the cursor's type.
  AceImportOverride collation(
      Ace.AdsGetTableCollation,
      +[](ADSHANDLE, UNSIGNED8*, UNSIGNED16*) -> UNSIGNED32 { return AE_NO_COLLATION; });
  AceImportOverride charType(
      Ace.AdsGetTableCharType, +[](ADSHANDLE, UNSIGNED16* t) -> UNSIGNED32 {
        *t = ADS_OEM;
        return 0;
      });
  ds->Open();
  EXPECT_EQ(ds->AdsTableOptions()->AdsCharType(), OEM);
}

TEST_F(DataSetOpen, CollationFailureOtherThanNoInformationIsRaised) {
  TCoreDataSet* ds = Make("kinder");
  AceImportOverride collation(
      Ace.AdsGetTableCollation, +[](ADSHANDLE, UNSIGNED8*, UNSIGNED16*) -> UNSIGNED32 {
        return AdsSetLastError(AE_IO_ERROR, U8("disk gone"));
      });
  try {
    ds->Open();
    ADD_FAILURE() << "opened";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_IO_ERROR));
  }
  EXPECT_FALSE(ds->Active());
}

// ---- table-level operations -------------------------------------------------------------------

TEST_F(DataSetOpen, LockTableKeepsOtherUsersFromLockingUntilUnlocked) {
  TCoreDataSet* ds = Make("kinder");
  ds->LockTable();  // closed: nothing
  ds->UnlockTable();
  ds->Open();
  ds->UnlockTable();  // not locked: 5087 accepted
  ds->LockTable();
  ADSHANDLE other = OpenRaw("kinder", ADS_ADT);
  EXPECT_EQ(AdsLockTable(other), static_cast<UNSIGNED32>(AE_LOCK_REFUSED));
  ds->UnlockTable();
  EXPECT_EQ(AdsLockTable(other), 0u);
  AdsUnlockTable(other);
  AdsCloseTable(other);
}

TEST_F(DataSetOpen, LockTableOnAnExclusiveTableDoesNothing) {
  TCoreDataSet* ds = Make("kinder");
  ds->SetExclusive(true);
  ds->Open();
  AceImportOverride lock(
      Ace.AdsLockTable, +[](ADSHANDLE) -> UNSIGNED32 {
        g_calls.push_back("AdsLockTable");
        return 0;
      });
  AceImportOverride unlock(
      Ace.AdsUnlockTable, +[](ADSHANDLE) -> UNSIGNED32 {
        g_calls.push_back("AdsUnlockTable");
        return 0;
      });
  ds->LockTable();
  ds->UnlockTable();
  EXPECT_TRUE(g_calls.empty());
}

TEST_F(DataSetOpen, EmptyTableOnAClosedDataSetUsesATemporaryCursor) {
  TCoreDataSet* ds = Make("kinder");
  ds->SetExclusive(true);
  AceImportOverride open(Ace.AdsOpenTable90, &RecordOpen);
  AceImportOverride close(Ace.AdsCloseTable, &RecordClose);
  ds->EmptyTable();
  EXPECT_FALSE(ds->Active());
  EXPECT_EQ(g_calls, (std::vector<std::string>{"AdsOpenTable90", "AdsCloseTable"}));
  ADSHANDLE t = OpenRaw("kinder", ADS_ADT);
  UNSIGNED32 count = 99;
  ASSERT_EQ(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count), 0u);
  EXPECT_EQ(count, 0u);
  AdsCloseTable(t);
}

TEST_F(DataSetOpen, EmptyTableFailureClosesTheTemporaryCursorAndReportsTheZap) {
  TCoreDataSet* ds = Make("kinder");  // shared: the engine refuses to zap
  AceImportOverride close(Ace.AdsCloseTable, &RecordClose);
  try {
    ds->EmptyTable();
    ADD_FAILURE() << "emptied";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_EXCLUSIVE_REQUIRED));
  }
  EXPECT_EQ(Count("AdsCloseTable"), 1);
  ADSHANDLE t = OpenRaw("kinder", ADS_ADT);
  UNSIGNED32 count = 0;
  AdsGetRecordCount(t, ADS_IGNOREFILTERS, &count);
  EXPECT_EQ(count, 3u);  // nothing lost
  AdsCloseTable(t);
}

TEST_F(DataSetOpen, EmptyTableWhileOpenEmptiesTheWindow) {
  TCoreDataSet* ds = Make("kinder");
  ds->SetExclusive(true);
  ds->Open();
  ds->EmptyTable();
  EXPECT_TRUE(ds->IsEmpty());
  EXPECT_EQ(ds->RecordCount(), 0);
}

TEST_F(DataSetOpen, DeleteTableNeedsAClosedDataSetAndRemovesTheFile) {
  TCoreDataSet* ds = Make("kinder");
  ds->Open();
  EXPECT_THROW(ds->DeleteTable(), EDatabaseError);
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::path(data_) / "kinder.adt"));
  ds->Close();
  ds->DeleteTable();
  EXPECT_FALSE(std::filesystem::exists(std::filesystem::path(data_) / "kinder.adt"));
  EXPECT_THROW(ds->DeleteTable(), EADSDatabaseError);  // no table to open any more
}

TEST_F(DataSetOpen, FlushBuffersPostsNothingAndKeepsTheRecords) {
  TCoreDataSet* ds = Make("kinder");
  ds->Open();
  ds->FlushBuffers();
  EXPECT_EQ(ds->RecordCount(), 3);
  ds->Close();
  EXPECT_THROW(ds->FlushBuffers(), EDatabaseError);  // closed
}

TEST_F(DataSetOpen, VersionNamesComponentAndEngine) {
  TCoreDataSet* ds = Make("kinder");
  EXPECT_EQ(ds->Version(), "10.0.0.3 (ACE 1.00)");
  static UNSIGNED32 major, minor;
  static UNSIGNED8 letter;
  AceImportOverride version(
      Ace.AdsGetVersion,
      +[](UNSIGNED32* ma, UNSIGNED32* mi, UNSIGNED8* l, UNSIGNED8*, UNSIGNED16*) -> UNSIGNED32 {
        *ma = major;
        *mi = minor;
        *l = letter;
        return 0;
      });
  major = 9, minor = 1, letter = ' ';
  EXPECT_EQ(ds->Version(), "10.0.0.3 (ACE 9.01)");
  minor = 10;
  EXPECT_EQ(ds->Version(), "10.0.0.3 (ACE 9.10)");
  letter = 'b';
  EXPECT_EQ(ds->Version(), "10.0.0.3 (ACE 9.10b)");
  ds->SetVersion("anything");
  EXPECT_EQ(ds->Version(), "10.0.0.3 (ACE 9.10b)");
}

TEST_F(DataSetOpen, IndexFilesNeedAnOwner) {
  ExpectRaises<EADSDatabaseError>([] { TAdsIndexFiles files(nullptr); },
                                  "TAdsIndexFiles instances require a non-nil owner");
}

}  // namespace
}  // namespace adstest
