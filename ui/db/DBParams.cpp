// TParam / TParams (values, look-up, the SQL parameter parse) and TIndexDef / TIndexDefs.
#include "ui/db/DBParams.h"

namespace {

bool IsNameChar(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
         c == '$' || c == '#' || c == '@' || c >= 0x80;
}

// Type that a value of the given variant type gives a parameter of unknown type.
TFieldType TypeOfVariant(const Variant& v) {
  switch (v.VarType()) {
    case varBoolean:
      return ftBoolean;
    case varInteger:
      return ftInteger;
    case varInt64:
      return ftLargeint;
    case varDouble:
      return ftFloat;
    case varCurrency:
      return ftCurrency;
    case varDate:
      return ftDateTime;
    case varString:
      return ftString;
    case varArray | varByte:
      return ftBlob;
    default:
      return ftUnknown;
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TParam

TParam::TParam(TCollection* Collection) : TCollectionItem(Collection) {}

TParam::TParam(TParams* Params, TParamType ParamType) : TCollectionItem(Params) {
  FParamType = ParamType;
}

void TParam::SetTypedValue(TFieldType Type, Variant Value) {
  FDataType = Type;
  FData = std::move(Value);
  FBound = true;
}

void TParam::SetDataType(TFieldType Value) {
  if (Value == FDataType) return;
  FDataType = Value;
  if (IsNull()) return;
  // Keep the value in the form of the new type where it converts; drop it where it does not.
  try {
    switch (Value) {
      case ftString:
      case ftFixedChar:
      case ftWideString:
      case ftMemo:
      case ftWideMemo:
        FData = FData.AsString();
        break;
      case ftSmallint:
      case ftInteger:
      case ftWord:
      case ftAutoInc:
        FData = FData.AsInteger();
        break;
      case ftLargeint:
        FData = FData.AsInt64();
        break;
      case ftBoolean:
        FData = FData.AsBoolean();
        break;
      case ftFloat:
        FData = FData.AsDouble();
        break;
      case ftCurrency:
        FData = FData.AsCurrency();
        break;
      case ftDate:
      case ftTime:
      case ftDateTime:
        FData = VarFromDateTime(FData.AsDateTime());
        break;
      default:
        break;
    }
  } catch (const EVariantError&) {
    FData = Null();
  } catch (const EConvertError&) {
    FData = Null();
  }
}

void TParam::SetValue(const Variant& Value) {
  if (FDataType == ftUnknown) FDataType = TypeOfVariant(Value);
  FData = VarIsEmpty(Value) ? Null() : Value;
  FBound = !VarIsEmpty(Value);
}

std::string TParam::AsString() const {
  return IsNull() ? std::string() : FData.AsString();
}
void TParam::SetAsString(const std::string& Value) {
  SetTypedValue(ftString, Value);
}
int32_t TParam::AsInteger() const {
  return IsNull() ? 0 : FData.AsInteger();
}
void TParam::SetAsInteger(int32_t Value) {
  SetTypedValue(ftInteger, Variant(Value));
}
void TParam::SetAsSmallInt(int32_t Value) {
  if (Value < INT16_MIN || Value > INT16_MAX)
    throw ERangeError(std::to_string(Value) + " liegt außerhalb des Smallint-Bereichs");
  SetTypedValue(ftSmallint, Variant(Value));
}
void TParam::SetAsWord(int32_t Value) {
  if (Value < 0 || Value > UINT16_MAX)
    throw ERangeError(std::to_string(Value) + " liegt außerhalb des Word-Bereichs");
  SetTypedValue(ftWord, Variant(Value));
}
int64_t TParam::AsLargeInt() const {
  return IsNull() ? 0 : FData.AsInt64();
}
void TParam::SetAsLargeInt(int64_t Value) {
  SetTypedValue(ftLargeint, Variant(Value));
}
double TParam::AsFloat() const {
  return IsNull() ? 0.0 : FData.AsDouble();
}
void TParam::SetAsFloat(double Value) {
  SetTypedValue(ftFloat, Variant(Value));
}
Currency TParam::AsCurrency() const {
  return IsNull() ? Currency{} : FData.AsCurrency();
}
void TParam::SetAsCurrency(Currency Value) {
  SetTypedValue(ftCurrency, Variant(Value));
}
TBcd TParam::AsBCD() const {
  return IsNull() ? IntegerToBcd(0) : FData.AsBcd();
}
void TParam::SetAsBCD(const TBcd& Value) {
  SetTypedValue(ftBCD, Variant(Value));
}
void TParam::SetAsFMTBCD(const TBcd& Value) {
  SetTypedValue(ftFMTBcd, Variant(Value));
}
bool TParam::AsBoolean() const {
  return !IsNull() && FData.AsBoolean();
}
void TParam::SetAsBoolean(bool Value) {
  SetTypedValue(ftBoolean, Variant(Value));
}
TDateTime TParam::AsDateTime() const {
  return IsNull() ? 0.0 : FData.AsDateTime();
}
void TParam::SetAsDateTime(TDateTime Value) {
  SetTypedValue(ftDateTime, VarFromDateTime(Value));
}
void TParam::SetAsDate(TDateTime Value) {
  SetTypedValue(ftDate, VarFromDateTime(Value));
}
void TParam::SetAsTime(TDateTime Value) {
  SetTypedValue(ftTime, VarFromDateTime(Value));
}
TBytes TParam::AsBlob() const {
  return IsNull() ? TBytes{} : FData.AsBytes();
}
void TParam::SetAsBlob(const TBytes& Value) {
  SetTypedValue(ftBlob, Variant(Value));
}
void TParam::SetAsMemo(const std::string& Value) {
  SetTypedValue(ftMemo, Variant(Value));
}

void TParam::AssignFieldValue(TField* Field, const Variant& Value) {
  if (!Field) return;
  TFieldType t = Field->DataType();
  if (t == ftAutoInc) t = ftInteger;
  FDataType = t;
  FSize = Field->Size();
  if (auto* bcd = dynamic_cast<TBCDField*>(Field)) {
    FPrecision = bcd->Precision();
    FNumericScale = bcd->Size();
  }
  FData = VarIsEmpty(Value) ? Null() : Value;
  FBound = true;
}

void TParam::AssignField(TField* Field) {
  if (!Field) return;
  AssignFieldValue(Field, Field->AsVariant());
  FName = Field->FieldName();
}

void TParam::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TParam*>(Source)) {
    FName = p->FName;
    FDataType = p->FDataType;
    FParamType = p->FParamType;
    FData = p->FData;
    FBound = p->FBound;
    FSize = p->FSize;
    FPrecision = p->FPrecision;
    FNumericScale = p->FNumericScale;
    return;
  }
  if (auto* f = dynamic_cast<TField*>(Source)) {
    AssignField(f);
    return;
  }
  TCollectionItem::Assign(Source);
}

VCL_REGISTER_CLASS(TParam, [](TClassBuilder<TParam>& c) {
  c.Enum("DataType", &TParam::DataType, &TParam::SetDataType, FieldTypeNames(), ftUnknown);
  c.Prop("Name", &TParam::Name, &TParam::SetName);
  c.Prop("NumericScale", &TParam::NumericScale, &TParam::SetNumericScale, 0);
  c.Enum("ParamType", &TParam::ParamType, &TParam::SetParamType,
         {"ptUnknown", "ptInput", "ptOutput", "ptInputOutput", "ptResult"}, ptUnknown);
  c.Prop("Precision", &TParam::Precision, &TParam::SetPrecision, 0);
  c.Prop("Size", &TParam::Size, &TParam::SetSize, 0);
})

// ---------------------------------------------------------------------------------------------
// TParams

TParams::TParams(TPersistent* Owner) : TOwnedCollection(Owner, TParam::StaticClass()) {}

TParam* TParams::Items(int Index) const {
  return static_cast<TParam*>(TCollection::Items(Index));
}

TParam* TParams::AddParam(TParam* Value) {
  Value->SetCollection(this);
  return Value;
}

void TParams::RemoveParam(TParam* Value) {
  Value->SetCollection(nullptr);
}

TParam* TParams::CreateParam(TFieldType FieldType, const std::string& ParamName,
                             TParamType ParamType) {
  auto* p = static_cast<TParam*>(Add());
  p->SetName(ParamName);
  p->SetDataType(FieldType);
  p->SetParamType(ParamType);
  return p;
}

TParam* TParams::FindParam(const std::string& Value) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), Value)) return Items(i);
  return nullptr;
}

TParam* TParams::ParamByName(const std::string& Value) const {
  TParam* p = FindParam(Value);
  if (!p) {
    auto* owner = dynamic_cast<TComponent*>(const_cast<TParams*>(this)->GetOwner());
    DatabaseError("Parameter '" + Value + "' nicht gefunden", owner);
  }
  return p;
}

void TParams::GetParamList(std::vector<TParam*>& List, const std::string& ParamNames) const {
  for (const std::string& n : SplitFieldNames(ParamNames)) List.push_back(ParamByName(n));
}

Variant TParams::ParamValues(const std::string& ParamName) const {
  std::vector<TParam*> list;
  GetParamList(list, ParamName);
  if (list.size() == 1) return list[0]->Value();
  std::vector<Variant> values;
  for (TParam* p : list) values.push_back(p->Value());
  return VarArrayOf(std::move(values));
}

void TParams::SetParamValues(const std::string& ParamName, const Variant& Value) {
  std::vector<TParam*> list;
  GetParamList(list, ParamName);
  if (list.size() == 1 && !VarIsArray(Value)) {
    list[0]->SetValue(Value);
    return;
  }
  for (size_t i = 0; i < list.size(); ++i) list[i]->SetValue(Value[i]);
}

void TParams::AssignValues(TParams* Value) {
  if (!Value) return;
  for (int i = 0; i < Value->Count(); ++i) {
    TParam* src = Value->Items(i);
    for (int j = 0; j < Count(); ++j) {
      TParam* dst = Items(j);
      // Every parameter of the name takes the value ("?" parameters have no name).
      if (!src->Name().empty() && AnsiSameText(dst->Name(), src->Name())) dst->Assign(src);
    }
  }
}

bool TParams::IsEqual(TParams* Value) const {
  if (!Value || Value->Count() != Count()) return false;
  for (int i = 0; i < Count(); ++i) {
    TParam* a = Items(i);
    TParam* b = Value->Items(i);
    if (a->Name() != b->Name() || a->DataType() != b->DataType() ||
        a->ParamType() != b->ParamType() || a->Bound() != b->Bound() || !(a->Value() == b->Value()))
      return false;
  }
  return true;
}

void TParams::Assign(TPersistent* Source) {
  if (auto* p = dynamic_cast<TParams*>(Source)) {
    BeginUpdate();
    Finally done([this] { EndUpdate(); });
    Clear();
    for (int i = 0; i < p->Count(); ++i) static_cast<TParam*>(Add())->Assign(p->Items(i));
    return;
  }
  TOwnedCollection::Assign(Source);
}

std::string TParams::ParseSQL(const std::string& SQL, bool DoCreate) {
  if (DoCreate) Clear();
  std::string out;
  out.reserve(SQL.size());
  size_t i = 0, n = SQL.size();
  auto add = [&](const std::string& name) {
    if (DoCreate) CreateParam(ftUnknown, name, ptInput);
    out += '?';
  };
  while (i < n) {
    char c = SQL[i];
    // Quoted texts and identifiers are copied as they are.
    if (c == '\'' || c == '"' || c == '`' || c == '[') {
      char close = c == '[' ? ']' : c;
      size_t j = i + 1;
      for (; j < n; ++j) {
        if (SQL[j] == close) {
          if (close != ']' && j + 1 < n && SQL[j + 1] == close) {
            ++j;  // doubled quote inside the text
            continue;
          }
          break;
        }
      }
      size_t end = j < n ? j + 1 : n;
      out.append(SQL, i, end - i);
      i = end;
      continue;
    }
    if (c == '-' && i + 1 < n && SQL[i + 1] == '-') {
      size_t end = SQL.find('\n', i);
      end = end == std::string::npos ? n : end;
      out.append(SQL, i, end - i);
      i = end;
      continue;
    }
    if (c == '/' && i + 1 < n && SQL[i + 1] == '*') {
      size_t end = SQL.find("*/", i + 2);
      end = end == std::string::npos ? n : end + 2;
      out.append(SQL, i, end - i);
      i = end;
      continue;
    }
    if (c == '?') {
      add(std::string());
      ++i;
      continue;
    }
    if (c == ':') {
      if (i + 1 < n && SQL[i + 1] == ':') {
        out += ':';
        i += 2;
        continue;
      }
      if (i + 1 < n && SQL[i + 1] == '"') {
        size_t close = SQL.find('"', i + 2);
        if (close != std::string::npos) {
          add(SQL.substr(i + 2, close - i - 2));
          i = close + 1;
          continue;
        }
      }
      size_t j = i + 1;
      while (j < n && IsNameChar(static_cast<unsigned char>(SQL[j]))) ++j;
      if (j > i + 1) {
        add(SQL.substr(i + 1, j - i - 1));
        i = j;
        continue;
      }
    }
    out += c;
    ++i;
  }
  return out;
}

VCL_REGISTER_CLASS(TParams, [](TClassBuilder<TParams>&) {})

// ---------------------------------------------------------------------------------------------
// TIndexDef / TIndexDefs

TIndexDef::TIndexDef(TCollection* Collection) : TCollectionItem(Collection) {}

TIndexDef::TIndexDef(TIndexDefs* Owner, const std::string& Name, const std::string& Fields,
                     TIndexOptions Options)
    : TCollectionItem(Owner), FName(Name), FOptions(Options) {
  if (Options.Contains(ixExpression))
    FExpression = Fields;
  else
    FFields = Fields;
}

void TIndexDef::SetFields(const std::string& Value) {
  FFields = Value;
  if (!Value.empty()) {
    FExpression.clear();
    FOptions.Exclude(ixExpression);
  }
}

void TIndexDef::SetExpression(const std::string& Value) {
  FExpression = Value;
  if (!Value.empty()) {
    FFields.clear();
    FOptions.Include(ixExpression);
  } else {
    FOptions.Exclude(ixExpression);
  }
}

void TIndexDef::Assign(TPersistent* Source) {
  if (auto* s = dynamic_cast<TIndexDef*>(Source)) {
    FName = s->FName;
    FFields = s->FFields;
    FExpression = s->FExpression;
    FOptions = s->FOptions;
    FDescFields = s->FDescFields;
    FCaseInsFields = s->FCaseInsFields;
    FSource = s->FSource;
    FGroupingLevel = s->FGroupingLevel;
    return;
  }
  TCollectionItem::Assign(Source);
}

VCL_REGISTER_CLASS(TIndexDef, [](TClassBuilder<TIndexDef>& c) {
  c.Prop("Name", &TIndexDef::Name, &TIndexDef::SetName);
  c.Prop("CaseInsFields", &TIndexDef::CaseInsFields, &TIndexDef::SetCaseInsFields);
  c.Prop("DescFields", &TIndexDef::DescFields, &TIndexDef::SetDescFields);
  c.Prop("Expression", &TIndexDef::Expression, &TIndexDef::SetExpression);
  c.Prop("Fields", &TIndexDef::Fields, &TIndexDef::SetFields);
  c.Set("Options", &TIndexDef::Options, &TIndexDef::SetOptions,
        {"ixPrimary", "ixUnique", "ixDescending", "ixCaseInsensitive", "ixExpression",
         "ixNonMaintained"});
  c.Prop("Source", &TIndexDef::Source, &TIndexDef::SetSource);
  c.Prop("GroupingLevel", &TIndexDef::GroupingLevel, &TIndexDef::SetGroupingLevel, 0);
})

TIndexDefs::TIndexDefs(TDataSet* DataSet)
    : TOwnedCollection(DataSet, TIndexDef::StaticClass()), FDataSet(DataSet) {}

TIndexDef* TIndexDefs::Items(int Index) const {
  return static_cast<TIndexDef*>(TCollection::Items(Index));
}

TIndexDef* TIndexDefs::AddIndexDef() {
  return static_cast<TIndexDef*>(TCollection::Add());
}

TIndexDef* TIndexDefs::Add(const std::string& Name, const std::string& Fields,
                           TIndexOptions Options) {
  if (IndexOf(Name) >= 0) DatabaseError("Doppelter Indexname '" + Name + "'", FDataSet);
  TIndexDef* d = AddIndexDef();
  d->SetName(Name);
  d->SetOptions(Options);
  if (Options.Contains(ixExpression))
    d->SetExpression(Fields);
  else
    d->SetFields(Fields);
  return d;
}

int TIndexDefs::IndexOf(const std::string& Name) const {
  for (int i = 0; i < Count(); ++i)
    if (AnsiSameText(Items(i)->Name(), Name)) return i;
  return -1;
}

TIndexDef* TIndexDefs::Find(const std::string& Name) const {
  int i = IndexOf(Name);
  if (i < 0) DatabaseError("Index '" + Name + "' nicht gefunden", FDataSet);
  return Items(i);
}

TIndexDef* TIndexDefs::GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const {
  for (int pass = 0; pass < 2; ++pass) {
    bool exact = pass == 0;
    for (int i = 0; i < Count(); ++i) {
      TIndexDef* d = Items(i);
      if (d->Options().Contains(ixDescending) || d->Options().Contains(ixExpression)) continue;
      if (CaseInsensitive && !d->Options().Contains(ixCaseInsensitive)) continue;
      const std::string& f = d->Fields();
      if (exact) {
        if (f == Fields) return d;
      } else if (f.size() > Fields.size() && f.compare(0, Fields.size(), Fields) == 0 &&
                 f[Fields.size()] == ';') {
        return d;
      }
    }
  }
  return nullptr;
}

TIndexDef* TIndexDefs::FindIndexForFields(const std::string& Fields) const {
  TIndexDef* d = GetIndexForFields(Fields, false);
  if (!d) DatabaseError("Kein Index für die Felder '" + Fields + "'", FDataSet);
  return d;
}

void TIndexDefs::Update() {
  ++FInternalUpdate;
  Finally done([&] { --FInternalUpdate; });
  if (FDataSet) FDataSet->UpdateIndexDefs();
  FUpdated = true;
}

void TIndexDefs::Notify(TCollectionItem* Item, TCollectionNotification Action) {
  TOwnedCollection::Notify(Item, Action);
  FUpdated = false;
  if (FDataSet && FInternalUpdate == 0 && !FDataSet->ComponentState().Contains(csDestroying))
    FDataSet->DefChanged(this);
}

VCL_REGISTER_CLASS(TIndexDefs, [](TClassBuilder<TIndexDefs>&) {})
