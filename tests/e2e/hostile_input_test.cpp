// SPDX-License-Identifier: GPL-3.0-or-later
// The host as a careless user and a hostile file meet it, through its command line: runs
// that end with windows open, documents and scripts that try the readers, a grid whose
// data cannot be read.

#include <gtest/gtest.h>

#include <cstdlib>

#include "e2e_fixture.h"
#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/vb/seqfile.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;
namespace fs = std::filesystem;
using Result = testing_support::CommandResult;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

class HostileInput : public e2e::HostSession {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "data" / "pages");
    HostSession::SetUp();
    environment = "ZELVANE_HEADLESS=1 " + environment;
  }
  void TearDown() override { host::geodata::ShapefileWorkspace::ClearCache(); }

  Result host(const std::string& args, const std::string& before = "") {
    return testing_support::RunCommand(environment + before + ZELVANE_HOST_EXE + " " + args);
  }
  std::string file(const std::string& name, const std::string& text) {
    WriteFile(dir / name, text);
    return (dir / name).string();
  }

  // A town with a 3 x 2 grid in one map "Layers", saved as D:\town.json.
  std::string town() {
    towngen::TownOptions o;
    o.blocksX = 6;
    o.blocksY = 4;
    const std::string folder = (dir / "data" / "town").string();
    auto summary = towngen::WriteTown(folder, o);
    towngen::WriteTileGrid(folder, "grid", summary.extent, 3, 2, towngen::TownSpatialReference());
    host::carto::Document doc;
    auto ws = host::geodata::ShapefileWorkspace::Open(folder);
    doc.FocusMap()->AddLayer(std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass("streets")));
    doc.FocusMap()->AddLayer(std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass("grid")));
    doc.Save((dir / "data" / "town.json").string());
    return (dir / "data" / "town.json").string();
  }

  // The map book of the town set up as a user does: the grid, its frame, 20-dpi PNG
  // pages into D:\pages.
  static constexpr const char* kSetUp =
      "answer OK\n"
      "pick frmMain.cboMapLayers \"grid\"\n"
      "click frmMain.btnLayerApply\n"
      "select frmMain.lstDataFrames \"Layers\" on\n"
      "click frmMain.optPNG\n"
      "settext frmMain.txtRes \"20\"\n"
      "settext frmMain.txtDir \"D:\\\\pages\"\n";

};

bool HasValgrind() { return std::system("valgrind --version >/dev/null 2>&1") == 0; }

// A sanitizer build checks its own programs; valgrind cannot run them.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitized = true;
#else
constexpr bool kSanitized = false;
#endif
#else
constexpr bool kSanitized = false;
#endif

}  // namespace

TEST_F(HostileInput, TheHostEndsWithoutAMemoryFaultWithTheMainWindowLoaded) {
  if (!kSanitized && !HasValgrind()) GTEST_SKIP() << "valgrind is not installed";
  const std::string valgrind = kSanitized ? "" : "valgrind --error-exitcode=99 -q ";
  // On an empty drive: the first click greets, makes the folders and shows the window.
  fs::create_directories(dir / "empty");
  Result first = host("run --click ZelvaneGIS_ZelvaneMapbooks", "ZELVANE_DRIVES='C=" + (dir / "empty").string() + "' " + valgrind);
  EXPECT_EQ(first.status, 0) << first.err;
  // On a town, with the grid as the active layer and the window left open.
  Result town_run = host("run --document " + town() + " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                             file("setup.txt", kSetUp),
                         valgrind);
  EXPECT_EQ(town_run.status, 0) << town_run.err << town_run.out;
}

TEST_F(HostileInput, ARunThatEndsWithTheWindowOpenKeepsItsSettings) {
  Result r = host("run --strict --document " + town() + " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                  file("setup.txt", kSetUp));
  ASSERT_EQ(r.status, 0) << r.err;
  // The window was unloaded as the host ended, and wrote the settings as it went.
  std::vector<std::string> values = config_values();
  ASSERT_EQ(values.size(), 44u);
  EXPECT_EQ(values[3], "grid");
  EXPECT_EQ(values[14], "PNG");
  EXPECT_EQ(values[15], "20");
  EXPECT_EQ(values[20], "D:\\pages");
  EXPECT_EQ(values[42], "Layers");
}

TEST_F(HostileInput, AGridWithoutItsTableStopsTheRunWithOneMessage) {
  const std::string document = town();
  ASSERT_EQ(host("run --strict --document " + document + " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                 file("setup.txt", std::string(kSetUp) + "close frmMain\n"))
                .status,
            0);
  // The next start exports every page and ends the host, as the batch command asks.
  std::string config = ReadFile(program() / "config");
  WriteFile(program() / "config", "\"EXPORTALLCLOSE\"" + config.substr(config.find("\r\n")));
  const std::string run = "run --document " + document + " --click ZelvaneGIS_ZelvaneMapbooks";
  Result healthy = host(run);
  ASSERT_EQ(healthy.status, 0) << healthy.err;
  EXPECT_FALSE(fs::is_empty(dir / "data" / "pages")) << healthy.err;
  fs::remove_all(dir / "data" / "pages");
  fs::create_directories(dir / "data" / "pages");

  fs::remove(dir / "data" / "town" / "grid.dbf");
  Result r = host(run);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "zelvane-host: Cannot open map document \"" + document +
                       "\": maps[0].layers[0]: data source \"town/grid.shp\": Shapefile \"grid\" has no attribute "
                       "table: \"grid.dbf\" not found in \"" + (dir / "data" / "town").string() + "\"\n");
  EXPECT_TRUE(fs::is_empty(dir / "data" / "pages"));
}

TEST_F(HostileInput, DocumentsThatTryTheReaderAreRefusedWithOneMessage) {
  auto refusal = [&](const std::string& text) {
    Result r = host("run --document " + file("bad.json", text));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    return r.err;
  };
  const std::string prefix = "zelvane-host: Cannot open map document \"" + (dir / "bad.json").string() + "\": ";
  EXPECT_EQ(refusal(R"({"maps": [{"name": "A", "extent": [0, 0, 1e400, 1]}]})"),
            prefix + "broken JSON: parse error at line 1, column 46: number overflow parsing '1e400'\n");
  town();
  const std::string grid = R"({"type": "feature", "source: ": "", "source": "data/town/grid.shp")";
  EXPECT_EQ(refusal(R"({"maps": [{"name": "A", "layers": [)" + Repeat(R"({"type": "group", "layers": [)", 10000) +
                    grid + "}" + Repeat("]}", 10000) + "]}]}"),
            prefix + "maps[0].layers[0]: group layers nest more than 256 deep\n");
  EXPECT_EQ(refusal(R"({"maps": [{"name": "A", "layers": [)" + grid + R"(, "definitionQuery": ")" +
                    Repeat("(", 20000) + "MB_Row = 'A'" + Repeat(")", 20000) + "\"}]}]}"),
            prefix + "maps[0].layers[0].definitionQuery: Where clause nested more than 256 deep (parentheses and "
                     "NOT): \"" + Repeat("(", 60) + "...\"\n");
}

TEST_F(HostileInput, ScriptsThatTryTheReadersFailWithTheirLine) {
  const std::string document = town();
  Result deep = host("run --document " + document + " --script " +
                     file("deep.txt", "print-extent Layers\nselect-features grid \"" + Repeat("NOT ", 50000) +
                                          "MB_Row = 'A'\"\n"));
  EXPECT_EQ(deep.status, 1);
  EXPECT_EQ(deep.err, "zelvane-host: line 2: Where clause nested more than 256 deep (parentheses and NOT): \"" +
                          Repeat("NOT ", 15) + "...\"\n");
  EXPECT_EQ(deep.out.rfind("Layers extent = ", 0), 0u);  // the line before it was played

  Result key = host("run --document " + document + " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                    file("key.txt", std::string(kSetUp) + "key frmMain.txtRes 1e20\n"));
  EXPECT_EQ(key.status, 1);
  EXPECT_EQ(key.err, "zelvane-host: line 8: not a key code: 1e20 (a key name or a whole number from 0 to 255)\n");
  Result pick = host("run --document " + document + " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                     file("pick.txt", std::string(kSetUp) + "pick frmMain.cboNavIndex #1e20\n"));
  EXPECT_EQ(pick.status, 1);
  EXPECT_NE(pick.err.find("zelvane-host: line 8: not an index: #1e20\n"), std::string::npos) << pick.err;
}
