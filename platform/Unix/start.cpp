// Linked into every program of the suite: before main, a closed pipe is made
// an error of the write instead of the end of the process, so a tool whose
// output nobody reads still finishes its work (a forwarder started with its
// output closed still forwards its event). Children get the default back.
// No program of the suite writes a core dump: most hold a password, a pass
// phrase or a repository's password hashes, from their command line on.
#include "platform/process.h"
#include "platform/signals.h"

namespace {
const bool started = [] {
  tng::signals::ignore_broken_pipe();
  tng::process::forbid_core_dumps();
  return true;
}();
}  // namespace
