// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The join itself: every page of the inputs, in order, into one file written whole.

#include <filesystem>
#include <string>
#include <vector>

#include "tools/pdftk/inputs.h"

namespace pdftk {

// Writes the pages of inputs into output (shown names it in messages). The file goes to
// a temporary name beside it and replaces it only once it is complete and reads back
// with every page; until then an earlier output stays as it was. A Failure names the
// input that cannot be read or the output that cannot be written.
void Join(const std::vector<Input>& inputs, const std::filesystem::path& output, const std::string& shown);

}  // namespace pdftk
