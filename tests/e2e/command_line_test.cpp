// SPDX-License-Identifier: GPL-3.0-or-later
// The map-book command driven through the host's command line, the way a user and the
// checks outside the code drive it: a registered plug-in, a document, a script.

#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "e2e_fixture.h"
#include "host/vb/seqfile.h"

namespace {

using namespace e2e;

// Each test runs the host with drive C in a folder of its own.
class CommandLine : public HostSession {};

// "MAP extent = a b c d" printed by the script: the extent's centre.
std::pair<double, double> centre_of(const std::string& out, const std::string& line_start, int occurrence) {
  std::istringstream in(out);
  std::string line;
  int seen = 0;
  while (std::getline(in, line)) {
    if (line.rfind(line_start, 0) != 0 || seen++ != occurrence) continue;
    std::istringstream numbers(line.substr(line_start.size()));
    double x0, y0, x1, y1;
    numbers >> x0 >> y0 >> x1 >> y1;
    return {(x0 + x1) / 2, (y0 + y1) / 2};
  }
  ADD_FAILURE() << "no line " << line_start << " #" << occurrence << " in:\n" << out;
  return {0, 0};
}

}  // namespace

TEST_F(CommandLine, AFirstClickOnAnEmptyDriveMakesTheProgramFolder) {
  Result r = host("run --click ZelvaneGIS_ZelvaneMapbooks --transcript " + (dir / "t.txt").string());
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* sub : {"Bin", "Grids", "Export", "Mapbooks"}) EXPECT_TRUE(fs::is_directory(program() / sub)) << sub;
  std::vector<std::string> values = config_values();
  ASSERT_EQ(values.size(), 44u);
  EXPECT_EQ(values[1], "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\Grids");
  EXPECT_EQ(values[43], "NULL");
  EXPECT_EQ(ReadFile(dir / "t.txt"), "MSGBOX OK -> OK: To get started, view the QuickStartGuide by clicking the ? button\n");
}

TEST_F(CommandLine, AScriptedSessionTurnsPagesAndKeepsItsSettings) {
  // A town with a 3 x 2 grid in one map, saved as a document.
  auto grid = WriteTownDocument(dir / "data" / "town.json", 3, 2, {"streets", "grid"});
  WriteFile(dir / "script.txt",
            "answer OK\n"
            "pick frmMain.cboMapLayers \"grid\"\n"
            "click frmMain.btnLayerApply\n"
            "select frmMain.lstDataFrames \"Layers\" on\n"
            "pick frmMain.cboNavIndex \"B2\"\n"
            "print-extent Layers\n"
            "pick frmMain.cboNavRow \"A\"\n"
            "pick frmMain.cboNavColumn \"3\"\n"
            "click frmMain.btnGo2\n"
            "print-extent Layers\n"
            "print frmMain.cboNavIndex\n"
            "close frmMain\n");
  Result r = host("run --strict --document " + (dir / "data" / "town.json").string() +
                  " --click ZelvaneGIS_ZelvaneMapbooks --script " + (dir / "script.txt").string());
  ASSERT_EQ(r.status, 0) << r.err;
  // The tiles run row by row from the upper left: B2 is the middle of the lower row.
  double w = grid.tileSize, left = grid.extent.XMin(), top = grid.extent.YMax();
  auto b2 = centre_of(r.out, "Layers extent = ", 0);
  EXPECT_NEAR(b2.first, left + 1.5 * w, 1e-6);
  EXPECT_NEAR(b2.second, top - 1.5 * w, 1e-6);
  auto a3 = centre_of(r.out, "Layers extent = ", 1);
  EXPECT_NEAR(a3.first, left + 2.5 * w, 1e-6);
  EXPECT_NEAR(a3.second, top - 0.5 * w, 1e-6);
  EXPECT_NE(r.out.find("frmMain.cboNavIndex = \n"), std::string::npos);
  std::vector<std::string> values = config_values();
  ASSERT_EQ(values.size(), 44u);
  EXPECT_EQ(std::vector<std::string>(values.begin() + 3, values.begin() + 9),
            (std::vector<std::string>{"grid", "MB_Label", "MB_Row", "MB_Column", "NULL", "NULL"}));
  EXPECT_EQ(values[9], "FALSE");  // the controls were written as items 10 to 42
  EXPECT_EQ(std::vector<std::string>(values.end() - 2, values.end()), (std::vector<std::string>{"Layers", "NULL"}));
}
