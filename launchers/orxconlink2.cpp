// orxconlink2: opens the central management server's context page for the device named in an event.
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

constexpr EventLauncher orxconlink2{
    .usage = "Usage: orxconlink2.exe filename\n",
    .server_variable = "QMAddress",
    .slot = 3,
    .pick = DevicePick::second_word,
    .url = url,
};
}  // namespace

int main(int argc, char** argv) { return run_event_launcher(orxconlink2, argc, argv); }
