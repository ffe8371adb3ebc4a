// Field definitions, the field list and the field classes with their conversions.
#include <cmath>
#include <cstring>

#include "ui/db/DataSet.h"

namespace {

std::string FieldTypeName(TFieldType t) {
  const auto& names = FieldTypeNames();
  size_t i = static_cast<size_t>(t);
  return i < names.size() ? names[i] : "ftUnknown";
}

// Decimals requested by a display format such as "0.00" or "#,##0.000".
int FormatDecimals(const std::string& format) {
  size_t dot = format.find('.');
  if (dot == std::string::npos) return 0;
  int n = 0;
  for (size_t i = dot + 1; i < format.size() && (format[i] == '0' || format[i] == '#'); ++i) ++n;
  return n;
}

std::string BcdText(const TBcd& v) {
  // Shortest form: trailing fraction zeros dropped ("1,50" shows as "1,5").
  std::string s = BcdToStr(v, FormatSettings.DecimalSeparator);
  if (s.find(FormatSettings.DecimalSeparator) != std::string::npos) {
    while (!s.empty() && s.back() == '0') s.pop_back();
    if (!s.empty() && s.back() == FormatSettings.DecimalSeparator) s.pop_back();
  }
  return s;
}

}  // namespace

void DatabaseError(const std::string& Msg, TComponent* Component) {
  if (Component && !Component->Name().empty()) throw EDatabaseError(Component->Name() + ": " + Msg);
  throw EDatabaseError(Msg);
}

const std::vector<std::string>& FieldTypeNames() {
  static const std::vector<std::string> names = {
      "ftUnknown",      "ftString",      "ftSmallint", "ftInteger",       "ftWord",
      "ftBoolean",      "ftFloat",       "ftCurrency", "ftBCD",           "ftDate",
      "ftTime",         "ftDateTime",    "ftBytes",    "ftVarBytes",      "ftAutoInc",
      "ftBlob",         "ftMemo",        "ftGraphic",  "ftFmtMemo",       "ftParadoxOle",
      "ftDBaseOle",     "ftTypedBinary", "ftCursor",   "ftFixedChar",     "ftWideString",
      "ftLargeint",     "ftADT",         "ftArray",    "ftReference",     "ftDataSet",
      "ftOraBlob",      "ftOraClob",     "ftVariant",  "ftInterface",     "ftIDispatch",
      "ftGuid",         "ftTimeStamp",   "ftFMTBcd",   "ftFixedWideChar", "ftWideMemo",
      "ftOraTimeStamp", "ftOraInterval"};
  return names;
}

bool IsBlobType(TFieldType Type) {
  switch (Type) {
    case ftBlob:
    case ftMemo:
    case ftGraphic:
    case ftFmtMemo:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftTypedBinary:
    case ftOraBlob:
    case ftOraClob:
    case ftWideMemo:
      return true;
    default:
      return false;
  }
}

std::vector<std::string> SplitFieldNames(const std::string& FieldNames) {
  std::vector<std::string> out;
  size_t start = 0;
  while (start <= FieldNames.size()) {
    size_t end = FieldNames.find(';', start);
    if (end == std::string::npos) end = FieldNames.size();
    std::string name = Trim(FieldNames.substr(start, end - start));
    if (!name.empty()) out.push_back(name);
    start = end + 1;
  }
  return out;
}

TClass DefaultFieldClass(TFieldType Type) {
  switch (Type) {
    case ftString:
    case ftFixedChar:
    case ftGuid:
      return TStringField::StaticClass();
    case ftWideString:
    case ftFixedWideChar:
      return TWideStringField::StaticClass();
    case ftSmallint:
      return TSmallintField::StaticClass();
    case ftInteger:
      return TIntegerField::StaticClass();
    case ftWord:
      return TWordField::StaticClass();
    case ftAutoInc:
      return TAutoIncField::StaticClass();
    case ftLargeint:
      return TLargeintField::StaticClass();
    case ftBoolean:
      return TBooleanField::StaticClass();
    case ftFloat:
      return TFloatField::StaticClass();
    case ftCurrency:
      return TCurrencyField::StaticClass();
    case ftBCD:
      return TBCDField::StaticClass();
    case ftFMTBcd:
      return TFMTBCDField::StaticClass();
    case ftDate:
      return TDateField::StaticClass();
    case ftTime:
      return TTimeField::StaticClass();
    case ftDateTime:
    case ftTimeStamp:
      return TDateTimeField::StaticClass();
    case ftBytes:
      return TBytesField::StaticClass();
    case ftVarBytes:
      return TVarBytesField::StaticClass();
    case ftBlob:
    case ftTypedBinary:
    case ftParadoxOle:
    case ftDBaseOle:
    case ftOraBlob:
      return TBlobField::StaticClass();
    case ftMemo:
    case ftFmtMemo:
    case ftOraClob:
      return TMemoField::StaticClass();
    case ftWideMemo:
      return TWideMemoField::StaticClass();
    case ftGraphic:
      return TGraphicField::StaticClass();
    default:
      return nullptr;
  }
}

// ---------------------------------------------------------------------------------------------
// TFieldDef / TFieldDefs

TFieldDef::TFieldDef(TCollection* Collection) : TCollectionItem(Collection) {}

void TFieldDef::SetName(const std::string& Value) {
  FName = Value;
}
void TFieldDef::SetDataType(TFieldType Value) {
  FDataType = Value;
}
void TFieldDef::SetSize(int Value) {
  FSize = Value;
}
void TFieldDef::SetPrecision(int Value) {
  FPrecision = Value;
}
void TFieldDef::SetRequired(bool Value) {
  if (Value)
    FAttributes.Include(faRequired);
  else
    FAttributes.Exclude(faRequired);
}
void TFieldDef::SetAttributes(TFieldAttributes Value) {
  FAttributes = Value;
}
int TFieldDef::FieldNo() const {
  return FFieldNo > 0 ? FFieldNo : Index() + 1;
}

TFieldDefs* TFieldDef::FieldDefs() const {
  return dynamic_cast<TFieldDefs*>(Collection());
}

TClass TFieldDef::FieldClass() const {
  TFieldDefs* defs = FieldDefs();
  if (defs && defs->DataSet()) return defs->DataSet()->GetFieldClass(FDataType);
  return DefaultFieldClass(FDataType);
}

TField* TFieldDef::CreateField(TComponent* Owner) {
  TClass cls = FieldClass();
  if (!cls) DatabaseError("Feldtyp " + FieldTypeName(FDataType) + " wird nicht unterstützt");
  TComponent* c = cls->CreateComponent(Owner);
  TField* f = dynamic_cast<TField*>(c);
  if (!f) {
    delete c;
    DatabaseError("Feldklasse " + cls->Name() + " ist kein Feld");
  }
  try {
    f->SetFieldName(FName);
    f->SetDataType(FDataType);
    if (!IsBlobType(FDataType) || FSize > 0) f->SetSize(FSize);
    f->SetRequired(Required());
    if (FAttributes.Contains(faReadonly)) f->SetReadOnly(true);
    if (FAttributes.Contains(faHiddenCol)) f->SetVisible(false);
    if (auto* bcd = dynamic_cast<TBCDField*>(f)) bcd->SetPrecision(FPrecision);
    if (auto* flt = dynamic_cast<TFloatField*>(f); flt && FPrecision > 0)
      flt->SetPrecision(FPrecision);
    if (FInternalCalcField) f->SetFieldKind(fkInternalCalc);
    TFieldDefs* defs = FieldDefs();
    if (defs && defs->DataSet()) f->SetDataSet(defs->DataSet());
  } catch (...) {
    delete f;
    throw;
  }
  return f;
}

void TFieldDef::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TFieldDef*>(Source)) {
    FName = s->FName;
    FDataType = s->FDataType;
    FSize = s->FSize;
    FPrecision = s->FPrecision;
    FAttributes = s->FAttributes;
    FInternalCalcField = s->FInternalCalcField;
    return;
  }
  TCollectionItem::Assign(Source);
}

VCL_REGISTER_CLASS(TFieldDef, [](TClassBuilder<TFieldDef>& c) {
  c.Prop("Name", &TFieldDef::Name, &TFieldDef::SetName);
  c.Enum("DataType", &TFieldDef::DataType, &TFieldDef::SetDataType, FieldTypeNames(), ftUnknown);
  c.Prop("Precision", &TFieldDef::Precision, &TFieldDef::SetPrecision, 0);
  c.Prop("Size", &TFieldDef::Size, &TFieldDef::SetSize, 0);
  c.Set("Attributes", &TFieldDef::Attributes, &TFieldDef::SetAttributes,
        {"faHiddenCol", "faReadonly", "faRequired", "faLink", "faUnNamed", "faFixed"});
})

TFieldDefs::TFieldDefs(TDataSet* DataSet)
    : TOwnedCollection(DataSet, TFieldDef::StaticClass()), FDataSet(DataSet) {}

TFieldDef* TFieldDefs::Items(int Index) const {
  return static_cast<TFieldDef*>(TCollection::Items(Index));
}

TFieldDef* TFieldDefs::AddFieldDef() {
  return static_cast<TFieldDef*>(TCollection::Add());
}

TFieldDef* TFieldDefs::Add(const std::string& Name, TFieldType DataType, int Size, bool Required) {
  if (Name.empty()) DatabaseError("Feldname fehlt", FDataSet);
  if (IndexOf(Name) >= 0) DatabaseError("Doppelter Feldname '" + Name + "'", FDataSet);
  TFieldDef* d = AddFieldDef();
  d->SetName(Name);
  d->SetDataType(DataType);
  d->SetSize(Size);
  d->SetRequired(Required);
  return d;
}

int TFieldDefs::IndexOf(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), Name)) return i;
  return -1;
}

TFieldDef* TFieldDefs::Find(const std::string& Name) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseError("Feld '" + Name + "' nicht gefunden", FDataSet);
  return Items(i);
}

void TFieldDefs::Update() {
  ++FInternalUpdate;
  Finally done([&] { --FInternalUpdate; });
  if (FDataSet) FDataSet->InitFieldDefs();
  FUpdated = true;
}

void TFieldDefs::Notify(TCollectionItem* Item, TCollectionNotification Action) {
  TOwnedCollection::Notify(Item, Action);
  FUpdated = false;
  if (FDataSet && FInternalUpdate == 0 && !FDataSet->ComponentState().Contains(csDestroying))
    FDataSet->DefChanged(this);
}

VCL_REGISTER_CLASS(TFieldDefs, [](TClassBuilder<TFieldDefs>&) {})

// ---------------------------------------------------------------------------------------------
// TFields

TField* TFields::Fields(int Index) const {
  if (Index < 0 || Index >= Count())
    throw EListError("Listenindex überschreitet das Maximum (" + std::to_string(Index) + ")");
  return FList[static_cast<size_t>(Index)];
}

TField* TFields::FindField(const std::string& FieldName) const {
  for (TField* f : FList)
    if (AnsiSameText(f->FieldName(), FieldName)) return f;
  return nullptr;
}

TField* TFields::FieldByName(const std::string& FieldName) const {
  TField* f = FindField(FieldName);
  if (!f) DatabaseError("Feld '" + FieldName + "' nicht gefunden", FDataSet);
  return f;
}

TField* TFields::FieldByNumber(int FieldNo) const {
  for (TField* f : FList)
    if (f->FieldNo() == FieldNo) return f;
  return nullptr;
}

int TFields::IndexOf(const TField* Field) const {
  for (size_t i = 0; i < FList.size(); ++i)
    if (FList[i] == Field) return static_cast<int>(i);
  return -1;
}

void TFields::Add(TField* Field) {
  FList.push_back(Field);
}

void TFields::Remove(TField* Field) {
  int i = IndexOf(Field);
  if (i >= 0) FList.erase(FList.begin() + i);
}

void TFields::Move(int CurIndex, int NewIndex) {
  TField* f = Fields(CurIndex);
  NewIndex = std::clamp(NewIndex, 0, Count() - 1);
  FList.erase(FList.begin() + CurIndex);
  FList.insert(FList.begin() + NewIndex, f);
}

void TFields::Clear() {
  while (!FList.empty()) {
    TField* f = FList.back();
    FList.pop_back();
    f->FDataSet = nullptr;
    delete f;
  }
}

// ---------------------------------------------------------------------------------------------
// TField

TField::TField(TComponent* AOwner) : TComponent(AOwner) {}

TField::~TField() {
  if (FDataSet) {
    FDataSet->FFields.Remove(this);
    FDataSet = nullptr;
  }
}

void TField::CheckInactive() {
  if (FDataSet) FDataSet->CheckInactive();
}

void TField::SetDataSet(TDataSet* Value) {
  if (Value == FDataSet) return;
  if (FDataSet) FDataSet->CheckInactive();
  if (Value) {
    Value->CheckInactive();
    if (!FFieldName.empty() && Value->FindField(FFieldName))
      DatabaseError("Doppelter Feldname '" + FFieldName + "'", Value);
  }
  if (FDataSet) FDataSet->FFields.Remove(this);
  FDataSet = Value;
  if (FDataSet) FDataSet->FFields.Add(this);
}

void TField::SetFieldName(const std::string& Value) {
  if (Value == FFieldName) return;
  CheckInactive();
  if (FDataSet && !Value.empty()) {
    TField* other = FDataSet->FindField(Value);
    if (other && other != this) DatabaseError("Doppelter Feldname '" + Value + "'", FDataSet);
  }
  FFieldName = Value;
}

void TField::SetFieldKind(TFieldKind Value) {
  if (Value == FFieldKind) return;
  CheckInactive();
  FFieldKind = Value;
}

void TField::SetSize(int Value) {
  CheckInactive();
  FSize = Value;
}

void TField::SetVisible(bool Value) {
  if (FVisible == Value) return;
  FVisible = Value;
  if (FDataSet) FDataSet->DataEvent(deLayoutChange, 0);
}

int TField::Index() const {
  return FDataSet ? FDataSet->FFields.IndexOf(this) : -1;
}

void TField::SetIndex(int Value) {
  if (!FDataSet) return;
  FDataSet->FFields.Move(Index(), Value);
  FDataSet->DataEvent(deLayoutChange, 0);
}

void TField::SetDisplayLabel(const std::string& Value) {
  FDisplayLabel = Value == FFieldName ? std::string() : Value;
  if (FDataSet) FDataSet->DataEvent(deLayoutChange, 0);
}

int TField::DisplayWidth() const {
  if (FDisplayWidth > 0) return FDisplayWidth;
  int w = FSize > 0 ? FSize : 10;
  return std::max<int>(w, static_cast<int>(DisplayLabel().size()));
}

void TField::SetLookupDataSet(TDataSet* Value) {
  CheckInactive();
  if (Value && Value == FDataSet) DatabaseError("Zirkuläre Datenverbindungen sind nicht erlaubt");
  if (FLookupDataSet && FLookupDataSet != Value) FLookupDataSet->RemoveFreeNotification(this);
  FLookupDataSet = Value;
  if (Value) Value->FreeNotification(this);
}

int TField::DataSize() const {
  return 0;
}

bool TField::GetData(void* Buffer) {
  if (!FDataSet) DatabaseError("Feld '" + DisplayName() + "' hat keine Datenmenge");
  if (FValidating) {
    if (!FValueBuffer) return false;
    if (Buffer) std::memcpy(Buffer, FValueBuffer, static_cast<size_t>(DataSize()));
    return true;
  }
  return FDataSet->GetFieldData(this, Buffer);
}

void TField::SetData(const void* Buffer) {
  if (!FDataSet) DatabaseError("Feld '" + DisplayName() + "' hat keine Datenmenge");
  FDataSet->SetFieldData(this, Buffer);
}

bool TField::IsNull() {
  return !GetData(nullptr);
}

bool TField::GetNative(std::vector<uint8_t>& Buffer) {
  Buffer.assign(static_cast<size_t>(std::max(DataSize(), 1)), 0);
  return GetData(Buffer.data());
}

void TField::Validate(const void* Buffer) {
  if (!OnValidate) return;
  const void* savedBuffer = FValueBuffer;
  bool savedValidating = FValidating;
  FValueBuffer = Buffer;
  FValidating = true;
  Finally restore([&] {
    FValueBuffer = savedBuffer;
    FValidating = savedValidating;
  });
  OnValidate(this);
}

void TField::Change() {
  if (OnChange) OnChange(this);
}

bool TField::CanModify() {
  if (FReadOnly || !FDataSet) return false;
  if (FFieldKind == fkCalculated || FFieldKind == fkLookup)
    return FDataSet->State() == dsCalcFields || FDataSet->State() == dsSetKey ||
           FDataSet->State() == dsFilter;
  return FDataSet->CanModify();
}

bool TField::IsIndexField() {
  return FDataSet && FFieldKind == fkData && FDataSet->GetIsIndexField(this);
}

bool TField::Modified() const {
  return FDataSet && FDataSet->Modified();
}

void TField::AccessError(const std::string& TypeName) {
  DatabaseError("Feld '" + DisplayName() + "' kann nicht als Typ " + TypeName +
                " verwendet werden");
}

void TField::ConvertError(const std::string& Text, const std::string& Kind) {
  throw EConvertError("'" + Text + "' ist kein gültiger " + Kind);
}

void TField::RangeError(const std::string& Value, const std::string& Min, const std::string& Max) {
  throw ERangeError(Value + " ist kein gültiger Wert für das Feld '" + DisplayName() +
                    "'. Der erlaubte Bereich ist " + Min + " bis " + Max);
}

std::string TField::AsString() {
  return GetAsString();
}
void TField::SetAsString(const std::string& Value) {
  SetAsStringValue(Value);
}
int32_t TField::AsInteger() {
  return GetAsInteger();
}
void TField::SetAsInteger(int32_t Value) {
  SetAsIntegerValue(Value);
}
int64_t TField::AsLargeInt() {
  return GetAsLargeInt();
}
void TField::SetAsLargeInt(int64_t Value) {
  SetAsLargeIntValue(Value);
}
double TField::AsFloat() {
  return GetAsFloat();
}
void TField::SetAsFloat(double Value) {
  SetAsFloatValue(Value);
}
Currency TField::AsCurrency() {
  return GetAsCurrency();
}
void TField::SetAsCurrency(Currency Value) {
  SetAsCurrencyValue(Value);
}
TBcd TField::AsBCD() {
  return GetAsBCD();
}
void TField::SetAsBCD(const TBcd& Value) {
  SetAsBCDValue(Value);
}
TDateTime TField::AsDateTime() {
  return GetAsDateTime();
}
void TField::SetAsDateTime(TDateTime Value) {
  SetAsDateTimeValue(Value);
}
bool TField::AsBoolean() {
  return GetAsBoolean();
}
void TField::SetAsBoolean(bool Value) {
  SetAsBooleanValue(Value);
}
Variant TField::AsVariant() {
  return GetAsVariant();
}

void TField::SetAsVariant(const Variant& Value) {
  if (VarIsNullOrEmpty(Value))
    Clear();
  else
    SetVarValue(Value);
}

std::string TField::DisplayText() {
  std::string text;
  if (OnGetText)
    OnGetText(this, text, true);
  else
    text = GetText(true);
  return text;
}

std::string TField::Text() {
  std::string text;
  if (OnGetText)
    OnGetText(this, text, false);
  else
    text = GetText(false);
  return text;
}

void TField::SetText(const std::string& Value) {
  if (OnSetText)
    OnSetText(this, Value);
  else
    SetAsString(Value);
}

void TField::Assign(TPersistent* Source) {
  if (!Source) {
    Clear();
    return;
  }
  if (auto* f = dynamic_cast<TField*>(Source)) {
    SetAsVariant(f->AsVariant());
    return;
  }
  TComponent::Assign(Source);
}

TComponent* TField::GetParentComponent() {
  return FDataSet;
}

void TField::FocusControl() {
  if (!FDataSet || !FDataSet->Active()) return;
  TField* self = this;
  FDataSet->DataEvent(deFocusControl, reinterpret_cast<intptr_t>(&self));
}

void TField::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent == FLookupDataSet) FLookupDataSet = nullptr;
}

void TField::SetParentComponent(TComponent* Value) {
  SetDataSet(dynamic_cast<TDataSet*>(Value));
}

std::string TField::GetAsString() {
  return GetText(false);
}
void TField::SetAsStringValue(const std::string&) {
  AccessError("String");
}
int32_t TField::GetAsInteger() {
  AccessError("Integer");
}
void TField::SetAsIntegerValue(int32_t) {
  AccessError("Integer");
}
int64_t TField::GetAsLargeInt() {
  AccessError("LargeInt");
}
void TField::SetAsLargeIntValue(int64_t) {
  AccessError("LargeInt");
}
double TField::GetAsFloat() {
  AccessError("Float");
}
void TField::SetAsFloatValue(double) {
  AccessError("Float");
}
Currency TField::GetAsCurrency() {
  AccessError("Currency");
}
void TField::SetAsCurrencyValue(Currency) {
  AccessError("Currency");
}
TBcd TField::GetAsBCD() {
  AccessError("BCD");
}
void TField::SetAsBCDValue(const TBcd&) {
  AccessError("BCD");
}
TDateTime TField::GetAsDateTime() {
  AccessError("DateTime");
}
void TField::SetAsDateTimeValue(TDateTime) {
  AccessError("DateTime");
}
bool TField::GetAsBoolean() {
  AccessError("Boolean");
}
void TField::SetAsBooleanValue(bool) {
  AccessError("Boolean");
}
Variant TField::GetAsVariant() {
  AccessError("Variant");
}
void TField::SetVarValue(const Variant&) {
  AccessError("Variant");
}
std::string TField::GetText(bool) {
  AccessError("String");
}
void TField::Bind(bool) {}

// ---------------------------------------------------------------------------------------------
// TStringField / TWideStringField

TStringField::TStringField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftString);
  SetSize(20);
}

bool TStringField::GetValue(std::string& Value) {
  // A short field (most are) is read into the stack, a long one into the heap.
  const size_t size = static_cast<size_t>(std::max(DataSize(), 1));
  uint8_t small[256];
  std::vector<uint8_t> large;
  uint8_t* buf = small;
  if (size > sizeof small) {
    large.resize(size);
    buf = large.data();
  }
  std::memset(buf, 0, size);
  if (!GetData(buf)) return false;
  buf[size - 1] = 0;
  Value = AnsiToUtf8(std::string(reinterpret_cast<const char*>(buf)));
  return true;
}

std::string TStringField::GetAsString() {
  std::string s;
  GetValue(s);  // a null field leaves it empty
  return s;
}

void TStringField::SetAsStringValue(const std::string& Value) {
  std::string ansi = Utf8ToAnsi(Value);
  std::vector<char> buf(static_cast<size_t>(DataSize()), 0);
  std::memcpy(buf.data(), ansi.data(), std::min(ansi.size(), buf.size() - 1));
  SetData(buf.data());
}

int32_t TStringField::GetAsInteger() {
  std::string s = Trim(GetAsString());
  int32_t v;
  if (!TryStrToInt(s, v)) ConvertError(s, "Integerwert");
  return v;
}
void TStringField::SetAsIntegerValue(int32_t Value) {
  SetAsStringValue(std::to_string(Value));
}
int64_t TStringField::GetAsLargeInt() {
  std::string s = Trim(GetAsString());
  int64_t v;
  if (!TryStrToInt64(s, v)) ConvertError(s, "Integerwert");
  return v;
}
void TStringField::SetAsLargeIntValue(int64_t Value) {
  SetAsStringValue(std::to_string(Value));
}
double TStringField::GetAsFloat() {
  std::string s = Trim(GetAsString());
  double v;
  if (!TryStrToFloat(s, v, FormatSettings.DecimalSeparator)) ConvertError(s, "Gleitkommawert");
  return v;
}
void TStringField::SetAsFloatValue(double Value) {
  SetAsStringValue(FloatToStr(Value));
}
TBcd TStringField::GetAsBCD() {
  std::string s = Trim(GetAsString());
  TBcd v;
  if (!TryStrToBcd(s, v)) ConvertError(s, "BCD-Wert");
  return v;
}
void TStringField::SetAsBCDValue(const TBcd& Value) {
  SetAsStringValue(BcdToStr(Value));
}
Currency TStringField::GetAsCurrency() {
  Currency c;
  std::string s = Trim(GetAsString());
  TBcd v;
  if (!TryStrToBcd(s, v) || !BCDToCurr(v, c)) ConvertError(s, "Währungswert");
  return c;
}
void TStringField::SetAsCurrencyValue(Currency Value) {
  SetAsStringValue(CurrToStr(Value.ToDouble()));
}
TDateTime TStringField::GetAsDateTime() {
  std::string s = Trim(GetAsString());
  TDateTime v;
  if (!TryStrToDateTime(s, v)) throw EConvertError("'" + s + "' ist kein gültiges Datum und Zeit");
  return v;
}
void TStringField::SetAsDateTimeValue(TDateTime Value) {
  SetAsStringValue(DateTimeToStr(Value));
}
bool TStringField::GetAsBoolean() {
  std::string s = UpperCase(Trim(GetAsString()));
  if (s.empty()) return false;
  char c = s[0];
  if (c == 'T' || c == 'Y' || c == 'J' || c == 'W' || c == '1') return true;
  if (c == 'F' || c == 'N' || c == '0') return false;
  throw EConvertError("'" + s + "' ist kein gültiger Boolescher Wert");
}
void TStringField::SetAsBooleanValue(bool Value) {
  SetAsStringValue(Value ? "T" : "F");
}
Variant TStringField::GetAsVariant() {
  std::string s;
  if (!GetValue(s)) return Null();
  return Variant(s);
}
void TStringField::SetVarValue(const Variant& Value) {
  SetAsStringValue(Value.AsString());
}

TWideStringField::TWideStringField(TComponent* AOwner) : TStringField(AOwner) {
  SetDataType(ftWideString);
}

std::u16string TWideStringField::AsWideString() {
  std::vector<uint8_t> buf;
  if (!GetNative(buf)) return std::u16string();
  std::u16string out;
  for (size_t i = 0; i + 1 < buf.size(); i += 2) {
    char16_t c = static_cast<char16_t>(buf[i] | (buf[i + 1] << 8));
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

void TWideStringField::SetAsWideString(const std::u16string& Value) {
  std::vector<uint8_t> buf(static_cast<size_t>(DataSize()), 0);
  size_t n = std::min(Value.size(), static_cast<size_t>(Size()));
  for (size_t i = 0; i < n; ++i) {
    buf[2 * i] = static_cast<uint8_t>(Value[i] & 0xFF);
    buf[2 * i + 1] = static_cast<uint8_t>(Value[i] >> 8);
  }
  SetData(buf.data());
}

std::string TWideStringField::GetAsString() {
  return Utf16ToUtf8(AsWideString());
}
void TWideStringField::SetAsStringValue(const std::string& Value) {
  SetAsWideString(Utf8ToUtf16(Value));
}

// ---------------------------------------------------------------------------------------------
// Numbers

TNumericField::TNumericField(TComponent* AOwner) : TField(AOwner) {}

std::string TNumericField::GetText(bool DisplayText) {
  if (IsNull()) return std::string();
  const std::string& fmt = DisplayText ? FDisplayFormat : FEditFormat;
  if (!fmt.empty()) return FloatToStrF(AsFloat(), ffFixed, 18, FormatDecimals(fmt));
  return GetAsString();
}

TIntegerField::TIntegerField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftInteger);
}

int TIntegerField::DataSize() const {
  switch (DataType()) {
    case ftSmallint:
    case ftWord:
      return 2;
    case ftLargeint:
      return 8;
    default:
      return 4;
  }
}

int64_t TIntegerField::TypeMin() const {
  switch (DataType()) {
    case ftSmallint:
      return INT16_MIN;
    case ftWord:
      return 0;
    case ftLargeint:
      return INT64_MIN;
    default:
      return INT32_MIN;
  }
}

int64_t TIntegerField::TypeMax() const {
  switch (DataType()) {
    case ftSmallint:
      return INT16_MAX;
    case ftWord:
      return UINT16_MAX;
    case ftLargeint:
      return INT64_MAX;
    default:
      return INT32_MAX;
  }
}

bool TIntegerField::ReadInt(int64_t& Value) {
  uint8_t buf[8] = {};
  if (!GetData(buf)) return false;
  switch (DataType()) {
    case ftSmallint: {
      int16_t v;
      std::memcpy(&v, buf, 2);
      Value = v;
      break;
    }
    case ftWord: {
      uint16_t v;
      std::memcpy(&v, buf, 2);
      Value = v;
      break;
    }
    case ftLargeint: {
      int64_t v;
      std::memcpy(&v, buf, 8);
      Value = v;
      break;
    }
    default: {
      int32_t v;
      std::memcpy(&v, buf, 4);
      Value = v;
    }
  }
  return true;
}

void TIntegerField::WriteInt(int64_t Value) {
  int64_t lo = TypeMin(), hi = TypeMax();
  if (FMinValue != 0 || FMaxValue != 0) {
    lo = std::max(lo, FMinValue);
    hi = std::min(hi, FMaxValue);
  }
  if (Value < lo || Value > hi)
    RangeError(std::to_string(Value), std::to_string(lo), std::to_string(hi));
  uint8_t buf[8] = {};
  switch (DataType()) {
    case ftSmallint: {
      int16_t v = static_cast<int16_t>(Value);
      std::memcpy(buf, &v, 2);
      break;
    }
    case ftWord: {
      uint16_t v = static_cast<uint16_t>(Value);
      std::memcpy(buf, &v, 2);
      break;
    }
    case ftLargeint:
      std::memcpy(buf, &Value, 8);
      break;
    default: {
      int32_t v = static_cast<int32_t>(Value);
      std::memcpy(buf, &v, 4);
    }
  }
  SetData(buf);
}

std::string TIntegerField::GetAsString() {
  int64_t v;
  return ReadInt(v) ? std::to_string(v) : std::string();
}

void TIntegerField::SetAsStringValue(const std::string& Value) {
  std::string s = Trim(Value);
  if (s.empty()) {
    Clear();
    return;
  }
  int64_t v;
  if (!TryStrToInt64(s, v)) ConvertError(s, "Integerwert");
  WriteInt(v);
}

int32_t TIntegerField::GetAsInteger() {
  int64_t v;
  if (!ReadInt(v)) return 0;
  if (v < INT32_MIN || v > INT32_MAX)
    RangeError(std::to_string(v), std::to_string(INT32_MIN), std::to_string(INT32_MAX));
  return static_cast<int32_t>(v);
}
void TIntegerField::SetAsIntegerValue(int32_t Value) {
  WriteInt(Value);
}
int64_t TIntegerField::GetAsLargeInt() {
  int64_t v;
  return ReadInt(v) ? v : 0;
}
void TIntegerField::SetAsLargeIntValue(int64_t Value) {
  WriteInt(Value);
}
double TIntegerField::GetAsFloat() {
  return static_cast<double>(GetAsLargeInt());
}
void TIntegerField::SetAsFloatValue(double Value) {
  double r = std::nearbyint(Value);
  if (!std::isfinite(r) || r < -9.2e18 || r > 9.2e18)
    RangeError(FloatToStr(Value), std::to_string(TypeMin()), std::to_string(TypeMax()));
  WriteInt(static_cast<int64_t>(r));
}
Currency TIntegerField::GetAsCurrency() {
  return Currency::FromScaled(GetAsLargeInt() * 10000);
}
void TIntegerField::SetAsCurrencyValue(Currency Value) {
  SetAsFloatValue(Value.ToDouble());
}
TBcd TIntegerField::GetAsBCD() {
  return IntegerToBcd(GetAsLargeInt());
}
void TIntegerField::SetAsBCDValue(const TBcd& Value) {
  WriteInt(BcdToInt64(Value, false));
}
bool TIntegerField::GetAsBoolean() {
  return GetAsLargeInt() != 0;
}
void TIntegerField::SetAsBooleanValue(bool Value) {
  WriteInt(Value ? 1 : 0);
}
Variant TIntegerField::GetAsVariant() {
  int64_t v;
  if (!ReadInt(v)) return Null();
  if (DataType() == ftLargeint) return Variant(v);
  return Variant(static_cast<int>(v));
}
void TIntegerField::SetVarValue(const Variant& Value) {
  if (Value.VarType() == varString)
    SetAsStringValue(Value.AsString());
  else
    WriteInt(Value.AsInt64());
}

TSmallintField::TSmallintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftSmallint);
}
TWordField::TWordField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftWord);
}
TAutoIncField::TAutoIncField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftAutoInc);
}
TLargeintField::TLargeintField(TComponent* AOwner) : TIntegerField(AOwner) {
  SetDataType(ftLargeint);
}

TFloatField::TFloatField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftFloat);
}

double TFloatField::GetAsFloat() {
  double v = 0;
  return GetData(&v) ? v : 0.0;
}

void TFloatField::SetAsFloatValue(double Value) {
  if ((FMinValue != 0 || FMaxValue != 0) && (Value < FMinValue || Value > FMaxValue))
    RangeError(FloatToStr(Value), FloatToStr(FMinValue), FloatToStr(FMaxValue));
  SetData(&Value);
}

std::string TFloatField::GetAsString() {
  double v = 0;
  if (!GetData(&v)) return std::string();
  return FloatToStrF(v, ffGeneral, FPrecision, 0);
}

void TFloatField::SetAsStringValue(const std::string& Value) {
  std::string s = Trim(Value);
  if (s.empty()) {
    Clear();
    return;
  }
  double v;
  if (!TryStrToFloat(s, v, FormatSettings.DecimalSeparator)) ConvertError(s, "Gleitkommawert");
  SetAsFloatValue(v);
}

int32_t TFloatField::GetAsInteger() {
  double r = std::nearbyint(GetAsFloat());
  if (r < INT32_MIN || r > INT32_MAX)
    RangeError(FloatToStr(r), std::to_string(INT32_MIN), std::to_string(INT32_MAX));
  return static_cast<int32_t>(r);
}
void TFloatField::SetAsIntegerValue(int32_t Value) {
  SetAsFloatValue(Value);
}
int64_t TFloatField::GetAsLargeInt() {
  double r = std::nearbyint(GetAsFloat());
  if (!(r >= -9.2233720368547758e18 && r < 9.2233720368547758e18))
    RangeError(FloatToStr(r), std::to_string(INT64_MIN), std::to_string(INT64_MAX));
  return static_cast<int64_t>(r);
}
void TFloatField::SetAsLargeIntValue(int64_t Value) {
  SetAsFloatValue(static_cast<double>(Value));
}
::Currency TFloatField::GetAsCurrency() {
  return ::Currency::FromDouble(GetAsFloat());
}
void TFloatField::SetAsCurrencyValue(::Currency Value) {
  SetAsFloatValue(Value.ToDouble());
}
TBcd TFloatField::GetAsBCD() {
  return DoubleToBcd(GetAsFloat());
}
void TFloatField::SetAsBCDValue(const TBcd& Value) {
  SetAsFloatValue(BcdToDouble(Value));
}
Variant TFloatField::GetAsVariant() {
  double v = 0;
  if (!GetData(&v)) return Null();
  return Variant(v);
}
void TFloatField::SetVarValue(const Variant& Value) {
  if (Value.VarType() == varString)
    SetAsStringValue(Value.AsString());
  else
    SetAsFloatValue(Value.AsDouble());
}

TCurrencyField::TCurrencyField(TComponent* AOwner) : TFloatField(AOwner) {
  SetDataType(ftCurrency);
  SetCurrency(true);
}

TBCDField::TBCDField(TComponent* AOwner) : TNumericField(AOwner) {
  SetDataType(ftBCD);
  SetSize(4);
}

TBcd TBCDField::GetAsBCD() {
  TBcd v;
  return GetData(&v) ? v : IntegerToBcd(0);
}

void TBCDField::SetAsBCDValue(const TBcd& Value) {
  TBcd v = Value;
  if (FPrecision > 0) {
    int scale = std::min(Size(), FPrecision);
    if (!NormalizeBcd(Value, v, FPrecision, scale))
      RangeError(BcdToStr(Value), "-" + std::string(static_cast<size_t>(FPrecision - scale), '9'),
                 std::string(static_cast<size_t>(FPrecision - scale), '9'));
  }
  SetData(&v);
}

std::string TBCDField::GetAsString() {
  TBcd v;
  if (!GetData(&v)) return std::string();
  return BcdText(v);
}

void TBCDField::SetAsStringValue(const std::string& Value) {
  std::string s = Trim(Value);
  if (s.empty()) {
    Clear();
    return;
  }
  TBcd v;
  if (!TryStrToBcd(s, v)) ConvertError(s, "BCD-Wert");
  SetAsBCDValue(v);
}

int32_t TBCDField::GetAsInteger() {
  int64_t v = GetAsLargeInt();
  if (v < INT32_MIN || v > INT32_MAX)
    RangeError(std::to_string(v), std::to_string(INT32_MIN), std::to_string(INT32_MAX));
  return static_cast<int32_t>(v);
}
void TBCDField::SetAsIntegerValue(int32_t Value) {
  SetAsBCDValue(IntegerToBcd(Value));
}
int64_t TBCDField::GetAsLargeInt() {
  return BcdToInt64(GetAsBCD(), false);
}
void TBCDField::SetAsLargeIntValue(int64_t Value) {
  SetAsBCDValue(IntegerToBcd(Value));
}
double TBCDField::GetAsFloat() {
  return BcdToDouble(GetAsBCD());
}
void TBCDField::SetAsFloatValue(double Value) {
  SetAsBCDValue(DoubleToBcd(Value));
}
::Currency TBCDField::GetAsCurrency() {
  return BcdToCurrency(GetAsBCD());
}
void TBCDField::SetAsCurrencyValue(::Currency Value) {
  TBcd b;
  CurrToBCD(Value, b);
  SetAsBCDValue(b);
}
Variant TBCDField::GetAsVariant() {
  TBcd v;
  if (!GetData(&v)) return Null();
  if (FCurrency) {
    ::Currency c;
    if (BCDToCurr(v, c)) return Variant(c);
  }
  return Variant(BcdToDouble(v));
}
void TBCDField::SetVarValue(const Variant& Value) {
  SetAsBCDValue(Value.AsBcd());
}

TFMTBCDField::TFMTBCDField(TComponent* AOwner) : TBCDField(AOwner) {
  SetDataType(ftFMTBcd);
  SetSize(8);
}

// ---------------------------------------------------------------------------------------------
// TBooleanField

TBooleanField::TBooleanField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBoolean);
}

void TBooleanField::SetDisplayValues(const std::string& Value) {
  size_t semi = Value.find(';');
  if (semi == std::string::npos) {
    FTrueText = Value;
    FFalseText.clear();
  } else {
    FTrueText = Value.substr(0, semi);
    FFalseText = Value.substr(semi + 1);
  }
  if (FTrueText.empty() && FFalseText.empty())
    DatabaseError("'" + Value + "' ist kein gültiger Wert für DisplayValues");
  FDisplayValues = Value;
}

bool TBooleanField::GetAsBoolean() {
  int16_t v = 0;
  return GetData(&v) && v != 0;
}

void TBooleanField::SetAsBooleanValue(bool Value) {
  int16_t v = Value ? -1 : 0;
  SetData(&v);
}

std::string TBooleanField::GetAsString() {
  int16_t v = 0;
  if (!GetData(&v)) return std::string();
  return v != 0 ? FTrueText : FFalseText;
}

void TBooleanField::SetAsStringValue(const std::string& Value) {
  std::string s = Trim(Value);
  if (s.empty()) {
    Clear();
    return;
  }
  // A prefix of the true or false text is enough ("T" for "True").
  auto prefixOf = [&](const std::string& full) {
    return !full.empty() && s.size() <= full.size() && AnsiSameText(s, full.substr(0, s.size()));
  };
  if (prefixOf(FTrueText))
    SetAsBooleanValue(true);
  else if (prefixOf(FFalseText))
    SetAsBooleanValue(false);
  else
    throw EConvertError("'" + s + "' ist kein gültiger Boolescher Wert für das Feld '" +
                        DisplayName() + "'");
}

int32_t TBooleanField::GetAsInteger() {
  return GetAsBoolean() ? 1 : 0;
}
void TBooleanField::SetAsIntegerValue(int32_t Value) {
  SetAsBooleanValue(Value != 0);
}
Variant TBooleanField::GetAsVariant() {
  int16_t v = 0;
  if (!GetData(&v)) return Null();
  return Variant(v != 0);
}
void TBooleanField::SetVarValue(const Variant& Value) {
  if (Value.VarType() == varString)
    SetAsStringValue(Value.AsString());
  else
    SetAsBooleanValue(Value.AsBoolean());
}

// ---------------------------------------------------------------------------------------------
// Date and time

TDateTimeField::TDateTimeField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftDateTime);
}

int TDateTimeField::DataSize() const {
  return DataType() == ftDateTime ? 8 : 4;
}

TDateTime TDateTimeField::GetAsDateTime() {
  uint8_t buf[8] = {};
  if (!GetData(buf)) return 0;
  TTimeStamp ts;
  switch (DataType()) {
    case ftDate: {
      int32_t day;
      std::memcpy(&day, buf, 4);
      ts.Date = day;
      ts.Time = 0;
      break;
    }
    case ftTime: {
      int32_t ms;
      std::memcpy(&ms, buf, 4);
      return static_cast<double>(ms) / MSecsPerDay;
    }
    default: {
      double v;
      std::memcpy(&v, buf, 8);
      double days = std::floor(v / MSecsPerDay);
      ts.Date = static_cast<int32_t>(days);
      ts.Time = static_cast<int32_t>(std::llround(v - days * MSecsPerDay));
      if (ts.Time >= MSecsPerDay) {
        ++ts.Date;
        ts.Time -= MSecsPerDay;
      }
    }
  }
  if (ts.Date < 1) return 0;
  return TimeStampToDateTime(ts);
}

void TDateTimeField::SetAsDateTimeValue(TDateTime Value) {
  TTimeStamp ts = DateTimeToTimeStamp(Value);
  uint8_t buf[8] = {};
  switch (DataType()) {
    case ftDate:
      if (ts.Date < 1) RangeError(FloatToStr(Value), "01.01.0001", "31.12.9999");
      std::memcpy(buf, &ts.Date, 4);
      break;
    case ftTime:
      std::memcpy(buf, &ts.Time, 4);
      break;
    default: {
      if (ts.Date < 1) RangeError(FloatToStr(Value), "01.01.0001", "31.12.9999");
      double v = static_cast<double>(ts.Date) * MSecsPerDay + ts.Time;
      std::memcpy(buf, &v, 8);
    }
  }
  SetData(buf);
}

std::string TDateTimeField::GetAsString() {
  return GetText(false);
}

std::string TDateTimeField::GetText(bool DisplayText) {
  if (IsNull()) return std::string();
  TDateTime v = GetAsDateTime();
  if (DisplayText && !FDisplayFormat.empty()) return FormatDateTime(FDisplayFormat, v);
  switch (DataType()) {
    case ftDate:
      return DateToStr(v);
    case ftTime:
      return TimeToStr(v);
    default:
      return DateTimeToStr(v);
  }
}

void TDateTimeField::SetAsStringValue(const std::string& Value) {
  std::string s = Trim(Value);
  if (s.empty()) {
    Clear();
    return;
  }
  TDateTime v;
  switch (DataType()) {
    case ftDate:
      if (!TryStrToDate(s, v)) throw EConvertError("'" + s + "' ist kein gültiges Datum");
      break;
    case ftTime:
      if (!TryStrToTime(s, v)) throw EConvertError("'" + s + "' ist keine gültige Zeit");
      break;
    default:
      if (!TryStrToDateTime(s, v))
        throw EConvertError("'" + s + "' ist kein gültiges Datum und Zeit");
  }
  SetAsDateTimeValue(v);
}

double TDateTimeField::GetAsFloat() {
  return GetAsDateTime();
}
void TDateTimeField::SetAsFloatValue(double Value) {
  SetAsDateTimeValue(Value);
}
Variant TDateTimeField::GetAsVariant() {
  if (IsNull()) return Null();
  return VarFromDateTime(GetAsDateTime());
}
void TDateTimeField::SetVarValue(const Variant& Value) {
  if (Value.VarType() == varString)
    SetAsStringValue(Value.AsString());
  else
    SetAsDateTimeValue(Value.AsDateTime());
}

TDateField::TDateField(TComponent* AOwner) : TDateTimeField(AOwner) {
  SetDataType(ftDate);
}
TTimeField::TTimeField(TComponent* AOwner) : TDateTimeField(AOwner) {
  SetDataType(ftTime);
}

// ---------------------------------------------------------------------------------------------
// Bytes

TBytesField::TBytesField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBytes);
  SetSize(16);
}

bool TBytesField::LoadBytes(TBytes& Value) {
  std::vector<uint8_t> buf;
  if (!GetNative(buf)) return false;
  buf.resize(static_cast<size_t>(Size()));
  Value = buf;
  return true;
}

void TBytesField::StoreBytes(const uint8_t* Data, size_t Count) {
  std::vector<uint8_t> buf(static_cast<size_t>(std::max(Size(), 1)), 0);
  std::memcpy(buf.data(), Data, std::min(Count, static_cast<size_t>(Size())));
  SetData(buf.data());
}

TBytes TBytesField::AsBytes() {
  TBytes b;
  LoadBytes(b);
  return b;
}
void TBytesField::SetAsBytes(const TBytes& Value) {
  StoreBytes(Value.data(), Value.size());
}
std::string TBytesField::GetAsString() {
  TBytes b = AsBytes();
  return std::string(b.begin(), b.end());
}
void TBytesField::SetAsStringValue(const std::string& Value) {
  StoreBytes(reinterpret_cast<const uint8_t*>(Value.data()), Value.size());
}
Variant TBytesField::GetAsVariant() {
  TBytes b;
  if (!LoadBytes(b)) return Null();
  return Variant(b);
}
void TBytesField::SetVarValue(const Variant& Value) {
  SetAsBytes(Value.AsBytes());
}

TVarBytesField::TVarBytesField(TComponent* AOwner) : TBytesField(AOwner) {
  SetDataType(ftVarBytes);
}

bool TVarBytesField::LoadBytes(TBytes& Value) {
  std::vector<uint8_t> buf;
  if (!GetNative(buf)) return false;
  uint16_t n = static_cast<uint16_t>(buf[0] | (buf[1] << 8));
  n = static_cast<uint16_t>(std::min<int>(n, Size()));
  Value.assign(buf.begin() + 2, buf.begin() + 2 + n);
  return true;
}

void TVarBytesField::StoreBytes(const uint8_t* Data, size_t Count) {
  std::vector<uint8_t> buf(static_cast<size_t>(DataSize()), 0);
  uint16_t n = static_cast<uint16_t>(std::min(Count, static_cast<size_t>(Size())));
  buf[0] = static_cast<uint8_t>(n & 0xFF);
  buf[1] = static_cast<uint8_t>(n >> 8);
  if (n) std::memcpy(buf.data() + 2, Data, n);
  SetData(buf.data());
}

// ---------------------------------------------------------------------------------------------
// Blobs

TBlobField::TBlobField(TComponent* AOwner) : TField(AOwner) {
  SetDataType(ftBlob);
  SetSize(0);
}

void TBlobField::SetBlobType(TFieldType Value) {
  if (!IsBlobType(Value)) DatabaseError("Ungültiger Blob-Typ für Feld '" + DisplayName() + "'");
  CheckInactive();
  SetDataType(Value);
}

std::unique_ptr<TStream> TBlobField::OpenStream(TBlobStreamMode Mode) {
  if (!DataSet()) DatabaseError("Feld '" + DisplayName() + "' hat keine Datenmenge");
  std::unique_ptr<TStream> s = DataSet()->CreateBlobStream(this, Mode);
  if (!s) DatabaseError("Die Datenmenge bietet für Feld '" + DisplayName() + "' keinen Blob-Strom");
  return s;
}

int64_t TBlobField::BlobSize() {
  if (IsNull()) return 0;
  return OpenStream(bmRead)->Size();
}

TBytes TBlobField::AsBytes() {
  if (IsNull()) return {};
  std::unique_ptr<TStream> s = OpenStream(bmRead);
  TBytes out(static_cast<size_t>(s->Size()));
  s->SetPosition(0);
  if (!out.empty()) s->ReadBuffer(out.data(), static_cast<int64_t>(out.size()));
  return out;
}

void TBlobField::SetAsBytes(const TBytes& Value) {
  std::unique_ptr<TStream> s = OpenStream(bmWrite);
  if (!Value.empty()) s->WriteBuffer(Value.data(), static_cast<int64_t>(Value.size()));
  FModified = true;
}

void TBlobField::Clear() {
  OpenStream(bmWrite);
  FModified = true;
}

void TBlobField::LoadFromStream(TStream& Stream) {
  std::unique_ptr<TStream> s = OpenStream(bmWrite);
  Stream.SetPosition(0);
  s->CopyFrom(Stream, 0);
  FModified = true;
}

void TBlobField::SaveToStream(TStream& Stream) {
  TBytes b = AsBytes();
  if (!b.empty()) Stream.WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
}

void TBlobField::LoadFromFile(const std::string& FileName) {
  TFileStream f(FileName, fmOpenRead);
  LoadFromStream(f);
}

void TBlobField::SaveToFile(const std::string& FileName) {
  TFileStream f(FileName, fmCreate);
  SaveToStream(f);
}

std::string TBlobField::BytesToText(const TBytes& Bytes) {
  return std::string(Bytes.begin(), Bytes.end());
}
TBytes TBlobField::TextToBytes(const std::string& Text) {
  return TBytes(Text.begin(), Text.end());
}
std::string TBlobField::GetAsString() {
  return BytesToText(AsBytes());
}
void TBlobField::SetAsStringValue(const std::string& Value) {
  SetAsBytes(TextToBytes(Value));
}
Variant TBlobField::GetAsVariant() {
  if (IsNull()) return Null();
  return Variant(AsBytes());
}
void TBlobField::SetVarValue(const Variant& Value) {
  if (Value.VarType() == varString)
    SetAsStringValue(Value.AsString());
  else
    SetAsBytes(Value.AsBytes());
}
std::string TBlobField::GetText(bool) {
  return IsNull() ? std::string() : "(" + FieldTypeName(DataType()).substr(2) + ")";
}

TMemoField::TMemoField(TComponent* AOwner) : TBlobField(AOwner) {
  SetDataType(ftMemo);
}
std::string TMemoField::GetAsString() {
  if (IsNull()) return {};
  std::unique_ptr<TStream> s = OpenStream(bmRead);
  std::string text(static_cast<size_t>(s->Size()), '\0');
  s->SetPosition(0);
  if (!text.empty()) s->ReadBuffer(text.data(), static_cast<int64_t>(text.size()));
  return AnsiToUtf8(std::move(text));
}
std::string TMemoField::BytesToText(const TBytes& Bytes) {
  return AnsiToUtf8(std::string(Bytes.begin(), Bytes.end()));
}
TBytes TMemoField::TextToBytes(const std::string& Text) {
  std::string a = Utf8ToAnsi(Text);
  return TBytes(a.begin(), a.end());
}
std::string TMemoField::GetText(bool DisplayText) {
  if (DisplayText) return IsNull() ? "(memo)" : "(MEMO)";
  return GetAsString();
}

TWideMemoField::TWideMemoField(TComponent* AOwner) : TBlobField(AOwner) {
  SetDataType(ftWideMemo);
}
std::string TWideMemoField::BytesToText(const TBytes& Bytes) {
  std::u16string s;
  for (size_t i = 0; i + 1 < Bytes.size(); i += 2)
    s.push_back(static_cast<char16_t>(Bytes[i] | (Bytes[i + 1] << 8)));
  return Utf16ToUtf8(s);
}
TBytes TWideMemoField::TextToBytes(const std::string& Text) {
  std::u16string s = Utf8ToUtf16(Text);
  TBytes b;
  for (char16_t c : s) {
    b.push_back(static_cast<uint8_t>(c & 0xFF));
    b.push_back(static_cast<uint8_t>(c >> 8));
  }
  return b;
}
std::string TWideMemoField::GetText(bool DisplayText) {
  if (DisplayText) return IsNull() ? "(widememo)" : "(WIDEMEMO)";
  return GetAsString();
}

TGraphicField::TGraphicField(TComponent* AOwner) : TBlobField(AOwner) {
  SetDataType(ftGraphic);
}

// ---------------------------------------------------------------------------------------------
// Published properties of the field classes

namespace {
void SetEventOnChange(TField& f, const TFieldNotifyEvent& e) {
  f.OnChange = e;
}
void SetEventOnValidate(TField& f, const TFieldNotifyEvent& e) {
  f.OnValidate = e;
}
void SetEventOnGetText(TField& f, const TFieldGetTextEvent& e) {
  f.OnGetText = e;
}
void SetEventOnSetText(TField& f, const TFieldSetTextEvent& e) {
  f.OnSetText = e;
}
}  // namespace

VCL_REGISTER_CLASS(TField, [](TClassBuilder<TField>& c) {
  c.Prop("DefaultExpression", &TField::DefaultExpression, &TField::SetDefaultExpression);
  c.Prop("DisplayLabel", &TField::DisplayLabel, &TField::SetDisplayLabel)
      .Stored(&TField::IsDisplayLabelStored);
  c.Prop("FieldName", &TField::FieldName, &TField::SetFieldName);
  c.Enum("FieldKind", &TField::FieldKind, &TField::SetFieldKind,
         {"fkData", "fkCalculated", "fkLookup", "fkInternalCalc", "fkAggregate"}, fkData);
  c.Ref("LookupDataSet", &TField::LookupDataSet, &TField::SetLookupDataSet);
  c.Prop("LookupKeyFields", &TField::LookupKeyFields, &TField::SetLookupKeyFields);
  c.Prop("LookupResultField", &TField::LookupResultField, &TField::SetLookupResultField);
  c.Prop("KeyFields", &TField::KeyFields, &TField::SetKeyFields);
  c.Prop("ReadOnly", &TField::ReadOnly, &TField::SetReadOnly, false);
  c.Prop("Required", &TField::Required, &TField::SetRequired, false);
  c.Prop("Visible", &TField::Visible, &TField::SetVisible, true);
  c.Event("OnChange", &TField::OnChange, &SetEventOnChange);
  c.Event("OnGetText", &TField::OnGetText, &SetEventOnGetText);
  c.Event("OnSetText", &TField::OnSetText, &SetEventOnSetText);
  c.Event("OnValidate", &TField::OnValidate, &SetEventOnValidate);
})
VCL_REGISTER_CLASS(TStringField, [](TClassBuilder<TStringField>& c) {
  c.Prop("FixedChar", &TStringField::FixedChar, &TStringField::SetFixedChar, false);
  c.Prop("Size", &TStringField::Size, &TStringField::SetSize, 20);
})
VCL_REGISTER_CLASS(TWideStringField, [](TClassBuilder<TWideStringField>&) {})
VCL_REGISTER_CLASS(TNumericField, [](TClassBuilder<TNumericField>& c) {
  c.Prop("DisplayFormat", &TNumericField::DisplayFormat, &TNumericField::SetDisplayFormat);
  c.Prop("EditFormat", &TNumericField::EditFormat, &TNumericField::SetEditFormat);
})
VCL_REGISTER_CLASS(TIntegerField, [](TClassBuilder<TIntegerField>& c) {
  c.Prop("MaxValue", &TIntegerField::MaxValue, &TIntegerField::SetMaxValue, 0);
  c.Prop("MinValue", &TIntegerField::MinValue, &TIntegerField::SetMinValue, 0);
})
VCL_REGISTER_CLASS(TSmallintField, [](TClassBuilder<TSmallintField>&) {})
VCL_REGISTER_CLASS(TWordField, [](TClassBuilder<TWordField>&) {})
VCL_REGISTER_CLASS(TAutoIncField, [](TClassBuilder<TAutoIncField>&) {})
VCL_REGISTER_CLASS(TLargeintField, [](TClassBuilder<TLargeintField>&) {})
VCL_REGISTER_CLASS(TFloatField, [](TClassBuilder<TFloatField>& c) {
  c.Prop("Currency", &TFloatField::Currency, &TFloatField::SetCurrency, false);
  c.Prop("MaxValue", &TFloatField::MaxValue, &TFloatField::SetMaxValue, 0.0);
  c.Prop("MinValue", &TFloatField::MinValue, &TFloatField::SetMinValue, 0.0);
  c.Prop("Precision", &TFloatField::Precision, &TFloatField::SetPrecision, 15);
})
VCL_REGISTER_CLASS(TCurrencyField, [](TClassBuilder<TCurrencyField>& c) {
  c.Prop("Currency", &TCurrencyField::Currency, &TCurrencyField::SetCurrency, true);
})
VCL_REGISTER_CLASS(TBCDField, [](TClassBuilder<TBCDField>& c) {
  c.Prop("Currency", &TBCDField::Currency, &TBCDField::SetCurrency, false);
  c.Prop("Precision", &TBCDField::Precision, &TBCDField::SetPrecision, 0);
  c.Prop("Size", &TBCDField::Size, &TBCDField::SetSize, 4);
})
VCL_REGISTER_CLASS(TFMTBCDField, [](TClassBuilder<TFMTBCDField>& c) {
  c.Prop("Size", &TFMTBCDField::Size, &TFMTBCDField::SetSize, 8);
})
VCL_REGISTER_CLASS(TBooleanField, [](TClassBuilder<TBooleanField>& c) {
  c.Prop("DisplayValues", &TBooleanField::DisplayValues, &TBooleanField::SetDisplayValues,
         "True;False");
})
VCL_REGISTER_CLASS(TDateTimeField, [](TClassBuilder<TDateTimeField>& c) {
  c.Prop("DisplayFormat", &TDateTimeField::DisplayFormat, &TDateTimeField::SetDisplayFormat);
})
VCL_REGISTER_CLASS(TDateField, [](TClassBuilder<TDateField>&) {})
VCL_REGISTER_CLASS(TTimeField, [](TClassBuilder<TTimeField>&) {})
VCL_REGISTER_CLASS(TBytesField, [](TClassBuilder<TBytesField>& c) {
  c.Prop("Size", &TBytesField::Size, &TBytesField::SetSize, 16);
})
VCL_REGISTER_CLASS(TVarBytesField, [](TClassBuilder<TVarBytesField>&) {})
VCL_REGISTER_CLASS(TBlobField, [](TClassBuilder<TBlobField>& c) {
  c.Enum("BlobType", &TBlobField::BlobType, &TBlobField::SetBlobType, FieldTypeNames(), ftBlob);
  c.Prop("Size", &TBlobField::Size, &TBlobField::SetSize, 0);
})
VCL_REGISTER_CLASS(TMemoField, [](TClassBuilder<TMemoField>& c) {
  c.Enum("BlobType", &TMemoField::BlobType, &TMemoField::SetBlobType, FieldTypeNames(), ftMemo);
})
VCL_REGISTER_CLASS(TWideMemoField, [](TClassBuilder<TWideMemoField>& c) {
  c.Enum("BlobType", &TWideMemoField::BlobType, &TWideMemoField::SetBlobType, FieldTypeNames(),
         ftWideMemo);
})
VCL_REGISTER_CLASS(TGraphicField, [](TClassBuilder<TGraphicField>& c) {
  c.Enum("BlobType", &TGraphicField::BlobType, &TGraphicField::SetBlobType, FieldTypeNames(),
         ftGraphic);
})
