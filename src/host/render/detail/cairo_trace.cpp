#include "host/render/detail/cairo_trace.h"

#include <cairo-ft.h>
#include <cairo-script.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string_view>
#include <unordered_map>

namespace host::render::detail {

namespace {

// Something the reader does not understand: the rest of the script is not read.
struct Unsupported : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// ---- fonts -----------------------------------------------------------------------

std::mutex& ft_mutex() {
  static std::mutex m;
  return m;
}

FT_Library ft_library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    if (FT_Init_FreeType(&l) != 0) l = nullptr;
    return l;
  }();
  return lib;
}

// Owned by the cairo font face (its user data): the face must outlive cairo's caches.
struct FtHolder {
  FT_Face face = nullptr;
  std::shared_ptr<const std::string> bytes;
};

void destroy_holder(void* p) {
  auto* h = static_cast<FtHolder*>(p);
  {
    std::lock_guard lock(ft_mutex());
    if (h->face) FT_Done_Face(h->face);
  }
  delete h;
}

const cairo_user_data_key_t holder_key{};

struct FaceData {
  cairo_font_face_t* cairo = nullptr;
  std::shared_ptr<const FontInfo> info;
  ~FaceData() {
    if (cairo) cairo_font_face_destroy(cairo);
  }
};

std::shared_ptr<FaceData> make_face(std::shared_ptr<const std::string> bytes, long index) {
  auto data = std::make_shared<FaceData>();
  FT_Library lib = ft_library();
  if (!lib || !bytes || bytes->empty()) return data;
  auto* holder = new FtHolder{nullptr, bytes};
  {
    std::lock_guard lock(ft_mutex());
    if (FT_New_Memory_Face(lib, reinterpret_cast<const FT_Byte*>(bytes->data()), static_cast<FT_Long>(bytes->size()), index,
                           &holder->face) != 0)
      holder->face = nullptr;
  }
  if (!holder->face) {
    delete holder;
    return data;
  }
  auto info = std::make_shared<FontInfo>();
  info->family = holder->face->family_name ? holder->face->family_name : "";
  info->italic = (holder->face->style_flags & FT_STYLE_FLAG_ITALIC) != 0;
  info->weight = (holder->face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400;
  if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(holder->face, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF &&
                                                                                       os2->usWeightClass >= 100 &&
                                                                                       os2->usWeightClass <= 900)
    info->weight = os2->usWeightClass;
  data->info = info;
  data->cairo = cairo_ft_font_face_create_for_ft_face(holder->face, 0);
  if (cairo_font_face_set_user_data(data->cairo, &holder_key, holder, destroy_holder) != CAIRO_STATUS_SUCCESS) {
    cairo_font_face_destroy(data->cairo);
    data->cairo = nullptr;
    destroy_holder(holder);
  }
  return data;
}

// ---- values ----------------------------------------------------------------------

struct Obj {
  virtual ~Obj() = default;
};

struct Value;
using Array = std::vector<Value>;
using Dict = std::map<std::string, Value, std::less<>>;

struct Value {
  enum class T { Null, Number, Name, String, Array, Dict, Mark, Object };
  T t = T::Null;
  double n = 0;
  std::string name;
  std::shared_ptr<const std::string> str;
  std::shared_ptr<Array> arr;
  std::shared_ptr<Dict> dict;
  std::shared_ptr<Obj> obj;

  static Value Number(double v) {
    Value x;
    x.t = T::Number;
    x.n = v;
    return x;
  }
  static Value Name(std::string v) {
    Value x;
    x.t = T::Name;
    x.name = std::move(v);
    return x;
  }
  static Value String(std::shared_ptr<const std::string> v) {
    Value x;
    x.t = T::String;
    x.str = std::move(v);
    return x;
  }
  static Value Mark() {
    Value x;
    x.t = T::Mark;
    return x;
  }
  static Value Object(std::shared_ptr<Obj> o) {
    Value x;
    x.t = T::Object;
    x.obj = std::move(o);
    return x;
  }
};

struct SurfaceObj : Obj {};

struct PatternObj : Obj {
  bool solid = false;
  Colour colour;
};

struct FaceObj : Obj {
  std::shared_ptr<FaceData> face;
};

struct ScaledFontObj : Obj {
  std::shared_ptr<FaceData> face;
  cairo_matrix_t font_matrix{};
};

// A new context draws in opaque black, as cairo's do.
std::shared_ptr<PatternObj> black() {
  auto p = std::make_shared<PatternObj>();
  p->solid = true;
  return p;
}

struct ContextObj : Obj {
  bool main = false;
  int group_depth = 0;
  cairo_matrix_t ctm{1, 0, 0, 1, 0, 0};
  std::shared_ptr<PatternObj> source = black();
  bool even_odd = false;
  double line_width = 2;
  cairo_line_cap_t cap = CAIRO_LINE_CAP_BUTT;
  cairo_line_join_t join = CAIRO_LINE_JOIN_MITER;
  double miter = 10;
  std::vector<double> dash;
  double dash_offset = 0;
  std::string op = "OVER";
  std::shared_ptr<FaceData> face;
  cairo_matrix_t font_matrix{10, 0, 0, 10, 0, 0};
  cairo_hint_metrics_t hint_metrics = CAIRO_HINT_METRICS_DEFAULT;
  Path path;
};

// ---- decoding --------------------------------------------------------------------

std::string base85(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 4 / 5 + 4);
  uint32_t group = 0;
  int count = 0;
  for (char c : text) {
    if (c == 'z' && count == 0) {
      out.append(4, '\0');
      continue;
    }
    if (c < '!' || c > 'u') {
      if (std::isspace(static_cast<unsigned char>(c))) continue;
      throw Unsupported("bad base85 data");
    }
    group = group * 85 + static_cast<uint32_t>(c - '!');
    if (++count == 5) {
      for (int i = 3; i >= 0; --i) out.push_back(static_cast<char>((group >> (8 * i)) & 0xFF));
      group = 0;
      count = 0;
    }
  }
  if (count > 0) {
    int missing = 5 - count;
    for (int i = 0; i < missing; ++i) group = group * 85 + 84;
    for (int i = 0; i < count - 1; ++i) out.push_back(static_cast<char>((group >> (8 * (3 - i))) & 0xFF));
  }
  return out;
}

std::string inflate_sized(const std::string& packed) {
  if (packed.size() < 4) throw Unsupported("short compressed data");
  auto b = [&](int i) { return static_cast<uint32_t>(static_cast<unsigned char>(packed[i])); };
  uint32_t size = (b(0) << 24) | (b(1) << 16) | (b(2) << 8) | b(3);
  std::string out(size, '\0');
  uLongf out_len = size;
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &out_len, reinterpret_cast<const Bytef*>(packed.data() + 4),
                 static_cast<uLong>(packed.size() - 4)) != Z_OK ||
      out_len != size)
    throw Unsupported("bad compressed data");
  return out;
}

bool ends(std::string_view s, std::string_view tail) {
  return s.size() >= tail.size() && s.substr(s.size() - tail.size()) == tail;
}

double det_scale(const cairo_matrix_t& m) { return std::sqrt(std::fabs(m.xx * m.yy - m.xy * m.yx)); }

// ---- the reader ------------------------------------------------------------------

class Reader {
 public:
  explicit Reader(Trace& out) : out_(out) { install(); }

  // Takes script text as it comes; whole lines are read, the rest waits.
  void Feed(const char* data, size_t n) {
    if (stopped_) return;
    // Cairo writes a token at a time: look for a line end in the new bytes only.
    const void* found = memrchr(data, '\n', n);
    buf_.append(data, n);
    if (!found) return;
    size_t nl = buf_.size() - n + static_cast<size_t>(static_cast<const char*>(found) - data);
    run(std::string_view(buf_).substr(0, nl + 1));
    buf_.erase(0, nl + 1);
  }

  void Finish() {
    if (!stopped_ && !buf_.empty()) run(buf_);
    buf_.clear();
  }

  // Stops reading: what came so far stands, the rest is unknown.
  void stop(const std::string& why) {
    stopped_ = true;
    out_.read_whole = false;
    incomplete(why);
  }

 private:

  void incomplete(const std::string& why) {
    if (out_.complete) out_.reason = why;
    out_.complete = false;
  }

  void run(std::string_view text) {
    try {
      scan(text);
    } catch (const Unsupported& e) {
      stop(e.what());
    }
  }

  // -- scanning --

  static bool delimiter(char c) {
    return std::isspace(static_cast<unsigned char>(c)) || c == '(' || c == ')' || c == '<' || c == '>' || c == '[' ||
           c == ']' || c == '{' || c == '}' || c == '/' || c == '%';
  }

  void scan(std::string_view s) {
    size_t i = 0;
    const size_t n = s.size();
    while (i < n && !stopped_) {
      char c = s[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '%') {
        while (i < n && s[i] != '\n') ++i;
      } else if (c == '(') {
        i = scan_string(s, i + 1);
      } else if (c == '<') {
        if (i + 1 < n && s[i + 1] == '<') {
          push(Value::Mark());
          i += 2;
        } else if (i + 1 < n && (s[i + 1] == '~' || s[i + 1] == '|')) {
          bool packed = s[i + 1] == '|';
          size_t end = s.find("~>", i + 2);
          if (end == std::string_view::npos) throw Unsupported("unterminated base85 data");
          push(Value::String(decode(s.substr(i + 2, end - i - 2), packed)));
          i = end + 2;
        } else {
          size_t end = s.find('>', i + 1);
          if (end == std::string_view::npos) throw Unsupported("unterminated hex string");
          push(Value::String(std::make_shared<const std::string>(hex(s.substr(i + 1, end - i - 1)))));
          i = end + 1;
        }
      } else if (c == '>') {
        if (i + 1 >= n || s[i + 1] != '>') throw Unsupported("stray '>'");
        end_dict();
        i += 2;
      } else if (c == '[') {
        push(Value::Mark());
        ++i;
      } else if (c == ']') {
        end_array();
        ++i;
      } else if (c == '{' || c == '}') {
        throw Unsupported("procedures are not read");
      } else if (c == '/') {
        size_t j = i + 1;
        if (j < n && s[j] == '/') ++j;
        size_t start = j;
        while (j < n && !delimiter(s[j])) ++j;
        push(Value::Name(std::string(s.substr(start, j - start))));
        i = j;
      } else {
        size_t j = i;
        while (j < n && !delimiter(s[j])) ++j;
        word(s.substr(i, j - i));
        i = j;
      }
    }
  }

  size_t scan_string(std::string_view s, size_t i) {
    std::string out;
    int depth = 1;
    while (i < s.size()) {
      char c = s[i++];
      if (c == '\\') {
        if (i >= s.size()) break;
        char e = s[i++];
        switch (e) {
          case 'n': out.push_back('\n'); break;
          case 'r': out.push_back('\r'); break;
          case 't': out.push_back('\t'); break;
          case 'b': out.push_back('\b'); break;
          case 'f': out.push_back('\f'); break;
          case '\n': break;
          default:
            if (e >= '0' && e <= '7') {
              int v = e - '0';
              for (int k = 0; k < 2 && i < s.size() && s[i] >= '0' && s[i] <= '7'; ++k) v = v * 8 + (s[i++] - '0');
              out.push_back(static_cast<char>(v));
            } else {
              out.push_back(e);
            }
        }
      } else if (c == '(') {
        ++depth;
        out.push_back(c);
      } else if (c == ')') {
        if (--depth == 0) {
          push(Value::String(std::make_shared<const std::string>(std::move(out))));
          return i;
        }
        out.push_back(c);
      } else {
        out.push_back(c);
      }
    }
    throw Unsupported("unterminated string");
  }

  static std::string hex(std::string_view s) {
    std::string out;
    int hi = -1;
    for (char c : s) {
      int v;
      if (c >= '0' && c <= '9') v = c - '0';
      else if (c >= 'a' && c <= 'f') v = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F') v = c - 'A' + 10;
      else continue;
      if (hi < 0) {
        hi = v;
      } else {
        out.push_back(static_cast<char>(hi * 16 + v));
        hi = -1;
      }
    }
    if (hi >= 0) out.push_back(static_cast<char>(hi * 16));
    return out;
  }

  // The same font comes again for every size and angle it is drawn at: decode it once.
  std::shared_ptr<const std::string> decode(std::string_view text, bool packed) {
    if (!packed) return std::make_shared<const std::string>(base85(text));
    size_t key = std::hash<std::string_view>{}(text) ^ text.size();
    if (auto it = decoded_.find(key); it != decoded_.end()) return it->second;
    auto bytes = std::make_shared<const std::string>(inflate_sized(base85(text)));
    decoded_.emplace(key, bytes);
    return bytes;
  }

  void word(std::string_view w) {
    char c = w.front();
    if ((c >= '0' && c <= '9') || c == '-' || c == '+' || c == '.') {
      std::string tmp(w);
      char* end = nullptr;
      double v = std::strtod(tmp.c_str(), &end);
      if (end && *end == '\0') {
        push(Value::Number(v));
        return;
      }
    }
    if (auto it = names_.find(w); it != names_.end()) {
      push(it->second);
      return;
    }
    auto op = ops_.find(w);
    if (op == ops_.end()) throw Unsupported("unknown operator '" + std::string(w) + "'");
    op->second();
  }

  // -- the stack --

  void push(Value v) { stack_.push_back(std::move(v)); }

  Value pop() {
    if (stack_.empty()) throw Unsupported("stack underflow");
    Value v = std::move(stack_.back());
    stack_.pop_back();
    return v;
  }

  double num() {
    Value v = pop();
    if (v.t != Value::T::Number) throw Unsupported("a number was expected");
    return v.n;
  }

  std::string name() {
    Value v = pop();
    if (v.t != Value::T::Name) throw Unsupported("a name was expected");
    return v.name;
  }

  std::shared_ptr<Array> array() {
    Value v = pop();
    if (v.t != Value::T::Array) throw Unsupported("an array was expected");
    return v.arr;
  }

  template <class T>
  std::shared_ptr<T> object() {
    Value v = pop();
    auto p = v.t == Value::T::Object ? std::dynamic_pointer_cast<T>(v.obj) : nullptr;
    if (!p) throw Unsupported("an object of another kind was expected");
    return p;
  }

  ContextObj& ctx() {
    if (stack_.empty() || stack_.back().t != Value::T::Object) throw Unsupported("a context was expected");
    auto* c = dynamic_cast<ContextObj*>(stack_.back().obj.get());
    if (!c) throw Unsupported("a context was expected");
    return *c;
  }

  size_t find_mark() {
    for (size_t i = stack_.size(); i-- > 0;)
      if (stack_[i].t == Value::T::Mark) return i;
    throw Unsupported("no mark");
  }

  void end_array() {
    size_t m = find_mark();
    auto a = std::make_shared<Array>(std::make_move_iterator(stack_.begin() + static_cast<long>(m) + 1),
                                     std::make_move_iterator(stack_.end()));
    stack_.resize(m);
    Value v;
    v.t = Value::T::Array;
    v.arr = std::move(a);
    push(std::move(v));
  }

  void end_dict() {
    size_t m = find_mark();
    auto d = std::make_shared<Dict>();
    if ((stack_.size() - m - 1) % 2 != 0) throw Unsupported("odd dictionary");
    for (size_t i = m + 1; i < stack_.size(); i += 2) {
      if (stack_[i].t != Value::T::Name) throw Unsupported("dictionary key is not a name");
      (*d)[stack_[i].name] = stack_[i + 1];
    }
    stack_.resize(m);
    Value v;
    v.t = Value::T::Dict;
    v.dict = std::move(d);
    push(std::move(v));
  }

  static cairo_matrix_t matrix_of(const Array& a) {
    if (a.size() != 6) throw Unsupported("a matrix has six numbers");
    double v[6];
    for (int i = 0; i < 6; ++i) {
      if (a[i].t != Value::T::Number) throw Unsupported("a matrix has six numbers");
      v[i] = a[i].n;
    }
    cairo_matrix_t m;
    cairo_matrix_init(&m, v[0], v[1], v[2], v[3], v[4], v[5]);
    return m;
  }

  // -- drawing --

  // Drawing that the page's display list cannot hold.
  bool on_page(ContextObj& c, const char* what) {
    if (!c.main || c.group_depth > 0) {
      incomplete(std::string(what) + " inside a group");
      return false;
    }
    return true;
  }

  bool plain_source(ContextObj& c, const char* what) {
    if (!c.source || !c.source->solid) {
      incomplete(std::string(what) + " with a pattern");
      return false;
    }
    if (c.op == "OVER") return true;
    if (c.op == "SOURCE" && c.source->colour.a >= 1.0) return true;
    incomplete(std::string(what) + " with operator " + c.op);
    return false;
  }

  Colour colour_of(ContextObj& c) { return c.source && c.source->solid ? c.source->colour : Colour{}; }

  void fill(bool keep) {
    ContextObj& c = ctx();
    if (on_page(c, "a fill") && plain_source(c, "a fill") && !c.path.empty()) {
      DrawOp op;
      op.kind = DrawOp::Kind::Fill;
      op.path = c.path;
      op.even_odd = c.even_odd;
      op.colour = colour_of(c);
      out_.ops.push_back(std::move(op));
    }
    if (!keep) c.path.clear();
  }

  void stroke(bool keep) {
    ContextObj& c = ctx();
    if (on_page(c, "a stroke") && plain_source(c, "a stroke") && !c.path.empty()) {
      DrawOp op;
      op.kind = DrawOp::Kind::Stroke;
      op.path = c.path;
      op.colour = colour_of(c);
      double s = det_scale(c.ctm);
      op.stroke.width = c.line_width * s;
      op.stroke.cap = c.cap;
      op.stroke.join = c.join;
      op.stroke.miter_limit = c.miter;
      for (double d : c.dash) op.stroke.dash.push_back(d * s);
      op.stroke.dash_offset = c.dash_offset * s;
      out_.ops.push_back(std::move(op));
    }
    if (!keep) c.path.clear();
  }

  void clip(bool keep) {
    ContextObj& c = ctx();
    if (on_page(c, "a clip")) {
      DrawOp op;
      op.kind = DrawOp::Kind::Clip;
      op.path = c.path;
      op.even_odd = c.even_odd;
      out_.ops.push_back(std::move(op));
    }
    if (!keep) c.path.clear();
  }

  void paint() {
    ContextObj& c = ctx();
    if (on_page(c, "a paint") && plain_source(c, "a paint")) {
      DrawOp op;
      op.kind = DrawOp::Kind::Paint;
      op.colour = colour_of(c);
      out_.ops.push_back(std::move(op));
    }
  }

  void path_point(ContextObj& c, Seg s, std::initializer_list<double> xy) {
    c.path.segs.push_back(s);
    auto it = xy.begin();
    while (it != xy.end()) {
      double x = *it++;
      double y = *it++;
      c.path.pts.push_back({x, y});
    }
  }

  // The glyph array: [x y <glyphs> adjust <glyphs> ...], positions in user space, each
  // glyph after the first where the one before it and its advance put it, unless an
  // adjustment (dx, or dx dy) comes first.
  void glyph_run(ContextObj& c, const Array& a, TextRun& run) {
    if (a.size() < 2 || a[0].t != Value::T::Number || a[1].t != Value::T::Number) throw Unsupported("bad glyph array");
    cairo_scaled_font_t* font = nullptr;
    if (c.face && c.face->cairo) {
      cairo_font_options_t* options = cairo_font_options_create();
      cairo_font_options_set_hint_metrics(options, c.hint_metrics);
      cairo_matrix_t ctm = c.ctm;
      ctm.x0 = ctm.y0 = 0;
      font = cairo_scaled_font_create(c.face->cairo, &c.font_matrix, &ctm, options);
      cairo_font_options_destroy(options);
      if (cairo_scaled_font_status(font) != CAIRO_STATUS_SUCCESS) {
        cairo_scaled_font_destroy(font);
        font = nullptr;
      }
    }
    run.positions_exact = font != nullptr;
    double x = a[0].n, y = a[1].n;
    std::vector<double> adjust;
    auto place = [&](unsigned long glyph) {
      if (adjust.size() == 1) x += adjust[0];
      if (adjust.size() >= 2) {
        x += adjust[0];
        y += adjust[1];
      }
      adjust.clear();
      double dx = x, dy = y;
      cairo_matrix_transform_point(&c.ctm, &dx, &dy);
      run.glyphs.push_back(glyph);
      run.positions.push_back({dx, dy});
      if (font) {
        cairo_glyph_t g{glyph, 0, 0};
        cairo_text_extents_t ext;
        cairo_scaled_font_glyph_extents(font, &g, 1, &ext);
        x += ext.x_advance;
        y += ext.y_advance;
      }
    };
    for (size_t i = 2; i < a.size(); ++i) {
      const Value& v = a[i];
      if (v.t == Value::T::Number) {
        adjust.push_back(v.n);
      } else if (v.t == Value::T::String) {
        for (unsigned char g : *v.str) place(g);
      } else if (v.t == Value::T::Array) {
        for (const Value& g : *v.arr) {
          if (g.t != Value::T::Number) throw Unsupported("bad glyph index");
          place(static_cast<unsigned long>(g.n));
        }
      } else {
        throw Unsupported("bad glyph array");
      }
    }
    double ex = x, ey = y;
    cairo_matrix_transform_point(&c.ctm, &ex, &ey);
    run.end = {ex, ey};
    if (font) cairo_scaled_font_destroy(font);
  }

  void show(std::shared_ptr<const std::string> utf8, const Array& glyphs, const Value* clusters, bool backward) {
    ContextObj& c = ctx();
    TextRun run;
    if (utf8) run.utf8 = *utf8;
    run.backward = backward;
    run.font = c.face ? c.face->info : nullptr;
    cairo_matrix_multiply(&run.em, &c.font_matrix, &c.ctm);
    run.em.x0 = run.em.y0 = 0;
    run.main_context = c.main && c.group_depth == 0;
    run.solid = c.source && c.source->solid;
    run.colour = colour_of(c);
    glyph_run(c, glyphs, run);
    if (clusters) {
      std::vector<int> v;
      if (clusters->t == Value::T::String) {
        for (unsigned char b : *clusters->str) v.push_back(b);
      } else if (clusters->t == Value::T::Array) {
        for (const Value& x : *clusters->arr) v.push_back(static_cast<int>(x.n));
      }
      for (size_t i = 0; i + 1 < v.size(); i += 2) run.clusters.emplace_back(v[i], v[i + 1]);
    }
    int index = static_cast<int>(out_.texts.size());
    out_.texts.push_back(std::move(run));
    if (!on_page(c, "text") || !plain_source(c, "text")) return;
    if (!out_.texts.back().font) {
      incomplete("text in a font that could not be read");
      return;
    }
    DrawOp op;
    op.kind = DrawOp::Kind::Text;
    op.colour = colour_of(c);
    op.text = index;
    out_.ops.push_back(std::move(op));
  }

  void define(std::string_view op, std::function<void()> f) { ops_.emplace(std::string(op), std::move(f)); }

  void install() {
    // Stack and dictionary.
    define("pop", [this] { pop(); });
    define("dup", [this] {
      Value v = pop();
      push(v);
      push(std::move(v));
    });
    define("exch", [this] {
      Value b = pop(), a = pop();
      push(std::move(b));
      push(std::move(a));
    });
    define("def", [this] {
      Value v = pop();
      std::string key = name();
      names_[key] = std::move(v);
    });
    define("undef", [this] {
      std::string key = name();
      if (auto it = names_.find(key); it != names_.end()) names_.erase(it);
    });
    define("index", [this] {
      auto k = static_cast<size_t>(num());
      if (k >= stack_.size()) throw Unsupported("index out of range");
      push(stack_[stack_.size() - 1 - k]);
    });
    define("roll", [this] {
      long j = static_cast<long>(num());
      long count = static_cast<long>(num());
      if (count < 0 || static_cast<size_t>(count) > stack_.size()) throw Unsupported("roll out of range");
      if (count == 0) return;
      j = ((j % count) + count) % count;
      std::rotate(stack_.end() - count, stack_.end() - j, stack_.end());
    });
    define("copy", [this] {
      auto k = static_cast<size_t>(num());
      if (k > stack_.size()) throw Unsupported("copy out of range");
      std::vector<Value> top(stack_.end() - static_cast<long>(k), stack_.end());
      for (auto& v : top) push(std::move(v));
    });
    define("true", [this] { push(Value::Number(1)); });
    define("false", [this] { push(Value::Number(0)); });
    define("null", [this] { push(Value{}); });
    define("mark", [this] { push(Value::Mark()); });
    define("identity", [this] {
      auto a = std::make_shared<Array>();
      for (double v : {1.0, 0.0, 0.0, 1.0, 0.0, 0.0}) a->push_back(Value::Number(v));
      Value v;
      v.t = Value::T::Array;
      v.arr = a;
      push(std::move(v));
    });

    // Surfaces and contexts.
    define("surface", [this] {
      Value d = pop();
      if (d.t != Value::T::Dict) throw Unsupported("surface takes a dictionary");
      push(Value::Object(std::make_shared<SurfaceObj>()));
    });
    define("record", [this] {
      if (!stack_.empty() && stack_.back().t == Value::T::Array) pop();
      name();
      push(Value::Object(std::make_shared<SurfaceObj>()));
    });
    define("image", [this] {
      Value d = pop();
      if (d.t != Value::T::Dict) throw Unsupported("image takes a dictionary");
      push(Value::Object(std::make_shared<SurfaceObj>()));
    });
    define("subsurface", [this] {
      for (int i = 0; i < 4; ++i) num();
      object<SurfaceObj>();
      push(Value::Object(std::make_shared<SurfaceObj>()));
    });
    define("set-mime-data", [this] {
      pop();
      pop();
    });
    define("context", [this] {
      object<SurfaceObj>();
      auto c = std::make_shared<ContextObj>();
      c->main = !have_main_;
      have_main_ = true;
      push(Value::Object(c));
    });
    define("show-page", [this] { ctx(); });
    define("copy-page", [this] { ctx(); });

    // Patterns.
    auto solid = [this](double r, double g, double b, double a) {
      auto p = std::make_shared<PatternObj>();
      p->solid = true;
      p->colour = {r, g, b, a};
      push(Value::Object(p));
    };
    define("rgb", [this, solid] {
      double b = num(), g = num(), r = num();
      solid(r, g, b, 1);
    });
    define("rgba", [this, solid] {
      double a = num(), b = num(), g = num(), r = num();
      solid(r, g, b, a);
    });
    define("g", [this, solid] {
      double v = num();
      solid(v, v, v, 1);
    });
    define("ga", [this, solid] {
      double a = num(), v = num();
      solid(v, v, v, a);
    });
    define("a", [this, solid] { solid(0, 0, 0, num()); });
    define("pattern", [this] {
      object<SurfaceObj>();
      push(Value::Object(std::make_shared<PatternObj>()));
    });
    define("linear", [this] {
      for (int i = 0; i < 4; ++i) num();
      push(Value::Object(std::make_shared<PatternObj>()));
    });
    define("radial", [this] {
      for (int i = 0; i < 6; ++i) num();
      push(Value::Object(std::make_shared<PatternObj>()));
    });
    define("add-color-stop", [this] {
      for (int i = 0; i < 5; ++i) num();
    });
    define("set-extend", [this] { name(); });
    define("set-filter", [this] { name(); });

    // Context state.
    define("set-source", [this] {
      auto p = object<PatternObj>();
      ctx().source = p;
    });
    define("set-matrix", [this] {
      cairo_matrix_t m = matrix_of(*array());
      if (stack_.empty() || stack_.back().t != Value::T::Object) throw Unsupported("set-matrix without a target");
      if (auto* c = dynamic_cast<ContextObj*>(stack_.back().obj.get())) c->ctm = m;
      else if (!dynamic_cast<PatternObj*>(stack_.back().obj.get())) throw Unsupported("set-matrix on something else");
    });
    define("scale", [this] {
      double sy = num(), sx = num();
      cairo_matrix_scale(&ctx().ctm, sx, sy);
    });
    define("translate", [this] {
      double ty = num(), tx = num();
      cairo_matrix_translate(&ctx().ctm, tx, ty);
    });
    define("transform", [this] {
      cairo_matrix_t m = matrix_of(*array());
      ContextObj& c = ctx();
      cairo_matrix_multiply(&c.ctm, &m, &c.ctm);
    });
    define("set-fill-rule", [this] {
      std::string r = name();
      ctx().even_odd = ends(r, "EVEN_ODD");
    });
    define("set-line-width", [this] {
      double w = num();
      ctx().line_width = w;
    });
    define("set-line-cap", [this] {
      std::string v = name();  // "LINE_CAP_ROUND", or "ROUND" in older scripts
      ctx().cap = ends(v, "ROUND") ? CAIRO_LINE_CAP_ROUND : ends(v, "SQUARE") ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT;
    });
    define("set-line-join", [this] {
      std::string v = name();
      ctx().join = ends(v, "ROUND") ? CAIRO_LINE_JOIN_ROUND : ends(v, "BEVEL") ? CAIRO_LINE_JOIN_BEVEL : CAIRO_LINE_JOIN_MITER;
    });
    define("set-miter-limit", [this] {
      double v = num();
      ctx().miter = v;
    });
    define("set-dash", [this] {
      double offset = num();
      auto a = array();
      ContextObj& c = ctx();
      c.dash.clear();
      for (const Value& v : *a) c.dash.push_back(v.n);
      c.dash_offset = offset;
    });
    define("set-tolerance", [this] {
      num();
      ctx();
    });
    define("set-antialias", [this] {
      name();
      ctx();
    });
    define("set-operator", [this] {
      std::string v = name();
      ctx().op = v;
    });

    // Fonts.
    define("font", [this] {
      Value d = pop();
      if (d.t != Value::T::Dict) throw Unsupported("font takes a dictionary");
      auto type = d.dict->find("type");
      auto source = d.dict->find("source");
      if (type == d.dict->end() || type->second.n != 42 || source == d.dict->end() || source->second.t != Value::T::String)
        throw Unsupported("only font files are read, not drawn fonts");
      long index = 0;
      if (auto it = d.dict->find("index"); it != d.dict->end()) index = static_cast<long>(it->second.n);
      auto face = std::make_shared<FaceObj>();
      auto key = std::make_pair(source->second.str.get(), index);
      if (auto it = faces_.find(key); it != faces_.end()) {
        face->face = it->second;
      } else {
        face->face = make_face(source->second.str, index);
        faces_.emplace(key, face->face);
      }
      push(Value::Object(face));
    });
    define("set-font-face", [this] {
      auto f = object<FaceObj>();
      ctx().face = f->face;
    });
    define("set-font-matrix", [this] {
      cairo_matrix_t m = matrix_of(*array());
      ctx().font_matrix = m;
    });
    define("set-font-options", [this] {
      Value d = pop();
      if (d.t != Value::T::Dict) throw Unsupported("font options take a dictionary");
      ContextObj& c = ctx();
      if (auto it = d.dict->find("hint-metrics"); it != d.dict->end())
        c.hint_metrics = it->second.name == "OFF" ? CAIRO_HINT_METRICS_OFF
                         : it->second.name == "ON" ? CAIRO_HINT_METRICS_ON
                                                   : CAIRO_HINT_METRICS_DEFAULT;
    });
    define("get", [this] {
      std::string key = name();
      ContextObj& c = ctx();
      if (key != "scaled-font") throw Unsupported("cannot get " + key);
      auto sf = std::make_shared<ScaledFontObj>();
      sf->face = c.face;
      sf->font_matrix = c.font_matrix;
      push(Value::Object(sf));
    });
    define("set-scaled-font", [this] {
      auto sf = object<ScaledFontObj>();
      ContextObj& c = ctx();
      c.face = sf->face;
      c.font_matrix = sf->font_matrix;
    });

    // Paths.
    define("n", [this] { ctx().path.clear(); });
    define("m", [this] {
      double y = num(), x = num();
      path_point(ctx(), Seg::Move, {x, y});
    });
    define("l", [this] {
      double y = num(), x = num();
      path_point(ctx(), Seg::Line, {x, y});
    });
    define("c", [this] {
      double y3 = num(), x3 = num(), y2 = num(), x2 = num(), y1 = num(), x1 = num();
      path_point(ctx(), Seg::Curve, {x1, y1, x2, y2, x3, y3});
    });
    define("h", [this] { ctx().path.segs.push_back(Seg::Close); });
    define("rectangle", [this] {
      double h = num(), w = num(), y = num(), x = num();
      ContextObj& c = ctx();
      path_point(c, Seg::Move, {x, y});
      path_point(c, Seg::Line, {x + w, y});
      path_point(c, Seg::Line, {x + w, y + h});
      path_point(c, Seg::Line, {x, y + h});
      c.path.segs.push_back(Seg::Close);
    });

    // Drawing.
    define("fill+", [this] { fill(true); });
    define("fill", [this] { fill(false); });
    define("stroke+", [this] { stroke(true); });
    define("stroke", [this] { stroke(false); });
    define("clip+", [this] { clip(true); });
    define("clip", [this] { clip(false); });
    define("reset-clip", [this] {
      ContextObj& c = ctx();
      if (!c.main || c.group_depth > 0) return;
      DrawOp op;
      op.kind = DrawOp::Kind::ResetClip;
      out_.ops.push_back(std::move(op));
    });
    define("paint", [this] { paint(); });
    define("mask", [this] {
      object<PatternObj>();
      ctx();
      incomplete("a mask");
    });
    define("push-group", [this] {
      name();
      ctx().group_depth++;
      incomplete("a group");
    });
    define("pop-group", [this] {
      ContextObj& c = ctx();
      if (c.group_depth > 0) c.group_depth--;
      push(Value::Object(std::make_shared<PatternObj>()));
    });
    define("show-glyphs", [this] {
      auto glyphs = array();
      show(nullptr, *glyphs, nullptr, false);
    });
    define("show-text-glyphs", [this] {
      std::string direction = name();
      Value clusters = pop();
      auto glyphs = array();
      Value utf8 = pop();
      if (utf8.t != Value::T::String) throw Unsupported("text is not a string");
      show(utf8.str, *glyphs, &clusters, direction == "BACKWARD");
    });
  }

  Trace& out_;
  std::string buf_;
  bool stopped_ = false;
  bool have_main_ = false;
  std::vector<Value> stack_;
  std::map<std::string, Value, std::less<>> names_;
  std::map<std::string, std::function<void()>, std::less<>> ops_;
  std::unordered_map<size_t, std::shared_ptr<const std::string>> decoded_;
  std::map<std::pair<const std::string*, long>, std::shared_ptr<FaceData>> faces_;
};

// Cairo's script device can still write after it is finished and released: it watches
// the surfaces the recording drew from and says when they go, which may be when the
// recording itself is destroyed. Its writes go through a sink that lives as long as the
// device and forgets the reader once the trace is read.
struct Sink {
  Reader* reader = nullptr;
};

const cairo_user_data_key_t sink_key{};

cairo_status_t write_script(void* closure, const unsigned char* data, unsigned int length) {
  Reader* r = static_cast<Sink*>(closure)->reader;
  if (!r) return CAIRO_STATUS_SUCCESS;
  try {
    r->Feed(reinterpret_cast<const char*>(data), length);
  } catch (const std::exception& e) {
    r->stop(e.what());
  }
  return CAIRO_STATUS_SUCCESS;
}

}  // namespace

Trace ReadTrace(cairo_surface_t* recording) {
  Trace trace;
  Reader reader(trace);
  auto* sink = new Sink{&reader};
  cairo_device_t* script = cairo_script_create_for_stream(write_script, sink);
  if (cairo_device_set_user_data(script, &sink_key, sink, [](void* p) { delete static_cast<Sink*>(p); }) !=
      CAIRO_STATUS_SUCCESS) {
    // Without the hook the sink cannot be freed safely: it stays, empty.
    cairo_device_destroy(script);
    sink->reader = nullptr;
    trace.complete = trace.read_whole = false;
    trace.reason = "cannot read the drawing back";
    return trace;
  }
  cairo_script_set_mode(script, CAIRO_SCRIPT_MODE_ASCII);
  cairo_status_t status = cairo_script_from_recording_surface(script, recording);
  cairo_device_finish(script);
  sink->reader = nullptr;
  cairo_device_destroy(script);
  try {
    reader.Finish();
  } catch (const std::exception& e) {
    reader.stop(e.what());
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    trace.read_whole = false;
    if (trace.complete) trace.reason = cairo_status_to_string(status);
    trace.complete = false;
  }
  return trace;
}

Trace ReadScript(const std::string& script) {
  Trace trace;
  Reader reader(trace);
  try {
    reader.Feed(script.data(), script.size());
    reader.Finish();
  } catch (const std::exception& e) {
    reader.stop(e.what());
  }
  return trace;
}

}  // namespace host::render::detail
