// Field types, field definitions and the field objects of a dataset.
//
// A field object reads and writes its value in its data type's native buffer form through
// TDataSet::GetFieldData / SetFieldData; it never touches record buffers itself. Native forms:
// ftString 8-bit (Windows-1252) text with a zero byte after it; ftWideString UTF-16 with a zero
// character; ftSmallint int16; ftInteger/ftAutoInc int32; ftWord uint16; ftLargeint int64;
// ftBoolean int16 (-1 true, 0 false; any non-zero reads as true); ftFloat/ftCurrency double;
// ftBCD/ftFMTBcd TBcd; ftDate int32 day number (1 = 1 January 0001); ftTime int32 milliseconds;
// ftDateTime double (day number x 86400000 + milliseconds); ftBytes the raw bytes; ftVarBytes a
// 16-bit length and the bytes. Blob fields move their content through CreateBlobStream.
//
// Texts of fields are UTF-8 strings. Conversion failures raise EConvertError, values outside a
// field's range ERangeError, misuse EDatabaseError; texts are German.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ui/classes/Classes.h"
#include "ui/db/DateTime.h"
#include "ui/db/FMTBcd.h"
#include "ui/db/Variants.h"

class TDataSet;
class TField;
class TFieldDefs;

VCL_DECLARE_EXCEPTION(EDatabaseError, Exception)

// Raises EDatabaseError; with a component whose name is not empty the message reads
// "Name: Msg".
[[noreturn]] void DatabaseError(const std::string& Msg, TComponent* Component = nullptr);

enum TFieldType {
  ftUnknown,
  ftString,
  ftSmallint,
  ftInteger,
  ftWord,
  ftBoolean,
  ftFloat,
  ftCurrency,
  ftBCD,
  ftDate,
  ftTime,
  ftDateTime,
  ftBytes,
  ftVarBytes,
  ftAutoInc,
  ftBlob,
  ftMemo,
  ftGraphic,
  ftFmtMemo,
  ftParadoxOle,
  ftDBaseOle,
  ftTypedBinary,
  ftCursor,
  ftFixedChar,
  ftWideString,
  ftLargeint,
  ftADT,
  ftArray,
  ftReference,
  ftDataSet,
  ftOraBlob,
  ftOraClob,
  ftVariant,
  ftInterface,
  ftIDispatch,
  ftGuid,
  ftTimeStamp,
  ftFMTBcd,
  ftFixedWideChar,
  ftWideMemo,
  ftOraTimeStamp,
  ftOraInterval
};

// Identifier of every TFieldType, in order ("ftUnknown", "ftString", ...).
const std::vector<std::string>& FieldTypeNames();
// Blob kinds: ftBlob, ftMemo, ftGraphic, ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary,
// ftOraBlob, ftOraClob, ftWideMemo.
bool IsBlobType(TFieldType Type);

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc, fkAggregate };

enum TFieldAttribute { faHiddenCol, faReadonly, faRequired, faLink, faUnNamed, faFixed };
using TFieldAttributes = TSet<TFieldAttribute>;

enum TBlobStreamMode { bmRead, bmWrite, bmReadWrite };

using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;

// ---------------------------------------------------------------------------------------------
// Field definitions

class TFieldDef : public TCollectionItem {
  VCL_DECLARE_CLASS(TFieldDef, TCollectionItem)
 public:
  explicit TFieldDef(TCollection* Collection);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value);
  TFieldType DataType() const { return FDataType; }
  void SetDataType(TFieldType Value);
  int Size() const { return FSize; }
  void SetSize(int Value);
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value);
  bool Required() const { return FAttributes.Contains(faRequired); }
  void SetRequired(bool Value);
  TFieldAttributes Attributes() const { return FAttributes; }
  void SetAttributes(TFieldAttributes Value);
  bool InternalCalcField() const { return FInternalCalcField; }
  void SetInternalCalcField(bool Value) { FInternalCalcField = Value; }
  // 1-based position in the collection (set on Add), unless set explicitly.
  int FieldNo() const;
  void SetFieldNo(int Value) { FFieldNo = Value; }

  // The field class the dataset uses for this definition's data type.
  TClass FieldClass() const;
  // Creates the field object (owned by Owner) bound to the collection's dataset.
  TField* CreateField(TComponent* Owner);
  TFieldDefs* FieldDefs() const;
  void Assign(TPersistent* Source) override;
  std::string DisplayName() const override { return FName; }

 private:
  std::string FName;
  TFieldType FDataType = ftUnknown;
  int FSize = 0;
  int FPrecision = 0;
  TFieldAttributes FAttributes;
  bool FInternalCalcField = false;
  int FFieldNo = 0;
};

class TFieldDefs : public TOwnedCollection {
  VCL_DECLARE_CLASS(TFieldDefs, TOwnedCollection)
 public:
  explicit TFieldDefs(TDataSet* DataSet);

  TDataSet* DataSet() const { return FDataSet; }
  TFieldDef* Items(int Index) const;
  TFieldDef* AddFieldDef();
  // Adds a definition; EDatabaseError "Doppelter Feldname '%s'" for a taken name.
  TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0, bool Required = false);
  // Case-insensitive; -1 / nullptr when absent. Find raises "Feld '%s' nicht gefunden".
  int IndexOf(const std::string& Name) const;
  TFieldDef* Find(const std::string& Name) const;
  // Re-reads the definitions from the dataset (TDataSet::InitFieldDefs) and marks them updated.
  void Update();
  bool Updated() const { return FUpdated; }
  void SetUpdated(bool Value) { FUpdated = Value; }

 protected:
  void Notify(TCollectionItem* Item, TCollectionNotification Action) override;

 private:
  TDataSet* FDataSet;
  bool FUpdated = false;
  int FInternalUpdate = 0;  // > 0 while Update reads the definitions from the dataset
};

// ---------------------------------------------------------------------------------------------
// TField

class TField : public TComponent {
  VCL_DECLARE_CLASS(TField, TComponent)
 public:
  explicit TField(TComponent* AOwner);
  ~TField() override;

  TDataSet* DataSet() const { return FDataSet; }
  // Moves the field into Value's field list (nullptr: out of any). Refused on an open dataset.
  void SetDataSet(TDataSet* Value);

  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(const std::string& Value);
  TFieldType DataType() const { return FDataType; }
  // The field classes set their type; field definitions set the exact one (ftFixedChar, ...).
  void SetDataType(TFieldType Value) { FDataType = Value; }
  // Number of the field in the dataset's definitions (from 1); -1 for calculated and lookup
  // fields; 0 while unbound.
  int FieldNo() const { return FFieldNo; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  bool Lookup() const { return FFieldKind == fkLookup; }
  // For calculated and lookup fields: position of the field's slot in the calculated-field
  // area (one presence byte, then DataSize bytes). For blob fields: index among blob fields.
  int Offset() const { return FOffset; }
  // Size in the field's own unit (characters of a string, scale of a BCD, bytes of ftBytes).
  int Size() const { return FSize; }
  void SetSize(int Value);
  // Bytes of the native buffer form.
  virtual int DataSize() const;

  bool ReadOnly() const { return FReadOnly; }
  void SetReadOnly(bool Value) { FReadOnly = Value; }
  bool Required() const { return FRequired; }
  void SetRequired(bool Value) { FRequired = Value; }
  bool Visible() const { return FVisible; }
  void SetVisible(bool Value);
  int Index() const;
  void SetIndex(int Value);
  // DisplayLabel defaults to the field name.
  std::string DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value);
  std::string DisplayName() const { return DisplayLabel(); }
  bool IsDisplayLabelStored() const { return !FDisplayLabel.empty(); }
  int DisplayWidth() const;
  void SetDisplayWidth(int Value) { FDisplayWidth = Value; }
  const std::string& DefaultExpression() const { return FDefaultExpression; }
  void SetDefaultExpression(const std::string& Value) { FDefaultExpression = Value; }

  // Lookup definition.
  TDataSet* LookupDataSet() const { return FLookupDataSet; }
  void SetLookupDataSet(TDataSet* Value);
  const std::string& LookupKeyFields() const { return FLookupKeyFields; }
  void SetLookupKeyFields(const std::string& Value) { FLookupKeyFields = Value; }
  const std::string& LookupResultField() const { return FLookupResultField; }
  void SetLookupResultField(const std::string& Value) { FLookupResultField = Value; }
  const std::string& KeyFields() const { return FKeyFields; }
  void SetKeyFields(const std::string& Value) { FKeyFields = Value; }

  // Native value access. GetData answers whether the field has a value; Buffer may be nullptr
  // (only the null test) or must hold DataSize bytes. SetData(nullptr) stores null.
  bool GetData(void* Buffer);
  void SetData(const void* Buffer);
  bool IsNull();
  // Stores null (blob fields write an empty content through their stream).
  virtual void Clear() { SetData(nullptr); }
  // Runs OnValidate with Buffer as the field's pending value (reads of the field inside the
  // handler see it).
  void Validate(const void* Buffer);
  // Fires OnChange (the dataset calls it for its field-change event).
  virtual void Change();
  // Whether the value may be written now: not read-only, and the dataset can be modified.
  bool CanModify();
  // Asks the dataset whether the field is part of its current index.
  bool IsIndexField();
  // The current record's value changed since editing began (the dataset's Modified).
  bool Modified() const;
  bool IsBlob() const { return IsBlobType(FDataType); }

  std::string AsString();
  void SetAsString(const std::string& Value);
  int32_t AsInteger();
  void SetAsInteger(int32_t Value);
  int64_t AsLargeInt();
  void SetAsLargeInt(int64_t Value);
  double AsFloat();
  void SetAsFloat(double Value);
  Currency AsCurrency();
  void SetAsCurrency(Currency Value);
  TBcd AsBCD();
  void SetAsBCD(const TBcd& Value);
  TDateTime AsDateTime();
  void SetAsDateTime(TDateTime Value);
  bool AsBoolean();
  void SetAsBoolean(bool Value);
  Variant AsVariant();
  // Null or Unassigned clear the field.
  void SetAsVariant(const Variant& Value);
  Variant Value() { return AsVariant(); }
  void SetValue(const Variant& Value) { SetAsVariant(Value); }
  // Text through OnGetText / OnSetText when assigned.
  std::string DisplayText();
  std::string Text();
  void SetText(const std::string& Value);
  // Copies the value of Source (null stays null).
  void AssignValue(const Variant& Value) { SetAsVariant(Value); }
  void Assign(TPersistent* Source) override;

  // Asks the controls that show the field to take the focus (deFocusControl).
  void FocusControl();
  // Forgets a lookup dataset that goes away.
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Component streaming: a field is a child of its dataset in a description.
  bool HasParent() override { return true; }
  TComponent* GetParentComponent() override;
  void SetParentComponent(TComponent* Value) override;

  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

 protected:
  friend class TDataSet;
  friend class TFields;
  // The conversions each field class provides; the defaults raise EDatabaseError
  // "Feld '%s' kann nicht als Typ %s verwendet werden".
  virtual std::string GetAsString();
  virtual void SetAsStringValue(const std::string& Value);
  virtual int32_t GetAsInteger();
  virtual void SetAsIntegerValue(int32_t Value);
  virtual int64_t GetAsLargeInt();
  virtual void SetAsLargeIntValue(int64_t Value);
  virtual double GetAsFloat();
  virtual void SetAsFloatValue(double Value);
  virtual Currency GetAsCurrency();
  virtual void SetAsCurrencyValue(Currency Value);
  virtual TBcd GetAsBCD();
  virtual void SetAsBCDValue(const TBcd& Value);
  virtual TDateTime GetAsDateTime();
  virtual void SetAsDateTimeValue(TDateTime Value);
  virtual bool GetAsBoolean();
  virtual void SetAsBooleanValue(bool Value);
  virtual Variant GetAsVariant();
  virtual void SetVarValue(const Variant& Value);
  virtual std::string GetText(bool DisplayText);
  // Called by the dataset when it binds (true) or unbinds (false) the field.
  virtual void Bind(bool Binding);
  [[noreturn]] void AccessError(const std::string& TypeName);
  [[noreturn]] void ConvertError(const std::string& Text, const std::string& Kind);
  void CheckInactive();
  // Range error "%s ist kein gültiger Wert für das Feld '%s'. Der erlaubte Bereich ist %s bis %s".
  [[noreturn]] void RangeError(const std::string& Value, const std::string& Min,
                               const std::string& Max);
  // Reads the native value into a DataSize buffer; false when null.
  bool GetNative(std::vector<uint8_t>& Buffer);

 private:
  TDataSet* FDataSet = nullptr;
  std::string FFieldName;
  TFieldType FDataType = ftUnknown;
  int FFieldNo = 0;
  TFieldKind FFieldKind = fkData;
  int FOffset = 0;
  int FSize = 0;
  bool FReadOnly = false;
  bool FRequired = false;
  bool FVisible = true;
  std::string FDisplayLabel;
  int FDisplayWidth = 0;
  std::string FDefaultExpression;
  TDataSet* FLookupDataSet = nullptr;
  std::string FLookupKeyFields;
  std::string FLookupResultField;
  std::string FKeyFields;
  const void* FValueBuffer = nullptr;  // pending value during Validate
  bool FValidating = false;
};

class TStringField : public TField {
  VCL_DECLARE_CLASS(TStringField, TField)
 public:
  explicit TStringField(TComponent* AOwner);
  int DataSize() const override { return Size() + 1; }
  bool FixedChar() const { return FFixedChar; }
  void SetFixedChar(bool Value) { FFixedChar = Value; }
  // The value as UTF-8; false when null.
  bool GetValue(std::string& Value);

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  int32_t GetAsInteger() override;
  void SetAsIntegerValue(int32_t Value) override;
  int64_t GetAsLargeInt() override;
  void SetAsLargeIntValue(int64_t Value) override;
  double GetAsFloat() override;
  void SetAsFloatValue(double Value) override;
  TBcd GetAsBCD() override;
  void SetAsBCDValue(const TBcd& Value) override;
  Currency GetAsCurrency() override;
  void SetAsCurrencyValue(Currency Value) override;
  TDateTime GetAsDateTime() override;
  void SetAsDateTimeValue(TDateTime Value) override;
  bool GetAsBoolean() override;
  void SetAsBooleanValue(bool Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;

 private:
  bool FFixedChar = false;
};

class TWideStringField : public TStringField {
  VCL_DECLARE_CLASS(TWideStringField, TStringField)
 public:
  explicit TWideStringField(TComponent* AOwner);
  int DataSize() const override { return (Size() + 1) * 2; }
  std::u16string AsWideString();
  void SetAsWideString(const std::u16string& Value);

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
};

class TNumericField : public TField {
  VCL_DECLARE_CLASS(TNumericField, TField)
 public:
  explicit TNumericField(TComponent* AOwner);
  // Empty, or a format for FormatFloat-like display: only the number of decimals after a
  // "0." or "#." prefix is used ("0.00" shows two decimals).
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value) { FDisplayFormat = Value; }
  const std::string& EditFormat() const { return FEditFormat; }
  void SetEditFormat(const std::string& Value) { FEditFormat = Value; }

 protected:
  // Display with DisplayFormat's number of decimals when set, else AsString.
  std::string GetText(bool DisplayText) override;

 private:
  std::string FDisplayFormat;
  std::string FEditFormat;
};

// ftInteger (and the base of the other integer fields, which narrow the native form).
class TIntegerField : public TNumericField {
  VCL_DECLARE_CLASS(TIntegerField, TNumericField)
 public:
  explicit TIntegerField(TComponent* AOwner);
  int DataSize() const override;
  // Both 0: no range check beyond the native type's range.
  int64_t MinValue() const { return FMinValue; }
  void SetMinValue(int64_t Value) { FMinValue = Value; }
  int64_t MaxValue() const { return FMaxValue; }
  void SetMaxValue(int64_t Value) { FMaxValue = Value; }

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  int32_t GetAsInteger() override;
  void SetAsIntegerValue(int32_t Value) override;
  int64_t GetAsLargeInt() override;
  void SetAsLargeIntValue(int64_t Value) override;
  double GetAsFloat() override;
  void SetAsFloatValue(double Value) override;
  Currency GetAsCurrency() override;
  void SetAsCurrencyValue(Currency Value) override;
  TBcd GetAsBCD() override;
  void SetAsBCDValue(const TBcd& Value) override;
  bool GetAsBoolean() override;
  void SetAsBooleanValue(bool Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;
  // Native value as 64-bit; false when null.
  bool ReadInt(int64_t& Value);
  // Range-checks and stores.
  void WriteInt(int64_t Value);
  int64_t TypeMin() const;
  int64_t TypeMax() const;

 private:
  int64_t FMinValue = 0;
  int64_t FMaxValue = 0;
};

class TSmallintField : public TIntegerField {
  VCL_DECLARE_CLASS(TSmallintField, TIntegerField)
 public:
  explicit TSmallintField(TComponent* AOwner);
};

class TWordField : public TIntegerField {
  VCL_DECLARE_CLASS(TWordField, TIntegerField)
 public:
  explicit TWordField(TComponent* AOwner);
};

class TAutoIncField : public TIntegerField {
  VCL_DECLARE_CLASS(TAutoIncField, TIntegerField)
 public:
  explicit TAutoIncField(TComponent* AOwner);
};

class TLargeintField : public TIntegerField {
  VCL_DECLARE_CLASS(TLargeintField, TIntegerField)
 public:
  explicit TLargeintField(TComponent* AOwner);
};

class TFloatField : public TNumericField {
  VCL_DECLARE_CLASS(TFloatField, TNumericField)
 public:
  explicit TFloatField(TComponent* AOwner);
  int DataSize() const override { return 8; }
  bool Currency() const { return FCurrency; }
  void SetCurrency(bool Value) { FCurrency = Value; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value) { FPrecision = Value < 2 ? 2 : (Value > 15 ? 15 : Value); }
  // Both 0: no range check.
  double MinValue() const { return FMinValue; }
  void SetMinValue(double Value) { FMinValue = Value; }
  double MaxValue() const { return FMaxValue; }
  void SetMaxValue(double Value) { FMaxValue = Value; }

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  int32_t GetAsInteger() override;
  void SetAsIntegerValue(int32_t Value) override;
  int64_t GetAsLargeInt() override;
  void SetAsLargeIntValue(int64_t Value) override;
  double GetAsFloat() override;
  void SetAsFloatValue(double Value) override;
  ::Currency GetAsCurrency() override;
  void SetAsCurrencyValue(::Currency Value) override;
  TBcd GetAsBCD() override;
  void SetAsBCDValue(const TBcd& Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;

 private:
  bool FCurrency = false;
  int FPrecision = 15;
  double FMinValue = 0;
  double FMaxValue = 0;
};

class TCurrencyField : public TFloatField {
  VCL_DECLARE_CLASS(TCurrencyField, TFloatField)
 public:
  explicit TCurrencyField(TComponent* AOwner);
};

// ftBCD: Size is the scale, Precision the number of digits (0: up to 64).
class TBCDField : public TNumericField {
  VCL_DECLARE_CLASS(TBCDField, TNumericField)
 public:
  explicit TBCDField(TComponent* AOwner);
  int DataSize() const override { return static_cast<int>(sizeof(TBcd)); }
  bool Currency() const { return FCurrency; }
  void SetCurrency(bool Value) { FCurrency = Value; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value) { FPrecision = Value; }

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  int32_t GetAsInteger() override;
  void SetAsIntegerValue(int32_t Value) override;
  int64_t GetAsLargeInt() override;
  void SetAsLargeIntValue(int64_t Value) override;
  double GetAsFloat() override;
  void SetAsFloatValue(double Value) override;
  ::Currency GetAsCurrency() override;
  void SetAsCurrencyValue(::Currency Value) override;
  TBcd GetAsBCD() override;
  void SetAsBCDValue(const TBcd& Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;

 private:
  bool FCurrency = false;
  int FPrecision = 0;
};

class TFMTBCDField : public TBCDField {
  VCL_DECLARE_CLASS(TFMTBCDField, TBCDField)
 public:
  explicit TFMTBCDField(TComponent* AOwner);
};

class TBooleanField : public TField {
  VCL_DECLARE_CLASS(TBooleanField, TField)
 public:
  explicit TBooleanField(TComponent* AOwner);
  int DataSize() const override { return 2; }
  // "TrueText;FalseText"; default "True;False".
  const std::string& DisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& Value);

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  bool GetAsBoolean() override;
  void SetAsBooleanValue(bool Value) override;
  int32_t GetAsInteger() override;
  void SetAsIntegerValue(int32_t Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;

 private:
  std::string FDisplayValues = "True;False";
  std::string FTrueText = "True";
  std::string FFalseText = "False";
};

// ftDateTime; the base of the date and time fields, which use their own native forms.
class TDateTimeField : public TField {
  VCL_DECLARE_CLASS(TDateTimeField, TField)
 public:
  explicit TDateTimeField(TComponent* AOwner);
  int DataSize() const override;
  // Empty: DateTimeToStr / DateToStr / TimeToStr; else a FormatDateTime format.
  const std::string& DisplayFormat() const { return FDisplayFormat; }
  void SetDisplayFormat(const std::string& Value) { FDisplayFormat = Value; }

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  TDateTime GetAsDateTime() override;
  void SetAsDateTimeValue(TDateTime Value) override;
  double GetAsFloat() override;
  void SetAsFloatValue(double Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;
  std::string GetText(bool DisplayText) override;

 private:
  std::string FDisplayFormat;
};

class TDateField : public TDateTimeField {
  VCL_DECLARE_CLASS(TDateField, TDateTimeField)
 public:
  explicit TDateField(TComponent* AOwner);
};

class TTimeField : public TDateTimeField {
  VCL_DECLARE_CLASS(TTimeField, TDateTimeField)
 public:
  explicit TTimeField(TComponent* AOwner);
};

// ftBytes: Size raw bytes.
class TBytesField : public TField {
  VCL_DECLARE_CLASS(TBytesField, TField)
 public:
  explicit TBytesField(TComponent* AOwner);
  int DataSize() const override { return Size(); }
  TBytes AsBytes();
  void SetAsBytes(const TBytes& Value);

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;
  // Writes Value as the field's native form (fixed or length-prefixed).
  virtual void StoreBytes(const uint8_t* Data, size_t Count);
  virtual bool LoadBytes(TBytes& Value);
};

// ftVarBytes: a 16-bit length and up to Size bytes.
class TVarBytesField : public TBytesField {
  VCL_DECLARE_CLASS(TVarBytesField, TBytesField)
 public:
  explicit TVarBytesField(TComponent* AOwner);
  int DataSize() const override { return Size() + 2; }

 protected:
  void StoreBytes(const uint8_t* Data, size_t Count) override;
  bool LoadBytes(TBytes& Value) override;
};

class TBlobField : public TField {
  VCL_DECLARE_CLASS(TBlobField, TField)
 public:
  explicit TBlobField(TComponent* AOwner);
  int DataSize() const override { return 0; }
  TFieldType BlobType() const { return DataType(); }
  void SetBlobType(TFieldType Value);
  // Size of the content in bytes (0 when null).
  int64_t BlobSize();
  // Set by blob streams that write the field; cleared by the dataset when a record is read.
  bool Modified() const { return FModified; }
  void SetModified(bool Value) { FModified = Value; }
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);
  TBytes AsBytes();
  void SetAsBytes(const TBytes& Value);
  void Clear() override;

 protected:
  std::string GetAsString() override;
  void SetAsStringValue(const std::string& Value) override;
  Variant GetAsVariant() override;
  void SetVarValue(const Variant& Value) override;
  std::string GetText(bool DisplayText) override;
  // The stored bytes <-> the field's text (memo fields convert code pages).
  virtual std::string BytesToText(const TBytes& Bytes);
  virtual TBytes TextToBytes(const std::string& Text);
  // The dataset's blob stream; EDatabaseError when the dataset offers none.
  std::unique_ptr<TStream> OpenStream(TBlobStreamMode Mode);

 private:
  bool FModified = false;
};

// ftMemo: 8-bit (Windows-1252) text.
class TMemoField : public TBlobField {
  VCL_DECLARE_CLASS(TMemoField, TBlobField)
 public:
  explicit TMemoField(TComponent* AOwner);

 protected:
  // The stream read straight into the text (no byte array between).
  std::string GetAsString() override;
  std::string BytesToText(const TBytes& Bytes) override;
  TBytes TextToBytes(const std::string& Text) override;
  std::string GetText(bool DisplayText) override;
};

// ftWideMemo: UTF-16 text.
class TWideMemoField : public TBlobField {
  VCL_DECLARE_CLASS(TWideMemoField, TBlobField)
 public:
  explicit TWideMemoField(TComponent* AOwner);

 protected:
  std::string BytesToText(const TBytes& Bytes) override;
  TBytes TextToBytes(const std::string& Text) override;
  std::string GetText(bool DisplayText) override;
};

class TGraphicField : public TBlobField {
  VCL_DECLARE_CLASS(TGraphicField, TBlobField)
 public:
  explicit TGraphicField(TComponent* AOwner);
};

// The standard field class of each data type (nullptr for types without one).
TClass DefaultFieldClass(TFieldType Type);

// ---------------------------------------------------------------------------------------------
// TFields: the ordered field list of a dataset (not owning: fields belong to their owner).

class TFields {
 public:
  explicit TFields(TDataSet* DataSet) : FDataSet(DataSet) {}
  TDataSet* DataSet() const { return FDataSet; }
  int Count() const { return static_cast<int>(FList.size()); }
  // EListError for an index out of range.
  TField* Fields(int Index) const;
  TField* operator[](int Index) const { return Fields(Index); }
  // Case-insensitive; nullptr when absent. FieldByName raises "Feld '%s' nicht gefunden".
  TField* FindField(const std::string& FieldName) const;
  TField* FieldByName(const std::string& FieldName) const;
  TField* FieldByNumber(int FieldNo) const;
  int IndexOf(const TField* Field) const;
  void Add(TField* Field);
  void Remove(TField* Field);
  void Move(int CurIndex, int NewIndex);
  // Destroys every field in the list (the fields leave it and their owners).
  void Clear();
  std::vector<TField*>::const_iterator begin() const { return FList.begin(); }
  std::vector<TField*>::const_iterator end() const { return FList.end(); }

 private:
  TDataSet* FDataSet;
  std::vector<TField*> FList;
};

// Splits "A;B;C" into names (blanks around names removed, empty names skipped).
std::vector<std::string> SplitFieldNames(const std::string& FieldNames);
