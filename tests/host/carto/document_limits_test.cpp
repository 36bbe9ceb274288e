// SPDX-License-Identifier: GPL-3.0-or-later
// Documents and layer files that try the reader: numbers out of range and nesting past
// what the reader takes. Each is refused with one message that names the file and place.

#include <gtest/gtest.h>

#include "host/app/application.h"
#include "host/carto/carto_testing.h"
#include "host/carto/document_file.h"
#include "host/carto/map.h"
#include "support/temp_dir.h"

using namespace host;
using namespace host::carto;
using carto_testing::ErrorOf;
using carto_testing::WriteTiles;
using testing_support::WriteFile;

namespace {

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A feature layer over the tiles, with more keys after it.
std::string Tiles(const std::string& more = "") {
  return R"({"type": "feature", "source": "data/tiles.shp")" + more + "}";
}

// Groups nested depth deep around the tiles layer.
std::string Groups(int depth) {
  return Repeat(R"({"type": "group", "name": "G", "layers": [)", depth) + Tiles() + Repeat("]}", depth);
}

std::string OneMap(const std::string& layer, const std::string& more = "") {
  return R"({"maps": [{"name": "A", "layers": [)" + layer + "]}]" + more + "}";
}

class DocumentLimits : public ::testing::Test {
 protected:
  void SetUp() override { WriteTiles(dir / "data", "tiles", 2, 2); }

  std::string OpenError(const std::string& text) {
    WriteFile(dir / "bad.json", text);
    return ErrorOf([&] { Document::Open((dir / "bad.json").string()); }).description();
  }
  std::string LayerError(const std::string& text) {
    WriteFile(dir / "bad.lyr", text);
    return ErrorOf([&] { LoadLayerFile((dir / "bad.lyr").string()); }).description();
  }
  std::string Prefix() const { return "Cannot open map document \"" + (dir / "bad.json").string() + "\": "; }
  std::string LayerPrefix() const { return "Cannot open layer file \"" + (dir / "bad.lyr").string() + "\": "; }

  testing_support::TempDir dir;
};

}  // namespace

TEST_F(DocumentLimits, ANumberTooLargeForADoubleIsABrokenFileWithItsPlace) {
  EXPECT_EQ(OpenError("{\"maps\": [{\"name\": \"A\",\n  \"extent\": [0, 0, 1e400, 1]}]}"),
            Prefix() + "broken JSON: parse error at line 2, column 24: number overflow parsing '1e400'");
  EXPECT_EQ(OpenError(R"({"page": {"width": -1e400}, "maps": [{"name": "A"}]})"),
            Prefix() + "broken JSON: parse error at line 1, column 25: number overflow parsing '-1e400'");
  EXPECT_EQ(LayerError(Tiles(R"(, "labels": {"classes": [{"symbol": {"size": 1e999}}]})")),
            LayerPrefix() + "broken JSON: parse error at line 1, column 96: number overflow parsing '1e999'");
  // Numbers that a double holds but the place does not take.
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A"}], "elements": [{"type": "text", "text": "x", "zOrder": 1e300}]})"),
            Prefix() + "elements[0].zOrder: expected a whole number");
  EXPECT_EQ(OpenError(R"({"maps": [{"name": "A"}], "elements": [{"type": "text", "text": "x", "zOrder": 2.5}]})"),
            Prefix() + "elements[0].zOrder: expected a whole number");
  EXPECT_EQ(OpenError(OneMap(Tiles(R"(, "selection": [18446744073709551615])"))),
            Prefix() + "maps[0].layers[0].selection: expected a list of object IDs");
  EXPECT_EQ(OpenError(OneMap(Tiles(R"(, "renderer": {"symbol": {"type": "fill", "color": [1e300, 0, 0]}})"))),
            Prefix() + "maps[0].layers[0].renderer.symbol.color: expected [red, green, blue] or [red, green, blue, "
                       "transparency], each 0 to 255");
}

TEST_F(DocumentLimits, GroupLayersNestedPastTheLimitAreRefused) {
  const std::string message = "maps[0].layers[0]: group layers nest more than 256 deep";
  EXPECT_EQ(OpenError(OneMap(Groups(10000))), Prefix() + message);
  EXPECT_EQ(OpenError(OneMap(Groups(257))), Prefix() + message);
  EXPECT_EQ(OpenError(OneMap(Tiles() + ", " + Groups(300))),
            Prefix() + "maps[0].layers[1]: group layers nest more than 256 deep");
  EXPECT_EQ(LayerError(Groups(10000)), LayerPrefix() + "group layers nest more than 256 deep");

  // Up to the limit they read, and the layer at the bottom is there.
  WriteFile(dir / "deep.json", OneMap(Groups(256)));
  auto doc = Document::Open((dir / "deep.json").string());
  std::shared_ptr<Layer> layer = doc->Map(0)->Layer(0);
  for (int i = 0; i < 256; ++i) layer = std::dynamic_pointer_cast<GroupLayer>(layer)->Layer(0);
  EXPECT_EQ(layer->Name(), "tiles");
  WriteFile(dir / "deep.lyr", Groups(256));
  EXPECT_NE(std::dynamic_pointer_cast<GroupLayer>(LoadLayerFile((dir / "deep.lyr").string())), nullptr);
}

TEST_F(DocumentLimits, ADeepDefinitionQueryIsRefusedAtItsPlace) {
  const std::string deep = Repeat("(", 20000) + "FID = 1" + Repeat(")", 20000);
  EXPECT_EQ(OpenError(OneMap(Tiles(R"(, "definitionQuery": ")" + deep + "\""))),
            Prefix() + "maps[0].layers[0].definitionQuery: Where clause nested more than 256 deep (parentheses and "
                       "NOT): \"" + Repeat("(", 60) + "...\"");
  EXPECT_EQ(LayerError(Tiles(R"(, "definitionQuery": ")" + Repeat("NOT ", 50000) + "FID = 1\"")),
            LayerPrefix() + "definitionQuery: Where clause nested more than 256 deep (parentheses and NOT): \"" +
                Repeat("NOT ", 15) + "...\"");
}

TEST_F(DocumentLimits, JsonNestedFarDeeperThanADocumentReadsAndIsRefused) {
  // The JSON reader builds and frees the tree without recursion.
  const std::string arrays = Repeat("[", 200000) + Repeat("]", 200000);
  EXPECT_EQ(OpenError(R"({"maps": )" + arrays + "}"), Prefix() + "maps[0]: expected an object");
  EXPECT_EQ(OpenError(arrays), Prefix() + "expected an object");
  EXPECT_EQ(OpenError(Repeat(R"({"a": )", 200000) + "1" + Repeat("}", 200000)),
            Prefix() + "maps: a map document holds at least one map");
  EXPECT_EQ(LayerError(Repeat("[", 200000)).rfind(LayerPrefix() + "broken JSON: parse error at line 1, column 200001", 0), 0u);
}

TEST_F(DocumentLimits, TheHostKeepsItsDocumentWhenANewOneFails) {
  app::Application application;
  WriteFile(dir / "good.json", OneMap(Tiles(R"(, "name": "Kept")")));
  application.OpenDocument((dir / "good.json").string());
  for (const std::string& bad : {std::string(R"({"maps": [{"name": "A", "extent": [0, 0, 1e400, 1]}]})"),
                                 OneMap(Groups(10000)),
                                 OneMap(Tiles(R"(, "definitionQuery": ")" + Repeat("(", 20000) + "\""))}) {
    WriteFile(dir / "bad.json", bad);
    vb::Error e = ErrorOf([&] { application.OpenDocument((dir / "bad.json").string()); });
    EXPECT_EQ(e.description().rfind(Prefix(), 0), 0u) << e.description();
    EXPECT_EQ(e.number(), vb::err::HostFailure);
    EXPECT_EQ(application.GetDocument().Map(0)->Layer(0)->Name(), "Kept");
  }
}

TEST_F(DocumentLimits, GroupsTooDeepToReadBackAreNotWritten) {
  auto tiles = geodata::ShapefileWorkspace::Open((dir / "data").string())->OpenFeatureClass("tiles");
  auto doc = std::make_unique<Document>();
  auto deep = [&](int depth) {
    std::shared_ptr<Layer> layer = std::make_shared<FeatureLayer>(tiles);
    for (int i = 0; i < depth; ++i) {
      auto group = std::make_shared<GroupLayer>("G");
      group->Add(layer);
      layer = group;
    }
    return layer;
  };
  doc->Map(0)->AddLayer(deep(256));
  doc->Save((dir / "ok.json").string());
  EXPECT_NE(Document::Open((dir / "ok.json").string()), nullptr);

  doc->Map(0)->AddLayer(deep(257));
  const std::string path = (dir / "deep.json").string();
  std::string message = ErrorOf([&] { doc->Save(path); }).description();
  EXPECT_EQ(message.rfind("Cannot save map document \"" + path + "\": maps[0].layers[0]", 0), 0u) << message;
  EXPECT_NE(message.find(": group layers nest more than 256 deep"), std::string::npos);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(ErrorOf([&] { SaveLayerFile(*doc->Map(0)->Layer(0), (dir / "deep.lyr").string()); }).description().rfind(
                "Cannot save layer file \"" + (dir / "deep.lyr").string() + "\": group layers nest", 0),
            0u);
  EXPECT_TRUE(doc->Changed());  // the changed-state snapshot still takes it
}
