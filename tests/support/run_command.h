// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Running a program from a test: its exit status and what it wrote.

#include <string>

namespace testing_support {

struct CommandResult {
  int status = -1;  // the exit status; -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs a shell command line with no input.
CommandResult RunCommand(const std::string& commandLine);

// A text quoted for the shell, taken as it stands.
std::string ShellQuote(const std::string& s);

}  // namespace testing_support
