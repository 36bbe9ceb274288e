// SPDX-License-Identifier: GPL-3.0-or-later
// Map documents through the host's command line: opened with --document, shown and
// changed by the document verbs, saved by save-document and --save-document.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;

// The repository, found from this file.
const fs::path kSource = fs::path(__FILE__).parent_path().parent_path().parent_path();

using Result = testing_support::CommandResult;

class DocumentCommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZELVANE_REGISTRY", (dir / "registry.json").c_str(), 1);
    ASSERT_EQ(host("register " ZELVANE_TEST_PLUGIN).status, 0);
    // The demo document over the demo town, as docs/map-document.md tells.
    towngen::TownSummary town = towngen::WriteTown((dir / "data").string());
    towngen::WriteTileGrid((dir / "data").string(), "grid", town.extent, 4, 3, towngen::TownSpatialReference());
    fs::copy_file(kSource / "examples" / "demo" / "town.json", dir / "town.json");
  }
  void TearDown() override { unsetenv("ZELVANE_REGISTRY"); }

  Result host(const std::string& args) { return testing_support::RunCommand(std::string(ZELVANE_HOST_EXE) + " " + args); }
  std::string script(const std::string& text) {
    WriteFile(dir / "script.txt", text);
    return (dir / "script.txt").string();
  }
  std::string doc() const { return (dir / "town.json").string(); }

  TempDir dir;
};

}  // namespace

TEST_F(DocumentCommandLine, TheDemoDocumentOpensAndTheVerbsShowAndChangeIt) {
  std::string s = script(
      "print-extent Mapbook_Main\n"
      "print-scale Mapbook_Main\n"
      "print-scale #1\n"
      "select-features grid \"MB_Row = 'A'\"\n"
      "focus-map Mapbook_Index\n"
      "view data\n"
      "print-extent #1\n"
      "save-document " + (dir / "saved.json").string() + "\n");
  Result r = host("run --document " + doc() + " --script " + s);
  ASSERT_EQ(r.status, 0) << r.err;
  // The main frame is 7.5 x 8.5 in: the tile, 1516.75 ft square, fills its width, and
  // the town's US survey feet count as such. In data view the index map keeps its scale
  // in the 1024 x 768 data window.
  EXPECT_EQ(r.out,
            "Mapbook_Main extent = 6010000 2112432.75833333 6011516.75 2114151.74166667\n"
            "Mapbook_Main scale = 2426.80485360971\n"
            "#1 scale = 45502.591005182\n"
            "#1 extent = 5992810.16666667 2096608 6033256.83333333 2126943\n");

  auto saved = nlohmann::json::parse(ReadFile(dir / "saved.json"));
  EXPECT_EQ(saved["maps"][0]["layers"][0]["selection"], nlohmann::json::array({0, 1, 2, 3}));
  EXPECT_EQ(saved["activeView"], "data");
  EXPECT_EQ(saved["focusMap"], "Mapbook_Index");
  EXPECT_EQ(saved["maps"][0]["layers"][0]["source"], "data/grid.shp");
  EXPECT_FALSE(saved["maps"][0].contains("coordinateSystem"));  // the layers say it

  // The saved document opens again, selection and all.
  Result again = host("run --document " + (dir / "saved.json").string() + " --script " +
                      script("print-scale #1\nclear-selection\nsave-document\n"));
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(again.out, "#1 scale = 45502.591005182\n");
  EXPECT_FALSE(nlohmann::json::parse(ReadFile(dir / "saved.json"))["maps"][0]["layers"][0].contains("selection"));
}

TEST_F(DocumentCommandLine, TheDocumentInTheDocsIsTheDemoDocument) {
  std::string text = ReadFile(kSource / "docs" / "map-document.md");
  size_t start = text.find("```json\n");
  ASSERT_NE(start, std::string::npos);
  start += 8;
  size_t end = text.find("```", start);
  EXPECT_EQ(text.substr(start, end - start), ReadFile(kSource / "examples" / "demo" / "town.json"));
}

TEST_F(DocumentCommandLine, SaveDocumentSavesAlsoAfterTheSaveQuestionWasAnsweredNo) {
  Result r = host("run --document " + doc() + " --click TestGIS_TestCommand --script " +
                  script("select-features Grid \"FID = 5\"\nclick frmTest.btnQuit\n") + " --transcript " +
                  (dir / "t.txt").string() + " --save-document " + (dir / "end.json").string());
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadFile(dir / "t.txt"), "MSGBOX YesNoCancel -> No: Save changes to town.json?\n");
  EXPECT_EQ(ReadFile(dir / "town.json"), ReadFile(kSource / "examples" / "demo" / "town.json"));
  auto end = nlohmann::json::parse(ReadFile(dir / "end.json"));
  EXPECT_EQ(end["maps"][0]["layers"][0]["selection"], nlohmann::json::array({5}));
}

TEST_F(DocumentCommandLine, ABadDocumentOrAnUnknownMapStopsTheHostWithOneLine) {
  Result missing = host("run --document " + (dir / "none.json").string());
  EXPECT_NE(missing.status, 0);
  EXPECT_EQ(missing.err, "zelvane-host: Cannot open map document \"" + (dir / "none.json").string() +
                             "\": the file does not exist\n");

  fs::remove(dir / "data" / "streets.shp");
  Result broken = host("run --document " + doc());
  EXPECT_NE(broken.status, 0);
  EXPECT_EQ(broken.err, "zelvane-host: Cannot open map document \"" + doc() +
                            "\": maps[0].layers[1].layers[1]: data source \"data/streets.shp\" not found\n");

  Result unknown = host("run --script " + script("print-scale Mapbook_Main\n"));
  EXPECT_NE(unknown.status, 0);
  EXPECT_EQ(unknown.err, "zelvane-host: line 1: no map named Mapbook_Main\n");
  Result fresh = host("run --script " + script("print-scale Layers\nprint-extent #0\n"));
  EXPECT_EQ(fresh.out, "Layers scale = 0\n#0 extent = empty\n");
}
