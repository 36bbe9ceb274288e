// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/app/registry.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>

#include "host/vb/error.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"

namespace fs = std::filesystem;

namespace host::app {

namespace {

[[noreturn]] void fail(const std::string& what) { vb::raise(vb::err::HostFailure, what); }

// Why another user could change the file the host is about to trust (the registry, or
// a library it loads and runs), or "" when only this user (or root) can: the file and
// the folder holding it belong to either, and neither is writable by group or others,
// but for a folder whose sticky bit keeps others from replacing what is not theirs.
std::string writable_by_others(const fs::path& file) {
  const uid_t me = ::geteuid();
  auto owner_text = [](uid_t uid) { return "user id " + std::to_string(uid); };
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return "";  // a missing file is reported where it is read
  if (st.st_uid != me && st.st_uid != 0) return "it belongs to " + owner_text(st.st_uid) + ", not to you";
  if (st.st_mode & (S_IWGRP | S_IWOTH))
    return std::string("it is writable by ") + ((st.st_mode & S_IWOTH) ? "others" : "its group") +
           " (chmod go-w " + file.string() + ")";
  const fs::path folder = file.parent_path().empty() ? fs::path(".") : file.parent_path();
  if (::stat(folder.c_str(), &st) != 0) return "";
  if (st.st_uid != me && st.st_uid != 0)
    return "its folder " + folder.string() + " belongs to " + owner_text(st.st_uid) + ", not to you";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) && !(st.st_mode & S_ISVTX))
    return "its folder " + folder.string() + " is writable by " + ((st.st_mode & S_IWOTH) ? "others" : "its group");
  return "";
}

void save(const std::vector<CommandClassEntry>& entries) {
  nlohmann::json j = nlohmann::json::array();
  for (const auto& e : entries)
    j.push_back({{"classId", e.classId}, {"name", e.name}, {"category", e.category}, {"library", e.library}});
  fs::path path = RegistryPath();
  std::error_code ec;
  fs::create_directories(path.parent_path(), ec);
  try {
    win::WriteWholeFile(path, j.dump(2) + "\n");
    // Only its user may change what the host loads (a umask of 002 would not say so).
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && (st.st_mode & (S_IWGRP | S_IWOTH)))
      ::chmod(path.c_str(), st.st_mode & 07777 & ~mode_t(S_IWGRP | S_IWOTH));
  } catch (const vb::Error& e) {
    fail("Cannot write the command registry " + path.string() + ": " + e.description());
  }
}

std::string library_of(const void* anchor) {
  Dl_info info{};
  if (!dladdr(anchor, &info) || !info.dli_fname) fail("Cannot tell which library is registering");
  std::error_code ec;
  fs::path p = fs::canonical(info.dli_fname, ec);
  return ec ? std::string(info.dli_fname) : p.string();
}

}  // namespace

fs::path HostDataFolder() { return win::UserDataFolder(); }

fs::path RegistryPath() {
  if (const char* r = std::getenv("ZELVANE_REGISTRY"); r && *r) return r;
  return HostDataFolder() / "registry.json";
}

std::vector<CommandClassEntry> RegisteredCommands() {
  std::vector<CommandClassEntry> entries;
  fs::path path = RegistryPath();
  std::ifstream in(path);
  if (!in) return entries;
  if (std::string why = writable_by_others(path); !why.empty())
    fail("The command registry " + path.string() + " is not used: another user could change it, since " + why);
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
  if (std::string why = writable_by_others(canonical); !why.empty())
    fail("The plug-in library " + canonical.string() + " is not loaded: another user could change it, since " + why);
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

namespace {

fs::path program_folder() {
  std::error_code ec;
  fs::path program = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : program.parent_path();
}

// A plug-in named without a folder ("zelvane_mapbooks") is looked for among the
// plug-ins installed with the host.
std::string find_library(const std::string& name) {
  std::error_code ec;
  if (name.find('/') != std::string::npos || fs::exists(name, ec)) return name;
  const fs::path folder = program_folder() / ZELVANE_PLUGIN_FOLDER;
  for (const std::string& candidate : {name, "lib" + name + ".so", name + ".so"})
    if (fs::is_regular_file(folder / candidate, ec)) return (folder / candidate).string();
  return name;
}

}  // namespace

void RegisterLibrary(const std::string& name) {
  const std::string path = find_library(name);
  PluginLibrary& library = PluginLibrary::Load(path);
  if (library.Register() != S_OK) fail("The library " + path + " failed to register");
  if (fs::path folder = program_folder(); !folder.empty()) InstallTools(folder, library.Path());
}

void InstallTools(const fs::path& toolsFolder, const std::string& library) {
  // The commands that start a tool of ours, each with its program folder under
  // "Program Files" and the tool as their Bin folder must hold it.
  struct Tool {
    const char* command;
    const char* programFolder;
    const char* source;
    const char* installedAs;
  };
  static const Tool kTools[] = {{"ZelvaneGIS_ZelvaneMapbooks", "ZelvaneGIS\\ZelvaneMapbooks", "pdftk", "pdftk.exe"}};
  const std::vector<CommandClassEntry> registered = RegisteredCommands();
  for (const Tool& tool : kTools) {
    if (std::none_of(registered.begin(), registered.end(),
                     [&](const CommandClassEntry& e) { return e.name == tool.command && e.library == library; }))
      continue;
    // Beside the program in a build, among the host's helper programs when installed.
    std::error_code ec;
    fs::path source = toolsFolder / tool.source;
    if (!fs::is_regular_file(source, ec)) source = toolsFolder / ZELVANE_TOOLS_FOLDER / tool.source;
    if (!fs::is_regular_file(source, ec)) continue;
    // The command takes the first drive that has a Program Files folder, as here.
    win::EnsureProgramFiles();
    std::string bin;
    for (char letter : win::DriveMap::instance().letters()) {
      std::string files = std::string(1, letter) + ":\\Program Files\\";
      if (!fs::is_directory(win::NativePath(files), ec)) continue;
      bin = files + tool.programFolder + "\\Bin";
      break;
    }
    if (bin.empty()) continue;
    const fs::path target = win::NativePath(bin + "\\" + tool.installedAs);
    if (fs::exists(target, ec)) continue;  // one the user put there stays
    fs::create_directories(target.parent_path(), ec);
    if (ec) fail("Cannot install " + target.string() + ": " + ec.message());
    try {
      win::CopyWholeFile(source, target, {}, win::kSourceMode);
    } catch (const vb::Error& e) {
      fail("Cannot install " + target.string() + ": " + e.description());
    }
  }
}

void UnregisterLibrary(const std::string& path) {
  if (PluginLibrary::Load(path).Unregister() != S_OK) fail("The library " + path + " failed to unregister");
}

}  // namespace host::app
