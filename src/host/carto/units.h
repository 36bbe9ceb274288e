// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Units of length with the codes the command uses (3 feet, 9 metres, ...), and the
// conversions the scale rule needs: page units are inches.

#include <optional>
#include <string>
#include <string_view>

#include "host/geodata/geometry.h"

namespace host::carto {

enum class Units : int {
  Unknown = 0,
  Inches = 1,
  Points = 2,
  Feet = 3,
  Yards = 4,
  Miles = 5,
  NauticalMiles = 6,
  Millimeters = 7,
  Centimeters = 8,
  Meters = 9,
  Kilometers = 10,
  DecimalDegrees = 11,
  Decimeters = 12,
};

// "feet", "meters", ... ("unknown" for 0).
std::string UnitsName(Units u);
// A name as UnitsName gives it (without regard to case) or a code 0 to 12.
std::optional<Units> ParseUnits(std::string_view text);
std::optional<Units> UnitsFromCode(int code);

// Lengths in u as inches and back. Unknown units count as metres; a degree counts as
// its length on the equator.
double ToInches(double length, Units u);
double FromInches(double inches, Units u);

// The linear unit of a coordinate system (Unknown when it has none).
Units UnitsOf(const geodata::SpatialReference& sr);

}  // namespace host::carto
