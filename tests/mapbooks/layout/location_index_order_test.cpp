// SPDX-License-Identifier: GPL-3.0-or-later
// The location index's text file in the order of a sorted list: collation, not bytes.

#include "layout_fixture.h"
#include "mapbooks/layout/frmIndex.h"

using namespace mapbooks;
using namespace layout_test;

namespace {
class LocationIndexOrder : public LayoutTest {};
}  // namespace

TEST_F(LocationIndexOrder, AccentsAndPunctuationSortAsTheListSortsThem) {
  WriteShapes<Tile>("sheets", {{"A1", geo::Envelope(0, 0, 100, 100)}, {"B1", geo::Envelope(100, 0, 200, 100)}});
  WriteShapes<Road>("roads", {{"Zebra St", {10, 50}, {20, 50}},
                              {"Émile St", {10, 60}, {150, 60}},
                              {"_Spur", {110, 20}, {120, 20}},
                              {"elm st", {10, 70}, {20, 70}},
                              {"Ferry Rd", {110, 30}, {120, 30}}});
  layers->AddLayer(Layer("roads"));
  layers->AddLayer(Layer("sheets"));
  Start("sheets");
  Step([] {
    auto& w = dynamic_cast<frmIndex&>(*host::ui::FindLoadedForm("frmIndex"));
    w.cboSearchLayers.pick("roads");
    w.cboSearchLayerFields.SetText("NAME");
    w.btnNext.click();
    EXPECT_EQ(w.lstOut.Items(), (std::vector<std::string>{"_Spur... B1", "elm st... A1", "Émile St... A1, B1",
                                                          "Ferry Rd... B1", "Zebra St... A1"}));
    w.btnCancel.click();
  });
  Answer(host::ui::vbOK);
  main().btnIndex.click();
  EXPECT_EQ(testing_support::ReadFile(ProgramFolder() / "LocationText.txt"),
            "_Spur... B1\r\nelm st... A1\r\nÉmile St... A1, B1\r\nFerry Rd... B1\r\nZebra St... A1\r\n");
}
