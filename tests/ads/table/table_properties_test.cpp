// The table's properties: their refusals on an open table, the table type checks against an
// alias and a connection, Exists, the index files a rename forgets, LastAutoincVal, the
// master-detail link fields, and the stored description (deferred Active, stored definitions).
#include <climits>
#include <filesystem>
#include <fstream>

#include "tests/ads/table/table_support.h"

using namespace tabletest;
namespace fs = std::filesystem;

namespace {

class TableProps : public TableWorld {
 protected:
  void SetUp() override {
    TableWorld::SetUp();
    CreateTable(data_, "Kinder", "ID,Integer;ParentID,Integer;Name,Char,20");
  }
  void Touch(const std::string& file) { std::ofstream(fs::path(data_) / file) << "x"; }
};

const char* const kTypeMismatch =
    "The table type must remain identical to the table type associated with the alias.";

// ---- refusals on an open table ---------------------------------------------------------------

TEST_F(TableProps, AnOpenTableRefusesNameTypeAndOpenSettings) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->Open();
  const std::string open = "AdsTable1: Cannot perform this operation on an open dataset";
  adstest::ExpectRaises<EADSDatabaseError>([&] { table->SetTableName("Other"); }, open);
  adstest::ExpectRaises<EADSDatabaseError>([&] { table->SetTableType(ttAdsCDX); }, open);
  adstest::ExpectRaises<EADSDatabaseError>([&] { table->SetIndexCollationMismatch(icmReindex); },
                                           open);
  // Exclusive and ReadOnly go through the framework's own check.
  EXPECT_THROW(table->SetExclusive(true), EDatabaseError);
  EXPECT_THROW(table->SetReadOnly(true), EDatabaseError);
  EXPECT_EQ(table->TableName(), "Kinder");
  EXPECT_EQ(table->TableType(), ttAdsADT);
  EXPECT_EQ(table->IndexCollationMismatch(), icmError);
  EXPECT_FALSE(table->Exclusive());
  EXPECT_FALSE(table->ReadOnly());
  EXPECT_TRUE(table->Active());
  // Texts that only are stored may change at any time.
  table->SetInfoExpression("ID > 3");
  table->SetEncryptionPassword("pw");
  table->SetStoreDefs(true);
  EXPECT_EQ(table->InfoExpression(), "ID > 3");
  EXPECT_EQ(table->EncryptionPassword(), "pw");
  EXPECT_TRUE(table->StoreDefs());
}

TEST_F(TableProps, AtDesignTimeExclusiveClosesTheTableFirst) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->SetDesigning(true);
  table->Open();
  table->SetExclusive(true);
  EXPECT_FALSE(table->Active());
  EXPECT_TRUE(table->Exclusive());
}

TEST_F(TableProps, ConstructionDefaults) {
  TAdsTable table(nullptr);
  EXPECT_EQ(table.TableType(), ttAdsADT);
  EXPECT_EQ(table.IndexCollationMismatch(), icmError);
  EXPECT_EQ(table.EncryptionPassword(), "");
  EXPECT_FALSE(table.StoreDefs());
  EXPECT_FALSE(table.Exclusive());
  EXPECT_FALSE(table.ReadOnly());
  EXPECT_EQ(table.IndexFiles()->Count(), 0);
  EXPECT_EQ(table.Handle(), -1);
  EXPECT_EQ(table.AdsTableOptions()->OwningDataSet(), &table);
}

// ---- table type against alias and connection -----------------------------------------------

TEST_F(TableProps, AnAliasFixesTheTableType) {
  WriteAliases("Vaskoli_AB=" + data_ + "\nFox=" + data_ + ";v\n");
  TAdsTable* table = NewTable(nullptr, "Kinder");
  table->SetDatabaseName("Fox");
  EXPECT_EQ(table->TableType(), ttAdsVFP);  // the alias gave its type
  adstest::ExpectRaises<EADSDatabaseError>([&] { table->SetTableType(ttAdsADT); },
                                           std::string("AdsTable1: ") + kTypeMismatch);
  EXPECT_EQ(table->TableType(), ttAdsVFP);
  table->SetTableType(ttAdsVFP);

  // An alias without a letter stands for ADT tables.
  table->SetDatabaseName("Vaskoli_AB");
  EXPECT_EQ(table->TableType(), ttAdsADT);
  EXPECT_THROW(table->SetTableType(ttAdsCDX), EADSDatabaseError);

  // A path is no alias: every type is accepted.
  table->SetDatabaseName(data_);
  table->SetTableType(ttAdsCDX);
  EXPECT_EQ(table->TableType(), ttAdsCDX);
  // Nor is a name the alias file does not know.
  table->SetDatabaseName("Unknown");
  table->SetTableType(ttAdsNTX);
  EXPECT_EQ(table->TableType(), ttAdsNTX);
}

TEST_F(TableProps, AConnectionWithAnAliasTypeFixesTheTableType) {
  WriteAliases("Vaskoli_AB=" + data_ + "\nCdx=" + data_ + ";C\n");
  TAdsConnection* typed = NewConnection("AdsConnection1", "Cdx");
  TAdsTable* table = NewTable(typed, "Kinder");
  EXPECT_EQ(table->TableType(), ttAdsCDX);  // the connection's type was followed
  adstest::ExpectRaises<EADSDatabaseError>([&] { table->SetTableType(ttAdsADT); },
                                           std::string("AdsTable1: ") + kTypeMismatch);
  EXPECT_THROW(table->SetTableType(ttAdsVFP), EADSDatabaseError);
  EXPECT_EQ(table->TableType(), ttAdsCDX);

  // An alias without a letter leaves every type open.
  TAdsConnection* plain = NewConnection("AdsConnection2", "Vaskoli_AB");
  TAdsTable* free = NewTable(plain, "Kinder", "AdsTable2");
  free->SetTableType(ttAdsNTX);
  free->SetTableType(ttAdsVFP);
  free->SetTableType(ttAdsDefault);
  EXPECT_EQ(free->TableType(), ttAdsDefault);
}

// ---- Exists ---------------------------------------------------------------------------------

TEST_F(TableProps, ExistsLooksForTheFileWithTheTypesExtension) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  EXPECT_TRUE(table->Exists());  // Kinder.adt
  table->SetTableName("Kinder.adt");
  EXPECT_TRUE(table->Exists());
  table->SetTableName("Nothing");
  EXPECT_FALSE(table->Exists());
  table->SetTableName("");
  EXPECT_FALSE(table->Exists());

  // A name with its own extension is looked for as it stands.
  Touch("Notes.txt");
  table->SetTableName("Notes.txt");
  EXPECT_TRUE(table->Exists());
  table->SetTableName("Notes");
  EXPECT_FALSE(table->Exists());

  // Every other type looks for .dbf, ttAdsDefault too.
  table->SetTableName("Kinder");
  table->SetTableType(ttAdsDefault);
  EXPECT_FALSE(table->Exists());
  Touch("Kinder.dbf");
  EXPECT_TRUE(table->Exists());
  table->SetTableType(ttAdsCDX);
  EXPECT_TRUE(table->Exists());
  fs::remove(fs::path(data_) / "Kinder.dbf");
  EXPECT_FALSE(table->Exists());
}

TEST_F(TableProps, AnOpenTableExistsWithoutLooking) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->Open();
  fs::remove(fs::path(data_) / "Kinder.adt");  // the open file stays readable
  EXPECT_TRUE(table->Exists());
  table->Close();
  EXPECT_FALSE(table->Exists());
}

TEST_F(TableProps, ExistsUsesTheDatabasePathOfAnAliasOrAFolder) {
  TAdsTable* table = NewTable(nullptr, "Kinder");
  table->SetDatabaseName("Vaskoli_AB");
  EXPECT_TRUE(table->Exists());
  table->SetDatabaseName(data_ + "/");
  EXPECT_TRUE(table->Exists());
  table->SetDatabaseName(Folder("Empty"));
  EXPECT_FALSE(table->Exists());
}

// ---- index files and renaming ---------------------------------------------------------------

TEST_F(TableProps, RenamingAClosedTableForgetsItsIndexFiles) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->IndexFiles()->Add("Extra.adi");
  table->IndexFiles()->Add("More.adi");
  table->SetTableName("Kinder");  // the same name keeps them
  EXPECT_EQ(table->IndexFiles()->Count(), 2);
  table->SetTableName("kinder");  // another name, by case
  EXPECT_EQ(table->IndexFiles()->Count(), 0);
  table->IndexFiles()->Add("Extra.adi");
  table->SetTableName("Other");
  EXPECT_EQ(table->IndexFiles()->Count(), 0);
}

TEST_F(TableProps, ANewNameMakesTheDefinitionsOutOfDate) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->FieldDefs()->Update();  // read through a temporary cursor
  EXPECT_EQ(table->FieldDefs()->Count(), 3);
  EXPECT_FALSE(table->Active());
  table->IndexDefs()->SetUpdated(true);
  CreateTable(data_, "Other", "Code,Char,4");
  table->SetTableName("Other");
  // The property-change notification reached the dataset: both are read again when needed.
  EXPECT_FALSE(table->FieldDefs()->Updated());
  EXPECT_FALSE(table->IndexDefs()->Updated());
  table->FieldDefs()->Update();
  ASSERT_EQ(table->FieldDefs()->Count(), 1);
  EXPECT_EQ(table->FieldDefs()->Items(0)->Name(), "Code");
}

TEST_F(TableProps, AStoredDescriptionReadsTheNameWithoutForgettingTheIndexFiles) {
  ReadComponentFromText(
      "object Form1: TComponent\n"
      "  object AdsTable1: TAdsTable\n"
      "    IndexFiles.Strings = (\n"
      "      'Extra.adi'\n"
      "      'More.adi')\n"
      "    TableName = 'Kinder'\n"
      "  end\n"
      "end\n",
      form_.get());
  auto* table = dynamic_cast<TAdsTable*>(form_->FindComponent("AdsTable1"));
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->TableName(), "Kinder");
  ASSERT_EQ(table->IndexFiles()->Count(), 2);
  EXPECT_EQ(table->IndexFiles()->Strings(0), "Extra.adi");
  // After loading a rename forgets them again.
  table->SetTableName("Other");
  EXPECT_EQ(table->IndexFiles()->Count(), 0);
}

// ---- the core's temporary cursors ------------------------------------------------------------

TEST_F(TableProps, EmptyAndDeleteOnAClosedTableUseATemporaryCursorOfTheTable) {
  CreateNumbered(data_, "Many", 25);
  TAdsTable* table = NewTable(NewConnection(), "Many");
  table->SetExclusive(true);
  EngineRecorder rec;
  table->EmptyTable();
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].name, data_ + "\\Many");
  EXPECT_EQ(rec.opens[0].options, 1u);  // the cursor is opened as the table's properties say
  ASSERT_EQ(rec.closes.size(), 1u);
  EXPECT_EQ(rec.closes[0], rec.opens[0].handle);
  EXPECT_FALSE(table->Active());
  EXPECT_TRUE(NobodyHasOpen(data_, "Many"));
  table->Open();
  EXPECT_EQ(table->RecordCount(), 0);
  table->Close();

  EXPECT_TRUE(table->Exists());
  table->DeleteTable();
  EXPECT_FALSE(table->Exists());
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(rec.opens.size(), 3u);
}

// ---- LastAutoincVal -------------------------------------------------------------------------

UNSIGNED32 g_autoinc_answer = 0;
UNSIGNED32 ForcedAutoinc(ADSHANDLE, UNSIGNED32* value) {
  *value = g_autoinc_answer;
  return 0;
}

TEST_F(TableProps, LastAutoincValIsTheEnginesValueForTheTable) {
  CreateTable(data_, "Counter", "ID,AutoInc;Name,Char,10");
  TAdsTable* table = NewTable(NewConnection(), "Counter");
  table->Open();
  const ADSHANDLE h = static_cast<ADSHANDLE>(table->Handle());
  for (int expected = 1; expected <= 3; ++expected) {
    ASSERT_EQ(Ace.AdsAppendRecord(h), 0u);
    ASSERT_EQ(Ace.AdsSetString(h, U8("Name"), U8("x"), 1), 0u);
    ASSERT_EQ(Ace.AdsWriteRecord(h), 0u);
    EXPECT_EQ(table->LastAutoincVal(), expected);
  }
  table->Close();
  // Closed: the engine refuses the handle, and that is raised.
  EXPECT_THROW(table->LastAutoincVal(), EADSDatabaseError);
}

TEST_F(TableProps, LastAutoincValAboveTheSignedRangeIsARangeError) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->Open();
  AceImportOverride<decltype(Ace.AdsGetLastAutoinc)> forced(Ace.AdsGetLastAutoinc, &ForcedAutoinc);
  g_autoinc_answer = 2147483647u;
  EXPECT_EQ(table->LastAutoincVal(), INT32_MAX);
  g_autoinc_answer = 2147483648u;
  EXPECT_THROW(table->LastAutoincVal(), ERangeError);
  g_autoinc_answer = 4294967295u;
  EXPECT_THROW(table->LastAutoincVal(), ERangeError);
}

// ---- master-detail link fields --------------------------------------------------------------

// Sets the core's master fields and index choice directly, as their own properties would.
class TLinkTable : public TAdsTable {
 public:
  using TAdsTable::TAdsTable;
  void UseMasterFields(const std::string& s) { mstrMasterField = s; }
  void UseIndexName(const std::string& s) {
    mstrIndexName = s;
    mstrIndexFieldNames.clear();
  }
  void UseIndexFieldNames(const std::string& s) {
    mstrIndexFieldNames = s;
    mstrIndexName.clear();
  }
};

TEST_F(TableProps, DetailLinkFieldsPairTheMasterFieldsWithTheChosenIndex) {
  TAdsConnection* conn = NewConnection();
  TAdsTable* master = NewTable(conn, "Kinder", "Master");
  master->Open();
  auto* source = new TDataSource(form_.get());
  source->SetDataSet(master);
  auto* detail = new TLinkTable(form_.get());
  detail->SetName("Detail");
  detail->SetAdsConnection(conn);
  detail->SetTableName("Kinder");
  detail->Open();
  detail->IndexDefs()->Add("ByParent", "PARENTID", TIndexOptions());
  detail->IndexDefs()->Add("ByName", "NAME;ID", TIndexOptions());
  detail->IndexDefs()->SetUpdated(true);

  std::vector<TField*> masterFields{master->FieldByName("ID")}, detailFields{nullptr};
  // Without a master source both lists end empty.
  detail->UseMasterFields("ID");
  detail->GetDetailLinkFields(masterFields, detailFields);
  EXPECT_TRUE(masterFields.empty());
  EXPECT_TRUE(detailFields.empty());

  detail->MasterLink()->SetDataSource(source);
  detail->UseIndexName("ByParent");
  detail->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 1u);
  EXPECT_EQ(masterFields[0], master->FieldByName("ID"));
  ASSERT_EQ(detailFields.size(), 1u);
  EXPECT_EQ(detailFields[0], detail->FieldByName("ParentID"));

  // By fields: the index whose leading fields they are.
  detail->UseMasterFields("Name");
  detail->UseIndexFieldNames("NAME");
  detail->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 1u);
  EXPECT_EQ(masterFields[0], master->FieldByName("Name"));
  ASSERT_EQ(detailFields.size(), 2u);
  EXPECT_EQ(detailFields[0], detail->FieldByName("Name"));
  EXPECT_EQ(detailFields[1], detail->FieldByName("ID"));

  // No index chosen, or none for the fields: the detail list stays empty.
  detail->UseIndexFieldNames("");
  detail->GetDetailLinkFields(masterFields, detailFields);
  EXPECT_EQ(masterFields.size(), 1u);
  EXPECT_TRUE(detailFields.empty());
  detail->UseIndexFieldNames("ID");
  detail->GetDetailLinkFields(masterFields, detailFields);
  EXPECT_TRUE(detailFields.empty());

  // An index name that is not defined is the framework's error.
  detail->UseIndexName("Nowhere");
  EXPECT_THROW(detail->GetDetailLinkFields(masterFields, detailFields), EDatabaseError);

  // No master fields: nothing to link.
  detail->UseMasterFields("");
  detail->UseIndexName("ByParent");
  detail->GetDetailLinkFields(masterFields, detailFields);
  EXPECT_TRUE(masterFields.empty());
  EXPECT_TRUE(detailFields.empty());
}

// ---- the stored description -----------------------------------------------------------------

TEST_F(TableProps, AStoredActiveTableOpensOnlyAfterTheWholeFormIsRead) {
  EngineRecorder rec;
  TAdsConnection* seenConnection = nullptr;
  bool connectedAtOpen = false;
  std::string nameAtOpen;
  rec.on_open = [&] {
    auto* table = dynamic_cast<TAdsTable*>(form_->FindComponent("AdsTableKinder"));
    auto* conn = dynamic_cast<TAdsConnection*>(form_->FindComponent("AdsConnection1"));
    seenConnection = table != nullptr ? table->AdsConnection() : nullptr;
    connectedAtOpen = conn != nullptr && conn->IsConnected();
    nameAtOpen = table != nullptr ? table->TableName() : "";
  };
  // Active stands before TableName and the table before its connection: both only count
  // once everything is read.
  ReadComponentFromText(
      "object Form1: TComponent\n"
      "  object AdsTableKinder: TAdsTable\n"
      "    Active = True\n"
      "    AdsConnection = AdsConnection1\n"
      "    AdsTableOptions.AdsIndexPageSize = 512\n"
      "    AdsTableOptions.AdsLockType = Compatible\n"
      "    Exclusive = True\n"
      "    TableName = 'Kinder'\n"
      "    IndexCollationMismatch = icmIgnore\n"
      "  end\n"
      "  object AdsConnection1: TAdsConnection\n"
      "    AliasName = 'Vaskoli_AB'\n"
      "    IsConnected = True\n"
      "    LoginPrompt = False\n"
      "  end\n"
      "end\n",
      form_.get());
  auto* table = dynamic_cast<TAdsTable*>(form_->FindComponent("AdsTableKinder"));
  auto* conn = dynamic_cast<TAdsConnection*>(form_->FindComponent("AdsConnection1"));
  ASSERT_NE(table, nullptr);
  ASSERT_NE(conn, nullptr);
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(seenConnection, conn);
  EXPECT_TRUE(connectedAtOpen);
  EXPECT_EQ(nameAtOpen, "Kinder");
  EXPECT_EQ(rec.opens[0].options, 1u + 512u);
  EXPECT_EQ(rec.opens[0].lock_type, 0);
  EXPECT_TRUE(table->Active());
  // The stored page size was in force only until the table opened.
  EXPECT_EQ(table->AdsTableOptions()->AdsIndexPageSize(), 0);
  EXPECT_EQ(table->FieldCount(), 3);
}

TEST_F(TableProps, DefinitionsAreStoredOnlyWithStoreDefs) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->FieldDefs()->Add("ID", ftInteger);
  table->IndexDefs()->Add("ByID", "ID", TIndexOptions({ixPrimary}));
  table->SetStoreDefs(false);
  table->SetInfoExpression("kept");
  std::string text = WriteComponentToText(form_.get());
  EXPECT_EQ(text.find("FieldDefs"), std::string::npos) << text;
  EXPECT_EQ(text.find("IndexDefs"), std::string::npos) << text;
  EXPECT_NE(text.find("InfoExpression = 'kept'"), std::string::npos) << text;
  EXPECT_EQ(text.find("StoreDefs"), std::string::npos) << text;
  EXPECT_EQ(text.find("TableType"), std::string::npos) << text;  // the default

  table->SetStoreDefs(true);
  text = WriteComponentToText(form_.get());
  EXPECT_NE(text.find("StoreDefs = True"), std::string::npos) << text;
  EXPECT_NE(text.find("FieldDefs = <"), std::string::npos) << text;
  EXPECT_NE(text.find("IndexDefs = <"), std::string::npos) << text;

  // Read back: the definitions come with it.
  TComponent copy(nullptr);
  ReadComponentFromText(text, &copy);
  auto* read = dynamic_cast<TAdsTable*>(copy.FindComponent("AdsTable1"));
  ASSERT_NE(read, nullptr);
  EXPECT_TRUE(read->StoreDefs());
  ASSERT_EQ(read->FieldDefs()->Count(), 1);
  EXPECT_EQ(read->FieldDefs()->Items(0)->Name(), "ID");
  ASSERT_EQ(read->IndexDefs()->Count(), 1);
  EXPECT_EQ(read->IndexDefs()->Items(0)->Name(), "ByID");
  EXPECT_EQ(read->InfoExpression(), "kept");

  // StoreDefs with empty collections writes none of them.
  table->FieldDefs()->Clear();
  table->IndexDefs()->Clear();
  text = WriteComponentToText(form_.get());
  EXPECT_EQ(text.find("FieldDefs"), std::string::npos) << text;
  EXPECT_EQ(text.find("IndexDefs"), std::string::npos) << text;
}

TEST_F(TableProps, ChangingTheDefinitionsTurnsStoreDefsOn) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  // Opening reads the definitions from the engine: that is no change of them.
  table->Open();
  EXPECT_EQ(table->FieldDefs()->Count(), 3);
  table->Close();
  table->FieldDefs()->Update();
  EXPECT_FALSE(table->StoreDefs());

  table->FieldDefs()->Add("Extra", ftInteger);
  EXPECT_TRUE(table->StoreDefs());
  table->SetStoreDefs(false);
  table->IndexDefs()->Add("ByID", "ID", TIndexOptions());
  EXPECT_TRUE(table->StoreDefs());
  table->SetStoreDefs(false);
  table->IndexDefs()->Delete(0);
  EXPECT_TRUE(table->StoreDefs());
}

TEST_F(TableProps, PublishedPropertiesRoundTripThroughTheDescription) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->SetExclusive(true);
  table->SetReadOnly(true);
  table->SetIndexCollationMismatch(icmReindex);
  table->SetEncryptionPassword("pw");
  table->SetTableType(ttAdsVFP);
  table->IndexFiles()->Add("Extra.cdx");
  const std::string text = WriteComponentToText(form_.get());
  TComponent copy(nullptr);
  ReadComponentFromText(text, &copy);
  auto* read = dynamic_cast<TAdsTable*>(copy.FindComponent("AdsTable1"));
  ASSERT_NE(read, nullptr) << text;
  EXPECT_TRUE(read->Exclusive());
  EXPECT_TRUE(read->ReadOnly());
  EXPECT_EQ(read->IndexCollationMismatch(), icmReindex);
  EXPECT_EQ(read->EncryptionPassword(), "pw");
  EXPECT_EQ(read->TableType(), ttAdsVFP);
  EXPECT_EQ(read->TableName(), "Kinder");
  ASSERT_EQ(read->IndexFiles()->Count(), 1);
  EXPECT_EQ(read->IndexFiles()->Strings(0), "Extra.cdx");
  EXPECT_EQ(read->AdsConnection(), copy.FindComponent("AdsConnection1"));
}

}  // namespace
