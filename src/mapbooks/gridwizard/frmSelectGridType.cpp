// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/gridwizard/frmSelectGridType.h"

#include "host/ui/boxes.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/gridwizard/frmAutomaticGrid.h"
#include "mapbooks/gridwizard/frmMakeGrid.h"

namespace mapbooks {

frmSelectGridType::frmSelectGridType() : Form("frmSelectGridType") {
  Command1.Click = [this] { Command1_Click(); };
  Command2.Click = [this] { Command2_Click(); };
}

void frmSelectGridType::Design() {
  SetCaption(State().ProductName);
  Move(0, 0, 5400, 2700);
  Place(Frame1, 120, 120, 5040, 1935, "Select new grid type");
  Place(Command2, 240, 360, 4560, 615, "Build a grid around the extent of your map");
  Place(Command1, 240, 1140, 4560, 615, "Specify grid location and dimensions");
}

void frmSelectGridType::Command1_Click() {
  ErrorHandling::Guard("Command1_Click", "frmSelectGridType", [&] {
    Unload();
    host::ui::ShowModalNew<frmMakeGrid>();
  });
}

void frmSelectGridType::Command2_Click() {
  ErrorHandling::Guard("Command2_Click", "frmSelectGridType", [&] {
    if (!modTolmirex::fIsData()) {
      host::ui::MsgBox("Please add data to the active data frame before using the automatic grid method.");
      return;
    }
    Unload();
    host::ui::ShowModalNew<frmAutomaticGrid>();
  });
}

}  // namespace mapbooks
