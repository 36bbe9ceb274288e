#pragma once
// What was drawn into a cairo recording surface, read back as a display list.
//
// Cairo has no public way to walk a recording, but it can replay one as a cairo script
// (its own small stack language). This reads that script: paths, solid fills and
// strokes, clips and text runs (with their text, font and glyph positions), all in
// device pixels. What a display list cannot say plainly (images, gradients, masks,
// groups, unusual operators) marks the trace incomplete; whoever needs everything then
// falls back to a raster of the page.

#include <cairo.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace host::render::detail {

struct XY {
  double x = 0;
  double y = 0;
};

enum class Seg : unsigned char { Move, Line, Curve, Close };

struct Path {
  std::vector<Seg> segs;
  std::vector<XY> pts;  // one point per Move and Line, three per Curve, none per Close
  bool empty() const { return segs.empty(); }
  void clear() {
    segs.clear();
    pts.clear();
  }
};

struct Colour {
  double r = 0, g = 0, b = 0, a = 1;
};

struct StrokeStyle {
  double width = 2;  // device pixels
  cairo_line_cap_t cap = CAIRO_LINE_CAP_BUTT;
  cairo_line_join_t join = CAIRO_LINE_JOIN_MITER;
  double miter_limit = 10;
  std::vector<double> dash;  // device pixels
  double dash_offset = 0;
};

struct FontInfo {
  std::string family;  // "Liberation Sans"
  int weight = 400;    // 100..900
  bool italic = false;
};

struct TextRun {
  std::string utf8;                              // empty when glyphs were drawn without text
  std::vector<std::pair<int, int>> clusters;     // (bytes, glyphs) in text order
  bool backward = false;                         // glyphs run against the text
  std::vector<unsigned long> glyphs;             // glyph indices
  std::vector<XY> positions;                     // each glyph's origin, device pixels
  XY end;                                        // where a next glyph would go
  bool positions_exact = true;                   // false when the font's advances were unknown
  std::shared_ptr<const FontInfo> font;          // null when the font could not be read
  cairo_matrix_t em{1, 0, 0, 1, 0, 0};           // one em square to device pixels (no translation)
  bool main_context = true;                      // drawn on the page itself, not in a group
  bool solid = true;                             // drawn with a plain colour
  Colour colour;
};

struct DrawOp {
  enum class Kind { Fill, Stroke, Paint, Clip, ResetClip, Text };
  Kind kind = Kind::Fill;
  Path path;              // Fill, Stroke, Clip
  bool even_odd = false;  // Fill, Clip
  Colour colour;          // Fill, Stroke, Paint, Text
  StrokeStyle stroke;     // Stroke
  int text = -1;          // Text: index into Trace::texts
};

struct Trace {
  std::vector<DrawOp> ops;      // the page, in drawing order
  std::vector<TextRun> texts;   // every text run, in drawing order
  bool complete = true;         // ops hold everything that was drawn
  bool read_whole = true;       // the whole script was understood (texts has every run)
  std::string reason;           // what first made it incomplete
};

// Reads what recording holds.
Trace ReadTrace(cairo_surface_t* recording);

// Reads a cairo script directly (the tests feed it small scripts).
Trace ReadScript(const std::string& script);

}  // namespace host::render::detail
