// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/form_window.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHideEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QWheelEvent>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

#include "gui/qt_text.h"
#include "host/app/registry.h"
#include "host/ui/controls.h"
#include "host/ui/event.h"
#include "host/ui/user.h"
#include "host/win/drives.h"

namespace gui {

namespace ui = host::ui;

namespace {

int px(long twips) { return int(std::lround(double(twips) / double(ui::Screen::TwipsPerPixelX))); }

struct Updating {
  explicit Updating(int& n) : n_(n) { ++n_; }
  ~Updating() { --n_; }
  Updating(const Updating&) = delete;
  Updating& operator=(const Updating&) = delete;
  int& n_;
};

// The tab control's widget: pages hold the controls of each tab, placed, as on the
// classic control, relative to the whole control rather than to the page.
class TabWidget : public QTabWidget {
 public:
  explicit TabWidget(QWidget* parent) : QTabWidget(parent) {}
  std::function<void()> on_layout;
  QPoint PageOrigin() const {
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    return style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this).topLeft();
  }

 protected:
  void resizeEvent(QResizeEvent* e) override {
    QTabWidget::resizeEvent(e);
    if (on_layout) on_layout();
  }
  void showEvent(QShowEvent* e) override {
    QTabWidget::showEvent(e);
    if (on_layout) on_layout();
  }
};

// Check boxes and option buttons answer a click anywhere on the control, as the
// classic ones do, not only on the box and the caption's text.
class WholeCheckBox : public QCheckBox {
 public:
  using QCheckBox::QCheckBox;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};
class WholeRadioButton : public QRadioButton {
 public:
  using QRadioButton::QRadioButton;

 protected:
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A frame whose caption sits on its border, as on the classic dialogs: the children are
// placed from the frame's top left corner, caption included.
class FrameBox : public QGroupBox {
 public:
  using QGroupBox::QGroupBox;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    const QFontMetrics metrics(font());
    const int mid = metrics.height() / 2;
    const QRectF box = QRectF(rect()).adjusted(0.5, mid + 0.5, -0.5, -0.5);
    const QString text = title();
    const int text_width = text.isEmpty() ? 0 : metrics.horizontalAdvance(text) + 6;
    p.setPen(QColor(0xb4, 0xb9, 0xc0));
    QPainterPath border;
    border.moveTo(box.left() + 7 + text_width, box.top());
    border.lineTo(box.right(), box.top());
    border.lineTo(box.right(), box.bottom());
    border.lineTo(box.left(), box.bottom());
    border.lineTo(box.left(), box.top());
    border.lineTo(box.left() + 7, box.top());
    p.drawPath(border);
    if (!text.isEmpty()) {
      p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
      p.drawText(QRect(10, 0, text_width, metrics.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    }
  }
};

// A text in a font narrowed (down to four fifths) until it fits the width, or the
// height when it wraps: the forms were measured in a narrower font than ours.
QFont fitted_font(QFont font, const QString& text, int width, int height, bool wraps) {
  if (text.isEmpty() || width <= 0) return font;
  for (int stretch = 100; stretch >= 80; stretch -= 4) {
    font.setStretch(stretch);
    const QFontMetrics m(font);
    const bool fits = wraps ? m.boundingRect(QRect(0, 0, width, 1 << 20), Qt::TextWordWrap, text).height() <= height
                            : m.horizontalAdvance(text) <= width;
    if (fits) break;
  }
  return font;
}

// Caret positions: the model counts bytes of UTF-8, the widget UTF-16 units.
int units_of(const std::string& text, long bytes) {
  bytes = std::clamp<long>(bytes, 0, long(text.size()));
  return int(QString::fromUtf8(text.data(), qsizetype(bytes)).size());
}
long bytes_of(const QString& text, int units) { return long(text.left(units).toUtf8().size()); }

// The window whose control the user works now: a form shown from its handler is a
// dialog of it.
QPointer<FormWindow> g_acting;

bool printable(const QString& text) {
  if (text.isEmpty()) return false;
  for (QChar c : text)
    if (c.unicode() < 0x20 || c.unicode() == 0x7f) return false;
  return true;
}

}  // namespace

// ---------------------------------------------------------------- bindings

struct FormWindow::Binding {
  Binding(FormWindow& w, ui::Control& c) : win(w), control(c) {}
  virtual ~Binding() = default;
  Binding(const Binding&) = delete;
  Binding& operator=(const Binding&) = delete;
  // Reads the control's own properties into the widget (geometry, visibility and
  // enabled state are the window's).
  virtual void refresh() {}
  // Where the control's children go.
  virtual QWidget* page_for(const ui::Control& /*child*/) { return widget; }
  // Key and mouse events of the widgets registered for this binding.
  virtual bool filter(QObject* /*watched*/, QEvent* /*event*/) { return false; }
  void watch(QObject* o) {
    win.by_widget_[o] = this;
    o->installEventFilter(&win);
  }
  void act(const std::function<void()>& action) { win.act(&control, action); }
  // Reads the whole control back from the model.
  void reread() { win.refresh(*this); }
  void relayout_children() { win.relayout_tab(control); }
  bool updating() const { return win.updating_ > 0 || !win.form_; }

  FormWindow& win;
  ui::Control& control;
  QWidget* widget = nullptr;
};

namespace {

using Binding = FormWindow::Binding;

struct LabelBinding : Binding {
  LabelBinding(FormWindow& w, ui::Label& c, QWidget* parent) : Binding(w, c), label(c) {
    auto* l = new QLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setWordWrap(true);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    if (label.Click) {
      // A label that answers a click is a link.
      l->setCursor(Qt::PointingHandCursor);
      l->setForegroundRole(QPalette::Link);
    }
    widget = l;
    watch(l);
  }
  void refresh() override {
    auto* l = static_cast<QLabel*>(widget);
    const QString text = ToQtLines(label.Caption());
    l->setText(text);
    // A label one line high keeps to one line; a caption that does not fit is narrowed
    // a little rather than broken or cut.
    QFont f = win.font();
    f.setUnderline(static_cast<bool>(label.Click));
    const bool one_line = l->height() < 2 * QFontMetrics(f).height() && !text.contains(QLatin1Char('\n'));
    l->setWordWrap(!one_line);
    l->setFont(fitted_font(f, text, l->width(), l->height(), !one_line));
  }
  bool filter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::MouseButtonRelease) return false;
    auto* m = static_cast<QMouseEvent*>(e);
    if (m->button() == Qt::LeftButton && widget->rect().contains(m->position().toPoint())) act([&] { label.click(); });
    return false;
  }
  ui::Label& label;
};

struct ButtonBinding : Binding {
  ButtonBinding(FormWindow& w, ui::CommandButton& c, QWidget* parent) : Binding(w, c), button(c) {
    auto* b = new QPushButton(parent);
    b->setAutoDefault(true);  // Enter presses the button that has the focus
    QObject::connect(b, &QPushButton::clicked, b, [this] { act([&] { button.click(); }); });
    widget = b;
    watch(b);
  }
  void refresh() override {
    auto* b = static_cast<QPushButton*>(widget);
    b->setText(ToQt(button.Caption()));
    b->setDefault(button.Default());
    b->setFont(fitted_font(win.font(), b->text().remove(QLatin1Char('&')), b->width() - 8, b->height(), false));
  }
  ui::CommandButton& button;
};

struct CheckBinding : Binding {
  CheckBinding(FormWindow& w, ui::CheckBox& c, QWidget* parent) : Binding(w, c), check(c) {
    auto* b = new WholeCheckBox(parent);
    b->setTristate(true);
    QObject::connect(b, &QCheckBox::clicked, b, [this] { act([&] { check.click(); }); });
    widget = b;
    watch(b);
  }
  void refresh() override {
    auto* b = static_cast<QCheckBox*>(widget);
    b->setText(ToQt(check.Caption()));
    b->setFont(fitted_font(win.font(), b->text(), b->width() - 20, b->height(), false));
    b->setCheckState(check.Value() == 1 ? Qt::Checked : check.Value() == 2 ? Qt::PartiallyChecked : Qt::Unchecked);
  }
  ui::CheckBox& check;
};

struct OptionBinding : Binding {
  OptionBinding(FormWindow& w, ui::OptionButton& c, QWidget* parent) : Binding(w, c), option(c) {
    auto* b = new WholeRadioButton(parent);
    // The model clears the other options of the container; the widgets only follow.
    b->setAutoExclusive(false);
    QObject::connect(b, &QRadioButton::clicked, b, [this] { act([&] { option.click(); }); });
    widget = b;
    watch(b);
  }
  void refresh() override {
    auto* b = static_cast<QRadioButton*>(widget);
    b->setText(ToQt(option.Caption()));
    b->setFont(fitted_font(win.font(), b->text(), b->width() - 20, b->height(), false));
    b->setChecked(option.Value());
  }
  ui::OptionButton& option;
};

// A one-line edit field over the model's editable text (a text box, a combo's field).
struct EditField {
  ui::EditableText& text;
  std::function<void(const std::string&)> type, paste;
  std::function<void(int)> key;

  // The widget's caret and selection go to the model before a key reaches it.
  void push_selection(QLineEdit* edit) const {
    QString t = edit->text();
    int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
    int length = edit->hasSelectedText() ? int(edit->selectedText().size()) : 0;
    long s = bytes_of(t, start);
    text.SetSelStart(s);
    text.SetSelLength(bytes_of(t, start + length) - s);
  }
  void pull(QLineEdit* edit, bool caret) const {
    QString t = ToQt(text.Text());
    bool changed = edit->text() != t;
    if (changed) edit->setText(t);
    if (!changed && !caret) return;
    int start = units_of(text.Text(), text.SelStart());
    int end = units_of(text.Text(), text.SelStart() + text.SelLength());
    if (end > start)
      edit->setSelection(start, end - start);
    else
      edit->setCursorPosition(start);
  }

  // Turns a key press into the model's keys; false leaves it to the widget.
  bool key_press(Binding& b, QLineEdit* edit, QKeyEvent* e) {
    if (e->matches(QKeySequence::Paste) || e->matches(QKeySequence::Cut)) {
      if (edit->isReadOnly()) return true;
      QString t = edit->text();
      int start = edit->hasSelectedText() ? edit->selectionStart() : edit->cursorPosition();
      int length = edit->hasSelectedText() ? int(edit->selectedText().size()) : 0;
      if (e->matches(QKeySequence::Cut)) {
        if (length == 0) return true;
        QGuiApplication::clipboard()->setText(edit->selectedText());
        t.remove(start, length);
      } else {
        QString clip = QGuiApplication::clipboard()->text();
        clip = clip.left(clip.indexOf(QLatin1Char('\n')) < 0 ? clip.size() : clip.indexOf(QLatin1Char('\n')));
        clip.remove(QLatin1Char('\r'));
        t.replace(start, length, clip);
      }
      b.act([&] { paste(ToStd(t)); });
      return true;
    }
    const Qt::KeyboardModifiers mods = e->modifiers() & ~Qt::KeypadModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool command = mods & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
    int code = 0;
    switch (e->key()) {
      case Qt::Key_Backspace: code = command ? 0 : ui::vbKeyBack; break;
      case Qt::Key_Delete: code = command ? 0 : ui::vbKeyDelete; break;
      case Qt::Key_Left: code = shift || command ? 0 : ui::vbKeyLeft; break;
      case Qt::Key_Right: code = shift || command ? 0 : ui::vbKeyRight; break;
      case Qt::Key_Home: code = shift || command ? 0 : ui::vbKeyHome; break;
      case Qt::Key_End: code = shift || command ? 0 : ui::vbKeyEnd; break;
      case Qt::Key_Return:
      case Qt::Key_Enter: code = ui::vbKeyReturn; break;
      case Qt::Key_Escape: code = ui::vbKeyEscape; break;
      default: break;
    }
    if (code) {
      push_selection(edit);
      b.act([&] { key(code); });
      if (!b.updating()) pull(edit, true);
      return true;
    }
    if (!command && printable(e->text())) {
      push_selection(edit);
      std::string typed = ToStd(e->text());
      b.act([&] { type(typed); });
      if (!b.updating()) pull(edit, true);
      return true;
    }
    return false;
  }
};

struct TextBinding : Binding {
  TextBinding(FormWindow& w, ui::TextBox& c, QWidget* parent)
      : Binding(w, c),
        box(c),
        field{c, [&c](const std::string& s) { c.type(s); }, [&c](const std::string& s) { c.paste(s); },
              [&c](int k) { c.key(k); }} {
    edit = new QLineEdit(parent);
    // Whatever the widget edits by itself (a drop, an input method, a word deleted)
    // reaches the model as a paste of the new text.
    QObject::connect(edit, &QLineEdit::textEdited, edit, [this](const QString& t) {
      if (updating()) return;
      act([&] { field.paste(ToStd(t)); });
    });
    widget = edit;
    watch(edit);
  }
  void refresh() override {
    const bool locked = box.Locked();
    if (edit->isReadOnly() != locked || !styled) {
      styled = true;
      edit->setReadOnly(locked);
      // A box the user cannot change looks it, and Tab passes it by; a click still
      // reaches it, to select and copy.
      edit->setFocusPolicy(locked ? Qt::ClickFocus : Qt::StrongFocus);
      QPalette colours;
      if (locked) {
        colours = edit->palette();
        for (auto group : {QPalette::Active, QPalette::Inactive})
          colours.setColor(group, QPalette::Base, colours.color(group, QPalette::Window));
      }
      edit->setPalette(colours);
    }
    field.pull(edit, false);
  }
  bool filter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    return field.key_press(*this, edit, static_cast<QKeyEvent*>(e));
  }
  ui::TextBox& box;
  EditField field;
  QLineEdit* edit = nullptr;
  bool styled = false;
};

struct ComboBinding : Binding {
  ComboBinding(FormWindow& w, ui::ComboBox& c, QWidget* parent)
      : Binding(w, c),
        combo_control(c),
        field{c, [&c](const std::string& s) { c.type(s); }, [&c](const std::string& s) { c.paste(s); },
              [&c](int k) { c.key(k); }} {
    combo = new QComboBox(parent);
    combo->setMaxVisibleItems(16);
    if (c.GetStyle() != ui::ComboBox::DropdownList) {
      combo->setEditable(true);
      combo->setInsertPolicy(QComboBox::NoInsert);
      combo->setCompleter(nullptr);  // completion would write the field behind the model's back
      QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, combo, [this](const QString& t) {
        if (updating()) return;
        act([&] { field.paste(ToStd(t)); });
      });
      watch(combo->lineEdit());
    }
    QObject::connect(combo, &QComboBox::activated, combo, [this](int i) {
      if (updating()) return;
      act([&] { combo_control.pick(long(i)); });
    });
    widget = combo;
    watch(combo);
  }
  void refresh() override {
    if (shown_items != combo_control.Items()) {
      shown_items = combo_control.Items();
      combo->clear();
      for (const std::string& item : shown_items) combo->addItem(ToQt(item));
    }
    combo->setCurrentIndex(int(combo_control.ListIndex()));
    if (combo->isEditable()) field.pull(combo->lineEdit(), false);
  }
  bool filter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::KeyPress) return false;
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->key() == Qt::Key_Up || k->key() == Qt::Key_Down) {
      if (k->modifiers() & Qt::AltModifier) return false;  // opens the list
      long i = combo_control.ListIndex() + (k->key() == Qt::Key_Down ? 1 : -1);
      if (i >= 0 && i < combo_control.ListCount()) act([&] { combo_control.pick(i); });
      return true;
    }
    if (combo->isEditable()) return field.key_press(*this, combo->lineEdit(), k);
    if (!(k->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) && printable(k->text())) {
      std::string typed = ToStd(k->text());
      act([&] { combo_control.type(typed); });
      return true;
    }
    return false;
  }
  ui::ComboBox& combo_control;
  EditField field;
  QComboBox* combo = nullptr;
  std::vector<std::string> shown_items;
};

struct ListBinding : Binding {
  ListBinding(FormWindow& w, ui::ListBox& c, QWidget* parent) : Binding(w, c), list(c) {
    view = new QListWidget(parent);
    view->setUniformItemSizes(true);
    QObject::connect(view, &QListWidget::itemSelectionChanged, view, [this] { selection_changed(); });
    QObject::connect(view, &QListWidget::itemDoubleClicked, view, [this](QListWidgetItem* item) {
      if (updating()) return;
      long row = long(view->row(item));
      // The first click of the two has picked the row already; the second is the double click.
      act([&] {
        if (list.ListIndex() != row) list.pick(row);
        list.DblClick.Raise();
      });
    });
    widget = view;
    watch(view);
  }
  void refresh() override {
    switch (list.MultiSelect()) {
      case ui::ListBox::None: view->setSelectionMode(QAbstractItemView::SingleSelection); break;
      case ui::ListBox::Simple: view->setSelectionMode(QAbstractItemView::MultiSelection); break;
      case ui::ListBox::Extended: view->setSelectionMode(QAbstractItemView::ExtendedSelection); break;
    }
    if (shown_items != list.Items()) {
      shown_items = list.Items();
      view->clear();
      for (const std::string& item : shown_items) view->addItem(ToQt(item));
    }
    for (long i = 0; i < list.ListCount(); ++i) view->item(int(i))->setSelected(list.Selected(i));
    if (list.ListIndex() >= 0) {
      view->setCurrentRow(int(list.ListIndex()), QItemSelectionModel::NoUpdate);
      view->scrollToItem(view->item(int(list.ListIndex())));
    }
  }
  void selection_changed() {
    if (updating()) return;
    act([&] {
      if (list.MultiSelect() == ui::ListBox::None) {
        auto rows = view->selectedItems();
        if (!rows.isEmpty()) {
          long row = long(view->row(rows.front()));
          if (row != list.ListIndex()) list.pick(row);
        }
        return;
      }
      for (long i = 0; i < list.ListCount() && i < view->count(); ++i) {
        bool on = view->item(int(i))->isSelected();
        if (on != list.Selected(i)) list.select(i, on);
      }
    });
  }
  ui::ListBox& list;
  QListWidget* view = nullptr;
  std::vector<std::string> shown_items;
};

// The folder list: the open folder's path from the drive down, then its subfolders.
struct DirBinding : Binding {
  DirBinding(FormWindow& w, ui::DirListBox& c, QWidget* parent) : Binding(w, c), dirs(c) {
    view = new QListWidget(parent);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setIconSize(QSize(16, 16));
    QObject::connect(view, &QListWidget::itemClicked, view, [this](QListWidgetItem* item) {
      if (updating()) return;
      long i = view->row(item) - long(chain.size());
      if (i >= 0)
        act([&] { dirs.pick(i); });
      else
        reread();  // the path above the folder is not picked: back to the model's highlight
    });
    QObject::connect(view, &QListWidget::itemActivated, view, [this](QListWidgetItem* item) {
      if (updating()) return;
      int row = view->row(item);
      std::string target = row < int(chain.size()) ? chain[size_t(row)] : dirs.List(row - long(chain.size()));
      if (target != dirs.Path()) act([&] { dirs.open(target); });
    });
    widget = view;
    watch(view);
  }
  void refresh() override {
    std::vector<std::string> up;
    for (long k = -1;; --k) {
      std::string p = dirs.ListAt(k);
      if (p.empty() || k < -64) break;
      up.insert(up.begin(), p);
    }
    std::vector<std::string> rows = up;
    for (const std::string& s : dirs.Items()) rows.push_back(s);
    if (rows != shown_rows || up != chain) {
      chain = up;
      shown_rows = rows;
      view->clear();
      const QIcon open = view->style()->standardIcon(QStyle::SP_DirOpenIcon);
      const QIcon closed = view->style()->standardIcon(QStyle::SP_DirIcon);
      for (size_t i = 0; i < rows.size(); ++i) {
        const std::string& p = rows[i];
        bool in_chain = i < chain.size();
        size_t depth = in_chain ? i : chain.size();
        std::string name = in_chain && i == 0 ? p : p.substr(p.find_last_of('\\') + 1);
        auto* item = new QListWidgetItem(in_chain ? open : closed, QString(int(depth) * 2, QLatin1Char(' ')) + ToQt(name));
        view->addItem(item);
      }
    }
    int highlight = dirs.ListIndex() >= 0 ? int(chain.size() + size_t(dirs.ListIndex())) : int(chain.size()) - 1;
    if (highlight >= 0 && highlight < view->count()) view->setCurrentRow(highlight);
  }
  ui::DirListBox& dirs;
  QListWidget* view = nullptr;
  std::vector<std::string> chain, shown_rows;
};

struct DriveBinding : Binding {
  DriveBinding(FormWindow& w, ui::DriveListBox& c, QWidget* parent) : Binding(w, c), drives(c) {
    combo = new QComboBox(parent);
    QObject::connect(combo, &QComboBox::activated, combo, [this](int i) {
      if (updating()) return;
      act([&] { drives.pick(long(i)); });
    });
    widget = combo;
    watch(combo);
  }
  void refresh() override {
    if (shown_items != drives.Items()) {
      shown_items = drives.Items();
      combo->clear();
      const QIcon icon = combo->style()->standardIcon(QStyle::SP_DriveHDIcon);
      for (const std::string& item : shown_items) combo->addItem(icon, ToQt(item));
    }
    combo->setCurrentIndex(int(drives.FindItem(drives.Drive(), true)));
  }
  ui::DriveListBox& drives;
  QComboBox* combo = nullptr;
  std::vector<std::string> shown_items;
};

struct FrameBinding : Binding {
  FrameBinding(FormWindow& w, ui::Frame& c, QWidget* parent) : Binding(w, c), frame(c) {
    widget = new FrameBox(parent);
  }
  void refresh() override { static_cast<QGroupBox*>(widget)->setTitle(ToQt(frame.Caption())); }
  ui::Frame& frame;
};

struct PictureBinding : Binding {
  PictureBinding(FormWindow& w, ui::PictureBox& c, QWidget* parent) : Binding(w, c), box(c) {
    auto* l = new QLabel(parent);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    widget = l;
    watch(l);
  }
  void refresh() override {
    const ui::Picture& p = box.GetPicture();
    if (p.Handle == shown && p.Handle != 0) return;
    shown = p.Handle;
    QPixmap pixmap;
    if (!p.Data.empty()) {
      pixmap.loadFromData(reinterpret_cast<const uchar*>(p.Data.data()), uint(p.Data.size()));
    } else if (!p.Path.empty()) {
      if (!pixmap.load(ToQt(p.Path))) pixmap.load(QString::fromStdString(host::win::NativePath(p.Path).string()));
    }
    if (!pixmap.isNull() && p.Width > 0 && p.Height > 0 && (pixmap.width() != px(p.Width) || pixmap.height() != px(p.Height)))
      pixmap = pixmap.scaled(px(p.Width), px(p.Height), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    static_cast<QLabel*>(widget)->setPixmap(pixmap);
  }
  bool filter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(e)->button() == Qt::LeftButton)
      act([&] { box.Click.Raise(); });  // a picture box has no user method of its own: its click is the event
    return false;
  }
  ui::PictureBox& box;
  long shown = -1;
};

struct ScrollBinding : Binding {
  ScrollBinding(FormWindow& w, ui::VScrollBar& c, QWidget* parent) : Binding(w, c), bar(c) {
    auto* s = new QScrollBar(Qt::Vertical, parent);
    // The slider has moved already when an action is told; the model decides where it stays.
    QObject::connect(s, &QScrollBar::actionTriggered, s, [this, s](int action) {
      if (updating()) return;
      bool rising = bar.Max() >= bar.Min();
      switch (action) {
        case QAbstractSlider::SliderSingleStepAdd: act([&] { bar.arrow(rising); }); break;
        case QAbstractSlider::SliderSingleStepSub: act([&] { bar.arrow(!rising); }); break;
        case QAbstractSlider::SliderPageStepAdd: act([&] { bar.page(rising); }); break;
        case QAbstractSlider::SliderPageStepSub: act([&] { bar.page(!rising); }); break;
        case QAbstractSlider::SliderNoAction: break;
        default: {
          int v = s->sliderPosition();
          act([&] { bar.drag(v); });
        }
      }
    });
    widget = s;
    watch(s);
  }
  bool filter(QObject*, QEvent* e) override {
    if (e->type() != QEvent::Wheel) return false;
    // The wheel moves the bar by its arrows wherever the pointer is: the window decides.
    QCoreApplication::sendEvent(&win, e);
    return true;
  }
  void refresh() override {
    auto* s = static_cast<QScrollBar*>(widget);
    s->setInvertedAppearance(bar.Max() < bar.Min());
    s->setInvertedControls(bar.Max() < bar.Min());
    s->setRange(std::min(bar.Min(), bar.Max()), std::max(bar.Min(), bar.Max()));
    s->setSingleStep(std::max(1, bar.SmallChange()));
    s->setPageStep(std::max(1, bar.LargeChange()));
    s->setValue(bar.Value());
    s->setSliderPosition(bar.Value());
  }
  ui::VScrollBar& bar;
};

struct TabBinding : Binding {
  TabBinding(FormWindow& w, ui::TabControl& c, QWidget* parent) : Binding(w, c), tab(c) {
    tabs = new TabWidget(parent);
    tabs->setUsesScrollButtons(false);
    tabs->tabBar()->setExpanding(true);
    tabs->setElideMode(Qt::ElideRight);
    tabs->on_layout = [this] {
      if (!updating()) relayout_children();
    };
    QObject::connect(tabs, &QTabWidget::currentChanged, tabs, [this](int i) {
      if (updating() || i < 0) return;
      act([&] { tab.select(i); });
    });
    widget = tabs;
    sync_pages();
  }
  void sync_pages() {
    while (tabs->count() < tab.Tabs()) tabs->addTab(new QWidget, QString());
  }
  void refresh() override {
    sync_pages();
    for (int i = 0; i < tabs->count(); ++i) {
      tabs->setTabText(i, i < tab.Tabs() ? ToQt(tab.TabCaption(i)) : QString());
      tabs->setTabVisible(i, i < tab.Tabs());
    }
    tabs->setCurrentIndex(tab.Tab());
  }
  QWidget* page_for(const ui::Control& child) override {
    sync_pages();
    int page = std::clamp(child.TabPage(), 0, tabs->count() - 1);
    return tabs->widget(page);
  }
  ui::TabControl& tab;
  TabWidget* tabs = nullptr;
};

}  // namespace

// ---------------------------------------------------------------- the window

FormWindow::FormWindow(ui::Form& form) : QWidget(nullptr), form_(&form) {
  static int created = 0;
  setObjectName(ToQt(form.Name()));
  setProperty("zelvaneOrder", ++created);
  setAttribute(Qt::WA_DeleteOnClose, false);
  // The forms were laid out for the classic 8-point dialog font.
  QFont f(QStringLiteral("Liberation Sans"));
  f.setPointSizeF(8.25);
  setFont(f);
  {
    Updating quiet(updating_);
    for (ui::Control* c : form.Controls()) make_binding(*c);
  }
  refresh_form();
  refresh_all();
  form.SetObserver(this);
}

FormWindow::~FormWindow() {
  hand_over_dialogs();
  detach();
}

void FormWindow::detach() {
  if (form_ && form_->Observer() == this) form_->SetObserver(nullptr);
  form_ = nullptr;
}

QWidget* FormWindow::WidgetOf(const ui::Control& control) const {
  Binding* b = binding_of(&control);
  return b ? b->widget : nullptr;
}

FormWindow::Binding* FormWindow::binding_of(const ui::Control* control) const {
  auto it = bindings_.find(control);
  return it == bindings_.end() ? nullptr : it->second.get();
}

QWidget* FormWindow::parent_for(const ui::Control& control) {
  ui::Control* container = control.Container();
  if (!container) return this;
  Binding* b = make_binding(*container);
  return b ? b->page_for(control) : this;
}

FormWindow::Binding* FormWindow::make_binding(ui::Control& c) {
  if (Binding* existing = binding_of(&c)) return existing;
  QWidget* parent = parent_for(c);
  std::unique_ptr<Binding> b;
  // The most derived kinds first.
  if (auto* x = dynamic_cast<ui::Label*>(&c)) b = std::make_unique<LabelBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::CommandButton*>(&c)) b = std::make_unique<ButtonBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::TextBox*>(&c)) b = std::make_unique<TextBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::CheckBox*>(&c)) b = std::make_unique<CheckBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::OptionButton*>(&c)) b = std::make_unique<OptionBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::ComboBox*>(&c)) b = std::make_unique<ComboBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::ListBox*>(&c)) b = std::make_unique<ListBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::DirListBox*>(&c)) b = std::make_unique<DirBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::DriveListBox*>(&c)) b = std::make_unique<DriveBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::Frame*>(&c)) b = std::make_unique<FrameBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::PictureBox*>(&c)) b = std::make_unique<PictureBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::VScrollBar*>(&c)) b = std::make_unique<ScrollBinding>(*this, *x, parent);
  else if (auto* x = dynamic_cast<ui::TabControl*>(&c)) b = std::make_unique<TabBinding>(*this, *x, parent);
  if (!b) return nullptr;
  b->widget->setObjectName(ToQt(c.Name()));
  if (c.CanFocus()) {
    by_widget_[b->widget] = b.get();
    b->widget->installEventFilter(this);
  }
  Binding* raw = b.get();
  bindings_[&c] = std::move(b);
  return raw;
}

const ui::Control* FormWindow::field_beside(const ui::Control& label) const {
  if (!form_ || !dynamic_cast<const ui::Label*>(&label)) return nullptr;
  const ui::Control* nearest = nullptr;
  long nearest_gap = 0;
  for (const ui::Control* c : form_->Controls()) {
    if (c->Container() != label.Container() || c->TabPage() != label.TabPage()) continue;
    if (!dynamic_cast<const ui::TextBox*>(c) && !dynamic_cast<const ui::ComboBox*>(c)) continue;
    // Level: the label's middle within the box's height (a caption above a box only
    // touches it).
    const long middle = label.Top() + label.Height() / 2;
    const bool level = c->Top() <= middle && middle < c->Top() + c->Height();
    const long gap = std::max(c->Left() - (label.Left() + label.Width()), label.Left() - (c->Left() + c->Width()));
    if (!level || gap < 0) continue;
    if (!nearest || gap < nearest_gap) nearest = c, nearest_gap = gap;
  }
  return nearest;
}

void FormWindow::place(Binding& b) {
  QWidget* parent = parent_for(b.control);
  if (b.widget->parentWidget() != parent) b.widget->setParent(parent);
  QPoint origin;
  if (auto* tab = dynamic_cast<ui::TabControl*>(b.control.Container()))
    if (auto* tb = dynamic_cast<TabBinding*>(binding_of(tab))) origin = tb->tabs->PageOrigin();
  QRect r(px(b.control.Left()) - origin.x(), px(b.control.Top()) - origin.y(), std::max(0, px(b.control.Width())),
          std::max(0, px(b.control.Height())));
  if (auto* label = qobject_cast<QLabel*>(b.widget)) {
    // A one-line caption beside a box reads on the box's line: our boxes centre their
    // text in a taller field than the classic ones did.
    const auto* caption = dynamic_cast<const ui::Label*>(&b.control);
    const ui::Control* field = field_beside(b.control);
    const bool one_line = r.height() < 2 * QFontMetrics(font()).height() &&
                          caption->Caption().find_first_of("\r\n") == std::string::npos;
    if (field && one_line) {
      r.setTop(px(field->Top()) - origin.y());
      r.setHeight(std::max(0, px(field->Height())));
    }
    label->setAlignment(Qt::AlignLeft | (field && one_line ? Qt::AlignVCenter : Qt::AlignTop));
  }
  b.widget->setGeometry(r);
}

void FormWindow::refresh(Binding& b) {
  Updating quiet(updating_);
  place(b);
  b.refresh();
  b.widget->setToolTip(ToQt(b.control.ToolTipText()));
  b.widget->setEnabled(b.control.Enabled());
  b.widget->setVisible(b.control.Visible());
}

void FormWindow::refresh_all() {
  if (!form_) return;
  for (ui::Control* c : form_->Controls())
    if (Binding* b = binding_of(c)) refresh(*b);
}

void FormWindow::relayout_tab(const ui::Control& tab) {
  if (!form_) return;
  Updating quiet(updating_);
  for (ui::Control* c : form_->Controls())
    if (c->Container() == &tab)
      if (Binding* b = binding_of(c)) place(*b);
}

void FormWindow::refresh_form() {
  if (!form_) return;
  setWindowTitle(ToQt(form_->WindowTitle()));
  setFixedSize(std::max(1, px(form_->ScaleWidth())), std::max(1, px(form_->ScaleHeight())));
  if (shown_before_) place_window(nullptr);
}

void FormWindow::place_window(const QWidget* owner) {
  if (!form_) return;
  const QSize client = size();
  // A caption or size change must not take back where the user has moved the window.
  const QPoint asked(int(form_->Left()), int(form_->Top()));
  if (placed_ && asked == placed_at_) return;
  placed_ = true;
  placed_at_ = asked;
  if (asked != QPoint(0, 0)) return move(px(form_->Left()), px(form_->Top()));
  QScreen* screen = owner ? owner->screen() : QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->availableGeometry();
  const QPoint centre = owner ? owner->frameGeometry().center() : area.center();
  QPoint at = centre - QPoint(client.width() / 2, client.height() / 2);
  at.setX(std::clamp(at.x(), area.left(), std::max(area.left(), area.right() - client.width())));
  at.setY(std::clamp(at.y(), area.top(), std::max(area.top(), area.bottom() - client.height())));
  move(at);
}

QWidget* DialogOwnerNow(QWidget* host, const QWidget* excluded) {
  QWidget* w = g_acting ? g_acting.data() : QApplication::activeWindow();
  while (w) {
    auto* ours = dynamic_cast<FormWindow*>(w);
    bool mine = false;  // a dialog of the window cannot own it
    for (const QWidget* up = w; up && excluded && !mine; up = up->parentWidget()) mine = up == excluded;
    if (!mine && w->isVisible() && (w == host || (ours && ours->GetForm()))) return w;
    w = ours ? ours->parentWidget() : nullptr;
  }
  return host;
}

void FormWindow::hand_over_dialogs() {
  QWidget* heir = parentWidget() ? parentWidget() : host_.data();
  for (QObject* child : children()) {
    auto* dialog = dynamic_cast<FormWindow*>(child);
    if (!dialog || !dialog->form_) continue;
    const bool shown = dialog->isVisible();
    dialog->setParent(heir, dialog->windowFlags());
    if (dialog->opener_ == this) dialog->opener_ = heir;
    if (shown) dialog->show();
  }
}

QString WindowPlacesFile() {
  return QString::fromStdString((host::app::HostDataFolder() / "windows.ini").string());
}

void FormWindow::remember_place() {
  if (!form_ || !form_->InFrame() || !isVisible()) return;
  QSettings places(WindowPlacesFile(), QSettings::IniFormat);
  places.setValue(ToQt(form_->Name()) + QStringLiteral("/position"), pos());
}

void FormWindow::restore_place() {
  if (!form_ || !form_->InFrame()) return;
  QSettings places(WindowPlacesFile(), QSettings::IniFormat);
  const QVariant v = places.value(ToQt(form_->Name()) + QStringLiteral("/position"));
  if (!v.canConvert<QPoint>()) return;
  const QPoint at = v.toPoint();
  // A place on a screen that is gone is not restored: the window would be out of reach.
  const QRect title_bar(at, QSize(std::max(40, width() / 4), 20));
  for (QScreen* screen : QGuiApplication::screens())
    if (screen->availableGeometry().intersects(title_bar)) return move(at);
}

ui::VScrollBar* FormWindow::scroll_bar() const {
  if (!form_) return nullptr;
  ui::VScrollBar* found = nullptr;
  for (ui::Control* c : form_->Controls())
    if (auto* bar = dynamic_cast<ui::VScrollBar*>(c); bar && bar->Available()) {
      if (found) return nullptr;  // which one the wheel means is not clear
      found = bar;
    }
  return found;
}

// ---------------------------------------------------------------- the model's news

void FormWindow::FormChanged(ui::Form&) { refresh_form(); }

void FormWindow::ControlChanged(ui::Control& control) {
  Binding* b = binding_of(&control);
  if (!b) {
    Updating quiet(updating_);
    b = make_binding(control);
  }
  if (!b) return;
  refresh(*b);
  if (dynamic_cast<ui::TabControl*>(&control)) relayout_tab(control);
}

void FormWindow::FormShown(ui::Form&) {
  QWidget* owner = DialogOwnerNow(host_, this);
  const bool modal = form_ && form_->IsModal();
  // A modeless window is a modeless dialog of the host's, as a palette is: the window
  // manager keeps it in front of the host's window wherever the user clicks, minimises it
  // with it, and gives it the focus back (which it does not for a tool window). A modal
  // one is a dialog of the window that opened it. Their size is fixed: nothing to
  // maximise.
  QWidget* parent = modal ? owner : host_.data();
  Qt::WindowFlags kind = modal || parent ? Qt::Dialog : Qt::Window;
  kind |= Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
  if (!parent && !modal) kind |= Qt::WindowMinimizeButtonHint;
  if (parentWidget() != parent || windowFlags() != kind) setParent(parent, kind);
  opener_ = modal ? owner : nullptr;
  setWindowModality(modal ? Qt::ApplicationModal : Qt::NonModal);
  // Some properties (Locked, MultiSelect, TabPage) tell nobody of a change.
  refresh_form();
  place_window(owner);
  if (!shown_before_) restore_place();
  shown_before_ = true;
  refresh_all();
  show();
  raise();
  activateWindow();
}

void FormWindow::FormRaised(ui::Form&) {
  if (!isVisible()) return;
  if (isMinimized()) showNormal();
  raise();
  activateWindow();
}

void FormWindow::FormHidden(ui::Form&) {
  remember_place();
  if (!closing_) hide();
  notify_closed();
}

void FormWindow::FormUnloaded(ui::Form&) {
  remember_place();
  if (!closing_) hide();
  hand_over_dialogs();
  detach();
  notify_closed();
  deleteLater();
}

void FormWindow::FormDestroyed(ui::Form&) {
  hide();
  hand_over_dialogs();
  detach();
  notify_closed();
  deleteLater();
}

void FormWindow::notify_closed() {
  if (closed_) {
    auto listener = closed_;
    listener();
  }
}

// ---------------------------------------------------------------- the user's input

void FormWindow::act(ui::Control* control, const std::function<void()>& action) {
  if (updating_ || !form_) return;
  QPointer<FormWindow> self(this);
  struct Acting {
    explicit Acting(FormWindow* w) : outer(g_acting) { g_acting = w; }
    ~Acting() { g_acting = outer; }
    Acting(const Acting&) = delete;
    Acting& operator=(const Acting&) = delete;
    QPointer<FormWindow> outer;
  } acting(this);
  try {
    ui::RunHandler(action);
  } catch (const ui::ScriptError& e) {
    // The control went out of reach (hidden, disabled) before the input arrived.
    std::fprintf(stderr, "zelvane-gui: %s\n", e.what());
  } catch (const std::exception& e) {
    // On the heap and watched: a handler that unloaded the form leaves this window to go
    // while the box is open, and the box with it.
    QPointer<QMessageBox> box = new QMessageBox(QMessageBox::Critical, QStringLiteral("ZelvaneMap"),
                                                QString::fromUtf8(e.what()), QMessageBox::Ok, self);
    box->exec();
    delete box.data();
  }
  if (!self || !form_ || !control) return;
  if (Binding* b = binding_of(control)) refresh(*b);
}

void FormWindow::closeEvent(QCloseEvent* event) {
  if (!form_ || !form_->Visible()) return event->accept();
  closing_ = true;
  QPointer<FormWindow> self(this);
  act(nullptr, [this] { form_->Unload(ui::vbFormControlMenu); });
  if (!self) return;
  closing_ = false;
  if (form_ && form_->IsLoaded() && form_->Visible())
    event->ignore();  // the form refused to close
  else
    event->accept();
}

void FormWindow::hideEvent(QHideEvent* event) {
  QWidget::hideEvent(event);
  if (event->spontaneous() || !opener_) return;
  // Once the dialog is gone the window manager gives the focus to a window of its
  // choice: the window that opened the dialog is put in front after it, unless another
  // dialog has opened meanwhile.
  QPointer<QWidget> opener = opener_;
  opener_ = nullptr;
  QTimer::singleShot(0, opener, [opener] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!opener || !opener->isVisible() || opener->isMinimized() || (modal && modal != opener)) return;
    opener->raise();
    opener->activateWindow();
  });
}

void FormWindow::keyPressEvent(QKeyEvent* event) {
  if (form_ && (event->key() == Qt::Key_PageDown || event->key() == Qt::Key_PageUp)) {
    if (ui::VScrollBar* bar = scroll_bar()) {
      const bool down = event->key() == Qt::Key_PageDown;
      act(bar, [bar, down] { bar->page(down); });
      return;
    }
  }
  if (form_ && event->modifiers() == Qt::NoModifier) {
    ui::CommandButton* button = nullptr;
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter)
      button = form_->DefaultButton();
    else if (event->key() == Qt::Key_Escape)
      button = form_->CancelButton();
    if (button && button->Available()) {
      act(button, [button] { button->click(); });
      return;
    }
  }
  QWidget::keyPressEvent(event);
}

void FormWindow::wheelEvent(QWheelEvent* event) {
  ui::VScrollBar* bar = form_ ? scroll_bar() : nullptr;
  const int notches = event->angleDelta().y() / QWheelEvent::DefaultDeltasPerStep;
  if (!bar || notches == 0) return event->ignore();
  // Each notch is a few clicks of the bar's arrows, as the desktop's wheel setting says.
  const int clicks = std::abs(notches) * std::max(1, QApplication::wheelScrollLines());
  const bool down = notches < 0;
  act(bar, [bar, clicks, down] {
    for (int i = 0; i < clicks; ++i) bar->arrow(down);
  });
  event->accept();
}

bool FormWindow::eventFilter(QObject* watched, QEvent* event) {
  auto it = by_widget_.find(watched);
  if (it == by_widget_.end() || updating_ || !form_) return QWidget::eventFilter(watched, event);
  Binding* b = it->second;
  ui::Control& c = b->control;
  // Labels and pictures do not scroll: the wheel over them scrolls the window.
  if (event->type() == QEvent::Wheel && qobject_cast<QLabel*>(watched)) {
    wheelEvent(static_cast<QWheelEvent*>(event));
    return event->isAccepted();
  }
  if (event->type() == QEvent::FocusIn) {
    if (form_->ActiveControl() != &c) act(nullptr, [&c] { c.focus(); });
    return false;
  }
  if (event->type() == QEvent::FocusOut) {
    auto reason = static_cast<QFocusEvent*>(event)->reason();
    // Leaving for another window or a pop-up is not leaving the control.
    if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason && form_->ActiveControl() == &c &&
        c.Available())
      act(nullptr, [&c] { c.leave(); });
    return false;
  }
  return b->filter(watched, event);
}

}  // namespace gui
