// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The status bar's step progressor: a range, a step, a position and a message.
// The command line draws it on stderr when stderr is a terminal; the GUI listens.

#include <functional>
#include <string>

namespace host::app {

class StepProgressor {
 public:
  long MinRange() const { return min_; }
  void SetMinRange(long v);
  long MaxRange() const { return max_; }
  void SetMaxRange(long v);
  long StepValue() const { return step_; }
  void SetStepValue(long v) { step_ = v; }
  long Position() const { return position_; }
  void SetPosition(long v);
  const std::string& Message() const { return message_; }
  void SetMessage(std::string m);
  bool Visible() const { return visible_; }

  void Show();
  void Hide();
  // Moves the position on by the step, never past the maximum.
  long Step();
  // Moves it on by count steps at once, as one change.
  long StepBy(long count);

  // Called on every change (the GUI's status bar).
  void SetListener(std::function<void(const StepProgressor&)> l) { listener_ = std::move(l); }
  // Whether to draw on stderr; on by default when stderr is a terminal.
  void SetDrawOnTerminal(bool on) { draw_ = on; }

 private:
  void changed();
  long min_ = 0, max_ = 100, step_ = 1, position_ = 0;
  std::string message_;
  bool visible_ = false;
  bool draw_ = false;
  bool drawn_ = false;
  int last_percent_ = -1;
  std::function<void(const StepProgressor&)> listener_;
  friend class StatusBar;
};

class StatusBar {
 public:
  StatusBar();
  StepProgressor& GetProgressBar() { return progressor_; }
  const std::string& Message() const { return message_; }
  void SetMessage(std::string m) { message_ = std::move(m); }

 private:
  StepProgressor progressor_;
  std::string message_;
};

}  // namespace host::app
