// Support of the query tests: a call recorder over the import table (the entries of interest are
// rebound to functions that write one line per call and then call the engine), a world with the
// alias Vaskoli_AB, a connection on it and a real ADT table Kinder, and readers of a table's
// columns and rows through the engine's own API.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

#include "ads/adscnnct.h"
#include "ads/adstable.h"
#include "ads/connection/test_support.h"

namespace querytest {

using adstest::U8;

// ---- Call recording ---------------------------------------------------------------------------

// The lines written by the recorders, in call order: "Name(arg, arg, ...)". Out arguments show
// as "out"; texts as 'text'; field arguments given by number (ADSFIELD(n)) as #n.
inline std::vector<std::string>& Calls() {
  static std::vector<std::string> calls;
  return calls;
}

template <class T>
std::string Fmt(T value) {
  if constexpr (std::is_same_v<T, const UNSIGNED8*>) {
    const auto address = reinterpret_cast<uintptr_t>(value);
    if (value == nullptr) return "null";
    if (address < 65536) return "#" + std::to_string(address);
    return "'" + std::string(reinterpret_cast<const char*>(value)) + "'";
  } else if constexpr (std::is_same_v<T, const WCHAR*>) {
    return value == nullptr ? "null" : "'" + Utf16ToUtf8(std::u16string(value)) + "'";
  } else if constexpr (std::is_pointer_v<T>) {
    return "out";
  } else if constexpr (std::is_floating_point_v<T>) {
    return FloatToStr(value);
  } else {
    return std::to_string(value);
  }
}

// One recorder per import entry M (a pointer to a member of TAceImports).
template <auto M>
struct Recorder;
template <class R, class... A, R (*TAceImports::*M)(A...)>
struct Recorder<M> {
  static inline R (*saved)(A...) = nullptr;
  static inline const char* name = "";
  static R Call(A... args) {
    std::string line = std::string(name) + "(";
    bool first = true;
    ((line += (first ? "" : ", ") + Fmt(args), first = false), ...);
    Calls().push_back(line + ")");
    return saved(args...);
  }
};

// The binary setters' data are no texts: they are shown as their bytes in hex.
inline std::string Hex(const UNSIGNED8* data, UNSIGNED32 length) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (UNSIGNED32 i = 0; i < length; ++i) {
    out += digits[data[i] >> 4];
    out += digits[data[i] & 15];
  }
  return out;
}
inline decltype(Ace.AdsSetBinary) gSavedSetBinary = nullptr;
inline UNSIGNED32 RecordSetBinary(ADSHANDLE h, const UNSIGNED8* field, UNSIGNED16 type,
                                  UNSIGNED32 total, UNSIGNED32 offset, const UNSIGNED8* data,
                                  UNSIGNED32 length) {
  Calls().push_back("AdsSetBinary(" + std::to_string(h) + ", " + Fmt(field) + ", " +
                    std::to_string(type) + ", " + std::to_string(total) + ", " +
                    std::to_string(offset) + ", " + Hex(data, length) + ", " +
                    std::to_string(length) + ")");
  return gSavedSetBinary(h, field, type, total, offset, data, length);
}
inline decltype(Ace.AdsSetTimeStampRaw) gSavedSetTimeStampRaw = nullptr;
inline UNSIGNED32 RecordSetTimeStampRaw(ADSHANDLE h, const UNSIGNED8* field, const UNSIGNED8* data,
                                        UNSIGNED32 length) {
  Calls().push_back("AdsSetTimeStampRaw(" + std::to_string(h) + ", " + Fmt(field) + ", " +
                    Hex(data, length) + ", " + std::to_string(length) + ")");
  return gSavedSetTimeStampRaw(h, field, data, length);
}

// Rebinds the entries the query calls to recorders for its lifetime and restores them after.
// The recorded lines start empty.
class CallRecording {
 public:
  CallRecording() {
    // A second recording would record into the first and call itself.
    if (Active()) ADD_FAILURE() << "CallRecording does not nest";
    Active() = true;
    Calls().clear();
    Install<&TAceImports::AdsGetHandleType>("AdsGetHandleType");
    Install<&TAceImports::AdsCreateSQLStatement>("AdsCreateSQLStatement");
    Install<&TAceImports::AdsCloseSQLStatement>("AdsCloseSQLStatement");
    Install<&TAceImports::AdsSetSQLTimeout>("AdsSetSQLTimeout");
    Install<&TAceImports::AdsStmtSetTableLockType>("AdsStmtSetTableLockType");
    Install<&TAceImports::AdsStmtSetTableCollation>("AdsStmtSetTableCollation");
    Install<&TAceImports::AdsStmtSetTableRights>("AdsStmtSetTableRights");
    Install<&TAceImports::AdsStmtSetTableReadOnly>("AdsStmtSetTableReadOnly");
    Install<&TAceImports::AdsStmtSetTableType>("AdsStmtSetTableType");
    Install<&TAceImports::AdsStmtSetTableCharType>("AdsStmtSetTableCharType");
    Install<&TAceImports::AdsStmtConstrainUpdates>("AdsStmtConstrainUpdates");
    Install<&TAceImports::AdsStmtReadAllColumns>("AdsStmtReadAllColumns");
    Install<&TAceImports::AdsPrepareSQLW>("AdsPrepareSQLW");
    Install<&TAceImports::AdsPrepareSQL>("AdsPrepareSQL");
    Install<&TAceImports::AdsExecuteSQL>("AdsExecuteSQL");
    Install<&TAceImports::AdsVerifySQLW>("AdsVerifySQLW");
    Install<&TAceImports::AdsGetSQLStmtParams>("AdsGetSQLStmtParams");
    Install<&TAceImports::AdsGetRecordCount>("AdsGetRecordCount");
    Install<&TAceImports::AdsSqlPeekStatement>("AdsSqlPeekStatement");
    Install<&TAceImports::AdsCloseTable>("AdsCloseTable");
    Install<&TAceImports::AdsGetTableType>("AdsGetTableType");
    Install<&TAceImports::AdsSetEmpty>("AdsSetEmpty");
    Install<&TAceImports::AdsSetNull>("AdsSetNull");
    Install<&TAceImports::AdsSetLogical>("AdsSetLogical");
    Install<&TAceImports::AdsSetDouble>("AdsSetDouble");
    Install<&TAceImports::AdsSetJulian>("AdsSetJulian");
    Install<&TAceImports::AdsSetMilliseconds>("AdsSetMilliseconds");
    Install<&TAceImports::AdsSetString>("AdsSetString");
    Install<&TAceImports::AdsSetStringW>("AdsSetStringW");
    Install<&TAceImports::AdsSetLong>("AdsSetLong");
    Install<&TAceImports::AdsStmtEnableEncryption>("AdsStmtEnableEncryption");
    Install<&TAceImports::AdsStmtDisableEncryption>("AdsStmtDisableEncryption");
    Install<&TAceImports::AdsStmtSetTablePassword>("AdsStmtSetTablePassword");
    Install<&TAceImports::AdsStmtClearTablePasswords>("AdsStmtClearTablePasswords");
    Install<&TAceImports::AdsGetLastAutoinc>("AdsGetLastAutoinc");
    gSavedSetBinary = Ace.AdsSetBinary;
    Ace.AdsSetBinary = &RecordSetBinary;
    restores_.push_back([] { Ace.AdsSetBinary = gSavedSetBinary; });
    gSavedSetTimeStampRaw = Ace.AdsSetTimeStampRaw;
    Ace.AdsSetTimeStampRaw = &RecordSetTimeStampRaw;
    restores_.push_back([] { Ace.AdsSetTimeStampRaw = gSavedSetTimeStampRaw; });
  }
  ~CallRecording() {
    for (auto it = restores_.rbegin(); it != restores_.rend(); ++it) (*it)();
    Active() = false;
  }
  CallRecording(const CallRecording&) = delete;
  CallRecording& operator=(const CallRecording&) = delete;

  // The recorded lines whose function name is one of names (all lines when names is empty).
  static std::vector<std::string> Only(std::initializer_list<std::string> names) {
    std::vector<std::string> out;
    for (const std::string& line : Calls()) {
      const std::string fn = line.substr(0, line.find('('));
      for (const std::string& n : names)
        if (fn == n) out.push_back(line);
    }
    return out;
  }
  static int Count(const std::string& name) {
    int n = 0;
    for (const std::string& line : Calls())
      if (line.compare(0, name.size() + 1, name + "(") == 0) ++n;
    return n;
  }
  static void Clear() { Calls().clear(); }

 private:
  static bool& Active() {
    static bool active = false;
    return active;
  }
  template <auto M>
  void Install(const char* name) {
    using R = Recorder<M>;
    R::saved = Ace.*M;
    R::name = name;
    Ace.*M = &R::Call;
    restores_.push_back([] { Ace.*M = R::saved; });
  }
  std::vector<void (*)()> restores_;
};

// ---- A world with the application's database --------------------------------------------------

// The temporary folder with the alias Vaskoli_AB (ADT tables) on a data folder that holds
// the table Kinder (ID integer, Name char(20)) with two records, and a window component that
// owns the connection AdsConnection1 (connected) and the query AdsQuery1 bound to it by name
// and by reference, as the upgrade tool's window has them.
class QueryWorld : public adstest::TempWorld {
 protected:
  void SetUp() override {
    TempWorld::SetUp();
    data_ = Folder("data");
    WriteAliases("Vaskoli_AB=" + data_ + ";A\n");
    MakeKinder();
    form_ = new TComponent(nullptr);
    conn_ = new TAdsConnection(form_);
    conn_->SetName("AdsConnection1");
    conn_->SetAliasName("Vaskoli_AB");
    conn_->SetAdsServerTypes(TAdsServerTypes({stADS_LOCAL}));
    conn_->SetLoginPrompt(false);
    conn_->SetUsername("Adssys");
    conn_->Connect();
    query_ = new TAdsQuery(form_);
    query_->SetName("AdsQuery1");
    query_->SetDatabaseName("AdsConnection1");
    query_->SetAdsConnection(conn_);
  }
  void TearDown() override {
    delete form_;
    TempWorld::TearDown();
  }

  void MakeKinder() {
    ADSHANDLE conn = 0, table = 0;
    ASSERT_EQ(AdsConnect(U8(data_), &conn), 0u);
    ASSERT_EQ(
        AdsCreateTable90(conn, U8("Kinder"), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                         ADS_CHECK_RIGHTS, 0, U8("ID,Integer;Name,Char,20"), 0, U8(""), &table),
        0u);
    for (int i = 1; i <= 2; ++i) {
      ASSERT_EQ(AdsAppendRecord(table), 0u);
      ASSERT_EQ(AdsSetLong(table, U8("ID"), i), 0u);
      const std::string name = i == 1 ? "Anna" : "Ben";
      ASSERT_EQ(AdsSetString(table, U8("Name"), U8(name), static_cast<UNSIGNED32>(name.size())),
                0u);
      ASSERT_EQ(AdsWriteRecord(table), 0u);
    }
    AdsCloseTable(table);
    AdsDisconnect(conn);
  }

  // The columns of a table of the data folder as "Name:type:length", read through the engine.
  std::vector<std::string> Columns(const std::string& table) {
    std::vector<std::string> out;
    ADSHANDLE conn = 0, t = 0;
    EXPECT_EQ(AdsConnect(U8(data_), &conn), 0u);
    EXPECT_EQ(AdsOpenTable90(conn, U8(table), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8(""), &t),
              0u);
    UNSIGNED16 count = 0;
    EXPECT_EQ(AdsGetNumFields(t, &count), 0u);
    for (UNSIGNED16 n = 1; n <= count; ++n) {
      UNSIGNED8 name[129] = {};
      UNSIGNED16 len = 129;
      UNSIGNED16 type = 0;
      UNSIGNED32 length = 0;
      EXPECT_EQ(AdsGetFieldName(t, n, name, &len), 0u);
      EXPECT_EQ(AdsGetFieldType(t, ADSFIELD(n), &type), 0u);
      EXPECT_EQ(AdsGetFieldLength(t, ADSFIELD(n), &length), 0u);
      out.push_back(std::string(reinterpret_cast<char*>(name)) + ":" + std::to_string(type) + ":" +
                    std::to_string(length));
    }
    AdsCloseTable(t);
    AdsDisconnect(conn);
    return out;
  }

  // The text of one field of every record of a table, in natural order (trimmed).
  std::vector<std::string> ColumnValues(const std::string& table, const std::string& field) {
    std::vector<std::string> out;
    ADSHANDLE conn = 0, t = 0;
    EXPECT_EQ(AdsConnect(U8(data_), &conn), 0u);
    EXPECT_EQ(AdsOpenTable90(conn, U8(table), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                             ADS_CHECK_RIGHTS, 0, U8(""), &t),
              0u);
    EXPECT_EQ(AdsGotoTop(t), 0u);
    UNSIGNED16 eof = 0;
    while (AdsAtEOF(t, &eof) == 0 && !eof) {
      UNSIGNED8 buf[512] = {};
      UNSIGNED32 len = sizeof buf - 1;
      EXPECT_EQ(AdsGetField(t, U8(field), buf, &len, ADS_TRIM), 0u);
      out.push_back(std::string(reinterpret_cast<char*>(buf), len));
      EXPECT_EQ(AdsSkip(t, 1), 0u);
    }
    AdsCloseTable(t);
    AdsDisconnect(conn);
    return out;
  }

  void SetSQL(const std::vector<std::string>& lines) {
    TStringList list;
    for (const std::string& l : lines) list.Add(l);
    query_->SetSQL(&list);
  }

  std::string data_;
  TComponent* form_ = nullptr;
  TAdsConnection* conn_ = nullptr;
  TAdsQuery* query_ = nullptr;
};

// The four lines of the upgrade script.
inline const std::vector<std::string>& UpgradeScript() {
  static const std::vector<std::string> lines = {
      "ALTER TABLE Kinder ADD COLUMN Alter_Stichtag integer;",
      "ALTER TABLE Kinder ADD COLUMN Kosten_von date;",
      "ALTER TABLE Kinder ADD COLUMN Kosten_bis date;",
      "ALTER TABLE Kinder ADD COLUMN Migrationshintergrund char(5);"};
  return lines;
}

// Expects Fn to raise E; answers its message ("" when nothing or something else was raised).
template <class E, class Fn>
std::string MessageOf(Fn fn) {
  try {
    fn();
  } catch (const E& e) {
    return e.Message();
  } catch (const std::exception& e) {
    ADD_FAILURE() << "another exception: " << e.what();
    return "";
  }
  ADD_FAILURE() << "nothing raised";
  return "";
}

}  // namespace querytest
