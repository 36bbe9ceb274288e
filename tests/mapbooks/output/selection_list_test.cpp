// SPDX-License-Identifier: GPL-3.0-or-later
// The Selection tab's list: refilled whenever settings are applied, and its two buttons.

#include <gtest/gtest.h>

#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
namespace fs = std::filesystem;
using testing_support::ReadFile;
using testing_support::WriteFile;
using Items = std::vector<std::string>;

namespace {

// A 3 x 2 grid applied as the grid layer.
class SelectionList : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown(3, 2);
    doc().FocusMap()->AddLayer(Layer("grid"));
    StartProgram();
    main().cboMapLayers.pick("grid");
    main().btnLayerApply.click();
    host::ui::ClearBoxLog();
  }
  host::ui::ListBox& list() { return main().lstPrintSelect; }
  std::vector<bool> selection() {
    std::vector<bool> s;
    for (long i = 0; i < list().ListCount(); ++i) s.push_back(list().Selected(i));
    return s;
  }
  // The config file's text with its 27th value, the selection field, replaced.
  std::string WithField(const std::string& field) {
    std::string text = ReadFile(ProgramFolder() / "config");
    size_t start = 0;
    for (int line = 1; line < 27; ++line) start = text.find("\r\n", start) + 2;
    return text.substr(0, start) + "\"" + field + "\"" + text.substr(text.find("\r\n", start));
  }
};

}  // namespace

TEST_F(SelectionList, RefilledWhenTheWindowOpensAndWhenAMapbookIsLoaded) {
  main().cboPrintQueryField.pick("MB_Column");
  EXPECT_EQ(list().Items(), (Items{"1", "2", "3"}));
  list().select(1, true);
  main().Unload();  // the settings reach the config file
  command.OnClick();
  EXPECT_EQ(main().cboPrintQueryField.Text(), "MB_Column");
  EXPECT_EQ(list().Items(), (Items{"1", "2", "3"}));
  EXPECT_EQ(list().SelCount(), 0);  // choices last only while the window is open

  // A mapbook whose selection field is the row.
  WriteFile(ProgramFolder() / "Mapbooks" / "rows.mbk", WithField("MB_Row"));
  main().File2.Refresh();
  list().select(2, true);
  main().File2.select(main().File2.FindItem("rows.mbk", false), true);
  main().btnLoadMapBook.click();
  EXPECT_EQ(main().cboPrintQueryField.Text(), "MB_Row");
  EXPECT_EQ(list().Items(), (Items{"A", "B"}));
  EXPECT_EQ(list().SelCount(), 0);
  // A field the layer lacks leaves the list empty, without a word.
  WriteFile(ProgramFolder() / "Mapbooks" / "none.mbk", WithField("NO_SUCH_FIELD"));
  main().File2.Refresh();
  main().File2.select(main().File2.FindItem("none.mbk", false), true);
  main().btnLoadMapBook.click();
  EXPECT_EQ(list().ListCount(), 0);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(SelectionList, SelectAllAndClearReachEveryItem) {
  main().cboPrintQueryField.pick("MB_Label");
  ASSERT_EQ(list().ListCount(), 6);
  main().btnAll.click();
  EXPECT_EQ(selection(), std::vector<bool>(6, true));
  main().btnClear.click();
  EXPECT_EQ(selection(), std::vector<bool>(6, false));
  list().select(2, true);
  main().btnAll.click();
  main().btnAll.click();  // again: still every item, none toggled off
  EXPECT_EQ(selection(), std::vector<bool>(6, true));
  main().btnClear.click();
  main().btnClear.click();
  EXPECT_EQ(selection(), std::vector<bool>(6, false));
  // Choosing the field again empties the choices with the refill.
  main().btnAll.click();
  main().cboPrintQueryField.pick("MB_Label");
  EXPECT_EQ(list().SelCount(), 0);
  EXPECT_EQ(list().ListCount(), 6);
  EXPECT_TRUE(Boxes().empty());
}
