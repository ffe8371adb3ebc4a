// Progress callbacks, the callback function and the SQL abort function: long operations report
// rising percentages and stop when asked, leaving the files exactly as they were; registrations
// belong to the thread that made them.
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <thread>
#include <vector>

#include "tests/engine/api/api_fixture.h"

namespace ace_api_test {
namespace {

// What the callbacks saw, and when they answer "stop". Reset by every test.
std::vector<UNSIGNED16> g_percents;
std::vector<UNSIGNED32> g_ids;
int g_stop_at = 1000;  // the first percentage at or above this answers stop
int g_aborts_polled = 0;
int g_abort_after = 1 << 30;  // polls answered "go on" before the abort function says stop

UNSIGNED32 OnProgress(UNSIGNED16 percent) {
  g_percents.push_back(percent);
  return percent >= g_stop_at ? 1 : 0;
}

UNSIGNED32 OnCallback(UNSIGNED16 percent, UNSIGNED32 id) {
  g_ids.push_back(id);
  return percent >= g_stop_at ? 1 : 0;
}

UNSIGNED32 OnAbort() {
  return ++g_aborts_polled > g_abort_after ? 1 : 0;
}

std::map<std::string, std::string> FolderBytes(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : std::filesystem::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    files[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
  }
  return files;
}

class CallbackTest : public ApiTest, public ::testing::WithParamInterface<UNSIGNED16> {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    g_percents.clear();
    g_ids.clear();
    g_stop_at = 1000;
    g_aborts_polled = 0;
    g_abort_after = 1 << 30;
  }
  void TearDown() override {
    AdsClearProgressCallback();
    AdsClearCallbackFunction();
    AdsClearSQLAbortFunc();
    ApiTest::TearDown();
  }

  UNSIGNED16 type() const { return GetParam(); }
  std::string file(const char* base) const {
    return std::string(base) + (type() == ADS_ADT ? ".adt" : ".dbf");
  }

  // 400 records, every fifth deleted, a memo on every fourth, an index on the name.
  void MakeTable() {
    ADSHANDLE t = Create("liste", type(), "NAME,Char,20;NR,Numeric,6,0;NOTIZ,Memo;");
    ASSERT_NE(0u, t);
    for (int i = 1; i <= 400; ++i) {
      std::string n = "Name " + std::to_string(1000 - i);
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetString(t, U("NAME"), U(n), static_cast<UNSIGNED32>(n.size())));
      ASSERT_ACE(AdsSetDouble(t, U("NR"), i));
      if (i % 4 == 0) {
        ASSERT_ACE(AdsSetString(t, U("NOTIZ"), U("Notiz"), 5));
      }
      ASSERT_ACE(AdsWriteRecord(t));
      if (i % 5 == 0) {
        ASSERT_ACE(AdsDeleteRecord(t));
      }
    }
    ADSHANDLE index = 0;
    ASSERT_ACE(AdsCreateIndex90(t, nullptr, U("NAME"), U("NAME"), nullptr, nullptr, 0, 0, nullptr,
                                &index));
    ASSERT_ACE(AdsCloseTable(t));
  }

  ADSHANDLE OpenExclusive() {
    ADSHANDLE t = 0;
    EXPECT_ACE(Open("liste", type(), &t, ADS_EXCLUSIVE));
    return t;
  }

  UNSIGNED32 Count(ADSHANDLE t) {
    UNSIGNED32 n = 0;
    EXPECT_ACE(AdsGetRecordCount(t, ADS_IGNOREFILTERS, &n));
    return n;
  }

  // Runs op with a progress callback that stops at 50 percent; the operation must answer 5070
  // and every file of the folder must be as it was.
  void ExpectStoppedWithoutTrace(const char* what, const std::function<UNSIGNED32()>& op) {
    const auto before = FolderBytes(dir_);
    g_percents.clear();
    g_stop_at = 50;
    ASSERT_ACE(AdsRegisterProgressCallback(OnProgress));
    EXPECT_EQ(5070u, op()) << what << ": " << LastErrorText();
    ASSERT_ACE(AdsClearProgressCallback());
    ASSERT_FALSE(g_percents.empty()) << what;
    EXPECT_GE(g_percents.back(), 50) << what;
    EXPECT_TRUE(std::is_sorted(g_percents.begin(), g_percents.end())) << what;
    const auto after = FolderBytes(dir_);
    EXPECT_EQ(before.size(), after.size()) << what << ": files were added or removed";
    for (const auto& [name, bytes] : before) {
      auto it = after.find(name);
      ASSERT_NE(after.end(), it) << what << ": " << name << " is gone";
      EXPECT_TRUE(it->second == bytes) << what << ": " << name << " changed";
    }
  }
};

TEST_P(CallbackTest, APackAskedToStopLeavesTheTableAsItWas) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  ExpectStoppedWithoutTrace("pack", [&] { return AdsPackTable(t); });
  EXPECT_EQ(400u, Count(t));
  // The table still works and packs completely without the callback.
  ASSERT_ACE(AdsPackTable(t));
  EXPECT_EQ(320u, Count(t));
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_P(CallbackTest, AReindexOrIndexCreationAskedToStopLeavesTheIndexesAsTheyWere) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  ExpectStoppedWithoutTrace("reindex", [&] { return AdsReindex(t); });
  ExpectStoppedWithoutTrace("index creation", [&] {
    ADSHANDLE index = 0;
    return AdsCreateIndex90(t, U("extra"), U("NR"), U("NR"), nullptr, nullptr, 0, 0, nullptr,
                            &index);
  });
  ADSHANDLE index = 0;
  EXPECT_EQ(5016u, AdsGetIndexHandle(t, U("NR"), &index));  // no tag was left behind
  ASSERT_ACE(AdsGetIndexHandle(t, U("NAME"), &index));
  UNSIGNED16 found = 0;
  ASSERT_ACE(AdsSeek(index, U("Name 701"), 8, ADS_STRINGKEY, ADS_HARDSEEK, &found));
  EXPECT_EQ(1, found);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_P(CallbackTest, AnAlterTableAskedToStopLeavesTheTableAsItWas) {
  MakeTable();
  ADSHANDLE stmt = 0;
  ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt));
  ASSERT_ACE(AdsStmtSetTableType(stmt, type()));
  ExpectStoppedWithoutTrace("ALTER TABLE", [&] {
    ADSHANDLE cursor = 0;
    return AdsExecuteSQLDirect(stmt, U("ALTER TABLE liste ADD COLUMN EXTRA char(4)"), &cursor);
  });
  ASSERT_ACE(AdsCloseSQLStatement(stmt));
  ADSHANDLE t = OpenExclusive();
  UNSIGNED16 fields = 0;
  ASSERT_ACE(AdsGetNumFields(t, &fields));
  EXPECT_EQ(3, fields);
  ASSERT_ACE(AdsCloseTable(t));
}

TEST_P(CallbackTest, ACopyAskedToStopLeavesNoHalfCopy) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  ExpectStoppedWithoutTrace("copy", [&] { return AdsCopyTable(t, ADS_IGNOREFILTERS, U("kopie")); });
  ExpectStoppedWithoutTrace("convert", [&] {
    return AdsConvertTable(t, ADS_IGNOREFILTERS, U("konv"), type() == ADS_ADT ? ADS_CDX : ADS_ADT);
  });
  ASSERT_ACE(AdsCopyTable(t, ADS_IGNOREFILTERS, U("kopie")));
  ASSERT_ACE(AdsCloseTable(t));
  ADSHANDLE copy = 0;
  ASSERT_ACE(Open("kopie", type(), &copy));
  EXPECT_EQ(400u, Count(copy));
  ASSERT_ACE(AdsCloseTable(copy));
}

TEST_P(CallbackTest, ACompleteOperationReportsRisingPercentsToBothCallbacks) {
  MakeTable();
  ADSHANDLE t = OpenExclusive();
  ASSERT_ACE(AdsRegisterProgressCallback(OnProgress));
  ASSERT_ACE(AdsRegisterCallbackFunction(OnCallback, 4711));
  ASSERT_ACE(AdsPackTable(t));
  ASSERT_FALSE(g_percents.empty());
  EXPECT_EQ(0, g_percents.front());
  EXPECT_EQ(100, g_percents.back());
  EXPECT_TRUE(std::is_sorted(g_percents.begin(), g_percents.end()));
  EXPECT_EQ(std::adjacent_find(g_percents.begin(), g_percents.end()), g_percents.end())
      << "a percentage was reported twice";
  ASSERT_EQ(g_percents.size(), g_ids.size());
  for (UNSIGNED32 id : g_ids) EXPECT_EQ(4711u, id);
  // The callback function alone can stop an operation too.
  ASSERT_ACE(AdsClearProgressCallback());
  g_stop_at = 30;
  EXPECT_EQ(5070u, AdsReindex(t));
  // Cleared callbacks are not called.
  ASSERT_ACE(AdsClearCallbackFunction());
  g_percents.clear();
  g_ids.clear();
  ASSERT_ACE(AdsReindex(t));
  EXPECT_TRUE(g_percents.empty());
  EXPECT_TRUE(g_ids.empty());
  ASSERT_ACE(AdsCloseTable(t));
}

INSTANTIATE_TEST_SUITE_P(Formats, CallbackTest, ::testing::Values(ADS_ADT, ADS_CDX),
                         [](const auto& info) { return info.param == ADS_ADT ? "ADT" : "CDX"; });

class SqlAbortTest : public ApiTest {
 protected:
  void SetUp() override {
    ApiTest::SetUp();
    g_aborts_polled = 0;
    g_abort_after = 1 << 30;
    ADSHANDLE t = Create("zahlen", ADS_ADT, "N,Integer;");
    for (int i = 1; i <= 300; ++i) {
      ASSERT_ACE(AdsAppendRecord(t));
      ASSERT_ACE(AdsSetLong(t, U("N"), i));
      ASSERT_ACE(AdsWriteRecord(t));
    }
    ASSERT_ACE(AdsCloseTable(t));
    ASSERT_ACE(AdsCreateSQLStatement(conn_, &stmt_));
  }
  void TearDown() override {
    AdsClearSQLAbortFunc();
    AdsCloseSQLStatement(stmt_);
    ApiTest::TearDown();
  }
  UNSIGNED32 Run(const char* sql) {
    ADSHANDLE cursor = 0;
    UNSIGNED32 rc = AdsExecuteSQLDirect(stmt_, U(sql), &cursor);
    if (cursor != 0) AdsCloseTable(cursor);
    return rc;
  }
  long Sum() {
    ADSHANDLE t = 0;
    EXPECT_ACE(Open("zahlen", ADS_ADT, &t));
    long sum = 0;
    UNSIGNED16 eof = 0;
    EXPECT_ACE(AdsGotoTop(t));
    while (AdsAtEOF(t, &eof) == 0 && !eof) {
      SIGNED32 v = 0;
      EXPECT_ACE(AdsGetLong(t, U("N"), &v));
      sum += v;
      EXPECT_ACE(AdsSkip(t, 1));
    }
    AdsCloseTable(t);
    return sum;
  }
  ADSHANDLE stmt_ = 0;
};

TEST_F(SqlAbortTest, TheAbortFunctionStopsALongSelectAndAnUpdateThatChangesNothing) {
  ASSERT_ACE(AdsRegisterSQLAbortFunc(OnAbort));
  const char* select = "SELECT COUNT(*) FROM zahlen a, zahlen b, zahlen c WHERE a.N + b.N = c.N";
  g_abort_after = 50;
  EXPECT_EQ(5070u, Run(select)) << LastErrorText();
  EXPECT_GT(g_aborts_polled, 50);

  const long before = Sum();
  g_aborts_polled = 0;
  g_abort_after = 3;
  EXPECT_EQ(5070u, Run("UPDATE zahlen SET N = N + (SELECT COUNT(*) FROM zahlen a, zahlen b)"))
      << LastErrorText();
  EXPECT_EQ(before, Sum()) << "the stopped UPDATE changed rows";

  // Without the function, and with one that never asks to stop, the same statements run.
  g_abort_after = 1 << 30;
  EXPECT_ACE(Run("UPDATE zahlen SET N = N + 1"));
  EXPECT_EQ(before + 300, Sum());
  ASSERT_ACE(AdsClearSQLAbortFunc());
  g_aborts_polled = 0;
  EXPECT_ACE(Run("SELECT COUNT(*) FROM zahlen a, zahlen b"));
  EXPECT_EQ(0, g_aborts_polled);
}

TEST_F(SqlAbortTest, TheAbortFunctionIsAskedBeforeEveryStatementOfAText) {
  ASSERT_ACE(AdsRegisterSQLAbortFunc(OnAbort));
  g_abort_after = 0;  // stop at once
  EXPECT_EQ(5070u, Run("UPDATE zahlen SET N = 0; UPDATE zahlen SET N = 1"));
  EXPECT_EQ(300L * 301 / 2, Sum());
}

// ---- Registrations are per thread ---------------------------------------------------------

std::atomic<int> g_other_thread_calls{0};
UNSIGNED32 CountOtherThread(UNSIGNED16) {
  ++g_other_thread_calls;
  return 1;
}

class ThreadStateTest : public ApiTest {};

TEST_F(ThreadStateTest, ACallbackOfAnotherThreadIsNeverCalledAndThreadExitClearsState) {
  ADSHANDLE t = Create("tabelle", ADS_ADT, "N,Integer;");
  for (int i = 0; i < 50; ++i) {
    ASSERT_ACE(AdsAppendRecord(t));
    ASSERT_ACE(AdsWriteRecord(t));
  }
  std::thread other([] {
    EXPECT_EQ(0u, AdsRegisterProgressCallback(CountOtherThread));
    // Its own error state and registrations go with AdsThreadExit.
    EXPECT_EQ(5001u, AdsPackTable(0x7FFFFFF0u));
    EXPECT_EQ(0u, AdsThreadExit());
    UNSIGNED32 code = 1;
    UNSIGNED8 text[ADS_MAX_ERROR_LEN];
    UNSIGNED16 len = sizeof text;
    EXPECT_EQ(0u, AdsGetLastError(&code, text, &len));
    EXPECT_EQ(0u, code);
    EXPECT_EQ(0u, AdsRegisterProgressCallback(CountOtherThread));
  });
  other.join();
  ASSERT_ACE(AdsCloseTable(t));
  ASSERT_ACE(Open("tabelle", ADS_ADT, &t, ADS_EXCLUSIVE));
  ASSERT_ACE(AdsPackTable(t));  // this thread registered nothing
  EXPECT_EQ(0, g_other_thread_calls.load());

  g_percents.clear();
  g_stop_at = 1000;
  ASSERT_ACE(AdsRegisterProgressCallback(OnProgress));
  ASSERT_ACE(AdsThreadExit());
  ASSERT_ACE(AdsPackTable(t));
  EXPECT_TRUE(g_percents.empty()) << "AdsThreadExit left the registration";
  EXPECT_EQ(5004u, AdsRegisterProgressCallback(nullptr));
  ASSERT_ACE(AdsCloseTable(t));
}

}  // namespace
}  // namespace ace_api_test
