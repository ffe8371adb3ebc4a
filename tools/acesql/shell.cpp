// The shell's engine work and its command line (see shell.h).
#include "tools/acesql/shell.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string_view>
#include <vector>

#include "tools/acesql/text.h"

namespace acesql {

namespace {

const UNSIGNED8* U8(const std::string& s) {
  return reinterpret_cast<const UNSIGNED8*>(s.c_str());
}

// Engine field types the shell prints in forms of its own.
enum : UNSIGNED16 {
  kLogical = 1,
  kDate = 3,
  kBinary = 6,
  kImage = 7,
  kCompactDate = 9,
  kTime = 13,
  kTimestamp = 14,
  kRaw = 16,
  kModTime = 22,
  kVarBinaryFox = 24,
  kVfpBlob = 51,
  kVfpGeneral = 52,
};

bool IsBinary(UNSIGNED16 t) {
  return t == kBinary || t == kImage || t == kRaw || t == kVarBinaryFox || t == kVfpBlob ||
         t == kVfpGeneral;
}

std::string Hex(const std::vector<UNSIGNED8>& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out = "0x";
  for (UNSIGNED8 b : bytes) {
    out += digits[b >> 4];
    out += digits[b & 15];
  }
  return out;
}

}  // namespace

Shell::~Shell() {
  if (mhStatement) AdsCloseSQLStatement(mhStatement);
  if (mhConnection) AdsDisconnect(mhConnection);
}

bool Shell::Check(UNSIGNED32 result) {
  if (result == AE_SUCCESS) return true;
  UNSIGNED32 code = 0;
  UNSIGNED8 text[ADS_MAX_ERROR_LEN + 1] = {};
  UNSIGNED16 len = sizeof text;
  if (AdsGetLastError(&code, text, &len) != AE_SUCCESS || code == AE_SUCCESS) {
    code = result;
    len = sizeof text;
    AdsGetErrorString(result, text, &len);
  }
  err_ << "acesql: " << reinterpret_cast<const char*>(text) << "\n";
  return false;
}

bool Shell::Open(const std::string& database, UNSIGNED16 usTableType) {
  if (!Check(AdsConnect60(U8(database), ADS_LOCAL_SERVER, nullptr, nullptr, 0, &mhConnection))) {
    mhConnection = 0;
    return false;
  }
  if (!Check(AdsCreateSQLStatement(mhConnection, &mhStatement))) {
    mhStatement = 0;
    return false;
  }
  return Check(AdsStmtSetTableType(mhStatement, usTableType));
}

bool Shell::Run(const std::string& sql, bool bReportCount) {
  const std::u16string wide = Utf8ToUtf16(sql);
  ADSHANDLE hCursor = 0;
  if (!Check(AdsExecuteSQLDirectW(mhStatement, wide.c_str(), &hCursor))) return false;
  uint32_t ulRows = 0;
  bool ok = true;
  if (hCursor) {
    ok = PrintCursor(hCursor, &ulRows);
    ok = Check(AdsCloseTable(hCursor)) && ok;
  } else {
    UNSIGNED32 ulAffected = 0;
    const UNSIGNED32 result = AdsGetRecordCount(mhStatement, ADS_IGNOREFILTERS, &ulAffected);
    if (result == AE_SUCCESS) ulRows = ulAffected;
  }
  if (ok && bReportCount) err_ << "(" << ulRows << (ulRows == 1 ? " row)\n" : " rows)\n");
  return ok;
}

bool Shell::PrintCursor(ADSHANDLE hCursor, uint32_t* pulRows) {
  UNSIGNED16 usCount = 0;
  if (!Check(AdsGetNumFields(hCursor, &usCount))) return false;
  std::vector<UNSIGNED16> types(usCount);
  std::string line;
  for (UNSIGNED16 n = 1; n <= usCount; ++n) {
    UNSIGNED8 name[260] = {};
    UNSIGNED16 len = sizeof name;
    if (!Check(AdsGetFieldName(hCursor, n, name, &len))) return false;
    if (!Check(AdsGetFieldType(hCursor, ADSFIELD(n), &types[n - 1]))) return false;
    if (n > 1) line += ',';
    // Field names are 8-bit engine text; the names SQL makes are plain ASCII in practice.
    line += CsvField(reinterpret_cast<const char*>(name));
  }
  out_ << line << "\n";
  if (!Check(AdsGotoTop(hCursor))) return false;
  for (;;) {
    UNSIGNED16 bEof = 0;
    if (!Check(AdsAtEOF(hCursor, &bEof))) return false;
    if (bEof) break;
    line.clear();
    for (UNSIGNED16 n = 1; n <= usCount; ++n) {
      std::string value;
      if (!FieldText(hCursor, n, types[n - 1], &value)) return false;
      if (n > 1) line += ',';
      line += CsvField(value);
    }
    out_ << line << "\n";
    ++*pulRows;
    if (!Check(AdsSkip(hCursor, 1))) return false;
  }
  return true;
}

bool Shell::FieldText(ADSHANDLE hCursor, UNSIGNED16 usField, UNSIGNED16 usType, std::string* text) {
  const UNSIGNED8* field = ADSFIELD(usField);
  UNSIGNED16 bNull = 0;
  if (!Check(AdsIsNull(hCursor, field, &bNull))) return false;
  if (bNull) return true;
  SIGNED32 lDate = 0, lTime = 0;
  switch (usType) {
    case kLogical: {
      UNSIGNED16 b = 0;
      if (!Check(AdsGetLogical(hCursor, field, &b))) return false;
      *text = b ? "TRUE" : "FALSE";
      return true;
    }
    case kDate:
    case kCompactDate:
      if (!Check(AdsGetJulian(hCursor, field, &lDate))) return false;
      if (lDate) *text = JulianToIso(lDate);
      return true;
    case kTime:
      if (!Check(AdsGetMilliseconds(hCursor, field, &lTime))) return false;
      *text = MillisecondsToIso(lTime);
      return true;
    case kTimestamp:
    case kModTime:
      if (!Check(AdsGetJulian(hCursor, field, &lDate))) return false;
      if (!Check(AdsGetMilliseconds(hCursor, field, &lTime))) return false;
      if (lDate) *text = JulianToIso(lDate) + " " + MillisecondsToIso(lTime);
      return true;
    default:
      break;
  }
  if (IsBinary(usType)) {
    UNSIGNED32 ulLength = 0;
    if (!Check(AdsGetBinaryLength(hCursor, field, &ulLength))) return false;
    std::vector<UNSIGNED8> bytes(ulLength);
    UNSIGNED32 ulGot = ulLength;
    if (ulLength && !Check(AdsGetBinary(hCursor, field, 0, bytes.data(), &ulGot))) return false;
    bytes.resize(ulGot);
    *text = Hex(bytes);
    return true;
  }
  // Everything else as the engine's text, in UTF-16 so that no character is lost.
  std::u16string buf(256, u'\0');
  UNSIGNED32 ulLen = static_cast<UNSIGNED32>(buf.size());
  UNSIGNED32 result = AdsGetFieldW(hCursor, field, buf.data(), &ulLen, ADS_TRIM);
  if (result == AE_INSUFFICIENT_BUFFER) {
    buf.assign(ulLen + 1, u'\0');
    ulLen = static_cast<UNSIGNED32>(buf.size());
    result = AdsGetFieldW(hCursor, field, buf.data(), &ulLen, ADS_TRIM);
  }
  if (!Check(result)) return false;
  *text = Utf16ToUtf8(std::u16string_view(buf.data(), std::min<size_t>(ulLen, buf.size())));
  return true;
}

bool Shell::ListTables() {
  for (const char* mask : {"*.adt", "*.dbf"}) {
    UNSIGNED8 name[261] = {};
    UNSIGNED16 len = sizeof name - 1;
    ADSHANDLE hFind = 0;
    UNSIGNED32 result = AdsFindFirstTable(mhConnection, U8(mask), name, &len, &hFind);
    while (result == AE_SUCCESS) {
      out_ << std::string_view(reinterpret_cast<const char*>(name), len) << "\n";
      len = sizeof name - 1;
      result = AdsFindNextTable(mhConnection, hFind, name, &len);
    }
    if (hFind) AdsFindClose(mhConnection, hFind);
    if (result != AE_NO_MORE_TABLES && !Check(result)) return false;
  }
  return true;
}

// ---- The command line -----------------------------------------------------------------------

namespace {

const char kUsage[] =
    "usage: acesql DATABASE [-t ADT|CDX|NTX|VFP] [-c \"SQL\"]... [-f FILE]\n"
    "  DATABASE  the directory that holds the tables\n"
    "  -t TYPE   the table format that statements create and open (default ADT)\n"
    "  -c SQL    runs the statements of SQL (may be repeated)\n"
    "  -f FILE   runs the statements in FILE\n"
    "Without -c and -f, statements are read from standard input; at a prompt a statement ends\n"
    "with ';', and .tables lists the tables, .quit ends.\n";

struct Job {
  bool bFile;
  std::string value;
};

bool ParseTableType(const std::string& s, UNSIGNED16* type) {
  std::string u;
  for (char c : s) u += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (u == "ADT")
    *type = ADS_ADT;
  else if (u == "CDX")
    *type = ADS_CDX;
  else if (u == "NTX")
    *type = ADS_NTX;
  else if (u == "VFP")
    *type = ADS_VFP;
  else
    return false;
  return true;
}

int RunPrompt(Shell& shell, std::istream& in, std::ostream& out, bool bInteractive) {
  std::string pending, line;
  bool ok = true;
  for (;;) {
    if (bInteractive) out << (pending.empty() ? "acesql> " : "   ...> ") << std::flush;
    if (!std::getline(in, line)) break;
    if (pending.empty()) {
      const auto first = line.find_first_not_of(" \t\r");
      const std::string word = first == std::string::npos ? "" : line.substr(first);
      if (word.empty()) continue;
      if (word.rfind(".quit", 0) == 0 || word.rfind(".exit", 0) == 0) break;
      if (word.rfind(".tables", 0) == 0) {
        ok = shell.ListTables() && ok;
        continue;
      }
      if (word.rfind(".help", 0) == 0) {
        out << kUsage;
        continue;
      }
    }
    pending += line;
    pending += '\n';
    if (EndsStatement(pending)) {
      ok = shell.Run(pending, bInteractive) && ok;
      pending.clear();
    }
  }
  if (pending.find_first_not_of(" \t\r\n") != std::string::npos) {
    ok = shell.Run(pending, bInteractive) && ok;
  }
  // At the prompt an error does not end the session; a piped script fails as a whole.
  return ok ? 0 : 1;
}

}  // namespace

int RunProgram(int argc, char** argv, std::istream& in, std::ostream& out, std::ostream& err,
               bool bInteractive) {
  std::string database;
  UNSIGNED16 usTableType = ADS_ADT;
  std::vector<Job> jobs;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool has_value = i + 1 < argc;
    if (arg == "-h" || arg == "--help") {
      out << kUsage;
      return 0;
    } else if (arg == "-t" && has_value) {
      if (!ParseTableType(argv[++i], &usTableType)) {
        err << "acesql: unknown table type \"" << argv[i] << "\" (ADT, CDX, NTX or VFP)\n";
        return 2;
      }
    } else if (arg == "-c" && has_value) {
      jobs.push_back({false, argv[++i]});
    } else if (arg == "-f" && has_value) {
      jobs.push_back({true, argv[++i]});
    } else if (!arg.empty() && arg[0] == '-') {
      err << "acesql: " << (has_value ? "unknown option " : "missing value after ") << arg << "\n"
          << kUsage;
      return 2;
    } else if (database.empty()) {
      database = arg;
    } else {
      err << "acesql: only one database may be given\n" << kUsage;
      return 2;
    }
  }
  if (database.empty()) {
    err << kUsage;
    return 2;
  }
  Shell shell(out, err);
  if (!shell.Open(database, usTableType)) return 1;
  if (jobs.empty()) return RunPrompt(shell, in, out, bInteractive);
  for (const Job& job : jobs) {
    std::string sql = job.value;
    if (job.bFile) {
      std::ifstream file(job.value, std::ios::binary);
      if (!file) {
        err << "acesql: cannot read " << job.value << ": " << std::strerror(errno) << "\n";
        return 1;
      }
      std::ostringstream text;
      text << file.rdbuf();
      sql = text.str();
    }
    if (!shell.Run(sql, false)) return 1;
  }
  return 0;
}

}  // namespace acesql
