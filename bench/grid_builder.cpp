// SPDX-License-Identifier: GPL-3.0-or-later
// A 100 x 100 grid written as the grid wizard's last step writes it: the set written
// whole beside the old one, the feature class created, a step of the progressor, a tile
// (lettered row, numbered column, label, index, rectangle) stored per cell, the files
// flushed and put in place.
//
//   build/bench/bench_grid_builder

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

#include "bench_support.h"
#include "host/app/progressor.h"
#include "host/geodata/workspace.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/ControlUtilities.h"

namespace geo = host::geodata;

namespace {

void WriteGrid(const std::filesystem::path& folder, int rows, int columns, host::app::StepProgressor& progressor) {
  const std::vector<std::string> files = {".dbf", ".shp", ".shx", ".prj", ".cpg", ".sbn", ".sbx"};
  host::win::WholeFileSet set(folder, "grid", files);
  auto workspace = geo::ShapefileWorkspaceFactory().OpenFromFile(set.TempFolder().string());
  geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Polygon, geo::SpatialReference::Unknown()),
                       geo::Field("MB_Index", geo::FieldType::Integer, 12), geo::Field("MB_Row", geo::FieldType::String, 12),
                       geo::Field("MB_Column", geo::FieldType::String, 12), geo::Field("MB_Label", geo::FieldType::String, 24)};
  auto grid = workspace->CreateFeatureClass("grid", fields);
  const int index_field = grid->FindField("MB_Index"), row_field = grid->FindField("MB_Row");
  const int column_field = grid->FindField("MB_Column"), label_field = grid->FindField("MB_Label");
  const double W = 100, H = 100, X = 0, Y = rows * H;
  for (int r = 1; r <= rows; ++r) {
    for (int c = 1; c <= columns; ++c) {
      progressor.Step();
      double x0 = (c - 1) * W + X, x1 = x0 + W, y0 = Y - (r - 1) * H, y1 = y0 - H;
      geo::Feature tile = grid->CreateFeature();
      geo::Geometry ring = geo::Geometry::MakePolygon(std::vector<geo::Point>{{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}});
      std::string row_text = mapbooks::ControlUtilities::RowLetters(r);
      std::string column_text = std::to_string(c);
      tile.SetValue(row_field, row_text);
      tile.SetValue(column_field, column_text);
      tile.SetValue(label_field, row_text + column_text);
      tile.SetValue(index_field, int64_t(tile.OID() + 1));
      tile.SetShape(ring);
      tile.Store();
    }
  }
  grid->Flush();
  grid.reset();
  workspace.reset();
  geo::ShapefileWorkspace::ClearCache();
  set.Commit();
}

void BM_GridBuilder10k(benchmark::State& state) {
  bench_support::Scratch scratch;
  host::app::StepProgressor progressor;
  progressor.SetMinRange(1);
  progressor.SetMaxRange(10000);
  for (auto _ : state) WriteGrid(scratch.dir, 100, 100, progressor);
}
BENCHMARK(BM_GridBuilder10k)->Unit(benchmark::kMillisecond)->MinTime(2);

}  // namespace

BENCHMARK_MAIN();
