// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/display_list.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <limits>

namespace host::render {

DisplayList::DisplayList(XY origin, XY page) : DisplayList(origin, page, LayOutForVector) {}

DisplayList::DisplayList(XY origin, XY page, LayOutFunction layOut) : origin_(origin), lay_out_(std::move(layOut)) {
  const double inf = std::numeric_limits<double>::infinity();
  clip_.push_back(page.x >= 0 ? Box{0, 0, page.x, page.y} : Box{-inf, -inf, inf, inf});
}

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// The path's points, control points and arcs' squares, widened by margin.
Reach reach_of(const Path& path, double margin) {
  Reach r{kInf, kInf, -kInf, -kInf};
  auto take = [&](double x0, double y0, double x1, double y1) {
    r = {std::min(r.x0, x0), std::min(r.y0, y0), std::max(r.x1, x1), std::max(r.y1, y1)};
  };
  for (const Path::Element& e : path.Elements()) {
    const XY* q = e.p;
    switch (e.op) {
      case Path::Op::Move:
      case Path::Op::Line: take(q[0].x, q[0].y, q[0].x, q[0].y); break;
      case Path::Op::Curve:
        for (int i = 0; i < 3; ++i) take(q[i].x, q[i].y, q[i].x, q[i].y);
        break;
      case Path::Op::Arc: {
        // The line an arc draws from the point before it ends within the arc's square.
        const double rad = std::fabs(q[1].x);
        take(q[0].x - rad, q[0].y - rad, q[0].x + rad, q[0].y + rad);
        break;
      }
      case Path::Op::Rectangle:
        take(std::min(q[0].x, q[0].x + q[1].x), std::min(q[0].y, q[0].y + q[1].y), std::max(q[0].x, q[0].x + q[1].x),
             std::max(q[0].y, q[0].y + q[1].y));
        break;
      case Path::Op::Close: break;
    }
  }
  if (r.x0 > r.x1) return r;  // nothing to draw
  if (!std::isfinite(margin)) return Reach{};
  return {r.x0 - margin, r.y0 - margin, r.x1 + margin, r.y1 + margin};
}

// Antialiasing reaches into the pixel next to an edge; two pixels leave room for rounding.
constexpr double kEdge = 2;

double stroke_margin(const StrokeStyle& s) {
  const double half = std::fabs(s.width) / 2;
  // A miter reaches out from its corner by at most the limit times half the width; a
  // square cap by half the width times the square root of two.
  const double factor = s.join == LineJoin::Miter ? std::max(s.miter_limit, 1.5) : 1.5;
  return half * factor + kEdge;
}

}  // namespace

Path DisplayList::moved(const Path& p) const {
  if (origin_.x == 0 && origin_.y == 0) return p;
  Path out;
  for (const Path::Element& e : p.Elements()) {
    const XY* q = e.p;
    switch (e.op) {
      case Path::Op::Move: out.MoveTo(q[0].x + origin_.x, q[0].y + origin_.y); break;
      case Path::Op::Line: out.LineTo(q[0].x + origin_.x, q[0].y + origin_.y); break;
      case Path::Op::Curve:
        out.CurveTo(q[0].x + origin_.x, q[0].y + origin_.y, q[1].x + origin_.x, q[1].y + origin_.y, q[2].x + origin_.x,
                    q[2].y + origin_.y);
        break;
      case Path::Op::Arc: out.Arc(q[0].x + origin_.x, q[0].y + origin_.y, q[1].x, q[2].x, q[2].y); break;
      case Path::Op::Rectangle: out.Rectangle(q[0].x + origin_.x, q[0].y + origin_.y, q[1].x, q[1].y); break;
      case Path::Op::Close: out.Close(); break;
    }
  }
  return out;
}

DisplayItem& DisplayList::add(DisplayItem::Kind kind) {
  items_.emplace_back();
  items_.back().kind = kind;
  return items_.back();
}

void DisplayList::Save() {
  add(DisplayItem::Kind::Save);
  clip_.push_back(clip_.back());
}

void DisplayList::Restore() {
  add(DisplayItem::Kind::Restore);
  if (clip_.size() > 1) clip_.pop_back();
}

void DisplayList::Clip(const Path& path, FillRule rule) {
  DisplayItem& item = add(DisplayItem::Kind::Clip);
  item.path = moved(path);
  item.rule = rule;
  Box& c = clip_.back();
  const Path points = item.path.Expanded();
  Box b{c.x1, c.y1, c.x0, c.y0};
  if (!points.Empty()) b = {std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
                            -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
  for (const Path::Element& e : points.Elements())
    for (int i = 0; i < (e.op == Path::Op::Curve ? 3 : e.op == Path::Op::Close ? 0 : 1); ++i) {
      b.x0 = std::min(b.x0, e.p[i].x);
      b.y0 = std::min(b.y0, e.p[i].y);
      b.x1 = std::max(b.x1, e.p[i].x);
      b.y1 = std::max(b.y1, e.p[i].y);
    }
  c = {std::max(c.x0, b.x0), std::max(c.y0, b.y0), std::min(c.x1, b.x1), std::min(c.y1, b.y1)};
}

void DisplayList::Fill(const Path& path, const Colour& colour, FillRule rule) {
  DisplayItem& item = add(DisplayItem::Kind::Fill);
  item.path = moved(path);
  item.colour = colour;
  item.rule = rule;
  item.reach = reach_of(item.path, kEdge);
}

void DisplayList::Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) {
  DisplayItem& item = add(DisplayItem::Kind::Stroke);
  item.path = moved(path);
  item.colour = colour;
  item.stroke = style;
  item.reach = reach_of(item.path, stroke_margin(style));
}

void DisplayList::Paint(const Colour& colour) { add(DisplayItem::Kind::Paint).colour = colour; }

std::shared_ptr<const TextLayout> DisplayList::LayOut(const TextBlock& block) { return lay_out_(block); }

void DisplayList::Text(const TextRun& run) {
  if (!run.layout) return;
  TextRun placed = run;
  placed.anchor.x += origin_.x;
  placed.anchor.y += origin_.y;
  // As cairo leaves out glyphs that fall wholly outside the clip, in whole pixels.
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, placed.anchor.x, placed.anchor.y);
  if (placed.angle != 0) cairo_matrix_rotate(&m, -placed.angle * M_PI / 180.0);
  const Box& c = clip_.back();
  std::vector<bool> shown;
  Reach reach{kInf, kInf, -kInf, -kInf};
  bool any = false;
  for (const GlyphRun& g : placed.layout->Runs()) {
    Box b{std::numeric_limits<double>::infinity(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (XY corner : {g.ink_min, XY{g.ink_max.x, g.ink_min.y}, g.ink_max, XY{g.ink_min.x, g.ink_max.y}}) {
      double x = placed.offset.x + corner.x, y = placed.offset.y + corner.y;
      cairo_matrix_transform_point(&m, &x, &y);
      b = {std::min(b.x0, x), std::min(b.y0, y), std::max(b.x1, x), std::max(b.y1, y)};
    }
    bool in = std::max(std::floor(b.x0), std::floor(c.x0)) < std::min(std::ceil(b.x1), std::ceil(c.x1)) &&
              std::max(std::floor(b.y0), std::floor(c.y0)) < std::min(std::ceil(b.y1), std::ceil(c.y1));
    shown.push_back(in);
    any |= in;
    reach = {std::min(reach.x0, b.x0), std::min(reach.y0, b.y0), std::max(reach.x1, b.x1), std::max(reach.y1, b.y1)};
  }
  if (!any) return;
  // Hinting may move a glyph's ink a pixel off what the layout says, and a halo widens it.
  const double margin = kEdge + (placed.halo ? placed.halo->width : 0);
  DisplayItem& item = add(DisplayItem::Kind::Text);
  item.text = std::move(placed);
  item.shown = std::move(shown);
  item.reach = {reach.x0 - margin, reach.y0 - margin, reach.x1 + margin, reach.y1 + margin};
}

void DisplayList::DrawImage(const Image& image, double x, double y, double w, double h) {
  DisplayItem& item = add(DisplayItem::Kind::Image);
  item.image = std::make_shared<const Image>(image);
  item.x = x + origin_.x;
  item.y = y + origin_.y;
  item.w = w;
  item.h = h;
  item.reach = {std::min(item.x, item.x + w) - kEdge, std::min(item.y, item.y + h) - kEdge,
                std::max(item.x, item.x + w) + kEdge, std::max(item.y, item.y + h) + kEdge};
}

void DisplayList::Replay(Painter& p) const {
  const DisplayList back(XY{-origin_.x, -origin_.y});
  for (const DisplayItem& i : items_) back.draw(p, i);
}

void DisplayList::draw(Painter& p, const DisplayItem& i) const {
  // Moved by this list's origin; without one, the item's own path is drawn, uncopied.
  const bool still = origin_.x == 0 && origin_.y == 0;
  Path shifted;
  const Path& path = still || i.path.Empty() ? i.path : (shifted = moved(i.path));
  switch (i.kind) {
    case DisplayItem::Kind::Save: p.Save(); break;
    case DisplayItem::Kind::Restore: p.Restore(); break;
    case DisplayItem::Kind::Clip: p.Clip(path, i.rule); break;
    case DisplayItem::Kind::Fill: p.Fill(path, i.colour, i.rule); break;
    case DisplayItem::Kind::Stroke: p.Stroke(path, i.colour, i.stroke); break;
    case DisplayItem::Kind::Paint: p.Paint(i.colour); break;
    case DisplayItem::Kind::Text: {
      if (still) return p.Text(i.text);
      TextRun run = i.text;
      run.anchor.x += origin_.x;
      run.anchor.y += origin_.y;
      p.Text(run);
      break;
    }
    case DisplayItem::Kind::Image: p.DrawImage(*i.image, i.x + origin_.x, i.y + origin_.y, i.w, i.h); break;
  }
}

void DisplayList::ReplayPart(Painter& p, size_t from, size_t to, double top, double bottom) const {
  to = std::min(to, items_.size());
  from = std::min(from, to);
  // The clips open at from, each Save's level with the clips made in it.
  std::vector<std::vector<size_t>> open(1);
  for (size_t i = 0; i < from; ++i) {
    switch (items_[i].kind) {
      case DisplayItem::Kind::Save: open.emplace_back(); break;
      case DisplayItem::Kind::Restore:
        if (open.size() > 1) open.pop_back();
        break;
      case DisplayItem::Kind::Clip: open.back().push_back(i); break;
      default: break;
    }
  }
  for (size_t level = 0; level < open.size(); ++level) {
    if (level > 0) p.Save();
    for (size_t i : open[level]) p.Clip(items_[i].path, items_[i].rule);
  }
  const DisplayList still;
  for (size_t n = from; n < to; ++n) {
    const DisplayItem& i = items_[n];
    if (i.reach.y1 >= top && i.reach.y0 <= bottom) still.draw(p, i);
  }
}

}  // namespace host::render
