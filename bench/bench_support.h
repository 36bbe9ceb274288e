// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the benchmark programs share: a scratch folder removed at exit, and the big town
// that the spatial benchmarks run on.

#include <stdlib.h>

#include <filesystem>
#include <string>

#include "towngen/towngen.h"

namespace bench_support {

// A folder under the system's temp folder, removed with its contents.
struct Scratch {
  std::filesystem::path dir;
  Scratch() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "zelvane-bench-XXXXXX").string();
    dir = mkdtemp(tmpl.data());
  }
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
};

// A town of 224 x 223 blocks (100,351 street segments) with a 100 x 100 tile grid
// ("grid") over it, written once per program.
inline const std::filesystem::path& BigTown() {
  static Scratch scratch;
  static bool written = [] {
    towngen::TownSummary town = towngen::WriteTown(scratch.dir.string(), {1, 224, 223});
    towngen::WriteTileGrid(scratch.dir.string(), "grid", town.extent, 100, 100, towngen::TownSpatialReference());
    return true;
  }();
  (void)written;
  return scratch.dir;
}

}  // namespace bench_support
