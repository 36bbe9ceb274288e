// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Colours, symbols, borders and the simple renderer: plain values, copied freely.
// Sizes and widths are in points (1/72 inch), as on paper.

#include <string>
#include <variant>

namespace host::carto {

// An RGB colour. Transparency is really an alpha: 255 is opaque, 0 fully transparent
// (a hollow fill).
class RgbColor {
 public:
  RgbColor() = default;
  RgbColor(int red, int green, int blue, int transparency = 255);
  // From the packed value red + 256 * green + 65536 * blue (the RGB function's result).
  static RgbColor FromRGB(long packed);

  int Red() const { return red_; }
  int Green() const { return green_; }
  int Blue() const { return blue_; }
  int Transparency() const { return transparency_; }
  // Each component 0 to 255; anything else fails with Invalid procedure call (5).
  void SetRed(int v);
  void SetGreen(int v);
  void SetBlue(int v);
  void SetTransparency(int v);
  long RGB() const { return long(red_) + 256L * green_ + 65536L * blue_; }
  void SetRGB(long packed);
  bool UseWindowsDithering() const { return dithering_; }
  void SetUseWindowsDithering(bool v) { dithering_ = v; }
  bool IsTransparent() const { return transparency_ == 0; }

  bool operator==(const RgbColor&) const = default;

 private:
  int red_ = 0, green_ = 0, blue_ = 0, transparency_ = 255;
  bool dithering_ = true;
};

// The packed value, as the RGB function gives it.
inline long RGB(int red, int green, int blue) { return long(red) + 256L * green + 65536L * blue; }

enum class LineStyle : int { Solid = 0, Dash = 1, Dot = 2, DashDot = 3, DashDotDot = 4, Null = 5 };

class SimpleLineSymbol {
 public:
  SimpleLineSymbol() = default;  // black, 1 point, solid
  SimpleLineSymbol(RgbColor color, double width);
  const RgbColor& Color() const { return color_; }
  void SetColor(const RgbColor& c) { color_ = c; }
  double Width() const { return width_; }
  void SetWidth(double w);  // 0 or more
  LineStyle Style() const { return style_; }
  void SetStyle(LineStyle s) { style_ = s; }
  bool operator==(const SimpleLineSymbol&) const = default;

 private:
  RgbColor color_;
  double width_ = 1.0;
  LineStyle style_ = LineStyle::Solid;
};

enum class FillStyle : int { Solid = 0, Null = 1 };

class SimpleFillSymbol {
 public:
  SimpleFillSymbol();  // solid grey with a black outline of 1 point
  explicit SimpleFillSymbol(RgbColor color);
  const RgbColor& Color() const { return color_; }
  void SetColor(const RgbColor& c) { color_ = c; }
  const SimpleLineSymbol& Outline() const { return outline_; }
  SimpleLineSymbol& Outline() { return outline_; }
  void SetOutline(const SimpleLineSymbol& s) { outline_ = s; }
  FillStyle Style() const { return style_; }
  void SetStyle(FillStyle s) { style_ = s; }
  // Nothing of the inside is drawn: a null style or a fully transparent colour.
  bool IsHollow() const { return style_ == FillStyle::Null || color_.IsTransparent(); }
  bool operator==(const SimpleFillSymbol&) const = default;

 private:
  RgbColor color_;
  SimpleLineSymbol outline_;
  FillStyle style_ = FillStyle::Solid;
};

enum class MarkerStyle : int { Circle = 0, Square = 1, Cross = 2, X = 3, Diamond = 4 };

class SimpleMarkerSymbol {
 public:
  SimpleMarkerSymbol() = default;  // a black circle of 8 points without outline
  const RgbColor& Color() const { return color_; }
  void SetColor(const RgbColor& c) { color_ = c; }
  double Size() const { return size_; }
  void SetSize(double s);  // 0 or more
  MarkerStyle Style() const { return style_; }
  void SetStyle(MarkerStyle s) { style_ = s; }
  bool Outline() const { return outline_; }
  void SetOutline(bool v) { outline_ = v; }
  const RgbColor& OutlineColor() const { return outline_color_; }
  void SetOutlineColor(const RgbColor& c) { outline_color_ = c; }
  double OutlineSize() const { return outline_size_; }
  void SetOutlineSize(double s);
  bool operator==(const SimpleMarkerSymbol&) const = default;

 private:
  RgbColor color_;
  double size_ = 8.0;
  MarkerStyle style_ = MarkerStyle::Circle;
  bool outline_ = false;
  RgbColor outline_color_;
  double outline_size_ = 1.0;
};

// A font as the text symbol takes it; setting it on a symbol also sets the symbol's size.
struct Font {
  std::string Name = "Arial";
  double Size = 10.0;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool operator==(const Font&) const = default;
};

enum class HorizontalAlignment : int { Left = 0, Center = 1, Right = 2, Full = 3 };
enum class VerticalAlignment : int { Top = 0, Center = 1, Baseline = 2, Bottom = 3 };

class TextSymbol {
 public:
  TextSymbol() = default;  // black Arial of 10 points, centred on the baseline
  const RgbColor& Color() const { return color_; }
  void SetColor(const RgbColor& c) { color_ = c; }
  double Size() const { return font_.Size; }
  void SetSize(double points);  // more than 0
  // The font with the symbol's size.
  const carto::Font& Font() const { return font_; }
  void SetFont(const carto::Font& f);
  const std::string& FontName() const { return font_.Name; }
  bool Bold() const { return font_.Bold; }
  HorizontalAlignment HorizontalAlign() const { return halign_; }
  void SetHorizontalAlignment(HorizontalAlignment a) { halign_ = a; }
  VerticalAlignment VerticalAlign() const { return valign_; }
  void SetVerticalAlignment(VerticalAlignment a) { valign_ = a; }
  double Angle() const { return angle_; }  // degrees, counter-clockwise
  void SetAngle(double degrees) { angle_ = degrees; }
  bool operator==(const TextSymbol&) const = default;

 private:
  RgbColor color_;
  carto::Font font_;
  HorizontalAlignment halign_ = HorizontalAlignment::Center;
  VerticalAlignment valign_ = VerticalAlignment::Baseline;
  double angle_ = 0;
};

// The border of a map frame or of a locator rectangle: a line symbol drawn along it.
class SymbolBorder {
 public:
  SymbolBorder() = default;
  explicit SymbolBorder(SimpleLineSymbol line) : line_(std::move(line)) {}
  const SimpleLineSymbol& LineSymbol() const { return line_; }
  void SetLineSymbol(const SimpleLineSymbol& s) { line_ = s; }
  const RgbColor& Color() const { return line_.Color(); }
  double Width() const { return line_.Width(); }
  bool operator==(const SymbolBorder&) const = default;

 private:
  SimpleLineSymbol line_;
};

using Symbol = std::variant<SimpleFillSymbol, SimpleLineSymbol, SimpleMarkerSymbol>;

// One symbol for every feature of a layer.
class SimpleRenderer {
 public:
  SimpleRenderer() = default;
  explicit SimpleRenderer(carto::Symbol symbol) : symbol_(std::move(symbol)) {}
  const carto::Symbol& Symbol() const { return symbol_; }
  void SetSymbol(carto::Symbol s) { symbol_ = std::move(s); }
  // The symbol as a fill, line or marker symbol; null when it is another kind.
  const SimpleFillSymbol* FillSymbol() const { return std::get_if<SimpleFillSymbol>(&symbol_); }
  const SimpleLineSymbol* LineSymbol() const { return std::get_if<SimpleLineSymbol>(&symbol_); }
  const SimpleMarkerSymbol* MarkerSymbol() const { return std::get_if<SimpleMarkerSymbol>(&symbol_); }
  const std::string& Label() const { return label_; }  // the legend text
  void SetLabel(std::string s) { label_ = std::move(s); }
  bool operator==(const SimpleRenderer&) const = default;

 private:
  carto::Symbol symbol_;
  std::string label_;
};

}  // namespace host::carto
