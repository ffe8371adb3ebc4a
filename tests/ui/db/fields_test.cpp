// Field classes: native buffer forms, conversions, their German errors, validation and text
// events, blob fields.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/ui/db/MemDataSet.h"

namespace {

class FieldsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_ = FormatSettings;
    FormatSettings.DecimalSeparator = ',';
    FormatSettings.ThousandSeparator = '.';
    FormatSettings.DateSeparator = '.';
    FormatSettings.ShortDateFormat = "dd.mm.yyyy";
    FormatSettings.LongTimeFormat = "hh:nn:ss";
    ds.SetName("T");
    ds.SetSpecs({{"S", ftString, 6},
                 {"W", ftWideString, 4},
                 {"SI", ftSmallint},
                 {"I", ftInteger},
                 {"WD", ftWord},
                 {"L", ftLargeint},
                 {"B", ftBoolean},
                 {"F", ftFloat},
                 {"C", ftCurrency},
                 {"BC", ftBCD, 2},
                 {"D", ftDate},
                 {"TM", ftTime},
                 {"DT", ftDateTime},
                 {"BY", ftBytes, 4},
                 {"VB", ftVarBytes, 4},
                 {"BL", ftBlob},
                 {"M", ftMemo},
                 {"WM", ftWideMemo},
                 {"A", ftAutoInc}});
    ds.Open();
    ds.Append();
  }
  void TearDown() override { FormatSettings = saved_; }

  TField* F(const char* name) { return ds.FieldByName(name); }
  // The field's native value as bytes.
  std::vector<uint8_t> Native(const char* name) {
    TField* f = F(name);
    std::vector<uint8_t> b(static_cast<size_t>(std::max(f->DataSize(), 1)), 0xEE);
    EXPECT_TRUE(f->GetData(b.data()));
    return b;
  }

  TFormatSettings saved_;
  TMemDataSet ds{nullptr};
};

TEST_F(FieldsTest, DefaultFieldClassesAndSizes) {
  EXPECT_NE(dynamic_cast<TStringField*>(F("S")), nullptr);
  EXPECT_NE(dynamic_cast<TWideStringField*>(F("W")), nullptr);
  EXPECT_NE(dynamic_cast<TSmallintField*>(F("SI")), nullptr);
  EXPECT_NE(dynamic_cast<TWordField*>(F("WD")), nullptr);
  EXPECT_NE(dynamic_cast<TLargeintField*>(F("L")), nullptr);
  EXPECT_NE(dynamic_cast<TCurrencyField*>(F("C")), nullptr);
  EXPECT_NE(dynamic_cast<TBCDField*>(F("BC")), nullptr);
  EXPECT_NE(dynamic_cast<TDateField*>(F("D")), nullptr);
  EXPECT_NE(dynamic_cast<TTimeField*>(F("TM")), nullptr);
  EXPECT_NE(dynamic_cast<TVarBytesField*>(F("VB")), nullptr);
  EXPECT_NE(dynamic_cast<TMemoField*>(F("M")), nullptr);
  EXPECT_NE(dynamic_cast<TWideMemoField*>(F("WM")), nullptr);
  EXPECT_NE(dynamic_cast<TAutoIncField*>(F("A")), nullptr);
  EXPECT_EQ(F("S")->DataSize(), 7);
  EXPECT_EQ(F("W")->DataSize(), 10);
  EXPECT_EQ(F("SI")->DataSize(), 2);
  EXPECT_EQ(F("I")->DataSize(), 4);
  EXPECT_EQ(F("L")->DataSize(), 8);
  EXPECT_EQ(F("B")->DataSize(), 2);
  EXPECT_EQ(F("BC")->DataSize(), static_cast<int>(sizeof(TBcd)));
  EXPECT_EQ(F("D")->DataSize(), 4);
  EXPECT_EQ(F("TM")->DataSize(), 4);
  EXPECT_EQ(F("DT")->DataSize(), 8);
  EXPECT_EQ(F("VB")->DataSize(), 6);
  EXPECT_EQ(F("BL")->DataSize(), 0);
  EXPECT_EQ(F("S")->FieldNo(), 1);
  EXPECT_EQ(F("A")->FieldNo(), 19);
}

TEST_F(FieldsTest, StringsAreAnsiInTheBufferAndTruncatedAtTheSize) {
  F("S")->SetAsString("Müller-Lüdenscheidt");
  EXPECT_EQ(F("S")->AsString(), "Müller");
  std::vector<uint8_t> n = Native("S");
  EXPECT_EQ(n[1], 0xFC);  // ü in Windows-1252
  EXPECT_EQ(n[6], 0);
  F("S")->SetAsString("42");
  EXPECT_EQ(F("S")->AsInteger(), 42);
  F("S")->SetAsString("4,5");
  EXPECT_DOUBLE_EQ(F("S")->AsFloat(), 4.5);
  F("S")->SetAsString("abc");
  try {
    F("S")->AsInteger();
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'abc' ist kein gültiger Integerwert");
  }
  EXPECT_THROW(F("S")->AsFloat(), EConvertError);
  F("W")->SetAsString("Ωmega");
  EXPECT_EQ(F("W")->AsString(), "Ωmeg");
  n = Native("W");
  EXPECT_EQ(n[0] | (n[1] << 8), 0x03A9);
  EXPECT_EQ(n[8] | (n[9] << 8), 0);
}

TEST_F(FieldsTest, IntegersCheckTheirRange) {
  F("SI")->SetAsInteger(-32768);
  std::vector<uint8_t> n = Native("SI");
  EXPECT_EQ(static_cast<int16_t>(n[0] | (n[1] << 8)), -32768);
  try {
    F("SI")->SetAsInteger(40000);
    FAIL();
  } catch (const ERangeError& e) {
    EXPECT_STREQ(e.what(),
                 "40000 ist kein gültiger Wert für das Feld 'SI'. Der erlaubte Bereich ist -32768 "
                 "bis 32767");
  }
  EXPECT_EQ(F("SI")->AsInteger(), -32768);  // refused write changed nothing
  EXPECT_THROW(F("WD")->SetAsInteger(-1), ERangeError);
  F("WD")->SetAsInteger(65535);
  EXPECT_EQ(F("WD")->AsInteger(), 65535);
  F("I")->SetAsString(" 123");
  EXPECT_EQ(F("I")->AsInteger(), 123);
  EXPECT_EQ(F("I")->AsString(), "123");
  try {
    F("I")->SetAsString("12x");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'12x' ist kein gültiger Integerwert");
  }
  F("I")->SetAsFloat(2.5);
  EXPECT_EQ(F("I")->AsInteger(), 2);
  F("I")->SetAsString("");
  EXPECT_TRUE(F("I")->IsNull());
  EXPECT_EQ(F("I")->AsInteger(), 0);
  EXPECT_EQ(F("I")->AsString(), "");
  EXPECT_TRUE(VarIsNull(F("I")->AsVariant()));
  auto* i = static_cast<TIntegerField*>(F("I"));
  i->SetMinValue(1);
  i->SetMaxValue(10);
  EXPECT_THROW(i->SetAsInteger(11), ERangeError);
  i->SetAsInteger(10);
  F("L")->SetAsLargeInt(INT64_MIN);
  EXPECT_EQ(F("L")->AsLargeInt(), INT64_MIN);
  EXPECT_THROW(F("L")->AsInteger(), ERangeError);
  try {
    F("I")->AsDateTime();
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Feld 'I' kann nicht als Typ DateTime verwendet werden");
  }
}

TEST_F(FieldsTest, FloatsBcdAndCurrency) {
  F("F")->SetAsString("1,5");
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 1.5);
  EXPECT_EQ(F("F")->AsString(), "1,5");
  EXPECT_EQ(F("F")->AsInteger(), 2);
  try {
    F("F")->SetAsString("1.5");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'1.5' ist kein gültiger Gleitkommawert");
  }
  auto* num = static_cast<TNumericField*>(F("F"));
  num->SetDisplayFormat("0.00");
  EXPECT_EQ(F("F")->DisplayText(), "1,50");
  F("C")->SetAsCurrency(Currency::FromScaled(12345));
  EXPECT_DOUBLE_EQ(F("C")->AsFloat(), 1.2345);

  F("BC")->SetAsString("-12,345");
  TBcd native;
  ASSERT_TRUE(F("BC")->GetData(&native));
  EXPECT_EQ(BcdToStr(native, '.'), "-12.35");  // precision 18, scale 2: rounded
  EXPECT_EQ(F("BC")->AsString(), "-12,35");
  EXPECT_EQ(F("BC")->AsCurrency().Scaled, -123500);
  EXPECT_EQ(F("BC")->AsInteger(), -12);
  F("BC")->SetAsFloat(0.1);
  EXPECT_EQ(F("BC")->AsString(), "0,1");
  EXPECT_THROW(F("BC")->SetAsString("1e5"), EConvertError);
  static_cast<TBCDField*>(F("BC"))->SetPrecision(4);
  EXPECT_THROW(F("BC")->SetAsString("123,4"), ERangeError);
}

TEST_F(FieldsTest, BooleansAreMinusOneInTheBuffer) {
  F("B")->SetAsBoolean(true);
  std::vector<uint8_t> n = Native("B");
  EXPECT_EQ(static_cast<int16_t>(n[0] | (n[1] << 8)), -1);
  EXPECT_EQ(F("B")->AsString(), "True");
  int16_t raw = 5;  // any non-zero value reads true
  F("B")->SetData(&raw);
  EXPECT_TRUE(F("B")->AsBoolean());
  F("B")->SetAsString("f");
  EXPECT_FALSE(F("B")->AsBoolean());
  auto* b = static_cast<TBooleanField*>(F("B"));
  b->SetDisplayValues("Ja;Nein");
  F("B")->SetAsString("ja");
  EXPECT_EQ(F("B")->AsString(), "Ja");
  try {
    F("B")->SetAsString("vielleicht");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'vielleicht' ist kein gültiger Boolescher Wert für das Feld 'B'");
  }
}

TEST_F(FieldsTest, DatesTimesAndTimestampsUseDayNumbersAndMilliseconds) {
  TDateTime day = EncodeDate(2010, 11, 5);
  F("D")->SetAsDateTime(day + 0.75);
  int32_t dayNo;
  ASSERT_TRUE(F("D")->GetData(&dayNo));
  EXPECT_EQ(dayNo, 2455506 - 1721425);
  EXPECT_DOUBLE_EQ(F("D")->AsDateTime(), day);  // the time part is not kept
  EXPECT_EQ(F("D")->AsString(), "05.11.2010");

  F("TM")->SetAsString("12:00:01");
  int32_t ms;
  ASSERT_TRUE(F("TM")->GetData(&ms));
  EXPECT_EQ(ms, 43201000);
  EXPECT_EQ(F("TM")->AsString(), "12:00:01");

  F("DT")->SetAsDateTime(day + 0.5);
  double stamp;
  ASSERT_TRUE(F("DT")->GetData(&stamp));
  EXPECT_DOUBLE_EQ(stamp, 734081.0 * 86400000.0 + 43200000.0);
  EXPECT_EQ(F("DT")->AsString(), "05.11.2010 12:00:00");
  static_cast<TDateTimeField*>(F("DT"))->SetDisplayFormat("yyyy-mm-dd hh:nn");
  EXPECT_EQ(F("DT")->DisplayText(), "2010-11-05 12:00");
  EXPECT_EQ(F("DT")->Text(), "05.11.2010 12:00:00");
  try {
    F("D")->SetAsString("30.02.2010");
    FAIL();
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'30.02.2010' ist kein gültiges Datum");
  }
  EXPECT_EQ(VarType(F("DT")->AsVariant()), varDate);
}

TEST_F(FieldsTest, BytesAndVarBytes) {
  static_cast<TBytesField*>(F("BY"))->SetAsBytes({1, 2, 3});
  EXPECT_EQ(F("BY")->AsVariant().AsBytes(), (TBytes{1, 2, 3, 0}));
  static_cast<TBytesField*>(F("VB"))->SetAsBytes({9, 8, 7, 6, 5});  // one too many: cut to the size
  std::vector<uint8_t> n = Native("VB");
  EXPECT_EQ(n[0] | (n[1] << 8), 4);
  EXPECT_EQ(static_cast<TVarBytesField*>(F("VB"))->AsBytes(), (TBytes{9, 8, 7, 6}));
  F("VB")->SetAsString("ab");
  EXPECT_EQ(F("VB")->AsString(), "ab");
}

TEST_F(FieldsTest, BlobsGoThroughBlobStreams) {
  auto* blob = static_cast<TBlobField*>(F("BL"));
  EXPECT_TRUE(blob->IsNull());
  EXPECT_EQ(blob->BlobSize(), 0);
  TMemoryStream in;
  const char data[] = "\x01\x02\x03\x04\x05";
  in.WriteBuffer(data, 5);
  blob->LoadFromStream(in);
  EXPECT_TRUE(blob->Modified());
  EXPECT_FALSE(blob->IsNull());
  EXPECT_EQ(blob->BlobSize(), 5);
  TMemoryStream out;
  blob->SaveToStream(out);
  ASSERT_EQ(out.Size(), 5);
  EXPECT_EQ(std::memcmp(out.Memory(), data, 5), 0);
  F("M")->SetAsString("Grüße");
  EXPECT_EQ(F("M")->AsString(), "Grüße");
  EXPECT_EQ(static_cast<TBlobField*>(F("M"))->BlobSize(), 5);  // one byte per character
  F("WM")->SetAsString("Grüße");
  EXPECT_EQ(static_cast<TBlobField*>(F("WM"))->BlobSize(), 10);
  EXPECT_EQ(F("WM")->AsString(), "Grüße");
  ds.Post();
  EXPECT_EQ(F("M")->AsString(), "Grüße");
  EXPECT_EQ(F("M")->DisplayText(), "(MEMO)");
  // Writing a blob needs an editing state.
  EXPECT_THROW(F("M")->SetAsString("x"), EDatabaseError);
  ds.Edit();
  blob->Clear();
  ds.Post();
  EXPECT_TRUE(blob->IsNull());
  // A memo emptied reads as an empty text, as does a null one.
  ds.Edit();
  F("M")->SetAsString("");
  EXPECT_EQ(F("M")->AsString(), "");
  F("M")->Clear();
  EXPECT_TRUE(F("M")->IsNull());
  EXPECT_EQ(F("M")->AsString(), "");
  ds.Cancel();
}

TEST_F(FieldsTest, ValidateSeesTheNewValueAndCanRefuseIt) {
  F("I")->SetAsInteger(1);
  int seen = 0;
  F("I")->OnValidate = [&](TField* f) {
    seen = f->AsInteger();
    if (seen < 0) throw EDatabaseError("negativ");
  };
  F("I")->SetAsInteger(7);
  EXPECT_EQ(seen, 7);
  EXPECT_THROW(F("I")->SetAsInteger(-3), EDatabaseError);
  EXPECT_EQ(seen, -3);
  EXPECT_EQ(F("I")->AsInteger(), 7);  // unchanged
  int changes = 0;
  F("I")->OnChange = [&](TField*) { ++changes; };
  F("I")->SetAsInteger(8);
  F("I")->Clear();
  EXPECT_EQ(changes, 2);
}

TEST_F(FieldsTest, TextEventsReadOnlyAndIndexFields) {
  F("S")->OnGetText = [](TField* f, std::string& text, bool display) {
    text = (display ? "[" : "(") + f->AsString() + (display ? "]" : ")");
  };
  F("S")->OnSetText = [](TField* f, const std::string& text) { f->SetAsString(UpperCase(text)); };
  F("S")->SetText("abc");
  EXPECT_EQ(F("S")->AsString(), "ABC");
  EXPECT_EQ(F("S")->DisplayText(), "[ABC]");
  EXPECT_EQ(F("S")->Text(), "(ABC)");
  F("S")->SetReadOnly(true);
  EXPECT_FALSE(F("S")->CanModify());
  try {
    F("S")->SetAsString("x");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T: Feld 'S' kann nicht verändert werden");
  }
  EXPECT_TRUE(F("I")->CanModify());
  ds.IndexFieldName = "I";
  EXPECT_TRUE(F("I")->IsIndexField());
  EXPECT_FALSE(F("S")->IsIndexField());
  F("I")->SetDisplayLabel("Nummer");
  EXPECT_EQ(F("I")->DisplayName(), "Nummer");
  EXPECT_EQ(F("S")->DisplayLabel(), "S");
}

TEST_F(FieldsTest, VariantsAssignAndClear) {
  F("I")->SetValue(Variant("15"));
  EXPECT_EQ(F("I")->AsInteger(), 15);
  F("F")->SetValue(Variant(3));
  EXPECT_DOUBLE_EQ(F("F")->AsFloat(), 3.0);
  F("S")->SetValue(Variant(2.5));
  EXPECT_EQ(F("S")->AsString(), "2,5");
  F("F")->SetValue(Null());
  EXPECT_TRUE(F("F")->IsNull());
  F("B")->SetValue(Variant("True"));
  EXPECT_TRUE(F("B")->AsBoolean());
  ds.SetFieldValues("I;S", VarArrayOf({4, "vier"}));
  Variant v = ds.FieldValues("I;S");
  EXPECT_EQ(v[0].AsInteger(), 4);
  EXPECT_EQ(v[1].AsString(), "vier");
}

TEST_F(FieldsTest, FieldPropertiesAreFixedWhileOpen) {
  EXPECT_THROW(F("S")->SetFieldName("X"), EDatabaseError);
  EXPECT_THROW(F("S")->SetSize(10), EDatabaseError);
  EXPECT_THROW(F("S")->SetFieldKind(fkCalculated), EDatabaseError);
  ds.Cancel();
  ds.Close();
  TStringField extra(nullptr);
  extra.SetFieldName("S");
  TMemDataSet other(nullptr);
  other.SetSpecs({{"S", ftString, 5}});
  extra.SetDataSet(&other);
  TStringField dup(nullptr);
  dup.SetFieldName("S");
  EXPECT_THROW(dup.SetDataSet(&other), EDatabaseError);  // a second field of the same name
  extra.SetDataSet(nullptr);
  EXPECT_EQ(other.FieldCount(), 0);
}

}  // namespace
