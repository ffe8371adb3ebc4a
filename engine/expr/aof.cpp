// The decomposition of filters into index-resolvable terms.
#include "engine/expr/aof.h"

#include "engine/base/error_codes.h"
#include "engine/expr/key_encoding.h"

namespace ace::expr {

namespace {

bool IsConstant(const Node& n) {
  if (n.kind == NodeKind::kField) return false;
  if (n.kind == NodeKind::kCall && (n.fn == Fn::kDeleted || n.fn == Fn::kRecno)) return false;
  for (const auto& a : n.args) {
    if (!IsConstant(*a)) return false;
  }
  return true;
}

bool IsComparison(Op op) {
  return op == Op::kEq || op == Op::kEqEq || op == Op::kNe || op == Op::kLt || op == Op::kLe ||
         op == Op::kGt || op == Op::kGe;
}

Op Flip(Op op) {
  switch (op) {
    case Op::kLt:
      return Op::kGt;
    case Op::kLe:
      return Op::kGe;
    case Op::kGt:
      return Op::kLt;
    case Op::kGe:
      return Op::kLe;
    default:
      return op;
  }
}

// The leftmost operand of a chain of character concatenations.
const Node& LeadingSegment(const Node& n) {
  const Node* p = &n;
  while (p->kind == NodeKind::kBinary && p->op == Op::kAdd && p->type == ValueType::kCharacter) {
    p = p->args[0].get();
  }
  return *p;
}

struct KeyInfo {
  std::string canonical;
  std::string leading;  // canonical text of the leading segment; empty when not concatenated
  ValueType type;
};

class Analyzer {
 public:
  Analyzer(const std::vector<KeyInfo>& keys, const EvalOptions& options, AofPlan* plan)
      : keys_(keys), options_(options), plan_(plan) {}

  Result<AofNode> Walk(const Node& n) {
    AofNode out;
    if (n.kind == NodeKind::kBinary && (n.op == Op::kAnd || n.op == Op::kOr)) {
      out.kind = n.op == Op::kAnd ? AofNode::Kind::kAnd : AofNode::Kind::kOr;
      // A chain of one operator becomes one node with many children.
      for (const auto& a : n.args) {
        auto child = Walk(*a);
        if (!child.ok()) return child;
        if (child->kind == out.kind) {
          for (auto& c : child->children) out.children.push_back(std::move(c));
        } else {
          out.children.push_back(std::move(*child));
        }
      }
      out.level = Combine(out);
      return out;
    }
    if (n.kind == NodeKind::kUnary && n.op == Op::kNot) {
      // .NOT. of a logical key is a term of its own (key = .F.).
      if (!MatchesLogicalKey(*n.args[0])) {
        out.kind = AofNode::Kind::kNot;
        auto child = Walk(*n.args[0]);
        if (!child.ok()) return child;
        out.level = child->level == OptLevel::kFull ? OptLevel::kFull : OptLevel::kNone;
        out.children.push_back(std::move(*child));
        return out;
      }
    }
    auto term = MakeTerm(n);
    if (!term.ok()) return term.status();
    out.kind = AofNode::Kind::kTerm;
    out.term = static_cast<int>(plan_->terms.size());
    out.level = term->resolvable ? OptLevel::kFull : OptLevel::kNone;
    plan_->terms.push_back(std::move(*term));
    return out;
  }

  std::string Residual(const AofNode& n) const {
    if (n.level == OptLevel::kFull) return std::string();
    if (n.kind == AofNode::Kind::kAnd) {
      std::string out;
      for (const auto& c : n.children) {
        std::string r = Residual(c);
        if (r.empty()) continue;
        out += out.empty() ? r : " .AND. " + r;
      }
      return out;
    }
    return Text(n);
  }

 private:
  static OptLevel Combine(const AofNode& n) {
    bool all_full = true, any_opt = false, all_opt = true;
    for (const auto& c : n.children) {
      if (c.level != OptLevel::kFull) all_full = false;
      if (c.level != OptLevel::kNone) any_opt = true;
      if (c.level == OptLevel::kNone) all_opt = false;
    }
    if (all_full) return OptLevel::kFull;
    if (n.kind == AofNode::Kind::kAnd) return any_opt ? OptLevel::kPartial : OptLevel::kNone;
    return all_opt ? OptLevel::kPartial : OptLevel::kNone;
  }

  std::string Text(const AofNode& n) const {
    switch (n.kind) {
      case AofNode::Kind::kTerm:
        return plan_->terms[static_cast<size_t>(n.term)].text;
      case AofNode::Kind::kNot:
        return ".NOT. (" + Text(n.children[0]) + ")";
      default: {
        std::string out = "(";
        for (size_t i = 0; i < n.children.size(); ++i) {
          if (i) out += n.kind == AofNode::Kind::kAnd ? " .AND. " : " .OR. ";
          out += Text(n.children[i]);
        }
        return out + ")";
      }
    }
  }

  int FindKey(const std::string& canonical, bool* prefix) const {
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (keys_[i].canonical == canonical) {
        *prefix = false;
        return static_cast<int>(i);
      }
    }
    for (size_t i = 0; i < keys_.size(); ++i) {
      if (!keys_[i].leading.empty() && keys_[i].leading == canonical) {
        *prefix = true;
        return static_cast<int>(i);
      }
    }
    return -1;
  }

  bool MatchesLogicalKey(const Node& n) const {
    if (n.type != ValueType::kLogical) return false;
    bool prefix;
    int k = FindKey(CanonicalText(n), &prefix);
    return k >= 0 && !prefix;
  }

  Result<AofTerm> MakeTerm(const Node& n) {
    AofTerm t;
    t.node = &n;
    t.text = CanonicalText(n);
    const Node* logical = &n;
    bool negated = false;
    if (n.kind == NodeKind::kUnary && n.op == Op::kNot) {
      logical = n.args[0].get();
      negated = true;
    }
    if (MatchesLogicalKey(*logical)) {
      bool prefix;
      t.index = FindKey(CanonicalText(*logical), &prefix);
      t.resolvable = true;
      t.op = Op::kEq;
      t.constant = Value::Logical(!negated);
      return t;
    }
    if (n.kind != NodeKind::kBinary || !IsComparison(n.op)) return t;
    const Node* key_side = n.args[0].get();
    const Node* const_side = n.args[1].get();
    Op op = n.op;
    if (!IsConstant(*const_side) && IsConstant(*key_side)) {
      std::swap(key_side, const_side);
      op = Flip(op);
    }
    if (!IsConstant(*const_side) || IsConstant(*key_side)) return t;
    bool prefix = false;
    int k = FindKey(CanonicalText(*key_side), &prefix);
    if (k < 0) return t;
    // A date compared with a timestamp (or the reverse) has no key of the index's type.
    if (const_side->type != key_side->type) return t;
    auto value = EvaluateNode(*const_side, nullptr, options_);
    if (!value.ok()) return value.status();
    // A text longer than the key part (beyond trailing blanks) compares with characters the
    // key does not hold: no key range answers it.
    if (value->type == ValueType::kCharacter && key_side->length > 0) {
      size_t significant = value->text.find_last_not_of(' ');
      significant = significant == std::string::npos ? 0 : significant + 1;
      if (significant > key_side->length) return t;
    }
    t.index = k;
    t.op = op;
    t.constant = std::move(*value);
    t.key_prefix = prefix;
    t.part_length = key_side->length;
    t.resolvable = true;
    return t;
  }

  const std::vector<KeyInfo>& keys_;
  const EvalOptions& options_;
  AofPlan* plan_;
};

}  // namespace

Result<AofPlan> AnalyzeFilter(const Expression& filter,
                              const std::vector<const Expression*>& index_keys,
                              const EvalOptions& options) {
  if (filter.type() != ValueType::kLogical) {
    return Status(kErrInvalidExpression, "Filter '" + filter.text() + "' is " +
                                             std::string(ValueTypeName(filter.type())) +
                                             ", not logical");
  }
  std::vector<KeyInfo> keys;
  for (const Expression* e : index_keys) {
    KeyInfo info{e->Canonical(), std::string(), e->type()};
    const Node& lead = LeadingSegment(e->root());
    if (&lead != &e->root()) info.leading = CanonicalText(lead);
    keys.push_back(std::move(info));
  }
  AofPlan plan;
  Analyzer analyzer(keys, options, &plan);
  auto root = analyzer.Walk(filter.root());
  if (!root.ok()) return root.status();
  plan.root = std::move(*root);
  plan.level = plan.root.level;
  plan.residual = analyzer.Residual(plan.root);
  return plan;
}

}  // namespace ace::expr

namespace ace::expr {

namespace {

// The prefix range of key bytes that start with p: [p 00.., p FF..] over the key's length.
void PrefixRange(const std::string& p, uint32_t key_length, std::string* low, std::string* high) {
  *low = p.substr(0, key_length);
  *high = *low;
  low->resize(key_length, '\0');
  high->resize(key_length, '\xff');
}

}  // namespace

Result<KeyRange> TermKeyRange(const AofTerm& term, const KeySpec& spec, bool exact) {
  if (!term.resolvable) {
    return Status(kErrInvalidArgument, "The term '" + term.text + "' is not index-resolvable");
  }
  std::string low, high;
  if (spec.type == ValueType::kCharacter) {
    if (term.constant.type != ValueType::kCharacter) {
      return Status(kErrInvalidArgument, "The term '" + term.text + "' does not compare text");
    }
    // Blanks past the key part are not part of the compared text (AnalyzeFilter refused a
    // longer text), so a concatenated key's next part is not asked to start with them.
    std::string constant = term.constant.text;
    if (term.part_length > 0 && constant.size() > term.part_length)
      constant.resize(term.part_length);
    std::string p;
    spec.collation->AppendWeights(constant, &p);
    // Exact comparison: the compared part must equal the constant padded to its length, so the
    // padded constant is the prefix; otherwise the part only has to start with the constant.
    bool exact_part = exact || term.op == Op::kEqEq;
    uint32_t part = term.part_length ? term.part_length : spec.length;
    if (exact_part) {
      p = spec.collation->KeyBytes(constant, std::min(part, spec.length));
    }
    PrefixRange(p, spec.length, &low, &high);
  } else {
    if (term.constant.type != spec.type) {
      return Status(kErrInvalidArgument,
                    "The term '" + term.text + "' compares a value of another type");
    }
    low = high = EncodeKey(term.constant, spec);
  }
  KeyRange r;
  switch (term.op) {
    case Op::kEq:
    case Op::kEqEq:
      r.low = low;
      r.high = high;
      break;
    case Op::kNe:
      r.low = low;
      r.high = high;
      r.complement = true;
      break;
    case Op::kLt:
      r.high = low;
      r.high_inclusive = false;
      break;
    case Op::kLe:
      r.high = high;
      break;
    case Op::kGt:
      r.low = high;
      r.low_inclusive = false;
      break;
    case Op::kGe:
      r.low = low;
      break;
    default:
      return Status(kErrInvalidArgument, "The term '" + term.text + "' has no key range");
  }
  return r;
}

}  // namespace ace::expr
