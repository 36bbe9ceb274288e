// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/ui/controls.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <map>
#include <memory>

#include <unicode/ucol.h>

#include "host/ui/form.h"
#include "host/ui/user.h"
#include "host/vb/error.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/fso.h"

namespace host::ui {

int CompareListItems(std::string_view a, std::string_view b) {
  // A collator serves one thread at a time.
  struct Close {
    void operator()(UCollator* c) const { ucol_close(c); }
  };
  thread_local std::unique_ptr<UCollator, Close> collator = [] {
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<UCollator, Close> c(ucol_open("en_US", &status));
    if (U_FAILURE(status)) return std::unique_ptr<UCollator, Close>();
    ucol_setStrength(c.get(), UCOL_SECONDARY);
    return c;
  }();
  if (collator) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = ucol_strcollUTF8(collator.get(), a.data(), int32_t(a.size()), b.data(), int32_t(b.size()), &status);
    if (U_SUCCESS(status)) return r == UCOL_LESS ? -1 : r == UCOL_GREATER ? 1 : 0;
  }
  return vb::CompareText(a, b);
}

namespace {
constexpr int kInvalidPropertyValue = 380;
constexpr int kInvalidArrayIndex = 381;
constexpr int kReadOnlyText = 383;

// The key code and shift state of the key that types a character.
std::pair<int, int> key_of(unsigned char c) {
  if (c >= 'a' && c <= 'z') return {c - 'a' + 'A', 0};
  if (c >= 'A' && c <= 'Z') return {c, 1};
  if (c >= '0' && c <= '9') return {c, 0};
  static const std::map<char, std::pair<int, int>> keys = {
      {' ', {32, 0}},   {'.', {190, 0}}, {',', {188, 0}}, {'-', {189, 0}}, {'=', {187, 0}}, {'/', {191, 0}},
      {';', {186, 0}},  {'\'', {222, 0}}, {'[', {219, 0}}, {'\\', {220, 0}}, {']', {221, 0}}, {'`', {192, 0}},
      {'!', {49, 1}},   {'@', {50, 1}},  {'#', {51, 1}},  {'$', {52, 1}},  {'%', {53, 1}},  {'^', {54, 1}},
      {'&', {55, 1}},   {'*', {56, 1}},  {'(', {57, 1}},  {')', {48, 1}},  {'_', {189, 1}}, {'+', {187, 1}},
      {':', {186, 1}},  {'"', {222, 1}}, {'<', {188, 1}}, {'>', {190, 1}}, {'?', {191, 1}}, {'{', {219, 1}},
      {'|', {220, 1}},  {'}', {221, 1}}, {'~', {192, 1}}, {'\b', {8, 0}},  {'\t', {9, 0}},  {27, {27, 0}}};
  auto it = keys.find(char(c));
  return it == keys.end() ? std::pair<int, int>{0, 0} : it->second;
}

// The character a key code types, 0 when it types none.
int char_of(int keyCode) {
  if (keyCode >= 'A' && keyCode <= 'Z') return keyCode - 'A' + 'a';
  if (keyCode >= '0' && keyCode <= '9') return keyCode;
  if (keyCode >= 96 && keyCode <= 105) return '0' + keyCode - 96;  // number pad
  switch (keyCode) {
    case vbKeyBack: return 8;
    case vbKeyReturn: return 13;
    case vbKeyEscape: return 27;
    case vbKeySpace: return ' ';
    case 106: return '*';
    case 107: return '+';
    case 109:
    case 189: return '-';
    case 110:
    case 190: return '.';
    case 111:
    case 191: return '/';
    case 188: return ',';
    default: return 0;
  }
}

size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if ((lead >> 5) == 0x6) return 2;
  if ((lead >> 4) == 0xE) return 3;
  if ((lead >> 3) == 0x1E) return 4;
  return 1;
}

[[noreturn]] void invalid_value() { vb::raise(kInvalidPropertyValue, "Invalid property value"); }
}  // namespace

// ---------------------------------------------------------------- Control

Control::Control(Form& form, std::string name, Control* container)
    : form_(form), name_(std::move(name)), container_(container) {
  form_.add(this);
}

Control::~Control() { form_.remove(this); }

void Control::Changed() { form_.notify_control(*this); }

void Control::SetVisible(bool v) {
  if (visible_ == v) return;
  visible_ = v;
  Changed();
}

void Control::SetEnabled(bool v) {
  if (enabled_ == v) return;
  enabled_ = v;
  Changed();
}

bool Control::Available() const {
  for (const Control* c = this; c; c = c->container_)
    if (!c->visible_ || !c->enabled_) return false;
  return true;
}

void Control::SetLeft(long v) { Move(v, top_, width_, height_); }
void Control::SetTop(long v) { Move(left_, v, width_, height_); }
void Control::SetWidth(long v) { Move(left_, top_, v, height_); }
void Control::SetHeight(long v) { Move(left_, top_, width_, v); }
void Control::Move(long left, long top, long width, long height) {
  left_ = left;
  top_ = top;
  width_ = width;
  height_ = height;
  Changed();
}

void Control::SetToolTipText(std::string t) {
  tooltip_ = std::move(t);
  Changed();
}

void Control::SetFocus() {
  if (!form_.IsLoaded() || !Available() || !CanFocus()) vb::raise(vb::err::InvalidCall);
  focus();
}

void Control::focus() {
  if (!CanFocus()) return;
  Control* previous = form_.ActiveControl();
  if (previous == this) return;
  form_.set_active(this);
  if (previous) previous->LostFocus.Raise();
  GotFocus.Raise();
}

void Control::leave() {
  RequireAvailable("leave");
  focus();
  if (form_.ActiveControl() == this) form_.set_active(nullptr);
  LostFocus.Raise();
}

void Control::Reset() {
  visible_ = enabled_ = true;
  tooltip_.clear();
}

void Control::RequireAvailable(const char* action) const {
  if (!form_.IsLoaded()) throw ScriptError("cannot " + std::string(action) + " " + form_.Name() + "." + name_ + ": the window is not loaded");
  if (!Available())
    throw ScriptError("cannot " + std::string(action) + " " + form_.Name() + "." + name_ + ": it is hidden or disabled");
}

// ---------------------------------------------------------------- captions, Label, CommandButton

void CaptionedControl::SetCaption(std::string c) {
  caption_ = std::move(c);
  Changed();
}

void CaptionedControl::Reset() {
  Control::Reset();
  caption_.clear();
}


void Label::click() {
  RequireAvailable("click");
  Click.Raise();
}

void CommandButton::SetDefault(bool v) {
  // One default button per form, as the classic forms keep it.
  if (v)
    for (Control* c : form_.Controls())
      if (auto* b = dynamic_cast<CommandButton*>(c); b && b != this) b->default_ = false;
  default_ = v;
  Changed();
}
void CommandButton::SetCancel(bool v) {
  if (v)
    for (Control* c : form_.Controls())
      if (auto* b = dynamic_cast<CommandButton*>(c); b && b != this) b->cancel_ = false;
  cancel_ = v;
  Changed();
}
void CommandButton::Reset() {
  CaptionedControl::Reset();
  default_ = cancel_ = false;
}
void CommandButton::click() {
  RequireAvailable("click");
  focus();
  Click.Raise();
}

// ---------------------------------------------------------------- EditableText

void EditableText::SetSelStart(long v) {
  if (v < 0) invalid_value();
  sel_start_ = std::min<long>(v, long(text_.size()));
  sel_length_ = 0;
}

void EditableText::SetSelLength(long v) {
  if (v < 0) invalid_value();
  sel_length_ = std::min<long>(v, long(text_.size()) - sel_start_);
}

void EditableText::set_text(std::string t) {
  if (t == text_) return;
  text_ = std::move(t);
  sel_start_ = sel_length_ = 0;
  text_changed();
}

void EditableText::reset_text() {
  text_.clear();
  sel_start_ = sel_length_ = 0;
}

void EditableText::press(int ascii, int keyCode, int shift) {
  std::string typed = ascii > 0 && ascii < 0x80 ? std::string(1, char(ascii)) : std::string();
  int code = keyCode, sh = shift;
  KeyDown.Raise(code, sh);
  int key = ascii;
  KeyPress.Raise(key);
  if (key != 0 && !read_only()) {
    std::string before = text_;
    if (key == vbKeyBack) {
      if (sel_length_ > 0) {
        text_.erase(size_t(sel_start_), size_t(sel_length_));
      } else if (sel_start_ > 0) {
        size_t start = size_t(sel_start_) - 1;
        while (start > 0 && (static_cast<unsigned char>(text_[start]) & 0xC0) == 0x80) --start;
        text_.erase(start, size_t(sel_start_) - start);
        sel_start_ = long(start);
      }
    } else if (key >= 32) {
      std::string insert = key < 0x80 ? std::string(1, char(key)) : std::string();
      text_.replace(size_t(sel_start_), size_t(sel_length_), insert);
      sel_start_ += long(insert.size());
    }
    sel_length_ = 0;
    if (text_ != before) text_changed();
  }
  KeyUp.Raise(code, sh);
}

void EditableText::type_text(Control& self, const std::string& text) {
  self.focus();
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\r' || c == '\n') {
      type_key(self, vbKeyReturn);
      i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
      continue;
    }
    size_t n = utf8_length(c);
    if (n > 1) {
      // A character beyond ASCII has no key code; it is typed as it stands.
      std::string ch = text.substr(i, n);
      int code = 0, shift = 0;
      KeyDown.Raise(code, shift);
      int key = 0x80;  // not an ASCII key; handlers that filter keys refuse it
      KeyPress.Raise(key);
      if (key == 0x80 && !read_only()) {
        text_.replace(size_t(sel_start_), size_t(sel_length_), ch);
        sel_start_ += long(ch.size());
        sel_length_ = 0;
        text_changed();
      }
      KeyUp.Raise(code, shift);
      i += n;
      continue;
    }
    auto [code, shift] = key_of(c);
    press(c, code, shift);
    ++i;
  }
}

void EditableText::type_key(Control& self, int keyCode) {
  self.focus();
  Form& form = self.Parent();
  // Enter and Escape press the default and cancel buttons; the focus stays where it is.
  if (keyCode == vbKeyReturn) {
    if (CommandButton* b = form.DefaultButton(); b && b->Available()) return b->Click.Raise();
  }
  if (keyCode == vbKeyEscape) {
    if (CommandButton* b = form.CancelButton(); b && b->Available()) return b->Click.Raise();
  }
  if (int ch = char_of(keyCode)) return press(ch, keyCode, 0);
  int code = keyCode, shift = 0;
  KeyDown.Raise(code, shift);
  long n = long(text_.size());
  switch (keyCode) {
    case vbKeyDelete:
      if (!read_only() && (sel_length_ > 0 || sel_start_ < n)) {
        text_.erase(size_t(sel_start_), size_t(sel_length_ > 0 ? sel_length_ : 1));
        sel_length_ = 0;
        text_changed();
      }
      break;
    case vbKeyLeft: sel_start_ = std::max(0L, sel_start_ - 1), sel_length_ = 0; break;
    case vbKeyRight: sel_start_ = std::min(n, sel_start_ + 1), sel_length_ = 0; break;
    case vbKeyHome: sel_start_ = 0, sel_length_ = 0; break;
    case vbKeyEnd: sel_start_ = n, sel_length_ = 0; break;
    default: break;
  }
  KeyUp.Raise(code, shift);
}

void EditableText::paste_text(Control& self, const std::string& text) {
  self.focus();
  if (read_only()) throw ScriptError("cannot paste into " + self.Parent().Name() + "." + self.Name());
  if (text == text_) return;
  text_ = text;
  sel_start_ = long(text_.size());
  sel_length_ = 0;
  text_changed();
}

// ---------------------------------------------------------------- TextBox

void TextBox::Reset() {
  Control::Reset();
  reset_text();
  locked_ = multiline_ = false;
}

void TextBox::text_changed() {
  Changed();
  Change.Raise();
}

// ---------------------------------------------------------------- CheckBox, OptionButton

void CheckBox::SetValue(int v) {
  if (v < 0 || v > 2) invalid_value();
  if (v == value_) return;
  value_ = v;
  Changed();
  Click.Raise();
}
std::string CheckBox::PrintValue() const { return std::to_string(value_); }
void CheckBox::Reset() {
  CaptionedControl::Reset();
  value_ = 0;
}
void CheckBox::click() {
  RequireAvailable("click");
  focus();
  SetValue(value_ == 0 ? 1 : 0);
}

void OptionButton::SetValue(bool v) {
  if (!v) {
    if (value_) {
      value_ = false;
      Changed();
    }
    return;
  }
  for (Control* c : form_.Controls())
    if (auto* o = dynamic_cast<OptionButton*>(c); o && o != this && o->Container() == Container() && o->value_) {
      o->value_ = false;
      o->Changed();
    }
  if (value_) return;
  value_ = true;
  Changed();
  Click.Raise();
}
void OptionButton::Reset() {
  CaptionedControl::Reset();
  value_ = false;
}
void OptionButton::click() {
  RequireAvailable("click");
  focus();
  if (value_)
    Click.Raise();  // a click on the chosen option still tells its handler
  else
    SetValue(true);
}

// ---------------------------------------------------------------- ListControl

std::string ListControl::List(long i) const {
  return i >= 0 && i < long(items_.size()) ? items_[size_t(i)] : std::string();
}

void ListControl::SetList(long i, std::string item) {
  check_index(i, false);
  items_[size_t(i)] = std::move(item);
  Changed();
}

void ListControl::check_index(long i, bool allowMinusOne) const {
  if (i < (allowMinusOne ? -1 : 0) || i >= long(items_.size())) vb::raise(kInvalidArrayIndex, "Invalid property array index");
}

long ListControl::insert_position(const std::string& item, long index) const {
  if (index >= 0) {
    if (index > long(items_.size())) invalid_value();
    return index;
  }
  if (!sorted_) return long(items_.size());
  auto it = std::upper_bound(items_.begin(), items_.end(), item,
                             [](const std::string& a, const std::string& b) { return CompareListItems(a, b) < 0; });
  return long(it - items_.begin());
}

void ListControl::AddItem(const std::string& item, long index) {
  long at = insert_position(item, index);
  items_.insert(items_.begin() + at, item);
  item_inserted(at);
  if (list_index_ >= at) ++list_index_;
  Changed();
}

void ListControl::RemoveItem(long index) {
  check_index(index, false);
  items_.erase(items_.begin() + index);
  item_removed(index);
  if (list_index_ == index)
    list_index_ = -1;
  else if (list_index_ > index)
    --list_index_;
  Changed();
}

long ListControl::FindItem(const std::string& text, bool ignoreCase) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (ignoreCase ? vb::SameText(items_[i], text) : items_[i] == text) return long(i);
  return -1;
}

void ListControl::Reset() {
  Control::Reset();
  items_.clear();
  list_index_ = -1;
}

// ---------------------------------------------------------------- ComboBox

ComboBox::ComboBox(Form& form, std::string name, Control* container, Style style)
    : ListControl(form, std::move(name), container), style_(style) {}

void ComboBox::text_changed() {
  Changed();
  if (choosing_) return;
  list_index_ = FindItem(Text(), false);
  Change.Raise();
}

void ComboBox::SetText(std::string t) {
  if (style_ == DropdownList) {
    long i = FindItem(t, true);
    if (i < 0) vb::raise(kReadOnlyText, "'Text' property is read-only");
    SetListIndex(i);
    return;
  }
  set_text(std::move(t));
}

void ComboBox::SetListIndex(long i) {
  check_index(i, true);
  // Choosing from the list changes the edit field without a Change.
  choosing_ = true;
  set_text(List(i));
  choosing_ = false;
  list_index_ = i;
  Changed();
  Click.Raise();
}

void ComboBox::Clear() {
  items_.clear();
  list_index_ = -1;
  Changed();
  set_text("");
}

void ComboBox::Reset() {
  ListControl::Reset();
  reset_text();
}

void ComboBox::pick(long i) {
  RequireAvailable("pick");
  if (i < 0 || i >= ListCount()) throw ScriptError(form_.Name() + "." + Name() + " has no item #" + std::to_string(i));
  focus();
  SetListIndex(i);
}

void ComboBox::pick(const std::string& item) {
  long i = FindItem(item, false);
  if (i < 0) throw ScriptError(form_.Name() + "." + Name() + " has no item \"" + item + "\"");
  pick(i);
}

void ComboBox::type(const std::string& text) {
  RequireAvailable("type into");
  if (style_ != DropdownList) return type_text(*this, text);
  // A drop-down list moves to the next item that begins with each typed character.
  focus();
  for (char c : text) {
    long n = ListCount();
    for (long k = 1; k <= n; ++k) {
      long i = (list_index_ + k) % n;
      if (i >= 0 && vb::StartsWithText(List(i), std::string(1, c))) {
        SetListIndex(i);
        break;
      }
    }
  }
}

void ComboBox::key(int keyCode) {
  RequireAvailable("press a key in");
  type_key(*this, keyCode);
}

void ComboBox::paste(const std::string& text) {
  RequireAvailable("paste into");
  paste_text(*this, text);
}

// ---------------------------------------------------------------- ListBox

bool ListBox::Selected(long i) const {
  check_index(i, false);
  return selected_[size_t(i)];
}

long ListBox::SelCount() const { return long(std::count(selected_.begin(), selected_.end(), true)); }

void ListBox::SetSelected(long i, bool on) {
  check_index(i, false);
  selected_.resize(items_.size());
  if (multi_ == None) {
    if (on) return SetListIndex(i);
    if (selected_[size_t(i)]) {
      selected_[size_t(i)] = false;
      list_index_ = -1;
      Changed();
    }
    return;
  }
  if (selected_[size_t(i)] == on) return;
  selected_[size_t(i)] = on;
  list_index_ = i;
  Changed();
  Click.Raise();
}

void ListBox::SetListIndex(long i) {
  check_index(i, true);
  selected_.resize(items_.size());
  if (multi_ == None) {
    std::fill(selected_.begin(), selected_.end(), false);
    if (i >= 0) selected_[size_t(i)] = true;
  }
  list_index_ = i;
  Changed();
  Click.Raise();
}

void ListBox::Clear() {
  items_.clear();
  selected_.clear();
  list_index_ = -1;
  Changed();
}

void ListBox::replace_items(std::vector<std::string> items) {
  items_ = std::move(items);
  selected_.assign(items_.size(), false);
  list_index_ = -1;
  Changed();
}

std::string ListBox::PrintValue() const {
  std::string r;
  for (size_t i = 0; i < items_.size(); ++i) {
    if (i) r += "; ";
    r += (i < selected_.size() && selected_[i]) ? "[x] " : "[ ] ";
    r += items_[i];
  }
  return r;
}

void ListBox::Reset() {
  ListControl::Reset();
  selected_.clear();
}

void ListBox::pick(long i) {
  RequireAvailable("pick");
  if (i < 0 || i >= ListCount()) throw ScriptError(form_.Name() + "." + Name() + " has no item #" + std::to_string(i));
  focus();
  if (multi_ == None) return SetListIndex(i);
  selected_.resize(items_.size());
  selected_[size_t(i)] = !selected_[size_t(i)];
  list_index_ = i;
  Changed();
  Click.Raise();
}

void ListBox::select(long i, bool on) {
  RequireAvailable("select");
  if (i < 0 || i >= ListCount()) throw ScriptError(form_.Name() + "." + Name() + " has no item #" + std::to_string(i));
  focus();
  if (multi_ == None) {
    if (on) return SetListIndex(i);
    SetSelected(i, false);
    return Click.Raise();
  }
  selected_.resize(items_.size());
  selected_[size_t(i)] = on;
  list_index_ = i;
  Changed();
  Click.Raise();
}

void ListBox::dblclick(long i) {
  pick(i);
  DblClick.Raise();
}

void ListBox::item_inserted(long at) {
  selected_.resize(items_.size() - 1);
  selected_.insert(selected_.begin() + at, false);
}

void ListBox::item_removed(long at) {
  if (at < long(selected_.size())) selected_.erase(selected_.begin() + at);
}

// ---------------------------------------------------------------- FileListBox

void FileListBox::SetPath(std::string windowsPath) {
  if (windowsPath == path_) return Refresh();
  std::string old = path_;
  path_ = std::move(windowsPath);
  try {
    Refresh();
  } catch (...) {
    path_ = old;
    throw;
  }
  PathChange.Raise();
}

void FileListBox::SetPattern(std::string pattern) {
  pattern_ = std::move(pattern);
  if (!path_.empty()) Refresh();
  PatternChange.Raise();
}

void FileListBox::Refresh() {
  if (path_.empty()) return replace_items({});
  replace_items(win::FileSystemObject().ListFiles(path_, pattern_));
}

void FileListBox::Reset() {
  ListBox::Reset();
  pattern_ = "*.*";
  // Like the folder list, the file list starts at the current folder.
  path_ = win::CurrentDirectory();
  try {
    Refresh();
  } catch (const vb::Error&) {
    replace_items({});
  }
}

// ---------------------------------------------------------------- DirListBox and DriveListBox

namespace {
// The folder a drive list opens for a drive: the current folder when it lies on that drive.
std::string current_folder_of(char letter) {
  std::string cwd = win::CurrentDirectory();
  if (cwd.size() >= 2 && cwd[1] == ':' && vb::SameText(cwd.substr(0, 1), std::string(1, letter))) return cwd;
  return std::string(1, char(std::toupper(static_cast<unsigned char>(letter)))) + ":\\";
}

// "C:\a\b" without a trailing backslash, except a drive root.
std::string folder_form(std::string p) {
  while (p.size() > 3 && p.back() == '\\') p.pop_back();
  if (p.size() == 2 && p[1] == ':') p += "\\";
  return p;
}
}  // namespace

DirListBox::DirListBox(Form& form, std::string name, Control* container) : ListControl(form, std::move(name), container) {}

void DirListBox::SetPath(const std::string& windowsPath) {
  std::string p = windowsPath;
  if (p.size() == 2 && p[1] == ':') p = current_folder_of(p[0]);
  std::filesystem::path native = win::NativePath(p);
  std::error_code ec;
  if (!std::filesystem::is_directory(native, ec)) vb::raise(vb::err::PathNotFound);
  std::string resolved = folder_form(win::WindowsPath(native));
  if (resolved == path_) return;
  // A folder that cannot be read is not opened: the list stays where it was.
  std::vector<std::string> folders = subfolders(resolved);
  path_ = resolved;
  items_ = std::move(folders);
  list_index_ = -1;
  Changed();
  Change.Raise();
}

std::vector<std::string> DirListBox::subfolders(const std::string& path) {
  std::vector<std::string> folders;
  if (path.empty()) return folders;
  std::string base = path.back() == '\\' ? path : path + "\\";
  for (const std::string& name : win::FileSystemObject().ListFolders(path)) folders.push_back(base + name);
  return folders;
}

void DirListBox::Refresh() {
  items_ = subfolders(path_);
  list_index_ = -1;
  Changed();
}

std::string DirListBox::ListAt(long i) const {
  if (i >= 0) return List(i);
  std::string p = path_;
  for (long k = -1; k > i; --k) {
    size_t cut = p.find_last_of('\\', p.size() > 3 ? p.size() - 1 : std::string::npos);
    if (p.size() <= 3 || cut == std::string::npos) return "";
    p = folder_form(p.substr(0, cut));
  }
  return p;
}

void DirListBox::SetListIndex(long i) {
  check_index(i, true);
  list_index_ = i;
  Changed();
  Click.Raise();
}

void DirListBox::Reset() {
  ListControl::Reset();
  path_.clear();
  // The list starts at the current drive and folder.
  SetPath(win::CurrentDirectory());
}

void DirListBox::pick(long i) {
  RequireAvailable("pick");
  if (i < 0 || i >= ListCount()) throw ScriptError(form_.Name() + "." + Name() + " has no folder #" + std::to_string(i));
  focus();
  SetListIndex(i);
}

void DirListBox::open(const std::string& item) {
  RequireAvailable("open");
  focus();
  std::string target;
  if (item == "..") {
    target = ListAt(-2);
    if (target.empty()) target = path_;
  } else if (item.size() >= 2 && item[1] == ':') {
    target = item;
  } else {
    for (const std::string& sub : items_)
      if (vb::SameText(sub.substr(sub.find_last_of('\\') + 1), item)) target = sub;
    if (target.empty()) throw ScriptError(form_.Name() + "." + Name() + " has no folder \"" + item + "\"");
  }
  DblClick.Raise();
  try {
    SetPath(target);
  } catch (const vb::Error& e) {
    if (!OpenFailed) throw;
    // A folder gone since it was listed drops out of the list.
    try {
      Refresh();
    } catch (const vb::Error&) {
    }
    OpenFailed.Raise(e);
  }
}

DriveListBox::DriveListBox(Form& form, std::string name, Control* container) : ListControl(form, std::move(name), container) {}

void DriveListBox::fill() {
  items_.clear();
  for (char letter : win::DriveMap::instance().letters())
    items_.push_back(std::string(1, char(std::tolower(static_cast<unsigned char>(letter)))) + ":");
}

void DriveListBox::SetDrive(const std::string& drive) {
  if (drive.size() < 2 || drive[1] != ':' || !win::DriveMap::instance().root(drive[0]))
    vb::raise(68, "Device unavailable");
  std::string d = vb::LCase(drive.substr(0, 2));
  list_index_ = FindItem(d, true);
  if (d == drive_) return;
  drive_ = d;
  Changed();
  Change.Raise();
}

void DriveListBox::Reset() {
  ListControl::Reset();
  fill();
  drive_ = vb::LCase(win::CurrentDirectory().substr(0, 2));
  list_index_ = FindItem(drive_, true);
}

void DriveListBox::pick(long i) {
  RequireAvailable("pick");
  if (i < 0 || i >= ListCount()) throw ScriptError(form_.Name() + "." + Name() + " has no drive #" + std::to_string(i));
  focus();
  SetDrive(List(i));
}

void DriveListBox::pick(const std::string& drive) {
  long i = FindItem(drive.substr(0, std::min<size_t>(2, drive.size())), true);
  if (i < 0) throw ScriptError(form_.Name() + "." + Name() + " has no drive \"" + drive + "\"");
  pick(i);
}

// ---------------------------------------------------------------- Frame, PictureBox, pictures

namespace {
std::map<long, Picture>& pictures() {
  static std::map<long, Picture> p;
  return p;
}
}  // namespace

Picture MakePicture(std::string path, std::string data, long widthTwips, long heightTwips) {
  static long next = 0x1000;
  Picture p{next++, std::move(path), std::move(data), widthTwips, heightTwips};
  pictures()[p.Handle] = p;
  return p;
}

const Picture* FindPicture(long handle) {
  auto it = pictures().find(handle);
  return it == pictures().end() ? nullptr : &it->second;
}

void PictureBox::SetPicture(Picture p) {
  picture_ = std::move(p);
  Changed();
}
void PictureBox::Reset() {
  Control::Reset();
  picture_ = Picture{};
}

// ---------------------------------------------------------------- VScrollBar

void VScrollBar::SetMin(int v) {
  min_ = v;
  if (value_ < std::min(min_, max_) || value_ > std::max(min_, max_)) set(min_, false);
  Changed();
}

void VScrollBar::SetMax(int v) {
  max_ = v;
  if (value_ < std::min(min_, max_) || value_ > std::max(min_, max_)) set(max_, false);
  Changed();
}

void VScrollBar::SetValue(int v) {
  if (v < std::min(min_, max_) || v > std::max(min_, max_)) invalid_value();
  if (v != value_) set(v, false);
}

void VScrollBar::set(int v, bool scrolling) {
  value_ = v;
  Changed();
  if (scrolling)
    Scroll.Raise();
  else
    Change.Raise();
}

void VScrollBar::Reset() {
  Control::Reset();
  min_ = 0;
  max_ = 32767;
  value_ = 0;
  small_ = large_ = 1;
}

void VScrollBar::drag(int v) {
  RequireAvailable("scroll");
  focus();
  v = std::clamp(v, std::min(min_, max_), std::max(min_, max_));
  if (v == value_) return;
  set(v, true);
  Change.Raise();  // the thumb is let go
}

void VScrollBar::arrow(bool down) { step_by(small_, down); }
void VScrollBar::page(bool down) { step_by(large_, down); }

void VScrollBar::step_by(int change, bool down) {
  RequireAvailable("scroll");
  focus();
  int step = (max_ >= min_ ? 1 : -1) * change * (down ? 1 : -1);
  int v = std::clamp(value_ + step, std::min(min_, max_), std::max(min_, max_));
  if (v != value_) set(v, false);
}

// ---------------------------------------------------------------- TabControl

void TabControl::SetTabs(int n) {
  if (n < 1) invalid_value();
  captions_.resize(size_t(n));
  if (tab_ >= n) tab_ = n - 1;
  Changed();
}

std::string TabControl::TabCaption(int i) const {
  if (i < 0 || i >= Tabs()) invalid_value();
  return captions_[size_t(i)];
}

void TabControl::SetTabCaption(int i, std::string c) {
  if (i < 0 || i >= Tabs()) invalid_value();
  captions_[size_t(i)] = std::move(c);
  Changed();
}

void TabControl::SetTab(int i) {
  if (i < 0 || i >= Tabs()) invalid_value();
  if (i == tab_) return;
  int previous = tab_;
  tab_ = i;
  Changed();
  Click.Raise(previous);
}

void TabControl::Reset() {
  Control::Reset();
  captions_.assign(1, "");
  tab_ = 0;
}

void TabControl::select(int i) {
  RequireAvailable("select a tab of");
  if (i < 0 || i >= Tabs()) throw ScriptError(form_.Name() + "." + Name() + " has no tab " + std::to_string(i));
  SetTab(i);
}

}  // namespace host::ui
