// SPDX-License-Identifier: GPL-3.0-or-later
// Views, the scale rule, the page layout and its elements, and the document's state.

#include <gtest/gtest.h>

#include "host/carto/carto.h"
#include "host/carto/carto_testing.h"

using namespace host;
using namespace host::carto;
using carto_testing::ErrorOf;
using carto_testing::ExpectEnvelope;
using geodata::Envelope;

namespace {

// A document in layout view whose second map sits in a frame 10 in wide and 5 in high.
struct FramedMap {
  Document doc;
  std::shared_ptr<Map> map = std::make_shared<Map>("Main");
  std::shared_ptr<MapFrame> frame = std::make_shared<MapFrame>(map);
  FramedMap() {
    frame->SetGeometry(Envelope(0.5, 1, 10.5, 6));
    doc.PageLayout().AddElement(frame);
    doc.PageLayout().SetFocusMap(map);
    doc.SetActiveView(doc.PageLayout());
    map->SetMapUnits(Units::Feet);
  }
};

}  // namespace

TEST(Document, ANewDocumentHasOneMapInDataViewOnALetterPage) {
  Document doc;
  ASSERT_EQ(doc.MapCount(), 1);
  EXPECT_EQ(doc.Map(0)->Name(), "Layers");
  EXPECT_EQ(doc.FocusMap(), doc.Map(0));
  EXPECT_FALSE(doc.InLayoutView());
  EXPECT_EQ(&doc.ActiveView(), doc.Map(0).get());
  EXPECT_EQ(doc.PageLayout().Page().Width(), 8.5);
  EXPECT_EQ(doc.PageLayout().Page().Height(), 11);
  EXPECT_EQ(doc.PageLayout().Page().Orientation(), PageOrientation::Portrait);
  EXPECT_EQ(doc.PageLayout().ExportFrame(), (PixelRect{0, 0, 816, 1056}));
  EXPECT_EQ(doc.Map(0)->ExportFrame(), (PixelRect{0, 0, 1024, 768}));
  EXPECT_EQ(doc.PageLayout().FindFrame(*doc.Map(0))->Map(), doc.Map(0));
  EXPECT_EQ(doc.Title(), "Untitled");
  EXPECT_FALSE(doc.Changed());
  EXPECT_EQ(doc.Map(0)->MapScale(), 0);  // no extent yet
  EXPECT_TRUE(doc.Map(0)->Extent().IsEmpty());
}

TEST(Scale, IsTheGroundWidthOverTheFrameWidthInTheSameUnits) {
  FramedMap f;
  // 10,000 ft across a frame 10 in wide: 1:12,000, the extent fitted to the 2:1 frame.
  f.map->SetExtent(Envelope(0, 0, 10000, 2000));
  EXPECT_DOUBLE_EQ(f.map->MapScale(), 12000);
  ExpectEnvelope(f.map->Extent(), 0, -1500, 10000, 3500);
  EXPECT_EQ(f.map->ExportFrame(), (PixelRect{0, 0, 960, 480}));

  // Too high for the frame: the width grows about the centre.
  f.map->SetExtent(Envelope(0, 0, 1000, 1000));
  ExpectEnvelope(f.map->Extent(), -500, 0, 1500, 1000);
  EXPECT_DOUBLE_EQ(f.map->MapScale(), 2400);

  // Setting the scale keeps the centre.
  f.map->SetMapScale(24000);
  ExpectEnvelope(f.map->Extent(), -9500, -4500, 10500, 5500);
  EXPECT_DOUBLE_EQ(f.map->MapScale(), 24000);

  // The same extent in metres (and in unknown units) counts metres.
  f.map->SetMapUnits(Units::Unknown);
  f.map->SetExtent(Envelope(0, 0, 254, 127));
  EXPECT_NEAR(f.map->MapScale(), 1000, 1e-9);
  f.map->SetMapUnits(Units::Meters);
  EXPECT_NEAR(f.map->MapScale(), 1000, 1e-9);

  EXPECT_EQ(ErrorOf([&] { f.map->SetMapScale(0); }).number(), vb::err::InvalidCall);
  EXPECT_EQ(ErrorOf([&] { f.map->SetExtent(Envelope()); }).number(), vb::err::InvalidCall);
}

TEST(Scale, AMapKeepsCentreAndScaleWhenItsFrameChanges) {
  FramedMap f;
  f.map->SetExtent(Envelope(0, 0, 10000, 5000));
  ASSERT_DOUBLE_EQ(f.map->MapScale(), 12000);

  // Data view: the frame is the data window, 1024 x 768 pixels at 96 dpi.
  f.doc.SetActiveView(*f.map);
  EXPECT_DOUBLE_EQ(f.map->MapScale(), 12000);
  ExpectEnvelope(f.map->Extent(), 5000 - 1024 / 96.0 * 500, 2500 - 4 * 1000, 5000 + 1024 / 96.0 * 500, 2500 + 4 * 1000);
  EXPECT_EQ(f.map->ExportFrame(), (PixelRect{0, 0, 1024, 768}));
  f.doc.SetDataWindowSize(960, 480);
  ExpectEnvelope(f.map->Extent(), 0, 0, 10000, 5000);

  // A frame resized on the page shows more of the map at the same scale.
  f.doc.SetActiveView(f.doc.PageLayout());
  f.frame->SetGeometry(Envelope(0, 0, 5, 5));
  EXPECT_DOUBLE_EQ(f.map->MapScale(), 12000);
  ExpectEnvelope(f.map->Extent(), 2500, 0, 7500, 5000);

  // A map without a frame on the page uses the data window in layout view too.
  auto loose = std::make_shared<Map>("Loose");
  f.doc.AddMap(loose);
  EXPECT_EQ(loose->ExportFrame(), (PixelRect{0, 0, 960, 480}));
}

TEST(PageLayout, AFrameBringsItsMapIntoTheDocumentAndTakesItAlong) {
  Document doc;
  auto index = std::make_shared<Map>("Mapbook_Index");
  auto frame = std::make_shared<MapFrame>(index);
  frame->SetGeometry(Envelope(3.5, 0.5, 4.5, 1.5));
  doc.PageLayout().AddElement(frame, 0);
  ASSERT_EQ(doc.MapCount(), 2);
  EXPECT_EQ(doc.Map(1), index);
  EXPECT_EQ(index->Parent(), &doc);
  EXPECT_EQ(index->Frame(), frame);
  EXPECT_EQ(frame->Container(), &doc.PageLayout());

  // A map given to a placed frame joins too.
  auto number = std::make_shared<Map>("Mapbook_Number");
  auto empty_frame = std::make_shared<MapFrame>();
  empty_frame->SetGeometry(Envelope(6.5, 0.5, 7.5, 1.5));
  doc.PageLayout().AddElement(empty_frame);
  EXPECT_EQ(doc.MapCount(), 2);
  empty_frame->SetMap(number);
  EXPECT_EQ(doc.MapCount(), 3);

  doc.PageLayout().SetFocusMap(number);
  doc.PageLayout().DeleteElement(*empty_frame);
  ASSERT_EQ(doc.MapCount(), 2);
  EXPECT_EQ(number->Parent(), nullptr);
  EXPECT_EQ(doc.FocusMap(), doc.Map(0));  // the focus moved off the map that went

  // The document keeps its last map.
  doc.DeleteMap(*index);
  EXPECT_EQ(doc.MapCount(), 1);
  EXPECT_EQ(doc.PageLayout().FindFrame(*index), nullptr);
  doc.PageLayout().DeleteAllElements();
  EXPECT_EQ(doc.MapCount(), 1);
  EXPECT_EQ(doc.PageLayout().ElementCount(), 0);
  EXPECT_EQ(ErrorOf([&] { doc.DeleteMap(*doc.Map(0)); }).number(), vb::err::InvalidCall);

  // An element that outlives its layout no longer points at it.
  std::shared_ptr<MapFrame> kept;
  {
    Document gone;
    kept = gone.PageLayout().MapFrames().at(0);
  }
  EXPECT_EQ(kept->Container(), nullptr);
  EXPECT_EQ(kept->Map()->Parent(), nullptr);

  auto other = std::make_shared<Map>("Other");
  EXPECT_EQ(ErrorOf([&] { doc.PageLayout().SetFocusMap(other); }).number(), vb::err::InvalidCall);
  Document second;
  second.AddMap(other);
  EXPECT_EQ(ErrorOf([&] { doc.AddMap(other); }).number(), vb::err::InvalidCall);
}

TEST(PageLayout, TheWalkGivesElementsInDrawingOrderUntilReset) {
  Document doc;
  PageLayout& layout = doc.PageLayout();
  layout.DeleteAllElements();
  auto a = std::make_shared<TextElement>("MBDATE");
  auto b = std::make_shared<TextElement>("MBTIME");
  auto c = std::make_shared<TextElement>("on top");
  a->SetGeometry(Envelope(0.25, 3, 1, 3.75));
  b->SetGeometry(geodata::Point{1, 8.5});
  layout.AddElement(c, 5);
  layout.AddElement(a, 0);
  layout.AddElement(b, 0);
  layout.AddElement(a, 0);  // already there: nothing changes
  ASSERT_EQ(layout.ElementCount(), 3);
  std::vector<std::string> walked;
  layout.Reset();
  while (auto e = layout.Next()) walked.push_back(std::dynamic_pointer_cast<TextElement>(e)->Text());
  EXPECT_EQ(walked, (std::vector<std::string>{"MBDATE", "MBTIME", "on top"}));
  EXPECT_EQ(layout.Next(), nullptr);  // stays at the end until reset
  layout.Reset();
  EXPECT_EQ(layout.Next(), a);
  layout.DeleteElement(*a);
  EXPECT_EQ(layout.Next(), b);  // the walk goes on after a deleted element

  EXPECT_EQ(b->AnchorPoint()->Y, 8.5);
  EXPECT_TRUE(b->Bounds().Width() == 0 && b->Bounds().XMin() == 1);
  EXPECT_FALSE(a->AnchorPoint());
  ExpectEnvelope(a->Geometry().Extent(), 0.25, 3, 1, 3.75);
  EXPECT_EQ(layout.ZOrder(*c), 5);
  EXPECT_EQ(layout.ZOrder(*a), -1);
  ExpectEnvelope(layout.Page().PrintableBounds(), 0, 0, 8.5, 11);
}

TEST(Views, FocusActiveViewAndRefreshesAreTheDocumentsState) {
  Document doc;
  auto second = std::make_shared<Map>("Second");
  doc.AddMap(second);
  EXPECT_EQ(doc.FocusMap(), doc.Map(0));

  // Data view: the active view is the focus map.
  doc.SetActiveView(*second);
  EXPECT_EQ(doc.FocusMap(), second);
  EXPECT_EQ(&doc.ActiveView(), second.get());
  EXPECT_EQ(doc.ActiveView().FocusMap(), second);
  EXPECT_FALSE(doc.ActiveView().IsPageLayout());

  // Layout view keeps the focus map and can change it.
  doc.SetActiveView(doc.PageLayout());
  EXPECT_TRUE(doc.ActiveView().IsPageLayout());
  EXPECT_EQ(doc.ActiveView().FocusMap(), second);
  doc.ActiveView().SetFocusMap(doc.Map(0));
  EXPECT_EQ(doc.FocusMap(), doc.Map(0));
  ExpectEnvelope(doc.ActiveView().FullExtent(), 0, 0, 8.5, 11);
  ExpectEnvelope(doc.ActiveView().Extent(), 0, 0, 8.5, 11);
  doc.ActiveView().SetExtent(Envelope(0, 0, 4.25, 4.25));  // fitted to the page
  ExpectEnvelope(doc.ActiveView().Extent(), 0, -0.625, 4.25, 4.875);

  EXPECT_EQ(ErrorOf([&] { second->SetFocusMap(doc.Map(0)); }).number(), vb::err::InvalidCall);
  Map stray("Stray");
  EXPECT_EQ(ErrorOf([&] { doc.SetActiveView(stray); }).number(), vb::err::InvalidCall);

  int heard = 0;
  ActiveView::SetRefreshListener([&](ActiveView&, ViewDrawPhase, const Envelope*) { ++heard; });
  doc.ActiveView().Refresh();
  doc.ActiveView().PartialRefresh(ViewDrawPhase::Graphics);
  second->Refresh();
  ActiveView::SetRefreshListener(nullptr);
  EXPECT_EQ(doc.PageLayout().RefreshCount(), 1);
  EXPECT_EQ(doc.PageLayout().PartialRefreshCount(), 1);
  EXPECT_EQ(doc.PageLayout().LastPartialPhase(), ViewDrawPhase::Graphics);
  EXPECT_EQ(second->RefreshCount(), 1);
  EXPECT_EQ(heard, 3);
  doc.CurrentContentsView().Refresh();
  EXPECT_EQ(doc.CurrentContentsView().RefreshCount(), 1);
}

TEST(Document, TheChangedFlagFollowsWhatTheFileWouldHold) {
  Document doc;
  EXPECT_FALSE(doc.Changed());
  doc.Map(0)->SetName("Main");
  EXPECT_TRUE(doc.Changed());
  doc.SetChanged(false);
  EXPECT_FALSE(doc.Changed());
  doc.Map(0)->Refresh();  // a redraw is no change
  EXPECT_FALSE(doc.Changed());
  auto text = std::make_shared<TextElement>("MBDATE");
  text->SetGeometry(Envelope(1, 1, 2, 2));
  doc.PageLayout().AddElement(text);
  EXPECT_TRUE(doc.Changed());
  doc.SetChanged(false);
  text->SetText("2024-01-01");
  EXPECT_TRUE(doc.Changed());
  text->SetText("MBDATE");
  EXPECT_FALSE(doc.Changed());  // back as it was saved
  doc.SetChanged(true);
  EXPECT_TRUE(doc.Changed());
}

TEST(Symbols, ColoursAndSymbolsKeepTheirValuesInRange) {
  RgbColor red = RgbColor::FromRGB(RGB(255, 0, 0));
  EXPECT_EQ(red.Red(), 255);
  EXPECT_EQ(red.Blue(), 0);
  EXPECT_EQ(RgbColor(1, 2, 3).RGB(), 1 + 2 * 256 + 3 * 65536);
  RgbColor hollow(0, 0, 0, 0);
  EXPECT_TRUE(SimpleFillSymbol(hollow).IsHollow());
  EXPECT_FALSE(SimpleFillSymbol().IsHollow());
  EXPECT_EQ(ErrorOf([] { RgbColor(256, 0, 0); }).number(), vb::err::InvalidCall);
  EXPECT_EQ(ErrorOf([] { SimpleLineSymbol(RgbColor(), -1); }).number(), vb::err::InvalidCall);

  // A font sets the symbol's size with it.
  TextSymbol t;
  t.SetHorizontalAlignment(HorizontalAlignment::Left);
  t.SetFont(Font{"Arial", 6, true});
  EXPECT_EQ(t.Size(), 6);
  EXPECT_TRUE(t.Bold());
  t.SetSize(18);
  EXPECT_EQ(t.Font().Size, 18);
  EXPECT_EQ(ErrorOf([&] { t.SetSize(0); }).number(), vb::err::InvalidCall);

  auto frame = std::make_shared<MapFrame>();
  frame->SetExtentType(1);
  EXPECT_EQ(frame->ExtentType(), ExtentType::FixedScale);
  EXPECT_EQ(ErrorOf([&] { frame->SetExtentType(3); }).number(), vb::err::InvalidCall);
  EXPECT_EQ(ErrorOf([&] { frame->LocatorRectangle(0); }).number(), vb::err::SubscriptOutOfRange);

  EXPECT_EQ(ParseUnits("Feet"), Units::Feet);
  EXPECT_EQ(ParseUnits("9"), Units::Meters);
  EXPECT_EQ(ParseUnits("furlongs"), std::nullopt);
  EXPECT_DOUBLE_EQ(ToInches(1, Units::Feet), 12);
  EXPECT_NEAR(FromInches(ToInches(3.7, Units::Kilometers), Units::Kilometers), 3.7, 1e-12);
}
