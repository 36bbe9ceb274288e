// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/gridwizard/frmAutomaticGrid.h"

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/gridwizard/GridBuilder.h"

namespace mapbooks {

namespace vb = host::vb;

frmAutomaticGrid::frmAutomaticGrid() : Form("frmAutomaticGrid") {
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmAutomaticGrid::Design() {
  SetCaption("Create New Grid");
  Move(0, 0, 6600, 3300);
  Place(Frame1, 120, 120, 6240, 1935, "Set number of tiles");
  Place(lblHorizontalNumber, 120, 300, 2880, 735, "Enter the Number of Tiles to be placed Horizontally:");
  txtHorizontalNumber.Move(120, 1140, 2880, 315);
  Place(lblVerticalNumber, 3240, 300, 2880, 735, "Enter the Number of Tiles to be placed Vertically:");
  txtVerticalNumber.Move(3240, 1140, 2880, 315);
  Place(btnNext, 3840, 2280, 1215, 375, "Next");
  btnNext.SetDefault(true);
  btnCancel.SetCancel(true);  // Escape cancels
  Place(btnCancel, 5160, 2280, 1215, 375, "Cancel");
}

void frmAutomaticGrid::btnNext_Click() {
  ErrorHandling::Guard("btnNext_Click", "frmAutomaticGrid", [&] {
    if (txtVerticalNumber.Text().empty() || txtHorizontalNumber.Text().empty()) {
      host::ui::MsgBox("Please make sure all fields are filled.");
      return;
    }
    AutomaticGridRecord& g = State().AutomaticGrid;
    g.VerticalNumber = vb::CLng(txtVerticalNumber.Text());
    g.HorizontalNumber = vb::CLng(txtHorizontalNumber.Text());
    Unload();
    host::ui::ShowModalNew<frmAutomaticGrid2>();
  });
}

void frmAutomaticGrid::btnCancel_Click() {
  ErrorHandling::Guard("btnCancel_Click", "frmAutomaticGrid", [&] { Unload(); });
}

frmAutomaticGrid2::frmAutomaticGrid2() : GridSummaryPage("frmAutomaticGrid2") {
  btnBack.Click = [this] { btnBack_Click(); };
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmAutomaticGrid2::Design() {
  DesignSummary(State().ProductName + " - Grid Specifications",
                "Based on the number of tiles that you entered and the extent of your current data, a new grid with "
                "the following specifications will be added to the map.");
}

void frmAutomaticGrid2::Form_Load() {
  ErrorHandling::Guard("Form_Load", "frmAutomaticGrid2", [&] {
    AutomaticGridRecord& g = State().AutomaticGrid;
    host::app::AppRef ref;
    host::carto::ActiveView& view = ref.GetApplication().GetDocument().ActiveView();
    g.X = view.FullExtent().UpperLeft().X;
    g.Y = view.FullExtent().UpperLeft().Y;
    g.GridHeight = view.FullExtent().Height();
    g.GridWidth = view.FullExtent().Width();
    txtX.SetText(vb::CStr(g.X));
    txtY.SetText(vb::CStr(g.Y));
    txtGridHeight.SetText(vb::CStr(g.GridHeight));
    txtGridWidth.SetText(vb::CStr(g.GridWidth));
    if (g.VerticalNumber == 0 || g.HorizontalNumber == 0) vb::raise(vb::err::DivisionByZero);
    txtTileHeight.SetText(vb::CStr(g.GridHeight / g.VerticalNumber));
    txtTileWidth.SetText(vb::CStr(g.GridWidth / g.HorizontalNumber));
    txtNoVertical.SetText(vb::CStr(g.VerticalNumber));
    txtNoHorizontal.SetText(vb::CStr(g.HorizontalNumber));
    txtTotalTiles.SetText(vb::CStr(vb::CLng(double(g.HorizontalNumber) * double(g.VerticalNumber))));
  });
}

std::pair<double, double> frmAutomaticGrid2::TileSize() {
  AutomaticGridRecord& g = State().AutomaticGrid;
  g.TileWidth = vb::CDbl(txtTileWidth.Text());
  g.TileHeight = vb::CDbl(txtTileHeight.Text());
  return {g.TileWidth, g.TileHeight};
}

void frmAutomaticGrid2::btnBack_Click() {
  ErrorHandling::Guard("btnBack_Click", "frmAutomaticGrid2", [&] {
    Unload();
    host::ui::ShowModalNew<frmAutomaticGrid>();
  });
}

void frmAutomaticGrid2::btnNext_Click() {
  const AutomaticGridRecord& g = State().AutomaticGrid;
  BuildGridShapefile(*this, g.X, g.Y, g.HorizontalNumber, g.VerticalNumber);
}

void frmAutomaticGrid2::btnCancel_Click() {
  ErrorHandling::Guard("btnCancel_Click", "frmAutomaticGrid2", [&] { Unload(); });
}

}  // namespace mapbooks
