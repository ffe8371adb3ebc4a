// The extended table's members on the whole table: field information, locks against another
// user, filter texts of any length, optimized filters, record counts, transactions, copies and
// conversions (opened and compared), pack and zap, creating a table, and the process-wide
// members; and the members the query inherits.
#include "tests/ads/extended/extended_support.h"

namespace exttest {
namespace {

class TableByType : public ExtWorldByType {};

TEST_P(TableByType, FieldAndTableInformation) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  EXPECT_EQ(t->AdsGetNumFields(), 5);
  EXPECT_EQ(UpperCase(t->AdsGetFieldName(2)), "NAME");  // DBF names are upper case
  EXPECT_EQ(t->AdsGetFieldNum("zahl"), 3);
  EXPECT_EQ(t->AdsGetFieldType("Name"), AdsfldSTRING);
  EXPECT_EQ(t->AdsGetFieldType("Datum"), AdsfldDATE);
  EXPECT_EQ(t->AdsGetFieldType("Notiz"), AdsfldMEMO);
  EXPECT_EQ(t->AdsGetFieldType("ID"), GetParam() == ttAdsADT ? AdsfldINTEGER : AdsfldNUMERIC);
  EXPECT_EQ(t->AdsGetFieldLength("Name"), 12);
  EXPECT_EQ(t->AdsGetFieldDecimals("Zahl"), 0);
  EXPECT_EQ(t->AdsGetRecordLength(), t->RecordSize());
  EXPECT_EQ(t->AdsGetFieldOffset("Name") + 12, t->AdsGetFieldOffset("Zahl"));
  EXPECT_EQ(t->AdsGetRecordCount(), 10);
  EXPECT_GT(t->AdsGetTableMemoSize(), 0);
  EXPECT_EQ(UpperCase(t->AdsGetTableFileName(foBASENAMEANDEXT)),
            GetParam() == ttAdsADT ? "KINDER.ADT" : "KINDER.DBF");
  EXPECT_EQ(UpperCase(t->AdsGetTableFileName(foBASENAME)), "KINDER");
  EXPECT_EQ(t->AdsGetTableFileName(foFULLPATHNAME).find(data_), 0u);
}

TEST_P(TableByType, RecordLocksAgainstAnotherUser) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  OtherUser other(data_, "Kinder", EngineType(GetParam()));
  ASSERT_EQ(AdsLockRecord(other.table(), 2), 0u);
  t->Next();  // ID 2
  EXPECT_FALSE(t->AdsLockRecord(0));
  EXPECT_FALSE(t->AdsIsRecordLocked(0));
  EXPECT_EQ(Id(t), 2);
  EXPECT_FALSE(t->AdsLockTable());
  EXPECT_FALSE(t->AdsIsTableLocked());
  // A record this user does not hold unlocks without complaint.
  EXPECT_TRUE(t->AdsUnlockRecord(2));
  EXPECT_TRUE(t->AdsUnlockRecord(0));
  ASSERT_EQ(AdsUnlockRecord(other.table(), 2), 0u);
  EXPECT_TRUE(t->AdsLockRecord(0));
  EXPECT_TRUE(t->AdsIsRecordLocked(2));
  EXPECT_EQ(AdsLockRecord(other.table(), 2), static_cast<UNSIGNED32>(AE_LOCK_REFUSED));
  EXPECT_TRUE(t->AdsUnlockRecord(0));
  EXPECT_EQ(AdsLockRecord(other.table(), 2), 0u);
  EXPECT_EQ(AdsUnlockRecord(other.table(), 2), 0u);
  EXPECT_TRUE(t->AdsLockTable());
  EXPECT_TRUE(t->AdsIsTableLocked());
  EXPECT_EQ(AdsLockRecord(other.table(), 5), static_cast<UNSIGNED32>(AE_LOCK_REFUSED));
  t->AdsUnlockTable();
  t->AdsUnlockTable();  // not locked: no error
  EXPECT_FALSE(t->AdsIsTableLocked());
}

TEST_P(TableByType, GetAllLocksCountsTheArray) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  for (int n : {7, 2, 5}) ASSERT_TRUE(t->AdsLockRecord(n));
  EXPECT_EQ(t->AdsGetNumLocks(), 3);
  std::vector<UNSIGNED32> locks(8, 0);
  EXPECT_EQ(t->AdsGetAllLocks(locks), 3);
  EXPECT_EQ(locks[0], 2u);
  EXPECT_EQ(locks[1], 5u);
  EXPECT_EQ(locks[2], 7u);
  EXPECT_EQ(locks[3], 0u);
  std::vector<UNSIGNED32> two(2, 0);
  ExpectAceError([&] { t->AdsGetAllLocks(two); }, AE_INSUFFICIENT_BUFFER);
}

TEST_P(TableByType, FilterTextsOfAnyLength) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  EXPECT_EQ(t->AdsGetFilter(), "");
  EXPECT_EQ(t->AdsGetAOF(), "");
  std::string opt;
  EXPECT_EQ(t->AdsGetAOFOptLevel(opt), olNONE);
  EXPECT_EQ(opt, "");
  // A filter of more than 5000 bytes comes back whole.
  std::string filter = "Zahl > 40";
  while (filter.size() < 5000)
    filter += " .AND. Name <> 'Niemand" + std::to_string(filter.size()) + "'";
  t->AdsSetFilter(filter);
  EXPECT_EQ(t->AdsGetFilter(), filter);
  EXPECT_EQ(Ids(t), (std::vector<int>{5, 6, 7, 8, 9, 10}));
  t->AdsClearFilter();
  EXPECT_EQ(t->AdsGetFilter(), "");
  EXPECT_EQ(Ids(t).size(), 10u);
  ExpectAceError([&] { t->AdsClearFilter(); }, AE_NO_FILTER);
}

TEST_P(TableByType, SetFilterTurnsFilteredOffFirst) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->SetFilter("Zahl < 30");
  t->SetFiltered(true);
  t->AdsSetFilter("Zahl > 80");
  EXPECT_FALSE(t->Filtered());
  EXPECT_EQ(Ids(t), (std::vector<int>{9, 10}));
}

TEST_P(TableByType, OptimizedFilters) {
  MakeTable("Kinder", GetParam());
  MakeIndex("Kinder", GetParam(), "ByZahl", "Zahl");
  TAdsTable* t = OpenTable("Kinder", GetParam());
  EXPECT_EQ(t->AdsEvalAOF("Zahl > 50"), olFULL);
  EXPECT_EQ(t->AdsEvalAOF("Name = 'Kurz'"), olNONE);
  t->AdsSetAOF("Zahl > 50 .AND. Name <> 'Huber'");
  EXPECT_EQ(t->AdsGetAOF(), "Zahl > 50 .AND. Name <> 'Huber'");
  std::string rest;
  EXPECT_EQ(t->AdsGetAOFOptLevel(rest), olPART);
  EXPECT_NE(rest.find("Huber"), std::string::npos);
  EXPECT_EQ(Ids(t), (std::vector<int>{7, 8, 9, 10}));
  EXPECT_TRUE(t->AdsIsRecordInAOF(8));
  EXPECT_FALSE(t->AdsIsRecordInAOF(6));
  const UNSIGNED32 records[] = {2, 8};
  t->AdsCustomizeAOF(2, records, coTOGGLE);
  EXPECT_EQ(Ids(t), (std::vector<int>{2, 7, 9, 10}));
  t->AdsRefreshAOF();
  t->AdsClearAOF();
  EXPECT_EQ(t->AdsGetAOF(), "");
  EXPECT_EQ(Ids(t).size(), 10u);
}

TEST_F(ExtWorld, SetAOFPassesTheOptionsOfTheTableOptions) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  static UNSIGNED32 seen = 0;
  AceImportOverride<decltype(Ace.AdsSetAOF100)> watch(
      Ace.AdsSetAOF100, [](ADSHANDLE h, const void* filter, UNSIGNED32 options) -> UNSIGNED32 {
        seen = options;
        return AdsSetAOF100(h, filter, options);
      });
  t->AdsSetAOF("Zahl > 50");
  EXPECT_EQ(seen, 8194u);  // dynamic, resolved when needed, UTF-16
  t->AdsTableOptions()->SetAdsAOFType(atFixed);
  t->AdsTableOptions()->SetAdsAOFResolveImmediate(true);
  t->AdsSetAOF("Zahl > 60");
  EXPECT_EQ(seen, 8201u);
  EXPECT_EQ(Ids(t), (std::vector<int>{7, 8, 9, 10}));
}

TEST_F(ExtWorld, RecordCountCountsAsTheDatasetDoes) {
  MakeTable("Kinder", ttAdsCDX);
  MakeIndex("Kinder", ttAdsCDX, "ByName", "Name");
  TAdsTable* t = NewTable("Kinder", ttAdsCDX);
  t->SetIndexName("ByName");
  t->Open();
  t->AdsSetFilter("Zahl <= 30");
  EXPECT_EQ(t->AdsGetRecordCount(), 10);
  t->AdsTableOptions()->SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  EXPECT_EQ(t->AdsGetRecordCount(), 3);
  EXPECT_EQ(t->AdsGetRecordCount(), t->RecordCount());
  t->AdsSetScope(soTOP, "B");
  EXPECT_EQ(t->AdsGetRecordCount(), 2);  // Maier and Zorn; Abel is before the scope
}

TEST_P(TableByType, CopyAndConvertGiveTablesWithTheSameRecords) {
  MakeTable("Kinder", GetParam());
  MakeIndex("Kinder", GetParam(), "ByName", "Name");
  TAdsTable* t = NewTable("Kinder", GetParam());
  t->SetIndexName("ByName");
  t->Open();
  t->AdsSetFilter("Zahl > 70");
  // Counting ignores filters: every record, in record order.
  t->AdsCopyTable(data_ + "/Kopie");
  t->AdsCopyTableStructure(data_ + "/Leer");
  const TAdsTableTypes other = GetParam() == ttAdsADT ? ttAdsCDX : ttAdsADT;
  t->AdsConvertTable(data_ + "/Umgewandelt", other);
  EXPECT_EQ(Ids(t), (std::vector<int>{10, 8, 9}));  // the dataset itself is unchanged

  TAdsTable* copy = OpenTable("Kopie", GetParam());
  EXPECT_EQ(Ids(copy), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  copy->AdsGotoRecord(4);
  EXPECT_EQ(copy->FieldByName("Name")->AsString(), "Mueller");
  EXPECT_EQ(copy->FieldByName("Zahl")->AsInteger(), 40);
  TAdsTable* empty = OpenTable("Leer", GetParam());
  EXPECT_EQ(empty->RecordCount(), 0);
  EXPECT_EQ(empty->FieldCount(), 5);
  TAdsTable* converted = OpenTable("Umgewandelt", other);
  EXPECT_EQ(Ids(converted), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
  converted->Last();
  EXPECT_EQ(converted->FieldByName("Name")->AsString(), "Dorn");
  EXPECT_EQ(converted->AdsGetFieldType("Datum"), AdsfldDATE);
  DOUBLE tenth = 0;
  ASSERT_EQ(AdsConvertStringToJulian(U8("20240110"), 8, &tenth), 0u);
  EXPECT_EQ(converted->AdsGetJulian("Datum"), static_cast<int32_t>(tenth));

  // Counting respects filters: the visible records, in the order of the current index.
  t->AdsTableOptions()->SetAdsFilterOptions(RESPECT_WHEN_COUNTING);
  t->AdsCopyTable(data_ + "/Teil");
  EXPECT_EQ(Ids(OpenTable("Teil", GetParam())), (std::vector<int>{10, 8, 9}));
  t->AdsCopyTableContents(empty);
  empty->Close();
  empty->Open();
  EXPECT_EQ(Ids(empty), (std::vector<int>{10, 8, 9}));
  ExpectAceError([&] { t->AdsCopyTableContents(nullptr); }, AE_INVALID_HANDLE);
  ExpectAceError([&] { t->AdsCopyTable(data_ + "/Teil"); }, AE_FILE_EXISTS);
}

TEST_P(TableByType, PackAndZapNeedTheTableExclusively) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = OpenTable("Kinder", GetParam());
  t->Next();
  t->AdsDeleteRecord();
  ExpectAceError([&] { t->AdsPackTable(); }, AE_EXCLUSIVE_REQUIRED);
  t->Close();
  t->SetExclusive(true);
  t->Open();
  t->Next();
  t->Next();
  t->AdsPackTable();
  EXPECT_EQ(Id(t), 1);  // at the top afterwards
  UNSIGNED32 all = 0;
  ASSERT_EQ(AdsGetRecordCount(static_cast<ADSHANDLE>(t->Handle()), ADS_IGNOREFILTERS, &all), 0u);
  EXPECT_EQ(all, 9u);
  t->AdsZapTable();
  EXPECT_TRUE(t->Eof());
  EXPECT_EQ(t->RecordCount(), 0);
}

TEST_P(TableByType, PackTableOfTheDatasetCore) {
  MakeTable("Kinder", GetParam());
  TAdsTable* t = NewTable("Kinder", GetParam());
  t->PackTable();  // closed: nothing
  EXPECT_FALSE(t->Active());
  t->SetExclusive(true);
  t->Open();
  t->AdsGotoRecord(4);
  t->AdsDeleteRecord();
  t->PackTable();
  EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3, 5, 6, 7, 8, 9, 10}));
}

TEST_P(TableByType, CreateTableWithAFieldText) {
  TAdsTable* t = NewTable("Kinder", GetParam());
  // A closed table creates on the implicit connection of its folder.
  t->AdsCreateTable("Neu", GetParam(), ANSI, 0, "Kennung,Char,20;Betrag,Numeric,10,2;Tag,Date");
  TAdsTable* made = OpenTable("Neu", GetParam());
  EXPECT_EQ(made->AdsGetNumFields(), 3);
  EXPECT_EQ(UpperCase(made->AdsGetFieldName(1)), "KENNUNG");
  EXPECT_EQ(made->AdsGetFieldLength("Kennung"), 20);
  EXPECT_EQ(made->AdsGetFieldDecimals("Betrag"), 2);
  EXPECT_EQ(made->AdsGetFieldType("Tag"), AdsfldDATE);
  EXPECT_EQ(made->RecordCount(), 0);
  ExpectAceError([&] { t->AdsCreateTable("Neu", GetParam(), ANSI, 0, "Kennung,Char,20"); },
                 AE_FILE_EXISTS);
}

TEST_F(ExtWorld, CreateTableConnectsTheConnectionComponent) {
  WriteAliases("Daten=" + data_ + ";A\n");
  auto* conn = new TAdsConnection(form_.get());
  conn->SetName("AdsConnection1");
  conn->SetAliasName("Daten");
  auto* t = new TAdsTable(form_.get());
  t->SetAdsConnection(conn);
  ASSERT_FALSE(conn->IsConnected());
  t->AdsCreateTable("Neu", ttAdsADT, ANSI, 0, "Kennung,Char,20");
  EXPECT_TRUE(conn->IsConnected());
  t->SetTableName("Neu");
  t->Open();
  EXPECT_EQ(t->AdsGetFieldName(1), "Kennung");
}

TEST_F(ExtWorld, InTransactionAsksTheTablesConnection) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = OpenTable("Kinder", ttAdsADT);
  EXPECT_FALSE(t->AdsInTransaction());
  ADSHANDLE connection = 0;
  ASSERT_EQ(AdsGetTableConnection(static_cast<ADSHANDLE>(t->Handle()), &connection), 0u);
  ASSERT_EQ(AdsBeginTransaction(connection), 0u);
  EXPECT_TRUE(t->AdsInTransaction());
  ASSERT_EQ(AdsRollbackTransaction(connection), 0u);
  EXPECT_FALSE(t->AdsInTransaction());
}

TEST_F(ExtWorld, ProcessWideMembers) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  EXPECT_TRUE(t->AdsCheckExistence(data_ + "/Kinder.adt"));
  EXPECT_FALSE(t->AdsCheckExistence(data_ + "/Nichts.adt"));
  EXPECT_FALSE(t->AdsGetErrorString(AE_LOCK_REFUSED).empty());
  UNSIGNED32 major = 0, minor = 0;
  char letter = 0;
  t->AdsGetVersion(major, minor, letter);
  EXPECT_GT(major, 0u);
  // The last error of this thread, after a call that failed.
  t->Open();
  ExpectAceError([&] { t->AdsGotoRecord(99); }, AE_INVALID_RECORD_NUMBER);
  std::string text;
  EXPECT_EQ(t->AdsGetLastError(text), AE_INVALID_RECORD_NUMBER);
  EXPECT_NE(text.find("99"), std::string::npos) << text;
  EXPECT_THROW(t->AdsGetErrorString(-1), ERangeError);
}

TEST_F(ExtWorld, TheQueryHasTheDatasetMembers) {
  MakeTable("Kinder", ttAdsADT);
  auto* q = new TAdsQuery(form_.get());
  q->SetDatabaseName(data_);
  q->SQL()->SetText("SELECT * FROM Kinder WHERE Zahl > 50");
  q->Open();
  TAdsExtendedDataSet* ds = q;
  EXPECT_FALSE(ds->AdsIsRecordDeleted(0));
  ds->AdsCacheRecords(20);
  EXPECT_TRUE(ds->AdsCheckExistence(data_ + "/Kinder.adt"));
  std::string rest;
  EXPECT_EQ(ds->AdsGetAOFOptLevel(rest), olNONE);
}

TEST_F(ExtWorld, MembersOnAClosedDataset) {
  MakeTable("Kinder", ttAdsADT);
  TAdsTable* t = NewTable("Kinder", ttAdsADT);
  EXPECT_THROW(t->AdsGetLong("Zahl"), EDatabaseError);  // the framework's check
  EXPECT_THROW(t->AdsGotoTop(), EDatabaseError);
  ExpectAceError([&] { t->AdsGetNumFields(); }, AE_INVALID_HANDLE);  // the handle -1
}

INSTANTIATE_TEST_SUITE_P(Types, TableByType, ::testing::Values(ttAdsADT, ttAdsCDX), TypeParamName);

}  // namespace
}  // namespace exttest
