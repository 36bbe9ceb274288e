// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Text functions with the command's rules: blanks are spaces, case folding is
// ASCII, comparisons "without regard to case" fold both sides.

#include <string>
#include <string_view>
#include <vector>

namespace host::vb {

std::string Trim(std::string_view s);
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
std::string UCase(std::string_view s);
std::string LCase(std::string_view s);

// Equal ignoring case (vbTextCompare).
bool SameText(std::string_view a, std::string_view b);
// -1, 0 or 1, ignoring case.
int CompareText(std::string_view a, std::string_view b);
bool StartsWithText(std::string_view s, std::string_view prefix);

std::string Replace(std::string_view s, std::string_view find, std::string_view with);
std::vector<std::string> Split(std::string_view s, std::string_view delimiter);

}  // namespace host::vb
