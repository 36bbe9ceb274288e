// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QDockWidget>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gui/qt_text.h"
#include "host/app/application.h"
#include "host/app/progressor.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/carto/units.h"
#include "host/ui/controls.h"
#include "host/ui/event.h"
#include "host/ui/user.h"
#include "host/vb/error.h"

namespace gui {

namespace {

// A command's bitmap as an icon; its corner colour is the transparent one, as toolbar
// bitmaps have it.
QIcon command_icon(long handle) {
  const ui::Picture* picture = ui::FindPicture(handle);
  if (!picture || picture->Data.empty()) return {};
  QImage image;
  if (!image.loadFromData(reinterpret_cast<const uchar*>(picture->Data.data()), int(picture->Data.size()))) return {};
  QPixmap pixmap = QPixmap::fromImage(image);
  pixmap.setMask(pixmap.createMaskFromColor(image.pixelColor(0, 0), Qt::MaskInColor));
  return QIcon(pixmap);
}
}  // namespace

std::string FailureText(const std::exception& e) {
  if (auto* host_error = dynamic_cast<const vb::Error*>(&e)) return host_error->description();
  return e.what();
}

// ---------------------------------------------------------------- MainWindow

MainWindow::MainWindow(app::Application& app) : app_(app) {
  setObjectName(QStringLiteral("ZelvaneMap"));
  setProperty("zelvaneOrder", 0);
  canvas_ = new MapCanvas(app, this);
  setCentralWidget(canvas_);
  build_menus();
  build_commands();
  build_tools();
  layers_ = new LayerList(app, this);
  auto* dock = new QDockWidget(tr("Layers"), this);
  dock->setObjectName(QStringLiteral("layersDock"));
  dock->setFeatures(QDockWidget::NoDockWidgetFeatures);
  dock->setWidget(layers_);
  addDockWidget(Qt::LeftDockWidgetArea, dock);
  resizeDocks({dock}, {200}, Qt::Horizontal);
  layers_->SetChangeListener([this] { Sync(); });
  canvas_->SetChangeListener([this] { show_place(); });

  message_ = new QLabel(tr("Ready"), this);
  view_label_ = new QLabel(this);
  pointer_label_ = new QLabel(this);
  pointer_label_->setObjectName(QStringLiteral("pointer"));
  pointer_label_->setMinimumWidth(230);
  scale_label_ = new QLabel(this);
  scale_label_->setObjectName(QStringLiteral("scale"));
  selection_label_ = new QLabel(this);
  selection_label_->setObjectName(QStringLiteral("selection"));
  progress_ = new QProgressBar(this);
  progress_->setFixedWidth(220);
  progress_->setTextVisible(true);
  progress_->setVisible(false);
  statusBar()->addWidget(message_, 1);
  statusBar()->addPermanentWidget(progress_);
  statusBar()->addPermanentWidget(selection_label_);
  statusBar()->addPermanentWidget(pointer_label_);
  statusBar()->addPermanentWidget(scale_label_);
  statusBar()->addPermanentWidget(view_label_);

  carto::ActiveView::SetRefreshListener(
      [this](carto::ActiveView&, carto::ViewDrawPhase, const geodata::Envelope*) { canvas_->Invalidate(); });
  // The progressor shows here, not on the terminal the window was started from.
  app_.GetStatusBar().GetProgressBar().SetDrawOnTerminal(false);
  app_.GetStatusBar().GetProgressBar().SetListener([this](const app::StepProgressor& p) { progress(p); });

  heartbeat_ = new QTimer(this);
  heartbeat_->setInterval(250);
  connect(heartbeat_, &QTimer::timeout, this, [this] {
    Sync();
    // A program a command started has ended: its failure is told now.
    try {
      app_.CheckBackgroundWork();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "zelvane-gui: %s\n", e.what());
    }
    // A command asked the host to end (after a batch run, say).
    if (app_.ShutdownRequested() && !app_.HasEnded()) close();
  });
  heartbeat_->start();
  resize(1100, 780);
  Sync();
}

MainWindow::~MainWindow() {
  carto::ActiveView::SetRefreshListener(nullptr);
  app_.GetStatusBar().GetProgressBar().SetListener(nullptr);
}

void MainWindow::build_menus() {
  QMenu* file = menuBar()->addMenu(tr("&File"));
  QAction* open = file->addAction(tr("&Open map document..."), this, [this] { open_document(); });
  open->setShortcut(QKeySequence::Open);
  QAction* save = file->addAction(tr("&Save"), this, [this] { save_document(false); });
  save->setShortcut(QKeySequence::Save);
  QAction* save_as = file->addAction(tr("Save &As..."), this, [this] { save_document(true); });
  save_as->setShortcut(QKeySequence::SaveAs);
  file->addSeparator();
  QAction* exit = file->addAction(tr("E&xit"), this, [this] { close(); });
  exit->setShortcut(QKeySequence::Quit);

  QMenu* view = menuBar()->addMenu(tr("&View"));
  auto* group = new QActionGroup(this);
  layout_view_ = view->addAction(tr("&Layout view"), this, [this] { show_view(true); });
  data_view_ = view->addAction(tr("&Data view"), this, [this] { show_view(false); });
  for (QAction* a : {layout_view_, data_view_}) {
    a->setCheckable(true);
    group->addAction(a);
  }
}

void MainWindow::build_commands() {
  QToolBar* bar = addToolBar(tr("Commands"));
  bar->setObjectName(QStringLiteral("commands"));
  bar->setMovable(false);
  bar->setIconSize(QSize(16, 16));
  bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  for (app::ICommand* command : app_.Commands()) {
    QAction* a = bar->addAction(command_icon(command->Bitmap()), ToQt(command->Caption()));
    a->setObjectName(ToQt(command->Name()));
    a->setToolTip(ToQt(command->Tooltip()));
    a->setStatusTip(ToQt(command->Message()));
    connect(a, &QAction::triggered, this, [this, command] { click(*command); });
    commands_[command->Name()] = a;
  }
}

void MainWindow::build_tools() {
  tools_ = addToolBar(tr("Tools"));
  tools_->setObjectName(QStringLiteral("tools"));
  tools_->setMovable(false);
  tools_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto* group = new QActionGroup(this);
  auto tool = [&](const char* name, const QString& caption, const QString& tip, MapTool t) {
    QAction* a = tools_->addAction(caption, this, [this, t] { canvas_->SetTool(t); });
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(tip);
    a->setCheckable(true);
    a->setChecked(canvas_->Tool() == t);
    group->addAction(a);
  };
  auto step = [&](const char* name, const QString& caption, const QString& tip, auto action) {
    QAction* a = tools_->addAction(caption, this, [this, action] {
      action();
      Sync();
    });
    a->setObjectName(QString::fromLatin1(name));
    a->setToolTip(tip);
  };
  tool("zoomIn", tr("Zoom In"), tr("Click, or drag a rectangle, to zoom in"), MapTool::ZoomIn);
  tool("zoomOut", tr("Zoom Out"), tr("Click, or drag a rectangle, to zoom out"), MapTool::ZoomOut);
  tool("pan", tr("Pan"), tr("Drag to move the view (the middle button pans with any tool)"), MapTool::Pan);
  step("fullExtent", tr("Full Extent"), tr("Show everything"), [this] { canvas_->FullExtent(); });
  step("previousExtent", tr("Back"), tr("Go back to the previous extent"), [this] { canvas_->PreviousExtent(); });
  step("nextExtent", tr("Forward"), tr("Go forward to the next extent"), [this] { canvas_->NextExtent(); });
  tools_->addSeparator();
  tool("select", tr("Select Features"),
       tr("Click, or drag a rectangle, to select features of the focus map; Shift adds"), MapTool::Select);
  step("clearSelection", tr("Clear Selection"), tr("Select no features"), [this] { canvas_->ClearSelection(); });
}

QAction* MainWindow::ToolAction(const QString& name) const {
  for (QAction* a : tools_->actions())
    if (a->objectName() == name) return a;
  return nullptr;
}

void MainWindow::show_place() {
  const carto::Document& doc = app_.GetDocument();
  std::shared_ptr<carto::Map> map = doc.FocusMap();
  if (!canvas_->PointerKnown()) {
    pointer_label_->clear();
  } else {
    const geodata::Point& p = canvas_->PointerWorld();
    if (canvas_->PointerInMap()) {
      const carto::Units units = map->MapUnits();
      const QString unit = units == carto::Units::Unknown ? QString() : QStringLiteral(" ") + ToQt(UnitsName(units));
      pointer_label_->setText(tr("%1  %2%3").arg(QString::number(p.X, 'f', 2), QString::number(p.Y, 'f', 2), unit));
    } else
      pointer_label_->setText(tr("%1  %2 inches").arg(QString::number(p.X, 'f', 2), QString::number(p.Y, 'f', 2)));
  }
  const double scale = map ? map->MapScale() : 0;
  QString scale_text;
  if (scale > 0) scale_text = tr("1:%1").arg(QLocale(QLocale::English).toString(std::llround(scale)));
  // The page holds several maps: say whose scale it is (data view names its map already).
  if (!scale_text.isEmpty() && doc.InLayoutView()) scale_text = tr("%1 at %2").arg(ToQt(map->Name()), scale_text);
  scale_label_->setText(scale_text);
  const qlonglong selected = map ? qlonglong(map->SelectionCount()) : 0;
  selection_label_->setText(tr("Selected features: %1").arg(selected));
  if (QAction* back = ToolAction(QStringLiteral("previousExtent"))) back->setEnabled(canvas_->HasPreviousExtent());
  if (QAction* next = ToolAction(QStringLiteral("nextExtent"))) next->setEnabled(canvas_->HasNextExtent());
}

QAction* MainWindow::CommandAction(const std::string& name) const {
  auto it = commands_.find(name);
  return it == commands_.end() ? nullptr : it->second;
}

void MainWindow::click(app::ICommand& command) {
  try {
    app_.Click(command);
  } catch (const ui::ScriptError& e) {
    std::fprintf(stderr, "zelvane-gui: %s\n", e.what());
  } catch (const std::exception& e) {
    QMessageBox::critical(this, ToQt(app_.Name()), QString::fromUtf8(e.what()));
  }
  Sync();
}

void MainWindow::Sync() {
  setWindowTitle(ToQt(app_.Caption()));
  for (app::ICommand* command : app_.Commands()) {
    QAction* a = CommandAction(command->Name());
    if (!a) continue;
    a->setEnabled(command->Enabled());
    a->setCheckable(command->Checked() || a->isCheckable());
    if (a->isCheckable()) a->setChecked(command->Checked());
  }
  const bool layout = app_.GetDocument().InLayoutView();
  layout_view_->setChecked(layout);
  data_view_->setChecked(!layout);
  view_label_->setText(layout ? tr("Layout view") : tr("Data view: %1").arg(ToQt(app_.GetDocument().FocusMap()->Name())));
  layers_->Sync();
  show_place();
}

void MainWindow::show_view(bool layout) {
  carto::Document& doc = app_.GetDocument();
  if (layout)
    doc.SetActiveView(doc.PageLayout());
  else
    doc.SetActiveView(*doc.FocusMap());
  canvas_->Invalidate();
  Sync();
}

void MainWindow::open_document() {
  const QString start = app_.GetDocument().FilePath().empty()
                            ? QString()
                            : QFileInfo(QString::fromStdString(app_.GetDocument().FilePath().string())).absolutePath();
  const QString path = QFileDialog::getOpenFileName(this, tr("Open map document"), start,
                                                    tr("Map documents (*.json);;All files (*)"));
  if (path.isEmpty()) return;
  try {
    app_.OpenDocument(ToStd(path));
  } catch (const std::exception& e) {
    // Whatever the failure, the host keeps its document and the slot returns.
    QMessageBox::warning(this, ToQt(app_.Name()), ToQtLines(FailureText(e)));
  }
  canvas_->ForgetExtents();
  canvas_->Invalidate();
  Sync();
}

bool MainWindow::save_document(bool ask_name) {
  std::string path;
  if (ask_name || app_.GetDocument().FilePath().empty()) {
    QString chosen = QFileDialog::getSaveFileName(this, tr("Save map document"),
                                                  ToQt(app_.GetDocument().FilePath().string()),
                                                  tr("Map documents (*.json)"));
    if (chosen.isEmpty()) return false;
    if (QFileInfo(chosen).suffix().isEmpty()) chosen += QStringLiteral(".json");
    path = ToStd(chosen);
  }
  try {
    app_.SaveDocument(path);
  } catch (const std::exception& e) {
    QMessageBox::warning(this, ToQt(app_.Name()), ToQtLines(FailureText(e)));
    return false;
  }
  Sync();
  return true;
}

void MainWindow::progress(const app::StepProgressor& p) {
  progress_->setVisible(p.Visible());
  if (p.Visible()) {
    const long lo = std::min(p.MinRange(), p.MaxRange()), hi = std::max(p.MinRange(), p.MaxRange());
    progress_->setRange(int(lo), int(std::max(hi, lo + 1)));
    progress_->setValue(int(std::clamp(p.Position(), lo, hi)));
    message_->setText(p.Message().empty() ? tr("Working...") : ToQt(p.Message()));
  } else {
    message_->setText(tr("Ready"));
  }
  // Long runs step the progressor without returning to the event loop: paint it now.
  statusBar()->repaint();
}

void MainWindow::CloseWithoutAsking() {
  ask_on_close_ = false;
  close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (!ask_on_close_ || app_.HasEnded()) return event->accept();
  bool ended = false;
  try {
    app_.Shutdown();
    ended = app_.ProcessShutdown();
  } catch (const ui::ScriptError& e) {
    std::fprintf(stderr, "zelvane-gui: %s\n", e.what());
  }
  if (!ended) return event->ignore();
  event->accept();  // the last window closed: the event loop ends
}

}  // namespace gui
