// A query following a master: parameters filled from the master's current record before every
// execution (bound ones keep the application's value), the reopen when the master moves, and
// the refusal of a circular link.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryMaster : public QueryWorld {
 protected:
  void SetUp() override {
    QueryWorld::SetUp();
    master_ = new TAdsTable(form_);
    master_->SetName("Master");
    master_->SetAdsConnection(conn_);
    master_->SetTableName("Kinder");
    source_ = new TDataSource(form_);
    source_->SetName("MasterSource");
    source_->SetDataSet(master_);
    SetSQL({"SELECT Name FROM Kinder WHERE ID = :ID;"});
    query_->SetDataSource(source_);
  }
  TAdsTable* master_ = nullptr;
  TDataSource* source_ = nullptr;
};

TEST_F(QueryMaster, UnboundParametersTakeTheMastersValueAtEveryOpen) {
  master_->Open();
  query_->Open();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Anna");
  EXPECT_EQ(query_->ParamByName("ID")->AsInteger(), 1);
  EXPECT_FALSE(query_->ParamByName("ID")->Bound());
  // The master moves: the query is run again with the new value.
  master_->Next();
  EXPECT_TRUE(query_->Active());
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
  EXPECT_EQ(query_->ParamByName("ID")->AsInteger(), 2);
}

TEST_F(QueryMaster, BoundParametersKeepTheApplicationsValue) {
  master_->Open();
  query_->ParamByName("ID")->SetAsInteger(2);
  ASSERT_TRUE(query_->ParamByName("ID")->Bound());
  query_->Open();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
  master_->Next();
  master_->Prior();
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
}

TEST_F(QueryMaster, AMasterWithoutTheFieldStopsTheExecution) {
  SetSQL({"SELECT Name FROM Kinder WHERE ID = :Nummer;"});
  master_->Open();
  CallRecording rec;
  EXPECT_THROW(query_->Open(), EDatabaseError);
  EXPECT_FALSE(query_->Active());
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 0);
}

TEST_F(QueryMaster, DetailLinkFieldsPairTheParametersWithTheFieldsOfBothSides) {
  SetSQL({"SELECT Name AS Nur FROM Kinder WHERE ID = :ID OR Name = :Fehlt OR Name = :Name;"});
  master_->Open();
  query_->ParamByName("Fehlt")->SetAsString("x");
  query_->Open();
  std::vector<TField*> masterFields = {nullptr}, detailFields = {nullptr};
  query_->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(masterFields.size(), 2u);
  EXPECT_EQ(masterFields[0], master_->FieldByName("ID"));
  EXPECT_EQ(masterFields[1], master_->FieldByName("Name"));
  // The query's result has neither ID nor Name.
  EXPECT_TRUE(detailFields.empty());
  query_->Close();
  SetSQL({"SELECT ID FROM Kinder WHERE ID = :ID OR Name = :Name;"});
  query_->Open();
  query_->GetDetailLinkFields(masterFields, detailFields);
  ASSERT_EQ(detailFields.size(), 1u);
  EXPECT_EQ(detailFields[0], query_->FieldByName("ID"));
  EXPECT_EQ(masterFields.size(), 2u);
  // Without a master both lists are empty.
  query_->Close();
  query_->SetDataSource(nullptr);
  query_->GetDetailLinkFields(masterFields, detailFields);
  EXPECT_TRUE(masterFields.empty());
  EXPECT_TRUE(detailFields.empty());
}

TEST_F(QueryMaster, ACircularLinkIsRefused) {
  auto* own = new TDataSource(form_);
  own->SetDataSet(query_);
  auto* detail = new TAdsQuery(form_);
  detail->SetName("Detail");
  detail->SetDataSource(own);
  auto* back = new TDataSource(form_);
  back->SetDataSet(detail);
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->SetDataSource(own); }),
            "AdsQuery1: Circular Data Link");
  EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->SetDataSource(back); }),
            "AdsQuery1: Circular Data Link");
  EXPECT_EQ(query_->DataSource(), source_);
  query_->SetDataSource(nullptr);
  EXPECT_EQ(query_->DataSource(), nullptr);
}

}  // namespace
