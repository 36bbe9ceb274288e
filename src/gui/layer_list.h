// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The list of maps and their layers beside the view: a check box per layer that shows
// or hides it, the focus map in bold. A double-click on a map makes it the focus map.

#include "gui/host_modules.h"
#include <QTreeWidget>

#include <functional>
#include <string>

namespace host::app {
class Application;
}
namespace host::carto {
class Layer;
class Map;
}  // namespace host::carto

namespace gui {

class LayerList : public QTreeWidget {
 public:
  LayerList(host::app::Application& app, QWidget* parent);
  // Builds the list again when the document's maps, layers, visibility or focus changed.
  void Sync();
  // The item of a map or a layer, or null.
  QTreeWidgetItem* ItemOf(const host::carto::Map& map) const;
  QTreeWidgetItem* ItemOf(const host::carto::Layer& layer) const;
  // Told after a change made here (the view then needs drawing).
  void SetChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }

 private:
  std::string signature() const;
  void rebuild();
  void item_changed(QTreeWidgetItem* item);
  void item_activated(QTreeWidgetItem* item);

  host::app::Application& app_;
  std::string shown_;
  bool building_ = false;
  std::function<void()> changed_;
};

}  // namespace gui
