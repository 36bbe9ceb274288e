// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// GDAL set-up shared by the geodata sources: drivers registered once, and OGR's own
// messages kept off stderr while we turn its failures into our errors.

#include <string>

namespace host::geodata::detail {

void EnsureGdal();

// While alive, GDAL reports go to a quiet handler; LastMessage() gives the last one.
class QuietGdal {
 public:
  QuietGdal();
  ~QuietGdal();
  QuietGdal(const QuietGdal&) = delete;
  QuietGdal& operator=(const QuietGdal&) = delete;
  static std::string LastMessage();
};

}  // namespace host::geodata::detail
