// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The controls of the host's windows: a model with the event rules the command
// relies on. Properties are read with Name() and written with SetName(); writing a
// property raises the events the classic controls raise for it. Methods in
// lower case (click, type, pick, ...) act as the user does.

#include <string>
#include <string_view>
#include <vector>

#include "host/ui/event.h"

namespace host {
namespace vb {
class Error;
}
}  // namespace host

namespace host::ui {

// The order of a sorted list box (negative, 0, positive): the en-US collation at
// secondary strength, so letter case is ignored, accents count only after the letters
// ("Émile" sorts among the E's) and punctuation comes where collation puts it.
// Items that compare 0 keep the order they were added in.
int CompareListItems(std::string_view a, std::string_view b);

class Form;

// Key codes of the keys the command looks at.
enum KeyCode {
  vbKeyBack = 8,
  vbKeyTab = 9,
  vbKeyReturn = 13,
  vbKeyEscape = 27,
  vbKeySpace = 32,
  vbKeyEnd = 35,
  vbKeyHome = 36,
  vbKeyLeft = 37,
  vbKeyUp = 38,
  vbKeyRight = 39,
  vbKeyDown = 40,
  vbKeyDelete = 46,
};

class Control {
 public:
  Control(Form& form, std::string name, Control* container);
  virtual ~Control();
  Control(const Control&) = delete;
  Control& operator=(const Control&) = delete;

  const std::string& Name() const { return name_; }
  Form& Parent() const { return form_; }
  // The frame, picture box or tab control that holds it; none for the form itself.
  Control* Container() const { return container_; }
  virtual const char* TypeName() const = 0;
  virtual bool IsContainer() const { return false; }
  virtual bool CanFocus() const { return true; }

  bool Visible() const { return visible_; }
  void SetVisible(bool v);
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool v);
  // Visible and enabled, with every container.
  bool Available() const;
  long Left() const { return left_; }
  long Top() const { return top_; }
  long Width() const { return width_; }
  long Height() const { return height_; }
  void SetLeft(long v);
  void SetTop(long v);
  void SetWidth(long v);
  void SetHeight(long v);
  void Move(long left, long top, long width, long height);
  const std::string& ToolTipText() const { return tooltip_; }
  void SetToolTipText(std::string t);
  // The page of a tab control the control sits on (-1: not on a tab control).
  int TabPage() const { return tab_page_; }
  void SetTabPage(int page) { tab_page_ = page; }

  void SetFocus();
  Event<> GotFocus;
  Event<> LostFocus;

  // What the script's print verb shows.
  virtual std::string PrintValue() const { return ""; }
  // Back to the blank state, before the form's design values are applied at each load.
  virtual void Reset();

  // The user: moves the focus here (raising LostFocus on the control that had it).
  void focus();
  // The user leaves the control: LostFocus, and the form has no focused control.
  void leave();

 protected:
  void Changed();  // tells the user's view that a property changed
  // Refuses a user action on a control the user cannot reach.
  void RequireAvailable(const char* action) const;
  Form& form_;

 private:
  std::string name_;
  Control* container_;
  bool visible_ = true;
  bool enabled_ = true;
  long left_ = 0, top_ = 0, width_ = 1215, height_ = 375;
  std::string tooltip_;
  int tab_page_ = -1;
};

// A control that shows a caption: labels, buttons, check and option boxes, frames.
class CaptionedControl : public Control {
 public:
  using Control::Control;
  const std::string& Caption() const { return caption_; }
  void SetCaption(std::string c);
  std::string PrintValue() const override { return caption_; }
  void Reset() override;

 private:
  std::string caption_;
};

class Label : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  const char* TypeName() const override { return "Label"; }
  bool CanFocus() const override { return false; }
  void click();
  Event<> Click;
};

class CommandButton : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  const char* TypeName() const override { return "CommandButton"; }
  // Enter presses the default button, Escape the cancel button.
  bool Default() const { return default_; }
  void SetDefault(bool v);
  bool Cancel() const { return cancel_; }
  void SetCancel(bool v);
  void Reset() override;
  void click();
  Event<> Click;

 private:
  bool default_ = false, cancel_ = false;
};

// The editing of a one-line text field, shared by text boxes and combo boxes: the
// keys a user types go through KeyDown, KeyPress (the key by reference, 0 cancels it),
// are applied at the caret (Change when the text changes), then KeyUp.
class EditableText {
 public:
  virtual ~EditableText() = default;
  const std::string& Text() const { return text_; }
  long SelStart() const { return sel_start_; }
  void SetSelStart(long v);
  long SelLength() const { return sel_length_; }
  void SetSelLength(long v);

  Event<int&, int&> KeyDown;  // key code, shift
  Event<int&> KeyPress;       // ASCII code
  Event<int&, int&> KeyUp;    // key code, shift
  Event<> Change;

 protected:
  // A new text puts the caret at the start and raises Change; the same text does nothing.
  void set_text(std::string t);
  void reset_text();
  void type_text(Control& self, const std::string& text);
  void type_key(Control& self, int keyCode);
  void paste_text(Control& self, const std::string& text);
  virtual void text_changed() { Change.Raise(); }
  virtual bool read_only() const { return false; }

 private:
  void press(int ascii, int keyCode, int shift);
  std::string text_;
  long sel_start_ = 0, sel_length_ = 0;
};

class TextBox : public Control, public EditableText {
 public:
  using Control::Control;
  const char* TypeName() const override { return "TextBox"; }
  void SetText(std::string t) { set_text(std::move(t)); }
  bool Locked() const { return locked_; }
  void SetLocked(bool v) { locked_ = v; }
  bool MultiLine() const { return multiline_; }
  void SetMultiLine(bool v) { multiline_ = v; }
  std::string PrintValue() const override { return Text(); }
  void Reset() override;

  // The user types text, one key at a time.
  void type(const std::string& text) { type_text(*this, text); }
  // One key by its key code (Enter, Escape, Backspace, Delete, arrows, or a character key).
  void key(int keyCode) { type_key(*this, keyCode); }
  // The user pastes over the whole text: Change, no keys.
  void paste(const std::string& text) { paste_text(*this, text); }

 protected:
  void text_changed() override;
  bool read_only() const override { return locked_; }

 private:
  bool locked_ = false, multiline_ = false;
};

class CheckBox : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  const char* TypeName() const override { return "CheckBox"; }
  // 0 unchecked, 1 checked, 2 grayed; every change raises Click.
  int Value() const { return value_; }
  void SetValue(int v);
  std::string PrintValue() const override;
  void Reset() override;
  void click();  // unchecked becomes checked, anything else unchecked
  Event<> Click;

 private:
  int value_ = 0;
};

class OptionButton : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  const char* TypeName() const override { return "OptionButton"; }
  bool Value() const { return value_; }
  // True clears the other options of the same container and raises Click.
  void SetValue(bool v);
  std::string PrintValue() const override { return value_ ? "True" : "False"; }
  void Reset() override;
  void click();
  Event<> Click;

 private:
  bool value_ = false;
};

// What list boxes and combo boxes share: the items and the sorted insertion.
class ListControl : public Control {
 public:
  using Control::Control;
  long ListCount() const { return long(items_.size()); }
  // Item i; an index outside the list gives the empty text, as the classic lists do.
  std::string List(long i) const;
  void SetList(long i, std::string item);
  long ListIndex() const { return list_index_; }
  // A sorted list keeps its items in the order of CompareListItems.
  bool Sorted() const { return sorted_; }
  void SetSorted(bool v) { sorted_ = v; }
  // Adds at the end (sorted lists: in order) or at index.
  void AddItem(const std::string& item, long index = -1);
  void RemoveItem(long index);
  // The first item equal to text (exactly, or without regard to case); -1 when none.
  long FindItem(const std::string& text, bool ignoreCase) const;
  const std::vector<std::string>& Items() const { return items_; }
  void Reset() override;
  Event<> Click;
  Event<> DblClick;

 protected:
  virtual void item_inserted(long /*at*/) {}
  virtual void item_removed(long /*at*/) {}
  long insert_position(const std::string& item, long index) const;
  void check_index(long i, bool allowMinusOne) const;
  std::vector<std::string> items_;
  long list_index_ = -1;
  bool sorted_ = false;
};

class ComboBox : public ListControl, public EditableText {
 public:
  enum Style { DropdownCombo = 0, SimpleCombo = 1, DropdownList = 2 };
  ComboBox(Form& form, std::string name, Control* container, Style style = DropdownCombo);
  const char* TypeName() const override { return "ComboBox"; }
  Style GetStyle() const { return style_; }

  // Sets the edit field (Change when it differs); ListIndex follows the matching item.
  // A drop-down list only takes the text of one of its items.
  void SetText(std::string t);
  // Selects an item by code: the text becomes the item's, Click is raised.
  void SetListIndex(long i);
  // Empties the list and the edit field.
  void Clear();
  std::string PrintValue() const override { return Text(); }
  void Reset() override;

  // The user picks item i from the list: Click.
  void pick(long i);
  void pick(const std::string& item);
  // The user types into the edit field (drop-down combos).
  void type(const std::string& text);
  void key(int keyCode);
  void paste(const std::string& text);

 protected:
  void text_changed() override;
  bool read_only() const override { return style_ == DropdownList; }

 private:
  Style style_;
  bool choosing_ = false;  // the edit field follows a choice from the list: no Change
};

class ListBox : public ListControl {
 public:
  enum MultiSelectMode { None = 0, Simple = 1, Extended = 2 };
  using ListControl::ListControl;
  const char* TypeName() const override { return "ListBox"; }
  MultiSelectMode MultiSelect() const { return multi_; }
  void SetMultiSelect(MultiSelectMode m) { multi_ = m; }
  bool Selected(long i) const;
  // Selecting a row by code raises Click; a single-select list moves its one selection.
  void SetSelected(long i, bool on);
  long SelCount() const;
  void SetListIndex(long i);
  void Clear();
  std::string Text() const { return List(list_index_); }
  // "[x] a; [ ] b": every item with its selection.
  std::string PrintValue() const override;
  void Reset() override;

  // The user clicks row i (a multi-select list toggles it): Click.
  void pick(long i);
  // The user sets the selection of one row of a multi-select list: Click.
  void select(long i, bool on);
  void dblclick(long i);

 protected:
  void item_inserted(long at) override;
  void item_removed(long at) override;
  std::vector<bool> selected_;
  MultiSelectMode multi_ = None;
  friend class FileListBox;
  void replace_items(std::vector<std::string> items);
};

// The files of a folder that match a pattern, over the drive map.
class FileListBox : public ListBox {
 public:
  using ListBox::ListBox;
  const char* TypeName() const override { return "FileListBox"; }
  const std::string& Path() const { return path_; }
  void SetPath(std::string windowsPath);  // re-reads the folder; PathChange
  const std::string& Pattern() const { return pattern_; }
  void SetPattern(std::string pattern);  // re-reads; PatternChange
  void Refresh();
  std::string FileName() const { return Text(); }
  void Reset() override;
  Event<> PathChange;
  Event<> PatternChange;

 private:
  std::string path_;
  std::string pattern_ = "*.*";
};

// The folders of a drive: Path is the open folder, List(i) its subfolders (full paths),
// List(-1) the open folder, List(-2) its parent and so on up to the root.
class DirListBox : public ListControl {
 public:
  DirListBox(Form& form, std::string name, Control* container);
  const char* TypeName() const override { return "DirListBox"; }
  const std::string& Path() const { return path_; }
  // Opens a folder; a bare drive ("d:") opens that drive's current folder. Change.
  void SetPath(const std::string& windowsPath);
  std::string ListAt(long i) const;  // with negative indices
  void SetListIndex(long i);         // highlights (Click), does not open
  void Refresh();
  std::string PrintValue() const override { return path_; }
  void Reset() override;
  // The user clicks a subfolder (highlight only) or double-clicks one to open it
  // ("..", a subfolder name, or a full path).
  void pick(long i);
  void open(const std::string& item);
  Event<> Change;
  // The user opened a folder that cannot be opened (gone, or not readable): the list
  // stays at its folder and the form hears why. Without a handler the error is the
  // host's to report, as any error no handler takes.
  Event<const vb::Error&> OpenFailed;

 private:
  static std::vector<std::string> subfolders(const std::string& path);
  std::string path_;
};

class DriveListBox : public ListControl {
 public:
  DriveListBox(Form& form, std::string name, Control* container);
  const char* TypeName() const override { return "DriveListBox"; }
  // "c:" in lower case, as the classic control gives it.
  const std::string& Drive() const { return drive_; }
  void SetDrive(const std::string& drive);  // Change
  std::string PrintValue() const override { return drive_; }
  void Reset() override;
  void pick(long i);
  void pick(const std::string& drive);
  Event<> Change;

 private:
  void fill();
  std::string drive_;
};

class Frame : public CaptionedControl {
 public:
  using CaptionedControl::CaptionedControl;
  const char* TypeName() const override { return "Frame"; }
  bool IsContainer() const override { return true; }
  bool CanFocus() const override { return false; }
};

// A picture held by a picture box; the handle is what a command's bitmap gives the host.
struct Picture {
  long Handle = 0;
  std::string Path;  // an image file, or empty for a picture drawn in memory
  std::string Data;  // the image's bytes (PNG) when drawn in memory
  long Width = 0, Height = 0;  // twips
};
// A new picture with a fresh handle; the handle finds it again.
Picture MakePicture(std::string path, std::string data, long widthTwips, long heightTwips);
const Picture* FindPicture(long handle);

class PictureBox : public Control {
 public:
  using Control::Control;
  const char* TypeName() const override { return "PictureBox"; }
  bool IsContainer() const override { return true; }
  const Picture& GetPicture() const { return picture_; }
  void SetPicture(Picture p);
  void Reset() override;
  Event<> Click;

 private:
  Picture picture_;
};

class VScrollBar : public Control {
 public:
  using Control::Control;
  const char* TypeName() const override { return "VScrollBar"; }
  int Min() const { return min_; }
  int Max() const { return max_; }
  int Value() const { return value_; }
  int SmallChange() const { return small_; }
  int LargeChange() const { return large_; }
  void SetMin(int v);
  void SetMax(int v);
  // Outside Min to Max: Invalid property value (380). A new value raises Change.
  void SetValue(int v);
  void SetSmallChange(int v) { small_ = v; }
  void SetLargeChange(int v) { large_ = v; }
  std::string PrintValue() const override { return std::to_string(value_); }
  void Reset() override;
  // The user drags the thumb to v (Scroll, then Change), clicks an arrow (Change, by
  // SmallChange) or clicks the track beside the thumb (Change, by LargeChange).
  void drag(int v);
  void arrow(bool down);
  void page(bool down);
  Event<> Change;
  Event<> Scroll;

 private:
  void set(int v, bool scrolling);
  void step_by(int change, bool down);
  int min_ = 0, max_ = 32767, value_ = 0, small_ = 1, large_ = 1;
};

// The tabbed dialog control: Tab is the page shown; Click gets the page shown before.
class TabControl : public Control {
 public:
  using Control::Control;
  const char* TypeName() const override { return "SSTab"; }
  bool IsContainer() const override { return true; }
  int Tabs() const { return int(captions_.size()); }
  void SetTabs(int n);
  std::string TabCaption(int i) const;
  void SetTabCaption(int i, std::string c);
  int Tab() const { return tab_; }
  void SetTab(int i);
  std::string PrintValue() const override { return std::to_string(tab_); }
  void Reset() override;
  void select(int i);  // the user clicks a tab
  Event<int&> Click;  // the previous tab

 private:
  std::vector<std::string> captions_;
  int tab_ = 0;
};

}  // namespace host::ui
