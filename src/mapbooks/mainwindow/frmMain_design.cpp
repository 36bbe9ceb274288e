// SPDX-License-Identifier: GPL-3.0-or-later
// The main window's design: captions, tooltips, design values, places (twips) and tabs.

#include "mapbooks/mainwindow/frmMain.h"

#include "mapbooks/common/FormDesign.h"

namespace mapbooks {

namespace {
const char* const kFieldsTip =
    "If the active layer contains Row and Column fields (A1, A2, B1, B2, etc.) you can select them here.  Values from "
    "these fields will be loaded into the Row and Column lists in the Navigation area above";
const char* const kNavRowColumnTip =
    "Select Row and Column values and hit Go to zoom the map to the corresponding feature.  To load the lists, choose "
    "a layer and coordinate grid fields from the Layer tab.";
const char* const kFileNameTip =
    "Enter a file name for the output images, then choose to append either the Search value associated with the map "
    "or a incremental number";
const char* const kAdvancedTip = "Advanced controls: emulate duplexing, add refresh delay";
const char* const kFormatTip = "Choose an image format to export the map image to";

}  // namespace

void frmMain::Design() {
  SetCaption("ZelvaneMapbooks");
  Move(0, 0, 7815, 8325);

  // The navigator.
  Place(Frame9, 120, 60, 7455, 1215, "Navigation");
  Place(lblSearch, 120, 240, 2640, 255, "Search:");
  Place(cboNavIndex, 120, 480, 2640, 315, "",
        "Select a value and the map will zoom to the corresponding feature.  To load the list, choose a layer and "
        "search field from the Layer tab.");
  Place(lblFind, 2880, 240, 1200, 255, "Find:");
  Place(txtSearch, 2880, 480, 1200, 315, "",
        "Enter text to search for in the Search list.  Hit Go to zoom the map.");
  Place(btnGo1, 4140, 480, 495, 315, "Go");
  Place(lblRow, 4800, 240, 960, 255, "Row:");
  Place(cboNavRow, 4800, 480, 960, 315, "", kNavRowColumnTip);
  Place(lblColumn, 5820, 240, 960, 255, "Column:");
  Place(cboNavColumn, 5820, 480, 960, 315, "", kNavRowColumnTip);
  Place(btnGo2, 6840, 480, 495, 315, "Go");

  Place(lblPrimary, 120, 1380, 1740, 255, "Primary Data Frame:");
  Place(cboDataFrames, 1860, 1335, 1860, 315, "",
        "The primary data frame is the main data frame in the map layout.");
  Place(lblCurMapbook, 3840, 1380, 1440, 255, "Active Mapbook:");
  Place(txtCurMapbook, 5280, 1335, 1440, 315);
  txtCurMapbook.SetLocked(true);
  Place(txtVersion, 6780, 1335, 480, 315);
  txtVersion.SetLocked(true);
  Place(btnHelp2, 7320, 1335, 255, 315, "?");
  for (CommandButton* b : {&btnClose, &Command6, &Command7}) {
    b->SetVisible(false);
    b->SetEnabled(false);
  }
  Place(btnClose, 6000, 7560, 1215, 375, "Close");
  Place(Command6, 120, 7560, 1455, 375, "Show Navigator");
  Place(Command7, 1680, 7560, 1455, 375, "Hide Navigator");
  btnHelp.SetVisible(false);

  Place(SSTab1, 120, 1800, 7455, 5895);
  SSTab1.SetTabs(8);
  const char* tabs[] = {"Main", "Grids", "Print", "Export", "Layout", "Selection", "Scale", "Mapbooks"};
  for (int i = 0; i < 8; ++i) SSTab1.SetTabCaption(i, tabs[i]);
  SSTab1.SetTab(0);

  // Tab 0: the active layer and its fields; the data frames to zoom.
  Place(Frame4, 120, 420, 3840, 5280, "Active layer and search fields");
  Place(lblLayerHint, 120, 240, 3600, 255, "Choose any layer and field, then hit Apply:");
  Place(lblMapLayers, 120, 600, 3600, 255, "Layer:");
  Place(cboMapLayers, 120, 840, 3600, 315, "",
        "Choose a grid layer or any feature layer in the active data frame and then select a search field");
  Place(lblLayerFields, 120, 1260, 3600, 255, "Search field:");
  Place(cboLayerFields, 120, 1500, 3600, 315, "",
        "The search field can be any field of unique identifiers.  Values from this field are loaded into the Search "
        "list in the Navigation area above");
  Place(lblSelectRow, 120, 1920, 1740, 255, "Row field:");
  Place(cboSelectRow, 120, 2160, 1740, 315, "", kFieldsTip);
  Place(lblSelectColumn, 1980, 1920, 1740, 255, "Column field:");
  Place(cboSelectColumn, 1980, 2160, 1740, 315, "", kFieldsTip);
  Place(lblOptional, 120, 2520, 3600, 255, "(optional)");
  Place(btnLayerApply, 120, 3000, 1215, 375, "Apply", "Click here to load the search fields in the Navigation area above");
  Place(Frame11, 4080, 420, 3240, 5280, "Data frames to zoom:");
  Place(lstDataFrames, 120, 240, 3000, 4860, "", "Select the data frames to refresh when the map is zoomed");
  lstDataFrames.SetMultiSelect(ListBox::Simple);
  for (host::ui::Control* c : {static_cast<host::ui::Control*>(&Frame4), static_cast<host::ui::Control*>(&Frame11)})
    c->SetTabPage(0);

  // Tab 1: grids.
  Place(Frame5, 120, 420, 7200, 5280, "Manage grids");
  Frame5.SetTabPage(1);
  Place(lblCreateGrid, 120, 300, 2400, 255, "Grid Creation Wizard:");
  Place(btnCreateNewGrid, 2520, 240, 1455, 375, "Create Grid");
  Place(lblGrids, 120, 780, 3600, 255, "Existing grid layers:");
  Place(File1, 120, 1020, 3240, 3960);
  File1.SetPattern("*.shp");
  Place(btnLoadGrid, 3480, 1020, 3360, 375, "Add Selected Grid To Active Data Frame");
  Place(btnDeleteGrid, 3480, 1500, 1455, 375, "Delete");
  Place(btnRename, 3480, 1980, 1455, 375, "Rename");
  Place(btnDuplicate, 3480, 2460, 1455, 375, "Duplicate");
  btnSelectGrid.SetVisible(false);

  // Tab 2: print.
  Place(Frame2, 120, 420, 7200, 5280, "Print maps");
  Frame2.SetTabPage(2);
  Place(lblPrintHint, 120, 240, 6720, 255, "Use these print options to control the maps that are sent to the printer.");
  Place(optPrintAll, 120, 600, 2640, 255, "A - Print all maps",
        "Print a map for each feature in the Search list or Row/Column list");
  Place(chkPrintUseSearch, 480, 900, 2280, 255, "use search field",
        "Print a map for each feature with a value in Search list in the Navigator section above");
  chkPrintUseSearch.SetValue(1);
  Place(chkPrintUseRowCol, 480, 1200, 2280, 255, "use row / column",
        "Print a map for each feature with a value in Row/Column lists in the Navigator section above");
  Place(optPrintMapSel, 120, 1560, 2640, 255, "B - Print maps in selection",
        "Print a map for each feature in the current ArcMap selection");
  Place(optPrintSome, 120, 2160, 2640, 255, "C - Print maps in list",
        "Print a map for each feature with values matching those selected in the Selection list on the Selection tab");
  Place(optPrintCurrent, 120, 2940, 2640, 255, "D - Print current map", "Print the current map layout");
  optPrintCurrent.SetValue(true);
  Place(lblPrintA, 2880, 600, 3960, 495, "A - Print a map for each feature in the Search list or Row/Column list");
  Place(lblPrintB, 2880, 1560, 3960, 495, "B - Print a map for each feature in the current ArcMap selection");
  Place(lblPrintC, 2880, 2160, 3960, 660,
        "C - Print a map for each feature with values matching those selected in the Selection list on the Selection "
        "tab");
  Place(lblPrintD, 2880, 2940, 3960, 255, "D - Print the current map layout");
  Place(btnPrint, 120, 3420, 1215, 375, "Print");
  Place(btnPrintAdvanced, 1440, 3420, 1215, 375, "Advanced", kAdvancedTip);
  Place(Frame12, 120, 3600, 3000, 1455);
  Frame12.SetVisible(false);
  Place(chkReverse, 120, 240, 2400, 255, "Reverse print order");
  Place(chkEven, 120, 540, 2400, 255, "Even pages");
  Place(chkOdd, 120, 840, 2400, 255, "Odd pages");
  Place(txtDelay, 120, 1140, 960, 255);
  txtDelay.SetText("0");

  // Tab 3: export.
  Place(Frame3, 120, 420, 7200, 5280, "Export maps");
  Frame3.SetTabPage(3);
  Place(optExportAll, 120, 300, 2640, 255, "Export all maps",
        "Export a map for each feature in the Search list or Row/Column list");
  Place(chkExpUseSearch, 480, 600, 2280, 255, "use search field",
        "Export a map for each feature with a value in Search list in the Navigator section above");
  chkExpUseSearch.SetValue(1);
  Place(chkExpUseRowCol, 480, 900, 2280, 255, "use row / column",
        "Export a map for each feature with a value in Row/Column lists in the Navigator section above");
  Place(optExpSelection, 120, 1200, 2640, 255, "Export maps in list",
        "Export a map for each feature with values matching those selected in the Selection list on the Selection tab");
  Place(optExpMapSel, 120, 1500, 2640, 255, "Export maps in selection",
        "Export a map for each feature in the current ArcMap selection");
  Place(optExpCurrent, 120, 1800, 2640, 255, "Export current map", "Export the current map layout");
  optExpCurrent.SetValue(true);
  Place(Frame13, 2880, 240, 3960, 1095, "Image format");
  OptionButton* formats[] = {&optJPG, &optPNG, &optGIF, &optAI, &optEMF, &optBMP, &optTIF, &optPDF, &optSVG};
  const char* format_names[] = {"JPG", "PNG", "GIF", "AI", "EMF", "BMP", "TIF", "PDF", "SVG"};
  for (int i = 0; i < 9; ++i)
    Place(*formats[i], 120 + (i % 5) * 760, 300 + (i / 5) * 360, 720, 255, format_names[i], kFormatTip);
  optJPG.SetValue(true);
  Place(lblRes, 2880, 1440, 1080, 255, "Resolution:");
  Place(txtRes, 3960, 1410, 720, 315, "", "Resolution of the output image, in DPI (Dots per inch)");
  txtRes.SetText("300");
  Place(lblDpi, 4740, 1440, 480, 255, "dpi");
  Place(lblDir, 120, 2280, 1560, 255, "Output Directory:");
  Place(txtDir, 120, 2520, 5400, 315, "", "The current output directory for exported images");
  Place(Command9, 5640, 2490, 1215, 375, "Change", "Click to choose a new output directory for the exported images");
  Place(Frame14, 120, 3000, 6720, 1335, "Output File");
  Place(lblName, 120, 300, 960, 255, "File name:");
  Place(txtName, 1080, 270, 2400, 315, "", kFileNameTip);
  txtName.SetText("Mapbook");
  Place(optAppendValues, 3600, 300, 3000, 255, "Append search values", kFileNameTip);
  optAppendValues.SetValue(true);
  Place(optAppendNumber, 3600, 600, 3000, 255, "Append numeric increment", kFileNameTip);
  Place(chkZeroFill, 3960, 900, 2640, 255, "zero fill",
        "Pad the appended numeric value with zeros.  Ex: if there are 100 maps, the first will be 001 rather than 1 "
        "(helpful for sorting)");
  chkZeroFill.SetValue(1);
  Place(btnExport, 120, 4560, 1215, 375, "Export");
  Place(btnExpAdvanced, 1440, 4560, 1215, 375, "Advanced", kAdvancedTip);

  // Tab 4: layout elements and the location index.
  Place(Frame1, 120, 420, 7200, 5280, "Layout controls");
  Frame1.SetTabPage(4);
  Place(lblLayoutHint, 120, 240, 6720, 660,
        "Add useful data frames and text elements to the page layout that are updated for each map.  Then adjust the "
        "data frame properties as needed, or change the font of the text elements.");
  Place(Frame15, 120, 960, 6720, 2055, "Add layout elements:");
  Place(Frame16, 120, 240, 3240, 1695, "Data Frames:");
  Place(btnAddIndex, 120, 300, 3000, 375, "Index Map", "Add an index map to your map layout to show adjacent map tiles");
  Place(btnAddLocator, 120, 720, 3000, 375, "Overview Map", "Add an overview map to show your current map location");
  Place(btnMapNumber, 120, 1140, 3000, 375, "Map Number", "Add a map number to your map layout");
  Place(Frame17, 3480, 240, 3120, 1695, "Text Elements:");
  Place(Command2, 120, 300, 1380, 375, "Date",
        "Add a text element to be updated with the current date when the map is zoomed. Initially, only a keyword is "
        "seen in the text area.");
  Place(Command4, 1620, 300, 1380, 375, "Time",
        "Add a text element to be updated with the current time when the map is zoomed. Initially, only a keyword is "
        "seen in the text area.");
  Place(Command5, 120, 720, 1380, 375, "File Type",
        "Add a text element to be updated with the exported image file type when the map is zoomed. Initially, only a "
        "keyword is seen in the text area. (EXPORTING ONLY)");
  Place(Command3, 1620, 720, 1380, 375, "DPI",
        "Add a text element to be updated with the exported image resolution (DPI) when the map is zoomed. Initially, "
        "only a keyword is seen in the text area. (EXPORTING ONLY)");
  Place(lblIndexHint, 120, 3120, 6720, 495,
        "Use the Index Wizard to build an index of street names or an index of labels from any other feature layer.");
  Place(btnIndex, 120, 3720, 3600, 375, "Build Location Index / Street List",
        "The index wizard provides a list of features along with the grid tile index for the grid tile that they fall "
        "within, like on a street map.");

  // Tab 5: the selection list.
  Place(Frame7, 120, 420, 7200, 5280, "Build print / export selection list");
  Frame7.SetTabPage(5);
  Place(lblSelectionHint, 120, 240, 6720, 735,
        "Select a field from the Active Layer and choose values for the features you'd like to print or export.  Then "
        "select the Print or Export Maps In List option on the Print and Export tabs.");
  Place(lblPrintQueryField, 120, 1080, 1560, 255, "Selection field:");
  Place(cboPrintQueryField, 1680, 1035, 3000, 315, "",
        "Choose a field from the active layer and build a selection using the values below");
  cboPrintQueryField.SetText("cboPrintQueryField");
  Place(lblPrintSelect, 120, 1500, 1560, 255, "Selected values:");
  Place(lstPrintSelect, 120, 1740, 4560, 3240, "",
        "Features with the selected attribute values will be printed or exported.  Be sure to choose the Print or "
        "Export Maps In List option when printing or exporting.");
  lstPrintSelect.SetSorted(true);
  lstPrintSelect.SetMultiSelect(ListBox::Simple);
  Place(btnAll, 4800, 1740, 1215, 375, "Select all", "Select all values below");
  Place(btnClear, 4800, 2220, 1215, 375, "Clear", "Clear all selected values below");
  Place(Frame18, 4800, 3000, 2040, 1455);
  Frame18.SetVisible(false);
  Frame18.SetEnabled(false);
  Place(chkExclude, 120, 240, 1800, 255, "Exclude map tiles without data from:");
  Place(optExcludeAll, 120, 540, 1800, 255, "All layers");
  optExcludeAll.SetValue(true);
  Place(optExcludeLayer, 120, 840, 1800, 255, "Layer:");
  Place(cboExcludeLayer, 120, 1080, 1800, 315);

  // Tab 6: scale and offsets.
  Place(Frame10, 120, 420, 7200, 3135, "Map scale");
  Frame10.SetTabPage(6);
  Place(lblScaleHint, 120, 240, 6720, 495,
        "Choose a method for maintaining the scale on the Primary data frame when the map is zoomed:");
  Place(optLayerFrameScale, 120, 780, 6600, 255, "Use the native scale settings as found in the data frame properties",
        "When the main data frame is zoomed, use its current scale settings");
  optLayerFrameScale.SetValue(true);
  const char* fixed_tip = "When the main data frame is zoomed, always use this scale";
  Place(optLayerFixedScale, 120, 1200, 3000, 255, "Always use this fixed scale", fixed_tip);
  Place(lblScalePrefix, 3240, 1200, 360, 255, "1 :");
  Place(txtSetScale, 3600, 1170, 1200, 315, "", fixed_tip);
  txtSetScale.SetText("10000");
  const char* extent_tip =
      "When the main data frame is zoomed, go to the extent of the selected feature or grid tile, plus a percentage of "
      "that extent";
  Place(optLayerFeatureExtent, 120, 1680, 6600, 255,
        "Zoom directly to the extent of the selected feature or grid tile", extent_tip);
  Place(lblPercentPrefix, 480, 2100, 240, 255, "+");
  Place(txtLayerPercent, 720, 2070, 720, 315, "", extent_tip);
  txtLayerPercent.SetText("0");
  Place(lblPercentSuffix, 1500, 2100, 1560, 255, "% map scale");
  Place(Frame23, 120, 3660, 7200, 1695, "Offset");
  Frame23.SetTabPage(6);
  Place(lblOffsetHint, 120, 240, 6720, 495,
        "Optional positive or negative amount to shift the upper left corner of the Primary data frame for each map");
  Place(lblXDiff, 120, 900, 360, 255, "X:");
  Place(txtXDiff, 480, 870, 1200, 315);
  txtXDiff.SetText("0");
  Place(lblYDiff, 1920, 900, 360, 255, "Y:");
  Place(txtYDiff, 2280, 870, 1200, 315);
  txtYDiff.SetText("0");

  // Tab 7: mapbooks.
  Place(Frame8, 120, 420, 7200, 5280, "Manage Mapbooks");
  Frame8.SetTabPage(7);
  Place(lblMapbooks, 120, 240, 3600, 255, "Existing Mapbooks:");
  Place(File2, 120, 480, 3600, 4440);
  File2.SetPattern("*.mbk");
  Place(btnSaveMapbook, 3840, 480, 1455, 375, "Save");
  Place(btnDeleteMapbook, 3840, 960, 1455, 375, "Delete");
  Place(btnRenameMapbook, 3840, 1440, 1455, 375, "Rename");
  Place(btnDuplicateMapbook, 3840, 1920, 1455, 375, "Duplicate");
  Place(btnLoadMapBook, 3840, 2400, 2400, 375, "Load Selected Mapbook");
}

}  // namespace mapbooks
