// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Drawing a view: the page layout with its elements (map frames with their maps,
// locator rectangles and borders, texts), or one map in data view. Every output — the
// exporters, the printer, the windows of the GUI — draws through here, so they differ
// only in the painter they draw on.

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "host/carto/view.h"
#include "host/geodata/geometry.h"
#include "host/render/label_placement.h"

typedef struct _cairo cairo_t;

namespace host::carto {
class Map;
}

namespace host::render {

class Painter;

// Draws the part of the view given by visibleBounds (page inches for the layout, map
// units for a map; the whole view when null) into the pixel rectangle deviceFrame of
// the painter, at dpi dots per inch (symbol and text sizes in points scale by it).
void DrawView(carto::ActiveView& view, Painter& painter, const carto::PixelRect& deviceFrame, double dpi,
              const geodata::Envelope* visibleBounds = nullptr);
// The same on a cairo context (the screen).
void DrawView(carto::ActiveView& view, cairo_t* cr, const carto::PixelRect& deviceFrame, double dpi,
              const geodata::Envelope* visibleBounds = nullptr);

// The view's output into a device context handle (an exporter's or a printer's).
void Output(carto::ActiveView& view, long hdc, long dpi, const carto::PixelRect& deviceFrame,
            const geodata::Envelope* visibleBounds = nullptr);

class IExport;

// The export class identifier of a format code ("JPG", "PNG", "GIF", "AI", "EMF",
// "BMP", "TIF", "PDF", "SVG", exactly so); none for any other code.
std::optional<std::string_view> ExportClassOfFormat(std::string_view code);

// Writes the view through the exporter, whose file name is set: the resolution, a
// pixel size of (resolution / 96) times the view's export frame (halves to even), the
// drawing, and the file finished and the exporter cleaned up.
void ExportView(carto::ActiveView& view, IExport& exporter, int16_t resolution);

// One map's layers and labels, its extent (or the one given) filling the rectangle.
// Labels stay inside the rectangle and clear of keepClear (device pixels).
void DrawMap(const carto::Map& map, Painter& painter, double left, double top, double width, double height, double dpi,
             const geodata::Envelope* extent = nullptr, const std::vector<PixelBox>& keepClear = {});

}  // namespace host::render
