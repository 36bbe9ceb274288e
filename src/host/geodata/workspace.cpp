// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/workspace.h"

#include <algorithm>
#include <fstream>
#include <map>
#include <set>
#include <system_error>

#include "host/geodata/detail/gdal.h"
#include "host/geodata/detail/record.h"
#include "host/geodata/detail/store.h"
#include "host/vb/error.h"
#include "host/vb/text.h"
#include "host/win/drives.h"

namespace host::geodata {

namespace fs = std::filesystem;

namespace {

// A .dbf or .csv table: "OID" (the record number from 0), then the file's columns.
class PlainTable : public Table {
 public:
  explicit PlainTable(std::shared_ptr<detail::Store> store) : store_(std::move(store)) {
    store_->Retain();
    Rebuild();
  }
  ~PlainTable() override { store_->Release(); }

  std::string Name() const override { return store_->name(); }

 protected:
  void Refresh() override {
    store_->Refresh();
    if (layout_ != store_->layout()) Rebuild();
  }
  int64_t OidBound() const override { return store_->bound(); }
  bool FetchParts(int64_t oid, detail::RowParts& parts) const override {
    const auto& rec = store_->at(oid);
    if (!rec) return false;
    parts.part[0] = rec;
    parts.part[1].reset();
    return true;
  }
  std::optional<std::vector<int64_t>> Lookup(int field, const detail::IndexKey& key) override {
    if (field < 0 || size_t(field) >= slots_.size() || slots_[size_t(field)].kind != detail::Slot::Kind::Attr) {
      return std::nullopt;
    }
    return store_->Lookup(slots_[size_t(field)].attr, key);
  }
  uint64_t Version() const override { return store_->generation(); }

 private:
  void Rebuild() {
    fields_ = FieldSet();
    slots_.clear();
    fields_.AddField(Field("OID", FieldType::OID));
    slots_.push_back({detail::Slot::Kind::Oid, 0, 0});
    int k = 0;
    for (const Field& f : store_->attrs()) {
      fields_.AddField(f);
      slots_.push_back({detail::Slot::Kind::Attr, 0, k++});
    }
    oid_field_ = 0;
    shape_field_ = -1;
    layout_ = store_->layout();
  }

  std::shared_ptr<detail::Store> store_;
  uint64_t layout_ = 0;
};

// One FeatureClass object per shapefile while anyone holds one, so that a class opened
// twice is the same object.
std::map<std::string, std::weak_ptr<FeatureClass>>& LiveClasses() {
  static std::map<std::string, std::weak_ptr<FeatureClass>> live;
  return live;
}

std::string ClassKey(const fs::path& shp) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(shp, ec);
  return (ec ? shp : p).string();
}

bool HasExtension(std::string_view name, std::string_view ext) {
  return name.size() > ext.size() && vb::SameText(name.substr(name.size() - ext.size()), ext);
}

std::string WithoutExtension(std::string_view name, std::string_view ext) {
  return std::string(HasExtension(name, ext) ? name.substr(0, name.size() - ext.size()) : name);
}

void CheckName(std::string_view name) {
  bool bad = vb::Trim(name).empty();
  for (char c : name) {
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos) {
      bad = true;
    }
  }
  if (bad) vb::raise(vb::err::BadFileNameOrNumber, "Not a valid shapefile name: \"" + std::string(name) + "\"");
}

// Whether a dBASE file's header is whole and its records are all there. The shapefile
// reader opens a shapefile without its table, or with a table cut short, as one without
// attributes: every query on it would then find nothing and say nothing.

}  // namespace

// ---- workspace ----

ShapefileWorkspace::ShapefileWorkspace(std::string pathName, fs::path folder)
    : path_name_(std::move(pathName)), folder_(std::move(folder)) {}

std::shared_ptr<ShapefileWorkspace> ShapefileWorkspace::Open(std::string_view folder) {
  fs::path native = host::win::NativePath(folder);
  std::error_code ec;
  if (vb::Trim(folder).empty() || !fs::is_directory(native, ec)) {
    vb::raise(vb::err::PathNotFound, "Path not found: \"" + std::string(folder) + "\"");
  }
  return std::shared_ptr<ShapefileWorkspace>(new ShapefileWorkspace(std::string(folder), native));
}

fs::path ShapefileWorkspace::Find(std::string_view base, std::string_view ext) const {
  fs::path exact = folder_ / (std::string(base) + std::string(ext));
  std::error_code ec;
  if (fs::is_regular_file(exact, ec)) return exact;
  std::string want = std::string(base) + std::string(ext);
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    if (entry.is_regular_file(ec) && vb::SameText(entry.path().filename().string(), want)) return entry.path();
  }
  return {};
}

std::vector<std::string> ShapefileWorkspace::FeatureClassNames() const {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    std::string n = entry.path().filename().string();
    if (entry.is_regular_file(ec) && HasExtension(n, ".shp")) out.push_back(WithoutExtension(n, ".shp"));
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return vb::CompareText(a, b) < 0; });
  return out;
}

std::vector<std::string> ShapefileWorkspace::TableNames() const {
  std::vector<std::string> out;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator(folder_, ec)) {
    std::string n = entry.path().filename().string();
    if (!entry.is_regular_file(ec)) continue;
    if (HasExtension(n, ".csv") || (HasExtension(n, ".dbf") && Find(WithoutExtension(n, ".dbf"), ".shp").empty())) {
      out.push_back(n);
    }
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) { return vb::CompareText(a, b) < 0; });
  return out;
}

bool ShapefileWorkspace::FeatureClassExists(std::string_view name) const {
  return !Find(WithoutExtension(name, ".shp"), ".shp").empty();
}

std::shared_ptr<FeatureClass> ShapefileWorkspace::OpenFeatureClass(std::string_view name) {
  std::string base = WithoutExtension(name, ".shp");
  CheckName(base);
  fs::path shp = Find(base, ".shp");
  if (shp.empty()) {
    vb::raise(vb::err::FileNotFound, "Shapefile \"" + base + "\" not found in \"" + path_name_ + "\"");
  }
  std::string key = ClassKey(shp);
  auto& live = LiveClasses();
  if (auto fc = live[key].lock()) return fc;
  const fs::path dbf = Find(shp.stem().string(), ".dbf");
  if (dbf.empty()) {
    vb::raise(vb::err::FileNotFound, "Shapefile \"" + base + "\" has no attribute table: \"" + shp.stem().string() +
                                         ".dbf\" not found in \"" + path_name_ + "\"");
  }
  if (!detail::Store::BeingWritten(shp) && !detail::Store::AttributeTableIsWhole(dbf)) {
    vb::raise(vb::err::HostFailure, "Shapefile \"" + base + "\" cannot be read: its attribute table \"" +
                                        dbf.filename().string() + "\" is damaged or cut short");
  }
  const fs::path shx = Find(shp.stem().string(), ".shx");
  if (!shx.empty() && !detail::Store::BeingWritten(shp) && !detail::Store::ShapeIndexIsWhole(shx)) {
    vb::raise(vb::err::HostFailure, "Shapefile \"" + base + "\" cannot be read: its index \"" +
                                        shx.filename().string() + "\" is damaged or cut short");
  }
  std::shared_ptr<FeatureClass> fc(new FeatureClass(detail::Store::Open(shp, detail::Store::Kind::Shapefile)));
  live[key] = fc;
  return fc;
}

std::shared_ptr<Table> ShapefileWorkspace::OpenTable(std::string_view name) {
  CheckName(name);
  if (HasExtension(name, ".dbf") || HasExtension(name, ".csv")) {
    bool csv = HasExtension(name, ".csv");
    std::string ext = csv ? ".csv" : ".dbf";
    fs::path file = Find(WithoutExtension(name, ext), ext);
    if (file.empty()) {
      vb::raise(vb::err::FileNotFound, "Table \"" + std::string(name) + "\" not found in \"" + path_name_ + "\"");
    }
    return std::make_shared<PlainTable>(
        detail::Store::Open(file, csv ? detail::Store::Kind::Csv : detail::Store::Kind::Dbf));
  }
  if (FeatureClassExists(name)) return OpenFeatureClass(name);
  for (const char* ext : {".dbf", ".csv"}) {
    if (!Find(name, ext).empty()) return OpenTable(std::string(name) + ext);
  }
  vb::raise(vb::err::FileNotFound, "Table \"" + std::string(name) + "\" not found in \"" + path_name_ + "\"");
}

std::shared_ptr<FeatureClass> ShapefileWorkspace::CreateFeatureClass(std::string_view name, const FieldSet& fields,
                                                                     const CreateOptions& options) {
  std::string base = WithoutExtension(name, ".shp");
  CheckName(base);
  auto refuse = [&](const std::string& why) {
    vb::raise(vb::err::HostFailure, "Cannot create shapefile \"" + base + "\": " + why);
  };

  const Field* shape = nullptr;
  FieldSet attrs;
  std::set<std::string> seen{"FID", "SHAPE"};
  for (const Field& f : fields) {
    if (f.Type() == FieldType::OID) continue;
    if (f.Type() == FieldType::Geometry) {
      if (shape) refuse("it has more than one shape field");
      if (f.ShapeType() == GeometryType::Null) refuse("the shape field has no geometry type");
      shape = &f;
      continue;
    }
    if (f.Name().empty()) refuse("a field has no name");
    if (f.Name().size() > 10) refuse("the field name \"" + f.Name() + "\" is longer than 10 characters");
    if (!seen.insert(vb::UCase(f.Name())).second) refuse("the field name \"" + f.Name() + "\" is used twice");
    if (f.Length() > 254 || f.Length() < 0) refuse("the field \"" + f.Name() + "\" cannot be " + std::to_string(f.Length()) + " long");
    attrs.AddField(f);
  }
  if (!shape) refuse("it has no shape field");
  if (attrs.FieldCount() == 0) {
    // A .dbf needs a column; "Id" is the one shapefiles are usually given.
    attrs.AddField(Field("Id", FieldType::Integer, 6));
  }

  for (const char* ext : {".shp", ".shx", ".dbf", ".prj"}) {
    fs::path existing = Find(base, ext);
    if (!existing.empty()) {
      vb::raise(vb::err::FileAlreadyExists,
                "File already exists: \"" + existing.filename().string() + "\" in \"" + path_name_ + "\"");
    }
  }

  fs::path shp = folder_ / (base + ".shp");
  auto store = detail::Store::Create(shp, attrs, shape->ShapeType(), shape->SpatialRef(), options.dbfDate);
  std::shared_ptr<FeatureClass> fc(new FeatureClass(store));
  LiveClasses()[ClassKey(shp)] = fc;
  return fc;
}

void ShapefileWorkspace::DeleteFeatureClass(std::string_view name) {
  std::string base = WithoutExtension(name, ".shp");
  CheckName(base);
  fs::path shp = Find(base, ".shp");
  if (shp.empty()) vb::raise(vb::err::FileNotFound, "Shapefile \"" + base + "\" not found in \"" + path_name_ + "\"");
  detail::Store::Forget(shp);
  LiveClasses().erase(ClassKey(shp));
  std::string stem = shp.stem().string();
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg", ".sbn", ".sbx", ".qix"}) {
    fs::path p = Find(stem, ext);
    std::error_code ec;
    if (!p.empty() && !fs::remove(p, ec) && ec) {
      vb::raise(vb::err::PermissionDenied, "Cannot delete \"" + p.string() + "\": " + ec.message());
    }
  }
}

void ShapefileWorkspace::ClearCache() {
  auto& live = LiveClasses();
  for (auto it = live.begin(); it != live.end();) it = it->second.expired() ? live.erase(it) : std::next(it);
  detail::Store::ClearUnused();
}

bool ShapefileWorkspaceFactory::IsWorkspace(std::string_view folder) const {
  std::error_code ec;
  return !vb::Trim(folder).empty() && fs::is_directory(host::win::NativePath(folder), ec);
}

}  // namespace host::geodata
