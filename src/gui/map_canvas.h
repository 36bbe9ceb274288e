// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The canvas of the host's window: draws the active view and carries the desktop's map
// tools. In data view they move the focus map's extent; in layout view the window's
// display of the page, or, once a double-click has activated a map frame, the map
// inside it.
// Selected features are drawn over the view here, so no export or print sees them.

#include "gui/host_modules.h"
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "host/geodata/geometry.h"

namespace host::app {
class Application;
}
namespace host::carto {
class ActiveView;
class Map;
}  // namespace host::carto

namespace gui {

// A part of the world (map units or page inches) shown in a rectangle of the canvas,
// y up in the world and down on the canvas.
struct CanvasFrame {
  QRectF pixels;
  geodata::Envelope world;
  bool IsEmpty() const { return pixels.isEmpty() || world.IsEmpty(); }
  QPointF ToPixels(const geodata::Point& p) const;
  geodata::Point ToWorld(const QPointF& p) const;
};

enum class MapTool { ZoomIn, ZoomOut, Pan, Select };

class MapCanvas : public QWidget {
 public:
  MapCanvas(host::app::Application& app, QWidget* parent);
  // The view changed: drawn afresh at the next paint.
  void Invalidate();
  // Where the page lies on the canvas in layout view (empty in data view).
  QRect PageRect() const;

  MapTool Tool() const { return tool_; }
  void SetTool(MapTool tool) { tool_ = tool; }

  // Where the focus map is drawn: the whole canvas in data view, its frame on the page
  // in layout view (empty when it has none there or no extent).
  CanvasFrame FocusMapFrame() const;
  // Where the shown part of the page lies on the canvas in layout view (page inches).
  CanvasFrame PageDisplay() const;
  // What the tools move: the focus map in data view or in its activated frame, else the
  // page layout (whose display in the window moves, not its own extent).
  host::carto::ActiveView& NavigatedView() const;
  // The layout view's map frame whose map the tools move, or null.
  std::shared_ptr<host::carto::Map> ActivatedFrameMap() const;

  // The tools' steps, also for the toolbar.
  void ZoomAbout(const QPointF& at, double factor);
  void FullExtent();
  void PreviousExtent();
  void NextExtent();
  bool HasPreviousExtent() const;
  bool HasNextExtent() const;
  void ClearSelection();
  // Another document: no extents to go back to, no frame activated.
  void ForgetExtents();

  // Told after the view's extent, the selection or the pointer changed.
  void SetChangeListener(std::function<void()> listener) { changed_ = std::move(listener); }
  // The pointer's place in map units (or page inches off the focus map's frame).
  bool PointerInMap() const { return pointer_in_map_; }
  const geodata::Point& PointerWorld() const { return pointer_world_; }
  bool PointerKnown() const { return pointer_known_; }

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void render();
  void draw_selection(QPainter& painter) const;
  void sync_data_window();
  // The frame of the navigated view on the canvas.
  CanvasFrame navigated_frame() const;
  // The part of the page the window shows, and whether the tools move it.
  geodata::Envelope page_shown() const;
  bool on_page_display() const;
  geodata::Envelope current_extent() const;
  // Sets the navigated view's extent as the command's zooms do, remembering the last one.
  void set_extent(const geodata::Envelope& e, bool remember = true);
  void remember(const geodata::Envelope& e);
  void track_pointer(const QPointF& at);
  void finish_drag(const QPointF& at, Qt::KeyboardModifiers modifiers);
  void changed();

  host::app::Application& app_;
  QImage image_;
  QString failure_;
  bool dirty_ = true;
  MapTool tool_ = MapTool::ZoomIn;

  // A drag in progress: the button, where it began, the tool it works with.
  Qt::MouseButton drag_button_ = Qt::NoButton;
  QPointF drag_from_, drag_to_;
  MapTool drag_tool_ = MapTool::ZoomIn;
  CanvasFrame drag_frame_;
  geodata::Envelope drag_start_extent_;

  // Extents left behind, per view, and those gone back over.
  struct History {
    std::vector<geodata::Envelope> back, forward;
  };
  std::map<const host::carto::ActiveView*, History> history_;
  std::weak_ptr<host::carto::Map> activated_;
  geodata::Envelope page_shown_;  // empty: the page layout's own extent

  geodata::Point pointer_world_;
  bool pointer_known_ = false, pointer_in_map_ = false;
  std::function<void()> changed_;
};

}  // namespace gui
