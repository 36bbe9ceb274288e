// SPDX-License-Identifier: GPL-3.0-or-later
// The vector exporters: PDF and AI checked by qpdf and pdftotext, SVG parsed as XML.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include "host/render/detail/font_names.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using namespace host::render;
using render_test::Quote;
using render_test::RunCommand;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

void Export(std::string_view id, const fs::path& file, double dpi, double w, double h,
            const std::function<void(long)>& draw = render_test::DrawPage) {
  auto ex = CreateExport(id);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(Envelope(0, 0, w, h));
  long hdc = ex->StartExporting();
  draw(hdc);
  ex->FinishExporting();
  ex->Cleanup();
}

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

class PdfExport : public ::testing::TestWithParam<std::string_view> {};

// A Letter page at 96 and at 300 dots per inch is the same 612 x 792 point page.
TEST_P(PdfExport, WritesACheckedPageWithRealText) {
  testing_support::TempDir dir;
  const bool ai = GetParam() == clsid::ExportAI;
  for (double dpi : {96.0, 300.0}) {
    fs::path file = dir / (ai ? "page.ai" : "page.pdf");
    Export(GetParam(), file, dpi, 8.5 * dpi, 11 * dpi);
    EXPECT_EQ(testing_support::ReadFile(file).substr(0, 5), "%PDF-");
    render_test::Run check = RunCommand("qpdf --check " + Quote(file.string()));
    EXPECT_EQ(check.status, 0) << check.out << check.err;
    EXPECT_EQ(RunCommand("qpdf --show-npages " + Quote(file.string())).out, "1\n");
    render_test::Run text = RunCommand("pdftotext " + Quote(file.string()) + " -");
    EXPECT_THAT(text.out, HasSubstr(render_test::kText)) << "at " << dpi << " dpi";
    EXPECT_THAT(RunCommand("pdfinfo " + Quote(file.string())).out, HasSubstr("612 x 792 pts"));
  }
}

INSTANTIATE_TEST_SUITE_P(PdfAndAi, PdfExport, ::testing::Values(clsid::ExportPDF, clsid::ExportAI),
                         [](const auto& info) { return info.param == clsid::ExportAI ? "AI" : "PDF"; });

TEST(PdfExport, DrawsInDevicePixelsEvenAfterResettingTheMatrix) {
  // At 300 dpi, pixel (1275, 2000) is 306 x 480 points on the page.
  testing_support::TempDir dir;
  Export(clsid::ExportPDF, dir / "p.pdf", 300, 2550, 3300, [](long hdc) {
    cairo_t* cr = LookupDevice(hdc)->Cairo();
    cairo_identity_matrix(cr);
    cairo_move_to(cr, 1275, 2000);
    ShowText(cr, "Marker", 100);
  });
  std::string bbox = RunCommand("pdftotext -bbox " + Quote((dir / "p.pdf").string()) + " -").out;
  EXPECT_THAT(bbox, HasSubstr("xMin=\"306.0"));
  EXPECT_THAT(bbox, HasSubstr(">Marker<"));
}

std::string AllText(const render_test::XmlElement& svg) {
  std::vector<const render_test::XmlElement*> texts;
  svg.FindAll("text", texts);
  std::string all;
  for (const auto* t : texts) all += t->text + "|";
  return all;
}

TEST(SvgExport, IsWellFormedXmlAPageInInchesWithTheTextAsText) {
  testing_support::TempDir dir;
  Export(clsid::ExportSVG, dir / "page.svg", 150, 8.5 * 150, 11 * 150);
  std::string svg = testing_support::ReadFile(dir / "page.svg");
  render_test::XmlElement root = render_test::ParseXml(svg);
  EXPECT_EQ(root.name, "svg");
  EXPECT_EQ(root.Attribute("width"), "8.5in");
  EXPECT_EQ(root.Attribute("height"), "11in");
  EXPECT_EQ(root.Attribute("viewBox"), "0 0 1275 1650");
  EXPECT_EQ(AllText(root), std::string(render_test::kText) + "|");

  std::vector<const render_test::XmlElement*> texts, paths, titles;
  root.FindAll("text", texts);
  root.FindAll("path", paths);
  root.FindAll("title", titles);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->Attribute("font-family"), "Liberation Sans, sans-serif");
  EXPECT_NEAR(std::stod(texts[0]->Attribute("font-size")), 0.05 * 1650, 0.01);
  EXPECT_NEAR(std::stod(texts[0]->Attribute("x")), 0.1 * 1275, 2);
  EXPECT_THAT(svg, Not(HasSubstr("#glyph"))) << "the outlines are gone with the text in their place";
  EXPECT_GE(paths.size(), 3u) << "the square, the disc and the line";
  EXPECT_THAT(svg, HasSubstr("rgb(100%,0%,0%)"));
  ASSERT_EQ(titles.size(), 1u);
  EXPECT_EQ(titles[0]->text, "page");
}

TEST(SvgExport, RotatedAndEscapedTextStaysText) {
  testing_support::TempDir dir;
  Export(clsid::ExportSVG, dir / "r.svg", 96, 400, 400, [](long hdc) {
    render_test::ShowText(LookupDevice(hdc)->GetPainter(), "Rivers & <Roads>", 20, 200, 200, 30);
  });
  render_test::XmlElement root = render_test::ParseXml(testing_support::ReadFile(dir / "r.svg"));
  std::vector<const render_test::XmlElement*> texts;
  root.FindAll("text", texts);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->text, "Rivers & <Roads>");
  EXPECT_THAT(texts[0]->Attribute("transform"), HasSubstr("matrix(0.866 -0.5 0.5 0.866 "));
}

TEST(SvgExport, ClipsNestAndTextWhollyClippedAwayIsLeftOut) {
  testing_support::TempDir dir;
  Export(clsid::ExportSVG, dir / "c.svg", 96, 400, 400, [](long hdc) {
    Painter& p = LookupDevice(hdc)->GetPainter();
    {
      PainterSave keep(p);
      p.Clip(Path().Rectangle(0, 0, 200, 200), FillRule::Winding);
      render_test::ShowText(p, "Inside", 20, 50, 50);
      render_test::ShowText(p, "Outside", 20, 250, 250);
      render_test::ShowText(p, "Across", 20, 180, 100);
    }
    render_test::ShowText(p, "After", 20, 250, 250);
  });
  std::string svg = testing_support::ReadFile(dir / "c.svg");
  render_test::XmlElement root = render_test::ParseXml(svg);
  EXPECT_EQ(AllText(root), "Inside|Across|After|");
  std::vector<const render_test::XmlElement*> clips;
  root.FindAll("clipPath", clips);
  EXPECT_EQ(clips.size(), 1u);
}

TEST(SvgExport, HalosAndImagesAreWrittenToo) {
  testing_support::TempDir dir;
  Export(clsid::ExportSVG, dir / "h.svg", 96, 200, 100, [](long hdc) {
    Painter& p = LookupDevice(hdc)->GetPainter();
    TextBlock block;
    block.text = "Halo";
    block.font.family = "Liberation Sans";
    block.font.size = 20;
    p.Text({p.LayOut(block), {10, 10}, {0, 0}, 0, {0, 0, 0, 1}, Halo{{1, 1, 1, 1}, 2}});
    Image dot{2, 1, {0xFFFF0000u, 0xFF0000FFu}};
    p.DrawImage(dot, 100, 50, 20, 10);
  });
  render_test::XmlElement root = render_test::ParseXml(testing_support::ReadFile(dir / "h.svg"));
  std::vector<const render_test::XmlElement*> texts, images;
  root.FindAll("text", texts);
  root.FindAll("image", images);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_THAT(texts[0]->Attribute("style"), HasSubstr("stroke:rgb(100%,100%,100%);stroke-opacity:1;stroke-width:4;"));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0]->Attribute("width"), "20");
  EXPECT_THAT(images[0]->Attribute("xlink:href"), HasSubstr("data:image/png;base64,iVBORw0KGgo"));
}

// Each text names the font the document asks for, then the face that set its glyphs,
// then a generic family: a reader without that face does not fall back on its default.
TEST(SvgExport, TextNamesTheAskedFontThenTheFaceUsedThenAGenericFamily) {
  testing_support::TempDir dir;
  const std::vector<std::string> asked{"Arial", "Times New Roman", "Courier New", "arial"};
  Export(clsid::ExportSVG, dir / "f.svg", 96, 400, 400, [&](long hdc) {
    Painter& p = LookupDevice(hdc)->GetPainter();
    for (size_t i = 0; i < asked.size(); ++i) {
      TextBlock block;
      block.text = "Town " + std::to_string(i);
      block.font.family = asked[i];
      block.font.size = 20;
      p.Text({p.LayOut(block), {10, 10 + 40.0 * i}, {0, 0}, 0, {0, 0, 0, 1}, std::nullopt});
    }
  });
  render_test::XmlElement root = render_test::ParseXml(testing_support::ReadFile(dir / "f.svg"));
  std::vector<const render_test::XmlElement*> texts;
  root.FindAll("text", texts);
  ASSERT_EQ(texts.size(), 4u);
  EXPECT_EQ(texts[0]->Attribute("font-family"), "Arial, Liberation Sans, sans-serif");
  EXPECT_EQ(texts[1]->Attribute("font-family"), "Times New Roman, Liberation Serif, serif");
  EXPECT_EQ(texts[2]->Attribute("font-family"), "Courier New, Liberation Mono, monospace");
  EXPECT_EQ(texts[3]->Attribute("font-family"), "arial, Liberation Sans, sans-serif") << "as the document spells it";
}

TEST(FontNames, WhatEachVectorFileNames) {
  using namespace host::render::detail;
  // Only the metric-compatible pairs, in any case, give the asked name to a metafile.
  EXPECT_EQ(MetafileFontName("Arial", "Liberation Sans"), "Arial");
  EXPECT_EQ(MetafileFontName("HELVETICA", "Liberation Sans"), "HELVETICA");
  EXPECT_EQ(MetafileFontName("Times New Roman", "Liberation Serif"), "Times New Roman");
  EXPECT_EQ(MetafileFontName("Courier New", "Liberation Mono"), "Courier New");
  EXPECT_EQ(MetafileFontName("Arial", "DejaVu Sans"), "DejaVu Sans");
  EXPECT_EQ(MetafileFontName("Times New Roman", "Liberation Sans"), "Liberation Sans");
  EXPECT_EQ(MetafileFontName("Verdana", "DejaVu Sans"), "DejaVu Sans");
  EXPECT_EQ(MetafileFontName("", "Liberation Sans"), "Liberation Sans");

  EXPECT_EQ(CssFontFamilies("Verdana", "DejaVu Sans"), "Verdana, DejaVu Sans, sans-serif");
  EXPECT_EQ(CssFontFamilies("Liberation Serif", "liberation serif"), "Liberation Serif, serif") << "each name once";
  EXPECT_EQ(CssFontFamilies("", "DejaVu Sans Mono"), "DejaVu Sans Mono, monospace");
  EXPECT_EQ(CssFontFamilies("Georgia", "DejaVu Serif"), "Georgia, DejaVu Serif, serif");
  // Names that CSS would read otherwise are quoted.
  EXPECT_EQ(CssFontFamilies("Serif", "DejaVu Serif"), "'Serif', DejaVu Serif, serif");
  EXPECT_EQ(CssFontFamilies("Font 3000", "DejaVu Sans"), "'Font 3000', DejaVu Sans, sans-serif");
  EXPECT_EQ(CssFontFamilies("O'Hare, Bold", "DejaVu Sans"), "'O\\'Hare, Bold', DejaVu Sans, sans-serif");
}

TEST(SvgExport, APageDrawnWithCairoItselfKeepsCairosOutlines) {
  // Drawing that bypasses the painter is kept as cairo writes it: the page is whole,
  // its text as glyph outlines.
  testing_support::TempDir dir;
  Export(clsid::ExportSVG, dir / "g.svg", 96, 300, 100, [](long hdc) {
    auto dc = LookupDevice(hdc);
    dc->GetPainter().Fill(Path().Rectangle(0, 0, 50, 50), {1, 0, 0, 1}, FillRule::Winding);
    cairo_t* cr = dc->Cairo();
    cairo_move_to(cr, 10, 10);
    ShowText(cr, "Grouped", 20);
  });
  std::string svg = testing_support::ReadFile(dir / "g.svg");
  render_test::XmlElement root = render_test::ParseXml(svg);
  EXPECT_EQ(AllText(root), "");
  EXPECT_THAT(svg, HasSubstr("glyph"));
  EXPECT_THAT(svg, HasSubstr("rgb(100%,0%,0%)")) << "what the painter drew before is there too";
  EXPECT_EQ(root.Attribute("width"), "3.125in");
}

}  // namespace
