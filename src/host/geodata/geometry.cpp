// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/geometry.h"

#include <ogr_api.h>
#include <ogr_geometry.h>
#include <ogr_spatialref.h>

#include <cmath>
#include <limits>
#include <numbers>

#include "host/geodata/detail/gdal.h"
#include "host/vb/error.h"

namespace host::geodata {

namespace {
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

GeometryType ClassifyOgr(const OGRGeometry& g) {
  switch (wkbFlatten(g.getGeometryType())) {
    case wkbPoint: return GeometryType::Point;
    case wkbMultiPoint: return GeometryType::Multipoint;
    case wkbLineString:
    case wkbMultiLineString: return GeometryType::Polyline;
    case wkbPolygon:
    case wkbMultiPolygon: return GeometryType::Polygon;
    default: return GeometryType::Null;
  }
}

void AddRing(OGRPolygon& poly, const std::vector<Point>& ring) {
  // Sized once and handed over: point by point, the ring grows and is copied again.
  auto* r = new OGRLinearRing;
  const bool open = !ring.empty() && (ring.front().X != ring.back().X || ring.front().Y != ring.back().Y);
  r->setNumPoints(int(ring.size() + (open ? 1 : 0)), FALSE);
  for (size_t i = 0; i < ring.size(); ++i) r->setPoint(int(i), ring[i].X, ring[i].Y);
  if (open) r->setPoint(int(ring.size()), ring.front().X, ring.front().Y);
  poly.addRingDirectly(r);
}

void PathPoints(const OGRLineString& ls, std::vector<std::vector<Point>>& out) {
  std::vector<Point> pts;
  pts.reserve(size_t(ls.getNumPoints()));
  for (int i = 0; i < ls.getNumPoints(); ++i) pts.push_back({ls.getX(i), ls.getY(i)});
  out.push_back(std::move(pts));
}

double PathLength(const std::vector<Point>& pts) {
  double len = 0;
  for (size_t i = 1; i < pts.size(); ++i) len += std::hypot(pts[i].X - pts[i - 1].X, pts[i].Y - pts[i - 1].Y);
  return len;
}
}  // namespace

// ---- Envelope ----

Envelope::Envelope() : xmin_(kNaN), ymin_(kNaN), xmax_(kNaN), ymax_(kNaN) {}

Envelope::Envelope(double xmin, double ymin, double xmax, double ymax) : Envelope() {
  PutCoords(xmin, ymin, xmax, ymax);
}

bool Envelope::IsEmpty() const {
  return std::isnan(xmin_) || std::isnan(ymin_) || std::isnan(xmax_) || std::isnan(ymax_);
}

void Envelope::SetEmpty() { xmin_ = ymin_ = xmax_ = ymax_ = kNaN; }

void Envelope::PutCoords(double xmin, double ymin, double xmax, double ymax) {
  xmin_ = std::fmin(xmin, xmax);
  xmax_ = std::fmax(xmin, xmax);
  ymin_ = std::fmin(ymin, ymax);
  ymax_ = std::fmax(ymin, ymax);
}

double Envelope::Width() const { return IsEmpty() ? 0 : xmax_ - xmin_; }
double Envelope::Height() const { return IsEmpty() ? 0 : ymax_ - ymin_; }

Point Envelope::Center() const {
  if (IsEmpty()) return {kNaN, kNaN};
  return {(xmin_ + xmax_) / 2, (ymin_ + ymax_) / 2};
}

void Envelope::CenterAt(Point p) {
  if (IsEmpty()) return;
  double hw = Width() / 2, hh = Height() / 2;
  xmin_ = p.X - hw;
  xmax_ = p.X + hw;
  ymin_ = p.Y - hh;
  ymax_ = p.Y + hh;
}

void Envelope::Offset(double dx, double dy) {
  xmin_ += dx;
  xmax_ += dx;
  ymin_ += dy;
  ymax_ += dy;
}

void Envelope::Expand(double dx, double dy, bool asRatio) {
  if (IsEmpty()) return;
  if (asRatio) {
    Point c = Center();
    double hw = Width() * dx / 2, hh = Height() * dy / 2;
    xmin_ = c.X - hw;
    xmax_ = c.X + hw;
    ymin_ = c.Y - hh;
    ymax_ = c.Y + hh;
  } else {
    xmin_ -= dx;
    xmax_ += dx;
    ymin_ -= dy;
    ymax_ += dy;
  }
}

void Envelope::Union(const Envelope& other) {
  if (other.IsEmpty()) return;
  if (IsEmpty()) {
    *this = other;
    return;
  }
  xmin_ = std::fmin(xmin_, other.xmin_);
  ymin_ = std::fmin(ymin_, other.ymin_);
  xmax_ = std::fmax(xmax_, other.xmax_);
  ymax_ = std::fmax(ymax_, other.ymax_);
}

bool Envelope::Intersects(const Envelope& o) const {
  if (IsEmpty() || o.IsEmpty()) return false;
  return xmin_ <= o.xmax_ && o.xmin_ <= xmax_ && ymin_ <= o.ymax_ && o.ymin_ <= ymax_;
}

bool Envelope::Contains(Point p) const {
  if (IsEmpty()) return false;
  return p.X >= xmin_ && p.X <= xmax_ && p.Y >= ymin_ && p.Y <= ymax_;
}

bool Envelope::Contains(const Envelope& o) const {
  if (IsEmpty() || o.IsEmpty()) return false;
  return o.xmin_ >= xmin_ && o.xmax_ <= xmax_ && o.ymin_ >= ymin_ && o.ymax_ <= ymax_;
}

Envelope Envelope::Intersection(const Envelope& o) const {
  if (!Intersects(o)) return {};
  return Envelope(std::fmax(xmin_, o.xmin_), std::fmax(ymin_, o.ymin_), std::fmin(xmax_, o.xmax_),
                  std::fmin(ymax_, o.ymax_));
}

bool Envelope::operator==(const Envelope& o) const {
  if (IsEmpty() || o.IsEmpty()) return IsEmpty() == o.IsEmpty();
  return xmin_ == o.xmin_ && ymin_ == o.ymin_ && xmax_ == o.xmax_ && ymax_ == o.ymax_;
}

std::string GeometryTypeName(GeometryType type) {
  switch (type) {
    case GeometryType::Null: return "Null";
    case GeometryType::Point: return "Point";
    case GeometryType::Multipoint: return "Multipoint";
    case GeometryType::Polyline: return "Polyline";
    case GeometryType::Polygon: return "Polygon";
  }
  return "Null";
}

// ---- Geometry ----

Geometry::Geometry() = default;

Geometry::Geometry(std::shared_ptr<const OGRGeometry> g) : g_(std::move(g)) {
  if (!g_) return;
  type_ = ClassifyOgr(*g_);
  if (!g_->IsEmpty()) {
    OGREnvelope e;
    g_->getEnvelope(&e);
    extent_ = Envelope(e.MinX, e.MinY, e.MaxX, e.MaxY);
  }
}

Geometry::Geometry(const OGRGeometry& g) : Geometry(Adopt(g.clone())) {}

Geometry Geometry::Adopt(OGRGeometry* g) {
  if (!g) return Geometry();
  g->flattenTo2D();
  return Geometry(std::shared_ptr<const OGRGeometry>(g));
}

Geometry Geometry::MakePoint(Point p) { return Adopt(new OGRPoint(p.X, p.Y)); }

Geometry Geometry::MakeMultipoint(const std::vector<Point>& points) {
  auto* mp = new OGRMultiPoint;
  for (const Point& p : points) mp->addGeometryDirectly(new OGRPoint(p.X, p.Y));
  return Adopt(mp);
}

Geometry Geometry::MakePolyline(const std::vector<Point>& path) {
  auto* ls = new OGRLineString;
  for (const Point& p : path) ls->addPoint(p.X, p.Y);
  return Adopt(ls);
}

Geometry Geometry::MakePolyline(const std::vector<std::vector<Point>>& paths) {
  if (paths.size() == 1) return MakePolyline(paths.front());
  auto* ml = new OGRMultiLineString;
  for (const auto& path : paths) {
    auto* ls = new OGRLineString;
    for (const Point& p : path) ls->addPoint(p.X, p.Y);
    ml->addGeometryDirectly(ls);
  }
  return Adopt(ml);
}

Geometry Geometry::MakePolygon(const std::vector<Point>& ring) {
  auto* poly = new OGRPolygon;
  AddRing(*poly, ring);
  return Adopt(poly);
}

Geometry Geometry::MakePolygon(const std::vector<std::vector<Point>>& rings) {
  auto* poly = new OGRPolygon;
  for (const auto& ring : rings) AddRing(*poly, ring);
  return Adopt(poly);
}

Geometry Geometry::FromEnvelope(const Envelope& e) {
  if (e.IsEmpty()) return Geometry();
  return MakePolygon(std::vector<Point>{e.UpperLeft(), e.UpperRight(), e.LowerRight(), e.LowerLeft()});
}

Geometry Geometry::FromWkt(std::string_view wkt) {
  detail::QuietGdal quiet;
  std::string text(wkt);
  OGRGeometry* g = nullptr;
  if (OGRGeometryFactory::createFromWkt(text.c_str(), nullptr, &g) != OGRERR_NONE || !g) {
    vb::raise(vb::err::InvalidCall, "Not a well-known text geometry: \"" + text + "\"");
  }
  return Adopt(g);
}

bool Geometry::IsEmpty() const { return !g_ || g_->IsEmpty(); }

std::string Geometry::ToWkt() const { return g_ ? g_->exportToWkt() : std::string(); }

bool Geometry::Intersects(const Geometry& other) const {
  if (IsEmpty() || other.IsEmpty()) return false;
  if (!extent_.Intersects(other.extent_)) return false;
  detail::QuietGdal quiet;
  return g_->Intersects(other.g_.get());
}

PreparedGeometry::PreparedGeometry(Geometry shape) : shape_(std::move(shape)) {
  if (!shape_.IsEmpty() && OGRHasPreparedGeometrySupport()) {
    detail::QuietGdal quiet;
    prepared_ = OGRCreatePreparedGeometry(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(shape_.ogr())));
  }
}

PreparedGeometry::~PreparedGeometry() {
  if (prepared_) OGRDestroyPreparedGeometry(prepared_);
}

bool PreparedGeometry::Intersects(const Geometry& other) const {
  if (!prepared_) return shape_.Intersects(other);
  if (other.IsEmpty() || !shape_.Extent().Intersects(other.Extent())) return false;
  detail::QuietGdal quiet;
  return OGRPreparedGeometryIntersects(prepared_, OGRGeometry::ToHandle(const_cast<OGRGeometry*>(other.ogr()))) != 0;
}

bool Geometry::operator==(const Geometry& other) const {
  if (!g_ || !other.g_) return !g_ && !other.g_;
  return g_->Equals(other.g_.get());
}

std::vector<std::vector<Point>> Geometry::Parts() const {
  std::vector<std::vector<Point>> out;
  if (!g_) return out;
  auto addPolygon = [&](const OGRPolygon& poly) {
    for (const OGRLinearRing* ring : poly) PathPoints(*ring, out);
  };
  switch (wkbFlatten(g_->getGeometryType())) {
    case wkbPoint: {
      const auto* p = g_->toPoint();
      if (!p->IsEmpty()) out.push_back({{p->getX(), p->getY()}});
      break;
    }
    case wkbMultiPoint:
      for (const OGRPoint* p : *g_->toMultiPoint()) out.push_back({{p->getX(), p->getY()}});
      break;
    case wkbLineString: PathPoints(*g_->toLineString(), out); break;
    case wkbMultiLineString:
      for (const OGRLineString* ls : *g_->toMultiLineString()) PathPoints(*ls, out);
      break;
    case wkbPolygon: addPolygon(*g_->toPolygon()); break;
    case wkbMultiPolygon:
      for (const OGRPolygon* poly : *g_->toMultiPolygon()) addPolygon(*poly);
      break;
    default: break;
  }
  return out;
}

int Geometry::PointCount() const {
  int n = 0;
  for (const auto& part : Parts()) n += int(part.size());
  return n;
}

double Geometry::Area() const {
  if (type_ != GeometryType::Polygon || IsEmpty()) return 0;
  return OGR_G_Area(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(g_.get())));
}

double Geometry::Length() const {
  if (type_ != GeometryType::Polyline && type_ != GeometryType::Polygon) return 0;
  double len = 0;
  for (const auto& part : Parts()) len += PathLength(part);
  return len;
}

Point Geometry::Centroid() const {
  if (IsEmpty()) return {kNaN, kNaN};
  detail::QuietGdal quiet;
  OGRPoint c;
  if (g_->Centroid(&c) != OGRERR_NONE) return extent_.Center();
  return {c.getX(), c.getY()};
}

Point Geometry::LabelPoint() const {
  if (IsEmpty()) return {kNaN, kNaN};
  switch (type_) {
    case GeometryType::Point:
    case GeometryType::Multipoint: return Parts().front().front();
    case GeometryType::Polyline: {
      std::vector<Point> path = Parts().front();
      double half = PathLength(path) / 2, run = 0;
      for (size_t i = 1; i < path.size(); ++i) {
        double seg = std::hypot(path[i].X - path[i - 1].X, path[i].Y - path[i - 1].Y);
        if (run + seg >= half && seg > 0) {
          double t = (half - run) / seg;
          return {path[i - 1].X + t * (path[i].X - path[i - 1].X), path[i - 1].Y + t * (path[i].Y - path[i - 1].Y)};
        }
        run += seg;
      }
      return path.front();
    }
    case GeometryType::Polygon: {
      detail::QuietGdal quiet;
      OGRGeometryH h = OGR_G_PointOnSurface(OGRGeometry::ToHandle(const_cast<OGRGeometry*>(g_.get())));
      if (!h) return Centroid();
      Point p{OGR_G_GetX(h, 0), OGR_G_GetY(h, 0)};
      OGR_G_DestroyGeometry(h);
      return p;
    }
    case GeometryType::Null: break;
  }
  return extent_.Center();
}

// ---- SpatialReference ----

namespace {
struct SrsRelease {
  void operator()(const OGRSpatialReference* s) const { const_cast<OGRSpatialReference*>(s)->Release(); }
};

std::shared_ptr<const OGRSpatialReference> Own(OGRSpatialReference* s) {
  s->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return std::shared_ptr<const OGRSpatialReference>(s, SrsRelease{});
}
}  // namespace

SpatialReference::SpatialReference() = default;

SpatialReference::SpatialReference(const OGRSpatialReference& sr) : sr_(Own(sr.Clone())) {}

SpatialReference SpatialReference::FromEPSG(int code) {
  detail::QuietGdal quiet;
  auto* s = new OGRSpatialReference;
  if (s->importFromEPSG(code) != OGRERR_NONE) {
    s->Release();
    vb::raise(vb::err::HostFailure, "Unknown coordinate system: EPSG:" + std::to_string(code));
  }
  SpatialReference r;
  r.sr_ = Own(s);
  return r;
}

SpatialReference SpatialReference::FromWkt(std::string_view wkt) {
  detail::QuietGdal quiet;
  std::string text(wkt);
  auto* s = new OGRSpatialReference;
  if (s->SetFromUserInput(text.c_str()) != OGRERR_NONE) {
    s->Release();
    vb::raise(vb::err::HostFailure, "Not a coordinate system: \"" + text.substr(0, 80) + "\"");
  }
  SpatialReference r;
  r.sr_ = Own(s);
  return r;
}

bool SpatialReference::IsProjected() const { return sr_ && sr_->IsProjected(); }
bool SpatialReference::IsGeographic() const { return sr_ && sr_->IsGeographic(); }

std::string SpatialReference::Name() const {
  if (!sr_) return "";
  const char* n = sr_->GetName();
  return n ? n : "";
}

LinearUnit SpatialReference::Unit() const {
  if (!sr_) return LinearUnit::Unknown;
  if (sr_->IsGeographic()) return LinearUnit::Degrees;
  double m = sr_->GetLinearUnits();
  if (std::fabs(m - 0.3048) < 1e-9 || std::fabs(m - 1200.0 / 3937.0) < 1e-9) return LinearUnit::Feet;
  if (std::fabs(m - 1.0) < 1e-12) return LinearUnit::Meters;
  return LinearUnit::Other;
}

double SpatialReference::MetersPerUnit() const {
  if (!sr_) return 0;
  if (sr_->IsGeographic()) return sr_->GetSemiMajor() * std::numbers::pi / 180.0;
  return sr_->GetLinearUnits();
}

std::string SpatialReference::ToWkt() const {
  if (!sr_) return "";
  char* wkt = nullptr;
  sr_->exportToWkt(&wkt);
  std::string out = wkt ? wkt : "";
  CPLFree(wkt);
  return out;
}

bool SpatialReference::IsSame(const SpatialReference& other) const {
  if (!sr_ || !other.sr_) return !sr_ && !other.sr_;
  return sr_->IsSame(other.sr_.get());
}

}  // namespace host::geodata
