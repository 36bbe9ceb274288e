#pragma once
// Reading the settings record from the config file (or a mapbook, which is a copy of it).

#include <string>

#include "mapbooks/common/SharedState.h"

namespace mapbooks::ConfigFile {

// Reads the 42 items, then the data frames to zoom, from file slot 1. A file that ends
// before the 42nd item fails with Input past end of file; the items read so far keep
// the file's values. No value after the items leaves DataFramesToZoom as it was.
void ReadItems(ConfigRecord& record, const std::string& path);

}  // namespace mapbooks::ConfigFile
