// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/ZelvneGIS_ArcMap.h"

#include <set>

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/ui/boxes.h"
#include "host/vb/text.h"
#include "host/win/dictionary.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks::ZelvneGIS_ArcMap {

namespace vb = host::vb;
namespace geo = host::geodata;
namespace carto = host::carto;
using ErrorHandling::Guard;

namespace {
constexpr const char* kModule = "ZelvneGIS_ArcMap";

carto::Document& document() {
  carto::Document* doc = State().Document;
  if (!doc) vb::raise(vb::err::ObjectNotSet);
  return *doc;
}

host::app::StepProgressor& progressor() {
  host::app::Application* app = State().Application;
  if (!app) vb::raise(vb::err::ObjectNotSet);
  return app->GetStatusBar().GetProgressBar();
}

template <typename T>
const T& require(const std::shared_ptr<T>& t) {
  if (!t) vb::raise(vb::err::ObjectNotSet);
  return *t;
}

// A where-clause value for a field of this type, its quotes doubled.
std::string quoted_for(geo::FieldType type, std::string value) {
  EscapeQuotes(value);
  if (type == geo::FieldType::String) return "'" + value + "'";
  if (type == geo::FieldType::Date) return "#" + value + "#";
  return value;
}

// The object-ID list condition: "FID in (1,2,3)".
std::string oid_list(const std::string& oidField, const std::vector<int64_t>& oids) {
  std::string clause = oidField + " in (";
  for (size_t i = 0; i < oids.size(); ++i) clause += (i ? "," : "") + std::to_string(oids[i]);
  return clause + ")";
}

// The object-ID checks of the lookups: the table's, then the feature class's.
bool have_oid_fields(const geo::Table& table, const carto::FeatureLayer& layer) {
  if (!table.HasOID()) {
    host::ui::MsgBox("Table must have OID field.");
    return false;
  }
  if (!layer.MapFeatures() || !layer.MapFeatures()->HasOID()) {
    host::ui::MsgBox("FeatureClass must have OID field.");
    return false;
  }
  return true;
}

// The field of the table named name without regard to case, or -1.
int find_field(const geo::Table& table, const std::string& name) {
  const geo::FieldSet& fields = table.Fields();
  for (int i = 0; i < fields.FieldCount(); ++i)
    if (vb::SameText(fields.Field(i).Name(), name)) return i;
  return -1;
}

// What the unique-value loaders share; add receives each new non-empty text.
void load_unique(const std::string& procedure, const std::string& message, const vb::Variant& layerName,
                 const std::string& fieldName, bool showProgress, bool stepAlways, bool countByFeatureClass,
                 bool silentMissingField, const geo::QueryFilter* filter,
                 const std::function<void(const std::string&)>& add) {
  host::app::StepProgressor* bar = nullptr;
  Guard(procedure.c_str(), kModule, [&] {
    host::app::StepProgressor& p = progressor();
    bar = &p;
    p.SetMessage(message);
    p.SetStepValue(1);
    p.SetPosition(0);
    if (showProgress) p.Show();
    FeatureLayerPtr layer = GetLayerByName(layerName);
    if (!layer) vb::raise(vb::err::ObjectNotSet);
    std::shared_ptr<geo::Table> table = layer->DisplayTable();
    geo::Cursor cursor = table->Search(filter);
    p.SetMaxRange(long(countByFeatureClass ? layer->MapFeatures()->RowCount(filter) : table->RowCount(filter)));
    int field = find_field(*table, fieldName);
    if (field < 0) {
      if (!silentMissingField) host::ui::MsgBox("Can't find field: " + fieldName);
      p.Hide();
      return;
    }
    host::win::Dictionary seen;
    std::string text;
    while (auto row = cursor.NextRow()) {
      if (stepAlways || showProgress) p.Step();
      vb::Variant v = row->Value(field);
      if (!v.IsNull()) text = vb::CStr(v);
      if (!seen.Exists(text)) {
        seen.Add(text, vb::Variant());
        if (!text.empty()) add(text);
      }
    }
    p.Hide();
  });
  // A failure part way must not leave the bar on the status bar.
  if (bar && bar->Visible()) bar->Hide();
}
}  // namespace

// ---------------------------------------------------------------- layers and lists

FeatureLayerPtr GetLayerByName(const vb::Variant& name) {
  FeatureLayerPtr found;
  ErrorHandling::GuardWith(
      [&] {
        std::string wanted = vb::CStr(name);
        carto::Map& map = *document().FocusMap();
        for (const auto& layer : map.Layers()) {
          if (auto* group = dynamic_cast<carto::GroupLayer*>(layer.get())) {
            for (const auto& inner : group->Layers())
              if (auto fl = std::dynamic_pointer_cast<carto::FeatureLayer>(inner); fl && vb::SameText(fl->Name(), wanted))
                found = fl;
          } else if (auto fl = std::dynamic_pointer_cast<carto::FeatureLayer>(layer);
                     fl && vb::SameText(fl->Name(), wanted)) {
            found = fl;
          }
        }
      },
      [&](const vb::Error&) {
        host::ui::MsgBox("Error: Could not find layer " + (name.IsNull() ? std::string() : vb::CStr(name)));
      });
  return found;
}

void LoadComboWithLayers(host::ui::ComboBox& combo) {
  ErrorHandling::GuardWith(
      [&] {
        combo.Clear();
        for (const auto& layer : carto::LookupFeatureLayers(*document().FocusMap())) combo.AddItem(layer->Name());
      },
      [](const vb::Error&) { host::ui::MsgBox("Error loading map layers"); });
}

void LoadComboWithFields(const std::string& layerName, host::ui::ComboBox& combo, bool useDisplayTable) {
  ErrorHandling::IgnoreErrors([&] {
    combo.Clear();
    FeatureLayerPtr layer = GetLayerByName(layerName);
    if (!layer) return;
    const geo::Table& table = useDisplayTable ? require(layer->DisplayTable()) : require(layer->MapFeatures());
    for (const geo::Field& f : table.Fields()) combo.AddItem(f.Name());
  });
}

int16_t FieldExists(const std::string& fieldName, const carto::FeatureLayer* layer) {
  int16_t result = 0;
  ErrorHandling::IgnoreErrors([&] {
    if (!layer) vb::raise(vb::err::ObjectNotSet);
    result = find_field(require(layer->DisplayTable()), fieldName) >= 0 ? 1 : -1;
  });
  return result;
}

void LoadComboWithUniqueFieldValues(const vb::Variant& layerName, const std::string& fieldName,
                                    host::ui::ComboBox& combo, bool showProgress, const geo::QueryFilter* filter) {
  bool go = false;
  Guard("LoadComboWithUniqueFieldValues", kModule, [&] {
    combo.Clear();
    if (vb::Trim(vb::CStr(layerName)).empty()) return;
    if (vb::SameText(fieldName, "Shape")) {
      host::ui::MsgBox("Shape field is not accessible");
      return;
    }
    go = true;
  });
  if (!go) return;
  load_unique("LoadComboWithUniqueFieldValues", "Loading List: " + fieldName + "... ", layerName, fieldName,
              showProgress, true, false, false, filter, [&](const std::string& t) { combo.AddItem(t); });
}

void LoadListWithUniqueFieldValues(const vb::Variant& layerName, const std::string& fieldName, host::ui::ListBox& list,
                                   bool showProgress, const geo::QueryFilter* filter) {
  bool go = false;
  Guard("LoadListWithUniqueFieldValues", kModule, [&] {
    list.Clear();
    if (vb::Trim(vb::CStr(layerName)).empty() || vb::Trim(fieldName).empty()) return;
    if (vb::SameText(fieldName, "Shape")) {
      host::ui::MsgBox("Shape field is not accessible");
      return;
    }
    go = true;
  });
  if (!go) return;
  load_unique("LoadListWithUniqueFieldValues", "Loading List: " + fieldName + "...", layerName, fieldName,
              showProgress, false, true, true, filter, [&](const std::string& t) { list.AddItem(t); });
}

void LoadComboWithFieldValues(const vb::Variant& layerName, const std::string& fieldName, host::ui::ComboBox& combo,
                              const geo::QueryFilter* filter) {
  Guard("LoadComboWithFieldValues", kModule, [&] {
    combo.Clear();
    if (vb::Trim(vb::CStr(layerName)).empty()) return;
    if (vb::SameText(fieldName, "Shape")) {
      host::ui::MsgBox("Shape field is not accessible");
      return;
    }
    FeatureLayerPtr layer = GetLayerByName(layerName);
    if (!layer) vb::raise(vb::err::ObjectNotSet);
    std::shared_ptr<geo::Table> table = layer->DisplayTable();
    geo::Cursor cursor = table->Search(filter);
    int field = find_field(*table, fieldName);
    if (field < 0) {
      host::ui::MsgBox("Can't find field: " + fieldName);
      return;
    }
    while (auto row = cursor.NextRow()) {
      std::string text = vb::CStr(row->Value(field));  // a Null ends the fill here
      if (!vb::Trim(text).empty()) combo.AddItem(text);
    }
  });
}

// ---------------------------------------------------------------- queries

std::string EscapeQuotes(std::string& text) {
  text = vb::Replace(text, "'", "''");
  return text;
}

int GetFieldType(const std::string& layerName, const std::string& fieldName) {
  int result = 0;
  Guard("GetFieldType", kModule, [&] {
    FeatureLayerPtr layer = GetLayerByName(layerName);
    if (!layer) return;
    const geo::Table& table = require(layer->DisplayTable());
    int field = table.FindField(fieldName);
    if (field >= 0) result = int(table.Fields().Field(field).Type());
  });
  return result;
}

std::string FormatQueryValue(const std::string& layerName, const std::string& fieldName, std::string& value) {
  std::string result;
  Guard("FormatQueryValue", kModule, [&] {
    EscapeQuotes(value);
    int type = GetFieldType(layerName, fieldName);
    if (type == int(geo::FieldType::String))
      value = "'" + value + "'";
    else if (type == int(geo::FieldType::Date))
      value = "#" + value + "#";
    result = value;
  });
  return result;
}

std::optional<Feature> GetFeatureByValue(const carto::FeatureLayer* layer, const vb::Variant& fieldName,
                                         const vb::Variant& value) {
  std::optional<Feature> result;
  Guard("GetFeatureByValue", kModule, [&] {
    if (!layer || vb::Trim(vb::CStr(fieldName)).empty() || vb::Trim(vb::CStr(value)).empty()) return;
    std::shared_ptr<geo::Table> table = layer->DisplayTable();
    if (!table) return;
    std::string name = vb::CStr(fieldName);
    int field = find_field(*table, name);
    if (field < 0) return;
    std::string clause = name + " = " + quoted_for(table->Fields().Field(field).Type(), vb::CStr(value));
    auto row = table->Search(geo::QueryFilter(clause)).NextRow();
    if (!row) return;
    if (!have_oid_fields(*table, *layer)) return;
    geo::QueryFilter byOid(layer->MapFeatures()->OIDFieldName() + " = " + std::to_string(row->OID()));
    result = layer->Search(&byOid).NextFeature();
  });
  return result;
}

std::optional<FeatureCursor> GetFeatureCursorByValue(const carto::FeatureLayer* layer, const vb::Variant& fieldName,
                                                     std::string& value) {
  std::optional<FeatureCursor> result;
  Guard("GetFeatureCursorByValue", kModule, [&] {
    if (!layer) vb::raise(vb::err::ObjectNotSet);
    std::shared_ptr<geo::Table> table = layer->DisplayTable();
    std::string name = vb::CStr(fieldName);
    int field = find_field(require(table), name);
    if (field < 0) return;
    value = quoted_for(table->Fields().Field(field).Type(), value);
    geo::Cursor rows = table->Search(geo::QueryFilter(name + " = " + value));
    std::vector<int64_t> oids;
    while (auto row = rows.NextRow()) oids.push_back(row->OID());
    if (oids.empty()) return;
    if (!have_oid_fields(*table, *layer)) return;
    geo::QueryFilter byOids(oid_list(layer->MapFeatures()->OIDFieldName(), oids));
    result = layer->Search(&byOids);
  });
  return result;
}

std::optional<FeatureCursor> GetFeatureCursorByQuery(const carto::FeatureLayer* layer, const std::string& whereClause) {
  std::optional<FeatureCursor> result;
  Guard("GetFeatureCursorByQuery", kModule, [&] {
    if (!layer) return;
    std::shared_ptr<geo::Table> table = layer->DisplayTable();
    require(table);
    geo::Cursor rows = table->Search(geo::QueryFilter(whereClause));
    std::vector<int64_t> oids;
    std::set<int64_t> seen;
    while (auto row = rows.NextRow())
      if (seen.insert(row->OID()).second) oids.push_back(row->OID());
    if (oids.empty()) return;
    if (!have_oid_fields(*table, *layer)) return;
    geo::QueryFilter byOids(oid_list(layer->MapFeatures()->OIDFieldName(), oids));
    result = layer->Search(&byOids);
  });
  return result;
}

// ---------------------------------------------------------------- zoom and layout texts

void ZoomToFeaturePlus(const std::optional<Feature>& feature, double fraction) {
  Guard("ZoomToFeaturePlus", kModule, [&] {
    if (!feature) return;
    double factor = 1 + fraction;
    carto::Document& doc = document();
    carto::ActiveView* view = &doc.ActiveView();
    if (view->IsPageLayout()) view = view->FocusMap().get();
    geo::Envelope e = feature->Extent();
    e.Expand(factor, factor, true);
    view->SetExtent(e);
    view->Refresh();
  });
}

void ReplaceLayoutText(const std::string& findText, const std::string& newText) {
  carto::PageLayout& layout = document().PageLayout();
  layout.Reset();
  while (auto element = layout.Next())
    if (auto* text = dynamic_cast<carto::TextElement*>(element.get()); text && vb::SameText(text->Text(), findText))
      text->SetText(newText);
  layout.Reset();
  layout.Refresh();
}

}  // namespace mapbooks::ZelvneGIS_ArcMap
