// The location index wizard's work on a 10,000-tile grid over about 100,000 street
// lines: one spatial search per tile, the index keyed by street name, its lines sorted
// into the wizard's hidden sorted list, and the text file and table written.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

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

}  // namespace

BENCHMARK_MAIN();
