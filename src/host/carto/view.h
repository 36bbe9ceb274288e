// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Views: what the document shows. The page layout is one view (layout view); each map is
// a view of its own (data view, or the map inside its frame on the page). Views count
// their refreshes, so tests and the GUI can see what the command asked to redraw.

#include <cstdint>
#include <functional>
#include <memory>

#include "host/geodata/geometry.h"

namespace host::carto {

class Map;
class PageLayout;

// Drawing phases, as the command's partial refresh names them.
enum class ViewDrawPhase : int {
  None = 0,
  Background = 1,
  Geography = 2,
  GeoSelection = 4,
  Graphics = 8,
  GraphicSelection = 16,
  Foreground = 32,
  All = 63,
};

// A rectangle in pixels: left and top 0, right and bottom the width and height.
struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const PixelRect&) const = default;
};

// Screen and export resolution of views: 96 dots per inch.
inline constexpr double kViewDpi = 96.0;

class ActiveView {
 public:
  virtual ~ActiveView() = default;

  // The page layout's focus map, or a map itself.
  virtual std::shared_ptr<Map> FocusMap() const = 0;
  // The page layout makes map the focus map; a map only accepts itself.
  virtual void SetFocusMap(const std::shared_ptr<Map>& map) = 0;

  // What the view shows: map units for a map, page units (inches) for the layout.
  virtual geodata::Envelope Extent() const = 0;
  // Fits the envelope to the view's aspect about its centre (the shown area grows in
  // the direction that is too short).
  virtual void SetExtent(const geodata::Envelope& e) = 0;
  // Everything there is to show: the layers of a map, the page of the layout.
  virtual geodata::Envelope FullExtent() const = 0;
  // The view's size in pixels at 96 dots per inch.
  virtual PixelRect ExportFrame() const = 0;

  // The page layout as such, or null for a map.
  virtual PageLayout* AsPageLayout() { return nullptr; }
  bool IsPageLayout() { return AsPageLayout() != nullptr; }

  // Asks for a redraw of everything, or of one phase (and within an envelope).
  void Refresh();
  void PartialRefresh(ViewDrawPhase phase, const void* data = nullptr, const geodata::Envelope* within = nullptr);
  long RefreshCount() const { return refreshes_; }
  long PartialRefreshCount() const { return partial_refreshes_; }
  ViewDrawPhase LastPartialPhase() const { return last_phase_; }

  // Told of every refresh of every view (the GUI redraws from it); null removes it.
  using RefreshListener = std::function<void(ActiveView& view, ViewDrawPhase phase, const geodata::Envelope* within)>;
  static void SetRefreshListener(RefreshListener listener);

 private:
  long refreshes_ = 0;
  long partial_refreshes_ = 0;
  ViewDrawPhase last_phase_ = ViewDrawPhase::None;
};

// The table of contents; it only needs to know when to redraw.
class ContentsView {
 public:
  void Refresh(const void* item = nullptr);
  long RefreshCount() const { return refreshes_; }

 private:
  long refreshes_ = 0;
};

// Fits e to the aspect width : height about its centre, growing the side that is too
// short. An empty envelope, or a frame without area, stays as it is.
geodata::Envelope FitToAspect(const geodata::Envelope& e, double width, double height);

}  // namespace host::carto
