// An exclusive lock on a file, held by one process at a time: a run that
// must not overlap another run on the same files takes it first. The lock
// is released when the holder ends, however it ends. A lock file the holder
// created is removed when it lets go, and when an interruption (see
// signals.h) ends it; a lock file that was there before is left in place.
#pragma once
#include <string>

#include "platform/signals.h"

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
  bool created_ = false;
  std::string path_;
  signals::RemoveOnInterrupt remove_on_interrupt_;
};

}  // namespace tng::file_lock
