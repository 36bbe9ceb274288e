// SPDX-License-Identifier: GPL-3.0-or-later
// The print and export buttons: the run of the output folder, with the window's
// settings as they stand and the window turning the pages.

#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

void frmMain::btnPrint_Click() { PageRun(PageRunOptions(RunKind::Print), *this, "btnPrint_Click", "frmMain"); }
void frmMain::btnExport_Click() { PageRun(PageRunOptions(RunKind::Export), *this, "btnExport_Click", "frmMain"); }

RunOptions frmMain::PageRunOptions(RunKind kind) const {
  const bool exporting = kind == RunKind::Export;
  RunOptions o;
  o.kind = kind;
  const std::pair<bool, PageSet> sets[] = {
      {exporting ? optExpCurrent.Value() : optPrintCurrent.Value(), PageSet::CurrentMap},
      {exporting ? optExportAll.Value() : optPrintAll.Value(), PageSet::AllMaps},
      {exporting ? optExpSelection.Value() : optPrintSome.Value(), PageSet::MapsInList},
      {exporting ? optExpMapSel.Value() : optPrintMapSel.Value(), PageSet::MapsInSelection}};
  for (const auto& [on, set] : sets)
    if (on) o.sets.push_back(set);
  o.order.bySearch = (exporting ? chkExpUseSearch.Value() : chkPrintUseSearch.Value()) == 1;
  o.order.byRowColumn = (exporting ? chkExpUseRowCol.Value() : chkPrintUseRowCol.Value()) == 1;
  o.order.reverse = chkReverse.Value() == 1;
  o.evenPages = chkEven.Value() == 1;
  o.oddPages = chkOdd.Value() == 1;

  auto entries = [](const ComboBox& list) {
    std::vector<std::string> all;
    for (long i = 0; i < list.ListCount(); ++i) all.push_back(list.List(i));
    return all;
  };
  PageLists& lists = o.lists;
  lists.search = entries(cboNavIndex);
  lists.rows = entries(cboNavRow);
  lists.columns = entries(cboNavColumn);
  for (long i = 0; i < lstPrintSelect.ListCount(); ++i)
    lists.selection.push_back({lstPrintSelect.List(i), lstPrintSelect.Selected(i)});
  lists.selectionField = cboPrintQueryField.Text();
  lists.searchText = cboNavIndex.Text();
  lists.rowText = cboNavRow.Text();
  lists.columnText = cboNavColumn.Text();
  o.dataFrameRows = lstDataFrames.ListCount();

  o.resolution = txtRes.Text();
  const std::pair<const OptionButton*, const char*> formats[] = {
      {&optJPG, "JPG"}, {&optBMP, "BMP"}, {&optGIF, "GIF"}, {&optPDF, "PDF"}, {&optEMF, "EMF"},
      {&optPNG, "PNG"}, {&optTIF, "TIF"}, {&optAI, "AI"},   {&optSVG, "SVG"}};
  for (const auto& [option, code] : formats)
    if (option->Value()) {
      o.format = code;
      break;
    }
  o.folder = txtDir.Text();
  o.fileName = txtName.Text();
  o.appendValues = optAppendValues.Value();
  o.appendNumber = optAppendNumber.Value();
  o.zeroFill = chkZeroFill.Value() == 1;
  o.pdfJoin = optPDF.Value();
  return o;
}

}  // namespace mapbooks
