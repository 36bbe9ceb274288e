// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the render tests draw and how they read it back.

#include <cairo.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>
#include "host/render/painter.h"
#include "support/run_command.h"

namespace render_test {

// The test page, at any size: white paper; a red square over the upper left quarter's
// middle, a blue disc in the upper right quarter, a green line along the middle, and a
// line of text near the bottom.
inline constexpr const char* kText = "Zelvane map book";
void DrawPage(long hdc);

// A line of Liberation Sans, size in pixels, its top left corner at (x, y), turned by
// angle degrees counter-clockwise about that corner.
void ShowText(host::render::Painter& p, const std::string& text, double size, double x, double y, double angle = 0,
              const host::render::Colour& colour = {0, 0, 0, 1});

// Places in the drawing, as fractions of the page, and their colours.
struct Probe {
  double fx, fy;
  uint8_t r, g, b;
};
const std::vector<Probe>& Probes();

// Running a program: the shared test runner under the names these tests use.
using Run = testing_support::CommandResult;
using testing_support::RunCommand;
inline std::string Quote(const std::string& s) { return testing_support::ShellQuote(s); }

// A parsed XML element (enough for an SVG file written by us).
struct XmlElement {
  std::string name;
  std::vector<std::pair<std::string, std::string>> attributes;
  std::string text;  // character data directly inside, entities resolved
  std::vector<XmlElement> children;
  std::string Attribute(const std::string& name) const;
  // Every element below this one (depth first) with that name.
  void FindAll(const std::string& name, std::vector<const XmlElement*>& out) const;
};
// Throws std::runtime_error when the text is not well-formed XML.
XmlElement ParseXml(const std::string& text);

// The records of an EMF file: (type, offset, size).
struct EmfRecord {
  uint32_t type;
  size_t offset;
  uint32_t size;
};
std::vector<EmfRecord> EmfRecords(const std::string& bytes);
uint32_t U32(const std::string& bytes, size_t at);
int32_t I32(const std::string& bytes, size_t at);

}  // namespace render_test
