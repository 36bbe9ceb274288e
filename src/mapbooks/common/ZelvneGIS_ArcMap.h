// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The map-document operations shared by every window: layers by name, field and value
// lists, attribute queries with value quoting, zooming to a feature, layout texts.
// Names compare without regard to case here.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "host/carto/layer.h"
#include "host/geodata/filter.h"
#include "host/geodata/table.h"
#include "host/ui/controls.h"
#include "host/vb/variant.h"

namespace mapbooks::ZelvneGIS_ArcMap {

using FeatureLayerPtr = std::shared_ptr<host::carto::FeatureLayer>;
using host::geodata::Feature;
using host::geodata::FeatureCursor;

// The last feature layer of the focus map (groups entered one level) whose name
// equals name; none when no layer matches.
FeatureLayerPtr GetLayerByName(const host::vb::Variant& name);

void LoadComboWithLayers(host::ui::ComboBox& combo);
void LoadComboWithFields(const std::string& layerName, host::ui::ComboBox& combo, bool useDisplayTable);
// 1 when the layer's display table has the field, -1 when it has not.
int16_t FieldExists(const std::string& fieldName, const host::carto::FeatureLayer* layer);
// Each distinct non-empty value once, in the order first met.
void LoadComboWithUniqueFieldValues(const host::vb::Variant& layerName, const std::string& fieldName,
                                    host::ui::ComboBox& combo, bool showProgress,
                                    const host::geodata::QueryFilter* filter);
// Every non-blank value, repeats included.
void LoadComboWithFieldValues(const host::vb::Variant& layerName, const std::string& fieldName,
                              host::ui::ComboBox& combo, const host::geodata::QueryFilter* filter);
void LoadListWithUniqueFieldValues(const host::vb::Variant& layerName, const std::string& fieldName,
                                   host::ui::ListBox& list, bool showProgress,
                                   const host::geodata::QueryFilter* filter);

// The first feature whose field equals the value.
std::optional<Feature> GetFeatureByValue(const host::carto::FeatureLayer* layer, const host::vb::Variant& fieldName,
                                         const host::vb::Variant& value);
// Every feature whose field equals the value; value comes back quoted for its field.
std::optional<FeatureCursor> GetFeatureCursorByValue(const host::carto::FeatureLayer* layer,
                                                     const host::vb::Variant& fieldName, std::string& value);
std::optional<FeatureCursor> GetFeatureCursorByQuery(const host::carto::FeatureLayer* layer,
                                                     const std::string& whereClause);
// The value with its quotes doubled and then quoted as its field's type wants: text in
// single quotes, dates between # signs, numbers bare. Also left in value.
std::string FormatQueryValue(const std::string& layerName, const std::string& fieldName, std::string& value);
// The field's type code; 0 when the layer or the field is missing.
int GetFieldType(const std::string& layerName, const std::string& fieldName);
std::string EscapeQuotes(std::string& text);

// Zooms the active view (the focus map's, in layout view) to the feature's envelope
// widened by the fraction.
void ZoomToFeaturePlus(const std::optional<Feature>& feature, double fraction);

// Every layout text element whose whole text equals findText gets newText.
void ReplaceLayoutText(const std::string& findText, const std::string& newText);

}  // namespace mapbooks::ZelvneGIS_ArcMap
