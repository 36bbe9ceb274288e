// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/layout/LocationIndex.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <vector>

#include "host/carto/layer.h"
#include "host/geodata/feature_class.h"
#include "host/geodata/filter.h"
#include "host/ui/controls.h"
#include "host/vb/error.h"
#include "host/vb/text.h"
#include "host/vb/variant.h"

namespace mapbooks {

namespace vb = host::vb;
namespace geo = host::geodata;

void LocationIndex::Add(const std::string& key, const std::string& entry) {
  auto it = index_.find(key);
  if (it == index_.end()) {
    index_.emplace(key, keys_.size());
    keys_.push_back({key, entry, {vb::LCase(entry)}});
    return;
  }
  Entry& e = keys_[it->second];
  if (!e.folded.insert(vb::LCase(entry)).second) return;
  e.item += ",";
  e.item += entry;
}

const std::string& LocationIndex::Item(const std::string& key) const {
  static const std::string none;
  auto it = index_.find(key);
  return it == index_.end() ? none : keys_[it->second].item;
}

std::vector<std::string> LocationIndex::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(keys_.size());
  for (const Entry& e : keys_) keys.push_back(e.key);
  return keys;
}

std::vector<std::string> LocationIndex::IndexLines() const {
  std::vector<std::string> lines;
  lines.reserve(keys_.size());
  for (const Entry& e : keys_) lines.push_back(e.key + "..." + e.item);
  return lines;
}

std::vector<std::string> LocationIndex::TableLines() const {
  std::vector<std::string> lines;
  lines.reserve(keys_.size());
  for (const Entry& e : keys_) lines.push_back(e.key + "\t" + vb::Trim(vb::Replace(e.item, ", ", "\t")));
  return lines;
}

namespace {
// The value as text, or nothing when it is Null or blank.
std::optional<std::string> label_of(const geo::Row& row, int field) {
  vb::Variant v = row.Value(field);
  if (v.IsNull()) return std::nullopt;
  std::string text = vb::CStr(v);
  if (vb::Trim(text).empty()) return std::nullopt;
  return text;
}

int require_field(const geo::Table& table, const std::string& name) {
  int field = table.FindField(name);
  if (field < 0) vb::raise(vb::err::InvalidCall, "Can't find field: " + name);
  return field;
}
}  // namespace

namespace {
// A search shape of this many points or more is prepared for its exact tests; a smaller
// one is tested against the tile prepared instead.
constexpr int kPrepareFrom = 32;

// An axis-aligned rectangle: one ring of four corners (closed by a fifth point).
bool is_rectangle(const geo::Geometry& g) {
  if (g.Type() != geo::GeometryType::Polygon || g.PointCount() != 5) return false;
  auto parts = g.Parts();
  if (parts.size() != 1 || parts[0].size() != 5) return false;
  const auto& r = parts[0];
  for (size_t i = 0; i < 4; ++i)
    if (r[i].X != r[i + 1].X && r[i].Y != r[i + 1].Y) return false;
  return true;
}

// The tile of the walk, prepared on its first exact test with a small shape.
struct Tile {
  const geo::Geometry& shape;
  bool rectangle;
  std::unique_ptr<geo::PreparedGeometry> prepared;
  const geo::PreparedGeometry& Prepared() {
    if (!prepared) prepared = std::make_unique<geo::PreparedGeometry>(shape);
    return *prepared;
  }
};

// What the walk keeps of a search feature once it has met one tile: its key, and for a
// large shape the shape prepared.
struct SearchFeature {
  bool met = false;
  bool large = false;
  std::optional<std::string> key;
  std::unique_ptr<geo::PreparedGeometry> prepared;

  bool Intersects(const geo::Geometry& shape, Tile& tile) {
    if (shape.IsEmpty()) return false;
    // A shape inside a rectangular tile's box lies in the tile.
    if (tile.rectangle && tile.shape.Extent().Contains(shape.Extent())) return true;
    if (!large) return tile.Prepared().Intersects(shape);
    if (!prepared) prepared = std::make_unique<geo::PreparedGeometry>(shape);
    return prepared->Intersects(tile.shape);
  }
};
}  // namespace

LocationIndex BuildLocationIndex(const host::carto::FeatureLayer& grid, const std::string& gridField,
                                 geo::Table& search, const std::string& searchField,
                                 const std::function<void()>& beforeTile) {
  if (!grid.MapFeatures()) vb::raise(vb::err::ObjectNotSet);
  const int tile_field = require_field(*grid.MapFeatures(), gridField);
  const int search_field = require_field(search, searchField);
  LocationIndex index;
  // Per tile, the search class's R-tree gives the features whose envelopes meet the
  // tile's, in object ID order; the exact test then runs here, on shapes kept (and the
  // large ones prepared) for the whole walk, since one county meets many tiles.
  geo::SpatialFilter filter;
  filter.SetSpatialRel(geo::SpatialRelation::EnvelopeIntersects);
  filter.SetGeometryField(search.ShapeFieldName());
  std::vector<SearchFeature> features;  // by object ID
  geo::FeatureCursor tiles = grid.Search();
  while (auto tile = tiles.NextFeature()) {
    if (beforeTile) beforeTile();
    Tile here{tile->Shape(), is_rectangle(tile->Shape()), nullptr};
    filter.SetGeometry(here.shape);
    geo::FeatureCursor found = search.Search(filter);
    // The tile's label is the same for every feature found; read it at the first one.
    std::optional<std::optional<std::string>> tile_label;
    while (auto feature = found.NextFeature()) {
      const size_t oid = size_t(feature->OID());
      if (oid >= features.size()) features.resize(oid + 1);
      SearchFeature& f = features[oid];
      if (!f.met) {
        f.met = true;
        f.key = label_of(*feature, search_field);
        f.large = feature->Shape().PointCount() >= kPrepareFrom;
      }
      if (!f.key || !f.Intersects(feature->Shape(), here)) continue;
      if (!tile_label) tile_label = label_of(*tile, tile_field);
      if (!*tile_label) continue;
      index.Add(*f.key, " " + **tile_label);
    }
  }
  return index;
}

std::vector<std::string> SortedAsList(std::vector<std::string> lines) {
  std::stable_sort(lines.begin(), lines.end(),
                   [](const std::string& a, const std::string& b) { return host::ui::CompareListItems(a, b) < 0; });
  return lines;
}

}  // namespace mapbooks
