// trix -Q -G -X /FILE=F /R=REPO
// trix /TYPE=IMPORT /FILE=F /R=REPO
//
// Applies a class definition file to the repository named by /R=, in one
// transaction. -Q (quiet), -G and -X are accepted for the framework's
// command line and change nothing; /TYPE= accepts only IMPORT.
#include <strings.h>

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "admin.h"
#include "platform/diag.h"
#include "platform/process.h"
#include "tool_help.h"

namespace repo = tng::repo;

namespace {

constexpr const char* kUsage =
    "usage: trix [-Q] [-G] [-X] [/TYPE=IMPORT] /FILE=FILE /R=REPOSITORY\n"
    "\n"
    "Applies the class definition file FILE to the repository REPOSITORY in one\n"
    "transaction. A FILE named without a folder is read from the current\n"
    "directory, else from beside trix, else from the installed data folder.\n"
    "-Q: no summary on stderr. -G and -X are accepted and change nothing.\n"
    "Exit status 0 when the file was applied, 2 otherwise (nothing changed).\n";

int refuse(const std::string& why) {
  tng::diag::say("%s\n", why.c_str());
  return 2;
}

bool starts_with_nocase(std::string_view word, std::string_view prefix) {
  return word.size() >= prefix.size() &&
         strncasecmp(word.data(), prefix.data(), prefix.size()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  // A repository on a server is reached with the password of its record.
  tng::process::forbid_core_dumps();
  if (auto answered = tng::tools::answer_help_or_version(argc, argv, "trix", kUsage))
    return *answered;
  std::optional<std::string> file, repository;
  bool quiet = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    if (word == "-Q" || word == "-q") {
      quiet = true;
    } else if (word == "-G" || word == "-g" || word == "-X" || word == "-x") {
    } else if (starts_with_nocase(word, "/TYPE=")) {
      if (strcasecmp(word.substr(6).data(), "IMPORT") != 0)
        return refuse("unsupported " + std::string(word) + " (only /TYPE=IMPORT)");
    } else if (starts_with_nocase(word, "/FILE=") && !file) {
      file = std::string(word.substr(6));
    } else if (starts_with_nocase(word, "/R=") && !repository) {
      repository = std::string(word.substr(3));
    } else {
      return refuse("unexpected argument '" + std::string(word) + "'");
    }
  }
  if (!file || file->empty() || !repository)
    return refuse(
        "usage: trix [-Q] [-G] [-X] [/TYPE=IMPORT] /FILE=FILE /R=REPOSITORY (see trix --help)");
  try {
    repo::ApplyReport r = repo::import_class_file(*repository, *file);
    if (!quiet)
      tng::diag::say("%s applied to %s: %d class(es) added, %d dropped\n", file->c_str(),
                     repository->c_str(), r.added, r.dropped);
  } catch (const std::exception& e) {
    return refuse(std::string(e.what()) + "; nothing was changed");
  }
  return 0;
}
