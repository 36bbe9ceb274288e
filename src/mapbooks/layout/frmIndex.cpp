// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/layout/frmIndex.h"

#include <memory>

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/page_layout.h"
#include "host/ui/boxes.h"
#include "host/vb/convert.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/layout/LocationIndex.h"

namespace mapbooks {

namespace vb = host::vb;
namespace geo = host::geodata;
namespace carto = host::carto;
namespace arc = ZelvneGIS_ArcMap;
using host::ui::MsgBox;

namespace {
constexpr const char* kModule = "frmIndex";

void pointer(int p) { host::ui::Screen::Instance().SetMousePointer(p); }

host::app::StepProgressor& progressor() {
  if (!State().Application) vb::raise(vb::err::ObjectNotSet);
  return State().Application->GetStatusBar().GetProgressBar();
}

carto::Document& document() {
  if (!State().Document) vb::raise(vb::err::ObjectNotSet);
  return *State().Document;
}
}  // namespace

frmIndex::frmIndex() : Form("frmIndex") {
  cboMapLayers.Click = [this] { cboMapLayers_Click(); };
  cboSearchLayers.Click = [this] { cboSearchLayers_Click(); };
  btnNext.Click = [this] { btnNext_Click(); };
  btnCancel.Click = [this] { btnCancel_Click(); };
}

void frmIndex::Design() {
  SetCaption("ZelvaneMapbooks - Build Location Index");
  Move(0, 0, 6120, 6360);
  Place(Frame1, 120, 120, 5760, 5040, "Build a location index");
  Place(Frame2, 120, 300, 5520, 2940, "Layers");
  Place(lblSearchHint, 120, 300, 5280, 255, "Find all features in layer (street layer) ...");
  Place(lblSearchLayers, 240, 660, 1200, 255, "Search Layer:");
  cboSearchLayers.Move(1440, 630, 3960, 315);
  Place(lblSearchLayerFields, 240, 1080, 1200, 255, "Label field:");
  cboSearchLayerFields.Move(1440, 1050, 3960, 315);
  Place(lblGridHint, 120, 1620, 5280, 255, "That are within features from layer (grid layer) ...");
  Place(lblMapLayers, 240, 1980, 1200, 255, "Grid Layer:");
  cboMapLayers.Move(1440, 1950, 3960, 315);
  Place(lblLayerFields, 240, 2400, 1200, 255, "Label field:");
  cboLayerFields.Move(1440, 2370, 3960, 315);
  Place(Frame3, 120, 3360, 5520, 1560, "Output format");
  Place(optText, 240, 300, 1800, 255, "Text file");
  optText.SetValue(true);
  Place(optTable, 240, 660, 1800, 255, "Text table");
  Place(optElement, 240, 1020, 1800, 255, "Map element");
  Place(lblNum, 2400, 1020, 1800, 255, "Number of columns:");
  txtNum.Move(4320, 990, 840, 315);
  txtNum.SetText("1");
  Place(btnNext, 3360, 5400, 1215, 375, "Next");
  btnNext.SetDefault(true);
  btnCancel.SetCancel(true);  // Escape cancels
  Place(btnCancel, 4680, 5400, 1215, 375, "Cancel");
  lstOut.Move(120, 5400, 3000, 375);
  lstOut.SetSorted(true);
  lstOut.SetVisible(false);
}

void frmIndex::GuardPointer(const char* procedure, const std::function<void()>& body) {
  ErrorHandling::GuardWith(body, [&](const vb::Error& e) {
    pointer(host::ui::vbDefault);
    ErrorHandling::Report(procedure, kModule, e);
  });
}

void frmIndex::Form_Load() {
  GuardPointer("Form_Load", [&] {
    pointer(host::ui::vbHourglass);
    arc::LoadComboWithLayers(cboMapLayers);
    arc::LoadComboWithLayers(cboSearchLayers);
    const std::string& grid = State().Config[ActiveLayerName];
    const std::vector<std::string> layers = cboMapLayers.Items();
    for (const std::string& name : layers) {
      if (name != grid) continue;
      cboMapLayers.SetText(name);
      arc::LoadComboWithFields(name, cboLayerFields, true);
      long label = cboLayerFields.FindItem("MB_Label", false);
      if (label >= 0) cboLayerFields.SetText(cboLayerFields.List(label));
    }
    pointer(host::ui::vbDefault);
  });
}

void frmIndex::cboMapLayers_Click() {
  ErrorHandling::Guard("cboMapLayers_Click", kModule,
                       [&] { arc::LoadComboWithFields(cboMapLayers.Text(), cboLayerFields, true); });
}

void frmIndex::cboSearchLayers_Click() {
  ErrorHandling::Guard("cboSearchLayers_Click", kModule,
                       [&] { arc::LoadComboWithFields(cboSearchLayers.Text(), cboSearchLayerFields, true); });
}

void frmIndex::btnCancel_Click() {
  ErrorHandling::Guard("btnCancel_Click", kModule, [&] { Unload(); });
}

void frmIndex::btnNext_Click() {
  ErrorHandling::GuardWith(
      [&] {
        lstOut.Clear();
        if (!vb::IsNumeric(txtNum.Text())) {
          MsgBox("Please enter a numeric value for the column number");
          return;
        }
        const int16_t columns = vb::CInt(txtNum.Text());
        if (columns < 1) {
          MsgBox("Column number must be greate than 0");
          return;
        }
        const std::string grid_field = cboLayerFields.Text();
        const std::string search_field = cboSearchLayerFields.Text();
        arc::FeatureLayerPtr grid = arc::GetLayerByName(cboMapLayers.Text());
        arc::FeatureLayerPtr search = arc::GetLayerByName(cboSearchLayers.Text());
        if (vb::Trim(grid_field).empty()) {
          MsgBox("Please select a label field from the grid layer");
          return;
        }
        if (vb::Trim(search_field).empty()) {
          MsgBox("Please select a label field from the search layer");
          return;
        }
        if (!grid) {
          MsgBox("Can't find grid layer: " + cboMapLayers.Text());
          return;
        }
        if (!grid->MapFeatures()) vb::raise(vb::err::ObjectNotSet);
        if (grid->MapFeatures()->FindField(grid_field) < 0) {
          MsgBox("Can't find field: " + grid_field);
          return;
        }
        if (!search) {
          MsgBox("Can't find search layer: " + cboSearchLayers.Text());
          return;
        }
        if (!search->MapFeatures()) vb::raise(vb::err::ObjectNotSet);
        if (search->MapFeatures()->FindField(search_field) < 0) {
          MsgBox("Can't find field: " + search_field);
          return;
        }
        if (grid->ShapeType() != geo::GeometryType::Polygon) {
          MsgBox("Grid layer must be of type Polygon");
          return;
        }

        pointer(host::ui::vbHourglass);
        host::app::StepProgressor& p = progressor();
        p.SetMinRange(1);
        p.SetMaxRange(long(grid->MapFeatures()->RowCount()));
        p.SetStepValue(1);
        p.SetPosition(1);
        p.SetMessage("Building index...");
        p.Step();
        p.Show();

        LocationIndex index =
            BuildLocationIndex(*grid, grid_field, *search->MapFeatures(), search_field, [&] { p.Step(); });
        // Added in the list's own order, each line lands at the end: no shuffling of a long list.
        for (const std::string& line : SortedAsList(index.IndexLines())) lstOut.AddItem(line);

        std::vector<Output> outputs;
        if (optText.Value()) outputs.push_back({"LocationText.txt", lstOut.Items(), "Created text file: "});
        if (optTable.Value()) outputs.push_back({"LocationTable.txt", index.TableLines(), "Created tab-delimited table: "});
        WriteOutputs(outputs);
        if (optElement.Value()) AddMapElements(columns);

        p.Hide();
        pointer(host::ui::vbDefault);
      },
      [&](const vb::Error& e) {
        pointer(host::ui::vbDefault);
        ErrorHandling::IgnoreErrors([] { progressor().Hide(); });
        ErrorHandling::Report("btnNext_Click", kModule, e);
      });
}

void frmIndex::WriteOutputs(const std::vector<Output>& outputs) {
  // Every file is written whole beside the old one before any replaces its old one, so
  // that a full disk or a refused file leaves the files as they were.
  std::vector<std::unique_ptr<host::win::WholeFile>> files;
  for (const Output& o : outputs) {
    const std::string path = State().ProgramFolder + o.fileName;
    std::string bytes;
    for (const std::string& line : o.lines) bytes += line + "\r\n";
    files.push_back(std::make_unique<host::win::WholeFile>(host::win::NativePath(path), path,
                                                           host::win::kRefuseReadOnly));
    files.back()->Write(bytes);
  }
  for (auto& f : files) f->Commit();
  for (size_t i = 0; i < outputs.size(); ++i) MsgBox(outputs[i].message + "\r\n" + files[i]->ShownName());
}

void frmIndex::AddMapElements(int16_t columns) {
  carto::Document& doc = document();
  const long lines = lstOut.ListCount();
  const long rows = (lines + columns - 1) / columns;
  carto::PageLayout& layout = doc.PageLayout();
  const double height = layout.Page().PrintableBounds().Height();
  for (long k = 1; k <= columns; ++k) {
    auto element = std::make_shared<carto::TextElement>();
    carto::TextSymbol symbol;
    carto::Font font;
    font.Name = "Arial";
    font.Size = 6;
    font.Bold = true;
    symbol.SetFont(font);
    symbol.SetHorizontalAlignment(carto::HorizontalAlignment::Left);
    element->SetSymbol(symbol);
    element->SetGeometry(geo::Point{double(2 * k - 1), height - 2.5});
    layout.AddElement(element, 0);
    std::string text;
    for (long i = (k - 1) * rows; i < k * rows && i < lines; ++i) text += "\r\n" + lstOut.List(i);
    element->SetText(text);
    doc.ActiveView().PartialRefresh(carto::ViewDrawPhase::Graphics);
  }
}

}  // namespace mapbooks
