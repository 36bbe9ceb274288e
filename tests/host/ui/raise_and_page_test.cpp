// SPDX-License-Identifier: GPL-3.0-or-later
// Bringing a shown window to the front, and the scroll bar's track: what the desktop
// window's second command click and page keys rest on.

#include <gtest/gtest.h>

#include <string>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "ui_fixture.h"

namespace {

using namespace host::ui;

class frmPaged : public Form {
 public:
  explicit frmPaged(const std::string& name) : Form(name) {
    VScroll1.Change = [this] { log += "Change(" + std::to_string(VScroll1.Value()) + ");"; };
    VScroll1.Scroll = [this] { log += "Scroll;"; };
  }
  VScrollBar VScroll1{*this, "VScroll1", nullptr};
  std::string log;

 protected:
  void Design() override {
    VScroll1.SetMax(100);
    VScroll1.SetSmallChange(10);
    VScroll1.SetLargeChange(30);
  }
};

class Raised : public FormObserver {
 public:
  void FormRaised(Form& f) override { heard += f.Name() + ";"; }
  std::string heard;
};

class RaiseAndPage : public UiTest {};

}  // namespace

TEST_F(RaiseAndPage, AShownFormComesToTheFrontAndAHiddenOneStaysBehind) {
  frmPaged first("first"), second("second");
  Raised view;
  first.SetObserver(&view);
  first.Show();
  second.Show();
  ASSERT_EQ(ActiveForm(), &second);
  first.ZOrder();
  EXPECT_EQ(ActiveForm(), &first);
  EXPECT_EQ(view.heard, "first;");
  first.Hide();
  first.ZOrder();  // hidden: nothing to bring forward
  EXPECT_EQ(ActiveForm(), &second);
  EXPECT_EQ(view.heard, "first;");
  first.SetObserver(nullptr);
  first.Unload();
  second.Unload();
}

TEST_F(RaiseAndPage, TheTrackMovesByTheLargeChangeAndRaisesChangeOnly) {
  frmPaged form("paged");
  form.Show();
  form.VScroll1.page(true);
  form.VScroll1.page(true);
  form.VScroll1.arrow(false);
  form.VScroll1.page(true);
  form.VScroll1.page(true);
  form.VScroll1.page(true);  // at the end: no change, no event
  form.VScroll1.page(false);
  EXPECT_EQ(form.log, "Change(30);Change(60);Change(50);Change(80);Change(100);Change(70);");
  form.VScroll1.SetEnabled(false);
  EXPECT_THROW(form.VScroll1.page(true), ScriptError);
  form.Unload();
}
