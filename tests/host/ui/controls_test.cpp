// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "host/vb/error.h"
#include "ui_fixture.h"

using namespace host::ui;

namespace {

// A window with one control of each kind the command uses, and a log of its events.
class frmTest : public Form {
 public:
  frmTest() : Form("frmTest") {
    chkA.Click = [this] { log += "chkA_Click(" + std::to_string(chkA.Value()) + ");"; };
    optA.Click = [this] { log += "optA_Click;"; };
    optB.Click = [this] { log += "optB_Click;"; };
    optC.Click = [this] { log += "optC_Click;"; };
    txtScale.KeyPress = [this](int& k) { txtScale_KeyPress(k); };
    txtScale.Change = [this] { log += "txtScale_Change;"; };
    txtScale.LostFocus = [this] {
      log += "txtScale_LostFocus;";
      if (txtScale.Text().empty()) txtScale.SetText("0");
    };
    txtScale.KeyUp = [this](int& code, int&) { log += "KeyUp(" + std::to_string(code) + ");"; };
    cboList.Click = [this] { log += "cboList_Click;"; };
    cboList.Change = [this] { log += "cboList_Change;"; };
    lstFrames.Click = [this] { log += "lstFrames_Click;"; };
    btnGo.Click = [this] { log += "btnGo_Click;"; };
    btnCancel.Click = [this] { log += "btnCancel_Click;"; };
    VScroll1.Change = [this] { log += "Change(" + std::to_string(VScroll1.Value()) + ");"; };
    VScroll1.Scroll = [this] { log += "Scroll(" + std::to_string(VScroll1.Value()) + ");"; };
    SSTab1.Click = [this](int& previous) { log += "SSTab1_Click(" + std::to_string(previous) + ");"; };
  }

  // The number-box rule: digits and Backspace only; leading zeros dropped before the key.
  void txtScale_KeyPress(int& KeyAscii) {
    if (!((KeyAscii >= '0' && KeyAscii <= '9') || KeyAscii == 8)) {
      KeyAscii = 0;
      return;
    }
    std::string t = txtScale.Text();
    while (!t.empty() && t[0] == '0') t.erase(0, 1);
    txtScale.SetText(t);
  }

  void Design() override {
    SetCaption("Test");
    chkA.SetCaption("Check");
    optA.SetValue(true);
    txtScale.SetText("10000");
    cboList.AddItem("b");
    cboList.AddItem("a");
    lstFrames.SetMultiSelect(ListBox::Simple);
    btnGo.SetDefault(true);
    btnCancel.SetCancel(true);
    SSTab1.SetTabs(3);
    designed++;
  }
  void Form_Load() override { log += "Form_Load;"; }

  Frame Frame1{*this, "Frame1", nullptr};
  Frame Frame2{*this, "Frame2", nullptr};
  CheckBox chkA{*this, "chkA", nullptr};
  OptionButton optA{*this, "optA", &Frame1};
  OptionButton optB{*this, "optB", &Frame1};
  OptionButton optC{*this, "optC", &Frame2};
  TextBox txtScale{*this, "txtScale", nullptr};
  ComboBox cboList{*this, "cboList", nullptr};
  ComboBox cboFixed{*this, "cboFixed", nullptr, ComboBox::DropdownList};
  ListBox lstFrames{*this, "lstFrames", nullptr};
  ListBox lstSorted{*this, "lstSorted", nullptr};
  CommandButton btnGo{*this, "btnGo", nullptr};
  CommandButton btnCancel{*this, "btnCancel", nullptr};
  VScrollBar VScroll1{*this, "VScroll1", nullptr};
  TabControl SSTab1{*this, "SSTab1", nullptr};
  std::string log;
  int designed = 0;
};

class Controls : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    f.Load();
    f.log.clear();
  }
  frmTest f;
};

}  // namespace

TEST_F(Controls, LoadAppliesDesignValuesWithoutEventsAndAfreshAfterUnload) {
  EXPECT_EQ(f.txtScale.Text(), "10000");
  EXPECT_TRUE(f.optA.Value());
  EXPECT_EQ(f.designed, 1);
  f.txtScale.SetText("5");
  f.chkA.SetValue(1);
  f.Unload();
  EXPECT_FALSE(f.IsLoaded());
  EXPECT_EQ(FindLoadedForm("frmTest"), nullptr);
  f.log.clear();
  f.Load();
  EXPECT_EQ(f.log, "Form_Load;");  // no Change or Click from the design values
  EXPECT_EQ(f.txtScale.Text(), "10000");
  EXPECT_EQ(f.chkA.Value(), 0);
  EXPECT_EQ(f.cboList.ListCount(), 2);  // not doubled
  EXPECT_EQ(FindLoadedForm("frmTest"), &f);
}

TEST_F(Controls, CheckBoxRaisesClickOnEveryChange) {
  f.chkA.SetValue(1);
  f.chkA.SetValue(1);  // no change, no Click
  f.chkA.SetValue(2);
  f.chkA.click();  // grayed becomes unchecked
  f.chkA.click();
  EXPECT_EQ(f.log, "chkA_Click(1);chkA_Click(2);chkA_Click(0);chkA_Click(1);");
  EXPECT_THROW(f.chkA.SetValue(3), host::vb::Error);
}

TEST_F(Controls, OptionButtonsAreExclusivePerContainer) {
  f.optC.SetValue(true);
  EXPECT_TRUE(f.optA.Value());  // another frame
  f.optB.SetValue(true);
  EXPECT_FALSE(f.optA.Value());
  EXPECT_TRUE(f.optB.Value());
  EXPECT_TRUE(f.optC.Value());
  f.optB.SetValue(true);  // already chosen by code: nothing
  f.optB.click();         // by the user: Click again
  EXPECT_EQ(f.log, "optC_Click;optB_Click;optB_Click;");
}

TEST_F(Controls, KeyPressFiltersAndLeadingZerosKeepTheCaret) {
  f.txtScale.paste("");
  f.log.clear();
  f.txtScale.type("2x5000");
  EXPECT_EQ(f.txtScale.Text(), "25000");
  f.txtScale.paste("0");
  f.txtScale.type("5");  // the zero is dropped before the key: the caret goes to 0
  EXPECT_EQ(f.txtScale.Text(), "5");
  f.txtScale.key(vbKeyBack);
  EXPECT_EQ(f.txtScale.Text(), "");
  f.txtScale.leave();
  EXPECT_EQ(f.txtScale.Text(), "0");
  EXPECT_NE(f.log.find("KeyUp(88);"), std::string::npos);  // a cancelled key still has its KeyUp
}

TEST_F(Controls, CaretEditingAndChangeOnlyOnRealChanges) {
  f.txtScale.SetText("123");
  EXPECT_EQ(f.txtScale.SelStart(), 0);
  f.txtScale.SetSelStart(3);
  f.log.clear();
  f.txtScale.SetText("123");
  EXPECT_EQ(f.log, "");
  EXPECT_EQ(f.txtScale.SelStart(), 3);
  f.txtScale.key(vbKeyLeft);
  f.txtScale.key(vbKeyDelete);
  EXPECT_EQ(f.txtScale.Text(), "12");
  f.txtScale.key(vbKeyHome);
  f.txtScale.type("9");
  EXPECT_EQ(f.txtScale.Text(), "912");
}

TEST_F(Controls, EnterAndEscapePressTheDefaultAndCancelButtons) {
  f.txtScale.focus();
  f.log.clear();
  f.txtScale.key(vbKeyReturn);
  f.txtScale.key(vbKeyEscape);
  EXPECT_EQ(f.log, "btnGo_Click;btnCancel_Click;");
  f.btnGo.click();  // leaving the box for the button raises its LostFocus first
  EXPECT_EQ(f.log, "btnGo_Click;btnCancel_Click;txtScale_LostFocus;btnGo_Click;");
}

TEST_F(Controls, ComboTextListIndexAndClear) {
  f.cboList.SetText("a");
  EXPECT_EQ(f.cboList.ListIndex(), 1);
  f.cboList.SetText("zzz");
  EXPECT_EQ(f.cboList.ListIndex(), -1);
  EXPECT_EQ(f.log, "cboList_Change;cboList_Change;");
  f.log.clear();
  f.cboList.SetListIndex(0);
  EXPECT_EQ(f.cboList.Text(), "b");
  f.cboList.pick("a");
  EXPECT_EQ(f.log, "cboList_Click;cboList_Click;");
  f.log.clear();
  f.cboList.Clear();
  EXPECT_EQ(f.cboList.ListCount(), 0);
  EXPECT_EQ(f.cboList.Text(), "");
  EXPECT_EQ(f.log, "cboList_Change;");
  EXPECT_THROW(f.cboList.pick("a"), ScriptError);
  f.cboFixed.AddItem("JPG");
  f.cboFixed.SetText("jpg");
  EXPECT_EQ(f.cboFixed.Text(), "JPG");
  try {
    f.cboFixed.SetText("PNG");
    FAIL();
  } catch (const host::vb::Error& e) {
    EXPECT_EQ(e.number(), 383);
  }
}

TEST_F(Controls, ListsSortWithoutCaseAndKeepSelections) {
  f.lstSorted.SetSorted(true);
  for (const char* s : {"beta", "Alpha", "gamma", "alpha", "Beta"}) f.lstSorted.AddItem(s);
  EXPECT_EQ(f.lstSorted.Items(), (std::vector<std::string>{"Alpha", "alpha", "beta", "Beta", "gamma"}));
  f.lstFrames.AddItem("Layers");
  f.lstFrames.AddItem("Overview");
  f.lstFrames.SetSelected(1, true);
  f.lstFrames.AddItem("Inset", 0);  // selections move with their rows
  EXPECT_EQ(f.lstFrames.PrintValue(), "[ ] Inset; [ ] Layers; [x] Overview");
  f.lstFrames.select(0, true);
  f.lstFrames.pick(2);  // a click toggles a row of a multi-select list
  EXPECT_EQ(f.lstFrames.SelCount(), 1);
  EXPECT_TRUE(f.lstFrames.Selected(0));
  EXPECT_EQ(f.log, "lstFrames_Click;lstFrames_Click;lstFrames_Click;");
  EXPECT_EQ(f.lstFrames.List(7), "");
  EXPECT_THROW(f.lstFrames.Selected(7), host::vb::Error);
}

TEST_F(Controls, ScrollBarAndTabs) {
  f.VScroll1.SetMax(100);
  f.VScroll1.SetSmallChange(10);
  f.VScroll1.drag(40);
  f.VScroll1.arrow(true);
  f.VScroll1.SetValue(0);
  EXPECT_THROW(f.VScroll1.SetValue(101), host::vb::Error);
  f.SSTab1.select(2);
  f.SSTab1.SetTab(2);
  EXPECT_EQ(f.log, "Scroll(40);Change(40);Change(50);Change(0);SSTab1_Click(0);");
}

TEST_F(Controls, UserActionsNeedAReachableControl) {
  f.btnGo.SetEnabled(false);
  EXPECT_THROW(f.btnGo.click(), ScriptError);
  f.Frame1.SetVisible(false);
  EXPECT_THROW(f.optB.click(), ScriptError);
  f.btnGo.Click.Raise();  // code may still raise it
  EXPECT_EQ(f.log, "btnGo_Click;");
}

TEST_F(Controls, AnUnhandledRunTimeErrorIsReportedNotThrown) {
  f.btnGo.Click = [] { host::vb::raise(13); };
  user().PushAnswer(vbOK);
  f.btnGo.click();
  ASSERT_EQ(BoxLog().size(), 1u);
  EXPECT_EQ(BoxLog()[0].text, "Run-time error '13':\r\n\r\nType mismatch");
}
