// Expressions through the C API on real records: the AdsEval* functions and AdsIsExprValid,
// locate forward, backward and continued in record and index order, long and short field
// names of ADT tables, and AdsLookupKey.
#include <string>
#include <vector>

#include "tests/engine/filter/filter_fixture.h"

namespace {

using namespace filter_test;

std::string EvalString(ADSHANDLE t, const char* expr) {
  UNSIGNED8 buf[256];
  UNSIGNED16 len = sizeof buf;
  UNSIGNED32 rc = AdsEvalStringExpr(t, U(expr), buf, &len);
  if (rc != 0) return "<error " + std::to_string(rc) + ">";
  return std::string(reinterpret_cast<char*>(buf), len);
}

TEST_F(FilterTest, EvaluationReadsTheCurrentRecordWithPendingChanges) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  ASSERT_ACE(AdsGotoRecord(t, 3));  // Mei, Aachen, NR 10, 2010-04-16, active
  const std::string name = Text(t, "NAME");
  UNSIGNED16 b = 9;
  ASSERT_ACE(AdsEvalLogicalExpr(t, U("AKTIV .AND. NR = 10"), &b));
  EXPECT_EQ("Mei", name);
  EXPECT_EQ(1, b);
  DOUBLE d = 0;
  ASSERT_ACE(AdsEvalNumericExpr(t, U("NR * 2 + 0.5"), &d));
  EXPECT_DOUBLE_EQ(20.5, d);
  ASSERT_ACE(AdsEvalNumericExpr(t, U("GEBURT"), &d));
  UNSIGNED16 type = 0;
  ASSERT_ACE(AdsEvalTestExpr(t, U("GEBURT"), &type));
  EXPECT_EQ(ADS_DATE_EXPR, type);
  EXPECT_EQ("20100416", EvalString(t, "GEBURT"));
  EXPECT_DOUBLE_EQ(2455303.0, d);
  EXPECT_EQ(name, EvalString(t, "TRIM(NAME)"));
  EXPECT_EQ("T", EvalString(t, "AKTIV"));
  EXPECT_EQ("    10", EvalString(t, "STR(NR)"));  // the field's width
  EXPECT_EQ(std::string("X") + name + "/", EvalString(t, "'X' + TRIM(NAME) + '/'"));

  // A pending change is what the expressions see.
  Set(t, "NR", "77");
  ASSERT_ACE(AdsEvalNumericExpr(t, U("NR"), &d));
  EXPECT_DOUBLE_EQ(77.0, d);
  ASSERT_ACE(AdsCancelUpdate(t));
  ASSERT_ACE(AdsEvalNumericExpr(t, U("NR"), &d));
  EXPECT_DOUBLE_EQ(10.0, d);

  ASSERT_ACE(AdsEvalTestExpr(t, U("NR + 1"), &type));
  EXPECT_EQ(ADS_NUMERIC_EXPR, type);
  ASSERT_ACE(AdsEvalTestExpr(t, U("NAME"), &type));
  EXPECT_EQ(ADS_STRING_EXPR, type);
  ASSERT_ACE(AdsEvalTestExpr(t, U("AKTIV .OR. .F."), &type));
  EXPECT_EQ(ADS_LOGICAL_EXPR, type);
}

TEST_F(FilterTest, BadExpressionsAreRefusedNamingThePosition) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  ASSERT_ACE(AdsGotoTop(t));
  UNSIGNED16 valid = 9;
  ASSERT_ACE(AdsIsExprValid(t, U("UPPER(NAME) = 'X' .AND. NR > 1"), &valid));
  EXPECT_EQ(1, valid);
  ASSERT_ACE(AdsIsExprValid(t, U("UPPER(NAME = 'X'"), &valid));
  EXPECT_EQ(0, valid);
  ASSERT_ACE(AdsIsExprValid(t, U("NOPE > 1"), &valid));
  EXPECT_EQ(0, valid);

  UNSIGNED16 b = 0;
  EXPECT_EQ(5040u, AdsEvalLogicalExpr(t, U("NR >"), &b));
  EXPECT_NE(std::string::npos, LastErrorText().find("position")) << LastErrorText();
  EXPECT_EQ(5040u, AdsEvalLogicalExpr(t, U("NR + 1"), &b));  // numeric, not logical
  DOUBLE d = 0;
  EXPECT_EQ(5040u, AdsEvalNumericExpr(t, U("NAME"), &d));
  EXPECT_EQ(5040u, AdsEvalNumericExpr(t, U("NR + 'x'"), &d));
  UNSIGNED16 type = 0;
  EXPECT_EQ(5040u, AdsEvalTestExpr(t, U("SUBSTR(NAME, 1"), &type));
  EXPECT_EQ(5004u, AdsEvalLogicalExpr(t, nullptr, &b));
  EXPECT_NE(0u, AdsEvalLogicalExpr(987654, U("AKTIV"), &b));

  // A string result longer than the buffer answers the length and writes nothing.
  UNSIGNED8 small[4] = {1, 2, 3, 4};
  UNSIGNED16 len = sizeof small;
  EXPECT_EQ(5005u, AdsEvalStringExpr(t, U("REPLICATE('a', 10)"), small, &len));
  EXPECT_EQ(10, len);
  EXPECT_EQ(1, small[0]);
}

TEST_F(FilterTest, LocateForwardBackwardAndContinue) {
  ADSHANDLE t = MakeKinder(ADS_CDX);
  ADSHANDLE by_nr = Index(t, "BYNR", "NR");
  const char* cond = "NAME = 'Schulz' .AND. AKTIV";
  for (ADSHANDLE h : {t, by_nr}) {
    SCOPED_TRACE(h == t ? "record order" : "index order");
    std::vector<UNSIGNED32> expected = Scan(h, t, cond);
    ASSERT_GE(expected.size(), 3u);
    std::vector<UNSIGNED32> found;
    UNSIGNED16 ok = 0;
    ASSERT_ACE(AdsLocate(h, U(cond), 1, &ok));
    while (ok) {
      found.push_back(RecNo(t));
      ASSERT_ACE(AdsContinue(h, &ok));
    }
    EXPECT_EQ(expected, found);
    UNSIGNED16 eof = 0;
    ASSERT_ACE(AdsAtEOF(t, &eof));
    EXPECT_EQ(1, eof);

    std::vector<UNSIGNED32> back;
    ASSERT_ACE(AdsLocate(h, U(cond), 0, &ok));
    while (ok) {
      back.push_back(RecNo(t));
      ASSERT_ACE(AdsContinue(h, &ok));
    }
    EXPECT_EQ(std::vector<UNSIGNED32>(expected.rbegin(), expected.rend()), back);
    UNSIGNED16 bof = 0;
    ASSERT_ACE(AdsAtBOF(t, &bof));
    EXPECT_EQ(1, bof);
  }
  // Nothing found: EOF; a filter hides records from the search.
  UNSIGNED16 ok = 1;
  ASSERT_ACE(AdsLocate(t, U("NR > 1000"), 1, &ok));
  EXPECT_EQ(0, ok);
  ASSERT_ACE(AdsSetFilter(t, U(".NOT. AKTIV")));
  ASSERT_ACE(AdsLocate(t, U(cond), 1, &ok));
  EXPECT_EQ(0, ok);
  EXPECT_EQ(5040u, AdsLocate(t, U("NR"), 1, &ok));
}

TEST_F(FilterTest, ContinueWithoutLocateIsAnError) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  UNSIGNED16 ok = 0;
  EXPECT_EQ(5003u, AdsContinue(t, &ok));
}

TEST_F(FilterTest, LongAndShortFieldNamesOfAdtTables) {
  ADSHANDLE t =
      Create("lang", ADS_ADT, "Geburtsdatum,Date;Geburtsort,Character,20;Nachname,Character,20");
  ASSERT_ACE(AdsAppendRecord(t));
  Set(t, "Geburtsort", "Bonn");
  Set(t, "Nachname", "Meier");
  ASSERT_ACE(AdsWriteRecord(t));
  UNSIGNED8 buf[256];
  UNSIGNED16 len = sizeof buf;
  const char* text =
      "geburtsort = 'Geburtsdatum' .AND. Nachname <> \"x\" .AND. !EMPTY(Geburtsdatum)";
  ASSERT_ACE(AdsExpressionLongToShort(t, U(text), buf, &len));
  const std::string shorter(reinterpret_cast<char*>(buf), len);
  EXPECT_EQ("Geburtsort = 'Geburtsdatum' .AND. Nachname <> \"x\" .AND. !EMPTY(Geburtsdat)",
            shorter);
  len = sizeof buf;
  ASSERT_ACE(AdsExpressionShortToLong(t, U(shorter), buf, &len));
  EXPECT_EQ("Geburtsort = 'Geburtsdatum' .AND. Nachname <> \"x\" .AND. !EMPTY(Geburtsdatum)",
            std::string(reinterpret_cast<char*>(buf), len));
  len = 10;
  EXPECT_EQ(5005u, AdsExpressionLongToShort(t, U(text), buf, &len));
  EXPECT_EQ(shorter.size(), len);
  len = sizeof buf;
  EXPECT_EQ(5040u, AdsExpressionLongToShort(t, U("'open"), buf, &len));

  // Other tables keep the text.
  ADSHANDLE d = MakeKinder(ADS_CDX);
  len = sizeof buf;
  ASSERT_ACE(AdsExpressionLongToShort(d, U("Geburtsdatum = 1"), buf, &len));
  EXPECT_EQ("Geburtsdatum = 1", std::string(reinterpret_cast<char*>(buf), len));
}

TEST_F(FilterTest, LookupKeyFindsVisibleKeysWithoutMoving) {
  ADSHANDLE t = MakeKinder(ADS_ADT);
  ADSHANDLE by_name = Index(t, "BYNAME", "NAME");
  ADSHANDLE by_nr = Index(t, "BYNR", "NR", ADS_DESCENDING);
  ASSERT_ACE(AdsGotoRecord(t, 5));
  UNSIGNED16 found = 9;
  ASSERT_ACE(AdsLookupKey(by_name, U("Zander"), 6, ADS_STRINGKEY, &found));
  EXPECT_EQ(1, found);
  ASSERT_ACE(AdsLookupKey(by_name, U("Zz"), 2, ADS_STRINGKEY, &found));
  EXPECT_EQ(0, found);
  ASSERT_ACE(AdsLookupKey(by_name, U("Sch"), 3, ADS_STRINGKEY, &found));  // a prefix
  EXPECT_EQ(1, found);
  ASSERT_ACE(AdsLookupKey(by_nr, U("37"), 2, ADS_STRINGKEY, &found));
  EXPECT_EQ(1, found);
  DOUBLE missing = 1000;
  ASSERT_ACE(
      AdsLookupKey(by_nr, reinterpret_cast<const UNSIGNED8*>(&missing), 8, ADS_DOUBLEKEY, &found));
  EXPECT_EQ(0, found);
  EXPECT_EQ(5u, RecNo(t));
  // A filter hides keys whose records it hides.
  ASSERT_ACE(AdsSetFilter(t, U("NAME <> 'Zander'")));
  ASSERT_ACE(AdsLookupKey(by_name, U("Zander"), 6, ADS_STRINGKEY, &found));
  EXPECT_EQ(0, found);
  EXPECT_EQ(5003u, AdsLookupKey(by_name, U("x"), 1, 9, &found));
  EXPECT_NE(0u, AdsLookupKey(t, U("x"), 1, ADS_STRINGKEY, &found));  // a table handle
}

}  // namespace
