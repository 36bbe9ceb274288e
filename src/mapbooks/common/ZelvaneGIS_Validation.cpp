// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/ZelvaneGIS_Validation.h"

#include "mapbooks/common/ErrorHandling.h"

namespace mapbooks::ZelvaneGIS_Validation {

std::string strValidLeadingZero(std::string& text) {
  std::string result;
  ErrorHandling::Guard("strValidLeadingZero", "ZelvaneGIS_Validation", [&] {
    if (!text.empty() && text[0] == '0') {
      size_t n = text.size();
      for (size_t i = 0; i < n; ++i)
        if (!text.empty() && text[0] == '0') text.erase(0, 1);
    }
    result = text;
  });
  return result;
}

}  // namespace mapbooks::ZelvaneGIS_Validation
