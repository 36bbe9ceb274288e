// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "host/vb/error.h"
#include "ui_fixture.h"

using namespace host::ui;

namespace {

// Two wizard pages: each "Next" unloads its own page and shows the next one modally
// from inside its own click, so page changes nest.
struct Wizard;
class frmPage : public Form {
 public:
  frmPage(std::string name, Wizard& w) : Form(std::move(name)), wizard(w) {
    btnNext.Click = [this] { btnNext_Click(); };
  }
  void btnNext_Click();
  void Design() override { btnNext.SetCaption("Next"); }
  Wizard& wizard;
  TextBox txtValue{*this, "txtValue", nullptr};
  CommandButton btnNext{*this, "btnNext", nullptr};
};

struct Wizard {
  frmPage page1{"frmPage1", *this};
  frmPage page2{"frmPage2", *this};
  std::vector<std::string> values;
  std::string trace;
};

void frmPage::btnNext_Click() {
  wizard.values.push_back(txtValue.Text());
  Unload();
  if (this == &wizard.page1) {
    wizard.page2.Show(vbModal);
    wizard.trace += "page2 closed;";
  }
}

}  // namespace

using ModalAndBoxes = UiTest;

TEST_F(ModalAndBoxes, AModalChainIsDrivenFromTheQueue) {
  Wizard w;
  user().PushStep([&] { w.page1.txtValue.type("1000"); });
  user().PushStep([&] { w.page1.btnNext.click(); });
  user().PushStep([&] { w.page2.txtValue.type("20"); });
  user().PushStep([&] { w.page2.btnNext.click(); });
  w.page1.Show(vbModal);
  w.trace += "page1 closed;";
  EXPECT_EQ(w.values, (std::vector<std::string>{"1000", "20"}));
  EXPECT_EQ(w.trace, "page2 closed;page1 closed;");
  EXPECT_FALSE(w.page1.IsLoaded());
}

TEST_F(ModalAndBoxes, AModalFormLeftOpenFailsInTestsAndClosesOnTheCommandLine) {
  Wizard w;
  EXPECT_THROW(w.page1.Show(vbModal), ScriptError);
  w.page1.Unload();
  user().SetPolicy(UnansweredPolicy::Default);
  w.page1.Show(vbModal);  // returns: the host closes it
  EXPECT_FALSE(w.page1.IsLoaded());
}

TEST_F(ModalAndBoxes, BoxesTakeTheirAnswersAndAreRecordedExactly) {
  user().PushAnswer(vbNo);
  user().PushInput(std::string("Mapbook 2"));
  user().PushInput(std::nullopt);
  EXPECT_EQ(MsgBox("Warning: frames differ.\r\nContinue anyway?", vbYesNo), vbNo);
  EXPECT_EQ(InputBox("Enter a name"), "Mapbook 2");
  EXPECT_EQ(InputBox("Enter a name"), "");  // Cancel gives the empty text
  ASSERT_EQ(BoxLog().size(), 3u);
  EXPECT_EQ(BoxLog()[0].text, "Warning: frames differ.\r\nContinue anyway?");
  EXPECT_EQ(BoxLog()[0].title, "");
  EXPECT_EQ(BoxLog()[0].TranscriptLine(), "MSGBOX YesNo -> No: Warning: frames differ.\\nContinue anyway?");
  EXPECT_EQ(BoxLog()[1].TranscriptLine(), "INPUTBOX -> \"Mapbook 2\": Enter a name");
  EXPECT_EQ(BoxLog()[2].TranscriptLine(), "INPUTBOX -> Cancel: Enter a name");
}

TEST_F(ModalAndBoxes, UnansweredOrMisansweredBoxes) {
  EXPECT_THROW(MsgBox("Please select a grid from the list"), ScriptError);
  user().PushAnswer(vbYes);
  EXPECT_THROW(MsgBox("OK only"), ScriptError);  // the box has no Yes button
  user().PushAnswer(vbOK);
  EXPECT_THROW(user().Run(), ScriptError);  // an answer with no box open
  user().SetPolicy(UnansweredPolicy::Default);
  EXPECT_EQ(MsgBox("Save?", vbYesNo | vbDefaultButton2), vbNo);
  EXPECT_EQ(MsgBox("Continue?", vbOKCancel), vbOK);
  EXPECT_EQ(InputBox("Name?"), "");
}

TEST_F(ModalAndBoxes, ModelessFrameShowsAndReloadsItsForm) {
  Wizard w;
  int loads = 0;
  struct Counting : frmPage {
    Counting(Wizard& w, int& n) : frmPage("frmMain", w), loads(n) {}
    void Form_Load() override { ++loads; }
    int& loads;
  } main(w, loads);
  ModelessFrame frame;
  frame.Create(main);
  EXPECT_EQ(loads, 1);
  EXPECT_FALSE(frame.Visible());
  frame.SetVisible(true);
  frame.SetVisible(true);
  EXPECT_EQ(loads, 1);
  EXPECT_TRUE(frame.Visible());
  EXPECT_EQ(ActiveForm(), &main);
  frame.Move(100, 50, 0, 0);
  EXPECT_EQ(main.Left(), 1500);
  EXPECT_EQ(main.WindowTitle(), main.Caption());
  frame.SetCaption("Main - Frame");
  EXPECT_EQ(main.WindowTitle(), "Main - Frame");  // the frame titles the window that shows the form
  main.Unload(vbFormControlMenu);  // the user closes it
  frame.SetVisible(true);          // a later click shows it loaded afresh
  EXPECT_EQ(loads, 2);
  main.Unload();
}

TEST_F(ModalAndBoxes, ScreenInTwips) {
  Screen& s = Screen::Instance();
  EXPECT_EQ(Screen::TwipsPerPixelX, 15);
  EXPECT_EQ(s.Width(), 1920 * 15);
  s.SetMousePointer(vbHourglass);
  EXPECT_EQ(s.GetMousePointer(), 11);
  s.SetMousePointer(vbDefault);
}
