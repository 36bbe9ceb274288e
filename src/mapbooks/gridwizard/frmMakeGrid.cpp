// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/gridwizard/frmMakeGrid.h"

#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/gridwizard/GridBuilder.h"

namespace mapbooks {

namespace vb = host::vb;

frmMakeGrid::frmMakeGrid() : Form("frmMakeGrid") {
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmMakeGrid::Design() {
  SetCaption("Create New Grid");
  Move(0, 0, 6000, 5700);
  Place(lblCorner, 120, 120, 5640, 255, "Enter X, Y Coordinate of Upper Left Corner of Grid:");
  Place(lblCornerNote, 120, 420, 5640, 495,
      "This is optional.  You can leave this at the default 1000, 1000 and manually drag the grid into position "
      "later.");
  Place(lblX, 240, 1020, 360, 255, "X:");
  txtX.Move(600, 990, 1800, 315);
  txtX.SetText("1000");
  Place(lblY, 2640, 1020, 360, 255, "Y:");
  txtY.Move(3000, 990, 1800, 315);
  txtY.SetText("1000");
  Place(lblSize, 120, 1500, 5640, 255, "Enter Height and Width of the Grid:");
  Place(lblGridHeight, 240, 1860, 720, 255, "Height:");
  txtGridHeight.Move(960, 1830, 1440, 315);
  Place(lblGridWidth, 2640, 1860, 720, 255, "Width:");
  txtGridWidth.Move(3360, 1830, 1440, 315);
  Place(lblVerticalNumber, 120, 2400, 4200, 255, "Enter the Number of Tiles to be placed Vertically:");
  txtVerticalNumber.Move(4440, 2370, 960, 315);
  Place(lblHorizontalNumber, 120, 2880, 4200, 255, "Enter the Number of Tiles to be placed Horizontally:");
  txtHorizontalNumber.Move(4440, 2850, 960, 315);
  Place(btnNext, 3120, 4680, 1215, 375, "Next");
  btnNext.SetDefault(true);
  btnCancel.SetCancel(true);  // Escape cancels
  Place(btnCancel, 4440, 4680, 1215, 375, "Cancel");
}

void frmMakeGrid::btnNext_Click() {
  ErrorHandling::Guard("btnNext_Click", "frmMakeGrid", [&] {
    for (host::ui::TextBox* box : {&txtX, &txtY, &txtGridHeight, &txtGridWidth, &txtVerticalNumber, &txtHorizontalNumber})
      if (box->Text().empty()) {
        host::ui::MsgBox("Please make sure all fields are filled.");
        return;
      }
    ManualGridRecord& g = State().ManualGrid;
    g.X = vb::CDblGrouped(txtX.Text());
    g.Y = vb::CDblGrouped(txtY.Text());
    g.GridHeight = vb::CDblGrouped(txtGridHeight.Text());
    g.GridWidth = vb::CDblGrouped(txtGridWidth.Text());
    g.VerticalNumber = vb::CInt(txtVerticalNumber.Text());
    g.HorizontalNumber = vb::CInt(txtHorizontalNumber.Text());
    if (g.VerticalNumber == 0 || g.HorizontalNumber == 0) vb::raise(vb::err::DivisionByZero);
    g.TileHeight = g.GridHeight / g.VerticalNumber;
    g.TileWidth = g.GridWidth / g.HorizontalNumber;
    g.TotalTiles = vb::CInt(double(g.HorizontalNumber) * double(g.VerticalNumber));
    Unload();
    host::ui::ShowModalNew<frmMakeGrid2>();
  });
}

void frmMakeGrid::btnCancel_Click() {
  ErrorHandling::Guard("btnCancel_Click", "frmMakeGrid", [&] { Unload(); });
}

frmMakeGrid2::frmMakeGrid2() : GridSummaryPage("frmMakeGrid2") {
  btnBack.Click = [this] { btnBack_Click(); };
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmMakeGrid2::Design() {
  DesignSummary("ZelvaneMapbooks - Make New Grid",
                "Based on the information you entered, the new grid with the following specifications will be added "
                "to the active map.");
}

void frmMakeGrid2::Form_Load() {
  ErrorHandling::Guard("Form_Load", "frmMakeGrid2", [&] {
    const ManualGridRecord& g = State().ManualGrid;
    txtX.SetText(vb::CStr(g.X));
    txtY.SetText(vb::CStr(g.Y));
    txtGridHeight.SetText(vb::CStr(g.GridHeight));
    txtGridWidth.SetText(vb::CStr(g.GridWidth));
    txtTileHeight.SetText(vb::CStr(g.TileHeight));
    txtTileWidth.SetText(vb::CStr(g.TileWidth));
    txtNoVertical.SetText(vb::CStr(g.VerticalNumber));
    txtNoHorizontal.SetText(vb::CStr(g.HorizontalNumber));
    txtTotalTiles.SetText(vb::CStr(g.TotalTiles));
  });
}

std::pair<double, double> frmMakeGrid2::TileSize() {
  const ManualGridRecord& g = State().ManualGrid;
  return {g.TileWidth, g.TileHeight};
}

void frmMakeGrid2::btnBack_Click() {
  ErrorHandling::Guard("btnBack_Click", "frmMakeGrid2", [&] {
    Unload();
    host::ui::ShowModalNew<frmMakeGrid>();
  });
}

void frmMakeGrid2::btnNext_Click() {
  const ManualGridRecord& g = State().ManualGrid;
  BuildGridShapefile(*this, g.X, g.Y, g.HorizontalNumber, g.VerticalNumber);
}

void frmMakeGrid2::btnCancel_Click() {
  ErrorHandling::Guard("btnCancel_Click", "frmMakeGrid2", [&] { Unload(); });
}

}  // namespace mapbooks
