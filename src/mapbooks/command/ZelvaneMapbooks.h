// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command the host creates and clicks: it sets up the shared state at creation and
// opens the main window at every click.

#include <cstdint>
#include <string>

#include "host/app/command.h"

namespace mapbooks {

// The class id the plug-in library registers and serves.
inline constexpr const char* kZelvaneMapbooksClassId = "{6E1F3C52-8A0B-4D27-9E45-2B7C0D9A31F8}";

class ZelvaneMapbooks : public host::app::ICommand {
 public:
  ZelvaneMapbooks();
  ~ZelvaneMapbooks() override;  // Class_Terminate: nothing to do

  bool Enabled() override;
  bool Checked() override;
  std::string Name() override;
  std::string Caption() override;
  std::string Tooltip() override;
  std::string Message() override;
  std::string HelpFile() override;
  long HelpContextID() override;
  long Bitmap() override;
  std::string Category() override;
  void OnCreate(host::app::Application& hook) override;  // ICommand_OnCreate
  void OnClick() override;                               // ICommand_OnClick

  // Live instances (the library may be unloaded when none is left).
  static int Instances();

 private:
  host::app::Application* m_pApp = nullptr;
};

// Finds the program folder on the first drive that has a Program Files folder, making
// the company and product folders (and the config file) when missing: 1 when found or
// made, -1 when no drive has a Program Files folder.
int16_t fFindProgramFolder(const std::string& company, const std::string& product, const std::string& configName,
                           const std::string& subFolder);
// The number of values sequential input reads from the file; -1 when it cannot be read.
// Counted in 32 bits: a long config must not wrap and look short.
int32_t fCountFileItems(const std::string& path);

}  // namespace mapbooks
