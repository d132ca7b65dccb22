// plnrevert: moves every object of the Pellion operating-system classes back
// to the framework's default class.
#include "migration.h"

namespace {

constexpr auto kUsage =
    migration::usage_lines("\nTo few arguments passed to PLNREVERT.EXE\n\n",
                           "Usage: PLNREVERT RepositoryName UserName Password\n\n");

constexpr tng::FrontEndProfile kProfile = migration::profile(kUsage, {}, false);

constexpr const char* kBanner[] = {
    "This utility connects to the local Unicenter TNG repository and\n",
    "reclassifies all Pellion objects back to their default Unicenter\n",
    "TNG class in the Common Object Repository.\n",
    "For example, Pellion_Novell objects will be changed to Novell objects.\n\n",
};

constexpr migration::ReclassRule kRules[] = {
    {"Pellion_Windows2000", "Windows2000", "Windows2000"},
    {"Pellion_Windows2000_Server", "Windows2000_Server", "Windows2000_Server"},
    {"Pellion_WindowsNT_Server", "WindowsNT_Server", "WindowsNT_Server"},
    {"Pellion_Novell", "Novell", "Novell"},
    {"Pellion_UnixWare", "UnixWare", "UnixWare"},
    {"Pellion_WindowsNT", "WindowsNT", "WindowsNT"},
    {"Pellion_Windows95", "Windows95", "Windows95"},
    {"Pellion_Windows9x", "Windows9x", "Windows9x"},
    {"Pellion_DECSystem", "DECSystem", "DECSystem"},
    {"Pellion_SCOUnix", "SCOUnix", "SCOUnix"},
    {"Pellion_OS2", "OS2", "OS2"},
    {"Pellion_Linux", "Linux", "Linux"},
};

constexpr const char* kClosing[] = {
    "\nAll Pellion devices have been reclassified in the Unicenter TNG\n",
    "Common Object Repository.\n",
};

}  // namespace

int main(int argc, char** argv) {
  // The kernel knows this tool under the legacy discovery tool's name.
  return migration::run({.profile = kProfile,
                         .application = "PLNDETECT",
                         .banner = kBanner,
                         .removes_lights_out_inclusions = false,
                         .rules = kRules,
                         .closing = kClosing},
                        argc, argv);
}
