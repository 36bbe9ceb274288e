#pragma once
// Cairo writes text into SVG as glyph outlines. These put the text back as text
// elements in the outlines' places, so that the text of an SVG page can be found,
// selected and edited.

#include <string>

#include "host/render/detail/cairo_trace.h"

namespace host::render::detail {

// svg is what cairo's SVG surface wrote for the recording that trace was read from.
// Each glyph group pairs with one text run, in order; when they do not pair up one to
// one (glyph count and first glyph's place) svg is left as it was and false returned.
bool PutTextIntoSvg(std::string& svg, const Trace& trace);

// Sets the width and height of the root element (e.g. "8.5in").
void SetSvgSize(std::string& svg, const std::string& width, const std::string& height);

// Text as XML character data or an attribute value.
std::string XmlEscape(const std::string& text);

}  // namespace host::render::detail
