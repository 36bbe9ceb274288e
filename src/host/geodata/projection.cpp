// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/projection.h"

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <numbers>

#include <ogr_geometry.h>
#include <ogr_spatialref.h>

#include "detail/gdal.h"
#include "detail/record.h"
#include "host/vb/error.h"

namespace host::geodata {

namespace {
// Points per edge when a rectangle's outline is transformed.
constexpr int kDensify = 21;

std::string NameOf(const SpatialReference& sr) {
  std::string n = sr.Name();
  return n.empty() ? "an unnamed coordinate system" : "\"" + n + "\"";
}
}  // namespace

// ---- Transformation ----

Transformation::Transformation(OGRCoordinateTransformation* forward, OGRCoordinateTransformation* inverse)
    : forward_(forward), inverse_(inverse) {}

Transformation::~Transformation() {
  OGRCoordinateTransformation::DestroyCT(forward_);
  OGRCoordinateTransformation::DestroyCT(inverse_);
}

std::shared_ptr<const Transformation> Transformation::Between(const SpatialReference& from,
                                                              const SpatialReference& to) {
  if (from.IsUnknown() || to.IsUnknown() || from.IsSame(to)) return nullptr;
  static std::mutex mutex;
  static std::map<std::pair<std::string, std::string>, std::shared_ptr<const Transformation>> made;
  const auto key = std::make_pair(from.ToWkt(), to.ToWkt());
  std::lock_guard lock(mutex);
  if (auto it = made.find(key); it != made.end()) return it->second;
  detail::QuietGdal quiet;
  // The references are cloned by OGR; the axis order is the one the references carry
  // (traditional GIS order: longitude as x).
  OGRCoordinateTransformation* forward = OGRCreateCoordinateTransformation(from.ogr(), to.ogr());
  OGRCoordinateTransformation* inverse = forward ? OGRCreateCoordinateTransformation(to.ogr(), from.ogr()) : nullptr;
  if (!forward || !inverse) {
    OGRCoordinateTransformation::DestroyCT(forward);
    vb::raise(vb::err::HostFailure, "No transformation from " + NameOf(from) + " to " + NameOf(to));
  }
  std::shared_ptr<const Transformation> t(new Transformation(forward, inverse));
  made.emplace(key, t);
  return t;
}

Geometry Transformation::Apply(const Geometry& g) const {
  if (!g.ogr()) return g;
  OGRGeometry* copy = g.ogr()->clone();
  OGRErr err;
  {
    std::lock_guard lock(mutex_);
    detail::QuietGdal quiet;
    err = copy->transform(forward_);
  }
  if (err != OGRERR_NONE) {
    OGRGeometryFactory::destroyGeometry(copy);
    return Geometry();
  }
  return Geometry::Adopt(copy);
}

Envelope Transformation::EdgeBounds(OGRCoordinateTransformation& ct, const Envelope& e) {
  if (e.IsEmpty()) return {};
  std::vector<double> x, y;
  for (int i = 0; i < kDensify; ++i) {
    const double f = double(i) / (kDensify - 1);
    const double along_x = e.XMin() + f * e.Width(), along_y = e.YMin() + f * e.Height();
    x.insert(x.end(), {along_x, along_x, e.XMin(), e.XMax()});
    y.insert(y.end(), {e.YMin(), e.YMax(), along_y, along_y});
  }
  std::vector<int> ok(x.size());
  detail::QuietGdal quiet;
  ct.Transform(x.size(), x.data(), y.data(), nullptr, ok.data());
  Envelope out;
  for (size_t i = 0; i < x.size(); ++i) {
    if (!ok[i] || !std::isfinite(x[i]) || !std::isfinite(y[i])) continue;
    out.Union(Envelope(x[i], y[i], x[i], y[i]));
  }
  return out;
}

Envelope Transformation::Bounds(const Envelope& e) const {
  std::lock_guard lock(mutex_);
  return EdgeBounds(*forward_, e);
}

Envelope Transformation::InverseBounds(const Envelope& e) const {
  std::lock_guard lock(mutex_);
  return EdgeBounds(*inverse_, e);
}

Envelope Transformation::ExtentBounds(const Envelope& e) const {
  if (e.IsEmpty()) return {};
  double xmin, ymin, xmax, ymax;
  std::lock_guard lock(mutex_);
  detail::QuietGdal quiet;
  if (!forward_->TransformBounds(e.XMin(), e.YMin(), e.XMax(), e.YMax(), &xmin, &ymin, &xmax, &ymax, kDensify))
    return EdgeBounds(*forward_, e);
  if (!std::isfinite(xmin) || !std::isfinite(ymin) || !std::isfinite(xmax) || !std::isfinite(ymax)) return {};
  return Envelope(xmin, ymin, xmax, ymax);
}

double DegreeLength(const SpatialReference& sr, double latitude) {
  if (!sr.IsGeographic()) return 0;
  const double a = sr.ogr()->GetSemiMajor();
  const double inv_f = sr.ogr()->GetInvFlattening();
  const double f = inv_f > 0 ? 1 / inv_f : 0;
  const double e2 = f * (2 - f);
  const double phi = latitude * std::numbers::pi / 180;
  const double s = std::sin(phi);
  // The radius of the parallel: the prime vertical's radius times the cosine.
  return std::numbers::pi / 180 * a * std::cos(phi) / std::sqrt(1 - e2 * s * s);
}

// ---- ProjectedFeatureClass ----

ProjectedFeatureClass::ProjectedFeatureClass(std::shared_ptr<FeatureClass> source,
                                             std::shared_ptr<const Transformation> transformation)
    : source_(std::move(source)), transformation_(std::move(transformation)) {
  if (!source_) vb::raise(vb::err::ObjectNotSet, "No feature class to show");
  CopyLayout();
}

void ProjectedFeatureClass::CopyLayout() {
  const Table& s = source();
  fields_ = s.fields_;
  slots_ = s.slots_;
  oid_field_ = s.oid_field_;
  shape_field_ = s.shape_field_;
  version_ = s.Version();
}

std::string ProjectedFeatureClass::Name() const { return source_->Name(); }
std::string ProjectedFeatureClass::AliasName() const { return source_->AliasName(); }
std::string ProjectedFeatureClass::Qualifier() const { return source().Qualifier(); }
GeometryType ProjectedFeatureClass::RowShapeType() const { return source_->ShapeType(); }
uint64_t ProjectedFeatureClass::Version() const { return source().Version(); }

Envelope ProjectedFeatureClass::Extent() {
  if (!transformation_) return {};
  Refresh();
  if (!extent_) extent_ = transformation_->ExtentBounds(source_->Extent());
  return *extent_;
}

void ProjectedFeatureClass::Refresh() {
  source().Refresh();
  if (version_ == source().Version()) return;
  CopyLayout();
  extent_.reset();
  std::lock_guard lock(cache_mutex_);
  cache_.clear();
}

int64_t ProjectedFeatureClass::OidBound() const { return transformation_ ? source().OidBound() : 0; }

bool ProjectedFeatureClass::FetchParts(int64_t oid, detail::RowParts& parts) const {
  if (!transformation_ || !source().FetchParts(oid, parts)) return false;
  const std::shared_ptr<const detail::Record>& from = parts.part[0];
  {
    std::lock_guard lock(cache_mutex_);
    auto it = cache_.find(oid);
    if (it != cache_.end() && it->second.from == from) {
      parts.part[0] = it->second.to;
      return true;
    }
  }
  auto to = std::make_shared<detail::Record>(*from);
  to->shape = transformation_->Apply(from->shape);
  std::lock_guard lock(cache_mutex_);
  cache_[oid] = {from, to};
  parts.part[0] = std::move(to);
  return true;
}

std::optional<std::vector<int64_t>> ProjectedFeatureClass::Lookup(int field, const detail::IndexKey& key) {
  if (!transformation_) return std::vector<int64_t>{};
  return source().Lookup(field, key);
}

std::optional<std::vector<int64_t>> ProjectedFeatureClass::SpatialCandidates(const Envelope& box) {
  if (!transformation_) return std::vector<int64_t>{};
  Envelope back = transformation_->InverseBounds(box);
  // A box whose outline has no place in the source's system: every shape is tested.
  if (back.IsEmpty()) return std::nullopt;
  return source().SpatialCandidates(back);
}

void ProjectedFeatureClass::StoreRow(Row&) {
  vb::raise(vb::err::HostFailure, "\"" + Name() + "\" is shown in another coordinate system: its features are "
                                  "stored through the feature class itself");
}

}  // namespace host::geodata
