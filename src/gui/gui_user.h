// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The user of the GUI: real message and input boxes, modal forms run in a nested event
// loop, a window for every form that is shown, the wait cursor.

#include "gui/host_modules.h"
#include <QPointer>

#include <vector>

#include "gui/form_window.h"
#include "host/ui/user.h"

namespace gui {

class GuiUser : public host::ui::User {
 public:
  // Takes the place of the scripted user and listens for forms shown and pointers set.
  GuiUser();
  // Puts the scripted user back and closes the windows it made.
  ~GuiUser() override;
  GuiUser(const GuiUser&) = delete;
  GuiUser& operator=(const GuiUser&) = delete;

  // Unattended runs (screenshots) answer every box with its default at once, noting it
  // on stderr, as the command line does.
  void SetUnattended(bool on) { unattended_ = on; }
  bool Unattended() const { return unattended_; }

  host::ui::MsgBoxResult AnswerMessageBox(const host::ui::BoxRecord& box) override;
  std::optional<std::string> AnswerInputBox(const host::ui::BoxRecord& box) override;
  void RunModal(host::ui::Form& form) override;

  // The host's window, which owns every form's window (null: none).
  void SetHostWindow(QWidget* host);

  // The window showing a form, or null.
  FormWindow* WindowOf(const host::ui::Form& form) const;
  // Every window of a form still open, oldest first.
  std::vector<FormWindow*> Windows() const;

 private:
  void form_shown(host::ui::Form& form);
  void pointer_set(int pointer);
  std::vector<QPointer<FormWindow>> windows_;
  QPointer<QWidget> host_;
  bool unattended_ = false;
  bool waiting_ = false;
};

// The title of a box: its own, or the application's name.
QString BoxTitle(const host::ui::BoxRecord& box);

}  // namespace gui
