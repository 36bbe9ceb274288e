// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The Layout tab's tests: the demo town with a 3 x 2 grid in the data frame "Layers",
// and small shapefiles of tiles and roads drawn to order, all in C:\town.

#include <gtest/gtest.h>

#include <type_traits>

#include "host/carto/page_layout.h"
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

// Polygons with the grid's fields, or polylines with NAME.
template <typename T>
void WriteShapes(const std::string& name, const std::vector<T>& shapes) {
  constexpr bool tiles = std::is_same_v<T, Tile>;
  auto ws = geo::ShapefileWorkspace::Open("C:\\town");
  geo::FieldSet fields{geo::Field::Shape("Shape", tiles ? geo::GeometryType::Polygon : geo::GeometryType::Polyline)};
  for (const char* f : tiles ? std::vector<const char*>{"MB_Row", "MB_Column", "MB_Label"} : std::vector<const char*>{"NAME"})
    fields.AddField(geo::Field(f, geo::FieldType::String, 24));
  auto fc = ws->CreateFeatureClass(name, fields);
  for (const T& s : shapes) {
    geo::Feature f = fc->CreateFeature();
    if constexpr (tiles) {
      f.SetShape(geo::Geometry::FromEnvelope(s.box));
      for (const char* field : {"MB_Row", "MB_Column", "MB_Label"}) f.SetValue(fc->FindField(field), s.label);
    } else {
      f.SetShape(geo::Geometry::MakePolyline(std::vector<geo::Point>{s.from, s.to}));
      f.SetValue(fc->FindField("NAME"), s.name);
    }
    f.Store();
  }
  fc->Flush();
}

class LayoutTest : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    layers = TownWithStreetsAndGrid();
  }
  void TearDown() override {
    for (const char* f : {"LocationText.txt", "LocationTable.txt"}) std::filesystem::remove(ProgramFolder() / f);
    ProgramTest::TearDown();
  }
  // The program started, the grid layer applied (search field MB_Label), layout view.
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
  static void ExpectFont(const host::carto::TextElement& t, double size) {
    EXPECT_EQ(t.Symbol().FontName(), "Arial");
    EXPECT_EQ(t.Symbol().Size(), size);
    EXPECT_TRUE(t.Symbol().Bold());
    EXPECT_EQ(t.Symbol().HorizontalAlign(), host::carto::HorizontalAlignment::Left);
  }

  std::shared_ptr<host::carto::Map> layers;
};

}  // namespace layout_test
