// The map-book command in the desktop window, used as a user uses it: keys and mouse
// clicks on the real widgets, with the host's window and the command's windows together.

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSettings>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

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
    user_ = new host::gui::GuiUser;
    user_->SetUnattended(true);  // boxes take their default answer; their texts are logged
    host_ = new host::gui::MainWindow(*app_);
    user_->SetHostWindow(host_);
    host_->resize(900, 650);
    host_->move(100, 80);
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
  static host::gui::FormWindow* OpenMain() {
    if (ui::Form* form = ui::FindLoadedForm("frmMain"); form && form->Visible()) return user_->WindowOf(*form);
    ClickCommand();
    ui::Form* form = ui::FindLoadedForm("frmMain");
    if (!form) return nullptr;
    host::gui::FormWindow* window = user_->WindowOf(*form);
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
    host::gui::FormWindow* window = user_->WindowOf(*ui::FindLoadedForm(form));
    return dynamic_cast<W*>(window->WidgetOf(Control(name, form)));
  }
  // Clicks into a widget, then types as the keyboard does: to the widget with the focus.
  static void TypeInto(QWidget* w, const QString& keys) {
    QTest::mouseClick(w, Qt::LeftButton);
    QTest::keyClicks(QApplication::focusWidget(), keys);
  }
  static bool Logged(const std::string& text) {
    for (const ui::BoxRecord& b : ui::BoxLog())
      if (b.text.find(text) != std::string::npos) return true;
    return false;
  }

  static testing_support::TempDir* dir_;
  static host::app::Application* app_;
  static host::gui::GuiUser* user_;
  static host::gui::MainWindow* host_;
};

testing_support::TempDir* DesktopWindow::dir_ = nullptr;
host::app::Application* DesktopWindow::app_ = nullptr;
host::gui::GuiUser* DesktopWindow::user_ = nullptr;
host::gui::MainWindow* DesktopWindow::host_ = nullptr;

}  // namespace

TEST_F(DesktopWindow, KeysReachTheSearchListAndTheFindBoxAsTheScriptTypesThem) {
  ASSERT_NE(OpenMain(), nullptr);
  auto& search = Control<ui::ComboBox>("cboNavIndex");
  ASSERT_GT(search.ListCount(), 0);
  TypeInto(Widget<QComboBox>("cboNavIndex"), "B2");
  EXPECT_EQ(search.Text(), "2");
  TypeInto(Widget<QLineEdit>("txtSearch"), "b3");
  EXPECT_EQ(search.Text(), "B3");
}
