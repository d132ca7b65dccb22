#include "output.h"

#include <cstdarg>

namespace orxdetect {

Output::~Output() { close_log(); }

bool Output::open_log(const std::string& path) {
  close_log();
  log_ = std::fopen(path.c_str(), "w");
  return log_ != nullptr;
}

void Output::close_log() {
  if (log_ != nullptr) std::fclose(log_);
  log_ = nullptr;
}

void Output::say(To to, const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  if (to == To::ConsoleAndLog && log_ != nullptr) {
    std::va_list again;
    va_copy(again, arguments);
    std::vprintf(format, arguments);
    std::vfprintf(log_, format, again);
    va_end(again);
  } else {
    std::vprintf(format, arguments);
  }
  va_end(arguments);
}

void Output::say_apart(const char* console, const char* log) {
  std::fputs(console, stdout);
  if (log_ != nullptr) std::fputs(log, log_);
}

void Output::console(const char* format, ...) {
  std::va_list arguments;
  va_start(arguments, format);
  std::vprintf(format, arguments);
  va_end(arguments);
}

void Output::log(const char* format, ...) {
  if (log_ == nullptr) return;
  std::va_list arguments;
  va_start(arguments, format);
  std::vfprintf(log_, format, arguments);
  va_end(arguments);
}

}  // namespace orxdetect
