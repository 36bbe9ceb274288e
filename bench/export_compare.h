// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the two export benchmarks share: the page as it was written before the page
// image was kept between pages and the PNG encoder ran on every core (kept here, and
// only here, to measure against), and a run of pages measured for pages per second,
// cores used, and memory.

#include <cairo-pdf.h>
#include <cairo.h>
#include <png.h>
#include <sys/resource.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/render/detail/raster_codecs.h"
#include "host/render/device.h"
#include "host/win/whole_file.h"

namespace export_compare {

namespace fs = std::filesystem;
namespace render = host::render;

// ---- memory and time ------------------------------------------------------------

// kB of memory the process holds now ("VmRSS") or held at its peak ("VmHWM").
inline long StatusKb(const char* key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  const std::string prefix = std::string(key) + ":";
  while (std::getline(in, line))
    if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
  return 0;
}

// Starts a new peak: the kernel sets VmHWM to the current size.
inline void ResetPeak() { std::ofstream("/proc/self/clear_refs") << "5"; }

// CPU seconds of every thread of the process.
inline double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

inline double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// ---- today's page ---------------------------------------------------------------

// The PNG encoder as it was: libpng on one thread, the Up filter, zlib level 1 in
// run-length mode.
inline void LegacyWritePng(cairo_surface_t* image, const fs::path& path, double dpi) {
  cairo_surface_flush(image);
  const unsigned char* data = cairo_image_surface_get_data(image);
  const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
  const int stride = cairo_image_surface_get_stride(image);
  FILE* f = fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot open " + path.string());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    fclose(f);
    throw std::runtime_error("libpng failed");
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  const unsigned ppm = render::detail::PixelsPerMetre(dpi);
  png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < height; ++y) png_write_row(png, data + size_t(y) * size_t(stride));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  if (fclose(f) != 0) throw std::runtime_error("writing failed");
}

// One page the way the exporter wrote it before: a fresh image per page (allocated,
// painted white, freed), the PNG encoder above, JPEG as now, PDF through cairo's PDF
// surface straight to the file; every file written whole. draw gets the page's device.
inline void LegacyPage(const std::string& format, const fs::path& file, double dpi, int width, int height,
                       const std::function<void(render::DeviceContext&)>& draw) {
  host::win::WholeFile whole(file);
  if (format == "PDF") {
    const double pt = 72.0 / dpi;
    cairo_surface_t* s = cairo_pdf_surface_create(whole.TempPath().c_str(), width * pt, height * pt);
    cairo_surface_set_device_scale(s, pt, pt);
    cairo_surface_set_fallback_resolution(s, dpi, dpi);
    cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_CREATOR, "ZelvaneMap");
    cairo_pdf_surface_set_metadata(s, CAIRO_PDF_METADATA_TITLE, file.stem().c_str());
    {
      render::DeviceContext dc(cairo_create(s), width, height, dpi, render::DeviceKind::Vector);
      draw(dc);
    }
    cairo_surface_finish(s);
    cairo_surface_destroy(s);
  } else {
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    {
      render::DeviceContext dc(cairo_create(s), width, height, dpi, render::DeviceKind::Raster);
      cairo_set_source_rgb(dc.Cairo(), 1, 1, 1);
      cairo_paint(dc.Cairo());
      cairo_set_source_rgb(dc.Cairo(), 0, 0, 0);
      draw(dc);
    }
    if (format == "PNG")
      LegacyWritePng(s, whole.TempPath(), dpi);
    else
      render::detail::WriteJpeg(s, whole.TempPath(), dpi, 92);
    cairo_surface_destroy(s);
  }
  whole.Commit();
}

// ---- a run of pages -------------------------------------------------------------

struct Figures {
  int pages = 0;
  double wall = 0;  // seconds
  double cpu = 0;   // seconds, all threads
  long peak_kb = 0;
  uintmax_t bytes = 0;  // of the last page's file
  double PagesPerSecond() const { return wall > 0 ? pages / wall : 0; }
  double Cores() const { return wall > 0 ? cpu / wall : 0; }
};

// Writes pages with page(i, file) into a folder of their own, one file a page as a run
// writes them; figures added to into.
inline void TimePages(int first, int count, const fs::path& folder, const std::string& ext,
                      const std::function<void(int, const fs::path&)>& page, Figures& into) {
  const double cpu0 = CpuSeconds(), t0 = Now();
  fs::path last;
  for (int i = first; i < first + count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "page-%04d.%s", i, ext.c_str());
    last = folder / name;
    page(i, last);
  }
  into.wall += Now() - t0;
  into.cpu += CpuSeconds() - cpu0;
  into.pages += count;
  into.bytes = fs::file_size(last);
}

struct Comparison {
  Figures today, now;
};

// Today's path and the new one on the same pages, in alternating rounds so that the
// load of the machine falls on both alike.
inline Comparison Compare(const fs::path& scratch, const std::string& format, int pages,
                          const std::function<void(int, const fs::path&)>& legacy,
                          const std::function<void(int, const fs::path&)>& current) {
  Comparison c;
  std::string ext = format == "JPG" ? "jpg" : format == "PNG" ? "png" : "pdf";
  const int rounds = 5, per_round = (pages + rounds - 1) / rounds;
  for (const char* who : {"today", "now"}) fs::create_directories(scratch / who);
  // One page of each before timing: fonts, the worker threads, the kept page image.
  legacy(0, scratch / "today" / ("warm." + ext));
  current(0, scratch / "now" / ("warm." + ext));
  long peak_today = 0, peak_now = 0;
  for (int r = 0; r < rounds; ++r) {
    ResetPeak();
    TimePages(1 + r * per_round, per_round, scratch / "today", ext, legacy, c.today);
    peak_today = std::max(peak_today, StatusKb("VmHWM"));
    ResetPeak();
    TimePages(1 + r * per_round, per_round, scratch / "now", ext, current, c.now);
    peak_now = std::max(peak_now, StatusKb("VmHWM"));
  }
  c.today.peak_kb = peak_today;
  c.now.peak_kb = peak_now;
  for (const char* who : {"today", "now"}) fs::remove_all(scratch / who);
  return c;
}

inline void PrintHeader(int cores) {
  std::printf("%d cores usable (taskset narrows it)\n\n", cores);
  std::printf("%-4s %4s | %9s %9s %6s | %7s %7s | %8s %8s | %9s %9s\n", "fmt", "dpi", "today p/s", "new p/s", "ratio",
              "cores t", "cores n", "peak t", "peak n", "file t", "file n");
}

inline void PrintRow(const std::string& format, int dpi, const Comparison& c) {
  std::printf("%-4s %4d | %9.2f %9.2f %5.2fx | %7.2f %7.2f | %6.1fMB %6.1fMB | %7.0fkB %7.0fkB\n", format.c_str(), dpi,
              c.today.PagesPerSecond(), c.now.PagesPerSecond(), c.now.PagesPerSecond() / c.today.PagesPerSecond(),
              c.today.Cores(), c.now.Cores(), c.today.peak_kb / 1024.0, c.now.peak_kb / 1024.0, c.today.bytes / 1024.0,
              c.now.bytes / 1024.0);
  std::fflush(stdout);
}

// A long run on the new path: resident memory after page 10 and after the last.
inline void PrintLongRun(const fs::path& scratch, const std::string& format, int dpi, int pages,
                         const std::function<void(int, const fs::path&)>& current) {
  fs::path folder = scratch / "long";
  fs::create_directories(folder);
  std::string ext = format == "JPG" ? "jpg" : format == "PNG" ? "png" : "pdf";
  ResetPeak();
  Figures f;
  long after10 = 0;
  TimePages(1, 10, folder, ext, current, f);
  after10 = StatusKb("VmRSS");
  TimePages(11, pages - 10, folder, ext, current, f);
  long after_last = StatusKb("VmRSS");
  std::printf("%s %d dpi, %d pages: %.2f pages/s, %.2f cores; resident after page 10 %.1f MB, after page %d %.1f MB; peak %.1f MB\n",
              format.c_str(), dpi, pages, f.PagesPerSecond(), f.Cores(), after10 / 1024.0, pages, after_last / 1024.0,
              StatusKb("VmHWM") / 1024.0);
  std::fflush(stdout);
  fs::remove_all(folder);
}

// Command line: --pages N (compared pages per format, default 30; 0 skips), --long N (pages of
// the memory run, default 1000; 0 skips it), --only FMT/DPI (one row, e.g. PNG/300).
struct Options {
  int pages = 30;
  int long_pages = 1000;
  std::string only;
  bool Wants(const std::string& format, int dpi) const {
    return only.empty() || only == format || only == format + "/" + std::to_string(dpi);
  }
};

inline Options ParseOptions(int argc, char** argv) {
  Options o;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string k = argv[i];
    if (k == "--pages") o.pages = std::stoi(argv[i + 1]);
    else if (k == "--long") o.long_pages = std::stoi(argv[i + 1]);
    else if (k == "--only") o.only = argv[i + 1];
    else throw std::runtime_error("unknown option " + k);
  }
  return o;
}

}  // namespace export_compare
