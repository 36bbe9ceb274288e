#include "gui/main_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <cairo.h>

#include <algorithm>
#include <cstdio>

#include "gui/qt_text.h"
#include "host/app/application.h"
#include "host/app/progressor.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/render/view_drawing.h"
#include "host/ui/controls.h"
#include "host/ui/event.h"
#include "host/ui/user.h"
#include "host/vb/error.h"

namespace host::gui {

namespace {
constexpr int kPageMargin = 24;
const QColor kDesk(0x9a, 0x9d, 0xa3);

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

// ---------------------------------------------------------------- MapCanvas

MapCanvas::MapCanvas(app::Application& app, QWidget* parent) : QWidget(parent), app_(app) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(120, 90);
}

void MapCanvas::Invalidate() {
  dirty_ = true;
  update();
}

QRect MapCanvas::PageRect() const {
  const carto::Document& doc = app_.GetDocument();
  if (!doc.InLayoutView()) return {};
  const carto::Page& page = doc.PageLayout().Page();
  const double pw = page.Width() * carto::kViewDpi, ph = page.Height() * carto::kViewDpi;
  const double scale = std::min((width() - 2.0 * kPageMargin) / pw, (height() - 2.0 * kPageMargin) / ph);
  if (!(scale > 0)) return {};
  const int w = int(pw * scale), h = int(ph * scale);
  return QRect((width() - w) / 2, (height() - h) / 2, w, h);
}

void MapCanvas::sync_data_window() {
  carto::Document& doc = app_.GetDocument();
  if (doc.InLayoutView() || width() <= 0 || height() <= 0) return;
  if (doc.DataWindowWidth() != width() || doc.DataWindowHeight() != height()) doc.SetDataWindowSize(width(), height());
}

void MapCanvas::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  sync_data_window();
  dirty_ = true;
}

void MapCanvas::render() {
  dirty_ = false;
  failure_.clear();
  const qreal dpr = devicePixelRatioF();
  const QSize size = this->size() * dpr;
  if (size.isEmpty()) return;
  sync_data_window();
  carto::Document& doc = app_.GetDocument();
  const bool layout = doc.InLayoutView();
  image_ = QImage(size, QImage::Format_ARGB32_Premultiplied);
  image_.fill(layout ? kDesk : QColor(Qt::white));
  // Cairo's ARGB32 is Qt's premultiplied ARGB32: cairo draws straight into the image.
  cairo_surface_t* surface = cairo_image_surface_create_for_data(image_.bits(), CAIRO_FORMAT_ARGB32, size.width(),
                                                                 size.height(), int(image_.bytesPerLine()));
  cairo_t* cr = cairo_create(surface);
  try {
    if (layout) {
      const QRect page = PageRect();
      if (!page.isEmpty()) {
        const double x = page.x() * dpr, y = page.y() * dpr, w = page.width() * dpr, h = page.height() * dpr;
        cairo_set_source_rgba(cr, 0, 0, 0, 0.35);
        cairo_rectangle(cr, x + 4 * dpr, y + 4 * dpr, w, h);
        cairo_fill(cr);
        carto::PageLayout& pl = doc.PageLayout();
        const geodata::Envelope bounds = pl.Page().Bounds();
        carto::PixelRect frame{int32_t(x), int32_t(y), int32_t(x + w), int32_t(y + h)};
        // The page shrinks to fit: its symbols and texts shrink with it.
        render::DrawView(pl, cr, frame, w / pl.Page().Width(), &bounds);
        cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
        cairo_stroke(cr);
      }
    } else {
      carto::PixelRect frame{0, 0, size.width(), size.height()};
      render::DrawView(doc.ActiveView(), cr, frame, carto::kViewDpi * dpr);
    }
  } catch (const vb::Error& e) {
    failure_ = ToQt(e.description());
  } catch (const std::exception& e) {
    failure_ = QString::fromUtf8(e.what());
  }
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  cairo_surface_destroy(surface);
  image_.setDevicePixelRatio(dpr);
}

void MapCanvas::paintEvent(QPaintEvent*) {
  if (dirty_ || image_.size() != size() * devicePixelRatioF()) render();
  QPainter painter(this);
  if (image_.isNull())
    painter.fillRect(rect(), kDesk);
  else
    painter.drawImage(0, 0, image_);
  if (!failure_.isEmpty()) {
    painter.setPen(QColor(160, 0, 0));
    painter.drawText(rect().adjusted(12, 12, -12, -12), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap,
                     QStringLiteral("The view could not be drawn: ") + failure_);
  }
}

// ---------------------------------------------------------------- MainWindow

MainWindow::MainWindow(app::Application& app) : app_(app) {
  setObjectName(QStringLiteral("ZelvaneMap"));
  setProperty("zelvaneOrder", 0);
  canvas_ = new MapCanvas(app, this);
  setCentralWidget(canvas_);
  build_menus();
  build_commands();

  message_ = new QLabel(tr("Ready"), this);
  view_label_ = new QLabel(this);
  progress_ = new QProgressBar(this);
  progress_->setFixedWidth(220);
  progress_->setTextVisible(true);
  progress_->setVisible(false);
  statusBar()->addWidget(message_, 1);
  statusBar()->addPermanentWidget(progress_);
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

}  // namespace host::gui
