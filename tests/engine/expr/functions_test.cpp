// The built-in functions on ordinary and edge arguments.
#include <gtest/gtest.h>

#include "tests/engine/expr/memory_source.h"

namespace {

using namespace expr_test;
using ace::expr::EvalOptions;
using ace::expr::Expression;
using ace::expr::JulianFromCivil;

class ExprFunctions : public ::testing::Test {
 protected:
  Value V(const std::string& text) { return Eval(text, src_, options_); }
  std::string S(const std::string& text) {
    Value v = V(text);
    EXPECT_EQ(v.type, ValueType::kCharacter) << text;
    return v.text;
  }
  double N(const std::string& text) {
    Value v = V(text);
    EXPECT_EQ(v.type, ValueType::kNumeric) << text;
    return v.number;
  }
  bool L(const std::string& text) {
    Value v = V(text);
    EXPECT_EQ(v.type, ValueType::kLogical) << text;
    return v.logical;
  }
  void SetUp() override {
    // A fixed "now": Friday 2026-12-04 13:45:30.250.
    options_.now = [] {
      return Value::Timestamp(JulianFromCivil(2026, 12, 4),
                              ((13 * 60 + 45) * 60 + 30) * 1000 + 250);
    };
  }
  MemorySource src_ = Kinder();
  EvalOptions options_;
};

TEST_F(ExprFunctions, CaseAndTrimming) {
  EXPECT_EQ(S("UPPER('ab\xe4\xf6\xfc\xdf')"), "AB\xc4\xd6\xdc\xdf");  // ß has no capital
  EXPECT_EQ(S("LOWER('ABC\xc4')"), "abc\xe4");
  EXPECT_EQ(S("TRIM('  a b  ')"), "  a b");
  EXPECT_EQ(S("RTRIM('    ')"), "");
  EXPECT_EQ(S("LTRIM('  a b  ')"), "a b  ");
  EXPECT_EQ(S("ALLTRIM('  a b  ')"), "a b");
  EXPECT_EQ(S("ALLTRIM('')"), "");
}

TEST_F(ExprFunctions, SubstrLeftRightAtTheEdges) {
  EXPECT_EQ(S("SUBSTR('abcdef', 2, 3)"), "bcd");
  EXPECT_EQ(S("SUBSTR('abcdef', 4)"), "def");
  EXPECT_EQ(S("SUBSTR('abcdef', 5, 10)"), "ef");  // past the end: what there is
  EXPECT_EQ(S("SUBSTR('abcdef', 7)"), "");
  EXPECT_EQ(S("SUBSTR('abcdef', 100, 2)"), "");
  EXPECT_EQ(S("SUBSTR('abcdef', 0, 2)"), "ab");
  EXPECT_EQ(S("SUBSTR('abcdef', -2)"), "ef");  // from the end
  EXPECT_EQ(S("SUBSTR('abcdef', 2, 0)"), "");
  EXPECT_EQ(S("SUBSTR('abcdef', 2, -1)"), "");
  EXPECT_EQ(S("LEFT('abc', 2)"), "ab");
  EXPECT_EQ(S("LEFT('abc', 10)"), "abc");
  EXPECT_EQ(S("LEFT('abc', -1)"), "");
  EXPECT_EQ(S("RIGHT('abc', 2)"), "bc");
  EXPECT_EQ(S("RIGHT('abc', 5)"), "abc");
  EXPECT_EQ(S("RIGHT('', 5)"), "");
}

TEST_F(ExprFunctions, StrWidthsAndRounding) {
  EXPECT_EQ(S("STR(12.5)"), "      12.5");    // ten wide, the decimals the number has
  EXPECT_EQ(S("STR(BETRAG)"), "     12.50");  // a field keeps its width and decimals
  EXPECT_EQ(S("STR(MENGE)"), "    3");
  EXPECT_EQ(S("STR(3.14159, 6, 2)"), "  3.14");
  EXPECT_EQ(S("STR(2.675, 5, 2)"), " 2.68");  // half away from zero, as written
  EXPECT_EQ(S("STR(-2.5, 4)"), "  -3");
  EXPECT_EQ(S("STR(0.5, 1)"), "1");
  EXPECT_EQ(S("STR(-0.001, 5, 2)"), " 0.00");
  EXPECT_EQ(S("STR(123456, 4)"), "****");  // does not fit
  EXPECT_EQ(S("STR(12, 0)"), "");
  EXPECT_EQ(S("STR(1234567890123, 13)"), "1234567890123");
}

TEST_F(ExprFunctions, ValReadsTheLeadingNumberAndZeroForJunk) {
  EXPECT_DOUBLE_EQ(N("VAL('12.5')"), 12.5);
  EXPECT_DOUBLE_EQ(N("VAL('  -3.25 kg')"), -3.25);
  EXPECT_DOUBLE_EQ(N("VAL('abc')"), 0);
  EXPECT_DOUBLE_EQ(N("VAL('')"), 0);
  EXPECT_DOUBLE_EQ(N("VAL('-')"), 0);
  EXPECT_DOUBLE_EQ(N("VAL('1.2.3')"), 1.2);
  EXPECT_DOUBLE_EQ(N("VAL('.5')"), 0.5);
  EXPECT_EQ(V("VAL('1.25')").decimals, 2);
}

TEST_F(ExprFunctions, LengthsPaddingAndSearch) {
  EXPECT_DOUBLE_EQ(N("LEN(NAME)"), 20);
  EXPECT_DOUBLE_EQ(N("LEN(TRIM(NAME))"), 5);
  EXPECT_DOUBLE_EQ(N("LEN('')"), 0);
  EXPECT_EQ(S("SPACE(3)"), "   ");
  EXPECT_EQ(S("SPACE(-3)"), "");
  EXPECT_EQ(S("REPLICATE('ab', 3)"), "ababab");
  EXPECT_EQ(S("REPLICATE('ab', 0)"), "");
  EXPECT_EQ(S("PADL('ab', 5)"), "   ab");
  EXPECT_EQ(S("PADR('ab', 5, '.')"), "ab...");
  EXPECT_EQ(S("PADC('ab', 7, '*')"), "**ab***");
  EXPECT_EQ(S("PADL('abcdef', 3)"), "abc");
  EXPECT_EQ(S("PADL(42, 5, '0')"), "00042");
  EXPECT_DOUBLE_EQ(N("AT('b', 'abcabc')"), 2);
  EXPECT_DOUBLE_EQ(N("AT('b', 'abcabc', 2)"), 5);
  EXPECT_DOUBLE_EQ(N("AT('b', 'abcabc', 3)"), 0);
  EXPECT_DOUBLE_EQ(N("AT('', 'abc')"), 0);
  EXPECT_DOUBLE_EQ(N("AT('x', 'abc')"), 0);
  EXPECT_DOUBLE_EQ(N("RAT('b', 'abcabc')"), 5);
  EXPECT_EQ(S("CHR(65) + CHR(256 + 66)"), "AB");
  EXPECT_DOUBLE_EQ(N("ASC('a')"), 97);
  EXPECT_DOUBLE_EQ(N("ASC('')"), 0);
  EXPECT_DOUBLE_EQ(N("ASC(CHR(228))"), 228);  // bytes are unsigned
}

TEST_F(ExprFunctions, DatesAndTheirTexts) {
  EXPECT_EQ(S("DTOS(GEBURT)"), "20101105");
  EXPECT_EQ(S("DTOS({})"), "        ");
  EXPECT_EQ(S("DTOC(GEBURT)"), "11/05/2010");
  EXPECT_EQ(S("DTOC({})"), "  /  /    ");
  EXPECT_EQ(V("CTOD('11/05/2010')").julian, JulianFromCivil(2010, 11, 5));
  EXPECT_EQ(V("CTOD('11/05/10')").julian, JulianFromCivil(2010, 11, 5));
  EXPECT_EQ(V("CTOD('02/30/2010')").julian, 0);  // invalid: the empty date
  EXPECT_EQ(V("CTOD('junk')").julian, 0);
  EXPECT_EQ(V("STOD('20000229')").julian, JulianFromCivil(2000, 2, 29));
  EXPECT_EQ(V("STOD('20010229')").julian, 0);
  EXPECT_EQ(V("STOD('')").julian, 0);
  EXPECT_TRUE(L("EMPTY(STOD('        '))"));
  EXPECT_DOUBLE_EQ(N("YEAR(GEBURT) * 10000 + MONTH(GEBURT) * 100 + DAY(GEBURT)"), 20101105);
  EXPECT_DOUBLE_EQ(N("YEAR({}) + MONTH({}) + DAY({}) + DOW({})"), 0);
  EXPECT_DOUBLE_EQ(N("DOW(GEBURT)"), 6);  // 2010-11-05 was a Friday; Sunday is 1
  EXPECT_EQ(S("CDOW(GEBURT)"), "Friday");
  EXPECT_EQ(S("CMONTH(GEBURT)"), "November");
  EXPECT_EQ(S("CDOW({})"), "");
  EXPECT_EQ(S("DTOS({^1900-02-28} + 1)"), "19000301");
}

TEST_F(ExprFunctions, ClockFunctionsUseTheGivenNow) {
  EXPECT_EQ(V("DATE()").julian, JulianFromCivil(2026, 12, 4));
  EXPECT_EQ(V("TODAY()").julian, JulianFromCivil(2026, 12, 4));
  EXPECT_EQ(S("TIME()"), "13:45:30");
  Value now = V("NOW()");
  EXPECT_EQ(now.type, ValueType::kTimestamp);
  EXPECT_EQ(now.millis % 1000, 250);
  EXPECT_DOUBLE_EQ(N("DATE() - GEBURT"),
                   JulianFromCivil(2026, 12, 4) - JulianFromCivil(2010, 11, 5));
  // Without a clock given, the system's clock answers a plausible date.
  EvalOptions system;
  Value today = Eval("YEAR(DATE())", src_, system);
  EXPECT_GE(today.number, 2024);
}

TEST_F(ExprFunctions, TimestampsFromAndToText) {
  Value t = V("CTOTS('11/05/2010 10:30:15.5')");
  EXPECT_EQ(t.julian, JulianFromCivil(2010, 11, 5));
  EXPECT_EQ(t.millis, (10 * 3600 + 30 * 60 + 15) * 1000 + 500);
  Value pm = V("CTOT('02:05:00 PM')");
  EXPECT_EQ(pm.julian, 0);
  EXPECT_EQ(pm.millis, (14 * 3600 + 5 * 60) * 1000);
  EXPECT_EQ(V("CTOT('12:00 AM')").millis, 0);
  EXPECT_EQ(V("CTOT('25:00')").millis, 0);
  EXPECT_TRUE(L("EMPTY(CTOTS('garbage'))"));
  EXPECT_EQ(S("TTOC(ZEIT)"), "11/05/2010 10:00:00");
  EXPECT_EQ(S("TTOC(ZEIT, 1)"), "20101105100000");
  EXPECT_EQ(S("TTOC(CTOTS(''))"), std::string(19, ' '));
  EXPECT_TRUE(L("ZEIT = CTOTS('2010-11-05 10:00:00')"));
}

TEST_F(ExprFunctions, NumericFunctions) {
  EXPECT_DOUBLE_EQ(N("ABS(-3.5)"), 3.5);
  EXPECT_DOUBLE_EQ(N("INT(-3.7)"), -3);
  EXPECT_DOUBLE_EQ(N("INT(3.7)"), 3);
  EXPECT_DOUBLE_EQ(N("ROUND(2.345, 2)"), 2.35);
  EXPECT_DOUBLE_EQ(N("ROUND(-2.5, 0)"), -3);
  EXPECT_DOUBLE_EQ(N("ROUND(1234, -2)"), 1200);
  EXPECT_DOUBLE_EQ(N("MOD(7, 3)"), 1);
  EXPECT_DOUBLE_EQ(N("MOD(-7, 3)"), 2);  // the sign of the divisor
  EXPECT_DOUBLE_EQ(N("-7 % 3"), -1);     // the sign of the dividend
  EXPECT_DOUBLE_EQ(N("MAX(3, BETRAG)"), 12.5);
  EXPECT_DOUBLE_EQ(N("MIN(3, BETRAG)"), 3);
  EXPECT_EQ(S("MAX('abc', 'abd')"), "abd");
  EXPECT_EQ(V("MIN(GEBURT, {^2000-01-01})").julian, JulianFromCivil(2000, 1, 1));
  EXPECT_FALSE(Expression::Compile("MOD(7, 0)", &src_)->Evaluate(src_).ok());
  EXPECT_FALSE(Expression::Compile("MAX(1, 'a')", &src_).ok());
}

TEST_F(ExprFunctions, LogicalFunctions) {
  EXPECT_TRUE(L("BETWEEN(MENGE, 1, 3)"));
  EXPECT_FALSE(L("BETWEEN(MENGE, 4, 9)"));
  EXPECT_TRUE(L("BETWEEN(NAME, 'M', 'Meier')"));
  EXPECT_TRUE(L("BETWEEN(GEBURT, {^2010-01-01}, {^2010-12-31})"));
  EXPECT_TRUE(L("EMPTY('   ') .AND. EMPTY(0) .AND. EMPTY({}) .AND. EMPTY(.F.)"));
  EXPECT_FALSE(L("EMPTY(' x ') .OR. EMPTY(0.01) .OR. EMPTY(GEBURT) .OR. EMPTY(.T.)"));
  EXPECT_FALSE(L("DELETED()"));
  src_.deleted = true;
  src_.recno = 42;
  EXPECT_TRUE(L("DELETED()"));
  EXPECT_DOUBLE_EQ(N("RECNO()"), 42);
  EXPECT_EQ(S("IIF(MENGE > 2, 'big', 'small')"), "big");
  EXPECT_EQ(S("IIF(MENGE > 5, 'big', 'small')"), "small");
}

TEST_F(ExprFunctions, ContainsSearchesWords) {
  EXPECT_TRUE(L("CONTAINS(NOTIZ, 'apples')"));
  EXPECT_TRUE(L("CONTAINS(NOTIZ, 'RED pears')"));  // all words, any case
  EXPECT_FALSE(L("CONTAINS(NOTIZ, 'red bananas')"));
  EXPECT_TRUE(L("CONTAINS(NOTIZ, 'bananas OR pears')"));
  EXPECT_FALSE(L("CONTAINS(NOTIZ, 'apple')"));  // whole words only
  EXPECT_TRUE(L("CONTAINS(NOTIZ, 'app*')"));
  EXPECT_TRUE(L("CONTAINS(NOTIZ, '*ears')"));
  EXPECT_TRUE(L("CONTAINS(NOTIZ, 'red AND NOT bananas')"));
  EXPECT_FALSE(L("CONTAINS(NOTIZ, 'NOT red')"));
  EXPECT_TRUE(L("CONTAINS(NOTIZ, '\"red apples\"')"));
  EXPECT_FALSE(L("CONTAINS(NOTIZ, '\"apples red\"')"));
  EXPECT_FALSE(L("CONTAINS(NOTIZ, '')"));
}

}  // namespace
