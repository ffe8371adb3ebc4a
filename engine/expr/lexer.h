// Tokens of the expression language. The lexer owns the rules for literals ('x', "x", [x],
// numbers, .T./.F./.Y./.N., {dates}), operators and names (alias->field and alias.field with
// the alias kept apart); the parser (parser.h) gives them meaning. Token offsets are kept so
// that errors can name a position and so that field names can be rewritten in place.
// The bare words AND, OR and NOT are operators, never names; numbers have no exponent form.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/expr/value.h"

namespace ace::expr {

enum class TokenKind : uint8_t {
  kEnd,
  kName,     // a field or function name (text); alias in `alias`
  kLiteral,  // string, number, date, timestamp or logical constant (value)
  kLParen,
  kRParen,
  kComma,
  kPlus,
  kMinus,
  kStar,
  kSlash,
  kPercent,
  kPower,  // ** ^
  kEq,     // =
  kEqEq,   // ==
  kNe,     // <> # !=
  kLt,
  kLe,
  kGt,
  kGe,
  kDollar,  // $
  kNot,     // .NOT. ! NOT
  kAnd,     // .AND. AND
  kOr,      // .OR. OR
};

struct Token {
  TokenKind kind = TokenKind::kEnd;
  size_t pos = 0;       // byte offset of the token in the text
  size_t len = 0;       // bytes of the token (for a name: alias and separator included)
  std::string text;     // kName: the field or function name; kLiteral: the source text
  std::string alias;    // kName: the alias before -> or ., empty when none
  size_t name_pos = 0;  // kName: byte offset of the name itself (after any alias)
  Value value;          // kLiteral
};

// Splits an expression into tokens, ending with one kEnd token at the text's length.
// A malformed literal or an unknown character is kErrInvalidExpression naming its position.
Result<std::vector<Token>> Tokenize(std::string_view text);

// The error of a bad expression: "<what> at position <pos + 1> in expression '<text>'".
Status ExpressionError(std::string_view what, size_t pos, std::string_view text);

// True for bytes that may start or continue a name (letters of Windows-1252 included).
bool IsNameStart(unsigned char c);
bool IsNameChar(unsigned char c);

}  // namespace ace::expr
