// The dataset core's record editing: new records and their default values, the table's insert
// and update rights, the start of an edit with its record lock (pessimistic) or checksum
// (optimistic), posting the modified fields and blob caches to the engine's copy of the record
// and writing it, cancelling, deleting, and the end of key editing by Post and Cancel. The
// conversion of values into the record image is adsdata_write.cpp; the blob caches are
// adsdata_blob.cpp. Record locks are the engine's: a lock held by another user refuses the
// edit with the engine's error.
#include <cmath>
#include <cstring>
#include <string>

#include "ads/adsdata.h"
#include "ui/db/DateTime.h"

namespace {

constexpr uint32_t kUpdateAllowed = 0x20;
constexpr uint32_t kInsertAllowed = 0x40;
constexpr int kRecInfoFlagInserted = bfInserted;
constexpr int kSavedKeyBuffer = 5;

uint16_t Load16(const std::byte* p) {
  uint16_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
uint32_t Load32(const std::byte* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void Store32(std::byte* p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}

bool IsBlobKind(uint16_t t) {
  return t == 5 || t == 6 || t == 7 || t == 8 || t == 28 || t == 51 || t == 52;
}

bool AllBlanks(const std::byte* p, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i)
    if (p[i] != std::byte{' '}) return false;
  return true;
}

// The text between a leading and a trailing single quote; false when the expression is not
// quoted so.
bool QuotedText(const std::string& expr, std::string& text) {
  if (expr.size() < 2 || expr.front() != '\'' || expr.back() != '\'') return false;
  text = expr.substr(1, expr.size() - 2);
  return true;
}

// A decimal text with "." or the locale's separator.
TBcd DecimalDefault(const std::string& expr) {
  TBcd v;
  if (TryStrToBcd(expr, v, '.')) return v;
  return StrToBcd(expr);
}

double FloatDefault(const std::string& expr) {
  double v = 0;
  if (TryStrToFloat(expr, v, '.')) return v;
  return StrToFloat(expr);
}

}  // namespace

// ---- Record identity in a buffer --------------------------------------------------------------

uint32_t TAdsDataSet::BufferRecNo(TRecordBuffer Buffer) const {
  if (BookmarkSize() >= 4) return Load32(Buffer + musBookmarkOfs);
  return static_cast<uint32_t>(GetRecInfoRecNo(Buffer));
}

void TAdsDataSet::SetBufferRecNo(TRecordBuffer Buffer, uint32_t Value) {
  if (BookmarkSize() >= 4) Store32(Buffer + musBookmarkOfs, Value);
  SetRecInfoRecNo(Buffer, static_cast<int32_t>(Value));
}

// ---- New records and defaults -----------------------------------------------------------------

void TAdsDataSet::InternalInitRecord(TRecordBuffer Buffer) {
  const TDataSetState state = State();
  if (mlHandle != -1) {
    const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
    AceCheck(this,
             Ace.AdsClearRecordBuffer(handle, reinterpret_cast<UNSIGNED8*>(Buffer), musRecordSize));
    UNSIGNED16 count = 0;
    AceCheck(this, Ace.AdsGetNumFields(handle, &count));
    for (int n = 1; n <= count && n <= FACEFieldDefs->Count(); ++n) {
      TACEFieldDef* d = FACEFieldDefs->Items(n - 1);
      d->SetModified(state == dsEdit);
      const uint16_t t = d->FieldType();
      if (IsBlobKind(t)) continue;
      if (t == AdsfldAUTOINC + 1) {
        if (d->Offset() + 4 > musRecordSize) continue;
        if (musAceTableType == ADS_ADT) Store32(Buffer + d->Offset(), 0xFFFFFFFFu);
        if (musAceTableType == ADS_VFP) Store32(Buffer + d->Offset(), 0);
        continue;
      }
      TField* field = FindField(d->FieldName());
      if (field == nullptr || field->DefaultExpression().empty()) continue;
      SetDefaultValue(*d, field, Buffer);
      d->SetModified(true);
    }
  }
  // A buffer that the framework starts as a new record gets a new identity; clearing the fields
  // of a record being edited or inserted keeps the record it stands for.
  if (state != dsEdit && state != dsInsert && state != dsSetKey) {
    SetRecInfoRecNo(Buffer, -1);
    RecInfoFlag(Buffer) = 0;
    if (BookmarkSize() >= 4) Store32(Buffer + musBookmarkOfs, 0);
  }
  switch (state) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsCalcFields:
    case dsNewValue:
      for (int i = 0; i < BlobFieldCount(); ++i)
        if (TAdsBlobCache* cache = GetBlobCache(Buffer, i)) cache->ClearCache();
      break;
    default:
      break;
  }
}

void TAdsDataSet::SetDefaultValue(TACEFieldDef& d, TField* Field, TRecordBuffer Buffer) {
  const std::string expr = Trim(Field->DefaultExpression());
  const uint16_t t = d.FieldType();
  try {
    switch (t) {
      case AdsfldLOGICAL + 1: {
        const std::string upper = UpperCase(expr);
        const int16_t v =
            (upper == "TRUE" || upper == "T" || upper == ".T." || upper == "1") ? -1 : 0;
        WriteTypedValue(ftBoolean, d, Buffer, &v);
        break;
      }
      case AdsfldNUMERIC + 1:
        if (musAceTableType == ADS_ADT && !mpoAdsTableOptions->AdsNumericsAsFloats()) {
          const TBcd v = DecimalDefault(expr);
          WriteTypedValue(ftBCD, d, Buffer, &v);
        } else {
          const double v = FloatDefault(expr);
          WriteTypedValue(ftFloat, d, Buffer, &v);
        }
        break;
      case AdsfldDOUBLE + 1:
      case AdsfldCURDOUBLE + 1: {
        const double v = FloatDefault(expr);
        WriteTypedValue(ftFloat, d, Buffer, &v);
        break;
      }
      case AdsfldMONEY + 1:
      case AdsfldROWVERSION + 1: {
        const TBcd v = DecimalDefault(expr);
        WriteTypedValue(ftBCD, d, Buffer, &v);
        break;
      }
      case AdsfldINTEGER + 1: {
        const int32_t v = StrToInt(expr);
        if (v == INT32_MIN) RaiseComponentError(this, "Numeric out of range:" + expr);
        WriteTypedValue(ftInteger, d, Buffer, &v);
        break;
      }
      case AdsfldSHORTINT + 1: {
        const int32_t v = StrToInt(expr);
        if (v > 32767 || v < -32767) RaiseComponentError(this, "Numeric out of range:" + expr);
        WriteTypedValue(ftInteger, d, Buffer, &v);
        break;
      }
      case AdsfldDATE + 1:
      case AdsfldCOMPACTDATE + 1: {
        const TDateTime date = StrToDate(expr);
        const int32_t v = static_cast<int32_t>(std::trunc(date)) + DateDelta;
        WriteTypedValue(ftDate, d, Buffer, &v);
        break;
      }
      case AdsfldTIME + 1: {
        const TDateTime time = StrToTime(expr);
        const double fraction = time - std::trunc(time);
        // halves to the even neighbour: the default rounding mode
        const int32_t v = static_cast<int32_t>(std::nearbyint(std::fabs(fraction) * MSecsPerDay));
        WriteTypedValue(ftTime, d, Buffer, &v);
        break;
      }
      case AdsfldTIMESTAMP + 1:
      case AdsfldMODTIME + 1: {
        const double v = (StrToDateTime(expr) + DateDelta) * static_cast<double>(MSecsPerDay);
        WriteTypedValue(ftDateTime, d, Buffer, &v);
        break;
      }
      case AdsfldSTRING + 1:
      case AdsfldCISTRING + 1:
      case AdsfldVARCHAR_FOX + 1: {
        std::string text;
        if (!QuotedText(expr, text)) break;
        const std::string ansi = Utf8ToAnsi(text);
        WriteTypedValue(ftString, d, Buffer, ansi.c_str());
        break;
      }
      case AdsfldNCHAR + 1:
      case AdsfldNVARCHAR + 1: {
        std::string text;
        if (!QuotedText(expr, text)) break;
        const std::u16string wide = Utf8ToUtf16(text);
        WriteTypedValue(ftWideString, d, Buffer, wide.c_str());
        break;
      }
      default:
        break;  // raw, reserved, varbinary and system fields take no default
    }
  } catch (const EADSDatabaseError& e) {
    std::string inner = e.Message();
    const std::string prefix = Name() + ": ";
    if (!Name().empty() && inner.compare(0, prefix.size(), prefix) == 0)
      inner.erase(0, prefix.size());
    throw EADSDatabaseError(
        this, 0, "Error setting default field value. (" + Field->DisplayName() + ")\r\n" + inner);
  } catch (const EConvertError& e) {
    throw EADSDatabaseError(
        this, 0,
        "Error setting default field value. (" + Field->DisplayName() + ")\r\n" + e.Message());
  }
}

void TAdsDataSet::InternalInsert() {
  SetBufferRecNo(ActiveBuffer(), 0);
  delete[] FOldRecordBuffer;
  FOldRecordBuffer = nullptr;
}

void TAdsDataSet::DoOnNewRecord() {
  if (State() == dsInsert) {
    if ((mulTableOptions & kInsertAllowed) == 0)
      RaisePermissionError("Insert permission not granted on this table.");
    const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
    UNSIGNED16 eof = 0;
    UNSIGNED16 bof = 0;
    Ace.AdsAtEOF(handle, &eof);
    Ace.AdsAtBOF(handle, &bof);
    mbAppendEOF = eof != 0;
    mbAppendBOF = bof != 0;
  }
  if (mpoMasterLink->Active()) {
    const std::vector<TField*>& masters = mpoMasterLink->Fields();
    for (size_t i = 0; i < masters.size(); ++i) {
      TField* detail = FieldByName(ActiveIndexSegmentName(static_cast<uint16_t>(i)));
      detail->AssignValue(masters[i]->AsVariant());
    }
  }
  TDataSet::DoOnNewRecord();
}

// ---- Editing ----------------------------------------------------------------------------------

void TAdsDataSet::InternalEdit() {
  if ((mulTableOptions & kUpdateAllowed) == 0)
    RaisePermissionError("Update permission not granted on this table.");
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  TRecordBuffer buffer = ActiveBuffer();
  const uint32_t record = BufferRecNo(buffer);
  const TAdsRecordLockingModes mode = mpoAdsTableOptions->AdsRecordLockingMode();
  const bool pessimistic = !mbExclusive && mode == lmPessimistic;
  if (pessimistic) {
    const UNSIGNED32 result = Ace.AdsLockRecord(handle, record);
    if (result == AE_STATIC_CURSOR)
      throw EADSDatabaseError(
          this, AE_STATIC_CURSOR,
          "This table is based on a static VIEW. Static VIEWs can not be updated.");
    AceCheck(this, result);
  }
  try {
    // The record as it is on the engine now: another user may have changed it since it was read.
    const UNSIGNED32 refresh = Ace.AdsRefreshRecord(handle);
    if (refresh != AE_NO_CURRENT_RECORD) AceCheck(this, refresh);
    ReadRecordInto(buffer);
    GetCalcFields(buffer);
    if (!mbExclusive && mode == lmOptimistic)
      AceCheck(this, Ace.AdsGetRecordCRC(handle, &mulSavedCRC, 0));
  } catch (...) {
    // An edit that does not start keeps no lock.
    if (pessimistic) Ace.AdsUnlockRecord(handle, record);
    throw;
  }
  if (FOldRecordBuffer == nullptr) FOldRecordBuffer = new std::byte[musRecordSize + 1]();
  std::memcpy(FOldRecordBuffer, buffer, musRecordSize);
  for (int i = 0; i < FACEFieldDefs->Count(); ++i) FACEFieldDefs->Items(i)->SetModified(false);
}

// ---- Posting ----------------------------------------------------------------------------------

void TAdsDataSet::InternalPost() {
  CheckRequiredFields();
  const TDataSetState state = State();
  if (state != dsEdit && state != dsInsert) return;
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  TRecordBuffer buffer = ActiveBuffer();
  const uint32_t record = BufferRecNo(buffer);
  const bool optimistic =
      !mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() == lmOptimistic;
  bool tookLock = false;
  try {
    if (state == dsEdit) {
      AceCheck(this, Ace.AdsGotoRecord(handle, record));
      if (optimistic) {
        AceCheck(this, Ace.AdsLockRecord(handle, 0));
        tookLock = true;
        UNSIGNED32 crc = 0;
        AceCheck(this, Ace.AdsGetRecordCRC(handle, &crc, 0));
        if (crc != mulSavedCRC)
          throw EADSDatabaseError(this, AE_RECORD_CHANGED, "Record was changed by another user.");
      }
    } else if (RecInfoFlag(buffer) != kRecInfoFlagInserted) {
      AceCheck(this, Ace.AdsAppendRecord(handle));
      RecInfoFlag(buffer) = kRecInfoFlagInserted;
      UNSIGNED32 number = 0;
      AceCheck(this, Ace.AdsGetRecordNum(handle, ADS_IGNOREFILTERS, &number));
      SetBufferRecNo(buffer, number);
    }
    PostModifiedFields(buffer);
    PostModifiedBlobs(buffer);
    AceCheck(this, Ace.AdsWriteRecord(handle));
    if (state == dsEdit && !mbExclusive) AceCheck(this, Ace.AdsUnlockRecord(handle, record));
  } catch (...) {
    if (tookLock) Ace.AdsUnlockRecord(handle, record);
    throw;
  }
}

void TAdsDataSet::PostModifiedFields(TRecordBuffer Buffer) {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  UNSIGNED16 count = 0;
  AceCheck(this, Ace.AdsGetNumFields(handle, &count));
  const bool preserve = mpoAdsTableOptions->AdsPreserveSpaces();
  UNSIGNED8* image = reinterpret_cast<UNSIGNED8*>(Buffer);
  for (int n = std::min<int>(count, FACEFieldDefs->Count()); n >= 1; --n) {
    const TACEFieldDef* d = FACEFieldDefs->Items(n - 1);
    if (!d->Modified()) continue;
    UNSIGNED8* field = ADSFIELD(n);
    const uint16_t t = d->FieldType();
    const uint32_t L = d->Length();
    if (musAceTableType == ADS_VFP) {
      UNSIGNED32 null = 0;
      AceCheck(this, Ace.AdsAccessVfpSystemField(handle, field, image, ADS_VFP_GET_NULL, &null));
      if (null != 0) {
        UNSIGNED16 nullable = 0;
        AceCheck(this, Ace.AdsIsNullable(handle, field, &nullable));
        if (nullable == 1 && !preserve)
          AceCheck(this, Ace.AdsSetNull(handle, field));
        else
          AceCheck(this, Ace.AdsSetEmpty(handle, field));
        continue;
      }
    }
    if (IsBlobKind(t) || t == AdsfldAUTOINC + 1) continue;
    const uint32_t lengthWordAt = d->Offset() + L;
    const bool hasLengthWord =
        t == AdsfldNVARCHAR + 1 || ((t == AdsfldVARCHAR_FOX + 1 || t == AdsfldVARBINARY_FOX + 1) &&
                                    musAceTableType == ADS_ADT);
    if (static_cast<uint64_t>(d->Offset()) + L + (hasLengthWord ? 2 : 0) > musRecordSize) continue;
    const std::byte* data = Buffer + d->Offset();
    const UNSIGNED8* bytes = reinterpret_cast<const UNSIGNED8*>(data);
    uint32_t length = L;
    if (t == AdsfldVARCHAR_FOX + 1 || t == AdsfldVARBINARY_FOX + 1) {
      if (musAceTableType == ADS_ADT) {
        length = Load16(Buffer + lengthWordAt);
        // A null value's length word: the field is written empty.
        if (length == 0xFFFF) {
          AceCheck(this, Ace.AdsSetEmpty(handle, field));
          continue;
        }
      } else if (musAceTableType == ADS_VFP) {
        UNSIGNED32 full = 0;
        AceCheck(this,
                 Ace.AdsAccessVfpSystemField(handle, field, image, ADS_VFP_GET_VARLEN, &full));
        length = full == 1 ? L : static_cast<uint8_t>(data[L - 1]);
      }
      length = std::min(length, L);
    }
    switch (t) {
      case AdsfldSTRING + 1:
      case AdsfldCISTRING + 1:
      case AdsfldVARCHAR_FOX + 1:
        if (!preserve && AllBlanks(data, L))
          AceCheck(this, Ace.AdsSetEmpty(handle, field));
        else
          AceCheck(this, Ace.AdsSetField(handle, field, bytes, length));
        break;
      case AdsfldNCHAR + 1:
      case AdsfldNVARCHAR + 1: {
        uint32_t chars = L / 2;
        if (t == AdsfldNVARCHAR + 1) {
          const uint16_t stored = Load16(Buffer + lengthWordAt);
          if (stored == 0xFFFF) {
            AceCheck(this, Ace.AdsSetEmpty(handle, field));
            break;
          }
          chars = std::min<uint32_t>(stored, L / 2);
        }
        std::u16string text(chars, u'\0');
        std::memcpy(text.data(), data, chars * 2);
        if (!preserve && AllBlanks(data, L))
          AceCheck(this, Ace.AdsSetEmpty(handle, field));
        else
          AceCheck(this, Ace.AdsSetFieldW(handle, field,
                                          reinterpret_cast<const WCHAR*>(text.data()), chars));
        break;
      }
      default:
        AceCheck(this, Ace.AdsSetFieldRaw(handle, field, bytes, length));
        break;
    }
  }
}

void TAdsDataSet::PostModifiedBlobs(TRecordBuffer Buffer) {
  if (BlobFieldCount() == 0) return;
  for (TField* f : *Fields()) {
    if (!f->IsBlob() || f->FieldNo() <= 0 || f->Offset() < 0 || f->Offset() >= BlobFieldCount())
      continue;
    TAdsBlobCache* cache = GetBlobCache(Buffer, f->Offset());
    if (cache == nullptr || !cache->IsCacheModified()) continue;
    const TACEFieldDef* d = ACEFieldDefOf(f);
    if (d != nullptr && d->Offset() + 4 <= musRecordSize)
      Store32(Buffer + d->Offset(), cache->Size() == 0 ? 0u : 0xFFFFFFFFu);
    cache->Flush();
  }
}

void TAdsDataSet::InternalAddRecord(TRecordBuffer Buffer, bool) {
  if (Buffer != ActiveBuffer()) RaiseComponentError(this, "Unexpected error in InternalAddRecord.");
  InternalPost();
}

// ---- Cancelling and deleting ------------------------------------------------------------------

void TAdsDataSet::InternalCancel() {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  const UNSIGNED32 result = Ace.AdsCancelUpdate(handle);
  if (result != AE_SUCCESS && result != AE_NO_CURRENT_RECORD && result != AE_NO_PENDING_UPDATE)
    AceCheck(this, result);
  const TDataSetState state = State();
  if (state == dsInsert) {
    if (Eof()) {
      // The new record was appended at the end: back to the last record.
      AceCheck(this, Ace.AdsGotoBottom(static_cast<ADSHANDLE>(mlActiveHandle)));
      return;
    }
    const uint32_t before = BufferRecNo(Buffers(ActiveRecord() + 1));
    AceCheck(this, Ace.AdsGotoBookmark(handle, before));
  }
  ReadRecordInto(ActiveBuffer());
  GetCalcFields(ActiveBuffer());
  if (state == dsEdit && !mbExclusive && mpoAdsTableOptions->AdsRecordLockingMode() != lmOptimistic)
    AceCheck(this, Ace.AdsUnlockRecord(handle, BufferRecNo(ActiveBuffer())));
}

void TAdsDataSet::InternalDelete() {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  try {
    AceCheck(this, Ace.AdsDeleteRecord(handle));
    AceCheck(this, Ace.AdsWriteRecord(handle));
  } catch (...) {
    Ace.AdsCancelUpdate(handle);
    throw;
  }
  UNSIGNED16 showDeleted = 0;
  AceCheck(this, Ace.AdsGetDeleted(&showDeleted));
  if (showDeleted == 0) AceCheck(this, Ace.AdsSkip(static_cast<ADSHANDLE>(mlActiveHandle), 1));
}

// ---- Post and Cancel in key editing -----------------------------------------------------------

void TAdsDataSet::Post() {
  TDataSet::Post();
  if (State() != dsSetKey) return;
  DataEvent(deCheckBrowseMode, 0);
  if (mpstKeyBuffer != nullptr) mpstKeyBuffer->Modified = Modified();
  SetState(dsBrowse);
  DataEvent(deDataSetChange, 0);
}

void TAdsDataSet::Cancel() {
  TDataSet::Cancel();
  if (State() != dsSetKey) return;
  DataEvent(deCheckBrowseMode, 0);
  PAdsKeyBuffer saved = mapKeyBuffers[kSavedKeyBuffer];
  if (saved != nullptr && mpstKeyBuffer != nullptr && saved != mpstKeyBuffer)
    std::memcpy(static_cast<void*>(mpstKeyBuffer), saved,
                std::min(saved->BufferSize, mpstKeyBuffer->BufferSize));
  SetState(dsBrowse);
  DataEvent(deDataSetChange, 0);
}
