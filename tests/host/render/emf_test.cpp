// SPDX-License-Identifier: GPL-3.0-or-later
// Enhanced metafiles from the painter's display list.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <map>

#include "host/render/display_list.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using namespace host::render;
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
  EMR_EXTSELECTCLIPRGN = 75,
  EMR_STRETCHDIBITS = 81,
  EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTW = 84,
  EMR_EXTCREATEPEN = 95,
};

std::string ExportEmf(const fs::path& file, double dpi, int w, int h, const std::function<void(DeviceContext&)>& draw) {
  auto ex = CreateExport(clsid::ExportEMF);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(Envelope(0, 0, w, h));
  long hdc = ex->StartExporting();
  draw(*LookupDevice(hdc));
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
  std::string b = ExportEmf(dir / "page.emf", 96, 816, 1056, [](DeviceContext& dc) {
    Painter& p = dc.GetPainter();
    p.Fill(Path().Rectangle(100, 100, 200, 100), {1, 0, 0, 1}, FillRule::Winding);
    StrokeStyle line;
    line.width = 4;
    p.Stroke(Path().MoveTo(50, 500).CurveTo(200, 400, 400, 600, 700, 500), {0, 0.5, 0, 1}, line);
    render_test::ShowText(p, "Grid A-3 ÅÆ", 24, 100, 800, 0, {0, 0, 1, 1});
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

TEST(EmfExport, ClipsWhereTheDrawingClipsAndLetsGoOnRestore) {
  testing_support::TempDir dir;
  std::string b = ExportEmf(dir / "clip.emf", 300, 600, 600, [](DeviceContext& dc) {
    Painter& p = dc.GetPainter();
    {
      PainterSave keep(p);
      p.Clip(Path().Arc(300, 300, 200, 0, 2 * M_PI), FillRule::Winding);
      p.Paint({0.2, 0.4, 0.6, 1});
      PainterSave nested(p);
      p.Clip(Path().Rectangle(0, 0, 300, 600), FillRule::Winding);
      p.Paint({1, 1, 1, 1});
    }
    p.Fill(Path().Rectangle(0, 0, 10, 10), {0, 0, 0, 1}, FillRule::Winding);
  });
  ExpectValidEmf(b, 600, 600, 300);
  std::vector<uint32_t> kinds;
  for (const EmfRecord& r : render_test::EmfRecords(b))
    if (r.type == EMR_SELECTCLIPPATH || r.type == EMR_EXTSELECTCLIPRGN || r.type == EMR_FILLPATH) kinds.push_back(r.type);
  // The disc, a paint; the half page narrows it, a paint; back to the whole page, a fill.
  EXPECT_EQ(kinds, (std::vector<uint32_t>{EMR_SELECTCLIPPATH, EMR_FILLPATH, EMR_SELECTCLIPPATH, EMR_FILLPATH,
                                          EMR_EXTSELECTCLIPRGN, EMR_FILLPATH}));
}

TEST(EmfExport, APageDrawnWithCairoItselfBecomesOneBitmap) {
  testing_support::TempDir dir;
  std::string b = ExportEmf(dir / "gradient.emf", 96, 200, 100, [](DeviceContext& dc) {
    cairo_t* cr = dc.Cairo();
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, 200, 0);
    cairo_pattern_add_color_stop_rgb(p, 0, 1, 0, 0);
    cairo_pattern_add_color_stop_rgb(p, 1, 0, 0, 1);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
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

// ---- the display list ----------------------------------------------------------------

TEST(DisplayList, TextRunsCarryTextFontAndGlyphPlaces) {
  DisplayList list;
  render_test::ShowText(list, "Map", 40, 100, 200);
  render_test::ShowText(list, "Map", 40, 500, 500, -90);
  ASSERT_EQ(list.Items().size(), 2u);
  const TextRun& flat = list.Items()[0].text;
  ASSERT_EQ(flat.layout->Runs().size(), 1u);
  const GlyphRun& run = flat.layout->Runs()[0];
  EXPECT_EQ(run.utf8, "Map");
  EXPECT_EQ(run.family, "Liberation Sans") << "the face that draws \"Liberation Sans\"";
  EXPECT_EQ(run.weight, 400);
  EXPECT_NEAR(run.size, 40, 1e-6);
  ASSERT_EQ(run.positions.size(), 3u);
  EXPECT_NEAR(run.positions[0].x, 0, 0.01);
  EXPECT_NEAR(run.positions[0].y, flat.layout->Baseline(), 0.01) << "glyphs sit on the baseline";
  EXPECT_LT(run.positions[0].x, run.positions[1].x);
  EXPECT_LT(run.positions[1].x, run.positions[2].x);
  EXPECT_GT(run.end.x, run.positions[2].x);
  EXPECT_EQ(run.clusters, (std::vector<std::pair<int, int>>{{1, 1}, {1, 1}, {1, 1}}));
  EXPECT_EQ(list.Items()[1].text.angle, -90);
  EXPECT_EQ(list.Items()[0].shown, std::vector<bool>{true});
}

TEST(DisplayList, LeavesOutTextOutsideTheClipAndThePage) {
  DisplayList list({0, 0}, {300, 300});
  render_test::ShowText(list, "Off the page", 20, 400, 10);
  {
    PainterSave keep(list);
    list.Clip(Path().Rectangle(0, 0, 100, 100), FillRule::Winding);
    render_test::ShowText(list, "Out", 20, 150, 10);
    render_test::ShowText(list, "In", 20, 10, 10);
  }
  render_test::ShowText(list, "Out of the clip's reach", 20, 150, 10);
  std::vector<std::string> texts;
  for (const DisplayItem& i : list.Items())
    if (i.kind == DisplayItem::Kind::Text) texts.push_back(i.text.layout->Block().text);
  EXPECT_EQ(texts, (std::vector<std::string>{"In", "Out of the clip's reach"}));
}

TEST(DisplayList, ReplaysOntoAnotherPainterWithoutTheOrigin) {
  DisplayList moved({50, 20});
  moved.Fill(Path().Rectangle(0, 0, 10, 10), {1, 0, 0, 1}, FillRule::Winding);
  EXPECT_EQ(moved.Items()[0].path.AsRectangle(), (std::array<double, 4>{50, 20, 60, 30}));
  DisplayList copy;
  moved.Replay(copy);
  EXPECT_EQ(copy.Items()[0].path.AsRectangle(), (std::array<double, 4>{0, 0, 10, 10}));
}

}  // namespace
