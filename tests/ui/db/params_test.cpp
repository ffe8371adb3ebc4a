// TParams (values, look-up, the SQL parameter parse), TIndexDefs and TFieldDefs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/ui/db/MemDataSet.h"

using ::testing::ElementsAre;

namespace {

std::vector<std::string> Names(const TParams& p) {
  std::vector<std::string> out;
  for (int i = 0; i < p.Count(); ++i) out.push_back(p.Items(i)->Name());
  return out;
}

TEST(ParseSqlTest, NamedAndPositionalParameters) {
  TParams p;
  std::string sql = p.ParseSQL("SELECT * FROM t WHERE a = :A AND b=:b_2 OR c = ?", true);
  EXPECT_EQ(sql, "SELECT * FROM t WHERE a = ? AND b=? OR c = ?");
  EXPECT_THAT(Names(p), ElementsAre("A", "b_2", ""));
  EXPECT_EQ(p.Items(0)->ParamType(), ptInput);
  EXPECT_EQ(p.Items(0)->DataType(), ftUnknown);
}

TEST(ParseSqlTest, QuotesAndCommentsHideColons) {
  TParams p;
  std::string text =
      "SELECT ':x', \"a:b\", [c:d], `e:f` -- :comment\n"
      "FROM t /* :block ? */ WHERE x = :real AND y = 'it''s :no'";
  std::string sql = p.ParseSQL(text, true);
  EXPECT_THAT(Names(p), ElementsAre("real"));
  EXPECT_EQ(sql,
            "SELECT ':x', \"a:b\", [c:d], `e:f` -- :comment\n"
            "FROM t /* :block ? */ WHERE x = ? AND y = 'it''s :no'");
}

TEST(ParseSqlTest, DoubleColonQuotedNamesAndRepeats) {
  TParams p;
  std::string sql = p.ParseSQL("SELECT a::int, :\"Mein Name\", :x, :X, a: b FROM t", true);
  EXPECT_EQ(sql, "SELECT a:int, ?, ?, ?, a: b FROM t");
  EXPECT_THAT(Names(p), ElementsAre("Mein Name", "x", "X"));
  // One parameter per occurrence: statements bind by position.
  EXPECT_EQ(p.FindParam("x"), p.Items(1));
  // Without DoCreate the list is left alone.
  TParams q;
  q.CreateParam(ftInteger, "keep", ptInput);
  EXPECT_EQ(q.ParseSQL("SELECT :z", false), "SELECT ?");
  EXPECT_THAT(Names(q), ElementsAre("keep"));
  // An unterminated quote or comment swallows the rest.
  EXPECT_EQ(q.ParseSQL("SELECT 'abc :d", true), "SELECT 'abc :d");
  EXPECT_EQ(q.Count(), 0);
  EXPECT_EQ(q.ParseSQL("SELECT 1 /* :d", true), "SELECT 1 /* :d");
}

TEST(ParamsTest, ValuesTypesAndLookUp) {
  TParams p;
  TParam* a = p.CreateParam(ftUnknown, "Alpha", ptInput);
  EXPECT_TRUE(a->IsNull());
  EXPECT_FALSE(a->Bound());
  EXPECT_EQ(a->AsInteger(), 0);
  EXPECT_EQ(a->AsString(), "");
  a->SetAsInteger(5);
  EXPECT_EQ(a->DataType(), ftInteger);
  EXPECT_TRUE(a->Bound());
  EXPECT_EQ(a->AsString(), "5");
  a->SetAsString("x");
  EXPECT_EQ(a->DataType(), ftString);
  EXPECT_THROW(a->AsInteger(), EVariantError);
  a->SetAsDate(EncodeDate(2020, 1, 2));
  EXPECT_EQ(a->DataType(), ftDate);
  a->SetAsBCD(StrToBcd("1.25", '.'));
  EXPECT_EQ(a->DataType(), ftBCD);
  EXPECT_EQ(BcdCompare(a->AsBCD(), StrToBcd("1.25", '.')), 0);
  EXPECT_THROW(a->SetAsSmallInt(40000), ERangeError);
  TParam* b = p.CreateParam(ftUnknown, "beta", ptInput);
  b->SetValue(Variant(2.5));
  EXPECT_EQ(b->DataType(), ftFloat);
  b->Clear();
  EXPECT_TRUE(b->IsNull());
  EXPECT_EQ(p.ParamByName("ALPHA"), a);
  EXPECT_EQ(p.FindParam("gamma"), nullptr);
  try {
    p.ParamByName("gamma");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Parameter 'gamma' nicht gefunden");
  }
  p.SetParamValues("Alpha;beta", VarArrayOf({1, "zwei"}));
  EXPECT_EQ(p.ParamValues("beta").AsString(), "zwei");
  // Changing the type converts the value.
  b->SetAsString("12");
  b->SetDataType(ftInteger);
  EXPECT_EQ(VarType(b->Value()), varInteger);
  b->SetAsString("zwölf");
  b->SetDataType(ftInteger);
  EXPECT_TRUE(b->IsNull());
}

TEST(ParamsTest, AssignValuesCopiesByName) {
  TParams oldList;
  oldList.CreateParam(ftInteger, "ID", ptInput)->SetAsInteger(7);
  oldList.CreateParam(ftString, "Gone", ptInput)->SetAsString("x");
  TParams fresh;
  fresh.ParseSQL("SELECT * FROM t WHERE id = :id OR parent = :ID AND name = :name", true);
  fresh.AssignValues(&oldList);
  EXPECT_EQ(fresh.Items(0)->AsInteger(), 7);
  EXPECT_EQ(fresh.Items(1)->AsInteger(), 7);
  EXPECT_TRUE(fresh.Items(2)->IsNull());
  EXPECT_EQ(fresh.Count(), 3);
  TParams copy;
  copy.Assign(&fresh);
  EXPECT_TRUE(copy.IsEqual(&fresh));
  copy.Items(2)->SetAsString("n");
  EXPECT_FALSE(copy.IsEqual(&fresh));
}

TEST(ParamsTest, AssignFieldTakesTypeValueAndName) {
  TMemDataSet ds(nullptr);
  ds.SetSpecs({{"NR", ftAutoInc}, {"NAME", ftString, 10}});
  ds.AddRow({Variant(), "Anna"});
  ds.Open();
  ds.Edit();
  ds.FieldByName("NR")->SetAsInteger(12);
  TParams p;
  TParam* x = p.CreateParam(ftUnknown, "x", ptInput);
  x->AssignField(ds.FieldByName("NR"));
  EXPECT_EQ(x->Name(), "NR");
  EXPECT_EQ(x->DataType(), ftInteger);
  EXPECT_EQ(x->AsInteger(), 12);
  EXPECT_TRUE(x->Bound());
  x->AssignFieldValue(ds.FieldByName("NAME"), Variant("Bert"));
  EXPECT_EQ(x->Name(), "NR");
  EXPECT_EQ(x->DataType(), ftString);
  EXPECT_EQ(x->AsString(), "Bert");
  ds.Cancel();
}

class TIndexedDataSet : public TMemDataSet {
 public:
  using TMemDataSet::TMemDataSet;
  TIndexDefs Indexes{this};
  int Updates = 0;
  void UpdateIndexDefs() override {
    ++Updates;
    Indexes.Clear();
    Indexes.Add("PK", "ID", {ixPrimary, ixUnique});
    Indexes.Add("BYNAME", "NAME;VORNAME", {});
    Indexes.Add("CI", "NAME", {ixCaseInsensitive});
    Indexes.Add("DESC", "ORT", {ixDescending});
    Indexes.Add("EXPR", "UPPER(NAME)", {ixExpression});
  }
};

TEST(IndexDefsTest, FindAndSearchForFields) {
  TIndexedDataSet ds(nullptr);
  ds.SetName("T");
  EXPECT_FALSE(ds.Indexes.Updated());
  ds.Indexes.Update();
  EXPECT_TRUE(ds.Indexes.Updated());
  EXPECT_EQ(ds.Updates, 1);
  EXPECT_EQ(ds.Indexes.Count(), 5);
  EXPECT_TRUE(ds.Indexes.Find("pk")->Options().Contains(ixUnique));
  EXPECT_EQ(ds.Indexes.Find("EXPR")->Expression(), "UPPER(NAME)");
  EXPECT_EQ(ds.Indexes.Find("EXPR")->Fields(), "");
  try {
    ds.Indexes.Find("NOPE");
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "T: Index 'NOPE' nicht gefunden");
  }
  EXPECT_THROW(ds.Indexes.Add("PK", "X", {}), EDatabaseError);
  // Exact match first, then an index whose leading fields are the ones asked for.
  EXPECT_EQ(ds.Indexes.GetIndexForFields("ID", false)->Name(), "PK");
  EXPECT_EQ(ds.Indexes.GetIndexForFields("NAME", false)->Name(), "CI");
  EXPECT_EQ(ds.Indexes.GetIndexForFields("NAME", true)->Name(), "CI");
  EXPECT_EQ(ds.Indexes.GetIndexForFields("NAME;VORNAME", false)->Name(), "BYNAME");
  EXPECT_EQ(ds.Indexes.GetIndexForFields("name", false), nullptr);  // names are case-sensitive
  EXPECT_EQ(ds.Indexes.GetIndexForFields("NAM", false), nullptr);   // whole names only
  EXPECT_EQ(ds.Indexes.GetIndexForFields("ORT", false), nullptr);   // descending does not count
  EXPECT_EQ(ds.Indexes.GetIndexForFields("ID", true), nullptr);
  EXPECT_THROW(ds.Indexes.FindIndexForFields("ORT"), EDatabaseError);
  // Adding marks the definitions out of date.
  ds.Indexes.Add("NEU", "ORT;NAME", {});
  EXPECT_FALSE(ds.Indexes.Updated());
  EXPECT_EQ(ds.Indexes.GetIndexForFields("ORT", false)->Name(), "NEU");
}

TEST(FieldDefsTest, AddFindAndUpdate) {
  TMemDataSet ds(nullptr);
  ds.SetSpecs({{"ID", ftInteger}, {"NAME", ftString, 30, true}});
  ds.FieldDefs()->Update();
  ASSERT_EQ(ds.FieldDefs()->Count(), 2);
  EXPECT_TRUE(ds.FieldDefs()->Updated());
  TFieldDef* name = ds.FieldDefs()->Find("name");
  EXPECT_EQ(name->FieldNo(), 2);
  EXPECT_EQ(name->Size(), 30);
  EXPECT_TRUE(name->Required());
  EXPECT_EQ(name->FieldClass(), TStringField::StaticClass());
  EXPECT_EQ(ds.FieldDefs()->IndexOf("nope"), -1);
  EXPECT_THROW(ds.FieldDefs()->Find("nope"), EDatabaseError);
  EXPECT_THROW(ds.FieldDefs()->Add("ID", ftString, 3), EDatabaseError);
  EXPECT_FALSE(ds.Active());  // reading definitions does not open the dataset
}

TEST(DatabaseErrorTest, PrefixesTheComponentName) {
  TMemDataSet ds(nullptr);
  try {
    DatabaseError("Fehler", &ds);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Fehler");  // no name, no prefix
    EXPECT_EQ(e.ClassName(), "EDatabaseError");
  }
  ds.SetName("AdsTableKinder");
  try {
    DatabaseError("Fehler", &ds);
    FAIL();
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "AdsTableKinder: Fehler");
  }
}

}  // namespace
