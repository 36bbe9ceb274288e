// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/raster_codecs.h"

#include <cairo.h>
#include <gif_lib.h>
#include <jpeglib.h>
#include <libdeflate.h>
#include <libimagequant.h>
#include <tiffio.h>
#include <zlib.h>
#include <immintrin.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <vector>

#include "host/render/detail/deflate_join.h"
#include "host/render/detail/parallel.h"

namespace host::render::detail {

namespace {

// Cairo's RGB24 pixels are native 32-bit words 0x00RRGGBB; in memory on a little-endian
// machine that is B, G, R, X, which libjpeg-turbo takes without a copy.
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

// The image goes out in horizontal strips, each filtered and deflated by itself on a
// worker and then joined into the one zlib stream of the IDAT chunks. A strip of at least
// this many filtered bytes is large enough that starting its dictionary afresh costs
// little; a page has at most kPngStrips of them, enough for the cores to share and few
// enough that a label seldom lies across two (each strip's rows may be drawn by its own
// worker). The strips depend only on the image's size, so the file is the same on one
// core as on many. A strip's first row is filtered by itself (None), so that a strip
// needs no row of another.
constexpr size_t kPngStripBytes = 128 * 1024;
constexpr int kPngStrips = 24;
// libdeflate's level 1 is its fastest on busy strips; on strips that the Up filter
// leaves nearly all zeros (paper, flat fills) its level 2 is about 1.6 times faster at
// the same size.
constexpr int kBusyLevel = 1;
constexpr int kFlatLevel = 2;
constexpr double kFlatShare = 0.8;

struct CompressorFree {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};
using Compressor = std::unique_ptr<libdeflate_compressor, CompressorFree>;

// One compressor per thread and level, kept: allocating one costs more than a strip.
libdeflate_compressor* compressor(int level) {
  thread_local Compressor kept[13];
  Compressor& c = kept[level];
  if (!c) c.reset(libdeflate_alloc_compressor(level));
  if (!c) throw std::runtime_error("out of memory for the compressor");
  return c.get();
}

// One row as a PNG scanline with the Up filter (RGB from cairo's B, G, R, X words);
// prev is null for the first row. Returns how many of its bytes are zero.
size_t png_filter_row_plain(const uint32_t* cur, const uint32_t* prev, int width, uint8_t* out) {
  size_t zeros = 0;
  for (int x = 0; x < width; ++x) {
    uint32_t p = cur[x], q = prev ? prev[x] : 0;
    out[0] = static_cast<uint8_t>((p >> 16) - (q >> 16));
    out[1] = static_cast<uint8_t>((p >> 8) - (q >> 8));
    out[2] = static_cast<uint8_t>(p - q);
    zeros += (out[0] == 0) + (out[1] == 0) + (out[2] == 0);
    out += 3;
  }
  return zeros;
}

// The same, four pixels at a time: the Up difference is taken bytewise on the B, G, R,
// X words, then shuffled into R, G, B.
__attribute__((target("ssse3,popcnt"))) size_t png_filter_row_ssse3(const uint32_t* cur, const uint32_t* prev,
                                                                      int width, uint8_t* out) {
  const __m128i to_rgb = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
  const __m128i zero = _mm_setzero_si128();
  size_t zeros = 0;
  int x = 0;
  // Each step stores 16 bytes of which 12 count; the last group goes the plain way.
  for (; x + 6 <= width; x += 4) {
    __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(cur + x));
    __m128i d = prev ? _mm_sub_epi8(c, _mm_loadu_si128(reinterpret_cast<const __m128i*>(prev + x))) : c;
    __m128i rgb = _mm_shuffle_epi8(d, to_rgb);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), rgb);
    zeros += static_cast<size_t>(__builtin_popcount(_mm_movemask_epi8(_mm_cmpeq_epi8(rgb, zero)) & 0x0FFF));
    out += 12;
  }
  return zeros + png_filter_row_plain(cur + x, prev ? prev + x : nullptr, width - x, out);
}

// Rows y0..y1 as PNG scanlines: the first with no filter, the others with the Up filter,
// so a strip reads no row of another. zeros[i] is the count of zero bytes in row y0 + i
// after its filter byte: all of them when the row repeats the row above.
void png_filter_rows(const Pixels& px, int y0, int y1, uint8_t* out, std::vector<size_t>& zeros) {
  static const bool ssse3 = __builtin_cpu_supports("ssse3") && __builtin_cpu_supports("popcnt");
  const size_t row_bytes = 1 + size_t{3} * static_cast<size_t>(px.width);
  zeros.assign(static_cast<size_t>(y1 - y0), 0);
  for (int y = y0; y < y1; ++y, out += row_bytes) {
    const uint32_t* prev = y > y0 ? px.row(y - 1) : nullptr;
    out[0] = prev ? 2 : 0;  // Up, or None
    const size_t zero = ssse3 ? png_filter_row_ssse3(px.row(y), prev, px.width, out + 1)
                              : png_filter_row_plain(px.row(y), prev, px.width, out + 1);
    // An unfiltered row never repeats the row above, even when all its bytes are zero.
    zeros[static_cast<size_t>(y - y0)] = prev ? zero : 0;
  }
}

void put_be32(uint8_t* at, uint32_t v) {
  at[0] = static_cast<uint8_t>(v >> 24);
  at[1] = static_cast<uint8_t>(v >> 16);
  at[2] = static_cast<uint8_t>(v >> 8);
  at[3] = static_cast<uint8_t>(v);
}

// A whole chunk: length, type, data, CRC over type and data.
std::vector<uint8_t> png_chunk(const char type[4], const uint8_t* data, size_t size) {
  std::vector<uint8_t> c(size + 12);
  put_be32(c.data(), static_cast<uint32_t>(size));
  std::memcpy(c.data() + 4, type, 4);
  if (size) std::memcpy(c.data() + 8, data, size);
  put_be32(c.data() + 8 + size, libdeflate_crc32(0, c.data() + 4, size + 4));
  return c;
}

struct PngStrip {
  std::vector<uint8_t> chunk;  // the strip's IDAT chunk
  uint32_t adler = 1;          // of its filtered bytes
  size_t raw = 0;
};

// Deflates bytes into a stream that a next one may follow; false when that fails.
bool deflate_joinable(const uint8_t* bytes, size_t size, int level, std::vector<uint8_t>& out) {
  libdeflate_compressor* c = compressor(level);
  std::vector<uint8_t> z(libdeflate_deflate_compress_bound(c, size));
  z.resize(libdeflate_deflate_compress(c, bytes, size, z.data(), z.size()));
  if (z.empty() || !MakeJoinable(z)) return false;
  out.insert(out.end(), z.begin(), z.end());
  return true;
}

// Runs of rows that repeat the row above (paper, margins, flat fills: most rows of a
// map page) are the same bytes on every page of that width, so their streams are made
// once: for 64, 8 and 1 such rows, joined as often as a run needs.
constexpr int kBlankUnits[] = {64, 8, 1};
// A run shorter than this is deflated with the rows around it.
constexpr int kShortestBlankRun = 4;

class BlankRows {
 public:
  // The streams of n blank rows of that many bytes appended to out. The streams of a
  // width are made once, by the first thread that needs them, and shared: each caller
  // holds its own reference while it copies, since another width may push them out.
  bool Append(size_t row_bytes, int n, std::vector<uint8_t>& out) {
    const std::shared_ptr<const Units> units = units_for(row_bytes);
    if (!units) return false;
    for (size_t u = 0; u < std::size(kBlankUnits); ++u)
      for (; n >= kBlankUnits[u]; n -= kBlankUnits[u]) out.insert(out.end(), (*units)[u].begin(), (*units)[u].end());
    return true;
  }

 private:
  using Units = std::array<std::vector<uint8_t>, std::size(kBlankUnits)>;
  std::shared_ptr<const Units> units_for(size_t row_bytes) {
    std::lock_guard lock(mutex_);
    for (const auto& [bytes, units] : made_)
      if (bytes == row_bytes) return units;
    auto units = std::make_shared<Units>();
    std::vector<uint8_t> rows(row_bytes * static_cast<size_t>(kBlankUnits[0]), 0);
    for (size_t i = 0; i < rows.size(); i += row_bytes) rows[i] = 2;  // Up
    for (size_t u = 0; u < units->size(); ++u)
      if (!deflate_joinable(rows.data(), row_bytes * static_cast<size_t>(kBlankUnits[u]), kFlatLevel, (*units)[u]))
        return nullptr;
    if (made_.size() >= 8) made_.erase(made_.begin());  // a few page widths at a time
    made_.emplace_back(row_bytes, units);
    return units;
  }
  std::mutex mutex_;
  std::vector<std::pair<size_t, std::shared_ptr<const Units>>> made_;
};

BlankRows& blank_rows() {
  static BlankRows b;
  return b;
}

// Filters and deflates one strip into streams that the next strip may follow: its runs
// of blank rows from the made streams, the rows between them deflated here.
bool png_strip(const Pixels& px, int y0, int y1, PngStrip& out) {
  const size_t row_bytes = 1 + size_t{3} * static_cast<size_t>(px.width);
  thread_local std::vector<uint8_t> raw;
  thread_local std::vector<size_t> zeros;
  const int rows = y1 - y0;
  raw.resize(row_bytes * static_cast<size_t>(rows));
  png_filter_rows(px, y0, y1, raw.data(), zeros);
  std::vector<uint8_t> z;
  // The length of the run of blank rows from row i.
  auto run = [&](int i) {
    int j = i;
    while (j < rows && zeros[static_cast<size_t>(j)] == row_bytes - 1) ++j;
    return j - i;
  };
  for (int i = 0; i < rows;) {
    if (int n = run(i); n >= kShortestBlankRun) {
      if (!blank_rows().Append(row_bytes, n, z)) return false;
      i += n;
      continue;
    }
    // Busy rows, up to the next run long enough to be taken from the made streams.
    int j = i;
    while (j < rows) {
      int n = run(j);
      if (n >= kShortestBlankRun) break;
      j += std::max(n, 1);
    }
    const uint8_t* first = raw.data() + row_bytes * static_cast<size_t>(i);
    const size_t size = row_bytes * static_cast<size_t>(j - i);
    size_t zero = 0;
    for (int k = i; k < j; ++k) zero += zeros[static_cast<size_t>(k)];
    if (!deflate_joinable(first, size, double(zero) >= kFlatShare * double(size) ? kFlatLevel : kBusyLevel, z))
      return false;
    i = j;
  }
  out.chunk = png_chunk("IDAT", z.data(), z.size());
  out.adler = libdeflate_adler32(1, raw.data(), raw.size());
  out.raw = raw.size();
  return true;
}

// The whole image as one zlib stream on this thread: for a strip that could not be joined.
std::vector<uint8_t> png_single_stream(const Pixels& px) {
  const size_t row_bytes = 1 + size_t{3} * static_cast<size_t>(px.width);
  std::vector<uint8_t> raw(row_bytes * static_cast<size_t>(px.height));
  std::vector<size_t> zeros;
  png_filter_rows(px, 0, px.height, raw.data(), zeros);
  libdeflate_compressor* c = compressor(kBusyLevel);
  std::vector<uint8_t> z(libdeflate_zlib_compress_bound(c, raw.size()));
  z.resize(libdeflate_zlib_compress(c, raw.data(), raw.size(), z.data(), z.size()));
  if (z.empty()) throw std::runtime_error("PNG: compressing the image failed");
  return png_chunk("IDAT", z.data(), z.size());
}

void write_all(FILE* f, const std::vector<uint8_t>& bytes) {
  if (!bytes.empty() && fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size())
    throw std::runtime_error(std::string("writing failed: ") + std::strerror(errno));
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
  // The default integer DCT is libjpeg-turbo's accurate one and has SIMD code; the
  // faster ones lose visible detail at this quality. No optimised Huffman tables: a
  // second pass over the page for a few per cent.
  cinfo.dct_method = JDCT_ISLOW;
  cinfo.optimize_coding = FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[64];
    JDIMENSION n = 0;
    while (n < 64 && cinfo.next_scanline + n < cinfo.image_height)
      rows[n] = const_cast<JSAMPROW>(reinterpret_cast<const JSAMPLE*>(px.row(static_cast<int>(cinfo.next_scanline + n)))), ++n;
    jpeg_write_scanlines(&cinfo, rows, n);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

// ---- GIF -------------------------------------------------------------------------

// Below libimagequant's low-memory path (64 MB of four-float pixels).
constexpr int64_t kLiqBandPixels = 4'000'000;

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

void WritePng(cairo_surface_t* image, const std::filesystem::path& path, double dpi,
              const std::function<void(int, int)>& drawRows) {
  Pixels px = pixels_of(image);
  const size_t row_bytes = 1 + size_t{3} * static_cast<size_t>(px.width);
  const size_t least = std::max((kPngStripBytes + row_bytes - 1) / row_bytes, size_t(px.height + kPngStrips - 1) / kPngStrips);
  const int rows = static_cast<int>(std::clamp<size_t>(least, 1, static_cast<size_t>(px.height)));
  const size_t count = static_cast<size_t>((px.height + rows - 1) / rows);
  std::vector<PngStrip> strips(count);
  std::atomic<bool> joined{true};
  ParallelFor(count, [&](size_t i) {
    int y0 = static_cast<int>(i) * rows, y1 = std::min(px.height, y0 + rows);
    if (drawRows) drawRows(y0, y1);
    if (!png_strip(px, y0, y1, strips[i])) joined = false;
  });

  uint8_t ihdr[13] = {};
  put_be32(ihdr, static_cast<uint32_t>(px.width));
  put_be32(ihdr + 4, static_cast<uint32_t>(px.height));
  ihdr[8] = 8;  // bits per sample
  ihdr[9] = 2;  // RGB
  uint8_t phys[9] = {};
  put_be32(phys, PixelsPerMetre(dpi));
  put_be32(phys + 4, PixelsPerMetre(dpi));
  phys[8] = 1;  // per metre
  static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};

  File f = open_for_writing(path);
  setvbuf(f.get(), nullptr, _IOFBF, 1 << 20);
  write_all(f.get(), std::vector<uint8_t>(signature, signature + 8));
  write_all(f.get(), png_chunk("IHDR", ihdr, sizeof ihdr));
  write_all(f.get(), png_chunk("pHYs", phys, sizeof phys));
  if (joined) {
    // The zlib header (deflate, 32 kB window, fastest), the strips, the checksum of all.
    static const uint8_t zlib_header[2] = {0x78, 0x01};
    write_all(f.get(), png_chunk("IDAT", zlib_header, 2));
    uLong adler = 1;
    for (PngStrip& s : strips) {
      write_all(f.get(), s.chunk);
      adler = adler32_combine(adler, s.adler, static_cast<z_off_t>(s.raw));
      std::vector<uint8_t>().swap(s.chunk);
    }
    // Every strip ends open: an empty final block closes the stream, then the checksum.
    uint8_t end[9] = {0x01, 0x00, 0x00, 0xFF, 0xFF};
    put_be32(end + 5, static_cast<uint32_t>(adler));
    write_all(f.get(), png_chunk("IDAT", end, sizeof end));
  } else {
    strips.clear();
    write_all(f.get(), png_single_stream(px));
  }
  write_all(f.get(), png_chunk("IEND", nullptr, 0));
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

  // libimagequant 2.17 never frees a few rows' buffers of an image over 4 million pixels
  // (its low-memory path), so a run of large pages would grow without end. A larger page
  // is taken in bands below that size, all of them choosing one palette together.
  const int band_rows = std::max(1, static_cast<int>(kLiqBandPixels / px.width));
  std::vector<Pixels> bands;
  for (int y = 0; y < px.height; y += band_rows)
    bands.push_back(Pixels{px.data + static_cast<size_t>(y) * px.stride, px.width, std::min(band_rows, px.height - y),
                           px.stride});
  using LiqImage = std::unique_ptr<liq_image, void (*)(liq_image*)>;
  std::vector<LiqImage> images;
  for (Pixels& band : bands) {
    images.emplace_back(liq_image_create_custom(attr.get(), liq_row, &band, band.width, band.height, 0),
                        liq_image_destroy);
    if (!images.back()) throw std::runtime_error("out of memory while choosing the colours");
  }
  liq_result* raw_result = nullptr;
  if (images.size() == 1) {
    if (liq_error e = liq_image_quantize(images[0].get(), attr.get(), &raw_result); e != LIQ_OK)
      throw std::runtime_error(liq_reason(e));
  } else {
    std::unique_ptr<liq_histogram, void (*)(liq_histogram*)> histogram(liq_histogram_create(attr.get()),
                                                                       liq_histogram_destroy);
    if (!histogram) throw std::runtime_error("out of memory while choosing the colours");
    for (LiqImage& image : images)
      if (liq_error e = liq_histogram_add_image(histogram.get(), attr.get(), image.get()); e != LIQ_OK)
        throw std::runtime_error(liq_reason(e));
    if (liq_error e = liq_histogram_quantize(histogram.get(), attr.get(), &raw_result); e != LIQ_OK)
      throw std::runtime_error(liq_reason(e));
  }
  std::unique_ptr<liq_result, void (*)(liq_result*)> result(raw_result, liq_result_destroy);
  liq_set_dithering_level(result.get(), 0.5f);
  std::vector<unsigned char> indices(static_cast<size_t>(px.width) * px.height);
  size_t offset = 0;
  for (size_t i = 0; i < images.size(); ++i) {
    const size_t count = static_cast<size_t>(bands[i].width) * bands[i].height;
    if (liq_error e = liq_write_remapped_image(result.get(), images[i].get(), indices.data() + offset, count);
        e != LIQ_OK)
      throw std::runtime_error(liq_reason(e));
    offset += count;
  }
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

  // Rows converted on the workers a batch at a time, written in file order.
  File f = open_for_writing(path);
  setvbuf(f.get(), nullptr, _IOFBF, 1 << 20);
  bool ok = fwrite(header, 1, sizeof header, f.get()) == sizeof header;
  const int batch = static_cast<int>(std::clamp<uint64_t>((uint64_t{4} << 20) / row_bytes, 1, static_cast<uint64_t>(px.height)));
  std::vector<unsigned char> rows(row_bytes * static_cast<uint64_t>(batch), 0);
  for (int top = px.height - 1; ok && top >= 0; top -= batch) {
    const int n = std::min(batch, top + 1);
    ParallelFor(static_cast<size_t>(n), [&](size_t i) {
      const uint32_t* in = px.row(top - static_cast<int>(i));
      unsigned char* out = rows.data() + i * row_bytes;
      for (int x = 0; x < px.width; ++x) {
        uint32_t p = in[x];
        out[3 * x] = static_cast<unsigned char>(p);
        out[3 * x + 1] = static_cast<unsigned char>(p >> 8);
        out[3 * x + 2] = static_cast<unsigned char>(p >> 16);
      }
    });
    const size_t bytes = row_bytes * static_cast<size_t>(n);
    ok = fwrite(rows.data(), 1, bytes, f.get()) == bytes;
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

  // Deflate with the horizontal predictor, each strip compressed on a worker by
  // libdeflate and handed to libtiff as it is (libtiff's own codecs run one strip at a
  // time on the caller).
  const size_t row_bytes = size_t{3} * static_cast<size_t>(px.width);
  const uint32_t rows_per_strip =
      static_cast<uint32_t>(std::clamp<size_t>((256 * 1024) / row_bytes, 1, static_cast<size_t>(px.height)));
  bool ok = TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, static_cast<uint32_t>(px.width)) &&
            TIFFSetField(tif, TIFFTAG_IMAGELENGTH, static_cast<uint32_t>(px.height)) &&
            TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3) && TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8) &&
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) &&
            TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) &&
            TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB) &&
            TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE) &&
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL) &&
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rows_per_strip) &&
            TIFFSetField(tif, TIFFTAG_XRESOLUTION, static_cast<float>(dpi)) &&
            TIFFSetField(tif, TIFFTAG_YRESOLUTION, static_cast<float>(dpi)) &&
            TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH) &&
            TIFFSetField(tif, TIFFTAG_SOFTWARE, "ZelvaneMap");
  const size_t strips = (static_cast<size_t>(px.height) + rows_per_strip - 1) / rows_per_strip;
  // Compressed a batch of strips at a time, so that memory stays a few strips per core.
  const size_t batch = static_cast<size_t>(UsableCores()) * 4;
  std::vector<std::vector<uint8_t>> done(std::min(batch, strips));
  for (size_t first = 0; ok && first < strips; first += batch) {
    const size_t n = std::min(batch, strips - first);
    ParallelFor(n, [&](size_t i) {
      const int y0 = static_cast<int>((first + i) * rows_per_strip);
      const int y1 = std::min(px.height, y0 + static_cast<int>(rows_per_strip));
      thread_local std::vector<uint8_t> raw;
      raw.resize(row_bytes * static_cast<size_t>(y1 - y0));
      uint8_t* out = raw.data();
      for (int y = y0; y < y1; ++y) {
        const uint32_t* in = px.row(y);
        uint32_t prev = 0;
        for (int x = 0; x < px.width; ++x) {
          uint32_t p = in[x];
          out[0] = static_cast<uint8_t>((p >> 16) - (prev >> 16));
          out[1] = static_cast<uint8_t>((p >> 8) - (prev >> 8));
          out[2] = static_cast<uint8_t>(p - prev);
          prev = p;
          out += 3;
        }
      }
      libdeflate_compressor* c = compressor(kBusyLevel);
      std::vector<uint8_t>& z = done[i];
      z.resize(libdeflate_zlib_compress_bound(c, raw.size()));
      z.resize(libdeflate_zlib_compress(c, raw.data(), raw.size(), z.data(), z.size()));
    });
    for (size_t i = 0; ok && i < n; ++i)
      ok = !done[i].empty() && TIFFWriteRawStrip(tif, static_cast<uint32_t>(first + i), done[i].data(),
                                                 static_cast<tmsize_t>(done[i].size())) ==
                                   static_cast<tmsize_t>(done[i].size());
  }
  if (ok) ok = TIFFFlush(tif) == 1;
  TIFFClose(tif);
  if (!ok) throw std::runtime_error(message.empty() ? "TIFF: writing failed" : message);
}

}  // namespace host::render::detail
