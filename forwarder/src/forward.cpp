#include "forwarder/forward.h"

#include <algorithm>
#include <iterator>

namespace tng::forwarder {
namespace {

constexpr std::size_t bars_before_variable_text = 8;

constexpr Severity severity_table[] = {
    {"Critical", "E", "red"},
    {"Major", "W", "orange"},
    {"Minor", "W", "yellow"},
    {"Normal", "S", "green"},
};
constexpr Severity other_severity = {nullptr, "I", "blue"};

constexpr std::string_view category = "KORVA";
constexpr std::string_view source = "KORVA";
constexpr std::string_view command_in_directory = "/bin/cawto";

std::string too_long(std::string_view what, std::size_t capacity) {
  return std::string(what) + " would be longer than " + std::to_string(capacity - 1) +
         " characters";
}

}  // namespace

Stages variable_text(std::string_view plain_text) {
  Stages s;
  std::size_t bars = 0, at = 0;
  for (; at < plain_text.size(); ++at)
    if (plain_text[at] == '|' && ++bars == bars_before_variable_text) break;
  if (bars < bars_before_variable_text) return s;

  s.variable1 = plain_text.substr(at);
  if (s.variable1.size() >= stage_capacity) {
    s.refusal = too_long("the text after the eighth \"|\" of NOTICEPLAINTEXT", stage_capacity);
    return s;
  }
  for (char c : std::string_view(s.variable1).substr(1)) {
    if (c == '|')
      s.variable2 += ", ";
    else if (c != '"')
      s.variable2 += c;
  }
  if (s.variable2.size() >= stage_capacity) {
    s.refusal =
        too_long("the variable text of NOTICEPLAINTEXT with its separators", stage_capacity);
    return s;
  }
  s.text = s.variable2;
  if (s.text.ends_with(", ")) s.text.resize(s.text.size() - 2);
  return s;
}

const Severity& severity_of(const char* word) {
  if (word == nullptr) return other_severity;
  const auto* row =
      std::find_if(std::begin(severity_table), std::end(severity_table),
                   [word](const Severity& s) { return std::string_view(s.word) == word; });
  return row == std::end(severity_table) ? other_severity : *row;
}

Form form_of(const char* first_argument) {
  return first_argument && std::string_view(first_argument) == "/f" ? Form::full : Form::brief;
}

ConsoleCommand console_command(Form form, std::string_view server, std::string_view nsm_directory,
                               const Severity& severity, const EventFields& event,
                               std::string_view variable_text) {
  ConsoleCommand c;
  c.path = std::string(nsm_directory) + std::string(command_in_directory);
  if (c.path.size() >= command_path_capacity) {
    c.refusal = too_long("the console command's path", command_path_capacity);
    return c;
  }

  c.words = {"-n", std::string(server)};
  if (form == Form::full) {
    const std::string options[] = {
        "-cat", std::string(category), "-sev", severity.letter, "-c", severity.colour, "-k",
        "-s",   std::string(source)};
    c.words.insert(c.words.end(), std::begin(options), std::end(options));
  }
  std::string message = event.device_name ? event.device_name : "";
  message += " Orvex - ";
  message += event.label ? event.label : "";
  message += ' ';
  message += variable_text;

  // The parameters as the operator reads them; the program itself gets the
  // message as one word, so nothing in the event can pose as an option.
  for (const std::string& w : c.words) c.parameters += (c.parameters.empty() ? "" : " ") + w;
  c.parameters += " \"" + message + "\"";
  c.words.push_back(std::move(message));
  if (c.parameters.size() >= parameters_capacity)
    c.refusal = too_long("the console command's parameters", parameters_capacity);
  return c;
}

}  // namespace tng::forwarder
