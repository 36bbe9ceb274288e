// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The shapefile workspace: a folder of shapefiles (and of .dbf and .csv tables).
//
// Folders are given as the command gives them, Windows paths ("C:\Grids\") or native
// ones, and translated through the drive map. Names are matched without regard to case
// and may be given with or without their extension.

#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "host/geodata/feature_class.h"
#include "host/geodata/field.h"
#include "host/geodata/table.h"

namespace host::geodata {

struct CreateOptions {
  // The date the .dbf header records as its last update, "yyyy-mm-dd"; today when
  // empty. A fixed date makes the files the same bytes every time they are written.
  std::string dbfDate;
};

class ShapefileWorkspace : public std::enable_shared_from_this<ShapefileWorkspace> {
 public:
  // Path not found (76) when the folder does not exist.
  static std::shared_ptr<ShapefileWorkspace> Open(std::string_view folder);

  const std::string& PathName() const { return path_name_; }  // as given
  const std::filesystem::path& Folder() const { return folder_; }

  // Base names of the shapefiles in the folder, sorted without regard to case.
  std::vector<std::string> FeatureClassNames() const;
  // Base names (with extension) of the .dbf files without a shapefile and of the .csv files.
  std::vector<std::string> TableNames() const;
  bool FeatureClassExists(std::string_view name) const;

  // File not found (53) when there is no such shapefile.
  std::shared_ptr<FeatureClass> OpenFeatureClass(std::string_view name);
  // A table: "x.dbf" or "x.csv"; a name without extension is a shapefile's attribute
  // table (the feature class itself), then x.dbf, then x.csv.
  std::shared_ptr<Table> OpenTable(std::string_view name);

  // A new shapefile. fields must hold one geometry field (Field::Shape: point, multipoint,
  // polyline or polygon, and the coordinate system; unknown writes no .prj); object-ID
  // fields are left out (the shapefile's own record number is the object ID); the other
  // fields become the .dbf's columns in order with their names, types and lengths.
  // Refused, with nothing written, when a shapefile of that name exists (File already
  // exists, 58: delete the old set first) and for names a .dbf cannot hold (at most 10
  // characters, each name once).
  std::shared_ptr<FeatureClass> CreateFeatureClass(std::string_view name, const FieldSet& fields,
                                                   const CreateOptions& options = {});
  // Deletes the shapefile's files (.shp .shx .dbf .prj .cpg .sbn .sbx .qix); File not
  // found (53) when there is no .shp.
  void DeleteFeatureClass(std::string_view name);

  // Forgets the in-memory copies of files that no open table uses (the next open reads
  // the files again).
  static void ClearCache();

 private:
  ShapefileWorkspace(std::string pathName, std::filesystem::path folder);
  std::filesystem::path Find(std::string_view base, std::string_view ext) const;

  std::string path_name_;
  std::filesystem::path folder_;
};

// The factory the command makes to open a shapefile workspace on a folder.
class ShapefileWorkspaceFactory {
 public:
  std::shared_ptr<ShapefileWorkspace> OpenFromFile(std::string_view folder) const {
    return ShapefileWorkspace::Open(folder);
  }
  bool IsWorkspace(std::string_view folder) const;
};

}  // namespace host::geodata
