// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cairo.h>
#include <unistd.h>

#include "host/carto/page_layout.h"
#include "host/render/printer.h"
#include "host/win/fso.h"
#include "host/win/whole_file.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/common/modTolmirex.h"
#include "mapbooks/mapbooks_fixture.h"
#include "mapbooks/output/modExportFunctions.h"

using namespace mapbooks;
using modExportFunctions::ExportActiveView2;
using modExportFunctions::strZeroFill;
namespace fs = std::filesystem;

namespace {

std::pair<int, int> png_size(const fs::path& path) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  std::pair<int, int> size{cairo_image_surface_get_width(s), cairo_image_surface_get_height(s)};
  cairo_surface_destroy(s);
  return size;
}

class ExportAndPrint : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown();
    doc().FocusMap()->AddLayer(Layer("grid"));
    StartProgram();
    host::ui::ClearBoxLog();
    fs::create_directories(out());
  }
  void TearDown() override {
    host::render::SetCurrentPrinter(nullptr);
    fs::remove_all(DriveC() / "out");
    ProgramTest::TearDown();
  }
  static fs::path out() { return DriveC() / "out"; }
};

}  // namespace

TEST(StrZeroFill, OneDigitMoreThanTheWidth) {
  EXPECT_EQ(strZeroFill("1", 3), "0001");
  EXPECT_EQ(strZeroFill("42", 3), "0042");
  EXPECT_EQ(strZeroFill("100", 3), "0100");
  EXPECT_EQ(strZeroFill("1000", 3), "1000");
  EXPECT_EQ(strZeroFill("5", 1), "05");
  EXPECT_EQ(strZeroFill("12", 1), "12");
  EXPECT_EQ(strZeroFill("0", 4), "0");
  EXPECT_EQ(strZeroFill("", 4), "");
}

TEST_F(ExportAndPrint, PixelSizesFollowTheResolutionAndTheExportFrame) {
  doc().SetActiveView(doc().PageLayout());
  int32_t r = 96;
  ExportActiveView2(r, "PNG", "C:\\out", "page");
  EXPECT_EQ(png_size(out() / "page.png"), (std::pair<int, int>{816, 1056}));
  // Data view with a data window of 1000 x 750 pixels.
  doc().SetActiveView(*doc().FocusMap());
  doc().SetDataWindowSize(1000, 750);
  r = 300;
  ExportActiveView2(r, "PNG", "C:\\out\\", "data");  // a trailing backslash gives the same path
  EXPECT_EQ(png_size(out() / "data.png"), (std::pair<int, int>{3125, 2344}));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(ExportAndPrint, FilesAreReplacedAndFormatsNamedExactly) {
  testing_support::WriteFile(out() / "p.png", "old");
  int32_t r = 50;
  ExportActiveView2(r, "PNG", "C:\\out", "p");
  EXPECT_NE(testing_support::ReadFile(out() / "p.png"), "old");
  ExportActiveView2(r, "AI", "C:\\out", "p");
  EXPECT_TRUE(fs::exists(out() / "p.ai"));
  for (const char* f : {"JPG", "GIF", "EMF", "BMP", "TIF", "PDF", "SVG"}) ExportActiveView2(r, f, "C:\\out", "p");
  for (const char* ext : {"jpg", "gif", "emf", "bmp", "tif", "pdf", "svg"})
    EXPECT_TRUE(fs::exists(out() / (std::string("p.") + ext))) << ext;
  Answer(host::ui::vbOK);
  ExportActiveView2(r, "png", "C:\\out", "lower");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Invalid Export Format: png");
  EXPECT_FALSE(fs::exists(out() / "lower.png"));
  Answer(host::ui::vbOK);
  r = 40000;  // beyond 16 bits
  ExportActiveView2(r, "PNG", "C:\\out", "big");
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 6\r\nMODULE: ExportActiveView2 modExportFunctions "),
            std::string::npos);
}

// A page is rewritten whole: the old one stays until the new one replaces it, also
// when the new one cannot be written; a temporary left by a killed run goes at the
// next write in that folder.
TEST_F(ExportAndPrint, TheOldPageStaysUntilTheNewOneIsWhole) {
  doc().SetActiveView(doc().PageLayout());
  int32_t r = 20;
  ExportActiveView2(r, "PNG", "C:\\out", "p");
  const std::string first = testing_support::ReadFile(out() / "p.png");
  r = 30000;  // more pixels than a page image may have: the write fails
  Answer(host::ui::vbOK);
  ExportActiveView2(r, "PNG", "C:\\out", "p");
  EXPECT_NE(Boxes().back().text.find("MODULE: ExportActiveView2 modExportFunctions "), std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(out() / "p.png"), first);

  fs::path leftover;
  ::close(host::win::CreateTemporaryBeside(out() / "p.png", leftover));  // as a killed writer leaves it
  ASSERT_TRUE(fs::exists(leftover));
  r = 25;
  ExportActiveView2(r, "PNG", "C:\\out", "p");
  EXPECT_NE(testing_support::ReadFile(out() / "p.png"), first);
  EXPECT_FALSE(fs::exists(leftover));
  EXPECT_EQ(std::distance(fs::directory_iterator(out()), fs::directory_iterator()), 1);

  // A page the user made read-only is refused and kept, as a delete of it would be.
  host::win::FileSystemObject().SetReadOnly("C:\\out\\p.png", true);
  const std::string locked = testing_support::ReadFile(out() / "p.png");
  Answer(host::ui::vbOK);
  ExportActiveView2(r, "PNG", "C:\\out", "p");
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 70\r\n"), std::string::npos);
  EXPECT_EQ(testing_support::ReadFile(out() / "p.png"), locked);
  host::win::FileSystemObject().SetReadOnly("C:\\out\\p.png", false);
}

TEST_F(ExportAndPrint, PrintingSendsOneJobPerPrinterPage) {
  auto printer = std::make_shared<host::render::SpoolPrinter>();
  printer->SetFolder("C:\\out\\printer");
  printer->SetResolution(100);
  host::render::SetCurrentPrinter(printer);
  doc().SetActiveView(doc().PageLayout());
  modTolmirex::fPrint();
  EXPECT_EQ(printer->JobsSent(), 1);
  doc().PageLayout().Page().PutSize(17, 22);  // four sheets of Letter
  modTolmirex::fPrint();
  EXPECT_EQ(printer->JobsSent(), 5);
  EXPECT_EQ(printer->JobFiles().size(), 5u);
  // In data view there is no page layout to print.
  doc().SetActiveView(*doc().FocusMap());
  Answer(host::ui::vbOK);
  modTolmirex::fPrint();
  EXPECT_EQ(printer->JobsSent(), 5);
  EXPECT_NE(Boxes().back().text.find("MODULE: fPrint modTolmirex "), std::string::npos);
}

TEST(PrinterDeviceFrame, AMetafilePrinterGetsTheFrameAtTheOrigin) {
  host::geodata::Envelope bounds;
  bounds.PutCoords(100, 50, 2100, 3050);
  EXPECT_EQ(modTolmirex::PrinterDeviceFrame(bounds, true), (host::carto::PixelRect{0, 0, 2000, 3000}));
  EXPECT_EQ(modTolmirex::PrinterDeviceFrame(bounds, false), (host::carto::PixelRect{100, 50, 2100, 3050}));
}
