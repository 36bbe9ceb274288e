// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/painter.h"

#include <cairo-ft.h>
#include <cairo.h>
#include <ft2build.h>
#include <pango/pangocairo.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H

#include <cmath>
#include <cstring>
#include <mutex>

#include "host/render/cairo_ptr.h"
#include "host/render/detail/owned_mutex.h"
#include "host/vb/text.h"

namespace host::render {

// ---- paths -------------------------------------------------------------------------

Path& Path::MoveTo(double x, double y) {
  elements_.push_back({Op::Move, {{x, y}}});
  return *this;
}

Path& Path::LineTo(double x, double y) {
  elements_.push_back({Op::Line, {{x, y}}});
  return *this;
}

Path& Path::CurveTo(double x1, double y1, double x2, double y2, double x3, double y3) {
  elements_.push_back({Op::Curve, {{x1, y1}, {x2, y2}, {x3, y3}}});
  return *this;
}

Path& Path::Arc(double cx, double cy, double radius, double from, double to) {
  elements_.push_back({Op::Arc, {{cx, cy}, {radius, 0}, {from, to}}});
  return *this;
}

Path& Path::Close() {
  elements_.push_back({Op::Close, {}});
  return *this;
}

Path& Path::Rectangle(double x, double y, double w, double h) {
  elements_.push_back({Op::Rectangle, {{x, y}, {w, h}}});
  return *this;
}

std::optional<std::array<double, 4>> Path::AsRectangle() const {
  if (elements_.size() != 1 || elements_[0].op != Op::Rectangle) return std::nullopt;
  const XY &at = elements_[0].p[0], &size = elements_[0].p[1];
  return std::array<double, 4>{std::min(at.x, at.x + size.x), std::min(at.y, at.y + size.y),
                               std::max(at.x, at.x + size.x), std::max(at.y, at.y + size.y)};
}

namespace {

void trace_path(cairo_t* cr, const Path& path) {
  cairo_new_path(cr);
  for (const Path::Element& e : path.Elements()) {
    switch (e.op) {
      case Path::Op::Move: cairo_move_to(cr, e.p[0].x, e.p[0].y); break;
      case Path::Op::Line: cairo_line_to(cr, e.p[0].x, e.p[0].y); break;
      case Path::Op::Curve: cairo_curve_to(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y); break;
      case Path::Op::Arc: cairo_arc(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[2].x, e.p[2].y); break;
      case Path::Op::Rectangle: cairo_rectangle(cr, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y); break;
      case Path::Op::Close: cairo_close_path(cr); break;
    }
  }
}

// Cairo's path as ours, and cairo's freed.
Path taken(cairo_path_t* path) {
  Path out;
  for (int i = 0; i < path->num_data; i += path->data[i].header.length) {
    const cairo_path_data_t* d = &path->data[i];
    switch (d->header.type) {
      case CAIRO_PATH_MOVE_TO: out.MoveTo(d[1].point.x, d[1].point.y); break;
      case CAIRO_PATH_LINE_TO: out.LineTo(d[1].point.x, d[1].point.y); break;
      case CAIRO_PATH_CURVE_TO:
        out.CurveTo(d[1].point.x, d[1].point.y, d[2].point.x, d[2].point.y, d[3].point.x, d[3].point.y);
        break;
      case CAIRO_PATH_CLOSE_PATH: out.Close(); break;
    }
  }
  cairo_path_destroy(path);
  return out;
}

}  // namespace

Path Path::Expanded() const {
  bool plain = true;
  for (const Element& e : elements_) plain &= e.op != Op::Arc && e.op != Op::Rectangle;
  if (plain) return *this;
  // Cairo splits an arc by the tolerance in device pixels: the same curves a page drawn
  // with cairo gets.
  SurfacePtr scratch(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr));
  CairoPtr cr(cairo_create(scratch.get()));
  trace_path(cr.get(), *this);
  cairo_path_t* flat = cairo_copy_path(cr.get());
  return taken(flat);
}

// ---- text --------------------------------------------------------------------------

namespace {

// Pango's and fontconfig's objects are made, used and released by one thread at a time,
// under this lock; it is never taken by the thread that holds it.
detail::OwnedMutex pango_mutex("pango");

class PangoTextLayout : public TextLayout {
 public:
  // context: pango's, brought up to date with the context it is laid out for; medium:
  // that context, none for vector media.
  PangoTextLayout(PangoContext* context, const TextBlock& block, const cairo_t* medium)
      : block_(block), layout_(pango_layout_new(context)), medium_(medium) {
    PangoFontDescription* font = pango_font_description_new();
    pango_font_description_set_family(font, block.font.family.c_str());
    pango_font_description_set_absolute_size(font, block.font.size * PANGO_SCALE);
    pango_font_description_set_weight(font, block.font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
    if (block.font.italic) pango_font_description_set_style(font, PANGO_STYLE_ITALIC);
    pango_layout_set_font_description(layout_, font);
    pango_font_description_free(font);
    // A CR LF in the text starts a new line.
    std::string lines = vb::Replace(vb::Replace(block.text, "\r\n", "\n"), "\r", "\n");
    pango_layout_set_text(layout_, lines.c_str(), -1);
    PangoAlignment align = PANGO_ALIGN_LEFT;
    if (block.align == TextAlign::Center) align = PANGO_ALIGN_CENTER;
    if (block.align == TextAlign::Right) align = PANGO_ALIGN_RIGHT;
    pango_layout_set_alignment(layout_, align);
    if (block.width > 0) pango_layout_set_width(layout_, int(block.width * PANGO_SCALE));
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout_, &w, &h);
    width_ = w;
    height_ = h;
    baseline_ = pango_layout_get_baseline(layout_) / double(PANGO_SCALE);
  }
  ~PangoTextLayout() override {
    std::lock_guard lock(pango_mutex);
    g_object_unref(layout_);
  }

  const TextBlock& Block() const override { return block_; }
  double Width() const override { return width_; }
  double Height() const override { return height_; }
  double Baseline() const override { return baseline_; }
  // Read from pango on first use, by one thread; the runs never change after.
  const std::vector<GlyphRun>& Runs() const override {
    std::call_once(runs_read_, [this] {
      std::lock_guard lock(pango_mutex);
      runs_ = read_runs();
    });
    return runs_;
  }
  PangoLayout* Pango() const { return layout_; }
  const cairo_t* Medium() const { return medium_; }

 private:
  static void face_of(PangoFont* font, GlyphRun& out) {
    cairo_scaled_font_t* sf = font ? pango_cairo_font_get_scaled_font(PANGO_CAIRO_FONT(font)) : nullptr;
    if (!sf) return;
    cairo_matrix_t m;
    cairo_scaled_font_get_font_matrix(sf, &m);
    out.size = std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx));
    FT_Face face = cairo_ft_scaled_font_lock_face(sf);
    if (!face) return;
    out.family = face->family_name ? face->family_name : "";
    out.italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
    out.weight = (face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    if (os2 && os2->version != 0xFFFF && os2->usWeightClass >= 100 && os2->usWeightClass <= 900)
      out.weight = os2->usWeightClass;
    cairo_ft_scaled_font_unlock_face(sf);
  }

  // Where pango's cairo renderer puts each glyph: line by line at the line's logical
  // left and baseline, run after run.
  std::vector<GlyphRun> read_runs() const {
    std::vector<GlyphRun> runs;
    const char* text = pango_layout_get_text(layout_);
    PangoLayoutIter* it = pango_layout_get_iter(layout_);
    do {
      PangoLayoutRun* run = pango_layout_iter_get_run_readonly(it);
      if (!run) continue;
      PangoRectangle ink, logical;
      pango_layout_iter_get_run_extents(it, &ink, &logical);
      const double base_x = double(logical.x) / PANGO_SCALE;
      const double base_y = double(pango_layout_iter_get_baseline(it)) / PANGO_SCALE;
      GlyphRun out;
      face_of(run->item->analysis.font, out);
      out.utf8.assign(text + run->item->offset, static_cast<size_t>(run->item->length));
      out.backward = run->item->analysis.level % 2 != 0;
      const PangoGlyphString* glyphs = run->glyphs;
      int x_position = 0;
      for (int i = 0; i < glyphs->num_glyphs; ++i) {
        const PangoGlyphInfo& gi = glyphs->glyphs[i];
        if (gi.glyph != PANGO_GLYPH_EMPTY && !(gi.glyph & PANGO_GLYPH_UNKNOWN_FLAG)) {
          out.glyphs.push_back(gi.glyph);
          out.positions.push_back({base_x + double(x_position + gi.geometry.x_offset) / PANGO_SCALE,
                                   base_y + double(gi.geometry.y_offset) / PANGO_SCALE});
        }
        x_position += gi.geometry.width;
      }
      out.end = {base_x + double(x_position) / PANGO_SCALE, base_y};
      out.ink_min = {double(ink.x) / PANGO_SCALE, double(ink.y) / PANGO_SCALE};
      out.ink_max = {double(ink.x + ink.width) / PANGO_SCALE, double(ink.y + ink.height) / PANGO_SCALE};
      PangoGlyphItemIter cluster;
      for (gboolean more = pango_glyph_item_iter_init_start(&cluster, const_cast<PangoLayoutRun*>(run), text); more;
           more = pango_glyph_item_iter_next_cluster(&cluster)) {
        int bytes = cluster.end_index - cluster.start_index;
        int from = std::min(cluster.start_glyph, cluster.end_glyph + 1);
        int to = std::max(cluster.start_glyph + 1, cluster.end_glyph);
        int count = 0;
        for (int i = from; i < to; ++i) {
          PangoGlyph g = glyphs->glyphs[i].glyph;
          if (g != PANGO_GLYPH_EMPTY && !(g & PANGO_GLYPH_UNKNOWN_FLAG)) ++count;
        }
        out.clusters.emplace_back(bytes, count);
      }
      if (!out.glyphs.empty()) runs.push_back(std::move(out));
    } while (pango_layout_iter_next_run(it));
    pango_layout_iter_free(it);
    return runs;
  }

  TextBlock block_;
  PangoLayout* layout_;
  const cairo_t* medium_;
  double width_ = 0, height_ = 0, baseline_ = 0;
  mutable std::once_flag runs_read_;
  mutable std::vector<GlyphRun> runs_;
};

void set_colour(cairo_t* cr, const Colour& c) { cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a); }

cairo_fill_rule_t fill_rule(FillRule rule) {
  return rule == FillRule::EvenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
}

}  // namespace

// pango's context for the layouts on one cairo context, made as pango_cairo_create_layout
// makes one, and kept: making it is most of the cost of a short label's layout. It is
// made anew when the cairo context's matrix or font options change, so that no layout
// made before changes under it.
struct PangoCache {
  PangoContext* context = nullptr;
  cairo_matrix_t matrix{};
  FontOptionsPtr surface_options{cairo_font_options_create()};
  FontOptionsPtr options{cairo_font_options_create()};

  ~PangoCache() {
    if (context) g_object_unref(context);
  }

  PangoContext* For(cairo_t* cr) {
    cairo_matrix_t m;
    cairo_get_matrix(cr, &m);
    FontOptionsPtr surface(cairo_font_options_create()), own(cairo_font_options_create());
    cairo_surface_get_font_options(cairo_get_target(cr), surface.get());
    cairo_get_font_options(cr, own.get());
    const bool same = context && std::memcmp(&m, &matrix, sizeof m) == 0 &&
                      cairo_font_options_equal(surface.get(), surface_options.get()) &&
                      cairo_font_options_equal(own.get(), options.get());
    if (!same) {
      if (context) g_object_unref(context);
      context = pango_cairo_create_context(cr);
      matrix = m;
      surface_options = std::move(surface);
      options = std::move(own);
    }
    return context;
  }
};

namespace {

// A recording surface has the font options of the vector surfaces: unhinted metrics.
// One per thread; its pango context is released under the lock when the thread ends.
struct VectorMedium {
  SurfacePtr scratch{cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr)};
  CairoPtr cr{cairo_create(scratch.get())};
  std::unique_ptr<PangoCache> pango = std::make_unique<PangoCache>();
  ~VectorMedium() {
    std::lock_guard lock(pango_mutex);
    pango.reset();
  }
};

}  // namespace

std::shared_ptr<const TextLayout> LayOutForVector(const TextBlock& block) {
  thread_local VectorMedium medium;
  std::lock_guard lock(pango_mutex);
  return std::make_shared<PangoTextLayout>(medium.pango->For(medium.cr.get()), block, nullptr);
}

Path TextOutlines(const TextRun& run) {
  std::shared_ptr<const TextLayout> own;
  auto* layout = dynamic_cast<const PangoTextLayout*>(run.layout.get());
  if (!layout || layout->Medium() != nullptr) {
    own = LayOutForVector(run.layout->Block());
    layout = static_cast<const PangoTextLayout*>(own.get());
  }
  std::lock_guard lock(pango_mutex);
  thread_local SurfacePtr scratch(cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, nullptr));
  thread_local CairoPtr cr(cairo_create(scratch.get()));
  cairo_identity_matrix(cr.get());
  cairo_new_path(cr.get());
  cairo_translate(cr.get(), run.anchor.x, run.anchor.y);
  if (run.angle != 0) cairo_rotate(cr.get(), -run.angle * M_PI / 180.0);
  cairo_move_to(cr.get(), run.offset.x, run.offset.y);
  pango_cairo_layout_path(cr.get(), layout->Pango());
  // In page pixels, not in the text's turned frame.
  cairo_identity_matrix(cr.get());
  cairo_path_t* outlines = cairo_copy_path(cr.get());
  return taken(outlines);
}

// ---- cairo -------------------------------------------------------------------------

void CairoPainter::Save() { cairo_save(cr_); }

void CairoPainter::Restore() { cairo_restore(cr_); }

void CairoPainter::Clip(const Path& path, FillRule rule) {
  trace_path(cr_, path);
  cairo_set_fill_rule(cr_, fill_rule(rule));
  cairo_clip(cr_);
}

void CairoPainter::Fill(const Path& path, const Colour& colour, FillRule rule) {
  trace_path(cr_, path);
  cairo_set_fill_rule(cr_, fill_rule(rule));
  set_colour(cr_, colour);
  cairo_fill(cr_);
}

void CairoPainter::Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) {
  trace_path(cr_, path);
  set_colour(cr_, colour);
  cairo_set_line_width(cr_, style.width);
  cairo_set_line_cap(cr_, style.cap == LineCap::Round    ? CAIRO_LINE_CAP_ROUND
                          : style.cap == LineCap::Square ? CAIRO_LINE_CAP_SQUARE
                                                         : CAIRO_LINE_CAP_BUTT);
  cairo_set_line_join(cr_, style.join == LineJoin::Round   ? CAIRO_LINE_JOIN_ROUND
                           : style.join == LineJoin::Bevel ? CAIRO_LINE_JOIN_BEVEL
                                                           : CAIRO_LINE_JOIN_MITER);
  cairo_set_miter_limit(cr_, style.miter_limit);
  cairo_set_dash(cr_, style.dash.data(), static_cast<int>(style.dash.size()), 0);
  cairo_stroke(cr_);
  cairo_set_dash(cr_, nullptr, 0, 0);
}

void CairoPainter::Paint(const Colour& colour) {
  set_colour(cr_, colour);
  cairo_paint(cr_);
}

CairoPainter::CairoPainter(cairo_t* cr) : cr_(cr), same_medium_(cr) {}

CairoPainter::CairoPainter(cairo_t* cr, const cairo_t* sameMedium) : cr_(cr), same_medium_(sameMedium) {}

CairoPainter::~CairoPainter() {
  std::lock_guard lock(pango_mutex);
  pango_.reset();
}

std::shared_ptr<const TextLayout> CairoPainter::LayOut(const TextBlock& block) {
  std::lock_guard lock(pango_mutex);
  if (!pango_) pango_ = std::make_unique<PangoCache>();
  return std::make_shared<PangoTextLayout>(pango_->For(cr_), block, cr_);
}

namespace {

// The run's layout as this painter draws it: a layout made for another medium is laid
// out again for this one (and released under the lock when the caller is done with it).
const PangoTextLayout* own_layout(CairoPainter& painter, const TextRun& run, const cairo_t* cr,
                                  const cairo_t* sameMedium, std::shared_ptr<const TextLayout>& own) {
  auto* layout = dynamic_cast<const PangoTextLayout*>(run.layout.get());
  if (layout && (layout->Medium() == cr || layout->Medium() == sameMedium)) return layout;
  own = painter.LayOut(run.layout->Block());
  return static_cast<const PangoTextLayout*>(own.get());
}

}  // namespace

void CairoPainter::Text(const TextRun& run) {
  std::shared_ptr<const TextLayout> own;
  const PangoTextLayout* layout = own_layout(*this, run, cr_, same_medium_, own);
  CairoSave keep(cr_);
  cairo_translate(cr_, run.anchor.x, run.anchor.y);
  if (run.angle != 0) cairo_rotate(cr_, -run.angle * M_PI / 180.0);
  if (run.halo) stroke_halo(run, layout->Pango());
  std::lock_guard lock(pango_mutex);
  cairo_move_to(cr_, run.offset.x, run.offset.y);
  set_colour(cr_, run.colour);
  pango_cairo_show_layout(cr_, layout->Pango());
}

void CairoPainter::TextHalo(const TextRun& run) {
  if (!run.halo) return;
  std::shared_ptr<const TextLayout> own;
  const PangoTextLayout* layout = own_layout(*this, run, cr_, same_medium_, own);
  CairoSave keep(cr_);
  cairo_translate(cr_, run.anchor.x, run.anchor.y);
  if (run.angle != 0) cairo_rotate(cr_, -run.angle * M_PI / 180.0);
  stroke_halo(run, layout->Pango());
}

void CairoPainter::stroke_halo(const TextRun& run, PangoLayout* layout) {
  {
    std::lock_guard lock(pango_mutex);
    cairo_move_to(cr_, run.offset.x, run.offset.y);
    pango_cairo_layout_path(cr_, layout);
  }
  // The outlines are cairo's own from here: stroking them, the dearest part of a label,
  // needs no lock.
  set_colour(cr_, run.halo->colour);
  cairo_set_line_width(cr_, 2 * run.halo->width);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
  cairo_stroke(cr_);
}

void CairoPainter::DrawImage(const Image& image, double x, double y, double w, double h) {
  if (image.width <= 0 || image.height <= 0 || w <= 0 || h <= 0) return;
  const int stride = image.width * 4;
  SurfacePtr src(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())), CAIRO_FORMAT_ARGB32, image.width,
      image.height, stride));
  CairoSave keep(cr_);
  cairo_translate(cr_, x, y);
  cairo_scale(cr_, w / image.width, h / image.height);
  cairo_set_source_surface(cr_, src.get(), 0, 0);
  cairo_paint(cr_);
}

}  // namespace host::render
