// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/layout/LocationIndex.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
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
    keys_.push_back({key, entry, {vb::LCase(entry)}, entry.size()});
    return;
  }
  Entry& e = keys_[it->second];
  // The entry just added again (another feature of the key in the same tile).
  if (entry.size() == e.last && e.item.compare(e.item.size() - e.last, e.last, entry) == 0) return;
  if (!e.folded.insert(vb::LCase(entry)).second) return;
  e.item += ",";
  e.item += entry;
  e.last = entry.size();
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

// A search feature as the walk keeps it: its row, its key once it has met a tile, its
// vertices once an exact test needs them, and for a large shape the shape prepared.
struct SearchFeature {
  explicit SearchFeature(geo::Row r) : row(std::move(r)) {}
  geo::Row row;
  bool met = false;
  std::optional<std::string> key;
  std::optional<std::vector<std::vector<geo::Point>>> parts;
  bool large = false;
  std::unique_ptr<geo::PreparedGeometry> prepared;

  bool Intersects(Tile& tile) {
    const geo::Geometry& shape = row.Shape();
    if (shape.IsEmpty()) return false;
    const geo::Envelope& box = tile.shape.Extent();
    // A shape inside a rectangular tile's box lies in the tile.
    if (tile.rectangle && box.Contains(shape.Extent())) return true;
    if (!parts) {
      parts = shape.Parts();
      size_t points = 0;
      for (const auto& part : *parts) points += part.size();
      large = points >= size_t(kPrepareFrom);
    }
    // A line or outline with a vertex in a rectangular tile shares that point with it
    // (a large shape's prepared test is quicker than reading its vertices).
    if (tile.rectangle && !large && (shape.Type() == geo::GeometryType::Polyline || shape.Type() == geo::GeometryType::Polygon))
      for (const auto& part : *parts)
        for (const geo::Point& p : part)
          if (box.Contains(p)) return true;
    if (!large) return tile.Prepared().Intersects(shape);
    if (!prepared) prepared = std::make_unique<geo::PreparedGeometry>(shape);
    return prepared->Intersects(tile.shape);
  }
};

// The search features' envelopes on a uniform grid of about one cell per feature: per
// tile, the features whose envelopes meet the tile's, as an envelope search finds them,
// without a search of the table for every tile.
class Cells {
 public:
  explicit Cells(const std::vector<SearchFeature>& features) : seen_(features.size(), 0) {
    boxes_.reserve(features.size());
    for (const SearchFeature& f : features) {
      const geo::Envelope& e = boxes_.emplace_back(f.row.Shape().Extent());
      if (finite(e)) extent_.IsEmpty() ? void(extent_ = e) : extent_.Union(e);
    }
    if (!extent_.IsEmpty()) {
      const double w = extent_.Width(), h = extent_.Height(), n = double(std::max<size_t>(features.size(), 1));
      const double aspect = w > 0 && h > 0 ? w / h : 1;
      nx_ = w > 0 ? int(std::clamp(std::sqrt(n * aspect), 1.0, 4096.0)) : 1;
      ny_ = h > 0 ? int(std::clamp(std::sqrt(n / aspect), 1.0, 4096.0)) : 1;
      cw_ = w > 0 ? w / nx_ : 1;
      ch_ = h > 0 ? h / ny_ : 1;
    }
    // Counted first, then filled: one block of indexes for all cells.
    std::vector<uint32_t> count(size_t(nx_) * size_t(ny_) + 1, 0);
    auto each_cell = [&](const geo::Envelope& e, auto&& visit) {
      const int x0 = column(e.XMin()), x1 = column(e.XMax()), y0 = row(e.YMin()), y1 = row(e.YMax());
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) visit(size_t(y) * size_t(nx_) + size_t(x));
    };
    // Features that meet nothing are left out, and those over many cells kept apart.
    auto gridded = [&](const geo::Envelope& e) {
      if (e.IsEmpty()) return false;
      const bool wide = !finite(e) || int64_t(column(e.XMax()) - column(e.XMin()) + 1) * int64_t(row(e.YMax()) - row(e.YMin()) + 1) > kMaxCells;
      return !wide;
    };
    for (uint32_t i = 0; i < boxes_.size(); ++i) {
      if (gridded(boxes_[i]))
        each_cell(boxes_[i], [&](size_t c) { ++count[c + 1]; });
      else if (!boxes_[i].IsEmpty())
        wide_.push_back(i);
    }
    for (size_t c = 1; c < count.size(); ++c) count[c] += count[c - 1];
    start_ = count;
    ids_.resize(count.back());
    for (uint32_t i = 0; i < boxes_.size(); ++i)
      if (gridded(boxes_[i])) each_cell(boxes_[i], [&](size_t c) { ids_[count[c]++] = i; });
  }

  // The features whose envelopes meet box (closed bounds), ascending.
  const std::vector<uint32_t>& Meeting(const geo::Envelope& box) {
    found_.clear();
    if (++stamp_ == 0) {
      std::fill(seen_.begin(), seen_.end(), 0);
      stamp_ = 1;
    }
    auto consider = [&](uint32_t i) {
      if (seen_[i] == stamp_) return;
      seen_[i] = stamp_;
      if (box.Intersects(boxes_[i])) found_.push_back(i);
    };
    if (!box.IsEmpty() && !extent_.IsEmpty() && box.Intersects(extent_)) {
      const int x0 = column(box.XMin()), x1 = column(box.XMax()), y0 = row(box.YMin()), y1 = row(box.YMax());
      for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) {
          const size_t c = size_t(y) * size_t(nx_) + size_t(x);
          for (uint32_t k = start_[c]; k < start_[c + 1]; ++k) consider(ids_[k]);
        }
    }
    for (uint32_t i : wide_) consider(i);
    std::sort(found_.begin(), found_.end());
    return found_;
  }

 private:
  // A feature over more cells than this is tested at every tile instead.
  static constexpr int64_t kMaxCells = 256;

  static bool finite(const geo::Envelope& e) {
    return std::isfinite(e.XMin()) && std::isfinite(e.YMin()) && std::isfinite(e.XMax()) && std::isfinite(e.YMax());
  }
  // Rising with the coordinate, so that boxes that meet share a cell; clamped to the grid.
  static int cell_of(double v, double origin, double size, int n) {
    const double t = (v - origin) / size;
    if (!(t >= 0)) return 0;
    if (t >= n) return n - 1;
    return int(t);
  }
  int column(double x) const { return cell_of(x, extent_.XMin(), cw_, nx_); }
  int row(double y) const { return cell_of(y, extent_.YMin(), ch_, ny_); }

  geo::Envelope extent_;
  int nx_ = 1, ny_ = 1;
  double cw_ = 1, ch_ = 1;
  std::vector<geo::Envelope> boxes_;  // per feature
  std::vector<uint32_t> start_;  // per cell, where its indexes begin in ids_
  std::vector<uint32_t> ids_;
  std::vector<uint32_t> wide_;
  std::vector<uint32_t> seen_;  // the stamp of the last query that considered the feature
  uint32_t stamp_ = 0;
  std::vector<uint32_t> found_;
};
}  // namespace

LocationIndex BuildLocationIndex(const host::carto::FeatureLayer& grid, const std::string& gridField,
                                 geo::Table& search, const std::string& searchField,
                                 const std::function<void()>& beforeTile) {
  if (!grid.MapFeatures()) vb::raise(vb::err::ObjectNotSet);
  const int tile_field = require_field(*grid.MapFeatures(), gridField);
  const int search_field = require_field(search, searchField);
  LocationIndex index;
  // The search features are read once, at the first tile, and kept (the large ones
  // prepared) for the whole walk, since one county meets many tiles; a search of the
  // table per tile would check its files on disk and build its rows every time.
  std::vector<SearchFeature> features;  // in object ID order
  std::optional<Cells> cells;
  geo::FeatureCursor tiles = grid.Search();
  while (auto tile = tiles.NextFeature()) {
    if (beforeTile) beforeTile();
    Tile here{tile->Shape(), is_rectangle(tile->Shape()), nullptr};
    if (here.shape.IsEmpty() || !search.HasShape()) {
      // Refused as the table's own search refuses them.
      geo::SpatialFilter filter;
      filter.SetSpatialRel(geo::SpatialRelation::EnvelopeIntersects);
      filter.SetGeometryField(search.ShapeFieldName());
      filter.SetGeometry(here.shape);
      search.Search(filter);
      continue;
    }
    if (!cells) {
      geo::Cursor cursor = search.Search();
      features.reserve(cursor.OIDs().size());
      while (auto row = cursor.NextRow()) features.emplace_back(std::move(*row));
      cells.emplace(features);
    }
    // The tile's label is the same for every feature found; read it at the first one.
    std::optional<std::optional<std::string>> tile_label;
    for (uint32_t i : cells->Meeting(here.shape.Extent())) {
      SearchFeature& f = features[i];
      if (!f.met) {
        f.met = true;
        f.key = label_of(f.row, search_field);
      }
      if (!f.key || !f.Intersects(here)) continue;
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
