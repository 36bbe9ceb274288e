// SPDX-License-Identifier: GPL-3.0-or-later
#include "render_support.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "host/render/device.h"
#include "support/temp_dir.h"

namespace render_test {

void ShowText(host::render::Painter& p, const std::string& text, double size, double x, double y, double angle,
              const host::render::Colour& colour) {
  host::render::TextBlock block;
  block.text = text;
  block.font.family = "Liberation Sans";
  block.font.size = size;
  p.Text({p.LayOut(block), {x, y}, {0, 0}, angle, colour, std::nullopt});
}

void DrawPage(long hdc) {
  using namespace host::render;
  auto dc = LookupDevice(hdc);
  Painter& p = dc->GetPainter();
  const double w = dc->Width(), h = dc->Height();
  PainterSave keep(p);
  p.Paint({1, 1, 1, 1});
  p.Fill(Path().Rectangle(0.1 * w, 0.1 * h, 0.3 * w, 0.3 * h), {1, 0, 0, 1}, FillRule::Winding);
  p.Fill(Path().Arc(0.75 * w, 0.25 * h, 0.1 * std::min(w, h), 0, 2 * M_PI), {0, 0, 1, 1}, FillRule::Winding);
  StrokeStyle line;
  line.width = 0.02 * h;
  p.Stroke(Path().MoveTo(0.1 * w, 0.55 * h).LineTo(0.9 * w, 0.55 * h), {0, 0.5, 0, 1}, line);
  ShowText(p, kText, 0.05 * h, 0.1 * w, 0.75 * h);
}

const std::vector<Probe>& Probes() {
  static const std::vector<Probe> probes = {
      {0.02, 0.02, 255, 255, 255},  // paper
      {0.25, 0.25, 255, 0, 0},      // the square's middle
      {0.75, 0.25, 0, 0, 255},      // the disc's middle
      {0.5, 0.55, 0, 128, 0},       // on the line
      {0.5, 0.45, 255, 255, 255},   // between the square and the line
  };
  return probes;
}

// ---- XML ---------------------------------------------------------------------------

std::string XmlElement::Attribute(const std::string& n) const {
  for (const auto& [k, v] : attributes)
    if (k == n) return v;
  return "";
}

void XmlElement::FindAll(const std::string& n, std::vector<const XmlElement*>& out) const {
  for (const XmlElement& c : children) {
    if (c.name == n) out.push_back(&c);
    c.FindAll(n, out);
  }
}

namespace {

class XmlParser {
 public:
  explicit XmlParser(const std::string& s) : s_(s) {}

  XmlElement document() {
    misc();
    if (!at("<")) fail("no root element");
    XmlElement root = element();
    misc();
    if (i_ != s_.size()) fail("text after the root element");
    return root;
  }

 private:
  [[noreturn]] void fail(const std::string& why) {
    throw std::runtime_error("not well-formed XML at byte " + std::to_string(i_) + ": " + why);
  }
  bool at(const char* t) const { return s_.compare(i_, std::strlen(t), t) == 0; }
  void skip_space() {
    while (i_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[i_]))) ++i_;
  }
  void skip_past(const char* t) {
    size_t e = s_.find(t, i_);
    if (e == std::string::npos) fail(std::string("missing ") + t);
    i_ = e + std::strlen(t);
  }
  void misc() {
    for (;;) {
      skip_space();
      if (at("<?")) skip_past("?>");
      else if (at("<!--")) skip_past("-->");
      else if (at("<!DOCTYPE")) skip_past(">");
      else return;
    }
  }
  std::string name() {
    size_t b = i_;
    while (i_ < s_.size() && (std::isalnum(static_cast<unsigned char>(s_[i_])) || s_[i_] == ':' || s_[i_] == '-' ||
                              s_[i_] == '_' || s_[i_] == '.'))
      ++i_;
    if (b == i_) fail("a name was expected");
    return s_.substr(b, i_ - b);
  }
  std::string decode(const std::string& raw) {
    std::string out;
    for (size_t k = 0; k < raw.size(); ++k) {
      if (raw[k] == '<') fail("'<' in text");
      if (raw[k] != '&') {
        out.push_back(raw[k]);
        continue;
      }
      size_t semi = raw.find(';', k);
      if (semi == std::string::npos) fail("unterminated entity");
      std::string ent = raw.substr(k + 1, semi - k - 1);
      if (ent == "amp") out += '&';
      else if (ent == "lt") out += '<';
      else if (ent == "gt") out += '>';
      else if (ent == "quot") out += '"';
      else if (ent == "apos") out += '\'';
      else if (!ent.empty() && ent[0] == '#') {
        unsigned long cp = ent.size() > 1 && ent[1] == 'x' ? std::stoul(ent.substr(2), nullptr, 16) : std::stoul(ent.substr(1));
        if (cp < 0x80) out.push_back(static_cast<char>(cp));
        else out += "?";
      } else fail("unknown entity &" + ent + ";");
      k = semi;
    }
    return out;
  }
  XmlElement element() {
    XmlElement e;
    ++i_;  // '<'
    e.name = name();
    for (;;) {
      skip_space();
      if (at("/>")) {
        i_ += 2;
        return e;
      }
      if (at(">")) {
        ++i_;
        break;
      }
      std::string key = name();
      skip_space();
      if (!at("=")) fail("'=' expected after " + key);
      ++i_;
      skip_space();
      char q = i_ < s_.size() ? s_[i_] : '\0';
      if (q != '"' && q != '\'') fail("quoted value expected");
      size_t end = s_.find(q, i_ + 1);
      if (end == std::string::npos) fail("unterminated value");
      for (const auto& [k, v] : e.attributes)
        if (k == key) fail("attribute " + key + " twice");
      e.attributes.emplace_back(key, decode(s_.substr(i_ + 1, end - i_ - 1)));
      i_ = end + 1;
    }
    for (;;) {
      if (i_ >= s_.size()) fail("element " + e.name + " not closed");
      if (at("</")) {
        i_ += 2;
        if (name() != e.name) fail("end tag does not match " + e.name);
        skip_space();
        if (!at(">")) fail("'>' expected");
        ++i_;
        return e;
      }
      if (at("<!--")) skip_past("-->");
      else if (at("<![CDATA[")) {
        size_t b = i_ + 9;
        skip_past("]]>");
        e.text += s_.substr(b, i_ - 3 - b);
      } else if (at("<")) e.children.push_back(element());
      else {
        size_t b = i_;
        while (i_ < s_.size() && s_[i_] != '<') ++i_;
        e.text += decode(s_.substr(b, i_ - b));
      }
    }
  }

  const std::string& s_;
  size_t i_ = 0;
};

}  // namespace

XmlElement ParseXml(const std::string& text) { return XmlParser(text).document(); }

// ---- EMF ---------------------------------------------------------------------------

uint32_t U32(const std::string& b, size_t at) {
  if (at + 4 > b.size()) throw std::runtime_error("read past the end");
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + i]);
  return v;
}

int32_t I32(const std::string& b, size_t at) { return static_cast<int32_t>(U32(b, at)); }

std::vector<EmfRecord> EmfRecords(const std::string& bytes) {
  std::vector<EmfRecord> out;
  size_t at = 0;
  while (at < bytes.size()) {
    uint32_t type = U32(bytes, at), size = U32(bytes, at + 4);
    if (size < 8 || size % 4 != 0 || at + size > bytes.size()) throw std::runtime_error("bad record size");
    out.push_back({type, at, size});
    at += size;
  }
  return out;
}

}  // namespace render_test
