// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A value that may be Empty, Null, a Boolean, a whole or real number, a text or a date:
// what a field value, a dictionary item or an untyped argument holds.

#include <cstdint>
#include <string>
#include <variant>

namespace host::vb {

struct DateValue {
  double serial = 0;  // days from 30 Dec 1899, time as the fraction
  bool operator==(const DateValue&) const = default;
};

class Variant {
 public:
  enum class Type { Empty, Null, Boolean, Long, Double, String, Date };

  Variant() = default;
  Variant(bool b) : v_(b) {}
  Variant(int v) : v_(int64_t(v)) {}
  Variant(int64_t v) : v_(v) {}
  Variant(double v) : v_(v) {}
  Variant(const char* s) : v_(std::string(s)) {}
  Variant(std::string s) : v_(std::move(s)) {}
  Variant(DateValue d) : v_(d) {}
  static Variant Null() {
    Variant v;
    v.v_ = NullTag{};
    return v;
  }

  Type type() const { return Type(v_.index()); }
  bool IsEmpty() const { return type() == Type::Empty; }
  bool IsNull() const { return type() == Type::Null; }
  bool IsNumber() const { return type() == Type::Long || type() == Type::Double; }

  bool AsBool() const { return std::get<bool>(v_); }
  int64_t AsLong() const { return std::get<int64_t>(v_); }
  double AsDouble() const;  // Long or Double
  const std::string& AsString() const { return std::get<std::string>(v_); }
  DateValue AsDate() const { return std::get<DateValue>(v_); }

  bool operator==(const Variant&) const = default;

 private:
  struct NullTag {
    bool operator==(const NullTag&) const = default;
  };
  std::variant<std::monostate, NullTag, bool, int64_t, double, std::string, DateValue> v_;
};

// The text form: numbers as CStr, dates in the short form, Empty as "".
// Null cannot become text: Invalid use of Null (94).
std::string CStr(const Variant& v);
// A number from a number, a numeric text, a Boolean (-1/0) or a date; Type mismatch otherwise.
double CDbl(const Variant& v);

}  // namespace host::vb
