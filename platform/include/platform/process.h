// Child processes, started and waited for the way the framework's tools are:
// the program is looked for first in the current directory, then in each
// directory of PATH in order; every argument reaches the child as one word
// (no shell, no splitting at blanks); the child inherits the standard
// streams and the environment, and no other descriptor of its parent's (a
// log, a lock, a socket, a pipe the parent was given).
#pragma once
#include <sys/types.h>

#include <functional>
#include <string>
#include <vector>

namespace tng::process {

// argv[0] is the program's name. Returns the child's exit status, or -1 when
// no start succeeded anywhere.
int spawn_and_wait(const std::vector<std::string>& argv);

// Keeps this process's memory out of core dumps: it becomes undumpable
// (which also keeps other processes of the user from reading its memory)
// and its core file size limit becomes 0. For a program that holds a
// password or a pass phrase; called once, before the first secret is read.
// The children it starts inherit the limit (the suite's tools forbid dumps
// themselves too); a program the shell opens gets the limit of before.
void forbid_core_dumps();

// In a child that is about to start a program which is not the suite's:
// the core file size limit that forbid_core_dumps found.
void restore_core_limit();

// Work that must be done once this process has ended, however it ends (an
// interruption or a kill included): arm() starts a watcher process that
// waits for the end of this one, then runs the work and exits. call_off()
// tells the watcher that the work is done or not needed, and waits for it
// to end. The watcher ignores the interruption signals (a Ctrl-C reaches
// the whole process group), reads nothing, writes only to standard error
// and holds no other file of this process.
class AfterExit {
 public:
  AfterExit() = default;
  // Leaves the watcher armed: it does its work when the process ends.
  ~AfterExit() = default;
  AfterExit(const AfterExit&) = delete;
  AfterExit& operator=(const AfterExit&) = delete;

  // False when the watcher could not be started (the work will not be done).
  bool arm(const std::function<void()>& work);
  void call_off();

 private:
  int pipe_ = -1;  // the write end; the watcher waits for its end
  pid_t watcher_ = -1;
};

}  // namespace tng::process
