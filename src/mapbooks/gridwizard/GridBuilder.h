// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing a grid shapefile: equal rectangular tiles in rows and columns, each with its
// row letter, column number, label and running index.

#include <cstdint>

namespace mapbooks {

class GridSummaryPage;

// Asks for the grid's name, guards against overwriting and long runs, writes every tile
// into the Grids folder, closes the page that asked, refreshes the grid list and says
// how to add the grid to the map. The tile size comes from the page (TileSize) once the
// feature class is made, and the tile count for the warnings from its count boxes.
void BuildGridShapefile(GridSummaryPage& page, double X, double Y, int32_t HorizontalNumber,
                        int32_t VerticalNumber);

}  // namespace mapbooks
