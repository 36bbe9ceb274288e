// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Tables, rows, cursors and selection sets.
//
// A Table is anything that has fields and rows with object IDs: a feature class (a
// shapefile, feature_class.h), a plain table (.dbf or .csv, opened through the
// workspace) or a joined display table (joined_table.h). Tables are shared objects
// (std::shared_ptr); rows, cursors and selection sets keep their table alive.
//
// Searching never hands a clause to a database: filter.h describes the where clauses
// the host reads. Rows come back in object-ID order. Equality and IN conditions on any
// field, and object-ID conditions, are answered from a value index built on first use;
// spatial filters use a spatial index and then an exact test.

#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "host/geodata/field.h"
#include "host/geodata/filter.h"
#include "host/geodata/geometry.h"
#include "host/vb/variant.h"

namespace host::geodata {

class Table;
class SelectionSet;
class FeatureClass;

namespace detail {
struct Record;
struct IndexKey;
class Engine;

// Where a table's field comes from: the row's object ID, its shape, or an attribute of
// one of the row's parts (part 0: the row itself or a join's base row; part 1: the
// joined row).
struct Slot {
  enum class Kind : uint8_t { Oid, Shape, Attr };
  Kind kind = Kind::Attr;
  uint8_t part = 0;
  int attr = 0;
};

struct RowParts {
  std::shared_ptr<const Record> part[2];
};
}  // namespace detail

// One row of a table. A feature is a row of a table with a shape field, so the two are
// one type. A row is a snapshot: it keeps the values it was read with, and SetValue and
// SetShape change only the row until Store writes it to its table. Rows are values: a
// copy has its own changes.
class Row {
 public:
  Row();
  Row(const Row& other);
  Row& operator=(const Row& other);
  Row(Row&&) noexcept = default;
  Row& operator=(Row&&) noexcept = default;

  // The object ID; -1 for a table without one.
  int64_t OID() const { return oid_; }
  bool HasOID() const;
  const FieldSet& Fields() const;
  std::shared_ptr<geodata::Table> Table() const { return table_; }

  // The value of field index: Null, a number (the object ID as a whole number), a text
  // or a date. Reading the shape field through Value fails with Type mismatch (13): a
  // shape has no text form; use Shape(). An index out of range fails with 9.
  vb::Variant Value(int index) const;
  // The value of the field named name (without regard to case); 9 when there is none.
  vb::Variant Value(std::string_view name) const;
  // Converts the value to the field's type (numbers rounded half to even for integer
  // fields; a text must fit the field's length). Fails with a clear error for a value
  // that cannot be converted, for the object ID and shape fields, and for rows of a
  // joined table's joined part.
  void SetValue(int index, const vb::Variant& value);

  bool HasShape() const;
  // The shape (no shape: an empty Geometry). A table without a shape field fails.
  const Geometry& Shape() const;
  // The shape kind must fit the feature class (polygons in a polygon class, ...).
  void SetShape(Geometry shape);
  // The shape's envelope (empty for no shape).
  Envelope Extent() const { return Shape().Extent(); }

  // Writes the row to its table (a new feature is added with the OID it was given).
  void Store();

 private:
  friend class geodata::Table;
  friend class FeatureClass;
  friend class detail::Engine;
  const detail::Record& Base() const;
  detail::Record& Editable();

  std::shared_ptr<geodata::Table> table_;
  int64_t oid_ = -1;
  detail::RowParts parts_;
  std::shared_ptr<detail::Record> edit_;  // the row's own copy once it is changed
  bool new_ = false;
};
using Feature = Row;

// Rows in a fixed order, read one at a time. Rows removed from the table since the
// cursor was opened are skipped.
class Cursor {
 public:
  Cursor() = default;  // a cursor without rows

  // The next row, or nothing after the last one.
  std::optional<Row> NextRow();
  std::optional<Row> NextFeature() { return NextRow(); }
  // Back to the first row.
  void Reset() { pos_ = 0; }
  // The object IDs the cursor was opened on, in its order.
  const std::vector<int64_t>& OIDs() const { return oids_; }
  std::shared_ptr<geodata::Table> Table() const { return table_; }

 private:
  friend class geodata::Table;
  std::shared_ptr<geodata::Table> table_;
  std::vector<int64_t> oids_;
  size_t pos_ = 0;
};
using FeatureCursor = Cursor;

class Table : public std::enable_shared_from_this<Table> {
 public:
  virtual ~Table();
  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  virtual std::string Name() const = 0;
  virtual std::string AliasName() const { return Name(); }

  const FieldSet& Fields() const { return fields_; }
  int FindField(std::string_view name) const { return fields_.FindField(name); }
  bool HasOID() const { return oid_field_ >= 0; }
  std::string OIDFieldName() const;  // "" when the table has none
  bool HasShape() const { return shape_field_ >= 0; }
  std::string ShapeFieldName() const;  // "" when the table has none

  // The rows that pass the filter (every row for none), in object-ID order. A where
  // clause that does not parse, names an unknown field or mixes types fails with an
  // error that names the clause; a spatial filter on a table without shapes fails.
  Cursor Search(const QueryFilter* filter = nullptr);
  Cursor Search(const QueryFilter& filter) { return Search(&filter); }
  int64_t RowCount(const QueryFilter* filter = nullptr);
  int64_t RowCount(const QueryFilter& filter) { return RowCount(&filter); }
  // The object IDs that pass the filter, ascending.
  std::vector<int64_t> SearchOIDs(const QueryFilter* filter = nullptr);
  SelectionSet Select(const QueryFilter* filter = nullptr);
  SelectionSet Select(const QueryFilter& filter);
  // The row with that object ID, or nothing.
  std::optional<Row> GetRow(int64_t oid);
  // A cursor over those of the object IDs the table has, ascending, each once.
  Cursor GetRows(std::vector<int64_t> oids);

 protected:
  Table() = default;

  // Picks up changes of the data underneath (files rewritten by someone else).
  virtual void Refresh() {}
  // Object IDs lie in 0 to OidBound() - 1; some may be missing.
  virtual int64_t OidBound() const = 0;
  // The parts of the row with that object ID; false when there is none.
  virtual bool FetchParts(int64_t oid, detail::RowParts& parts) const = 0;
  // The object IDs (ascending) whose field equals key, from an index; nothing when the
  // field has no index, and the search then reads every row.
  virtual std::optional<std::vector<int64_t>> Lookup(int field, const detail::IndexKey& key);
  // The object IDs (ascending) whose shape's envelope meets box; nothing means every row.
  virtual std::optional<std::vector<int64_t>> SpatialCandidates(const Envelope& box);
  // Writes a row (new or changed); tables that cannot be written refuse.
  virtual void StoreRow(Row& row);
  // The name a where clause may put before a field name ("streets.NAME").
  virtual std::string Qualifier() const { return Name(); }
  virtual GeometryType RowShapeType() const { return GeometryType::Null; }
  // Changes whenever the rows or the fields change (a join rebuilds itself on it).
  virtual uint64_t Version() const { return 0; }

  Row MakeRow(int64_t oid, detail::RowParts parts);
  Row MakeNewRow(int64_t oid, std::shared_ptr<detail::Record> record);

  FieldSet fields_;
  std::vector<detail::Slot> slots_;  // one per field
  int oid_field_ = -1;
  int shape_field_ = -1;

 private:
  friend class Row;
  friend class Cursor;
  friend class SelectionSet;
  friend class JoinedTable;
  friend class ProjectedFeatureClass;
  friend class detail::Engine;
  std::vector<int64_t> MatchingOids(const QueryFilter* filter, const std::vector<int64_t>* within);
};

// A set of object IDs over one table: the features or rows a layer has selected.
// IDs are kept as given; searching the set skips IDs the table does not have.
class SelectionSet {
 public:
  explicit SelectionSet(std::shared_ptr<geodata::Table> table);

  std::shared_ptr<geodata::Table> Target() const { return table_; }
  int64_t Count() const { return int64_t(ids_.size()); }
  bool Contains(int64_t oid) const { return ids_.count(oid) != 0; }
  std::vector<int64_t> IDs() const { return {ids_.begin(), ids_.end()}; }  // ascending

  void Add(int64_t oid) { ids_.insert(oid); }
  void AddList(const std::vector<int64_t>& oids) { ids_.insert(oids.begin(), oids.end()); }
  void Remove(int64_t oid) { ids_.erase(oid); }
  void RemoveList(const std::vector<int64_t>& oids);
  void Clear() { ids_.clear(); }

  // The selected rows that pass the filter, in object-ID order.
  Cursor Search(const QueryFilter* filter = nullptr) const;
  Cursor Search(const QueryFilter& filter) const { return Search(&filter); }
  // The selected rows that pass the filter, as a new set over the same table.
  SelectionSet Select(const QueryFilter* filter) const;
  SelectionSet Select(const QueryFilter& filter) const { return Select(&filter); }

  // Set algebra with a set over the same table (another table fails with 5).
  void Union(const SelectionSet& other);
  void Intersect(const SelectionSet& other);
  void Subtract(const SelectionSet& other);

 private:
  void CheckSameTable(const SelectionSet& other) const;
  std::shared_ptr<geodata::Table> table_;
  std::set<int64_t> ids_;
};

// Parses a where clause and checks it against t's fields without running it; fails as
// a search with that clause would. A blank clause passes.
void CheckWhereClause(Table& t, const std::string& whereClause);

}  // namespace host::geodata
