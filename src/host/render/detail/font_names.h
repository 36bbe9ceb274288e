// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Which font a vector file names. Its text is placed to the widths of the face that
// drew it; a reader that lacks that face picks another, so the file says first the
// font the document asks for wherever that is safe.

#include <string>

namespace host::render::detail {

// The face that drew a run has the widths of the asked font: "Liberation Sans" for
// "Arial" or "Helvetica", "Liberation Serif" for "Times New Roman", "Liberation Mono"
// for "Courier New". Names compare without regard to case.
bool SameMetrics(const std::string& asked, const std::string& used);

// The one name a metafile gives: the asked font where the used face has its widths,
// else the used face.
std::string MetafileFontName(const std::string& asked, const std::string& used);

// "serif", "monospace" or "sans-serif", from the faces' names.
std::string GenericFamily(const std::string& asked, const std::string& used);

// A CSS font-family list: the asked font, the used face, then the generic family, each
// name once; a name is quoted only where CSS would read it otherwise.
std::string CssFontFamilies(const std::string& asked, const std::string& used);

}  // namespace host::render::detail
