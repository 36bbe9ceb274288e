// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The drive map: Windows drive letters over folders of this machine, as Wine does it.
// C: is a folder under the user's data directory that holds "Program Files", Z: is "/",
// and ZELVANE_DRIVES ("C=/some/dir;D=/other") adds or overrides drives. Windows paths
// are translated here and nowhere else. A native absolute path ("/tmp/out") is read
// as its Z: form, with "\" and "/" alike.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace host::win {

class DriveMap {
 public:
  static DriveMap& instance();

  // Back to the defaults plus ZELVANE_DRIVES.
  void reset_from_environment();
  void set(char letter, std::filesystem::path root);
  void remove(char letter);
  std::optional<std::filesystem::path> root(char letter) const;
  std::vector<char> letters() const;  // upper case, A to Z

  // "C:\a\b", "c:/a/b" or "/a\b" to the native path; components that exist in another
  // letter case are matched without regard to case. A relative path is taken
  // against the current folder.
  std::filesystem::path to_native(std::string_view path) const;
  // A native path as the Windows path of the drive whose root holds it most closely.
  std::string to_windows(const std::filesystem::path& native) const;

 private:
  DriveMap();
  std::map<char, std::filesystem::path> roots_;
};

// The host's own data folder: $XDG_DATA_HOME/zelvane, else ~/.local/share/zelvane, the
// home folder taken from the user's account when HOME is not set. Fails (a host error)
// when the user has no home folder: a shared fallback such as /tmp would let another
// user prepare the folder first.
std::filesystem::path UserDataFolder();
// The default folder of drive C (in the host's data folder).
std::filesystem::path DefaultDriveC();

inline std::filesystem::path NativePath(std::string_view path) { return DriveMap::instance().to_native(path); }
inline std::string WindowsPath(const std::filesystem::path& p) { return DriveMap::instance().to_windows(p); }

// Creates "C:\Program Files" when drive C has none (the host's first start).
void EnsureProgramFiles();

// The current drive and folder ("C:\work"), as the folder and drive lists start there.
std::string CurrentDirectory();

}  // namespace host::win
