#include "host/render/detail/raster_codecs.h"

#include <cairo.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <libimagequant.h>
#include <png.h>
#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace host::render::detail {

namespace {

// Cairo's RGB24 pixels are native 32-bit words 0x00RRGGBB; in memory on a little-endian
// machine that is B, G, R, X, which libpng and libjpeg-turbo take without a copy.
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the encoders read cairo pixels in little-endian order");

struct Pixels {
  const unsigned char* data;
  int width;
  int height;
  int stride;
  const uint32_t* row(int y) const { return reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride); }
};

Pixels pixels_of(cairo_surface_t* image) {
  cairo_surface_flush(image);
  if (cairo_surface_get_type(image) != CAIRO_SURFACE_TYPE_IMAGE || cairo_image_surface_get_format(image) != CAIRO_FORMAT_RGB24)
    throw std::logic_error("the raster encoders take RGB24 image surfaces");
  return {cairo_image_surface_get_data(image), cairo_image_surface_get_width(image), cairo_image_surface_get_height(image),
          cairo_image_surface_get_stride(image)};
}

struct FileCloser {
  void operator()(FILE* f) const {
    if (f) fclose(f);
  }
};
using File = std::unique_ptr<FILE, FileCloser>;

File open_for_writing(const std::filesystem::path& path) {
  File f(fopen(path.c_str(), "wb"));
  if (!f) throw std::runtime_error(std::string("cannot open the file for writing: ") + std::strerror(errno));
  return f;
}

void close_checked(File f) {
  FILE* raw = f.release();
  bool failed = ferror(raw) != 0;
  int e = errno;
  if (fclose(raw) != 0 && !failed) {
    failed = true;
    e = errno;
  }
  if (failed) throw std::runtime_error(std::string("writing failed: ") + std::strerror(e));
}

// ---- PNG -------------------------------------------------------------------------

struct PngMessage {
  char text[200] = "libpng failed";
};

void png_fail(png_structp png, png_const_charp msg) {
  auto* m = static_cast<PngMessage*>(png_get_error_ptr(png));
  std::snprintf(m->text, sizeof m->text, "%s", msg);
  png_longjmp(png, 1);
}

void png_warn(png_structp, png_const_charp) {}

// Plain C control flow only between setjmp and the end: nothing here has a destructor.
bool png_encode(FILE* f, const Pixels& px, unsigned ppm, PngMessage* msg) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, msg, png_fail, png_warn);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, static_cast<png_uint_32>(px.width), static_cast<png_uint_32>(px.height), 8, PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
  // Maps are mostly flat colour: the Up filter with run-length deflate compresses about
  // as well as the default settings and several times faster on a 300 dpi page.
  png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_UP);
  png_set_compression_level(png, 1);
  png_set_compression_strategy(png, Z_RLE);
  png_write_info(png, info);
  png_set_bgr(png);
  png_set_filler(png, 0, PNG_FILLER_AFTER);
  for (int y = 0; y < px.height; ++y)
    png_write_row(png, reinterpret_cast<png_const_bytep>(px.row(y)));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return true;
}

// ---- JPEG ------------------------------------------------------------------------

struct JpegError {
  jpeg_error_mgr pub;
  jmp_buf jump;
  char text[JMSG_LENGTH_MAX];
};

void jpeg_fail(j_common_ptr cinfo) {
  auto* e = reinterpret_cast<JpegError*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, e->text);
  longjmp(e->jump, 1);
}

void jpeg_quiet(j_common_ptr, int) {}

bool jpeg_encode(FILE* f, const Pixels& px, unsigned density, int quality, JpegError* err) {
  jpeg_compress_struct cinfo;
  std::memset(&cinfo, 0, sizeof cinfo);
  cinfo.err = jpeg_std_error(&err->pub);
  err->pub.error_exit = jpeg_fail;
  err->pub.emit_message = jpeg_quiet;
  if (setjmp(err->jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, f);
  cinfo.image_width = static_cast<JDIMENSION>(px.width);
  cinfo.image_height = static_cast<JDIMENSION>(px.height);
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  // Full colour resolution: thin coloured lines and small text lose their colour
  // under the usual halved chroma.
  cinfo.comp_info[0].h_samp_factor = 1;
  cinfo.comp_info[0].v_samp_factor = 1;
  cinfo.write_JFIF_header = TRUE;
  cinfo.density_unit = 1;  // dots per inch
  cinfo.X_density = static_cast<UINT16>(density);
  cinfo.Y_density = static_cast<UINT16>(density);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(px.row(static_cast<int>(cinfo.next_scanline))));
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// ---- GIF -------------------------------------------------------------------------

void liq_row(liq_color row_out[], int row, int width, void* user) {
  const auto* px = static_cast<const Pixels*>(user);
  const uint32_t* in = px->row(row);
  for (int x = 0; x < width; ++x) {
    uint32_t p = in[x];
    row_out[x] = liq_color{static_cast<unsigned char>(p >> 16), static_cast<unsigned char>(p >> 8),
                           static_cast<unsigned char>(p), 255};
  }
}

std::string liq_reason(liq_error e) {
  switch (e) {
    case LIQ_OUT_OF_MEMORY: return "out of memory while choosing the colours";
    case LIQ_QUALITY_TOO_LOW: return "the colours could not be reduced to 256";
    default: return "choosing the colours failed (libimagequant error " + std::to_string(static_cast<int>(e)) + ")";
  }
}

}  // namespace

unsigned PixelsPerMetre(double dpi) { return static_cast<unsigned>(std::lround(dpi / 0.0254)); }

void WritePng(cairo_surface_t* image, const std::filesystem::path& path, double dpi) {
  Pixels px = pixels_of(image);
  File f = open_for_writing(path);
  PngMessage msg;
  if (!png_encode(f.get(), px, PixelsPerMetre(dpi), &msg)) throw std::runtime_error(std::string("PNG: ") + msg.text);
  close_checked(std::move(f));
}

void WriteJpeg(cairo_surface_t* image, const std::filesystem::path& path, double dpi, int quality) {
  Pixels px = pixels_of(image);
  if (px.width > JPEG_MAX_DIMENSION || px.height > JPEG_MAX_DIMENSION)
    throw std::runtime_error("JPEG holds at most " + std::to_string(JPEG_MAX_DIMENSION) + " pixels a side");
  File f = open_for_writing(path);
  auto err = std::make_unique<JpegError>();
  unsigned density = static_cast<unsigned>(std::clamp<long>(std::lround(dpi), 1, 65535));
  if (!jpeg_encode(f.get(), px, density, std::clamp(quality, 1, 100), err.get()))
    throw std::runtime_error(std::string("JPEG: ") + err->text);
  close_checked(std::move(f));
}

void WriteGif(cairo_surface_t* image, const std::filesystem::path& path) {
  Pixels px = pixels_of(image);
  if (px.width > 65535 || px.height > 65535) throw std::runtime_error("GIF holds at most 65535 pixels a side");

  std::unique_ptr<liq_attr, void (*)(liq_attr*)> attr(liq_attr_create(), liq_attr_destroy);
  if (!attr) throw std::runtime_error("out of memory while choosing the colours");
  liq_set_max_colors(attr.get(), 256);
  std::unique_ptr<liq_image, void (*)(liq_image*)> img(
      liq_image_create_custom(attr.get(), liq_row, &px, px.width, px.height, 0), liq_image_destroy);
  if (!img) throw std::runtime_error("out of memory while choosing the colours");
  liq_result* raw_result = nullptr;
  if (liq_error e = liq_image_quantize(img.get(), attr.get(), &raw_result); e != LIQ_OK) throw std::runtime_error(liq_reason(e));
  std::unique_ptr<liq_result, void (*)(liq_result*)> result(raw_result, liq_result_destroy);
  liq_set_dithering_level(result.get(), 0.5f);
  std::vector<unsigned char> indices(static_cast<size_t>(px.width) * px.height);
  if (liq_error e = liq_write_remapped_image(result.get(), img.get(), indices.data(), indices.size()); e != LIQ_OK)
    throw std::runtime_error(liq_reason(e));
  const liq_palette* palette = liq_get_palette(result.get());

  // A GIF colour table has a power-of-two size; the unused entries stay black.
  GifColorType colours[256] = {};
  for (unsigned i = 0; i < palette->count && i < 256; ++i)
    colours[i] = GifColorType{palette->entries[i].r, palette->entries[i].g, palette->entries[i].b};
  int bits = 1;
  while ((1u << bits) < palette->count) ++bits;
  std::unique_ptr<ColorMapObject, void (*)(ColorMapObject*)> map(GifMakeMapObject(1 << bits, colours), GifFreeMapObject);
  if (!map) throw std::runtime_error("out of memory for the colour table");

  int error = 0;
  GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
  if (!gif) throw std::runtime_error(std::string("GIF: ") + GifErrorString(error));
  bool ok = EGifPutScreenDesc(gif, px.width, px.height, bits, 0, map.get()) == GIF_OK &&
            EGifPutImageDesc(gif, 0, 0, px.width, px.height, false, nullptr) == GIF_OK;
  for (int y = 0; ok && y < px.height; ++y)
    ok = EGifPutLine(gif, indices.data() + static_cast<size_t>(y) * px.width, px.width) == GIF_OK;
  int write_error = ok ? 0 : gif->Error;
  int close_error = 0;
  if (EGifCloseFile(gif, &close_error) != GIF_OK && ok) {
    ok = false;
    write_error = close_error;
  }
  if (!ok) throw std::runtime_error(std::string("GIF: ") + (GifErrorString(write_error) ? GifErrorString(write_error) : "write failed"));
}

void WriteBmp(cairo_surface_t* image, const std::filesystem::path& path, double dpi) {
  Pixels px = pixels_of(image);
  const uint64_t row_bytes = (static_cast<uint64_t>(px.width) * 3 + 3) & ~uint64_t{3};
  const uint64_t image_bytes = row_bytes * static_cast<uint64_t>(px.height);
  if (image_bytes + 54 > 0xFFFFFFFFull) throw std::runtime_error("the image is too large for a BMP file");

  unsigned char header[54] = {};
  auto put16 = [&](int at, uint32_t v) {
    header[at] = static_cast<unsigned char>(v);
    header[at + 1] = static_cast<unsigned char>(v >> 8);
  };
  auto put32 = [&](int at, uint32_t v) {
    for (int i = 0; i < 4; ++i) header[at + i] = static_cast<unsigned char>(v >> (8 * i));
  };
  header[0] = 'B';
  header[1] = 'M';
  put32(2, static_cast<uint32_t>(54 + image_bytes));  // file size
  put32(10, 54);                                      // offset of the pixels
  put32(14, 40);                                      // BITMAPINFOHEADER
  put32(18, static_cast<uint32_t>(px.width));
  put32(22, static_cast<uint32_t>(px.height));  // positive: bottom-up rows
  put16(26, 1);                                 // planes
  put16(28, 24);                                // bits per pixel
  put32(30, 0);                                 // BI_RGB
  put32(34, static_cast<uint32_t>(image_bytes));
  put32(38, PixelsPerMetre(dpi));
  put32(42, PixelsPerMetre(dpi));

  File f = open_for_writing(path);
  std::vector<unsigned char> row(row_bytes, 0);
  bool ok = fwrite(header, 1, sizeof header, f.get()) == sizeof header;
  for (int y = px.height - 1; ok && y >= 0; --y) {
    const uint32_t* in = px.row(y);
    for (int x = 0; x < px.width; ++x) {
      uint32_t p = in[x];
      row[3 * x] = static_cast<unsigned char>(p);
      row[3 * x + 1] = static_cast<unsigned char>(p >> 8);
      row[3 * x + 2] = static_cast<unsigned char>(p >> 16);
    }
    ok = fwrite(row.data(), 1, row.size(), f.get()) == row.size();
  }
  close_checked(std::move(f));
  if (!ok) throw std::runtime_error("writing failed");
}

namespace {

int tiff_error(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
  auto* message = static_cast<std::string*>(user);
  char buf[300];
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  if (message->empty()) *message = std::string(module ? module : "TIFF") + ": " + buf;
  return 1;
}

int tiff_warning(TIFF*, void*, const char*, const char*, va_list) { return 1; }

}  // namespace

void WriteTiff(cairo_surface_t* image, const std::filesystem::path& path, double dpi) {
  Pixels px = pixels_of(image);
  std::string message;
  std::unique_ptr<TIFFOpenOptions, void (*)(TIFFOpenOptions*)> opts(TIFFOpenOptionsAlloc(), TIFFOpenOptionsFree);
  TIFFOpenOptionsSetErrorHandlerExtR(opts.get(), tiff_error, &message);
  TIFFOpenOptionsSetWarningHandlerExtR(opts.get(), tiff_warning, nullptr);
  TIFF* tif = TIFFOpenExt(path.c_str(), "w", opts.get());
  if (!tif) throw std::runtime_error(message.empty() ? "TIFF: cannot open the file" : message);

  const uint32_t rows_per_strip = static_cast<uint32_t>(std::max(1, 65536 / std::max(1, px.width * 3)));
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(px.width)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(px.height)) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW) && TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(dpi)) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(dpi)) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
            TIFFSetField(tif, TIFFTAG_SOFTWARE, "ZelvaneMap");
  std::vector<unsigned char> row(static_cast<size_t>(px.width) * 3);
  for (int y = 0; ok && y < px.height; ++y) {
    const uint32_t* in = px.row(y);
    for (int x = 0; x < px.width; ++x) {
      uint32_t p = in[x];
      row[3 * x] = static_cast<unsigned char>(p >> 16);
      row[3 * x + 1] = static_cast<unsigned char>(p >> 8);
      row[3 * x + 2] = static_cast<unsigned char>(p);
    }
    ok = TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0) == 1;
  }
  if (ok) ok = TIFFFlush(tif) == 1;
  TIFFClose(tif);
  if (!ok) throw std::runtime_error(message.empty() ? "TIFF: writing failed" : message);
}

}  // namespace host::render::detail
