// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// pdftk's command line and its file-name patterns, apart from the joining, so that
// they can be driven on their own.

#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace pdftk {

// A refusal or failure: one line on stderr and a non-zero exit.
struct Failure : std::runtime_error {
  Failure(int code, const std::string& what) : std::runtime_error(what), code(code) {}
  int code;
};

std::string lower(std::string s);
bool windows_path(const std::string& s);
bool has_wildcard(const std::string& s);
// Splits a path into its folder (as given) and its last part.
std::pair<std::string, std::string> split_last(const std::string& path);
// Windows matching, as the host's file lists match: case does not count, and the time
// grows with the lengths, never exponentially with the stars.
bool matches(const char* p, const char* s);

struct Request {
  std::vector<std::string> inputs;
  std::string output;
};

// INPUT... cat output FILE; anything else fails with a Failure.
Request parse(const std::vector<std::string>& args);

}  // namespace pdftk
