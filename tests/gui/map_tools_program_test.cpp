// SPDX-License-Identifier: GPL-3.0-or-later
// What the map tools feed into the command: features selected in the window become the
// pages of a "maps in selection" export, and the automatic grid is cut after a zoom.
// The window runs here; the command runs as the program a user starts next.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QTreeWidgetItem>
#include <QWheelEvent>

#include <algorithm>
#include <set>

#include "gui/gui_user.h"
#include "gui/main_window.h"
#include "gui_program.h"
#include "host/app/application.h"
#include "host/geodata/filter.h"

using namespace gui_program;

namespace {

namespace geo = host::geodata;

// The window over a document, as a user opens it.
class WindowSession {
 public:
  explicit WindowSession(const std::string& document) {
    app.OpenDocument(document);
    window = std::make_unique<gui::MainWindow>(app);
    window->resize(1000, 700);
    window->show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(window.get()));
  }
  ~WindowSession() { window.reset(); }
  carto::Map& map() { return *app.GetDocument().FocusMap(); }
  std::shared_ptr<carto::FeatureLayer> layer(const std::string& name) { return carto::FindFeatureLayer(map(), name); }
  QPointF at(const geo::Point& p) { return window->Canvas()->FocusMapFrame().ToPixels(p); }
  void send(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QMouseEvent e(type, pos, window->Canvas()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(window->Canvas(), &e);
  }

  host::app::Application app;
  gui::GuiUser user;
  std::unique_ptr<gui::MainWindow> window;
};

std::string printed(const std::string& out, const std::string& ref) {
  const std::string key = ref + " = ";
  const size_t at = out.find(key);
  if (at == std::string::npos) return {};
  std::string value = out.substr(at + key.size(), out.find('\n', at) - at - key.size());
  value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
  return value;
}

}  // namespace

TEST_F(GuiProgram, FeaturesSelectedInTheWindowAreThePagesOfAMapsInSelectionExport) {
  const std::string document = town_document();
  std::set<std::string> expected;
  {
    WindowSession s(document);
    // Only the grid is to be selected: the other layers are unticked in the list.
    for (const char* name : {"blocks", "streets"})
      s.window->Layers()->ItemOf(*s.layer(name))->setCheckState(0, Qt::Unchecked);
    // From the middle of the first tile to the middle of the second.
    auto grid = s.layer("grid");
    const geo::Envelope a = grid->FeatureClass()->GetFeature(0)->Shape().Extent();
    const geo::Envelope b = grid->FeatureClass()->GetFeature(1)->Shape().Extent();
    const geo::Envelope drawn(std::min(a.Center().X, b.Center().X), std::min(a.Center().Y, b.Center().Y),
                              std::max(a.Center().X, b.Center().X), std::max(a.Center().Y, b.Center().Y) + 1);
    const geo::Geometry rectangle = geo::Geometry::FromEnvelope(drawn);
    for (int64_t oid = 0; oid < grid->FeatureClass()->FeatureCount(); ++oid)
      if (grid->FeatureClass()->GetFeature(oid)->Shape().Intersects(rectangle))
        expected.insert("Mapbook" + std::to_string(oid) + ".png");
    ASSERT_EQ(expected.size(), 2u);

    s.window->ToolAction("select")->trigger();
    const QPointF from = s.at(drawn.UpperLeft()), to = s.at(drawn.LowerRight());
    s.send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
    s.send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
    s.send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(s.map().SelectionCount(), 2);
    s.app.SaveDocument();
  }

  fs::create_directories(dir / "pages");
  testing_support::WriteFile(dir / "export.txt",
                             "answer OK\n"
                             "pick frmMain.cboMapLayers \"grid\"\n"
                             "click frmMain.btnLayerApply\n"
                             "select frmMain.lstDataFrames \"Layers\" on\n"
                             "click frmMain.optPNG\n"
                             "settext frmMain.txtRes \"20\"\n"
                             "settext frmMain.txtDir \"" + (dir / "pages").string() + "\"\n"
                             "click frmMain.optExpMapSel\n"
                             "click frmMain.btnExport\n"
                             "close frmMain\n");
  Result r = run(ZELVANE_HOST_EXE, "run --strict --document " + testing_support::ShellQuote(document) +
                                       " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                                       testing_support::ShellQuote((dir / "export.txt").string()));
  ASSERT_EQ(r.status, 0) << r.err;
  std::set<std::string> pages;
  for (const auto& entry : fs::directory_iterator(dir / "pages")) pages.insert(entry.path().filename().string());
  EXPECT_EQ(pages, expected);
}

// The automatic grid is cut from the active view's full extent, which holds whatever a
// zoom in shows.
TEST_F(GuiProgram, TheAutomaticGridAfterAZoomCoversTheZoomedExtent) {
  const std::string document = town_document();
  geo::Envelope zoomed, full;
  {
    WindowSession s(document);
    const QPointF pointer(300, 250);
    QWheelEvent e(pointer, s.window->Canvas()->mapToGlobal(pointer), QPoint(), QPoint(0, 240), Qt::NoButton,
                  Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(s.window->Canvas(), &e);
    zoomed = s.map().Extent();
    full = s.map().FullExtent();
    s.app.SaveDocument();
  }
  testing_support::WriteFile(dir / "grid.txt",
                             "answer OK\n"
                             "click frmMain.btnCreateNewGrid\n"
                             "click frmSelectGridType.Command2\n"
                             "settext frmAutomaticGrid.txtVerticalNumber \"2\"\n"
                             "settext frmAutomaticGrid.txtHorizontalNumber \"3\"\n"
                             "click frmAutomaticGrid.btnNext\n"
                             "print frmAutomaticGrid2.txtX\n"
                             "print frmAutomaticGrid2.txtY\n"
                             "print frmAutomaticGrid2.txtGridWidth\n"
                             "print frmAutomaticGrid2.txtGridHeight\n"
                             "click frmAutomaticGrid2.btnCancel\n"
                             "close frmMain\n");
  Result r = run(ZELVANE_HOST_EXE, "run --strict --document " + testing_support::ShellQuote(document) +
                                       " --click ZelvaneGIS_ZelvaneMapbooks --script " +
                                       testing_support::ShellQuote((dir / "grid.txt").string()));
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  const double x = std::stod(printed(r.out, "frmAutomaticGrid2.txtX"));
  const double y = std::stod(printed(r.out, "frmAutomaticGrid2.txtY"));
  const double w = std::stod(printed(r.out, "frmAutomaticGrid2.txtGridWidth"));
  const double h = std::stod(printed(r.out, "frmAutomaticGrid2.txtGridHeight"));
  const geo::Envelope grid(x, y - h, x + w, y);
  const double slack = 1e-9 * full.Width();
  EXPECT_LE(grid.XMin(), zoomed.XMin() + slack);
  EXPECT_LE(grid.YMin(), zoomed.YMin() + slack);
  EXPECT_GE(grid.XMax(), zoomed.XMax() - slack);
  EXPECT_GE(grid.YMax(), zoomed.YMax() - slack);
  EXPECT_NEAR(grid.Width(), full.Width(), 1e-6 * full.Width());
  EXPECT_NEAR(grid.Height(), full.Height(), 1e-6 * full.Height());
}
