#include "mapbooks/gridwizard/GridSummaryPage.h"

namespace mapbooks {

void GridSummaryPage::DesignSummary(const std::string& caption, const std::string& heading) {
  SetCaption(caption);
  Move(0, 0, 6000, 6300);
  lblHeading.Move(120, 120, 5640, 735);
  lblHeading.SetCaption(heading);
  lblCorner.Move(120, 960, 2400, 255);
  lblCorner.SetCaption("Upper-Left Corner:");
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
    labels[i].first->Move(240, top + 30, 2400, 255);
    labels[i].first->SetCaption(labels[i].second);
    boxes[i]->Move(2760, top, 2400, 315);
    boxes[i]->SetLocked(true);
  }
  btnBack.Move(1800, 5280, 1215, 375);
  btnBack.SetCaption("Back");
  btnNext.Move(3120, 5280, 1215, 375);
  btnNext.SetCaption("Next");
  btnNext.SetDefault(true);
  btnCancel.Move(4440, 5280, 1215, 375);
  btnCancel.SetCaption("Cancel");
}

}  // namespace mapbooks
