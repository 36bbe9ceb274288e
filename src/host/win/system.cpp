// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/win/system.h"

#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <thread>

#include "host/vb/error.h"
#include "host/vb/text.h"
#include "host/win/drives.h"

extern char** environ;

namespace fs = std::filesystem;

namespace host::win {

namespace {

std::mutex g_mutex;
std::vector<std::pair<std::string, std::string>> g_shell_log;
std::function<void(const std::string&)> g_sink;

bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool env_set(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

// "C:\..." or "C:/...": a whole argument that names a place on a drive.
bool is_drive_path(std::string_view s) {
  return s.size() >= 3 && is_letter(s[0]) && s[1] == ':' && (s[2] == '\\' || s[2] == '/');
}

bool ends_with_exe(std::string_view s) { return s.size() > 4 && vb::SameText(s.substr(s.size() - 4), ".exe"); }

bool is_regular(const fs::path& p) {
  struct stat st;
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The native program a command line's first argument names. Windows programs are
// named with ".exe" and may be started without it; ours are not, so both forms are tried.
std::optional<fs::path> find_program(const std::string& name) {
  std::vector<std::string> names{name};
  if (ends_with_exe(name))
    names.push_back(name.substr(0, name.size() - 4));
  else
    names.push_back(name + ".exe");
  bool has_folder = name.find_first_of("\\/") != std::string::npos || (name.size() >= 2 && name[1] == ':');
  for (const std::string& n : names) {
    if (has_folder) {
      if (fs::path p = NativePath(n); is_regular(p)) return p;
      continue;
    }
    const char* path = std::getenv("PATH");
    for (const std::string& dir : vb::Split(path && *path ? path : "/usr/local/bin:/usr/bin:/bin", ":")) {
      if (dir.empty()) continue;
      fs::path p = fs::path(dir) / n;
      if (is_regular(p) && ::access(p.c_str(), X_OK) == 0) return p;
    }
  }
  return std::nullopt;
}

// Waits for the child to end; its wait status, or none when it was not ours to wait
// for (already reaped).
std::optional<int> wait_for(pid_t pid) {
  int status = 0;
  int rc;
  while ((rc = ::waitpid(pid, &status, 0)) < 0 && errno == EINTR) {
  }
  return rc < 0 ? std::nullopt : std::optional<int>(status);
}

// Runs reap on a thread of its own, or here when there is no thread to spare.
void run_reaper(const std::function<void()>& reap) {
  try {
    std::thread(reap).detach();
  } catch (const std::system_error&) {
    reap();
  }
}

// Reaps the child when it ends, so that no zombie is left behind.
void reap_later(pid_t pid) {
  run_reaper([pid] { wait_for(pid); });
}

// The programs whose end is kept, by process id: the private file that takes their
// standard error, and how they ended once they have.
struct Watched {
  int errorFd = -1;
  bool ended = false;
  std::optional<int> status;  // none when the end could not be learnt
};
std::mutex g_watch_mutex;
std::condition_variable g_watch_ended;
std::map<pid_t, Watched>& watched() {
  static std::map<pid_t, Watched> all;
  return all;
}

void reap_watched_later(pid_t pid) {
  run_reaper([pid] {
    std::optional<int> status = wait_for(pid);
    std::lock_guard lock(g_watch_mutex);
    if (auto it = watched().find(pid); it != watched().end()) {
      it->second.ended = true;
      it->second.status = status;
    }
    g_watch_ended.notify_all();
  });
}

// The last bytes of a private file, at most 64 kB.
std::string tail_of(int fd) {
  struct stat st;
  if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= 0) return {};
  const off_t keep = 64 * 1024;
  const off_t from = st.st_size > keep ? st.st_size - keep : 0;
  std::string text(size_t(st.st_size - from), '\0');
  size_t got = 0;
  while (got < text.size()) {
    ssize_t n = ::pread(fd, text.data() + got, text.size() - got, from + off_t(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    got += size_t(n);
  }
  text.resize(got);
  return text;
}

// Starts a program with the given arguments (its standard error into errorFd when that
// is given); 0 with the process id, or the error number. The caller reaps it.
int spawn_only(const fs::path& program, const std::vector<std::string>& args, pid_t& pid, int errorFd = -1) {
  std::vector<char*> argv;
  std::string program_text = program.string();
  argv.push_back(program_text.data());
  std::vector<std::string> rest(args.begin() + (args.empty() ? 0 : 1), args.end());
  for (std::string& a : rest) argv.push_back(a.data());
  argv.push_back(nullptr);

  // The child starts clean: default signal handling, nothing blocked, none of our
  // files open beyond the standard three.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attr, &none);
  posix_spawnattr_setsigdefault(&attr, &all);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (errorFd >= 0) posix_spawn_file_actions_adddup2(&actions, errorFd, 2);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
  int rc = ::posix_spawn(&pid, program_text.c_str(), &actions, &attr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  return rc;
}

// Starts a program with the given arguments; returns the process id, or the error number.
int spawn(const fs::path& program, const std::vector<std::string>& args, pid_t& pid) {
  int rc = spawn_only(program, args, pid);
  if (rc == 0) reap_later(pid);
  return rc;
}

// A command line's program and arguments, translated; raises as StartProgram does.
std::pair<fs::path, std::vector<std::string>> program_and_arguments(const std::string& commandLine) {
  std::vector<std::string> args = SplitCommandLine(commandLine);
  if (args.empty() || args[0].empty()) vb::raise(vb::err::InvalidCall);
  auto program = find_program(args[0]);
  if (!program) vb::raise(vb::err::FileNotFound);
  for (size_t k = 1; k < args.size(); ++k) {
    if (is_drive_path(args[k])) args[k] = NativePath(args[k]).string();
  }
  return {*program, std::move(args)};
}

[[noreturn]] void raise_not_started(const fs::path& program, int rc) {
  switch (rc) {
    case ENOENT: vb::raise(vb::err::FileNotFound);
    case EACCES:
    case EPERM: vb::raise(vb::err::PermissionDenied);
    default: vb::raise(vb::err::HostFailure, "Cannot start " + program.string() + ": " + std::strerror(rc));
  }
}

}  // namespace

void Sleep(uint32_t milliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds)); }

bool IsHeadless() {
  const char* headless = std::getenv("ZELVANE_HEADLESS");
  if (headless && *headless && std::strcmp(headless, "0") != 0) return true;
  return !env_set("DISPLAY") && !env_set("WAYLAND_DISPLAY");
}

long ShellExecute(const std::string& operation, const std::string& file) {
  if (IsHeadless()) {
    std::lock_guard lock(g_mutex);
    g_shell_log.emplace_back(operation, file);
    return 42;
  }
  std::string target = is_drive_path(file) ? NativePath(file).string() : file;
  if (target.empty()) return 2;
  // A missing local file is "file not found" now, not a failure in the opener later.
  std::error_code ec;
  if (target[0] == '/' && !fs::exists(target, ec)) return 2;
  auto opener = find_program("xdg-open");
  if (!opener) return 2;
  pid_t pid;
  return spawn(*opener, {"xdg-open", target}, pid) == 0 ? 42 : 2;
}

std::vector<std::pair<std::string, std::string>> ShellExecuteLog() {
  std::lock_guard lock(g_mutex);
  return g_shell_log;
}

void ClearShellExecuteLog() {
  std::lock_guard lock(g_mutex);
  g_shell_log.clear();
}

std::string GetShortPathName(const std::string& path) {
  if (path.empty()) return {};
  std::error_code ec;
  return fs::exists(NativePath(path), ec) ? path : std::string();
}

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> args;
  size_t i = 0, n = commandLine.size();
  while (i < n && is_blank(commandLine[i])) ++i;
  if (i == n) return args;

  // The program is taken as it stands: up to the closing quote, or up to a blank.
  std::string program;
  if (commandLine[i] == '"') {
    for (++i; i < n && commandLine[i] != '"'; ++i) program += commandLine[i];
    if (i < n) ++i;
  } else {
    for (; i < n && !is_blank(commandLine[i]); ++i) program += commandLine[i];
  }
  args.push_back(std::move(program));

  // The other arguments: 2n backslashes and a quote are n backslashes and a quote
  // that opens or closes; 2n+1 backslashes and a quote are n backslashes and a
  // literal quote; in a run of quotes every third one is literal.
  while (i < n && is_blank(commandLine[i])) ++i;
  while (i < n) {
    std::string arg;
    int quotes = 0;
    size_t backslashes = 0;
    while (i < n && !(is_blank(commandLine[i]) && quotes == 0)) {
      char c = commandLine[i];
      if (c == '\\') {
        arg += c;
        ++backslashes;
        ++i;
      } else if (c == '"') {
        if (backslashes % 2 == 0) {
          arg.resize(arg.size() - backslashes / 2);
          ++quotes;
        } else {
          arg.resize(arg.size() - backslashes / 2 - 1);
          arg += '"';
        }
        backslashes = 0;
        for (++i; i < n && commandLine[i] == '"'; ++i) {
          if (++quotes == 3) {
            arg += '"';
            quotes = 0;
          }
        }
        if (quotes == 2) quotes = 0;
      } else {
        arg += c;
        backslashes = 0;
        ++i;
      }
    }
    args.push_back(std::move(arg));
    while (i < n && is_blank(commandLine[i])) ++i;
  }
  return args;
}

int StartProgram(const std::string& commandLine, int windowStyle) {
  (void)windowStyle;  // no windows to minimise: the program runs as it runs
  auto [program, args] = program_and_arguments(commandLine);
  pid_t pid = 0;
  if (int rc = spawn(program, args, pid); rc != 0) raise_not_started(program, rc);
  return static_cast<int>(pid);
}

int StartWatchedProgram(const std::string& commandLine, int windowStyle) {
  (void)windowStyle;
  auto [program, args] = program_and_arguments(commandLine);
  // A file of no name: it goes when the host and the program have both closed it, so a
  // program that outlives the host leaves nothing behind. Without one the program
  // writes where the host does.
  int error_fd = ::memfd_create("program-stderr", MFD_CLOEXEC);
  pid_t pid = 0;
  {
    // In the table before its reaper can look for it there.
    std::lock_guard lock(g_watch_mutex);
    if (int rc = spawn_only(program, args, pid, error_fd); rc != 0) {
      if (error_fd >= 0) ::close(error_fd);
      raise_not_started(program, rc);
    }
    watched()[pid] = Watched{error_fd, false, std::nullopt};
  }
  reap_watched_later(pid);
  return static_cast<int>(pid);
}

std::optional<ProgramEnd> ProgramEnded(int pid, bool wait) {
  Watched w;
  {
    std::unique_lock lock(g_watch_mutex);
    auto it = watched().find(pid);
    if (wait) {
      g_watch_ended.wait(lock, [&] {
        it = watched().find(pid);
        return it == watched().end() || it->second.ended;
      });
    }
    if (it == watched().end() || !it->second.ended) return std::nullopt;
    w = it->second;
    watched().erase(it);
  }
  ProgramEnd end;
  end.errorOutput = tail_of(w.errorFd);
  if (w.errorFd >= 0) ::close(w.errorFd);
  if (!w.status) {
    // Reaped by someone else: what it said is all there is to go by.
    end.exitCode = end.errorOutput.empty() ? 0 : 1;
  } else if (WIFSIGNALED(*w.status)) {
    end.exitCode = -1;
    end.signal = WTERMSIG(*w.status);
  } else {
    end.exitCode = WEXITSTATUS(*w.status);
  }
  return end;
}

void SetKeystrokeSink(std::function<void(const std::string&)> sink) {
  std::lock_guard lock(g_mutex);
  g_sink = std::move(sink);
}

void SendKeys(const std::string& keys, bool wait) {
  (void)wait;  // the sink delivers before it returns, so there is nothing more to wait for
  std::function<void(const std::string&)> sink;
  {
    std::lock_guard lock(g_mutex);
    sink = g_sink;
  }
  if (sink) sink(keys);
}

}  // namespace host::win
