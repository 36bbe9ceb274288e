// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/joined_table.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "host/geodata/detail/record.h"
#include "host/vb/convert.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::geodata {

namespace {

// The key a row is joined on: a text, or a number when the keys compare as numbers.
std::optional<std::string> TextKey(const vb::Variant& v) {
  if (v.type() != vb::Variant::Type::String) return std::nullopt;
  return v.AsString();
}

std::optional<double> NumberKey(const vb::Variant& v) {
  switch (v.type()) {
    case vb::Variant::Type::Long:
    case vb::Variant::Type::Double: return v.AsDouble() + 0.0;
    case vb::Variant::Type::Date: return v.AsDate().serial + 0.0;
    case vb::Variant::Type::Boolean: return v.AsBool() ? -1.0 : 0.0;
    case vb::Variant::Type::String: {
      auto n = vb::ParseNumber(vb::Trim(v.AsString()));
      if (n) return *n + 0.0;
      return std::nullopt;
    }
    default: return std::nullopt;
  }
}

}  // namespace

std::shared_ptr<JoinedTable> JoinedTable::Join(std::shared_ptr<Table> base, std::string_view baseKeyField,
                                               std::shared_ptr<Table> joinTable, std::string_view joinKeyField) {
  if (!base || !joinTable) vb::raise(vb::err::ObjectNotSet, "A join needs two tables");
  if (dynamic_cast<JoinedTable*>(base.get()) || dynamic_cast<JoinedTable*>(joinTable.get())) {
    vb::raise(vb::err::InvalidCall, "A joined table cannot be joined again");
  }
  if (base->FindField(baseKeyField) < 0) {
    vb::raise(vb::err::HostFailure,
              "Join field \"" + std::string(baseKeyField) + "\" not found in \"" + base->Name() + "\"");
  }
  if (joinTable->FindField(joinKeyField) < 0) {
    vb::raise(vb::err::HostFailure,
              "Join field \"" + std::string(joinKeyField) + "\" not found in \"" + joinTable->Name() + "\"");
  }
  std::shared_ptr<JoinedTable> t(
      new JoinedTable(std::move(base), std::string(baseKeyField), std::move(joinTable), std::string(joinKeyField)));
  t->Rebuild();
  return t;
}

JoinedTable::JoinedTable(std::shared_ptr<Table> base, std::string baseKey, std::shared_ptr<Table> join,
                         std::string joinKey)
    : base_(std::move(base)), join_(std::move(join)), base_key_name_(std::move(baseKey)),
      join_key_name_(std::move(joinKey)) {}

void JoinedTable::Rebuild() {
  base_version_ = base_->Version();
  join_version_ = join_->Version();
  ++version_;

  // Fields: the base's, then the join table's (without its shape), qualified.
  fields_ = FieldSet();
  slots_.clear();
  join_field_of_.clear();
  std::string bq = base_->Qualifier(), jq = join_->Qualifier();
  const FieldSet& bf = base_->Fields();
  for (int i = 0; i < bf.FieldCount(); ++i) {
    const Field& f = bf.Field(i);
    fields_.AddField(f.Type() == FieldType::Geometry ? Field::Shape(bq + "." + f.Name(), f.ShapeType(), f.SpatialRef())
                                                     : Field(bq + "." + f.Name(), f.Type(), f.Length(), f.Precision()));
    slots_.push_back(base_->slots_[size_t(i)]);
    join_field_of_.push_back(-1);
  }
  base_field_count_ = bf.FieldCount();
  const FieldSet& jf = join_->Fields();
  for (int i = 0; i < jf.FieldCount(); ++i) {
    const Field& f = jf.Field(i);
    if (f.Type() == FieldType::Geometry) continue;
    fields_.AddField(Field(jq + "." + f.Name(), f.Type(), f.Length(), f.Precision()));
    detail::Slot s = join_->slots_[size_t(i)];
    s.part = 1;
    slots_.push_back(s);
    join_field_of_.push_back(i);
  }
  oid_field_ = base_->oid_field_;
  shape_field_ = base_->shape_field_;

  // Keys: the first join row of each key wins.
  int bk = base_->FindField(base_key_name_), jk = join_->FindField(join_key_name_);
  if (bk < 0 || jk < 0) {
    vb::raise(vb::err::HostFailure, "The join field \"" + std::string(bk < 0 ? base_key_name_ : join_key_name_) +
                                        "\" is no longer in \"" + (bk < 0 ? base_->Name() : join_->Name()) + "\"");
  }
  bool as_text = bf.Field(bk).Type() == FieldType::String && jf.Field(jk).Type() == FieldType::String;
  std::unordered_map<std::string, int64_t> by_text;
  std::map<double, int64_t> by_number;
  detail::RowParts parts;
  for (int64_t oid = 0, bound = join_->OidBound(); oid < bound; ++oid) {
    if (!join_->FetchParts(oid, parts)) continue;
    vb::Variant v = detail::SlotValue(join_->slots_[size_t(jk)], parts, oid);
    if (as_text) {
      if (auto k = TextKey(v)) by_text.emplace(*k, oid);
    } else if (auto k = NumberKey(v)) {
      by_number.emplace(*k, oid);
    }
  }
  join_of_.assign(size_t(base_->OidBound()), -1);
  bases_of_.clear();
  for (int64_t oid = 0, bound = base_->OidBound(); oid < bound; ++oid) {
    if (!base_->FetchParts(oid, parts)) continue;
    vb::Variant v = detail::SlotValue(base_->slots_[size_t(bk)], parts, oid);
    int64_t j = -1;
    if (as_text) {
      if (auto k = TextKey(v)) {
        auto it = by_text.find(*k);
        if (it != by_text.end()) j = it->second;
      }
    } else if (auto k = NumberKey(v)) {
      auto it = by_number.find(*k);
      if (it != by_number.end()) j = it->second;
    }
    join_of_[size_t(oid)] = j;
    if (j >= 0) bases_of_[j].push_back(oid);
  }
}

void JoinedTable::Refresh() {
  base_->Refresh();
  join_->Refresh();
  if (base_->Version() != base_version_ || join_->Version() != join_version_) Rebuild();
}

int64_t JoinedTable::OidBound() const { return base_->OidBound(); }

bool JoinedTable::FetchParts(int64_t oid, detail::RowParts& parts) const {
  if (!base_->FetchParts(oid, parts)) return false;
  parts.part[1].reset();
  if (oid >= 0 && size_t(oid) < join_of_.size() && join_of_[size_t(oid)] >= 0) {
    detail::RowParts jp;
    if (join_->FetchParts(join_of_[size_t(oid)], jp)) parts.part[1] = jp.part[0];
  }
  return true;
}

std::optional<std::vector<int64_t>> JoinedTable::Lookup(int field, const detail::IndexKey& key) {
  if (field < 0 || size_t(field) >= slots_.size()) return std::nullopt;
  int jf = join_field_of_[size_t(field)];
  if (jf < 0) {
    if (field == base_->oid_field_) {
      if (key.text || key.n != std::floor(key.n) || key.n < 0) return std::vector<int64_t>{};
      detail::RowParts parts;
      int64_t oid = int64_t(key.n);
      if (!base_->FetchParts(oid, parts)) return std::vector<int64_t>{};
      return std::vector<int64_t>{oid};
    }
    return base_->Lookup(field, key);
  }
  std::optional<std::vector<int64_t>> joined;
  if (jf == join_->oid_field_) {
    if (key.text || key.n != std::floor(key.n)) return std::vector<int64_t>{};
    joined = std::vector<int64_t>{int64_t(key.n)};
  } else {
    joined = join_->Lookup(jf, key);
  }
  if (!joined) return std::nullopt;
  std::vector<int64_t> out;
  for (int64_t j : *joined) {
    auto it = bases_of_.find(j);
    if (it != bases_of_.end()) out.insert(out.end(), it->second.begin(), it->second.end());
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::optional<std::vector<int64_t>> JoinedTable::SpatialCandidates(const Envelope& box) {
  return base_->SpatialCandidates(box);
}

GeometryType JoinedTable::RowShapeType() const { return base_->RowShapeType(); }

}  // namespace host::geodata
