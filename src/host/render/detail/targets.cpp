#include "host/render/detail/targets.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "host/render/detail/cairo_trace.h"
#include "host/render/detail/emf_writer.h"
#include "host/render/detail/raster_codecs.h"
#include "host/render/detail/svg_text.h"

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

std::string inches(int pixels, double dpi) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.4f", pixels / dpi);
  std::string s = buf;
  while (s.back() == '0') s.pop_back();
  if (s.back() == '.') s.pop_back();
  return s + "in";
}

class SurfaceTarget : public Target {
 public:
  ~SurfaceTarget() override { Drop(); }
  void Drop() override {
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = nullptr;
  }

 protected:
  cairo_t* context() {
    if (page_.origin_x != 0 || page_.origin_y != 0) {
      double sx = 1, sy = 1;
      cairo_surface_get_device_scale(surface_, &sx, &sy);
      cairo_surface_set_device_offset(surface_, page_.origin_x * sx, page_.origin_y * sy);
    }
    cairo_t* cr = cairo_create(surface_);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
      std::string why = cairo_status_to_string(cairo_status(cr));
      cairo_destroy(cr);
      throw std::runtime_error("cannot draw: " + why);
    }
    return cr;
  }

  cairo_surface_t* surface_ = nullptr;
  std::filesystem::path file_;
  PageSetup page_;
};

// Raster pages are opaque white paper; the encoders take the pixels as they are.
class RasterTarget : public SurfaceTarget {
 public:
  explicit RasterTarget(Format f) : format_(f) {}
  DeviceKind Kind() const override { return DeviceKind::Raster; }

  cairo_t* Begin(const std::filesystem::path& file, const PageSetup& page) override {
    file_ = file;
    page_ = page;
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, page.width, page.height);
    if (cairo_surface_status(surface_) == CAIRO_STATUS_NO_MEMORY)
      throw std::runtime_error("not enough memory for an image of " + std::to_string(page.width) + " x " +
                               std::to_string(page.height) + " pixels");
    check(surface_, "cannot make the image");
    cairo_t* cr = context();
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_source_rgb(cr, 0, 0, 0);
    return cr;
  }

  void End() override {
    switch (format_) {
      case Format::PNG: WritePng(surface_, file_, page_.dpi); break;
      case Format::JPG: WriteJpeg(surface_, file_, page_.dpi, 92); break;
      case Format::GIF: WriteGif(surface_, file_); break;
      case Format::BMP: WriteBmp(surface_, file_, page_.dpi); break;
      case Format::TIF: WriteTiff(surface_, file_, page_.dpi); break;
      default: throw std::logic_error("not a raster format");
    }
    Drop();
  }

 private:
  Format format_;
};

// PDF (and the Illustrator file, which is a PDF): cairo writes while the page is drawn.
class PdfTarget : public SurfaceTarget {
 public:
  DeviceKind Kind() const override { return DeviceKind::Vector; }

  cairo_t* Begin(const std::filesystem::path& file, const PageSetup& page) override {
    file_ = file;
    page_ = page;
    const double pt = 72.0 / page.dpi;
    surface_ = cairo_pdf_surface_create(file.c_str(), page.width * pt, page.height * pt);
    check(surface_, "cannot start the PDF file");
    cairo_surface_set_device_scale(surface_, pt, pt);
    cairo_surface_set_fallback_resolution(surface_, page.dpi, page.dpi);
    cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_CREATOR, "ZelvaneMap");
    if (!page.title.empty()) cairo_pdf_surface_set_metadata(surface_, CAIRO_PDF_METADATA_TITLE, page.title.c_str());
    return context();
  }

  void End() override {
    cairo_surface_finish(surface_);
    check(surface_, "writing the PDF file failed");
    Drop();
  }
};

// Kinds that need the whole page before they can write: the page is recorded first.
class RecordingTarget : public SurfaceTarget {
 public:
  DeviceKind Kind() const override { return DeviceKind::Vector; }

  cairo_t* Begin(const std::filesystem::path& file, const PageSetup& page) override {
    file_ = file;
    page_ = page;
    cairo_rectangle_t extents{0, 0, static_cast<double>(page.width), static_cast<double>(page.height)};
    surface_ = cairo_recording_surface_create(CAIRO_CONTENT_COLOR_ALPHA, &extents);
    check(surface_, "cannot record the page");
    return context();
  }
};

class SvgTarget : public RecordingTarget {
 public:
  void End() override {
    cairo_surface_flush(surface_);
    std::string svg;
    cairo_surface_t* out = cairo_svg_surface_create_for_stream(
        [](void* closure, const unsigned char* data, unsigned int n) {
          static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), n);
          return CAIRO_STATUS_SUCCESS;
        },
        &svg, page_.width, page_.height);
    cairo_svg_surface_restrict_to_version(out, CAIRO_SVG_VERSION_1_1);
    cairo_t* cr = cairo_create(out);
    cairo_set_source_surface(cr, surface_, 0, 0);
    cairo_paint(cr);
    cairo_destroy(cr);
    cairo_surface_finish(out);
    cairo_status_t st = cairo_surface_status(out);
    cairo_surface_destroy(out);
    if (st != CAIRO_STATUS_SUCCESS) throw std::runtime_error(std::string("writing the SVG failed: ") + cairo_status_to_string(st));
    PutTextIntoSvg(svg, ReadTrace(surface_));
    SetSvgSize(svg, inches(page_.width, page_.dpi), inches(page_.height, page_.dpi));
    if (!page_.title.empty()) {
      size_t root_end = svg.find('>', svg.find("<svg"));
      if (root_end != std::string::npos) svg.insert(root_end + 1, "\n<title>" + XmlEscape(page_.title) + "</title>");
    }
    write_bytes(file_, svg);
    Drop();
  }
};

class EmfTarget : public RecordingTarget {
 public:
  void End() override {
    cairo_surface_flush(surface_);
    write_bytes(file_, EmfFromRecording(surface_, EmfPage{page_.width, page_.height, page_.dpi, page_.title}));
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
