// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <fstream>
#include <map>

#include "host/vb/text.h"
#include "host/win/whole_file.h"
#include "layout_fixture.h"
#include "mapbooks/layout/frmIndex.h"

using namespace mapbooks;
using namespace layout_test;
using host::ui::vbOK;

namespace {

// The first tile walked is A10; the last has a blank label.
const std::vector<Tile> kSheets{{"A10", geo::Envelope(100, 0, 200, 100)},
                                {"A1", geo::Envelope(0, 0, 100, 100)},
                                {"a1", geo::Envelope(200, 0, 300, 100)},
                                {"  ", geo::Envelope(300, 0, 400, 100)}};
const std::vector<Road> kRoads{
    {"Main St", {10, 50}, {150, 50}},       // A10 and A1
    {"MAIN ST", {210, 50}, {250, 50}},      // a1
    {"O'Brien Ave", {50, 10}, {50, 90}},    // A1
    {"O'Brien Ave", {60, 10}, {60, 90}},    // A1 again
    {"O'Brien Ave", {220, 10}, {220, 90}},  // a1: the same tile label but for case
    {"   ", {20, 20}, {30, 30}},            // no name
    {"Oak Rd", {350, 50}, {360, 50}},       // only in the tile without a label
    {"Elm St", {50, 60}, {60, 60}},         // A1
    {"Elm St", {150, 60}, {160, 60}},       // A10
    {"elm st", {250, 60}, {260, 60}},       // a1
};

class LocationIndexWizard : public LayoutTest {
 protected:
  void SetUp() override {
    LayoutTest::SetUp();
    WriteShapes("sheets", kSheets);
    WriteShapes("roads", kRoads);
    sheets = Layer("sheets");
    roads = Layer("roads");
    layers->AddLayer(roads);
    layers->AddLayer(sheets);
  }
  static frmIndex& wizard() { return dynamic_cast<frmIndex&>(*host::ui::FindLoadedForm("frmIndex")); }
  // A step of the open wizard, then the answers to the boxes it shows.
  static void Then(std::function<void()> step, int okBoxes = 0) {
    Step(std::move(step));
    for (int i = 0; i < okBoxes; ++i) Answer(vbOK);
  }
  // One press of Next with this search layer, output and columns, the grid as preselected.
  static void Next(const std::string& search, host::ui::OptionButton frmIndex::*output, const std::string& columns = "1",
                   int okBoxes = 1) {
    Then(
        [=] {
          frmIndex& w = wizard();
          w.cboSearchLayers.pick(search);
          w.cboSearchLayerFields.SetText("NAME");
          (w.*output).click();
          w.txtNum.paste(columns);
          w.btnNext.click();
        },
        okBoxes);
  }
  // Opens the wizard, which plays the steps queued, and closes it.
  void Run() {
    Step([] { wizard().btnCancel.click(); });
    main().btnIndex.click();
    EXPECT_EQ(host::ui::FindLoadedForm("frmIndex"), nullptr);
    EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
  }
  static std::string Read(const char* name) {
    std::ifstream in(ProgramFolder() / name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  std::shared_ptr<host::carto::FeatureLayer> sheets, roads;
};

}  // namespace

TEST_F(LocationIndexWizard, OpensOnThePrimaryFrameAndWritesTheTextFileAndTheTable) {
  Start("sheets");
  doc().SetActiveView(*layers);
  Then([&] {
    EXPECT_TRUE(doc().InLayoutView());
    EXPECT_EQ(doc().FocusMap(), layers);
    frmIndex& w = wizard();
    EXPECT_EQ(w.cboSearchLayers.Items(), (std::vector<std::string>{"sheets", "roads", "grid", "streets"}));
    EXPECT_EQ(w.cboMapLayers.Text(), "sheets");
    EXPECT_EQ(w.cboLayerFields.Text(), "MB_Label");
    EXPECT_TRUE(w.optText.Value());
    EXPECT_EQ(w.txtNum.Text(), "1");
    w.cboSearchLayers.pick("roads");
    EXPECT_EQ(w.cboSearchLayerFields.Items(), (std::vector<std::string>{"FID", "Shape", "NAME"}));
    EXPECT_EQ(w.cboSearchLayerFields.Text(), "");
  });
  Next("roads", &frmIndex::optText);
  Next("roads", &frmIndex::optTable);
  Run();
  // Keys by exact case, tile labels once each without regard to case, A1 not taken for part of A10.
  EXPECT_EQ(Read("LocationText.txt"),
            "elm st... a1\r\nElm St... A10, A1\r\nMAIN ST... a1\r\nMain St... A10, A1\r\nO'Brien Ave... A1\r\n");
  EXPECT_EQ(Read("LocationTable.txt"),
            "Main St\tA10\tA1\r\nElm St\tA10\tA1\r\nO'Brien Ave\tA1\r\nMAIN ST\ta1\r\nelm st\ta1\r\n");
  const std::string folder = "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\";
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(Boxes()[0].text, "Created text file: \r\n" + folder + "LocationText.txt");
  EXPECT_EQ(Boxes()[1].text, "Created tab-delimited table: \r\n" + folder + "LocationTable.txt");
}

TEST_F(LocationIndexWizard, GridDefinitionQueryLimitsTheTilesButNotTheProgressorNorTheSearchLayer) {
  Start("sheets");
  sheets->SetDefinitionQuery("MB_Label <> 'A10'");
  roads->SetDefinitionQuery("NAME = 'nothing'");
  host::app::StepProgressor& p = app->GetStatusBar().GetProgressBar();
  int shown_changes = 0;
  p.SetListener([&](const host::app::StepProgressor& q) { shown_changes += q.Visible() ? 1 : 0; });
  testing_support::WriteFile(ProgramFolder() / "LocationTable.txt", "an older and longer table\r\n");
  Next("roads", &frmIndex::optTable);
  Run();
  p.SetListener(nullptr);
  EXPECT_EQ(Read("LocationTable.txt"), "Main St\tA1\r\nO'Brien Ave\tA1\r\nElm St\tA1\r\nMAIN ST\ta1\r\nelm st\ta1\r\n");
  EXPECT_EQ(p.MaxRange(), 4);
  EXPECT_EQ(p.Message(), "Building index...");
  EXPECT_FALSE(p.Visible());
  EXPECT_EQ(shown_changes, 1 + 3);  // shown, then a step for each tile walked
}

TEST_F(LocationIndexWizard, MapElementsStandInColumns) {
  std::vector<Road> many;
  for (int i = 0; i < 10; ++i) many.push_back({"R" + std::to_string(i), {10.0 + i, 10}, {10.0 + i, 20}});
  WriteShapes("many", many);
  layers->AddLayer(Layer("many"));
  Start("sheets");
  Next("many", &frmIndex::optElement, "3", 0);
  Next("many", &frmIndex::optElement, "2.5", 0);
  Next("roads", &frmIndex::optElement, "7", 0);
  Run();
  EXPECT_TRUE(Boxes().empty());
  auto lines = [](int from, int to) {
    std::string text;
    for (int i = from; i <= to; ++i) text += "\r\nR" + std::to_string(i) + "... A1";
    return text;
  };
  const std::vector<std::string> expected{
      lines(0, 3), lines(4, 7), lines(8, 9),  // 10 lines in 3 columns
      lines(0, 4), lines(5, 9),               // 2.5 counts as 2
      "\r\nelm st... a1", "\r\nElm St... A10, A1", "\r\nMAIN ST... a1", "\r\nMain St... A10, A1",
      "\r\nO'Brien Ave... A1", "", ""};  // 5 lines in 7 columns
  const int column[] = {1, 2, 3, 1, 2, 1, 2, 3, 4, 5, 6, 7};
  auto texts = TextElements();
  ASSERT_EQ(texts.size(), expected.size());
  for (size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(texts[i]->Text(), expected[i]) << i;
    EXPECT_EQ(texts[i]->AnchorPoint(), (geo::Point{2.0 * column[i] - 1, 11 - 2.5})) << i;
    ExpectFont(*texts[i], 6);
  }
}

TEST_F(LocationIndexWizard, ChecksComeInOrderAndEmptyTheList) {
  WriteShapes("nowhere", std::vector<Road>{{"Far Rd", {1000, 1000}, {1100, 1000}}});
  layers->AddLayer(Layer("nowhere"));
  Start("sheets");
  struct Case {
    const char *grid, *gridField, *search, *searchField, *columns, *message;
  };
  const Case cases[] = {
      {"sheets", "MB_Label", "roads", "NAME", "abc", "Please enter a numeric value for the column number"},
      {"sheets", "MB_Label", "roads", "NAME", "0", "Column number must be greate than 0"},
      {"sheets", "MB_Label", "roads", "NAME", "-1", "Column number must be greate than 0"},
      {"no layer", "  ", "roads", "", "1", "Please select a label field from the grid layer"},
      {"no layer", "MB_Label", "roads", " ", "1", "Please select a label field from the search layer"},
      {"no layer", "MB_Label", "no layer", "NAME", "1", "Can't find grid layer: no layer"},
      {"sheets", "NOPE", "no layer", "NAME", "1", "Can't find field: NOPE"},
      {"sheets", "MB_Label", "no layer", "NAME", "1", "Can't find search layer: no layer"},
      {"sheets", "MB_Label", "roads", "WHAT", "1", "Can't find field: WHAT"},
      {"roads", "NAME", "roads", "NAME", "1", "Grid layer must be of type Polygon"},
      {"sheets", "MB_Label", "roads", "NAME", "40000", "ERROR NUMBER: 6\r\nMODULE: btnNext_Click frmIndex \r\n"},
      {"sheets", "MB_Label", "nowhere", "NAME", "1", "Created text file: \r\n"},  // empty, and written all the same
  };
  for (const Case& c : cases)
    Then(
        [c] {
          frmIndex& w = wizard();
          w.cboMapLayers.SetText(c.grid);
          w.cboLayerFields.SetText(c.gridField);
          w.cboSearchLayers.SetText(c.search);
          w.cboSearchLayerFields.SetText(c.searchField);
          w.txtNum.paste(c.columns);
          w.lstOut.AddItem("left over");
          w.btnNext.click();
          EXPECT_EQ(w.lstOut.ListCount(), 0);
        },
        1);
  Run();
  ASSERT_EQ(Boxes().size(), std::size(cases));
  for (size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(Boxes()[i].style, host::ui::vbOKOnly);
    if (i < 10) {
      EXPECT_EQ(Boxes()[i].text, cases[i].message) << i;
    } else {
      EXPECT_NE(Boxes()[i].text.find(cases[i].message), std::string::npos) << i;
    }
  }
  EXPECT_EQ(Read("LocationText.txt"), "");
}

// The demo town's streets against its grid, checked against a walk over every pair.
TEST_F(LocationIndexWizard, TheTownsStreetsAgainstItsGrid) {
  Start("grid");
  auto streets = Layer("streets")->FeatureClass();
  std::vector<std::string> keys;
  std::map<std::string, std::string> rows;
  for (auto tc = Layer("grid")->Search(); auto t = tc.NextFeature();) {
    for (auto sc = streets->Search(); auto s = sc.NextFeature();) {
      std::string name = host::vb::CStr(s->Value("NAME")), label = "\t" + host::vb::CStr(t->Value("MB_Label"));
      if (!t->Shape().Intersects(s->Shape())) continue;
      if (rows.try_emplace(name).second) keys.push_back(name);
      if (!rows[name].ends_with(label)) rows[name] += label;
    }
  }
  std::string table;
  for (const std::string& k : keys) table += k + rows[k] + "\r\n";
  ASSERT_TRUE(rows.count("O'Brien Ave") && rows.count("Main St") && rows.count("MAIN ST"));
  Next("streets", &frmIndex::optTable);
  Next("streets", &frmIndex::optText);
  Run();
  EXPECT_EQ(Read("LocationTable.txt"), table);
  std::vector<std::string> lines = host::vb::Split(Read("LocationText.txt"), "\r\n");
  EXPECT_EQ(lines.size(), keys.size() + 1);
  EXPECT_TRUE(std::is_sorted(lines.begin(), lines.end() - 1,
                             [](const auto& a, const auto& b) { return host::vb::CompareText(a, b) < 0; }));
  EXPECT_NE(std::find(lines.begin(), lines.end(), "O'Brien Ave..." + host::vb::Replace(rows["O'Brien Ave"], "\t", ", ").substr(1)),
            lines.end());
}

TEST_F(LocationIndexWizard, LayersInOtherCoordinateSystemsGiveTheSamePairs) {
  layers->AddLayer(ReprojectedLayer("grid", "EPSG:4326", "grid84"));
  layers->AddLayer(ReprojectedLayer("streets", "EPSG:32610", "streets_utm"));
  Start("grid");
  auto index_of = [&](const std::string& grid, const std::string& search) {
    Then(
        [=] {
          frmIndex& w = wizard();
          w.cboMapLayers.pick(grid);
          w.cboLayerFields.SetText("MB_Label");
          w.cboSearchLayers.pick(search);
          w.cboSearchLayerFields.SetText("NAME");
          w.optText.click();
          w.txtNum.paste("1");
          w.btnNext.click();
        },
        1);
    Run();
    return Read("LocationText.txt");
  };
  const std::string one_system = index_of("grid", "streets");
  EXPECT_GT(std::count(one_system.begin(), one_system.end(), '\n'), 10);
  EXPECT_NE(one_system.find(", "), std::string::npos);  // streets over more than one tile
  EXPECT_EQ(index_of("grid84", "streets"), one_system);
  EXPECT_EQ(index_of("grid", "streets_utm"), one_system);
  EXPECT_EQ(index_of("grid84", "streets_utm"), one_system);
}

// A write that fails (a full disk, here a file size limit, which fails the same way)
// leaves both files of the run before whole, and the report says which file and why.
// A read-only file is refused before anything is written.
TEST_F(LocationIndexWizard, AFailedWriteKeepsTheFilesOfTheRunBefore) {
  Start("sheets");
  Next("roads", &frmIndex::optText);
  Next("roads", &frmIndex::optTable);
  auto limited = [](host::ui::OptionButton frmIndex::*output) {
    Then(
        [=] {
          frmIndex& w = wizard();
          w.cboSearchLayers.pick("roads");
          w.cboSearchLayerFields.SetText("NAME");
          (w.*output).click();
          rlimit old{};
          ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
          auto old_signal = std::signal(SIGXFSZ, SIG_IGN);
          rlimit small{40, old.rlim_max};
          setrlimit(RLIMIT_FSIZE, &small);
          w.btnNext.click();
          setrlimit(RLIMIT_FSIZE, &old);
          std::signal(SIGXFSZ, old_signal);
        },
        1);
  };
  limited(&frmIndex::optText);
  limited(&frmIndex::optTable);
  Run();

  EXPECT_EQ(Read("LocationText.txt"),
            "elm st... a1\r\nElm St... A10, A1\r\nMAIN ST... a1\r\nMain St... A10, A1\r\nO'Brien Ave... A1\r\n");
  EXPECT_EQ(Read("LocationTable.txt"),
            "Main St\tA10\tA1\r\nElm St\tA10\tA1\r\nO'Brien Ave\tA1\r\nMAIN ST\ta1\r\nelm st\ta1\r\n");
  const std::string folder = "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\";
  ASSERT_EQ(Boxes().size(), 4u);
  for (int i : {2, 3}) {
    const std::string file = i == 2 ? "LocationText.txt" : "LocationTable.txt";
    EXPECT_NE(Boxes()[size_t(i)].text.find("ERROR NUMBER: 75\r\nMODULE: btnNext_Click frmIndex \r\n"
                                           "ERROR DESCRIPTION: Cannot write '" + folder + file +
                                           "': the file would be larger than this program may write (file size limit)\r\n"),
              std::string::npos)
        << Boxes()[size_t(i)].text;
  }
  for (const auto& entry : std::filesystem::directory_iterator(ProgramFolder()))
    EXPECT_FALSE(host::win::IsTemporaryName(entry.path().filename().string())) << entry.path();
}

TEST_F(LocationIndexWizard, AReadOnlyFileIsRefusedAndKept) {
  Start("sheets");
  const std::filesystem::path table = ProgramFolder() / "LocationTable.txt";
  testing_support::WriteFile(table, "the user's own table\r\n");
  std::filesystem::permissions(table, std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                                          std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  Next("roads", &frmIndex::optTable);
  Run();
  EXPECT_EQ(Read("LocationTable.txt"), "the user's own table\r\n");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("ERROR NUMBER: 70\r\nMODULE: btnNext_Click frmIndex \r\nERROR DESCRIPTION: Permission "
                                 "denied: 'C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\LocationTable.txt' is read-only\r\n"),
            std::string::npos)
      << Boxes()[0].text;
  std::filesystem::permissions(table, std::filesystem::perms::owner_write, std::filesystem::perm_options::add);
}
