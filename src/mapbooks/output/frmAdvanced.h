// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The advanced settings of the runs: the refresh delay and the page order.

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmAdvanced : public host::ui::Form {
 public:
  frmAdvanced();

  host::ui::Frame Frame1{*this, "Frame1", nullptr};
  host::ui::Frame Frame2{*this, "Frame2", &Frame1};
  host::ui::Label lblDelayBefore{*this, "lblDelayBefore", &Frame2};
  host::ui::TextBox txtDelay{*this, "txtDelay", &Frame2};
  host::ui::Label lblDelayAfter{*this, "lblDelayAfter", &Frame2};
  host::ui::Label lblDelayHint{*this, "lblDelayHint", &Frame2};
  host::ui::Frame Frame3{*this, "Frame3", &Frame1};
  host::ui::CheckBox chkReverse{*this, "chkReverse", &Frame3};
  host::ui::CheckBox chkEven{*this, "chkEven", &Frame3};
  host::ui::CheckBox chkOdd{*this, "chkOdd", &Frame3};
  host::ui::Label lblDuplexHint{*this, "lblDuplexHint", &Frame3};
  host::ui::CommandButton btnNext{*this, "btnNext", nullptr};
  host::ui::CommandButton btnCancel{*this, "btnCancel", nullptr};

 protected:
  void Design() override;

 private:
  void btnNext_Click();
  void btnCancel_Click();
};

}  // namespace mapbooks
