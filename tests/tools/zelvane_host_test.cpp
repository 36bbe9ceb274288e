// SPDX-License-Identifier: GPL-3.0-or-later
// The host's command line, run as a separate program the way scripts outside the
// code run it.

#include <gtest/gtest.h>

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
