// The compiled form of an expression: a tree of typed nodes. The parser (parser.cpp) builds
// and type-checks it; expression.cpp evaluates it; aof.cpp and key building read it. Every
// node knows its result type, and character and numeric nodes their fixed length (0 when the
// length depends on the data, e.g. TRIM of a memo).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/expr/record_source.h"
#include "engine/expr/value.h"

namespace ace::expr {

enum class NodeKind : uint8_t { kLiteral, kField, kUnary, kBinary, kCall };

enum class Op : uint8_t {
  kNone,
  kNeg,
  kPos,
  kNot,
  kPow,
  kMul,
  kDiv,
  kMod,
  kAdd,
  kSub,
  kEq,    // =  (prefix comparison of strings unless exact)
  kEqEq,  // == (exact)
  kNe,    // <> # !=
  kLt,
  kLe,
  kGt,
  kGe,
  kIn,  // $ : left is a substring of right
  kAnd,
  kOr,
};

// The built-in functions.
enum class Fn : uint8_t {
  kUpper,
  kLower,
  kTrim,
  kRtrim,
  kLtrim,
  kAlltrim,
  kSubstr,
  kLeft,
  kRight,
  kStr,
  kVal,
  kLen,
  kSpace,
  kReplicate,
  kPadl,
  kPadr,
  kPadc,
  kAt,
  kRat,
  kDtos,
  kDtoc,
  kCtod,
  kStod,
  kDate,
  kToday,
  kTime,
  kYear,
  kMonth,
  kDay,
  kDow,
  kCdow,
  kCmonth,
  kIif,
  kEmpty,
  kDeleted,
  kRecno,
  kContains,
  kCtot,
  kCtots,
  kTtoc,
  kAbs,
  kInt,
  kRound,
  kMax,
  kMin,
  kMod,
  kBetween,
  kIsNull,
  kNow,
  kChr,
  kAsc,
  kKeyNum,  // KEYNUM(n, width, decimals): the text of n that sorts as n (keys of segments)
};

struct Node {
  NodeKind kind = NodeKind::kLiteral;
  Op op = Op::kNone;                        // kUnary, kBinary
  Fn fn = Fn::kUpper;                       // kCall
  size_t pos = 0;                           // byte offset in the source text, for messages
  Value literal;                            // kLiteral
  FieldRef field;                           // kField
  std::vector<std::unique_ptr<Node>> args;  // operands or arguments
  ValueType type = ValueType::kNull;        // result type
  uint32_t length = 0;                      // character/numeric: fixed length, 0 = variable
  uint16_t decimals = 0;                    // numeric: decimal places
  uint32_t depth = 1;                       // levels of the subtree (a leaf is 1)
};

// The deepest tree and the deepest nesting of parentheses and calls that Compile accepts, so
// that evaluation's recursion stays far from the end of any thread's stack.
inline constexpr uint32_t kMaxTreeDepth = 2000;
inline constexpr uint32_t kMaxNesting = 200;

// The canonical name of a built-in function ("SUBSTR").
const char* FunctionName(Fn fn);

// STR's width when none is given: a field's own width, else ten.
uint32_t DefaultStrWidth(const Node& n);

}  // namespace ace::expr
