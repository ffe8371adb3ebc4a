// The shell's work: one engine connection on a database directory, one statement handle, and
// the printing of result cursors as CSV. Only the engine's public C API is used.
//
// Errors are reported to the error stream given at construction as "acesql: <engine text>";
// every operation answers whether it succeeded.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "engine/include/ace.h"

namespace acesql {

class Shell {
 public:
  Shell(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  // Connects to the directory and creates the statement; usTableType is ADS_ADT, ADS_CDX,
  // ADS_NTX or ADS_VFP (the tables that statements create and open).
  bool Open(const std::string& database, UNSIGNED16 usTableType);
  // Runs an SQL text of one or more statements (UTF-8) and prints the result cursor of the
  // last statement that gave one: a header line of field names, then one line per record.
  // When bReportCount is set, the number of rows affected or printed follows on the error
  // stream (the prompt's feedback; scripts keep the output clean).
  bool Run(const std::string& sql, bool bReportCount);
  // Lists the tables of the database (".tables" at the prompt), one name per line.
  bool ListTables();

 private:
  bool Check(UNSIGNED32 result);
  bool PrintCursor(ADSHANDLE hCursor, uint32_t* pulRows);
  bool FieldText(ADSHANDLE hCursor, UNSIGNED16 usField, UNSIGNED16 usType, std::string* text);

  std::ostream& out_;
  std::ostream& err_;
  ADSHANDLE mhConnection = 0;
  ADSHANDLE mhStatement = 0;
};

// The whole program: parses the arguments, runs -c texts and -f files in the order given, or
// reads statements from in (with a prompt when bInteractive). Answers the exit code: 0 when
// everything ran, 1 after an SQL or engine error, 2 for a usage error.
int RunProgram(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err,
               bool bInteractive);

}  // namespace acesql
