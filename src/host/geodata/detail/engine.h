// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Runs a filter over a table: reads the where clause, picks an index or a scan, tests
// shapes. The where-clause grammar is described in host/geodata/filter.h.

#include <cstdint>
#include <vector>

#include "host/geodata/filter.h"
#include "host/geodata/table.h"

namespace host::geodata::detail {

class Engine {
 public:
  // The object IDs of t (ascending) that pass filter; within, when given, limits them.
  static std::vector<int64_t> Select(Table& t, const QueryFilter* filter, const std::vector<int64_t>* within);
  // Parses and checks a where clause against t's fields without running it.
  static void Check(Table& t, const std::string& whereClause);
};

}  // namespace host::geodata::detail
