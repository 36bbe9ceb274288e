// SPDX-License-Identifier: GPL-3.0-or-later
// Raster pages as a run writes them, one after another into the kept page image: every
// file decoded and compared pixel for pixel with the same page drawn into a fresh image
// as pages were drawn before; PNG files also taken apart chunk by chunk and inflated by
// zlib, apart from libpng.

#include <gtest/gtest.h>
#include <zlib.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "host/render/cairo_ptr.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "raster_readers.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using namespace host::render;
using namespace raster_test;

namespace {

// A busy page: paper, a flat band, a few hundred see-through polygons and lines, dots
// and text, all from one seed. Without paper the page is drawn on whatever the image
// holds, as a caller that draws only a part of it does.
void DrawBusy(Painter& p, int w, int h, unsigned seed, bool paper = true) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> x(0, w), y(0, h), c(0, 1);
  const double u = std::max(1.0, std::min(w, h) / 100.0);
  PainterSave keep(p);
  if (paper) p.Paint({1, 1, 1, 1});
  p.Fill(Path().Rectangle(0, 0.6 * h, w, 0.1 * h), {0.8, 0.9, 1, 1}, FillRule::Winding);
  for (int i = 0; i < 300; ++i) {
    double cx = x(rng), cy = y(rng);
    Path path;
    path.MoveTo(cx, cy);
    for (int k = 0; k < 5; ++k) path.LineTo(cx + (c(rng) - 0.5) * 10 * u, cy + (c(rng) - 0.5) * 10 * u);
    path.Close();
    p.Fill(path, {c(rng), c(rng), c(rng), 0.6}, FillRule::EvenOdd);
    StrokeStyle s;
    s.width = 0.3 * u;
    p.Stroke(path, {0.2, 0.2, 0.2, 1}, s);
  }
  for (int i = 0; i < 50; ++i) p.Fill(Path().Arc(x(rng), y(rng), 0.5 * u, 0, 2 * M_PI), {0.8, 0.1, 0.1, 1}, FillRule::Winding);
  render_test::ShowText(p, render_test::kText, 3 * u, 0.1 * w, 0.8 * h);
}

// The page drawn as pages were drawn before: a fresh image, painted white.
std::vector<uint8_t> Reference(int w, int h, const std::function<void(Painter&)>& draw) {
  SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h));
  {
    CairoPtr cr(cairo_create(image.get()));
    cairo_set_source_rgb(cr.get(), 1, 1, 1);
    cairo_paint(cr.get());
    CairoPainter p(cr.get());
    draw(p);
  }
  cairo_surface_flush(image.get());
  std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
  const unsigned char* data = cairo_image_surface_get_data(image.get());
  const int stride = cairo_image_surface_get_stride(image.get());
  for (int yy = 0; yy < h; ++yy) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(yy) * stride);
    for (int xx = 0; xx < w; ++xx) {
      uint8_t* o = &rgb[(static_cast<size_t>(yy) * w + xx) * 3];
      o[0] = static_cast<uint8_t>(row[xx] >> 16);
      o[1] = static_cast<uint8_t>(row[xx] >> 8);
      o[2] = static_cast<uint8_t>(row[xx]);
    }
  }
  return rgb;
}

void Export(std::string_view id, const fs::path& file, int w, int h, double dpi, const std::function<void(Painter&)>& draw) {
  auto ex = CreateExport(id);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(Envelope(0, 0, w, h));
  draw(LookupDevice(ex->StartExporting())->GetPainter());
  ex->FinishExporting();
  ex->Cleanup();
}

// How many pixels differ, and the largest difference of a channel.
struct Difference {
  size_t pixels = 0;
  int largest = 0;
  double mean = 0;
};
Difference Compare(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  Difference d;
  if (a.size() != b.size()) return {a.size() + b.size(), 255, 255};
  double sum = 0;
  for (size_t i = 0; i < a.size(); i += 3) {
    int m = 0;
    for (int k = 0; k < 3; ++k) {
      int e = std::abs(int(a[i + k]) - int(b[i + k]));
      m = std::max(m, e);
      sum += e;
    }
    d.largest = std::max(d.largest, m);
    d.pixels += m > 0;
  }
  d.mean = a.empty() ? 0 : sum / double(a.size());
  return d;
}

// ---- PNG taken apart --------------------------------------------------------------

uint32_t BE32(const std::string& b, size_t at) {
  return uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 | uint32_t(uint8_t(b[at + 2])) << 8 |
         uint8_t(b[at + 3]);
}

// Checks what a strict reader checks: the signature, every chunk's CRC, IHDR first,
// the IDAT chunks in one run, IEND last and empty, one zlib stream whose checksum
// holds and that ends exactly with the data; the scanlines' filter types. Returns the
// pixels, unfiltered here, or fails the test.
std::vector<uint8_t> StrictPngPixels(const fs::path& file, int& width, int& height) {
  const std::string b = testing_support::ReadFile(file);
  static const char signature[] = "\x89PNG\r\n\x1a\n";
  EXPECT_EQ(b.compare(0, 8, signature, 8), 0) << "signature";
  std::vector<std::string> types;
  std::string idat;
  bool idat_closed = false;
  for (size_t at = 8; at < b.size();) {
    EXPECT_LE(at + 12, b.size()) << "a chunk runs past the end";
    if (at + 12 > b.size()) return {};
    const uint32_t len = BE32(b, at);
    EXPECT_LE(at + 12 + len, b.size()) << "a chunk runs past the end";
    if (at + 12 + len > b.size()) return {};
    const std::string type = b.substr(at + 4, 4);
    const uint32_t crc = uint32_t(crc32(0, reinterpret_cast<const Bytef*>(b.data() + at + 4), len + 4));
    EXPECT_EQ(crc, BE32(b, at + 8 + len)) << "CRC of chunk " << types.size() << " (" << type << ")";
    if (type == "IDAT") {
      EXPECT_FALSE(idat_closed) << "IDAT chunks must follow one another";
      idat.append(b, at + 8, len);
    } else if (!idat.empty()) {
      idat_closed = true;
    }
    if (type == "IHDR") {
      width = int(BE32(b, at + 8));
      height = int(BE32(b, at + 12));
      EXPECT_EQ(b[at + 16], 8) << "bit depth";
      EXPECT_EQ(b[at + 17], 2) << "RGB";
      EXPECT_EQ(b[at + 18], 0);
      EXPECT_EQ(b[at + 19], 0);
      EXPECT_EQ(b[at + 20], 0) << "not interlaced";
    }
    types.push_back(type);
    at += 12 + len;
  }
  EXPECT_FALSE(types.empty());
  if (types.empty()) return {};
  EXPECT_EQ(types.front(), "IHDR");
  EXPECT_EQ(types.back(), "IEND");
  EXPECT_EQ(BE32(b, b.size() - 12), 0u) << "IEND is empty";

  const size_t row_bytes = 1 + size_t(width) * 3;
  std::vector<uint8_t> raw(row_bytes * size_t(height) + 1);
  z_stream z{};
  inflateInit(&z);
  z.next_in = reinterpret_cast<Bytef*>(idat.data());
  z.avail_in = uInt(idat.size());
  z.next_out = raw.data();
  z.avail_out = uInt(raw.size());
  int rc = inflate(&z, Z_FINISH);
  EXPECT_EQ(rc, Z_STREAM_END) << "zlib: " << (z.msg ? z.msg : "stream not ended");
  EXPECT_EQ(z.avail_in, 0u) << "bytes after the end of the zlib stream";
  EXPECT_EQ(z.total_out, row_bytes * size_t(height)) << "scanline bytes";
  inflateEnd(&z);

  std::vector<uint8_t> rgb(size_t(width) * height * 3);
  for (int yy = 0; yy < height; ++yy) {
    const uint8_t* line = raw.data() + size_t(yy) * row_bytes;
    uint8_t* out = rgb.data() + size_t(yy) * width * 3;
    const uint8_t* up = yy > 0 ? out - size_t(width) * 3 : nullptr;
    EXPECT_LE(line[0], 4) << "filter type of row " << yy;
    for (size_t i = 0; i < size_t(width) * 3; ++i) {
      uint8_t a = i >= 3 ? out[i - 3] : 0, bb = up ? up[i] : 0, cc = (up && i >= 3) ? up[i - 3] : 0;
      int pa = std::abs(int(bb) - cc), pb = std::abs(int(a) - cc), pc = std::abs(int(a) + bb - 2 * cc);
      uint8_t paeth = (pa <= pb && pa <= pc) ? a : pb <= pc ? bb : cc;
      uint8_t pred = line[0] == 1 ? a : line[0] == 2 ? bb : line[0] == 3 ? uint8_t((a + bb) / 2) : line[0] == 4 ? paeth : 0;
      out[i] = uint8_t(line[1 + i] + pred);
    }
  }
  return rgb;
}

struct Lossless {
  const char* name;
  std::string_view clsid;
  const char* extension;
  Raster (*read)(const fs::path&);
};

void PrintTo(const Lossless& c, std::ostream* os) { *os << c.name; }

class RasterPages : public ::testing::TestWithParam<Lossless> {};

// Three pages of a run in a row (the image kept between them), then one of another
// size: each file holds exactly its own page. The second page is drawn without paper,
// so anything left of the first would show.
TEST_P(RasterPages, EachFileHoldsExactlyItsPageAsDrawnBefore) {
  const Lossless& c = GetParam();
  testing_support::TempDir dir;
  struct Page {
    int w, h;
    unsigned seed;
    bool paper;
  };
  const Page pages[] = {{1275, 1650, 1, true}, {1275, 1650, 2, false}, {1275, 1650, 3, true}, {613, 401, 4, true}};
  int n = 0;
  for (const Page& page : pages) {
    auto draw = [&](Painter& p) { DrawBusy(p, page.w, page.h, page.seed, page.paper); };
    fs::path file = dir / ("page" + std::to_string(++n) + "." + c.extension);
    Export(c.clsid, file, page.w, page.h, 150, draw);
    Raster r = c.read(file);
    ASSERT_EQ(r.width, page.w);
    ASSERT_EQ(r.height, page.h);
    Difference d = Compare(r.rgb, Reference(page.w, page.h, draw));
    EXPECT_EQ(d.pixels, 0u) << c.name << " page " << n << ": largest difference " << d.largest;
  }
}

INSTANTIATE_TEST_SUITE_P(Formats, RasterPages,
                         ::testing::Values(Lossless{"PNG", clsid::ExportPNG, "png", ReadPng},
                                           Lossless{"TIF", clsid::ExportTIFF, "tif", ReadTiff},
                                           Lossless{"BMP", clsid::ExportBMP, "bmp", ReadBmp}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(RasterPages, JpegStaysCloseToThePage) {
  testing_support::TempDir dir;
  auto draw = [](Painter& p) { DrawBusy(p, 1275, 1650, 7); };
  Export(clsid::ExportJPEG, dir / "page.jpg", 1275, 1650, 150, draw);
  Export(clsid::ExportJPEG, dir / "again.jpg", 1275, 1650, 150, draw);
  Raster r = ReadJpeg(dir / "again.jpg");
  ASSERT_EQ(r.width, 1275);
  Difference d = Compare(r.rgb, Reference(1275, 1650, draw));
  EXPECT_LT(d.mean, 1.5) << "mean error per channel at quality 92";
  EXPECT_LT(d.largest, 100);
  EXPECT_EQ(testing_support::ReadFile(dir / "page.jpg"), testing_support::ReadFile(dir / "again.jpg"))
      << "the same page gives the same file";
}

// Sizes around the encoder's edges: one pixel, widths that do not fill its groups of
// four pixels, one row, a tall narrow image of many strips, and a wide one whose
// strips are a single row.
TEST(RasterPages, PngPassesAStrictReaderAtEverySize) {
  testing_support::TempDir dir;
  const std::pair<int, int> sizes[] = {{1, 1}, {2, 3}, {5, 7}, {6, 2}, {9, 1}, {1, 300}, {37, 4000}, {30000, 3}, {1275, 1650}};
  for (auto [w, h] : sizes) {
    auto draw = [&](Painter& p) { DrawBusy(p, w, h, unsigned(w * 7 + h)); };
    fs::path file = dir / ("p" + std::to_string(w) + "x" + std::to_string(h) + ".png");
    Export(clsid::ExportPNG, file, w, h, 96, draw);
    int sw = 0, sh = 0;
    std::vector<uint8_t> strict = StrictPngPixels(file, sw, sh);
    EXPECT_EQ(sw, w);
    EXPECT_EQ(sh, h);
    std::vector<uint8_t> expected = Reference(w, h, draw);
    EXPECT_EQ(Compare(strict, expected).pixels, 0u) << w << " x " << h << " as zlib reads it";
    EXPECT_EQ(Compare(ReadPng(file).rgb, expected).pixels, 0u) << w << " x " << h << " as libpng reads it";
  }
}

// A plain white page is where the strips compress most; a page of noise is where they
// compress least. Both join into one stream that zlib reads back.
TEST(RasterPages, PngOfFlatAndOfNoisyPagesJoinsIntoOneStream) {
  testing_support::TempDir dir;
  auto white = [](Painter& p) { p.Paint({1, 1, 1, 1}); };
  auto noise = [](Painter& p) {
    std::mt19937 rng(3);
    Image img;
    img.width = 640;
    img.height = 480;
    img.pixels.resize(size_t(img.width) * img.height);
    for (uint32_t& px : img.pixels) px = 0xFF000000u | (rng() & 0xFFFFFFu);
    p.DrawImage(img, 0, 0, 640, 480);
  };
  for (const auto& [name, draw] : {std::pair<const char*, std::function<void(Painter&)>>{"white", white}, {"noise", noise}}) {
    fs::path file = dir / (std::string(name) + ".png");
    Export(clsid::ExportPNG, file, 640, 480, 96, draw);
    int w = 0, h = 0;
    EXPECT_EQ(Compare(StrictPngPixels(file, w, h), Reference(640, 480, draw)).pixels, 0u) << name;
  }
}

// Rows that repeat the row above come in runs of every length between lines one pixel
// high: shorter than a run worth taking whole, just as long, and many times longer.
TEST(RasterPages, PngRunsOfRepeatedRowsOfEveryLength) {
  testing_support::TempDir dir;
  const int gaps[] = {1, 2, 3, 4, 5, 7, 8, 9, 15, 16, 17, 63, 64, 65, 129, 300};
  int height = 1;
  for (int g : gaps) height += g + 1;
  auto draw = [&](Painter& p) {
    p.Paint({1, 1, 1, 1});
    int y = 1;
    for (int g : gaps) {
      y += g;
      p.Fill(Path().Rectangle(3, y, 50 + g, 1), {0, 0, 0, 1}, FillRule::Winding);
      ++y;
    }
  };
  for (int width : {1, 7, 333}) {
    fs::path file = dir / ("stripes" + std::to_string(width) + ".png");
    Export(clsid::ExportPNG, file, width, height, 96, draw);
    int w = 0, h = 0;
    std::vector<uint8_t> expected = Reference(width, height, draw);
    EXPECT_EQ(Compare(StrictPngPixels(file, w, h), expected).pixels, 0u) << width << " wide, as zlib reads it";
    EXPECT_EQ(Compare(ReadPng(file).rgb, expected).pixels, 0u) << width << " wide, as libpng reads it";
  }
}

// The page is drawn in bands on several cores, each band with what can reach it: items
// whose paint reaches far beyond their points (sharp miters, wide round caps, halos,
// turned text, a clip made before the band's first item) must still reach every band
// they touch. Thin bands make most of them cross a band's edge. A page with a scaled
// image on it is drawn whole, as the image's sampling would change at a band's edge.
TEST(RasterPages, ItemsReachingAcrossBandsAreDrawnInEveryBand) {
  testing_support::TempDir dir;
  const int w = 900, h = 1400;
  for (bool with_image : {false, true}) {
    auto draw = [&](Painter& p) {
      p.Paint({1, 1, 1, 1});
      PainterSave keep(p);
      p.Clip(Path().Rectangle(10.5, 10.5, w - 21, h - 21), FillRule::Winding);
      for (int i = 0; i < 40; ++i) {
        // A spike: its miter reaches up to ten half-widths beyond the corner.
        StrokeStyle spike;
        spike.width = 6 + i % 5;
        spike.join = LineJoin::Miter;
        spike.miter_limit = 10;
        const double x = 20 + i * 21.0, y = 33.0 * i + 17.3;
        p.Stroke(Path().MoveTo(x, y + 60).LineTo(x + 4, y).LineTo(x + 8, y + 60), {0.1, 0.2, 0.7, 0.8}, spike);
        StrokeStyle dashed;
        dashed.width = 14;
        dashed.cap = LineCap::Square;
        dashed.dash = {9, 5};
        p.Stroke(Path().MoveTo(w - x, y).LineTo(w - x - 30, y + 31.7), {0.7, 0.1, 0.1, 1}, dashed);
        p.Fill(Path().Arc(x + 400, y, 5.5 + i % 3, 0, 2 * M_PI), {0.1, 0.6, 0.1, 0.5}, FillRule::Winding);
      }
      Image checks;
      checks.width = 7;
      checks.height = 5;
      for (int i = 0; i < 35; ++i) checks.pixels.push_back((i % 2) ? 0xFF203040u : 0xFFE0D0C0u);
      if (with_image) p.DrawImage(checks, 300.3, 700.6, 250, 97.5);
      for (int i = 0; i < 60; ++i) {
        const FontChoice font{"Liberation Sans", 12.0 + i % 13, i % 2 == 0, i % 3 == 0};
        auto layout = p.LayOut({"Band edge " + std::to_string(i), font});
        TextRun run;
        run.layout = layout;
        run.anchor = {60.0 + 150 * (i % 5), 22.7 * i + 31.5};
        run.angle = i % 4 == 0 ? 0 : -35 + 13 * (i % 7);
        run.colour = {0, 0, 0, 1};
        if (i % 2 == 0) run.halo = Halo{{1, 1, 0.6, 1}, 4};
        p.Text(run);
      }
    };
    fs::path file = dir / (with_image ? "image.png" : "bands.png");
    Export(clsid::ExportPNG, file, w, h, 96, draw);
    Difference d = Compare(ReadPng(file).rgb, Reference(w, h, draw));
    EXPECT_EQ(d.pixels, 0u) << (with_image ? "with" : "without") << " an image: largest difference " << d.largest;
  }
}

// A strip's first row is written unfiltered, so that a strip needs no row of another: an
// all-black row there holds only zero bytes, as a row repeating the one above does under
// the Up filter, and a run of such rows must still come out black. (100 pixels a row:
// strips of 436 rows.)
TEST(RasterPages, PngStripsThatBeginWithABlackRow) {
  testing_support::TempDir dir;
  auto draw = [](Painter& p) {
    p.Paint({1, 1, 1, 1});
    for (int y : {0, 436, 872}) p.Fill(Path().Rectangle(0, y, 100, 9), {0, 0, 0, 1}, FillRule::Winding);
  };
  fs::path file = dir / "black.png";
  Export(clsid::ExportPNG, file, 100, 1000, 96, draw);
  int w = 0, h = 0;
  std::vector<uint8_t> expected = Reference(100, 1000, draw);
  EXPECT_EQ(Compare(StrictPngPixels(file, w, h), expected).pixels, 0u) << "as zlib reads it";
  EXPECT_EQ(Compare(ReadPng(file).rgb, expected).pixels, 0u) << "as libpng reads it";
}

TEST(RasterPages, ThePngOfAPageIsTheSameFileEveryTime) {
  testing_support::TempDir dir;
  auto draw = [](Painter& p) { DrawBusy(p, 800, 900, 11); };
  Export(clsid::ExportPNG, dir / "a.png", 800, 900, 96, draw);
  Export(clsid::ExportPNG, dir / "b.png", 800, 900, 96, draw);
  EXPECT_EQ(testing_support::ReadFile(dir / "a.png"), testing_support::ReadFile(dir / "b.png"));
}

// A context that outlives its page (a caller holding the device) must not draw into the
// next page's image.
TEST(RasterPages, AnImageStillHeldIsNotHandedToTheNextPage) {
  testing_support::TempDir dir;
  std::shared_ptr<DeviceContext> held;
  {
    auto ex = CreateExport(clsid::ExportPNG);
    ex->SetExportFileName((dir / "first.png").string());
    ex->SetPixelBounds(Envelope(0, 0, 200, 100));
    held = LookupDevice(ex->StartExporting());
    held->GetPainter().Paint({1, 0, 0, 1});
    ex->FinishExporting();
  }
  auto white = [](Painter& p) { p.Paint({1, 1, 1, 1}); };
  auto ex = CreateExport(clsid::ExportPNG);
  ex->SetExportFileName((dir / "second.png").string());
  ex->SetPixelBounds(Envelope(0, 0, 200, 100));
  long hdc = ex->StartExporting();
  held->GetPainter().Paint({0, 0, 1, 1});  // the old page's context, drawing late
  white(LookupDevice(hdc)->GetPainter());
  ex->FinishExporting();
  held.reset();
  EXPECT_EQ(Compare(ReadPng(dir / "second.png").rgb, Reference(200, 100, white)).pixels, 0u);
  EXPECT_EQ(ReadPng(dir / "first.png").at(0.5, 0.5), (std::array<int, 3>{255, 0, 0}));
}

}  // namespace
