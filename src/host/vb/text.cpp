// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/vb/text.h"

#include <algorithm>

namespace host::vb {

namespace {
char fold(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
}  // namespace

std::string LTrim(std::string_view s) {
  size_t i = 0;
  while (i < s.size() && s[i] == ' ') ++i;
  return std::string(s.substr(i));
}

std::string RTrim(std::string_view s) {
  size_t n = s.size();
  while (n > 0 && s[n - 1] == ' ') --n;
  return std::string(s.substr(0, n));
}

std::string Trim(std::string_view s) { return LTrim(RTrim(s)); }

std::string UCase(std::string_view s) {
  std::string r(s);
  std::transform(r.begin(), r.end(), r.begin(), fold);
  return r;
}

std::string LCase(std::string_view s) {
  std::string r(s);
  for (char& c : r)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return r;
}

int CompareText(std::string_view a, std::string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    unsigned char x = static_cast<unsigned char>(fold(a[i]));
    unsigned char y = static_cast<unsigned char>(fold(b[i]));
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

bool SameText(std::string_view a, std::string_view b) {
  return a.size() == b.size() && CompareText(a, b) == 0;
}

bool StartsWithText(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::string Replace(std::string_view s, std::string_view find, std::string_view with) {
  if (find.empty()) return std::string(s);
  std::string r;
  size_t pos = 0;
  for (size_t hit; (hit = s.find(find, pos)) != std::string_view::npos; pos = hit + find.size()) {
    r.append(s.substr(pos, hit - pos));
    r.append(with);
  }
  r.append(s.substr(pos));
  return r;
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter) {
  std::vector<std::string> parts;
  if (delimiter.empty()) {
    parts.emplace_back(s);
    return parts;
  }
  size_t pos = 0;
  for (size_t hit; (hit = s.find(delimiter, pos)) != std::string_view::npos; pos = hit + delimiter.size())
    parts.emplace_back(s.substr(pos, hit - pos));
  parts.emplace_back(s.substr(pos));
  return parts;
}

}  // namespace host::vb
