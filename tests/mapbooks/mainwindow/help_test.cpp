// SPDX-License-Identifier: GPL-3.0-or-later
#include <cairo.h>
#include <gtest/gtest.h>

#include <thread>

#include "host/render/painter.h"
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

namespace {

struct Guide {
  int width = 0, height = 0;
  int first_ink = -1, last_ink = -1;  // rows
  int leftmost_ink = -1;              // column
};

Guide Read(const std::string& png) {
  struct Reader {
    const std::string& bytes;
    size_t at = 0;
  } reader{png};
  cairo_surface_t* s = cairo_image_surface_create_from_png_stream(
      [](void* closure, unsigned char* data, unsigned int length) {
        auto* r = static_cast<Reader*>(closure);
        if (r->bytes.size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
        r->bytes.copy(reinterpret_cast<char*>(data), length, r->at);
        r->at += length;
        return CAIRO_STATUS_SUCCESS;
      },
      &reader);
  Guide g;
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS) {
    g.width = cairo_image_surface_get_width(s);
    g.height = cairo_image_surface_get_height(s);
    const unsigned char* data = cairo_image_surface_get_data(s);
    for (int y = 0; y < g.height; ++y)
      for (int x = 0; x < g.width; ++x) {
        const uint32_t px = reinterpret_cast<const uint32_t*>(data + y * cairo_image_surface_get_stride(s))[x];
        if ((px & 0xFF) >= 128 || (px >> 8 & 0xFF) >= 128 || (px >> 16 & 0xFF) >= 128) continue;
        if (g.first_ink < 0) g.first_ink = y;
        g.last_ink = y;
        if (g.leftmost_ink < 0 || x < g.leftmost_ink) g.leftmost_ink = x;
      }
  }
  cairo_surface_destroy(s);
  return g;
}

// The guide is drawn through the host's painter: all of it within the picture's margins,
// and the same picture while other threads lay out and draw text through the host.
TEST(HelpGuide, FitsItsPictureAndIsTheSameBesideOtherDrawing) {
  const std::string alone = QuickStartGuidePng();
  Guide g = Read(alone);
  EXPECT_EQ(g.width, 480);
  EXPECT_EQ(g.height, 700);
  EXPECT_GE(g.first_ink, 18) << "the title keeps the top margin";
  EXPECT_LE(g.first_ink, 30);
  EXPECT_GE(g.leftmost_ink, 18) << "the text keeps the left margin";
  EXPECT_LT(g.last_ink, g.height - 10) << "the last step is cut off";
  EXPECT_GT(g.last_ink, g.height / 2) << "the steps are missing";

  std::vector<std::thread> others;
  std::vector<std::string> guides(3);
  for (std::string& guide : guides) others.emplace_back([&guide] { guide = QuickStartGuidePng(); });
  for (int t = 0; t < 3; ++t)
    others.emplace_back([] {
      for (int i = 0; i < 200; ++i) host::render::LayOutForVector({"Street " + std::to_string(i), {"Arial", 12}});
    });
  for (std::thread& t : others) t.join();
  for (const std::string& guide : guides) EXPECT_TRUE(guide == alone);
}

}  // namespace
