// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's own window: the map document's active view on a canvas with the map tools,
// the list of maps and layers beside it, the menus, a toolbar button for every
// registered command, and the status bar with the pointer's place, the map's scale, the
// selection's count and the progressor.

#include "gui/host_modules.h"
#include <QMainWindow>

#include <exception>
#include <map>
#include <string>

#include "gui/layer_list.h"
#include "gui/map_canvas.h"

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QTimer;
class QToolBar;

namespace host::app {
class Application;
class ICommand;
class StepProgressor;
}  // namespace host::app

namespace gui {

// What a failure says to the user: a host error's description, else the library's text.
std::string FailureText(const std::exception& e);

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(host::app::Application& app);
  ~MainWindow() override;

  MapCanvas* Canvas() const { return canvas_; }
  LayerList* Layers() const { return layers_; }
  // The map tools' buttons by object name ("zoomIn", "zoomOut", "pan", "fullExtent",
  // "previousExtent", "nextExtent", "select", "clearSelection"); null when there is none.
  QAction* ToolAction(const QString& name) const;
  QLabel* PointerLabel() const { return pointer_label_; }
  QLabel* ScaleLabel() const { return scale_label_; }
  QLabel* SelectionLabel() const { return selection_label_; }
  // The toolbar button of a command, by the command's name; null when there is none.
  QAction* CommandAction(const std::string& name) const;
  QProgressBar* ProgressBar() const { return progress_; }
  QLabel* StatusMessage() const { return message_; }
  // Reads title, commands and view from the host again (also done on a timer).
  void Sync();
  // Closes without the save question (unattended runs).
  void CloseWithoutAsking();

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void build_menus();
  void build_commands();
  void build_tools();
  void show_place();
  void open_document();
  bool save_document(bool ask_name);
  void show_view(bool layout);
  void progress(const host::app::StepProgressor& p);
  void click(host::app::ICommand& command);

  host::app::Application& app_;
  MapCanvas* canvas_ = nullptr;
  QLabel* message_ = nullptr;
  QLabel* view_label_ = nullptr;
  QLabel* pointer_label_ = nullptr;
  QLabel* scale_label_ = nullptr;
  QLabel* selection_label_ = nullptr;
  LayerList* layers_ = nullptr;
  QToolBar* tools_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QAction* layout_view_ = nullptr;
  QAction* data_view_ = nullptr;
  QTimer* heartbeat_ = nullptr;
  std::map<std::string, QAction*> commands_;
  bool ask_on_close_ = true;
};

}  // namespace gui
