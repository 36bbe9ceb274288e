// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Input validation of the number boxes.

#include <string>

namespace mapbooks::ZelvaneGIS_Validation {

// Drops the text's leading "0" characters, in the argument itself and in the result.
std::string strValidLeadingZero(std::string& text);

}  // namespace mapbooks::ZelvaneGIS_Validation
