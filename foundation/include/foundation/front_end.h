// The console front end that collects a repository tool's answers, from
// the command line or the prompts.
#pragma once
#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "foundation/answers.h"
#include "platform/wvapi.h"

namespace tng {

// The constant description of one repository tool's command line.
struct FrontEndProfile {
  std::span<const char* const> usage_lines;  // printed in order
  int minimum_arguments;
  bool silent_without_arguments;              // no arguments: end at once, print nothing
  bool interactive;                           // "inst-prompt" offered
  std::span<const char* const> introduction;  // printed before the prompts
  std::size_t line_limit;                     // line answers, line end included
  std::size_t password_capacity;              // hidden entries, terminator included
  bool discovery_answers;                     // also asks community string and mode
  const char* mode_prompt;                    // the mode's prompt, when prompting for it
  int usage_exit_code;
  ReclassFieldCapacities reclass_fields;
};

// Longest repository name: the name field holds 32 bytes.
inline constexpr std::size_t kRepositoryNameMax = WV_REPOSITORY_NAME_FIELD - 1;

// Runs the front end: the mode decision, then the arguments or the prompts.
// Returns the answers, or nothing when the tool is to end at once (usage
// printed, nothing to do, end of input, or an answer that does not fit); the
// tool then returns profile.usage_exit_code. A password given as an
// argument is overwritten in argv once copied (platform/arguments.h).
std::optional<ToolAnswers> run_front_end(const FrontEndProfile& profile, int argc,
                                         char* const* argv);

void print_usage(const FrontEndProfile& profile);
bool is_blank_password(std::string_view password);

// One echoed line of at most limit - 2 characters (the line end counts
// against the limit). Nothing at end of input, or when the line is longer
// (then a message goes to stderr).
std::optional<std::string> read_line_answer(std::size_t limit);

// A hidden entry into a field of `capacity` bytes: nothing is echoed,
// Enter ends it, backspace removes the last character, and once the field
// holds capacity - 1 characters the next key ends the entry and is dropped.
// Nothing at end of input.
std::optional<std::string> read_hidden_entry(std::size_t capacity);

// Waits for one key press, not echoed.
void pause_for_any_key();
// Reads one character of line-buffered input (returns after Enter).
void pause_for_return();

}  // namespace tng
