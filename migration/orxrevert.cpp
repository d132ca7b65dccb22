// orxrevert: removes the lights-out inclusion objects, then moves every
// object of the Orvex classes back to the framework's default class.
#include "migration.h"

namespace {

constexpr auto kUsage =
    migration::usage_lines("\nTo few arguments passed to ORXREVERT.EXE\n\n",
                           "Usage: ORXREVERT RepositoryName UserName Password\n\n");

constexpr const char* kIntroduction[] = {
    "\nYou will now be prompted for the Common Object Repository name,\n",
    "Username, Password, and Community String for the discovery\n",
    "process to utilize.\n\n",
};

constexpr tng::FrontEndProfile kProfile = migration::profile(kUsage, kIntroduction, false);

constexpr const char* kBanner[] = {
    "\nThis utility connects to the local Unicenter TNG repository and\n",
    "reclassifies all Orvex objects back to their default Unicenter\n",
    "TNG class in the Common Object Repository.\n",
    "For example, Orvex_Novell objects will be changed to Novell objects.\n\n",
};

constexpr migration::ReclassRule kRules[] = {
    {"Orvex_TarvikServer", "Windows_NetServer", "Windows_NetServer"},
    {"Orvex_Windows2000", "Windows2000", "Windows2000"},
    {"Orvex_Windows2000_Server", "Windows2000_Server", "Windows2000_Server"},
    {"Orvex_Windows_NetServer", "Windows_NetServer", "Windows_NetServer"},
    {"Orvex_WindowsNT_Server", "WindowsNT_Server", "WindowsNT_Server"},
    {"Orvex_Novell", "Novell", "Novell"},
    {"Orvex_UnixWare", "UnixWare", "UnixWare"},
    {"Orvex_WindowsXP", "WindowsXP", "WindowsXP"},
    {"Orvex_WindowsNT", "WindowsNT", "WindowsNT"},
    {"Orvex_Windows95", "Windows95", "Windows95"},
    {"Orvex_Windows9x", "Windows9x", "Windows9x"},
    {"Orvex_DECSystem", "DECSystem", "DECSystem"},
    {"Orvex_SCOUnix", "SCOUnix", "SCOUnix"},
    {"Orvex_OS2", "OS2", "OS2"},
    {"Orvex_Linux", "Linux", "Linux"},
    {"Orvex_RemoteVistrel", "Host", "Host"},
    {"Orvex_RackEnclosure", "Linux", "Linux"},
    {"Orvex_SANappliance", "Windows2000_Server", "Windows 2000 server"},
};

constexpr const char* kClosing[] = {
    "\nAll Orvex devices have been reclassified in the Unicenter TNG\n",
    "Common Object Repository.\n",
};

}  // namespace

int main(int argc, char** argv) {
  return migration::run({.profile = kProfile,
                         .application = "ORXREVERT",
                         .banner = kBanner,
                         .removes_lights_out_inclusions = true,
                         .rules = kRules,
                         .closing = kClosing},
                        argc, argv);
}
