// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <memory>

#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "ui_fixture.h"

using namespace host::ui;

namespace {

class frmStubborn : public Form {
 public:
  explicit frmStubborn(std::string name, bool refuses = false) : Form(std::move(name)), refuses_(refuses) {}
  void Form_QueryUnload(int& cancel, int mode) override {
    modes.push_back(mode);
    if (refuses_) cancel = 1;
  }
  void Form_Unload(int&) override {
    if (order) order->push_back(Name());
  }
  std::vector<int> modes;
  std::vector<std::string>* order = nullptr;

 private:
  bool refuses_;
};

using FormEnd = UiTest;

}  // namespace

TEST_F(FormEnd, EveryWindowIsAskedOnceNewestFirstAndOneThatRefusesIsHidden) {
  std::vector<std::string> order;
  frmStubborn first("frmFirst"), stubborn("frmStubborn", true), last("frmLast");
  for (frmStubborn* f : {&first, &stubborn, &last}) {
    f->order = &order;
    f->Show();
  }
  UnloadAllForms();
  EXPECT_EQ(order, (std::vector<std::string>{"frmLast", "frmFirst"}));
  EXPECT_FALSE(first.IsLoaded());
  EXPECT_FALSE(last.IsLoaded());
  EXPECT_TRUE(stubborn.IsLoaded());
  EXPECT_FALSE(stubborn.Visible());
  EXPECT_EQ(stubborn.modes, std::vector<int>{vbAppWindows});
  EXPECT_EQ(LoadedForms(), std::vector<Form*>{&stubborn});
  stubborn.modes.clear();
  UnloadAllForms();  // asked again at the next end
  EXPECT_EQ(stubborn.modes, std::vector<int>{vbAppWindows});
}

TEST_F(FormEnd, AFormThatGoesWhileLoadedLeavesTheList) {
  auto form = std::make_unique<frmStubborn>("frmGone");
  form->Show();
  frmStubborn other("frmOther");
  other.Load();
  form.reset();
  EXPECT_EQ(LoadedForms(), std::vector<Form*>{&other});
  EXPECT_EQ(FindLoadedForm("frmGone"), nullptr);
  other.Unload();
}
