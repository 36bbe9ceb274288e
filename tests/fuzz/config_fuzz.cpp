// SPDX-License-Identifier: GPL-3.0-or-later
// Input # over any file, as the config file and mapbooks are read: counted by the
// command's counter, then read into the settings record. Reading fails only with the
// host's errors.

#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "host/vb/error.h"
#include "host/vb/seqfile.h"
#include "mapbooks/command/ZelvaneMapbooks.h"
#include "mapbooks/common/ConfigFile.h"

namespace vb = host::vb;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string path = fuzz_support::WriteInput("config.txt", data, size);
  mapbooks::fCountFileItems(path);
  mapbooks::ConfigRecord record;
  try {
    mapbooks::ConfigFile::ReadItems(record, path);
  } catch (const vb::Error&) {
  }
  vb::CloseAll();
  return 0;
}
