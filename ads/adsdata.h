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
