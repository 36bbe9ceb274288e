// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/label_placement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <queue>

namespace host::render {

namespace {

// Boxes that only touch do not overlap; a box on the frame's edge is inside.
constexpr double kSlack = 1e-6;

double segment_distance_sq(XY p, XY a, XY b) {
  double x = a.x, y = a.y, dx = b.x - x, dy = b.y - y;
  if (dx != 0 || dy != 0) {
    double t = ((p.x - x) * dx + (p.y - y) * dy) / (dx * dx + dy * dy);
    if (t > 1) {
      x = b.x;
      y = b.y;
    } else if (t > 0) {
      x += dx * t;
      y += dy * t;
    }
  }
  dx = p.x - x;
  dy = p.y - y;
  return dx * dx + dy * dy;
}

double cross(XY o, XY a, XY b) { return (a.x - o.x) * (b.y - o.y) - (a.y - o.y) * (b.x - o.x); }

bool segments_cross(XY a, XY b, XY c, XY d) {
  double d1 = cross(c, d, a), d2 = cross(c, d, b), d3 = cross(a, b, c), d4 = cross(a, b, d);
  return ((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0));
}

double ring_area(const Ring& r) {
  double a = 0;
  for (size_t i = 0, j = r.size() ? r.size() - 1 : 0; i < r.size(); j = i++) a += (r[j].x - r[i].x) * (r[j].y + r[i].y);
  return a / 2;
}

// The outer ring's centroid: polylabel's first guess, good for convex shapes.
XY ring_centroid(const Ring& r) {
  double area = 0, x = 0, y = 0;
  for (size_t i = 0, j = r.size() ? r.size() - 1 : 0; i < r.size(); j = i++) {
    double f = r[i].x * r[j].y - r[j].x * r[i].y;
    x += (r[i].x + r[j].x) * f;
    y += (r[i].y + r[j].y) * f;
    area += f * 3;
  }
  if (area == 0) return r.empty() ? XY{} : r[0];
  return {x / area, y / area};
}

struct Axes {
  XY u, v;  // along the text, and down it
};

Axes axes_of(double angle) {
  double a = angle * M_PI / 180.0;
  return {{std::cos(a), -std::sin(a)}, {std::sin(a), std::cos(a)}};
}

double dot(XY a, XY b) { return a.x * b.x + a.y * b.y; }

bool separated_on(XY axis, const std::array<XY, 4>& a, const std::array<XY, 4>& b) {
  double amin = dot(axis, a[0]), amax = amin, bmin = dot(axis, b[0]), bmax = bmin;
  for (int i = 1; i < 4; ++i) {
    amin = std::min(amin, dot(axis, a[i]));
    amax = std::max(amax, dot(axis, a[i]));
    bmin = std::min(bmin, dot(axis, b[i]));
    bmax = std::max(bmax, dot(axis, b[i]));
  }
  return amax <= bmin + kSlack || bmax <= amin + kSlack;
}

template <typename Points>
PixelBox bounds_of_points(const Points& points, PixelBox r) {
  for (const XY& p : points) {
    r.x0 = std::min(r.x0, p.x);
    r.y0 = std::min(r.y0, p.y);
    r.x1 = std::max(r.x1, p.x);
    r.y1 = std::max(r.y1, p.y);
  }
  return r;
}

constexpr double kInf = std::numeric_limits<double>::infinity();


PixelBox bounds_of(const Polygon& polygon) {
  PixelBox r{kInf, kInf, -kInf, -kInf};
  for (const Ring& ring : polygon) r = bounds_of_points(ring, r);
  return r;
}

// One side of the rectangle: inside(p) and where a segment meets it.
struct Edge {
  int axis;      // 0: x, 1: y
  double at;
  bool keep_greater;
  bool inside(XY p) const {
    double v = axis == 0 ? p.x : p.y;
    return keep_greater ? v >= at : v <= at;
  }
  XY meet(XY a, XY b) const {
    double t = axis == 0 ? (at - a.x) / (b.x - a.x) : (at - a.y) / (b.y - a.y);
    return axis == 0 ? XY{at, a.y + (b.y - a.y) * t} : XY{a.x + (b.x - a.x) * t, at};
  }
};

std::array<Edge, 4> edges_of(const PixelBox& r) {
  return {Edge{0, r.x0, true}, Edge{0, r.x1, false}, Edge{1, r.y0, true}, Edge{1, r.y1, false}};
}

}  // namespace

Polygon ClipPolygon(const std::vector<Ring>& rings, const PixelBox& rect) {
  Polygon out;
  for (const Ring& ring : rings) {
    Ring r = ring;
    // Sutherland and Hodgman: one side of the rectangle at a time.
    for (const Edge& e : edges_of(rect)) {
      Ring next;
      for (size_t i = 0; i < r.size(); ++i) {
        const XY& a = r[(i + r.size() - 1) % r.size()];
        const XY& b = r[i];
        if (e.inside(b)) {
          if (!e.inside(a)) next.push_back(e.meet(a, b));
          next.push_back(b);
        } else if (e.inside(a)) {
          next.push_back(e.meet(a, b));
        }
      }
      r = std::move(next);
    }
    if (r.size() >= 3 && ring_area(r) != 0) out.push_back(std::move(r));
  }
  return out;
}

std::vector<Polyline> ClipPolyline(const Polyline& path, const PixelBox& rect) {
  std::vector<Polyline> out;
  Polyline current;
  for (size_t i = 1; i < path.size(); ++i) {
    // Liang and Barsky: the part of the segment between t0 and t1 lies inside.
    XY a = path[i - 1], b = path[i];
    double t0 = 0, t1 = 1, dx = b.x - a.x, dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - rect.x0, rect.x1 - a.x, a.y - rect.y0, rect.y1 - a.y};
    bool visible = true;
    for (int k = 0; k < 4 && visible; ++k) {
      if (p[k] == 0) {
        visible = q[k] >= 0;
      } else {
        double r = q[k] / p[k];
        if (p[k] < 0) t0 = std::max(t0, r);
        else t1 = std::min(t1, r);
        visible = t0 <= t1;
      }
    }
    if (!visible) {
      if (current.size() >= 2) out.push_back(std::move(current));
      current.clear();
      continue;
    }
    XY from{a.x + dx * t0, a.y + dy * t0}, to{a.x + dx * t1, a.y + dy * t1};
    if (current.empty()) current.push_back(from);
    current.push_back(to);
    if (t1 < 1) {
      if (current.size() >= 2) out.push_back(std::move(current));
      current.clear();
    }
  }
  if (current.size() >= 2) out.push_back(std::move(current));
  return out;
}

// Outer rings and holes run opposite ways, so the signed sum is the net area.
double AreaOf(const Polygon& polygon) {
  double a = 0;
  for (const Ring& r : polygon) a += ring_area(r);
  return std::abs(a);
}

double SignedDistance(const Polygon& polygon, XY p) {
  bool inside = false;
  double min_sq = std::numeric_limits<double>::infinity();
  for (const Ring& ring : polygon) {
    for (size_t i = 0, j = ring.size() ? ring.size() - 1 : 0; i < ring.size(); j = i++) {
      const XY& a = ring[i];
      const XY& b = ring[j];
      if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
      min_sq = std::min(min_sq, segment_distance_sq(p, a, b));
    }
  }
  if (!std::isfinite(min_sq)) return -std::numeric_limits<double>::infinity();
  return (inside ? 1 : -1) * std::sqrt(min_sq);
}

Pole PoleOfInaccessibility(const Polygon& polygon, double precision) {
  if (polygon.empty() || polygon[0].empty()) return {};
  const PixelBox b = bounds_of(polygon);
  const double x0 = b.x0, y0 = b.y0, x1 = b.x1, y1 = b.y1;
  // Cells no smaller than a thousandth of the longer side: a sliver does not fill the
  // queue with thousands of cells at the start.
  double cell = std::max(std::min(x1 - x0, y1 - y0), std::max(x1 - x0, y1 - y0) / 1000);
  if (!(cell > 0)) return {{x0, y0}, 0};

  struct Cell {
    XY c;
    double h, d, max;
  };
  auto make = [&](double x, double y, double h) {
    double d = SignedDistance(polygon, {x, y});
    return Cell{{x, y}, h, d, d + h * M_SQRT2};
  };
  auto lower = [](const Cell& a, const Cell& b) { return a.max < b.max; };
  std::priority_queue<Cell, std::vector<Cell>, decltype(lower)> queue(lower);
  double h = cell / 2;
  // Counted as well as summed: far from the origin, a cell narrower than the spacing of
  // the doubles there leaves the sum where it was.
  const double across = std::ceil((x1 - x0) / cell), down = std::ceil((y1 - y0) / cell);
  double x = x0;
  for (double i = 0; i <= across && x < x1; ++i, x += cell) {
    double y = y0;
    for (double j = 0; j <= down && y < y1; ++j, y += cell) queue.push(make(x + h, y + h, h));
  }

  XY c = ring_centroid(polygon[0]);
  Cell best = make(c.x, c.y, 0);
  Cell middle = make(x0 + (x1 - x0) / 2, y0 + (y1 - y0) / 2, 0);
  if (middle.d > best.d) best = middle;

  // A bound on the work for shapes with very thin parts; the best so far is kept.
  for (int visited = 0; !queue.empty() && visited < 100000; ++visited) {
    Cell next = queue.top();
    queue.pop();
    if (next.d > best.d) best = next;
    if (next.max - best.d <= precision) continue;
    double q = next.h / 2;
    queue.push(make(next.c.x - q, next.c.y - q, q));
    queue.push(make(next.c.x + q, next.c.y - q, q));
    queue.push(make(next.c.x - q, next.c.y + q, q));
    queue.push(make(next.c.x + q, next.c.y + q, q));
  }
  return {best.c, best.d};
}

std::array<XY, 4> LabelBox::Corners() const {
  Axes a = axes_of(angle);
  double w = width / 2, h = height / 2;
  auto at = [&](double su, double sv) {
    return XY{centre.x + a.u.x * w * su + a.v.x * h * sv, centre.y + a.u.y * w * su + a.v.y * h * sv};
  };
  return {at(-1, -1), at(1, -1), at(1, 1), at(-1, 1)};
}

bool LabelBox::Overlaps(const LabelBox& other) const {
  auto a = Corners(), b = other.Corners();
  Axes x = axes_of(angle), y = axes_of(other.angle);
  for (XY axis : {x.u, x.v, y.u, y.v})
    if (separated_on(axis, a, b)) return false;
  return true;
}

bool LabelBox::Overlaps(const PixelBox& r) const {
  return Overlaps(LabelBox{{(r.x0 + r.x1) / 2, (r.y0 + r.y1) / 2}, r.x1 - r.x0, r.y1 - r.y0, 0});
}

bool LabelBox::Inside(const PixelBox& r) const {
  for (const XY& p : Corners())
    if (p.x < r.x0 - kSlack || p.x > r.x1 + kSlack || p.y < r.y0 - kSlack || p.y > r.y1 + kSlack) return false;
  return true;
}

bool LabelBox::Inside(const Polygon& polygon) const {
  auto c = Corners();
  for (const XY& p : c)
    if (SignedDistance(polygon, p) <= 0) return false;
  Axes a = axes_of(angle);
  for (const Ring& ring : polygon) {
    for (size_t i = 0; i < ring.size(); ++i) {
      // A hole, or a spike of the outline, within the box.
      XY d{ring[i].x - centre.x, ring[i].y - centre.y};
      if (std::abs(dot(d, a.u)) < width / 2 && std::abs(dot(d, a.v)) < height / 2) return false;
      const XY& next = ring[(i + 1) % ring.size()];
      for (int k = 0; k < 4; ++k)
        if (segments_cross(ring[i], next, c[size_t(k)], c[size_t((k + 1) % 4)])) return false;
    }
  }
  return true;
}

double UprightAngle(XY a, XY b) {
  double deg = std::atan2(-(b.y - a.y), b.x - a.x) * 180.0 / M_PI;
  if (deg > 90) deg -= 180;
  if (deg <= -90) deg += 180;
  return deg;
}

double LengthOf(const Polyline& line) {
  double l = 0;
  for (size_t i = 1; i < line.size(); ++i) l += std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
  return l;
}

XY PointAlong(const Polyline& line, double at) {
  if (line.empty()) return {};
  for (size_t i = 1; i < line.size(); ++i) {
    double step = std::hypot(line[i].x - line[i - 1].x, line[i].y - line[i - 1].y);
    if (at <= step && step > 0) {
      double t = std::max(0.0, at / step);
      return {line[i - 1].x + (line[i].x - line[i - 1].x) * t, line[i - 1].y + (line[i].y - line[i - 1].y) * t};
    }
    at -= step;
  }
  return line.back();
}

std::vector<LabelBox> PolygonPositions(const Polygon& visible, double width, double height, double angle,
                                       bool allowOverrun) {
  if (!(AreaOf(visible) > 0)) return {};
  PixelBox b = bounds_of(visible);
  // Relative, so that a page drawn at another resolution finds the same point.
  double precision = std::min(b.x1 - b.x0, b.y1 - b.y0) / 200;
  LabelBox box{PoleOfInaccessibility(visible, precision).at, width, height, angle};
  if (box.Inside(visible)) return {box};
  // Centred on the part; if that crosses the frame the placement leaves it out.
  if (!allowOverrun) return {};
  return {box};
}

std::vector<LabelBox> LinePositions(const std::vector<Polyline>& visible, double width, double height) {
  const Polyline* longest = nullptr;
  double length = 0;
  for (const Polyline& l : visible) {
    double len = LengthOf(l);
    if (len > length) {
      length = len;
      longest = &l;
    }
  }
  if (!longest || length < width) return {};
  std::vector<LabelBox> out;
  for (double f : {0.5, 0.25, 0.75}) {
    double s = std::clamp(length * f, width / 2, length - width / 2);
    if (!out.empty() && std::abs(PointAlong(*longest, s).x - out.back().centre.x) < 1e-9 &&
        std::abs(PointAlong(*longest, s).y - out.back().centre.y) < 1e-9)
      continue;
    XY a = PointAlong(*longest, s - width / 2), b = PointAlong(*longest, s + width / 2);
    if (a.x == b.x && a.y == b.y) continue;
    out.push_back(LabelBox{PointAlong(*longest, s), width, height, UprightAngle(a, b)});
  }
  return out;
}

std::vector<LabelBox> PointPositions(XY at, double gap, double width, double height, double angle) {
  const double dx = gap + width / 2, dy = gap + height / 2;
  const XY offsets[] = {{dx, -dy}, {-dx, -dy}, {dx, dy}, {-dx, dy}, {dx, 0}, {-dx, 0}, {0, -dy}, {0, dy}};
  std::vector<LabelBox> out;
  for (const XY& o : offsets) out.push_back(LabelBox{{at.x + o.x, at.y + o.y}, width, height, angle});
  return out;
}

std::vector<std::optional<size_t>> PlaceLabels(const std::vector<LabelCandidate>& candidates, const PixelBox& frame,
                                               const std::vector<PixelBox>& obstacles) {
  std::vector<size_t> order(candidates.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&](size_t i, size_t j) {
    const LabelCandidate& a = candidates[i];
    const LabelCandidate& b = candidates[j];
    if (a.priority.has_value() != b.priority.has_value()) return a.priority.has_value();
    if (a.priority && *a.priority != *b.priority) return *a.priority < *b.priority;
    if (a.kind != b.kind) return a.kind < b.kind;
    return a.measure > b.measure;
  });

  std::vector<std::optional<size_t>> chosen(candidates.size());
  std::vector<LabelBox> placed;
  std::map<std::string, std::vector<XY>> names;  // where each repeated name already stands
  for (size_t i : order) {
    const LabelCandidate& c = candidates[i];
    const bool repeats = c.repeat_distance > 0 && !c.repeat_key.empty();
    for (size_t k = 0; k < c.positions.size() && !chosen[i]; ++k) {
      const LabelBox& box = c.positions[k];
      if (!box.Inside(frame)) continue;
      if (std::any_of(obstacles.begin(), obstacles.end(), [&](const PixelBox& o) { return box.Overlaps(o); }))
        continue;
      if (std::any_of(placed.begin(), placed.end(), [&](const LabelBox& o) { return box.Overlaps(o); })) continue;
      if (repeats) {
        const auto& near = names[c.repeat_key];
        if (std::any_of(near.begin(), near.end(), [&](XY p) {
              return std::hypot(p.x - box.centre.x, p.y - box.centre.y) < c.repeat_distance;
            }))
          continue;
      }
      chosen[i] = k;
      placed.push_back(box);
      if (repeats) names[c.repeat_key].push_back(box.centre);
    }
  }
  return chosen;
}

}  // namespace host::render
