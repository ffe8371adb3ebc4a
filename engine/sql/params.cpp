// Parameter numbering, text rewriting and value texts (see params.h).
#include "engine/sql/params.h"

#include <algorithm>
#include <cctype>

#include "engine/base/error_codes.h"
#include "engine/fields/dates.h"

namespace ace::sql {
namespace {

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string TwoDigits(int v) {
  return std::string(1, static_cast<char>('0' + v / 10)) + static_cast<char>('0' + v % 10);
}

}  // namespace

ParamValue ParamValue::Null() {
  ParamValue v;
  v.kind = Kind::kNull;
  return v;
}
ParamValue ParamValue::Text(std::string ansi) {
  ParamValue v;
  v.kind = Kind::kText;
  v.bytes = std::move(ansi);
  return v;
}
ParamValue ParamValue::Integer(int64_t i) {
  ParamValue v;
  v.kind = Kind::kInteger;
  v.integer = i;
  return v;
}
ParamValue ParamValue::Double(double d) {
  ParamValue v;
  v.kind = Kind::kDouble;
  v.real = d;
  return v;
}
ParamValue ParamValue::Logical(bool b) {
  ParamValue v;
  v.kind = Kind::kLogical;
  v.integer = b ? 1 : 0;
  return v;
}
ParamValue ParamValue::Date(int32_t julian) {
  ParamValue v;
  v.kind = Kind::kDate;
  v.julian = julian;
  return v;
}
ParamValue ParamValue::Time(int32_t milliseconds) {
  ParamValue v;
  v.kind = Kind::kTime;
  v.milliseconds = milliseconds;
  return v;
}
ParamValue ParamValue::Timestamp(int32_t julian, int32_t milliseconds) {
  ParamValue v;
  v.kind = Kind::kTimestamp;
  v.julian = julian;
  v.milliseconds = milliseconds;
  return v;
}
ParamValue ParamValue::Binary(std::string data) {
  ParamValue v;
  v.kind = Kind::kBinary;
  v.bytes = std::move(data);
  return v;
}

Result<std::string> SqlDateText(int32_t julian) {
  auto ymd = fields::YmdFromJulian(julian);
  if (!ymd.ok()) return ymd.status();
  std::string year = std::to_string(ymd->year);
  while (year.size() < 4) year.insert(year.begin(), '0');
  return year + "-" + TwoDigits(ymd->month) + "-" + TwoDigits(ymd->day);
}

Result<std::string> SqlTimeText(int32_t milliseconds) {
  return fields::FormatTime(milliseconds, true);
}

Result<std::string> SqlTimestampText(int32_t julian, int32_t milliseconds) {
  auto date = SqlDateText(julian);
  if (!date.ok()) return date.status();
  auto time = SqlTimeText(milliseconds);
  if (!time.ok()) return time.status();
  return date.value() + " " + time.value();
}

void ParamSet::Assign(const std::vector<Statement>& statements) {
  slots_.clear();
  texts_.clear();
  for (const Statement& st : statements) {
    std::string rewritten;
    size_t copied = 0;
    for (const Parameter& p : st.parameters) {
      size_t number = 0;
      if (!p.name.empty()) {
        if (auto found = Find(p.name)) number = *found + 1;
      }
      if (number == 0) {
        slots_.push_back(ParamSlot{p.name, {}, {}, 0, 0});
        number = slots_.size();
      }
      const size_t at = p.at.offset - st.at.offset;
      size_t length = p.name.empty() ? 1 : p.name.size() + 1;
      if (at < copied || at + length > st.text.size()) continue;  // not in this text: keep it
      // "?7" is taken as a plain "?": its digits go with the marker, never glued to the number.
      while (p.name.empty() && at + length < st.text.size() &&
             std::isdigit(static_cast<unsigned char>(st.text[at + length])))
        ++length;
      rewritten.append(st.text, copied, at - copied);
      rewritten += "?" + std::to_string(number);
      copied = at + length;
    }
    rewritten.append(st.text, copied, std::string::npos);
    texts_.push_back(std::move(rewritten));
  }
}

std::optional<size_t> ParamSet::Find(std::string_view name) const {
  if (!name.empty() && name.front() == ':') name.remove_prefix(1);
  if (name.empty()) return std::nullopt;
  for (size_t i = 0; i < slots_.size(); ++i) {
    if (!slots_[i].name.empty() && SameNoCase(slots_[i].name, name)) return i;
  }
  return std::nullopt;
}

void ParamSet::ClearValues() {
  for (ParamSlot& s : slots_) s = ParamSlot{s.name, {}, {}, 0, 0};
}

}  // namespace ace::sql
