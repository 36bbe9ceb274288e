// SPDX-License-Identifier: GPL-3.0-or-later
// The demo town's Letter layout written page after page as an export run writes it
// (the main map moved to the next tile, the page's file written whole): pages per second
// in PNG, JPG and PDF at 150 and 300 dpi, today's path beside the new one as a ratio,
// the cores used, peak memory, and resident memory after page 10 and page 1,000.
//
//   build/bench/bench_export_demo [--pages 30] [--long 1000] [--only PNG/150]

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench_support.h"
#include "export_compare.h"
#include "host/carto/document.h"
#include "host/carto/map.h"
#include "host/geodata/workspace.h"
#include "host/render/detail/parallel.h"
#include "host/render/export.h"
#include "host/render/painter.h"
#include "host/render/view_drawing.h"
#include "towngen/towngen.h"

namespace fs = std::filesystem;
namespace carto = host::carto;
namespace render = host::render;
using namespace export_compare;

namespace {

struct Demo {
  bench_support::Scratch scratch;
  fs::path dir = scratch.dir;
  std::unique_ptr<carto::Document> doc;
  host::geodata::Envelope start;
  Demo() {
    auto town = towngen::WriteTown((dir / "data").string(), {});
    towngen::WriteTileGrid((dir / "data").string(), "grid", town.extent, 4, 3, towngen::TownSpatialReference());
    fs::copy_file(fs::path(ZELVANE_SOURCE_DIR) / "examples" / "demo" / "town.json", dir / "town.json");
    doc = carto::Document::Open((dir / "town.json").string());
    doc->SetActiveView(doc->PageLayout());
    start = doc->Map(0)->Extent();
  }
  ~Demo() {
    doc.reset();
    host::geodata::ShapefileWorkspace::ClearCache();
  }
  // The go-to-page step: the main map over the page's tile.
  void GoTo(int page) {
    host::geodata::Envelope e = start;
    e.Offset((page % 4) * start.Width() * 0.5, -((page / 4) % 3) * start.Height() * 0.5);
    doc->Map(0)->SetExtent(e);
  }
  void Export(const std::string& format, int dpi, int page, const fs::path& file) {
    GoTo(page);
    auto exporter = render::CreateExport(*render::ExportClassOfFormat(format));
    exporter->SetExportFileName(file.string());
    render::ExportView(doc->ActiveView(), *exporter, int16_t(dpi));
  }
  void ExportAsToday(const std::string& format, int dpi, int page, const fs::path& file) {
    GoTo(page);
    carto::ActiveView& view = doc->ActiveView();
    const int w = int(std::nearbyint(dpi / 96.0 * view.ExportFrame().right));
    const int h = int(std::nearbyint(dpi / 96.0 * view.ExportFrame().bottom));
    LegacyPage(format, file, dpi, w, h, [&](render::DeviceContext& dc) {
      render::DrawView(view, dc.GetPainter(), carto::PixelRect{0, 0, w, h}, dpi);
    });
  }
};

}  // namespace

int main(int argc, char** argv) {
  Options options = ParseOptions(argc, argv);
  Demo demo;
  std::printf("bench_export_demo: the demo layout, %d pages per row and path\n", options.pages);
  PrintHeader(render::detail::UsableCores());
  for (const char* format : {"PNG", "JPG", "PDF"}) {
    for (int dpi : {150, 300}) {
      if (options.pages <= 0 || !options.Wants(format, dpi)) continue;
      Comparison c = Compare(
          demo.dir / "out", format, options.pages,
          [&](int page, const fs::path& file) { demo.ExportAsToday(format, dpi, page, file); },
          [&](int page, const fs::path& file) { demo.Export(format, dpi, page, file); });
      PrintRow(format, dpi, c);
    }
  }
  if (options.long_pages > 10) {
    std::printf("\n");
    for (const char* format : {"PNG", "PDF"})
      if (options.Wants(format, 150))
        PrintLongRun(demo.dir, format, 150, options.long_pages,
                     [&](int page, const fs::path& file) { demo.Export(format, 150, page, file); });
  }
  return 0;
}
