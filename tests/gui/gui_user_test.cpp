// SPDX-License-Identifier: GPL-3.0-or-later
// The GUI's user: modal forms in nested event loops, message and input boxes as real
// dialogs answered by clicks, the wait cursor.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "gui/form_window.h"
#include "gui/gui_user.h"
#include "host/ui/boxes.h"
#include "host/ui/controls.h"
#include "host/ui/form.h"

namespace {

using namespace host::ui;

// A wizard page: Next unloads it and, on the first page, shows the second modally from
// inside its own click, so the two modal runs nest.
class frmPage : public Form {
 public:
  frmPage(std::string name, frmPage* next) : Form(std::move(name)), next_(next) {
    btnNext.Click = [this] {
      Unload();
      if (next_) {
        next_->Show(vbModal);
        trace += "second closed;";
      }
    };
  }
  void Design() override {
    SetCaption(Name());
    Move(0, 0, 3120, 1500);
    btnNext.Move(120, 120, 1215, 375);
    btnNext.SetCaption("Next");
  }
  CommandButton btnNext{*this, "btnNext", nullptr};
  std::string trace;

 private:
  frmPage* next_;
};

template <typename W>
W* find_top_level() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* found = qobject_cast<W*>(w); found && found->isVisible()) return found;
  return nullptr;
}

// Runs f once the box or window that the code under test opens is up.
void when_shown(std::function<void()> f) { QTimer::singleShot(0, qApp, std::move(f)); }

class GuiUserTest : public ::testing::Test {
 protected:
  void SetUp() override { ClearBoxLog(); }
  gui::GuiUser user;
};

}  // namespace

TEST_F(GuiUserTest, ModalFormsRunInNestedLoopsUntilTheirWindowsClose) {
  frmPage second("frmSecond", nullptr);
  frmPage first("frmFirst", &second);
  bool first_was_modal = false, second_was_modal = false;
  when_shown([&] {
    gui::FormWindow* w = user.WindowOf(first);
    ASSERT_NE(w, nullptr);
    first_was_modal = w->isModal() && w->isVisible();
    when_shown([&] {
      gui::FormWindow* w2 = user.WindowOf(second);
      ASSERT_NE(w2, nullptr);
      second_was_modal = w2->isModal() && w2->isVisible();
      QTest::mouseClick(w2->WidgetOf(second.btnNext), Qt::LeftButton);
    });
    QTest::mouseClick(w->WidgetOf(first.btnNext), Qt::LeftButton);
  });
  first.Show(vbModal);
  EXPECT_TRUE(first_was_modal);
  EXPECT_TRUE(second_was_modal);
  EXPECT_EQ(first.trace, "second closed;");
  EXPECT_FALSE(first.IsLoaded());
  EXPECT_FALSE(second.IsLoaded());
  EXPECT_TRUE(user.Windows().empty());
}

TEST_F(GuiUserTest, AModalFormClosedByItsWindowEndsItsRun) {
  frmPage page("frmPage", nullptr);
  when_shown([&] { user.WindowOf(page)->close(); });
  page.Show(vbModal);
  EXPECT_FALSE(page.IsLoaded());
}

TEST_F(GuiUserTest, MessageBoxesShowTheStylesButtonsAndTakeTheClickedOne) {
  QString title, text;
  QStringList buttons;
  QString default_button;
  when_shown([&] {
    auto* box = find_top_level<QMessageBox>();
    ASSERT_NE(box, nullptr);
    title = box->windowTitle();
    text = box->text();
    for (QAbstractButton* b : box->buttons()) buttons << b->text().remove('&');
    default_button = box->defaultButton()->text().remove('&');
    box->button(QMessageBox::No)->click();
  });
  EXPECT_EQ(MsgBox("Frames differ.\r\nContinue?", vbYesNoCancel | vbQuestion | vbDefaultButton2), vbNo);
  EXPECT_EQ(title, "ZelvaneMap");  // a box without a title of its own
  EXPECT_EQ(text, "Frames differ.\nContinue?");
  buttons.sort();
  EXPECT_EQ(buttons, (QStringList{"Cancel", "No", "Yes"}));
  EXPECT_EQ(default_button, "No");

  when_shown([] {
    auto* box = find_top_level<QMessageBox>();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->windowTitle(), "Export");
    QTest::keyClick(box, Qt::Key_Escape);
  });
  EXPECT_EQ(MsgBox("Stop?", vbOKCancel, "Export"), vbCancel);
  ASSERT_EQ(BoxLog().size(), 2u);
  EXPECT_EQ(BoxLog()[1].TranscriptLine(), "MSGBOX OKCancel -> Cancel: Stop?");
}

// A box shows over the window that was active. A run may unload that window's form,
// and so delete the window, while the box is open: the box goes with its window and
// counts as its default answer, and nothing else is touched.
TEST_F(GuiUserTest, ABoxWhoseWindowGoesWhileItIsOpenGivesItsDefault) {
  for (bool input : {false, true}) {
    frmPage page("frmPage", nullptr);
    page.Show();
    gui::FormWindow* w = user.WindowOf(page);
    ASSERT_NE(w, nullptr);
    QApplication::setActiveWindow(w);
    ASSERT_EQ(QApplication::activeWindow(), w);
    bool shown = false;
    when_shown([&] {
      shown = find_top_level<QMessageBox>() || find_top_level<QInputDialog>();
      page.Unload();
      // Past the window's deletion, a box still open would be closed by hand.
      QTimer::singleShot(50, qApp, [] {
        if (auto* box = find_top_level<QMessageBox>()) box->button(QMessageBox::Yes)->click();
        if (auto* dialog = find_top_level<QInputDialog>()) dialog->accept();
      });
    });
    if (input)
      EXPECT_EQ(InputBox("Name?", "", "Town"), "");
    else
      EXPECT_EQ(MsgBox("Go on?", vbYesNo | vbDefaultButton2), vbNo);
    EXPECT_TRUE(shown);
    EXPECT_EQ(user.WindowOf(page), nullptr);
  }
}

TEST_F(GuiUserTest, InputBoxesGiveTheTextOrNothingOnCancel) {
  when_shown([] {
    auto* dialog = find_top_level<QInputDialog>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->labelText(), "Name of the mapbook:");
    EXPECT_EQ(dialog->textValue(), "Default");
    dialog->setTextValue("Town");
    dialog->accept();
  });
  EXPECT_EQ(InputBox("Name of the mapbook:", "", "Default"), "Town");
  when_shown([] { find_top_level<QInputDialog>()->reject(); });
  EXPECT_EQ(InputBox("Name of the mapbook:"), "");
  EXPECT_EQ(BoxLog().back().TranscriptLine(), "INPUTBOX -> Cancel: Name of the mapbook:");
}

TEST_F(GuiUserTest, UnattendedBoxesTakeTheirDefaultWithoutAWindow) {
  user.SetUnattended(true);
  EXPECT_EQ(MsgBox("Overwrite?", vbYesNo | vbDefaultButton2), vbNo);
  EXPECT_EQ(InputBox("Name?"), "");
  EXPECT_EQ(find_top_level<QMessageBox>(), nullptr);
}

TEST_F(GuiUserTest, TheHourglassIsTheWaitCursor) {
  Screen::Instance().SetMousePointer(vbHourglass);
  ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
  Screen::Instance().SetMousePointer(vbHourglass);
  Screen::Instance().SetMousePointer(vbDefault);
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);  // one hourglass, one restore
  EXPECT_EQ(Screen::Instance().GetMousePointer(), vbDefault);
}
