// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing a known layout and reading pixels back at known places.

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstring>

#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/render/display_list.h"
#include "host/render/view_drawing.h"
#include "support/temp_dir.h"

namespace carto = host::carto;
namespace geo = host::geodata;

namespace {

struct Rgb {
  int r, g, b;
};

// Two squares: a solid red one with a label, a hollow one with a blue outline; a green
// locator rectangle for a second map that shows square A; a keyword text.
class ViewDrawing : public ::testing::Test {
 protected:
  void SetUp() override {
    auto ws = geo::ShapefileWorkspace::Open(dir.path().string());
    geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Polygon), geo::Field("NAME", geo::FieldType::String, 10)};
    auto fc = ws->CreateFeatureClass("squares", fields);
    for (int i = 0; i < 2; ++i) {
      geo::Feature f = fc->CreateFeature();
      f.SetShape(geo::Geometry::FromEnvelope(geo::Envelope(200.0 * i, 0, 200.0 * i + 100, 100)));
      f.SetValue(1 + 1, i == 0 ? "AAA" : "BBB");
      f.Store();
    }
    fc->Flush();
    auto solid = std::make_shared<carto::FeatureLayer>(fc);
    solid->SetDefinitionQuery("NAME = 'AAA'");
    carto::SimpleFillSymbol red(carto::RgbColor(255, 0, 0));
    solid->SetRenderer(carto::SimpleRenderer(red));
    solid->Labels().SetExpression("[NAME]");
    solid->Labels().Symbol().SetSize(14);
    solid->SetDisplayAnnotation(true);
    auto hollow = std::make_shared<carto::FeatureLayer>(fc);
    hollow->SetDefinitionQuery("NAME = 'BBB'");
    carto::SimpleFillSymbol none(carto::RgbColor(255, 255, 0, 0));
    none.SetOutline(carto::SimpleLineSymbol(carto::RgbColor(0, 0, 255), 3));
    hollow->SetRenderer(carto::SimpleRenderer(none));
    doc.SetActiveView(doc.PageLayout());  // extents below are set for the frames on the page
    map = doc.FocusMap();
    map->AddLayer(hollow);
    map->AddLayer(solid);
    frame = doc.PageLayout().FindFrame(*map);
    frame->SetGeometry(geo::Envelope(1, 2, 7, 4));  // 3:1, as the extent below
    map->SetExtent(geo::Envelope(-50, -50, 550, 150));
    auto other = std::make_shared<carto::Map>("Other");
    auto other_frame = std::make_shared<carto::MapFrame>(other);
    other_frame->SetGeometry(geo::Envelope(1, 6, 3, 8));
    doc.PageLayout().AddElement(other_frame);
    other->SetExtent(geo::Envelope(0, 0, 100, 100));
    carto::LocatorRectangle locator(other_frame);
    locator.SetBorder(carto::SymbolBorder(carto::SimpleLineSymbol(carto::RgbColor(0, 160, 0), 2)));
    frame->AddLocatorRectangle(locator);
    auto text = std::make_shared<carto::TextElement>("MBDATE");
    text->SetGeometry(geo::Envelope(0.25, 0.5, 1, 1.25));
    doc.PageLayout().AddElement(text);
  }
  void TearDown() override {
    if (surface) cairo_surface_destroy(surface);
    geo::ShapefileWorkspace::ClearCache();
  }
  void Draw(double dpi) {
    int w = int(8.5 * dpi), h = int(11 * dpi);
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(surface);
    host::render::DrawView(doc.ActiveView(), cr, carto::PixelRect{0, 0, w, h}, dpi);
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    scale = dpi;
  }
  // The pixel at page inches (x, y), y up from the bottom of the Letter page.
  Rgb At(double x, double y) const {
    int px = int(x * scale), py = int((11 - y) * scale);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const uint32_t v = *reinterpret_cast<const uint32_t*>(data + py * cairo_image_surface_get_stride(surface) + px * 4);
    return {int((v >> 16) & 0xFF), int((v >> 8) & 0xFF), int(v & 0xFF)};
  }
  // Dark pixels in a box of page inches.
  int DarkIn(double x0, double y0, double x1, double y1) const {
    int n = 0;
    for (double x = x0; x < x1; x += 1 / scale)
      for (double y = y0; y < y1; y += 1 / scale) {
        Rgb c = At(x, y);
        if (c.r < 80 && c.g < 80 && c.b < 80) ++n;
      }
    return n;
  }
  // Map units to page inches in the main frame: 100 map units to the inch.
  static double PX(double x) { return 1 + (x + 50) / 100; }
  static double PY(double y) { return 2 + (y + 50) / 100; }

  testing_support::TempDir dir;
  carto::Document doc;
  std::shared_ptr<carto::Map> map;
  std::shared_ptr<carto::MapFrame> frame;
  cairo_surface_t* surface = nullptr;
  double scale = 96;
};

}  // namespace

TEST_F(ViewDrawing, FillsOutlinesLabelsLocatorsAndTexts) {
  Draw(96);
  Rgb page = At(0.2, 10.8);
  EXPECT_EQ(page.r + page.g + page.b, 3 * 255);  // a white page
  Rgb solid = At(PX(20), PY(80));
  EXPECT_EQ(solid.r, 255);
  EXPECT_EQ(solid.g, 0);
  Rgb inside_hollow = At(PX(250), PY(50));
  EXPECT_EQ(inside_hollow.r + inside_hollow.g + inside_hollow.b, 3 * 255);
  Rgb hollow_edge = At(PX(200), PY(50));
  EXPECT_GT(hollow_edge.b, 200);
  EXPECT_LT(hollow_edge.r, 60);
  Rgb locator_edge = At(PX(50), PY(100));
  EXPECT_GT(locator_edge.g, 120);
  EXPECT_LT(locator_edge.r, 60);
  EXPECT_GT(DarkIn(PX(20), PY(35), PX(80), PY(65)), 10);  // the label "AAA" in the middle of square A
  EXPECT_GT(DarkIn(0.25, 1.0, 1.0, 1.25), 10);              // "MBDATE" from the top of its box
  EXPECT_EQ(DarkIn(PX(220), PY(20), PX(280), PY(80)), 0);   // no label on the hollow square
  Rgb border = At(1.0, 3.0);
  EXPECT_LT(border.r + border.g + border.b, 3 * 200);  // the frame's black border
}

TEST_F(ViewDrawing, TheSamePlacesAtAnotherResolutionAndInDataView) {
  Draw(300);
  EXPECT_EQ(At(PX(20), PY(80)).r, 255);
  EXPECT_EQ(At(PX(20), PY(80)).g, 0);
  cairo_surface_destroy(surface);
  surface = nullptr;
  // Data view: the map fills the data window (4:3) at its own extent.
  doc.SetActiveView(*map);
  map->SetExtent(geo::Envelope(-50, -50, 550, 150));  // shown as -50 -175 550 275
  surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1024, 768);
  cairo_t* cr = cairo_create(surface);
  host::render::DrawView(doc.ActiveView(), cr, carto::PixelRect{0, 0, 1024, 768}, 96);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  auto pixel = [&](int x, int y) { return *reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(surface) + x * 4); };
  EXPECT_EQ(pixel(102, 316) & 0xFFFFFF, 0xFF0000u);  // map (10, 90): square A
  EXPECT_EQ(pixel(512, 384) & 0xFFFFFF, 0xFFFFFFu);  // map (250, 50): inside the hollow square
}

// What a later step (placing labels once for every output) reads: the drawing's own
// display list holds each label with its text, font, size, place and angle.
TEST_F(ViewDrawing, TheDrawingIsADisplayListWithItsLabelsAsText) {
  host::render::DisplayList list;
  host::render::DrawView(doc.ActiveView(), list, carto::PixelRect{0, 0, 816, 1056}, 96);
  std::vector<const host::render::DisplayItem*> texts;
  int clips = 0, saves = 0, restores = 0;
  for (const auto& item : list.Items()) {
    if (item.kind == host::render::DisplayItem::Kind::Text) texts.push_back(&item);
    clips += item.kind == host::render::DisplayItem::Kind::Clip;
    saves += item.kind == host::render::DisplayItem::Kind::Save;
    restores += item.kind == host::render::DisplayItem::Kind::Restore;
  }
  EXPECT_EQ(saves, restores);
  EXPECT_GE(clips, 3) << "the page, each map's frame";
  ASSERT_EQ(texts.size(), 2u);
  const host::render::TextRun& label = texts[0]->text;
  EXPECT_EQ(label.layout->Block().text, "AAA");
  EXPECT_EQ(label.layout->Block().font.family, "Arial");
  EXPECT_DOUBLE_EQ(label.layout->Block().font.size, 14 * 96 / 72.0);
  EXPECT_EQ(label.layout->Block().align, host::render::TextAlign::Center);
  EXPECT_NEAR(label.anchor.x, PX(50) * 96, 0.5) << "the square's middle";
  EXPECT_NEAR(label.anchor.y, (11 - PY(50)) * 96, 0.5);
  EXPECT_NEAR(label.offset.x, -label.layout->Width() / 2, 1e-9);
  EXPECT_EQ(label.angle, 0);
  EXPECT_EQ(label.layout->Runs()[0].family, "Liberation Sans") << "Arial is drawn with its metric twin";
  EXPECT_EQ(texts[1]->text.layout->Block().text, "MBDATE");

  // Drawn again on cairo, the list gives the page the drawing gives.
  Draw(96);
  cairo_surface_t* again = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 816, 1056);
  cairo_t* cr = cairo_create(again);
  host::render::CairoPainter painter(cr);
  list.Replay(painter);
  cairo_destroy(cr);
  cairo_surface_flush(again);
  EXPECT_EQ(std::memcmp(cairo_image_surface_get_data(again), cairo_image_surface_get_data(surface),
                        static_cast<size_t>(cairo_image_surface_get_stride(again)) * 1056),
            0);
  cairo_surface_destroy(again);
}
