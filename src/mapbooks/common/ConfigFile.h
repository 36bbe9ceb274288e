// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The config file (and a mapbook, which is a copy of it): reading the settings record,
// counting its values, and writing it whole.

#include <cstdint>
#include <string>
#include <vector>

#include "mapbooks/common/SharedState.h"

namespace mapbooks::ConfigFile {

// Reads the 42 items, then the data frames to zoom, from file slot 1. A file that ends
// before the 42nd item fails with Input past end of file; the items read so far keep
// the file's values. No value after the items leaves DataFramesToZoom as it was.
void ReadItems(ConfigRecord& record, const std::string& path);

// The number of values a sequential read finds before the end of the file; -1 when
// the file cannot be opened or read (file slot 1 is then closed).
int32_t CountItems(const std::string& path);

// Puts values, one quoted value per line, in place of the file at path, whole or not at
// all: the old file stays until the new one is complete. append keeps the old content
// in front. A read-only file is refused (70) and stays; an empty path is refused (76)
// rather than written in the current folder.
void Write(const std::string& path, const std::vector<std::string>& values, bool append = false);

// A read-only config is the user's lock on their settings: when path is read-only, the
// delete that would replace it refuses it with its report, and True comes back.
bool RefusedAsLocked(const std::string& path);

// "NONE" or "NULL" in any letter case: an item that holds no value. The window shows
// such a number as "0", and a run takes it as 0.
bool IsNoValue(const std::string& item);

}  // namespace mapbooks::ConfigFile
