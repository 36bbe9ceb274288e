// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/vb/error.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;

namespace {
class MainWindow : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    Boxes();
    host::ui::ClearBoxLog();
    // Rows of the data-frame lists come from each test.
    main().lstDataFrames.Clear();
    main().cboDataFrames.Clear();
  }
  // Empties a box and types into it, as a user does.
  void retype(host::ui::TextBox& box, const std::string& keys) {
    box.paste("");
    box.type(keys);
  }
};

std::string lines(const std::vector<std::string>& values) {
  std::string s;
  for (const auto& v : values) s += "\"" + v + "\"\r\n";
  return s;
}
}  // namespace

TEST_F(MainWindow, NumberBoxesFilterKeysAndDropLeadingZeros) {
  retype(main().txtSetScale, "05");
  EXPECT_EQ(main().txtSetScale.Text(), "5");
  retype(main().txtSetScale, "007");
  EXPECT_EQ(main().txtSetScale.Text(), "7");
  retype(main().txtSetScale, "25000");
  EXPECT_EQ(main().txtSetScale.Text(), "25000");
  retype(main().txtSetScale, "1a.-2");
  EXPECT_EQ(main().txtSetScale.Text(), "12");
  main().txtSetScale.paste("");
  main().txtSetScale.leave();
  EXPECT_EQ(main().txtSetScale.Text(), "0");
  retype(main().txtLayerPercent, "1.5.2");
  EXPECT_EQ(main().txtLayerPercent.Text(), "1.52");  // a second point is refused
}

TEST_F(MainWindow, OffsetBoxesTakeAMinusOnlyAtTheStart) {
  retype(main().txtXDiff, "12-");
  EXPECT_EQ(main().txtXDiff.Text(), "12");
  main().txtXDiff.key(host::ui::vbKeyHome);
  main().txtXDiff.type("-");
  EXPECT_EQ(main().txtXDiff.Text(), "-12");
  main().txtXDiff.leave();
  EXPECT_EQ(State().Config[XDiff], "-12");  // stored at once
  retype(main().txtYDiff, "0");
  main().txtYDiff.type("-");  // the zero goes, the minus is refused: the caret was after it
  EXPECT_EQ(main().txtYDiff.Text(), "");
  main().txtYDiff.type("-");
  EXPECT_EQ(main().txtYDiff.Text(), "-");
  main().txtYDiff.paste("");
  main().txtYDiff.leave();
  EXPECT_EQ(State().Config[YDiff], "0");
}

TEST_F(MainWindow, ExclusivePairsAndTheExportNamingRule) {
  main().chkPrintUseSearch.click();
  EXPECT_EQ(main().chkPrintUseSearch.Value(), 0);
  EXPECT_EQ(main().chkPrintUseRowCol.Value(), 1);
  main().chkPrintUseSearch.click();
  EXPECT_EQ(main().chkPrintUseRowCol.Value(), 0);
  main().chkExpUseRowCol.SetValue(1);  // by code, as the settings do
  EXPECT_EQ(main().chkExpUseSearch.Value(), 0);
  main().chkEven.SetValue(1);
  main().chkOdd.SetValue(1);
  EXPECT_EQ(main().chkEven.Value(), 0);
  main().chkOdd.SetValue(0);
  EXPECT_EQ(main().chkEven.Value(), 0);  // both may be unchecked
  main().optAppendNumber.click();
  main().optExpSelection.click();
  EXPECT_TRUE(main().optAppendNumber.Value());
  main().optExpCurrent.click();
  EXPECT_TRUE(main().optAppendValues.Value());
}

TEST_F(MainWindow, ResolutionBox) {
  retype(main().txtRes, "007");
  EXPECT_EQ(main().txtRes.Text(), "7");
  retype(main().txtRes, "3a.-");
  EXPECT_EQ(main().txtRes.Text(), "3");
  main().txtRes.paste("");
  Answer(host::ui::vbOK);
  main().btnExpAdvanced.focus();  // leaving the box
  EXPECT_EQ(main().txtRes.Text(), "0");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Please enter a Resolution greater than 0");
  EXPECT_EQ(main().ActiveControl(), &main().txtRes);  // the focus comes back
}

TEST_F(MainWindow, SavingWritesEveryItemAndThePaddedFrameList) {
  ConfigRecord& c = State().Config;
  for (int i = 1; i <= 9; ++i) c.items[size_t(i)] = "NULL";
  c[BatchCommand] = "";
  c[GridsFolder] = "G";
  c[ExportFolder] = "E";
  main().txtDir.SetText("E\\");
  main().SaveConfig();
  std::vector<std::string> expected = {"", "G", "E", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                                       "FALSE", "1", "0", "FALSE", "TRUE", "JPG", "300", "Mapbook", "TRUE",
                                       "FALSE", "1", "E\\", "FALSE", "1", "0", "FALSE", "TRUE",
                                       "cboPrintQueryField", "0", "0", "0", "0", "TRUE", "FALSE", "",
                                       "TRUE", "FALSE", "10000", "FALSE", "0", "0", "0", "0", "NULL", "NULL"};
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), lines(expected));
  EXPECT_FALSE(std::filesystem::exists(ProgramFolder() / "config.new"));

  main().lstDataFrames.AddItem("Layers");
  main().lstDataFrames.AddItem("Inset \"A\"");
  main().lstDataFrames.SetSelected(1, true);
  main().txtXDiff.SetText("   ");
  main().SaveConfig();
  expected[40] = "0";  // blanks are saved as 0
  expected[42] = "Inset \"\"A\"\"";
  expected.pop_back();
  expected.push_back("NULL");
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), lines(expected));
}

TEST_F(MainWindow, ApplyingTheItems) {
  ConfigRecord& c = State().Config;
  std::vector<std::string> items = {"", "G", "E", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                                    "TRUE", "0", "1", "FALSE", "FALSE", "jpg", "150", "Book", "FALSE",
                                    "TRUE", "0", "D:\\out", "TRUE", "0", "1", "FALSE", "FALSE",
                                    "NAME", "1", "1", "0", "0", "TRUE", "FALSE", "",
                                    "FALSE", "TRUE", "25000", "FALSE", "10", "none", " ", "NULL"};
  for (int i = 1; i <= 42; ++i) c.items[size_t(i)] = items[size_t(i - 1)];
  c.DataFramesToZoom = {"Inset", "Nowhere", ""};
  for (const char* f : {"Layers", "Inset", "Inset"}) main().lstDataFrames.AddItem(f);
  main().lstDataFrames.SetSelected(0, true);
  main().ApplySettingsItems();
  EXPECT_TRUE(main().optPrintAll.Value());
  EXPECT_EQ(main().chkPrintUseRowCol.Value(), 1);
  EXPECT_TRUE(main().optJPG.Value());  // "jpg" names no format: the design choice stays
  EXPECT_EQ(main().txtRes.Text(), "150");
  EXPECT_TRUE(main().optAppendNumber.Value());
  EXPECT_EQ(main().chkZeroFill.Value(), 0);
  EXPECT_EQ(main().txtDir.Text(), "D:\\out");
  EXPECT_TRUE(main().optExportAll.Value());
  EXPECT_EQ(main().cboPrintQueryField.Text(), "NAME");
  EXPECT_EQ(main().chkReverse.Value(), 1);
  EXPECT_TRUE(main().optLayerFixedScale.Value());
  EXPECT_EQ(main().txtSetScale.Text(), "25000");
  EXPECT_EQ(main().txtDelay.Text(), "0");
  EXPECT_EQ(main().txtXDiff.Text(), "0");
  EXPECT_EQ(main().txtYDiff.Text(), "0");
  EXPECT_EQ(main().lstDataFrames.PrintValue(), "[x] Layers; [x] Inset; [x] Inset");  // never cleared, both named rows

  c[PrintAll] = "NULL";
  c[Resolution] = "600";
  main().ApplySettingsItems();
  EXPECT_EQ(main().txtRes.Text(), "150");  // "NULL" in item 10 stops items 10 to 42
  c[PrintAll] = "FALSE";
  c[PrintUseSearch] = "NULL";
  try {
    main().ApplySettingsItems();
    FAIL();
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), host::vb::err::TypeMismatch);
  }
}

TEST_F(MainWindow, ChoosingThePrimaryDataFrame) {
  for (const char* f : {"Layers", "Inset", "Overview"}) {
    main().cboDataFrames.AddItem(f);
    main().lstDataFrames.AddItem(f);
  }
  main().lstDataFrames.SetSelected(2, true);
  main().cboDataFrames.pick(1);
  EXPECT_EQ(State().PrimaryDataFrameIndex, 1);
  EXPECT_EQ(State().Config[PrimaryDataFrame], "Inset");
  EXPECT_EQ(main().lstDataFrames.PrintValue(), "[ ] Layers; [x] Inset; [x] Overview");
}
