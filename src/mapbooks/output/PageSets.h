// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The pages of a run's page set, in run order: what each page goes to, what its file
// is named by and its parity. The run that outputs them is apart (PageRun.h).

#include <map>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/output/PageKey.h"

namespace host::app {
class StepProgressor;
}

namespace mapbooks {

// The sets, in the order a run tests their options.
enum class PageSet { CurrentMap, AllMaps, MapsInList, MapsInSelection };

// The Navigator's and the Selection tab's lists as the window shows them.
struct PageLists {
  std::vector<std::string> search, rows, columns;
  struct Row {
    std::string text;
    bool selected = false;
  };
  std::vector<Row> selection;
  std::string selectionField;
  // The Navigator's own texts: the current map's name.
  std::string searchText, rowText, columnText;
};

struct PageOrder {
  bool bySearch = false, byRowColumn = false;  // the two sources of all maps
  bool reverse = false;
};

// The decimal counts that set the zero-fill width of the numbered files.
struct CountTexts {
  std::string search, rowColumn, list;
};
// Taken from the lists when an export run starts; a Row by Column product above a
// 16-bit count fails there, whatever set runs.
CountTexts CountTextsOf(const PageLists& lists);

struct Page {
  // Where the page is: none for the current map, output as the layout shows it. The
  // selection's object IDs are held as text and converted only for a page gone to.
  std::variant<std::monostate, PageKey, std::string> where;
  std::string name;       // what an appended value names its file by
  std::string widthText;  // its count's text: the zero-fill width
  bool even = true;       // by its list position (a row's in rows and columns)
  std::string featureSuffix;        // "_k" from the second feature of one list value
  bool stopsOnMissingLayer = false;  // an export stops at a frame without the grid layer

  bool Zoomed() const { return where.index() != 0; }
  PageKey Key() const;
};

// One set's pages, taken one at a time: the list set looks its features up in the
// focus map the previous page left. The progress bar steps at every position of the
// run order, kept or not. The lists are read as the pages are taken, so they outlive it.
class PageSetIterator {
 public:
  PageSetIterator(PageSet set, const PageOrder& order, const PageLists& lists, const CountTexts& counts,
                  host::app::StepProgressor& progress, std::string progressMessage);
  // The progress bar set up; the message of a set that cannot run, else none.
  std::optional<std::string> Begin();
  // The next page; none after the last, with the progress bar hidden.
  std::optional<Page> Next();

 private:
  long position(long i, long n) const { return order_.reverse ? n - 1 - i : i; }
  void showProgress(long maximum);
  std::optional<Page> end();
  std::optional<Page> nextOfAll();
  std::optional<Page> nextInList();
  std::optional<Page> nextInSelection();

  PageSet set_;
  PageOrder order_;
  const PageLists& lists_;
  CountTexts counts_;
  host::app::StepProgressor& progress_;
  std::string message_;
  long i_ = 0, column_ = 0;
  bool ended_ = false;
  // The list set: the row under way and its features.
  long rowPosition_ = 0;
  int32_t feature_ = 0;
  ZelvneGIS_ArcMap::FeatureLayerPtr grid_;
  std::optional<ZelvneGIS_ArcMap::FeatureCursor> cursor_;
  // The selection set.
  std::vector<std::string> oids_;
  std::string selectionCount_;
  std::map<std::string, int> seen_;
};

}  // namespace mapbooks
