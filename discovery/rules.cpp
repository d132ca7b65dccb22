#include "rules.h"

namespace orxdetect {
namespace {

using C = OrvexClass;
constexpr Modes kAllSystems = Modes::AllSystemsOnly;

// A lights-out board is moved in either mode, whatever the pass.
constexpr RuleEntry kBoard =
    move_to(C::Orvex_RemoteVistrel, "Reclassify %s as an Orvex_RemoteVistrel Device\n\n")
        .if_lights_out(LightsOutKind::Board);
constexpr RuleEntry kStorage =
    move_to(C::Orvex_SANappliance, "Reclassify %s as an Orvex_SANappliance Device\n\n")
        .if_product(ProductKind::StorageAppliance)
        .in_all_systems_mode();

// Any other server that answered, in all-systems mode.
constexpr RuleEntry server(C target, const char* announcement) {
  return move_to(target, announcement).in_all_systems_mode();
}
// A workstation that answered (its passes run in all-systems mode only).
constexpr RuleEntry workstation(C target, const char* announcement) {
  return move_to(target, announcement);
}

constexpr RuleEntry kHost[] = {
    kBoard,
    // Host moves are announced with the Windows 2000 Server wording.
    server(C::Orvex_Host, "Reclassify %s as an Orvex Windows 2000 Server\n\n"),
};
constexpr RuleEntry kWindows2000Server[] = {
    kBoard,
    kStorage,
    server(C::Orvex_Windows2000_Server, "Reclassify %s as an Orvex Windows 2000 Server\n\n"),
};
constexpr RuleEntry kWindowsNetServer[] = {
    kBoard,
    kStorage,
    move_to(C::Orvex_TarvikServer, "Reclassify %s as an Orvex_TarvikServer Device\n\n")
        .if_product(ProductKind::TarvikServer)
        .in_all_systems_mode(),
    server(C::Orvex_Windows_NetServer, "Reclassify %s as an Orvex Windows NetServer\n\n"),
};
constexpr RuleEntry kWindowsNTServer[] = {
    kBoard,
    server(C::Orvex_WindowsNT_Server, "Reclassify %s as an Orvex Windows NT Server\n\n"),
};
constexpr RuleEntry kLinux[] = {
    // A rack enclosure answers the server identity with an error.
    move_to(C::Orvex_RackEnclosure, "Reclassify %s as an Orvex_RackEnclosure Device\n\n")
        .if_answered_with_error()
        .if_lights_out(LightsOutKind::RackEnclosure),
    kBoard,
    server(C::Orvex_Linux, "Reclassify %s as an Orvex Linux Server\n\n"),
};
constexpr RuleEntry kDECSystem[] = {
    move_to(C::Orvex_DECSystem, "Reclassify %s as an Orvex DECSystem Server\n\n"),
};
constexpr RuleEntry kSCOUnix[] = {
    kBoard,
    server(C::Orvex_SCOUnix, "Reclassify %s as an Orvex SCO Unix Server\n\n"),
};
constexpr RuleEntry kUnixWare[] = {
    kBoard,
    server(C::Orvex_UnixWare, "Reclassify %s as an Orvex UnixWare Server\n\n"),
};
constexpr RuleEntry kNovell[] = {
    kBoard,
    server(C::Orvex_Novell, "Reclassify %s as an Orvex Novell Server\n\n"),
};
constexpr RuleEntry kOS2[] = {
    kBoard,
    server(C::Orvex_OS2, "Reclassify %s as an Orvex OS2 Device\n\n"),
};
constexpr RuleEntry kWindowsXP[] = {
    workstation(C::Orvex_WindowsXP, "Reclassify %s as an Orvex Windows XP Workstation\n\n"),
};
constexpr RuleEntry kWindows2000[] = {
    workstation(C::Orvex_Windows2000, "Reclassify %s as an Orvex Windows 2000 Workstation\n\n"),
};
constexpr RuleEntry kWindowsNT[] = {
    workstation(C::Orvex_WindowsNT, "Reclassify %s as an Orvex Windows NT Workstation\n\n"),
};
constexpr RuleEntry kWindows9x[] = {
    workstation(C::Orvex_Windows9x, "Reclassify %s as an Orvex Windows 9x Workstation\n\n"),
};
constexpr RuleEntry kWindows95[] = {
    workstation(C::Orvex_Windows95, "Reclassify %s as an Orvex Windows 95 Workstation\n\n"),
};

constexpr Form kServer = Form::Server;
constexpr Form kWorkstation = Form::Workstation;
constexpr Modes kBoth = Modes::Both;

constexpr PassRule kPasses[] = {
    {.framework_class = "Host", .form = kServer, .modes = kBoth, .entries = kHost},
    {.framework_class = "Windows2000_Server",
     .form = kServer,
     .modes = kBoth,
     .entries = kWindows2000Server},
    {.framework_class = "Windows_NetServer",
     .form = kServer,
     .modes = kBoth,
     .entries = kWindowsNetServer},
    {.framework_class = "WindowsNT_Server",
     .form = kServer,
     .modes = kBoth,
     .entries = kWindowsNTServer},
    {.framework_class = "Linux", .form = kServer, .modes = kBoth, .entries = kLinux},
    {.framework_class = "DECSystem", .form = kServer, .modes = kAllSystems, .entries = kDECSystem},
    {.framework_class = "SCOUnix", .form = kServer, .modes = kBoth, .entries = kSCOUnix},
    {.framework_class = "UnixWare", .form = kServer, .modes = kBoth, .entries = kUnixWare},
    {.framework_class = "Novell", .form = kServer, .modes = kBoth, .entries = kNovell},
    {.framework_class = "OS2", .form = kServer, .modes = kBoth, .entries = kOS2},
    {.framework_class = "WindowsXP",
     .form = kWorkstation,
     .modes = kAllSystems,
     .entries = kWindowsXP},
    {.framework_class = "Windows2000",
     .form = kWorkstation,
     .modes = kAllSystems,
     .entries = kWindows2000},
    {.framework_class = "WindowsNT",
     .form = kWorkstation,
     .modes = kAllSystems,
     .entries = kWindowsNT},
    {.framework_class = "Windows9x",
     .form = kWorkstation,
     .modes = kAllSystems,
     .entries = kWindows9x},
    {.framework_class = "Windows95",
     .form = kWorkstation,
     .modes = kAllSystems,
     .entries = kWindows95},
};

//  class, modes, prints matches
constexpr AssociationClass kAssociation[] = {
    {"Orvex_Windows2000_Server", kAllSystems, true},
    {"Orvex_Windows_NetServer", kAllSystems, true},
    {"Orvex_WindowsNT_Server", kAllSystems, true},
    {"Orvex_Linux", kAllSystems, true},
    {"Orvex_Novell", kAllSystems, true},
    {"Orvex_UnixWare", kAllSystems, true},
    {"Orvex_SANappliance", kAllSystems, false},
    {"Orvex_VistrelManager", kAllSystems, false},
    {"Orvex_OS2", kAllSystems, false},
    {"Orvex_SCOUnix", kAllSystems, true},
    {"Windows2000_Server", kBoth, true},
    {"Windows_NetServer", kBoth, true},
    {"WindowsNT_Server", kBoth, true},
    {"Linux", kBoth, true},
    {"Novell", kBoth, true},
    {"UnixWare", kBoth, false},
    {"OS2", kBoth, false},
    {"SCOUnix", kBoth, false},
};

}  // namespace

const std::span<const PassRule> kPassRules = kPasses;
const std::span<const AssociationClass> kAssociationClasses = kAssociation;

bool holds(const RuleEntry& entry, const DeviceFacts& facts) {
  return facts.contact == entry.contact &&
         (!entry.lights_out || *entry.lights_out == facts.lights_out) &&
         (!entry.product || *entry.product == facts.product) &&
         (facts.all_systems || entry.modes == Modes::Both);
}

const RuleEntry* first_holding(const PassRule& rule, const DeviceFacts& facts) {
  for (const RuleEntry& entry : rule.entries)
    if (holds(entry, facts)) return &entry;
  return nullptr;
}

namespace {

const char* words_of(LightsOutKind kind) {
  switch (kind) {
    case LightsOutKind::None:
      return "none";
    case LightsOutKind::Board:
      return "board";
    case LightsOutKind::RackEnclosure:
      return "rack enclosure";
    case LightsOutKind::Other:
      return "other";
  }
  return "?";
}

const char* words_of(ProductKind kind) {
  switch (kind) {
    case ProductKind::None:
      return "none";
    case ProductKind::StorageAppliance:
      return "storage appliance";
    case ProductKind::TarvikServer:
      return "Tarvik server";
  }
  return "?";
}

}  // namespace

std::string describe(const PassRule& rule, const RuleEntry& entry) {
  std::string text = "entry " + std::to_string(&entry - rule.entries.data() + 1) + " of " +
                     std::to_string(rule.entries.size()) + ": to " +
                     std::string(class_name(entry.target)) + " when the device answered";
  if (entry.contact == Contact::AnsweredWithError) text += " with an error";
  if (entry.lights_out) text += std::string(", lights-out kind ") + words_of(*entry.lights_out);
  if (entry.product) text += std::string(", product ") + words_of(*entry.product);
  if (entry.modes == Modes::AllSystemsOnly) text += ", in all-systems mode";
  return text;
}

}  // namespace orxdetect
