// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/font_names.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <utility>
#include <vector>

namespace host::render::detail {

namespace {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool contains(const std::string& haystack, const char* needle) { return haystack.find(needle) != std::string::npos; }

// A name as CSS takes it: bare when it is words of letters, digits and hyphens, none a
// keyword, else quoted with quotes and backslashes escaped.
std::string css_name(const std::string& name) {
  static const std::array<const char*, 10> keywords{"serif", "sans-serif", "monospace", "cursive", "fantasy",
                                                    "system-ui", "inherit", "initial", "unset", "default"};
  bool bare = std::none_of(keywords.begin(), keywords.end(), [&](const char* k) { return lower(name) == k; });
  bool word_start = true;
  for (char c : name) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == ' ') {
      if (word_start) bare = false;  // two spaces in a row
      word_start = true;
      continue;
    }
    if (!std::isalnum(u) && c != '-' && c != '_') bare = false;
    if (word_start && (std::isdigit(u) || c == '-')) bare = false;
    word_start = false;
  }
  if (bare) return name;
  std::string out = "'";
  for (char c : name) {
    if (c == '\'' || c == '\\') out.push_back('\\');
    out.push_back(c);
  }
  return out + "'";
}

}  // namespace

bool SameMetrics(const std::string& asked, const std::string& used) {
  static const std::array<std::pair<const char*, const char*>, 4> pairs{{{"arial", "liberation sans"},
                                                                         {"helvetica", "liberation sans"},
                                                                         {"times new roman", "liberation serif"},
                                                                         {"courier new", "liberation mono"}}};
  const std::string a = lower(trimmed(asked)), u = lower(trimmed(used));
  return std::any_of(pairs.begin(), pairs.end(), [&](const auto& p) { return a == p.first && u == p.second; });
}

std::string MetafileFontName(const std::string& asked, const std::string& used) {
  return SameMetrics(asked, used) ? trimmed(asked) : used;
}

std::string GenericFamily(const std::string& asked, const std::string& used) {
  for (const std::string& name : {lower(used), lower(asked)}) {
    if (contains(name, "mono") || contains(name, "courier") || contains(name, "consolas")) return "monospace";
    if (contains(name, "sans")) return "sans-serif";
    if (contains(name, "serif") || contains(name, "times") || contains(name, "georgia")) return "serif";
  }
  return "sans-serif";
}

std::string CssFontFamilies(const std::string& asked, const std::string& used) {
  std::vector<std::string> names;
  for (const std::string& n : {trimmed(asked), trimmed(used)}) {
    if (n.empty()) continue;
    if (std::none_of(names.begin(), names.end(), [&](const std::string& m) { return lower(m) == lower(n); }))
      names.push_back(n);
  }
  std::string out;
  for (const std::string& n : names) out += css_name(n) + ", ";
  return out + GenericFamily(asked, used);
}

}  // namespace host::render::detail
