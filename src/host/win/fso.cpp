// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/win/fso.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>

#include "host/vb/error.h"
#include "host/vb/text.h"
#include "host/win/drives.h"
#include "host/win/whole_file.h"

namespace fs = std::filesystem;

namespace host::win {

namespace {

constexpr int kDiskFull = 61;

bool is_sep(char c) { return c == '\\' || c == '/'; }
bool is_letter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool has_wildcards(std::string_view s) { return s.find_first_of("*?") != std::string_view::npos; }

bool stat_path(const fs::path& p, struct stat& st) { return ::stat(p.c_str(), &st) == 0; }
bool is_file(const fs::path& p) {
  struct stat st;
  return stat_path(p, st) && S_ISREG(st.st_mode);
}
bool is_folder(const fs::path& p) {
  struct stat st;
  return stat_path(p, st) && S_ISDIR(st.st_mode);
}
bool read_only(const struct stat& st) { return (st.st_mode & S_IWUSR) == 0; }

// A native path without the trailing separator that NativePath keeps for "C:\a\".
fs::path without_trailing_separator(fs::path p) {
  if (!p.has_filename() && p.has_relative_path()) p = p.parent_path();
  return p;
}

// The run-time error for a failed system call on a file that was there to act on.
[[noreturn]] void raise_errno(int e) {
  switch (e) {
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
      vb::raise(vb::err::PermissionDenied);
    case ENOENT:
    case ENOTDIR:
      vb::raise(vb::err::PathNotFound);
    case ENOSPC:
    case EDQUOT:
      vb::raise(kDiskFull, "Disk full");
    default:
      vb::raise(vb::err::PathFileAccessError);
  }
}

// Length of the part of a path that names a root: "C:\", "C:", "/" or "\".
size_t root_length(std::string_view p) {
  if (p.size() >= 2 && is_letter(p[0]) && p[1] == ':') return (p.size() > 2 && is_sep(p[2])) ? 3 : 2;
  if (!p.empty() && is_sep(p[0])) return 1;
  return 0;
}

std::string_view strip_trailing_separators(std::string_view p) {
  size_t keep = root_length(p);
  while (p.size() > keep && is_sep(p.back())) p.remove_suffix(1);
  return p;
}

// Copies one existing file onto a target path, after the checks the runtime makes.
void copy_one(const fs::path& source, const struct stat& source_stat, const fs::path& target, bool overwrite) {
  if (!is_folder(target.parent_path())) vb::raise(vb::err::PathNotFound);
  struct stat target_stat;
  if (stat_path(target, target_stat)) {
    if (S_ISDIR(target_stat.st_mode)) vb::raise(vb::err::PermissionDenied);
    if (!overwrite) vb::raise(vb::err::FileAlreadyExists);
    if (read_only(target_stat)) vb::raise(vb::err::PermissionDenied);
    // Onto itself: the target already holds the source.
    if (target_stat.st_dev == source_stat.st_dev && target_stat.st_ino == source_stat.st_ino) return;
  }
  // Written beside the target and renamed over it, so the target name never holds half a file.
  CopyWholeFile(source, target, {}, kSourceMode);
}

// The files a name with wildcards stands for: the matching files of its folder.
std::vector<fs::path> expand(const FileSystemObject& fso, const std::string& path) {
  std::string folder = FileSystemObject::GetParentFolderName(path);
  std::string pattern = FileSystemObject::GetFileName(path);
  std::vector<fs::path> files;
  for (const std::string& name : fso.ListFiles(folder.empty() ? "." : folder, pattern)) {
    files.push_back(NativePath(folder.empty() ? "." : folder) / name);
  }
  if (files.empty()) vb::raise(vb::err::FileNotFound);
  return files;
}

void delete_all(const std::vector<fs::path>& files, bool force) {
  // Refuse before deleting anything, so that a refusal leaves every file in place.
  if (!force) {
    for (const fs::path& f : files) {
      struct stat st;
      if (stat_path(f, st) && read_only(st)) vb::raise(vb::err::PermissionDenied);
    }
  }
  for (const fs::path& f : files) {
    if (::unlink(f.c_str()) != 0) {
      if (errno == ENOENT) vb::raise(vb::err::FileNotFound);
      raise_errno(errno);
    }
  }
}

// Text as code points for matching; a byte that is not valid UTF-8 stands for itself.
std::u32string code_points(std::string_view s) {
  std::u32string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
    bool valid = len > 0 && i + len <= s.size();
    for (size_t k = 1; valid && k < len; ++k) valid = (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    if (!valid) {
      out.push_back(c);
      ++i;
      continue;
    }
    char32_t cp = len == 1 ? c : len == 2 ? (c & 0x1F) : len == 3 ? (c & 0x0F) : (c & 0x07);
    for (size_t k = 1; k < len; ++k) cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    out.push_back(cp);
    i += len;
  }
  return out;
}

char32_t fold(char32_t c) { return (c >= 'A' && c <= 'Z') ? c - 'A' + 'a' : c; }

// One wildcard pattern; greedy with one backtrack point, so never exponential.
bool wildcard_match(const std::u32string& name, const std::u32string& pat) {
  size_t n = 0, p = 0, star = std::u32string::npos, mark = 0;
  while (n < name.size()) {
    if (p < pat.size() && pat[p] != U'*' && (pat[p] == U'?' || fold(pat[p]) == fold(name[n]))) {
      ++n;
      ++p;
    } else if (p < pat.size() && pat[p] == U'*') {
      star = p++;
      mark = n;
    } else if (star != std::u32string::npos) {
      p = star + 1;
      n = ++mark;
    } else {
      return false;
    }
  }
  while (p < pat.size() && pat[p] == U'*') ++p;
  return p == pat.size();
}

void sort_names(std::vector<std::string>& names) {
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    int c = vb::CompareText(a, b);
    return c != 0 ? c < 0 : a < b;
  });
}

}  // namespace

bool FileSystemObject::FileExists(const std::string& path) const { return !path.empty() && is_file(NativePath(path)); }

bool FileSystemObject::FolderExists(const std::string& path) const {
  return !path.empty() && is_folder(NativePath(path));
}

void FileSystemObject::DeleteFile(const std::string& path, bool force) const {
  if (!has_wildcards(GetFileName(path))) return DeleteOneFile(path, force);
  delete_all(expand(*this, path), force);
}

void FileSystemObject::DeleteOneFile(const std::string& path, bool force) const {
  if (path.empty() || !is_file(NativePath(path))) vb::raise(vb::err::FileNotFound);
  delete_all({NativePath(path)}, force);
}

void FileSystemObject::CreateFolder(const std::string& path) const {
  if (path.empty()) vb::raise(vb::err::PathNotFound);
  fs::path p = without_trailing_separator(NativePath(path));
  struct stat st;
  if (stat_path(p, st)) vb::raise(vb::err::FileAlreadyExists);
  if (!is_folder(p.parent_path())) vb::raise(vb::err::PathNotFound);
  if (::mkdir(p.c_str(), 0777) != 0) {
    if (errno == EEXIST) vb::raise(vb::err::FileAlreadyExists);
    raise_errno(errno);
  }
}

void FileSystemObject::CopyFile(const std::string& source, const std::string& target, bool overwrite) const {
  if (source.empty()) vb::raise(vb::err::FileNotFound);
  if (target.empty()) vb::raise(vb::err::PathNotFound);
  if (has_wildcards(GetFileName(source))) {
    // Many files go into a folder, whether or not the target ends in a separator.
    fs::path folder = without_trailing_separator(NativePath(target));
    if (!is_folder(folder)) vb::raise(vb::err::PathNotFound);
    std::vector<fs::path> files = expand(*this, source);
    // Check every target first, so that a refusal copies nothing.
    for (const fs::path& f : files) {
      struct stat st;
      if (stat_path(folder / f.filename(), st)) {
        if (!overwrite) vb::raise(vb::err::FileAlreadyExists);
        if (S_ISDIR(st.st_mode) || read_only(st)) vb::raise(vb::err::PermissionDenied);
      }
    }
    for (const fs::path& f : files) {
      struct stat st;
      if (!stat_path(f, st) || !S_ISREG(st.st_mode)) vb::raise(vb::err::FileNotFound);
      copy_one(f, st, folder / f.filename(), overwrite);
    }
    return;
  }
  CopyOneFile(source, target, overwrite);
}

void FileSystemObject::CopyOneFile(const std::string& source, const std::string& target, bool overwrite) const {
  if (source.empty()) vb::raise(vb::err::FileNotFound);
  if (target.empty()) vb::raise(vb::err::PathNotFound);
  fs::path src = NativePath(source);
  struct stat st;
  if (!stat_path(src, st) || !S_ISREG(st.st_mode)) vb::raise(vb::err::FileNotFound);
  fs::path dest;
  if (is_sep(target.back())) {
    fs::path folder = without_trailing_separator(NativePath(target));
    if (!is_folder(folder)) vb::raise(vb::err::PathNotFound);
    dest = folder / src.filename();
  } else {
    dest = NativePath(target);
  }
  copy_one(src, st, dest, overwrite);
}

bool FileSystemObject::SameFile(const std::string& a, const std::string& b) const {
  struct stat sa, sb;
  if (a.empty() || b.empty() || !stat_path(NativePath(a), sa) || !stat_path(NativePath(b), sb)) return false;
  return S_ISREG(sa.st_mode) && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void FileSystemObject::SetReadOnly(const std::string& path, bool read_only_flag) const {
  fs::path p = without_trailing_separator(NativePath(path));
  struct stat st;
  if (path.empty() || !stat_path(p, st)) vb::raise(vb::err::FileNotFound);
  mode_t mode = st.st_mode & 07777;
  mode = read_only_flag ? (mode & ~mode_t(S_IWUSR | S_IWGRP | S_IWOTH)) : (mode | S_IWUSR);
  if (::chmod(p.c_str(), mode) != 0) raise_errno(errno);
}

bool FileSystemObject::IsReadOnly(const std::string& path) const {
  struct stat st;
  if (path.empty() || !stat_path(without_trailing_separator(NativePath(path)), st)) vb::raise(vb::err::FileNotFound);
  return read_only(st);
}

std::string FileSystemObject::GetFileName(std::string_view path) {
  std::string_view p = strip_trailing_separators(path);
  size_t root = root_length(p);
  std::string_view rest = p.substr(root);
  size_t sep = rest.find_last_of("\\/");
  return std::string(sep == std::string_view::npos ? rest : rest.substr(sep + 1));
}

std::string FileSystemObject::GetBaseName(std::string_view path) {
  std::string name = GetFileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? name : name.substr(0, dot);
}

std::string FileSystemObject::GetExtensionName(std::string_view path) {
  std::string name = GetFileName(path);
  size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

std::string FileSystemObject::GetParentFolderName(std::string_view path) {
  std::string_view p = strip_trailing_separators(path);
  size_t root = root_length(p);
  std::string_view rest = p.substr(root);
  if (rest.empty()) return {};  // a root has no parent
  size_t sep = rest.find_last_of("\\/");
  if (sep == std::string_view::npos) return std::string(p.substr(0, root));
  return std::string(strip_trailing_separators(p.substr(0, root + sep)));
}

std::string FileSystemObject::BuildPath(std::string_view path, std::string_view name) {
  while (!name.empty() && is_sep(name.front())) name.remove_prefix(1);
  if (path.empty()) return std::string(name);
  std::string out(path);
  bool bare_drive = path.size() == 2 && root_length(path) == 2;  // "C:" + "b" is "C:b"
  if (!is_sep(path.back()) && !bare_drive) out += path.front() == '/' ? '/' : '\\';
  out += name;
  return out;
}

namespace {
// A file being written whole (".page.png.Ab12Cd") is not shown until it is in place;
// a name that is only an extension (".mbk") is an ordinary file, as on Windows.
bool is_temporary_name(const std::string& name) {
  if (name[0] != '.') return false;
  if (IsTemporaryName(name)) return true;
  size_t last = name.rfind('.');
  return last != 0 && name.size() - last - 1 == 6;
}
}  // namespace

std::vector<std::string> FileSystemObject::ListFiles(const std::string& folder, const std::string& pattern) const {
  fs::path dir = without_trailing_separator(NativePath(folder));
  if (folder.empty() || !is_folder(dir)) vb::raise(vb::err::PathNotFound);
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || is_temporary_name(name)) continue;
    std::error_code type_ec;
    if (!it->is_regular_file(type_ec)) continue;
    if (MatchesPattern(name, pattern)) names.push_back(std::move(name));
  }
  if (ec) raise_errno(ec.value());
  sort_names(names);
  return names;
}

std::vector<std::string> FileSystemObject::ListFolders(const std::string& folder) const {
  fs::path dir = without_trailing_separator(NativePath(folder));
  if (folder.empty() || !is_folder(dir)) vb::raise(vb::err::PathNotFound);
  std::vector<std::string> names;
  std::error_code ec;
  for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
    std::string name = it->path().filename().string();
    if (name.empty() || name[0] == '.') continue;
    std::error_code type_ec;
    if (it->is_directory(type_ec)) names.push_back(std::move(name));
  }
  if (ec) raise_errno(ec.value());
  sort_names(names);
  return names;
}

bool FileSystemObject::MatchesPattern(std::string_view name, std::string_view pattern) {
  std::u32string n = code_points(name);
  bool any = false;
  for (const std::string& item : vb::Split(pattern, ";")) {
    std::string p = vb::Trim(item);
    if (p.empty()) continue;
    any = true;
    if (wildcard_match(n, code_points(p))) return true;
    // As on Windows, a trailing ".*" may also match no extension at all ("*.*" is every name).
    if (p.size() >= 2 && p.compare(p.size() - 2, 2, ".*") == 0 &&
        wildcard_match(n, code_points(std::string_view(p).substr(0, p.size() - 2)))) {
      return true;
    }
  }
  return !any;
}

}  // namespace host::win
