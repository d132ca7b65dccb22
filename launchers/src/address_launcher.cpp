#include "launchers/launcher.h"
#include "platform/diag.h"
#include "platform/shell.h"

#include <cstdio>
#include <cstdlib>

namespace tng::launchers {

int run_address_launcher(const AddressLauncher& launcher, int argc, char** argv) {
  const bool takes_argument = launcher.usage != nullptr;
  if (takes_argument && argc != 2) {
    std::fputs(launcher.usage, stdout);
    return exit_not_opened;
  }
  const char* server = "";
  if (launcher.server_variable) {
    server = std::getenv(launcher.server_variable);
    if (server == nullptr) {
      std::printf("Environment variable %s not set.\n", launcher.server_variable);
      return exit_not_opened;
    }
  }
  const char* device = takes_argument ? argv[1] : "";

  const auto url = build_url(launcher.url, server, device, launcher.url_capacity);
  if (!url) {
    tng::diag::say("the URL would be longer than %zu characters; no page opened\n",
                   launcher.url_capacity - 1);
    return exit_not_opened;
  }
  shell::open_url(*url, shell::SW_SHOWNORMAL);
  return exit_opened;
}

}  // namespace tng::launchers
