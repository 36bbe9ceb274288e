// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The in-memory copy of one file of vector data (a shapefile, a .dbf or a .csv).
//
// A file is read through OGR once, whole, when it is first opened; every table over it
// shares that copy, which is read again only when the files change on disk. Value and
// spatial indexes are built on first use and dropped when the rows change. Shapefiles
// are written as rows are stored (a new one in memory, put on disk whole): a new one
// that is only added to by a writer of our own, anything else through OGR. The files
// are brought up to date on Flush and when the last feature class over them goes away.
// The rows of a file being written are the ones kept here: readers see them, not the files.

#include <gdal_priv.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "host/geodata/detail/record.h"
#include "host/geodata/detail/rtree.h"
#include "host/geodata/detail/shapefile_append.h"
#include "host/geodata/field.h"

class OGRFeatureDefn;
class OGRLayer;

namespace host::geodata::detail {

class Store {
 public:
  enum class Kind { Shapefile, Dbf, Csv };

  // The shared copy of file, read now or taken from the cache (and refreshed).
  static std::shared_ptr<Store> Open(const std::filesystem::path& file, Kind kind);
  // A new, empty shapefile with these attribute fields. The caller has checked that no
  // file of that name exists; on failure nothing is left behind.
  static std::shared_ptr<Store> Create(const std::filesystem::path& shp, const FieldSet& attrs, GeometryType type,
                                       const SpatialReference& sr, const std::string& dbfDate);
  // Closes any writer on file (before its files are deleted).
  static void Forget(const std::filesystem::path& file);
  // Drops cached copies that no table uses.
  static void ClearUnused();
  // Whether this process is writing file: its rows are then the ones in memory, and
  // the files on disk are only whole again at the writer's next flush.
  static bool BeingWritten(const std::filesystem::path& file);
  // Whether a .dbf holds as many records as its header says.
  static bool AttributeTableIsWhole(const std::filesystem::path& dbf);
  // Whether a .shx holds as many bytes as its header says.
  static bool ShapeIndexIsWhole(const std::filesystem::path& shx);

  ~Store();
  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

  Kind kind() const { return kind_; }
  const std::filesystem::path& file() const { return file_; }
  std::string name() const { return file_.stem().string(); }
  const FieldSet& attrs() const { return attrs_; }
  GeometryType shapeType() const { return shape_type_; }
  const SpatialReference& spatialRef() const { return sr_; }
  // Changes when the fields may have changed (the file was read again).
  uint64_t layout() const { return layout_; }
  // Changes whenever anything changes.
  uint64_t generation() const { return generation_; }

  int64_t bound() const { return int64_t(records_.size()); }
  const std::shared_ptr<const Record>& at(int64_t oid) const;

  // Reads the files again when they changed on disk since they were read or written.
  void Refresh();
  std::optional<std::vector<int64_t>> Lookup(int attr, const IndexKey& key);
  std::vector<int64_t> SpatialCandidates(const Envelope& box);
  Envelope Extent();

  // The object ID a new row gets.
  int64_t ReserveOid();
  // Writes a new or changed row and keeps it as the file will give it back
  // (texts without trailing blanks, numbers to the field's decimals, dates without a
  // time); returns the row as kept: rec itself when the file gives it back unchanged
  // (the caller must not change it afterwards), else a copy.
  std::shared_ptr<const Record> Write(std::shared_ptr<const Record> rec);
  // Brings the files on disk up to date.
  void Flush();
  // Tables over this copy: the writer is closed when the last one goes.
  void Retain() { ++handles_; }
  void Release();

 private:
  struct Stamp {
    int64_t size = -1, mtime = -1;
    bool operator==(const Stamp&) const = default;
  };
  struct ValueIndex {
    std::unordered_map<std::string, std::vector<int64_t>> text;
    std::unordered_map<double, std::vector<int64_t>> num;
  };

  Store(std::filesystem::path file, Kind kind);
  void Load();
  void ResolveCompanions();
  std::vector<Stamp> Stamps() const;
  // Puts the files of the shapefile written in memory at memory beside file_ under its
  // name, each in one write; a file that holds those bytes already is left alone. False
  // with the reason when one cannot be written.
  bool CopyStaged(const std::filesystem::path& memory, std::string& why);
  // Puts these files (extension and bytes) beside file_ under its name, as CopyStaged.
  bool PutFiles(const std::vector<std::pair<std::string, std::string_view>>& files, std::string& why);
  // Whether rows are being written, by OGR or by the appender.
  bool Writing() const { return writer_ || append_; }
  // Gives the files the appender holds to OGR, which writes what it cannot.
  void HandOver();
  void EnsureWriter();
  void CloseWriter();
  void Changed();
  void ReadFields(const OGRFeatureDefn& fields);
  void Reset();

  Kind kind_;
  std::filesystem::path file_;
  std::vector<std::filesystem::path> companions_;  // the files whose change means a reload
  std::vector<Stamp> stamps_;

  FieldSet attrs_;
  std::vector<int> ogr_types_;  // each attribute's OGRFieldType
  GeometryType shape_type_ = GeometryType::Null;
  SpatialReference sr_;
  std::vector<std::shared_ptr<const Record>> records_;
  uint64_t layout_ = 0;
  uint64_t generation_ = 0;

  std::unordered_map<int, ValueIndex> indexes_;
  std::unique_ptr<RTree> rtree_;
  std::optional<Envelope> extent_;

  GDALDatasetUniquePtr writer_;
  OGRLayer* writer_layer_ = nullptr;
  std::unique_ptr<OGRFeature> feature_;  // reused for every row written
  std::filesystem::path staged_;  // where a new shapefile is written in memory, until its writer closes
  // A new shapefile while it is only added to; OGR's writer_ takes over from it.
  std::unique_ptr<ShapefileAppender> append_;
  std::string dbf_date_;  // the .dbf's date of last update, when one was asked for
  int64_t next_fid_ = 0;
  int64_t reserved_ = 0;
  bool dirty_ = false;
  int handles_ = 0;
};

}  // namespace host::geodata::detail
