// The optimized filter, locate and key lookup of a cursor (see cursor.h). The optimized
// filter's set is computed in two steps: the open indexes narrow the records down to the
// candidates their key ranges allow (expr::AnalyzeFilter says which terms they answer), then
// each candidate is tested with the whole expression. The index step only ever leaves records
// out that cannot pass, so the set equals a scan of every record.
#include <algorithm>
#include <functional>

#include "engine/base/error_codes.h"
#include "engine/cursor/cursor.h"
#include "engine/expr/key_encoding.h"

namespace ace::cursor {
namespace {

// A candidate set: one flag per record; nullopt stands for every record.
using Candidates = std::optional<std::vector<bool>>;

Candidates Intersect(Candidates a, const Candidates& b) {
  if (!a) return b;
  if (!b) return a;
  for (size_t i = 0; i < a->size(); ++i) (*a)[i] = (*a)[i] && (*b)[i];
  return a;
}

Candidates Unite(Candidates a, const Candidates& b) {
  if (!a || !b) return std::nullopt;
  for (size_t i = 0; i < a->size(); ++i) (*a)[i] = (*a)[i] || (*b)[i];
  return a;
}

bool InRange(const std::string& key, const expr::KeyRange& r) {
  if (r.low) {
    int c = key.compare(*r.low);
    if (c < 0 || (c == 0 && !r.low_inclusive)) return false;
  }
  if (r.high) {
    int c = key.compare(*r.high);
    if (c > 0 || (c == 0 && !r.high_inclusive)) return false;
  }
  return true;
}

// The records whose keys in tag lie in the range, and the records whose key is the null key
// of the tag's type: a null value compares as its type's empty value, which may pass.
Result<std::vector<bool>> RecordsInRange(index::Tag* tag, const expr::KeyRange& range,
                                         uint32_t count) {
  std::vector<bool> out(count, false);
  index::BTree& tree = tag->tree();
  const std::string null_key =
      expr::EncodeKey(expr::Value::TypedNull(tag->key_spec().type), tag->key_spec());
  auto add = [&](const index::TreeEntry& e) {
    if (e.recno >= 1 && e.recno <= count) out[e.recno - 1] = true;
  };
  const bool walk_all = tag->options().descending || !range.low;
  Result<index::TreePosition> pos =
      walk_all ? tree.First() : tree.SeekFirstAtLeast(tag->ToIndexOrder(*range.low));
  while (pos.ok() && pos->valid()) {
    Result<index::TreeEntry> entry = tree.EntryAt(*pos);
    if (!entry.ok()) return entry.status();
    const std::string key = tag->FromIndexOrder(entry->key);
    if (InRange(key, range)) {
      add(*entry);
    } else if (!walk_all && range.high && key.compare(*range.high) > 0) {
      break;
    }
    pos = tree.Next(*pos);
  }
  if (!pos.ok()) return pos.status();
  if (walk_all) return out;
  const std::string stored_null = tag->ToIndexOrder(null_key);
  pos = tree.SeekFirstAtLeast(stored_null);
  while (pos.ok() && pos->valid()) {
    Result<index::TreeEntry> entry = tree.EntryAt(*pos);
    if (!entry.ok()) return entry.status();
    if (entry->key != stored_null) break;
    add(*entry);
    pos = tree.Next(*pos);
  }
  if (!pos.ok()) return pos.status();
  return out;
}

// The level at which the candidate step below narrows the records: as the analysis says,
// except that negations (.NOT., <>) are left to the record test, since a complement of key
// ranges would drop records whose null values pass.
expr::OptLevel NarrowingLevel(const expr::AofNode& n, const expr::AofPlan& p) {
  using K = expr::AofNode::Kind;
  switch (n.kind) {
    case K::kTerm: {
      const expr::AofTerm& t = p.terms[static_cast<size_t>(n.term)];
      return t.resolvable && t.op != expr::Op::kNe ? expr::OptLevel::kFull : expr::OptLevel::kNone;
    }
    case K::kNot:
      return expr::OptLevel::kNone;
    case K::kAnd:
    case K::kOr: {
      bool all_full = true, any_opt = false, all_opt = true;
      for (const expr::AofNode& c : n.children) {
        expr::OptLevel l = NarrowingLevel(c, p);
        if (l != expr::OptLevel::kFull) all_full = false;
        if (l != expr::OptLevel::kNone) any_opt = true;
        if (l == expr::OptLevel::kNone) all_opt = false;
      }
      if (all_full) return expr::OptLevel::kFull;
      if (n.kind == K::kAnd) return any_opt ? expr::OptLevel::kPartial : expr::OptLevel::kNone;
      return all_opt ? expr::OptLevel::kPartial : expr::OptLevel::kNone;
    }
  }
  return expr::OptLevel::kNone;
}

std::string NodeText(const expr::AofNode& n, const expr::AofPlan& p) {
  using K = expr::AofNode::Kind;
  if (n.kind == K::kTerm) return p.terms[static_cast<size_t>(n.term)].text;
  if (n.kind == K::kNot) return ".NOT. (" + NodeText(n.children[0], p) + ")";
  std::string out = "(";
  for (size_t i = 0; i < n.children.size(); ++i) {
    if (i) out += n.kind == K::kAnd ? " .AND. " : " .OR. ";
    out += NodeText(n.children[i], p);
  }
  return out + ")";
}

// The part the indexes leave to the record test: "" when they answer all of it.
std::string Unoptimized(const expr::AofNode& n, const expr::AofPlan& p) {
  if (NarrowingLevel(n, p) == expr::OptLevel::kFull) return std::string();
  if (n.kind != expr::AofNode::Kind::kAnd) return NodeText(n, p);
  std::string out;
  for (const expr::AofNode& c : n.children) {
    std::string r = Unoptimized(c, p);
    if (!r.empty()) out += out.empty() ? r : " .AND. " + r;
  }
  return out;
}

}  // namespace

std::vector<index::Tag*> Cursor::AofTags() const {
  std::vector<index::Tag*> out;
  for (index::Tag* tag : Tags()) {
    const index::TagOptions& o = tag->options();
    if (!tag->present() || !tag->key_expr() || !tag->for_condition().empty() || o.unique ||
        o.custom || tag->key_spec().collation->kind() != expr::CollationKind::kMachine)
      continue;
    out.push_back(tag);
  }
  return out;
}

const std::string& Cursor::aof_text() const {
  static const std::string kNone;
  return aof_ ? aof_->text : kNone;
}

Status Cursor::SetAof(std::string_view text, uint32_t options) {
  const uint32_t kind = options & (kAofKeyset | kAofFixed);
  const uint32_t resolve = options & (kAofResolveImmediate | kAofResolveDynamic);
  if ((options & ~(kAofKeyset | kAofFixed | kAofResolveImmediate | kAofResolveDynamic)) != 0 ||
      kind == (kAofKeyset | kAofFixed) || resolve == (kAofResolveImmediate | kAofResolveDynamic))
    return Status(kErrInvalidArgument,
                  "optimized filter option " + std::to_string(options) +
                      ": one of dynamic (0), keyset (4), fixed (8), plus resolve immediate (1) or "
                      "resolve when needed (2)");
  ACE_RETURN_IF_ERROR(OpenIndexes());
  index::TableRecordSource schema(table_->file.get());
  Result<expr::Expression> compiled = expr::Expression::Compile(text, &schema);
  if (!compiled.ok()) return compiled.status();
  if (compiled->type() != expr::ValueType::kLogical)
    return Status(kErrInvalidExpression, "the filter " + std::string(text) + " is " +
                                             std::string(expr::ValueTypeName(compiled->type())) +
                                             ", not logical");
  auto state = std::make_unique<AofState>();
  state->expr = std::make_unique<expr::Expression>(std::move(*compiled));
  state->text = std::string(text);
  state->kind = kind;
  std::unique_ptr<AofState> previous = std::move(aof_);
  aof_ = std::move(state);
  if (resolve != kAofResolveDynamic) {
    Status s = ResolveAof();
    if (!s.ok()) {
      aof_ = std::move(previous);
      return s;
    }
  }
  return Status::Ok();
}

Status Cursor::ClearAof() {
  if (aof_ == nullptr) return Status(kErrNoFilter, path() + ": no optimized filter is set");
  aof_.reset();
  return Status::Ok();
}

Status Cursor::RefreshAof() {
  if (aof_ == nullptr) return Status(kErrNoFilter, path() + ": no optimized filter is set");
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  aof_->resolved = false;
  return ResolveAof();
}

void Cursor::InvalidateAof() {
  if (aof_ != nullptr) aof_->resolved = false;
}

Status Cursor::ResolveAof() const {
  AofState& a = *aof_;
  const uint32_t count = table_->file->record_count();
  std::vector<index::Tag*> tags = AofTags();
  std::vector<const expr::Expression*> keys;
  for (index::Tag* t : tags) keys.push_back(&*t->key_expr());
  Result<expr::AofPlan> plan = expr::AnalyzeFilter(*a.expr, keys, EvalOptions());
  if (!plan.ok()) return plan.status();

  // Candidates from the index-resolved terms, combined as the filter combines them.
  const expr::AofPlan& p = *plan;
  std::function<Result<Candidates>(const expr::AofNode&)> walk =
      [&](const expr::AofNode& n) -> Result<Candidates> {
    if (NarrowingLevel(n, p) == expr::OptLevel::kNone) return Candidates{};
    switch (n.kind) {
      case expr::AofNode::Kind::kTerm: {
        const expr::AofTerm& term = p.terms[static_cast<size_t>(n.term)];
        index::Tag* tag = tags[static_cast<size_t>(term.index)];
        Result<expr::KeyRange> range = expr::TermKeyRange(term, tag->key_spec(), exact_);
        if (!range.ok()) return range.status();
        Result<std::vector<bool>> in = RecordsInRange(tag, *range, count);
        if (!in.ok()) return in.status();
        return Candidates(std::move(*in));
      }
      case expr::AofNode::Kind::kNot:
        return Candidates{};
      case expr::AofNode::Kind::kAnd:
      case expr::AofNode::Kind::kOr: {
        const bool is_and = n.kind == expr::AofNode::Kind::kAnd;
        Candidates acc;
        bool first = true;
        for (const expr::AofNode& c : n.children) {
          Result<Candidates> part = walk(c);
          if (!part.ok()) return part.status();
          if (first) {
            acc = std::move(part.value());
            first = false;
          } else {
            acc = is_and ? Intersect(std::move(acc), part.value())
                         : Unite(std::move(acc), part.value());
          }
        }
        return acc;
      }
    }
    return Candidates{};
  };
  Result<Candidates> candidates = walk(p.root);
  if (!candidates.ok()) return candidates.status();

  std::vector<uint8_t> members(count, 0);
  std::vector<std::byte> image;
  for (uint32_t r = 1; r <= count; ++r) {
    if (candidates.value() && !(*candidates.value())[r - 1]) continue;
    ACE_RETURN_IF_ERROR(ReadRecord(r, &image));
    Result<bool> holds = AofHolds(r, image);
    if (!holds.ok()) return holds.status();
    members[r - 1] = *holds ? 1 : 0;
  }
  a.members = std::move(members);
  a.level = NarrowingLevel(p.root, p);
  a.unoptimized = a.level == expr::OptLevel::kFull ? std::string() : Unoptimized(p.root, p);
  a.resolved = true;
  return Status::Ok();
}

Result<bool> Cursor::AofHolds(uint32_t recno, const std::vector<std::byte>& image) const {
  if (probe_ == nullptr) probe_ = std::make_unique<index::TableRecordSource>(table_->file.get());
  probe_->SetRecord(recno, image.data());
  Result<bool> holds = aof_->expr->EvaluateLogical(*probe_, EvalOptions());
  probe_->SetRecord(0, nullptr);
  if (!holds.ok()) return holds.status().WithContext("optimized filter of " + path());
  return *holds;
}

Result<bool> Cursor::AofAdmits(uint32_t recno, const std::vector<std::byte>& image) const {
  if (!aof_->resolved) ACE_RETURN_IF_ERROR(ResolveAof());
  const AofState& a = *aof_;
  const uint8_t state = recno >= 1 && recno <= a.members.size() ? a.members[recno - 1] : 0;
  if (state == 2) return true;
  if (state == 3) return false;
  switch (a.kind) {
    case kAofFixed:
      return state == 1;
    case kAofKeyset:
      if (state != 1) return false;
      return AofHolds(recno, image);
    default:
      return AofHolds(recno, image);
  }
}

Result<expr::OptLevel> Cursor::AofOptLevel(std::string* unoptimized) {
  if (aof_ == nullptr) return Status(kErrNoFilter, path() + ": no optimized filter is set");
  if (!aof_->resolved) {
    // The level does not need the set: analyze only.
    return EvalAofLevel(aof_->text, unoptimized);
  }
  if (unoptimized) *unoptimized = aof_->unoptimized;
  return aof_->level;
}

Result<expr::OptLevel> Cursor::EvalAofLevel(std::string_view text, std::string* unoptimized) {
  ACE_RETURN_IF_ERROR(OpenIndexes());
  index::TableRecordSource schema(table_->file.get());
  Result<expr::Expression> compiled = expr::Expression::Compile(text, &schema);
  if (!compiled.ok()) return compiled.status();
  std::vector<const expr::Expression*> keys;
  for (index::Tag* t : AofTags()) keys.push_back(&*t->key_expr());
  Result<expr::AofPlan> plan = expr::AnalyzeFilter(*compiled, keys, EvalOptions());
  if (!plan.ok()) return plan.status();
  const expr::OptLevel level = NarrowingLevel(plan->root, *plan);
  if (unoptimized)
    *unoptimized = level == expr::OptLevel::kFull ? std::string() : Unoptimized(plan->root, *plan);
  return level;
}

Status Cursor::CustomizeAof(const std::vector<uint32_t>& records, uint16_t option) {
  if (aof_ == nullptr) return Status(kErrNoFilter, path() + ": no optimized filter is set");
  if (option < 1 || option > 3)
    return Status(kErrInvalidArgument, "customize option " + std::to_string(option) +
                                           ": add (1), remove (2) or toggle (3)");
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshCount());
  const uint32_t count = table_->file->record_count();
  for (uint32_t r : records) {
    if (r == 0 || r > count)
      return Status(kErrInvalidRecordNumber, path() + ": record " + std::to_string(r) +
                                                 " is not in the table of " +
                                                 std::to_string(count) + " records");
  }
  if (!aof_->resolved) ACE_RETURN_IF_ERROR(ResolveAof());
  std::vector<uint8_t>& m = aof_->members;
  if (m.size() < count) m.resize(count, 0);
  std::vector<std::byte> image;
  for (uint32_t r : records) {
    uint8_t& state = m[r - 1];
    bool in_now = state == 1 || state == 2;
    if (state == 0 || state == 1) {
      // A dynamic or keyset member's answer is its test now.
      if (aof_->kind != kAofFixed && (state == 1 || aof_->kind == kAofDynamic)) {
        ACE_RETURN_IF_ERROR(ReadRecord(r, &image));
        Result<bool> holds = AofHolds(r, image);
        if (!holds.ok()) return holds.status();
        in_now = *holds;
      }
    }
    const bool want = option == 1 ? true : option == 2 ? false : !in_now;
    state = want ? 2 : 3;
  }
  return Status::Ok();
}

Result<bool> Cursor::IsRecordInAof(uint32_t recno) {
  if (aof_ == nullptr) return Status(kErrNoFilter, path() + ": no optimized filter is set");
  if (recno == 0) {
    if (!has_record() || appending_)
      return Status(kErrNoCurrentRecord, path() + ": there is no current record");
    return AofAdmits(recno_, record_);
  }
  ACE_RETURN_IF_ERROR(RefreshCount());
  if (recno > table_->file->record_count())
    return Status(kErrInvalidRecordNumber,
                  path() + ": record " + std::to_string(recno) + " is not in the table");
  std::vector<std::byte> image;
  ACE_RETURN_IF_ERROR(ReadRecord(recno, &image));
  return AofAdmits(recno, image);
}

// ---- Locate ----------------------------------------------------------------------------------

Result<bool> Cursor::Locate(std::string_view text, bool forward) {
  index::TableRecordSource schema(table_->file.get());
  Result<expr::Expression> compiled = expr::Expression::Compile(text, &schema);
  if (!compiled.ok()) return compiled.status();
  if (compiled->type() != expr::ValueType::kLogical)
    return Status(kErrInvalidExpression, "the search condition " + std::string(text) + " is " +
                                             std::string(expr::ValueTypeName(compiled->type())) +
                                             ", not logical");
  locate_ = std::make_unique<expr::Expression>(std::move(*compiled));
  locate_step_ = forward ? 1 : -1;
  ACE_RETURN_IF_ERROR(forward ? GotoTop() : GotoBottom());
  return LocateFrom(locate_step_);
}

Result<bool> Cursor::Continue() {
  if (locate_ == nullptr)
    return Status(kErrInvalidArgument, path() + ": no search to continue (AdsLocate first)");
  if (!has_record() || appending_) {
    ACE_RETURN_IF_ERROR(locate_step_ > 0 ? GotoEof() : GotoBof());
    return false;
  }
  ACE_RETURN_IF_ERROR(Skip(locate_step_));
  return LocateFrom(locate_step_);
}

Result<bool> Cursor::LocateFrom(int step) {
  while (has_record() && !appending_) {
    Result<bool> holds = locate_->EvaluateLogical(CurrentSource(), EvalOptions());
    if (!holds.ok()) return holds.status().WithContext("search of " + path());
    if (*holds) return true;
    ACE_RETURN_IF_ERROR(Skip(step));
  }
  // Skip leaves the cursor at EOF going forward and at BOF going backward.
  return false;
}

// ---- Key lookup ------------------------------------------------------------------------------

Result<bool> Cursor::LookupKey(index::Tag* tag, std::string_view encoded) {
  ACE_RETURN_IF_ERROR(FlushPending());
  ACE_RETURN_IF_ERROR(RefreshIndexes());
  const std::string stored = tag->ToIndexOrder(encoded);
  index::BTree& tree = tag->tree();
  const uint32_t count = table_->file->record_count();
  Result<index::TreePosition> pos = tree.SeekFirstAtLeast(stored);
  std::vector<std::byte> image;
  while (pos.ok() && pos->valid()) {
    Result<index::TreeEntry> entry = tree.EntryAt(*pos);
    if (!entry.ok()) return entry.status();
    if (entry->key.compare(0, stored.size(), stored) != 0) return false;
    if (entry->recno >= 1 && entry->recno <= count && ScopeSide(tag, entry->key) == 0) {
      ACE_RETURN_IF_ERROR(ReadRecord(entry->recno, &image));
      Result<bool> visible = Visible(entry->recno, image);
      if (!visible.ok()) return visible.status();
      if (*visible) return true;
    }
    pos = tree.Next(*pos);
  }
  if (!pos.ok()) return pos.status();
  return false;
}

}  // namespace ace::cursor
