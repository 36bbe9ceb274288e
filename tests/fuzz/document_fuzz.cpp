// SPDX-License-Identifier: GPL-3.0-or-later
// Map documents and layer files: the input read as both. A file that cannot be read
// fails with the host's one error naming it; nothing else may happen.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "host/carto/carto.h"
#include "host/vb/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::WriteTiles();  // "source": "tiles.shp" finds data
  const std::string path = fuzz_support::WriteInput("input.json", data, size);
  try {
    host::carto::Document::Open(path);
  } catch (const host::vb::Error&) {
  }
  try {
    host::carto::LoadLayerFile(path);
  } catch (const host::vb::Error&) {
  }
  return 0;
}
