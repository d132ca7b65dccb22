// orxevtlink1: the earlier edition of orxevtlink: the device is the whole text of string slot 0.
#include "launchers/launcher.h"

namespace {
using namespace tng::launchers;

constexpr UrlPart url[] = {
    {Piece::text, "http://"},
    {Piece::device},
    {Piece::text, ":2301"},
};

constexpr EventLauncher orxevtlink1{
    .usage = "Usage: orxevtlink.exe filename\n",
    .server_variable = nullptr,
    .slot = 0,
    .pick = DevicePick::whole_text,
    .url = url,
};
}  // namespace

int main(int argc, char** argv) { return run_event_launcher(orxevtlink1, argc, argv); }
