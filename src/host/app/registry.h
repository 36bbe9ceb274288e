// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The host's registry of command classes: a JSON file that registration writes and the
// host reads at start. Each entry names a class id, the command's name and category,
// and the plug-in library that serves it.

#include <filesystem>
#include <string>
#include <vector>

#include "host/app/command.h"

namespace host::app {

struct CommandClassEntry {
  std::string classId;
  std::string name;
  std::string category;
  std::string library;  // absolute path of the plug-in library
};

// The host's data folder ($XDG_DATA_HOME/zelvane or ~/.local/share/zelvane).
std::filesystem::path HostDataFolder();
// The registry file; ZELVANE_REGISTRY names another.
std::filesystem::path RegistryPath();

std::vector<CommandClassEntry> RegisteredCommands();
// Called by a library's DllRegisterServer; the library is the one that holds `anchor`
// (the address of any of its functions). Replaces an entry of the same class id.
void RegisterCommandClass(const std::string& classId, const std::string& name, const std::string& category,
                          const void* anchor);
void UnregisterCommandClass(const std::string& classId);

// A loaded plug-in library. Libraries stay loaded for the life of the process, so that
// objects they made never outlive their code.
class PluginLibrary {
 public:
  // Loads the library and finds its four exports; a clear host error when it cannot.
  static PluginLibrary& Load(const std::string& path);
  const std::string& Path() const { return path_; }
  int Register();
  int Unregister();
  int CanUnloadNow();
  ClassFactory* GetClassObject(const std::string& classId);

 private:
  explicit PluginLibrary(std::string path);
  std::string path_;
  void* handle_ = nullptr;
  int (*register_)() = nullptr;
  int (*unregister_)() = nullptr;
  int (*get_class_object_)(const char*, void**) = nullptr;
  int (*can_unload_)() = nullptr;
};

// Registers or unregisters a library by path (what "zelvane-host register LIB" does);
// a name without a folder is also looked for among the plug-ins installed with the
// host. Registering also installs, as an installer would, the tools a registered
// command starts: the PDF toolkit beside the running program (or among the installed
// host's helper programs) goes into the map-book command's Bin folder as "pdftk.exe"
// (see InstallTools).
void RegisterLibrary(const std::string& path);
// Copies the tools found in toolsFolder into the Bin folders of the commands the
// library (its canonical path) registered that start them, under "Program Files" on
// the first drive that has one. A tool already there is left as it is; a tool
// missing from toolsFolder is skipped.
void InstallTools(const std::filesystem::path& toolsFolder, const std::string& library);
void UnregisterLibrary(const std::string& path);

}  // namespace host::app
