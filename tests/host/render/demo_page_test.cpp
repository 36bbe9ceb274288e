// SPDX-License-Identifier: GPL-3.0-or-later
// The demo page in the nine formats, against reference figures kept with the tests: the
// raster pixels, the text of the PDF, the SVG and the EMF, and the EMF's records as an
// independent reader (data/emf_read.py) finds them, halos included.
//
// The pixels and texts were written when the EMF and SVG were still read back from
// cairo's recording, and hold since; the EMF's records were written after, when clips
// came to be set once where they take effect rather than again for each shape. All were
// renewed, after a look at the page, when labels came to be placed: inside the frames,
// along and upright on their streets, none over another. A change
// of fonts or of cairo shows here first. To renew them after looking at the new pages:
// ZELVANE_RENEW_REFERENCES=1 build/tests/test_host_render --gtest_filter='DemoPage.*'

#include <cairo.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sched.h>

#include <algorithm>
#include <cstdlib>

#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/render/detail/parallel.h"
#include "host/render/export.h"
#include "host/render/view_drawing.h"
#include "render_support.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace fs = std::filesystem;
using namespace host::render;
using render_test::Quote;
using render_test::RunCommand;

namespace {

const fs::path kData = fs::path(__FILE__).parent_path() / "data";
const fs::path kSource = fs::path(__FILE__).parent_path().parent_path().parent_path().parent_path();

// Compares with a reference file, or writes it when asked to renew.
void ExpectReference(const std::string& actual, const std::string& name) {
  if (std::getenv("ZELVANE_RENEW_REFERENCES")) testing_support::WriteFile(kData / name, actual);
  EXPECT_EQ(actual, testing_support::ReadFile(kData / name)) << "against " << name;
}

struct Pixels {
  int width = 0, height = 0;
  std::vector<uint32_t> rgb;  // without the unused byte
};

Pixels PixelsOf(cairo_surface_t* s) {
  cairo_surface_flush(s);
  Pixels p{cairo_image_surface_get_width(s), cairo_image_surface_get_height(s), {}};
  const unsigned char* data = cairo_image_surface_get_data(s);
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x)
      p.rgb.push_back(reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(s))[x] & 0xFFFFFF);
  return p;
}

Pixels ReadPng(const fs::path& file) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(file.c_str());
  Pixels p = PixelsOf(s);
  cairo_surface_destroy(s);
  return p;
}

class DemoPage : public ::testing::Test {
 protected:
  void SetUp() override {
    towngen::TownSummary town = towngen::WriteTown((dir / "data").string());
    grid = towngen::WriteTileGrid((dir / "data").string(), "grid", town.extent, 4, 3, towngen::TownSpatialReference());
    fs::copy_file(kSource / "examples" / "demo" / "town.json", dir / "town.json");
    doc = host::carto::Document::Open((dir / "town.json").string());
  }
  void TearDown() override {
    doc.reset();
    host::geodata::ShapefileWorkspace::ClearCache();
  }

  fs::path Export(const std::string& code, int16_t dpi) {
    std::string ext = code;
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    fs::path file = dir / ("page-" + std::to_string(dpi) + "." + ext);
    auto ex = CreateExport(*ExportClassOfFormat(code));
    ex->SetExportFileName(file.string());
    ExportView(doc->ActiveView(), *ex, dpi);
    return file;
  }

  testing_support::TempDir dir;
  towngen::GridSummary grid;
  std::unique_ptr<host::carto::Document> doc;
};

struct WordBox {
  std::string text;
  double x0, y0, x1, y1;  // points, from the page's top left
};

// The words of a PDF page and their boxes, as pdftotext -bbox gives them.
std::vector<WordBox> Words(const fs::path& pdf) {
  std::string html = RunCommand("pdftotext -bbox " + Quote(pdf.string()) + " -").out;
  std::vector<WordBox> words;
  for (size_t at = 0; (at = html.find("<word ", at)) != std::string::npos;) {
    size_t close = html.find('>', at), end = html.find("</word>", close);
    auto attr = [&](const std::string& name) {
      size_t a = html.find(name + "=\"", at);
      return std::stod(html.substr(a + name.size() + 2));
    };
    words.push_back({html.substr(close + 1, end - close - 1), attr("xMin"), attr("yMin"), attr("xMax"), attr("yMax")});
    at = end;
  }
  return words;
}

TEST_F(DemoPage, RasterPixelsAreTheDrawingsAndTheReferences) {
  for (const char* code : {"JPG", "GIF", "BMP", "TIF"}) EXPECT_GT(fs::file_size(Export(code, 48)), 1000u) << code;
  Pixels png = ReadPng(Export("PNG", 48));
  Pixels reference = ReadPng(kData / "demo_page_48dpi.png");
  if (std::getenv("ZELVANE_RENEW_REFERENCES")) fs::copy_file(dir / "page-48.png", kData / "demo_page_48dpi.png", fs::copy_options::overwrite_existing);
  EXPECT_EQ(png.width, 408);
  EXPECT_EQ(png.height, 528);
  EXPECT_TRUE(png.rgb == reference.rgb) << "the page's pixels changed";

  // The page drawn on the screen's kind of surface is the exported page.
  cairo_surface_t* screen = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 408, 528);
  cairo_t* cr = cairo_create(screen);
  DrawView(doc->ActiveView(), cr, host::carto::PixelRect{0, 0, 408, 528}, 48);
  cairo_destroy(cr);
  EXPECT_TRUE(PixelsOf(screen).rgb == png.rgb);
  cairo_surface_destroy(screen);
}

// The index map shows every page of the book: each page's label whole, inside its own
// cell of the grid, and large enough to read on a page printed at 150 dpi.
TEST_F(DemoPage, TheIndexMapShowsEveryPagesLabelInItsCell) {
  std::shared_ptr<host::carto::Map> index;
  for (int m = 0; m < doc->MapCount(); ++m)
    if (doc->Map(m)->Name() == "Mapbook_Index") index = doc->Map(m);
  ASSERT_TRUE(index);
  std::vector<WordBox> words = Words(Export("PDF", 150));
  ASSERT_FALSE(words.empty()) << "pdftotext read no words";
  std::shared_ptr<host::carto::MapFrame> frame = doc->PageLayout().FindFrame(*index);
  ASSERT_TRUE(frame);
  const host::geodata::Envelope f = frame->Bounds(), e = index->Extent();
  const double page_height = doc->PageLayout().Page().Height();
  // Map units to points from the page's top left.
  auto page_x = [&](double x) { return 72 * (f.XMin() + (x - e.XMin()) / e.Width() * f.Width()); };
  auto page_y = [&](double y) { return 72 * (page_height - (f.YMin() + (y - e.YMin()) / e.Height() * f.Height())); };
  const double tile = grid.tileSize;
  ASSERT_EQ(grid.rows * grid.columns, 12);
  for (int r = 1; r <= grid.rows; ++r) {
    for (int c = 1; c <= grid.columns; ++c) {
      const std::string label = std::string(1, char('A' + r - 1)) + std::to_string(c);
      // The cell, less a point for its outline.
      const double x0 = page_x(grid.extent.XMin() + (c - 1) * tile) + 1, x1 = page_x(grid.extent.XMin() + c * tile) - 1;
      const double y0 = page_y(grid.extent.YMax() - (r - 1) * tile) + 1, y1 = page_y(grid.extent.YMax() - r * tile) - 1;
      int found = 0;
      for (const WordBox& w : words) {
        if (w.text != label || w.x0 < page_x(e.XMin()) || w.x1 > page_x(e.XMax()) || w.y0 < page_y(e.YMax()) ||
            w.y1 > page_y(e.YMin()))
          continue;  // the main map's label of that page
        ++found;
        EXPECT_TRUE(w.x0 >= x0 && w.x1 <= x1 && w.y0 >= y0 && w.y1 <= y1)
            << label << " at (" << w.x0 << ", " << w.y0 << ")-(" << w.x1 << ", " << w.y1 << ") outside its cell ("
            << x0 << ", " << y0 << ")-(" << x1 << ", " << y1 << ")";
        EXPECT_GE(w.y1 - w.y0, 9.0) << label << " too small to read";
      }
      EXPECT_EQ(found, 1) << label << " shown once in the index map";
    }
  }
}

TEST_F(DemoPage, TheTextIsTheSameInEveryVectorFormat) {
  std::string pdf = RunCommand("pdftotext " + Quote(Export("PDF", 96).string()) + " -").out;
  ExpectReference(pdf, "demo_page_pdftotext.txt");
  EXPECT_EQ(RunCommand("pdftotext " + Quote(Export("AI", 96).string()) + " -").out, pdf);

  render_test::XmlElement svg = render_test::ParseXml(testing_support::ReadFile(Export("SVG", 96)));
  std::vector<const render_test::XmlElement*> texts;
  svg.FindAll("text", texts);
  std::string lines, haloed;
  for (const auto* t : texts) {
    lines += t->text + "\n";
    if (t->Attribute("style").find("paint-order:stroke") != std::string::npos) haloed += t->text + "\n";
  }
  EXPECT_NE(haloed, "") << "the streets' names have halos";
  ExpectReference(lines, "demo_page_texts.txt");

  render_test::Run emf = RunCommand("python3 " + Quote((kData / "emf_read.py").string()) + " " + Quote(Export("EMF", 96).string()));
  if (emf.status == 127) GTEST_SKIP() << "no python3 to read the metafile with";
  ASSERT_EQ(emf.status, 0) << emf.err;
  std::string emf_texts, emf_halos, counts;
  for (size_t at = 0, end; (end = emf.out.find('\n', at)) != std::string::npos; at = end + 1) {
    std::string line = emf.out.substr(at, end - at);
    if (line.rfind("text ", 0) == 0) emf_texts += line.substr(5) + "\n";
    else if (line.rfind("halo ", 0) == 0) emf_halos += line.substr(5) + "\n";
    else counts += line + "\n";
  }
  EXPECT_EQ(emf_texts, lines) << "the metafile's text records are the SVG's text elements";
  EXPECT_EQ(emf_halos, haloed) << "each text that has a halo in the SVG stands on one in the metafile";
  ExpectReference(counts, "demo_page_emf_records.txt");
}

}  // namespace

namespace {

// The faces pdffonts lists, one line each, without the subset's tag ("ABCDEF+").
std::vector<std::string> FontFaces(const fs::path& pdf) {
  render_test::Run run = RunCommand("pdffonts " + Quote(pdf.string()));
  std::vector<std::string> faces;
  size_t line = 0;
  for (size_t at = 0, end; (end = run.out.find('\n', at)) != std::string::npos; at = end + 1, ++line) {
    if (line < 2) continue;  // the heading and its rule
    std::string name = run.out.substr(at, run.out.find(' ', at) - at);
    if (name.size() > 7 && name[6] == '+') name = name.substr(7);
    faces.push_back(name);
  }
  return faces;
}

// Whether pdffonts lists some faces, each once.
testing::AssertionResult EachFaceOnce(const fs::path& pdf) {
  std::vector<std::string> faces = FontFaces(pdf), once = faces;
  std::sort(once.begin(), once.end());
  once.erase(std::unique(once.begin(), once.end()), once.end());
  if (!faces.empty() && faces.size() == once.size()) return testing::AssertionSuccess();
  return testing::AssertionFailure() << pdf << " lists " << testing::PrintToString(faces);
}

// Runs a call with the calling thread held to one core: an export then draws its page whole.
template <typename Call>
void OnOneCore(Call call) {
  cpu_set_t all, one;
  ASSERT_EQ(sched_getaffinity(0, sizeof all, &all), 0);
  CPU_ZERO(&one);
  for (int c = 0; c < CPU_SETSIZE; ++c)
    if (CPU_ISSET(c, &all)) {
      CPU_SET(c, &one);
      break;
    }
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  call();
  ASSERT_EQ(sched_setaffinity(0, sizeof all, &all), 0);
}

// A page drawn in parts embeds each font once, as the page drawn whole does, and is
// hardly larger.
TEST_F(DemoPage, APdfPageEmbedsEachFontOnceOnAnyNumberOfCores) {
  const fs::path whole = dir / "whole.pdf";
  OnOneCore([&] { fs::rename(Export("PDF", 150), whole); });
  const fs::path parts = Export("PDF", 150);
  EXPECT_TRUE(EachFaceOnce(whole));
  EXPECT_TRUE(EachFaceOnce(parts));
  EXPECT_LE(double(fs::file_size(parts)), 1.1 * double(fs::file_size(whole)));
  if (host::render::detail::UsableCores() > 1) {
    EXPECT_THAT(RunCommand("qpdf --qdf --object-streams=disable " + Quote(parts.string()) + " -").out,
                testing::HasSubstr("/Subtype /Form"))
        << "drawn in parts";
  }
}

// An export run as the map book makes one: the main map moved from tile to tile, each
// page written in PNG, JPG and PDF. Drawn on every core, each raster file is the file
// drawn on one core, byte for byte, and each PDF embeds its fonts once. (scripts/tsan
// runs this on four cores under ThreadSanitizer.)
TEST_F(DemoPage, AnExportRunWritesEachPageAsOnOneCore) {
  doc->SetActiveView(doc->PageLayout());
  const host::geodata::Envelope start = doc->Map(0)->Extent();
  for (int page = 0; page < 3; ++page) {
    host::geodata::Envelope e = start;
    e.Offset((page % 4) * start.Width() * 0.5, -(page % 3) * start.Height() * 0.5);
    doc->Map(0)->SetExtent(e);
    for (const char* code : {"PNG", "JPG"}) {
      const fs::path one = dir / ("one-" + std::to_string(page));
      OnOneCore([&] { fs::rename(Export(code, 96), one); });
      EXPECT_TRUE(testing_support::ReadFile(Export(code, 96)) == testing_support::ReadFile(one))
          << code << " page " << page;
    }
    EXPECT_TRUE(EachFaceOnce(Export("PDF", 96))) << "page " << page;
  }
}

}  // namespace
