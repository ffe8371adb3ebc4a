// Query parameters (TParam, TParams with the SQL parameter parse) and index definitions
// (TIndexDef, TIndexDefs).
//
// Both lists are collections owned by their dataset or query. Look-ups by name ignore case.
// Errors are EDatabaseError with German texts.
#pragma once

#include <string>
#include <vector>

#include "ui/db/DataSet.h"

enum TParamType { ptUnknown, ptInput, ptOutput, ptInputOutput, ptResult };

class TParams;

class TParam : public TCollectionItem {
  VCL_DECLARE_CLASS(TParam, TCollectionItem)
 public:
  explicit TParam(TCollection* Collection);
  TParam(TParams* Params, TParamType ParamType);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  TFieldType DataType() const { return FDataType; }
  // Changing the type converts a present value to the new type where it can.
  void SetDataType(TFieldType Value);
  TParamType ParamType() const { return FParamType; }
  void SetParamType(TParamType Value) { FParamType = Value; }
  // True once the application (or an assignment) gave the parameter a value.
  bool Bound() const { return FBound; }
  void SetBound(bool Value) { FBound = Value; }
  int Size() const { return FSize; }
  void SetSize(int Value) { FSize = Value; }
  int Precision() const { return FPrecision; }
  void SetPrecision(int Value) { FPrecision = Value; }
  int NumericScale() const { return FNumericScale; }
  void SetNumericScale(int Value) { FNumericScale = Value; }

  // The value; Null when the parameter has none. Setting a value binds the parameter; with
  // DataType ftUnknown the type follows the value's type.
  const Variant& Value() const { return FData; }
  void SetValue(const Variant& Value);
  bool IsNull() const { return VarIsNullOrEmpty(FData); }
  // Null value; the parameter stays bound to that null.
  void Clear() { FData = Null(); }

  // Typed access. A null parameter reads as "" / 0 / False. Each setter also sets DataType.
  std::string AsString() const;
  void SetAsString(const std::string& Value);
  int32_t AsInteger() const;
  void SetAsInteger(int32_t Value);
  int32_t AsSmallInt() const { return AsInteger(); }
  void SetAsSmallInt(int32_t Value);
  int32_t AsWord() const { return AsInteger(); }
  void SetAsWord(int32_t Value);
  int64_t AsLargeInt() const;
  void SetAsLargeInt(int64_t Value);
  double AsFloat() const;
  void SetAsFloat(double Value);
  Currency AsCurrency() const;
  void SetAsCurrency(Currency Value);
  TBcd AsBCD() const;
  void SetAsBCD(const TBcd& Value);
  TBcd AsFMTBCD() const { return AsBCD(); }
  void SetAsFMTBCD(const TBcd& Value);
  bool AsBoolean() const;
  void SetAsBoolean(bool Value);
  TDateTime AsDateTime() const;
  void SetAsDateTime(TDateTime Value);
  TDateTime AsDate() const { return AsDateTime(); }
  void SetAsDate(TDateTime Value);
  TDateTime AsTime() const { return AsDateTime(); }
  void SetAsTime(TDateTime Value);
  TBytes AsBlob() const;
  void SetAsBlob(const TBytes& Value);
  std::string AsMemo() const { return AsString(); }
  void SetAsMemo(const std::string& Value);

  // Type (ftAutoInc becomes ftInteger), value and name of Field; Bound becomes true.
  void AssignField(TField* Field);
  // Type and value of Field, name kept.
  void AssignFieldValue(TField* Field, const Variant& Value);
  void Assign(TPersistent* Source) override;
  std::string DisplayName() const override { return FName; }

 private:
  void SetTypedValue(TFieldType Type, Variant Value);

  std::string FName;
  TFieldType FDataType = ftUnknown;
  TParamType FParamType = ptUnknown;
  Variant FData = Null();
  bool FBound = false;
  int FSize = 0;
  int FPrecision = 0;
  int FNumericScale = 0;
};

class TParams : public TOwnedCollection {
  VCL_DECLARE_CLASS(TParams, TOwnedCollection)
 public:
  explicit TParams(TPersistent* Owner = nullptr);

  TParam* Items(int Index) const;
  TParam* AddParam(TParam* Value);
  void RemoveParam(TParam* Value);
  TParam* CreateParam(TFieldType FieldType, const std::string& ParamName, TParamType ParamType);
  // First parameter of that name (ignoring case), or nullptr.
  TParam* FindParam(const std::string& Value) const;
  // As FindParam; EDatabaseError "Parameter '%s' nicht gefunden" when absent.
  TParam* ParamByName(const std::string& Value) const;
  // Values of "A;B" (an array for more than one) and their assignment.
  Variant ParamValues(const std::string& ParamName) const;
  void SetParamValues(const std::string& ParamName, const Variant& Value);
  void GetParamList(std::vector<TParam*>& List, const std::string& ParamNames) const;
  // For every parameter of Value whose name this list has: copies it (type, value, bound...).
  void AssignValues(TParams* Value);
  bool IsEqual(TParams* Value) const;

  // Finds the parameters of an SQL text: ":name", ":"quoted name"" and "?" outside quotes
  // ('...', "...", `...`, [...]) and comments (-- to the end of the line, /* ... */); "::"
  // stands for one colon. With DoCreate the list is cleared and one parameter (ptInput, type
  // ftUnknown) is added per occurrence, in order; "?" gives one without a name. Answers the text
  // with every parameter replaced by "?".
  std::string ParseSQL(const std::string& SQL, bool DoCreate);

  void Assign(TPersistent* Source) override;
};

// ---------------------------------------------------------------------------------------------
// Index definitions

enum TIndexOption {
  ixPrimary,
  ixUnique,
  ixDescending,
  ixCaseInsensitive,
  ixExpression,
  ixNonMaintained
};
using TIndexOptions = TSet<TIndexOption>;

class TIndexDefs;

class TIndexDef : public TCollectionItem {
  VCL_DECLARE_CLASS(TIndexDef, TCollectionItem)
 public:
  explicit TIndexDef(TCollection* Collection);
  TIndexDef(TIndexDefs* Owner, const std::string& Name, const std::string& Fields,
            TIndexOptions Options);

  const std::string& Name() const { return FName; }
  void SetName(const std::string& Value) { FName = Value; }
  // Segment field names joined with ";"; empty for an expression index.
  const std::string& Fields() const { return FFields; }
  void SetFields(const std::string& Value);
  const std::string& Expression() const { return FExpression; }
  void SetExpression(const std::string& Value);
  TIndexOptions Options() const { return FOptions; }
  void SetOptions(TIndexOptions Value) { FOptions = Value; }
  const std::string& DescFields() const { return FDescFields; }
  void SetDescFields(const std::string& Value) { FDescFields = Value; }
  const std::string& CaseInsFields() const { return FCaseInsFields; }
  void SetCaseInsFields(const std::string& Value) { FCaseInsFields = Value; }
  const std::string& Source() const { return FSource; }
  void SetSource(const std::string& Value) { FSource = Value; }
  int GroupingLevel() const { return FGroupingLevel; }
  void SetGroupingLevel(int Value) { FGroupingLevel = Value; }
  void Assign(TPersistent* Source) override;
  std::string DisplayName() const override { return FName; }

 private:
  std::string FName;
  std::string FFields;
  std::string FExpression;
  TIndexOptions FOptions;
  std::string FDescFields;
  std::string FCaseInsFields;
  std::string FSource;
  int FGroupingLevel = 0;
};

class TIndexDefs : public TOwnedCollection {
  VCL_DECLARE_CLASS(TIndexDefs, TOwnedCollection)
 public:
  explicit TIndexDefs(TDataSet* DataSet);

  TDataSet* DataSet() const { return FDataSet; }
  TIndexDef* Items(int Index) const;
  TIndexDef* AddIndexDef();
  // EDatabaseError "Doppelter Indexname '%s'" for a taken name.
  TIndexDef* Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  int IndexOf(const std::string& Name) const;
  // EDatabaseError "Index '%s' nicht gefunden".
  TIndexDef* Find(const std::string& Name) const;
  // An index (not descending, not an expression) whose fields are exactly Fields, else one
  // whose leading fields are Fields; names compare case-sensitively. CaseInsensitive asks for
  // an ixCaseInsensitive index. nullptr when none.
  TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const;
  // As GetIndexForFields (case-sensitive index); EDatabaseError "Kein Index für die Felder
  // '%s'" when none.
  TIndexDef* FindIndexForFields(const std::string& Fields) const;
  // Re-reads the definitions from the dataset (TDataSet::UpdateIndexDefs), marks them updated.
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
