// SPDX-License-Identifier: GPL-3.0-or-later
// Scripts of user actions as "zelvane-host run --script" reads them: every line checked,
// nothing played. A line not understood fails with a ScriptError naming it.

#include <cstddef>
#include <cstdint>
#include <iostream>
#include <sstream>
#include <string>

#include "fuzz_support.h"
#include "host/app/application.h"
#include "host/app/script.h"
#include "host/ui/user.h"
#include "host/vb/error.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz_support::Folder();  // the host's data folder first
  static host::app::Application app;
  std::ostringstream out;
  host::app::Script script(app, out);
  try {
    script.Read(std::string(reinterpret_cast<const char*>(data), size));
  } catch (const host::ui::ScriptError&) {
  } catch (const host::vb::Error&) {
  }
  return 0;
}
