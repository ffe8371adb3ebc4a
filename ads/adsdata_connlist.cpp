// The process-wide list of implicit engine connections, one per database path, for datasets
// without a connection component. The module's start-up creates it; the end of the program
// disconnects every entry.
#include <cstring>

#include "ads/adsdata.h"
#include "ui/classes/SysUtils.h"

TDynamicConnList::~TDynamicConnList() {
  // Every entry is closed in order. A failure cannot be raised while the program ends; the
  // engine closes what is left with the process.
  for (auto& entry : FItems) Ace.AdsDisconnect(entry->FhAceConn);
  FItems.clear();
}

ADSHANDLE TDynamicConnList::FindSameDatabasename(const std::string& strDatabasename) {
  std::lock_guard<std::mutex> guard(FSync);
  try {
    for (const auto& entry : FItems) {
      if (AnsiSameText(entry->FstrDatabasename, strDatabasename)) return entry->FhAceConn;
    }
  } catch (const Exception&) {
    return 0;
  }
  return 0;
}

ADSHANDLE TDynamicConnList::Add(const std::string& strDatabasename) {
  std::lock_guard<std::mutex> guard(FSync);
  std::string path = Utf8ToAnsi(strDatabasename);
  ADSHANDLE handle = 0;
  AceCheck(nullptr, Ace.AdsConnect(reinterpret_cast<const UNSIGNED8*>(path.c_str()), &handle));
  try {
    auto entry = std::make_unique<TDynamicConn>();
    entry->FhAceConn = handle;
    entry->FstrDatabasename = strDatabasename;
    FItems.push_back(std::move(entry));
  } catch (const std::exception&) {
    Ace.AdsDisconnect(handle);  // its answer does not matter: the entry is not kept
    return 0;
  }
  return handle;
}

int TDynamicConnList::Count() {
  std::lock_guard<std::mutex> guard(FSync);
  return static_cast<int>(FItems.size());
}

TDynamicConnList& DynamicConnList() {
  static TDynamicConnList list;
  return list;
}

namespace {
// The module's start-up creates the list, so that it outlives every component of the program.
struct CreateAtStartUp {
  CreateAtStartUp() { DynamicConnList(); }
} create_at_start_up;
}  // namespace
