// The desktop shell's "open", over posix_spawn. The program is started from
// a short-lived intermediate process that is reaped at once, so the started
// program belongs to init and never lingers as a zombie of the caller, and
// the caller never waits for it. The window show mode has no meaning here.
// As on the desktop, a program that cannot be started is not reported.
#include "platform/shell.h"
#include "platform/process.h"
#include "platform/signals.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

extern char** environ;

namespace tng::shell {
namespace {

enum class Search { path, none };

// Owns the spawn file actions: the started program reads nothing from the
// caller's standard input; its output streams are the caller's, and no
// other descriptor of the caller's reaches it.
class SpawnActions {
 public:
  SpawnActions() {
    ok_ =
        posix_spawn_file_actions_init(&actions_) == 0 &&
        posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0) == 0 &&
        posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1) == 0;
  }
  ~SpawnActions() { posix_spawn_file_actions_destroy(&actions_); }
  SpawnActions(const SpawnActions&) = delete;
  SpawnActions& operator=(const SpawnActions&) = delete;
  bool ok() const { return ok_; }
  const posix_spawn_file_actions_t* get() const { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

void start_detached(const std::string& program, const std::vector<std::string>& words,
                    Search search) {
  std::vector<char*> argv;
  argv.reserve(words.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);

  // Whatever the caller printed comes before anything the program prints.
  std::fflush(nullptr);

  const pid_t intermediate = fork();
  if (intermediate < 0) return;
  if (intermediate == 0) {
    // The program opened is not the suite's: it gets the core dump limit
    // the caller was started with.
    process::restore_core_limit();
    SpawnActions actions;
    posix_spawnattr_t attributes;
    pid_t child = 0;
    if (actions.ok() && posix_spawnattr_init(&attributes) == 0) {
      if (signals::set_child_defaults(attributes)) {
        if (search == Search::path)
          posix_spawnp(&child, program.c_str(), actions.get(), &attributes, argv.data(), environ);
        else
          posix_spawn(&child, program.c_str(), actions.get(), &attributes, argv.data(), environ);
      }
      posix_spawnattr_destroy(&attributes);
    }
    _exit(0);
  }
  int status = 0;
  while (waitpid(intermediate, &status, 0) < 0 && errno == EINTR) {
  }
}

}  // namespace

void open_url(const std::string& url, ShowMode /*show*/) {
  const char* browser = std::getenv("BROWSER");
  const std::string program = browser && *browser ? browser : "xdg-open";
  start_detached(program, {url}, Search::path);
}

void open_program(const std::string& path, const std::vector<std::string>& arguments,
                  ShowMode /*show*/) {
  start_detached(path, arguments, Search::none);
}

}  // namespace tng::shell
