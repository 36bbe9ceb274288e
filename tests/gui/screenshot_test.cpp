// zelvane-gui run as a program, the way a check outside the code runs it: the map-book
// plug-in registered, a town's document opened, the command clicked, a screenshot.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>

#include <cstdlib>
#include <filesystem>

#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

namespace fs = std::filesystem;
namespace carto = host::carto;
using testing_support::ReadFile;
using testing_support::TempDir;

using Result = testing_support::CommandResult;

class GuiProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(dir / "c");
    environment = "QT_QPA_PLATFORM=offscreen ZELVANE_REGISTRY='" + (dir / "registry.json").string() +
                  "' ZELVANE_DRIVES='C=" + (dir / "c").string() + ";D=" + (dir / "data").string() + "' ";
    ASSERT_EQ(run(ZELVANE_HOST_EXE, "register " ZELVANE_MAPBOOKS_PLUGIN).status, 0);
  }
  void TearDown() override { host::geodata::ShapefileWorkspace::ClearCache(); }

  Result run(const std::string& program, const std::string& args) {
    return testing_support::RunCommand(environment + program + " " + args);
  }

  // A town with a 3 x 2 grid: blocks, streets and the grid's labelled tiles.
  std::string town_document() {
    std::string town = (dir / "data" / "town").string();
    towngen::TownOptions o;
    o.blocksX = 6;
    o.blocksY = 4;
    auto summary = towngen::WriteTown(town, o);
    towngen::WriteTileGrid(town, "grid", summary.extent, 3, 2, towngen::TownSpatialReference());
    carto::Document doc;
    auto ws = host::geodata::ShapefileWorkspace::Open(town);
    auto blocks = std::make_shared<carto::FeatureLayer>(ws->OpenFeatureClass("blocks"));
    blocks->SetRenderer(carto::SimpleRenderer(carto::SimpleFillSymbol(carto::RgbColor(236, 228, 204))));
    auto streets = std::make_shared<carto::FeatureLayer>(ws->OpenFeatureClass("streets"));
    auto grid = std::make_shared<carto::FeatureLayer>(ws->OpenFeatureClass("grid"));
    carto::SimpleFillSymbol hollow(carto::RgbColor(255, 255, 255, 0));
    hollow.SetOutline(carto::SimpleLineSymbol(carto::RgbColor(200, 0, 0), 2));
    grid->SetRenderer(carto::SimpleRenderer(hollow));
    grid->Labels().SetExpression("[MB_Label]");
    grid->Labels().Symbol().SetSize(18);
    grid->SetDisplayAnnotation(true);
    for (auto& layer : {blocks, streets, grid}) doc.FocusMap()->AddLayer(layer);
    doc.FocusMap()->SetExtent(summary.extent);
    std::string path = (dir / "data" / "town.json").string();
    doc.Save(path);
    return path;
  }

  TempDir dir;
  std::string environment;
};

}  // namespace

TEST_F(GuiProgram, AScreenshotShowsTheHostAndTheCommandsWindow) {
  std::string document = town_document();
  std::string shot = (dir / "shot.png").string();
  Result r = run(ZELVANE_GUI_EXE, document + " --click ZelvaneGIS_ZelvaneMapbooks --screenshot " + shot);
  ASSERT_EQ(r.status, 0) << r.err;
  // Unattended, the first start's greeting took its OK by itself.
  EXPECT_NE(r.err.find("[message box, OK] To get started"), std::string::npos) << r.err;

  QImage image(QString::fromStdString(shot));
  ASSERT_FALSE(image.isNull());
  // The host's window (1100 wide) and the command's main window (489 wide) side by
  // side, each under a title bar, 20 pixels in and 24 apart.
  EXPECT_GE(image.width(), 20 + 1102 + 24 + 491 + 20);
  const QColor title_bar(0x2f, 0x4a, 0x6d);
  EXPECT_EQ(image.pixelColor(30, 25), title_bar);
  EXPECT_EQ(image.pixelColor(20 + 1102 + 24 + 10, 25), title_bar);
  // The map in the host's window: the blocks' colour somewhere on the canvas.
  bool blocks_seen = false;
  for (int y = 150; y < 600 && !blocks_seen; y += 3)
    for (int x = 40; x < 1100 && !blocks_seen; x += 3) blocks_seen = image.pixelColor(x, y) == QColor(236, 228, 204);
  EXPECT_TRUE(blocks_seen);
}

TEST_F(GuiProgram, AnUnknownCommandEndsWithAReason) {
  Result r = run(ZELVANE_GUI_EXE, "--click NoSuch_Command --screenshot " + (dir / "shot.png").string());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("zelvane-gui: unknown command NoSuch_Command"), std::string::npos) << r.err;
  EXPECT_FALSE(fs::exists(dir / "shot.png"));
}
