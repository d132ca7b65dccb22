// ClassLift: moves every object of the Pellion classes into the matching
// Orvex class.
#include "migration.h"

namespace {

constexpr auto kUsage =
    migration::usage_lines("\nTo few arguments passed to ClassLift.exe\n\n",
                           "Usage: ClassLift RepositoryName UserName Password\n\n");

constexpr const char* kIntroduction[] = {
    "\nOrvex Vistrel Integration object migration utility.\n\n",
    "You will now be prompted for the Common Object Repository name,\n",
    "Username, Password, and Community String for the discovery\n",
    "process to utilize.\n\n",
};

constexpr tng::FrontEndProfile kProfile = migration::profile(kUsage, kIntroduction, true);

constexpr const char* kBanner[] = {
    "\nThis utility connects to the local Unicenter TNG repository and\n",
    "reclassifies all Pellion objects into the new Orvex classes defined in\n",
    "the integration.\n",
    "For example, Pellion_Linux objects will be changed to Orvex_Linux objects.\n\n",
};

constexpr migration::ReclassRule kRules[] = {
    {"Pellion_Windows2000", "Orvex_Windows2000", "Orvex_Windows2000"},
    {"Pellion_Windows2000_Server", "Orvex_Windows2000_Server", "Orvex_Windows2000_Server"},
    {"Pellion_WindowsNT_Server", "Orvex_WindowsNT_Server", "Orvex_WindowsNT_Server"},
    {"Pellion_Novell", "Orvex_Novell", "Orvex_Novell"},
    {"Pellion_UnixWare", "Orvex_UnixWare", "Orvex_UnixWare"},
    {"Pellion_WindowsNT", "Orvex_WindowsNT", "Orvex_WindowsNT"},
    {"Pellion_Windows95", "Orvex_Windows9x", "Orvex_Windows9x"},
    {"Pellion_Windows9x", "Orvex_Windows9x", "Orvex_Windows9x"},
    {"Pellion_DECSystem", "Orvex_DECSystem", "Orvex_DECSystem"},
    {"Pellion_SCOUnix", "Orvex_SCOUnix", "Orvex_SCOUnix"},
    {"Pellion_OS2", "Orvex_OS2", "OS2"},
    {"Pellion_Linux", "Orvex_Linux", "Orvex_Linux"},
    {"Pellion_RemoteVistrel", "Orvex_RemoteVistrel", "Orvex_RemoteVistrel"},
    {"Pellion_RackEnclosure", "Orvex_RackEnclosure", "Orvex_RackEnclosure"},
    {"Pellion_Doralith", "Orvex_SANappliance", "Orvex_SANappliance"},
    {"Pellion_VistrelXE", "Orvex_VistrelManager", "Orvex_VistrelManager"},
    {"Pellion_Host", "Orvex_Host", "Orvex_Host"},
    {"Pellion_Workstation", "Orvex_Workstation", "Orvex_Workstation"},
    {"Pellion_Brevant", "Orvex_Brevant", "Orvex_Brevant"},
};

constexpr const char* kClosing[] = {
    "\nDevices in the Pellion classes have been reclassified into the new\n",
    "Orvex classes in Unicenter TNG Common Object Repository.\n",
};

}  // namespace

int main(int argc, char** argv) {
  return migration::run({.profile = kProfile,
                         .application = "CLASSLIFT",
                         .banner = kBanner,
                         .removes_lights_out_inclusions = false,
                         .rules = kRules,
                         .closing = kClosing},
                        argc, argv);
}
