// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The command plug-in interface: a class that the host creates with the application,
// asks for its properties when it shows the command, and clicks.

#include <memory>
#include <string>

namespace host::app {

class Application;

class ICommand {
 public:
  virtual ~ICommand() = default;
  virtual bool Enabled() = 0;
  virtual bool Checked() = 0;
  virtual std::string Name() = 0;
  virtual std::string Caption() = 0;
  virtual std::string Tooltip() = 0;
  virtual std::string Message() = 0;
  virtual std::string HelpFile() = 0;
  virtual long HelpContextID() = 0;
  // A picture handle (host::ui::FindPicture); 0 for none.
  virtual long Bitmap() = 0;
  virtual std::string Category() = 0;
  virtual void OnCreate(Application& hook) = 0;
  virtual void OnClick() = 0;
};

// What a plug-in library hands out for a class id: a maker of instances.
class ClassFactory {
 public:
  virtual ~ClassFactory() = default;
  virtual std::unique_ptr<ICommand> CreateInstance() = 0;
};

// A plug-in library exports these C functions (0 is success):
//   int DllRegisterServer(void);      registers its classes (RegisterCommandClass)
//   int DllUnregisterServer(void);    removes them (UnregisterCommandClass)
//   int DllGetClassObject(const char* classId, void** factory);  a ClassFactory* it keeps
//   int DllCanUnloadNow(void);        0 when no instance is alive, 1 otherwise
inline constexpr int S_OK = 0;
inline constexpr int S_FALSE = 1;
inline constexpr int E_FAIL = -1;
inline constexpr int CLASS_E_CLASSNOTAVAILABLE = -2;

}  // namespace host::app
