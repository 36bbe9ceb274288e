// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/field.h"

#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::geodata {

std::string FieldTypeName(FieldType type) {
  switch (type) {
    case FieldType::SmallInteger: return "SmallInteger";
    case FieldType::Integer: return "Integer";
    case FieldType::Single: return "Single";
    case FieldType::Double: return "Double";
    case FieldType::String: return "String";
    case FieldType::Date: return "Date";
    case FieldType::OID: return "OID";
    case FieldType::Geometry: return "Geometry";
  }
  return "Unknown";
}

Field::Field(std::string name, FieldType type, int length, int precision)
    : name_(std::move(name)), type_(type), length_(length), precision_(precision) {}

Field Field::Shape(std::string name, GeometryType shapeType, SpatialReference sr) {
  Field f(std::move(name), FieldType::Geometry);
  f.shape_type_ = shapeType;
  f.sr_ = std::move(sr);
  return f;
}

bool Field::IsNumeric() const {
  switch (type_) {
    case FieldType::SmallInteger:
    case FieldType::Integer:
    case FieldType::Single:
    case FieldType::Double:
    case FieldType::OID: return true;
    default: return false;
  }
}

const Field& FieldSet::Field(int index) const {
  if (index < 0 || index >= FieldCount()) {
    vb::raise(vb::err::SubscriptOutOfRange,
              "Field index " + std::to_string(index) + " is outside 0 to " + std::to_string(FieldCount() - 1));
  }
  return fields_[size_t(index)];
}

int FieldSet::FindField(std::string_view name) const {
  for (size_t i = 0; i < fields_.size(); ++i) {
    if (vb::SameText(fields_[i].Name(), name)) return int(i);
  }
  return -1;
}

}  // namespace host::geodata
