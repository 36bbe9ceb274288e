// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/output/frmAdvanced.h"

#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks {

frmAdvanced::frmAdvanced() : Form("frmAdvanced") {
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmAdvanced::Design() {
  SetCaption("ZelvaneMapbooks - Advanced Settings");
  Move(0, 0, 6000, 5400);
  Place(Frame1, 120, 120, 5640, 4200, "Advanced settings");
  Place(Frame2, 120, 240, 5400, 1560, "Print / Export Refresh Delay");
  Place(lblDelayBefore, 120, 300, 1200, 255, "Add delay of");
  txtDelay.Move(1320, 270, 720, 315);
  txtDelay.SetText("0");
  Place(lblDelayAfter, 2160, 300, 960, 255, "seconds");
  Place(lblDelayHint, 120, 660, 5160, 735,
      "If your map contains many data layers, or layers with a large amount of data, you may need to add a delay, "
      "in seconds, to be applied after each data frame zoom/refresh.");
  Place(Frame3, 120, 1920, 5400, 2160, "Duplex Printing Simulator");
  Place(chkReverse, 120, 300, 3000, 255, "Reverse print order",
      "Check here to reverse the map order when printing or exporting.  This can be used in conjunction with "
      "Even/Odd only pages to emulate duplex or double-sided printing.");
  const char* even_odd_tip =
      "Print or export only even or odd pages.  Use this in conjunction with the Reverse Print Order to emulate "
      "duplex or double-sided printing.";
  Place(chkEven, 120, 600, 1800, 255, "Even pages", even_odd_tip);
  Place(chkOdd, 2040, 600, 1800, 255, "Odd pages", even_odd_tip);
  Place(lblDuplexHint, 120, 960, 5160, 1095,
      "To simulate duplex or double-sided printing and exporting, try printing just the even pages and then running "
      "the mapbook back through the printer, updside-down, and print the odd pages.  Reverse the print order as "
      "needed.");
  Place(btnNext, 3240, 4440, 1215, 375, "OK");
  btnNext.SetDefault(true);
  Place(btnCancel, 4560, 4440, 1215, 375, "Cancel");
  btnCancel.SetCancel(true);
}

void frmAdvanced::btnNext_Click() {
  if (!host::vb::IsNumeric(txtDelay.Text())) {
    host::ui::MsgBox("Please enter a number for the delay");
    txtDelay.SetText("0");
    return;
  }
  double delay = host::vb::CDbl(txtDelay.Text());
  if (delay < 0) {
    host::ui::MsgBox("Please enter a positive number for the delay");
    txtDelay.SetText("0");
    return;
  }
  if (delay > 120 && host::ui::MsgBox("Are you sure you want to insert a delay greater than 120 seconds?",
                                      host::ui::vbYesNo) == host::ui::vbNo) {
    txtDelay.SetText("0");
    return;
  }
  State().MainWindow->SetAdvancedOptions(chkEven.Value(), chkOdd.Value(), chkReverse.Value(), txtDelay.Text());
  Unload();
}

void frmAdvanced::btnCancel_Click() { Unload(); }

}  // namespace mapbooks
