// SPDX-License-Identifier: GPL-3.0-or-later
// Where the drawing puts labels, read back from the drawing's record: inside the frame,
// on the visible part of a polygon, along their lines, upright, never on one another.

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <regex>

#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/render/display_list.h"
#include "host/render/export.h"
#include "host/render/label_placement.h"
#include "host/render/view_drawing.h"
#include "render_support.h"
#include "support/temp_dir.h"

namespace carto = host::carto;
namespace geo = host::geodata;
using namespace host::render;

namespace {

// A label as drawn: its text, its block's corners on the page, its angle and halo.
struct Drawn {
  std::string text;
  LabelBox box;
  bool halo = false;
};

std::vector<Drawn> LabelsOf(const DisplayList& list) {
  std::vector<Drawn> out;
  for (const DisplayItem& item : list.Items()) {
    if (item.kind != DisplayItem::Kind::Text) continue;
    const TextRun& run = item.text;
    const double w = run.layout->Width(), h = run.layout->Height(), a = run.angle * M_PI / 180;
    // The block's middle, turned about the anchor as the back ends turn it.
    const double dx = run.offset.x + w / 2, dy = run.offset.y + h / 2;
    XY centre{run.anchor.x + dx * std::cos(a) + dy * std::sin(a), run.anchor.y - dx * std::sin(a) + dy * std::cos(a)};
    out.push_back({run.layout->Block().text, LabelBox{centre, w, h, run.angle}, run.halo.has_value()});
  }
  return out;
}

bool Within(const LabelBox& box, double x0, double y0, double x1, double y1) {
  for (const XY& c : box.Corners())
    if (c.x < x0 - 1e-6 || c.x > x1 + 1e-6 || c.y < y0 - 1e-6 || c.y > y1 + 1e-6) return false;
  return true;
}

class LabelPlacement : public ::testing::Test {
 protected:
  void TearDown() override { geo::ShapefileWorkspace::ClearCache(); }

  std::shared_ptr<geo::FeatureClass> Shapes(const std::string& name, geo::GeometryType type,
                                            const std::vector<std::pair<std::string, geo::Geometry>>& shapes) {
    geo::FieldSet fields{geo::Field::Shape("Shape", type), geo::Field("NAME", geo::FieldType::String, 30)};
    auto fc = geo::ShapefileWorkspace::Open(dir.path().string())->CreateFeatureClass(name, fields);
    for (const auto& [text, shape] : shapes) {
      geo::Feature f = fc->CreateFeature();
      f.SetShape(shape);
      f.SetValue(fc->FindField("NAME"), text);
      f.Store();
    }
    fc->Flush();
    return fc;
  }

  std::shared_ptr<carto::FeatureLayer> Labelled(std::shared_ptr<geo::FeatureClass> fc, double size = 8) {
    auto layer = std::make_shared<carto::FeatureLayer>(fc);
    layer->Labels().SetExpression("[NAME]");
    layer->Labels().Symbol().SetSize(size);
    layer->SetDisplayAnnotation(true);
    return layer;
  }

  // A size x size unit square of tiles named T0, T1, ... row by row from the bottom.
  std::shared_ptr<geo::FeatureClass> Tiles(int n, double size) {
    std::vector<std::pair<std::string, geo::Geometry>> tiles;
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c)
        tiles.push_back({"T" + std::to_string(r * n + c),
                         geo::Geometry::FromEnvelope(geo::Envelope(c * size, r * size, (c + 1) * size, (r + 1) * size))});
    return Shapes("tiles", geo::GeometryType::Polygon, tiles);
  }

  // The map's extent into the frame (kLeft, kTop, width x height pixels) at dpi.
  std::vector<Drawn> Draw(const geo::Envelope& extent, double width, double height, double dpi = 96,
                          const std::vector<PixelBox>& keepClear = {}) {
    DisplayList list;
    DrawMap(map, list, kLeft, kTop, width, height, dpi, &extent, keepClear);
    return LabelsOf(list);
  }

  static constexpr double kLeft = 20, kTop = 30;
  testing_support::TempDir dir;
  carto::Map map;
};

}  // namespace

TEST_F(LabelPlacement, PolygonsAcrossTheFrameAreLabelledInsideIt) {
  map.AddLayer(Labelled(Tiles(4, 100)));
  // The frame cuts every tile of the outer ring; a 1:1 scale, a pixel a unit.
  std::vector<Drawn> labels = Draw(geo::Envelope(50, 50, 350, 350), 300, 300);
  ASSERT_EQ(labels.size(), 16u) << "every tile shows, if only a quarter of it";
  for (const Drawn& l : labels) {
    EXPECT_TRUE(Within(l.box, kLeft, kTop, kLeft + 300, kTop + 300)) << l.text << " crosses the frame";
    EXPECT_FALSE(l.halo) << "polygons have no halo unless asked";
    // Inside the visible part of its own tile.
    int i = std::stoi(l.text.substr(1)), row = i / 4, col = i % 4;
    double x0 = std::max(50.0, col * 100.0), x1 = std::min(350.0, col * 100.0 + 100);
    double y0 = std::max(50.0, row * 100.0), y1 = std::min(350.0, row * 100.0 + 100);
    EXPECT_TRUE(Within(l.box, kLeft + x0 - 50, kTop + 350 - y1, kLeft + x1 - 50, kTop + 350 - y0)) << l.text;
  }
}

TEST_F(LabelPlacement, APolygonHalfInViewHasItsLabelOnTheVisibleHalf) {
  map.AddLayer(Labelled(Shapes("half", geo::GeometryType::Polygon,
                               {{"Northfield", geo::Geometry::FromEnvelope(geo::Envelope(0, 0, 200, 100))}})));
  // x from 100 to 300: the right half of the polygon shows, in the frame's left half.
  std::vector<Drawn> labels = Draw(geo::Envelope(100, -50, 300, 150), 200, 200);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_TRUE(Within(labels[0].box, kLeft, kTop + 50, kLeft + 100, kTop + 150));
  EXPECT_NEAR(labels[0].box.centre.x, kLeft + 50, 1);  // the visible half's pole
  EXPECT_NEAR(labels[0].box.centre.y, kTop + 100, 1);
}

TEST_F(LabelPlacement, ALabelTooBigForItsVisiblePartOverrunsOnlyWhenAllowedAndNeverTheFrame) {
  auto layer = Labelled(Shapes("small", geo::GeometryType::Polygon,
                               {{"Greater Northfield", geo::Geometry::FromEnvelope(geo::Envelope(0, 0, 100, 100))}}),
                        12);
  map.AddLayer(layer);
  // Wider than the square, it stands centred on it.
  geo::Envelope whole(-50, -50, 150, 150);
  std::vector<Drawn> labels = Draw(whole, 200, 200);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_GT(labels[0].box.width, 100);
  EXPECT_NEAR(labels[0].box.centre.x, kLeft + 100, 1);
  EXPECT_NEAR(labels[0].box.centre.y, kTop + 100, 1);
  // Centred on a strip at the frame's edge it would cross the frame.
  EXPECT_TRUE(Draw(geo::Envelope(80, -50, 280, 150), 200, 200).empty());

  layer->Labels().SetAllowOverrun(false);
  EXPECT_TRUE(Draw(whole, 200, 200).empty());
  layer->Labels().Symbol().SetSize(6);
  EXPECT_EQ(Draw(whole, 200, 200).size(), 1u) << "small enough to fit";
}

TEST_F(LabelPlacement, CrossingStreetsLabelsNeverOverlap) {
  std::vector<std::pair<std::string, geo::Geometry>> streets;
  const char* names[] = {"Willow Street", "Birch Street", "Spruce Street", "Cherry Street", "Maple Street"};
  for (int i = 0; i < 5; ++i) {
    streets.push_back({names[i], geo::Geometry::MakePolyline({{0, i * 40.0 + 20}, {200, i * 40.0 + 20}})});
    streets.push_back({std::string(names[i]) + " North", geo::Geometry::MakePolyline({{i * 40.0 + 20, 0}, {i * 40.0 + 20, 200}})});
  }
  streets.push_back({"Diagonal Boulevard", geo::Geometry::MakePolyline({{0, 0}, {200, 200}})});
  streets.push_back({"Other Diagonal Boulevard", geo::Geometry::MakePolyline({{0, 200}, {200, 0}})});
  map.AddLayer(Labelled(Shapes("streets", geo::GeometryType::Polyline, streets), 10));
  std::vector<Drawn> labels = Draw(geo::Envelope(0, 0, 200, 200), 400, 400);
  EXPECT_GE(labels.size(), 8u);
  for (size_t i = 0; i < labels.size(); ++i) {
    EXPECT_TRUE(labels[i].halo) << "lines have a halo by default";
    for (size_t j = i + 1; j < labels.size(); ++j)
      EXPECT_FALSE(labels[i].box.Overlaps(labels[j].box)) << labels[i].text << " on " << labels[j].text;
  }
}

TEST_F(LabelPlacement, ALineLabelFollowsItsLineUpright) {
  const double r = M_PI / 180;
  auto ray = [&](double deg) {
    return geo::Geometry::MakePolyline({{100 - 80 * std::cos(deg * r), 100 - 80 * std::sin(deg * r)},
                                        {100 + 80 * std::cos(deg * r), 100 + 80 * std::sin(deg * r)}});
  };
  // Each on its own, drawn from its first point to its last.
  const std::pair<double, double> cases[] = {{30, 30}, {210, 30}, {90, 90}, {270, 90}, {120, -60}, {0, 0}, {180, 0}};
  int n = 0;
  for (auto [direction, expected] : cases) {
    carto::Map one;
    one.AddLayer(Labelled(Shapes("ray" + std::to_string(n++), geo::GeometryType::Polyline, {{"Ash St", ray(direction)}})));
    DisplayList list;
    geo::Envelope extent(0, 0, 200, 200);
    DrawMap(one, list, 0, 0, 200, 200, 96, &extent);
    std::vector<Drawn> labels = LabelsOf(list);
    ASSERT_EQ(labels.size(), 1u) << direction;
    EXPECT_NEAR(labels[0].box.angle, expected, 1e-6) << "a line drawn at " << direction << " degrees";
    EXPECT_NEAR(labels[0].box.centre.x, 100, 1e-6);
    EXPECT_NEAR(labels[0].box.centre.y, 100, 1e-6);
  }

  // A bent street: the label lies along its longest visible stretch.
  map.AddLayer(Labelled(Shapes("bent", geo::GeometryType::Polyline,
                               {{"Bent Rd", geo::Geometry::MakePolyline({{10, 10}, {10, 60}, {190, 60}})}})));
  std::vector<Drawn> labels = Draw(geo::Envelope(0, 0, 200, 200), 200, 200);
  ASSERT_EQ(labels.size(), 1u);
  EXPECT_NEAR(labels[0].box.angle, 0, 1e-6);
  EXPECT_NEAR(labels[0].box.centre.y, kTop + 140, 1e-6);
}

TEST_F(LabelPlacement, ARepeatedStreetNameKeepsItsDistance) {
  std::vector<std::pair<std::string, geo::Geometry>> segments;
  for (int i = 0; i < 4; ++i)
    segments.push_back({"Long St", geo::Geometry::MakePolyline({{i * 100.0, 50}, {i * 100.0 + 100, 50}})});
  auto layer = Labelled(Shapes("long", geo::GeometryType::Polyline, segments));
  map.AddLayer(layer);
  geo::Envelope extent(0, 0, 400, 100);
  EXPECT_EQ(Draw(extent, 400, 100).size(), 4u) << "by default every segment";
  layer->Labels().SetRepeatDistance(120);  // points: 160 pixels at 96 dpi
  std::vector<Drawn> labels = Draw(extent, 400, 100);
  EXPECT_EQ(labels.size(), 2u);
  for (size_t i = 0; i < labels.size(); ++i)
    for (size_t j = i + 1; j < labels.size(); ++j)
      EXPECT_GE(std::abs(labels[i].box.centre.x - labels[j].box.centre.x), 160);
  layer->Labels().SetHalo(std::nullopt);
  EXPECT_FALSE(Draw(extent, 400, 100)[0].halo);
}

TEST_F(LabelPlacement, PointsTakeTheUpperRightThenTheOtherPlaces) {
  map.AddLayer(Labelled(Shapes("points", geo::GeometryType::Point,
                               {{"Middle", geo::Geometry::MakePoint(100, 100)},
                                {"East", geo::Geometry::MakePoint(195, 100)},
                                {"Corner", geo::Geometry::MakePoint(195, 195)}})));
  std::map<std::string, XY> at;
  for (const Drawn& l : Draw(geo::Envelope(0, 0, 200, 200), 200, 200)) at[l.text] = l.box.centre;
  ASSERT_EQ(at.size(), 3u);
  EXPECT_GT(at["Middle"].x, kLeft + 100);  // upper right
  EXPECT_LT(at["Middle"].y, kTop + 100);
  EXPECT_LT(at["East"].x, kLeft + 195);  // no room on the right: upper left
  EXPECT_LT(at["East"].y, kTop + 100);
  EXPECT_LT(at["Corner"].x, kLeft + 195);  // nor above: lower left
  EXPECT_GT(at["Corner"].y, kTop + 5);
}

TEST_F(LabelPlacement, ThePriorityGoesFirstAndLabelsKeepClearOfOtherFrames) {
  // Two points close together whose upper right places collide.
  auto first = Labelled(Shapes("first", geo::GeometryType::Point, {{"First", geo::Geometry::MakePoint(100, 100)}}));
  auto second = Labelled(Shapes("second", geo::GeometryType::Point, {{"Second", geo::Geometry::MakePoint(104, 100)}}));
  map.AddLayer(first);
  map.AddLayer(second);
  geo::Envelope extent(0, 0, 200, 200);
  auto upper_right_of = [&](const std::vector<Drawn>& labels, const std::string& text, double x) {
    for (const Drawn& l : labels)
      if (l.text == text) return l.box.centre.x > kLeft + x && l.box.centre.y < kTop + 100;
    return false;
  };
  EXPECT_TRUE(upper_right_of(Draw(extent, 200, 200), "First", 100)) << "without priorities, in drawing order";
  second->Labels().SetPriority(1);
  EXPECT_TRUE(upper_right_of(Draw(extent, 200, 200), "Second", 104));
  EXPECT_FALSE(upper_right_of(Draw(extent, 200, 200), "First", 100));

  // Another element's frame over the upper right: the label goes elsewhere.
  std::vector<Drawn> labels = Draw(extent, 200, 200, 96, {PixelBox{kLeft + 104, kTop, kLeft + 200, kTop + 100}});
  for (const Drawn& l : labels)
    EXPECT_FALSE(l.box.Overlaps(PixelBox{kLeft + 104, kTop, kLeft + 200, kTop + 100})) << l.text;
  EXPECT_FALSE(upper_right_of(labels, "Second", 104));
}

TEST_F(LabelPlacement, OnThePageLabelsKeepClearOfTheOtherElements) {
  carto::Document doc;
  doc.SetActiveView(doc.PageLayout());
  auto main = doc.FocusMap();
  main->AddLayer(Labelled(Shapes("one", geo::GeometryType::Polygon,
                                 {{"Everything", geo::Geometry::FromEnvelope(geo::Envelope(0, 0, 600, 600))}}),
                          20));
  doc.PageLayout().FindFrame(*main)->SetGeometry(geo::Envelope(1, 2, 7, 8));
  main->SetExtent(geo::Envelope(100, 100, 500, 500));
  auto draw = [&] {
    DisplayList list;
    DrawView(doc.ActiveView(), list, carto::PixelRect{0, 0, 816, 1056}, 96);
    return LabelsOf(list);
  };
  ASSERT_EQ(draw().size(), 1u) << "at the middle of the frame";
  // A text box over the middle of the map: the polygon's one place is taken.
  auto note = std::make_shared<carto::TextElement>("Note");
  note->SetGeometry(geo::Envelope(3, 4, 5, 6));
  doc.PageLayout().AddElement(note);
  for (const Drawn& l : draw()) EXPECT_NE(l.text, "Everything");
}

TEST_F(LabelPlacement, TheSameLabelsAtEveryResolutionAndOnEveryRun) {
  std::vector<std::pair<std::string, geo::Geometry>> streets;
  for (int i = 0; i < 6; ++i) {
    streets.push_back({"Street " + std::to_string(i), geo::Geometry::MakePolyline({{0, i * 30.0}, {200, i * 30.0 + 40}})});
    streets.push_back({"Avenue " + std::to_string(i), geo::Geometry::MakePolyline({{i * 30.0, 0}, {i * 30.0 + 40, 200}})});
  }
  map.AddLayer(Labelled(Shapes("streets", geo::GeometryType::Polyline, streets), 9));
  map.AddLayer(Labelled(Tiles(3, 70), 14));
  geo::Envelope extent(10, 10, 190, 190);
  std::vector<Drawn> at96 = Draw(extent, 240, 240, 96);
  std::vector<Drawn> again = Draw(extent, 240, 240, 96);
  DisplayList list;
  DrawMap(map, list, 2 * kLeft, 2 * kTop, 480, 480, 192, &extent);
  std::vector<Drawn> at192 = LabelsOf(list);
  ASSERT_EQ(at96.size(), at192.size());
  ASSERT_EQ(at96.size(), again.size());
  EXPECT_GT(at96.size(), 5u);
  for (size_t i = 0; i < at96.size(); ++i) {
    EXPECT_EQ(at96[i].text, again[i].text);
    EXPECT_EQ(at96[i].box.centre.x, again[i].box.centre.x);
    EXPECT_EQ(at96[i].text, at192[i].text);
    EXPECT_NEAR(2 * at96[i].box.centre.x, at192[i].box.centre.x, 0.5) << at96[i].text;
    EXPECT_NEAR(2 * at96[i].box.centre.y, at192[i].box.centre.y, 0.5) << at96[i].text;
    EXPECT_NEAR(at96[i].box.angle, at192[i].box.angle, 1e-9);
  }
}

TEST_F(LabelPlacement, APdfAndAnSvgOfOnePageCarryTheSameLabelsInTheSamePlaces) {
  carto::Document doc;
  doc.SetActiveView(doc.PageLayout());
  auto main = doc.FocusMap();
  std::vector<std::pair<std::string, geo::Geometry>> streets;
  for (int i = 0; i < 6; ++i) {
    streets.push_back({"Street " + std::to_string(i), geo::Geometry::MakePolyline({{0, i * 40.0 + 10}, {250, i * 40.0 + 10}})});
    streets.push_back({"Avenue " + std::to_string(i), geo::Geometry::MakePolyline({{i * 40.0 + 10, 0}, {i * 40.0 + 50, 250}})});
  }
  main->AddLayer(Labelled(Shapes("streets", geo::GeometryType::Polyline, streets), 9));
  main->AddLayer(Labelled(Tiles(3, 80), 16));
  doc.PageLayout().FindFrame(*main)->SetGeometry(geo::Envelope(1, 2, 7, 8));
  main->SetExtent(geo::Envelope(20, 20, 220, 220));
  auto write = [&](const char* code, const char* name) {
    auto ex = CreateExport(*ExportClassOfFormat(code));
    ex->SetExportFileName((dir.path() / name).string());
    ExportView(doc.ActiveView(), *ex, 96);
    return dir.path() / name;
  };
  render_test::XmlElement svg = render_test::ParseXml(testing_support::ReadFile(write("SVG", "page.svg")));
  render_test::Run pdf = render_test::RunCommand("pdftotext -bbox " + render_test::Quote(write("PDF", "page.pdf").string()) + " -");
  ASSERT_EQ(pdf.status, 0) << pdf.err;

  // The PDF's words, in pixels at 96 dpi.
  struct Word {
    std::string text;
    double x0, y0, x1, y1;
  };
  std::vector<Word> words;
  std::regex word(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re");
  for (auto it = std::sregex_iterator(pdf.out.begin(), pdf.out.end(), word); it != std::sregex_iterator(); ++it) {
    const double k = 96.0 / 72;
    words.push_back({(*it)[5], std::stod((*it)[1]) * k, std::stod((*it)[2]) * k, std::stod((*it)[3]) * k, std::stod((*it)[4]) * k});
  }
  std::vector<const render_test::XmlElement*> texts;
  svg.FindAll("text", texts);
  ASSERT_GT(texts.size(), 8u);
  size_t upright = 0, words_in_svg = 0;
  for (const auto* t : texts) {
    std::string first = t->text.substr(0, t->text.find(' '));
    for (char c : t->text) words_in_svg += c == ' ';
    ++words_in_svg;
    if (!t->Attribute("transform").empty()) continue;
    // An upright label: its first glyph's origin starts a PDF word of the same text.
    ++upright;
    double x = std::stod(t->Attribute("x")), y = std::stod(t->Attribute("y"));
    EXPECT_TRUE(std::any_of(words.begin(), words.end(), [&](const Word& w) {
      return w.text == first && std::abs(w.x0 - x) < 2 && w.y0 < y && y < w.y1;
    })) << t->text << " at " << x << ", " << y;
  }
  EXPECT_GT(upright, 3u);
  EXPECT_EQ(words.size(), words_in_svg) << "the same labels, no more";
}

// The geometry underneath.
TEST(LabelGeometry, ThePoleIsInTheThickestPart) {
  // An L: a wide foot and a thin stem.
  Polygon l{{{0, 0}, {100, 0}, {100, 40}, {10, 40}, {10, 200}, {0, 200}}};
  Pole pole = PoleOfInaccessibility(l, 0.1);
  EXPECT_NEAR(pole.distance, 20, 0.2);
  EXPECT_GT(pole.at.x, 20);
  EXPECT_NEAR(pole.at.y, 20, 0.5);
  // A square with a hole in its middle: the pole is beside the hole, not in it.
  Polygon holed{{{0, 0}, {100, 0}, {100, 100}, {0, 100}}, {{30, 30}, {70, 30}, {70, 70}, {30, 70}}};
  Pole ring = PoleOfInaccessibility(holed, 0.1);
  EXPECT_GT(SignedDistance(holed, ring.at), 10);
  EXPECT_FALSE(LabelBox({ring.at, 30, 4, 0}).Inside(holed) && std::abs(ring.at.x - 50) < 20 && std::abs(ring.at.y - 50) < 20);
  EXPECT_FALSE(LabelBox({{50, 50}, 90, 10, 0}).Inside(holed)) << "over the hole";
}

TEST(LabelGeometry, ASliverNarrowerThanTheSpacingOfTheDoublesWhereItLiesStillHasAPole) {
  // One step of the doubles wide at x = 1000 and one at y = 30: its cells, as tall as
  // it, are thirty times narrower than a step at x = 1000.
  const double x = 1000, y = 30, dx = std::nextafter(x, 2000.0) - x, dy = std::nextafter(y, 60.0) - y;
  const Polygon sliver{{{x, y}, {x + dx, y}, {x + dx, y + dy}, {x, y + dy}}};
  const Pole pole = PoleOfInaccessibility(sliver, dy / 200);
  EXPECT_TRUE(pole.at.x >= x && pole.at.x <= x + dx) << pole.at.x;
  EXPECT_TRUE(pole.at.y >= y && pole.at.y <= y + dy) << pole.at.y;
  EXPECT_TRUE(PolygonPositions(sliver, 10, 5, 0, false).empty()) << "no label fits";
}

TEST(LabelGeometry, ClippingKeepsWhatIsInsideTheRectangle) {
  PixelBox r{0, 0, 100, 100};
  Polygon half = ClipPolygon({{{-50, 10}, {50, 10}, {50, 90}, {-50, 90}}}, r);
  EXPECT_NEAR(AreaOf(half), 50 * 80, 1e-9);
  EXPECT_TRUE(ClipPolygon({{{200, 200}, {300, 200}, {300, 300}}}, r).empty());
  // A path leaving and coming back is two stretches.
  std::vector<Polyline> parts = ClipPolyline({{10, 50}, {150, 50}, {150, 60}, {20, 60}}, r);
  ASSERT_EQ(parts.size(), 2u);
  EXPECT_NEAR(LengthOf(parts[0]), 90, 1e-9);
  EXPECT_NEAR(LengthOf(parts[1]), 80, 1e-9);
  EXPECT_TRUE(ClipPolyline({{-10, -10}, {-20, 50}}, r).empty());
}

TEST(LabelGeometry, TurnedBoxesOverlapOnlyWhereTheyMeet) {
  LabelBox flat{{50, 50}, 40, 10, 0};
  LabelBox upright{{50, 50}, 40, 10, 90};
  EXPECT_TRUE(flat.Overlaps(upright));
  EXPECT_FALSE(flat.Overlaps(LabelBox{{50, 62}, 40, 10, 0}));
  EXPECT_FALSE(flat.Overlaps(LabelBox{{50, 60}, 40, 10, 0})) << "touching is not overlapping";
  // A diagonal box beside a corner: the boxes' bounds meet, the boxes do not.
  EXPECT_FALSE(flat.Overlaps(LabelBox{{74, 58}, 30, 4, 45}));
  EXPECT_TRUE(flat.Overlaps(LabelBox{{68, 58}, 30, 4, 45}));
  EXPECT_EQ(UprightAngle({0, 0}, {-10, 0}), 0);
  EXPECT_EQ(UprightAngle({0, 0}, {0, 10}), 90);  // down the page reads upwards
  EXPECT_EQ(UprightAngle({0, 10}, {0, 0}), 90);
}
