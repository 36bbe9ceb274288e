// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing a grid shapefile: equal rectangular tiles in rows and columns, each with its
// row letter, column number, label and running index.

#include <cstdint>
#include <filesystem>
#include <string>

namespace host::app {
class StepProgressor;
}

namespace mapbooks {

class GridSummaryPage;

// Where the tiles lie: the upper left corner of the first tile, a tile's size, and how
// many rows and columns there are.
struct GridTiles {
  double x = 0, y = 0, width = 0, height = 0;
  int32_t rows = 0, columns = 0;
};

// Writes the tiles as the polygon shapefile name in folder (a native path), the set of
// files whole or not at all. progressor takes a step once the shapefile is made, then
// one per tile, several at once for large grids (at most a quarter percent of them),
// the last with the last tile. shownName names the set in messages.
void WriteGridShapefile(const std::filesystem::path& folder, const std::string& name, const GridTiles& tiles,
                        host::app::StepProgressor& progressor, const std::string& shownName = {});

// Asks for the grid's name, guards against overwriting and long runs, writes every tile
// into the Grids folder, closes the page that asked, refreshes the grid list and says
// how to add the grid to the map. The tile size comes from the page (TileSize) after the
// warnings, before any file is made, and the tile count for the warnings from its count
// boxes.
void BuildGridShapefile(GridSummaryPage& page, double X, double Y, int32_t HorizontalNumber,
                        int32_t VerticalNumber);

}  // namespace mapbooks
