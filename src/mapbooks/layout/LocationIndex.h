// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The location index: for every value of a search layer's label field, the labels of
// the grid tiles that features with that value intersect.

#include <cstddef>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace host::carto {
class FeatureLayer;
}
namespace host::geodata {
class Table;
}

namespace mapbooks {

// Keys compare exactly (case counts) and stay in the order first met. A key's item is
// its tile list: " A1, B2", one entry (a blank and a label) per tile.
class LocationIndex {
 public:
  // Appends the entry to the key's item unless the item lists it already (compared
  // without regard to case); a new key starts with the entry alone.
  void Add(const std::string& key, const std::string& entry);

  long Count() const { return long(keys_.size()); }
  bool Exists(const std::string& key) const { return index_.count(key) != 0; }
  // The key's item; the empty text for a key that is not here.
  const std::string& Item(const std::string& key) const;
  // In the order first met.
  std::vector<std::string> Keys() const;

  // "key... A1, B2" per key, in the order first met.
  std::vector<std::string> IndexLines() const;
  // "key<TAB>A1<TAB>B2" per key, in the order first met.
  std::vector<std::string> TableLines() const;

 private:
  struct Entry {
    std::string key;
    std::string item;
    // The entries folded to lower case: a repeat is found without reading the item.
    std::unordered_set<std::string> folded;
    // The length of the last entry appended, which ends the item.
    size_t last = 0;
  };
  std::vector<Entry> keys_;
  std::unordered_map<std::string, size_t> index_;
};

// Walks the grid layer's tiles (its definition query applies) and, for each, adds every
// feature of the search table whose shape intersects the tile: the search feature's
// label as the key, a blank and the tile's label as the entry. Null or blank labels on
// either side add nothing. beforeTile runs at the start of each tile (the progressor).
// The fields must exist (their names without regard to case).
LocationIndex BuildLocationIndex(const host::carto::FeatureLayer& grid, const std::string& gridField,
                                 host::geodata::Table& search, const std::string& searchField,
                                 const std::function<void()>& beforeTile = {});

// The lines in the order a sorted list box keeps them (host::ui::CompareListItems), lines
// that compare equal in the order given.
std::vector<std::string> SortedAsList(std::vector<std::string> lines);

}  // namespace mapbooks
