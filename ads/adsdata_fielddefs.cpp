// Field definitions of the datasets: the engine field descriptions (TACEFieldDefs), the two
// field classes the datasets create (TAdsStringField, TAdsBCDField), the reading of an engine
// cursor's field list into FieldDefs with the mapping from engine field types to data types,
// and the small owned helpers of a dataset (index-file list, blob cache). Field values are
// adsdata_buffers.cpp's.
#include <cstring>
#include <string>

#include "ads/adsdata.h"

namespace {

constexpr UNSIGNED16 kFieldNameLength = 129;

// What a field definition gets for an engine field type.
struct TFieldDefShape {
  TFieldType DataType = ftUnknown;
  int Size = 0;
  int Precision = -1;  // -1: the framework's default
};

}  // namespace

// ---- TACEFieldDefs ----------------------------------------------------------------------------

TACEFieldDefs::TACEFieldDefs(TPersistent* Owner)
    : TCollection(TACEFieldDef::StaticClass(),
                  [](TCollection* c) -> TCollectionItem* { return new TACEFieldDef(c); }),
      FOwner(Owner) {}

TACEFieldDef* TACEFieldDefs::Add() {
  return static_cast<TACEFieldDef*>(TCollection::Add());
}

TACEFieldDef* TACEFieldDefs::Items(int Index) const {
  return static_cast<TACEFieldDef*>(TCollection::Items(Index));
}

int TACEFieldDefs::IndexOf(const std::string& FieldName) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->FieldName(), FieldName)) return i;
  return -1;
}

// ---- Field classes ----------------------------------------------------------------------------

TAdsStringField::TAdsStringField(TComponent* AOwner) : TStringField(AOwner) {}

TAdsBCDField::TAdsBCDField(TComponent* AOwner) : TBCDField(AOwner) {
  if (AOwner == nullptr || !AOwner->ComponentState().Contains(csReading)) SetCurrency(true);
}

TClass TAdsDataSet::GetFieldClass(TFieldType FieldType) {
  if (FieldType == ftString) return TAdsStringField::StaticClass();
  if (FieldType == ftBCD) return TAdsBCDField::StaticClass();
  return TDataSet::GetFieldClass(FieldType);
}

// ---- Owned helpers ----------------------------------------------------------------------------

TAdsIndexFiles::TAdsIndexFiles(TAdsDataSet* poOwner) : mpoOwner(poOwner) {
  if (poOwner == nullptr)
    RaiseComponentError(nullptr, "TAdsIndexFiles instances require a non-nil owner");
  SetSorted(true);
  SetDuplicates(dupIgnore);
}

void TAdsBlobCache::Empty() {
  Clear();
  mhAdsTable = -1;
  mulRecNum = 0;
  mbBlobModified = false;
  mulFieldNo = 0;
}

// ---- Reading field definitions ----------------------------------------------------------------

namespace {

// The data type, size and precision of an engine field; a code outside the mapping raises the
// unknown-field-type component error.
TFieldDefShape ShapeOf(TAdsDataSet* DataSet, uint16_t usType, uint32_t ulLength,
                       uint16_t usDecimals, uint16_t usAceTableType, bool bNumericsAsFloats) {
  const int length = static_cast<int>(ulLength);
  switch (usType) {
    case 1:
      return {ftBoolean, 0};
    case 2:
      if (usAceTableType == ADS_ADT && !bNumericsAsFloats) {
        TFieldType t = (usDecimals > 4 || length > 18) ? ftFMTBcd : ftBCD;
        return {t, usDecimals, usDecimals > 0 ? length - 2 : length - 1};
      }
      return {(usDecimals > 0 || length > 4) ? ftFloat : ftSmallint, 0};
    case 3:
    case 9:
      return {ftDate, 0};
    case 4:
    case 20:
    case 23:
      return {ftString, length};
    case 5:
    case 8:
      return {ftMemo, 1};
    case 6:
    case 7:
    case 51:
    case 52:
      return {ftBlob, 1};
    case 10:
      return {ftFloat, 0};
    case 11:
      return {ftInteger, 0};
    case 12:
      return {ftSmallint, 0};
    case 13:
      return {ftTime, 0};
    case 14:
    case 22:
      return {ftDateTime, 0};
    case 15:
      return {ftAutoInc, 0};
    case 16:
      return {ftBytes, length};
    case 17:
      return {ftCurrency, 0};
    case 18:
      return {ftBCD, 4, 20};
    case 21:
      return {ftBCD, 0, 20};
    case 24:
      return {ftVarBytes, length};
    case 26:
    case 27:
      // The engine gives the bytes of the field's area, two per character.
      return {ftWideString, length / 2};
    case 28:
      return {ftWideMemo, 1};
    default:
      RaiseComponentError(DataSet,
                          "Unknown field type (" + std::to_string(usType) + ") encountered.");
  }
}

}  // namespace

void TAdsDataSet::ReadFieldDef(int32_t h, uint16_t n) {
  const ADSHANDLE handle = static_cast<ADSHANDLE>(h);
  UNSIGNED16 type = 0;
  UNSIGNED32 length = 0;
  UNSIGNED16 decimals = 0;
  AceCheck(this, Ace.AdsGetFieldType(handle, ADSFIELD(n), &type));
  AceCheck(this, Ace.AdsGetFieldLength(handle, ADSFIELD(n), &length));
  if (type == 2) AceCheck(this, Ace.AdsGetFieldDecimals(handle, ADSFIELD(n), &decimals));
  const TFieldDefShape shape = ShapeOf(this, type, length, decimals, musAceTableType,
                                       mpoAdsTableOptions->AdsNumericsAsFloats());

  UNSIGNED8 nameBuffer[kFieldNameLength + 1] = {};
  UNSIGNED16 nameLength = kFieldNameLength;
  AceCheck(this, Ace.AdsGetFieldName(handle, n, nameBuffer, &nameLength));
  nameBuffer[kFieldNameLength] = 0;
  const std::string ansiName(reinterpret_cast<const char*>(nameBuffer));
  const std::string name = AnsiToUtf8(ansiName);

  FieldDefs()->Add(name, shape.DataType, shape.Size, false);
  if (shape.Precision >= 0) {
    try {
      TFieldDef* def = FieldDefs()->Find(name);
      def->SetPrecision(shape.Precision);
    } catch (const Exception&) {
      // a precision the definition refuses leaves the framework's default
    }
  }

  UNSIGNED16 nullable = 0;
  AceCheck(this, Ace.AdsIsNullable(handle, reinterpret_cast<const UNSIGNED8*>(ansiName.c_str()),
                                   &nullable));
  TACEFieldDef* item = FACEFieldDefs->Add();
  item->SetFieldName(name);
  item->SetFieldNumber(n);
  item->SetLength(length);
  item->SetFieldType(type);
  item->SetDecimals(type == 2 ? decimals : 0);
  item->SetNullable(nullable != 0);
  UNSIGNED32 offset = 0;
  AceCheck(this, Ace.AdsGetFieldOffset(handle, ADSFIELD(n), &offset));
  item->SetOffset(offset);
  UNSIGNED8 permissions = 0;
  AceCheck(this, Ace.AdsGetColumnPermissions(handle, n, &permissions));
  item->SetPermissions(permissions);
  item->SetModified(false);
}

void TAdsDataSet::ReadFieldDefs(int32_t h) {
  UNSIGNED16 count = 0;
  AceCheck(this, Ace.AdsGetNumFields(static_cast<ADSHANDLE>(h), &count));
  FieldDefs()->Clear();
  FACEFieldDefs->Clear();
  for (uint16_t n = 1; n <= count; ++n) ReadFieldDef(h, n);
}

void TAdsDataSet::InternalInitFieldDefs() {
  if (Active() || mlHandle != -1) {
    ReadFieldDefs(mlHandle);
    return;
  }
  // Closed: a temporary cursor, closed again whatever happens.
  const int32_t h = OpenEngineCursor();
  const int16_t savedType = static_cast<int16_t>(musAceTableType);
  Finally close([&] {
    Ace.AdsCloseTable(static_cast<ADSHANDLE>(h));
    musAceTableType = static_cast<uint16_t>(savedType);
  });
  ReadFieldDefs(h);
}

VCL_REGISTER_CLASS(TACEFieldDef, [](TClassBuilder<TACEFieldDef>& c) {
  using T = TACEFieldDef;
  c.Prop("FieldName", &T::FieldName, &T::SetFieldName);
  c.Prop("FieldNumber", &T::FieldNumber, &T::SetFieldNumber, 0);
  c.Prop("Offset", &T::Offset, &T::SetOffset, 0);
  c.Prop("Length", &T::Length, &T::SetLength, 0);
  c.Prop("FieldType", &T::FieldType, &T::SetFieldType, 0);
  c.Prop("Decimals", &T::Decimals, &T::SetDecimals, 0);
  c.Prop("Modified", &T::Modified, &T::SetModified, false);
  c.Prop("Permissions", &T::Permissions, &T::SetPermissions, 0);
  c.Prop("Nullable", &T::Nullable, &T::SetNullable, false);
})
VCL_REGISTER_CLASS(TACEFieldDefs, [](TClassBuilder<TACEFieldDefs>&) {})
VCL_REGISTER_CLASS(TAdsStringField, [](TClassBuilder<TAdsStringField>& c) {
  c.Prop("CaseInsensitive", &TAdsStringField::CaseInsensitive, [](TAdsStringField&, bool) {
   }).Stored(false);
})
VCL_REGISTER_CLASS(TAdsBCDField, [](TClassBuilder<TAdsBCDField>&) {})
VCL_REGISTER_CLASS(TAdsIndexFiles, [](TClassBuilder<TAdsIndexFiles>&) {})
VCL_REGISTER_CLASS(TAdsBlobCache, [](TClassBuilder<TAdsBlobCache>&) {})
