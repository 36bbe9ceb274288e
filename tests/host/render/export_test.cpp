// SPDX-License-Identifier: GPL-3.0-or-later
// The export classes as the command uses them: created by class identifier, a file name
// ending in the filter's extension, files replaced whole, nothing left after a failure.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cairo.h>

#include "host/render/device.h"
#include "host/render/export.h"
#include "host/vb/error.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using host::vb::Error;
using namespace host::render;
using ::testing::HasSubstr;

namespace {

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::unique_ptr<IExport> Prepared(std::string_view id, const std::string& file, double w = 200, double h = 100) {
  auto ex = CreateExport(id);
  ex->SetExportFileName(file);
  ex->SetResolution(96);
  ex->SetPixelBounds(Envelope(0, 0, w, h));
  return ex;
}

template <class F>
Error Raised(F f) {
  try {
    f();
  } catch (const Error& e) {
    return e;
  }
  ADD_FAILURE() << "no error was raised";
  return Error(0, "none");
}

TEST(ExportClasses, EachFilterEndsInItsExtension) {
  // The command takes the last three characters of the filter, the last two for AI.
  const std::map<std::string_view, std::string> extension = {
      {clsid::ExportJPEG, "jpg"}, {clsid::ExportBMP, "bmp"}, {clsid::ExportEMF, "emf"},
      {clsid::ExportGIF, "gif"},  {clsid::ExportPDF, "pdf"}, {clsid::ExportPNG, "png"},
      {clsid::ExportTIFF, "tif"}, {clsid::ExportAI, "ai"},   {clsid::ExportSVG, "svg"}};
  ASSERT_EQ(ExportClasses().size(), 9u);
  for (const ExportClass& c : ExportClasses()) {
    auto ex = CreateExport(c.classId);
    EXPECT_EQ(ex->Name(), c.name);
    const std::string& ext = extension.at(c.classId);
    std::string filter = ex->Filter();
    EXPECT_EQ(filter.substr(filter.size() - ext.size()), ext) << filter;
    EXPECT_THAT(filter, HasSubstr("(*." + ext + ")|*." + ext));
  }
}

TEST(ExportClasses, IdentifiersAreMatchedWithoutBracesOrCase) {
  EXPECT_EQ(CreateExport("69fa668c-58d9-4fd4-805c-964b5c383c8b")->Name(), "ExportPNG");
  EXPECT_EQ(CreateExport("{C5F4E89D-20FC-4C43-922C-B165D09C12AA}")->Name(), "ExportAI");
  Error e = Raised([] { CreateExport("{00000000-0000-0000-0000-000000000000}"); });
  EXPECT_EQ(e.number(), 429);
  EXPECT_THAT(e.description(), HasSubstr("{00000000-0000-0000-0000-000000000000}"));
}

TEST(ExportFrame, IsTheSizeAtNinetySixDotsPerInch) {
  EXPECT_EQ(ExportFrame(8.5, 11), (PixelRect{0, 0, 816, 1056}));
  EXPECT_EQ(ExportFrame(11, 8.5), (PixelRect{0, 0, 1056, 816}));
  // 1000.5 and 1001.5 pixels: halves go to the even neighbour.
  EXPECT_EQ(ExportFrame(1000.5 / 96, 1001.5 / 96), (PixelRect{0, 0, 1000, 1002}));
}

TEST(ExportFiles, ReplacesAnExistingFileWhole) {
  testing_support::TempDir dir;
  testing_support::WriteFile(dir / "page.png", "an older page");
  auto ex = Prepared(clsid::ExportPNG, (dir / "page.png").string());
  long hdc = ex->StartExporting();
  EXPECT_EQ(testing_support::ReadFile(dir / "page.png"), "an older page") << "untouched while the page is drawn";
  render_test::DrawPage(hdc);
  ex->FinishExporting();
  ex->Cleanup();
  EXPECT_EQ(testing_support::ReadFile(dir / "page.png").substr(1, 3), "PNG");
  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"page.png"}) << "no temporary file stays behind";
}

TEST(ExportFiles, CleanupWithoutFinishLeavesNoFile) {
  testing_support::TempDir dir;
  for (const ExportClass& c : ExportClasses()) {
    int before = OpenDeviceCount();
    auto ex = Prepared(c.classId, (dir / ("page." + std::string(c.name))).string());
    render_test::DrawPage(ex->StartExporting());
    EXPECT_EQ(OpenDeviceCount(), before + 1);
    ex->Cleanup();
    EXPECT_EQ(OpenDeviceCount(), before) << c.name;
    EXPECT_TRUE(FilesIn(dir.path()).empty()) << c.name;
  }
  // Dropping an exporter half way does the same.
  {
    auto ex = Prepared(clsid::ExportPDF, (dir / "dropped.pdf").string());
    render_test::DrawPage(ex->StartExporting());
  }
  EXPECT_TRUE(FilesIn(dir.path()).empty());
}

TEST(ExportFiles, WindowsPathsGoThroughTheDriveMap) {
  fs::path out = testing_support::DrivesRoot() / "c" / "Exports";
  fs::create_directories(out);
  auto ex = Prepared(clsid::ExportBMP, "C:\\Exports\\Page 1.bmp");
  render_test::DrawPage(ex->StartExporting());
  ex->FinishExporting();
  EXPECT_TRUE(fs::exists(out / "Page 1.bmp"));
  fs::remove_all(out);
}

TEST(ExportFiles, BadSettingsFailNamingTheFileAndWriteNothing) {
  testing_support::TempDir dir;
  const std::string file = (dir / "page.jpg").string();

  auto zero = Prepared(clsid::ExportJPEG, file, 0, 100);
  Error e = Raised([&] { zero->StartExporting(); });
  EXPECT_EQ(e.number(), 5);
  EXPECT_THAT(e.description(), HasSubstr(file));

  auto negative = Prepared(clsid::ExportJPEG, file);
  Envelope b;
  b.SetXMin(0);
  b.SetYMin(0);
  b.SetXMax(-10);
  b.SetYMax(50);
  negative->SetPixelBounds(b);
  EXPECT_EQ(Raised([&] { negative->StartExporting(); }).number(), 5);

  auto no_resolution = Prepared(clsid::ExportJPEG, file);
  no_resolution->SetResolution(0);
  EXPECT_THAT(Raised([&] { no_resolution->StartExporting(); }).description(), HasSubstr("resolution"));

  auto huge = Prepared(clsid::ExportPNG, file, 40000, 10);
  EXPECT_THAT(Raised([&] { huge->StartExporting(); }).description(), HasSubstr("40000 x 10"));

  auto missing_folder = Prepared(clsid::ExportPNG, (dir / "no such folder" / "page.png").string());
  e = Raised([&] { missing_folder->StartExporting(); });
  EXPECT_EQ(e.number(), 76);
  EXPECT_THAT(e.description(), HasSubstr("no such folder"));

  testing_support::WriteFile(dir / "a file", "");
  auto file_as_folder = Prepared(clsid::ExportSVG, (dir / "a file" / "page.svg").string());
  EXPECT_THAT(Raised([&] { file_as_folder->StartExporting(); }).description(), HasSubstr("page.svg"));

  EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"a file"});
}

TEST(ExportFiles, AFailureWhileWritingLeavesNoFile) {
  testing_support::TempDir dir;
  fs::create_directories(dir / "out");
  testing_support::WriteFile(dir / "out" / "page.tif", "kept until a new page is complete");
  auto ex = Prepared(clsid::ExportTIFF, (dir / "out" / "page.tif").string());
  long hdc = ex->StartExporting();
  render_test::DrawPage(hdc);
  // The folder goes away under the exporter.
  fs::remove_all(dir / "out");
  Error e = Raised([&] { ex->FinishExporting(); });
  EXPECT_THAT(e.description(), HasSubstr("page.tif"));
  ex->Cleanup();
  EXPECT_FALSE(fs::exists(dir / "out"));
  EXPECT_THROW(LookupDevice(hdc), Error) << "the handle is released after a failure too";
}

TEST(DeviceContexts, HandlesStandForOnePageAndAreReleased) {
  testing_support::TempDir dir;
  Error unknown = Raised([] { LookupDevice(12345); });
  EXPECT_THAT(unknown.description(), HasSubstr("12345"));

  auto a = Prepared(clsid::ExportPNG, (dir / "a.png").string(), 300, 200);
  auto b = Prepared(clsid::ExportPDF, (dir / "b.pdf").string(), 816, 1056);
  long ha = a->StartExporting();
  long hb = b->StartExporting();
  EXPECT_NE(ha, 0);
  EXPECT_NE(ha, hb);
  auto da = LookupDevice(ha), db = LookupDevice(hb);
  EXPECT_EQ(da->Width(), 300);
  EXPECT_EQ(da->Height(), 200);
  EXPECT_EQ(db->Kind(), DeviceKind::Vector);
  EXPECT_EQ(db->Width(), 816);
  EXPECT_EQ(cairo_status(db->Cairo()), CAIRO_STATUS_SUCCESS);
  EXPECT_THROW(a->StartExporting(), Error) << "one page at a time";
  a->FinishExporting();
  b->FinishExporting();
  EXPECT_THROW(LookupDevice(ha), Error);
  EXPECT_THROW(LookupDevice(hb), Error);
  EXPECT_THROW(a->FinishExporting(), Error) << "finishing twice";

  // A new page on the same exporter gets a new handle.
  long again = a->StartExporting();
  EXPECT_NE(again, ha);
  a->Cleanup();
  EXPECT_TRUE(fs::exists(dir / "a.png")) << "the finished page stays";
}

}  // namespace

namespace {

// A Letter page at 2,400 dpi is 20,400 x 26,400 pixels: 2.2 GB of memory for the image.
// The page is limited by its area as well as by its sides, and the message says what
// resolution the page can have.
TEST(ExportFiles, ARasterPageIsLimitedByAreaNamingTheHighestResolution) {
  testing_support::TempDir dir;
  const PixelRect letter = ExportFrame(8.5, 11);
  auto at = [&](std::string_view id, const std::string& name, double dpi) {
    auto ex = CreateExport(id);
    ex->SetExportFileName((dir / name).string());
    ex->SetResolution(dpi);
    ex->SetPixelBounds(Envelope(0, 0, std::nearbyint(dpi / 96 * letter.right), std::nearbyint(dpi / 96 * letter.bottom)));
    return ex;
  };
  for (auto [id, name] : {std::pair{clsid::ExportPNG, "page.png"}, std::pair{clsid::ExportTIFF, "page.tif"}}) {
    auto big = at(id, name, 2400);
    Error e = Raised([&] { big->StartExporting(); });
    EXPECT_EQ(e.number(), 5);
    EXPECT_THAT(e.description(), HasSubstr("20400 x 26400 pixels; at most 250 million pixels can be written"));
    EXPECT_THAT(e.description(), HasSubstr("The highest resolution for this page is 1635 dpi"));
    EXPECT_THAT(e.description(), HasSubstr(name));
    EXPECT_EQ(OpenDeviceCount(), 0);
  }
  EXPECT_TRUE(fs::is_empty(dir.path())) << "nothing is written";

  // A side past the limit names the side; a vector page of the same size is fine.
  auto tall = CreateExport(clsid::ExportPNG);
  tall->SetExportFileName((dir / "strip.png").string());
  tall->SetPixelBounds(Envelope(0, 0, 100, 40000));
  EXPECT_THAT(Raised([&] { tall->StartExporting(); }).description(),
              HasSubstr("at most 32767 pixels a side can be written. The highest resolution for this page is 78 dpi"));
  auto pdf = at(clsid::ExportPDF, "page.pdf", 2400);
  pdf->StartExporting();
  pdf->FinishExporting();
  EXPECT_TRUE(fs::exists(dir / "page.pdf"));
}

}  // namespace
