// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/gridwizard/GridSummaryPage.h"

#include "mapbooks/common/FormDesign.h"

namespace mapbooks {

void GridSummaryPage::DesignSummary(const std::string& caption, const std::string& heading) {
  SetCaption(caption);
  Move(0, 0, 6000, 6300);
  Place(lblHeading, 120, 120, 5640, 735, heading);
  Place(lblCorner, 120, 960, 2400, 255, "Upper-Left Corner:");
  const std::pair<host::ui::Label*, const char*> labels[] = {
      {&lblX, "X:"},
      {&lblY, "Y:"},
      {&lblGridHeight, "Grid Height:"},
      {&lblGridWidth, "Grid Width:"},
      {&lblTileHeight, "Tile Height:"},
      {&lblTileWidth, "Tile Width:"},
      {&lblNoVertical, "No. of Vertical Tiles:"},
      {&lblNoHorizontal, "No. of Horizontal Tiles:"},
      {&lblTotalTiles, "Total Number of Tiles:"}};
  host::ui::TextBox* boxes[] = {&txtX,          &txtY,         &txtGridHeight,  &txtGridWidth,  &txtTileHeight,
                                &txtTileWidth, &txtNoVertical, &txtNoHorizontal, &txtTotalTiles};
  for (int i = 0; i < 9; ++i) {
    long top = 1260 + i * 420;
    Place(*labels[i].first, 240, top + 30, 2400, 255, labels[i].second);
    boxes[i]->Move(2760, top, 2400, 315);
    boxes[i]->SetLocked(true);
  }
  Place(btnBack, 1800, 5280, 1215, 375, "Back");
  Place(btnNext, 3120, 5280, 1215, 375, "Next");
  btnNext.SetDefault(true);
  btnCancel.SetCancel(true);  // Escape cancels
  Place(btnCancel, 4440, 5280, 1215, 375, "Cancel");
}

}  // namespace mapbooks
