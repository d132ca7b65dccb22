// cawto: puts one event on the NSM event console of the NSM directory this
// program was started from (the folder above its bin/). The console is the
// file logs/console.log there, one JSON object a line.
//
//   cawto -n NODE [-cat CATEGORY] [-sev LETTER] [-c COLOUR] [-k] [-s SOURCE] WORD...
//
// Options come first, each value in the word after its option; the first
// word that is not an option (or the words after "--") begins the message,
// and the message words are joined by one blank.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr int exit_usage = 2;
constexpr int exit_failure = 1;

struct Event {
  std::optional<std::string> node, category, severity, colour, source;
  bool keep = false;
  std::vector<std::string> words;
};

// The options that take a value, and where the value goes.
struct ValueOption {
  std::string_view name;
  std::optional<std::string> Event::*field;
};
constexpr ValueOption value_options[] = {
    {"-n", &Event::node},   {"-cat", &Event::category}, {"-sev", &Event::severity},
    {"-c", &Event::colour}, {"-s", &Event::source},
};

int usage(const char* why) {
  std::fprintf(stderr, "cawto: %s\n", why);
  std::fputs("usage: cawto -n NODE [-cat CATEGORY] [-sev LETTER] [-c COLOUR] [-k] [-s SOURCE] WORD...\n",
             stderr);
  return exit_usage;
}

// Parses the command line; nullopt after a usage message.
std::optional<Event> parse(int argc, char** argv) {
  Event e;
  int i = 1;
  for (; i < argc; ++i) {
    std::string_view word = argv[i];
    if (word == "--") {
      ++i;
      break;
    }
    if (word == "-k") {
      e.keep = true;
      continue;
    }
    const ValueOption* option = nullptr;
    for (const ValueOption& o : value_options)
      if (o.name == word) option = &o;
    if (option == nullptr) break;  // the message begins here
    if (i + 1 >= argc) {
      usage(("option " + std::string(word) + " needs a value").c_str());
      return std::nullopt;
    }
    e.*(option->field) = argv[++i];
  }
  for (; i < argc; ++i) e.words.emplace_back(argv[i]);
  if (!e.node) {
    usage("the node (-n) is required");
    return std::nullopt;
  }
  if (e.words.empty()) {
    usage("a message is required");
    return std::nullopt;
  }
  return e;
}

// Length of the well-formed UTF-8 sequence at s[i], or 0.
std::size_t utf8_sequence(std::string_view s, std::size_t i) {
  const auto b = static_cast<unsigned char>(s[i]);
  std::size_t n = b >= 0xF0 && b <= 0xF4 ? 4 : b >= 0xE0 ? 3 : b >= 0xC2 && b <= 0xDF ? 2 : 0;
  if (n == 0 || i + n > s.size()) return 0;
  for (std::size_t k = 1; k < n; ++k)
    if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return 0;
  const auto b1 = static_cast<unsigned char>(s[i + 1]);
  if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 > 0x9F) || (b == 0xF0 && b1 < 0x90) ||
      (b == 0xF4 && b1 > 0x8F))
    return 0;  // overlong, surrogate or beyond U+10FFFF
  return n;
}

// A JSON string. Bytes that are not UTF-8 are taken as Latin-1 characters,
// so the line stays valid JSON whatever the event carried.
std::string json_string(std::string_view s) {
  std::string out = "\"";
  for (std::size_t i = 0; i < s.size(); ++i) {
    const auto c = static_cast<unsigned char>(s[i]);
    char hex[8];
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        } else if (c < 0x80) {
          out += static_cast<char>(c);
        } else if (std::size_t n = utf8_sequence(s, i); n != 0) {
          out.append(s.substr(i, n));
          i += n - 1;
        } else {
          std::snprintf(hex, sizeof hex, "\\u%04x", c);
          out += hex;
        }
    }
  }
  return out + '"';
}

std::string json_optional(const std::optional<std::string>& value) {
  return value ? json_string(*value) : "null";
}

std::string utc_now() {
  std::time_t now = std::time(nullptr);
  std::tm tm{};
  gmtime_r(&now, &tm);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return text;
}

std::string json_line(const Event& e) {
  std::string message;
  for (std::size_t i = 0; i < e.words.size(); ++i) message += (i ? " " : "") + e.words[i];
  return "{\"time\":" + json_string(utc_now()) + ",\"node\":" + json_optional(e.node) +
         ",\"category\":" + json_optional(e.category) + ",\"severity\":" + json_optional(e.severity) +
         ",\"colour\":" + json_optional(e.colour) + ",\"source\":" + json_optional(e.source) +
         ",\"keep\":" + (e.keep ? "true" : "false") + ",\"message\":" + json_string(message) + "}\n";
}

// The NSM directory: the folder above the one that holds this program, as
// it was named when started (so a link in an NSM bin/ counts as that NSM).
std::optional<std::string> nsm_directory(const char* argv0) {
  std::string program = argv0 ? argv0 : "";
  if (program.find('/') == std::string::npos) {
    char self[4096];
    ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n <= 0) return std::nullopt;
    program.assign(self, static_cast<std::size_t>(n));
  }
  auto slash = program.rfind('/');
  std::string bin = slash == 0 ? "/" : program.substr(0, slash);
  return bin + "/..";
}

// Appends the line with one write, so events from programs running at the
// same time never mix within a line.
bool append(const std::string& directory, const std::string& line) {
  const std::string logs = directory + "/logs";
  if (mkdir(logs.c_str(), 0777) != 0 && errno != EEXIST) {
    std::fprintf(stderr, "cawto: cannot create %s: %s\n", logs.c_str(), std::strerror(errno));
    return false;
  }
  const std::string file = logs + "/console.log";
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    std::fprintf(stderr, "cawto: cannot open %s: %s\n", file.c_str(), std::strerror(errno));
    return false;
  }
  ssize_t written = write(fd, line.data(), line.size());
  int write_errno = errno;
  bool closed = close(fd) == 0;
  if (written != static_cast<ssize_t>(line.size()) || !closed) {
    std::fprintf(stderr, "cawto: cannot write %s: %s\n", file.c_str(),
                 std::strerror(written < 0 ? write_errno : EIO));
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  std::optional<Event> event = parse(argc, argv);
  if (!event) return exit_usage;
  std::optional<std::string> directory = nsm_directory(argv[0]);
  if (!directory) {
    std::fputs("cawto: cannot tell which NSM directory this program belongs to\n", stderr);
    return exit_failure;
  }
  return append(*directory, json_line(*event)) ? 0 : exit_failure;
}
