// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// What the dialogs and the shared modules may ask of the main window. They reach it
// through this and the shared state only, so that the window's folder sits above
// theirs and nothing below it needs its controls.

#include <string>

namespace host::ui {
class ModelessFrame;
}

namespace mapbooks {

class IMainWindow {
 public:
  virtual ~IMainWindow() = default;
  // The modeless frame that holds the window; made at the first call.
  virtual host::ui::ModelessFrame& Frame() = 0;
  // Lists the Grids folder again (a grid was written or removed).
  virtual void RefreshGridList() = 0;
  // The export folder typed in, as if by the user.
  virtual void SetExportFolderText(const std::string& folder) = 0;
  // The advanced print and export options, set on the window's controls (their
  // events run as if the user had changed them).
  virtual void SetAdvancedOptions(int even, int odd, int reverse, const std::string& delay) = 0;
};

}  // namespace mapbooks
