// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/feature_class.h"

#include "host/geodata/detail/record.h"
#include "host/geodata/detail/store.h"
#include "host/vb/error.h"

namespace host::geodata {

FeatureClass::FeatureClass(std::shared_ptr<detail::Store> store) : store_(std::move(store)) {
  store_->Retain();
  Rebuild();
}

FeatureClass::~FeatureClass() { store_->Release(); }

void FeatureClass::Rebuild() {
  fields_ = FieldSet();
  slots_.clear();
  fields_.AddField(Field("FID", FieldType::OID));
  slots_.push_back({detail::Slot::Kind::Oid, 0, 0});
  fields_.AddField(Field::Shape("Shape", store_->shapeType(), store_->spatialRef()));
  slots_.push_back({detail::Slot::Kind::Shape, 0, 0});
  int k = 0;
  for (const Field& f : store_->attrs()) {
    fields_.AddField(f);
    slots_.push_back({detail::Slot::Kind::Attr, 0, k++});
  }
  oid_field_ = 0;
  shape_field_ = 1;
  layout_ = store_->layout();
}

std::string FeatureClass::Name() const { return store_->name(); }
const std::filesystem::path& FeatureClass::Path() const { return store_->file(); }
GeometryType FeatureClass::ShapeType() const { return store_->shapeType(); }
SpatialReference FeatureClass::SpatialRef() const { return store_->spatialRef(); }

Envelope FeatureClass::Extent() {
  Refresh();
  return store_->Extent();
}

Feature FeatureClass::CreateFeature() {
  Refresh();
  auto rec = std::make_shared<detail::Record>();
  rec->oid = store_->ReserveOid();
  rec->values.reserve(size_t(store_->attrs().FieldCount()));
  for (const Field& f : store_->attrs()) {
    rec->values.push_back(f.Type() == FieldType::String ? vb::Variant(std::string()) : vb::Variant::Null());
  }
  int64_t oid = rec->oid;
  return MakeNewRow(oid, std::move(rec));
}

void FeatureClass::Flush() { store_->Flush(); }

void FeatureClass::Refresh() {
  store_->Refresh();
  if (layout_ != store_->layout()) Rebuild();
}

int64_t FeatureClass::OidBound() const { return store_->bound(); }

bool FeatureClass::FetchParts(int64_t oid, detail::RowParts& parts) const {
  const auto& rec = store_->at(oid);
  if (!rec) return false;
  parts.part[0] = rec;
  parts.part[1].reset();
  return true;
}

std::optional<std::vector<int64_t>> FeatureClass::Lookup(int field, const detail::IndexKey& key) {
  if (field < 0 || size_t(field) >= slots_.size() || slots_[size_t(field)].kind != detail::Slot::Kind::Attr) {
    return std::nullopt;
  }
  return store_->Lookup(slots_[size_t(field)].attr, key);
}

std::optional<std::vector<int64_t>> FeatureClass::SpatialCandidates(const Envelope& box) {
  return store_->SpatialCandidates(box);
}

void FeatureClass::StoreRow(Row& row) {
  if (layout_ != store_->layout()) {
    vb::raise(vb::err::HostFailure, "\"" + Name() + "\" was changed on disk; the row can no longer be stored");
  }
  // The row's own copy becomes the stored one: the row lets go of it below.
  row.parts_.part[0] = store_->Write(row.edit_ ? row.edit_ : row.parts_.part[0]);
  row.edit_.reset();
  row.new_ = false;
}

uint64_t FeatureClass::Version() const { return store_->generation(); }

}  // namespace host::geodata
