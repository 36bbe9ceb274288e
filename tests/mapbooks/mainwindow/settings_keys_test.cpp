#include <gtest/gtest.h>

#include "host/vb/error.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;
using testing_support::ReadFile;

namespace {
class MainWindow : public MapbooksTest {
 protected:
  void SetUp() override {
    MapbooksTest::SetUp();
    std::filesystem::create_directories(ProgramFolder());
    State().ConfigPath = "C:\\Program Files\\ZelvaneGIS\\ZelvaneMapbooks\\config";
    w.Load();
  }
  void TearDown() override {
    w.Unload();
    MapbooksTest::TearDown();
  }
  // Empties a box and types into it, as a user does.
  void retype(host::ui::TextBox& box, const std::string& keys) {
    box.paste("");
    box.type(keys);
  }
  frmMain w;
};

std::string lines(const std::vector<std::string>& values) {
  std::string s;
  for (const auto& v : values) s += "\"" + v + "\"\r\n";
  return s;
}
}  // namespace

TEST_F(MainWindow, NumberBoxesFilterKeysAndDropLeadingZeros) {
  retype(w.txtSetScale, "05");
  EXPECT_EQ(w.txtSetScale.Text(), "5");
  retype(w.txtSetScale, "007");
  EXPECT_EQ(w.txtSetScale.Text(), "7");
  retype(w.txtSetScale, "25000");
  EXPECT_EQ(w.txtSetScale.Text(), "25000");
  retype(w.txtSetScale, "1a.-2");
  EXPECT_EQ(w.txtSetScale.Text(), "12");
  w.txtSetScale.paste("");
  w.txtSetScale.leave();
  EXPECT_EQ(w.txtSetScale.Text(), "0");
  retype(w.txtLayerPercent, "1.5.2");
  EXPECT_EQ(w.txtLayerPercent.Text(), "1.52");  // a second point is refused
}

TEST_F(MainWindow, OffsetBoxesTakeAMinusOnlyAtTheStart) {
  retype(w.txtXDiff, "12-");
  EXPECT_EQ(w.txtXDiff.Text(), "12");
  w.txtXDiff.key(host::ui::vbKeyHome);
  w.txtXDiff.type("-");
  EXPECT_EQ(w.txtXDiff.Text(), "-12");
  w.txtXDiff.leave();
  EXPECT_EQ(State().Config[XDiff], "-12");  // stored at once
  retype(w.txtYDiff, "0");
  w.txtYDiff.type("-");  // the zero goes, the minus is refused: the caret was after it
  EXPECT_EQ(w.txtYDiff.Text(), "");
  w.txtYDiff.type("-");
  EXPECT_EQ(w.txtYDiff.Text(), "-");
  w.txtYDiff.paste("");
  w.txtYDiff.leave();
  EXPECT_EQ(State().Config[YDiff], "0");
}

TEST_F(MainWindow, ExclusivePairsAndTheExportNamingRule) {
  w.chkPrintUseSearch.click();
  EXPECT_EQ(w.chkPrintUseSearch.Value(), 0);
  EXPECT_EQ(w.chkPrintUseRowCol.Value(), 1);
  w.chkPrintUseSearch.click();
  EXPECT_EQ(w.chkPrintUseRowCol.Value(), 0);
  w.chkExpUseRowCol.SetValue(1);  // by code, as the settings do
  EXPECT_EQ(w.chkExpUseSearch.Value(), 0);
  w.chkEven.SetValue(1);
  w.chkOdd.SetValue(1);
  EXPECT_EQ(w.chkEven.Value(), 0);
  w.chkOdd.SetValue(0);
  EXPECT_EQ(w.chkEven.Value(), 0);  // both may be unchecked
  w.optAppendNumber.click();
  w.optExpSelection.click();
  EXPECT_TRUE(w.optAppendNumber.Value());
  w.optExpCurrent.click();
  EXPECT_TRUE(w.optAppendValues.Value());
}

TEST_F(MainWindow, ResolutionBox) {
  retype(w.txtRes, "007");
  EXPECT_EQ(w.txtRes.Text(), "7");
  retype(w.txtRes, "3a.-");
  EXPECT_EQ(w.txtRes.Text(), "3");
  w.txtRes.paste("");
  Answer(host::ui::vbOK);
  w.btnExpAdvanced.focus();  // leaving the box
  EXPECT_EQ(w.txtRes.Text(), "0");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Please enter a Resolution greater than 0");
  EXPECT_EQ(w.ActiveControl(), &w.txtRes);  // the focus comes back
}

TEST_F(MainWindow, SavingWritesEveryItemAndThePaddedFrameList) {
  ConfigRecord& c = State().Config;
  for (int i = 1; i <= 9; ++i) c.items[size_t(i)] = "NULL";
  c[BatchCommand] = "";
  c[GridsFolder] = "G";
  c[ExportFolder] = "E";
  w.txtDir.SetText("E\\");
  w.SaveConfig();
  std::vector<std::string> expected = {"", "G", "E", "NULL", "NULL", "NULL", "NULL", "NULL", "NULL",
                                       "FALSE", "1", "0", "FALSE", "TRUE", "JPG", "300", "Mapbook", "TRUE",
                                       "FALSE", "1", "E\\", "FALSE", "1", "0", "FALSE", "TRUE",
                                       "cboPrintQueryField", "0", "0", "0", "0", "TRUE", "FALSE", "",
                                       "TRUE", "FALSE", "10000", "FALSE", "0", "0", "0", "0", "NULL", "NULL"};
  EXPECT_EQ(ReadFile(ProgramFolder() / "config"), lines(expected));
  EXPECT_FALSE(std::filesystem::exists(ProgramFolder() / "config.new"));

  w.lstDataFrames.AddItem("Layers");
  w.lstDataFrames.AddItem("Inset \"A\"");
  w.lstDataFrames.SetSelected(1, true);
  w.txtXDiff.SetText("   ");
  w.SaveConfig();
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
  for (const char* f : {"Layers", "Inset", "Inset"}) w.lstDataFrames.AddItem(f);
  w.lstDataFrames.SetSelected(0, true);
  w.ApplySettingsItems();
  EXPECT_TRUE(w.optPrintAll.Value());
  EXPECT_EQ(w.chkPrintUseRowCol.Value(), 1);
  EXPECT_TRUE(w.optJPG.Value());  // "jpg" names no format: the design choice stays
  EXPECT_EQ(w.txtRes.Text(), "150");
  EXPECT_TRUE(w.optAppendNumber.Value());
  EXPECT_EQ(w.chkZeroFill.Value(), 0);
  EXPECT_EQ(w.txtDir.Text(), "D:\\out");
  EXPECT_TRUE(w.optExportAll.Value());
  EXPECT_EQ(w.cboPrintQueryField.Text(), "NAME");
  EXPECT_EQ(w.chkReverse.Value(), 1);
  EXPECT_TRUE(w.optLayerFixedScale.Value());
  EXPECT_EQ(w.txtSetScale.Text(), "25000");
  EXPECT_EQ(w.txtDelay.Text(), "0");
  EXPECT_EQ(w.txtXDiff.Text(), "0");
  EXPECT_EQ(w.txtYDiff.Text(), "0");
  EXPECT_EQ(w.lstDataFrames.PrintValue(), "[x] Layers; [x] Inset; [x] Inset");  // never cleared, both named rows

  c[PrintAll] = "NULL";
  c[Resolution] = "600";
  w.ApplySettingsItems();
  EXPECT_EQ(w.txtRes.Text(), "150");  // "NULL" in item 10 stops items 10 to 42
  c[PrintAll] = "FALSE";
  c[PrintUseSearch] = "NULL";
  try {
    w.ApplySettingsItems();
    FAIL();
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), host::vb::err::TypeMismatch);
  }
}

TEST_F(MainWindow, ChoosingThePrimaryDataFrame) {
  for (const char* f : {"Layers", "Inset", "Overview"}) {
    w.cboDataFrames.AddItem(f);
    w.lstDataFrames.AddItem(f);
  }
  w.lstDataFrames.SetSelected(2, true);
  w.cboDataFrames.pick(1);
  EXPECT_EQ(State().PrimaryDataFrameIndex, 1);
  EXPECT_EQ(State().Config[PrimaryDataFrame], "Inset");
  EXPECT_EQ(w.lstDataFrames.PrintValue(), "[ ] Layers; [x] Inset; [x] Overview");
}
