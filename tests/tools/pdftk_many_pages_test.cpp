// SPDX-License-Identifier: GPL-3.0-or-later
// A long export run's join: hundreds of page files into one, with the few open files a
// desktop session allows a program.

#include <cairo-pdf.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "support/run_command.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using testing_support::RunCommand;
using testing_support::ShellQuote;

namespace {

// The page files of a run: "Mapbook0001.pdf" ... each reading "Page n".
void WritePages(const fs::path& folder, int count) {
  for (int n = 1; n <= count; ++n) {
    char name[32];
    std::snprintf(name, sizeof name, "Mapbook%04d.pdf", n);
    cairo_surface_t* s = cairo_pdf_surface_create((folder / name).c_str(), 300, 200);
    cairo_t* cr = cairo_create(s);
    cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, 20);
    cairo_move_to(cr, 20, 40);
    cairo_show_text(cr, ("Page " + std::to_string(n)).c_str());
    cairo_destroy(cr);
    cairo_surface_destroy(s);
  }
}

std::string PageText(const fs::path& pdf, int page) {
  std::string p = std::to_string(page);
  return RunCommand("pdftotext -f " + p + " -l " + p + " " + ShellQuote(pdf.string()) + " -").out;
}

TEST(PdftkManyPages, JoinsMorePagesThanItMayOpenFilesAtOnce) {
  testing_support::TempDir dir;
  WritePages(dir.path(), 300);
  const fs::path combined = dir / "Combined.pdf";
  auto r = RunCommand("(ulimit -n 64 && exec " + ShellQuote(ZELVANE_PDFTK_EXE) + " " +
                      ShellQuote((dir / "*.pdf").string()) + " cat output " + ShellQuote(combined.string()) + ")");
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(RunCommand("qpdf --check " + ShellQuote(combined.string())).status, 0);
  EXPECT_EQ(RunCommand("qpdf --show-npages " + ShellQuote(combined.string())).out, "300\n");
  EXPECT_NE(PageText(combined, 1).find("Page 1\n"), std::string::npos);
  EXPECT_NE(PageText(combined, 150).find("Page 150\n"), std::string::npos);
  EXPECT_NE(PageText(combined, 300).find("Page 300\n"), std::string::npos);
}

}  // namespace
