// SPDX-License-Identifier: GPL-3.0-or-later
// The location index wizard's work on a 10,000-tile grid over about 100,000 street
// lines: one spatial search per tile, the index keyed by street name, its lines sorted
// into the wizard's hidden sorted list, and the text file and table written.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unordered_set>

#include "host/app/progressor.h"
#include "host/carto/layer.h"
#include "host/geodata/geodata.h"
#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "host/vb/seqfile.h"
#include "host/vb/text.h"
#include "bench_support.h"
#include "towngen/towngen.h"
#include "mapbooks/layout/LocationIndex.h"

namespace {

namespace gd = host::geodata;
namespace fs = std::filesystem;

struct Layers {
  std::shared_ptr<host::carto::FeatureLayer> grid;
  std::shared_ptr<gd::FeatureClass> streets;
};

Layers Open() {
  auto ws = gd::ShapefileWorkspace::Open(bench_support::BigTown().string());
  return {std::make_shared<host::carto::FeatureLayer>(ws->OpenFeatureClass("grid")), ws->OpenFeatureClass("streets")};
}

// What one press of "Next" does with the text-file and table outputs.
void Wizard(const Layers& l, host::ui::ListBox& lstOut, benchmark::State& state) {
  host::app::StepProgressor p;
  p.SetMinRange(1);
  p.SetMaxRange(long(l.grid->FeatureClass()->FeatureCount()));
  p.SetPosition(1);
  p.Step();
  p.Show();
  lstOut.Clear();
  mapbooks::LocationIndex index = mapbooks::BuildLocationIndex(*l.grid, "MB_Label", *l.streets, "NAME", [&] { p.Step(); });
  for (const std::string& line : mapbooks::SortedAsList(index.IndexLines())) lstOut.AddItem(line);
  const std::string text = (bench_support::BigTown() / "LocationText.txt").string(), table = (bench_support::BigTown() / "LocationTable.txt").string();
  host::vb::Open(text, host::vb::OpenMode::Output, 1);
  for (const std::string& line : lstOut.Items()) host::vb::PrintLine(1, line);
  host::vb::Close(1);
  host::vb::Open(table, host::vb::OpenMode::Output, 1);
  for (const std::string& line : index.TableLines()) host::vb::PrintLine(1, line);
  host::vb::Close(1);
  p.Hide();
  state.counters["keys"] = double(index.Count());
  state.counters["tiles_walked"] = double(p.Position());
}

// Freshly opened data each time: reading the files and building the spatial index count.
void BM_LocationIndexWizard_First(benchmark::State& state) {
  bench_support::BigTown();
  host::ui::Form form("frmIndex");
  host::ui::ListBox lstOut(form, "lstOut", nullptr);
  lstOut.SetSorted(true);
  for (auto _ : state) {
    state.PauseTiming();
    gd::ShapefileWorkspace::ClearCache();
    Layers l = Open();
    state.ResumeTiming();
    Wizard(l, lstOut, state);
  }
}
BENCHMARK(BM_LocationIndexWizard_First)->Unit(benchmark::kMillisecond)->Iterations(3);

// A second press on data already open, as when the user changes the output and presses again.
void BM_LocationIndexWizard_Again(benchmark::State& state) {
  host::ui::Form form("frmIndex");
  host::ui::ListBox lstOut(form, "lstOut", nullptr);
  lstOut.SetSorted(true);
  Layers l = Open();
  Wizard(l, lstOut, state);
  for (auto _ : state) Wizard(l, lstOut, state);
}
BENCHMARK(BM_LocationIndexWizard_Again)->Unit(benchmark::kMillisecond)->Iterations(3);

// For comparison: the same walk with each repeat looked for by reading the key's item
// entry by entry, as a plain text item would need.
void BM_ItemScanForRepeats(benchmark::State& state) {
  Layers l = Open();
  for (auto _ : state) {
    std::unordered_map<std::string, std::string> items;
    int64_t hits = 0;
    gd::SpatialFilter filter;
    filter.SetGeometryField(l.streets->ShapeFieldName());
    const int name = l.streets->FindField("NAME"), label = l.grid->FeatureClass()->FindField("MB_Label");
    for (auto tiles = l.grid->Search(); auto tile = tiles.NextFeature();) {
      filter.SetGeometry(tile->Shape());
      const std::string entry = " " + host::vb::CStr(tile->Value(label));
      for (auto found = l.streets->Search(filter); auto street = found.NextFeature();) {
        std::string& item = items[host::vb::CStr(street->Value(name))];
        bool listed = false;
        for (const std::string& e : host::vb::Split(item, ","))
          if (host::vb::SameText(e, entry)) listed = true;
        if (!listed) item += (item.empty() ? "" : ",") + entry;
        ++hits;
      }
    }
    state.counters["street_hits"] = double(hits);
  }
}
BENCHMARK(BM_ItemScanForRepeats)->Unit(benchmark::kMillisecond)->Iterations(3);

// ---- 100 counties against the 10,000 tiles ----------------------------------------

// 10 x 10 county-like polygons over the grid: their corners jittered, each border a
// wavy line of 60 segments shared by the two counties on either side, so that they
// cover the grid without gaps; written once as "counties" with a NAME per county.
std::shared_ptr<gd::FeatureClass> Counties() {
  static std::shared_ptr<gd::FeatureClass> counties = [] {
    auto ws = gd::ShapefileWorkspace::Open(bench_support::BigTown().string());
    gd::Envelope e = ws->OpenFeatureClass("grid")->Extent();
    const int n = 10, seg = 60;
    auto corner = [&](int i, int j) {
      double jx = (i == 0 || i == n) ? 0 : std::sin(i * 12.9898 + j * 78.233) * 0.15;
      double jy = (j == 0 || j == n) ? 0 : std::cos(i * 39.346 + j * 11.135) * 0.15;
      return gd::Point{e.XMin() + (i + jx) * e.Width() / n, e.YMin() + (j + jy) * e.Height() / n};
    };
    // The border from corner a to corner b, wavy unless it lies on the grid's edge.
    auto border = [&](gd::Point a, gd::Point b, bool edge, double phase) {
      std::vector<gd::Point> pts;
      double dx = b.X - a.X, dy = b.Y - a.Y, len = std::hypot(dx, dy);
      for (int k = 0; k < seg; ++k) {
        double t = double(k) / seg, w = edge ? 0 : std::sin(t * M_PI * 6 + phase) * 0.04 * len * std::sin(t * M_PI);
        pts.push_back({a.X + dx * t - dy / len * w, a.Y + dy * t + dx / len * w});
      }
      return pts;
    };
    auto reversed = [](std::vector<gd::Point> p, gd::Point end) {
      std::vector<gd::Point> r{end};
      for (size_t k = p.size() - 1; k >= 1; --k) r.push_back(p[k]);
      return r;
    };
    gd::FieldSet fields{gd::Field::Shape("Shape", gd::GeometryType::Polygon, gd::SpatialReference::Unknown()),
                        gd::Field("NAME", gd::FieldType::String, 20)};
    auto fc = ws->CreateFeatureClass("counties", fields);
    const int name = fc->FindField("NAME");
    for (int j = 0; j < n; ++j) {
      for (int i = 0; i < n; ++i) {
        gd::Point sw = corner(i, j), se = corner(i + 1, j), ne = corner(i + 1, j + 1), nw = corner(i, j + 1);
        std::vector<gd::Point> ring = border(sw, se, j == 0, j * 1.7 + i);
        for (const auto& p : border(se, ne, i + 1 == n, (i + 1) * 2.3 + j)) ring.push_back(p);
        for (const auto& p : reversed(border(nw, ne, j + 1 == n, (j + 1) * 1.7 + i), ne)) ring.push_back(p);
        for (const auto& p : reversed(border(sw, nw, i == 0, i * 2.3 + j), nw)) ring.push_back(p);
        gd::Feature f = fc->CreateFeature();
        f.SetValue(name, "County " + std::to_string(j * n + i + 1));
        f.SetShape(gd::Geometry::MakePolygon(ring));
        f.Store();
      }
    }
    fc->Flush();
    return fc;
  }();
  return counties;
}

// Today's walk, kept here to measure against: one "intersects" search of the counties
// per tile, each county's shape converted for GEOS at every test.
mapbooks::LocationIndex TodaysIndex(const host::carto::FeatureLayer& grid, gd::FeatureClass& search) {
  mapbooks::LocationIndex index;
  gd::SpatialFilter filter;
  filter.SetSpatialRel(gd::SpatialRelation::Intersects);
  filter.SetGeometryField(search.ShapeFieldName());
  const int name = search.FindField("NAME"), label = grid.FeatureClass()->FindField("MB_Label");
  for (auto tiles = grid.Search(); auto tile = tiles.NextFeature();) {
    filter.SetGeometry(tile->Shape());
    for (auto found = search.Search(filter); auto f = found.NextFeature();)
      index.Add(host::vb::CStr(f->Value(name)), " " + host::vb::CStr(tile->Value(label)));
  }
  return index;
}

long Pairs(const mapbooks::LocationIndex& index) {
  long pairs = 0;
  for (const std::string& line : index.TableLines())
    for (char c : line) pairs += c == '\t';
  return pairs;
}

void BM_CountiesToday(benchmark::State& state) {
  auto counties = Counties();
  Layers l = Open();
  long pairs = 0;
  for (auto _ : state) pairs = Pairs(TodaysIndex(*l.grid, *counties));
  state.counters["pairs"] = double(pairs);
}
BENCHMARK(BM_CountiesToday)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_CountiesNow(benchmark::State& state) {
  auto counties = Counties();
  Layers l = Open();
  long pairs = 0;
  std::string same;
  for (auto _ : state) {
    mapbooks::LocationIndex index = mapbooks::BuildLocationIndex(*l.grid, "MB_Label", *counties, "NAME");
    pairs = Pairs(index);
    state.PauseTiming();
    same = index.TableLines() == TodaysIndex(*l.grid, *counties).TableLines() ? "same index as today" : "DIFFERENT INDEX";
    state.ResumeTiming();
  }
  state.counters["pairs"] = double(pairs);
  state.SetLabel(same);
}
BENCHMARK(BM_CountiesNow)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
