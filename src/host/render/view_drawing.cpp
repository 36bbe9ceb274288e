// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/view_drawing.h"

#include <algorithm>
#include <cmath>

#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/filter.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "host/render/label_placement.h"
#include "host/render/painter.h"
#include "host/vb/convert.h"

namespace host::render {

namespace {

namespace carto = host::carto;
namespace geo = host::geodata;

// World coordinates (y up) onto device pixels (y down).
struct Transform {
  double left, top, sx, sy, xmin, ymax;
  double X(double x) const { return left + (x - xmin) * sx; }
  double Y(double y) const { return top + (ymax - y) * sy; }
};

Transform transform_for(const geo::Envelope& world, double left, double top, double width, double height) {
  double sx = world.Width() > 0 ? width / world.Width() : 1;
  double sy = world.Height() > 0 ? height / world.Height() : 1;
  return {left, top, sx, sy, world.XMin(), world.YMax()};
}

double points_to_pixels(double points, double dpi) { return points * dpi / 72.0; }

Colour colour_of(const carto::RgbColor& c) {
  return {c.Red() / 255.0, c.Green() / 255.0, c.Blue() / 255.0, c.Transparency() / 255.0};
}

// Lines of the map are drawn with round ends and joins, those of the layout plain.
struct Pen {
  LineCap cap = LineCap::Butt;
  LineJoin join = LineJoin::Miter;
};
constexpr Pen kLayoutPen{};
constexpr Pen kMapPen{LineCap::Round, LineJoin::Round};

StrokeStyle stroke_style(double width, const Pen& pen) {
  StrokeStyle s;
  s.width = width;
  s.cap = pen.cap;
  s.join = pen.join;
  return s;
}

void stroke_line(Painter& p, const Path& path, const carto::SimpleLineSymbol& line, double dpi, const Pen& pen) {
  if (line.Style() == carto::LineStyle::Null || line.Width() <= 0) return;
  double w = std::max(0.5, points_to_pixels(line.Width(), dpi));
  StrokeStyle s = stroke_style(w, pen);
  switch (line.Style()) {
    case carto::LineStyle::Dash: s.dash = {4 * w, 2 * w}; break;
    case carto::LineStyle::Dot: s.dash = {1 * w, 2 * w}; break;
    case carto::LineStyle::DashDot:
    case carto::LineStyle::DashDotDot: s.dash = {4 * w, 2 * w, 1 * w, 2 * w}; break;
    default: break;
  }
  p.Stroke(path, colour_of(line.Color()), s);
}

Path path_of(const geo::Geometry& g, const Transform& t, bool close) {
  Path path;
  for (const auto& part : g.Parts()) {
    if (part.empty()) continue;
    path.MoveTo(t.X(part[0].X), t.Y(part[0].Y));
    for (size_t i = 1; i < part.size(); ++i) path.LineTo(t.X(part[i].X), t.Y(part[i].Y));
    if (close) path.Close();
  }
  return path;
}

void draw_marker(Painter& p, double x, double y, const carto::SimpleMarkerSymbol& m, double dpi) {
  double r = std::max(1.0, points_to_pixels(m.Size(), dpi) / 2);
  Path path;
  switch (m.Style()) {
    case carto::MarkerStyle::Square: path.Rectangle(x - r, y - r, 2 * r, 2 * r); break;
    case carto::MarkerStyle::Diamond: path.MoveTo(x, y - r).LineTo(x + r, y).LineTo(x, y + r).LineTo(x - r, y).Close(); break;
    case carto::MarkerStyle::Cross:
    case carto::MarkerStyle::X: {
      bool x_shape = m.Style() == carto::MarkerStyle::X;
      double a = x_shape ? r * 0.7071 : 0, b = x_shape ? r * 0.7071 : r;
      path.MoveTo(x - b, y - a).LineTo(x + b, y + a).MoveTo(x - a, y + b).LineTo(x + a, y - b);
      p.Stroke(path, colour_of(m.Color()), stroke_style(std::max(1.0, r / 3), kMapPen));
      return;
    }
    default: path.Arc(x, y, r, 0, 2 * M_PI); break;
  }
  p.Fill(path, colour_of(m.Color()), FillRule::EvenOdd);
  if (m.Outline())
    p.Stroke(path, colour_of(m.OutlineColor()),
             stroke_style(std::max(0.5, points_to_pixels(m.OutlineSize(), dpi)), kMapPen));
}

void draw_feature(Painter& p, const geo::Geometry& g, const carto::SimpleRenderer& renderer, const Transform& t,
                  double dpi) {
  switch (g.Type()) {
    case geo::GeometryType::Polygon: {
      Path path = path_of(g, t, true);
      if (const auto* fill = renderer.FillSymbol()) {
        // A fully transparent fill draws only the outline.
        if (!fill->IsHollow()) p.Fill(path, colour_of(fill->Color()), FillRule::EvenOdd);
        stroke_line(p, path, fill->Outline(), dpi, kMapPen);
      } else if (const auto* line = renderer.LineSymbol()) {
        stroke_line(p, path, *line, dpi, kMapPen);
      } else {
        stroke_line(p, path, carto::SimpleLineSymbol(), dpi, kMapPen);
      }
      break;
    }
    case geo::GeometryType::Polyline: {
      Path path = path_of(g, t, false);
      if (const auto* line = renderer.LineSymbol())
        stroke_line(p, path, *line, dpi, kMapPen);
      else if (const auto* fill = renderer.FillSymbol())
        stroke_line(p, path, fill->Outline(), dpi, kMapPen);
      else
        stroke_line(p, path, carto::SimpleLineSymbol(), dpi, kMapPen);
      break;
    }
    case geo::GeometryType::Point:
    case geo::GeometryType::Multipoint: {
      carto::SimpleMarkerSymbol marker;
      if (const auto* m = std::get_if<carto::SimpleMarkerSymbol>(&renderer.Symbol())) marker = *m;
      for (const auto& part : g.Parts())
        for (const auto& pt : part) draw_marker(p, t.X(pt.X), t.Y(pt.Y), marker, dpi);
      break;
    }
    default: break;
  }
}

TextBlock text_block(const std::string& text, const carto::TextSymbol& symbol, double dpi) {
  TextBlock block;
  block.text = text;
  block.font = FontChoice{symbol.FontName(), points_to_pixels(symbol.Size(), dpi), symbol.Bold(), symbol.Font().Italic};
  if (symbol.HorizontalAlign() == carto::HorizontalAlignment::Center) block.align = TextAlign::Center;
  if (symbol.HorizontalAlign() == carto::HorizontalAlignment::Right) block.align = TextAlign::Right;
  return block;
}

// Text anchored at a device point: the horizontal alignment says which side of the text
// the point is on, the vertical one whether it is the top, middle, baseline or bottom.
void draw_text_at(Painter& p, const std::string& text, const carto::TextSymbol& symbol, double x, double y,
                  double dpi) {
  if (text.empty()) return;
  std::shared_ptr<const TextLayout> layout = p.LayOut(text_block(text, symbol, dpi));
  const double w = layout->Width(), h = layout->Height();
  double dx = 0, dy = 0;
  switch (symbol.HorizontalAlign()) {
    case carto::HorizontalAlignment::Center: dx = -w / 2.0; break;
    case carto::HorizontalAlignment::Right: dx = -w; break;
    default: break;
  }
  switch (symbol.VerticalAlign()) {
    case carto::VerticalAlignment::Center: dy = -h / 2.0; break;
    case carto::VerticalAlignment::Baseline: dy = -layout->Baseline(); break;
    case carto::VerticalAlignment::Bottom: dy = -h; break;
    default: break;
  }
  p.Text(TextRun{layout, {x, y}, {dx, dy}, symbol.Angle(), colour_of(symbol.Color()), std::nullopt});
}

// Text placed by an envelope: from its top edge, aligned within its width.
void draw_text_in(Painter& p, const std::string& text, const carto::TextSymbol& symbol, double left, double top,
                  double width, double dpi) {
  if (text.empty()) return;
  TextBlock block = text_block(text, symbol, dpi);
  if (width > 0 && symbol.HorizontalAlign() != carto::HorizontalAlignment::Left) block.width = width;
  p.Text(TextRun{p.LayOut(block), {left, top}, {0, 0}, 0, colour_of(symbol.Color()), std::nullopt});
}

void collect_feature_layers(const std::vector<std::shared_ptr<carto::Layer>>& layers,
                            std::vector<const carto::FeatureLayer*>& out) {
  // Layers are listed top first; drawing starts at the bottom.
  for (auto it = layers.rbegin(); it != layers.rend(); ++it) {
    if (!(*it)->Visible()) continue;
    if (auto* group = dynamic_cast<const carto::GroupLayer*>(it->get()))
      collect_feature_layers(group->Layers(), out);
    else if (auto* fl = dynamic_cast<const carto::FeatureLayer*>(it->get()))
      out.push_back(fl);
  }
}

// ---- Labels ----

// Text is measured for placement at one fixed resolution, unhinted, and scaled to the
// page's: every output and resolution then makes the same choices.
constexpr double kMeasureDpi = 720;

// A shape's rings or paths in device pixels.
std::vector<std::vector<XY>> device_parts(const geo::Geometry& g, const Transform& t) {
  std::vector<std::vector<XY>> out;
  for (const auto& part : g.Parts()) {
    std::vector<XY> d;
    d.reserve(part.size());
    for (const geo::Point& pt : part) d.push_back({t.X(pt.X), t.Y(pt.Y)});
    out.push_back(std::move(d));
  }
  return out;
}

struct PendingLabel {
  TextBlock block;
  Colour colour;
  std::optional<Halo> halo;
};

// Every label of the map's layers, placed together and drawn over all features.
void draw_labels(Painter& p, const std::vector<const carto::FeatureLayer*>& layers, const geo::SpatialFilter& within,
                 const geo::Envelope& shown, const Transform& t, const PixelBox& frame,
                 const std::vector<PixelBox>& keepClear, double dpi) {
  const double measure = dpi / kMeasureDpi;
  std::vector<LabelCandidate> candidates;
  std::vector<PendingLabel> pending;
  for (size_t li = 0; li < layers.size(); ++li) {
    const carto::FeatureLayer& layer = *layers[li];
    if (!layer.FeatureClass() || !layer.DisplayAnnotation() || layer.Labels().Expression().empty()) continue;
    const carto::LabelProperties& props = layer.Labels();
    carto::TextSymbol symbol = props.Symbol();
    symbol.SetHorizontalAlignment(carto::HorizontalAlignment::Center);
    geo::FeatureCursor cursor = layer.Search(&within);
    while (auto f = cursor.NextFeature()) {
      if (!f->HasShape() || f->Shape().IsEmpty()) continue;
      std::string text = props.LabelText(*f);
      if (text.empty()) continue;
      const geo::Geometry& g = f->Shape();
      std::shared_ptr<const TextLayout> size = LayOutForVector(text_block(text, symbol, kMeasureDpi));
      const double w = size->Width() * measure, h = size->Height() * measure;
      LabelCandidate c;
      c.priority = props.Priority();
      bool line = false;
      switch (g.Type()) {
        case geo::GeometryType::Polygon: {
          Polygon visible = ClipPolygon(device_parts(g, t), frame);
          c.kind = LabelKind::Polygon;
          c.measure = AreaOf(visible);
          c.positions = PolygonPositions(visible, w, h, symbol.Angle(), props.AllowOverrun());
          break;
        }
        case geo::GeometryType::Polyline: {
          std::vector<Polyline> visible;
          for (const Polyline& path : device_parts(g, t))
            for (Polyline& stretch : ClipPolyline(path, frame)) visible.push_back(std::move(stretch));
          c.kind = LabelKind::Line;
          for (const Polyline& l : visible) c.measure += LengthOf(l);
          c.positions = LinePositions(visible, w, h);
          c.repeat_key = std::to_string(li) + "\n" + text;
          c.repeat_distance = points_to_pixels(props.RepeatDistance(), dpi);
          line = true;
          break;
        }
        case geo::GeometryType::Point:
        case geo::GeometryType::Multipoint: {
          geo::Point at = g.LabelPoint();
          if (!shown.Contains(at)) continue;
          // Clear of the marker.
          double r = 4;
          if (const auto* m = std::get_if<carto::SimpleMarkerSymbol>(&layer.Renderer().Symbol()))
            r = points_to_pixels(m->Size(), dpi) / 2;
          c.kind = LabelKind::Point;
          c.positions = PointPositions({t.X(at.X), t.Y(at.Y)}, r + points_to_pixels(2, dpi), w, h, symbol.Angle());
          break;
        }
        default: continue;
      }
      if (c.positions.empty()) continue;
      std::optional<Halo> halo;
      if (auto lh = props.Halo(line)) halo = Halo{colour_of(lh->color), points_to_pixels(lh->width, dpi)};
      candidates.push_back(std::move(c));
      pending.push_back({text_block(text, symbol, dpi), colour_of(symbol.Color()), halo});
    }
  }
  std::vector<std::optional<size_t>> chosen = PlaceLabels(candidates, frame, keepClear);
  for (size_t i = 0; i < candidates.size(); ++i) {
    if (!chosen[i]) continue;
    const LabelBox& box = candidates[i].positions[*chosen[i]];
    std::shared_ptr<const TextLayout> layout = p.LayOut(pending[i].block);
    p.Text(TextRun{layout, box.centre, {-layout->Width() / 2, -layout->Height() / 2}, box.angle, pending[i].colour,
                   pending[i].halo});
  }
}

PixelBox device_box(const geo::Envelope& b, const Transform& page) {
  return {page.X(b.XMin()), page.Y(b.YMax()), page.X(b.XMax()), page.Y(b.YMin())};
}

// Labels keep clear of the frames of the page's other elements.
void draw_map_frame(Painter& p, const carto::MapFrame& mf, const Transform& page, const carto::PageLayout& layout,
                    double dpi) {
  geo::Envelope b = mf.Bounds();
  double x0 = page.X(b.XMin()), y0 = page.Y(b.YMax());
  double w = page.X(b.XMax()) - x0, h = page.Y(b.YMin()) - y0;
  Path frame;
  frame.Rectangle(x0, y0, w, h);
  if (mf.Map()) {
    std::vector<PixelBox> keepClear;
    for (const auto& element : layout.Elements()) {
      if (element.get() == &mf) continue;
      geo::Envelope other = element->Bounds();
      if (!other.IsEmpty() && other.Intersects(b)) keepClear.push_back(device_box(other, page));
    }
    DrawMap(*mf.Map(), p, x0, y0, w, h, dpi, nullptr, keepClear);
    geo::Envelope shown = carto::FitToAspect(mf.Map()->Extent(), w, h);
    if (!shown.IsEmpty()) {
      Transform mt = transform_for(shown, x0, y0, w, h);
      PainterSave keep(p);
      p.Clip(frame, FillRule::Winding);
      for (int i = 0; i < mf.LocatorRectangleCount(); ++i) {
        const carto::LocatorRectangle& loc = mf.LocatorRectangle(i);
        geo::Envelope e = loc.ExtentIn(*mf.Map());
        if (e.IsEmpty()) continue;
        Path box;
        box.Rectangle(mt.X(e.XMin()), mt.Y(e.YMax()), e.Width() * mt.sx, e.Height() * mt.sy);
        stroke_line(p, box, loc.Border() ? loc.Border()->LineSymbol() : carto::SimpleLineSymbol(), dpi, kLayoutPen);
      }
    }
  }
  if (mf.Border()) stroke_line(p, frame, mf.Border()->LineSymbol(), dpi, kLayoutPen);
}

}  // namespace

void DrawMap(const carto::Map& map, Painter& p, double left, double top, double width, double height, double dpi,
             const geo::Envelope* extent, const std::vector<PixelBox>& keepClear) {
  geo::Envelope shown = extent ? *extent : map.Extent();
  if (shown.IsEmpty() || width <= 0 || height <= 0) return;
  shown = carto::FitToAspect(shown, width, height);
  Transform t = transform_for(shown, left, top, width, height);
  PainterSave keep(p);
  p.Clip(Path().Rectangle(left, top, width, height), FillRule::Winding);
  std::vector<const carto::FeatureLayer*> layers;
  collect_feature_layers(map.Layers(), layers);
  geo::SpatialFilter within(geo::Geometry::FromEnvelope(shown), geo::SpatialRelation::EnvelopeIntersects);
  for (const carto::FeatureLayer* layer : layers) {
    if (!layer->FeatureClass()) continue;
    geo::FeatureCursor cursor = layer->Search(&within);
    while (auto f = cursor.NextFeature())
      if (f->HasShape() && !f->Shape().IsEmpty()) draw_feature(p, f->Shape(), layer->Renderer(), t, dpi);
  }
  // Labels go over every layer's features.
  draw_labels(p, layers, within, shown, t, PixelBox{left, top, left + width, top + height}, keepClear, dpi);
}

void DrawView(carto::ActiveView& view, Painter& p, const carto::PixelRect& frame, double dpi,
              const geo::Envelope* visibleBounds) {
  double left = frame.left, top = frame.top, width = frame.Width(), height = frame.Height();
  PainterSave keep(p);
  p.Clip(Path().Rectangle(left, top, width, height), FillRule::Winding);
  p.Paint(Colour{1, 1, 1, 1});
  if (carto::PageLayout* layout = view.AsPageLayout()) {
    geo::Envelope page = visibleBounds ? *visibleBounds : layout->Extent();
    Transform t = transform_for(page, left, top, width, height);
    for (const auto& element : layout->Elements()) {
      if (auto* mf = dynamic_cast<carto::MapFrame*>(element.get())) {
        draw_map_frame(p, *mf, t, *layout, dpi);
      } else if (auto* te = dynamic_cast<carto::TextElement*>(element.get())) {
        geo::Envelope b = te->Bounds();
        if (auto anchor = te->AnchorPoint())
          draw_text_at(p, te->Text(), te->Symbol(), t.X(anchor->X), t.Y(anchor->Y), dpi);
        else if (!b.IsEmpty())
          draw_text_in(p, te->Text(), te->Symbol(), t.X(b.XMin()), t.Y(b.YMax()), t.X(b.XMax()) - t.X(b.XMin()), dpi);
      }
    }
  } else if (auto map = view.FocusMap()) {
    DrawMap(*map, p, left, top, width, height, dpi, visibleBounds);
  }
}

void DrawView(carto::ActiveView& view, cairo_t* cr, const carto::PixelRect& deviceFrame, double dpi,
              const geo::Envelope* visibleBounds) {
  CairoPainter p(cr);
  DrawView(view, p, deviceFrame, dpi, visibleBounds);
}

void Output(carto::ActiveView& view, long hdc, long dpi, const carto::PixelRect& deviceFrame,
            const geo::Envelope* visibleBounds) {
  std::shared_ptr<DeviceContext> device = LookupDevice(hdc);
  DrawView(view, device->GetPainter(), deviceFrame, double(dpi), visibleBounds);
}

std::optional<std::string_view> ExportClassOfFormat(std::string_view code) {
  static const std::pair<std::string_view, std::string_view> formats[] = {
      {"JPG", clsid::ExportJPEG}, {"BMP", clsid::ExportBMP}, {"EMF", clsid::ExportEMF},
      {"GIF", clsid::ExportGIF},  {"PDF", clsid::ExportPDF}, {"PNG", clsid::ExportPNG},
      {"TIF", clsid::ExportTIFF}, {"AI", clsid::ExportAI},   {"SVG", clsid::ExportSVG}};
  for (const auto& [name, id] : formats)
    if (name == code) return id;
  return std::nullopt;
}

void ExportView(carto::ActiveView& view, IExport& exporter, int16_t resolution) {
  exporter.SetResolution(resolution);
  int32_t width = vb::CLng((resolution / 96.0) * view.ExportFrame().right);
  int32_t height = vb::CLng((resolution / 96.0) * view.ExportFrame().bottom);
  geo::Envelope bounds;
  bounds.PutCoords(0, 0, width, height);
  exporter.SetPixelBounds(bounds);
  long hdc = exporter.StartExporting();
  int32_t dpi = vb::CLng(exporter.Resolution());
  Output(view, hdc, dpi, carto::PixelRect{0, 0, width, height}, nullptr);
  exporter.FinishExporting();
  exporter.Cleanup();
}

}  // namespace host::render
