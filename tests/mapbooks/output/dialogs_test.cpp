// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/ui/form.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/mapbooks_fixture.h"
#include "mapbooks/output/frmAdvanced.h"
#include "mapbooks/output/frmLoadDir.h"

using namespace mapbooks;

namespace {
class Dialogs : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    host::ui::ClearBoxLog();
  }
  static frmAdvanced& advanced() { return dynamic_cast<frmAdvanced&>(*host::ui::FindLoadedForm("frmAdvanced")); }
  static frmLoadDir& chooser() { return dynamic_cast<frmLoadDir&>(*host::ui::FindLoadedForm("frmLoadDir")); }
  void step(std::function<void()> f) { host::ui::ScriptedUser::Instance().PushStep(std::move(f)); }
};
}  // namespace

TEST_F(Dialogs, AdvancedDelayChecks) {
  step([] { advanced().txtDelay.paste("abc"); });
  step([] { advanced().btnNext.click(); });
  Answer(host::ui::vbOK);
  step([] { EXPECT_EQ(advanced().txtDelay.Text(), "0"); });
  step([] { advanced().txtDelay.paste("-1"); });
  step([] { advanced().btnNext.click(); });
  Answer(host::ui::vbOK);
  step([] { advanced().txtDelay.paste("120.5"); });
  step([] { advanced().btnNext.click(); });
  Answer(host::ui::vbNo);
  step([] { EXPECT_EQ(advanced().txtDelay.Text(), "0"); });
  step([] { advanced().txtDelay.paste("120"); });
  step([] { advanced().btnNext.click(); });  // 120 itself closes without a question
  main().btnPrintAdvanced.click();
  EXPECT_EQ(host::ui::FindLoadedForm("frmAdvanced"), nullptr);
  EXPECT_EQ(main().txtDelay.Text(), "120");
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[0].text, "Please enter a number for the delay");
  EXPECT_EQ(Boxes()[1].text, "Please enter a positive number for the delay");
  EXPECT_EQ(Boxes()[2].text, "Are you sure you want to insert a delay greater than 120 seconds?");
}

TEST_F(Dialogs, AdvancedCopiesBothWaysAndOddWinsOverEven) {
  main().chkReverse.SetValue(1);
  main().txtDelay.SetText("2.5");
  step([] {
    EXPECT_EQ(advanced().chkReverse.Value(), 1);  // each opening starts from the main window's values
    EXPECT_EQ(advanced().txtDelay.Text(), "2.5");
    advanced().chkEven.click();
    advanced().chkOdd.click();  // independent in the dialog
    EXPECT_EQ(advanced().chkEven.Value(), 1);
  });
  step([] { advanced().btnNext.click(); });
  main().btnExpAdvanced.click();
  EXPECT_EQ(main().chkEven.Value(), 0);
  EXPECT_EQ(main().chkOdd.Value(), 1);
  step([] { advanced().chkReverse.click(); });
  step([] { advanced().btnCancel.click(); });  // nothing copied
  main().btnExpAdvanced.click();
  EXPECT_EQ(main().chkReverse.Value(), 1);
}

TEST_F(Dialogs, ExportFolderChooser) {
  auto c = testing_support::DrivesRoot() / "c";
  auto d = testing_support::DrivesRoot() / "d";
  std::filesystem::create_directories(c / "maps" / "out");
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(c / "maps");
  State().ExportFolder = "C:\\Elsewhere";
  // Select without opening anything takes the starting folder: the current one.
  step([] { EXPECT_EQ(chooser().Dir1.Path(), "C:\\maps"); });
  step([] { chooser().btnOpen.click(); });
  main().Command9.click();
  EXPECT_EQ(State().ExportFolder, "C:\\maps");
  EXPECT_EQ(main().txtDir.Text(), "C:\\maps");
  // Another drive opens at its current folder; a root keeps its backslash.
  step([] { chooser().Drive1.pick("d:"); });
  step([] { EXPECT_EQ(chooser().File1.Path(), "D:\\"); });
  step([] { chooser().btnOpen.click(); });
  main().Command9.click();
  EXPECT_EQ(main().txtDir.Text(), "D:\\");
  step([] { chooser().Dir1.open("out"); });
  step([] { chooser().btnCancel.click(); });
  main().Command9.click();
  EXPECT_EQ(State().ExportFolder, "D:\\");
  std::filesystem::current_path(old);
  std::filesystem::remove_all(c / "maps");
  (void)d;
}

TEST_F(Dialogs, AdvancedDelayTooLargeForANumber) {
  step([] { advanced().txtDelay.paste("1e999"); });
  step([] { advanced().btnNext.click(); });
  Answer(host::ui::vbOK);
  step([] {
    EXPECT_EQ(advanced().txtDelay.Text(), "0");
    advanced().btnCancel.click();
  });
  main().txtDelay.SetText("3");
  main().btnPrintAdvanced.click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].text, "Please enter a number for the delay");
  EXPECT_EQ(main().txtDelay.Text(), "3");
}

TEST_F(Dialogs, ExportFolderChooserReportsAFolderItCannotOpenAndStaysOpen) {
  auto c = testing_support::DrivesRoot() / "c";
  std::filesystem::create_directories(c / "maps" / "gone");
  std::filesystem::create_directories(c / "maps" / "kept");
  auto old = std::filesystem::current_path();
  std::filesystem::current_path(c / "maps");
  State().ExportFolder = "C:\\Elsewhere";
  step([&] {
    EXPECT_EQ(chooser().Dir1.ListCount(), 2);
    std::filesystem::remove(c / "maps" / "gone");  // gone after it was listed
    chooser().Dir1.open("gone");
  });
  Answer(host::ui::vbOK);
  step([] {
    EXPECT_EQ(chooser().Dir1.Path(), "C:\\maps");
    EXPECT_EQ(chooser().Dir1.Items(), std::vector<std::string>{"C:\\maps\\kept"});
    EXPECT_EQ(chooser().File1.Path(), "C:\\maps");
    chooser().Dir1.open("kept");
  });
  step([] { chooser().btnOpen.click(); });
  main().Command9.click();
  std::filesystem::current_path(old);
  std::filesystem::remove_all(c / "maps");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_NE(Boxes()[0].text.find("ERROR NUMBER: 76\r\nMODULE: Dir1_Change frmLoadDir \r\nERROR DESCRIPTION: Path not found"),
            std::string::npos)
      << Boxes()[0].text;
  EXPECT_EQ(State().ExportFolder, "C:\\maps\\kept");
}
