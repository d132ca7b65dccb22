// orxdetect: finds the Orvex devices among the repository's systems over
// SNMP, moves them into the Orvex classes, links the lights-out boards to
// their servers and removes stale objects.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "association.h"
#include "foundation/front_end.h"
#include "foundation/progress.h"
#include "foundation/report.h"
#include "housekeeping.h"
#include "platform/diag.h"
#include "platform/file_lock.h"
#include "platform/preview.h"
#include "platform/registry.h"
#include "platform/tng_snmp.h"
#include "profile.h"
#include "reclassify.h"
#include "run.h"

namespace orxdetect {
namespace {

constexpr const char* kInstallKey = "SOFTWARE\\ComputerAssociates\\CA-Unicenter\\CurrentVersion";
constexpr const char* kInstallValue = "InstallPath";
constexpr uint32_t kInstallPathField = 80;  // bytes, terminator included
constexpr std::size_t kPathMax = 127;       // characters of a file path

constexpr const char* kBanner[] = {
    "\nThis utility connects to the local Unicenter TNG repository and\n",
    "checks all objects to see if they are Orvex objects.\n",
    "Orvex objects will be reclassified as Orvex devices.\n\n",
};
constexpr const char* kTestBanner[] = {
    "Test variable specified in command line input.\n",
    "Program execution will stop periodically so the user may\n",
    "verify program functionality and halt execution if necessary.\n\n",
};

void print_lines(std::span<const char* const> lines) {
  for (const char* line : lines) std::fputs(line, stdout);
}

// The framework's install directory, from the registry. Nothing when the key
// or the value cannot be read or the value does not fit its field; the
// console shows nothing then, standard error says why.
std::optional<std::string> read_install_path() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kInstallKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
    tng::diag::say("the registry key %s cannot be opened; nothing was done\n", kInstallKey);
    return std::nullopt;
  }
  uint8_t field[kInstallPathField] = {};
  uint32_t length = sizeof field;
  uint32_t type = 0;
  const int32_t rc = RegQueryValueExA(key, kInstallValue, nullptr, &type, field, &length);
  RegCloseKey(key);
  if (rc == ERROR_MORE_DATA) {
    tng::diag::say("InstallPath is longer than 79 characters; nothing was done\n");
    return std::nullopt;
  }
  if (rc != ERROR_SUCCESS || type != REG_SZ || length > sizeof field) {
    tng::diag::say("InstallPath cannot be read from the registry; nothing was done\n");
    return std::nullopt;
  }
  const auto* text = reinterpret_cast<const char*>(field);
  std::string path(text, strnlen(text, sizeof field));
  // The lock, the log and the temporary files go there: an empty or relative
  // path would put them in whatever folder the run was started from, or /.
  if (path.empty() || path.front() != '/') {
    tng::diag::say("InstallPath \"%s\" is not an absolute path; nothing was done\n", path.c_str());
    return std::nullopt;
  }
  return path;
}

// The files of a run in the install directory.
struct RunPaths {
  std::string lock;
  std::string log;
  std::string boards;   // qaros1.log
  std::string matches;  // qaros2.log
};

std::optional<RunPaths> run_paths(const std::string& install) {
  RunPaths paths{install + "/orxdetect.lock", install + "/orxdetect.log", install + "/qaros1.log",
                 install + "/qaros2.log"};
  for (const std::string* path : {&paths.lock, &paths.log, &paths.boards, &paths.matches}) {
    if (path->size() > kPathMax) {
      tng::diag::say("the path %s is longer than 127 characters; nothing was done\n",
                     path->c_str());
      return std::nullopt;
    }
  }
  return paths;
}

bool test_switch(const tng::ToolAnswers& answers) {
  return !answers.further.empty() && answers.further.front() == "TEST";
}

// The association and the housekeeping that goes with it; returns where the
// run goes on to its closing steps.
void associate_lights_out_boards(Run& run, TempFiles& files) {
  if (!open_temporary_files(run, files)) return;
  const auto boards = list_boards(run, files);
  if (!boards) return;
  const std::vector<Match> matches = associate_servers(run, *boards, files);
  if (!reuse_board_file(run, files)) return;
  const auto links = match_unispace(run, matches, files);
  if (!links) return;
  if (!delete_old_inclusions(run)) return;
  if (!create_inclusions(run, *links)) return;
  delete_absent_managers(run);
}

void close_run(tng::Sink& out, TempFiles& files) {
  out.say(To::ConsoleAndLog, "\nOrvex devices have been reclassified in the Unicenter TNG\n");
  out.say(To::ConsoleAndLog, "Common Object Repository.\n");
  out.close_log();
  files.boards.discard();
  files.matches.discard();
}

}  // namespace
}  // namespace orxdetect

int main(int argc, char** argv) {
  using namespace orxdetect;
  constexpr int kExitCode = 0;  // on every path

  const auto answers = tng::run_front_end(kProfile, argc, argv);
  if (!answers) return kExitCode;
  tng::progress::start(true);
  tng::preview::begin();
  print_lines(kBanner);
  // A community answer that names an unusable SNMPv3 credential set, or a
  // credential file that others may read, ends the run before anything is
  // opened (the SNMP layer says why on stderr).
  if (!TngSnmp_CheckCommunity(answers->community.c_str())) return kExitCode;

  const auto install = read_install_path();
  if (!install) return kExitCode;
  const auto paths = run_paths(*install);
  if (!paths) return kExitCode;

  // Two runs on one install directory would overwrite each other's files.
  tng::file_lock::ExclusiveLock lock;
  const auto locked = lock.acquire(paths->lock);
  if (locked == tng::file_lock::Result::Busy) {
    tng::diag::say("another orxdetect run is using %s; nothing was done\n", install->c_str());
    return kExitCode;
  }
  std::fputs("Opening discovery log file: orxdetect.log\n\n", stdout);
  tng::Sink out;
  if (locked != tng::file_lock::Result::Acquired || !out.open_log(paths->log)) {
    std::fputs("Error: can't open file.\n", stdout);
    return kExitCode;
  }

  tng::RepositorySession session("ORXDETECT");
  const auto opened = session.open_by_name(*answers);
  if (opened == tng::RepositorySession::Opened::KernelFailed) return kExitCode;
  const tng::ReclassCommand reclass(*answers, kProfile.reclass_fields);
  const bool test_pauses = test_switch(*answers);
  // The test pauses come before each object's questions: one device at a time.
  const int window = test_pauses ? 1 : TngSnmp_WindowSize(kDefaultWindow, kSessionsPerDevice);
  const std::size_t in_flight =
      test_pauses
          ? 1
          : static_cast<std::size_t>(TngSnmp_InFlightLimit(kDefaultWindow, kSessionsPerDevice));
  Run run{session,     out,    reclass,  answers->community, answers->mode == "S",
          test_pauses, window, in_flight};
  TempFiles files{tng::files::TempFile(paths->boards), tng::files::TempFile(paths->matches)};

  if (opened == tng::RepositorySession::Opened::Connected) {
    if (run.test_pauses) print_lines(kTestBanner);
    if (!check_orvex_classes(run)) return kExitCode;
    run_reclassification_passes(run);
    associate_lights_out_boards(run, files);
  }
  close_run(out, files);
  session.close();
  return kExitCode;
}
