// Parameters of a prepared SQL text: the markers "?" and ":name" found by the splitter, numbered
// from 1 across the whole text, and the values the C API's setters give them.
//
// Numbering: every "?" is a parameter of its own; a ":name" is numbered at its first appearance
// and later appearances of the same name (letter case ignored) are the same parameter. Each
// statement's text is kept a second time with every marker written "?N" with its number, which
// is how the values reach SQLite (sqlite3_bind_* by number).
//
// Values are kept in the form the setter gave (text in the ANSI code page, numbers, Julian days,
// milliseconds, timestamps, bytes) and converted to SQL values when bound: dates as
// 'YYYY-MM-DD', times as 'HH:MM:SS.SSS', timestamps as 'YYYY-MM-DD HH:MM:SS.SSS', logicals 1/0,
// text as UTF-8. Pure data; safe on any thread that owns the object.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/status.h"
#include "engine/sql/statement_split.h"

namespace ace::sql {

struct ParamValue {
  enum class Kind {
    kUnset,    // no setter called since the text was prepared
    kNull,     // AdsSetNull / AdsSetEmpty
    kText,     // ANSI bytes
    kInteger,  // AdsSetLong / AdsSetShort
    kDouble,
    kLogical,    // integer 1 or 0
    kDate,       // julian
    kTime,       // milliseconds
    kTimestamp,  // julian and milliseconds
    kBinary,     // bytes
  };
  Kind kind = Kind::kUnset;
  std::string bytes;  // kText, kBinary
  int64_t integer = 0;
  double real = 0;
  int32_t julian = 0;
  int32_t milliseconds = 0;

  static ParamValue Null();
  static ParamValue Text(std::string ansi);
  static ParamValue Integer(int64_t v);
  static ParamValue Double(double v);
  static ParamValue Logical(bool v);
  static ParamValue Date(int32_t julian);
  static ParamValue Time(int32_t milliseconds);
  static ParamValue Timestamp(int32_t julian, int32_t milliseconds);
  static ParamValue Binary(std::string data);
};

// The SQL text of a date, time or timestamp value (see above). kErrValueOutOfRange for a day or
// time the engine cannot hold.
Result<std::string> SqlDateText(int32_t julian);
Result<std::string> SqlTimeText(int32_t milliseconds);
Result<std::string> SqlTimestampText(int32_t julian, int32_t milliseconds);

// One parameter of a text.
struct ParamSlot {
  std::string name;  // empty for "?"
  ParamValue value;
  // The buffer of AdsSetBinary while the chunks of a value arrive.
  std::string pending;
  uint32_t pending_total = 0;
  uint32_t pending_filled = 0;
};

class ParamSet {
 public:
  // Numbers the markers of statements (see above) and keeps each statement's text with its
  // markers as "?N" (the statements themselves keep their text as written, for messages).
  void Assign(const std::vector<Statement>& statements);
  // The text of statement index (0-based, as given to Assign) with its markers numbered.
  const std::string& NumberedText(size_t index) const { return texts_[index]; }
  size_t size() const { return slots_.size(); }
  ParamSlot& slot(size_t index) { return slots_[index]; }  // 0-based
  const ParamSlot& slot(size_t index) const { return slots_[index]; }
  // The 0-based index of a parameter name (with or without the leading ':'), or nullopt.
  std::optional<size_t> Find(std::string_view name) const;
  // Drops every value (the numbering stays).
  void ClearValues();

 private:
  std::vector<ParamSlot> slots_;
  std::vector<std::string> texts_;
};

}  // namespace ace::sql
