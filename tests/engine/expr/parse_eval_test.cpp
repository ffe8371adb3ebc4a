// The expression language's grammar, types and operators: precedence, literals, string and
// date comparison rules, and the errors of bad expressions.
#include <gtest/gtest.h>

#include "tests/engine/expr/memory_source.h"

namespace {

using namespace expr_test;
using ace::expr::EvalOptions;
using ace::expr::Expression;
using ace::expr::JulianFromCivil;

double Num(const std::string& text) {
  MemorySource s = Kinder();
  Value v = Eval(text, s);
  EXPECT_EQ(v.type, ValueType::kNumeric) << text;
  return v.number;
}

bool Logic(const std::string& text, bool exact = false) {
  MemorySource s = Kinder();
  EvalOptions o;
  o.exact = exact;
  Value v = Eval(text, s, o);
  EXPECT_EQ(v.type, ValueType::kLogical) << text;
  return v.logical;
}

std::string Text(const std::string& text) {
  MemorySource s = Kinder();
  Value v = Eval(text, s);
  EXPECT_EQ(v.type, ValueType::kCharacter) << text;
  return v.text;
}

TEST(ExprPrecedence, ArithmeticBindsAsXbaseDoes) {
  EXPECT_DOUBLE_EQ(Num("2 + 3 * 4"), 14);
  EXPECT_DOUBLE_EQ(Num("(2 + 3) * 4"), 20);
  EXPECT_DOUBLE_EQ(Num("2 * 3 ** 2"), 18);
  EXPECT_DOUBLE_EQ(Num("2 ^ 3 ^ 2"), 64);  // left to right: (2^3)^2
  EXPECT_DOUBLE_EQ(Num("-2 ** 2"), 4);     // the sign binds tighter than the power
  EXPECT_DOUBLE_EQ(Num("10 - 4 - 3"), 3);
  EXPECT_DOUBLE_EQ(Num("100 / 10 / 5"), 2);
  EXPECT_DOUBLE_EQ(Num("7 % 3 * 2"), 2);
  EXPECT_DOUBLE_EQ(Num("- - 5"), 5);
  EXPECT_DOUBLE_EQ(Num("+5 - -5"), 10);
  EXPECT_DOUBLE_EQ(Num(".5 + 12."), 12.5);
}

TEST(ExprPrecedence, LogicalOperatorsInAllSpellings) {
  // NOT before AND before OR.
  EXPECT_TRUE(Logic(".T. .OR. .F. .AND. .F."));
  EXPECT_FALSE(Logic("(.T. .OR. .F.) .AND. .F."));
  EXPECT_TRUE(Logic("NOT .F. AND .T."));
  EXPECT_FALSE(Logic("!.T. OR .F."));
  EXPECT_TRUE(Logic(".NOT. 1 > 2"));
  EXPECT_TRUE(Logic("1 < 2 .AND. 3 > 2"));
  EXPECT_TRUE(Logic("MENGE=3.AND.AKTIV"));  // dotted operators need no blanks
  EXPECT_TRUE(Logic(".Y. and .not. .N."));
  EXPECT_TRUE(Logic("1 + 1 = 2 .AND. 'a' + 'b' == 'ab'"));
}

TEST(ExprLiterals, StringsNumbersDatesLogicals) {
  EXPECT_EQ(Text("'x' + \"y\" + [z]"), "xyz");
  EXPECT_EQ(Text("[it's]"), "it's");
  EXPECT_EQ(Text("\"say 'hi'\""), "say 'hi'");
  MemorySource s = Kinder();
  EXPECT_EQ(Eval("{^2010-11-05}", s).julian, JulianFromCivil(2010, 11, 5));
  EXPECT_EQ(Eval("{11/05/2010}", s).julian, JulianFromCivil(2010, 11, 5));
  EXPECT_EQ(Eval("{}", s).julian, 0);
  Value ts = Eval("{^2010-11-05 10:30:15}", s);
  EXPECT_EQ(ts.type, ValueType::kTimestamp);
  EXPECT_EQ(ts.millis, (10 * 3600 + 30 * 60 + 15) * 1000);
  EXPECT_NE(CompileError("{^2010-02-30}", s), "");
  EXPECT_NE(CompileError("{13/01/2010}", s), "");
  auto e = Expression::Compile("12.50", &s);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e->length(), 5u);
  EXPECT_EQ(e->decimals(), 2u);
}

TEST(ExprLiterals, BracketIsAStringOnlyWhereAnOperandStarts) {
  MemorySource s = Kinder();
  EXPECT_TRUE(Logic("NAME = [Meier]"));
  std::string err = CompileError("NAME[1]", s);
  EXPECT_NE(err.find("Unexpected '['"), std::string::npos) << err;
  EXPECT_NE(err.find("position 5"), std::string::npos) << err;
}

TEST(ExprNames, AliasesAreIgnoredAndCaseDoesNotMatter) {
  EXPECT_TRUE(Logic("Kinder->Name = 'Meier'"));
  EXPECT_TRUE(Logic("kinder.name = 'Meier'"));
  EXPECT_TRUE(Logic("kinder -> NaMe = 'Meier'"));
  EXPECT_EQ(Text("upper(name)"), "MEIER               ");
  EXPECT_EQ(Text("SUBS(NAME, 2, 3)"), "eie");  // abbreviated to four letters
  EXPECT_EQ(Text("ALLT(NAME) + '!'"), "Meier!");
  MemorySource s = Kinder();
  EXPECT_NE(CompileError("SUB(NAME, 1)", s).find("Unknown function"), std::string::npos);
  EXPECT_NE(CompileError("UPPE(NAME) + NAMEX", s).find("Unknown field 'NAMEX'"), std::string::npos);
}

TEST(ExprStringComparison, EqualsIsAPrefixTestUnlessExact) {
  EXPECT_TRUE(Logic("NAME = 'Mei'"));
  EXPECT_TRUE(Logic("NAME = ''"));
  EXPECT_FALSE(Logic("'Mei' = 'Meier'"));
  EXPECT_FALSE(Logic("NAME = 'Mei'", /*exact=*/true));
  EXPECT_TRUE(Logic("NAME = 'Meier'", true));  // trailing blanks do not count
  EXPECT_FALSE(Logic("NAME == 'Mei'"));
  EXPECT_TRUE(Logic("NAME == 'Meier'"));
  EXPECT_FALSE(Logic("NAME <> 'Mei'"));
  EXPECT_TRUE(Logic("NAME # 'Mei'", true));
  EXPECT_TRUE(Logic("NAME != 'Mai'"));
  EXPECT_TRUE(Logic("NAME > 'Mai'"));
  EXPECT_TRUE(Logic("NAME >= 'Mei'"));
  EXPECT_FALSE(Logic("NAME < 'Mei'"));
  EXPECT_TRUE(Logic("'Mei' < 'Meier'", true));
}

TEST(ExprStringComparison, SubstringOperator) {
  EXPECT_TRUE(Logic("'eie' $ NAME"));
  EXPECT_FALSE(Logic("'EIE' $ NAME"));
  EXPECT_TRUE(Logic("'' $ 'abc'"));
  EXPECT_FALSE(Logic("'abcd' $ 'abc'"));
  EXPECT_TRUE(Logic("'erl' $ ORT .AND. !('xyz' $ ORT)"));
}

TEST(ExprStringConcatenation, PlusKeepsBlanksMinusMovesThemToTheEnd) {
  EXPECT_EQ(Text("'ab  ' + 'cd'"), "ab  cd");
  EXPECT_EQ(Text("'ab  ' - 'cd'"), "abcd  ");
  EXPECT_EQ(Text("'    ' - 'x '"), "x     ");
  MemorySource s = Kinder();
  auto e = Expression::Compile("NAME - ORT", &s);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e->length(), 35u);
  Value v = *e->Evaluate(s);
  EXPECT_EQ(v.text.size(), 35u);
  EXPECT_EQ(v.text.substr(0, 11), "MeierBerlin");
}

TEST(ExprDateArithmetic, DaysAddAndDatesSubtract) {
  MemorySource s = Kinder();
  EXPECT_EQ(Eval("GEBURT + 30", s).julian, JulianFromCivil(2010, 12, 5));
  EXPECT_EQ(Eval("30 + GEBURT", s).julian, JulianFromCivil(2010, 12, 5));
  EXPECT_EQ(Eval("GEBURT - 5", s).julian, JulianFromCivil(2010, 10, 31));
  EXPECT_DOUBLE_EQ(Num("{^2011-01-01} - GEBURT"), 57);
  EXPECT_DOUBLE_EQ(Num("{^2000-03-01} - {^2000-02-28}"), 2);  // leap year
  EXPECT_DOUBLE_EQ(Num("{^1900-03-01} - {^1900-02-28}"), 1);  // no leap year
  EXPECT_EQ(Eval("{} + 1", s).julian, 0);
  EXPECT_TRUE(Logic("GEBURT > {^2010-11-04} .AND. GEBURT <= {11/05/2010}"));
  EXPECT_TRUE(Logic("ZEIT > GEBURT"));  // 10:00 on the same day
  Value t = Eval("ZEIT + 3600 * 15", s);
  EXPECT_EQ(t.julian, JulianFromCivil(2010, 11, 6));
  EXPECT_EQ(t.millis, 3600000);
  EXPECT_DOUBLE_EQ(Num("ZEIT - CTOT('11/05/2010 09:59:00')"), 60);
}

TEST(ExprTypeChecking, MismatchesAreCompileErrorsWithPositions) {
  MemorySource s = Kinder();
  std::string err = CompileError("IIF(AKTIV, NAME, 1)", s);
  EXPECT_NE(err.find("IIF branches are character and numeric"), std::string::npos) << err;
  EXPECT_NE(err.find("position 18"), std::string::npos) << err;
  EXPECT_NE(CompileError("NAME + 1", s).find("Type mismatch"), std::string::npos);
  EXPECT_NE(CompileError("MENGE = '3'", s).find("position 7"), std::string::npos);
  EXPECT_NE(CompileError("AKTIV .AND. 1", s).find("Type mismatch"), std::string::npos);
  EXPECT_NE(CompileError(".NOT. NAME", s).find("NOT expects a logical"), std::string::npos);
  EXPECT_NE(CompileError("-NAME", s).find("numeric"), std::string::npos);
  EXPECT_NE(CompileError("UPPER(MENGE)", s).find("UPPER expects a character argument 1"),
            std::string::npos);
  EXPECT_NE(CompileError("SUBSTR(NAME)", s).find("SUBSTR expects 2 to 3 argument(s), not 1"),
            std::string::npos);
  EXPECT_NE(CompileError("GEBURT - NAME", s), "");
}

TEST(ExprTypeChecking, EveryNodeKnowsItsType) {
  MemorySource s = Kinder();
  struct Case {
    const char* text;
    ValueType type;
    uint16_t code;
  } cases[] = {
      {"NAME", ValueType::kCharacter, 4},   {"BETRAG * 2", ValueType::kNumeric, 2},
      {"GEBURT + 1", ValueType::kDate, 3},  {"AKTIV .OR. .F.", ValueType::kLogical, 1},
      {"NOW()", ValueType::kTimestamp, 14}, {"IIF(AKTIV, GEBURT, DATE())", ValueType::kDate, 3},
  };
  for (const auto& c : cases) {
    auto e = Expression::Compile(c.text, &s);
    ASSERT_TRUE(e.ok()) << c.text;
    EXPECT_EQ(e->type(), c.type) << c.text;
    EXPECT_EQ(ace::expr::ExpressionTypeCode(e->type()), c.code) << c.text;
  }
}

TEST(ExprErrors, ThePositionNamesWhereSomethingWasExpected) {
  MemorySource s = Kinder();
  EXPECT_EQ(CompileError("UPPER(NAME", s),
            "Expected ')' at position 11 in expression 'UPPER(NAME'");
  EXPECT_EQ(CompileError("(1 + 2", s), "Expected ')' at position 7 in expression '(1 + 2'");
  EXPECT_EQ(CompileError("1 +", s), "Expected an operand at position 4 in expression '1 +'");
  EXPECT_EQ(CompileError("NAME 'x'", s),
            "Expected an operator at position 6 in expression 'NAME 'x''");
  EXPECT_EQ(CompileError("NAME = 'Mei", s),
            "Unterminated string at position 8 in expression 'NAME = 'Mei'");
  EXPECT_EQ(CompileError("1 * * 2", s),
            "Unexpected operator at position 5 in expression '1 * * 2'");
  EXPECT_EQ(CompileError("   ", s), "Empty expression at position 1 in expression '   '");
  EXPECT_NE(CompileError("NAME ~ 1", s).find("Unexpected character '~' at position 6"),
            std::string::npos);
  EXPECT_NE(CompileError("12abc", s).find("Invalid number at position 1"), std::string::npos);
}

TEST(ExprEvaluation, RuntimeFailuresAreReportedNotCrashes) {
  MemorySource s = Kinder();
  auto e = Expression::Compile("BETRAG / (MENGE - 3)", &s);
  ASSERT_TRUE(e.ok());
  auto v = e->Evaluate(s);
  ASSERT_FALSE(v.ok());
  EXPECT_EQ(v.status().code(), ace::kErrInvalidExpression);
  EXPECT_NE(v.status().message().find("Division by zero"), std::string::npos);
  auto r = Expression::Compile("REPLICATE('ab', 40000)", &s);
  ASSERT_TRUE(r.ok());
  EXPECT_FALSE(r->Evaluate(s).ok());
  auto n = Expression::Compile("NAME", &s);
  ASSERT_TRUE(n.ok());
  EXPECT_FALSE(n->EvaluateLogical(s).ok());
  EXPECT_FALSE(Expression::Compile("NAME", nullptr).ok());  // no schema: no fields
}

TEST(ExprEvaluation, NullFieldsActAsEmptyValues) {
  MemorySource s = Kinder();
  s.Set("NAME", Value::TypedNull(ValueType::kCharacter));
  s.Set("MENGE", Value::TypedNull(ValueType::kNumeric));
  EXPECT_TRUE(Eval("ISNULL(NAME) .AND. EMPTY(NAME) .AND. !ISNULL(ORT)", s).logical);
  EXPECT_EQ(Eval("NAME + 'x'", s).text, std::string(20, ' ') + "x");
  EXPECT_DOUBLE_EQ(Eval("MENGE + 1", s).number, 1);
  EXPECT_FALSE(Eval("ISNULL(MENGE + 1)", s).logical);
}

TEST(ExprEvaluation, ShortCircuitSkipsFailingBranches) {
  MemorySource s = Kinder();
  EXPECT_FALSE(Eval(".F. .AND. 1 / 0 > 1", s).logical);
  EXPECT_TRUE(Eval(".T. .OR. 1 / 0 > 1", s).logical);
  EXPECT_DOUBLE_EQ(Eval("IIF(MENGE = 3, 1, 1 / 0)", s).number, 1);
}

TEST(ExprEvaluation, CollationDecidesCharacterComparisons) {
  MemorySource s = Kinder();
  s.SetText("NAME", "M\xfcller");  // Müller
  EvalOptions german;
  german.collation = &ace::expr::Collation::German();
  EXPECT_FALSE(Eval("NAME = 'Muller'", s).logical);
  EXPECT_TRUE(Eval("NAME = 'MULLER'", s, german).logical);
  EXPECT_TRUE(Eval("NAME < 'Mz'", s, german).logical);
  EXPECT_FALSE(Eval("NAME < 'Mz'", s).logical);  // 0xFC sorts after 'z' by machine order
}

}  // namespace

namespace {

TEST(ExprComponentFilters, TheShapesThatTheDatasetBuildsEvaluate) {
  MemorySource s = Kinder();
  s.SetText("ORT", "");
  s.Set("ORT", Value::TypedNull(ValueType::kCharacter));
  EXPECT_TRUE(Eval("(empty(Ort)) AND (Aktiv=.TRUE.)", s).logical);
  EXPECT_FALSE(Eval("(Aktiv=.FALSE.)", s).logical);
  EXPECT_TRUE(Eval("(UPPER(Name)=UPPER(\"meier\"))", s).logical);
  EXPECT_TRUE(Eval("(Betrag=12.5) AND (Menge=3)", s).logical);
  EXPECT_TRUE(Eval("(Geburt=ctod(\"11/05/2010\"))", s).logical);
  EXPECT_TRUE(Eval("(Zeit=ctots(\"11/05/2010 10:00:00\"))", s).logical);
  s.SetText("NAME", "Say \"hi\"");
  EXPECT_TRUE(Eval("(Name=\"Say \"+ Chr(34) + \"hi\"+ Chr(34) + \"\")", s).logical);
}

TEST(ExprComponentFilters, CtodAndDtocFollowTheDateFormat) {
  MemorySource s = Kinder();
  EvalOptions german;
  german.date_format = "DD.MM.YYYY";
  EXPECT_TRUE(Eval("Geburt = ctod('05.11.2010')", s, german).logical);
  EXPECT_FALSE(Eval("Geburt = ctod('05.11.2010')", s).logical);  // 11 May by default
  EXPECT_EQ(Eval("DTOC(Geburt)", s, german).text, "05.11.2010");
  EXPECT_EQ(Eval("DTOC({})", s, german).text, "  .  .    ");
  EXPECT_EQ(Eval("CTOD('2010-11-05')", s, german).julian, JulianFromCivil(2010, 11, 5));
  EXPECT_EQ(Eval("CTOD('20101105')", s).julian, JulianFromCivil(2010, 11, 5));
  EvalOptions ymd;
  ymd.date_format = "YY/MM/DD";
  EXPECT_EQ(Eval("DTOC(Geburt)", s, ymd).text, "10/11/05");
  EXPECT_EQ(Eval("CTOD('99/12/31')", s, ymd).julian, JulianFromCivil(1999, 12, 31));
}

}  // namespace

namespace {

TEST(ExprRobustness, DeepOrLongExpressionsAreRefusedNotOverflowed) {
  MemorySource s = Kinder();
  std::string deep = std::string(5000, '(') + "1" + std::string(5000, ')');
  EXPECT_NE(CompileError(deep, s).find("nested too deeply"), std::string::npos);
  std::string nots;
  for (int i = 0; i < 5000; ++i) nots += "!";
  EXPECT_NE(CompileError(nots + ".T.", s).find("nested too deeply"), std::string::npos);
  std::string chain = "1";
  for (int i = 0; i < 5000; ++i) chain += "+1";
  EXPECT_NE(CompileError(chain, s).find("too long"), std::string::npos);
  // What fits still works.
  std::string ok = std::string(100, '(') + "MENGE" + std::string(100, ')');
  for (int i = 0; i < 1000; ++i) ok += "+1";
  EXPECT_DOUBLE_EQ(Eval(ok, s).number, 1003);
}

TEST(ExprRobustness, ExtremeNumbersInFunctionArgumentsStayDefined) {
  MemorySource s = Kinder();
  EXPECT_EQ(Eval("SUBSTR('abc', (10 ** 300), (10 ** 300))", s).text, "");
  EXPECT_EQ(Eval("SUBSTR('abc', -(10 ** 300))", s).text, "abc");
  EXPECT_EQ(Eval("LEFT('abc', (10 ** 300))", s).text, "abc");
  EXPECT_EQ(Eval("CHR((10 ** 300))", s).text.size(), 1u);
  EXPECT_DOUBLE_EQ(Eval("AT('a', 'aaa', (10 ** 300))", s).number, 0);
  EXPECT_DOUBLE_EQ(Eval("ROUND(1.5, (10 ** 300))", s).number, 1.5);
  EXPECT_DOUBLE_EQ(Eval("ROUND((10 ** 300), 2)", s).number, 1e300);
  EXPECT_EQ(Eval("STR((10 ** 300), 10)", s).text, "**********");
  EXPECT_EQ(Eval("STR(10 ** 200 * 10 ** 200, 12)", s).text, std::string(12, '*'));  // infinite
  EXPECT_FALSE(Expression::Compile("10 ** 400", &s)->Evaluate(s).ok());
  std::string wide = Eval("STR(1.5, 1000, 1)", s).text;
  ASSERT_EQ(wide.size(), 1000u);
  EXPECT_EQ(wide.substr(996), " 1.5");
  auto far = Expression::Compile("GEBURT + 10 ** 300", &s);
  ASSERT_TRUE(far.ok());
  EXPECT_FALSE(far->Evaluate(s).ok());
  auto early = Expression::Compile("{^0001-01-01} - 1", &s);
  ASSERT_TRUE(early.ok());
  EXPECT_FALSE(early->Evaluate(s).ok());
}

}  // namespace

namespace {

TEST(ExprCanonical, SpellingsOfOneExpressionShareTheirText) {
  MemorySource s = Kinder();
  auto canon = [&](const std::string& t) {
    auto e = Expression::Compile(t, &s);
    EXPECT_TRUE(e.ok()) << t;
    return e.ok() ? e->Canonical() : std::string();
  };
  EXPECT_EQ(canon("upper( kinder->name )"), "UPPER(NAME)");
  EXPECT_EQ(canon("Uppe(Name)"), canon("UPPER(NAME)"));
  EXPECT_EQ(canon("SUBS(name,1,3)+dtos(Geburt)"), "(SUBSTR(NAME,1,3)+DTOS(GEBURT))");
  EXPECT_EQ(canon("a.name = \"x\" and !aktiv"), "((NAME='x') .AND. .NOT.AKTIV)");
  EXPECT_EQ(canon("menge # 3 OR geburt = {11/05/2010}"),
            "((MENGE<>3) .OR. (GEBURT={^2010-11-05}))");
  EXPECT_NE(canon("NAME+ORT"), canon("ORT+NAME"));
  // The canonical text compiles again to the same canonical text.
  for (const char* t :
       {"UPPER(NAME) = 'A' .AND. BETRAG * -2 > 1.50 .OR. EMPTY(GEBURT)",
        "IIF(AKTIV, [it's], \"say 'x'\") $ NOTIZ", "ZEIT < {^2010-11-05 10:30:00}"}) {
    std::string once = canon(t);
    EXPECT_EQ(canon(once), once) << t;
  }
  auto fields = Expression::Compile("NAME + ORT + UPPER(NAME) + DTOS(GEBURT)", &s)->FieldNames();
  EXPECT_EQ(fields, (std::vector<std::string>{"NAME", "ORT", "GEBURT"}));
}

}  // namespace

namespace {

// A source that delivers trimmed text, as a careless implementation might.
class TrimmingSource : public MemorySource {
 public:
  ace::Result<Value> FieldValue(const FieldRef& f) const override {
    auto v = MemorySource::FieldValue(f);
    if (v.ok() && v->type == ValueType::kCharacter) {
      while (!v->text.empty() && v->text.back() == ' ') v->text.pop_back();
      v->text += "0123456789012345678901234567890";  // and even too long
    }
    return v;
  }
};

TEST(ExprEvaluation, FixedLengthFieldsKeepTheirLengthWhateverTheSourceDelivers) {
  TrimmingSource s;
  s.Add("NAME", ValueType::kCharacter, 8).Add("ORT", ValueType::kCharacter, 4);
  s.Add("NOTIZ", ValueType::kCharacter, 0);
  s.SetText("NAME", "Meier").SetText("ORT", "Ulm").SetText("NOTIZ", "x");
  auto e = Expression::Compile("NAME + ORT", &s);
  ASSERT_TRUE(e.ok());
  EXPECT_EQ(e->Evaluate(s)->text, "Meier012Ulm0");
  EXPECT_EQ(Eval("NOTIZ", s).text.size(), 32u);  // variable length: as delivered
}

}  // namespace
