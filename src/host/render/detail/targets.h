#pragma once
// One page drawn with cairo and written as a file of one format: what an exporter or a
// print job draws into. Begin gives the cairo context (device pixels, see device.h);
// End writes the file; Drop abandons the page. A target is used for one page.

#include <filesystem>
#include <memory>
#include <string>

#include "host/render/device.h"

typedef struct _cairo cairo_t;

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
  virtual cairo_t* Begin(const std::filesystem::path& file, const PageSetup& page) = 0;
  virtual void End() = 0;
  virtual void Drop() = 0;
  virtual DeviceKind Kind() const = 0;
};

std::unique_ptr<Target> MakeTarget(Format format);

// The largest side of a raster page.
inline constexpr int kMaxRasterSide = 32767;

}  // namespace host::render::detail
