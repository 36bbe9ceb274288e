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

// A member of the set whose folder is ".BASE.partial-XXXXXX": BASE and an extension, in
// any letter case. A mark naming anything else is not followed.
bool member_of(const fs::path& temp, const std::string& name) {
  const std::string folder = temp.filename().string();
  const std::string base = folder.substr(1, folder.rfind(kMarker) - 1);
  return plain_name(name) && name.size() > base.size() && name[base.size()] == '.' &&
         vb::SameText(std::string_view(name).substr(0, base.size()), base);
}
}  // namespace

bool FinishReadySet(const fs::path& temp, size_t maxSteps) {
  std::error_code ec;
  if (!IsTemporaryName(temp.filename().string()) || !fs::is_regular_file(temp / kReadyMark, ec)) return false;
  std::ifstream mark(temp / kReadyMark);
  if (!mark) return false;
  const fs::path folder = folder_of(temp);
  std::vector<std::string> puts, drops;
  for (std::string line; std::getline(mark, line);) {
    if (line.rfind("put ", 0) == 0 && member_of(temp, line.substr(4))) puts.push_back(line.substr(4));
    else if (line.rfind("drop ", 0) == 0 && member_of(temp, line.substr(5))) drops.push_back(line.substr(5));
  }
  mark.close();
  // Each step can be taken again after a kill: a file already put is no longer in the
  // set folder, and a file already dropped is no longer beside it.
  size_t steps = 0;
  for (const std::string& name : puts) {
    if (steps++ >= maxSteps) return true;
    if (fs::exists(temp / name, ec) && ::rename((temp / name).c_str(), (folder / name).c_str()) != 0) {
      vb::raise(vb::err::PathFileAccessError,
                "Cannot put '" + (folder / name).string() + "' in place: " + std::strerror(errno));
    }
  }
  SyncFolder(folder);
  for (const std::string& name : drops) {
    if (steps++ >= maxSteps) return true;
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

std::vector<fs::path> WholeFileSet::OldMembers() const {
  std::vector<fs::path> out;
  for (const std::string& ext : extensions_) {
    std::vector<fs::path> found = spellings_of(folder_, base_ + ext);
    out.insert(out.end(), found.begin(), found.end());
  }
  return out;
}

void WholeFileSet::CheckReplaceable() const {
  for (const fs::path& p : OldMembers())
    if (is_read_only(p)) refuse_read_only(shown_ + p.extension().string());
}

void WholeFileSet::Prepare() {
  if (prepared_) return;
  if (lock_fd_ < 0) vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': the set was discarded");
  CheckReplaceable();
  std::string mark;
  std::vector<std::string> put_names;
  for (const std::string& ext : extensions_) {
    std::error_code ec;
    if (!fs::is_regular_file(TempMember(ext), ec)) continue;
    flush_file(TempMember(ext));
    put_names.push_back(base_ + ext);
    mark += "put " + base_ + ext + "\n";
  }
  for (const fs::path& p : OldMembers()) {
    std::string name = p.filename().string();
    if (std::find(put_names.begin(), put_names.end(), name) == put_names.end()) mark += "drop " + name + "\n";
  }
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
