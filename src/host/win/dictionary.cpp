// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/win/dictionary.h"

#include "host/vb/error.h"

namespace host::win {

Dictionary::Dictionary(const Dictionary& other) : entries_(other.entries_) { reindex(); }

Dictionary& Dictionary::operator=(const Dictionary& other) {
  if (this != &other) {
    entries_ = other.entries_;
    reindex();
  }
  return *this;
}

// The index points into the list, so a copied list needs an index of its own.
void Dictionary::reindex() {
  index_.clear();
  index_.reserve(entries_.size());
  for (auto it = entries_.begin(); it != entries_.end(); ++it) index_.emplace(it->first, it);
}

void Dictionary::Add(const std::string& key, vb::Variant item) {
  if (index_.count(key)) vb::raise(vb::err::KeyAlreadyExists);
  entries_.emplace_back(key, std::move(item));
  index_.emplace(key, std::prev(entries_.end()));
}

bool Dictionary::Exists(const std::string& key) const { return index_.count(key) != 0; }

vb::Variant& Dictionary::Item(const std::string& key) {
  if (auto it = index_.find(key); it != index_.end()) return it->second->second;
  entries_.emplace_back(key, vb::Variant());
  auto last = std::prev(entries_.end());
  index_.emplace(key, last);
  return last->second;
}

const vb::Variant* Dictionary::Find(const std::string& key) const {
  auto it = index_.find(key);
  return it == index_.end() ? nullptr : &it->second->second;
}

void Dictionary::Remove(const std::string& key) {
  auto it = index_.find(key);
  if (it == index_.end()) vb::raise(vb::err::InvalidCall);
  entries_.erase(it->second);
  index_.erase(it);
}

void Dictionary::RemoveAll() {
  index_.clear();
  entries_.clear();
}

std::vector<std::string> Dictionary::Keys() const {
  std::vector<std::string> keys;
  keys.reserve(entries_.size());
  for (const auto& [key, item] : entries_) keys.push_back(key);
  return keys;
}

std::vector<vb::Variant> Dictionary::Items() const {
  std::vector<vb::Variant> items;
  items.reserve(entries_.size());
  for (const auto& [key, item] : entries_) items.push_back(item);
  return items;
}

}  // namespace host::win
