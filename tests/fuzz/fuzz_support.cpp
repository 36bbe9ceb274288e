// SPDX-License-Identifier: GPL-3.0-or-later
#include "fuzz_support.h"

#include <cstdlib>
#include <fstream>
#include <memory>
#include <vector>

#include "host/geodata/geodata.h"
#include "host/vb/datetime.h"

namespace fs = std::filesystem;
namespace gd = host::geodata;
namespace vb = host::vb;

namespace fuzz_support {

namespace {

struct Owned {
  fs::path path;
  Owned() {
    std::string pattern = (fs::temp_directory_path() / "zelvane-fuzz-XXXXXX").string();
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!mkdtemp(buf.data())) std::abort();
    path = buf.data();
    setenv("XDG_DATA_HOME", (path / "data").c_str(), 1);
    setenv("ZELVANE_REGISTRY", (path / "registry.json").c_str(), 1);
  }
  ~Owned() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
};

}  // namespace

const fs::path& Folder() {
  static Owned owned;
  return owned.path;
}

void WriteTiles() {
  static bool written = false;
  if (written) return;
  written = true;
  auto ws = gd::ShapefileWorkspace::Open(Folder().string());
  auto fc = ws->CreateFeatureClass("tiles", {gd::Field::Shape("Shape", gd::GeometryType::Polygon),
                                             gd::Field("NAME", gd::FieldType::String, 20),
                                             gd::Field("ZONE", gd::FieldType::Integer),
                                             gd::Field("AREA", gd::FieldType::Double),
                                             gd::Field("BUILT", gd::FieldType::Date)});
  for (int i = 0; i < 10; ++i) {
    gd::Feature f = fc->CreateFeature();
    if (i < 9) {
      f.SetValue(fc->FindField("NAME"), i % 2 ? "Main St" : "O'Brien");
      f.SetValue(fc->FindField("ZONE"), int64_t(i % 3));
      f.SetValue(fc->FindField("AREA"), 10.5 * i);
      f.SetValue(fc->FindField("BUILT"), vb::Variant(vb::DateValue{vb::DateSerial({1990 + i, 1 + i, 1 + i})}));
    }
    double x = (i % 3) * 100, y = (i / 3) * 100;
    f.SetShape(gd::Geometry::FromEnvelope(gd::Envelope(x, y, x + 100, y + 100)));
    f.Store();
  }
  fc.reset();
  gd::ShapefileWorkspace::ClearCache();
}

std::string WriteInput(const std::string& name, const uint8_t* data, size_t size) {
  fs::path p = Folder() / name;
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
  return p.string();
}

}  // namespace fuzz_support
