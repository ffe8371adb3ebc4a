// Fuzz target of the alias file reader (ads/adsdata_alias.cpp) and of what the components make
// of its answers: the input's first line is an alias name, the rest the content of the alias
// file "ads.ini". The alias is looked up for a connection and for a dataset, directly and
// through the components (a connection's AliasName, a table's DatabaseName and its database
// path); the profile reader is also asked for the alias in a section named like it.
//
// Connecting and opening are answered with an error by the import table, so that no input can
// make the components reach a database or write a file. The components may refuse with their
// exceptions; anything else escaping, a crash, a hang or a sanitizer report is a fault.
#include <stdlib.h>

#include <cstddef>
#include <cstdint>
#include <string>

#include "ads/ace.h"
#include "ads/adscnnct.h"
#include "ads/adsdata.h"
#include "ads/adstable.h"
#include "tests/fuzz/fuzz_support.h"
#include "ui/classes/SysUtils.h"

namespace {

UNSIGNED32 Refuse() {
  AdsSetLastError(5011, reinterpret_cast<const UNSIGNED8*>("no database in the fuzz target"));
  return 5011;
}

template <typename Fn>
void Unplug(Fn& entry) {
  entry = [](auto...) -> UNSIGNED32 { return Refuse(); };
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("adsini_path", fuzz::Folder().c_str(), 1);
  Unplug(Ace.AdsConnect60);
  Unplug(Ace.AdsConnect);
  Unplug(Ace.AdsOpenTable90);
  Unplug(Ace.AdsCreateTable90);
  Unplug(Ace.AdsDDCreate);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t eol = input.find('\n');
  std::string alias = input.substr(0, eol == std::string::npos ? input.size() : eol);
  if (!alias.empty() && alias.back() == '\r') alias.pop_back();
  const std::string file = eol == std::string::npos ? std::string() : input.substr(eol + 1);
  const std::string path =
      fuzz::WriteFile("ads.ini", reinterpret_cast<const uint8_t*>(file.data()), file.size());

  (void)ReadProfileString(path, "Databases", alias);
  (void)ReadProfileString(path, alias, alias);
  std::string found;
  TAdsConnectionTableTypes connection_type = ttAdsConnectUnspecified;
  (void)LookupConnectionAlias(alias, found, connection_type);
  TAdsTableTypes table_type = ttAdsADT;
  (void)LookupDataSetAlias(alias, found, table_type);

  TAdsConnection* connection = new TAdsConnection(nullptr);
  TAdsTable* table = new TAdsTable(nullptr);
  try {
    connection->SetAliasName(alias);
    (void)connection->GetConnectionPath();
    (void)connection->GetConnectionWithDDPath();
  } catch (const Exception&) {
  }
  try {
    table->SetDatabaseName(alias);
    (void)table->GetDatabasePath();
  } catch (const Exception&) {
  }
  delete table;
  delete connection;
  return 0;
}
