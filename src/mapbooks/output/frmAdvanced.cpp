#include "mapbooks/output/frmAdvanced.h"

#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

frmAdvanced::frmAdvanced() : Form("frmAdvanced") {
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmAdvanced::Design() {
  SetCaption("ZelvaneMapbooks - Advanced Settings");
  Move(0, 0, 6000, 5400);
  Frame1.Move(120, 120, 5640, 4200);
  Frame1.SetCaption("Advanced settings");
  Frame2.Move(120, 240, 5400, 1560);
  Frame2.SetCaption("Print / Export Refresh Delay");
  lblDelayBefore.Move(120, 300, 1200, 255);
  lblDelayBefore.SetCaption("Add delay of");
  txtDelay.Move(1320, 270, 720, 315);
  txtDelay.SetText("0");
  lblDelayAfter.Move(2160, 300, 960, 255);
  lblDelayAfter.SetCaption("seconds");
  lblDelayHint.Move(120, 660, 5160, 735);
  lblDelayHint.SetCaption(
      "If your map contains many data layers, or layers with a large amount of data, you may need to add a delay, "
      "in seconds, to be applied after each data frame zoom/refresh.");
  Frame3.Move(120, 1920, 5400, 2160);
  Frame3.SetCaption("Duplex Printing Simulator");
  chkReverse.Move(120, 300, 3000, 255);
  chkReverse.SetCaption("Reverse print order");
  chkReverse.SetToolTipText(
      "Check here to reverse the map order when printing or exporting.  This can be used in conjunction with "
      "Even/Odd only pages to emulate duplex or double-sided printing.");
  const char* even_odd_tip =
      "Print or export only even or odd pages.  Use this in conjunction with the Reverse Print Order to emulate "
      "duplex or double-sided printing.";
  chkEven.Move(120, 600, 1800, 255);
  chkEven.SetCaption("Even pages");
  chkEven.SetToolTipText(even_odd_tip);
  chkOdd.Move(2040, 600, 1800, 255);
  chkOdd.SetCaption("Odd pages");
  chkOdd.SetToolTipText(even_odd_tip);
  lblDuplexHint.Move(120, 960, 5160, 1095);
  lblDuplexHint.SetCaption(
      "To simulate duplex or double-sided printing and exporting, try printing just the even pages and then running "
      "the mapbook back through the printer, updside-down, and print the odd pages.  Reverse the print order as "
      "needed.");
  btnNext.Move(3240, 4440, 1215, 375);
  btnNext.SetCaption("OK");
  btnNext.SetDefault(true);
  btnCancel.Move(4560, 4440, 1215, 375);
  btnCancel.SetCaption("Cancel");
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
  frmMain& main = *State().MainWindow;
  main.chkEven.SetValue(chkEven.Value());
  main.chkOdd.SetValue(chkOdd.Value());
  main.chkReverse.SetValue(chkReverse.Value());
  main.txtDelay.SetText(txtDelay.Text());
  Unload();
}

void frmAdvanced::btnCancel_Click() { Unload(); }

}  // namespace mapbooks
