// SPDX-License-Identifier: GPL-3.0-or-later
#include "layout_fixture.h"

using namespace layout_test;
namespace carto = host::carto;

namespace {
class KeywordTexts : public LayoutTest {};
}  // namespace

TEST_F(KeywordTexts, InDataViewEachButtonOnlyAsksForLayoutView) {
  Start();
  doc().SetActiveView(*layers);
  const int before = doc().PageLayout().ElementCount();
  for (auto* button : {&main().Command2, &main().Command3, &main().Command4, &main().Command5}) {
    Answer(host::ui::vbOK);
    button->click();
  }
  ASSERT_EQ(Boxes().size(), 4u);
  for (const auto& box : Boxes()) {
    EXPECT_EQ(box.text, "Please switch to Layout view before adding map elements.");
    EXPECT_EQ(box.style, host::ui::vbOKOnly);
  }
  EXPECT_EQ(doc().PageLayout().ElementCount(), before);
}

TEST_F(KeywordTexts, FourKeywordsSideBySideInAnyOrderAndRepeats) {
  Start();
  carto::PageLayout& page = doc().PageLayout();
  const long refreshes = page.PartialRefreshCount();
  for (auto* button : {&main().Command3, &main().Command2, &main().Command5, &main().Command4, &main().Command2})
    button->click();
  EXPECT_EQ(page.PartialRefreshCount(), refreshes + 5);
  EXPECT_EQ(page.LastPartialPhase(), carto::ViewDrawPhase::Graphics);
  auto texts = TextElements();
  ASSERT_EQ(texts.size(), 5u);
  const std::pair<const char*, double> expected[] = {
      {"MBDPI", 3.25}, {"MBDATE", 0.25}, {"MBTYPE", 2.25}, {"MBTIME", 1.25}, {"MBDATE", 0.25}};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(texts[i]->Text(), expected[i].first);
    double x = expected[i].second;
    EXPECT_EQ(texts[i]->Bounds(), geo::Envelope(x, 3.0, x + 0.75, 3.75)) << i;
    EXPECT_EQ(page.ZOrder(*texts[i]), 0);
    ExpectFont(*texts[i], 10);
  }
  EXPECT_TRUE(Boxes().empty());
}

// The keywords the buttons add come back after a run that fails, so that saving the
// document afterwards keeps them.
TEST_F(KeywordTexts, KeywordsAddedWithTheButtonsSurviveAFailedExport) {
  Start();
  for (auto* button : {&main().Command2, &main().Command3, &main().Command4, &main().Command5}) button->click();
  std::filesystem::create_directories(DriveC() / "out");
  main().txtDir.paste("C:\\out");
  main().txtRes.paste("10");
  main().optPNG.click();
  main().optExportAll.click();
  main().lstDataFrames.select(0, true);
  mapbooks::State().Config[mapbooks::RefreshDelay] = "later";  // not a number: the first page fails
  Answer(host::ui::vbOK);
  main().btnExport.click();
  EXPECT_NE(Boxes().back().text.find("MODULE: btnExport_Click frmMain "), std::string::npos);
  std::vector<std::string> texts;
  for (const auto& t : TextElements()) texts.push_back(t->Text());
  EXPECT_EQ(texts, (std::vector<std::string>{"MBDATE", "MBDPI", "MBTIME", "MBTYPE"}));
  std::filesystem::remove_all(DriveC() / "out");
}

// A zoom to a page value that no tile carries any more (the grid was edited after the
// lists were filled) is a failure of the button that asked for it, reported as such.
TEST_F(KeywordTexts, AFailedZoomToTheFirstPageEndsInTheButtonsReport) {
  Start();
  auto tiles = mapbooks::State().ActiveLayer->FeatureClass();  // the grid applied
  auto first = tiles->GetFeature(0);
  first->SetValue(tiles->FindField("MB_Label"), "Z9");
  first->Store();
  ASSERT_EQ(main().cboNavIndex.List(0), "A1");
  Answer(host::ui::vbYes);
  Answer(host::ui::vbOK);
  main().btnMapNumber.click();
  ASSERT_EQ(Boxes().size(), 2u);
  EXPECT_NE(Boxes().back().text.find("ERROR NUMBER: 91\r\nMODULE: btnMapNumber_Click frmMain "), std::string::npos)
      << Boxes().back().text;
}
