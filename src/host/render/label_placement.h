// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Where labels stand, in device pixels: the pole of a polygon's visible part, the middle
// of a line's longest visible stretch, the eight places round a point; and the greedy
// choice among them so that no two labels overlap and none crosses the frame. Nothing
// here depends on the painter, so every output places the same labels.

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "host/render/painter.h"

namespace host::render {

struct PixelBox {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// A polygon's rings, in and out by the even-odd rule.
using Ring = std::vector<XY>;
using Polygon = std::vector<Ring>;
using Polyline = std::vector<XY>;

// The part of a shape inside the rectangle. The rings of a polygon (outer rings and
// holes alike: insideness is even-odd) are cut one by one, so a ring whose visible part
// falls apart keeps zero-width joins along the rectangle's edge, which is the edge
// anyway. A path falls into the stretches that lie inside.
Polygon ClipPolygon(const std::vector<Ring>& rings, const PixelBox& rect);
std::vector<Polyline> ClipPolyline(const Polyline& path, const PixelBox& rect);
double AreaOf(const Polygon& polygon);

// Positive inside the polygon, negative outside: the distance to the nearest edge.
double SignedDistance(const Polygon& polygon, XY p);

// The point inside the polygon farthest from its edges (polylabel), to within precision.
struct Pole {
  XY at;
  double distance = 0;
};
Pole PoleOfInaccessibility(const Polygon& polygon, double precision);

// A label's block: width by height about centre, turned angle degrees counter-clockwise
// on the page.
struct LabelBox {
  XY centre;
  double width = 0, height = 0;
  double angle = 0;

  std::array<XY, 4> Corners() const;
  bool Overlaps(const LabelBox& other) const;
  bool Overlaps(const PixelBox& rect) const;
  bool Inside(const PixelBox& rect) const;
  // Wholly inside the polygon: every corner inside, no edge crossing the box.
  bool Inside(const Polygon& polygon) const;
};

// The angle (degrees, counter-clockwise on the page) that reads along the direction from
// a to b without standing upside down: in (-90, 90].
double UprightAngle(XY a, XY b);

// The point at distance `at` along the line (clamped to its ends).
XY PointAlong(const Polyline& line, double at);
double LengthOf(const Polyline& line);

enum class LabelKind { Polygon = 0, Line = 1, Point = 2 };

// One feature's label: where it may stand, best first.
struct LabelCandidate {
  LabelKind kind = LabelKind::Point;
  std::optional<int> priority;   // the document's; lower first
  double measure = 0;            // visible area or length; larger first
  std::vector<LabelBox> positions;
  std::string repeat_key;        // one line name of one layer
  double repeat_distance = 0;    // pixels; 0 repeats freely
};

// A polygon's visible part: its pole when the box fits inside; else, when overrun is
// allowed, centred there all the same.
std::vector<LabelBox> PolygonPositions(const Polygon& visible, double width, double height, double angle,
                                       bool allowOverrun);
// Candidates along the longest visible stretch: its middle first, then either side of it.
std::vector<LabelBox> LinePositions(const std::vector<Polyline>& visible, double width, double height);
// Round a point, `gap` clear of it: upper right, upper left, lower right, lower left,
// right, left, above, below.
std::vector<LabelBox> PointPositions(XY at, double gap, double width, double height, double angle);

// The position chosen for each candidate (an index into its positions), or none. The
// candidates are taken by priority, then polygons, lines, points, each by measure; each
// takes its first position that stays inside the frame and clear of the obstacles and of
// the labels already placed.
std::vector<std::optional<size_t>> PlaceLabels(const std::vector<LabelCandidate>& candidates, const PixelBox& frame,
                                               const std::vector<PixelBox>& obstacles);

}  // namespace host::render
