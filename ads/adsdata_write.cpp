// The dataset core's field-write hook: the checks of a field write (state, key fields,
// read-only, validation, column permissions), the conversion of the framework's native values
// into the record image of each table format (ADT, VFP, DBF) with their null forms, the key
// lengths of key editing, and the is-index-field answer. Reading values is adsdata_buffers.cpp;
// posting the image to the engine is adsdata_edit.cpp.
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "ads/adsdata.h"
#include "ui/db/DateTime.h"

namespace {

constexpr int32_t kJulianOffset = 1721425;  // framework day number = Julian day - this
constexpr int64_t kMsPerDay = 86400000;
constexpr UNSIGNED16 kDateTextLength = 13;
constexpr UNSIGNED16 kSegmentNameLength = 128;
constexpr UNSIGNED32 kPermissionNotGranted = 5054;
constexpr uint8_t kUpdateRight = 2;
constexpr uint8_t kInsertRight = 4;

uint16_t Load16(const void* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class T>
void StoreAt(std::byte* p, T v) {
  std::memcpy(p, &v, sizeof v);
}
template <class T>
T NativeAs(const void* Buffer) {
  T v;
  std::memcpy(&v, Buffer, sizeof v);
  return v;
}

bool IsBlobKind(uint16_t t) {
  return t == 5 || t == 6 || t == 7 || t == 8 || t == 28 || t == 51 || t == 52;
}
// Types with a 16-bit length word right after the field in the given table format.
bool HasLengthWord(uint16_t t, uint16_t tableType) {
  return t == 27 || ((t == 23 || t == 24) && tableType == ADS_ADT);
}

void FillWideBlanks(std::byte* p, uint32_t bytes) {
  for (uint32_t i = 0; i + 1 < bytes; i += 2) StoreAt<uint16_t>(p + i, u' ');
}

size_t WideLength(const char16_t* s) {
  size_t n = 0;
  while (s[n] != u'\0') ++n;
  return n;
}

// Digits before the decimal point of a fixed-notation text.
size_t IntegerDigits(const std::string& t) {
  size_t n = 0;
  for (char c : t) {
    if (c == '.') break;
    if (c >= '0' && c <= '9') ++n;
  }
  return n;
}

}  // namespace

// ---- The hook ---------------------------------------------------------------------------------

void TAdsDataSet::SetFieldData(TField* Field, const void* Buffer) {
  const TDataSetState state = State();
  if (!IsWriteMode(state)) RaiseComponentError(this, "Dataset not in edit mode");
  if (state == dsSetKey &&
      (Field->FieldNo() < 0 || (ActiveIndexSegmentCount() > 0 && !GetIsIndexField(Field))))
    DatabaseError("Field '" + Field->DisplayName() + "' is not indexed and cannot be modified",
                  this);
  TRecordBuffer record = GetActiveRecBuf();
  if (record == nullptr) RaiseComponentError(this, "Dataset not in edit mode");
  if (Field->FieldNo() > 0) {
    if (state == dsCalcFields) RaiseComponentError(this, "Dataset not in edit mode");
    if (Field->ReadOnly() && state != dsSetKey && state != dsFilter)
      DatabaseError("Field '" + Field->DisplayName() + "' cannot be modified", this);
    TACEFieldDef* d = ACEFieldDefOf(Field);
    if (d == nullptr)
      DatabaseError("Field '" + Field->DisplayName() + "' cannot be modified", this);
    if (state == dsEdit || state == dsInsert) Field->Validate(Buffer);
    if (Field->FieldKind() != fkInternalCalc) {
      if (state == dsEdit && (d->Permissions() & kUpdateRight) == 0)
        RaisePermissionError("Update permission not granted on this field: " + d->FieldName() +
                             ".");
      if (state == dsInsert && (d->Permissions() & kInsertRight) == 0)
        RaisePermissionError("Insert permission not granted on this field: " + d->FieldName() +
                             ".");
      if (Buffer == nullptr)
        WriteNullValue(*d, record);
      else
        WriteNativeValue(Field, *d, record, Buffer);
      d->SetModified(true);
    }
    if (state == dsSetKey) {
      uint16_t length = 1;
      if (Buffer == nullptr)
        length = 0;
      else if (Field->DataType() == ftString)
        length = static_cast<uint16_t>(std::strlen(static_cast<const char*>(Buffer)));
      else if (Field->DataType() == ftWideString)
        length = static_cast<uint16_t>(WideLength(static_cast<const char16_t*>(Buffer)));
      StoreAt(record + musRecordSize + 2 * (d->FieldNumber() - 1), length);
    }
  } else {
    WriteCalcField(Field, record + musRecordSize, Buffer);
  }
  if (state != dsCalcFields && state != dsFilter && state != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

void TAdsDataSet::RaisePermissionError(const std::string& strText) {
  const std::string ansi = Utf8ToAnsi(strText);
  AceCheck(this, Ace.AdsSetLastError(kPermissionNotGranted,
                                     reinterpret_cast<const UNSIGNED8*>(ansi.c_str())));
}

// ---- Values into the record image -------------------------------------------------------------

void TAdsDataSet::WriteNativeValue(TField* Field, const TACEFieldDef& d, std::byte* Image,
                                   const void* Buffer) {
  WriteTypedValue(Field->DataType(), d, Image, Buffer);
}

// Builds the field's new bytes in a copy of its area first, so that a refusal leaves the image
// as it was; the VFP marks follow once the bytes are in place.
void TAdsDataSet::WriteTypedValue(TFieldType DataType, const TACEFieldDef& d, std::byte* Image,
                                  const void* Buffer) {
  const uint16_t t = d.FieldType();
  const uint32_t L = d.Length();
  if (IsBlobKind(t)) return;  // blob contents travel through the blob caches
  const uint32_t extent = L + (HasLengthWord(t, musAceTableType) ? 2 : 0);
  if (static_cast<uint64_t>(d.Offset()) + extent > musRecordSize || L == 0)
    RaiseComponentError(this, "Field " + d.FieldName() + " does not lie in the record.");
  std::byte* place = Image + d.Offset();
  std::vector<std::byte> area(place, place + extent);
  std::byte* p = area.data();
  const bool adt = musAceTableType == ADS_ADT;
  const bool vfp = musAceTableType == ADS_VFP;
  const bool emptyIsNull = !mpoAdsTableOptions->AdsPreserveSpaces() && meTableType == ttAdsADT;
  auto refuse = [this] { RaiseComponentError(this, "Numeric out of range."); };
  bool varMark = false;  // VFP variable-length field: the full-length mark follows
  UNSIGNED32 varMarkValue = 0;
  auto storeVarLength = [&](uint32_t n) {
    if (adt) {
      StoreAt(p + L, static_cast<uint16_t>(n));
    } else if (vfp) {
      varMark = true;
      if (n < L) {
        p[L - 1] = static_cast<std::byte>(n);
        varMarkValue = 0;
      } else {
        varMarkValue = 0xFFFF;
      }
    }
  };

  switch (t) {
    case 1:
      p[0] = static_cast<std::byte>(NativeAs<int16_t>(Buffer) != 0 ? 'T' : 'F');
      break;
    case 2: {
      std::string text;
      const uint16_t decimals = d.Decimals();
      if (DataType == ftSmallint) {
        text = std::to_string(NativeAs<int16_t>(Buffer));
      } else if (DataType == ftInteger || DataType == ftAutoInc) {
        text = std::to_string(NativeAs<int32_t>(Buffer));
      } else if (DataType == ftBCD || DataType == ftFMTBcd) {
        const TBcd v = NativeAs<TBcd>(Buffer);
        const size_t precision = decimals > 0 ? L - 2 : L - 1;
        text = BcdToStrFixed(v, decimals, '.');
        if (IntegerDigits(text) > precision) refuse();  // exponent notation
        if (text.empty() || (text.size() == L && text[0] != '-')) refuse();
      } else {
        const double v = NativeAs<double>(Buffer);
        if (!std::isfinite(v)) refuse();
        text = FloatToStrF(v, ffFixed, static_cast<int>(decimals > 0 ? L - 1 : L), decimals, '.');
      }
      if (text.size() > L || text.find('E') != std::string::npos) refuse();
      text.insert(0, L - text.size(), ' ');
      std::memcpy(p, text.data(), L);
      break;
    }
    case 3: {
      const int32_t day = NativeAs<int32_t>(Buffer);
      if (L == 4) {
        StoreAt<int32_t>(p, day + kJulianOffset);
        break;
      }
      UNSIGNED8 text[kDateTextLength + 1] = {};
      UNSIGNED16 length = kDateTextLength;
      AceCheck(this, Ace.AdsConvertJulianToString(static_cast<DOUBLE>(day) + kJulianOffset, text,
                                                  &length));
      if (length > L) RaiseComponentError(this, "Something's wrong with ADS date functions");
      std::memcpy(p, text, length);
      break;
    }
    case 4:
    case 20: {
      const char* v = static_cast<const char*>(Buffer);
      const size_t n = std::min<size_t>(std::strlen(v), L);
      std::memset(p, (n == 0 && emptyIsNull) ? 0 : ' ', L);
      std::memcpy(p, v, n);
      break;
    }
    case 9: {
      const int32_t day = NativeAs<int32_t>(Buffer);
      char text[kDateTextLength + 1] = {};
      UNSIGNED16 length = kDateTextLength;
      AceCheck(this, Ace.AdsConvertJulianToString(static_cast<DOUBLE>(day) + kJulianOffset,
                                                  reinterpret_cast<UNSIGNED8*>(text), &length));
      auto number = [&](int from, int count) {
        int v = 0;
        for (int i = from; i < from + count && i < length; ++i)
          v = v * 10 + (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : 0);
        return v;
      };
      const int year = number(0, 4);
      const int month = number(4, 2);
      const int dayOfMonth = number(6, 2);
      p[0] = static_cast<std::byte>((year >> 7) & 0xFF);
      p[1] = static_cast<std::byte>(((year & 0x7F) << 1) | ((month >> 3) & 1));
      p[2] = static_cast<std::byte>(((month & 7) << 5) | (dayOfMonth & 0x1F));
      break;
    }
    case 10:
    case 17:
      std::memcpy(p, Buffer, 8);
      break;
    case 11:
    case 13:
    case 15:
      if (DataType == ftSmallint)
        StoreAt<int32_t>(p, NativeAs<int16_t>(Buffer));
      else
        std::memcpy(p, Buffer, 4);
      break;
    case 12:
      if (DataType == ftInteger || DataType == ftAutoInc) {
        const int32_t v = NativeAs<int32_t>(Buffer);
        if (v < INT16_MIN || v > INT16_MAX) refuse();
        StoreAt<int16_t>(p, static_cast<int16_t>(v));
      } else {
        std::memcpy(p, Buffer, 2);
      }
      break;
    case 14:
    case 22: {
      const double v = NativeAs<double>(Buffer);
      if (!std::isfinite(v) || v < 0 || v >= 4.0e18) refuse();
      int64_t days = static_cast<int64_t>(v / kMsPerDay);
      int64_t ms = std::llround(v - static_cast<double>(days) * kMsPerDay);
      if (ms >= kMsPerDay) {  // rounding reached the next midnight
        ++days;
        ms -= kMsPerDay;
      }
      if (days + kJulianOffset > UINT32_MAX) refuse();
      // Visual FoxPro tables keep one millisecond less than the time (the reading adds it back),
      // so that a value written is the value read.
      if (vfp && ms > 0) --ms;
      StoreAt<uint32_t>(p, static_cast<uint32_t>(days + kJulianOffset));
      StoreAt<uint32_t>(p + 4, static_cast<uint32_t>(ms));
      break;
    }
    case 16:
      std::memcpy(p, Buffer, L);
      break;
    case 18: {
      Currency money;
      if (!BCDToCurr(NativeAs<TBcd>(Buffer), money)) refuse();
      StoreAt<int64_t>(p, money.Scaled);
      break;
    }
    case 21: {
      int64_t v = 0;
      try {
        v = BcdToInt64(NativeAs<TBcd>(Buffer), true);
      } catch (const EBcdException&) {
        refuse();
      }
      StoreAt<int64_t>(p, v);
      break;
    }
    case 23: {
      const char* v = static_cast<const char*>(Buffer);
      const size_t n = std::min<size_t>(std::strlen(v), L);
      std::memset(p, ' ', L);
      std::memcpy(p, v, n);
      storeVarLength(static_cast<uint32_t>(n));
      break;
    }
    case 24: {
      const auto* v = static_cast<const uint8_t*>(Buffer);
      const size_t n = std::min<size_t>(Load16(v), L);
      std::memset(p, ' ', L);
      std::memcpy(p, v + 2, n);
      storeVarLength(static_cast<uint32_t>(n));
      break;
    }
    case 26:
    case 27: {
      const auto* v = static_cast<const char16_t*>(Buffer);
      const size_t n = std::min<size_t>(WideLength(v), L / 2);
      if (n == 0 && emptyIsNull)
        std::memset(p, 0, L);
      else
        FillWideBlanks(p, L);
      std::memcpy(p, v, n * 2);
      if (t == 27) StoreAt(p + L, static_cast<uint16_t>(n));
      break;
    }
    default:
      return;  // types without a value form here (reserved, system) stay as they are
  }

  std::memcpy(place, area.data(), extent);
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  UNSIGNED8* image = reinterpret_cast<UNSIGNED8*>(Image);
  if (varMark)
    AceCheck(this, Ace.AdsAccessVfpSystemField(handle, ADSFIELD(d.FieldNumber()), image,
                                               ADS_VFP_SET_VARLEN, &varMarkValue));
  if (vfp && d.Nullable()) {
    UNSIGNED32 clear = 0;
    AceCheck(this, Ace.AdsAccessVfpSystemField(handle, ADSFIELD(d.FieldNumber()), image,
                                               ADS_VFP_SET_NULL, &clear));
  }
}

void TAdsDataSet::WriteNullValue(const TACEFieldDef& d, std::byte* Image) {
  const uint16_t t = d.FieldType();
  const uint32_t L = d.Length();
  const uint32_t extent = L + (HasLengthWord(t, musAceTableType) ? 2 : 0);
  if (static_cast<uint64_t>(d.Offset()) + extent > musRecordSize)
    RaiseComponentError(this, "Field " + d.FieldName() + " does not lie in the record.");
  std::byte* p = Image + d.Offset();
  auto halves = [&](uint32_t first, uint32_t second) {
    if (L < 8) return;
    StoreAt(p, first);
    StoreAt(p + 4, second);
  };
  if (musAceTableType == ADS_ADT) {
    switch (t) {
      case 1:
        if (L > 0) p[0] = std::byte{' '};
        break;
      case 2:
      case 3:
      case 4:
      case 5:
      case 6:
      case 7:
      case 8:
      case 9:
      case 16:
      case 20:
      case 26:
      case 28:
        std::memset(p, 0, L);
        break;
      case 10:
      case 17:
        halves(32, 0x80000000u);
        break;
      case 11:
        if (L >= 4) StoreAt<uint32_t>(p, 0x80000000u);
        break;
      case 12:
        if (L >= 2) StoreAt<uint16_t>(p, 0x8000);
        break;
      case 13:
      case 15:
        if (L >= 4) StoreAt<uint32_t>(p, 0xFFFFFFFFu);
        break;
      case 14:
      case 22:
        halves(0, 0xFFFFFFFFu);
        break;
      case 18:
      case 21:
        halves(0, 0x80000000u);
        break;
      case 23:
      case 24:
      case 27:
        StoreAt<uint16_t>(p + L, 0xFFFF);
        break;
      default:
        break;
    }
    return;
  }
  if (musAceTableType == ADS_VFP) {
    switch (t) {
      case 1:
      case 2:
      case 3:
      case 4:
      case 23:
      case 24:
        std::memset(p, ' ', L);
        break;
      case 5:
      case 6:
      case 7:
      case 10:
      case 11:
      case 12:
      case 14:
      case 15:
      case 17:
      case 18:
      case 28:
      case 51:
      case 52:
        std::memset(p, 0, L);
        break;
      case 26:
        FillWideBlanks(p, L);
        break;
      case 27:
        FillWideBlanks(p, L);
        StoreAt<uint16_t>(p + L, 0xFFFF);
        break;
      default:
        break;
    }
    if (d.Nullable()) {
      UNSIGNED32 mark = 0xFFFF;
      AceCheck(this, Ace.AdsAccessVfpSystemField(
                         static_cast<ADSHANDLE>(mlHandle), ADSFIELD(d.FieldNumber()),
                         reinterpret_cast<UNSIGNED8*>(Image), ADS_VFP_SET_NULL, &mark));
    }
    return;
  }
  switch (t) {  // DBF (NTX and CDX tables)
    case 5:
    case 6:
    case 7:
    case 8:
    case 9:
    case 10:
    case 11:
    case 12:
    case 17:
    case 28:
      std::memset(p, 0, L);
      break;
    case 26:
      FillWideBlanks(p, L);
      break;
    case 27:
      FillWideBlanks(p, L);
      StoreAt<uint16_t>(p + L, 0xFFFF);
      break;
    default:
      std::memset(p, ' ', L);
      break;
  }
}

// ---- Index fields -----------------------------------------------------------------------------

namespace {

// Engine entry points of index orders that not every engine build offers; without them the
// cursor has no index orders, so no segments.
template <class Imports>
UNSIGNED32 NumSegments(Imports& imports, ADSHANDLE hIndex, UNSIGNED16* pusCount) {
  if constexpr (requires { imports.AdsGetNumSegments(hIndex, pusCount); }) {
    return imports.AdsGetNumSegments(hIndex, pusCount);
  } else {
    (void)imports;
    (void)hIndex;
    *pusCount = 0;
    return AE_SUCCESS;
  }
}

template <class Imports>
UNSIGNED32 SegmentFieldname(Imports& imports, ADSHANDLE hIndex, UNSIGNED16 usSegment,
                            UNSIGNED8* pucName, UNSIGNED16* pusLength) {
  if constexpr (requires {
                  imports.AdsGetSegmentFieldname(hIndex, usSegment, pucName, pusLength);
                }) {
    return imports.AdsGetSegmentFieldname(hIndex, usSegment, pucName, pusLength);
  } else {
    (void)imports;
    (void)hIndex;
    (void)usSegment;
    if (pucName != nullptr) pucName[0] = 0;
    if (pusLength != nullptr) *pusLength = 0;
    return AE_SUCCESS;
  }
}

}  // namespace

uint16_t TAdsDataSet::ActiveIndexSegmentCount() {
  if (mlActiveHandle == -1 || mlActiveHandle == mlHandle) return 0;
  UNSIGNED16 count = 0;
  AceCheck(this, NumSegments(Ace, static_cast<ADSHANDLE>(mlActiveHandle), &count));
  return count;
}

std::string TAdsDataSet::ActiveIndexSegmentName(uint16_t i) {
  if (mlActiveHandle == mlHandle)
    RaiseComponentError(this, "Internal Error: GetSegmentFieldNum : No Active Index");
  UNSIGNED8 name[kSegmentNameLength + 1] = {};
  UNSIGNED16 length = kSegmentNameLength;
  AceCheck(this, SegmentFieldname(Ace, static_cast<ADSHANDLE>(mlActiveHandle), i, name, &length));
  name[kSegmentNameLength] = 0;
  return AnsiToUtf8(reinterpret_cast<const char*>(name));
}

bool TAdsDataSet::GetIsIndexField(TField* Field) {
  const uint16_t segments = ActiveIndexSegmentCount();
  if (State() == dsSetKey && segments == 0) return true;
  if (Field->FieldNo() <= 0) return false;
  for (uint16_t i = 0; i < segments; ++i) {
    const int at = FACEFieldDefs->IndexOf(ActiveIndexSegmentName(i));
    if (at >= 0 && FACEFieldDefs->Items(at)->FieldNumber() == Field->FieldNo()) return true;
  }
  return false;
}
