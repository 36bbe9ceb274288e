// SPDX-License-Identifier: GPL-3.0-or-later
// The map book printed into the spool folder through the host's command line: two
// hosts printing into one folder at once, and a folder that holds names of its own.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

// A town with a 4 x 3 grid, the map book set up on it, and the spool printer.
class SpoolPrint : public HostSession {
 protected:
  void SetUp() override {
    HostSession::SetUp();
    WriteTownDocument(document(), 4, 3, {"grid"});
    WriteFile(dir / "setup.txt",
              "answer OK\n"
              "pick frmMain.cboMapLayers \"grid\"\n"
              "click frmMain.btnLayerApply\n"
              "select frmMain.lstDataFrames \"Layers\" on\n"
              "click frmMain.optPrintAll\n"
              "close frmMain\n");
    Result r = host("run --strict " + session("setup.txt"));
    ASSERT_EQ(r.status, 0) << r.err;
    WriteFile(dir / "print.txt", "click frmMain.btnPrint\nclose frmMain\n");
    environment += "ZELVANE_PRINTER=spool ZELVANE_PRINTER_FOLDER=" + ShellQuote(spool().string()) + " ";
  }
  fs::path document() const { return dir / "data" / "town.json"; }
  fs::path spool() const { return dir / "spool"; }
  std::string session(const std::string& script) const {
    return "--document " + ShellQuote(document().string()) + " --click ZelvaneGIS_ZelvaneMapbooks --script " +
           ShellQuote((dir / script).string());
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(spool())) names.insert(e.path().filename().string());
    return names;
  }
  static std::string JobName(int n) {
    char name[32];
    std::snprintf(name, sizeof name, "job-%04d.pdf", n);
    return name;
  }
};

// Each host prints the 12 pages of the book; the folder holds 24 whole jobs and nothing
// else, and neither host met an error.
TEST_F(SpoolPrint, TwoHostsPrintingIntoOneFolderKeepEveryJob) {
  const std::string one = command("run " + session("print.txt"));
  auto to = [&](const char* name) { return ShellQuote((dir / name).string()); };
  Result both = testing_support::RunCommand("(" + one + " >" + to("out1") + " 2>" + to("err1") + ") & first=$!; (" + one +
                                            " >" + to("out2") + " 2>" + to("err2") +
                                            ") & second=$!; wait $first; a=$?; wait $second; echo $a $?");
  EXPECT_EQ(both.out, "0 0\n") << ReadFile(dir / "err1") << ReadFile(dir / "err2");
  for (const char* err : {"err1", "err2"}) EXPECT_EQ(ReadFile(dir / err), "") << err;
  std::set<std::string> expected;
  for (int n = 1; n <= 24; ++n) expected.insert(JobName(n));
  EXPECT_EQ(Names(), expected);
  for (const std::string& job : Names()) {
    Result check = testing_support::RunCommand("qpdf --check " + ShellQuote((spool() / job).string()));
    EXPECT_EQ(check.status, 0) << job << ": " << check.out << check.err;
  }
}

// A name in the folder that looks like a job but whose number does not fit is passed
// over: the run prints its pages after it instead of ending the host.
TEST_F(SpoolPrint, AStrayNameInTheFolderDoesNotEndTheRun) {
  fs::create_directories(spool() / "job-0002.pdf");
  WriteFile(spool() / "job-99999999999999999999.pdf", "not a job of ours");
  Result r = host("run " + session("print.txt"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  std::set<std::string> expected{"job-0002.pdf", "job-99999999999999999999.pdf"};
  for (int n = 3; n <= 14; ++n) expected.insert(JobName(n));
  EXPECT_EQ(Names(), expected);
  EXPECT_EQ(ReadFile(spool() / "job-99999999999999999999.pdf"), "not a job of ours");
}

// A host killed at any moment while it prints leaves only whole jobs under job names,
// and what it left (its claim on a number, its unfinished file) neither stops nor
// shows in the runs after it.
TEST_F(SpoolPrint, AKilledHostLeavesNothingThatStopsTheNextRun) {
  const std::string args = "run " + session("print.txt");
  auto started = std::chrono::steady_clock::now();
  ASSERT_EQ(host(args).status, 0);
  const auto whole_run = std::chrono::steady_clock::now() - started;
  std::mt19937 random(20261207);
  std::uniform_int_distribution<long> moment(0, std::chrono::duration_cast<std::chrono::microseconds>(whole_run).count());
  for (int k = 0; k < 8; ++k) {
    HostKilledAfter(args, std::chrono::microseconds(moment(random)));
  }
  Result last = host(args);
  ASSERT_EQ(last.status, 0) << last.err;
  EXPECT_EQ(last.err, "");
  const std::set<std::string> names = Names();
  ASSERT_GE(names.size(), 24u);
  int n = 0;
  for (const std::string& name : names) {
    EXPECT_EQ(name, JobName(++n)) << "numbers run on without a gap or a stray name";
    Result check = testing_support::RunCommand("qpdf --check " + ShellQuote((spool() / name).string()));
    EXPECT_EQ(check.status, 0) << name << ": " << check.out << check.err;
  }
}

}  // namespace
