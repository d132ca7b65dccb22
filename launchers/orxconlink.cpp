// orxconlink: the central management server's context page for a device.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "http://"},
    {Piece::server},
    {Piece::text, ":280/zqportal/ZqContextLaunch.jsp?systems="},
    {Piece::device},
    {Piece::text, "&tool=DEFAULT"},
};

constexpr AddressLauncher orxconlink{
    .usage = "Usage: orxconlink.exe IP_Address\n",
    .server_variable = "QMAddress",
    .url = url,
    .url_capacity = 512,
};
}  // namespace

int main(int argc, char** argv) { return run_address_launcher(orxconlink, argc, argv); }
