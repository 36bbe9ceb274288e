// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Layers of a map: feature layers over a feature class, and group layers that hold
// layers. Layers are shared objects (std::shared_ptr); a map or a group holds them.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "host/carto/labels.h"
#include "host/carto/symbols.h"
#include "host/geodata/feature_class.h"
#include "host/geodata/filter.h"
#include "host/geodata/joined_table.h"
#include "host/geodata/projection.h"
#include "host/geodata/table.h"

namespace host::carto {

class Layer : public std::enable_shared_from_this<Layer> {
 public:
  virtual ~Layer() = default;
  Layer(const Layer&) = delete;
  Layer& operator=(const Layer&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string name) { name_ = std::move(name); }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { visible_ = v; }

  // The extent of everything the layer holds (empty when it holds nothing).
  virtual geodata::Envelope AreaOfInterest() const = 0;
  // A deep copy (see ObjectCopier).
  virtual std::shared_ptr<Layer> Clone() const = 0;

  // The coordinate system of the map that holds the layer: the layer shows its features
  // in it. Unknown (the layer's own coordinates) until a map sets it.
  const geodata::SpatialReference& MapSpatialReference() const { return map_sr_; }
  virtual void SetMapSpatialReference(const geodata::SpatialReference& sr) { map_sr_ = sr; }

 protected:
  Layer() = default;

 private:
  std::string name_;
  bool visible_ = true;
  geodata::SpatialReference map_sr_;
};

// How a selection combines with the layer's current one.
enum class SelectionResult { New, Add, Subtract, And };

class FeatureLayer : public Layer {
 public:
  FeatureLayer() = default;
  // Named by the feature class's alias, with a simple renderer for its shape type.
  explicit FeatureLayer(std::shared_ptr<geodata::FeatureClass> featureClass);

  const std::shared_ptr<geodata::FeatureClass>& FeatureClass() const { return class_; }
  // A new feature class drops the join and the selection; the renderer gets a symbol
  // for the new shape type when the type changes.
  void SetFeatureClass(std::shared_ptr<geodata::FeatureClass> featureClass);
  geodata::GeometryType ShapeType() const;

  // The table the layer shows: the joined table when the layer has a join, else the
  // feature class. Object not set (91) without a feature class.
  std::shared_ptr<geodata::Table> DisplayTable() const;

  // Joins a table to the layer's feature class by key fields (baseKey in the feature
  // class, joinKey in the table). The table's file is kept for saving the layer.
  void AddJoin(std::shared_ptr<geodata::Table> table, const std::string& baseKey, const std::string& joinKey,
               std::filesystem::path tableFile);
  // The same, opening the .dbf, .csv or shapefile table first.
  void AddJoin(const std::filesystem::path& tableFile, const std::string& baseKey, const std::string& joinKey);
  void RemoveJoin();
  bool HasJoin() const { return joined_ != nullptr; }
  const std::shared_ptr<geodata::JoinedTable>& Join() const { return joined_; }
  const std::filesystem::path& JoinTableFile() const { return join_file_; }

  // Only features that pass the definition query belong to the layer; empty shows all.
  const std::string& DefinitionQuery() const { return definition_query_; }
  void SetDefinitionQuery(std::string whereClause) { definition_query_ = std::move(whereClause); }

  // The layer's features in the map's coordinate system: the feature class itself when
  // it is in the map's system or either has none, else a read-only view of it through
  // the one transformation the layer keeps for the pair (no rows when there is none).
  // Null without a feature class.
  std::shared_ptr<geodata::Table> MapFeatures() const;
  // Why the layer cannot be shown in the map's coordinate system; empty when it can.
  std::string ProjectionProblem() const;

  // The layer's features that pass the filter and the definition query (AND-ed), in
  // object-ID order. The clause may name joined fields; the features come from the
  // feature class (plain field names). A spatial filter is in the map's coordinate
  // system, and so are the shapes found (see MapFeatures).
  geodata::FeatureCursor Search(const geodata::QueryFilter* filter = nullptr, bool recycling = false) const;
  geodata::FeatureCursor Search(const geodata::QueryFilter& filter) const { return Search(&filter); }
  std::vector<int64_t> SearchOIDs(const geodata::QueryFilter* filter = nullptr) const;
  int64_t FeatureCount(const geodata::QueryFilter* filter = nullptr) const {
    return int64_t(SearchOIDs(filter).size());
  }

  const SimpleRenderer& Renderer() const { return renderer_; }
  SimpleRenderer& Renderer() { return renderer_; }
  void SetRenderer(const SimpleRenderer& r) { renderer_ = r; }

  carto::AnnotationProperties& AnnotationProperties() { return labels_; }
  const carto::AnnotationProperties& AnnotationProperties() const { return labels_; }
  // Item 0 of the label classes.
  LabelProperties& Labels() { return labels_.QueryItem(0); }
  const LabelProperties& Labels() const { return labels_.QueryItem(0); }
  bool DisplayAnnotation() const { return display_labels_; }
  void SetDisplayAnnotation(bool v) { display_labels_ = v; }

  // The extent of the feature class (all its features), in the map's coordinate system.
  geodata::Envelope AreaOfInterest() const override;
  void SetMapSpatialReference(const geodata::SpatialReference& sr) override;

  // The selected features, as object IDs of the feature class. Object not set (91)
  // without a feature class.
  geodata::SelectionSet& SelectionSet();
  const geodata::SelectionSet* SelectionSetIfAny() const { return selection_ ? &*selection_ : nullptr; }
  int64_t SelectionCount() const { return selection_ ? selection_->Count() : 0; }
  // Selects the features Search finds with the filter.
  void SelectFeatures(const geodata::QueryFilter* filter, SelectionResult how = SelectionResult::New);
  void ClearSelection();

  std::shared_ptr<Layer> Clone() const override;

 private:
  geodata::FeatureClass& RequireClass() const;
  // The view through the transformation; null when none is needed.
  const std::shared_ptr<geodata::ProjectedFeatureClass>& Projected() const;
  std::vector<int64_t> SearchSourceOIDs(const geodata::QueryFilter* filter) const;

  std::shared_ptr<geodata::FeatureClass> class_;
  struct Projection {
    bool ready = false;
    std::shared_ptr<geodata::ProjectedFeatureClass> view;
    std::string problem;  // why there is no transformation
  };
  mutable Projection projection_;
  std::shared_ptr<geodata::JoinedTable> joined_;
  std::filesystem::path join_file_;
  std::string definition_query_;
  SimpleRenderer renderer_;
  carto::AnnotationProperties labels_;
  bool display_labels_ = false;
  std::optional<geodata::SelectionSet> selection_;
};

class GroupLayer : public Layer {
 public:
  GroupLayer() = default;
  explicit GroupLayer(std::string name) { SetName(std::move(name)); }

  int Count() const { return int(layers_.size()); }
  // Subscript out of range (9) outside 0 to Count() - 1.
  std::shared_ptr<carto::Layer> Layer(int index) const;
  const std::vector<std::shared_ptr<carto::Layer>>& Layers() const { return layers_; }
  // At the end (the bottom of the group).
  void Add(std::shared_ptr<carto::Layer> layer);
  void Insert(int index, std::shared_ptr<carto::Layer> layer);
  void Delete(const carto::Layer& layer);
  void Clear() { layers_.clear(); }

  // The union of the layers' areas.
  geodata::Envelope AreaOfInterest() const override;
  std::shared_ptr<carto::Layer> Clone() const override;
  // Passed on to the layers, those added later too.
  void SetMapSpatialReference(const geodata::SpatialReference& sr) override;

 private:
  std::vector<std::shared_ptr<carto::Layer>> layers_;
};

// Deep copies: a copied layer shares the feature class's data but has its own renderer,
// labels, selection, definition query and join settings; a copied group copies its
// layers.
class ObjectCopier {
 public:
  std::shared_ptr<Layer> Copy(const Layer& layer) const { return layer.Clone(); }
  std::shared_ptr<Layer> Copy(const std::shared_ptr<Layer>& layer) const;
};

// A simple renderer fit for the shape type, in a colour picked from the name.
SimpleRenderer DefaultRenderer(geodata::GeometryType type, const std::string& name);

// "(a) AND (b)", or whichever of the two is not blank.
std::string CombineWhereClauses(const std::string& a, const std::string& b);

}  // namespace host::carto
