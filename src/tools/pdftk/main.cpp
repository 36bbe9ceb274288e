// SPDX-License-Identifier: GPL-3.0-or-later
// pdftk: joins PDF files into one, the part of the PDF toolkit's command line that the
// map-book export run uses:
//
//   pdftk INPUT... cat output FILE
//
// An input is a file or a pattern with * and ? in its last part ("C:\Out\*.pdf"), which
// is expanded here, in name order, as a Windows shell would leave it to the program.
// Windows paths go through the host's drive map; native paths are taken as they are.
// The output is written whole, and never read as one of its own inputs however either
// is spelled. A failure is one line on stderr, "pdftk: cannot read 'INPUT': DETAIL" for
// an input that cannot be read, and a non-zero exit status.

#include <iostream>
#include <string>
#include <vector>

#include "host/vb/error.h"
#include "tools/pdftk/arguments.h"
#include "tools/pdftk/inputs.h"
#include "tools/pdftk/join.h"

using namespace pdftk;

namespace {

constexpr const char* kUsage =
    "usage: pdftk INPUT... cat output FILE\n"
    "  Joins every page of the inputs, in order, into FILE.\n"
    "  An input may hold * and ? in its file name (\"out\\*.pdf\"); the matches are taken in name order.\n"
    "  Windows paths (C:\\...) and native paths are both accepted.\n";

int join(const Request& request) {
  const auto output = OutputOf(request.output);
  Join(InputsOf(request, output), output, request.output);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h" || args[0] == "help")) {
    std::cout << kUsage;
    return 0;
  }
  if (args.empty()) {
    std::cerr << kUsage;
    return 2;
  }
  try {
    return join(parse(args));
  } catch (const Failure& f) {
    std::cerr << "pdftk: " << f.what() << "\n";
    return f.code;
  } catch (const host::vb::Error& e) {
    std::cerr << "pdftk: " << e.description() << "\n";
    return 1;
  } catch (const std::exception& e) {
    std::cerr << "pdftk: " << e.what() << "\n";
    return 1;
  }
}
