// The table and query components: TAdsTable (a dataset on one engine table) and TAdsQuery
// (SQL text run on the engine, and a dataset on its result cursor), with TAdsQueryDataLink.
// This header is the module's one interface; the table lives in adstable_table.cpp, the query
// in adstable_query*.cpp.
#pragma once

#include <string>
#include <vector>

#include "ads/adsfunc.h"

// ---- The table ---------------------------------------------------------------------------

// What the engine does with an index that was built with another collation than the table's:
// refuse the open (icmError), use the index as it is (icmIgnore), or rebuild it (icmReindex).
enum TIndexCollationMismatchOptions : uint8_t { icmError, icmIgnore, icmReindex };

// A dataset on one table of the database: a free table file in the database's folder, or a
// table of a data dictionary reached through a dictionary connection. The table opens its
// engine cursor itself (OpenEngineCursor) with the open options, character type, lock type,
// rights checking and collation its properties and table options give, and opens the files of
// IndexFiles with it. Everything else (buffers, fields, navigation) is the dataset core's.
//
// The table owns its cursor (closed by the core's close sequence) and the objects the core
// creates for it; it refers to its connection without owning it. One thread at a time.
class TAdsTable : public TAdsExtendedTable {
  VCL_DECLARE_CLASS(TAdsTable, TAdsExtendedTable)
 public:
  explicit TAdsTable(TComponent* AOwner);
  // Closes the table (without its close events) before the core's members go.
  ~TAdsTable() override;

  // The table's name or file name. Refused on an open table; a new name (compared with regard
  // to case) empties IndexFiles unless the table is being read from a stored description.
  void SetTableName(const std::string& Value);
  // Refused on an open table, and when the type contradicts the type of the alias named by
  // DatabaseName or of the connection component; also sets the engine type used for opening.
  void SetTableType(TAdsTableTypes Value) override;
  // Exclusive and ReadOnly take effect at the next open; an open table refuses them with the
  // framework's error (or is closed first at design time).
  void SetExclusive(bool Value);
  void SetReadOnly(bool Value);
  TIndexCollationMismatchOptions IndexCollationMismatch() const { return meIndexCollationMismatch; }
  // Refused on an open table.
  void SetIndexCollationMismatch(TIndexCollationMismatchOptions Value);
  // The password that enables encryption of an encrypted table when it opens.
  const std::string& EncryptionPassword() const { return FstrEncryptionPassword; }
  void SetEncryptionPassword(const std::string& Value) { FstrEncryptionPassword = Value; }
  // Whether FieldDefs and IndexDefs are written to the stored description (when they hold at
  // least one definition). Set whenever the definitions are changed from outside.
  bool StoreDefs() const { return FStoreDefs; }
  void SetStoreDefs(bool Value) { FStoreDefs = Value; }
  // A stored text that no operation interprets.
  const std::string& InfoExpression() const { return FstrInfoExpression; }
  void SetInfoExpression(const std::string& Value) { FstrInfoExpression = Value; }

  // True when the table is open; else whether its file exists in the database folder (".adt"
  // for ttAdsADT, ".dbf" for the other types is appended to a name without extension). No
  // engine call is made.
  bool Exists();

  // Master-detail: the master's fields named by MasterFields and the fields of the index that
  // IndexName or IndexFieldNames chooses. Both lists are emptied first; the second stays empty
  // without such an index.
  virtual void GetDetailLinkFields(std::vector<TField*>& MasterFields,
                                   std::vector<TField*>& DetailFields);
  // The framework's notification that FieldDefs or IndexDefs were changed from outside (not by
  // reading them from the engine): they are to be stored from now on.
  void DefChanged(TObject* Sender) override;
  // The engine's last autoincrement value of the open table; ERangeError above 2147483647.
  int32_t GetLastAutoincVal() override;
  // Opens the table's engine cursor (the steps of the table's open); leaves nothing open when
  // it raises.
  int32_t OpenEngineCursor() override;

  // ---- restructuring (adstable_restructure.cpp)
  // Changes the structure of the closed table through the engine: fields to add (as in a
  // field specification, "Name,Char,30;"), to delete ("Name;") and to change
  // ("Name,NewName,Type[,Length[,Decimals]];"), passed on unchanged.
  void Restructure(const std::string& strAddFields, const std::string& strDeleteFields,
                   const std::string& strChangeFields);

  // ---- provider answers (adstable_provider.cpp)
  // The framework's key fields, else those of the primary index, else of the first unique one.
  std::string PSGetKeyFields() override;
  std::string PSGetTableName() override { return mstrTableName; }
  std::string PSGetCommandText() override { return mstrTableName; }
  // A text that is not empty becomes TableName (the table is closed first).
  void PSSetCommandText(const std::string& CommandText) override;
  // The order IndexName or IndexFieldNames chooses; nullptr in record order.
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() override;
  std::unique_ptr<TIndexDefs> PSGetIndexDefs(TIndexOptions IndexTypes) override;
  // Parameters are a range on the current index: each one's value for the field of its name,
  // or, unnamed, for the index field of its position. No parameters cancel the range.
  void PSSetParams(TParams* AParams) override;

 private:
  UNSIGNED32 OpenOptionBits();
  void EnableEncryption(ADSHANDLE hTable);
  void OpenIndexFiles(ADSHANDLE hTable, const std::string& strDatabasePath);
  bool StoreFieldDefs() const;
  bool StoreIndexDefs() const;

  TIndexCollationMismatchOptions meIndexCollationMismatch = icmError;
  std::string FstrEncryptionPassword;
  bool FStoreDefs = false;
  std::string FstrInfoExpression;
};

// ---- The query ---------------------------------------------------------------------------

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/db/DBParams.h"

// How a data provider would locate the rows it writes back; the query only stores it.
enum TUpdateMode { upWhereAll, upWhereChanged, upWhereKeyOnly };

class TAdsQuery;

// What a parameter list bound to a statement does with the structured types (ftADT, ftArray,
// ftReference, ftDataSet): the query leaves them unbound, the connection's Execute refuses them.
enum class TStructuredParamUse { Skip, Refuse };

// Binds the values of poParams to the parameters of the prepared statement hStmt, each through
// the engine setter its DataType calls for; a null parameter is bound empty. The items are the
// statement's parameters in order, except that a name occurring more than once is one engine
// parameter, bound once with its first item's value. Failures raise before the statement is
// executed: engine answers through AceCheck, ftUnknown and the unsupported types as component
// errors, both naming poDataSet (none when null); a date beyond the engine's 32-bit day numbers
// is an ERangeError.
void BindStatementParams(TAdsDataSet* poDataSet, ADSHANDLE hStmt, TParams* poParams,
                         TStructuredParamUse eStructured);

// The query's link to its master's data source (the query's DataSource). It reopens the query
// when the master opens, closes or moves, and passes the master's request to leave editing on.
// Owned by its query; FQuery is not owned.
class TAdsQueryDataLink : public TDetailDataLink {
  VCL_DECLARE_CLASS(TAdsQueryDataLink, TDetailDataLink)
 public:
  explicit TAdsQueryDataLink(TAdsQuery* AQuery) : FQuery(AQuery) {}
  TDataSet* DetailDataSet() override;

 protected:
  void ActiveChanged() override;
  void RecordChanged(TField* Field) override;
  void CheckBrowseMode() override;

 private:
  TAdsQuery* FQuery;
};

// SQL text run on the engine through one statement handle of the query's connection: ExecSQL
// (run, keep no result), ExecSQLScript and VerifySQL (after blanking comment and section
// lines), and, opened as a dataset, the result cursor of the statement.
//
// Ownership: the query owns its SQL lines, its parameters, its data link, its SQLBinary block
// and its engine statement (mhStmt). The statement survives closing at run time and is reused
// while the engine still knows it; it is released by AdsCloseSQLStatement, by closing at design
// time, by a change of DatabaseName and by destruction, and forgotten without an engine call by
// InvalidateAceHandles (the connection has closed it). Errors are exceptions: engine failures
// through AceCheck with the query as the dataset, the query's own checks as component errors
// (5121). One thread at a time.
class TAdsQuery : public TAdsExtendedDataSet {
  VCL_DECLARE_CLASS(TAdsQuery, TAdsExtendedDataSet)
 public:
  explicit TAdsQuery(TComponent* AOwner);
  ~TAdsQuery() override;

  // ---- the SQL text and its parameters
  TStrings* SQL() const { return mSQL.get(); }
  // Replaces the text; the same text changes nothing, another closes and unprepares the query
  // and runs the SQL-change handling once.
  void SetSQL(TStrings* Value);
  // Every line followed by CR LF.
  std::string Text() const { return mSQL->Text(); }
  TParams* Params() const { return moParams.get(); }
  // Copies the values of Value into Params by parameter name.
  void SetParams(TParams* Value);
  // The parameter of that name; EDatabaseError when there is none.
  TParam* ParamByName(const std::string& Value) const { return moParams->ParamByName(Value); }
  // Params' count; ERangeError beyond 16 bits.
  uint16_t ParamCount() const;
  bool ParamCheck() const { return mbParamCheck; }
  void SetParamCheck(bool Value) { mbParamCheck = Value; }

  // ---- execution
  // Executes the SQL text; a result cursor the engine returns is closed at once. The statement
  // stays for the next execution and Prepared stays True. Refused on an open query.
  void ExecSQL();
  // ExecSQL after blanking the lines that begin with "#" or "["; the text is restored
  // afterwards, and any failure of the execution becomes EDatabaseError "ERROR IN SCRIPT: ...".
  void ExecSQLScript();
  // The same blanking, then the engine checks the text without running it.
  void VerifySQL();
  // Prepared is a flag only (the engine is prepared on every execution). Prepare sets it and
  // RowsAffected -1, UnPrepare clears it; both are refused on an open query.
  void Prepare();
  void UnPrepare();
  bool Prepared() const { return mbPrepared; }
  void SetPrepared(bool Value);
  // Rows of the last execution as the engine counts them; -1 when unknown.
  int32_t RowsAffected() const { return mlRowsAffected; }
  int32_t StmtHandle() const { return mhStmt; }
  // Seconds an execution may run; 0 for no limit. A statement that exists gets it at once.
  int32_t SQLTimeout() const { return FSQLTimeout; }
  void SetSQLTimeout(int32_t Value);

  // ---- statement handle and engine operations on it
  // Releases the statement (the engine answer 5106, an unknown statement, is accepted);
  // refused on an open query.
  void AdsCloseSQLStatement();
  // Forgets the statement and the remembered connection handle without engine calls.
  void InvalidateAceHandles() override;
  void AdsStmtEnableEncryption(const std::string& strPassword);
  void AdsStmtDisableEncryption();
  void AdsStmtSetTablePassword(const std::string& strTableName, const std::string& strPassword);
  void AdsStmtClearTablePasswords();

  // ---- options
  bool ReadAllColumns() const { return mbReadAllColumns; }
  void SetReadAllColumns(bool Value) { mbReadAllColumns = Value; }
  bool RequestLive() const { return mbRequestLive; }
  void SetRequestLive(bool Value) { mbRequestLive = Value; }
  bool Constrained() const { return mbConstrained; }
  void SetConstrained(bool Value) { mbConstrained = Value; }
  // The table type of the tables the statement opens; ttAdsNTX is refused.
  TAdsTableTypes SourceTableType() const { return meTableType; }
  void SetTableType(TAdsTableTypes eValue) override;
  void InternalSetTableType(TAdsTableTypes eValue, bool bIgnoreNTXError);
  // Detaches the connection component, stores the name as every dataset does, and releases a
  // statement made on a connection the old name gave.
  void SetDatabaseName(const std::string& Value) override;

  // ---- master
  TDataSource* DataSource() const { return moDataLink->DataSource(); }
  // "Circular Data Link" when Value is linked to this query already.
  void SetDataSource(TDataSource* Value);
  TDataSource* GetDataSource() override { return DataSource(); }
  // Master-detail: for each parameter in order, the master's field of its name and, when the
  // master has one, the query's own field of that name. Both lists are emptied first.
  void GetDetailLinkFields(std::vector<TField*>& MasterFields, std::vector<TField*>& DetailFields);

  // ---- stored only, or refused
  // An opaque block streamed as "Data"; never sent to the engine. Null when none.
  const std::vector<uint8_t>* SQLBinary() const {
    return mpucSQLBinary ? &*mpucSQLBinary : nullptr;
  }
  void SetSQLBinary(const std::vector<uint8_t>* Value);
  TUpdateMode UpdateMode() const { return moUpdateMode; }
  void SetUpdateMode(TUpdateMode Value) { moUpdateMode = Value; }
  bool UniDirectional() const { return mbUniDirectional; }
  void SetUniDirectional(bool Value) { mbUniDirectional = Value; }
  bool Local() const { return mbLocal; }
  int32_t WaitCursor() const { return 0; }
  void SetWaitCursor(int32_t) {}
  [[noreturn]] void Constraints();
  [[noreturn]] void UpdateObject();

  void DefineProperties(TFiler* Filer) override;

  // ---- provider answers (adstable_query_provider.cpp)
  // The framework's order, else the one the ORDER BY clause asks for.
  std::unique_ptr<TIndexDef> PSGetDefaultOrder() override;
  TParams* PSGetParams() override { return moParams.get(); }
  // A list with items replaces Params; the query is closed in every case.
  void PSSetParams(TParams* AParams) override;
  // The table of the SELECT's FROM clause.
  std::string PSGetTableName() override;
  void PSExecute() override { ExecSQL(); }
  // A text that is not empty becomes the SQL text.
  void PSSetCommandText(const std::string& CommandText) override;

  // The cursor hook: runs the statement and answers its result cursor.
  int32_t OpenEngineCursor() override;
  // The last autoincrement value of the open cursor, or of the statement while closed
  // (LastAutoincVal); ERangeError beyond 31 bits.
  int32_t GetLastAutoincVal() override;

 protected:
  // After the dataset's own close: unprepare; at design time the statement goes too.
  void InternalClose() override;
  // The row's number as the table numbers its records, along the order IndexName or
  // IndexFieldNames chose or else the order the engine's cursor is in; ERangeError beyond 31
  // bits.
  int32_t CurrentEngineRecNo() override;

 private:
  friend class TAdsQueryDataLink;

  // Creates the statement handle when there is no usable one.
  void EnsureStatement();
  // The eight statement options, in order.
  void ApplyStatementOptions();
  // The execution routine: answers the result cursor, or -1 when the statement gave none.
  int32_t ExecuteStatement();
  void FillParamsFromMaster();
  // The index order rows are numbered along; 0 for the natural order.
  ADSHANDLE NumberingOrder();
  enum class TScriptMode { Execute, Verify };
  void RunScript(TScriptMode eMode);
  // Replaces the lines inside one update bracket.
  void AssignLines(TStrings* poLines);
  // The string list's change handler.
  void SQLChanged();
  void RebuildParams(const std::string& strText);
  void CloseStatementHandle(bool bExcuseUnknown);
  void ReopenForMaster();

  std::unique_ptr<TStringList> mSQL;
  bool mbPrepared = false;
  bool mbReadAllColumns = false;
  std::unique_ptr<TParams> moParams;
  bool mbRequestLive = false;
  bool mbConstrained = false;
  bool mbParamCheck = true;
  std::unique_ptr<TAdsQueryDataLink> moDataLink;
  int32_t mhStmt = -1;
  int32_t mhConnection = -1;
  int32_t mlRowsAffected = -1;
  std::optional<std::vector<uint8_t>> mpucSQLBinary;
  int32_t FSQLTimeout = 0;
  TUpdateMode moUpdateMode = upWhereAll;
  bool mbUniDirectional = false;
  bool mbLocal = false;
};
