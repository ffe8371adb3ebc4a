// Support of the table component tests: a temporary folder with its own alias file, tables
// made through the engine's C API, and a recorder of the engine's table opens and closes that
// calls through to the real engine (installed through the import table and restored after).
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ads/adstable.h"
#include "tests/ads/connection/test_support.h"

namespace tabletest {

using adstest::U8;

// One AdsOpenTable90 call as the component made it.
struct OpenCall {
  std::string name;
  bool alias_null = false;
  UNSIGNED16 table_type = 0;
  UNSIGNED16 char_type = 0;
  UNSIGNED16 lock_type = 0;
  UNSIGNED16 rights = 0;
  UNSIGNED32 options = 0;
  std::string collation;
  UNSIGNED32 result = 0;
  ADSHANDLE handle = 0;
};

// Records every AdsOpenTable90 and AdsCloseTable of the components while it lives. Answers
// that a test wants forced (ForceNextOpen) replace the engine's answer for one call.
class EngineRecorder {
 public:
  EngineRecorder();
  ~EngineRecorder();
  EngineRecorder(const EngineRecorder&) = delete;
  EngineRecorder& operator=(const EngineRecorder&) = delete;

  // The next open answers ulResult without reaching the engine.
  void ForceNextOpen(UNSIGNED32 ulResult) { forced_ = ulResult; }
  // Called at each open before the engine is asked (to look at the world at that moment).
  std::function<void()> on_open;

  std::vector<OpenCall> opens;
  std::vector<ADSHANDLE> closes;

 private:
  static UNSIGNED32 Open(ADSHANDLE hConnect, const UNSIGNED8* pucName, const UNSIGNED8* pucAlias,
                         UNSIGNED16 usTableType, UNSIGNED16 usCharType, UNSIGNED16 usLockType,
                         UNSIGNED16 usCheckRights, UNSIGNED32 ulOptions,
                         const UNSIGNED8* pucCollation, ADSHANDLE* phTable);
  static UNSIGNED32 Close(ADSHANDLE hTable);
  static EngineRecorder* current_;
  UNSIGNED32 forced_ = 0;
  AceImportOverride<decltype(Ace.AdsOpenTable90)> open_override_;
  AceImportOverride<decltype(Ace.AdsCloseTable)> close_override_;
};

// A temporary world: folder "Data" with an alias Vaskoli_AB for it, and a form that owns the
// components of a test.
class TableWorld : public adstest::TempWorld {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Creates a table through the engine (table type 3 ADT unless given) and closes it.
  static void CreateTable(const std::string& folder, const std::string& name,
                          const std::string& fields, UNSIGNED16 type = ADS_ADT);
  // Creates "ID,Integer;Name,Char,12" with records ID 1..count, Name "N<ID>".
  static void CreateNumbered(const std::string& folder, const std::string& name, int count);
  // A connection on the form with the alias, not yet connected.
  TAdsConnection* NewConnection(const std::string& name = "AdsConnection1",
                                const std::string& alias = "Vaskoli_AB");
  // A table on the form named AdsTable1 on the connection, with TableName.
  TAdsTable* NewTable(TAdsConnection* conn, const std::string& table,
                      const std::string& name = "AdsTable1");
  // Whether another user (a connection of its own) can open the table exclusively: false while
  // some handle of the table is still open anywhere.
  bool NobodyHasOpen(const std::string& folder, const std::string& table,
                     UNSIGNED16 type = ADS_ADT);

  std::string data_;
  std::unique_ptr<TComponent> form_;
};

}  // namespace tabletest
