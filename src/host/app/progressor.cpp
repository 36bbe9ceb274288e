// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/app/progressor.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

namespace host::app {

void StepProgressor::SetMinRange(long v) {
  min_ = v;
  changed();
}
void StepProgressor::SetMaxRange(long v) {
  max_ = v;
  changed();
}
void StepProgressor::SetPosition(long v) {
  position_ = v;
  changed();
}
void StepProgressor::SetMessage(std::string m) {
  message_ = std::move(m);
  last_percent_ = -1;
  changed();
}

void StepProgressor::Show() {
  visible_ = true;
  last_percent_ = -1;
  changed();
}

void StepProgressor::Hide() {
  visible_ = false;
  changed();
}

long StepProgressor::Step() { return StepBy(1); }

long StepProgressor::StepBy(long count) {
  position_ = std::min(max_, position_ + step_ * count);
  changed();
  return position_;
}

void StepProgressor::changed() {
  if (listener_) listener_(*this);
  if (!draw_) return;
  if (!visible_) {
    if (drawn_) std::fputs("\r\033[K", stderr);
    drawn_ = false;
    return;
  }
  long span = std::max(1L, max_ - min_);
  int percent = int(std::clamp((position_ - min_) * 100 / span, 0L, 100L));
  if (percent == last_percent_) return;  // redraw only when the bar moves
  last_percent_ = percent;
  constexpr int width = 30;
  int filled = percent * width / 100;
  std::fprintf(stderr, "\r[%.*s%*s] %3d%% %s\033[K", filled, "##############################", width - filled, "",
               percent, message_.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

StatusBar::StatusBar() { progressor_.SetDrawOnTerminal(isatty(STDERR_FILENO) != 0); }

}  // namespace host::app
