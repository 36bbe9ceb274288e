// SPDX-License-Identifier: GPL-3.0-or-later
// Selection sets over a feature class.

#include <gtest/gtest.h>

#include "geodata_testing.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;
using Ids = std::vector<int64_t>;

TEST(SelectionSet, HoldsIdsAndSearchesThem) {
  testing_support::TempDir dir;
  towngen::WriteTileGrid(dir.path().string(), "grid", gd::Envelope(0, 0, 400, 300), 4, 3);
  auto grid = gd::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("grid");

  gd::SelectionSet s(grid);
  EXPECT_EQ(s.Count(), 0);
  s.AddList({7, 3, 11, 3});
  s.Add(0);
  s.Add(40);  // not a row of the grid: kept, but never found
  EXPECT_EQ(s.Count(), 5);
  EXPECT_TRUE(s.Contains(11));
  EXPECT_FALSE(s.Contains(1));
  EXPECT_EQ(s.IDs(), (Ids{0, 3, 7, 11, 40}));
  EXPECT_EQ(Oids(s.Search()), (Ids{0, 3, 7, 11}));
  EXPECT_EQ(Oids(s.Search(gd::QueryFilter("MB_Row = 'A'"))), (Ids{0, 3}));
  EXPECT_EQ(s.Select(gd::QueryFilter("MB_Column IN ('4', '1')")).IDs(), (Ids{0, 3, 7, 11}));
  EXPECT_EQ(ErrorOf([&] { s.Search(gd::QueryFilter("MB_Row = ")); }).number(), vb::err::HostFailure);
  s.Remove(40);
  s.RemoveList({0, 99});
  EXPECT_EQ(s.IDs(), (Ids{3, 7, 11}));

  gd::SelectionSet rowB = grid->Select(gd::QueryFilter("MB_Row = 'B'"));
  EXPECT_EQ(rowB.IDs(), (Ids{4, 5, 6, 7}));
  EXPECT_EQ(rowB.Target(), grid);
  gd::SelectionSet both = s;
  both.Intersect(rowB);
  EXPECT_EQ(both.IDs(), (Ids{7}));
  both.Union(rowB);
  EXPECT_EQ(both.IDs(), (Ids{4, 5, 6, 7}));
  both.Subtract(s);
  EXPECT_EQ(both.IDs(), (Ids{4, 5, 6}));
  both.Clear();
  EXPECT_EQ(Oids(both.Search()), (Ids{}));

  auto other = gd::ShapefileWorkspace::Open(dir.path().string())->OpenTable("grid.dbf");
  EXPECT_EQ(ErrorOf([&] { both.Union(gd::SelectionSet(other)); }).number(), vb::err::InvalidCall);
  EXPECT_EQ(ErrorOf([] { gd::SelectionSet none(nullptr); }).number(), vb::err::ObjectNotSet);

  // A spatial selection: the four tiles that meet at a corner.
  gd::SpatialFilter at(gd::Geometry::MakePoint(200, 200));
  EXPECT_EQ(grid->Select(at).IDs(), (Ids{1, 2, 5, 6}));
}

}  // namespace
