// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A joined table: a layer's display table when a table is joined to it.
//
// The rows are the base table's rows (with their object IDs and, for a feature class,
// their shapes); each carries the fields of the first row of the join table whose key
// equals the base row's key, or Nulls when none does. Fields are named
// "basename.FIELD" and "jointable.FIELD" (the join table's shape field, if any, is left
// out). Where clauses may use those names, or a bare field name that only one side has.
// Keys compare as texts when both key fields are texts, else as numbers (a numeric text
// counts as its number). The join follows changes of either table's files.

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "host/geodata/table.h"

namespace host::geodata {

class JoinedTable : public Table {
 public:
  // Fails with a clear error when a key field is missing or a table is itself joined.
  static std::shared_ptr<JoinedTable> Join(std::shared_ptr<Table> base, std::string_view baseKeyField,
                                           std::shared_ptr<Table> joinTable, std::string_view joinKeyField);

  std::string Name() const override { return base_->Name(); }
  std::string AliasName() const override { return base_->AliasName(); }
  const std::shared_ptr<Table>& Base() const { return base_; }
  const std::shared_ptr<Table>& JoinTable() const { return join_; }
  const std::string& BaseKeyField() const { return base_key_name_; }
  const std::string& JoinKeyField() const { return join_key_name_; }

 protected:
  void Refresh() override;
  int64_t OidBound() const override;
  bool FetchParts(int64_t oid, detail::RowParts& parts) const override;
  std::optional<std::vector<int64_t>> Lookup(int field, const detail::IndexKey& key) override;
  std::optional<std::vector<int64_t>> SpatialCandidates(const Envelope& box) override;
  GeometryType RowShapeType() const override;
  uint64_t Version() const override { return version_; }

 private:
  JoinedTable(std::shared_ptr<Table> base, std::string baseKey, std::shared_ptr<Table> join, std::string joinKey);
  void Rebuild();

  std::shared_ptr<Table> base_, join_;
  std::string base_key_name_, join_key_name_;
  uint64_t base_version_ = 0, join_version_ = 0, version_ = 0;
  std::vector<int> join_field_of_;  // this table's field -> the join table's field (-1 for base fields)
  int base_field_count_ = 0;
  std::vector<int64_t> join_of_;  // base OID -> join OID or -1
  std::unordered_map<int64_t, std::vector<int64_t>> bases_of_;  // join OID -> base OIDs
};

}  // namespace host::geodata
