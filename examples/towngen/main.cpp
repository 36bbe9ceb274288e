// SPDX-License-Identifier: GPL-3.0-or-later
// zelvane-towngen: writes the demo town (and, when asked, a tile grid over it).

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>

#include "host/vb/error.h"
#include "towngen/towngen.h"

int main(int argc, char** argv) {
  CLI::App app{"Writes a synthetic town as shapefiles: blocks.shp, streets.shp and poi.shp."};
  std::string out;
  towngen::TownOptions town;
  int grid_columns = 0, grid_rows = 0;
  app.add_option("--out", out, "Folder to write into (made when missing)")->required();
  app.add_option("--seed", town.seed, "Seed; the same seed writes the same files")->capture_default_str();
  app.add_option("--blocks-x", town.blocksX, "Blocks from west to east")->capture_default_str()->check(CLI::Range(1, 100000));
  app.add_option("--blocks-y", town.blocksY, "Blocks from south to north")->capture_default_str()->check(CLI::Range(1, 100000));
  app.add_option("--grid-columns", grid_columns, "Also write grid.shp with this many columns of tiles")
      ->check(CLI::Range(0, 32767));
  app.add_option("--grid-rows", grid_rows, "Rows of tiles of grid.shp")->check(CLI::Range(0, 32767));
  CLI11_PARSE(app, argc, argv);

  if ((grid_columns > 0) != (grid_rows > 0)) {
    std::fprintf(stderr, "zelvane-towngen: --grid-columns and --grid-rows go together\n");
    return 2;
  }
  try {
    towngen::TownSummary s = towngen::WriteTown(out, town);
    std::printf("%d blocks, %d street segments, %d points of interest in %s\n", s.blocks, s.streets, s.pois,
                out.c_str());
    if (grid_columns > 0) {
      towngen::GridSummary g =
          towngen::WriteTileGrid(out, "grid", s.extent, grid_columns, grid_rows, towngen::TownSpatialReference());
      std::printf("grid.shp: %d x %d tiles of %.0f feet\n", g.columns, g.rows, g.tileSize);
    }
  } catch (const host::vb::Error& e) {
    std::fprintf(stderr, "zelvane-towngen: %s\n", e.description().c_str());
    return 1;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "zelvane-towngen: %s\n", e.what());
    return 1;
  }
  return 0;
}
