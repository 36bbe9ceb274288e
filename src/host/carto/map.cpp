// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/map.h"

#include <algorithm>
#include <cmath>

#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/page_layout.h"
#include "host/geodata/filter.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::carto {

namespace {

void CollectFeatureLayers(const std::vector<std::shared_ptr<Layer>>& layers,
                          std::vector<std::shared_ptr<FeatureLayer>>& out) {
  for (const auto& l : layers) {
    if (auto f = std::dynamic_pointer_cast<FeatureLayer>(l)) out.push_back(f);
    if (auto g = std::dynamic_pointer_cast<GroupLayer>(l)) CollectFeatureLayers(g->Layers(), out);
  }
}

Units UnitsCode(int code) {
  auto u = UnitsFromCode(code);
  if (!u) vb::raise(vb::err::InvalidCall, "Not a unit code: " + std::to_string(code));
  return *u;
}

}  // namespace

std::optional<geodata::Feature> EnumFeature::Next() {
  while (pos_ < items_.size()) {
    auto& [table, oid] = items_[pos_++];
    if (auto f = table->GetRow(oid)) return f;
  }
  return std::nullopt;
}

Map::Map(std::string name) : name_(std::move(name)) {}

std::shared_ptr<MapFrame> Map::Frame() const {
  if (!doc_) return nullptr;
  return doc_->PageLayout().FindFrame(*this);
}

std::shared_ptr<carto::Layer> Map::Layer(int index) const {
  if (index < 0 || index >= LayerCount())
    vb::raise(vb::err::SubscriptOutOfRange, "The map \"" + name_ + "\" has no layer " + std::to_string(index));
  return layers_[size_t(index)];
}

void Map::InsertLayer(int index, std::shared_ptr<carto::Layer> layer) {
  if (!layer) vb::raise(vb::err::ObjectNotSet, "No layer to add to the map \"" + name_ + "\"");
  const bool first = layers_.empty();
  index = std::clamp(index, 0, LayerCount());
  layers_.insert(layers_.begin() + index, layer);
  if (sr_.IsUnknown()) {
    geodata::SpatialReference taken = LayersSpatialReference(layers_);
    if (!taken.IsUnknown()) SetSpatialReference(std::move(taken));
  }
  layer->SetMapSpatialReference(sr_);
  if (!first) return;
  geodata::Envelope area = layer->AreaOfInterest();
  if (!area.IsEmpty()) SetExtent(area);
}

void Map::DeleteLayer(const carto::Layer& layer) {
  std::erase_if(layers_, [&](const auto& l) { return l.get() == &layer; });
}

void Map::MoveLayer(const carto::Layer& layer, int index) {
  auto it = std::find_if(layers_.begin(), layers_.end(), [&](const auto& l) { return l.get() == &layer; });
  if (it == layers_.end()) vb::raise(vb::err::InvalidCall, "The layer is not in the map \"" + name_ + "\"");
  std::shared_ptr<carto::Layer> keep = *it;
  layers_.erase(it);
  index = std::clamp(index, 0, LayerCount());
  layers_.insert(layers_.begin() + index, keep);
}

std::vector<std::shared_ptr<FeatureLayer>> Map::AllFeatureLayers() const {
  std::vector<std::shared_ptr<FeatureLayer>> out;
  CollectFeatureLayers(layers_, out);
  return out;
}

void Map::SetSpatialReference(geodata::SpatialReference sr) {
  sr_ = std::move(sr);
  for (const auto& l : layers_) l->SetMapSpatialReference(sr_);
}

Units Map::MapUnits() const {
  if (!sr_.IsUnknown()) {
    Units u = UnitsOf(sr_);
    if (u != Units::Unknown) return u;
  }
  return map_units_;
}

void Map::SetMapUnits(int code) { map_units_ = UnitsCode(code); }
void Map::SetDistanceUnits(int code) { distance_units_ = UnitsCode(code); }

std::pair<double, double> Map::FrameSize() const {
  if (doc_ && doc_->InLayoutView()) {
    if (auto frame = Frame()) {
      geodata::Envelope e = frame->Bounds();
      if (e.Width() > 0 && e.Height() > 0) return {e.Width(), e.Height()};
    }
  }
  int w = doc_ ? doc_->DataWindowWidth() : Document::kDefaultDataWindowWidth;
  int h = doc_ ? doc_->DataWindowHeight() : Document::kDefaultDataWindowHeight;
  return {w / kViewDpi, h / kViewDpi};
}

double Map::GroundInches(double length) const {
  if (sr_.IsProjected()) {
    // A unit the table knows converts exactly; others (US survey feet) by their metres.
    const double mpu = sr_.MetersPerUnit();
    const Units u = UnitsOf(sr_);
    if (mpu > 0 && (u == Units::Unknown || std::abs(ToInches(1, u) * 0.0254 - mpu) > 1e-12 * mpu))
      return length * mpu / 0.0254;
  }
  if (MapUnits() == Units::DecimalDegrees) {
    // A degree shrinks with the cosine of the latitude; the poles keep a sliver of it.
    static const geodata::SpatialReference wgs84 = geodata::SpatialReference::FromEPSG(4326);
    const double latitude = std::clamp(center_.Y, -89.0, 89.0);
    return length * geodata::DegreeLength(sr_.IsGeographic() ? sr_ : wgs84, latitude) / 0.0254;
  }
  return ToInches(length, MapUnits());
}

double Map::MapScale() const {
  if (per_inch_ <= 0) return 0;
  return GroundInches(per_inch_);
}

void Map::SetMapScale(double scale) {
  if (!(scale > 0) || !std::isfinite(scale))
    vb::raise(vb::err::InvalidCall, "A map scale must be more than 0, not " + std::to_string(scale));
  per_inch_ = scale / GroundInches(1);
}

std::shared_ptr<Map> Map::FocusMap() const {
  // Null for a map that no shared pointer holds.
  return std::const_pointer_cast<Map>(weak_from_this().lock());
}

void Map::SetFocusMap(const std::shared_ptr<Map>& map) {
  if (map.get() != this) vb::raise(vb::err::InvalidCall, "A map's view shows only that map");
}

geodata::Envelope Map::Extent() const {
  if (per_inch_ <= 0) return {};
  auto [w, h] = FrameSize();
  const double half_w = w * per_inch_ / 2, half_h = h * per_inch_ / 2;
  return geodata::Envelope(center_.X - half_w, center_.Y - half_h, center_.X + half_w, center_.Y + half_h);
}

void Map::SetExtent(const geodata::Envelope& e) {
  if (e.IsEmpty()) vb::raise(vb::err::InvalidCall, "The map \"" + name_ + "\" cannot show an empty extent");
  auto [w, h] = FrameSize();
  double per_inch = std::max(e.Width() / w, e.Height() / h);
  if (!(per_inch > 0)) {
    // A point: keep the scale there is, or show a unit around it.
    center_ = e.Center();
    if (per_inch_ <= 0) per_inch_ = 1 / w;
    return;
  }
  center_ = e.Center();
  per_inch_ = per_inch;
}

geodata::Envelope Map::FullExtent() const {
  geodata::Envelope all;
  for (const auto& l : layers_) all.Union(l->AreaOfInterest());
  return all;
}

PixelRect Map::ExportFrame() const {
  auto [w, h] = FrameSize();
  return {0, 0, int32_t(std::lround(w * kViewDpi)), int32_t(std::lround(h * kViewDpi))};
}

int64_t Map::SelectionCount() const {
  int64_t n = 0;
  for (const auto& f : AllFeatureLayers()) n += f->SelectionCount();
  return n;
}

EnumFeature Map::FeatureSelection() const {
  EnumFeature e;
  for (const auto& f : AllFeatureLayers()) {
    const geodata::SelectionSet* set = f->SelectionSetIfAny();
    if (!set || !f->FeatureClass()) continue;
    std::shared_ptr<geodata::Table> features = f->MapFeatures();
    for (int64_t oid : set->IDs()) e.items_.emplace_back(features, oid);
  }
  return e;
}

void Map::ClearSelection() {
  for (const auto& f : AllFeatureLayers()) f->ClearSelection();
}

namespace {
void collect_visible(const std::vector<std::shared_ptr<Layer>>& layers, std::vector<std::shared_ptr<FeatureLayer>>& out) {
  for (const auto& l : layers) {
    if (!l->Visible()) continue;
    if (auto f = std::dynamic_pointer_cast<FeatureLayer>(l)) out.push_back(f);
    if (auto g = std::dynamic_pointer_cast<GroupLayer>(l)) collect_visible(g->Layers(), out);
  }
}
}  // namespace

int64_t Map::SelectByShape(const geodata::Geometry& shape, bool add) {
  if (!add) ClearSelection();
  std::vector<std::shared_ptr<FeatureLayer>> visible;
  collect_visible(layers_, visible);
  const geodata::SpatialFilter meets(shape, geodata::SpatialRelation::Intersects);
  for (const auto& f : visible)
    if (f->FeatureClass()) f->SelectFeatures(&meets, SelectionResult::Add);
  return SelectionCount();
}

geodata::Envelope EnvelopeInMap(const geodata::Envelope& e, const Map& from, const Map& to) {
  try {
    auto t = geodata::Transformation::Between(from.SpatialReference(), to.SpatialReference());
    return t ? t->Bounds(e) : e;
  } catch (const vb::Error&) {
    return {};
  }
}

geodata::SpatialReference LayersSpatialReference(const std::vector<std::shared_ptr<Layer>>& layers) {
  std::vector<std::shared_ptr<FeatureLayer>> features;
  CollectFeatureLayers(layers, features);
  for (const auto& f : features)
    if (f->FeatureClass() && !f->FeatureClass()->SpatialRef().IsUnknown()) return f->FeatureClass()->SpatialRef();
  return {};
}

std::vector<std::shared_ptr<FeatureLayer>> LookupFeatureLayers(const Map& map) {
  std::vector<std::shared_ptr<FeatureLayer>> out;
  for (const auto& l : map.Layers()) {
    if (auto g = std::dynamic_pointer_cast<GroupLayer>(l)) {
      for (const auto& inner : g->Layers())
        if (auto f = std::dynamic_pointer_cast<FeatureLayer>(inner)) out.push_back(f);
    } else if (auto f = std::dynamic_pointer_cast<FeatureLayer>(l)) {
      out.push_back(f);
    }
  }
  return out;
}

std::shared_ptr<FeatureLayer> FindFeatureLayer(const Map& map, std::string_view name) {
  std::shared_ptr<FeatureLayer> found;
  for (const auto& f : LookupFeatureLayers(map))
    if (vb::SameText(f->Name(), name)) found = f;
  return found;
}

}  // namespace host::carto
