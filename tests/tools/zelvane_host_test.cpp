// SPDX-License-Identifier: GPL-3.0-or-later
// The host's command line, run as a separate program the way scripts outside the
// code run it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

using Result = testing_support::CommandResult;

class HostCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZELVANE_REGISTRY", (dir / "registry.json").c_str(), 1);
    ASSERT_EQ(host("register " ZELVANE_TEST_PLUGIN).status, 0);
  }
  void TearDown() override { unsetenv("ZELVANE_REGISTRY"); }

  Result host(const std::string& args) { return testing_support::RunCommand(std::string(ZELVANE_HOST_EXE) + " " + args); }
  std::string script(const std::string& text) {
    WriteFile(dir / "script.txt", text);
    return (dir / "script.txt").string();
  }

  TempDir dir;
};

}  // namespace

TEST_F(HostCommandLine, ListsAndUnregistersCommands) {
  EXPECT_EQ(host("commands").out, "TestGIS_TestCommand\n");
  EXPECT_EQ(host("unregister " ZELVANE_TEST_PLUGIN).status, 0);
  EXPECT_EQ(host("commands").out, "");
  Result bad = host("register /no/such/lib.so");
  EXPECT_NE(bad.status, 0);
  EXPECT_NE(bad.err.find("/no/such/lib.so"), std::string::npos);
}

TEST_F(HostCommandLine, PlaysAScriptAndWritesItsTranscript) {
  std::string s = script(
      "type frmTest.txtName \"Ann\"\n"
      "click frmTest.btnHello\n"
      "answer No\n"
      "print frmTest.lblAnswer\n"
      "click frmTest.btnAsk\n"
      "input cancel\n"
      "print frmTest.txtName\n"
      "click frmTest.btnQuit\n"
      "print frmTest.txtName\n");
  Result r = host("run --click TestGIS_TestCommand --script " + s + " --transcript " + (dir / "t.txt").string());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "frmTest.lblAnswer = no\nfrmTest.txtName = \n");
  EXPECT_EQ(ReadFile(dir / "t.txt"),
            "MSGBOX YesNo -> No: Hello, Ann\\nIs that right?\n"
            "INPUTBOX -> Cancel: Your name?\n"
            "MSGBOX YesNoCancel -> No: Save changes to Untitled?\n");
}

TEST_F(HostCommandLine, UnansweredBoxesTakeTheirDefaultUnlessStrict) {
  std::string s = script("click frmTest.btnHello\nprint frmTest.lblAnswer\n");
  Result r = host("run --click TestGIS_TestCommand --script " + s);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "frmTest.lblAnswer = yes\n");
  EXPECT_NE(r.err.find("Hello, \r\nIs that right?"), std::string::npos);
  Result strict = host("run --strict --click TestGIS_TestCommand --script " + s);
  EXPECT_NE(strict.status, 0);
  EXPECT_NE(strict.err.find("no scripted answer"), std::string::npos);
}

TEST_F(HostCommandLine, FailsWithAOneLineReason) {
  Result unknown_command = host("run --click NoSuch_Command");
  EXPECT_NE(unknown_command.status, 0);
  EXPECT_EQ(unknown_command.err, "zelvane-host: unknown command NoSuch_Command\n");
  Result unknown_control = host("run --click TestGIS_TestCommand --script " + script("click frmTest.btnNope\n"));
  EXPECT_NE(unknown_control.status, 0);
  EXPECT_EQ(unknown_control.err, "zelvane-host: line 1: frmTest has no control btnNope\n");
  Result bad_verb = host("run --script " + script("\n\njump\n"));
  EXPECT_EQ(bad_verb.err, "zelvane-host: line 3: unknown verb jump\n");
}

TEST_F(HostCommandLine, AHugeIndexInAScriptIsRefusedWithItsLine) {
  for (const char* index : {"#1e20", "#1e400", "#-3000000000", "#1.5"}) {
    std::string s = script(std::string("print frmTest.cboPick\npick frmTest.cboPick ") + index + "\n");
    Result r = host("run --click TestGIS_TestCommand --script " + s);
    EXPECT_EQ(r.status, 1) << index;
    EXPECT_EQ(r.err, std::string("zelvane-host: line 2: not an index: ") + index + "\n");
    EXPECT_EQ(r.out, "frmTest.cboPick = \n");  // the lines before it were played
  }
}

// The registry says which libraries the host loads and runs: one that another user
// could write is refused, and so is a library it names, as ssh refuses such a key.
TEST_F(HostCommandLine, ARegistryOrLibraryThatAnotherUserCouldWriteIsRefused) {
  namespace fs = std::filesystem;
  const fs::path registry = dir / "registry.json";
  auto refused = [&](const std::string& args, const std::string& what) {
    Result r = host(args);
    EXPECT_EQ(r.status, 1) << args;
    EXPECT_NE(r.err.find(what), std::string::npos) << r.err;
    return r.err;
  };
  const fs::perms rw = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read | fs::perms::others_read;
  fs::permissions(registry, rw | fs::perms::group_write);
  EXPECT_NE(refused("commands", "The command registry " + registry.string() + " is not used").find("its group"),
            std::string::npos);
  fs::permissions(registry, rw | fs::perms::others_write);
  refused("run --click TestGIS_TestCommand", "writable by others");
  fs::permissions(registry, rw);
  EXPECT_EQ(host("commands").out, "TestGIS_TestCommand\n");

  // Its folder: writable by others only with the sticky bit that /tmp has.
  fs::permissions(dir.path(), fs::perms::others_write | fs::perms::others_exec, fs::perm_options::add);
  refused("commands", "its folder");
  fs::permissions(dir.path(), fs::perms::sticky_bit, fs::perm_options::add);
  EXPECT_EQ(host("commands").status, 0);
  fs::permissions(dir.path(), fs::perms::others_write | fs::perms::sticky_bit, fs::perm_options::remove);

  // A library that its group could write is neither registered nor loaded.
  fs::create_directories(dir / "lib");
  const fs::path lib = dir / "lib" / "libplugin.so";
  fs::copy_file(ZELVANE_TEST_PLUGIN, lib);
  fs::permissions(lib, fs::perms::group_write, fs::perm_options::add);
  refused("register " + lib.string(), "The plug-in library " + lib.string() + " is not loaded");
  WriteFile(registry, "[{\"classId\": \"x\", \"name\": \"TestGIS_TestCommand\", \"library\": \"" + lib.string() + "\"}]\n");
  fs::permissions(registry, rw);
  refused("run --click TestGIS_TestCommand", "is not loaded");

  // Files of another user: only root can make them here.
  if (geteuid() == 0) {
    fs::permissions(lib, fs::perms::group_write, fs::perm_options::remove);
    ASSERT_EQ(chown(lib.c_str(), 4242, 4242), 0);
    refused("run --click TestGIS_TestCommand", "belongs to user id 4242");
    ASSERT_EQ(chown(registry.c_str(), 4242, 4242), 0);
    refused("commands", "belongs to user id 4242");
  }
}

// Without HOME (cron, a service, env -i) the host's data is never kept in a shared
// folder; a user without a home folder is refused with one line that says so.
TEST_F(HostCommandLine, WithoutHomeTheDataFolderIsTheAccountsOwn) {
  namespace fs = std::filesystem;
  const bool tmp_data_before = fs::exists("/tmp/.local/share/zelvane");
  Result plain = host("--help");
  ASSERT_EQ(plain.status, 0);
  Result r = testing_support::RunCommand("env -i " + std::string(ZELVANE_HOST_EXE) + " commands");
  EXPECT_EQ(r.status, 0) << r.err;
  if (!tmp_data_before) {
    EXPECT_FALSE(fs::exists("/tmp/.local/share/zelvane"));
  }
  if (geteuid() != 0 || system("command -v setpriv >/dev/null") != 0)
    GTEST_SKIP() << "running as another user needs root and setpriv";
  // An id that no account has; the program must be reachable for it.
  Result none = testing_support::RunCommand("setpriv --reuid=54321 --regid=54321 --clear-groups env -i " +
                                            std::string(ZELVANE_HOST_EXE) + " commands");
  if (none.err.find("Permission denied") != std::string::npos) GTEST_SKIP() << "the build is not readable by others";
  EXPECT_EQ(none.status, 1);
  EXPECT_EQ(none.err,
            "zelvane-host: Cannot find a folder for the host's data: HOME is not set and user id 54321 has no home "
            "folder in the user database. Set HOME or XDG_DATA_HOME.\n");
}
