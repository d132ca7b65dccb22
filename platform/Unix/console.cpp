#include "platform/console.h"

#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace tng::console {
namespace {

std::optional<unsigned char> read_byte() {
  unsigned char c = 0;
  for (;;) {
    ssize_t n = ::read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR) continue;
    return std::nullopt;
  }
}

// Puts the terminal in raw mode for the lifetime of the object and restores
// the previous mode afterwards.
class RawMode {
 public:
  RawMode() : active_(::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved_) == 0) {
    if (!active_) return;
    termios raw = saved_;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &raw);
  }
  ~RawMode() {
    if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
  }
  RawMode(const RawMode&) = delete;
  RawMode& operator=(const RawMode&) = delete;
  bool active() const { return active_; }

 private:
  termios saved_{};
  bool active_;
};

}  // namespace

std::optional<unsigned char> read_key() {
  std::fflush(stdout);
  RawMode raw;
  auto c = read_byte();
  // A pipe delivers Enter as '\n'; a console key press delivers '\r'.
  if (c && *c == '\n') return static_cast<unsigned char>('\r');
  return c;
}

std::optional<unsigned char> read_char() {
  std::fflush(stdout);
  return read_byte();
}

std::optional<std::string> read_line() {
  std::fflush(stdout);
  std::string line;
  for (;;) {
    auto c = read_byte();
    if (!c) {
      if (line.empty()) return std::nullopt;
      break;
    }
    if (*c == '\n') break;
    line.push_back(static_cast<char>(*c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void write(const char* text) {
  std::fputs(text, stdout);
  std::fflush(stdout);
}

}  // namespace tng::console
