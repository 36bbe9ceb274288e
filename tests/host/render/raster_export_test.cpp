// SPDX-License-Identifier: GPL-3.0-or-later
// The raster exporters, each file read back by the format's own library.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>

#include "host/render/device.h"
#include "host/render/export.h"
#include "raster_readers.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;
using host::geodata::Envelope;
using namespace host::render;
using namespace raster_test;

namespace {

struct RasterCase {
  const char* name;
  std::string_view clsid;
  const char* extension;
  std::function<Raster(const fs::path&)> read;
  bool has_dpi;
  int tolerance;       // per channel, for lossy formats
  const char* extra;   // expected format detail
};

void PrintTo(const RasterCase& c, std::ostream* os) { *os << c.name; }

class RasterExport : public ::testing::TestWithParam<RasterCase> {};

// The 300 dpi page of a 1000 x 750 frame: 3125 x 2344 pixels (2343.75 rounded).
TEST_P(RasterExport, WritesThePixelSizeResolutionAndDrawing) {
  const RasterCase& c = GetParam();
  testing_support::TempDir dir;
  fs::path file = dir / (std::string("page.") + c.extension);
  auto ex = CreateExport(c.clsid);
  ex->SetExportFileName(file.string());
  ex->SetResolution(300);
  ex->SetPixelBounds(Envelope(0, 0, std::nearbyint(300.0 / 96 * 1000), std::nearbyint(300.0 / 96 * 750)));
  long hdc = ex->StartExporting();
  EXPECT_EQ(LookupDevice(hdc)->Kind(), DeviceKind::Raster);
  EXPECT_EQ(LookupDevice(hdc)->Dpi(), 300);
  render_test::DrawPage(hdc);
  ex->FinishExporting();
  ex->Cleanup();

  Raster r = c.read(file);
  EXPECT_EQ(r.width, 3125);
  EXPECT_EQ(r.height, 2344);
  if (c.has_dpi) {
    EXPECT_NEAR(r.dpi, 300, 0.01);
  }
  EXPECT_EQ(r.extra, c.extra);
  for (const auto& p : render_test::Probes()) {
    auto px = r.at(p.fx, p.fy);
    EXPECT_NEAR(px[0], p.r, c.tolerance) << c.name << " red at " << p.fx << "," << p.fy;
    EXPECT_NEAR(px[1], p.g, c.tolerance) << c.name << " green at " << p.fx << "," << p.fy;
    EXPECT_NEAR(px[2], p.b, c.tolerance) << c.name << " blue at " << p.fx << "," << p.fy;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1) << "only the file itself";
}

INSTANTIATE_TEST_SUITE_P(
    Formats, RasterExport,
    ::testing::Values(RasterCase{"PNG", clsid::ExportPNG, "png", ReadPng, true, 0, "rgb"},
                      RasterCase{"JPG", clsid::ExportJPEG, "jpg", ReadJpeg, true, 6, ""},
                      RasterCase{"GIF", clsid::ExportGIF, "gif", ReadGif, false, 8, "palette"},
                      RasterCase{"BMP", clsid::ExportBMP, "bmp", ReadBmp, true, 0, "24 bits"},
                      RasterCase{"TIF", clsid::ExportTIFF, "tif", ReadTiff, true, 0, "compressed"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RasterExport, ResolutionNinetySixKeepsTheFrameSize) {
  testing_support::TempDir dir;
  PixelRect frame = ExportFrame(8.5, 11);
  auto ex = CreateExport(clsid::ExportPNG);
  ex->SetExportFileName((dir / "letter.png").string());
  ex->SetPixelBounds(Envelope(0, 0, static_cast<double>(frame.right), static_cast<double>(frame.bottom)));
  EXPECT_EQ(ex->Resolution(), 96) << "the resolution before one is set";
  render_test::DrawPage(ex->StartExporting());
  ex->FinishExporting();
  Raster r = ReadPng(dir / "letter.png");
  EXPECT_EQ(r.width, 816);
  EXPECT_EQ(r.height, 1056);
  EXPECT_NEAR(r.dpi, 96, 0.02) << "pixels per metre, rounded";
}

}  // namespace
