// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Layer files (.lyr): one layer entry of the map document file, on its own. The schema
// is described in docs/map-document.md; data sources are written relative to the file's
// folder when they lie inside it.

#include <memory>
#include <string>

#include "host/carto/layer.h"

namespace host::carto {

// Fails with one error naming the file and the place, as a document does.
std::shared_ptr<Layer> LoadLayerFile(const std::string& path);
// Writes the whole file or nothing.
void SaveLayerFile(const Layer& layer, const std::string& path);

}  // namespace host::carto
