// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The nine export classes behind one interface, created by class identifier.
//
// Use: set the file name, the resolution and the pixel bounds; StartExporting() gives a
// device context handle to draw the page into (device pixels, see device.h);
// FinishExporting() writes the file whole (a temporary file in the same folder, renamed
// onto the name); Cleanup() releases what is left. Cleanup() without FinishExporting()
// leaves no file under the name, and a failure never leaves half a file there.
//
// Failures are host::vb::Error with a description naming the file.

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/geodata/geometry.h"

namespace host::render {

// The export class identifiers.
namespace clsid {
inline constexpr std::string_view ExportJPEG = "{8E29F55C-F8D2-48B3-8227-34B279DE8358}";
inline constexpr std::string_view ExportBMP = "{058D2242-918D-4941-A048-8B259AAA1AA7}";
inline constexpr std::string_view ExportEMF = "{B4D7AE22-1D09-4B5B-8D37-4FF7D5F9233A}";
inline constexpr std::string_view ExportGIF = "{167D909E-2528-4E5D-B5EE-C2E4B553B224}";
inline constexpr std::string_view ExportPDF = "{A0D673EF-BCB9-4C6D-9226-214E4142FBC7}";
inline constexpr std::string_view ExportPNG = "{69FA668C-58D9-4FD4-805C-964B5C383C8B}";
inline constexpr std::string_view ExportTIFF = "{77C648D5-C2E1-4EC5-8764-9034181F9858}";
inline constexpr std::string_view ExportAI = "{C5F4E89D-20FC-4C43-922C-B165D09C12AA}";
inline constexpr std::string_view ExportSVG = "{637180AF-72CF-4E99-AFCE-887B9A1091C3}";
}  // namespace clsid

class IExport {
 public:
  virtual ~IExport() = default;

  // The class name ("ExportPNG") and the file dialog filter, which ends in the
  // extension: "PNG (*.png)|*.png".
  virtual std::string Name() const = 0;
  virtual std::string Filter() const = 0;

  // A Windows path ("C:\out\page.png") or a native one.
  virtual std::string ExportFileName() const = 0;
  virtual void SetExportFileName(const std::string& path) = 0;

  // Dots per inch; 96 until set.
  virtual double Resolution() const = 0;
  virtual void SetResolution(double dpi) = 0;

  // The output size in pixels: (0, 0, width, height). Raster files have exactly this
  // many pixels; vector files are a page of width / resolution inches.
  virtual geodata::Envelope PixelBounds() const = 0;
  virtual void SetPixelBounds(const geodata::Envelope& bounds) = 0;

  virtual long StartExporting() = 0;
  virtual void FinishExporting() = 0;
  virtual void Cleanup() = 0;
};

// A new exporter of the class with that identifier (braces optional, hex digits in
// either case). An unknown identifier fails with 429 naming it.
std::unique_ptr<IExport> CreateExport(std::string_view classId);

struct ExportClass {
  std::string_view name;     // "ExportPNG"
  std::string_view classId;  // clsid::ExportPNG
};
const std::vector<ExportClass>& ExportClasses();

// A pixel rectangle, edges as the platform gives them: right and bottom are the
// width and height when left and top are 0.
struct PixelRect {
  long left = 0;
  long top = 0;
  long right = 0;
  long bottom = 0;
  bool operator==(const PixelRect&) const = default;
};

// The export frame of a view: its size in pixels at 96 dots per inch, from its size
// in inches (a Letter page gives 816 x 1056). Halves round to even.
PixelRect ExportFrame(double widthInches, double heightInches);

}  // namespace host::render
