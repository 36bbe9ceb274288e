// SPDX-License-Identifier: GPL-3.0-or-later
// A new user's export, from registering the command to the joined PDF, and a page
// export killed at random moments, all through the host's command line.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <thread>

#include "e2e_fixture.h"

namespace {

using namespace e2e;

// A town with a 3 x 2 grid saved as a document.
class ExportRun : public HostSession {
 protected:
  void SetUp() override {
    HostSession::SetUp();
    WriteTownDocument(document(), 3, 2, {"grid"});
  }
  fs::path document() const { return dir / "data" / "town.json"; }

  // A session that sets the map book up and exports every page into folder. The first
  // session of a new user answers the greeting; later ones take every box's default.
  std::string export_script(const fs::path& folder, const std::string& format, const std::string& dpi,
                            bool first = true) {
    WriteFile(dir / "export.txt",
              std::string(first ? "answer OK\n" : "") +
              "pick frmMain.cboMapLayers \"grid\"\n"
              "click frmMain.btnLayerApply\n"
              "select frmMain.lstDataFrames \"Layers\" on\n"
              "click frmMain.opt" + format + "\n"
              "settext frmMain.txtRes \"" + dpi + "\"\n"
              "settext frmMain.txtDir \"" + folder.string() + "\"\n"
              "click frmMain.optExportAll\n"
              "click frmMain.btnExport\n"
              "close frmMain\n");
    return std::string(first ? "run --strict" : "run") + " --document " + ShellQuote(document().string()) +
           " --click ZelvaneGIS_ZelvaneMapbooks --script " + ShellQuote((dir / "export.txt").string());
  }
};

// The file the toolkit writes on its own after the run, once it is there.
bool wait_for_pdf(const fs::path& file) {
  for (int i = 0; i < 400; ++i) {
    if (fs::exists(file) && ReadFile(file).rfind("%PDF", 0) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

// A PNG file that ends as every whole one does.
bool whole_png(const fs::path& file) {
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) return false;
  std::string bytes = ReadFile(file);
  static const std::string end("IEND\xAE\x42\x60\x82", 8);
  return bytes.rfind("\x89PNG", 0) == 0 && bytes.size() > end.size() &&
         bytes.compare(bytes.size() - end.size(), end.size(), end) == 0;
}

}  // namespace

// Registering installs the PDF toolkit as an installer would, and the first export of
// a new user (settings never saved: the refresh delay still "NULL"), into a folder
// typed as a native path, writes every page and joins them.
TEST_F(ExportRun, ANewUsersFirstPdfExportIsJoined) {
  fs::path toolkit = program() / "Bin" / "pdftk.exe";
  ASSERT_TRUE(fs::is_regular_file(toolkit));
  EXPECT_EQ(ReadFile(toolkit), ReadFile(ZELVANE_PDFTK));
  EXPECT_EQ(::access(toolkit.c_str(), X_OK), 0);

  fs::path pages = dir / "pages";
  fs::create_directories(pages);
  Result r = host(export_script(pages, "PDF", "20"));
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err.find("ERROR NUMBER"), std::string::npos) << r.err;
  for (const char* page : {"A1", "A2", "A3", "B1", "B2", "B3"})
    EXPECT_TRUE(fs::exists(pages / ("Mapbook" + std::string(page) + ".pdf"))) << page;
  ASSERT_TRUE(wait_for_pdf(pages / "Combined.pdf"));
  Result check = testing_support::RunCommand("qpdf --show-npages " + ShellQuote((pages / "Combined.pdf").string()));
  EXPECT_EQ(check.out, "6\n");
  EXPECT_FALSE(fs::exists(dir / "pagesMapbookA1.pdf"));
  EXPECT_FALSE(fs::exists(dir / "pages\\MapbookA1.pdf"));
}

// A toolkit the user put there stays; a library of other commands gets none.
TEST_F(ExportRun, RegisteringKeepsAToolkitThatIsThere) {
  fs::remove(program() / "Bin" / "pdftk.exe");
  WriteFile(program() / "Bin" / "PDFTK.EXE", "the user's own");
  ASSERT_EQ(host("register " ZELVANE_MAPBOOKS_PLUGIN).status, 0);
  EXPECT_EQ(ReadFile(program() / "Bin" / "PDFTK.EXE"), "the user's own");
  EXPECT_FALSE(fs::exists(program() / "Bin" / "pdftk.exe"));

  fs::remove_all(dir / "c" / "Program Files");
  ASSERT_EQ(host("register " ZELVANE_TEST_PLUGIN).status, 0);
  EXPECT_FALSE(fs::exists(program()));
}

// A page export killed at any moment leaves the page it was rewriting whole: the old
// one or the new one. A temporary file a kill leaves is gone after the next export.
// The moments come from a fixed seed, so a failure can be replayed.
TEST_F(ExportRun, AKilledPageExportLeavesTheOldPageOrTheNew) {
  fs::path pages = dir / "pages";
  fs::create_directories(pages);
  ASSERT_EQ(host(export_script(pages, "PNG", "120")).status, 0);
  const std::string args = export_script(pages, "PNG", "120", false);
  auto started = std::chrono::steady_clock::now();
  Result again = host(args);
  ASSERT_EQ(again.status, 0) << again.err;
  const auto whole_run = std::chrono::steady_clock::now() - started;
  const std::vector<std::string> names{"MapbookA1.png", "MapbookA2.png", "MapbookA3.png",
                                       "MapbookB1.png", "MapbookB2.png", "MapbookB3.png"};
  for (const auto& name : names) ASSERT_TRUE(whole_png(pages / name)) << name;

  std::mt19937 random(20261207);
  std::uniform_int_distribution<long> moment(0, std::chrono::duration_cast<std::chrono::microseconds>(whole_run).count());
  const int kills = 12;
  for (int k = 0; k < kills; ++k) {
    HostKilledAfter(args, std::chrono::microseconds(moment(random)));
    for (const auto& name : names) EXPECT_TRUE(whole_png(pages / name)) << name << " after kill " << k;
  }
  Result last = host(args);
  ASSERT_EQ(last.status, 0) << last.err;
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(pages)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, names) << "no temporary file is left once the folder is written again";
}
