#include <gtest/gtest.h>

#include "host/carto/elements.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/common/modTolmirex.h"
#include "layout_fixture.h"

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
  geo::Envelope tile(const std::string& label) {
    auto f = ZelvneGIS_ArcMap::GetFeatureByValue(Layer("grid").get(), "MB_Label", label);
    return f ? f->Extent() : geo::Envelope();
  }
  static void expect_envelope(const geo::Envelope& e, double xmin, double ymin, double xmax, double ymax) {
    EXPECT_NEAR(e.XMin(), xmin, 1e-9);
    EXPECT_NEAR(e.YMin(), ymin, 1e-9);
    EXPECT_NEAR(e.XMax(), xmax, 1e-9);
    EXPECT_NEAR(e.YMax(), ymax, 1e-9);
  }
  static void expect_shows(const carto::Map& m, geo::Point centre, double width) {
    EXPECT_NEAR(m.Extent().Center().X, centre.X, 1e-6) << m.Name();
    EXPECT_NEAR(m.Extent().Center().Y, centre.Y, 1e-6) << m.Name();
    EXPECT_NEAR(m.Extent().Width(), width, 1e-6) << m.Name();
  }
  // The grid copy of a new frame: the map's only layer.
  static carto::FeatureLayer& copy_in(const carto::Map& m) {
    EXPECT_EQ(m.LayerCount(), 1);
    return dynamic_cast<carto::FeatureLayer&>(*m.Layer(0));
  }
  static void expect_border(const std::optional<carto::SymbolBorder>& b, int r, int g, int bl, double width) {
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->Color().Red(), r);
    EXPECT_EQ(b->Color().Green(), g);
    EXPECT_EQ(b->Color().Blue(), bl);
    EXPECT_EQ(b->Width(), width);
  }
  std::vector<std::string> frame_rows() { return main().lstDataFrames.Items(); }
};

}  // namespace

TEST_F(DataFrames, IndexMapShowsTheFirstTileAndItsNeighboursAndFollowsThePages) {
  Start();
  const double s = grid.tileSize;
  Answer(vbYes);
  main().btnAddIndex.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, kGridQuestion);
  EXPECT_EQ(Boxes()[0].style, host::ui::vbYesNo);
  EXPECT_EQ(Boxes()[0].title, "");

  ASSERT_EQ(doc().MapCount(), 2);
  auto index = doc().Map(1);
  EXPECT_EQ(index->Name(), "Mapbook_Index");
  EXPECT_EQ(doc().FocusMap(), index);
  auto frame = index->Frame();
  ASSERT_TRUE(frame);
  EXPECT_EQ(doc().PageLayout().ZOrder(*frame), 0);
  expect_envelope(frame->Bounds(), 3.5, 0.5, 5.0, 2.0);  // square tiles
  expect_border(frame->Border(), 0, 0, 0, 2.0);
  EXPECT_EQ(frame->ExtentType(), carto::ExtentType::FixedScale);
  EXPECT_TRUE(frame->AutoTransform());
  EXPECT_EQ(index->DistanceUnits(), carto::Units::Feet);
  ASSERT_EQ(frame->LocatorRectangleCount(), 1);
  expect_border(frame->LocatorRectangle(0).Border(), 255, 0, 0, 4.0);
  ASSERT_TRUE(frame->LocatorRectangle(0).MapFrame());
  EXPECT_EQ(frame->LocatorRectangle(0).MapFrame()->Map(), layers);

  // A hollow copy of the grid layer, labelled with the search field; the original is untouched.
  carto::FeatureLayer& copy = copy_in(*index);
  EXPECT_NE(&copy, State().ActiveLayer.get());
  EXPECT_EQ(copy.Name(), "grid");
  ASSERT_TRUE(copy.Renderer().FillSymbol());
  EXPECT_TRUE(copy.Renderer().FillSymbol()->IsHollow());
  EXPECT_FALSE(State().ActiveLayer->Renderer().FillSymbol()->IsHollow());
  EXPECT_FALSE(State().ActiveLayer->DisplayAnnotation());
  EXPECT_TRUE(copy.DisplayAnnotation());
  EXPECT_EQ(copy.Labels().Expression(), "[MB_Label]");
  EXPECT_EQ(copy.Labels().Symbol().Size(), 18);
  EXPECT_EQ(copy.Labels().Symbol().Color().RGB(), 0);

  // Zoomed to the first page, then three times farther out.
  expect_shows(*index, tile("A1").Center(), 3 * s);

  EXPECT_EQ(frame_rows(), (std::vector<std::string>{"Layers", "Mapbook_Index"}));
  EXPECT_TRUE(main().lstDataFrames.Selected(1));
  EXPECT_EQ(main().cboDataFrames.Items(), (std::vector<std::string>{"Layers", "Mapbook_Index"}));
  EXPECT_EQ(main().cboDataFrames.Text(), "Layers");

  // The selected row makes the index map follow every page at its own scale.
  main().lstDataFrames.select(0, true);
  main().cboNavIndex.pick("B2");
  expect_shows(*index, tile("B2").Center(), 3 * s);
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(DataFrames, OverviewShowsTheWholeGridUnselectedAndOnlyItsLocatorFollows) {
  Start();
  Answer(vbYes);
  main().btnAddLocator.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, kGridQuestion);
  auto overview = MapNamed("Mapbook_Overview");
  ASSERT_TRUE(overview);
  auto frame = overview->Frame();
  // The grid is 3 tiles wide and 2 high.
  expect_envelope(frame->Bounds(), 0.5, 0.5, 2.5, 0.5 + 2.0 * 2 / 3);
  expect_border(frame->Border(), 0, 0, 0, 2.0);
  EXPECT_EQ(frame->ExtentType(), carto::ExtentType::FixedScale);
  EXPECT_TRUE(frame->AutoTransform());
  ASSERT_EQ(frame->LocatorRectangleCount(), 1);
  expect_border(frame->LocatorRectangle(0).Border(), 255, 0, 0, 4.0);
  carto::FeatureLayer& copy = copy_in(*overview);
  EXPECT_TRUE(copy.Renderer().FillSymbol()->IsHollow());
  EXPECT_FALSE(copy.DisplayAnnotation());
  expect_shows(*overview, grid.extent.Center(), grid.extent.Width());

  EXPECT_EQ(frame_rows(), (std::vector<std::string>{"Layers", "Mapbook_Overview"}));
  EXPECT_FALSE(main().lstDataFrames.Selected(1));
  EXPECT_EQ(main().cboDataFrames.List(1), "Mapbook_Overview");

  const geo::Envelope before = overview->Extent();
  main().lstDataFrames.select(0, true);
  main().cboNavIndex.pick("B3");
  EXPECT_EQ(overview->Extent(), before);
  EXPECT_EQ(frame->LocatorRectangle(0).Extent(), layers->Extent());
  EXPECT_NEAR(layers->Extent().Center().X, tile("B3").Center().X, 1e-6);
}

TEST_F(DataFrames, MapNumberShowsTheMiddleOfTheTileTenTimesCloser) {
  Start();
  main().cboDataFrames.SetText("no such frame");  // not needed by this button
  Answer(vbYes);
  main().btnMapNumber.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text,
            "Current grid layer is: grid\r\nA field from this layer will be used as the map number or label. Continue?");
  auto number = MapNamed("Mapbook_Number");
  ASSERT_TRUE(number);
  auto frame = number->Frame();
  expect_envelope(frame->Bounds(), 6.5, 0.5, 7.5, 1.5);
  expect_border(frame->Border(), 255, 255, 255, 0.0);
  EXPECT_EQ(frame->LocatorRectangleCount(), 0);
  EXPECT_EQ(frame->ExtentType(), carto::ExtentType::FixedScale);
  EXPECT_TRUE(frame->AutoTransform());
  carto::FeatureLayer& copy = copy_in(*number);
  EXPECT_TRUE(copy.DisplayAnnotation());
  EXPECT_EQ(copy.Labels().Expression(), "[MB_Label]");
  EXPECT_EQ(copy.Labels().Symbol().Size(), 26);
  expect_shows(*number, tile("A1").Center(), grid.tileSize / 10);
  EXPECT_TRUE(main().lstDataFrames.Selected(1));
  EXPECT_EQ(main().cboDataFrames.List(1), "Mapbook_Number");

  main().lstDataFrames.select(0, true);
  main().cboNavIndex.pick("A3");
  expect_shows(*number, tile("A3").Center(), grid.tileSize / 10);
}

TEST_F(DataFrames, WithAnEmptySearchListTheFramesKeepTheirFirstExtentScaled) {
  Start();
  main().cboNavIndex.Clear();
  const geo::Envelope g = grid.extent;  // 3 : 2
  Answer(vbYes);
  main().btnAddIndex.click();
  // The copy set the extent on a 1 x 1 frame; the frame grew to 1.5 at the same scale; then x 3.
  expect_shows(*MapNamed("Mapbook_Index"), g.Center(), 1.5 * g.Width() * 3);
  Answer(vbYes);
  main().btnMapNumber.click();
  expect_shows(*MapNamed("Mapbook_Number"), g.Center(), g.Width() / 10);
}

TEST_F(DataFrames, FramesTakeTheShapeOfTheTileOrOfTheGrid) {
  WriteTiles("wide", TileRow({"W1"}, 200, 100));
  WriteTiles("tall", TileRow({"T1"}, 100, 200));
  layers->AddLayer(Layer("wide"));
  layers->AddLayer(Layer("tall"));
  Start("wide");
  for (const char* b : {"index", "overview", "number"}) {
    (void)b;
    Answer(vbYes);
  }
  main().btnAddIndex.click();
  main().btnAddLocator.click();
  main().btnMapNumber.click();
  expect_envelope(MapNamed("Mapbook_Index")->Frame()->Bounds(), 3.5, 0.5, 5.0, 1.25);
  expect_envelope(MapNamed("Mapbook_Overview")->Frame()->Bounds(), 0.5, 0.5, 2.5, 1.5);
  expect_envelope(MapNamed("Mapbook_Number")->Frame()->Bounds(), 6.5, 0.5, 7.5, 1.5);

  doc().PageLayout().SetFocusMap(layers);
  main().cboMapLayers.pick("tall");
  main().btnLayerApply.click();
  for (int i = 0; i < 6; ++i) Answer(vbYes);  // each frame exists already: two questions each
  main().btnAddIndex.click();
  main().btnAddLocator.click();
  main().btnMapNumber.click();
  expect_envelope(MapNamed("Mapbook_Index", 1)->Frame()->Bounds(), 3.5, 0.5, 4.25, 2.0);
  expect_envelope(MapNamed("Mapbook_Overview", 1)->Frame()->Bounds(), 0.5, 0.5, 1.5, 2.5);
  expect_envelope(MapNamed("Mapbook_Number", 1)->Frame()->Bounds(), 6.5, 0.5, 7.5, 1.5);
  EXPECT_EQ(frame_rows(), (std::vector<std::string>{"Layers", "Mapbook_Index", "Mapbook_Overview", "Mapbook_Number",
                                                    "Mapbook_Index", "Mapbook_Overview", "Mapbook_Number"}));
  EXPECT_EQ(main().cboDataFrames.Items(), frame_rows());
  for (long i : {1, 3, 4, 6}) EXPECT_TRUE(main().lstDataFrames.Selected(i)) << i;
  for (long i : {2, 5}) EXPECT_FALSE(main().lstDataFrames.Selected(i)) << i;
  EXPECT_EQ(doc().MapCount(), 7);
}

TEST_F(DataFrames, RefusalsAndQuestionsChangeNothing) {
  Start();
  carto::PageLayout& page = doc().PageLayout();
  const int elements = page.ElementCount();
  auto unchanged = [&] {
    EXPECT_EQ(doc().MapCount(), 1);
    EXPECT_EQ(page.ElementCount(), elements);
    EXPECT_EQ(main().lstDataFrames.ListCount(), 1);
    EXPECT_EQ(main().cboDataFrames.ListCount(), 1);
  };
  // Data view: the one message, for each button.
  doc().SetActiveView(*layers);
  for (auto* button : {&main().btnAddIndex, &main().btnAddLocator, &main().btnMapNumber}) {
    Answer(vbOK);
    button->click();
  }
  ASSERT_EQ(Boxes().size(), 3u);
  for (const auto& box : Boxes()) EXPECT_EQ(box.text, "Please switch to Layout view before adding map elements.");
  unchanged();
  doc().SetActiveView(page);

  // The primary data frame box must name a data frame exactly.
  host::ui::ClearBoxLog();
  for (const char* text : {"", "layers"}) {
    main().cboDataFrames.SetText(text);
    Answer(vbOK);
    main().btnAddIndex.click();
    Answer(vbOK);
    main().btnAddLocator.click();
  }
  ASSERT_EQ(Boxes().size(), 4u);
  EXPECT_EQ(Boxes()[0].text, "Must have a data frame called Mapbook_Main before creating the Locator and Index maps.");
  EXPECT_EQ(Boxes()[0].style, host::ui::vbOKOnly);
  EXPECT_EQ(Boxes()[1].text, "Can't find data frame: ");
  EXPECT_EQ(Boxes()[2].text, Boxes()[0].text);
  EXPECT_EQ(Boxes()[3].text, "Can't find data frame: layers");
  unchanged();
  main().cboDataFrames.SetText("Layers");

  // No to the grid question.
  host::ui::ClearBoxLog();
  for (auto* button : {&main().btnAddIndex, &main().btnAddLocator, &main().btnMapNumber}) {
    Answer(vbNo);
    button->click();
  }
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[0].text, kGridQuestion);
  EXPECT_EQ(Boxes()[1].text, kGridQuestion);
  unchanged();
}

TEST_F(DataFrames, TheExistenceQuestionComesFirstExceptForTheMapNumber) {
  Start();
  for (int i = 0; i < 3; ++i) Answer(vbYes);
  main().btnAddIndex.click();
  main().btnAddLocator.click();
  main().btnMapNumber.click();
  host::ui::ClearBoxLog();
  Answer(vbNo);
  main().btnAddIndex.click();
  Answer(vbNo);
  main().btnAddLocator.click();
  Answer(vbNo);  // the grid question: the existence question is not asked
  main().btnMapNumber.click();
  Answer(vbYes);
  Answer(vbNo);
  main().btnMapNumber.click();
  ASSERT_EQ(Boxes().size(), 5u);
  EXPECT_EQ(Boxes()[0].text, "Data frame: Mapbook_Index already exists.  Create another?");
  EXPECT_EQ(Boxes()[0].style, host::ui::vbYesNo);
  EXPECT_EQ(Boxes()[1].text, "Data frame: Mapbook_Overview already exists.  Create another?");
  EXPECT_EQ(Boxes()[2].text.substr(0, 30), "Current grid layer is: grid\r\nA");
  EXPECT_EQ(Boxes()[3].text, Boxes()[2].text);
  EXPECT_EQ(Boxes()[4].text, "Data frame: Mapbook_Number already exists.  Create another?");
  EXPECT_EQ(doc().MapCount(), 4);
  EXPECT_EQ(main().lstDataFrames.ListCount(), 4);

  // Yes to both: a second frame of the same name, and a second row in each list.
  host::ui::ClearBoxLog();
  Answer(vbYes);
  Answer(vbYes);
  main().btnAddIndex.click();
  EXPECT_EQ(Boxes()[0].text, "Data frame: Mapbook_Index already exists.  Create another?");
  EXPECT_EQ(Boxes()[1].text, kGridQuestion);
  ASSERT_TRUE(MapNamed("Mapbook_Index", 1));
  EXPECT_EQ(main().lstDataFrames.List(4), "Mapbook_Index");
  EXPECT_TRUE(main().lstDataFrames.Selected(4));
  EXPECT_EQ(main().cboDataFrames.List(4), "Mapbook_Index");
}

TEST_F(DataFrames, AMissingOrEmptyGridLayerIsReportedAndTheFrameStays) {
  WriteTiles("nothing", {});
  layers->AddLayer(Layer("nothing"));
  Start();
  State().ActiveLayer.reset();
  Answer(vbYes);
  Answer(vbOK);
  main().btnAddIndex.click();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_NE(Boxes()[1].text.find("ERROR NUMBER: 91\r\nMODULE: btnAddIndex_Click frmMain \r\n"), std::string::npos);
  auto index = MapNamed("Mapbook_Index");
  ASSERT_TRUE(index && index->Frame());
  EXPECT_EQ(index->LayerCount(), 0);
  EXPECT_EQ(main().lstDataFrames.List(1), "Mapbook_Index");

  Answer(vbYes);
  Answer(vbOK);
  main().btnMapNumber.click();
  EXPECT_NE(Boxes()[3].text.find("MODULE: btnMapNumber_Click frmMain \r\n"), std::string::npos);

  // A grid without features: the copy and the locator are there, the frame keeps its first place.
  doc().PageLayout().SetFocusMap(layers);
  main().cboMapLayers.pick("nothing");
  main().btnLayerApply.click();
  host::ui::ClearBoxLog();
  Answer(vbYes);
  Answer(vbYes);
  Answer(vbOK);
  main().btnAddIndex.click();
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_NE(Boxes()[2].text.find("MODULE: btnAddIndex_Click frmMain \r\n"), std::string::npos);
  auto second = MapNamed("Mapbook_Index", 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->LayerCount(), 1);
  EXPECT_EQ(second->Frame()->LocatorRectangleCount(), 1);
  expect_envelope(second->Frame()->Bounds(), 3.5, 0.5, 4.5, 1.5);
}

TEST_F(DataFrames, SymbolBorderFromAPackedColour) {
  auto border = modTolmirex::fMakeSymbolBorder(carto::RGB(10, 20, 30), 2.5);
  expect_border(border, 10, 20, 30, 2.5);
  Answer(vbOK);
  EXPECT_FALSE(modTolmirex::fMakeSymbolBorder(-1, 1.0).has_value());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("MODULE: fMakeSymbolBorder modTolmirex \r\n"), std::string::npos);
}
