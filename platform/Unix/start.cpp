// Linked into every program of the suite: before main, a closed pipe is made
// an error of the write instead of the end of the process, so a tool whose
// output nobody reads still finishes its work (a forwarder started with its
// output closed still forwards its event). Children get the default back.
#include "platform/signals.h"

namespace {
const bool broken_pipe_ignored = [] {
  tng::signals::ignore_broken_pipe();
  return true;
}();
}  // namespace
