#include "host/app/registry.h"

#include <dlfcn.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "host/vb/error.h"

namespace fs = std::filesystem;

namespace host::app {

namespace {

[[noreturn]] void fail(const std::string& what) { vb::raise(vb::err::HostFailure, what); }

void save(const std::vector<CommandClassEntry>& entries) {
  nlohmann::json j = nlohmann::json::array();
  for (const auto& e : entries)
    j.push_back({{"classId", e.classId}, {"name", e.name}, {"category", e.category}, {"library", e.library}});
  fs::path path = RegistryPath();
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  fs::path tmp = path;
  tmp += ".tmp";
  {
    std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
    out << j.dump(2) << "\n";
    if (!out) fail("Cannot write the command registry " + tmp.string());
  }
  fs::rename(tmp, path, ec);
  if (ec) fail("Cannot write the command registry " + path.string() + ": " + ec.message());
}

std::string library_of(const void* anchor) {
  Dl_info info{};
  if (!dladdr(anchor, &info) || !info.dli_fname) fail("Cannot tell which library is registering");
  std::error_code ec;
  fs::path p = fs::canonical(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : p.string();
}

}  // namespace

fs::path HostDataFolder() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg) return fs::path(xdg) / "zelvane";
  const char* home = std::getenv("HOME");
  return fs::path(home && *home ? home : "/tmp") / ".local" / "share" / "zelvane";
}

fs::path RegistryPath() {
  if (const char* r = std::getenv("ZELVANE_REGISTRY"); r && *r) return r;
  return HostDataFolder() / "registry.json";
}

std::vector<CommandClassEntry> RegisteredCommands() {
  std::vector<CommandClassEntry> entries;
  fs::path path = RegistryPath();
  std::ifstream in(path);
  if (!in) return entries;
  try {
    nlohmann::json j = nlohmann::json::parse(in);
    for (const auto& e : j)
      entries.push_back({e.at("classId").get<std::string>(), e.at("name").get<std::string>(),
                         e.value("category", std::string()), e.at("library").get<std::string>()});
  } catch (const nlohmann::json::exception& ex) {
    fail("The command registry " + path.string() + " is damaged: " + ex.what());
  }
  return entries;
}

void RegisterCommandClass(const std::string& classId, const std::string& name, const std::string& category,
                          const void* anchor) {
  auto entries = RegisteredCommands();
  std::erase_if(entries, [&](const CommandClassEntry& e) { return e.classId == classId; });
  entries.push_back({classId, name, category, library_of(anchor)});
  save(entries);
}

void UnregisterCommandClass(const std::string& classId) {
  auto entries = RegisteredCommands();
  std::erase_if(entries, [&](const CommandClassEntry& e) { return e.classId == classId; });
  save(entries);
}

PluginLibrary::PluginLibrary(std::string path) : path_(std::move(path)) {
  handle_ = dlopen(path_.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) fail("Cannot load the plug-in library " + path_ + ": " + dlerror());
  auto find = [&](const char* symbol) {
    void* f = dlsym(handle_, symbol);
    if (!f) fail("The library " + path_ + " is not a plug-in: it does not export " + symbol);
    return f;
  };
  register_ = reinterpret_cast<int (*)()>(find("DllRegisterServer"));
  unregister_ = reinterpret_cast<int (*)()>(find("DllUnregisterServer"));
  get_class_object_ = reinterpret_cast<int (*)(const char*, void**)>(find("DllGetClassObject"));
  can_unload_ = reinterpret_cast<int (*)()>(find("DllCanUnloadNow"));
}

PluginLibrary& PluginLibrary::Load(const std::string& path) {
  static std::map<std::string, std::unique_ptr<PluginLibrary>> loaded;
  std::error_code ec;
  fs::path canonical = fs::canonical(path, ec);
  if (ec) fail("Cannot load the plug-in library " + path + ": no such file");
  auto& slot = loaded[canonical.string()];
  if (!slot) slot.reset(new PluginLibrary(canonical.string()));
  return *slot;
}

int PluginLibrary::Register() { return register_(); }
int PluginLibrary::Unregister() { return unregister_(); }
int PluginLibrary::CanUnloadNow() { return can_unload_(); }

ClassFactory* PluginLibrary::GetClassObject(const std::string& classId) {
  void* factory = nullptr;
  if (get_class_object_(classId.c_str(), &factory) != S_OK || !factory)
    fail("The library " + path_ + " does not serve the class " + classId);
  return static_cast<ClassFactory*>(factory);
}

void RegisterLibrary(const std::string& path) {
  if (PluginLibrary::Load(path).Register() != S_OK) fail("The library " + path + " failed to register");
}

void UnregisterLibrary(const std::string& path) {
  if (PluginLibrary::Load(path).Unregister() != S_OK) fail("The library " + path + " failed to unregister");
}

}  // namespace host::app
