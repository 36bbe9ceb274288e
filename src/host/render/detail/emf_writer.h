#pragma once
// Enhanced metafiles from what was drawn.
//
// The page is width x height device pixels at dpi; those pixels are the metafile's
// reference device, and the records draw in logical units of 1/16 pixel (anisotropic
// mapping) so that thin lines and small text keep their places. Colours are opaque:
// the format has no alpha for paths and text.

#include <cairo.h>

#include <string>

#include "host/render/detail/cairo_trace.h"

namespace host::render::detail {

struct EmfPage {
  int width = 0;
  int height = 0;
  double dpi = 96;
  std::string title;  // goes into the header's description
};

inline constexpr int kEmfUnitsPerPixel = 16;

// The page as vector records (paths with pens and brushes, clipping, text). Needs a
// complete trace.
std::string EmfFromTrace(const Trace& trace, const EmfPage& page);
// The page as one bitmap record (an RGB24 image surface of the page's size).
std::string EmfFromImage(cairo_surface_t* image, const EmfPage& page);
// Vector records when the recording can be read whole, else the page rasterized.
std::string EmfFromRecording(cairo_surface_t* recording, const EmfPage& page);

}  // namespace host::render::detail
