// SPDX-License-Identifier: GPL-3.0-or-later
// The print run's jobs as the user meets them: named after the document and the page,
// and a printer that is not there said so on every page instead of printing nowhere.

#include <cups/cups.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "mapbooks/print_book_fixture.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

class PrintJobs : public PrintBook {
 protected:
  void TearDown() override {
    cupsSetServer(nullptr);
    unsetenv("ZELVANE_PRINTER");
    PrintBook::TearDown();
  }
};

TEST_F(PrintJobs, EachJobIsTitledWithTheDocumentAndThePage) {
  Start(2, 1);
  auto spool = std::make_shared<host::render::SpoolPrinter>();
  spool->SetFolder("C:\\town\\printer");
  spool->SetResolution(50);
  host::render::SetCurrentPrinter(spool);
  main().btnPrint.click();
  ASSERT_EQ(spool->JobFiles().size(), 2u);
  EXPECT_THAT(PdfInfo(spool->JobFiles()[0]), HasSubstr("Title:           town.json \u2013 A1\n"));
  EXPECT_THAT(PdfInfo(spool->JobFiles()[1]), HasSubstr("Title:           town.json \u2013 A2\n"));

  // "Print current map" names the page the layout shows.
  main().optPrintCurrent.click();
  main().btnPrint.click();
  ASSERT_EQ(spool->JobFiles().size(), 3u);
  EXPECT_THAT(PdfInfo(spool->JobFiles()[2]), HasSubstr("Title:           town.json \u2013 A2\n"));
  EXPECT_TRUE(Boxes().empty());
}

// Without a print server the run used to drop every page into the spool folder and end
// as if printed. Each page now reports a printer error, and nothing is written.
TEST_F(PrintJobs, WithoutAPrintServerEveryPageSaysTheServerCannotBeReached) {
  Start(2, 1);
  testing_support::TempDir dir;
  const std::string socket = (dir / "cups.sock").string();  // no server listens there
  cupsSetServer(socket.c_str());
  for (const char* choice : {"", "ZPDF"}) {
    SCOPED_TRACE(choice);
    if (*choice)
      setenv("ZELVANE_PRINTER", choice, 1);
    else
      unsetenv("ZELVANE_PRINTER");
    host::render::SetCurrentPrinter(nullptr);
    host::ui::ClearBoxLog();
    Answer(host::ui::vbOK);
    Answer(host::ui::vbOK);
    main().btnPrint.click();
    ASSERT_EQ(Boxes().size(), 2u) << "one report for each page";
    for (const auto& box : Boxes()) {
      EXPECT_THAT(box.text, HasSubstr("ERROR NUMBER: 482\r\nMODULE: fPrint modTolmirex "));
      EXPECT_THAT(box.text, HasSubstr("ERROR DESCRIPTION: The print server " + socket + " cannot be reached\r\n"));
    }
  }
  EXPECT_FALSE(fs::exists(DriveC() / "Printer")) << "the spool folder is not a fallback";
}

}  // namespace
