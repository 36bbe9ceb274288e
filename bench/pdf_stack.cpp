// SPDX-License-Identifier: GPL-3.0-or-later
// A Letter page drawn in 2, 4 and 8 parts, one cairo PDF each, and the parts put back
// together as one page: milliseconds per stacking, and the stacked file's size beside
// the same page drawn into one PDF.
//
//   build/bench/bench_pdf_stack [--shapes 2400] [--rounds 200]

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "bench_support.h"
#include "host/render/detail/pdf_stack.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr double kWidth = 612, kHeight = 792;

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
  return CAIRO_STATUS_SUCCESS;
}

// Shapes [from, to) of a map-like page: translucent polygons with outlines, and every
// tenth a label.
std::string DrawPdf(int from, int to) {
  std::string bytes;
  cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &bytes, kWidth, kHeight);
  cairo_t* cr = cairo_create(surface);
  cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
  cairo_set_font_size(cr, 7);
  cairo_set_line_width(cr, 0.6);
  for (int i = from; i < to; ++i) {
    std::mt19937 rng(static_cast<unsigned>(i));
    std::uniform_real_distribution<double> x(10, kWidth - 10), y(10, kHeight - 10), r(2, 18), c(0, 1);
    const double cx = x(rng), cy = y(rng), radius = r(rng);
    const int n = 5 + i % 4;
    for (int k = 0; k < n; ++k) {
      const double a = 2 * M_PI * k / n, rr = radius * (0.7 + 0.3 * c(rng));
      cairo_line_to(cr, cx + rr * std::cos(a), cy + rr * std::sin(a));
    }
    cairo_close_path(cr);
    cairo_set_source_rgba(cr, c(rng), c(rng), c(rng), 0.6);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 0.2, 0.2, 0.2);
    cairo_stroke(cr);
    if (i % 10 == 0) {
      cairo_move_to(cr, cx, cy);
      cairo_show_text(cr, ("Block " + std::to_string(i)).c_str());
    }
  }
  cairo_destroy(cr);
  cairo_surface_finish(surface);
  cairo_surface_destroy(surface);
  return bytes;
}

double Ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

}  // namespace

int main(int argc, char** argv) {
  int shapes = 2400, rounds = 200;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (!std::strcmp(argv[i], "--shapes")) shapes = std::atoi(argv[i + 1]);
    if (!std::strcmp(argv[i], "--rounds")) rounds = std::atoi(argv[i + 1]);
  }
  bench_support::Scratch scratch;
  const auto out = scratch.dir / "page.pdf";

  Clock::time_point t0 = Clock::now();
  const std::string single = DrawPdf(0, shapes);
  const double singleMs = Ms(Clock::now() - t0);
  std::printf("cores: %u; %d shapes on a Letter page; one PDF: %zu bytes, drawn in %.1f ms on one thread\n",
              std::thread::hardware_concurrency(), shapes, single.size(), singleMs);
  std::printf("%6s %14s %12s %12s %12s %14s\n", "parts", "part kB", "ms mean", "ms min", "file kB",
              "vs one PDF");
  for (int n : {2, 4, 8}) {
    std::vector<std::string> parts;
    size_t smallest = SIZE_MAX, largest = 0;
    for (int k = 0; k < n; ++k) {
      parts.push_back(DrawPdf(shapes * k / n, shapes * (k + 1) / n));
      smallest = std::min(smallest, parts.back().size());
      largest = std::max(largest, parts.back().size());
    }
    host::render::detail::StackPdfPages(parts, out);  // warm
    double best = 1e9, total = 0;
    for (int r = 0; r < rounds; ++r) {
      Clock::time_point s = Clock::now();
      host::render::detail::StackPdfPages(parts, out);
      const double ms = Ms(Clock::now() - s);
      best = std::min(best, ms);
      total += ms;
    }
    const auto size = std::filesystem::file_size(out);
    char range[64];
    std::snprintf(range, sizeof range, "%zu-%zu", smallest / 1024, largest / 1024);
    std::printf("%6d %14s %12.2f %12.2f %12.1f %+13.1f%%\n", n, range, total / rounds, best, size / 1024.0,
                100.0 * (static_cast<double>(size) / single.size() - 1));
  }
  return 0;
}
