// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a view is drawn into: paths filled and stroked, clips, text runs and images, in
// device pixels ((0, 0) top left, y down). The drawing decides everything once; a back
// end only puts it on its medium: cairo (raster files, PDF, printing, the screen), or a
// display list that the EMF and SVG writers read.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

typedef struct _cairo cairo_t;
typedef struct _PangoLayout PangoLayout;

namespace host::render {

struct Colour {
  double r = 0, g = 0, b = 0, a = 1;
  bool operator==(const Colour&) const = default;
};

struct XY {
  double x = 0;
  double y = 0;
};

class Path {
 public:
  enum class Op : unsigned char { Move, Line, Curve, Arc, Rectangle, Close };
  struct Element {
    Op op;
    XY p[3];  // Move, Line: p[0]; Curve: three points; Arc: centre, (radius, -), (from, to) in radians;
              // Rectangle: corner, (width, height)
  };

  Path& MoveTo(double x, double y);
  Path& LineTo(double x, double y);
  Path& CurveTo(double x1, double y1, double x2, double y2, double x3, double y3);
  // A circular arc, clockwise on the page from angle `from` to `to`, joined to what came before.
  Path& Arc(double cx, double cy, double radius, double from, double to);
  Path& Close();
  // A closed rectangle, its sides added to the corner as cairo adds them.
  Path& Rectangle(double x, double y, double w, double h);

  const std::vector<Element>& Elements() const { return elements_; }
  bool Empty() const { return elements_.empty(); }
  // The rectangle (x0, y0, x1, y1) when the path is one, axis-aligned.
  std::optional<std::array<double, 4>> AsRectangle() const;
  // The same path in moves, lines, curves and closes only: arcs as the Bézier curves
  // cairo makes of them at this scale.
  Path Expanded() const;

 private:
  std::vector<Element> elements_;
};

enum class FillRule { Winding, EvenOdd };
enum class LineCap { Butt, Round, Square };
enum class LineJoin { Miter, Round, Bevel };

struct StrokeStyle {
  double width = 2;
  LineCap cap = LineCap::Butt;
  LineJoin join = LineJoin::Miter;
  double miter_limit = 10;
  std::vector<double> dash;  // on, off, ... in device pixels; empty is solid
};

struct FontChoice {
  std::string family;  // as asked ("Arial"); fontconfig picks the face
  double size = 12;    // device pixels
  bool bold = false;
  bool italic = false;
};

enum class TextAlign { Left, Center, Right };

// A block of text to lay out: lines split at CR, LF or CR LF, aligned within the block
// (or within width when one is given).
struct TextBlock {
  std::string text;
  FontChoice font;
  TextAlign align = TextAlign::Left;
  double width = -1;
};

// One run of glyphs in one font on one line: what the vector writers put down as text.
struct GlyphRun {
  std::string utf8;                           // the run's characters
  std::vector<std::pair<int, int>> clusters;  // (bytes, glyphs) in text order
  bool backward = false;                      // glyphs run against the text
  std::vector<unsigned long> glyphs;          // glyph indices in the font
  std::vector<XY> positions;                  // each glyph's origin, in the block (top left 0, 0)
  XY end;                                     // where a next glyph would go
  XY ink_min, ink_max;                        // the glyphs' ink, in the block
  std::string family;                         // the face that drew it ("Liberation Sans")
  int weight = 400;                           // 100..900
  bool italic = false;
  double size = 12;                           // em, device pixels
};

// Text laid out for one back end (hinting differs between raster and vector media).
class TextLayout {
 public:
  virtual ~TextLayout() = default;
  virtual const TextBlock& Block() const = 0;
  // The block's size in whole pixels and its first baseline from the top.
  virtual double Width() const = 0;
  virtual double Height() const = 0;
  virtual double Baseline() const = 0;
  virtual const std::vector<GlyphRun>& Runs() const = 0;
};

struct Halo {
  Colour colour{1, 1, 1, 1};
  double width = 1;  // device pixels around each glyph
};

// A laid out block put on the page: its top left corner at offset from anchor, in a
// frame turned by angle degrees counter-clockwise about anchor.
struct TextRun {
  std::shared_ptr<const TextLayout> layout;
  XY anchor;
  XY offset;
  double angle = 0;
  Colour colour;
  std::optional<Halo> halo;
};

// Pixels, 32 bits each, cairo's premultiplied ARGB in native byte order.
struct Image {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;  // rows top first
};

class Painter {
 public:
  virtual ~Painter() = default;
  // Save and Restore bracket clips.
  virtual void Save() = 0;
  virtual void Restore() = 0;
  virtual void Clip(const Path& path, FillRule rule) = 0;
  virtual void Fill(const Path& path, const Colour& colour, FillRule rule) = 0;
  virtual void Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) = 0;
  // The whole clip in one colour.
  virtual void Paint(const Colour& colour) = 0;
  virtual std::shared_ptr<const TextLayout> LayOut(const TextBlock& block) = 0;
  virtual void Text(const TextRun& run) = 0;
  // The image stretched over the rectangle.
  virtual void DrawImage(const Image& image, double x, double y, double w, double h) = 0;
};

// Save ... Restore for a scope, also when it is left by an exception.
class PainterSave {
 public:
  explicit PainterSave(Painter& p) : p_(p) { p_.Save(); }
  ~PainterSave() { p_.Restore(); }
  PainterSave(const PainterSave&) = delete;
  PainterSave& operator=(const PainterSave&) = delete;

 private:
  Painter& p_;
};

struct PangoCache;

// Draws with cairo on a context it does not own. Text laid out for another context is
// laid out again for this one, unless it was laid out for `sameMedium` (a context of the
// same kind of surface, so the layout fits this one as it is); nullptr there stands for
// the vector layouts of LayOutForVector. Painters on separate contexts may draw at once
// on separate threads: their text is drawn one at a time.
class CairoPainter : public Painter {
 public:
  explicit CairoPainter(cairo_t* cr);
  CairoPainter(cairo_t* cr, const cairo_t* sameMedium);
  ~CairoPainter() override;
  CairoPainter(const CairoPainter&) = delete;
  CairoPainter& operator=(const CairoPainter&) = delete;
  void Save() override;
  void Restore() override;
  void Clip(const Path& path, FillRule rule) override;
  void Fill(const Path& path, const Colour& colour, FillRule rule) override;
  void Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) override;
  void Paint(const Colour& colour) override;
  std::shared_ptr<const TextLayout> LayOut(const TextBlock& block) override;
  void Text(const TextRun& run) override;
  void DrawImage(const Image& image, double x, double y, double w, double h) override;
  // Only the run's halo, nothing without one. With Text of the run without its halo it
  // draws what Text of the run draws: a page drawn in parts may put the two apart.
  void TextHalo(const TextRun& run);

 private:
  void stroke_halo(const TextRun& run, PangoLayout* layout);
  cairo_t* cr_;
  const cairo_t* same_medium_;
  std::unique_ptr<PangoCache> pango_;  // pango's context for the layouts, kept
};

// Text laid out as a vector medium lays it out (unhinted), without a page to draw on.
std::shared_ptr<const TextLayout> LayOutForVector(const TextBlock& block);

// The outlines of a run's glyphs where they lie on the page, laid out as a vector medium
// lays them out: what a halo strokes, for a medium that strokes it from a path.
Path TextOutlines(const TextRun& run);

}  // namespace host::render
