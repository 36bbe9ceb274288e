// SPDX-License-Identifier: GPL-3.0-or-later
// A Letter page drawn with a few thousand shapes, written page after page: pages per
// second in PNG, JPG and PDF at 150 and 300 dpi, today's path beside the new one as a
// ratio, the cores used, peak memory, and resident memory after page 10 and page 1,000;
// then the drawing alone, and one page of each other format.
//
//   build/bench/bench_render_export [--pages 30] [--long 1000] [--only PNG/150]

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

#include "bench_support.h"
#include "export_compare.h"
#include "host/render/detail/parallel.h"
#include "host/render/device.h"
#include "host/render/export.h"
#include "host/render/painter.h"

namespace fs = std::filesystem;
using namespace host::render;
using namespace export_compare;

namespace {

// 1500 polygons, 1000 lines, 500 point symbols and 150 labels over the page, placed in
// page units (1/96 in) so that every resolution draws the same map.
void DrawMap(DeviceContext& dc) {
  Painter& p = dc.GetPainter();
  const double s = dc.Dpi() / 96.0;
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> x(20, 796), y(20, 1036), r(3, 25), c(0, 1);
  PainterSave keep(p);
  p.Paint(Colour{1, 1, 1, 1});
  StrokeStyle outline;
  outline.width = 0.75 * s;
  for (int i = 0; i < 1500; ++i) {
    double cx = x(rng), cy = y(rng), radius = r(rng);
    int n = 5 + i % 4;
    Path path;
    for (int k = 0; k < n; ++k) {
      double a = 2 * M_PI * k / n, rr = radius * (0.7 + 0.3 * c(rng));
      double px = (cx + rr * std::cos(a)) * s, py = (cy + rr * std::sin(a)) * s;
      k == 0 ? path.MoveTo(px, py) : path.LineTo(px, py);
    }
    path.Close();
    double red = c(rng), green = c(rng), blue = c(rng);
    p.Fill(path, Colour{red, green, blue, 0.6}, FillRule::Winding);
    p.Stroke(path, Colour{0.2, 0.2, 0.2, 1}, outline);
  }
  StrokeStyle line;
  line.width = 1.5 * s;
  for (int i = 0; i < 1000; ++i) {
    double px = x(rng), py = y(rng);
    Path path;
    path.MoveTo(px * s, py * s);
    for (int k = 0; k < 4; ++k) {
      px += r(rng) - 14;
      py += r(rng) - 14;
      path.LineTo(px * s, py * s);
    }
    p.Stroke(path, Colour{0.1, 0.3, 0.8, 1}, line);
  }
  for (int i = 0; i < 500; ++i) {
    Path dot;
    dot.Arc(x(rng) * s, y(rng) * s, 2.5 * s, 0, 2 * M_PI);
    p.Fill(dot, Colour{0.8, 0.1, 0.1, 1}, FillRule::Winding);
  }
  for (int i = 0; i < 150; ++i) {
    TextBlock block;
    block.text = "Parcel " + std::to_string(1000 + i);
    block.font = FontChoice{"Liberation Sans", 8 * dc.Dpi() / 72, false, false};
    TextRun run;
    run.layout = p.LayOut(block);
    run.anchor = XY{x(rng) * s, y(rng) * s};
    run.colour = Colour{0, 0, 0, 1};
    p.Text(run);
  }
}

struct Size {
  int width, height;
};

Size LetterAt(double dpi) {
  PixelRect frame = ExportFrame(8.5, 11);
  return {int(std::nearbyint(dpi / 96 * frame.right)), int(std::nearbyint(dpi / 96 * frame.bottom))};
}

void ExportPage(std::string_view id, const fs::path& file, double dpi) {
  Size size = LetterAt(dpi);
  auto ex = CreateExport(id);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(host::geodata::Envelope(0, 0, size.width, size.height));
  DrawMap(*LookupDevice(ex->StartExporting()));
  ex->FinishExporting();
  ex->Cleanup();
}

std::string_view ClassOf(const std::string& format) {
  if (format == "PNG") return clsid::ExportPNG;
  if (format == "JPG") return clsid::ExportJPEG;
  return clsid::ExportPDF;
}

// The drawing alone, into an image of the page, per page.
double DrawOnlySeconds(double dpi, int pages) {
  Size size = LetterAt(dpi);
  cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, size.width, size.height);
  double t0 = Now();
  for (int i = 0; i < pages; ++i) {
    DeviceContext dc(cairo_create(image), size.width, size.height, dpi, DeviceKind::Raster);
    DrawMap(dc);
  }
  double seconds = (Now() - t0) / pages;
  cairo_surface_destroy(image);
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  bench_support::Scratch scratch;
  std::printf("bench_render_export: the dense Letter page, %d pages per row and path\n", options.pages);
  PrintHeader(detail::UsableCores());
  for (const char* format : {"PNG", "JPG", "PDF"}) {
    for (int dpi : {150, 300}) {
      if (options.pages <= 0 || !options.Wants(format, dpi)) continue;
      Size size = LetterAt(dpi);
      Comparison c = Compare(
          scratch.dir, format, options.pages,
          [&](int, const fs::path& file) { LegacyPage(format, file, dpi, size.width, size.height, DrawMap); },
          [&](int, const fs::path& file) { ExportPage(ClassOf(format), file, dpi); });
      PrintRow(format, dpi, c);
    }
  }
  if (options.only.empty()) {
    std::printf("\ndrawing alone: %.1f ms a page at 150 dpi, %.1f ms at 300 dpi\n", DrawOnlySeconds(150, 5) * 1e3,
                DrawOnlySeconds(300, 5) * 1e3);
    const std::pair<std::string_view, const char*> others[] = {{clsid::ExportTIFF, "tif"}, {clsid::ExportBMP, "bmp"},
                                                               {clsid::ExportGIF, "gif"}, {clsid::ExportSVG, "svg"},
                                                               {clsid::ExportEMF, "emf"}};
    for (const auto& [id, ext] : others) {
      Figures f;
      ExportPage(id, scratch.dir / (std::string("warm.") + ext), 150);
      TimePages(1, 5, scratch.dir, ext, [&](int, const fs::path& file) { ExportPage(id, file, 150); }, f);
      std::printf("%s 150 dpi: %.1f ms a page, %.2f cores, %.0f kB\n", ext, f.wall / f.pages * 1e3, f.Cores(),
                  f.bytes / 1024.0);
    }
  }
  if (options.long_pages > 10 && options.Wants("PNG", 150)) {
    std::printf("\n");
    PrintLongRun(scratch.dir, "PNG", 150, options.long_pages,
                 [&](int, const fs::path& file) { ExportPage(clsid::ExportPNG, file, 150); });
  }
  return 0;
}
