// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A map (data frame): named, holding layers, showing an extent at a scale.
//
// Scale rule: a map's scale is the ground width of its extent divided by the width of
// its frame on paper, in the same units. The frame is the map's frame element on the
// page in layout view, else the document's data window at 96 dots per inch. The map
// keeps its centre and scale when its frame changes size (a frame resized on the page,
// a switch between layout and data view); setting the extent fits it to the frame's
// aspect, setting the scale keeps the centre.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/carto/layer.h"
#include "host/carto/units.h"
#include "host/carto/view.h"
#include "host/geodata/geometry.h"

namespace host::carto {

class Document;
class MapFrame;

// The selected features of a map, layer by layer in map order, each layer's in object-ID
// order. The list is fixed when the enumeration is made.
class EnumFeature {
 public:
  EnumFeature() = default;
  void Reset() { pos_ = 0; }
  std::optional<geodata::Feature> Next();
  size_t Count() const { return items_.size(); }

 private:
  friend class Map;
  // The layers' features as the map shows them (see FeatureLayer::MapFeatures).
  std::vector<std::pair<std::shared_ptr<geodata::Table>, int64_t>> items_;
  size_t pos_ = 0;
};

class Map : public ActiveView, public std::enable_shared_from_this<Map> {
 public:
  explicit Map(std::string name = "Layers");
  Map(const Map&) = delete;
  Map& operator=(const Map&) = delete;

  const std::string& Name() const { return name_; }
  void SetName(std::string n) { name_ = std::move(n); }

  // The document that holds the map, or null.
  Document* Parent() const { return doc_; }
  // The map's frame element on the page layout, or null.
  std::shared_ptr<MapFrame> Frame() const;

  // Layers, top first.
  int LayerCount() const { return int(layers_.size()); }
  // Subscript out of range (9) outside 0 to LayerCount() - 1.
  std::shared_ptr<carto::Layer> Layer(int index) const;
  const std::vector<std::shared_ptr<carto::Layer>>& Layers() const { return layers_; }
  // At the top (index 0). The first layer of an empty map sets the map's extent to
  // the layer's area. While the map has no coordinate system, it takes the one of the
  // first layer that has one. Every layer is shown in the map's coordinate system.
  void AddLayer(std::shared_ptr<carto::Layer> layer) { InsertLayer(0, std::move(layer)); }
  void InsertLayer(int index, std::shared_ptr<carto::Layer> layer);
  void DeleteLayer(const carto::Layer& layer);
  void MoveLayer(const carto::Layer& layer, int index);
  void ClearLayers() { layers_.clear(); }
  // Every feature layer, groups entered at every depth, in drawing order from the top.
  std::vector<std::shared_ptr<FeatureLayer>> AllFeatureLayers() const;

  // The coordinate system of the map's extent, which its layers are drawn in; taken
  // from the first layer that has one unless set. Layers without one are taken to be in
  // it.
  const geodata::SpatialReference& SpatialReference() const { return sr_; }
  void SetSpatialReference(geodata::SpatialReference sr);
  // The units of the coordinate system; when it has none, the units set here
  // (Unknown until set; the scale then counts in metres).
  Units MapUnits() const;
  void SetMapUnits(Units u) { map_units_ = u; }
  void SetMapUnits(int code);  // a unit code; Invalid procedure call (5) otherwise
  // The units distances are shown in: as set, else the map units.
  Units DistanceUnits() const { return distance_units_.value_or(MapUnits()); }
  void SetDistanceUnits(Units u) { distance_units_ = u; }
  void SetDistanceUnits(int code);

  // 0 until the map has an extent.
  double MapScale() const;
  // More than 0; keeps the centre.
  void SetMapScale(double scale);

  // ActiveView: a map is its own focus map.
  std::shared_ptr<Map> FocusMap() const override;
  void SetFocusMap(const std::shared_ptr<Map>& map) override;
  geodata::Envelope Extent() const override;  // empty until the map has one
  void SetExtent(const geodata::Envelope& e) override;
  geodata::Envelope FullExtent() const override;  // the union of the layers' areas
  PixelRect ExportFrame() const override;
  // The frame's size on paper, in inches.
  std::pair<double, double> FrameSize() const;
  // A length in map units as inches on the ground (the coordinate system's own unit
  // when it has one, US survey feet included). A degree counts as a degree of
  // longitude at the latitude of the extent's centre.
  double GroundInches(double length) const;

  // Selected features of all feature layers (groups entered at every depth).
  int64_t SelectionCount() const;
  EnumFeature FeatureSelection() const;
  void ClearSelection();
  // The select tool: the features of the visible feature layers that meet shape become
  // the selection, or are added to it. Hidden layers keep nothing new; a new selection
  // clears theirs too. Returns the map's selection count.
  int64_t SelectByShape(const geodata::Geometry& shape, bool add = false);

 private:
  friend class Document;
  friend class PageLayout;
  std::string name_;
  Document* doc_ = nullptr;
  std::vector<std::shared_ptr<carto::Layer>> layers_;
  geodata::SpatialReference sr_;
  Units map_units_ = Units::Unknown;
  std::optional<Units> distance_units_;
  // The extent as its centre and the map units shown per inch of frame (0: none yet).
  geodata::Point center_;
  double per_inch_ = 0;
};

// An envelope of the map from, in the coordinates of the map to (densified bounds);
// empty when there is no transformation between the two.
geodata::Envelope EnvelopeInMap(const geodata::Envelope& e, const Map& from, const Map& to);

// The coordinate system of the first feature layer (groups entered, top first) that has
// one: what a map takes from its layers.
geodata::SpatialReference LayersSpatialReference(const std::vector<std::shared_ptr<Layer>>& layers);

// The command's layer lookup: the feature layers of the map's top level and those
// directly inside its groups (a group inside a group is not entered), in map order.
std::vector<std::shared_ptr<FeatureLayer>> LookupFeatureLayers(const Map& map);
// The last of those whose name equals name without regard to case, or null.
std::shared_ptr<FeatureLayer> FindFeatureLayer(const Map& map, std::string_view name);

}  // namespace host::carto
