// The byte forms of index keys.
#include "engine/expr/key_encoding.h"

#include <bit>
#include <cstdlib>
#include <cstring>

#include "engine/base/error_codes.h"

namespace ace::expr {

namespace {

void PutBigEndian(uint64_t v, int bytes, std::string* out) {
  for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::string NullKey(const KeySpec& spec) {
  return std::string(spec.length, '\0');
}

std::string TimestampKey(int32_t julian, int32_t millis) {
  std::string out;
  PutBigEndian(static_cast<uint32_t>(julian) ^ 0x80000000u, 4, &out);
  PutBigEndian(static_cast<uint32_t>(millis), 4, &out);
  return out;
}

std::string Trimmed(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return std::string();
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

}  // namespace

Result<KeySpec> KeySpecOf(const Expression& e, const Collation& collation) {
  KeySpec spec;
  spec.type = e.type();
  spec.collation = &collation;
  switch (e.type()) {
    case ValueType::kCharacter:
      if (e.length() == 0) {
        return Status(kErrInvalidExpression,
                      "Index expression '" + e.text() + "' has no fixed length");
      }
      spec.length = e.length();
      break;
    case ValueType::kLogical:
      spec.length = 1;
      break;
    default:
      spec.length = kNumericKeyLength;
      break;
  }
  return spec;
}

std::string EncodeDoubleKey(double d) {
  if (d == 0) d = 0;  // -0 and 0 are one key
  uint64_t bits = std::bit_cast<uint64_t>(d);
  bits = (bits & 0x8000000000000000ull) ? ~bits : bits ^ 0x8000000000000000ull;
  std::string out;
  PutBigEndian(bits, 8, &out);
  return out;
}

double DecodeDoubleKey(std::string_view key) {
  uint64_t bits = 0;
  for (size_t i = 0; i < 8 && i < key.size(); ++i) {
    bits = (bits << 8) | static_cast<unsigned char>(key[i]);
  }
  bits = (bits & 0x8000000000000000ull) ? bits ^ 0x8000000000000000ull : ~bits;
  return std::bit_cast<double>(bits);
}

std::string EncodeKey(const Value& v, const KeySpec& spec) {
  bool typed =
      v.type == spec.type || (spec.type == ValueType::kTimestamp && v.type == ValueType::kDate);
  if (spec.type == ValueType::kCharacter) {
    return spec.collation->KeyBytes(typed && !v.is_null ? std::string_view(v.text) : "",
                                    spec.length);
  }
  if (!typed || v.is_null) return NullKey(spec);
  switch (spec.type) {
    case ValueType::kNumeric:
      return EncodeDoubleKey(v.number);
    case ValueType::kDate:
      return EncodeDoubleKey(v.julian);
    case ValueType::kTimestamp:
      return TimestampKey(v.julian, v.type == ValueType::kTimestamp ? v.millis : 0);
    case ValueType::kLogical:
      return std::string(1, v.logical ? 'T' : 'F');
    default:
      return NullKey(spec);
  }
}

Result<std::string> BuildKey(const Expression& key_expression, const KeySpec& spec,
                             const RecordSource& record, const EvalOptions& options) {
  auto value = key_expression.Evaluate(record, options);
  if (!value.ok()) return value.status();
  return EncodeKey(*value, spec);
}

Result<std::string> EncodeKeyFromText(std::string_view text, const KeySpec& spec) {
  auto bad = [&](std::string_view what) {
    return Status(kErrConversion,
                  "The key text '" + std::string(text) + "' is not " + std::string(what));
  };
  switch (spec.type) {
    case ValueType::kCharacter: {
      std::string out;
      spec.collation->AppendWeights(text, &out);
      if (out.size() > spec.length) out.resize(spec.length);
      return out;
    }
    case ValueType::kNumeric: {
      std::string t = Trimmed(text);
      char* end = nullptr;
      double d = std::strtod(t.c_str(), &end);
      if (t.empty() || end != t.c_str() + t.size()) return bad("a number");
      return EncodeDoubleKey(d);
    }
    case ValueType::kDate: {
      std::string t = Trimmed(text);
      auto j = t.size() == 8 ? ParseDtos(t) : ParseDateText(t);
      if (!j) return bad("a date");
      return EncodeDoubleKey(*j);
    }
    case ValueType::kTimestamp: {
      auto ts = ParseTimestampText(text);
      if (!ts) return bad("a timestamp");
      return TimestampKey(ts->julian, ts->millis);
    }
    case ValueType::kLogical: {
      std::string t = Trimmed(text);
      for (char& c : t) c = UpperChar(c);
      if (t == "T" || t == "Y" || t == ".T." || t == ".Y." || t == "TRUE") return std::string("T");
      if (t == "F" || t == "N" || t == ".F." || t == ".N." || t == "FALSE") return std::string("F");
      return bad("a logical value");
    }
    case ValueType::kNull:
      break;
  }
  return bad("a key value");
}

}  // namespace ace::expr
