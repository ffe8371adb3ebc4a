// Field values written through the field objects of a TAdsTable and posted: a round trip of
// every engine type in ADT, VFP, CDX and NTX tables (read back after reopening, and checked
// through the engine's own getters), null writes, the numeric refusals that leave the record
// unchanged, empty texts on ADT, compact dates, VFP timestamps, column and table permissions,
// read-only fields and the key lengths of key editing.
#include <cmath>
#include <cstring>

#include "tests/ads/editing/editing_support.h"
#include "ui/db/DateTime.h"

namespace edittest {
namespace {

class EditingValues : public EditWorld {
 protected:
  // Opens the table, inserts one record through set, posts, closes and reopens it.
  TKeyTable* InsertAndReopen(const std::string& name, TAdsTableTypes type,
                             const std::function<void(TKeyTable*)>& set) {
    TKeyTable* t = NewTable(name, type);
    t->Open();
    t->Insert();
    set(t);
    t->Post();
    EXPECT_EQ(t->State(), dsBrowse);
    t->Close();
    t->Open();
    t->First();
    return t;
  }
  // The engine's own view of the first record.
  ADSHANDLE EngineFirst(const std::string& name, TAdsTableTypes type) {
    ADSHANDLE h = OtherUser(name, type);
    EXPECT_EQ(AdsGotoTop(h), 0u);
    return h;
  }
};

const TDateTime kDay = EncodeDate(2010, 11, 5);
const TDateTime kTime = EncodeTime(12, 34, 56, 789);
int32_t JulianOf(TDateTime d) {
  return static_cast<int32_t>(std::trunc(d)) + DateDelta + 1721425;
}

TEST_F(EditingValues, AdtRoundTripOfEveryType) {
  Create("alle", ttAdsADT,
         "L,Logical;N,Numeric,8,2;D,Date;S,Char,10;CD,CompactDate;DB,Double;I,Integer;"
         "SI,ShortInt;T,Time;TS,Timestamp;R,Raw,4;CU,CurDouble;M,Money;CI,CIChar,6;"
         "NC,NChar,6;NV,NVarchar,8;AI,AutoInc;");
  TKeyTable* t = InsertAndReopen("alle", ttAdsADT, [](TKeyTable* t) {
    t->FieldByName("L")->SetAsBoolean(true);
    t->FieldByName("N")->SetAsFloat(-12.5);
    t->FieldByName("D")->SetAsDateTime(kDay);
    t->FieldByName("S")->SetAsString("Grüße");
    t->FieldByName("CD")->SetAsDateTime(kDay);
    t->FieldByName("DB")->SetAsFloat(3.25);
    t->FieldByName("I")->SetAsInteger(-70000);
    t->FieldByName("SI")->SetAsInteger(300);
    t->FieldByName("T")->SetAsDateTime(kTime);
    t->FieldByName("TS")->SetAsDateTime(kDay + kTime);
    t->FieldByName("R")->SetAsVariant(Variant(TBytes{1, 0, 255, 7}));
    t->FieldByName("CU")->SetAsFloat(9.75);
    t->FieldByName("M")->SetAsBCD(StrToBcd("1234.5678", '.'));
    t->FieldByName("CI")->SetAsString("AbC");
    t->FieldByName("NC")->SetAsString("Ωmega");
    t->FieldByName("NV")->SetAsString("Straße");
  });
  EXPECT_TRUE(t->FieldByName("L")->AsBoolean());
  EXPECT_DOUBLE_EQ(t->FieldByName("N")->AsFloat(), -12.5);
  EXPECT_EQ(BcdToStr(t->FieldByName("N")->AsBCD(), '.'), "-12.50");
  EXPECT_DOUBLE_EQ(t->FieldByName("D")->AsDateTime(), kDay);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "Grüße");
  EXPECT_DOUBLE_EQ(t->FieldByName("CD")->AsDateTime(), kDay);
  EXPECT_DOUBLE_EQ(t->FieldByName("DB")->AsFloat(), 3.25);
  EXPECT_EQ(t->FieldByName("I")->AsInteger(), -70000);
  EXPECT_EQ(t->FieldByName("SI")->AsInteger(), 300);
  EXPECT_NEAR(t->FieldByName("T")->AsDateTime(), kTime, 1e-9);
  EXPECT_NEAR(t->FieldByName("TS")->AsDateTime(), kDay + kTime, 1e-9);
  EXPECT_EQ(t->FieldByName("R")->AsVariant().AsBytes(), (TBytes{1, 0, 255, 7}));
  EXPECT_DOUBLE_EQ(t->FieldByName("CU")->AsFloat(), 9.75);
  EXPECT_EQ(BcdToStr(t->FieldByName("M")->AsBCD(), '.'), "1234.5678");
  EXPECT_EQ(t->FieldByName("CI")->AsString(), "AbC");
  EXPECT_EQ(t->FieldByName("NC")->AsString(), "Ωmega");
  EXPECT_EQ(t->FieldByName("NV")->AsString(), "Straße");
  EXPECT_GT(t->FieldByName("AI")->AsInteger(), 0);
  for (TField* f : *t->Fields()) EXPECT_FALSE(f->IsNull()) << f->FieldName();

  ADSHANDLE h = EngineFirst("alle", ttAdsADT);
  EXPECT_EQ(EngineText(h, "L"), "T");
  EXPECT_EQ(EngineText(h, "N"), "  -12.50");
  EXPECT_EQ(EngineText(h, "S"),
            "Gr\xFC\xDF"
            "e");
  SIGNED32 julian = 0;
  EXPECT_EQ(AdsGetJulian(h, U8("D"), &julian), 0u);
  EXPECT_EQ(julian, JulianOf(kDay));
  EXPECT_EQ(AdsGetJulian(h, U8("CD"), &julian), 0u);
  EXPECT_EQ(julian, JulianOf(kDay));
  SIGNED32 ms = 0;
  EXPECT_EQ(AdsGetMilliseconds(h, U8("T"), &ms), 0u);
  EXPECT_EQ(ms, 45296789);
  EXPECT_EQ(AdsGetMilliseconds(h, U8("TS"), &ms), 0u);
  EXPECT_EQ(ms, 45296789);
  SIGNED32 value = 0;
  EXPECT_EQ(AdsGetLong(h, U8("I"), &value), 0u);
  EXPECT_EQ(value, -70000);
  DOUBLE money = 0;
  EXPECT_EQ(AdsGetDouble(h, U8("M"), &money), 0u);
  EXPECT_DOUBLE_EQ(money, 1234.5678);
}

TEST_F(EditingValues, AdtNullsAreWrittenInTheNullFormOfEachType) {
  Create("nulls", ttAdsADT,
         "L,Logical;N,Numeric,8,2;D,Date;S,Char,10;DB,Double;I,Integer;SI,ShortInt;T,Time;"
         "TS,Timestamp;M,Money;NC,NChar,4;NV,NVarchar,4;");
  TKeyTable* t = NewTable("nulls", ttAdsADT);
  t->Open();
  t->Insert();
  for (TField* f : *t->Fields()) {
    if (f->DataType() == ftString || f->DataType() == ftWideString)
      f->SetAsString("x");
    else if (f->DataType() == ftDate || f->DataType() == ftTime || f->DataType() == ftDateTime)
      f->SetAsDateTime(kDay + kTime);
    else if (f->DataType() == ftBoolean)
      f->SetAsBoolean(false);
    else
      f->SetAsInteger(1);
  }
  t->Post();
  t->Edit();
  for (TField* f : *t->Fields()) f->Clear();
  for (TField* f : *t->Fields()) EXPECT_TRUE(f->IsNull()) << f->FieldName();
  const TACEFieldDef* i = t->ACEFieldDefs()->Items(5);
  uint32_t raw = 0;
  std::memcpy(&raw, t->ActiveBuffer() + i->Offset(), 4);
  EXPECT_EQ(raw, 0x80000000u);
  t->Post();
  t->Close();
  t->Open();
  for (TField* f : *t->Fields()) EXPECT_TRUE(f->IsNull()) << f->FieldName();
  ADSHANDLE h = EngineFirst("nulls", ttAdsADT);
  for (const char* name : {"L", "N", "D", "S", "DB", "I", "SI", "T", "TS", "M", "NC", "NV"})
    EXPECT_TRUE(EngineNull(h, name)) << name;
}

TEST_F(EditingValues, VfpRoundTripWithNullableColumns) {
  Sql("CREATE TABLE fox (L logical, N numeric(6,2), D date, S char(8), I integer, "
      "DB double, TS timestamp, CU money, VC varchar(10), K char(4) NOT NULL)",
      ttAdsVFP);
  TKeyTable* t = InsertAndReopen("fox", ttAdsVFP, [](TKeyTable* t) {
    t->FieldByName("L")->SetAsBoolean(true);
    t->FieldByName("N")->SetAsFloat(1.5);
    t->FieldByName("D")->SetAsDateTime(kDay);
    t->FieldByName("S")->SetAsString("Käse");
    t->FieldByName("I")->SetAsInteger(12);
    t->FieldByName("DB")->SetAsFloat(-0.125);
    t->FieldByName("TS")->SetAsDateTime(kDay + EncodeTime(12, 0, 0, 0));
    t->FieldByName("CU")->SetAsBCD(StrToBcd("-2.5", '.'));
    t->FieldByName("VC")->SetAsString("kurz");
    t->FieldByName("K")->SetAsString("ab");
  });
  EXPECT_TRUE(t->FieldByName("L")->AsBoolean());
  EXPECT_DOUBLE_EQ(t->FieldByName("N")->AsFloat(), 1.5);
  EXPECT_DOUBLE_EQ(t->FieldByName("D")->AsDateTime(), kDay);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "Käse");
  EXPECT_EQ(t->FieldByName("I")->AsInteger(), 12);
  EXPECT_DOUBLE_EQ(t->FieldByName("DB")->AsFloat(), -0.125);
  // The value written is the value read, also with Visual FoxPro's stored milliseconds.
  EXPECT_NEAR(t->FieldByName("TS")->AsDateTime(), kDay + EncodeTime(12, 0, 0, 0), 1e-9);
  EXPECT_EQ(BcdToStr(t->FieldByName("CU")->AsBCD(), '.'), "-2.5000");
  EXPECT_EQ(t->FieldByName("VC")->AsString(), "kurz");
  ADSHANDLE h = EngineFirst("fox", ttAdsVFP);
  DOUBLE number = 0;
  EXPECT_EQ(AdsGetDouble(h, U8("N"), &number), 0u);
  EXPECT_DOUBLE_EQ(number, 1.5);
  EXPECT_EQ(EngineText(h, "VC"), "kurz");
  SIGNED32 ms = 0;
  EXPECT_EQ(AdsGetMilliseconds(h, U8("TS"), &ms), 0u);
  EXPECT_EQ(ms, 43200000);

  // Nulls of nullable columns reach the engine as nulls; a NOT NULL column becomes empty.
  t->Edit();
  for (const char* name : {"L", "N", "D", "S", "I", "DB", "TS", "CU", "VC", "K"})
    t->FieldByName(name)->Clear();
  EXPECT_TRUE(t->FieldByName("I")->IsNull());
  EXPECT_TRUE(t->FieldByName("VC")->IsNull());
  t->Post();
  EXPECT_EQ(AdsRefreshRecord(h), 0u);
  for (const char* name : {"L", "N", "D", "S", "I", "DB", "TS", "CU", "VC"})
    EXPECT_TRUE(EngineNull(h, name)) << name;
  EXPECT_FALSE(EngineNull(h, "K"));
  EXPECT_EQ(EngineText(h, "K"), "");
}

TEST_F(EditingValues, VfpVariableLengthFieldsShorterAndAsLongAsTheField) {
  Create("var", ttAdsVFP, "VC,VarCharFox,6;VB,VarBinaryFox,4;");
  TKeyTable* t = NewTable("var", ttAdsVFP);
  t->Open();
  t->Insert();
  t->FieldByName("VC")->SetAsString("ab");
  t->FieldByName("VB")->SetAsVariant(Variant(TBytes{1, 2}));
  t->Post();
  t->Insert();
  t->FieldByName("VC")->SetAsString("sechs!");
  t->FieldByName("VB")->SetAsVariant(Variant(TBytes{0, 9, 8, 7}));
  t->Post();
  t->Close();
  t->Open();
  t->First();
  EXPECT_EQ(t->FieldByName("VC")->AsString(), "ab");
  EXPECT_EQ(t->FieldByName("VB")->AsVariant().AsBytes(), (TBytes{1, 2}));
  t->Next();
  EXPECT_EQ(t->FieldByName("VC")->AsString(), "sechs!");
  EXPECT_EQ(t->FieldByName("VB")->AsVariant().AsBytes(), (TBytes{0, 9, 8, 7}));
  ADSHANDLE h = EngineFirst("var", ttAdsVFP);
  EXPECT_EQ(EngineText(h, "VC"), "ab");
  UNSIGNED32 length = 0;
  EXPECT_EQ(AdsGetDataLength(h, U8("VB"), 0, &length), 0u);
  EXPECT_EQ(length, 2u);
}

TEST_F(EditingValues, DbfRoundTripOnCdxAndNtx) {
  for (TAdsTableTypes type : {ttAdsCDX, ttAdsNTX}) {
    SCOPED_TRACE(TypeName(type));
    const std::string name = std::string("dbf") + TypeName(type);
    Create(name, type, "L,Logical;N,Numeric,6,2;NI,Numeric,4;D,Date;S,Char,10;");
    TKeyTable* t = InsertAndReopen(name, type, [](TKeyTable* t) {
      t->FieldByName("L")->SetAsBoolean(true);
      t->FieldByName("N")->SetAsFloat(1.5);
      t->FieldByName("NI")->SetAsInteger(-123);
      t->FieldByName("D")->SetAsDateTime(kDay);
      t->FieldByName("S")->SetAsString("Öl");
    });
    EXPECT_EQ(t->FieldByName("NI")->DataType(), ftSmallint);
    EXPECT_TRUE(t->FieldByName("L")->AsBoolean());
    EXPECT_DOUBLE_EQ(t->FieldByName("N")->AsFloat(), 1.5);
    EXPECT_EQ(t->FieldByName("NI")->AsInteger(), -123);
    EXPECT_DOUBLE_EQ(t->FieldByName("D")->AsDateTime(), kDay);
    EXPECT_EQ(t->FieldByName("S")->AsString(), "Öl");
    ADSHANDLE h = EngineFirst(name, type);
    EXPECT_EQ(EngineText(h, "N"), "  1.50");
    EXPECT_EQ(EngineText(h, "NI"), "-123");
    EXPECT_EQ(EngineText(h, "L"), "T");
    t->Edit();
    for (TField* f : *t->Fields()) f->Clear();
    t->Post();
    for (TField* f : *t->Fields()) EXPECT_TRUE(f->IsNull()) << f->FieldName();
    t->Close();
  }
}

// ---- refusals ---------------------------------------------------------------------------------

TEST_F(EditingValues, NumericThatDoesNotFitIsRefusedAndTheRecordKeepsItsValue) {
  Create("zahl", ttAdsCDX, "N,Numeric,6,2;");
  TKeyTable* t = NewTable("zahl", ttAdsCDX);
  t->Open();
  t->Insert();
  TField* n = t->FieldByName("N");
  n->SetAsFloat(1.5);
  const TACEFieldDef* d = t->ACEFieldDefs()->Items(0);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(t->ActiveBuffer() + d->Offset()), 6),
            "  1.50");
  const std::vector<std::byte> before(t->ActiveBuffer(), t->ActiveBuffer() + t->RecSize());
  for (double tooBig : {1234.5, -999.99, 1e300, std::nan("")}) {
    try {
      n->SetAsFloat(tooBig);
      ADD_FAILURE() << tooBig << " was accepted";
    } catch (const EADSDatabaseError& e) {
      EXPECT_EQ(e.Message(), "AdsTable1: Numeric out of range.");
      EXPECT_EQ(e.ACEErrorCode(), 5121u);
    }
    EXPECT_EQ(std::vector<std::byte>(t->ActiveBuffer(), t->ActiveBuffer() + t->RecSize()), before);
  }
  n->SetAsFloat(-99.99);  // six characters fit
  t->Post();
  EXPECT_DOUBLE_EQ(n->AsFloat(), -99.99);
}

TEST_F(EditingValues, AdtBcdNumericWithoutDecimalsTakesANegativeOfFullWidth) {
  Create("bcd", ttAdsADT, "N,Numeric,6,0;");
  TKeyTable* t = NewTable("bcd", ttAdsADT);
  t->Open();
  t->Insert();
  TField* n = t->FieldByName("N");
  EXPECT_EQ(n->DataType(), ftBCD);
  n->SetAsInteger(-12345);
  // The hook's own check (the field object checks its precision before it).
  const TBcd tooWide = StrToBcd("123456", '.');
  ExpectMessage<EADSDatabaseError>([&] { t->SetFieldData(n, &tooWide); },
                                   "AdsTable1: Numeric out of range.");
  const TBcd sixWide = StrToBcd("-99999", '.');
  t->SetFieldData(n, &sixWide);
  EXPECT_EQ(n->AsInteger(), -99999);
  n->SetAsInteger(-12345);
  t->Post();
  t->Close();
  t->Open();
  EXPECT_EQ(t->FieldByName("N")->AsInteger(), -12345);
}

TEST_F(EditingValues, EmptyTextOnAdtIsNullUnlessSpacesArePreserved) {
  Create("leer", ttAdsADT, "S,Char,6;");
  TKeyTable* t = NewTable("leer", ttAdsADT);
  t->Open();
  t->Insert();
  t->FieldByName("S")->SetAsString("");
  EXPECT_TRUE(t->FieldByName("S")->IsNull());
  t->Post();
  ADSHANDLE h = EngineFirst("leer", ttAdsADT);
  EXPECT_TRUE(EngineNull(h, "S"));
  t->Close();
  t->AdsTableOptions()->SetAdsPreserveSpaces(true);
  t->Open();
  t->Edit();
  t->FieldByName("S")->SetAsString("");
  EXPECT_FALSE(t->FieldByName("S")->IsNull());
  EXPECT_EQ(t->FieldByName("S")->AsString(), "");
  t->FieldByName("S")->SetAsString("abc");
  t->Post();
  EXPECT_EQ(t->FieldByName("S")->AsString(), "abc");
}

TEST_F(EditingValues, CompactDatePacksYearMonthAndDay) {
  Create("kurz", ttAdsADT, "CD,CompactDate;");
  TKeyTable* t = NewTable("kurz", ttAdsADT);
  t->Open();
  t->Insert();
  t->FieldByName("CD")->SetAsDateTime(kDay);
  const std::byte* p = t->ActiveBuffer() + t->ACEFieldDefs()->Items(0)->Offset();
  EXPECT_EQ(p[0], std::byte{0x0F});
  EXPECT_EQ(p[1], std::byte{0xB5});
  EXPECT_EQ(p[2], std::byte{0x65});
}

TEST_F(EditingValues, ColumnPermissionsRefuseTheWriteWithTheEngineError) {
  Create("recht", ttAdsADT, "I,Integer;");
  TKeyTable* t = NewTable("recht", ttAdsADT);
  t->Open();
  t->Insert();
  t->ACEFieldDefs()->Items(0)->SetPermissions(2);  // update only
  try {
    t->FieldByName("I")->SetAsInteger(5);
    ADD_FAILURE() << "insert without the right was accepted";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5054u);
    EXPECT_NE(e.Message().find("Insert permission not granted on this field: I."),
              std::string::npos)
        << e.Message();
  }
  EXPECT_TRUE(t->FieldByName("I")->IsNull());
  t->ACEFieldDefs()->Items(0)->SetPermissions(6);
  t->FieldByName("I")->SetAsInteger(5);
  t->Post();
  t->ACEFieldDefs()->Items(0)->SetPermissions(4);  // insert only
  t->Edit();
  try {
    t->FieldByName("I")->SetAsInteger(6);
    ADD_FAILURE() << "update without the right was accepted";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5054u);
    EXPECT_NE(e.Message().find("Update permission not granted on this field: I."),
              std::string::npos);
  }
  EXPECT_EQ(t->FieldByName("I")->AsInteger(), 5);
  t->Cancel();
}

TEST_F(EditingValues, TablePermissionsRefuseEditAndInsert) {
  Create("tab", ttAdsADT, "I,Integer;");
  TKeyTable* t = NewTable("tab", ttAdsADT);
  t->Open();
  t->AppendRecord({Variant(1)});
  t->SetTableOptionBits(0x20);
  try {
    t->Insert();
    ADD_FAILURE();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5054u);
    EXPECT_NE(e.Message().find("Insert permission not granted on this table."), std::string::npos);
  }
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(t->FieldByName("I")->AsInteger(), 1);
  t->SetTableOptionBits(0x40);
  try {
    t->Edit();
    ADD_FAILURE();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5054u);
    EXPECT_NE(e.Message().find("Update permission not granted on this table."), std::string::npos);
  }
  EXPECT_EQ(t->State(), dsBrowse);
}

TEST_F(EditingValues, ReadOnlyFieldAndBrowseStateRefuse) {
  Create("ro", ttAdsADT, "I,Integer;");
  TKeyTable* t = NewTable("ro", ttAdsADT);
  t->Open();
  t->AppendRecord({Variant(1)});
  ExpectMessage<EADSDatabaseError>([&] { t->FieldByName("I")->SetAsInteger(2); },
                                   "AdsTable1: Dataset not in edit mode");
  t->Edit();
  t->FieldByName("I")->SetReadOnly(true);
  ExpectMessage<EDatabaseError>([&] { t->FieldByName("I")->SetAsInteger(2); },
                                "AdsTable1: Field 'I' cannot be modified");
  EXPECT_FALSE(t->Modified());
  t->Cancel();
}

// ---- key editing ------------------------------------------------------------------------------

TEST_F(EditingValues, KeyEditingRecordsKeyLengthsAndCancelRestoresTheKey) {
  Create("key", ttAdsADT, "I,Integer;S,Char,10;");
  TKeyTable* t = NewTable("key", ttAdsADT);
  t->Open();
  t->AppendRecord({Variant(1), Variant("eins")});
  EXPECT_FALSE(t->FieldByName("S")->IsIndexField());
  t->BeginKeyEditing();
  EXPECT_TRUE(t->FieldByName("S")->IsIndexField());  // no index: every field counts
  t->FieldByName("S")->SetAsString("abc");
  auto lengthOf = [&](int fieldNo) {
    uint16_t v = 0;
    std::memcpy(&v, t->KeyBuffer()->RecordImage() + t->RecSize() + 2 * (fieldNo - 1), 2);
    return v;
  };
  EXPECT_EQ(lengthOf(2), 3);
  EXPECT_EQ(lengthOf(1), 0xFFFF);
  t->FieldByName("I")->SetAsInteger(7);
  EXPECT_EQ(lengthOf(1), 1);
  t->Cancel();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(lengthOf(2), 0xFFFF);
  EXPECT_EQ(lengthOf(1), 0xFFFF);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "eins");  // the record was not touched

  t->BeginKeyEditing();
  t->FieldByName("S")->SetAsString("zw");
  t->Post();
  EXPECT_EQ(t->State(), dsBrowse);
  EXPECT_EQ(lengthOf(2), 2);
  EXPECT_EQ(t->FieldByName("S")->AsString(), "eins");
}

}  // namespace
}  // namespace edittest
