// SPDX-License-Identifier: GPL-3.0-or-later
// Drawing pages of a map in WGS84 degrees over 100,000 street lines in State Plane
// feet: per page, the layer's search with the page's envelope, every street found read.
// The same pages of a map in feet are the yardstick.

#include <benchmark/benchmark.h>

#include <memory>
#include <vector>

#include "bench_support.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/geodata/geodata.h"

namespace {

namespace gd = host::geodata;

struct Pages {
  std::shared_ptr<gd::FeatureClass> streets;
  std::vector<gd::Envelope> feet;     // 100 tiles along the grid's diagonal
  std::vector<gd::Envelope> degrees;  // the same, transformed
};

const Pages& Town() {
  static const Pages pages = [] {
    Pages p;
    auto ws = gd::ShapefileWorkspace::Open(bench_support::BigTown().string());
    p.streets = ws->OpenFeatureClass("streets");
    auto grid = ws->OpenFeatureClass("grid");
    auto t = gd::Transformation::Between(p.streets->SpatialRef(), gd::SpatialReference::FromEPSG(4326));
    for (int64_t i = 0; i < 100; ++i) {
      gd::Envelope e = grid->GetFeature(i * 101)->Extent();
      p.feet.push_back(e);
      p.degrees.push_back(t->Bounds(e));
    }
    return p;
  }();
  return pages;
}

int64_t DrawPages(const host::carto::FeatureLayer& layer, const std::vector<gd::Envelope>& pages) {
  int64_t n = 0;
  for (const gd::Envelope& e : pages) {
    gd::SpatialFilter within(gd::Geometry::FromEnvelope(e), gd::SpatialRelation::EnvelopeIntersects);
    for (auto c = layer.Search(&within); auto f = c.NextFeature();) n += f->Shape().PointCount();
  }
  return n;
}

std::shared_ptr<host::carto::FeatureLayer> LayerIn(const gd::SpatialReference& sr) {
  auto layer = std::make_shared<host::carto::FeatureLayer>(Town().streets);
  layer->SetMapSpatialReference(sr);
  return layer;
}

// A fresh layer each time: the transformation made and every shape found transformed.
void BM_DegreePages_First(benchmark::State& state) {
  const auto wgs84 = gd::SpatialReference::FromEPSG(4326);
  for (auto _ : state) benchmark::DoNotOptimize(DrawPages(*LayerIn(wgs84), Town().degrees));
}
BENCHMARK(BM_DegreePages_First)->Unit(benchmark::kMillisecond);

// The same pages again: shapes come from the layer's cache.
void BM_DegreePages_Repeated(benchmark::State& state) {
  auto layer = LayerIn(gd::SpatialReference::FromEPSG(4326));
  DrawPages(*layer, Town().degrees);
  for (auto _ : state) benchmark::DoNotOptimize(DrawPages(*layer, Town().degrees));
}
BENCHMARK(BM_DegreePages_Repeated)->Unit(benchmark::kMillisecond);

// The pages of a map in the streets' own system.
void BM_FeetPages(benchmark::State& state) {
  auto layer = LayerIn(Town().streets->SpatialRef());
  DrawPages(*layer, Town().feet);
  for (auto _ : state) benchmark::DoNotOptimize(DrawPages(*layer, Town().feet));
}
BENCHMARK(BM_FeetPages)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
