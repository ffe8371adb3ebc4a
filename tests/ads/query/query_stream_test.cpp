// The query in a stored description: "ParamData" gives the parameters (the text is only offered
// to the engine while reading), "Data" the binary block, "WaitCursor" is read and discarded,
// and the writer gives back what differs from the defaults.
#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryStream : public QueryWorld {};

TAdsQuery* ReadQuery(TComponent& root, const std::string& body) {
  ReadComponentFromText(
      "object Form1: TComponent\n"
      "  object Q: TAdsQuery\n" +
          body +
          "  end\n"
          "end\n",
      &root);
  return dynamic_cast<TAdsQuery*>(root.FindComponent("Q"));
}

TEST_F(QueryStream, EmptyParamDataGivesNoParametersThoughTheTextHasOne) {
  TComponent root(nullptr);
  CallRecording rec;
  TAdsQuery* q = ReadQuery(root,
                           "    DatabaseName = 'AdsConnection1'\n"
                           "    SQL.Strings = (\n"
                           "      'SELECT * FROM Kinder'\n"
                           "      'WHERE ID = :id')\n"
                           "    ParamData = <>\n");
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(CallRecording::Only({"AdsGetSQLStmtParams"}),
            (std::vector<std::string>{
                "AdsGetSQLStmtParams('SELECT * FROM Kinder\r\nWHERE ID = :id\r\n')"}));
  EXPECT_EQ(q->Params()->Count(), 0);
  EXPECT_EQ(q->SQL()->Count(), 2);
  // After loading, a change of the text rebuilds the list as usual.
  q->SQL()->Add("OR ID = :other");
  EXPECT_EQ(q->Params()->Count(), 2);
}

TEST_F(QueryStream, StoredParametersAreTakenAsTheyStand) {
  TComponent root(nullptr);
  TAdsQuery* q = ReadQuery(root,
                           "    SQL.Strings = (\n"
                           "      'SELECT * FROM Kinder WHERE ID = :a OR ID = :b')\n"
                           "    ParamData = <\n"
                           "      item\n"
                           "        DataType = ftInteger\n"
                           "        Name = 'b'\n"
                           "        ParamType = ptInput\n"
                           "      end>\n");
  ASSERT_NE(q, nullptr);
  ASSERT_EQ(q->Params()->Count(), 1);
  EXPECT_EQ(q->Params()->Items(0)->Name(), "b");
  EXPECT_EQ(q->Params()->Items(0)->DataType(), ftInteger);
}

TEST_F(QueryStream, WaitCursorIsReadAndDiscardedInEitherForm) {
  TComponent root(nullptr);
  TAdsQuery* q = ReadQuery(root,
                           "    WaitCursor = crHourGlass\n"
                           "    RequestLive = True\n");
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->WaitCursor(), 0);
  EXPECT_TRUE(q->RequestLive());
  TComponent root2(nullptr);
  TAdsQuery* q2 = ReadQuery(root2, "    WaitCursor = -11\n    Constrained = True\n");
  ASSERT_NE(q2, nullptr);
  EXPECT_TRUE(q2->Constrained());
  EXPECT_EQ(WriteComponentToText(&root2).find("WaitCursor"), std::string::npos);
}

TEST_F(QueryStream, TableOptionsAreStoredWithTheQuery) {
  TComponent root(nullptr);
  TAdsQuery* q = ReadQuery(root,
                           "    AdsTableOptions.AdsLockType = Compatible\n"
                           "    AdsTableOptions.AdsCollation = 'GERMAN_VFP_CI_AS_1252'\n"
                           "    SourceTableType = ttAdsCDX\n");
  ASSERT_NE(q, nullptr);
  EXPECT_EQ(q->AdsTableOptions()->AdsLockType(), Compatible);
  EXPECT_EQ(q->AdsTableOptions()->AdsCollation(), "GERMAN_VFP_CI_AS_1252");
  EXPECT_EQ(q->SourceTableType(), ttAdsCDX);
  const std::string text = WriteComponentToText(&root);
  EXPECT_NE(text.find("AdsTableOptions.AdsLockType = Compatible"), std::string::npos) << text;
  EXPECT_NE(text.find("SourceTableType = ttAdsCDX"), std::string::npos) << text;
}

TEST_F(QueryStream, DataIsTheBinaryBlock) {
  TComponent root(nullptr);
  TAdsQuery* q = ReadQuery(root, "    Data = {0A0B0C00FF}\n");
  ASSERT_NE(q, nullptr);
  ASSERT_NE(q->SQLBinary(), nullptr);
  EXPECT_EQ(*q->SQLBinary(), (std::vector<uint8_t>{0x0A, 0x0B, 0x0C, 0x00, 0xFF}));
  // Never sent to the engine, and written back as it was.
  const std::string text = WriteComponentToText(&root);
  EXPECT_NE(text.find("0A0B0C00FF"), std::string::npos) << text;
  EXPECT_NE(text.find("Data = {"), std::string::npos) << text;
}

TEST_F(QueryStream, WriterGivesTheQueryBackWithItsParameterCollection) {
  SetSQL({"SELECT * FROM Kinder WHERE ID = :id;"});
  query_->SetRequestLive(true);
  query_->SetSQLTimeout(12);
  const std::string text = WriteComponentToText(form_);
  EXPECT_NE(text.find("object AdsQuery1: TAdsQuery"), std::string::npos) << text;
  EXPECT_NE(text.find("RequestLive = True"), std::string::npos) << text;
  EXPECT_NE(text.find("SQLTimeout = 12"), std::string::npos) << text;
  EXPECT_NE(text.find("ParamData = <"), std::string::npos) << text;
  EXPECT_NE(text.find("Name = 'id'"), std::string::npos) << text;
  // Defaults and the never-stored names stay out.
  EXPECT_EQ(text.find("ParamCheck"), std::string::npos) << text;
  EXPECT_EQ(text.find("SourceTableType"), std::string::npos) << text;
  EXPECT_EQ(text.find("Params ="), std::string::npos) << text;
  EXPECT_EQ(text.find("Data = {"), std::string::npos) << text;

  // Read back into a fresh window: the same settings and the stored parameter.
  TComponent copy(nullptr);
  ReadComponentFromText(text, &copy);
  auto* q = dynamic_cast<TAdsQuery*>(copy.FindComponent("AdsQuery1"));
  ASSERT_NE(q, nullptr);
  EXPECT_TRUE(q->RequestLive());
  EXPECT_EQ(q->SQLTimeout(), 12);
  ASSERT_EQ(q->Params()->Count(), 1);
  EXPECT_EQ(q->Params()->Items(0)->Name(), "id");
  EXPECT_EQ(q->Text(), query_->Text());
}

TEST_F(QueryStream, EmptyCollectionIsWrittenWhenThereAreNoParameters) {
  const std::string text = WriteComponentToText(form_);
  EXPECT_NE(text.find("ParamData = <>"), std::string::npos) << text;
}

TEST_F(QueryStream, TextTheEngineRefusesFailsTheReadingCleanly) {
  TComponent root(nullptr);
  try {
    ReadQuery(root,
              "    SQL.Strings = (\n"
              "      'SELECT * FROM Kinder WHERE Name = ''offen')\n");
    FAIL() << "the text was accepted";
  } catch (const EADSDatabaseError& e) {
    // The engine's refusal, naming the query, reaches the reader's caller with the place.
    EXPECT_NE(e.Message().find("Q.SQL.Strings"), std::string::npos) << e.Message();
    EXPECT_NE(e.Message().find("Q: Error 7200"), std::string::npos) << e.Message();
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_SQL_ERROR));
  }
}

}  // namespace
