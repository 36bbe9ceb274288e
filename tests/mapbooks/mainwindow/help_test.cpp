// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include "host/ui/form.h"
#include "host/win/system.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mainwindow/frmHelp.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;

namespace {
class Help : public ProgramTest {
 protected:
  void SetUp() override {
    ProgramTest::SetUp();
    StartProgram();
    host::win::ClearShellExecuteLog();
  }
  std::vector<frmHelp*> help_windows() {
    std::vector<frmHelp*> r;
    for (host::ui::Form* f : host::ui::LoadedForms())
      if (auto* h = dynamic_cast<frmHelp*>(f)) r.push_back(h);
    return r;
  }
};
}  // namespace

TEST_F(Help, EachPressOpensAnotherWindowWithItsOwnFrame) {
  MainForm().btnHelp2.click();
  MainForm().btnHelp2.click();
  auto windows = help_windows();
  ASSERT_EQ(windows.size(), 2u);
  EXPECT_NE(&windows[0]->Frame(), &windows[1]->Frame());
  EXPECT_TRUE(windows[1]->Visible());
  EXPECT_EQ(windows[0]->Frame().Caption(), "ZelvaneMapbooks - Help");
  EXPECT_EQ(windows[0]->VScroll1.Max(), 10500);
  EXPECT_EQ(windows[0]->VScroll1.SmallChange(), 150);
  EXPECT_EQ(windows[0]->VScroll1.Height(), windows[0]->ScaleHeight());
  EXPECT_EQ(windows[0]->Picture1.GetPicture().Data.substr(1, 3), "PNG");  // the guide is drawn
}

TEST_F(Help, ScrollingMovesTheContentsAndBackRestoresThem) {
  MainForm().btnHelp2.click();
  frmHelp& h = *help_windows().at(0);
  long picture = h.Picture1.Top(), link = h.Label4.Top(), bar = h.VScroll1.Top();
  h.VScroll1.drag(1000);  // dragging the thumb: Scroll, then Change
  EXPECT_EQ(h.Picture1.Top(), picture - 1000);
  h.VScroll1.arrow(true);  // an arrow: Change only, moved the same way
  EXPECT_EQ(h.Label4.Top(), link - 1150);
  EXPECT_EQ(h.VScroll1.Top(), bar);  // the bar itself stays
  h.VScroll1.drag(h.VScroll1.Max());
  h.VScroll1.drag(0);
  EXPECT_EQ(h.Picture1.Top(), picture);
  EXPECT_EQ(h.Label4.Top(), link);
}

TEST_F(Help, LinksOpenTheirAddresses) {
  MainForm().btnHelp2.click();
  frmHelp& h = *help_windows().at(0);
  h.Label2.click();
  h.Label3.click();
  h.Label4.click();
  auto log = host::win::ShellExecuteLog();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].second, "http://www.zelvanegis.example");
  EXPECT_EQ(log[1].second, "mailto:info@zelvanegis.example");
  EXPECT_EQ(log[2].second, "http://www.zelvanegis.example/products/ZelvaneMapbooks/index.htm");
  EXPECT_EQ(h.Label2.Caption(), "www.zelvanegis.example");
}
