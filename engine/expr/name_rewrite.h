// Rewriting the field names of an expression text, for AdsExpressionLongToShort and
// AdsExpressionShortToLong: ADT tables have long field names, and the engine also accepts the
// 10-character short names of those fields. Only field names change; literals, function names,
// aliases, operators and spacing stay as written.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"

namespace ace::expr {

// Answers the replacement of a field name, or nothing to keep it.
using FieldNameMap = std::function<std::optional<std::string>(std::string_view name)>;

// The text with every field name replaced as map says. A text the lexer cannot read is
// kErrInvalidExpression.
Result<std::string> RewriteFieldNames(std::string_view text, const FieldNameMap& map);

// Short names for a table's long names, in the same order: a name of at most 10 bytes stays;
// a longer one is cut to 10, and where two cut names collide (without regard to case) or a cut
// name equals another field's name, the tail is replaced by "~N" with the smallest free N.
std::vector<std::string> MakeShortNames(const std::vector<std::string>& long_names);

}  // namespace ace::expr
