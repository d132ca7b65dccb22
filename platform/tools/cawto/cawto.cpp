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
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"
#include "platform/diag.h"
#include "platform/files.h"
#include "platform/json.h"
#include "platform/signals.h"
#include "tool_help.h"

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

constexpr const char* kUsageLine =
    "usage: cawto -n NODE [-cat CATEGORY] [-sev LETTER] [-c COLOUR] [-k] [-s SOURCE] WORD...\n";
const std::string kHelp =
    std::string(kUsageLine) +
    "\n"
    "Appends one event to the NSM event console of the NSM directory that holds\n"
    "this program (the folder above its bin/): one JSON object a line in\n"
    "logs/console.log there. The words after the options (or after --) are the\n"
    "message, joined by one blank.\n"
    "Exit status 0 when the event was written, 1 when it could not be, 2 for a\n"
    "bad command line.\n";

int usage(const char* why) {
  tng::diag::say("%s\n", why);
  std::fputs(kUsageLine, stderr);
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

// The event as one JSON line; an option not given is null.
std::string json_line(const Event& e) {
  std::string message;
  for (std::size_t i = 0; i < e.words.size(); ++i) message += (i ? " " : "") + e.words[i];
  auto optional = [](const std::optional<std::string>& value) {
    return value ? tng::json::Object(*value) : tng::json::Object(nullptr);
  };
  tng::json::Object line;
  line["time"] = tng::clock::utc_now();
  line["node"] = optional(e.node);
  line["category"] = optional(e.category);
  line["severity"] = optional(e.severity);
  line["colour"] = optional(e.colour);
  line["source"] = optional(e.source);
  line["keep"] = e.keep;
  line["message"] = message;
  return tng::json::line(line);
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

// Appends the line whole or not at all, with one write, so events from
// programs running at the same time never mix within a line and a full disk
// never leaves half a line for the next event to be glued onto.
bool append(const std::string& directory, const std::string& line) {
  const std::string logs = directory + "/logs";
  if (mkdir(logs.c_str(), 0777) != 0 && errno != EEXIST) {
    tng::diag::say("cannot create %s: %s\n", logs.c_str(), tng::files::error_text(errno).c_str());
    return false;
  }
  const std::string file = logs + "/console.log";
  int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0666);
  if (fd < 0) {
    tng::diag::say("cannot open %s: %s\n", file.c_str(), tng::files::error_text(errno).c_str());
    return false;
  }
  int error = tng::files::append_whole(fd, line);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    tng::diag::say("cannot write %s: %s; the event was not added\n", file.c_str(),
                   tng::files::error_text(error).c_str());
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  // Started detached by the forwarder: a closed output must not stop it.
  tng::signals::ignore_broken_pipe();
  if (auto answered = tng::tools::answer_help_or_version(argc, argv, "cawto", kHelp.c_str()))
    return *answered;
  std::optional<Event> event = parse(argc, argv);
  if (!event) return exit_usage;
  std::optional<std::string> directory = nsm_directory(argv[0]);
  if (!directory) {
    tng::diag::say("cannot tell which NSM directory this program belongs to\n");
    return exit_failure;
  }
  return append(*directory, json_line(*event)) ? 0 : exit_failure;
}
