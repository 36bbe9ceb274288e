// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/symbols.h"

#include <cmath>
#include <string>

#include "host/vb/error.h"

namespace host::carto {

namespace {

int component(int v, const char* what) {
  if (v < 0 || v > 255)
    vb::raise(vb::err::InvalidCall, std::string("A colour's ") + what + " must lie between 0 and 255, not " +
                                        std::to_string(v));
  return v;
}

double size(double v, const char* what) {
  if (!(v >= 0) || !std::isfinite(v)) vb::raise(vb::err::InvalidCall, std::string("A symbol's ") + what + " cannot be negative");
  return v;
}

}  // namespace

RgbColor::RgbColor(int red, int green, int blue, int transparency)
    : red_(component(red, "red")),
      green_(component(green, "green")),
      blue_(component(blue, "blue")),
      transparency_(component(transparency, "transparency")) {}

RgbColor RgbColor::FromRGB(long packed) {
  RgbColor c;
  c.SetRGB(packed);
  return c;
}

void RgbColor::SetRed(int v) { red_ = component(v, "red"); }
void RgbColor::SetGreen(int v) { green_ = component(v, "green"); }
void RgbColor::SetBlue(int v) { blue_ = component(v, "blue"); }
void RgbColor::SetTransparency(int v) { transparency_ = component(v, "transparency"); }

void RgbColor::SetRGB(long packed) {
  if (packed < 0 || packed > 0xFFFFFF)
    vb::raise(vb::err::InvalidCall, "Not an RGB colour value: " + std::to_string(packed));
  red_ = int(packed & 0xFF);
  green_ = int((packed >> 8) & 0xFF);
  blue_ = int((packed >> 16) & 0xFF);
}

SimpleLineSymbol::SimpleLineSymbol(RgbColor color, double width) : color_(color) { SetWidth(width); }
void SimpleLineSymbol::SetWidth(double w) { width_ = size(w, "width"); }

SimpleFillSymbol::SimpleFillSymbol() : color_(190, 190, 190) {}
SimpleFillSymbol::SimpleFillSymbol(RgbColor color) : color_(color) {}

void SimpleMarkerSymbol::SetSize(double s) { size_ = size(s, "size"); }
void SimpleMarkerSymbol::SetOutlineSize(double s) { outline_size_ = size(s, "outline size"); }

void TextSymbol::SetSize(double points) {
  if (!(points > 0) || !std::isfinite(points))
    vb::raise(vb::err::InvalidCall, "A text symbol's size must be more than 0");
  font_.Size = points;
}

void TextSymbol::SetFont(const carto::Font& f) {
  carto::Font copy = f;
  if (!(copy.Size > 0) || !std::isfinite(copy.Size)) copy.Size = font_.Size;
  if (copy.Name.empty()) copy.Name = font_.Name;
  font_ = copy;
}

}  // namespace host::carto
