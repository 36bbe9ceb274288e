// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A page kept as the painter calls that drew it: what the EMF and SVG writers read, and
// what can be drawn again on any other painter.

#include <functional>
#include <limits>
#include <memory>
#include <vector>

#include "host/render/cairo_ptr.h"
#include "host/render/painter.h"

namespace host::render {

// Where an item can leave paint on the page, antialiasing, joins and halos included.
struct Reach {
  double x0 = -std::numeric_limits<double>::infinity(), y0 = -std::numeric_limits<double>::infinity();
  double x1 = std::numeric_limits<double>::infinity(), y1 = std::numeric_limits<double>::infinity();
};

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
  Reach reach;                    // the whole page for Save, Restore, Clip and Paint
};

class DisplayList : public Painter {
 public:
  // Everything drawn lands moved by origin (where the caller's (0, 0) lies on the page);
  // text wholly outside the clip or the page (when its size is given) is left out.
  explicit DisplayList(XY origin = {}, XY page = {-1, -1});
  // Text laid out by layOut instead of as a vector medium lays it out: a page kept to be
  // drawn on a raster medium later needs that medium's (hinted) layouts while it is drawn.
  using LayOutFunction = std::function<std::shared_ptr<const TextLayout>(const TextBlock&)>;
  DisplayList(XY origin, XY page, LayOutFunction layOut);

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
  // Draws the items [from, to) where they lie on the page (the origin's move kept), the
  // Saves and Clips still open at from made first, leaving out those that cannot reach
  // the rows [top, bottom): one part of a page drawn in parts.
  void ReplayPart(Painter& painter, size_t from, size_t to, double top = -std::numeric_limits<double>::infinity(),
                  double bottom = std::numeric_limits<double>::infinity()) const;

 private:
  Path moved(const Path& p) const;
  // One item drawn moved by this list's origin.
  void draw(Painter& p, const DisplayItem& item) const;
  DisplayItem& add(DisplayItem::Kind kind);
  struct Box {
    double x0, y0, x1, y1;
  };
  XY origin_;
  LayOutFunction lay_out_;
  std::vector<DisplayItem> items_;
  std::vector<Box> clip_;  // the clip's bounds, one per Save and the current one last
};

// A page being kept for a writer: the painter's list, or, once someone drew on the page
// with cairo itself, cairo's recording of the whole page (the list replayed into it
// first), which the writers can then only take as cairo gives it.
struct RecordedPage {
  RecordedPage(XY origin, XY size) : list(origin, size), origin(origin) {}
  RecordedPage(XY origin, XY size, DisplayList::LayOutFunction layOut)
      : list(origin, size, std::move(layOut)), origin(origin) {}
  DisplayList list;
  XY origin;
  SurfacePtr cairo;
};

}  // namespace host::render
