// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/vb/datetime.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "host/vb/text.h"

namespace host::vb {

namespace {
using days_t = std::chrono::sys_days;
const days_t kEpoch = std::chrono::year{1899} / std::chrono::December / 30;

bool valid(const DateParts& p) {
  auto ymd = std::chrono::year{p.year} / std::chrono::month{unsigned(p.month)} / std::chrono::day{unsigned(p.day)};
  return ymd.ok() && p.hour >= 0 && p.hour < 24 && p.minute >= 0 && p.minute < 60 && p.second >= 0 &&
         p.second < 60;
}
}  // namespace

double DateSerial(const DateParts& p) {
  days_t d = std::chrono::year{p.year} / std::chrono::month{unsigned(p.month)} / std::chrono::day{unsigned(p.day)};
  double whole = double((d - kEpoch).count());
  double frac = (p.hour * 3600 + p.minute * 60 + p.second) / 86400.0;
  // Before the epoch the fraction still counts forward within the day.
  return whole >= 0 ? whole + frac : whole - frac;
}

DateParts ToParts(double date) {
  double whole = std::trunc(date);
  double frac = std::fabs(date - whole);
  long secs = std::lround(frac * 86400.0);
  if (secs >= 86400) {
    secs -= 86400;
    whole += date >= 0 ? 1 : -1;
  }
  std::chrono::year_month_day ymd{kEpoch + std::chrono::days{long(whole)}};
  DateParts p;
  p.year = int(ymd.year());
  p.month = int(unsigned(ymd.month()));
  p.day = int(unsigned(ymd.day()));
  p.hour = int(secs / 3600);
  p.minute = int(secs / 60 % 60);
  p.second = int(secs % 60);
  return p;
}

std::string DateText(double date) {
  DateParts p = ToParts(date);
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d/%d/%d", p.month, p.day, p.year);
  return buf;
}

std::string TimeText(double date) {
  DateParts p = ToParts(date);
  int h12 = p.hour % 12 == 0 ? 12 : p.hour % 12;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%d:%02d:%02d %s", h12, p.minute, p.second, p.hour < 12 ? "AM" : "PM");
  return buf;
}

std::string DateValueText(double date) {
  DateParts p = ToParts(date);
  bool midnight = p.hour == 0 && p.minute == 0 && p.second == 0;
  if (std::trunc(date) == 0 && !midnight) return TimeText(date);
  return midnight ? DateText(date) : DateText(date) + " " + TimeText(date);
}

double Now() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return DateSerial({tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec});
}

double Today() { return std::trunc(Now()); }
double TimeOfDay() { return Now() - Today(); }

namespace {
// "h:mm[:ss]" with an optional AM/PM; false when the text is anything else.
bool parse_time(const std::string& rest, bool allow_ampm, DateParts& p) {
  if (rest.empty()) return true;
  int used = 0;
  p.second = 0;
  if (std::sscanf(rest.c_str(), "%d:%d:%d%n", &p.hour, &p.minute, &p.second, &used) != 3) {
    used = 0;
    if (std::sscanf(rest.c_str(), "%d:%d%n", &p.hour, &p.minute, &used) != 2) return false;
  }
  std::string suffix = UCase(Trim(rest.substr(size_t(used))));
  if (suffix.empty()) return true;
  if (!allow_ampm || (suffix != "AM" && suffix != "PM") || p.hour < 1 || p.hour > 12) return false;
  p.hour = p.hour % 12 + (suffix == "PM" ? 12 : 0);
  return true;
}
}  // namespace

std::optional<double> ParseDate(std::string_view text) {
  std::string t = Trim(text);
  DateParts p;
  int consumed = 0;
  bool iso = std::sscanf(t.c_str(), "%d-%d-%d%n", &p.year, &p.month, &p.day, &consumed) == 3;
  if (!iso && std::sscanf(t.c_str(), "%d/%d/%d%n", &p.month, &p.day, &p.year, &consumed) != 3) return std::nullopt;
  if (!parse_time(Trim(t.substr(size_t(consumed))), !iso, p) || !valid(p)) return std::nullopt;
  return DateSerial(p);
}

}  // namespace host::vb
