#include "host/render/detail/svg_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string_view>
#include <vector>

namespace host::render::detail {

namespace {

constexpr std::string_view kUse = "<use xlink:href=\"#glyph";

struct GlyphGroup {
  size_t begin = 0;  // "<g style=..."
  size_t end = 0;    // after "</g>"
  std::string style;
  std::vector<XY> positions;
};

bool only_space(std::string_view s) {
  for (char c : s)
    if (c != ' ' && c != '\n' && c != '\t' && c != '\r') return false;
  return true;
}

double attribute(std::string_view tag, std::string_view name, bool& ok) {
  std::string key = " " + std::string(name) + "=\"";
  size_t at = tag.find(key);
  if (at == std::string_view::npos) {
    ok = false;
    return 0;
  }
  std::string value(tag.substr(at + key.size(), tag.find('"', at + key.size()) - at - key.size()));
  char* end = nullptr;
  double v = std::strtod(value.c_str(), &end);
  if (!end || *end != '\0') ok = false;
  return v;
}

// Cairo's glyph groups: <g style="fill:...">, one <use> per glyph, </g>.
bool find_groups(const std::string& svg, std::vector<GlyphGroup>& groups) {
  size_t pos = 0;
  while ((pos = svg.find(kUse, pos)) != std::string::npos) {
    GlyphGroup g;
    size_t open = svg.rfind("<g", pos);
    if (open == std::string::npos) return false;
    size_t open_end = svg.find('>', open);
    if (open_end == std::string::npos || open_end > pos || !only_space(std::string_view(svg).substr(open_end + 1, pos - open_end - 1)))
      return false;
    std::string_view open_tag = std::string_view(svg).substr(open, open_end - open + 1);
    size_t style_at = open_tag.find(" style=\"");
    if (style_at == std::string_view::npos) return false;
    size_t style_end = open_tag.find('"', style_at + 8);
    g.style = std::string(open_tag.substr(style_at + 8, style_end - style_at - 8));
    g.begin = open;
    size_t at = pos;
    for (;;) {
      size_t tag_end = svg.find("/>", at);
      if (tag_end == std::string::npos) return false;
      bool ok = true;
      std::string_view tag = std::string_view(svg).substr(at, tag_end - at);
      XY p{attribute(tag, "x", ok), attribute(tag, "y", ok)};
      if (!ok) return false;
      g.positions.push_back(p);
      at = tag_end + 2;
      size_t next = at;
      while (next < svg.size() && (svg[next] == ' ' || svg[next] == '\n' || svg[next] == '\t' || svg[next] == '\r')) ++next;
      if (svg.compare(next, kUse.size(), kUse) == 0) {
        at = next;
        continue;
      }
      if (svg.compare(next, 4, "</g>") != 0) return false;
      g.end = next + 4;
      break;
    }
    pos = g.end;
    groups.push_back(std::move(g));
  }
  return true;
}

std::string number(double v) {
  if (std::fabs(v) < 5e-7) v = 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.3f", v);
  std::string s = buf;
  while (!s.empty() && s.back() == '0') s.pop_back();
  if (!s.empty() && s.back() == '.') s.pop_back();
  if (s == "-0") s = "0";
  return s;
}

size_t code_points(std::string_view utf8) {
  size_t n = 0;
  for (char c : utf8)
    if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++n;
  return n;
}

std::string text_element(const GlyphGroup& g, const TextRun& run) {
  const cairo_matrix_t& em = run.em;
  double size = std::sqrt(std::fabs(em.xx * em.yy - em.xy * em.yx));
  // The em square's directions at unit size; identity for upright text.
  double a = em.xx / size, b = em.yx / size, c = em.xy / size, d = em.yy / size;
  bool upright = std::fabs(a - 1) < 1e-6 && std::fabs(d - 1) < 1e-6 && std::fabs(b) < 1e-6 && std::fabs(c) < 1e-6;
  const XY origin = g.positions.front();
  double det = a * d - b * c;
  auto local = [&](const XY& p) {
    if (upright) return p;
    double x = p.x - origin.x, y = p.y - origin.y;
    return XY{(d * x - c * y) / det, (-b * x + a * y) / det};
  };

  // One x per character when every character has a glyph of its own; otherwise the
  // first character is placed and the rest follow.
  bool one_to_one = !run.clusters.empty();
  for (auto [bytes, glyphs] : run.clusters) {
    (void)bytes;
    if (glyphs != 1) one_to_one = false;
  }
  if (one_to_one) {
    size_t byte = 0;
    for (auto [bytes, glyphs] : run.clusters) {
      (void)glyphs;
      if (code_points(std::string_view(run.utf8).substr(byte, static_cast<size_t>(bytes))) != 1) one_to_one = false;
      byte += static_cast<size_t>(bytes);
    }
  }
  std::string xs, ys;
  bool same_y = true;
  size_t count = one_to_one ? g.positions.size() : 1;
  for (size_t i = 0; i < count; ++i) {
    XY p = local(g.positions[i]);
    if (i) xs += ' ';
    xs += number(p.x);
    if (i) ys += ' ';
    ys += number(p.y);
    if (std::fabs(p.y - local(g.positions.front()).y) > 1e-3) same_y = false;
  }
  if (same_y) ys = number(local(g.positions.front()).y);

  std::string text;
  for (char ch : run.utf8) text.push_back(static_cast<unsigned char>(ch) < 0x20 ? ' ' : ch);

  std::string out = "<text xml:space=\"preserve\" style=\"" + g.style + "\"";
  if (run.font) {
    out += " font-family=\"" + XmlEscape(run.font->family) + "\"";
    if (run.font->weight != 400) out += " font-weight=\"" + std::to_string(run.font->weight) + "\"";
    if (run.font->italic) out += " font-style=\"italic\"";
  }
  out += " font-size=\"" + number(size) + "\"";
  if (!upright)
    out += " transform=\"matrix(" + number(a) + " " + number(b) + " " + number(c) + " " + number(d) + " " + number(origin.x) +
           " " + number(origin.y) + ")\"";
  out += " x=\"" + xs + "\" y=\"" + ys + "\">" + XmlEscape(text) + "</text>";
  return out;
}

// Drops the glyph outlines that nothing uses any more.
void drop_unused_symbols(std::string& svg) {
  std::set<std::string> used;
  for (size_t pos = 0; (pos = svg.find(kUse, pos)) != std::string::npos; pos += kUse.size()) {
    size_t start = pos + kUse.size() - 5;  // at "glyph"
    used.insert(svg.substr(start, svg.find('"', start) - start));
  }
  constexpr std::string_view kSymbol = "<symbol overflow=\"visible\" id=\"";
  std::string out;
  out.reserve(svg.size());
  size_t pos = 0;
  for (size_t at; (at = svg.find(kSymbol, pos)) != std::string::npos;) {
    size_t id_start = at + kSymbol.size();
    std::string id = svg.substr(id_start, svg.find('"', id_start) - id_start);
    size_t close = svg.find("</symbol>", at);
    if (close == std::string::npos) break;
    size_t end = close + 9;
    if (end < svg.size() && svg[end] == '\n') ++end;
    out.append(svg, pos, at - pos);
    if (used.count(id)) out.append(svg, at, end - at);
    pos = end;
  }
  out.append(svg, pos, std::string::npos);
  svg = std::move(out);
}

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

bool PutTextIntoSvg(std::string& svg, const Trace& trace) {
  if (!trace.read_whole) return false;
  std::vector<const TextRun*> runs;
  for (const TextRun& run : trace.texts) {
    if (!run.main_context) return false;
    if (!run.glyphs.empty()) runs.push_back(&run);
  }
  if (runs.empty()) return true;
  std::vector<GlyphGroup> groups;
  if (!find_groups(svg, groups) || groups.size() != runs.size()) return false;
  for (size_t i = 0; i < groups.size(); ++i) {
    const TextRun& run = *runs[i];
    const GlyphGroup& g = groups[i];
    if (g.positions.size() != run.glyphs.size()) return false;
    if (std::fabs(g.positions[0].x - run.positions[0].x) > 0.05 || std::fabs(g.positions[0].y - run.positions[0].y) > 0.05)
      return false;
  }
  std::string out;
  out.reserve(svg.size());
  size_t pos = 0;
  for (size_t i = 0; i < groups.size(); ++i) {
    const TextRun& run = *runs[i];
    const GlyphGroup& g = groups[i];
    out.append(svg, pos, g.begin - pos);
    if (run.utf8.empty() || run.backward) out.append(svg, g.begin, g.end - g.begin);
    else out += text_element(g, run);
    pos = g.end;
  }
  out.append(svg, pos, std::string::npos);
  svg = std::move(out);
  drop_unused_symbols(svg);
  return true;
}

void SetSvgSize(std::string& svg, const std::string& width, const std::string& height) {
  size_t root = svg.find("<svg");
  if (root == std::string::npos) return;
  size_t root_end = svg.find('>', root);
  auto set = [&](const std::string& name, const std::string& value) {
    std::string key = " " + name + "=\"";
    size_t at = svg.find(key, root);
    if (at == std::string::npos || at > root_end) return;
    size_t start = at + key.size();
    size_t end = svg.find('"', start);
    svg.replace(start, end - start, value);
    root_end = svg.find('>', root);
  };
  set("width", width);
  set("height", height);
}

}  // namespace host::render::detail
