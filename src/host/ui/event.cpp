// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/ui/event.h"

#include <string>

#include "host/ui/boxes.h"
#include "host/vb/error.h"

namespace host::ui {

namespace {
int g_suppressed = 0;
}

bool EventsSuppressed() { return g_suppressed > 0; }
SuppressEvents::SuppressEvents() { ++g_suppressed; }
SuppressEvents::~SuppressEvents() { --g_suppressed; }

void RunHandler(const std::function<void()>& body) {
  try {
    body();
  } catch (const vb::Error& e) {
    // What the runtime shows for an error no handler took.
    MsgBox("Run-time error '" + std::to_string(e.number()) + "':\r\n\r\n" + e.description(), vbOKOnly | vbCritical);
  }
}

}  // namespace host::ui
