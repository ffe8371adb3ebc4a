// The framework's exception base and the small string, number, path and text-encoding helpers
// that the component layers use. Everything here is free of any window system.
//
// Exceptions: every class derives from `Exception`, knows its own class name (`ClassName()`), its
// message, and where it was raised (the code address and the file name of the module that holds
// it), so that the start-up error box can say which exception arose where.
#pragma once

#include <cstdint>
#include <exception>
#include <string>
#include <string_view>
#include <utility>

// ---------------------------------------------------------------------------------------------
// Exceptions

class Exception : public std::exception {
 public:
  // Records the calling code address (the raise site) and the module containing it.
  explicit Exception(std::string Msg);
  Exception(const Exception&) = default;
  Exception& operator=(const Exception&) = default;
  ~Exception() override;

  const std::string& Message() const { return FMessage; }
  void SetMessage(std::string Msg) { FMessage = std::move(Msg); }
  // The name of the most derived exception class, e.g. "EConvertError".
  virtual std::string ClassName() const { return "Exception"; }
  // Address at which the exception was raised, and the file name (without folder) of the module
  // (program or shared library) that contains that address; empty when it cannot be found.
  void* ExceptAddr() const { return FExceptAddr; }
  const std::string& ModuleName() const { return FModuleName; }
  // Overrides the recorded raise site, e.g. for an exception created in one place and raised in
  // another.
  void SetRaiseSite(void* Addr);

  const char* what() const noexcept override { return FMessage.c_str(); }

 private:
  std::string FMessage;
  void* FExceptAddr = nullptr;
  std::string FModuleName;
};

// Declares an exception class `Name` deriving from `Base` with the base's constructors.
#define VCL_DECLARE_EXCEPTION(Name, Base)                    \
  class Name : public Base {                                 \
   public:                                                   \
    using Base::Base;                                        \
    std::string ClassName() const override { return #Name; } \
  };

VCL_DECLARE_EXCEPTION(EAbort, Exception)
VCL_DECLARE_EXCEPTION(EConvertError, Exception)
VCL_DECLARE_EXCEPTION(ERangeError, Exception)
VCL_DECLARE_EXCEPTION(EOutOfMemory, Exception)
VCL_DECLARE_EXCEPTION(EInvalidOperation, Exception)
VCL_DECLARE_EXCEPTION(EInvalidCast, Exception)
VCL_DECLARE_EXCEPTION(EInvalidPointer, Exception)
VCL_DECLARE_EXCEPTION(EVariantError, Exception)
VCL_DECLARE_EXCEPTION(EListError, Exception)
VCL_DECLARE_EXCEPTION(EStringListError, Exception)
VCL_DECLARE_EXCEPTION(EComponentError, Exception)
VCL_DECLARE_EXCEPTION(EStreamError, Exception)
VCL_DECLARE_EXCEPTION(EFileStreamError, EStreamError)
VCL_DECLARE_EXCEPTION(EFCreateError, EFileStreamError)
VCL_DECLARE_EXCEPTION(EFOpenError, EFileStreamError)
VCL_DECLARE_EXCEPTION(EFilerError, EStreamError)
VCL_DECLARE_EXCEPTION(EReadError, EFilerError)
VCL_DECLARE_EXCEPTION(EWriteError, EFilerError)
VCL_DECLARE_EXCEPTION(EClassNotFound, EFilerError)
VCL_DECLARE_EXCEPTION(EInOutError, Exception)

// Raises EAbort with an empty message (the silent exception).
[[noreturn]] void Abort();

// ---------------------------------------------------------------------------------------------
// Formatting and numbers

// printf-style formatting into a std::string (%s takes a const char*).
std::string Format(const char* Fmt, ...) __attribute__((format(printf, 1, 2)));

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '-';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "yyyy-mm-dd";
  std::string LongTimeFormat = "hh:nn:ss";
};
// Process-wide settings used by FloatToStr/StrToFloat; change only from the main thread.
extern TFormatSettings FormatSettings;

std::string IntToStr(int64_t Value);
std::string IntToHex(uint64_t Value, int Digits);
// Decimal with optional sign, or hexadecimal as "$FF" / "0xFF"; leading blanks allowed.
// Raises EConvertError for anything else or a value outside the 32-bit range.
int32_t StrToInt(const std::string& S);
int64_t StrToInt64(const std::string& S);
int32_t StrToIntDef(const std::string& S, int32_t Default);
int64_t StrToInt64Def(const std::string& S, int64_t Default);
bool TryStrToInt(const std::string& S, int32_t& Value);
bool TryStrToInt64(const std::string& S, int64_t& Value);
// Shortest text of up to 15 significant digits, using FormatSettings.DecimalSeparator.
std::string FloatToStr(double Value);
// Accepts FormatSettings.DecimalSeparator (and '.') and an exponent; raises EConvertError.
double StrToFloat(const std::string& S);
double StrToFloatDef(const std::string& S, double Default);
bool TryStrToFloat(const std::string& S, double& Value);
std::string BoolToStr(bool B, bool UseBoolStrs = false);

// ---------------------------------------------------------------------------------------------
// Strings (UTF-8)

// Trimming removes every character <= ' ' (control characters and blanks).
std::string Trim(const std::string& S);
std::string TrimLeft(const std::string& S);
std::string TrimRight(const std::string& S);
// ASCII letters only.
std::string UpperCase(const std::string& S);
std::string LowerCase(const std::string& S);
int CompareStr(const std::string& A, const std::string& B);
int CompareText(const std::string& A, const std::string& B);  // ASCII case-insensitive
bool SameText(const std::string& A, const std::string& B);
// Letter-aware for ASCII and the Latin-1 letters (U+00C0..U+00FF) in UTF-8. AnsiCompareText
// orders like a dictionary: letters with accents sort beside their base letter ("ä" beside "a",
// "ß" as "ss"), case is ignored; ties fall back to the exact code points so that only equal
// texts (ignoring case) compare 0.
std::string AnsiUpperCase(const std::string& S);
std::string AnsiLowerCase(const std::string& S);
int AnsiCompareText(const std::string& A, const std::string& B);
bool AnsiSameText(const std::string& A, const std::string& B);
// Case-sensitive dictionary order: like AnsiCompareText, ties broken by case (lower first).
int AnsiCompareStr(const std::string& A, const std::string& B);
bool AnsiSameStr(const std::string& A, const std::string& B);
// 'text' with every ' doubled.
std::string QuotedStr(const std::string& S);
std::string StringReplaceAll(const std::string& S, const std::string& From, const std::string& To);
// A letter or '_' followed by letters, digits or '_' (ASCII); optionally with dots between.
bool IsValidIdent(const std::string& Ident, bool AllowDots = false);

// ---------------------------------------------------------------------------------------------
// Paths and files. Both '/' and '\' are taken as folder separators.

constexpr char PathDelim = '/';
std::string IncludeTrailingPathDelimiter(const std::string& S);
std::string ExcludeTrailingPathDelimiter(const std::string& S);
std::string ExtractFilePath(const std::string& FileName);  // with the trailing delimiter
std::string ExtractFileDir(const std::string& FileName);   // without it
std::string ExtractFileName(const std::string& FileName);
std::string ExtractFileExt(const std::string& FileName);  // ".ext" or ""
std::string ChangeFileExt(const std::string& FileName, const std::string& Ext);
bool FileExists(const std::string& FileName);
bool DirectoryExists(const std::string& Dir);
std::string GetCurrentDir();

// ---------------------------------------------------------------------------------------------
// Threads

uint32_t GetCurrentThreadId();

// ---------------------------------------------------------------------------------------------
// Text encodings

// UTF-8 <-> Windows-1252. Characters without a Windows-1252 form become '?'.
std::string Utf8ToAnsi(const std::string& S);
// Takes its argument by value: a plain ASCII text, most texts, is moved through unchanged.
std::string AnsiToUtf8(std::string S);
// UTF-8 <-> UTF-16. Malformed input becomes U+FFFD.
std::u16string Utf8ToUtf16(const std::string& S);
std::string Utf16ToUtf8(const std::u16string& S);
// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& Out, uint32_t CodePoint);

// ---------------------------------------------------------------------------------------------
// Scope guard: runs its function when it goes out of scope (the try..finally of this code base).
//   Finally cleanup([&] { Table->EnableControls(); });
// An exception of the function travels to the caller, as from a finally block; while another
// exception is already on its way out, that first one wins and the function's is dropped.

template <class F>
class Finally {
 public:
  explicit Finally(F Fn) : FFn(std::move(Fn)) {}
  Finally(const Finally&) = delete;
  Finally& operator=(const Finally&) = delete;
  ~Finally() noexcept(false) {
    if (!FActive) return;
    if (std::uncaught_exceptions() > FUncaught) {
      try {
        FFn();
      } catch (...) {
      }
      return;
    }
    FFn();
  }
  // The function will not run.
  void Dismiss() { FActive = false; }

 private:
  F FFn;
  bool FActive = true;
  int FUncaught = std::uncaught_exceptions();
};
