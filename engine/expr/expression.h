// A compiled xBase expression: the one entry point for index keys, FOR conditions, filters,
// the Eval* functions of the C API and AdsLocate. Compile once, evaluate per record.
//
// Compile checks names and types against a RecordSource (fields are looked up once and kept
// as FieldRefs) and fixes the result type and, for character and numeric results, the result
// length that index keys use. Errors are kErrInvalidExpression with the 1-based position.
// Evaluate reads field values through a RecordSource; it does not modify the Expression, so one
// compiled expression may be evaluated from several threads with sources of their own.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/expr/collation.h"
#include "engine/expr/node.h"
#include "engine/expr/record_source.h"
#include "engine/expr/value.h"

namespace ace::expr {

// How an evaluation compares and what "now" is.
struct EvalOptions {
  // Exact string comparison for = and <> (the cursor's exact setting). When false, `a = b`
  // compares a only as far as b is long, so 'Meier' = 'Mei' holds; when true, trailing blanks
  // are ignored and the texts must be equal. `==` is always exact.
  bool exact = false;
  // Collation of character comparisons; null means machine order.
  const Collation* collation = nullptr;
  // The date format of CTOD and DTOC (DD, MM, YYYY or YY and separators), e.g. "DD.MM.YYYY".
  std::string date_format = std::string(kDefaultDateFormat);
  // The local date and time for DATE(), TODAY(), TIME() and NOW(); null = the system clock.
  std::function<Value()> now;
};

// The answers of AdsEvalTestExpr: 1 logical, 2 numeric, 3 date, 4 character, 14 timestamp.
uint16_t ExpressionTypeCode(ValueType type);

class Expression {
 public:
  // schema may be null: then any field name is an error (constant expressions only).
  static Result<Expression> Compile(std::string_view text, const RecordSource* schema);

  Expression(Expression&&) noexcept = default;
  Expression& operator=(Expression&&) noexcept = default;

  Result<Value> Evaluate(const RecordSource& record, const EvalOptions& options = {}) const;
  // Evaluates a logical expression; a null result counts as false.
  Result<bool> EvaluateLogical(const RecordSource& record, const EvalOptions& options = {}) const;

  const std::string& text() const { return text_; }
  ValueType type() const { return root_->type; }
  // Character: characters; numeric: display width. 0 when it depends on the data.
  uint32_t length() const { return root_->length; }
  uint16_t decimals() const { return root_->decimals; }
  const Node& root() const { return *root_; }

  // The normalized text: upper-case full names, no aliases, fixed operator spellings. Two
  // expressions with the same canonical text compute the same value.
  std::string Canonical() const;
  // Names of the fields the expression reads, in order of first appearance.
  std::vector<std::string> FieldNames() const;

  // The parts of an index key: the operands of a top-level chain of character concatenations
  // (UPPER(NAME)+DTOS(GEBURT) has two), or the whole expression. A segment names the first
  // field it reads (empty for a constant part), its canonical text and its length.
  struct Segment {
    std::string field;
    std::string text;
    uint32_t length = 0;
  };
  std::vector<Segment> KeySegments() const;

 private:
  Expression(std::string text, std::unique_ptr<Node> root)
      : text_(std::move(text)), root_(std::move(root)) {}
  std::string text_;
  std::unique_ptr<Node> root_;
};

// The canonical text of a subtree (see Expression::Canonical).
std::string CanonicalText(const Node& node);

// Evaluation of a subtree, for the optimized-filter analysis.
Result<Value> EvaluateNode(const Node& node, const RecordSource* record,
                           const EvalOptions& options);

// STR's text of a number: right-aligned in width with decimals places, rounded half away from
// zero; width asterisks when it does not fit.
std::string FormatNumber(double value, int width, int decimals);
// KEYNUM's text of a number: width digits of the value rounded to decimals places (the point
// left out) after a sign character, '0' for negative values, whose digits are the nines'
// complement, '1' for the others; so the texts sort as the numbers do in every collation. Null
// is width + 1 blanks (before every number); a value wider than width digits is held at the
// largest magnitude.
inline constexpr uint32_t kMaxKeyNumWidth = 255;
std::string SortableNumber(const Value& value, int width, int decimals);
// Rounds half away from zero to decimals places (decimals may be negative).
double RoundHalfAway(double value, int decimals);
// VAL: the leading number of a text (blanks skipped); 0 for text without one.
double ParseLeadingNumber(std::string_view text);

}  // namespace ace::expr
