// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A fresh program load for each test: the shared state reset, drive C with an empty
// Program Files folder, a running host application, and no box left unanswered.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "mapbooks/command/ZelvaneMapbooks.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "towngen/towngen.h"
#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "host/ui/user.h"
#include "host/vb/seqfile.h"
#include "host/win/drives.h"
#include "mapbooks/common/SharedState.h"
#include "support/run_command.h"
#include "support/temp_dir.h"

class MapbooksTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host::win::DriveMap::instance().reset_from_environment();
    std::filesystem::remove_all(DriveC() / "Program Files");
    mapbooks::ResetState();
    host::ui::ScriptedUser::Instance().Clear();
    host::ui::ScriptedUser::Instance().SetPolicy(host::ui::UnansweredPolicy::Fail);
    host::ui::ClearBoxLog();
    app = std::make_unique<host::app::Application>();  // makes C:\Program Files
  }
  void TearDown() override {
    mapbooks::ResetState();
    while (!host::ui::LoadedForms().empty()) host::ui::LoadedForms().back()->Unload();
    host::vb::CloseAll();
    app.reset();
    host::geodata::ShapefileWorkspace::ClearCache();
    std::filesystem::remove_all(DriveC() / "town");
    EXPECT_EQ(host::ui::ScriptedUser::Instance().Pending(), 0u) << "actions left in the queue";
    host::ui::ScriptedUser::Instance().Clear();
    host::win::DriveMap::instance().reset_from_environment();
  }
  static std::filesystem::path DriveC() { return testing_support::DrivesRoot() / "c"; }
  static std::filesystem::path ProgramFolder() {
    return DriveC() / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks";
  }
  static void Answer(host::ui::MsgBoxResult a) { host::ui::ScriptedUser::Instance().PushAnswer(a); }
  static const std::vector<host::ui::BoxRecord>& Boxes() { return host::ui::BoxLog(); }

  std::unique_ptr<host::app::Application> app;
};

// The program loaded as the host loads it: the command created and clicked once, so the
// main window stands loaded on the host's document.
class ProgramTest : public MapbooksTest {
 protected:
  // Creates the command and clicks it; the first click greets the user once.
  void StartProgram() {
    command.OnCreate(*app);
    Answer(host::ui::vbOK);
    command.OnClick();
  }
  mapbooks::frmMain& main() { return mapbooks::MainForm(); }
  host::carto::Document& doc() { return app->GetDocument(); }

  // The demo town and a grid of columns x rows tiles over it, in C:\town.
  void WriteTown(int columns = 3, int rows = 2) {
    towngen::TownOptions o;
    o.blocksX = 6;
    o.blocksY = 4;
    town = towngen::WriteTown("C:\\town", o);
    grid = towngen::WriteTileGrid("C:\\town", "grid", town.extent, columns, rows, towngen::TownSpatialReference());
  }
  // The town written, and its streets under its grid in the focus map, which it returns.
  std::shared_ptr<host::carto::Map> TownWithStreetsAndGrid() {
    WriteTown();
    std::shared_ptr<host::carto::Map> map = doc().FocusMap();
    map->AddLayer(Layer("streets"));
    map->AddLayer(Layer("grid"));
    return map;
  }
  static std::shared_ptr<host::carto::FeatureLayer> Layer(const std::string& name) {
    auto ws = host::geodata::ShapefileWorkspace::Open("C:\\town");
    return std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass(name));
  }

  // The town's shapefile written again by ogr2ogr in another coordinate system (srs as
  // ogr2ogr takes it), in C:\town\layerName, as a layer of that name.
  static std::shared_ptr<host::carto::FeatureLayer> ReprojectedLayer(const std::string& name, const std::string& srs,
                                                                     const std::string& layerName) {
    const std::filesystem::path town = DriveC() / "town";
    std::filesystem::create_directories(town / layerName);
    auto run = testing_support::RunCommand(
        "ogr2ogr -t_srs " + srs + " " + testing_support::ShellQuote((town / layerName / (name + ".shp")).string()) +
        " " + testing_support::ShellQuote((town / (name + ".shp")).string()));
    EXPECT_EQ(run.status, 0) << run.err;
    auto ws = host::geodata::ShapefileWorkspace::Open((town / layerName).string());
    auto layer = std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass(name));
    layer->SetName(layerName);
    return layer;
  }

  mapbooks::ZelvaneMapbooks command;
  towngen::TownSummary town;
  towngen::GridSummary grid;
};

// The program started on an empty document; the grids and mapbooks a test wrote go
// with it.
class StartedProgramTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    host::ui::ClearBoxLog();
  }
  void TearDown() override {
    host::geodata::ShapefileWorkspace::ClearCache();
    std::filesystem::remove_all(ProgramFolder() / "Mapbooks");
    std::filesystem::remove_all(ProgramFolder() / "Grids");
    ProgramTest::TearDown();
  }
};
