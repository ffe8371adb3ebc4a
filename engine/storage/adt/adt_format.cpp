// Field rules, null forms, descriptors and checksums of the ADT layout (see adt_format.h). Knows
// bytes only; files and records are adt_table_file.cpp's.
#include "engine/storage/adt/adt_format.h"

#include <fcntl.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <ctime>

#include "engine/base/error_codes.h"

namespace ace::storage::adt {

namespace {

// What a field type allows. fixed != 0: the value area has exactly that many bytes and the
// caller's length must be 0 or that. Otherwise the length (characters for national types) lies
// in [1, max] and defaults to default_length.
struct TypeRule {
  uint16_t type;
  const char* name;
  uint32_t fixed;
  uint32_t default_length;
  uint32_t max;
  uint32_t bytes_per_unit;
};

constexpr TypeRule kRules[] = {
    {kFtLogical, "logical", 1, 1, 1, 1},
    {kFtNumeric, "numeric", 0, 10, kMaxNumericWidth, 1},
    {kFtDate, "date", 4, 4, 4, 1},
    {kFtString, "character", 0, 1, kMaxCharLength, 1},
    {kFtMemo, "memo", 4, 4, 4, 1},
    {kFtBinary, "binary", 4, 4, 4, 1},
    {kFtImage, "image", 4, 4, 4, 1},
    {kFtVarchar, "varchar", 4, 4, 4, 1},
    {kFtCompactDate, "compact date", 3, 3, 3, 1},
    {kFtDouble, "double", 8, 8, 8, 1},
    {kFtInteger, "integer", 4, 4, 4, 1},
    {kFtShortInt, "short integer", 2, 2, 2, 1},
    {kFtTime, "time", 4, 4, 4, 1},
    {kFtTimestamp, "timestamp", 8, 8, 8, 1},
    {kFtAutoInc, "autoinc", 4, 4, 4, 1},
    {kFtRaw, "raw", 0, 1, kMaxCharLength, 1},
    {kFtCurDouble, "curdouble", 8, 8, 8, 1},
    {kFtMoney, "money", 8, 8, 8, 1},
    {kFtCiString, "cichar", 0, 1, kMaxCharLength, 1},
    {kFtRowVersion, "rowversion", 8, 8, 8, 1},
    {kFtModTime, "modtime", 8, 8, 8, 1},
    {kFtVarcharFox, "varchar (fixed area)", 0, 1, kMaxCharLength, 1},
    {kFtVarbinaryFox, "varbinary", 0, 1, kMaxCharLength, 1},
    {kFtNChar, "nchar", 0, 1, kMaxNCharLength, 2},
    {kFtNVarchar, "nvarchar", 0, 1, kMaxNCharLength, 2},
    {kFtNMemo, "nmemo", 4, 4, 4, 1},
};

const TypeRule* FindRule(uint16_t type) {
  for (const auto& r : kRules) {
    if (r.type == type) return &r;
  }
  return nullptr;
}

uint8_t FoldAnsi(uint8_t c) {
  if (c >= 'A' && c <= 'Z') return static_cast<uint8_t>(c + 0x20);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<uint8_t>(c + 0x20);
  if (c == 0x8A || c == 0x8C || c == 0x8E) return static_cast<uint8_t>(c + 0x10);
  if (c == 0x9F) return 0xFF;
  return c;
}

// Checks one field's name, type, length and decimals; fills area length and decimals.
// make_error builds the Status for a violation (a refusal on create, corruption on open).
template <typename MakeError>
Status CheckField(FieldDesc* f, uint32_t requested_length, MakeError make_error) {
  if (f->name.empty()) return make_error(kErrInvalidFieldName, "field name is empty");
  if (f->name.size() > kMaxNameLength) {
    return make_error(kErrNameTooLong, "field name \"" + f->name + "\" is longer than 128 bytes");
  }
  for (char ch : f->name) {
    auto c = static_cast<uint8_t>(ch);
    if (c < 0x20 || c == 0x7F) {
      return make_error(kErrInvalidFieldName,
                        "field name \"" + f->name + "\" contains a control character");
    }
  }
  if (f->name.front() == ' ' || f->name.back() == ' ') {
    return make_error(kErrInvalidFieldName,
                      "field name \"" + f->name + "\" begins or ends with a blank");
  }
  const TypeRule* rule = FindRule(f->type);
  if (rule == nullptr) {
    return make_error(kErrInvalidFieldType, "field \"" + f->name + "\": type " +
                                                std::to_string(f->type) +
                                                " cannot be stored in this table format");
  }
  uint32_t units = requested_length == 0 ? rule->default_length : requested_length;
  if (rule->fixed != 0 ? units != rule->fixed : (units < 1 || units > rule->max)) {
    std::string allowed = rule->fixed != 0 ? "exactly " + std::to_string(rule->fixed)
                                           : "1 to " + std::to_string(rule->max);
    return make_error(kErrInvalidArgument, "field \"" + f->name + "\": length " +
                                               std::to_string(units) + " is invalid for a " +
                                               rule->name + " field (" + allowed + ")");
  }
  f->length = units * rule->bytes_per_unit;
  uint16_t d = f->decimals;
  bool ok = true;
  switch (f->type) {
    case kFtNumeric:
      ok = d == 0 || d + 2u <= f->length;
      break;
    case kFtDouble:
    case kFtCurDouble:
      ok = d <= kMaxDoubleDecimals;
      break;
    case kFtMoney:
      ok = d == 0 || d == 4;
      f->decimals = 4;
      break;
    default:
      ok = d == 0;
  }
  if (!ok) {
    return make_error(kErrInvalidArgument, "field \"" + f->name + "\": " + std::to_string(d) +
                                               " decimals are invalid for a " + rule->name +
                                               " field of length " + std::to_string(f->length));
  }
  f->nullable = true;
  return Status::Ok();
}

template <typename MakeError>
Result<uint32_t> CheckNamesAndTotal(const std::vector<FieldDesc>& fields, MakeError make_error) {
  if (fields.empty()) return make_error(kErrInvalidArgument, "a table needs at least one field");
  if (fields.size() > kMaxFields) {
    return make_error(kErrInvalidArgument,
                      "a table holds at most " + std::to_string(kMaxFields) + " fields");
  }
  for (size_t i = 0; i < fields.size(); ++i) {
    for (size_t j = 0; j < i; ++j) {
      if (SameFieldName(fields[i].name, fields[j].name)) {
        return make_error(kErrInvalidFieldName, "field name \"" + fields[i].name +
                                                    "\" is used twice (names ignore case)");
      }
    }
  }
  uint64_t total = kRecordHeaderSize;
  for (const auto& f : fields) total += FieldArea(f);
  if (total > kMaxRecordLength) {
    return make_error(kErrInvalidArgument, "record length " + std::to_string(total) + " exceeds " +
                                               std::to_string(kMaxRecordLength));
  }
  return static_cast<uint32_t>(total);
}

}  // namespace

uint32_t LayoutCrc(const std::vector<std::byte>& layout) {
  std::vector<std::byte> copy(layout);
  std::memset(copy.data() + kOffCrc, 0, 4);
  std::memset(copy.data() + kOffMutable, 0, kMutableSize);
  return Crc32(0, copy.data(), copy.size());
}

void EncodeEncryptionBlock(const crypt::KeyParams& key, std::byte* out) {
  std::memset(out, 0, kEncryptionSize);
  std::memcpy(out, kEncryptionMagic, sizeof kEncryptionMagic);
  out[kEncOffVersion] = std::byte{kEncryptionVersion};
  Put32(out + kEncOffIterations, key.iterations);
  std::memcpy(out + kEncOffSalt, key.salt.data(), key.salt.size());
  std::memcpy(out + kEncOffVerifier, key.verifier.data(), key.verifier.size());
}

Result<crypt::KeyParams> DecodeEncryptionBlock(const std::byte* in, const std::string& path) {
  if (std::memcmp(in, kEncryptionMagic, sizeof kEncryptionMagic) != 0)
    return Status(kErrCorruptFile, path + ": the table is marked encrypted but its header has "
                                          "no encryption block");
  uint8_t version = std::to_integer<uint8_t>(in[kEncOffVersion]);
  if (version != kEncryptionVersion)
    return Status(kErrUnsupportedVersion, path + ": encryption version " +
                                              std::to_string(version) +
                                              " cannot be read by this engine");
  crypt::KeyParams key;
  key.iterations = Get32(in + kEncOffIterations);
  if (key.iterations < crypt::kMinIterations || key.iterations > crypt::kMaxIterations)
    return Status(kErrCorruptFile, path + ": the encryption block asks for " +
                                       std::to_string(key.iterations) + " key iterations");
  std::memcpy(key.salt.data(), in + kEncOffSalt, key.salt.size());
  std::memcpy(key.verifier.data(), in + kEncOffVerifier, key.verifier.size());
  return key;
}

uint32_t Crc32(uint32_t crc, const std::byte* data, size_t n) {
  static const std::array<uint32_t, 256> table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) {
    crc = table[(crc ^ std::to_integer<uint32_t>(data[i])) & 0xFF] ^ (crc >> 8);
  }
  return ~crc;
}

bool IsAdtMemoType(uint16_t type) {
  return type == kFtMemo || type == kFtBinary || type == kFtImage || type == kFtVarchar ||
         type == kFtNMemo;
}

bool HasLengthWord(uint16_t type) {
  return type == kFtVarcharFox || type == kFtVarbinaryFox || type == kFtNVarchar;
}

uint32_t FieldArea(const FieldDesc& field) {
  return field.length + (HasLengthWord(field.type) ? 2u : 0u);
}

bool SameFieldName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldAnsi(static_cast<uint8_t>(a[i])) != FoldAnsi(static_cast<uint8_t>(b[i]))) return false;
  }
  return true;
}

Result<uint32_t> LayOutFields(const std::vector<FieldSpec>& requested,
                              std::vector<FieldDesc>* out) {
  auto refuse = [](uint32_t code, const std::string& text) { return Status(code, text); };
  std::vector<FieldDesc> fields;
  uint32_t offset = kRecordHeaderSize;
  for (const auto& s : requested) {
    FieldDesc f;
    f.name = s.name;
    f.type = s.type;
    f.decimals = s.decimals;
    ACE_RETURN_IF_ERROR(CheckField(&f, s.length, refuse));
    f.offset = offset;
    offset += std::min<uint32_t>(FieldArea(f), kMaxRecordLength + 1);
    fields.push_back(std::move(f));
  }
  auto total = CheckNamesAndTotal(fields, refuse);
  if (!total.ok()) return total.status();
  *out = std::move(fields);
  return total;
}

Result<uint32_t> CheckStoredFields(const std::vector<FieldDesc>& fields, const std::string& path) {
  auto corrupt = [&path](uint32_t, const std::string& text) {
    return Status(kErrCorruptFile, path + ": bad field descriptor: " + text);
  };
  uint64_t offset = kRecordHeaderSize;
  for (size_t i = 0; i < fields.size(); ++i) {
    FieldDesc f = fields[i];
    uint32_t units = f.length;
    if (f.type == kFtNChar || f.type == kFtNVarchar) {
      if (f.length % 2 != 0) return corrupt(0, "national field \"" + f.name + "\" has odd length");
      units = f.length / 2;
    }
    ACE_RETURN_IF_ERROR(CheckField(&f, units == 0 ? 0xFFFFFFFFu : units, corrupt));
    if (f.decimals != fields[i].decimals) {
      return corrupt(0, "field \"" + f.name + "\" has invalid decimals");
    }
    if (fields[i].offset != offset) {
      return corrupt(0, "field \"" + f.name + "\" has offset " + std::to_string(fields[i].offset) +
                            ", expected " + std::to_string(offset));
    }
    offset += FieldArea(f);
    if (offset > kMaxRecordLength) return corrupt(0, "fields exceed the record length limit");
  }
  return CheckNamesAndTotal(fields, corrupt);
}

void WriteNull(std::byte* image, const FieldDesc& f) {
  std::byte* p = image + f.offset;
  switch (f.type) {
    case kFtLogical:
      p[0] = std::byte{' '};
      break;
    case kFtDouble:
    case kFtCurDouble:
      Put32(p, 32);
      Put32(p + 4, 0x80000000u);
      break;
    case kFtInteger:
      Put32(p, 0x80000000u);
      break;
    case kFtShortInt:
      Put16(p, 0x8000);
      break;
    case kFtTime:
    case kFtAutoInc:
      Put32(p, 0xFFFFFFFFu);
      break;
    case kFtTimestamp:
    case kFtModTime:
      Put32(p, 0);
      Put32(p + 4, 0xFFFFFFFFu);
      break;
    case kFtMoney:
    case kFtRowVersion:
      Put32(p, 0);
      Put32(p + 4, 0x80000000u);
      break;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
    case kFtNVarchar:
      std::memset(p, 0, f.length);
      Put16(p + f.length, 0xFFFF);
      break;
    default:
      std::memset(p, 0, f.length);
      break;
  }
}

bool IsNull(const std::byte* image, const FieldDesc& f) {
  const std::byte* p = image + f.offset;
  auto all_zero = [&] {
    for (uint32_t i = 0; i < f.length; ++i) {
      if (p[i] != std::byte{0}) return false;
    }
    return true;
  };
  switch (f.type) {
    case kFtLogical:
      return p[0] == std::byte{' '};
    case kFtDouble:
    case kFtCurDouble:
      return Get32(p) == 32 && Get32(p + 4) == 0x80000000u;
    case kFtInteger:
      return Get32(p) == 0x80000000u;
    case kFtShortInt:
      return Get16(p) == 0x8000;
    case kFtTime:
    case kFtAutoInc:
      return Get32(p) == 0xFFFFFFFFu;
    case kFtTimestamp:
    case kFtModTime:
      return Get32(p) == 0;
    case kFtMoney:
    case kFtRowVersion:
      return Get32(p) == 0 && Get32(p + 4) == 0x80000000u;
    case kFtVarcharFox:
    case kFtVarbinaryFox:
    case kFtNVarchar: {
      uint16_t n = Get16(p + f.length);
      return n == 0xFFFF || n == 0;
    }
    default:
      return all_zero();
  }
}

const FieldDesc* BadLengthWord(const std::byte* image, const std::vector<FieldDesc>& fields) {
  for (const auto& f : fields) {
    if (!HasLengthWord(f.type)) continue;
    uint16_t n = Get16(image + f.offset + f.length);
    uint32_t limit = f.type == kFtNVarchar ? f.length / 2 : f.length;
    if (n != 0xFFFF && n > limit) return &f;
  }
  return nullptr;
}

void EncodeDescriptor(const FieldDesc& f, std::byte* out) {
  std::memset(out, 0, kDescSize);
  std::memcpy(out + kDescOffName, f.name.data(), std::min(f.name.size(), kMaxNameLength));
  Put16(out + kDescOffType, f.type);
  Put16(out + kDescOffDecimals, f.decimals);
  Put32(out + kDescOffLength, f.length);
  Put32(out + kDescOffOffset, f.offset);
}

FieldDesc DecodeDescriptor(const std::byte* in) {
  FieldDesc f;
  const char* name = reinterpret_cast<const char*>(in + kDescOffName);
  size_t n = 0;
  while (n < kMaxNameLength && name[n] != '\0') ++n;
  f.name.assign(name, n);
  // Bytes after the terminating zero must be zero too; a name with garbage after it is
  // reported by giving it an impossible control character.
  for (size_t i = n; i < kMaxNameLength; ++i) {
    if (name[i] != '\0') {
      f.name.push_back('\x01');
      break;
    }
  }
  f.type = Get16(in + kDescOffType);
  f.decimals = Get16(in + kDescOffDecimals);
  f.length = Get32(in + kDescOffLength);
  f.offset = Get32(in + kDescOffOffset);
  f.nullable = true;
  return f;
}

BookkeepingLock::~BookkeepingLock() {
  Release();
}

void BookkeepingLock::Release() {
  if (fd_ < 0) return;
  struct flock fl {};
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(kBookkeepingLockOffset);
  fl.l_len = 1;
  ::fcntl(fd_, F_OFD_SETLK, &fl);
  fd_ = -1;
}

Status BookkeepingLock::Acquire(File& file, bool exclusive) {
  struct flock fl {};
  fl.l_type = exclusive ? F_WRLCK : F_RDLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(kBookkeepingLockOffset);
  fl.l_len = 1;
  while (::fcntl(file.fd(), F_OFD_SETLKW, &fl) != 0) {
    if (errno == EINTR) continue;
    return Status(kErrIo,
                  file.path() + ": cannot lock the file's bookkeeping: " + std::strerror(errno));
  }
  fd_ = file.fd();
  return Status::Ok();
}

void NowJulian(uint32_t* day, uint32_t* ms) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  time_t secs = ts.tv_sec;
  tm local{};
  localtime_r(&secs, &local);
  // Days from the civil date (proleptic Gregorian), then the Julian day number.
  int64_t y = local.tm_year + 1900;
  int64_t m = local.tm_mon + 1;
  int64_t d = local.tm_mday;
  y -= m <= 2;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  int64_t days_since_1970 = era * 146097 + doe - 719468;
  *day = static_cast<uint32_t>(days_since_1970 + 2440588);
  *ms = static_cast<uint32_t>((local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec) * 1000 +
                              ts.tv_nsec / 1000000);
}

}  // namespace ace::storage::adt
