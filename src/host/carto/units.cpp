// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/carto/units.h"

#include <array>
#include <cmath>

#include "host/vb/text.h"

namespace host::carto {

namespace {

constexpr std::array<const char*, 13> kNames = {
    "unknown", "inches",      "points", "feet",   "yards",          "miles",      "nautical miles",
    "millimeters", "centimeters", "meters", "kilometers", "decimal degrees", "decimeters"};

constexpr double kMetersPerInch = 0.0254;
constexpr double kMetersPerDegree = 6378137.0 * 3.14159265358979323846 / 180.0;

// Imperial units are whole numbers of inches; metric ones go through the metre, so
// that each family converts without a rounding step of its own.
struct Factor {
  double inches = 0;  // inches per unit, or
  double meters = 0;  // metres per unit
};

Factor FactorOf(Units u) {
  switch (u) {
    case Units::Inches: return {1, 0};
    case Units::Points: return {1.0 / 72.0, 0};
    case Units::Feet: return {12, 0};
    case Units::Yards: return {36, 0};
    case Units::Miles: return {63360, 0};
    case Units::NauticalMiles: return {0, 1852};
    case Units::Millimeters: return {0, 0.001};
    case Units::Centimeters: return {0, 0.01};
    case Units::Decimeters: return {0, 0.1};
    case Units::Kilometers: return {0, 1000};
    case Units::DecimalDegrees: return {0, kMetersPerDegree};
    case Units::Meters:
    case Units::Unknown: return {0, 1};
  }
  return {0, 1};
}

}  // namespace

std::string UnitsName(Units u) {
  int i = int(u);
  return i >= 0 && i < int(kNames.size()) ? kNames[size_t(i)] : "unknown";
}

std::optional<Units> UnitsFromCode(int code) {
  if (code < 0 || code >= int(kNames.size())) return std::nullopt;
  return Units(code);
}

std::optional<Units> ParseUnits(std::string_view text) {
  std::string t = vb::Trim(std::string(text));
  for (size_t i = 0; i < kNames.size(); ++i)
    if (vb::SameText(t, kNames[i])) return Units(int(i));
  if (vb::SameText(t, "metres")) return Units::Meters;
  if (vb::SameText(t, "degrees")) return Units::DecimalDegrees;
  if (!t.empty() && t.find_first_not_of("0123456789") == std::string::npos && t.size() < 4)
    return UnitsFromCode(std::stoi(t));
  return std::nullopt;
}

double ToInches(double length, Units u) {
  Factor f = FactorOf(u);
  return f.inches ? length * f.inches : length * f.meters / kMetersPerInch;
}

double FromInches(double inches, Units u) {
  Factor f = FactorOf(u);
  return f.inches ? inches / f.inches : inches * kMetersPerInch / f.meters;
}

Units UnitsOf(const geodata::SpatialReference& sr) {
  switch (sr.Unit()) {
    case geodata::LinearUnit::Feet: return Units::Feet;
    case geodata::LinearUnit::Meters: return Units::Meters;
    case geodata::LinearUnit::Degrees: return Units::DecimalDegrees;
    default: return Units::Unknown;
  }
}

}  // namespace host::carto
