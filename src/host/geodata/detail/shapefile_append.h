// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A new shapefile that is only added to, kept in memory and laid out byte for byte as
// OGR's shapefile driver lays it out.
//
// OGR makes the empty files (headers, field descriptors, .prj, .cpg); rows are then
// appended here, at a fraction of the driver's cost. A row this writer cannot lay out
// exactly as the driver would (a shape of another kind, a curve, a measure, a value a
// field cannot hold as it is) is refused untouched, and the files are handed back to OGR.

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "host/geodata/detail/record.h"
#include "host/geodata/geometry.h"

namespace host::geodata::detail {

class ShapefileAppender {
 public:
  // Whether a new class of that shape kind and those fields' OGR types is written here.
  static bool Writes(GeometryType type, const std::vector<int>& ogrTypes);
  // Takes over the empty files OGR made at memory (a /vsimem path of a .shp); null when
  // their shape kind or fields are not ones written here. ogrTypes are the fields' OGR types.
  static std::unique_ptr<ShapefileAppender> Take(const std::filesystem::path& memory, const std::vector<int>& ogrTypes);

  // Appends a row; false, with nothing written, when it cannot be laid out here.
  bool Add(const Record& rec);
  // Appends a row without a shape whose fields are all missing.
  void AddEmpty();

  // Each file's extension and bytes, as they stand now.
  std::vector<std::pair<std::string, std::string_view>> Files();

 private:
  struct DbfField {
    char type;
    int width;
    bool int32;  // an OGR integer field, which holds only 32-bit values
  };
  ShapefileAppender() = default;
  bool Shape(const OGRGeometry* g);
  bool Row(const Record& rec);
  void Expand(double x, double y);

  int shp_type_ = 0;
  std::string shp_, shx_, dbf_;
  std::vector<std::pair<std::string, std::string>> others_;  // .prj, .cpg as OGR wrote them
  std::vector<DbfField> fields_;
  size_t dbf_header_ = 0, dbf_record_ = 0;
  bool dbf_eof_ = false;
  int64_t records_ = 0;
  double bounds_[4] = {0, 0, 0, 0};  // x, y minimum, x, y maximum
  // The row being laid out, before it is known to fit.
  std::string shape_, row_;
  std::vector<double> xy_;
  std::vector<int32_t> parts_;
};

}  // namespace host::geodata::detail
