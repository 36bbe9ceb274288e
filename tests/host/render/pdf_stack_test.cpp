// SPDX-License-Identifier: GPL-3.0-or-later
// A page drawn in parts, one PDF each, put back together: it must read and look as the
// same page drawn into one PDF.

#include <cairo-pdf.h>
#include <cairo.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <stdexcept>

#include "host/render/cairo_ptr.h"
#include "host/render/detail/parallel.h"
#include "host/render/detail/pdf_stack.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "raster_readers.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::render::detail::StackPdfPages;
using render_test::Quote;
using render_test::RunCommand;
using testing_support::ReadFile;
using ::testing::HasSubstr;

namespace {

constexpr double kWidth = 300, kHeight = 200;
constexpr const char* kText = "Stacked parts";

using Step = std::function<void(cairo_t*)>;

// The drawing in order: opaque and translucent fills, translucent strokes, a clip, a
// multiplying fill over what earlier parts drew, an image with alpha, and text.
std::vector<Step> Drawing() {
  return {
      [](cairo_t* cr) {
        cairo_set_source_rgb(cr, 0.9, 0.2, 0.1);
        cairo_rectangle(cr, 20, 20, 120, 80);
        cairo_fill(cr);
      },
      [](cairo_t* cr) {
        cairo_set_source_rgba(cr, 0.1, 0.3, 0.9, 0.5);
        cairo_rectangle(cr, 80, 50, 120, 90);
        cairo_fill(cr);
        cairo_set_source_rgba(cr, 0, 0.6, 0.2, 0.6);
        cairo_set_line_width(cr, 9);
        cairo_move_to(cr, 10, 180);
        cairo_curve_to(cr, 100, 10, 200, 190, 290, 30);
        cairo_stroke(cr);
      },
      [](cairo_t* cr) {
        cairo_save(cr);
        cairo_arc(cr, 230, 120, 50, 0, 6.2831853);
        cairo_clip(cr);
        cairo_set_source_rgb(cr, 0.95, 0.8, 0.1);
        cairo_paint(cr);
        cairo_restore(cr);
      },
      [](cairo_t* cr) {
        cairo_save(cr);
        cairo_set_operator(cr, CAIRO_OPERATOR_MULTIPLY);
        cairo_set_source_rgba(cr, 0.3, 0.9, 0.9, 0.8);
        cairo_rectangle(cr, 40, 40, 150, 40);
        cairo_fill(cr);
        cairo_restore(cr);
      },
      [](cairo_t* cr) {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 48, 48);
        unsigned char* data = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int y = 0; y < 48; ++y)
          for (int x = 0; x < 48; ++x) {
            auto* px = reinterpret_cast<uint32_t*>(data + y * stride) + x;
            const uint32_t a = 128 + x * 2, r = x * 5 * a / 255, g = y * 5 * a / 255, b = 60 * a / 255;
            *px = a << 24 | r << 16 | g << 8 | b;
          }
        cairo_surface_mark_dirty(image);
        cairo_set_source_surface(cr, image, 150, 8);
        cairo_paint(cr);
        cairo_surface_destroy(image);
      },
      [](cairo_t* cr) {
        cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 22);
        cairo_set_source_rgb(cr, 0, 0, 0);
        cairo_move_to(cr, 30, 160);
        cairo_show_text(cr, kText);
      },
  };
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// The steps [from, to) drawn into a PDF in memory, as the export's threads do.
std::string DrawPdf(size_t from, size_t to, const char* title = nullptr) {
  std::string bytes;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &bytes, kWidth, kHeight);
  if (title) cairo_pdf_surface_set_metadata(surface, CAIRO_PDF_METADATA_TITLE, title);
  cairo_t* cr = cairo_create(surface);
  std::vector<Step> steps = Drawing();
  for (size_t i = from; i < to; ++i) steps[i](cr);
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return bytes;
}

std::vector<std::string> ThreeParts(const char* title = nullptr) {
  return {DrawPdf(0, 2, title), DrawPdf(2, 4), DrawPdf(4, 6)};
}

// The stored bytes of every stream in a PDF written by cairo.
std::vector<std::string> StreamBytes(const std::string& pdf) {
  std::vector<std::string> streams;
  for (size_t at = pdf.find("stream\n"); at != std::string::npos; at = pdf.find("stream\n", at)) {
    at += 7;
    const size_t end = pdf.find("endstream", at);
    if (end == std::string::npos) break;
    streams.push_back(pdf.substr(at, end - at - 1));
    at = end + 9;
  }
  return streams;
}

raster_test::Raster Rasterise(const fs::path& pdf) {
  fs::path png = pdf;
  png.replace_extension();
  render_test::Run run = RunCommand("pdftoppm -r 72 -png -singlefile " + Quote(pdf.string()) + " " + Quote(png.string()));
  if (run.status != 0) throw std::runtime_error("pdftoppm: " + run.err);
  return raster_test::ReadPng(png.string() + ".png");
}

TEST(PdfStack, ThreePartsReadAndLookAsOnePdf) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "single.pdf", DrawPdf(0, Drawing().size(), "Sheet 4"));
  const fs::path stacked = dir / "stacked.pdf";
  const std::vector<std::string> parts = ThreeParts("Sheet 4");
  StackPdfPages(parts, stacked);

  render_test::Run check = RunCommand("qpdf --check " + Quote(stacked.string()));
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(RunCommand("qpdf --show-npages " + Quote(stacked.string())).out, "1\n");
  const std::string info = RunCommand("pdfinfo " + Quote(stacked.string())).out;
  EXPECT_THAT(info, HasSubstr("300 x 200 pts"));
  EXPECT_THAT(info, HasSubstr("Sheet 4"));
  EXPECT_THAT(info, HasSubstr("cairo"));
  EXPECT_THAT(RunCommand("pdftotext " + Quote(stacked.string()) + " -").out, HasSubstr(kText));

  // The parts' drawings, fonts and images are copied as they are, not unpacked and
  // packed again.
  const std::string bytes = ReadFile(stacked);
  for (const std::string& part : parts) {
    const std::vector<std::string> streams = StreamBytes(part);
    EXPECT_GE(streams.size(), 1u);
    for (const std::string& stream : streams) EXPECT_NE(bytes.find(stream), std::string::npos);
  }

  raster_test::Raster one = Rasterise(dir / "single.pdf"), many = Rasterise(stacked);
  ASSERT_EQ(many.width, one.width);
  ASSERT_EQ(many.height, one.height);
  int worst = 0;
  size_t differing = 0;
  for (size_t i = 0; i < one.rgb.size(); ++i) {
    const int d = std::abs(one.rgb[i] - many.rgb[i]);
    worst = std::max(worst, d);
    differing += d != 0;
  }
  EXPECT_EQ(worst, 0) << differing << " channel values differ";
}

// Pages of one part picked between the pages of another: the page is drawn in their
// order, the part's font is embedded once, and its pages left unpicked are left out.
TEST(PdfStack, PagesOfOnePartTakeTheirPlacesAndShareItsFont) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "single.pdf", DrawPdf(0, Drawing().size()));
  // Part 1: the steps [0, 2), the text, and a page no pick names; part 2: the steps [2, 5).
  std::string first, second = DrawPdf(2, 5);
  {
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &first, kWidth, kHeight);
    std::vector<Step> steps = Drawing();
    for (auto [from, to] : {std::pair{0, 2}, std::pair{5, 6}, std::pair{5, 6}}) {
      cairo_t* cr = cairo_create(surface);
      for (int i = from; i < to; ++i) steps[size_t(i)](cr);
      cairo_destroy(cr);
      cairo_surface_show_page(surface);
    }
    cairo_surface_destroy(surface);
  }
  const fs::path stacked = dir / "stacked.pdf";
  StackPdfPages({first, second}, {{0, 0}, {1, 0}, {0, 1}}, stacked);
  render_test::Run check = RunCommand("qpdf --check " + Quote(stacked.string()));
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  EXPECT_EQ(RunCommand("qpdf --show-npages " + Quote(stacked.string())).out, "1\n");
  const std::string fonts = RunCommand("pdffonts " + Quote(stacked.string())).out;
  EXPECT_EQ(std::count(fonts.begin(), fonts.end(), '\n'), 2 + 1) << fonts;
  EXPECT_EQ(RunCommand("pdftotext " + Quote(stacked.string()) + " -").out.find(kText),
            RunCommand("pdftotext " + Quote(stacked.string()) + " -").out.rfind(kText))
      << "the unpicked page's text is left out";

  raster_test::Raster one = Rasterise(dir / "single.pdf"), many = Rasterise(stacked);
  ASSERT_EQ(many.width, one.width);
  ASSERT_EQ(many.height, one.height);
  size_t differing = 0;
  for (size_t i = 0; i < one.rgb.size(); ++i) differing += one.rgb[i] != many.rgb[i];
  EXPECT_EQ(differing, 0u) << "channel values differ";

  for (auto [order, message] : {std::pair{std::vector<host::render::detail::PdfPagePick>{{0, 0}, {1, 1}},
                                          "part 2 of 2 has 1 page, fewer than the 2 picked"},
                                std::pair{std::vector<host::render::detail::PdfPagePick>{{2, 0}}, "a page of part 3 of 2"},
                                std::pair{std::vector<host::render::detail::PdfPagePick>{}, "no page is picked"}}) {
    const fs::path out = dir / "refused.pdf";
    try {
      StackPdfPages({first, second}, order, out);
      ADD_FAILURE() << message << ": no error";
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(message));
    }
    EXPECT_FALSE(fs::exists(out)) << message;
  }
}

// How many transparency groups the stacked page has, its own and its forms'.
size_t Groups(const std::vector<std::string>& parts, const testing_support::TempDir& dir) {
  StackPdfPages(parts, dir / "groups.pdf");
  const std::string qdf =
      RunCommand("qpdf --qdf --object-streams=disable " + Quote((dir / "groups.pdf").string()) + " -").out;
  size_t count = 0;
  for (size_t at = qdf.find("/Group <<"); at != std::string::npos; at = qdf.find("/Group <<", at + 1))
    ++count;
  return count;
}

// The page's group stands for every part: a form of its own would isolate a part from
// the parts under it. Only without a page group does a part keep its own.
TEST(PdfStack, TheFirstPartsGroupStandsForAll) {
  testing_support::TempDir dir;
  std::vector<std::string> parts = {DrawPdf(0, 1), DrawPdf(1, 2), DrawPdf(5, 6)};
  ASSERT_NE(parts[0].find("/Group"), std::string::npos);
  EXPECT_EQ(Groups(parts, dir), 1u);
  // A key of the same length that readers ignore keeps the file's offsets right.
  parts[0].replace(parts[0].find("/Group"), 6, "/Grouq");
  EXPECT_EQ(Groups(parts, dir), 2u);
}

TEST(PdfStack, OnePartIsWrittenAsItIs) {
  testing_support::TempDir dir;
  const std::string part = DrawPdf(0, 3);
  StackPdfPages({part}, dir / "one.pdf");
  EXPECT_EQ(ReadFile(dir / "one.pdf"), part);
}

TEST(PdfStack, RefusesPartsThatAreNotOnePagePdfsAndWritesNothing) {
  testing_support::TempDir dir;
  const std::string good = DrawPdf(0, 3);
  std::string twoPages;
  {
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &twoPages, kWidth, kHeight);
    cairo_t* cr = cairo_create(surface);
    cairo_show_page(cr);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  std::string otherSize;
  {
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &otherSize, kHeight, kWidth);
    cairo_surface_destroy(surface);
  }
  struct Case {
    const char* what;
    std::vector<std::string> parts;
    const char* message;
  } cases[] = {
      {"none", {}, "there are none"},
      {"text", {good, "just some text", good}, "part 2 of 3 is not a PDF"},
      {"text alone", {"just some text"}, "part 1 of 1 is not a PDF"},
      {"cut short", {good, good.substr(0, good.size() / 2)}, "part 2 of 2 is not a readable PDF"},
      {"two pages", {twoPages, good}, "part 1 of 2 has 2 pages instead of one"},
      {"other size", {good, otherSize}, "part 2 of 2 has a page size other than the first part's"},
  };
  for (const Case& c : cases) {
    const fs::path out = dir / "out.pdf";
    try {
      StackPdfPages(c.parts, out);
      ADD_FAILURE() << c.what << ": no error";
    } catch (const std::runtime_error& e) {
      EXPECT_THAT(e.what(), HasSubstr(c.message)) << c.what;
    }
    EXPECT_FALSE(fs::exists(out)) << c.what;
  }
}

TEST(PdfStack, AnUnwritableTargetIsAnError) {
  testing_support::TempDir dir;
  EXPECT_THROW(StackPdfPages(ThreeParts(), dir / "missing" / "out.pdf"), std::runtime_error);
}

// A map page as an export draws it: many strokes and fills, and labels with halos,
// whose outlines are most of a page's bytes. Large enough to be written in parts.
void DrawMapLike(host::render::Painter& p) {
  using namespace host::render;
  p.Paint({1, 1, 1, 1});
  PainterSave keep(p);
  p.Clip(Path().Rectangle(40, 40, 1100, 1400), FillRule::Winding);
  for (int i = 0; i < 400; ++i) {
    const double x = 30 + (i * 37) % 1100, y = 30 + (i * 53) % 1400;
    p.Fill(Path().Rectangle(x, y, 60, 40), {0.92, 0.9, 0.84, 1}, FillRule::EvenOdd);
    StrokeStyle s;
    s.width = 1 + i % 3;
    s.cap = LineCap::Round;
    p.Stroke(Path().MoveTo(x, y).LineTo(x + 90, y + 17).LineTo(x + 120, y - 30), {0.5, 0.5, 0.5, 0.8}, s);
  }
  for (int i = 0; i < 60; ++i) {
    TextRun run;
    run.layout = p.LayOut({"Street " + std::to_string(i), {"Liberation Sans", 14, i % 2 == 0, false}});
    run.anchor = {60.0 + (i * 71) % 1000, 60.0 + (i * 89) % 1300};
    run.angle = (i % 5) * 20;
    run.halo = Halo{{1, 1, 1, 1}, 2};
    p.Text(run);
  }
}

// An exported page is drawn in parts on several cores and stacked: it reads and looks
// as the same page drawn into one PDF.
TEST(PdfStack, AnExportedPageLooksAsThePageDrawnWhole) {
  using namespace host::render;
  testing_support::TempDir dir;
  const int w = 1275, h = 1650;
  const double dpi = 150, pt = 72.0 / dpi;
  {
    SurfacePtr surface(cairo_pdf_surface_create((dir / "whole.pdf").c_str(), w * pt, h * pt));
    cairo_surface_set_device_scale(surface.get(), pt, pt);
    CairoPtr cr(cairo_create(surface.get()));
    CairoPainter painter(cr.get());
    DrawMapLike(painter);
  }
  auto ex = CreateExport(clsid::ExportPDF);
  ex->SetExportFileName((dir / "parts.pdf").string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(host::geodata::Envelope(0, 0, w, h));
  DrawMapLike(LookupDevice(ex->StartExporting())->GetPainter());
  ex->FinishExporting();

  const fs::path parts = dir / "parts.pdf";
  render_test::Run check = RunCommand("qpdf --check " + Quote(parts.string()));
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  if (host::render::detail::UsableCores() > 1) {
    EXPECT_THAT(RunCommand("qpdf --qdf --object-streams=disable " + Quote(parts.string()) + " -").out,
                HasSubstr("/Subtype /Form"))
        << "drawn in parts";
  }
  // All the text in one part: its two faces embedded once each, and the page hardly
  // larger than the page drawn whole.
  const std::string fonts = RunCommand("pdffonts " + Quote(parts.string())).out;
  EXPECT_EQ(std::count(fonts.begin(), fonts.end(), '\n'), 2 + 2) << fonts;
  EXPECT_LE(double(fs::file_size(parts)), 1.1 * double(fs::file_size(dir / "whole.pdf")));
  const std::string text = RunCommand("pdftotext " + Quote(parts.string()) + " -").out;
  EXPECT_THAT(text, HasSubstr("Street 0"));
  EXPECT_THAT(text, HasSubstr("Street 55"));

  raster_test::Raster one = Rasterise(dir / "whole.pdf"), many = Rasterise(parts);
  ASSERT_EQ(many.width, one.width);
  ASSERT_EQ(many.height, one.height);
  size_t differing = 0;
  for (size_t i = 0; i < one.rgb.size(); ++i) differing += one.rgb[i] != many.rgb[i];
  EXPECT_EQ(differing, 0u) << "channel values differ";
}

}  // namespace
