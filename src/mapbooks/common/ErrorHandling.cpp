// SPDX-License-Identifier: GPL-3.0-or-later
#include "mapbooks/common/ErrorHandling.h"

#include "host/ui/boxes.h"
#include "mapbooks/common/SharedState.h"

namespace mapbooks::ErrorHandling {

void ShowUnexpectedError(bool, const std::string& location, int32_t number, const std::string&,
                         const std::string& description, int16_t, int16_t, const host::vb::Variant&,
                         const host::vb::Variant&, const host::vb::Variant&) {
  const SharedState& s = State();
  const std::string crlf = "\r\n";
  std::string message = "We're sorry, an unexpected error has occurred." + crlf + crlf +
                        "Please email " + SupportMailAddress() + " and we'll" + crlf +
                        "be happy to help out." + crlf + crlf +
                        "Please let us know the following:" + crlf + crlf +
                        "APPLICATION: " + s.ProductName + " " + s.VersionText + crlf +
                        "ERROR NUMBER: " + std::to_string(number) + crlf +
                        "MODULE: " + location + crlf +
                        "ERROR DESCRIPTION: " + description + crlf + crlf +
                        "If possible, please attach a screenshot of this" + crlf +
                        "message with your ArcMap project in the background." + crlf +
                        "You can do this by pressing <CTRL> and <Prnt Screen>" + crlf +
                        "and then pasting the image into a graphics application" + crlf +
                        "such as Paint. Saving the image as a JPG is preferrable." + crlf + crlf +
                        "Thank you!";
  host::ui::MsgBox(message, host::ui::vbOKOnly);
}

std::string ErrorLineText(int32_t line) { return line == 0 ? std::string() : "Line : " + std::to_string(line); }

std::string Location(const std::string& procedure, const std::string& module, int32_t line) {
  return procedure + " " + module + " " + ErrorLineText(line);
}

void Report(const std::string& procedure, const std::string& module, const host::vb::Error& e) {
  ShowUnexpectedError(true, Location(procedure, module), e.number(), e.source(), e.description(), 1, 0, 0, 0, 0);
}

}  // namespace mapbooks::ErrorHandling
