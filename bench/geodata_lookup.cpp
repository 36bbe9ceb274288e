// SPDX-License-Identifier: GPL-3.0-or-later
// Finding a page by value in a 100,000-tile grid through the search API, the way the
// map book looks a page up: a where clause "MB_Label = 'X'", then the first feature.
// Also: reading the shapefile, a lookup that cannot use the index (for comparison),
// and writing a 10,000-tile grid.

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

constexpr int kColumns = 400, kRows = 250;  // 100,000 tiles

const fs::path& BigGrid() {
  static bench_support::Scratch scratch;
  static bool written = [] {
    towngen::WriteTileGrid(scratch.dir.string(), "big", gd::Envelope(0, 0, 400000, 250000), kColumns, kRows);
    return true;
  }();
  (void)written;
  return scratch.dir;
}

std::shared_ptr<gd::FeatureClass> OpenFresh() {
  gd::ShapefileWorkspace::ClearCache();
  return gd::ShapefileWorkspace::Open(BigGrid().string())->OpenFeatureClass("big");
}

// The labels looked up, spread over the grid.
std::string Label(int64_t i) {
  int64_t n = (i * 7919) % (kColumns * kRows);
  return towngen::RowLetters(int(n / kColumns) + 1) + std::to_string(n % kColumns + 1);
}

void FindPage(gd::FeatureClass& fc, const std::string& label, benchmark::State& state) {
  auto cursor = fc.Search(gd::QueryFilter("MB_Label = '" + label + "'"));
  auto f = cursor.NextFeature();
  if (!f) state.SkipWithError(("no tile " + label).c_str());
  benchmark::DoNotOptimize(f);
}

void BM_OpenShapefile100k(benchmark::State& state) {
  BigGrid();
  for (auto _ : state) {
    auto fc = OpenFresh();
    benchmark::DoNotOptimize(fc->FeatureCount());
  }
}
BENCHMARK(BM_OpenShapefile100k)->Unit(benchmark::kMillisecond)->Iterations(5);

// The first lookup after opening builds the value index of MB_Label.
void BM_FirstLookupBuildsIndex(benchmark::State& state) {
  BigGrid();
  int64_t i = 0;
  for (auto _ : state) {
    state.PauseTiming();
    auto fc = OpenFresh();
    state.ResumeTiming();
    FindPage(*fc, Label(i++), state);
  }
}
BENCHMARK(BM_FirstLookupBuildsIndex)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_RepeatedLookup(benchmark::State& state) {
  auto fc = OpenFresh();
  FindPage(*fc, Label(0), state);  // the index is built here
  int64_t i = 1;
  for (auto _ : state) FindPage(*fc, Label(i++), state);
}
BENCHMARK(BM_RepeatedLookup)->Unit(benchmark::kMicrosecond);

void BM_RepeatedLookupByObjectId(benchmark::State& state) {
  auto fc = OpenFresh();
  int64_t i = 0;
  for (auto _ : state) {
    auto f = fc->GetFeature((i++ * 7919) % (kColumns * kRows));
    benchmark::DoNotOptimize(f);
  }
}
BENCHMARK(BM_RepeatedLookupByObjectId)->Unit(benchmark::kMicrosecond);

// The object IDs of a search handed on as a list: "FID in (...)" with 1,000 IDs.
void BM_ObjectIdList1000(benchmark::State& state) {
  auto fc = OpenFresh();
  std::string clause = "FID in (";
  for (int i = 0; i < 1000; ++i) clause += (i ? "," : "") + std::to_string(i * 97);
  clause += ")";
  for (auto _ : state) {
    auto cursor = fc->Search(gd::QueryFilter(clause));
    int n = 0;
    while (cursor.NextFeature()) ++n;
    if (n != 1000) state.SkipWithError("wrong count");
  }
}
BENCHMARK(BM_ObjectIdList1000)->Unit(benchmark::kMicrosecond);

// For comparison: LIKE is answered by reading every row.
void BM_LookupByScan(benchmark::State& state) {
  auto fc = OpenFresh();
  int64_t i = 0;
  for (auto _ : state) {
    auto cursor = fc->Search(gd::QueryFilter("MB_Label LIKE '" + Label(i++) + "'"));
    benchmark::DoNotOptimize(cursor.NextFeature());
  }
}
BENCHMARK(BM_LookupByScan)->Unit(benchmark::kMillisecond);

// Writing a 10,000-tile grid, one feature stored at a time.
void BM_WriteGrid10k(benchmark::State& state) {
  bench_support::Scratch scratch;
  for (auto _ : state) {
    towngen::WriteTileGrid(scratch.dir.string(), "grid", gd::Envelope(0, 0, 100000, 100000), 100, 100);
  }
}
BENCHMARK(BM_WriteGrid10k)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
