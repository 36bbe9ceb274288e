// SPDX-License-Identifier: GPL-3.0-or-later
// Shapefiles whose bytes are not what a careful writer leaves: each is read as far as it
// can be, or refused with the host's error, and what is read is fit for the rest of the
// host (texts in UTF-8, shapes that can be indexed and drawn).

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "geodata_testing.h"
#include "support/temp_dir.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;
namespace fs = std::filesystem;
using testing_support::TempDir;

class DamagedShapefile : public ::testing::Test {
 protected:
  void TearDown() override { gd::ShapefileWorkspace::ClearCache(); }

  std::shared_ptr<gd::FeatureClass> Reopen() {
    gd::ShapefileWorkspace::ClearCache();
    return gd::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("f");
  }

  // Replaces the first of these bytes in the file by as many others.
  void Patch(const std::string& ext, const std::string& from, const std::string& to) {
    ASSERT_EQ(from.size(), to.size());
    const fs::path p = dir.path() / ("f" + ext);
    std::string bytes = testing_support::ReadFile(p);
    const size_t at = bytes.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    bytes.replace(at, from.size(), to);
    testing_support::WriteFile(p, bytes);
  }

  TempDir dir;
};

TEST_F(DamagedShapefile, TextsOfATableWithoutACodePageAreUtf8WhenTheyCanBeAndElseWindows1252) {
  {
    auto fc = gd::ShapefileWorkspace::Open(dir.path().string())
                  ->CreateFeatureClass("f", {gd::Field::Shape("Shape", gd::GeometryType::Point),
                                             gd::Field("NAME", gd::FieldType::String, 12)});
    for (const char* name : {"Cafe-Euro", "Ol\xC3\xA9", "Plain"}) {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(fc->FindField("NAME"), name);
      f.SetShape(gd::Geometry::MakePoint(1, 2));
      f.Store();
    }
  }
  // As a desktop writes them: no .cpg, no code page in the header, bytes of Windows-1252
  // in a value and in a field name.
  fs::remove(dir.path() / "f.cpg");
  std::string dbf = testing_support::ReadFile(dir.path() / "f.dbf");
  dbf[29] = '\0';
  testing_support::WriteFile(dir.path() / "f.dbf", dbf);
  Patch(".dbf", "Cafe-Euro", "Caf\xE9-\x80\x81\x9F\xFF");
  Patch(".dbf", "NAME", "N\xC4ME");

  auto fc = Reopen();
  const int name = fc->FindField("N\xC3\x84ME");
  ASSERT_GE(name, 0) << "the field name is read as Windows-1252 too";
  EXPECT_EQ(fc->GetFeature(0)->Value(name).AsString(), "Caf\xC3\xA9-\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF");
  EXPECT_EQ(fc->GetFeature(1)->Value(name).AsString(), "Ol\xC3\xA9") << "valid UTF-8 stays as it is";
  EXPECT_EQ(fc->GetFeature(2)->Value(name).AsString(), "Plain");
  EXPECT_EQ(Where(*fc, "[N\xC3\x84ME] = 'Caf\xC3\xA9-\xE2\x82\xAC\xC2\x81\xC5\xB8\xC3\xBF'"), (std::vector<int64_t>{0}));

  // Bytes that only look like UTF-8 (an overlong form, a surrogate, a lead byte at the
  // end) are not taken as UTF-8.
  Patch(".dbf", "Plain", "\xC0\xAF\xED\xA0\xE2");
  EXPECT_EQ(Reopen()->GetFeature(2)->Value(name).AsString(), "\xC3\x80\xC2\xAF\xC3\xAD\xC2\xA0\xC3\xA2");
}

TEST_F(DamagedShapefile, AnIndexThatClaimsMoreThanItHoldsIsRefusedBeforeAnythingIsSizedByIt) {
  {
    auto fc = gd::ShapefileWorkspace::Open(dir.path().string())
                  ->CreateFeatureClass("f", {gd::Field::Shape("Shape", gd::GeometryType::Point)});
    for (int i = 0; i < 3; ++i) {
      gd::Feature f = fc->CreateFeature();
      f.SetShape(gd::Geometry::MakePoint(i, i));
      f.Store();
    }
  }
  const fs::path shx = dir.path() / "f.shx";
  const std::string whole = testing_support::ReadFile(shx);
  const std::string refused = "Shapefile \"f\" cannot be read: its index \"f.shx\" is damaged or cut short";
  auto failure = [&](const std::string& bytes) {
    testing_support::WriteFile(shx, bytes);
    return ErrorOf([&] { Reopen(); });
  };

  // 1.5 GB in the header's length (16-bit words, big-endian), 124 bytes in the file.
  std::string claims = whole;
  claims.replace(24, 4, std::string("\x2D\x41\x22\x34", 4));
  vb::Error e = failure(claims);
  EXPECT_EQ(e.number(), vb::err::HostFailure);
  EXPECT_EQ(e.description(), refused);
  EXPECT_EQ(failure(whole.substr(0, whole.size() - 8)).description(), refused) << "cut short";
  EXPECT_EQ(failure(whole.substr(0, 60)).description(), refused) << "no whole header";

  // A file already open keeps its rows while its index is damaged, as for its table.
  testing_support::WriteFile(shx, whole);
  auto fc = Reopen();
  testing_support::WriteFile(shx, whole.substr(0, whole.size() - 8));
  EXPECT_EQ(fc->FeatureCount(), 3);
  testing_support::WriteFile(shx, whole);
  EXPECT_EQ(fc->GetFeature(2)->Shape().Extent(), gd::Envelope(2, 2, 2, 2));
}

}  // namespace
