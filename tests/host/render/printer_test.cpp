// SPDX-License-Identifier: GPL-3.0-or-later
// The host's printers (only the spool folder and EMF kinds: no test prints on paper)
// and the tiling of a layout over printer pages.

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <pango/pangocairo.h>

#include <cups/cups.h>

#include <cstdlib>

#include "host/render/device.h"
#include "host/render/page_tiling.h"
#include "host/render/printer.h"
#include "host/vb/error.h"
#include "host/win/drives.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using host::vb::Error;
using namespace host::render;
using render_test::Quote;
using render_test::RunCommand;
using ::testing::HasSubstr;
using ::testing::Not;

namespace host::geodata {
void PrintTo(const Envelope& e, std::ostream* os) {
  *os << "(" << e.XMin() << ", " << e.YMin() << ", " << e.XMax() << ", " << e.YMax() << ")";
}
}  // namespace host::geodata

namespace {

class Printing : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("ZELVANE_PRINTER", "spool", 1);
    unsetenv("ZELVANE_PRINTER_FOLDER");
    SetCurrentPrinter(nullptr);
  }
  void TearDown() override {
    setenv("ZELVANE_PRINTER", "spool", 1);
    unsetenv("ZELVANE_PRINTER_FOLDER");
    SetCurrentPrinter(nullptr);
    fs::remove_all(host::win::NativePath("C:\\Printer"));
  }

  static void Label(long hdc, const std::string& text) {
    auto dc = LookupDevice(hdc);
    render_test::ShowText(dc->GetPainter(), text, 40 * dc->Dpi() / 72, dc->Width() / 4.0, dc->Height() / 4.0);
  }

  // One job of the whole paper, as the print command starts it.
  static void PrintJob(Printer& p, const std::string& text) {
    double w = 0, h = 0;
    p.QueryPaperSize(w, h);
    long hdc = p.StartPrinting(Envelope(0, 0, p.Resolution() * w, p.Resolution() * h), 0);
    Label(hdc, text);
    p.FinishPrinting();
  }

  static std::string PdfText(const fs::path& file) { return RunCommand("pdftotext " + Quote(file.string()) + " -").out; }
  // The first page's own dictionary, as qpdf shows it.
  static std::string PageDictionary(const fs::path& file) {
    std::string pages = RunCommand("qpdf --show-pages " + Quote(file.string())).out;  // "page 1: 3 0 R"
    size_t colon = pages.find(": ");
    if (colon == std::string::npos) return "no pages: " + pages;
    int object = std::stoi(pages.substr(colon + 2));
    return RunCommand("qpdf --show-object=" + std::to_string(object) + " " + Quote(file.string())).out;
  }
};

TEST_F(Printing, TheSettingsChooseTheCurrentPrinter) {
  std::shared_ptr<Printer> spool = CurrentPrinter();
  ASSERT_TRUE(dynamic_cast<SpoolPrinter*>(spool.get()));
  EXPECT_EQ(CurrentPrinter(), spool) << "the same printer until the settings are read again";
  EXPECT_FALSE(IsEmfPrinter(*spool));
  auto& folder = dynamic_cast<FolderPrinter&>(*spool);
  EXPECT_EQ(folder.Folder(), testing_support::DrivesRoot() / "c" / "Printer");
  EXPECT_EQ(spool->Resolution(), 300);
  double w = 0, h = 0;
  spool->QueryPaperSize(w, h);
  EXPECT_EQ(w, 8.5);
  EXPECT_EQ(h, 11);

  testing_support::TempDir dir;
  setenv("ZELVANE_PRINTER", "emf", 1);
  setenv("ZELVANE_PRINTER_FOLDER", dir.path().c_str(), 1);
  SetCurrentPrinter(nullptr);
  std::shared_ptr<Printer> emf = CurrentPrinter();
  EXPECT_TRUE(IsEmfPrinter(*emf));
  EXPECT_EQ(dynamic_cast<FolderPrinter&>(*emf).Folder(), dir.path());
  EXPECT_THAT(emf->Name(), HasSubstr("EMF"));
}

// A print server that does not answer is named as what is missing, whether a printer
// was named or the default one asked for; the spool folder never stands in silently.
TEST_F(Printing, APrintServerThatCannotBeReachedIsAPrinterError) {
  testing_support::TempDir dir;
  const std::string socket = (dir / "cups.sock").string();  // no server listens there
  cupsSetServer(socket.c_str());
  for (const char* choice : {"ZPDF", ""}) {
    if (*choice)
      setenv("ZELVANE_PRINTER", choice, 1);
    else
      unsetenv("ZELVANE_PRINTER");
    SetCurrentPrinter(nullptr);
    try {
      CurrentPrinter();
      ADD_FAILURE() << "a printer without a print server, asked for '" << choice << "'";
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), 482);
      EXPECT_EQ(e.description(), "The print server " + socket + " cannot be reached");
    }
  }
  cupsSetServer(nullptr);
  EXPECT_FALSE(fs::exists(host::win::NativePath("C:\\Printer")));
}

// The document and the page name the job; the PDF carries the title.
TEST_F(Printing, JobsAreTitledWithTheDocumentAndThePage) {
  EXPECT_EQ(JobTitle(), "Untitled");
  SetJobDocument("town.json");
  EXPECT_EQ(JobTitle(), "town.json");
  SetJobPage("B2");
  EXPECT_EQ(JobTitle(), "town.json \u2013 B2");
  std::shared_ptr<Printer> p = CurrentPrinter();
  PrintJob(*p, "Page B2");
  SetJobDocument("");
  SetJobPage("");
  fs::path job = dynamic_cast<FolderPrinter&>(*p).JobFiles().at(0);
  EXPECT_THAT(RunCommand("pdfinfo " + Quote(job.string())).out, HasSubstr("Title:           town.json \u2013 B2\n"));
}

// cairo marks every PDF page as a transparency group, which print servers rasterise on
// the way to PostScript. An opaque page goes without; a page that blends keeps it.
TEST_F(Printing, OnlyPagesThatBlendAreTransparencyGroups) {
  std::shared_ptr<Printer> p = CurrentPrinter();
  for (double alpha : {1.0, 0.5}) {
    double w = 0, h = 0;
    p->QueryPaperSize(w, h);
    long hdc = p->StartPrinting(Envelope(0, 0, p->Resolution() * w, p->Resolution() * h), 0);
    Label(hdc, "Vector text");
    LookupDevice(hdc)->GetPainter().Fill(Path().Rectangle(100, 100, 500, 500), {0, 0, 1, alpha}, FillRule::Winding);
    p->FinishPrinting();
  }
  std::vector<fs::path> jobs = dynamic_cast<FolderPrinter&>(*p).JobFiles();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_THAT(PageDictionary(jobs[0]), Not(HasSubstr("/Group"))) << "opaque";
  EXPECT_THAT(PageDictionary(jobs[1]), HasSubstr("/Transparency")) << "half transparent";
  for (const fs::path& job : jobs) {
    EXPECT_EQ(RunCommand("qpdf --check " + Quote(job.string())).status, 0);
    EXPECT_THAT(PdfText(job), HasSubstr("Vector text"));
  }
}

TEST_F(Printing, TheSpoolFolderKeepsOnePdfPerJob) {
  std::shared_ptr<Printer> p = CurrentPrinter();
  PrintJob(*p, "First job");
  PrintJob(*p, "Second job");
  EXPECT_EQ(p->JobsSent(), 2);
  fs::path folder = testing_support::DrivesRoot() / "c" / "Printer";
  std::vector<fs::path> jobs = dynamic_cast<FolderPrinter&>(*p).JobFiles();
  ASSERT_EQ(jobs.size(), 2u);
  EXPECT_EQ(jobs[0], folder / "job-0001.pdf");
  EXPECT_EQ(jobs[1], folder / "job-0002.pdf");
  for (const fs::path& job : jobs) {
    EXPECT_EQ(RunCommand("qpdf --check " + Quote(job.string())).status, 0);
    EXPECT_THAT(RunCommand("pdfinfo " + Quote(job.string())).out, HasSubstr("612 x 792 pts"));
  }
  EXPECT_THAT(PdfText(jobs[0]), HasSubstr("First job"));
  EXPECT_THAT(PdfText(jobs[1]), HasSubstr("Second job"));
  EXPECT_EQ(std::distance(fs::directory_iterator(folder), fs::directory_iterator()), 2) << "nothing else in the folder";

  // Numbers go on after the highest job already there.
  testing_support::WriteFile(folder / "job-0041.pdf", "an older job");
  PrintJob(*p, "Third job");
  EXPECT_TRUE(fs::exists(folder / "job-0042.pdf"));
  EXPECT_EQ(testing_support::ReadFile(folder / "job-0041.pdf"), "an older job");
}

TEST_F(Printing, JobsAreDrawnInPrinterPixels) {
  testing_support::TempDir dir;
  SpoolPrinter p;
  p.SetFolder(dir.path().string());
  p.SetResolution(600);
  p.SetPaperSize(11, 8.5);
  long hdc = p.StartPrinting(Envelope(0, 0, 6600, 5100), 0);
  auto dc = LookupDevice(hdc);
  EXPECT_EQ(dc->Kind(), DeviceKind::Printer);
  EXPECT_EQ(dc->Width(), 6600);
  EXPECT_EQ(dc->Dpi(), 600);
  cairo_set_source_rgb(dc->Cairo(), 0, 0, 0);
  cairo_rectangle(dc->Cairo(), 0, 0, 100, 100);
  cairo_fill(dc->Cairo());
  p.FinishPrinting();
  EXPECT_THAT(RunCommand("pdfinfo " + Quote((dir / "job-0001.pdf").string())).out, HasSubstr("792 x 612 pts"));
}

TEST_F(Printing, AnUnfinishedJobIsAbandoned) {
  testing_support::TempDir dir;
  SpoolPrinter p;
  p.SetFolder(dir.path().string());
  EXPECT_THROW(p.FinishPrinting(), Error) << "nothing started";
  long first = p.StartPrinting(Envelope(0, 0, 2550, 3300), 0);
  Label(first, "Abandoned");
  long second = p.StartPrinting(Envelope(0, 0, 2550, 3300), 0);
  EXPECT_THROW(LookupDevice(first), Error);
  Label(second, "Printed");
  p.FinishPrinting();
  ASSERT_EQ(p.JobFiles().size(), 1u);
  EXPECT_THAT(PdfText(p.JobFiles()[0]), HasSubstr("Printed"));
  EXPECT_EQ(p.JobsSent(), 1);

  Error e(0);
  try {
    p.StartPrinting(Envelope(), 0);
  } catch (const Error& err) {
    e = err;
  }
  EXPECT_EQ(e.number(), 5);
}

TEST_F(Printing, TheEmfPrinterKeepsMetafiles) {
  testing_support::TempDir dir;
  EmfPrinter p;
  p.SetFolder(dir.path().string());
  p.SetResolution(200);
  EXPECT_TRUE(IsEmfPrinter(p));
  PrintJob(p, "Metafile");
  std::string b = testing_support::ReadFile(dir / "job-0001.emf");
  std::vector<render_test::EmfRecord> records = render_test::EmfRecords(b);
  EXPECT_EQ(b.substr(40, 4), " EMF");
  EXPECT_EQ(render_test::U32(b, 52), records.size());
  EXPECT_EQ(render_test::I32(b, 72) % 1700, 0) << "whole pages of 8.5 in at 200 dpi";
  EXPECT_NEAR(render_test::I32(b, 80) / double(render_test::I32(b, 72)), 25.4 / 200, 1e-12);
  EXPECT_EQ(render_test::I32(b, 32) + 1, 21590) << "8.5 in in 0.01 mm, both edges counted";
  bool text = false;
  for (const auto& r : records) text = text || r.type == 84;
  EXPECT_TRUE(text);
}

// The print command moves an EMF printer's device frame to the origin: the printer's
// contexts start at the printable area, so the page still lands inside the margins.
TEST_F(Printing, AnEmfPrinterDrawsFromTheCornerOfItsPrintableArea) {
  testing_support::TempDir dir;
  EmfPrinter p;
  p.SetFolder(dir.path().string());
  p.SetResolution(200);
  p.SetMargins(0.5, 0.25, 0.5, 0.25);
  LayoutPage letter{7.5, 10.5};
  EXPECT_EQ(GetDeviceBounds(letter, p, 1, 0, 200), Envelope(100, 50, 1600, 2150));
  long hdc = p.StartPrinting(Envelope(0, 0, 1700, 2200), 0);
  LookupDevice(hdc)->GetPainter().Fill(Path().Rectangle(0, 0, 1500, 2100), {0, 0, 0, 1}, FillRule::Winding);
  p.FinishPrinting();
  std::string b = testing_support::ReadFile(dir / "job-0001.emf");
  for (const auto& r : render_test::EmfRecords(b)) {
    if (r.type != 27) continue;  // EMR_MOVETOEX: the rectangle's first corner
    EXPECT_EQ(render_test::I32(b, r.offset + 8), 100 * 16);
    EXPECT_EQ(render_test::I32(b, r.offset + 12), 50 * 16);
    return;
  }
  ADD_FAILURE() << "no path in the metafile";
}

// The print command's loop: each printer page of a 17 x 22 in layout on Letter paper is a
// job of its own that shows its own quarter of the layout.
TEST_F(Printing, ALargeLayoutIsTiledOverSeveralJobs) {
  std::shared_ptr<Printer> p = CurrentPrinter();
  LayoutPage page{17, 22, PageToPrinterMapping::Tile};
  const int count = PrinterPageCount(page, *p, 0);
  ASSERT_EQ(count, 4);
  const Envelope expected[] = {{0, 11, 8.5, 22}, {8.5, 11, 17, 22}, {0, 0, 8.5, 11}, {8.5, 0, 17, 11}};
  for (int n = 1; n <= count; ++n) {
    double res = p->Resolution();
    Envelope device = GetDeviceBounds(page, *p, n, 0, res);
    EXPECT_EQ(device, Envelope(0, 0, 2550, 3300));
    Envelope shown = GetPageBounds(page, *p, n, 0);
    EXPECT_EQ(shown, expected[n - 1]) << "printer page " << n;
    double w = 0, h = 0;
    p->QueryPaperSize(w, h);
    long hdc = p->StartPrinting(Envelope(0, 0, res * w, res * h), 0);
    Label(hdc, "Tile " + std::to_string(n));
    p->FinishPrinting();
  }
  std::vector<fs::path> jobs = dynamic_cast<FolderPrinter&>(*p).JobFiles();
  ASSERT_EQ(jobs.size(), 4u);
  EXPECT_THAT(PdfText(jobs[3]), HasSubstr("Tile 4"));
}

// ---- tiling --------------------------------------------------------------------------

class Tiling : public ::testing::Test {
 protected:
  Tiling() { printer.SetFolder(dir.path().string()); }
  testing_support::TempDir dir;
  SpoolPrinter printer;  // Letter, 300 dpi, no margins
};

TEST_F(Tiling, ALayoutThatFitsThePaperIsOnePage) {
  for (auto mapping : {PageToPrinterMapping::Crop, PageToPrinterMapping::Scale, PageToPrinterMapping::Tile}) {
    LayoutPage letter{8.5, 11, mapping};
    EXPECT_EQ(PrinterPageCount(letter, printer, 0), 1);
    EXPECT_EQ(GetPageBounds(letter, printer, 1, 0), Envelope(0, 0, 8.5, 11));
    EXPECT_EQ(GetDeviceBounds(letter, printer, 1, 0, 300), Envelope(0, 0, 2550, 3300));
  }
  // A hair over the paper after a unit conversion still fits.
  EXPECT_EQ(PrinterPageCount(LayoutPage{215.9 / 25.4, 279.4 / 25.4}, printer, 0), 1);
  // So does an A4 layout on A4 paper as print servers give it, in whole points
  // (595 x 842 pt, 0.1 mm narrower than 210 mm): no sliver on a second sheet.
  printer.SetPaperSize(595 / 72.0, 842 / 72.0);
  LayoutPage a4{210 / 25.4, 297 / 25.4};
  EXPECT_EQ(PrinterPageCount(a4, printer, 0), 1);
  EXPECT_EQ(GetPageBounds(a4, printer, 1, 0), Envelope(0, 0, 595 / 72.0, 297 / 25.4));
  EXPECT_EQ(PrinterPageCount(LayoutPage{2 * 595 / 72.0 + 0.005, 842 / 72.0}, printer, 0), 2);
  EXPECT_EQ(PrinterPageCount(LayoutPage{2 * 595 / 72.0 + 0.02, 842 / 72.0}, printer, 0), 3);
  printer.SetPaperSize(8.5, 11);
  // Smaller than the paper: printed at its own size from the corner.
  LayoutPage half{4, 5};
  EXPECT_EQ(GetDeviceBounds(half, printer, 1, 0, 300), Envelope(0, 0, 1200, 1500));
}

TEST_F(Tiling, MarginsAndOverlapDecideTheTiles) {
  printer.SetMargins(0.25, 0.25, 0.25, 0.25);  // 8 x 10.5 in to print on
  LayoutPage big{17, 22};
  ASSERT_EQ(PrinterPageCount(big, printer, 0), 9) << "three columns of 8 + 8 + 1 in, three rows of 10.5 + 10.5 + 1 in";
  EXPECT_EQ(GetPageBounds(big, printer, 1, 0), Envelope(0, 11.5, 8, 22));
  EXPECT_EQ(GetPageBounds(big, printer, 3, 0), Envelope(16, 11.5, 17, 22));
  EXPECT_EQ(GetPageBounds(big, printer, 9, 0), Envelope(16, 0, 17, 1));
  EXPECT_EQ(GetDeviceBounds(big, printer, 1, 0, 300), Envelope(75, 75, 2475, 3225));
  EXPECT_EQ(GetDeviceBounds(big, printer, 3, 0, 300), Envelope(75, 75, 375, 3225)) << "the last column is narrow";
  EXPECT_EQ(GetDeviceBounds(big, printer, 3, 0, 100), Envelope(25, 25, 125, 1075)) << "at another resolution";

  printer.SetMargins(0, 0, 0, 0);
  EXPECT_EQ(PrinterPageCount(big, printer, 0.5), 9) << "8.5 + 8 + 8 wide with half an inch shared";
  EXPECT_EQ(GetPageBounds(big, printer, 2, 0.5), Envelope(8, 11, 16.5, 22));

  LayoutPage landscape{11, 8.5};
  EXPECT_EQ(PrinterPageCount(landscape, printer, 0), 2) << "two columns, one row";
  EXPECT_EQ(GetPageBounds(landscape, printer, 2, 0), Envelope(8.5, 0, 11, 8.5));
}

TEST_F(Tiling, ScaleAndCropPrintOnePage) {
  LayoutPage scaled{17, 22, PageToPrinterMapping::Scale};
  EXPECT_EQ(PrinterPageCount(scaled, printer, 0), 1);
  EXPECT_EQ(GetPageBounds(scaled, printer, 1, 0), Envelope(0, 0, 17, 22));
  EXPECT_EQ(GetDeviceBounds(scaled, printer, 1, 0, 300), Envelope(0, 0, 2550, 3300)) << "at half size it fills the paper";
  LayoutPage wide{34, 11, PageToPrinterMapping::Scale};
  EXPECT_EQ(GetDeviceBounds(wide, printer, 1, 0, 300), Envelope(0, 0, 2550, 825)) << "a quarter, fitting the width";

  LayoutPage cropped{17, 22, PageToPrinterMapping::Crop};
  EXPECT_EQ(PrinterPageCount(cropped, printer, 0), 1);
  EXPECT_EQ(GetPageBounds(cropped, printer, 1, 0), Envelope(0, 11, 8.5, 22)) << "the top left of the layout";
}

TEST_F(Tiling, BadRequestsAreRefused) {
  LayoutPage big{17, 22};
  for (int bad : {0, 5, -1}) {
    try {
      GetPageBounds(big, printer, bad, 0);
      ADD_FAILURE() << "page " << bad;
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), 5);
      EXPECT_THAT(e.description(), HasSubstr("4 pages"));
    }
  }
  EXPECT_THROW(PrinterPageCount(big, printer, 8.5), Error) << "an overlap as wide as the paper";
  EXPECT_THROW(PrinterPageCount(big, printer, -1), Error);
  EXPECT_THROW(PrinterPageCount(LayoutPage{0, 11}, printer, 0), Error);
}

}  // namespace
