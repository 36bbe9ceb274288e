// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/geodata/detail/shapefile_append.h"

#include <cpl_vsi.h>
#include <ogr_core.h>
#include <ogr_geometry.h>

#include <algorithm>
#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

namespace host::geodata::detail {

namespace fs = std::filesystem;

namespace {

constexpr int kNull = 0, kPoint = 1, kArc = 3, kPolygon = 5, kMultiPoint = 8;

void PutBig32(std::string& out, int32_t v) {
  const uint32_t u = uint32_t(v);
  const char b[4] = {char(u >> 24), char(u >> 16), char(u >> 8), char(u)};
  out.append(b, 4);
}

void SetBig32(std::string& out, size_t at, int32_t v) {
  std::string b;
  PutBig32(b, v);
  out.replace(at, 4, b);
}

template <typename T>
void PutLittle(std::string& out, T v) {
  static_assert(std::endian::native == std::endian::little);
  char b[sizeof v];
  std::memcpy(b, &v, sizeof v);
  out.append(b, sizeof v);
}

template <typename T>
void SetLittle(std::string& out, size_t at, T v) {
  std::memcpy(out.data() + at, &v, sizeof v);
}

template <typename T>
T GetLittle(const std::string& in, size_t at) {
  T v{};
  if (at + sizeof v <= in.size()) std::memcpy(&v, in.data() + at, sizeof v);
  return v;
}

bool ReadMemFile(const fs::path& path, std::string& out) {
  vsi_l_offset size = 0;
  const GByte* bytes = VSIGetMemFileBuffer(path.c_str(), &size, FALSE);
  if (!bytes) return false;
  out.assign(reinterpret_cast<const char*>(bytes), size_t(size));
  return true;
}

bool Linear2D(const OGRGeometry* g, OGRwkbGeometryType want) { return g->getGeometryType() == want; }

// Appends a linear part's points; false when a coordinate is not a number the driver
// would write unchanged.
bool AddPoints(const OGRSimpleCurve& c, std::vector<double>& xy) {
  const int n = c.getNumPoints();
  for (int i = 0; i < n; ++i) {
    const double x = c.getX(i), y = c.getY(i);
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    xy.push_back(x);
    xy.push_back(y);
  }
  return true;
}

// A ring the driver writes as it is: closed, and turned the way the file wants it.
bool PlainRing(const OGRLinearRing* r, bool outer) {
  const int n = r ? r->getNumPoints() : 0;
  if (n < 4) return false;
  if (r->getX(0) != r->getX(n - 1) || r->getY(0) != r->getY(n - 1)) return false;
  return bool(r->isClockwise()) == outer;
}

}  // namespace

bool ShapefileAppender::Writes(GeometryType type, const std::vector<int>& ogrTypes) {
  if (type == GeometryType::Null) return false;
  return std::all_of(ogrTypes.begin(), ogrTypes.end(),
                     [](int t) { return t == OFTString || t == OFTInteger || t == OFTInteger64; });
}

std::unique_ptr<ShapefileAppender> ShapefileAppender::Take(const fs::path& memory, const std::vector<int>& ogrTypes) {
  std::unique_ptr<ShapefileAppender> a(new ShapefileAppender);
  fs::path shx = memory, dbf = memory;
  shx.replace_extension(".shx");
  dbf.replace_extension(".dbf");
  if (!ReadMemFile(memory, a->shp_) || !ReadMemFile(shx, a->shx_) || !ReadMemFile(dbf, a->dbf_)) return nullptr;
  if (a->shp_.size() != 100 || a->shx_.size() != 100 || a->dbf_.size() < 33) return nullptr;
  a->shp_type_ = GetLittle<int32_t>(a->shp_, 32);
  if (a->shp_type_ != kPoint && a->shp_type_ != kArc && a->shp_type_ != kPolygon && a->shp_type_ != kMultiPoint) {
    return nullptr;
  }
  if (GetLittle<uint32_t>(a->dbf_, 4) != 0) return nullptr;
  a->dbf_header_ = GetLittle<uint16_t>(a->dbf_, 8);
  a->dbf_record_ = GetLittle<uint16_t>(a->dbf_, 10);
  if (a->dbf_header_ < 33 || a->dbf_header_ > a->dbf_.size()) return nullptr;
  const size_t tail = a->dbf_.size() - a->dbf_header_;
  if (tail > 1 || (tail == 1 && a->dbf_.back() != '\x1a')) return nullptr;
  a->dbf_eof_ = tail == 1;
  size_t width = 1;  // the deletion flag
  for (size_t at = 32; at + 32 <= a->dbf_header_ && a->dbf_[at] != '\r'; at += 32) {
    const size_t k = a->fields_.size();
    if (k >= ogrTypes.size()) return nullptr;
    const char t = a->dbf_[at + 11];
    const int w = uint8_t(a->dbf_[at + 16]), decimals = uint8_t(a->dbf_[at + 17]);
    const bool text = t == 'C' && ogrTypes[k] == OFTString;
    const bool number = t == 'N' && decimals == 0 && (ogrTypes[k] == OFTInteger || ogrTypes[k] == OFTInteger64);
    if (!text && !number) return nullptr;
    a->fields_.push_back({t, w, ogrTypes[k] == OFTInteger});
    width += size_t(w);
  }
  if (a->fields_.size() != ogrTypes.size() || width != a->dbf_record_) return nullptr;
  for (const char* ext : {".prj", ".cpg"}) {
    fs::path p = memory;
    p.replace_extension(ext);
    std::string bytes;
    if (ReadMemFile(p, bytes)) a->others_.emplace_back(ext, std::move(bytes));
  }
  return a;
}

void ShapefileAppender::Expand(double x, double y) {
  bounds_[0] = std::min(bounds_[0], x);
  bounds_[1] = std::min(bounds_[1], y);
  bounds_[2] = std::max(bounds_[2], x);
  bounds_[3] = std::max(bounds_[3], y);
}

bool ShapefileAppender::Shape(const OGRGeometry* g) {
  shape_.clear();
  xy_.clear();
  parts_.clear();
  if (!g || g->IsEmpty()) {
    PutLittle<int32_t>(shape_, kNull);
    return true;
  }
  switch (shp_type_) {
    case kPoint:
      if (!Linear2D(g, wkbPoint)) return false;
      xy_ = {g->toPoint()->getX(), g->toPoint()->getY()};
      if (!std::isfinite(xy_[0]) || !std::isfinite(xy_[1])) return false;
      PutLittle<int32_t>(shape_, kPoint);
      PutLittle(shape_, xy_[0]);
      PutLittle(shape_, xy_[1]);
      return true;
    case kMultiPoint:
      if (!Linear2D(g, wkbMultiPoint)) return false;
      for (const OGRPoint* p : *g->toMultiPoint()) {
        if (p->IsEmpty() || !std::isfinite(p->getX()) || !std::isfinite(p->getY())) return false;
        xy_.push_back(p->getX());
        xy_.push_back(p->getY());
      }
      break;
    case kArc:
      if (Linear2D(g, wkbLineString)) {
        parts_.push_back(0);
        if (g->toLineString()->getNumPoints() < 2 || !AddPoints(*g->toLineString(), xy_)) return false;
      } else if (Linear2D(g, wkbMultiLineString)) {
        for (const OGRLineString* l : *g->toMultiLineString()) {
          parts_.push_back(int32_t(xy_.size() / 2));
          if (l->getNumPoints() < 2 || !AddPoints(*l, xy_)) return false;
        }
      } else {
        return false;
      }
      break;
    case kPolygon: {
      auto polygon = [&](const OGRPolygon& p) {
        bool outer = true;
        for (const OGRLinearRing* r : p) {
          if (!PlainRing(r, outer)) return false;
          parts_.push_back(int32_t(xy_.size() / 2));
          if (!AddPoints(*r, xy_)) return false;
          outer = false;
        }
        return !outer;
      };
      if (Linear2D(g, wkbPolygon)) {
        if (!polygon(*g->toPolygon())) return false;
      } else if (Linear2D(g, wkbMultiPolygon)) {
        for (const OGRPolygon* p : *g->toMultiPolygon()) {
          if (!polygon(*p)) return false;
        }
      } else {
        return false;
      }
      break;
    }
    default: return false;
  }
  if (xy_.empty()) return false;
  double box[4] = {xy_[0], xy_[1], xy_[0], xy_[1]};
  for (size_t i = 0; i < xy_.size(); i += 2) {
    box[0] = std::min(box[0], xy_[i]);
    box[1] = std::min(box[1], xy_[i + 1]);
    box[2] = std::max(box[2], xy_[i]);
    box[3] = std::max(box[3], xy_[i + 1]);
  }
  PutLittle<int32_t>(shape_, shp_type_);
  for (double d : box) PutLittle(shape_, d);
  if (shp_type_ != kMultiPoint) PutLittle<int32_t>(shape_, int32_t(parts_.size()));
  PutLittle<int32_t>(shape_, int32_t(xy_.size() / 2));
  for (int32_t p : parts_) PutLittle(shape_, p);
  for (double d : xy_) PutLittle(shape_, d);
  return true;
}

bool ShapefileAppender::Row(const Record& rec) {
  row_.assign(1, ' ');
  for (size_t k = 0; k < fields_.size(); ++k) {
    const DbfField& f = fields_[k];
    const vb::Variant none = vb::Variant::Null();
    const vb::Variant& v = k < rec.values.size() ? rec.values[k] : none;
    switch (v.type()) {
      case vb::Variant::Type::Empty:
      case vb::Variant::Type::Null:
        // What the driver puts in a missing value's place.
        row_.append(size_t(f.width), f.type == 'N' ? '*' : ' ');
        break;
      case vb::Variant::Type::String: {
        if (f.type != 'C') return false;
        const std::string& s = v.AsString();
        const size_t n = std::min(s.size(), std::strlen(s.c_str()));  // the driver reads up to a NUL
        if (n > size_t(f.width)) return false;
        row_.append(s, 0, n);
        row_.append(size_t(f.width) - n, ' ');
        break;
      }
      case vb::Variant::Type::Long: {
        if (f.type != 'N') return false;
        const int64_t n = v.AsLong();
        if (f.int32 && (n < INT32_MIN || n > INT32_MAX)) return false;
        // Right-aligned in the field, as the driver's "%*d" puts it.
        char text[24];
        const auto [end, ec] = std::to_chars(text, text + sizeof text, n);
        const size_t len = size_t(end - text);
        if (ec != std::errc() || len > size_t(f.width)) return false;
        row_.append(size_t(f.width) - len, ' ');
        row_.append(text, len);
        break;
      }
      default: return false;
    }
  }
  return row_.size() == dbf_record_;
}

bool ShapefileAppender::Add(const Record& rec) {
  if (!Shape(rec.shape.ogr()) || !Row(rec)) return false;
  if (records_ >= INT32_MAX || shp_.size() + shape_.size() + 8 > size_t(INT32_MAX) * 2) return false;
  // The driver starts the file's extent at the first row's first point (at the origin
  // when that row has no shape), then widens it with every point.
  if (records_ == 0) {
    bounds_[0] = bounds_[2] = xy_.empty() ? 0.0 : xy_[0];
    bounds_[1] = bounds_[3] = xy_.empty() ? 0.0 : xy_[1];
  }
  for (size_t i = 0; i < xy_.size(); i += 2) Expand(xy_[i], xy_[i + 1]);
  const int32_t offset = int32_t(shp_.size() / 2), words = int32_t(shape_.size() / 2);
  PutBig32(shx_, offset);
  PutBig32(shx_, words);
  PutBig32(shp_, int32_t(records_ + 1));
  PutBig32(shp_, words);
  shp_ += shape_;
  if (dbf_eof_) dbf_.pop_back();
  dbf_ += row_;
  if (dbf_eof_) dbf_.push_back('\x1a');
  ++records_;
  return true;
}

void ShapefileAppender::AddEmpty() {
  Record none;
  none.values.assign(fields_.size(), vb::Variant::Null());
  Add(none);
}

std::vector<std::pair<std::string, std::string_view>> ShapefileAppender::Files() {
  SetBig32(shp_, 24, int32_t(shp_.size() / 2));
  SetBig32(shx_, 24, int32_t(shx_.size() / 2));
  if (records_ > 0) {
    for (std::string* f : {&shp_, &shx_}) {
      for (int i = 0; i < 4; ++i) SetLittle(*f, 36 + size_t(i) * 8, bounds_[i]);
    }
  }
  SetLittle(dbf_, 4, uint32_t(records_));
  std::vector<std::pair<std::string, std::string_view>> out = {{".shp", shp_}, {".shx", shx_}, {".dbf", dbf_}};
  for (const auto& [ext, bytes] : others_) out.emplace_back(ext, bytes);
  return out;
}

}  // namespace host::geodata::detail
