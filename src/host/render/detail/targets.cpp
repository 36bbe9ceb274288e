// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/targets.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>
#include <mutex>
#include <stdexcept>

#include "host/render/detail/emf_writer.h"
#include "host/render/detail/parallel.h"
#include "host/render/detail/pdf_stack.h"
#include "host/render/detail/raster_codecs.h"
#include "host/render/detail/svg_writer.h"
#include "host/render/display_list.h"

namespace host::render::detail {

namespace {

void check(cairo_surface_t* s, const char* what) {
  cairo_status_t st = cairo_surface_status(s);
  if (st != CAIRO_STATUS_SUCCESS) throw std::runtime_error(std::string(what) + ": " + cairo_status_to_string(st));
}

void write_bytes(const std::filesystem::path& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) throw std::runtime_error(std::string("cannot open the file for writing: ") + std::strerror(errno));
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  int e = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    e = errno;
  }
  if (!ok) throw std::runtime_error(std::string("writing failed: ") + std::strerror(e));
}

// The page image of the last raster page, kept for the next one of the same size: a
// run's pages are all one size, and a fresh image per page cost more than encoding
// (a 300 dpi Letter page is 33 MB that the kernel hands out zeroed, page by page).
// One image at most, and none larger than a 600 dpi Letter page.
class PageImages {
 public:
  static PageImages& Instance() {
    static PageImages images;
    return images;
  }

  SurfacePtr Take(int width, int height) {
    {
      std::lock_guard lock(mutex_);
      if (spare_ && cairo_image_surface_get_width(spare_.get()) == width &&
          cairo_image_surface_get_height(spare_.get()) == height) {
        cairo_surface_set_device_offset(spare_.get(), 0, 0);
        return std::move(spare_);
      }
      spare_.reset();
    }
    return SurfacePtr(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height));
  }

  // Keeps the image when nothing else holds it (a context still open on it would draw
  // into the next page).
  void Give(SurfacePtr image) {
    if (!image || cairo_surface_status(image.get()) != CAIRO_STATUS_SUCCESS ||
        cairo_surface_get_reference_count(image.get()) != 1)
      return;
    const double bytes = double(cairo_image_surface_get_stride(image.get())) * cairo_image_surface_get_height(image.get());
    if (bytes > kKeepBytes) return;
    std::lock_guard lock(mutex_);
    spare_ = std::move(image);
  }

 private:
  static constexpr double kKeepBytes = 5100.0 * 6600.0 * 4.0;
  std::mutex mutex_;
  SurfacePtr spare_;
};

// Text laid out as the page's medium lays it out (hinting differs between images and
// PDF): a context on a scratch surface of the same kind has the same font options.
class MediumLayouts {
 public:
  explicit MediumLayouts(cairo_surface_t* scratch)
      : surface_(scratch), cr_(cairo_create(surface_.get())), painter_(cr_.get()) {}
  cairo_t* Medium() const { return cr_.get(); }
  std::shared_ptr<const TextLayout> LayOut(const TextBlock& block) { return painter_.LayOut(block); }
  // A page kept as a display list with these layouts.
  static std::shared_ptr<RecordedPage> Page(const PageSetup& page, std::shared_ptr<MediumLayouts> layouts) {
    return std::make_shared<RecordedPage>(XY{page.origin_x, page.origin_y}, XY{double(page.width), double(page.height)},
                                          [layouts](const TextBlock& block) { return layouts->LayOut(block); });
  }

 private:
  SurfacePtr surface_;
  CairoPtr cr_;
  CairoPainter painter_;
};

// The bands a page image is drawn in at once: a few per core, so that a band of dense
// streets does not keep the others waiting, and none thinner than kMinBand rows.
size_t band_count(int height) {
  constexpr int kMinBand = 32;
  const int cores = UsableCores();
  if (cores <= 1) return 1;
  return static_cast<size_t>(std::clamp(height / kMinBand, 1, cores * 3));
}

// Rows drawn beyond each side of a band and then dropped (see PageBands::Draw).
constexpr int kBandOverlap = 4;

std::string cairo_failure(cairo_t* cr) {
  cairo_status_t st = cairo_status(cr);
  return st == CAIRO_STATUS_SUCCESS ? std::string() : std::string("drawing the page failed: ") + cairo_status_to_string(st);
}

// A kept page drawn into its image in bands on the workers, each band cleared and drawn
// with the items that reach it. Bands never overlap, so workers draw them at once.
class PageBands {
 public:
  PageBands(cairo_surface_t* image, const RecordedPage& page, const cairo_t* medium)
      : image_(image), page_(page), medium_(medium) {
    cairo_surface_flush(image_);
    // A scaled image is sampled a level apart where a band's edge cuts its paint, and
    // cairo's own recording is drawn in one piece: such a page is drawn whole.
    const std::vector<DisplayItem>& items = page_.list.Items();
    whole_ = page_.cairo || std::any_of(items.begin(), items.end(),
                                        [](const DisplayItem& i) { return i.kind == DisplayItem::Kind::Image; });
  }
  ~PageBands() { cairo_surface_mark_dirty(image_); }
  PageBands(const PageBands&) = delete;
  PageBands& operator=(const PageBands&) = delete;

  // Whether the page must be drawn in one piece.
  bool Whole() const { return whole_; }

  // The rows [y0, y1) drawn, on the caller's thread.
  void Draw(int y0, int y1) {
    unsigned char* data = cairo_image_surface_get_data(image_);
    const int width = cairo_image_surface_get_width(image_), height = cairo_image_surface_get_height(image_);
    const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(image_));
    // cairo rasterises a shape cut at a surface's edge a level apart from the same shape
    // drawn whole (its stroker drops what lies beyond), and a band's edges would be such
    // edges: a band is drawn into rows of its own reaching kBandOverlap rows beyond it,
    // and only its own rows are kept. The whole page is drawn in place.
    const bool whole = y0 == 0 && y1 == height;
    const int t0 = whole ? 0 : std::max(0, y0 - kBandOverlap), t1 = whole ? height : std::min(height, y1 + kBandOverlap);
    thread_local std::vector<unsigned char> rows;
    unsigned char* target = data;
    if (whole) {
      std::memset(data, 0xFF, stride * size_t(height));
    } else {
      rows.assign(stride * size_t(t1 - t0), 0xFF);
      target = rows.data();
    }
    SurfacePtr part(cairo_image_surface_create_for_data(target, CAIRO_FORMAT_RGB24, width, t1 - t0, int(stride)));
    cairo_surface_set_device_offset(part.get(), 0, -t0);
    CairoPtr cr(cairo_create(part.get()));
    if (page_.cairo) {
      cairo_set_source_surface(cr.get(), page_.cairo.get(), 0, 0);
      cairo_paint(cr.get());
    } else {
      CairoPainter painter(cr.get(), medium_);
      page_.list.ReplayPart(painter, 0, page_.list.Items().size(), t0, t1);
    }
    std::string failure = cairo_failure(cr.get());
    cr.reset();
    cairo_surface_flush(part.get());
    if (!whole) std::memcpy(data + stride * size_t(y0), rows.data() + stride * size_t(y0 - t0), stride * size_t(y1 - y0));
    if (!failure.empty()) {
      std::lock_guard lock(mutex_);
      if (failure_.empty()) failure_ = failure;
    }
  }

  // The whole page drawn: in bands on the workers, or in one piece.
  void All() {
    const int height = cairo_image_surface_get_height(image_);
    const size_t bands = whole_ ? 1 : band_count(height);
    ParallelFor(bands, [&](size_t band) {
      Draw(static_cast<int>(size_t(height) * band / bands), static_cast<int>(size_t(height) * (band + 1) / bands));
    });
  }

  // What went wrong drawing, as an error.
  void Check() const {
    if (!failure_.empty()) throw std::runtime_error(failure_);
  }

 private:
  cairo_surface_t* image_;
  const RecordedPage& page_;
  const cairo_t* medium_;
  bool whole_ = false;
  std::mutex mutex_;
  std::string failure_;
};

// Raster pages are opaque white paper; the encoders take the pixels as they are. The
// page is kept as a display list while it is drawn, then drawn into the image in bands
// on every core; a PNG's strips are each drawn and deflated by one worker.
class RasterTarget : public Target {
 public:
  explicit RasterTarget(Format f) : format_(f) {}
  ~RasterTarget() override { Drop(); }
  DeviceKind Kind() const override { return DeviceKind::Raster; }
  void Drop() override {
    page_.reset();
    layouts_.reset();
    PageImages::Instance().Give(std::move(surface_));
  }

  std::shared_ptr<DeviceContext> Begin(const std::filesystem::path& file, const PageSetup& page,
                                       DeviceKind kind) override {
    file_ = file;
    setup_ = page;
    surface_ = PageImages::Instance().Take(page.width, page.height);
    if (cairo_surface_status(surface_.get()) == CAIRO_STATUS_NO_MEMORY)
      throw std::runtime_error("not enough memory for an image of " + std::to_string(page.width) + " x " +
                               std::to_string(page.height) + " pixels");
    check(surface_.get(), "cannot make the image");
    layouts_ = std::make_shared<MediumLayouts>(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1));
    page_ = MediumLayouts::Page(page, layouts_);
    return std::make_shared<DeviceContext>(page_, page.width, page.height, page.dpi, kind);
  }

  void End() override {
    cairo_surface_t* s = surface_.get();
    {
      PageBands bands(s, *page_, layouts_->Medium());
      // On one core the page is drawn once, whole: strip by strip, a label lying across
      // two strips would be drawn twice.
      if (format_ == Format::PNG && !bands.Whole() && UsableCores() > 1) {
        WritePng(s, file_, setup_.dpi, [&](int y0, int y1) { bands.Draw(y0, y1); });
      } else {
        bands.All();
        if (format_ == Format::PNG) WritePng(s, file_, setup_.dpi);
      }
      bands.Check();
    }
    switch (format_) {
      case Format::PNG: break;  // written as it was drawn
      case Format::JPG: WriteJpeg(s, file_, setup_.dpi, 92); break;
      case Format::GIF: WriteGif(s, file_); break;
      case Format::BMP: WriteBmp(s, file_, setup_.dpi); break;
      case Format::TIF: WriteTiff(s, file_, setup_.dpi); break;
      default: throw std::logic_error("not a raster format");
    }
    Drop();
  }

 private:
  Format format_;
  std::filesystem::path file_;
  PageSetup setup_;
  SurfacePtr surface_;
  std::shared_ptr<MediumLayouts> layouts_;
  std::shared_ptr<RecordedPage> page_;
};

// Kinds written from the whole page's display list.
class ListTarget : public Target {
 public:
  DeviceKind Kind() const override { return DeviceKind::Vector; }
  void Drop() override { page_.reset(); }

  std::shared_ptr<DeviceContext> Begin(const std::filesystem::path& file, const PageSetup& page,
                                       DeviceKind kind) override {
    file_ = file;
    setup_ = page;
    page_ = std::make_shared<RecordedPage>(XY{page.origin_x, page.origin_y},
                                           XY{static_cast<double>(page.width), static_cast<double>(page.height)});
    return std::make_shared<DeviceContext>(page_, page.width, page.height, page.dpi, kind);
  }

 protected:
  std::filesystem::path file_;
  PageSetup setup_;
  std::shared_ptr<RecordedPage> page_;
};

// What a part of a PDF page draws of its items: everything, everything but the glyphs
// of text (its halos included), or those glyphs alone. Saves, restores and clips are
// drawn in each.
enum class Pieces { All, Shapes, Glyphs };

class PiecesPainter : public Painter {
 public:
  PiecesPainter(CairoPainter& painter, Pieces pieces) : p_(painter), pieces_(pieces) {}
  void Save() override { p_.Save(); }
  void Restore() override { p_.Restore(); }
  void Clip(const Path& path, FillRule rule) override { p_.Clip(path, rule); }
  void Fill(const Path& path, const Colour& colour, FillRule rule) override {
    if (pieces_ != Pieces::Glyphs) p_.Fill(path, colour, rule);
  }
  void Stroke(const Path& path, const Colour& colour, const StrokeStyle& style) override {
    if (pieces_ != Pieces::Glyphs) p_.Stroke(path, colour, style);
  }
  void Paint(const Colour& colour) override {
    if (pieces_ != Pieces::Glyphs) p_.Paint(colour);
  }
  std::shared_ptr<const TextLayout> LayOut(const TextBlock& block) override { return p_.LayOut(block); }
  void Text(const TextRun& run) override {
    if (pieces_ == Pieces::All) return p_.Text(run);
    if (pieces_ == Pieces::Shapes) return p_.TextHalo(run);
    if (!run.halo) return p_.Text(run);
    TextRun glyphs = run;
    glyphs.halo.reset();
    p_.Text(glyphs);
  }
  void DrawImage(const Image& image, double x, double y, double w, double h) override {
    if (pieces_ != Pieces::Glyphs) p_.DrawImage(image, x, y, w, h);
  }

 private:
  CairoPainter& p_;
  Pieces pieces_;
};

// PDF (and the Illustrator file, which is a PDF). cairo writes the kept page: a large
// page in parts, written at once on the cores, each into a PDF of its own, and the parts
// then stacked into one page. cairo's compression and number printing are most of a PDF
// page's time, and they are spread that way. A PDF embeds the glyphs of a font it uses
// as a subset of its own, so the glyphs of all text go into one part, a page of it for
// each stretch of the page: every font is embedded once. A label's halo is outlines, not
// glyphs, and goes with the shapes.
class PdfTarget : public ListTarget {
 public:
  void Drop() override {
    ListTarget::Drop();
    layouts_.reset();
  }

  std::shared_ptr<DeviceContext> Begin(const std::filesystem::path& file, const PageSetup& page,
                                       DeviceKind kind) override {
    file_ = file;
    setup_ = page;
    layouts_ = std::make_shared<MediumLayouts>(start(cairo_pdf_surface_create_for_stream(nullptr, nullptr, 1, 1)).release());
    page_ = MediumLayouts::Page(page, layouts_);
    return std::make_shared<DeviceContext>(page_, page.width, page.height, page.dpi, kind);
  }

  void End() override {
    if (page_->cairo) {
      // Drawn with cairo itself: its recording, in one piece.
      SurfacePtr surface = start(cairo_pdf_surface_create(file_.c_str(), width_pt(), height_pt()));
      CairoPtr cr(cairo_create(surface.get()));
      cairo_set_source_surface(cr.get(), page_->cairo.get(), 0, 0);
      cairo_paint(cr.get());
      finish(std::move(cr), std::move(surface));
      Drop();
      return;
    }
    const PartPlan plan = plan_parts();
    if (plan.parts.size() <= 1) {
      SurfacePtr surface = start(cairo_pdf_surface_create(file_.c_str(), width_pt(), height_pt()));
      draw(surface.get(), 0, page_->list.Items().size());
    } else {
      // Each part drawn and written by one worker, a page for each of its runs of items.
      // The text's layouts stay alive in the page until every worker is done.
      std::vector<std::string> bytes(plan.parts.size());
      ParallelFor(plan.parts.size(), [&](size_t k) {
        SurfacePtr surface = start(cairo_pdf_surface_create_for_stream(append, &bytes[k], width_pt(), height_pt()));
        for (const Run& run : plan.parts[k]) {
          record(surface.get(), run.from, run.to, run.pieces);
          cairo_surface_show_page(surface.get());
        }
        cairo_surface_finish(surface.get());
        check(surface.get(), "writing the PDF file failed");
      });
      StackPdfPages(bytes, plan.order, file_);
    }
    Drop();
  }

 private:
  // What of the items [from, to) a page of a part draws.
  struct Run {
    size_t from = 0, to = 0;
    Pieces pieces = Pieces::All;
  };
  // The parts a page is written in, each a list of runs that become its pages in order,
  // and the parts' pages in the page's drawing order.
  struct PartPlan {
    std::vector<std::vector<Run>> parts;
    std::vector<PdfPagePick> order;
  };

  // The page is cut into stretches of items in each of which the glyphs of text may be
  // drawn after all the rest: no glyph lies under anything drawn after it in the
  // stretch. The glyphs are one part, a page for each stretch; the rest is cut into
  // parts of about equal work (path elements, glyphs), so that with the glyphs there is
  // about one part per core, none smaller than kPartWork. A small page stays whole.
  PartPlan plan_parts() const {
    constexpr size_t kPartWork = 2000;
    const std::vector<DisplayItem>& items = page_->list.Items();
    // The work of an item's glyphs, and of the rest of it.
    std::vector<size_t> glyph_work(items.size(), 0), shape_work(items.size(), 0);
    size_t glyphs_total = 0, shapes_total = 0;
    for (size_t n = 0; n < items.size(); ++n) {
      const DisplayItem& i = items[n];
      if (i.kind == DisplayItem::Kind::Text) {
        size_t glyphs = 0;
        for (const GlyphRun& run : i.text.layout->Runs()) glyphs += run.glyphs.size();
        glyph_work[n] = 8 + 4 * glyphs;
        // A halo is the glyphs' outlines stroked: their curves go into the page itself.
        if (i.text.halo) shape_work[n] = 8 + 56 * glyphs;
      } else if (i.kind == DisplayItem::Kind::Image) {
        shape_work[n] = 8 + i.image->pixels.size() / 64;
      } else {
        // Each drawn path also sets its colour, line and clip in the page.
        shape_work[n] = 12 + i.path.Elements().size();
      }
      glyphs_total += glyph_work[n];
      shapes_total += shape_work[n];
    }
    PartPlan plan;
    const size_t total = glyphs_total + shapes_total;
    const size_t parts = std::clamp<size_t>(total / kPartWork, 1, static_cast<size_t>(UsableCores()));
    if (parts <= 1) {
      plan.parts.push_back({Run{0, items.size(), Pieces::All}});
      plan.order.push_back({0, 0});
      return plan;
    }
    // The stretches: one ends before an item whose shapes reach a glyph of the stretch.
    auto drawn = [](const DisplayItem& i) {
      return i.kind != DisplayItem::Kind::Save && i.kind != DisplayItem::Kind::Restore &&
             i.kind != DisplayItem::Kind::Clip;
    };
    auto meet = [](const Reach& a, const Reach& b) {
      return a.x0 <= b.x1 && b.x0 <= a.x1 && a.y0 <= b.y1 && b.y0 <= a.y1;
    };
    std::vector<size_t> stretch_ends;
    std::vector<const Reach*> glyphs_in_stretch;
    for (size_t n = 0; n < items.size(); ++n) {
      const DisplayItem& i = items[n];
      if (drawn(i) && (i.kind != DisplayItem::Kind::Text || i.text.halo) &&
          std::any_of(glyphs_in_stretch.begin(), glyphs_in_stretch.end(),
                      [&](const Reach* g) { return meet(*g, i.reach); })) {
        stretch_ends.push_back(n);
        glyphs_in_stretch.clear();
      }
      if (i.kind == DisplayItem::Kind::Text) glyphs_in_stretch.push_back(&i.reach);
    }
    stretch_ends.push_back(items.size());

    // The glyphs' part first (it is the one that cannot be split), then the others, as
    // many as the shapes' share of the work fills.
    const bool glyph_part = glyphs_total > 0;
    const size_t first_shape_part = glyph_part ? 1 : 0;
    const size_t shape_parts =
        shapes_total == 0 ? 0 : std::clamp<size_t>((shapes_total * parts + total / 2) / total, 1, parts);
    plan.parts.resize(first_shape_part + shape_parts);
    auto add = [&](size_t part, Run run) {
      plan.order.push_back({part, plan.parts[part].size()});
      plan.parts[part].push_back(run);
    };
    size_t done = 0, from = 0;
    for (size_t end : stretch_ends) {
      // The stretch's shapes, cut where a part's share of the work is full.
      bool any_glyph = false;
      size_t run_from = from, run_part = std::numeric_limits<size_t>::max();
      bool any_shape = false;
      for (size_t n = from; n < end; ++n) {
        any_glyph |= glyph_work[n] > 0;
        if (shape_work[n] == 0) continue;
        const size_t part = first_shape_part + std::min(shape_parts - 1, done * shape_parts / shapes_total);
        done += shape_work[n];
        if (part != run_part && any_shape) {
          add(run_part, {run_from, n, Pieces::Shapes});
          run_from = n;
        }
        run_part = part;
        any_shape = true;
      }
      if (any_shape) add(run_part, {run_from, end, Pieces::Shapes});
      if (any_glyph) add(0, {from, end, Pieces::Glyphs});
      from = end;
    }
    // A part left without runs (its share fell inside a run) is dropped, its picks renumbered.
    std::vector<size_t> renumber(plan.parts.size());
    std::vector<std::vector<Run>> kept;
    for (size_t k = 0; k < plan.parts.size(); ++k) {
      renumber[k] = kept.size();
      if (!plan.parts[k].empty()) kept.push_back(std::move(plan.parts[k]));
    }
    plan.parts = std::move(kept);
    for (PdfPagePick& pick : plan.order) pick.part = renumber[pick.part];
    return plan;
  }

  double width_pt() const { return setup_.width * 72.0 / setup_.dpi; }
  double height_pt() const { return setup_.height * 72.0 / setup_.dpi; }

  static cairo_status_t append(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
  }

  // A PDF surface of the page: device pixels mapped onto points.
  SurfacePtr start(cairo_surface_t* created) const {
    SurfacePtr surface(created);
    check(surface.get(), "cannot start the PDF file");
    const double pt = 72.0 / setup_.dpi;
    cairo_surface_set_device_scale(surface.get(), pt, pt);
    cairo_surface_set_fallback_resolution(surface.get(), setup_.dpi, setup_.dpi);
    cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_CREATOR, "ZelvaneMap");
    if (!setup_.title.empty())
      cairo_pdf_surface_set_metadata(surface.get(), CAIRO_PDF_METADATA_TITLE, setup_.title.c_str());
    return surface;
  }

  void draw(cairo_surface_t* surface, size_t from, size_t to) const {
    record(surface, from, to, Pieces::All);
    cairo_surface_finish(surface);
    check(surface, "writing the PDF file failed");
  }

  // Those pieces of the items drawn into cairo's recording of the page, which it writes
  // out when the page is shown or the surface finished.
  void record(cairo_surface_t* surface, size_t from, size_t to, Pieces pieces) const {
    CairoPtr cr(cairo_create(surface));
    CairoPainter painter(cr.get(), layouts_->Medium());
    PiecesPainter some(painter, pieces);
    page_->list.ReplayPart(some, from, to);
    if (std::string failure = cairo_failure(cr.get()); !failure.empty()) throw std::runtime_error(failure);
  }

  static void finish(CairoPtr cr, SurfacePtr surface) {
    std::string failure = cairo_failure(cr.get());
    cr.reset();
    if (!failure.empty()) throw std::runtime_error(failure);
    cairo_surface_finish(surface.get());
    check(surface.get(), "writing the PDF file failed");
  }

  std::shared_ptr<MediumLayouts> layouts_;
};

class SvgTarget : public ListTarget {
 public:
  void End() override {
    SvgPage page{setup_.width, setup_.height, setup_.dpi, setup_.title};
    write_bytes(file_, page_->cairo ? SvgFromRecording(page_->cairo.get(), page) : SvgFromList(page_->list, page));
    Drop();
  }
};

class EmfTarget : public ListTarget {
 public:
  void End() override {
    EmfPage page{setup_.width, setup_.height, setup_.dpi, setup_.title};
    write_bytes(file_, page_->cairo ? EmfFromRecording(page_->cairo.get(), page) : EmfFromList(page_->list, page));
    Drop();
  }
};

}  // namespace

std::unique_ptr<Target> MakeTarget(Format format) {
  switch (format) {
    case Format::PNG:
    case Format::JPG:
    case Format::GIF:
    case Format::BMP:
    case Format::TIF: return std::make_unique<RasterTarget>(format);
    case Format::PDF:
    case Format::AI: return std::make_unique<PdfTarget>();
    case Format::SVG: return std::make_unique<SvgTarget>();
    case Format::EMF: return std::make_unique<EmfTarget>();
  }
  throw std::logic_error("unknown format");
}

}  // namespace host::render::detail
