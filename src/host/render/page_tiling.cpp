// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/page_tiling.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "host/render/printer.h"
#include "host/vb/error.h"

namespace host::render {

namespace {

// A layout longer than the printable area by less than this (inches) still fits: print
// servers round paper sizes to points (A4 is 595 x 842 pt, 0.1 mm short of 210 mm), and
// an A4 layout must not spill a sliver onto a second sheet.
constexpr double kFit = 0.01;

struct Layout {
  double pw, ph;          // layout, inches
  double left, top;       // printable area's corner on the paper, inches
  double aw, ah;          // printable area, inches
  int cols = 1, rows = 1;
};

int tiles(double length, double avail, double overlap) {
  if (length <= avail + kFit) return 1;
  return 1 + static_cast<int>(std::ceil((length - avail - kFit) / (avail - overlap)));
}

Layout layout(const LayoutPage& page, const Printer& printer, double overlap) {
  if (!(page.width > 0) || !(page.height > 0) || !std::isfinite(page.width) || !std::isfinite(page.height))
    vb::raise(vb::err::InvalidCall, "The layout page has no size");
  geodata::Envelope area = printer.PrintableBounds();
  Layout l{page.width, page.height, area.XMin(), area.YMin(), area.Width(), area.Height()};
  if (!(l.aw > 0) || !(l.ah > 0)) vb::raise(vb::err::InvalidCall, "The printer " + printer.Name() + " has no printable area");
  if (page.mapping == PageToPrinterMapping::Tile) {
    if (!(overlap >= 0) || overlap >= std::min(l.aw, l.ah))
      vb::raise(vb::err::InvalidCall, "The tile overlap must be 0 or more and less than the printable area");
    l.cols = tiles(l.pw, l.aw, overlap);
    l.rows = tiles(l.ph, l.ah, overlap);
  }
  return l;
}

void check_page(const Layout& l, int pageNumber) {
  int count = l.cols * l.rows;
  if (pageNumber < 1 || pageNumber > count)
    vb::raise(vb::err::InvalidCall, "There is no printer page " + std::to_string(pageNumber) + ": the layout prints on " +
                                        std::to_string(count) + (count == 1 ? " page" : " pages"));
}

// The layout part (inches, y up) of a printer page, and its size on the paper (inches).
struct Part {
  double x0, y0, x1, y1;
  double w, h;
};

Part part(const LayoutPage& page, const Layout& l, int pageNumber, double overlap) {
  switch (page.mapping) {
    case PageToPrinterMapping::Scale: {
      double s = std::min(l.aw / l.pw, l.ah / l.ph);
      return {0, 0, l.pw, l.ph, l.pw * s, l.ph * s};
    }
    case PageToPrinterMapping::Crop: {
      double w = std::min(l.pw, l.aw), h = std::min(l.ph, l.ah);
      return {0, l.ph - h, w, l.ph, w, h};
    }
    case PageToPrinterMapping::Tile:
    default: {
      int index = pageNumber - 1;
      int row = index / l.cols, col = index % l.cols;
      double x0 = col * (l.aw - overlap);
      double x1 = std::min(x0 + l.aw, l.pw);
      double top = l.ph - row * (l.ah - overlap);
      double bottom = std::max(top - l.ah, 0.0);
      return {x0, bottom, x1, top, x1 - x0, top - bottom};
    }
  }
}

}  // namespace

int PrinterPageCount(const LayoutPage& page, const Printer& printer, double overlap) {
  Layout l = layout(page, printer, overlap);
  return l.cols * l.rows;
}

geodata::Envelope GetDeviceBounds(const LayoutPage& page, const Printer& printer, int pageNumber, double overlap,
                                  double resolution) {
  if (!(resolution > 0)) vb::raise(vb::err::InvalidCall, "The resolution must be greater than 0");
  Layout l = layout(page, printer, overlap);
  check_page(l, pageNumber);
  Part p = part(page, l, pageNumber, overlap);
  double left = l.left * resolution, top = l.top * resolution;
  return geodata::Envelope(left, top, left + p.w * resolution, top + p.h * resolution);
}

geodata::Envelope GetPageBounds(const LayoutPage& page, const Printer& printer, int pageNumber, double overlap) {
  Layout l = layout(page, printer, overlap);
  check_page(l, pageNumber);
  Part p = part(page, l, pageNumber, overlap);
  return geodata::Envelope(p.x0, p.y0, p.x1, p.y1);
}

}  // namespace host::render
