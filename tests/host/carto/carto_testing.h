// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Small shapefiles and helpers for the map document tests.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/carto/carto.h"
#include "host/geodata/geodata.h"
#include "host/vb/error.h"
#include "support/errors.h"

namespace carto_testing {

namespace gd = host::geodata;
namespace fs = std::filesystem;

// cols x rows square tiles of side size from (x0, y0) at the lower left, row by row from
// the bottom. Fields: LABEL (text, "T0", "T1", ...), ZONE (integer: the index mod 3),
// KEY (text: "K" and the index). The object ID is the index.
inline std::shared_ptr<gd::FeatureClass> WriteTiles(const fs::path& folder, const std::string& name, int cols,
                                                    int rows, double size = 100, double x0 = 0, double y0 = 0,
                                                    gd::SpatialReference sr = {}) {
  fs::create_directories(folder);
  gd::FieldSet fields{gd::Field::Shape("Shape", gd::GeometryType::Polygon, sr), gd::Field("LABEL", gd::FieldType::String, 12),
                      gd::Field("ZONE", gd::FieldType::Integer, 6), gd::Field("KEY", gd::FieldType::String, 12)};
  auto fc = gd::ShapefileWorkspace::Open(folder.string())->CreateFeatureClass(name, fields);
  int i = 0;
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < cols; ++c, ++i) {
      gd::Feature f = fc->CreateFeature();
      f.SetShape(gd::Geometry::FromEnvelope(gd::Envelope(x0 + c * size, y0 + r * size, x0 + (c + 1) * size, y0 + (r + 1) * size)));
      f.SetValue(fc->FindField("LABEL"), "T" + std::to_string(i));
      f.SetValue(fc->FindField("ZONE"), int64_t(i % 3));
      f.SetValue(fc->FindField("KEY"), "K" + std::to_string(i));
      f.Store();
    }
  }
  fc->Flush();
  return fc;
}

// Points with a NAME each.
inline std::shared_ptr<gd::FeatureClass> WritePoints(const fs::path& folder, const std::string& name,
                                                     const std::vector<gd::Point>& points) {
  fs::create_directories(folder);
  gd::FieldSet fields{gd::Field::Shape("Shape", gd::GeometryType::Point), gd::Field("NAME", gd::FieldType::String, 20)};
  auto fc = gd::ShapefileWorkspace::Open(folder.string())->CreateFeatureClass(name, fields);
  int i = 0;
  for (const gd::Point& p : points) {
    gd::Feature f = fc->CreateFeature();
    f.SetShape(gd::Geometry::MakePoint(p));
    f.SetValue(fc->FindField("NAME"), "P" + std::to_string(i++));
    f.Store();
  }
  fc->Flush();
  return fc;
}

inline std::vector<int64_t> Oids(gd::Cursor c) {
  std::vector<int64_t> out;
  while (auto r = c.NextRow()) out.push_back(r->OID());
  return out;
}

using testing_support::ErrorOf;

inline void ExpectEnvelope(const gd::Envelope& e, double xmin, double ymin, double xmax, double ymax) {
  EXPECT_NEAR(e.XMin(), xmin, 1e-9);
  EXPECT_NEAR(e.YMin(), ymin, 1e-9);
  EXPECT_NEAR(e.XMax(), xmax, 1e-9);
  EXPECT_NEAR(e.YMax(), ymax, 1e-9);
}

}  // namespace carto_testing
