// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/PdfJoin.h"

#include <filesystem>

#include "host/app/application.h"
#include "host/ui/boxes.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/system.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"

namespace mapbooks {

namespace fs = std::filesystem;

namespace {
// One argument of a command line as the program's command-line parser reads it back:
// quoted, a quote as backslash and quote, and backslashes doubled where they come
// before a quote.
std::string CommandLineArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// The host's name for the join of a folder: one folder however it was typed (its drive
// form or native form, with or without a trailing separator, in any letter case the
// drive map resolves), so that the next run into it finds the join.
std::string JoinKey(const std::string& folder) {
  fs::path native = host::win::NativePath(folder);
  std::error_code ec;
  fs::path resolved = fs::weakly_canonical(native, ec);
  fs::path p = (ec ? native : resolved).lexically_normal();
  if (!p.has_filename() && p != p.root_path()) p = p.parent_path();
  return "pdf join " + p.string();
}

host::app::Application* RunningApplication() {
  host::app::Application* app = State().Application;
  return app ? app : host::app::Application::Running();
}

std::string WithoutLineEnd(std::string text) {
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return text;
}
}  // namespace

std::string PdfJoinFailure(const host::win::ProgramEnd& end, bool earlierKept) {
  if (end.Succeeded()) return "";
  std::string reason;
  // The toolkit's last line: "pdftk: cannot read 'PATH': DETAIL", or another refusal.
  std::string said = WithoutLineEnd(end.errorOutput);
  said = said.substr(said.find_last_of('\n') + 1);
  if (said.rfind("pdftk: ", 0) == 0) said = said.substr(7);
  const std::string unreadable = "cannot read '";
  if (size_t close = said.find("': "); said.rfind(unreadable, 0) == 0 && close != std::string::npos) {
    std::string path = said.substr(unreadable.size(), close - unreadable.size());
    std::string file = path.substr(path.find_last_of("\\/") + 1);
    reason = file + " cannot be read (" + said.substr(close + 3) + ")";
  } else if (!said.empty()) {
    reason = said;
  } else if (end.signal != 0) {
    reason = "the join was stopped (signal " + std::to_string(end.signal) + ")";
  } else {
    reason = "the toolkit ended with status " + std::to_string(end.exitCode);
  }
  if (end.signal != 0 && !said.empty()) reason += " (stopped by signal " + std::to_string(end.signal) + ")";
  std::string text = "The pages were not joined into Combined.pdf: " + reason;
  if (text.back() != '.') text += ".";
  if (earlierKept) text += " The earlier Combined.pdf was kept.";
  return text;
}

void WaitForPdfJoin(const std::string& folder) {
  if (host::app::Application* app = RunningApplication()) app->FinishBackgroundWork(JoinKey(folder));
}

void JoinPdfPages(const std::string& folder) {
  SharedState& s = State();
  if (!ZelvaneGIS_IO::fDoesFileExist(s.BinFolder + "\\pdftk.exe")) return;
  std::string combined = folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + "Combined.pdf";
  // An earlier joined file stays until the new one is whole: the toolkit never reads it.
  const bool hadCombined = ZelvaneGIS_IO::fDoesFileExist(combined);
  auto with_backslash = [](std::string p) { return !p.empty() && p.back() == '\\' ? p : p + "\\"; };
  std::string bin = with_backslash(host::win::GetShortPathName(s.BinFolder + "\\"));
  std::string out = with_backslash(host::win::GetShortPathName(folder));
  // Full paths may hold blanks and quotes here, so each is quoted rather than shortened.
  std::string command = "\"" + bin + "pdftk\" " + CommandLineArgument(out + "*.pdf") + " cat output " +
                        CommandLineArgument(out + "Combined.pdf");
  const int pid = host::win::StartWatchedProgram(command, 2);
  auto finish = [pid, hadCombined, combined](bool wait) {
    std::optional<host::win::ProgramEnd> end = host::win::ProgramEnded(pid, wait);
    if (!end) return wait ? host::app::WorkState::Succeeded : host::app::WorkState::Running;
    std::string failure = PdfJoinFailure(*end, hadCombined && ZelvaneGIS_IO::fDoesFileExist(combined));
    if (failure.empty()) return host::app::WorkState::Succeeded;
    host::ui::MsgBox(failure, host::ui::vbOKOnly | host::ui::vbExclamation);
    return host::app::WorkState::Failed;
  };
  if (host::app::Application* app = RunningApplication()) {
    app->AddBackgroundWork(JoinKey(folder), finish);
  } else {
    finish(true);
  }
}

}  // namespace mapbooks
