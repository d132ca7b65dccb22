// Secrets given on a command line. The words a process was started with stay
// readable by other users (ps, /proc/PID/cmdline) for as long as it runs;
// a secret is copied out and overwritten at start, so it shows there only
// for the first instant.
#pragma once
#include <cstddef>
#include <string>

namespace tng::arguments {

// The text of `word` from `skip` on (a switch's value after "/W="), which
// is then overwritten with '*' in the process's argument memory.
std::string take_secret(char* word, std::size_t skip = 0);

}  // namespace tng::arguments
