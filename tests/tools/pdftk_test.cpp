// SPDX-License-Identifier: GPL-3.0-or-later
// The PDF join program, run as the export run runs it: a separate program with a
// Windows-style command line.

#include <cairo-pdf.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
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

  // Several pages in one file, all in the same font: the file holds the font once.
  static void MakePages(const fs::path& file, const std::vector<std::string>& texts) {
    cairo_surface_t* s = cairo_pdf_surface_create(file.c_str(), 612, 792);
    cairo_t* cr = cairo_create(s);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 24);
    for (const std::string& text : texts) {
      cairo_move_to(cr, 72, 72);
      cairo_show_text(cr, text.c_str());
      cairo_rectangle(cr, 72, 100, 200, 100);
      cairo_stroke(cr);
      cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }

  // A page with a raster of noise, whose image stream no compression makes small.
  static void MakeRasterPage(const fs::path& file, int side) {
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, side, side);
    cairo_surface_flush(image);
    unsigned char* pixels = cairo_image_surface_get_data(image);
    uint32_t state = 12345;
    for (int i = 0; i < cairo_image_surface_get_stride(image) * side; ++i) {
      state = state * 1664525u + 1013904223u;
      pixels[i] = static_cast<unsigned char>(state >> 24);
    }
    cairo_surface_mark_dirty(image);
    cairo_surface_t* s = cairo_pdf_surface_create(file.c_str(), side, side);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_surface(cr, image, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_destroy(s);
    cairo_surface_destroy(image);
  }

  // A PDF made of the given objects (numbered from 1, the first the catalog), with a
  // cross-reference table that points at them.
  static void MakeRawPdf(const fs::path& file, const std::vector<std::string>& objects) {
    std::string pdf = "%PDF-1.6\n";
    std::vector<size_t> offsets;
    for (size_t i = 0; i < objects.size(); ++i) {
      offsets.push_back(pdf.size());
      pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (size_t at : offsets) {
      char line[24];
      std::snprintf(line, sizeof line, "%010zu 00000 n \n", at);
      pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    WriteFile(file, pdf);
  }
  static std::string Stream(const std::string& data) {
    return "<< /Length " + std::to_string(data.size()) + " >>\nstream\n" + data + "\nendstream";
  }

  std::string PageText(const fs::path& file, int page) {
    std::string p = std::to_string(page);
    return Run("pdftotext", {"-f", p, "-l", p, file.string(), "-"}).out;
  }
  // "400 x 300 pts, 90": the page's size and rotation as a reader shows them.
  std::string PageBox(const fs::path& file, int page) {
    std::string p = std::to_string(page);
    std::string info = Run("pdfinfo", {"-f", p, "-l", p, file.string()}).out;
    auto field = [&](const std::string& name) {
      size_t at = info.find("Page" + std::string(5 - p.size(), ' ') + p + " " + name + ":");
      if (at == std::string::npos) return std::string("?");
      at = info.find_first_not_of(' ', info.find(':', at) + 1);
      return info.substr(at, info.find('\n', at) - at);
    };
    return field("size") + ", " + field("rot");
  }
  // No error and no warning.
  bool Clean(const fs::path& file) {
    Result r = Run("qpdf", {"--check", file.string()});
    return r.status == 0 && r.err.empty() && r.out.find("WARNING") == std::string::npos;
  }
  static size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
  }

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

  // The output spelled in another letter case is the same file: replaced, not joined.
  MakePage(dir / "Combined.pdf", "An earlier join");
  r = Pdf({(dir / "*.PDF").string(), "cat", "output", (dir / "COMBINED.pdf").string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(fs::exists(dir / "COMBINED.pdf"));
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

// Inputs of several pages and of one: every page once, in order, with its size and
// text, and what the pages of one input share (their font) written once.
TEST_F(Pdftk, JoinsManyPageAndOnePageInputsSharingWhatTheyShare) {
  MakePages(dir / "a.pdf", {"Alpha one", "Alpha two", "Alpha three"});
  MakePage(dir / "b.pdf", "Beta");
  MakePages(dir / "c.pdf", {"Gamma one", "Gamma two"});
  MakePage(dir / "d.pdf", "Delta");
  const fs::path out = dir / "joined.pdf";
  Result r = Pdf({(dir / "a.pdf").string(), (dir / "b.pdf").string(), (dir / "c.pdf").string(),
                  (dir / "d.pdf").string(), "cat", "output", out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Clean(out)) << Run("qpdf", {"--check", out.string()}).out;
  ASSERT_EQ(Pages(out), 7);
  const char* texts[] = {"Alpha one", "Alpha two", "Alpha three", "Beta", "Gamma one", "Gamma two", "Delta"};
  for (int page = 1; page <= 7; ++page) {
    EXPECT_THAT(PageText(out, page), HasSubstr(texts[page - 1])) << page;
    EXPECT_EQ(PageBox(out, page), "612 x 792 pts (letter), 0") << page;
  }
  // One font per input, not one per page.
  EXPECT_EQ(Count(ReadFile(out), "/Type /FontDescriptor"), 4u);
  // The pages look as they did in their own files.
  Result before = Run("pdftoppm", {"-r", "30", "-gray", "-f", "2", "-l", "2", (dir / "a.pdf").string()});
  Result after = Run("pdftoppm", {"-r", "30", "-gray", "-f", "2", "-l", "2", out.string()});
  EXPECT_FALSE(before.out.empty());
  EXPECT_TRUE(before.out == after.out);
}

// What a page inherits from the page tree (its box, its resources, its rotation) stays
// with it in the joined file, and a link to another page of its file still leads there.
TEST_F(Pdftk, PagesKeepWhatTheyInheritAndTheirLinks) {
  const std::string font = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";
  MakeRawPdf(dir / "tree.pdf",
             {"<< /Type /Catalog /Pages 2 0 R >>",
              "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 /MediaBox [0 0 400 300]"
              " /Resources << /Font << /F1 6 0 R >> >> >>",
              "<< /Type /Page /Parent 2 0 R /Contents 7 0 R /Tag#20One /Odd#23Name /Note (a\\)b\\\\c)"
              " /Annots [<< /Type /Annot /Subtype /Link /Rect [0 0 50 50] /Dest [5 0 R /Fit] >>] >>",
              "<< /Type /Pages /Parent 2 0 R /Kids [8 0 R] /Count 1 /Rotate 90 >>",
              "<< /Type /Page /Parent 2 0 R /Contents 9 0 R /MediaBox [0 0 200 100] /Rotate 180 >>", font,
              Stream("BT /F1 18 Tf 20 200 Td (Inherited box) Tj ET"),
              "<< /Type /Page /Parent 4 0 R /Contents 10 0 R >>",
              Stream("BT /F1 18 Tf 20 50 Td (Own box) Tj ET"),
              Stream("BT /F1 18 Tf 20 200 Td (Inherited turn) Tj ET")});
  MakePage(dir / "plain.pdf", "Plain");
  ASSERT_TRUE(Clean(dir / "tree.pdf"));
  const fs::path out = dir / "joined.pdf";
  Result r = Pdf({(dir / "plain.pdf").string(), (dir / "tree.pdf").string(), "cat", "output", out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Clean(out)) << Run("qpdf", {"--check", out.string()}).err;
  ASSERT_EQ(Pages(out), 4);
  EXPECT_EQ(PageBox(out, 1), "612 x 792 pts (letter), 0");
  EXPECT_EQ(PageBox(out, 2), "400 x 300 pts, 0");
  EXPECT_EQ(PageBox(out, 3), "400 x 300 pts, 90");
  EXPECT_EQ(PageBox(out, 4), "200 x 100 pts, 180");
  EXPECT_THAT(PageText(out, 2), HasSubstr("Inherited box"));
  EXPECT_THAT(PageText(out, 3), HasSubstr("Inherited turn"));
  EXPECT_THAT(PageText(out, 4), HasSubstr("Own box"));
  // The highest version of the inputs.
  EXPECT_EQ(ReadFile(out).substr(0, 8), "%PDF-1.6");

  // "page 2: 12 0 R" ...: the link on page 2 leads to page 4.
  std::string listing = Run("qpdf", {"--show-pages", out.string()}).out;
  auto object_of = [&](int page) {
    size_t at = listing.find("page " + std::to_string(page) + ": ");
    return at == std::string::npos ? std::string("?") : listing.substr(at + 8, listing.find(" R", at) - at - 8);
  };
  const std::string link_page = object_of(2);
  std::string page2 = Run("qpdf", {"--show-object=" + link_page.substr(0, link_page.find(' ')), out.string()}).out;
  EXPECT_THAT(page2, HasSubstr("/Dest [ " + object_of(4) + " R /Fit ]"));
  // Names and strings read back as they were (a '#' left bare in a name would have
  // made qpdf warn above).
  EXPECT_THAT(page2, HasSubstr("/Tag#20One /Odd"));
  EXPECT_THAT(page2, HasSubstr("/Note (a\\)b\\\\c)"));
}

TEST_F(Pdftk, JoinsAnEncryptedInputAsItReads) {
  MakePage(dir / "open.pdf", "Open page");
  MakePage(dir / "locked source.pdf", "Locked page");
  ASSERT_EQ(Run("qpdf", {"--encrypt", "", "owner", "256", "--", (dir / "locked source.pdf").string(),
                         (dir / "locked.pdf").string()}).status, 0);
  const fs::path out = dir / "joined.pdf";
  Result r = Pdf({(dir / "open.pdf").string(), (dir / "locked.pdf").string(), "cat", "output", out.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(Clean(out));
  EXPECT_THAT(PageText(out, 2), HasSubstr("Locked page"));
  EXPECT_THAT(Run("qpdf", {"--show-encryption", out.string()}).out, HasSubstr("not encrypted"));
}

// An input that cannot be read part way through the join: the output written so far is
// thrown away, and an earlier output stays as it was.
TEST_F(Pdftk, AFaultyInputLeavesTheEarlierOutputWhole) {
  MakePage(dir / "1.pdf", "One");
  MakePages(dir / "2.pdf", {"Two", "Two again"});
  MakePage(dir / "4.pdf", "Four");
  const fs::path out = dir / "Combined.pdf";
  ASSERT_EQ(Pdf({(dir / "*.pdf").string(), "cat", "output", out.string()}).status, 0);
  const std::string earlier = ReadFile(out);
  ASSERT_EQ(Pages(out), 4);

  // A page file cut short, as a killed export leaves it, among the pages.
  std::string page = ReadFile(dir / "1.pdf");
  WriteFile(dir / "3.pdf", page.substr(0, page.find("stream\n") + 10));
  Result r = Pdf({(dir / "*.pdf").string(), "cat", "output", out.string()});
  EXPECT_NE(r.status, 0);
  EXPECT_TRUE(OneLine(r.err)) << r.err;
  EXPECT_THAT(r.err, HasSubstr("cannot read '" + (dir / "3.pdf").string() + "'"));
  EXPECT_TRUE(ReadFile(out) == earlier);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 5) << "no temporary file left";
}

// The disk takes no more bytes (here a limit on the file size) while the join writes:
// in the middle of an image's data, or at the end. The output is named, and the
// earlier one stays.
TEST_F(Pdftk, AnOutputThatCannotBeWrittenLeavesTheEarlierOneWhole) {
  MakePage(dir / "1.pdf", "One");
  MakeRasterPage(dir / "2.pdf", 800);
  ASSERT_GT(fs::file_size(dir / "2.pdf"), 1500000u);
  const fs::path out = dir / "Combined.pdf";
  ASSERT_EQ(Pdf({(dir / "1.pdf").string(), "cat", "output", out.string()}).status, 0);
  const std::string earlier = ReadFile(out);
  const std::string one = ShellQuote((dir / "1.pdf").string()), two = ShellQuote((dir / "2.pdf").string());
  // The limit in blocks, and the inputs: the program's first megabyte is written while
  // the image is piped; a short join is written whole at the end.
  for (const auto& [blocks, inputs] : {std::pair<std::string, std::string>{"1000", two + " " + one}, {"1", one}}) {
    Result r = testing_support::RunCommand("trap '' XFSZ; ulimit -f " + blocks + "; exec " +
                                           ShellQuote(ZELVANE_PDFTK_EXE) + " " + inputs + " cat output " +
                                           ShellQuote(out.string()));
    EXPECT_EQ(r.status, 1) << blocks;
    EXPECT_TRUE(OneLine(r.err)) << r.err;
    EXPECT_THAT(r.err, HasSubstr("cannot write '" + out.string() + "'")) << blocks;
    EXPECT_TRUE(ReadFile(out) == earlier);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 3)
        << "no temporary file left";
  }
}

}  // namespace
