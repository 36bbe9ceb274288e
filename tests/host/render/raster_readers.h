// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The raster files read back by each format's own library, as RGB rows.

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace raster_test {

struct Raster {
  int width = 0, height = 0;
  double dpi = 0;  // 0: the format has no place for it
  std::vector<uint8_t> rgb;
  std::string extra;  // a format's own detail worth checking
  std::array<int, 3> at(double fx, double fy) const {
    int x = static_cast<int>(fx * width), y = static_cast<int>(fy * height);
    size_t i = (static_cast<size_t>(y) * width + x) * 3;
    return {rgb[i], rgb[i + 1], rgb[i + 2]};
  }
};

// Each throws std::runtime_error when its library refuses the file.
Raster ReadPng(const std::filesystem::path& path);
Raster ReadJpeg(const std::filesystem::path& path);
Raster ReadGif(const std::filesystem::path& path);
Raster ReadBmp(const std::filesystem::path& path);
Raster ReadTiff(const std::filesystem::path& path);

}  // namespace raster_test
