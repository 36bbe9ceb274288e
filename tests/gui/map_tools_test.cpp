// SPDX-License-Identifier: GPL-3.0-or-later
// The host window's map tools as the user meets them: wheel and rectangle zooms, pans,
// the extent history, the select tool, the layer list and the status bar, in data view
// and in layout view, through real mouse and wheel events on the canvas.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMouseEvent>
#include <QTest>
#include <QTreeWidgetItem>
#include <QWheelEvent>

#include <cairo.h>

#include "gui/gui_user.h"
#include "gui/main_window.h"
#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/render/view_drawing.h"
#include "support/temp_dir.h"

namespace {

namespace carto = host::carto;
namespace geo = host::geodata;
using gui::CanvasFrame;
using gui::MainWindow;
using gui::MapCanvas;

const QColor kTileColour(200, 200, 120);

class MapTools : public ::testing::Test {
 protected:
  void SetUp() override {
    // 4 x 3 tiles of 100 from (0, 0), numbered row by row from the bottom; a hidden-able
    // second layer of one point in tile 5.
    auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
    auto tiles = ws->CreateFeatureClass("tiles", geo::FieldSet{geo::Field::Shape("Shape", geo::GeometryType::Polygon)});
    for (int r = 0; r < 3; ++r)
      for (int c = 0; c < 4; ++c) {
        geo::Feature f = tiles->CreateFeature();
        f.SetShape(geo::Geometry::FromEnvelope(geo::Envelope(c * 100, r * 100, (c + 1) * 100, (r + 1) * 100)));
        f.Store();
      }
    tiles->Flush();
    auto points = ws->CreateFeatureClass("points", geo::FieldSet{geo::Field::Shape("Shape", geo::GeometryType::Point)});
    geo::Feature p = points->CreateFeature();
    p.SetShape(geo::Geometry::MakePoint(150, 150));
    p.Store();
    points->Flush();
    grid = std::make_shared<carto::FeatureLayer>(tiles);
    carto::SimpleFillSymbol fill(carto::RgbColor(kTileColour.red(), kTileColour.green(), kTileColour.blue()));
    grid->SetRenderer(carto::SimpleRenderer(fill));
    dots = std::make_shared<carto::FeatureLayer>(points);
    map().AddLayer(grid);
    map().AddLayer(dots);
    window = std::make_unique<MainWindow>(app);
    window->resize(1000, 700);
    window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window.get()));
    canvas = window->Canvas();
    // The tiles fill the canvas (which is the data window now), with room around.
    map().SetExtent(geo::Envelope(-20, -20, 420, 320));
    doc().ActiveView().Refresh();
    app.SetDocumentChanged(false);
  }
  void TearDown() override {
    window.reset();
    geo::ShapefileWorkspace::ClearCache();
  }

  carto::Document& doc() { return app.GetDocument(); }
  carto::Map& map() { return *doc().FocusMap(); }
  QPointF at(double x, double y) { return canvas->FocusMapFrame().ToPixels({x, y}); }

  void mouse(QEvent::Type type, QPointF pos, Qt::MouseButton button, Qt::MouseButtons buttons,
             Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QMouseEvent e(type, pos, canvas->mapToGlobal(pos), button, buttons, modifiers);
    QApplication::sendEvent(canvas, &e);
  }
  void drag(QPointF from, QPointF to, Qt::MouseButton button = Qt::LeftButton,
            Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    mouse(QEvent::MouseButtonPress, from, button, button, modifiers);
    mouse(QEvent::MouseMove, (from + to) / 2, Qt::NoButton, button, modifiers);
    mouse(QEvent::MouseMove, to, Qt::NoButton, button, modifiers);
    mouse(QEvent::MouseButtonRelease, to, button, Qt::NoButton, modifiers);
  }
  void click(QPointF pos, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    mouse(QEvent::MouseButtonPress, pos, Qt::LeftButton, Qt::LeftButton, modifiers);
    mouse(QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton, modifiers);
  }
  void wheel(QPointF pos, int notches) {
    QWheelEvent e(pos, canvas->mapToGlobal(pos), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &e);
  }
  void use(const char* tool) { window->ToolAction(QString::fromLatin1(tool))->trigger(); }

  testing_support::TempDir dir;
  host::app::Application app;
  gui::GuiUser user;
  std::shared_ptr<carto::FeatureLayer> grid, dots;
  std::unique_ptr<MainWindow> window;
  MapCanvas* canvas = nullptr;
};

void expect_same_point(const geo::Point& a, const geo::Point& b, double tolerance) {
  EXPECT_NEAR(a.X, b.X, tolerance);
  EXPECT_NEAR(a.Y, b.Y, tolerance);
}

// The selection colour within a pixel of the point.
bool selection_near(const QImage& image, QPoint p) {
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx)
      if (image.pixelColor(p + QPoint(dx, dy)) == QColor(0, 255, 255)) return true;
  return false;
}

}  // namespace

TEST_F(MapTools, AWheelZoomKeepsThePointUnderThePointerFixed) {
  const QPointF pointer(300, 200);
  const geo::Point before = canvas->FocusMapFrame().ToWorld(pointer);
  const double width = map().Extent().Width(), scale = map().MapScale();
  wheel(pointer, 1);
  expect_same_point(canvas->FocusMapFrame().ToWorld(pointer), before, 1e-6 * width);
  EXPECT_NEAR(map().Extent().Width(), 0.8 * width, 1e-6 * width);
  EXPECT_NEAR(map().MapScale(), 0.8 * scale, 1e-6 * scale);
  wheel(pointer, -3);
  expect_same_point(canvas->FocusMapFrame().ToWorld(pointer), before, 1e-6 * width);
  EXPECT_NEAR(map().Extent().Width(), 0.8 / (0.8 * 0.8 * 0.8) * width, 1e-6 * width);
  // The zooms went through the map, as a command's do: the document changed.
  EXPECT_TRUE(app.DocumentChanged());
}

TEST_F(MapTools, RectanglesZoomInAndOutAndTheHistoryGoesBackAndForth) {
  const geo::Envelope start = map().Extent();
  use("zoomIn");
  drag(at(100, 100), at(200, 150));
  geo::Envelope in = map().Extent();
  // The rectangle is all shown, the other side grown to the canvas's shape.
  EXPECT_TRUE(in.Contains(geo::Envelope(100.5, 100.5, 199.5, 149.5)));
  EXPECT_NEAR(std::min(in.Width() / 100, in.Height() / 50), 1, 0.02);
  use("zoomOut");
  drag(at(in.XMin(), in.YMax()), at(in.Center().X, in.Center().Y));
  // What was shown now fits in a quarter of the canvas.
  EXPECT_NEAR(map().Extent().Width(), 2 * in.Width(), 0.02 * in.Width());
  // A flat rectangle counts by its length; a point-like one is a click.
  const geo::Envelope out = map().Extent();
  const QPointF mid = at(out.Center().X, out.Center().Y);
  drag(mid, mid + QPointF(canvas->width() / 4.0, 0));
  EXPECT_NEAR(map().Extent().Width(), 4 * out.Width(), 0.02 * out.Width());
  window->ToolAction("previousExtent")->trigger();

  window->ToolAction("previousExtent")->trigger();
  expect_same_point(map().Extent().Center(), in.Center(), 1e-6);
  window->ToolAction("previousExtent")->trigger();
  expect_same_point(map().Extent().Center(), start.Center(), 1e-6);
  EXPECT_NEAR(map().Extent().Width(), start.Width(), 1e-6);
  EXPECT_FALSE(window->ToolAction("previousExtent")->isEnabled());
  window->ToolAction("nextExtent")->trigger();
  expect_same_point(map().Extent().Center(), in.Center(), 1e-6);
  window->ToolAction("fullExtent")->trigger();
  EXPECT_TRUE(map().Extent().Contains(geo::Envelope(0, 0, 400, 300)));
}

TEST_F(MapTools, APanDragMovesTheMapWithThePointerAndTheMiddleButtonPansWithAnyTool) {
  use("select");
  const QPointF from(400, 300), to(460, 250);
  const geo::Point grabbed = canvas->FocusMapFrame().ToWorld(from);
  const double width = map().Extent().Width();
  drag(from, to, Qt::MiddleButton);
  expect_same_point(canvas->FocusMapFrame().ToWorld(to), grabbed, 1e-6 * width);
  EXPECT_NEAR(map().Extent().Width(), width, 1e-9 * width);
  EXPECT_EQ(map().SelectionCount(), 0);  // the select tool did nothing
  // The whole drag is one step back.
  window->ToolAction("previousExtent")->trigger();
  expect_same_point(canvas->FocusMapFrame().ToWorld(from), grabbed, 1e-6 * width);
}

TEST_F(MapTools, ARectangleSelectsExactlyTheFeaturesItMeetsOnScreenOnly) {
  use("select");
  // Inside tiles 0, 1, 4 and 5, clear of the others by 10; the point at (150, 150) too.
  drag(at(10, 10), at(190, 190));
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{0, 1, 4, 5}));
  EXPECT_EQ(dots->SelectionCount(), 1);
  EXPECT_EQ(window->SelectionLabel()->text(), "Selected features: 5");
  // Shift adds a click's tile; a click alone starts over.
  click(at(250, 250), Qt::ShiftModifier);
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{0, 1, 4, 5, 10}));
  click(at(350, 50));
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{3}));
  EXPECT_EQ(dots->SelectionCount(), 0);
  EXPECT_EQ(window->SelectionLabel()->text(), "Selected features: 1");

  // The screen shows the selection, outlined; the view drawn for a file does not.
  const QPoint selected = at(300, 50).toPoint(), other = at(100, 250).toPoint();
  QImage screen = canvas->grab().toImage();
  EXPECT_TRUE(selection_near(screen, selected));
  EXPECT_FALSE(selection_near(screen, other));
  QImage file(canvas->size(), QImage::Format_ARGB32_Premultiplied);
  cairo_surface_t* surface = cairo_image_surface_create_for_data(file.bits(), CAIRO_FORMAT_ARGB32, file.width(),
                                                                 file.height(), int(file.bytesPerLine()));
  cairo_t* cr = cairo_create(surface);
  host::render::DrawView(doc().ActiveView(), cr, carto::PixelRect{0, 0, file.width(), file.height()}, 96);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  EXPECT_FALSE(selection_near(file, selected));
  EXPECT_EQ(file.pixelColor(at(350, 50).toPoint()), kTileColour);

  window->ToolAction("clearSelection")->trigger();
  EXPECT_EQ(map().SelectionCount(), 0);
  EXPECT_EQ(window->SelectionLabel()->text(), "Selected features: 0");
}

TEST_F(MapTools, TheLayerListShowsAndHidesLayersAndTheSaveQuestionCoversIt) {
  gui::LayerList* list = window->Layers();
  QTreeWidgetItem* map_item = list->ItemOf(map());
  ASSERT_NE(map_item, nullptr);
  EXPECT_EQ(map_item->text(0), "Layers");
  EXPECT_TRUE(map_item->font(0).bold());
  ASSERT_EQ(map_item->childCount(), 2);
  EXPECT_EQ(map_item->child(0)->text(0), "points");  // top first
  QTreeWidgetItem* tiles_item = list->ItemOf(*grid);
  ASSERT_NE(tiles_item, nullptr);
  EXPECT_EQ(tiles_item->checkState(0), Qt::Checked);

  const QPoint inside = at(50, 50).toPoint();
  EXPECT_EQ(canvas->grab().toImage().pixelColor(inside), kTileColour);
  tiles_item->setCheckState(0, Qt::Unchecked);
  EXPECT_FALSE(grid->Visible());
  EXPECT_TRUE(app.DocumentChanged());
  EXPECT_EQ(canvas->grab().toImage().pixelColor(inside), QColor(Qt::white));
  // Hidden layers are not selected.
  use("select");
  drag(at(10, 10), at(390, 290));
  EXPECT_EQ(grid->SelectionCount(), 0);
  EXPECT_EQ(dots->SelectionCount(), 1);

  // A second map: the focus moves by a double-click, and the bold with it.
  auto second = std::make_shared<carto::Map>("Second");
  doc().AddMap(second);
  window->Sync();
  QTreeWidgetItem* second_item = list->ItemOf(*second);
  ASSERT_NE(second_item, nullptr);
  EXPECT_FALSE(second_item->font(0).bold());
  list->scrollToItem(second_item);
  QApplication::processEvents();
  const QRect r = list->visualItemRect(second_item);
  ASSERT_FALSE(r.isEmpty());
  ASSERT_EQ(list->itemAt(r.center()), second_item);
  int doubles = 0;
  QObject::connect(list, &QTreeWidget::itemDoubleClicked, list, [&] { ++doubles; });
  for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                            QEvent::MouseButtonRelease}) {
    const bool down = type != QEvent::MouseButtonRelease;
    QMouseEvent e(type, QPointF(r.center()), list->viewport()->mapToGlobal(QPointF(r.center())), Qt::LeftButton,
                  down ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list->viewport(), &e);
  }
  EXPECT_EQ(doubles, 1);
  QApplication::processEvents();
  EXPECT_EQ(doc().FocusMap(), second);
  EXPECT_TRUE(list->ItemOf(*second)->font(0).bold());
  EXPECT_FALSE(list->ItemOf(*grid)->parent()->font(0).bold());
}

TEST_F(MapTools, TheStatusBarShowsThePointersMapCoordinatesAndTheScale) {
  mouse(QEvent::MouseMove, at(123.25, 45.5), Qt::NoButton, Qt::NoButton);
  EXPECT_EQ(window->PointerLabel()->text().left(13), "123.25  45.50");
  const long long scale = std::llround(map().MapScale());
  EXPECT_EQ(window->ScaleLabel()->text(), "1:" + QLocale(QLocale::English).toString(scale));
  wheel(at(200, 150), 1);
  EXPECT_EQ(window->ScaleLabel()->text(), "1:" + QLocale(QLocale::English).toString(std::llround(map().MapScale())));
  EXPECT_NE(window->ScaleLabel()->text(), "1:" + QLocale(QLocale::English).toString(scale));
}

TEST_F(MapTools, InLayoutViewTheToolsMoveThePageUntilAFrameIsActivated) {
  auto frame = doc().PageLayout().FindFrame(map());
  ASSERT_NE(frame, nullptr);
  frame->SetGeometry(geo::Envelope(1, 2, 7, 8));
  doc().SetActiveView(doc().PageLayout());
  doc().ActiveView().Refresh();
  window->Sync();
  const geo::Envelope map_extent = map().Extent();

  // The wheel zooms the window's display of the page about the pointer; the map, and
  // the page layout's own extent (what exports and prints show), stay.
  const QRect page = canvas->PageRect();
  const QPointF pointer = page.center() + QPoint(40, -60);
  const CanvasFrame before = canvas->PageDisplay();
  const geo::Point page_point = before.ToWorld(pointer);
  wheel(pointer, 2);
  const CanvasFrame zoomed = canvas->PageDisplay();
  EXPECT_NEAR(zoomed.world.Width(), 0.64 * before.world.Width(), 1e-6);
  expect_same_point(zoomed.ToWorld(pointer), page_point, 0.01);  // within a pixel's rounding
  EXPECT_GT(canvas->PageRect().width(), page.width() * 1.5);
  EXPECT_NEAR(doc().PageLayout().Extent().Width(), 8.5, 1e-9);
  EXPECT_NEAR(map().Extent().Width(), map_extent.Width(), 1e-9);
  window->ToolAction("previousExtent")->trigger();
  EXPECT_EQ(canvas->PageRect(), page);
  window->ToolAction("nextExtent")->trigger();
  window->ToolAction("fullExtent")->trigger();
  EXPECT_EQ(canvas->PageRect(), page);

  // A double-click on the frame activates it: now the map moves inside it.
  const QPointF in_frame = canvas->FocusMapFrame().pixels.center();
  mouse(QEvent::MouseButtonDblClick, in_frame, Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(canvas->ActivatedFrameMap(), doc().FocusMap());
  const geo::Point grabbed = canvas->FocusMapFrame().ToWorld(in_frame);
  drag(in_frame, in_frame + QPointF(40, 30));
  expect_same_point(canvas->FocusMapFrame().ToWorld(in_frame + QPointF(40, 30)), grabbed, 1e-6 * map_extent.Width());
  EXPECT_NEAR(doc().PageLayout().Extent().Width(), 8.5, 1e-9);
  // The select tool works on the frame's map.
  use("select");
  click(at(50, 50));
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{0}));
  EXPECT_EQ(window->SelectionLabel()->text(), "Selected features: 1");
  // The status bar shows map coordinates over the frame, page inches off it.
  mouse(QEvent::MouseMove, in_frame, Qt::NoButton, Qt::NoButton);
  EXPECT_TRUE(canvas->PointerInMap());
  mouse(QEvent::MouseMove, QPointF(page.x() + 3, page.y() + 3), Qt::NoButton, Qt::NoButton);
  EXPECT_FALSE(canvas->PointerInMap());
  EXPECT_TRUE(window->PointerLabel()->text().endsWith("inches"));
  // A double-click off every frame lets go.
  mouse(QEvent::MouseButtonDblClick, QPointF(page.x() + 3, page.y() + 3), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(canvas->ActivatedFrameMap(), nullptr);
}

TEST_F(MapTools, AZoomedPageIsDrawnOverTheWholeCanvasAndTheScaleSaysWhoseItIs) {
  auto frame = doc().PageLayout().FindFrame(map());
  ASSERT_NE(frame, nullptr);
  frame->SetGeometry(geo::Envelope(1, 2, 7, 8));
  doc().SetActiveView(doc().PageLayout());
  doc().ActiveView().Refresh();
  window->Sync();
  // The page holds several maps: the scale is the focus map's, by name.
  const QString scale = QLocale(QLocale::English).toString(std::llround(map().MapScale()));
  EXPECT_EQ(window->ScaleLabel()->text(), QString::fromStdString(map().Name()) + " at 1:" + scale);

  // Off the page the desk, on it the page's paper or what is drawn on it, wherever the
  // canvas is: at full extent, zoomed in about a point near the page's corner (so that
  // the page runs past the part fitted at full extent and the desk shows beside it), and
  // panned.
  const QColor desk(0x9a, 0x9d, 0xa3);
  auto check = [&](const char* when) {
    const QImage image = canvas->grab().toImage();
    const CanvasFrame shown = canvas->PageDisplay();
    const QRect page = canvas->PageRect();
    int on_page = 0, off_page = 0;
    for (int y = 2; y < canvas->height() - 2; y += 9)
      for (int x = 2; x < canvas->width() - 2; x += 9) {
        if (page.adjusted(-6, -6, 6, 6).contains(x, y) && !page.adjusted(3, 3, -3, -3).contains(x, y)) continue;
        const bool on = page.contains(x, y);
        (on ? on_page : off_page)++;
        ASSERT_EQ(image.pixelColor(x, y) == desk, !on)
            << when << ": " << x << ", " << y << " (page inches " << shown.ToWorld(QPointF(x, y)).X << ", "
            << shown.ToWorld(QPointF(x, y)).Y << ")";
      }
    EXPECT_GT(on_page, 0) << when;
    EXPECT_GT(off_page, 0) << when;
  };
  check("full extent");
  const QRect page = canvas->PageRect();
  wheel(QPointF(page.left() + 10, page.bottom() - 10), 4);
  ASSERT_GT(canvas->PageRect().height(), canvas->height());
  check("zoomed in");
  use("pan");
  drag(QPointF(200, 200), QPointF(260, 150));
  check("panned");
}
