// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/modTolmirex.h"

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/document_file.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/render/page_tiling.h"
#include "host/render/printer.h"
#include "host/render/view_drawing.h"
#include "host/vb/convert.h"
#include "host/ui/boxes.h"
#include "host/vb/text.h"
#include "host/win/fso.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/ZelvneGIS_ArcMap.h"
#include "mapbooks/common/ErrorHandling.h"

namespace mapbooks::modTolmirex {

namespace {
constexpr const char* kModule = "modTolmirex";
}

void fCopyFile(const std::string& source, const std::string& target) {
  ErrorHandling::Guard("fCopyFile", kModule, [&] {
    host::win::FileSystemObject fso;
    if (fso.FileExists(source) && !fso.FileExists(target)) fso.CopyOneFile(source, target, false);
  });
}

bool fCreateDirectory(const std::string& path) {
  bool result = false;
  ErrorHandling::Guard("fCreateDirectory", kModule, [&] {
    host::win::FileSystemObject().CreateFolder(path);
    result = true;
  });
  return result;
}

namespace {
namespace vb = host::vb;
namespace carto = host::carto;
namespace geo = host::geodata;

carto::Document& shared_document() {
  if (!State().Document) vb::raise(vb::err::ObjectNotSet);
  return *State().Document;
}

// The running application's document, reached through an application reference of its own.
carto::Document& running_document() { return host::app::AppRef().GetApplication().GetDocument(); }

carto::SimpleRenderer hollow_renderer() {
  carto::RgbColor color;
  color.SetTransparency(0);
  return carto::SimpleRenderer(carto::SimpleFillSymbol(color));
}

carto::ActiveView& zoom_view(carto::Document& doc) {
  carto::ActiveView* view = &doc.ActiveView();
  if (view->IsPageLayout()) view = view->FocusMap().get();
  return *view;
}
}  // namespace

void fAddLayerFile(const std::string& path) {
  std::shared_ptr<carto::Layer> layer = carto::LoadLayerFile(path);
  shared_document().FocusMap()->AddLayer(layer);
}

bool fIsData() {
  bool result = false;
  ErrorHandling::Guard("fIsData", kModule, [&] {
    carto::Document& doc = running_document();
    for (int i = 0; i < doc.MapCount(); ++i)
      if (doc.Map(i)->LayerCount() > 0) result = true;
  });
  return result;
}

void fAddShapeFile(const std::string& folder, const std::string& name) {
  ErrorHandling::Guard("fAddShapeFile", kModule, [&] {
    auto workspace = geo::ShapefileWorkspaceFactory().OpenFromFile(folder);
    auto featureClass = workspace->OpenFeatureClass(name);
    auto layer = std::make_shared<carto::FeatureLayer>();
    layer->SetFeatureClass(featureClass);
    layer->SetName(featureClass->AliasName());
    running_document().FocusMap()->AddLayer(layer);
  });
}

void fMakeTransparentFillColor(const std::string& layerName) {
  ErrorHandling::Guard("fMakeTransparentFillColor", kModule, [&] {
    auto layer = ZelvneGIS_ArcMap::GetLayerByName(layerName);
    if (!layer) vb::raise(vb::err::ObjectNotSet);
    layer->SetRenderer(hollow_renderer());
    carto::Document& doc = shared_document();
    doc.ActiveView().Refresh();
    doc.CurrentContentsView().Refresh();
  });
}

void fMakeTransparentFillColor2(const std::string& layerName) {
  ErrorHandling::Guard("fMakeTransparentFillColor2", kModule, [&] {
    carto::Document& doc = running_document();
    std::shared_ptr<carto::Layer> found;
    for (const auto& layer : doc.FocusMap()->Layers())
      if (vb::SameText(layer->Name(), layerName)) found = layer;
    if (!found) {
      host::ui::MsgBox(layerName + " not found in focus map");
      return;
    }
    auto* feature_layer = dynamic_cast<carto::FeatureLayer*>(found.get());
    if (!feature_layer) vb::raise(vb::err::TypeMismatch);
    feature_layer->SetRenderer(hollow_renderer());
    doc.ActiveView().Refresh();
    doc.CurrentContentsView().Refresh();
  });
}

carto::PixelRect PrinterDeviceFrame(const geo::Envelope& device, bool emfPrinter) {
  carto::PixelRect frame{vb::CLng(device.XMin()), vb::CLng(device.YMin()), vb::CLng(device.XMax()),
                         vb::CLng(device.YMax())};
  if (emfPrinter) {
    frame.right -= frame.left;
    frame.bottom -= frame.top;
    frame.left = 0;
    frame.top = 0;
  }
  return frame;
}

void fPrint() {
  ErrorHandling::Guard("fPrint", kModule, [&] {
    namespace render = host::render;
    host::app::AppRef ref;
    carto::Document& doc = ref.GetApplication().GetDocument();
    carto::PageLayout* layout = doc.ActiveView().AsPageLayout();
    if (!layout) vb::raise(vb::err::TypeMismatch);
    const carto::Page& page = layout->Page();
    std::shared_ptr<render::Printer> printer = render::CurrentPrinter();
    render::SetJobDocument(doc.Title());
    render::LayoutPage mapping{page.Width(), page.Height(), render::PageToPrinterMapping::Tile};
    int16_t count = vb::CInt(double(render::PrinterPageCount(mapping, *printer, 0.0)));
    for (int32_t p = 1; p <= count; ++p) {
      int16_t res = vb::CInt(printer->Resolution());
      carto::PixelRect frame = PrinterDeviceFrame(render::GetDeviceBounds(mapping, *printer, int(p), 0.0, res),
                                                  render::IsEmfPrinter(*printer));
      geo::Envelope shown = render::GetPageBounds(mapping, *printer, int(p), 0.0);
      double width = 0, height = 0;
      printer->QueryPaperSize(width, height);
      geo::Envelope paper;
      paper.PutCoords(0, 0, res * width, res * height);
      long hdc = printer->StartPrinting(paper, 0);
      render::Output(*layout, hdc, res, frame, &shown);
      printer->FinishPrinting();
    }
  });
}

// No handler of its own: a failure, a value without a feature included, goes to the
// caller's report.
void fZoomToFieldValue(const carto::FeatureLayer& featureLayer, const std::string& fieldName, std::string& value) {
  carto::Document& doc = shared_document();
  carto::ActiveView& view = zoom_view(doc);
  const std::shared_ptr<geo::Table> featureClass = featureLayer.MapFeatures();
  if (!featureClass) vb::raise(vb::err::ObjectNotSet);
  for (const geo::Field& f : featureClass->Fields()) {
    if (!vb::SameText(f.Name(), fieldName)) continue;
    if (f.Type() == geo::FieldType::String) {
      // Quotes inside are doubled, so a value with an apostrophe is found too.
      value = "'" + vb::Replace(value, "'", "''") + "'";
    } else if (f.Type() == geo::FieldType::Date) {
      host::ui::MsgBox("Sorry, Date queries are not supported.");
      return;
    }
  }
  geo::SelectionSet selection = featureClass->Select(geo::QueryFilter(fieldName + " = " + value));
  geo::FeatureCursor cursor = selection.Search();
  auto first = cursor.NextFeature();
  if (!first) vb::raise(vb::err::ObjectNotSet);
  geo::Envelope box;
  geo::Envelope e = first->Extent();
  if (e.Width() == 0 && e.Height() == 0) {
    double xmin = e.XMin(), ymin = e.YMin(), xmax = e.XMax(), ymax = e.YMax();
    int count = 0;
    cursor.Reset();
    while (auto f = cursor.NextFeature()) {
      geo::Envelope fe = f->Extent();
      xmin = std::min(xmin, fe.XMin());
      ymin = std::min(ymin, fe.YMin());
      xmax = std::max(xmax, fe.XMax());
      ymax = std::max(ymax, fe.YMax());
      ++count;
    }
    if (count < 2) {
      xmin -= 100;
      ymin -= 100;
      xmax += 100;
      ymax += 100;
    }
    box.PutCoords(xmin, ymin, xmax, ymax);
  } else {
    cursor.Reset();
    while (auto f = cursor.NextFeature()) box.Union(f->Extent());
  }
  view.SetExtent(box);
  doc.ActiveView().Refresh();
}

std::optional<carto::SymbolBorder> fMakeSymbolBorder(long color, double width) {
  std::optional<carto::SymbolBorder> border;
  ErrorHandling::Guard("fMakeSymbolBorder", kModule, [&] {
    carto::RgbColor rgb;
    rgb.SetRGB(color);
    carto::SimpleLineSymbol line;
    line.SetColor(rgb);
    line.SetWidth(width);
    border = carto::SymbolBorder(line);
  });
  return border;
}

}  // namespace mapbooks::modTolmirex
