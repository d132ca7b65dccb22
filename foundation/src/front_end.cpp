#include <cstdio>
#include <cstring>

#include "foundation/front_end.h"
#include "foundation/reclass.h"
#include "platform/arguments.h"
#include "platform/console.h"
#include "platform/diag.h"

namespace tng {
namespace {

constexpr std::string_view kInteractiveMarker = "inst-prompt";
constexpr unsigned char kEnter = '\r';
constexpr unsigned char kBackspace = 8;
constexpr unsigned char kDelete = 127;  // what a terminal's backspace key sends

void print_lines(std::span<const char* const> lines) {
  for (const char* line : lines) std::fputs(line, stdout);
}

void end_of_input() {
  tng::diag::say("end of input before all answers were given; nothing was done\n");
}

std::optional<std::string> prompt_line(const char* prompt, std::size_t limit) {
  tng::console::write(prompt);
  return read_line_answer(limit);
}

// Asks the password and its verification until both entries agree.
// Keys stay hidden from before the first prompt to after the last entry, so
// keys typed ahead of a prompt or between the entries are never echoed.
std::optional<std::string> prompt_password(std::size_t capacity) {
  const tng::console::HiddenInput hidden(tng::console::Hide::keys);
  for (;;) {
    tng::console::write("\nEnter the password to log into the repository:");
    auto password = read_hidden_entry(capacity);
    tng::console::write("\nVerify the password to log into the repository:");
    auto verification = read_hidden_entry(capacity);
    if (!password || !verification) return std::nullopt;
    if (*password == *verification) return password;
  }
}

std::optional<ToolAnswers> prompt_for_answers(const FrontEndProfile& profile) {
  print_lines(profile.introduction);
  ToolAnswers answers;
  answers.interactive = true;
  auto repository = prompt_line("\nEnter the name of the Repository to use:", profile.line_limit);
  if (!repository) return std::nullopt;
  auto user = prompt_line("\nEnter the user name to log into the repository:", profile.line_limit);
  if (!user) return std::nullopt;
  auto password = prompt_password(profile.password_capacity);
  if (!password) {
    end_of_input();
    return std::nullopt;
  }
  answers.repository = std::move(*repository);
  answers.user = std::move(*user);
  answers.password = std::move(*password);
  if (profile.discovery_answers) {
    auto community = prompt_line("\n\nEnter the SNMP community string to use for discovery:",
                                 profile.line_limit);
    if (!community) return std::nullopt;
    // The mode is one letter: a line of three bytes with its line end.
    auto mode = prompt_line(profile.mode_prompt, 3);
    if (!mode) return std::nullopt;
    answers.community = std::move(*community);
    answers.mode = std::move(*mode);
  }
  return answers;
}

ToolAnswers answers_from_arguments(const FrontEndProfile& profile, int argc, char* const* argv) {
  ToolAnswers answers;
  answers.repository = argv[1];
  answers.user = argv[2];
  answers.password = tng::arguments::take_secret(argv[3]);
  int next = 4;
  if (profile.discovery_answers) {
    answers.community = argv[4];
    answers.mode = argv[5];
    next = 6;
  }
  for (int i = next; i < argc; ++i) answers.further.emplace_back(argv[i]);
  return answers;
}

bool repository_name_fits(const ToolAnswers& answers) {
  if (answers.repository.size() <= kRepositoryNameMax) return true;
  tng::diag::say("the repository name is %zu characters long; at most %zu fit. Nothing was done.\n",
                 answers.repository.size(), kRepositoryNameMax);
  return false;
}

}  // namespace

bool is_blank_password(std::string_view password) { return password == "B"; }

void print_usage(const FrontEndProfile& profile) { print_lines(profile.usage_lines); }

std::optional<ToolAnswers> run_front_end(const FrontEndProfile& profile, int argc,
                                         char* const* argv) {
  const int arguments = argc - 1;
  std::optional<ToolAnswers> answers;
  if (arguments == 0 && profile.silent_without_arguments) return std::nullopt;
  if (arguments == 0) {
    print_usage(profile);
    return std::nullopt;
  }
  if (arguments == 1 && profile.interactive && kInteractiveMarker == argv[1]) {
    answers = prompt_for_answers(profile);
    if (!answers) return std::nullopt;
  } else if (arguments < profile.minimum_arguments) {
    print_usage(profile);
    return std::nullopt;
  } else {
    answers = answers_from_arguments(profile, argc, argv);
  }
  answers->blank_password = is_blank_password(answers->password);
  if (!repository_name_fits(*answers) ||
      !ReclassCommand::answers_fit(*answers, profile.reclass_fields))
    return std::nullopt;
  return answers;
}

std::optional<std::string> read_line_answer(std::size_t limit) {
  auto line = tng::console::read_line();
  if (!line) {
    end_of_input();
    return std::nullopt;
  }
  const std::size_t longest = limit > 2 ? limit - 2 : 0;
  if (line->size() > longest) {
    tng::diag::say("that answer is %zu characters long; at most %zu fit. Nothing was done.\n",
                   line->size(), longest);
    return std::nullopt;
  }
  return line;
}

std::optional<std::string> read_hidden_entry(std::size_t capacity) {
  std::string entry;
  for (;;) {
    auto key = tng::console::read_key();
    if (!key) return std::nullopt;
    if (entry.size() + 1 >= capacity) break;  // full: this key ends the entry
    if (*key == kEnter) break;
    if (*key == kBackspace || *key == kDelete) {
      if (!entry.empty()) entry.pop_back();
      continue;
    }
    entry.push_back(static_cast<char>(*key));
  }
  return entry;
}

void pause_for_any_key() { (void)tng::console::read_key(); }

void pause_for_return() { (void)tng::console::read_char(); }

}  // namespace tng
