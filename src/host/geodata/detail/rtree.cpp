// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/detail/rtree.h"

#include <algorithm>
#include <cmath>

namespace host::geodata::detail {

namespace {
constexpr size_t kFanout = 16;

template <typename T>
double CenterX(const T& t) {
  return t.minx + t.maxx;
}
template <typename T>
double CenterY(const T& t) {
  return t.miny + t.maxy;
}

// Orders v in Sort-Tile-Recursive order and returns the nodes that pack it by kFanout.
template <typename T>
std::vector<typename std::vector<T>::size_type> Tile(std::vector<T>& v) {
  size_t n = v.size();
  size_t groups = (n + kFanout - 1) / kFanout;
  size_t slices = size_t(std::ceil(std::sqrt(double(groups))));
  size_t per_slice = slices * kFanout;
  std::sort(v.begin(), v.end(), [](const T& a, const T& b) { return CenterX(a) < CenterX(b); });
  for (size_t start = 0; start < n; start += per_slice) {
    auto first = v.begin() + std::ptrdiff_t(start);
    auto last = v.begin() + std::ptrdiff_t(std::min(n, start + per_slice));
    std::sort(first, last, [](const T& a, const T& b) { return CenterY(a) < CenterY(b); });
  }
  std::vector<size_t> starts;
  for (size_t s = 0; s < n; s += kFanout) starts.push_back(s);
  return starts;
}

template <typename T, typename Node>
std::vector<Node> Pack(std::vector<T>& children) {
  std::vector<Node> nodes;
  for (size_t s : Tile(children)) {
    size_t e = std::min(children.size(), s + kFanout);
    Node n{children[s].minx, children[s].miny, children[s].maxx, children[s].maxy, uint32_t(s), uint32_t(e - s)};
    for (size_t i = s + 1; i < e; ++i) {
      n.minx = std::min(n.minx, children[i].minx);
      n.miny = std::min(n.miny, children[i].miny);
      n.maxx = std::max(n.maxx, children[i].maxx);
      n.maxy = std::max(n.maxy, children[i].maxy);
    }
    nodes.push_back(n);
  }
  return nodes;
}
}  // namespace

RTree::RTree(std::vector<Item> items) : items_(std::move(items)) {
  if (items_.empty()) return;
  levels_.push_back(Pack<Item, Node>(items_));
  while (levels_.back().size() > kFanout) {
    std::vector<Node> upper = Pack<Node, Node>(levels_.back());
    levels_.push_back(std::move(upper));
  }
}

void RTree::Visit(size_t level, const Node& n, const Envelope& box, std::vector<int64_t>& out) const {
  for (uint32_t i = n.first; i < n.first + n.count; ++i) {
    if (level == 0) {
      const Item& it = items_[i];
      if (it.minx <= box.XMax() && box.XMin() <= it.maxx && it.miny <= box.YMax() && box.YMin() <= it.maxy) {
        out.push_back(it.id);
      }
    } else {
      const Node& c = levels_[level - 1][i];
      if (c.minx <= box.XMax() && box.XMin() <= c.maxx && c.miny <= box.YMax() && box.YMin() <= c.maxy) {
        Visit(level - 1, c, box, out);
      }
    }
  }
}

void RTree::Query(const Envelope& box, std::vector<int64_t>& out) const {
  if (levels_.empty() || box.IsEmpty()) return;
  size_t top = levels_.size() - 1;
  for (const Node& n : levels_[top]) {
    if (n.minx <= box.XMax() && box.XMin() <= n.maxx && n.miny <= box.YMax() && box.YMin() <= n.maxy) {
      Visit(top, n, box, out);
    }
  }
}

}  // namespace host::geodata::detail
