// orxagentlink: the page on port 2301 of the device itself.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "http://"},
    {Piece::device},
    {Piece::text, ":2301"},
};

constexpr AddressLauncher orxagentlink{
    .usage = "Usage: orxagentlink.exe IP_Address or Hostname\n",
    .server_variable = nullptr,
    .url = url,
    .url_capacity = 256,
};
}  // namespace

int main(int argc, char** argv) { return run_address_launcher(orxagentlink, argc, argv); }
