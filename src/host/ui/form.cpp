// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/ui/form.h"

#include <algorithm>

#include "host/ui/user.h"
#include "host/vb/error.h"

namespace host::ui {

namespace {
// Never destroyed: a form may be a static of a plug-in library, and such a form dies
// after every static of the host that was made later than it.
std::vector<Form*>& loaded() {
  static auto* forms = new std::vector<Form*>;
  return *forms;
}

std::function<void(Form&)>& show_listener() {
  static std::function<void(Form&)> listener;
  return listener;
}

// The frame of a window: its title bar and borders, in twips.
constexpr long kBorderWidth = 120;
constexpr long kTitleAndBorderHeight = 510;
constexpr int kFormAlreadyDisplayed = 400;
}  // namespace

Form::Form(std::string name) : name_(std::move(name)), caption_(name_) {}

Form::~Form() {
  if (observer_) observer_->FormDestroyed(*this);
  if (loaded_) {
    auto& forms = loaded();
    forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  }
}

void Form::add(Control* c) { controls_.push_back(c); }

void Form::remove(Control* c) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), c), controls_.end());
  if (active_ == c) active_ = nullptr;
}

void Form::notify_control(Control& c) {
  if (observer_) observer_->ControlChanged(c);
}

void Form::Load() {
  if (loaded_) return;
  loaded_ = true;
  loaded().push_back(this);
  {
    SuppressEvents quiet;
    caption_ = name_;
    active_ = nullptr;
    for (Control* c : controls_) c->Reset();
    Design();
  }
  RunHandler([this] { Form_Load(); });
}

void Form::Unload(UnloadMode mode) {
  if (!loaded_) return;
  int cancel = 0;
  RunHandler([&] { Form_QueryUnload(cancel, mode); });
  if (cancel) return;
  RunHandler([&] { Form_Unload(cancel); });
  if (cancel) return;
  bool was_visible = visible_;
  visible_ = false;
  loaded_ = false;
  active_ = nullptr;
  auto& forms = loaded();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  if (observer_) {
    if (was_visible) observer_->FormHidden(*this);
    observer_->FormUnloaded(*this);
  }
}

void Form::Show(FormShow mode) {
  Load();
  if (!loaded_) return;  // Form_Load unloaded it
  if (mode == vbModal) {
    if (visible_) vb::raise(kFormAlreadyDisplayed, "Form already displayed; can't show modally");
    visible_ = true;
    modal_ = true;
    if (show_listener()) show_listener()(*this);
    if (observer_) observer_->FormShown(*this);
    RunHandler([this] { Form_Activate(); });
    try {
      CurrentUser().RunModal(*this);
    } catch (...) {
      modal_ = false;
      throw;
    }
    modal_ = false;
    return;
  }
  if (visible_) return;
  visible_ = true;
  if (show_listener()) show_listener()(*this);
  if (observer_) observer_->FormShown(*this);
  RunHandler([this] { Form_Activate(); });
}

void Form::Hide() {
  if (!visible_) return;
  visible_ = false;
  if (observer_) observer_->FormHidden(*this);
}

void Form::ZOrder() {
  if (!loaded_ || !visible_) return;
  auto& forms = loaded();
  forms.erase(std::remove(forms.begin(), forms.end(), this), forms.end());
  forms.push_back(this);
  if (observer_) observer_->FormRaised(*this);
}

void Form::SetCaption(std::string c) {
  caption_ = std::move(c);
  if (observer_) observer_->FormChanged(*this);
}

void Form::Move(long left, long top, long width, long height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  if (observer_) observer_->FormChanged(*this);
}

void Form::SetWidth(long w) { Move(left_, top_, w, height_); }
void Form::SetHeight(long h) { Move(left_, top_, width_, h); }
long Form::ScaleWidth() const { return std::max(0L, width_ - kBorderWidth); }
long Form::ScaleHeight() const { return std::max(0L, height_ - kTitleAndBorderHeight); }

Control* Form::FindControl(const std::string& name) const {
  for (Control* c : controls_)
    if (c->Name() == name) return c;
  return nullptr;
}

CommandButton* Form::DefaultButton() const {
  for (Control* c : controls_)
    if (auto* b = dynamic_cast<CommandButton*>(c); b && b->Default()) return b;
  return nullptr;
}

CommandButton* Form::CancelButton() const {
  for (Control* c : controls_)
    if (auto* b = dynamic_cast<CommandButton*>(c); b && b->Cancel()) return b;
  return nullptr;
}

void SetFormShowListener(std::function<void(Form&)> listener) { show_listener() = std::move(listener); }

const std::vector<Form*>& LoadedForms() { return loaded(); }

Form* FindLoadedForm(const std::string& name) {
  const auto& forms = loaded();
  for (auto it = forms.rbegin(); it != forms.rend(); ++it)
    if ((*it)->Name() == name) return *it;
  return nullptr;
}

void UnloadAllForms() {
  // Each form is asked once; one that refuses is hidden and the next is asked.
  std::vector<Form*> asked;
  for (;;) {
    Form* next = nullptr;
    const auto& forms = loaded();
    for (auto it = forms.rbegin(); it != forms.rend() && !next; ++it)
      if (std::find(asked.begin(), asked.end(), *it) == asked.end()) next = *it;
    if (!next) return;
    asked.push_back(next);
    next->Unload(vbAppWindows);
    if (next->IsLoaded()) next->Hide();
  }
}

Form* ActiveForm() {
  const auto& forms = loaded();
  for (auto it = forms.rbegin(); it != forms.rend(); ++it)
    if ((*it)->Visible()) return *it;
  return nullptr;
}

// ---------------------------------------------------------------- ModelessFrame

void ModelessFrame::Create(Form& form) {
  form_ = &form;
  form.frame_caption_ = caption_;
  form.in_frame_ = true;
  form.Load();
}

bool ModelessFrame::Visible() const { return form_ && form_->IsLoaded() && form_->Visible(); }

void ModelessFrame::SetVisible(bool v) {
  if (!form_) vb::raise(vb::err::ObjectNotSet);
  if (v)
    form_->Show(vbModeless);
  else
    form_->Hide();
}

void ModelessFrame::SetCaption(std::string c) {
  caption_ = std::move(c);
  if (!form_) return;
  form_->frame_caption_ = caption_;
  if (form_->Observer()) form_->Observer()->FormChanged(*form_);
}

void ModelessFrame::Move(long left, long top, long width, long height) {
  left_ = left;
  top_ = top;
  if (!form_) return;
  form_->Move(left * Screen::TwipsPerPixelX, top * Screen::TwipsPerPixelY,
              width > 0 ? width * Screen::TwipsPerPixelX : form_->Width(),
              height > 0 ? height * Screen::TwipsPerPixelY : form_->Height());
}

// ---------------------------------------------------------------- Screen

Screen& Screen::Instance() {
  static Screen screen;
  return screen;
}

void Screen::SetSizePixels(long w, long h) {
  width_px_ = w;
  height_px_ = h;
}

void Screen::SetMousePointer(int p) {
  pointer_ = p;
  if (pointer_listener_) pointer_listener_(p);
}

}  // namespace host::ui
