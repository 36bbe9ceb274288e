#pragma once
// The host's own window: the map document's active view on a canvas, the menus, a
// toolbar button for every registered command, and the status bar with the progressor.

#include <QImage>
#include <QMainWindow>
#include <QWidget>

#include <exception>
#include <map>
#include <string>

class QAction;
class QActionGroup;
class QLabel;
class QProgressBar;
class QTimer;

namespace host::app {
class Application;
class ICommand;
class StepProgressor;
}  // namespace host::app

namespace host::gui {

// What a failure says to the user: a host error's description, else the library's text.
std::string FailureText(const std::exception& e);

// Draws the active view: in layout view the whole page centred on grey, in data view the
// focus map filling the canvas (whose size is the document's data window).
class MapCanvas : public QWidget {
 public:
  MapCanvas(host::app::Application& app, QWidget* parent);
  // The view changed: drawn afresh at the next paint.
  void Invalidate();
  // Where the page lies on the canvas in layout view (empty in data view).
  QRect PageRect() const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void render();
  void sync_data_window();
  host::app::Application& app_;
  QImage image_;
  QString failure_;
  bool dirty_ = true;
};

class MainWindow : public QMainWindow {
 public:
  explicit MainWindow(host::app::Application& app);
  ~MainWindow() override;

  MapCanvas* Canvas() const { return canvas_; }
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
  void open_document();
  bool save_document(bool ask_name);
  void show_view(bool layout);
  void progress(const host::app::StepProgressor& p);
  void click(host::app::ICommand& command);

  host::app::Application& app_;
  MapCanvas* canvas_ = nullptr;
  QLabel* message_ = nullptr;
  QLabel* view_label_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QAction* layout_view_ = nullptr;
  QAction* data_view_ = nullptr;
  QTimer* heartbeat_ = nullptr;
  std::map<std::string, QAction*> commands_;
  bool ask_on_close_ = true;
};

}  // namespace host::gui
