// SPDX-License-Identifier: GPL-3.0-or-later
// Maps and layers in different coordinate systems: which system a map takes, layers
// shown in it, degree scales, locators across maps, and layers that cannot be shown.

#include <gtest/gtest.h>

#include <cmath>

#include "host/carto/carto_testing.h"
#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

using namespace host;
using namespace host::carto;
using carto_testing::WriteTiles;
using geodata::Envelope;
using geodata::SpatialReference;

namespace {

const SpatialReference& Wgs84() {
  static const SpatialReference sr = SpatialReference::FromEPSG(4326);
  return sr;
}

// A point given in degrees, in the demo town's State Plane feet.
geodata::Point StatePlane(double lon, double lat) {
  auto t = geodata::Transformation::Between(Wgs84(), towngen::TownSpatialReference());
  return t->Apply(geodata::Geometry::MakePoint(lon, lat)).Extent().Center();
}

class CoordinateSystems : public ::testing::Test {
 protected:
  void SetUp() override {
    town = towngen::WriteTown(dir.path().string(), {3, 4, 3});
    streets = geodata::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("streets");
  }
  void TearDown() override { geodata::ShapefileWorkspace::ClearCache(); }
  testing_support::TempDir dir;
  towngen::TownSummary town;
  std::shared_ptr<geodata::FeatureClass> streets;
};

}  // namespace

TEST_F(CoordinateSystems, TheMapTakesTheFirstSystemThereIsAndLayersWithoutOneAreInIt) {
  Map map;
  // A grid without a coordinate system, made over the town's own numbers.
  towngen::WriteTileGrid(dir.path().string(), "grid", town.extent, 2, 2);
  auto grid = std::make_shared<FeatureLayer>(geodata::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("grid"));
  map.AddLayer(grid);
  EXPECT_TRUE(map.SpatialReference().IsUnknown());
  const Envelope grid_area = grid->AreaOfInterest();
  auto group = std::make_shared<GroupLayer>("Town");
  auto layer = std::make_shared<FeatureLayer>(streets);
  group->Add(layer);
  map.AddLayer(group);
  EXPECT_TRUE(map.SpatialReference().IsSame(towngen::TownSpatialReference()));
  EXPECT_EQ(grid->AreaOfInterest(), grid_area);  // taken to be in the map's system
  EXPECT_EQ(layer->MapFeatures(), layer->FeatureClass());

  // Set in degrees (as a document's coordinateSystem does): every layer follows, those
  // put into the group later too; the grid stays in the map's numbers.
  map.SetSpatialReference(Wgs84());
  const Envelope degrees = layer->AreaOfInterest();
  EXPECT_GT(degrees.XMin(), -123);
  EXPECT_LT(degrees.XMax(), -122);
  EXPECT_NEAR(degrees.Center().Y, 37.8, 0.2);
  auto later = std::make_shared<FeatureLayer>(streets);
  group->Add(later);
  EXPECT_EQ(later->AreaOfInterest(), degrees);
  EXPECT_EQ(grid->AreaOfInterest(), grid_area);
  EXPECT_NE(layer->MapFeatures(), layer->FeatureClass());
  // A copy keeps showing the features in degrees.
  auto copy = std::dynamic_pointer_cast<FeatureLayer>(ObjectCopier().Copy(layer));
  EXPECT_EQ(copy->AreaOfInterest(), degrees);

  // Features found come in degrees; attribute searches still read the feature class.
  auto first = layer->Search(geodata::QueryFilter("NAME = 'Main St'")).NextFeature();
  ASSERT_TRUE(first);
  EXPECT_TRUE(degrees.Contains(first->Extent()));
  EXPECT_EQ(layer->FeatureCount(), town.streets);
  layer->SelectFeatures(nullptr);
  EnumFeature selected = map.FeatureSelection();
  ASSERT_EQ(selected.Count(), size_t(town.streets));
  EXPECT_TRUE(degrees.Contains(selected.Next()->Extent()));
  // A definition query and a shape in degrees together.
  layer->SetDefinitionQuery("NAME = 'Main St'");
  const int64_t main_streets = layer->FeatureCount();
  EXPECT_GT(main_streets, 1);
  geodata::SpatialFilter everywhere(geodata::Geometry::FromEnvelope(degrees));
  EXPECT_EQ(layer->FeatureCount(&everywhere), main_streets);
  geodata::SpatialFilter first_only(geodata::Geometry::FromEnvelope(first->Extent()),
                                    geodata::SpatialRelation::EnvelopeIntersects, "FID = " + std::to_string(first->OID()));
  EXPECT_EQ(layer->SearchOIDs(&first_only), std::vector<int64_t>{first->OID()});
  layer->SetDefinitionQuery("");
  // The projected features are read only.
  EXPECT_EQ(carto_testing::ErrorOf([&] { first->Store(); }).number(), vb::err::HostFailure);
}

TEST_F(CoordinateSystems, ADegreeMapAtThirtySevenPointEightNorthHasTheProjectedMapsScale) {
  Map feet("Feet"), degrees("Degrees");
  feet.SetSpatialReference(towngen::TownSpatialReference());
  degrees.SetSpatialReference(Wgs84());
  const geodata::Point centre = StatePlane(-122.27, 37.8);
  feet.SetExtent(Envelope(centre.X - 6000, centre.Y - 4500, centre.X + 6000, centre.Y + 4500));
  // The same ground in degrees: the middles of the left and right edges.
  const Envelope e = feet.Extent();
  auto back = geodata::Transformation::Between(towngen::TownSpatialReference(), Wgs84());
  const geodata::Point west = back->Apply(geodata::Geometry::MakePoint(e.XMin(), e.Center().Y)).Extent().Center();
  const geodata::Point east = back->Apply(geodata::Geometry::MakePoint(e.XMax(), e.Center().Y)).Extent().Center();
  const double half = (east.X - west.X) / 2;
  const geodata::Point mid{(east.X + west.X) / 2, (east.Y + west.Y) / 2};
  EXPECT_NEAR(mid.Y, 37.8, 0.01);
  degrees.SetExtent(Envelope(mid.X - half, mid.Y - 0.001, mid.X + half, mid.Y + 0.001));
  const double ratio = degrees.MapScale() / feet.MapScale();
  std::printf("degree map scale 1:%.0f, State Plane map scale 1:%.0f, ratio %.5f\n", degrees.MapScale(),
              feet.MapScale(), ratio);
  EXPECT_NEAR(ratio, 1.0, 0.01);
  // Setting a scale in degrees gives that scale back, about the same centre.
  degrees.SetMapScale(24000);
  EXPECT_NEAR(degrees.MapScale(), 24000, 1e-6);
  EXPECT_NEAR(degrees.Extent().Center().Y, mid.Y, 1e-9);
  // Near the pole the scale stays finite.
  degrees.SetExtent(Envelope(0, 89.9, 1, 90));
  EXPECT_GT(degrees.MapScale(), 0);
  EXPECT_TRUE(std::isfinite(degrees.MapScale()));
}

TEST_F(CoordinateSystems, ALocatorOutlinesTheOtherMapsExtentInItsOwnMapsSystem) {
  Document doc;
  auto main = doc.FocusMap();
  main->SetSpatialReference(towngen::TownSpatialReference());
  main->SetExtent(town.extent);
  auto inset = std::make_shared<Map>("Inset");
  inset->SetSpatialReference(Wgs84());
  auto frame = std::make_shared<MapFrame>(inset);
  frame->SetGeometry(Envelope(1, 1, 3, 3));
  doc.PageLayout().AddElement(frame);
  auto layer = std::make_shared<FeatureLayer>(streets);
  inset->AddLayer(layer);  // the first layer sets the extent, in degrees
  LocatorRectangle locator(frame);
  const Envelope in_feet = locator.ExtentIn(*main);
  EXPECT_GT(in_feet.XMin(), town.extent.XMin() - 1000);
  EXPECT_LT(in_feet.XMax(), town.extent.XMax() + 1000);
  EXPECT_TRUE(in_feet.Contains(Envelope(town.extent.Center().X - 1, town.extent.Center().Y - 1,
                                        town.extent.Center().X + 1, town.extent.Center().Y + 1)));
  EXPECT_EQ(locator.ExtentIn(*inset), inset->Extent());
}

TEST_F(CoordinateSystems, ALayerThatCannotBeTransformedDrawsNothingAndSaysWhy) {
  // A local site grid has no transformation to any earth-bound system.
  testing_support::WriteFile(dir / "streets.prj", R"(LOCAL_CS["Site grid",UNIT["Meter",1.0]])");
  streets.reset();
  geodata::ShapefileWorkspace::ClearCache();
  auto site = geodata::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("streets");
  ASSERT_FALSE(site->SpatialRef().IsUnknown());
  ASSERT_FALSE(site->SpatialRef().IsProjected());
  Map map;
  map.SetSpatialReference(towngen::TownSpatialReference());
  auto layer = std::make_shared<FeatureLayer>(site);
  map.AddLayer(layer);
  EXPECT_NE(layer->ProjectionProblem().find("The layer \"streets\" cannot be drawn in the map's coordinate system"),
            std::string::npos)
      << layer->ProjectionProblem();
  EXPECT_TRUE(layer->AreaOfInterest().IsEmpty());
  EXPECT_EQ(layer->FeatureCount(), 0);
  EXPECT_FALSE(layer->Search().NextFeature());
  geodata::SpatialFilter all(geodata::Geometry::FromEnvelope(town.extent));
  EXPECT_FALSE(layer->Search(all).NextFeature());
  // In a map of its own system it is a layer like any other.
  Map own;
  auto same = std::make_shared<FeatureLayer>(site);
  own.AddLayer(same);
  EXPECT_EQ(same->ProjectionProblem(), "");
  EXPECT_EQ(same->FeatureCount(), town.streets);
}
