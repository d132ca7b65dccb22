// The legacy discovery's rule table: one row per framework class, in the
// order of the passes.
#pragma once
#include <array>
#include <string_view>

namespace pln {

// Probe identifiers: the server agent's object for servers and other
// systems, the workstation agent's object for the four workstation classes.
inline constexpr const char* kServerProbe = ".1.3.6.1.4.1.232.11.2.2.4.0";
inline constexpr const char* kWorkstationProbe = ".1.3.6.1.4.1.232.1.1.1.0";

struct LegacyRule {
  std::string_view framework_class;  // queried, and "/C=" of reclass
  std::string_view target_class;     // "/T=" of reclass
  const char* label;                 // "Reclassify NAME as a Pellion <label>"
  const char* probe_oid;
  bool novell_only;  // runs only when the Novell switch is "Y"
};

inline constexpr std::array<LegacyRule, 12> kLegacyRules{{
    {"Windows2000_Server", "Pellion_Windows2000_Server", "Windows 2000 Server", kServerProbe,
     false},
    {"WindowsNT_Server", "Pellion_WindowsNT_Server", "NT Server", kServerProbe, false},
    {"Novell", "Pellion_Novell", "Novell Server", kServerProbe, true},
    {"UnixWare", "Pellion_UnixWare", "UnixWare Server", kServerProbe, false},
    {"Windows2000", "Pellion_Windows2000", "Windows 2000 Workstation", kWorkstationProbe, false},
    {"WindowsNT", "Pellion_WindowsNT", "NT Workstation", kWorkstationProbe, false},
    {"Windows95", "Pellion_Windows95", "Windows95 Workstation", kWorkstationProbe, false},
    {"Windows9x", "Pellion_Windows9x", "Windows9x Workstation", kWorkstationProbe, false},
    {"DECSystem", "Pellion_DECSystem", "DECSystem", kServerProbe, false},
    {"SCOUnix", "Pellion_SCOUnix", "SCOUnix Server", kServerProbe, false},
    {"OS2", "Pellion_OS2", "OS2 System", kServerProbe, false},
    {"Linux", "Pellion_Linux", "Linux System", kServerProbe, false},
}};

}  // namespace pln
