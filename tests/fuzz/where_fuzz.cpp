// SPDX-License-Identifier: GPL-3.0-or-later
// Where clauses: parsed, bound to a table's fields and run over its rows.
// A clause that is not understood fails with the host's error; nothing else may happen.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "fuzz_support.h"
#include "host/geodata/geodata.h"
#include "host/vb/error.h"

namespace gd = host::geodata;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static std::shared_ptr<gd::FeatureClass> tiles = [] {
    fuzz_support::WriteTiles();
    return gd::ShapefileWorkspace::Open(fuzz_support::Folder().string())->OpenFeatureClass("tiles");
  }();
  gd::QueryFilter filter(std::string(reinterpret_cast<const char*>(data), size));
  try {
    tiles->SearchOIDs(&filter);
  } catch (const host::vb::Error&) {
  }
  return 0;
}
