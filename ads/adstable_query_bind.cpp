// Binding a parameter list to an engine statement: the value of each TParam through the engine
// setter its DataType calls for (AdsSetString, AdsSetLogical, AdsSetJulian, ...), with the date
// and time conversions. The query binds its Params with it before every execution, the
// connection's Execute the list it is given; the two differ only in the structured types and in
// the dataset that errors name.
#include <cmath>
#include <limits>

#include "ads/adstable.h"

namespace {

constexpr int32_t kJulianDayOfDateTimeZero = 2415019;  // 30 December 1899
constexpr int64_t kMSecsPerDay = 86400000;

const UNSIGNED8* Ansi(const std::string& strAnsi) {
  return reinterpret_cast<const UNSIGNED8*>(strAnsi.c_str());
}

// The Julian day dDay of the date-time value dValue, which must fit the engine's 32-bit days.
int32_t JulianDayInRange(double dDay, TDateTime dValue) {
  if (!(dDay >= std::numeric_limits<int32_t>::min() && dDay <= std::numeric_limits<int32_t>::max()))
    throw ERangeError("Bereichsüberschreitung: Datum " + FloatToStr(dValue));
  return static_cast<int32_t>(dDay);
}

// A date value's Julian day: its whole days (truncated toward zero) from 30 December 1899.
int32_t JulianDay(TDateTime dValue) {
  return JulianDayInRange(std::trunc(dValue) + kJulianDayOfDateTimeZero, dValue);
}

// A date-time value as the engine's Julian day and milliseconds since midnight: the day as
// JulianDay gives it, the time the fraction's milliseconds, halves rounded to the even
// neighbour. Days before 30 December 1899 count their fraction toward the same day (-1.25 is
// 06:00), as the framework's date-times do. A time that rounds up to a whole day is midnight of
// the next day, since the engine holds no 24:00.
struct TJulianStamp {
  int32_t lJulian;
  int32_t lMilliseconds;
};

TJulianStamp JulianStamp(TDateTime dValue) {
  double dDay = std::trunc(dValue) + kJulianDayOfDateTimeZero;
  double dMSecs = std::nearbyint(std::fabs(dValue - std::trunc(dValue)) * kMSecsPerDay);
  if (dMSecs >= kMSecsPerDay) {
    dMSecs = 0;
    dDay += 1;
  }
  return {JulianDayInRange(dDay, dValue), static_cast<int32_t>(dMSecs)};
}

void PutLittleEndian32(uint8_t* pucTo, int32_t lValue) {
  const auto ulValue = static_cast<uint32_t>(lValue);
  for (int i = 0; i < 4; ++i) pucTo[i] = static_cast<uint8_t>(ulValue >> (8 * i));
}

[[noreturn]] void RaiseUnsupported(TAdsDataSet* poDataSet, TParam* Param) {
  RaiseComponentError(
      poDataSet, "The field named: '" + Param->Name() + "' has a DataType that is not supported.");
}

void BindStatementParam(TAdsDataSet* poDataSet, ADSHANDLE hStmt, TParam* Param, UNSIGNED16 usNumber,
                        TStructuredParamUse eStructured) {
  UNSIGNED8* pucField = ADSFIELD(usNumber);
  if (Param->IsNull()) {
    AceCheck(poDataSet, Ace.AdsSetEmpty(hStmt, pucField));
    return;
  }
  switch (Param->DataType()) {
    case ftUnknown:
      RaiseComponentError(poDataSet, "The field named: '" + Param->Name() +
                                         "' has the DataType of ftUnknown, which is invalid.");
    case ftBoolean:
      AceCheck(poDataSet, Ace.AdsSetLogical(hStmt, pucField, Param->AsBoolean() ? 1 : 0));
      return;
    case ftFloat:
    case ftCurrency:
      AceCheck(poDataSet, Ace.AdsSetDouble(hStmt, pucField, Param->AsFloat()));
      return;
    case ftDate:
      AceCheck(poDataSet, Ace.AdsSetJulian(hStmt, pucField, JulianDay(Param->AsDateTime())));
      return;
    case ftTime:
      // A time of day alone: midnight of the next day is 00:00.
      AceCheck(poDataSet, Ace.AdsSetMilliseconds(hStmt, pucField,
                                                 JulianStamp(Param->AsDateTime()).lMilliseconds));
      return;
    case ftDateTime:
    case ftTimeStamp: {
      const TJulianStamp oStamp = JulianStamp(Param->AsDateTime());
      UNSIGNED8 aucStamp[8];
      PutLittleEndian32(aucStamp, oStamp.lJulian);
      PutLittleEndian32(aucStamp + 4, oStamp.lMilliseconds);
      AceCheck(poDataSet, Ace.AdsSetTimeStampRaw(hStmt, pucField, aucStamp, sizeof aucStamp));
      return;
    }
    case ftBytes:
    case ftVarBytes:
    case ftBlob:
    case ftGraphic: {
      const TBytes aData = Param->AsBlob();  // a copy the engine reads from
      const auto ulSize = static_cast<UNSIGNED32>(aData.size());
      AceCheck(poDataSet, Ace.AdsSetBinary(hStmt, pucField, ADS_BINARY, ulSize, 0,
                                           aData.empty() ? nullptr : aData.data(), ulSize));
      return;
    }
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftCursor:
      RaiseUnsupported(poDataSet, Param);
    case ftWideString:
    case ftWideMemo: {
      const std::u16string strValue = Utf8ToUtf16(Param->AsString());
      AceCheck(poDataSet, Ace.AdsSetStringW(hStmt, pucField, strValue.c_str(),
                                            static_cast<UNSIGNED32>(strValue.size())));
      return;
    }
    case ftADT:
    case ftArray:
    case ftReference:
    case ftDataSet:
      if (eStructured == TStructuredParamUse::Refuse) RaiseUnsupported(poDataSet, Param);
      return;
    case ftOraBlob:
    case ftOraClob:
    case ftVariant:
    case ftInterface:
    case ftIDispatch:
    case ftGuid:
    case ftFMTBcd:
    case ftFixedWideChar:
    case ftOraTimeStamp:
    case ftOraInterval:
      return;  // these types are not bound
    case ftString:
    case ftSmallint:
    case ftInteger:
    case ftWord:
    case ftBCD:
    case ftAutoInc:
    case ftMemo:
    case ftFmtMemo:
    case ftFixedChar:
    case ftLargeint:
      break;
  }
  const std::string strValue = Utf8ToAnsi(Param->AsString());
  AceCheck(poDataSet, Ace.AdsSetString(hStmt, pucField, Ansi(strValue),
                                       static_cast<UNSIGNED32>(strValue.size())));
}

}  // namespace

void BindStatementParams(TAdsDataSet* poDataSet, ADSHANDLE hStmt, TParams* poParams,
                         TStructuredParamUse eStructured) {
  // The engine numbers a name once, at its first place in the text, and every "?" apart; the
  // list has one item per place. A repeated name is bound once, with its first item's value
  // (the one ParamByName gives), and does not move the numbers of the parameters after it.
  std::vector<std::string> aNamesBound;
  uint32_t ulNumber = 0;
  for (int i = 0; i < poParams->Count(); ++i) {
    TParam* poParam = poParams->Items(i);
    const std::string& strName = poParam->Name();
    if (!strName.empty()) {
      bool bRepeated = false;
      for (const std::string& strBound : aNamesBound)
        bRepeated = bRepeated || AnsiSameText(strBound, strName);
      if (bRepeated) continue;
      aNamesBound.push_back(strName);
    }
    ++ulNumber;
    if (ulNumber > std::numeric_limits<UNSIGNED16>::max())
      throw ERangeError("Bereichsüberschreitung: Parameter " + std::to_string(ulNumber));
    BindStatementParam(poDataSet, hStmt, poParam, static_cast<UNSIGNED16>(ulNumber), eStructured);
  }
}
