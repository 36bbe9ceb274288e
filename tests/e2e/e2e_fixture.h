// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's command line run as a separate program, with drive C and the command
// registry in a folder of the test's own, and the map-book command registered the way
// an installer registers it.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <filesystem>
#include <memory>
#include <string>

#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/vb/seqfile.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace e2e {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::ShellQuote;
using testing_support::TempDir;
using testing_support::WriteFile;
using Result = testing_support::CommandResult;

class HostSession : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "c");
    environment = "ZELVANE_REGISTRY=" + ShellQuote((dir / "registry.json").string()) +
                  " ZELVANE_DRIVES=" + ShellQuote("C=" + (dir / "c").string() + ";D=" + (dir / "data").string()) + " ";
    ASSERT_EQ(host("register " ZELVANE_MAPBOOKS_PLUGIN).status, 0);
  }

  // The command line that runs the host with args in the test's environment.
  std::string command(const std::string& args) const { return environment + ZELVANE_HOST_EXE + " " + args; }
  Result host(const std::string& args) { return testing_support::RunCommand(command(args)); }
  // Starts the host with args and kills it (SIGKILL) after the given time.
  void HostKilledAfter(const std::string& args, std::chrono::microseconds after) {
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::execl("/bin/sh", "sh", "-c", ("exec env " + command(args) + " >/dev/null 2>&1").c_str(), nullptr);
      ::_exit(127);
    }
    std::this_thread::sleep_for(after);
    ::kill(pid, SIGKILL);
    int status = 0;
    ::waitpid(pid, &status, 0);
  }
  fs::path program() const { return dir / "c" / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks"; }
  // The values of the command's config file, in order.
  std::vector<std::string> config_values() {
    std::vector<std::string> values;
    host::vb::Close(1);
    host::vb::Open((program() / "config").string(), host::vb::OpenMode::Input, 1);
    while (!host::vb::Eof(1)) values.push_back(host::vb::Input(1));
    host::vb::Close(1);
    return values;
  }

  // A town with a grid of columns x rows tiles, saved as a document holding layers
  // (by shapefile name) in one map; returns the grid.
  towngen::GridSummary WriteTownDocument(const fs::path& document, int columns, int rows,
                                         const std::vector<std::string>& layers) {
    towngen::TownOptions o;
    o.blocksX = 6;
    o.blocksY = 4;
    std::string town = (dir / "data" / "town").string();
    auto summary = towngen::WriteTown(town, o);
    auto grid = towngen::WriteTileGrid(town, "grid", summary.extent, columns, rows, towngen::TownSpatialReference());
    host::carto::Document doc;
    auto ws = host::geodata::ShapefileWorkspace::Open(town);
    for (const std::string& layer : layers)
      doc.FocusMap()->AddLayer(std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass(layer)));
    doc.Save(document.string());
    host::geodata::ShapefileWorkspace::ClearCache();
    return grid;
  }

  TempDir dir;
  std::string environment;
};

}  // namespace e2e
