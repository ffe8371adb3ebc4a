// The table's answers to a data provider (ui/db/Provider.h): key fields, default order, index
// definitions, command text and parameters as a range on the current index. The answers common
// to all datasets are in adsdata_provider.cpp.
#include <string>

#include "ads/adstable.h"

namespace {

const TIndexOption kAllIndexOptions[] = {ixPrimary,         ixUnique,     ixDescending,
                                         ixCaseInsensitive, ixExpression, ixNonMaintained};

bool HasOneOf(TIndexOptions Options, TIndexOptions Wanted) {
  for (TIndexOption o : kAllIndexOptions)
    if (Wanted.Contains(o) && Options.Contains(o)) return true;
  return false;
}

}  // namespace

std::string TAdsTable::PSGetKeyFields() {
  std::string keys = IProviderSupport::PSGetKeyFields();
  if (!keys.empty() || !Exists()) return keys;
  mpoIndexDefs->Update();
  for (TIndexOptions wanted : {TIndexOptions{ixPrimary}, TIndexOptions{ixUnique}}) {
    for (int i = 0; i < mpoIndexDefs->Count(); ++i) {
      const TIndexDef* def = mpoIndexDefs->Items(i);
      if (HasOneOf(def->Options(), wanted) && !def->Options().Contains(ixExpression) &&
          !def->Fields().empty())
        return def->Fields();
    }
  }
  return "";
}

void TAdsTable::PSSetCommandText(const std::string& CommandText) {
  if (CommandText.empty()) return;
  Close();
  SetTableName(CommandText);
}

std::unique_ptr<TIndexDef> TAdsTable::PSGetDefaultOrder() {
  if (!mstrIndexName.empty()) {
    const std::string name =
        SameText(mstrIndexName, "ADS_DEFAULT") ? mstrDefaultIndex : mstrIndexName;
    if (name.empty()) return nullptr;
    mpoIndexDefs->Update();
    auto def = std::make_unique<TIndexDef>(nullptr);
    def->Assign(mpoIndexDefs->Find(name));
    return def;
  }
  if (!mstrIndexFieldNames.empty()) {
    auto def = std::make_unique<TIndexDef>(nullptr);
    def->SetFields(mstrIndexFieldNames);
    return def;
  }
  return nullptr;
}

std::unique_ptr<TIndexDefs> TAdsTable::PSGetIndexDefs(TIndexOptions IndexTypes) {
  mpoIndexDefs->Update();
  auto defs = std::make_unique<TIndexDefs>(nullptr);
  for (int i = 0; i < mpoIndexDefs->Count(); ++i) {
    TIndexDef* def = mpoIndexDefs->Items(i);
    if (IndexTypes.Empty() || HasOneOf(def->Options(), IndexTypes))
      defs->AddIndexDef()->Assign(def);
  }
  return defs;
}

void TAdsTable::PSSetParams(TParams* AParams) {
  if (AParams != nullptr && AParams->Count() > 0) {
    Open();
    auto assign = [&] {
      for (int i = 0; i < AParams->Count(); ++i) {
        TParam* p = AParams->Items(i);
        TField* f = p->Name().empty()
                        ? FieldByName(ActiveIndexSegmentName(static_cast<uint16_t>(i)))
                        : FieldByName(p->Name());
        f->SetAsVariant(p->Value());
      }
    };
    SetRangeStart();
    assign();
    SetRangeEnd();
    assign();
    ApplyRange();
  } else if (Active()) {
    CancelRange();
  }
  PSReset();
}
