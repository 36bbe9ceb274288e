#include "host/render/view_drawing.h"

#include <cairo.h>
#include <pango/pangocairo.h>

#include <algorithm>
#include <cmath>

#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/filter.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "host/vb/convert.h"
#include "host/vb/text.h"

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

void set_colour(cairo_t* cr, const carto::RgbColor& c) {
  cairo_set_source_rgba(cr, c.Red() / 255.0, c.Green() / 255.0, c.Blue() / 255.0, c.Transparency() / 255.0);
}

void stroke_line(cairo_t* cr, const carto::SimpleLineSymbol& line, double dpi) {
  if (line.Style() == carto::LineStyle::Null || line.Width() <= 0) {
    cairo_new_path(cr);
    return;
  }
  set_colour(cr, line.Color());
  double w = std::max(0.5, points_to_pixels(line.Width(), dpi));
  cairo_set_line_width(cr, w);
  switch (line.Style()) {
    case carto::LineStyle::Dash: {
      double d[] = {4 * w, 2 * w};
      cairo_set_dash(cr, d, 2, 0);
      break;
    }
    case carto::LineStyle::Dot: {
      double d[] = {1 * w, 2 * w};
      cairo_set_dash(cr, d, 2, 0);
      break;
    }
    case carto::LineStyle::DashDot:
    case carto::LineStyle::DashDotDot: {
      double d[] = {4 * w, 2 * w, 1 * w, 2 * w};
      cairo_set_dash(cr, d, 4, 0);
      break;
    }
    default: cairo_set_dash(cr, nullptr, 0, 0);
  }
  cairo_stroke(cr);
  cairo_set_dash(cr, nullptr, 0, 0);
}

void path_of(cairo_t* cr, const geo::Geometry& g, const Transform& t, bool close) {
  for (const auto& part : g.Parts()) {
    if (part.empty()) continue;
    cairo_move_to(cr, t.X(part[0].X), t.Y(part[0].Y));
    for (size_t i = 1; i < part.size(); ++i) cairo_line_to(cr, t.X(part[i].X), t.Y(part[i].Y));
    if (close) cairo_close_path(cr);
  }
}

void draw_marker(cairo_t* cr, double x, double y, const carto::SimpleMarkerSymbol& m, double dpi) {
  double r = std::max(1.0, points_to_pixels(m.Size(), dpi) / 2);
  switch (m.Style()) {
    case carto::MarkerStyle::Square: cairo_rectangle(cr, x - r, y - r, 2 * r, 2 * r); break;
    case carto::MarkerStyle::Diamond:
      cairo_move_to(cr, x, y - r);
      cairo_line_to(cr, x + r, y);
      cairo_line_to(cr, x, y + r);
      cairo_line_to(cr, x - r, y);
      cairo_close_path(cr);
      break;
    case carto::MarkerStyle::Cross:
    case carto::MarkerStyle::X: {
      bool x_shape = m.Style() == carto::MarkerStyle::X;
      double a = x_shape ? r * 0.7071 : 0, b = x_shape ? r * 0.7071 : r;
      cairo_move_to(cr, x - b, y - a);
      cairo_line_to(cr, x + b, y + a);
      cairo_move_to(cr, x - a, y + b);
      cairo_line_to(cr, x + a, y - b);
      set_colour(cr, m.Color());
      cairo_set_line_width(cr, std::max(1.0, r / 3));
      cairo_stroke(cr);
      return;
    }
    default: cairo_arc(cr, x, y, r, 0, 2 * M_PI); break;
  }
  set_colour(cr, m.Color());
  if (m.Outline()) {
    cairo_fill_preserve(cr);
    set_colour(cr, m.OutlineColor());
    cairo_set_line_width(cr, std::max(0.5, points_to_pixels(m.OutlineSize(), dpi)));
    cairo_stroke(cr);
  } else {
    cairo_fill(cr);
  }
}

void draw_feature(cairo_t* cr, const geo::Geometry& g, const carto::SimpleRenderer& renderer, const Transform& t,
                  double dpi) {
  switch (g.Type()) {
    case geo::GeometryType::Polygon: {
      path_of(cr, g, t, true);
      cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
      if (const auto* fill = renderer.FillSymbol()) {
        // A fully transparent fill draws only the outline.
        if (!fill->IsHollow()) {
          set_colour(cr, fill->Color());
          cairo_fill_preserve(cr);
        }
        stroke_line(cr, fill->Outline(), dpi);
      } else if (const auto* line = renderer.LineSymbol()) {
        stroke_line(cr, *line, dpi);
      } else {
        stroke_line(cr, carto::SimpleLineSymbol(), dpi);
      }
      break;
    }
    case geo::GeometryType::Polyline:
      path_of(cr, g, t, false);
      if (const auto* line = renderer.LineSymbol())
        stroke_line(cr, *line, dpi);
      else if (const auto* fill = renderer.FillSymbol())
        stroke_line(cr, fill->Outline(), dpi);
      else
        stroke_line(cr, carto::SimpleLineSymbol(), dpi);
      break;
    case geo::GeometryType::Point:
    case geo::GeometryType::Multipoint: {
      carto::SimpleMarkerSymbol marker;
      if (const auto* m = std::get_if<carto::SimpleMarkerSymbol>(&renderer.Symbol())) marker = *m;
      for (const auto& part : g.Parts())
        for (const auto& p : part) draw_marker(cr, t.X(p.X), t.Y(p.Y), marker, dpi);
      break;
    }
    default: break;
  }
}

PangoLayout* text_layout(cairo_t* cr, const std::string& text, const carto::TextSymbol& symbol, double dpi) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_new();
  pango_font_description_set_family(font, symbol.FontName().c_str());
  pango_font_description_set_absolute_size(font, points_to_pixels(symbol.Size(), dpi) * PANGO_SCALE);
  pango_font_description_set_weight(font, symbol.Bold() ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  if (symbol.Font().Italic) pango_font_description_set_style(font, PANGO_STYLE_ITALIC);
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  // A CR LF in the text starts a new line.
  std::string lines = vb::Replace(vb::Replace(text, "\r\n", "\n"), "\r", "\n");
  pango_layout_set_text(layout, lines.c_str(), -1);
  PangoAlignment align = PANGO_ALIGN_LEFT;
  if (symbol.HorizontalAlign() == carto::HorizontalAlignment::Center) align = PANGO_ALIGN_CENTER;
  if (symbol.HorizontalAlign() == carto::HorizontalAlignment::Right) align = PANGO_ALIGN_RIGHT;
  pango_layout_set_alignment(layout, align);
  return layout;
}

// Text anchored at a device point: the horizontal alignment says which side of the text
// the point is on, the vertical one whether it is the top, middle, baseline or bottom.
void draw_text_at(cairo_t* cr, const std::string& text, const carto::TextSymbol& symbol, double x, double y,
                  double dpi) {
  if (text.empty()) return;
  PangoLayout* layout = text_layout(cr, text, symbol, dpi);
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  double baseline = pango_layout_get_baseline(layout) / double(PANGO_SCALE);
  double dx = 0, dy = 0;
  switch (symbol.HorizontalAlign()) {
    case carto::HorizontalAlignment::Center: dx = -w / 2.0; break;
    case carto::HorizontalAlignment::Right: dx = -w; break;
    default: break;
  }
  switch (symbol.VerticalAlign()) {
    case carto::VerticalAlignment::Center: dy = -h / 2.0; break;
    case carto::VerticalAlignment::Baseline: dy = -baseline; break;
    case carto::VerticalAlignment::Bottom: dy = -h; break;
    default: break;
  }
  cairo_save(cr);
  cairo_translate(cr, x, y);
  if (symbol.Angle() != 0) cairo_rotate(cr, -symbol.Angle() * M_PI / 180.0);
  cairo_move_to(cr, dx, dy);
  set_colour(cr, symbol.Color());
  pango_cairo_show_layout(cr, layout);
  cairo_restore(cr);
  g_object_unref(layout);
}

// Text placed by an envelope: from its top edge, aligned within its width.
void draw_text_in(cairo_t* cr, const std::string& text, const carto::TextSymbol& symbol, double left, double top,
                  double width, double dpi) {
  if (text.empty()) return;
  PangoLayout* layout = text_layout(cr, text, symbol, dpi);
  if (width > 0 && symbol.HorizontalAlign() != carto::HorizontalAlignment::Left)
    pango_layout_set_width(layout, int(width * PANGO_SCALE));
  cairo_move_to(cr, left, top);
  set_colour(cr, symbol.Color());
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
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

void draw_labels(cairo_t* cr, const carto::FeatureLayer& layer, geo::FeatureCursor cursor, const Transform& t,
                 double dpi) {
  const carto::LabelProperties& props = layer.Labels();
  carto::TextSymbol symbol = props.Symbol();
  symbol.SetVerticalAlignment(carto::VerticalAlignment::Center);
  while (auto f = cursor.NextFeature()) {
    if (!f->HasShape() || f->Shape().IsEmpty()) continue;
    std::string text = props.LabelText(*f);
    const geo::Geometry& g = f->Shape();
    geo::Point p = g.LabelPoint();
    double x = t.X(p.X), y = t.Y(p.Y);
    carto::TextSymbol s = symbol;
    if (g.Type() == geo::GeometryType::Point || g.Type() == geo::GeometryType::Multipoint) {
      // Beside the point, clear of its marker.
      double r = 4;
      if (const auto* m = std::get_if<carto::SimpleMarkerSymbol>(&layer.Renderer().Symbol()))
        r = points_to_pixels(m->Size(), dpi) / 2;
      x += r + points_to_pixels(2, dpi);
      s.SetHorizontalAlignment(carto::HorizontalAlignment::Left);
    } else {
      s.SetHorizontalAlignment(carto::HorizontalAlignment::Center);
    }
    draw_text_at(cr, text, s, x, y, dpi);
  }
}

void draw_map_frame(cairo_t* cr, const carto::MapFrame& mf, const Transform& page, double dpi) {
  geo::Envelope b = mf.Bounds();
  double x0 = page.X(b.XMin()), y0 = page.Y(b.YMax());
  double w = page.X(b.XMax()) - x0, h = page.Y(b.YMin()) - y0;
  if (mf.Map()) {
    DrawMap(*mf.Map(), cr, x0, y0, w, h, dpi);
    geo::Envelope shown = carto::FitToAspect(mf.Map()->Extent(), w, h);
    if (!shown.IsEmpty()) {
      Transform mt = transform_for(shown, x0, y0, w, h);
      cairo_save(cr);
      cairo_rectangle(cr, x0, y0, w, h);
      cairo_clip(cr);
      for (int i = 0; i < mf.LocatorRectangleCount(); ++i) {
        const carto::LocatorRectangle& loc = mf.LocatorRectangle(i);
        geo::Envelope e = loc.Extent();
        if (e.IsEmpty()) continue;
        cairo_rectangle(cr, mt.X(e.XMin()), mt.Y(e.YMax()), e.Width() * mt.sx, e.Height() * mt.sy);
        stroke_line(cr, loc.Border() ? loc.Border()->LineSymbol() : carto::SimpleLineSymbol(), dpi);
      }
      cairo_restore(cr);
    }
  }
  if (mf.Border()) {
    cairo_rectangle(cr, x0, y0, w, h);
    stroke_line(cr, mf.Border()->LineSymbol(), dpi);
  }
}

}  // namespace

void DrawMap(const carto::Map& map, cairo_t* cr, double left, double top, double width, double height, double dpi,
             const geo::Envelope* extent) {
  geo::Envelope shown = extent ? *extent : map.Extent();
  if (shown.IsEmpty() || width <= 0 || height <= 0) return;
  shown = carto::FitToAspect(shown, width, height);
  Transform t = transform_for(shown, left, top, width, height);
  cairo_save(cr);
  cairo_rectangle(cr, left, top, width, height);
  cairo_clip(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
  std::vector<const carto::FeatureLayer*> layers;
  collect_feature_layers(map.Layers(), layers);
  geo::SpatialFilter within(geo::Geometry::FromEnvelope(shown), geo::SpatialRelation::EnvelopeIntersects);
  for (const carto::FeatureLayer* layer : layers) {
    if (!layer->FeatureClass()) continue;
    geo::FeatureCursor cursor = layer->Search(&within);
    while (auto f = cursor.NextFeature())
      if (f->HasShape() && !f->Shape().IsEmpty()) draw_feature(cr, f->Shape(), layer->Renderer(), t, dpi);
  }
  // Labels go over every layer's features.
  for (const carto::FeatureLayer* layer : layers)
    if (layer->FeatureClass() && layer->DisplayAnnotation() && !layer->Labels().Expression().empty())
      draw_labels(cr, *layer, layer->Search(&within), t, dpi);
  cairo_restore(cr);
}

void DrawView(carto::ActiveView& view, cairo_t* cr, const carto::PixelRect& frame, double dpi,
              const geo::Envelope* visibleBounds) {
  double left = frame.left, top = frame.top, width = frame.Width(), height = frame.Height();
  cairo_save(cr);
  cairo_rectangle(cr, left, top, width, height);
  cairo_clip(cr);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  if (carto::PageLayout* layout = view.AsPageLayout()) {
    geo::Envelope page = visibleBounds ? *visibleBounds : layout->Extent();
    Transform t = transform_for(page, left, top, width, height);
    for (const auto& element : layout->Elements()) {
      if (auto* mf = dynamic_cast<carto::MapFrame*>(element.get())) {
        draw_map_frame(cr, *mf, t, dpi);
      } else if (auto* te = dynamic_cast<carto::TextElement*>(element.get())) {
        geo::Envelope b = te->Bounds();
        if (auto anchor = te->AnchorPoint())
          draw_text_at(cr, te->Text(), te->Symbol(), t.X(anchor->X), t.Y(anchor->Y), dpi);
        else if (!b.IsEmpty())
          draw_text_in(cr, te->Text(), te->Symbol(), t.X(b.XMin()), t.Y(b.YMax()), t.X(b.XMax()) - t.X(b.XMin()), dpi);
      }
    }
  } else if (auto map = view.FocusMap()) {
    DrawMap(*map, cr, left, top, width, height, dpi, visibleBounds);
  }
  cairo_restore(cr);
}

void Output(carto::ActiveView& view, long hdc, long dpi, const carto::PixelRect& deviceFrame,
            const geo::Envelope* visibleBounds) {
  std::shared_ptr<DeviceContext> device = LookupDevice(hdc);
  DrawView(view, device->Cairo(), deviceFrame, double(dpi), visibleBounds);
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
