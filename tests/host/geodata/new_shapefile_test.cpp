// SPDX-License-Identifier: GPL-3.0-or-later
// A new shapefile is written in memory and put on disk whole: what a reader of its own
// finds there at its start, after each Flush, and once the last holder lets it go.

#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <array>
#include <filesystem>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "geodata_testing.h"
#include "support/temp_dir.h"

namespace {

using namespace geodata_testing;
namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;

// With a number with decimals, rows are written by OGR; without, by the appending writer.
gd::FieldSet GridFields(bool area = true) {
  gd::FieldSet fields{gd::Field::Shape("Shape", gd::GeometryType::Polygon, gd::SpatialReference()),
                      gd::Field("MB_Index", gd::FieldType::Integer, 12), gd::Field("MB_Row", gd::FieldType::String, 12),
                      gd::Field("MB_Column", gd::FieldType::String, 12), gd::Field("MB_Label", gd::FieldType::String, 24)};
  if (area) fields.AddField(gd::Field("AREA", gd::FieldType::Double));
  return fields;
}

gd::Geometry Square(double x, double y, double size) {
  return gd::Geometry::FromEnvelope(gd::Envelope(x, y, x + size, y + size));
}

// What a reader of its own (OGR, outside the shared copy) finds in the file now.
long CountOnDisk(const fs::path& shp) {
  GDALDatasetUniquePtr ds(GDALDataset::Open(shp.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  return ds && ds->GetLayerCount() == 1 ? long(ds->GetLayer(0)->GetFeatureCount(TRUE)) : -1;
}

// A new class is written in memory: the files on disk are whole at its start, after
// each Flush and once the last holder lets it go; made again, the new set replaces the
// old one on disk too.
TEST(ShapefileWorkspace, ANewClassReachesTheDiskAtEachFlushAndWhenLetGo) {
  for (bool area : {true, false}) {
    SCOPED_TRACE(area ? "written by OGR" : "appended");
    TempDir dir;
    const fs::path shp = dir / "grid.shp";
    {
      auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
      auto fc = ws->CreateFeatureClass("grid", GridFields(area));
      EXPECT_EQ(CountOnDisk(shp), 0);
      for (int i = 0; i < 3; ++i) {
        gd::Feature f = fc->CreateFeature();
        f.SetValue(5, "A" + std::to_string(i + 1));
        f.SetShape(Square(i * 10, 0, 10));
        f.Store();
      }
      fc->Flush();
      EXPECT_EQ(CountOnDisk(shp), 3);
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, "A4");
      f.Store();
    }
    gd::ShapefileWorkspace::ClearCache();
    EXPECT_EQ(CountOnDisk(shp), 4);
    EXPECT_NE(RunCommand("ogrinfo -al '" + shp.string() + "'").find("MB_Label (String) = A4"), std::string::npos);

    auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
    auto held = ws->OpenFeatureClass("grid");
    for (const char* ext : {".dbf", ".shp", ".shx", ".cpg"}) fs::remove(dir / (std::string("grid") + ext));
    {
      auto fc = ws->CreateFeatureClass("grid", GridFields(area));
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, "B1");
      f.Store();
      fc->Flush();
    }
    held.reset();
    gd::ShapefileWorkspace::ClearCache();
    EXPECT_EQ(CountOnDisk(shp), 1);
    EXPECT_NE(RunCommand("ogrinfo -al '" + shp.string() + "'").find("MB_Label (String) = B1"), std::string::npos);
  }
}

// The same rows written by OGR alone, feature by feature, with the options the
// workspace gives a new shapefile.
void WriteWithOgr(const fs::path& shp, const std::vector<std::array<double, 4>>& boxes,
                  const std::vector<std::string>& labels) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr ds(driver->Create(shp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ASSERT_TRUE(ds);
  char** options = CSLSetNameValue(nullptr, "ENCODING", "UTF-8");
  OGRLayer* layer = ds->CreateLayer(shp.stem().c_str(), nullptr, wkbPolygon, options);
  CSLDestroy(options);
  ASSERT_NE(layer, nullptr);
  for (auto [name, type, width, precision] : {std::tuple{"MB_Index", OFTInteger, 12, 0}, {"MB_Row", OFTString, 12, 0},
                                              {"MB_Column", OFTString, 12, 0}, {"MB_Label", OFTString, 24, 0},
                                              {"AREA", OFTReal, 19, 11}}) {
    OGRFieldDefn d(name, type);
    d.SetWidth(width);
    d.SetPrecision(precision);
    ASSERT_EQ(layer->CreateField(&d), OGRERR_NONE);
  }
  for (size_t i = 0; i < boxes.size(); ++i) {
    OGRFeature f(layer->GetLayerDefn());
    f.SetField(0, GIntBig(i + 1));
    f.SetField(1, labels[i].substr(0, 1).c_str());
    f.SetField(2, labels[i].substr(1).c_str());
    f.SetField(3, labels[i].c_str());
    f.SetField(4, (boxes[i][2] - boxes[i][0]) * (boxes[i][3] - boxes[i][1]));
    auto* ring = new OGRLinearRing;
    const auto& [x0, y0, x1, y1] = boxes[i];
    for (auto [x, y] : {std::pair{x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}, {x0, y1}}) ring->addPoint(x, y);
    auto* poly = new OGRPolygon;
    poly->addRingDirectly(ring);
    f.SetGeometryDirectly(poly);
    ASSERT_EQ(layer->CreateFeature(&f), OGRERR_NONE);
  }
}

// A new class holds the very bytes OGR writes for the same rows, one shape serving two
// rows and a flush before the end included; the shape lent to the writer stays whole.
TEST(ShapefileWorkspace, ANewClassHoldsTheBytesOgrWritesForTheSameRows) {
  TempDir ours, theirs;
  const std::vector<std::array<double, 4>> boxes = {{0, 0, 10, 10}, {10, 0, 20, 10}, {10, 0, 20, 10}, {0, -5, 3, 0}};
  const std::vector<std::string> labels = {"A1", "A2", "B2", "C17"};
  WriteWithOgr(theirs / "grid.shp", boxes, labels);
  gd::Geometry shared = gd::Geometry::FromEnvelope(gd::Envelope(10, 0, 20, 10));
  {
    auto fc = gd::ShapefileWorkspace::Open(ours.path().string())->CreateFeatureClass("grid", GridFields());
    for (size_t i = 0; i < boxes.size(); ++i) {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(2, int64_t(i + 1));
      f.SetValue(3, labels[i].substr(0, 1));
      f.SetValue(4, labels[i].substr(1));
      f.SetValue(5, labels[i]);
      f.SetValue(6, (boxes[i][2] - boxes[i][0]) * (boxes[i][3] - boxes[i][1]));
      const auto& [x0, y0, x1, y1] = boxes[i];
      f.SetShape(i == 1 || i == 2 ? shared : gd::Geometry::FromEnvelope(gd::Envelope(x0, y0, x1, y1)));
      f.Store();
      if (i == 1) fc->Flush();
    }
    fc->Flush();
  }
  gd::ShapefileWorkspace::ClearCache();
  for (const char* ext : {".shp", ".shx", ".cpg"}) {
    EXPECT_EQ(ReadFile(ours / (std::string("grid") + ext)), ReadFile(theirs / (std::string("grid") + ext))) << ext;
  }
  std::string dbf = ReadFile(ours / "grid.dbf"), expected = ReadFile(theirs / "grid.dbf");
  ASSERT_EQ(dbf.size(), expected.size());
  ASSERT_GT(dbf.size(), 4u);
  dbf.replace(1, 3, "   "), expected.replace(1, 3, "   ");  // the dates of the last update
  EXPECT_EQ(dbf, expected);
  EXPECT_EQ(shared.Extent(), gd::Envelope(10, 0, 20, 10));
  EXPECT_EQ(shared.ToWkt(), "POLYGON ((10 10,20 10,20 0,10 0,10 10))");
}

// What the writer puts on disk when it closes is checked against the file, not against
// what it wrote last: a file changed since the flush is written again.
TEST(ShapefileWorkspace, ClosingRewritesAFileChangedSinceTheFlush) {
  for (bool area : {true, false}) {
    SCOPED_TRACE(area ? "written by OGR" : "appended");
    TempDir dir;
    const fs::path shp = dir / "grid.shp";
    auto fc = gd::ShapefileWorkspace::Open(dir.path().string())->CreateFeatureClass("grid", GridFields(area));
    {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, "A1");
      f.SetShape(Square(0, 0, 10));
      f.Store();
    }
    fc->Flush();
    const std::string written = ReadFile(dir / "grid.dbf");
    testing_support::WriteFile(dir / "grid.dbf", std::string(written.size(), ' '));
    fc.reset();
    gd::ShapefileWorkspace::ClearCache();
    EXPECT_EQ(ReadFile(dir / "grid.dbf"), written);
    EXPECT_EQ(CountOnDisk(shp), 1);
  }
}

// A stored row keeps what the table holds apart from what the row is changed to next.
TEST(ShapefileWorkspace, ARowChangedAfterItIsStoredLeavesTheStoredRowAlone) {
  for (bool area : {true, false}) {
    SCOPED_TRACE(area ? "written by OGR" : "appended");
    TempDir dir;
    {
      auto fc = gd::ShapefileWorkspace::Open(dir.path().string())->CreateFeatureClass("grid", GridFields(area));
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, "A1  ");
      f.SetShape(Square(0, 0, 10));
      f.Store();
      EXPECT_EQ(host::vb::CStr(f.Value(5)), "A1");  // as the file gives it back
      f.SetValue(5, "B2");
      f.SetShape(Square(5, 5, 1));
      EXPECT_EQ(host::vb::CStr(fc->GetFeature(0)->Value(5)), "A1");
      EXPECT_EQ(fc->GetFeature(0)->Extent(), gd::Envelope(0, 0, 10, 10));
      f.Store();
      EXPECT_EQ(host::vb::CStr(fc->GetFeature(0)->Value(5)), "B2");
      EXPECT_EQ(fc->FeatureCount(), 1);
    }
    gd::ShapefileWorkspace::ClearCache();
    EXPECT_NE(RunCommand("ogrinfo -al '" + (dir / "grid.shp").string() + "'").find("MB_Label (String) = B2"),
              std::string::npos);
  }
}

// A shape OGR has to convert is handed over as a copy, and the row after it, without a
// shape, gets none.
TEST(ShapefileWorkspace, AConvertedShapeStaysWithItsOwnRow) {
  TempDir dir;
  const gd::Geometry curved = gd::Geometry::FromWkt("CURVEPOLYGON ((0 0,0 10,10 10,10 0,0 0))");
  {
    auto fc = gd::ShapefileWorkspace::Open(dir.path().string())->CreateFeatureClass("grid", GridFields());
    for (int i = 0; i < 3; ++i) {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, "A" + std::to_string(i + 1));
      if (i == 0) f.SetShape(curved);
      if (i == 2) f.SetShape(Square(20, 0, 5));
      f.Store();
    }
  }
  gd::ShapefileWorkspace::ClearCache();
  EXPECT_EQ(curved.ToWkt(), "CURVEPOLYGON ((0 0,0 10,10 10,10 0,0 0))");
  GDALDatasetUniquePtr ds(GDALDataset::Open((dir / "grid.shp").c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY));
  ASSERT_TRUE(ds);
  OGRLayer* layer = ds->GetLayer(0);
  std::vector<std::string> shapes;
  for (auto& f : *layer) {
    char* wkt = nullptr;
    const OGRGeometry* g = f->GetGeometryRef();
    if (g) g->exportToWkt(&wkt);
    shapes.push_back(wkt ? wkt : "none");
    CPLFree(wkt);
  }
  EXPECT_EQ(shapes, (std::vector<std::string>{"POLYGON ((0 0,0 10,10 10,10 0,0 0))", "none",
                                              "POLYGON ((20 5,25 5,25 0,20 0,20 5))"}));
}

// Shapes lent to the writer come back as they went, for every kind a shapefile holds,
// and the file holds them.
TEST(ShapefileWorkspace, StoredShapesOfEveryKindAreLeftAsTheyWere) {
  const std::pair<gd::GeometryType, const char*> shapes[] = {
      {gd::GeometryType::Point, "POINT (1 2)"},
      {gd::GeometryType::Multipoint, "MULTIPOINT (1 2,3 4)"},
      {gd::GeometryType::Polyline, "LINESTRING (0 0,5 5,10 0)"},
      {gd::GeometryType::Polyline, "MULTILINESTRING ((0 0,1 1),(2 2,3 1))"},
      {gd::GeometryType::Polygon, "POLYGON ((0 0,10 0,10 10,0 10,0 0))"},  // counter-clockwise
      {gd::GeometryType::Polygon, "POLYGON ((0 0,0 10,10 10))"},           // not closed
      {gd::GeometryType::Polygon, "MULTIPOLYGON (((0 0,0 1,1 1,1 0,0 0)),((5 5,5 6,6 6,6 5,5 5)))"},
  };
  for (const auto& [type, wkt] : shapes) {
    TempDir dir;
    const gd::Geometry shape = gd::Geometry::FromWkt(wkt);
    {
      auto fc = gd::ShapefileWorkspace::Open(dir.path().string())
                    ->CreateFeatureClass("kinds", {gd::Field::Shape("Shape", type), gd::Field("NAME", gd::FieldType::String, 8)});
      gd::Feature f = fc->CreateFeature();
      f.SetShape(shape);
      f.Store();
    }
    gd::ShapefileWorkspace::ClearCache();
    EXPECT_EQ(shape.ToWkt(), wkt);
    EXPECT_EQ(CountOnDisk(dir / "kinds.shp"), 1) << wkt;
    auto back = gd::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("kinds")->GetFeature(0);
    ASSERT_TRUE(back) << wkt;
    EXPECT_EQ(back->Extent(), shape.Extent()) << wkt;
  }
}

// ---- a new class that is only added to, against OGR writing the same rows ----

struct Column {
  const char* name;
  gd::FieldType type;
  int width;
};
using Value = std::variant<std::monostate, int64_t, std::string>;
struct Row {
  std::vector<Value> values;  // in column order; missing ones are never set
  std::string wkt;            // none when empty
  bool stored = true;         // a row created and never stored still takes its object ID
};
struct NewClass {
  gd::GeometryType type;
  std::vector<Column> columns;
  std::vector<Row> rows;
  int epsg = 0;
};

OGRwkbGeometryType OgrType(gd::GeometryType t) {
  switch (t) {
    case gd::GeometryType::Point: return wkbPoint;
    case gd::GeometryType::Multipoint: return wkbMultiPoint;
    case gd::GeometryType::Polyline: return wkbLineString;
    default: return wkbPolygon;
  }
}

// The class written by OGR alone, with the calls and options the workspace uses.
void WriteWithOgr(const fs::path& shp, const NewClass& c) {
  GDALAllRegister();
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  GDALDatasetUniquePtr ds(driver->Create(shp.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  ASSERT_TRUE(ds);
  char** options = CSLSetNameValue(nullptr, "ENCODING", "UTF-8");
  gd::SpatialReference sr = c.epsg ? gd::SpatialReference::FromEPSG(c.epsg) : gd::SpatialReference();
  OGRLayer* layer = ds->CreateLayer(shp.stem().c_str(), const_cast<OGRSpatialReference*>(sr.ogr()), OgrType(c.type),
                                    options);
  CSLDestroy(options);
  ASSERT_NE(layer, nullptr);
  for (const Column& col : c.columns) {
    OGRFieldDefn d(col.name, col.type == gd::FieldType::String ? OFTString : OFTInteger);
    d.SetWidth(col.width);
    ASSERT_EQ(layer->CreateField(&d), OGRERR_NONE);
  }
  for (const Row& row : c.rows) {
    OGRFeature f(layer->GetLayerDefn());
    if (row.stored) {
      for (size_t k = 0; k < row.values.size(); ++k) {
        if (const auto* n = std::get_if<int64_t>(&row.values[k])) f.SetField(int(k), GIntBig(*n));
        else if (const auto* t = std::get_if<std::string>(&row.values[k])) f.SetField(int(k), t->c_str());
        else f.SetFieldNull(int(k));
      }
      OGRGeometry* g = nullptr;
      if (!row.wkt.empty()) {
        ASSERT_EQ(OGRGeometryFactory::createFromWkt(row.wkt.c_str(), nullptr, &g), OGRERR_NONE);
      }
      f.SetGeometryDirectly(g);
    }
    ASSERT_EQ(layer->CreateFeature(&f), OGRERR_NONE);
  }
}

void WriteWithWorkspace(const fs::path& folder, const NewClass& c) {
  gd::FieldSet fields{gd::Field::Shape("Shape", c.type,
                                       c.epsg ? gd::SpatialReference::FromEPSG(c.epsg) : gd::SpatialReference())};
  for (const Column& col : c.columns) fields.AddField(gd::Field(col.name, col.type, col.width));
  auto fc = gd::ShapefileWorkspace::Open(folder.string())->CreateFeatureClass("new", fields);
  std::vector<gd::Feature> unstored;
  for (const Row& row : c.rows) {
    gd::Feature f = fc->CreateFeature();
    if (!row.stored) {
      unstored.push_back(std::move(f));
      continue;
    }
    for (size_t k = 0; k < row.values.size(); ++k) {
      const int i = fc->FindField(c.columns[k].name);
      if (const auto* n = std::get_if<int64_t>(&row.values[k])) f.SetValue(i, *n);
      else if (const auto* t = std::get_if<std::string>(&row.values[k])) f.SetValue(i, *t);
      else f.SetValue(i, host::vb::Variant::Null());
    }
    if (!row.wkt.empty()) f.SetShape(gd::Geometry::FromWkt(row.wkt));
    f.Store();
  }
  fc->Flush();
}

// Every file of the class in folder "ours" against the one in "theirs"; the .dbf's date
// of last update is the day each was written.
void ExpectSameFiles(const fs::path& ours, const fs::path& theirs) {
  for (const char* ext : {".shp", ".shx", ".cpg", ".prj"}) {
    const fs::path mine = ours / (std::string("new") + ext), other = theirs / (std::string("new") + ext);
    ASSERT_EQ(fs::exists(mine), fs::exists(other)) << ext;
    if (fs::exists(other)) {
      EXPECT_EQ(ReadFile(mine), ReadFile(other)) << ext;
    }
  }
  std::string dbf = ReadFile(ours / "new.dbf"), expected = ReadFile(theirs / "new.dbf");
  ASSERT_EQ(dbf.size(), expected.size());
  ASSERT_GT(dbf.size(), 4u);
  dbf.replace(1, 3, "   "), expected.replace(1, 3, "   ");
  EXPECT_EQ(dbf, expected);
}

void ExpectAsOgrWritesIt(const NewClass& c, const std::string& what) {
  SCOPED_TRACE(what);
  TempDir ours, theirs;
  WriteWithOgr(theirs / "new.shp", c);
  WriteWithWorkspace(ours.path(), c);
  ExpectSameFiles(ours.path(), theirs.path());  // as flushed, while the class is still held
  gd::ShapefileWorkspace::ClearCache();
  ExpectSameFiles(ours.path(), theirs.path());
}

const std::vector<Column> kGridColumns = {{"MB_Index", gd::FieldType::Integer, 12},
                                          {"MB_Row", gd::FieldType::String, 12},
                                          {"MB_Label", gd::FieldType::String, 24},
                                          {"MB_Small", gd::FieldType::SmallInteger, 5}};

Row GridRow(int64_t i, std::string wkt) {
  return {{i, "R" + std::to_string(i % 7), "Ž" + std::to_string(i), int64_t(-(i % 100))}, std::move(wkt)};
}

TEST(NewShapefile, PolygonsOfOneOrMoreRingsAreTheBytesOgrWrites) {
  ExpectAsOgrWritesIt({gd::GeometryType::Polygon, kGridColumns,
                       {GridRow(1, "POLYGON ((0 10,10 10,10 0,0 0,0 10))"),
                        GridRow(2, "POLYGON ((0 10,10 10,10 0,0 0,0 10),(2 2,4 2,4 4,2 4,2 2))"),
                        GridRow(3, "MULTIPOLYGON (((20 30,30 30,30 20,20 20,20 30)),"
                                   "((40 50,50 50,50 40,40 40,40 50),(42 42,44 42,44 44,42 44,42 42)))"),
                        GridRow(4, ""), GridRow(5, "POLYGON ((-5.5 1e6,3.25 1e6,3.25 -7,-5.5 1e6))")}},
                      "polygons");
  // The extent the driver gives a file whose first row has no shape takes in the origin.
  ExpectAsOgrWritesIt({gd::GeometryType::Polygon, kGridColumns,
                       {GridRow(1, ""), GridRow(2, "POLYGON ((100 110,110 110,110 100,100 100,100 110))")}},
                      "first row without a shape");
}

TEST(NewShapefile, PointsLinesAndMultipointsAreTheBytesOgrWrites) {
  ExpectAsOgrWritesIt({gd::GeometryType::Point, kGridColumns,
                       {GridRow(1, "POINT (1 2)"), GridRow(2, ""), GridRow(3, "POINT (-3.5 7e-3)")}},
                      "points");
  ExpectAsOgrWritesIt({gd::GeometryType::Polyline, kGridColumns,
                       {GridRow(1, "LINESTRING (0 0,5 5,10 0)"), GridRow(2, "MULTILINESTRING ((0 0,1 1),(2 2,3 1,4 4))"),
                        GridRow(3, "")}},
                      "lines");
  ExpectAsOgrWritesIt({gd::GeometryType::Multipoint, kGridColumns,
                       {GridRow(1, "MULTIPOINT (1 2,3 4)"), GridRow(2, "MULTIPOINT (9 -9)")}},
                      "multipoints");
}

TEST(NewShapefile, ValuesOfEveryFieldKindAreTheBytesOgrWrites) {
  const std::string box = "POLYGON ((0 10,10 10,10 0,0 0,0 10))";
  ExpectAsOgrWritesIt({gd::GeometryType::Polygon, kGridColumns,
                       {{{int64_t(-2147483647), "exactly12chr", std::string(24, 'x'), int64_t(-9999)}, box},
                        {{Value(), Value(), "čeština", Value()}, box},
                        {{int64_t(0), "", "a\tb", int64_t(12345)}, box},
                        {{}, box},
                        {{int64_t(7)}, "", false},
                        {{int64_t(8), "after", "an unstored row", int64_t(1)}, box}}},
                      "values");
}

TEST(NewShapefile, ManyRowsAndNoRowsAreTheBytesOgrWrites) {
  NewClass many{gd::GeometryType::Polygon, kGridColumns, {}};
  for (int64_t i = 0; i < 10001; ++i) {
    const double x = double(i % 100) * 10, y = -double(i / 100) * 10;
    many.rows.push_back(GridRow(i + 1, "POLYGON ((" + std::to_string(x) + " " + std::to_string(y) + "," +
                                           std::to_string(x + 10) + " " + std::to_string(y) + "," +
                                           std::to_string(x + 10) + " " + std::to_string(y - 10) + "," +
                                           std::to_string(x) + " " + std::to_string(y - 10) + "," +
                                           std::to_string(x) + " " + std::to_string(y) + "))"));
  }
  ExpectAsOgrWritesIt(many, "10,001 rows");
  ExpectAsOgrWritesIt({gd::GeometryType::Polygon, kGridColumns, {}}, "no rows");
  ExpectAsOgrWritesIt({gd::GeometryType::Point, kGridColumns, {}, 32610}, "no rows, with a spatial reference");
  ExpectAsOgrWritesIt({gd::GeometryType::Point, kGridColumns, {GridRow(1, "POINT (500000 4100000)")}, 32610},
                      "a spatial reference");
}

// Shapes the appending writer does not lay out itself (turned the other way, not closed,
// curved, with heights) are written by OGR from there on, over the rows already
// appended, to the same bytes.
TEST(NewShapefile, RowsOgrHasToWriteAreTheBytesOgrWrites) {
  const std::string box = "POLYGON ((0 10,10 10,10 0,0 0,0 10))";
  const std::pair<Row, const char*> odd[] = {
      {GridRow(2, "POLYGON ((0 0,10 0,10 10,0 10,0 0))"), "counter-clockwise"},
      {GridRow(2, "POLYGON ((0 0,0 10,10 10))"), "not closed"},
      {GridRow(2, "CURVEPOLYGON ((0 0,0 10,10 10,10 0,0 0))"), "curved"},
      {GridRow(2, "POLYGON Z ((0 10 1,10 10 1,10 0 1,0 0 1,0 10 1))"), "with heights"},
  };
  for (const auto& [row, what] : odd) {
    ExpectAsOgrWritesIt({gd::GeometryType::Polygon, kGridColumns, {GridRow(1, box), row, GridRow(3, box)}}, what);
  }
}

// A row stored again is rewritten by OGR over the rows appended so far.
TEST(NewShapefile, ARowStoredAgainIsTheBytesOgrWrites) {
  TempDir ours, theirs;
  {
    NewClass c{gd::GeometryType::Polygon, kGridColumns,
               {GridRow(1, "POLYGON ((0 10,10 10,10 0,0 0,0 10))"), GridRow(2, "POLYGON ((0 1,1 1,1 0,0 0,0 1))")}};
    WriteWithOgr(theirs / "new.shp", c);
    GDALDatasetUniquePtr ds(GDALDataset::Open((theirs / "new.shp").c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE));
    ASSERT_TRUE(ds);
    OGRLayer* layer = ds->GetLayer(0);
    OGRFeatureUniquePtr f(layer->GetFeature(0));
    f->SetField(2, "again");
    ASSERT_EQ(layer->SetFeature(f.get()), OGRERR_NONE);
  }
  {
    NewClass c{gd::GeometryType::Polygon, kGridColumns,
               {GridRow(1, "POLYGON ((0 10,10 10,10 0,0 0,0 10))"), GridRow(2, "POLYGON ((0 1,1 1,1 0,0 0,0 1))")}};
    gd::FieldSet fields{gd::Field::Shape("Shape", c.type)};
    for (const Column& col : c.columns) fields.AddField(gd::Field(col.name, col.type, col.width));
    auto fc = gd::ShapefileWorkspace::Open(ours.path().string())->CreateFeatureClass("new", fields);
    auto fill = [&](gd::Feature& f, const Row& row) {
      for (size_t k = 0; k < row.values.size(); ++k) {
        const int i = fc->FindField(c.columns[k].name);
        if (const auto* n = std::get_if<int64_t>(&row.values[k])) f.SetValue(i, *n);
        else f.SetValue(i, std::get<std::string>(row.values[k]));
      }
      f.SetShape(gd::Geometry::FromWkt(row.wkt));
      f.Store();
    };
    gd::Feature first = fc->CreateFeature(), second = fc->CreateFeature();
    fill(first, c.rows[0]);
    fill(second, c.rows[1]);
    first.SetValue(fc->FindField("MB_Label"), "again");
    first.Store();
  }
  gd::ShapefileWorkspace::ClearCache();
  ExpectSameFiles(ours.path(), theirs.path());
}

}  // namespace
