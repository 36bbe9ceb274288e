// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A synthetic town for tests, benchmarks and the demo map book, written as shapefiles
// through the host's own shapefile workspace.
//
// The town is a grid of blocks with streets along the block edges, in NAD83 /
// California zone 3 (EPSG:2227, US survey feet). Everything follows from the seed:
// the same seed and sizes write the same bytes.
//
//   blocks.shp   polygons: BLOCK_ID (integer), LANDUSE (text), AREA (double, sq ft)
//   streets.shp  polylines, one per block edge: NAME (text; several segments share a
//                name; "O'Brien Ave" has an apostrophe, and the east half of "Main St"
//                is spelled "MAIN ST"), CLASS (text), SEG_ID (integer)
//   poi.shp      points: NAME (text, some with apostrophes), KIND (text), OPENED (date,
//                Null for every fifth point)

#include <cstdint>
#include <string>
#include <string_view>

#include "host/geodata/geometry.h"

namespace towngen {

struct TownOptions {
  uint64_t seed = 1;
  int blocksX = 12;  // blocks from west to east
  int blocksY = 10;  // blocks from south to north
};

struct TownSummary {
  int blocks = 0;
  int streets = 0;
  int pois = 0;
  host::geodata::Envelope extent;  // of the street network
};

// Writes the town into folder (a Windows or native path; made when missing), replacing
// earlier files of the same names. Fails with a host::vb::Error for sizes below 1.
TownSummary WriteTown(std::string_view folder, const TownOptions& options = {});

// The number of street segments a town of these sizes has.
int StreetCount(int blocksX, int blocksY);

struct GridSummary {
  int columns = 0;
  int rows = 0;
  double tileSize = 0;
  host::geodata::Envelope extent;  // of the whole grid
};

// Writes name.shp: columns x rows square tiles centred on extent and covering it, the
// way a map book's grid is laid out. Tiles run row by row from the upper left; fields
// MB_Index (integer, 12: the object ID + 1), MB_Row (text, 12: "A" to "Z", then "AA"...),
// MB_Column (text, 12: "1", "2", ...), MB_Label (text, 24: row and column, "C12").
// An earlier grid of that name is replaced.
GridSummary WriteTileGrid(std::string_view folder, std::string_view name, const host::geodata::Envelope& extent,
                          int columns, int rows,
                          const host::geodata::SpatialReference& sr = host::geodata::SpatialReference());

// "A" for 1 ... "Z" for 26, "AA" for 27, as spreadsheet columns count.
std::string RowLetters(int row);

// The town's coordinate system (EPSG:2227).
host::geodata::SpatialReference TownSpatialReference();

}  // namespace towngen
