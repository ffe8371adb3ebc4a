// Multi-segment index keys (see key_segments.h).
#include "engine/expr/key_segments.h"

#include <algorithm>

#include "engine/base/error_codes.h"

namespace ace::expr {
namespace {

std::string Trim(std::string_view s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string_view::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return std::string(s.substr(b, e - b + 1));
}

// The segment as a character expression of fixed length, or an error for a type that has none.
Result<std::string> AsCharacter(const std::string& text, const Expression& e, size_t number) {
  const std::string inner = "(" + text + ")";
  switch (e.type()) {
    case ValueType::kCharacter:
      return inner;
    case ValueType::kDate:
      return "DTOS" + inner;
    case ValueType::kLogical:
      return "IIF(" + text + ", 'T', 'F')";
    case ValueType::kNumeric: {
      // As many digits as the value's display width; a text that sorts as the number does.
      const uint32_t width = e.length() == 0 ? 20 : std::min(e.length(), kMaxKeyNumWidth);
      return "KEYNUM(" + text + ", " + std::to_string(width) + ", " + std::to_string(e.decimals()) +
             ")";
    }
    default:
      return Status(kErrInvalidExpression, "Segment " + std::to_string(number) + " ('" + text +
                                               "') of the index key is of a type that cannot "
                                               "be part of a key of several segments");
  }
}

}  // namespace

std::vector<std::string> SplitKeySegments(std::string_view text) {
  std::vector<std::string> out;
  int depth = 0;
  char quote = 0;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quote != 0) {
      if (c == quote) quote = 0;
      continue;
    }
    if (c == '\'' || c == '"') {
      quote = c;
    } else if (c == '[') {
      quote = ']';
    } else if (c == '(') {
      ++depth;
    } else if (c == ')') {
      --depth;
    } else if (c == ';' && depth == 0) {
      out.push_back(Trim(text.substr(start, i - start)));
      start = i + 1;
    }
  }
  out.push_back(Trim(text.substr(start)));
  return out;
}

Result<Expression> CompileKeyExpression(std::string_view text, const RecordSource* schema) {
  std::vector<std::string> segments = SplitKeySegments(text);
  if (segments.size() == 1) return Expression::Compile(text, schema);
  std::string joined;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (segments[i].empty())
      return Status(kErrInvalidExpression, "Segment " + std::to_string(i + 1) +
                                               " of the index key '" + std::string(text) +
                                               "' is empty");
    Result<Expression> part = Expression::Compile(segments[i], schema);
    if (!part.ok())
      return part.status().WithContext("segment " + std::to_string(i + 1) + " of index key '" +
                                       std::string(text) + "'");
    Result<std::string> character = AsCharacter(segments[i], *part, i + 1);
    if (!character.ok()) return character.status();
    joined += (i == 0 ? "" : " + ") + *character;
  }
  return Expression::Compile(joined, schema);
}

}  // namespace ace::expr
