// Index keys: the lengths of key expressions and byte encodings that sort like the values.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "engine/expr/key_encoding.h"
#include "tests/engine/expr/memory_source.h"

namespace {

using namespace expr_test;
using ace::expr::Collation;
using ace::expr::EncodeKey;
using ace::expr::EncodeKeyFromText;
using ace::expr::Expression;
using ace::expr::FindCollation;
using ace::expr::KeySpec;
using ace::expr::KeySpecOf;

KeySpec SpecOf(const std::string& text, const Collation& c = Collation::Machine()) {
  MemorySource s = Kinder();
  auto e = Expression::Compile(text, &s);
  EXPECT_TRUE(e.ok()) << text << ": " << e.status().message();
  if (!e.ok()) return KeySpec{};
  auto spec = KeySpecOf(*e, c);
  EXPECT_TRUE(spec.ok()) << text << ": " << spec.status().message();
  return spec.ok() ? *spec : KeySpec{};
}

TEST(ExprKeyLength, OfTypicalIndexExpressions) {
  struct Case {
    const char* text;
    ValueType type;
    uint32_t length;
  } cases[] = {
      {"NAME", ValueType::kCharacter, 20},
      {"UPPER(NAME)", ValueType::kCharacter, 20},
      {"NAME+ORT", ValueType::kCharacter, 35},
      {"UPPER(NAME)+DTOS(GEBURT)", ValueType::kCharacter, 28},
      {"STR(BETRAG, 10, 2)", ValueType::kCharacter, 10},
      {"STR(MENGE)", ValueType::kCharacter, 5},
      {"STR(MENGE, 3) + NAME", ValueType::kCharacter, 23},
      {"DTOS(GEBURT)", ValueType::kCharacter, 8},
      {"LEFT(NAME, 4)", ValueType::kCharacter, 4},
      {"SUBSTR(NAME, 3)", ValueType::kCharacter, 18},
      {"SUBSTR(NAME, 3, 5)", ValueType::kCharacter, 5},
      {"SUBSTR(NAME, 19, 5)", ValueType::kCharacter, 2},
      {"TRIM(NAME) + ORT", ValueType::kCharacter, 35},
      {"IIF(AKTIV, NAME, ORT)", ValueType::kCharacter, 20},
      {"PADR(NAME, 30)", ValueType::kCharacter, 30},
      {"BETRAG", ValueType::kNumeric, 8},
      {"BETRAG * MENGE", ValueType::kNumeric, 8},
      {"GEBURT", ValueType::kDate, 8},
      {"ZEIT", ValueType::kTimestamp, 8},
      {"AKTIV", ValueType::kLogical, 1},
  };
  for (const auto& c : cases) {
    KeySpec spec = SpecOf(c.text);
    EXPECT_EQ(spec.type, c.type) << c.text;
    EXPECT_EQ(spec.length, c.length) << c.text;
  }
}

TEST(ExprKeyLength, AnExpressionWithoutFixedLengthIsRefused) {
  MemorySource s = Kinder();
  auto e = Expression::Compile("UPPER(NOTIZ)", &s);
  ASSERT_TRUE(e.ok());
  auto spec = KeySpecOf(*e, Collation::Machine());
  ASSERT_FALSE(spec.ok());
  EXPECT_NE(spec.status().message().find("no fixed length"), std::string::npos);
  auto sub = Expression::Compile("SUBSTR(NAME, MENGE)", &s);  // start not constant
  ASSERT_TRUE(sub.ok());
  EXPECT_EQ(sub->length(), 20u);  // the field's length bounds it
}

TEST(ExprKeyLength, KeysHaveTheirLengthWhateverTheValue) {
  MemorySource s = Kinder();
  auto e = Expression::Compile("TRIM(NAME)+ORT", &s);
  ASSERT_TRUE(e.ok());
  KeySpec spec = *KeySpecOf(*e, Collation::Machine());
  std::string key = EncodeKey(*e->Evaluate(s), spec);
  EXPECT_EQ(key.size(), 35u);
  EXPECT_EQ(key.substr(0, 11), "MeierBerlin");
  EXPECT_EQ(key.back(), ' ');
}

// Sorting the keys must give the values' order.
template <typename T, typename ToValue>
void ExpectKeysSortLikeValues(std::vector<T> values, const KeySpec& spec, ToValue to_value) {
  std::vector<std::pair<std::string, T>> keyed;
  for (const T& v : values) keyed.emplace_back(EncodeKey(to_value(v), spec), v);
  for (const auto& k : keyed) ASSERT_EQ(k.first.size(), spec.length);
  std::sort(values.begin(), values.end());
  std::stable_sort(keyed.begin(), keyed.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(keyed[i].second, values[i]) << "at " << i;
  }
}

TEST(ExprKeyEncoding, NumbersSortLikeDoublesIncludingNegatives) {
  std::mt19937 rng(20261209);
  std::uniform_real_distribution<double> wide(-1e12, 1e12);
  std::uniform_real_distribution<double> narrow(-2, 2);
  std::vector<double> values = {0.0, -0.0, 1e-300, -1e-300, 1e300, -1e300, 0.5, -0.5, 1, -1};
  for (int i = 0; i < 2000; ++i) values.push_back(i % 2 ? wide(rng) : narrow(rng));
  KeySpec spec{ValueType::kNumeric, 8, &Collation::Machine()};
  ExpectKeysSortLikeValues(values, spec, [](double d) { return Value::Numeric(d); });
  for (double d : {-12.5, 0.0, 3.25, 1e20}) {
    EXPECT_EQ(ace::expr::DecodeDoubleKey(ace::expr::EncodeDoubleKey(d)), d);
  }
  EXPECT_EQ(ace::expr::EncodeDoubleKey(-0.0), ace::expr::EncodeDoubleKey(0.0));
  // Null sorts before every number.
  EXPECT_LT(EncodeKey(Value::TypedNull(ValueType::kNumeric), spec),
            EncodeKey(Value::Numeric(-1e308), spec));
}

TEST(ExprKeyEncoding, DatesTimestampsAndLogicalsSortLikeTheirValues) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> day(1721426, 5373484);  // years 1 to 9999
  std::vector<int32_t> days = {0};
  for (int i = 0; i < 500; ++i) days.push_back(day(rng));
  ExpectKeysSortLikeValues(days, KeySpec{ValueType::kDate, 8, &Collation::Machine()},
                           [](int32_t j) { return Value::Date(j); });
  std::uniform_int_distribution<int32_t> ms(0, 86399999);
  std::vector<std::pair<int32_t, int32_t>> stamps = {{0, 0}};
  for (int i = 0; i < 500; ++i) stamps.emplace_back(day(rng) % 100 + 2451545, ms(rng));
  ExpectKeysSortLikeValues(
      stamps, KeySpec{ValueType::kTimestamp, 8, &Collation::Machine()},
      [](const std::pair<int32_t, int32_t>& p) { return Value::Timestamp(p.first, p.second); });
  KeySpec logical{ValueType::kLogical, 1, &Collation::Machine()};
  EXPECT_LT(EncodeKey(Value::Logical(false), logical), EncodeKey(Value::Logical(true), logical));
}

std::string RandomText(std::mt19937& rng, const std::string& alphabet) {
  std::uniform_int_distribution<size_t> len(0, 8), pick(0, alphabet.size() - 1);
  std::string s;
  for (size_t n = len(rng); n > 0; --n) s += alphabet[pick(rng)];
  return s;
}

TEST(ExprKeyEncoding, MachineOrderIsByteOrderOfBlankPaddedText) {
  std::mt19937 rng(11);
  std::vector<std::string> texts;
  for (int i = 0; i < 1000; ++i) texts.push_back(RandomText(rng, "abAB z09\xe4\xc4"));
  KeySpec spec{ValueType::kCharacter, 10, &Collation::Machine()};
  auto padded = texts;
  for (auto& t : padded) t.resize(10, ' ');
  ExpectKeysSortLikeValues(padded, spec, [](const std::string& s) { return Value::Character(s); });
}

TEST(ExprKeyEncoding, CaseInsensitiveCollationIgnoresCase) {
  auto c = FindCollation("GENERAL_VFP_CI_AS_1252");
  ASSERT_TRUE(c.ok());
  KeySpec spec{ValueType::kCharacter, 6, *c};
  EXPECT_EQ(EncodeKey(Value::Character("meier"), spec), EncodeKey(Value::Character("MEIER"), spec));
  EXPECT_EQ(EncodeKey(Value::Character("\xe4"), spec), EncodeKey(Value::Character("\xc4"), spec));
  EXPECT_LT(EncodeKey(Value::Character("apfel"), spec), EncodeKey(Value::Character("Birne"), spec));
}

TEST(ExprKeyEncoding, GermanCollationSortsUmlautsAsTheirBaseLetters) {
  auto c = FindCollation("GERMAN_VFP_CI_AS_1252");
  ASSERT_TRUE(c.ok());
  EXPECT_EQ((*c)->kind(), ace::expr::CollationKind::kGerman);
  KeySpec spec{ValueType::kCharacter, 12, *c};
  auto key = [&](const std::string& s) { return EncodeKey(Value::Character(s), spec); };
  // Müller sorts with Muller, between Mueller and Mulz; Öl as Ol; ß as ss.
  EXPECT_EQ(key("M\xfcller"), key("Muller"));
  EXPECT_LT(key("Mueller"), key("M\xfcller"));
  EXPECT_LT(key("M\xfcller"), key("Mulz"));
  EXPECT_EQ(key("\xd6l"), key("ol"));
  EXPECT_EQ(key("Stra\xdf"
                "e"),
            key("STRASSE"));
  EXPECT_LT(key("Stra\xdf"
                "e"),
            key("Strasz"));
  EXPECT_GT(key("Stra\xdf"
                "e"),
            key("Strasr"));
  EXPECT_EQ(key("\xc4rger"), key("Arger"));
  EXPECT_LT(key("\xc4rger"), key("Bach"));  // machine order would put Ä after every ASCII letter
  // An expansion past the key length is cut, never written beyond it.
  KeySpec two{ValueType::kCharacter, 2, *c};
  EXPECT_EQ(EncodeKey(Value::Character("a\xdf"), two), "AS");

  // Random words sort like their German spelling with umlauts replaced.
  std::mt19937 rng(3);
  std::vector<std::string> words;
  for (int i = 0; i < 500; ++i) words.push_back(RandomText(rng, "aouAOUs\xe4\xf6\xfc\xc4\xd6\xdc"));
  auto plain = [](std::string s) {
    std::string out;
    for (char ch : s) {
      switch (static_cast<unsigned char>(ch)) {
        case 0xE4:
        case 0xC4:
          out += 'A';
          break;
        case 0xF6:
        case 0xD6:
          out += 'O';
          break;
        case 0xFC:
        case 0xDC:
          out += 'U';
          break;
        default:
          out += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
      }
    }
    out.resize(12, ' ');
    return out;
  };
  std::vector<std::string> by_key = words;
  std::stable_sort(by_key.begin(), by_key.end(),
                   [&](const std::string& a, const std::string& b) { return key(a) < key(b); });
  for (size_t i = 1; i < by_key.size(); ++i) {
    EXPECT_LE(plain(by_key[i - 1]), plain(by_key[i])) << i;
  }
}

TEST(ExprCollations, AreChosenByName) {
  EXPECT_EQ((*FindCollation(""))->kind(), ace::expr::CollationKind::kMachine);
  EXPECT_EQ((*FindCollation("ANSI"))->kind(), ace::expr::CollationKind::kMachine);
  EXPECT_EQ((*FindCollation("machine_vfp_bin_1252"))->kind(), ace::expr::CollationKind::kMachine);
  EXPECT_EQ((*FindCollation("GERMAN_ADS_CS_AS_1252"))->kind(), ace::expr::CollationKind::kGerman);
  EXPECT_EQ((*FindCollation("DUDEN_DE_ADS_CS_AS_1252"))->kind(), ace::expr::CollationKind::kGerman);
  EXPECT_EQ((*FindCollation("DUTCH_VFP_CI_AS_1252"))->kind(),
            ace::expr::CollationKind::kCaseInsensitive);
  auto unknown = FindCollation("KLINGON_ADS_CS_AS_1252");
  ASSERT_FALSE(unknown.ok());
  EXPECT_EQ(unknown.status().code(), ace::kErrNoCollation);
}

TEST(ExprKeyEncoding, TextKeysForSeeksAndScopes) {
  KeySpec chars{ValueType::kCharacter, 10, &Collation::CaseInsensitive()};
  EXPECT_EQ(*EncodeKeyFromText("mei", chars), "MEI");  // partial: not padded
  EXPECT_EQ(EncodeKeyFromText("abcdefghijklm", chars)->size(), 10u);
  KeySpec num{ValueType::kNumeric, 8, &Collation::Machine()};
  EXPECT_EQ(*EncodeKeyFromText(" 12.5 ", num), ace::expr::EncodeDoubleKey(12.5));
  EXPECT_EQ(EncodeKeyFromText("12x", num).status().code(), ace::kErrConversion);
  KeySpec date{ValueType::kDate, 8, &Collation::Machine()};
  int32_t j = ace::expr::JulianFromCivil(2010, 11, 5);
  EXPECT_EQ(*EncodeKeyFromText("20101105", date), ace::expr::EncodeDoubleKey(j));
  EXPECT_EQ(*EncodeKeyFromText("11/05/2010", date), ace::expr::EncodeDoubleKey(j));
  EXPECT_FALSE(EncodeKeyFromText("20101305", date).ok());
  KeySpec logical{ValueType::kLogical, 1, &Collation::Machine()};
  EXPECT_EQ(*EncodeKeyFromText(".t.", logical), "T");
  EXPECT_FALSE(EncodeKeyFromText("maybe", logical).ok());
}

}  // namespace

namespace {

TEST(ExprKeySegments, ConcatenationsSplitIntoTheirFields) {
  MemorySource s = Kinder();
  auto e = Expression::Compile("UPPER(NAME) + DTOS(GEBURT) + 'x' + STR(MENGE, 3)", &s);
  ASSERT_TRUE(e.ok());
  auto segs = e->KeySegments();
  ASSERT_EQ(segs.size(), 4u);
  EXPECT_EQ(segs[0].field, "NAME");
  EXPECT_EQ(segs[0].text, "UPPER(NAME)");
  EXPECT_EQ(segs[0].length, 20u);
  EXPECT_EQ(segs[1].field, "GEBURT");
  EXPECT_EQ(segs[1].length, 8u);
  EXPECT_EQ(segs[2].field, "");
  EXPECT_EQ(segs[3].field, "MENGE");
  EXPECT_EQ(segs[3].length, 3u);
  auto n = Expression::Compile("BETRAG + MENGE", &s);  // numeric: one segment
  ASSERT_TRUE(n.ok());
  ASSERT_EQ(n->KeySegments().size(), 1u);
  EXPECT_EQ(n->KeySegments()[0].field, "BETRAG");
}

TEST(ExprKeyEncoding, BuildKeyEvaluatesAndEncodes) {
  MemorySource s = Kinder();
  auto e = Expression::Compile("UPPER(NAME)", &s);
  ASSERT_TRUE(e.ok());
  KeySpec spec = *KeySpecOf(*e, Collation::Machine());
  auto key = ace::expr::BuildKey(*e, spec, s);
  ASSERT_TRUE(key.ok());
  EXPECT_EQ(*key, "MEIER" + std::string(15, ' '));
  auto bad = Expression::Compile("STR(BETRAG / (MENGE - 3))", &s);
  ASSERT_TRUE(bad.ok());
  EXPECT_FALSE(ace::expr::BuildKey(*bad, *KeySpecOf(*bad, Collation::Machine()), s).ok());
}

TEST(ExprFieldRefs, StoredFieldsMapToExpressionTypesAndWidths) {
  namespace st = ace::storage;
  auto ref = [](uint16_t type, uint32_t length, uint16_t decimals = 0,
                st::TableType table = st::TableType::kAdt) {
    st::FieldDesc d;
    d.name = "F";
    d.type = type;
    d.length = length;
    d.decimals = decimals;
    return ace::expr::FieldRefFromDesc(d, 7, table);
  };
  auto c = ref(st::kFtString, 25);
  EXPECT_EQ(c.type, ValueType::kCharacter);
  EXPECT_EQ(c.length, 25u);
  EXPECT_EQ(c.id, 7);
  EXPECT_EQ(ref(st::kFtNChar, 20).length, 10u);
  EXPECT_EQ(ref(st::kFtMemo, 9).length, 0u);
  EXPECT_EQ(ref(st::kFtVarchar, 50, 0, st::TableType::kAdt).length, 0u);
  EXPECT_EQ(ref(st::kFtNumeric, 10, 2).length, 10u);
  EXPECT_EQ(ref(st::kFtNumeric, 10, 2).decimals, 2u);
  EXPECT_EQ(ref(st::kFtInteger, 4).length, 11u);
  EXPECT_EQ(ref(st::kFtDouble, 8, 3).type, ValueType::kNumeric);
  EXPECT_EQ(ref(st::kFtDate, 4).type, ValueType::kDate);
  EXPECT_EQ(ref(st::kFtCompactDate, 4).type, ValueType::kDate);
  EXPECT_EQ(ref(st::kFtModTime, 8).type, ValueType::kTimestamp);
  EXPECT_EQ(ref(st::kFtTime, 4).type, ValueType::kTimestamp);
  EXPECT_EQ(ref(st::kFtLogical, 1).type, ValueType::kLogical);
  EXPECT_FALSE(ace::expr::ValueTypeOfFieldType(st::kFtImage).has_value());
}

}  // namespace

namespace {

TEST(ExprCollations, CompareAgreesWithTheKeysItWouldBuild) {
  std::mt19937 rng(5);
  for (const Collation* c :
       {&Collation::Machine(), &Collation::CaseInsensitive(), &Collation::German()}) {
    for (int i = 0; i < 2000; ++i) {
      std::string a = RandomText(rng, "aAs \xdf\xe4\xc4\xe6x"),
                  b = RandomText(rng, "aAs \xdf\xe4\xc4\xe6x");
      std::string ka = c->KeyBytes(a, 24), kb = c->KeyBytes(b, 24);  // 24: room for expansions
      int expect = ka < kb ? -1 : ka > kb ? 1 : 0;
      EXPECT_EQ(c->Compare(a, b), expect) << c->name() << " '" << a << "' '" << b << "'";
    }
  }
}

}  // namespace
