// Records inserted, appended, edited, posted, cancelled and deleted through a TAdsTable on the
// real engine: default values, cancelled inserts and appends returning to the right record, a
// failed post that is retried without a second append, and pessimistic and optimistic editing
// against a second user that holds or changes the record.
#include "tests/ads/editing/editing_support.h"
#include "ui/db/DateTime.h"

namespace edittest {
namespace {

class EditingRecords : public EditWorld {
 protected:
  // ID 1..count and Name "N<ID>".
  TKeyTable* Numbered(const std::string& name, TAdsTableTypes type, int count) {
    // DBF tables hold no integer fields: a numeric instead.
    Create(name, type,
           type == ttAdsADT || type == ttAdsVFP ? "ID,Integer;Name,Char,12;"
                                                : "ID,Numeric,4;Name,Char,12;");
    TKeyTable* t = NewTable(name, type);
    t->Open();
    for (int i = 1; i <= count; ++i)
      t->AppendRecord({Variant(i), Variant("N" + std::to_string(i))});
    t->First();
    return t;
  }
  static std::vector<int> Ids(TKeyTable* t) {
    std::vector<int> ids;
    for (t->First(); !t->Eof(); t->Next()) ids.push_back(t->FieldByName("ID")->AsInteger());
    return ids;
  }
};

const TAdsTableTypes kFormats[] = {ttAdsADT, ttAdsVFP, ttAdsCDX, ttAdsNTX};

TEST_F(EditingRecords, InsertEditPostAndDeleteOnEveryFormat) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    TKeyTable* t = Numbered(std::string("rec") + TypeName(type), type, 3);
    EXPECT_EQ(Ids(t), (std::vector<int>{1, 2, 3}));
    t->First();
    t->Next();
    t->Edit();
    t->FieldByName("Name")->SetAsString("zwei");
    t->Post();
    EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 2);
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "zwei");
    t->Insert();
    t->FieldByName("ID")->SetAsInteger(9);
    t->Post();
    EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 9);
    EXPECT_EQ(t->RecordCount(), 4);
    t->First();
    t->Delete();
    EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 2);
    std::vector<int> ids = Ids(t);
    std::sort(ids.begin(), ids.end());
    EXPECT_EQ(ids, (std::vector<int>{2, 3, 9}));
    t->Close();
  }
}

TEST_F(EditingRecords, CancelledAppendReturnsToTheLastRecordAndInsertToThePreviousOne) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("cancel") + TypeName(type);
    TKeyTable* t = Numbered(name, type, 5);
    t->First();
    t->Next();
    t->Insert();
    t->FieldByName("ID")->SetAsInteger(77);
    t->Cancel();
    EXPECT_EQ(t->State(), dsBrowse);
    EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 2);
    t->First();
    t->Append();
    EXPECT_TRUE(t->AppendedAtEOF());
    t->FieldByName("ID")->SetAsInteger(88);
    t->Cancel();
    EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 5);
    EXPECT_EQ(t->RecordCount(), 5);
    EXPECT_EQ(EngineRecordCount(OtherUser(name, type)), 5u);
    t->Close();
  }
}

TEST_F(EditingRecords, CancelledEditRestoresTheRecordAndReleasesTheLock) {
  TKeyTable* t = Numbered("edit", ttAdsADT, 2);
  t->Edit();
  t->FieldByName("Name")->SetAsString("geändert");
  ADSHANDLE other = OtherUser("edit", ttAdsADT);
  ASSERT_EQ(AdsGotoTop(other), 0u);
  EXPECT_EQ(AdsLockRecord(other, 1), 5035u);
  t->Cancel();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "N1");
  EXPECT_EQ(AdsLockRecord(other, 1), 0u) << LastEngineError();
  EXPECT_EQ(AdsUnlockRecord(other, 1), 0u);
}

TEST_F(EditingRecords, InsertOnAnEmptyTableAndCancel) {
  Create("leer", ttAdsADT, "ID,Integer;");
  TKeyTable* t = NewTable("leer", ttAdsADT);
  t->Open();
  t->Insert();
  t->Cancel();
  EXPECT_TRUE(t->IsEmpty());
  t->Append();
  t->FieldByName("ID")->SetAsInteger(1);
  t->Post();
  EXPECT_EQ(t->RecordCount(), 1);
  EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 1);
}

TEST_F(EditingRecords, AppendRecordAndInsertRecordPostTheirValues) {
  TKeyTable* t = Numbered("werte", ttAdsADT, 0);
  t->InsertRecord({Variant(5), Variant("fünf")});
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "fünf");
  t->AppendRecord({Variant(6), Null()});
  EXPECT_TRUE(t->FieldByName("Name")->IsNull());
  EXPECT_EQ(t->RecordCount(), 2);
}

// ---- defaults ---------------------------------------------------------------------------------

TEST_F(EditingRecords, DefaultExpressionsFillNewRecords) {
  Create("def", ttAdsADT,
         "L1,Logical;L2,Logical;S1,Char,6;S2,Char,6;N,Numeric,8,2;I,Integer;D,Date;"
         "DB,Double;NC,NChar,4;AI,AutoInc;");
  TKeyTable* t = NewTable("def", ttAdsADT);
  t->Open();
  t->FieldByName("L1")->SetDefaultExpression(" t ");
  t->FieldByName("L2")->SetDefaultExpression("yes");
  t->FieldByName("S1")->SetDefaultExpression("'abc'");
  t->FieldByName("S2")->SetDefaultExpression("abc");
  t->FieldByName("N")->SetDefaultExpression("12.5");
  t->FieldByName("I")->SetDefaultExpression("42");
  t->FieldByName("D")->SetDefaultExpression(DateToStr(EncodeDate(2020, 1, 2)));
  t->FieldByName("DB")->SetDefaultExpression("0.25");
  t->FieldByName("NC")->SetDefaultExpression("'äö'");
  t->Insert();
  EXPECT_TRUE(t->FieldByName("L1")->AsBoolean());
  EXPECT_FALSE(t->FieldByName("L2")->AsBoolean());
  EXPECT_EQ(t->FieldByName("S1")->AsString(), "abc");
  EXPECT_TRUE(t->FieldByName("S2")->IsNull());
  EXPECT_TRUE(t->ACEFieldDefs()->Items(3)->Modified());  // written at the post all the same
  EXPECT_DOUBLE_EQ(t->FieldByName("N")->AsFloat(), 12.5);
  EXPECT_EQ(t->FieldByName("I")->AsInteger(), 42);
  EXPECT_DOUBLE_EQ(t->FieldByName("D")->AsDateTime(), EncodeDate(2020, 1, 2));
  EXPECT_DOUBLE_EQ(t->FieldByName("DB")->AsFloat(), 0.25);
  EXPECT_EQ(t->FieldByName("NC")->AsString(), "äö");
  EXPECT_FALSE(t->ACEFieldDefs()->Items(9)->Modified());  // autoinc: the engine's
  t->Post();
  t->Close();
  t->Open();
  EXPECT_EQ(t->FieldByName("S1")->AsString(), "abc");
  EXPECT_EQ(t->FieldByName("I")->AsInteger(), 42);
  EXPECT_EQ(t->FieldByName("NC")->AsString(), "äö");
  EXPECT_EQ(t->FieldByName("AI")->AsInteger(), 1);
}

TEST_F(EditingRecords, DefaultsThatDoNotConvertAreRefusedWithTheFieldName) {
  Create("bad", ttAdsADT, "SI,ShortInt;I,Integer;D,Date;");
  TKeyTable* t = NewTable("bad", ttAdsADT);
  t->Open();
  t->FieldByName("SI")->SetDefaultExpression("-32768");
  try {
    t->Insert();
    ADD_FAILURE() << "the default was accepted";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 0u);
    EXPECT_EQ(e.Message(),
              "AdsTable1: Error setting default field value. (SI)\r\nNumeric out of range:-32768");
  }
  EXPECT_EQ(t->State(), dsBrowse);
  t->FieldByName("SI")->SetDefaultExpression("-32767");
  t->FieldByName("I")->SetDefaultExpression("-2147483648");
  EXPECT_THROW(t->Insert(), EADSDatabaseError);
  t->FieldByName("I")->SetDefaultExpression("");
  t->FieldByName("D")->SetDefaultExpression("kein Datum");
  try {
    t->Insert();
    ADD_FAILURE();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message().rfind("AdsTable1: Error setting default field value. (D)\r\n", 0), 0u)
        << e.Message();
  }
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_TRUE(t->IsEmpty());
}

TEST_F(EditingRecords, BlankStringsArePostedEmptyUnlessSpacesArePreserved) {
  Create("blank", ttAdsCDX, "S,Char,4;");
  TKeyTable* t = NewTable("blank", ttAdsCDX);
  t->Open();
  t->Insert();
  t->FieldByName("S")->SetAsString("    ");
  t->Post();
  ADSHANDLE h = OtherUser("blank", ttAdsCDX);
  ASSERT_EQ(AdsGotoTop(h), 0u);
  UNSIGNED16 empty = 0;
  EXPECT_EQ(AdsIsEmpty(h, U8("S"), &empty), 0u);
  EXPECT_EQ(empty, 1);
}

// ---- failed posts -----------------------------------------------------------------------------

UNSIGNED32 g_write_failures = 0;
UNSIGNED32 FailingWrite(ADSHANDLE hTable) {
  if (g_write_failures > 0) {
    --g_write_failures;
    return AdsSetLastError(5035, U8("forced write failure"));
  }
  return ::AdsWriteRecord(hTable);
}

TEST_F(EditingRecords, AFailedPostIsRetriedWithoutASecondAppend) {
  TKeyTable* t = Numbered("retry", ttAdsADT, 1);
  AceImportOverride<decltype(Ace.AdsWriteRecord)> fail(Ace.AdsWriteRecord, &FailingWrite);
  t->Insert();
  t->FieldByName("ID")->SetAsInteger(2);
  g_write_failures = 1;
  EXPECT_THROW(t->Post(), EADSDatabaseError);
  EXPECT_EQ(t->State(), dsInsert);
  EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 2);
  t->Post();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(EngineRecordCount(OtherUser("retry", ttAdsADT)), 2u);
  EXPECT_EQ(t->FieldByName("ID")->AsInteger(), 2);
}

// ---- two users --------------------------------------------------------------------------------

TEST_F(EditingRecords, PessimisticEditHoldsTheLockUntilThePost) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("pess") + TypeName(type);
    TKeyTable* t = Numbered(name, type, 2);
    ADSHANDLE other = OtherUser(name, type);
    t->Edit();
    EXPECT_EQ(AdsLockRecord(other, 1), 5035u);
    t->FieldByName("Name")->SetAsString("mein");
    t->Post();
    ASSERT_EQ(AdsLockRecord(other, 1), 0u) << LastEngineError();
    // The record is the other user's now: this user's edit is refused with the engine's error.
    try {
      t->Edit();
      ADD_FAILURE() << "edit of a record locked by another user";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), 5035u);
    }
    EXPECT_EQ(t->State(), dsBrowse);
    ASSERT_EQ(AdsGotoRecord(other, 1), 0u);
    EXPECT_EQ(EngineText(other, "Name"), "mein");
    EXPECT_EQ(AdsUnlockRecord(other, 1), 0u);
    t->Close();
  }
}

TEST_F(EditingRecords, PessimisticEditShowsWhatAnotherUserWroteBefore) {
  TKeyTable* t = Numbered("fresh", ttAdsADT, 1);
  ADSHANDLE other = OtherUser("fresh", ttAdsADT);
  ASSERT_EQ(AdsGotoTop(other), 0u);
  ASSERT_EQ(AdsSetField(other, U8("Name"), U8("fremd"), 5), 0u);
  ASSERT_EQ(AdsWriteRecord(other), 0u);
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "N1");  // the window still shows the old read
  t->Edit();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "fremd");
  t->Cancel();
}

TEST_F(EditingRecords, OptimisticPostFindsTheRecordChangedByAnotherUser) {
  for (TAdsTableTypes type : kFormats) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("opt") + TypeName(type);
    TKeyTable* t = Numbered(name, type, 2);
    t->Close();
    t->AdsTableOptions()->SetAdsRecordLockingMode(lmOptimistic);
    t->Open();
    ADSHANDLE other = OtherUser(name, type);
    t->Edit();
    EXPECT_EQ(AdsLockRecord(other, 1), 0u);  // no lock while editing
    ASSERT_EQ(AdsGotoRecord(other, 1), 0u);
    ASSERT_EQ(AdsSetField(other, U8("Name"), U8("fremd"), 5), 0u);
    ASSERT_EQ(AdsWriteRecord(other), 0u);
    ASSERT_EQ(AdsUnlockRecord(other, 1), 0u);
    t->FieldByName("Name")->SetAsString("mein");
    try {
      t->Post();
      ADD_FAILURE() << "the post overwrote another user's change";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.ACEErrorCode(), 5186u);
      EXPECT_EQ(e.Message(),
                "AdsTable" + std::to_string(made_) + ": Record was changed by another user.");
    }
    EXPECT_EQ(t->State(), dsEdit);
    EXPECT_EQ(AdsLockRecord(other, 1), 0u) << "the post's lock was not released";
    EXPECT_EQ(AdsUnlockRecord(other, 1), 0u);
    t->Cancel();
    EXPECT_EQ(t->FieldByName("Name")->AsString(), "fremd");
    // A fresh edit of the changed record posts.
    t->Edit();
    t->FieldByName("Name")->SetAsString("mein");
    t->Post();
    ASSERT_EQ(AdsGotoRecord(other, 1), 0u);
    EXPECT_EQ(EngineText(other, "Name"), "mein");
    EXPECT_EQ(AdsLockRecord(other, 1), 0u);
    EXPECT_EQ(AdsUnlockRecord(other, 1), 0u);
    t->Close();
  }
}

TEST_F(EditingRecords, ExclusiveTableEditsWithoutRecordLocks) {
  TKeyTable* t = Numbered("excl", ttAdsADT, 1);
  t->Close();
  t->SetExclusive(true);
  t->Open();
  t->Edit();
  UNSIGNED16 locks = 9;
  EXPECT_EQ(AdsGetNumLocks(static_cast<ADSHANDLE>(t->Handle()), &locks), 0u);
  EXPECT_EQ(locks, 0);
  t->FieldByName("Name")->SetAsString("allein");
  t->Post();
  EXPECT_EQ(t->FieldByName("Name")->AsString(), "allein");
}

}  // namespace
}  // namespace edittest
