#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>

#include "host/vb/text.h"
#include "layout_fixture.h"
#include "mapbooks/layout/LocationIndex.h"
#include "mapbooks/layout/frmIndex.h"

using namespace mapbooks;
using namespace layout_test;
namespace carto = host::carto;
using host::ui::vbOK;

namespace {

// Four tiles in a row; the first walked is A10, the last has a blank label.
const std::vector<Tile> kSheets{{"A10", geo::Envelope(100, 0, 200, 100)},
                                {"A1", geo::Envelope(0, 0, 100, 100)},
                                {"a1", geo::Envelope(200, 0, 300, 100)},
                                {"  ", geo::Envelope(300, 0, 400, 100)}};

const std::vector<Road> kRoads{
    {"Main St", {10, 50}, {150, 50}},       // A10 and A1
    {"MAIN ST", {210, 50}, {250, 50}},      // a1
    {"O'Brien Ave", {50, 10}, {50, 90}},    // A1
    {"O'Brien Ave", {60, 10}, {60, 90}},    // A1 again
    {"O'Brien Ave", {220, 10}, {220, 90}},  // a1: the same label but for case
    {"   ", {20, 20}, {30, 30}},            // a blank name
    {"", {25, 25}, {35, 35}},               // no name
    {"Oak Rd", {350, 50}, {360, 50}},       // only in the tile without a label
    {"Elm St", {50, 60}, {60, 60}},         // A1
    {"Elm St", {150, 60}, {160, 60}},       // A10
    {"elm st", {250, 60}, {260, 60}},       // a1
};

class LocationIndexWizard : public LayoutTest {
 protected:
  void SetUp() override {
    LayoutTest::SetUp();
    WriteTiles("sheets", kSheets);
    WriteRoads("roads", kRoads);
    sheets = Layer("sheets");
    roads = Layer("roads");
    layers->AddLayer(roads);
    layers->AddLayer(sheets);
  }
  static frmIndex& wizard() { return dynamic_cast<frmIndex&>(*host::ui::FindLoadedForm("frmIndex")); }
  // One press of Next with the given search layer, output and columns (the grid as preselected).
  static void Next(const std::string& search, host::ui::OptionButton frmIndex::*output, const std::string& columns = "1") {
    frmIndex& w = wizard();
    w.cboSearchLayers.pick(search);
    w.cboSearchLayerFields.SetText("NAME");
    (w.*output).click();
    w.txtNum.paste(columns);
    w.btnNext.click();
  }
  // A step of the open wizard, then the answers to the boxes it shows.
  static void Then(std::function<void()> step, int okBoxes = 0) {
    Step(std::move(step));
    for (int i = 0; i < okBoxes; ++i) Answer(vbOK);
  }
  // Opens the wizard, which plays the steps queued, and closes it with Cancel.
  void Run() {
    Step([] { wizard().btnCancel.click(); });
    main().btnIndex.click();
    EXPECT_EQ(host::ui::FindLoadedForm("frmIndex"), nullptr);
  }
  static std::string Read(const char* name) {
    std::ifstream in(ProgramFolder() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static std::string Path(const char* name) {
    return "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\" + std::string(name);
  }
  std::shared_ptr<carto::FeatureLayer> sheets, roads;
};

}  // namespace

TEST_F(LocationIndexWizard, OpensOnThePrimaryFrameInLayoutViewWithTheGridPreselected) {
  Start("sheets");
  doc().SetActiveView(*layers);
  Then([&] {
    EXPECT_TRUE(doc().InLayoutView());
    EXPECT_EQ(doc().FocusMap(), layers);
    frmIndex& w = wizard();
    EXPECT_TRUE(w.IsModal());
    EXPECT_EQ(w.Caption(), "ZelvaneMapbooks - Build Location Index");
    const std::vector<std::string> all{"sheets", "roads", "grid", "streets"};
    EXPECT_EQ(w.cboMapLayers.Items(), all);
    EXPECT_EQ(w.cboSearchLayers.Items(), all);
    EXPECT_EQ(w.cboMapLayers.Text(), "sheets");
    EXPECT_EQ(w.cboLayerFields.Text(), "MB_Label");
    EXPECT_EQ(w.cboSearchLayers.Text(), "");
    EXPECT_EQ(w.cboSearchLayerFields.ListCount(), 0);
    EXPECT_TRUE(w.optText.Value());
    EXPECT_EQ(w.txtNum.Text(), "1");
    EXPECT_TRUE(w.btnNext.Default());
    EXPECT_FALSE(w.lstOut.Visible());
    w.cboSearchLayers.pick("roads");
    EXPECT_EQ(w.cboSearchLayerFields.Items(), (std::vector<std::string>{"FID", "Shape", "NAME"}));
    EXPECT_EQ(w.cboSearchLayerFields.Text(), "");
    w.cboMapLayers.pick("grid");
    EXPECT_EQ(w.cboLayerFields.Text(), "");  // no preselection on a pick
    EXPECT_EQ(w.cboLayerFields.FindItem("MB_Label", false), 5);
  });
  Run();
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(LocationIndexWizard, TextFileAndTableHoldTheIndexInTheirOrders) {
  Start("sheets");
  Then(
      [] {
        Next("roads", &frmIndex::optText);
        // Keys by exact case; entries without regard to case; A1 is not taken for part of A10.
        EXPECT_EQ(wizard().lstOut.Items(),
                  (std::vector<std::string>{"elm st... a1", "Elm St... A10, A1", "MAIN ST... a1", "Main St... A10, A1",
                                            "O'Brien Ave... A1"}));
      },
      1);
  Then(
      [] {
        Next("roads", &frmIndex::optTable);
        EXPECT_EQ(wizard().lstOut.ListCount(), 5);
      },
      1);
  Run();
  EXPECT_EQ(Read("LocationText.txt"),
            "elm st... a1\r\nElm St... A10, A1\r\nMAIN ST... a1\r\nMain St... A10, A1\r\nO'Brien Ave... A1\r\n");
  EXPECT_EQ(Read("LocationTable.txt"),
            "Main St\tA10\tA1\r\nElm St\tA10\tA1\r\nO'Brien Ave\tA1\r\nMAIN ST\ta1\r\nelm st\ta1\r\n");
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text, "Created text file: \r\n" + Path("LocationText.txt"));
  EXPECT_EQ(Boxes()[0].style, host::ui::vbOKOnly);
  EXPECT_EQ(Boxes()[1].text, "Created tab-delimited table: \r\n" + Path("LocationTable.txt"));
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

TEST_F(LocationIndexWizard, GridDefinitionQueryLimitsTheTilesButNotTheProgressorNorTheSearchLayer) {
  Start("sheets");
  sheets->SetDefinitionQuery("MB_Label <> 'A10'");
  roads->SetDefinitionQuery("NAME = 'nothing'");
  host::app::StepProgressor& p = app->GetStatusBar().GetProgressBar();
  int shown_changes = 0;
  p.SetListener([&](const host::app::StepProgressor& q) { shown_changes += q.Visible() ? 1 : 0; });
  // An old file is replaced.
  testing_support::WriteFile(ProgramFolder() / "LocationTable.txt", "old contents that are longer than the new\r\n");
  Then([] { Next("roads", &frmIndex::optTable); }, 1);
  Run();
  p.SetListener(nullptr);
  EXPECT_EQ(Read("LocationTable.txt"),
            "Main St\tA1\r\nO'Brien Ave\tA1\r\nElm St\tA1\r\nMAIN ST\ta1\r\nelm st\ta1\r\n");
  EXPECT_EQ(p.MinRange(), 1);
  EXPECT_EQ(p.MaxRange(), 4);
  EXPECT_EQ(p.Message(), "Building index...");
  EXPECT_FALSE(p.Visible());
  EXPECT_EQ(shown_changes, 1 + 3);  // shown, then one step for each of the three tiles walked
}

TEST_F(LocationIndexWizard, MapElementsStandInColumns) {
  std::vector<Road> many;
  for (int i = 0; i < 10; ++i) many.push_back({"R" + std::to_string(i), {10.0 + i, 10}, {10.0 + i, 20}});
  WriteRoads("many", many);
  layers->AddLayer(Layer("many"));
  Start("sheets");
  const size_t before = TextElements().size();
  const long refreshes = doc().PageLayout().PartialRefreshCount();
  Then([] { Next("many", &frmIndex::optElement, "3"); });
  Then([] { Next("many", &frmIndex::optElement, "2.5"); });
  Then([] { Next("roads", &frmIndex::optElement, "7"); });
  Run();
  EXPECT_TRUE(Boxes().empty());
  auto texts = TextElements();
  ASSERT_EQ(texts.size(), before + 3 + 2 + 7);
  texts.erase(texts.begin(), texts.begin() + long(before));
  auto lines = [](int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) text += "\r\nR" + std::to_string(i) + "... A1";
    return text;
  };
  const std::vector<std::string> expected{
      lines(0, 3), lines(4, 7), lines(8, 9),  // 10 lines in 3 columns
      lines(0, 4), lines(5, 9),               // 2.5 counts as 2
      "\r\nelm st... a1", "\r\nElm St... A10, A1", "\r\nMAIN ST... a1", "\r\nMain St... A10, A1",
      "\r\nO'Brien Ave... A1", "", ""};  // 5 in 7
  const double top = doc().PageLayout().Page().PrintableBounds().Height() - 2.5;
  const int columns[] = {1, 2, 3, 1, 2, 1, 2, 3, 4, 5, 6, 7};
  for (size_t i = 0; i < texts.size(); ++i) {
    const auto& t = *texts[i];
    EXPECT_EQ(t.Text(), expected[i]) << i;
    ASSERT_TRUE(t.AnchorPoint()) << i;
    EXPECT_EQ(*t.AnchorPoint(), (geo::Point{2.0 * columns[i] - 1, top})) << i;
    EXPECT_EQ(t.Symbol().FontName(), "Arial");
    EXPECT_EQ(t.Symbol().Size(), 6);
    EXPECT_TRUE(t.Symbol().Bold());
    EXPECT_EQ(t.Symbol().HorizontalAlign(), carto::HorizontalAlignment::Left);
    EXPECT_EQ(doc().PageLayout().ZOrder(t), 0);
  }
  EXPECT_EQ(doc().PageLayout().PartialRefreshCount(), refreshes + 12);
  EXPECT_FALSE(std::filesystem::exists(ProgramFolder() / "LocationText.txt"));
}

TEST_F(LocationIndexWizard, ChecksComeInOrderAndEmptyTheList) {
  WriteRoads("nowhere", {{"Far Rd", {1000, 1000}, {1100, 1000}}});
  layers->AddLayer(Layer("nowhere"));
  Start("sheets");
  auto check = [](const std::function<void(frmIndex&)>& set) {
    Then(
        [set] {
          frmIndex& w = wizard();
          w.cboSearchLayers.pick("roads");
          w.cboSearchLayerFields.SetText("NAME");
          w.cboMapLayers.SetText("sheets");
          w.cboLayerFields.SetText("MB_Label");
          w.txtNum.paste("1");
          set(w);
          w.lstOut.AddItem("left over");
          w.btnNext.click();
          EXPECT_EQ(w.lstOut.ListCount(), 0);
        },
        1);
  };
  check([](frmIndex& w) { w.txtNum.paste("abc"); });
  check([](frmIndex& w) { w.txtNum.paste("0"); });
  check([](frmIndex& w) { w.txtNum.paste("-1"); });
  check([](frmIndex& w) {
    w.cboLayerFields.SetText("  ");
    w.cboSearchLayerFields.SetText("");
    w.cboMapLayers.SetText("no layer");
  });
  check([](frmIndex& w) {
    w.cboSearchLayerFields.SetText(" ");
    w.cboMapLayers.SetText("no layer");
  });
  check([](frmIndex& w) {
    w.cboMapLayers.SetText("no layer");
    w.cboSearchLayers.SetText("no layer");
  });
  check([](frmIndex& w) {
    w.cboLayerFields.SetText("NOPE");
    w.cboSearchLayers.SetText("no layer");
  });
  check([](frmIndex& w) { w.cboSearchLayers.SetText("no layer"); });
  check([](frmIndex& w) { w.cboSearchLayerFields.SetText("WHAT"); });
  check([](frmIndex& w) {
    w.cboMapLayers.SetText("roads");
    w.cboLayerFields.SetText("NAME");
  });
  check([](frmIndex& w) { w.txtNum.paste("40000"); });
  // An empty index still writes its (empty) file and says so.
  Then(
      [] {
        frmIndex& w = wizard();
        w.cboSearchLayers.pick("nowhere");
        w.cboSearchLayerFields.SetText("NAME");
        w.cboMapLayers.SetText("sheets");
        w.cboLayerFields.SetText("MB_Label");
        w.txtNum.paste("1");
        w.btnNext.click();
      },
      1);
  Run();
  const std::vector<std::string> expected{
      "Please enter a numeric value for the column number", "Column number must be greate than 0",
      "Column number must be greate than 0", "Please select a label field from the grid layer",
      "Please select a label field from the search layer", "Can't find grid layer: no layer",
      "Can't find field: NOPE", "Can't find search layer: no layer", "Can't find field: WHAT",
      "Grid layer must be of type Polygon"};
  ASSERT_EQ(Boxes().size(), expected.size() + 2);
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(Boxes()[i].text, expected[i]) << i;
    EXPECT_EQ(Boxes()[i].style, host::ui::vbOKOnly);
  }
  EXPECT_NE(Boxes()[10].text.find("ERROR NUMBER: 6\r\nMODULE: btnNext_Click frmIndex \r\n"), std::string::npos);
  EXPECT_EQ(Boxes()[11].text, "Created text file: \r\n" + Path("LocationText.txt"));
  EXPECT_EQ(Read("LocationText.txt"), "");
  EXPECT_FALSE(app->GetStatusBar().GetProgressBar().Visible());
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

// The demo town's streets against its grid, checked against a plain walk over every
// tile and street pair.
TEST_F(LocationIndexWizard, TheTownsStreetsAgainstItsGrid) {
  Start("grid");
  auto tiles = Layer("grid")->FeatureClass();
  auto streets = Layer("streets")->FeatureClass();
  std::vector<std::string> keys;
  std::map<std::string, std::vector<std::string>> labels;
  for (auto tc = tiles->Search(); auto t = tc.NextFeature();) {
    std::string label = host::vb::CStr(t->Value("MB_Label"));
    for (auto sc = streets->Search(); auto s = sc.NextFeature();) {
      if (!t->Shape().Intersects(s->Shape())) continue;
      std::string name = host::vb::CStr(s->Value("NAME"));
      if (host::vb::Trim(name).empty()) continue;
      auto [it, added] = labels.try_emplace(name);
      if (added) keys.push_back(name);
      if (std::find(it->second.begin(), it->second.end(), label) == it->second.end()) it->second.push_back(label);
    }
  }
  std::string table, text;
  std::vector<std::string> lines;
  for (const std::string& k : keys) {
    table += k;
    std::string item;
    for (const std::string& l : labels[k]) {
      table += "\t" + l;
      item += (item.empty() ? " " : ", ") + l;
    }
    table += "\r\n";
    lines.push_back(k + "..." + item);
  }
  std::stable_sort(lines.begin(), lines.end(),
                   [](const std::string& a, const std::string& b) { return host::vb::LCase(a) < host::vb::LCase(b); });
  for (const std::string& l : lines) text += l + "\r\n";
  ASSERT_TRUE(labels.count("O'Brien Ave"));
  ASSERT_TRUE(labels.count("Main St") && labels.count("MAIN ST"));

  Then([] { Next("streets", &frmIndex::optTable); }, 1);
  Then([] { Next("streets", &frmIndex::optText); }, 1);
  Run();
  EXPECT_EQ(Read("LocationTable.txt"), table);
  EXPECT_EQ(Read("LocationText.txt"), text);
}

TEST(LocationIndex, EntriesOncePerKeyWithoutRegardToCase) {
  LocationIndex index;
  index.Add("Main St", " A10");
  index.Add("Main St", " A1");
  index.Add("Main St", " a10");
  index.Add("Main St", " A1");
  index.Add("main st", " B2");
  EXPECT_EQ(index.Count(), 2);
  EXPECT_EQ(index.Item("Main St"), " A10, A1");
  EXPECT_EQ(index.Item("main st"), " B2");
  EXPECT_EQ(index.Item("MAIN ST"), "");
  EXPECT_FALSE(index.Exists("MAIN ST"));
  EXPECT_EQ(index.IndexLines(), (std::vector<std::string>{"Main St... A10, A1", "main st... B2"}));
  EXPECT_EQ(index.TableLines(), (std::vector<std::string>{"Main St\tA10\tA1", "main st\tB2"}));
  EXPECT_EQ(SortedAsList({"b", "B", "a", "A"}), (std::vector<std::string>{"a", "A", "b", "B"}));
}
