// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/display_list.h"

#include <algorithm>
#include <cairo.h>
#include <cmath>
#include <limits>

namespace host::render {

DisplayList::DisplayList(XY origin, XY page) : origin_(origin) {
  const double inf = std::numeric_limits<double>::infinity();
  clip_.push_back(page.x >= 0 ? Box{0, 0, page.x, page.y} : Box{-inf, -inf, inf, inf});
}

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
}

void DisplayList::Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) {
  DisplayItem& item = add(DisplayItem::Kind::Stroke);
  item.path = moved(path);
  item.colour = colour;
  item.stroke = style;
}

void DisplayList::Paint(const Colour& colour) { add(DisplayItem::Kind::Paint).colour = colour; }

std::shared_ptr<const TextLayout> DisplayList::LayOut(const TextBlock& block) { return LayOutForVector(block); }

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
  }
  if (!any) return;
  DisplayItem& item = add(DisplayItem::Kind::Text);
  item.text = std::move(placed);
  item.shown = std::move(shown);
}

void DisplayList::DrawImage(const Image& image, double x, double y, double w, double h) {
  DisplayItem& item = add(DisplayItem::Kind::Image);
  item.image = std::make_shared<const Image>(image);
  item.x = x + origin_.x;
  item.y = y + origin_.y;
  item.w = w;
  item.h = h;
}

void DisplayList::Replay(Painter& p) const {
  DisplayList back(XY{-origin_.x, -origin_.y});
  for (const DisplayItem& i : items_) {
    switch (i.kind) {
      case DisplayItem::Kind::Save: p.Save(); break;
      case DisplayItem::Kind::Restore: p.Restore(); break;
      case DisplayItem::Kind::Clip: p.Clip(back.moved(i.path), i.rule); break;
      case DisplayItem::Kind::Fill: p.Fill(back.moved(i.path), i.colour, i.rule); break;
      case DisplayItem::Kind::Stroke: p.Stroke(back.moved(i.path), i.colour, i.stroke); break;
      case DisplayItem::Kind::Paint: p.Paint(i.colour); break;
      case DisplayItem::Kind::Text: {
        TextRun run = i.text;
        run.anchor.x -= origin_.x;
        run.anchor.y -= origin_.y;
        p.Text(run);
        break;
      }
      case DisplayItem::Kind::Image: p.DrawImage(*i.image, i.x - origin_.x, i.y - origin_.y, i.w, i.h); break;
    }
  }
}

}  // namespace host::render
