// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/vb/convert.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::vb {

double RoundHalfEven(double x) {
  // The default floating-point rounding mode is to nearest, ties to even.
  return std::nearbyint(x);
}

namespace {
template <typename T>
T to_range(double x) {
  double r = RoundHalfEven(x);
  if (std::isnan(r) || r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max()))
    raise(err::Overflow);
  return static_cast<T>(r);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int16_t CInt(double x) { return to_range<int16_t>(x); }
int32_t CLng(double x) { return to_range<int32_t>(x); }
int16_t CInt(std::string_view text) { return CInt(CDbl(text)); }
int32_t CLng(std::string_view text) { return CLng(CDbl(text)); }

std::optional<double> ParseNumber(std::string_view text) {
  std::string t = Trim(text);
  size_t i = 0, n = t.size();
  if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
  size_t digits = 0;
  while (i < n && is_digit(t[i])) ++i, ++digits;
  if (i < n && t[i] == '.') {
    ++i;
    while (i < n && is_digit(t[i])) ++i, ++digits;
  }
  if (digits == 0) return std::nullopt;
  if (i < n && (t[i] == 'e' || t[i] == 'E' || t[i] == 'd' || t[i] == 'D')) {
    t[i] = 'e';
    ++i;
    if (i < n && (t[i] == '+' || t[i] == '-')) ++i;
    size_t exp_digits = 0;
    while (i < n && is_digit(t[i])) ++i, ++exp_digits;
    if (exp_digits == 0) return std::nullopt;
  }
  if (i != n) return std::nullopt;
  errno = 0;
  double v = std::strtod(t.c_str(), nullptr);
  if (std::isinf(v)) raise(err::Overflow);
  if (v == 0) v = 0;  // no negative zero
  return v;
}

bool IsNumeric(std::string_view text) {
  try {
    return ParseNumber(text).has_value();
  } catch (const Error&) {
    return false;  // too large for a Double
  }
}

double CDbl(std::string_view text) {
  auto v = ParseNumber(text);
  if (!v) raise(err::TypeMismatch);
  return *v;
}

double CDblGrouped(std::string_view text) {
  std::string t = Trim(text);
  size_t start = (!t.empty() && (t[0] == '+' || t[0] == '-')) ? 1 : 0;
  size_t end = start;
  while (end < t.size() && (is_digit(t[end]) || t[end] == ',')) ++end;
  std::string_view whole = std::string_view(t).substr(start, end - start);
  if (whole.find(',') == std::string_view::npos) return CDbl(t);
  // Groups: one to three digits, then commas each followed by exactly three.
  size_t first = whole.find(',');
  bool well_formed = first >= 1 && first <= 3 && (whole.size() - first) % 4 == 0;
  for (size_t i = first; well_formed && i < whole.size(); i += 4)
    well_formed = whole[i] == ',' && is_digit(whole[i + 1]) && is_digit(whole[i + 2]) && is_digit(whole[i + 3]);
  if (!well_formed) raise(err::TypeMismatch);
  std::string plain = t.substr(0, start);
  for (char c : whole)
    if (c != ',') plain += c;
  plain += t.substr(end);
  return CDbl(plain);
}

bool CBool(std::string_view text) {
  std::string t = Trim(text);
  if (SameText(t, "True")) return true;
  if (SameText(t, "False")) return false;
  auto v = ParseNumber(t);
  if (!v) raise(err::TypeMismatch);
  return *v != 0;
}

std::string CStr(double x) {
  if (std::isnan(x)) return "NaN";
  // No Double of the language is infinite: the arithmetic that made one overflowed.
  if (std::isinf(x)) raise(err::Overflow);
  if (x == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14E", x);  // 15 significant digits
  // Read back the decimal exponent of the rounded value.
  int exponent = std::atoi(std::strchr(buf, 'E') + 1);
  if (exponent >= 15 || exponent < -4) {
    std::string mantissa(buf, std::strchr(buf, 'E'));
    while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
    if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    char exp[16];
    std::snprintf(exp, sizeof exp, "E%c%02d", exponent < 0 ? '-' : '+', std::abs(exponent));
    return mantissa + exp;
  }
  std::snprintf(buf, sizeof buf, "%.*f", std::max(0, 14 - exponent), x);
  std::string s(buf);
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string CStr(int64_t x) { return std::to_string(x); }
std::string CStr(bool b) { return b ? "True" : "False"; }

}  // namespace host::vb
