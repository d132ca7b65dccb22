// What the event forwarder makes of one event of the central management
// server: the variable text taken from the event's plain text, the severity
// letter and colour, and the console command that puts the event on the NSM
// event console.
#pragma once
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace tng::forwarder {

// Each capacity counts a terminator.
inline constexpr std::size_t stage_capacity = 512;
inline constexpr std::size_t command_path_capacity = 512;
inline constexpr std::size_t parameters_capacity = 2048;

// The plain text's fields are separated by "|"; the fields after the eighth
// "|" are the variable part of the event.
struct Stages {
  std::string variable1;  // from the eighth "|" (included) to the end; empty with fewer bars
  std::string variable2;  // variable1 without its first character, "|" -> ", ", no double quotes
  std::string text;       // variable2 without a trailing ", "
  std::string refusal;    // why the plain text cannot be used; empty when it can
};

Stages variable_text(std::string_view plain_text);

struct Severity {
  const char* word;
  const char* letter;  // for -sev
  const char* colour;  // for -c
};

// The row of the severity table for NOTICESEVERITYSTR (exact, case-sensitive);
// an unknown or unset word (nullptr) gives "I" and "blue".
const Severity& severity_of(const char* word);

// The full form (first argument exactly "/f") carries category, severity,
// colour and the -k and -s flags; the short form only server and message.
enum class Form { full, brief };
Form form_of(const char* first_argument);

struct ConsoleCommand {
  std::string path;                // the console command program
  std::string parameters;          // as shown to the operator, message in double quotes
  std::vector<std::string> words;  // what the program receives, message as one word
  std::string refusal;             // why the command cannot be built; empty when it can
};

struct EventFields {
  const char* device_name;  // DEVICENAME, or nullptr when unset
  const char* label;        // NOTICELABEL, or nullptr when unset
};

// The command that puts the event on the console of `server`, with the
// console command found in `nsm_directory`/bin.
ConsoleCommand console_command(Form form, std::string_view server, std::string_view nsm_directory,
                               const Severity& severity, const EventFields& event,
                               std::string_view variable_text);

}  // namespace tng::forwarder
