#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace tng::file_lock {

ExclusiveLock::~ExclusiveLock() {
  if (fd_ < 0) return;
  // Removed while still held, so that no other run can take a lock on a
  // file that is about to go; a run that opened it just before sees that
  // it is gone and makes its own.
  if (created_) ::unlink(path_.c_str());
  remove_on_interrupt_.release();
  ::close(fd_);  // closing the descriptor releases the lock
}

Result ExclusiveLock::acquire(const std::string& path) {
  if (fd_ >= 0) return Result::Acquired;
  for (int attempt = 0; attempt < 8; ++attempt) {
    bool made = true;
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0 && errno == EEXIST) {
      made = false;
      fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
      if (fd < 0 && errno == ENOENT) continue;  // removed meanwhile by its run
    }
    if (fd < 0) return Result::Unavailable;
    if (made) remove_on_interrupt_.watch(path);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      if (made) {
        remove_on_interrupt_.release();
        ::unlink(path.c_str());
      }
      ::close(fd);
      return busy ? Result::Busy : Result::Unavailable;
    }
    struct stat held {
    }, named{};
    if (::fstat(fd, &held) != 0 || ::stat(path.c_str(), &named) != 0 ||
        held.st_ino != named.st_ino || held.st_dev != named.st_dev) {
      ::close(fd);  // the file was removed by the run that held it: again
      continue;
    }
    fd_ = fd;
    created_ = made;
    path_ = path;
    return Result::Acquired;
  }
  return Result::Unavailable;
}

}  // namespace tng::file_lock
