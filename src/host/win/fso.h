// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The scripting runtime's file system object over the drive map. Every path is a
// Windows path ("C:\a\b.shp") or a native absolute one; failures raise the classic
// run-time errors (53 file not found, 58 file already exists, 70 permission denied,
// 76 path not found).

#include <string>
#include <string_view>
#include <vector>

namespace host::win {

class FileSystemObject {
 public:
  // True only for an existing file; a folder is not a file.
  bool FileExists(const std::string& path) const;
  // True only for an existing folder.
  bool FolderExists(const std::string& path) const;

  // A read-only file is refused (70) unless force is given. The file name may hold
  // wildcards ("C:\out\*.pgw"); no match is "file not found" as for a plain name.
  void DeleteFile(const std::string& path, bool force = false) const;
  // Creates the last level only.
  void CreateFolder(const std::string& path) const;
  // A target ending in a backslash is a folder that receives the file under its
  // own name. The target is written whole or not at all, and gets the source's
  // permissions (a read-only source gives a read-only copy, as on Windows).
  void CopyFile(const std::string& source, const std::string& target, bool overwrite = true) const;
  // DeleteFile and CopyFile for a path that names one file, whatever it holds: a name
  // picked from a list or typed by the user is never a pattern ("*.mbk" is that file).
  void DeleteOneFile(const std::string& path, bool force = false) const;
  void CopyOneFile(const std::string& source, const std::string& target, bool overwrite = true) const;

  // True when both paths name one existing file as the host resolves them (names are
  // found without regard to case, so "Town.mbk" and "TOWN.mbk" may be one file).
  bool SameFile(const std::string& a, const std::string& b) const;

  // The read-only attribute: the owner-write permission bit.
  void SetReadOnly(const std::string& path, bool read_only) const;
  bool IsReadOnly(const std::string& path) const;

  // Path-name helpers: text only, nothing is read from disk. Both separators are
  // understood; BuildPath joins with "/" for a native path and "\" otherwise.
  static std::string GetFileName(std::string_view path);
  static std::string GetBaseName(std::string_view path);
  static std::string GetExtensionName(std::string_view path);
  static std::string GetParentFolderName(std::string_view path);
  static std::string BuildPath(std::string_view path, std::string_view name);

  // Names (not paths) of the folder's files that match the pattern, sorted without
  // regard to case. Files being written whole (".name.XXXXXX") are left out.
  std::vector<std::string> ListFiles(const std::string& folder, const std::string& pattern) const;
  // Names of the folder's subfolders, sorted without regard to case.
  std::vector<std::string> ListFolders(const std::string& folder) const;

  // Windows wildcards ("*.shp", "*.mbk;*.txt", "*.*", "?"), without regard to case.
  // "*.*" matches every name, also one without a dot; an empty pattern matches all.
  static bool MatchesPattern(std::string_view name, std::string_view pattern);
};

}  // namespace host::win
