#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/signals.h"

namespace tng::files {
namespace {

// Closes a descriptor when it goes out of scope.
class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() { reset(); }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }
  int release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now and reports a failure of the close (a delayed write error).
  int close() {
    int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) != 0 ? errno : 0;
  }

 private:
  int fd_;
};

int write_all(int fd, std::string_view data) {
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data.remove_prefix(static_cast<size_t>(n));
  }
  return 0;
}

int pwrite_all(int fd, std::string_view data, off_t at) {
  while (!data.empty()) {
    ssize_t n = ::pwrite(fd, data.data(), data.size(), at);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    data.remove_prefix(static_cast<size_t>(n));
    at += n;
  }
  return 0;
}

std::string folder_of(const std::string& path) {
  auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// Flushes a folder's entries (the rename) to disk.
int sync_folder(const std::string& folder) {
  Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.get() < 0) return errno;
  if (::fsync(dir.get()) != 0 && errno != EINVAL) return errno;
  return 0;
}

// The new content under a private name beside `path`, complete and on disk,
// then renamed over it. `owner`/`group` of -1 leave the runner's.
int replace_by_rename(const std::string& path, std::string_view content, mode_t mode, uid_t owner,
                      gid_t group) {
  std::string temporary = path + ".XXXXXX";
  std::vector<char> name(temporary.begin(), temporary.end());
  name.push_back('\0');
  Fd fd(::mkostemp(name.data(), O_CLOEXEC));
  if (fd.get() < 0) return errno;
  temporary = name.data();
  // An interruption while it is written leaves no half-written file behind.
  signals::RemoveOnInterrupt remove_on_interrupt(temporary);
  int error = write_all(fd.get(), content);
  if (!error && owner != static_cast<uid_t>(-1) && ::fchown(fd.get(), owner, group) != 0)
    error = errno;
  if (!error && ::fchmod(fd.get(), mode) != 0) error = errno;
  if (!error && ::fsync(fd.get()) != 0) error = errno;
  if (int closed = fd.close(); !error) error = closed;
  if (!error && ::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error) {
    ::unlink(temporary.c_str());
    return error;
  }
  return sync_folder(folder_of(path));
}

}  // namespace

std::string error_text(int error) {
  std::string text = std::strerror(error);
  // "No space left on device" reads as part of a sentence: "cannot write X: no space ...".
  if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[0])) &&
      std::islower(static_cast<unsigned char>(text[1])))
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  return text;
}

int replace(const std::string& path, std::string_view content, mode_t mode) {
  return replace_by_rename(path, content, mode, static_cast<uid_t>(-1), static_cast<gid_t>(-1));
}

int rewrite(const std::string& path, std::string_view content) {
  char* real = ::realpath(path.c_str(), nullptr);  // a link's own file
  if (real == nullptr) return errno;
  const std::string target = real;
  std::free(real);
  struct stat st {};
  if (::stat(target.c_str(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return EINVAL;
  if (::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return errno;

  // A new file made here belongs to the runner; it may stand in for the old
  // one only where the old one's owner and group can be given to it.
  const bool folder_writable =
      ::faccessat(AT_FDCWD, folder_of(target).c_str(), W_OK | X_OK, AT_EACCESS) == 0;
  const bool same_owner = st.st_uid == ::geteuid() && st.st_gid == ::getegid();
  if (folder_writable && (same_owner || ::geteuid() == 0))
    return replace_by_rename(target, content, st.st_mode & 07777, st.st_uid, st.st_gid);

  Fd fd(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  const auto size = static_cast<off_t>(content.size());
  if (size > st.st_size) {
    // Room first: a full disk or a size limit refuses here, before any
    // byte of the old content is overwritten.
    int error = ::posix_fallocate(fd.get(), 0, size);
    if (error != 0 && error != EOPNOTSUPP && error != EINVAL) return error;
  }
  if (int error = pwrite_all(fd.get(), content, 0)) return error;
  if (::ftruncate(fd.get(), size) != 0) return errno;
  if (::fsync(fd.get()) != 0) return errno;
  return fd.close();
}

int append_whole(int fd, std::string_view data) {
  while (::flock(fd, LOCK_EX) != 0)
    if (errno != EINTR) return errno;
  struct stat st {};
  const bool sized = ::fstat(fd, &st) == 0;
  int error = sized ? write_all(fd, data) : errno;
  if (error && sized) {
    // Whatever part of the line did land is taken back, so the next append
    // starts on a line of its own.
    while (::ftruncate(fd, st.st_size) != 0 && errno == EINTR) {
    }
  }
  ::flock(fd, LOCK_UN);
  return error;
}

int read_all(const std::string& path, std::string& content) {
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  content.clear();
  char chunk[65536];
  for (;;) {
    ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return 0;
    content.append(chunk, static_cast<size_t>(n));
  }
}

int create_private(const std::string& path) {
  Fd fd(::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600));
  if (fd.get() < 0) return errno;
  if (::fchmod(fd.get(), 0600) != 0) {
    const int error = errno;
    ::unlink(path.c_str());
    return error;
  }
  return 0;
}

int open_regular(const std::string& path, std::FILE*& file) {
  file = nullptr;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer.
  Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) return errno;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return kNotRegular;
  int flags = ::fcntl(fd.get(), F_GETFL);
  if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
  file = ::fdopen(fd.get(), "rb");
  if (file == nullptr) return errno;
  fd.release();
  return 0;
}

bool TempFile::create() {
  close();
  // A file of that name that this run did not make is emptied and used, but
  // never removed.
  file_ = std::fopen(path_.c_str(), "w+x");
  if (file_ != nullptr && !created_) {
    created_ = true;
    remove_on_interrupt_.watch(path_);
  }
  if (file_ == nullptr) file_ = std::fopen(path_.c_str(), "w+");
  return file_ != nullptr;
}

void TempFile::close() {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void TempFile::discard() {
  close();
  if (created_) std::remove(path_.c_str());
  remove_on_interrupt_.release();
  created_ = false;
}

void TempFile::write(const char* format, ...) {
  if (file_ == nullptr) return;
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(file_, format, arguments);
  va_end(arguments);
}

void TempFile::flush() {
  if (file_ != nullptr) std::fflush(file_);
}

}  // namespace tng::files
