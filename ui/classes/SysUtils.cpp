// Exception base with raise-site capture, number and string conversions, the Latin-1 aware
// comparisons, path helpers and the UTF-8 / UTF-16 / Windows-1252 conversions.
#include "ui/classes/SysUtils.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <cstring>
#include <vector>

TFormatSettings FormatSettings;

// ---------------------------------------------------------------------------------------------
// Exception

__attribute__((noinline)) Exception::Exception(std::string Msg) : FMessage(std::move(Msg)) {
  SetRaiseSite(__builtin_extract_return_addr(__builtin_return_address(0)));
}

Exception::~Exception() = default;

void Exception::SetRaiseSite(void* Addr) {
  FExceptAddr = Addr;
  FModuleName.clear();
  Dl_info info{};
  if (Addr && dladdr(Addr, &info) && info.dli_fname) {
    std::string path = info.dli_fname;
    if (path.empty()) {
      char buf[4096];
      ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
      if (n > 0) path.assign(buf, static_cast<size_t>(n));
    }
    FModuleName = ExtractFileName(path);
  }
}

void Abort() {
  throw EAbort("");
}

// ---------------------------------------------------------------------------------------------
// Formatting and numbers

std::string Format(const char* Fmt, ...) {
  va_list ap;
  va_start(ap, Fmt);
  va_list ap2;
  va_copy(ap2, ap);
  int n = std::vsnprintf(nullptr, 0, Fmt, ap);
  va_end(ap);
  std::string out;
  if (n > 0) {
    out.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(out.data(), out.size(), Fmt, ap2);
    out.resize(static_cast<size_t>(n));
  }
  va_end(ap2);
  return out;
}

std::string IntToStr(int64_t Value) {
  return std::to_string(Value);
}

std::string IntToHex(uint64_t Value, int Digits) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*llX", Digits, static_cast<unsigned long long>(Value));
  return buf;
}

bool TryStrToInt64(const std::string& S, int64_t& Value) {
  size_t i = 0;
  while (i < S.size() && S[i] == ' ') ++i;
  bool neg = false;
  if (i < S.size() && (S[i] == '-' || S[i] == '+')) neg = S[i++] == '-';
  int base = 10;
  if (i < S.size() && S[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < S.size() && S[i] == '0' && (S[i + 1] == 'x' || S[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= S.size()) return false;
  uint64_t acc = 0;
  const uint64_t limit = neg ? uint64_t{1} << 63 : (uint64_t{1} << 63) - 1;
  for (; i < S.size(); ++i) {
    char c = S[i];
    int d;
    if (c >= '0' && c <= '9')
      d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f')
      d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F')
      d = c - 'A' + 10;
    else
      return false;
    if (acc > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) {
      // Hexadecimal texts may use the full 64 bits (two's complement), as "$FFFFFFFFFFFFFFFF".
      if (base != 16 || neg || acc > (UINT64_MAX - static_cast<uint64_t>(d)) / 16) return false;
    }
    acc = acc * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  Value = neg ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return true;
}

bool TryStrToInt(const std::string& S, int32_t& Value) {
  int64_t v;
  if (!TryStrToInt64(S, v)) return false;
  // Hexadecimal up to $FFFFFFFF is a 32-bit pattern.
  bool hex = S.find('$') != std::string::npos || S.find("0x") != std::string::npos ||
             S.find("0X") != std::string::npos;
  if (hex && v >= 0 && v <= 0xFFFFFFFFLL) {
    Value = static_cast<int32_t>(static_cast<uint32_t>(v));
    return true;
  }
  if (v < INT32_MIN || v > INT32_MAX) return false;
  Value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(const std::string& S) {
  int32_t v;
  if (!TryStrToInt(S, v)) throw EConvertError("'" + S + "' ist kein gültiger Integerwert");
  return v;
}

int64_t StrToInt64(const std::string& S) {
  int64_t v;
  if (!TryStrToInt64(S, v)) throw EConvertError("'" + S + "' ist kein gültiger Integerwert");
  return v;
}

int32_t StrToIntDef(const std::string& S, int32_t Default) {
  int32_t v;
  return TryStrToInt(S, v) ? v : Default;
}

int64_t StrToInt64Def(const std::string& S, int64_t Default) {
  int64_t v;
  return TryStrToInt64(S, v) ? v : Default;
}

std::string FloatToStr(double Value) {
  if (std::isnan(Value)) return "NAN";
  if (std::isinf(Value)) return Value > 0 ? "INF" : "-INF";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", Value);
  std::string s = buf;
  // "%G" writes "1E+20"; keep the exponent compact ("1E20", "1E-5").
  size_t e = s.find('E');
  if (e != std::string::npos) {
    std::string mant = s.substr(0, e);
    std::string exp = s.substr(e + 1);
    bool neg = !exp.empty() && exp[0] == '-';
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.erase(0, 1);
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + (neg ? "-" : "") + exp;
  }
  if (FormatSettings.DecimalSeparator != '.')
    for (char& c : s)
      if (c == '.') c = FormatSettings.DecimalSeparator;
  return s;
}

bool TryStrToFloat(const std::string& S, double& Value) {
  std::string t = Trim(S);
  if (t.empty()) return false;
  for (char& c : t)
    if (c == FormatSettings.DecimalSeparator) c = '.';
  for (char c : t)
    if (!((c >= '0' && c <= '9') || c == '.' || c == '-' || c == '+' || c == 'e' || c == 'E'))
      return false;
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(t.c_str(), &end);
  if (end != t.c_str() + t.size() || errno == ERANGE) return false;
  Value = v;
  return true;
}

double StrToFloat(const std::string& S) {
  double v;
  if (!TryStrToFloat(S, v)) throw EConvertError("'" + S + "' ist kein gültiger Gleitkommawert");
  return v;
}

double StrToFloatDef(const std::string& S, double Default) {
  double v;
  return TryStrToFloat(S, v) ? v : Default;
}

std::string BoolToStr(bool B, bool UseBoolStrs) {
  if (UseBoolStrs) return B ? "True" : "False";
  return B ? "-1" : "0";
}

// ---------------------------------------------------------------------------------------------
// Strings

std::string Trim(const std::string& S) {
  return TrimLeft(TrimRight(S));
}

std::string TrimLeft(const std::string& S) {
  size_t i = 0;
  while (i < S.size() && static_cast<unsigned char>(S[i]) <= ' ') ++i;
  return S.substr(i);
}

std::string TrimRight(const std::string& S) {
  size_t n = S.size();
  while (n > 0 && static_cast<unsigned char>(S[n - 1]) <= ' ') --n;
  return S.substr(0, n);
}

std::string UpperCase(const std::string& S) {
  std::string r = S;
  for (char& c : r)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return r;
}

std::string LowerCase(const std::string& S) {
  std::string r = S;
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  return r;
}

int CompareStr(const std::string& A, const std::string& B) {
  int c = A.compare(B);
  return c < 0 ? -1 : c > 0 ? 1 : 0;
}

int CompareText(const std::string& A, const std::string& B) {
  size_t n = std::min(A.size(), B.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char a = static_cast<unsigned char>(A[i]), b = static_cast<unsigned char>(B[i]);
    if (a >= 'A' && a <= 'Z') a += 32;
    if (b >= 'A' && b <= 'Z') b += 32;
    if (a != b) return a < b ? -1 : 1;
  }
  return A.size() < B.size() ? -1 : A.size() > B.size() ? 1 : 0;
}

bool SameText(const std::string& A, const std::string& B) {
  return CompareText(A, B) == 0;
}

namespace {

// Decodes one code point at S[i], advancing i; malformed bytes give U+FFFD.
uint32_t DecodeUtf8(const std::string& S, size_t& i) {
  auto b = [&](size_t k) { return static_cast<unsigned char>(S[k]); };
  unsigned char c = b(i);
  if (c < 0x80) {
    ++i;
    return c;
  }
  int len = (c & 0xE0) == 0xC0 ? 2 : (c & 0xF0) == 0xE0 ? 3 : (c & 0xF8) == 0xF0 ? 4 : 0;
  if (len == 0 || i + static_cast<size_t>(len) > S.size()) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = c & (0x7F >> len);
  for (int k = 1; k < len; ++k) {
    unsigned char cc = b(i + static_cast<size_t>(k));
    if ((cc & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (cc & 0x3F);
  }
  static const uint32_t kMin[] = {0, 0, 0x80, 0x800, 0x10000};
  if (cp < kMin[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
    ++i;
    return 0xFFFD;
  }
  i += static_cast<size_t>(len);
  return cp;
}

uint32_t ToLowerCp(uint32_t cp) {
  if (cp >= 'A' && cp <= 'Z') return cp + 32;
  if (cp >= 0xC0 && cp <= 0xDE && cp != 0xD7) return cp + 32;
  if (cp == 0x178) return 0xFF;
  if (cp == 0x152 || cp == 0x160 || cp == 0x17D) return cp + 1;  // Œ Š Ž
  return cp;
}

uint32_t ToUpperCp(uint32_t cp) {
  if (cp >= 'a' && cp <= 'z') return cp - 32;
  if (cp >= 0xE0 && cp <= 0xFE && cp != 0xF7) return cp - 32;
  if (cp == 0xFF) return 0x178;
  if (cp == 0x153 || cp == 0x161 || cp == 0x17E) return cp - 1;
  return cp;
}

// Primary sort weight of a lower-case code point: Latin-1 letters fold to their base letter.
// "ß" and the ligatures expand to two letters.
void AppendPrimary(std::vector<uint32_t>& out, uint32_t cp) {
  static const char* kBase =  // U+00E0..U+00FF
      "aaaaaaeceeeeiiiidnooooo/ouuuuyty";
  if (cp >= 0xE0 && cp <= 0xFF && cp != 0xF7) {
    char base = kBase[cp - 0xE0];
    if (cp == 0xE6) {  // æ
      out.push_back('a');
      out.push_back('e');
    } else if (cp == 0xFE) {  // þ sorts after z
      out.push_back('z' + 1);
    } else {
      out.push_back(static_cast<uint32_t>(base));
    }
    return;
  }
  if (cp == 0xDF) {  // ß
    out.push_back('s');
    out.push_back('s');
    return;
  }
  if (cp == 0x153) {  // œ
    out.push_back('o');
    out.push_back('e');
    return;
  }
  if (cp == 0x161) cp = 's';
  if (cp == 0x17E) cp = 'z';
  out.push_back(cp);
}

int CompareCodePoints(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

std::vector<uint32_t> CodePoints(const std::string& S) {
  std::vector<uint32_t> r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size();) r.push_back(DecodeUtf8(S, i));
  return r;
}

// Dictionary comparison. Level 1: base letters, case-free; level 2: exact letters, case-free;
// level 3 (only when CaseLevel): case, lower before upper.
int DictionaryCompare(const std::string& A, const std::string& B, bool CaseLevel) {
  std::vector<uint32_t> ca = CodePoints(A), cb = CodePoints(B);
  std::vector<uint32_t> la, lb, pa, pb;
  for (uint32_t c : ca) la.push_back(ToLowerCp(c));
  for (uint32_t c : cb) lb.push_back(ToLowerCp(c));
  for (uint32_t c : la) AppendPrimary(pa, c);
  for (uint32_t c : lb) AppendPrimary(pb, c);
  if (int r = CompareCodePoints(pa, pb)) return r;
  if (int r = CompareCodePoints(la, lb)) return r;
  if (!CaseLevel) return 0;
  // Same letters: the first difference in case decides, lower case first.
  for (size_t i = 0; i < ca.size() && i < cb.size(); ++i)
    if (ca[i] != cb[i]) return ca[i] > cb[i] ? -1 : 1;
  return 0;
}

}  // namespace

void AppendUtf8(std::string& Out, uint32_t cp) {
  if (cp < 0x80) {
    Out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    Out += static_cast<char>(0xC0 | (cp >> 6));
    Out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    Out += static_cast<char>(0xE0 | (cp >> 12));
    Out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    Out += static_cast<char>(0xF0 | (cp >> 18));
    Out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    Out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    Out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

std::string AnsiUpperCase(const std::string& S) {
  std::string r;
  for (size_t i = 0; i < S.size();) AppendUtf8(r, ToUpperCp(DecodeUtf8(S, i)));
  return r;
}

std::string AnsiLowerCase(const std::string& S) {
  std::string r;
  for (size_t i = 0; i < S.size();) AppendUtf8(r, ToLowerCp(DecodeUtf8(S, i)));
  return r;
}

int AnsiCompareText(const std::string& A, const std::string& B) {
  return DictionaryCompare(A, B, false);
}
bool AnsiSameText(const std::string& A, const std::string& B) {
  return AnsiCompareText(A, B) == 0;
}
int AnsiCompareStr(const std::string& A, const std::string& B) {
  return DictionaryCompare(A, B, true);
}
bool AnsiSameStr(const std::string& A, const std::string& B) {
  return A == B;
}

std::string QuotedStr(const std::string& S) {
  std::string r = "'";
  for (char c : S) {
    if (c == '\'') r += '\'';
    r += c;
  }
  return r + "'";
}

std::string StringReplaceAll(const std::string& S, const std::string& From, const std::string& To) {
  if (From.empty()) return S;
  std::string r;
  size_t pos = 0;
  for (size_t hit; (hit = S.find(From, pos)) != std::string::npos; pos = hit + From.size())
    r += S.substr(pos, hit - pos) + To;
  return r + S.substr(pos);
}

bool IsValidIdent(const std::string& Ident, bool AllowDots) {
  if (Ident.empty()) return false;
  auto alpha = [](char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; };
  auto digit = [](char c) { return c >= '0' && c <= '9'; };
  bool start = true;
  for (char c : Ident) {
    if (start) {
      if (!alpha(c)) return false;
      start = false;
    } else if (c == '.' && AllowDots) {
      start = true;
    } else if (!alpha(c) && !digit(c)) {
      return false;
    }
  }
  return !start;
}

// ---------------------------------------------------------------------------------------------
// Paths

namespace {
bool IsDelim(char c) {
  return c == '/' || c == '\\';
}
size_t LastDelim(const std::string& S) {
  for (size_t i = S.size(); i > 0; --i)
    if (IsDelim(S[i - 1])) return i - 1;
  return std::string::npos;
}
}  // namespace

std::string IncludeTrailingPathDelimiter(const std::string& S) {
  if (!S.empty() && IsDelim(S.back())) return S;
  return S + PathDelim;
}

std::string ExcludeTrailingPathDelimiter(const std::string& S) {
  std::string r = S;
  while (r.size() > 1 && IsDelim(r.back())) r.pop_back();
  return r;
}

std::string ExtractFilePath(const std::string& FileName) {
  size_t d = LastDelim(FileName);
  return d == std::string::npos ? "" : FileName.substr(0, d + 1);
}

std::string ExtractFileDir(const std::string& FileName) {
  size_t d = LastDelim(FileName);
  if (d == std::string::npos) return "";
  return d == 0 ? FileName.substr(0, 1) : FileName.substr(0, d);
}

std::string ExtractFileName(const std::string& FileName) {
  size_t d = LastDelim(FileName);
  return d == std::string::npos ? FileName : FileName.substr(d + 1);
}

std::string ExtractFileExt(const std::string& FileName) {
  std::string name = ExtractFileName(FileName);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? "" : name.substr(dot);
}

std::string ChangeFileExt(const std::string& FileName, const std::string& Ext) {
  std::string ext = ExtractFileExt(FileName);
  return FileName.substr(0, FileName.size() - ext.size()) + Ext;
}

bool FileExists(const std::string& FileName) {
  struct stat st {};
  return stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool DirectoryExists(const std::string& Dir) {
  struct stat st {};
  return stat(Dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string GetCurrentDir() {
  std::vector<char> buf(4096);
  if (!getcwd(buf.data(), buf.size())) return "";
  return buf.data();
}

uint32_t GetCurrentThreadId() {
  return static_cast<uint32_t>(syscall(SYS_gettid));
}

// ---------------------------------------------------------------------------------------------
// Encodings

namespace {
// Windows-1252 bytes 0x80..0x9F; 0 marks the five unassigned bytes.
const uint16_t kCp1252High[32] = {0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
                                  0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};
}  // namespace

std::string Utf8ToAnsi(const std::string& S) {
  std::string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size();) {
    uint32_t cp = DecodeUtf8(S, i);
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) {
      r += static_cast<char>(cp);
      continue;
    }
    char out = '?';
    for (int k = 0; k < 32; ++k)
      if (kCp1252High[k] != 0 && kCp1252High[k] == cp) out = static_cast<char>(0x80 + k);
    r += out;
  }
  return r;
}

std::string AnsiToUtf8(std::string S) {
  // Plain ASCII, most texts, is the same in both.
  size_t ascii = 0;
  for (uint64_t word; ascii + 8 <= S.size(); ascii += 8) {  // eight bytes at a time
    std::memcpy(&word, S.data() + ascii, sizeof word);
    if ((word & 0x8080808080808080ull) != 0) break;
  }
  while (ascii < S.size() && static_cast<unsigned char>(S[ascii]) < 0x80) ++ascii;
  if (ascii == S.size()) return S;  // moved out, not copied
  std::string r;
  r.reserve(S.size() + 8);
  r.assign(S, 0, ascii);
  for (char ch : std::string_view(S).substr(ascii)) {
    auto b = static_cast<unsigned char>(ch);
    if (b >= 0x80 && b <= 0x9F) {
      uint16_t cp = kCp1252High[b - 0x80];
      AppendUtf8(r, cp ? cp : b);  // unassigned bytes keep their C1 control code
    } else {
      AppendUtf8(r, b);
    }
  }
  return r;
}

std::u16string Utf8ToUtf16(const std::string& S) {
  std::u16string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size();) {
    uint32_t cp = DecodeUtf8(S, i);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      r += static_cast<char16_t>(0xD800 + (cp >> 10));
      r += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      r += static_cast<char16_t>(cp);
    }
  }
  return r;
}

std::string Utf16ToUtf8(const std::u16string& S) {
  std::string r;
  r.reserve(S.size());
  for (size_t i = 0; i < S.size(); ++i) {
    uint32_t c = S[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < S.size() && S[i + 1] >= 0xDC00 &&
        S[i + 1] <= 0xDFFF) {
      c = 0x10000 + ((c - 0xD800) << 10) + (S[i + 1] - 0xDC00);
      ++i;
    } else if (c >= 0xD800 && c <= 0xDFFF) {
      c = 0xFFFD;
    }
    AppendUtf8(r, c);
  }
  return r;
}
