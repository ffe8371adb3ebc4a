// C API of expressions: evaluation on the current record (AdsEval*, AdsIsExprValid), the exact
// comparison setting, and the rewriting of field names between long and short forms. The
// expression language is engine/expr; the record it reads is the cursor's current one.
#include <cmath>
#include <string>
#include <vector>

#include "engine/api/api_guard.h"
#include "engine/api/api_objects.h"
#include "engine/base/error_codes.h"
#include "engine/expr/expression.h"
#include "engine/expr/name_rewrite.h"
#include "engine/include/ace.h"

using namespace ace;
using namespace ace::api;

namespace {

// Compiles text against the cursor's table and evaluates it on the current record.
Result<expr::Value> EvaluateOnCurrent(cursor::Cursor& c, const UNSIGNED8* text,
                                      expr::ValueType* type) {
  auto in = InText(text, "pucExpr");
  if (!in.ok()) return in.status();
  const index::TableRecordSource& source = c.CurrentSource();
  Result<expr::Expression> compiled = expr::Expression::Compile(in.value(), &source);
  if (!compiled.ok()) return compiled.status();
  *type = compiled->type();
  return compiled->Evaluate(source, c.EvalOptions());
}

Status WrongType(const UNSIGNED8* text, expr::ValueType got, const char* wanted) {
  return Status(kErrInvalidExpression,
                std::string("the expression ") + reinterpret_cast<const char*>(text) + " is " +
                    std::string(expr::ValueTypeName(got)) + ", not " + wanted);
}

// The text form of a value for AdsEvalStringExpr.
std::string ValueText(const expr::Value& v) {
  if (v.is_null) return std::string();
  switch (v.type) {
    case expr::ValueType::kCharacter:
      return v.text;
    case expr::ValueType::kNumeric: {
      if (v.width > 0) return expr::FormatNumber(v.number, v.width, v.decimals);
      std::string s = expr::FormatNumber(v.number, 20, v.decimals);
      return s.substr(std::min(s.find_first_not_of(' '), s.size()));
    }
    case expr::ValueType::kDate:
      return expr::FormatDtos(v.julian);
    case expr::ValueType::kLogical:
      return v.logical ? "T" : "F";
    case expr::ValueType::kTimestamp:
      return expr::FormatTimestamp(v.julian, v.millis);
    default:
      return std::string();
  }
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (expr::UpperChar(a[i]) != expr::UpperChar(b[i])) return false;
  }
  return true;
}

// Rewrites the field names of an expression of an ADT table: long to short (to_short) or
// back. Other tables keep the text.
Result<std::string> RewriteNames(cursor::Cursor& c, std::string_view text, bool to_short) {
  if (c.file().type() != storage::TableType::kAdt) return std::string(text);
  std::vector<std::string> names;
  for (const storage::FieldDesc& f : c.file().fields()) names.push_back(f.name);
  const std::vector<std::string> shorts = expr::MakeShortNames(names);
  return expr::RewriteFieldNames(text, [&](std::string_view name) -> std::optional<std::string> {
    for (size_t i = 0; i < names.size(); ++i) {
      if (to_short && SameName(name, names[i])) return shorts[i];
    }
    if (to_short) return std::nullopt;
    for (size_t i = 0; i < names.size(); ++i) {
      if (SameName(name, names[i])) return std::nullopt;  // a field's own name stays
    }
    for (size_t i = 0; i < names.size(); ++i) {
      if (SameName(name, shorts[i])) return names[i];
    }
    return std::nullopt;
  });
}

UNSIGNED32 Rewrite(ADSHANDLE hTable, const UNSIGNED8* in, UNSIGNED8* out, UNSIGNED16* len,
                   bool to_short) {
  return OnTableOf(hTable, [&](cursor::Cursor& c) -> Status {
    auto text = InText(in, "the expression");
    if (!text.ok()) return text.status();
    auto rewritten = RewriteNames(c, text.value(), to_short);
    if (!rewritten.ok()) return rewritten.status();
    return CopyOutText(rewritten.value(), out, len);
  });
}

}  // namespace

extern "C" {

ACE_API UNSIGNED32 AdsEvalLogicalExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr,
                                      UNSIGNED16* pbResult) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbResult, "pbResult"));
    expr::ValueType type{};
    auto v = EvaluateOnCurrent(c, pucExpr, &type);
    if (!v.ok()) return v.status();
    if (type != expr::ValueType::kLogical) return WrongType(pucExpr, type, "logical");
    *pbResult = v->logical && !v->is_null ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsEvalNumericExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, DOUBLE* pdResult) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pdResult, "pdResult"));
    expr::ValueType type{};
    auto v = EvaluateOnCurrent(c, pucExpr, &type);
    if (!v.ok()) return v.status();
    if (type == expr::ValueType::kNumeric) {
      *pdResult = v->is_null ? 0.0 : v->number;
    } else if (type == expr::ValueType::kDate) {
      *pdResult = v->is_null ? 0.0 : static_cast<double>(v->julian);
    } else {
      return WrongType(pucExpr, type, "numeric");
    }
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsEvalStringExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED8* pucResult,
                                     UNSIGNED16* pusLen) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    expr::ValueType type{};
    auto v = EvaluateOnCurrent(c, pucExpr, &type);
    if (!v.ok()) return v.status();
    return CopyOutText(ValueText(*v), pucResult, pusLen);
  });
}

ACE_API UNSIGNED32 AdsEvalTestExpr(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pusType) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pusType, "pusType"));
    auto text = InText(pucExpr, "pucExpr");
    if (!text.ok()) return text.status();
    index::TableRecordSource schema(&c.file());
    Result<expr::Expression> compiled = expr::Expression::Compile(text.value(), &schema);
    if (!compiled.ok()) return compiled.status();
    *pusType = expr::ExpressionTypeCode(compiled->type());
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsIsExprValid(ADSHANDLE hObj, const UNSIGNED8* pucExpr, UNSIGNED16* pbValid) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbValid, "pbValid"));
    auto text = InText(pucExpr, "pucExpr");
    if (!text.ok()) return text.status();
    index::TableRecordSource schema(&c.file());
    *pbValid = expr::Expression::Compile(text.value(), &schema).ok() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsSetExact22(ADSHANDLE hObj, UNSIGNED16 bMode) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    c.set_exact(bMode != 0);
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsGetExact22(ADSHANDLE hObj, UNSIGNED16* pbExact) {
  return OnTableOf(hObj, [&](cursor::Cursor& c) -> Status {
    ACE_RETURN_IF_ERROR(RequireOut(pbExact, "pbExact"));
    *pbExact = c.exact() ? 1 : 0;
    return Status::Ok();
  });
}

ACE_API UNSIGNED32 AdsExpressionLongToShort(ADSHANDLE hTable, const UNSIGNED8* pucLongExpr,
                                            UNSIGNED8* pucShortExpr, UNSIGNED16* pusLen) {
  return Rewrite(hTable, pucLongExpr, pucShortExpr, pusLen, true);
}

ACE_API UNSIGNED32 AdsExpressionShortToLong(ADSHANDLE hTable, const UNSIGNED8* pucShortExpr,
                                            UNSIGNED8* pucLongExpr, UNSIGNED16* pusLen) {
  return Rewrite(hTable, pucShortExpr, pucLongExpr, pusLen, false);
}

}  // extern "C"
