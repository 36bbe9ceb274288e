// SPDX-License-Identifier: GPL-3.0-or-later
// Every form of the map-book command as designed: each caption fits its box in the
// windows' 9-point font (measured with Qt's font metrics), and each control keeps
// clear of its container's edges, so nothing is shrunk, cut or sits on a border.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFont>
#include <QFontInfo>
#include <QFontMetrics>
#include <QTabBar>

#include <memory>
#include <string>
#include <vector>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "mapbooks/command/frmResources.h"
#include "mapbooks/gridwizard/frmAutomaticGrid.h"
#include "mapbooks/gridwizard/frmMakeGrid.h"
#include "mapbooks/gridwizard/frmSelectGridType.h"
#include "mapbooks/layout/frmIndex.h"
#include "mapbooks/mainwindow/frmHelp.h"
#include "mapbooks/mainwindow/frmMain.h"
#include "mapbooks/output/frmAdvanced.h"
#include "mapbooks/output/frmLoadDir.h"

namespace {

namespace ui = host::ui;

// A form with its design values set, as loading sets them, without its load handler.
template <typename F>
struct Designed : F {
  Designed() { this->Design(); }
};

std::vector<std::unique_ptr<ui::Form>> every_form() {
  std::vector<std::unique_ptr<ui::Form>> forms;
  forms.push_back(std::make_unique<Designed<mapbooks::frmMain>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmHelp>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmAdvanced>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmLoadDir>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmIndex>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmSelectGridType>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmMakeGrid>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmMakeGrid2>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmAutomaticGrid>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmAutomaticGrid2>>());
  forms.push_back(std::make_unique<Designed<mapbooks::frmResources>>());
  return forms;
}

int px(long twips) { return int(twips / ui::Screen::TwipsPerPixelX); }

bool shown(const ui::Control& c) {
  for (const ui::Control* at = &c; at; at = at->Container())
    if (!at->Visible()) return false;
  return true;
}

// Room a widget of the kind takes besides its caption: the check box's box, the
// button's bevel, the frame's corner before its caption.
int room_beside(const ui::Control& c) {
  if (dynamic_cast<const ui::CheckBox*>(&c) || dynamic_cast<const ui::OptionButton*>(&c)) return 20;
  if (dynamic_cast<const ui::CommandButton*>(&c)) return 8;
  if (dynamic_cast<const ui::Frame*>(&c)) return 20;
  return 0;
}

std::vector<std::string> captions_too_big(const ui::Form& form, const QFont& font) {
  const QFontMetrics m(font);
  std::vector<std::string> out;
  for (const ui::Control* c : form.Controls()) {
    if (auto* tab = dynamic_cast<const ui::TabControl*>(c)) {
      // The tabs side by side, each as wide as the style makes it for its caption.
      QTabBar bar;
      bar.setFont(font);
      bar.setElideMode(Qt::ElideNone);
      std::string captions;
      for (int i = 0; i < tab->Tabs(); ++i) {
        bar.addTab(QString::fromStdString(tab->TabCaption(i)));
        captions += (i ? ", " : "") + tab->TabCaption(i);
      }
      if (bar.sizeHint().width() > px(c->Width()))
        out.push_back(form.Name() + "." + c->Name() + " (" + std::to_string(px(c->Width())) + " px wide, needs " +
                      std::to_string(bar.sizeHint().width()) + "): " + captions);
      continue;
    }
    auto* captioned = dynamic_cast<const ui::CaptionedControl*>(c);
    if (!captioned || captioned->Caption().empty() || !shown(*c)) continue;
    QString text = QString::fromStdString(captioned->Caption());
    if (dynamic_cast<const ui::CommandButton*>(c)) text.remove(QLatin1Char('&'));
    const int w = px(c->Width()) - room_beside(*c), h = px(c->Height());
    const bool wraps = dynamic_cast<const ui::Label*>(c) && h >= 2 * m.height();
    const int need_w = wraps ? w : m.horizontalAdvance(text);
    const int need_h = wraps ? m.boundingRect(QRect(0, 0, w, 1 << 20), Qt::TextWordWrap, text).height()
                             : dynamic_cast<const ui::Frame*>(c) ? 0 : m.height();
    if (need_w > w || need_h > h)
      out.push_back(form.Name() + "." + c->Name() + " (" + std::to_string(px(c->Width())) + " x " +
                    std::to_string(h) + " px, needs " + std::to_string(need_w + room_beside(*c)) + " x " +
                    std::to_string(need_h) + "): " + captioned->Caption());
  }
  return out;
}

// Controls that reach their container's edge, or past it (the form's inner area, a
// frame's border, a tab control's page).
std::vector<std::string> controls_on_edges(const ui::Form& form) {
  constexpr long kClear = 60;  // 4 pixels
  std::vector<std::string> out;
  for (const ui::Control* c : form.Controls()) {
    if (!shown(*c)) continue;
    const ui::Control* box = c->Container();
    const long width = box ? box->Width() : form.ScaleWidth(), height = box ? box->Height() : form.ScaleHeight();
    if (c->Left() + c->Width() > width - kClear || c->Top() + c->Height() > height - kClear)
      out.push_back(form.Name() + "." + c->Name() + " reaches the edge of " + (box ? box->Name() : form.Name()));
  }
  return out;
}

std::string lines(const std::vector<std::string>& v) {
  std::string out;
  for (const auto& s : v) out += "  " + s + "\n";
  return out;
}

}  // namespace

TEST(FormDesign, EveryCaptionFitsItsBoxInTheNinePointFont) {
  QFont font(QStringLiteral("Liberation Sans"));
  font.setPointSize(9);
  ASSERT_EQ(QFontInfo(font).family(), "Liberation Sans");
  std::vector<std::string> problems;
  for (const auto& form : every_form())
    for (auto& p : captions_too_big(*form, font)) problems.push_back(p);
  EXPECT_TRUE(problems.empty()) << "captions too big for their boxes:\n" << lines(problems);
}

TEST(FormDesign, NoControlSitsOnItsContainersEdge) {
  std::vector<std::string> problems;
  for (const auto& form : every_form())
    // The help window's guide scrolls under its scroll bar, which sits on the edge.
    if (form->Name() != "frmHelp")
      for (auto& p : controls_on_edges(*form)) problems.push_back(p);
  EXPECT_TRUE(problems.empty()) << lines(problems);
}

// What a look at the main window showed: its Print tab's label B was one line high, so
// its two lines were squeezed smaller than A's, C's and D's. It is as high as A now.
TEST(FormDesign, TheMainWindowsPrintLabelsAreAlike) {
  Designed<mapbooks::frmMain> main;
  EXPECT_EQ(main.lblPrintB.Height(), main.lblPrintA.Height());
  EXPECT_GE(main.lblPrintC.Height(), main.lblPrintB.Height());
  EXPECT_LE(main.lblPrintB.Top() + main.lblPrintB.Height(), main.lblPrintC.Top());
  EXPECT_LE(main.lblPrintC.Top() + main.lblPrintC.Height(), main.lblPrintD.Top());
}
