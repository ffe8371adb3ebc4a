// The table's engine cursor: the arguments of AdsOpenTable90 as the properties, the table
// options and the connection give them, the dictionary open with its retry as a free table,
// the refusals before any engine call, and that a failed open leaves no handle behind.
#include <cstring>
#include <fstream>
#include <iterator>

#include "tests/ads/table/table_support.h"

using namespace tabletest;

namespace {

class TableOpen : public TableWorld {
 protected:
  void SetUp() override {
    TableWorld::SetUp();
    CreateTable(data_, "Kinder", "ID,Integer;Name,Char,20");
  }
  std::string KinderPath() const { return data_ + "\\Kinder"; }
};

// A connection that reports itself as a dictionary connection; the engine below it is a free
// table directory, so the dictionary's answers are forced through the recorder.
class TDictionaryConnection : public TAdsConnection {
 public:
  using TAdsConnection::TAdsConnection;
  bool IsDictionaryConn() const override { return true; }
};

TEST_F(TableOpen, DefaultsOpenTheFreeTableWithTheDocumentedArguments) {
  TAdsConnection* conn = NewConnection();
  TAdsTable* table = NewTable(conn, "Kinder");
  EngineRecorder rec;
  table->Open();
  ASSERT_EQ(rec.opens.size(), 1u);
  const OpenCall& call = rec.opens[0];
  EXPECT_EQ(call.name, KinderPath());
  EXPECT_TRUE(call.alias_null);
  EXPECT_EQ(call.table_type, 3);
  EXPECT_EQ(call.char_type, 1);
  EXPECT_EQ(call.lock_type, 1);
  EXPECT_EQ(call.rights, 1);
  EXPECT_EQ(call.options, 0u);
  EXPECT_EQ(call.collation, "ANSI");
  EXPECT_TRUE(table->Active());
  EXPECT_EQ(table->Handle(), static_cast<int32_t>(call.handle));
  EXPECT_TRUE(conn->IsConnected());  // the open connected the connection
  EXPECT_TRUE(table->CanModify());
  table->Close();
  EXPECT_EQ(table->Handle(), -1);
  ASSERT_EQ(rec.closes.size(), 1u);
  EXPECT_EQ(rec.closes[0], call.handle);
}

TEST_F(TableOpen, TableTypesGiveTheirEngineTypes) {
  CreateTable(data_, "Fox", "ID,Integer", ADS_VFP);
  TAdsTable* table = NewTable(NewConnection(), "Fox");
  table->SetTableType(ttAdsVFP);
  EngineRecorder rec;
  table->Open();
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].table_type, 4);
  table->Close();

  // ttAdsDefault opens as an ADT table.
  table->SetTableType(ttAdsDefault);
  table->SetTableName("Kinder");
  table->Open();
  ASSERT_EQ(rec.opens.size(), 2u);
  EXPECT_EQ(rec.opens[1].table_type, 3);
  EXPECT_EQ(table->TableType(), ttAdsDefault);  // a free open keeps the type as set
}

TEST_F(TableOpen, OptionBitsFollowExclusiveReadOnlyCollationMismatchAndCaching) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  EngineRecorder rec;
  table->SetExclusive(true);
  table->Open();
  EXPECT_TRUE(table->CanModify());
  table->Close();
  table->SetExclusive(false);
  table->SetReadOnly(true);
  table->Open();
  EXPECT_FALSE(table->CanModify());
  table->Close();
  table->SetReadOnly(false);
  table->SetIndexCollationMismatch(icmReindex);
  table->AdsTableOptions()->SetAdsCachingOption(tcWrites);
  table->Open();
  table->Close();
  table->SetIndexCollationMismatch(icmIgnore);
  table->AdsTableOptions()->SetAdsCachingOption(tcReads);
  table->Open();
  table->Close();
  ASSERT_EQ(rec.opens.size(), 4u);
  EXPECT_EQ(rec.opens[0].options, 1u);
  EXPECT_EQ(rec.opens[1].options, 2u);
  EXPECT_EQ(rec.opens[2].options, 256u + 1073741824u);
  EXPECT_EQ(rec.opens[3].options, 512u + 536870912u);
  for (const OpenCall& call : rec.opens) EXPECT_EQ(call.result, 0u) << call.options;
}

TEST_F(TableOpen, ExclusiveAndReadOnlyTogetherPassBothBits) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->SetExclusive(true);
  table->SetReadOnly(true);
  EngineRecorder rec;
  // The engine of this build refuses an exclusive read-only open (its exclusive lock needs a
  // writable file); whichever way it answers, the component passed both bits and, when the
  // engine refused, ends closed with nothing open.
  try {
    table->Open();
    EXPECT_FALSE(table->CanModify());
    table->Close();
  } catch (const EADSDatabaseError& e) {
    EXPECT_NE(e.ACEErrorCode(), 5121u) << e.Message();
    EXPECT_FALSE(table->Active());
    EXPECT_EQ(table->Handle(), -1);
  }
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].options, 3u);
  EXPECT_TRUE(NobodyHasOpen(data_, "Kinder"));
}

TEST_F(TableOpen, LockTypeAndRightsCheckingFollowTheOptions) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->AdsTableOptions()->SetAdsLockType(Compatible);
  table->AdsTableOptions()->SetAdsRightsCheck(false);
  table->AdsTableOptions()->SetAdsCharType(OEM);
  EngineRecorder rec;
  table->Open();
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].lock_type, 0);
  EXPECT_EQ(rec.opens[0].rights, 2);
  EXPECT_EQ(rec.opens[0].char_type, 2);
  EXPECT_EQ(rec.opens[0].collation, "OEM");
}

TEST_F(TableOpen, AReadOnlyConnectionOpensReadOnlyAndLeavesTheTableReadOnly) {
  TAdsConnection* conn = NewConnection();
  conn->SetReadOnly(true);
  TAdsTable* table = NewTable(conn, "Kinder");
  EXPECT_FALSE(table->ReadOnly());
  EngineRecorder rec;
  table->Open();
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].options, 2u);
  EXPECT_FALSE(table->CanModify());
  table->Close();
  EXPECT_TRUE(table->ReadOnly());

  // At design time the bit is passed but the table's own setting stays.
  conn->SetReadOnly(true);
  TAdsTable* designed = NewTable(conn, "Kinder", "AdsTable2");
  designed->SetDesigning(true);
  designed->Open();
  ASSERT_EQ(rec.opens.size(), 2u);
  EXPECT_EQ(rec.opens[1].options, 2u);
  designed->Close();
  EXPECT_FALSE(designed->ReadOnly());
}

TEST_F(TableOpen, CollationComesFromTheTableThenTheConnectionThenTheCharType) {
  TAdsConnection* conn = NewConnection();
  conn->SetAdsCollation("GERMAN_ADS_CS_AS_1252");
  TAdsTable* table = NewTable(conn, "Kinder");
  EngineRecorder rec;
  table->Open();
  table->Close();
  table->AdsTableOptions()->SetAdsCollation("FRENCH_ADS_CS_AS_1252");
  table->Open();
  table->Close();
  ASSERT_EQ(rec.opens.size(), 2u);
  EXPECT_EQ(rec.opens[0].collation, "GERMAN_ADS_CS_AS_1252");
  EXPECT_EQ(rec.opens[1].collation, "FRENCH_ADS_CS_AS_1252");
  // A collation came back from the engine: the character type is not taken over.
  EXPECT_EQ(table->AdsTableOptions()->AdsCharType(), ANSI);
}

TEST_F(TableOpen, TheStoredIndexPageSizeGivesWayToTheOpenTables) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->AdsTableOptions()->SetAdsIndexPageSize(512);
  table->Open();
  EXPECT_EQ(table->AdsTableOptions()->AdsIndexPageSize(), 0);  // Kinder has no index
}

TEST_F(TableOpen, CollationCharTypesNeedATableTypeThatKnowsThem) {
  CreateTable(data_, "Fox", "ID,Integer", ADS_VFP);
  TAdsTable* table = NewTable(NewConnection(), "Fox");
  table->SetTableType(ttAdsVFP);
  table->AdsTableOptions()->SetAdsCharType(GERMAN_VFP_CI_AS_1252);
  EXPECT_EQ(table->AdsTableOptions()->AdsCharType(), GERMAN_VFP_CI_AS_1252);
  table->AdsTableOptions()->SetAdsCharType(OEM);
  table->SetTableType(ttAdsCDX);
  adstest::ExpectRaises<EADSDatabaseError>(
      [&] { table->AdsTableOptions()->SetAdsCharType(GERMAN_VFP_CI_AS_1252); },
      "AdsTable1: ttAdsCDX and ttAdsNTX table types only support an AdsCharType of ANSI or "
      "OEM.");
  EXPECT_EQ(table->AdsTableOptions()->AdsCharType(), OEM);
  table->AdsTableOptions()->SetAdsCharType(ANSI);
  // An open table refuses every change of it.
  table->SetTableType(ttAdsVFP);
  table->Open();
  adstest::ExpectRaises<EADSDatabaseError>([&] { table->AdsTableOptions()->SetAdsCharType(OEM); },
                                           "AdsTable1: Table must not be Active.");
}

TEST_F(TableOpen, ACollationCharTypeIsPassedByNumberAndName) {
  TAdsConnection* conn = NewConnection();
  TAdsTable* table = NewTable(conn, "Kinder");
  table->AdsTableOptions()->SetAdsCharType(ENGL_UK_ADS_CS_AS_1252);
  EngineRecorder rec;
  // The engine knows only ANSI and OEM tables and refuses the open; the component passed
  // what its options say and ends closed.
  EXPECT_THROW(table->Open(), EADSDatabaseError);
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].collation, "ENGL(UK)_ADS_CS_AS_1252");
  EXPECT_EQ(rec.opens[0].char_type, ENGL_UK_ADS_CS_AS_1252 + 1);
  EXPECT_NE(rec.opens[0].result, 0u);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->Handle(), -1);
}

TEST_F(TableOpen, ADictionaryOpenNamesTheTableAloneAndLetsTheDictionaryChooseTheType) {
  auto* conn = new TDictionaryConnection(form_.get());
  conn->SetName("AdsConnection1");
  conn->SetLoginPrompt(false);
  conn->SetAliasName("Vaskoli_AB");
  TAdsTable* table = NewTable(conn, "Kinder");
  table->SetTableType(ttAdsDefault);
  EngineRecorder rec;
  rec.ForceNextOpen(AE_NOT_IN_DICTIONARY);
  table->Open();
  ASSERT_EQ(rec.opens.size(), 2u);
  EXPECT_EQ(rec.opens[0].name, "Kinder");
  EXPECT_EQ(rec.opens[0].table_type, 0);
  // Not in the dictionary: opened once more as the free table, with the type as set.
  EXPECT_EQ(rec.opens[1].name, KinderPath());
  EXPECT_EQ(rec.opens[1].table_type, 3);
  EXPECT_EQ(rec.opens[1].collation, rec.opens[0].collation);
  EXPECT_EQ(rec.opens[1].options, rec.opens[0].options);
  EXPECT_EQ(table->Handle(), static_cast<int32_t>(rec.opens[1].handle));
  // The engine's table type replaces the table's own (ttAdsDefault becomes ttAdsADT).
  EXPECT_EQ(table->TableType(), ttAdsADT);
}

TEST_F(TableOpen, ATableTheDictionaryKnowsOpensOnceAndTakesItsType) {
  auto* conn = new TDictionaryConnection(form_.get());
  conn->SetName("AdsConnection1");
  conn->SetLoginPrompt(false);
  conn->SetAliasName("Vaskoli_AB");
  TAdsTable* table = NewTable(conn, "Kinder.adt");
  table->SetTableType(ttAdsDefault);
  EngineRecorder rec;
  table->Open();
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].name, "Kinder.adt");
  EXPECT_EQ(rec.opens[0].table_type, 0);
  EXPECT_EQ(rec.opens[0].result, 0u);
  EXPECT_EQ(table->TableType(), ttAdsADT);
  // The type learnt is the one the next open asks for when it has to open the free table.
  table->Close();
  rec.ForceNextOpen(AE_NOT_IN_DICTIONARY);
  table->Open();
  ASSERT_EQ(rec.opens.size(), 3u);
  EXPECT_EQ(rec.opens[2].table_type, 3);
}

TEST_F(TableOpen, OnlyADictionaryConnectionRetriesAfterNotInDictionary) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  EngineRecorder rec;
  rec.ForceNextOpen(AE_NOT_IN_DICTIONARY);
  EXPECT_THROW(table->Open(), EADSDatabaseError);
  EXPECT_EQ(rec.opens.size(), 1u);
  EXPECT_FALSE(table->Active());
}

TEST_F(TableOpen, RefusalsComeBeforeAnyEngineCall) {
  EngineRecorder rec;
  TAdsTable* unnamed = NewTable(NewConnection(), "");
  adstest::ExpectRaises<EADSDatabaseError>([&] { unnamed->Open(); },
                                           "AdsTable1: Missing TableName property");
  TAdsTable* nowhere = NewTable(nullptr, "Kinder", "AdsTable2");
  try {
    nowhere->Open();
    ADD_FAILURE() << "opened without a database";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(),
              "AdsTable2: One of the DatabaseName property or the AdsConnection property must "
              "have a value.");
    EXPECT_EQ(e.ACEErrorCode(), 5121u);
  }
  EXPECT_TRUE(rec.opens.empty());
  EXPECT_FALSE(unnamed->Active());
  EXPECT_FALSE(nowhere->Active());
}

TEST_F(TableOpen, AFreeTableByPathSharesTheImplicitConnection) {
  TAdsTable* table = NewTable(nullptr, "Kinder");
  table->SetDatabaseName(data_ + "/");
  EngineRecorder rec;
  table->Open();
  ASSERT_EQ(rec.opens.size(), 1u);
  EXPECT_EQ(rec.opens[0].name, KinderPath());  // the trailing separator is dropped
  EXPECT_EQ(table->GetAceConnectionHandle(), DynamicConnList().FindSameDatabasename(data_));
}

TEST_F(TableOpen, AMissingIndexFileFailsTheOpenAndClosesTheNewHandle) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->IndexFiles()->Add("Missing.adi");
  EngineRecorder rec;
  EXPECT_THROW(table->Open(), EADSDatabaseError);
  ASSERT_EQ(rec.opens.size(), 1u);
  ASSERT_EQ(rec.opens[0].result, 0u);  // the table itself opened
  ASSERT_EQ(rec.closes.size(), 1u);
  EXPECT_EQ(rec.closes[0], rec.opens[0].handle);
  EXPECT_FALSE(table->Active());
  EXPECT_EQ(table->Handle(), -1);
  EXPECT_TRUE(NobodyHasOpen(data_, "Kinder"));
  // The list is kept for the next try.
  EXPECT_EQ(table->IndexFiles()->Count(), 1);
}

// ---- EncryptionPassword (open step 17) -------------------------------------------------------

// What the open step asked of the engine about encryption, calling through to it.
struct EncryptionCalls {
  static inline std::vector<std::string> seen;
  static UNSIGNED32 IsTableEncrypted(ADSHANDLE h, UNSIGNED16* p) {
    seen.push_back("IsTableEncrypted");
    return ::AdsIsTableEncrypted(h, p);
  }
  static UNSIGNED32 IsEncryptionEnabled(ADSHANDLE h, UNSIGNED16* p) {
    seen.push_back("IsEncryptionEnabled");
    return ::AdsIsEncryptionEnabled(h, p);
  }
  static UNSIGNED32 EnableEncryption(ADSHANDLE h, const UNSIGNED8* pw) {
    seen.push_back(std::string("EnableEncryption ") + reinterpret_cast<const char*>(pw));
    return ::AdsEnableEncryption(h, pw);
  }
  EncryptionCalls() { seen.clear(); }
  AceImportOverride<decltype(Ace.AdsIsTableEncrypted)> a{Ace.AdsIsTableEncrypted, &IsTableEncrypted};
  AceImportOverride<decltype(Ace.AdsIsEncryptionEnabled)> b{Ace.AdsIsEncryptionEnabled,
                                                            &IsEncryptionEnabled};
  AceImportOverride<decltype(Ace.AdsEnableEncryption)> c{Ace.AdsEnableEncryption, &EnableEncryption};
};

class EncryptedTableOpen : public TableOpen {
 protected:
  // Kinder with two records, encrypted with the password "Schlüssel" (in the ANSI code page).
  void SetUp() override {
    TableOpen::SetUp();
    ADSHANDLE conn = 0, t = 0;
    ASSERT_EQ(0u, AdsConnect60(U8(data_), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &conn));
    ASSERT_EQ(0u, AdsOpenTable90(conn, U8("Kinder"), nullptr, ADS_ADT, ADS_ANSI,
                                 ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, ADS_EXCLUSIVE, nullptr,
                                 &t));
    for (const char* name : {"Anna", "Ben"}) {
      ASSERT_EQ(0u, AdsAppendRecord(t));
      ASSERT_EQ(0u, AdsSetString(t, U8("Name"), U8(name), static_cast<UNSIGNED32>(strlen(name))));
      ASSERT_EQ(0u, AdsWriteRecord(t));
    }
    ASSERT_EQ(0u, AdsEnableEncryption(t, U8(kAnsiPassword)));
    ASSERT_EQ(0u, AdsEncryptTable(t));
    ASSERT_EQ(0u, AdsDisconnect(conn));
  }
  static constexpr const char* kAnsiPassword = "Schl\xFCssel";
};

TEST_F(EncryptedTableOpen, ThePasswordIsGivenToAnEncryptedTableAndItsRecordsRead) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->SetEncryptionPassword("Schlüssel");
  EncryptionCalls calls;
  table->Open();
  EXPECT_EQ(calls.seen, (std::vector<std::string>{"IsTableEncrypted", "IsEncryptionEnabled",
                                                  std::string("EnableEncryption ") + kAnsiPassword}));
  EXPECT_EQ(table->FieldByName("Name")->AsString(), "Anna");
  table->Next();
  EXPECT_EQ(table->FieldByName("Name")->AsString(), "Ben");
  // Records the table writes are encrypted as well.
  table->Append();
  table->FieldByName("Name")->SetAsString("Carla");
  table->Post();
  table->Close();
  std::ifstream in(data_ + "/Kinder.adt", std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(bytes.find("Carla"), std::string::npos);
  EXPECT_EQ(bytes.find("Anna"), std::string::npos);
}

TEST_F(EncryptedTableOpen, AWrongPasswordFailsTheOpenWithTheEnginesErrorAndClosesTheHandle) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->SetEncryptionPassword("falsch");
  EngineRecorder rec;
  try {
    table->Open();
    ADD_FAILURE() << "opened with a wrong password";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5080u);
    EXPECT_NE(e.Message().find("password"), std::string::npos) << e.Message();
  }
  ASSERT_EQ(rec.opens.size(), 1u);
  ASSERT_EQ(rec.closes.size(), 1u);
  EXPECT_EQ(rec.closes[0], rec.opens[0].handle);
  EXPECT_FALSE(table->Active());
  EXPECT_TRUE(NobodyHasOpen(data_, "Kinder"));
}

TEST_F(EncryptedTableOpen, WithoutAPasswordTheEncryptedRecordsAreRefused) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  EncryptionCalls calls;
  try {
    table->Open();
    ADD_FAILURE() << "read an encrypted table without its password";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5080u);
  }
  EXPECT_TRUE(calls.seen.empty());  // no password: the step asks nothing
  EXPECT_FALSE(table->Active());
  EXPECT_TRUE(NobodyHasOpen(data_, "Kinder"));
}

TEST_F(TableOpen, APasswordForATableThatIsNotEncryptedIsNotGiven) {
  TAdsTable* table = NewTable(NewConnection(), "Kinder");
  table->SetEncryptionPassword("geheim");
  EncryptionCalls calls;
  table->Open();
  EXPECT_TRUE(table->Active());
  EXPECT_EQ(calls.seen, (std::vector<std::string>{"IsTableEncrypted", "IsEncryptionEnabled"}));
  table->Close();
}

TEST_F(TableOpen, AnExclusiveOpenOfATableInUseFailsWithTheEnginesError) {
  TAdsTable* first = NewTable(NewConnection(), "Kinder");
  first->Open();
  TAdsTable* second = NewTable(NewConnection("AdsConnection2"), "Kinder", "AdsTable2");
  second->SetExclusive(true);
  try {
    second->Open();
    ADD_FAILURE() << "an exclusive open beside another user";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_TABLE_IN_USE));
  }
  EXPECT_FALSE(second->Active());
  first->Close();
  second->Open();
  EXPECT_TRUE(second->Active());
}

}  // namespace
