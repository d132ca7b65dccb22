// The class definition tools: each picks a repository in the selection
// dialog, checks that it can connect, and hands the class definition files
// to the platform's import tool, one run per file. The two tools differ
// only in the constant description below.
#pragma once
#include <span>

namespace schema {

// One run of the import tool.
struct TrixRun {
  const char* announcement;                // printed before the run
  std::span<const char* const> arguments;  // between the program name and "/R=NAME"
};

struct ImportTool {
  const char* application;  // kernel application name
  std::span<const char* const> introduction;
  const char* heading;                   // printed once the repository is chosen
  std::span<const TrixRun> runs;         // in order, each after the previous has ended
  std::span<const char* const> closing;  // after the last run
};

// Runs the tool; returns its exit code (0 on every path).
int run(const ImportTool& tool);

}  // namespace schema
