// SPDX-License-Identifier: GPL-3.0-or-later
// A form's window: its widgets mirror the controls, the user's input reaches the model
// through the controls' user methods, and the model's changes show in the widgets.

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>

#include <filesystem>

#include "gui/form_window.h"
#include "gui/gui_user.h"
#include "sample_form.h"
#include "support/temp_dir.h"

namespace {

using gui_test::frmSample;
using Log = std::vector<std::string>;

class FormWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    form.Show();
    window = user.WindowOf(form);
    ASSERT_NE(window, nullptr);
    // The focus starts in the first control that takes it: the number box.
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window));
    ASSERT_EQ(form.ActiveControl(), &form.txtNumber);
  }
  void TearDown() override {
    form.refuse_to_close = false;
    form.Unload();
  }
  template <typename W>
  W* widget(const host::ui::Control& c) {
    W* w = qobject_cast<W*>(window->WidgetOf(c));
    EXPECT_NE(w, nullptr) << c.Name();
    return w;
  }
  // What the handlers heard since the last call.
  Log heard() {
    Log r = form.log;
    form.log.clear();
    return r;
  }
  void click_row(QListWidget* list, int row, bool twice = false) {
    // A double click is a click and then the double click.
    QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice) QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
  }

  gui::GuiUser user;
  frmSample form;
  gui::FormWindow* window = nullptr;
};

}  // namespace

TEST_F(FormWindowTest, EveryControlHasAWidgetOfItsKindInItsPlace) {
  EXPECT_EQ(window->windowTitle(), "Sample");
  EXPECT_EQ(window->size(), QSize(600, 468));
  EXPECT_TRUE(window->isVisible());

  EXPECT_EQ(widget<QLabel>(form.lblName)->text(), "Number:");
  EXPECT_EQ(widget<QLineEdit>(form.txtNumber)->geometry(), QRect(100, 8, 80, 21));
  EXPECT_TRUE(widget<QPushButton>(form.btnOK)->isDefault());
  EXPECT_TRUE(widget<QCheckBox>(form.chkFlag)->isTristate());
  auto* frame = widget<QGroupBox>(form.fraChoice);
  EXPECT_EQ(frame->title(), "Choice");
  auto* a = widget<QRadioButton>(form.optA);
  EXPECT_EQ(a->parentWidget(), frame);
  EXPECT_EQ(a->geometry(), QRect(10, 20, 100, 17));  // within the frame
  EXPECT_FALSE(widget<QComboBox>(form.cboKind)->isEditable());
  EXPECT_EQ(widget<QComboBox>(form.cboKind)->count(), 3);
  EXPECT_TRUE(widget<QComboBox>(form.cboFree)->isEditable());
  EXPECT_EQ(widget<QListWidget>(form.lstItems)->selectionMode(), QAbstractItemView::MultiSelection);
  EXPECT_EQ(widget<QScrollBar>(form.vsbScroll)->orientation(), Qt::Vertical);
  EXPECT_EQ(widget<QScrollBar>(form.vsbScroll)->maximum(), 100);

  QImage picture = widget<QLabel>(form.picLogo)->pixmap().toImage();
  ASSERT_EQ(picture.size(), QSize(30, 20));
  EXPECT_EQ(picture.pixelColor(5, 5), QColor(255, 0, 0));

  auto* tabs = widget<QTabWidget>(form.tabMain);
  ASSERT_EQ(tabs->count(), 3);
  EXPECT_EQ(tabs->tabText(2), "Page 3");
  auto* on_page2 = widget<QLineEdit>(form.txtOnPage2);
  EXPECT_EQ(on_page2->parentWidget(), tabs->widget(1));
  // Placed as on the classic tab control: relative to the whole control, tabs included.
  EXPECT_EQ(on_page2->mapTo(tabs, QPoint(0, 0)), QPoint(40, 60));
  EXPECT_EQ(widget<QListWidget>(form.dirFolders)->parentWidget(), tabs->widget(0));
  EXPECT_NE(widget<QComboBox>(form.drvDrives)->findText("c:"), -1);
  EXPECT_NE(widget<QListWidget>(form.filFiles), nullptr);
}

TEST_F(FormWindowTest, ClicksRunTheModelsHandlers) {
  QTest::mouseClick(widget<QPushButton>(form.btnOK), Qt::LeftButton);
  QTest::mouseClick(widget<QLabel>(form.lblLink), Qt::LeftButton);
  EXPECT_EQ(heard(), (Log{"left number", "OK", "link"}));

  auto* check = widget<QCheckBox>(form.chkFlag);
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_EQ(heard(), Log{"flag 1"});
  EXPECT_EQ(check->checkState(), Qt::Checked);
  QTest::mouseClick(check, Qt::LeftButton);
  EXPECT_EQ(check->checkState(), Qt::Unchecked);
  EXPECT_EQ(form.chkFlag.Value(), 0);

  auto* a = widget<QRadioButton>(form.optA);
  auto* b = widget<QRadioButton>(form.optB);
  QTest::mouseClick(b, Qt::LeftButton);
  QTest::mouseClick(a, Qt::LeftButton);
  EXPECT_TRUE(form.optA.Value());
  EXPECT_FALSE(form.optB.Value());
  EXPECT_TRUE(a->isChecked());
  EXPECT_FALSE(b->isChecked());
  heard();

  // A button the model disables cannot be pressed.
  form.btnOK.SetEnabled(false);
  QTest::mouseClick(widget<QPushButton>(form.btnOK), Qt::LeftButton);
  EXPECT_TRUE(heard().empty());
}

TEST_F(FormWindowTest, KeysGoThroughTheModelsKeyFilters) {
  auto* edit = widget<QLineEdit>(form.txtNumber);
  QTest::keyClicks(edit, "a1b2");
  EXPECT_EQ(form.txtNumber.Text(), "12");
  EXPECT_EQ(edit->text(), "12");
  EXPECT_EQ(edit->cursorPosition(), 2);
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClick(edit, Qt::Key_Home);
  QTest::keyClicks(edit, "9");
  EXPECT_EQ(form.txtNumber.Text(), "91");
  EXPECT_EQ(edit->cursorPosition(), 1);
  // A selection typed over.
  edit->selectAll();
  QTest::keyClicks(edit, "7");
  EXPECT_EQ(form.txtNumber.Text(), "7");
  // A paste replaces the text without keys, as a paste does.
  QGuiApplication::clipboard()->setText("x5");
  QTest::keyClick(edit, Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(form.txtNumber.Text(), "7x5");
  // Enter and Escape press the default and the cancel button.
  QTest::keyClick(edit, Qt::Key_Return);
  QTest::keyClick(edit, Qt::Key_Escape);
  EXPECT_EQ(heard(), (Log{"OK", "Cancel"}));

  auto* free = widget<QComboBox>(form.cboFree);
  QTest::keyClicks(free->lineEdit(), "tw");
  EXPECT_EQ(form.cboFree.Text(), "tw");
  auto* kind = widget<QComboBox>(form.cboKind);
  QTest::keyClick(kind, Qt::Key_P);
  QTest::keyClick(kind, Qt::Key_Down);
  // Typing into the combo took the focus from the number box.
  EXPECT_EQ(heard(), (Log{"left number", "kind Point", "kind Polygon"}));
  EXPECT_EQ(kind->currentText(), "Polygon");
}

TEST_F(FormWindowTest, LeavingATextBoxRaisesItsLostFocus) {
  widget<QCheckBox>(form.chkFlag)->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(heard(), Log{"left number"});
  EXPECT_EQ(form.ActiveControl(), &form.chkFlag);
}

TEST_F(FormWindowTest, ListsTabsAndScrollBarsActThroughTheModel) {
  auto* list = widget<QListWidget>(form.lstItems);
  click_row(list, 1);
  EXPECT_TRUE(form.lstItems.Selected(1));
  click_row(list, 1);  // a simple multi-select list toggles
  EXPECT_FALSE(form.lstItems.Selected(1));
  EXPECT_FALSE(list->item(1)->isSelected());
  click_row(list, 2, true);
  EXPECT_EQ(heard(), (Log{"left number", "item 1", "item 1", "item 2", "double 2"}));

  auto* tabs = widget<QTabWidget>(form.tabMain);
  QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, {}, tabs->tabBar()->tabRect(2).center());
  EXPECT_EQ(form.tabMain.Tab(), 2);
  EXPECT_EQ(heard(), Log{"tab from 0"});

  auto* bar = widget<QScrollBar>(form.vsbScroll);
  bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
  bar->setSliderPosition(40);
  EXPECT_EQ(form.vsbScroll.Value(), 40);
  EXPECT_EQ(heard(), (Log{"scroll 5", "scroll 40"}));
}

TEST_F(FormWindowTest, AFolderListOpensAFolderOnADoubleClick) {
  namespace fs = std::filesystem;
  fs::create_directories(testing_support::DrivesRoot() / "c" / "gui-maps");
  form.dirFolders.SetPath("C:\\");
  auto* list = widget<QListWidget>(form.dirFolders);
  QList<QListWidgetItem*> rows = list->findItems("gui-maps", Qt::MatchContains);
  ASSERT_EQ(rows.size(), 1);
  click_row(list, list->row(rows.front()), true);
  EXPECT_EQ(form.dirFolders.Path(), "C:\\gui-maps");
  // The path from the drive down is shown above the subfolders.
  EXPECT_TRUE(list->item(0)->text().contains("C:\\"));
  EXPECT_TRUE(list->item(1)->text().contains("gui-maps"));
  fs::remove_all(testing_support::DrivesRoot() / "c" / "gui-maps");
}

TEST_F(FormWindowTest, ModelChangesShowWithoutComingBackAsInput) {
  form.txtNumber.SetText("42");
  form.lstItems.AddItem("delta");
  form.chkFlag.SetValue(2);
  form.lblName.SetCaption("Count:");
  form.cboKind.SetListIndex(2);
  form.vsbScroll.SetValue(30);
  form.tabMain.SetTab(1);
  form.btnCancel.SetVisible(false);
  form.btnOK.SetEnabled(false);
  form.optB.Move(150, 800, 1500, 255);
  form.SetCaption("Renamed");
  EXPECT_EQ(widget<QLineEdit>(form.txtNumber)->text(), "42");
  EXPECT_EQ(widget<QListWidget>(form.lstItems)->count(), 4);
  EXPECT_EQ(widget<QCheckBox>(form.chkFlag)->checkState(), Qt::PartiallyChecked);
  EXPECT_EQ(widget<QLabel>(form.lblName)->text(), "Count:");
  EXPECT_EQ(widget<QComboBox>(form.cboKind)->currentIndex(), 2);
  EXPECT_EQ(widget<QScrollBar>(form.vsbScroll)->value(), 30);
  EXPECT_EQ(widget<QTabWidget>(form.tabMain)->currentIndex(), 1);
  EXPECT_TRUE(widget<QPushButton>(form.btnCancel)->isHidden());
  EXPECT_FALSE(widget<QPushButton>(form.btnOK)->isEnabled());
  EXPECT_EQ(widget<QRadioButton>(form.optB)->y(), 53);
  EXPECT_EQ(window->windowTitle(), "Renamed");
  // Each change raised the model's own event once; the widgets echoed none back.
  EXPECT_EQ(heard(), (Log{"flag 2", "kind Polygon", "scroll 30", "tab from 0"}));
}

TEST_F(FormWindowTest, ClosingTheWindowAsksTheFormToUnload) {
  form.refuse_to_close = true;
  EXPECT_FALSE(window->close());
  EXPECT_TRUE(form.IsLoaded());
  EXPECT_TRUE(window->isVisible());
  form.refuse_to_close = false;
  EXPECT_TRUE(window->close());
  EXPECT_FALSE(form.IsLoaded());
  EXPECT_EQ(heard(), (Log{"query unload 0", "query unload 0"}));
  EXPECT_EQ(user.WindowOf(form), nullptr);  // the window let go of the form
}

TEST_F(FormWindowTest, ALabelBesideABoxSitsOnItsLineAndOneAboveItKeepsItsPlace) {
  auto* label = widget<QLabel>(form.lblName);
  auto* box = widget<QLineEdit>(form.txtNumber);
  // Level with the box: its text is centred on the box's height, as the box's is.
  EXPECT_EQ(label->geometry().center().y(), box->geometry().center().y());
  EXPECT_EQ(label->geometry().height(), box->geometry().height());
  EXPECT_EQ(label->alignment() & Qt::AlignVertical_Mask, Qt::AlignVCenter);
  // The box moved below the label: the caption stays where the form puts it.
  form.txtNumber.Move(1500, 600, 1200, 315);
  form.lblName.Move(1500, 300, 1200, 255);
  EXPECT_EQ(label->geometry(), QRect(100, 20, 80, 17));
  EXPECT_EQ(label->alignment() & Qt::AlignVertical_Mask, Qt::AlignTop);
  // A caption of two lines beside a box is not moved either.
  form.lblName.Move(120, 600, 1200, 510);
  EXPECT_EQ(label->geometry(), QRect(8, 40, 80, 34));
}

TEST_F(FormWindowTest, ALockedTextBoxLooksReadOnlyAndTheTabKeyPassesItBy) {
  auto* box = widget<QLineEdit>(form.txtNumber);
  auto* ok = widget<QPushButton>(form.btnOK);
  const QColor editable = box->palette().color(QPalette::Base);
  form.txtNumber.SetLocked(true);
  // A lock tells nobody: the window reads it when the form is shown (again).
  window->FormShown(form);
  EXPECT_TRUE(box->isReadOnly());
  EXPECT_EQ(box->palette().color(QPalette::Base), box->palette().color(QPalette::Window));
  EXPECT_NE(box->palette().color(QPalette::Base), editable);
  ok->setFocus();
  QTest::keyClick(ok, Qt::Key_Backtab);
  EXPECT_NE(QApplication::focusWidget(), box);
  // A click still reaches it, to select its text.
  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_EQ(QApplication::focusWidget(), box);

  form.txtNumber.SetLocked(false);
  window->FormShown(form);
  EXPECT_FALSE(box->isReadOnly());
  EXPECT_EQ(box->palette().color(QPalette::Base), editable);
  ok->setFocus();
  QTest::keyClick(ok, Qt::Key_Backtab);
  EXPECT_EQ(QApplication::focusWidget(), box);
}
