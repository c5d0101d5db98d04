#include "formats/atomicfile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "formats/fileerror.h"

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

AtomicFile::AtomicFile(const std::string& target) : target_(target) {
  if (target.empty()) throw EInOutError(ENOENT);
  if (target.back() == '/') throw EInOutError(EISDIR);
  std::string name = FolderOf(target) + "/.morvala-XXXXXX";
  path_.assign(name.begin(), name.end());
  path_.push_back('\0');
  fd_ = ::mkstemp(path_.data());
  if (fd_ < 0) throw EInOutError(errno);
  mode_t mode;
  struct stat st;
  if (::stat(target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  ::fchmod(fd_, mode);
}

AtomicFile::~AtomicFile() {
  if (fd_ >= 0) ::close(fd_);
  if (!committed_) ::unlink(path_.data());
}

void AtomicFile::Write(const std::string& data) {
  size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd_, data.data() + done, data.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw EInOutError(errno);
    }
    if (n == 0) throw EInOutError(ENOSPC);
    done += static_cast<size_t>(n);
  }
}

void AtomicFile::Commit() {
  if (::fsync(fd_) != 0) throw EInOutError(errno);
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0) throw EInOutError(errno);
  if (::rename(path_.data(), target_.c_str()) != 0) throw EInOutError(errno);
  committed_ = true;
  // The new directory entry on the disk too; a failure here loses nothing written.
  const int dir = ::open(FolderOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
}

void AtomicFile::WriteWhole(const std::string& path, const std::string& text) {
  AtomicFile file(path);
  file.Write(text);
  file.Commit();
}

std::string ReadPlainFile(const std::string& path, size_t limit) {
  // Opened without waiting, so a named pipe or a device chosen in a dialog cannot hold
  // the caller; only a plain file is read.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) throw EInOutError(errno, FileOp::Read);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int err = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    throw EInOutError(err, FileOp::Read);
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  std::string text;
  char buf[65536];
  while (text.size() <= limit) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int err = errno;
      ::close(fd);
      throw EInOutError(err, FileOp::Read);
    }
    if (n == 0) break;
    text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  if (text.size() > limit + 1) text.resize(limit + 1);
  return text;
}
