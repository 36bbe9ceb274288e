// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Writing the active view to a file of one of the nine formats.

#include <cstdint>
#include <string>

namespace mapbooks::modExportFunctions {

// Writes the document's active view to folder\name.ext in the format ("JPG", "PNG",
// "GIF", "AI", "EMF", "BMP", "TIF", "PDF", "SVG") at the resolution; a file of that
// name is replaced once the new file is whole, and stays when the write fails. An
// unknown format is refused with a message; a failure goes to the error report. The
// caller is not told either way.
void ExportActiveView2(int32_t& resolution, const std::string& format, const std::string& folder,
                       const std::string& name);

// A page value made fit to stand in a file name: every character a file name cannot
// hold or that would lead out of the folder (\ / : * ? " < > | and control
// characters) becomes "_"; other text stays byte for byte.
std::string strFileNamePart(const std::string& value);

// Pads a counter with zeros to one digit more than width: width 3 turns "1" into "0001";
// "", "0" and " " come back as they are.
std::string strZeroFill(const std::string& text, int16_t width);

}  // namespace mapbooks::modExportFunctions
