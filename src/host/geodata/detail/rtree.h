// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A static R-tree over envelopes, packed with the Sort-Tile-Recursive method: built
// once in n log n, answers "which boxes meet this box" without looking at the others.

#include <cstdint>
#include <vector>

#include "host/geodata/geometry.h"

namespace host::geodata::detail {

class RTree {
 public:
  struct Item {
    double minx, miny, maxx, maxy;
    int64_t id;
  };

  explicit RTree(std::vector<Item> items);
  // Appends the ids of the items whose box meets box (closed bounds), in no order.
  void Query(const Envelope& box, std::vector<int64_t>& out) const;
  size_t Size() const { return items_.size(); }

 private:
  struct Node {
    double minx, miny, maxx, maxy;
    uint32_t first, count;  // children in the level below (items for the leaves)
  };
  void Visit(size_t level, const Node& n, const Envelope& box, std::vector<int64_t>& out) const;

  std::vector<Item> items_;
  std::vector<std::vector<Node>> levels_;  // [0] leaves ... back() the root level
};

}  // namespace host::geodata::detail
