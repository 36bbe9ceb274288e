// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small helpers over the windows' lists.

#include <cstdint>
#include <string>

#include "host/ui/controls.h"

namespace mapbooks::ControlUtilities {

// True when some item of the combo equals text, ignoring case.
bool ComboContains(const std::string& text, const host::ui::ComboBox& combo);
// The first selected item of a file list; the empty text when none is selected.
std::string GetSelectedFile(const host::ui::FileListBox& fileList);
// " " for 0, "a" to "z" for 1 to 26, the empty text otherwise.
std::string NumberToLetter(int16_t n);
// The letters of grid row n as spreadsheets letter columns: "A" to "Z" for 1 to 26,
// then "AA", "AB", ... "AZ", "BA", ...; the empty text for n below 1.
std::string RowLetters(int32_t n);
// The row that letters name, upper or lower case ("AB" is 28); 0 when the text is not
// a row's letters.
int32_t RowNumber(const std::string& letters);

}  // namespace mapbooks::ControlUtilities
