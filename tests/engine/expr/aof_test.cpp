// Optimized-filter analysis against index key expressions, and field-name rewriting between
// long and short names.
#include <gtest/gtest.h>

#include "engine/expr/aof.h"
#include "engine/expr/name_rewrite.h"
#include "tests/engine/expr/memory_source.h"

namespace {

using namespace expr_test;
using ace::expr::AnalyzeFilter;
using ace::expr::AofPlan;
using ace::expr::Expression;
using ace::expr::Op;
using ace::expr::OptLevel;

class ExprAof : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* k : {"NAME", "UPPER(ORT)", "GEBURT", "AKTIV", "STR(MENGE, 5) + NAME"}) {
      auto e = Expression::Compile(k, &src_);
      ASSERT_TRUE(e.ok()) << k;
      keys_.push_back(std::move(*e));
    }
  }
  AofPlan Plan(const std::string& filter) {
    auto f = Expression::Compile(filter, &src_);
    EXPECT_TRUE(f.ok()) << filter << ": " << f.status().message();
    filters_.push_back(std::make_unique<Expression>(std::move(*f)));
    std::vector<const Expression*> keys;
    for (const auto& k : keys_) keys.push_back(&k);
    auto plan = AnalyzeFilter(*filters_.back(), keys);
    EXPECT_TRUE(plan.ok()) << plan.status().message();
    return plan.ok() ? std::move(*plan) : AofPlan{};
  }
  MemorySource src_ = Kinder();
  std::vector<Expression> keys_;
  std::vector<std::unique_ptr<Expression>> filters_;
};

TEST_F(ExprAof, SimpleTermsOnIndexedExpressionsAreFull) {
  AofPlan p = Plan("NAME = 'Meier'");
  EXPECT_EQ(p.level, OptLevel::kFull);
  ASSERT_EQ(p.terms.size(), 1u);
  EXPECT_TRUE(p.terms[0].resolvable);
  EXPECT_EQ(p.terms[0].index, 0);
  EXPECT_EQ(p.terms[0].op, Op::kEq);
  EXPECT_EQ(p.terms[0].constant.text, "Meier");
  EXPECT_EQ(p.residual, "");

  AofPlan u = Plan("upper(kinder->ort) >= 'B' .AND. GEBURT < {^2011-01-01}");
  EXPECT_EQ(u.level, OptLevel::kFull);
  ASSERT_EQ(u.terms.size(), 2u);
  EXPECT_EQ(u.terms[0].index, 1);
  EXPECT_EQ(u.terms[1].index, 2);
  EXPECT_EQ(u.terms[1].constant.julian, ace::expr::JulianFromCivil(2011, 1, 1));
}

TEST_F(ExprAof, ConstantOnTheLeftFlipsTheOperator) {
  AofPlan p = Plan("{^2000-01-01} < GEBURT");
  ASSERT_EQ(p.terms.size(), 1u);
  EXPECT_EQ(p.terms[0].op, Op::kGt);
  EXPECT_EQ(p.level, OptLevel::kFull);
  // The constant side may be computed, as long as it reads no field.
  AofPlan c = Plan("GEBURT >= CTOD('01/01/2000') + 7");
  ASSERT_EQ(c.terms.size(), 1u);
  EXPECT_TRUE(c.terms[0].resolvable);
  EXPECT_EQ(c.terms[0].constant.julian, ace::expr::JulianFromCivil(2000, 1, 8));
}

TEST_F(ExprAof, UnindexedTermsMakeAndPartialAndOrNone) {
  AofPlan a = Plan("NAME = 'Meier' .AND. BETRAG > 10");
  EXPECT_EQ(a.level, OptLevel::kPartial);
  EXPECT_TRUE(a.terms[0].resolvable);
  EXPECT_FALSE(a.terms[1].resolvable);
  EXPECT_EQ(a.residual, "(BETRAG>10)");

  AofPlan o = Plan("NAME = 'Meier' .OR. BETRAG > 10");
  EXPECT_EQ(o.level, OptLevel::kNone);
  EXPECT_EQ(o.residual, "((NAME='Meier') .OR. (BETRAG>10))");

  AofPlan n = Plan("BETRAG > 10 .AND. 'x' $ NAME");
  EXPECT_EQ(n.level, OptLevel::kNone);

  // ORs of partially optimized parts stay partial.
  AofPlan op = Plan("(NAME = 'A' .AND. BETRAG > 1) .OR. (GEBURT = {} .AND. MENGE = 2)");
  EXPECT_EQ(op.level, OptLevel::kPartial);

  // Case matters: NAME is indexed, UPPER(NAME) is not; ORT only as UPPER(ORT).
  EXPECT_EQ(Plan("UPPER(NAME) = 'MEIER'").level, OptLevel::kNone);
  EXPECT_EQ(Plan("ORT = 'Berlin'").level, OptLevel::kNone);
  // A field compared with a field is no index term.
  EXPECT_EQ(Plan("NAME = ORT").level, OptLevel::kNone);
  // Nor is RECNO() a constant.
  EXPECT_EQ(Plan("GEBURT > {} + RECNO()").level, OptLevel::kNone);
}

TEST_F(ExprAof, ChainsFlattenAndNotKeepsFullOnly) {
  AofPlan p = Plan("NAME = 'A' .AND. GEBURT = {} .AND. MENGE = 1 .AND. AKTIV");
  EXPECT_EQ(p.level, OptLevel::kPartial);
  EXPECT_EQ(p.root.children.size(), 4u);
  EXPECT_EQ(p.residual, "(MENGE=1)");

  EXPECT_EQ(Plan(".NOT. (NAME = 'A')").level, OptLevel::kFull);
  EXPECT_EQ(Plan(".NOT. (NAME = 'A' .AND. MENGE = 1)").level, OptLevel::kNone);
}

TEST_F(ExprAof, LogicalKeysAndConcatenatedKeyPrefixes) {
  AofPlan yes = Plan("AKTIV");
  EXPECT_EQ(yes.level, OptLevel::kFull);
  ASSERT_EQ(yes.terms.size(), 1u);
  EXPECT_TRUE(yes.terms[0].constant.logical);
  AofPlan no = Plan("!AKTIV");
  EXPECT_EQ(no.level, OptLevel::kFull);
  ASSERT_EQ(no.terms.size(), 1u);
  EXPECT_FALSE(no.terms[0].constant.logical);

  AofPlan prefix = Plan("STR(MENGE, 5) = '    3'");
  ASSERT_EQ(prefix.terms.size(), 1u);
  EXPECT_TRUE(prefix.terms[0].resolvable);
  EXPECT_TRUE(prefix.terms[0].key_prefix);
  EXPECT_EQ(prefix.terms[0].index, 4);
  EXPECT_EQ(Plan("STR(MENGE, 5) == '    3'").level, OptLevel::kFull);
  EXPECT_EQ(Plan("GEBURT < CTOT('10:00')").level, OptLevel::kNone);  // timestamp vs date key
}

TEST_F(ExprAof, OnlyLogicalFiltersAreAnalyzed) {
  auto f = Expression::Compile("NAME", &src_);
  ASSERT_TRUE(f.ok());
  EXPECT_EQ(AnalyzeFilter(*f, {}).status().code(), ace::kErrInvalidExpression);
  AofPlan none = Plan("NAME = 'x'");
  auto g = Expression::Compile("NAME = 'x'", &src_);
  EXPECT_EQ(AnalyzeFilter(*g, {})->level, OptLevel::kNone);
}

TEST(ExprNameRewrite, OnlyFieldNamesChange) {
  auto map = [](std::string_view n) -> std::optional<std::string> {
    std::string up(n);
    for (char& c : up) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (up == "GEBURTSORT_LANG") return std::string("GEBURTSORT");
    if (up == "NAME") return std::string("N");
    return std::nullopt;
  };
  auto r = ace::expr::RewriteFieldNames(
      "Geburtsort_Lang = 'Name' .AND. kinder->name $ \"NAME\" .or. Upper( name )=[name] "
      "AND NAME(1)",
      map);
  ASSERT_TRUE(r.ok()) << r.status().message();
  // A name followed by "(" is a function and stays; so do literals and the alias.
  EXPECT_EQ(*r,
            "GEBURTSORT = 'Name' .AND. kinder->N $ \"NAME\" .or. Upper( N )=[name] AND NAME(1)");
  auto bad = ace::expr::RewriteFieldNames("NAME = 'open", map);
  EXPECT_EQ(bad.status().code(), ace::kErrInvalidExpression);
  EXPECT_EQ(*ace::expr::RewriteFieldNames("", map), "");
}

TEST(ExprNameRewrite, ShortNamesAreUniqueAndAtMostTenBytes) {
  auto names = ace::expr::MakeShortNames(
      {"Name", "Geburtsdatum", "Geburtsdatum_Vater", "Geburtsdatum_Mutter", "GEBURTSDAT"});
  ASSERT_EQ(names.size(), 5u);
  EXPECT_EQ(names[0], "Name");
  EXPECT_EQ(names[4], "GEBURTSDAT");  // already short: kept, and its name is taken
  EXPECT_EQ(names[1], "Geburtsd~1");
  EXPECT_EQ(names[2], "Geburtsd~2");
  EXPECT_EQ(names[3], "Geburtsd~3");
  for (const auto& n : names) EXPECT_LE(n.size(), 10u);

  // Long to short and back gives the original text.
  std::vector<std::string> longs = {"Geburtsdatum_Vater", "Ort"};
  auto shorts = ace::expr::MakeShortNames(longs);
  auto to_short = [&](std::string_view n) -> std::optional<std::string> {
    for (size_t i = 0; i < longs.size(); ++i) {
      if (longs[i] == n) return shorts[i];
    }
    return std::nullopt;
  };
  auto to_long = [&](std::string_view n) -> std::optional<std::string> {
    for (size_t i = 0; i < shorts.size(); ++i) {
      if (shorts[i] == n) return longs[i];
    }
    return std::nullopt;
  };
  std::string text = "DTOS(Geburtsdatum_Vater) > '2000' .AND. Ort = 'x'";
  auto s = ace::expr::RewriteFieldNames(text, to_short);
  ASSERT_TRUE(s.ok());
  EXPECT_EQ(*s, "DTOS(Geburtsdat) > '2000' .AND. Ort = 'x'");
  EXPECT_EQ(*ace::expr::RewriteFieldNames(*s, to_long), text);
}

}  // namespace

namespace {

using ace::expr::KeySpec;

// For random records, a key lies in the term's range exactly when the term holds for the record.
void ExpectRangeMatchesEvaluation(const std::string& key_text, const std::string& term_text,
                                  bool exact, const std::vector<std::string>& names) {
  MemorySource src = Kinder();
  auto key = Expression::Compile(key_text, &src);
  auto term = Expression::Compile(term_text, &src);
  ASSERT_TRUE(key.ok() && term.ok()) << term_text;
  auto plan = AnalyzeFilter(*term, {&*key});
  ASSERT_TRUE(plan.ok());
  ASSERT_EQ(plan->level, OptLevel::kFull) << term_text;
  KeySpec spec = *ace::expr::KeySpecOf(*key, ace::expr::Collation::Machine());
  auto range = ace::expr::TermKeyRange(plan->terms[0], spec, exact);
  ASSERT_TRUE(range.ok()) << range.status().message();
  ace::expr::EvalOptions options;
  options.exact = exact;
  for (const auto& name : names) {
    for (double menge : {1.0, 3.0, 12.0}) {
      src.SetText("NAME", name).SetNumber("MENGE", menge);
      std::string k = *ace::expr::BuildKey(*key, spec, src);
      bool in = (!range->low || (range->low_inclusive ? k >= *range->low : k > *range->low)) &&
                (!range->high || (range->high_inclusive ? k <= *range->high : k < *range->high));
      if (range->complement) in = !in;
      EXPECT_EQ(in, *term->EvaluateLogical(src, options))
          << term_text << " exact=" << exact << " NAME='" << name << "' MENGE=" << menge;
    }
  }
}

TEST(ExprAofRanges, KeyRangesSelectWhatEvaluationSelects) {
  std::vector<std::string> names = {"",
                                    "M",
                                    "Me",
                                    "Mei",
                                    "Mei x",
                                    "Meier",
                                    "Meiers",
                                    "Mehl",
                                    "Mf",
                                    "A",
                                    "Z",
                                    "mei",
                                    std::string(20, 'M'),
                                    "Mei\xff",
                                    "Mei "};
  for (bool exact : {false, true}) {
    for (const char* op : {"=", "==", "<>", "<", "<=", ">", ">="}) {
      ExpectRangeMatchesEvaluation("NAME", std::string("NAME ") + op + " 'Mei'", exact, names);
      ExpectRangeMatchesEvaluation("NAME", std::string("NAME ") + op + " ''", exact, names);
      ExpectRangeMatchesEvaluation("NAME+STR(MENGE, 5)", std::string("NAME ") + op + " 'Mei'",
                                   exact, names);
      ExpectRangeMatchesEvaluation("MENGE", std::string("MENGE ") + op + " 3", exact, names);
      ExpectRangeMatchesEvaluation("STR(MENGE, 5)+NAME",
                                   std::string("STR(MENGE, 5) ") + op + " '    3'", exact, names);
    }
  }
}

TEST(ExprAofRanges, UnresolvableTermsHaveNoRange) {
  MemorySource src = Kinder();
  auto f = Expression::Compile("BETRAG > 1", &src);
  auto plan = AnalyzeFilter(*f, {});
  ASSERT_TRUE(plan.ok());
  KeySpec spec{ValueType::kNumeric, 8, &ace::expr::Collation::Machine()};
  EXPECT_EQ(ace::expr::TermKeyRange(plan->terms[0], spec, false).status().code(),
            ace::kErrInvalidArgument);
}

}  // namespace

namespace {

TEST(ExprAofRanges, TrailingBlanksOfAConstantStayInsideTheKeyPart) {
  // NAME is 20 characters: blanks past them must not ask the next part to start with blanks.
  std::vector<std::string> names = {"Mei", "Meier", std::string(20, 'M'), ""};
  const std::string padded = "'Mei" + std::string(22, ' ') + "'";
  for (bool exact : {false, true}) {
    for (const char* op : {"=", "=="}) {
      ExpectRangeMatchesEvaluation("NAME+ORT", std::string("NAME ") + op + " " + padded,
                                   exact, names);
    }
  }
}

TEST(ExprAofRanges, ConstantsLongerThanTheKeyPartAreNotResolvable) {
  // NAME holds 20 characters; a 21st that is not a blank cannot be compared through the key.
  MemorySource src = Kinder();
  auto key = Expression::Compile("NAME", &src);
  for (const char* text : {"NAME < 'MMMMMMMMMMMMMMMMMMMMx'", "NAME = 'MMMMMMMMMMMMMMMMMMMMx'"}) {
    auto f = Expression::Compile(text, &src);
    ASSERT_TRUE(f.ok()) << text;
    auto plan = AnalyzeFilter(*f, {&*key});
    ASSERT_TRUE(plan.ok());
    EXPECT_EQ(plan->level, OptLevel::kNone) << text;
    EXPECT_FALSE(plan->terms[0].resolvable) << text;
  }
  auto twenty = Expression::Compile("NAME = 'MMMMMMMMMMMMMMMMMMMM   '", &src);
  auto plan = AnalyzeFilter(*twenty, {&*key});
  ASSERT_TRUE(plan.ok());
  EXPECT_EQ(plan->level, OptLevel::kFull);
}

}  // namespace
