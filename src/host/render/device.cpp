// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/device.h"

#include "host/render/display_list.h"

#include <cairo.h>

#include <map>
#include <mutex>

#include "host/vb/error.h"

namespace host::render {

std::string DeviceKindName(DeviceKind kind) {
  switch (kind) {
    case DeviceKind::Raster: return "raster";
    case DeviceKind::Vector: return "vector";
    case DeviceKind::Printer: return "printer";
  }
  return "unknown";
}

DeviceContext::DeviceContext(cairo_t* cr, int width, int height, double dpi, DeviceKind kind)
    : cr_(cr), cairo_painter_(std::make_unique<CairoPainter>(cr)), width_(width), height_(height), dpi_(dpi), kind_(kind) {}

DeviceContext::DeviceContext(std::shared_ptr<RecordedPage> page, int width, int height, double dpi, DeviceKind kind)
    : page_(std::move(page)), width_(width), height_(height), dpi_(dpi), kind_(kind) {}

DeviceContext::~DeviceContext() {
  cairo_painter_.reset();
  if (cr_) cairo_destroy(cr_);
}

Painter& DeviceContext::GetPainter() {
  if (cairo_painter_) return *cairo_painter_;
  return page_->list;
}

cairo_t* DeviceContext::Cairo() {
  if (!cr_ && page_) {
    cairo_rectangle_t extents{0, 0, static_cast<double>(width_), static_cast<double>(height_)};
    SurfacePtr recording(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents));
    cairo_surface_set_device_offset(recording.get(), page_->origin.x, page_->origin.y);
    cr_ = cairo_create(recording.get());
    cairo_painter_ = std::make_unique<CairoPainter>(cr_);
    page_->list.Replay(*cairo_painter_);
    page_->cairo = std::move(recording);
  }
  return cr_;
}

std::string DeviceContext::Failure() const {
  if (!cr_ || cairo_status(cr_) == CAIRO_STATUS_SUCCESS) return {};
  return std::string("drawing the page failed: ") + cairo_status_to_string(cairo_status(cr_));
}

namespace {

struct Registry {
  std::mutex mutex;
  std::map<long, std::shared_ptr<DeviceContext>> open;
  // Handles look like the platform's: odd-looking, never small, never reused.
  long next = 0x2A010;
};

Registry& registry() {
  static Registry r;
  return r;
}

}  // namespace

std::shared_ptr<DeviceContext> LookupDevice(long hdc) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.open.find(hdc);
  if (it == r.open.end())
    vb::raise(vb::err::HostFailure, "Invalid device context handle " + std::to_string(hdc) +
                                        ": no drawing target is open under it (not started, or already finished)");
  return it->second;
}

long OpenDevice(std::shared_ptr<DeviceContext> device) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  long hdc = r.next;
  r.next += 4;
  r.open.emplace(hdc, std::move(device));
  return hdc;
}

void ReleaseDevice(long hdc) {
  std::shared_ptr<DeviceContext> released;  // destroyed outside the lock
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  auto it = r.open.find(hdc);
  if (it == r.open.end()) return;
  released = std::move(it->second);
  r.open.erase(it);
}

int OpenDeviceCount() {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  return static_cast<int>(r.open.size());
}

}  // namespace host::render
