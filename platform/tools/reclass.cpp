// reclass /R=REPO /U=USER [/W=PASSWORD] /C=CLASS /O=NAME /T=TARGET
//
// Moves the object named NAME from class CLASS to class TARGET, keeping its
// uuid and properties, after checking the user's password. The move and its
// audit record are one transaction. It runs once per object, so it does only
// that: open, check, move, exit.
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "admin.h"
#include "platform/arguments.h"
#include "platform/diag.h"
#include "platform/preview.h"
#include "platform/process.h"
#include "preview_run.h"
#include "tool_help.h"

namespace repo = tng::repo;

namespace {

struct Arguments {
  std::optional<std::string> repository, user, password, from, name, to;
};

struct Switch {
  const char* prefix;
  std::optional<std::string> Arguments::*field;
};

constexpr Switch kSwitches[] = {
    {"/R=", &Arguments::repository}, {"/U=", &Arguments::user}, {"/W=", &Arguments::password},
    {"/C=", &Arguments::from},       {"/O=", &Arguments::name}, {"/T=", &Arguments::to},
};

constexpr const char* kUsage =
    "usage: reclass /R=REPO /U=USER [/W=PASSWORD] /C=CLASS /O=NAME /T=TARGET\n"
    "\n"
    "Moves the object named NAME from class CLASS to class TARGET in repository\n"
    "REPO, keeping its uuid and properties, after checking USER's password (a\n"
    "missing /W= is a blank password). The move is recorded in the audit trail.\n"
    "Exit status 0 when the object moved, 2 otherwise (with a message on stderr).\n";

int refuse(const std::string& why) {
  tng::diag::say("%s\n", why.c_str());
  return 2;
}

// The switch's letter is accepted in either case, as the framework's tools do.
const Switch* switch_of(std::string_view word) {
  for (const Switch& s : kSwitches)
    if (word.size() >= 3 && word[0] == '/' && word[2] == '=' &&
        (word[1] == s.prefix[1] || word[1] == s.prefix[1] + ('a' - 'A')))
      return &s;
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  // The password on the command line is in this process's memory from the
  // start.
  tng::process::forbid_core_dumps();
  if (auto answered = tng::tools::answer_help_or_version(argc, argv, "reclass", kUsage))
    return *answered;
  Arguments args;
  for (int i = 1; i < argc; ++i) {
    std::string_view word = argv[i];
    const Switch* s = switch_of(word);
    if (!s) return refuse("unexpected argument '" + std::string(word) + "'");
    if (args.*(s->field)) return refuse(std::string("argument ") + s->prefix + " given twice");
    // The password is overwritten in the argument memory once copied, so
    // other users see it (ps) only for the first instant.
    args.*(s->field) = s->field == &Arguments::password ? tng::arguments::take_secret(argv[i], 3)
                                                        : std::string(word.substr(3));
  }
  for (const Switch& s : kSwitches)
    if (s.field != &Arguments::password && !(args.*(s.field)))
      return refuse(std::string("missing argument ") + s.prefix +
                    " (usage: reclass /R=REPO /U=USER [/W=PASSWORD] /C=CLASS /O=NAME /T=TARGET)");
  // In a preview run the tool that started reclass named the copy of the
  // repository it works on; without one, a preview is refused rather than
  // made real.
  std::string opened = *args.repository;
  if (std::optional<std::string> copy = tng::preview::run::copy_named_for(opened))
    opened = *copy;
  else if (tng::preview::requested())
    return refuse("TNG_PREVIEW is set, but no preview run has a copy of repository '" +
                  *args.repository + "' open; nothing was done");
  try {
    std::unique_ptr<repo::Store> store = repo::open_store(opened);
    // The hash is checked before the move's transaction starts, so that
    // other writers do not wait for it.
    if (!repo::check_user(*store, *args.user, args.password.value_or("")))
      return refuse("access denied for user '" + *args.user + "' to repository '" +
                    *args.repository + "'");
    repo::move_object(*store, *args.user, *args.from, *args.name, *args.to);
  } catch (const std::exception& e) {
    return refuse(e.what());
  }
  return 0;
}
