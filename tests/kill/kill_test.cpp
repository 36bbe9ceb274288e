// SPDX-License-Identifier: GPL-3.0-or-later
// Kills while the settings, a mapbook, the pages of an export and a new grid are written.

#include "kill_fixture.h"

namespace fs = std::filesystem;
using namespace kill_testing;
using testing_support::ReadFile;
using testing_support::ShellQuote;

TEST_F(Kill, MapbookSave) {
  auto round = [](int i, bool overwrite) {
    return std::string("settext frmMain.txtRes \"") + (i % 2 ? "222" : "111") +
           "\"\n"
           "click frmMain.btnSaveMapbook\n"
           "input \"book\"\n" +
           (overwrite ? "answer Yes\n" : "");
  };
  ASSERT_EQ(Play(round(0, false) + "close frmMain\n"), 0) << ReadFile(dir_ / "err.txt");
  const std::string script = Repeat(40, [&](int i) { return round(i, true); });
  KillLoop("mapbook save", script + "close frmMain\n", program() / "Mapbooks", [this] {
    return CheckSettings(program() / "Mapbooks" / "book.mbk");
  });
}

TEST_F(Kill, ConfigSave) {
  const std::string script = Repeat(40, [](int i) {
    return std::string("settext frmMain.txtRes \"") + (i % 2 ? "222" : "111") +
           "\"\n"
           "close frmMain\n"
           "command ZelvaneGIS_ZelvaneMapbooks\n";
  });
  KillLoop("config save", script + "close frmMain\n", program(), [this] { return CheckSettings(program() / "config"); });
}

TEST_F(Kill, PageExport) {
  const std::string script = Repeat(4, [](int i) {
    return std::string("settext frmMain.txtRes \"") + (i % 2 ? "30" : "20") + "\"\nclick frmMain.btnExport\n";
  });
  auto pdf_fault = [](const fs::path& p) -> std::string {
    if (!fs::exists(p)) return p.filename().string() + " is missing";
    if (testing_support::RunCommand("qpdf --check " + ShellQuote(p.string())).status != 0)
      return p.filename().string() + " fails qpdf --check";
    return "";
  };
  KillLoop("page export", script + "close frmMain\n", out(), [&] {
    std::string fault;
    auto add = [&](const std::string& f) {
      if (!f.empty()) fault += (fault.empty() ? "" : "; ") + f;
    };
    for (const char* page : {"MapbookA1.pdf", "MapbookA2.pdf", "MapbookA3.pdf", "MapbookB1.pdf", "MapbookB2.pdf",
                             "MapbookB3.pdf"})
      add(pdf_fault(out() / page));
    // The joined file of the first whole run is only ever replaced by a whole new one.
    add(pdf_fault(out() / "Combined.pdf"));
    return fault;
  });
  EXPECT_EQ(pdf_fault(out() / "Combined.pdf"), "") << "after the last whole run";
}

TEST_F(Kill, GridBuild) {
  // Two sizes of the one grid "sheets", 40 x 50 and 50 x 40 tiles.
  auto round = [](int i, bool overwrite) {
    const char* down = i % 2 ? "50" : "40";
    const char* across = i % 2 ? "40" : "50";
    return std::string(
               "click frmMain.btnCreateNewGrid\n"
               "click frmSelectGridType.Command1\n"
               "settext frmMakeGrid.txtX \"0\"\n"
               "settext frmMakeGrid.txtY \"0\"\n"
               "settext frmMakeGrid.txtGridHeight \"1000\"\n"
               "settext frmMakeGrid.txtGridWidth \"2000\"\n"
               "settext frmMakeGrid.txtVerticalNumber \"") +
           down +
           "\"\n"
           "settext frmMakeGrid.txtHorizontalNumber \"" +
           across +
           "\"\n"
           "click frmMakeGrid.btnNext\n"
           "click frmMakeGrid2.btnNext\n"
           "input \"sheets\"\n" +
           (overwrite ? "answer Yes\n" : "") + "answer OK\nanswer OK\nanswer OK\nanswer OK\n";
  };
  ASSERT_EQ(Play(round(0, false) + "close frmMain\n"), 0) << ReadFile(dir_ / "err.txt");
  const std::string script = Repeat(6, [&](int i) { return round(i, true); });
  const fs::path grids = program() / "Grids";
  KillLoop("grid build", script + "close frmMain\n", grids, [this, grids] {
    const fs::path shp = grids / "sheets.shp";
    // The old .shp goes before the new set is put in place, so that no reader sees a
    // mixed grid: a kill in between leaves none, which the next start puts in place.
    bool ready = false;
    for (const auto& e : fs::directory_iterator(grids)) ready = ready || fs::exists(e.path() / ".ready");
    if (!fs::exists(shp) && ready && Play("close frmMain\n") != 0)
      return "the next start failed: " + ReadFile(dir_ / "err.txt");
    if (!fs::exists(shp)) return std::string("sheets.shp is missing");
    auto r = testing_support::RunCommand("ogrinfo -ro -so -al " + ShellQuote(shp.string()));
    if (r.status != 0) return "ogrinfo cannot open the grid: " + r.err;
    if (r.out.find("Feature Count: 2000") == std::string::npos) return "the grid is not whole:\n" + r.out;
    if (r.out.find("MB_Label") == std::string::npos) return "the grid has no fields:\n" + r.out;
    return std::string();
  });
}
