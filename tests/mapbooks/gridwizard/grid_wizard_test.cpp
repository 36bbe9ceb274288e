// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "host/app/progressor.h"
#include "host/geodata/workspace.h"
#include "host/ui/form.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/gridwizard/frmAutomaticGrid.h"
#include "mapbooks/gridwizard/frmMakeGrid.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace geo = host::geodata;
namespace fs = std::filesystem;

namespace {

class GridWizard : public StartedProgramTest {
 protected:
  void step(std::function<void()> f) { host::ui::ScriptedUser::Instance().PushStep(std::move(f)); }
  void input(std::optional<std::string> text) { host::ui::ScriptedUser::Instance().PushInput(std::move(text)); }
  template <typename F>
  static F& form(const char* name) {
    return dynamic_cast<F&>(*host::ui::FindLoadedForm(name));
  }
  // The manual path from the Grids tab up to page 2, with these six values.
  void manual(const std::string& x, const std::string& y, const std::string& h, const std::string& w,
              const std::string& down, const std::string& across) {
    step([] { dynamic_cast<host::ui::CommandButton*>(host::ui::FindLoadedForm("frmSelectGridType")->FindControl("Command1"))->click(); });
    step([=] {
      auto& p = form<frmMakeGrid>("frmMakeGrid");
      p.txtX.paste(x);
      p.txtY.paste(y);
      p.txtGridHeight.paste(h);
      p.txtGridWidth.paste(w);
      p.txtVerticalNumber.paste(down);
      p.txtHorizontalNumber.paste(across);
      p.txtHorizontalNumber.key(host::ui::vbKeyReturn);  // Enter presses Next
    });
  }
  // The automatic grid chosen, 5 tiles down and 8 across.
  void automatic_5_by_8() {
    step([] { dynamic_cast<host::ui::CommandButton*>(host::ui::FindLoadedForm("frmSelectGridType")->FindControl("Command2"))->click(); });
    step([] {
      auto& p = form<frmAutomaticGrid>("frmAutomaticGrid");
      p.txtVerticalNumber.paste("5");
      p.txtHorizontalNumber.paste("8");
      p.btnNext.click();
    });
  }
  static std::shared_ptr<geo::FeatureClass> grid(const std::string& name) {
    geo::ShapefileWorkspace::ClearCache();
    return geo::ShapefileWorkspace::Open((ProgramFolder() / "Grids").string())->OpenFeatureClass(name);
  }
};

}  // namespace

TEST_F(GridWizard, AManualGridOfTenByFive) {
  manual("1000", "1000", "1000", "1000", "5", "10");
  step([] {
    auto& p = form<frmMakeGrid2>("frmMakeGrid2");
    EXPECT_EQ(p.txtTileHeight.Text(), "200");
    EXPECT_EQ(p.txtTileWidth.Text(), "100");
    EXPECT_EQ(p.txtTotalTiles.Text(), "50");
    p.btnNext.click();
  });
  input("sheets");
  Answer(host::ui::vbOK);
  main().btnCreateNewGrid.click();
  EXPECT_EQ(host::ui::LoadedForms().size(), 1u);  // only the main window is left
  ASSERT_EQ(Boxes().size(), 2u);  // the name asked for, then the closing message
  EXPECT_EQ(Boxes()[1].text, "New grid created successfully.\r\nClick <Add Grid To Active Data Frame> to include in project.");
  EXPECT_EQ(main().File1.FindItem("sheets.shp", false), 0);
  auto fc = grid("sheets");
  ASSERT_EQ(fc->FeatureCount(), 50);
  EXPECT_FALSE(fs::exists(ProgramFolder() / "Grids" / "sheets.prj"));
  auto first = fc->GetFeature(0), last = fc->GetFeature(49);
  EXPECT_EQ(first->Extent(), geo::Envelope(1000, 800, 1100, 1000));
  EXPECT_EQ(host::vb::CStr(first->Value("MB_Label")), "A1");
  EXPECT_EQ(host::vb::CDbl(first->Value("MB_Index")), 1);
  EXPECT_EQ(last->Extent(), geo::Envelope(1900, 0, 2000, 200));
  EXPECT_EQ(host::vb::CStr(last->Value("MB_Label")), "E10");
  EXPECT_EQ(host::vb::CStr(last->Value("MB_Row")), "E");
  EXPECT_EQ(host::vb::CStr(last->Value("MB_Column")), "10");
  EXPECT_EQ(host::vb::CDbl(last->Value("MB_Index")), 50);
  EXPECT_EQ(first->Shape().Parts()[0][1].X, 1100);  // clockwise from the upper left
}

// The status bar's progressor runs over the tiles while the grid is written: shown with
// its message, a step once the shapefile is made, then on over the tiles to the last,
// never more than a percent at a time, then hidden; the grid on disk is then complete.
TEST_F(GridWizard, TheProgressorRunsOverTheTilesAndIsHiddenAtTheEnd) {
  host::app::StepProgressor& p = app->GetStatusBar().GetProgressBar();
  auto build = [&](const std::string& name, int down, int across, int warnings) {
    std::vector<long> positions;
    bool shown_with_message = false;
    p.SetPosition(0);
    p.SetListener([&](const host::app::StepProgressor& q) {
      if (!q.Visible()) return;
      shown_with_message = shown_with_message || q.Message() == "Creating new grid...";
      if (positions.empty() || positions.back() != q.Position()) positions.push_back(q.Position());
    });
    manual("0", std::to_string(100 * down), std::to_string(100 * down), std::to_string(50 * across),
           std::to_string(down), std::to_string(across));
    step([] { form<frmMakeGrid2>("frmMakeGrid2").btnNext.click(); });
    input(name);
    for (int box = 0; box <= warnings; ++box) Answer(host::ui::vbOK);
    main().btnCreateNewGrid.click();
    p.SetListener(nullptr);
    EXPECT_TRUE(shown_with_message);
    EXPECT_EQ(p.MinRange(), 1);
    EXPECT_EQ(p.MaxRange(), down * across);
    EXPECT_FALSE(p.Visible());
    return positions;
  };

  std::vector<long> positions = build("small", 3, 4, 0);
  EXPECT_EQ(positions, (std::vector<long>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
  auto fc = grid("small");
  ASSERT_EQ(fc->FeatureCount(), 12);
  for (int64_t oid = 0; oid < 12; ++oid) {
    auto tile = fc->GetFeature(oid);
    const int64_t r = oid / 4, c = oid % 4;
    EXPECT_EQ(host::vb::CDbl(tile->Value("MB_Index")), oid + 1);
    EXPECT_EQ(host::vb::CStr(tile->Value("MB_Label")), std::string(1, char('A' + r)) + std::to_string(c + 1));
    EXPECT_EQ(tile->Extent(), geo::Envelope(c * 50.0, 200 - r * 100.0, c * 50.0 + 50, 300 - r * 100.0));
  }
  for (const char* ext : {".shp", ".shx", ".dbf", ".cpg"}) {
    EXPECT_TRUE(fs::exists(ProgramFolder() / "Grids" / (std::string("small") + ext))) << ext;
  }

  positions = build("large", 30, 40, 2);
  ASSERT_GE(positions.size(), 101u);
  EXPECT_EQ(positions.back(), 1200);
  for (size_t i = 1; i < positions.size(); ++i) {
    EXPECT_GT(positions[i], positions[i - 1]);
    EXPECT_LE(positions[i] - positions[i - 1], 12) << i;
  }
  EXPECT_EQ(grid("large")->FeatureCount(), 1200);
}

TEST_F(GridWizard, PageOneChecksAndPageTwoShowsFifteenDigits) {
  step([] { dynamic_cast<host::ui::CommandButton*>(host::ui::FindLoadedForm("frmSelectGridType")->FindControl("Command1"))->click(); });
  step([] { form<frmMakeGrid>("frmMakeGrid").btnNext.click(); });
  Answer(host::ui::vbOK);
  step([] {
    auto& p = form<frmMakeGrid>("frmMakeGrid");
    p.txtGridHeight.paste("1000");
    p.txtGridWidth.paste("1000");
    p.txtVerticalNumber.paste("200");
    p.txtHorizontalNumber.paste("200");
    p.btnNext.click();  // 40,000 tiles are beyond the counters
  });
  Answer(host::ui::vbOK);
  step([] {
    auto& p = form<frmMakeGrid>("frmMakeGrid");
    p.txtVerticalNumber.paste("3");
    p.txtHorizontalNumber.paste("2.5");
    p.btnNext.click();
  });
  step([] {
    auto& p = form<frmMakeGrid2>("frmMakeGrid2");
    EXPECT_EQ(p.txtTileHeight.Text(), "333.333333333333");
    EXPECT_EQ(p.txtNoHorizontal.Text(), "2");
    p.btnBack.click();
  });
  step([] {
    auto& p = form<frmMakeGrid>("frmMakeGrid");
    EXPECT_EQ(p.txtX.Text(), "1000");  // page 1 opens afresh
    EXPECT_EQ(p.txtGridHeight.Text(), "");
    p.btnCancel.click();
  });
  main().btnCreateNewGrid.click();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text, "Please make sure all fields are filled.");
  EXPECT_NE(Boxes()[1].text.find("ERROR NUMBER: 6\r\nMODULE: btnNext_Click frmMakeGrid "), std::string::npos);
  EXPECT_EQ(host::ui::LoadedForms().size(), 1u);
}

TEST_F(GridWizard, NamesWarningsAndOverwriting) {
  fs::path grids = ProgramFolder() / "Grids";
  for (const char* ext : {".dbf", ".shp", ".shx", ".lyr"}) testing_support::WriteFile(grids / (std::string("big") + ext), "old");
  manual("0", "0", "1000", "2000", "40", "50");  // 2000 tiles: three warnings
  step([] { form<frmMakeGrid2>("frmMakeGrid2").btnNext.click(); });
  input("  ");
  Answer(host::ui::vbOK);  // "Name cannot be blank!"
  step([] { form<frmMakeGrid2>("frmMakeGrid2").btnNext.click(); });
  input("big");
  Answer(host::ui::vbYes);
  Answer(host::ui::vbOK);
  Answer(host::ui::vbOK);
  Answer(host::ui::vbCancel);
  step([] { form<frmMakeGrid2>("frmMakeGrid2").btnCancel.click(); });
  main().btnCreateNewGrid.click();
  std::vector<std::string> texts;
  for (const auto& b : Boxes())
    if (b.kind == host::ui::BoxRecord::Kind::MessageBox) texts.push_back(b.text);
  ASSERT_EQ(texts.size(), 5u);
  EXPECT_EQ(texts[0], "Name cannot be blank!");
  EXPECT_EQ(texts[1], "Grid already exists:\r\n" + State().GridsFolder + "\\big.shp\r\nWould you like to overwrite?");
  EXPECT_EQ(texts[2], "Grid creation will take about one minute to process");
  EXPECT_EQ(texts[4],
            "Creating a grid with 2000 tiles will take some time to process.  You may want to do this over your lunch "
            "break :)");
  EXPECT_EQ(testing_support::ReadFile(grids / "big.shp"), "old");  // cancelled: nothing touched
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

TEST_F(GridWizard, RowsBeyondZAndALayerFileThatStays) {
  fs::path grids = ProgramFolder() / "Grids";
  testing_support::WriteFile(grids / "tall.dbf", "old");  // only a .dbf: no question
  testing_support::WriteFile(grids / "tall.lyr", "keep");
  manual("0", "0", "3000", "100", "30", "1");
  step([] { form<frmMakeGrid2>("frmMakeGrid2").btnNext.click(); });
  input("tall");
  Answer(host::ui::vbOK);
  main().btnCreateNewGrid.click();
  EXPECT_EQ(testing_support::ReadFile(grids / "tall.lyr"), "keep");
  auto fc = grid("tall");
  EXPECT_EQ(host::vb::CStr(fc->GetFeature(25)->Value("MB_Label")), "Z1");
  EXPECT_EQ(host::vb::CStr(fc->GetFeature(26)->Value("MB_Row")), "AA");
  EXPECT_EQ(host::vb::CStr(fc->GetFeature(26)->Value("MB_Label")), "AA1");
}

TEST_F(GridWizard, AnAutomaticGridCoversTheMapsExtent) {
  step([] { dynamic_cast<host::ui::CommandButton*>(host::ui::FindLoadedForm("frmSelectGridType")->FindControl("Command2"))->click(); });
  Answer(host::ui::vbOK);
  step([] { host::ui::FindLoadedForm("frmSelectGridType")->Unload(host::ui::vbFormControlMenu); });
  main().btnCreateNewGrid.click();
  EXPECT_EQ(Boxes().back().text, "Please add data to the active data frame before using the automatic grid method.");

  fs::create_directories(DriveC() / "town");
  auto ws = geo::ShapefileWorkspace::Open("C:\\town");
  auto area = ws->CreateFeatureClass("area", geo::FieldSet{geo::Field::Shape("Shape", geo::GeometryType::Polygon)});
  geo::Feature f = area->CreateFeature();
  f.SetShape(geo::Geometry::FromEnvelope(geo::Envelope(0, 0, 8000, 5000)));
  f.Store();
  area->Flush();
  doc().FocusMap()->AddLayer(Layer("area"));
  automatic_5_by_8();
  step([] {
    auto& p = form<frmAutomaticGrid2>("frmAutomaticGrid2");
    EXPECT_EQ(p.txtX.Text(), "0");
    EXPECT_EQ(p.txtY.Text(), "5000");
    EXPECT_EQ(p.txtTileHeight.Text(), "1000");
    EXPECT_EQ(p.txtTotalTiles.Text(), "40");
    p.btnNext.click();
  });
  input("auto");
  Answer(host::ui::vbOK);
  main().btnCreateNewGrid.click();
  auto fc = grid("auto");
  EXPECT_EQ(fc->FeatureCount(), 40);
  EXPECT_EQ(fc->GetFeature(0)->Extent(), geo::Envelope(0, 4000, 1000, 5000));
}

namespace {
// The message boxes (not the input box) of one run of the manual path with down x across
// tiles, named name, answered in turn with answers; a run that stops leaves page 2 open,
// which is then cancelled.
class GridWarnings : public GridWizard {
 protected:
  std::vector<std::string> run(const std::string& down, const std::string& across, const std::string& name,
                               std::vector<host::ui::MsgBoxResult> answers, bool written) {
    host::ui::ClearBoxLog();
    manual("0", "0", "1000", "1000", down, across);
    step([] { form<frmMakeGrid2>("frmMakeGrid2").btnNext.click(); });
    input(name);
    for (auto a : answers) Answer(a);
    if (!written) step([] { form<frmMakeGrid2>("frmMakeGrid2").btnCancel.click(); });
    main().btnCreateNewGrid.click();
    std::vector<std::string> texts;
    for (const auto& b : Boxes())
      if (b.kind == host::ui::BoxRecord::Kind::MessageBox) texts.push_back(b.text);
    return texts;
  }
};
const std::string kDone = "New grid created successfully.\r\nClick <Add Grid To Active Data Frame> to include in project.";
const std::string kOneMinute = "Grid creation will take about one minute to process";
const std::string kFewMinutes = "Grid creation will take a few minutes to process";
}  // namespace

TEST_F(GridWarnings, ThresholdsAt299And300And800And10000) {
  using V = std::vector<std::string>;
  EXPECT_EQ(run("13", "23", "n299", {host::ui::vbOK}, true), V{kDone});
  EXPECT_EQ(grid("n299")->FeatureCount(), 299);
  EXPECT_EQ(run("15", "20", "n300", {host::ui::vbCancel}, false), V{kOneMinute});
  EXPECT_EQ(run("20", "40", "n800", {host::ui::vbOK, host::ui::vbCancel}, false), (V{kOneMinute, kFewMinutes}));
  V all = run("100", "100", "n10000", {host::ui::vbOK, host::ui::vbOK, host::ui::vbOK, host::ui::vbCancel}, false);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[2],
            "Creating a grid with 10000 tiles will take some time to process.  You may want to do this over your lunch "
            "break :)");
  EXPECT_EQ(all[3],
            "Creating a grid with 10000 tiles will take a long time to process.  You may want to do this over night :)");
  EXPECT_FALSE(fs::exists(ProgramFolder() / "Grids" / "n300.shp"));
  EXPECT_FALSE(fs::exists(ProgramFolder() / "Grids" / "n10000.shp"));
}

TEST_F(GridWarnings, ANameHoldingAPathIsRefusedBeforeAnythingIsTouched) {
  testing_support::WriteFile(ProgramFolder() / "victim.dbf", "victim");
  for (std::string name : {"..\\victim", "../victim", "..", "c:victim", "a?b"}) {
    auto texts = run("2", "2", name, {host::ui::vbOK}, false);
    ASSERT_EQ(texts.size(), 1u) << name;
    EXPECT_EQ(texts[0], "\"" + name +
                            "\" cannot be used as a name. A name may not be blank, \"..\" or hold any of \\ / : * ? \" "
                            "< > | or control characters.");
  }
  EXPECT_EQ(testing_support::ReadFile(ProgramFolder() / "victim.dbf"), "victim");
  EXPECT_TRUE(fs::is_empty(ProgramFolder() / "Grids"));
}

TEST_F(GridWarnings, AnOverwriteReplacesTheWholeSetAndAFailedBuildKeepsTheOldOne) {
  fs::path grids = ProgramFolder() / "Grids";
  run("2", "3", "g", {host::ui::vbOK}, true);
  const std::string shp = testing_support::ReadFile(grids / "g.shp");
  testing_support::WriteFile(grids / "g.sbn", "stale index");
  testing_support::WriteFile(grids / "g.lyr", "keep");
  if (!fs::exists(grids / "g.cpg")) testing_support::WriteFile(grids / "g.cpg", "stale");

  // A failure once the build has begun (a tile size that is no number, read when the
  // automatic path lays out its tiles) leaves the old grid whole.
  fs::create_directories(DriveC() / "town");
  auto area = geo::ShapefileWorkspace::Open("C:\\town")
                  ->CreateFeatureClass("area", geo::FieldSet{geo::Field::Shape("Shape", geo::GeometryType::Polygon)});
  geo::Feature f = area->CreateFeature();
  f.SetShape(geo::Geometry::FromEnvelope(geo::Envelope(0, 0, 8000, 5000)));
  f.Store();
  area->Flush();
  doc().FocusMap()->AddLayer(Layer("area"));
  host::ui::ClearBoxLog();
  automatic_5_by_8();
  step([] {
    auto& p = form<frmAutomaticGrid2>("frmAutomaticGrid2");
    p.txtTileWidth.SetText("wide");
    p.btnNext.click();
  });
  input("g");
  Answer(host::ui::vbYes);
  Answer(host::ui::vbOK);  // the report
  step([] { form<frmAutomaticGrid2>("frmAutomaticGrid2").btnCancel.click(); });
  main().btnCreateNewGrid.click();
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 13\r\nMODULE: btnNext_Click frmAutomaticGrid2"), std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(grids / "g.shp"), shp);
  EXPECT_EQ(testing_support::ReadFile(grids / "g.sbn"), "stale index");

  run("4", "4", "g", {host::ui::vbYes, host::ui::vbOK}, true);
  EXPECT_EQ(grid("g")->FeatureCount(), 16);
  EXPECT_FALSE(fs::exists(grids / "g.sbn"));
  EXPECT_EQ(testing_support::ReadFile(grids / "g.lyr"), "keep");
  if (fs::exists(grids / "g.cpg")) {
    EXPECT_NE(testing_support::ReadFile(grids / "g.cpg"), "stale");
  }
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(grids)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_TRUE(std::none_of(left.begin(), left.end(), [](const std::string& n) { return n[0] == '.'; }));
}
