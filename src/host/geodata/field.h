// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Fields and field sets of tables and feature classes.

#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "host/geodata/geometry.h"

namespace host::geodata {

// Field type codes as the command compares them. Only String (4) and Date (5) change
// how a value is written into a where clause; the others are numbers, the object ID
// or the shape.
enum class FieldType : int {
  SmallInteger = 0,
  Integer = 1,
  Single = 2,
  Double = 3,
  String = 4,
  Date = 5,
  OID = 6,
  Geometry = 7,
};

std::string FieldTypeName(FieldType type);  // "SmallInteger", "Integer", ... "Geometry"

class Field {
 public:
  // Length: characters for text, digits for numbers; 0 takes the shapefile default
  // (text 50, small integer 5, integer 9, single 13, double 19, date 8). Precision:
  // decimals of a single or double; -1 takes a default that fits the length.
  Field(std::string name, FieldType type, int length = 0, int precision = -1);
  // The shape field of a feature class: its geometry type and coordinate system.
  static Field Shape(std::string name, GeometryType shapeType, SpatialReference sr = {});

  const std::string& Name() const { return name_; }
  FieldType Type() const { return type_; }
  int Length() const { return length_; }
  int Precision() const { return precision_; }
  bool IsNumeric() const;

  // Geometry fields only.
  GeometryType ShapeType() const { return shape_type_; }
  const SpatialReference& SpatialRef() const { return sr_; }

 private:
  std::string name_;
  FieldType type_;
  int length_;
  int precision_;
  GeometryType shape_type_ = GeometryType::Null;
  SpatialReference sr_;
};

class FieldSet {
 public:
  FieldSet() = default;
  FieldSet(std::initializer_list<geodata::Field> fields) : fields_(fields) {}

  int FieldCount() const { return int(fields_.size()); }
  // Subscript out of range (9) outside 0 to FieldCount() - 1.
  const geodata::Field& Field(int index) const;
  // The position of the field named name, compared without regard to case; -1 when
  // there is none.
  int FindField(std::string_view name) const;
  void AddField(geodata::Field field) { fields_.push_back(std::move(field)); }

  auto begin() const { return fields_.begin(); }
  auto end() const { return fields_.end(); }

 private:
  std::vector<geodata::Field> fields_;
};

}  // namespace host::geodata
