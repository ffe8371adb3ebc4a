// Building, decoding and encoding .dbf headers (see dbf_layout.h for the layout table).
#include "engine/storage/dbf/dbf_layout.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "engine/base/error_codes.h"

namespace ace::storage::dbf {

namespace {

// Limits of a new table per format.
struct Limits {
  uint32_t max_fields;
  uint32_t max_record_length;
};
Limits LimitsOf(TableType type) {
  switch (type) {
    case TableType::kNtx:
      return {128, 4000};
    case TableType::kCdx:
      return {255, 4000};
    default:
      return {255, 65535};
  }
}

constexpr uint32_t kMaxCharLength = 254;
constexpr uint32_t kMaxNumericWidth = 20;

Status Corrupt(const std::string& path, const std::string& what) {
  return Status(kErrCorruptFile, path + ": " + what);
}

std::string Quoted(const std::string& name) {
  return "'" + name + "'";
}

// The length a memo-like field has in the record: block numbers are 10 ASCII digits, or a
// 4-byte binary number on Visual FoxPro.
uint32_t MemoFieldLength(TableType type) {
  return type == TableType::kVfp ? 4 : 10;
}

bool IsMemoLetter(char c) {
  return c == 'M' || c == 'G' || c == 'P' || c == 'W';
}

// The engine type of a descriptor, or 0 when this table type does not hold the letter.
uint16_t EngineTypeOf(TableType type, char letter, uint8_t flags) {
  bool vfp = type == TableType::kVfp;
  switch (letter) {
    case 'C':
      return kFtString;
    case 'N':
    case 'F':
      return kFtNumeric;
    case 'D':
      return kFtDate;
    case 'L':
      return kFtLogical;
    case 'M':
      return vfp && (flags & kFlagBinary) ? kFtBinary : kFtMemo;
    case 'G':
      return vfp ? kFtFoxGeneral : (type == TableType::kCdx ? kFtBinary : 0);
    case 'P':
      return type == TableType::kNtx ? 0 : kFtImage;
    case 'W':
      return vfp ? kFtFoxBlob : 0;
    case 'V':
      return vfp ? kFtVarcharFox : 0;
    case 'Q':
      return vfp ? kFtVarbinaryFox : 0;
    case 'I':
      return vfp ? ((flags & kFlagAutoinc) == kFlagAutoinc ? kFtAutoInc : kFtInteger) : 0;
    case 'B':
      return vfp ? kFtDouble : 0;
    case 'Y':
      return vfp ? kFtMoney : 0;
    case 'T':
      return vfp ? kFtTimestamp : 0;
    default:
      return 0;
  }
}

const char* TypeName(TableType type) {
  switch (type) {
    case TableType::kNtx:
      return "NTX";
    case TableType::kCdx:
      return "CDX";
    case TableType::kVfp:
      return "VFP";
    default:
      return "ADT";
  }
}

// Checks a descriptor's length against what its letter allows.
Status CheckLength(const Column& c, TableType type, const std::string& path) {
  auto bad = [&](const std::string& want) {
    return Corrupt(path, "field " + Quoted(c.name) + " of type '" + std::string(1, c.letter) +
                             "' has length " + std::to_string(c.length) + " (" + want + ")");
  };
  switch (c.letter) {
    case 'C':
    case 'V':
    case 'Q':
    case 'N':
    case 'F':
      if (c.length == 0) return bad("must be at least 1");
      if ((c.letter == 'N' || c.letter == 'F') && c.decimals >= c.length) {
        return bad("holds " + std::to_string(c.decimals) + " decimals");
      }
      return Status::Ok();
    case 'D':
      return c.length == 8 ? Status::Ok() : bad("must be 8");
    case 'L':
      return c.length == 1 ? Status::Ok() : bad("must be 1");
    case 'I':
      return c.length == 4 ? Status::Ok() : bad("must be 4");
    case 'B':
    case 'Y':
    case 'T':
      return c.length == 8 ? Status::Ok() : bad("must be 8");
    case '0':
      return c.length > 0 ? Status::Ok() : bad("must be at least 1");
    default:
      if (IsMemoLetter(c.letter)) {
        // Foreign files sometimes keep 10-digit memo fields in a Visual FoxPro table.
        if (c.length == 4 && type == TableType::kVfp) return Status::Ok();
        if (c.length == 10 && type != TableType::kVfp) return Status::Ok();
        return bad("must be " + std::to_string(MemoFieldLength(type)));
      }
      return Status::Ok();
  }
}

Result<Column> ColumnFor(TableType type, const FieldSpec& spec, const std::string& upper) {
  Column c;
  c.name = upper;
  bool vfp = type == TableType::kVfp;
  auto refuse = [&](const std::string& why) {
    return Status(kErrInvalidFieldType, "field " + Quoted(spec.name) + ": " + why);
  };
  auto not_held = [&]() {
    return refuse("engine field type " + std::to_string(spec.type) + " cannot be stored in a " +
                  TypeName(type) + " table");
  };
  auto length_in = [&](uint32_t lo, uint32_t hi, uint32_t dflt) -> Status {
    c.length = spec.length == 0 ? dflt : spec.length;
    if (c.length < lo || c.length > hi) {
      return Status(kErrInvalidArgument, "field " + Quoted(spec.name) + ": length " +
                                             std::to_string(c.length) + " is outside " +
                                             std::to_string(lo) + ".." + std::to_string(hi));
    }
    return Status::Ok();
  };
  switch (spec.type) {
    case kFtLogical:
      c.letter = 'L';
      c.length = 1;
      break;
    case kFtDate:
      c.letter = 'D';
      c.length = 8;
      break;
    case kFtString:
    case kFtCiString:
      c.letter = 'C';
      ACE_RETURN_IF_ERROR(length_in(1, kMaxCharLength, 10));
      break;
    case kFtNumeric:
      c.letter = 'N';
      ACE_RETURN_IF_ERROR(length_in(1, kMaxNumericWidth, 10));
      c.decimals = spec.decimals;
      if (c.decimals != 0 && uint32_t{c.decimals} + 1 >= c.length) {
        return Status(kErrInvalidArgument,
                      "field " + Quoted(spec.name) + ": " + std::to_string(c.decimals) +
                          " decimals do not fit a width of " + std::to_string(c.length));
      }
      break;
    case kFtMemo:
      c.letter = 'M';
      c.length = MemoFieldLength(type);
      break;
    case kFtBinary:
      if (type == TableType::kNtx) return not_held();
      c.letter = vfp ? 'M' : 'G';
      if (vfp) c.flags |= kFlagBinary;
      c.length = MemoFieldLength(type);
      break;
    case kFtImage:
      if (type == TableType::kNtx) return not_held();
      c.letter = 'P';
      c.length = MemoFieldLength(type);
      break;
    case kFtFoxBlob:
    case kFtFoxGeneral:
      if (!vfp) return not_held();
      c.letter = spec.type == kFtFoxBlob ? 'W' : 'G';
      c.flags |= kFlagBinary;
      c.length = 4;
      break;
    case kFtInteger:
    case kFtAutoInc:
      if (!vfp) return not_held();
      c.letter = 'I';
      c.length = 4;
      if (spec.type == kFtAutoInc) {
        c.flags |= kFlagAutoinc;
        c.autoinc_next = 1;
        c.autoinc_step = 1;
      }
      break;
    case kFtDouble:
      if (!vfp) return not_held();
      c.letter = 'B';
      c.length = 8;
      c.decimals = spec.decimals;
      if (c.decimals > 18) return refuse("a double holds at most 18 decimals");
      break;
    case kFtMoney:
      if (!vfp) return not_held();
      c.letter = 'Y';
      c.length = 8;
      break;
    case kFtTimestamp:
      if (!vfp) return not_held();
      c.letter = 'T';
      c.length = 8;
      break;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
      if (!vfp) return not_held();
      c.letter = spec.type == kFtVarcharFox ? 'V' : 'Q';
      if (spec.type == kFtVarbinaryFox) c.flags |= kFlagBinary;
      ACE_RETURN_IF_ERROR(length_in(1, kMaxCharLength, 10));
      break;
    default:
      return not_held();
  }
  if (vfp && spec.nullable && spec.type != kFtAutoInc) c.flags |= kFlagNullable;
  return c;
}

Status CheckName(const std::string& name) {
  if (name.empty()) return Status(kErrInvalidFieldName, "a field has no name");
  if (name.size() > kMaxNameLength) {
    return Status(kErrNameTooLong, "field name " + Quoted(name) + " is longer than " +
                                       std::to_string(kMaxNameLength) +
                                       " characters, which a .dbf table cannot hold");
  }
  if (!std::isalpha(static_cast<unsigned char>(name[0]))) {
    return Status(kErrInvalidFieldName, "field name " + Quoted(name) + " must start with a letter");
  }
  for (char ch : name) {
    if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_') {
      return Status(kErrInvalidFieldName,
                    "field name " + Quoted(name) + " may hold only letters, digits and '_'");
    }
  }
  return Status::Ok();
}

// Gives every visible field its FieldDesc and the record offsets, assigns the _NullFlags bits
// (per field in order: the varchar/varbinary length bit, then the null bit) and sizes the
// _NullFlags column when there is one.
void FinishLayout(Layout& layout) {
  int bit = 0;
  layout.fields.clear();
  for (auto& c : layout.columns) {
    if (c.letter == '0') continue;
    FieldDesc f;
    f.name = c.name;
    f.type = EngineTypeOf(layout.type, c.letter, c.flags);
    f.length = c.length;
    f.decimals = f.type == kFtNumeric || f.type == kFtDouble ? c.decimals : 0;
    f.offset = c.offset;
    f.binary = (c.flags & kFlagBinary) != 0 && (c.letter == 'C' || c.letter == 'M');
    if (layout.type == TableType::kVfp) {
      if (c.letter == 'V' || c.letter == 'Q') f.varlen_bit = static_cast<int16_t>(bit++);
      if (c.flags & kFlagNullable) {
        f.nullable = true;
        f.null_bit = static_cast<int16_t>(bit++);
      }
      if (f.type == kFtAutoInc) {
        f.autoinc_next = c.autoinc_next;
        f.autoinc_step = c.autoinc_step;
      }
    }
    if (IsMemoLetter(c.letter)) layout.has_memo_fields = true;
    c.visible = static_cast<int>(layout.fields.size());
    layout.fields.push_back(std::move(f));
  }
}

// Decodes descriptor number (from 1) at d; checks the name and that the table type holds the
// letter. Lengths are CheckLength's.
Result<Column> DecodeColumn(const uint8_t* d, TableType type, size_t number,
                            const std::string& path) {
  Column c;
  std::memcpy(c.raw.data(), d, kDescriptorSize);
  size_t name_len = strnlen(reinterpret_cast<const char*>(d + kDescName), 11);
  c.name.assign(reinterpret_cast<const char*>(d + kDescName), name_len);
  while (!c.name.empty() && c.name.back() == ' ') c.name.pop_back();
  c.letter = static_cast<char>(d[kDescType]);
  c.length = d[kDescLength];
  c.decimals = d[kDescDecimals];
  if (type == TableType::kVfp) {
    c.flags = d[kDescFlags];
    c.autoinc_next = GetLe32(d + kDescAutoincNext);
    c.autoinc_step = d[kDescAutoincStep];
  }
  // Clipper keeps character fields longer than 255 bytes with the high byte in decimals.
  if (c.letter == 'C' && type == TableType::kNtx && c.decimals != 0) {
    c.length |= uint32_t{c.decimals} << 8;
    c.decimals = 0;
  }
  if (c.name.empty()) return Corrupt(path, "field " + std::to_string(number) + " has no name");
  bool system = c.letter == '0' && type == TableType::kVfp;
  if (!system && EngineTypeOf(type, c.letter, c.flags) == 0) {
    return Status(kErrInvalidFieldType, path + ": field " + Quoted(c.name) + " has type '" +
                                            std::string(1, c.letter) + "', which a " +
                                            TypeName(type) + " table does not hold");
  }
  return c;
}

// Every null and length bit the fields use must lie inside _NullFlags.
Status CheckNullFlags(const Layout& layout, const std::string& path) {
  if (layout.null_flags_column < 0) {
    for (const auto& f : layout.fields) {
      if (f.null_bit >= 0 || f.varlen_bit >= 0) {
        return Corrupt(path, "field " + Quoted(f.name) + " needs _NullFlags, which is missing");
      }
    }
    return Status::Ok();
  }
  int bits = 0;
  for (const auto& f : layout.fields) {
    bits = std::max<int>(bits, std::max(f.null_bit, f.varlen_bit) + 1);
  }
  if (static_cast<uint32_t>(bits) > layout.columns[layout.null_flags_column].length * 8) {
    return Corrupt(path, "_NullFlags is too short for the nullable and varying fields");
  }
  return Status::Ok();
}

}  // namespace

uint32_t GetLe32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}
void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

Date Today() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  localtime_r(&now, &tm);
  return Date{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

Result<Layout> BuildLayout(TableType type, const std::vector<FieldSpec>& specs,
                           const CreateOptions& options, const std::string& path) {
  auto fail = [&](const Status& s) { return s.WithContext(path); };
  Limits limits = LimitsOf(type);
  if (specs.empty()) return fail(Status(kErrInvalidArgument, "a table needs at least one field"));
  Layout layout;
  layout.type = type;
  layout.code_page = options.char_type == 2 ? 0x02 : 0x03;
  std::set<std::string> names;
  bool has_autoinc = false, has_varlen = false, needs_null_flags = false;
  uint32_t offset = 1;
  for (const auto& spec : specs) {
    ACE_RETURN_IF_ERROR(fail(CheckName(spec.name)));
    std::string upper = spec.name;
    for (auto& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (!names.insert(upper).second) {
      return fail(Status(kErrInvalidFieldName, "field name " + Quoted(upper) + " appears twice"));
    }
    if (type == TableType::kVfp && upper == "_NULLFLAGS") {
      return fail(Status(kErrInvalidFieldName, "field name _NullFlags is reserved"));
    }
    auto column = ColumnFor(type, spec, upper);
    if (!column.ok()) return fail(column.status());
    column->offset = offset;
    offset += column->length;
    has_autoinc |= column->letter == 'I' && (column->flags & kFlagAutoinc) == kFlagAutoinc;
    has_varlen |= column->letter == 'V' || column->letter == 'Q';
    needs_null_flags |=
        (column->flags & kFlagNullable) || column->letter == 'V' || column->letter == 'Q';
    layout.columns.push_back(std::move(column).value());
  }
  if (type == TableType::kVfp && needs_null_flags) {
    Column nf;
    nf.name = kNullFlagsName;
    nf.letter = '0';
    nf.flags = kFlagSystem | kFlagBinary;
    nf.offset = offset;
    layout.columns.push_back(nf);
  }
  FinishLayout(layout);
  if (type == TableType::kVfp && needs_null_flags) {
    int bits = 0;
    for (const auto& f : layout.fields) bits += (f.null_bit >= 0) + (f.varlen_bit >= 0);
    Column& nf = layout.columns.back();
    nf.length = static_cast<uint32_t>((bits + 7) / 8);
    offset += nf.length;
    layout.null_flags_column = static_cast<int>(layout.columns.size() - 1);
  }
  if (layout.columns.size() > limits.max_fields) {
    return fail(Status(kErrInvalidArgument, std::to_string(layout.columns.size()) +
                                                " fields are more than a " + TypeName(type) +
                                                " table holds (" +
                                                std::to_string(limits.max_fields) + ")"));
  }
  if (offset > limits.max_record_length) {
    return fail(Status(kErrInvalidArgument, "record length " + std::to_string(offset) +
                                                " is more than a " + TypeName(type) +
                                                " table holds (" +
                                                std::to_string(limits.max_record_length) + ")"));
  }
  layout.record_length = offset;
  uint32_t header = kHeaderSize + kDescriptorSize * static_cast<uint32_t>(layout.columns.size()) +
                    1 + (type == TableType::kVfp ? kBacklinkSize : 0);
  layout.header_length = static_cast<uint16_t>(header);
  if (type == TableType::kVfp) {
    layout.version = has_varlen ? 0x32 : (has_autoinc ? 0x31 : 0x30);
    if (layout.has_memo_fields) layout.table_flags |= kTableHasMemo;
  } else if (layout.has_memo_fields) {
    layout.version = type == TableType::kNtx ? 0x83 : 0xF5;
  } else {
    layout.version = 0x03;
  }
  return layout;
}

Result<uint16_t> HeaderLengthOf(const uint8_t* h, uint64_t file_size, const std::string& path) {
  uint16_t header_length =
      static_cast<uint16_t>(h[kOffHeaderLength] | (h[kOffHeaderLength + 1] << 8));
  if (header_length < kHeaderSize + kDescriptorSize + 1) {
    return Corrupt(path, "header length " + std::to_string(header_length) +
                             " is too small for even one field");
  }
  if (header_length > file_size) {
    return Corrupt(path, "header length " + std::to_string(header_length) +
                             " is beyond the end of the file (" + std::to_string(file_size) +
                             " bytes): the file is truncated");
  }
  return header_length;
}

Result<Layout> DecodeLayout(TableType type, const std::vector<uint8_t>& h,
                            const std::string& path) {
  if (h.size() < kHeaderSize) return Corrupt(path, "the table header is truncated");
  Layout layout;
  layout.type = type;
  layout.version = h[kOffVersion];
  bool known = false;
  switch (type) {
    case TableType::kNtx:
      known = layout.version == 0x03 || layout.version == 0x83;
      break;
    case TableType::kCdx:
      known = layout.version == 0x03 || layout.version == 0xF5;
      break;
    case TableType::kVfp:
      known = layout.version == 0x30 || layout.version == 0x31 || layout.version == 0x32;
      break;
    default:
      break;
  }
  if (!known) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", layout.version);
    return Status(kErrUnsupportedVersion,
                  path + ": version byte " + hex + " is not a " + TypeName(type) + " table");
  }
  layout.header_length =
      static_cast<uint16_t>(h[kOffHeaderLength] | (h[kOffHeaderLength + 1] << 8));
  layout.record_length = h[kOffRecordLength] | (uint32_t{h[kOffRecordLength + 1]} << 8);
  layout.table_flags = h[kOffTableFlags];
  layout.code_page = h[kOffCodePage];
  if (h.size() < layout.header_length) return Corrupt(path, "the header is truncated");
  if (layout.record_length == 0) return Corrupt(path, "record length is 0");

  uint32_t pos = kHeaderSize;
  uint32_t offset = 1;
  bool terminated = false;
  while (pos < layout.header_length) {
    if (h[pos] == kHeaderEnd) {
      terminated = true;
      break;
    }
    if (pos + kDescriptorSize > layout.header_length) break;
    auto decoded = DecodeColumn(h.data() + pos, type, layout.columns.size() + 1, path);
    if (!decoded.ok()) return decoded.status();
    Column c = std::move(decoded).value();
    ACE_RETURN_IF_ERROR(CheckLength(c, type, path));
    c.offset = offset;
    offset += c.length;
    if (c.letter == '0') {
      if (layout.null_flags_column >= 0) return Corrupt(path, "two _NullFlags fields");
      layout.null_flags_column = static_cast<int>(layout.columns.size());
    }
    layout.columns.push_back(std::move(c));
    pos += kDescriptorSize;
  }
  if (!terminated) return Corrupt(path, "the field descriptors have no end mark (0x0D)");
  layout.tail.assign(h.begin() + pos + 1, h.begin() + layout.header_length);
  std::memcpy(layout.raw_header.data(), h.data(), kHeaderSize);
  if (layout.columns.empty()) return Corrupt(path, "the table has no fields");
  if (offset > layout.record_length) {
    return Corrupt(path, "the fields need " + std::to_string(offset) +
                             " bytes but the record length is " +
                             std::to_string(layout.record_length));
  }
  FinishLayout(layout);
  ACE_RETURN_IF_ERROR(CheckNullFlags(layout, path));
  return layout;
}

void EncodeDescriptor(const Column& c, uint8_t* d, TableType type) {
  std::memcpy(d, c.raw.data(), kDescriptorSize);
  std::memset(d + kDescName, 0, 11);
  std::memcpy(d + kDescName, c.name.data(), std::min<size_t>(c.name.size(), 10));
  d[kDescType] = static_cast<uint8_t>(c.letter);
  d[kDescLength] = static_cast<uint8_t>(c.length);
  d[kDescDecimals] = static_cast<uint8_t>(c.letter == 'C' ? c.length >> 8 : c.decimals);
  if (type == TableType::kVfp) {
    PutLe32(d + kDescOffset, c.offset);
    d[kDescFlags] = c.flags;
    PutLe32(d + kDescAutoincNext, c.autoinc_next);
    d[kDescAutoincStep] = c.autoinc_step;
  }
}

std::vector<uint8_t> EncodeHeader(const Layout& layout, uint32_t count, const Date& date) {
  // A layout always has room for the fixed header; never write past a short one.
  std::vector<uint8_t> h(std::max<size_t>(layout.header_length, kHeaderSize), 0);
  std::memcpy(h.data(), layout.raw_header.data(), kHeaderSize);
  h[kOffVersion] = layout.version;
  h[kOffDate] = static_cast<uint8_t>(date.year - 1900);
  h[kOffDate + 1] = static_cast<uint8_t>(date.month);
  h[kOffDate + 2] = static_cast<uint8_t>(date.day);
  PutLe32(h.data() + kOffCount, count);
  h[kOffHeaderLength] = static_cast<uint8_t>(layout.header_length);
  h[kOffHeaderLength + 1] = static_cast<uint8_t>(layout.header_length >> 8);
  h[kOffRecordLength] = static_cast<uint8_t>(layout.record_length);
  h[kOffRecordLength + 1] = static_cast<uint8_t>(layout.record_length >> 8);
  h[kOffTableFlags] = layout.table_flags;
  h[kOffCodePage] = layout.code_page;
  uint32_t pos = kHeaderSize;
  for (const auto& c : layout.columns) {
    EncodeDescriptor(c, h.data() + pos, layout.type);
    pos += kDescriptorSize;
  }
  h[pos] = kHeaderEnd;
  std::copy_n(layout.tail.begin(), std::min(layout.tail.size(), h.size() - pos - 1),
              h.begin() + pos + 1);
  return h;
}

}  // namespace ace::storage::dbf
