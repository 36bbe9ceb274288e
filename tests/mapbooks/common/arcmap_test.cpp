// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/carto/elements.h"
#include "host/carto/document_file.h"
#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace geo = host::geodata;
namespace carto = host::carto;
namespace arc = mapbooks::ZelvneGIS_ArcMap;

namespace {

// Points in C:\town\values.shp with the texts, numbers and dates the tests list.
void write_values(const std::vector<host::vb::Variant>& names, const std::vector<host::vb::Variant>& numbers) {
  auto ws = geo::ShapefileWorkspace::Open("C:\\town");
  geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Point), geo::Field("NAME", geo::FieldType::String, 20),
                       geo::Field("NUM", geo::FieldType::Double, 12, 2), geo::Field("DAY", geo::FieldType::Date)};
  auto fc = ws->CreateFeatureClass("values", fields);
  for (size_t i = 0; i < names.size(); ++i) {
    geo::Feature f = fc->CreateFeature();
    f.SetShape(geo::Geometry::MakePoint(1000.0 * double(i), 500));
    f.SetValue(fc->FindField("NAME"), names[i]);
    f.SetValue(fc->FindField("NUM"), numbers[i]);
    f.SetValue(fc->FindField("DAY"), host::vb::DateValue{host::vb::DateSerial({2026, 1, int(i) + 1})});
    f.Store();
  }
  fc->Flush();
}

class ArcMap : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown();
    StartProgram();
    host::ui::ClearBoxLog();
  }
  carto::Map& focus() { return *doc().FocusMap(); }
};

}  // namespace

TEST_F(ArcMap, LayersByNameTheLastMatchOneLevelIntoGroups) {
  auto streets = Layer("streets");
  auto upper = Layer("blocks");
  upper->SetName("STREETS");
  auto group = std::make_shared<carto::GroupLayer>("Base");
  auto inner = Layer("poi");
  inner->SetName("Inner");
  auto nested = std::make_shared<carto::GroupLayer>("Nested");
  auto deep = Layer("grid");
  deep->SetName("Deep");
  nested->Add(deep);
  group->Add(inner);
  group->Add(nested);
  focus().AddLayer(streets);  // each added layer goes on top: the later in map order is the first added
  focus().AddLayer(upper);
  focus().AddLayer(group);
  EXPECT_EQ(arc::GetLayerByName("streets"), streets);  // the last of two matches in map order
  EXPECT_EQ(arc::GetLayerByName("inner"), inner);
  EXPECT_EQ(arc::GetLayerByName("Deep"), nullptr);  // a group inside a group is not entered
  EXPECT_EQ(arc::GetLayerByName("Nowhere"), nullptr);
  main().cboMapLayers.Clear();
  arc::LoadComboWithLayers(main().cboMapLayers);
  EXPECT_EQ(main().cboMapLayers.Items(), (std::vector<std::string>{"Inner", "STREETS", "streets"}));
  arc::LoadComboWithFields("streets", main().cboLayerFields, false);
  EXPECT_EQ(main().cboLayerFields.Items(), (std::vector<std::string>{"FID", "Shape", "NAME", "CLASS", "SEG_ID"}));
  EXPECT_EQ(arc::FieldExists("name", streets.get()), 1);
  EXPECT_EQ(arc::FieldExists("NOPE", streets.get()), -1);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ArcMap, UniqueValueLoadersKeepFirstOrderCaseAndSkipNullsAndBlanks) {
  using host::vb::Variant;
  write_values({"A", "a", "", Variant::Null(), "A"}, {2.0, 2.5, 2.0, 10.0, 2.5});
  focus().AddLayer(Layer("values"));
  arc::LoadComboWithUniqueFieldValues("values", "NAME", main().cboNavIndex, true, nullptr);
  EXPECT_EQ(main().cboNavIndex.Items(), (std::vector<std::string>{"A", "a"}));
  arc::LoadComboWithUniqueFieldValues("values", "NUM", main().cboNavRow, false, nullptr);
  EXPECT_EQ(main().cboNavRow.Items(), (std::vector<std::string>{"2", "2.5", "10"}));
  arc::LoadListWithUniqueFieldValues("values", "NAME", main().lstPrintSelect, true, nullptr);
  EXPECT_EQ(main().lstPrintSelect.Items(), (std::vector<std::string>{"A", "a"}));
  EXPECT_FALSE(app->GetStatusBar().GetProgressBar().Visible());
  // Every value, repeats included, until a Null ends the fill in the error report.
  Answer(host::ui::vbOK);
  arc::LoadComboWithFieldValues("values", "NAME", main().cboNavColumn, nullptr);
  EXPECT_EQ(main().cboNavColumn.Items(), (std::vector<std::string>{"A", "a"}));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("MODULE: LoadComboWithFieldValues ZelvneGIS_ArcMap \r\nERROR DESCRIPTION: Invalid use of Null"),
            std::string::npos);
  Answer(host::ui::vbOK);
  Answer(host::ui::vbOK);
  arc::LoadComboWithUniqueFieldValues("values", "shape", main().cboNavIndex, false, nullptr);
  arc::LoadComboWithUniqueFieldValues("values", "MISSING", main().cboNavIndex, false, nullptr);
  EXPECT_EQ(Boxes()[1].text, "Shape field is not accessible");
  EXPECT_EQ(Boxes()[2].text, "Can't find field: MISSING");
  arc::LoadListWithUniqueFieldValues("values", "MISSING", main().lstPrintSelect, false, nullptr);  // silent
  EXPECT_EQ(Boxes().size(), 3u);
}

TEST_F(ArcMap, QueryValuesAreQuotedByFieldType) {
  write_values({"x"}, {1.0});
  focus().AddLayer(Layer("values"));
  std::string text = "O'Brien", number = "12", day = "1/2/2026";
  EXPECT_EQ(arc::FormatQueryValue("values", "name", text), "'O''Brien'");
  EXPECT_EQ(text, "'O''Brien'");
  EXPECT_EQ(arc::FormatQueryValue("values", "NUM", number), "12");
  EXPECT_EQ(arc::FormatQueryValue("values", "DAY", day), "#1/2/2026#");
  EXPECT_EQ(arc::GetFieldType("values", "DAY"), 5);
  EXPECT_EQ(arc::GetFieldType("values", "NOPE"), 0);
  EXPECT_EQ(arc::GetFieldType("nolayer", "NAME"), 0);
}

TEST_F(ArcMap, FeaturesByValueEvenWithAnApostrophe) {
  auto streets = Layer("streets");
  focus().AddLayer(streets);
  auto f = arc::GetFeatureByValue(streets.get(), "NAME", "O'Brien Ave");
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(host::vb::CStr(f->Value("NAME")), "O'Brien Ave");
  std::string value = "O'Brien Ave";
  auto cursor = arc::GetFeatureCursorByValue(streets.get(), "name", value);
  ASSERT_TRUE(cursor.has_value());
  EXPECT_EQ(value, "'O''Brien Ave'");
  int n = 0;
  while (auto g = cursor->NextFeature()) {
    EXPECT_EQ(host::vb::CStr(g->Value("NAME")), "O'Brien Ave");
    ++n;
  }
  EXPECT_GT(n, 1);
  EXPECT_FALSE(arc::GetFeatureByValue(streets.get(), "NAME", "Main St ").has_value());  // exact text
  EXPECT_FALSE(arc::GetFeatureByValue(streets.get(), " ", "x").has_value());
  EXPECT_FALSE(arc::GetFeatureCursorByQuery(streets.get(), "NAME = 'nowhere'").has_value());
  // A definition query keeps features out of the layer's answers.
  streets->SetDefinitionQuery("NAME <> 'O''Brien Ave'");
  EXPECT_FALSE(arc::GetFeatureByValue(streets.get(), "NAME", "O'Brien Ave").has_value());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ArcMap, ZoomToFeaturePlusZoomsTheFocusMapInLayoutView) {
  auto grid_layer = Layer("grid");
  focus().AddLayer(grid_layer);
  doc().SetActiveView(doc().PageLayout());
  auto tile = arc::GetFeatureByValue(grid_layer.get(), "MB_Label", "A1");
  ASSERT_TRUE(tile.has_value());
  arc::ZoomToFeaturePlus(tile, 0.1);
  geo::Envelope e = focus().Extent();
  geo::Envelope t = tile->Extent();
  // The shown extent holds the widened tile (fitted to the frame's aspect about its centre).
  EXPECT_NEAR(e.Center().X, t.Center().X, 1e-6);
  EXPECT_NEAR(e.Center().Y, t.Center().Y, 1e-6);
  EXPECT_GE(e.Width() + 1e-6, t.Width() * 1.1);
  EXPECT_GE(e.Height() + 1e-6, t.Height() * 1.1);
  EXPECT_TRUE(std::abs(e.Width() - t.Width() * 1.1) < 1e-6 || std::abs(e.Height() - t.Height() * 1.1) < 1e-6);
  EXPECT_TRUE(doc().InLayoutView());
}

TEST_F(ArcMap, ZoomToFieldValueOnPointsWidensALonePoint) {
  write_values({"one", "two", "two"}, {1.0, 2.0, 3.0});
  auto values = Layer("values");
  focus().AddLayer(values);
  std::string v = "one";
  modTolmirex::fZoomToFieldValue(*values, "NAME", v);
  EXPECT_EQ(v, "'one'");
  geo::Envelope e = focus().Extent();
  EXPECT_NEAR(e.Center().X, 0, 1e-6);
  EXPECT_NEAR(e.Center().Y, 500, 1e-6);
  EXPECT_NEAR(std::min(e.Width(), e.Height()), 200, 1e-6);  // 100 map units on every side
  v = "two";
  modTolmirex::fZoomToFieldValue(*values, "NAME", v);
  e = focus().Extent();
  EXPECT_NEAR(e.Center().X, 1500, 1e-6);
  EXPECT_NEAR(e.Width(), 1000, 1e-6);  // from the first to the last point, not widened
  v = "1/1/2026";
  Answer(host::ui::vbOK);
  modTolmirex::fZoomToFieldValue(*values, "DAY", v);
  EXPECT_EQ(Boxes().back().text, "Sorry, Date queries are not supported.");
}

TEST_F(ArcMap, DataInAnyFrameShapefilesByAliasAndHollowFills) {
  EXPECT_FALSE(modTolmirex::fIsData());
  auto second = std::make_shared<carto::Map>("Second");
  doc().AddMap(second);
  second->AddLayer(Layer("poi"));
  EXPECT_TRUE(modTolmirex::fIsData());
  modTolmirex::fAddShapeFile("C:\\town", "grid");
  ASSERT_EQ(focus().LayerCount(), 1);
  EXPECT_EQ(focus().Layer(0)->Name(), "grid");
  modTolmirex::fMakeTransparentFillColor("GRID");
  auto* layer = dynamic_cast<carto::FeatureLayer*>(focus().Layer(0).get());
  ASSERT_NE(layer->Renderer().FillSymbol(), nullptr);
  EXPECT_TRUE(layer->Renderer().FillSymbol()->IsHollow());
  Answer(host::ui::vbOK);
  modTolmirex::fMakeTransparentFillColor2("Mapbook_Index");
  EXPECT_EQ(Boxes().back().text, "Mapbook_Index not found in focus map");
}

TEST_F(ArcMap, ALayerFileJoinsTheFocusMap) {
  auto grid = Layer("grid");
  grid->SetName("Tiles");
  host::carto::SaveLayerFile(*grid, "C:\\town\\tiles.lyr");
  modTolmirex::fAddLayerFile("C:\\town\\tiles.lyr");
  ASSERT_EQ(focus().LayerCount(), 1);
  EXPECT_EQ(focus().Layer(0)->Name(), "Tiles");
  EXPECT_THROW(modTolmirex::fAddLayerFile("C:\\town\\missing.lyr"), host::vb::Error);  // no report of its own
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ArcMap, LayoutTextsAreReplacedByWholeTextWithoutCase) {
  carto::PageLayout& layout = doc().PageLayout();
  auto keyword = std::make_shared<carto::TextElement>("mbdate");
  auto longer = std::make_shared<carto::TextElement>("MBDATE and more");
  auto same_value = std::make_shared<carto::TextElement>("12/7/2026");
  for (const auto& e : {keyword, longer, same_value}) {
    e->SetGeometry(geo::Point{1, 1});
    layout.AddElement(e);
  }
  arc::ReplaceLayoutText("MBDATE", "12/7/2026");
  EXPECT_EQ(keyword->Text(), "12/7/2026");
  EXPECT_EQ(longer->Text(), "MBDATE and more");
  arc::ReplaceLayoutText("12/7/2026", "MBDATE");
  EXPECT_EQ(keyword->Text(), "MBDATE");
  EXPECT_EQ(same_value->Text(), "MBDATE");  // every text equal to the inserted value goes back
}
