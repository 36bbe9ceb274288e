// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows functions the command calls: Sleep, ShellExecute, GetShortPathName, the
// runtime's Shell (starting a program without waiting) and SendKeys.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace host::win {

void Sleep(uint32_t milliseconds);

// No desktop to show anything on: ZELVANE_HEADLESS set (and not "0"), or neither
// DISPLAY nor WAYLAND_DISPLAY set.
bool IsHeadless();

// Opens a web address, a "mailto:" link or a file (a Windows path is translated)
// with the desktop's opener, without waiting. Headless, nothing is opened and the
// request is only recorded. Returns 42 on success (above 32, as Windows does) and
// 2 when the opener could not be started.
long ShellExecute(const std::string& operation, const std::string& file);
// The requests recorded while headless, as (operation, file), oldest first.
std::vector<std::pair<std::string, std::string>> ShellExecuteLog();
void ClearShellExecuteLog();

// There are no short names here: the path itself when something exists there,
// the empty text when nothing does.
std::string GetShortPathName(const std::string& path);

// The runtime's Shell: a Windows command line, split as Windows splits it, whose
// program and whole-drive-path arguments ("C:\...") are translated to native paths.
// "prog.exe" that does not exist runs "prog" when that exists; a bare name is
// looked up on PATH. The program runs on its own; it is never waited for and never
// left a zombie. A missing program raises 53. windowStyle has no effect here.
// Returns the process id.
int StartProgram(const std::string& commandLine, int windowStyle);

// How a program that StartWatchedProgram started ended.
struct ProgramEnd {
  int exitCode = 0;         // its exit status; -1 when a signal ended it
  int signal = 0;           // the signal that ended it, or 0
  std::string errorOutput;  // what it wrote on its standard error (the last 64 kB)
  bool Succeeded() const { return exitCode == 0 && signal == 0; }
};
// StartProgram, with the program's standard error kept in a private file of the host's
// and its end kept for ProgramEnded. The program still runs on its own and may outlive
// the host.
int StartWatchedProgram(const std::string& commandLine, int windowStyle);
// The end of a program that StartWatchedProgram started: none while it runs, unless wait
// says to wait for it, and none for any other process. Told once.
std::optional<ProgramEnd> ProgramEnded(int pid, bool wait);

// The arguments a Windows command line holds, program first, as CommandLineToArgvW gives them.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// Keystrokes go to the sink the application sets (it delivers them to its active
// window); with no sink they are dropped.
void SetKeystrokeSink(std::function<void(const std::string&)> sink);
void SendKeys(const std::string& keys, bool wait = false);

}  // namespace host::win
