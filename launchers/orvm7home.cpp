// orvm7home: the central management server's start page; arguments are ignored.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "https://"},
    {Piece::server},
    {Piece::text, ":50000"},
};

constexpr AddressLauncher orvm7home{
    .usage = nullptr,
    .server_variable = "QMAddress",
    .url = url,
    .url_capacity = 512,
};
}  // namespace

int main(int argc, char** argv) { return run_address_launcher(orvm7home, argc, argv); }
