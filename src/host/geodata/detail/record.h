// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What a row is made of in memory, and the key a value index is searched with.

#include <cstdint>
#include <string>
#include <vector>

#include "host/geodata/geometry.h"
#include "host/geodata/table.h"
#include "host/vb/variant.h"

namespace host::geodata::detail {

struct Record {
  int64_t oid = -1;
  std::vector<vb::Variant> values;  // the attribute fields, in file order
  Geometry shape;
};

// A text key matches text values exactly; a number key matches numbers and dates
// (as their day serial) of the same value.
struct IndexKey {
  bool text = false;
  std::string s;
  double n = 0;
};

// The value a slot gives for a row.
vb::Variant SlotValue(const Slot& slot, const RowParts& parts, int64_t oid);

}  // namespace host::geodata::detail
