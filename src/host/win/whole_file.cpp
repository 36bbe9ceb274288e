#include "host/win/whole_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "host/vb/error.h"

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
  for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path p = it->path();
    if (!IsTemporaryName(p.filename().string())) continue;
    int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (try_lock(fd)) {
      std::error_code ignored;
      fs::remove_all(p, ignored);
    }
    ::close(fd);
  }
}

void SyncFolder(const fs::path& folder) {
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

WholeFile::WholeFile(fs::path target, std::string shownName)
    : target_(std::move(target)), shown_(shownName.empty() ? target_.string() : std::move(shownName)) {
  const fs::path folder = folder_of(target_);
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    vb::raise(vb::err::PathNotFound, "Cannot write '" + shown_ + "': the folder does not exist");
  if (fs::is_directory(target_, ec))
    vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': a folder of that name exists");
  RemoveStaleTemporaries(folder);

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
    if (n < 0) Fail(errno == ENOSPC || errno == EDQUOT ? "the disk is full" : std::strerror(errno));
    bytes.remove_prefix(size_t(n));
  }
}

void WholeFile::Commit() {
  if (committed_) return;
  if (temp_.empty() || lock_fd_ < 0) Fail("the file was discarded");
  // Writers that open the temporary file by name wrote through their own descriptor;
  // fsync of ours flushes the same file.
  if (::fsync(lock_fd_) != 0) Fail(std::string("flushing to disk failed: ") + std::strerror(errno));
  struct stat st {};
  if (::stat(temp_.c_str(), &st) != 0) Fail(std::string("the temporary file disappeared: ") + std::strerror(errno));
  if (::rename(temp_.c_str(), target_.c_str()) != 0) {
    int e = errno;
    Fail(std::string("renaming the finished file into place failed: ") + std::strerror(e));
  }
  SyncFolder(folder_of(target_));
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

void WriteWholeFile(const fs::path& target, std::string_view bytes, std::string shownName) {
  WholeFile file(target, std::move(shownName));
  file.Write(bytes);
  file.Commit();
}

}  // namespace host::win
