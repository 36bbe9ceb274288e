// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a layout page goes onto printer paper.
//
// Crop prints the part of the layout that fits the paper's printable area (from the
// layout's top left corner), Scale shrinks or grows the whole layout to fit it, and Tile
// spreads a layout larger than the paper over as many printer pages as it needs
// (columns x rows, numbered from 1 along the rows from the top left), each showing
// its own part of the layout. A layout that fits gives one printer page in every mode.
//
// Layout coordinates are page inches with y up from the bottom left corner; device
// bounds are printer pixels from the paper's top left corner with y down, given as an
// envelope whose XMin, YMin, XMax, YMax are left, top, right, bottom.

#include "host/geodata/geometry.h"

namespace host::render {

class Printer;

enum class PageToPrinterMapping : int { Crop = 0, Scale = 1, Tile = 2 };

struct LayoutPage {
  double width = 8.5;   // inches
  double height = 11;
  PageToPrinterMapping mapping = PageToPrinterMapping::Tile;
};

// overlap: inches that neighbouring tiles share (0 or more, less than the printable
// area). Bad values fail with 5 (invalid call).
int PrinterPageCount(const LayoutPage& page, const Printer& printer, double overlap);

// Where printer page pageNumber (from 1) draws on the paper, in printer pixels at
// resolution dots per inch.
geodata::Envelope GetDeviceBounds(const LayoutPage& page, const Printer& printer, int pageNumber, double overlap,
                                  double resolution);

// The part of the layout, in page inches, that printer page pageNumber shows.
geodata::Envelope GetPageBounds(const LayoutPage& page, const Printer& printer, int pageNumber, double overlap);

}  // namespace host::render
