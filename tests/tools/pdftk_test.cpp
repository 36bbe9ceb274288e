// SPDX-License-Identifier: GPL-3.0-or-later
// The PDF join program, run as the export run runs it: a separate program with a
// Windows-style command line.

#include <cairo-pdf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::TempDir;
using testing_support::WriteFile;
using ::testing::HasSubstr;
using ::testing::Not;

namespace {

using Result = testing_support::CommandResult;
using testing_support::ShellQuote;

class Pdftk : public ::testing::Test {
 protected:
  // Arguments are given one by one, each quoted for the shell, so that patterns reach
  // the program unexpanded, as they do from the export run.
  Result Run(const std::string& program, const std::vector<std::string>& args) {
    std::string cmd = ShellQuote(program);
    for (const std::string& a : args) cmd += " " + ShellQuote(a);
    return testing_support::RunCommand(cmd);
  }
  Result Pdf(const std::vector<std::string>& args) { return Run(ZELVANE_PDFTK_EXE, args); }

  // A one-page PDF that reads "text".
  static void MakePage(const fs::path& file, const std::string& text) {
    cairo_surface_t* s = cairo_pdf_surface_create(file.c_str(), 612, 792);
    cairo_t* cr = cairo_create(s);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 24);
    cairo_move_to(cr, 72, 72);
    cairo_show_text(cr, text.c_str());
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }

  int Pages(const fs::path& file) {
    Result r = Run("qpdf", {"--show-npages", file.string()});
    return r.status == 0 ? std::stoi(r.out) : -1;
  }
  std::string Text(const fs::path& file) { return Run("pdftotext", {file.string(), "-"}).out; }

  static bool OneLine(const std::string& err) {
    return !err.empty() && err.find('\n') == err.size() - 1 && err.rfind("pdftk: ", 0) == 0;
  }

  TempDir dir;
};

TEST_F(Pdftk, JoinsEveryMatchOfAPatternInNameOrder) {
  MakePage(dir / "page_b.pdf", "Second page");
  MakePage(dir / "Page_A.pdf", "First page");
  MakePage(dir / "page_c.PDF", "Third page");
  WriteFile(dir / "notes.txt", "not a PDF and not matched");
  Result r = Pdf({(dir / "*.pdf").string(), "cat", "output", (dir / "Combined.pdf").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(Pages(dir / "Combined.pdf"), 3);
  EXPECT_EQ(Run("qpdf", {"--check", (dir / "Combined.pdf").string()}).status, 0);
  std::string text = Text(dir / "Combined.pdf");
  size_t first = text.find("First page"), second = text.find("Second page"), third = text.find("Third page");
  ASSERT_NE(third, std::string::npos);
  EXPECT_LT(first, second);
  EXPECT_LT(second, third);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5) << "no temporary file left";
}

TEST_F(Pdftk, NeverJoinsItsOwnOutputIntoItself) {
  MakePage(dir / "1.pdf", "One");
  MakePage(dir / "2.pdf", "Two");
  MakePage(dir / "3.pdf", "Three");
  MakePage(dir / "Combined.pdf", "An earlier join");
  Result r = Pdf({(dir / "*.pdf").string(), "cat", "output", (dir / "Combined.pdf").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Pages(dir / "Combined.pdf"), 3);
  EXPECT_THAT(Text(dir / "Combined.pdf"), Not(HasSubstr("earlier")));

  Result named = Pdf({(dir / "1.pdf").string(), (dir / "Combined.pdf").string(), "cat", "output", (dir / "Combined.pdf").string()});
  EXPECT_NE(named.status, 0);
  EXPECT_THAT(named.err, HasSubstr("output file"));
  EXPECT_EQ(Pages(dir / "Combined.pdf"), 3) << "the earlier output is untouched";
}

TEST_F(Pdftk, TakesWindowsPathsThroughTheDriveMap) {
  // The test program points drive C at a folder of its own; the child sees the same map.
  fs::path out = testing_support::DrivesRoot() / "c" / "Map Output";
  fs::create_directories(out);
  MakePage(out / "Sheet 01.pdf", "Sheet one");
  MakePage(out / "Sheet 02.pdf", "Sheet two");
  Result r = Pdf({"C:\\Map Output\\*.pdf", "cat", "output", "C:\\Map Output\\Combined.pdf"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Pages(out / "Combined.pdf"), 2);

  // Inputs named one by one keep their order.
  r = Pdf({"c:\\map output\\Sheet 02.pdf", "C:\\Map Output\\Sheet 01.pdf", "cat", "output", (out / "Two.pdf").string()});
  EXPECT_EQ(r.status, 0) << r.err;
  std::string text = Text(out / "Two.pdf");
  EXPECT_LT(text.find("Sheet two"), text.find("Sheet one"));
  fs::remove_all(out);
}

TEST_F(Pdftk, RefusesWhatItDoesNotDoWithOneLineAndNoOutput) {
  MakePage(dir / "a.pdf", "A");
  WriteFile(dir / "broken.pdf", "%PDF-1.4 this is not really a PDF");
  const std::string a = (dir / "a.pdf").string(), out = (dir / "out.pdf").string();
  const std::vector<std::vector<std::string>> refused = {
      {a, "output", out},                                    // no cat
      {a, "cat"},                                            // no output
      {a, "cat", "output"},                                  // no file
      {a, "cat", "1-2", "output", out},                      // page ranges
      {a, "burst", "output", out},                           // another operation
      {"A=" + a, "cat", "A", "output", out},                 // handles
      {a, "cat", "output", out, "compress"},                 // options after the output
      {(dir / "*.xyz").string(), "cat", "output", out},      // nothing matches
      {(dir / "missing.pdf").string(), "cat", "output", out},
      {(dir / "broken.pdf").string(), "cat", "output", out},
      {a, "cat", "output", (dir / "no folder" / "out.pdf").string()},
      {"cat", "output", out},                                // no inputs
  };
  for (const auto& args : refused) {
    Result r = Pdf(args);
    std::string line;
    for (const auto& x : args) line += x + " ";
    EXPECT_NE(r.status, 0) << line;
    EXPECT_TRUE(OneLine(r.err)) << line << "-> " << r.err;
    EXPECT_FALSE(fs::exists(out)) << line;
  }
  EXPECT_THAT(Pdf({(dir / "broken.pdf").string(), "cat", "output", out}).err, HasSubstr("broken.pdf"));
  EXPECT_THAT(Pdf({a, "cat", "1-2", "output", out}).err, HasSubstr("page ranges"));

  Result usage = Pdf({});
  EXPECT_NE(usage.status, 0);
  EXPECT_THAT(usage.err, HasSubstr("usage: pdftk"));
  EXPECT_EQ(Pdf({"--help"}).status, 0);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2) << "nothing written";
}

// Many stars against names that do not match: the matcher answers at once rather than
// trying every way to split the name (22 stars once took 19 seconds).
TEST_F(Pdftk, PatternsWithManyStarsMatchAsWindowsDoes) {
  MakePage(dir / "aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab.pdf", "Long");
  MakePage(dir / "Short.PDF", "Short");
  std::string stars(22, '*');
  Result none = Pdf({(dir / (stars + "x.pdf")).string(), "cat", "output", (dir / "out.pdf").string()});
  EXPECT_NE(none.status, 0);
  EXPECT_THAT(none.err, HasSubstr("no file matches"));
  std::string a_star;
  for (int i = 0; i < 22; ++i) a_star += "a*";
  Result one = Pdf({(dir / (a_star + "b.pdf")).string(), "cat", "output", (dir / "out.pdf").string()});
  ASSERT_EQ(one.status, 0) << one.err;
  EXPECT_EQ(Pages(dir / "out.pdf"), 1);
  // A page another program is still writing whole is no input.
  MakePage(dir / ".Short.pdf.partial-a1b2c3.pdf", "Half");
  // "?" is one character, case does not count, "*" may be empty.
  Result some = Pdf({(dir / "s?ort*.pdf").string(), "cat", "output", (dir / "out2.pdf").string()});
  ASSERT_EQ(some.status, 0) << some.err;
  EXPECT_THAT(Text(dir / "out2.pdf"), HasSubstr("Short"));
  EXPECT_EQ(Pages(dir / "out2.pdf"), 1);
  Result all = Pdf({(dir / "*.pdf").string(), "cat", "output", (dir / "out3.pdf").string()});
  ASSERT_EQ(all.status, 0) << all.err;
  EXPECT_THAT(Text(dir / "out3.pdf"), Not(HasSubstr("Half")));
}

// A folder may hold in its name what the file system allows: quotes, blanks, and the
// wildcard characters themselves.
TEST_F(Pdftk, FolderNamesAreTakenAsTheyStand) {
  for (const char* name : {"q\"uote", "a\"b\"c", "star*", "what?"}) {
    fs::path folder = dir / name / "pages";
    fs::create_directories(folder);
    MakePage(folder / "1.pdf", "One");
    MakePage(folder / "2.pdf", "Two");
    Result r = Pdf({(folder / "*.pdf").string(), "cat", "output", (folder / "Combined.pdf").string()});
    ASSERT_EQ(r.status, 0) << name << ": " << r.err;
    EXPECT_EQ(Pages(folder / "Combined.pdf"), 2) << name;
  }
  Result r = Pdf({(dir / "no*such" / "*.pdf").string(), "cat", "output", (dir / "out.pdf").string()});
  EXPECT_THAT(r.err, HasSubstr("wildcards are only taken in the file name"));
}

}  // namespace
