// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/PageRun.h"

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "host/vb/convert.h"
#include "host/vb/datetime.h"
#include "host/vb/text.h"
#include "host/win/system.h"
#include "mapbooks/common/ConfigFile.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/output/PdfJoin.h"
#include "mapbooks/output/modExportFunctions.h"

namespace mapbooks {

namespace vb = host::vb;
namespace ui = host::ui;
namespace arc = ZelvneGIS_ArcMap;

namespace {
void pointer(int p) { ui::Screen::Instance().SetMousePointer(p); }

// The wait after each zoomed frame: "NONE" and "NULL" in any letter case are no wait,
// as the window shows them, so the settings of a new user do not end the first run.
double refresh_delay(const std::string& item) { return ConfigFile::IsNoValue(item) ? 0.0 : vb::CDbl(item); }

// The four keyword texts of the layout, replaced by a run's values and put back.
struct RunKeywordTexts {
  std::string dateText, timeText, resolutionText, formatText;
  bool replaced = false;  // until the keywords are back on the layout

  void Replace() {
    replaced = true;
    arc::ReplaceLayoutText("MBDATE", dateText);
    arc::ReplaceLayoutText("MBTIME", timeText);
    arc::ReplaceLayoutText("MBDPI", resolutionText);
    arc::ReplaceLayoutText("MBTYPE", formatText);
  }
  void PutBack() {
    if (!replaced) return;
    replaced = false;
    arc::ReplaceLayoutText(dateText, "MBDATE");
    arc::ReplaceLayoutText(timeText, "MBTIME");
    arc::ReplaceLayoutText(resolutionText, "MBDPI");
    arc::ReplaceLayoutText(formatText, "MBTYPE");
  }
  // After a run that did not reach its end steps: a save afterwards keeps the keywords,
  // and nothing on the way out may stop the report that follows.
  void PutBackAfterFailure() {
    ErrorHandling::IgnoreErrors([&] { PutBack(); });
  }
  // Whatever ends the run, the layout does not keep the run's values.
  ~RunKeywordTexts() {
    try {
      PutBack();
    } catch (...) {
    }
  }
};

class Run {
 public:
  Run(const RunOptions& options, IRunWindow& window)
      : o_(options), window_(window), exporting_(options.kind == RunKind::Export) {}

  void Perform();
  void Failed(const vb::Error& e, const char* procedure, const char* module) {
    // The hourglass, the bar and the run's texts do not outlast a run that failed.
    if (progressor_) progressor_->Hide();
    pointer(ui::vbDefault);
    keywords_.PutBackAfterFailure();
    ErrorHandling::Report(procedure, module, e);
  }

 private:
  // False when the run stopped before its end steps.
  bool OutputPages();
  void NamingStep(const Page& page);
  void Output(const Page& page);
  void End(bool toTheEnd);

  const RunOptions& o_;
  IRunWindow& window_;
  const bool exporting_;
  host::app::StepProgressor* progressor_ = nullptr;
  bool pageWanted_ = true;
  double fraction_ = 0;
  int32_t startFocusIndex_ = 0;
  RunKeywordTexts keywords_;
  // The export run's own.
  bool pdfJoin_ = false;
  CountTexts counts_;
  std::string fileSuffix_;
  int32_t pageCounter_ = 0;
};

void Run::Perform() {
  SharedState& s = State();
  host::carto::Document& doc = *s.Document;
  if (exporting_ && o_.resolution == "0") {
    ui::MsgBox("Please enter a Resolution greater than 0");
    return;
  }
  if (o_.dataFrameRows != doc.MapCount() &&
      ui::MsgBox("Warning: Number of Data Frames in project does not match number of frames in list.\r\n"
                 "Continue anyway?",
                 ui::vbYesNo) == ui::vbNo)
    return;
  if (exporting_) pdfJoin_ = o_.pdfJoin;
  progressor_ = &s.Application->GetStatusBar().GetProgressBar();
  pageWanted_ = true;
  if (exporting_) counts_ = CountTextsOf(o_.lists);
  if (!ZelvaneGIS_IO::fDoesDirectoryExist(o_.folder)) {
    if (ui::MsgBox(o_.folder + " does not exist. Create it?", ui::vbYesNo) != ui::vbYes) return;
    if (!modTolmirex::fCreateDirectory(o_.folder)) {
      ui::MsgBox("Error creating new directory");
      return;
    }
  }
  if (exporting_) WaitForPdfJoin(o_.folder);
  fraction_ = window_.ZoomFraction();
  pointer(ui::vbHourglass);
  if (!exporting_) {
    doc.SetActiveView(doc.PageLayout());
    doc.ActiveView().Refresh();
  }
  for (int j = 0; j < doc.MapCount(); ++j)
    if (doc.Map(j) == doc.FocusMap()) startFocusIndex_ = j;
  keywords_.dateText = vb::DateText(vb::Today());
  keywords_.timeText = vb::TimeText(vb::TimeOfDay());
  keywords_.resolutionText = exporting_ ? "DPI: " + o_.resolution : "DPI: None";
  keywords_.formatText = exporting_ ? "FORMAT: " + o_.format : "FORMAT: Direct Print";
  keywords_.Replace();
  if (!OutputPages()) {
    // A run that stops on its way leaves no bar saying it still works.
    if (progressor_) progressor_->Hide();
    keywords_.PutBackAfterFailure();
    return;
  }
  End(true);
}

bool Run::OutputPages() {
  SharedState& s = State();
  // The refresh delay is read as the settings record holds it, at each wait.
  const std::function<double()> delay = [&s] { return refresh_delay(s.Config[RefreshDelay]); };
  const char* message = exporting_ ? "ZelvaneMapbooks - Exporting..." : "ZelvaneMapbooks - Printing...";
  for (PageSet set : o_.sets) {
    PageSetIterator pages(set, o_.order, o_.lists, counts_, *progressor_, message);
    if (auto refusal = pages.Begin()) {
      pointer(ui::vbDefault);
      ui::MsgBox(*refusal);
      End(false);
      return false;
    }
    while (auto page = pages.Next()) {
      if (exporting_) NamingStep(*page);
      if (page->Zoomed()) {
        if (o_.evenPages) pageWanted_ = page->even;
        if (o_.oddPages) pageWanted_ = !page->even;
        if (!pageWanted_) continue;
        if (!window_.GoToPage(page->Key(), fraction_, exporting_ && page->stopsOnMissingLayer, delay)) return false;
      }
      Output(*page);
    }
  }
  return true;
}

// The file name's suffix: the page's value or its number in the run order, counted
// whether the page is kept or not. The current map carries no number.
void Run::NamingStep(const Page& page) {
  if (!page.Zoomed()) {
    fileSuffix_ = o_.appendValues ? modExportFunctions::strFileNamePart(page.name) : "";
    return;
  }
  if (o_.appendValues) fileSuffix_ = modExportFunctions::strFileNamePart(page.name);
  pageCounter_ = vb::CLng(double(pageCounter_) + 1);
  if (o_.appendNumber) {
    fileSuffix_ = vb::CStr(pageCounter_);
    if (o_.zeroFill)
      fileSuffix_ = modExportFunctions::strZeroFill(fileSuffix_, vb::CInt(double(page.widthText.size())));
  }
}

void Run::Output(const Page& page) {
  if (!exporting_) return modTolmirex::fPrint();
  fileSuffix_ += page.featureSuffix;
  int32_t resolution = vb::CLng(o_.resolution);
  modExportFunctions::ExportActiveView2(resolution, o_.format, o_.folder, o_.fileName + fileSuffix_);
}

void Run::End(bool toTheEnd) {
  SharedState& s = State();
  host::carto::Document& doc = *s.Document;
  if (!exporting_) {
    window_.FocusDataFrame(doc.Map(startFocusIndex_));
    keywords_.PutBack();
  } else {
    keywords_.PutBack();
    window_.FocusDataFrame(doc.Map(s.PrimaryDataFrameIndex));
  }
  doc.ActiveView().Refresh();
  progressor_->Hide();
  pointer(ui::vbDefault);
  if (!toTheEnd) return;
  if (exporting_ && pdfJoin_) JoinPdfPages(o_.folder);
  const std::string& batch = s.Config[BatchCommand];
  if (batch == "PRINTALLCLOSE" || batch == "EXPORTALLCLOSE" || batch == "PRINTSOMECLOSE" ||
      batch == "EXPORTSOMECLOSE") {
    s.Application->Shutdown();
    host::win::SendKeys("n", false);
  }
}
}  // namespace

void PageRun(const RunOptions& options, IRunWindow& window, const char* procedure, const char* module) {
  Run run(options, window);
  ErrorHandling::GuardWith([&] { run.Perform(); }, [&](const vb::Error& e) { run.Failed(e, procedure, module); });
}

}  // namespace mapbooks
