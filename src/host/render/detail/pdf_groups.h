// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// cairo marks every PDF page as a transparency group, and print servers rasterise such
// pages on their way to PostScript. Pages that blend nothing lose the mark, so that
// vector stays vector.

#include <filesystem>

namespace host::render::detail {

// Rewrites the file in place when a page lost its mark; leaves it alone otherwise. The
// file is a temporary that nobody reads until it is whole (see WholeFile).
void DropNeedlessPageGroups(const std::filesystem::path& pdf);

}  // namespace host::render::detail
