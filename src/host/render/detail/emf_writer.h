// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Enhanced metafiles from a page's display list.
//
// The page is width x height device pixels at dpi, the upper left of a reference device
// of that resolution (a whole number of millimetres across, so that the resolution is
// exact), and the records draw in logical units of 1/16 pixel (anisotropic mapping) so
// that thin lines and small text keep their places. Colours are opaque:
// the format has no alpha for paths and text. A halo is the text's outlines, taken into
// a path and stroked, under the text.

#include <cairo.h>

#include <string>

#include "host/render/display_list.h"

namespace host::render::detail {

struct EmfPage {
  int width = 0;
  int height = 0;
  double dpi = 96;
  std::string title;  // goes into the header's description
};

inline constexpr int kEmfUnitsPerPixel = 16;

// The page as records: paths with pens and brushes, clipping, text, bitmaps.
std::string EmfFromList(const DisplayList& list, const EmfPage& page);
// A page that cairo recorded, as one bitmap record.
std::string EmfFromRecording(cairo_surface_t* recording, const EmfPage& page);

}  // namespace host::render::detail
