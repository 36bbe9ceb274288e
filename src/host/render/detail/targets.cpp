// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/targets.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <mutex>
#include <stdexcept>

#include "host/render/detail/emf_writer.h"
#include "host/render/detail/parallel.h"
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

class SurfaceTarget : public Target {
 public:
  ~SurfaceTarget() override { Drop(); }
  void Drop() override { surface_.reset(); }

 protected:
  std::shared_ptr<DeviceContext> device(DeviceKind kind) {
    if (page_.origin_x != 0 || page_.origin_y != 0) {
      double sx = 1, sy = 1;
      cairo_surface_get_device_scale(surface_.get(), &sx, &sy);
      cairo_surface_set_device_offset(surface_.get(), page_.origin_x * sx, page_.origin_y * sy);
    }
    CairoPtr cr(cairo_create(surface_.get()));
    if (cairo_status(cr.get()) != CAIRO_STATUS_SUCCESS)
      throw std::runtime_error(std::string("cannot draw: ") + cairo_status_to_string(cairo_status(cr.get())));
    return std::make_shared<DeviceContext>(cr.release(), page_.width, page_.height, page_.dpi, kind);
  }

  SurfacePtr surface_;
  std::filesystem::path file_;
  PageSetup page_;
};

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

// Text laid out as a page image lays it out: a context on a tiny image has the font
// options of every image.
class RasterLayouts {
 public:
  RasterLayouts()
      : surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 1, 1)), cr_(cairo_create(surface_.get())),
        painter_(cr_.get()) {}
  cairo_t* Medium() const { return cr_.get(); }
  std::shared_ptr<const TextLayout> LayOut(const TextBlock& block) { return painter_.LayOut(block); }

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

std::string cairo_failure(cairo_t* cr) {
  cairo_status_t st = cairo_status(cr);
  return st == CAIRO_STATUS_SUCCESS ? std::string() : std::string("drawing the page failed: ") + cairo_status_to_string(st);
}

// Raster pages are opaque white paper; the encoders take the pixels as they are. The
// page is kept as a display list while it is drawn, then drawn into the image in bands
// on every core: each band is cleared and drawn by one worker, with what reaches it.
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
    layouts_ = std::make_shared<RasterLayouts>();
    std::shared_ptr<RasterLayouts> layouts = layouts_;
    page_ = std::make_shared<RecordedPage>(XY{page.origin_x, page.origin_y}, XY{double(page.width), double(page.height)},
                                           [layouts](const TextBlock& block) { return layouts->LayOut(block); });
    return std::make_shared<DeviceContext>(page_, page.width, page.height, page.dpi, kind);
  }

  void End() override {
    draw();
    cairo_surface_t* s = surface_.get();
    switch (format_) {
      case Format::PNG: WritePng(s, file_, setup_.dpi); break;
      case Format::JPG: WriteJpeg(s, file_, setup_.dpi, 92); break;
      case Format::GIF: WriteGif(s, file_); break;
      case Format::BMP: WriteBmp(s, file_, setup_.dpi); break;
      case Format::TIF: WriteTiff(s, file_, setup_.dpi); break;
      default: throw std::logic_error("not a raster format");
    }
    Drop();
  }

 private:
  void draw() {
    cairo_surface_t* image = surface_.get();
    cairo_surface_flush(image);
    unsigned char* data = cairo_image_surface_get_data(image);
    const int width = cairo_image_surface_get_width(image), height = cairo_image_surface_get_height(image);
    const size_t stride = static_cast<size_t>(cairo_image_surface_get_stride(image));
    if (page_->cairo) {
      // Drawn with cairo itself: its recording, on this thread.
      std::memset(data, 0xFF, stride * static_cast<size_t>(height));
      cairo_surface_mark_dirty(image);
      CairoPtr cr(cairo_create(image));
      cairo_set_source_surface(cr.get(), page_->cairo.get(), 0, 0);
      cairo_paint(cr.get());
      if (std::string failure = cairo_failure(cr.get()); !failure.empty()) throw std::runtime_error(failure);
      return;
    }
    // A scaled image is sampled a level apart where a band's edge cuts its paint, so a
    // page holding one is drawn whole.
    const std::vector<DisplayItem>& items = page_->list.Items();
    const bool has_image =
        std::any_of(items.begin(), items.end(), [](const DisplayItem& i) { return i.kind == DisplayItem::Kind::Image; });
    const size_t bands = has_image ? 1 : band_count(height);
    std::vector<std::string> failures(bands);
    ParallelFor(bands, [&](size_t band) {
      const int y0 = static_cast<int>(size_t(height) * band / bands);
      const int y1 = static_cast<int>(size_t(height) * (band + 1) / bands);
      std::memset(data + stride * static_cast<size_t>(y0), 0xFF, stride * static_cast<size_t>(y1 - y0));
      // The whole image clipped to the band: device pixels stay where they are on a page
      // drawn whole, so everything rounds as it does there.
      SurfacePtr part(cairo_image_surface_create_for_data(data, CAIRO_FORMAT_RGB24, width, height, int(stride)));
      CairoPtr cr(cairo_create(part.get()));
      cairo_rectangle(cr.get(), 0, y0, width, y1 - y0);
      cairo_clip(cr.get());
      CairoPainter painter(cr.get(), layouts_->Medium());
      page_->list.ReplayPart(painter, 0, items.size(), y0, y1);
      failures[band] = cairo_failure(cr.get());
      cr.reset();
      cairo_surface_flush(part.get());
    });
    cairo_surface_mark_dirty(image);
    for (const std::string& failure : failures)
      if (!failure.empty()) throw std::runtime_error(failure);
  }

  Format format_;
  std::filesystem::path file_;
  PageSetup setup_;
  SurfacePtr surface_;
  std::shared_ptr<RasterLayouts> layouts_;
  std::shared_ptr<RecordedPage> page_;
};

// PDF (and the Illustrator file, which is a PDF): cairo writes while the page is drawn.
class PdfTarget : public SurfaceTarget {
 public:
  DeviceKind Kind() const override { return DeviceKind::Vector; }

  std::shared_ptr<DeviceContext> Begin(const std::filesystem::path& file, const PageSetup& page,
                                       DeviceKind kind) override {
    file_ = file;
    page_ = page;
    const double pt = 72.0 / page.dpi;
    surface_.reset(cairo_pdf_surface_create(file.c_str(), page.width * pt, page.height * pt));
    check(surface_.get(), "cannot start the PDF file");
    cairo_surface_set_device_scale(surface_.get(), pt, pt);
    cairo_surface_set_fallback_resolution(surface_.get(), page.dpi, page.dpi);
    cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_CREATOR, "ZelvaneMap");
    if (!page.title.empty())
      cairo_pdf_surface_set_metadata(surface_.get(), CAIRO_PDF_METADATA_TITLE, page.title.c_str());
    return device(kind);
  }

  void End() override {
    cairo_surface_finish(surface_.get());
    check(surface_.get(), "writing the PDF file failed");
    Drop();
  }
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
