// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/mainwindow/frmHelp.h"

#include <memory>
#include <utility>

#include "host/render/picture.h"

#include "host/vb/convert.h"
#include "host/win/system.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/FormDesign.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks {

namespace {
constexpr const char* kModule = "frmHelp";
// The guide picture's height in twips: within the scroll bar's 16-bit range.
constexpr long kGuideHeight = 10500;
constexpr long kGuideWidth = 7200;
}  // namespace

namespace {
// The guide's steps: a heading and what to do.
constexpr std::pair<const char*, const char*> kSteps[] = {
    {"1. Make a grid.",
     "On the Grids tab, press Create Grid and build a grid around the extent of your map, or type its corner, "
     "size and number of tiles. Then select the new grid in the list and press Add Selected Grid To Active Data "
     "Frame."},
    {"2. Choose the grid layer.",
     "On the Main tab, choose the grid layer in the Layer list. A grid made by the wizard fills in its search, "
     "row and column fields; press Apply to load the Navigation lists."},
    {"3. Choose the data frames.",
     "Select the data frames to zoom in the list on the Main tab, and the primary data frame above the tabs."},
    {"4. Turn the pages.",
     "Pick a value in the Search list, or a row and a column and press Go. Type in the Find box to look a value "
     "up."},
    {"5. Set the scale.",
     "On the Scale tab, keep each data frame's own scale, use a fixed scale, or zoom to each tile plus a "
     "percentage, and shift the primary data frame by an offset."},
    {"6. Dress the layout.",
     "On the Layout tab, add an index map, an overview map, a map number, and the date, time, file type and "
     "resolution texts that are filled in for every page. Build a street index with the Index Wizard."},
    {"7. Print or export.",
     "On the Print and Export tabs, choose the pages (the current map, all maps, the maps in the Selection list, "
     "or the features selected in the map), the format and the resolution, and press Print or Export. Advanced "
     "lets you reverse the order, keep even or odd pages, and wait after each page."},
    {"8. Keep your settings.",
     "On the Mapbooks tab, save the settings as a mapbook and load them again later."},
};
}  // namespace

std::string QuickStartGuidePng() {
  const int width = int(kGuideWidth / 15), height = int(kGuideHeight / 15);
  return host::render::PaintPng(width, height, [&](host::render::Painter& p) {
    const double margin = 20, points = 96.0 / 72.0;  // the guide's type is set in points at 96 dpi
    const host::render::Colour ink{0.1, 0.1, 0.1, 1};
    double y = margin;
    // Each block below the one before, wrapped within the margins.
    auto put = [&](const std::string& text, double size, bool bold, double after) {
      host::render::TextBlock block{text, {"Arial", size * points, bold, false}, host::render::TextAlign::Left,
                                    width - 2 * margin};
      host::render::TextRun run;
      run.layout = p.LayOut(block);
      run.anchor = {margin, y};
      run.colour = ink;
      p.Text(run);
      y += run.layout->Height() + after;
    };
    put("ZelvaneMapbooks: Quick Start", 15.8, true, 12);
    for (const auto& [heading, body] : kSteps) {
      put(heading, 11, true, 0);
      put(body, 11, false, 6);
    }
  });
}

std::string HelpWebSiteAddress() { return WebSiteAddress(); }
std::string HelpMailLink() { return std::string("mailto:info@") + kContactDomain; }
std::string HelpUpdatesAddress() { return WebSiteAddress() + "/products/" + State().ProductName + "/index.htm"; }

frmHelp::frmHelp() : Form("frmHelp") {
  VScroll1.Change = [this] { ScrollControls(); };
  VScroll1.Scroll = [this] { ScrollControls(); };
  Label2.Click = [this] { Label2_Click(); };
  Label3.Click = [this] { Label3_Click(); };
  Label4.Click = [this] { Label4_Click(); };
}

host::ui::ModelessFrame& frmHelp::Frame() {
  if (!m_frame) {
    m_frame = std::make_unique<host::ui::ModelessFrame>();
    m_frame->Create(*this);
    m_frame->SetCaption(State().ProductName + " - Help");
  }
  return *m_frame;
}

void frmHelp::Design() {
  SetCaption("Help");
  Move(0, 0, 7800, 7200);
  Picture1.Move(0, 0, kGuideWidth, kGuideHeight);
  static const host::ui::Picture guide =
      host::ui::MakePicture("", QuickStartGuidePng(), kGuideWidth, kGuideHeight);
  Picture1.SetPicture(guide);
  VScroll1.Move(7380, 0, 255, 6690);
  Place(Label2, 240, kGuideHeight + 120, 3600, 255, std::string("www.") + kContactDomain);
  Place(Label3, 240, kGuideHeight + 420, 3600, 255, std::string("info@") + kContactDomain);
  Place(Label4, 240, kGuideHeight + 720, 3600, 255, "Check for Updates");
  m_iPrevScroll = 0;
}

void frmHelp::Form_Load() {
  ErrorHandling::Guard("Form_Load", kModule, [&] {
    VScroll1.SetHeight(ScaleHeight());
    VScroll1.SetMin(0);
    VScroll1.SetMax(host::vb::CInt(double(Picture1.Height())));
    VScroll1.SetSmallChange(host::vb::CInt(double(host::ui::Screen::TwipsPerPixelY * 10)));
    VScroll1.SetLargeChange(VScroll1.SmallChange());
  });
}

void frmHelp::ScrollControls() {
  for (host::ui::Control* c : Controls()) {
    if (dynamic_cast<host::ui::CommandButton*>(c) || dynamic_cast<host::ui::VScrollBar*>(c)) continue;
    c->SetTop(c->Top() + m_iPrevScroll - VScroll1.Value());
  }
  m_iPrevScroll = int16_t(VScroll1.Value());
}

void frmHelp::btnCloseHelp_Click() { Hide(); }

void frmHelp::Label2_Click() { host::win::ShellExecute("Open", HelpWebSiteAddress()); }
void frmHelp::Label3_Click() { host::win::ShellExecute("Open", HelpMailLink()); }
void frmHelp::Label4_Click() { host::win::ShellExecute("Open", HelpUpdatesAddress()); }

}  // namespace mapbooks
