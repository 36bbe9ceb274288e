// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Plain geometry values: points, envelopes, shapes and coordinate systems.
//
// A Geometry owns its own deep copy of an OGR geometry and never changes after it
// is made, so copies of a Geometry share that copy safely. Envelopes are small
// mutable values, as the command builds and adjusts them coordinate by coordinate.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

class OGRGeometry;
class OGRSpatialReference;
struct _OGRPreparedGeometry;

namespace host::geodata {

struct Point {
  double X = 0;
  double Y = 0;
  bool operator==(const Point&) const = default;
};

// An axis-aligned rectangle. A new envelope is empty; it stops being empty once all
// four coordinates have a value (PutCoords, the constructor, or the four setters).
// The setters take values as given, so an envelope can be built one side at a time;
// PutCoords and the constructor put the smaller value in the minimum.
class Envelope {
 public:
  Envelope();
  Envelope(double xmin, double ymin, double xmax, double ymax);

  bool IsEmpty() const;
  void SetEmpty();
  void PutCoords(double xmin, double ymin, double xmax, double ymax);

  double XMin() const { return xmin_; }
  double YMin() const { return ymin_; }
  double XMax() const { return xmax_; }
  double YMax() const { return ymax_; }
  void SetXMin(double v) { xmin_ = v; }
  void SetYMin(double v) { ymin_ = v; }
  void SetXMax(double v) { xmax_ = v; }
  void SetYMax(double v) { ymax_ = v; }

  double Width() const;   // 0 when empty
  double Height() const;  // 0 when empty
  Point Center() const;
  Point LowerLeft() const { return {xmin_, ymin_}; }
  Point UpperLeft() const { return {xmin_, ymax_}; }
  Point UpperRight() const { return {xmax_, ymax_}; }
  Point LowerRight() const { return {xmax_, ymin_}; }

  // Moves the envelope so that its centre is p, keeping its size.
  void CenterAt(Point p);
  void Offset(double dx, double dy);
  // asRatio false: dx is added on the left and on the right, dy below and above.
  // asRatio true: the width is multiplied by dx and the height by dy about the centre.
  // An empty envelope stays empty.
  void Expand(double dx, double dy, bool asRatio);
  // Grows to take in other; an empty envelope takes other's bounds.
  void Union(const Envelope& other);
  // Closed bounds: envelopes that share only an edge intersect. Empty intersects nothing.
  bool Intersects(const Envelope& other) const;
  bool Contains(Point p) const;
  bool Contains(const Envelope& other) const;
  Envelope Intersection(const Envelope& other) const;  // empty when they do not meet

  bool operator==(const Envelope& other) const;

 private:
  double xmin_, ymin_, xmax_, ymax_;
};

// Shape kinds, numbered as the command's platform numbers them.
enum class GeometryType : int { Null = 0, Point = 1, Multipoint = 2, Polyline = 3, Polygon = 4 };

// The text the command shows for a shape kind ("Polygon", ...).
std::string GeometryTypeName(GeometryType type);

class Geometry {
 public:
  Geometry();  // no shape: Type() is Null, IsEmpty() is true
  // Takes a deep copy of g (flattened to 2D).
  explicit Geometry(const OGRGeometry& g);
  // Takes ownership of g (flattened to 2D); null gives no shape.
  static Geometry Adopt(OGRGeometry* g);

  static Geometry MakePoint(Point p);
  static Geometry MakePoint(double x, double y) { return MakePoint(Point{x, y}); }
  static Geometry MakeMultipoint(const std::vector<Point>& points);
  // One path; several paths make a multi-part polyline.
  static Geometry MakePolyline(const std::vector<Point>& path);
  static Geometry MakePolyline(const std::vector<std::vector<Point>>& paths);
  // A polygon from one ring, or from rings of which the first is the outer one and
  // the others holes. A ring that is not closed is closed.
  static Geometry MakePolygon(const std::vector<Point>& ring);
  static Geometry MakePolygon(const std::vector<std::vector<Point>>& rings);
  // The envelope as a rectangle polygon (clockwise from the upper left corner).
  static Geometry FromEnvelope(const Envelope& e);
  // Well-known text; a text that is not one fails with a clear error.
  static Geometry FromWkt(std::string_view wkt);

  GeometryType Type() const { return type_; }
  bool IsEmpty() const;
  // The shape's envelope (empty when there is no shape).
  const Envelope& Extent() const { return extent_; }
  std::string ToWkt() const;  // "" when there is no shape

  // True when the two shapes share at least one point (GEOS through OGR).
  bool Intersects(const Geometry& other) const;
  // The same vertices in the same order.
  bool operator==(const Geometry& other) const;

  // For drawing: each ring of a polygon (outer rings and holes, in file order), each
  // path of a polyline, or each point of a point shape as a part of one point.
  std::vector<std::vector<Point>> Parts() const;
  int PointCount() const;
  double Area() const;    // polygons; 0 otherwise
  double Length() const;  // polylines: the length; polygons: the perimeter
  Point Centroid() const;
  // A point inside a polygon (for labels), the point halfway along a polyline's first
  // path, the (first) point of a point shape.
  Point LabelPoint() const;

  // The underlying OGR geometry (null when there is no shape); owned by this value.
  const OGRGeometry* ogr() const { return g_.get(); }

 private:
  explicit Geometry(std::shared_ptr<const OGRGeometry> g);
  std::shared_ptr<const OGRGeometry> g_;
  GeometryType type_ = GeometryType::Null;
  Envelope extent_;
};

// A shape made ready for many intersection tests (a GEOS prepared geometry): the
// shape is converted and indexed once instead of at every test, which pays for a large
// polygon tested against many small shapes.
class PreparedGeometry {
 public:
  explicit PreparedGeometry(Geometry shape);
  ~PreparedGeometry();
  PreparedGeometry(const PreparedGeometry&) = delete;
  PreparedGeometry& operator=(const PreparedGeometry&) = delete;

  // The answer of Shape().Intersects(other).
  bool Intersects(const Geometry& other) const;
  const Geometry& Shape() const { return shape_; }

 private:
  Geometry shape_;
  _OGRPreparedGeometry* prepared_ = nullptr;  // none without GEOS: the plain test then
};

enum class LinearUnit { Unknown, Meters, Feet, Degrees, Other };

// A coordinate system, or none ("unknown": no .prj is written, units are unknown).
class SpatialReference {
 public:
  SpatialReference();  // unknown
  static SpatialReference Unknown() { return {}; }
  // Fails with a clear error for a code the coordinate system database does not know.
  static SpatialReference FromEPSG(int code);
  // Well-known text (also the ESRI flavour of a .prj file).
  static SpatialReference FromWkt(std::string_view wkt);
  // Takes a copy of sr.
  explicit SpatialReference(const OGRSpatialReference& sr);

  bool IsUnknown() const { return !sr_; }
  bool IsProjected() const;
  bool IsGeographic() const;
  std::string Name() const;  // "" when unknown
  // Feet (international or US survey), metres, degrees for a geographic system.
  LinearUnit Unit() const;
  double MetersPerUnit() const;  // 0 when unknown
  std::string ToWkt() const;     // "" when unknown
  // The same coordinate system (both unknown counts as the same).
  bool IsSame(const SpatialReference& other) const;

  const OGRSpatialReference* ogr() const { return sr_.get(); }

 private:
  std::shared_ptr<const OGRSpatialReference> sr_;
};

}  // namespace host::geodata
