// SPDX-License-Identifier: GPL-3.0-or-later
// The label classes' placement settings in the map document: read, written back only
// when set, and refused with one message when bad.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/carto/carto_testing.h"
#include "support/temp_dir.h"

using namespace host;
using namespace host::carto;
using carto_testing::ErrorOf;
using carto_testing::WriteTiles;
using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

namespace fs = std::filesystem;

class LabelSettings : public ::testing::Test {
 protected:
  void SetUp() override { WriteTiles(dir / "data", "tiles", 2, 2); }

  // A document whose one layer has the label class given.
  fs::path Write(const std::string& labelClass) {
    WriteFile(dir / "book.json", R"({"maps": [{"name": "A", "layers": [{"type": "feature", "source": "data/tiles.shp",
      "labels": {"display": true, "classes": [)" + labelClass + "]}}]}]}");
    return dir / "book.json";
  }
  const LabelProperties& Class(const Document& doc) const {
    return dynamic_cast<const FeatureLayer&>(*doc.Map(0)->Layer(0)).Labels();
  }
  std::string OpenError(const std::string& labelClass) {
    fs::path file = Write(labelClass);
    return ErrorOf([&] { Document::Open(file.string()); }).description();
  }
  std::string Prefix() const {
    return "Cannot open map document \"" + (dir / "book.json").string() + "\": maps[0].layers[0].labels.classes[0].";
  }

  testing_support::TempDir dir;
};

}  // namespace

TEST_F(LabelSettings, WithoutThemLinesHaveAWhiteHaloAndEveryLabelMayOverrun) {
  auto doc = Document::Open(Write(R"({"expression": "[LABEL]"})").string());
  const LabelProperties& p = Class(*doc);
  ASSERT_TRUE(p.Halo(true));
  EXPECT_EQ(*p.Halo(true), (LabelHalo{RgbColor(255, 255, 255), 1}));
  EXPECT_FALSE(p.Halo(false));
  EXPECT_FALSE(p.Priority());
  EXPECT_EQ(p.RepeatDistance(), 0);
  EXPECT_TRUE(p.AllowOverrun());

  // Saved again, the class says no more than it did: older readers see what they knew.
  doc->Save((dir / "again.json").string());
  auto saved = nlohmann::json::parse(ReadFile(dir / "again.json"));
  const auto& c = saved["maps"][0]["layers"][0]["labels"]["classes"][0];
  EXPECT_FALSE(c.contains("halo"));
  EXPECT_FALSE(c.contains("priority"));
  EXPECT_FALSE(c.contains("repeatDistance"));
  EXPECT_FALSE(c.contains("allowOverrun"));
}

TEST_F(LabelSettings, SetOnesAreReadAndWrittenBack) {
  auto doc = Document::Open(Write(R"({"expression": "[LABEL]", "halo": {"color": [255, 255, 200], "width": 1.5},
      "priority": 2, "repeatDistance": 144, "allowOverrun": false})").string());
  const LabelProperties& p = Class(*doc);
  EXPECT_EQ(*p.Halo(false), (LabelHalo{RgbColor(255, 255, 200), 1.5}));  // set, it is on for every shape
  EXPECT_EQ(p.Priority(), 2);
  EXPECT_EQ(p.RepeatDistance(), 144);
  EXPECT_FALSE(p.AllowOverrun());
  doc->Save((dir / "again.json").string());
  auto back = Document::Open((dir / "again.json").string());
  EXPECT_EQ(Class(*back), p);

  auto off = Document::Open(Write(R"({"expression": "[LABEL]", "halo": false})").string());
  EXPECT_FALSE(Class(*off).Halo(true));
  off->Save((dir / "off.json").string());
  EXPECT_EQ(nlohmann::json::parse(ReadFile(dir / "off.json"))["maps"][0]["layers"][0]["labels"]["classes"][0]["halo"],
            false);
  EXPECT_EQ(Class(*Document::Open((dir / "off.json").string())), Class(*off));

  // true is the default halo for every shape.
  auto on = Document::Open(Write(R"({"expression": "[LABEL]", "halo": true})").string());
  EXPECT_EQ(*Class(*on).Halo(false), LabelHalo{});
}

TEST_F(LabelSettings, BadSettingsAreRefusedWithTheirPlace) {
  EXPECT_EQ(OpenError(R"({"halo": 3})"), Prefix() + "halo: expected {\"color\": C, \"width\": W}, true or false");
  EXPECT_EQ(OpenError(R"({"halo": {"width": 0}})"), Prefix() + "halo.width: must be more than 0");
  EXPECT_EQ(OpenError(R"({"halo": {"color": [300, 0, 0]}})"),
            Prefix() + "halo.color: expected [red, green, blue] or [red, green, blue, transparency], each 0 to 255");
  EXPECT_EQ(OpenError(R"({"priority": 1.5})"), Prefix() + "priority: expected a whole number 0 to 1000000");
  EXPECT_EQ(OpenError(R"({"priority": -1})"), Prefix() + "priority: expected a whole number 0 to 1000000");
  EXPECT_EQ(OpenError(R"({"repeatDistance": -2})"), Prefix() + "repeatDistance: must not be less than 0");
  EXPECT_EQ(OpenError(R"({"repeatDistance": "far"})"), Prefix() + "repeatDistance: expected a number");
  EXPECT_EQ(OpenError(R"({"allowOverrun": "yes"})"), Prefix() + "allowOverrun: expected true or false");
}
