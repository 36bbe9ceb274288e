// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Encoders for the raster exporters. Each takes an opaque cairo image surface
// (CAIRO_FORMAT_RGB24), writes the whole image to path with the resolution recorded
// where the format has a place for it, and throws std::runtime_error with the
// codec's reason on failure. PNG, TIFF and BMP spread their work over the cores
// (parallel.h); their files do not depend on how many there are.

#include <filesystem>
#include <functional>

typedef struct _cairo_surface cairo_surface_t;

namespace host::render::detail {

// RGB, the Up filter, deflated by libdeflate in strips joined into one stream. When
// given, drawRows(y0, y1) is called once for each strip's rows, on the worker that then
// reads them: the image is drawn strip by strip on the workers as it is encoded.
void WritePng(cairo_surface_t* image, const std::filesystem::path& path, double dpi,
              const std::function<void(int, int)>& drawRows = {});
// quality 1..100
void WriteJpeg(cairo_surface_t* image, const std::filesystem::path& path, double dpi, int quality);
// 256 colours at most, chosen by libimagequant.
void WriteGif(cairo_surface_t* image, const std::filesystem::path& path);
// 24 bits per pixel, bottom-up, no compression.
void WriteBmp(cairo_surface_t* image, const std::filesystem::path& path, double dpi);
// RGB, deflate with the horizontal predictor, in strips.
void WriteTiff(cairo_surface_t* image, const std::filesystem::path& path, double dpi);

// Pixels per metre for a resolution in dots per inch (PNG pHYs, BMP header).
unsigned PixelsPerMetre(double dpi);

}  // namespace host::render::detail
