// SPDX-License-Identifier: GPL-3.0-or-later
// A 100 x 100 grid written by the grid wizard's own last step (WriteGridShapefile): the
// set written whole beside the old one, the feature class created, a step of the
// progressor, a tile (lettered row, numbered column, label, index, rectangle) stored per
// cell, the files flushed and put in place.
//
//   build/bench/bench_grid_builder

#include <benchmark/benchmark.h>

#include "bench_support.h"
#include "host/app/progressor.h"
#include "mapbooks/gridwizard/GridBuilder.h"

namespace {

void BM_GridBuilder10k(benchmark::State& state) {
  bench_support::Scratch scratch;
  host::app::StepProgressor progressor;
  progressor.SetMinRange(1);
  progressor.SetMaxRange(10000);
  const mapbooks::GridTiles tiles{0, 100 * 100, 100, 100, 100, 100};
  for (auto _ : state) mapbooks::WriteGridShapefile(scratch.dir, "grid", tiles, progressor);
}
BENCHMARK(BM_GridBuilder10k)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
