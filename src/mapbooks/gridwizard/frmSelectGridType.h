// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The grid wizard's first dialog: a grid around the map's extent, or one typed in.

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmSelectGridType : public host::ui::Form {
 public:
  frmSelectGridType();
  host::ui::Frame Frame1{*this, "Frame1", nullptr};
  host::ui::CommandButton Command2{*this, "Command2", &Frame1};
  host::ui::CommandButton Command1{*this, "Command1", &Frame1};

 protected:
  void Design() override;

 private:
  void Command1_Click();
  void Command2_Click();
};

}  // namespace mapbooks
