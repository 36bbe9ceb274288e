// SPDX-License-Identifier: GPL-3.0-or-later
// Layers over real shapefiles: lookups, searches with definition queries and joins,
// selections, copies, and what the first layer does to a map.

#include <gtest/gtest.h>

#include "host/carto/carto_testing.h"
#include "support/temp_dir.h"

using namespace host;
using namespace host::carto;
using carto_testing::ErrorOf;
using carto_testing::ExpectEnvelope;
using carto_testing::Oids;
using carto_testing::WritePoints;
using carto_testing::WriteTiles;
using geodata::Envelope;
using geodata::QueryFilter;

namespace {

class Layers : public ::testing::Test {
 protected:
  void SetUp() override {
    tiles = WriteTiles(dir.path(), "tiles", 4, 3);  // 12 tiles, 400 x 300
    points = WritePoints(dir.path(), "points", {{50, 50}, {150, 250}, {350, 150}});
  }
  testing_support::TempDir dir;
  std::shared_ptr<geodata::FeatureClass> tiles, points;
};

std::vector<std::string> Names(const std::vector<std::shared_ptr<FeatureLayer>>& layers) {
  std::vector<std::string> out;
  for (const auto& l : layers) out.push_back(l->Name());
  return out;
}

}  // namespace

TEST_F(Layers, LookupsGoOneLevelIntoGroupsAndTakeTheLastMatch) {
  Map map("Main");
  auto inner = std::make_shared<GroupLayer>("Inner");
  inner->Add(std::make_shared<FeatureLayer>(points));
  inner->Layer(0)->SetName("Deep");
  auto group = std::make_shared<GroupLayer>("Group");
  auto grid_in_group = std::make_shared<FeatureLayer>(tiles);
  grid_in_group->SetName("GRID");
  group->Add(grid_in_group);
  group->Add(inner);
  auto grid_on_top = std::make_shared<FeatureLayer>(tiles);
  grid_on_top->SetName("Grid");
  map.AddLayer(group);        // ends at index 1
  map.AddLayer(grid_on_top);  // index 0: the top
  ASSERT_EQ(map.LayerCount(), 2);
  EXPECT_EQ(map.Layer(0), grid_on_top);

  EXPECT_EQ(Names(LookupFeatureLayers(map)), (std::vector<std::string>{"Grid", "GRID"}));
  EXPECT_EQ(Names(map.AllFeatureLayers()), (std::vector<std::string>{"Grid", "GRID", "Deep"}));
  // Both match without regard to case; the later one in map order wins.
  EXPECT_EQ(FindFeatureLayer(map, "grid"), grid_in_group);
  EXPECT_EQ(FindFeatureLayer(map, "deep"), nullptr);  // two levels down
  EXPECT_EQ(FindFeatureLayer(map, "Group"), nullptr);  // not a feature layer

  map.InsertLayer(99, std::make_shared<FeatureLayer>(points));  // at the bottom
  EXPECT_EQ(map.Layer(2)->Name(), "points");
  map.MoveLayer(*map.Layer(2), 0);
  EXPECT_EQ(map.Layer(0)->Name(), "points");
  map.DeleteLayer(*grid_on_top);
  EXPECT_EQ(map.LayerCount(), 2);
  EXPECT_EQ(ErrorOf([&] { map.Layer(2); }).number(), vb::err::SubscriptOutOfRange);
  EXPECT_EQ(ErrorOf([&] { group->Add(group); }).number(), vb::err::InvalidCall);
}

TEST_F(Layers, TheFirstLayerSetsTheExtentAndTheAreasAddUp) {
  Document doc;
  auto map = doc.FocusMap();
  auto far = WriteTiles(dir.path(), "far", 1, 1, 100, 1000, 1000);
  map->AddLayer(std::make_shared<FeatureLayer>(tiles));
  // 400 x 300 fitted to the 1024 x 768 window: exactly the tiles.
  ExpectEnvelope(map->Extent(), 0, 0, 400, 300);
  map->AddLayer(std::make_shared<FeatureLayer>(far));
  ExpectEnvelope(map->Extent(), 0, 0, 400, 300);  // only the first layer zooms
  ExpectEnvelope(map->FullExtent(), 0, 0, 1100, 1100);
  auto group = std::make_shared<GroupLayer>("g");
  group->Add(std::make_shared<FeatureLayer>(points));
  ExpectEnvelope(group->AreaOfInterest(), 50, 50, 350, 250);
  EXPECT_TRUE(GroupLayer().AreaOfInterest().IsEmpty());

  // A new layer is named by its class and drawn by a symbol of its shape type.
  FeatureLayer polys(tiles), dots(points);
  EXPECT_EQ(polys.Name(), "tiles");
  ASSERT_NE(polys.Renderer().FillSymbol(), nullptr);
  EXPECT_FALSE(polys.Renderer().FillSymbol()->IsHollow());
  EXPECT_NE(dots.Renderer().MarkerSymbol(), nullptr);
  EXPECT_EQ(polys.Renderer(), FeatureLayer(tiles).Renderer());  // the same every time
}

TEST_F(Layers, TheFirstLayerWithACoordinateSystemGivesTheMapItsUnits) {
  auto feet = WriteTiles(dir / "ca", "parcels", 2, 1, 500, 6010000, 2110000, geodata::SpatialReference::FromEPSG(2227));
  auto meters = WriteTiles(dir / "utm", "parcels", 2, 1, 500, 500000, 4000000, geodata::SpatialReference::FromEPSG(32610));
  Document doc;
  auto map = doc.FocusMap();
  map->SetMapUnits(Units::Meters);  // the coordinate system's unit wins
  map->AddLayer(std::make_shared<FeatureLayer>(tiles));  // none: nothing to take
  EXPECT_TRUE(map->SpatialReference().IsUnknown());
  map->ClearLayers();
  map->AddLayer(std::make_shared<FeatureLayer>(feet));
  EXPECT_EQ(map->MapUnits(), Units::Feet);
  doc.SetDataWindowSize(960, 480);  // 10 x 5 inches
  map->SetExtent(Envelope(6010000, 2110000, 6011000, 2110500));
  // US survey feet are a little longer than feet.
  EXPECT_NEAR(map->MapScale(), 1000 * 1200.0 / 3937 / 0.0254 / 10, 1e-9);
  EXPECT_NE(map->MapScale(), 1200);
  map->SetMapScale(2400);
  EXPECT_NEAR(map->MapScale(), 2400, 1e-9);

  Map utm("UTM");
  utm.AddLayer(std::make_shared<FeatureLayer>(meters));
  EXPECT_EQ(utm.MapUnits(), Units::Meters);
  utm.SetExtent(Envelope(500000, 4000000, 500254, 4000100));
  EXPECT_NEAR(utm.MapScale(), 254 / (1024 / 96.0) / 0.0254, 1e-6);
}

TEST_F(Layers, DefinitionQueriesApplyToTheLayerNotToItsFeatureClass) {
  FeatureLayer layer(tiles);
  layer.SetDefinitionQuery("ZONE = 1");
  EXPECT_EQ(Oids(layer.Search()), (std::vector<int64_t>{1, 4, 7, 10}));
  QueryFilter filter("FID > 4");
  EXPECT_EQ(Oids(layer.Search(filter)), (std::vector<int64_t>{7, 10}));
  EXPECT_EQ(layer.FeatureCount(&filter), 2);
  EXPECT_EQ(Oids(tiles->Search(filter)).size(), 7u);  // the class itself is not limited

  // A spatial filter keeps its shape under the definition query.
  geodata::SpatialFilter near(geodata::Geometry::FromEnvelope(Envelope(110, 10, 120, 20)));
  EXPECT_EQ(Oids(layer.Search(near)), (std::vector<int64_t>{1}));
  layer.SetDefinitionQuery("ZONE = 0");
  EXPECT_TRUE(Oids(layer.Search(near)).empty());

  layer.SelectFeatures(nullptr);
  EXPECT_EQ(layer.SelectionSet().IDs(), (std::vector<int64_t>{0, 3, 6, 9}));
  layer.SetDefinitionQuery("");
  layer.SelectFeatures(&filter, SelectionResult::And);
  EXPECT_EQ(layer.SelectionSet().IDs(), (std::vector<int64_t>{6, 9}));
  layer.SelectFeatures(&filter, SelectionResult::Subtract);
  EXPECT_EQ(layer.SelectionCount(), 0);

  layer.SetDefinitionQuery("NO_SUCH = 1");
  EXPECT_NE(ErrorOf([&] { layer.Search(); }).description().find("NO_SUCH"), std::string::npos);
  FeatureLayer empty;
  EXPECT_EQ(ErrorOf([&] { empty.Search(); }).number(), vb::err::ObjectNotSet);
  EXPECT_EQ(CombineWhereClauses("a = 1", " "), "a = 1");
  EXPECT_EQ(CombineWhereClauses("a = 1", "b = 2 OR c = 3"), "(a = 1) AND (b = 2 OR c = 3)");
}

TEST_F(Layers, AJoinedTableIsTheDisplayTableAndItsFieldsCanBeQueried) {
  testing_support::WriteFile(dir / "owners.csv", "KEY,OWNER,VALUE\nK1,Ann,10\nK2,Bob,20\nK5,Ann,30\n");
  FeatureLayer layer(tiles);
  EXPECT_EQ(layer.DisplayTable(), tiles);
  layer.AddJoin(dir / "owners.csv", "KEY", "KEY");
  ASSERT_TRUE(layer.HasJoin());
  std::shared_ptr<geodata::Table> display = layer.DisplayTable();
  EXPECT_NE(display, tiles);
  EXPECT_GE(display->FindField("owners.OWNER"), 0);
  EXPECT_EQ(tiles->FindField("OWNER"), -1);

  // The layer's search reads joined fields; its features are the class's own.
  auto cursor = layer.Search(QueryFilter("OWNER = 'Ann'"));
  auto first = cursor.NextFeature();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->OID(), 1);
  EXPECT_EQ(vb::CStr(first->Value("LABEL")), "T1");
  EXPECT_EQ(first->Fields().FieldCount(), tiles->Fields().FieldCount());
  EXPECT_EQ(cursor.NextFeature()->OID(), 5);
  EXPECT_FALSE(cursor.NextFeature());
  // A clause on the layer's own object-ID field works through the join.
  EXPECT_EQ(Oids(layer.Search(QueryFilter("FID = 2"))), (std::vector<int64_t>{2}));

  layer.SetDefinitionQuery("owners.VALUE >= 20");
  EXPECT_EQ(Oids(layer.Search()), (std::vector<int64_t>{2, 5}));
  layer.RemoveJoin();
  EXPECT_EQ(layer.DisplayTable(), tiles);
  EXPECT_NE(ErrorOf([&] { layer.AddJoin(dir / "owners.csv", "NOPE", "KEY"); }).description().find("NOPE"),
            std::string::npos);
  EXPECT_FALSE(layer.HasJoin());
}

TEST_F(Layers, SelectionsAddUpOverTheMapsLayers) {
  Map map("Main");
  auto grid = std::make_shared<FeatureLayer>(tiles);
  auto dots = std::make_shared<FeatureLayer>(points);
  auto group = std::make_shared<GroupLayer>("g");
  group->Add(dots);
  map.AddLayer(group);
  map.AddLayer(grid);
  QueryFilter few("FID IN (2, 7)");
  grid->SelectFeatures(&few);
  dots->SelectFeatures(nullptr);
  EXPECT_EQ(map.SelectionCount(), 5);

  EnumFeature selected = map.FeatureSelection();
  std::vector<std::string> seen;
  while (auto f = selected.Next()) seen.push_back(vb::CStr(f->Value(f->Fields().FindField("LABEL") >= 0 ? "LABEL" : "NAME")));
  EXPECT_EQ(seen, (std::vector<std::string>{"T2", "T7", "P0", "P1", "P2"}));
  selected.Reset();
  auto first = selected.Next();
  ASSERT_TRUE(first);
  EXPECT_TRUE(first->HasOID());
  EXPECT_EQ(first->OID(), 2);

  map.ClearSelection();
  EXPECT_EQ(map.SelectionCount(), 0);
  EXPECT_FALSE(map.FeatureSelection().Next());
}

TEST_F(Layers, ACopySharesTheDataButNothingElse) {
  auto grid = std::make_shared<FeatureLayer>(tiles);
  grid->SetDefinitionQuery("ZONE = 2");
  grid->Labels().SetExpression("[LABEL]");
  grid->SetDisplayAnnotation(true);
  QueryFilter one("FID = 2");
  grid->SelectFeatures(&one);

  auto copy = std::dynamic_pointer_cast<FeatureLayer>(ObjectCopier().Copy(std::shared_ptr<Layer>(grid)));
  ASSERT_TRUE(copy);
  EXPECT_NE(copy, grid);
  EXPECT_EQ(copy->FeatureClass(), grid->FeatureClass());
  EXPECT_EQ(copy->DefinitionQuery(), "ZONE = 2");
  EXPECT_EQ(copy->Labels().Expression(), "[LABEL]");
  EXPECT_EQ(copy->SelectionSet().IDs(), (std::vector<int64_t>{2}));

  copy->SetRenderer(SimpleRenderer(SimpleFillSymbol(RgbColor(0, 0, 0, 0))));
  copy->Labels().Symbol().SetSize(18);
  copy->SetDefinitionQuery("");
  copy->ClearSelection();
  copy->SetName("copy");
  EXPECT_FALSE(grid->Renderer().FillSymbol()->IsHollow());
  EXPECT_EQ(grid->Labels().Symbol().Size(), 8);
  EXPECT_EQ(grid->DefinitionQuery(), "ZONE = 2");
  EXPECT_EQ(grid->SelectionCount(), 1);
  EXPECT_EQ(grid->Name(), "tiles");

  // A group copies its layers.
  GroupLayer group("g");
  group.Add(grid);
  auto group_copy = std::dynamic_pointer_cast<GroupLayer>(group.Clone());
  ASSERT_EQ(group_copy->Count(), 1);
  EXPECT_NE(group_copy->Layer(0), grid);
}

TEST_F(Layers, LabelsReplaceFieldsByTheirValues) {
  FeatureLayer layer(tiles);
  LabelProperties& labels = layer.AnnotationProperties().QueryItem(0);
  EXPECT_EQ(&labels, &layer.Labels());
  labels.SetExpression("Sheet [LABEL] ([zone]) [MISSING]");
  EXPECT_EQ(labels.ExpressionFields(), (std::vector<std::string>{"LABEL", "zone", "MISSING"}));
  auto f = tiles->GetFeature(5);
  ASSERT_TRUE(f);
  EXPECT_EQ(labels.LabelText(*f), "Sheet T5 (2) ");
  EXPECT_EQ(ErrorOf([&] { layer.AnnotationProperties().QueryItem(1); }).number(), vb::err::SubscriptOutOfRange);
}
