// Test support of the connection and lookup tests: a temporary folder with its own alias file
// (adsini_path points at it), real tables made through the engine, and a dataset that opens a
// real engine table on its connection. Header only: both test folders include it.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "ads/adscnnct.h"
#include "ads/adsdata.h"

namespace adstest {

namespace fs = std::filesystem;

inline const UNSIGNED8* U8(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// A fresh folder per test with an alias file in it; the environment is restored afterwards.
class TempWorld : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() /
            ("adscore_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(root_);
    fs::create_directories(root_);
    const char* old = std::getenv("adsini_path");
    had_old_ = old != nullptr;
    if (had_old_) old_ = old;
    setenv("adsini_path", root_.c_str(), 1);
    WriteAliases("");
  }
  void TearDown() override {
    if (had_old_) {
      setenv("adsini_path", old_.c_str(), 1);
    } else {
      unsetenv("adsini_path");
    }
    fs::remove_all(root_);
  }
  // The [Databases] section's lines.
  void WriteAliases(const std::string& lines) {
    std::ofstream(root_ / "ads.ini", std::ios::binary) << "[Databases]\n" << lines;
  }
  // A data folder below the root.
  std::string Folder(const std::string& name) {
    fs::create_directories(root_ / name);
    return (root_ / name).string();
  }
  // Creates an ADT table file in folder through its own engine connection.
  static void MakeTable(const std::string& folder, const std::string& table) {
    ADSHANDLE conn = 0, tbl = 0;
    ASSERT_EQ(AdsConnect(U8(folder), &conn), 0u);
    ASSERT_EQ(AdsCreateTable90(conn, U8(table), nullptr, ADS_ADT, ADS_ANSI, ADS_PROPRIETARY_LOCKING,
                               ADS_CHECK_RIGHTS, 0, U8("ID,Integer;Name,Char,10"), 0, U8(""), &tbl),
              0u);
    AdsCloseTable(tbl);
    AdsDisconnect(conn);
  }

  fs::path root_;
  bool had_old_ = false;
  std::string old_;
};

// A dataset that opens the engine table mstrTableName on its connection and has no records of
// its own to show. Close can be made to fail, as a dataset with a broken cursor would.
class TTestDataSet : public TAdsDataSet {
 public:
  explicit TTestDataSet(TComponent* AOwner) : TAdsDataSet(AOwner) {}
  ~TTestDataSet() override {
    fail_close_ = false;
    try {
      Close();
    } catch (...) {
    }
  }
  void SetTableName(const std::string& s) { mstrTableName = s; }
  int32_t OpenEngineCursor() override { return -1; }  // opens in InternalOpen below
  int32_t GetLastAutoincVal() override { return 0; }
  void FailClose(bool b) { fail_close_ = b; }
  int closes_ = 0;

 protected:
  void InternalOpen() override {
    ADSHANDLE conn = ConnectAndGetHandle();
    ADSHANDLE table = 0;
    AceCheck(this,
             Ace.AdsOpenTable90(conn, U8(mstrTableName), nullptr, ADS_ADT, ADS_ANSI,
                                ADS_PROPRIETARY_LOCKING, ADS_CHECK_RIGHTS, 0, U8(""), &table));
    mlHandle = static_cast<int32_t>(table);
    mlActiveHandle = mlHandle;
  }
  void InternalClose() override {
    ++closes_;
    if (mlHandle != -1) Ace.AdsCloseTable(static_cast<ADSHANDLE>(mlHandle));
    mlHandle = -1;
    mlActiveHandle = -1;
    if (fail_close_) throw EDatabaseError("close failed");
  }
  void InternalInitFieldDefs() override {}
  void InternalFirst() override {}
  void InternalLast() override {}
  void InternalGotoBookmark(const uint8_t*) override {}
  void InternalSetToRecord(TRecordBuffer) override {}
  void InternalInitRecord(TRecordBuffer) override {}
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer) override { return bfCurrent; }
  void SetBookmarkFlag(TRecordBuffer, TBookmarkFlag) override {}
  void GetBookmarkData(TRecordBuffer, uint8_t*) override {}
  void SetBookmarkData(TRecordBuffer, const uint8_t*) override {}
  void InternalDelete() override {}
  void InternalAddRecord(TRecordBuffer, bool) override {}
  TRecordBuffer AllocRecordBuffer() override { return new std::byte[8]; }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    delete[] Buffer;
    Buffer = nullptr;
  }
  TGetResult GetRecord(TRecordBuffer, TGetMode, bool) override { return grEOF; }
  bool IsCursorOpen() override { return mlHandle != -1; }
  bool GetFieldData(TField*, void*) override { return false; }
  void SetFieldData(TField*, const void*) override {}

 private:
  bool fail_close_ = false;
};

// Expects Fn to raise E with exactly Message.
template <class E, class Fn>
void ExpectRaises(Fn fn, const std::string& message) {
  try {
    fn();
    ADD_FAILURE() << "nothing raised, expected: " << message;
  } catch (const E& e) {
    EXPECT_EQ(e.Message(), message);
  }
}

}  // namespace adstest
