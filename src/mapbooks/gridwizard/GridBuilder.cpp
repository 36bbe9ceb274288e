// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/gridwizard/GridBuilder.h"

#include <algorithm>

#include "host/app/application.h"
#include "host/geodata/workspace.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/ControlUtilities.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvaneGIS_IO.h"
#include "mapbooks/gridwizard/GridSummaryPage.h"

namespace mapbooks {

namespace vb = host::vb;
namespace geo = host::geodata;
namespace ui = host::ui;

namespace {
// What a grid of that name may have beside it; its .lyr is the user's and stays.
const std::vector<std::string> kGridFiles = {".dbf", ".shp", ".shx", ".prj", ".cpg", ".sbn", ".sbx"};
}  // namespace

void WriteGridShapefile(const std::filesystem::path& folder, const std::string& name, const GridTiles& tiles,
                        host::app::StepProgressor& progressor, const std::string& shownName) {
  // The new grid is written whole beside the old one, which stays until it is done.
  host::win::WholeFileSet set(folder, name, kGridFiles, shownName);
  auto workspace = geo::ShapefileWorkspaceFactory().OpenFromFile(set.TempFolder().string());
  geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Polygon, geo::SpatialReference::Unknown()),
                       geo::Field("MB_Index", geo::FieldType::Integer, 12),
                       geo::Field("MB_Row", geo::FieldType::String, 12),
                       geo::Field("MB_Column", geo::FieldType::String, 12),
                       geo::Field("MB_Label", geo::FieldType::String, 24)};
  auto grid = workspace->CreateFeatureClass(name, fields);
  const int index_field = grid->FindField("MB_Index"), row_field = grid->FindField("MB_Row");
  const int column_field = grid->FindField("MB_Column"), label_field = grid->FindField("MB_Label");
  progressor.Step();
  const double W = tiles.width, H = tiles.height, X = tiles.x, Y = tiles.y;
  const int16_t rows = vb::CInt(double(tiles.rows)), columns = vb::CInt(double(tiles.columns));
  // The bar is stepped a few hundred times whatever the grid: a step per tile would
  // repaint the status bar for every one of ten thousand tiles. The last tile steps it.
  const long every = std::max(1L, long(rows) * long(columns) / 400);
  long unstepped = 0;
  for (int16_t r = 1; r <= rows && r > 0; ++r) {
    const std::string row_text = ControlUtilities::RowLetters(r);
    for (int16_t c = 1; c <= columns && c > 0; ++c) {
      if (++unstepped == every || (r == rows && c == columns)) {
        progressor.StepBy(unstepped);
        unstepped = 0;
      }
      double x0 = ((c - 1) * W) + X;
      double x1 = x0 + W;
      double y0 = Y - ((r - 1) * H);
      double y1 = y0 - H;
      geo::Feature tile = grid->CreateFeature();
      geo::Geometry ring = geo::Geometry::MakePolygon(std::vector<geo::Point>{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
      std::string column_text = std::to_string(c);
      tile.SetValue(row_field, row_text);
      tile.SetValue(column_field, column_text);
      tile.SetValue(label_field, row_text + column_text);
      tile.SetValue(index_field, int64_t(vb::CLng(double(tile.OID()) + 1)));
      tile.SetShape(std::move(ring));
      tile.Store();
      if (c == INT16_MAX) break;
    }
    if (r == INT16_MAX) break;
  }
  grid->Flush();
  // The writer lets go of the files before they are put in place.
  grid.reset();
  workspace.reset();
  geo::ShapefileWorkspace::ClearCache();
  set.Commit();
}

void BuildGridShapefile(GridSummaryPage& page, double X, double Y, int32_t HorizontalNumber,
                        int32_t VerticalNumber) {
  SharedState& s = State();
  const std::string path = s.GridsFolder + "\\";
  std::string name;
  bool go = false;
  ErrorHandling::Guard("btnNext_Click", page.Name().c_str(), [&] {
    name = ui::InputBox("Please enter a name for the new grid: ");
    if (vb::Trim(name).empty()) {
      ui::MsgBox("Name cannot be blank!");
      return;
    }
    // Checked before anything is asked or touched: a name must not reach outside the folder.
    if (!ZelvaneGIS_IO::fIsUsableName(name, false)) return;
    if (ZelvaneGIS_IO::fDoesFileExist(path + name + ".shp") &&
        ui::MsgBox("Grid already exists:\r\n" + path + name + ".shp\r\nWould you like to overwrite?", ui::vbYesNo) ==
            ui::vbNo)
      return;
    go = true;
  });
  if (!go) return;
  ui::Screen::Instance().SetMousePointer(ui::vbHourglass);
  host::app::StepProgressor* progressor = nullptr;
  ErrorHandling::GuardWith(
      [&] {
        progressor = &s.Application->GetStatusBar().GetProgressBar();
        int32_t total = vb::CLng(vb::CDbl(page.txtNoHorizontal.Text()) * vb::CDbl(page.txtNoVertical.Text()));
        const std::string total_text = std::to_string(total);
        const std::pair<int32_t, std::string> warnings[] = {
            {299, "Grid creation will take about one minute to process"},
            {799, "Grid creation will take a few minutes to process"},
            {1999, "Creating a grid with " + total_text +
                       " tiles will take some time to process.  You may want to do this over your lunch break :)"},
            {9999, "Creating a grid with " + total_text +
                       " tiles will take a long time to process.  You may want to do this over night :)"}};
        for (const auto& [limit, text] : warnings) {
          if (total > limit && ui::MsgBox(text, ui::vbOKCancel) == ui::vbCancel) {
            ui::Screen::Instance().SetMousePointer(ui::vbDefault);
            return;
          }
        }
        progressor->Show();
        progressor->SetMinRange(1);
        progressor->SetMaxRange(total);
        progressor->SetStepValue(1);
        progressor->SetMessage("Creating new grid...");
        progressor->Show();
        auto [W, H] = page.TileSize();
        WriteGridShapefile(host::win::NativePath(s.GridsFolder), name, {X, Y, W, H, VerticalNumber, HorizontalNumber},
                           *progressor, path + name);
        page.Hide();
        page.Unload();
        s.MainWindow->RefreshGridList();
        ui::Screen::Instance().SetMousePointer(ui::vbDefault);
        progressor->Hide();
        ui::MsgBox("New grid created successfully.\r\nClick <Add Grid To Active Data Frame> to include in project.");
      },
      [&](const vb::Error& e) {
        if (progressor) progressor->Hide();
        ui::Screen::Instance().SetMousePointer(ui::vbDefault);
        ErrorHandling::Report("btnNext_Click", page.Name(), e);
      });
}

}  // namespace mapbooks
