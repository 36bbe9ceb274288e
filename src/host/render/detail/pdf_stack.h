// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A page drawn in parts, each into its own PDF on its own thread, put back together as
// one page: each part's page becomes a form, and the forms are drawn in order.

#include <filesystem>
#include <string>
#include <vector>

namespace host::render::detail {

// Writes one page made of the parts' pages drawn one over the other in order. Each
// part is a whole one-page PDF as bytes, all of one page size; the page's boxes, its
// transparency group and the document information come from the first. One part is
// written unchanged. Throws std::runtime_error naming the part that is not a one-page
// PDF; out is then left untouched, or empty when writing it failed.
void StackPdfPages(const std::vector<std::string>& parts, const std::filesystem::path& out);

// One page of one of the parts.
struct PdfPagePick {
  size_t part = 0;
  size_t page = 0;
};

// The same for parts of several pages: the picked pages drawn one over the other in the
// order given. The pages of one part share its resources, so a font used on several of
// them is embedded once. The page's boxes and its transparency group come from the first
// pick's page, the document information from its part; a part's pages that are not
// picked are left out. One pick of a one-page part is written unchanged.
void StackPdfPages(const std::vector<std::string>& parts, const std::vector<PdfPagePick>& order,
                   const std::filesystem::path& out);

}  // namespace host::render::detail
