// SPDX-License-Identifier: GPL-3.0-or-later
// The host's main window: the canvas draws the active view and follows its refreshes,
// the toolbar clicks the registered commands, the status bar shows the progressor, and
// closing asks the save question.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMenu>
#include <QMenuBar>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>

#include <cstdlib>

#include "gui/gui_user.h"
#include "gui/main_window.h"
#include "host/app/application.h"
#include "host/app/registry.h"
#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/ui/boxes.h"
#include "host/ui/form.h"
#include "support/temp_dir.h"

namespace {

namespace carto = host::carto;
namespace geo = host::geodata;

QMessageBox* open_message_box() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(w); box && box->isVisible()) return box;
  return nullptr;
}

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override { host::ui::ClearBoxLog(); }
  void TearDown() override { geo::ShapefileWorkspace::ClearCache(); }

  // A red square from (0, 0) to (100, 100) in the focus map, shown around it.
  void add_red_square() {
    auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
    auto fc = ws->CreateFeatureClass("square", geo::FieldSet{geo::Field::Shape("Shape", geo::GeometryType::Polygon)});
    geo::Feature f = fc->CreateFeature();
    f.SetShape(geo::Geometry::FromEnvelope(geo::Envelope(0, 0, 100, 100)));
    f.Store();
    fc->Flush();
    auto layer = std::make_shared<carto::FeatureLayer>(fc);
    layer->SetRenderer(carto::SimpleRenderer(carto::SimpleFillSymbol(carto::RgbColor(255, 0, 0))));
    doc().FocusMap()->AddLayer(layer);
    doc().FocusMap()->SetExtent(geo::Envelope(-50, -50, 150, 150));
  }
  carto::Document& doc() { return app.GetDocument(); }
  void show(gui::MainWindow& w) {
    w.resize(800, 600);
    w.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
  }

  testing_support::TempDir dir;
  host::app::Application app;
  gui::GuiUser user;
};

}  // namespace

TEST_F(MainWindowTest, TheCanvasDrawsTheActiveViewAndFollowsItsRefreshes) {
  add_red_square();
  gui::MainWindow w(app);
  show(w);
  gui::MapCanvas* canvas = w.Canvas();
  // Data view: the canvas is the data window, the map's centre in its middle.
  EXPECT_EQ(doc().DataWindowWidth(), canvas->width());
  EXPECT_EQ(doc().DataWindowHeight(), canvas->height());
  QImage data = canvas->grab().toImage();
  EXPECT_EQ(data.pixelColor(canvas->width() / 2, canvas->height() / 2), QColor(255, 0, 0));
  EXPECT_EQ(data.pixelColor(2, 2), QColor(255, 255, 255));

  // Layout view, asked for by code: the refresh it sends redraws the canvas.
  auto frame = doc().PageLayout().FindFrame(*doc().FocusMap());
  ASSERT_NE(frame, nullptr);
  doc().SetActiveView(doc().PageLayout());
  frame->SetGeometry(geo::Envelope(1, 2, 7, 8));
  doc().FocusMap()->SetExtent(geo::Envelope(-50, -50, 150, 150));
  doc().ActiveView().Refresh();
  QImage layout = canvas->grab().toImage();
  const QRect page = canvas->PageRect();
  ASSERT_FALSE(page.isEmpty());
  EXPECT_TRUE(canvas->rect().contains(page));
  EXPECT_NEAR(page.width() / double(page.height()), 8.5 / 11, 0.01);  // the Letter page's shape
  auto at_page = [&](double x, double y) {  // page inches, from the lower left corner
    return layout.pixelColor(page.x() + int(x / 8.5 * page.width()), page.y() + int((11 - y) / 11 * page.height()));
  };
  EXPECT_EQ(layout.pixelColor(2, 2), QColor(0x9a, 0x9d, 0xa3));  // the desk around the page
  EXPECT_EQ(at_page(0.3, 10.7), QColor(255, 255, 255));
  EXPECT_EQ(at_page(4, 5), QColor(255, 0, 0));  // the frame's centre shows the square
}

TEST_F(MainWindowTest, TheToolbarClicksARegisteredCommand) {
  setenv("ZELVANE_REGISTRY", (dir / "registry.json").c_str(), 1);
  host::app::RegisterLibrary(ZELVANE_TEST_PLUGIN);
  app.CreateCommands();
  unsetenv("ZELVANE_REGISTRY");
  gui::MainWindow w(app);
  show(w);
  QAction* action = w.CommandAction("TestGIS_TestCommand");
  ASSERT_NE(action, nullptr);
  EXPECT_EQ(action->text(), "Test command");
  EXPECT_EQ(action->statusTip(), "A command for tests");
  auto* button = qobject_cast<QToolButton*>(w.findChild<QToolBar*>()->widgetForAction(action));
  ASSERT_NE(button, nullptr);
  QTest::mouseClick(button, Qt::LeftButton);
  // The command shows its window modelessly.
  host::ui::Form* form = host::ui::FindLoadedForm("frmTest");
  ASSERT_NE(form, nullptr);
  gui::FormWindow* window = user.WindowOf(*form);
  ASSERT_NE(window, nullptr);
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(window->isModal());
  EXPECT_EQ(window->windowTitle(), "Test");  // the modeless frame titles it
}

TEST_F(MainWindowTest, TheStatusBarShowsTheProgressor) {
  gui::MainWindow w(app);
  show(w);
  host::app::StepProgressor& p = app.GetStatusBar().GetProgressBar();
  p.SetMessage("Exporting maps");
  p.SetMinRange(0);
  p.SetMaxRange(4);
  p.SetPosition(0);
  p.Show();
  p.Step();
  p.Step();
  EXPECT_TRUE(w.ProgressBar()->isVisibleTo(&w));
  EXPECT_EQ(w.ProgressBar()->maximum(), 4);
  EXPECT_EQ(w.ProgressBar()->value(), 2);
  EXPECT_EQ(w.StatusMessage()->text(), "Exporting maps");
  p.Hide();
  EXPECT_FALSE(w.ProgressBar()->isVisibleTo(&w));
  EXPECT_EQ(w.StatusMessage()->text(), "Ready");
}

TEST_F(MainWindowTest, ClosingAsksWhetherToSaveAChangedDocument) {
  gui::MainWindow w(app);
  show(w);
  app.SetDocumentChanged(true);
  auto answer = [](QMessageBox::StandardButton b) {
    QTimer::singleShot(0, qApp, [b] {
      QMessageBox* box = open_message_box();
      ASSERT_NE(box, nullptr);
      box->button(b)->click();
    });
  };
  answer(QMessageBox::Cancel);
  EXPECT_FALSE(w.close());
  EXPECT_TRUE(w.isVisible());
  EXPECT_FALSE(app.HasEnded());
  answer(QMessageBox::No);
  EXPECT_TRUE(w.close());
  EXPECT_TRUE(app.HasEnded());
  ASSERT_EQ(host::ui::BoxLog().size(), 2u);
  EXPECT_EQ(host::ui::BoxLog()[1].TranscriptLine(), "MSGBOX YesNoCancel -> No: Save changes to Untitled?");
}

TEST_F(MainWindowTest, FileOpenOfABrokenDocumentWarnsAndKeepsTheDocument) {
  gui::MainWindow w(app);
  show(w);
  doc().FocusMap()->SetName("Kept");
  const std::string bad = (dir.path() / "bad.json").string();
  testing_support::WriteFile(dir.path() / "bad.json", R"({"maps": [{"name": "A", "extent": [0, 0, 1e400, 1]}]})");
  QAction* open = nullptr;
  for (QAction* menu : w.menuBar()->actions())
    for (QAction* a : menu->menu()->actions())
      if (a->text().startsWith(QStringLiteral("&Open"))) open = a;
  ASSERT_NE(open, nullptr);
  QString warning;
  // The file dialog takes the file; the warning that follows is read and closed.
  QTimer::singleShot(0, qApp, [&] {
    for (QWidget* top : QApplication::topLevelWidgets())
      if (auto* dialog = qobject_cast<QFileDialog*>(top); dialog && dialog->isVisible()) {
        dialog->selectFile(QString::fromStdString(bad));
        QTimer::singleShot(0, qApp, [&] {
          QMessageBox* box = open_message_box();
          ASSERT_NE(box, nullptr);
          warning = box->text();
          box->button(QMessageBox::Ok)->click();
        });
        QMetaObject::invokeMethod(dialog, "accept");
      }
  });
  open->trigger();  // a library error thrown out of the slot would end the test program here
  EXPECT_EQ(warning.toStdString(),
            "Cannot open map document \"" + bad + "\": broken JSON: parse error at line 1, column 46: number overflow "
            "parsing '1e400'");
  EXPECT_EQ(doc().FocusMap()->Name(), "Kept");
}

// Work a command left running (a PDF join) that ends in failure is told in a box while
// the window runs, once it is over.
TEST_F(MainWindowTest, BackgroundWorkThatFailsIsToldWhileTheWindowRuns) {
  gui::MainWindow w(app);
  show(w);
  bool over = false;
  app.AddBackgroundWork("join", [&](bool wait) {
    if (!wait && !over) return host::app::WorkState::Running;
    host::ui::MsgBox("The pages were not joined.", host::ui::vbOKOnly | host::ui::vbExclamation);
    return host::app::WorkState::Failed;
  });
  QTest::qWait(600);
  EXPECT_TRUE(host::ui::BoxLog().empty());
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [] {
    if (QMessageBox* box = open_message_box()) box->button(QMessageBox::Ok)->click();
  });
  closer.start(20);
  over = true;
  ASSERT_TRUE(QTest::qWaitFor([] { return !host::ui::BoxLog().empty(); }, 5000));
  EXPECT_EQ(host::ui::BoxLog()[0].text, "The pages were not joined.");
  EXPECT_EQ(app.FailedBackgroundWork(), 1);
  EXPECT_FALSE(app.HasBackgroundWork());
}
