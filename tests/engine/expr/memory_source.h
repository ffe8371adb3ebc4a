// An in-memory record source for the expression tests: named fields with a type, a length and
// a current value, plus a record number and deletion mark.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "engine/base/error_codes.h"
#include "engine/expr/expression.h"

namespace expr_test {

using ace::expr::FieldRef;
using ace::expr::Value;
using ace::expr::ValueType;

class MemorySource : public ace::expr::RecordSource {
 public:
  // Adds a field; character values are padded to the field's length when set.
  MemorySource& Add(const std::string& name, ValueType type, uint32_t length,
                    uint16_t decimals = 0) {
    FieldRef f;
    f.name = name;
    f.type = type;
    f.length = length;
    f.decimals = decimals;
    f.id = static_cast<int32_t>(fields_.size());
    fields_.push_back(f);
    values_.push_back(Value::TypedNull(type));
    return *this;
  }
  MemorySource& Set(const std::string& name, Value v) {
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (fields_[i].name == name) {
        if (v.type == ValueType::kCharacter && fields_[i].length)
          v.text.resize(fields_[i].length, ' ');
        values_[i] = std::move(v);
        return *this;
      }
    }
    ADD_FAILURE() << "no field " << name;
    return *this;
  }
  MemorySource& SetText(const std::string& name, const std::string& s) {
    return Set(name, Value::Character(s));
  }
  MemorySource& SetNumber(const std::string& name, double d) {
    return Set(name, Value::Numeric(d));
  }
  MemorySource& SetDate(const std::string& name, int y, int m, int d) {
    return Set(name, Value::Date(ace::expr::JulianFromCivil(y, m, d)));
  }

  std::optional<FieldRef> FindField(std::string_view name) const override {
    for (const auto& f : fields_) {
      if (f.name.size() == name.size() &&
          std::equal(name.begin(), name.end(), f.name.begin(), [](char a, char b) {
            return std::toupper(static_cast<unsigned char>(a)) ==
                   std::toupper(static_cast<unsigned char>(b));
          })) {
        return f;
      }
    }
    return std::nullopt;
  }
  ace::Result<Value> FieldValue(const FieldRef& f) const override {
    if (f.id < 0 || static_cast<size_t>(f.id) >= values_.size()) {
      return ace::Status(ace::kErrColumnNotFound, "no such field");
    }
    return values_[static_cast<size_t>(f.id)];
  }
  uint32_t RecNo() const override { return recno; }
  bool Deleted() const override { return deleted; }

  uint32_t recno = 1;
  bool deleted = false;

 private:
  std::vector<FieldRef> fields_;
  std::vector<Value> values_;
};

// The table most tests use: NAME C(20), ORT C(15), BETRAG N(10,2), MENGE N(5), GEBURT D,
// AKTIV L, NOTIZ memo (variable character), ZEIT timestamp.
inline MemorySource Kinder() {
  MemorySource s;
  s.Add("NAME", ValueType::kCharacter, 20)
      .Add("ORT", ValueType::kCharacter, 15)
      .Add("BETRAG", ValueType::kNumeric, 10, 2)
      .Add("MENGE", ValueType::kNumeric, 5)
      .Add("GEBURT", ValueType::kDate, 8)
      .Add("AKTIV", ValueType::kLogical, 1)
      .Add("NOTIZ", ValueType::kCharacter, 0)
      .Add("ZEIT", ValueType::kTimestamp, 8)
      .Add("GEBURTSORT_LANG", ValueType::kCharacter, 30);
  s.SetText("NAME", "Meier").SetText("ORT", "Berlin").SetNumber("BETRAG", 12.5);
  s.SetNumber("MENGE", 3).SetDate("GEBURT", 2010, 11, 5).Set("AKTIV", Value::Logical(true));
  s.SetText("NOTIZ", "Likes red apples and green pears.");
  s.Set("ZEIT", Value::Timestamp(ace::expr::JulianFromCivil(2010, 11, 5), 36000000));
  s.SetText("GEBURTSORT_LANG", "Hamburg");
  return s;
}

// Compiles and evaluates text against src; fails the test on an error.
inline Value Eval(const std::string& text, const ace::expr::RecordSource& src,
                  const ace::expr::EvalOptions& options = {}) {
  auto e = ace::expr::Expression::Compile(text, &src);
  if (!e.ok()) {
    ADD_FAILURE() << text << ": " << e.status().message();
    return Value::Null();
  }
  auto v = e->Evaluate(src, options);
  if (!v.ok()) {
    ADD_FAILURE() << text << ": " << v.status().message();
    return Value::Null();
  }
  return *v;
}

// The compile error message of text, or "" when it compiles.
inline std::string CompileError(const std::string& text, const ace::expr::RecordSource& src) {
  auto e = ace::expr::Expression::Compile(text, &src);
  if (e.ok()) return std::string();
  EXPECT_EQ(e.status().code(), ace::kErrInvalidExpression) << text;
  return e.status().message();
}

}  // namespace expr_test
