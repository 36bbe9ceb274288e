// SPDX-License-Identifier: GPL-3.0-or-later
// The shapefile workspace: creating feature classes (checked with ogrinfo and OGR),
// opening classes and tables by name, values and shapes of features, refusals.

#include <gtest/gtest.h>

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <filesystem>

#include "geodata_testing.h"
#include "host/vb/datetime.h"
#include "support/temp_dir.h"

namespace {

using namespace geodata_testing;
namespace vb = host::vb;
namespace fs = std::filesystem;
using testing_support::TempDir;

gd::FieldSet GridFields(gd::SpatialReference sr = {}) {
  return {gd::Field::Shape("Shape", gd::GeometryType::Polygon, std::move(sr)),
          gd::Field("MB_Index", gd::FieldType::Integer, 12), gd::Field("MB_Row", gd::FieldType::String, 12),
          gd::Field("MB_Column", gd::FieldType::String, 12), gd::Field("MB_Label", gd::FieldType::String, 24),
          gd::Field("AREA", gd::FieldType::Double), gd::Field("FLOORS", gd::FieldType::SmallInteger),
          gd::Field("OPENED", gd::FieldType::Date)};
}

gd::Geometry Square(double x, double y, double size) {
  return gd::Geometry::FromEnvelope(gd::Envelope(x, y, x + size, y + size));
}

TEST(ShapefileWorkspace, CreatesWhatOgrReadsBack) {
  TempDir dir;
  {
    auto ws = gd::ShapefileWorkspaceFactory().OpenFromFile(dir.path().string());
    auto fc = ws->CreateFeatureClass("grid", GridFields());
    for (int i = 0; i < 3; ++i) {
      gd::Feature f = fc->CreateFeature();
      EXPECT_EQ(f.OID(), i);  // given before the feature is stored
      f.SetValue(fc->FindField("MB_Index"), f.OID() + 1);
      f.SetValue(fc->FindField("mb_row"), "A");
      f.SetValue(fc->FindField("MB_Column"), vb::CStr(int64_t(i + 1)));
      f.SetValue(fc->FindField("MB_Label"), "A" + std::to_string(i + 1));
      f.SetValue(fc->FindField("FLOORS"), 2.5);  // rounds half to even
      f.SetValue(fc->FindField("OPENED"), "3/1/2021");
      f.SetShape(Square(i * 100, 0, 100));
      f.Store();
    }
  }  // the last handle going flushes the files

  EXPECT_TRUE(fs::exists(dir / "grid.shp"));
  EXPECT_TRUE(fs::exists(dir / "grid.dbf"));
  EXPECT_FALSE(fs::exists(dir / "grid.prj"));  // unknown coordinate system
  std::string info = RunCommand("ogrinfo -so -al '" + (dir / "grid.shp").string() + "' 2>&1");
  EXPECT_NE(info.find("Geometry: Polygon"), std::string::npos) << info;
  EXPECT_NE(info.find("Feature Count: 3"), std::string::npos) << info;
  EXPECT_NE(info.find("MB_Index: Integer64 (12.0)"), std::string::npos) << info;
  EXPECT_NE(info.find("MB_Row: String (12.0)"), std::string::npos) << info;
  EXPECT_NE(info.find("MB_Column: String (12.0)"), std::string::npos) << info;
  EXPECT_NE(info.find("MB_Label: String (24.0)"), std::string::npos) << info;
  EXPECT_NE(info.find("OPENED: Date"), std::string::npos) << info;
  EXPECT_LT(info.find("MB_Index"), info.find("MB_Row"));
  EXPECT_LT(info.find("MB_Column"), info.find("MB_Label"));

  // Record numbers from 0 in the order of creation, values as stored.
  GDALDatasetUniquePtr ds(GDALDataset::Open((dir / "grid.shp").c_str(), GDAL_OF_VECTOR));
  ASSERT_TRUE(ds);
  OGRLayer* layer = ds->GetLayer(0);
  int n = 0;
  for (auto& f : *layer) {
    EXPECT_EQ(f->GetFID(), n);
    EXPECT_EQ(f->GetFieldAsInteger("MB_Index"), n + 1);
    EXPECT_EQ(std::string(f->GetFieldAsString("MB_Label")), "A" + std::to_string(n + 1));
    EXPECT_EQ(f->GetFieldAsInteger("FLOORS"), 2);
    EXPECT_EQ(std::string(f->GetFieldAsString("OPENED")), "2021/03/01");
    OGREnvelope e;
    f->GetGeometryRef()->getEnvelope(&e);
    EXPECT_EQ(e.MinX, n * 100);
    ++n;
  }
  EXPECT_EQ(n, 3);
}

TEST(ShapefileWorkspace, OpensClassesByNameWithTheirFields) {
  TempDir dir;
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  ws->CreateFeatureClass("Grid_One", GridFields(gd::SpatialReference::FromEPSG(2227)))->Flush();

  auto a = ws->OpenFeatureClass("grid_one");
  auto b = ws->OpenFeatureClass("GRID_ONE.SHP");
  EXPECT_EQ(a, b);
  EXPECT_EQ(a->Name(), "Grid_One");
  EXPECT_EQ(a->AliasName(), "Grid_One");
  EXPECT_EQ(a->OIDFieldName(), "FID");
  EXPECT_EQ(a->ShapeFieldName(), "Shape");
  EXPECT_EQ(a->ShapeType(), gd::GeometryType::Polygon);
  const gd::FieldSet& f = a->Fields();
  ASSERT_EQ(f.FieldCount(), 9);
  EXPECT_EQ(f.Field(0).Name(), "FID");
  EXPECT_EQ(f.Field(0).Type(), gd::FieldType::OID);
  EXPECT_EQ(f.Field(1).Name(), "Shape");
  EXPECT_EQ(f.Field(1).Type(), gd::FieldType::Geometry);
  EXPECT_EQ(f.Field(2).Name(), "MB_Index");
  EXPECT_EQ(f.Field(2).Type(), gd::FieldType::Integer);
  EXPECT_EQ(f.Field(2).Length(), 12);
  EXPECT_EQ(f.Field(3).Type(), gd::FieldType::String);
  EXPECT_EQ(f.Field(5).Length(), 24);
  EXPECT_EQ(f.Field(6).Type(), gd::FieldType::Double);
  EXPECT_EQ(f.Field(7).Type(), gd::FieldType::SmallInteger);
  EXPECT_EQ(f.Field(8).Type(), gd::FieldType::Date);
  EXPECT_EQ(a->FindField("mb_label"), 5);
  EXPECT_EQ(a->FindField("nope"), -1);
  EXPECT_EQ(ErrorOf([&] { f.Field(9); }).number(), vb::err::SubscriptOutOfRange);
  EXPECT_EQ(a->SpatialRef().Unit(), gd::LinearUnit::Feet);
  EXPECT_TRUE(fs::exists(dir / "Grid_One.prj"));
  EXPECT_EQ(ws->FeatureClassNames(), std::vector<std::string>{"Grid_One"});
}

TEST(ShapefileWorkspace, NamesAreUsedAsTyped) {
  TempDir dir;
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  auto fc = ws->CreateFeatureClass(" my grid ", GridFields());
  fc->CreateFeature().Store();
  fc.reset();
  EXPECT_TRUE(fs::exists(dir / " my grid .shp"));
  EXPECT_TRUE(fs::exists(dir / " my grid .dbf"));
  auto again = ws->OpenFeatureClass(" MY GRID ");
  EXPECT_EQ(again->AliasName(), " my grid ");
  EXPECT_EQ(again->FeatureCount(), 1);
  EXPECT_EQ(Where(*again, "\" my grid .MB_Label\" = ''").size(), 1u);
}

TEST(ShapefileWorkspace, TakesWindowsPathsThroughTheDriveMap) {
  fs::path grids = testing_support::DrivesRoot() / "c" / "Program Files" / "Grids";
  fs::create_directories(grids);
  auto ws = gd::ShapefileWorkspace::Open("C:\\Program Files\\Grids\\");
  EXPECT_EQ(ws->PathName(), "C:\\Program Files\\Grids\\");
  ws->CreateFeatureClass("tiles", GridFields())->Flush();
  EXPECT_TRUE(fs::exists(grids / "tiles.shp"));
  EXPECT_NE(gd::ShapefileWorkspace::Open("c:\\program files\\grids")->OpenFeatureClass("TILES"), nullptr);
  fs::remove_all(grids);
}

TEST(ShapefileWorkspace, RefusesWithClearErrorsAndWritesNothing) {
  TempDir dir;
  EXPECT_EQ(ErrorOf([&] { gd::ShapefileWorkspace::Open((dir / "missing").string()); }).number(),
            vb::err::PathNotFound);
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  vb::Error missing = ErrorOf([&] { ws->OpenFeatureClass("nothing"); });
  EXPECT_EQ(missing.number(), vb::err::FileNotFound);
  EXPECT_NE(missing.description().find("nothing"), std::string::npos);

  ws->CreateFeatureClass("grid", GridFields())->Flush();
  auto before = fs::file_size(dir / "grid.dbf");
  vb::Error exists = ErrorOf([&] { ws->CreateFeatureClass("GRID", GridFields()); });
  EXPECT_EQ(exists.number(), vb::err::FileAlreadyExists);
  EXPECT_NE(exists.description().find("grid.shp"), std::string::npos) << exists.description();
  EXPECT_EQ(fs::file_size(dir / "grid.dbf"), before);

  auto refused = [&](gd::FieldSet fields, const char* name = "other") {
    ErrorOf([&] { ws->CreateFeatureClass(name, fields); });
    EXPECT_FALSE(fs::exists(dir / (std::string(name) + ".shp")));
    EXPECT_FALSE(fs::exists(dir / (std::string(name) + ".dbf")));
  };
  refused({gd::Field("A", gd::FieldType::String)});  // no shape field
  refused({gd::Field::Shape("Shape", gd::GeometryType::Point), gd::Field("LONGFIELDNAME", gd::FieldType::Integer)});
  refused({gd::Field::Shape("Shape", gd::GeometryType::Point), gd::Field("A", gd::FieldType::Integer),
           gd::Field("a", gd::FieldType::String)});
  refused({gd::Field::Shape("Shape", gd::GeometryType::Point), gd::Field("T", gd::FieldType::String, 300)});
  refused({gd::Field::Shape("Shape", gd::GeometryType::Point)}, "bad/name");
  refused({gd::Field::Shape("Shape", gd::GeometryType::Point)}, "  ");

  // Deleting the set lets the name be used again.
  ws->DeleteFeatureClass("grid");
  EXPECT_FALSE(fs::exists(dir / "grid.shp"));
  EXPECT_FALSE(fs::exists(dir / "grid.dbf"));
  EXPECT_NO_THROW(ws->CreateFeatureClass("grid", GridFields()));
}

TEST(ShapefileWorkspace, FeatureValuesAndShapes) {
  TempDir dir;
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  auto fc = ws->CreateFeatureClass("grid", GridFields());
  gd::Feature f = fc->CreateFeature();
  EXPECT_TRUE(f.Value(2).IsNull());
  EXPECT_EQ(f.Value(3).AsString(), "");

  EXPECT_EQ(ErrorOf([&] { f.SetValue(3, "this is too long"); }).number(), vb::err::Overflow);
  EXPECT_EQ(ErrorOf([&] { f.SetValue(2, "twelve"); }).number(), vb::err::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { f.SetValue(8, "not a date"); }).number(), vb::err::TypeMismatch);
  EXPECT_EQ(ErrorOf([&] { f.SetValue(0, 5); }).number(), vb::err::InvalidCall);
  EXPECT_EQ(ErrorOf([&] { f.SetValue(1, 5); }).number(), vb::err::InvalidCall);
  EXPECT_EQ(ErrorOf([&] { f.SetShape(gd::Geometry::MakePoint(1, 1)); }).number(), vb::err::TypeMismatch);
  f.SetValue(2, "12");
  gd::Feature copy = f;  // a copy has its own changes
  copy.SetValue(2, 13);
  EXPECT_EQ(f.Value(2).AsLong(), 12);
  f.SetValue(3, "B   ");
  f.SetValue(6, 1.0 / 3);
  f.SetShape(Square(10, 20, 5));
  f.Store();

  EXPECT_EQ(f.Value(0).AsLong(), 0);
  EXPECT_EQ(f.Value(2).AsLong(), 12);
  EXPECT_EQ(f.Value(3).AsString(), "B");  // as the file gives it back
  EXPECT_DOUBLE_EQ(f.Value(6).AsDouble(), 0.33333333333);
  EXPECT_TRUE(f.Value(7).IsNull());
  vb::Error shape = ErrorOf([&] { f.Value(1); });
  EXPECT_EQ(shape.number(), vb::err::TypeMismatch);
  EXPECT_EQ(f.Extent(), gd::Envelope(10, 20, 15, 25));
  EXPECT_EQ(fc->Extent(), gd::Envelope(10, 20, 15, 25));

  // Changing a stored feature writes it again under the same object ID.
  auto again = fc->GetFeature(0);
  ASSERT_TRUE(again);
  again->SetValue(5, "B7");
  again->Store();
  EXPECT_EQ(fc->FeatureCount(), 1);
  fc->Flush();
  EXPECT_NE(RunCommand("ogrinfo -al '" + (dir / "grid.shp").string() + "'").find("MB_Label (String) = B7"), std::string::npos);

  // A feature created but never stored keeps its object ID: the next one is 2.
  fc->CreateFeature();
  gd::Feature third = fc->CreateFeature();
  EXPECT_EQ(third.OID(), 2);
  third.SetShape(Square(0, 0, 1));
  third.Store();
  EXPECT_EQ(Oids(fc->Search()), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_TRUE(fc->GetFeature(1)->Shape().IsEmpty());
}

TEST(ShapefileWorkspace, KeepsItsRowsWhileTheAttributeTableIsGoneOrCutShort) {
  TempDir dir;
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  {
    auto fc = ws->CreateFeatureClass("grid", GridFields());
    for (const char* label : {"A1", "A2"}) {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, label);
      f.Store();
    }
  }
  auto fc = ws->OpenFeatureClass("grid");
  const std::string dbf = testing_support::ReadFile(dir / "grid.dbf");
  // Deleted while the document is open: the rows read keep their attributes.
  fs::remove(dir / "grid.dbf");
  EXPECT_EQ(Where(*fc, "MB_Label = 'A2'"), (std::vector<int64_t>{1}));
  // Cut short, as a copy that stopped part way leaves it.
  testing_support::WriteFile(dir / "grid.dbf", dbf.substr(0, dbf.size() - 20));
  EXPECT_EQ(Where(*fc, "MB_Label = 'A2'"), (std::vector<int64_t>{1}));
  // Whole again: read again.
  testing_support::WriteFile(dir / "grid.dbf", dbf);
  EXPECT_EQ(fc->FeatureCount(), 2);
}

TEST(ShapefileWorkspace, FollowsFilesChangedOnDisk) {
  TempDir dir;
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  {
    auto fc = ws->CreateFeatureClass("grid", GridFields());
    gd::Feature f = fc->CreateFeature();
    f.SetValue(5, "A1");
    f.Store();
  }
  auto fc = ws->OpenFeatureClass("grid");
  EXPECT_EQ(Where(*fc, "MB_Label = 'A1'"), (std::vector<int64_t>{0}));

  // Someone else writes the set again, with other fields.
  for (const char* ext : {".shp", ".shx", ".dbf"}) fs::remove(dir / (std::string("grid") + ext));
  {
    GDALDriver* drv = GetGDALDriverManager()->GetDriverByName("ESRI Shapefile");
    GDALDatasetUniquePtr ds(drv->Create((dir / "grid.shp").c_str(), 0, 0, 0, GDT_Unknown, nullptr));
    OGRLayer* layer = ds->CreateLayer("grid", nullptr, wkbPoint, nullptr);
    OGRFieldDefn label("LABEL", OFTString);
    ASSERT_EQ(layer->CreateField(&label), OGRERR_NONE);
    for (const char* text : {"Z9", "Z10"}) {
      OGRFeature f(layer->GetLayerDefn());
      f.SetField(0, text);
      f.SetGeometry(gd::Geometry::MakePoint(1, 2).ogr());
      ASSERT_EQ(layer->CreateFeature(&f), OGRERR_NONE);
    }
  }
  EXPECT_EQ(Where(*fc, "LABEL = 'Z10'"), (std::vector<int64_t>{1}));
  EXPECT_EQ(fc->ShapeType(), gd::GeometryType::Point);
  EXPECT_EQ(fc->FindField("MB_Label"), -1);
  EXPECT_EQ(ErrorOf([&] { Where(*fc, "MB_Label = 'A1'"); }).number(), vb::err::HostFailure);
}

TEST(ShapefileWorkspace, SetMadeAgainIsSeenByWhoeverHeldTheOldOne) {
  TempDir dir;
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  auto make = [&](std::vector<std::string> labels) {
    auto fc = ws->CreateFeatureClass("grid", GridFields());
    for (const auto& label : labels) {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(5, label);
      f.Store();
    }
  };
  make({"A1", "A2"});
  auto held = ws->OpenFeatureClass("grid");  // as a layer holds it
  EXPECT_EQ(held->FeatureCount(), 2);
  // The old set's files are deleted one by one, as the grid builder does, and made again.
  for (const char* ext : {".dbf", ".shp", ".shx"}) fs::remove(dir / (std::string("grid") + ext));
  EXPECT_EQ(held->FeatureCount(), 2);  // the files are gone: the rows read stay
  make({"B1", "B2", "B3"});
  EXPECT_EQ(held->FeatureCount(), 3);
  EXPECT_EQ(Where(*held, "MB_Label = 'B3'"), (std::vector<int64_t>{2}));
  EXPECT_NE(ws->OpenFeatureClass("grid"), nullptr);
}

TEST(ShapefileWorkspace, OpensDbfAndCsvTables) {
  TempDir dir;
  testing_support::WriteFile(dir / "owners.csv",
                             "LABEL,OWNER,SINCE\r\nA1,Smith,1999\r\nA2,\"O'Neil, Pat\",2004\r\nA3,,\r\n");
  auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
  {
    auto fc = ws->CreateFeatureClass("grid", GridFields());
    gd::Feature f = fc->CreateFeature();
    f.SetValue(5, "A1");
    f.Store();
  }
  auto csv = ws->OpenTable("OWNERS.csv");
  EXPECT_EQ(csv->Name(), "owners");
  EXPECT_EQ(csv->OIDFieldName(), "OID");
  EXPECT_FALSE(csv->HasShape());
  EXPECT_EQ(csv->Fields().Field(3).Type(), gd::FieldType::Integer);
  EXPECT_EQ(Where(*csv, "OWNER = 'O''Neil, Pat'"), (std::vector<int64_t>{1}));
  EXPECT_EQ(Where(*csv, "SINCE IS NULL"), (std::vector<int64_t>{2}));
  EXPECT_EQ(ErrorOf([&] { csv->Search(gd::SpatialFilter(Square(0, 0, 1))); }).number(), vb::err::HostFailure);

  auto dbf = ws->OpenTable("grid.dbf");
  EXPECT_FALSE(dbf->HasShape());
  EXPECT_EQ(Where(*dbf, "MB_Label = 'A1'"), (std::vector<int64_t>{0}));
  EXPECT_TRUE(std::dynamic_pointer_cast<gd::FeatureClass>(ws->OpenTable("grid")));
  EXPECT_EQ(ws->OpenTable("owners")->Name(), "owners");
  EXPECT_EQ(ErrorOf([&] { ws->OpenTable("none.csv"); }).number(), vb::err::FileNotFound);
  EXPECT_EQ(ErrorOf([&] { dbf->GetRow(0)->Store(); }).number(), vb::err::PermissionDenied);
}

}  // namespace

TEST(ShapefileWorkspace, AShapefileWhoseTableIsMissingOrCutShortIsNotOpened) {
  TempDir dir;
  {
    auto ws = gd::ShapefileWorkspace::Open(dir.path().string());
    auto fc = ws->CreateFeatureClass("grid", GridFields());
    for (int i = 0; i < 3; ++i) {
      gd::Feature f = fc->CreateFeature();
      f.SetValue(fc->FindField("MB_Label"), "A" + std::to_string(i + 1));
      f.SetShape(Square(i * 100, 0, 100));
      f.Store();
    }
  }
  gd::ShapefileWorkspace::ClearCache();
  const fs::path dbf = dir.path() / "grid.dbf";
  const std::string whole = testing_support::ReadFile(dbf);
  auto open = [&] { return gd::ShapefileWorkspace::Open(dir.path().string())->OpenFeatureClass("grid"); };
  auto failure = [&](const std::string& table) {
    if (table.empty())
      fs::remove(dbf);
    else
      testing_support::WriteFile(dbf, table);
    vb::Error e = ErrorOf([&] { open(); });
    gd::ShapefileWorkspace::ClearCache();
    return e;
  };

  vb::Error missing = failure("");
  EXPECT_EQ(missing.number(), vb::err::FileNotFound);
  EXPECT_EQ(missing.description(),
            "Shapefile \"grid\" has no attribute table: \"grid.dbf\" not found in \"" + dir.path().string() + "\"");
  const std::string damaged = "Shapefile \"grid\" cannot be read: its attribute table \"grid.dbf\" is damaged or cut short";
  for (const std::string& table : {std::string(1, '\0'), whole.substr(0, 20), whole.substr(0, whole.size() - 30)})
    EXPECT_EQ(failure(table).description(), damaged) << table.size() << " bytes";

  testing_support::WriteFile(dbf, whole);
  EXPECT_EQ(Where(*open(), "MB_Label = 'A2'"), (std::vector<int64_t>{1}));
}
