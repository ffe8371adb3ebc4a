// The query's answers to a data provider (ui/db/Provider.h): the order of its ORDER BY clause,
// its parameters, the table of its FROM clause, execution and the command text. The answers
// common to all datasets are in adsdata_provider.cpp.
#include <string>

#include "ads/adstable.h"

std::unique_ptr<TIndexDef> TAdsQuery::PSGetDefaultOrder() {
  if (std::unique_ptr<TIndexDef> def = IProviderSupport::PSGetDefaultOrder()) return def;
  return GetIndexForOrderBy(Text(), this);
}

void TAdsQuery::PSSetParams(TParams* AParams) {
  if (AParams != nullptr && AParams->Count() > 0) moParams->Assign(AParams);
  Close();
}

std::string TAdsQuery::PSGetTableName() {
  return GetTableNameFromSQL(Text());
}

void TAdsQuery::PSSetCommandText(const std::string& CommandText) {
  if (CommandText.empty()) return;
  TStringList lines;
  lines.SetText(CommandText);
  SetSQL(&lines);
}
