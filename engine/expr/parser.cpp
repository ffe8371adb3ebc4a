// The parser and type checker: tokens to a typed Node tree (Expression::Compile).
//
// Precedence, tightest first: unary + -; ** ^; * / %; + -; the relations = == <> # != < <= >
// >= $; NOT; AND; OR. Operators of one level group from the left. Names followed by "(" are
// functions (case-insensitive, abbreviable to four letters where that is unambiguous); other
// names are fields of the schema.
#include <algorithm>
#include <cstring>

#include "engine/base/error_codes.h"
#include "engine/expr/expression.h"
#include "engine/expr/lexer.h"

namespace ace::expr {

namespace {

struct FunctionDef {
  const char* name;
  Fn fn;
  int min_args;
  int max_args;
};

constexpr FunctionDef kFunctions[] = {
    {"UPPER", Fn::kUpper, 1, 1},       {"LOWER", Fn::kLower, 1, 1},
    {"TRIM", Fn::kTrim, 1, 1},         {"RTRIM", Fn::kRtrim, 1, 1},
    {"LTRIM", Fn::kLtrim, 1, 1},       {"ALLTRIM", Fn::kAlltrim, 1, 1},
    {"SUBSTR", Fn::kSubstr, 2, 3},     {"LEFT", Fn::kLeft, 2, 2},
    {"RIGHT", Fn::kRight, 2, 2},       {"STR", Fn::kStr, 1, 3},
    {"VAL", Fn::kVal, 1, 1},           {"LEN", Fn::kLen, 1, 1},
    {"SPACE", Fn::kSpace, 1, 1},       {"REPLICATE", Fn::kReplicate, 2, 2},
    {"PADL", Fn::kPadl, 2, 3},         {"PADR", Fn::kPadr, 2, 3},
    {"PADC", Fn::kPadc, 2, 3},         {"AT", Fn::kAt, 2, 3},
    {"RAT", Fn::kRat, 2, 2},           {"DTOS", Fn::kDtos, 1, 1},
    {"DTOC", Fn::kDtoc, 1, 1},         {"CTOD", Fn::kCtod, 1, 1},
    {"STOD", Fn::kStod, 1, 1},         {"DATE", Fn::kDate, 0, 0},
    {"TODAY", Fn::kToday, 0, 0},       {"TIME", Fn::kTime, 0, 0},
    {"YEAR", Fn::kYear, 1, 1},         {"MONTH", Fn::kMonth, 1, 1},
    {"DAY", Fn::kDay, 1, 1},           {"DOW", Fn::kDow, 1, 1},
    {"CDOW", Fn::kCdow, 1, 1},         {"CMONTH", Fn::kCmonth, 1, 1},
    {"IIF", Fn::kIif, 3, 3},           {"EMPTY", Fn::kEmpty, 1, 1},
    {"DELETED", Fn::kDeleted, 0, 0},   {"RECNO", Fn::kRecno, 0, 0},
    {"CONTAINS", Fn::kContains, 2, 2}, {"CTOT", Fn::kCtot, 1, 1},
    {"CTOTS", Fn::kCtots, 1, 1},       {"TTOC", Fn::kTtoc, 1, 2},
    {"ABS", Fn::kAbs, 1, 1},           {"INT", Fn::kInt, 1, 1},
    {"ROUND", Fn::kRound, 2, 2},       {"MAX", Fn::kMax, 2, 2},
    {"MIN", Fn::kMin, 2, 2},           {"MOD", Fn::kMod, 2, 2},
    {"BETWEEN", Fn::kBetween, 3, 3},   {"ISNULL", Fn::kIsNull, 1, 1},
    {"NOW", Fn::kNow, 0, 0},           {"CHR", Fn::kChr, 1, 1},
    {"ASC", Fn::kAsc, 1, 1},           {"KEYNUM", Fn::kKeyNum, 3, 3},
};

std::string Upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = UpperChar(c);
  return out;
}

// Exact name first; else a unique function of which name (4 letters or more) is the start.
const FunctionDef* FindFunction(std::string_view name) {
  std::string up = Upper(name);
  for (const auto& f : kFunctions) {
    if (up == f.name) return &f;
  }
  if (up.size() < 4) return nullptr;
  const FunctionDef* found = nullptr;
  for (const auto& f : kFunctions) {
    if (std::strncmp(f.name, up.c_str(), up.size()) == 0) {
      if (found) return nullptr;
      found = &f;
    }
  }
  return found;
}

using NodePtr = std::unique_ptr<Node>;

bool IsConstNumber(const Node& n, double* out) {
  if (n.kind == NodeKind::kLiteral && n.type == ValueType::kNumeric) {
    *out = n.literal.number;
    return true;
  }
  if (n.kind == NodeKind::kUnary && n.op == Op::kNeg && n.args[0]->kind == NodeKind::kLiteral &&
      n.args[0]->type == ValueType::kNumeric) {
    *out = -n.args[0]->literal.number;
    return true;
  }
  return false;
}

uint32_t ConstLength(const Node& n) {
  double d;
  if (!IsConstNumber(n, &d) || d <= 0) return 0;
  return static_cast<uint32_t>(std::min(d, 65535.0));
}

}  // namespace

// STR's width when none is given: a field's own width, else ten.
uint32_t DefaultStrWidth(const Node& n) {
  return n.kind == NodeKind::kField && n.length ? n.length : 10;
}

namespace {

class Parser {
 public:
  Parser(std::string_view text, std::vector<Token> tokens, const RecordSource* schema)
      : text_(text), toks_(std::move(tokens)), schema_(schema) {}

  Result<NodePtr> Run() {
    auto root = Or();
    if (!root.ok()) return root;
    if (Peek().kind != TokenKind::kEnd) return Error("Expected an operator", Peek().pos);
    return root;
  }

 private:
  const Token& Peek() const { return toks_[i_]; }
  const Token& Take() { return toks_[i_ < toks_.size() - 1 ? i_++ : i_]; }
  Status Error(std::string_view what, size_t pos) const {
    return ExpressionError(what, pos, text_);
  }

  Status TypeError(const Node& n, std::string_view what) const { return Error(what, n.pos); }

  static std::string TypeWord(ValueType t) { return std::string(ValueTypeName(t)); }

  Result<NodePtr> Or() {
    if (++nesting_ > kMaxNesting) return Error("Expression nested too deeply", Peek().pos);
    auto result = OrChain();
    --nesting_;
    return result;
  }

  Result<NodePtr> OrChain() {
    auto left = And();
    if (!left.ok()) return left;
    NodePtr n = std::move(*left);
    while (Peek().kind == TokenKind::kOr) {
      size_t pos = Take().pos;
      auto right = And();
      if (!right.ok()) return right;
      auto made = Binary(Op::kOr, pos, std::move(n), std::move(*right));
      if (!made.ok()) return made;
      n = std::move(*made);
    }
    return n;
  }

  Result<NodePtr> And() {
    auto left = Not();
    if (!left.ok()) return left;
    NodePtr n = std::move(*left);
    while (Peek().kind == TokenKind::kAnd) {
      size_t pos = Take().pos;
      auto right = Not();
      if (!right.ok()) return right;
      auto made = Binary(Op::kAnd, pos, std::move(n), std::move(*right));
      if (!made.ok()) return made;
      n = std::move(*made);
    }
    return n;
  }

  Result<NodePtr> Not() {
    if (Peek().kind == TokenKind::kNot) {
      size_t pos = Take().pos;
      if (++nesting_ > kMaxNesting) return Error("Expression nested too deeply", pos);
      auto operand = Not();
      --nesting_;
      if (!operand.ok()) return operand;
      return Unary(Op::kNot, pos, std::move(*operand));
    }
    return Relation();
  }

  static Op RelOp(TokenKind k) {
    switch (k) {
      case TokenKind::kEq:
        return Op::kEq;
      case TokenKind::kEqEq:
        return Op::kEqEq;
      case TokenKind::kNe:
        return Op::kNe;
      case TokenKind::kLt:
        return Op::kLt;
      case TokenKind::kLe:
        return Op::kLe;
      case TokenKind::kGt:
        return Op::kGt;
      case TokenKind::kGe:
        return Op::kGe;
      case TokenKind::kDollar:
        return Op::kIn;
      default:
        return Op::kNone;
    }
  }

  // One precedence level of left-grouping binary operators.
  template <typename Next, typename Pick>
  Result<NodePtr> Level(Next next, Pick pick) {
    auto left = (this->*next)();
    if (!left.ok()) return left;
    NodePtr n = std::move(*left);
    while (true) {
      Op op = pick(Peek().kind);
      if (op == Op::kNone) return n;
      size_t pos = Take().pos;
      auto right = (this->*next)();
      if (!right.ok()) return right;
      auto made = Binary(op, pos, std::move(n), std::move(*right));
      if (!made.ok()) return made;
      n = std::move(*made);
    }
  }

  Result<NodePtr> Relation() { return Level(&Parser::Sum, RelOp); }
  Result<NodePtr> Sum() {
    return Level(&Parser::Product, [](TokenKind k) {
      return k == TokenKind::kPlus ? Op::kAdd : k == TokenKind::kMinus ? Op::kSub : Op::kNone;
    });
  }
  Result<NodePtr> Product() {
    return Level(&Parser::Power, [](TokenKind k) {
      return k == TokenKind::kStar      ? Op::kMul
             : k == TokenKind::kSlash   ? Op::kDiv
             : k == TokenKind::kPercent ? Op::kMod
                                        : Op::kNone;
    });
  }
  Result<NodePtr> Power() {
    return Level(&Parser::Signed,
                 [](TokenKind k) { return k == TokenKind::kPower ? Op::kPow : Op::kNone; });
  }

  Result<NodePtr> Signed() {
    if (Peek().kind == TokenKind::kMinus || Peek().kind == TokenKind::kPlus) {
      const Token& t = Take();
      Op op = t.kind == TokenKind::kMinus ? Op::kNeg : Op::kPos;
      if (++nesting_ > kMaxNesting) return Error("Expression nested too deeply", t.pos);
      auto operand = Signed();
      --nesting_;
      if (!operand.ok()) return operand;
      return Unary(op, t.pos, std::move(*operand));
    }
    return Primary();
  }

  Result<NodePtr> Primary() {
    const Token& t = Peek();
    switch (t.kind) {
      case TokenKind::kLiteral: {
        Take();
        auto n = std::make_unique<Node>();
        n->kind = NodeKind::kLiteral;
        n->pos = t.pos;
        n->literal = t.value;
        n->type = t.value.type;
        if (n->type == ValueType::kCharacter)
          n->length = static_cast<uint32_t>(t.value.text.size());
        if (n->type == ValueType::kNumeric) {
          n->length = static_cast<uint32_t>(t.value.width);
          n->decimals = static_cast<uint16_t>(t.value.decimals);
        }
        return NodePtr(std::move(n));
      }
      case TokenKind::kLParen: {
        Take();
        auto inner = Or();
        if (!inner.ok()) return inner;
        if (Peek().kind != TokenKind::kRParen) return Error("Expected ')'", Peek().pos);
        Take();
        return inner;
      }
      case TokenKind::kName:
        return NameOrCall();
      case TokenKind::kEnd:
        return Error("Expected an operand", t.pos);
      default:
        return Error("Unexpected operator", t.pos);
    }
  }

  Result<NodePtr> NameOrCall() {
    const Token& t = Take();
    if (Peek().kind == TokenKind::kLParen && t.alias.empty()) return Call(t);
    auto n = std::make_unique<Node>();
    n->kind = NodeKind::kField;
    n->pos = t.name_pos;
    std::optional<FieldRef> f;
    if (schema_) f = schema_->FindField(t.text);
    if (!f) return Error("Unknown field '" + t.text + "'", t.name_pos);
    n->field = *f;
    n->type = f->type;
    if (n->type == ValueType::kCharacter || n->type == ValueType::kNumeric) n->length = f->length;
    n->decimals = f->decimals;
    return NodePtr(std::move(n));
  }

  Result<NodePtr> Call(const Token& name) {
    const FunctionDef* def = FindFunction(name.text);
    if (!def) return Error("Unknown function '" + name.text + "'", name.pos);
    Take();  // (
    auto n = std::make_unique<Node>();
    n->kind = NodeKind::kCall;
    n->fn = def->fn;
    n->pos = name.pos;
    if (Peek().kind != TokenKind::kRParen) {
      while (true) {
        auto arg = Or();
        if (!arg.ok()) return arg;
        n->args.push_back(std::move(*arg));
        if (Peek().kind == TokenKind::kComma) {
          Take();
          continue;
        }
        break;
      }
    }
    if (Peek().kind != TokenKind::kRParen) return Error("Expected ')'", Peek().pos);
    size_t close = Take().pos;
    int count = static_cast<int>(n->args.size());
    if (count < def->min_args || count > def->max_args) {
      std::string want = def->min_args == def->max_args ? std::to_string(def->min_args)
                                                        : std::to_string(def->min_args) + " to " +
                                                              std::to_string(def->max_args);
      return Error(std::string(def->name) + " expects " + want + " argument(s), not " +
                       std::to_string(count),
                   close);
    }
    ACE_RETURN_IF_ERROR(CheckCall(*n));
    for (const auto& a : n->args) n->depth = std::max(n->depth, a->depth + 1);
    return NodePtr(std::move(n));
  }

  Status Want(const Node& call, size_t index, ValueType type) const {
    const Node& a = *call.args[index];
    if (a.type == type) return Status::Ok();
    return Error(std::string(FunctionName(call.fn)) + " expects a " + TypeWord(type) +
                     " argument " + std::to_string(index + 1) + ", not " + TypeWord(a.type),
                 a.pos);
  }

  Status WantDateLike(const Node& call, size_t index) const {
    ValueType t = call.args[index]->type;
    if (t == ValueType::kDate || t == ValueType::kTimestamp) return Status::Ok();
    return Want(call, index, ValueType::kDate);
  }

  Status CheckCall(Node& n);

  Result<NodePtr> Unary(Op op, size_t pos, NodePtr operand) {
    auto n = std::make_unique<Node>();
    n->kind = NodeKind::kUnary;
    n->op = op;
    n->pos = pos;
    if (op == Op::kNot) {
      if (operand->type != ValueType::kLogical) {
        return Error("NOT expects a logical operand, not " + TypeWord(operand->type), pos);
      }
      n->type = ValueType::kLogical;
    } else {
      if (operand->type != ValueType::kNumeric) {
        return Error("Sign expects a numeric operand, not " + TypeWord(operand->type), pos);
      }
      n->type = ValueType::kNumeric;
      n->length = operand->length ? operand->length + 1 : 0;
      n->decimals = operand->decimals;
    }
    n->depth = operand->depth + 1;
    n->args.push_back(std::move(operand));
    return NodePtr(std::move(n));
  }

  Result<NodePtr> Binary(Op op, size_t pos, NodePtr l, NodePtr r) {
    auto n = std::make_unique<Node>();
    n->kind = NodeKind::kBinary;
    n->op = op;
    n->pos = pos;
    ACE_RETURN_IF_ERROR(CheckBinary(*n, *l, *r));
    n->depth = std::max(l->depth, r->depth) + 1;
    if (n->depth > kMaxTreeDepth) return Error("Expression too long or nested too deeply", pos);
    n->args.push_back(std::move(l));
    n->args.push_back(std::move(r));
    return NodePtr(std::move(n));
  }

  Status CheckBinary(Node& n, const Node& l, const Node& r) const;

  std::string_view text_;
  std::vector<Token> toks_;
  size_t i_ = 0;
  uint32_t nesting_ = 0;
  const RecordSource* schema_;
};

// The operand types each operator accepts and the result type and length it gives.
Status Parser::CheckBinary(Node& n, const Node& l, const Node& r) const {
  using VT = ValueType;
  auto mismatch = [&](std::string_view what) {
    return Error("Type mismatch: " + std::string(what) + " of " + TypeWord(l.type) + " and " +
                     TypeWord(r.type),
                 n.pos);
  };
  auto both = [&](VT t) { return l.type == t && r.type == t; };
  switch (n.op) {
    case Op::kAnd:
    case Op::kOr:
      if (!both(VT::kLogical)) return mismatch(n.op == Op::kAnd ? "AND" : "OR");
      n.type = VT::kLogical;
      return Status::Ok();
    case Op::kIn:
      if (!both(VT::kCharacter)) return mismatch("$");
      n.type = VT::kLogical;
      return Status::Ok();
    case Op::kEq:
    case Op::kEqEq:
    case Op::kNe:
    case Op::kLt:
    case Op::kLe:
    case Op::kGt:
    case Op::kGe: {
      bool dates = (l.type == VT::kDate || l.type == VT::kTimestamp) &&
                   (r.type == VT::kDate || r.type == VT::kTimestamp);
      if (l.type != r.type && !dates) return mismatch("comparison");
      n.type = VT::kLogical;
      return Status::Ok();
    }
    case Op::kAdd:
    case Op::kSub:
      if (both(VT::kCharacter)) {
        n.type = VT::kCharacter;
        n.length = l.length && r.length ? l.length + r.length : 0;
        return Status::Ok();
      }
      if (both(VT::kNumeric)) {
        n.type = VT::kNumeric;
        n.length = l.length && r.length ? std::max(l.length, r.length) + 1 : 0;
        n.decimals = std::max(l.decimals, r.decimals);
        return Status::Ok();
      }
      if ((l.type == VT::kDate || l.type == VT::kTimestamp) && r.type == VT::kNumeric) {
        n.type = l.type;
        return Status::Ok();
      }
      if (n.op == Op::kAdd && l.type == VT::kNumeric &&
          (r.type == VT::kDate || r.type == VT::kTimestamp)) {
        n.type = r.type;
        return Status::Ok();
      }
      if (n.op == Op::kSub && l.type == r.type &&
          (l.type == VT::kDate || l.type == VT::kTimestamp)) {
        n.type = VT::kNumeric;
        n.length = 10;
        return Status::Ok();
      }
      return mismatch(n.op == Op::kAdd ? "+" : "-");
    default:  // * / % **
      if (!both(VT::kNumeric)) return mismatch("arithmetic");
      n.type = VT::kNumeric;
      n.length = l.length && r.length ? l.length + r.length : 0;
      n.decimals = n.op == Op::kMul   ? static_cast<uint16_t>(l.decimals + r.decimals)
                   : n.op == Op::kDiv ? std::max<uint16_t>(2, std::max(l.decimals, r.decimals))
                                      : std::max(l.decimals, r.decimals);
      return Status::Ok();
  }
}

// The type table of the built-in functions: one case per function checks the argument types
// and fixes the result type and length (long, but a table read top to bottom).
Status Parser::CheckCall(Node& n) {
  using VT = ValueType;
  auto& a = n.args;
  auto result = [&](VT t, uint32_t length = 0, uint16_t decimals = 0) {
    n.type = t;
    n.length = length;
    n.decimals = decimals;
    return Status::Ok();
  };
  switch (n.fn) {
    case Fn::kUpper:
    case Fn::kLower:
    case Fn::kTrim:
    case Fn::kRtrim:
    case Fn::kLtrim:
    case Fn::kAlltrim:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      return result(VT::kCharacter, a[0]->length);
    case Fn::kSubstr: {
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
      if (a.size() == 3) ACE_RETURN_IF_ERROR(Want(n, 2, VT::kNumeric));
      uint32_t len = a[0]->length;
      uint32_t start = ConstLength(*a[1]);
      if (len && start) len = start <= len ? len - start + 1 : 0;
      if (a.size() == 3) {
        uint32_t count = ConstLength(*a[2]);
        len = len ? std::min(len, count) : count;
      }
      return result(VT::kCharacter, len);
    }
    case Fn::kLeft:
    case Fn::kRight: {
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
      uint32_t count = ConstLength(*a[1]);
      uint32_t len = a[0]->length ? std::min(a[0]->length, count) : count;
      return result(VT::kCharacter, len);
    }
    case Fn::kStr: {
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kNumeric));
      for (size_t i = 1; i < a.size(); ++i) ACE_RETURN_IF_ERROR(Want(n, i, VT::kNumeric));
      uint32_t width = a.size() > 1 ? ConstLength(*a[1]) : DefaultStrWidth(*a[0]);
      return result(VT::kCharacter, width);
    }
    case Fn::kKeyNum: {
      for (size_t i = 0; i < a.size(); ++i) ACE_RETURN_IF_ERROR(Want(n, i, VT::kNumeric));
      const uint32_t width = ConstLength(*a[1]);
      if (width == 0 || width > kMaxKeyNumWidth)
        return Error("KEYNUM expects a constant width from 1 to " + std::to_string(kMaxKeyNumWidth),
                     a[1]->pos);
      return result(VT::kCharacter, width + 1);
    }
    case Fn::kVal:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      return result(VT::kNumeric, 10, 0);
    case Fn::kLen:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      return result(VT::kNumeric, 10);
    case Fn::kSpace:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kNumeric));
      return result(VT::kCharacter, ConstLength(*a[0]));
    case Fn::kReplicate:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
      return result(VT::kCharacter, a[0]->length * ConstLength(*a[1]));
    case Fn::kPadl:
    case Fn::kPadr:
    case Fn::kPadc:
      if (a[0]->type == VT::kLogical) return Want(n, 0, VT::kCharacter);
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
      if (a.size() == 3) ACE_RETURN_IF_ERROR(Want(n, 2, VT::kCharacter));
      return result(VT::kCharacter, ConstLength(*a[1]));
    case Fn::kAt:
    case Fn::kRat:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kCharacter));
      if (a.size() == 3) ACE_RETURN_IF_ERROR(Want(n, 2, VT::kNumeric));
      return result(VT::kNumeric, 10);
    case Fn::kDtos:
      ACE_RETURN_IF_ERROR(WantDateLike(n, 0));
      return result(VT::kCharacter, 8);
    case Fn::kDtoc:
      ACE_RETURN_IF_ERROR(WantDateLike(n, 0));
      return result(VT::kCharacter, 10);
    case Fn::kCtod:
    case Fn::kStod:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      return result(VT::kDate);
    case Fn::kDate:
    case Fn::kToday:
      return result(VT::kDate);
    case Fn::kTime:
      return result(VT::kCharacter, 8);
    case Fn::kYear:
    case Fn::kMonth:
    case Fn::kDay:
    case Fn::kDow:
      ACE_RETURN_IF_ERROR(WantDateLike(n, 0));
      return result(VT::kNumeric, n.fn == Fn::kYear ? 4 : n.fn == Fn::kDow ? 1 : 2);
    case Fn::kCdow:
    case Fn::kCmonth:
      ACE_RETURN_IF_ERROR(WantDateLike(n, 0));
      return result(VT::kCharacter, 9);
    case Fn::kIif: {
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kLogical));
      if (a[1]->type != a[2]->type) {
        return Error("Type mismatch: IIF branches are " + TypeWord(a[1]->type) + " and " +
                         TypeWord(a[2]->type),
                     a[2]->pos);
      }
      uint32_t len = a[1]->length && a[2]->length ? std::max(a[1]->length, a[2]->length) : 0;
      return result(a[1]->type, len, std::max(a[1]->decimals, a[2]->decimals));
    }
    case Fn::kEmpty:
    case Fn::kIsNull:
    case Fn::kDeleted:
      return result(VT::kLogical);
    case Fn::kRecno:
      return result(VT::kNumeric, 10);
    case Fn::kContains:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kCharacter));
      return result(VT::kLogical);
    case Fn::kCtot:
    case Fn::kCtots:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      return result(VT::kTimestamp);
    case Fn::kTtoc: {
      ACE_RETURN_IF_ERROR(WantDateLike(n, 0));
      bool compact = false;
      if (a.size() == 2) {
        ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
        compact = ConstLength(*a[1]) == 1;
      }
      return result(VT::kCharacter, compact ? 14 : 19);
    }
    case Fn::kAbs:
    case Fn::kInt:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kNumeric));
      return result(VT::kNumeric, a[0]->length, n.fn == Fn::kInt ? 0 : a[0]->decimals);
    case Fn::kRound: {
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kNumeric));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
      double d = 0;
      uint16_t dec =
          IsConstNumber(*a[1], &d) && d > 0 ? static_cast<uint16_t>(std::min(d, 18.0)) : 0;
      return result(VT::kNumeric, a[0]->length, dec);
    }
    case Fn::kMod:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kNumeric));
      ACE_RETURN_IF_ERROR(Want(n, 1, VT::kNumeric));
      return result(VT::kNumeric, a[0]->length, std::max(a[0]->decimals, a[1]->decimals));
    case Fn::kMax:
    case Fn::kMin:
      if (a[0]->type != a[1]->type || a[0]->type == VT::kLogical) {
        return Error("Type mismatch: " + std::string(FunctionName(n.fn)) + " of " +
                         TypeWord(a[0]->type) + " and " + TypeWord(a[1]->type),
                     a[1]->pos);
      }
      return result(a[0]->type,
                    a[0]->length && a[1]->length ? std::max(a[0]->length, a[1]->length) : 0,
                    std::max(a[0]->decimals, a[1]->decimals));
    case Fn::kBetween:
      for (size_t i = 1; i < 3; ++i) {
        if (a[i]->type != a[0]->type) {
          return Error(
              "Type mismatch: BETWEEN of " + TypeWord(a[0]->type) + " and " + TypeWord(a[i]->type),
              a[i]->pos);
        }
      }
      return result(VT::kLogical);
    case Fn::kNow:
      return result(VT::kTimestamp);
    case Fn::kChr:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kNumeric));
      return result(VT::kCharacter, 1);
    case Fn::kAsc:
      ACE_RETURN_IF_ERROR(Want(n, 0, VT::kCharacter));
      return result(VT::kNumeric, 3);
  }
  return Error("Unknown function", n.pos);
}

}  // namespace

const char* FunctionName(Fn fn) {
  for (const auto& f : kFunctions) {
    if (f.fn == fn) return f.name;
  }
  return "?";
}

Result<Expression> Expression::Compile(std::string_view text, const RecordSource* schema) {
  auto tokens = Tokenize(text);
  if (!tokens.ok()) return tokens.status();
  if (tokens->size() == 1) return ExpressionError("Empty expression", 0, text);
  auto root = Parser(text, std::move(*tokens), schema).Run();
  if (!root.ok()) return root.status();
  return Expression(std::string(text), std::move(*root));
}

}  // namespace ace::expr
