// The alias file: where it is found and how the two lookups read an entry.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ads/adsdata.h"

namespace fs = std::filesystem;

namespace {

class AliasFile : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() / ("alias_test_" + std::to_string(::getpid()) + "_" +
                                        ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::create_directories(dir_);
    const char* old = std::getenv("adsini_path");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("adsini_path", dir_.c_str(), 1);
  }
  void TearDown() override {
    if (had_old_) {
      setenv("adsini_path", old_.c_str(), 1);
    } else {
      unsetenv("adsini_path");
    }
    fs::remove_all(dir_);
  }
  void Write(const std::string& text) {
    std::ofstream(dir_ / "ads.ini", std::ios::binary) << text;
  }

  fs::path dir_;
  bool had_old_ = false;
  std::string old_;
};

TEST_F(AliasFile, TypeLettersMapForConnectionsAndDatasets) {
  Write(
      "[Databases]\r\n"
      "Vaskoli_AB=C:\\Data;a\r\n"
      "Plain=C:\\Data\r\n"
      "Fox=/srv/fox;V trailing ignored\r\n"
      "Clip=/srv/clip;n\r\n"
      "Cdx=/srv/cdx;C\r\n"
      "Odd=/srv/odd;X\r\n"
      "NoPath=;N\r\n"
      "Empty=\r\n");
  std::string path;
  TAdsConnectionTableTypes ct;
  TAdsTableTypes dt;

  ASSERT_TRUE(LookupConnectionAlias("Vaskoli_AB", path, ct));
  EXPECT_EQ(path, "C:\\Data");
  EXPECT_EQ(ct, ttAdsConnectADT);
  ASSERT_TRUE(LookupDataSetAlias("Vaskoli_AB", path, dt));
  EXPECT_EQ(dt, ttAdsADT);

  ASSERT_TRUE(LookupConnectionAlias("Plain", path, ct));
  EXPECT_EQ(ct, ttAdsConnectUnspecified);
  ASSERT_TRUE(LookupDataSetAlias("Plain", path, dt));
  EXPECT_EQ(dt, ttAdsADT);

  ASSERT_TRUE(LookupConnectionAlias("Fox", path, ct));
  EXPECT_EQ(path, "/srv/fox");
  EXPECT_EQ(ct, ttAdsConnectVFP);
  ASSERT_TRUE(LookupDataSetAlias("Clip", path, dt));
  EXPECT_EQ(dt, ttAdsNTX);
  ASSERT_TRUE(LookupConnectionAlias("Cdx", path, ct));
  EXPECT_EQ(ct, ttAdsConnectCDX);
  ASSERT_TRUE(LookupConnectionAlias("Odd", path, ct));
  EXPECT_EQ(ct, ttAdsConnectUnspecified);
  ASSERT_TRUE(LookupDataSetAlias("Odd", path, dt));
  EXPECT_EQ(dt, ttAdsADT);

  EXPECT_FALSE(LookupConnectionAlias("NoPath", path, ct)) << "a value ;N has no path: not an alias";
  EXPECT_FALSE(LookupDataSetAlias("Empty", path, dt));
  EXPECT_FALSE(LookupConnectionAlias("Missing", path, ct));
}

TEST_F(AliasFile, SectionAndKeyMatchWithoutRegardToCaseAndOtherSectionsAreIgnored) {
  Write(
      "; a comment\n"
      "[Other]\n"
      "Vaskoli_AB=/wrong\n"
      "[DATABASES]\n"
      "  vaskoli_ab = /right;A  \n");
  std::string path;
  TAdsConnectionTableTypes ct;
  ASSERT_TRUE(LookupConnectionAlias("Vaskoli_AB", path, ct));
  EXPECT_EQ(path, "/right");
  EXPECT_EQ(ct, ttAdsConnectADT);
}

TEST_F(AliasFile, FileIsReadAgainOnEveryLookup) {
  Write("[Databases]\nA=/one\n");
  std::string path;
  TAdsTableTypes dt;
  ASSERT_TRUE(LookupDataSetAlias("A", path, dt));
  EXPECT_EQ(path, "/one");
  Write("[Databases]\nA=/two\n");
  ASSERT_TRUE(LookupDataSetAlias("A", path, dt));
  EXPECT_EQ(path, "/two");
}

TEST_F(AliasFile, AdsiniPathComesFirstAndAMissingFileIsNoAlias) {
  Write("[Databases]\nA=/x\n");
  EXPECT_EQ(FindAliasFile(), (dir_ / "ads.ini").string());
  fs::remove(dir_ / "ads.ini");
  EXPECT_NE(FindAliasFile(), (dir_ / "ads.ini").string());
  std::string path;
  TAdsConnectionTableTypes ct;
  setenv("adsini_path", (dir_ / "nowhere").c_str(), 1);
  // Whatever other ads.ini the machine has, it does not define this alias.
  EXPECT_FALSE(LookupConnectionAlias("NoSuchAliasAnywhere_42", path, ct));
}

TEST_F(AliasFile, LongValuesAreCutAt2047Characters) {
  std::string long_path(3000, 'p');
  Write("[Databases]\nL=" + long_path + "\n");
  std::string path;
  TAdsTableTypes dt;
  ASSERT_TRUE(LookupDataSetAlias("L", path, dt));
  EXPECT_EQ(path.size(), 2047u);
}

}  // namespace
