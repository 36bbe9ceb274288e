// SPDX-License-Identifier: GPL-3.0-or-later
// The select tool's shape selection: what the shape meets on the visible layers, new or
// added, and nothing from hidden layers.

#include <gtest/gtest.h>

#include "host/carto/carto_testing.h"
#include "support/temp_dir.h"

using namespace host;
using namespace host::carto;
using carto_testing::WritePoints;
using carto_testing::WriteTiles;
using geodata::Envelope;
using geodata::Geometry;

namespace {

class SelectByShape : public ::testing::Test {
 protected:
  void SetUp() override {
    grid = std::make_shared<FeatureLayer>(WriteTiles(dir.path(), "tiles", 4, 3));  // 400 x 300
    dots = std::make_shared<FeatureLayer>(WritePoints(dir.path(), "points", {{50, 50}, {150, 250}, {350, 150}}));
    group = std::make_shared<GroupLayer>("g");
    group->Add(dots);
    map.AddLayer(group);
    map.AddLayer(grid);
  }
  testing_support::TempDir dir;
  Map map{"Main"};
  std::shared_ptr<FeatureLayer> grid, dots;
  std::shared_ptr<GroupLayer> group;
};

}  // namespace

TEST_F(SelectByShape, ARectangleSelectsExactlyWhatItMeets) {
  // Inside tiles 0, 1, 4, 5 and touching none of the others; the point at (50, 50) only.
  EXPECT_EQ(map.SelectByShape(Geometry::FromEnvelope(Envelope(20, 20, 180, 180))), 5);
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{0, 1, 4, 5}));
  EXPECT_EQ(dots->SelectionSet().IDs(), (std::vector<int64_t>{0}));
  // A new selection replaces the old one on every layer, also where it finds nothing.
  EXPECT_EQ(map.SelectByShape(Geometry::FromEnvelope(Envelope(310, 210, 320, 220))), 1);
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{11}));
  EXPECT_EQ(dots->SelectionCount(), 0);
}

TEST_F(SelectByShape, AddingKeepsTheSelectionAndAPointPicksOneTile) {
  map.SelectByShape(Geometry::MakePoint(50, 50));
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{0}));
  EXPECT_EQ(dots->SelectionSet().IDs(), (std::vector<int64_t>{0}));
  EXPECT_EQ(map.SelectByShape(Geometry::MakePoint(250, 250), true), 3);
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{0, 10}));
}

TEST_F(SelectByShape, HiddenLayersAndLayersInHiddenGroupsAreNotSelected) {
  dots->SelectFeatures(nullptr);
  group->SetVisible(false);
  EXPECT_EQ(map.SelectByShape(Geometry::FromEnvelope(Envelope(0, 0, 400, 300))), 12);
  EXPECT_EQ(dots->SelectionCount(), 0);
  grid->SetVisible(false);
  group->SetVisible(true);
  EXPECT_EQ(map.SelectByShape(Geometry::FromEnvelope(Envelope(0, 0, 400, 300))), 3);
  EXPECT_EQ(grid->SelectionCount(), 0);
}
