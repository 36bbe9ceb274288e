// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/detail/store.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <ogrsf_frmts.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string_view>
#include <system_error>

#include "host/geodata/detail/gdal.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::geodata::detail {

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::shared_ptr<Store>>& Cache() {
  static std::map<std::string, std::shared_ptr<Store>> cache;
  return cache;
}

std::string Key(const fs::path& file) {
  std::error_code ec;
  fs::path p = fs::weakly_canonical(file, ec);
  return (ec ? file : p).string();
}

std::string WithMessage(std::string text) {
  std::string msg = QuietGdal::LastMessage();
  if (!msg.empty()) text += ": " + msg;
  return text;
}

// A companion file of a shapefile ("grid.dbf" beside "grid.shp"), found without regard
// to case; the expected name when there is none yet.
fs::path Companion(const fs::path& file, const std::string& ext) {
  fs::path exact = file;
  exact.replace_extension(ext);
  std::error_code ec;
  if (fs::exists(exact, ec)) return exact;
  fs::path upper = file;
  upper.replace_extension(vb::UCase(ext));
  if (fs::exists(upper, ec)) return upper;
  std::string want = file.stem().string() + ext;
  for (const auto& entry : fs::directory_iterator(file.parent_path(), ec)) {
    if (vb::SameText(entry.path().filename().string(), want)) return entry.path();
  }
  return exact;
}

FieldType TypeFromOgr(const OGRFieldDefn& d) {
  switch (d.GetType()) {
    case OFTInteger:
      // A DBF keeps no 16-bit marker: a short number column reads as a small integer.
      if (d.GetSubType() == OFSTBoolean || d.GetSubType() == OFSTInt16) return FieldType::SmallInteger;
      return d.GetWidth() > 0 && d.GetWidth() <= 5 ? FieldType::SmallInteger : FieldType::Integer;
    case OFTInteger64: return FieldType::Integer;
    case OFTReal: return d.GetSubType() == OFSTFloat32 ? FieldType::Single : FieldType::Double;
    case OFTDate:
    case OFTDateTime: return FieldType::Date;
    default: return FieldType::String;
  }
}

bool IsUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80) {
      ++i;
      continue;
    }
    const size_t len = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (len == 0 || i + len > s.size()) return false;
    uint32_t cp = c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
      const unsigned char t = static_cast<unsigned char>(s[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = cp << 6 | (t & 0x3F);
    }
    // Overlong forms, surrogates and code points past the last one.
    if ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (len == 4 && (cp < 0x10000 || cp > 0x10FFFF))) {
      return false;
    }
    i += len;
  }
  return true;
}

// A file that names no code page gives its texts as they are stored. Whatever reads as
// UTF-8 is taken as such; anything else was most likely written in Windows-1252, the
// code page of the desktops shapefiles come from, and is read so: every text the host
// holds is UTF-8, and a byte that is not would reach a label, a PDF or an SVG as is.
std::string TextFromFile(std::string_view s) {
  if (IsUtf8(s)) return std::string(s);
  // 0x80 to 0x9F; the five bytes the code page leaves out stand for themselves.
  static constexpr char16_t kHigh[32] = {0x20AC, 0x81,   0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                         0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x8D,   0x017D, 0x8F,
                                         0x90,   0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                         0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x9D,   0x017E, 0x0178};
  std::string out;
  out.reserve(s.size() * 2);
  for (char ch : s) {
    const unsigned char c = static_cast<unsigned char>(ch);
    const char32_t cp = c >= 0x80 && c <= 0x9F ? kHigh[c - 0x80] : c;
    if (cp < 0x80) {
      out += char(cp);
    } else if (cp < 0x800) {
      out += char(0xC0 | cp >> 6);
      out += char(0x80 | (cp & 0x3F));
    } else {
      out += char(0xE0 | cp >> 12);
      out += char(0x80 | (cp >> 6 & 0x3F));
      out += char(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

vb::Variant ReadValue(OGRFeature& f, int k, int ogrType, FieldType type) {
  if (!f.IsFieldSetAndNotNull(k)) {
    // A DBF cannot tell an empty text from a missing one; an empty text is what was meant.
    return type == FieldType::String ? vb::Variant(std::string()) : vb::Variant::Null();
  }
  switch (ogrType) {
    case OFTInteger:
    case OFTInteger64: return vb::Variant(int64_t(f.GetFieldAsInteger64(k)));
    case OFTReal: return vb::Variant(f.GetFieldAsDouble(k));
    case OFTDate:
    case OFTDateTime: {
      int y = 0, m = 0, d = 0, h = 0, mi = 0, tz = 0;
      float s = 0;
      f.GetFieldAsDateTime(k, &y, &m, &d, &h, &mi, &s, &tz);
      if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1 || d > 31) return vb::Variant::Null();
      vb::DateParts p{y, m, d, h, mi, int(s)};
      return vb::Variant(vb::DateValue{vb::DateSerial(p)});
    }
    default: return vb::Variant(TextFromFile(f.GetFieldAsString(k)));
  }
}

std::unique_ptr<OGRFieldDefn> OgrField(const Field& f) {
  int len = f.Length();
  int prec = f.Precision();
  switch (f.Type()) {
    case FieldType::SmallInteger: {
      auto d = std::make_unique<OGRFieldDefn>(f.Name().c_str(), OFTInteger);
      d->SetWidth(len > 0 ? len : 5);
      return d;
    }
    case FieldType::Integer: {
      auto d = std::make_unique<OGRFieldDefn>(f.Name().c_str(), OFTInteger);
      d->SetWidth(len > 0 ? len : 9);
      return d;
    }
    case FieldType::Single:
    case FieldType::Double: {
      auto d = std::make_unique<OGRFieldDefn>(f.Name().c_str(), OFTReal);
      int width = len > 0 ? len : (f.Type() == FieldType::Single ? 13 : 19);
      int fit = f.Type() == FieldType::Single ? 6 : 11;
      d->SetWidth(width);
      d->SetPrecision(prec >= 0 ? prec : std::clamp(width - 3, 0, fit));
      return d;
    }
    case FieldType::Date: return std::make_unique<OGRFieldDefn>(f.Name().c_str(), OFTDate);
    default: {
      auto d = std::make_unique<OGRFieldDefn>(f.Name().c_str(), OFTString);
      d->SetWidth(len > 0 ? len : 50);
      return d;
    }
  }
}

OGRwkbGeometryType OgrGeometryType(GeometryType t) {
  switch (t) {
    case GeometryType::Point: return wkbPoint;
    case GeometryType::Multipoint: return wkbMultiPoint;
    case GeometryType::Polyline: return wkbLineString;
    case GeometryType::Polygon: return wkbPolygon;
    case GeometryType::Null: break;
  }
  return wkbNone;
}

GeometryType FromOgrGeometryType(OGRwkbGeometryType t) {
  switch (wkbFlatten(t)) {
    case wkbPoint: return GeometryType::Point;
    case wkbMultiPoint: return GeometryType::Multipoint;
    case wkbLineString:
    case wkbMultiLineString: return GeometryType::Polyline;
    case wkbPolygon:
    case wkbMultiPolygon: return GeometryType::Polygon;
    default: return GeometryType::Null;
  }
}

void RemoveShapefileFiles(const fs::path& shp) {
  std::error_code ec;
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
    fs::path p = shp;
    p.replace_extension(ext);
    fs::remove(p, ec);
  }
}
// Whether the file at path holds exactly these bytes.
bool HoldsBytes(const fs::path& path, const GByte* bytes, size_t size) {
  std::error_code ec;
  if (fs::file_size(path, ec) != size || ec) return false;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> chunk(size_t(1) << 16);
  for (size_t at = 0; at < size;) {
    const size_t n = std::min(chunk.size(), size - at);
    if (!in.read(chunk.data(), std::streamsize(n)) || std::memcmp(chunk.data(), bytes + at, n) != 0) return false;
    at += n;
  }
  return true;
}

}  // namespace

// ---- cache ----

std::shared_ptr<Store> Store::Open(const fs::path& file, Kind kind) {
  auto& cache = Cache();
  std::string key = Key(file);
  auto it = cache.find(key);
  if (it != cache.end() && it->second->kind_ == kind) {
    it->second->Refresh();
    return it->second;
  }
  std::shared_ptr<Store> s(new Store(file, kind));
  s->Load();
  cache[key] = s;
  return s;
}

void Store::Forget(const fs::path& file) {
  // The copy stays cached: tables that still hold it keep their rows, and a set made
  // again under the same name reuses it (Create), so they see the new set.
  auto& cache = Cache();
  auto it = cache.find(Key(file));
  if (it != cache.end()) it->second->CloseWriter();
}

bool Store::BeingWritten(const fs::path& file) {
  auto& cache = Cache();
  auto it = cache.find(Key(file));
  return it != cache.end() && it->second->Writing();
}

bool Store::AttributeTableIsWhole(const fs::path& dbf) {
  std::ifstream in(dbf, std::ios::binary);
  unsigned char h[32];
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
  const uint64_t records = uint64_t(h[4]) | uint64_t(h[5]) << 8 | uint64_t(h[6]) << 16 | uint64_t(h[7]) << 24;
  const uint64_t header = uint64_t(h[8]) | uint64_t(h[9]) << 8;
  const uint64_t record = uint64_t(h[10]) | uint64_t(h[11]) << 8;
  std::error_code ec;
  const uint64_t size = fs::file_size(dbf, ec);
  // A header holds 32 bytes, a descriptor of 32 for each field and a terminator.
  if (ec || header < 33 || record < 1) return false;
  return size >= header + records * record;
}

bool Store::ShapeIndexIsWhole(const fs::path& shx) {
  std::ifstream in(shx, std::ios::binary);
  unsigned char h[100];
  if (!in.read(reinterpret_cast<char*>(h), sizeof h)) return false;
  // The file's length in 16-bit words, big-endian. GDAL sizes its tables of records by
  // it before it reads them, so a claim of gigabytes would cost gigabytes first.
  const uint64_t words = uint64_t(h[24]) << 24 | uint64_t(h[25]) << 16 | uint64_t(h[26]) << 8 | uint64_t(h[27]);
  std::error_code ec;
  const uint64_t size = fs::file_size(shx, ec);
  return !ec && words * 2 >= sizeof h && words * 2 <= size;
}

void Store::ClearUnused() {
  auto& cache = Cache();
  for (auto it = cache.begin(); it != cache.end();) {
    if (it->second.use_count() == 1) {
      it = cache.erase(it);
    } else {
      ++it;
    }
  }
}

Store::Store(fs::path file, Kind kind) : kind_(kind), file_(std::move(file)) {}

Store::~Store() { CloseWriter(); }

const std::shared_ptr<const Record>& Store::at(int64_t oid) const {
  static const std::shared_ptr<const Record> none;
  if (oid < 0 || oid >= bound()) return none;
  return records_[size_t(oid)];
}

// ---- reading ----

void Store::ReadFields(const OGRFeatureDefn& fields) {
  attrs_ = FieldSet();
  ogr_types_.clear();
  const OGRFeatureDefn* defn = &fields;
  for (int i = 0; i < defn->GetFieldCount(); ++i) {
    const OGRFieldDefn* d = defn->GetFieldDefn(i);
    FieldType type = TypeFromOgr(*d);
    int length = type == FieldType::Date ? 8 : d->GetWidth();
    attrs_.AddField(Field(TextFromFile(d->GetNameRef()), type, length, type == FieldType::Double || type == FieldType::Single
                                                             ? d->GetPrecision()
                                                             : 0));
    ogr_types_.push_back(d->GetType());
  }
}

void Store::Load() {
  QuietGdal quiet;
  static const char* const shp_drivers[] = {"ESRI Shapefile", nullptr};
  static const char* const csv_drivers[] = {"CSV", nullptr};
  static const char* const csv_options[] = {"AUTODETECT_TYPE=YES", nullptr};
  bool csv = kind_ == Kind::Csv;
  GDALDatasetUniquePtr ds(GDALDataset::Open(file_.c_str(), GDAL_OF_VECTOR | GDAL_OF_READONLY,
                                            csv ? csv_drivers : shp_drivers, csv ? csv_options : nullptr, nullptr));
  if (!ds || ds->GetLayerCount() < 1) {
    vb::raise(vb::err::HostFailure, WithMessage("Cannot read \"" + file_.string() + "\""));
  }
  OGRLayer* layer = ds->GetLayer(0);
  ReadFields(*layer->GetLayerDefn());
  shape_type_ = kind_ == Kind::Shapefile ? FromOgrGeometryType(layer->GetGeomType()) : GeometryType::Null;
  const OGRSpatialReference* ref = kind_ == Kind::Shapefile ? layer->GetSpatialRef() : nullptr;
  sr_ = ref ? SpatialReference(*ref) : SpatialReference();

  std::vector<std::shared_ptr<const Record>> records;
  size_t n = size_t(attrs_.FieldCount());
  int64_t seq = 0;
  layer->ResetReading();
  CPLErrorReset();
  for (OGRFeatureUniquePtr f(layer->GetNextFeature()); f; f.reset(layer->GetNextFeature())) {
    auto r = std::make_shared<Record>();
    r->oid = csv ? seq++ : int64_t(f->GetFID());
    r->values.reserve(n);
    for (size_t k = 0; k < n; ++k) {
      r->values.push_back(ReadValue(*f, int(k), ogr_types_[k], attrs_.Field(int(k)).Type()));
    }
    if (kind_ == Kind::Shapefile) r->shape = Geometry::Adopt(f->StealGeometry());
    if (r->oid < 0) continue;
    if (size_t(r->oid) >= records.size()) records.resize(size_t(r->oid) + 1);
    records[size_t(r->oid)] = std::move(r);
  }
  if (CPLGetLastErrorType() == CE_Failure) {
    vb::raise(vb::err::HostFailure, WithMessage("Cannot read \"" + file_.string() + "\""));
  }
  records_ = std::move(records);
  reserved_ = bound();
  ResolveCompanions();
  stamps_ = Stamps();
  ++layout_;
  Changed();
}

void Store::ResolveCompanions() {
  companions_ = {file_};
  if (kind_ == Kind::Shapefile) {
    for (const char* ext : {".shx", ".dbf", ".prj"}) companions_.push_back(Companion(file_, ext));
  }
}

std::vector<Store::Stamp> Store::Stamps() const {
  std::vector<Stamp> out;
  for (const fs::path& p : companions_) {
    struct stat st {};
    Stamp s;
    if (::stat(p.c_str(), &st) == 0) {
      s.size = int64_t(st.st_size);
      s.mtime = int64_t(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    }
    out.push_back(s);
  }
  return out;
}

void Store::Refresh() {
  if (Writing()) return;  // we are the ones changing the files
  std::vector<Stamp> now = Stamps();
  if (now == stamps_) return;
  if (now.front().size < 0) return;  // the file is gone: keep what was read
  // Rows without their attributes would be rows of another table: while the table is
  // missing or cut short (being replaced, or damaged), what was read stays.
  if (kind_ == Kind::Shapefile) {
    const fs::path dbf = Companion(file_, ".dbf");
    const fs::path shx = Companion(file_, ".shx");
    std::error_code ec;
    if (!fs::exists(dbf, ec) || !AttributeTableIsWhole(dbf)) return;
    if (fs::exists(shx, ec) && !ShapeIndexIsWhole(shx)) return;
  }
  Load();
}

void Store::Changed() {
  ++generation_;
  indexes_.clear();
  rtree_.reset();
  extent_.reset();
}

// ---- indexes ----

std::optional<std::vector<int64_t>> Store::Lookup(int attr, const IndexKey& key) {
  if (attr < 0 || attr >= attrs_.FieldCount()) return std::nullopt;
  auto it = indexes_.find(attr);
  if (it == indexes_.end()) {
    ValueIndex idx;
    for (const auto& rec : records_) {
      if (!rec) continue;
      const vb::Variant& v = rec->values[size_t(attr)];
      switch (v.type()) {
        case vb::Variant::Type::String: idx.text[v.AsString()].push_back(rec->oid); break;
        case vb::Variant::Type::Long:
        case vb::Variant::Type::Double: idx.num[v.AsDouble() + 0.0].push_back(rec->oid); break;
        case vb::Variant::Type::Date: idx.num[v.AsDate().serial + 0.0].push_back(rec->oid); break;
        case vb::Variant::Type::Boolean: idx.num[v.AsBool() ? -1.0 : 0.0].push_back(rec->oid); break;
        default: break;
      }
    }
    it = indexes_.emplace(attr, std::move(idx)).first;
  }
  const ValueIndex& idx = it->second;
  if (key.text) {
    auto hit = idx.text.find(key.s);
    return hit == idx.text.end() ? std::vector<int64_t>{} : hit->second;
  }
  auto hit = idx.num.find(key.n + 0.0);
  return hit == idx.num.end() ? std::vector<int64_t>{} : hit->second;
}

std::vector<int64_t> Store::SpatialCandidates(const Envelope& box) {
  if (!rtree_) {
    std::vector<RTree::Item> items;
    items.reserve(records_.size());
    for (const auto& rec : records_) {
      if (!rec || rec->shape.IsEmpty()) continue;
      const Envelope& e = rec->shape.Extent();
      items.push_back({e.XMin(), e.YMin(), e.XMax(), e.YMax(), rec->oid});
    }
    rtree_ = std::make_unique<RTree>(std::move(items));
  }
  std::vector<int64_t> out;
  rtree_->Query(box, out);
  std::sort(out.begin(), out.end());
  return out;
}

Envelope Store::Extent() {
  if (!extent_) {
    Envelope e;
    for (const auto& rec : records_) {
      if (rec) e.Union(rec->shape.Extent());
    }
    extent_ = e;
  }
  return *extent_;
}

// ---- writing ----

int64_t Store::ReserveOid() {
  reserved_ = std::max(reserved_, bound());
  return reserved_++;
}

std::shared_ptr<Store> Store::Create(const fs::path& shp, const FieldSet& attrs, GeometryType type,
                                     const SpatialReference& sr, const std::string& dbfDate) {
  QuietGdal quiet;
  GDALDriver* driver = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
  if (!driver) vb::raise(vb::err::HostFailure, "The shapefile driver of GDAL is missing");
  // A new shapefile is written in memory and put on disk whole at each Flush and when
  // its writer closes: OGR writes every row with a seek and two small writes per file,
  // which on disk cost more than the rows themselves.
  static std::atomic<unsigned long> staged{0};
  const fs::path memory = fs::path("/vsimem/zelvane-new-" + std::to_string(++staged)) / shp.filename();
  GDALDatasetUniquePtr ds(driver->Create(memory.c_str(), 0, 0, 0, GDT_Unknown, nullptr));
  auto fail = [&](const std::string& what) {
    std::string text = WithMessage("Cannot create \"" + shp.string() + "\"" + what);
    ds.reset();
    VSIRmdirRecursive(memory.parent_path().c_str());
    RemoveShapefileFiles(shp);
    vb::raise(vb::err::HostFailure, text);
  };
  if (!ds) fail("");
  CPLStringList options;
  options.SetNameValue("ENCODING", "UTF-8");
  if (!dbfDate.empty()) options.SetNameValue("DBF_DATE_LAST_UPDATE", dbfDate.c_str());
  OGRLayer* layer = ds->CreateLayer(shp.stem().c_str(), const_cast<OGRSpatialReference*>(sr.ogr()),
                                    OgrGeometryType(type), options.List());
  if (!layer) fail("");
  for (const Field& f : attrs) {
    auto d = OgrField(f);
    if (layer->CreateField(d.get(), FALSE) != OGRERR_NONE) fail(" (field \"" + f.Name() + "\")");
  }
  if (layer->SyncToDisk() != OGRERR_NONE) fail("");
  std::unique_ptr<OGRFeatureDefn> defn(layer->GetLayerDefn()->Clone());
  std::vector<int> ogr_types;
  for (int i = 0; i < defn->GetFieldCount(); ++i) ogr_types.push_back(defn->GetFieldDefn(i)->GetType());
  // Rows are appended without OGR while that gives the driver's very bytes. The driver
  // finishes the empty files first: it writes the .dbf's header only as it closes.
  std::unique_ptr<ShapefileAppender> append;
  if (ShapefileAppender::Writes(type, ogr_types)) {
    layer = nullptr;
    ds.reset();
    append = ShapefileAppender::Take(memory, ogr_types);
    if (!append) fail("");
  }

  // A copy already cached for this path (a set that was deleted and is made again) is
  // reused, so that tables still holding it see the new set.
  auto& cache = Cache();
  std::string key = Key(shp);
  std::shared_ptr<Store> s;
  auto it = cache.find(key);
  if (it != cache.end() && it->second->kind_ == Kind::Shapefile) {
    s = it->second;
    s->CloseWriter();
  } else {
    s.reset(new Store(shp, Kind::Shapefile));
    cache[key] = s;
  }
  // After the old writer has put down what it held: the new files replace them.
  std::string why;
  s->file_ = shp;
  if (!s->CopyStaged(memory, why)) fail(": " + why);
  s->ReadFields(*defn);
  s->shape_type_ = type;
  s->sr_ = sr;
  s->records_.clear();
  s->reserved_ = 0;
  s->next_fid_ = 0;
  s->dbf_date_ = dbfDate;
  s->append_ = std::move(append);
  if (s->append_) {
    VSIRmdirRecursive(memory.parent_path().c_str());
  } else {
    s->writer_ = std::move(ds);
    s->writer_layer_ = layer;
    s->staged_ = memory;
  }
  s->dirty_ = false;
  s->ResolveCompanions();
  s->stamps_ = s->Stamps();
  ++s->layout_;
  s->Changed();
  return s;
}

void Store::EnsureWriter() {
  if (Writing()) return;
  if (kind_ != Kind::Shapefile) {
    vb::raise(vb::err::PermissionDenied, "\"" + file_.filename().string() + "\" cannot be written: only shapefiles can");
  }
  Refresh();
  QuietGdal quiet;
  static const char* const drivers[] = {"ESRI Shapefile", nullptr};
  writer_.reset(GDALDataset::Open(file_.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, nullptr, nullptr));
  if (!writer_ || writer_->GetLayerCount() < 1) {
    writer_.reset();
    vb::raise(vb::err::PermissionDenied, WithMessage("Cannot write \"" + file_.string() + "\""));
  }
  writer_layer_ = writer_->GetLayer(0);
  next_fid_ = writer_layer_->GetFeatureCount(TRUE);
  next_fid_ = std::max(next_fid_, bound());
}

void Store::CloseWriter() {
  if (!Writing()) return;
  QuietGdal quiet;
  if (append_) {
    std::string why;
    PutFiles(append_->Files(), why);  // as below: a failure leaves the last Flush's files
    append_.reset();
  }
  feature_.reset();
  writer_.reset();
  writer_layer_ = nullptr;
  if (!staged_.empty()) {
    // Nothing to report to here (a destructor may be closing): a failed copy leaves the
    // files as the last Flush put them.
    std::string why;
    CopyStaged(staged_, why);
    VSIRmdirRecursive(staged_.parent_path().c_str());
    staged_.clear();
  }
  dirty_ = false;
  stamps_ = Stamps();
}

bool Store::CopyStaged(const fs::path& memory, std::string& why) {
  std::vector<std::pair<std::string, std::string_view>> files;
  for (const char* ext : {".shp", ".shx", ".dbf", ".prj", ".cpg"}) {
    fs::path from = memory;
    from.replace_extension(ext);
    vsi_l_offset size = 0;
    GByte* bytes = VSIGetMemFileBuffer(from.c_str(), &size, FALSE);
    if (bytes) files.emplace_back(ext, std::string_view(reinterpret_cast<const char*>(bytes), size_t(size)));
  }
  return PutFiles(files, why);
}

bool Store::PutFiles(const std::vector<std::pair<std::string, std::string_view>>& files, std::string& why) {
  for (const auto& [ext, bytes] : files) {
    fs::path to = file_;
    to.replace_extension(ext);
    const size_t size = bytes.size();
    // A close after a flush mostly finds the file as the flush left it.
    if (HoldsBytes(to, reinterpret_cast<const GByte*>(bytes.data()), size)) continue;
    FILE* f = std::fopen(to.c_str(), "wb");
    bool ok = f && std::fwrite(bytes.data(), 1, size, f) == size;
    int e = errno;
    if (f && std::fclose(f) != 0 && ok) {
      ok = false;
      e = errno;
    }
    if (!ok) {
      why = std::strerror(e);
      return false;
    }
  }
  return true;
}

void Store::HandOver() {
  QuietGdal quiet;
  static std::atomic<unsigned long> handed{0};
  const fs::path memory = fs::path("/vsimem/zelvane-handed-" + std::to_string(++handed)) / file_.filename();
  auto fail = [&] {
    VSIRmdirRecursive(memory.parent_path().c_str());
    vb::raise(vb::err::HostFailure, WithMessage("Cannot write \"" + file_.string() + "\""));
  };
  for (const auto& [ext, bytes] : append_->Files()) {
    fs::path to = memory;
    to.replace_extension(ext);
    VSILFILE* f = VSIFOpenL(to.c_str(), "wb");
    const bool ok = f && VSIFWriteL(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (f) VSIFCloseL(f);
    if (!ok) fail();
  }
  static const char* const drivers[] = {"ESRI Shapefile", nullptr};
  CPLStringList options;
  if (!dbf_date_.empty()) options.SetNameValue("DBF_DATE_LAST_UPDATE", dbf_date_.c_str());
  GDALDatasetUniquePtr ds(
      GDALDataset::Open(memory.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, options.List(), nullptr));
  if (!ds || ds->GetLayerCount() < 1) fail();
  append_.reset();
  writer_layer_ = ds->GetLayer(0);
  writer_ = std::move(ds);
  staged_ = memory;
}

void Store::Release() {
  if (--handles_ <= 0) {
    handles_ = 0;
    CloseWriter();
  }
}

void Store::Flush() {
  if (!Writing()) return;
  QuietGdal quiet;
  std::string why;
  if (append_) {
    if (dirty_ && !PutFiles(append_->Files(), why))
      vb::raise(vb::err::HostFailure, "Cannot write \"" + file_.string() + "\": " + why);
    dirty_ = false;
    stamps_ = Stamps();
    return;
  }
  if (dirty_ && writer_layer_->SyncToDisk() != OGRERR_NONE) {
    vb::raise(vb::err::HostFailure, WithMessage("Cannot write \"" + file_.string() + "\""));
  }
  if (dirty_ && !staged_.empty() && !CopyStaged(staged_, why))
    vb::raise(vb::err::HostFailure, "Cannot write \"" + file_.string() + "\": " + why);
  dirty_ = false;
  stamps_ = Stamps();
}

std::shared_ptr<const Record> Store::Write(std::shared_ptr<const Record> written) {
  EnsureWriter();
  // The row as the file will give it back; copied only when that differs from the row.
  std::shared_ptr<Record> kept;
  auto change = [&](size_t k, vb::Variant v) {
    if (!kept) kept = std::make_shared<Record>(*written);
    kept->values[k] = std::move(v);
  };
  for (size_t k = 0; k < written->values.size() && int(k) < attrs_.FieldCount(); ++k) {
    const vb::Variant& v = written->values[k];
    const Field& f = attrs_.Field(int(k));
    if (v.type() == vb::Variant::Type::String) {
      const std::string& s = v.AsString();
      if (!s.empty() && s.back() == ' ') change(k, vb::Variant(s.substr(0, s.find_last_not_of(' ') + 1)));
    } else if (v.type() == vb::Variant::Type::Double && ogr_types_[k] == OFTReal && f.Precision() > 0) {
      double d = std::strtod(CPLSPrintf("%.*f", f.Precision(), v.AsDouble()), nullptr);
      if (!(d == v.AsDouble() && std::signbit(d) == std::signbit(v.AsDouble()))) change(k, vb::Variant(d));
    } else if (v.type() == vb::Variant::Type::Date) {
      double day = std::trunc(v.AsDate().serial);
      if (day != v.AsDate().serial) change(k, vb::Variant(vb::DateValue{day}));
    }
  }
  std::shared_ptr<const Record> rec = kept ? std::shared_ptr<const Record>(std::move(kept)) : std::move(written);
  const int64_t oid = rec->oid;
  const bool exists = oid < bound() && records_[size_t(oid)];
  auto keep = [&](int64_t at, std::shared_ptr<const Record> r) {
    if (size_t(at) >= records_.size()) records_.resize(size_t(at) + 1);
    records_[size_t(at)] = std::move(r);
  };
  // Rows created but never stored hold their object IDs: they get empty records.
  auto filler = [&] {
    auto r = std::make_shared<Record>();
    r->oid = next_fid_;
    for (const Field& a : attrs_) {
      r->values.push_back(a.Type() == FieldType::String ? vb::Variant(std::string()) : vb::Variant::Null());
    }
    keep(next_fid_++, std::move(r));
  };
  if (append_ && !exists && oid >= next_fid_) {
    while (next_fid_ < oid) {
      append_->AddEmpty();
      filler();
    }
    if (append_->Add(*rec)) {
      next_fid_ = oid + 1;
      keep(oid, rec);
      dirty_ = true;
      Changed();
      return rec;
    }
  }
  if (append_) HandOver();
  QuietGdal quiet;
  OGRFeatureDefn* defn = writer_layer_->GetLayerDefn();
  if (!feature_) feature_.reset(new OGRFeature(defn));
  OGRFeature& f = *feature_;
  // A row that sets every field overwrites all the last one left; any other starts afresh.
  if (rec->values.size() >= size_t(defn->GetFieldCount())) {
    f.SetFID(OGRNullFID);
  } else {
    f.Reset();
  }
  // OGR may only read a linear shape without measures (anything else it converts in
  // place), so such a shape is lent to the feature instead of copied.
  const OGRGeometry* lent = nullptr;
  auto fill = [&](const Record& r) {
    for (size_t k = 0; k < r.values.size() && int(k) < defn->GetFieldCount(); ++k) {
      const vb::Variant& v = r.values[k];
      int i = int(k);
      switch (v.type()) {
        case vb::Variant::Type::Empty:
        case vb::Variant::Type::Null: f.SetFieldNull(i); break;
        case vb::Variant::Type::Boolean: f.SetField(i, v.AsBool() ? 1 : 0); break;
        case vb::Variant::Type::Long: f.SetField(i, GIntBig(v.AsLong())); break;
        case vb::Variant::Type::Double: f.SetField(i, v.AsDouble()); break;
        case vb::Variant::Type::String: f.SetField(i, v.AsString().c_str()); break;
        case vb::Variant::Type::Date: {
          vb::DateParts p = vb::ToParts(v.AsDate().serial);
          f.SetField(i, p.year, p.month, p.day, p.hour, p.minute, float(p.second));
          break;
        }
      }
    }
    if (r.shape.IsEmpty()) {
      if (f.GetGeometryRef()) f.SetGeometryDirectly(nullptr);
      return;
    }
    const OGRGeometry* g = r.shape.ogr();
    const OGRwkbGeometryType t = g->getGeometryType();
    if (OGR_GT_IsNonLinear(t) || OGR_GT_HasM(t)) {
      f.SetGeometry(g);
    } else {
      f.SetGeometryDirectly(const_cast<OGRGeometry*>(g));
      lent = g;
    }
  };
  // Takes the lent shape back, whatever happens to the write.
  struct GiveBack {
    OGRFeature& f;
    const OGRGeometry*& lent;
    ~GiveBack() {
      if (!lent) return;
      OGRGeometry* back = f.StealGeometry();
      (void)back;
    }
  } give_back{f, lent};
  auto fail = [&](const std::string& what) {
    vb::raise(vb::err::HostFailure, WithMessage("Cannot " + what + " in \"" + file_.string() + "\""));
  };
  auto create = [&](OGRFeature& feature, int64_t oid) {
    if (writer_layer_->CreateFeature(&feature) != OGRERR_NONE) fail("add a row");
    if (feature.GetFID() != oid) {
      fail("add row " + std::to_string(oid) + " (the file gave it " + std::to_string(feature.GetFID()) + ")");
    }
  };

  fill(*rec);
  if (!exists && oid >= next_fid_) {
    while (next_fid_ < oid) {
      OGRFeature empty(defn);
      create(empty, next_fid_);
      filler();
    }
    create(f, oid);
    next_fid_ = oid + 1;
  } else {
    f.SetFID(oid);
    if (writer_layer_->SetFeature(&f) != OGRERR_NONE) fail("write row " + std::to_string(oid));
  }
  keep(oid, rec);
  dirty_ = true;
  Changed();
  return rec;
}

}  // namespace host::geodata::detail
