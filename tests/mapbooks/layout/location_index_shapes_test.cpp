// SPDX-License-Identifier: GPL-3.0-or-later
// The location index over polygons, large and small, against tiles: the pairs it finds
// are exactly those whose shapes share a point, in the order of the walk.

#include <gtest/gtest.h>

#include <cmath>

#include "host/carto/layer.h"
#include "host/geodata/workspace.h"
#include "host/vb/convert.h"
#include "host/vb/error.h"
#include "host/vb/text.h"
#include "mapbooks/layout/LocationIndex.h"
#include "support/temp_dir.h"

namespace geo = host::geodata;

namespace {

// A ring of many points along the outline of the given corners (each side cut into
// pieces), so that the shape counts as large.
std::vector<geo::Point> Dense(const std::vector<geo::Point>& corners, int pieces = 20) {
  std::vector<geo::Point> ring;
  for (size_t i = 0; i < corners.size(); ++i) {
    geo::Point a = corners[i], b = corners[(i + 1) % corners.size()];
    for (int k = 0; k < pieces; ++k) ring.push_back({a.X + (b.X - a.X) * k / pieces, a.Y + (b.Y - a.Y) * k / pieces});
  }
  return ring;
}

struct Shape {
  std::optional<std::string> name;  // none: a Null value
  geo::Geometry shape;              // no shape: a Null shape
};

std::shared_ptr<geo::FeatureClass> Write(geo::ShapefileWorkspace& ws, const std::string& name, const std::string& field,
                                         const std::vector<Shape>& shapes, geo::GeometryType type = geo::GeometryType::Polygon) {
  geo::FieldSet fields{geo::Field::Shape("Shape", type, geo::SpatialReference::Unknown()),
                       geo::Field(field, geo::FieldType::String, 20)};
  auto fc = ws.CreateFeatureClass(name, fields);
  for (const Shape& s : shapes) {
    geo::Feature f = fc->CreateFeature();
    f.SetValue(fc->FindField(field), s.name ? host::vb::Variant(*s.name) : host::vb::Variant::Null());
    if (!s.shape.IsEmpty()) f.SetShape(s.shape);
    f.Store();
  }
  fc->Flush();
  return fc;
}

geo::Geometry Box(double x0, double y0, double x1, double y1) {
  return geo::Geometry::FromEnvelope(geo::Envelope(x0, y0, x1, y1));
}

// Every tile against every search shape, in the order of the walk.
mapbooks::LocationIndex EveryPair(const std::vector<Shape>& tiles, const std::vector<Shape>& search) {
  mapbooks::LocationIndex index;
  for (const Shape& t : tiles)
    for (const Shape& a : search)
      if (a.name && !host::vb::Trim(*a.name).empty() && !a.shape.IsEmpty() && a.shape.Intersects(t.shape))
        index.Add(*a.name, " " + *t.name);
  return index;
}

// A rows x columns grid of 10-unit tiles from the origin, rows from the top.
std::vector<Shape> Tiles(int rows, int columns) {
  std::vector<Shape> tiles;
  for (int r = 0; r < rows; ++r)
    for (int c = 0; c < columns; ++c)
      tiles.push_back({std::string(1, char('A' + r)) + std::to_string(c + 1),
                       Box(c * 10, (rows - r - 1) * 10, c * 10 + 10, (rows - r) * 10)});
  return tiles;
}

// The tiles and the streets written to the workspace, and the index of the streets.
mapbooks::LocationIndex WalkStreets(geo::ShapefileWorkspace& ws, const std::vector<Shape>& tiles, const std::vector<Shape>& streets) {
  auto grid_fc = Write(ws, "tiles", "MB_Label", tiles);
  auto search = Write(ws, "streets", "NAME", streets, geo::GeometryType::Polyline);
  host::carto::FeatureLayer grid(grid_fc);
  return mapbooks::BuildLocationIndex(grid, "MB_Label", *search, "NAME");
}

TEST(LocationIndexShapes, ManyStreetsFewLongOnesAndStreetsWithoutShapes) {
  testing_support::TempDir dir;
  auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
  const std::vector<Shape> tiles = Tiles(10, 10);
  // Short streets on a 2.5-unit lattice, so that many end on tile edges and corners or
  // run along them, under a few names so that a name meets a tile more than once.
  std::vector<Shape> streets;
  uint32_t seed = 12345;
  auto next = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 16) % uint32_t(n));
  };
  for (int i = 0; i < 600; ++i) {
    const double x = next(45) * 2.5 - 5, y = next(45) * 2.5 - 5;
    const double dx = (next(5) - 2) * 2.5, dy = (next(5) - 2) * 2.5;
    std::vector<geo::Point> path{{x, y}, {x + dx, y + dy}};
    if (next(3) == 0) path.push_back({x + dx + 2.5, y + dy});
    streets.push_back({"Street " + std::to_string(next(20)), geo::Geometry::MakePolyline(path)});
  }
  // Long ones: across the whole grid, through tile corners only, along a row's edge, and
  // crossing tiles with no vertex inside them.
  streets.push_back({"Diagonal", geo::Geometry::MakePolyline(std::vector<geo::Point>{{-20, -20}, {210, 210}})});
  streets.push_back({"Corners", geo::Geometry::MakePolyline(std::vector<geo::Point>{{0, 100}, {100, 0}})});
  streets.push_back({"Edge", geo::Geometry::MakePolyline(std::vector<geo::Point>{{-20, 50}, {120, 50}})});
  streets.push_back({"Across", geo::Geometry::MakePolyline(std::vector<geo::Point>{{-1, 33}, {101, 37}})});
  streets.push_back({"Outside", geo::Geometry::MakePolyline(std::vector<geo::Point>{{200, 200}, {210, 200}})});
  streets.push_back({"No shape", geo::Geometry()});
  streets.push_back({"Short", geo::Geometry::MakePolyline(std::vector<geo::Point>{{44, 44}, {46, 46}})});
  mapbooks::LocationIndex index = WalkStreets(*ws, tiles, streets);

  EXPECT_EQ(index.TableLines(), EveryPair(tiles, streets).TableLines());
  EXPECT_EQ(index.Item("Short"), " F5");
  EXPECT_EQ(index.Item("Edge"), " E1, E2, E3, E4, E5, E6, E7, E8, E9, E10, F1, F2, F3, F4, F5, F6, F7, F8, F9, F10");
  EXPECT_FALSE(index.Exists("Outside"));
  EXPECT_FALSE(index.Exists("No shape"));
}

TEST(LocationIndexShapes, StreetsOnOneLineAlongATileEdge) {
  testing_support::TempDir dir;
  auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
  const std::vector<Shape> tiles = Tiles(3, 3);
  std::vector<Shape> streets;
  for (int i = 0; i < 4; ++i)
    streets.push_back({"North St", geo::Geometry::MakePolyline(std::vector<geo::Point>{{10, i * 7.5}, {10, i * 7.5 + 5}})});
  mapbooks::LocationIndex index = WalkStreets(*ws, tiles, streets);

  EXPECT_EQ(index.TableLines(), EveryPair(tiles, streets).TableLines());
  EXPECT_EQ(index.Item("North St"), " A1, A2, B1, B2, C1, C2");
}

TEST(LocationIndexShapes, ATileWithoutAShapeIsRefusedAsASearchRefusesIt) {
  testing_support::TempDir dir;
  auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
  std::vector<Shape> tiles = Tiles(1, 2);
  tiles.push_back({"X", geo::Geometry()});
  auto grid_fc = Write(*ws, "tiles", "MB_Label", tiles);
  auto search = Write(*ws, "streets", "NAME", {{"Main St", geo::Geometry::MakePolyline(std::vector<geo::Point>{{1, 1}, {2, 2}})}},
                      geo::GeometryType::Polyline);
  host::carto::FeatureLayer grid(grid_fc);
  int tiles_begun = 0;
  try {
    mapbooks::BuildLocationIndex(grid, "MB_Label", *search, "NAME", [&] { ++tiles_begun; });
    ADD_FAILURE() << "no error";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.description(), "The spatial filter has no shape");
  }
  EXPECT_EQ(tiles_begun, 3);
}

TEST(LocationIndexShapes, PairsAreThoseWhoseShapesMeetInTheOrderOfTheWalk) {
  testing_support::TempDir dir;
  auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
  // A 4 x 4 grid of 10-unit tiles, rows from the top, then a triangle over the grid's
  // lower right corner.
  std::vector<Shape> tiles;
  for (int r = 0; r < 4; ++r)
    for (int c = 0; c < 4; ++c)
      tiles.push_back({std::string(1, char('A' + r)) + std::to_string(c + 1), Box(c * 10, 30 - r * 10, c * 10 + 10, 40 - r * 10)});
  tiles.push_back({"T", geo::Geometry::MakePolygon(std::vector<geo::Point>{{35, 1}, {39, 1}, {39, 9}})});

  std::vector<Shape> areas = {
      // A large U over the top two rows: its notch holds tile A2 and A3 without touching them.
      {"Horseshoe", geo::Geometry::MakePolygon(Dense({{1, 39}, {9, 39}, {9, 21}, {31, 21}, {31, 39}, {39, 39}, {39, 20.5}, {1, 20.5}}))},
      // Small, inside B2.
      {"Pond", Box(12, 22, 14, 24)},
      // Large, with a hole that holds tile C3 whole.
      {"Ring", geo::Geometry::MakePolygon(std::vector<std::vector<geo::Point>>{Dense({{15, 5}, {35, 5}, {35, 25}, {15, 25}}),
                                                                              {{19.5, 9.5}, {19.5, 20.5}, {30.5, 20.5}, {30.5, 9.5}}})},
      // Only a corner point shared with D1 and D2 (and C1, C2).
      {"Touch", geo::Geometry::MakePolygon(std::vector<geo::Point>{{10, 10}, {9, 11}, {11, 11}})},
      // No name: adds nothing.
      {std::nullopt, Box(0, 0, 40, 40)},
      // Blank name: adds nothing.
      {"  ", Box(0, 0, 40, 40)},
      // Large, just left of the triangle's slanted side: their boxes overlap.
      {"Wedge", geo::Geometry::MakePolygon(Dense({{32, 1}, {34.5, 1}, {38, 8.5}, {32, 8.5}}))},
  };
  auto grid_fc = Write(*ws, "tiles", "MB_Label", tiles);
  auto search = Write(*ws, "areas", "NAME", areas);
  host::carto::FeatureLayer grid(grid_fc);

  mapbooks::LocationIndex index = mapbooks::BuildLocationIndex(grid, "MB_Label", *search, "NAME");

  // The same pairs found the slow way: every tile against every area.
  mapbooks::LocationIndex expected;
  for (const Shape& t : tiles)
    for (const Shape& a : areas)
      if (a.name && !host::vb::Trim(*a.name).empty() && a.shape.Intersects(t.shape)) expected.Add(*a.name, " " + *t.name);
  EXPECT_EQ(index.TableLines(), expected.TableLines());

  EXPECT_EQ(index.Item("Horseshoe"), " A1, A4, B1, B2, B3, B4");
  EXPECT_EQ(index.Item("Pond"), " B2");
  EXPECT_EQ(index.Item("Ring"), " B2, B3, B4, C2, C4, D2, D3, D4");
  EXPECT_EQ(index.Item("Touch"), " C1, C2, D1, D2");
  EXPECT_EQ(index.Item("Wedge"), " D4");
  EXPECT_EQ(index.Count(), 5);
}

}  // namespace
