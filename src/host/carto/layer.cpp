// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/layer.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <iterator>

#include "host/geodata/workspace.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::carto {

namespace {

// A copy of the filter of the same kind (a spatial filter keeps its shape) with
// another where clause.
template <typename Run>
auto WithWhere(const geodata::QueryFilter* filter, const std::string& where, Run run) {
  if (auto* spatial = dynamic_cast<const geodata::SpatialFilter*>(filter)) {
    geodata::SpatialFilter f = *spatial;
    f.SetWhereClause(where);
    return run(static_cast<const geodata::QueryFilter&>(f));
  }
  geodata::QueryFilter f(where);
  return run(f);
}

}  // namespace

std::string CombineWhereClauses(const std::string& a, const std::string& b) {
  const bool has_a = !vb::Trim(a).empty(), has_b = !vb::Trim(b).empty();
  if (has_a && has_b) return "(" + a + ") AND (" + b + ")";
  return has_a ? a : has_b ? b : std::string();
}

SimpleRenderer DefaultRenderer(geodata::GeometryType type, const std::string& name) {
  // Quiet colours, as a new layer gets one; picked from the name so that the same data
  // looks the same every time.
  static constexpr std::array<std::array<int, 3>, 8> kPalette = {{{190, 232, 255},
                                                                  {211, 255, 190},
                                                                  {255, 235, 175},
                                                                  {232, 190, 255},
                                                                  {255, 190, 190},
                                                                  {215, 215, 158},
                                                                  {190, 210, 255},
                                                                  {245, 202, 122}}};
  uint32_t hash = 2166136261u;
  for (unsigned char c : vb::LCase(name)) hash = (hash ^ c) * 16777619u;
  const auto& rgb = kPalette[hash % kPalette.size()];
  RgbColor color(rgb[0], rgb[1], rgb[2]);
  switch (type) {
    case geodata::GeometryType::Polyline: {
      RgbColor darker(rgb[0] * 2 / 3, rgb[1] * 2 / 3, rgb[2] * 2 / 3);
      return SimpleRenderer(SimpleLineSymbol(darker, 1.0));
    }
    case geodata::GeometryType::Point:
    case geodata::GeometryType::Multipoint: {
      SimpleMarkerSymbol m;
      m.SetColor(RgbColor(rgb[0] * 2 / 3, rgb[1] * 2 / 3, rgb[2] * 2 / 3));
      m.SetSize(6);
      return SimpleRenderer(m);
    }
    default: {
      SimpleFillSymbol f(color);
      f.SetOutline(SimpleLineSymbol(RgbColor(110, 110, 110), 0.4));
      return SimpleRenderer(f);
    }
  }
}

// ---- FeatureLayer ----

FeatureLayer::FeatureLayer(std::shared_ptr<geodata::FeatureClass> featureClass) {
  if (featureClass) SetName(featureClass->AliasName());
  SetFeatureClass(std::move(featureClass));
}

void FeatureLayer::SetFeatureClass(std::shared_ptr<geodata::FeatureClass> featureClass) {
  const geodata::GeometryType before = ShapeType();
  const bool fresh = !class_;
  class_ = std::move(featureClass);
  projection_ = {};
  joined_.reset();
  join_file_.clear();
  selection_.reset();
  if (class_ && (fresh || class_->ShapeType() != before)) renderer_ = DefaultRenderer(class_->ShapeType(), Name());
}

geodata::GeometryType FeatureLayer::ShapeType() const {
  return class_ ? class_->ShapeType() : geodata::GeometryType::Null;
}

geodata::FeatureClass& FeatureLayer::RequireClass() const {
  if (!class_) vb::raise(vb::err::ObjectNotSet, "The layer \"" + Name() + "\" has no feature class");
  return *class_;
}

std::shared_ptr<geodata::Table> FeatureLayer::DisplayTable() const {
  RequireClass();
  if (joined_) return joined_;
  return class_;
}

void FeatureLayer::AddJoin(std::shared_ptr<geodata::Table> table, const std::string& baseKey,
                           const std::string& joinKey, std::filesystem::path tableFile) {
  RequireClass();
  if (!table) vb::raise(vb::err::ObjectNotSet, "No table to join to the layer \"" + Name() + "\"");
  joined_ = geodata::JoinedTable::Join(class_, baseKey, std::move(table), joinKey);
  join_file_ = std::move(tableFile);
}

void FeatureLayer::AddJoin(const std::filesystem::path& tableFile, const std::string& baseKey,
                           const std::string& joinKey) {
  auto ws = geodata::ShapefileWorkspace::Open(tableFile.parent_path().string());
  AddJoin(ws->OpenTable(tableFile.filename().string()), baseKey, joinKey, tableFile);
}

void FeatureLayer::RemoveJoin() {
  joined_.reset();
  join_file_.clear();
}

void FeatureLayer::SetMapSpatialReference(const geodata::SpatialReference& sr) {
  if (sr.IsSame(MapSpatialReference())) return;
  Layer::SetMapSpatialReference(sr);
  projection_ = {};
}

const std::shared_ptr<geodata::ProjectedFeatureClass>& FeatureLayer::Projected() const {
  if (projection_.ready || !class_) return projection_.view;
  projection_.ready = true;
  std::shared_ptr<const geodata::Transformation> t;
  try {
    t = geodata::Transformation::Between(class_->SpatialRef(), MapSpatialReference());
    if (!t) return projection_.view;
  } catch (const vb::Error& e) {
    projection_.problem = e.description();
    if (projection_.problem.empty()) projection_.problem = "no transformation";
  }
  // Without a transformation the view holds nothing: the layer draws nothing.
  projection_.view = std::make_shared<geodata::ProjectedFeatureClass>(class_, std::move(t));
  return projection_.view;
}

std::shared_ptr<geodata::Table> FeatureLayer::MapFeatures() const {
  if (const auto& view = Projected()) return view;
  return class_;
}

std::string FeatureLayer::ProjectionProblem() const {
  Projected();
  if (projection_.problem.empty()) return "";
  std::string why = projection_.problem;
  why[0] = char(std::tolower(static_cast<unsigned char>(why[0])));
  return "The layer \"" + Name() + "\" cannot be drawn in the map's coordinate system: " + why + ".";
}

std::vector<int64_t> FeatureLayer::SearchSourceOIDs(const geodata::QueryFilter* filter) const {
  geodata::FeatureClass& fc = RequireClass();
  const std::string where = CombineWhereClauses(definition_query_, filter ? filter->WhereClause() : "");
  return WithWhere(filter, where, [&](const geodata::QueryFilter& f) {
    if (!joined_) return fc.SearchOIDs(&f);
    try {
      return joined_->SearchOIDs(&f);
    } catch (const vb::Error&) {
      // A clause on the layer's own fields also works when the joined table has fields
      // of the same names.
      try {
        return fc.SearchOIDs(&f);
      } catch (const vb::Error&) {
      }
      throw;
    }
  });
}

std::vector<int64_t> FeatureLayer::SearchOIDs(const geodata::QueryFilter* filter) const {
  RequireClass();
  const auto& view = Projected();
  if (view && !view->Transform()) return {};  // nothing of it can be shown in the map
  auto* spatial = dynamic_cast<const geodata::SpatialFilter*>(filter);
  if (!view || !spatial) return SearchSourceOIDs(filter);
  // The clause is read in the feature class's terms, the shape in the map's.
  geodata::SpatialFilter shape = *spatial;
  shape.SetWhereClause("");
  std::vector<int64_t> by_shape = view->SearchOIDs(&shape);
  if (!joined_ && vb::Trim(CombineWhereClauses(definition_query_, spatial->WhereClause())).empty()) return by_shape;
  geodata::QueryFilter clause(spatial->WhereClause());
  std::vector<int64_t> by_clause = SearchSourceOIDs(&clause);
  std::vector<int64_t> both;
  std::set_intersection(by_clause.begin(), by_clause.end(), by_shape.begin(), by_shape.end(),
                        std::back_inserter(both));
  return both;
}

geodata::FeatureCursor FeatureLayer::Search(const geodata::QueryFilter* filter, bool) const {
  geodata::FeatureClass& fc = RequireClass();
  const auto& view = Projected();
  geodata::Table& table = view ? static_cast<geodata::Table&>(*view) : fc;
  if (!joined_ && vb::Trim(definition_query_).empty()) {
    if (filter) return table.Search(filter);
    return table.Search();
  }
  return table.GetRows(SearchOIDs(filter));
}

geodata::Envelope FeatureLayer::AreaOfInterest() const {
  if (!class_) return {};
  if (const auto& view = Projected()) return view->Extent();
  return class_->Extent();
}

geodata::SelectionSet& FeatureLayer::SelectionSet() {
  RequireClass();
  if (!selection_) selection_.emplace(class_);
  return *selection_;
}

void FeatureLayer::SelectFeatures(const geodata::QueryFilter* filter, SelectionResult how) {
  std::vector<int64_t> found = SearchOIDs(filter);
  geodata::SelectionSet& set = SelectionSet();
  switch (how) {
    case SelectionResult::New:
      set.Clear();
      set.AddList(found);
      break;
    case SelectionResult::Add: set.AddList(found); break;
    case SelectionResult::Subtract: set.RemoveList(found); break;
    case SelectionResult::And: {
      std::vector<int64_t> keep;
      for (int64_t oid : found)
        if (set.Contains(oid)) keep.push_back(oid);
      set.Clear();
      set.AddList(keep);
      break;
    }
  }
}

void FeatureLayer::ClearSelection() {
  if (selection_) selection_->Clear();
}

std::shared_ptr<Layer> FeatureLayer::Clone() const {
  auto copy = std::make_shared<FeatureLayer>();
  copy->SetName(Name());
  copy->SetVisible(Visible());
  copy->Layer::SetMapSpatialReference(MapSpatialReference());
  copy->class_ = class_;
  copy->projection_ = projection_;  // the view is read only: sharing it is safe
  copy->joined_ = joined_;  // a join is a read-only view of the two tables: sharing it is safe
  copy->join_file_ = join_file_;
  copy->definition_query_ = definition_query_;
  copy->renderer_ = renderer_;
  copy->labels_ = labels_;
  copy->display_labels_ = display_labels_;
  if (selection_) copy->selection_.emplace(*selection_);
  return copy;
}

// ---- GroupLayer ----

std::shared_ptr<carto::Layer> GroupLayer::Layer(int index) const {
  if (index < 0 || index >= Count())
    vb::raise(vb::err::SubscriptOutOfRange, "The group \"" + Name() + "\" has no layer " + std::to_string(index));
  return layers_[size_t(index)];
}

void GroupLayer::Add(std::shared_ptr<carto::Layer> layer) { Insert(Count(), std::move(layer)); }

void GroupLayer::Insert(int index, std::shared_ptr<carto::Layer> layer) {
  if (!layer) vb::raise(vb::err::ObjectNotSet, "No layer to add to the group \"" + Name() + "\"");
  if (layer.get() == this) vb::raise(vb::err::InvalidCall, "A group cannot hold itself");
  if (!MapSpatialReference().IsUnknown()) layer->SetMapSpatialReference(MapSpatialReference());
  index = std::clamp(index, 0, Count());
  layers_.insert(layers_.begin() + index, std::move(layer));
}

void GroupLayer::Delete(const carto::Layer& layer) {
  std::erase_if(layers_, [&](const auto& l) { return l.get() == &layer; });
}

geodata::Envelope GroupLayer::AreaOfInterest() const {
  geodata::Envelope all;
  for (const auto& l : layers_) all.Union(l->AreaOfInterest());
  return all;
}

void GroupLayer::SetMapSpatialReference(const geodata::SpatialReference& sr) {
  Layer::SetMapSpatialReference(sr);
  for (const auto& l : layers_) l->SetMapSpatialReference(sr);
}

std::shared_ptr<carto::Layer> GroupLayer::Clone() const {
  auto copy = std::make_shared<GroupLayer>(Name());
  copy->Layer::SetMapSpatialReference(MapSpatialReference());
  copy->SetVisible(Visible());
  for (const auto& l : layers_) copy->layers_.push_back(l->Clone());
  return copy;
}

std::shared_ptr<Layer> ObjectCopier::Copy(const std::shared_ptr<Layer>& layer) const {
  if (!layer) vb::raise(vb::err::ObjectNotSet, "No layer to copy");
  return layer->Clone();
}

}  // namespace host::carto
