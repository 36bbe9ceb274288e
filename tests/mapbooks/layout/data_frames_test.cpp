// SPDX-License-Identifier: GPL-3.0-or-later
#include "layout_fixture.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"

using namespace mapbooks;
using namespace layout_test;
namespace carto = host::carto;
using host::ui::vbNo;
using host::ui::vbOK;
using host::ui::vbYes;

namespace {

constexpr const char* kGridQuestion = "Current grid layer is: grid\r\nThis will be added to the new frame. Continue?";

class DataFrames : public LayoutTest {
 protected:
  geo::Point centre(const std::string& label) {
    return ZelvneGIS_ArcMap::GetFeatureByValue(Layer("grid").get(), "MB_Label", label)->Extent().Center();
  }
  static void expect_bounds(const carto::Map& m, double xmin, double ymin, double xmax, double ymax) {
    geo::Envelope e = m.Frame()->Bounds();
    EXPECT_NEAR(e.XMin(), xmin, 1e-9);
    EXPECT_NEAR(e.YMin(), ymin, 1e-9);
    EXPECT_NEAR(e.XMax(), xmax, 1e-9);
    EXPECT_NEAR(e.YMax(), ymax, 1e-9);
  }
  static void expect_shows(const carto::Map& m, geo::Point c, double width) {
    EXPECT_NEAR(m.Extent().Center().X, c.X, 1e-6) << m.Name();
    EXPECT_NEAR(m.Extent().Center().Y, c.Y, 1e-6) << m.Name();
    EXPECT_NEAR(m.Extent().Width(), width, 1e-6) << m.Name();
  }
  static void expect_border(const std::optional<carto::SymbolBorder>& b, long rgb, double width) {
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->Color().RGB(), rgb);
    EXPECT_EQ(b->Width(), width);
  }
  // The new frame's only layer: a hollow copy of the grid layer.
  static carto::FeatureLayer& copy_in(const carto::Map& m) {
    EXPECT_EQ(m.LayerCount(), 1);
    auto& copy = dynamic_cast<carto::FeatureLayer&>(*m.Layer(0));
    EXPECT_NE(&copy, State().ActiveLayer.get());
    EXPECT_EQ(copy.Name(), "grid");
    EXPECT_TRUE(copy.Renderer().FillSymbol()->IsHollow());
    return copy;
  }
  static void expect_frame_settings(const carto::MapFrame& f) {
    EXPECT_EQ(f.ExtentType(), carto::ExtentType::FixedScale);
    EXPECT_TRUE(f.AutoTransform());
    EXPECT_EQ(f.Map()->DistanceUnits(), carto::Units::Feet);
  }
  std::vector<std::string> rows() { return main().lstDataFrames.Items(); }
};

}  // namespace

TEST_F(DataFrames, IndexMapShowsTheFirstTileAndItsNeighboursAndFollowsThePages) {
  Start();
  Answer(vbYes);
  main().btnAddIndex.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, kGridQuestion);
  EXPECT_EQ(Boxes()[0].style, host::ui::vbYesNo);
  ASSERT_EQ(doc().MapCount(), 2);
  auto index = doc().Map(1);
  EXPECT_EQ(index->Name(), "Mapbook_Index");
  EXPECT_EQ(doc().FocusMap(), index);
  expect_bounds(*index, 3.5, 0.5, 5.0, 2.0);  // square tiles
  expect_border(index->Frame()->Border(), 0, 2.0);
  expect_frame_settings(*index->Frame());
  ASSERT_EQ(index->Frame()->LocatorRectangleCount(), 1);
  expect_border(index->Frame()->LocatorRectangle(0).Border(), carto::RGB(255, 0, 0), 4.0);
  EXPECT_EQ(index->Frame()->LocatorRectangle(0).MapFrame()->Map(), layers);
  carto::FeatureLayer& copy = copy_in(*index);
  EXPECT_FALSE(State().ActiveLayer->Renderer().FillSymbol()->IsHollow());
  EXPECT_TRUE(copy.DisplayAnnotation());
  EXPECT_EQ(copy.Labels().Expression(), "[MB_Label]");
  EXPECT_EQ(copy.Labels().Symbol().Size(), 18);
  EXPECT_EQ(copy.Labels().Symbol().Color().RGB(), 0);
  // At the first page, three times farther out than one tile fills the frame.
  expect_shows(*index, centre("A1"), 3 * grid.tileSize);
  EXPECT_EQ(rows(), (std::vector<std::string>{"Layers", "Mapbook_Index"}));
  EXPECT_TRUE(main().lstDataFrames.Selected(1));
  EXPECT_EQ(main().cboDataFrames.Items(), rows());

  main().lstDataFrames.select(0, true);
  main().cboNavIndex.pick("B2");
  expect_shows(*index, centre("B2"), 3 * grid.tileSize);
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(DataFrames, OverviewShowsTheWholeGridUnselectedAndOnlyItsLocatorFollows) {
  Start();
  Answer(vbYes);
  main().btnAddLocator.click();
  EXPECT_EQ(Boxes().at(0).text, kGridQuestion);
  auto overview = MapNamed("Mapbook_Overview");
  expect_bounds(*overview, 0.5, 0.5, 2.5, 0.5 + 2.0 * 2 / 3);  // the grid is 3 tiles by 2
  expect_border(overview->Frame()->Border(), 0, 2.0);
  expect_frame_settings(*overview->Frame());
  expect_border(overview->Frame()->LocatorRectangle(0).Border(), carto::RGB(255, 0, 0), 4.0);
  EXPECT_FALSE(copy_in(*overview).DisplayAnnotation());
  expect_shows(*overview, grid.extent.Center(), grid.extent.Width());
  EXPECT_FALSE(main().lstDataFrames.Selected(1));
  EXPECT_EQ(main().cboDataFrames.List(1), "Mapbook_Overview");

  const geo::Envelope before = overview->Extent();
  main().lstDataFrames.select(0, true);
  main().cboNavIndex.pick("B3");
  EXPECT_EQ(overview->Extent(), before);
  EXPECT_EQ(overview->Frame()->LocatorRectangle(0).Extent(), layers->Extent());
  EXPECT_NEAR(layers->Extent().Center().X, centre("B3").X, 1e-6);
}

TEST_F(DataFrames, MapNumberShowsTheMiddleOfTheTileTenTimesCloserWithoutAMainFrame) {
  Start();
  main().cboDataFrames.SetText("no such frame");
  Answer(vbYes);
  main().btnMapNumber.click();
  EXPECT_EQ(Boxes().at(0).text,
            "Current grid layer is: grid\r\nA field from this layer will be used as the map number or label. Continue?");
  auto number = MapNamed("Mapbook_Number");
  expect_bounds(*number, 6.5, 0.5, 7.5, 1.5);
  expect_border(number->Frame()->Border(), carto::RGB(255, 255, 255), 0.0);
  expect_frame_settings(*number->Frame());
  EXPECT_EQ(number->Frame()->LocatorRectangleCount(), 0);
  EXPECT_EQ(copy_in(*number).Labels().Symbol().Size(), 26);
  expect_shows(*number, centre("A1"), grid.tileSize / 10);
  EXPECT_TRUE(main().lstDataFrames.Selected(1));
  main().lstDataFrames.select(0, true);
  main().cboNavIndex.pick("A3");
  expect_shows(*number, centre("A3"), grid.tileSize / 10);

  // With an empty Search list there is no zoom: the scale the copy gave is divided.
  main().cboNavIndex.Clear();
  Answer(vbYes);
  Answer(vbYes);
  main().btnMapNumber.click();
  expect_shows(*MapNamed("Mapbook_Number", 1), grid.extent.Center(), grid.extent.Width() / 10);
}

TEST_F(DataFrames, FramesTakeTheShapeOfTheFirstTileOrOfTheWholeGrid) {
  WriteShapes<Tile>("wide", {{"W1", geo::Envelope(0, 0, 200, 100)}});
  WriteShapes<Tile>("tall", {{"T1", geo::Envelope(0, 0, 100, 200)}});
  layers->AddLayer(Layer("wide"));
  layers->AddLayer(Layer("tall"));
  Start("wide");
  for (int i = 0; i < 3; ++i) Answer(vbYes);
  main().btnAddIndex.click();
  main().btnAddLocator.click();
  main().btnMapNumber.click();
  doc().PageLayout().SetFocusMap(layers);
  main().cboMapLayers.pick("tall");
  main().btnLayerApply.click();
  for (int i = 0; i < 6; ++i) Answer(vbYes);  // each frame exists now: two questions each
  main().btnAddIndex.click();
  main().btnAddLocator.click();
  main().btnMapNumber.click();
  expect_bounds(*MapNamed("Mapbook_Index"), 3.5, 0.5, 5.0, 1.25);
  expect_bounds(*MapNamed("Mapbook_Overview"), 0.5, 0.5, 2.5, 1.5);
  expect_bounds(*MapNamed("Mapbook_Index", 1), 3.5, 0.5, 4.25, 2.0);
  expect_bounds(*MapNamed("Mapbook_Overview", 1), 0.5, 0.5, 1.5, 2.5);
  expect_bounds(*MapNamed("Mapbook_Number", 1), 6.5, 0.5, 7.5, 1.5);
  EXPECT_EQ(rows(), (std::vector<std::string>{"Layers", "Mapbook_Index", "Mapbook_Overview", "Mapbook_Number",
                                              "Mapbook_Index", "Mapbook_Overview", "Mapbook_Number"}));
  EXPECT_EQ(main().cboDataFrames.Items(), rows());
  for (long i = 1; i < 7; ++i) EXPECT_EQ(main().lstDataFrames.Selected(i), i != 2 && i != 5) << i;
}

TEST_F(DataFrames, RefusalsAndQuestionsInTheirOrder) {
  Start();
  const int elements = doc().PageLayout().ElementCount();
  doc().SetActiveView(*layers);
  Answer(vbOK);
  main().btnMapNumber.click();
  doc().SetActiveView(doc().PageLayout());
  for (const char* text : {"", "layers"}) {  // the box must name a data frame exactly
    main().cboDataFrames.SetText(text);
    Answer(vbOK);
    main().btnAddIndex.click();
    Answer(vbOK);
    main().btnAddLocator.click();
  }
  main().cboDataFrames.SetText("Layers");
  for (auto* button : {&main().btnAddIndex, &main().btnAddLocator, &main().btnMapNumber}) {
    Answer(vbNo);
    button->click();
  }
  const std::vector<std::string> refusals{
      "Please switch to Layout view before adding map elements.",
      "Must have a data frame called Mapbook_Main before creating the Locator and Index maps.",
      "Can't find data frame: ",
      "Must have a data frame called Mapbook_Main before creating the Locator and Index maps.",
      "Can't find data frame: layers"};
  ASSERT_EQ(Boxes().size(), 8u);
  for (size_t i = 0; i < refusals.size(); ++i) EXPECT_EQ(Boxes()[i].text, refusals[i]) << i;
  EXPECT_EQ(Boxes()[5].text, kGridQuestion);
  EXPECT_EQ(doc().MapCount(), 1);
  EXPECT_EQ(doc().PageLayout().ElementCount(), elements);
  EXPECT_EQ(main().lstDataFrames.ListCount() + main().cboDataFrames.ListCount(), 2);

  for (int i = 0; i < 3; ++i) Answer(vbYes);
  main().btnAddIndex.click();
  main().btnAddLocator.click();
  main().btnMapNumber.click();
  host::ui::ClearBoxLog();
  Answer(vbNo);
  main().btnAddIndex.click();
  Answer(vbNo);
  main().btnAddLocator.click();
  Answer(vbNo);  // the map number asks about the grid first, and stops there
  main().btnMapNumber.click();
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[0].text, "Data frame: Mapbook_Index already exists.  Create another?");
  EXPECT_EQ(Boxes()[1].text, "Data frame: Mapbook_Overview already exists.  Create another?");
  EXPECT_EQ(Boxes()[2].text.substr(0, 30), "Current grid layer is: grid\r\nA");
  EXPECT_EQ(doc().MapCount(), 4);
}

TEST_F(DataFrames, WithoutAGridLayerTheErrorIsReportedAndTheEmptyFrameStays) {
  Start();
  State().ActiveLayer.reset();
  Answer(vbYes);
  Answer(vbOK);
  main().btnAddIndex.click();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_NE(Boxes()[1].text.find("ERROR NUMBER: 91\r\nMODULE: btnAddIndex_Click frmMain \r\n"), std::string::npos);
  EXPECT_EQ(MapNamed("Mapbook_Index")->LayerCount(), 0);
  EXPECT_EQ(main().lstDataFrames.List(1), "Mapbook_Index");
}
