// Multi-segment index keys: "UPPER(Name);Ort" names a key made of several expressions, each
// sorted after the one before it. The segments are joined into one character expression (the
// parts of a concatenation, as Expression::KeySegments sees them again): character segments as
// they are, dates as DTOS, numbers as KEYNUM with their display width and decimals (a sign and
// digits that sort as the numbers do, negative ones included), logicals as 'T'/'F'. A timestamp
// or memo segment cannot be part of such a key. A numeric segment is one character wider than
// the number's display width, so an index file written when such segments were STR texts has
// another key length and is not taken for a current one.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/expr/expression.h"
#include "engine/expr/record_source.h"

namespace ace::expr {

// The segments of a key text split at the ';' outside literals and parentheses; one segment
// when there is no such ';'. Blanks around each segment are dropped.
std::vector<std::string> SplitKeySegments(std::string_view text);

// Compiles an index key expression against schema, joining ';'-separated segments as described
// above. A segment that does not compile is kErrInvalidExpression naming the segment.
Result<Expression> CompileKeyExpression(std::string_view text, const RecordSource* schema);

}  // namespace ace::expr
