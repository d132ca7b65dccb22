#include "import_run.h"

#include <cstdio>
#include <string>
#include <vector>

#include "foundation/session.h"
#include "platform/diag.h"
#include "platform/process.h"

namespace schema {
namespace {

constexpr int kExitCode = 0;
constexpr const char* kImportTool = "trix";

void print_lines(std::span<const char* const> lines) {
  for (const char* line : lines) std::fputs(line, stdout);
}

// Runs the import tool once and waits for it. Its outcome does not change
// what the tool prints, but an administrator is told on stderr when the
// definitions may not have been applied.
void run_trix(const TrixRun& trix, const std::string& repository_argument) {
  std::vector<std::string> words{kImportTool};
  for (const char* word : trix.arguments) words.emplace_back(word);
  words.push_back(repository_argument);
  const int status = tng::process::spawn_and_wait(words);
  if (status < 0)
    tng::diag::say("%s could not be started (not in the current directory nor on PATH)\n",
                   kImportTool);
  else if (status != 0)
    tng::diag::say("%s ended with exit code %d\n", kImportTool, status);
}

}  // namespace

int run(const ImportTool& tool) {
  print_lines(tool.introduction);

  tng::RepositorySession session(tool.application);
  const auto opened = session.open_by_dialog();
  using Step = tng::RepositorySession::DialogStep;
  switch (opened.step) {
    case Step::KernelFailed:
      std::fputs("Kernel Start Failed\n", stdout);
      return kExitCode;
    case Step::Cancelled:
      return kExitCode;
    case Step::SelectFailed:
      std::printf("Repository Selection Failed: %d\n", opened.rc);
      return kExitCode;
    case Step::NameFailed:
      std::printf("Repository Name Get Failed: %d\n", opened.rc);
      return kExitCode;
    case Step::Connected:
    case Step::ConnectFailed:
      break;
  }

  // The import tool opens the repository by itself: it runs whether or not
  // our own connection succeeded, and a failed connection is reported last.
  const bool connected = opened.step == Step::Connected;
  if (connected)
    std::printf("Successfully connected to repository %s\n", session.repository_name());
  std::fputs(tool.heading, stdout);

  const std::string repository_argument = std::string("/R=") + session.repository_name();
  for (const TrixRun& trix : tool.runs) {
    std::fputs(trix.announcement, stdout);
    run_trix(trix, repository_argument);
  }
  print_lines(tool.closing);

  if (!connected) std::fputs("Repository Connect Failed\n", stdout);
  session.close();
  return kExitCode;
}

}  // namespace schema
