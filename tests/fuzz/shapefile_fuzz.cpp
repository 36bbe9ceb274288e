// SPDX-License-Identifier: GPL-3.0-or-later
// Shapefiles: the input is a .shp, a .shx and a .dbf, read as the command reads a
// grid or a layer (the fields, every row with its shape, the extent, a where clause on
// each field, a spatial filter) and then drawn on a small page with labels, exported
// as a PNG. A set that cannot be read fails with the host's error; nothing else may
// happen.
//
// The parts are separated by kCut (see SplitInput): inserting or dropping bytes in one
// part leaves the others whole, so mutations reach each file on its own. An input
// without a cut is a .shp alone.

#include <cctype>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz_support.h"
#include "host/carto/document.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/geodata.h"
#include "host/render/export.h"
#include "host/render/view_drawing.h"
#include "host/vb/datetime.h"
#include "host/vb/error.h"

namespace carto = host::carto;
namespace gd = host::geodata;
namespace render = host::render;
namespace vb = host::vb;

namespace {

constexpr std::string_view kCut = "\n--8<--\n";

struct Parts {
  std::string_view shp, shx, dbf;
};

Parts SplitInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  std::string_view part[3];
  int n = 0;
  for (; n < 2; ++n) {
    const size_t at = rest.find(kCut);
    if (at == std::string_view::npos) break;
    part[n] = rest.substr(0, at);
    rest.remove_prefix(at + kCut.size());
  }
  part[n] = rest;
  return {part[0], part[1], part[2]};
}

void Write(const std::string& name, std::string_view bytes) {
  fuzz_support::WriteInput(name, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// The host holds its texts in UTF-8, whatever the file's bytes: a text that is not
// stops the run as a fault.
void RequireUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t len = c < 0x80 ? 1 : c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    bool ok = len > 0 && i + len <= s.size();
    uint32_t cp = c & (0xFF >> (len + 1));
    for (size_t k = 1; ok && k < len; ++k) {
      ok = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
      cp = cp << 6 | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    // No overlong forms, surrogates or code points past the last.
    ok = ok && !(len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) &&
         !(len == 4 && (cp < 0x10000 || cp > 0x10FFFF));
    if (!ok) {
      std::fprintf(stderr, "not UTF-8 at byte %zu of a text read\n", i);
      std::abort();
    }
    i += len;
  }
}

// A name as a where clause writes it: in brackets unless it is a plain one.
std::string FieldRef(const std::string& name) {
  bool plain = !name.empty() && !std::isdigit(static_cast<unsigned char>(name[0]));
  for (char c : name) plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '_');
  return plain || name.find(']') != std::string::npos ? name : "[" + name + "]";
}

// A where clause that the row's value of field passes: an equality the value index
// answers (a number by >=, so that its 17 digits need not give it back exactly), or
// IS NULL.
std::string ClauseFor(const gd::Field& field, const vb::Variant& v) {
  const std::string name = FieldRef(field.Name());
  char text[64];
  switch (v.type()) {
    case vb::Variant::Type::String: {
      std::string quoted = "'";
      for (char c : v.AsString()) quoted += c == '\'' ? std::string("''") : std::string(1, c);
      return name + " = " + quoted + "'";
    }
    case vb::Variant::Type::Long: return name + " = " + std::to_string(v.AsLong());
    case vb::Variant::Type::Double:
      std::snprintf(text, sizeof text, "%.17g", v.AsDouble());
      return name + " >= " + text;
    case vb::Variant::Type::Date: {
      vb::DateParts p = vb::ToParts(v.AsDate().serial);
      std::snprintf(text, sizeof text, "#%04d-%02d-%02d#", p.year, p.month, p.day);
      return name + " = " + text;
    }
    default: return name + " IS NULL";
  }
}

// Reading as the command reads: nothing read is kept, each step only has to finish.
double ReadAll(gd::FeatureClass& fc) {
  double sum = 0;
  const gd::FieldSet& fields = fc.Fields();
  for (int i = 0; i < fields.FieldCount(); ++i) {
    RequireUtf8(fields.Field(i).Name());
    sum += double(fields.Field(i).Name().size()) + fields.Field(i).Length() + int(fields.Field(i).Type());
  }
  std::optional<gd::Row> first;
  const int shape = fc.FindField(fc.ShapeFieldName());
  gd::FeatureCursor all = fc.Search();
  while (auto f = all.NextFeature()) {
    if (!first) first = *f;
    for (int i = 0; i < fields.FieldCount(); ++i) {
      if (i == shape) continue;
      const vb::Variant v = f->Value(i);
      if (v.type() == vb::Variant::Type::String) RequireUtf8(v.AsString());
      sum += v.IsNull() ? 1 : 2;
    }
    const gd::Geometry& g = f->Shape();
    if (g.IsEmpty()) continue;
    gd::Point label = g.LabelPoint();
    sum += g.PointCount() + g.Area() + g.Length() + label.X + f->Extent().Width();
  }
  gd::Envelope extent = fc.Extent();
  sum += extent.Width();

  if (first) {
    for (int i = 0; i < fields.FieldCount(); ++i) {
      const gd::Field& field = fields.Field(i);
      if (field.Type() == gd::FieldType::Geometry) continue;
      try {
        sum += double(fc.RowCount(gd::QueryFilter(ClauseFor(field, first->Value(i)))));
      } catch (const vb::Error&) {
        // Field names a clause cannot hold, and numbers it cannot write.
      }
    }
    sum += fc.GetFeature(first->OID()) ? 1 : 0;
  }
  if (!extent.IsEmpty()) {
    // The lower left quarter, exactly through GEOS and by envelope as drawing does.
    gd::Envelope quarter(extent.XMin(), extent.YMin(), extent.XMin() + extent.Width() / 2,
                         extent.YMin() + extent.Height() / 2);
    for (auto rel : {gd::SpatialRelation::Intersects, gd::SpatialRelation::EnvelopeIntersects}) {
      try {
        gd::SpatialFilter filter(gd::Geometry::FromEnvelope(quarter), rel);
        gd::FeatureCursor within = fc.Search(filter);
        while (auto f = within.NextFeature()) sum += double(f->OID());
      } catch (const vb::Error&) {
        // An extent too wide for a shape (infinite coordinates).
      }
    }
  }
  return sum;
}

// Labels on the first text field, else on the first attribute.
std::string LabelExpression(const gd::FeatureClass& fc) {
  std::string any;
  for (const gd::Field& f : fc.Fields()) {
    if (f.Type() == gd::FieldType::OID || f.Type() == gd::FieldType::Geometry) continue;
    if (f.Type() == gd::FieldType::String) return "[" + f.Name() + "]";
    if (any.empty()) any = "[" + f.Name() + "]";
  }
  return any;
}

// One page of an inch and a quarter at 80 dots per inch: 100 x 100 pixels, the map
// frame inside a margin, the layer's extent shown whole.
void DrawPage(const std::shared_ptr<gd::FeatureClass>& fc) {
  carto::Document doc;
  auto map = doc.FocusMap();
  auto layer = std::make_shared<carto::FeatureLayer>(fc);
  layer->Labels().SetExpression(LabelExpression(*fc));
  layer->SetDisplayAnnotation(true);
  map->AddLayer(layer);
  doc.SetActiveView(doc.PageLayout());
  doc.PageLayout().Page().PutSize(1.25, 1.25);
  doc.PageLayout().FindFrame(*map)->SetGeometry(gd::Envelope(0.1, 0.1, 1.15, 1.15));
  gd::Envelope extent = layer->AreaOfInterest();
  if (!extent.IsEmpty()) map->SetExtent(extent);
  auto exporter = render::CreateExport(render::clsid::ExportPNG);
  exporter->SetExportFileName((fuzz_support::Folder() / "page.png").string());
  render::ExportView(doc.ActiveView(), *exporter, 80);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const Parts parts = SplitInput(data, size);
  Write("f.shp", parts.shp);
  Write("f.shx", parts.shx);
  Write("f.dbf", parts.dbf);
  // A step that fails does not keep the next from running.
  std::shared_ptr<gd::FeatureClass> fc;
  try {
    fc = gd::ShapefileWorkspace::Open(fuzz_support::Folder().string())->OpenFeatureClass("f");
  } catch (const vb::Error&) {
  }
  if (fc) {
    try {
      volatile double sink = ReadAll(*fc);
      (void)sink;
    } catch (const vb::Error&) {
    }
    try {
      DrawPage(fc);
    } catch (const vb::Error&) {
    }
  }
  fc.reset();
  // The next input is read from its files, not from this one's copy.
  gd::ShapefileWorkspace::ClearCache();
  return 0;
}
