// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Query filters (a where clause) and spatial filters (a shape and a relation, with an
// optional where clause) for searching tables and feature classes.
//
// Where clauses are read by the host's own parser, not by a database:
//   comparisons  = <> != < > <= >=      logic  AND OR NOT, parentheses
//   x [NOT] IN (a, b, ...)   x IS [NOT] NULL   x [NOT] LIKE 'A%_'   x [NOT] BETWEEN a AND b
//   'text' ('' is one quote)   numbers (-1.5e3)   #m/d/yyyy# or #yyyy-mm-dd#
//   field names without regard to case, also as table.field, "field" or [field]
// Keywords ignore case; text compares exactly (case counts). A Null compares as unknown,
// so neither "x = 1" nor "x <> 1" selects a row whose x is Null. A number field compared
// with a numeric text compares as numbers, a text field compared with a number compares
// its numeric values as numbers (blank texts as Null); any other mix, an unknown field
// or a clause that does not parse fails with an error naming the clause.
// An empty (or blank) where clause selects every row.

#include <string>

#include "host/geodata/geometry.h"

namespace host::geodata {

class QueryFilter {
 public:
  QueryFilter() = default;
  explicit QueryFilter(std::string whereClause) : where_(std::move(whereClause)) {}
  virtual ~QueryFilter() = default;
  QueryFilter(const QueryFilter&) = default;
  QueryFilter& operator=(const QueryFilter&) = default;

  const std::string& WhereClause() const { return where_; }
  void SetWhereClause(std::string whereClause) { where_ = std::move(whereClause); }

 private:
  std::string where_;
};

// Relations numbered as the command's platform numbers them.
enum class SpatialRelation : int {
  Intersects = 1,          // the shapes share a point (exact, through GEOS)
  EnvelopeIntersects = 4,  // the envelopes meet (what drawing a view needs)
};

class SpatialFilter : public QueryFilter {
 public:
  SpatialFilter() = default;
  explicit SpatialFilter(geodata::Geometry geometry, SpatialRelation relation = SpatialRelation::Intersects,
                         std::string whereClause = {})
      : QueryFilter(std::move(whereClause)), geometry_(std::move(geometry)), relation_(relation) {}

  const geodata::Geometry& Geometry() const { return geometry_; }
  void SetGeometry(geodata::Geometry geometry) { geometry_ = std::move(geometry); }
  SpatialRelation SpatialRel() const { return relation_; }
  void SetSpatialRel(SpatialRelation relation) { relation_ = relation; }
  // The searched class's shape field name, without regard to case; empty means that one.
  const std::string& GeometryField() const { return geometry_field_; }
  void SetGeometryField(std::string name) { geometry_field_ = std::move(name); }

 private:
  geodata::Geometry geometry_;
  SpatialRelation relation_ = SpatialRelation::Intersects;
  std::string geometry_field_;
};

}  // namespace host::geodata
