// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A page kept as the painter calls that drew it: what the EMF and SVG writers read, and
// what can be drawn again on any other painter.

#include <memory>
#include <vector>

#include "host/render/cairo_ptr.h"
#include "host/render/painter.h"

namespace host::render {

struct DisplayItem {
  enum class Kind { Save, Restore, Clip, Fill, Stroke, Paint, Text, Image };
  Kind kind = Kind::Fill;
  Path path;                      // Clip, Fill, Stroke
  FillRule rule = FillRule::Winding;  // Clip, Fill
  Colour colour;                  // Fill, Stroke, Paint
  StrokeStyle stroke;             // Stroke
  TextRun text;                   // Text
  std::vector<bool> shown;        // Text: which of the layout's runs show within the clip
  std::shared_ptr<const Image> image;  // Image, over (x, y, w, h)
  double x = 0, y = 0, w = 0, h = 0;
};

class DisplayList : public Painter {
 public:
  // Everything drawn lands moved by origin (where the caller's (0, 0) lies on the page);
  // text wholly outside the clip or the page (when its size is given) is left out.
  explicit DisplayList(XY origin = {}, XY page = {-1, -1});

  void Save() override;
  void Restore() override;
  void Clip(const Path& path, FillRule rule) override;
  void Fill(const Path& path, const Colour& colour, FillRule rule) override;
  void Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) override;
  void Paint(const Colour& colour) override;
  std::shared_ptr<const TextLayout> LayOut(const TextBlock& block) override;
  void Text(const TextRun& run) override;
  void DrawImage(const Image& image, double x, double y, double w, double h) override;

  const std::vector<DisplayItem>& Items() const { return items_; }
  // Draws the page again, without the origin's move.
  void Replay(Painter& painter) const;

 private:
  Path moved(const Path& p) const;
  DisplayItem& add(DisplayItem::Kind kind);
  struct Box {
    double x0, y0, x1, y1;
  };
  XY origin_;
  std::vector<DisplayItem> items_;
  std::vector<Box> clip_;  // the clip's bounds, one per Save and the current one last
};

// A page being kept for a writer: the painter's list, or, once someone drew on the page
// with cairo itself, cairo's recording of the whole page (the list replayed into it
// first), which the writers can then only take as cairo gives it.
struct RecordedPage {
  RecordedPage(XY origin, XY size) : list(origin, size), origin(origin) {}
  DisplayList list;
  XY origin;
  SurfacePtr cairo;
};

}  // namespace host::render
