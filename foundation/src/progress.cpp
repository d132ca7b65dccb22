#include "foundation/progress.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/console.h"
#include "platform/diag.h"
#include "platform/preview.h"

namespace tng::progress {
namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

struct Account {
  bool started = false;
  bool finished = false;
  bool asks_devices = false;
  bool status_line = false;  // a progress line may be drawn
  bool drawn = false;        // one is on the screen now
  Clock::time_point began;
  Clock::time_point last_draw;
  std::string pass_class;
  uint32_t pass_objects = 0;
  uint32_t pass_done = 0;
  uint64_t moved = 0;
  uint64_t failed = 0;
  std::map<int, uint64_t> failures;  // by status; -1: not started
  uint64_t silent = 0;
};

Account& account() {
  static Account a;
  return a;
}

double seconds_since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

void draw(bool force) {
  Account& a = account();
  if (!a.status_line) return;
  const Clock::time_point now = Clock::now();
  if (!force && a.drawn && now - a.last_draw < kRedrawEvery) return;
  a.last_draw = now;
  std::string line = std::string(diag::program()) + ": " + a.pass_class + " " +
                     std::to_string(a.pass_done) + "/" + std::to_string(a.pass_objects) + ", " +
                     std::to_string(a.moved) + " moved, " + std::to_string(a.failed) + " failed";
  if (a.asks_devices) line += ", " + std::to_string(a.silent) + " silent";
  char time[32];
  std::snprintf(time, sizeof time, ", %.0f s", seconds_since(a.began));
  line += time;
  // Carriage return, the line, then erase what an older, longer line left.
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  a.drawn = true;
}

void erase() {
  Account& a = account();
  if (!a.drawn) return;
  std::fputs("\r\033[K", stderr);
  a.drawn = false;
}

std::string failures_text(const Account& a) {
  std::string text =
      std::to_string(a.failed) + (a.failed == 1 ? " reclass run" : " reclass runs") + " failed";
  if (a.failed == 0) return text;
  text += " (";
  bool first = true;
  for (const auto& [status, count] : a.failures) {
    if (!first) text += ", ";
    first = false;
    text += std::to_string(count) +
            (status < 0 ? " not started" : " with exit code " + std::to_string(status));
  }
  return text + ")";
}

void at_exit() { finish(); }

}  // namespace

void start(bool asks_devices) {
  Account& a = account();
  if (a.started) return;
  a.started = true;
  a.asks_devices = asks_devices;
  a.status_line = console::status_line_possible();
  a.began = Clock::now();
  std::atexit(at_exit);
}

void pass(std::string_view class_name, uint32_t objects) {
  Account& a = account();
  if (!a.started || a.finished) return;
  a.pass_class = class_name;
  a.pass_objects = objects;
  a.pass_done = 0;
  draw(true);
}

void object() {
  Account& a = account();
  if (!a.started || a.finished) return;
  ++a.pass_done;
  draw(false);
}

void reclass_starting() {
  Account& a = account();
  if (!a.started || a.finished) return;
  erase();
}

void reclass_ended(int status) {
  Account& a = account();
  if (!a.started || a.finished) return;
  if (status == 0) {
    ++a.moved;
  } else {
    ++a.failed;
    ++a.failures[status < 0 ? -1 : status];
  }
  draw(true);
}

void silent_device() {
  Account& a = account();
  if (!a.started || a.finished) return;
  ++a.silent;
}

void finish() {
  Account& a = account();
  if (!a.started || a.finished) return;
  a.finished = true;
  erase();
  // A preview says where its plan went before the summary.
  preview::finish();
  std::string line = std::to_string(a.moved) +
                     (a.moved == 1 ? " object moved, " : " objects moved, ") + failures_text(a);
  if (a.asks_devices)
    line +=
        ", " + std::to_string(a.silent) + (a.silent == 1 ? " device silent" : " devices silent");
  char time[32];
  std::snprintf(time, sizeof time, ", %.1f s", seconds_since(a.began));
  diag::say("%s%s\n", line.c_str(), time);
}

}  // namespace tng::progress
