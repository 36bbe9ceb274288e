#include "mapbooks/mainwindow/frmHelp.h"

#include "host/vb/convert.h"
#include "host/win/system.h"
#include "mapbooks/common/ErrorHandling.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks {

namespace {
constexpr const char* kModule = "frmHelp";
// The guide picture's height in twips: within the scroll bar's 16-bit range.
constexpr long kGuideHeight = 24000;
constexpr long kGuideWidth = 7200;
}  // namespace

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
  Picture1.SetPicture(host::ui::MakePicture("", "", kGuideWidth, kGuideHeight));
  VScroll1.Move(7380, 0, 255, 6690);
  Label2.Move(240, kGuideHeight + 120, 3600, 255);
  Label2.SetCaption(std::string("www.") + kContactDomain);
  Label3.Move(240, kGuideHeight + 420, 3600, 255);
  Label3.SetCaption(std::string("info@") + kContactDomain);
  Label4.Move(240, kGuideHeight + 720, 3600, 255);
  Label4.SetCaption("Check for Updates");
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
