// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// A feature class: the features of one shapefile.
//
// Fields: "FID" (the object ID, type 6: the record number from 0), "Shape" (type 7),
// then the attribute fields in file order. The whole file is held in memory once it is
// opened, shared by every feature class over the same file, and read again when the
// files change on disk. Get one from a ShapefileWorkspace (workspace.h).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "host/geodata/table.h"

namespace host::geodata {

namespace detail {
class Store;
}
class ShapefileWorkspace;

class FeatureClass : public Table {
 public:
  ~FeatureClass() override;

  // The file's base name ("streets" for streets.shp), as the file is named on disk.
  std::string Name() const override;
  // For a shapefile the alias is the base name too.
  std::string AliasName() const override { return Name(); }
  // The .shp file and its folder.
  const std::filesystem::path& Path() const;
  std::filesystem::path FolderPath() const { return Path().parent_path(); }

  GeometryType ShapeType() const;
  // Unknown when the shapefile has no .prj.
  SpatialReference SpatialRef() const;

  int64_t FeatureCount(const QueryFilter* filter = nullptr) { return RowCount(filter); }
  int64_t FeatureCount(const QueryFilter& filter) { return RowCount(&filter); }
  // The envelope of every shape (empty when there is none).
  Envelope Extent();
  std::optional<Feature> GetFeature(int64_t oid) { return GetRow(oid); }

  // A new feature with the next object ID (given now, before it is stored) and every
  // value Null (texts empty); Store adds it to the shapefile.
  Feature CreateFeature();
  // Brings the files on disk up to date with every feature stored so far. This also
  // happens when the last FeatureClass object over the file goes away.
  void Flush();

 protected:
  void Refresh() override;
  int64_t OidBound() const override;
  bool FetchParts(int64_t oid, detail::RowParts& parts) const override;
  std::optional<std::vector<int64_t>> Lookup(int field, const detail::IndexKey& key) override;
  std::optional<std::vector<int64_t>> SpatialCandidates(const Envelope& box) override;
  void StoreRow(Row& row) override;
  GeometryType RowShapeType() const override { return ShapeType(); }
  uint64_t Version() const override;

 private:
  friend class ShapefileWorkspace;
  explicit FeatureClass(std::shared_ptr<detail::Store> store);
  void Rebuild();

  std::shared_ptr<detail::Store> store_;
  uint64_t layout_ = 0;
};

}  // namespace host::geodata
