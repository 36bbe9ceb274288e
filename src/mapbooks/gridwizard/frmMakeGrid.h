// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The manual grid path: the corner, the grid's size and the tile counts typed in, then
// the figures shown before the grid is written.

#include <utility>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "mapbooks/gridwizard/GridSummaryPage.h"

namespace mapbooks {

class frmMakeGrid : public host::ui::Form {
 public:
  frmMakeGrid();
  host::ui::Label lblCorner{*this, "lblCorner", nullptr};
  host::ui::Label lblCornerNote{*this, "lblCornerNote", nullptr};
  host::ui::Label lblX{*this, "lblX", nullptr};
  host::ui::TextBox txtX{*this, "txtX", nullptr};
  host::ui::Label lblY{*this, "lblY", nullptr};
  host::ui::TextBox txtY{*this, "txtY", nullptr};
  host::ui::Label lblSize{*this, "lblSize", nullptr};
  host::ui::Label lblGridHeight{*this, "lblGridHeight", nullptr};
  host::ui::TextBox txtGridHeight{*this, "txtGridHeight", nullptr};
  host::ui::Label lblGridWidth{*this, "lblGridWidth", nullptr};
  host::ui::TextBox txtGridWidth{*this, "txtGridWidth", nullptr};
  host::ui::Label lblVerticalNumber{*this, "lblVerticalNumber", nullptr};
  host::ui::TextBox txtVerticalNumber{*this, "txtVerticalNumber", nullptr};
  host::ui::Label lblHorizontalNumber{*this, "lblHorizontalNumber", nullptr};
  host::ui::TextBox txtHorizontalNumber{*this, "txtHorizontalNumber", nullptr};
  host::ui::CommandButton btnNext{*this, "btnNext", nullptr};
  host::ui::CommandButton btnCancel{*this, "btnCancel", nullptr};

 protected:
  void Design() override;

 private:
  void btnNext_Click();
  void btnCancel_Click();
};

class frmMakeGrid2 : public GridSummaryPage {
 public:
  frmMakeGrid2();
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
