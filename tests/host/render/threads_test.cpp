// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing on several threads at once: the pool's nested calls, pango's objects used one
// thread at a time, and the PNG encoder's shared streams. Faults here are races that
// a plain build rarely shows; scripts/tsan runs these under ThreadSanitizer.

#include <cairo.h>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "host/render/cairo_ptr.h"
#include "host/render/detail/owned_mutex.h"
#include "host/render/detail/parallel.h"
#include "host/render/detail/raster_codecs.h"
#include "host/render/painter.h"
#include "raster_readers.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using namespace host::render;
using host::render::detail::OwnedMutex;
using host::render::detail::ParallelFor;

namespace {

TEST(OwnedMutex, IsHeldByOneThreadAndRefusesToBeTakenAgainByIt) {
  OwnedMutex m("test");
  EXPECT_FALSE(m.HeldHere());
  {
    std::lock_guard lock(m);
    EXPECT_TRUE(m.HeldHere());
    bool other_got_it = true, other_holds = true;
    std::thread([&] {
      other_got_it = m.try_lock();
      other_holds = m.HeldHere();
    }).join();
    EXPECT_FALSE(other_got_it);
    EXPECT_FALSE(other_holds);
  }
  EXPECT_FALSE(m.HeldHere());
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(
      {
        m.lock();
        m.try_lock();
      },
      "the test lock taken again by the thread that holds it");
}

// A call from inside a task runs its tasks on the task's own thread, and never asks for
// the pool again (the pool's lock refuses the thread that holds it: see OwnedMutex).
TEST(ParallelFor, ANestedCallRunsOnTheThreadOfItsTask) {
  std::atomic<int> elsewhere{0}, inner{0};
  for (int round = 0; round < 20; ++round) {
    ParallelFor(6, [&](size_t) {
      const std::thread::id outer = std::this_thread::get_id();
      ParallelFor(5, [&](size_t) {
        ++inner;
        if (std::this_thread::get_id() != outer) ++elsewhere;
        ParallelFor(2, [&](size_t) { ++inner; });
      });
    });
  }
  EXPECT_EQ(inner.load(), 20 * 6 * 5 * 3);
  EXPECT_EQ(elsewhere.load(), 0);
  // The pool serves the next call as before.
  std::vector<std::atomic<int>> runs(64);
  ParallelFor(runs.size(), [&](size_t i) { ++runs[i]; });
  for (auto& r : runs) EXPECT_EQ(r.load(), 1);
}

TextBlock Label(int i) { return {"Street " + std::to_string(i) + (i % 3 ? " North" : ""), {"Liberation Sans", 12.0 + i % 5}}; }

// Layouts read and released on other threads than the one that made them, while more
// are made: each reads its runs once, the same on every thread.
TEST(PangoLock, LayoutsAreReadAndReleasedOnAnyThread) {
  constexpr int kLabels = 40, kThreads = 4;
  std::vector<std::shared_ptr<const TextLayout>> layouts;
  for (int i = 0; i < kLabels; ++i) layouts.push_back(LayOutForVector(Label(i)));
  std::vector<std::vector<size_t>> glyphs(kThreads);
  std::atomic<int> ready{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      ++ready;
      while (ready.load() < kThreads) std::this_thread::yield();
      for (const auto& layout : layouts) {
        size_t n = 0;
        for (const GlyphRun& run : layout->Runs()) n += run.glyphs.size();
        glyphs[size_t(t)].push_back(n);
        LayOutForVector(Label(t));  // made, and released, beside the others
      }
    });
  for (std::thread& t : threads) t.join();
  for (int t = 1; t < kThreads; ++t) EXPECT_EQ(glyphs[size_t(t)], glyphs[0]);
  EXPECT_EQ(glyphs[0][0], std::string("Street 0").size());  // a glyph for each character

  // The last holder of each layout lets go on a thread of its own.
  std::vector<std::thread> releases;
  for (auto& layout : layouts) releases.emplace_back([l = std::move(layout)]() mutable { l.reset(); });
  for (std::thread& t : releases) t.join();
}

std::vector<uint32_t> Pixels(cairo_surface_t* s) {
  cairo_surface_flush(s);
  const auto* data = reinterpret_cast<const uint32_t*>(cairo_image_surface_get_data(s));
  return {data, data + cairo_image_surface_get_width(s) * cairo_image_surface_get_height(s)};
}

// Text laid out for another medium is laid out again by the painter that draws it, and
// that layout released, on the painter's thread: painters on several threads at once
// draw what one draws alone.
TEST(PangoLock, PaintersOnSeveralThreadsDrawAsOneAlone) {
  auto draw = [](std::vector<uint32_t>& out) {
    SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 240, 160));
    CairoPtr cr(cairo_create(image.get()));
    CairoPainter painter(cr.get());
    painter.Paint({1, 1, 1, 1});
    for (int i = 0; i < 12; ++i) {
      TextRun run;
      run.layout = LayOutForVector(Label(i));  // a vector layout: laid out again here
      run.anchor = {10.0 + (i % 3) * 70, 10.0 + (i / 3) * 36};
      run.angle = i * 7;
      if (i % 2) run.halo = Halo{{1, 1, 0.8, 1}, 2};
      painter.Text(run);
    }
    out = Pixels(image.get());
  };
  std::vector<uint32_t> alone;
  draw(alone);
  std::vector<std::vector<uint32_t>> drawn(4);
  std::vector<std::thread> threads;
  for (auto& d : drawn) threads.emplace_back([&] { draw(d); });
  for (std::thread& t : threads) t.join();
  for (const auto& d : drawn) EXPECT_TRUE(d == alone);
}

// PNGs of many widths written at once: the streams of blank rows made for one width
// are pushed out by others while encoders still copy them.
TEST(PngEncoder, PagesOfManyWidthsAtOnceKeepTheirRows) {
  testing_support::TempDir dir;
  constexpr int kWidths = 12, kThreads = 4, kHeight = 300;
  std::atomic<int> wrong{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int k = 0; k < kWidths * 2; ++k) {
        const int width = 200 + ((k + t * 5) % kWidths) * 8;
        SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, kHeight));
        CairoPtr cr(cairo_create(image.get()));
        cairo_set_source_rgb(cr.get(), 1, 1, 1);
        cairo_paint(cr.get());
        cairo_set_source_rgb(cr.get(), 0.2, 0.4, 0.6);
        cairo_rectangle(cr.get(), 0, 100 + t * 10, width, 3);  // a busy band between blank rows
        cairo_fill(cr.get());
        const fs::path file = dir / ("t" + std::to_string(t) + "-" + std::to_string(k) + ".png");
        host::render::detail::WritePng(image.get(), file, 96);
        raster_test::Raster r = raster_test::ReadPng(file);
        if (r.width != width || r.height != kHeight || r.at(0.5, 0.1) != std::array<int, 3>{255, 255, 255} ||
            r.at(0.5, (101.0 + t * 10) / kHeight) != std::array<int, 3>{51, 102, 153} ||
            r.at(0.5, 0.9) != std::array<int, 3>{255, 255, 255})
          ++wrong;
      }
    });
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
