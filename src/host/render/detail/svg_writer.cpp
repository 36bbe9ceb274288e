// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/render/detail/svg_writer.h"

#include <cairo-svg.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "host/render/cairo_ptr.h"
#include "host/render/detail/font_names.h"

namespace host::render::detail {

namespace {

std::string number(double v, int decimals = 3) {
  if (std::fabs(v) < 5e-7) v = 0;
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, v);
  std::string s = buf;
  if (s.find('.') != std::string::npos) {
    while (s.back() == '0') s.pop_back();
    if (s.back() == '.') s.pop_back();
  }
  if (s == "-0") s = "0";
  return s;
}

std::string inches(int pixels, double dpi) { return number(pixels / dpi, 4) + "in"; }

std::string rgb(const Colour& c) {
  auto pc = [](double v) { return number(std::clamp(v, 0.0, 1.0) * 100, 6) + "%"; };
  return "rgb(" + pc(c.r) + "," + pc(c.g) + "," + pc(c.b) + ")";
}

std::string path_data(const Path& path) {
  std::string d;
  auto pt = [&](const XY& p) { d += number(p.x) + " " + number(p.y) + " "; };
  const Path curves = path.Expanded();
  for (const Path::Element& e : curves.Elements()) {
    switch (e.op) {
      case Path::Op::Move: d += "M "; pt(e.p[0]); break;
      case Path::Op::Line: d += "L "; pt(e.p[0]); break;
      case Path::Op::Curve: d += "C "; pt(e.p[0]); pt(e.p[1]); pt(e.p[2]); break;
      case Path::Op::Close: d += "Z "; break;
      case Path::Op::Arc:
      case Path::Op::Rectangle: break;
    }
  }
  if (!d.empty()) d.pop_back();
  return d;
}

const char* rule_name(FillRule rule) { return rule == FillRule::EvenOdd ? "evenodd" : "nonzero"; }

size_t code_points(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

// One character, one glyph: each character gets its own x.
bool one_to_one(const GlyphRun& run) {
  if (run.clusters.empty()) return false;
  size_t byte = 0;
  for (auto [bytes, glyphs] : run.clusters) {
    if (glyphs != 1 || code_points(std::string_view(run.utf8).substr(byte, static_cast<size_t>(bytes))) != 1)
      return false;
    byte += static_cast<size_t>(bytes);
  }
  return true;
}

std::string base64(const std::string& bytes) {
  static const char* digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  size_t i = 0;
  for (; i + 2 < bytes.size(); i += 3) {
    uint32_t v = (uint32_t(uint8_t(bytes[i])) << 16) | (uint32_t(uint8_t(bytes[i + 1])) << 8) | uint8_t(bytes[i + 2]);
    for (int k = 3; k >= 0; --k) out.push_back(digits[(v >> (6 * k)) & 63]);
  }
  if (i < bytes.size()) {
    uint32_t v = uint32_t(uint8_t(bytes[i])) << 16;
    if (i + 1 < bytes.size()) v |= uint32_t(uint8_t(bytes[i + 1])) << 8;
    out.push_back(digits[(v >> 18) & 63]);
    out.push_back(digits[(v >> 12) & 63]);
    out.push_back(i + 1 < bytes.size() ? digits[(v >> 6) & 63] : '=');
    out.push_back('=');
  }
  return out;
}

cairo_status_t append(void* closure, const unsigned char* data, unsigned int n) {
  static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), n);
  return CAIRO_STATUS_SUCCESS;
}

std::string png_of(const Image& image) {
  SurfacePtr s(cairo_image_surface_create_for_data(
      reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(image.pixels.data())), CAIRO_FORMAT_ARGB32, image.width,
      image.height, image.width * 4));
  std::string png;
  cairo_surface_write_to_png_stream(s.get(), append, &png);
  return png;
}

class Writer {
 public:
  Writer(const SvgPage& page) : page_(page) {}

  std::string write(const DisplayList& list) {
    out_ = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out_ += "<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" width=\"" +
            inches(page_.width, page_.dpi) + "\" height=\"" + inches(page_.height, page_.dpi) + "\" viewBox=\"0 0 " +
            std::to_string(page_.width) + " " + std::to_string(page_.height) + "\" version=\"1.1\">\n";
    if (!page_.title.empty()) out_ += "<title>" + XmlEscape(page_.title) + "</title>\n";
    for (const DisplayItem& item : list.Items()) {
      switch (item.kind) {
        case DisplayItem::Kind::Save: saved_.push_back(open_); break;
        case DisplayItem::Kind::Restore:
          if (saved_.empty()) break;
          for (; open_ > saved_.back(); --open_) out_ += "</g>\n";
          saved_.pop_back();
          break;
        case DisplayItem::Kind::Clip: {
          std::string id = "clip" + std::to_string(++clips_);
          out_ += "<clipPath id=\"" + id + "\">\n  <path clip-rule=\"" + rule_name(item.rule) + "\" d=\"" +
                  path_data(item.path) + "\"/>\n</clipPath>\n<g clip-path=\"url(#" + id + ")\">\n";
          ++open_;
          break;
        }
        case DisplayItem::Kind::Fill:
          out_ += "<path style=\"fill-rule:" + std::string(rule_name(item.rule)) + ";fill:" + rgb(item.colour) +
                  ";fill-opacity:" + number(item.colour.a, 6) + ";\" d=\"" + path_data(item.path) + "\"/>\n";
          break;
        case DisplayItem::Kind::Stroke: stroke(item); break;
        case DisplayItem::Kind::Paint:
          out_ += "<rect x=\"0\" y=\"0\" width=\"" + std::to_string(page_.width) + "\" height=\"" +
                  std::to_string(page_.height) + "\" style=\"fill:" + rgb(item.colour) +
                  ";fill-opacity:" + number(item.colour.a, 6) + ";stroke:none;\"/>\n";
          break;
        case DisplayItem::Kind::Text: text(item); break;
        case DisplayItem::Kind::Image:
          out_ += "<image width=\"" + number(item.w) + "\" height=\"" + number(item.h) + "\" x=\"" + number(item.x) +
                  "\" y=\"" + number(item.y) + "\" preserveAspectRatio=\"none\" xlink:href=\"data:image/png;base64," +
                  base64(png_of(*item.image)) + "\"/>\n";
          break;
      }
    }
    for (; open_ > 0; --open_) out_ += "</g>\n";
    out_ += "</svg>\n";
    return std::move(out_);
  }

 private:
  void stroke(const DisplayItem& item) {
    const StrokeStyle& s = item.stroke;
    std::string style = "fill:none;stroke-width:" + number(s.width) + ";stroke-linecap:" +
                        (s.cap == LineCap::Round ? "round" : s.cap == LineCap::Square ? "square" : "butt") +
                        ";stroke-linejoin:" +
                        (s.join == LineJoin::Round ? "round" : s.join == LineJoin::Bevel ? "bevel" : "miter") +
                        ";stroke:" + rgb(item.colour) + ";stroke-opacity:" + number(item.colour.a, 6) +
                        ";stroke-miterlimit:" + number(s.miter_limit) + ";";
    if (!s.dash.empty()) {
      style += "stroke-dasharray:";
      for (size_t i = 0; i < s.dash.size(); ++i) style += (i ? "," : "") + number(s.dash[i]);
      style += ";";
    }
    out_ += "<path style=\"" + style + "\" d=\"" + path_data(item.path) + "\"/>\n";
  }

  // One text element per run: upright text at its glyphs' places, turned text in a
  // frame turned about its first glyph.
  void text(const DisplayItem& item) {
    const TextRun& text = item.text;
    const double a = text.angle * M_PI / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const bool upright = text.angle == 0;
    const std::vector<GlyphRun>& runs = text.layout->Runs();
    for (size_t r = 0; r < runs.size(); ++r) {
      const GlyphRun& run = runs[r];
      if (run.utf8.empty() || run.positions.empty() || r >= item.shown.size() || !item.shown[r]) continue;
      auto block = [&](size_t i) { return XY{text.offset.x + run.positions[i].x, text.offset.y + run.positions[i].y}; };
      XY first = block(0);
      XY origin{text.anchor.x + c * first.x + s * first.y, text.anchor.y - s * first.x + c * first.y};
      std::string xs, ys;
      bool same_y = true;
      size_t count = one_to_one(run) ? run.positions.size() : 1;
      for (size_t i = 0; i < count; ++i) {
        XY p = block(i);
        XY at = upright ? XY{text.anchor.x + p.x, text.anchor.y + p.y} : XY{p.x - first.x, p.y - first.y};
        if (i) xs += ' ', ys += ' ';
        xs += number(at.x);
        ys += number(at.y);
        if (std::fabs(p.y - first.y) > 1e-3) same_y = false;
      }
      if (same_y) ys = ys.substr(0, ys.find(' '));
      std::string chars;
      for (char ch : run.utf8) chars.push_back(static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch);
      std::string style = "fill:" + rgb(text.colour) + ";fill-opacity:" + number(text.colour.a, 6) + ";";
      if (text.halo)
        style += "stroke:" + rgb(text.halo->colour) + ";stroke-opacity:" + number(text.halo->colour.a, 6) +
                 ";stroke-width:" + number(2 * text.halo->width) + ";stroke-linejoin:round;paint-order:stroke;";
      out_ += "<text xml:space=\"preserve\" style=\"" + style + "\"";
      // The font the document asks for first, then the face that set the glyphs for a
      // reader that lacks it, then a generic family rather than the reader's default.
      if (!run.family.empty())
        out_ += " font-family=\"" + XmlEscape(CssFontFamilies(text.layout->Block().font.family, run.family)) + "\"";
      if (run.weight != 400) out_ += " font-weight=\"" + std::to_string(run.weight) + "\"";
      if (run.italic) out_ += " font-style=\"italic\"";
      out_ += " font-size=\"" + number(run.size) + "\"";
      if (!upright)
        out_ += " transform=\"matrix(" + number(c) + " " + number(-s) + " " + number(s) + " " + number(c) + " " +
                number(origin.x) + " " + number(origin.y) + ")\"";
      out_ += " x=\"" + xs + "\" y=\"" + ys + "\">" + XmlEscape(chars) + "</text>\n";
    }
  }

  const SvgPage& page_;
  std::string out_;
  int open_ = 0;  // groups open for clips
  std::vector<int> saved_;
  int clips_ = 0;
};

}  // namespace

std::string XmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::string SvgFromList(const DisplayList& list, const SvgPage& page) { return Writer(page).write(list); }

std::string SvgFromRecording(cairo_surface_t* recording, const SvgPage& page) {
  std::string svg;
  {
    SurfacePtr out(cairo_svg_surface_create_for_stream(append, &svg, page.width / page.dpi, page.height / page.dpi));
    cairo_svg_surface_restrict_to_version(out.get(), CAIRO_SVG_VERSION_1_1);
    cairo_svg_surface_set_document_unit(out.get(), CAIRO_SVG_UNIT_IN);
    {
      CairoPtr cr(cairo_create(out.get()));
      cairo_scale(cr.get(), 1 / page.dpi, 1 / page.dpi);
      cairo_set_source_surface(cr.get(), recording, 0, 0);
      cairo_paint(cr.get());
    }
    cairo_surface_finish(out.get());
    cairo_status_t st = cairo_surface_status(out.get());
    if (st != CAIRO_STATUS_SUCCESS)
      throw std::runtime_error(std::string("writing the SVG failed: ") + cairo_status_to_string(st));
  }
  return svg;
}

}  // namespace host::render::detail
