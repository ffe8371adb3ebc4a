// adsdata: the dataset module of the component layer. It owns the error reporting of the
// datasets and engine calls (EADSDatabaseError, AceCheck, the per-thread error guard), the alias
// file and its lookups, the list of implicit connections, the dataset registry and the dataset
// base class. This header is the module's one interface; its parts live in adsdata_*.cpp files.
#pragma once

#include <cstdint>
#include <string>

// Table types of a dataset (TableType of a table, SourceTableType of a query).
enum TAdsTableTypes { ttAdsCDX, ttAdsNTX, ttAdsADT, ttAdsDefault, ttAdsVFP };

// Table types an alias entry gives a connection component.
enum TAdsConnectionTableTypes {
  ttAdsConnectUnspecified,
  ttAdsConnectCDX,
  ttAdsConnectNTX,
  ttAdsConnectADT,
  ttAdsConnectVFP
};

// ---- The alias file ---------------------------------------------------------------------------

// The alias file "ads.ini": $adsini_path/ads.ini when that exists; else the first "ads.ini" in
// the program's directory, the current directory and the PATH directories; else /etc/ads.ini.
std::string FindAliasFile();

// The value of Key in Section of a profile file (section and key names match without regard to
// case; the first matching entry counts). A missing file, section or key reads as empty; the
// value is cut at 2047 characters.
std::string ReadProfileString(const std::string& FileName, const std::string& Section,
                              const std::string& Key);

// Look an alias up in section "Databases" of the alias file, afresh on every call. The value is
// the path, optionally followed by ";" and a table type letter (N, C, A, V in either case).
// The answer is whether the alias exists (its path part is not empty).
bool LookupConnectionAlias(const std::string& strAliasName, std::string& strPath,
                           TAdsConnectionTableTypes& eType);
bool LookupDataSetAlias(const std::string& strAliasName, std::string& strPath,
                        TAdsTableTypes& eType);

// ---- Error reporting --------------------------------------------------------------------------

#include "ads/ace.h"
#include "ui/db/DB.h"

// What an error collects of the dataset it concerns. The dataset base class provides it; each
// answer may raise (computing the database path may look up the alias file or ask the engine),
// which stops the collecting without failing the error being built.
class IAdsDataSetErrorInfo {
 public:
  virtual ~IAdsDataSetErrorInfo() = default;
  virtual std::string ErrorInstanceName() const = 0;   // the dataset's component name
  virtual std::string ErrorInstanceOwner() const = 0;  // its owner's name, empty without owner
  virtual std::string ErrorDatabaseName() const = 0;   // DatabaseName as stored
  virtual std::string ErrorDatabasePath() = 0;         // the database path, computed now
  virtual std::string ErrorTableName() const = 0;      // TableName as stored
};

// The error of the datasets and of every engine call checked by AceCheck. A component's own
// check raises it with itself as the dataset and the code 5121 (AE_COMPONENT).
class EADSDatabaseError : public EDatabaseError {
 public:
  EADSDatabaseError(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulErrCode, const std::string& strMsg);
  EADSDatabaseError(const EADSDatabaseError& other);
  EADSDatabaseError& operator=(const EADSDatabaseError& other) = default;
  // Destroying an error ends any building of one on this thread.
  ~EADSDatabaseError() override;
  std::string ClassName() const override { return "EADSDatabaseError"; }

  UNSIGNED32 ACEErrorCode() const { return ulACEError; }
  UNSIGNED32 SQLErrorCode() const { return ulSQLErrorCode; }
  const std::string& DataSetInstanceName() const { return strDataSetInstanceName; }
  const std::string& DataSetInstanceOwner() const { return strDataSetInstanceOwner; }
  const std::string& DatabaseName() const { return strDatabaseName; }
  const std::string& DatabasePath() const { return strDatabasePath; }
  const std::string& TableName() const { return strTableName; }
  const std::string& ColumnName() const { return strColumnName; }

 private:
  void Collect(IAdsDataSetErrorInfo* oDataSet, const std::string& strMsg);
  void ParseNativeSQLError(const std::string& strMsg);

  UNSIGNED32 ulACEError = 0;
  UNSIGNED32 ulSQLErrorCode = 0;
  std::string strDataSetInstanceName;
  std::string strDataSetInstanceOwner;
  std::string strDatabaseName;
  std::string strDatabasePath;
  std::string strTableName;
  std::string strColumnName;
};

// True exactly while an EADSDatabaseError is being built on this thread (False in every new
// thread); while it is True, AceCheck drops failures and a new EADSDatabaseError stays empty, so
// that building one error never raises another.
bool BuildingAdsError();
void SetBuildingAdsError(bool bValue);

// Returns for 0; otherwise raises EADSDatabaseError with the engine's last error code and text
// (unless an error is being built on this thread, when the failure is dropped).
void AceCheck(IAdsDataSetErrorInfo* oDataSet, UNSIGNED32 ulResult);

// Raises a component error: EADSDatabaseError with the dataset, 5121 and the message.
[[noreturn]] void RaiseComponentError(IAdsDataSetErrorInfo* oDataSet, const std::string& strMsg);
