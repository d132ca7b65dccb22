// orvm7: the central management server's device page.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "https://"},
    {Piece::server},
    {Piece::text, ":50000/ui/jsp/XeHdr.jsp?PageName=pageDeviceUrls&deviceIP="},
    {Piece::device},
};

constexpr AddressLauncher orvm7{
    .usage = "Usage: orvm7.exe IP_Address\n",
    .server_variable = "QMAddress",
    .url = url,
    .url_capacity = 512,
};
}  // namespace

int main(int argc, char** argv) { return run_address_launcher(orvm7, argc, argv); }
