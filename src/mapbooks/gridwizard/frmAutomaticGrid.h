// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The automatic grid path: tile counts typed in, the grid cut from the extent of the
// current view.

#include <utility>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "mapbooks/gridwizard/GridSummaryPage.h"

namespace mapbooks {

class frmAutomaticGrid : public host::ui::Form {
 public:
  frmAutomaticGrid();
  host::ui::Frame Frame1{*this, "Frame1", nullptr};
  host::ui::Label lblHorizontalNumber{*this, "lblHorizontalNumber", &Frame1};
  host::ui::TextBox txtHorizontalNumber{*this, "txtHorizontalNumber", &Frame1};
  host::ui::Label lblVerticalNumber{*this, "lblVerticalNumber", &Frame1};
  host::ui::TextBox txtVerticalNumber{*this, "txtVerticalNumber", &Frame1};
  host::ui::CommandButton btnNext{*this, "btnNext", nullptr};
  host::ui::CommandButton btnCancel{*this, "btnCancel", nullptr};

 protected:
  void Design() override;

 private:
  void btnNext_Click();
  void btnCancel_Click();
};

class frmAutomaticGrid2 : public GridSummaryPage {
 public:
  frmAutomaticGrid2();
  // The sizes as the page shows them, kept in the record too.
  std::pair<double, double> TileSize() override;

 protected:
  void Design() override;
  void Form_Load() override;

 private:
  void btnBack_Click();
  void btnNext_Click();
  void btnCancel_Click();
};

}  // namespace mapbooks
