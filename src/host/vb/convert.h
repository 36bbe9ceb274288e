// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Numeric conversions with the command's rules: rounding half to even,
// 16- and 32-bit ranges that fail with Overflow, text that is a number only
// when it is a sign, digits, a decimal point and an exponent.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace host::vb {

double RoundHalfEven(double x);

int16_t CInt(double x);
int32_t CLng(double x);
int16_t CInt(std::string_view text);
int32_t CLng(std::string_view text);

// Parses a number the way the conversions accept it; empty when it is not one.
// Overflow when it is a number too large for a Double.
std::optional<double> ParseNumber(std::string_view text);
// A number too large for a Double is not numeric: CDbl would fail on it.
bool IsNumeric(std::string_view text);
// Type mismatch when the text is not a number, Overflow when it is too large.
double CDbl(std::string_view text);
inline double CDbl(const std::string& text) { return CDbl(std::string_view(text)); }
inline double CDbl(const char* text) { return CDbl(std::string_view(text)); }
// CDbl that also takes the en-US thousands separator in whole groups of three in the
// part before the decimal point ("1,000.5", "-12,345"); "1,00" or ",5" stay a mismatch.
double CDblGrouped(std::string_view text);

// "True"/"False" in any case, or a number (non-zero is True); Type mismatch otherwise.
bool CBool(std::string_view text);

// Number to text with up to 15 significant digits: 0.5 -> "0.5", 25000 -> "25000",
// 1E+15 beyond, 1E-05 below 0.0001.
std::string CStr(double x);
std::string CStr(int64_t x);
inline std::string CStr(int32_t x) { return CStr(static_cast<int64_t>(x)); }
inline std::string CStr(int16_t x) { return CStr(static_cast<int64_t>(x)); }
std::string CStr(bool b);  // "True" / "False"
// Text stays text (and a literal never turns into a Boolean).
inline std::string CStr(const std::string& s) { return s; }
inline std::string CStr(const char* s) { return s; }

}  // namespace host::vb
