// Fuzz target of the SQL text readers: statement splitting, parameter scanning and the
// engine's own DDL parser. (The rest of SQL goes to SQLite, which is fuzzed by its makers.)
#include <string>

#include "engine/include/ace.h"
#include "engine/sql/ddl.h"
#include "engine/sql/statement_split.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;
  const std::string text(reinterpret_cast<const char*>(data), size);
  (void)AdsGetSQLStmtParams(reinterpret_cast<const UNSIGNED8*>(text.c_str()));
  auto statements = ace::sql::SplitStatements(text);
  if (!statements.ok()) return 0;
  const size_t count = statements.value().size();
  for (size_t i = 0; i < count; ++i) {
    const auto& s = statements.value()[i];
    if (ace::sql::IsDdl(s.text)) (void)ace::sql::ParseDdl(s, i + 1, count);
  }
  return 0;
}
