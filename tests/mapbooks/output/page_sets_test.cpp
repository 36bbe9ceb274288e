// SPDX-License-Identifier: GPL-3.0-or-later
// The pages of each set in run order, with the names and the parity the run uses:
// every set reversed, where the run tests turn the Search list only.

#include <gtest/gtest.h>

#include "host/app/progressor.h"
#include "host/vb/error.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"
#include "mapbooks/output/PageSets.h"

using namespace mapbooks;

namespace {

struct Seen {
  std::vector<Page> pages;
  int steps = 0;
  long maximum = 0;
  bool shownAtTheEnd = true;
};

// Every page of the set, with the progress bar's steps counted.
Seen Walk(PageSet set, const PageLists& lists, bool reverse, const PageOrder& sources = {}) {
  host::app::StepProgressor progress;
  Seen seen;
  PageOrder order = sources;
  order.reverse = reverse;
  PageSetIterator pages(set, order, lists, CountTextsOf(lists), progress, "Exporting");
  EXPECT_EQ(pages.Begin(), std::nullopt);
  seen.maximum = progress.MaxRange();
  // From here on the bar changes only by its steps and by hiding at the end.
  progress.SetListener([&](const host::app::StepProgressor& p) {
    if (p.Visible()) ++seen.steps;
  });
  while (auto page = pages.Next()) seen.pages.push_back(*page);
  seen.shownAtTheEnd = progress.Visible();
  progress.SetListener(nullptr);
  return seen;
}

std::vector<std::string> Names(const Seen& s) {
  std::vector<std::string> r;
  for (const auto& p : s.pages) r.push_back(p.name + p.featureSuffix + (p.even ? " even" : " odd"));
  return r;
}

using V = std::vector<std::string>;

TEST(PageSets, AllMapsInReverse) {
  PageLists lists;
  lists.search = {"A1", "A2", "A3"};
  lists.rows = {"A", "B"};
  lists.columns = {"1", "2", "3"};

  Seen bySearch = Walk(PageSet::AllMaps, lists, true, {.bySearch = true});
  EXPECT_EQ(Names(bySearch), (V{"A3 even", "A2 odd", "A1 even"}));
  EXPECT_EQ(bySearch.pages[0].Key(), PageKey::Search("A3"));
  EXPECT_TRUE(bySearch.pages[0].stopsOnMissingLayer);
  EXPECT_EQ(bySearch.pages[0].widthText, "3");
  EXPECT_EQ(bySearch.maximum, 3);
  EXPECT_FALSE(bySearch.shownAtTheEnd);

  // Rows and columns both turn; the parity is the row's.
  Seen byRowColumn = Walk(PageSet::AllMaps, lists, true, {.byRowColumn = true});
  EXPECT_EQ(Names(byRowColumn), (V{"B3 odd", "B2 odd", "B1 odd", "A3 even", "A2 even", "A1 even"}));
  EXPECT_EQ(byRowColumn.pages[1].Key(), PageKey::RowColumn("B", "2"));
  EXPECT_FALSE(byRowColumn.pages[1].stopsOnMissingLayer);
  EXPECT_EQ(byRowColumn.pages[1].widthText, "6");
  EXPECT_EQ(byRowColumn.maximum, 6);
  EXPECT_EQ(byRowColumn.steps, 6);

  // A Row list without columns, or no source checked: no page, the bar shown and hidden.
  lists.columns.clear();
  EXPECT_TRUE(Walk(PageSet::AllMaps, lists, false, {.byRowColumn = true}).pages.empty());
  Seen none = Walk(PageSet::AllMaps, lists, false);
  EXPECT_TRUE(none.pages.empty());
  EXPECT_FALSE(none.shownAtTheEnd);
}

TEST(PageSets, TheCurrentMapIsOnePageNamedByTheNavigator) {
  PageLists lists;
  lists.searchText = "A2";
  lists.rowText = "B";
  Seen seen = Walk(PageSet::CurrentMap, lists, true);
  ASSERT_EQ(seen.pages.size(), 1u);
  EXPECT_FALSE(seen.pages[0].Zoomed());
  EXPECT_EQ(seen.pages[0].name, "A2");  // the column is empty
  lists.columnText = "3";
  EXPECT_EQ(Walk(PageSet::CurrentMap, lists, false).pages[0].name, "B3");
}

TEST(PageSets, TheCountsOfAnExportRunAreSixteenBit) {
  PageLists lists;
  lists.search.resize(100);
  lists.rows.resize(181);
  lists.columns.resize(181);  // 32761
  CountTexts t = CountTextsOf(lists);
  EXPECT_EQ(t.search, "100");
  EXPECT_EQ(t.rowColumn, "32761");
  EXPECT_EQ(t.list, "0");
  lists.columns.resize(182);
  try {
    CountTextsOf(lists);
    ADD_FAILURE() << "no overflow";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 6);
  }
}

// The town's 3 x 2 grid: object IDs 0 to 5 are A1, A2, A3, B1, B2, B3.
class PageSetsOfTheGrid : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown(3, 2);
    doc().FocusMap()->AddLayer(grid1 = Layer("grid"));
    doc().FocusMap()->AddLayer(grid2 = Layer("grid"));
    StartProgram();
    State().Config[ActiveLayerName] = "grid";
  }
  std::shared_ptr<host::carto::FeatureLayer> grid1, grid2;
};

TEST_F(PageSetsOfTheGrid, MapsInListInReverse) {
  PageLists lists;
  lists.selection = {{"1", false}, {"2", true}, {"3", true}};
  lists.selectionField = "MB_Column";
  Seen seen = Walk(PageSet::MapsInList, lists, true);
  // Each feature of a value is a page with the value's row parity; the unselected row
  // steps the bar as well.
  EXPECT_EQ(Names(seen), (V{"3 even", "3_2 even", "2 odd", "2_2 odd"}));
  std::vector<int64_t> oids;
  for (const auto& p : seen.pages) oids.push_back(p.Key().oid);
  EXPECT_EQ(oids, (std::vector<int64_t>{2, 5, 1, 4}));
  EXPECT_EQ(seen.pages[0].widthText, "3");
  EXPECT_EQ(seen.steps, 3);
  EXPECT_FALSE(seen.shownAtTheEnd);
}

TEST_F(PageSetsOfTheGrid, MapsInSelectionInReverseNumberRepeatsInRunOrder) {
  grid1->SelectionSet().AddList({1, 4});
  grid2->SelectionSet().AddList({1, 4});
  Seen seen = Walk(PageSet::MapsInSelection, {}, true);
  EXPECT_EQ(Names(seen), (V{"4 odd", "1 even", "4_2 odd", "1_2 even"}));
  EXPECT_EQ(seen.pages[0].Key(), PageKey::Oid(4));
  EXPECT_EQ(seen.pages[0].widthText, "4");
  EXPECT_EQ(seen.steps, 4);
}

// A selected ID the grid no longer has keeps its place in the run: the page converts
// its empty key, and fails, only when it is gone to.
TEST_F(PageSetsOfTheGrid, AVanishedSelectedFeatureFailsOnlyWhereItIsGoneTo) {
  grid1->SelectionSet().AddList({1, 99});
  Seen seen = Walk(PageSet::MapsInSelection, {}, false);
  ASSERT_EQ(seen.pages.size(), 2u);
  EXPECT_EQ(seen.pages[0].Key(), PageKey::Oid(1));
  EXPECT_EQ(seen.pages[1].name, "");
  EXPECT_FALSE(seen.pages[1].even);
  EXPECT_THROW(seen.pages[1].Key(), host::vb::Error);
}

TEST_F(PageSetsOfTheGrid, ASelectionThatCannotRunSaysWhy) {
  host::app::StepProgressor progress;
  PageLists lists;
  PageSetIterator none(PageSet::MapsInSelection, {}, lists, {}, progress, "Printing");
  EXPECT_EQ(none.Begin(), "No features selected in active data frame");
  EXPECT_FALSE(progress.Visible());
  grid1->SelectionSet().Add(99);
  PageSetIterator vanished(PageSet::MapsInSelection, {}, lists, {}, progress, "Printing");
  EXPECT_EQ(vanished.Begin(), "No OID field found in current selection layer");
  EXPECT_TRUE(progress.Visible());  // the run's end hides it
  EXPECT_EQ(progress.Message(), "Printing");
}

}  // namespace
