// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// SVG pages from a page's display list, text as text elements.

#include <cairo.h>

#include <string>

#include "host/render/display_list.h"

namespace host::render::detail {

struct SvgPage {
  int width = 0;  // device pixels: the view box
  int height = 0;
  double dpi = 96;    // the page's size in inches is width / dpi
  std::string title;  // the document's title element, when not empty
};

std::string SvgFromList(const DisplayList& list, const SvgPage& page);
// A page that cairo recorded, as cairo writes it (text as glyph outlines).
std::string SvgFromRecording(cairo_surface_t* recording, const SvgPage& page);

// Text as XML character data or an attribute value.
std::string XmlEscape(const std::string& text);

}  // namespace host::render::detail
