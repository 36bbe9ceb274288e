// SPDX-License-Identifier: GPL-3.0-or-later
// The map document file and layer files: written, read back, and refused when bad.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/carto/carto_testing.h"
#include "support/temp_dir.h"

using namespace host;
using namespace host::carto;
using carto_testing::ErrorOf;
using carto_testing::ExpectEnvelope;
using carto_testing::WritePoints;
using carto_testing::WriteTiles;
using geodata::Envelope;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

class DocumentFile : public ::testing::Test {
 protected:
  void SetUp() override {
    tiles = WriteTiles(dir / "data", "tiles", 4, 3);
    points = WritePoints(dir / "data", "points", {{50, 50}, {150, 250}});
    WriteFile(dir / "data" / "owners.csv", "KEY,OWNER\nK1,Ann\nK2,Bob\n");
  }

  // Two maps, a group, a join, labels, a hollow fill, a selection, text and frames.
  std::unique_ptr<Document> Rich() {
    auto doc = std::make_unique<Document>();
    auto main = doc->Map(0);
    main->SetName("Mapbook_Main");
    main->SetMapUnits(Units::Feet);
    auto grid = std::make_shared<FeatureLayer>(tiles);
    grid->SetName("Grid");
    grid->AddJoin(dir / "data" / "owners.csv", "KEY", "KEY");
    grid->SetDefinitionQuery("OWNER <> 'Nobody' OR OWNER IS NULL");
    grid->Labels().SetExpression("[LABEL]");
    TextSymbol label;
    label.SetColor(RgbColor(0, 0, 0));
    label.SetSize(18);
    grid->Labels().SetSymbol(label);
    grid->SetDisplayAnnotation(true);
    SimpleFillSymbol hollow(RgbColor(0, 0, 0, 0));
    hollow.SetOutline(SimpleLineSymbol(RgbColor(255, 0, 0), 2));
    grid->SetRenderer(SimpleRenderer(hollow));
    geodata::QueryFilter two("FID IN (3, 8)");
    grid->SelectFeatures(&two);
    auto group = std::make_shared<GroupLayer>("Places");
    auto dots = std::make_shared<FeatureLayer>(points);
    dots->SetVisible(false);
    group->Add(dots);
    main->AddLayer(group);
    main->AddLayer(grid);
    main->SetExtent(Envelope(0, 0, 400, 300));

    auto index = std::make_shared<Map>("Mapbook_Index");
    auto frame = std::make_shared<MapFrame>(index);
    frame->SetGeometry(Envelope(3.5, 0.5, 5, 1.25));
    frame->SetBorder(SymbolBorder(SimpleLineSymbol(RgbColor(0, 0, 0), 2)));
    frame->SetExtentType(ExtentType::FixedScale);
    frame->SetAutoTransform(true);
    LocatorRectangle locator(std::make_shared<MapFrame>(main));  // a holder, not placed
    locator.SetBorder(SymbolBorder(SimpleLineSymbol(RgbColor(255, 0, 0), 4)));
    frame->AddLocatorRectangle(locator);
    doc->PageLayout().AddElement(frame);
    index->AddLayer(ObjectCopier().Copy(*grid));
    index->SetMapUnits(3);
    index->SetMapScale(index->MapScale() * 3);

    auto date = std::make_shared<TextElement>("MBDATE");
    TextSymbol bold;
    bold.SetHorizontalAlignment(HorizontalAlignment::Left);
    bold.SetFont(Font{"Arial", 10, true});
    date->SetSymbol(bold);
    date->SetGeometry(Envelope(0.25, 3, 1, 3.75));
    doc->PageLayout().AddElement(date);
    auto list = std::make_shared<TextElement>("\r\nAsh St... A1");
    list->SetGeometry(geodata::Point{1, 8.5});
    doc->PageLayout().AddElement(list, 2);

    doc->PageLayout().Page().PutSize(11, 8.5);
    doc->PageLayout().SetFocusMap(index);
    doc->SetActiveView(doc->PageLayout());
    return doc;
  }

  std::string OpenError(const std::string& json) {
    WriteFile(dir / "bad.json", json);
    return ErrorOf([&] { Document::Open((dir / "bad.json").string()); }).description();
  }

  std::string Prefix() const { return "Cannot open map document \"" + (dir / "bad.json").string() + "\": "; }

  testing_support::TempDir dir;
  std::shared_ptr<geodata::FeatureClass> tiles, points;
};

}  // namespace

TEST_F(DocumentFile, ADocumentReadsBackAsItWasWritten) {
  auto doc = Rich();
  const Envelope main_extent = doc->Map(0)->Extent();
  const double index_scale = doc->Map(1)->MapScale();
  ASSERT_TRUE(doc->Changed());
  doc->Save((dir / "book.json").string());
  EXPECT_FALSE(doc->Changed());
  EXPECT_EQ(doc->Title(), "book.json");

  auto back = Document::Open((dir / "book.json").string());
  EXPECT_FALSE(back->Changed());
  ASSERT_EQ(back->MapCount(), 2);
  EXPECT_TRUE(back->InLayoutView());
  EXPECT_EQ(back->FocusMap()->Name(), "Mapbook_Index");
  EXPECT_EQ(back->PageLayout().Page().Width(), 11);

  auto main = back->Map(0);
  EXPECT_EQ(main->Name(), "Mapbook_Main");
  EXPECT_EQ(main->MapUnits(), Units::Feet);
  ExpectEnvelope(main->Extent(), main_extent.XMin(), main_extent.YMin(), main_extent.XMax(), main_extent.YMax());
  ASSERT_EQ(main->LayerCount(), 2);
  auto grid = std::dynamic_pointer_cast<FeatureLayer>(main->Layer(0));
  ASSERT_TRUE(grid);
  EXPECT_EQ(grid->Name(), "Grid");
  EXPECT_EQ(grid->FeatureClass()->Path(), tiles->Path());
  ASSERT_TRUE(grid->HasJoin());
  EXPECT_EQ(grid->Join()->BaseKeyField(), "KEY");
  EXPECT_EQ(grid->DefinitionQuery(), "OWNER <> 'Nobody' OR OWNER IS NULL");
  EXPECT_EQ(grid->Labels().Expression(), "[LABEL]");
  EXPECT_EQ(grid->Labels().Symbol().Size(), 18);
  EXPECT_TRUE(grid->DisplayAnnotation());
  ASSERT_TRUE(grid->Renderer().FillSymbol());
  EXPECT_TRUE(grid->Renderer().FillSymbol()->IsHollow());
  EXPECT_EQ(grid->Renderer().FillSymbol()->Outline().Color(), RgbColor(255, 0, 0));
  EXPECT_EQ(grid->SelectionSet().IDs(), (std::vector<int64_t>{3, 8}));
  auto group = std::dynamic_pointer_cast<GroupLayer>(main->Layer(1));
  ASSERT_TRUE(group);
  EXPECT_FALSE(group->Layer(0)->Visible());

  auto index = back->Map(1);
  EXPECT_NEAR(index->MapScale(), index_scale, 1e-6);
  auto frame = back->PageLayout().FindFrame(*index);
  ASSERT_TRUE(frame);
  ExpectEnvelope(frame->Bounds(), 3.5, 0.5, 5, 1.25);
  EXPECT_EQ(frame->Border()->Width(), 2);
  EXPECT_EQ(frame->ExtentType(), ExtentType::FixedScale);
  EXPECT_TRUE(frame->AutoTransform());
  ASSERT_EQ(frame->LocatorRectangleCount(), 1);
  EXPECT_EQ(frame->LocatorRectangle(0).MapFrame()->Map(), main);  // the main map's own frame now
  EXPECT_EQ(frame->LocatorRectangle(0).Border()->Color(), RgbColor(255, 0, 0));

  auto elements = back->PageLayout().Elements();
  ASSERT_EQ(elements.size(), 4u);  // the new document's frame, the index frame, two texts
  auto date = std::dynamic_pointer_cast<TextElement>(elements[2]);
  ASSERT_TRUE(date);
  EXPECT_EQ(date->Text(), "MBDATE");
  EXPECT_TRUE(date->Symbol().Bold());
  EXPECT_EQ(date->Symbol().HorizontalAlign(), HorizontalAlignment::Left);
  auto list = std::dynamic_pointer_cast<TextElement>(elements[3]);
  EXPECT_EQ(list->Text(), "\r\nAsh St... A1");
  EXPECT_EQ(list->AnchorPoint()->X, 1);
  EXPECT_EQ(back->PageLayout().ZOrder(*list), 2);

  // Written again, the file is the same.
  back->Save((dir / "again.json").string());
  EXPECT_EQ(ReadFile(dir / "again.json"), ReadFile(dir / "book.json"));
  auto text = nlohmann::json::parse(ReadFile(dir / "book.json"));
  EXPECT_EQ(text["maps"][0]["layers"][0]["source"], "data/tiles.shp");
  EXPECT_EQ(text["maps"][0]["layers"][0]["join"]["table"], "data/owners.csv");
}

TEST_F(DocumentFile, DataSourcesAreFoundRelativeToTheFileOrThroughTheDrives) {
  // A document and its data moved together still open.
  fs::create_directories(dir / "moved");
  auto doc = Rich();
  doc->Save((dir / "book.json").string());
  fs::copy(dir / "data", dir / "moved" / "data");
  fs::copy_file(dir / "book.json", dir / "moved" / "book.json");
  auto moved = Document::Open((dir / "moved" / "book.json").string());
  EXPECT_EQ(std::dynamic_pointer_cast<FeatureLayer>(moved->Map(0)->Layer(0))->FeatureClass()->FolderPath(),
            dir / "moved" / "data");

  // Windows paths go through the drive map (D: is a test folder).
  const fs::path d = testing_support::DrivesRoot() / "d" / "gis";
  WriteTiles(d, "Parcels", 2, 2);
  WriteFile(dir / "win.json", R"({"maps": [{"name": "Main", "layers": [
      {"type": "feature", "name": "P", "source": "D:\\GIS\\parcels.shp"}]}]})");
  auto win = Document::Open((dir / "win.json").string());
  auto layer = std::dynamic_pointer_cast<FeatureLayer>(win->Map(0)->Layer(0));
  ASSERT_TRUE(layer);
  EXPECT_EQ(layer->FeatureClass()->FeatureCount(), 4);
  EXPECT_FALSE(win->InLayoutView());
  ExpectEnvelope(win->Map(0)->Extent(), -(1024 / 768.0 * 200 - 200) / 2, 0, 200 + (1024 / 768.0 * 200 - 200) / 2, 200);
  fs::remove_all(d);
}

TEST_F(DocumentFile, ALayerFileHoldsOneLayer) {
  auto doc = Rich();
  auto grid = std::dynamic_pointer_cast<FeatureLayer>(doc->Map(0)->Layer(0));
  SaveLayerFile(*grid, (dir / "data" / "Grid.lyr").string());
  auto text = nlohmann::json::parse(ReadFile(dir / "data" / "Grid.lyr"));
  EXPECT_EQ(text["type"], "feature");
  EXPECT_EQ(text["source"], "tiles.shp");

  auto back = std::dynamic_pointer_cast<FeatureLayer>(LoadLayerFile((dir / "data" / "Grid.lyr").string()));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->Name(), "Grid");
  EXPECT_EQ(back->FeatureClass(), tiles);  // the same open class
  EXPECT_EQ(back->Renderer(), grid->Renderer());
  EXPECT_EQ(back->AnnotationProperties(), grid->AnnotationProperties());
  EXPECT_EQ(back->SelectionSet().IDs(), grid->SelectionSet().IDs());

  SaveLayerFile(*doc->Map(0)->Layer(1), (dir / "group.lyr").string());
  auto group = std::dynamic_pointer_cast<GroupLayer>(LoadLayerFile((dir / "group.lyr").string()));
  ASSERT_TRUE(group);
  EXPECT_EQ(group->Layer(0)->Name(), "points");

  WriteFile(dir / "bad.lyr", R"({"type": "feature", "source": "data/gone.shp"})");
  EXPECT_EQ(ErrorOf([&] { LoadLayerFile((dir / "bad.lyr").string()); }).description(),
            "Cannot open layer file \"" + (dir / "bad.lyr").string() + "\": data source \"data/gone.shp\" not found");
}

TEST_F(DocumentFile, BadDocumentsAreRefusedWithOneMessage) {
  EXPECT_EQ(ErrorOf([&] { Document::Open((dir / "none.json").string()); }).description(),
            "Cannot open map document \"" + (dir / "none.json").string() + "\": the file does not exist");
  EXPECT_EQ(ErrorOf([&] { Document::Open((dir / "none.json").string()); }).number(), vb::err::FileNotFound);

  std::string broken = OpenError("{\"maps\": [\n  {\"name\": \"A\",,}\n]}");
  EXPECT_EQ(broken.rfind(Prefix() + "broken JSON: parse error at line 2, column 16", 0), 0u) << broken;

  const std::string layers = R"({"maps": [{"name": "Main", "layers": [
      {"type": "feature", "source": "data/tiles.shp"},
      {"type": "group", "name": "G", "layers": [{"type": "feature", "source": "data/roads.shp"}]}]}]})";
  EXPECT_EQ(OpenError(layers), Prefix() + "maps[0].layers[1].layers[0]: data source \"data/roads.shp\" not found");

  EXPECT_EQ(OpenError(R"({"maps": [{"layers": [{"type": "feature", "source": "data/tiles.shp"},
                                              {"type": "raster", "source": "x.tif"}]}]})"),
            Prefix() + "maps[0].layers[1]: unknown layer type \"raster\" (feature or group)");

  EXPECT_EQ(OpenError(R"({"maps": [{"name": "Main"}], "elements": [
      {"type": "mapFrame", "map": "Main", "envelope": [0, 0, 1, 1]},
      {"type": "mapFrame", "map": "Mapbook_Main", "envelope": [0, 0, 1, 1]}]})"),
            Prefix() + "elements[1].map: no map named \"Mapbook_Main\"");

  EXPECT_EQ(OpenError(R"({"maps": []})"), Prefix() + "maps: a map document holds at least one map");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A"}], "focusMap": 3})"), Prefix() + "focusMap: no map 3 (the document has 1)");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A", "extent": [5, 0, 1, 1]}]})"),
            Prefix() + "maps[0].extent: the minimum lies beyond the maximum");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A", "layers": [{"type": "feature", "source": "data/tiles.shp",
      "renderer": {"symbol": {"type": "fill", "color": [255, 0]}}}]}]})"),
            Prefix() + "maps[0].layers[0].renderer.symbol.color: expected [red, green, blue] or [red, green, blue, "
                       "transparency], each 0 to 255");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A", "layers": [{"type": "feature", "source": "data/tiles.shp",
      "definitionQuery": "NOPE = 1"}]}]})").rfind(Prefix() + "maps[0].layers[0].definitionQuery: ", 0), 0u);
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A", "layers": [{"type": "feature", "source": "data/tiles.shp",
      "join": {"table": "data/nobody.csv", "field": "KEY"}}]}]})"),
            Prefix() + "maps[0].layers[0].join: table \"data/nobody.csv\" not found");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A"}], "elements": [{"type": "legend"}]})"),
            Prefix() + "elements[0].type: unknown element type \"legend\" (text or mapFrame)");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A"}], "activeView": "page"})"),
            Prefix() + "activeView: expected layout or data, not \"page\"");
  EXPECT_EQ(OpenError(R"({"format": "zelvane-map-document", "version": 2, "maps": [{"name": "A"}]})"),
            Prefix() + "version: version 2 is newer than this host reads (1)");
}

TEST_F(DocumentFile, SavingWritesTheWholeFileOrNothing) {
  auto doc = Rich();
  doc->Save((dir / "book.json").string());
  const std::string before = ReadFile(dir / "book.json");

  // A layer that could not be read back refuses the save and leaves the old file.
  doc->Map(0)->AddLayer(std::make_shared<FeatureLayer>());
  doc->Map(0)->Layer(0)->SetName("Empty");
  EXPECT_EQ(ErrorOf([&] { doc->Save((dir / "book.json").string()); }).description(),
            "Cannot save map document \"" + (dir / "book.json").string() +
                "\": maps[0].layers[0]: the layer \"Empty\" has no data source");
  EXPECT_EQ(ReadFile(dir / "book.json"), before);
  EXPECT_TRUE(doc->Changed());

  doc->Map(0)->DeleteLayer(*doc->Map(0)->Layer(0));
  std::string missing = ErrorOf([&] { doc->Save((dir / "no" / "such" / "book.json").string()); }).description();
  EXPECT_NE(missing.find("does not exist"), std::string::npos) << missing;
  EXPECT_EQ(doc->FilePath(), dir / "book.json");

  // Nothing but the documents is left in the folder: no temporary files.
  doc->Save();
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir.path())) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"book.json", "data"}));

  Document fresh;
  EXPECT_EQ(ErrorOf([&] { fresh.Save(); }).number(), vb::err::InvalidCall);
}
