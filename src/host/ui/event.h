// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Control and form events: one handler each, raised by the host when the user acts
// or when code changes a property that raises the event.

#include <functional>
#include <string>
#include <utility>

namespace host::ui {

// Runs one event handler. A run-time error that escapes a handler is the host's to
// report (as an unhandled error box), so it never reaches the code that raised the event.
void RunHandler(const std::function<void()>& body);

// While a form applies its design values, its controls raise no events.
bool EventsSuppressed();
class SuppressEvents {
 public:
  SuppressEvents();
  ~SuppressEvents();
  SuppressEvents(const SuppressEvents&) = delete;
  SuppressEvents& operator=(const SuppressEvents&) = delete;
};

template <typename... Args>
class Event {
 public:
  using Handler = std::function<void(Args...)>;
  Event& operator=(Handler h) {
    handler_ = std::move(h);
    return *this;
  }
  explicit operator bool() const { return static_cast<bool>(handler_); }
  void Raise(Args... args) const {
    if (!handler_ || EventsSuppressed()) return;
    RunHandler([&] { handler_(args...); });
  }

 private:
  Handler handler_;
};

}  // namespace host::ui
