// Linked into every program of the suite (not into the platform's own command
// tools): reads TNG_FAULTS before main, so that a bad list is refused before
// the program prints or changes anything.
#include "platform/faults.h"

namespace {
const bool faults_enabled = [] {
  tng::faults::enable_from_environment();
  return true;
}();
}  // namespace
