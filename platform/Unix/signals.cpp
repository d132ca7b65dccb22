#include "platform/signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cstring>

namespace tng::signals {
namespace {

constexpr int kInterruptions[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT};
constexpr int kSlots = 8;
constexpr std::size_t kPathRoom = 4096;

// What the handler reads. A slot's path is written before the slot is
// marked used, and the handler reads only used slots.
struct Slot {
  std::atomic<bool> used{false};
  char path[kPathRoom];
};
Slot slots[kSlots];
std::atomic<bool> terminal_saved{false};
termios saved_terminal{};
std::atomic<bool> handlers_installed{false};

void on_interruption(int signal) {
  for (Slot& slot : slots)
    if (slot.used.load()) ::unlink(slot.path);
  if (terminal_saved.load()) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
  // Ends the way the signal would have ended it, so the caller sees it.
  struct sigaction action {};
  action.sa_handler = SIG_DFL;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(signal, &action, nullptr);
  sigset_t unblock;
  ::sigemptyset(&unblock);
  ::sigaddset(&unblock, signal);
  ::sigprocmask(SIG_UNBLOCK, &unblock, nullptr);
  ::raise(signal);
}

void install_handlers() {
  if (handlers_installed.exchange(true)) return;
  for (int signal : kInterruptions) {
    struct sigaction old {};
    if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN) continue;
    struct sigaction action {};
    action.sa_handler = on_interruption;
    ::sigemptyset(&action.sa_mask);
    for (int other : kInterruptions) ::sigaddset(&action.sa_mask, other);
    ::sigaction(signal, &action, nullptr);
  }
}

}  // namespace

void ignore_broken_pipe() {
  struct sigaction action {};
  action.sa_handler = SIG_IGN;
  ::sigemptyset(&action.sa_mask);
  ::sigaction(SIGPIPE, &action, nullptr);
}

bool set_child_defaults(posix_spawnattr_t& attributes) {
  sigset_t defaults;
  ::sigemptyset(&defaults);
  ::sigaddset(&defaults, SIGPIPE);
  short flags = 0;
  return ::posix_spawnattr_getflags(&attributes, &flags) == 0 &&
         ::posix_spawnattr_setsigdefault(&attributes, &defaults) == 0 &&
         ::posix_spawnattr_setflags(&attributes,
                                    static_cast<short>(flags | POSIX_SPAWN_SETSIGDEF)) == 0;
}

RemoveOnInterrupt::RemoveOnInterrupt(const std::string& path) { watch(path); }

RemoveOnInterrupt::~RemoveOnInterrupt() { release(); }

bool RemoveOnInterrupt::watch(const std::string& path) {
  release();
  if (path.size() >= kPathRoom) return false;
  install_handlers();
  for (int i = 0; i < kSlots; ++i) {
    if (slots[i].used.load()) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].used.store(true);
    slot_ = i;
    return true;
  }
  return false;
}

void RemoveOnInterrupt::release() {
  if (slot_ >= 0) slots[slot_].used.store(false);
  slot_ = -1;
}

RestoreTerminal::RestoreTerminal(const termios& saved) {
  install_handlers();
  saved_terminal = saved;
  terminal_saved.store(true);
}

RestoreTerminal::~RestoreTerminal() { terminal_saved.store(false); }

}  // namespace tng::signals
