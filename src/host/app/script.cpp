// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/app/script.h"

#include <cmath>
#include <cstdint>
#include <optional>
#include <sstream>

#include "host/app/application.h"
#include "host/carto/document.h"
#include "host/render/export.h"
#include "host/render/view_drawing.h"
#include "host/ui/controls.h"
#include "host/ui/form.h"
#include "host/ui/user.h"
#include "host/vb/convert.h"
#include "host/vb/error.h"
#include "host/vb/text.h"

namespace host::app {

namespace {

using ui::ScriptError;
using Line = Script::Line;

[[noreturn]] void bad(const Line& l, const std::string& what) { throw ScriptError(l.where() + ": " + what); }

void need_words(const Line& l, size_t n, const char* usage) {
  if (l.words.size() != n) bad(l, std::string("expected: ") + usage);
}

ui::Form& form_named(const Line& l, const std::string& name) {
  ui::Form* f = ui::FindLoadedForm(name);
  if (!f) bad(l, "no window " + name + " is loaded");
  return *f;
}

ui::Control& control_named(const Line& l, const std::string& ref) {
  size_t dot = ref.find('.');
  if (dot == std::string::npos || dot == 0 || dot + 1 == ref.size()) bad(l, "expected FORM.CONTROL, not " + ref);
  ui::Form& f = form_named(l, ref.substr(0, dot));
  ui::Control* c = f.FindControl(ref.substr(dot + 1));
  if (!c) bad(l, f.Name() + " has no control " + ref.substr(dot + 1));
  return *c;
}

template <typename T>
T& control_as(const Line& l, const std::string& ref, const char* verb) {
  ui::Control& c = control_named(l, ref);
  auto* t = dynamic_cast<T*>(&c);
  if (!t) bad(l, "cannot " + std::string(verb) + " " + ref + ": it is a " + c.TypeName());
  return *t;
}

// A number of the line, or nothing when the word is none or too large for a Double.
std::optional<double> number_of(const std::string& w) {
  try {
    return vb::ParseNumber(w);
  } catch (const vb::Error&) {
    return std::nullopt;
  }
}

// A whole number from lo to hi; anything else fails with the line and the given text.
int64_t whole_in(const Line& l, const std::string& w, int64_t lo, int64_t hi, const std::string& failure) {
  std::optional<double> v = number_of(w);
  if (!v || *v != std::floor(*v) || *v < double(lo) || *v > double(hi)) bad(l, failure);
  return int64_t(*v);
}

// "#3" is an index; anything else an item's text.
long item_index(const Line& l, const ui::ListControl& list, size_t word) {
  const std::string& w = l.words[word];
  if (!l.quoted[word] && w.size() > 1 && w[0] == '#') return long(whole_in(l, w.substr(1), INT32_MIN, INT32_MAX, "not an index: " + w));
  long i = list.FindItem(w, false);
  if (i < 0) {
    // A folder list shows full paths; its items are also found by their own names.
    for (long k = 0; k < list.ListCount(); ++k) {
      const std::string item = list.List(k);
      if (vb::SameText(item.substr(item.find_last_of('\\') + 1), w)) return k;
    }
    bad(l, list.Parent().Name() + "." + list.Name() + " has no item \"" + w + "\"");
  }
  return i;
}

int key_code(const Line& l, const std::string& w) {
  static const std::map<std::string, int> names = {
      {"enter", ui::vbKeyReturn},  {"return", ui::vbKeyReturn}, {"escape", ui::vbKeyEscape}, {"esc", ui::vbKeyEscape},
      {"backspace", ui::vbKeyBack}, {"delete", ui::vbKeyDelete}, {"left", ui::vbKeyLeft},    {"right", ui::vbKeyRight},
      {"up", ui::vbKeyUp},          {"down", ui::vbKeyDown},     {"home", ui::vbKeyHome},    {"end", ui::vbKeyEnd},
      {"tab", ui::vbKeyTab},        {"space", ui::vbKeySpace}};
  auto it = names.find(vb::LCase(w));
  if (it != names.end()) return it->second;
  return int(whole_in(l, w, 0, 255, "not a key code: " + w + " (a key name or a whole number from 0 to 255)"));
}

// Tab indexes and scroll values are Integers, as the controls keep them.
int whole_number(const Line& l, const std::string& w) {
  return int(whole_in(l, w, INT16_MIN, INT16_MAX, "not a whole number from -32768 to 32767: " + w));
}

// A map of the document by its name (exact) or "#INDEX".
std::shared_ptr<carto::Map> map_named(const Line& l, const carto::Document& doc, size_t word) {
  const std::string& w = l.words[word];
  if (!l.quoted[word] && w.size() > 1 && w[0] == '#') {
    int64_t i = whole_in(l, w.substr(1), INT32_MIN, INT32_MAX, "not an index: " + w);
    if (i < 0 || i >= doc.MapCount())
      bad(l, "no map " + w + " (the document has " + std::to_string(doc.MapCount()) + ")");
    return doc.Map(int(i));
  }
  for (const auto& m : doc.Maps())
    if (m->Name() == w) return m;
  bad(l, "no map named " + w);
}

// Runs a step on the document; a host error there names the line.
template <typename F>
void on_document(const Line& l, F step) {
  try {
    step();
  } catch (const vb::Error& e) {
    bad(l, e.description());
  }
}

}  // namespace

Line Script::Tokenize(const std::string& text, int number) {
  Line line;
  line.number = number;
  size_t i = 0, n = text.size();
  while (true) {
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r')) ++i;
    if (i >= n) break;
    std::string word;
    bool quoted = text[i] == '"';
    if (quoted) {
      ++i;
      bool closed = false;
      while (i < n) {
        char c = text[i++];
        if (c == '\\' && i < n && (text[i] == '"' || text[i] == '\\')) {
          word += text[i++];
        } else if (c == '"') {
          closed = true;
          break;
        } else {
          word += c;
        }
      }
      if (!closed) throw ScriptError("line " + std::to_string(number) + ": a quoted text is not closed");
    } else {
      while (i < n && text[i] != ' ' && text[i] != '\t' && text[i] != '\r') word += text[i++];
    }
    line.words.push_back(word);
    line.quoted.push_back(quoted);
  }
  return line;
}

Script::Script(Application& app, std::ostream& out) : app_(app), out_(out) {
  AddVerb("click", [](const Line& l) {
    need_words(l, 2, "click FORM.CONTROL");
    std::string ref = l.words[1];
    return [l, ref] {
      ui::Control& c = control_named(l, ref);
      if (auto* b = dynamic_cast<ui::CommandButton*>(&c)) return b->click();
      if (auto* b = dynamic_cast<ui::CheckBox*>(&c)) return b->click();
      if (auto* b = dynamic_cast<ui::OptionButton*>(&c)) return b->click();
      if (auto* b = dynamic_cast<ui::Label*>(&c)) return b->click();
      bad(l, "cannot click " + ref + ": it is a " + c.TypeName() + " (pick an item instead)");
    };
  });
  AddVerb("type", [](const Line& l) {
    need_words(l, 3, "type FORM.CONTROL \"text\"");
    std::string ref = l.words[1], text = l.words[2];
    return [l, ref, text] {
      ui::Control& c = control_named(l, ref);
      if (auto* t = dynamic_cast<ui::TextBox*>(&c)) return t->type(text);
      if (auto* t = dynamic_cast<ui::ComboBox*>(&c)) return t->type(text);
      bad(l, "cannot type into " + ref + ": it is a " + c.TypeName());
    };
  });
  AddVerb("key", [](const Line& l) {
    need_words(l, 3, "key FORM.CONTROL CODE");
    std::string ref = l.words[1];
    int code = key_code(l, l.words[2]);
    return [l, ref, code] {
      ui::Control& c = control_named(l, ref);
      if (auto* t = dynamic_cast<ui::TextBox*>(&c)) return t->key(code);
      if (auto* t = dynamic_cast<ui::ComboBox*>(&c)) return t->key(code);
      bad(l, "cannot press a key in " + ref + ": it is a " + c.TypeName());
    };
  });
  AddVerb("settext", [](const Line& l) {
    need_words(l, 3, "settext FORM.CONTROL \"text\"");
    std::string ref = l.words[1], text = l.words[2];
    return [l, ref, text] {
      ui::Control& c = control_named(l, ref);
      if (auto* t = dynamic_cast<ui::TextBox*>(&c)) return t->paste(text);
      if (auto* t = dynamic_cast<ui::ComboBox*>(&c)) return t->paste(text);
      bad(l, "cannot set the text of " + ref + ": it is a " + c.TypeName());
    };
  });
  AddVerb("pick", [](const Line& l) {
    need_words(l, 3, "pick FORM.CONTROL \"item\"|#INDEX");
    std::string ref = l.words[1];
    return [l, ref] {
      ui::Control& c = control_named(l, ref);
      auto* list = dynamic_cast<ui::ListControl*>(&c);
      if (!list) bad(l, "cannot pick from " + ref + ": it is a " + c.TypeName());
      long i = item_index(l, *list, 2);
      if (auto* t = dynamic_cast<ui::ComboBox*>(&c)) return t->pick(i);
      if (auto* t = dynamic_cast<ui::ListBox*>(&c)) return t->pick(i);
      if (auto* t = dynamic_cast<ui::DirListBox*>(&c)) return t->pick(i);
      if (auto* t = dynamic_cast<ui::DriveListBox*>(&c)) return t->pick(i);
    };
  });
  AddVerb("select", [](const Line& l) {
    need_words(l, 4, "select FORM.CONTROL \"item\"|#INDEX on|off");
    std::string ref = l.words[1], state = vb::LCase(l.words[3]);
    if (state != "on" && state != "off") bad(l, "expected on or off, not " + l.words[3]);
    return [l, ref, state] {
      auto& list = control_as<ui::ListBox>(l, ref, "select a row of");
      list.select(item_index(l, list, 2), state == "on");
    };
  });
  AddVerb("dblclick", [](const Line& l) {
    need_words(l, 3, "dblclick FORM.CONTROL \"item\"|#INDEX");
    std::string ref = l.words[1];
    return [l, ref] {
      ui::Control& c = control_named(l, ref);
      if (auto* d = dynamic_cast<ui::DirListBox*>(&c)) return d->open(l.words[2]);
      auto& list = control_as<ui::ListBox>(l, ref, "double-click");
      list.dblclick(item_index(l, list, 2));
    };
  });
  AddVerb("open", [](const Line& l) {
    need_words(l, 3, "open FORM.CONTROL \"folder\"");
    std::string ref = l.words[1], folder = l.words[2];
    return [l, ref, folder] { control_as<ui::DirListBox>(l, ref, "open a folder of").open(folder); };
  });
  AddVerb("leave", [](const Line& l) {
    need_words(l, 2, "leave FORM.CONTROL");
    std::string ref = l.words[1];
    return [l, ref] { control_named(l, ref).leave(); };
  });
  AddVerb("tab", [](const Line& l) {
    need_words(l, 3, "tab FORM.CONTROL N");
    std::string ref = l.words[1];
    int tab = whole_number(l, l.words[2]);
    return [l, ref, tab] { control_as<ui::TabControl>(l, ref, "choose a tab of").select(tab); };
  });
  AddVerb("scroll", [](const Line& l) {
    need_words(l, 3, "scroll FORM.CONTROL VALUE");
    std::string ref = l.words[1];
    int value = whole_number(l, l.words[2]);
    return [l, ref, value] { control_as<ui::VScrollBar>(l, ref, "scroll").drag(value); };
  });
  AddVerb("close", [](const Line& l) {
    need_words(l, 2, "close FORM");
    std::string name = l.words[1];
    return [l, name] { form_named(l, name).Unload(ui::vbFormControlMenu); };
  });
  AddVerb("print", [this](const Line& l) {
    need_words(l, 2, "print FORM.CONTROL");
    std::string ref = l.words[1];
    return [this, l, ref] { out_ << ref << " = " << control_named(l, ref).PrintValue() << "\n" << std::flush; };
  });
  AddVerb("command", [this](const Line& l) {
    need_words(l, 2, "command NAME");
    std::string name = l.words[1];
    return [this, l, name] {
      ICommand* c = app_.FindCommand(name);
      if (!c) bad(l, "no command " + name + " is registered");
      app_.Click(*c);
    };
  });

  // The map document.
  AddVerb("view", [this](const Line& l) {
    need_words(l, 2, "view layout|data");
    const std::string which = vb::LCase(l.words[1]);
    if (which != "layout" && which != "data") bad(l, "expected layout or data, not " + l.words[1]);
    return [this, l, which] {
      carto::Document& doc = app_.GetDocument();
      if (which == "layout")
        doc.SetActiveView(doc.PageLayout());
      else
        doc.SetActiveView(*doc.FocusMap());
      doc.ActiveView().Refresh();
    };
  });
  AddVerb("focus-map", [this](const Line& l) {
    need_words(l, 2, "focus-map NAME|#INDEX");
    return [this, l] {
      carto::Document& doc = app_.GetDocument();
      std::shared_ptr<carto::Map> map = map_named(l, doc, 1);
      if (doc.InLayoutView())
        doc.PageLayout().SetFocusMap(map);
      else
        doc.SetActiveView(*map);
      doc.ActiveView().Refresh();
    };
  });
  AddVerb("select-features", [this](const Line& l) {
    need_words(l, 3, "select-features LAYER \"where clause\"");
    std::string name = l.words[1], where = l.words[2];
    return [this, l, name, where] {
      carto::Document& doc = app_.GetDocument();
      std::shared_ptr<carto::FeatureLayer> layer = carto::FindFeatureLayer(*doc.FocusMap(), name);
      if (!layer) bad(l, "no layer " + name + " in the focus map " + doc.FocusMap()->Name());
      on_document(l, [&] {
        geodata::QueryFilter filter(where);
        layer->SelectFeatures(&filter, carto::SelectionResult::New);
      });
      doc.ActiveView().PartialRefresh(carto::ViewDrawPhase::GeoSelection);
    };
  });
  AddVerb("clear-selection", [this](const Line& l) {
    need_words(l, 1, "clear-selection");
    return [this] {
      carto::Document& doc = app_.GetDocument();
      for (const auto& map : doc.Maps()) map->ClearSelection();
      doc.ActiveView().PartialRefresh(carto::ViewDrawPhase::GeoSelection);
    };
  });
  AddVerb("print-extent", [this](const Line& l) {
    need_words(l, 2, "print-extent MAP");
    return [this, l] {
      geodata::Envelope e = map_named(l, app_.GetDocument(), 1)->Extent();
      out_ << l.words[1] << " extent = ";
      if (e.IsEmpty())
        out_ << "empty";
      else
        out_ << vb::CStr(e.XMin()) << " " << vb::CStr(e.YMin()) << " " << vb::CStr(e.XMax()) << " " << vb::CStr(e.YMax());
      out_ << "\n" << std::flush;
    };
  });
  AddVerb("print-scale", [this](const Line& l) {
    need_words(l, 2, "print-scale MAP");
    return [this, l] {
      double scale = map_named(l, app_.GetDocument(), 1)->MapScale();
      out_ << l.words[1] << " scale = " << vb::CStr(scale) << "\n" << std::flush;
    };
  });
  AddExportVerb();
  AddVerb("save-document", [this](const Line& l) {
    if (l.words.size() > 2) bad(l, "expected: save-document [FILE]");
    std::string file = l.words.size() == 2 ? l.words[1] : "";
    return [this, l, file] {
      if (file.empty() && app_.GetDocument().FilePath().empty())
        bad(l, "the document has no file yet: save-document FILE");
      on_document(l, [&] { app_.SaveDocument(file); });
    };
  });
}

void Script::AddVerb(const std::string& name, Verb verb) { verbs_[name] = std::move(verb); }

void Script::AddExportVerb() {
  AddVerb("export", [this](const Line& l) {
    need_words(l, 5, "export FORMAT DPI FOLDER NAME");
    std::string format = l.words[1], folder = l.words[3], name = l.words[4];
    auto class_id = render::ExportClassOfFormat(format);
    if (!class_id) bad(l, "not an export format: " + format + " (JPG, PNG, GIF, AI, EMF, BMP, TIF, PDF, SVG)");
    std::optional<double> dpi_read = number_of(l.words[2]);
    if (!dpi_read) bad(l, "not a resolution: " + l.words[2]);
    double dpi = *dpi_read;
    return [this, l, id = std::string(*class_id), dpi, folder, name] {
      on_document(l, [&] {
        auto exporter = render::CreateExport(id);
        std::string filter = exporter->Filter();
        std::string extension = filter.substr(filter.find_last_of('.') + 1);
        // The same separator rule as the command's writer; a native folder takes "/".
        char sep = !folder.empty() && folder[0] == '/' ? '/' : '\\';
        std::string path = folder + (!folder.empty() && (folder.back() == '\\' || folder.back() == '/') ? "" : std::string(1, sep)) +
                           name + "." + extension;
        exporter->SetExportFileName(path);
        render::ExportView(app_.GetDocument().ActiveView(), *exporter, vb::CInt(dpi));
      });
    };
  });
}

void Script::Read(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    Line line = Tokenize(raw, number);
    if (line.words.empty() || (!line.quoted[0] && line.words[0][0] == '#')) continue;
    lines.push_back(std::move(line));
  }
  // Check every line before anything is played.
  std::vector<ui::ScriptedUser::Action> actions;
  for (const Line& l : lines) {
    const std::string verb = l.words[0];
    ui::ScriptedUser::Action a;
    a.where = l.where();
    if (verb == "answer") {
      need_words(l, 2, "answer Yes|No|OK|Cancel");
      auto answer = ui::ParseAnswer(l.words[1]);
      if (!answer) bad(l, "not an answer: " + l.words[1]);
      a.kind = ui::ScriptedUser::Action::Kind::Answer;
      a.answer = *answer;
    } else if (verb == "input") {
      need_words(l, 2, "input \"text\" | input cancel");
      a.kind = ui::ScriptedUser::Action::Kind::Input;
      if (l.quoted[1] || !vb::SameText(l.words[1], "cancel")) a.input = l.words[1];
    } else {
      auto it = verbs_.find(verb);
      if (it == verbs_.end()) bad(l, "unknown verb " + verb);
      a.step = it->second(l);
    }
    actions.push_back(std::move(a));
  }
  for (auto& a : actions) actions_.push_back(std::move(a));
}

void Script::AddCommandClick(const std::string& name) {
  ui::ScriptedUser::Action a;
  a.where = "--click " + name;
  a.step = [this, name] {
    ICommand* c = app_.FindCommand(name);
    if (!c) throw ScriptError("no command " + name + " is registered");
    app_.Click(*c);
  };
  clicks_.push_back(std::move(a));
}

void Script::Play() {
  ui::ScriptedUser& user = ui::ScriptedUser::Instance();
  for (auto& a : clicks_) user.Push(std::move(a));
  for (auto& a : actions_) user.Push(std::move(a));
  clicks_.clear();
  actions_.clear();
  while (!app_.HasEnded()) {
    user.Run([this] { return app_.ShutdownRequested(); });
    if (app_.ShutdownRequested()) {
      app_.ProcessShutdown();
      continue;
    }
    break;
  }
  if (app_.HasEnded()) user.Clear();  // what was left for the host to do is dropped with it
}

}  // namespace host::app
