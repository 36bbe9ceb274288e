// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window of one form: a widget per control, kept in step with the model. The
// model stays the one source of truth: widgets show its state, and what the user does
// in them goes to the controls' user methods (click, type, key, pick, ...), after
// which the widgets are read back from the model.

#include "gui/host_modules.h"
#include <QPointer>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

#include "host/ui/form.h"

namespace host::ui {
class VScrollBar;
}

class QTabWidget;

namespace gui {

class FormWindow : public QWidget, public host::ui::FormObserver {
 public:
  // Builds the widgets and becomes the form's observer.
  explicit FormWindow(host::ui::Form& form);
  ~FormWindow() override;

  // Null once the form has been unloaded or destroyed.
  host::ui::Form* GetForm() const { return form_; }
  // The widget that shows a control (a QLineEdit, QComboBox, ...), or null.
  QWidget* WidgetOf(const host::ui::Control& control) const;
  // Called when the form is hidden or unloaded (a modal run waits for it).
  void SetClosedListener(std::function<void()> listener) { closed_ = std::move(listener); }
  // The host's window: a modeless form's window is a modeless dialog of it, kept in
  // front of it and minimised with it. Without one the window stands alone. A modal
  // form's window is a dialog of the window that opened it.
  void SetHostWindow(QWidget* host) { host_ = host; }

  void FormChanged(host::ui::Form&) override;
  void ControlChanged(host::ui::Control& control) override;
  void FormShown(host::ui::Form&) override;
  void FormHidden(host::ui::Form&) override;
  void FormRaised(host::ui::Form&) override;
  void FormUnloaded(host::ui::Form&) override;
  void FormDestroyed(host::ui::Form&) override;

  // One control's widget and how it follows the model; defined in the .cpp.
  struct Binding;

 protected:
  void closeEvent(QCloseEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  friend struct Binding;
  Binding* make_binding(host::ui::Control& control);
  Binding* binding_of(const host::ui::Control* control) const;
  // The widget that children of this control are placed in (for a tab control: a page).
  QWidget* parent_for(const host::ui::Control& control);
  void place(Binding& b);
  // The text box or combo box level with a label and nearest beside it, or null.
  const host::ui::Control* field_beside(const host::ui::Control& label) const;
  void refresh(Binding& b);
  void refresh_all();
  // Title and size (and the place, once shown).
  void refresh_form();
  // The place, when the form has moved itself since it was last placed: a form without
  // a place of its own is centred on its owner, else on the screen.
  void place_window(const QWidget* owner);
  // Dialogs still open on this window go to its owner before it goes: they would go
  // with it, and their modal runs would never end.
  void hand_over_dialogs();
  // A form in a modeless frame opens where the user last left it (the host's settings).
  void remember_place();
  void restore_place();
  // The form's one vertical scroll bar, when it has one the user can reach.
  host::ui::VScrollBar* scroll_bar() const;
  void relayout_tab(const host::ui::Control& tab);
  // Runs one user action on the model: errors meant for the script are dropped, others
  // shown; then the control is read back. Nothing is done while the model updates us.
  void act(host::ui::Control* control, const std::function<void()>& action);
  void detach();
  void notify_closed();

  host::ui::Form* form_;
  std::map<const host::ui::Control*, std::unique_ptr<Binding>> bindings_;
  std::map<const QObject*, Binding*> by_widget_;
  std::function<void()> closed_;
  int updating_ = 0;
  bool closing_ = false;
  bool placed_ = false;
  bool shown_before_ = false;
  QPoint placed_at_;
  QPointer<QWidget> host_;
  // The window that opened this dialog: in front again once the dialog closes.
  QPointer<QWidget> opener_;
};

// The host's settings file of window places, in the host's data folder.
QString WindowPlacesFile();

// The window that opens a dialog shown now: the form's window whose control the user
// worked (or else the active window) of ours, a closed one handing over to its own
// owner; else the host's. Never `excluded` or a window of its own.
QWidget* DialogOwnerNow(QWidget* host, const QWidget* excluded = nullptr);

}  // namespace gui
