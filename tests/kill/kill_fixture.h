// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The kill test's fixture: a town, the command registered, and the host started with a
// script and killed (SIGKILL) at random moments while it rewrites its files. After
// every kill each file is the old one or the new one, whole; after the next run that
// completes, no temporary file is left.
//
// The moments come from a fixed seed, so a failure can be replayed:
//   ZELVANE_KILL_SEED=N build/tests/test_kill --gtest_filter=Kill.GridBuild
// ZELVANE_KILL_COUNT sets the kills per operation (20).

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <random>
#include <set>
#include <sstream>
#include <thread>

#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/vb/error.h"
#include "host/vb/seqfile.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

extern char** environ;

namespace kill_testing {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::ShellQuote;
using testing_support::WriteFile;
using Clock = std::chrono::steady_clock;

inline int EnvNumber(const char* name, int dflt) {
  const char* v = std::getenv(name);
  return v && *v ? std::atoi(v) : dflt;
}

// The names in a folder, recursively, relative to it.
inline std::set<std::string> Listing(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec))
    names.insert(fs::relative(it->path(), folder).string());
  return names;
}

inline std::string Joined(const std::set<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : ", ") + n;
  return s;
}

// Starts a program with this environment, its output going to the two files, and kills
// it after killAfter when given. The exit status, or -1 when a signal ended it.
inline int Spawn(std::vector<std::string> args, std::vector<std::string> env, const fs::path& out,
                 const fs::path& err, std::optional<std::chrono::microseconds> killAfter = {}) {
  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  pid_t pid = 0;
  int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -2;
  if (killAfter) {
    std::this_thread::sleep_for(*killAfter);
    kill(pid, SIGKILL);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class Kill : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir_.path() / "c");
    env_ = {"ZELVANE_REGISTRY=" + (dir_ / "registry.json").string(),
            "ZELVANE_DRIVES=C=" + (dir_ / "c").string() + ";D=" + (dir_ / "data").string()};
    for (char** e = environ; *e; ++e) {
      std::string v = *e;
      if (v.rfind("ZELVANE_REGISTRY=", 0) != 0 && v.rfind("ZELVANE_DRIVES=", 0) != 0) env_.push_back(v);
    }
    ASSERT_EQ(Run({"register", ZELVANE_MAPBOOKS_PLUGIN}), 0) << ReadFile(dir_ / "err.txt");

    towngen::TownOptions o;
    o.blocksX = 6;
    o.blocksY = 4;
    const std::string town = (dir_ / "data" / "town").string();
    auto summary = towngen::WriteTown(town, o);
    towngen::WriteTileGrid(town, "grid", summary.extent, 3, 2, towngen::TownSpatialReference());
    {
      host::carto::Document doc;
      auto ws = host::geodata::ShapefileWorkspace::Open(town);
      doc.FocusMap()->AddLayer(std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass("streets")));
      doc.FocusMap()->AddLayer(std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass("grid")));
      doc.Save(document().string());
    }
    // The first start makes the program folder; the window is set up for the runs
    // and closed, which writes the settings.
    ASSERT_EQ(Play("answer OK\n"
                   "pick frmMain.cboMapLayers \"grid\"\n"
                   "click frmMain.btnLayerApply\n"
                   "select frmMain.lstDataFrames \"Layers\" on\n"
                   "settext frmMain.txtDir \"C:\\out\"\n"
                   "settext frmMain.txtDelay \"0\"\n"
                   "settext frmMain.txtRes \"20\"\n"
                   "click frmMain.optPDF\n"
                   "click frmMain.optExportAll\n"
                   "close frmMain\n"),
              0)
        << ReadFile(dir_ / "err.txt");
    fs::copy_file(ZELVANE_PDFTK, program() / "Bin" / "pdftk.exe", fs::copy_options::overwrite_existing);
    fs::create_directories(dir_ / "c" / "out");
  }

  fs::path document() const { return dir_ / "data" / "town.json"; }
  fs::path program() const { return dir_ / "c" / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks"; }
  fs::path out() const { return dir_ / "c" / "out"; }

  // Starts zelvane-host with these arguments; kills it after killAfter when given.
  // The exit status, or -1 when it was killed or died of a signal.
  int Run(const std::vector<std::string>& args, std::optional<std::chrono::microseconds> killAfter = {}) {
    std::vector<std::string> argv{ZELVANE_HOST_EXE};
    argv.insert(argv.end(), args.begin(), args.end());
    return Spawn(argv, env_, dir_ / "out.txt", dir_ / "err.txt", killAfter);
  }

  // Plays a script against the town with the command clicked first.
  int Play(const std::string& script, std::optional<std::chrono::microseconds> killAfter = {}) {
    WriteFile(dir_ / "script.txt", script);
    return Run({"run", "--document", document().string(), "--click", "ZelvaneGIS_ZelvaneMapbooks", "--script",
                (dir_ / "script.txt").string()},
               killAfter);
  }

  // A start of the host, which cleans the command's folders up first; "" when it ran.
  std::string StartOnce() {
    return Play("close frmMain\n") == 0 ? "" : "the next start failed: " + ReadFile(dir_ / "err.txt");
  }

  // The values of a config file or mapbook, in order.
  static std::vector<std::string> Values(const fs::path& file) {
    std::vector<std::string> values;
    host::vb::Close(1);
    try {
      host::vb::Open(file.string(), host::vb::OpenMode::Input, 1);
      while (!host::vb::Eof(1)) values.push_back(host::vb::Input(1));
    } catch (const host::vb::Error&) {
    }
    host::vb::Close(1);
    return values;
  }

  // "" when the settings file holds 44 values with the resolution one of those written.
  static std::string CheckSettings(const fs::path& file) {
    if (!fs::exists(file)) return file.filename().string() + " is missing";
    std::vector<std::string> v = Values(file);
    if (v.size() != 44) return file.filename().string() + " holds " + std::to_string(v.size()) + " values, not 44";
    if (v[15] != "111" && v[15] != "222" && v[15] != "20")
      return file.filename().string() + " has the resolution \"" + v[15] + "\"";
    return "";
  }

  // Plays the script once whole, then kills it kills times at random moments within
  // the time the whole run took, checking after each; then plays it whole again and
  // checks that the watched folder holds what it held after the first run.
  void KillLoop(const std::string& operation, const std::string& script, const fs::path& watched,
                const std::function<std::string()>& check) {
    ASSERT_FALSE(HasFatalFailure());
    const int seed = EnvNumber("ZELVANE_KILL_SEED", 20261207);
    const int kills = EnvNumber("ZELVANE_KILL_COUNT", 20);
    std::mt19937 rng(uint32_t(seed) ^ uint32_t(std::hash<std::string>{}(operation)));

    auto start = Clock::now();
    ASSERT_EQ(Play(script), 0) << ReadFile(dir_ / "err.txt");
    auto whole = std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - start);
    Settle();
    ASSERT_EQ(check(), "") << operation << " after a whole run";
    const std::set<std::string> expected = Listing(watched);

    std::uniform_int_distribution<int64_t> moment(0, whole.count());
    int broken = 0;
    std::ostringstream report;
    for (int i = 0; i < kills; ++i) {
      auto after = std::chrono::microseconds(moment(rng));
      Play(script, after);
      Settle();
      std::string fault = check();
      if (!fault.empty()) {
        ++broken;
        report << "  kill " << i << " at " << after.count() / 1000.0 << " ms: " << fault << "\n";
        // A whole run puts the files right, so that each kill is judged on its own.
        Play(script);
        Settle();
      }
    }
    ASSERT_EQ(Play(script), 0) << ReadFile(dir_ / "err.txt");
    Settle();
    std::string after_whole = check();
    std::set<std::string> left = Listing(watched), extra;
    for (const std::string& n : left)
      if (!expected.count(n)) extra.insert(n);

    std::cout << "[ kill     ] " << operation << ": " << broken << " of " << kills << " kills broke a file (seed " << seed
              << ", whole run " << whole.count() / 1000 << " ms)\n";
    EXPECT_EQ(broken, 0) << operation << ", seed " << seed << ":\n" << report.str();
    EXPECT_EQ(after_whole, "") << operation << " after the last whole run";
    EXPECT_TRUE(extra.empty()) << "left in " << watched << " after a whole run: " << Joined(extra);
  }

  // Whether a pdftk started from this test's program folder still runs.
  bool JoinRunning() const {
    const std::string bin = (program() / "Bin").string();
    std::error_code ec;
    for (const auto& e : fs::directory_iterator("/proc", ec)) {
      // A process may end between the listing and the reading.
      std::string cmdline;
      try {
        std::ifstream in(e.path() / "cmdline", std::ios::binary);
        cmdline.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
      } catch (const std::exception&) {
        continue;
      }
      if (cmdline.find(bin) != std::string::npos && cmdline.find("pdftk") != std::string::npos) return true;
    }
    return false;
  }

  // A page export hands the joining to a program that goes on after the host; its
  // file is checked when it has finished.
  void Settle() {
    for (int i = 0; i < 200; ++i) {
      bool busy = false;
      for (const std::string& n : Listing(out()))
        if (n.find("Combined") != std::string::npos && n != "Combined.pdf") busy = true;
      if (!busy && !JoinRunning()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
  }

  testing_support::TempDir dir_{"zelvane-kill"};
  std::vector<std::string> env_;
};

// The script repeats the operation, alternating between two versions of its file, so
// that most moments of the run fall inside a rewrite.
inline std::string Repeat(int times, const std::function<std::string(int)>& round) {
  std::string s;
  for (int i = 0; i < times; ++i) s += round(i);
  return s;
}

}  // namespace kill_testing
