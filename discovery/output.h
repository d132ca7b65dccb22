// orxdetect's messages: every message goes to the console; the ones that
// matter for the record also go, with the same text, to the run's log file
// right after the console line.
#pragma once
#include <cstdio>
#include <string>

namespace orxdetect {

enum class To { Console, ConsoleAndLog };

class Output {
 public:
  Output() = default;
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  // Creates or truncates the log file. False when it cannot be opened.
  bool open_log(const std::string& path);
  void close_log();

  // One message to the console and, when marked, to the log.
  [[gnu::format(printf, 3, 4)]] void say(To to, const char* format, ...);
  // A message whose console and log wordings differ.
  void say_apart(const char* console, const char* log);
  [[gnu::format(printf, 2, 3)]] void console(const char* format, ...);
  [[gnu::format(printf, 2, 3)]] void log(const char* format, ...);

 private:
  std::FILE* log_ = nullptr;
};

}  // namespace orxdetect
