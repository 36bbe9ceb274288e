#pragma once
// The Layout tab's tests: the demo town with a 3 x 2 grid in the data frame "Layers",
// the window applied to the grid layer, the document in layout view; and small
// shapefiles of tiles and roads drawn to order.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/ui/user.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

namespace layout_test {

namespace geo = host::geodata;

struct Tile {
  std::string label;
  geo::Envelope box;
};

struct Road {
  std::string name;
  geo::Point from, to;
};

// tiles.shp in C:\town: polygons with the grid's four fields (the label as given).
inline void WriteTiles(const std::string& name, const std::vector<Tile>& tiles) {
  auto ws = geo::ShapefileWorkspace::Open("C:\\town");
  if (ws->FeatureClassExists(name)) ws->DeleteFeatureClass(name);
  geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Polygon), geo::Field("MB_Index", geo::FieldType::Integer),
                       geo::Field("MB_Row", geo::FieldType::String, 12), geo::Field("MB_Column", geo::FieldType::String, 12),
                       geo::Field("MB_Label", geo::FieldType::String, 24)};
  auto fc = ws->CreateFeatureClass(name, fields);
  int n = 0;
  for (const Tile& t : tiles) {
    geo::Feature f = fc->CreateFeature();
    f.SetShape(geo::Geometry::FromEnvelope(t.box));
    f.SetValue(fc->FindField("MB_Index"), ++n);
    f.SetValue(fc->FindField("MB_Row"), t.label.substr(0, 1));
    f.SetValue(fc->FindField("MB_Column"), t.label.size() > 1 ? t.label.substr(1) : std::string());
    f.SetValue(fc->FindField("MB_Label"), t.label);
    f.Store();
  }
  fc->Flush();
}

// A polyline shapefile in C:\town with a text field NAME.
inline void WriteRoads(const std::string& name, const std::vector<Road>& roads) {
  auto ws = geo::ShapefileWorkspace::Open("C:\\town");
  if (ws->FeatureClassExists(name)) ws->DeleteFeatureClass(name);
  geo::FieldSet fields{geo::Field::Shape("Shape", geo::GeometryType::Polyline), geo::Field("NAME", geo::FieldType::String, 40)};
  auto fc = ws->CreateFeatureClass(name, fields);
  for (const Road& r : roads) {
    geo::Feature f = fc->CreateFeature();
    f.SetShape(geo::Geometry::MakePolyline(std::vector<geo::Point>{r.from, r.to}));
    f.SetValue(fc->FindField("NAME"), r.name);
    f.Store();
  }
  fc->Flush();
}

// A row of square tiles of the given size from the origin, labelled as given.
inline std::vector<Tile> TileRow(const std::vector<std::string>& labels, double width = 100, double height = 100) {
  std::vector<Tile> tiles;
  for (size_t i = 0; i < labels.size(); ++i)
    tiles.push_back({labels[i], geo::Envelope(double(i) * width, 0, double(i + 1) * width, height)});
  return tiles;
}

class LayoutTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown();
    layers = doc().FocusMap();
    layers->AddLayer(Layer("streets"));
    layers->AddLayer(Layer("grid"));
  }
  void TearDown() override {
    std::filesystem::remove(ProgramFolder() / "LocationText.txt");
    std::filesystem::remove(ProgramFolder() / "LocationTable.txt");
    ProgramTest::TearDown();
  }
  // The program started, the grid layer applied (its search field MB_Label), layout view.
  void Start(const std::string& gridLayer = "grid") {
    StartProgram();
    host::ui::ClearBoxLog();
    main().cboMapLayers.pick(gridLayer);
    main().btnLayerApply.click();
    doc().SetActiveView(doc().PageLayout());
    ASSERT_TRUE(Boxes().empty());
  }
  static void Step(std::function<void()> f) { host::ui::ScriptedUser::Instance().PushStep(std::move(f)); }
  std::shared_ptr<host::carto::Map> MapNamed(const std::string& name, int nth = 0) {
    for (const auto& m : doc().Maps())
      if (m->Name() == name && nth-- == 0) return m;
    return nullptr;
  }
  std::vector<std::shared_ptr<host::carto::TextElement>> TextElements() {
    std::vector<std::shared_ptr<host::carto::TextElement>> texts;
    for (const auto& e : doc().PageLayout().Elements())
      if (auto t = std::dynamic_pointer_cast<host::carto::TextElement>(e)) texts.push_back(t);
    return texts;
  }

  std::shared_ptr<host::carto::Map> layers;
};

}  // namespace layout_test
