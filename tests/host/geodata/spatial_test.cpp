// SPDX-License-Identifier: GPL-3.0-or-later
// Spatial filters against a brute-force test of every feature with OGR directly.

#include <gtest/gtest.h>

#include <ogr_geometry.h>

#include "geodata_testing.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;
using Ids = std::vector<int64_t>;

class SpatialTest : public ::testing::Test {
 protected:
  void SetUp() override {
    towngen::TownSummary town = towngen::WriteTown(dir_.path().string(), {7, 9, 8});
    towngen::WriteTileGrid(dir_.path().string(), "grid", town.extent, 6, 5);
    ws_ = gd::ShapefileWorkspace::Open(dir_.path().string());
    streets_ = ws_->OpenFeatureClass("streets");
    grid_ = ws_->OpenFeatureClass("grid");
  }

  Ids BruteForce(gd::FeatureClass& fc, const gd::Geometry& g, const std::string& where = "") {
    Ids out;
    gd::QueryFilter q(where);
    for (int64_t oid : fc.SearchOIDs(&q)) {
      gd::Geometry s = fc.GetFeature(oid)->Shape();
      if (g.ogr()->Intersects(s.ogr())) out.push_back(oid);
    }
    return out;
  }

  testing_support::TempDir dir_;
  std::shared_ptr<gd::ShapefileWorkspace> ws_;
  std::shared_ptr<gd::FeatureClass> streets_, grid_;
};

TEST_F(SpatialTest, EveryTileFindsTheStreetsThatTouchIt) {
  int nonEmpty = 0;
  for (auto c = grid_->Search(); auto tile = c.NextFeature();) {
    gd::SpatialFilter f(tile->Shape(), gd::SpatialRelation::Intersects);
    f.SetGeometryField(streets_->ShapeFieldName());
    Ids found = Oids(streets_->Search(f));
    EXPECT_EQ(found, BruteForce(*streets_, tile->Shape())) << "tile " << tile->OID();
    EXPECT_EQ(streets_->FeatureCount(f), int64_t(found.size()));
    nonEmpty += found.empty() ? 0 : 1;
  }
  EXPECT_GT(nonEmpty, 10);
}

TEST_F(SpatialTest, ShapesThatAreNotRectanglesAndTouchingEdges) {
  gd::Envelope e = streets_->Extent();
  gd::Point c = e.Center();
  // A thin triangle: envelopes meet far more streets than the shape does.
  gd::Geometry tri = gd::Geometry::MakePolygon(
      std::vector<gd::Point>{{e.XMin(), e.YMin()}, {e.XMax(), e.YMax()}, {e.XMax(), e.YMax() - 50}});
  Ids exact = Oids(streets_->Search(gd::SpatialFilter(tri)));
  EXPECT_EQ(exact, BruteForce(*streets_, tri));
  Ids boxes = Oids(streets_->Search(gd::SpatialFilter(tri, gd::SpatialRelation::EnvelopeIntersects)));
  EXPECT_GT(boxes.size(), exact.size());
  EXPECT_TRUE(std::includes(boxes.begin(), boxes.end(), exact.begin(), exact.end()));

  // A line and a point as the filter shape.
  gd::Geometry line = gd::Geometry::MakePolyline(std::vector<gd::Point>{{e.XMin(), c.Y + 7}, {e.XMax(), c.Y + 7}});
  EXPECT_EQ(Oids(streets_->Search(gd::SpatialFilter(line))), BruteForce(*streets_, line));
  auto first = streets_->GetFeature(0);
  gd::Geometry end = gd::Geometry::MakePoint(first->Shape().Parts()[0][1]);
  Ids atEnd = Oids(streets_->Search(gd::SpatialFilter(end)));
  EXPECT_EQ(atEnd, BruteForce(*streets_, end));
  EXPECT_GE(atEnd.size(), 2u);  // segments meet at corners
}

TEST_F(SpatialTest, SpatialFilterWithAWhereClause) {
  gd::Geometry all = gd::Geometry::FromEnvelope(grid_->Extent());
  gd::SpatialFilter f(all, gd::SpatialRelation::Intersects, "NAME = 'O''Brien Ave'");
  Ids found = Oids(streets_->Search(f));
  EXPECT_EQ(found, Where(*streets_, "NAME = 'O''Brien Ave'"));
  EXPECT_EQ(found.size(), 8u);
  f.SetWhereClause("NAME = 'O'Brien Ave'");
  EXPECT_EQ(ErrorOf([&] { streets_->Search(f); }).number(), vb::err::HostFailure);
}

TEST_F(SpatialTest, BadSpatialFilters) {
  EXPECT_EQ(ErrorOf([&] { streets_->Search(gd::SpatialFilter(gd::Geometry())); }).number(), vb::err::HostFailure);
  gd::SpatialFilter f(gd::Geometry::MakePoint(0, 0));
  f.SetGeometryField("Geom");
  EXPECT_EQ(ErrorOf([&] { streets_->Search(f); }).number(), vb::err::HostFailure);
  f.SetGeometryField("SHAPE");
  EXPECT_NO_THROW(streets_->Search(f));
}

}  // namespace
