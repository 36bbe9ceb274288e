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
#include <vector>

#include "geodata_testing.h"
#include "support/temp_dir.h"

namespace {

using namespace geodata_testing;
namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;

gd::FieldSet GridFields() {
  return {gd::Field::Shape("Shape", gd::GeometryType::Polygon, gd::SpatialReference()),
          gd::Field("MB_Index", gd::FieldType::Integer, 12), gd::Field("MB_Row", gd::FieldType::String, 12),
          gd::Field("MB_Column", gd::FieldType::String, 12), gd::Field("MB_Label", gd::FieldType::String, 24),
          gd::Field("AREA", gd::FieldType::Double)};
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
  TempDir dir;
  const fs::path shp = dir / "grid.shp";
  {
    auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
    auto fc = ws->CreateFeatureClass("grid", GridFields());
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
    auto fc = ws->CreateFeatureClass("grid", GridFields());
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
  TempDir dir;
  const fs::path shp = dir / "grid.shp";
  auto fc = gd::ShapefileWorkspace::Open(dir.path().string())->CreateFeatureClass("grid", GridFields());
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

// A stored row keeps what the table holds apart from what the row is changed to next.
TEST(ShapefileWorkspace, ARowChangedAfterItIsStoredLeavesTheStoredRowAlone) {
  TempDir dir;
  auto fc = gd::ShapefileWorkspace::Open(dir.path().string())->CreateFeatureClass("grid", GridFields());
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

}  // namespace
