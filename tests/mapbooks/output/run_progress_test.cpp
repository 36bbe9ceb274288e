// SPDX-License-Identifier: GPL-3.0-or-later
// The status bar after a run: however a run ends, its progressor is gone and the
// pointer is back to normal.

#include <gtest/gtest.h>

#include <algorithm>

#include "host/app/progressor.h"
#include "mapbooks/common/SharedState.h"
#include "mapbooks/mapbooks_fixture.h"

using namespace mapbooks;

namespace {

class RunEnds : public ProgramTest {
 protected:
  // A grid of three tiles in "Layers", an inset map without it, both frames selected.
  void SetUp() override {
    ProgramTest::SetUp();
    WriteTown(3, 1);
    doc().FocusMap()->AddLayer(Layer("grid"));
    doc().AddMap(std::make_shared<host::carto::Map>("Inset"));
    StartProgram();
    main().cboMapLayers.pick("grid");
    main().btnLayerApply.click();
    main().lstDataFrames.select(0, true);
    main().lstDataFrames.select(1, true);
    main().txtDir.paste("C:\\out");
    main().txtRes.paste("10");
    main().optPNG.click();
    main().optExportAll.click();
    std::filesystem::create_directories(DriveC() / "out");
    State().Config[RefreshDelay] = "0";
    host::ui::ClearBoxLog();
  }
  void TearDown() override {
    std::filesystem::remove_all(DriveC() / "out");
    ProgramTest::TearDown();
  }
  host::app::StepProgressor& progressor() { return app->GetStatusBar().GetProgressBar(); }
};

}  // namespace

// Waits for the mend in the page run: a run that stops at a missing grid layer must hide
// the progressor as every other way out does.
TEST_F(RunEnds, AStopAtAMissingGridLayerHidesTheProgressor) {
  std::vector<bool> shown;
  progressor().SetListener([&](const host::app::StepProgressor& p) { shown.push_back(p.Visible()); });
  Answer(host::ui::vbOK);
  main().btnExport.click();
  progressor().SetListener(nullptr);
  ASSERT_FALSE(Boxes().empty());
  EXPECT_EQ(Boxes().back().text, "Unable to find grid layer: grid\r\nIn data frame: Inset");
  ASSERT_FALSE(shown.empty());
  EXPECT_TRUE(std::find(shown.begin(), shown.end(), true) != shown.end());  // it was shown
  EXPECT_FALSE(progressor().Visible());
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}

TEST_F(RunEnds, RunsThatEndOrFailHideTheProgressor) {
  // To the end.
  main().lstDataFrames.select(1, false);
  main().btnExport.click();
  EXPECT_FALSE(progressor().Visible());
  // A failure of the run's own steps: a refresh delay that is no number.
  State().Config[RefreshDelay] = "soon";
  Answer(host::ui::vbOK);
  main().btnExport.click();
  ASSERT_FALSE(Boxes().empty());
  EXPECT_NE(Boxes().back().text.find("MODULE: btnExport_Click frmMain"), std::string::npos) << Boxes().back().text;
  EXPECT_FALSE(progressor().Visible());
  EXPECT_EQ(host::ui::Screen::Instance().GetMousePointer(), host::ui::vbDefault);
}
