// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the fuzz targets share: one private folder for the process (also the host's
// data folder, so nothing outside it is touched), a small shapefile in it, and the
// input written to a file for the readers that take a path.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace fuzz_support {

// The process's folder, made on first use and removed at exit.
const std::filesystem::path& Folder();

// tiles.shp in Folder(): nine polygons with NAME (text), ZONE (integer), AREA (double)
// and BUILT (date), and a row of nulls. Made once.
void WriteTiles();

// Writes the input to Folder()/name and gives the path.
std::string WriteInput(const std::string& name, const uint8_t* data, size_t size);

}  // namespace fuzz_support
