// Writing a Letter page drawn with a few thousand shapes: time per page and peak memory
// by format and resolution, and memory over 200 pages in a row.
//
//   build/bench/bench_render_export [--benchmark_filter=...]

#include <benchmark/benchmark.h>
#include <pango/pangocairo.h>
#include <stdlib.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "host/render/device.h"
#include "host/render/export.h"

namespace fs = std::filesystem;
using namespace host::render;

namespace {

// Resident memory figures of this process in kB ("VmHWM", "VmRSS").
long Status(const char* field) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
  return -1;
}

// Starts a new peak: the kernel resets VmHWM to the current size.
void ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
}

struct Folder {
  Folder() {
    char templ[] = "/tmp/zelvane-bench-XXXXXX";
    path = mkdtemp(templ);
  }
  ~Folder() { fs::remove_all(path); }
  fs::path path;
};

// 1500 polygons, 1000 lines, 500 point symbols and 150 labels over the page, in page
// units (1/96 in) so that every resolution draws the same map.
void DrawMap(long hdc) {
  auto dc = LookupDevice(hdc);
  cairo_t* cr = dc->Cairo();
  const double s = dc->Dpi() / 96.0;
  std::mt19937 rng(42);
  std::uniform_real_distribution<double> x(20, 796), y(20, 1036), r(3, 25), c(0, 1);
  cairo_save(cr);
  cairo_scale(cr, s, s);
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  cairo_set_line_width(cr, 0.75);
  for (int i = 0; i < 1500; ++i) {
    double cx = x(rng), cy = y(rng), radius = r(rng);
    int n = 5 + i % 4;
    for (int k = 0; k < n; ++k) {
      double a = 2 * M_PI * k / n, rr = radius * (0.7 + 0.3 * c(rng));
      cairo_line_to(cr, cx + rr * std::cos(a), cy + rr * std::sin(a));
    }
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, c(rng), c(rng), c(rng), 0.6);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_stroke(cr);
  }
  cairo_set_source_rgb(cr, 0.1, 0.3, 0.8);
  cairo_set_line_width(cr, 1.5);
  for (int i = 0; i < 1000; ++i) {
    cairo_move_to(cr, x(rng), y(rng));
    for (int k = 0; k < 4; ++k) cairo_rel_line_to(cr, r(rng) - 14, r(rng) - 14);
    cairo_stroke(cr);
  }
  cairo_set_source_rgb(cr, 0.8, 0.1, 0.1);
  for (int i = 0; i < 500; ++i) {
    cairo_arc(cr, x(rng), y(rng), 2.5, 0, 2 * M_PI);
    cairo_fill(cr);
  }
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Liberation Sans 8");
  pango_layout_set_font_description(layout, font);
  cairo_set_source_rgb(cr, 0, 0, 0);
  for (int i = 0; i < 150; ++i) {
    std::string label = "Parcel " + std::to_string(1000 + i);
    pango_layout_set_text(layout, label.c_str(), -1);
    cairo_move_to(cr, x(rng), y(rng));
    pango_cairo_show_layout(cr, layout);
  }
  pango_font_description_free(font);
  g_object_unref(layout);
  cairo_restore(cr);
}

void ExportPage(std::string_view id, const fs::path& file, double dpi) {
  PixelRect frame = ExportFrame(8.5, 11);
  auto ex = CreateExport(id);
  ex->SetExportFileName(file.string());
  ex->SetResolution(dpi);
  ex->SetPixelBounds(host::geodata::Envelope(0, 0, std::nearbyint(dpi / 96 * frame.right), std::nearbyint(dpi / 96 * frame.bottom)));
  DrawMap(ex->StartExporting());
  ex->FinishExporting();
  ex->Cleanup();
}

struct FormatArg {
  std::string_view id;
  const char* ext;
};
const FormatArg kFormats[] = {{clsid::ExportPNG, "png"}, {clsid::ExportJPEG, "jpg"}, {clsid::ExportPDF, "pdf"},
                              {clsid::ExportSVG, "svg"}, {clsid::ExportEMF, "emf"}, {clsid::ExportTIFF, "tif"},
                              {clsid::ExportGIF, "gif"}, {clsid::ExportBMP, "bmp"}};

void BM_LetterPage(benchmark::State& state) {
  const FormatArg& f = kFormats[state.range(0)];
  const double dpi = static_cast<double>(state.range(1));
  Folder dir;
  fs::path file = dir.path / (std::string("page.") + f.ext);
  ResetPeak();
  for (auto _ : state) ExportPage(f.id, file, dpi);
  state.SetLabel(std::string(f.ext) + " " + std::to_string(state.range(1)) + " dpi");
  state.counters["peak_MB"] = Status("VmHWM:") / 1024.0;
  state.counters["file_kB"] = fs::file_size(file) / 1024.0;
}

// Drawing alone into the page's image, to tell the drawing from the writing.
void BM_DrawOnly(benchmark::State& state) {
  const int dpi = static_cast<int>(state.range(0));
  const int w = dpi * 17 / 2, h = dpi * 11;
  for (auto _ : state) {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    long hdc = OpenDevice(std::make_shared<DeviceContext>(cairo_create(s), w, h, dpi, DeviceKind::Raster));
    DrawMap(hdc);
    ReleaseDevice(hdc);
    cairo_surface_destroy(s);
  }
  state.SetLabel(std::to_string(dpi) + " dpi");
}

// 200 pages in a row, each its own file as an export run writes them: resident memory
// after the 10th page and after the 200th.
void BM_TwoHundredPages(benchmark::State& state) {
  const FormatArg& f = kFormats[state.range(0)];
  const double dpi = static_cast<double>(state.range(1));
  long after10 = 0, after200 = 0;
  double seconds = 0;
  for (auto _ : state) {
    Folder dir;
    ResetPeak();
    auto start = std::chrono::steady_clock::now();
    for (int page = 1; page <= 200; ++page) {
      char name[32];
      std::snprintf(name, sizeof name, "page-%03d.%s", page, f.ext);
      ExportPage(f.id, dir.path / name, dpi);
      if (page == 10) after10 = Status("VmRSS:");
    }
    after200 = Status("VmRSS:");
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
  state.SetLabel(std::string(f.ext) + " " + std::to_string(state.range(1)) + " dpi");
  state.counters["rss_after_10_MB"] = after10 / 1024.0;
  state.counters["rss_after_200_MB"] = after200 / 1024.0;
  state.counters["peak_MB"] = Status("VmHWM:") / 1024.0;
  state.counters["per_page_ms"] = seconds / 200 * 1000;
}

}  // namespace

BENCHMARK(BM_DrawOnly)->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);
// PNG, JPG, PDF at 150 and 300 dpi; the other formats at 150 dpi for comparison.
BENCHMARK(BM_LetterPage)->ArgsProduct({{0, 1, 2}, {150, 300}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LetterPage)->ArgsProduct({{3, 4, 5, 6, 7}, {150}})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoHundredPages)->Args({0, 150})->Args({0, 300})->Args({2, 150})->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
