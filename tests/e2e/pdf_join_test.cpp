// SPDX-License-Identifier: GPL-3.0-or-later
// The join of a PDF export through the host's command line: a batch run that ends the
// host waits for its join and tells on stderr, and in its exit status, when it failed.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "e2e_fixture.h"

namespace {

using namespace e2e;
using ::testing::HasSubstr;
using ::testing::Not;

class PdfJoin : public HostSession {
 protected:
  void SetUp() override {
    HostSession::SetUp();
    WriteTownDocument(document(), 3, 2, {"grid"});
    fs::create_directories(pages());
    // The first session sets the map book up for PDF pages and exports them once.
    WriteFile(dir / "setup.txt",
              "answer OK\n"
              "pick frmMain.cboMapLayers \"grid\"\n"
              "click frmMain.btnLayerApply\n"
              "select frmMain.lstDataFrames \"Layers\" on\n"
              "click frmMain.optPDF\n"
              "settext frmMain.txtRes \"20\"\n"
              "settext frmMain.txtDelay \"0\"\n"
              "settext frmMain.txtDir \"" + pages().string() + "\"\n"
              "click frmMain.optExportAll\n"
              "click frmMain.btnExport\n"
              "close frmMain\n");
    Result r = host("run --strict --document " + ShellQuote(document().string()) +
                    " --click ZelvaneGIS_ZelvaneMapbooks --script " + ShellQuote((dir / "setup.txt").string()));
    ASSERT_EQ(r.status, 0) << r.err;
    // The host waited for the join as it ended.
    ASSERT_EQ(Pages(pages() / "Combined.pdf"), 6);
    // From here on every start exports all pages and ends the host, as the batch
    // command asks.
    std::string config = ReadFile(program() / "config");
    WriteFile(program() / "config", "\"EXPORTALLCLOSE\"" + config.substr(config.find("\r\n")));
  }
  fs::path document() const { return dir / "data" / "town.json"; }
  fs::path pages() const { return dir / "pages"; }
  Result Batch() { return host("run --document " + ShellQuote(document().string()) + " --click ZelvaneGIS_ZelvaneMapbooks"); }
  static int Pages(const fs::path& file) {
    Result r = testing_support::RunCommand("qpdf --show-npages " + ShellQuote(file.string()));
    return r.status == 0 ? std::stoi(r.out) : -1;
  }
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(pages())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

TEST_F(PdfJoin, ABatchRunWhoseJoinFailsKeepsCombinedPdfAndSaysWhichFileOnStderr) {
  const std::string earlier = ReadFile(pages() / "Combined.pdf");
  WriteFile(pages() / "notes.pdf", "%PDF-1.4");
  Result r = Batch();
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("[message box, OK] The pages were not joined into Combined.pdf: notes.pdf cannot be "
                               "read (unable to find trailer dictionary while recovering damaged file). The earlier "
                               "Combined.pdf was kept.\n"));
  EXPECT_TRUE(ReadFile(pages() / "Combined.pdf") == earlier) << "byte for byte";
  EXPECT_EQ(Listing(), (std::vector<std::string>{"Combined.pdf", "MapbookA1.pdf", "MapbookA2.pdf", "MapbookA3.pdf",
                                                 "MapbookB1.pdf", "MapbookB2.pdf", "MapbookB3.pdf", "notes.pdf"}));

  // Without the damaged file the next batch run joins the pages anew, and the joined
  // file is not among what it joins.
  fs::remove(pages() / "notes.pdf");
  Result again = Batch();
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_THAT(again.err, Not(HasSubstr("not joined")));
  EXPECT_EQ(Pages(pages() / "Combined.pdf"), 6);
  EXPECT_FALSE(ReadFile(pages() / "Combined.pdf") == earlier);
}

// A join that fails with no Combined.pdf before it says only what failed.
TEST_F(PdfJoin, AFailedFirstJoinSaysNothingOfAnEarlierFile) {
  fs::remove(pages() / "Combined.pdf");
  WriteFile(pages() / "Zoning.PDF", "");
  Result r = Batch();
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(r.err, HasSubstr("] The pages were not joined into Combined.pdf: Zoning.PDF cannot be read ("));
  EXPECT_THAT(r.err, Not(HasSubstr("earlier")));
  EXPECT_FALSE(fs::exists(pages() / "Combined.pdf"));
}

}  // namespace
