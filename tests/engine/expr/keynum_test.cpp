// KEYNUM, the text of a number in keys of several segments: its texts sort as the numbers do
// (negative ones, fractions to the decimals, values too wide for the field, null), in machine
// order and in every collation, and the function compiles only with a constant width.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/expr/collation.h"
#include "engine/expr/expression.h"

namespace {

using ace::expr::Collation;
using ace::expr::SortableNumber;
using ace::expr::Value;

std::string Key(double v, int width = 6, int decimals = 2) {
  return SortableNumber(
      Value::Numeric(v, static_cast<int16_t>(width), static_cast<int16_t>(decimals)), width,
      decimals);
}

TEST(KeyNum, TextsSortAsTheNumbers) {
  EXPECT_EQ(Key(9, 4, 0), "10009");
  EXPECT_EQ(Key(10, 4, 0), "10010");
  EXPECT_EQ(Key(-10, 4, 0), "09989");
  EXPECT_EQ(Key(-0.001, 4, 2), "10000");  // rounds to zero: no negative zero
  EXPECT_EQ(Key(1.125, 4, 2), "10113");   // half away from zero
  EXPECT_EQ(Key(123456, 4, 0), "19999");  // too wide: the largest magnitude
  EXPECT_EQ(Key(-123456, 4, 0), "00000");
  Value null = Value::Numeric(0, 4, 0);
  null.is_null = true;
  EXPECT_EQ(SortableNumber(null, 4, 0), "     ");

  std::mt19937 rng(17);
  std::vector<double> values = {0, -0.5, 0.5, -9999.99, 9999.99, 10, 9, -9, -10, 100, -100};
  for (int i = 0; i < 400; ++i)
    values.push_back(static_cast<double>(static_cast<int>(rng() % 2000000) - 1000000) / 100.0);
  for (const Collation* c :
       {&Collation::Machine(), &Collation::CaseInsensitive(), &Collation::German()}) {
    std::vector<double> byKey = values;
    std::stable_sort(byKey.begin(), byKey.end(), [&](double a, double b) {
      return c->KeyBytes(Key(a, 7, 2), 8) < c->KeyBytes(Key(b, 7, 2), 8);
    });
    std::vector<double> byValue = values;
    std::stable_sort(byValue.begin(), byValue.end());
    EXPECT_EQ(byKey, byValue) << c->name();
    // Null sorts before every number.
    EXPECT_LT(c->KeyBytes(SortableNumber(null, 7, 2), 8), c->KeyBytes(Key(-99999.99, 7, 2), 8));
  }
}

TEST(KeyNum, CompilesWithAConstantWidth) {
  auto ok = ace::expr::Expression::Compile("KEYNUM(-12.5, 5, 1)", nullptr);
  ASSERT_TRUE(ok.ok()) << ok.status().message();
  EXPECT_EQ(ok->type(), ace::expr::ValueType::kCharacter);
  EXPECT_EQ(ok->length(), 6u);
  EXPECT_FALSE(ace::expr::Expression::Compile("KEYNUM(1, 0, 0)", nullptr).ok());
  EXPECT_FALSE(ace::expr::Expression::Compile("KEYNUM('a', 3, 0)", nullptr).ok());
  EXPECT_FALSE(ace::expr::Expression::Compile("KEYNUM(1, 3)", nullptr).ok());
}

}  // namespace
