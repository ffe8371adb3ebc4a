// Record copies between tables (see table_copy.h).
#include "engine/cursor/table_copy.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/fields/field_codec.h"

namespace ace::cursor {
namespace {

using storage::FieldDesc;
using storage::TableFile;

bool NeedsLength(uint16_t type) {
  switch (type) {
    case storage::kFtString:
    case storage::kFtCiString:
    case storage::kFtNumeric:
    case storage::kFtRaw:
    case storage::kFtVarchar:
    case storage::kFtVarcharFox:
    case storage::kFtVarbinaryFox:
    case storage::kFtNChar:
    case storage::kFtNVarchar:
      return true;
    default:
      return false;
  }
}

void Numeric(storage::FieldSpec* spec, uint32_t length, uint16_t decimals) {
  spec->type = storage::kFtNumeric;
  spec->length = length;
  spec->decimals = decimals;
}

void Character(storage::FieldSpec* spec, uint32_t length) {
  spec->type = storage::kFtString;
  spec->length = length;
  spec->decimals = 0;
}

// The nearest type a table of type target holds for a field of another format.
void MapType(storage::FieldSpec* spec, storage::TableType target) {
  using storage::TableType;
  const bool dbf = target == TableType::kNtx || target == TableType::kCdx;
  const bool vfp = target == TableType::kVfp;
  if (target == TableType::kAdt) {
    if (spec->type == storage::kFtFoxBlob) spec->type = storage::kFtBinary;
    if (spec->type == storage::kFtFoxGeneral) spec->type = storage::kFtImage;
    return;
  }
  switch (spec->type) {
    case storage::kFtCiString:
      spec->type = storage::kFtString;
      break;
    case storage::kFtNChar:
    case storage::kFtNVarchar:
      Character(spec, spec->length);
      break;
    case storage::kFtVarchar:
    case storage::kFtNMemo:
      spec->type = storage::kFtMemo;
      spec->length = 0;
      break;
    case storage::kFtCompactDate:
      spec->type = storage::kFtDate;
      break;
    case storage::kFtShortInt:
      if (dbf)
        Numeric(spec, 6, 0);
      else
        spec->type = storage::kFtInteger;
      break;
    case storage::kFtInteger:
    case storage::kFtAutoInc:
      if (dbf) Numeric(spec, 11, 0);
      break;
    case storage::kFtDouble:
    case storage::kFtCurDouble:
      if (dbf)
        Numeric(spec, 20, std::min<uint16_t>(spec->decimals == 0 ? 4 : spec->decimals, 18));
      else
        spec->type = storage::kFtDouble;
      break;
    case storage::kFtMoney:
      if (dbf) Numeric(spec, 20, 4);
      break;
    case storage::kFtRowVersion:
      Numeric(spec, 20, 0);
      break;
    case storage::kFtTime:
      Character(spec, 12);
      break;
    case storage::kFtTimestamp:
    case storage::kFtModTime:
      if (dbf)
        Character(spec, 23);
      else
        spec->type = storage::kFtTimestamp;
      break;
    case storage::kFtRaw:
      if (vfp) {
        spec->type = storage::kFtVarbinaryFox;
      } else {
        spec->type = storage::kFtBinary;
        spec->length = 0;
      }
      break;
    case storage::kFtVarcharFox:
      if (dbf) spec->type = storage::kFtString;
      break;
    case storage::kFtVarbinaryFox:
    case storage::kFtImage:
    case storage::kFtFoxBlob:
    case storage::kFtFoxGeneral:
      if (dbf) {
        spec->type = storage::kFtBinary;
        spec->length = 0;
      }
      break;
    default:
      break;
  }
}

bool SameNameNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

fields::FieldContext ContextOf(const Cursor& cursor, const FieldDesc& field) {
  fields::FieldContext ctx{field};
  ctx.table = cursor.file().type();
  ctx.char_type = cursor.options().char_type;
  ctx.null_flags = cursor.file().null_flags_field();
  return ctx;
}

// Moves the memo contents of a copied image into the destination's memo file.
Status RewriteMemos(Cursor& from, const std::vector<std::byte>& source, Cursor& to,
                    std::byte* image) {
  const std::vector<std::byte> blank = to.file().BlankRecord();
  for (const FieldDesc& field : to.file().fields()) {
    if (!storage::IsMemoType(field.type, to.file().type())) continue;
    auto content = from.file().ReadMemo(source.data(), field);
    if (!content.ok()) return content.status();
    auto kind = from.file().MemoType(source.data(), field);
    // The pointer in the image is the source file's; the destination starts from none.
    std::memcpy(image + field.offset, blank.data() + field.offset, field.length);
    if (content.value().empty()) continue;
    ACE_RETURN_IF_ERROR(to.file().WriteMemo(image, field, content.value(),
                                            kind.ok() ? kind.value() : storage::MemoKind::kText));
  }
  return Status::Ok();
}

Status CopyField(Cursor& from, const FieldDesc& sf, const std::vector<std::byte>& source,
                 Cursor& to, const FieldDesc& df, std::byte* image) {
  const bool source_memo = storage::IsMemoType(sf.type, from.file().type());
  const bool dest_memo = storage::IsMemoType(df.type, to.file().type());
  fields::FieldContext sctx = ContextOf(from, sf);
  fields::FieldContext dctx = ContextOf(to, df);
  fields::Image dimage(image, to.file().record_length());
  fields::ConstImage simage(source.data(), source.size());
  if (source_memo || dest_memo) {
    std::vector<uint8_t> content;
    storage::MemoKind kind = storage::MemoKind::kText;
    if (source_memo) {
      auto read = from.file().ReadMemo(source.data(), sf);
      if (!read.ok()) return read.status();
      content = std::move(read.value());
      auto k = from.file().MemoType(source.data(), sf);
      if (k.ok()) kind = k.value();
    } else {
      auto text = fields::GetText(sctx, simage, fields::kTrimRight);
      if (!text.ok()) return text.status();
      content.assign(text.value().begin(), text.value().end());
    }
    if (dest_memo) return to.file().WriteMemo(image, df, content, kind);
    return fields::SetText(dctx, dimage, std::string(content.begin(), content.end()));
  }
  auto null = fields::IsNull(sctx, simage);
  if (null.ok() && null.value()) return fields::SetNull(dctx, dimage);
  if (sf.type == storage::kFtRaw || sf.type == storage::kFtVarbinaryFox) {
    auto raw = fields::GetRaw(sctx, simage);
    if (!raw.ok()) return raw.status();
    return fields::SetRaw(dctx, dimage, raw.value());
  }
  auto text = fields::GetText(sctx, simage, fields::kTrimRight);
  if (!text.ok()) return text.status();
  return fields::SetText(dctx, dimage, text.value());
}

}  // namespace

std::vector<storage::FieldSpec> SpecsOf(const TableFile& table, storage::TableType target) {
  std::vector<storage::FieldSpec> specs;
  for (const FieldDesc& f : table.fields()) {
    storage::FieldSpec spec;
    spec.name = f.name;
    spec.type = f.type;
    if (NeedsLength(f.type)) {
      spec.length =
          (f.type == storage::kFtNChar || f.type == storage::kFtNVarchar) ? f.length / 2 : f.length;
    }
    spec.decimals = f.decimals;
    spec.nullable = f.nullable;
    if (target != table.type()) MapType(&spec, target);
    specs.push_back(std::move(spec));
  }
  return specs;
}

namespace {

// Appends one record image of from (record recno) to to.
Status AppendCopy(Cursor& from, const std::vector<std::byte>& source, uint32_t recno, Cursor& to,
                  bool same_layout) {
  const bool deleted = from.file().IsDeleted(source.data());
  ACE_RETURN_IF_ERROR(to.BeginAppend());
  auto image = to.Edit();
  if (!image.ok()) return image.status();
  if (same_layout) {
    std::memcpy(image.value(), source.data(), source.size());
    ACE_RETURN_IF_ERROR(RewriteMemos(from, source, to, image.value()));
  } else {
    for (const FieldDesc& df : to.file().fields()) {
      for (const FieldDesc& sf : from.file().fields()) {
        if (!SameNameNoCase(sf.name, df.name)) continue;
        ACE_RETURN_IF_ERROR(
            CopyField(from, sf, source, to, df, image.value())
                .WithContext("record " + std::to_string(recno) + ", field " + df.name));
      }
    }
  }
  to.file().SetDeleted(image.value(), deleted);
  return to.WriteRecord();
}

// The visible records of from in the order of tag, by walking the cursor; its position and
// order are put back afterwards.
Status CopyVisible(Cursor& from, Cursor& to, index::Tag* tag, bool same_layout) {
  index::Tag* const saved_order = from.order();
  const uint32_t saved_recno = from.recno();
  const bool saved_eof = from.at_eof();
  from.SetOrder(tag);
  // The visible records are not counted beforehand: the file's records are the whole.
  const uint32_t total = from.file().record_count();
  Progress progress(total);
  uint32_t done = 0;
  Status copied = from.GotoTop();
  while (copied.ok() && !from.at_eof()) {
    copied = progress.Advance(std::min(done++, total));
    if (!copied.ok()) break;
    const std::vector<std::byte> source = from.record();
    copied = AppendCopy(from, source, from.recno(), to, same_layout);
    if (copied.ok()) copied = from.Skip(1);
  }
  if (copied.ok()) copied = progress.Advance(total);
  from.SetOrder(saved_order);
  Status restored = saved_recno != 0 ? from.GotoRecord(saved_recno)
                                     : (saved_eof ? from.GotoEof() : from.GotoBof());
  return copied.ok() ? restored : copied;
}

}  // namespace

Status CopyRecords(Cursor& from, Cursor& to, uint16_t filter_option, index::Tag* order) {
  ACE_RETURN_IF_ERROR(from.WriteRecord());
  ACE_RETURN_IF_ERROR(from.file().RefreshHeader());
  const bool same_layout = from.file().type() == to.file().type() &&
                           from.file().record_length() == to.file().record_length() &&
                           from.file().fields().size() == to.file().fields().size();
  if ((filter_option & 3) != kIgnoreFilters) return CopyVisible(from, to, order, same_layout);
  std::vector<std::byte> source;
  const uint32_t count = from.file().record_count();
  Progress progress(count);
  for (uint32_t recno = 1; recno <= count; ++recno) {
    ACE_RETURN_IF_ERROR(progress.Advance(recno - 1));
    ACE_RETURN_IF_ERROR(from.ReadRecord(recno, &source));
    ACE_RETURN_IF_ERROR(AppendCopy(from, source, recno, to, same_layout));
  }
  return progress.Advance(count);
}

}  // namespace ace::cursor
