#include "mapbooks/layout/LocationIndex.h"

#include <algorithm>
#include <optional>

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

LocationIndex BuildLocationIndex(const host::carto::FeatureLayer& grid, const std::string& gridField,
                                 geo::Table& search, const std::string& searchField,
                                 const std::function<void()>& beforeTile) {
  if (!grid.MapFeatures()) vb::raise(vb::err::ObjectNotSet);
  const int tile_field = require_field(*grid.MapFeatures(), gridField);
  const int search_field = require_field(search, searchField);
  LocationIndex index;
  geo::SpatialFilter filter;
  filter.SetSpatialRel(geo::SpatialRelation::Intersects);
  filter.SetGeometryField(search.ShapeFieldName());
  geo::FeatureCursor tiles = grid.Search();
  while (auto tile = tiles.NextFeature()) {
    if (beforeTile) beforeTile();
    filter.SetGeometry(tile->Shape());
    geo::FeatureCursor found = search.Search(filter);
    // The tile's label is the same for every feature found; read it at the first one.
    std::optional<std::optional<std::string>> tile_label;
    while (auto feature = found.NextFeature()) {
      std::optional<std::string> key = label_of(*feature, search_field);
      if (!key) continue;
      if (!tile_label) tile_label = label_of(*tile, tile_field);
      if (!*tile_label) continue;
      index.Add(*key, " " + **tile_label);
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
