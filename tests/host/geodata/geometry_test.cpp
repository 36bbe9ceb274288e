// SPDX-License-Identifier: GPL-3.0-or-later
// Envelopes, shapes and coordinate systems.

#include <gtest/gtest.h>

#include "geodata_testing.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;

TEST(Envelope, EmptyBuiltOneSideAtATimeAndNormalised) {
  gd::Envelope e;
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(e.Width(), 0);
  e.SetXMin(10);
  e.SetXMax(30);
  e.SetYMin(5);
  EXPECT_TRUE(e.IsEmpty());
  e.SetYMax(25);
  EXPECT_FALSE(e.IsEmpty());
  EXPECT_EQ(e.Width(), 20);
  EXPECT_EQ(e.Height(), 20);
  EXPECT_EQ(e.Center(), (gd::Point{20, 15}));
  EXPECT_EQ(gd::Envelope(30, 25, 10, 5), e);
  EXPECT_EQ(e.UpperLeft(), (gd::Point{10, 25}));
  e.SetEmpty();
  EXPECT_TRUE(e.IsEmpty());
  EXPECT_EQ(gd::Envelope(), gd::Envelope());
}

void ExpectNear(const gd::Envelope& a, const gd::Envelope& b) {
  EXPECT_NEAR(a.XMin(), b.XMin(), 1e-9);
  EXPECT_NEAR(a.YMin(), b.YMin(), 1e-9);
  EXPECT_NEAR(a.XMax(), b.XMax(), 1e-9);
  EXPECT_NEAR(a.YMax(), b.YMax(), 1e-9);
}

TEST(Envelope, ExpandUnionAndTests) {
  gd::Envelope e(0, 0, 100, 50);
  e.Expand(1.1, 1.1, true);  // 10 % wider and higher about the centre
  ExpectNear(e, gd::Envelope(-5, -2.5, 105, 52.5));
  e.Expand(5, 2.5, false);
  ExpectNear(e, gd::Envelope(-10, -5, 110, 55));
  gd::Envelope point(7, 7, 7, 7);
  point.Expand(3, 3, true);  // nothing to multiply
  EXPECT_EQ(point, gd::Envelope(7, 7, 7, 7));
  gd::Envelope empty;
  empty.Expand(2, 2, true);
  EXPECT_TRUE(empty.IsEmpty());

  gd::Envelope u;
  u.Union(gd::Envelope(0, 0, 1, 1));
  u.Union(gd::Envelope());
  u.Union(gd::Envelope(5, -2, 6, 0));
  EXPECT_EQ(u, gd::Envelope(0, -2, 6, 1));
  EXPECT_TRUE(gd::Envelope(0, 0, 1, 1).Intersects(gd::Envelope(1, 1, 2, 2)));  // a shared corner
  EXPECT_FALSE(gd::Envelope(0, 0, 1, 1).Intersects(gd::Envelope(1.5, 0, 2, 1)));
  EXPECT_FALSE(gd::Envelope().Intersects(gd::Envelope(0, 0, 1, 1)));
  EXPECT_TRUE(u.Contains(gd::Point{6, 1}));
  EXPECT_EQ(u.Intersection(gd::Envelope(5, 0, 10, 10)), gd::Envelope(5, 0, 6, 1));
  u.CenterAt({0, 0});
  EXPECT_EQ(u, gd::Envelope(-3, -1.5, 3, 1.5));
  u.Offset(1, 1);
  EXPECT_EQ(u, gd::Envelope(-2, -0.5, 4, 2.5));
}

TEST(Geometry, ShapesFromPointsAndEnvelopes) {
  gd::Geometry none;
  EXPECT_TRUE(none.IsEmpty());
  EXPECT_EQ(none.Type(), gd::GeometryType::Null);
  EXPECT_TRUE(none.Extent().IsEmpty());
  EXPECT_FALSE(none.Intersects(gd::Geometry::MakePoint(0, 0)));

  gd::Geometry rect = gd::Geometry::FromEnvelope(gd::Envelope(0, 0, 10, 20));
  EXPECT_EQ(rect.Type(), gd::GeometryType::Polygon);
  EXPECT_EQ(rect.Extent(), gd::Envelope(0, 0, 10, 20));
  EXPECT_DOUBLE_EQ(rect.Area(), 200);
  EXPECT_DOUBLE_EQ(rect.Length(), 60);
  auto parts = rect.Parts();
  ASSERT_EQ(parts.size(), 1u);
  EXPECT_EQ(parts[0], (std::vector<gd::Point>{{0, 20}, {10, 20}, {10, 0}, {0, 0}, {0, 20}}));
  EXPECT_TRUE(rect.Extent().Contains(rect.LabelPoint()));

  gd::Geometry line = gd::Geometry::MakePolyline(std::vector<gd::Point>{{-5, 10}, {0, 10}});
  EXPECT_EQ(line.Type(), gd::GeometryType::Polyline);
  EXPECT_TRUE(line.Intersects(rect));  // touches the edge
  EXPECT_FALSE(gd::Geometry::MakePolyline(std::vector<gd::Point>{{-5, 10}, {-1, 30}}).Intersects(rect));
  EXPECT_EQ(line.LabelPoint(), (gd::Point{-2.5, 10}));

  gd::Geometry holed = gd::Geometry::MakePolygon(std::vector<std::vector<gd::Point>>{
      {{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{4, 4}, {6, 4}, {6, 6}, {4, 6}}});
  EXPECT_DOUBLE_EQ(holed.Area(), 96);
  EXPECT_FALSE(holed.Intersects(gd::Geometry::MakePoint(5, 5)));  // in the hole
  EXPECT_TRUE(holed.Intersects(gd::Geometry::MakePoint(1, 1)));

  gd::Geometry copy = holed;
  EXPECT_EQ(copy, holed);
  EXPECT_EQ(gd::Geometry::FromWkt(holed.ToWkt()), holed);
  EXPECT_EQ(gd::Geometry::MakeMultipoint({{1, 2}, {3, 4}}).PointCount(), 2);
  EXPECT_EQ(ErrorOf([] { gd::Geometry::FromWkt("POLYGON ((0 0"); }).number(), vb::err::InvalidCall);
}

TEST(SpatialReference, Units) {
  EXPECT_TRUE(gd::SpatialReference().IsUnknown());
  EXPECT_EQ(gd::SpatialReference().Unit(), gd::LinearUnit::Unknown);
  EXPECT_EQ(gd::SpatialReference::FromEPSG(2227).Unit(), gd::LinearUnit::Feet);
  EXPECT_EQ(gd::SpatialReference::FromEPSG(2276).Unit(), gd::LinearUnit::Feet);  // international feet
  EXPECT_EQ(gd::SpatialReference::FromEPSG(32610).Unit(), gd::LinearUnit::Meters);
  EXPECT_EQ(gd::SpatialReference::FromEPSG(4326).Unit(), gd::LinearUnit::Degrees);
  gd::SpatialReference utm = gd::SpatialReference::FromEPSG(32610);
  EXPECT_TRUE(gd::SpatialReference::FromWkt(utm.ToWkt()).IsSame(utm));
  EXPECT_FALSE(utm.IsSame(gd::SpatialReference()));
  EXPECT_EQ(ErrorOf([] { gd::SpatialReference::FromEPSG(999999); }).number(), vb::err::HostFailure);
}

}  // namespace
