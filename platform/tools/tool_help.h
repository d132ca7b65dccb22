// --help and --version for the platform's command tools. Each is recognised
// only as the one and only argument: a tool's real command line always has
// more (cawto's message words, reclass's switches), so an event text or an
// object name that reads "--help" is never taken for the option.
#pragma once
#include <cstdio>
#include <cstring>
#include <optional>

#include "platform/version.h"

namespace tng::tools {

// Prints the usage (for --help) or the version line (for --version) on
// standard output and returns 0 for them; nothing for any other command line.
inline std::optional<int> answer_help_or_version(int argc, char** argv, const char* program,
                                                 const char* usage) {
  if (argc != 2) return std::nullopt;
  if (std::strcmp(argv[1], "--help") == 0) {
    std::fputs(usage, stdout);
    std::printf("\nSee %s(1) for the details.\n", program);
    return 0;
  }
  if (std::strcmp(argv[1], "--version") == 0) {
    std::printf("%s (%s) %s\n", program, build::kPackage, build::kVersion);
    return 0;
  }
  return std::nullopt;
}

}  // namespace tng::tools
