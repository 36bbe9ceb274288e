// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Device contexts: what a view draws into. The command passes them around as handles
// (a long), the way it passes the platform's device context handles; whoever draws
// looks the handle up and draws on its painter.
//
// Coordinates are device pixels: (0, 0) is the top left corner of the target, x to the
// right, y down, and the target is Width() x Height() pixels at Dpi() dots per inch.
// For vector and printer targets the context's surface already maps device pixels onto
// the page, so cairo_identity_matrix() still means device pixels.

#include <memory>
#include <string>

#include "host/render/painter.h"

typedef struct _cairo cairo_t;

namespace host::render {

struct RecordedPage;

enum class DeviceKind { Raster, Vector, Printer };

std::string DeviceKindName(DeviceKind kind);  // "raster", "vector", "printer"

class DeviceContext {
 public:
  // Drawn with cairo; takes over the reference to cr.
  DeviceContext(cairo_t* cr, int width, int height, double dpi, DeviceKind kind);
  // Kept as a display list for a writer (EMF, SVG).
  DeviceContext(std::shared_ptr<RecordedPage> page, int width, int height, double dpi, DeviceKind kind);
  ~DeviceContext();
  DeviceContext(const DeviceContext&) = delete;
  DeviceContext& operator=(const DeviceContext&) = delete;

  Painter& GetPainter();
  // The cairo context under the painter. On a display-list device the page turns into
  // cairo's recording of it from then on: an EMF of it is then a picture of the page,
  // and an SVG has its text as outlines.
  cairo_t* Cairo();
  // What went wrong while drawing; empty when nothing did.
  std::string Failure() const;

  int Width() const { return width_; }
  int Height() const { return height_; }
  double Dpi() const { return dpi_; }
  DeviceKind Kind() const { return kind_; }

 private:
  cairo_t* cr_ = nullptr;
  std::unique_ptr<CairoPainter> cairo_painter_;
  std::shared_ptr<RecordedPage> page_;
  int width_;
  int height_;
  double dpi_;
  DeviceKind kind_;
};

// The context a handle stands for. An unknown or released handle fails with a host
// error naming the handle.
std::shared_ptr<DeviceContext> LookupDevice(long hdc);

// For the targets that create contexts: a new handle (never 0, never reused), and its
// release. Releasing an unknown handle does nothing.
long OpenDevice(std::shared_ptr<DeviceContext> device);
void ReleaseDevice(long hdc);

// How many handles are open (a target that forgets to release shows here).
int OpenDeviceCount();

}  // namespace host::render
