#include "platform/process.h"
#include "platform/signals.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string_view>

extern char** environ;

namespace tng::process {
namespace {

std::vector<char*> c_argv(const std::vector<std::string>& argv) {
  std::vector<char*> out;
  out.reserve(argv.size() + 1);
  for (const std::string& a : argv) out.push_back(const_cast<char*>(a.c_str()));
  out.push_back(nullptr);
  return out;
}

bool is_executable_file(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

// The places a program is looked for, in order: the current directory, then
// each directory of PATH (an empty entry is the current directory too).
std::vector<std::string> candidates(const std::string& name) {
  std::vector<std::string> out;
  if (name.find('/') != std::string::npos) {
    out.push_back(name);
    return out;
  }
  out.push_back("./" + name);
  const char* path = std::getenv("PATH");
  std::string_view rest = path ? path : "";
  while (!rest.empty()) {
    auto colon = rest.find(':');
    std::string_view dir = rest.substr(0, colon);
    out.push_back((dir.empty() ? std::string(".") : std::string(dir)) + "/" + name);
    if (colon == std::string_view::npos) break;
    rest = rest.substr(colon + 1);
  }
  return out;
}

bool core_dumps_forbidden = false;
// The core file size limit the process had before forbid_core_dumps.
std::optional<rlimit> core_limit_before;

// Owns the spawn file actions: the child keeps the standard streams only.
class ChildDescriptors {
 public:
  ChildDescriptors() {
    initialised_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    ok_ = initialised_ &&
          ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
  }
  ~ChildDescriptors() {
    if (initialised_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  ChildDescriptors(const ChildDescriptors&) = delete;
  ChildDescriptors& operator=(const ChildDescriptors&) = delete;
  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool initialised_ = false;
  bool ok_ = false;
};

}  // namespace

void forbid_core_dumps() {
  if (core_dumps_forbidden) return;
  core_dumps_forbidden = true;
  ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
  rlimit limit{RLIM_INFINITY, RLIM_INFINITY};
  if (::getrlimit(RLIMIT_CORE, &limit) == 0) core_limit_before = limit;
  // The hard limit stays, so that restore_core_limit can give the soft one
  // back to a program that is not ours.
  const rlimit none{0, limit.rlim_max};
  ::setrlimit(RLIMIT_CORE, &none);
}

void restore_core_limit() {
  if (core_limit_before) ::setrlimit(RLIMIT_CORE, &*core_limit_before);
}

int spawn_and_wait(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  // The child writes to the same standard output: what we printed must come
  // out before it.
  std::fflush(stdout);
  std::fflush(stderr);
  std::vector<char*> args = c_argv(argv);
  const ChildDescriptors descriptors;
  if (!descriptors.ok()) return -1;
  posix_spawnattr_t attributes;
  if (::posix_spawnattr_init(&attributes) != 0) return -1;
  const bool defaults = signals::set_child_defaults(attributes);
  for (const std::string& path : candidates(argv[0])) {
    if (!defaults) break;
    if (!is_executable_file(path)) continue;
    pid_t pid = 0;
    const char* program = path.c_str();
    if (::posix_spawn(&pid, program, descriptors.get(), &attributes, args.data(), environ) != 0)
      continue;
    ::posix_spawnattr_destroy(&attributes);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
      if (errno != EINTR) return -1;
    }
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    return 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
  }
  ::posix_spawnattr_destroy(&attributes);
  return -1;
}

}  // namespace tng::process

namespace tng::process {

// The watcher holds the read end of a pipe whose write end only this
// process holds (the children it starts get no descriptor but the standard
// ones). End of file on the pipe is the end of the process; a byte is the
// work called off.
bool AfterExit::arm(const std::function<void()>& work) {
  call_off();
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) return false;
  std::fflush(stdout);
  std::fflush(stderr);
  const pid_t pid = ::fork();
  if (pid < 0) {
    ::close(ends[0]);
    ::close(ends[1]);
    return false;
  }
  if (pid == 0) {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigemptyset(&ignore.sa_mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) ::sigaction(signal, &ignore, nullptr);
    // Only the pipe (as descriptor 3) and standard error stay open: the
    // watcher must keep no lock, socket or file of the process alive.
    if (::dup2(ends[0], 3) < 0) ::_exit(1);
    ::close_range(4, ~0U, 0);
    const int null = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
      ::dup2(null, STDIN_FILENO);
      ::dup2(null, STDOUT_FILENO);
      ::close(null);
    }
    char byte = 0;
    ssize_t n;
    do {
      n = ::read(3, &byte, 1);
    } while (n < 0 && errno == EINTR);
    if (n != 1) {
      try {
        work();
      } catch (...) {
      }
    }
    // No exit handlers, no destructors: they belong to the process watched.
    ::_exit(0);
  }
  ::close(ends[0]);
  pipe_ = ends[1];
  watcher_ = pid;
  return true;
}

void AfterExit::call_off() {
  if (pipe_ < 0) return;
  const char byte = 'x';
  ssize_t n;
  do {
    n = ::write(pipe_, &byte, 1);
  } while (n < 0 && errno == EINTR);
  ::close(pipe_);
  pipe_ = -1;
  int status = 0;
  while (::waitpid(watcher_, &status, 0) < 0 && errno == EINTR) {
  }
  watcher_ = -1;
}

}  // namespace tng::process
