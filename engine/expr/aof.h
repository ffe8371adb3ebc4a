// Optimization analysis of filter expressions: which parts of a filter the open indexes can
// answer. The cursor layer (engine/cursor) turns the analysis into a record bitmap, reading the
// index-resolved terms from the indexes and scanning the records for the rest.
//
// A filter is decomposed into a tree of AND, OR and NOT over terms. A term is resolvable when
// it compares an index's key expression with a constant (`NAME = 'Meier'`,
// `UPPER(NAME) >= 'M'`, `{^2010-01-01} < GEBURT`; the constant side may be any expression
// without fields, DELETED() or RECNO()), when it compares the first part of a character key
// built by concatenation (`NAME` on an index `NAME+ORT`), or when it is a
// logical key expression by itself (`AKTIV`, `.NOT. AKTIV`). Levels combine thus:
//   term: full when resolvable, else none;
//   AND: full when every child is full, partial when any child is full or partial, else none;
//   OR: full when every child is full, partial when every child is at least partial, else none;
//   NOT: full when its child is full, else none.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "engine/base/status.h"
#include "engine/expr/expression.h"
#include "engine/expr/key_encoding.h"

namespace ace::expr {

// The numbers of the C API: 1 full, 2 partial, 3 none.
enum class OptLevel : uint16_t { kFull = 1, kPartial = 2, kNone = 3 };

struct AofTerm {
  const Node* node = nullptr;  // the term in the filter's tree
  std::string text;            // its canonical text
  bool resolvable = false;
  int index = -1;            // position of the index key expression that resolves it
  Op op = Op::kNone;         // with the key on the left: = == <> < <= > >=
  Value constant;            // the value the key is compared with
  bool key_prefix = false;   // the term compares only the leading part of a concatenated key
  uint32_t part_length = 0;  // characters of the compared key part (character keys)
};

struct AofNode {
  enum class Kind : uint8_t { kAnd, kOr, kNot, kTerm } kind = Kind::kTerm;
  std::vector<AofNode> children;
  int term = -1;  // kTerm: position in AofPlan::terms
  OptLevel level = OptLevel::kNone;
};

struct AofPlan {
  OptLevel level = OptLevel::kNone;
  AofNode root;
  std::vector<AofTerm> terms;
  // The part of the filter that the indexes do not resolve, as expression text ("" when the
  // level is full): what a scan must still test on the records the indexes leave.
  std::string residual;
};

// The keys of an index (spec) that satisfy a resolvable term: the records whose keys lie
// between low and high (a missing bound is open), or, with complement, all the others.
// Character terms follow the comparison rules of evaluation: with exact off, `=` holds for the
// keys that start with the constant; with exact on (or ==), for the constant padded with
// blanks to the compared part's length. The constant's weights come from the index's collation.
struct KeyRange {
  std::optional<std::string> low;
  bool low_inclusive = true;
  std::optional<std::string> high;
  bool high_inclusive = true;
  bool complement = false;
};
Result<KeyRange> TermKeyRange(const AofTerm& term, const KeySpec& spec, bool exact);

// Analyzes a logical filter expression against the key expressions of the open indexes.
// The plan points into filter's tree and lives no longer than filter. A filter that is not
// logical is kErrInvalidExpression.
Result<AofPlan> AnalyzeFilter(const Expression& filter,
                              const std::vector<const Expression*>& index_keys,
                              const EvalOptions& options = {});

}  // namespace ace::expr
