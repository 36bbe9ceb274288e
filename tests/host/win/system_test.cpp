// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <thread>

#include "host/win/system.h"
#include "win_fixtures.h"

namespace fs = std::filesystem;
using namespace host::win;
namespace err = host::vb::err;
using testing_support::ReadFile;
using testing_support::WriteFile;
using win_test::EnvGuard;

namespace {

// Polls a condition for up to ten seconds; the bound only keeps a broken build from hanging.
template <class F>
bool eventually(F condition) {
  for (int i = 0; i < 1000; ++i) {
    if (condition()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return condition();
}

struct ProcState {
  char state;
  long ppid;
};

std::optional<ProcState> proc_state(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string line;
  if (!std::getline(in, line)) return std::nullopt;
  size_t close = line.rfind(')');
  if (close == std::string::npos || close + 4 > line.size()) return std::nullopt;
  return ProcState{line[close + 2], std::atol(line.c_str() + close + 4)};
}

bool zombie_children() {
  for (const auto& entry : fs::directory_iterator("/proc")) {
    auto st = proc_state(entry.path().filename().string());
    if (st && st->ppid == getpid() && st->state == 'Z') return true;
  }
  return false;
}

void write_script(const fs::path& path, const std::string& body) {
  WriteFile(path, "#!/bin/sh\n" + body);
  fs::permissions(path, fs::perms::owner_all);
}

// Writes its arguments after the first, one a line, into the file the first names.
const char* kWriteArgs = "out=\"$1\"; shift\nprintf '%s\\n' \"$@\" > \"$out.part\" && mv \"$out.part\" \"$out\"\n";

class Programs : public win_test::DriveC {};

}  // namespace

TEST(CommandLine, SplitsAsWindowsDoes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\x\\pdftk.exe\" a.pdf  b.pdf"),
            (V{"C:\\Program Files\\x\\pdftk.exe", "a.pdf", "b.pdf"}));
  // The program name is taken as written: backslashes before its closing quote stay.
  EXPECT_EQ(SplitCommandLine("\"C:\\dir\\\" x"), (V{"C:\\dir\\", "x"}));
  EXPECT_EQ(SplitCommandLine("p \"two words\" a\\\"b \"c:\\d\\\\\" e\\\\f \\\\srv\\share"),
            (V{"p", "two words", "a\"b", "c:\\d\\", "e\\\\f", "\\\\srv\\share"}));
  EXPECT_EQ(SplitCommandLine("p \"\" a\"b c\"d"), (V{"p", "", "ab cd"}));
  // In a run of quotes every third is literal; "" inside quotes is a literal quote that
  // also ends the quoting, so the next quote opens it again.
  EXPECT_EQ(SplitCommandLine("p \"\"\"q\"\"\" \"a\"\"b\" x"), (V{"p", "\"q\"", "a\"b x"}));
  EXPECT_EQ(SplitCommandLine("\t p\t"), V{"p"});
  EXPECT_EQ(SplitCommandLine("   "), V{});
}

TEST_F(Programs, StartProgramRunsWithTranslatedPathsAndLeavesNoZombie) {
  write_script(native("dir with space/w.sh"), kWriteArgs);
  int pid = StartProgram("\"C:\\dir with space\\w.sh\" \"C:\\dir with space\\out.txt\" \"two words\" plain D:x", 6);
  ASSERT_GT(pid, 0);
  ASSERT_TRUE(eventually([&] { return fs::exists(native("dir with space/out.txt")); }));
  EXPECT_EQ(ReadFile(native("dir with space/out.txt")), "two words\nplain\nD:x\n");

  // Once the program has ended it is reaped: no zombie is left under the host.
  std::string id = std::to_string(pid);
  EXPECT_TRUE(eventually([&] {
    auto st = proc_state(id);
    return !st || st->ppid != getpid();
  }));
  EXPECT_FALSE(zombie_children());
}

TEST_F(Programs, ProgramNamesAsWindowsWritesThem) {
  // "tool.exe" runs "tool"; a bare name is found on PATH.
  write_script(native("bin/tool"), kWriteArgs);
  ASSERT_GT(StartProgram("C:\\bin\\tool.exe C:\\result.txt done", 6), 0);
  ASSERT_TRUE(eventually([&] { return fs::exists(native("result.txt")); }));
  EXPECT_EQ(ReadFile(native("result.txt")), "done\n");
  EXPECT_GT(StartProgram("sh.exe -c true", 0), 0);
}

TEST_F(Programs, StartProgramFailures) {
  EXPECT_EQ(ERR_OF(StartProgram("C:\\nope\\missing.exe x", 6)), err::FileNotFound);
  EXPECT_EQ(ERR_OF(StartProgram("zelvane-no-such-program", 6)), err::FileNotFound);
  EXPECT_EQ(ERR_OF(StartProgram("", 6)), err::InvalidCall);
  WriteFile(native("plain.txt"), "not a program");
  fs::permissions(native("plain.txt"), fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(ERR_OF(StartProgram("C:\\plain.txt", 6)), err::PermissionDenied);
}

// A watched program's end and what it said on stderr are kept until asked for, once.
TEST_F(Programs, AWatchedProgramTellsHowItEndedAndWhatItSaid) {
  write_script(native("bin/say.sh"), "echo \"cannot read '$1'\" >&2\nexit 3\n");
  int pid = StartWatchedProgram("C:\\bin\\say.sh C:\\notes.pdf", 2);
  std::optional<ProgramEnd> end = ProgramEnded(pid, true);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->exitCode, 3);
  EXPECT_EQ(end->signal, 0);
  EXPECT_FALSE(end->Succeeded());
  EXPECT_EQ(end->errorOutput, "cannot read '" + native("notes.pdf").string() + "'\n");
  EXPECT_FALSE(ProgramEnded(pid, true)) << "told once";

  // Looking does not wait; a program killed says so; a long stderr keeps its end.
  write_script(native("bin/slow.sh"),
               "head -c 100000 /dev/zero | tr '\\0' x >&2\necho last >&2\ntouch \"$1\"\nexec sleep 30\n");
  pid = StartWatchedProgram("C:\\bin\\slow.sh C:\\said.txt", 2);
  EXPECT_FALSE(ProgramEnded(pid, false));
  ASSERT_TRUE(eventually([&] { return fs::exists(native("said.txt")); }));
  EXPECT_FALSE(ProgramEnded(pid, false));
  ::kill(pid, SIGKILL);
  end = ProgramEnded(pid, true);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->signal, SIGKILL);
  EXPECT_EQ(end->errorOutput.size(), 65536u);
  EXPECT_EQ(end->errorOutput.substr(end->errorOutput.size() - 6), "xlast\n");
  EXPECT_FALSE(zombie_children());

  pid = StartWatchedProgram("sh -c \"kill -TERM $$\"", 0);
  end = ProgramEnded(pid, true);
  ASSERT_TRUE(end);
  EXPECT_EQ(end->signal, SIGTERM);
  EXPECT_EQ(end->exitCode, -1);
  EXPECT_TRUE(ProgramEnded(StartWatchedProgram("sh -c true", 0), true)->Succeeded());
  EXPECT_FALSE(ProgramEnded(getpid(), false)) << "no program of ours";
  EXPECT_EQ(ERR_OF(StartWatchedProgram("C:\\nope\\missing.exe", 2)), err::FileNotFound);
}

TEST_F(Programs, ShortPathNameIsThePathWhenSomethingIsThere) {
  WriteFile(native("Program Files/a b.txt"), "x");
  EXPECT_EQ(GetShortPathName("C:\\Program Files\\a b.txt"), "C:\\Program Files\\a b.txt");
  EXPECT_EQ(GetShortPathName("C:\\program files"), "C:\\program files");
  EXPECT_EQ(GetShortPathName("C:\\Program Files\\none.txt"), "");
  EXPECT_EQ(GetShortPathName(""), "");
}

TEST(Desktop, HeadlessComesFromTheEnvironment) {
  EnvGuard headless("ZELVANE_HEADLESS"), display("DISPLAY"), wayland("WAYLAND_DISPLAY");
  display.set(":0");
  wayland.unset();
  headless.set("1");
  EXPECT_TRUE(IsHeadless());
  headless.set("0");
  EXPECT_FALSE(IsHeadless());
  headless.set("");
  EXPECT_FALSE(IsHeadless());
  display.unset();
  EXPECT_TRUE(IsHeadless());
  wayland.set("wayland-0");
  EXPECT_FALSE(IsHeadless());
}

TEST(Desktop, ShellExecuteIsRecordedWhenHeadless) {
  ASSERT_TRUE(IsHeadless());  // the test main runs headless
  ClearShellExecuteLog();
  EXPECT_EQ(ShellExecute("open", "https://example.org/help.html"), 42);
  EXPECT_EQ(ShellExecute("", "mailto:support@example.org"), 42);
  using Log = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(ShellExecuteLog(),
            (Log{{"open", "https://example.org/help.html"}, {"", "mailto:support@example.org"}}));
  ClearShellExecuteLog();
  EXPECT_TRUE(ShellExecuteLog().empty());
}

TEST(Desktop, SendKeysReachesTheSinkOrIsDropped) {
  std::vector<std::string> received;
  SendKeys("dropped");
  SetKeystrokeSink([&](const std::string& keys) { received.push_back(keys); });
  SendKeys("n");
  SendKeys("{ENTER}", true);
  SetKeystrokeSink(nullptr);
  SendKeys("after");
  EXPECT_EQ(received, (std::vector<std::string>{"n", "{ENTER}"}));
}
