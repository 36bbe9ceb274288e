// SPDX-License-Identifier: GPL-3.0-or-later
// A new shapefile is written in memory and put on disk whole: what a reader of its own
// finds there at its start, after each Flush, and once the last holder lets it go.

#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>

#include "geodata_testing.h"
#include "support/temp_dir.h"

namespace {

using namespace geodata_testing;
namespace fs = std::filesystem;
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

}  // namespace
