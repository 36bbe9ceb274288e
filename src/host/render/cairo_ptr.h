// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Owning pointers for cairo objects and a save/restore guard, so that a throw between
// the two leaves no context in the wrong state.

#include <cairo.h>

#include <memory>

namespace host::render {

struct CairoDestroy {
  void operator()(cairo_t* cr) const { cairo_destroy(cr); }
};
struct SurfaceDestroy {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};

struct FontOptionsDestroy {
  void operator()(cairo_font_options_t* o) const { cairo_font_options_destroy(o); }
};

using CairoPtr = std::unique_ptr<cairo_t, CairoDestroy>;
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDestroy>;
using FontOptionsPtr = std::unique_ptr<cairo_font_options_t, FontOptionsDestroy>;

class CairoSave {
 public:
  explicit CairoSave(cairo_t* cr) : cr_(cr) { cairo_save(cr_); }
  ~CairoSave() { cairo_restore(cr_); }
  CairoSave(const CairoSave&) = delete;
  CairoSave& operator=(const CairoSave&) = delete;

 private:
  cairo_t* cr_;
};

}  // namespace host::render
