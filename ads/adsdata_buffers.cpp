// The dataset core's record buffers and navigation: the buffer layout, allocation with blob
// caches, fetching a record (visibility, the record filter event, blob presence flags, OEM
// re-reads), first/last/bookmark positioning, record count and number, bookmarks, and the
// reading of field values from a record image into the framework's native forms.
#include <climits>
#include <cstring>
#include <string>

#include "ads/adsdata.h"

namespace {

constexpr int32_t kJulianOffset = 1721425;  // framework day number = Julian day - this
constexpr int64_t kMsPerDay = 86400000;
constexpr int kRecInfoSize = 8;
constexpr int kRecInfoFlagOffset = 5;

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
int64_t Load64(const std::byte* p) {
  int64_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
void Store32(std::byte* p, uint32_t v) {
  std::memcpy(p, &v, sizeof v);
}

// The length of a character field's text: up to its first zero byte, without trailing blanks.
// Fields are mostly a short name padded with blanks, so the blanks are passed eight at a time.
size_t TextExtent(const std::byte* p, size_t L) {
  const void* zero = std::memchr(p, 0, L);
  size_t n = zero != nullptr ? static_cast<size_t>(static_cast<const std::byte*>(zero) - p) : L;
  constexpr uint64_t kBlanks = 0x2020202020202020ull;
  while (n >= 8) {
    uint64_t word;
    std::memcpy(&word, p + n - 8, sizeof word);
    if (word != kBlanks) break;
    n -= 8;
  }
  while (n > 0 && p[n - 1] == std::byte{' '}) --n;
  return n;
}

bool AllBytes(const std::byte* p, uint32_t n, bool (*pred)(uint8_t)) {
  for (uint32_t i = 0; i < n; ++i)
    if (!pred(static_cast<uint8_t>(p[i]))) return false;
  return true;
}
bool IsZero(uint8_t b) {
  return b == 0;
}
bool IsBlank(uint8_t b) {
  return b == ' ';
}
bool IsZeroOrBlank(uint8_t b) {
  return b == 0 || b == ' ';
}

bool IsBlobEngineType(uint16_t t) {
  return t == 5 || t == 6 || t == 7 || t == 8 || t == 28;
}
bool IsCharEngineType(uint16_t t) {
  return t == 4 || t == 20 || t == 23 || t == 26 || t == 27;
}
// Types with a 16-bit length word right after the field in the given table format.
bool HasLengthWord(uint16_t t, uint16_t tableType) {
  return t == 27 || ((t == 23 || t == 24) && tableType == ADS_ADT);
}

// The text with its trailing blanks removed.
void StripTrailingBlanks(std::string& s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return std::string();
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

}  // namespace

// ---- Layout and buffers -----------------------------------------------------------------------

int32_t TAdsDataSet::BookmarkHandle() const {
  return (mlActiveHandle != -1 && mlActiveHandle != 0) ? mlActiveHandle : mlHandle;
}

void TAdsDataSet::ComputeRecordLayout() {
  UNSIGNED32 bookmarkLength = 0;
  AceCheck(this,
           Ace.AdsGetBookmarkLength(static_cast<ADSHANDLE>(BookmarkHandle()), &bookmarkLength));
  SetBookmarkSize(static_cast<int>(bookmarkLength));
  const uint64_t blobOfs = static_cast<uint64_t>(musRecordSize) + CalcFieldsSize();
  const uint64_t infoOfs =
      blobOfs + sizeof(TAdsBlobCache*) * static_cast<uint64_t>(BlobFieldCount());
  const uint64_t bookmarkOfs = infoOfs + kRecInfoSize;
  const uint64_t size = bookmarkOfs + bookmarkLength;
  if (size > UINT16_MAX)
    throw ERangeError("Record buffer of " + std::to_string(size) +
                      " bytes exceeds the largest record buffer (65535 bytes)");
  musBlobCacheOfs = static_cast<uint16_t>(blobOfs);
  musRecInfoOfs = static_cast<uint16_t>(infoOfs);
  musBookmarkOfs = static_cast<uint16_t>(bookmarkOfs);
  musRecBufSize = static_cast<uint16_t>(size);
}

int32_t TAdsDataSet::GetRecInfoRecNo(TRecordBuffer Buffer) const {
  return static_cast<int32_t>(Load32(Buffer + musRecInfoOfs));
}

void TAdsDataSet::SetRecInfoRecNo(TRecordBuffer Buffer, int32_t Value) {
  Store32(Buffer + musRecInfoOfs, static_cast<uint32_t>(Value));
}

uint8_t& TAdsDataSet::RecInfoFlag(TRecordBuffer Buffer) const {
  return *reinterpret_cast<uint8_t*>(Buffer + musRecInfoOfs + kRecInfoFlagOffset);
}

TAdsBlobCache* TAdsDataSet::GetBlobCache(TRecordBuffer Buffer, int BlobIndex) const {
  TAdsBlobCache* cache = nullptr;
  std::memcpy(&cache, Buffer + musBlobCacheOfs + BlobIndex * sizeof cache, sizeof cache);
  return cache;
}

void TAdsDataSet::SetBlobCache(TRecordBuffer Buffer, int BlobIndex, TAdsBlobCache* Cache) {
  std::memcpy(Buffer + musBlobCacheOfs + BlobIndex * sizeof Cache, &Cache, sizeof Cache);
}

TRecordBuffer TAdsDataSet::AllocRecordBuffer() {
  auto* buffer = new std::byte[musRecBufSize]();
  for (int i = 0; i < BlobFieldCount(); ++i) SetBlobCache(buffer, i, new TAdsBlobCache());
  return buffer;
}

void TAdsDataSet::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (Buffer == nullptr) return;
  for (int i = 0; i < BlobFieldCount(); ++i) {
    delete GetBlobCache(Buffer, i);
    SetBlobCache(Buffer, i, nullptr);
  }
  delete[] Buffer;
  Buffer = nullptr;
}

// ---- Fetching ---------------------------------------------------------------------------------

void TAdsDataSet::ReadRecordInto(TRecordBuffer Buffer) {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  UNSIGNED16 count = 0;
  AceCheck(this, Ace.AdsGetNumFields(handle, &count));
  UNSIGNED32 length = musRecordSize;
  AceCheck(this, Ace.AdsGetRecord(handle, reinterpret_cast<UNSIGNED8*>(Buffer), &length));
  UNSIGNED32 bookmarkLength = static_cast<UNSIGNED32>(BookmarkSize());
  AceCheck(this, Ace.AdsGetBookmark60(static_cast<ADSHANDLE>(BookmarkHandle()),
                                      reinterpret_cast<UNSIGNED8*>(Buffer + musBookmarkOfs),
                                      &bookmarkLength));
  const int described = FACEFieldDefs->Count();
  // Blob slots hold presence flags, never the engine's memo reference (also for blob fields
  // that have no field object).
  for (int n = 1; n <= count && n <= described; ++n) {
    const TACEFieldDef* d = FACEFieldDefs->Items(n - 1);
    if (!IsBlobEngineType(d->FieldType()) || d->Offset() + 4 > musRecordSize) continue;
    UNSIGNED16 empty = 0;  // also true for a null field
    AceCheck(this, Ace.AdsIsEmpty(handle, ADSFIELD(n), &empty));
    Store32(Buffer + d->Offset(), empty != 0 ? 0u : 0xFFFFFFFFu);
  }
  switch (State()) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsCalcFields:
    case dsNewValue:
      for (int i = 0; i < BlobFieldCount(); ++i)
        if (TAdsBlobCache* cache = GetBlobCache(Buffer, i)) cache->Empty();
      break;
    default:
      break;
  }
  if (musOpenCharType != ADS_OEM) return;
  // OEM tables: the engine converts the characters when it is asked for the field.
  for (int n = 1; n <= count && n <= described; ++n) {
    const TACEFieldDef* d = FACEFieldDefs->Items(n - 1);
    const uint16_t t = d->FieldType();
    if (!IsCharEngineType(t) || d->Offset() + d->Length() > musRecordSize) continue;
    std::byte* place = Buffer + d->Offset();
    if (t == 26 || t == 27) {
      std::u16string text((d->Length() + 2) / 2, u'\0');
      UNSIGNED32 chars = static_cast<UNSIGNED32>(text.size());
      AceCheck(this, Ace.AdsGetFieldW(handle, ADSFIELD(n), text.data(), &chars, ADS_NONE));
      const size_t copy = std::min<size_t>(chars, d->Length() / 2);
      std::memcpy(place, text.data(), copy * 2);
      if (copy < d->Length() / 2) std::memset(place + copy * 2, 0, 2);
    } else {
      std::string text(d->Length() + 1, '\0');
      UNSIGNED32 bytes = static_cast<UNSIGNED32>(text.size());
      AceCheck(this, Ace.AdsGetField(handle, ADSFIELD(n), reinterpret_cast<UNSIGNED8*>(text.data()),
                                     &bytes, ADS_NONE));
      const size_t copy = std::min<size_t>(bytes, d->Length());
      std::memcpy(place, text.data(), copy);
      if (copy < d->Length()) place[copy] = std::byte{0};
    }
  }
}

bool TAdsDataSet::OfferToFilterRecord(TRecordBuffer Buffer) {
  const TDataSetState saved = SetTempState(dsFilter);
  Finally restore([&] {
    RestoreState(saved);
    mpFilterBuffer = nullptr;
  });
  mpFilterBuffer = Buffer;
  bool accept = true;
  OnFilterRecord()(this, accept);
  return accept;
}

TGetResult TAdsDataSet::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool) {
  if (mlHandle == -1 || State() == dsInsert) return grError;
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE order = static_cast<ADSHANDLE>(mlActiveHandle);
  switch (GetMode) {
    case gmNext:
      AceCheck(this, Ace.AdsSkip(order, 1));
      break;
    case gmPrior:
      AceCheck(this, Ace.AdsSkip(order, -1));
      break;
    case gmCurrent:
      break;
    default:
      return grError;
  }
  const bool calcBeforeFilter = mpoAdsTableOptions->AdsCalcFieldsBeforeFilter();
  for (;;) {
    UNSIGNED16 eof = 0;
    AceCheck(this, Ace.AdsAtEOF(handle, &eof));
    if (eof != 0 && (GetMode == gmCurrent || GetMode == gmNext)) return grEOF;
    UNSIGNED16 bof = 0;
    AceCheck(this, Ace.AdsAtBOF(handle, &bof));
    if (bof != 0 && (GetMode == gmCurrent || GetMode == gmPrior)) return grBOF;
    UNSIGNED16 visible = 0;
    const UNSIGNED32 result = Ace.AdsIsRecordVisible(order, &visible);
    if (result != AE_NO_CURRENT_RECORD) AceCheck(this, result);
    if (visible != 0) {
      ReadRecordInto(Buffer);
      if (calcBeforeFilter) GetCalcFields(Buffer);
      const bool offered = OnFilterRecord() && Filtered();
      if (!offered || OfferToFilterRecord(Buffer)) {
        if (!calcBeforeFilter) GetCalcFields(Buffer);
        break;
      }
    }
    if (GetMode == gmCurrent) return grError;
    AceCheck(this, Ace.AdsSkip(order, GetMode == gmNext ? 1 : -1));
  }
  SetRecInfoRecNo(Buffer, CurrentEngineRecNo());
  RecInfoFlag(Buffer) = 0;
  return grOK;
}

int32_t TAdsDataSet::CurrentEngineRecNo() {
  if ((mstrIndexName.empty() && mstrIndexFieldNames.empty()) || !mbIsSequenced) {
    UNSIGNED32 number = 0;
    AceCheck(this,
             Ace.AdsGetRecordNum(static_cast<ADSHANDLE>(mlHandle), ADS_IGNOREFILTERS, &number));
    return static_cast<int32_t>(number);
  }
  if (meSeqLevel == slExact) {
    // The position among the visible records of the active order.
    UNSIGNED32 number = 0;
    AceCheck(this, Ace.AdsGetRecordNum(static_cast<ADSHANDLE>(mlActiveHandle), ADS_RESPECTFILTERS,
                                       &number));
    return static_cast<int32_t>(number);
  }
  UNSIGNED32 count = 0;
  AceCheck(this,
           Ace.AdsGetRecordCount(static_cast<ADSHANDLE>(mlHandle), ADS_IGNOREFILTERS, &count));
  DOUBLE position = 0;
  const UNSIGNED32 result = Ace.AdsGetRelKeyPos(static_cast<ADSHANDLE>(mlActiveHandle), &position);
  if (result == AE_NO_KEY_POSITION)
    position = 0;
  else
    AceCheck(this, result);
  return static_cast<int32_t>(static_cast<double>(count) * position);
}

// ---- Positioning ------------------------------------------------------------------------------

void TAdsDataSet::InternalFirst() {
  AceCheck(this, Ace.AdsGotoBOF(static_cast<ADSHANDLE>(mlActiveHandle)));
}

void TAdsDataSet::InternalLast() {
  AceCheck(this, Ace.AdsGotoEOF(static_cast<ADSHANDLE>(mlActiveHandle)));
}

void TAdsDataSet::InternalGotoBookmark(const uint8_t* Bookmark) {
  if (State() == dsInsert) return;
  uint32_t record = 0;
  std::memcpy(&record, Bookmark, sizeof record);
  const UNSIGNED32 result = Ace.AdsGotoBookmark(static_cast<ADSHANDLE>(mlHandle), record);
  if (result != AE_INVALID_RECORD_NUMBER) AceCheck(this, result);
}

void TAdsDataSet::InternalSetToRecord(TRecordBuffer Buffer) {
  InternalGotoBookmark(reinterpret_cast<const uint8_t*>(Buffer + musBookmarkOfs));
}

void TAdsDataSet::InternalRefresh() {
  const UNSIGNED32 result = Ace.AdsRefreshRecord(static_cast<ADSHANDLE>(mlHandle));
  if (result != AE_NO_CURRENT_RECORD) AceCheck(this, result);
}

// ---- Buffer hooks -----------------------------------------------------------------------------

void TAdsDataSet::ClearCalcFields(TRecordBuffer Buffer) {
  std::memset(Buffer + musRecordSize, 0, static_cast<size_t>(CalcFieldsSize()));
}

TBookmarkFlag TAdsDataSet::GetBookmarkFlag(TRecordBuffer Buffer) {
  return static_cast<TBookmarkFlag>(RecInfoFlag(Buffer));
}

void TAdsDataSet::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  RecInfoFlag(Buffer) = static_cast<uint8_t>(Value);
}

void TAdsDataSet::GetBookmarkData(TRecordBuffer Buffer, uint8_t* Data) {
  std::memcpy(Data, Buffer + musBookmarkOfs, static_cast<size_t>(BookmarkSize()));
}

void TAdsDataSet::SetBookmarkData(TRecordBuffer Buffer, const uint8_t* Data) {
  std::memcpy(Buffer + musBookmarkOfs, Data, static_cast<size_t>(BookmarkSize()));
}

// ---- Record count and number ------------------------------------------------------------------

int TAdsDataSet::GetRecordCount() {
  CheckActive();
  UNSIGNED16 option = ADS_IGNOREFILTERS;
  if (mpoAdsTableOptions->AdsFilterOptions() == RESPECT_WHEN_COUNTING)
    option = ADS_RESPECTFILTERS;
  else if (mpoAdsTableOptions->AdsScopeOptions() == RESPECT_SCOPES_WHEN_COUNTING)
    option = ADS_RESPECTSCOPES;
  // The count goes on the active order; an engine without index orders has no condition or
  // scope on it that would let the count go on the table instead.
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlActiveHandle);
  if (mpoAdsTableOptions->AdsFreshRecordCount()) option += ADS_REFRESHCOUNT;
  UNSIGNED32 count = 0;
  AceCheck(this, Ace.AdsGetRecordCount(handle, option, &count));
  if (count > static_cast<UNSIGNED32>(INT32_MAX))
    throw ERangeError("Record count " + std::to_string(count) + " is out of range");
  return static_cast<int>(count);
}

int TAdsDataSet::GetRecNo() {
  CheckActive();
  if (State() == dsCalcFields) {
    if (CalcBuffer() == nullptr) return 0;
    return static_cast<int32_t>(Load32(CalcBuffer() + musBookmarkOfs));
  }
  if (IsEmpty() || ActiveBuffer() == nullptr) return 0;
  return GetRecInfoRecNo(ActiveBuffer());
}

void TAdsDataSet::SetRecNoValue(int Value) {
  CheckBrowseMode();
  DoBeforeScroll();
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  const ADSHANDLE order = static_cast<ADSHANDLE>(mlActiveHandle);
  UNSIGNED32 result = AE_SUCCESS;
  if (mbIsSequenced && meSeqLevel == slExact) {
    AceCheck(this, Ace.AdsGotoTop(order));
    result = Ace.AdsSkip(order, Value - 1);
  } else if (meActiveIndexType != ndxNone) {
    UNSIGNED32 count = 0;
    AceCheck(this, Ace.AdsGetRecordCount(handle, ADS_IGNOREFILTERS, &count));
    double position = count == 0 ? 0.0 : static_cast<double>(Value) / count;
    if (position >= 1.0) position = 1.0;
    result = Ace.AdsSetRelKeyPos(order, position);
  } else if (Filtered()) {
    AceCheck(this, Ace.AdsGotoTop(handle));
    result = Ace.AdsSkip(handle, Value - 1);
  } else {
    result = Ace.AdsGotoRecord(handle, static_cast<UNSIGNED32>(Value));
    if (mbIsSequenced && result == AE_INVALID_RECORD_NUMBER) {
      AceCheck(this, Ace.AdsGotoTop(handle));
      result = Ace.AdsSkip(handle, Value - 1);
    }
  }
  AceCheck(this, result);
  Resync(TResyncMode{rmCenter});
  DoAfterScroll();
}

// ---- Bookmarks --------------------------------------------------------------------------------

bool TAdsDataSet::BookmarkValid(const TBookmark& Value) {
  if (!Active() || Value.size() < 4) return false;
  CursorPosChanged();
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mlHandle);
  uint32_t record = 0;
  std::memcpy(&record, Value.data(), sizeof record);
  if (Ace.AdsGotoBookmark(handle, record) != AE_SUCCESS) return false;
  UNSIGNED16 eof = 1;
  if (Ace.AdsAtEOF(handle, &eof) != AE_SUCCESS || eof != 0) return false;
  if (meTableType == ttAdsCDX || meTableType == ttAdsNTX || meTableType == ttAdsVFP) {
    UNSIGNED16 deleted = 0;
    AceCheck(this, Ace.AdsIsRecordDeleted(handle, &deleted));
    if (deleted != 0) {
      UNSIGNED16 shown = 0;
      AceCheck(this, Ace.AdsGetDeleted(&shown));
      return shown != 0;
    }
  }
  return true;
}

int TAdsDataSet::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.empty() && Bookmark2.empty()) return 0;
  if (Bookmark1.empty()) return 1;
  if (Bookmark2.empty()) return -1;
  SIGNED32 result = 0;
  AceCheck(this, Ace.AdsCompareBookmarks(Bookmark1.data(), Bookmark2.data(), &result));
  return result;
}

bool TAdsDataSet::GetCurrentRecord(TRecordBuffer Buffer) {
  if (IsEmpty() || ActiveBuffer() == nullptr || RecInfoFlag(ActiveBuffer()) != 0) return false;
  UpdateCursorPos();
  std::memcpy(Buffer, ActiveBuffer(), musRecordSize);
  return true;
}

// ---- Framework queries ------------------------------------------------------------------------

TDataSource* TAdsDataSet::GetDataSource() {
  return mpoMasterLink->DataSource();
}

void TAdsDataSet::DataEvent(TDataEvent Event, intptr_t Info) {
  if (Event == dePropertyChange) mpoIndexDefs->SetUpdated(false);
  TDataSet::DataEvent(Event, Info);
}

// ---- Field values -----------------------------------------------------------------------------

TRecordBuffer TAdsDataSet::GetActiveRecBuf() {
  switch (State()) {
    case dsBrowse:
    case dsBlockRead:
      return IsEmpty() ? nullptr : ActiveBuffer();
    case dsEdit:
    case dsInsert:
    case dsNewValue:
      return ActiveBuffer();
    case dsSetKey:
      return mpstKeyBuffer != nullptr ? mpstKeyBuffer->RecordImage() : nullptr;
    case dsCalcFields:
      return CalcBuffer();
    case dsFilter:
      return mpFilterBuffer;
    case dsOldValue:
      return FOldRecordBuffer;
    default:
      return nullptr;
  }
}

TACEFieldDef* TAdsDataSet::ACEFieldDefOf(TField* Field) const {
  const int index = Field->FieldNo() - 1;
  if (index < 0 || index >= FACEFieldDefs->Count()) return nullptr;
  return FACEFieldDefs->Items(index);
}

bool TAdsDataSet::FieldIsNull(const TACEFieldDef& d, std::byte* Image) {
  const uint16_t t = d.FieldType();
  const uint32_t L = d.Length();
  const uint32_t extra = HasLengthWord(t, musAceTableType) ? 2 : 0;
  // A field that does not lie inside the record image has no value to read.
  if (static_cast<uint64_t>(d.Offset()) + L + extra > musRecordSize) return true;
  const std::byte* p = Image + d.Offset();
  auto lengthWordNull = [&] {
    const uint16_t n = Load16(p + L);
    return n == 0xFFFF || n == 0;
  };
  auto halves = [&](uint32_t first, uint32_t second) {
    return L >= 8 && Load32(p) == first && Load32(p + 4) == second;
  };
  auto wideBlankOrZero = [&] {
    for (uint32_t i = 0; i + 1 < L; i += 2) {
      const uint16_t c = Load16(p + i);
      if (c != 0 && c != u' ') return false;
    }
    return true;
  };
  if (musAceTableType == ADS_ADT) {
    switch (t) {
      case 1:
        return L < 1 || static_cast<uint8_t>(p[0]) == ' ';
      case 2:
      case 3:
      case 4:
      case 9:
      case 16:
      case 20:
      case 26:
        return AllBytes(p, L, IsZero);
      case 5:
      case 6:
      case 7:
      case 8:
      case 28:
        return Load32(p) == 0;
      case 10:
      case 17:
        return halves(32, 0x80000000u);
      case 11:
        return Load32(p) == 0x80000000u;
      case 12:
        return Load16(p) == 0x8000;
      case 13:
      case 15:
        return Load32(p) == 0xFFFFFFFFu;
      case 14:
      case 22:
        return Load32(p) == 0;
      case 18:
      case 21:
        return halves(0, 0x80000000u);
      case 23:
      case 24:
      case 27:
        return lengthWordNull();
      default:
        return true;
    }
  }
  if (musAceTableType == ADS_VFP) {
    bool null = false;
    switch (t) {
      case 1:
      case 2:
      case 3:
        null = AllBytes(p, L, IsBlank);
        break;
      case 5:
      case 6:
      case 7:
      case 28:
        null = Load32(p) == 0;
        break;
      case 14:
        null = Load32(p) == 0;
        break;
      case 27:
        null = lengthWordNull();
        break;
      default:
        null = false;
        break;
    }
    if (!null && d.Nullable()) {
      UNSIGNED32 flag = 0;
      AceCheck(this, Ace.AdsAccessVfpSystemField(
                         static_cast<ADSHANDLE>(mlHandle), ADSFIELD(d.FieldNumber()),
                         reinterpret_cast<UNSIGNED8*>(Image), ADS_VFP_GET_NULL, &flag));
      null = flag != 0;
    }
    return null;
  }
  switch (t) {  // DBF (NTX and CDX tables)
    case 1:
    case 2:
    case 4:
      return AllBytes(p, L, IsZeroOrBlank);
    case 3:
      return L == 4 ? Load32(p) == 0 : AllBytes(p, L, IsZeroOrBlank);
    case 5:
    case 6:
    case 7:
    case 8:
    case 28:
      return Load32(p) == 0;
    case 9:
      return AllBytes(p, L, IsZero);
    case 10:
    case 11:
    case 12:
    case 17:
      return false;
    case 26:
      return wideBlankOrZero();
    case 27:
      return lengthWordNull();
    default:
      return true;
  }
}

void TAdsDataSet::ReadNativeValue(TField* Field, const TACEFieldDef& d, std::byte* Image,
                                  void* Buffer) {
  const uint16_t t = d.FieldType();
  const uint32_t L = d.Length();
  std::byte* p = Image + d.Offset();
  auto* out = static_cast<std::byte*>(Buffer);
  auto julianToDay = [](double julian) { return static_cast<int32_t>(julian - kJulianOffset); };
  switch (t) {
    case 1: {
      const char c = static_cast<char>(p[0]);
      const int16_t v = (c == '1' || c == 'T' || c == 'Y' || c == 't' || c == 'y') ? -1 : 0;
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 2: {
      std::string text(reinterpret_cast<const char*>(p), L);
      text = text.substr(0, text.find('\0'));
      try {
        if (Field->DataType() == ftSmallint) {
          const int32_t v = StrToInt(TrimBlanks(text));
          if (v < INT16_MIN || v > INT16_MAX) break;  // not a value of the field's type
          const int16_t s = static_cast<int16_t>(v);
          std::memcpy(out, &s, sizeof s);
        } else if (Field->DataType() == ftBCD || Field->DataType() == ftFMTBcd) {
          const TBcd v = StrToBcd(TrimBlanks(text), '.');
          std::memcpy(out, &v, sizeof v);
        } else {
          std::string local = TrimBlanks(text);
          const size_t dot = local.find('.');
          if (dot != std::string::npos) local[dot] = FormatSettings.DecimalSeparator;
          const double v = StrToFloat(local);
          std::memcpy(out, &v, sizeof v);
        }
      } catch (const EConvertError&) {
        // a text that is no number leaves the caller's buffer as it was
      }
      break;
    }
    case 3: {
      int32_t day = 0;
      if (L == 4) {
        day = static_cast<int32_t>(Load32(p)) - kJulianOffset;
      } else {
        DOUBLE julian = 0;
        Ace.AdsConvertStringToJulian(reinterpret_cast<const UNSIGNED8*>(p),
                                     static_cast<UNSIGNED16>(L), &julian);
        day = julianToDay(julian);
      }
      std::memcpy(out, &day, sizeof day);
      break;
    }
    case 4:
    case 20: {
      // The text up to its first zero byte, without trailing blanks (no copy on the way).
      const size_t n = TextExtent(p, L);
      std::memcpy(out, p, n);
      out[n] = std::byte{0};
      break;
    }
    case 9: {
      const uint32_t packed = (static_cast<uint32_t>(p[0]) << 16) |
                              (static_cast<uint32_t>(p[1]) << 8) | static_cast<uint32_t>(p[2]);
      char text[16];
      std::snprintf(text, sizeof text, "%04u%02u%02u", (packed >> 9) & 0x7FFF, (packed >> 5) & 0xF,
                    packed & 0x1F);
      DOUBLE julian = 0;
      Ace.AdsConvertStringToJulian(reinterpret_cast<const UNSIGNED8*>(text), 8, &julian);
      const int32_t day = julianToDay(julian);
      std::memcpy(out, &day, sizeof day);
      break;
    }
    case 10:
    case 17:
      std::memcpy(out, p, 8);
      break;
    case 11:
    case 13:
    case 15:
      std::memcpy(out, p, 4);
      break;
    case 12:
      std::memcpy(out, p, 2);
      break;
    case 14:
    case 22: {
      const int64_t julian = Load32(p);
      int64_t ms = Load32(p + 4);
      if (musAceTableType == ADS_VFP && ms != 0) ++ms;
      int64_t value = (julian - kJulianOffset) * kMsPerDay + ms;
      if (value < 0) value = 0;
      const double v = static_cast<double>(value);
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 16:
      std::memcpy(out, p, L);
      break;
    case 18:
    case 21: {
      const int64_t raw = Load64(p);
      std::string text;
      if (t == 21) {
        text = std::to_string(raw);
      } else {
        const bool negative = raw < 0;
        const uint64_t magnitude =
            negative ? static_cast<uint64_t>(-(raw + 1)) + 1 : static_cast<uint64_t>(raw);
        std::string fraction = std::to_string(magnitude % 10000);
        fraction.insert(0, 4 - fraction.size(), '0');
        text = (negative ? "-" : "") + std::to_string(magnitude / 10000) + "." + fraction;
      }
      const TBcd v = StrToBcd(text, '.');
      std::memcpy(out, &v, sizeof v);
      break;
    }
    case 23:
    case 24: {
      std::memset(out, 0, L);
      uint32_t n = L;
      if (musAceTableType == ADS_ADT) {
        n = Load16(p + L);
      } else if (musAceTableType == ADS_VFP) {
        UNSIGNED32 flag = 0;
        AceCheck(this, Ace.AdsAccessVfpSystemField(
                           static_cast<ADSHANDLE>(mlHandle), ADSFIELD(d.FieldNumber()),
                           reinterpret_cast<UNSIGNED8*>(Image), ADS_VFP_GET_VARLEN, &flag));
        n = flag == 1 ? L : static_cast<uint8_t>(p[L - 1]);
      }
      if (n > L) n = L;
      if (t == 24) {
        const uint16_t n16 = static_cast<uint16_t>(n);
        std::memcpy(out, &n16, sizeof n16);
        std::memcpy(out + 2, p, n);
      } else {
        std::string text(reinterpret_cast<const char*>(p), n);
        text = text.substr(0, text.find('\0'));
        StripTrailingBlanks(text);
        std::memcpy(out, text.c_str(), text.size() + 1);
      }
      break;
    }
    case 26:
    case 27: {
      uint32_t n = L / 2;
      if (t == 27) {
        std::memset(out, 0, L);
        n = std::min<uint32_t>(Load16(p + L), L / 2);
      }
      std::u16string text(n, u'\0');
      std::memcpy(text.data(), p, n * 2);
      text = text.substr(0, text.find(u'\0'));
      while (!text.empty() && text.back() == u' ') text.pop_back();
      std::memcpy(out, text.c_str(), (text.size() + 1) * 2);
      break;
    }
    default:
      break;  // blobs: only the null answer; their content moves through blob streams
  }
}

bool TAdsDataSet::GetFieldData(TField* Field, void* Buffer) {
  TRecordBuffer record = GetActiveRecBuf();
  if (record == nullptr) return false;
  if (Field->FieldNo() > 0) {
    TACEFieldDef* d = ACEFieldDefOf(Field);
    if (d == nullptr) return false;
    bool null = false;
    const TDataSetState state = State();
    TAdsBlobCache* cache = nullptr;
    if ((state == dsEdit || state == dsInsert) && IsBlobEngineType(d->FieldType()) &&
        Field->IsBlob() && Field->Offset() < BlobFieldCount())
      cache = GetBlobCache(record, Field->Offset());
    if (cache != nullptr && cache->mbBlobModified)
      null = cache->Size() == 0;
    else
      null = FieldIsNull(*d, record);
    if (Buffer != nullptr && !null) ReadNativeValue(Field, *d, record, Buffer);
    return !null;
  }
  switch (State()) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsCalcFields:
    case dsFilter:
      return ReadCalcField(Field, record + musRecordSize, Buffer);
    default:
      return false;
  }
}
