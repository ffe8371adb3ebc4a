// Filters of the datasets: the Filter text prepared for the engine and handed to it as an
// optimized or a plain filter, the Filtered and Filter setters that switch it, the two record
// walks that stop only on records OnFilterRecord accepts (the exact key seek of GotoKey and the
// scan of the record searches), and BuildFilterString, the search expression of Locate.
// Offering one record to OnFilterRecord is the fetch's (adsdata_buffers.cpp); the searches
// themselves are adsdata_locate.cpp's.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <vector>

#include "ads/adsdata.h"

namespace {

constexpr size_t kFilterSlack = 51;  // bytes the working buffer has beyond the text
constexpr UNSIGNED16 kMaxExpressionBuffer = 0xFFFF;

// Characters (code points) of a UTF-8 text.
size_t Utf8Length(const std::string& s) {
  size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// At s[at] the word CONTAINS (any letter case), blanks and "(": the position of the ")" that
// closes that parenthesis (nested ones counted, quoted and bracketed text skipped whole), or
// npos when there is no such word or no closing parenthesis.
size_t ContainsClauseEnd(const std::string& s, size_t at) {
  static const char kWord[] = "CONTAINS";
  constexpr size_t kWordLength = sizeof kWord - 1;
  if (s.size() - at < kWordLength) return std::string::npos;
  for (size_t i = 0; i < kWordLength; ++i)
    if (std::toupper(static_cast<unsigned char>(s[at + i])) != kWord[i]) return std::string::npos;
  size_t i = at + kWordLength;
  while (i < s.size() && IsBlank(s[i])) ++i;
  if (i >= s.size() || s[i] != '(') return std::string::npos;
  int depth = 0;
  for (; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"' || c == '\'' || c == '[') {
      const char close = c == '[' ? ']' : c;
      const size_t end = s.find(close, i + 1);
      if (end == std::string::npos) return std::string::npos;
      i = end;
    } else if (c == '(') {
      ++depth;
    } else if (c == ')' && --depth == 0) {
      return i;
    }
  }
  return std::string::npos;
}

// The asterisk scan of a filter text (see PrepareFilterText).
std::string TakeOutTrailingAsterisks(const std::string& text, bool& bExact) {
  std::string out;
  out.reserve(text.size());
  char quote = 0;
  size_t literalStart = 0;  // position in out of the literal's first character
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) {
        quote = 0;
        const size_t length = out.size() - literalStart;
        const bool allAsterisks = out.find_first_not_of('*', literalStart) == std::string::npos;
        if (length > 0 && out.back() == '*' && !allAsterisks) {
          out.pop_back();
          bExact = false;
        }
      }
      out.push_back(c);
      continue;
    }
    if (c == '"' || c == '\'') {
      quote = c;
      out.push_back(c);
      literalStart = out.size();
      continue;
    }
    const size_t end = (c == 'c' || c == 'C') ? ContainsClauseEnd(text, i) : std::string::npos;
    if (end != std::string::npos) {
      out.append(text, i, end - i + 1);
      i = end;
      continue;
    }
    out.push_back(c);
  }
  return out;
}

// One of the engine's name rewrites of an expression into a buffer of Capacity bytes. A result
// longer than that (short names written back as long ones can be) gets the buffer it needs.
template <class Rewrite>
std::string RewriteNames(TAdsDataSet* poDataSet, Rewrite rewrite, ADSHANDLE hTable,
                         const std::string& strText, size_t Capacity) {
  for (int attempt = 0;; ++attempt) {
    const UNSIGNED16 size =
        static_cast<UNSIGNED16>(std::min<size_t>(Capacity, kMaxExpressionBuffer));
    std::vector<UNSIGNED8> buffer(size + 1u, 0);
    UNSIGNED16 length = size;
    const UNSIGNED32 result = rewrite(hTable, reinterpret_cast<const UNSIGNED8*>(strText.c_str()),
                                      buffer.data(), &length);
    if (result == AE_INSUFFICIENT_BUFFER && attempt == 0 && length >= size &&
        size < kMaxExpressionBuffer) {
      Capacity = static_cast<size_t>(length) + 1;
      continue;
    }
    AceCheck(poDataSet, result);
    return std::string(reinterpret_cast<const char*>(buffer.data()),
                       std::min<size_t>(length, size));
  }
}

// The text of a date, time or timestamp value as the engine reads it whatever the framework's
// date format is.
std::string EngineDateText(TField* Field, uint16_t usType) {
  const TDateTime value = Field->AsDateTime();
  switch (usType) {
    case 13:
      return FormatDateTime("hh:nn:ss.zzz", value);
    case 14:
    case 22:
      return FormatDateTime("yyyy-mm-dd hh:nn:ss.zzz", value);
    default:
      return FormatDateTime("yyyy-mm-dd", value);
  }
}

std::string ReplaceAll(std::string s, const std::string& from, const std::string& to) {
  for (size_t at = s.find(from); at != std::string::npos; at = s.find(from, at + to.size()))
    s.replace(at, from.size(), to);
  return s;
}

}  // namespace

// ---- The engine filter ----------------------------------------------------------------------

std::string TAdsDataSet::PrepareFilterText(const std::string& strFilter, bool& bExact) {
  bExact = true;
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  const bool adt = musAceTableType == ADS_ADT;
  std::string text = strFilter;
  if (adt)
    text = RewriteNames(this, Ace.AdsExpressionLongToShort, handle, strFilter,
                        strFilter.size() + kFilterSlack);
  text = TakeOutTrailingAsterisks(text, bExact);
  if (adt)
    text = RewriteNames(this, Ace.AdsExpressionShortToLong, handle, text,
                        Utf8Length(text) + kFilterSlack);
  return text;
}

void TAdsDataSet::ApplyEngineFilter() {
  if (Filter().empty()) {
    ClearEngineFilter();
    return;
  }
  bool exact = true;
  const std::u16string text = Utf8ToUtf16(PrepareFilterText(Filter(), exact));
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  AceCheck(this, Ace.AdsSetExact22(handle, exact ? 1 : 0));
  if (!mpoAdsTableOptions->AdsOptimizedFilters()) {
    AceCheck(this, Ace.AdsSetFilter100(handle, text.c_str(), ADS_ENCODE_UTF16));
    return;
  }
  UNSIGNED32 option = ADS_DYNAMIC_AOF;
  if (mpoAdsTableOptions->AdsAOFType() == atKeySet) option = ADS_KEYSET_AOF;
  if (mpoAdsTableOptions->AdsAOFType() == atFixed) option = ADS_FIXED_AOF;
  option +=
      mpoAdsTableOptions->AdsAOFResolveImmediate() ? ADS_RESOLVE_IMMEDIATE : ADS_RESOLVE_DYNAMIC;
  AceCheck(this, Ace.AdsSetAOF100(handle, text.c_str(), option + ADS_ENCODE_UTF16));
}

void TAdsDataSet::ClearEngineFilter() {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  const UNSIGNED32 result = mpoAdsTableOptions->AdsOptimizedFilters() ? Ace.AdsClearAOF(handle)
                                                                      : Ace.AdsClearFilter(handle);
  if (result != AE_NO_FILTER) AceCheck(this, result);
}

void TAdsDataSet::SetFiltered(bool Value) {
  TDataSet::SetFiltered(Value);
  if (mlHandle != -1) {
    if (Value)
      ApplyEngineFilter();
    else
      ClearEngineFilter();
  }
  if (Active()) First();
}

void TAdsDataSet::SetFilterText(const std::string& Value) {
  TDataSet::SetFilterText(Value);
  if (Active() && Filtered()) SetFiltered(true);
}

// ---- Walks that honour OnFilterRecord -----------------------------------------------------------

bool TAdsDataSet::SeekAccepted(const UNSIGNED8* Key, UNSIGNED16 Length) {
  if (!OnFilterRecord()) RaiseComponentError(this, "Expected OnFilterRecord event.");
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE index = static_cast<ADSHANDLE>(mlActiveHandle);
  UNSIGNED16 found = 0;
  AceCheck(this, Ace.AdsSeek(index, Key, Length, ADS_RAWKEY, ADS_HARDSEEK, &found));
  if (found != 1) return false;
  TRecordBuffer record = AllocRecordBuffer();
  Finally release([&] { FreeRecordBuffer(record); });
  std::vector<UNSIGNED8> key;
  const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
  // The record is read as the fetch reads it (OEM characters converted for the event); its key
  // comes from the index itself, which holds the key of the stored record.
  ReadRecordInto(record);
  for (;;) {
    if (calcFirst) GetCalcFields(record);
    if (OfferToFilterRecord(record)) return true;
    AceCheck(this, Ace.AdsSkip(index, 1));
    UNSIGNED16 eof = 0;
    AceCheck(this, Ace.AdsAtEOF(table, &eof));
    if (eof != 0) return false;
    ReadRecordInto(record);
    if (key.empty()) {
      UNSIGNED16 keyLength = 0;
      AceCheck(this, Ace.AdsGetKeyLength(index, &keyLength));
      key.assign(static_cast<size_t>(keyLength) + 1, 0);
    }
    UNSIGNED16 length = static_cast<UNSIGNED16>(key.size());
    AceCheck(this, Ace.AdsExtractKey(index, key.data(), &length));
    if (length < Length) RaiseComponentError(this, "Invalid key size.");
    if (std::memcmp(key.data(), Key, Length) != 0) return false;
  }
}

bool TAdsDataSet::ScanAccepted(bool bForward) {
  if (!OnFilterRecord()) RaiseComponentError(this, "Expected OnFilterRecord event.");
  const ADSHANDLE table = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE order = static_cast<ADSHANDLE>(mlActiveHandle);
  TRecordBuffer record = AllocRecordBuffer();
  Finally release([&] { FreeRecordBuffer(record); });
  const bool calcFirst = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
  for (;;) {
    ReadRecordInto(record);
    if (calcFirst) GetCalcFields(record);
    if (OfferToFilterRecord(record)) return true;
    AceCheck(this, Ace.AdsSkip(order, bForward ? 1 : -1));
    UNSIGNED16 end = 0;
    AceCheck(this, bForward ? Ace.AdsAtEOF(table, &end) : Ace.AdsAtBOF(table, &end));
    if (end != 0) return false;
  }
}

// ---- The search expression --------------------------------------------------------------------

void TAdsDataSet::BuildFilterString(const std::vector<TField*>& Fields, bool bCaseInsensitive,
                                    std::string& strExpr) {
  if (State() != dsFilter) RaiseComponentError(this, "Internal Error, << BuildFilterString >>");
  static const std::string kDQ = "\"";
  strExpr.clear();
  for (TField* field : Fields) {
    if (!strExpr.empty()) strExpr += " AND ";
    const std::string& name = field->FieldName();
    if (field->IsNull()) {
      strExpr += "(empty(" + name + "))";
      continue;
    }
    const int at = FACEFieldDefs->IndexOf(name);
    const uint16_t type = at >= 0 ? FACEFieldDefs->Items(at)->FieldType() : 0;
    std::string literal;
    bool character = false;
    switch (type) {
      case 1:
        literal = field->AsBoolean() ? ".TRUE." : ".FALSE.";
        break;
      case 2:
      case 10:
      case 17:
      case 18:
        literal = field->AsString();
        if (FormatSettings.DecimalSeparator != '.')
          literal = ReplaceAll(literal, std::string(1, FormatSettings.DecimalSeparator), ".");
        break;
      case 3:
      case 9:
        literal = "ctod(" + kDQ + EngineDateText(field, type) + kDQ + ")";
        break;
      case 4:
      case 20:
      case 23:
      case 26:
      case 27:
        literal = kDQ + ReplaceAll(field->AsString(), kDQ, kDQ + "+ Chr(34) + " + kDQ) + kDQ;
        character = true;
        break;
      case 13:
        literal = "ctot(" + kDQ + EngineDateText(field, type) + kDQ + ")";
        break;
      case 14:
      case 22:
        literal = "ctots(" + kDQ + EngineDateText(field, type) + kDQ + ")";
        break;
      default:
        literal = field->AsString();
        break;
    }
    if (character && bCaseInsensitive)
      strExpr += "(UPPER(" + name + ")=UPPER(" + literal + "))";
    else
      strExpr += "(" + name + "=" + literal + ")";
  }
}
