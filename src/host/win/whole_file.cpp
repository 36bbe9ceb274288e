// SPDX-License-Identifier: GPL-3.0-or-later
#include "host/win/whole_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <vector>

#include "host/vb/error.h"
#include "host/vb/text.h"

namespace fs = std::filesystem;

namespace host::win {

namespace {

// Hidden, and not ending in the target's extension, so that a wildcard over the
// folder ("*.pdf") never picks up a file that is still being written.
constexpr std::string_view kMarker = ".partial-";
constexpr size_t kRandomLength = 6;

mode_t current_umask() {
  mode_t m = umask(0);
  umask(m);
  return m;
}

fs::path folder_of(const fs::path& target) {
  fs::path folder = target.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Takes the lock if nobody holds it; the lock goes when fd is closed.
bool try_lock(int fd) { return ::flock(fd, LOCK_EX | LOCK_NB) == 0; }

// The mark a set folder gets once its files are whole, and the name it is written under first.
constexpr const char* kReadyMark = ".ready";
constexpr const char* kReadyDraft = ".ready.draft";
// The member readers find a set by (a shapefile is opened and listed through its .shp).
constexpr std::string_view kKeyMember = ".shp";

bool is_read_only(const fs::path& p) {
  struct stat st {};
  return ::stat(p.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IWUSR) == 0;
}

// The files of folder whose names equal name without regard to case (the file itself included).
std::vector<fs::path> spellings_of(const fs::path& folder, const std::string& name) {
  std::vector<fs::path> out;
  std::error_code ec;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    std::error_code type_ec;
    if (it->is_regular_file(type_ec) && vb::SameText(it->path().filename().string(), name)) out.push_back(it->path());
  }
  return out;
}

[[noreturn]] void refuse_read_only(const std::string& shown) {
  vb::raise(vb::err::PermissionDenied, "Permission denied: '" + shown + "' is read-only");
}

// Why a write failed, as a user reads it.
std::string write_failure(int e) {
  if (e == ENOSPC || e == EDQUOT) return "the disk is full";
  if (e == EFBIG) return "the file would be larger than this program may write (file size limit)";
  return std::strerror(e);
}

// rename that never replaces (EEXIST). Where the file system has no such rename, a link
// and the old name dropped; where it has no links either, a rename after a look.
int rename_no_replace(const fs::path& from, const fs::path& to) {
  if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS && errno != ENOTSUP) return -1;
  if (::link(from.c_str(), to.c_str()) == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (errno != EPERM && errno != ENOTSUP && errno != ENOSYS) return -1;
  struct stat st {};
  if (::lstat(to.c_str(), &st) == 0) {
    errno = EEXIST;
    return -1;
  }
  return ::rename(from.c_str(), to.c_str());
}

void flush_file(const fs::path& p) {
  int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

bool IsTemporaryName(std::string_view name) {
  if (name.size() < 2 || name[0] != '.') return false;
  size_t at = name.rfind(kMarker);
  return at != std::string_view::npos && at > 0 && name.size() >= at + kMarker.size() + kRandomLength;
}

int CreateTemporaryBeside(const fs::path& target, fs::path& made, std::string_view suffix) {
  const fs::path folder = folder_of(target);
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::string pattern = (folder / ("." + target.filename().string())).string();
    pattern += kMarker;
    pattern += "XXXXXX";
    pattern += suffix;
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    int fd = ::mkostemps(buf.data(), int(suffix.size()), O_CLOEXEC);
    if (fd < 0) return -1;
    // Another writer's clean-up may take a file between its creation and its lock;
    // a name that is gone by then is simply made again.
    struct stat st {};
    if (try_lock(fd) && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      made = buf.data();
      return fd;
    }
    ::close(fd);
  }
  errno = EEXIST;
  return -1;
}

void RemoveStaleTemporaries(const fs::path& folder) {
  std::error_code ec;
  std::vector<fs::path> marked;
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
    if (IsTemporaryName(it->path().filename().string())) marked.push_back(it->path());
  for (const fs::path& p : marked) {
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (try_lock(fd)) {
      std::error_code ignored;
      bool finished = false;
      try {
        finished = fs::is_directory(p, ignored) && FinishReadySet(p);
      } catch (const vb::Error&) {
        finished = true;  // left for a later clean-up: it holds the new set
      }
      if (!finished) fs::remove_all(p, ignored);
    }
    ::close(fd);
  }
}

namespace {
// A name the mark may hold: one file of the folder itself, never a way out of it.
bool plain_name(const std::string& name) {
  return !name.empty() && name != "." && name != ".." && name.find('/') == std::string::npos;
}

// The mark of a set folder ".BASE.partial-XXXXXX": its steps, in the order they are taken,
// and what they may touch: members of BASE and of the set a rename takes (a "from" line),
// with the extensions of its "ext" lines (any, in marks that list none), in any letter case.
struct ReadyMark {
  std::vector<std::string> bases, extensions;
  std::vector<std::pair<bool, std::string>> steps;  // true: put, false: drop

  bool Admits(const std::string& name) const {
    if (!plain_name(name)) return false;
    for (const std::string& base : bases) {
      if (name.size() <= base.size() || !vb::SameText(std::string_view(name).substr(0, base.size()), base)) continue;
      const std::string_view rest = std::string_view(name).substr(base.size());
      if (extensions.empty() ? rest[0] == '.'
                             : std::any_of(extensions.begin(), extensions.end(),
                                           [&](const std::string& e) { return vb::SameText(rest, e); }))
        return true;
    }
    return false;
  }
};

bool read_mark(const fs::path& temp, ReadyMark& mark) {
  std::ifstream in(temp / kReadyMark);
  if (!in) return false;
  const std::string folder = temp.filename().string();
  mark.bases.push_back(folder.substr(1, folder.rfind(kMarker) - 1));
  std::vector<std::pair<bool, std::string>> steps;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("put ", 0) == 0) {
      steps.emplace_back(true, line.substr(4));
    } else if (line.rfind("drop ", 0) == 0) {
      steps.emplace_back(false, line.substr(5));
    } else if (line.rfind("from ", 0) == 0 && plain_name(line.substr(5))) {
      mark.bases.push_back(line.substr(5));
    } else if (line.rfind("ext .", 0) == 0 && line.find('/') == std::string::npos) {
      mark.extensions.push_back(line.substr(4));
    }
  }
  for (auto& step : steps)
    if (mark.Admits(step.second)) mark.steps.push_back(std::move(step));
  return true;
}
}  // namespace

bool FinishReadySet(const fs::path& temp, size_t maxSteps) {
  std::error_code ec;
  if (!IsTemporaryName(temp.filename().string()) || !fs::is_regular_file(temp / kReadyMark, ec)) return false;
  ReadyMark mark;
  if (!read_mark(temp, mark)) return false;
  const fs::path folder = folder_of(temp);
  auto is_put = [&](const std::string& name) {
    return std::find(mark.steps.begin(), mark.steps.end(), std::make_pair(true, name)) != mark.steps.end();
  };
  // Each step can be taken again after a kill: a file already put is no longer in the
  // set folder, and a file already dropped is no longer beside it. An old file that the
  // set puts anew is dropped only while the new one still waits in the set folder.
  size_t steps = 0;
  bool unsynced_put = false;
  for (const auto& [put, name] : mark.steps) {
    if (steps++ >= maxSteps) return true;
    const bool waiting = fs::exists(temp / name, ec);
    if (put) {
      if (waiting && ::rename((temp / name).c_str(), (folder / name).c_str()) != 0) {
        vb::raise(vb::err::PathFileAccessError,
                  "Cannot put '" + (folder / name).string() + "' in place: " + std::strerror(errno));
      }
      unsynced_put = true;
      continue;
    }
    if (!waiting && is_put(name)) continue;
    // The new files are on disk before an old one goes.
    if (unsynced_put) SyncFolder(folder);
    unsynced_put = false;
    if (::unlink((folder / name).c_str()) != 0 && errno != ENOENT) {
      vb::raise(vb::err::PathFileAccessError,
                "Cannot remove '" + (folder / name).string() + "': " + std::strerror(errno));
    }
  }
  std::error_code ignored;
  fs::remove_all(temp, ignored);
  SyncFolder(folder);
  return true;
}

void SyncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

WholeFile::WholeFile(fs::path target, std::string shownName, unsigned flags)
    : target_(std::move(target)), shown_(shownName.empty() ? target_.string() : std::move(shownName)), flags_(flags) {
  // An empty name would land in whatever the current folder is.
  if (target_.empty() || !target_.has_filename()) vb::raise(vb::err::PathNotFound, "Cannot write a file without a name");
  const fs::path folder = folder_of(target_);
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    vb::raise(vb::err::PathNotFound, "Cannot write '" + shown_ + "': the folder does not exist");
  if (fs::is_directory(target_, ec))
    vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': a folder of that name exists");
  RemoveStaleTemporaries(folder);
  if (flags_ & kRefuseReadOnly) {
    for (const fs::path& p : (flags_ & kOneSpelling) ? spellings_of(folder, target_.filename().string())
                                                     : std::vector<fs::path>{target_})
      if (is_read_only(p)) refuse_read_only(shown_);
  }

  int fd = CreateTemporaryBeside(target_, temp_);
  if (fd < 0) {
    int e = errno;
    int number = (e == EACCES || e == EPERM || e == EROFS) ? vb::err::PermissionDenied : vb::err::PathFileAccessError;
    vb::raise(number, "Cannot write '" + shown_ + "': " + std::strerror(e));
  }
  // mkstemp makes the file private; the finished file gets the mode of the file it
  // replaces, or the usual one.
  struct stat old {};
  ::fchmod(fd, ::stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : (0666 & ~current_umask()));
  lock_fd_ = fd;
}

WholeFile::~WholeFile() { Discard(); }

void WholeFile::Fail(const std::string& reason) const {
  vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': " + reason);
}

void WholeFile::Write(std::string_view bytes) {
  if (lock_fd_ < 0) Fail("the file was discarded");
  while (!bytes.empty()) {
    ssize_t n = ::write(lock_fd_, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) Fail(write_failure(errno));
    bytes.remove_prefix(size_t(n));
  }
}

void WholeFile::Commit() {
  if (committed_) return;
  if (temp_.empty() || lock_fd_ < 0) Fail("the file was discarded");
  // Writers that open the temporary file by name wrote through their own descriptor;
  // fsync of ours flushes the same file.
  if (::fsync(lock_fd_) != 0) Fail("flushing to disk failed: " + write_failure(errno));
  struct stat st {};
  if (::stat(temp_.c_str(), &st) != 0) Fail(std::string("the temporary file disappeared: ") + std::strerror(errno));
  const fs::path folder = folder_of(target_);
  const std::string name = target_.filename().string();
  std::vector<fs::path> others;
  if (flags_ & kOneSpelling) {
    for (const fs::path& p : spellings_of(folder, name))
      if (p.filename() != name) others.push_back(p);
  }
  if (flags_ & kRefuseReadOnly) {
    if (is_read_only(target_)) refuse_read_only(shown_);
    for (const fs::path& p : others)
      if (is_read_only(p)) refuse_read_only(shown_);
  }
  if ((flags_ & kNoReplace) ? rename_no_replace(temp_, target_) != 0 : ::rename(temp_.c_str(), target_.c_str()) != 0) {
    int e = errno;
    if (e == EEXIST && (flags_ & kNoReplace))
      vb::raise(vb::err::FileAlreadyExists, "Cannot write '" + shown_ + "': another file of that name appeared meanwhile");
    Fail(std::string("renaming the finished file into place failed: ") + std::strerror(e));
  }
  for (const fs::path& p : others) ::unlink(p.c_str());
  SyncFolder(folder);
  ::close(lock_fd_);
  lock_fd_ = -1;
  committed_ = true;
  temp_.clear();
}

void WholeFile::Discard() {
  if (!temp_.empty()) {
    std::error_code ec;
    fs::remove(temp_, ec);
    temp_.clear();
  }
  if (lock_fd_ >= 0) {
    ::close(lock_fd_);
    lock_fd_ = -1;
  }
}

void WriteWholeFile(const fs::path& target, std::string_view bytes, std::string shownName, unsigned flags) {
  WholeFile file(target, std::move(shownName), flags);
  file.Write(bytes);
  file.Commit();
}

void CopyWholeFile(const fs::path& source, const fs::path& target, std::string shownName, unsigned flags) {
  struct stat st {};
  int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0 || ::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    if (in >= 0) ::close(in);
    vb::raise(vb::err::FileNotFound, "Cannot read '" + source.string() + "': not a file");
  }
  try {
    WholeFile file(target, std::move(shownName), flags);
    if ((flags & kSourceMode) && ::chmod(file.TempPath().c_str(), st.st_mode & 07777) != 0)
      file.Fail(std::string("cannot give it the source's permissions: ") + std::strerror(errno));
    char buffer[1 << 16];
    for (;;) {
      ssize_t n = ::read(in, buffer, sizeof buffer);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) file.Fail("reading '" + source.string() + "' failed: " + std::strerror(errno));
      if (n == 0) break;
      file.Write(std::string_view(buffer, size_t(n)));
    }
    file.Commit();
  } catch (...) {
    ::close(in);
    throw;
  }
  ::close(in);
}

// ---------------------------------------------------------------- sets of files

WholeFileSet::WholeFileSet(fs::path folder, std::string base, std::vector<std::string> extensions,
                           std::string shownName)
    : folder_(std::move(folder)),
      base_(std::move(base)),
      extensions_(std::move(extensions)),
      shown_(shownName.empty() ? (folder_ / base_).string() : std::move(shownName)) {
  if (!plain_name(base_) || base_.find('\n') != std::string::npos)
    vb::raise(vb::err::BadFileNameOrNumber, "Cannot write '" + shown_ + "': not a file name");
  std::error_code ec;
  if (folder_.empty() || !fs::is_directory(folder_, ec))
    vb::raise(vb::err::PathNotFound, "Cannot write '" + shown_ + "': the folder does not exist");
  RemoveStaleTemporaries(folder_);
  CheckReplaceable();
  for (int attempt = 0; attempt < 8 && lock_fd_ < 0; ++attempt) {
    std::string pattern = (folder_ / ("." + base_)).string();
    pattern += kMarker;
    pattern += "XXXXXX";
    std::vector<char> buf(pattern.begin(), pattern.end());
    buf.push_back('\0');
    if (!::mkdtemp(buf.data())) {
      int e = errno;
      int number = (e == EACCES || e == EPERM || e == EROFS) ? vb::err::PermissionDenied : vb::err::PathFileAccessError;
      vb::raise(number, "Cannot write '" + shown_ + "': " + std::strerror(e));
    }
    int fd = ::open(buf.data(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat st {};
    // Another writer's clean-up may take the folder before it is locked: make another.
    if (fd >= 0 && try_lock(fd) && ::fstat(fd, &st) == 0 && st.st_nlink > 0) {
      temp_ = buf.data();
      lock_fd_ = fd;
    } else if (fd >= 0) {
      ::close(fd);
    }
  }
  if (lock_fd_ < 0) vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': no temporary folder");
}

WholeFileSet::~WholeFileSet() { Discard(); }

fs::path WholeFileSet::TempMember(std::string_view extension) const {
  return temp_ / (base_ + std::string(extension));
}

std::vector<fs::path> WholeFileSet::MembersOf(const std::string& base) const {
  std::vector<fs::path> out;
  if (base.empty()) return out;
  for (const std::string& ext : extensions_) {
    std::vector<fs::path> found = spellings_of(folder_, base + ext);
    out.insert(out.end(), found.begin(), found.end());
  }
  return out;
}

void WholeFileSet::CheckReplaceable() const {
  for (const fs::path& p : MembersOf(base_))
    if (is_read_only(p)) refuse_read_only(shown_ + p.extension().string());
  // The source of a rename is shown beside the new name.
  const std::string shown_folder =
      shown_.size() > base_.size() ? shown_.substr(0, shown_.size() - base_.size()) : std::string();
  for (const fs::path& p : MembersOf(from_))
    if (is_read_only(p)) refuse_read_only(shown_folder + from_ + p.extension().string());
}

void WholeFileSet::MoveFrom(const std::string& from) {
  if (!plain_name(from) || from.find('\n') != std::string::npos)
    vb::raise(vb::err::BadFileNameOrNumber, "Cannot rename '" + from + "': not a file name");
  if (lock_fd_ < 0 || prepared_)
    vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': the set is no longer open");
  from_ = from;
  try {
    CheckReplaceable();
    bool any = false;
    for (const std::string& ext : extensions_) {
      fs::path source = folder_ / (from + ext);
      std::error_code ec;
      if (!fs::is_regular_file(source, ec)) {
        std::vector<fs::path> spellings = spellings_of(folder_, from + ext);
        if (spellings.empty()) continue;
        source = spellings.front();
      }
      // A link costs nothing and the source goes anyway; a copy where links are refused.
      fs::create_hard_link(source, TempMember(ext), ec);
      if (ec) {
        ec.clear();
        fs::copy_file(source, TempMember(ext), fs::copy_options::overwrite_existing, ec);
      }
      if (ec) vb::raise(vb::err::PathFileAccessError, "Cannot take '" + source.string() + "': " + ec.message());
      any = true;
    }
    if (!any) vb::raise(vb::err::FileNotFound, "Cannot rename '" + (folder_ / from).string() + "': no such set");
  } catch (...) {
    from_.clear();
    throw;
  }
}

void WholeFileSet::Prepare() {
  if (prepared_) return;
  if (lock_fd_ < 0) vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': the set was discarded");
  CheckReplaceable();
  const auto key = std::find_if(extensions_.begin(), extensions_.end(),
                                [](const std::string& e) { return vb::SameText(e, kKeyMember); });
  auto is_key = [&](const std::string& ext) { return key != extensions_.end() && ext == *key; };
  std::string mark;
  for (const std::string& ext : extensions_) mark += "ext " + ext + "\n";
  if (!from_.empty()) mark += "from " + from_ + "\n";
  std::vector<std::string> put_names, dropped;
  for (const std::string& ext : extensions_) {
    std::error_code ec;
    if (!fs::is_regular_file(TempMember(ext), ec)) continue;
    flush_file(TempMember(ext));
    put_names.push_back(base_ + ext);
  }
  auto put = [&](bool keys) {
    for (const std::string& ext : extensions_)
      if (is_key(ext) == keys && std::count(put_names.begin(), put_names.end(), base_ + ext))
        mark += "put " + base_ + ext + "\n";
  };
  // An old key member goes even where a new one replaces it, so that it never stands
  // beside new members; the others go unless a new file of that very name replaces them.
  auto drop = [&](const std::string& base, bool keys) {
    if (base.empty()) return;
    for (const std::string& ext : extensions_) {
      if (is_key(ext) != keys) continue;
      for (const fs::path& p : spellings_of(folder_, base + ext)) {
        std::string name = p.filename().string();
        if (std::count(dropped.begin(), dropped.end(), name) ||
            (!keys && std::count(put_names.begin(), put_names.end(), name)))
          continue;
        dropped.push_back(name);
        mark += "drop " + name + "\n";
      }
    }
  };
  drop(from_, true);
  drop(base_, true);
  put(false);
  drop(base_, false);
  drop(from_, false);
  put(true);
  // The mark appears whole or not at all: written under another name, then renamed.
  {
    std::ofstream out(temp_ / kReadyDraft, std::ios::binary);
    out << mark;
    out.close();
    if (!out) vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': the disk may be full");
  }
  flush_file(temp_ / kReadyDraft);
  if (::rename((temp_ / kReadyDraft).c_str(), (temp_ / kReadyMark).c_str()) != 0)
    vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': " + std::strerror(errno));
  SyncFolder(temp_);
  prepared_ = true;
}

void WholeFileSet::Commit() {
  if (committed_) return;
  Prepare();
  FinishReadySet(temp_);
  ::close(lock_fd_);
  lock_fd_ = -1;
  temp_.clear();
  committed_ = true;
}

void WholeFileSet::Discard() {
  if (!temp_.empty()) {
    std::error_code ec;
    if (!prepared_) {
      fs::remove_all(temp_, ec);
    } else {
      // A set marked ready is the new set already: it is finished, not thrown away; what
      // cannot be finished now is left to the next clean-up.
      try {
        FinishReadySet(temp_);
      } catch (const vb::Error&) {
      }
    }
    temp_.clear();
  }
  if (lock_fd_ >= 0) {
    ::close(lock_fd_);
    lock_fd_ = -1;
  }
}

}  // namespace host::win
