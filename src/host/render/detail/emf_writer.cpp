// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/emf_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>

#include "host/render/cairo_ptr.h"
#include "host/render/detail/font_names.h"

namespace host::render::detail {

namespace {

// A path as the records take it: lines and curves only.
enum class Seg : unsigned char { Move, Line, Curve, Close };
struct FlatPath {
  std::vector<Seg> segs;
  std::vector<XY> pts;  // one point per Move and Line, three per Curve, none per Close
  bool empty() const { return segs.empty(); }
};

FlatPath flat(const Path& path) {
  FlatPath out;
  const Path curves = path.Expanded();
  for (const Path::Element& e : curves.Elements()) {
    switch (e.op) {
      case Path::Op::Move: out.segs.push_back(Seg::Move); out.pts.push_back(e.p[0]); break;
      case Path::Op::Line: out.segs.push_back(Seg::Line); out.pts.push_back(e.p[0]); break;
      case Path::Op::Curve:
        out.segs.push_back(Seg::Curve);
        out.pts.insert(out.pts.end(), {e.p[0], e.p[1], e.p[2]});
        break;
      case Path::Op::Close: out.segs.push_back(Seg::Close); break;
      case Path::Op::Arc:
      case Path::Op::Rectangle: break;
    }
  }
  return out;
}

// Record types.
enum : uint32_t {
  EMR_HEADER = 1,
  EMR_POLYBEZIERTO = 5,
  EMR_POLYLINETO = 6,
  EMR_SETWINDOWEXTEX = 9,
  EMR_SETVIEWPORTEXTEX = 11,
  EMR_EOF = 14,
  EMR_SETMAPMODE = 17,
  EMR_SETBKMODE = 18,
  EMR_SETPOLYFILLMODE = 19,
  EMR_SETTEXTALIGN = 22,
  EMR_SETTEXTCOLOR = 24,
  EMR_MOVETOEX = 27,
  EMR_INTERSECTCLIPRECT = 30,
  EMR_SELECTOBJECT = 37,
  EMR_CREATEBRUSHINDIRECT = 39,
  EMR_DELETEOBJECT = 40,
  EMR_LINETO = 54,
  EMR_SETMITERLIMIT = 58,
  EMR_BEGINPATH = 59,
  EMR_ENDPATH = 60,
  EMR_CLOSEFIGURE = 61,
  EMR_FILLPATH = 62,
  EMR_STROKEPATH = 64,
  EMR_SELECTCLIPPATH = 67,
  EMR_EXTSELECTCLIPRGN = 75,
  EMR_STRETCHDIBITS = 81,
  EMR_EXTCREATEFONTINDIRECTW = 82,
  EMR_EXTTEXTOUTW = 84,
  EMR_EXTCREATEPEN = 95,
};

constexpr uint32_t MM_ANISOTROPIC = 8;
constexpr uint32_t TRANSPARENT = 1;
constexpr uint32_t ALTERNATE = 1, WINDING = 2;
constexpr uint32_t TA_BASELINE = 24;
constexpr uint32_t RGN_AND = 1, RGN_COPY = 5;
constexpr uint32_t NULL_PEN = 0x80000008;
constexpr uint32_t PS_GEOMETRIC = 0x00010000, PS_SOLID = 0, PS_USERSTYLE = 7;
constexpr uint32_t PS_ENDCAP_ROUND = 0, PS_ENDCAP_SQUARE = 0x100, PS_ENDCAP_FLAT = 0x200;
constexpr uint32_t PS_JOIN_ROUND = 0, PS_JOIN_BEVEL = 0x1000, PS_JOIN_MITER = 0x2000;
constexpr uint32_t kPen = 1, kBrush = 2, kFont = 3, kHandles = 4;
constexpr int K = kEmfUnitsPerPixel;

class Records {
 public:
  size_t begin(uint32_t type) {
    size_t at = buf_.size();
    u32(type);
    u32(0);  // size, patched by end()
    return at;
  }
  void end(size_t at) {
    while (buf_.size() % 4) buf_.push_back('\0');
    patch(at + 4, static_cast<uint32_t>(buf_.size() - at));
    ++count_;
  }
  void u32(uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  }
  void i32(int32_t v) { u32(static_cast<uint32_t>(v)); }
  void u16(uint16_t v) {
    buf_.push_back(static_cast<char>(v & 0xFF));
    buf_.push_back(static_cast<char>(v >> 8));
  }
  void u8(uint8_t v) { buf_.push_back(static_cast<char>(v)); }
  void f32(float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    u32(v);
  }
  void bytes(const void* p, size_t n) { buf_.append(static_cast<const char*>(p), n); }
  void patch(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) buf_[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
  }
  size_t size() const { return buf_.size(); }
  uint32_t count() const { return count_; }
  std::string& data() { return buf_; }

  // A record with only 32-bit fields.
  void simple(uint32_t type, std::initializer_list<uint32_t> fields) {
    size_t at = begin(type);
    for (uint32_t f : fields) u32(f);
    end(at);
  }

 private:
  std::string buf_;
  uint32_t count_ = 0;
};

std::u16string utf16(const std::string& s) {
  std::u16string out;
  size_t i = 0;
  while (i < s.size()) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    uint32_t cp = 0xFFFD;
    size_t len = 1;
    if (c < 0x80) {
      cp = c;
    } else if ((c >> 5) == 0x6 && i + 1 < s.size()) {
      cp = ((c & 0x1Fu) << 6) | (static_cast<unsigned char>(s[i + 1]) & 0x3Fu);
      len = 2;
    } else if ((c >> 4) == 0xE && i + 2 < s.size()) {
      cp = ((c & 0x0Fu) << 12) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 6) |
           (static_cast<unsigned char>(s[i + 2]) & 0x3Fu);
      len = 3;
    } else if ((c >> 3) == 0x1E && i + 3 < s.size()) {
      cp = ((c & 0x07u) << 18) | ((static_cast<unsigned char>(s[i + 1]) & 0x3Fu) << 12) |
           ((static_cast<unsigned char>(s[i + 2]) & 0x3Fu) << 6) | (static_cast<unsigned char>(s[i + 3]) & 0x3Fu);
      len = 4;
    }
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

uint32_t colorref(const Colour& c) {
  auto ch = [](double v) { return static_cast<uint32_t>(std::lround(std::clamp(v, 0.0, 1.0) * 255)); };
  return ch(c.r) | (ch(c.g) << 8) | (ch(c.b) << 16);
}

int32_t logical(double device) {
  double v = std::nearbyint(device * K);
  return static_cast<int32_t>(std::clamp(v, -2.0e9, 2.0e9));
}

struct Box {
  double x0 = std::numeric_limits<double>::max(), y0 = x0, x1 = -x0, y1 = -x0;
  void add(const XY& p) {
    x0 = std::min(x0, p.x);
    y0 = std::min(y0, p.y);
    x1 = std::max(x1, p.x);
    y1 = std::max(y1, p.y);
  }
};

// The reference device: pixels of the page's size, on a device a whole number of
// millimetres across. A device the size of the page would round Letter's 215.9 mm to
// 216, and readers that take the resolution from it would draw the page a little too
// large or too small; a device of several pages' extent, at the page's resolution, has
// the exact resolution.
struct ReferenceDevice {
  int32_t pixels_x, pixels_y;
  int32_t mm_x, mm_y;
  int32_t um_x, um_y;
};

ReferenceDevice reference_device(const EmfPage& page) {
  const double mm_x = page.width / page.dpi * 25.4, mm_y = page.height / page.dpi * 25.4;
  auto whole = [](double v) { return std::fabs(v - std::round(v)) < 1e-6 * std::max(1.0, v); };
  int pages = 1;
  while (pages < 1000 && !(whole(mm_x * pages) && whole(mm_y * pages))) ++pages;
  auto i32 = [](double v) { return static_cast<int32_t>(std::clamp(std::round(v), 1.0, 2.0e9)); };
  return {i32(double(page.width) * pages), i32(double(page.height) * pages), i32(mm_x * pages),
          i32(mm_y * pages),               i32(mm_x * pages * 1000),         i32(mm_y * pages * 1000)};
}

// EMF header fields that depend on the page.
void header(Records& r, const EmfPage& page) {
  const ReferenceDevice device = reference_device(page);
  const double in_w = page.width / page.dpi, in_h = page.height / page.dpi;
  std::u16string desc = u"ZelvaneMap";
  desc.push_back(u'\0');
  desc += utf16(page.title);
  desc.push_back(u'\0');
  desc.push_back(u'\0');

  size_t at = r.begin(EMR_HEADER);
  r.i32(0);  // rclBounds, device pixels, inclusive
  r.i32(0);
  r.i32(page.width - 1);
  r.i32(page.height - 1);
  // rclFrame, 0.01 mm, inclusive like the bounds: readers take right - left + 1 as the
  // width, so a frame that ends on the page's edge would add a column and a row.
  r.i32(0);
  r.i32(0);
  r.i32(static_cast<int32_t>(std::lround(in_w * 2540)) - 1);
  r.i32(static_cast<int32_t>(std::lround(in_h * 2540)) - 1);
  r.u32(0x464D4520);  // " EMF"
  r.u32(0x00010000);
  r.u32(0);  // nBytes, patched at the end
  r.u32(0);  // nRecords, patched at the end
  r.u16(kHandles);
  r.u16(0);
  r.u32(static_cast<uint32_t>(desc.size()));
  r.u32(108);  // offDescription: after the header and its two extensions
  r.u32(0);    // nPalEntries
  r.i32(device.pixels_x);  // szlDevice
  r.i32(device.pixels_y);
  r.i32(device.mm_x);  // szlMillimeters
  r.i32(device.mm_y);
  r.u32(0);  // cbPixelFormat
  r.u32(0);  // offPixelFormat
  r.u32(0);  // bOpenGL
  r.i32(device.um_x);  // szlMicrometers
  r.i32(device.um_y);
  for (char16_t ch : desc) r.u16(ch);
  r.end(at);
}

void finish(Records& r) {
  r.simple(EMR_EOF, {0, 16, 20});
  r.patch(48, static_cast<uint32_t>(r.size()));  // nBytes
  r.patch(52, r.count());                        // nRecords
}

void mapping(Records& r, const EmfPage& page) {
  r.simple(EMR_SETMAPMODE, {MM_ANISOTROPIC});
  r.simple(EMR_SETWINDOWEXTEX, {static_cast<uint32_t>(page.width * K), static_cast<uint32_t>(page.height * K)});
  r.simple(EMR_SETVIEWPORTEXTEX, {static_cast<uint32_t>(page.width), static_cast<uint32_t>(page.height)});
}

class VectorWriter {
 public:
  VectorWriter(Records& r, const EmfPage& page) : r_(r), page_(page) {}

  void write(const DisplayList& list) {
    r_.simple(EMR_SETBKMODE, {TRANSPARENT});
    r_.simple(EMR_SETTEXTALIGN, {TA_BASELINE});
    for (const DisplayItem& item : list.Items()) {
      switch (item.kind) {
        case DisplayItem::Kind::Save: saved_.push_back(clips_); break;
        case DisplayItem::Kind::Restore:
          if (!saved_.empty()) {
            clips_ = std::move(saved_.back());
            saved_.pop_back();
          }
          break;
        case DisplayItem::Kind::Clip: clip(item); break;
        case DisplayItem::Kind::Fill: {
          if (item.colour.a <= 0) break;
          FlatPath p = flat(item.path);
          if (p.empty()) break;
          use_clip();
          fill_mode(item.rule == FillRule::EvenOdd);
          brush(item.colour);
          path(p);
          bounded(EMR_FILLPATH, p);
          break;
        }
        case DisplayItem::Kind::Paint: {
          if (item.colour.a <= 0) break;
          use_clip();
          FlatPath page;
          page.segs = {Seg::Move, Seg::Line, Seg::Line, Seg::Line, Seg::Close};
          double w = page_.width, h = page_.height;
          page.pts = {{0, 0}, {w, 0}, {w, h}, {0, h}};
          brush(item.colour);
          path(page);
          bounded(EMR_FILLPATH, page);
          break;
        }
        case DisplayItem::Kind::Stroke: {
          if (item.colour.a <= 0) break;
          FlatPath p = flat(item.path);
          if (p.empty()) break;
          use_clip();
          pen(item.colour, item.stroke);
          path(p);
          bounded(EMR_STROKEPATH, p);
          break;
        }
        case DisplayItem::Kind::Text:
          if (item.text.colour.a <= 0) break;
          use_clip();
          text(item);
          break;
        case DisplayItem::Kind::Image:
          use_clip();
          picture(*item.image, item.x, item.y, item.w, item.h);
          break;
      }
    }
  }

  // A bitmap record stretched over (x, y, w, h), composited onto white.
  void picture(const Image& image, double x, double y, double w, double h) {
    const int iw = image.width, ih = image.height;
    if (iw <= 0 || ih <= 0) return;
    const uint32_t row_bytes = static_cast<uint32_t>((iw * 3 + 3) & ~3);
    const uint32_t bits = row_bytes * static_cast<uint32_t>(ih);
    size_t at = r_.begin(EMR_STRETCHDIBITS);
    r_.i32(static_cast<int32_t>(std::floor(x)));
    r_.i32(static_cast<int32_t>(std::floor(y)));
    r_.i32(static_cast<int32_t>(std::ceil(x + w)) - 1);
    r_.i32(static_cast<int32_t>(std::ceil(y + h)) - 1);
    r_.i32(logical(x));  // xDest
    r_.i32(logical(y));  // yDest
    r_.i32(0);  // xSrc
    r_.i32(0);  // ySrc
    r_.i32(iw);  // cxSrc
    r_.i32(ih);  // cySrc
    r_.u32(80);  // offBmiSrc
    r_.u32(40);  // cbBmiSrc
    r_.u32(120);  // offBitsSrc
    r_.u32(bits);
    r_.u32(0);           // DIB_RGB_COLORS
    r_.u32(0x00CC0020);  // SRCCOPY
    r_.i32(logical(x + w) - logical(x));
    r_.i32(logical(y + h) - logical(y));
    // BITMAPINFOHEADER: bottom-up, 24 bits.
    r_.u32(40);
    r_.i32(iw);
    r_.i32(ih);
    r_.u16(1);
    r_.u16(24);
    r_.u32(0);
    r_.u32(bits);
    r_.i32(0);
    r_.i32(0);
    r_.u32(0);
    r_.u32(0);
    std::string row(row_bytes, '\0');
    for (int py = ih - 1; py >= 0; --py) {
      const uint32_t* in = image.pixels.data() + static_cast<size_t>(py) * static_cast<size_t>(iw);
      for (int px = 0; px < iw; ++px) {
        uint32_t p = in[px];
        uint32_t paper = 255 - (p >> 24);  // premultiplied: white shows through what is not covered
        row[3 * px] = static_cast<char>(std::min<uint32_t>(255, (p & 0xFF) + paper));
        row[3 * px + 1] = static_cast<char>(std::min<uint32_t>(255, ((p >> 8) & 0xFF) + paper));
        row[3 * px + 2] = static_cast<char>(std::min<uint32_t>(255, ((p >> 16) & 0xFF) + paper));
      }
      r_.bytes(row.data(), row.size());
    }
    r_.end(at);
  }

 private:
  struct ClipEntry {
    const DisplayItem* item;
    bool operator==(const ClipEntry&) const = default;
  };

  // A clip that holds the whole page changes nothing.
  void clip(const DisplayItem& item) {
    if (auto r = item.path.AsRectangle();
        r && (*r)[0] <= 0 && (*r)[1] <= 0 && (*r)[2] >= page_.width && (*r)[3] >= page_.height)
      return;
    clips_.push_back({&item});
  }

  // Clips take effect when something is drawn under them: what is added to the clip in
  // force narrows it, anything else starts again from the whole page.
  void use_clip() {
    if (clips_ == emitted_) return;
    size_t keep = 0;
    if (clips_.size() >= emitted_.size() && std::equal(emitted_.begin(), emitted_.end(), clips_.begin())) {
      keep = emitted_.size();
    } else {
      r_.simple(EMR_EXTSELECTCLIPRGN, {0, RGN_COPY});
    }
    for (size_t i = keep; i < clips_.size(); ++i) {
      FlatPath p = flat(clips_[i].item->path);
      if (p.empty()) {
        r_.simple(EMR_INTERSECTCLIPRECT, {0, 0, 0, 0});
        continue;
      }
      fill_mode(clips_[i].item->rule == FillRule::EvenOdd);
      path(p);
      r_.simple(EMR_SELECTCLIPPATH, {RGN_AND});
    }
    emitted_ = clips_;
  }

  void fill_mode(bool even_odd) {
    if (fill_mode_ == even_odd) return;
    fill_mode_ = even_odd;
    r_.simple(EMR_SETPOLYFILLMODE, {even_odd ? ALTERNATE : WINDING});
  }

  void brush(const Colour& c) {
    uint32_t ref = colorref(c);
    if (brush_ && *brush_ == ref) return;
    if (brush_) {
      r_.simple(EMR_SELECTOBJECT, {0x80000000u /* WHITE_BRUSH: anything but ours */});
      r_.simple(EMR_DELETEOBJECT, {kBrush});
    }
    brush_ = ref;
    r_.simple(EMR_CREATEBRUSHINDIRECT, {kBrush, 0 /* BS_SOLID */, ref, 0});
    r_.simple(EMR_SELECTOBJECT, {kBrush});
  }

  void pen(const Colour& c, const StrokeStyle& s) {
    uint32_t style = PS_GEOMETRIC;
    style |= s.cap == LineCap::Round ? PS_ENDCAP_ROUND : s.cap == LineCap::Square ? PS_ENDCAP_SQUARE : PS_ENDCAP_FLAT;
    style |= s.join == LineJoin::Round ? PS_JOIN_ROUND : s.join == LineJoin::Bevel ? PS_JOIN_BEVEL : PS_JOIN_MITER;
    std::vector<uint32_t> dash;
    if (!s.dash.empty()) {
      style |= PS_USERSTYLE;
      for (int rep = 0; rep < (s.dash.size() % 2 ? 2 : 1); ++rep)
        for (double d : s.dash) dash.push_back(static_cast<uint32_t>(std::max<int32_t>(1, logical(d))));
    } else {
      style |= PS_SOLID;
    }
    PenKey key{colorref(c), std::max<int32_t>(1, logical(s.width)), style, dash};
    if (s.join == LineJoin::Miter && s.miter_limit != miter_) {
      miter_ = s.miter_limit;
      r_.simple(EMR_SETMITERLIMIT, {static_cast<uint32_t>(std::max(1.0, std::round(s.miter_limit)))});
    }
    if (pen_ && *pen_ == key) return;
    if (pen_) {
      r_.simple(EMR_SELECTOBJECT, {NULL_PEN});
      r_.simple(EMR_DELETEOBJECT, {kPen});
    }
    pen_ = key;
    size_t at = r_.begin(EMR_EXTCREATEPEN);
    r_.u32(kPen);
    r_.u32(0);  // offBmi
    r_.u32(0);  // cbBmi
    r_.u32(0);  // offBits
    r_.u32(0);  // cbBits
    r_.u32(style);
    r_.u32(static_cast<uint32_t>(key.width));
    r_.u32(0);  // BS_SOLID
    r_.u32(key.colour);
    r_.u32(0);  // hatch
    r_.u32(static_cast<uint32_t>(dash.size()));
    for (uint32_t d : dash) r_.u32(d);
    r_.end(at);
    r_.simple(EMR_SELECTOBJECT, {kPen});
  }

  void path(const FlatPath& p) {
    r_.simple(EMR_BEGINPATH, {});
    size_t pi = 0;
    size_t i = 0;
    while (i < p.segs.size()) {
      Seg s = p.segs[i];
      if (s == Seg::Move) {
        const XY& q = p.pts[pi++];
        r_.simple(EMR_MOVETOEX, {static_cast<uint32_t>(logical(q.x)), static_cast<uint32_t>(logical(q.y))});
        ++i;
      } else if (s == Seg::Close) {
        r_.simple(EMR_CLOSEFIGURE, {});
        ++i;
      } else {
        // A run of lines, or of curves, becomes one record.
        size_t j = i;
        while (j < p.segs.size() && p.segs[j] == s) ++j;
        size_t n = (j - i) * (s == Seg::Curve ? 3 : 1);
        if (s == Seg::Line && n == 1) {
          const XY& q = p.pts[pi++];
          r_.simple(EMR_LINETO, {static_cast<uint32_t>(logical(q.x)), static_cast<uint32_t>(logical(q.y))});
        } else {
          Box box;
          for (size_t k = 0; k < n; ++k) box.add(p.pts[pi + k]);
          size_t at = r_.begin(s == Seg::Curve ? EMR_POLYBEZIERTO : EMR_POLYLINETO);
          rect(box);
          r_.u32(static_cast<uint32_t>(n));
          for (size_t k = 0; k < n; ++k) {
            r_.i32(logical(p.pts[pi + k].x));
            r_.i32(logical(p.pts[pi + k].y));
          }
          r_.end(at);
          pi += n;
        }
        i = j;
      }
    }
    r_.simple(EMR_ENDPATH, {});
  }

  // Bounds in device pixels.
  void rect(const Box& b) {
    r_.i32(static_cast<int32_t>(std::floor(b.x0)));
    r_.i32(static_cast<int32_t>(std::floor(b.y0)));
    r_.i32(static_cast<int32_t>(std::ceil(b.x1)));
    r_.i32(static_cast<int32_t>(std::ceil(b.y1)));
  }

  void bounded(uint32_t type, const FlatPath& p) {
    Box box;
    for (const XY& q : p.pts) box.add(q);
    if (p.pts.empty()) box = Box{0, 0, 0, 0};
    size_t at = r_.begin(type);
    rect(box);
    r_.end(at);
  }

  // The face is named as the document asks for it where the face that set the glyphs
  // has the same widths: a reader that has the asked font then draws the text as laid
  // out, and one that has neither does not fall back on a default of other widths.
  void font(const GlyphRun& run, const std::string& asked, double angle_degrees) {
    int32_t height = -std::max<int32_t>(1, logical(run.size));
    int32_t angle = static_cast<int32_t>(std::lround(angle_degrees * 10.0)) % 3600;
    if (angle < 0) angle += 3600;
    std::u16string face = utf16(MetafileFontName(asked, run.family));
    if (face.size() > 31) face.resize(31);
    FontKey key{height, angle, run.weight, run.italic, face};
    if (font_ && *font_ == key) return;
    if (font_) {
      r_.simple(EMR_SELECTOBJECT, {0x8000000Du /* SYSTEM_FONT */});
      r_.simple(EMR_DELETEOBJECT, {kFont});
    }
    font_ = key;
    size_t at = r_.begin(EMR_EXTCREATEFONTINDIRECTW);
    r_.u32(kFont);
    r_.i32(height);  // lfHeight: negative, the em height
    r_.i32(0);       // lfWidth
    r_.i32(angle);   // lfEscapement, tenths of a degree
    r_.i32(angle);   // lfOrientation
    r_.i32(key.weight);
    r_.u8(key.italic ? 1 : 0);
    r_.u8(0);  // underline
    r_.u8(0);  // strike out
    r_.u8(1);  // DEFAULT_CHARSET
    r_.u8(4);  // OUT_TT_PRECIS
    r_.u8(0);  // clip precision
    r_.u8(4);  // ANTIALIASED_QUALITY
    r_.u8(0);  // pitch and family
    for (int i = 0; i < 32; ++i) r_.u16(i < static_cast<int>(face.size()) ? face[static_cast<size_t>(i)] : u'\0');
    r_.end(at);
    r_.simple(EMR_SELECTOBJECT, {kFont});
  }

  // Spacing from each character's origin to the next one's, along the baseline, in
  // logical units; empty when the glyphs cannot be matched to the characters.
  std::vector<int32_t> spacing(const GlyphRun& run, const std::u16string& text) {
    if (run.backward || run.positions.empty() || run.clusters.empty()) return {};
    auto along = [&](const XY& p) { return p.x - run.positions[0].x; };
    // Each cluster's start along the baseline, and its characters.
    std::vector<std::pair<double, size_t>> starts;  // (offset, utf-16 units)
    size_t glyph = 0, byte = 0;
    for (auto [bytes, glyphs] : run.clusters) {
      if (byte + static_cast<size_t>(bytes) > run.utf8.size()) return {};
      size_t units = utf16(run.utf8.substr(byte, static_cast<size_t>(bytes))).size();
      double at = glyph < run.positions.size() ? along(run.positions[glyph]) : (starts.empty() ? 0 : starts.back().first);
      starts.emplace_back(at, units);
      byte += static_cast<size_t>(bytes);
      glyph += static_cast<size_t>(glyphs);
    }
    double end = along(run.end);
    std::vector<int32_t> dx;
    for (size_t c = 0; c < starts.size(); ++c) {
      double next = c + 1 < starts.size() ? starts[c + 1].first : end;
      int32_t step = logical(next) - logical(starts[c].first);
      for (size_t u = 0; u < starts[c].second; ++u) dx.push_back(u == 0 ? step : 0);
    }
    if (dx.size() != text.size()) return {};
    return dx;
  }

  void text(const DisplayItem& item) {
    const TextRun& text = item.text;
    cairo_matrix_t m;
    cairo_matrix_init_translate(&m, text.anchor.x, text.anchor.y);
    if (text.angle != 0) cairo_matrix_rotate(&m, -text.angle * M_PI / 180.0);
    const std::vector<GlyphRun>& runs = text.layout->Runs();
    auto shown = [&](size_t i) {
      const GlyphRun& run = runs[i];
      return i < item.shown.size() && item.shown[i] && !run.utf8.empty() && !run.positions.empty() &&
             !run.family.empty();
    };
    bool any = false;
    for (size_t i = 0; i < runs.size(); ++i) any = any || shown(i);
    // A halo is the text's outlines stroked wide with a round pen, under the text as on
    // every other medium. The outlines go into the file as a path: readers leave text
    // put down inside a path bracket out of the path.
    if (text.halo && text.halo->colour.a > 0 && text.halo->width > 0 && any) {
      FlatPath outlines = flat(TextOutlines(text));
      if (!outlines.empty()) {
        StrokeStyle round;
        round.width = 2 * text.halo->width;
        round.cap = LineCap::Round;
        round.join = LineJoin::Round;
        pen(text.halo->colour, round);
        path(outlines);
        bounded(EMR_STROKEPATH, outlines);
      }
    }
    for (size_t i = 0; i < runs.size(); ++i)
      if (shown(i)) glyphs(runs[i], m, text);
  }

  void glyphs(const GlyphRun& run, const cairo_matrix_t& m, const TextRun& text) {
    std::u16string s = utf16(run.utf8);
    // Line breaks and tabs have no glyph of their own in a metafile.
    for (char16_t& ch : s)
      if (ch < 0x20) ch = u' ';
    font(run, text.layout->Block().font.family, text.angle);
    uint32_t ref = colorref(text.colour);
    if (text_colour_ != ref) {
      text_colour_ = ref;
      r_.simple(EMR_SETTEXTCOLOR, {ref});
    }
    std::vector<int32_t> dx = spacing(run, s);
    XY origin{text.offset.x + run.positions[0].x, text.offset.y + run.positions[0].y};
    cairo_matrix_transform_point(&m, &origin.x, &origin.y);
    const uint32_t string_at = 76;
    const uint32_t string_bytes = static_cast<uint32_t>((s.size() * 2 + 3) & ~size_t{3});
    const float scale = static_cast<float>(2540.0 / (page_.dpi * K));  // 0.01 mm per logical unit
    size_t at = r_.begin(EMR_EXTTEXTOUTW);
    r_.i32(0);  // rclBounds: not computed
    r_.i32(0);
    r_.i32(-1);
    r_.i32(-1);
    r_.u32(1);  // GM_COMPATIBLE
    r_.f32(scale);
    r_.f32(scale);
    r_.i32(logical(origin.x));
    r_.i32(logical(origin.y));
    r_.u32(static_cast<uint32_t>(s.size()));
    r_.u32(string_at);
    r_.u32(0);  // options
    r_.i32(0);  // rcl: none
    r_.i32(0);
    r_.i32(-1);
    r_.i32(-1);
    r_.u32(dx.empty() ? 0 : string_at + string_bytes);
    for (char16_t ch : s) r_.u16(static_cast<uint16_t>(ch));
    while ((r_.size() - at) % 4) r_.u8(0);
    for (int32_t d : dx) r_.i32(d);
    r_.end(at);
  }

  struct PenKey {
    uint32_t colour;
    int32_t width;
    uint32_t style;
    std::vector<uint32_t> dash;
    bool operator==(const PenKey&) const = default;
  };
  struct FontKey {
    int32_t height;
    int32_t angle;
    int weight;
    bool italic;
    std::u16string face;
    bool operator==(const FontKey&) const = default;
  };

  Records& r_;
  const EmfPage& page_;
  std::vector<ClipEntry> clips_, emitted_;
  std::vector<std::vector<ClipEntry>> saved_;
  std::optional<bool> fill_mode_;
  std::optional<PenKey> pen_;
  std::optional<uint32_t> brush_;
  std::optional<FontKey> font_;
  std::optional<uint32_t> text_colour_;
  double miter_ = 10;
};

}  // namespace

std::string EmfFromList(const DisplayList& list, const EmfPage& page) {
  Records r;
  header(r, page);
  mapping(r, page);
  VectorWriter(r, page).write(list);
  finish(r);
  return std::move(r.data());
}

std::string EmfFromRecording(cairo_surface_t* recording, const EmfPage& page) {
  SurfacePtr image(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, page.width, page.height));
  {
    CairoPtr cr(cairo_create(image.get()));
    cairo_set_source_surface(cr.get(), recording, 0, 0);
    cairo_paint(cr.get());
  }
  cairo_surface_flush(image.get());
  Image pixels{page.width, page.height, {}};
  pixels.pixels.resize(static_cast<size_t>(page.width) * static_cast<size_t>(page.height));
  const int stride = cairo_image_surface_get_stride(image.get());
  const unsigned char* data = cairo_image_surface_get_data(image.get());
  for (int y = 0; y < page.height; ++y)
    std::memcpy(pixels.pixels.data() + static_cast<size_t>(y) * static_cast<size_t>(page.width),
                data + static_cast<size_t>(y) * static_cast<size_t>(stride), static_cast<size_t>(page.width) * 4);
  DisplayList list;
  list.DrawImage(pixels, 0, 0, page.width, page.height);
  return EmfFromList(list, page);
}

}  // namespace host::render::detail
