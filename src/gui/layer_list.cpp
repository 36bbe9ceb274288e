// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/layer_list.h"

#include <QHeaderView>

#include "gui/qt_text.h"
#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"

namespace gui {

namespace {
// Items carry the address of their map or layer.
constexpr int kObjectRole = Qt::UserRole;
constexpr int kIsMapRole = Qt::UserRole + 1;

const void* object_of(const QTreeWidgetItem* item) {
  return reinterpret_cast<const void*>(item->data(0, kObjectRole).value<quintptr>());
}

void describe(const std::vector<std::shared_ptr<carto::Layer>>& layers, std::string& out) {
  out += '[';
  for (const auto& l : layers) {
    out += std::to_string(reinterpret_cast<quintptr>(l.get())) + (l->Visible() ? "+" : "-") + l->Name() + ';';
    if (auto g = std::dynamic_pointer_cast<carto::GroupLayer>(l)) describe(g->Layers(), out);
  }
  out += ']';
}

QTreeWidgetItem* find_item(QTreeWidgetItem* item, const void* object) {
  if (object_of(item) == object) return item;
  for (int i = 0; i < item->childCount(); ++i)
    if (QTreeWidgetItem* found = find_item(item->child(i), object)) return found;
  return nullptr;
}
}  // namespace

LayerList::LayerList(app::Application& app, QWidget* parent) : QTreeWidget(parent), app_(app) {
  setObjectName(QStringLiteral("layerList"));
  setHeaderHidden(true);
  setColumnCount(1);
  setMinimumWidth(180);
  connect(this, &QTreeWidget::itemChanged, this, [this](QTreeWidgetItem* item) { item_changed(item); });
  connect(this, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) { item_activated(item); });
  Sync();
}

std::string LayerList::signature() const {
  const carto::Document& doc = app_.GetDocument();
  std::string out;
  for (const auto& map : doc.Maps()) {
    out += std::to_string(reinterpret_cast<quintptr>(map.get())) + (map == doc.FocusMap() ? "*" : "") + map->Name();
    describe(map->Layers(), out);
  }
  return out;
}

void LayerList::Sync() {
  std::string now = signature();
  if (now == shown_) return;
  shown_ = std::move(now);
  rebuild();
}

void LayerList::rebuild() {
  building_ = true;
  clear();
  const carto::Document& doc = app_.GetDocument();
  std::function<void(QTreeWidgetItem*, const std::vector<std::shared_ptr<carto::Layer>>&)> add_layers =
      [&](QTreeWidgetItem* parent, const std::vector<std::shared_ptr<carto::Layer>>& layers) {
        for (const auto& l : layers) {
          auto* item = new QTreeWidgetItem(parent, QStringList(ToQt(l->Name())));
          item->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(l.get())));
          item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
          item->setCheckState(0, l->Visible() ? Qt::Checked : Qt::Unchecked);
          if (auto g = std::dynamic_pointer_cast<carto::GroupLayer>(l)) add_layers(item, g->Layers());
        }
      };
  for (const auto& map : doc.Maps()) {
    auto* item = new QTreeWidgetItem(this, QStringList(ToQt(map->Name())));
    item->setData(0, kObjectRole, QVariant::fromValue(reinterpret_cast<quintptr>(map.get())));
    item->setData(0, kIsMapRole, true);
    QFont f = font();
    f.setBold(map == doc.FocusMap());
    item->setFont(0, f);
    add_layers(item, map->Layers());
  }
  expandAll();
  building_ = false;
}

QTreeWidgetItem* LayerList::ItemOf(const carto::Map& map) const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    if (object_of(topLevelItem(i)) == &map) return topLevelItem(i);
  return nullptr;
}

QTreeWidgetItem* LayerList::ItemOf(const carto::Layer& layer) const {
  for (int i = 0; i < topLevelItemCount(); ++i)
    for (int j = 0; j < topLevelItem(i)->childCount(); ++j)
      if (QTreeWidgetItem* found = find_item(topLevelItem(i)->child(j), &layer)) return found;
  return nullptr;
}

void LayerList::item_changed(QTreeWidgetItem* item) {
  if (building_ || item->data(0, kIsMapRole).toBool()) return;
  const void* object = object_of(item);
  const bool visible = item->checkState(0) == Qt::Checked;
  carto::Document& doc = app_.GetDocument();
  std::function<bool(const std::vector<std::shared_ptr<carto::Layer>>&)> apply =
      [&](const std::vector<std::shared_ptr<carto::Layer>>& layers) {
        for (const auto& l : layers) {
          if (l.get() == object) {
            l->SetVisible(visible);
            return true;
          }
          if (auto g = std::dynamic_pointer_cast<carto::GroupLayer>(l); g && apply(g->Layers())) return true;
        }
        return false;
      };
  for (const auto& map : doc.Maps())
    if (apply(map->Layers())) break;
  shown_ = signature();
  doc.ActiveView().Refresh();
  doc.CurrentContentsView().Refresh();
  if (changed_) changed_();
}

void LayerList::item_activated(QTreeWidgetItem* item) {
  if (!item->data(0, kIsMapRole).toBool()) return;
  carto::Document& doc = app_.GetDocument();
  for (const auto& map : doc.Maps()) {
    if (map.get() != object_of(item)) continue;
    if (doc.InLayoutView())
      doc.PageLayout().SetFocusMap(map);
    else
      doc.SetActiveView(*map);
  }
  // The list is built again once the double-click is over.
  QMetaObject::invokeMethod(this, [this] { Sync(); }, Qt::QueuedConnection);
  doc.ActiveView().Refresh();
  if (changed_) changed_();
}

}  // namespace gui
