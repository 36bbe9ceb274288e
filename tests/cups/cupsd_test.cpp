// SPDX-License-Identifier: GPL-3.0-or-later
// Printing through a real print server: the private cupsd that run_cupsd_test.sh starts,
// with three cups-pdf queues (Letter; A4; Letter with 0.25 in margins at the sides and
// 0.5 in at the top and bottom). The map book is printed as a user prints it, and what
// the server made of each job is read back: the jobs, their titles and media, and the
// PDF that cups-pdf wrote after CUPS' PDF-to-PostScript step.

#include <cups/cups.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <regex>
#include <thread>

#include "host/vb/error.h"
#include "mapbooks/print_book_fixture.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using ::testing::HasSubstr;

namespace {

struct Job {
  int id;
  std::string title;
  ipp_jstate_t state;
  std::string media;
};

class RealQueues : public PrintBook {
 protected:
  void SetUp() override {
    PrintBook::SetUp();
    if (!std::getenv("ZELVANE_CUPS_OUT"))
      GTEST_SKIP() << "needs the print server that tests/cups/run_cupsd_test.sh starts";
    unsetenv("ZELVANE_PRINTER");
  }
  void TearDown() override {
    unsetenv("ZELVANE_PRINTER");
    PrintBook::TearDown();
  }

  static fs::path Out(const std::string& queue) { return fs::path(std::getenv("ZELVANE_CUPS_OUT")) / queue; }

  // The PDFs cups-pdf wrote for the queue, in job order.
  static std::vector<fs::path> Outputs(const std::string& queue) {
    std::vector<std::pair<int, fs::path>> found;
    const std::regex job(".*job_([0-9]+)\\.pdf");
    for (const auto& e : fs::directory_iterator(Out(queue))) {
      std::smatch m;
      std::string name = e.path().filename().string();
      if (std::regex_match(name, m, job)) found.emplace_back(std::stoi(m[1].str()), e.path());
    }
    std::sort(found.begin(), found.end());
    std::vector<fs::path> out;
    for (auto& f : found) out.push_back(f.second);
    return out;
  }

  // "612 x 792 pts (letter)", as pdfinfo gives the first page's size.
  static std::string PageSize(const fs::path& pdf) {
    std::smatch m;
    std::string info = PdfInfo(pdf);
    return std::regex_search(info, m, std::regex("Page size: +([^\n]*)")) ? m[1].str() : info;
  }

  static std::string JobMedia(int id) {
    ipp_t* request = ippNewRequest(IPP_OP_GET_JOB_ATTRIBUTES);
    std::string uri = "ipp://localhost/jobs/" + std::to_string(id);
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_URI, "job-uri", nullptr, uri.c_str());
    ippAddString(request, IPP_TAG_OPERATION, IPP_TAG_NAME, "requesting-user-name", nullptr, cupsUser());
    ipp_t* response = cupsDoRequest(CUPS_HTTP_DEFAULT, request, "/");
    std::string media;
    if (ipp_attribute_t* a = ippFindAttribute(response, "media", IPP_TAG_ZERO)) {
      const char* v = ippGetString(a, 0, nullptr);
      media = v ? v : "";
    }
    ippDelete(response);
    return media;
  }

  // The queue's jobs once count of them are done and cups-pdf has written each.
  static std::vector<Job> FinishedJobs(const std::string& queue, size_t count) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::minutes(5);
    std::vector<Job> jobs;
    while (true) {
      cups_job_t* list = nullptr;
      int n = cupsGetJobs2(CUPS_HTTP_DEFAULT, &list, queue.c_str(), 0, CUPS_WHICHJOBS_ALL);
      jobs.clear();
      bool done = true;
      for (int i = 0; i < n; ++i) {
        jobs.push_back({list[i].id, list[i].title ? list[i].title : "", list[i].state, ""});
        done = done && list[i].state >= IPP_JSTATE_CANCELED;
      }
      cupsFreeJobs(n, list);
      if ((done && jobs.size() >= count && Outputs(queue).size() >= count) ||
          std::chrono::steady_clock::now() > limit)
        break;
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    std::sort(jobs.begin(), jobs.end(), [](const Job& a, const Job& b) { return a.id < b.id; });
    for (Job& j : jobs) j.media = JobMedia(j.id);
    return jobs;
  }
};

TEST_F(RealQueues, EachPrinterGivesItsOwnPaperAndPrintableArea) {
  struct Case {
    const char* queue;
    double width, height;
    host::geodata::Envelope printable;
    const char* media;
  };
  const double a4w = 595 / 72.0, a4h = 842 / 72.0;  // as the queue's PPD has it, in points
  for (const Case& c : {Case{"Letter", 8.5, 11, {0, 0, 8.5, 11}, "na_letter_8.5x11in"},
                        Case{"A4", a4w, a4h, {0, 0, a4w, a4h}, "iso_a4_210x297mm"},
                        Case{"Margins", 8.5, 11, {0.25, 0.5, 8.25, 10.5}, "oe_letter_8.5x11in"}}) {
    SCOPED_TRACE(c.queue);
    host::render::CupsPrinter p(c.queue);
    double w = 0, h = 0;
    p.QueryPaperSize(w, h);
    EXPECT_NEAR(w, c.width, 0.002);
    EXPECT_NEAR(h, c.height, 0.002);
    host::geodata::Envelope area = p.PrintableBounds();
    EXPECT_NEAR(area.XMin(), c.printable.XMin(), 0.002);
    EXPECT_NEAR(area.YMin(), c.printable.YMin(), 0.002);
    EXPECT_NEAR(area.XMax(), c.printable.XMax(), 0.002);
    EXPECT_NEAR(area.YMax(), c.printable.YMax(), 0.002);
    EXPECT_EQ(p.Media(), c.media);
    EXPECT_EQ(p.Resolution(), 300);
  }
}

// The user's own choice of paper for a printer (lpoptions) comes before the printer's.
TEST_F(RealQueues, TheUsersPaperChoiceComesFirst) {
  fs::path options = fs::path(std::getenv("HOME")) / ".cups" / "lpoptions";
  fs::create_directories(options.parent_path());
  testing_support::WriteFile(options, "Dest A4 media=na_legal_8.5x14in\n");
  host::render::CupsPrinter p("A4");
  fs::remove(options);
  double w = 0, h = 0;
  p.QueryPaperSize(w, h);
  EXPECT_EQ(p.Media(), "na_legal_8.5x14in");
  EXPECT_NEAR(w, 8.5, 0.002);
  EXPECT_NEAR(h, 14, 0.002);
}

TEST_F(RealQueues, AMissingPrinterIsNamedAsSuch) {
  const std::string server = cupsServer();
  setenv("ZELVANE_PRINTER", "ZPDF", 1);
  host::render::SetCurrentPrinter(nullptr);
  try {
    host::render::CurrentPrinter();
    ADD_FAILURE() << "a printer that does not exist";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 482);
    EXPECT_EQ(e.description(), "There is no printer named 'ZPDF' on the print server " + server);
  }
  unsetenv("ZELVANE_PRINTER");  // the server has no default printer
  try {
    host::render::CurrentPrinter();
    ADD_FAILURE() << "a default printer where there is none";
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 482);
    EXPECT_THAT(e.description(), HasSubstr("There is no default printer on the print server " + server));
  }
}

struct Book {
  const char* queue;
  double width, height;  // the layout, inches
  int sheets;            // printer pages for one layout page
  const char* pageSize;  // as pdfinfo gives it
  const char* media;
};

void PrintTo(const Book& b, std::ostream* os) { *os << b.queue; }

class PrintedBook : public RealQueues, public ::testing::WithParamInterface<Book> {};

// Two map pages printed with "A - Print all maps", each printer page a job of its own.
TEST_P(PrintedBook, ComesOutOnThePrintersPaperWithItsText) {
  const Book& b = GetParam();
  Start(2, 1, b.width, b.height);
  setenv("ZELVANE_PRINTER", b.queue, 1);
  host::render::SetCurrentPrinter(nullptr);
  main().btnPrint.click();
  EXPECT_TRUE(Boxes().empty()) << Boxes().front().text;

  const size_t count = 2 * size_t(b.sheets);
  std::vector<Job> jobs = FinishedJobs(b.queue, count);
  std::vector<fs::path> pdfs = Outputs(b.queue);
  ASSERT_EQ(jobs.size(), count);
  ASSERT_EQ(pdfs.size(), count);
  for (size_t i = 0; i < count; ++i) {
    SCOPED_TRACE("job " + std::to_string(jobs[i].id));
    EXPECT_EQ(jobs[i].state, IPP_JSTATE_COMPLETED);
    EXPECT_EQ(jobs[i].title, i < size_t(b.sheets) ? "town.json \u2013 A1" : "town.json \u2013 A2");
    EXPECT_EQ(jobs[i].media, b.media);
    EXPECT_EQ(PageSize(pdfs[i]), b.pageSize);
  }
  // The title and the date stand at the top left, on the first sheet of each page: as
  // text, not as a picture of it, and whole.
  for (size_t first : {size_t(0), size_t(b.sheets)}) {
    std::string text = PdfText(pdfs[first]);
    EXPECT_THAT(text, HasSubstr("Zelvane town atlas"));
    EXPECT_TRUE(std::regex_search(text, std::regex("(^|\\s)[0-9]{1,2}/[0-9]{1,2}/[0-9]{4}(\\s|$)"))) << text;
  }
}

INSTANTIATE_TEST_SUITE_P(Queues, PrintedBook,
                         ::testing::Values(Book{"Letter", 8.5, 11, 1, "612 x 792 pts (letter)", "na_letter_8.5x11in"},
                                           Book{"A4", 210 / 25.4, 297 / 25.4, 1, "595 x 842 pts (A4)",
                                                "iso_a4_210x297mm"},
                                           Book{"Margins", 8.5, 11, 4, "612 x 792 pts (letter)", "oe_letter_8.5x11in"}),
                         [](const ::testing::TestParamInfo<Book>& i) { return std::string(i.param.queue); });

}  // namespace
