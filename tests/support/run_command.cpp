// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/run_command.h"

#include <sys/wait.h>

#include <cstdlib>

#include "support/temp_dir.h"

namespace testing_support {

std::string ShellQuote(const std::string& s) {
  std::string out = "'";
  for (char c : s) {
    if (c == '\'')
      out += "'\\''";
    else
      out.push_back(c);
  }
  return out + "'";
}

CommandResult RunCommand(const std::string& commandLine) {
  TempDir dir("zelvane-run");
  std::string cmd = commandLine + " >" + ShellQuote((dir / "out").string()) + " 2>" +
                    ShellQuote((dir / "err").string()) + " </dev/null";
  CommandResult r;
  int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadFile(dir / "out");
  r.err = ReadFile(dir / "err");
  return r;
}

}  // namespace testing_support
