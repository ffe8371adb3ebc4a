// Parameters: binding by type (the engine calls observed, the values read back from the table),
// nulls, the refused and the unbound types, the date and time conversions, and the parameter
// list kept in step with the SQL text.
#include "ui/db/DateTime.h"

#include "ads/query/query_support.h"

namespace {

using namespace querytest;

class QueryParams : public QueryWorld {
 protected:
  void SetUp() override {
    QueryWorld::SetUp();
    ADSHANDLE conn = 0, table = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(AdsCreateTable90(conn, U8("Alle"), nullptr, ADS_ADT, ADS_ANSI,
                               ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0,
                               U8("B,Logical;F,Double;D,Date;T,Time;TS,TimeStamp;S,Char,20;"
                                  "I,Integer;BL,Blob;W,NChar,10"),
                               0, U8(""), &table),
              0u);
    AdsCloseTable(table);
    AdsDisconnect(conn);
  }

  // Opens Alle on its own connection at its first record.
  ADSHANDLE OpenAlle() {
    ADSHANDLE t = 0;
    EXPECT_EQ(AdsConnect(U8(data_), &own_conn_), 0u);
    EXPECT_EQ(AdsOpenTable90(own_conn_, U8("Alle"), nullptr, ADS_ADT, ADS_ANSI,
                             ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(""), &t),
              0u);
    EXPECT_EQ(AdsGotoTop(t), 0u);
    return t;
  }
  void TearDown() override {
    if (own_conn_ != 0) AdsDisconnect(own_conn_);
    QueryWorld::TearDown();
  }
  ADSHANDLE own_conn_ = 0;
};

std::string LE(uint32_t a, uint32_t b) {
  const UNSIGNED8 bytes[8] = {static_cast<UNSIGNED8>(a),       static_cast<UNSIGNED8>(a >> 8),
                              static_cast<UNSIGNED8>(a >> 16), static_cast<UNSIGNED8>(a >> 24),
                              static_cast<UNSIGNED8>(b),       static_cast<UNSIGNED8>(b >> 8),
                              static_cast<UNSIGNED8>(b >> 16), static_cast<UNSIGNED8>(b >> 24)};
  return Hex(bytes, 8);
}

TEST_F(QueryParams, EachTypeIsBoundWithItsSetterAndArrivesInTheTable) {
  SetSQL({"INSERT INTO Alle (B, F, D, T, TS, S, I, BL, W)",
          "  VALUES (:b, :f, :d, :t, :ts, :s, :i, :bl, :w);"});
  ASSERT_EQ(query_->ParamCount(), 9);
  const TDateTime day = EncodeDate(2024, 3, 1);
  const TDateTime time = EncodeTime(13, 45, 30, 500);
  query_->ParamByName("b")->SetAsBoolean(true);
  query_->ParamByName("f")->SetAsFloat(2.5);
  query_->ParamByName("d")->SetAsDate(day);
  query_->ParamByName("t")->SetAsTime(time);
  query_->ParamByName("ts")->SetAsDateTime(day + time);
  query_->ParamByName("s")->SetAsString("Grüße");
  query_->ParamByName("i")->SetAsInteger(42);
  query_->ParamByName("bl")->SetAsBlob(TBytes{1, 2, 3, 0, 255});
  query_->ParamByName("w")->SetAsString("Zoë");
  query_->ParamByName("w")->SetDataType(ftWideString);

  CallRecording rec;
  query_->ExecSQL();
  EXPECT_EQ(query_->RowsAffected(), 1);
  const std::string s = std::to_string(query_->StmtHandle());
  const std::vector<std::string> expected = {
      "AdsSetLogical(" + s + ", #1, 1)",
      "AdsSetDouble(" + s + ", #2, 2.5)",
      "AdsSetJulian(" + s + ", #3, 2460371)",
      "AdsSetMilliseconds(" + s + ", #4, 49530500)",
      "AdsSetTimeStampRaw(" + s + ", #5, " + LE(2460371, 49530500) + ", 8)",
      "AdsSetString(" + s + ", #6, '" + Utf8ToAnsi("Grüße") + "', 5)",
      "AdsSetString(" + s + ", #7, '42', 2)",
      "AdsSetBinary(" + s + ", #8, 6, 5, 0, 01020300ff, 5)",
      "AdsSetStringW(" + s + ", #9, 'Zoë', 3)",
  };
  EXPECT_EQ(CallRecording::Only({"AdsSetLogical", "AdsSetDouble", "AdsSetJulian",
                                 "AdsSetMilliseconds", "AdsSetTimeStampRaw", "AdsSetString",
                                 "AdsSetBinary", "AdsSetStringW", "AdsSetEmpty"}),
            expected);
  // The binding follows the preparation and comes before the execution.
  const std::vector<std::string> order =
      CallRecording::Only({"AdsPrepareSQLW", "AdsSetLogical", "AdsSetStringW", "AdsExecuteSQL"});
  ASSERT_EQ(order.size(), 4u);
  EXPECT_EQ(order[0].rfind("AdsPrepareSQLW", 0), 0u);
  EXPECT_EQ(order[3].rfind("AdsExecuteSQL", 0), 0u);

  const ADSHANDLE t = OpenAlle();
  UNSIGNED16 logical = 0;
  EXPECT_EQ(AdsGetLogical(t, U8("B"), &logical), 0u);
  EXPECT_EQ(logical, 1);
  double dbl = 0;
  EXPECT_EQ(AdsGetDouble(t, U8("F"), &dbl), 0u);
  EXPECT_EQ(dbl, 2.5);
  SIGNED32 julian = 0, ms = 0;
  EXPECT_EQ(AdsGetJulian(t, U8("D"), &julian), 0u);
  EXPECT_EQ(julian, 2460371);
  EXPECT_EQ(AdsGetMilliseconds(t, U8("T"), &ms), 0u);
  EXPECT_EQ(ms, 49530500);
  EXPECT_EQ(AdsGetJulian(t, U8("TS"), &julian), 0u);
  EXPECT_EQ(AdsGetMilliseconds(t, U8("TS"), &ms), 0u);
  EXPECT_EQ(julian, 2460371);
  EXPECT_EQ(ms, 49530500);
  UNSIGNED8 text[64] = {};
  UNSIGNED32 len = sizeof text - 1;
  EXPECT_EQ(AdsGetString(t, U8("S"), text, &len, ADS_TRIM), 0u);
  EXPECT_EQ(AnsiToUtf8(std::string(reinterpret_cast<char*>(text), len)), "Grüße");
  SIGNED32 integer = 0;
  EXPECT_EQ(AdsGetLong(t, U8("I"), &integer), 0u);
  EXPECT_EQ(integer, 42);
  UNSIGNED8 blob[16] = {};
  UNSIGNED32 blobLen = sizeof blob;
  EXPECT_EQ(AdsGetBinary(t, U8("BL"), 0, blob, &blobLen), 0u);
  EXPECT_EQ(Hex(blob, blobLen), "01020300ff");
  WCHAR wide[32] = {};
  UNSIGNED32 wideLen = 31;
  EXPECT_EQ(AdsGetStringW(t, U8("W"), wide, &wideLen, ADS_TRIM), 0u);
  EXPECT_EQ(Utf16ToUtf8(std::u16string(wide, wideLen)), "Zoë");
}

TEST_F(QueryParams, NullParametersAreBoundEmptyWhateverTheirType) {
  SetSQL({"INSERT INTO Alle (I, S, D) VALUES (:i, :s, :d);"});
  // Fresh parameters from the text are null and of unknown type.
  query_->ParamByName("s")->SetDataType(ftString);
  query_->ParamByName("d")->SetAsDate(EncodeDate(2020, 1, 1));
  query_->ParamByName("d")->Clear();
  CallRecording rec;
  query_->ExecSQL();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(CallRecording::Only({"AdsSetEmpty", "AdsSetString", "AdsSetJulian"}),
            (std::vector<std::string>{"AdsSetEmpty(" + s + ", #1)", "AdsSetEmpty(" + s + ", #2)",
                                      "AdsSetEmpty(" + s + ", #3)"}));
  const ADSHANDLE t = OpenAlle();
  UNSIGNED16 isNull = 0;
  EXPECT_EQ(AdsIsEmpty(t, U8("I"), &isNull), 0u);
  EXPECT_EQ(isNull, 1);
}

TEST_F(QueryParams, UnknownAndUnsupportedTypesAreRefusedBeforeTheExecution) {
  SetSQL({"INSERT INTO Alle (S) VALUES (:s);"});
  query_->ParamByName("s")->SetAsString("x");
  query_->ParamByName("s")->SetDataType(ftUnknown);
  {
    CallRecording rec;
    EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->ExecSQL(); }),
              "AdsQuery1: The field named: 's' has the DataType of ftUnknown, which is invalid.");
    EXPECT_EQ(CallRecording::Count("AdsPrepareSQLW"), 1);
    EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 0);
    // Prepared, not executed.
    EXPECT_TRUE(query_->Prepared());
  }
  for (TFieldType type : {ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor}) {
    query_->ParamByName("s")->SetDataType(type);
    CallRecording rec;
    EXPECT_EQ(MessageOf<EADSDatabaseError>([&] { query_->ExecSQL(); }),
              "AdsQuery1: The field named: 's' has a DataType that is not supported.");
    EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 0);
  }
  EXPECT_TRUE(ColumnValues("Alle", "S").empty());
}

TEST_F(QueryParams, SomeTypesAreSilentlyLeftUnbound) {
  SetSQL({"INSERT INTO Alle (I, S) VALUES (:i, :s);"});
  query_->ParamByName("i")->SetAsInteger(7);
  for (TFieldType type : {ftGuid, ftFMTBcd, ftVariant, ftFixedWideChar, ftOraTimeStamp}) {
    query_->ParamByName("s")->SetAsString("x");
    query_->ParamByName("s")->SetDataType(type);
    CallRecording rec;
    try {
      query_->ExecSQL();  // the engine decides about a parameter without a value
    } catch (const EADSDatabaseError&) {
    }
    const std::string s = std::to_string(query_->StmtHandle());
    EXPECT_EQ(CallRecording::Only(
                  {"AdsSetEmpty", "AdsSetString", "AdsSetStringW", "AdsSetDouble", "AdsSetBinary"}),
              (std::vector<std::string>{"AdsSetString(" + s + ", #1, '7', 1)"}))
        << FieldTypeNames()[type];
  }
}

TEST_F(QueryParams, DatesBeforeTheEpochCountTheirTimeTowardTheSameDay) {
  SetSQL({"INSERT INTO Alle (TS, D, T) VALUES (:ts, :d, :t);"});
  // -1.25 is 29 December 1899, 06:00.
  query_->ParamByName("ts")->SetAsDateTime(-1.25);
  query_->ParamByName("d")->SetAsDate(-1.25);
  query_->ParamByName("t")->SetAsTime(-1.25);
  CallRecording rec;
  query_->ExecSQL();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(
      CallRecording::Only({"AdsSetTimeStampRaw", "AdsSetJulian", "AdsSetMilliseconds"}),
      (std::vector<std::string>{
          "AdsSetTimeStampRaw(" + s + ", #1, " + LE(2415018, 21600000) + ", 8)",
          "AdsSetJulian(" + s + ", #2, 2415018)", "AdsSetMilliseconds(" + s + ", #3, 21600000)"}));
}

TEST_F(QueryParams, ATimeThatRoundsToAWholeDayIsMidnightOfTheNextDay) {
  SetSQL({"INSERT INTO Alle (TS, D, T) VALUES (:ts, :d, :t);"});
  // 0.4 milliseconds before midnight of 2 March 2024 (Julian day 2460372).
  const TDateTime late = EncodeDate(2024, 3, 1) + (86400000.0 - 0.4) / 86400000.0;
  query_->ParamByName("ts")->SetAsDateTime(late);
  query_->ParamByName("d")->SetAsDate(late);
  query_->ParamByName("t")->SetAsTime(late);
  CallRecording rec;
  query_->ExecSQL();
  const std::string s = std::to_string(query_->StmtHandle());
  // The date alone keeps its day: only a time rounds.
  EXPECT_EQ(CallRecording::Only({"AdsSetTimeStampRaw", "AdsSetJulian", "AdsSetMilliseconds"}),
            (std::vector<std::string>{
                "AdsSetTimeStampRaw(" + s + ", #1, " + LE(2460372, 0) + ", 8)",
                "AdsSetJulian(" + s + ", #2, 2460371)", "AdsSetMilliseconds(" + s + ", #3, 0)"}));
  const ADSHANDLE t = OpenAlle();
  SIGNED32 julian = 0, ms = -1;
  EXPECT_EQ(AdsGetJulian(t, U8("TS"), &julian), 0u);
  EXPECT_EQ(AdsGetMilliseconds(t, U8("TS"), &ms), 0u);
  EXPECT_EQ(julian, 2460372);
  EXPECT_EQ(ms, 0);
  EXPECT_EQ(AdsGetJulian(t, U8("D"), &julian), 0u);
  EXPECT_EQ(julian, 2460371);
}

TEST_F(QueryParams, DateOutsideTheEnginesRangeIsARangeError) {
  SetSQL({"INSERT INTO Alle (D) VALUES (:d);"});
  query_->ParamByName("d")->SetAsDate(4e9);
  CallRecording rec;
  EXPECT_THROW(query_->ExecSQL(), ERangeError);
  EXPECT_EQ(CallRecording::Count("AdsSetJulian"), 0);
  EXPECT_EQ(CallRecording::Count("AdsExecuteSQL"), 0);
}

// The connection's Execute binds its list as the query binds Params: the same setters with the
// same values, except that it refuses the structured types the query leaves unbound.
TEST_F(QueryParams, TheConnectionsExecuteBindsAsTheQueryDoes) {
  SetSQL({"INSERT INTO Alle (B, F, D, T, TS, S, I, W) VALUES (:b, :f, :d, :t, :ts, :s, :i, :w);"});
  const TDateTime stamp = EncodeDate(1899, 12, 29) + EncodeTime(6, 0, 0, 0) - 2.0;
  query_->ParamByName("b")->SetAsBoolean(false);
  query_->ParamByName("f")->SetAsCurrency(Currency(12.25));
  query_->ParamByName("d")->SetAsDate(stamp);
  query_->ParamByName("t")->SetAsTime(EncodeTime(23, 59, 59, 999));
  query_->ParamByName("ts")->SetAsDateTime(stamp);
  query_->ParamByName("s")->Clear();
  query_->ParamByName("s")->SetDataType(ftString);
  query_->ParamByName("i")->SetAsLargeInt(-5);
  query_->ParamByName("w")->SetAsString("Zoë");
  query_->ParamByName("w")->SetDataType(ftWideMemo);
  auto setters = [](int32_t stmt) {
    std::vector<std::string> out;
    for (std::string line : CallRecording::Only({"AdsSetLogical", "AdsSetDouble", "AdsSetJulian",
                                                 "AdsSetMilliseconds", "AdsSetTimeStampRaw",
                                                 "AdsSetString", "AdsSetStringW", "AdsSetEmpty"})) {
      const std::string own = "(" + std::to_string(stmt) + ",";
      EXPECT_EQ(line.find(own), line.find('(')) << line;
      out.push_back(line.replace(line.find('('), own.size(), "(stmt,"));
    }
    return out;
  };
  std::vector<std::string> byQuery, byConnection;
  {
    CallRecording rec;
    query_->ExecSQL();
    byQuery = setters(query_->StmtHandle());
  }
  ASSERT_EQ(byQuery.size(), 8u);
  {
    CallRecording rec;
    EXPECT_EQ(conn_->Execute(query_->Text(), query_->Params()), 1u);
    const std::vector<std::string> created = CallRecording::Only({"AdsCreateSQLStatement"});
    ASSERT_EQ(created.size(), 1u);
    const std::vector<std::string> prepared = CallRecording::Only({"AdsPrepareSQLW"});
    ASSERT_EQ(prepared.size(), 1u);
    const std::string stmt = prepared[0].substr(15, prepared[0].find(',') - 15);
    byConnection = setters(std::stoi(stmt));
  }
  EXPECT_EQ(byConnection, byQuery);
  EXPECT_EQ(ColumnValues("Alle", "I"), (std::vector<std::string>{"-5", "-5"}));

  query_->ParamByName("s")->SetAsString("x");
  query_->ParamByName("s")->SetDataType(ftADT);
  {
    CallRecording rec;
    // Left unbound, the parameter has no value: the engine refuses the execution.
    EXPECT_THROW(query_->ExecSQL(), EADSDatabaseError);
    EXPECT_EQ(CallRecording::Only({"AdsSetString", "AdsSetEmpty"}),
              (std::vector<std::string>{"AdsSetString(" + std::to_string(query_->StmtHandle()) +
                                        ", #7, '-5', 2)"}));
  }
  try {
    conn_->Execute(query_->Text(), query_->Params());
    ADD_FAILURE() << "nothing raised";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "The field named: 's' has a DataType that is not supported.");
    EXPECT_EQ(e.ACEErrorCode(), static_cast<UNSIGNED32>(AE_COMPONENT));
  }
}

// ---- Parameters found in the text -------------------------------------------------------------

TEST_F(QueryParams, ColonsInQuotedTextsAndCommentsAreNoParameters) {
  SetSQL({"SELECT Name, 'um 10:30' AS Zeit FROM Kinder -- nach :kommentar", "WHERE Name <> 'x:y'",
          "  /* :block */ AND ID = :id;"});
  ASSERT_EQ(query_->ParamCount(), 1);
  EXPECT_EQ(query_->Params()->Items(0)->Name(), "id");
  query_->ParamByName("id")->SetAsInteger(2);
  query_->Open();
  EXPECT_EQ(query_->RecordCount(), 1);
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
  // The text reached the engine unchanged.
  EXPECT_EQ(Trim(query_->FieldByName("Zeit")->AsString()), "um 10:30");
}

TEST_F(QueryParams, QuestionMarksAreParametersOfTheirOwnPlace) {
  SetSQL({"SELECT Name FROM Kinder WHERE ID = ? OR Name = :n OR ID = ? ORDER BY ID;"});
  ASSERT_EQ(query_->ParamCount(), 3);
  EXPECT_EQ(query_->Params()->Items(0)->Name(), "");
  EXPECT_EQ(query_->Params()->Items(2)->Name(), "");
  query_->Params()->Items(0)->SetAsInteger(7);
  query_->ParamByName("n")->SetAsString("Ben");
  query_->Params()->Items(2)->SetAsInteger(1);
  query_->Open();
  std::vector<std::string> names;
  for (; !query_->Eof(); query_->Next()) names.push_back(query_->FieldByName("Name")->AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Anna", "Ben"}));
}

TEST_F(QueryParams, ARepeatedNameIsOneParameterOfTheStatement) {
  SetSQL({"SELECT Name FROM Kinder WHERE ID = :id OR (ID = :ID + 1 AND Name = :n) ORDER BY ID;"});
  ASSERT_EQ(query_->ParamCount(), 3);  // one item per place
  query_->ParamByName("id")->SetAsInteger(1);
  query_->ParamByName("n")->SetAsString("Ben");
  CallRecording rec;
  query_->Open();
  const std::string s = std::to_string(query_->StmtHandle());
  EXPECT_EQ(CallRecording::Only({"AdsSetString", "AdsSetEmpty"}),
            (std::vector<std::string>{"AdsSetString(" + s + ", #1, '1', 1)",
                                      "AdsSetString(" + s + ", #2, 'Ben', 3)"}));
  std::vector<std::string> names;
  for (; !query_->Eof(); query_->Next()) names.push_back(query_->FieldByName("Name")->AsString());
  EXPECT_EQ(names, (std::vector<std::string>{"Anna", "Ben"}));
  query_->Close();
  // The same through the connection, with a list the application made.
  TParams given;
  given.CreateParam(ftString, "neu", ptInput)->SetAsString("Y");
  given.CreateParam(ftInteger, "id", ptInput)->SetAsInteger(1);
  given.CreateParam(ftInteger, "ID", ptInput)->SetAsInteger(99);
  EXPECT_EQ(conn_->Execute("UPDATE Kinder SET Name = :neu WHERE ID = :id OR ID = :ID + 1", &given),
            2u);
  EXPECT_EQ(ColumnValues("Kinder", "Name"), (std::vector<std::string>{"Y", "Y"}));
}

// ---- The list kept in step with the text ------------------------------------------------------

TEST_F(QueryParams, AParameterThatKeepsItsNameKeepsTypeValueAndBinding) {
  SetSQL({"SELECT Name FROM Kinder WHERE ID = :id;"});
  query_->ParamByName("id")->SetAsString("2");
  query_->ParamByName("id")->SetDataType(ftInteger);
  ASSERT_TRUE(query_->ParamByName("id")->Bound());
  // The new text names it in other letters and twice.
  SetSQL({"SELECT Name FROM Kinder WHERE ID = :ID OR ID = :Id - 5 OR Name = :name;"});
  ASSERT_EQ(query_->ParamCount(), 3);
  for (int i = 0; i < 2; ++i) {
    TParam* kept = query_->Params()->Items(i);
    EXPECT_EQ(kept->DataType(), ftInteger);
    EXPECT_EQ(kept->AsInteger(), 2);
    EXPECT_TRUE(kept->Bound());
  }
  TParam* added = query_->ParamByName("name");
  EXPECT_EQ(added->DataType(), ftUnknown);
  EXPECT_FALSE(added->Bound());
  added->SetAsString("nobody");
  query_->Open();
  EXPECT_EQ(query_->RecordCount(), 1);
  EXPECT_EQ(query_->FieldByName("Name")->AsString(), "Ben");
}

TEST_F(QueryParams, ChangedTextRebuildsTheListAndKeepsValuesByName) {
  SetSQL({"SELECT * FROM Kinder WHERE ID = :id AND Name = :name;"});
  ASSERT_EQ(query_->Params()->Count(), 2);
  EXPECT_EQ(query_->Params()->Items(0)->Name(), "id");
  EXPECT_EQ(query_->Params()->Items(0)->DataType(), ftUnknown);
  query_->ParamByName("id")->SetAsInteger(5);
  query_->ParamByName("name")->SetAsString("Anna");
  SetSQL({"SELECT * FROM Kinder WHERE Name = :name OR ID = :other;"});
  ASSERT_EQ(query_->Params()->Count(), 2);
  EXPECT_EQ(query_->Params()->Items(0)->Name(), "name");
  EXPECT_EQ(query_->Params()->Items(0)->AsString(), "Anna");
  EXPECT_EQ(query_->Params()->Items(1)->Name(), "other");
  EXPECT_TRUE(query_->Params()->Items(1)->IsNull());
  EXPECT_EQ(query_->Params()->FindParam("id"), nullptr);
}

TEST_F(QueryParams, SameTextChangesNothing) {
  SetSQL({"UPDATE Kinder SET Name = :n;"});
  query_->ParamByName("n")->SetAsString("Q");
  query_->Prepare();
  const std::vector<uint8_t> block = {9, 8, 7};
  query_->SetSQLBinary(&block);
  CallRecording rec;
  SetSQL({"UPDATE Kinder SET Name = :n;"});
  EXPECT_TRUE(Calls().empty());
  EXPECT_TRUE(query_->Prepared());
  ASSERT_NE(query_->SQLBinary(), nullptr);
  EXPECT_EQ(query_->ParamByName("n")->AsString(), "Q");
}

TEST_F(QueryParams, AnotherTextUnpreparesAndDropsTheBinaryBlockOnce) {
  SetSQL({"UPDATE Kinder SET Name = 'a';"});
  query_->Prepare();
  const std::vector<uint8_t> block = {1};
  query_->SetSQLBinary(&block);
  CallRecording rec;
  SetSQL({"UPDATE Kinder SET Name = 'b';", "UPDATE Kinder SET Name = 'c';"});
  EXPECT_FALSE(query_->Prepared());
  EXPECT_EQ(query_->SQLBinary(), nullptr);
  // One change, so one look at the text.
  EXPECT_EQ(CallRecording::Only({"AdsGetSQLStmtParams"}),
            (std::vector<std::string>{"AdsGetSQLStmtParams('UPDATE Kinder SET Name = 'b';\r\n"
                                      "UPDATE Kinder SET Name = 'c';\r\n')"}));
}

TEST_F(QueryParams, EditingTheLinesThroughTheListRunsTheChangeHandling) {
  CallRecording rec;
  query_->SQL()->Add("SELECT * FROM Kinder WHERE ID = :id");
  EXPECT_EQ(CallRecording::Count("AdsGetSQLStmtParams"), 1);
  ASSERT_EQ(query_->Params()->Count(), 1);
  query_->SQL()->Add("  AND Name = :name");
  EXPECT_EQ(CallRecording::Count("AdsGetSQLStmtParams"), 2);
  EXPECT_EQ(query_->Params()->Count(), 2);
}

TEST_F(QueryParams, WithoutParamCheckTheApplicationKeepsTheList) {
  query_->SetParamCheck(false);
  SetSQL({"SELECT * FROM Kinder WHERE ID = :id;"});
  EXPECT_EQ(query_->Params()->Count(), 0);
  query_->Params()->CreateParam(ftInteger, "mine", ptInput);
  SetSQL({"SELECT * FROM Kinder WHERE ID = :a OR ID = :b;"});
  ASSERT_EQ(query_->Params()->Count(), 1);
  EXPECT_EQ(query_->Params()->Items(0)->Name(), "mine");
}

TEST_F(QueryParams, AtDesignTimeTheListIsRebuiltEvenWithoutParamCheck) {
  query_->SetParamCheck(false);
  query_->SetDesigning(true);
  SetSQL({"SELECT * FROM Kinder WHERE ID = :id;"});
  query_->SetDesigning(false);
  ASSERT_EQ(query_->Params()->Count(), 1);
  EXPECT_EQ(query_->Params()->Items(0)->Name(), "id");
}

TEST_F(QueryParams, TextTheEngineRefusesRaisesAndTheQueryKeepsItsText) {
  SetSQL({"SELECT * FROM Kinder WHERE ID = :id;"});
  query_->ParamByName("id")->SetAsInteger(1);
  TStringList bad;
  bad.Add("SELECT * FROM Kinder WHERE Name = 'unterminated");
  EXPECT_THROW(query_->SetSQL(&bad), EADSDatabaseError);
  EXPECT_EQ(query_->Text(), "SELECT * FROM Kinder WHERE ID = :id;\r\n");
  ASSERT_EQ(query_->Params()->Count(), 1);
  EXPECT_EQ(query_->ParamByName("id")->AsInteger(), 1);
}

TEST_F(QueryParams, AssigningAListCopiesValuesByName) {
  SetSQL({"SELECT * FROM Kinder WHERE ID = :id AND Name = :name;"});
  TParams given;
  given.CreateParam(ftInteger, "id", ptInput)->SetAsInteger(2);
  given.CreateParam(ftString, "elsewhere", ptInput)->SetAsString("x");
  query_->SetParams(&given);
  ASSERT_EQ(query_->Params()->Count(), 2);
  EXPECT_EQ(query_->ParamByName("id")->AsInteger(), 2);
  EXPECT_TRUE(query_->ParamByName("name")->IsNull());
  EXPECT_EQ(query_->Params()->FindParam("elsewhere"), nullptr);
  EXPECT_THROW(query_->ParamByName("elsewhere"), EDatabaseError);
}

}  // namespace
