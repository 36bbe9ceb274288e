// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The help window: the quick-start guide as one tall picture scrolled by a scroll bar,
// and three links.

#include <memory>

#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace mapbooks {

class frmHelp : public host::ui::Form {
 public:
  frmHelp();
  // The modeless frame that holds the window; made (and the window loaded) at the first call.
  host::ui::ModelessFrame& Frame();
  // Moves the window's contents to follow the scroll bar.
  void ScrollControls();
  // Hides the window (nothing is bound to it).
  void btnCloseHelp_Click();

  host::ui::PictureBox Picture1{*this, "Picture1", nullptr};
  host::ui::VScrollBar VScroll1{*this, "VScroll1", nullptr};
  host::ui::Label Label2{*this, "Label2", nullptr};
  host::ui::Label Label3{*this, "Label3", nullptr};
  host::ui::Label Label4{*this, "Label4", nullptr};

 protected:
  void Design() override;
  void Form_Load() override;

 private:
  void Label2_Click();
  void Label3_Click();
  void Label4_Click();
  std::unique_ptr<host::ui::ModelessFrame> m_frame;
  int16_t m_iPrevScroll = 0;
};

// The quick-start guide that the window scrolls: a tall PNG picture, drawn through the
// host's painter.
std::string QuickStartGuidePng();

// The addresses the help window opens.
std::string HelpWebSiteAddress();
std::string HelpMailLink();
std::string HelpUpdatesAddress();

}  // namespace mapbooks
