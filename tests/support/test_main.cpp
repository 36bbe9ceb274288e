// SPDX-License-Identifier: GPL-3.0-or-later
// Every test program runs with its drives in a temp folder of its own, so that
// nothing of the machine's own drive C is read or written, and leaves nothing behind.

#include <gtest/gtest.h>

#include <cstdlib>

#include "host/win/drives.h"
#include "support/temp_dir.h"

namespace testing_support {

namespace {
TempDir* g_root = nullptr;
}

const std::filesystem::path& DrivesRoot() { return g_root->path(); }

}  // namespace testing_support

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing_support::TempDir root("zelvane-drives");
  testing_support::g_root = &root;
  std::filesystem::create_directories(root / "c");
  std::filesystem::create_directories(root / "d");
  std::string drives = "C=" + (root / "c").string() + ";D=" + (root / "d").string();
  setenv("ZELVANE_DRIVES", drives.c_str(), 1);
  setenv("XDG_DATA_HOME", (root / "data").c_str(), 1);
  setenv("ZELVANE_HEADLESS", "1", 1);
  host::win::DriveMap::instance().reset_from_environment();
  int rc = RUN_ALL_TESTS();
  testing_support::g_root = nullptr;
  return rc;
}
