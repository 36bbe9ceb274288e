// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The main window: a tabbed dialog beside the map, hosted in a modeless frame. Its
// controls hold every setting of the map book; the navigator above the tabs turns the
// pages.

#include <functional>
#include <memory>
#include <vector>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "mapbooks/common/IMainWindow.h"
#include "mapbooks/output/PageRun.h"

namespace host::carto {
class Map;
}

namespace mapbooks {

class frmMain : public host::ui::Form, public IMainWindow, public IRunWindow {
 public:
  frmMain();
  ~frmMain() override;
  // The modeless frame that holds the window; made (and the window loaded) at the first call.
  host::ui::ModelessFrame& Frame() override;
  void RefreshGridList() override;
  void SetExportFolderText(const std::string& folder) override;
  void SetAdvancedOptions(int even, int odd, int reverse, const std::string& delay) override;

  // Clears and refills the lists from the document and applies the settings record.
  void InitMain();
  // The settings record read again from the config file, and the active layer found again.
  void ReadConfig();
  // Moves every selected data frame to the page; false when a frame without the grid
  // layer stopped it (stopOnMissingLayer).
  // The wait after each zoomed frame is asked for there, so a delay that is not a number
  // fails only when a frame has been zoomed.
  bool GoToPage(const PageKey& key, double fraction, bool stopOnMissingLayer,
                const std::function<double()>& waitSeconds) override;

  // The print and export runs over the chosen set of pages.
  void btnPrint_Click();
  void btnExport_Click();
  // The percentage box as a fraction: its number / 100 when above 0, else 0.
  double ZoomFraction() const override;

  // Settings: the controls into items 10 to 42 and the config file rewritten.
  void SaveConfig();
  // Items 10 to 42 and the data frames to zoom applied to the controls (while item 10
  // is not "NULL"); a flag item that does not convert fails with Type mismatch.
  void ApplySettingsItems();

  using Frame_ = host::ui::Frame;
  using Label = host::ui::Label;
  using TextBox = host::ui::TextBox;
  using ComboBox = host::ui::ComboBox;
  using ListBox = host::ui::ListBox;
  using CheckBox = host::ui::CheckBox;
  using OptionButton = host::ui::OptionButton;
  using CommandButton = host::ui::CommandButton;
  using FileListBox = host::ui::FileListBox;

  // Above the tabs: the navigator.
  Frame_ Frame9{*this, "Frame9", nullptr};
  Label lblSearch{*this, "lblSearch", &Frame9};
  ComboBox cboNavIndex{*this, "cboNavIndex", &Frame9};
  Label lblFind{*this, "lblFind", &Frame9};
  TextBox txtSearch{*this, "txtSearch", &Frame9};
  CommandButton btnGo1{*this, "btnGo1", &Frame9};
  Label lblRow{*this, "lblRow", &Frame9};
  ComboBox cboNavRow{*this, "cboNavRow", &Frame9};
  Label lblColumn{*this, "lblColumn", &Frame9};
  ComboBox cboNavColumn{*this, "cboNavColumn", &Frame9};
  CommandButton btnGo2{*this, "btnGo2", &Frame9};

  // Above the tabs: the primary data frame, the active mapbook, the version, help.
  Label lblPrimary{*this, "lblPrimary", nullptr};
  ComboBox cboDataFrames{*this, "cboDataFrames", nullptr};
  Label lblCurMapbook{*this, "lblCurMapbook", nullptr};
  TextBox txtCurMapbook{*this, "txtCurMapbook", nullptr};
  TextBox txtVersion{*this, "txtVersion", nullptr};
  CommandButton btnHelp2{*this, "btnHelp2", nullptr};
  CommandButton btnClose{*this, "btnClose", nullptr};
  CommandButton Command6{*this, "Command6", nullptr};
  CommandButton Command7{*this, "Command7", nullptr};
  CommandButton btnHelp{*this, "btnHelp", nullptr};

  host::ui::TabControl SSTab1{*this, "SSTab1", nullptr};

  // Tab 0 "Main": the active layer and its fields, the data frames to zoom.
  Frame_ Frame4{*this, "Frame4", &SSTab1};
  Label lblLayerHint{*this, "lblLayerHint", &Frame4};
  Label lblMapLayers{*this, "lblMapLayers", &Frame4};
  ComboBox cboMapLayers{*this, "cboMapLayers", &Frame4};
  Label lblLayerFields{*this, "lblLayerFields", &Frame4};
  ComboBox cboLayerFields{*this, "cboLayerFields", &Frame4};
  Label lblSelectRow{*this, "lblSelectRow", &Frame4};
  ComboBox cboSelectRow{*this, "cboSelectRow", &Frame4};
  Label lblSelectColumn{*this, "lblSelectColumn", &Frame4};
  ComboBox cboSelectColumn{*this, "cboSelectColumn", &Frame4};
  Label lblOptional{*this, "lblOptional", &Frame4};
  CommandButton btnLayerApply{*this, "btnLayerApply", &Frame4};
  Frame_ Frame11{*this, "Frame11", &SSTab1};
  ListBox lstDataFrames{*this, "lstDataFrames", &Frame11};

  // Tab 1 "Grids".
  Frame_ Frame5{*this, "Frame5", &SSTab1};
  Label lblCreateGrid{*this, "lblCreateGrid", &Frame5};
  CommandButton btnCreateNewGrid{*this, "btnCreateNewGrid", &Frame5};
  Label lblGrids{*this, "lblGrids", &Frame5};
  FileListBox File1{*this, "File1", &Frame5};
  CommandButton btnLoadGrid{*this, "btnLoadGrid", &Frame5};
  CommandButton btnDeleteGrid{*this, "btnDeleteGrid", &Frame5};
  CommandButton btnRename{*this, "btnRename", &Frame5};
  CommandButton btnDuplicate{*this, "btnDuplicate", &Frame5};
  CommandButton btnSelectGrid{*this, "btnSelectGrid", &Frame5};

  // Tab 2 "Print".
  Frame_ Frame2{*this, "Frame2", &SSTab1};
  Label lblPrintHint{*this, "lblPrintHint", &Frame2};
  OptionButton optPrintAll{*this, "optPrintAll", &Frame2};
  CheckBox chkPrintUseSearch{*this, "chkPrintUseSearch", &Frame2};
  CheckBox chkPrintUseRowCol{*this, "chkPrintUseRowCol", &Frame2};
  OptionButton optPrintMapSel{*this, "optPrintMapSel", &Frame2};
  OptionButton optPrintSome{*this, "optPrintSome", &Frame2};
  OptionButton optPrintCurrent{*this, "optPrintCurrent", &Frame2};
  Label lblPrintA{*this, "lblPrintA", &Frame2};
  Label lblPrintB{*this, "lblPrintB", &Frame2};
  Label lblPrintC{*this, "lblPrintC", &Frame2};
  Label lblPrintD{*this, "lblPrintD", &Frame2};
  CommandButton btnPrint{*this, "btnPrint", &Frame2};
  CommandButton btnPrintAdvanced{*this, "btnPrintAdvanced", &Frame2};
  // The advanced settings of both runs, never shown: the advanced dialog edits them.
  Frame_ Frame12{*this, "Frame12", &Frame2};
  CheckBox chkReverse{*this, "chkReverse", &Frame12};
  CheckBox chkEven{*this, "chkEven", &Frame12};
  CheckBox chkOdd{*this, "chkOdd", &Frame12};
  TextBox txtDelay{*this, "txtDelay", &Frame12};

  // Tab 3 "Export".
  Frame_ Frame3{*this, "Frame3", &SSTab1};
  OptionButton optExportAll{*this, "optExportAll", &Frame3};
  CheckBox chkExpUseSearch{*this, "chkExpUseSearch", &Frame3};
  CheckBox chkExpUseRowCol{*this, "chkExpUseRowCol", &Frame3};
  OptionButton optExpSelection{*this, "optExpSelection", &Frame3};
  OptionButton optExpMapSel{*this, "optExpMapSel", &Frame3};
  OptionButton optExpCurrent{*this, "optExpCurrent", &Frame3};
  Frame_ Frame13{*this, "Frame13", &Frame3};
  OptionButton optJPG{*this, "optJPG", &Frame13};
  OptionButton optPNG{*this, "optPNG", &Frame13};
  OptionButton optGIF{*this, "optGIF", &Frame13};
  OptionButton optAI{*this, "optAI", &Frame13};
  OptionButton optEMF{*this, "optEMF", &Frame13};
  OptionButton optBMP{*this, "optBMP", &Frame13};
  OptionButton optTIF{*this, "optTIF", &Frame13};
  OptionButton optPDF{*this, "optPDF", &Frame13};
  OptionButton optSVG{*this, "optSVG", &Frame13};
  Label lblRes{*this, "lblRes", &Frame3};
  TextBox txtRes{*this, "txtRes", &Frame3};
  Label lblDpi{*this, "lblDpi", &Frame3};
  Label lblDir{*this, "lblDir", &Frame3};
  TextBox txtDir{*this, "txtDir", &Frame3};
  CommandButton Command9{*this, "Command9", &Frame3};
  Frame_ Frame14{*this, "Frame14", &Frame3};
  Label lblName{*this, "lblName", &Frame14};
  TextBox txtName{*this, "txtName", &Frame14};
  OptionButton optAppendValues{*this, "optAppendValues", &Frame14};
  OptionButton optAppendNumber{*this, "optAppendNumber", &Frame14};
  CheckBox chkZeroFill{*this, "chkZeroFill", &Frame14};
  CommandButton btnExport{*this, "btnExport", &Frame3};
  CommandButton btnExpAdvanced{*this, "btnExpAdvanced", &Frame3};

  // Tab 4 "Layout".
  Frame_ Frame1{*this, "Frame1", &SSTab1};
  Label lblLayoutHint{*this, "lblLayoutHint", &Frame1};
  Frame_ Frame15{*this, "Frame15", &Frame1};
  Frame_ Frame16{*this, "Frame16", &Frame15};
  CommandButton btnAddIndex{*this, "btnAddIndex", &Frame16};
  CommandButton btnAddLocator{*this, "btnAddLocator", &Frame16};
  CommandButton btnMapNumber{*this, "btnMapNumber", &Frame16};
  Frame_ Frame17{*this, "Frame17", &Frame15};
  CommandButton Command2{*this, "Command2", &Frame17};
  CommandButton Command4{*this, "Command4", &Frame17};
  CommandButton Command5{*this, "Command5", &Frame17};
  CommandButton Command3{*this, "Command3", &Frame17};
  Label lblIndexHint{*this, "lblIndexHint", &Frame1};
  CommandButton btnIndex{*this, "btnIndex", &Frame1};

  // Tab 5 "Selection".
  Frame_ Frame7{*this, "Frame7", &SSTab1};
  Label lblSelectionHint{*this, "lblSelectionHint", &Frame7};
  Label lblPrintQueryField{*this, "lblPrintQueryField", &Frame7};
  ComboBox cboPrintQueryField{*this, "cboPrintQueryField", &Frame7};
  Label lblPrintSelect{*this, "lblPrintSelect", &Frame7};
  ListBox lstPrintSelect{*this, "lstPrintSelect", &Frame7};
  CommandButton btnAll{*this, "btnAll", &Frame7};
  CommandButton btnClear{*this, "btnClear", &Frame7};
  // Settings no run reads, never shown and never enabled.
  Frame_ Frame18{*this, "Frame18", &Frame7};
  CheckBox chkExclude{*this, "chkExclude", &Frame18};
  OptionButton optExcludeAll{*this, "optExcludeAll", &Frame18};
  OptionButton optExcludeLayer{*this, "optExcludeLayer", &Frame18};
  ComboBox cboExcludeLayer{*this, "cboExcludeLayer", &Frame18};

  // Tab 6 "Scale".
  Frame_ Frame10{*this, "Frame10", &SSTab1};
  Label lblScaleHint{*this, "lblScaleHint", &Frame10};
  OptionButton optLayerFrameScale{*this, "optLayerFrameScale", &Frame10};
  OptionButton optLayerFixedScale{*this, "optLayerFixedScale", &Frame10};
  Label lblScalePrefix{*this, "lblScalePrefix", &Frame10};
  TextBox txtSetScale{*this, "txtSetScale", &Frame10};
  OptionButton optLayerFeatureExtent{*this, "optLayerFeatureExtent", &Frame10};
  Label lblPercentPrefix{*this, "lblPercentPrefix", &Frame10};
  TextBox txtLayerPercent{*this, "txtLayerPercent", &Frame10};
  Label lblPercentSuffix{*this, "lblPercentSuffix", &Frame10};
  Frame_ Frame23{*this, "Frame23", &SSTab1};
  Label lblOffsetHint{*this, "lblOffsetHint", &Frame23};
  Label lblXDiff{*this, "lblXDiff", &Frame23};
  TextBox txtXDiff{*this, "txtXDiff", &Frame23};
  Label lblYDiff{*this, "lblYDiff", &Frame23};
  TextBox txtYDiff{*this, "txtYDiff", &Frame23};

  // Tab 7 "Mapbooks".
  Frame_ Frame8{*this, "Frame8", &SSTab1};
  Label lblMapbooks{*this, "lblMapbooks", &Frame8};
  FileListBox File2{*this, "File2", &Frame8};
  CommandButton btnSaveMapbook{*this, "btnSaveMapbook", &Frame8};
  CommandButton btnDeleteMapbook{*this, "btnDeleteMapbook", &Frame8};
  CommandButton btnRenameMapbook{*this, "btnRenameMapbook", &Frame8};
  CommandButton btnDuplicateMapbook{*this, "btnDuplicateMapbook", &Frame8};
  CommandButton btnLoadMapBook{*this, "btnLoadMapBook", &Frame8};

 protected:
  void Design() override;
  void Form_Load() override;
  void Form_Unload(int& Cancel) override;

 private:
  void WriteConfigFile();
  // Applying items 9 (the primary data frame) and 4 to 7 (the active layer and its lists).
  void ApplyPrimaryDataFrame();
  void ApplyActiveLayerItems();
  // What the window's load does with the batch command of item 1.
  void BatchCommandStep();
  // What a run reads from the controls.
  RunOptions PageRunOptions(RunKind kind) const;
  // A handler whose failure puts the mouse pointer back before the report.
  void GuardPointer(const char* procedure, const std::function<void()>& body);
  void cboMapLayers_Click();
  // The navigator.
  bool DataFrameCountCheck();
  bool AnyDataFrameSelected() const;
  void FocusDataFrame(const std::shared_ptr<host::carto::Map>& map) override;
  void btnGo1_Click();
  void btnGo2_Click();
  void cbonavindex_Click();
  void txtSearch_KeyUp(int& KeyCode, int& Shift);
  void cboNavIndex_KeyPress(int& KeyAscii);
  void cboNavRow_KeyPress(int& KeyAscii);
  void cboNavColumn_KeyPress(int& KeyAscii);
  void btnLayerApply_Click();
  // The Selection tab's values: the distinct values of the selection field.
  void RefillSelectionList();
  // Number boxes: the key filter, then the leading zeros dropped before the key lands.
  void NumberBoxKeyPress(TextBox& box, int& KeyAscii, bool allowPoint, bool allowMinus);
  void NumberBoxLostFocus(TextBox& box);
  // The exclusive check-box pairs.
  void PairClick(CheckBox& clicked, CheckBox& partner, bool partnerFollows);

  void txtLayerPercent_KeyPress(int& KeyAscii);
  void txtSetScale_KeyPress(int& KeyAscii);
  void txtXDiff_KeyPress(int& KeyAscii);
  void txtYDiff_KeyPress(int& KeyAscii);
  void txtLayerPercent_LostFocus();
  void txtSetScale_LostFocus();
  void txtXDiff_LostFocus();
  void txtYDiff_LostFocus();
  void cboDataFrames_Click();
  void chkEven_Click();
  void chkOdd_Click();
  void chkPrintUseSearch_Click();
  void chkPrintUseRowCol_Click();
  void chkExpUseSearch_Click();
  void chkExpUseRowCol_Click();
  void optExpCurrent_Click();
  void txtRes_KeyPress(int& KeyAscii);
  void txtRes_LostFocus();
  void cboPrintQueryField_Click();
  void btnAll_Click();
  void btnClear_Click();
  void btnHelp2_Click();
  void btnPrintAdvanced_Click();
  void btnExpAdvanced_Click();
  void OpenAdvancedSettings();
  void Command9_Click();
  // The Mapbooks tab.
  void btnSaveMapbook_Click();
  void btnLoadMapbook_Click();
  void btnDeleteMapbook_Click();
  void btnDuplicateMapbook_Click();
  void btnRenameMapbook_Click();
  void CopyMapbook(const char* procedure, const std::string& prompt, bool removeOriginal);
  // The Grids tab.
  void btnCreateNewGrid_Click();
  void btnLoadGrid_Click();
  void btnDeleteGrid_Click();
  void btnRename_Click();
  void btnDuplicate_Click();
  void CopyGrid(const char* procedure, const std::string& prompt, bool removeOriginal);
  // The Layout tab (frmMain_layout.cpp): keyword texts, layout data frames, the location index.
  void Command2_Click();
  void Command3_Click();
  void Command4_Click();
  void Command5_Click();
  void btnAddIndex_Click();
  void btnAddLocator_Click();
  void btnMapNumber_Click();
  void btnIndex_Click();

  std::unique_ptr<host::ui::ModelessFrame> m_frame;
  // Every help window opened stays until the program is unloaded.
  std::vector<std::unique_ptr<class frmHelp>> m_helpWindows;
  bool m_bInPairClick = false;  // a pair handler is changing its partner
  bool TypeAheadActive = false;  // the Find box is changing the Search list's text
};

// The main window the shared state holds, as the window it is.
frmMain& MainForm();

}  // namespace mapbooks
