// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Windows of the host: forms with their controls, the modeless frame that hosts a
// form beside the map, the screen and its mouse pointer.

#include <functional>
#include <string>
#include <vector>

#include "host/ui/controls.h"

namespace host::ui {

enum FormShow { vbModeless = 0, vbModal = 1 };
enum UnloadMode { vbFormControlMenu = 0, vbFormCode = 1, vbAppWindows = 2 };

class FormObserver;

class ModelessFrame;

class Form {
 public:
  explicit Form(std::string name);
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  const std::string& Name() const { return name_; }

  // Load resets every control to its design values (Design) and raises Form_Load.
  // Loading a loaded form does nothing.
  void Load();
  // QueryUnload and Unload may cancel; otherwise the form is hidden and unloaded, and a
  // modal Show waiting for it returns.
  void Unload(UnloadMode mode = vbFormCode);
  // Modeless returns at once; modal returns when the form is hidden or unloaded.
  void Show(FormShow mode = vbModeless);
  void Hide();
  // Brings a shown form in front of the others: it becomes the active form.
  void ZOrder();
  bool IsLoaded() const { return loaded_; }
  bool Visible() const { return visible_; }
  bool IsModal() const { return modal_; }

  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c);
  // The title of the window that shows the form: the caption of the modeless frame that
  // hosts it, else the form's own caption.
  const std::string& WindowTitle() const { return frame_caption_.empty() ? caption_ : frame_caption_; }
  // Whether a modeless frame hosts the form (a window that lives beside the map).
  bool InFrame() const { return in_frame_; }
  // Outer size and place in twips; the scale size is the inner area.
  long Left() const { return left_; }
  long Top() const { return top_; }
  long Width() const { return width_; }
  long Height() const { return height_; }
  void Move(long left, long top, long width, long height);
  void SetWidth(long w);
  void SetHeight(long h);
  long ScaleWidth() const;
  long ScaleHeight() const;

  const std::vector<Control*>& Controls() const { return controls_; }
  // The control of that name (exact), or null.
  Control* FindControl(const std::string& name) const;
  Control* ActiveControl() const { return active_; }
  CommandButton* DefaultButton() const;
  CommandButton* CancelButton() const;

  // The view of the form (the GUI), told of every change.
  void SetObserver(FormObserver* o) { observer_ = o; }
  FormObserver* Observer() const { return observer_; }


 protected:
  // Sets every control's design values: captions, sizes, initial texts and values.
  virtual void Design() {}
  virtual void Form_Load() {}
  virtual void Form_QueryUnload(int& /*Cancel*/, int /*UnloadMode*/) {}
  virtual void Form_Unload(int& /*Cancel*/) {}
  virtual void Form_Activate() {}

 private:
  friend class Control;
  friend class ModelessFrame;
  void add(Control* c);
  void remove(Control* c);
  void set_active(Control* c) { active_ = c; }
  void notify_control(Control& c);

  std::string name_;
  std::vector<Control*> controls_;
  Control* active_ = nullptr;
  FormObserver* observer_ = nullptr;
  std::string caption_;
  std::string frame_caption_;  // set by the modeless frame that hosts the form
  long left_ = 0, top_ = 0, width_ = 6000, height_ = 4500;
  bool loaded_ = false, visible_ = false, modal_ = false, in_frame_ = false;
};

class FormObserver {
 public:
  virtual ~FormObserver() = default;
  virtual void FormChanged(Form&) {}
  virtual void ControlChanged(Control&) {}
  virtual void FormShown(Form&) {}
  virtual void FormHidden(Form&) {}
  virtual void FormRaised(Form&) {}
  virtual void FormUnloaded(Form&) {}
  // The form object is going away; its controls are gone already.
  virtual void FormDestroyed(Form&) {}
};

// Told of every form about to be shown (before its observer hears of it), so that the
// GUI can give a form without a view a window of its own; null removes it.
void SetFormShowListener(std::function<void(Form&)> listener);

// A new window of that kind, loaded and shown modally: returns when it has closed.
template <typename F>
void ShowModalNew() {
  F form;
  form.Load();
  form.Show(vbModal);
}

// Loaded forms in load order (the newest last).
const std::vector<Form*>& LoadedForms();
// The newest loaded form of that name, or null.
Form* FindLoadedForm(const std::string& name);
// Every loaded form unloaded as the host ends, newest first; one that refuses stays
// loaded but hidden.
void UnloadAllForms();
// The form that has the user's attention: the newest visible one.
Form* ActiveForm();

// The modeless frame that holds a form beside the map.
class ModelessFrame {
 public:
  ModelessFrame() = default;
  // Takes the form, loading it (its Form_Load runs here).
  void Create(Form& form);
  Form* GetForm() const { return form_; }
  bool Visible() const;
  // Shows the form modelessly (loading it afresh when it was unloaded) or hides it.
  void SetVisible(bool v);
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c);
  // Place and size in pixels; a width or height of 0 keeps the form's own.
  void Move(long left, long top, long width, long height);
  long Left() const { return left_; }
  long Top() const { return top_; }

 private:
  Form* form_ = nullptr;
  std::string caption_;
  long left_ = 0, top_ = 0;
};

enum MousePointer { vbDefault = 0, vbHourglass = 11 };

class Screen {
 public:
  static Screen& Instance();
  static constexpr long TwipsPerPixelX = 15;
  static constexpr long TwipsPerPixelY = 15;
  long Width() const { return width_px_ * TwipsPerPixelX; }
  long Height() const { return height_px_ * TwipsPerPixelY; }
  void SetSizePixels(long w, long h);
  int GetMousePointer() const { return pointer_; }
  void SetMousePointer(int p);
  // Told of every pointer set (the GUI's cursor); null removes it.
  void SetPointerListener(std::function<void(int)> listener) { pointer_listener_ = std::move(listener); }

 private:
  long width_px_ = 1920, height_px_ = 1080;
  int pointer_ = vbDefault;
  std::function<void(int)> pointer_listener_;
};

}  // namespace host::ui
