// Enhanced metafiles, and the reading back of cairo drawings that they are made from.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <map>

#include "host/render/detail/cairo_trace.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using namespace host::render;
using namespace host::render::detail;
using render_test::EmfRecord;
using render_test::I32;
using render_test::U32;
using ::testing::HasSubstr;

namespace {

enum : uint32_t {
  EMR_HEADER = 1,
  EMR_EOF = 14,
  EMR_SETTEXTCOLOR = 24,
  EMR_CREATEBRUSHINDIRECT = 39,
  EMR_FILLPATH = 62,
  EMR_STROKEPATH = 64,
  EMR_SELECTCLIPPATH = 67,
  EMR_STRETCHDIBITS = 81,
  EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTW = 84,
  EMR_EXTCREATEPEN = 95,
};

void ShowText(cairo_t* cr, const char* text, double size) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Liberation Sans");
  pango_font_description_set_absolute_size(font, size * PANGO_SCALE);
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, text, -1);
  pango_cairo_show_layout(cr, layout);
  pango_font_description_free(font);
  g_object_unref(layout);
}

std::string ExportEmf(const fs::path& file, double dpi, int w, int h, const std::function<void(cairo_t*)>& draw) {
  auto ex = CreateExport(clsid::ExportEMF);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(Envelope(0, 0, w, h));
  long hdc = ex->StartExporting();
  draw(LookupDevice(hdc)->Cairo());
  ex->FinishExporting();
  ex->Cleanup();
  return testing_support::ReadFile(file);
}

std::u16string Utf16At(const std::string& b, size_t at, size_t chars) {
  std::u16string s;
  for (size_t i = 0; i < chars; ++i)
    s.push_back(static_cast<char16_t>(static_cast<unsigned char>(b[at + 2 * i]) | static_cast<unsigned char>(b[at + 2 * i + 1]) << 8));
  return s;
}

std::multimap<uint32_t, EmfRecord> ByType(const std::vector<EmfRecord>& records) {
  std::multimap<uint32_t, EmfRecord> m;
  for (const EmfRecord& r : records) m.emplace(r.type, r);
  return m;
}

// Header, record count, size and bounds: what every reader checks first.
void ExpectValidEmf(const std::string& b, int w, int h, double dpi) {
  std::vector<EmfRecord> records = render_test::EmfRecords(b);
  ASSERT_GE(records.size(), 2u);
  EXPECT_EQ(records.front().type, EMR_HEADER);
  EXPECT_EQ(records.back().type, EMR_EOF);
  EXPECT_EQ(U32(b, 40), 0x464D4520u) << "signature \" EMF\"";
  EXPECT_EQ(b.substr(40, 4), " EMF");
  EXPECT_EQ(U32(b, 48), b.size()) << "nBytes";
  EXPECT_EQ(U32(b, 52), records.size()) << "nRecords";
  EXPECT_EQ(I32(b, 8), 0);
  EXPECT_EQ(I32(b, 16), w - 1) << "bounds, device pixels";
  EXPECT_EQ(I32(b, 20), h - 1);
  EXPECT_NEAR(I32(b, 32), w / dpi * 2540, 1) << "frame, 0.01 mm";
  EXPECT_NEAR(I32(b, 36), h / dpi * 2540, 1);
  EXPECT_EQ(I32(b, 72), w) << "reference device";
  EXPECT_EQ(I32(b, 76), h);
}

TEST(EmfExport, HoldsThePageAsPathsPensBrushesAndText) {
  testing_support::TempDir dir;
  std::string b = ExportEmf(dir / "page.emf", 96, 816, 1056, [](cairo_t* cr) {
    cairo_set_source_rgb(cr, 1, 0, 0);
    cairo_rectangle(cr, 100, 100, 200, 100);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 0, 0.5, 0);
    cairo_set_line_width(cr, 4);
    cairo_move_to(cr, 50, 500);
    cairo_curve_to(cr, 200, 400, 400, 600, 700, 500);
    cairo_stroke(cr);
    cairo_set_source_rgb(cr, 0, 0, 1);
    cairo_move_to(cr, 100, 800);
    ShowText(cr, "Grid A-3 ÅÆ", 24);
  });
  ExpectValidEmf(b, 816, 1056, 96);
  auto by = ByType(render_test::EmfRecords(b));

  ASSERT_EQ(by.count(EMR_CREATEBRUSHINDIRECT), 1u);
  EXPECT_EQ(U32(b, by.find(EMR_CREATEBRUSHINDIRECT)->second.offset + 16), 0x0000FFu) << "red as a COLORREF";
  EXPECT_EQ(by.count(EMR_FILLPATH), 1u);

  ASSERT_EQ(by.count(EMR_EXTCREATEPEN), 1u);
  size_t pen = by.find(EMR_EXTCREATEPEN)->second.offset;
  EXPECT_EQ(U32(b, pen + 32), 4u * 16) << "4 pixels wide in 1/16 pixel units";
  EXPECT_EQ(U32(b, pen + 40), 0x008000u);
  EXPECT_EQ(by.count(EMR_STROKEPATH), 1u);

  ASSERT_EQ(by.count(EMR_EXTCREATEFONTINDIRECTW), 1u);
  size_t font = by.find(EMR_EXTCREATEFONTINDIRECTW)->second.offset;
  EXPECT_EQ(I32(b, font + 12), -24 * 16) << "em height";
  EXPECT_EQ(Utf16At(b, font + 40, 15), u"Liberation Sans");
  ASSERT_EQ(by.count(EMR_SETTEXTCOLOR), 1u);
  EXPECT_EQ(U32(b, by.find(EMR_SETTEXTCOLOR)->second.offset + 8), 0xFF0000u) << "blue";

  ASSERT_EQ(by.count(EMR_EXTTEXTOUTW), 1u);
  size_t text = by.find(EMR_EXTTEXTOUTW)->second.offset;
  uint32_t chars = U32(b, text + 44), string_at = U32(b, text + 48), dx_at = U32(b, text + 72);
  EXPECT_EQ(Utf16At(b, text + string_at, chars), u"Grid A-3 ÅÆ");
  EXPECT_NEAR(I32(b, text + 36) / 16.0, 100, 0.5) << "starts where the text was drawn";
  ASSERT_NE(dx_at, 0u) << "spacing given";
  int32_t advance = 0;
  for (uint32_t i = 0; i < chars; ++i) {
    EXPECT_GT(I32(b, text + dx_at + 4 * i), 0);
    advance += I32(b, text + dx_at + 4 * i);
  }
  EXPECT_NEAR(advance / 16.0, 24 * 6, 24 * 2) << "about half an em a character";
}

TEST(EmfExport, ClipsWhereTheDrawingClips) {
  testing_support::TempDir dir;
  std::string b = ExportEmf(dir / "clip.emf", 300, 600, 600, [](cairo_t* cr) {
    cairo_arc(cr, 300, 300, 200, 0, 2 * M_PI);
    cairo_clip(cr);
    cairo_set_source_rgb(cr, 0.2, 0.4, 0.6);
    cairo_paint(cr);
  });
  ExpectValidEmf(b, 600, 600, 300);
  auto by = ByType(render_test::EmfRecords(b));
  EXPECT_GE(by.count(EMR_SELECTCLIPPATH), 1u);
  EXPECT_EQ(by.count(EMR_FILLPATH), 1u);
}

TEST(EmfExport, DrawingItCannotExpressBecomesOneBitmap) {
  testing_support::TempDir dir;
  std::string b = ExportEmf(dir / "gradient.emf", 96, 200, 100, [](cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 200, 0);
    cairo_pattern_add_color_stop_rgb(p, 0, 1, 0, 0);
    cairo_pattern_add_color_stop_rgb(p, 1, 0, 0, 1);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    // An image drawn from: cairo's reading back keeps watching it after the page is read.
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 10, 10);
    cairo_set_source_surface(cr, image, 150, 50);
    cairo_paint(cr);
    cairo_surface_destroy(image);
  });
  ExpectValidEmf(b, 200, 100, 96);
  auto by = ByType(render_test::EmfRecords(b));
  ASSERT_EQ(by.count(EMR_STRETCHDIBITS), 1u);
  EXPECT_EQ(by.count(EMR_FILLPATH), 0u);
  size_t bmp = by.find(EMR_STRETCHDIBITS)->second.offset;
  EXPECT_EQ(I32(b, bmp + 40), 200) << "source width";
  EXPECT_EQ(I32(b, bmp + 44), 100);
  // The leftmost pixel of the bottom row (rows run bottom-up, BGR) is red.
  size_t bits = bmp + U32(b, bmp + 56);
  EXPECT_GT(static_cast<unsigned char>(b[bits + 2]), 240);
  EXPECT_LT(static_cast<unsigned char>(b[bits]), 15);
}

// ---- reading cairo's drawing back ---------------------------------------------------

Trace TraceOf(const std::function<void(cairo_t*)>& draw) {
  cairo_rectangle_t extents{0, 0, 1000, 1000};
  cairo_surface_t* rec = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
  cairo_t* cr = cairo_create(rec);
  draw(cr);
  cairo_destroy(cr);
  Trace t = ReadTrace(rec);
  cairo_surface_destroy(rec);
  return t;
}

TEST(CairoTrace, PathsAndLineWidthsComeBackInDevicePixels) {
  Trace t = TraceOf([](cairo_t* cr) {
    cairo_scale(cr, 2, 2);
    cairo_translate(cr, 10, 0);
    cairo_set_source_rgba(cr, 0, 0, 1, 0.5);
    cairo_rectangle(cr, 0, 0, 50, 25);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0, 1, 0);
    cairo_set_line_width(cr, 3);
    double dash[] = {4, 2};
    cairo_set_dash(cr, dash, 2, 0);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    cairo_stroke(cr);
  });
  EXPECT_TRUE(t.complete) << t.reason;
  ASSERT_EQ(t.ops.size(), 2u);
  const DrawOp& fill = t.ops[0];
  EXPECT_EQ(fill.kind, DrawOp::Kind::Fill);
  EXPECT_DOUBLE_EQ(fill.colour.a, 0.5);
  ASSERT_EQ(fill.path.pts.size(), 4u);
  EXPECT_DOUBLE_EQ(fill.path.pts[0].x, 20);
  EXPECT_DOUBLE_EQ(fill.path.pts[2].x, 120);
  EXPECT_DOUBLE_EQ(fill.path.pts[2].y, 50);
  const DrawOp& stroke = t.ops[1];
  EXPECT_EQ(stroke.kind, DrawOp::Kind::Stroke);
  EXPECT_DOUBLE_EQ(stroke.stroke.width, 6);
  EXPECT_EQ(stroke.stroke.dash, (std::vector<double>{8, 4}));
  EXPECT_EQ(stroke.stroke.cap, CAIRO_LINE_CAP_ROUND);
  EXPECT_DOUBLE_EQ(stroke.path.pts[1].x, 120);
}

TEST(CairoTrace, TextRunsCarryTextFontAndGlyphPlaces) {
  Trace t = TraceOf([](cairo_t* cr) {
    cairo_move_to(cr, 100, 200);
    ShowText(cr, "Map", 40);
    cairo_translate(cr, 500, 500);
    cairo_rotate(cr, M_PI / 2);
    cairo_move_to(cr, 0, 0);
    ShowText(cr, "Map", 40);
  });
  EXPECT_TRUE(t.complete) << t.reason;
  EXPECT_TRUE(t.read_whole) << t.reason;
  ASSERT_EQ(t.texts.size(), 2u);
  const TextRun& flat = t.texts[0];
  EXPECT_EQ(flat.utf8, "Map");
  ASSERT_TRUE(flat.font);
  EXPECT_EQ(flat.font->family, "Liberation Sans");
  EXPECT_EQ(flat.font->weight, 400);
  EXPECT_NEAR(flat.em.xx, 40, 1e-6);
  ASSERT_EQ(flat.positions.size(), 3u);
  EXPECT_NEAR(flat.positions[0].x, 100, 0.01);
  EXPECT_GT(flat.positions[0].y, 200) << "the baseline is below the layout's top";
  EXPECT_LT(flat.positions[0].x, flat.positions[1].x);
  EXPECT_LT(flat.positions[1].x, flat.positions[2].x);
  EXPECT_GT(flat.end.x, flat.positions[2].x);
  // Rotated a quarter turn, the same run goes down the page from (500, 500).
  const TextRun& turned = t.texts[1];
  EXPECT_NEAR(turned.em.yx, 40, 1e-6);
  EXPECT_NEAR(turned.positions[0].y, 500, 0.01);
  EXPECT_NEAR(turned.positions[2].y - turned.positions[0].y, flat.positions[2].x - flat.positions[0].x, 0.5);
}

TEST(CairoTrace, SaysWhatItCannotHold) {
  Trace gradient = TraceOf([](cairo_t* cr) {
    cairo_pattern_t* p = cairo_pattern_create_radial(50, 50, 0, 50, 50, 50);
    cairo_pattern_add_color_stop_rgb(p, 0, 1, 1, 0);
    cairo_pattern_add_color_stop_rgb(p, 1, 0, 1, 1);
    cairo_set_source(cr, p);
    cairo_rectangle(cr, 0, 0, 100, 100);
    cairo_fill(cr);
    cairo_pattern_destroy(p);
    cairo_move_to(cr, 10, 10);
    cairo_set_source_rgb(cr, 0, 0, 0);
    ShowText(cr, "after", 10);
  });
  EXPECT_FALSE(gradient.complete);
  EXPECT_THAT(gradient.reason, HasSubstr("pattern"));
  EXPECT_TRUE(gradient.read_whole) << "what follows is still read";
  ASSERT_EQ(gradient.texts.size(), 1u);

  Trace bad = ReadScript("%!CairoScript\n<< /content //COLOR_ALPHA >> surface context\n1 2 frobnicate\n");
  EXPECT_FALSE(bad.read_whole);
  EXPECT_THAT(bad.reason, HasSubstr("frobnicate"));
}

}  // namespace
