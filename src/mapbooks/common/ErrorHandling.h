// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The one report of unexpected run-time errors, and the guards that procedures with an
// error handler are written inside.

#include <cstdint>
#include <string>

#include "host/vb/error.h"
#include "host/vb/variant.h"

namespace mapbooks::ErrorHandling {

// Shows the fixed report. Only the location, the number and the description reach the
// message; the other arguments are accepted as callers pass them and do not change it.
void ShowUnexpectedError(bool flag, const std::string& location, int32_t number, const std::string& source,
                         const std::string& description, int16_t style = 1, int16_t reserved = 0,
                         const host::vb::Variant& a = 0, const host::vb::Variant& b = 0,
                         const host::vb::Variant& c = 0);

// "Line : 120" for a line number, the empty text for 0.
std::string ErrorLineText(int32_t line);

// "procedure module " followed by the line text: the location the report names.
std::string Location(const std::string& procedure, const std::string& module, int32_t line = 0);

// The report for an error caught in procedure of module.
void Report(const std::string& procedure, const std::string& module, const host::vb::Error& e);

// Runs body as a procedure with an error handler: a run-time error ends it, goes to the
// report with the procedure's location, and false comes back.
template <typename Body>
bool Guard(const char* procedure, const char* module, Body&& body) {
  try {
    body();
    return true;
  } catch (const host::vb::Error& e) {
    Report(procedure, module, e);
    return false;
  }
}

// Runs body with a handler of its own: on a run-time error, onError(error) runs instead
// of the report.
template <typename Body, typename OnError>
bool GuardWith(Body&& body, OnError&& onError) {
  try {
    body();
    return true;
  } catch (const host::vb::Error& e) {
    onError(e);
    return false;
  }
}

// Runs body with errors ignored: a run-time error ends it silently.
template <typename Body>
bool IgnoreErrors(Body&& body) {
  try {
    body();
    return true;
  } catch (const host::vb::Error&) {
    return false;
  }
}

}  // namespace mapbooks::ErrorHandling
