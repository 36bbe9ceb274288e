// SPDX-License-Identifier: GPL-3.0-or-later
// The Layout tab: keyword text elements, the layout data frames and the location index.

#include <memory>
#include <string>

#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/carto/symbols.h"
#include "host/ui/boxes.h"
#include "host/vb/error.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/layout/frmIndex.h"
#include "mapbooks/mainwindow/frmMain.h"

namespace mapbooks {

namespace vb = host::vb;
namespace geo = host::geodata;
namespace carto = host::carto;
using ErrorHandling::Guard;
using host::ui::MsgBox;

namespace {
constexpr const char* kModule = "frmMain";

carto::Document& document() {
  if (!State().Document) vb::raise(vb::err::ObjectNotSet);
  return *State().Document;
}

carto::RgbColor GetRGBColor(int red, int green, int blue) {
  carto::RgbColor color;
  color.SetRed(red);
  color.SetBlue(blue);
  color.SetGreen(green);
  color.SetUseWindowsDithering(true);
  return color;
}

// Elements go on the page only in layout view; false (after the message) in data view.
bool LayoutViewShown(carto::Document& doc) {
  if (doc.ActiveView().IsPageLayout()) return true;
  MsgBox("Please switch to Layout view before adding map elements.");
  return false;
}

void AddKeywordText(const char* procedure, const char* keyword, double xmin, double ymin, double xmax, double ymax) {
  Guard(procedure, kModule, [&] {
    carto::Document& doc = document();
    if (!LayoutViewShown(doc)) return;
    geo::Envelope place;
    place.PutCoords(xmin, ymin, xmax, ymax);
    carto::PageLayout& layout = doc.PageLayout();
    auto element = std::make_shared<carto::TextElement>();
    carto::TextSymbol symbol;
    carto::Font font;
    font.Name = "Arial";
    font.Size = 10;
    font.Bold = true;
    symbol.SetHorizontalAlignment(carto::HorizontalAlignment::Left);
    symbol.SetFont(font);
    element->SetSymbol(symbol);
    element->SetText(keyword);
    element->SetGeometry(place);
    layout.AddElement(element, 0);
    doc.ActiveView().PartialRefresh(carto::ViewDrawPhase::Graphics);
  });
}

// ---- What the three data-frame buttons share ----

bool AnyMapNamed(const carto::Document& doc, const std::string& name) {
  for (const auto& map : doc.Maps())
    if (map->Name() == name) return true;
  return false;
}

// A frame that is not on the page and only carries the map named as the primary data
// frame box (the last of that name); null when no map has that name.
std::shared_ptr<carto::MapFrame> MainFrameHolder(const carto::Document& doc, const std::string& name) {
  auto holder = std::make_shared<carto::MapFrame>();
  bool found = false;
  for (const auto& map : doc.Maps()) {
    if (map->Name() != name) continue;
    holder->SetMap(map);
    found = true;
  }
  return found ? holder : nullptr;
}

bool AskCreateAnother(const std::string& name) {
  return MsgBox("Data frame: " + name + " already exists.  Create another?", host::ui::vbYesNo) == host::ui::vbYes;
}

bool AskGridLayer(const std::string& secondLine) {
  return MsgBox("Current grid layer is: " + State().Config[ActiveLayerName] + "\r\n" + secondLine,
                host::ui::vbYesNo) == host::ui::vbYes;
}

constexpr const char* kAddedToFrame = "This will be added to the new frame. Continue?";

std::shared_ptr<carto::MapFrame> NewFrame(const std::string& name, double xmin, double ymin, double xmax,
                                          double ymax) {
  auto map = std::make_shared<carto::Map>(name);
  auto frame = std::make_shared<carto::MapFrame>();
  frame->SetMap(map);
  geo::Envelope place;
  place.PutCoords(xmin, ymin, xmax, ymax);
  frame->SetGeometry(place);
  return frame;
}

void SetBorder(carto::MapFrame& frame, long color, double width) {
  frame.SetBorder(modTolmirex::fMakeSymbolBorder(color, width));
}

// Puts the frame on the page and makes its map the focus map; gives back the view that
// was active (the layout), for the refreshes at the end.
carto::ActiveView& PlaceAndFocus(carto::Document& doc, const std::shared_ptr<carto::MapFrame>& frame) {
  doc.PageLayout().AddElement(frame, 0);
  carto::ActiveView& view = doc.ActiveView();
  if (view.IsPageLayout())
    view.SetFocusMap(frame->Map());
  else
    doc.SetActiveView(*frame->Map());
  view.Refresh();
  doc.CurrentContentsView().Refresh();
  return view;
}

void AddToLists(frmMain& main, const std::string& name, bool selected) {
  main.lstDataFrames.AddItem(name);
  if (selected) main.lstDataFrames.SetSelected(main.lstDataFrames.ListCount() - 1, true);
  main.cboDataFrames.AddItem(name);
}

// A hollow copy of the grid layer in the focus map.
void AddGridCopy(carto::Document& doc) {
  const SharedState& s = State();
  std::shared_ptr<carto::Layer> copy = carto::ObjectCopier().Copy(std::shared_ptr<carto::Layer>(s.ActiveLayer));
  copy->SetName(s.Config[ActiveLayerName]);
  doc.FocusMap()->AddLayer(copy);
  modTolmirex::fMakeTransparentFillColor2(s.Config[ActiveLayerName]);
  doc.ActiveView().Refresh();
  doc.CurrentContentsView().Refresh();
}

// A red outline of what the main data frame shows.
void AddLocator(carto::MapFrame& frame, const std::shared_ptr<carto::MapFrame>& holder) {
  carto::LocatorRectangle locator;
  locator.SetMapFrame(holder);
  frame.AddLocatorRectangle(locator);
  for (int i = 0; i < frame.LocatorRectangleCount(); ++i)
    frame.LocatorRectangle(i).SetBorder(modTolmirex::fMakeSymbolBorder(carto::RGB(255, 0, 0), 4.0));
}

// The first layer of the focus map named exactly as the grid layer.
std::shared_ptr<carto::FeatureLayer> GridCopyOf(const carto::Map& map) {
  const std::string& name = State().Config[ActiveLayerName];
  for (int i = 0; i < map.LayerCount(); ++i) {
    std::shared_ptr<carto::Layer> layer = map.Layer(i);
    if (layer->Name() != name) continue;
    auto feature_layer = std::dynamic_pointer_cast<carto::FeatureLayer>(layer);
    if (!feature_layer) vb::raise(vb::err::TypeMismatch);
    return feature_layer;
  }
  vb::raise(vb::err::ObjectNotSet);
}

// The frame's envelope with the proportions width : height and a long side of side.
void FitFrame(carto::MapFrame& frame, double x, double y, double side, double width, double height) {
  double frame_width = side, frame_height = side;
  if (width > height) frame_height = side * height / width;
  if (height > width) frame_width = side * width / height;
  geo::Envelope place;
  place.PutCoords(x, y, x + frame_width, y + frame_height);
  frame.SetGeometry(place);
}

// The focus map zoomed to the first page of the Search list, when it has one.
void ZoomToFirstPage(frmMain& main) {
  if (main.cboNavIndex.ListCount() < 1) return;
  const SharedState& s = State();
  if (!s.ActiveLayer) vb::raise(vb::err::ObjectNotSet);
  std::string value = main.cboNavIndex.List(0);
  modTolmirex::fZoomToFieldValue(*s.ActiveLayer, s.Config[SearchField], value);
}

void LabelGridCopy(carto::Document& doc, double size) {
  std::shared_ptr<carto::FeatureLayer> layer = GridCopyOf(*doc.FocusMap());
  carto::LabelProperties& labels = layer->AnnotationProperties().QueryItem(0);
  labels.SetExpression("[" + State().Config[SearchField] + "]");
  carto::TextSymbol symbol;
  symbol.SetColor(GetRGBColor(0, 0, 0));
  symbol.SetSize(size);
  labels.SetSymbol(symbol);
  layer->SetDisplayAnnotation(true);
}

// The host's code for feet, given to every new frame's map.
constexpr int kFeet = 3;

}  // namespace

void frmMain::Command2_Click() { AddKeywordText("Command2_Click", "MBDATE", 0.25, 3.0, 1.0, 3.75); }
void frmMain::Command4_Click() { AddKeywordText("Command4_Click", "MBTIME", 1.25, 3.0, 2.0, 3.75); }
void frmMain::Command5_Click() { AddKeywordText("Command5_Click", "MBTYPE", 2.25, 3.0, 3.0, 3.75); }
void frmMain::Command3_Click() { AddKeywordText("Command3_Click", "MBDPI", 3.25, 3.0, 4.0, 3.75); }

void frmMain::btnAddIndex_Click() {
  Guard("btnAddIndex_Click", kModule, [&] {
    const char* name = "Mapbook_Index";
    carto::Document& doc = document();
    if (!LayoutViewShown(doc)) return;
    std::shared_ptr<carto::MapFrame> holder = MainFrameHolder(doc, cboDataFrames.Text());
    if (!holder) {
      MsgBox("Must have a data frame called Mapbook_Main before creating the Locator and Index maps.");
      return;
    }
    if (AnyMapNamed(doc, name) && !AskCreateAnother(name)) return;
    if (!AskGridLayer(kAddedToFrame)) return;
    std::shared_ptr<carto::MapFrame> frame = NewFrame(name, 3.5, 0.5, 4.5, 1.5);
    SetBorder(*frame, carto::RGB(0, 0, 0), 2.0);
    carto::ActiveView& view = PlaceAndFocus(doc, frame);
    AddToLists(*this, name, true);
    AddGridCopy(doc);
    AddLocator(*frame, holder);
    // The frame takes the proportions of the first tile.
    std::optional<geo::Feature> tile = GridCopyOf(*doc.FocusMap())->Search().NextFeature();
    if (!tile) vb::raise(vb::err::ObjectNotSet);
    const double h = tile->Extent().Height(), w = tile->Extent().Width();
    doc.FocusMap()->SetDistanceUnits(kFeet);
    FitFrame(*frame, 3.5, 0.5, 1.5, w, h);
    ZoomToFirstPage(*this);
    doc.FocusMap()->SetMapScale(doc.FocusMap()->MapScale() * 3.0);
    frame->SetExtentType(1);
    frame->SetAutoTransform(true);
    doc.ActiveView().Refresh();
    LabelGridCopy(doc, 18);
    view.Refresh();
  });
}

void frmMain::btnAddLocator_Click() {
  Guard("btnAddLocator_Click", kModule, [&] {
    const char* name = "Mapbook_Overview";
    carto::Document& doc = document();
    if (!LayoutViewShown(doc)) return;
    std::shared_ptr<carto::MapFrame> holder = MainFrameHolder(doc, cboDataFrames.Text());
    if (!holder) {
      MsgBox("Can't find data frame: " + cboDataFrames.Text());
      return;
    }
    if (AnyMapNamed(doc, name) && !AskCreateAnother(name)) return;
    if (!AskGridLayer(kAddedToFrame)) return;
    std::shared_ptr<carto::MapFrame> frame = NewFrame(name, 0.5, 0.5, 2.5, 2.5);
    SetBorder(*frame, carto::RGB(0, 0, 0), 2.0);
    PlaceAndFocus(doc, frame);
    AddToLists(*this, name, false);
    AddGridCopy(doc);
    AddLocator(*frame, holder);
    // The frame takes the proportions of the whole grid.
    geo::Envelope grid = GridCopyOf(*doc.FocusMap())->AreaOfInterest();
    const double h = grid.Height(), w = grid.Width();
    doc.FocusMap()->SetDistanceUnits(kFeet);
    FitFrame(*frame, 0.5, 0.5, 2.0, w, h);
    frame->SetExtentType(1);
    frame->SetAutoTransform(true);
  });
}

void frmMain::btnMapNumber_Click() {
  Guard("btnMapNumber_Click", kModule, [&] {
    const char* name = "Mapbook_Number";
    carto::Document& doc = document();
    if (!LayoutViewShown(doc)) return;
    if (!AskGridLayer("A field from this layer will be used as the map number or label. Continue?")) return;
    if (AnyMapNamed(doc, name) && !AskCreateAnother(name)) return;
    std::shared_ptr<carto::MapFrame> frame = NewFrame(name, 6.5, 0.5, 7.5, 1.5);
    carto::ActiveView& view = PlaceAndFocus(doc, frame);
    AddToLists(*this, name, true);
    AddGridCopy(doc);
    ZoomToFirstPage(*this);
    doc.FocusMap()->SetDistanceUnits(kFeet);
    doc.FocusMap()->SetMapScale(doc.FocusMap()->MapScale() / 10.0);
    frame->SetExtentType(1);
    SetBorder(*frame, carto::RGB(255, 255, 255), 0.0);
    frame->SetAutoTransform(true);
    LabelGridCopy(doc, 26);
    view.Refresh();
  });
}

void frmMain::btnIndex_Click() {
  Guard("btnIndex_Click", kModule, [&] {
    carto::Document& doc = document();
    doc.SetActiveView(doc.PageLayout());
    doc.ActiveView().Refresh();
    doc.PageLayout().SetFocusMap(doc.Map(State().PrimaryDataFrameIndex));
    host::ui::ShowModalNew<frmIndex>();
  });
}

}  // namespace mapbooks
