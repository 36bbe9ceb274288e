// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The page layout: the page, and the graphics container of its elements. It is also
// the view of layout view. Page units are inches, from the page's lower left corner.

#include <cstdint>
#include <memory>
#include <vector>

#include "host/carto/elements.h"
#include "host/carto/view.h"
#include "host/geodata/geometry.h"

namespace host::carto {

class Document;
class Map;

enum class PageOrientation : int { Portrait = 1, Landscape = 2 };

class Page {
 public:
  Page() = default;  // Letter, portrait
  double Width() const { return width_; }
  double Height() const { return height_; }
  // Inches, each more than 0. The orientation follows the longer side.
  void PutSize(double width, double height);
  PageOrientation Orientation() const {
    return width_ > height_ ? PageOrientation::Landscape : PageOrientation::Portrait;
  }
  // The page as an envelope: (0, 0) to (width, height).
  geodata::Envelope Bounds() const { return geodata::Envelope(0, 0, width_, height_); }
  // The part of the page a printer can print on: the whole page unless a printer has
  // said otherwise (SetPrintableBounds).
  geodata::Envelope PrintableBounds() const;
  void SetPrintableBounds(const geodata::Envelope& e) { printable_ = e; }

 private:
  double width_ = 8.5, height_ = 11.0;
  geodata::Envelope printable_;
};

class PageLayout : public ActiveView {
 public:
  ~PageLayout() override;
  PageLayout(const PageLayout&) = delete;
  PageLayout& operator=(const PageLayout&) = delete;

  carto::Page& Page() { return page_; }
  const carto::Page& Page() const { return page_; }
  Document& Parent() const { return doc_; }

  // ---- Graphics container ----
  // Elements are drawn in ascending z-order, those of one z-order in the order they were
  // added. A map frame brings its map into the document (at the end of its maps) when the
  // map is not there yet.
  void AddElement(std::shared_ptr<Element> element, int zorder = 0);
  // A map frame takes its map out of the document with it, unless another frame shows
  // that map or it is the document's only map.
  void DeleteElement(const Element& element);
  void DeleteAllElements();
  int ElementCount() const { return int(entries_.size()); }
  // In drawing order.
  std::vector<std::shared_ptr<Element>> Elements() const;
  int ZOrder(const Element& element) const;  // -1 when the element is not here
  // The walk: Next gives the elements in drawing order, then null; Reset starts again.
  void Reset() { walk_ = 0; }
  std::shared_ptr<Element> Next();
  // The first frame (in drawing order) that shows map, or null.
  std::shared_ptr<MapFrame> FindFrame(const Map& map) const;
  std::vector<std::shared_ptr<MapFrame>> MapFrames() const;

  // ---- ActiveView ----
  std::shared_ptr<Map> FocusMap() const override;
  // map must be one of the document's maps (Invalid procedure call, 5, otherwise).
  void SetFocusMap(const std::shared_ptr<Map>& map) override;
  // The part of the page shown (the whole page at first).
  geodata::Envelope Extent() const override;
  void SetExtent(const geodata::Envelope& e) override;
  geodata::Envelope FullExtent() const override { return page_.Bounds(); }
  // The page at 96 dots per inch (Letter: 816 x 1056).
  PixelRect ExportFrame() const override;
  PageLayout* AsPageLayout() override { return this; }

 private:
  friend class Document;
  friend class MapFrame;
  explicit PageLayout(Document& doc) : doc_(doc) {}
  struct Entry {
    std::shared_ptr<Element> element;
    int zorder = 0;
  };
  void Sort();
  void ReleaseMapOf(const MapFrame& frame);
  void DropFramesOf(const Map& map);

  Document& doc_;
  carto::Page page_;
  std::vector<Entry> entries_;  // in drawing order
  size_t walk_ = 0;
  geodata::Envelope zoom_;  // empty: the whole page
};

}  // namespace host::carto
