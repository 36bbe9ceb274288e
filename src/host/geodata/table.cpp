// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/table.h"

#include <algorithm>
#include <cmath>

#include "host/geodata/detail/engine.h"
#include "host/geodata/detail/record.h"
#include "host/vb/convert.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"

namespace host::geodata {

namespace {

[[noreturn]] void NotSet() { vb::raise(vb::err::ObjectNotSet, "The row is not set"); }

std::string Shown(const vb::Variant& v) {
  try {
    return vb::CStr(v);
  } catch (const vb::Error&) {
    return "?";
  }
}

// The value as the field stores it; a value that does not fit fails with a clear text.
vb::Variant Coerce(const Field& f, const vb::Variant& v) {
  if (v.IsNull() || v.IsEmpty()) return vb::Variant::Null();
  auto cannot = [&]() -> vb::Error {
    return vb::Error(vb::err::TypeMismatch, "Cannot store \"" + Shown(v) + "\" in the " + FieldTypeName(f.Type()) +
                                                " field \"" + f.Name() + "\"");
  };
  auto fits = [&](const std::string& text) {
    if (f.Length() > 0 && int(text.size()) > f.Length()) {
      vb::raise(vb::err::Overflow, "\"" + text + "\" is longer than the " + std::to_string(f.Length()) +
                                       " characters of field \"" + f.Name() + "\"");
    }
  };
  switch (f.Type()) {
    case FieldType::SmallInteger:
    case FieldType::Integer: {
      double d;
      try {
        d = vb::CDbl(v);
      } catch (const vb::Error&) {
        throw cannot();
      }
      int64_t n = f.Type() == FieldType::SmallInteger ? int64_t(vb::CInt(d)) : int64_t(vb::CLng(d));
      fits(std::to_string(n));
      return vb::Variant(n);
    }
    case FieldType::Single:
    case FieldType::Double: {
      try {
        return vb::Variant(vb::CDbl(v));
      } catch (const vb::Error&) {
        throw cannot();
      }
    }
    case FieldType::String: {
      if (v.type() == vb::Variant::Type::String) {
        fits(v.AsString());
        return v;
      }
      std::string s = vb::CStr(v);
      fits(s);
      return vb::Variant(std::move(s));
    }
    case FieldType::Date: {
      if (v.type() == vb::Variant::Type::Date) return v;
      if (v.type() == vb::Variant::Type::String) {
        auto d = vb::ParseDate(v.AsString());
        if (!d) throw cannot();
        return vb::Variant(vb::DateValue{*d});
      }
      if (v.IsNumber()) return vb::Variant(vb::DateValue{v.AsDouble()});
      throw cannot();
    }
    case FieldType::OID:
    case FieldType::Geometry: break;
  }
  throw cannot();
}

bool ShapeFits(GeometryType classType, GeometryType shapeType) {
  if (shapeType == GeometryType::Null || classType == GeometryType::Null) return true;
  return classType == shapeType;
}

}  // namespace

// ---- Row ----

Row::Row() = default;

Row::Row(const Row& other)
    : table_(other.table_), oid_(other.oid_), parts_(other.parts_),
      edit_(other.edit_ ? std::make_shared<detail::Record>(*other.edit_) : nullptr), new_(other.new_) {}

Row& Row::operator=(const Row& other) {
  if (this != &other) *this = Row(other);
  return *this;
}

bool Row::HasOID() const { return table_ && table_->HasOID(); }

const FieldSet& Row::Fields() const {
  if (!table_) NotSet();
  return table_->fields_;
}

const detail::Record& Row::Base() const {
  if (edit_) return *edit_;
  if (!parts_.part[0]) NotSet();
  return *parts_.part[0];
}

detail::Record& Row::Editable() {
  if (!edit_) edit_ = std::make_shared<detail::Record>(Base());
  return *edit_;
}

vb::Variant Row::Value(int index) const {
  const FieldSet& fields = Fields();
  fields.Field(index);  // range check
  const detail::Slot& slot = table_->slots_[size_t(index)];
  if (slot.kind == detail::Slot::Kind::Shape) {
    vb::raise(vb::err::TypeMismatch,
              "The shape field \"" + fields.Field(index).Name() + "\" has no value as a text or a number");
  }
  if (slot.kind == detail::Slot::Kind::Attr && slot.part == 0) {
    const detail::Record& rec = Base();
    if (size_t(slot.attr) >= rec.values.size()) return vb::Variant::Null();
    return rec.values[size_t(slot.attr)];
  }
  return detail::SlotValue(slot, parts_, oid_);
}

vb::Variant Row::Value(std::string_view name) const {
  int i = Fields().FindField(name);
  if (i < 0) {
    vb::raise(vb::err::SubscriptOutOfRange,
              "Field \"" + std::string(name) + "\" not found in \"" + table_->Name() + "\"");
  }
  return Value(i);
}

void Row::SetValue(int index, const vb::Variant& value) {
  const Field& f = Fields().Field(index);
  const detail::Slot& slot = table_->slots_[size_t(index)];
  if (slot.kind != detail::Slot::Kind::Attr) {
    vb::raise(vb::err::InvalidCall, "The field \"" + f.Name() + "\" cannot be set");
  }
  if (slot.part != 0) {
    vb::raise(vb::err::InvalidCall, "The joined field \"" + f.Name() + "\" cannot be set");
  }
  vb::Variant v = Coerce(f, value);
  detail::Record& rec = Editable();
  if (size_t(slot.attr) >= rec.values.size()) rec.values.resize(size_t(slot.attr) + 1, vb::Variant::Null());
  rec.values[size_t(slot.attr)] = std::move(v);
}

bool Row::HasShape() const { return table_ && table_->HasShape(); }

const Geometry& Row::Shape() const {
  if (!HasShape()) {
    if (!table_) NotSet();
    vb::raise(vb::err::InvalidCall, "\"" + table_->Name() + "\" has no shapes");
  }
  return Base().shape;
}

void Row::SetShape(Geometry shape) {
  if (!HasShape()) {
    if (!table_) NotSet();
    vb::raise(vb::err::InvalidCall, "\"" + table_->Name() + "\" has no shapes");
  }
  if (parts_.part[1] || table_->slots_[size_t(table_->shape_field_)].part != 0) {
    vb::raise(vb::err::InvalidCall, "The shapes of a joined table cannot be set");
  }
  GeometryType want = table_->RowShapeType();
  if (!ShapeFits(want, shape.Type())) {
    vb::raise(vb::err::TypeMismatch, "A " + GeometryTypeName(shape.Type()) + " shape cannot be stored in \"" +
                                         table_->Name() + "\", which holds " + GeometryTypeName(want) + " shapes");
  }
  Editable().shape = std::move(shape);
}

void Row::Store() {
  if (!table_) NotSet();
  table_->StoreRow(*this);
}

// ---- Cursor ----

std::optional<Row> Cursor::NextRow() {
  while (table_ && pos_ < oids_.size()) {
    int64_t oid = oids_[pos_++];
    detail::RowParts parts;
    if (table_->FetchParts(oid, parts)) return table_->MakeRow(oid, std::move(parts));
  }
  return std::nullopt;
}

// ---- Table ----

Table::~Table() = default;

std::string Table::OIDFieldName() const { return oid_field_ >= 0 ? fields_.Field(oid_field_).Name() : ""; }

std::string Table::ShapeFieldName() const { return shape_field_ >= 0 ? fields_.Field(shape_field_).Name() : ""; }

std::vector<int64_t> Table::MatchingOids(const QueryFilter* filter, const std::vector<int64_t>* within) {
  return detail::Engine::Select(*this, filter, within);
}

Cursor Table::Search(const QueryFilter* filter) {
  Cursor c;
  c.oids_ = MatchingOids(filter, nullptr);
  c.table_ = shared_from_this();
  return c;
}

int64_t Table::RowCount(const QueryFilter* filter) {
  if (!filter || (filter->WhereClause().find_first_not_of(" \t\r\n") == std::string::npos &&
                  !dynamic_cast<const SpatialFilter*>(filter))) {
    Refresh();
    int64_t n = 0;
    detail::RowParts parts;
    for (int64_t oid = 0, bound = OidBound(); oid < bound; ++oid) n += FetchParts(oid, parts) ? 1 : 0;
    return n;
  }
  return int64_t(MatchingOids(filter, nullptr).size());
}

std::vector<int64_t> Table::SearchOIDs(const QueryFilter* filter) { return MatchingOids(filter, nullptr); }

SelectionSet Table::Select(const QueryFilter* filter) {
  SelectionSet s(shared_from_this());
  s.AddList(MatchingOids(filter, nullptr));
  return s;
}

SelectionSet Table::Select(const QueryFilter& filter) { return Select(&filter); }

std::optional<Row> Table::GetRow(int64_t oid) {
  Refresh();
  detail::RowParts parts;
  if (!FetchParts(oid, parts)) return std::nullopt;
  return MakeRow(oid, std::move(parts));
}

Cursor Table::GetRows(std::vector<int64_t> oids) {
  Refresh();
  std::sort(oids.begin(), oids.end());
  oids.erase(std::unique(oids.begin(), oids.end()), oids.end());
  Cursor c;
  c.oids_ = std::move(oids);
  c.table_ = shared_from_this();
  return c;
}

std::optional<std::vector<int64_t>> Table::Lookup(int, const detail::IndexKey&) { return std::nullopt; }

std::optional<std::vector<int64_t>> Table::SpatialCandidates(const Envelope&) { return std::nullopt; }

void Table::StoreRow(Row&) { vb::raise(vb::err::PermissionDenied, "\"" + Name() + "\" cannot be written"); }

Row Table::MakeRow(int64_t oid, detail::RowParts parts) {
  Row r;
  r.table_ = shared_from_this();
  r.oid_ = oid;
  r.parts_ = std::move(parts);
  return r;
}

Row Table::MakeNewRow(int64_t oid, std::shared_ptr<detail::Record> record) {
  Row r;
  r.table_ = shared_from_this();
  r.oid_ = oid;
  r.edit_ = std::move(record);
  r.new_ = true;
  return r;
}

// ---- SelectionSet ----

SelectionSet::SelectionSet(std::shared_ptr<geodata::Table> table) : table_(std::move(table)) {
  if (!table_) vb::raise(vb::err::ObjectNotSet, "A selection set needs a table");
}

void SelectionSet::RemoveList(const std::vector<int64_t>& oids) {
  for (int64_t oid : oids) ids_.erase(oid);
}

Cursor SelectionSet::Search(const QueryFilter* filter) const {
  std::vector<int64_t> within(ids_.begin(), ids_.end());
  return table_->GetRows(table_->MatchingOids(filter, &within));
}

SelectionSet SelectionSet::Select(const QueryFilter* filter) const {
  std::vector<int64_t> within(ids_.begin(), ids_.end());
  SelectionSet s(table_);
  s.AddList(table_->MatchingOids(filter, &within));
  return s;
}

void SelectionSet::CheckSameTable(const SelectionSet& other) const {
  if (other.table_ != table_) vb::raise(vb::err::InvalidCall, "The selection sets belong to different tables");
}

void SelectionSet::Union(const SelectionSet& other) {
  CheckSameTable(other);
  ids_.insert(other.ids_.begin(), other.ids_.end());
}

void SelectionSet::Intersect(const SelectionSet& other) {
  CheckSameTable(other);
  for (auto it = ids_.begin(); it != ids_.end();) it = other.Contains(*it) ? std::next(it) : ids_.erase(it);
}

void SelectionSet::Subtract(const SelectionSet& other) {
  CheckSameTable(other);
  for (int64_t oid : other.ids_) ids_.erase(oid);
}

void CheckWhereClause(Table& t, const std::string& whereClause) { detail::Engine::Check(t, whereClause); }

}  // namespace host::geodata
