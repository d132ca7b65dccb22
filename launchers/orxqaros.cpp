// orxqaros: the web page of a lights-out board.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "http://"},
    {Piece::device},
};

constexpr AddressLauncher orxqaros{
    .usage = "Usage: orxqaros QAROS or Bexo Address\n",
    .server_variable = nullptr,
    .url = url,
    .url_capacity = 256,
};
}  // namespace

int main(int argc, char** argv) { return run_address_launcher(orxqaros, argc, argv); }
