// SPDX-License-Identifier: GPL-3.0-or-later
// The map document file and the layer file: JSON, read by hand so that every fault
// names its place; written whole through a temporary file.

#include "host/carto/document_file.h"

#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "host/carto/document.h"
#include "host/geodata/workspace.h"
#include "host/vb/error.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"

namespace host::carto {

namespace fs = std::filesystem;
using json = nlohmann::ordered_json;

namespace {

constexpr const char* kDocumentFormat = "zelvane-map-document";
constexpr int kVersion = 1;
constexpr int kMaxGroupDepth = 256;

// A fault in a file being read: where in the file, and what is wrong there.
struct Fault {
  std::string where, what;
  int number = vb::err::HostFailure;
};

[[noreturn]] void Fail(const std::string& where, const std::string& what) { throw Fault{where, what}; }

std::string Quoted(const std::string& s) { return "\"" + s + "\""; }

std::string At(const std::string& where, const std::string& key) { return where.empty() ? key : where + "." + key; }
std::string At(const std::string& where, size_t index) { return where + "[" + std::to_string(index) + "]"; }

// ---- Paths ----

bool IsWindowsPath(std::string_view s) {
  return (s.size() >= 2 && std::isalpha(static_cast<unsigned char>(s[0])) && s[1] == ':') ||
         (!s.empty() && s[0] == '\\');
}

// A path as the user or a file gives it: a Windows path through the drive map, a
// relative one against base.
fs::path ResolvePath(const std::string& s, const fs::path& base) {
  if (IsWindowsPath(s)) return win::NativePath(s);
  std::string t = s;
  for (char& c : t)
    if (c == '\\') c = '/';
  fs::path p(t);
  if (p.is_relative()) p = base.empty() ? fs::absolute(p) : base / p;
  return p.lexically_normal();
}

// Inside base: relative with forward slashes; elsewhere (or without a base): absolute.
std::string WritePath(const fs::path& p, const fs::path& base) {
  if (p.empty()) return "";
  fs::path abs = fs::absolute(p).lexically_normal();
  if (base.empty()) return abs.string();
  fs::path rel = abs.lexically_relative(base);
  if (!rel.empty() && *rel.begin() != "..") return rel.generic_string();
  return abs.string();
}

// ---- Reading values ----

const json& Object(const json& j, const std::string& where) {
  if (!j.is_object()) Fail(where, "expected an object");
  return j;
}

const json* Member(const json& obj, const char* key) {
  auto it = obj.find(key);
  return it == obj.end() || it->is_null() ? nullptr : &*it;
}

const json& Array(const json& j, const std::string& where) {
  if (!j.is_array()) Fail(where, "expected a list");
  return j;
}

double Number(const json& obj, const char* key, const std::string& where, double dflt) {
  const json* v = Member(obj, key);
  if (!v) return dflt;
  if (!v->is_number() || !std::isfinite(v->get<double>())) Fail(At(where, key), "expected a number");
  return v->get<double>();
}

bool Bool(const json& obj, const char* key, const std::string& where, bool dflt) {
  const json* v = Member(obj, key);
  if (!v) return dflt;
  if (!v->is_boolean()) Fail(At(where, key), "expected true or false");
  return v->get<bool>();
}

std::string Text(const json& obj, const char* key, const std::string& where, const std::string& dflt = {}) {
  const json* v = Member(obj, key);
  if (!v) return dflt;
  if (!v->is_string()) Fail(At(where, key), "expected a text");
  return v->get<std::string>();
}

geodata::Envelope ReadEnvelope(const json& j, const std::string& where) {
  if (!j.is_array() || j.size() != 4) Fail(where, "expected [xmin, ymin, xmax, ymax]");
  double v[4];
  for (size_t i = 0; i < 4; ++i) {
    if (!j[i].is_number() || !std::isfinite(j[i].get<double>())) Fail(where, "expected [xmin, ymin, xmax, ymax]");
    v[i] = j[i].get<double>();
  }
  if (v[0] > v[2] || v[1] > v[3]) Fail(where, "the minimum lies beyond the maximum");
  return geodata::Envelope(v[0], v[1], v[2], v[3]);
}

geodata::Point ReadPoint(const json& j, const std::string& where) {
  if (!j.is_array() || j.size() != 2 || !j[0].is_number() || !j[1].is_number()) Fail(where, "expected [x, y]");
  return {j[0].get<double>(), j[1].get<double>()};
}

RgbColor ReadColor(const json& j, const std::string& where) {
  const char* expected = "expected [red, green, blue] or [red, green, blue, transparency], each 0 to 255";
  if (!j.is_array() || (j.size() != 3 && j.size() != 4)) Fail(where, expected);
  int v[4] = {0, 0, 0, 255};
  for (size_t i = 0; i < j.size(); ++i) {
    if (!j[i].is_number_integer() || j[i].get<int64_t>() < 0 || j[i].get<int64_t>() > 255) Fail(where, expected);
    v[i] = int(j[i].get<int64_t>());
  }
  return RgbColor(v[0], v[1], v[2], v[3]);
}

RgbColor ColorMember(const json& obj, const char* key, const std::string& where, const RgbColor& dflt) {
  const json* v = Member(obj, key);
  return v ? ReadColor(*v, At(where, key)) : dflt;
}

// A name out of a fixed list (without regard to case), or its number.
template <typename E, size_t N>
E Choice(const json& obj, const char* key, const std::string& where, const char* const (&names)[N], E dflt) {
  const json* v = Member(obj, key);
  if (!v) return dflt;
  if (v->is_number_integer() && v->get<int64_t>() >= 0 && v->get<int64_t>() < int64_t(N)) return E(v->get<int64_t>());
  if (v->is_string()) {
    for (size_t i = 0; i < N; ++i)
      if (strcasecmp(names[i], v->get<std::string>().c_str()) == 0) return E(i);
  }
  std::string list;
  for (size_t i = 0; i < N; ++i) list += (i ? (i + 1 == N ? " or " : ", ") : "") + std::string(names[i]);
  Fail(At(where, key), "expected " + list);
}

const char* const kLineStyles[] = {"solid", "dash", "dot", "dashDot", "dashDotDot", "null"};
const char* const kFillStyles[] = {"solid", "null"};
const char* const kMarkerStyles[] = {"circle", "square", "cross", "x", "diamond"};
const char* const kHAligns[] = {"left", "center", "right", "full"};
const char* const kVAligns[] = {"top", "center", "baseline", "bottom"};
const char* const kExtentTypes[] = {"default", "fixedScale", "fixedBounds"};

double NonNegative(const json& obj, const char* key, const std::string& where, double dflt) {
  double v = Number(obj, key, where, dflt);
  if (v < 0) Fail(At(where, key), "cannot be negative");
  return v;
}

SimpleLineSymbol ReadLine(const json& j, const std::string& where) {
  Object(j, where);
  SimpleLineSymbol s;
  s.SetColor(ColorMember(j, "color", where, s.Color()));
  s.SetWidth(NonNegative(j, "width", where, s.Width()));
  s.SetStyle(Choice(j, "style", where, kLineStyles, s.Style()));
  return s;
}

SimpleFillSymbol ReadFill(const json& j, const std::string& where) {
  SimpleFillSymbol s;
  s.SetColor(ColorMember(j, "color", where, s.Color()));
  s.SetStyle(Choice(j, "style", where, kFillStyles, s.Style()));
  if (const json* o = Member(j, "outline")) s.SetOutline(ReadLine(*o, At(where, "outline")));
  return s;
}

SimpleMarkerSymbol ReadMarker(const json& j, const std::string& where) {
  SimpleMarkerSymbol s;
  s.SetColor(ColorMember(j, "color", where, s.Color()));
  s.SetSize(NonNegative(j, "size", where, s.Size()));
  s.SetStyle(Choice(j, "style", where, kMarkerStyles, s.Style()));
  if (const json* o = Member(j, "outline")) {
    const std::string w = At(where, "outline");
    Object(*o, w);
    s.SetOutline(true);
    s.SetOutlineColor(ColorMember(*o, "color", w, s.OutlineColor()));
    s.SetOutlineSize(NonNegative(*o, "size", w, s.OutlineSize()));
  }
  return s;
}

Symbol ReadSymbol(const json& j, const std::string& where) {
  Object(j, where);
  const std::string type = Text(j, "type", where);
  if (type == "fill") return ReadFill(j, where);
  if (type == "line") return ReadLine(j, where);
  if (type == "marker") return ReadMarker(j, where);
  Fail(At(where, "type"), type.empty() ? "a symbol needs a type: fill, line or marker"
                                       : "unknown symbol type " + Quoted(type) + " (fill, line or marker)");
}

TextSymbol ReadTextSymbol(const json& j, const std::string& where) {
  Object(j, where);
  TextSymbol s;
  Font f = s.Font();
  f.Name = Text(j, "font", where, f.Name);
  f.Size = Number(j, "size", where, f.Size);
  if (!(f.Size > 0)) Fail(At(where, "size"), "must be more than 0");
  f.Bold = Bool(j, "bold", where, f.Bold);
  f.Italic = Bool(j, "italic", where, f.Italic);
  f.Underline = Bool(j, "underline", where, f.Underline);
  s.SetFont(f);
  s.SetColor(ColorMember(j, "color", where, s.Color()));
  s.SetHorizontalAlignment(Choice(j, "align", where, kHAligns, s.HorizontalAlign()));
  s.SetVerticalAlignment(Choice(j, "verticalAlign", where, kVAligns, s.VerticalAlign()));
  s.SetAngle(Number(j, "angle", where, 0));
  return s;
}

// A label class's placement settings; what is absent keeps its default.
void ReadLabelPlacement(const json& c, const std::string& where, LabelProperties& p) {
  if (const json* h = Member(c, "halo")) {
    const std::string w = At(where, "halo");
    if (h->is_boolean()) {
      if (*h) p.SetHalo(LabelHalo{});
      else p.SetHalo(std::nullopt);
    } else {
      if (!h->is_object()) Fail(w, "expected {\"color\": C, \"width\": W}, true or false");
      LabelHalo halo;
      halo.color = ColorMember(*h, "color", w, halo.color);
      halo.width = Number(*h, "width", w, halo.width);
      if (!(halo.width > 0)) Fail(At(w, "width"), "must be more than 0");
      p.SetHalo(halo);
    }
  }
  if (const json* v = Member(c, "priority")) {
    if (!v->is_number_integer() || v->get<int64_t>() < 0 || v->get<int64_t>() > 1000000)
      Fail(At(where, "priority"), "expected a whole number 0 to 1000000");
    p.SetPriority(int(v->get<int64_t>()));
  }
  p.SetRepeatDistance(Number(c, "repeatDistance", where, p.RepeatDistance()));
  if (p.RepeatDistance() < 0) Fail(At(where, "repeatDistance"), "must not be less than 0");
  p.SetAllowOverrun(Bool(c, "allowOverrun", where, p.AllowOverrun()));
}

std::optional<SymbolBorder> ReadBorder(const json& obj, const std::string& where) {
  const json* b = Member(obj, "border");
  if (!b) return std::nullopt;
  return SymbolBorder(ReadLine(*b, At(where, "border")));
}

Units ReadUnits(const json& obj, const char* key, const std::string& where, Units dflt) {
  const json* v = Member(obj, key);
  if (!v) return dflt;
  std::optional<Units> u;
  if (v->is_number_integer()) u = UnitsFromCode(int(v->get<int64_t>()));
  if (v->is_string()) u = ParseUnits(v->get<std::string>());
  if (!u) Fail(At(where, key), "expected a unit name (feet, meters, ...) or a unit code 0 to 12");
  return *u;
}

// ---- Writing values ----

json ColorJson(const RgbColor& c) {
  json a = json::array({c.Red(), c.Green(), c.Blue()});
  if (c.Transparency() != 255) a.push_back(c.Transparency());
  return a;
}

json EnvelopeJson(const geodata::Envelope& e) { return json::array({e.XMin(), e.YMin(), e.XMax(), e.YMax()}); }

json LineJson(const SimpleLineSymbol& s) {
  json j = {{"type", "line"}, {"color", ColorJson(s.Color())}, {"width", s.Width()}};
  if (s.Style() != LineStyle::Solid) j["style"] = kLineStyles[int(s.Style())];
  return j;
}

json SymbolJson(const Symbol& symbol) {
  if (auto* f = std::get_if<SimpleFillSymbol>(&symbol)) {
    json j = {{"type", "fill"}, {"color", ColorJson(f->Color())}};
    if (f->Style() != FillStyle::Solid) j["style"] = kFillStyles[int(f->Style())];
    json outline = LineJson(f->Outline());
    outline.erase("type");
    j["outline"] = outline;
    return j;
  }
  if (auto* l = std::get_if<SimpleLineSymbol>(&symbol)) return LineJson(*l);
  const auto& m = std::get<SimpleMarkerSymbol>(symbol);
  json j = {{"type", "marker"},
            {"color", ColorJson(m.Color())},
            {"size", m.Size()},
            {"style", kMarkerStyles[int(m.Style())]}};
  if (m.Outline()) j["outline"] = {{"color", ColorJson(m.OutlineColor())}, {"size", m.OutlineSize()}};
  return j;
}

json TextSymbolJson(const TextSymbol& s) {
  json j = {{"font", s.FontName()}, {"size", s.Size()}, {"bold", s.Bold()}};
  if (s.Font().Italic) j["italic"] = true;
  if (s.Font().Underline) j["underline"] = true;
  j["color"] = ColorJson(s.Color());
  j["align"] = kHAligns[int(s.HorizontalAlign())];
  j["verticalAlign"] = kVAligns[int(s.VerticalAlign())];
  if (s.Angle() != 0) j["angle"] = s.Angle();
  return j;
}

// Only the settings that differ from the defaults, so older documents read back unchanged.
void LabelPlacementJson(const LabelProperties& p, json& c) {
  if (const auto& halo = p.HaloSetting()) {
    if (*halo) c["halo"] = {{"color", ColorJson((*halo)->color)}, {"width", (*halo)->width}};
    else c["halo"] = false;
  }
  if (p.Priority()) c["priority"] = *p.Priority();
  if (p.RepeatDistance() != 0) c["repeatDistance"] = p.RepeatDistance();
  if (!p.AllowOverrun()) c["allowOverrun"] = false;
}

json BorderJson(const std::optional<SymbolBorder>& b) {
  if (!b) return nullptr;
  json j = LineJson(b->LineSymbol());
  j.erase("type");
  return j;
}

// ---- Layers ----

class LayerReader {
 public:
  explicit LayerReader(fs::path base) : base_(std::move(base)) {}

  std::shared_ptr<Layer> Read(const json& j, const std::string& where) {
    Object(j, where);
    const json* type = Member(j, "type");
    if (!type) Fail(where, "a layer needs a type: feature or group");
    if (!type->is_string()) Fail(At(where, "type"), "expected a text");
    const std::string t = type->get<std::string>();
    if (t == "group") return ReadGroup(j, where);
    if (t == "feature") return ReadFeature(j, where);
    Fail(where, "unknown layer type " + Quoted(t) + " (feature or group)");
  }

 private:
  std::shared_ptr<Layer> ReadGroup(const json& j, const std::string& where) {
    // Groups are read, drawn and written by recursion: their depth is what the stack holds.
    if (depth_ == 0) outermost_ = where;
    if (depth_ == kMaxGroupDepth)
      Fail(outermost_, "group layers nest more than " + std::to_string(kMaxGroupDepth) + " deep");
    ++depth_;
    auto group = std::make_shared<GroupLayer>(Text(j, "name", where));
    group->SetVisible(Bool(j, "visible", where, true));
    if (const json* layers = Member(j, "layers")) {
      const std::string w = At(where, "layers");
      Array(*layers, w);
      for (size_t i = 0; i < layers->size(); ++i) group->Add(Read((*layers)[i], At(w, i)));
    }
    --depth_;
    return group;
  }

  std::shared_ptr<geodata::FeatureClass> OpenClass(const std::string& source, const std::string& where) {
    fs::path p = ResolvePath(source, base_);
    auto cached = classes_.find(p.string());
    if (cached != classes_.end()) return cached->second;
    std::string stem = p.filename().string();
    if (p.extension() == ".shp" || p.extension() == ".SHP") stem = p.stem().string();
    const fs::path folder = p.parent_path();
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) Fail(where, "data source " + Quoted(source) + " not found");
    try {
      auto ws = geodata::ShapefileWorkspace::Open(folder.string());
      if (!ws->FeatureClassExists(stem)) Fail(where, "data source " + Quoted(source) + " not found");
      auto fc = ws->OpenFeatureClass(stem);
      classes_[p.string()] = fc;
      return fc;
    } catch (const vb::Error& e) {
      Fail(where, "data source " + Quoted(source) + ": " + e.description());
    }
  }

  std::shared_ptr<Layer> ReadFeature(const json& j, const std::string& where) {
    const std::string source = Text(j, "source", where);
    if (source.empty()) Fail(where, "a feature layer needs a data source (\"source\")");
    auto layer = std::make_shared<FeatureLayer>(OpenClass(source, where));
    if (Member(j, "name")) layer->SetName(Text(j, "name", where));
    layer->SetVisible(Bool(j, "visible", where, true));

    if (const json* join = Member(j, "join")) {
      const std::string w = At(where, "join");
      Object(*join, w);
      const std::string table = Text(*join, "table", w);
      const std::string field = Text(*join, "field", w);
      const std::string joinField = Text(*join, "joinField", w, field);
      if (table.empty()) Fail(w, "a join needs a table (\"table\")");
      if (field.empty()) Fail(w, "a join needs the layer's key field (\"field\")");
      fs::path file = ResolvePath(table, base_);
      std::error_code ec;
      if (!fs::is_regular_file(file, ec)) Fail(w, "table " + Quoted(table) + " not found");
      try {
        layer->AddJoin(file, field, joinField);
      } catch (const vb::Error& e) {
        Fail(w, e.description());
      }
    }

    const std::string query = Text(j, "definitionQuery", where);
    if (!query.empty()) {
      try {
        geodata::CheckWhereClause(*layer->DisplayTable(), query);
      } catch (const vb::Error& e) {
        Fail(At(where, "definitionQuery"), e.description());
      }
      layer->SetDefinitionQuery(query);
    }

    if (const json* renderer = Member(j, "renderer")) {
      const std::string w = At(where, "renderer");
      Object(*renderer, w);
      const std::string type = Text(*renderer, "type", w, "simple");
      if (type != "simple") Fail(At(w, "type"), "unknown renderer type " + Quoted(type) + " (simple)");
      SimpleRenderer r = layer->Renderer();
      if (const json* s = Member(*renderer, "symbol")) r.SetSymbol(ReadSymbol(*s, At(w, "symbol")));
      r.SetLabel(Text(*renderer, "label", w));
      layer->SetRenderer(r);
    }

    if (const json* labels = Member(j, "labels")) {
      const std::string w = At(where, "labels");
      Object(*labels, w);
      layer->SetDisplayAnnotation(Bool(*labels, "display", w, false));
      if (const json* classes = Member(*labels, "classes")) {
        const std::string wc = At(w, "classes");
        Array(*classes, wc);
        AnnotationProperties props;
        props.Clear();
        for (size_t i = 0; i < classes->size(); ++i) {
          const std::string wi = At(wc, i);
          const json& c = Object((*classes)[i], wi);
          LabelProperties p;
          p.SetExpression(Text(c, "expression", wi));
          if (const json* s = Member(c, "symbol")) p.SetSymbol(ReadTextSymbol(*s, At(wi, "symbol")));
          ReadLabelPlacement(c, wi, p);
          props.Add(p);
        }
        if (props.Count() == 0) props.Add(LabelProperties());
        layer->AnnotationProperties() = props;
      }
    }

    if (const json* selection = Member(j, "selection")) {
      const std::string w = At(where, "selection");
      Array(*selection, w);
      std::vector<int64_t> ids;
      for (const json& id : *selection) {
        if (!id.is_number_integer() || id.get<int64_t>() < 0) Fail(w, "expected a list of object IDs");
        ids.push_back(id.get<int64_t>());
      }
      layer->SelectionSet().AddList(ids);
    }
    return layer;
  }

  fs::path base_;
  std::map<std::string, std::shared_ptr<geodata::FeatureClass>> classes_;
  int depth_ = 0;           // groups being read, one inside the other
  std::string outermost_;  // where the outermost of them lies
};

// strict: refuse what cannot be read back (a layer without a data source); otherwise
// (the changed-state snapshot) write what there is.
// depth: the groups around the layer. A file is not written that could not be read back.
json LayerJson(const Layer& layer, const fs::path& base, bool strict, const std::string& where, int depth = 0) {
  if (auto* group = dynamic_cast<const GroupLayer*>(&layer)) {
    if (strict && depth == kMaxGroupDepth)
      Fail(where, "group layers nest more than " + std::to_string(kMaxGroupDepth) + " deep");
    json j = {{"type", "group"}, {"name", group->Name()}, {"visible", group->Visible()}};
    json layers = json::array();
    for (int i = 0; i < group->Count(); ++i)
      layers.push_back(LayerJson(*group->Layer(i), base, strict, At(At(where, "layers"), size_t(i)), depth + 1));
    j["layers"] = layers;
    return j;
  }
  const auto& f = dynamic_cast<const FeatureLayer&>(layer);
  if (strict && !f.FeatureClass()) Fail(where, "the layer " + Quoted(f.Name()) + " has no data source");
  json j = {{"type", "feature"},
            {"name", f.Name()},
            {"source", f.FeatureClass() ? WritePath(f.FeatureClass()->Path(), base) : ""},
            {"visible", f.Visible()}};
  if (!f.DefinitionQuery().empty()) j["definitionQuery"] = f.DefinitionQuery();
  if (f.HasJoin()) {
    if (strict && f.JoinTableFile().empty())
      Fail(At(where, "join"), "the joined table of the layer " + Quoted(f.Name()) + " has no file");
    j["join"] = {{"table", WritePath(f.JoinTableFile(), base)},
                 {"field", f.Join()->BaseKeyField()},
                 {"joinField", f.Join()->JoinKeyField()}};
  }
  j["renderer"] = {{"type", "simple"}, {"symbol", SymbolJson(f.Renderer().Symbol())}};
  if (!f.Renderer().Label().empty()) j["renderer"]["label"] = f.Renderer().Label();
  json classes = json::array();
  for (int i = 0; i < f.AnnotationProperties().Count(); ++i) {
    const LabelProperties& p = f.AnnotationProperties().QueryItem(i);
    json c = {{"expression", p.Expression()}, {"symbol", TextSymbolJson(p.Symbol())}};
    LabelPlacementJson(p, c);
    classes.push_back(c);
  }
  j["labels"] = {{"display", f.DisplayAnnotation()}, {"classes", classes}};
  if (f.SelectionCount() > 0) j["selection"] = f.SelectionSetIfAny()->IDs();
  return j;
}

// ---- Whole files ----

std::string ReadWholeFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  if (!in) throw Fault{"", std::strerror(errno), vb::err::PermissionDenied};
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// Builds the tree as the library's own parser does (without recursion, however deep the
// text nests), keeping every fault with its place: a number too large for a double is
// a fault of the text like any other.
class TreeBuilder : public nlohmann::json_sax<json> {
 public:
  explicit TreeBuilder(json& root) : tree_(root, false) {}
  bool null() override { return tree_.null(); }
  bool boolean(bool v) override { return tree_.boolean(v); }
  bool number_integer(number_integer_t v) override { return tree_.number_integer(v); }
  bool number_unsigned(number_unsigned_t v) override { return tree_.number_unsigned(v); }
  bool number_float(number_float_t v, const string_t& s) override { return tree_.number_float(v, s); }
  bool string(string_t& v) override { return tree_.string(v); }
  bool binary(binary_t& v) override { return tree_.binary(v); }
  bool start_object(std::size_t n) override { return tree_.start_object(n); }
  bool key(string_t& k) override { return tree_.key(k); }
  bool end_object() override { return tree_.end_object(); }
  bool start_array(std::size_t n) override { return tree_.start_array(n); }
  bool end_array() override { return tree_.end_array(); }
  bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override {
    position_ = position;
    what_ = e.what();
    is_parse_error_ = dynamic_cast<const json::parse_error*>(&e) != nullptr;
    return false;
  }

  // The fault's text, its place first ("parse error at line 2, column 16: ...").
  std::string Fault(const std::string& text) const {
    std::string what = what_;
    size_t at = what.find("] ");
    if (at != std::string::npos) what = what.substr(at + 2);
    if (is_parse_error_) return what;  // the library names the place already
    const size_t end = std::min(position_, text.size());
    const size_t line_start = end == 0 ? 0 : text.rfind('\n', end - 1);
    const size_t line = size_t(std::count(text.begin(), text.begin() + std::ptrdiff_t(end), '\n')) + 1;
    const size_t column = line_start == std::string::npos || end == 0 ? end : end - line_start - 1;
    return "parse error at line " + std::to_string(line) + ", column " + std::to_string(column) + ": " + what;
  }

 private:
  nlohmann::detail::json_sax_dom_parser<json> tree_;
  size_t position_ = 0;
  std::string what_ = "the text is not JSON";
  bool is_parse_error_ = false;
};

json Parse(const std::string& text) {
  json root;
  TreeBuilder builder(root);
  if (!json::sax_parse(text, &builder)) Fail("", "broken JSON: " + builder.Fault(text));
  return root;
}

// Writes the file whole: the old file stays until the new one is.
void WriteWhole(const fs::path& target, const std::string& bytes) {
  const fs::path folder = target.parent_path().empty() ? fs::path(".") : target.parent_path();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) throw std::runtime_error("the folder " + Quoted(folder.string()) + " does not exist");
  if (fs::is_directory(target, ec)) throw std::runtime_error("it is a folder");
  try {
    win::WriteWholeFile(target, bytes);
  } catch (const vb::Error& e) {
    // The caller names the file already; keep only the reason.
    const std::string& d = e.description();
    const size_t reason = d.rfind("': ");
    throw std::runtime_error(reason == std::string::npos ? d : d.substr(reason + 3));
  }
}

// Indented JSON with short lists (coordinates, colours, IDs) kept on one line, so that
// a file stays pleasant to read and to edit by hand.
void Pretty(const json& j, int indent, std::string& out) {
  const std::string pad(size_t(indent + 2), ' ');
  if (j.is_object() && !j.empty()) {
    out += "{\n";
    bool first = true;
    for (auto it = j.begin(); it != j.end(); ++it) {
      if (!first) out += ",\n";
      first = false;
      out += pad + json(it.key()).dump() + ": ";
      Pretty(it.value(), indent + 2, out);
    }
    out += "\n" + std::string(size_t(indent), ' ') + "}";
  } else if (j.is_array() && !j.empty() && std::any_of(j.begin(), j.end(), [](const json& e) { return e.is_structured(); })) {
    out += "[\n";
    for (size_t i = 0; i < j.size(); ++i) {
      if (i) out += ",\n";
      out += pad;
      Pretty(j[i], indent + 2, out);
    }
    out += "\n" + std::string(size_t(indent), ' ') + "]";
  } else if (j.is_array()) {
    out += "[";
    for (size_t i = 0; i < j.size(); ++i) out += (i ? ", " : "") + j[i].dump();
    out += "]";
  } else {
    out += j.dump();
  }
}

std::string Pretty(const json& j) {
  std::string out;
  Pretty(j, 0, out);
  return out + "\n";
}

fs::path UserPath(const std::string& path) { return ResolvePath(path, fs::current_path()); }

}  // namespace

// ---- Documents ----

class DocumentReader {
 public:
  static std::unique_ptr<Document> Read(const json& root, const fs::path& file) {
    Object(root, "");
    const std::string format = Text(root, "format", "", kDocumentFormat);
    if (format != kDocumentFormat) Fail("format", "not a map document (" + Quoted(format) + ")");
    const double version = Number(root, "version", "", kVersion);
    if (version > kVersion)
      Fail("version", "version " + Member(root, "version")->dump() + " is newer than this host reads (" +
                          std::to_string(kVersion) + ")");

    std::unique_ptr<Document> doc(new Document(Document::Empty{}));
    doc->path_ = file;

    if (const json* page = Member(root, "page")) {
      Object(*page, "page");
      double w = Number(*page, "width", "page", 8.5), h = Number(*page, "height", "page", 11);
      if (!(w > 0) || !(h > 0)) Fail("page", "a page must be wider and higher than 0 inches");
      doc->PageLayout().Page().PutSize(w, h);
    }

    const json* maps = Member(root, "maps");
    if (!maps || !maps->is_array() || maps->empty()) Fail("maps", "a map document holds at least one map");
    LayerReader layers(file.parent_path());
    std::vector<std::pair<std::shared_ptr<Map>, geodata::Envelope>> extents;
    for (size_t i = 0; i < maps->size(); ++i) {
      const std::string where = At("maps", i);
      const json& m = Object((*maps)[i], where);
      auto map = std::make_shared<Map>(Text(m, "name", where, "Layers"));
      if (const json* list = Member(m, "layers")) {
        const std::string w = At(where, "layers");
        Array(*list, w);
        for (size_t k = 0; k < list->size(); ++k) map->InsertLayer(map->LayerCount(), layers.Read((*list)[k], At(w, k)));
      }
      map->SetMapUnits(ReadUnits(m, "mapUnits", where, Units::Unknown));
      if (Member(m, "distanceUnits")) map->SetDistanceUnits(ReadUnits(m, "distanceUnits", where, Units::Unknown));
      if (Member(m, "coordinateSystem")) {
        const std::string wkt = Text(m, "coordinateSystem", where);
        try {
          map->SetSpatialReference(wkt.empty() ? geodata::SpatialReference::Unknown()
                                               : geodata::SpatialReference::FromWkt(wkt));
        } catch (const vb::Error& e) {
          Fail(At(where, "coordinateSystem"), e.description());
        }
      }
      if (const json* e = Member(m, "extent")) extents.emplace_back(map, ReadEnvelope(*e, At(where, "extent")));
      doc->AddMap(map);
    }

    // Locator rectangles name maps that may only get their frames later in the list.
    std::vector<std::pair<std::shared_ptr<MapFrame>, std::pair<const json*, std::string>>> locators;
    if (const json* elements = Member(root, "elements")) {
      Array(*elements, "elements");
      for (size_t i = 0; i < elements->size(); ++i) {
        const std::string where = At("elements", i);
        const json& e = Object((*elements)[i], where);
        const std::string type = Text(e, "type", where);
        std::shared_ptr<Element> element;
        if (type == "text") {
          auto text = std::make_shared<TextElement>(Text(e, "text", where));
          if (const json* s = Member(e, "symbol")) text->SetSymbol(ReadTextSymbol(*s, At(where, "symbol")));
          if (const json* env = Member(e, "envelope"))
            text->SetGeometry(ReadEnvelope(*env, At(where, "envelope")));
          else if (const json* pt = Member(e, "point"))
            text->SetGeometry(ReadPoint(*pt, At(where, "point")));
          element = text;
        } else if (type == "mapFrame") {
          auto frame = std::make_shared<MapFrame>();
          if (const json* ref = Member(e, "map")) frame->SetMap(MapOf(*doc, *ref, At(where, "map")));
          const json* env = Member(e, "envelope");
          if (!env) Fail(where, "a map frame needs an envelope (\"envelope\")");
          frame->SetGeometry(ReadEnvelope(*env, At(where, "envelope")));
          frame->SetBorder(ReadBorder(e, where));
          frame->SetExtentType(Choice(e, "extentType", where, kExtentTypes, ExtentType::Default));
          frame->SetAutoTransform(Bool(e, "autoTransform", where, false));
          if (const json* locs = Member(e, "locators")) {
            Array(*locs, At(where, "locators"));
            locators.push_back({frame, {locs, At(where, "locators")}});
          }
          element = frame;
        } else {
          Fail(type.empty() ? where : At(where, "type"),
               type.empty() ? "an element needs a type: text or mapFrame"
                            : "unknown element type " + Quoted(type) + " (text or mapFrame)");
        }
        element->SetName(Text(e, "name", where));
        const double z = Number(e, "zOrder", where, 0);
        if (z != std::floor(z) || z < INT32_MIN || z > INT32_MAX) Fail(At(where, "zOrder"), "expected a whole number");
        doc->PageLayout().AddElement(element, int(z));
      }
    }

    std::map<const Map*, std::shared_ptr<MapFrame>> holders;
    for (auto& [frame, list] : locators) {
      const auto& [locs, where] = list;
      for (size_t k = 0; k < locs->size(); ++k) {
        const std::string w = At(where, k);
        const json& l = Object((*locs)[k], w);
        const json* ref = Member(l, "map");
        if (!ref) Fail(w, "a locator rectangle needs the map it outlines (\"map\")");
        std::shared_ptr<Map> map = MapOf(*doc, *ref, At(w, "map"));
        std::shared_ptr<MapFrame> target = doc->PageLayout().FindFrame(*map);
        if (!target) {
          auto& holder = holders[map.get()];
          if (!holder) holder = std::make_shared<MapFrame>(map);
          target = holder;
        }
        LocatorRectangle rect(target);
        rect.SetBorder(ReadBorder(l, w));
        frame->AddLocatorRectangle(rect);
      }
    }

    std::shared_ptr<Map> focus = doc->maps_.front();
    if (const json* ref = Member(root, "focusMap")) focus = MapOf(*doc, *ref, "focusMap");
    const std::string view = Text(root, "activeView", "", "data");
    if (view == "layout") {
      doc->PageLayout().SetFocusMap(focus);
      doc->SetActiveView(doc->PageLayout());
    } else if (view == "data") {
      doc->SetActiveView(*focus);
    } else {
      Fail("activeView", "expected layout or data, not " + Quoted(view));
    }

    // Extents last: each is fitted to the frame the map has in the view now shown.
    for (auto& [map, extent] : extents) {
      if (extent.Width() <= 0 && extent.Height() <= 0) Fail("maps", "the map " + Quoted(map->Name()) + " has an extent without size");
      map->SetExtent(extent);
    }
    doc->SetChanged(false);
    return doc;
  }

  static std::shared_ptr<Map> MapOf(const Document& doc, const json& ref, const std::string& where) {
    if (ref.is_number_integer()) {
      int64_t i = ref.get<int64_t>();
      if (i < 0 || i >= doc.MapCount()) Fail(where, "no map " + std::to_string(i) + " (the document has " + std::to_string(doc.MapCount()) + ")");
      return doc.Map(int(i));
    }
    if (!ref.is_string()) Fail(where, "expected a map name or index");
    for (const auto& m : doc.Maps())
      if (m->Name() == ref.get<std::string>()) return m;
    Fail(where, "no map named " + Quoted(ref.get<std::string>()));
  }
};

namespace {

// A map by name when the name is the map's alone, else by its index.
json MapRef(const Document& doc, const Map& map) {
  int same = 0;
  for (const auto& m : doc.Maps()) same += m->Name() == map.Name();
  if (same == 1) return map.Name();
  return doc.IndexOfMap(map);
}

json DocumentJson(const Document& doc, const fs::path& base, bool strict) {
  json root = {{"format", kDocumentFormat}, {"version", kVersion}};
  const Page& page = doc.PageLayout().Page();
  root["page"] = {{"width", page.Width()}, {"height", page.Height()}};
  root["activeView"] = doc.InLayoutView() ? "layout" : "data";
  root["focusMap"] = MapRef(doc, *doc.FocusMap());
  json maps = json::array();
  for (int i = 0; i < doc.MapCount(); ++i) {
    const Map& map = *doc.Map(i);
    const std::string where = At("maps", size_t(i));
    json m = {{"name", map.Name()}};
    if (map.MapUnits() != Units::Unknown) m["mapUnits"] = UnitsName(map.MapUnits());
    if (map.DistanceUnits() != map.MapUnits()) m["distanceUnits"] = UnitsName(map.DistanceUnits());
    if (!map.SpatialReference().IsSame(LayersSpatialReference(map.Layers())))
      m["coordinateSystem"] = map.SpatialReference().ToWkt();
    geodata::Envelope e = map.Extent();
    if (!e.IsEmpty()) m["extent"] = EnvelopeJson(e);
    json layers = json::array();
    for (int k = 0; k < map.LayerCount(); ++k)
      layers.push_back(LayerJson(*map.Layer(k), base, strict, At(At(where, "layers"), size_t(k))));
    m["layers"] = layers;
    maps.push_back(m);
  }
  root["maps"] = maps;
  json elements = json::array();
  for (const auto& element : doc.PageLayout().Elements()) {
    json e;
    if (auto* text = dynamic_cast<const TextElement*>(element.get())) {
      e = {{"type", "text"}, {"text", text->Text()}};
      if (auto p = text->AnchorPoint())
        e["point"] = json::array({p->X, p->Y});
      else if (text->HasEnvelope())
        e["envelope"] = EnvelopeJson(text->Bounds());
      e["symbol"] = TextSymbolJson(text->Symbol());
    } else if (auto* frame = dynamic_cast<const MapFrame*>(element.get())) {
      e = {{"type", "mapFrame"}};
      if (frame->Map()) e["map"] = MapRef(doc, *frame->Map());
      if (frame->HasEnvelope())
        e["envelope"] = EnvelopeJson(frame->Bounds());
      else if (strict)
        Fail(At("elements", elements.size()), "the map frame has no place on the page");
      e["border"] = BorderJson(frame->Border());
      e["extentType"] = kExtentTypes[int(frame->ExtentType())];
      if (frame->AutoTransform()) e["autoTransform"] = true;
      json locators = json::array();
      for (int k = 0; k < frame->LocatorRectangleCount(); ++k) {
        const LocatorRectangle& r = frame->LocatorRectangle(k);
        // A rectangle tied to no map of the document outlines nothing: it is not kept.
        if (!r.MapFrame() || !r.MapFrame()->Map() || doc.IndexOfMap(*r.MapFrame()->Map()) < 0) continue;
        locators.push_back({{"map", MapRef(doc, *r.MapFrame()->Map())}, {"border", BorderJson(r.Border())}});
      }
      if (!locators.empty()) e["locators"] = locators;
    }
    if (!element->Name().empty()) e["name"] = element->Name();
    if (int z = doc.PageLayout().ZOrder(*element)) e["zOrder"] = z;
    elements.push_back(e);
  }
  root["elements"] = elements;
  return root;
}

}  // namespace

namespace {

// Reads a file through read: whatever fails on the way, of whatever kind, becomes one
// host error that starts with prefix (the file) and names the place.
template <typename Read>
auto Reading(const std::string& prefix, Read read) -> decltype(read()) {
  try {
    return read();
  } catch (const Fault& f) {
    vb::raise(f.number, prefix + (f.where.empty() ? "" : f.where + ": ") + f.what);
  } catch (const vb::Error& e) {
    vb::raise(vb::err::HostFailure, prefix + e.description());
  } catch (const std::bad_alloc&) {
    vb::raise(vb::err::HostFailure, prefix + "not enough memory to read it");
  } catch (const std::exception& e) {
    vb::raise(vb::err::HostFailure, prefix + e.what());
  }
}

}  // namespace

std::unique_ptr<Document> Document::Open(const std::string& path) {
  return Reading("Cannot open map document " + Quoted(path) + ": ", [&] {
    fs::path file = UserPath(path);
    std::error_code ec;
    if (!fs::exists(file, ec)) throw Fault{"", "the file does not exist", vb::err::FileNotFound};
    if (fs::is_directory(file, ec)) throw Fault{"", "it is a folder", vb::err::PathFileAccessError};
    return DocumentReader::Read(Parse(ReadWholeFile(file)), file);
  });
}

void Document::Save(const std::string& path) {
  const std::string prefix = "Cannot save map document " + Quoted(path) + ": ";
  fs::path file = UserPath(path);
  try {
    WriteWhole(file, Pretty(DocumentJson(*this, file.parent_path(), true)));
  } catch (const Fault& f) {
    vb::raise(vb::err::HostFailure, prefix + f.where + ": " + f.what);
  } catch (const std::exception& e) {
    vb::raise(vb::err::HostFailure, prefix + e.what());
  }
  path_ = file;
  SetChanged(false);
}

std::string Document::Snapshot() const { return DocumentJson(*this, {}, false).dump(); }

std::shared_ptr<Layer> LoadLayerFile(const std::string& path) {
  return Reading("Cannot open layer file " + Quoted(path) + ": ", [&] {
    fs::path file = UserPath(path);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) throw Fault{"", "the file does not exist", vb::err::FileNotFound};
    LayerReader reader(file.parent_path());
    return reader.Read(Parse(ReadWholeFile(file)), "");
  });
}

void SaveLayerFile(const Layer& layer, const std::string& path) {
  const std::string prefix = "Cannot save layer file " + Quoted(path) + ": ";
  fs::path file = UserPath(path);
  try {
    WriteWhole(file, Pretty(LayerJson(layer, file.parent_path(), true, "layer")));
  } catch (const Fault& f) {
    vb::raise(vb::err::HostFailure, prefix + f.what);
  } catch (const std::exception& e) {
    vb::raise(vb::err::HostFailure, prefix + e.what());
  }
}

}  // namespace host::carto
