// SPDX-License-Identifier: GPL-3.0-or-later
#include "raster_readers.h"

#include <gif_lib.h>
#include <jpeglib.h>
#include <png.h>
#include <tiffio.h>

#include <cstdio>
#include <stdexcept>

#include "render_support.h"
#include "support/temp_dir.h"

namespace fs = std::filesystem;

namespace raster_test {

Raster ReadPng(const fs::path& path) {
  Raster r;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot open");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    fclose(f);
    throw std::runtime_error("libpng could not read it");
  }
  png_init_io(png, f);
  png_read_info(png, info);
  r.width = static_cast<int>(png_get_image_width(png, info));
  r.height = static_cast<int>(png_get_image_height(png, info));
  png_uint_32 xres = 0, yres = 0;
  int unit = 0;
  if (png_get_pHYs(png, info, &xres, &yres, &unit) && unit == PNG_RESOLUTION_METER) r.dpi = xres * 0.0254;
  r.extra = png_get_color_type(png, info) == PNG_COLOR_TYPE_RGB ? "rgb" : "other";
  r.rgb.resize(static_cast<size_t>(r.width) * r.height * 3);
  for (int y = 0; y < r.height; ++y) png_read_row(png, r.rgb.data() + static_cast<size_t>(y) * r.width * 3, nullptr);
  png_read_end(png, nullptr);  // the rest of the stream, its checksum and IEND
  png_destroy_read_struct(&png, &info, nullptr);
  fclose(f);
  return r;
}

Raster ReadJpeg(const fs::path& path) {
  Raster r;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot open");
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_stdio_src(&cinfo, f);
  jpeg_read_header(&cinfo, TRUE);
  if (cinfo.saw_JFIF_marker && cinfo.density_unit == 1) r.dpi = cinfo.X_density;
  cinfo.out_color_space = JCS_RGB;
  jpeg_start_decompress(&cinfo);
  r.width = static_cast<int>(cinfo.output_width);
  r.height = static_cast<int>(cinfo.output_height);
  r.rgb.resize(static_cast<size_t>(r.width) * r.height * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = r.rgb.data() + static_cast<size_t>(cinfo.output_scanline) * r.width * 3;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  fclose(f);
  return r;
}

Raster ReadGif(const fs::path& path) {
  Raster r;
  int error = 0;
  GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
  if (!gif || DGifSlurp(gif) != GIF_OK) throw std::runtime_error("giflib could not read it");
  r.width = gif->SWidth;
  r.height = gif->SHeight;
  const SavedImage& image = gif->SavedImages[0];
  const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
  // A colour table of a power of two entries, at most 256.
  bool power_of_two = map->ColorCount > 0 && (map->ColorCount & (map->ColorCount - 1)) == 0;
  r.extra = power_of_two && map->ColorCount <= 256 ? "palette" : "bad palette " + std::to_string(map->ColorCount);
  r.rgb.resize(static_cast<size_t>(r.width) * r.height * 3);
  for (size_t i = 0; i < static_cast<size_t>(r.width) * r.height; ++i) {
    const GifColorType& c = map->Colors[image.RasterBits[i]];
    r.rgb[3 * i] = c.Red;
    r.rgb[3 * i + 1] = c.Green;
    r.rgb[3 * i + 2] = c.Blue;
  }
  DGifCloseFile(gif, &error);
  return r;
}

Raster ReadBmp(const fs::path& path) {
  Raster r;
  std::string b = testing_support::ReadFile(path);
  auto u32 = [&](size_t at) { return render_test::U32(b, at); };
  if (b.compare(0, 2, "BM") != 0) throw std::runtime_error("no BM signature");
  if (u32(2) != b.size()) throw std::runtime_error("file size in the header is wrong");
  r.width = static_cast<int>(u32(18));
  r.height = static_cast<int>(u32(22));
  uint16_t bpp = static_cast<uint16_t>(static_cast<unsigned char>(b[28]) | static_cast<unsigned char>(b[29]) << 8);
  r.extra = std::to_string(bpp) + " bits";
  r.dpi = u32(38) * 0.0254;
  size_t row_bytes = (static_cast<size_t>(r.width) * 3 + 3) & ~size_t{3};
  size_t off = u32(10);
  r.rgb.resize(static_cast<size_t>(r.width) * r.height * 3);
  for (int y = 0; y < r.height; ++y) {
    const char* row = b.data() + off + static_cast<size_t>(r.height - 1 - y) * row_bytes;  // bottom-up
    for (int x = 0; x < r.width; ++x) {
      size_t i = (static_cast<size_t>(y) * r.width + x) * 3;
      r.rgb[i] = static_cast<uint8_t>(row[3 * x + 2]);
      r.rgb[i + 1] = static_cast<uint8_t>(row[3 * x + 1]);
      r.rgb[i + 2] = static_cast<uint8_t>(row[3 * x]);
    }
  }
  return r;
}

Raster ReadTiff(const fs::path& path) {
  Raster r;
  TIFF* tif = TIFFOpen(path.c_str(), "r");
  if (!tif) throw std::runtime_error("libtiff could not open it");
  uint32_t w = 0, h = 0;
  uint16_t unit = 0, compression = 0, spp = 0;
  float xres = 0;
  TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w);
  TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h);
  TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
  TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
  if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) && TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit) &&
      unit == RESUNIT_INCH)
    r.dpi = xres;
  r.width = static_cast<int>(w);
  r.height = static_cast<int>(h);
  r.extra = compression == COMPRESSION_NONE ? "uncompressed" : "compressed";
  r.rgb.resize(static_cast<size_t>(w) * h * 3);
  for (uint32_t y = 0; y < h; ++y) TIFFReadScanline(tif, r.rgb.data() + static_cast<size_t>(y) * w * 3, y, 0);
  TIFFClose(tif);
  return r;
}

}  // namespace raster_test
