// SPDX-License-Identifier: GPL-3.0-or-later
// A location index's spatial work: for each of 10,000 grid tiles, the street lines
// (about 100,000) that intersect it, through spatial filters.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/geodata/geodata.h"
#include "bench_support.h"
#include "towngen/towngen.h"

namespace {

namespace gd = host::geodata;
namespace fs = std::filesystem;

int64_t IndexAllTiles(gd::FeatureClass& grid, gd::FeatureClass& streets) {
  int64_t hits = 0;
  gd::SpatialFilter filter;
  filter.SetGeometryField(streets.ShapeFieldName());
  for (auto tiles = grid.Search(); auto tile = tiles.NextFeature();) {
    filter.SetGeometry(tile->Shape());
    for (auto found = streets.Search(filter); auto street = found.NextFeature();) {
      benchmark::DoNotOptimize(street->Value(2));
      ++hits;
    }
  }
  return hits;
}

// Opened fresh each time: includes building the spatial index of the streets.
void BM_TilesAgainstStreets_First(benchmark::State& state) {
  bench_support::BigTown();
  int64_t hits = 0;
  for (auto _ : state) {
    state.PauseTiming();
    gd::ShapefileWorkspace::ClearCache();
    auto ws = gd::ShapefileWorkspace::Open(bench_support::BigTown().string());
    auto grid = ws->OpenFeatureClass("grid");
    auto streets = ws->OpenFeatureClass("streets");
    state.ResumeTiming();
    hits = IndexAllTiles(*grid, *streets);
  }
  state.counters["tiles"] = 10000;
  state.counters["street_hits"] = double(hits);
}
BENCHMARK(BM_TilesAgainstStreets_First)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_TilesAgainstStreets_Repeated(benchmark::State& state) {
  auto ws = gd::ShapefileWorkspace::Open(bench_support::BigTown().string());
  auto grid = ws->OpenFeatureClass("grid");
  auto streets = ws->OpenFeatureClass("streets");
  IndexAllTiles(*grid, *streets);
  int64_t hits = 0;
  for (auto _ : state) hits = IndexAllTiles(*grid, *streets);
  state.counters["street_hits"] = double(hits);
}
BENCHMARK(BM_TilesAgainstStreets_Repeated)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_OpenStreets100k(benchmark::State& state) {
  bench_support::BigTown();
  for (auto _ : state) {
    gd::ShapefileWorkspace::ClearCache();
    auto streets = gd::ShapefileWorkspace::Open(bench_support::BigTown().string())->OpenFeatureClass("streets");
    benchmark::DoNotOptimize(streets->FeatureCount());
  }
}
BENCHMARK(BM_OpenStreets100k)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_WriteTown100k(benchmark::State& state) {
  bench_support::Scratch scratch;
  for (auto _ : state) towngen::WriteTown(scratch.dir.string(), {1, 224, 223});
}
BENCHMARK(BM_WriteTown100k)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
