// SPDX-License-Identifier: GPL-3.0-or-later
// Kills while the street index writes its text file and its table.

#include "kill_fixture.h"

namespace fs = std::filesystem;
using namespace kill_testing;
using testing_support::ReadFile;

TEST_F(Kill, StreetIndex) {
  // A larger town in place of the fixture's, so that its files take a while to write.
  {
    towngen::TownOptions o;
    o.blocksX = 60;
    o.blocksY = 45;
    const std::string town = (dir_ / "data" / "town").string();
    auto summary = towngen::WriteTown(town, o);
    towngen::WriteTileGrid(town, "grid", summary.extent, 3, 2, towngen::TownSpatialReference());
  }
  // Two versions of both files: the streets by name, and by segment number.
  auto round = [](int i) {
    const std::string field = i % 2 ? "SEG_ID" : "NAME";
    std::string s = "click frmMain.btnIndex\n"
                    "pick frmIndex.cboSearchLayers \"streets\"\n"
                    "pick frmIndex.cboSearchLayerFields \"" + field + "\"\n";
    for (const char* output : {"optText", "optTable"})
      s += std::string("click frmIndex.") + output + "\nclick frmIndex.btnNext\nanswer OK\n";
    return s + "click frmIndex.btnCancel\n";
  };
  const fs::path text = program() / "LocationText.txt", table = program() / "LocationTable.txt";
  std::string versions[2][2];  // [version][text, table]
  for (int v : {1, 0}) {
    ASSERT_EQ(Play(round(v) + "close frmMain\n"), 0) << ReadFile(dir_ / "err.txt");
    versions[v][0] = ReadFile(text);
    versions[v][1] = ReadFile(table);
  }
  ASSERT_NE(versions[0][0], versions[1][0]);
  ASSERT_NE(versions[0][1], versions[1][1]);
  ASSERT_NE(versions[0][0].find("..."), std::string::npos) << versions[0][0];

  auto whole = [&](const fs::path& file, int which) -> std::string {
    if (!fs::exists(file)) return file.filename().string() + " is missing";
    const std::string bytes = ReadFile(file);
    if (bytes != versions[0][which] && bytes != versions[1][which])
      return file.filename().string() + " is neither version (" + std::to_string(bytes.size()) + " bytes)";
    return "";
  };
  const std::string script = Repeat(12, round);
  KillLoop("street index", script + "close frmMain\n", program(), [&] {
    std::string fault = whole(text, 0), other = whole(table, 1);
    if (!other.empty()) fault += (fault.empty() ? "" : "; ") + other;
    return fault;
  });
}
