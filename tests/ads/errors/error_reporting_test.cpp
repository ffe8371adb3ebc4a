// Error reporting of the components: AceCheck, the message composition of EADSDatabaseError,
// the column and native SQL error parsing, the per-thread guard, AdsError and
// AdsConnectionError.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace {

// A dataset as the errors see it.
class FakeDataSet : public IAdsDataSetErrorInfo {
 public:
  std::string name = "AdsQuery1";
  std::string owner = "Form1";
  std::string database = "AdsConnection1";
  std::string table = "Kinder";
  std::string path = "/data/vaskoli";
  bool path_raises = false;
  bool path_raises_engine_error = false;
  int path_calls = 0;

  std::string ErrorInstanceName() const override { return name; }
  std::string ErrorInstanceOwner() const override { return owner; }
  std::string ErrorDatabaseName() const override { return database; }
  std::string ErrorDatabasePath() override {
    ++path_calls;
    if (path_raises_engine_error) AceCheck(this, 5035);  // dropped: an error is being built
    if (path_raises) RaiseComponentError(this, "path failed");
    return path;
  }
  std::string ErrorTableName() const override { return table; }
};

// The engine's last error as a test sets it.
UNSIGNED32 g_code = 0;
std::string g_text;
UNSIGNED32 FakeGetLastError(UNSIGNED32* code, UNSIGNED8* buf, UNSIGNED16* len) {
  *code = g_code;
  std::memcpy(buf, g_text.c_str(), g_text.size() + 1);
  *len = static_cast<UNSIGNED16>(g_text.size());
  return 0;
}
UNSIGNED32 FailingGetLastError(UNSIGNED32*, UNSIGNED8*, UNSIGNED16*) { return 5005; }
std::string g_shown_title;
UNSIGNED32 RecordingShowError(const UNSIGNED8* title) {
  g_shown_title = reinterpret_cast<const char*>(title);
  return 0;
}

class ErrorReporting : public ::testing::Test {
 protected:
  void SetUp() override { SetBuildingAdsError(false); }
  void TearDown() override { SetBuildingAdsError(false); }
  void EngineSays(UNSIGNED32 code, std::string text) {
    g_code = code;
    g_text = std::move(text);
  }
  AceImportOverride<decltype(Ace.AdsGetLastError)> last_error_{Ace.AdsGetLastError, &FakeGetLastError};
};

TEST_F(ErrorReporting, ZeroRaisesNothingAndTheEngineCodeReplacesTheResult) {
  EXPECT_NO_THROW(AceCheck(nullptr, 0));
  EngineSays(5035, "Error 5035: The lock was refused.");
  try {
    AceCheck(nullptr, 5000);
    FAIL() << "AceCheck did not raise";
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5035u);
    EXPECT_EQ(e.Message(), "Error 5035: The lock was refused.");
    EXPECT_EQ(e.ClassName(), "EADSDatabaseError");
    EXPECT_TRUE(e.DataSetInstanceName().empty());
    EXPECT_TRUE(e.DataSetInstanceOwner().empty());
    EXPECT_TRUE(e.DatabaseName().empty());
    EXPECT_TRUE(e.DatabasePath().empty());
    EXPECT_TRUE(e.TableName().empty());
    EXPECT_TRUE(e.ColumnName().empty());
  }
  EXPECT_FALSE(BuildingAdsError());
}

TEST_F(ErrorReporting, WithADatasetTheMessageStartsWithItsNameAndAllIsCollected) {
  FakeDataSet ds;
  EngineSays(7200, "Error 7200: SQL error: column exists");
  try {
    AceCheck(&ds, 7200);
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.Message(), "AdsQuery1: Error 7200: SQL error: column exists");
    EXPECT_EQ(e.DataSetInstanceName(), "AdsQuery1");
    EXPECT_EQ(e.DataSetInstanceOwner(), "Form1");
    EXPECT_EQ(e.DatabaseName(), "AdsConnection1");
    EXPECT_EQ(e.DatabasePath(), "/data/vaskoli");
    EXPECT_EQ(e.TableName(), "Kinder");
    // Caught by the framework's exception family as well.
    const EDatabaseError& base = e;
    EXPECT_EQ(base.Message(), e.Message());
  }
}

TEST_F(ErrorReporting, ComponentErrorCarries5121AndTheDatasetName) {
  FakeDataSet ds;
  ds.name = "AdsTableKinder";
  ds.owner = "";
  try {
    RaiseComponentError(&ds, "Table must be Active.");
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5121u);
    EXPECT_EQ(e.Message(), "AdsTableKinder: Table must be Active.");
    EXPECT_EQ(e.DataSetInstanceOwner(), "");
  }
}

TEST_F(ErrorReporting, ColumnNameOnlyForTheThreeColumnCodes) {
  FakeDataSet ds;
  const std::string text = "Error: the column \"Kosten_von\" is not known";
  EXPECT_EQ(EADSDatabaseError(&ds, 5147, text).ColumnName(), "Kosten_von");
  EXPECT_EQ(EADSDatabaseError(&ds, 5149, text).ColumnName(), "Kosten_von");
  EXPECT_EQ(EADSDatabaseError(&ds, 5000, text).ColumnName(), "");
  EXPECT_EQ(EADSDatabaseError(&ds, 5148, "no column named here").ColumnName(), "");
  // No closing quote: the rest, at most 900 characters.
  std::string open = "column \"" + std::string(1000, 'x');
  EXPECT_EQ(EADSDatabaseError(&ds, 5148, open).ColumnName().size(), 900u);
  // Without a dataset nothing is collected, not even the column.
  EXPECT_EQ(EADSDatabaseError(nullptr, 5147, text).ColumnName(), "");
}

TEST_F(ErrorReporting, NativeSqlErrorNumberNeedsBothMarksInAnyCase) {
  EXPECT_EQ(EADSDatabaseError(nullptr, 7200, "Error 7200: SQL error: State = 42000; NativeError = 42; x")
                .SQLErrorCode(),
            42u);
  EXPECT_EQ(EADSDatabaseError(nullptr, 7200, "error 7200: sql error: nativeerror =   5132; table").SQLErrorCode(),
            5132u);
  EXPECT_EQ(EADSDatabaseError(nullptr, 7200, "Error 5000: NativeError = 42;").SQLErrorCode(), 0u);
  EXPECT_EQ(EADSDatabaseError(nullptr, 7200, "Error 7200: NativeError = abc;").SQLErrorCode(), 0u);
  EXPECT_EQ(EADSDatabaseError(nullptr, 7200, "Error 7200: no native part").SQLErrorCode(), 0u);
}

TEST_F(ErrorReporting, AFailingDatabasePathStopsCollectingButTheErrorStands) {
  FakeDataSet ds;
  ds.path_raises = true;
  EngineSays(5010, "Error 5010: The file was not found: column \"A\"; Error 7200: NativeError = 7;");
  try {
    AceCheck(&ds, 5010);
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5010u);
    EXPECT_EQ(e.Message(), "AdsQuery1: Error 5010: The file was not found: column \"A\"; Error 7200: NativeError = 7;");
    EXPECT_EQ(e.DataSetInstanceOwner(), "Form1");
    EXPECT_EQ(e.DatabaseName(), "AdsConnection1");
    EXPECT_EQ(e.DatabasePath(), "");
    EXPECT_EQ(e.TableName(), "");
    EXPECT_EQ(e.SQLErrorCode(), 0u);
  }
  EXPECT_FALSE(BuildingAdsError());
}

TEST_F(ErrorReporting, AnEngineFailureWhileBuildingIsNeverSeen) {
  FakeDataSet ds;
  ds.path_raises_engine_error = true;
  EngineSays(5068, "Error 5068: There is no current record.");
  try {
    AceCheck(&ds, 5068);
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5068u);
    EXPECT_EQ(e.DatabasePath(), "/data/vaskoli") << "the inner failure was dropped, collecting went on";
  }
  EXPECT_EQ(ds.path_calls, 1);
}

TEST_F(ErrorReporting, WhileBuildingANewErrorIsEmptyAndAceCheckDrops) {
  SetBuildingAdsError(true);
  EXPECT_NO_THROW(AceCheck(nullptr, 5035));
  {
    FakeDataSet ds;
    EADSDatabaseError inner(&ds, 5035, "text");
    EXPECT_EQ(inner.Message(), "");
    EXPECT_EQ(inner.ACEErrorCode(), 0u);
    EXPECT_EQ(inner.DataSetInstanceName(), "");
    EXPECT_TRUE(BuildingAdsError());
  }
  EXPECT_FALSE(BuildingAdsError()) << "destroying an error clears the guard";
}

TEST_F(ErrorReporting, TheGuardIsPerThread) {
  SetBuildingAdsError(true);
  bool raised_on_other_thread = false;
  std::thread([&] {
    try {
      AceCheck(nullptr, 5035);
    } catch (const EADSDatabaseError&) {
      raised_on_other_thread = true;
    }
  }).join();
  EXPECT_TRUE(raised_on_other_thread);
  EXPECT_TRUE(BuildingAdsError());
}

TEST_F(ErrorReporting, AdsErrorCarriesTheEngineTextOrShowsTheEngineBox) {
  EngineSays(5024, "Error 5024: The connection is already closed.");
  AdsError e(5024, true);
  EXPECT_EQ(e.Message(), "Error 5024: The connection is already closed.");
  EXPECT_EQ(e.ClassName(), "AdsError");

  AceImportOverride failing(Ace.AdsGetLastError, &FailingGetLastError);
  AceImportOverride show(Ace.AdsShowError, &RecordingShowError);
  g_shown_title.clear();
  AdsError shown(5024);
  EXPECT_EQ(shown.Message(), "");
  EXPECT_EQ(g_shown_title, "Ads Exception Error");
}

TEST_F(ErrorReporting, AdsConnectionErrorKeepsItsMessage) {
  AdsConnectionError e("TAdsConnection.AliasName is not valid");
  EXPECT_EQ(e.Message(), "TAdsConnection.AliasName is not valid");
  EXPECT_EQ(e.ClassName(), "AdsConnectionError");
}

TEST(ErrorReportingEngine, AceCheckReadsTheRealEnginesLastError) {
  const char* text = "Update permission not granted on this field: Name.";
  UNSIGNED32 answer = Ace.AdsSetLastError(5054, reinterpret_cast<const UNSIGNED8*>(text));
  try {
    AceCheck(nullptr, answer);
    FAIL();
  } catch (const EADSDatabaseError& e) {
    EXPECT_EQ(e.ACEErrorCode(), 5054u);
    EXPECT_EQ(e.Message(), text);
  }
}

}  // namespace
