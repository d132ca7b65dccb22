// How the suite's processes meet signals.
//
// A closed pipe: writes to it fail (EPIPE) instead of ending the process, so
// a tool whose output nobody reads still does its work.
//
// An interruption (SIGINT, SIGTERM, SIGHUP, SIGQUIT): before the process
// ends by it, the files it registered are removed and a terminal mode it
// registered is put back. Signals that were ignored when the process started
// stay ignored.
#pragma once
#include <spawn.h>
#include <termios.h>

#include <string>

namespace tng::signals {

void ignore_broken_pipe();

// Makes a child started with these attributes take the default action for
// a closed pipe again, as a program expects to start. False on failure.
bool set_child_defaults(posix_spawnattr_t& attributes);

// A file removed when an interruption ends the process. The registration
// ends with the object; the file itself is left alone then.
class RemoveOnInterrupt {
 public:
  RemoveOnInterrupt() = default;
  explicit RemoveOnInterrupt(const std::string& path);
  ~RemoveOnInterrupt();
  RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
  RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

  // Registers `path` (a previous one is let go). False when no slot is free.
  bool watch(const std::string& path);
  void release();

 private:
  int slot_ = -1;
};

// The terminal on standard input is set back to `saved` when an
// interruption ends the process, while the object lives.
class RestoreTerminal {
 public:
  explicit RestoreTerminal(const termios& saved);
  ~RestoreTerminal();
  RestoreTerminal(const RestoreTerminal&) = delete;
  RestoreTerminal& operator=(const RestoreTerminal&) = delete;
};

}  // namespace tng::signals
