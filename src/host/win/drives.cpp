// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/win/drives.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "host/vb/error.h"

#include "host/vb/text.h"

namespace fs = std::filesystem;

namespace host::win {

namespace {
char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// The entry of dir whose name equals name ignoring case; name itself when none does.
fs::path match_component(const fs::path& dir, const std::string& name) {
  std::error_code ec;
  if (fs::exists(dir / name, ec) || !fs::is_directory(dir, ec)) return dir / name;
  for (const auto& entry : fs::directory_iterator(dir, ec)) {
    if (vb::SameText(entry.path().filename().string(), name)) return entry.path();
  }
  return dir / name;
}
}  // namespace

fs::path UserDataFolder() {
  // A relative XDG_DATA_HOME is invalid and ignored, as other programs do.
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && *xdg == '/') return fs::path(xdg) / "zelvane";
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".local" / "share" / "zelvane";
  // Cron jobs, services and "env -i" start without HOME: the account's own entry says.
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? size_t(size) : 16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  const uid_t uid = ::geteuid();
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      found->pw_dir[0] == '/')
    return fs::path(found->pw_dir) / ".local" / "share" / "zelvane";
  vb::raise(vb::err::HostFailure, "Cannot find a folder for the host's data: HOME is not set and user id " +
                                      std::to_string(uid) +
                                      " has no home folder in the user database. Set HOME or XDG_DATA_HOME.");
}

fs::path DefaultDriveC() { return UserDataFolder() / "drive_c"; }

DriveMap& DriveMap::instance() {
  static DriveMap map;
  return map;
}

DriveMap::DriveMap() { reset_from_environment(); }

void DriveMap::reset_from_environment() {
  roots_.clear();
  roots_['Z'] = "/";
  if (const char* env = std::getenv("ZELVANE_DRIVES")) {
    for (const std::string& item : vb::Split(env, ";")) {
      std::string entry = vb::Trim(item);
      if (entry.size() < 3 || !is_letter(entry[0]) || entry[1] != '=') continue;
      roots_[upper(entry[0])] = fs::path(entry.substr(2));
    }
  }
  // Only a drive C that is not given needs the user's data folder.
  if (!roots_.count('C')) roots_['C'] = DefaultDriveC();
}

void DriveMap::set(char letter, fs::path root) { roots_[upper(letter)] = std::move(root); }
void DriveMap::remove(char letter) { roots_.erase(upper(letter)); }

std::optional<fs::path> DriveMap::root(char letter) const {
  auto it = roots_.find(upper(letter));
  if (it == roots_.end()) return std::nullopt;
  return it->second;
}

std::vector<char> DriveMap::letters() const {
  std::vector<char> r;
  for (const auto& [letter, root] : roots_) r.push_back(letter);
  return r;
}

fs::path DriveMap::to_native(std::string_view path) const {
  fs::path base;
  bool relative = false;
  std::string_view rest = path;
  if (!path.empty() && path[0] == '/') {
    // A native path is read as its Z: form would be: a backslash separates as "/"
    // does, so a Windows name appended to it ("/tmp/out" and "\page.png") lands inside it.
    base = "/";
    rest = path.substr(1);
  } else if (path.size() >= 2 && is_letter(path[0]) && path[1] == ':') {
    auto r = root(path[0]);
    // An unmapped drive gets a root that does not exist, so every use fails as "path not found".
    base = r ? *r : fs::path("/nonexistent-drive-") += std::string(1, upper(path[0]));
    rest = path.substr(2);
  } else if (!path.empty() && (path[0] == '\\')) {
    // The root of the current drive; "/" when the current folder is on none.
    std::string current = CurrentDirectory();
    bool on_drive = current.size() >= 2 && is_letter(current[0]) && current[1] == ':';
    base = on_drive ? to_native(current.substr(0, 2)) : fs::path("/");
  } else {
    std::error_code ec;
    base = fs::current_path(ec);
    if (ec) base = "/";
    relative = true;
  }
  fs::path result = base;
  size_t depth = 0;
  bool climbed = false;
  for (const std::string& part : vb::Split(vb::Replace(rest, "/", "\\"), "\\")) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      // ".." stops at a drive's root, but a relative path may leave the current folder.
      if (depth > 0) {
        result = result.parent_path();
        --depth;
      } else if (relative) {
        result = result.parent_path();
        climbed = true;
      }
      continue;
    }
    result = match_component(result, part);
    ++depth;
  }
  // Keep a trailing separator: "C:\a\" names a folder.
  bool trailing = !rest.empty() && (rest.back() == '\\' || rest.back() == '/');
  if (trailing && (depth > 0 || climbed) && result.has_relative_path()) result /= "";
  return result;
}

std::string DriveMap::to_windows(const fs::path& native) const {
  fs::path p = native.lexically_normal();
  char best = 0;
  size_t best_len = 0;
  std::string ps = p.string();
  for (const auto& [letter, root] : roots_) {
    std::string rs = root.lexically_normal().string();
    while (rs.size() > 1 && rs.back() == '/') rs.pop_back();
    bool inside = ps == rs || (ps.size() > rs.size() && ps.compare(0, rs.size(), rs) == 0 &&
                               (rs == "/" || ps[rs.size()] == '/'));
    if (inside && (best == 0 || rs.size() > best_len)) {
      best = letter;
      best_len = rs.size();
    }
  }
  if (best == 0) return ps;
  std::string rest = ps.substr(best_len == 1 ? 1 : best_len);
  if (!rest.empty() && rest[0] == '/') rest.erase(0, 1);
  return std::string(1, best) + ":\\" + vb::Replace(rest, "/", "\\");
}

void EnsureProgramFiles() {
  auto c = DriveMap::instance().root('C');
  if (!c) return;
  std::error_code ec;
  fs::create_directories(*c / "Program Files", ec);
}

std::string CurrentDirectory() {
  std::error_code ec;
  fs::path cwd = fs::current_path(ec);
  return DriveMap::instance().to_windows(ec ? fs::path("/") : cwd);
}

}  // namespace host::win
