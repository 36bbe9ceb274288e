// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/pdftk/arguments.h"

#include <cctype>

#include "host/win/fso.h"

namespace pdftk {

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool windows_path(const std::string& s) {
  return s.find('\\') != std::string::npos ||
         (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':');
}

bool has_wildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::pair<std::string, std::string> split_last(const std::string& path) {
  size_t at = path.find_last_of(windows_path(path) ? "\\/" : "/");
  if (at == std::string::npos) {
    if (path.size() >= 2 && path[1] == ':') return {path.substr(0, 2), path.substr(2)};
    return {"", path};
  }
  return {path.substr(0, at + 1), path.substr(at + 1)};
}

bool matches(const char* p, const char* s) { return host::win::FileSystemObject::MatchesPattern(s, p); }

Request parse(const std::vector<std::string>& args) {
  Request r;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    std::string word = lower(args[i]);
    if (word == "cat" || word == "output") break;
    if (args[i].size() > 2 && std::isupper(static_cast<unsigned char>(args[i][0])) && args[i].find('=') == 1)
      throw Failure(2, "input handles (" + args[i].substr(0, 2) + "...) are not supported");
    if (word == "input_pw") throw Failure(2, "passwords are not supported");
    static const char* operations[] = {"shuffle", "burst", "rotate", "generate_fdf", "fill_form", "background",
                                       "multibackground", "stamp", "multistamp", "dump_data", "dump_data_utf8",
                                       "dump_data_fields", "dump_data_annots", "update_info", "attach_files",
                                       "unpack_files"};
    for (const char* op : operations)
      if (word == op) throw Failure(2, "the operation '" + args[i] + "' is not supported; only 'cat' is");
    r.inputs.push_back(args[i]);
  }
  if (r.inputs.empty()) throw Failure(2, "no input files given");
  if (i == args.size()) throw Failure(2, "'cat output FILE' is missing after the inputs");
  if (lower(args[i]) != "cat") throw Failure(2, "'cat' is missing before 'output'");
  ++i;
  if (i == args.size() || lower(args[i]) != "output") {
    if (i < args.size()) throw Failure(2, "page ranges after 'cat' are not supported: " + args[i]);
    throw Failure(2, "'output FILE' is missing after 'cat'");
  }
  ++i;
  if (i == args.size()) throw Failure(2, "no output file given after 'output'");
  r.output = args[i++];
  if (r.output == "-") throw Failure(2, "writing to standard output is not supported");
  if (i < args.size()) throw Failure(2, "'" + args[i] + "' after the output file is not supported");
  return r;
}

}  // namespace pdftk
