// SPDX-License-Identifier: GPL-3.0-or-later
// Transformations between coordinate systems and feature classes seen through one.

#include <gtest/gtest.h>

#include <algorithm>

#include "geodata_testing.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

using namespace geodata_testing;
using testing_support::TempDir;

const gd::SpatialReference& Wgs84() {
  static const gd::SpatialReference sr = gd::SpatialReference::FromEPSG(4326);
  return sr;
}

}  // namespace

TEST(Transformation, OnlyBetweenTwoKnownDifferentSystemsAndLongitudeAsX) {
  const gd::SpatialReference feet = towngen::TownSpatialReference();
  EXPECT_EQ(gd::Transformation::Between(feet, feet), nullptr);
  EXPECT_EQ(gd::Transformation::Between(feet, gd::SpatialReference()), nullptr);
  EXPECT_EQ(gd::Transformation::Between(gd::SpatialReference(), Wgs84()), nullptr);
  auto to_degrees = gd::Transformation::Between(feet, Wgs84());
  ASSERT_NE(to_degrees, nullptr);
  // San Francisco's State Plane numbers land at 122 W, 37.8 N, in that order.
  gd::Point p = to_degrees->Apply(gd::Geometry::MakePoint(6010000, 2110000)).Extent().Center();
  EXPECT_NEAR(p.X, -122.4, 0.2);
  EXPECT_NEAR(p.Y, 37.8, 0.2);
  // Bounds hold the corners both ways and are empty for nothing.
  gd::Envelope box(6000000, 2100000, 6010000, 2110000);
  gd::Envelope there = to_degrees->Bounds(box);
  gd::Envelope back = to_degrees->InverseBounds(there);
  EXPECT_TRUE(back.Contains(box));
  EXPECT_LT(back.Width(), box.Width() * 1.1);
  EXPECT_TRUE(to_degrees->Bounds(gd::Envelope()).IsEmpty());
  EXPECT_TRUE(to_degrees->Apply(gd::Geometry()).IsEmpty());

  auto site = gd::SpatialReference::FromWkt(R"(LOCAL_CS["Site grid",UNIT["Meter",1.0]])");
  EXPECT_EQ(ErrorOf([&] { gd::Transformation::Between(site, feet); }).number(), host::vb::err::HostFailure);
}

TEST(Transformation, ADegreeOfLongitudeShrinksWithLatitude) {
  EXPECT_NEAR(gd::DegreeLength(Wgs84(), 0), 111319.49, 0.01);
  EXPECT_NEAR(gd::DegreeLength(Wgs84(), 60), 55799.98, 0.05);
  EXPECT_NEAR(gd::DegreeLength(Wgs84(), 37.8), 88070.46, 0.01);
  EXPECT_EQ(gd::DegreeLength(towngen::TownSpatialReference(), 37.8), 0);
}

TEST(ProjectedFeatureClass, SearchesInTheTargetSystemAndFollowsChangesOfTheSource) {
  TempDir dir;
  towngen::TownSummary town = towngen::WriteTown(dir.path().string(), {5, 3, 2});
  auto streets = gd::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("streets");
  auto t = gd::Transformation::Between(streets->SpatialRef(), Wgs84());
  auto degrees = std::make_shared<gd::ProjectedFeatureClass>(streets, t);
  EXPECT_EQ(degrees->Name(), "streets");
  EXPECT_EQ(degrees->RowCount(), town.streets);
  EXPECT_EQ(Where(*degrees, "NAME = 'Main St'"), Where(*streets, "NAME = 'Main St'"));
  const gd::Envelope all = degrees->Extent();
  EXPECT_TRUE(all.Contains(t->Bounds(town.extent).Center()));
  // A filter in degrees: the west half of the town.
  gd::Envelope west = all;
  west.SetXMax(all.Center().X);
  gd::SpatialFilter f(gd::Geometry::FromEnvelope(west));
  std::vector<int64_t> found = Oids(degrees->Search(f));
  EXPECT_GT(found.size(), 0u);
  EXPECT_LT(found.size(), size_t(town.streets));
  for (int64_t oid = 0; oid < town.streets; ++oid) {
    const bool meets = t->Apply(streets->GetFeature(oid)->Shape()).Intersects(gd::Geometry::FromEnvelope(west));
    EXPECT_EQ(meets, std::count(found.begin(), found.end(), oid) == 1) << oid;
  }

  // A street moved in the feature class moves in the view.
  const gd::Envelope before = degrees->GetRow(0)->Extent();
  gd::Feature moved = *streets->GetFeature(0);
  auto parts = moved.Shape().Parts();
  for (auto& part : parts)
    for (auto& pt : part) pt.X += 5000;
  moved.SetShape(gd::Geometry::MakePolyline(parts));
  moved.Store();
  const gd::Envelope after = degrees->GetRow(0)->Extent();
  EXPECT_GT(after.XMin(), before.XMin() + 0.01);
  EXPECT_NEAR(after.XMin(), t->Apply(moved.Shape()).Extent().XMin(), 1e-12);
  // Its features are read only.
  gd::Feature row = *degrees->GetRow(1);
  EXPECT_EQ(ErrorOf([&] { row.Store(); }).number(), host::vb::err::HostFailure);

  // Without a transformation there is nothing to show.
  auto none = std::make_shared<gd::ProjectedFeatureClass>(streets, nullptr);
  EXPECT_EQ(none->RowCount(), 0);
  EXPECT_TRUE(none->Extent().IsEmpty());
  EXPECT_TRUE(Oids(none->Search(f)).empty());
  EXPECT_TRUE(Where(*none, "NAME = 'Main St'").empty());
  gd::ShapefileWorkspace::ClearCache();
}
