// SPDX-License-Identifier: GPL-3.0-or-later
// Turning the pages: the go-to-page operation and the navigator above the tabs.

#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/render/printer.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "host/vb/text.h"
#include "host/win/system.h"
#include "mapbooks/common/ControlUtilities.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

namespace vb = host::vb;
namespace carto = host::carto;
namespace arc = ZelvneGIS_ArcMap;

namespace {
void pointer(int p) { host::ui::Screen::Instance().SetMousePointer(p); }
const std::function<double()> no_wait = [] { return 0.0; };

// A positive number in the box, or none.
std::optional<double> positive_number(const std::string& text) {
  std::string t = vb::Trim(text);
  if (t.empty() || !vb::IsNumeric(t)) return std::nullopt;
  double v = vb::CDbl(t);
  if (v <= 0) return std::nullopt;
  return v;
}
}  // namespace

double frmMain::ZoomFraction() const {
  auto v = positive_number(txtLayerPercent.Text());
  return v ? *v / 100 : 0;
}

void frmMain::FocusDataFrame(const std::shared_ptr<carto::Map>& map) {
  carto::Document& doc = *State().Document;
  if (doc.ActiveView().IsPageLayout())
    doc.ActiveView().SetFocusMap(map);
  else
    doc.SetActiveView(*map);
}

bool frmMain::GoToPage(const PageKey& key, double fraction, bool stopOnMissingLayer,
                       const std::function<double()>& waitSeconds) {
  SharedState& s = State();
  carto::Document& doc = *s.Document;
  const ConfigRecord& c = s.Config;
  host::render::SetJobPage(key.kind == PageKey::Kind::FeatureOid ? vb::CStr(key.oid) : key.value + key.column);
  double saved_scale = 0;
  const long rows = lstDataFrames.ListCount();
  for (long i = 0; i < rows; ++i) {
    if (!lstDataFrames.Selected(i)) continue;
    bool named = false;
    for (int m = 0; m < doc.MapCount() && !named; ++m) named = doc.Map(m)->Name() == lstDataFrames.List(i);
    if (!named) continue;
    std::shared_ptr<carto::Map> frame = doc.Map(int(i));
    FocusDataFrame(frame);
    ErrorHandling::IgnoreErrors([&] { saved_scale = frame->MapScale(); });
    arc::FeatureLayerPtr grid = arc::GetLayerByName(c[ActiveLayerName]);
    if (!grid && stopOnMissingLayer) {
      pointer(host::ui::vbDefault);
      host::ui::MsgBox("Unable to find grid layer: " + c[ActiveLayerName] + "\r\nIn data frame: " + frame->Name());
      return false;
    }
    std::optional<arc::Feature> feature;
    switch (key.kind) {
      case PageKey::Kind::SearchValue:
        feature = arc::GetFeatureByValue(grid.get(), c[SearchField], key.value);
        break;
      case PageKey::Kind::RowColumn: {
        // The quoting works in place, so each frame quotes fresh copies.
        std::string r = key.value, col = key.column;
        std::string clause = c[RowField] + " = " + arc::FormatQueryValue(c[ActiveLayerName], c[RowField], r) +
                             " AND " + c[ColumnField] + " = " +
                             arc::FormatQueryValue(c[ActiveLayerName], c[ColumnField], col);
        if (auto cursor = arc::GetFeatureCursorByQuery(grid.get(), clause)) feature = cursor->NextFeature();
        break;
      }
      case PageKey::Kind::FeatureOid:
        if (!grid || !grid->MapFeatures()) vb::raise(vb::err::ObjectNotSet);
        feature = arc::GetFeatureByValue(grid.get(), grid->MapFeatures()->OIDFieldName(), vb::CStr(key.oid));
        break;
    }
    bool feature_extent = optLayerFeatureExtent.Value();
    arc::ZoomToFeaturePlus(feature, feature_extent && fraction != 0 ? fraction : 0);
    if (!feature_extent) ErrorHandling::IgnoreErrors([&] { frame->SetMapScale(saved_scale); });
    if (i != s.PrimaryDataFrameIndex) ErrorHandling::IgnoreErrors([&] { frame->SetMapScale(saved_scale); });
    FocusDataFrame(frame);
    doc.ActiveView().Refresh();
    if (double wait = waitSeconds(); wait > 0) host::win::Sleep(uint32_t(vb::RoundHalfEven(wait * 1000)));
  }
  std::shared_ptr<carto::Map> primary = doc.Map(s.PrimaryDataFrameIndex);
  FocusDataFrame(primary);
  if (optLayerFixedScale.Value())
    if (auto scale = positive_number(txtSetScale.Text())) doc.FocusMap()->SetMapScale(*scale);
  carto::ActiveView& view = doc.ActiveView().IsPageLayout() ? *doc.FocusMap() : doc.ActiveView();
  host::geodata::Envelope shown = view.Extent();
  host::geodata::Envelope moved;
  moved.SetXMin(shown.XMin() - vb::CDbl(txtXDiff.Text()));
  moved.SetXMax(shown.XMax() - vb::CDbl(txtXDiff.Text()));
  moved.SetYMin(shown.YMin() - vb::CDbl(txtYDiff.Text()));
  moved.SetYMax(shown.YMax() - vb::CDbl(txtYDiff.Text()));
  view.SetExtent(moved);
  doc.ActiveView().Refresh();
  for (int m = 0; m < doc.MapCount(); ++m) {
    FocusDataFrame(doc.Map(m));
    doc.ActiveView().Refresh();
  }
  return true;
}

bool frmMain::DataFrameCountCheck() {
  if (lstDataFrames.ListCount() == State().Document->MapCount()) return true;
  return host::ui::MsgBox(
             "Warning: Number of Data Frames in project does not match number of frames in list.\r\nContinue anyway?",
             host::ui::vbYesNo) == host::ui::vbYes;
}

bool frmMain::AnyDataFrameSelected() const { return lstDataFrames.SelCount() > 0; }

void frmMain::btnGo1_Click() {
  GuardPointer("btnGo1_Click", [&] {
    if (!DataFrameCountCheck()) return;
    std::string v = cboNavIndex.Text();
    if (vb::Trim(v).empty()) return;
    cboNavRow.SetText("");
    cboNavColumn.SetText("");
    if (!AnyDataFrameSelected()) {
      host::ui::MsgBox("Please select dataframe(s) to refresh from list in Main tab");
      return;
    }
    double fraction = ZoomFraction();
    pointer(host::ui::vbHourglass);
    if (!GoToPage(PageKey::Search(v), fraction, true, no_wait)) return;
    pointer(host::ui::vbDefault);
  });
}

void frmMain::cbonavindex_Click() {
  if (TypeAheadActive) return;
  GuardPointer("cbonavindex_Click", [&] {
    if (!DataFrameCountCheck()) return;
    cboNavRow.SetText("");
    cboNavColumn.SetText("");
    std::string v = cboNavIndex.Text();
    if (vb::Trim(v).empty()) return;
    if (!AnyDataFrameSelected()) {
      host::ui::MsgBox("Please select dataframe(s) to refresh from list on Main tab");
      return;
    }
    double fraction = ZoomFraction();
    pointer(host::ui::vbHourglass);
    if (!GoToPage(PageKey::Search(v), fraction, true, no_wait)) return;
    pointer(host::ui::vbDefault);
  });
}

void frmMain::btnGo2_Click() {
  GuardPointer("btnGo2_Click", [&] {
    if (!DataFrameCountCheck()) return;
    std::string r = cboNavRow.Text(), c = cboNavColumn.Text();
    if (vb::Trim(r).empty()) {
      host::ui::MsgBox("Please select a row item");
      return;
    }
    if (vb::Trim(c).empty()) {
      host::ui::MsgBox("Please select a column item");
      return;
    }
    if (!AnyDataFrameSelected()) {
      host::ui::MsgBox("Please select dataframe(s) to refresh from list in Main tab");
      return;
    }
    cboNavIndex.SetText("");
    double fraction = ZoomFraction();
    pointer(host::ui::vbHourglass);
    GoToPage(PageKey::RowColumn(r, c), fraction, false, no_wait);
    pointer(host::ui::vbDefault);
  });
}

void frmMain::txtSearch_KeyUp(int&, int&) {
  GuardPointer("txtSearch_KeyUp", [&] {
    TypeAheadActive = true;
    const std::string find = txtSearch.Text();
    for (int16_t i = 0; i < cboNavIndex.ListCount(); i = vb::CInt(double(i) + 1)) {
      if (vb::StartsWithText(cboNavIndex.List(i), find)) {
        cboNavIndex.SetText(cboNavIndex.List(i));
        break;
      }
    }
    TypeAheadActive = false;
  });
  TypeAheadActive = false;
}

void frmMain::cboNavIndex_KeyPress(int&) { cboNavIndex.SetText(""); }
void frmMain::cboNavRow_KeyPress(int& KeyAscii) {
  // Rows past Z have two letters or more: what is typed stays while, with the key, it
  // is a row's letters that begin a row of the list.
  const std::string typed = cboNavRow.Text() + char(KeyAscii);
  if (KeyAscii > 0 && KeyAscii < 128 && !cboNavRow.Text().empty() && ControlUtilities::RowNumber(typed) > 0) {
    for (long i = 0; i < cboNavRow.ListCount(); ++i)
      if (vb::StartsWithText(cboNavRow.List(i), typed)) {
        cboNavRow.SetSelStart(long(cboNavRow.Text().size()));
        return;
      }
  }
  cboNavRow.SetText("");
}
void frmMain::cboNavColumn_KeyPress(int&) { cboNavColumn.SetText(""); }

}  // namespace mapbooks
