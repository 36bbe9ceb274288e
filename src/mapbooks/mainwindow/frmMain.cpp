// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/mainwindow/frmMain.h"

#include <filesystem>

#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "host/vb/error.h"
#include "host/vb/seqfile.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/common/ConfigFile.h"
#include "mapbooks/common/ControlUtilities.h"
#include "mapbooks/common/ZelvaneGIS_Validation.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "host/carto/document.h"
#include "mapbooks/mainwindow/frmHelp.h"
#include "mapbooks/output/frmAdvanced.h"
#include "mapbooks/output/frmLoadDir.h"

namespace mapbooks {

namespace vb = host::vb;
using ErrorHandling::Guard;

namespace {
constexpr const char* kModule = "frmMain";

std::string option_flag(const host::ui::OptionButton& o) { return o.Value() ? "TRUE" : "FALSE"; }
std::string check_flag(const host::ui::CheckBox& c) { return c.Value() == 1 ? "1" : "0"; }

}  // namespace

frmMain::frmMain() : Form("frmMain") {
  txtLayerPercent.KeyPress = [this](int& k) { txtLayerPercent_KeyPress(k); };
  txtSetScale.KeyPress = [this](int& k) { txtSetScale_KeyPress(k); };
  txtXDiff.KeyPress = [this](int& k) { txtXDiff_KeyPress(k); };
  txtYDiff.KeyPress = [this](int& k) { txtYDiff_KeyPress(k); };
  txtLayerPercent.LostFocus = [this] { txtLayerPercent_LostFocus(); };
  txtSetScale.LostFocus = [this] { txtSetScale_LostFocus(); };
  txtXDiff.LostFocus = [this] { txtXDiff_LostFocus(); };
  txtYDiff.LostFocus = [this] { txtYDiff_LostFocus(); };
  cboDataFrames.Click = [this] { cboDataFrames_Click(); };
  chkEven.Click = [this] { chkEven_Click(); };
  chkOdd.Click = [this] { chkOdd_Click(); };
  chkPrintUseSearch.Click = [this] { chkPrintUseSearch_Click(); };
  chkPrintUseRowCol.Click = [this] { chkPrintUseRowCol_Click(); };
  chkExpUseSearch.Click = [this] { chkExpUseSearch_Click(); };
  chkExpUseRowCol.Click = [this] { chkExpUseRowCol_Click(); };
  optExpCurrent.Click = [this] { optExpCurrent_Click(); };
  txtRes.KeyPress = [this](int& k) { txtRes_KeyPress(k); };
  txtRes.LostFocus = [this] { txtRes_LostFocus(); };
  cboPrintQueryField.Click = [this] { cboPrintQueryField_Click(); };
  btnAll.Click = [this] { btnAll_Click(); };
  btnClear.Click = [this] { btnClear_Click(); };
  btnHelp2.Click = [this] { btnHelp2_Click(); };
  btnPrintAdvanced.Click = [this] { btnPrintAdvanced_Click(); };
  btnExpAdvanced.Click = [this] { btnExpAdvanced_Click(); };
  Command9.Click = [this] { Command9_Click(); };
  cboMapLayers.Click = [this] { cboMapLayers_Click(); };
  btnLayerApply.Click = [this] { btnLayerApply_Click(); };
  btnSaveMapbook.Click = [this] { btnSaveMapbook_Click(); };
  btnLoadMapBook.Click = [this] { btnLoadMapbook_Click(); };
  btnDeleteMapbook.Click = [this] { btnDeleteMapbook_Click(); };
  btnDuplicateMapbook.Click = [this] { btnDuplicateMapbook_Click(); };
  btnRenameMapbook.Click = [this] { btnRenameMapbook_Click(); };
  btnCreateNewGrid.Click = [this] { btnCreateNewGrid_Click(); };
  btnLoadGrid.Click = [this] { btnLoadGrid_Click(); };
  btnDeleteGrid.Click = [this] { btnDeleteGrid_Click(); };
  btnRename.Click = [this] { btnRename_Click(); };
  btnDuplicate.Click = [this] { btnDuplicate_Click(); };
  Command2.Click = [this] { Command2_Click(); };
  Command3.Click = [this] { Command3_Click(); };
  Command4.Click = [this] { Command4_Click(); };
  Command5.Click = [this] { Command5_Click(); };
  btnAddIndex.Click = [this] { btnAddIndex_Click(); };
  btnAddLocator.Click = [this] { btnAddLocator_Click(); };
  btnMapNumber.Click = [this] { btnMapNumber_Click(); };
  btnIndex.Click = [this] { btnIndex_Click(); };
  btnPrint.Click = [this] { btnPrint_Click(); };
  btnExport.Click = [this] { btnExport_Click(); };
  btnGo1.Click = [this] { btnGo1_Click(); };
  btnGo2.Click = [this] { btnGo2_Click(); };
  cboNavIndex.Click = [this] { cbonavindex_Click(); };
  txtSearch.KeyUp = [this](int& code, int& shift) { txtSearch_KeyUp(code, shift); };
  cboNavIndex.KeyPress = [this](int& k) { cboNavIndex_KeyPress(k); };
  cboNavRow.KeyPress = [this](int& k) { cboNavRow_KeyPress(k); };
  cboNavColumn.KeyPress = [this](int& k) { cboNavColumn_KeyPress(k); };
}

frmMain::~frmMain() = default;

host::ui::ModelessFrame& frmMain::Frame() {
  if (!m_frame) {
    m_frame = std::make_unique<host::ui::ModelessFrame>();
    m_frame->Create(*this);
    m_frame->SetCaption(State().ProductName);
  }
  return *m_frame;
}

frmMain& MainForm() { return static_cast<frmMain&>(*State().MainWindow); }

void frmMain::RefreshGridList() { File1.Refresh(); }

void frmMain::SetExportFolderText(const std::string& folder) { txtDir.SetText(folder); }

void frmMain::SetAdvancedOptions(int even, int odd, int reverse, const std::string& delay) {
  chkEven.SetValue(even);
  chkOdd.SetValue(odd);
  chkReverse.SetValue(reverse);
  txtDelay.SetText(delay);
}

// ---------------------------------------------------------------- settings

void frmMain::SaveConfig() {
  ConfigRecord& c = State().Config;
  c[PrintAll] = option_flag(optPrintAll);
  c[PrintUseSearch] = check_flag(chkPrintUseSearch);
  c[PrintUseRowCol] = check_flag(chkPrintUseRowCol);
  c[PrintSome] = option_flag(optPrintSome);
  c[PrintCurrent] = option_flag(optPrintCurrent);
  const std::pair<host::ui::OptionButton*, const char*> formats[] = {
      {&optJPG, "JPG"}, {&optPNG, "PNG"}, {&optGIF, "GIF"}, {&optAI, "AI"},   {&optEMF, "EMF"},
      {&optBMP, "BMP"}, {&optTIF, "TIF"}, {&optPDF, "PDF"}, {&optSVG, "SVG"}};
  for (const auto& [option, word] : formats)
    if (option->Value()) c[ExportFormat] = word;
  c[Resolution] = txtRes.Text();
  c[FileName] = txtName.Text();
  c[AppendValues] = option_flag(optAppendValues);
  c[AppendNumber] = option_flag(optAppendNumber);
  c[ZeroFill] = check_flag(chkZeroFill);
  c[OutputDir] = txtDir.Text();
  c[ExportAll] = option_flag(optExportAll);
  c[ExpUseSearch] = check_flag(chkExpUseSearch);
  c[ExpUseRowCol] = check_flag(chkExpUseRowCol);
  c[ExpSelection] = option_flag(optExpSelection);
  c[ExpCurrent] = option_flag(optExpCurrent);
  c[PrintQueryField] = cboPrintQueryField.Text();
  c[Reverse] = check_flag(chkReverse);
  c[EvenPages] = check_flag(chkEven);
  c[OddPages] = check_flag(chkOdd);
  c[Exclude] = check_flag(chkExclude);
  c[ExcludeAll] = option_flag(optExcludeAll);
  c[ExcludeLayer] = option_flag(optExcludeLayer);
  c[ExcludeLayerName] = cboExcludeLayer.Text();
  c[LayerFrameScale] = option_flag(optLayerFrameScale);
  c[LayerFixedScale] = option_flag(optLayerFixedScale);
  c[SetScale] = txtSetScale.Text();
  c[LayerFeatureExtent] = option_flag(optLayerFeatureExtent);
  c[LayerPercent] = txtLayerPercent.Text();
  c[RefreshDelay] = txtDelay.Text();
  c[XDiff] = txtXDiff.Text();
  c[YDiff] = txtYDiff.Text();
  if (vb::Trim(c[XDiff]).empty()) c[XDiff] = "0";
  if (vb::Trim(c[YDiff]).empty()) c[YDiff] = "0";
  WriteConfigFile();
}

void frmMain::WriteConfigFile() {
  SharedState& s = State();
  std::vector<std::string> values(s.Config.items.begin() + 1, s.Config.items.begin() + 1 + kConfigItemCount);
  for (long i = 0; i < lstDataFrames.ListCount(); ++i)
    if (lstDataFrames.Selected(i)) values.push_back(lstDataFrames.List(i));
  while (values.size() < size_t(kConfigItemCount) + 2) values.push_back("NULL");
  // A locked config is refused with the delete's report, and the write that follows fails
  // with the caller's; the file stays as it is.
  vb::Close(1);
  ConfigFile::RefusedAsLocked(s.ConfigPath);
  ConfigFile::Write(s.ConfigPath, values);
}

void frmMain::Form_Unload(int&) {
  Guard("Form_Unload", kModule, [&] { SaveConfig(); });
}

void frmMain::ApplySettingsItems() {
  ConfigRecord& c = State().Config;
  if (c[PrintAll] == "NULL") return;
  auto option = [&](host::ui::OptionButton& o, ConfigItem i) { o.SetValue(vb::CBool(c[i])); };
  auto check = [&](host::ui::CheckBox& b, ConfigItem i) { b.SetValue(vb::CInt(c[i])); };
  option(optPrintAll, PrintAll);
  check(chkPrintUseSearch, PrintUseSearch);
  check(chkPrintUseRowCol, PrintUseRowCol);
  option(optPrintSome, PrintSome);
  option(optPrintCurrent, PrintCurrent);
  const std::pair<const char*, host::ui::OptionButton*> formats[] = {
      {"JPG", &optJPG}, {"PNG", &optPNG}, {"GIF", &optGIF}, {"AI", &optAI},   {"EMF", &optEMF},
      {"BMP", &optBMP}, {"TIF", &optTIF}, {"PDF", &optPDF}, {"SVG", &optSVG}};
  for (const auto& [word, o] : formats)
    if (c[ExportFormat] == word) {
      o->SetValue(true);
      break;
    }
  txtRes.SetText(c[Resolution]);
  txtName.SetText(c[FileName]);
  option(optAppendValues, AppendValues);
  option(optAppendNumber, AppendNumber);
  check(chkZeroFill, ZeroFill);
  txtDir.SetText(c[OutputDir]);
  option(optExportAll, ExportAll);
  check(chkExpUseSearch, ExpUseSearch);
  check(chkExpUseRowCol, ExpUseRowCol);
  option(optExpSelection, ExpSelection);
  option(optExpCurrent, ExpCurrent);
  cboPrintQueryField.SetText(c[PrintQueryField]);
  // Settings saved before any layer was chosen name no layer: the list just stays
  // empty, rather than an error report at every opening of the window.
  if (ZelvneGIS_ArcMap::GetLayerByName(c[ActiveLayerName]))
    RefillSelectionList();
  else
    lstPrintSelect.Clear();
  check(chkReverse, Reverse);
  check(chkEven, EvenPages);
  check(chkOdd, OddPages);
  check(chkExclude, Exclude);
  option(optExcludeAll, ExcludeAll);
  option(optExcludeLayer, ExcludeLayer);
  cboExcludeLayer.SetText(c[ExcludeLayerName]);
  option(optLayerFrameScale, LayerFrameScale);
  option(optLayerFixedScale, LayerFixedScale);
  txtSetScale.SetText(c[SetScale]);
  option(optLayerFeatureExtent, LayerFeatureExtent);
  txtLayerPercent.SetText(c[LayerPercent]);
  txtDelay.SetText(c[RefreshDelay]);
  if (ConfigFile::IsNoValue(c[RefreshDelay])) txtDelay.SetText("0");
  txtXDiff.SetText(c[XDiff]);
  if (ConfigFile::IsNoValue(c[XDiff]) || vb::Trim(c[XDiff]).empty()) txtXDiff.SetText("0");
  txtYDiff.SetText(c[YDiff]);
  if (ConfigFile::IsNoValue(c[YDiff]) || vb::Trim(c[YDiff]).empty()) txtYDiff.SetText("0");
  // Rows are only ever selected here, never cleared.
  const auto& frames = c.DataFramesToZoom;
  for (size_t j = 0; j + 1 < frames.size(); ++j)
    for (long i = 0; i < lstDataFrames.ListCount(); ++i)
      if (lstDataFrames.List(i) == frames[j]) lstDataFrames.SetSelected(i, true);
}

void frmMain::RefillSelectionList() {
  ZelvneGIS_ArcMap::LoadListWithUniqueFieldValues(State().Config[ActiveLayerName], cboPrintQueryField.Text(),
                                                  lstPrintSelect, true, nullptr);
}

// ---------------------------------------------------------------- load and settings applied

void frmMain::Form_Load() {
  Guard("Form_Load", kModule, [&] {
    SharedState& s = State();
    txtVersion.SetText(s.VersionText);
    txtCurMapbook.SetText("Default");
    SSTab1.SetTab(0);
    txtDir.SetText(s.ExportFolder + "\\");
    InitMain();
    const double tppx = double(host::ui::Screen::TwipsPerPixelX);
    const host::ui::Screen& screen = host::ui::Screen::Instance();
    long left = long(vb::RoundHalfEven((screen.Width() / tppx) / 2 - (Width() / tppx) / 2));
    long top = long(vb::RoundHalfEven((screen.Height() / tppx) / 2 - (Height() / tppx) / 2));
    Frame().Move(left, top, 0, 0);
    BatchCommandStep();
    if (s.ConfigCreated) {
      host::ui::MsgBox("To get started, view the QuickStartGuide by clicking the ? button");
      s.ConfigCreated = false;
    }
  });
}

void frmMain::BatchCommandStep() {
  const std::string& batch = State().Config[BatchCommand];
  if (batch == "PRINTALL" || batch == "PRINTALLCLOSE") {
    optPrintAll.SetValue(true);
    btnPrint_Click();
  }
  if (batch == "EXPORTALL" || batch == "EXPORTALLCLOSE") {
    optExportAll.SetValue(true);
    btnExport_Click();
  }
}

void frmMain::InitMain() {
  Guard("InitMain", kModule, [&] {
    SharedState& s = State();
    cboNavIndex.Clear();
    cboNavIndex.SetText("");
    txtSearch.SetText("");
    cboMapLayers.SetText("");
    for (ComboBox* c : {&cboLayerFields, &cboSelectRow, &cboSelectColumn, &cboNavRow, &cboNavColumn}) {
      c->Clear();
      c->SetText("");
    }
    File2.SetPath(s.MapbooksFolder);
    File2.Refresh();
    File1.SetPath(s.GridsFolder);
    File1.Refresh();
    ZelvneGIS_ArcMap::LoadComboWithLayers(cboMapLayers);
    ZelvneGIS_ArcMap::LoadComboWithLayers(cboExcludeLayer);
    lstDataFrames.Clear();
    cboDataFrames.Clear();
    host::carto::Document& doc = *s.Document;
    for (int i = 0; i < doc.MapCount(); ++i) {
      lstDataFrames.AddItem(doc.Map(i)->Name());
      cboDataFrames.AddItem(doc.Map(i)->Name());
    }
    cboDataFrames.SetText(doc.FocusMap()->Name());
    ApplyPrimaryDataFrame();
    ApplyActiveLayerItems();
    txtDir.SetText(s.ExportFolder + "\\");
    ApplySettingsItems();
  });
}

void frmMain::ApplyPrimaryDataFrame() {
  SharedState& s = State();
  for (long i = 0; i < cboDataFrames.ListCount(); ++i) {
    if (cboDataFrames.List(i) == s.Config[PrimaryDataFrame]) {
      s.PrimaryDataFrameIndex = int32_t(i);
      lstDataFrames.SetSelected(i, true);
      cboDataFrames.SetText(s.Config[PrimaryDataFrame]);
      break;
    }
  }
}

void frmMain::ApplyActiveLayerItems() {
  namespace arc = ZelvneGIS_ArcMap;
  SharedState& s = State();
  const ConfigRecord& c = s.Config;
  if (!s.ActiveLayer || !ControlUtilities::ComboContains(c[ActiveLayerName], cboMapLayers)) return;
  for (ComboBox* list : {&cboLayerFields, &cboSelectRow, &cboSelectColumn, &cboPrintQueryField})
    arc::LoadComboWithFields(c[ActiveLayerName], *list, true);
  cboMapLayers.SetText(c[ActiveLayerName]);
  if (arc::FieldExists(c[SearchField], s.ActiveLayer.get()) == 1) {
    arc::LoadComboWithFieldValues(c[ActiveLayerName], c[SearchField], cboNavIndex, nullptr);
    cboLayerFields.SetText(c[SearchField]);
  }
  if (arc::FieldExists(c[RowField], s.ActiveLayer.get()) == 1) {
    arc::LoadComboWithUniqueFieldValues(c[ActiveLayerName], c[RowField], cboNavRow, true, nullptr);
    cboSelectRow.SetText(c[RowField]);
  }
  if (arc::FieldExists(c[ColumnField], s.ActiveLayer.get()) == 1) {
    arc::LoadComboWithUniqueFieldValues(c[ActiveLayerName], c[ColumnField], cboNavColumn, true, nullptr);
    cboSelectColumn.SetText(c[ColumnField]);
  }
}

void frmMain::ReadConfig() {
  Guard("ReadConfig", kModule, [&] {
    ConfigFile::ReadItems(State().Config, State().ConfigPath);
    FindActiveLayer();
  });
}

// ---------------------------------------------------------------- the layer tab

void frmMain::cboMapLayers_Click() {
  GuardPointer("cboMapLayers_Click", [&] {
    host::ui::Screen::Instance().SetMousePointer(host::ui::vbHourglass);
    std::string name = cboMapLayers.Text();
    for (ComboBox* list : {&cboLayerFields, &cboSelectRow, &cboSelectColumn, &cboPrintQueryField})
      ZelvneGIS_ArcMap::LoadComboWithFields(name, *list, true);
    const std::pair<ComboBox*, const char*> grid_fields[] = {
        {&cboLayerFields, "MB_Label"}, {&cboSelectRow, "MB_Row"}, {&cboSelectColumn, "MB_Column"}};
    for (const auto& [list, field] : grid_fields)
      if (list->FindItem(field, false) >= 0) list->SetText(field);
    host::ui::Screen::Instance().SetMousePointer(host::ui::vbDefault);
  });
}

void frmMain::btnLayerApply_Click() {
  GuardPointer("btnLayerApply_Click", [&] {
    namespace arc = ZelvneGIS_ArcMap;
    host::ui::Screen::Instance().SetMousePointer(host::ui::vbHourglass);
    ConfigRecord& c = State().Config;
    c[ActiveLayerName] = cboMapLayers.Text();
    c[SearchField] = cboLayerFields.Text();
    c[RowField] = cboSelectRow.Text();
    c[ColumnField] = cboSelectColumn.Text();
    FindActiveLayer();
    arc::LoadComboWithUniqueFieldValues(c[ActiveLayerName], c[SearchField], cboNavIndex, true, nullptr);
    arc::LoadComboWithUniqueFieldValues(c[ActiveLayerName], c[RowField], cboNavRow, true, nullptr);
    arc::LoadComboWithUniqueFieldValues(c[ActiveLayerName], c[ColumnField], cboNavColumn, true, nullptr);
    host::ui::Screen::Instance().SetMousePointer(host::ui::vbDefault);
  });
}

void frmMain::GuardPointer(const char* procedure, const std::function<void()>& body) {
  ErrorHandling::GuardWith(body, [&](const vb::Error& e) {
    host::ui::Screen::Instance().SetMousePointer(host::ui::vbDefault);
    ErrorHandling::Report(procedure, kModule, e);
  });
}

// ---------------------------------------------------------------- number boxes

void frmMain::NumberBoxKeyPress(TextBox& box, int& KeyAscii, bool allowPoint, bool allowMinus) {
  bool digit = KeyAscii >= 48 && KeyAscii <= 57;
  bool accepted = digit || KeyAscii == 8;
  if (KeyAscii == 46 && allowPoint) accepted = box.Text().find('.') == std::string::npos;
  if (KeyAscii == 45 && allowMinus) accepted = box.SelStart() == 0;
  if (!accepted) KeyAscii = 0;
  std::string text = box.Text();
  box.SetText(ZelvaneGIS_Validation::strValidLeadingZero(text));
}

void frmMain::NumberBoxLostFocus(TextBox& box) {
  if (box.Text().empty()) box.SetText("0");
}

void frmMain::txtLayerPercent_KeyPress(int& KeyAscii) { NumberBoxKeyPress(txtLayerPercent, KeyAscii, true, false); }
void frmMain::txtSetScale_KeyPress(int& KeyAscii) { NumberBoxKeyPress(txtSetScale, KeyAscii, false, false); }
void frmMain::txtXDiff_KeyPress(int& KeyAscii) {
  Guard("txtXDiff_KeyPress", kModule, [&] { NumberBoxKeyPress(txtXDiff, KeyAscii, true, true); });
}
void frmMain::txtYDiff_KeyPress(int& KeyAscii) {
  Guard("txtYDiff_KeyPress", kModule, [&] { NumberBoxKeyPress(txtYDiff, KeyAscii, true, true); });
}
void frmMain::txtLayerPercent_LostFocus() { NumberBoxLostFocus(txtLayerPercent); }
void frmMain::txtSetScale_LostFocus() { NumberBoxLostFocus(txtSetScale); }
void frmMain::txtXDiff_LostFocus() {
  Guard("txtXDiff_LostFocus", kModule, [&] {
    NumberBoxLostFocus(txtXDiff);
    State().Config[XDiff] = txtXDiff.Text();
  });
}
void frmMain::txtYDiff_LostFocus() {
  Guard("txtYDiff_LostFocus", kModule, [&] {
    NumberBoxLostFocus(txtYDiff);
    State().Config[YDiff] = txtYDiff.Text();
  });
}

// ---------------------------------------------------------------- primary data frame

void frmMain::cboDataFrames_Click() {
  Guard("cboDataFrames_Click", kModule, [&] {
    SharedState& s = State();
    for (long i = 0; i < cboDataFrames.ListCount(); ++i) {
      if (cboDataFrames.List(i) == cboDataFrames.Text()) {
        s.Config[PrimaryDataFrame] = cboDataFrames.Text();
        s.PrimaryDataFrameIndex = int32_t(i);
        break;
      }
    }
    lstDataFrames.SetSelected(s.PrimaryDataFrameIndex, true);
  });
}

// ---------------------------------------------------------------- print and export options

void frmMain::PairClick(CheckBox& clicked, CheckBox& partner, bool partnerFollows) {
  if (m_bInPairClick) return;
  m_bInPairClick = true;
  if (clicked.Value() == 1)
    partner.SetValue(0);
  else if (partnerFollows)
    partner.SetValue(1);
  m_bInPairClick = false;
}

void frmMain::chkEven_Click() { PairClick(chkEven, chkOdd, false); }
void frmMain::chkOdd_Click() { PairClick(chkOdd, chkEven, false); }
void frmMain::chkPrintUseSearch_Click() { PairClick(chkPrintUseSearch, chkPrintUseRowCol, true); }
void frmMain::chkPrintUseRowCol_Click() { PairClick(chkPrintUseRowCol, chkPrintUseSearch, true); }
void frmMain::chkExpUseSearch_Click() { PairClick(chkExpUseSearch, chkExpUseRowCol, true); }
void frmMain::chkExpUseRowCol_Click() { PairClick(chkExpUseRowCol, chkExpUseSearch, true); }

void frmMain::optExpCurrent_Click() { optAppendValues.SetValue(true); }

void frmMain::txtRes_KeyPress(int& KeyAscii) {
  if (!(KeyAscii == 8 || (KeyAscii >= 48 && KeyAscii <= 57))) KeyAscii = 0;
  std::string text = txtRes.Text();
  txtRes.SetText(ZelvaneGIS_Validation::strValidLeadingZero(text));
}

void frmMain::txtRes_LostFocus() {
  if (txtRes.Text().empty()) txtRes.SetText("0");
  if (txtRes.Text() == "0") {
    host::ui::MsgBox("Please enter a Resolution greater than 0");
    txtRes.SetFocus();
  }
}

void frmMain::cboPrintQueryField_Click() {
  Guard("cboPrintQueryField_Click", kModule, [&] { RefillSelectionList(); });
}

void frmMain::btnAll_Click() {
  for (long i = 0; i < lstPrintSelect.ListCount(); ++i) lstPrintSelect.SetSelected(i, true);
}

void frmMain::btnClear_Click() {
  for (long i = 0; i < lstPrintSelect.ListCount(); ++i) lstPrintSelect.SetSelected(i, false);
}

// ---------------------------------------------------------------- dialogs

void frmMain::btnHelp2_Click() {
  m_helpWindows.push_back(std::make_unique<frmHelp>());
  m_helpWindows.back()->Frame().SetVisible(true);
}

void frmMain::OpenAdvancedSettings() {
  frmAdvanced dialog;
  dialog.Load();
  dialog.chkEven.SetValue(chkEven.Value());
  dialog.chkOdd.SetValue(chkOdd.Value());
  dialog.chkReverse.SetValue(chkReverse.Value());
  dialog.txtDelay.SetText(txtDelay.Text());
  dialog.Show(host::ui::vbModal);
}

void frmMain::btnPrintAdvanced_Click() { OpenAdvancedSettings(); }
void frmMain::btnExpAdvanced_Click() { OpenAdvancedSettings(); }

void frmMain::Command9_Click() {
  host::ui::ShowModalNew<frmLoadDir>();
}

}  // namespace mapbooks
