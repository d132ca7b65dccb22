// Writing files so that a failure never leaves half of a write behind: a
// file replaced in one step, an append that lands whole or not at all.
// Every function returns 0 or the errno value of the cause; error_text()
// turns that into words ("no space left on device"). And a run's temporary
// file, removed when the run ends, however it ends.
#pragma once
#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>

#include "platform/signals.h"

namespace tng::files {

// strerror's text for `error`, starting with a small letter.
std::string error_text(int error);

// Writes `content` to a new file in the same folder, flushes it to disk,
// gives it `mode` (the umask does not apply) and renames it over `path`;
// the folder is flushed too. On failure `path` is as it was and the new
// file is gone.
int replace(const std::string& path, std::string_view content, mode_t mode);

// Replaces the content of an existing file the way an open for writing
// would be allowed to: a file the caller may not write is refused (EACCES);
// owner, group and mode stay. Where the folder lets a new file be renamed
// over the old one with the same owner and group, that is done as replace()
// does; otherwise the file is rewritten in place after room for the new
// content has been reserved, so that a lack of room leaves it untouched.
int rewrite(const std::string& path, std::string_view content);

// Appends `data` to the file open on `fd` (opened with O_APPEND) whole or
// not at all: the file is locked against other appenders for the write,
// and a write that runs out of room is cut back to where it started.
int append_whole(int fd, std::string_view data);

// Reads a whole file. 0, or the errno value.
int read_all(const std::string& path, std::string& content);

// Makes a new empty file that only its owner may read and write, whatever
// the umask. Anything at `path`, a dangling link included, is refused
// (EEXIST). 0, or the errno value.
int create_private(const std::string& path);

// What open_regular answers for a FIFO, a device, a folder or a socket.
inline constexpr int kNotRegular = -1;

// Opens a regular file for reading in binary mode without ever waiting for
// a writer: anything else is refused with kNotRegular. 0 with `file` set,
// kNotRegular, or the errno value.
int open_regular(const std::string& path, std::FILE*& file);

// A temporary file of a run at a path the run names (not a private name:
// the file's name is part of what the run shows). A file this run created
// is removed when the object goes, or when an interruption ends the run; a
// file of that name that the run did not make is emptied and used, but never
// removed.
class TempFile {
 public:
  explicit TempFile(std::string path) : path_(std::move(path)) {}
  ~TempFile() { discard(); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;

  // Creates or truncates the file for reading and writing. False when it
  // cannot be opened.
  bool create();
  void close();
  // Closes the file and deletes it, when this run created it.
  void discard();
  // Writes to the file while it is open; nothing otherwise.
  [[gnu::format(printf, 2, 3)]] void write(const char* format, ...);
  void flush();

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  bool created_ = false;
  tng::signals::RemoveOnInterrupt remove_on_interrupt_;
};

}  // namespace tng::files
