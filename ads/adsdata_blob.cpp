// Blob contents of the datasets: the per-buffer blob cache (loading a memo, binary, image or
// national memo from the engine, holding changes, handing them to the engine at the post), the
// blob stream over a cache, and CreateBlobStream. Posting calls Flush (adsdata_edit.cpp); the
// record buffers create and free the caches (adsdata_buffers.cpp).
#include <cstring>
#include <memory>
#include <string>

#include "ads/adsdata.h"

namespace {

bool IsBlobKind(uint16_t t) {
  return t == 5 || t == 6 || t == 7 || t == 8 || t == 28 || t == 51 || t == 52;
}

// A valid address for an empty content (the engine refuses a missing buffer).
const UNSIGNED8 kNoBytes[1] = {0};

// The room a text memo is first read into (most memos are notes of a few lines).
constexpr UNSIGNED32 kFirstMemoRead = 1024;

}  // namespace

// ---- TAdsBlobCache ----------------------------------------------------------------------------

int64_t TAdsBlobCache::Write(const void* Buffer, int64_t Count) {
  const int64_t written = TMemoryStream::Write(Buffer, Count);
  mbBlobModified = true;
  return written;
}

void TAdsBlobCache::Truncate() {
  Clear();
  mbBlobModified = true;
}

void TAdsBlobCache::RefreshCache(int32_t hAdsTable, uint32_t ulFieldNo, uint32_t ulRecNo,
                                 bool bForceReread) {
  mbMovedCursor = false;
  if (!bForceReread && mhAdsTable == hAdsTable && mulRecNum == ulRecNo && mulFieldNo == ulFieldNo) {
    SetPosition(0);
    return;
  }
  Clear();
  mhAdsTable = hAdsTable;
  mulRecNum = ulRecNo;
  mulFieldNo = ulFieldNo;
  mbBlobModified = false;
  if (ulRecNo == 0) return;  // a record not yet on the engine has no content

  const ADSHANDLE handle = static_cast<ADSHANDLE>(hAdsTable);
  UNSIGNED8* field = ADSFIELD(ulFieldNo);
  try {
    UNSIGNED32 current = 0;
    AceCheck(nullptr, Ace.AdsGetRecordNum(handle, ADS_IGNOREFILTERS, &current));
    if (current != ulRecNo) {
      mbMovedCursor = true;
      AceCheck(nullptr, Ace.AdsGotoRecord(handle, ulRecNo));
    }
    const UNSIGNED16 type = FieldType(hAdsTable, ulFieldNo);
    bool text = type != AdsfldBINARY + 1 && type != AdsfldIMAGE + 1;
    if (text && type == AdsfldMEMO + 1) {
      UNSIGNED16 memoType = ADS_MEMO;
      AceCheck(nullptr, Ace.AdsGetMemoDataType(handle, field, &memoType));
      text = memoType == ADS_MEMO;
    }
    if (text && type == AdsfldMEMO + 1) {
      // A text memo is asked for at once into room most memos fit; a longer one answers 5005
      // with the length it needs and is read again into that much room.
      UNSIGNED32 got = kFirstMemoRead;
      SetSize(got);
      UNSIGNED32 result = Ace.AdsGetField(handle, field, Memory(), &got, ADS_NONE);
      if (result == AE_INSUFFICIENT_BUFFER) {
        SetSize(static_cast<int64_t>(got) + 1);
        got = static_cast<UNSIGNED32>(Size());
        result = Ace.AdsGetField(handle, field, Memory(), &got, ADS_NONE);
      }
      if (result == AE_NO_CURRENT_RECORD) {
        SetSize(0);
        mulRecNum = 0;
        return;
      }
      AceCheck(nullptr, result);
      SetSize(got);
      SetPosition(0);
      return;
    }
    UNSIGNED32 length = 0;
    // A text memo's stored length bounds its text (one byte per character), without reading
    // the text for it; the other text fields ask for the text's length.
    const UNSIGNED32 lengthResult =
        !text                           ? Ace.AdsGetBinaryLength(handle, field, &length)
        : type == AdsfldMEMO + 1        ? Ace.AdsGetMemoLength(handle, field, &length)
                                        : Ace.AdsGetDataLength(handle, field, 0, &length);
    if (lengthResult == AE_NO_CURRENT_RECORD) {
      mulRecNum = 0;
      return;
    }
    AceCheck(nullptr, lengthResult);
    uint64_t bytes = length;
    if (text) ++bytes;  // room for the engine's terminating zero
    if (type == AdsfldNMEMO + 1) bytes *= 2;
    SetSize(static_cast<int64_t>(bytes));
    UNSIGNED32 got = 0;
    if (type == AdsfldNMEMO + 1) {
      got = static_cast<UNSIGNED32>(bytes / 2);
      AceCheck(nullptr,
               Ace.AdsGetFieldW(handle, field, reinterpret_cast<WCHAR*>(Memory()), &got, ADS_NONE));
      got *= 2;
    } else if (text) {
      got = static_cast<UNSIGNED32>(bytes);
      AceCheck(nullptr, Ace.AdsGetField(handle, field, Memory(), &got, ADS_NONE));
    } else {
      got = static_cast<UNSIGNED32>(bytes);
      AceCheck(nullptr, Ace.AdsGetBinary(handle, field, 0, Memory(), &got));
    }
    if (got != Size()) SetSize(got);
    SetPosition(0);
  } catch (const EADSDatabaseError& e) {
    mulRecNum = 0;
    if (e.ACEErrorCode() != AE_NO_CURRENT_RECORD && e.ACEErrorCode() != AE_INVALID_RECORD_NUMBER)
      throw;
  }
}

uint16_t TAdsBlobCache::FieldType(int32_t hAdsTable, uint32_t ulFieldNo,
                                 IAdsDataSetErrorInfo* oDataSet) {
  if (mhTypeTable != hAdsTable || mulTypeField != ulFieldNo) {
    UNSIGNED16 type = 0;
    AceCheck(oDataSet, Ace.AdsGetFieldType(static_cast<ADSHANDLE>(hAdsTable), ADSFIELD(ulFieldNo),
                                          &type));
    mhTypeTable = hAdsTable;
    mulTypeField = ulFieldNo;
    musFieldType = type;
  }
  return musFieldType;
}

void TAdsBlobCache::Flush() {
  if (!mbBlobModified) return;
  const ADSHANDLE handle = static_cast<ADSHANDLE>(mhAdsTable);
  UNSIGNED8* field = ADSFIELD(mulFieldNo);
  UNSIGNED16 type = 0;
  AceCheck(nullptr, Ace.AdsGetFieldType(handle, field, &type));
  const UNSIGNED8* bytes = Size() > 0 ? Memory() : kNoBytes;
  if (type == AdsfldNMEMO + 1) {
    // UTF-16 copied into a character array: the memory need not be aligned for WCHAR.
    std::u16string text(static_cast<size_t>(Size() / 2), u'\0');
    if (!text.empty()) std::memcpy(text.data(), bytes, text.size() * 2);
    AceCheck(nullptr, Ace.AdsSetFieldW(handle, field, reinterpret_cast<const WCHAR*>(text.c_str()),
                                       static_cast<UNSIGNED32>(text.size())));
  } else {
    AceCheck(nullptr, Ace.AdsSetField(handle, field, bytes, static_cast<UNSIGNED32>(Size())));
  }
  mbBlobModified = false;
}

// ---- TAdsBlobStream ---------------------------------------------------------------------------

TAdsBlobStream::TAdsBlobStream(TBlobField* Field, TBlobStreamMode Mode)
    : TAdsBlobStream(dynamic_cast<TAdsDataSet*>(Field->DataSet()), Field, Mode) {}

TAdsBlobStream::TAdsBlobStream(TAdsDataSet* dataSet, TBlobField* Field, TBlobStreamMode Mode)
    : moField(Field), moMode(Mode) {
  if (dataSet == nullptr) return;
  switch (dataSet->State()) {
    case dsBrowse:
    case dsEdit:
    case dsInsert:
    case dsCalcFields:
    case dsNewValue:
      break;
    default:
      return;
  }
  TRecordBuffer buffer = dataSet->GetActiveRecBuf();
  if (buffer == nullptr) return;
  const bool slot = Field->Offset() >= 0 && Field->Offset() < dataSet->BlobFieldCount();
  TAdsBlobCache* cache = slot ? dataSet->GetBlobCache(buffer, Field->Offset()) : nullptr;
  UNSIGNED16 type = 0;
  if (cache != nullptr) {
    type = cache->FieldType(dataSet->mlHandle, static_cast<uint32_t>(Field->FieldNo()), dataSet);
  } else {
    AceCheck(dataSet, Ace.AdsGetFieldType(static_cast<ADSHANDLE>(dataSet->mlHandle),
                                          ADSFIELD(Field->FieldNo()), &type));
  }
  if (!IsBlobKind(type)) RaiseComponentError(dataSet, "Invalid blob open on non-blob field.");
  if (cache == nullptr) return;
  const TDataSetState state = dataSet->State();
  const bool force =
      (state == dsEdit || state == dsInsert) && Mode == bmReadWrite && !cache->IsCacheModified();
  {
    // When the engine cursor moved to the record, the framework repositions it next time.
    Finally forget([&] {
      if (cache->mbMovedCursor) dataSet->CursorPosChanged();
    });
    cache->RefreshCache(dataSet->mlHandle, static_cast<uint32_t>(Field->FieldNo()),
                        dataSet->BufferRecNo(buffer), force);
  }
  moAdsBlobCach = cache;
  if (Mode == bmWrite) {
    cache->Truncate();
    mbModified = true;
  }
}

TAdsBlobStream::~TAdsBlobStream() {
  if (!mbModified) return;
  moField->SetModified(true);
  if (TDataSet* dataSet = moField->DataSet()) {
    try {
      dataSet->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(moField));
    } catch (...) {
      // A handler's failure cannot leave a destructor; the field is marked modified already.
    }
  }
}

void TAdsBlobStream::CheckWritable() const {
  if (moMode == bmRead) RaiseComponentError(nullptr, "Error modifying read only blob.");
  if (moAdsBlobCach == nullptr)
    RaiseComponentError(nullptr, "Cannot write to blob in current state.");
}

int64_t TAdsBlobStream::Read(void* Buffer, int64_t Count) {
  return moAdsBlobCach != nullptr ? moAdsBlobCach->Read(Buffer, Count) : 0;
}

int64_t TAdsBlobStream::Write(const void* Buffer, int64_t Count) {
  CheckWritable();
  const int64_t written = moAdsBlobCach->Write(Buffer, Count);
  mbModified = true;
  return written;
}

int64_t TAdsBlobStream::Seek(int64_t Offset, TSeekOrigin Origin) {
  return moAdsBlobCach != nullptr ? moAdsBlobCach->Seek(Offset, Origin) : 0;
}

int64_t TAdsBlobStream::Size() {
  return moAdsBlobCach != nullptr ? moAdsBlobCach->Size() : 0;
}

void TAdsBlobStream::Truncate() {
  CheckWritable();
  moAdsBlobCach->Truncate();
  mbModified = true;
}

// ---- CreateBlobStream -------------------------------------------------------------------------

std::unique_ptr<TStream> TAdsDataSet::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  auto* blob = dynamic_cast<TBlobField*>(Field);
  if (blob != nullptr) {
    // The blob type is the field's data type here; a field named as binary reads as ftBlob.
    if (!strBinaryFieldName.empty() && AnsiSameText(blob->FieldName(), strBinaryFieldName))
      blob->SetDataType(ftBlob);
  }
  if ((Mode == bmWrite || Mode == bmReadWrite) && State() != dsEdit && State() != dsInsert)
    RaiseComponentError(this,
                        "Table must be in Edit or Insert state to open blob stream in Write Mode.");
  if (blob == nullptr)
    throw EInvalidCast("Ungültige Typumwandlung: Feld '" + Field->DisplayName() +
                       "' ist kein Blob-Feld");
  return std::make_unique<TAdsBlobStream>(this, blob, Mode);
}

VCL_REGISTER_CLASS(TAdsBlobStream, [](TClassBuilder<TAdsBlobStream>&) {})
