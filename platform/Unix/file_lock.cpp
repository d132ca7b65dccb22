#include "platform/file_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

namespace tng::file_lock {

ExclusiveLock::~ExclusiveLock() {
  if (fd_ >= 0) ::close(fd_);  // closing the descriptor releases the lock
}

Result ExclusiveLock::acquire(const std::string& path) {
  if (fd_ >= 0) return Result::Acquired;
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return Result::Unavailable;
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    ::close(fd);
    return busy ? Result::Busy : Result::Unavailable;
  }
  fd_ = fd;
  return Result::Acquired;
}

}  // namespace tng::file_lock
