// orxevtlink: opens the page on port 2301 of the device named (second word) in an event.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "http://"},
    {Piece::device},
    {Piece::text, ":2301"},
};

constexpr EventLauncher orxevtlink{
    .usage = "Usage: orxevtlink.exe filename\n",
    .server_variable = nullptr,
    .slot = 3,
    .pick = DevicePick::second_word,
    .url = url,
};
}  // namespace

int main(int argc, char** argv) { return run_event_launcher(orxevtlink, argc, argv); }
