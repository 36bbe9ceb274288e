// SPDX-License-Identifier: GPL-3.0-or-later
// pdftk's command line and its file-name patterns. Lines of the input are the
// arguments; the first two are also matched as a pattern and a file name.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/pdftk/arguments.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<std::string> args(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n')
      args.emplace_back();
    else
      args.back() += char(data[i]);
  }
  try {
    pdftk::Request r = pdftk::parse(args);
    for (const std::string& in : r.inputs) pdftk::split_last(in);
  } catch (const pdftk::Failure&) {
  }
  if (args.size() >= 2) {
    // Names hold no NUL; a pattern's part after one is never seen by the matcher.
    pdftk::matches(args[0].c_str(), args[1].c_str());
    pdftk::split_last(args[0]);
  }
  return 0;
}
