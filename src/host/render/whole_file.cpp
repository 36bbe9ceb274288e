#include "host/render/whole_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "host/vb/error.h"

namespace fs = std::filesystem;

namespace host::render {

namespace {

mode_t current_umask() {
  mode_t m = umask(0);
  umask(m);
  return m;
}

}  // namespace

WholeFile::WholeFile(fs::path target, std::string shownName)
    : target_(std::move(target)), shown_(shownName.empty() ? target_.string() : std::move(shownName)) {
  fs::path folder = target_.parent_path();
  if (folder.empty()) folder = ".";
  std::error_code ec;
  if (!fs::is_directory(folder, ec))
    vb::raise(vb::err::PathNotFound, "Cannot write '" + shown_ + "': the folder does not exist");
  if (fs::is_directory(target_, ec))
    vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': a folder of that name exists");

  // Hidden, and not ending in the target's extension, so that a wildcard over the
  // folder ("*.pdf") never picks up a file that is still being written.
  std::string pattern = (folder / ("." + target_.filename().string() + ".XXXXXX")).string();
  std::vector<char> buf(pattern.begin(), pattern.end());
  buf.push_back('\0');
  int fd = mkstemp(buf.data());
  if (fd < 0) {
    int e = errno;
    int number = (e == EACCES || e == EPERM || e == EROFS) ? vb::err::PermissionDenied : vb::err::PathFileAccessError;
    vb::raise(number, "Cannot write '" + shown_ + "': " + std::strerror(e));
  }
  // mkstemp makes the file private; the finished file gets the usual permissions.
  fchmod(fd, 0666 & ~current_umask());
  close(fd);
  temp_ = buf.data();
}

WholeFile::~WholeFile() { Discard(); }

void WholeFile::Fail(const std::string& reason) const {
  vb::raise(vb::err::PathFileAccessError, "Cannot write '" + shown_ + "': " + reason);
}

void WholeFile::Commit() {
  if (committed_) return;
  if (temp_.empty()) Fail("the file was discarded");
  int fd = open(temp_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) Fail(std::string("the temporary file disappeared: ") + std::strerror(errno));
  int rc = fsync(fd);
  int e = errno;
  close(fd);
  if (rc != 0) Fail(std::string("flushing to disk failed: ") + std::strerror(e));
  if (rename(temp_.c_str(), target_.c_str()) != 0) {
    e = errno;
    Fail(std::string("renaming the finished file into place failed: ") + std::strerror(e));
  }
  committed_ = true;
  temp_.clear();
}

void WholeFile::Discard() {
  if (temp_.empty()) return;
  std::error_code ec;
  fs::remove(temp_, ec);
  temp_.clear();
}

}  // namespace host::render
