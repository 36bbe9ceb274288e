// SPDX-License-Identifier: GPL-3.0-or-later
// A grid of more than 26 rows, made with the wizard and used as a user uses it.

#include <gtest/gtest.h>

#include <set>

#include "host/geodata/workspace.h"
#include "host/ui/form.h"
#include "host/vb/text.h"
#include "mapbooks/common/ControlUtilities.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/gridwizard/frmMakeGrid.h"
#include "mapbooks/layout/frmIndex.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace geo = host::geodata;
namespace fs = std::filesystem;
using host::ui::vbOK;

namespace {

void step(std::function<void()> f) { host::ui::ScriptedUser::Instance().PushStep(std::move(f)); }
template <typename F>
F& form(const char* name) {
  return dynamic_cast<F&>(*host::ui::FindLoadedForm(name));
}

// The wizard's manual path. Build writes 30 rows of tiles 100 x 100 from the corner
// (0, 3000) as "rows", adds it to the map and applies it as the grid layer.
class LargeGrids : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
  }
  void Build(int columns) {
    host::ui::ClearBoxLog();
    step([] { dynamic_cast<host::ui::CommandButton*>(host::ui::FindLoadedForm("frmSelectGridType")->FindControl("Command1"))->click(); });
    step([=] {
      auto& p = form<frmMakeGrid>("frmMakeGrid");
      p.txtX.paste("0");
      p.txtY.paste("3000");
      p.txtGridHeight.paste("3000");
      p.txtGridWidth.paste(std::to_string(100 * columns));
      p.txtVerticalNumber.paste("30");
      p.txtHorizontalNumber.paste(std::to_string(columns));
      p.btnNext.click();
    });
    step([] { form<frmMakeGrid2>("frmMakeGrid2").btnNext.click(); });
    host::ui::ScriptedUser::Instance().PushInput("rows");
    const int tiles = 30 * columns;
    for (int box = 0; box < 1 + (tiles > 299) + (tiles > 799); ++box) Answer(vbOK);  // warnings, "created"
    main().btnCreateNewGrid.click();
    main().File1.select(main().File1.FindItem("rows.shp", false), true);
    main().btnLoadGrid.click();
    main().cboMapLayers.pick("rows");
    main().btnLayerApply.click();
    main().lstDataFrames.select(0, true);
    host::ui::ClearBoxLog();
  }
  void TearDown() override {
    geo::ShapefileWorkspace::ClearCache();
    fs::remove_all(ProgramFolder() / "Grids");
    fs::remove_all(DriveC() / "out");
    fs::remove(ProgramFolder() / "LocationTable.txt");
    ProgramTest::TearDown();
  }
};

}  // namespace

TEST(RowLetters, SpreadsheetLetteringAndBack) {
  using ControlUtilities::RowLetters;
  using ControlUtilities::RowNumber;
  const std::pair<int32_t, const char*> known[] = {{1, "A"},    {26, "Z"},    {27, "AA"},  {28, "AB"},
                                                   {52, "AZ"},  {53, "BA"},   {702, "ZZ"}, {703, "AAA"},
                                                   {32767, "AVLG"}};
  for (const auto& [n, letters] : known) {
    EXPECT_EQ(RowLetters(n), letters) << n;
    EXPECT_EQ(RowNumber(letters), n) << letters;
  }
  for (int32_t n = 1; n <= 32767; ++n) ASSERT_EQ(RowNumber(RowLetters(n)), n);
  EXPECT_EQ(RowNumber("ab"), 28);
  EXPECT_EQ(RowLetters(0), "");
  EXPECT_EQ(RowLetters(-3), "");
  for (const char* not_letters : {"", "A1", "12", " A", "Ä", "ZZZZZZZZ"}) EXPECT_EQ(RowNumber(not_letters), 0) << not_letters;
  // The builder's own helper keeps its single letters.
  EXPECT_EQ(ControlUtilities::NumberToLetter(27), "");
}

TEST_F(LargeGrids, EveryTileHasItsOwnLabelAndTheNavigatorReachesIt) {
  Build(30);
  geo::ShapefileWorkspace::ClearCache();
  auto fc = geo::ShapefileWorkspace::Open((ProgramFolder() / "Grids").string())->OpenFeatureClass("rows");
  ASSERT_EQ(fc->FeatureCount(), 900);
  std::set<std::string> labels;
  for (int64_t oid = 0; oid < 900; ++oid) labels.insert(host::vb::CStr(fc->GetFeature(oid)->Value("MB_Label")));
  EXPECT_EQ(labels.size(), 900u);
  EXPECT_EQ(host::vb::CStr(fc->GetFeature(27 * 30 + 2)->Value("MB_Label")), "AB3");
  EXPECT_EQ(host::vb::CStr(fc->GetFeature(899)->Value("MB_Row")), "AD");

  EXPECT_EQ(main().cboNavIndex.ListCount(), 900);
  ASSERT_EQ(main().cboNavRow.ListCount(), 30);
  EXPECT_EQ(main().cboNavRow.List(26), "AA");
  // Two letters typed into the Row list stay; a pair that begins no row does not.
  main().cboNavRow.type("AB");
  EXPECT_EQ(main().cboNavRow.Text(), "AB");
  main().cboNavRow.type("Z");
  EXPECT_EQ(main().cboNavRow.Text(), "Z");
  main().cboNavRow.SetText("");
  main().cboNavRow.type("AZ");  // the grid ends at AD
  EXPECT_EQ(main().cboNavRow.Text(), "Z");
  main().cboNavRow.SetText("");
  main().cboNavRow.type("AB");
  main().cboNavColumn.type("3");
  main().btnGo2.click();
  EXPECT_TRUE(Boxes().empty());
  // Row 28 lies 2700 to 2800 below the top edge at 3000; column 3 from 200 to 300.
  geo::Envelope shown = doc().FocusMap()->Extent();
  EXPECT_NEAR((shown.XMin() + shown.XMax()) / 2, 250, 1e-6);
  EXPECT_NEAR((shown.YMin() + shown.YMax()) / 2, 250, 1e-6);
}

TEST_F(LargeGrids, ExportAllBySearchValueWritesAPagePerTile) {
  Build(2);  // rows AA to AD repeated the labels of rows A to D before
  main().txtDir.paste("C:\\out");
  main().txtRes.paste("1");
  main().optBMP.click();
  main().optExportAll.click();
  fs::create_directories(DriveC() / "out");
  State().Config[RefreshDelay] = "0";
  main().btnExport.click();
  EXPECT_TRUE(Boxes().empty());
  size_t pages = 0;
  for (const auto& e : fs::directory_iterator(DriveC() / "out")) pages += e.path().extension() == ".bmp";
  EXPECT_EQ(pages, 60u);
  EXPECT_TRUE(fs::exists(DriveC() / "out" / "MapbookAD2.bmp"));
}

TEST_F(LargeGrids, TheLocationIndexListsEveryTile) {
  Build(30);
  auto ws = geo::ShapefileWorkspace::Open((ProgramFolder() / "Grids").string());
  geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Polygon)};
  fields.AddField(geo::Field("NAME", geo::FieldType::String, 24));
  auto area = ws->CreateFeatureClass("everywhere", fields);
  geo::Feature f = area->CreateFeature();
  f.SetShape(geo::Geometry::FromEnvelope(geo::Envelope(10, 10, 2990, 2990)));
  f.SetValue(area->FindField("NAME"), std::string("Town"));
  f.Store();
  area->Flush();
  doc().FocusMap()->AddLayer(std::make_shared<host::carto::FeatureLayer>(area));
  step([] {
    auto& w = form<frmIndex>("frmIndex");
    EXPECT_EQ(w.cboMapLayers.Text(), "rows");
    EXPECT_EQ(w.cboLayerFields.Text(), "MB_Label");
    w.cboSearchLayers.pick("everywhere");
    w.cboSearchLayerFields.SetText("NAME");
    w.optTable.click();
    w.btnNext.click();
  });
  Answer(vbOK);
  step([] { form<frmIndex>("frmIndex").btnCancel.click(); });
  main().btnIndex.click();
  std::vector<std::string> line = host::vb::Split(testing_support::ReadFile(ProgramFolder() / "LocationTable.txt"), "\t");
  ASSERT_EQ(line.size(), 901u);
  EXPECT_EQ(line[0], "Town");
  EXPECT_EQ(std::set<std::string>(line.begin() + 1, line.end()).size(), 900u);
  EXPECT_EQ(line[1], "A1");  // tiles walked row by row
  EXPECT_EQ(line[26 * 30 + 2], "AA2");
}

// The corner and the grid's size take the en-US thousands separator in whole groups;
// the tile counts convert as before.
TEST_F(LargeGrids, GridSizesTakeThousandsSeparators) {
  host::ui::ClearBoxLog();
  auto page_one = [](const char* x, const char* y, const char* height, const char* width, const char* down) {
    step([=] {
      auto& p = form<frmMakeGrid>("frmMakeGrid");
      p.txtX.paste(x);
      p.txtY.paste(y);
      p.txtGridHeight.paste(height);
      p.txtGridWidth.paste(width);
      p.txtVerticalNumber.paste(down);
      p.txtHorizontalNumber.paste("2");
      p.btnNext.click();
    });
  };
  step([] { dynamic_cast<host::ui::CommandButton*>(host::ui::FindLoadedForm("frmSelectGridType")->FindControl("Command1"))->click(); });
  page_one("1,000.5", "1000", "3000", "3000", "1,000");  // a count keeps refusing the separator
  Answer(vbOK);
  page_one("1,00", "1000", "3000", "3000", "3");  // not a whole group
  Answer(vbOK);
  page_one("1,000.5", "-12,345", "3,000", "1,234,567", "3");
  step([] {
    auto& p = form<frmMakeGrid2>("frmMakeGrid2");
    EXPECT_EQ(p.txtX.Text(), "1000.5");
    EXPECT_EQ(p.txtY.Text(), "-12345");
    EXPECT_EQ(p.txtGridHeight.Text(), "3000");
    EXPECT_EQ(p.txtTileHeight.Text(), "1000");
    EXPECT_EQ(p.txtGridWidth.Text(), "1234567");
    p.btnCancel.click();
  });
  main().btnCreateNewGrid.click();
  ASSERT_EQ(Boxes().size(), 2u);
  for (const auto& box : Boxes())
    EXPECT_NE(box.text.find("ERROR NUMBER: 13\r\nMODULE: btnNext_Click frmMakeGrid "), std::string::npos) << box.text;
  EXPECT_EQ(host::ui::LoadedForms().size(), 1u);
}
