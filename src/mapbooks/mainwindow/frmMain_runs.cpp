// The print and export runs: every page of the chosen set, zoomed and printed or
// written to a file, with the keyword texts filled in for the run.

#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <map>

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "host/vb/datetime.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/system.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/output/modExportFunctions.h"

namespace mapbooks {

namespace vb = host::vb;
namespace ui = host::ui;
namespace arc = ZelvneGIS_ArcMap;
namespace fs = std::filesystem;

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

struct frmMain::RunState {
  RunKind kind = RunKind::Print;
  host::app::StepProgressor* progressor = nullptr;
  bool pageWanted = true;
  double fraction = 0;
  int32_t startFocusIndex = 0;
  RunKeywordTexts keywords;
  // The export run's own.
  bool pdfJoin = false;
  std::string searchCount, rowColumnCount, listCount, selectionCount;
  std::string format;
  std::string fileSuffix;
  int32_t pageCounter = 0;
};

namespace {
void pointer(int p) { ui::Screen::Instance().SetMousePointer(p); }

// One argument of a command line as the program's command-line parser reads it back:
// quoted, a quote as backslash and quote, and backslashes doubled where they come
// before a quote.
std::string CommandLineArgument(const std::string& argument) {
  if (!argument.empty() && argument.find_first_of(" \t\n\v\"") == std::string::npos) return argument;
  std::string quoted = "\"";
  size_t backslashes = 0;
  for (char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    quoted += c;
    backslashes = 0;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// The PDF joins this host started, by the folder they read. A join goes on after its
// run; the next run into that folder waits for it, or it would replace the pages the
// join is reading.
class PdfJoins {
 public:
  static void Started(const std::string& folder, int pid) {
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    Join join{pid, fd};
    if (fd < 0 && ::kill(pid, 0) != 0) return;  // over already
    auto& all = joins();
    if (auto it = all.find(key(folder)); it != all.end()) close(it->second);
    all[key(folder)] = join;
  }
  static void WaitFor(const std::string& folder) {
    auto& all = joins();
    auto it = all.find(key(folder));
    if (it == all.end()) return;
    Join join = it->second;
    all.erase(it);
    if (join.fd >= 0) {
      pollfd ended{join.fd, POLLIN, 0};
      while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
      }
    } else {
      // No descriptor for the process on this system: it is gone once it is reaped.
      while (::kill(join.pid, 0) == 0) host::win::Sleep(20);
    }
    close(join);
  }

 private:
  struct Join {
    int pid = 0;
    int fd = -1;
  };
  static void close(const Join& join) {
    if (join.fd >= 0) ::close(join.fd);
  }
  static std::map<fs::path, Join>& joins() {
    static std::map<fs::path, Join> all;
    return all;
  }
  // One folder however it was typed: its drive form or native form, with or without
  // a trailing separator, in any letter case the drive map resolves.
  static fs::path key(const std::string& folder) {
    fs::path native = host::win::NativePath(folder);
    std::error_code ec;
    fs::path resolved = fs::weakly_canonical(native, ec);
    fs::path p = (ec ? native : resolved).lexically_normal();
    return p.has_filename() || p == p.root_path() ? p : p.parent_path();
  }
};

// The wait after each zoomed frame: "NONE" and "NULL" in any letter case are no wait,
// as the window shows them, so the settings of a new user do not end the first run.
double refresh_delay(const std::string& item) {
  std::string u = vb::UCase(item);
  return u == "NONE" || u == "NULL" ? 0.0 : vb::CDbl(item);
}
}  // namespace

void frmMain::btnPrint_Click() { PageRun(RunKind::Print); }
void frmMain::btnExport_Click() { PageRun(RunKind::Export); }

void frmMain::PageRun(RunKind kind) {
  RunState run;
  run.kind = kind;
  const bool exporting = kind == RunKind::Export;
  ErrorHandling::GuardWith(
      [&] {
        SharedState& s = State();
        host::carto::Document& doc = *s.Document;
        if (exporting && txtRes.Text() == "0") {
          ui::MsgBox("Please enter a Resolution greater than 0");
          return;
        }
        if (lstDataFrames.ListCount() != doc.MapCount() &&
            ui::MsgBox("Warning: Number of Data Frames in project does not match number of frames in list.\r\n"
                       "Continue anyway?",
                       ui::vbYesNo) == ui::vbNo)
          return;
        if (exporting) run.pdfJoin = optPDF.Value();
        run.progressor = &s.Application->GetStatusBar().GetProgressBar();
        run.pageWanted = true;
        if (exporting) {
          run.searchCount = vb::CStr(vb::CInt(double(cboNavIndex.ListCount())));
          run.rowColumnCount = vb::CStr(
              vb::CInt(double(vb::CInt(double(cboNavRow.ListCount()))) * vb::CInt(double(cboNavColumn.ListCount()))));
          run.listCount = vb::CStr(vb::CInt(double(lstPrintSelect.ListCount())));
        }
        const std::string folder = txtDir.Text();
        if (!ZelvaneGIS_IO::fDoesDirectoryExist(folder)) {
          if (ui::MsgBox(folder + " does not exist. Create it?", ui::vbYesNo) != ui::vbYes) return;
          if (!modTolmirex::fCreateDirectory(folder)) {
            ui::MsgBox("Error creating new directory");
            return;
          }
        }
        if (exporting) PdfJoins::WaitFor(folder);
        run.fraction = ZoomFraction();
        pointer(ui::vbHourglass);
        if (!exporting) {
          doc.SetActiveView(doc.PageLayout());
          doc.ActiveView().Refresh();
        } else {
          const std::pair<ui::OptionButton*, const char*> formats[] = {
              {&optJPG, "JPG"}, {&optBMP, "BMP"}, {&optGIF, "GIF"}, {&optPDF, "PDF"}, {&optEMF, "EMF"},
              {&optPNG, "PNG"}, {&optTIF, "TIF"}, {&optAI, "AI"},   {&optSVG, "SVG"}};
          for (const auto& [option, code] : formats)
            if (option->Value()) {
              run.format = code;
              break;
            }
        }
        for (int j = 0; j < doc.MapCount(); ++j)
          if (doc.Map(j) == doc.FocusMap()) run.startFocusIndex = j;
        run.keywords.dateText = vb::DateText(vb::Today());
        run.keywords.timeText = vb::TimeText(vb::TimeOfDay());
        run.keywords.resolutionText = exporting ? "DPI: " + txtRes.Text() : "DPI: None";
        run.keywords.formatText = exporting ? "FORMAT: " + run.format : "FORMAT: Direct Print";
        run.keywords.Replace();
        if (!RunPageSets(run)) {
          run.keywords.PutBackAfterFailure();
          return;
        }
        EndRun(run, true);
      },
      [&](const vb::Error& e) {
        // The hourglass, the bar and the run's texts do not outlast a run that failed.
        if (run.progressor) run.progressor->Hide();
        pointer(ui::vbDefault);
        run.keywords.PutBackAfterFailure();
        ErrorHandling::Report(exporting ? "btnExport_Click" : "btnPrint_Click", "frmMain", e);
      });
}

bool frmMain::RunPageSets(RunState& run) {
  SharedState& s = State();
  host::carto::Document& doc = *s.Document;
  const bool exporting = run.kind == RunKind::Export;
  const bool reverse = chkReverse.Value() == 1;
  auto position = [&](long i, long n) { return reverse ? n - 1 - i : i; };
  auto parity = [&](long pos) {
    bool even = pos % 2 == 0;
    if (chkEven.Value() == 1) run.pageWanted = even;
    if (chkOdd.Value() == 1) run.pageWanted = !even;
  };
  // The refresh delay is read as the settings record holds it, at each wait.
  const std::function<double()> delay = [&s] { return refresh_delay(s.Config[RefreshDelay]); };
  auto progress = [&](long maximum) {
    host::app::StepProgressor& p = *run.progressor;
    p.SetMinRange(1);
    p.SetMaxRange(maximum);
    p.SetStepValue(1);
    p.SetPosition(1);
    p.SetMessage(exporting ? "ZelvaneMapbooks - Exporting..." : "ZelvaneMapbooks - Printing...");
    p.Show();
  };

  bool current = exporting ? optExpCurrent.Value() : optPrintCurrent.Value();
  bool all = exporting ? optExportAll.Value() : optPrintAll.Value();
  bool in_list = exporting ? optExpSelection.Value() : optPrintSome.Value();
  bool in_selection = exporting ? optExpMapSel.Value() : optPrintMapSel.Value();

  if (current) {
    if (exporting) {
      if (optAppendValues.Value())
        run.fileSuffix = modExportFunctions::strFileNamePart(
            !cboNavRow.Text().empty() && !cboNavColumn.Text().empty() ? cboNavRow.Text() + cboNavColumn.Text()
                                                                       : cboNavIndex.Text());
      else
        run.fileSuffix = "";
    }
    PageOutput(run);
  }

  if (all) {
    bool by_search = (exporting ? chkExpUseSearch.Value() : chkPrintUseSearch.Value()) == 1;
    bool by_row_column = (exporting ? chkExpUseRowCol.Value() : chkPrintUseRowCol.Value()) == 1;
    long maximum = 0;
    if (by_search) maximum = cboNavIndex.ListCount();
    if (by_row_column) maximum = vb::CInt(double(cboNavRow.ListCount()) * double(cboNavColumn.ListCount()));
    progress(maximum);
    if (by_search) {
      long n = cboNavIndex.ListCount();
      for (long i = 0; i < n; ++i) {
        long pos = position(i, n);
        run.progressor->Step();
        std::string key = cboNavIndex.List(pos);
        if (exporting) NamingStep(run, key, run.searchCount);
        parity(pos);
        if (run.pageWanted) {
          if (!GoToPage(PageKey::Search(key), run.fraction, exporting, delay)) return false;
          PageOutput(run);
        }
      }
    }
    if (by_row_column) {
      long rows = cboNavRow.ListCount(), columns = cboNavColumn.ListCount();
      for (long r = 0; r < rows; ++r) {
        long row_pos = position(r, rows);
        std::string row = cboNavRow.List(row_pos);
        for (long c = 0; c < columns; ++c) {
          std::string column = cboNavColumn.List(position(c, columns));
          run.progressor->Step();
          if (exporting) NamingStep(run, row + column, run.rowColumnCount);
          parity(row_pos);
          if (run.pageWanted) {
            GoToPage(PageKey::RowColumn(row, column), run.fraction, false, delay);
            PageOutput(run);
          }
        }
      }
    }
    run.progressor->Hide();
  }

  if (in_list) {
    long n = lstPrintSelect.ListCount();
    progress(n);
    for (long i = 0; i < n; ++i) {
      long pos = position(i, n);
      run.progressor->Step();
      if (!lstPrintSelect.Selected(pos)) continue;
      std::string value = lstPrintSelect.List(pos);
      arc::FeatureLayerPtr grid = arc::GetLayerByName(s.Config[ActiveLayerName]);
      std::string quoted = value;
      auto cursor = arc::GetFeatureCursorByValue(grid.get(), cboPrintQueryField.Text(), quoted);
      if (!cursor) vb::raise(vb::err::ObjectNotSet);
      int32_t k = 0;
      while (auto feature = cursor->NextFeature()) {
        ++k;
        if (exporting) NamingStep(run, value, run.listCount);
        parity(pos);
        if (run.pageWanted) {
          GoToPage(PageKey::Oid(feature->OID()), run.fraction, false, delay);
          PageOutput(run, k >= 2 ? "_" + std::to_string(k) : "");
        }
      }
    }
    run.progressor->Hide();
  }

  if (in_selection) {
    host::carto::Map& focus = *doc.FocusMap();
    int64_t n = focus.SelectionCount();
    if (n < 1) {
      pointer(ui::vbDefault);
      ui::MsgBox("No features selected in active data frame");
      EndRun(run, false);
      return false;
    }
    host::carto::EnumFeature features = focus.FeatureSelection();
    features.Reset();
    progress(long(n));
    run.selectionCount = vb::CStr(n);
    std::vector<std::string> oids(static_cast<size_t>(n));
    auto feature = features.Next();
    if (!feature || !feature->HasOID()) {
      pointer(ui::vbDefault);
      ui::MsgBox("No OID field found in current selection layer");
      EndRun(run, false);
      return false;
    }
    for (size_t k = 0; feature && k < oids.size(); ++k) {
      oids[k] = vb::CStr(feature->OID());
      feature = features.Next();
    }
    // Two selected features of one object ID show the same tile; their files get a
    // number so that neither replaces the other.
    std::map<std::string, int> seen;
    for (long i = 0; i < long(n); ++i) {
      long pos = position(i, long(n));
      run.progressor->Step();
      const std::string& key = oids[size_t(pos)];
      int repeat = ++seen[key];
      if (exporting) NamingStep(run, repeat > 1 ? key + "_" + std::to_string(repeat) : key, run.selectionCount);
      parity(pos);
      if (run.pageWanted) {
        GoToPage(PageKey::Oid(int64_t(vb::CDbl(key))), run.fraction, false, delay);
        PageOutput(run);
      }
    }
    run.progressor->Hide();
  }
  return true;
}

void frmMain::NamingStep(RunState& run, const std::string& value, const std::string& widthText) {
  if (optAppendValues.Value()) run.fileSuffix = modExportFunctions::strFileNamePart(value);
  run.pageCounter = vb::CLng(double(run.pageCounter) + 1);
  if (optAppendNumber.Value()) {
    run.fileSuffix = vb::CStr(run.pageCounter);
    if (chkZeroFill.Value() == 1)
      run.fileSuffix = modExportFunctions::strZeroFill(run.fileSuffix, vb::CInt(double(widthText.size())));
  }
}

void frmMain::PageOutput(RunState& run, const std::string& extraSuffix) {
  if (run.kind == RunKind::Print) return modTolmirex::fPrint();
  run.fileSuffix += extraSuffix;
  int32_t resolution = vb::CLng(txtRes.Text());
  modExportFunctions::ExportActiveView2(resolution, run.format, txtDir.Text(), txtName.Text() + run.fileSuffix);
}

void frmMain::EndRun(RunState& run, bool toTheEnd) {
  SharedState& s = State();
  host::carto::Document& doc = *s.Document;
  if (run.kind == RunKind::Print) {
    FocusDataFrame(doc.Map(run.startFocusIndex));
    run.keywords.PutBack();
  } else {
    run.keywords.PutBack();
    FocusDataFrame(doc.Map(s.PrimaryDataFrameIndex));
  }
  doc.ActiveView().Refresh();
  run.progressor->Hide();
  pointer(ui::vbDefault);
  if (!toTheEnd) return;
  if (run.kind == RunKind::Export && run.pdfJoin) JoinPdfPages();
  const std::string& batch = s.Config[BatchCommand];
  if (batch == "PRINTALLCLOSE" || batch == "EXPORTALLCLOSE" || batch == "PRINTSOMECLOSE" ||
      batch == "EXPORTSOMECLOSE") {
    s.Application->Shutdown();
    host::win::SendKeys("n", false);
  }
}

void frmMain::JoinPdfPages() {
  SharedState& s = State();
  if (!ZelvaneGIS_IO::fDoesFileExist(s.BinFolder + "\\pdftk.exe")) return;
  std::string folder = txtDir.Text();
  std::string combined = folder + (!folder.empty() && folder.back() == '\\' ? "" : "\\") + "Combined.pdf";
  if (ZelvaneGIS_IO::fDoesFileExist(combined)) ZelvaneGIS_IO::fDeleteFile(combined);
  auto with_backslash = [](std::string p) { return !p.empty() && p.back() == '\\' ? p : p + "\\"; };
  std::string bin = with_backslash(host::win::GetShortPathName(s.BinFolder + "\\"));
  std::string out = with_backslash(host::win::GetShortPathName(folder));
  // Full paths may hold blanks and quotes here, so each is quoted rather than shortened.
  std::string command = "\"" + bin + "pdftk\" " + CommandLineArgument(out + "*.pdf") + " cat output " +
                        CommandLineArgument(out + "Combined.pdf");
  PdfJoins::Started(folder, host::win::StartProgram(command, 2));
}

}  // namespace mapbooks
