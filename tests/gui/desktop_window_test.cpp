// SPDX-License-Identifier: GPL-3.0-or-later
// The map-book command in the desktop window, used as a user uses it: keys and mouse
// clicks on the real widgets, with the host's window and the command's windows together.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QMessageBox>
#include <QLineEdit>
#include <QListWidget>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QSpontaneKeyEvent>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWheelEvent>
#include <QWindow>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>

#include "gui/gui_user.h"
#include "gui/main_window.h"
#include "host/app/application.h"
#include "host/app/progressor.h"
#include "host/app/registry.h"
#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/ui/boxes.h"
#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "support/run_command.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace {

namespace fs = std::filesystem;
namespace ui = host::ui;
namespace carto = host::carto;

constexpr const char* kCommand = "ZelvaneGIS_ZelvaneMapbooks";

// One host for the whole suite, as a user has one: the command keeps the application
// it found at its first click for as long as it is loaded.
class DesktopWindow : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    fs::remove_all(testing_support::DrivesRoot() / "c" / "Program Files" / "ZelvaneGIS");
    dir_ = new testing_support::TempDir("zelvane-desktop");
    app_ = new host::app::Application;
    app_->OpenDocument(WriteTownDocument(dir_->path()));
    setenv("ZELVANE_REGISTRY", (dir_->path() / "registry.json").c_str(), 1);
    host::app::RegisterLibrary(ZELVANE_MAPBOOKS_PLUGIN);
    app_->CreateCommands();
    unsetenv("ZELVANE_REGISTRY");
    user_ = new gui::GuiUser;
    user_->SetUnattended(true);  // boxes take their default answer; their texts are logged
    host_ = new gui::MainWindow(*app_);
    user_->SetHostWindow(host_);
    host_->resize(640, 480);
    host_->move(0, 0);
    host_->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(host_));
  }
  static void TearDownTestSuite() {
    ui::UnloadAllForms();
    delete host_;
    delete user_;
    app_->End();
    delete app_;
    host::geodata::ShapefileWorkspace::ClearCache();
    delete dir_;
  }
  void SetUp() override { ui::ClearBoxLog(); }

  // A town with a 3 x 2 grid in "Layers", and a second map "Inset" without the grid.
  static std::string WriteTownDocument(const fs::path& root) {
    std::string town = (root / "town").string();
    towngen::TownOptions o;
    o.blocksX = 6;
    o.blocksY = 4;
    auto summary = towngen::WriteTown(town, o);
    towngen::WriteTileGrid(town, "grid", summary.extent, 3, 2, towngen::TownSpatialReference());
    carto::Document doc;
    auto ws = host::geodata::ShapefileWorkspace::Open(town);
    doc.FocusMap()->AddLayer(std::make_shared<carto::FeatureLayer>(ws->OpenFeatureClass("blocks")));
    doc.FocusMap()->AddLayer(std::make_shared<carto::FeatureLayer>(ws->OpenFeatureClass("grid")));
    doc.FocusMap()->SetExtent(summary.extent);
    auto inset = std::make_shared<carto::Map>("Inset");
    inset->AddLayer(std::make_shared<carto::FeatureLayer>(ws->OpenFeatureClass("blocks")));
    doc.AddMap(inset);
    std::string path = (root / "town.json").string();
    doc.Save(path);
    return path;
  }

  // The command's toolbar button, clicked with the mouse.
  static void ClickCommand() {
    QAction* action = host_->CommandAction(kCommand);
    ASSERT_NE(action, nullptr);
    auto* button = qobject_cast<QToolButton*>(host_->findChild<QToolBar*>()->widgetForAction(action));
    ASSERT_NE(button, nullptr);
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // The main window, open and set up on the grid once per suite: the first click, the
  // grid layer chosen in its list with the keyboard, Apply and the first data frame
  // clicked with the mouse.
  static gui::FormWindow* OpenMain() {
    if (ui::Form* form = ui::FindLoadedForm("frmMain"); form && form->Visible()) return user_->WindowOf(*form);
    ClickCommand();
    ui::Form* form = ui::FindLoadedForm("frmMain");
    if (!form) return nullptr;
    gui::FormWindow* window = user_->WindowOf(*form);
    if (!window || !QTest::qWaitForWindowExposed(window)) return nullptr;
    if (Text("cboNavIndex").empty() && Control<ui::ComboBox>("cboNavIndex").ListCount() == 0) {
      auto* layers = Widget<QComboBox>("cboMapLayers");
      QTest::mouseClick(layers, Qt::LeftButton);  // the list opens; Escape closes it, the focus stays
      QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : layers, Qt::Key_Escape);
      while (Text("cboMapLayers") != "grid" && Control<ui::ComboBox>("cboMapLayers").ListIndex() <
                                                     Control<ui::ComboBox>("cboMapLayers").ListCount() - 1)
        QTest::keyClick(layers, Qt::Key_Down);
      QTest::mouseClick(Widget<QPushButton>("btnLayerApply"), Qt::LeftButton);
      auto* frames = Widget<QListWidget>("lstDataFrames");
      QTest::mouseClick(frames->viewport(), Qt::LeftButton, {}, frames->visualItemRect(frames->item(0)).center());
    }
    return window;
  }

  template <typename C = ui::Control>
  static C& Control(const std::string& name, const std::string& form = "frmMain") {
    ui::Form* f = ui::FindLoadedForm(form);
    if (!f) throw std::runtime_error(form + " is not loaded");
    auto* c = dynamic_cast<C*>(f->FindControl(name));
    if (!c) throw std::runtime_error(name + " is not on " + form);
    return *c;
  }
  static std::string Text(const std::string& name) {
    ui::Control& c = Control(name);
    if (auto* t = dynamic_cast<ui::EditableText*>(&c)) return t->Text();
    return c.PrintValue();
  }
  template <typename W>
  static W* Widget(const std::string& name, const std::string& form = "frmMain") {
    gui::FormWindow* window = user_->WindowOf(*ui::FindLoadedForm(form));
    return dynamic_cast<W*>(window->WidgetOf(Control(name, form)));
  }
  // Clicks into a widget, then types as the keyboard does: to the widget with the focus.
  static void TypeInto(QWidget* w, const QString& keys) {
    Activate(w->window());
    QTest::mouseClick(w, Qt::LeftButton);
    QTest::keyClicks(Focused(w), keys);
  }
  // Where a key pressed now goes: the focus, when it is in that window.
  static QWidget* Focused(QWidget* window) {
    QWidget* focus = QApplication::focusWidget();
    return focus && focus->window() == window->window() ? focus : window;
  }
  // Keys go to the active window: under a window manager, activation takes its time.
  static void Activate(QWidget* window) {
    if (QApplication::activeWindow() == window) return;
    window->activateWindow();
    (void)QTest::qWaitForWindowActive(window, 20000);
  }
  // Runs `then` on a form's window once it is shown: the way to act inside a modal
  // window, whose own loop runs until it closes.
  static void WhenShown(const std::string& form, std::function<void(gui::FormWindow*)> then) {
    auto* poll = new QTimer(host_);
    poll->setInterval(5);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, form, then = std::move(then)] {
      ui::Form* f = ui::FindLoadedForm(form);
      gui::FormWindow* w = f && f->Visible() ? user_->WindowOf(*f) : nullptr;
      if (!w || !w->isVisible()) return;
      poll->stop();
      poll->deleteLater();
      Activate(w);
      then(w);
    });
    poll->start();
  }
  // The tab of the main window's tab control, clicked.
  static void ClickTab(int index) {
    auto* tabs = Widget<QTabWidget>("SSTab1");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(index).center());
  }
  static std::string FocusExtent() {
    auto e = app_->GetDocument().FocusMap()->Extent();
    return std::to_string(e.XMin()) + " " + std::to_string(e.YMin()) + " " + std::to_string(e.XMax()) + " " +
           std::to_string(e.YMax());
  }
  static bool Logged(const std::string& text) {
    for (const ui::BoxRecord& b : ui::BoxLog())
      if (b.text.find(text) != std::string::npos) return true;
    return false;
  }

  static testing_support::TempDir* dir_;
  static host::app::Application* app_;
  static gui::GuiUser* user_;
  static gui::MainWindow* host_;
};

testing_support::TempDir* DesktopWindow::dir_ = nullptr;
host::app::Application* DesktopWindow::app_ = nullptr;
gui::GuiUser* DesktopWindow::user_ = nullptr;
gui::MainWindow* DesktopWindow::host_ = nullptr;

}  // namespace

TEST_F(DesktopWindow, ASecondClickBringsTheOpenWindowForwardAndKeepsItsGridLayer) {
  gui::FormWindow* main = OpenMain();
  ASSERT_NE(main, nullptr);
  ASSERT_EQ(Text("cboMapLayers"), "grid");
  // The user goes back to the map, then clicks the command again.
  host_->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(host_));
  ClickCommand();
  EXPECT_TRUE(QTest::qWaitForWindowActive(main));
  EXPECT_EQ(ui::ActiveForm(), ui::FindLoadedForm("frmMain"));
  EXPECT_EQ(Text("cboMapLayers"), "grid");
  // The next page is found on the grid the window shows.
  const std::string before = FocusExtent();
  TypeInto(Widget<QLineEdit>("txtSearch"), "b2");
  ASSERT_EQ(Text("cboNavIndex"), "B2");
  QTest::mouseClick(Widget<QPushButton>("btnGo1"), Qt::LeftButton);
  EXPECT_FALSE(Logged("Unable to find grid layer")) << ui::BoxLog().back().text;
  EXPECT_NE(FocusExtent(), before);
}

// Waits for the mend in the page run that hides the progressor when a run stops at a
// data frame without the grid layer.
TEST_F(DesktopWindow, AnExportStoppedByAMissingGridLayerClearsTheStatusBar) {
  ASSERT_NE(OpenMain(), nullptr);
  auto* frames = Widget<QListWidget>("lstDataFrames");
  QTest::mouseClick(frames->viewport(), Qt::LeftButton, {}, frames->visualItemRect(frames->item(1)).center());
  ASSERT_TRUE(Control<ui::ListBox>("lstDataFrames").Selected(1));
  ClickTab(3);
  QTest::mouseClick(Widget<QRadioButton>("optPNG"), Qt::LeftButton);
  QTest::mouseClick(Widget<QRadioButton>("optExportAll"), Qt::LeftButton);
  auto* dir = Widget<QLineEdit>("txtDir");
  QTest::mouseClick(dir, Qt::LeftButton);
  QTest::keyClick(dir, Qt::Key_A, Qt::ControlModifier);
  QTest::keyClicks(dir, QString::fromStdString((dir_->path() / "stopped").string()));
  fs::create_directories(dir_->path() / "stopped");
  QTest::mouseClick(Widget<QPushButton>("btnExport"), Qt::LeftButton);
  EXPECT_TRUE(Logged("Unable to find grid layer: grid\r\nIn data frame: Inset"));
  EXPECT_FALSE(host_->ProgressBar()->isVisible());
  EXPECT_EQ(host_->StatusMessage()->text(), "Ready");
  QTest::mouseClick(frames->viewport(), Qt::LeftButton, {}, frames->visualItemRect(frames->item(1)).center());
}

TEST_F(DesktopWindow, KeysReachTheSearchListAndTheFindBoxAsTheScriptTypesThem) {
  ASSERT_NE(OpenMain(), nullptr);
  auto& search = Control<ui::ComboBox>("cboNavIndex");
  auto& find = Control<ui::TextBox>("txtSearch");
  ASSERT_GT(search.ListCount(), 3);
  struct Case {
    ui::Control* control;
    const char* keys;
  };
  auto outcome = [&] {
    return search.Text() + " | " + std::to_string(search.ListIndex()) + " | " + find.Text() + " | " + FocusExtent();
  };
  auto start = [&] {
    find.SetText("");
    search.SetText("");
  };
  for (Case c : {Case{&search, "B2"}, Case{&search, "b"}, Case{&find, "b3"}, Case{&find, "A"}, Case{&find, "zz"}}) {
    start();
    auto* typed = dynamic_cast<ui::EditableText*>(c.control);
    QWidget* w = user_->WindowOf(*ui::FindLoadedForm("frmMain"))->WidgetOf(*c.control);
    TypeInto(w, QString::fromUtf8(c.keys));
    const std::string by_keys = outcome();
    start();
    if (auto* box = dynamic_cast<ui::TextBox*>(c.control)) box->type(c.keys);
    if (auto* combo = dynamic_cast<ui::ComboBox*>(c.control)) combo->type(c.keys);
    EXPECT_EQ(by_keys, outcome()) << c.control->Name() << " \"" << c.keys << "\"";
    ASSERT_NE(typed, nullptr);
  }
  // What both give: the list keeps the last key typed into it; the Find box looks ahead.
  start();
  TypeInto(Widget<QComboBox>("cboNavIndex"), "B2");
  EXPECT_EQ(search.Text(), "2");
  TypeInto(Widget<QLineEdit>("txtSearch"), "b");
  EXPECT_EQ(search.Text(), "B1");
  QTest::keyClicks(Focused(Widget<QLineEdit>("txtSearch")), "3");
  EXPECT_EQ(search.Text(), "B3");
  QTest::keyClick(Focused(Widget<QLineEdit>("txtSearch")), Qt::Key_Backspace);
  EXPECT_EQ(find.Text(), "b");
  EXPECT_EQ(search.Text(), "B1");
}

TEST_F(DesktopWindow, TheCommandsWindowsBelongToTheHostWindowAndDialogsOpenOnTheirOwner) {
  gui::FormWindow* main = OpenMain();
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->parentWidget(), host_);
  EXPECT_TRUE(main->isWindow());
  ASSERT_NE(main->windowHandle(), nullptr);
  EXPECT_EQ(main->windowHandle()->transientParent(), host_->windowHandle());

  // Moved away from the host's centre, the main window opens the grid chooser on itself.
  main->move(280, 20);
  main->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(main));
  ClickTab(1);
  QRect chooser_place, main_place = main->frameGeometry();
  bool chooser_modal = false;
  QWidget* chooser_parent = nullptr;
  WhenShown("frmSelectGridType", [&](gui::FormWindow* chooser) {
    chooser_place = chooser->frameGeometry();
    chooser_modal = chooser->isModal();
    chooser_parent = chooser->parentWidget();
    chooser->close();
  });
  QTest::mouseClick(Widget<QPushButton>("btnCreateNewGrid"), Qt::LeftButton);
  EXPECT_EQ(ui::FindLoadedForm("frmSelectGridType"), nullptr);
  EXPECT_TRUE(chooser_modal);
  EXPECT_EQ(chooser_parent, main);  // a dialog of the window that opened it
  const QPoint off = chooser_place.center() - main_place.center();
  EXPECT_LE(off.manhattanLength(), 4) << off.x() << ", " << off.y();

  // The main window opens where it was left, remembered in the host's settings.
  main->move(321, 123);
  const QPoint left_at = main->pos();
  const std::string config_before = testing_support::ReadFile(
      testing_support::DrivesRoot() / "c" / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks" / "config");
  main->close();
  ASSERT_FALSE(ui::FindLoadedForm("frmMain"));
  QSettings places(gui::WindowPlacesFile(), QSettings::IniFormat);
  EXPECT_EQ(places.value("frmMain/position").toPoint(), left_at);
  EXPECT_TRUE(fs::path(gui::WindowPlacesFile().toStdString()).parent_path() == host::app::HostDataFolder());
  const std::string config_after = testing_support::ReadFile(
      testing_support::DrivesRoot() / "c" / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks" / "config");
  EXPECT_EQ(config_after.find("321"), std::string::npos);
  ClickCommand();
  ui::Form* reopened = ui::FindLoadedForm("frmMain");
  ASSERT_NE(reopened, nullptr);
  ASSERT_NE(user_->WindowOf(*reopened), nullptr);
  EXPECT_EQ(user_->WindowOf(*reopened)->pos(), left_at);
  (void)config_before;
}

TEST_F(DesktopWindow, ADialogWhoseWindowIsUnloadedUnderItGoesToTheHostsWindowAndStillEnds) {
  ASSERT_NE(OpenMain(), nullptr);
  ClickTab(1);
  QWidget* parent_after = nullptr;
  bool shown_after = false;
  WhenShown("frmSelectGridType", [&](gui::FormWindow* chooser) {
    QPointer<gui::FormWindow> watched(chooser);
    ui::FindLoadedForm("frmMain")->Unload();  // as a run that ends the map book would
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    if (!watched) {
      ADD_FAILURE() << "the dialog went with the window under it: its modal run never ends";
      return;
    }
    parent_after = chooser->parentWidget();
    shown_after = chooser->isVisible();
    chooser->close();
  });
  QTest::mouseClick(Widget<QPushButton>("btnCreateNewGrid"), Qt::LeftButton);
  EXPECT_EQ(parent_after, host_);
  EXPECT_TRUE(shown_after);
  EXPECT_EQ(ui::FindLoadedForm("frmSelectGridType"), nullptr);
  EXPECT_EQ(ui::FindLoadedForm("frmMain"), nullptr);
}

TEST_F(DesktopWindow, EscapeCancelsOnlyADialogThatHasACancelButton) {
  ASSERT_NE(OpenMain(), nullptr);
  ClickTab(1);
  bool chooser_stayed = false, page_closed_by_escape = false;
  WhenShown("frmSelectGridType", [&](gui::FormWindow* chooser) {
    QTest::keyClick(chooser, Qt::Key_Escape);  // no cancel button: nothing
    chooser_stayed = chooser->isVisible() && ui::FindLoadedForm("frmSelectGridType");
    WhenShown("frmMakeGrid", [&](gui::FormWindow* page) {
      // Escape from the box that has the focus presses "Cancel".
      QTest::keyClick(Focused(page), Qt::Key_Escape);
      page_closed_by_escape = !ui::FindLoadedForm("frmMakeGrid");
      if (!page_closed_by_escape) page->close();
    });
    QTest::mouseClick(Widget<QPushButton>("Command1", "frmSelectGridType"), Qt::LeftButton);
  });
  QTest::mouseClick(Widget<QPushButton>("btnCreateNewGrid"), Qt::LeftButton);
  EXPECT_TRUE(chooser_stayed);
  EXPECT_TRUE(page_closed_by_escape);
  EXPECT_EQ(ui::FindLoadedForm("frmSelectGridType"), nullptr);
}

// Waits for the advanced settings dialog's "Cancel" to be marked as its cancel button.
TEST_F(DesktopWindow, EscapeCancelsTheAdvancedSettings) {
  ASSERT_NE(OpenMain(), nullptr);
  ClickTab(2);
  bool closed = false;
  WhenShown("frmAdvanced", [&](gui::FormWindow* dialog) {
    QTest::keyClick(Focused(dialog), Qt::Key_Escape);
    closed = !ui::FindLoadedForm("frmAdvanced");
    if (!closed) dialog->close();
  });
  QTest::mouseClick(Widget<QPushButton>("btnPrintAdvanced"), Qt::LeftButton);
  EXPECT_TRUE(closed);
}

TEST_F(DesktopWindow, TheHelpWindowScrollsWithTheWheelAndThePageKeys) {
  ASSERT_NE(OpenMain(), nullptr);
  QTest::mouseClick(Widget<QPushButton>("btnHelp2"), Qt::LeftButton);
  ui::Form* help = ui::FindLoadedForm("frmHelp");
  ASSERT_NE(help, nullptr);
  gui::FormWindow* window = user_->WindowOf(*help);
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  auto& bar = Control<ui::VScrollBar>("VScroll1", "frmHelp");
  auto& picture = Control("Picture1", "frmHelp");
  const long step = bar.SmallChange();
  ASSERT_GT(step, 0);
  QTest::keyClick(window, Qt::Key_Escape);  // no cancel button: the window stays
  EXPECT_TRUE(window->isVisible());

  QWidget* over = user_->WindowOf(*help)->WidgetOf(picture);
  const QPoint at = over->rect().center();
  QWheelEvent down(at, over->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&down);  // as from the pointer: it goes up to the window
  QApplication::sendEvent(over, &down);
  const long lines = std::max(1, QApplication::wheelScrollLines());
  EXPECT_EQ(bar.Value(), lines * step);
  EXPECT_EQ(picture.Top(), -lines * step);
  QTest::keyClick(window, Qt::Key_PageDown);
  EXPECT_EQ(bar.Value(), lines * step + bar.LargeChange());
  EXPECT_EQ(picture.Top(), -bar.Value());
  QTest::keyClick(window, Qt::Key_PageUp);
  QTest::keyClick(window, Qt::Key_PageUp);
  EXPECT_EQ(bar.Value(), lines * step - bar.LargeChange());
  // The wheel over the bar itself moves it the same way.
  QWidget* bar_widget = user_->WindowOf(*help)->WidgetOf(bar);
  QWheelEvent up(QPoint(5, 5), bar_widget->mapToGlobal(QPoint(5, 5)), QPoint(), QPoint(0, 120), Qt::NoButton,
                 Qt::NoModifier, Qt::NoScrollPhase, false);
  QSpontaneKeyEvent::setSpontaneous(&up);
  QApplication::sendEvent(bar_widget, &up);
  EXPECT_EQ(bar.Value(), std::max(0L, lines * step - bar.LargeChange() - lines * step));
  EXPECT_EQ(picture.Top(), -bar.Value());
  window->close();
}

namespace {

// The same desktop, inside an X session with a window manager that DesktopSession
// starts; on its own it skips.
class DesktopMapBook : public DesktopWindow {
 protected:
  static bool InSession() { return std::getenv("ZELVANE_DESKTOP_SESSION") != nullptr; }
  static void SetUpTestSuite() {
    if (InSession()) DesktopWindow::SetUpTestSuite();
  }
  static void TearDownTestSuite() {
    if (InSession()) DesktopWindow::TearDownTestSuite();
  }
  void SetUp() override {
    if (!InSession()) GTEST_SKIP() << "runs inside the X session that DesktopSession starts";
    DesktopWindow::SetUp();
    user_->SetUnattended(false);  // real boxes, answered below with the keyboard
    answering_ = new QTimer(host_);
    answering_->setInterval(20);
    QObject::connect(answering_, &QTimer::timeout, answering_, [this] { answer_boxes(); });
    answering_->start();
  }
  void TearDown() override {
    if (answering_) delete answering_;
    DesktopWindow::TearDown();
  }
  // A name typed into an input box, Enter on a message box (its default button).
  void answer_boxes() {
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (!w->isVisible()) continue;
      if (auto* input = qobject_cast<QInputDialog*>(w)) {
        auto* edit = input->findChild<QLineEdit*>();
        if (!edit) continue;
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(edit, QString::fromStdString(grid_name));
        QTest::keyClick(edit, Qt::Key_Return);
        return;
      }
      if (auto* box = qobject_cast<QMessageBox*>(w)) {
        answered.push_back(box->text().toStdString());
        owners.push_back(box->parentWidget() ? box->parentWidget()->objectName().toStdString() : "");
        QTest::keyClick(box, Qt::Key_Return);
        return;
      }
    }
  }
  static void TypeOver(QLineEdit* edit, const QString& text) {
    Activate(edit->window());
    QTest::mouseClick(edit, Qt::LeftButton);
    QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(edit, text);
  }
  static void ClickRow(QListWidget* list, const QString& starting) {
    for (int i = 0; i < list->count(); ++i)
      if (list->item(i)->text().trimmed().startsWith(starting)) {
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(i)).center());
        return;
      }
    ADD_FAILURE() << "no row " << starting.toStdString();
  }

  QTimer* answering_ = nullptr;
  std::string grid_name = "pages";
  std::vector<std::string> answered;
  std::vector<std::string> owners;  // the window each box was a dialog of
};

}  // namespace

TEST_F(DesktopMapBook, IsMadeAndExportedByKeyAndMouse) {
  // The window manager has framed the host's window.
  // A bound for a machine under load, not a measure: the wait ends as soon as it is framed.
  ASSERT_TRUE(QTest::qWaitFor([] { return host_->frameGeometry().size() != host_->geometry().size(); }, 60000))
      << "no window manager frames the windows";
  ClickCommand();
  ui::Form* form = ui::FindLoadedForm("frmMain");
  ASSERT_NE(form, nullptr);
  gui::FormWindow* main = user_->WindowOf(*form);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main, 20000));
  EXPECT_EQ(main->windowHandle()->transientParent(), host_->windowHandle());

  // A 2 x 2 grid around the map, through the wizard, by the keyboard.
  ClickTab(1);
  WhenShown("frmSelectGridType", [](gui::FormWindow*) {
    WhenShown("frmAutomaticGrid", [](gui::FormWindow* page) {
      TypeInto(Widget<QLineEdit>("txtHorizontalNumber", "frmAutomaticGrid"), "2");
      TypeInto(Widget<QLineEdit>("txtVerticalNumber", "frmAutomaticGrid"), "2");
      QTest::keyClick(Focused(page), Qt::Key_Return);  // "Next", the default
    });
    WhenShown("frmAutomaticGrid2", [](gui::FormWindow* summary) {
      QTest::keyClick(Focused(summary), Qt::Key_Return);
    });
    QTest::mouseClick(Widget<QPushButton>("Command2", "frmSelectGridType"), Qt::LeftButton);
  });
  QTest::mouseClick(Widget<QPushButton>("btnCreateNewGrid"), Qt::LeftButton);
  const fs::path program = testing_support::DrivesRoot() / "c" / "Program Files" / "ZelvaneGIS" / "ZelvaneMapbooks";
  ASSERT_TRUE(fs::exists(program / "Grids" / "pages.shp"));
  const auto created = std::find_if(answered.begin(), answered.end(), [](const std::string& t) {
    return t.find("New grid created successfully.") == 0;
  });
  ASSERT_NE(created, answered.end());
  // The wizard's last page closed itself before saying so: the box is the map book's.
  EXPECT_EQ(owners[size_t(created - answered.begin())], "frmMain");

  // The grid into the map, then chosen as the map book's grid.
  ClickRow(Widget<QListWidget>("File1"), "pages");
  QTest::mouseClick(Widget<QPushButton>("btnLoadGrid"), Qt::LeftButton);
  ClickTab(0);
  auto* layers = Widget<QComboBox>("cboMapLayers");
  QTest::mouseClick(layers, Qt::LeftButton);
  if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
  for (int i = 0; i < 20 && Text("cboMapLayers") != "pages"; ++i) QTest::keyClick(layers, Qt::Key_Down);
  ASSERT_EQ(Text("cboMapLayers"), "pages");
  QTest::mouseClick(Widget<QPushButton>("btnLayerApply"), Qt::LeftButton);
  ASSERT_EQ(Control<ui::ComboBox>("cboNavIndex").ListCount(), 4);
  if (!Control<ui::ListBox>("lstDataFrames").Selected(0)) ClickRow(Widget<QListWidget>("lstDataFrames"), "Layers");

  // Navigation: the Find box looks the page up, Go turns to it.
  const std::string first_extent = FocusExtent();
  const std::string last_page = Control<ui::ComboBox>("cboNavIndex").List(3);
  TypeInto(Widget<QLineEdit>("txtSearch"), QString::fromStdString(last_page).toLower());
  EXPECT_EQ(Text("cboNavIndex"), last_page);
  QTest::mouseClick(Widget<QPushButton>("btnGo1"), Qt::LeftButton);
  EXPECT_NE(FocusExtent(), first_extent);

  // Every page exported as PNG at 10 dpi into a new folder.
  ClickTab(3);
  QTest::mouseClick(Widget<QRadioButton>("optPNG"), Qt::LeftButton);
  QTest::mouseClick(Widget<QRadioButton>("optExportAll"), Qt::LeftButton);
  if (Control<ui::CheckBox>("chkExpUseSearch").Value() != 1)
    QTest::mouseClick(Widget<QCheckBox>("chkExpUseSearch"), Qt::LeftButton);
  TypeOver(Widget<QLineEdit>("txtRes"), "10");
  const fs::path out = dir_->path() / "book";
  TypeOver(Widget<QLineEdit>("txtDir"), QString::fromStdString(out.string()));
  QTest::mouseClick(Widget<QPushButton>("btnExport"), Qt::LeftButton);  // "Create it?" Yes
  int pages = 0;
  if (fs::exists(out))
    for (const auto& e : fs::directory_iterator(out)) pages += e.path().extension() == ".png";
  std::string boxes;
  for (const std::string& t : answered) boxes += t + "\n";
  EXPECT_EQ(pages, 4) << boxes;
  EXPECT_FALSE(host_->ProgressBar()->isVisible());

  // Closed, the window keeps the map book's settings.
  main->close();
  EXPECT_EQ(ui::FindLoadedForm("frmMain"), nullptr);
  EXPECT_NE(testing_support::ReadFile(program / "config").find("\"pages\""), std::string::npos);
}

namespace {

// The window manager's view, read with the X tools: client windows from bottom to top.
std::vector<unsigned long> Stacking() {
  std::vector<unsigned long> ids;
  const std::string out = testing_support::RunCommand("xprop -root _NET_CLIENT_LIST_STACKING").out;
  for (size_t at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
    ids.push_back(std::stoul(out.substr(at), nullptr, 16));
  return ids;
}
int StackPlace(QWidget* w) {
  const std::vector<unsigned long> ids = Stacking();
  auto it = std::find(ids.begin(), ids.end(), static_cast<unsigned long>(w->winId()));
  return it == ids.end() ? -1 : int(it - ids.begin());
}
// A real click, through the X server: the window manager sees it as the user's.
void ClickOnScreen(QPoint at) {
  testing_support::RunCommand("xdotool mousemove --sync " + std::to_string(at.x()) + " " + std::to_string(at.y()) +
                              " click 1");
}
// The Motif hints' functions and decorations (what the window manager may offer).
std::pair<unsigned long, unsigned long> MotifHints(QWidget* w) {
  const std::string out =
      testing_support::RunCommand("xprop -id " + std::to_string(w->winId()) + " _MOTIF_WM_HINTS").out;
  std::vector<unsigned long> v;
  for (size_t at = out.find("0x"); at != std::string::npos; at = out.find("0x", at + 2))
    v.push_back(std::stoul(out.substr(at), nullptr, 16));
  if (v.size() < 3) return {~0ul, ~0ul};
  return {v[1], v[2]};
}

}  // namespace

TEST_F(DesktopMapBook, StaysInFrontOfTheHostWindowAndHasTheFocusBackFromItsDialogs) {
  host_->resize(1200, 800);
  ClickCommand();
  ui::Form* form = ui::FindLoadedForm("frmMain");
  ASSERT_NE(form, nullptr);
  gui::FormWindow* main = user_->WindowOf(*form);
  ASSERT_NE(main, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(main, 20000));
  main->move(660, 40);  // the canvas's left part stays in sight
  ASSERT_TRUE(QTest::qWaitFor([&] { return main->frameGeometry().left() >= 640; }, 20000));
  // Its size is fixed: nothing to maximise (or to minimise on its own).
  const auto [functions, decorations] = MotifHints(main);
  EXPECT_EQ(functions & 0x18, 0u) << std::hex << functions;
  EXPECT_EQ(decorations & 0x60, 0u) << std::hex << decorations;

  // A click on the map makes the host's window active, under the map book's window.
  ClickOnScreen(host_->Canvas()->mapToGlobal(QPoint(40, 120)));
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == host_; }, 20000));
  EXPECT_GT(StackPlace(main), StackPlace(host_));
  EXPECT_GE(StackPlace(host_), 0);

  // A dialog opens on the window whose button opened it, over both; closed, it gives the
  // focus back to that window, still over the host's.
  Activate(main);
  ClickTab(1);
  int host_place = -1, main_place = -1, chooser_place = -1;
  WhenShown("frmSelectGridType", [&](gui::FormWindow* chooser) {
    (void)QTest::qWaitFor([&] { return StackPlace(chooser) > StackPlace(main); }, 20000);
    host_place = StackPlace(host_);
    main_place = StackPlace(main);
    chooser_place = StackPlace(chooser);
    chooser->close();
  });
  QTest::mouseClick(Widget<QPushButton>("btnCreateNewGrid"), Qt::LeftButton);
  EXPECT_LT(host_place, main_place);
  EXPECT_LT(main_place, chooser_place);
  EXPECT_TRUE(QTest::qWaitFor([&] { return QApplication::activeWindow() == main; }, 20000))
      << (QApplication::activeWindow() ? QApplication::activeWindow()->objectName().toStdString() : "none");
  EXPECT_GT(StackPlace(main), StackPlace(host_));
  main->close();
}

// Starts a virtual X server with a window manager and runs the map book above in it.
TEST(DesktopSession, AMapBookIsMadeByKeyAndMouseUnderAWindowManager) {
  for (const char* tool : {"Xvfb", "openbox", "xdotool", "xprop"})
    if (testing_support::RunCommand(std::string("command -v ") + tool + " >/dev/null").status != 0)
      GTEST_SKIP() << tool << " is not installed (scripts/setup installs it)";
  const std::string self = fs::read_symlink("/proc/self/exe").string();
  testing_support::TempDir dir("zelvane-session");
  // The server says its display once it is ready to take connections.
  const std::string session =
      "Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>\"$1/display\" >/dev/null 2>&1 & x=$!\n"
      "while [ ! -s \"$1/display\" ] && kill -0 $x 2>/dev/null; do sleep 0.05; done\n"
      "[ -s \"$1/display\" ] || { echo 'Xvfb did not start'; exit 2; }\n"
      "export DISPLAY=:$(cat \"$1/display\")\n"
      "openbox >/dev/null 2>&1 & wm=$!\n"
      "timeout -s ABRT 240 \"$0\" --gtest_filter='DesktopMapBook.*'; rc=$?\n"
      "kill $wm $x; wait $wm $x 2>/dev/null; exit $rc\n";
  const std::string command = "env -u WAYLAND_DISPLAY QT_QPA_PLATFORM=xcb ZELVANE_DESKTOP_SESSION=1 sh -c " +
                              testing_support::ShellQuote(session) + " " + testing_support::ShellQuote(self) + " " +
                              testing_support::ShellQuote(dir.path().string()) + " 2>&1";
  testing_support::CommandResult r = testing_support::RunCommand(command);
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.out.find("[  PASSED  ] 2 tests."), std::string::npos) << r.out << r.err;
  EXPECT_EQ(r.out.find("SKIPPED"), std::string::npos) << r.out;
}
