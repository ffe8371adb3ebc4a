// Table restructuring in one rewrite (see restructure.h).
#include "engine/sql/restructure.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>

#include "engine/base/callbacks.h"
#include "engine/base/error_codes.h"
#include "engine/base/file.h"
#include "engine/fields/field_codec.h"
#include "engine/sql/ddl_types.h"
#include "engine/sql/sql_error.h"
#include "engine/storage/dbf/dbf_info.h"
#include "engine/storage/replace_files.h"

namespace ace::sql {
namespace {

using storage::FieldDesc;
using storage::FieldSpec;
using storage::TableFile;
using storage::TableType;

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) !=
        std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

// One column of the table as the changes so far leave it.
struct Column {
  FieldSpec spec;
  int source = -1;       // index in the old table's fields(), -1 for a new column
  bool convert = false;  // the value is converted from the source column's type
  std::optional<std::string> default_value;
};

bool TakesLength(uint16_t type) {
  switch (type) {
    case storage::kFtNumeric:
    case storage::kFtString:
    case storage::kFtCiString:
    case storage::kFtRaw:
    case storage::kFtVarcharFox:
    case storage::kFtVarbinaryFox:
    case storage::kFtNChar:
    case storage::kFtNVarchar:
      return true;
    default:
      return false;
  }
}

FieldSpec SpecOf(const FieldDesc& f) {
  FieldSpec spec;
  spec.name = f.name;
  spec.type = f.type;
  if (TakesLength(f.type)) {
    spec.length =
        f.type == storage::kFtNChar || f.type == storage::kFtNVarchar ? f.length / 2 : f.length;
  }
  spec.decimals = f.decimals;
  spec.nullable = f.nullable;
  return spec;
}

bool SameStorage(const FieldSpec& a, const FieldSpec& b) {
  return a.type == b.type && a.length == b.length && a.decimals == b.decimals;
}

// True when a 16-bit length word follows the field in the image.
bool HasLengthWord(uint16_t type, TableType table) {
  return type == storage::kFtNVarchar ||
         (table == TableType::kAdt &&
          (type == storage::kFtVarcharFox || type == storage::kFtVarbinaryFox));
}

// The Visual FoxPro _NullFlags field is part of the image but not of fields(): it is the run of
// bytes no field covers.
std::optional<FieldDesc> NullFlagsOf(const TableFile& table) {
  if (table.type() != TableType::kVfp) return std::nullopt;
  std::vector<bool> covered(table.record_length(), false);
  if (!covered.empty()) covered[0] = true;
  for (const auto& f : table.fields()) {
    uint64_t end = uint64_t{f.offset} + f.length + (HasLengthWord(f.type, table.type()) ? 2 : 0);
    for (uint64_t i = f.offset; i < end && i < covered.size(); ++i) covered[i] = true;
  }
  auto first = std::find(covered.begin(), covered.end(), false);
  if (first == covered.end()) return std::nullopt;
  auto last = std::find(first, covered.end(), true);
  FieldDesc d;
  d.name = "_NullFlags";
  d.type = storage::kFtRaw;
  d.offset = static_cast<uint32_t>(first - covered.begin());
  d.length = static_cast<uint32_t>(last - first);
  return d;
}

std::string Unquoted(const std::string& literal) {
  if (literal.size() >= 2 && literal.front() == '\'' && literal.back() == '\'') {
    return literal.substr(1, literal.size() - 2);
  }
  if (literal == "TRUE") return "T";
  if (literal == "FALSE") return "F";
  return literal;
}

std::string StemOf(const std::string& path) {
  std::string p = NormalizePath(path);
  size_t slash = p.rfind('/');
  std::string name = slash == std::string::npos ? p : p.substr(slash + 1);
  size_t dot = name.rfind('.');
  return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
}


// Splits "dir/name.ext" into "dir/name" and ".ext" (ext empty when there is none).
std::pair<std::string, std::string> SplitExtension(const std::string& path) {
  size_t slash = path.find_last_of("/\\");
  size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {path, ""};
  return {path.substr(0, dot), path.substr(dot)};
}

std::string MemoPathBeside(const std::string& data_path, TableType type) {
  auto [base, ext] = SplitExtension(data_path);
  std::string memo_ext = storage::MemoExtension(type);
  bool upper = ext.size() > 1 && std::isupper(static_cast<unsigned char>(ext[1]));
  if (upper) {
    for (char& c : memo_ext) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  return base + memo_ext;
}

// The engine's checks of one step against the columns the earlier steps leave.
class Validator {
 public:
  Validator(std::vector<Column> columns, TableType type, std::string table)
      : columns_(std::move(columns)), type_(type), table_(std::move(table)) {
    for (const auto& c : columns_) originals_.push_back(c.spec);
  }

  const std::vector<Column>& columns() const { return columns_; }

  // Applies the step's changes to a copy; on success the copy becomes the state.
  Status Apply(const AlterStep& step) {
    std::vector<Column> next = columns_;
    for (const ColumnChange& ch : step.changes) {
      Status st = ApplyOne(ch, &next);
      if (!st.ok()) {
        if (step.statement == nullptr) return st;
        return Locate(st, PlaceOf(*step.statement, step.index, step.count, ch.offset));
      }
    }
    columns_ = std::move(next);
    return Status::Ok();
  }

 private:
  int Find(const std::vector<Column>& cols, std::string_view name) const {
    for (size_t i = 0; i < cols.size(); ++i) {
      if (SameName(cols[i].spec.name, name)) return static_cast<int>(i);
    }
    return -1;
  }

  Status Place(std::vector<Column>* cols, Column col, uint32_t position) const {
    if (position == 0) {
      cols->push_back(std::move(col));
      return Status::Ok();
    }
    if (position > cols->size() + 1) {
      return SqlError(NativeError::kBadPosition,
                      "Position " + std::to_string(position) + " of the " +
                          ColumnRef(col.spec.name) + " lies past the " +
                          std::to_string(cols->size() + 1) + " places of table " + table_ + ".");
    }
    cols->insert(cols->begin() + (position - 1), std::move(col));
    return Status::Ok();
  }

  Result<FieldSpec> Resolve(const ColumnChange& ch, const std::string& name) const {
    if (ch.resolved) {
      FieldSpec s = *ch.resolved;
      s.name = name;
      return s;
    }
    auto spec = ResolveType(ch.type, type_);
    if (!spec.ok()) {
      // The cause gains the column it was meant for.
      std::string cause = CauseOf(spec.status());
      if (!cause.empty() && cause.back() == '.') cause.pop_back();
      return SqlError(static_cast<NativeError>(NativeOf(spec.status())),
                      cause + " (" + ColumnRef(name) + " of table " + table_ + ").");
    }
    FieldSpec s = spec.value();
    s.name = name;
    s.nullable = !ch.not_null;
    return s;
  }

  Status ApplyOne(const ColumnChange& ch, std::vector<Column>* cols) const {
    switch (ch.kind) {
      case ChangeKind::kAdd: {
        ACE_RETURN_IF_ERROR(CheckColumnName(ch.column, type_));
        if (Find(*cols, ch.column) >= 0) {
          return SqlError(
              NativeError::kColumnExists,
              "The " + ColumnRef(ch.column) + " already exists in table " + table_ + ".");
        }
        auto spec = Resolve(ch, ch.column);
        if (!spec.ok()) return spec.status();
        Column col;
        col.spec = spec.value();
        if (ch.default_value && *ch.default_value != "NULL") col.default_value = ch.default_value;
        return Place(cols, std::move(col), ch.position);
      }
      case ChangeKind::kDrop: {
        int at = Find(*cols, ch.column);
        if (at < 0) return NotFound(ch.column);
        if (cols->size() == 1) {
          return SqlError(NativeError::kNoColumnsLeft, "Dropping the " + ColumnRef(ch.column) +
                                                           " would leave table " + table_ +
                                                           " without columns.");
        }
        cols->erase(cols->begin() + at);
        return Status::Ok();
      }
      case ChangeKind::kAlter: {
        int at = Find(*cols, ch.column);
        if (at < 0) return NotFound(ch.column);
        std::string name = ch.new_name.empty() ? (*cols)[at].spec.name : ch.new_name;
        if (!ch.new_name.empty()) {
          ACE_RETURN_IF_ERROR(CheckColumnName(name, type_));
          int other = Find(*cols, name);
          if (other >= 0 && other != at) {
            return SqlError(NativeError::kColumnExists,
                            "The " + ColumnRef(name) + " already exists in table " + table_ + ".");
          }
        }
        auto spec = Resolve(ch, name);
        if (!spec.ok()) return spec.status();
        Column col = (*cols)[at];
        const FieldSpec before = col.spec;
        col.spec = spec.value();
        // Conversion is judged against the column as the old table stores it.
        if (col.source >= 0) {
          col.convert = !SameStorage(originals_[static_cast<size_t>(col.source)], col.spec);
        } else if (!SameStorage(before, col.spec)) {
          col.default_value.reset();
        }
        cols->erase(cols->begin() + at);
        if (ch.position == 0) {
          cols->insert(cols->begin() + at, std::move(col));
          return Status::Ok();
        }
        return Place(cols, std::move(col), ch.position);
      }
    }
    return Status::Ok();
  }

  Status NotFound(std::string_view name) const {
    return SqlError(NativeError::kColumnNotFound,
                    "The " + ColumnRef(name) + " does not exist in table " + table_ + ".");
  }

  std::vector<Column> columns_;
  std::vector<FieldSpec> originals_;  // by source index
  TableType type_;
  std::string table_;
};

// Copies the records of an old table into the new one. What every record gets alike is worked
// out once (Plan): the new columns' empty or default values stand in a template record, and the
// columns carried over unchanged are byte ranges copied as they stand, adjacent ones joined.
// Only the other columns (converted ones, memos rewritten into the new memo file, Visual FoxPro
// columns with their null and length bits) go column by column through CopyColumn.
//
// memos_cloned: the new memo file is a copy of the old one (CloneMemoFile), so memo columns
// carried over unchanged keep their pointers and are copied as bytes too.
class Copier {
 public:
  Copier(TableFile& from, TableFile& to, const std::vector<Column>& columns, bool memos_cloned)
      : from_(from), to_(to), columns_(columns), memos_cloned_(memos_cloned) {
    from_flags_ = NullFlagsOf(from_);
    to_flags_ = NullFlagsOf(to_);
  }

  Status Run() {
    Plan();
    const size_t from_length = from_.record_length();
    std::vector<std::byte> img(template_.size());
    bool has_autoinc = false;
    for (const auto& f : to_.fields()) has_autoinc |= f.type == storage::kFtAutoInc;
    const uint32_t count = from_.record_count();
    const auto per_block = static_cast<uint32_t>(
        std::clamp<size_t>(kCopyBlockBytes / std::max<size_t>(from_length, 1), 1, 1 << 16));
    std::vector<std::byte> block;
    uint32_t block_first = 0, block_count = 0;
    // The new records of a block are appended together, except where Visual FoxPro numbers
    // autoincrement fields anew and each record is written again after its append.
    const bool renumbers = has_autoinc && to_.type() == TableType::kVfp;
    std::vector<std::byte> out;
    uint32_t out_count = 0;
    auto append_out = [&]() -> Status {
      Status st = to_.AppendRecords(out.data(), out_count);
      out.clear();
      out_count = 0;
      return st;
    };
    // The copy reports its progress; a stop removes the new files and leaves the table.
    Progress progress(count);
    for (uint32_t recno = 1; recno <= count; ++recno) {
      ACE_RETURN_IF_ERROR(progress.Advance(recno - 1));
      if (recno - block_first >= block_count || block_count == 0) {
        ACE_RETURN_IF_ERROR(append_out());
        block_count = std::min(per_block, count - recno + 1);
        block.resize(size_t{block_count} * from_length);
        block_first = recno;
        ACE_RETURN_IF_ERROR(from_.ReadRecords(recno, block_count, block.data()));
      }
      const std::byte* src = block.data() + size_t{recno - block_first} * from_length;
      std::memcpy(img.data(), template_.data(), img.size());
      for (const ByteRun& run : runs_) std::memcpy(img.data() + run.to, src + run.from, run.length);
      for (size_t i : per_record_) {
        Status st = CopyColumn(columns_[i], to_.fields()[i], src, img);
        if (!st.ok()) {
          const std::string where =
              "Record " + std::to_string(recno) + ", " + ColumnRef(to_.fields()[i].name) + ": ";
          if (IsSqlError(st)) {
            return SqlError(static_cast<NativeError>(NativeOf(st)), where + CauseOf(st));
          }
          return st.WithContext(from_.path() + ", record " + std::to_string(recno) + ", " +
                                ColumnRef(to_.fields()[i].name));
        }
      }
      to_.SetDeleted(img.data(), from_.IsDeleted(src));
      if (!renumbers) {
        out.insert(out.end(), img.begin(), img.end());
        ++out_count;
        continue;
      }
      auto appended = to_.AppendRecord(img.data());
      if (!appended.ok()) return appended.status();
      // Visual FoxPro appends number autoincrement fields anew; the copy keeps the old values.
      ACE_RETURN_IF_ERROR(to_.WriteRecord(appended.value(), img.data()));
    }
    ACE_RETURN_IF_ERROR(append_out());
    return progress.Advance(count);
  }

 private:
  // Larger than half the private read-ahead window, so that a block is read straight into
  // place rather than through the window.
  static constexpr size_t kCopyBlockBytes = 2 << 20;

  struct ByteRun {
    uint32_t from = 0, to = 0, length = 0;
  };

  void Plan() {
    template_ = to_.BlankRecord();
    runs_.clear();
    per_record_.clear();
    // Visual FoxPro keeps null and length bits of every column in one shared field: its columns
    // all go one by one, in order.
    const bool vfp = from_.type() == TableType::kVfp || to_.type() == TableType::kVfp;
    for (size_t i = 0; i < columns_.size(); ++i) {
      const Column& col = columns_[i];
      const FieldDesc& df = to_.fields()[i];
      if (vfp) {
        per_record_.push_back(i);
        continue;
      }
      if (col.source < 0) {
        // The same value for every record; a memo default is written for each record anew, and
        // a value that cannot be stored is reported with the first record, as it happens there.
        const bool memo = storage::IsMemoType(df.type, to_.type());
        if ((memo && col.default_value) || !CopyColumn(col, df, nullptr, template_).ok()) {
          per_record_.push_back(i);
        }
        continue;
      }
      const FieldDesc& sf = from_.fields()[static_cast<size_t>(col.source)];
      const bool memo =
          storage::IsMemoType(sf.type, from_.type()) || storage::IsMemoType(df.type, to_.type());
      if (col.convert || (memo && !memos_cloned_)) {
        per_record_.push_back(i);
        continue;
      }
      const uint32_t n = sf.length + (HasLengthWord(sf.type, from_.type()) ? 2 : 0);
      if (!runs_.empty() && runs_.back().from + runs_.back().length == sf.offset &&
          runs_.back().to + runs_.back().length == df.offset) {
        runs_.back().length += n;
      } else {
        runs_.push_back(ByteRun{sf.offset, df.offset, n});
      }
    }
  }

 private:
  fields::FieldContext FromContext(const FieldDesc& f) const {
    fields::FieldContext ctx{f};
    ctx.table = from_.type();
    ctx.null_flags = from_flags_ ? &*from_flags_ : nullptr;
    return ctx;
  }
  fields::FieldContext ToContext(const FieldDesc& f) const {
    fields::FieldContext ctx{f};
    ctx.table = to_.type();
    ctx.null_flags = to_flags_ ? &*to_flags_ : nullptr;
    return ctx;
  }

  Status SetNull(const FieldDesc& df, std::vector<std::byte>& img) {
    if (storage::IsMemoType(df.type, to_.type())) return Status::Ok();  // blank: no memo
    switch (to_.type()) {
      case TableType::kAdt:
        return fields::SetNull(ToContext(df), fields::Image(img));
      case TableType::kVfp:
        if (df.nullable && df.null_bit >= 0) {
          return storage::SetVfpSystemBit(to_, img.data(), df.null_bit, true);
        }
        return Status::Ok();
      default:
        return Status::Ok();  // the blank record is the DBF form of an empty value
    }
  }

  // src is the old record (nullptr for a new column, which reads nothing of it).
  Status CopyColumn(const Column& col, const FieldDesc& df, const std::byte* src,
                    std::vector<std::byte>& img) {
    if (col.source < 0) {
      if (col.default_value) {
        std::string text = Unquoted(*col.default_value);
        if (storage::IsMemoType(df.type, to_.type())) {
          std::vector<uint8_t> bytes(text.begin(), text.end());
          return to_.WriteMemo(img.data(), df, bytes, storage::MemoKind::kText);
        }
        return fields::SetText(ToContext(df), fields::Image(img), text);
      }
      return SetNull(df, img);
    }
    const FieldDesc& sf = from_.fields()[static_cast<size_t>(col.source)];
    const bool source_memo = storage::IsMemoType(sf.type, from_.type());
    const bool dest_memo = storage::IsMemoType(df.type, to_.type());
    if (source_memo || dest_memo) return CopyMemo(sf, df, src, img);
    fields::ConstImage simage(src, from_.record_length());
    fields::Image dimage(img);
    if (!col.convert) {
      uint32_t n = sf.length + (HasLengthWord(sf.type, from_.type()) ? 2 : 0);
      std::memcpy(img.data() + df.offset, src + sf.offset, n);
      if (from_.type() == TableType::kVfp && to_.type() == TableType::kVfp) {
        ACE_RETURN_IF_ERROR(CopyBit(sf.null_bit, df.null_bit, src, img));
        ACE_RETURN_IF_ERROR(CopyBit(sf.varlen_bit, df.varlen_bit, src, img));
      }
      return Status::Ok();
    }
    auto null = fields::IsNull(FromContext(sf), simage);
    if (!null.ok()) return null.status();
    if (null.value()) return SetNull(df, img);
    Status st;
    if (sf.type == storage::kFtRaw || sf.type == storage::kFtVarbinaryFox) {
      auto raw = fields::GetRaw(FromContext(sf), simage);
      if (!raw.ok()) return raw.status();
      st = fields::SetRaw(ToContext(df), dimage, raw.value());
    } else {
      auto text = fields::GetText(FromContext(sf), simage, fields::kTrimBoth);
      if (!text.ok()) return text.status();
      st = fields::SetText(ToContext(df), dimage, text.value());
    }
    if (!st.ok()) return SqlError(NativeError::kConversion, st.message() + ".");
    return Status::Ok();
  }

  Status CopyBit(int16_t from_bit, int16_t to_bit, const std::byte* src,
                 std::vector<std::byte>& img) {
    if (from_bit < 0 || to_bit < 0) return Status::Ok();
    auto on = storage::GetVfpSystemBit(from_, src, from_bit);
    if (!on.ok()) return on.status();
    return storage::SetVfpSystemBit(to_, img.data(), to_bit, on.value());
  }

  Status CopyMemo(const FieldDesc& sf, const FieldDesc& df, const std::byte* src,
                  std::vector<std::byte>& img) {
    const bool source_memo = storage::IsMemoType(sf.type, from_.type());
    const bool dest_memo = storage::IsMemoType(df.type, to_.type());
    std::vector<uint8_t> content;
    storage::MemoKind kind = storage::MemoKind::kText;
    if (source_memo) {
      auto data = from_.ReadMemo(src, sf);
      if (!data.ok()) return data.status();
      content = std::move(data.value());
      if (!content.empty()) {
        auto k = from_.MemoType(src, sf);
        if (!k.ok()) return k.status();
        kind = k.value();
      }
    } else {
      auto text = fields::GetText(FromContext(sf), fields::ConstImage(src, from_.record_length()),
                                  fields::kTrimRight);
      if (!text.ok()) return text.status();
      content.assign(text.value().begin(), text.value().end());
    }
    if (dest_memo) {
      if (content.empty()) return Status::Ok();
      return to_.WriteMemo(img.data(), df, content, kind);
    }
    Status st = fields::SetText(ToContext(df), fields::Image(img),
                                std::string(content.begin(), content.end()));
    if (!st.ok()) return SqlError(NativeError::kConversion, st.message() + ".");
    return Status::Ok();
  }

  TableFile& from_;
  TableFile& to_;
  const std::vector<Column>& columns_;
  const bool memos_cloned_;
  std::optional<FieldDesc> from_flags_;
  std::optional<FieldDesc> to_flags_;
  std::vector<std::byte> template_;  // the blank record with the new columns' values
  std::vector<ByteRun> runs_;
  std::vector<size_t> per_record_;  // the columns copied record by record
};

// Whether the new table can take a copy of the old memo file (CloneMemoFile) instead of every
// memo being rewritten: only when each memo column of the old table goes over unchanged, once,
// so that the copy holds no memo nobody points at. Visual FoxPro records keep their columns'
// bits in a shared field and are always copied column by column, memos included.
bool MemosCarryOver(const TableFile& old, TableType type, const std::vector<Column>& columns) {
  if (type == TableType::kVfp || old.memo_path().empty()) return false;
  std::vector<int> uses(old.fields().size(), 0);
  for (const auto& c : columns) {
    if (c.source < 0) continue;
    const FieldDesc& sf = old.fields()[static_cast<size_t>(c.source)];
    const bool source_memo = storage::IsMemoType(sf.type, type);
    if (source_memo != storage::IsMemoType(c.spec.type, type)) return false;
    if (source_memo && (c.convert || c.spec.type != sf.type)) return false;
    ++uses[static_cast<size_t>(c.source)];
  }
  for (size_t i = 0; i < uses.size(); ++i) {
    if (storage::IsMemoType(old.fields()[i].type, type) && uses[i] != 1) return false;
  }
  return true;
}

// Puts the new files in place of the old ones (step 4 of restructure.h) through the storage
// layer's crash-safe swap; a memo file the new table no longer needs goes with the old table.
Status SwapIn(const std::string& path, const std::string& old_memo, const std::string& new_data,
              const std::string& new_memo, const std::string& memo_target) {
  return storage::ReplaceTableFiles(path, new_memo.empty() ? old_memo : memo_target, new_data,
                                    new_memo);
}

Status Rewrite(const std::string& path, TableType type, std::unique_ptr<TableFile> old,
               const std::vector<Column>& columns) {
  const std::string new_data = RestructurePath(path);
  std::vector<FieldSpec> specs;
  for (const auto& c : columns) specs.push_back(c.spec);
  storage::CreateOptions options;
  options.memo_block_size = old->memo_block_size();
  // Leftovers of an interrupted run carry the reserved names; they are never a user's table.
  const std::string new_memo_guess = MemoPathBeside(new_data, type);
  RemoveFile(new_data).ok();
  RemoveFile(new_memo_guess).ok();
  std::string new_memo;
  auto cleanup = [&](Status st) {
    RemoveFile(new_data).ok();
    RemoveFile(new_memo_guess).ok();
    if (!new_memo.empty()) RemoveFile(new_memo).ok();
    return st;
  };
  auto created = storage::CreateTableFile(new_data, type, specs, options);
  if (!created.ok()) return cleanup(created.status());
  std::unique_ptr<TableFile> fresh = std::move(created.value());
  new_memo = fresh->memo_path();
  // Memos that all go over unchanged go over as one copy of the memo file.
  const bool clone = !new_memo.empty() && MemosCarryOver(*old, type, columns);
  if (clone) {
    fresh.reset();
    Status cloned = storage::CloneMemoFile(type, old->memo_path(), new_memo);
    if (!cloned.ok()) return cleanup(cloned);
    auto reopened = storage::OpenTableFile(new_data, type, storage::OpenOptions{});
    if (!reopened.ok()) return cleanup(reopened.status());
    fresh = std::move(reopened.value());
  }
  // Nobody else sees the new files until the swap, and the old table is this rewrite's alone:
  // both are used privately (large buffers, no per-record locks or header reads).
  Status st = old->SetPrivate(true);
  if (st.ok()) st = fresh->SetPrivate(true);
  if (st.ok()) st = Copier(*old, *fresh, columns, clone).Run();
  Status ended = fresh->SetPrivate(false);
  if (st.ok()) st = ended;
  ended = old->SetPrivate(false);
  if (st.ok()) st = ended;
  if (st.ok()) st = fresh->Flush();
  if (!st.ok()) return cleanup(st);
  const std::string old_memo = old->memo_path();
  const std::string memo_target = old_memo.empty() ? MemoPathBeside(path, type) : old_memo;
  fresh.reset();
  old.reset();
  st = SwapIn(path, old_memo, new_data, new_memo, memo_target);
  if (!st.ok()) return cleanup(st);
  return Status::Ok();
}

}  // namespace

std::string RestructurePath(const std::string& path) {
  auto [base, ext] = SplitExtension(path);
  return base + ".~restructure" + ext;
}

RestructureOutcome RestructureTable(const RestructureRequest& request) {
  RestructureOutcome out;
  if (request.steps.empty()) return out;
  const std::string table = request.table_name.empty() ? StemOf(request.path) : request.table_name;
  const AlterStep& first = request.steps.front();
  // Where the first statement stands, for messages; nothing for changes that come from no
  // statement (AdsRestructureTable90).
  auto where = [&]() -> std::string {
    if (first.statement == nullptr) return {};
    return DescribePlace(PlaceOf(*first.statement, first.index, first.count, std::nullopt));
  };
  auto locate = [&](const Status& st) {
    if (first.statement == nullptr) return st;
    return Locate(st, PlaceOf(*first.statement, first.index, first.count, std::nullopt));
  };
  if (request.in_use && request.in_use(request.path)) {
    out.error =
        SqlError(NativeError::kTableInUse,
                 "Table " + table + " is open by another user; it cannot be changed now.", where());
    return out;
  }
  storage::OpenOptions open;
  auto opened = storage::OpenTableFile(request.path, request.type, open);
  if (!opened.ok()) {
    if (opened.status().code() == kErrFileNotFound && !FileExists(request.path)) {
      out.error = SqlError(NativeError::kTableNotFound,
                           "Table " + table + " does not exist (" + request.path + ").", where());
    } else {
      out.error = locate(opened.status());
    }
    return out;
  }
  std::unique_ptr<TableFile> old = std::move(opened.value());
  if (old->encrypted()) {
    // The rewritten table would be plain: the caller decrypts it first, on purpose.
    out.error = Status(kErrEncryption, "table " + table +
                                           " is encrypted; its structure cannot be changed "
                                           "until it is decrypted");
    return out;
  }
  std::vector<Column> columns;
  for (size_t i = 0; i < old->fields().size(); ++i) {
    Column c;
    c.spec = SpecOf(old->fields()[i]);
    c.source = static_cast<int>(i);
    columns.push_back(std::move(c));
  }
  Validator validator(std::move(columns), request.type, table);
  Status refused;
  for (const AlterStep& step : request.steps) {
    refused = validator.Apply(step);
    if (!refused.ok()) break;
    ++out.applied;
  }
  if (out.applied == 0) {
    out.error = refused;
    return out;
  }
  Status st = Rewrite(request.path, request.type, std::move(old), validator.columns());
  if (!st.ok()) {
    out.applied = 0;
    out.error = locate(st);
    return out;
  }
  out.rewritten = true;
  out.error = refused;
  return out;
}

}  // namespace ace::sql
