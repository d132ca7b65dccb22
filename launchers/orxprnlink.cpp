// orxprnlink: the printer-administration server's page for a device.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "http://"},
    {Piece::server},
    {Piece::text, "/device/"},
    {Piece::device},
};

constexpr AddressLauncher orxprnlink{
    .usage = "Usage: orxprnlink.exe hostname/IP Address",
    .server_variable = "KTPServer",
    .url = url,
    .url_capacity = 512,
};
}  // namespace

int main(int argc, char** argv) { return run_address_launcher(orxprnlink, argc, argv); }
