// The index and key properties of a table read from a stored description and written back:
// the order, a scope and a master link take effect when the stored active table opens.
#include "tests/ads/indexes/index_support.h"

using namespace idxtest;

namespace {

class StoredIndex : public IndexWorld {};

TEST_F(StoredIndex, AStoredOrderScopeAndMasterTakeEffectAtTheOpen) {
  MakeTable("master", ttAdsADT, {{1, "Abel", ""}, {2, "Maier", ""}});
  MakeTable("p", ttAdsADT, People());
  MakeIndex("p", ttAdsADT, "BYNAME", "Name");
  ReadComponentFromText(
      "object Form1: TComponent\n"
      "  object Scoped1: TAdsTable\n"
      "    Active = True\n"
      "    DatabaseName = '" +
          data_ +
          "'\n"
          "    IndexName = 'BYNAME'\n"
          "    ScopeBegin = 'M'\n"
          "    ScopeEnd = 'Mz'\n"
          "    Scoped = True\n"
          "    TableName = 'p'\n"
          "  end\n"
          "  object Master1: TAdsTable\n"
          "    Active = True\n"
          "    DatabaseName = '" +
          data_ +
          "'\n"
          "    TableName = 'master'\n"
          "  end\n"
          "  object MasterSource1: TDataSource\n"
          "    DataSet = Master1\n"
          "  end\n"
          "  object Detail1: TAdsTable\n"
          "    Active = True\n"
          "    DatabaseName = '" +
          data_ +
          "'\n"
          "    IndexFieldNames = 'Name'\n"
          "    MasterSource = MasterSource1\n"
          "    MasterFields = 'Name'\n"
          "    TableName = 'p'\n"
          "  end\n"
          "end\n",
      form_.get());
  auto* scoped = dynamic_cast<TAdsTable*>(form_->FindComponent("Scoped1"));
  auto* detail = dynamic_cast<TAdsTable*>(form_->FindComponent("Detail1"));
  ASSERT_NE(scoped, nullptr);
  ASSERT_NE(detail, nullptr);
  ASSERT_TRUE(scoped->Active());
  EXPECT_TRUE(scoped->Scoped());
  EXPECT_EQ(Ids(scoped), (std::vector<int>{1, 7, 4, 10}));  // Maier, Maier, Mueller, Mueller
  ASSERT_TRUE(detail->Active());
  EXPECT_EQ(Ids(detail), (std::vector<int>{2, 5}));  // the master stands on Abel

  const std::string text = WriteComponentToText(form_.get());
  EXPECT_NE(text.find("IndexName = 'BYNAME'"), std::string::npos) << text;
  EXPECT_NE(text.find("Scoped = True"), std::string::npos) << text;
  EXPECT_NE(text.find("MasterSource = MasterSource1"), std::string::npos) << text;
  EXPECT_NE(text.find("MasterFields = 'Name'"), std::string::npos) << text;
}

}  // namespace
