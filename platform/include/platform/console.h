// The console, as the tools read it. On a terminal the hidden reads switch
// echo, line editing and signal keys off for one key and restore the mode
// after it; when standard input is not a terminal every read takes bytes
// from it as they come, so answers can be typed through a pipe. All reads
// use file descriptor 0 directly, without a buffer of their own, so that the
// tools and the platform's prompts can share one input.
#pragma once
#include <termios.h>

#include <cstddef>
#include <optional>
#include <string>

#include "platform/signals.h"

namespace tng::console {

// What a hidden entry switches off on a terminal: `keys` reads key by key
// without echo, line editing or signal keys; `line` only stops the echo.
enum class Hide { keys, line };

// Keeps typed keys hidden for the whole of its life, so keys typed ahead of
// an entry, or between two entries read in one scope, are never echoed. The
// terminal's mode is put back when it ends, or when a signal ends the
// process first. Inert when standard input is not a terminal, or inside
// another HiddenInput.
class HiddenInput {
 public:
  explicit HiddenInput(Hide what);
  ~HiddenInput();
  HiddenInput(const HiddenInput&) = delete;
  HiddenInput& operator=(const HiddenInput&) = delete;
  // True when this object switched the terminal's mode.
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_ = false;
  std::optional<signals::RestoreTerminal> restore_;
};

// One key, not echoed, without waiting for Enter (the console's _getch).
// Enter arrives as '\r'. End of input: std::nullopt. Outside a HiddenInput
// the terminal is hidden for this one key.
std::optional<unsigned char> read_key();

// One character of line-buffered input (the C runtime's getchar on the
// console): on a terminal it returns after Enter. End of input: std::nullopt.
std::optional<unsigned char> read_char();

// One echoed line, without its line end ('\n', and a '\r' before it, so
// answers typed with Windows line ends read the same).
// End of input before any character: std::nullopt.
std::optional<std::string> read_line();

// Writes to standard output and flushes it (prompts of the tools).
void write(const char* text);

// Whether a status line may be redrawn in place on standard error: standard
// error is a terminal and standard output is not (when both are the same
// terminal, the tool's own lines would run through the status line).
bool status_line_possible();

}  // namespace tng::console
