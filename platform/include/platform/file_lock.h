// An exclusive lock on a file, held by one process at a time: a run that
// must not overlap another run on the same files takes it first. The lock
// is released when the holder ends, however it ends.
#pragma once
#include <string>

namespace tng::file_lock {

enum class Result { Acquired, Busy, Unavailable };

class ExclusiveLock {
 public:
  ExclusiveLock() = default;
  ~ExclusiveLock();
  ExclusiveLock(const ExclusiveLock&) = delete;
  ExclusiveLock& operator=(const ExclusiveLock&) = delete;

  // Creates the file when needed and takes the lock without waiting: Busy
  // when another process holds it, Unavailable when the file cannot be
  // created or locked.
  Result acquire(const std::string& path);

 private:
  int fd_ = -1;
};

}  // namespace tng::file_lock
