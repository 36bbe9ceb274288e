// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/map_canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "gui/qt_text.h"
#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/render/cairo_ptr.h"
#include "host/render/view_drawing.h"
#include "host/vb/error.h"

namespace gui {

namespace {
constexpr int kPageMargin = 24;
// A press that moves less than this is a click, not a rectangle.
constexpr double kClickSlop = 4;
// A click selects what lies within this many pixels of it.
constexpr double kPickRadius = 3;
constexpr size_t kHistoryDepth = 50;
const QColor kDesk(0x9a, 0x9d, 0xa3);
const QColor kSelection(0, 255, 255);

void visible_feature_layers(const std::vector<std::shared_ptr<carto::Layer>>& layers,
                            std::vector<std::shared_ptr<carto::FeatureLayer>>& out) {
  for (const auto& l : layers) {
    if (!l->Visible()) continue;
    if (auto f = std::dynamic_pointer_cast<carto::FeatureLayer>(l)) out.push_back(f);
    if (auto g = std::dynamic_pointer_cast<carto::GroupLayer>(l)) visible_feature_layers(g->Layers(), out);
  }
}

geodata::Envelope world_rect(const CanvasFrame& f, const QPointF& a, const QPointF& b) {
  const geodata::Point p = f.ToWorld(a), q = f.ToWorld(b);
  return geodata::Envelope(std::min(p.X, q.X), std::min(p.Y, q.Y), std::max(p.X, q.X), std::max(p.Y, q.Y));
}

geodata::Envelope scaled_about(const geodata::Envelope& e, const geodata::Point& p, double factor) {
  return geodata::Envelope(p.X - (p.X - e.XMin()) * factor, p.Y - (p.Y - e.YMin()) * factor,
                           p.X + (e.XMax() - p.X) * factor, p.Y + (e.YMax() - p.Y) * factor);
}

geodata::Envelope centred(const geodata::Point& c, double width, double height) {
  return geodata::Envelope(c.X - width / 2, c.Y - height / 2, c.X + width / 2, c.Y + height / 2);
}
}  // namespace

QPointF CanvasFrame::ToPixels(const geodata::Point& p) const {
  return {pixels.left() + (p.X - world.XMin()) * pixels.width() / world.Width(),
          pixels.top() + (world.YMax() - p.Y) * pixels.height() / world.Height()};
}

geodata::Point CanvasFrame::ToWorld(const QPointF& p) const {
  return {world.XMin() + (p.x() - pixels.left()) * world.Width() / pixels.width(),
          world.YMax() - (p.y() - pixels.top()) * world.Height() / pixels.height()};
}

MapCanvas::MapCanvas(app::Application& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setMinimumSize(120, 90);
  tool_ = MapTool::Pan;
}

void MapCanvas::Invalidate() {
  dirty_ = true;
  update();
}

void MapCanvas::changed() {
  if (changed_) changed_();
}

geodata::Envelope MapCanvas::page_shown() const {
  return page_shown_.IsEmpty() ? app_.GetDocument().PageLayout().Extent() : page_shown_;
}

bool MapCanvas::on_page_display() const { return app_.GetDocument().InLayoutView() && !ActivatedFrameMap(); }

CanvasFrame MapCanvas::PageDisplay() const {
  const carto::Document& doc = app_.GetDocument();
  if (!doc.InLayoutView()) return {};
  const geodata::Envelope shown = page_shown();
  if (shown.IsEmpty()) return {};
  const double scale =
      std::min((width() - 2.0 * kPageMargin) / shown.Width(), (height() - 2.0 * kPageMargin) / shown.Height());
  if (!(scale > 0)) return {};
  // Whole pixels, as the page is drawn into them.
  const int w = int(shown.Width() * scale), h = int(shown.Height() * scale);
  return {QRectF((width() - w) / 2, (height() - h) / 2, w, h), shown};
}

QRect MapCanvas::PageRect() const {
  const CanvasFrame f = PageDisplay();
  if (f.IsEmpty()) return {};
  const geodata::Envelope page = app_.GetDocument().PageLayout().Page().Bounds();
  const QPointF a = f.ToPixels(page.UpperLeft()), b = f.ToPixels(page.LowerRight());
  return QRect(QPoint(int(std::lround(a.x())), int(std::lround(a.y()))),
               QPoint(int(std::lround(b.x())) - 1, int(std::lround(b.y())) - 1));
}

CanvasFrame MapCanvas::FocusMapFrame() const {
  const carto::Document& doc = app_.GetDocument();
  std::shared_ptr<carto::Map> map = doc.FocusMap();
  if (!map || map->Extent().IsEmpty()) return {};
  QRectF pixels;
  if (!doc.InLayoutView()) {
    pixels = QRectF(rect());
  } else {
    auto frame = doc.PageLayout().FindFrame(*map);
    const CanvasFrame page = PageDisplay();
    if (!frame || page.IsEmpty()) return {};
    const geodata::Envelope b = frame->Bounds();
    pixels = QRectF(page.ToPixels(b.UpperLeft()), page.ToPixels(b.LowerRight()));
  }
  if (pixels.isEmpty()) return {};
  return {pixels, carto::FitToAspect(map->Extent(), pixels.width(), pixels.height())};
}

std::shared_ptr<carto::Map> MapCanvas::ActivatedFrameMap() const {
  const carto::Document& doc = app_.GetDocument();
  std::shared_ptr<carto::Map> map = activated_.lock();
  if (!doc.InLayoutView() || !map || map != doc.FocusMap() || !doc.PageLayout().FindFrame(*map)) return nullptr;
  return map;
}

carto::ActiveView& MapCanvas::NavigatedView() const {
  carto::Document& doc = app_.GetDocument();
  if (auto map = ActivatedFrameMap()) return *map;
  return doc.ActiveView();
}

geodata::Envelope MapCanvas::current_extent() const {
  return on_page_display() ? page_shown() : NavigatedView().Extent();
}

CanvasFrame MapCanvas::navigated_frame() const {
  if (!app_.GetDocument().InLayoutView() || ActivatedFrameMap()) return FocusMapFrame();
  return PageDisplay();
}

void MapCanvas::remember(const geodata::Envelope& e) {
  if (e.IsEmpty()) return;
  History& h = history_[&NavigatedView()];
  h.back.push_back(e);
  if (h.back.size() > kHistoryDepth) h.back.erase(h.back.begin());
  h.forward.clear();
}

void MapCanvas::set_extent(const geodata::Envelope& e, bool keep) {
  if (e.IsEmpty() || !(e.Width() > 0) || !(e.Height() > 0) || !std::isfinite(e.Width()) ||
      !std::isfinite(e.Height()))
    return;
  if (keep) remember(current_extent());
  if (on_page_display()) {
    // Only the window's display of the page: the page layout, and so every export and
    // print of it, keeps its own extent.
    const carto::Page& page = app_.GetDocument().PageLayout().Page();
    page_shown_ = carto::FitToAspect(e, page.Width(), page.Height());
    Invalidate();
    changed();
    return;
  }
  try {
    NavigatedView().SetExtent(e);
  } catch (const vb::Error&) {
    return;  // an extent the view refuses leaves it as it was
  }
  app_.GetDocument().ActiveView().Refresh();
  changed();
}

void MapCanvas::ZoomAbout(const QPointF& at, double factor) {
  const CanvasFrame f = navigated_frame();
  if (f.IsEmpty() || !(factor > 0)) return;
  set_extent(scaled_about(f.world, f.ToWorld(at), factor));
}

void MapCanvas::FullExtent() { set_extent(NavigatedView().FullExtent()); }

bool MapCanvas::HasPreviousExtent() const {
  auto it = history_.find(&NavigatedView());
  return it != history_.end() && !it->second.back.empty();
}

bool MapCanvas::HasNextExtent() const {
  auto it = history_.find(&NavigatedView());
  return it != history_.end() && !it->second.forward.empty();
}

void MapCanvas::PreviousExtent() {
  if (!HasPreviousExtent()) return;
  History& h = history_[&NavigatedView()];
  const geodata::Envelope e = h.back.back();
  h.back.pop_back();
  h.forward.push_back(current_extent());
  set_extent(e, false);
}

void MapCanvas::NextExtent() {
  if (!HasNextExtent()) return;
  History& h = history_[&NavigatedView()];
  const geodata::Envelope e = h.forward.back();
  h.forward.pop_back();
  h.back.push_back(current_extent());
  set_extent(e, false);
}

void MapCanvas::ForgetExtents() {
  history_.clear();
  activated_.reset();
  page_shown_ = {};
}

void MapCanvas::ClearSelection() {
  carto::Document& doc = app_.GetDocument();
  if (!doc.FocusMap()) return;
  doc.FocusMap()->ClearSelection();
  doc.ActiveView().PartialRefresh(carto::ViewDrawPhase::GeoSelection);
  changed();
}

void MapCanvas::sync_data_window() {
  carto::Document& doc = app_.GetDocument();
  if (doc.InLayoutView() || width() <= 0 || height() <= 0) return;
  if (doc.DataWindowWidth() != width() || doc.DataWindowHeight() != height()) doc.SetDataWindowSize(width(), height());
}

void MapCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  sync_data_window();
  dirty_ = true;
}

void MapCanvas::render() {
  dirty_ = false;
  failure_.clear();
  const qreal dpr = devicePixelRatioF();
  const QSize size = this->size() * dpr;
  if (size.isEmpty()) return;
  sync_data_window();
  carto::Document& doc = app_.GetDocument();
  const bool layout = doc.InLayoutView();
  image_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
  image_.fill(layout ? kDesk : QColor(Qt::white));
  // Cairo's ARGB32 is Qt's premultiplied ARGB32: cairo draws straight into the image.
  render::SurfacePtr surface(cairo_image_surface_create_for_data(image_.bits(), CAIRO_FORMAT_ARGB32, size.width(),
                                                                  size.height(), int(image_.bytesPerLine())));
  render::CairoPtr owner(cairo_create(surface.get()));
  cairo_t* cr = owner.get();
  try {
    const CanvasFrame shown = PageDisplay();
    if (layout && !shown.IsEmpty()) {
      const QRectF page = QRectF(PageRect());
      // The whole canvas at the display's scale: zoomed in, the page runs past the part
      // fitted at full extent.
      const geodata::Envelope canvas = world_rect(shown, QPointF(0, 0), QPointF(width(), height()));
      carto::PixelRect frame{0, 0, size.width(), size.height()};
      // The page shrinks or grows with its display: its symbols and texts with it.
      render::DrawView(doc.PageLayout(), cr, frame, dpr * shown.pixels.width() / shown.world.Width(), &canvas);
      // Off the page is the desk, with the page's shadow on it.
      auto page_path = [&](double offset) {
        cairo_rectangle(cr, (page.x() + offset) * dpr, (page.y() + offset) * dpr, page.width() * dpr,
                        page.height() * dpr);
      };
      {
        render::CairoSave saved(cr);
        cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
        cairo_rectangle(cr, 0, 0, size.width(), size.height());
        page_path(0);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, kDesk.redF(), kDesk.greenF(), kDesk.blueF());
        cairo_paint(cr);
        page_path(4);
        cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
        cairo_fill(cr);
      }
      cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
      cairo_set_line_width(cr, 1);
      cairo_rectangle(cr, page.x() * dpr + 0.5, page.y() * dpr + 0.5, page.width() * dpr - 1, page.height() * dpr - 1);
      cairo_stroke(cr);
    } else if (!layout) {
      carto::PixelRect frame{0, 0, size.width(), size.height()};
      render::DrawView(doc.ActiveView(), cr, frame, carto::kViewDpi * dpr);
    }
  } catch (const vb::Error& e) {
    failure_ = ToQt(e.description());
  } catch (const std::exception& e) {
    failure_ = QString::fromUtf8(e.what());
  }
  owner.reset();
  cairo_surface_flush(surface.get());
  image_.setDevicePixelRatio(dpr);
}

void MapCanvas::draw_selection(QPainter& painter) const {
  const carto::Document& doc = app_.GetDocument();
  std::shared_ptr<carto::Map> map = doc.FocusMap();
  if (!map || map->SelectionCount() == 0) return;
  const CanvasFrame f = FocusMapFrame();
  if (f.IsEmpty()) return;
  std::vector<std::shared_ptr<carto::FeatureLayer>> layers;
  visible_feature_layers(map->Layers(), layers);
  painter.save();
  painter.setClipRect(f.pixels);
  painter.setRenderHint(QPainter::Antialiasing);
  for (const auto& layer : layers) {
    const geodata::SelectionSet* set = layer->SelectionSetIfAny();
    if (!set || !layer->FeatureClass()) continue;
    for (int64_t oid : set->IDs()) {
      auto feature = layer->FeatureClass()->GetFeature(oid);
      if (!feature || !feature->HasShape()) continue;
      const geodata::Geometry& shape = feature->Shape();
      QPainterPath path;
      path.setFillRule(Qt::OddEvenFill);
      const geodata::GeometryType type = shape.Type();
      const bool points = type == geodata::GeometryType::Point || type == geodata::GeometryType::Multipoint;
      for (const auto& part : shape.Parts()) {
        for (size_t i = 0; i < part.size(); ++i) {
          const QPointF p = f.ToPixels(part[i]);
          if (points)
            path.addEllipse(p, 5, 5);
          else if (i == 0)
            path.moveTo(p);
          else
            path.lineTo(p);
        }
        if (type == geodata::GeometryType::Polygon) path.closeSubpath();
      }
      // Outlines, so the map stays readable under the selection.
      painter.setPen(QPen(kSelection, type == geodata::GeometryType::Polygon ? 2 : 3));
      painter.setBrush(points ? QBrush(kSelection) : Qt::NoBrush);
      painter.drawPath(path);
    }
  }
  painter.restore();
}

void MapCanvas::paintEvent(QPaintEvent*) {
  if (dirty_ || image_.size() != size() * devicePixelRatioF()) render();
  QPainter painter(this);
  if (image_.isNull())
    painter.fillRect(rect(), kDesk);
  else
    painter.drawImage(0, 0, image_);
  draw_selection(painter);
  if (ActivatedFrameMap()) {
    // The activated frame, whose map the tools move.
    painter.setPen(QPen(QColor(0x1f, 0x5f, 0xbf), 2, Qt::DashLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(FocusMapFrame().pixels.adjusted(-2, -2, 2, 2));
  }
  if (drag_button_ != Qt::NoButton && drag_tool_ != MapTool::Pan) {
    painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
    painter.setBrush(QColor(255, 255, 255, 50));
    painter.drawRect(QRectF(drag_from_, drag_to_).normalized());
  }
  if (!failure_.isEmpty()) {
    painter.setPen(QColor(160, 0, 0));
    painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("The view could not be drawn: ") + failure_);
  }
}

// ---------------------------------------------------------------- the tools

void MapCanvas::track_pointer(const QPointF& at) {
  const CanvasFrame map = FocusMapFrame();
  pointer_known_ = true;
  pointer_in_map_ = !map.IsEmpty() && map.pixels.contains(at);
  if (pointer_in_map_) {
    pointer_world_ = map.ToWorld(at);
  } else {
    const CanvasFrame page = PageDisplay();
    pointer_known_ = !page.IsEmpty();
    if (pointer_known_) pointer_world_ = page.ToWorld(at);
  }
  changed();
}

void MapCanvas::leaveEvent(QEvent* event) {
  QWidget::leaveEvent(event);
  pointer_known_ = false;
  changed();
}

void MapCanvas::mousePressEvent(QMouseEvent* event) {
  if (drag_button_ != Qt::NoButton) return;
  if (event->button() == Qt::MiddleButton)
    drag_tool_ = MapTool::Pan;
  else if (event->button() == Qt::LeftButton)
    drag_tool_ = tool_;
  else
    return;
  drag_button_ = event->button();
  drag_from_ = drag_to_ = event->position();
  drag_frame_ = drag_tool_ == MapTool::Select ? FocusMapFrame() : navigated_frame();
  drag_start_extent_ = current_extent();
  if (drag_tool_ == MapTool::Pan) setCursor(Qt::ClosedHandCursor);
}

void MapCanvas::mouseMoveEvent(QMouseEvent* event) {
  track_pointer(event->position());
  if (drag_button_ == Qt::NoButton) return;
  drag_to_ = event->position();
  if (drag_tool_ == MapTool::Pan && !drag_frame_.IsEmpty()) {
    // The world point under the press follows the pointer.
    const geodata::Point from = drag_frame_.ToWorld(drag_from_), to = drag_frame_.ToWorld(drag_to_);
    geodata::Envelope moved = drag_start_extent_;
    moved.Offset(from.X - to.X, from.Y - to.Y);
    set_extent(moved, false);
  } else {
    update();
  }
}

void MapCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != drag_button_) return;
  drag_to_ = event->position();
  finish_drag(drag_to_, event->modifiers());
  drag_button_ = Qt::NoButton;
  unsetCursor();
  update();
}

void MapCanvas::finish_drag(const QPointF& at, Qt::KeyboardModifiers modifiers) {
  const CanvasFrame& f = drag_frame_;
  if (f.IsEmpty()) return;
  const QPointF d = at - drag_from_;
  const bool click = std::abs(d.x()) < kClickSlop && std::abs(d.y()) < kClickSlop;
  const geodata::Envelope& w = f.world;
  switch (drag_tool_) {
    case MapTool::Pan:
      if (!click) {
        // The drag moved the view step by step; the whole drag is one step back.
        History& h = history_[&NavigatedView()];
        h.back.push_back(drag_start_extent_);
        h.forward.clear();
        changed();
      }
      break;
    case MapTool::ZoomIn:
      if (click)
        set_extent(centred(f.ToWorld(at), w.Width() / 2, w.Height() / 2));
      else
        set_extent(world_rect(f, drag_from_, at));
      break;
    case MapTool::ZoomOut:
      if (click) {
        set_extent(centred(f.ToWorld(at), w.Width() * 2, w.Height() * 2));
      } else {
        // What is shown now shrinks to fit the rectangle (a flat one by its length).
        const geodata::Envelope r = world_rect(f, drag_from_, at);
        const double kx = r.Width() > 0 ? w.Width() / r.Width() : 0;
        const double ky = r.Height() > 0 ? w.Height() / r.Height() : 0;
        const double k = std::max(kx, ky);
        set_extent(centred(r.Center(), w.Width() * k, w.Height() * k));
      }
      break;
    case MapTool::Select: {
      std::shared_ptr<carto::Map> map = app_.GetDocument().FocusMap();
      if (!map || (click && !f.pixels.contains(at))) return;
      const QPointF r(kPickRadius, kPickRadius);
      const geodata::Envelope area = click ? world_rect(f, at - r, at + r) : world_rect(f, drag_from_, at);
      map->SelectByShape(geodata::Geometry::FromEnvelope(area), modifiers.testFlag(Qt::ShiftModifier));
      app_.GetDocument().ActiveView().PartialRefresh(carto::ViewDrawPhase::GeoSelection);
      changed();
      break;
    }
  }
}

void MapCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
  carto::Document& doc = app_.GetDocument();
  if (!doc.InLayoutView() || event->button() != Qt::LeftButton) return;
  const CanvasFrame page = PageDisplay();
  if (page.IsEmpty()) return;
  const geodata::Point at = page.ToWorld(event->position());
  // The frame drawn on top is the one hit.
  std::shared_ptr<carto::Map> hit;
  for (const auto& frame : doc.PageLayout().MapFrames())
    if (frame->Map() && frame->Bounds().Contains(at)) hit = frame->Map();
  activated_ = hit;
  if (hit) doc.PageLayout().SetFocusMap(hit);
  doc.ActiveView().Refresh();
  changed();
}

void MapCanvas::wheelEvent(QWheelEvent* event) {
  const int steps = event->angleDelta().y();
  if (steps == 0) return event->ignore();
  // One notch forward shows four fifths of the width; back, five fourths.
  ZoomAbout(event->position(), std::pow(0.8, steps / 120.0));
  event->accept();
}

}  // namespace gui
