// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Features shown in another coordinate system: a transformation between two coordinate
// systems, and a feature class seen through one.

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

#include "host/geodata/feature_class.h"
#include "host/geodata/geometry.h"
#include "host/geodata/table.h"

class OGRCoordinateTransformation;

namespace host::geodata {

// From one coordinate system to another, longitude as x. Safe to share between threads.
class Transformation {
 public:
  ~Transformation();
  Transformation(const Transformation&) = delete;
  Transformation& operator=(const Transformation&) = delete;

  // Null when nothing needs transforming: either side is unknown, or both are the same.
  // Fails with a host error naming both when no transformation between them exists.
  // Made once per pair of systems in a process: making one reads the projection database.
  static std::shared_ptr<const Transformation> Between(const SpatialReference& from, const SpatialReference& to);

  // The shape in the target system; no shape when a vertex cannot be transformed.
  Geometry Apply(const Geometry& g) const;
  // The envelope that holds e once transformed, from points along its edges; empty
  // when e is empty or none of them can be transformed. Inverse goes from the target
  // back to the source. Quick enough for every search.
  Envelope Bounds(const Envelope& e) const;
  Envelope InverseBounds(const Envelope& e) const;
  // The same through OGR's TransformBounds (densified, and aware of the antimeridian and
  // the poles), for whole extents: it makes a transformation of its own at every call.
  Envelope ExtentBounds(const Envelope& e) const;

 private:
  Transformation(OGRCoordinateTransformation* forward, OGRCoordinateTransformation* inverse);
  static Envelope EdgeBounds(OGRCoordinateTransformation& ct, const Envelope& e);
  mutable std::mutex mutex_;
  OGRCoordinateTransformation* forward_;
  OGRCoordinateTransformation* inverse_;
};

// The ground length of one degree of longitude at a latitude, in metres, on the
// system's ellipsoid (a geographic system; 0 for any other).
double DegreeLength(const SpatialReference& sr, double latitude);

// A feature class's features in another coordinate system, read only. Shapes are
// transformed when first read and kept until the feature class changes; searches take
// their spatial filters in the target system. Without a transformation (one that could
// not be made) it holds no rows.
class ProjectedFeatureClass : public Table {
 public:
  ProjectedFeatureClass(std::shared_ptr<FeatureClass> source, std::shared_ptr<const Transformation> transformation);

  std::string Name() const override;
  std::string AliasName() const override;
  const std::shared_ptr<FeatureClass>& Source() const { return source_; }
  const std::shared_ptr<const Transformation>& Transform() const { return transformation_; }
  // The source's extent transformed (see Transformation::ExtentBounds).
  Envelope Extent();

 protected:
  void Refresh() override;
  int64_t OidBound() const override;
  bool FetchParts(int64_t oid, detail::RowParts& parts) const override;
  std::optional<std::vector<int64_t>> Lookup(int field, const detail::IndexKey& key) override;
  std::optional<std::vector<int64_t>> SpatialCandidates(const Envelope& box) override;
  void StoreRow(Row& row) override;
  std::string Qualifier() const override;
  GeometryType RowShapeType() const override;
  uint64_t Version() const override;

 private:
  Table& source() const { return *source_; }
  void CopyLayout();

  std::shared_ptr<FeatureClass> source_;
  std::shared_ptr<const Transformation> transformation_;
  uint64_t version_ = 0;
  std::optional<Envelope> extent_;
  struct Cached {
    std::shared_ptr<const detail::Record> from;
    std::shared_ptr<const detail::Record> to;
  };
  mutable std::mutex cache_mutex_;
  mutable std::unordered_map<int64_t, Cached> cache_;
};

}  // namespace host::geodata
