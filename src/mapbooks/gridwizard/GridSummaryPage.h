// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The last page of either wizard path: the grid's figures shown read-only, with
// Back, Next (which builds the grid) and Cancel.

#include <utility>

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class GridSummaryPage : public host::ui::Form {
 public:
  using Form::Form;

  host::ui::Label lblHeading{*this, "lblHeading", nullptr};
  host::ui::Label lblCorner{*this, "lblCorner", nullptr};
  host::ui::Label lblX{*this, "lblX", nullptr};
  host::ui::TextBox txtX{*this, "txtX", nullptr};
  host::ui::Label lblY{*this, "lblY", nullptr};
  host::ui::TextBox txtY{*this, "txtY", nullptr};
  host::ui::Label lblGridHeight{*this, "lblGridHeight", nullptr};
  host::ui::TextBox txtGridHeight{*this, "txtGridHeight", nullptr};
  host::ui::Label lblGridWidth{*this, "lblGridWidth", nullptr};
  host::ui::TextBox txtGridWidth{*this, "txtGridWidth", nullptr};
  host::ui::Label lblTileHeight{*this, "lblTileHeight", nullptr};
  host::ui::TextBox txtTileHeight{*this, "txtTileHeight", nullptr};
  host::ui::Label lblTileWidth{*this, "lblTileWidth", nullptr};
  host::ui::TextBox txtTileWidth{*this, "txtTileWidth", nullptr};
  host::ui::Label lblNoVertical{*this, "lblNoVertical", nullptr};
  host::ui::TextBox txtNoVertical{*this, "txtNoVertical", nullptr};
  host::ui::Label lblNoHorizontal{*this, "lblNoHorizontal", nullptr};
  host::ui::TextBox txtNoHorizontal{*this, "txtNoHorizontal", nullptr};
  host::ui::Label lblTotalTiles{*this, "lblTotalTiles", nullptr};
  host::ui::TextBox txtTotalTiles{*this, "txtTotalTiles", nullptr};
  host::ui::CommandButton btnBack{*this, "btnBack", nullptr};
  host::ui::CommandButton btnNext{*this, "btnNext", nullptr};
  host::ui::CommandButton btnCancel{*this, "btnCancel", nullptr};

  // The tile width and height the build lays the tiles out with, asked for once the
  // feature class has been made.
  virtual std::pair<double, double> TileSize() = 0;

 protected:
  // The boxes, their labels and the buttons, with the page's own caption and heading.
  void DesignSummary(const std::string& caption, const std::string& heading);
};

}  // namespace mapbooks
