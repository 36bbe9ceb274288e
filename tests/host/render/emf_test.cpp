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
using render_test::Quote;
using render_test::RunCommand;
using render_test::I32;
using render_test::U32;
using ::testing::HasSubstr;

namespace {

enum : uint32_t {
  EMR_HEADER = 1,
  EMR_POLYBEZIERTO = 5,
  EMR_SELECTOBJECT = 37,
  EMR_BEGINPATH = 59,
  EMR_ENDPATH = 60,
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

std::string ExportTo(std::string_view id, const fs::path& file, double dpi, int w, int h,
                     const std::function<void(DeviceContext&)>& draw) {
  auto ex = CreateExport(id);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(Envelope(0, 0, w, h));
  long hdc = ex->StartExporting();
  draw(*LookupDevice(hdc));
  ex->FinishExporting();
  ex->Cleanup();
  return testing_support::ReadFile(file);
}

std::string ExportEmf(const fs::path& file, double dpi, int w, int h, const std::function<void(DeviceContext&)>& draw) {
  return ExportTo(clsid::ExportEMF, file, dpi, w, h, draw);
}

// A line of text in the asked font, its top left corner at (x, y).
void ShowLabel(Painter& p, const std::string& text, const std::string& family, double size, double x, double y,
               std::optional<Halo> halo = std::nullopt, const Colour& colour = {0, 0, 0, 1}) {
  TextBlock block;
  block.text = text;
  block.font.family = family;
  block.font.size = size;
  p.Text({p.LayOut(block), {x, y}, {0, 0}, 0, colour, halo});
}

render_test::Run ReadWithIndependentReader(const fs::path& emf) {
  return RunCommand("python3 " + Quote((fs::path(__FILE__).parent_path() / "data" / "emf_read.py").string()) + " " +
                    Quote(emf.string()));
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
  // The frame counts both its edges, as the bounds do: its extent is the page's.
  EXPECT_EQ(I32(b, 24), 0);
  EXPECT_EQ(I32(b, 32) - I32(b, 24) + 1, std::lround(w / dpi * 2540)) << "frame, 0.01 mm";
  EXPECT_EQ(I32(b, 36) - I32(b, 28) + 1, std::lround(h / dpi * 2540));
  // The reference device: whole pages of pixels at the page's resolution, exactly.
  EXPECT_EQ(I32(b, 72) % w, 0) << "reference device, pixels";
  EXPECT_EQ(I32(b, 76) / h, I32(b, 72) / w);
  EXPECT_EQ(I32(b, 76) % h, 0);
  EXPECT_NEAR(I32(b, 80) / double(I32(b, 72)), 25.4 / dpi, 1e-12) << "millimetres a pixel";
  EXPECT_NEAR(I32(b, 84) / double(I32(b, 76)), 25.4 / dpi, 1e-12);
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

// Letter is 215.9 x 279.4 mm, and readers that scale the drawing by the reference
// device's resolution fill it to the edges: no see-through column or row.
TEST(EmfExport, LetterIsExactlyLetterAtEveryResolution) {
  testing_support::TempDir dir;
  for (double dpi : {72.0, 96.0, 150.0, 300.0}) {
    std::string b = ExportEmf(dir / "letter.emf", dpi, int(std::lround(8.5 * dpi)), int(std::lround(11 * dpi)),
                              [](DeviceContext&) {});
    EXPECT_EQ(I32(b, 32) + 1, 21590) << "215.9 mm at " << dpi << " dpi";
    EXPECT_EQ(I32(b, 36) + 1, 27940) << "279.4 mm at " << dpi << " dpi";
    ExpectValidEmf(b, std::lround(8.5 * dpi), std::lround(11 * dpi), dpi);
  }
}

// As a user sees it in a program that reads the metafile: the paper reaches every edge
// of the page, with no see-through column at the right or row at the bottom.
TEST(EmfExport, InkscapeShowsTheWholePageToItsEdges) {
  if (RunCommand("command -v inkscape >/dev/null").status != 0) GTEST_SKIP() << "Inkscape is not installed";
  testing_support::TempDir dir;
  ExportEmf(dir / "letter.emf", 150, 1275, 1650, [](DeviceContext& dc) { dc.GetPainter().Paint({1, 1, 1, 1}); });
  RunCommand("cd " + Quote(dir.path().string()) +
             " && timeout 120 inkscape letter.emf --export-type=png --export-filename=letter.png --export-dpi=150");
  cairo_surface_t* png = cairo_image_surface_create_from_png((dir / "letter.png").c_str());
  ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
  ASSERT_EQ(cairo_image_surface_get_width(png), 1275);
  ASSERT_EQ(cairo_image_surface_get_height(png), 1650);
  auto alpha = [&](int x, int y) {
    return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png) +
                                             static_cast<size_t>(cairo_image_surface_get_stride(png)) * y)[x] >> 24;
  };
  int see_through = 0;
  for (int y = 0; y < 1650; ++y) see_through += alpha(1274, y) < 255 ? 1 : 0;
  for (int x = 0; x < 1275; ++x) see_through += alpha(x, 1649) < 255 ? 1 : 0;
  EXPECT_EQ(see_through, 0) << "pixels of the last column and row";
  cairo_surface_destroy(png);
}

// A halo goes down as the text's outlines, a path stroked with a round pen of twice the
// halo's width in the halo's colour, before the text; text without a halo has none.
TEST(EmfExport, AHaloIsTheOutlinesStrokedBeforeTheText) {
  testing_support::TempDir dir;
  const fs::path file = dir / "halo.emf";
  std::string b = ExportEmf(file, 96, 400, 200, [](DeviceContext& dc) {
    Painter& p = dc.GetPainter();
    ShowLabel(p, "Willow St", "Liberation Sans", 20, 50, 40, Halo{{1, 1, 0, 1}, 1.5});
    ShowLabel(p, "Plain", "Liberation Sans", 20, 50, 120);
  });
  ExpectValidEmf(b, 400, 200, 96);
  std::vector<EmfRecord> records = render_test::EmfRecords(b);
  std::vector<uint32_t> kinds;
  for (const EmfRecord& r : records)
    if (r.type == EMR_BEGINPATH || r.type == EMR_ENDPATH || r.type == EMR_STROKEPATH || r.type == EMR_EXTTEXTOUTW)
      kinds.push_back(r.type);
  EXPECT_EQ(kinds, (std::vector<uint32_t>{EMR_BEGINPATH, EMR_ENDPATH, EMR_STROKEPATH, EMR_EXTTEXTOUTW, EMR_EXTTEXTOUTW}));

  auto by = ByType(records);
  ASSERT_EQ(by.count(EMR_EXTCREATEPEN), 1u);
  size_t pen = by.find(EMR_EXTCREATEPEN)->second.offset;
  EXPECT_EQ(U32(b, pen + 28) & 0xF000u, 0u) << "round joins";
  EXPECT_EQ(U32(b, pen + 28) & 0x0F00u, 0u) << "round caps";
  EXPECT_EQ(U32(b, pen + 32), 3u * 16) << "the halo on both sides of the outline";
  EXPECT_EQ(U32(b, pen + 40), 0x00FFFFu) << "yellow";
  EXPECT_GE(by.count(EMR_POLYBEZIERTO), 1u) << "the outlines' curves";
  // The stroke reaches over the text's start and its end.
  size_t stroke = by.find(EMR_STROKEPATH)->second.offset;
  size_t text = by.find(EMR_EXTTEXTOUTW)->second.offset;
  EXPECT_LE(I32(b, stroke + 8), I32(b, text + 36) / 16 + 2);
  EXPECT_GT(I32(b, stroke + 16), I32(b, text + 36) / 16 + 80) << "about the width of nine characters";

  render_test::Run read = ReadWithIndependentReader(file);
  if (read.status == 127) GTEST_SKIP() << "no python3 to read the metafile with";
  ASSERT_EQ(read.status, 0) << read.err;
  EXPECT_THAT(read.out, HasSubstr("halo Willow St\ntext Willow St\ntext Plain\n"));
}

// What a user sees: a street line under a haloed name shows no more inside the name than
// on our own PNG of the page, drawn by programs that read the metafile as users do
// where they are installed.
TEST(EmfExport, ProgramsThatReadTheFileShowTheHaloAsOurPngDoes) {
  const std::vector<std::pair<std::string, std::string>> readers{
      {"inkscape", "inkscape halo.emf --export-type=png --export-filename=out/halo.png --export-dpi=96"},
      {"soffice", "env HOME=\"$PWD\" soffice --headless --convert-to png --outdir out halo.emf"}};
  testing_support::TempDir dir;
  // A grey line across the page through the middle of a blue name with a wide white halo.
  auto draw = [](DeviceContext& dc) {
    Painter& p = dc.GetPainter();
    p.Paint({1, 1, 1, 1});
    StrokeStyle line;
    line.width = 2;
    p.Stroke(Path().MoveTo(0, 50).LineTo(400, 50), {0.3, 0.3, 0.3, 1}, line);
    ShowLabel(p, "Willow St", "Liberation Sans", 30, 100, 30, Halo{{1, 1, 1, 1}, 3}, {0, 0, 1, 1});
  };
  ExportEmf(dir / "halo.emf", 96, 400, 100, draw);
  ExportTo(clsid::ExportPNG, dir / "halo.png", 96, 400, 100, draw);

  // The line's pixels inside the name (page x 104 to 215), found on a page of any size
  // and place by the line's own ends.
  auto through = [](const fs::path& png_file, const std::string& who) {
    cairo_surface_t* png = cairo_image_surface_create_from_png(png_file.c_str());
    EXPECT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS) << who;
    const int w = cairo_image_surface_get_width(png), h = cairo_image_surface_get_height(png);
    auto px = [&](int x, int y) {
      return reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(png) +
                                               static_cast<size_t>(cairo_image_surface_get_stride(png)) * y)[x];
    };
    auto grey = [](uint32_t p) {
      const int a = p >> 24, r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      return a > 128 && r < 160 && g < 160 && b < 160 && std::abs(r - b) < 40;  // not the blue text
    };
    int left = w, right = -1;
    std::vector<int> rows;
    for (int y = 0; y < h; ++y) {
      int count = 0;
      for (int x = 0; x < w; ++x)
        if (grey(px(x, y))) {
          ++count;
          left = std::min(left, x);
          right = std::max(right, x);
        }
      if (count > w / 10) rows.push_back(y);
    }
    int n = 0;
    if (rows.empty() || right <= left) {
      ADD_FAILURE() << who << ": no line on the page";
    } else {
      const double scale = (right + 1 - left) / 400.0;
      for (int y : rows)
        for (int x = left + int(104 * scale); x <= left + int(215 * scale); ++x) n += grey(px(x, y)) ? 1 : 0;
    }
    cairo_surface_destroy(png);
    return n;
  };
  const int ours = through(dir / "halo.png", "our PNG");
  int tried = 0;
  for (const auto& [program, command] : readers) {
    if (RunCommand("command -v " + program + " >/dev/null").status != 0) continue;
    ++tried;
    fs::remove_all(dir / "out");
    fs::create_directories(dir / "out");
    render_test::Run run = RunCommand("cd " + Quote(dir.path().string()) + " && timeout 120 " + command);
    ASSERT_TRUE(fs::exists(dir / "out" / "halo.png")) << program << ": " << run.out << run.err;
    EXPECT_LE(through(dir / "out" / "halo.png", program), ours + 6) << program << ": the line runs through the name";
  }
  if (tried == 0) GTEST_SKIP() << "neither Inkscape nor LibreOffice is installed to draw the metafile with";
}

// The document's font is named where the face that drew the text has its widths.
TEST(EmfExport, NamesTheAskedFontWhereTheFaceUsedHasItsWidths) {
  testing_support::TempDir dir;
  std::string b = ExportEmf(dir / "fonts.emf", 96, 600, 400, [](DeviceContext& dc) {
    Painter& p = dc.GetPainter();
    ShowLabel(p, "Arial", "Arial", 20, 10, 10);
    ShowLabel(p, "Times", "Times New Roman", 20, 10, 60);
    ShowLabel(p, "Courier", "Courier New", 20, 10, 110);
    ShowLabel(p, "Substitute", "Zelvane No Such Font", 20, 10, 160);
    ShowLabel(p, "Own", "Liberation Sans", 20, 10, 210);
  });
  std::vector<std::u16string> faces;
  for (const EmfRecord& r : render_test::EmfRecords(b))
    if (r.type == EMR_EXTCREATEFONTINDIRECTW) {
      std::u16string face = Utf16At(b, r.offset + 40, 32);
      faces.push_back(face.substr(0, face.find(u'\0')));
    }
  ASSERT_EQ(faces.size(), 5u);
  EXPECT_EQ(faces[0], u"Arial");
  EXPECT_EQ(faces[1], u"Times New Roman");
  EXPECT_EQ(faces[2], u"Courier New");
  // A font that is not here: the face that stands in for it, whose widths the text has.
  DisplayList list;
  ShowLabel(list, "x", "Zelvane No Such Font", 20, 0, 0);
  const std::string used = list.Items()[0].text.layout->Runs()[0].family;
  EXPECT_EQ(faces[3], std::u16string(used.begin(), used.end()));
  EXPECT_EQ(faces[4], u"Liberation Sans");
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
