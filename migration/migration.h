// The bulk migrations: each tool moves every object of a fixed list of
// classes into another class, one pass per rule. The tools differ only in
// the constant description below.
#pragma once
#include <array>
#include <span>

#include "foundation/front_end.h"

namespace migration {

// Usage lines of a migration tool: its own two first lines, then the lines
// all three share.
constexpr std::array<const char*, 6> usage_lines(const char* first, const char* second) {
  return {first,
          second,
          "RepositoryName:   Name of the Unicenter TNG Repository\n",
          "UserName:         User name for logging into the repository\n",
          "Password:         Password for the specified user name\n\n",
          "Note: Enter B for the password if the password is blank.\n\n"};
}

// The front end of a migration tool: three answers, usage exit code 1, line
// answers of 126 and passwords of 127 characters. A tool with introduction
// lines offers the prompts.
constexpr tng::FrontEndProfile profile(std::span<const char* const> usage,
                                       std::span<const char* const> introduction,
                                       bool silent_without_arguments) {
  return {.usage_lines = usage,
          .minimum_arguments = 3,
          .silent_without_arguments = silent_without_arguments,
          .interactive = !introduction.empty(),
          .introduction = introduction,
          .line_limit = 126,
          .password_capacity = 128,
          .discovery_answers = false,
          .mode_prompt = nullptr,
          .usage_exit_code = 1,
          .reclass_fields = {.repository = 36, .user = 128, .password = 128, .object = 256}};
}

// One pass of a migration: every object of `source` moves to `target`.
struct ReclassRule {
  std::string_view source;  // class queried, "/C="
  std::string_view target;  // "/T="
  std::string_view label;   // shown in "Device being reclassified as ..."
};

struct MigrationTool {
  const tng::FrontEndProfile& profile;
  const char* application;               // kernel application name
  std::span<const char* const> banner;   // printed after the front end
  bool removes_lights_out_inclusions;    // before the passes
  std::span<const ReclassRule> rules;    // in pass order
  std::span<const char* const> closing;  // when the last pass completed
};

// Runs the tool; returns its exit code (1 on every path).
int run(const MigrationTool& tool, int argc, char* const* argv);

}  // namespace migration
