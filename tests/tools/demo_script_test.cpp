// SPDX-License-Identifier: GPL-3.0-or-later
// scripts/demo writes into the folder it is given: a folder of the user's is refused
// before anything is built or removed.

#include <gtest/gtest.h>

#include <filesystem>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::RunCommand;
using testing_support::ShellQuote;
using testing_support::WriteFile;

TEST(DemoScript, RefusesAFolderItDidNotMake) {
  testing_support::TempDir dir;
  const fs::path maps = dir / "maps";
  fs::create_directories(maps / "county");
  WriteFile(maps / "roads.shp", "mine");
  WriteFile(maps / "county" / "a.txt", "also mine");
  auto demo = [](const fs::path& folder) {
    return RunCommand(ShellQuote(std::string(ZELVANE_SOURCE_DIR) + "/scripts/demo") + " " + ShellQuote(folder.string()));
  };
  auto r = demo(maps);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "demo: " + maps.string() +
                       " holds files that the demo did not make; give a new folder, an empty one, or one that the "
                       "demo made\n");
  EXPECT_EQ(ReadFile(maps / "roads.shp"), "mine");
  EXPECT_EQ(ReadFile(maps / "county" / "a.txt"), "also mine");

  // A file, or a link to the user's folder, is not a folder the demo may replace.
  r = demo(maps / "roads.shp");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("is not a folder"), std::string::npos) << r.err;
  fs::create_directory_symlink(maps, dir / "link");
  WriteFile(maps / ".zelvane-demo", "");
  r = demo(dir / "link");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(ReadFile(maps / "roads.shp"), "mine");
}
