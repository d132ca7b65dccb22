// Child processes, started and waited for the way the framework's tools are:
// the program is looked for first in the current directory, then in each
// directory of PATH in order; every argument reaches the child as one word
// (no shell, no splitting at blanks); the child inherits the standard
// streams and the environment.
#pragma once
#include <string>
#include <vector>

namespace tng::process {

// argv[0] is the program's name. Returns the child's exit status, or -1 when
// no start succeeded anywhere.
int spawn_and_wait(const std::vector<std::string>& argv);

}  // namespace tng::process
