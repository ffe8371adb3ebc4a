// The alias file: where it is found, how its profile format is read, and the two lookups of an
// alias for the connection component and for a dataset naming the alias.
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "ads/adsdata.h"
#include "ui/classes/SysUtils.h"

namespace {

constexpr size_t kMaxProfileValue = 2047;
constexpr const char* kAliasFileName = "ads.ini";

std::string ProgramDirectory() {
  char buf[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "";
  buf[n] = 0;
  return ExtractFileDir(buf);
}

std::string InDirectory(const std::string& dir) {
  if (dir.empty()) return kAliasFileName;
  return IncludeTrailingPathDelimiter(dir) + kAliasFileName;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

// Splits an alias value into its path and its type letter (0 when there is none).
void SplitAliasValue(const std::string& value, std::string& path, char& letter) {
  size_t semi = value.find(';');
  path = value.substr(0, semi);
  letter = 0;
  if (semi != std::string::npos && semi + 1 < value.size()) {
    letter = static_cast<char>(std::toupper(static_cast<unsigned char>(value[semi + 1])));
  }
}

}  // namespace

std::string FindAliasFile() {
  const char* env = std::getenv("adsini_path");
  if (env != nullptr && *env != 0) {
    std::string candidate = InDirectory(env);
    if (FileExists(candidate)) return candidate;
  }
  std::string candidate = InDirectory(ProgramDirectory());
  if (FileExists(candidate)) return candidate;
  candidate = InDirectory(GetCurrentDir());
  if (FileExists(candidate)) return candidate;
  if (const char* path = std::getenv("PATH")) {
    std::stringstream dirs(path);
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      if (dir.empty()) continue;
      candidate = InDirectory(dir);
      if (FileExists(candidate)) return candidate;
    }
  }
  return std::string("/etc/") + kAliasFileName;
}

std::string ReadProfileString(const std::string& FileName, const std::string& Section,
                              const std::string& Key) {
  std::ifstream in(FileName, std::ios::binary);
  if (!in) return "";
  std::string line;
  bool in_section = false;
  while (std::getline(in, line)) {
    std::string t = TrimBlanks(line);
    if (t.empty() || t[0] == ';' || t[0] == '#') continue;
    if (t[0] == '[') {
      size_t close = t.find(']');
      std::string name = TrimBlanks(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
      in_section = AnsiSameText(name, Section);
      continue;
    }
    if (!in_section) continue;
    size_t eq = t.find('=');
    if (eq == std::string::npos) continue;
    if (!AnsiSameText(TrimBlanks(t.substr(0, eq)), Key)) continue;
    std::string value = TrimBlanks(t.substr(eq + 1));
    if (value.size() > kMaxProfileValue) value.resize(kMaxProfileValue);
    return value;
  }
  return "";
}

bool LookupConnectionAlias(const std::string& strAliasName, std::string& strPath,
                           TAdsConnectionTableTypes& eType) {
  std::string value = ReadProfileString(FindAliasFile(), "Databases", strAliasName);
  char letter = 0;
  SplitAliasValue(value, strPath, letter);
  switch (letter) {
    case 'N': eType = ttAdsConnectNTX; break;
    case 'C': eType = ttAdsConnectCDX; break;
    case 'A': eType = ttAdsConnectADT; break;
    case 'V': eType = ttAdsConnectVFP; break;
    default: eType = ttAdsConnectUnspecified; break;
  }
  return !strPath.empty();
}

bool LookupDataSetAlias(const std::string& strAliasName, std::string& strPath,
                        TAdsTableTypes& eType) {
  std::string value = ReadProfileString(FindAliasFile(), "Databases", strAliasName);
  char letter = 0;
  SplitAliasValue(value, strPath, letter);
  switch (letter) {
    case 'N': eType = ttAdsNTX; break;
    case 'C': eType = ttAdsCDX; break;
    case 'V': eType = ttAdsVFP; break;
    default: eType = ttAdsADT; break;  // 'A', another letter or none
  }
  return !strPath.empty();
}
