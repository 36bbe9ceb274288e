// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/carto/page_layout.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace geo = host::geodata;
namespace carto = host::carto;

namespace {

// A town with a 3 x 2 grid, shown in two data frames: "Layers" (grid and streets) and
// "Inset" (grid); the window applied to the grid layer with both frames selected.
class Navigation : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    layers = TownWithStreetsAndGrid();
    inset = std::make_shared<carto::Map>("Inset");
    doc().AddMap(inset);
    inset->AddLayer(Layer("grid"));
    StartProgram();
    host::ui::ClearBoxLog();
    main().cboMapLayers.pick("grid");
    main().btnLayerApply.click();
    main().lstDataFrames.select(0, true);
    main().lstDataFrames.select(1, true);
  }
  geo::Envelope tile(const std::string& label) {
    auto f = ZelvneGIS_ArcMap::GetFeatureByValue(Layer("grid").get(), "MB_Label", label);
    return f ? f->Extent() : geo::Envelope();
  }
  static void expect_centre(const carto::Map& m, geo::Point p) {
    EXPECT_NEAR(m.Extent().Center().X, p.X, 1e-6) << m.Name();
    EXPECT_NEAR(m.Extent().Center().Y, p.Y, 1e-6) << m.Name();
  }
  std::shared_ptr<carto::Map> layers, inset;
};

}  // namespace

TEST_F(Navigation, TheLayerTabPreselectsGridFieldsAndApplyFillsTheLists) {
  EXPECT_EQ(main().cboLayerFields.Text(), "MB_Label");
  EXPECT_EQ(main().cboSelectRow.Text(), "MB_Row");
  EXPECT_EQ(main().cboSelectColumn.Text(), "MB_Column");
  EXPECT_EQ(main().cboNavIndex.Items(), (std::vector<std::string>{"A1", "A2", "A3", "B1", "B2", "B3"}));
  EXPECT_EQ(main().cboNavRow.Items(), (std::vector<std::string>{"A", "B"}));
  EXPECT_EQ(main().cboNavColumn.Items(), (std::vector<std::string>{"1", "2", "3"}));
  const ConfigRecord& c = State().Config;
  EXPECT_EQ(c[ActiveLayerName], "grid");
  EXPECT_EQ(c[SearchField], "MB_Label");
  EXPECT_TRUE(State().ActiveLayerFound);
  // A layer without the grid fields gets no preselection, and nothing is stored.
  main().cboMapLayers.pick("streets");
  EXPECT_EQ(main().cboLayerFields.Text(), "");
  EXPECT_EQ(c[ActiveLayerName], "grid");
}

TEST_F(Navigation, FeatureExtentRuleWidensThePrimaryAndRecentresTheOthers) {
  main().cboDataFrames.pick("Inset");
  EXPECT_EQ(State().PrimaryDataFrameIndex, 1);
  layers->SetMapScale(50000);
  main().optLayerFeatureExtent.click();
  main().txtLayerPercent.paste("10");
  main().cboNavIndex.pick("B2");
  geo::Envelope t = tile("B2");
  expect_centre(*layers, t.Center());
  EXPECT_NEAR(layers->MapScale(), 50000, 1e-6);
  expect_centre(*inset, t.Center());
  geo::Envelope shown = inset->Extent();
  bool fits_width = std::abs(shown.Width() - t.Width() * 1.1) < 1e-6;
  bool fits_height = std::abs(shown.Height() - t.Height() * 1.1) < 1e-6;
  EXPECT_TRUE(fits_width || fits_height);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Navigation, NativeAndFixedScaleRules) {
  layers->SetMapScale(40000);
  inset->SetMapScale(60000);
  main().cboNavIndex.pick("A3");
  expect_centre(*layers, tile("A3").Center());
  expect_centre(*inset, tile("A3").Center());
  EXPECT_NEAR(layers->MapScale(), 40000, 1e-6);
  EXPECT_NEAR(inset->MapScale(), 60000, 1e-6);
  main().optLayerFixedScale.click();
  main().txtSetScale.paste("");
  main().txtSetScale.type("25000");
  main().btnGo1.click();
  EXPECT_NEAR(layers->MapScale(), 25000, 1e-6);  // the primary frame
  EXPECT_NEAR(inset->MapScale(), 60000, 1e-6);
  main().txtSetScale.paste("0");
  main().btnGo1.click();
  EXPECT_NEAR(layers->MapScale(), 25000, 1e-6);  // no positive scale: kept, no message
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(Navigation, OffsetsShiftOnlyThePrimaryFrame) {
  main().txtXDiff.paste("100");
  main().txtYDiff.paste("-50");
  main().cboNavIndex.pick("B1");
  geo::Point c = tile("B1").Center();
  expect_centre(*layers, {c.X - 100, c.Y + 50});
  expect_centre(*inset, c);
  main().cboNavIndex.SetText("nothing like it");
  main().btnGo1.click();  // no page: only the offset moves the primary frame again
  expect_centre(*layers, {c.X - 200, c.Y + 100});
  main().txtXDiff.paste("-");
  Answer(host::ui::vbOK);
  main().btnGo1.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("MODULE: btnGo1_Click frmMain \r\nERROR DESCRIPTION: Type mismatch"), std::string::npos);
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

TEST_F(Navigation, AFrameWithoutTheGridLayer) {
  inset->DeleteLayer(*inset->Layer(0));
  inset->SetMapScale(30000);
  geo::Envelope before = inset->Extent();
  Answer(host::ui::vbOK);
  main().cboNavIndex.pick("A2");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Unable to find grid layer: grid\r\nIn data frame: Inset");
  EXPECT_EQ(inset->Extent(), before);
  // By row and column the frame is passed over and the others still move.
  main().cboNavRow.pick("B");
  main().cboNavColumn.pick("3");
  main().btnGo2.click();
  expect_centre(*layers, tile("B3").Center());
  EXPECT_EQ(inset->Extent(), before);
  EXPECT_EQ(main().cboNavIndex.Text(), "");
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(Navigation, NavigatorChecksAndKeys) {
  Answer(host::ui::vbOK);
  main().cboNavRow.SetText("");
  main().btnGo2.click();
  EXPECT_EQ(Boxes().back().text, "Please select a row item");
  main().lstDataFrames.select(0, false);
  main().lstDataFrames.select(1, false);
  Answer(host::ui::vbOK);
  main().cboNavIndex.pick("A1");
  EXPECT_EQ(Boxes().back().text, "Please select dataframe(s) to refresh from list on Main tab");
  main().lstDataFrames.select(0, true);
  // The type-ahead selects an entry without moving the map.
  geo::Envelope before = layers->Extent();
  main().txtSearch.type("b");
  EXPECT_EQ(main().cboNavIndex.Text(), "B1");
  main().txtSearch.type("9");
  EXPECT_EQ(main().cboNavIndex.Text(), "B1");
  main().txtSearch.paste("");
  main().txtSearch.key(host::ui::vbKeyBack);
  EXPECT_EQ(main().cboNavIndex.Text(), "A1");
  EXPECT_EQ(layers->Extent(), before);
  main().cboNavRow.type("12");
  EXPECT_EQ(main().cboNavRow.Text(), "2");
  // A document whose frames no longer match the list asks first.
  doc().AddMap(std::make_shared<carto::Map>("Late"));
  Answer(host::ui::vbNo);
  main().btnGo1.click();
  EXPECT_EQ(Boxes().back().text,
            "Warning: Number of Data Frames in project does not match number of frames in list.\r\nContinue anyway?");
  EXPECT_EQ(layers->Extent(), before);
}

TEST_F(Navigation, DataViewEndsOnTheLastFrame) {
  doc().SetActiveView(*layers);
  main().cboNavIndex.pick("A1");
  EXPECT_EQ(doc().FocusMap(), inset);
  EXPECT_EQ(&doc().ActiveView(), inset.get());
  doc().SetActiveView(doc().PageLayout());
  main().cboNavIndex.pick("A2");
  EXPECT_EQ(doc().FocusMap(), inset);
  EXPECT_TRUE(doc().InLayoutView());
}

// A grid in WGS84 degrees drives the pages of a map in State Plane feet.
TEST_F(ProgramTest, AGridInDegreesShowsEachTileOnAStatePlaneMap) {
  WriteTown(3, 2);
  auto map = doc().FocusMap();
  auto streets = Layer("streets");
  map->AddLayer(streets);
  auto grid84 = ReprojectedLayer("grid", "EPSG:4326", "grid84");
  map->AddLayer(grid84);
  ASSERT_EQ(map->SpatialReference().Unit(), geo::LinearUnit::Feet);
  StartProgram();
  host::ui::ClearBoxLog();
  main().cboMapLayers.pick("grid84");
  main().btnLayerApply.click();
  main().lstDataFrames.select(0, true);
  main().optLayerFeatureExtent.click();
  main().txtLayerPercent.paste("0");
  const std::vector<std::string> pages = main().cboNavIndex.Items();
  ASSERT_EQ(pages, (std::vector<std::string>{"A1", "A2", "A3", "B1", "B2", "B3"}));
  auto feet = Layer("grid");
  for (const std::string& page : pages) {
    main().cboNavIndex.pick(page);
    auto tile = ZelvneGIS_ArcMap::GetFeatureByValue(feet.get(), "MB_Label", page);
    ASSERT_TRUE(tile);
    const geo::Envelope shown = map->Extent(), want = tile->Extent();
    EXPECT_NEAR(shown.Center().X, want.Center().X, 0.01) << page;
    EXPECT_NEAR(shown.Center().Y, want.Center().Y, 0.01) << page;
    geo::Envelope inner = want;
    inner.Expand(-0.01, -0.01, false);
    EXPECT_TRUE(shown.Contains(inner)) << page;
    EXPECT_LT(shown.Width() * shown.Height(), 2 * want.Width() * want.Height()) << page;
    // What the page draws of the grid: the tile itself, in feet.
    geo::SpatialFilter within(geo::Geometry::FromEnvelope(shown), geo::SpatialRelation::EnvelopeIntersects,
                              "MB_Label = '" + page + "'");
    auto drawn = grid84->Search(within).NextFeature();
    ASSERT_TRUE(drawn) << page;
    EXPECT_NEAR(drawn->Extent().XMin(), want.XMin(), 0.01) << page;
    EXPECT_NEAR(drawn->Extent().YMax(), want.YMax(), 0.01) << page;
    geo::SpatialFilter page_box(geo::Geometry::FromEnvelope(shown), geo::SpatialRelation::Intersects);
    EXPECT_GT(streets->FeatureCount(&page_box), 0) << page;
  }
  EXPECT_TRUE(Boxes().empty());
}
