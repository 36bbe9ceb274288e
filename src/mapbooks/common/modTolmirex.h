// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// General file and map operations.

#include <optional>
#include <string>

#include "host/carto/layer.h"
#include "host/carto/symbols.h"
#include "host/carto/view.h"

namespace mapbooks::modTolmirex {

// Copies source to target only when the source exists and the target does not; in
// every other case nothing happens and nothing is reported.
void fCopyFile(const std::string& source, const std::string& target);
// Creates the last level of the path; true when it was created.
bool fCreateDirectory(const std::string& path);

// Adds the layer of a layer file to the focus map.
void fAddLayerFile(const std::string& path);
// True when any data frame of the document holds a layer.
bool fIsData();
// Adds a shapefile of the folder as a new layer of the focus map, named by its alias.
void fAddShapeFile(const std::string& folder, const std::string& name);
// Gives the layer of that name a hollow fill.
void fMakeTransparentFillColor(const std::string& layerName);
// The same for the last top-level layer of the focus map of that name.
void fMakeTransparentFillColor2(const std::string& layerName);
// Prints the page layout on the host's printer, tiled over as many printer pages as
// it needs.
void fPrint();
// The device frame of a printer page: its device bounds rounded, moved to the origin
// for a printer that takes metafiles.
host::carto::PixelRect PrinterDeviceFrame(const host::geodata::Envelope& deviceBounds, bool emfPrinter);
// Zooms the active view to every feature of the layer whose field equals the value
// (value comes back quoted for a text field). No handler of its own: a failure goes
// to the caller.
void fZoomToFieldValue(const host::carto::FeatureLayer& featureLayer, const std::string& fieldName,
                       std::string& value);
// A frame or locator border: a line of the packed RGB colour and width. A failure is
// reported here, and no border comes back.
std::optional<host::carto::SymbolBorder> fMakeSymbolBorder(long color, double width);

}  // namespace mapbooks::modTolmirex
