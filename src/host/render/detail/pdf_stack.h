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

}  // namespace host::render::detail
