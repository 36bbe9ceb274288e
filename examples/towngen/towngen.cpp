// SPDX-License-Identifier: GPL-3.0-or-later
#include "towngen/towngen.h"

#include <cmath>
#include <filesystem>
#include <vector>

#include "host/geodata/workspace.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"
#include "host/win/drives.h"

namespace towngen {

namespace gd = host::geodata;
namespace vb = host::vb;

namespace {

// The header date of every .dbf written, so that the files do not depend on the day.
constexpr const char* kDbfDate = "2024-01-01";

// splitmix64: small, fast, and the same numbers on every machine.
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ULL);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * double(Next() >> 11) * 0x1.0p-53; }
  int Below(int n) { return int(Next() % uint64_t(n)); }

 private:
  uint64_t state_;
};

const char* const kEastWest[] = {"Main St",   "Oak St",    "Pine St",  "Cedar St",  "Elm St",
                                 "Maple St",  "Walnut St", "Cherry St", "Spruce St", "Birch St",
                                 "Willow St", "Ash St",    "Laurel St", "Poplar St", "Juniper St"};
const char* const kNorthSouth[] = {"1st Ave",      "O'Brien Ave", "Lincoln Ave", "Grant Ave",  "Jackson Ave",
                                   "Franklin Ave", "Harbor Ave",  "Mission Ave", "Valley Ave", "D'Arcy Ave",
                                   "Market Ave",   "Park Ave"};
const char* const kLanduse[] = {"Residential", "Residential", "Residential", "Commercial", "Park", "Industrial",
                                "School"};
const char* const kPoiNames[] = {"Joe's Diner", "City Library", "Central Park", "St. Mary's Clinic",
                                 "Corner Cafe", "Hardware Shop", "Lincoln School", "Bakery",
                                 "Town Hall",   "O'Neill's Pub"};
const char* const kPoiKinds[] = {"Restaurant", "Library", "Park", "Clinic", "Cafe",
                                 "Shop",       "School",  "Shop", "Civic",  "Restaurant"};

std::string Ordinal(int n) {
  int tens = n % 100;
  const char* suffix = (tens >= 11 && tens <= 13) ? "th" : n % 10 == 1 ? "st" : n % 10 == 2 ? "nd" : n % 10 == 3 ? "rd" : "th";
  return std::to_string(n) + suffix;
}

std::string EastWestName(int j) {
  int n = int(std::size(kEastWest));
  return j < n ? kEastWest[j] : Ordinal(j - n + 2) + " St";
}

std::string NorthSouthName(int i) {
  int n = int(std::size(kNorthSouth));
  return i < n ? kNorthSouth[i] : Ordinal(i - n + 2) + " Ave";
}

std::shared_ptr<gd::ShapefileWorkspace> PrepareFolder(std::string_view folder) {
  std::error_code ec;
  std::filesystem::create_directories(host::win::NativePath(folder), ec);
  if (ec) vb::raise(vb::err::PathNotFound, "Cannot make the folder \"" + std::string(folder) + "\": " + ec.message());
  return gd::ShapefileWorkspace::Open(folder);
}

void Replace(gd::ShapefileWorkspace& ws, const std::string& name) {
  if (ws.FeatureClassExists(name)) ws.DeleteFeatureClass(name);
}

double Round2(double v) { return std::round(v * 100) / 100; }

}  // namespace

std::string RowLetters(int row) {
  std::string s;
  for (int n = row; n > 0; n = (n - 1) / 26) s.insert(s.begin(), char('A' + (n - 1) % 26));
  return s;
}

gd::SpatialReference TownSpatialReference() { return gd::SpatialReference::FromEPSG(2227); }

int StreetCount(int blocksX, int blocksY) { return (blocksY + 1) * blocksX + (blocksX + 1) * blocksY; }

TownSummary WriteTown(std::string_view folder, const TownOptions& options) {
  if (options.blocksX < 1 || options.blocksY < 1) {
    vb::raise(vb::err::InvalidCall, "A town needs at least one block each way");
  }
  Random rnd(options.seed);
  auto ws = PrepareFolder(folder);
  gd::SpatialReference sr = TownSpatialReference();
  gd::CreateOptions create{kDbfDate};

  // Street lines: x positions west to east, y positions south to north.
  const double x0 = 6010000, y0 = 2110000, half_street = 30;
  std::vector<double> xs{x0}, ys{y0};
  for (int i = 0; i < options.blocksX; ++i) xs.push_back(xs.back() + std::round(rnd.Uniform(320, 620)));
  for (int j = 0; j < options.blocksY; ++j) ys.push_back(ys.back() + std::round(rnd.Uniform(260, 460)));

  TownSummary summary;
  summary.extent = gd::Envelope(xs.front(), ys.front(), xs.back(), ys.back());

  // Blocks.
  Replace(*ws, "blocks");
  auto blocks = ws->CreateFeatureClass("blocks",
                                       {gd::Field::Shape("Shape", gd::GeometryType::Polygon, sr),
                                        gd::Field("BLOCK_ID", gd::FieldType::Integer, 9),
                                        gd::Field("LANDUSE", gd::FieldType::String, 16),
                                        gd::Field("AREA", gd::FieldType::Double, 19, 2)},
                                       create);
  for (int j = 0; j < options.blocksY; ++j) {
    for (int i = 0; i < options.blocksX; ++i) {
      double l = xs[i] + half_street, r = xs[i + 1] - half_street;
      double b = ys[j] + half_street, t = ys[j + 1] - half_street;
      std::vector<gd::Point> ring{{l, t}, {r, t}, {r, b}, {l, b}};
      if (rnd.Below(7) == 0) {
        // A corner cut off at a diagonal street.
        double cut = std::round(rnd.Uniform(40, 90));
        ring = {{l, t}, {r - cut, t}, {r, t - cut}, {r, b}, {l, b}};
      }
      gd::Geometry shape = gd::Geometry::MakePolygon(ring);
      gd::Feature f = blocks->CreateFeature();
      f.SetValue(2, f.OID() + 1);
      f.SetValue(3, kLanduse[rnd.Below(int(std::size(kLanduse)))]);
      f.SetValue(4, Round2(shape.Area()));
      f.SetShape(shape);
      f.Store();
      ++summary.blocks;
    }
  }
  blocks.reset();

  // Streets: each block edge is one segment.
  Replace(*ws, "streets");
  auto streets = ws->CreateFeatureClass("streets",
                                        {gd::Field::Shape("Shape", gd::GeometryType::Polyline, sr),
                                         gd::Field("NAME", gd::FieldType::String, 40),
                                         gd::Field("CLASS", gd::FieldType::String, 12),
                                         gd::Field("SEG_ID", gd::FieldType::Integer, 9)},
                                        create);
  auto add_street = [&](const std::string& name, bool arterial, gd::Point a, gd::Point b) {
    gd::Feature f = streets->CreateFeature();
    f.SetValue(2, name);
    f.SetValue(3, arterial ? "Arterial" : "Local");
    f.SetValue(4, f.OID() + 1);
    f.SetShape(gd::Geometry::MakePolyline(std::vector<gd::Point>{a, b}));
    f.Store();
    ++summary.streets;
  };
  for (int j = 0; j <= options.blocksY; ++j) {
    for (int i = 0; i < options.blocksX; ++i) {
      std::string name = EastWestName(j);
      // The east half of Main St was keyed in capitals.
      if (j == 0 && i >= (options.blocksX + 1) / 2 && options.blocksX > 1) name = "MAIN ST";
      add_street(name, j % 4 == 0, {xs[i], ys[j]}, {xs[i + 1], ys[j]});
    }
  }
  for (int i = 0; i <= options.blocksX; ++i) {
    for (int j = 0; j < options.blocksY; ++j) {
      add_street(NorthSouthName(i), i % 4 == 0, {xs[i], ys[j]}, {xs[i], ys[j + 1]});
    }
  }
  streets.reset();

  // Points of interest inside blocks.
  Replace(*ws, "poi");
  auto poi = ws->CreateFeatureClass("poi",
                                    {gd::Field::Shape("Shape", gd::GeometryType::Point, sr),
                                     gd::Field("NAME", gd::FieldType::String, 40),
                                     gd::Field("KIND", gd::FieldType::String, 16),
                                     gd::Field("OPENED", gd::FieldType::Date)},
                                    create);
  int count = std::max(5, options.blocksX * options.blocksY / 2);
  for (int k = 0; k < count; ++k) {
    int i = rnd.Below(options.blocksX), j = rnd.Below(options.blocksY);
    double x = std::round(rnd.Uniform(xs[i] + 2 * half_street, xs[i + 1] - 2 * half_street));
    double y = std::round(rnd.Uniform(ys[j] + 2 * half_street, ys[j + 1] - 2 * half_street));
    int which = rnd.Below(int(std::size(kPoiNames)));
    vb::DateParts opened{1950 + rnd.Below(74), 1 + rnd.Below(12), 1 + rnd.Below(28)};
    gd::Feature f = poi->CreateFeature();
    f.SetValue(2, kPoiNames[which]);
    f.SetValue(3, kPoiKinds[which]);
    f.SetValue(4, k % 5 == 1 ? vb::Variant::Null() : vb::Variant(vb::DateValue{vb::DateSerial(opened)}));
    f.SetShape(gd::Geometry::MakePoint(x, y));
    f.Store();
    ++summary.pois;
  }
  return summary;
}

GridSummary WriteTileGrid(std::string_view folder, std::string_view name, const gd::Envelope& extent, int columns,
                          int rows, const gd::SpatialReference& sr) {
  if (columns < 1 || rows < 1) vb::raise(vb::err::InvalidCall, "A grid needs at least one tile each way");
  if (extent.IsEmpty()) vb::raise(vb::err::InvalidCall, "A grid needs an extent");
  auto ws = PrepareFolder(folder);
  std::string base(name);
  Replace(*ws, base);

  GridSummary g;
  g.columns = columns;
  g.rows = rows;
  g.tileSize = std::max(extent.Width() / columns, extent.Height() / rows);
  if (g.tileSize <= 0) g.tileSize = 1;
  gd::Point c = extent.Center();
  double left = c.X - columns * g.tileSize / 2, top = c.Y + rows * g.tileSize / 2;
  g.extent = gd::Envelope(left, top - rows * g.tileSize, left + columns * g.tileSize, top);

  auto grid = ws->CreateFeatureClass(base,
                                     {gd::Field::Shape("Shape", gd::GeometryType::Polygon, sr),
                                      gd::Field("MB_Index", gd::FieldType::Integer, 12),
                                      gd::Field("MB_Row", gd::FieldType::String, 12),
                                      gd::Field("MB_Column", gd::FieldType::String, 12),
                                      gd::Field("MB_Label", gd::FieldType::String, 24)},
                                     gd::CreateOptions{kDbfDate});
  for (int r = 1; r <= rows; ++r) {
    std::string row = RowLetters(r);
    double y0 = top - (r - 1) * g.tileSize, y1 = y0 - g.tileSize;
    for (int col = 1; col <= columns; ++col) {
      double x0 = left + (col - 1) * g.tileSize, x1 = x0 + g.tileSize;
      gd::Feature f = grid->CreateFeature();
      f.SetValue(2, f.OID() + 1);
      f.SetValue(3, row);
      f.SetValue(4, std::to_string(col));
      f.SetValue(5, row + std::to_string(col));
      f.SetShape(gd::Geometry::MakePolygon(std::vector<gd::Point>{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}));
      f.Store();
    }
  }
  return g;
}

}  // namespace towngen
