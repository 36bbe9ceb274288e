// SPDX-License-Identifier: GPL-3.0-or-later
// Layers in another coordinate system are drawn where the map's own layers are: the
// demo town's streets, reprojected by ogr2ogr, drawn over the original at 300 dpi.

#include <gtest/gtest.h>

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "host/carto/document.h"
#include "host/carto/elements.h"
#include "host/carto/layer.h"
#include "host/carto/map.h"
#include "host/carto/page_layout.h"
#include "host/geodata/workspace.h"
#include "host/render/view_drawing.h"
#include "render_support.h"
#include "support/temp_dir.h"
#include "towngen/towngen.h"

namespace carto = host::carto;
namespace geo = host::geodata;

namespace {

constexpr double kDpi = 300;

// The streets in State Plane feet, the same streets in another system, and a page with
// one frame whose map is in State Plane feet.
class Reprojected : public ::testing::Test {
 protected:
  void SetUp() override {
    town = towngen::WriteTown((dir / "sp").string(), {7, 6, 5});
    original = Streets("sp");
    doc.SetActiveView(doc.PageLayout());
    map = doc.FocusMap();
    map->AddLayer(original);
    frame = doc.PageLayout().FindFrame(*map);
    frame->SetGeometry(geo::Envelope(0.5, 0.5, 8.0, 10.5));
    map->SetExtent(town.extent);
  }
  void TearDown() override { geo::ShapefileWorkspace::ClearCache(); }

  std::shared_ptr<carto::FeatureLayer> Streets(const std::string& folder) {
    auto layer =
        std::make_shared<carto::FeatureLayer>(geo::ShapefileWorkspace::Open((dir / folder).string())->OpenFeatureClass("streets"));
    layer->SetRenderer(carto::SimpleRenderer(carto::SimpleLineSymbol(carto::RgbColor(0, 0, 0), 1)));
    return layer;
  }
  // The streets written again in the coordinate system by ogr2ogr.
  std::shared_ptr<carto::FeatureLayer> Reproject(const std::string& folder, const std::string& srs) {
    std::filesystem::create_directories(dir / folder);
    auto run = render_test::RunCommand("ogr2ogr -t_srs " + srs + " " + render_test::Quote((dir / folder / "streets.shp").string()) +
                                       " " + render_test::Quote((dir / "sp" / "streets.shp").string()));
    EXPECT_EQ(run.status, 0) << run.err;
    return Streets(folder);
  }

  // Dark pixels of the page with only this layer shown.
  std::vector<bool> DrawOnly(const std::shared_ptr<carto::FeatureLayer>& shown) {
    for (const auto& l : map->AllFeatureLayers()) l->SetVisible(l == shown);
    width = int(8.5 * kDpi);
    height = int(11 * kDpi);
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(s);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    host::render::DrawView(doc.ActiveView(), cr, carto::PixelRect{0, 0, width, height}, kDpi);
    cairo_destroy(cr);
    cairo_surface_flush(s);
    std::vector<bool> dark(size_t(width) * size_t(height));
    const unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint32_t v = *reinterpret_cast<const uint32_t*>(data + y * stride + x * 4);
        dark[size_t(y) * size_t(width) + size_t(x)] = ((v >> 16) & 0xFF) < 128;
      }
    cairo_surface_destroy(s);
    return dark;
  }
  // Dark pixels of a that have no dark pixel of b within one pixel.
  int Unmatched(const std::vector<bool>& a, const std::vector<bool>& b) const {
    int n = 0;
    for (int y = 1; y + 1 < height; ++y)
      for (int x = 1; x + 1 < width; ++x) {
        if (!a[size_t(y) * size_t(width) + size_t(x)]) continue;
        bool near = false;
        for (int dy = -1; dy <= 1 && !near; ++dy)
          for (int dx = -1; dx <= 1 && !near; ++dx) near = b[size_t(y + dy) * size_t(width) + size_t(x + dx)];
        n += near ? 0 : 1;
      }
    return n;
  }
  // The largest distance, in pixels at 300 dpi, between a vertex of the layer's features
  // as the map gets them and the same vertex of the original.
  double LargestVertexOffset(const carto::FeatureLayer& layer) {
    const double feet_per_pixel = map->Extent().Width() / (frame->Bounds().Width() * kDpi);
    double worst = 0;
    geo::FeatureCursor theirs = layer.Search();
    geo::FeatureCursor ours = original->Search();
    int features = 0;
    while (auto a = ours.NextFeature()) {
      auto b = theirs.NextFeature();
      if (!b) return 1e9;
      auto pa = a->Shape().Parts(), pb = b->Shape().Parts();
      if (pa.size() != pb.size()) return 1e9;
      for (size_t i = 0; i < pa.size(); ++i)
        for (size_t k = 0; k < std::min(pa[i].size(), pb[i].size()); ++k)
          worst = std::max(worst, std::hypot(pa[i][k].X - pb[i][k].X, pa[i][k].Y - pb[i][k].Y) / feet_per_pixel);
      ++features;
    }
    EXPECT_EQ(features, town.streets);
    return worst;
  }

  void ExpectDrawnOverTheOriginal(const std::shared_ptr<carto::FeatureLayer>& other) {
    map->AddLayer(other);
    EXPECT_TRUE(map->SpatialReference().IsSame(original->FeatureClass()->SpatialRef()));
    const double offset = LargestVertexOffset(*other);
    EXPECT_LT(offset, 1.0);
    std::printf("largest vertex offset: %.2e px at %g dpi\n", offset, kDpi);
    // The layer's area is the original's, grown only by the turn between the two grids.
    geo::Envelope a = original->AreaOfInterest(), b = other->AreaOfInterest();
    a.Expand(1, 1, false);
    EXPECT_TRUE(b.Contains(a));
    EXPECT_LT(b.Width() * b.Height(), 1.15 * a.Width() * a.Height());
    std::vector<bool> ours = DrawOnly(original), theirs = DrawOnly(other);
    const long drawn = std::count(ours.begin(), ours.end(), true);
    EXPECT_GT(drawn, 10000);
    EXPECT_EQ(Unmatched(ours, theirs), 0);
    EXPECT_EQ(Unmatched(theirs, ours), 0);
  }

  testing_support::TempDir dir;
  towngen::TownSummary town;
  carto::Document doc;
  std::shared_ptr<carto::Map> map;
  std::shared_ptr<carto::MapFrame> frame;
  std::shared_ptr<carto::FeatureLayer> original;
  int width = 0, height = 0;
};

}  // namespace

TEST_F(Reprojected, StreetsInWgs84CoincideWithTheOriginalWithinAPixel) {
  auto wgs84 = Reproject("wgs84", "EPSG:4326");
  EXPECT_TRUE(wgs84->FeatureClass()->SpatialRef().IsGeographic());
  ExpectDrawnOverTheOriginal(wgs84);
}

TEST_F(Reprojected, StreetsInUtmMetresCoincideWithTheOriginalWithinAPixel) {
  auto utm = Reproject("utm", "EPSG:32610");
  EXPECT_EQ(utm->FeatureClass()->SpatialRef().Unit(), geo::LinearUnit::Meters);
  ExpectDrawnOverTheOriginal(utm);
}

TEST_F(Reprojected, AMapInDegreesDrawsTheStateStreetsWhereItsOwnAre) {
  // The other way round: the map takes the first layer's system, degrees.
  auto wgs84 = Reproject("wgs84", "EPSG:4326");
  carto::Document other;
  other.SetActiveView(other.PageLayout());
  auto m = other.FocusMap();
  m->AddLayer(wgs84);
  m->AddLayer(Streets("sp"));
  EXPECT_TRUE(m->SpatialReference().IsGeographic());
  const geo::Envelope degrees = m->FullExtent();
  EXPECT_GT(degrees.XMin(), -123);
  EXPECT_LT(degrees.XMax(), -122);
  EXPECT_GT(degrees.YMin(), 37);
  EXPECT_LT(degrees.YMax(), 38.5);
  // A filter in degrees finds the State Plane streets it covers, as it finds the WGS84 ones.
  geo::Envelope west = degrees;
  west.SetXMax(degrees.Center().X);
  geo::SpatialFilter filter(geo::Geometry::FromEnvelope(west), geo::SpatialRelation::Intersects);
  auto sp = std::dynamic_pointer_cast<carto::FeatureLayer>(m->Layer(0));
  std::vector<int64_t> a = sp->SearchOIDs(&filter), b = wgs84->SearchOIDs(&filter);
  EXPECT_GT(a.size(), 0u);
  EXPECT_LT(a.size(), size_t(town.streets));
  EXPECT_EQ(a, b);
  for (auto c = sp->Search(filter); auto f = c.NextFeature();) EXPECT_TRUE(f->Extent().Intersects(west));
}
