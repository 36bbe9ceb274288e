// SPDX-License-Identifier: GPL-3.0-or-later
// The spool folder as more than one writer meets it: job numbers claimed so that no two
// jobs take one, names in the folder that are no jobs, and the page-group rewrite that
// must not take a job's temporary file from under it.

#include <cairo-pdf.h>
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <set>

#include "host/render/detail/pdf_groups.h"
#include "host/render/device.h"
#include "host/render/printer.h"
#include "host/vb/error.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using host::vb::Error;
using namespace host::render;
using render_test::Quote;
using render_test::RunCommand;
using testing_support::ReadFile;
using testing_support::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

class SpoolFolder : public ::testing::Test {
 protected:
  SpoolFolder() { Use(printer); }
  void Use(SpoolPrinter& p) {
    p.SetFolder(dir.path().string());
    p.SetResolution(50);
  }
  static void Start(Printer& p, const std::string& text) {
    long hdc = p.StartPrinting(Envelope(0, 0, 425, 550), 0);
    auto dc = LookupDevice(hdc);
    render_test::ShowText(dc->GetPainter(), text, 20, 100, 100);
  }
  static void Print(Printer& p, const std::string& text) {
    Start(p, text);
    p.FinishPrinting();
  }
  std::set<std::string> Names() const {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir.path())) names.insert(e.path().filename().string());
    return names;
  }
  static std::string Text(const fs::path& pdf) { return RunCommand("pdftotext " + Quote(pdf.string()) + " -").out; }
  static bool Whole(const fs::path& pdf) { return RunCommand("qpdf --check " + Quote(pdf.string())).status == 0; }
  // The error that f raises.
  template <typename F>
  static Error Raised(F f) {
    try {
      f();
    } catch (const Error& e) {
      return e;
    }
    ADD_FAILURE() << "no error";
    return Error(0);
  }

  testing_support::TempDir dir;
  SpoolPrinter printer;
};

// Two printers on one folder, each with a job open: each job gets a number of its own,
// and a job being written is not seen as a job until it is whole.
TEST_F(SpoolFolder, JobsWrittenAtOnceGetNumbersOfTheirOwn) {
  SpoolPrinter other;
  Use(other);
  Start(printer, "First");
  Start(other, "Second");
  EXPECT_TRUE(printer.JobFiles().empty());
  for (const std::string& name : Names()) EXPECT_EQ(name[0], '.') << name << " while the jobs are written";
  other.FinishPrinting();
  printer.FinishPrinting();
  EXPECT_EQ(Names(), (std::set<std::string>{"job-0001.pdf", "job-0002.pdf"}));
  EXPECT_THAT(Text(dir / "job-0001.pdf"), HasSubstr("First"));
  EXPECT_THAT(Text(dir / "job-0002.pdf"), HasSubstr("Second"));
  for (const char* job : {"job-0001.pdf", "job-0002.pdf"}) EXPECT_TRUE(Whole(dir / job)) << job;
}

// A claim whose writer holds it counts; one whose writer died is cleared and its number
// taken again.
TEST_F(SpoolFolder, OnlyTheClaimsOfLiveWritersHoldTheirNumbers) {
  WriteFile(dir / ".job-0003.pdf.claim", "");
  WriteFile(dir / ".job-0007.pdf.claim", "");
  int live = ::open((dir / ".job-0003.pdf.claim").c_str(), O_RDONLY | O_CLOEXEC);
  ASSERT_GE(live, 0);
  ASSERT_EQ(::flock(live, LOCK_EX | LOCK_NB), 0);
  Print(printer, "Fourth");
  EXPECT_EQ(Names(), (std::set<std::string>{".job-0003.pdf.claim", "job-0004.pdf"}));
  ::close(live);
  Print(printer, "Fifth");
  EXPECT_EQ(Names(), (std::set<std::string>{"job-0004.pdf", "job-0005.pdf"}));
}

// A file that takes the claimed name by other means while the job is written is kept,
// and the job fails saying so.
TEST_F(SpoolFolder, AFileThatTakesTheClaimedNameIsKept) {
  Start(printer, "Mine");
  ASSERT_TRUE(fs::exists(dir / ".job-0001.pdf.claim"));
  WriteFile(dir / "job-0001.pdf", "put there by hand");
  Error e = Raised([&] { printer.FinishPrinting(); });
  EXPECT_EQ(e.number(), 58);
  EXPECT_EQ(e.description(), "Cannot write '" + host::win::WindowsPath(dir / "job-0001.pdf") +
                                 "': another file of that name appeared meanwhile");
  EXPECT_EQ(ReadFile(dir / "job-0001.pdf"), "put there by hand");
  EXPECT_EQ(Names(), (std::set<std::string>{"job-0001.pdf"}));
  Print(printer, "Mine again");
  EXPECT_THAT(Text(dir / "job-0002.pdf"), HasSubstr("Mine again"));
}

// Names that are no jobs are passed over, whatever they hold: a number too large for
// one, a folder, names that only look alike. A folder under a job's name keeps the
// name from being used.
TEST_F(SpoolFolder, NamesThatAreNoJobsArePassedOver) {
  const std::vector<std::string> strays{"job-99999999999999999999.pdf", "job-.pdf", "job-12a.pdf", "job--4.pdf",
                                        "job-0009.pdf.txt", "Job-0011.pdf", ".job-0010.pdf"};
  for (const std::string& name : strays) WriteFile(dir / name, "stray");
  fs::create_directory(dir / "job-0003.pdf");
  fs::create_directory(dir / ".job-0005.pdf.claim");
  EXPECT_TRUE(printer.JobFiles().empty());
  Print(printer, "After the strays");
  ASSERT_EQ(printer.JobFiles(), std::vector<fs::path>{dir / "job-0006.pdf"});
  EXPECT_TRUE(Whole(dir / "job-0006.pdf"));
  for (const std::string& name : strays) EXPECT_EQ(ReadFile(dir / name), "stray") << name;
  EXPECT_TRUE(fs::is_directory(dir / "job-0003.pdf"));
}

// At the last number a job can have, printing stops with a message and writes nothing.
TEST_F(SpoolFolder, TheLastNumberEndsNumberingWithAMessage) {
  const std::string last = "job-" + std::to_string(LONG_MAX) + ".pdf";
  WriteFile(dir / last, "the last job");
  Error e = Raised([&] { Start(printer, "One too many"); });
  EXPECT_EQ(e.number(), kPrinterError);
  EXPECT_EQ(e.description(), "Cannot print on " + printer.Name() + ": the job numbers are used up (the folder holds " +
                                 last + "); move the jobs in it elsewhere and print again");
  EXPECT_EQ(Names(), std::set<std::string>{last});
  fs::remove(dir / last);
  Print(printer, "Numbered anew");
  EXPECT_EQ(Names(), std::set<std::string>{"job-0001.pdf"});
}

TEST_F(SpoolFolder, AFolderThatCannotBeReadIsAPrinterError) {
  if (::geteuid() == 0) GTEST_SKIP() << "root reads every folder";
  fs::permissions(dir.path(), fs::perms::owner_read, fs::perm_options::remove);
  Error e = Raised([&] { Start(printer, "Unread"); });
  fs::permissions(dir.path(), fs::perms::owner_read, fs::perm_options::add);
  EXPECT_EQ(e.number(), kPrinterError);
  EXPECT_THAT(e.description(), HasSubstr(": the folder cannot be read ("));
  EXPECT_TRUE(Names().empty());
}

// The rewrite of a page without its transparency group stays in the job's temporary
// file: the same file, still locked, so that another writer's clean-up of the folder
// leaves it alone.
TEST(PageGroups, TheRewriteKeepsTheTemporaryFileItsWriterHolds) {
  testing_support::TempDir dir;
  host::win::WholeFile job(dir / "job-0001.pdf");
  cairo_surface_t* surface = cairo_pdf_surface_create(job.TempPath().c_str(), 200, 200);
  cairo_t* cr = cairo_create(surface);
  cairo_rectangle(cr, 20, 20, 100, 100);
  cairo_fill(cr);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  ASSERT_THAT(ReadFile(job.TempPath()), HasSubstr("/Group"));
  struct stat before {}, after {};
  ASSERT_EQ(::stat(job.TempPath().c_str(), &before), 0);

  detail::DropNeedlessPageGroups(job.TempPath());
  ASSERT_EQ(::stat(job.TempPath().c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, before.st_ino);
  host::win::RemoveStaleTemporaries(dir.path());
  ASSERT_TRUE(fs::exists(job.TempPath()));
  job.Commit();
  EXPECT_THAT(ReadFile(dir / "job-0001.pdf"), Not(HasSubstr("/Group")));
  EXPECT_EQ(RunCommand("qpdf --check " + Quote((dir / "job-0001.pdf").string())).status, 0);
}

}  // namespace
