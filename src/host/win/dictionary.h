// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scripting runtime's Dictionary: items under text keys, kept in the order they
// were added. Keys are compared exactly ("A" and "a" are two keys).

#include <list>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "host/vb/variant.h"

namespace host::win {

class Dictionary {
 public:
  Dictionary() = default;
  Dictionary(const Dictionary& other);
  Dictionary& operator=(const Dictionary& other);
  Dictionary(Dictionary&&) noexcept = default;
  Dictionary& operator=(Dictionary&&) noexcept = default;

  // A key that is there already: error 457.
  void Add(const std::string& key, vb::Variant item);
  bool Exists(const std::string& key) const;
  // As the runtime does, reading a missing key adds it with an Empty item.
  // The reference stays valid until the key is removed.
  vb::Variant& Item(const std::string& key);
  // Looks without adding; null when the key is missing.
  const vb::Variant* Find(const std::string& key) const;
  // A missing key: error 5.
  void Remove(const std::string& key);
  void RemoveAll();
  long Count() const { return static_cast<long>(entries_.size()); }
  std::vector<std::string> Keys() const;
  std::vector<vb::Variant> Items() const;

 private:
  using Entries = std::list<std::pair<std::string, vb::Variant>>;
  void reindex();

  Entries entries_;
  std::unordered_map<std::string, Entries::iterator> index_;
};

}  // namespace host::win
