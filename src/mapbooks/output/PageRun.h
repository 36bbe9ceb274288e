// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The print and export runs: every page of the chosen set, zoomed and printed or
// written to a file, with the keyword texts filled in for the run. The window that
// starts a run hands over its settings as they stand and turns the pages for it.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "mapbooks/output/PageKey.h"
#include "mapbooks/output/PageSets.h"

namespace host::carto {
class Map;
}

namespace mapbooks {

enum class RunKind { Print, Export };

// What a run reads from the window's controls.
struct RunOptions {
  RunKind kind = RunKind::Print;
  // The sets whose option is on, in the order the run tests them.
  std::vector<PageSet> sets;
  PageOrder order;
  bool evenPages = false, oddPages = false;
  PageLists lists;
  long dataFrameRows = 0;  // the rows of the data frame list
  // The export run's own.
  std::string resolution;  // as typed
  std::string format;      // the code of the first format option that is on, or empty
  std::string folder;
  std::string fileName;
  bool appendValues = false, appendNumber = false, zeroFill = false;
  bool pdfJoin = false;
};

// What only the window can do for a run.
class IRunWindow {
 public:
  virtual ~IRunWindow() = default;
  // Moves every selected data frame to the page; false when a frame without the grid
  // layer stopped it (stopOnMissingLayer). The wait after each zoomed frame is asked
  // for there.
  virtual bool GoToPage(const PageKey& key, double fraction, bool stopOnMissingLayer,
                        const std::function<double()>& waitSeconds) = 0;
  // The map made the focus map: of the layout in layout view, else the active view.
  virtual void FocusDataFrame(const std::shared_ptr<host::carto::Map>& map) = 0;
  // The percentage box as a fraction: its number / 100 when above 0, else 0.
  virtual double ZoomFraction() const = 0;
};

// One run, from its checks to its end. A run-time error ends it with the report
// naming procedure in module.
void PageRun(const RunOptions& options, IRunWindow& window, const char* procedure, const char* module);

}  // namespace mapbooks
