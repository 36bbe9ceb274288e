// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A page of the map book: a value of the search field, a row and a column value, or
// an object ID of the grid layer.

#include <cstdint>
#include <string>
#include <utility>

namespace mapbooks {

struct PageKey {
  enum class Kind { SearchValue, RowColumn, FeatureOid } kind = Kind::SearchValue;
  std::string value;   // SearchValue; the row value of RowColumn
  std::string column;  // RowColumn
  int64_t oid = -1;    // FeatureOid
  static PageKey Search(std::string v) { return {Kind::SearchValue, std::move(v), {}, -1}; }
  static PageKey RowColumn(std::string r, std::string c) { return {Kind::RowColumn, std::move(r), std::move(c), -1}; }
  static PageKey Oid(int64_t oid) { return {Kind::FeatureOid, {}, {}, oid}; }
  bool operator==(const PageKey&) const = default;
};

}  // namespace mapbooks
