// SPDX-License-Identifier: GPL-3.0-or-later
// The demo town: the same seed writes the same bytes, and the data holds the cases the
// map book's tests lean on.

#include <gtest/gtest.h>

#include <filesystem>

#include "geodata_testing.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

using namespace geodata_testing;
namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;

TEST(Towngen, SameSeedSameBytes) {
  TempDir a, b, c;
  towngen::TownOptions options{42, 5, 4};
  towngen::WriteTown(a.path().string(), options);
  towngen::WriteTown(b.path().string(), options);
  options.seed = 43;
  towngen::WriteTown(c.path().string(), options);
  int files = 0;
  for (const auto& entry : fs::directory_iterator(a.path())) {
    std::string name = entry.path().filename().string();
    EXPECT_EQ(ReadFile(entry.path()), ReadFile(b / name)) << name;
    ++files;
  }
  EXPECT_EQ(files, 15);  // three shapefiles of .shp .shx .dbf .prj .cpg
  EXPECT_NE(ReadFile(a / "blocks.shp"), ReadFile(c / "blocks.shp"));
  // Writing again over the same folder replaces the files with the same bytes.
  std::string before = ReadFile(a / "streets.dbf");
  towngen::WriteTown(a.path().string(), {42, 5, 4});
  EXPECT_EQ(ReadFile(a / "streets.dbf"), before);
}

TEST(Towngen, TownHoldsTheTrickyValues) {
  TempDir dir;
  towngen::TownSummary s = towngen::WriteTown(dir.path().string(), {1, 6, 5});
  EXPECT_EQ(s.blocks, 30);
  EXPECT_EQ(s.streets, towngen::StreetCount(6, 5));
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  auto streets = ws->OpenFeatureClass("streets");
  EXPECT_EQ(streets->FeatureCount(), s.streets);
  EXPECT_EQ(streets->SpatialRef().Unit(), gd::LinearUnit::Feet);
  EXPECT_EQ(streets->ShapeType(), gd::GeometryType::Polyline);
  EXPECT_EQ(Where(*streets, "NAME = 'O''Brien Ave'").size(), 5u);
  EXPECT_EQ(Where(*streets, "NAME = 'Main St'").size(), 3u);
  EXPECT_EQ(Where(*streets, "NAME = 'MAIN ST'").size(), 3u);
  EXPECT_EQ(streets->Extent(), s.extent);

  auto poi = ws->OpenFeatureClass("poi");
  EXPECT_EQ(poi->ShapeType(), gd::GeometryType::Point);
  EXPECT_EQ(poi->Fields().Field(poi->FindField("OPENED")).Type(), gd::FieldType::Date);
  EXPECT_GT(poi->FeatureCount(gd::QueryFilter("OPENED IS NULL")), 0);
  EXPECT_GT(poi->FeatureCount(gd::QueryFilter("OPENED > #1/1/1950#")), 0);
  EXPECT_GT(poi->FeatureCount(gd::QueryFilter("NAME LIKE '%''%'")), 0);

  auto blocks = ws->OpenFeatureClass("blocks");
  EXPECT_EQ(blocks->ShapeType(), gd::GeometryType::Polygon);
  for (auto c = blocks->Search(gd::QueryFilter("BLOCK_ID <= 3")); auto b = c.NextFeature();) {
    EXPECT_NEAR(b->Value("AREA").AsDouble(), b->Shape().Area(), 0.01);
    EXPECT_TRUE(s.extent.Contains(b->Extent()));
  }
}

TEST(Towngen, TileGridCoversTheExtentWithSquareTiles) {
  TempDir dir;
  gd::Envelope town(1000, 2000, 4000, 3000);
  towngen::GridSummary g = towngen::WriteTileGrid(dir.path().string(), "tiles", town, 30, 2);
  EXPECT_DOUBLE_EQ(g.tileSize, 500);  // the height decides: 1000 / 2
  EXPECT_TRUE(g.extent.Contains(town));
  auto grid = gd::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("tiles");
  EXPECT_EQ(grid->FeatureCount(), 60);
  auto last = grid->GetFeature(59);
  EXPECT_EQ(last->Value("MB_Label").AsString(), "B30");
  EXPECT_EQ(last->Value("MB_Index").AsLong(), 60);
  EXPECT_EQ(last->Extent().Width(), 500);
  EXPECT_EQ(grid->GetFeature(0)->Extent().UpperLeft(), g.extent.UpperLeft());
  EXPECT_EQ(towngen::RowLetters(1), "A");
  EXPECT_EQ(towngen::RowLetters(26), "Z");
  EXPECT_EQ(towngen::RowLetters(27), "AA");
  EXPECT_EQ(towngen::RowLetters(53), "BA");
}

}  // namespace
