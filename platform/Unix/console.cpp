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

// HiddenInput objects alive; only the outermost one switches the mode.
int hidden_depth = 0;

}  // namespace

HiddenInput::HiddenInput(Hide what) {
  if (hidden_depth++ > 0) return;
  active_ = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &saved_) == 0;
  if (!active_) return;
  restore_.emplace(saved_);
  termios quiet = saved_;
  quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
  if (what == Hide::keys) {
    quiet.c_lflag &= ~static_cast<tcflag_t>(ICANON | ISIG | IEXTEN);
    quiet.c_iflag &= ~static_cast<tcflag_t>(ICRNL | IXON);
    quiet.c_cc[VMIN] = 1;
    quiet.c_cc[VTIME] = 0;
  }
  ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
}

HiddenInput::~HiddenInput() {
  --hidden_depth;
  if (active_) ::tcsetattr(STDIN_FILENO, TCSANOW, &saved_);
}

std::optional<unsigned char> read_key() {
  std::fflush(stdout);
  std::optional<HiddenInput> hidden;
  if (hidden_depth == 0) hidden.emplace(Hide::keys);
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

bool status_line_possible() { return ::isatty(STDERR_FILENO) && !::isatty(STDOUT_FILENO); }

}  // namespace tng::console
