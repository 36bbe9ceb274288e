// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Dates as the command sees them: a day count from 30 Dec 1899 with the time
// as the fraction, written in the short en-US forms ("12/7/2026", "3:05:09 PM").

#include <optional>
#include <string>
#include <string_view>

namespace host::vb {

struct DateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0;
};

double DateSerial(const DateParts& parts);
DateParts ToParts(double date);

std::string DateText(double date);      // "12/7/2026"
std::string TimeText(double date);      // "3:05:09 PM"
// The text form of a date value: the date, then the time when it is not midnight.
std::string DateValueText(double date);

// The local date and time now; today's date only; the time only.
double Now();
double Today();
double TimeOfDay();

// "m/d/yyyy[ h:mm[:ss][ AM|PM]]" or "yyyy-mm-dd[ hh:mm[:ss]]"; empty when not a date.
std::optional<double> ParseDate(std::string_view text);

}  // namespace host::vb
