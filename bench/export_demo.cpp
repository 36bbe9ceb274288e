// The demo town's Letter layout written as files: seconds per page and peak memory at
// 150 and 300 dpi in PNG, JPG and PDF, and 200 pages in a row with the memory they hold.

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/render/export.h"
#include "host/render/view_drawing.h"
#include "bench_support.h"
#include "towngen/towngen.h"

namespace fs = std::filesystem;
namespace carto = host::carto;
namespace render = host::render;

namespace {

// kB of memory the process holds now (VmRSS) and at its peak (VmHWM).
long status_kb(const std::string& key) {
  std::ifstream in("/proc/self/status");
  std::string line;
  while (std::getline(in, line))
    if (line.rfind(key + ":", 0) == 0) return std::stol(line.substr(key.size() + 1));
  return 0;
}

struct Demo {
  bench_support::Scratch scratch;
  fs::path dir = scratch.dir;
  std::unique_ptr<carto::Document> doc;
  Demo() {
    fs::create_directories(dir / "out");
    auto town = towngen::WriteTown((dir / "data").string(), {});
    towngen::WriteTileGrid((dir / "data").string(), "grid", town.extent, 4, 3, towngen::TownSpatialReference());
    fs::copy_file(fs::path(ZELVANE_SOURCE_DIR) / "examples" / "demo" / "town.json", dir / "town.json");
    doc = carto::Document::Open((dir / "town.json").string());
    doc->SetActiveView(doc->PageLayout());
  }
  ~Demo() {
    doc.reset();
    host::geodata::ShapefileWorkspace::ClearCache();
  }
  void Export(const char* format, int dpi, const std::string& name) {
    auto exporter = render::CreateExport(*render::ExportClassOfFormat(format));
    std::string filter = exporter->Filter();
    exporter->SetExportFileName((dir / "out" / (name + "." + filter.substr(filter.find_last_of('.') + 1))).string());
    render::ExportView(doc->ActiveView(), *exporter, int16_t(dpi));
  }
};

Demo& demo() {
  static Demo d;
  return d;
}

void BM_ExportDemoPage(benchmark::State& state, const char* format) {
  int dpi = int(state.range(0));
  for (auto _ : state) demo().Export(format, dpi, "page");
  state.counters["peak_MB"] = double(status_kb("VmHWM")) / 1024.0;
}

// 200 pages: the main map moved from tile to tile, each page written as a PNG.
void BM_TwoHundredPages(benchmark::State& state) {
  carto::Map& main = *demo().doc->Map(0);
  host::geodata::Envelope start = main.Extent();
  long rss_after_10 = 0;
  for (auto _ : state) {
    for (int page = 0; page < 200; ++page) {
      host::geodata::Envelope e = start;
      e.Offset((page % 4) * start.Width() * 0.5, -((page / 4) % 3) * start.Height() * 0.5);
      main.SetExtent(e);
      demo().Export("PNG", 150, "run");
      if (page == 9) rss_after_10 = status_kb("VmRSS");
    }
  }
  state.counters["rss_after_10_pages_MB"] = double(rss_after_10) / 1024.0;
  state.counters["rss_after_200_pages_MB"] = double(status_kb("VmRSS")) / 1024.0;
}

}  // namespace

BENCHMARK_CAPTURE(BM_ExportDemoPage, PNG, "PNG")->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportDemoPage, JPG, "JPG")->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportDemoPage, PDF, "PDF")->Arg(150)->Arg(300)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TwoHundredPages)->Iterations(1)->Unit(benchmark::kSecond);

BENCHMARK_MAIN();
