// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/picture.h"

#include <cairo.h>

#include <stdexcept>

#include "host/render/cairo_ptr.h"

namespace host::render {

std::string PaintPng(int width, int height, const std::function<void(Painter&)>& draw) {
  SurfacePtr surface(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  if (cairo_surface_status(surface.get()) != CAIRO_STATUS_SUCCESS)
    throw std::runtime_error(std::string("cannot make the picture: ") + cairo_status_to_string(cairo_surface_status(surface.get())));
  {
    CairoPtr cr(cairo_create(surface.get()));
    CairoPainter painter(cr.get());
    painter.Paint({1, 1, 1, 1});
    draw(painter);
    if (cairo_status_t st = cairo_status(cr.get()); st != CAIRO_STATUS_SUCCESS)
      throw std::runtime_error(std::string("drawing the picture failed: ") + cairo_status_to_string(st));
  }
  std::string png;
  const cairo_status_t st = cairo_surface_write_to_png_stream(
      surface.get(),
      [](void* closure, const unsigned char* data, unsigned int length) {
        static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  if (st != CAIRO_STATUS_SUCCESS) throw std::runtime_error(std::string("encoding the picture failed: ") + cairo_status_to_string(st));
  return png;
}

}  // namespace host::render
