// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/gui_user.h"

#include <QApplication>
#include <QEventLoop>
#include <QGuiApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include <cstdio>

#include "gui/qt_text.h"
#include "host/app/application.h"
#include "host/ui/form.h"

namespace gui {

namespace ui = host::ui;

namespace {

QMessageBox::StandardButton standard_button(ui::MsgBoxResult r) {
  switch (r) {
    case ui::vbOK: return QMessageBox::Ok;
    case ui::vbCancel: return QMessageBox::Cancel;
    case ui::vbAbort: return QMessageBox::Abort;
    case ui::vbRetry: return QMessageBox::Retry;
    case ui::vbIgnore: return QMessageBox::Ignore;
    case ui::vbYes: return QMessageBox::Yes;
    case ui::vbNo: return QMessageBox::No;
  }
  return QMessageBox::Ok;
}

QMessageBox::Icon icon_of(int style) {
  switch (style & 0x70) {
    case ui::vbCritical: return QMessageBox::Critical;
    case ui::vbQuestion: return QMessageBox::Question;
    case ui::vbExclamation: return QMessageBox::Warning;
    case ui::vbInformation: return QMessageBox::Information;
    default: return QMessageBox::NoIcon;
  }
}

}  // namespace

QString BoxTitle(const ui::BoxRecord& box) {
  if (!box.title.empty()) return ToQt(box.title);
  const app::Application* app = app::Application::Running();
  return ToQt(app ? app->Name() : std::string("ZelvaneMap"));
}

GuiUser::GuiUser() {
  ui::SetUser(this);
  ui::SetFormShowListener([this](ui::Form& form) { form_shown(form); });
  ui::Screen::Instance().SetPointerListener([this](int p) { pointer_set(p); });
}

GuiUser::~GuiUser() {
  ui::Screen::Instance().SetPointerListener(nullptr);
  ui::SetFormShowListener(nullptr);
  ui::SetUser(nullptr);
  if (waiting_) QGuiApplication::restoreOverrideCursor();
  for (const QPointer<FormWindow>& w : windows_) delete w.data();
}

void GuiUser::SetHostWindow(QWidget* host) {
  host_ = host;
  for (FormWindow* w : Windows()) w->SetHostWindow(host);
}

void GuiUser::form_shown(ui::Form& form) {
  if (FormWindow* existing = WindowOf(form)) return existing->SetHostWindow(host_);
  if (form.Observer()) return;  // it has a view of its own
  windows_.erase(std::remove_if(windows_.begin(), windows_.end(), [](const QPointer<FormWindow>& w) { return !w; }),
                 windows_.end());
  auto* window = new FormWindow(form);
  window->SetHostWindow(host_);
  windows_.emplace_back(window);
}

void GuiUser::pointer_set(int pointer) {
  if (pointer == ui::vbHourglass && !waiting_) {
    QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    waiting_ = true;
  } else if (pointer != ui::vbHourglass && waiting_) {
    QGuiApplication::restoreOverrideCursor();
    waiting_ = false;
  }
}

FormWindow* GuiUser::WindowOf(const ui::Form& form) const {
  for (const QPointer<FormWindow>& w : windows_)
    if (w && w->GetForm() == &form) return w.data();
  return nullptr;
}

std::vector<FormWindow*> GuiUser::Windows() const {
  std::vector<FormWindow*> r;
  for (const QPointer<FormWindow>& w : windows_)
    if (w && w->GetForm()) r.push_back(w.data());
  return r;
}

ui::MsgBoxResult GuiUser::AnswerMessageBox(const ui::BoxRecord& box) {
  const ui::MsgBoxResult deflt = ui::DefaultButtonOf(box.style);
  if (unattended_) {
    std::fprintf(stderr, "[message box, %s] %s\n", ui::AnswerName(deflt).c_str(), box.text.c_str());
    return deflt;
  }
  // The box is a dialog of the window that opened it, so that it shows over it. That
  // window can go while the box is open (a run unloads forms) and takes its children
  // with it, so the box lives on the heap and is watched; gone with its window, it gives
  // its default.
  QPointer<QMessageBox> mb = new QMessageBox(icon_of(box.style), BoxTitle(box), ToQtLines(box.text),
                                             QMessageBox::NoButton, DialogOwnerNow(host_));
  const std::vector<ui::MsgBoxResult> answers = ui::ButtonsOf(box.style);
  std::vector<std::pair<QAbstractButton*, ui::MsgBoxResult>> buttons;
  for (ui::MsgBoxResult a : answers) {
    QPushButton* b = mb->addButton(standard_button(a));
    buttons.emplace_back(b, a);
    if (a == deflt) mb->setDefaultButton(b);
    if (a == ui::vbCancel || answers.size() == 1) mb->setEscapeButton(b);
  }
  mb->exec();
  if (!mb) return deflt;
  ui::MsgBoxResult answer = deflt;
  for (const auto& [button, a] : buttons)
    if (mb->clickedButton() == button) answer = a;
  delete mb.data();
  return answer;
}

std::optional<std::string> GuiUser::AnswerInputBox(const ui::BoxRecord& box) {
  if (unattended_) {
    std::fprintf(stderr, "[input box, Cancel] %s\n", box.text.c_str());
    return std::nullopt;
  }
  // On the heap and watched, as a message box is: its window may go while it is open.
  QPointer<QInputDialog> dialog = new QInputDialog(DialogOwnerNow(host_));
  dialog->setInputMode(QInputDialog::TextInput);
  dialog->setWindowTitle(BoxTitle(box));
  dialog->setLabelText(ToQtLines(box.text));
  dialog->setTextValue(ToQt(box.input.value_or("")));
  const bool accepted = dialog->exec() == QDialog::Accepted;
  if (!dialog) return std::nullopt;
  std::optional<std::string> text;
  if (accepted) text = ToStd(dialog->textValue());
  delete dialog.data();
  return text;
}

void GuiUser::RunModal(ui::Form& form) {
  if (!form.IsLoaded() || !form.Visible()) return;
  FormWindow* window = WindowOf(form);
  if (!window) {
    form_shown(form);
    window = WindowOf(form);
    if (!window) return;
    window->FormShown(form);
  }
  QEventLoop loop;
  QPointer<FormWindow> guard(window);
  window->SetClosedListener([&loop] { loop.quit(); });
  if (form.IsLoaded() && form.Visible()) loop.exec();
  if (guard) guard->SetClosedListener(nullptr);
}

}  // namespace gui
