// SPDX-License-Identifier: GPL-3.0-or-later
// The plug-in library's exports: registration of the command class with the host,
// and the class factory the host creates the command with.

#include <memory>
#include <string>

#include "host/app/command.h"
#include "host/app/registry.h"
#include "mapbooks/command/ZelvaneMapbooks.h"

namespace {
class Factory : public host::app::ClassFactory {
 public:
  std::unique_ptr<host::app::ICommand> CreateInstance() override {
    return std::make_unique<mapbooks::ZelvaneMapbooks>();
  }
};
}  // namespace

extern "C" {

__attribute__((visibility("default"))) int DllRegisterServer() {
  host::app::RegisterCommandClass(mapbooks::kZelvaneMapbooksClassId, "ZelvaneGIS_ZelvaneMapbooks", "ZelvaneGIS",
                                  reinterpret_cast<const void*>(&DllRegisterServer));
  return host::app::S_OK;
}

__attribute__((visibility("default"))) int DllUnregisterServer() {
  host::app::UnregisterCommandClass(mapbooks::kZelvaneMapbooksClassId);
  return host::app::S_OK;
}

__attribute__((visibility("default"))) int DllGetClassObject(const char* classId, void** factory) {
  static Factory instance;
  if (!classId || !factory || std::string(classId) != mapbooks::kZelvaneMapbooksClassId)
    return host::app::CLASS_E_CLASSNOTAVAILABLE;
  *factory = &instance;
  return host::app::S_OK;
}

__attribute__((visibility("default"))) int DllCanUnloadNow() {
  return mapbooks::ZelvaneMapbooks::Instances() == 0 ? host::app::S_OK : host::app::S_FALSE;
}
}
