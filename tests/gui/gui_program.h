// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// zelvane-gui and zelvane-host run as programs in a folder of their own, the map-book
// plug-in registered, and a town's document to open.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace gui_program {

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

}  // namespace gui_program
