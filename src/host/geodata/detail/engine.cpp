// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/detail/engine.h"

#include <ogr_api.h>
#include <ogr_geometry.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

#include "host/geodata/detail/gdal.h"
#include "host/geodata/detail/record.h"
#include "host/vb/convert.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::geodata::detail {

vb::Variant SlotValue(const Slot& slot, const RowParts& parts, int64_t oid) {
  switch (slot.kind) {
    case Slot::Kind::Oid:
      if (slot.part == 0) return vb::Variant(oid);
      return parts.part[1] ? vb::Variant(parts.part[1]->oid) : vb::Variant::Null();
    case Slot::Kind::Shape: return vb::Variant::Null();
    case Slot::Kind::Attr: {
      const Record* rec = parts.part[slot.part].get();
      if (!rec || size_t(slot.attr) >= rec->values.size()) return vb::Variant::Null();
      return rec->values[size_t(slot.attr)];
    }
  }
  return vb::Variant::Null();
}

namespace {

// ---- errors ----

struct SyntaxError {};
struct TooDeep {};

// How deep parentheses and NOT may nest: the clause is read, checked and run by
// recursion, so its depth is what the stack has to hold.
constexpr int kMaxNesting = 256;

[[noreturn]] void Invalid(const std::string& clause) {
  vb::raise(vb::err::HostFailure, "Invalid where clause: \"" + clause + "\"");
}

// The start of a long clause, cut between characters.
std::string Opening(const std::string& clause) {
  constexpr size_t kShown = 60;
  if (clause.size() <= kShown + 3) return clause;
  size_t cut = kShown;
  while (cut > 0 && (static_cast<unsigned char>(clause[cut]) & 0xC0) == 0x80) --cut;
  return clause.substr(0, cut) + "...";
}

[[noreturn]] void Nested(const std::string& clause) {
  vb::raise(vb::err::HostFailure, "Where clause nested more than " + std::to_string(kMaxNesting) +
                                      " deep (parentheses and NOT): \"" + Opening(clause) + "\"");
}

[[noreturn]] void Mismatch(const std::string& clause) {
  vb::raise(vb::err::TypeMismatch, "Type mismatch in where clause: \"" + clause + "\"");
}

// ---- three-valued logic ----

enum class Tri { False, True, Unknown };

Tri TriNot(Tri a) { return a == Tri::Unknown ? a : (a == Tri::True ? Tri::False : Tri::True); }
Tri TriAnd(Tri a, Tri b) {
  if (a == Tri::False || b == Tri::False) return Tri::False;
  if (a == Tri::Unknown || b == Tri::Unknown) return Tri::Unknown;
  return Tri::True;
}
Tri TriOr(Tri a, Tri b) {
  if (a == Tri::True || b == Tri::True) return Tri::True;
  if (a == Tri::Unknown || b == Tri::Unknown) return Tri::Unknown;
  return Tri::False;
}
Tri FromBool(bool b) { return b ? Tri::True : Tri::False; }

// ---- tokens ----

enum class Tok { Ident, QuotedIdent, String, Number, Date, Op, LParen, RParen, Comma, End };

struct Token {
  Tok kind = Tok::End;
  std::string text;
  double value = 0;  // numbers, dates
};

bool IdentStart(unsigned char c) { return std::isalpha(c) || c == '_' || c >= 0x80; }
bool IdentChar(unsigned char c) { return std::isalnum(c) || c == '_' || c >= 0x80; }

std::vector<Token> Lex(std::string_view s) {
  std::vector<Token> out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (std::isspace(c)) {
      ++i;
      continue;
    }
    Token t;
    if (IdentStart(c)) {
      size_t j = i;
      while (j < s.size()) {
        if (IdentChar(static_cast<unsigned char>(s[j]))) {
          ++j;
        } else if (s[j] == '.' && j + 1 < s.size() && IdentChar(static_cast<unsigned char>(s[j + 1]))) {
          ++j;
        } else {
          break;
        }
      }
      t.kind = Tok::Ident;
      t.text = std::string(s.substr(i, j - i));
      i = j;
    } else if (c == '\'') {
      std::string text;
      size_t j = i + 1;
      for (;;) {
        if (j >= s.size()) throw SyntaxError{};
        if (s[j] == '\'') {
          if (j + 1 < s.size() && s[j + 1] == '\'') {
            text += '\'';
            j += 2;
            continue;
          }
          break;
        }
        text += s[j++];
      }
      t.kind = Tok::String;
      t.text = std::move(text);
      i = j + 1;
    } else if (c == '"' || c == '[') {
      char close = c == '"' ? '"' : ']';
      size_t j = s.find(close, i + 1);
      if (j == std::string_view::npos || j == i + 1) throw SyntaxError{};
      t.kind = Tok::QuotedIdent;
      t.text = std::string(s.substr(i + 1, j - i - 1));
      i = j + 1;
    } else if (c == '#') {
      size_t j = s.find('#', i + 1);
      if (j == std::string_view::npos) throw SyntaxError{};
      auto d = vb::ParseDate(vb::Trim(s.substr(i + 1, j - i - 1)));
      if (!d) throw SyntaxError{};
      t.kind = Tok::Date;
      t.value = *d;
      i = j + 1;
    } else if (std::isdigit(c) || (c == '.' && i + 1 < s.size() && std::isdigit(static_cast<unsigned char>(s[i + 1])))) {
      size_t j = i;
      while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      if (j < s.size() && s[j] == '.') {
        ++j;
        while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
      }
      if (j < s.size() && (s[j] == 'e' || s[j] == 'E')) {
        size_t k = j + 1;
        if (k < s.size() && (s[k] == '+' || s[k] == '-')) ++k;
        if (k < s.size() && std::isdigit(static_cast<unsigned char>(s[k]))) {
          j = k;
          while (j < s.size() && std::isdigit(static_cast<unsigned char>(s[j]))) ++j;
        }
      }
      // A number runs straight into a name ("12abc"): not a clause we can read.
      if (j < s.size() && IdentChar(static_cast<unsigned char>(s[j]))) throw SyntaxError{};
      auto n = vb::ParseNumber(s.substr(i, j - i));
      if (!n) throw SyntaxError{};
      t.kind = Tok::Number;
      t.text = std::string(s.substr(i, j - i));
      t.value = *n;
      i = j;
    } else if (c == '(' || c == ')' || c == ',') {
      t.kind = c == '(' ? Tok::LParen : c == ')' ? Tok::RParen : Tok::Comma;
      t.text = std::string(1, char(c));
      ++i;
    } else if (c == '<' || c == '>' || c == '=' || c == '!' || c == '-' || c == '+') {
      std::string op(1, char(c));
      if (i + 1 < s.size()) {
        std::string two = op + s[i + 1];
        if (two == "<>" || two == "<=" || two == ">=" || two == "!=") op = two;
      }
      if (op == "!") throw SyntaxError{};
      t.kind = Tok::Op;
      t.text = op;
      i += op.size();
    } else {
      throw SyntaxError{};
    }
    out.push_back(std::move(t));
  }
  out.push_back(Token{});
  return out;
}

// ---- the parsed clause ----

enum class CmpOp { Eq, Ne, Lt, Gt, Le, Ge };

struct Operand {
  bool is_field = false;
  int field = -1;
  FieldType type = FieldType::String;
  vb::Variant literal = vb::Variant::Null();
};

struct Node {
  enum class Kind { And, Or, Not, Compare, In, IsNull, Like, Between };
  Kind kind = Kind::Compare;
  CmpOp op = CmpOp::Eq;
  bool negated = false;
  std::unique_ptr<Node> left;               // Not
  std::vector<std::unique_ptr<Node>> kids;  // And, Or: a chain of any length stays flat
  std::vector<Operand> ops;
  // "field IN (literals)" of one kind: the literals as a set, so that a long list of
  // object IDs costs one look-up per row.
  bool in_set = false;
  std::unordered_set<double> numbers;
  std::unordered_set<std::string> texts;
};

bool IsKeyword(const Token& t, std::string_view word) { return t.kind == Tok::Ident && vb::SameText(t.text, word); }

bool IsReserved(const Token& t) {
  for (const char* w : {"AND", "OR", "NOT", "IN", "IS", "NULL", "LIKE", "BETWEEN"}) {
    if (IsKeyword(t, w)) return true;
  }
  return false;
}

// The part after the last dot; the whole name when there is none.
std::string_view Unqualified(std::string_view name) {
  size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? name : name.substr(dot + 1);
}

// A field reference as written: exact name first, then (for joined tables) the
// unqualified part when only one field has it, then "table.field" on a table of that name.
int ResolveField(Table& t, const std::string& name, const std::string& clause) {
  const FieldSet& fields = t.Fields();
  int exact = fields.FindField(name);
  if (exact >= 0) return exact;
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    int found = -1, count = 0;
    for (int i = 0; i < fields.FieldCount(); ++i) {
      if (vb::SameText(Unqualified(fields.Field(i).Name()), name)) {
        found = i;
        ++count;
      }
    }
    if (count == 1) return found;
    if (count > 1) {
      vb::raise(vb::err::HostFailure, "Ambiguous field \"" + name + "\" in where clause: \"" + clause + "\"");
    }
  } else {
    std::string qualifier = name.substr(0, dot), field = name.substr(dot + 1);
    if (vb::SameText(qualifier, t.Name()) || vb::SameText(qualifier, t.AliasName())) {
      int i = fields.FindField(field);
      if (i >= 0) return i;
    }
  }
  vb::raise(vb::err::HostFailure, "Unknown field \"" + name + "\" in where clause: \"" + clause + "\"");
}

class Parser {
 public:
  Parser(Table& t, const std::string& clause, std::vector<Token> tokens)
      : t_(t), clause_(clause), toks_(std::move(tokens)) {}

  std::unique_ptr<Node> Parse() {
    auto n = ParseOr();
    if (Peek().kind != Tok::End) throw SyntaxError{};
    return n;
  }

 private:
  const Token& Peek() const { return toks_[pos_]; }
  const Token& Take() {
    const Token& t = toks_[pos_];
    if (t.kind != Tok::End) ++pos_;
    return t;
  }
  void Expect(Tok kind) {
    if (Take().kind != kind) throw SyntaxError{};
  }
  bool TakeKeyword(std::string_view word) {
    if (!IsKeyword(Peek(), word)) return false;
    ++pos_;
    return true;
  }

  // One level deeper for as long as it lives.
  class Level {
   public:
    explicit Level(int& depth) : depth_(depth) {
      if (++depth_ > kMaxNesting) throw TooDeep{};
    }
    ~Level() { --depth_; }
    Level(const Level&) = delete;
    Level& operator=(const Level&) = delete;

   private:
    int& depth_;
  };

  template <typename Part>
  std::unique_ptr<Node> Chain(Node::Kind kind, std::string_view word, Part part) {
    auto first = (this->*part)();
    if (!IsKeyword(Peek(), word)) return first;
    auto n = std::make_unique<Node>();
    n->kind = kind;
    n->kids.push_back(std::move(first));
    while (TakeKeyword(word)) n->kids.push_back((this->*part)());
    return n;
  }

  std::unique_ptr<Node> ParseOr() { return Chain(Node::Kind::Or, "OR", &Parser::ParseAnd); }
  std::unique_ptr<Node> ParseAnd() { return Chain(Node::Kind::And, "AND", &Parser::ParseNot); }
  std::unique_ptr<Node> ParseNot() {
    if (TakeKeyword("NOT")) {
      Level level(depth_);
      auto n = std::make_unique<Node>();
      n->kind = Node::Kind::Not;
      n->left = ParseNot();
      return n;
    }
    return ParsePredicate();
  }

  Operand ParseOperand() {
    const Token& t = Take();
    Operand o;
    switch (t.kind) {
      case Tok::Ident:
        if (IsKeyword(t, "NULL")) return o;
        if (IsReserved(t)) throw SyntaxError{};
        [[fallthrough]];
      case Tok::QuotedIdent:
        o.is_field = true;
        o.field = ResolveField(t_, t.text, clause_);
        o.type = t_.Fields().Field(o.field).Type();
        return o;
      case Tok::String: o.literal = vb::Variant(t.text); return o;
      case Tok::Number: o.literal = vb::Variant(t.value); return o;
      case Tok::Date: o.literal = vb::Variant(vb::DateValue{t.value}); return o;
      case Tok::Op:
        if ((t.text == "-" || t.text == "+") && Peek().kind == Tok::Number) {
          double v = Take().value;
          o.literal = vb::Variant(t.text == "-" ? -v : v);
          return o;
        }
        throw SyntaxError{};
      default: throw SyntaxError{};
    }
  }

  std::unique_ptr<Node> ParsePredicate() {
    if (Peek().kind == Tok::LParen) {
      Take();
      Level level(depth_);
      auto n = ParseOr();
      Expect(Tok::RParen);
      return n;
    }
    auto n = std::make_unique<Node>();
    n->ops.push_back(ParseOperand());
    const Token& t = Peek();
    if (t.kind == Tok::Op) {
      static const std::pair<const char*, CmpOp> ops[] = {{"=", CmpOp::Eq},  {"<>", CmpOp::Ne}, {"!=", CmpOp::Ne},
                                                          {"<", CmpOp::Lt},  {">", CmpOp::Gt},  {"<=", CmpOp::Le},
                                                          {">=", CmpOp::Ge}};
      bool known = false;
      for (const auto& [text, op] : ops) {
        if (t.text == text) {
          n->op = op;
          known = true;
        }
      }
      if (!known) throw SyntaxError{};
      Take();
      n->kind = Node::Kind::Compare;
      n->ops.push_back(ParseOperand());
    } else if (TakeKeyword("IS")) {
      n->kind = Node::Kind::IsNull;
      n->negated = TakeKeyword("NOT");
      if (!TakeKeyword("NULL")) throw SyntaxError{};
    } else {
      n->negated = TakeKeyword("NOT");
      if (TakeKeyword("IN")) {
        n->kind = Node::Kind::In;
        Expect(Tok::LParen);
        do {
          n->ops.push_back(ParseOperand());
        } while (Peek().kind == Tok::Comma && (Take(), true));
        Expect(Tok::RParen);
      } else if (TakeKeyword("LIKE")) {
        n->kind = Node::Kind::Like;
        n->ops.push_back(ParseOperand());
      } else if (TakeKeyword("BETWEEN")) {
        n->kind = Node::Kind::Between;
        n->ops.push_back(ParseOperand());
        if (!TakeKeyword("AND")) throw SyntaxError{};
        n->ops.push_back(ParseOperand());
      } else {
        throw SyntaxError{};
      }
    }
    return n;
  }

  Table& t_;
  const std::string& clause_;
  std::vector<Token> toks_;
  size_t pos_ = 0;
  int depth_ = 0;
};

bool IsNumericType(FieldType t) {
  return t == FieldType::SmallInteger || t == FieldType::Integer || t == FieldType::Single ||
         t == FieldType::Double || t == FieldType::OID;
}

// A literal compared with a typed field takes the field's type now, so that a mismatch
// fails even on an empty table and the value index can be searched with it.
void ConvertLiteral(Operand& lit, FieldType type, const std::string& clause) {
  if (lit.is_field || lit.literal.IsNull()) return;
  const vb::Variant& v = lit.literal;
  if (IsNumericType(type)) {
    if (v.type() == vb::Variant::Type::String) {
      auto n = vb::ParseNumber(vb::Trim(v.AsString()));
      if (!n) Mismatch(clause);
      lit.literal = vb::Variant(*n);
    } else if (v.type() == vb::Variant::Type::Date) {
      Mismatch(clause);
    }
  } else if (type == FieldType::Date) {
    if (v.type() == vb::Variant::Type::String) {
      auto d = vb::ParseDate(vb::Trim(v.AsString()));
      if (!d) Mismatch(clause);
      lit.literal = vb::Variant(vb::DateValue{*d});
    } else if (v.IsNumber()) {
      Mismatch(clause);
    }
  }
}

void Bind(Node& n, const std::string& clause) {
  if (n.left) Bind(*n.left, clause);
  for (auto& k : n.kids) Bind(*k, clause);
  for (const Operand& o : n.ops) {
    if (o.is_field && o.type == FieldType::Geometry && n.kind != Node::Kind::IsNull) {
      vb::raise(vb::err::HostFailure, "The shape field cannot be compared in where clause: \"" + clause + "\"");
    }
  }
  if (n.kind == Node::Kind::Compare || n.kind == Node::Kind::In || n.kind == Node::Kind::Between) {
    // The first typed field decides the literals' type; in "x IN (...)" that is x.
    const Operand* typed = nullptr;
    for (const Operand& o : n.ops) {
      if (o.is_field) {
        typed = &o;
        break;
      }
    }
    if (typed) {
      FieldType type = typed->type;
      for (Operand& o : n.ops) ConvertLiteral(o, type, clause);
    }
  }
  if (n.kind == Node::Kind::In && n.ops[0].is_field) {
    bool numeric = IsNumericType(n.ops[0].type), text = n.ops[0].type == FieldType::String;
    bool fits = numeric || text;
    for (size_t i = 1; i < n.ops.size() && fits; ++i) {
      const Operand& o = n.ops[i];
      fits = !o.is_field && (numeric ? o.literal.IsNumber() : o.literal.type() == vb::Variant::Type::String);
    }
    if (fits) {
      n.in_set = true;
      for (size_t i = 1; i < n.ops.size(); ++i) {
        if (numeric) {
          n.numbers.insert(n.ops[i].literal.AsDouble() + 0.0);
        } else {
          n.texts.insert(n.ops[i].literal.AsString());
        }
      }
    }
  }
}

// ---- evaluation ----

struct Val {
  enum class K { Null, Num, Text, Date } k = K::Null;
  double n = 0;
  std::string_view s;
};

Val View(const vb::Variant& v) {
  Val out;
  switch (v.type()) {
    case vb::Variant::Type::Empty:
    case vb::Variant::Type::Null: break;
    case vb::Variant::Type::Boolean:
      out.k = Val::K::Num;
      out.n = v.AsBool() ? -1 : 0;
      break;
    case vb::Variant::Type::Long:
    case vb::Variant::Type::Double:
      out.k = Val::K::Num;
      out.n = v.AsDouble();
      break;
    case vb::Variant::Type::String:
      out.k = Val::K::Text;
      out.s = v.AsString();
      break;
    case vb::Variant::Type::Date:
      out.k = Val::K::Date;
      out.n = v.AsDate().serial;
      break;
  }
  return out;
}

int Sign(double a, double b) { return a < b ? -1 : (a > b ? 1 : 0); }

// -1, 0, 1, or nothing when either side is Null (or a blank text met by a number).
std::optional<int> Compare(const Val& a, const Val& b, const std::string& clause) {
  if (a.k == Val::K::Null || b.k == Val::K::Null) return std::nullopt;
  if (a.k == b.k) {
    if (a.k == Val::K::Text) {
      int c = a.s.compare(b.s);
      return c < 0 ? -1 : (c > 0 ? 1 : 0);
    }
    return Sign(a.n, b.n);
  }
  if ((a.k == Val::K::Text) != (b.k == Val::K::Text)) {
    const Val& text = a.k == Val::K::Text ? a : b;
    const Val& other = a.k == Val::K::Text ? b : a;
    std::string trimmed = vb::Trim(text.s);
    if (trimmed.empty()) return std::nullopt;
    std::optional<double> n =
        other.k == Val::K::Date ? vb::ParseDate(trimmed) : vb::ParseNumber(trimmed);
    if (!n) Mismatch(clause);
    return a.k == Val::K::Text ? Sign(*n, other.n) : Sign(other.n, *n);
  }
  Mismatch(clause);  // a number against a date
}

std::string TextOf(const Val& v) {
  switch (v.k) {
    case Val::K::Text: return std::string(v.s);
    case Val::K::Num: return vb::CStr(v.n);
    case Val::K::Date: return vb::DateValueText(v.n);
    case Val::K::Null: break;
  }
  return "";
}

size_t NextCodePoint(std::string_view s, size_t i) {
  ++i;
  while (i < s.size() && (static_cast<unsigned char>(s[i]) & 0xC0) == 0x80) ++i;
  return i;
}

// SQL LIKE: % any run of characters, _ exactly one; everything else as it is.
bool LikeMatch(std::string_view s, std::string_view p) {
  size_t i = 0, j = 0, star = std::string_view::npos, mark = 0;
  while (i < s.size()) {
    if (j < p.size() && p[j] == '_') {
      i = NextCodePoint(s, i);
      ++j;
    } else if (j < p.size() && p[j] == '%') {
      star = j++;
      mark = i;
    } else if (j < p.size() && p[j] == s[i]) {
      ++i;
      ++j;
    } else if (star != std::string_view::npos) {
      j = star + 1;
      mark = NextCodePoint(s, mark);
      i = mark;
    } else {
      return false;
    }
  }
  while (j < p.size() && p[j] == '%') ++j;
  return j == p.size();
}

struct Evaluator {
  Table& t;
  const std::vector<Slot>& slots;
  const std::string& clause;
  const RowParts* parts = nullptr;
  int64_t oid = 0;

  vb::Variant ValueOf(const Operand& o) const {
    return o.is_field ? SlotValue(slots[size_t(o.field)], *parts, oid) : o.literal;
  }

  Tri Cmp(const vb::Variant& a, const vb::Variant& b, CmpOp op) const {
    auto c = Compare(View(a), View(b), clause);
    if (!c) return Tri::Unknown;
    switch (op) {
      case CmpOp::Eq: return FromBool(*c == 0);
      case CmpOp::Ne: return FromBool(*c != 0);
      case CmpOp::Lt: return FromBool(*c < 0);
      case CmpOp::Gt: return FromBool(*c > 0);
      case CmpOp::Le: return FromBool(*c <= 0);
      case CmpOp::Ge: return FromBool(*c >= 0);
    }
    return Tri::Unknown;
  }

  Tri Eval(const Node& n) const {
    switch (n.kind) {
      case Node::Kind::And: {
        Tri r = Tri::True;
        for (const auto& k : n.kids) {
          r = TriAnd(r, Eval(*k));
          if (r == Tri::False) break;
        }
        return r;
      }
      case Node::Kind::Or: {
        Tri r = Tri::False;
        for (const auto& k : n.kids) {
          r = TriOr(r, Eval(*k));
          if (r == Tri::True) break;
        }
        return r;
      }
      case Node::Kind::Not: return TriNot(Eval(*n.left));
      case Node::Kind::Compare: return Cmp(ValueOf(n.ops[0]), ValueOf(n.ops[1]), n.op);
      case Node::Kind::IsNull: {
        const Operand& o = n.ops[0];
        bool null;
        if (o.is_field && o.type == FieldType::Geometry) {
          const Record* rec = parts->part[0].get();
          null = !rec || rec->shape.IsEmpty();
        } else {
          vb::Variant v = ValueOf(o);
          null = v.IsNull() || v.IsEmpty();
        }
        return FromBool(null != n.negated);
      }
      case Node::Kind::In: {
        vb::Variant x = ValueOf(n.ops[0]);
        if (n.in_set) {
          Val v = View(x);
          if (v.k == Val::K::Null) return Tri::Unknown;
          bool hit = v.k == Val::K::Text ? n.texts.count(std::string(v.s)) != 0 : n.numbers.count(v.n + 0.0) != 0;
          return FromBool(hit != n.negated);
        }
        Tri r = Tri::False;
        for (size_t i = 1; i < n.ops.size() && r != Tri::True; ++i) r = TriOr(r, Cmp(x, ValueOf(n.ops[i]), CmpOp::Eq));
        return n.negated ? TriNot(r) : r;
      }
      case Node::Kind::Like: {
        vb::Variant x = ValueOf(n.ops[0]), p = ValueOf(n.ops[1]);
        Val vx = View(x), vp = View(p);
        if (vx.k == Val::K::Null || vp.k == Val::K::Null) return Tri::Unknown;
        bool m = LikeMatch(TextOf(vx), TextOf(vp));
        return FromBool(m != n.negated);
      }
      case Node::Kind::Between: {
        vb::Variant x = ValueOf(n.ops[0]);
        Tri r = TriAnd(Cmp(x, ValueOf(n.ops[1]), CmpOp::Ge), Cmp(x, ValueOf(n.ops[2]), CmpOp::Le));
        return n.negated ? TriNot(r) : r;
      }
    }
    return Tri::Unknown;
  }
};

// ---- index planning ----

using OidList = std::vector<int64_t>;

OidList Intersection(const OidList& a, const OidList& b) {
  OidList out;
  std::set_intersection(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(out));
  return out;
}

// The rows where field = literal, from the object ID or an index; nothing when the
// condition cannot be answered that way (the rows are then read one by one).
using LookupFn = std::function<std::optional<OidList>(int, const IndexKey&)>;

std::optional<OidList> LookupEqual(int oidField, int64_t bound, const Operand& field, const Operand& lit,
                                   const LookupFn& lookup) {
  if (!field.is_field || lit.is_field || lit.literal.IsNull()) return std::nullopt;
  const vb::Variant& v = lit.literal;
  if (field.field == oidField) {
    if (!v.IsNumber()) return std::nullopt;
    double d = v.AsDouble();
    if (d != std::floor(d) || d < 0 || d >= double(bound)) return OidList{};
    return OidList{int64_t(d)};
  }
  IndexKey key;
  if (field.type == FieldType::String && v.type() == vb::Variant::Type::String) {
    key.text = true;
    key.s = v.AsString();
  } else if (IsNumericType(field.type) && v.IsNumber()) {
    key.n = v.AsDouble();
  } else if (field.type == FieldType::Date && v.type() == vb::Variant::Type::Date) {
    key.n = v.AsDate().serial;
  } else {
    return std::nullopt;
  }
  return lookup(field.field, key);
}

struct Planner {
  int oid_field;
  int64_t bound;
  LookupFn lookup;

  std::optional<OidList> Plan(const Node& n) const {
    switch (n.kind) {
      case Node::Kind::Compare:
        if (n.op != CmpOp::Eq) return std::nullopt;
        if (n.ops[0].is_field) return LookupEqual(oid_field, bound, n.ops[0], n.ops[1], lookup);
        return LookupEqual(oid_field, bound, n.ops[1], n.ops[0], lookup);
      case Node::Kind::In: {
        if (n.negated) return std::nullopt;
        OidList all;
        for (size_t i = 1; i < n.ops.size(); ++i) {
          if (n.ops[i].literal.IsNull() && !n.ops[i].is_field) continue;  // "= NULL" matches nothing
          auto one = LookupEqual(oid_field, bound, n.ops[0], n.ops[i], lookup);
          if (!one) return std::nullopt;
          all.insert(all.end(), one->begin(), one->end());
        }
        std::sort(all.begin(), all.end());
        all.erase(std::unique(all.begin(), all.end()), all.end());
        return all;
      }
      case Node::Kind::And: {
        // The rows every answerable part allows; the rest is tested row by row.
        std::optional<OidList> all;
        for (const auto& k : n.kids) {
          auto one = Plan(*k);
          if (one) all = all ? Intersection(*all, *one) : std::move(one);
        }
        return all;
      }
      case Node::Kind::Or: {
        OidList any;
        for (const auto& k : n.kids) {
          auto one = Plan(*k);
          if (!one) return std::nullopt;
          any.insert(any.end(), one->begin(), one->end());
        }
        std::sort(any.begin(), any.end());
        any.erase(std::unique(any.begin(), any.end()), any.end());
        return any;
      }
      default: return std::nullopt;
    }
  }
};

std::unique_ptr<Node> Compile(Table& t, const std::string& clause) {
  std::unique_ptr<Node> root;
  try {
    root = Parser(t, clause, Lex(clause)).Parse();
  } catch (const SyntaxError&) {
    Invalid(clause);
  } catch (const TooDeep&) {
    Nested(clause);
  }
  Bind(*root, clause);
  return root;
}

// A polygon that fills its own envelope: anything whose envelope lies inside meets it.
bool IsRectangle(const Geometry& g) {
  if (g.Type() != GeometryType::Polygon) return false;
  const Envelope& e = g.Extent();
  double box = e.Width() * e.Height();
  return box > 0 && std::fabs(g.Area() - box) <= box * 1e-12;
}

class SpatialTest {
 public:
  explicit SpatialTest(const SpatialFilter& f) : f_(f), rect_(IsRectangle(f.Geometry())) {
    if (f.SpatialRel() == SpatialRelation::Intersects && OGRHasPreparedGeometrySupport()) {
      prepared_ = OGRCreatePreparedGeometry(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(f.Geometry().ogr())));
    }
  }
  ~SpatialTest() {
    if (prepared_) OGRDestroyPreparedGeometry(prepared_);
  }
  SpatialTest(const SpatialTest&) = delete;
  SpatialTest& operator=(const SpatialTest&) = delete;

  bool Passes(const Geometry& shape) const {
    if (shape.IsEmpty()) return false;
    const Envelope& box = f_.Geometry().Extent();
    if (!box.Intersects(shape.Extent())) return false;
    if (f_.SpatialRel() == SpatialRelation::EnvelopeIntersects) return true;
    if (rect_ && box.Contains(shape.Extent())) return true;
    if (prepared_) {
      return OGRPreparedGeometryIntersects(prepared_, OGRGeometry::ToHandle(const_cast<OGRGeometry*>(shape.ogr())));
    }
    return f_.Geometry().Intersects(shape);
  }

 private:
  const SpatialFilter& f_;
  bool rect_;
  OGRPreparedGeometryH prepared_ = nullptr;
};

}  // namespace

void Engine::Check(Table& t, const std::string& whereClause) {
  if (!vb::Trim(whereClause).empty()) Compile(t, whereClause);
}

std::vector<int64_t> Engine::Select(Table& t, const QueryFilter* filter, const std::vector<int64_t>* within) {
  t.Refresh();
  std::unique_ptr<Node> root;
  std::string clause = filter ? filter->WhereClause() : std::string();
  if (!vb::Trim(clause).empty()) root = Compile(t, clause);

  const auto* spatial = dynamic_cast<const SpatialFilter*>(filter);
  if (spatial) {
    if (!t.HasShape()) {
      vb::raise(vb::err::HostFailure, "\"" + t.Name() + "\" has no shapes to search with a spatial filter");
    }
    if (spatial->Geometry().IsEmpty()) vb::raise(vb::err::HostFailure, "The spatial filter has no shape");
    const std::string& gf = spatial->GeometryField();
    if (!gf.empty() && !vb::SameText(gf, t.ShapeFieldName()) &&
        !vb::SameText(gf, std::string(Unqualified(t.ShapeFieldName())))) {
      vb::raise(vb::err::HostFailure, "Unknown shape field \"" + gf + "\" in \"" + t.Name() + "\"");
    }
  }

  int64_t bound = t.OidBound();
  std::optional<OidList> candidates;
  if (within) {
    OidList w(*within);
    std::sort(w.begin(), w.end());
    w.erase(std::unique(w.begin(), w.end()), w.end());
    candidates = std::move(w);
  }
  if (spatial) {
    auto c = t.SpatialCandidates(spatial->Geometry().Extent());
    if (c) candidates = candidates ? Intersection(*candidates, *c) : std::move(*c);
  }
  if (root) {
    Planner planner{t.oid_field_, bound, [&t](int field, const IndexKey& key) { return t.Lookup(field, key); }};
    auto c = planner.Plan(*root);
    if (c) candidates = candidates ? Intersection(*candidates, *c) : std::move(*c);
  }

  std::optional<SpatialTest> test;
  if (spatial) test.emplace(*spatial);
  Evaluator ev{t, t.slots_, clause};
  RowParts parts;
  OidList out;
  auto consider = [&](int64_t oid) {
    if (oid < 0 || oid >= bound || !t.FetchParts(oid, parts)) return;
    if (root) {
      ev.parts = &parts;
      ev.oid = oid;
      if (ev.Eval(*root) != Tri::True) return;
    }
    if (test) {
      const Record* rec = parts.part[0].get();
      if (!rec || !test->Passes(rec->shape)) return;
    }
    out.push_back(oid);
  };
  detail::QuietGdal quiet;
  if (candidates) {
    for (int64_t oid : *candidates) consider(oid);
  } else {
    for (int64_t oid = 0; oid < bound; ++oid) consider(oid);
  }
  return out;
}

}  // namespace host::geodata::detail
