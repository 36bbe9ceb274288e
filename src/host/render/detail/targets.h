// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// One page written as a file of one format: what an exporter or a print job draws into.
// Begin gives the device to draw on (device pixels, see device.h): cairo for raster
// files and PDF, a display list for EMF and SVG. End writes the file; Drop abandons the
// page. A target is used for one page.

#include <filesystem>
#include <memory>
#include <string>

#include "host/render/device.h"

namespace host::render::detail {

enum class Format { PNG, JPG, GIF, BMP, TIF, PDF, AI, SVG, EMF };

struct PageSetup {
  int width = 0;   // device pixels
  int height = 0;
  double dpi = 96;
  std::string title;  // for formats that carry one (PDF, SVG, EMF)
  // Where the context's (0, 0) lies on the page, in device pixels.
  double origin_x = 0;
  double origin_y = 0;
};

class Target {
 public:
  virtual ~Target() = default;
  // file is where End writes (the exporter's temporary file). Throws std::runtime_error.
  // kind is what the device says it is (a print job's page is a printer's).
  virtual std::shared_ptr<DeviceContext> Begin(const std::filesystem::path& file, const PageSetup& page,
                                               DeviceKind kind) = 0;
  virtual void End() = 0;
  virtual void Drop() = 0;
  virtual DeviceKind Kind() const = 0;
};

std::unique_ptr<Target> MakeTarget(Format format);

// The largest raster page: a side, and the whole (the page is drawn in memory at 4
// bytes a pixel).
inline constexpr int kMaxRasterSide = 32767;
inline constexpr double kMaxRasterPixels = 250e6;

}  // namespace host::render::detail
