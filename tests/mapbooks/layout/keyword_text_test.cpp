#include <gtest/gtest.h>

#include "layout_fixture.h"

using namespace mapbooks;
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
    EXPECT_EQ(box.title, "");
  }
  EXPECT_EQ(doc().PageLayout().ElementCount(), before);
  EXPECT_FALSE(doc().InLayoutView());
}

TEST_F(KeywordTexts, FourKeywordsSideBySideInAnyOrderAndRepeats) {
  Start();
  carto::PageLayout& page = doc().PageLayout();
  const long refreshes = page.PartialRefreshCount();
  // Pressed out of order, and Date twice.
  main().Command3.click();
  main().Command2.click();
  main().Command5.click();
  main().Command4.click();
  main().Command2.click();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(page.PartialRefreshCount(), refreshes + 5);
  EXPECT_EQ(page.LastPartialPhase(), carto::ViewDrawPhase::Graphics);

  auto texts = TextElements();
  ASSERT_EQ(texts.size(), 5u);
  const std::vector<std::string> order{"MBDPI", "MBDATE", "MBTYPE", "MBTIME", "MBDATE"};
  for (size_t i = 0; i < texts.size(); ++i) {
    const auto& t = *texts[i];
    EXPECT_EQ(t.Text(), order[i]);
    EXPECT_EQ(page.ZOrder(t), 0);
    EXPECT_TRUE(t.HasEnvelope());
    EXPECT_EQ(t.Name(), "");
    EXPECT_EQ(t.Symbol().FontName(), "Arial");
    EXPECT_EQ(t.Symbol().Size(), 10);
    EXPECT_TRUE(t.Symbol().Bold());
    EXPECT_FALSE(t.Symbol().Font().Italic);
    EXPECT_EQ(t.Symbol().HorizontalAlign(), carto::HorizontalAlignment::Left);
    EXPECT_EQ(t.Symbol().Angle(), 0);
  }
  auto bounds_of = [&](const std::string& keyword) {
    for (const auto& t : texts)
      if (t->Text() == keyword) return t->Bounds();
    return host::geodata::Envelope();
  };
  EXPECT_EQ(bounds_of("MBDATE"), host::geodata::Envelope(0.25, 3.0, 1.0, 3.75));
  EXPECT_EQ(bounds_of("MBTIME"), host::geodata::Envelope(1.25, 3.0, 2.0, 3.75));
  EXPECT_EQ(bounds_of("MBTYPE"), host::geodata::Envelope(2.25, 3.0, 3.0, 3.75));
  EXPECT_EQ(bounds_of("MBDPI"), host::geodata::Envelope(3.25, 3.0, 4.0, 3.75));
  // The two Date elements lie on each other; different keywords never overlap.
  EXPECT_EQ(texts[1]->Bounds(), texts[4]->Bounds());
  for (size_t i = 0; i < 4; ++i)
    for (size_t j = i + 1; j < 4; ++j)
      EXPECT_FALSE(texts[i]->Bounds().Intersects(texts[j]->Bounds())) << order[i] << " and " << order[j];
}
