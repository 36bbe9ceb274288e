// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/PdfJoin.h"

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>

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

// The PDF joins this host started, by the folder they read. A join goes on after its
// run; the next run into that folder waits for it, or it would replace the pages the
// join is reading.
class PdfJoins {
 public:
  static void Started(const std::string& folder, int pid) {
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    Join join{pid, fd};
    if (fd < 0 && ::kill(pid, 0) != 0) return;  // over already
    auto& all = joins();
    if (auto it = all.find(key(folder)); it != all.end()) close(it->second);
    all[key(folder)] = join;
  }
  static void WaitFor(const std::string& folder) {
    auto& all = joins();
    auto it = all.find(key(folder));
    if (it == all.end()) return;
    Join join = it->second;
    all.erase(it);
    if (join.fd >= 0) {
      pollfd ended{join.fd, POLLIN, 0};
      while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
      }
    } else {
      // No descriptor for the process on this system: it is gone once it is reaped.
      while (::kill(join.pid, 0) == 0) host::win::Sleep(20);
    }
    close(join);
  }

 private:
  struct Join {
    int pid = 0;
    int fd = -1;
  };
  static void close(const Join& join) {
    if (join.fd >= 0) ::close(join.fd);
  }
  static std::map<fs::path, Join>& joins() {
    static std::map<fs::path, Join> all;
    return all;
  }
  // One folder however it was typed: its drive form or native form, with or without
  // a trailing separator, in any letter case the drive map resolves.
  static fs::path key(const std::string& folder) {
    fs::path native = host::win::NativePath(folder);
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(native, ec);
    fs::path p = (ec ? native : resolved).lexically_normal();
    return p.has_filename() || p == p.root_path() ? p : p.parent_path();
  }
};
}  // namespace

void WaitForPdfJoin(const std::string& folder) { PdfJoins::WaitFor(folder); }

void JoinPdfPages(const std::string& folder) {
  SharedState& s = State();
  if (!ZelvaneGIS_IO::fDoesFileExist(s.BinFolder + "\\pdftk.exe")) return;
  std::string combined = folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + "Combined.pdf";
  if (ZelvaneGIS_IO::fDoesFileExist(combined)) ZelvaneGIS_IO::fDeleteFile(combined);
  auto with_backslash = [](std::string p) { return !p.empty() && p.back() == '\\' ? p : p + "\\"; };
  std::string bin = with_backslash(host::win::GetShortPathName(s.BinFolder + "\\"));
  std::string out = with_backslash(host::win::GetShortPathName(folder));
  // Full paths may hold blanks and quotes here, so each is quoted rather than shortened.
  std::string command = "\"" + bin + "pdftk\" " + CommandLineArgument(out + "*.pdf") + " cat output " +
                        CommandLineArgument(out + "Combined.pdf");
  PdfJoins::Started(folder, host::win::StartProgram(command, 2));
}

}  // namespace mapbooks
