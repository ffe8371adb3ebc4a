// Parsing of the field specification text (see field_spec.h).
#include "engine/cursor/field_spec.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>

#include "engine/base/error_codes.h"

namespace ace::cursor {
namespace {

using storage::FieldSpec;
using storage::TableType;

enum class LengthRule { kNone, kRequired, kOptional };

struct TypeName {
  std::string_view name;
  uint16_t type;
  LengthRule length;
};

// Type names as the specification text writes them. Binary on VFP tables is the FoxPro blob.
constexpr TypeName kTypeNames[] = {
    {"char", storage::kFtString, LengthRule::kRequired},
    {"character", storage::kFtString, LengthRule::kRequired},
    {"string", storage::kFtString, LengthRule::kRequired},
    {"cichar", storage::kFtCiString, LengthRule::kRequired},
    {"cicharacter", storage::kFtCiString, LengthRule::kRequired},
    {"num", storage::kFtNumeric, LengthRule::kRequired},
    {"numeric", storage::kFtNumeric, LengthRule::kRequired},
    {"date", storage::kFtDate, LengthRule::kNone},
    {"shortdate", storage::kFtCompactDate, LengthRule::kNone},
    {"compactdate", storage::kFtCompactDate, LengthRule::kNone},
    {"logical", storage::kFtLogical, LengthRule::kNone},
    {"memo", storage::kFtMemo, LengthRule::kNone},
    {"binary", storage::kFtBinary, LengthRule::kNone},
    {"blob", storage::kFtBinary, LengthRule::kNone},
    {"image", storage::kFtImage, LengthRule::kNone},
    {"varchar", storage::kFtVarchar, LengthRule::kOptional},
    {"varcharfox", storage::kFtVarcharFox, LengthRule::kRequired},
    {"varbinaryfox", storage::kFtVarbinaryFox, LengthRule::kRequired},
    {"varbinary", storage::kFtVarbinaryFox, LengthRule::kRequired},
    {"double", storage::kFtDouble, LengthRule::kOptional},
    {"integer", storage::kFtInteger, LengthRule::kNone},
    {"int", storage::kFtInteger, LengthRule::kNone},
    {"shortint", storage::kFtShortInt, LengthRule::kNone},
    {"short", storage::kFtShortInt, LengthRule::kNone},
    {"smallint", storage::kFtShortInt, LengthRule::kNone},
    {"time", storage::kFtTime, LengthRule::kNone},
    {"timestamp", storage::kFtTimestamp, LengthRule::kNone},
    {"datetime", storage::kFtTimestamp, LengthRule::kNone},
    {"modtime", storage::kFtModTime, LengthRule::kNone},
    {"autoinc", storage::kFtAutoInc, LengthRule::kNone},
    {"autoincrement", storage::kFtAutoInc, LengthRule::kNone},
    {"raw", storage::kFtRaw, LengthRule::kRequired},
    {"curdouble", storage::kFtCurDouble, LengthRule::kOptional},
    {"money", storage::kFtMoney, LengthRule::kNone},
    {"currency", storage::kFtMoney, LengthRule::kNone},
    {"rowversion", storage::kFtRowVersion, LengthRule::kNone},
    {"nchar", storage::kFtNChar, LengthRule::kRequired},
    {"nvarchar", storage::kFtNVarchar, LengthRule::kRequired},
    {"nmemo", storage::kFtNMemo, LengthRule::kNone},
    {"general", storage::kFtFoxGeneral, LengthRule::kNone},
};

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<std::string_view> Split(std::string_view s, char sep) {
  std::vector<std::string_view> parts;
  size_t start = 0;
  while (true) {
    size_t at = s.find(sep, start);
    if (at == std::string_view::npos) {
      parts.push_back(s.substr(start));
      return parts;
    }
    parts.push_back(s.substr(start, at - start));
    start = at + 1;
  }
}

Result<uint32_t> ParseNumber(std::string_view text, const std::string& what) {
  uint32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
    return Status(kErrInvalidArgument, what + " \"" + std::string(text) + "\" is not a number");
  }
  return value;
}

Result<FieldSpec> ParseEntry(std::string_view entry, TableType table) {
  std::vector<std::string_view> parts = Split(entry, ',');
  for (auto& p : parts) p = Trim(p);
  const std::string context = "field specification \"" + std::string(Trim(entry)) + "\"";
  FieldSpec spec;
  spec.name = std::string(parts[0]);
  if (spec.name.empty()) return Status(kErrInvalidFieldName, context + ": the field has no name");
  const size_t max_name = table == TableType::kAdt ? 128 : 10;
  if (spec.name.size() > max_name) {
    return Status(kErrInvalidFieldName, context + ": the name is longer than " +
                                            std::to_string(max_name) +
                                            " characters, which this table type cannot hold");
  }
  if (parts.size() < 2 || parts[1].empty()) {
    return Status(kErrInvalidFieldType, context + ": the field has no type");
  }
  std::string type_name = Lower(parts[1]);
  const TypeName* found = nullptr;
  for (const TypeName& t : kTypeNames) {
    if (t.name == type_name) found = &t;
  }
  if (found == nullptr) {
    return Status(kErrInvalidFieldType,
                  context + ": unknown field type \"" + std::string(parts[1]) + "\"");
  }
  spec.type = found->type;
  if (spec.type == storage::kFtBinary && table == TableType::kVfp && type_name == "blob") {
    spec.type = storage::kFtFoxBlob;
  }
  if (spec.type == storage::kFtVarchar && table != TableType::kAdt) {
    spec.type = storage::kFtVarcharFox;
    if (parts.size() < 3) {
      return Status(kErrInvalidArgument,
                    context + ": type " + std::string(parts[1]) + " needs a length");
    }
  }
  if (parts.size() > 4) return Status(kErrInvalidArgument, context + ": too many parts");
  if (found->length == LengthRule::kRequired && (parts.size() < 3 || parts[2].empty())) {
    return Status(kErrInvalidArgument,
                  context + ": type " + std::string(parts[1]) + " needs a length");
  }
  if (parts.size() >= 3 && !parts[2].empty()) {
    Result<uint32_t> length = ParseNumber(parts[2], context + ": the length");
    if (!length.ok()) return length.status();
    if (found->length == LengthRule::kRequired) {
      if (length.value() == 0)
        return Status(kErrInvalidArgument, context + ": the length must not be 0");
      spec.length = length.value();
    } else if (spec.type == storage::kFtDouble || spec.type == storage::kFtCurDouble) {
      // The one number after a floating-point type is its number of decimals for display.
      spec.decimals = static_cast<uint16_t>(std::min<uint32_t>(length.value(), 0xFFFF));
    } else if (spec.type != storage::kFtVarchar) {
      // An ADT varchar keeps its text in the memo file; its number is only the usual maximum.
      spec.length = length.value();
    }
  }
  if (parts.size() == 4 && !parts[3].empty()) {
    Result<uint32_t> decimals = ParseNumber(parts[3], context + ": the decimals");
    if (!decimals.ok()) return decimals.status();
    if (spec.type != storage::kFtNumeric) {
      return Status(kErrInvalidArgument, context + ": only numeric fields have decimals");
    }
    if (decimals.value() >= spec.length) {
      return Status(kErrInvalidArgument, context + ": the decimals must be fewer than the length");
    }
    spec.decimals = static_cast<uint16_t>(decimals.value());
  }
  return spec;
}

}  // namespace

Result<std::vector<FieldSpec>> ParseFieldSpec(std::string_view text, TableType table) {
  std::vector<FieldSpec> fields;
  std::vector<std::string_view> entries = Split(text, ';');
  for (size_t i = 0; i < entries.size(); ++i) {
    if (Trim(entries[i]).empty()) {
      if (i + 1 == entries.size()) break;  // the terminating ';'
      return Status(kErrInvalidArgument,
                    "field specification: entry " + std::to_string(i + 1) + " is empty");
    }
    Result<FieldSpec> spec = ParseEntry(entries[i], table);
    if (!spec.ok()) return spec.status();
    for (const FieldSpec& other : fields) {
      if (Lower(other.name) == Lower(spec->name)) {
        return Status(kErrInvalidFieldName,
                      "field specification: the name \"" + spec->name + "\" is given twice");
      }
    }
    fields.push_back(std::move(spec.value()));
  }
  if (fields.empty())
    return Status(kErrInvalidArgument, "field specification: no fields are given");
  return fields;
}

}  // namespace ace::cursor
