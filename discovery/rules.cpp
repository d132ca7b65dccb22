#include "rules.h"

#include <array>

namespace orxdetect {
namespace {

constexpr const char* kAsBoard = "Reclassify %s as an Orvex_RemoteVistrel Device\n\n";
constexpr RuleEntry kBoard{Condition::AnsweredBoard, "Orvex_RemoteVistrel", kAsBoard};

constexpr RuleEntry kHost[] = {
    kBoard,
    // Host moves are announced with the Windows 2000 Server wording.
    {Condition::AnsweredAllSystems, "Orvex_Host", "Reclassify %s as an Orvex Windows 2000 Server\n\n"},
};
constexpr RuleEntry kWindows2000Server[] = {
    kBoard,
    {Condition::AnsweredStorageAllSystems, "Orvex_SANappliance",
     "Reclassify %s as an Orvex_SANappliance Device\n\n"},
    {Condition::AnsweredAllSystems, "Orvex_Windows2000_Server",
     "Reclassify %s as an Orvex Windows 2000 Server\n\n"},
};
constexpr RuleEntry kWindowsNetServer[] = {
    kBoard,
    {Condition::AnsweredStorageAllSystems, "Orvex_SANappliance",
     "Reclassify %s as an Orvex_SANappliance Device\n\n"},
    {Condition::AnsweredTarvikAllSystems, "Orvex_TarvikServer",
     "Reclassify %s as an Orvex_TarvikServer Device\n\n"},
    {Condition::AnsweredAllSystems, "Orvex_Windows_NetServer",
     "Reclassify %s as an Orvex Windows NetServer\n\n"},
};
constexpr RuleEntry kWindowsNTServer[] = {
    kBoard,
    {Condition::AnsweredAllSystems, "Orvex_WindowsNT_Server",
     "Reclassify %s as an Orvex Windows NT Server\n\n"},
};
constexpr RuleEntry kLinux[] = {
    {Condition::AnsweredErrorRackEnclosure, "Orvex_RackEnclosure",
     "Reclassify %s as an Orvex_RackEnclosure Device\n\n"},
    kBoard,
    {Condition::AnsweredAllSystems, "Orvex_Linux", "Reclassify %s as an Orvex Linux Server\n\n"},
};
constexpr RuleEntry kDECSystem[] = {
    {Condition::Answered, "Orvex_DECSystem", "Reclassify %s as an Orvex DECSystem Server\n\n"},
};
constexpr RuleEntry kSCOUnix[] = {
    kBoard,
    {Condition::AnsweredAllSystems, "Orvex_SCOUnix", "Reclassify %s as an Orvex SCO Unix Server\n\n"},
};
constexpr RuleEntry kUnixWare[] = {
    kBoard,
    {Condition::AnsweredAllSystems, "Orvex_UnixWare",
     "Reclassify %s as an Orvex UnixWare Server\n\n"},
};
constexpr RuleEntry kNovell[] = {
    kBoard,
    {Condition::AnsweredAllSystems, "Orvex_Novell", "Reclassify %s as an Orvex Novell Server\n\n"},
};
constexpr RuleEntry kOS2[] = {
    kBoard,
    {Condition::AnsweredAllSystems, "Orvex_OS2", "Reclassify %s as an Orvex OS2 Device\n\n"},
};
constexpr RuleEntry kWindowsXP[] = {
    {Condition::Answered, "Orvex_WindowsXP", "Reclassify %s as an Orvex Windows XP Workstation\n\n"},
};
constexpr RuleEntry kWindows2000[] = {
    {Condition::Answered, "Orvex_Windows2000",
     "Reclassify %s as an Orvex Windows 2000 Workstation\n\n"},
};
constexpr RuleEntry kWindowsNT[] = {
    {Condition::Answered, "Orvex_WindowsNT", "Reclassify %s as an Orvex Windows NT Workstation\n\n"},
};
constexpr RuleEntry kWindows9x[] = {
    {Condition::Answered, "Orvex_Windows9x", "Reclassify %s as an Orvex Windows 9x Workstation\n\n"},
};
constexpr RuleEntry kWindows95[] = {
    {Condition::Answered, "Orvex_Windows95", "Reclassify %s as an Orvex Windows 95 Workstation\n\n"},
};

constexpr Form S = Form::Server;
constexpr Form W = Form::Workstation;

//  class, form, all-systems only, asks kind, asks product, rack on error, entries
constexpr PassRule kPasses[] = {
    {"Host", S, false, true, false, false, kHost},
    {"Windows2000_Server", S, false, true, true, false, kWindows2000Server},
    {"Windows_NetServer", S, false, true, true, false, kWindowsNetServer},
    {"WindowsNT_Server", S, false, true, false, false, kWindowsNTServer},
    {"Linux", S, false, true, false, true, kLinux},
    {"DECSystem", S, true, false, false, false, kDECSystem},
    {"SCOUnix", S, false, true, false, false, kSCOUnix},
    {"UnixWare", S, false, true, false, false, kUnixWare},
    {"Novell", S, false, true, false, false, kNovell},
    {"OS2", S, false, true, false, false, kOS2},
    {"WindowsXP", W, true, false, false, false, kWindowsXP},
    {"Windows2000", W, true, false, false, false, kWindows2000},
    {"WindowsNT", W, true, false, false, false, kWindowsNT},
    {"Windows9x", W, true, false, false, false, kWindows9x},
    {"Windows95", W, true, false, false, false, kWindows95},
};

//  class, all-systems only, prints matches
constexpr AssociationClass kAssociation[] = {
    {"Orvex_Windows2000_Server", true, true},
    {"Orvex_Windows_NetServer", true, true},
    {"Orvex_WindowsNT_Server", true, true},
    {"Orvex_Linux", true, true},
    {"Orvex_Novell", true, true},
    {"Orvex_UnixWare", true, true},
    {"Orvex_SANappliance", true, false},
    {"Orvex_VistrelManager", true, false},
    {"Orvex_OS2", true, false},
    {"Orvex_SCOUnix", true, true},
    {"Windows2000_Server", false, true},
    {"Windows_NetServer", false, true},
    {"WindowsNT_Server", false, true},
    {"Linux", false, true},
    {"Novell", false, true},
    {"UnixWare", false, false},
    {"OS2", false, false},
    {"SCOUnix", false, false},
};

constexpr std::string_view kRequired[] = {
    "Orvex_Host",          "Orvex_Workstation",      "Orvex_Windows_NetServer",
    "Orvex_Windows2000_Server", "Orvex_Windows2000", "Orvex_WindowsNT_Server",
    "Orvex_WindowsNT",     "Orvex_WindowsXP",        "Orvex_Windows9x",
    "Orvex_Windows95",     "Orvex_DECSystem",        "Orvex_Linux",
    "Orvex_Novell",        "Orvex_OS2",              "Orvex_SCOUnix",
    "Orvex_UnixWare",      "Orvex_RemoteVistrel",    "Orvex_SANappliance",
    "Orvex_TarvikServer",  "Orvex_VistrelManager",
};

}  // namespace

const std::span<const PassRule> kPassRules = kPasses;
const std::span<const AssociationClass> kAssociationClasses = kAssociation;
const std::span<const std::string_view> kRequiredClasses = kRequired;

bool holds(Condition condition, const DeviceFacts& facts) {
  const bool answered = facts.contact == Contact::Answered;
  switch (condition) {
    case Condition::Answered:
      return answered;
    case Condition::AnsweredBoard:
      return answered && facts.lights_out == LightsOutKind::Board;
    case Condition::AnsweredAllSystems:
      return answered && facts.all_systems;
    case Condition::AnsweredStorageAllSystems:
      return answered && facts.product == ProductKind::StorageAppliance && facts.all_systems;
    case Condition::AnsweredTarvikAllSystems:
      return answered && facts.product == ProductKind::TarvikServer && facts.all_systems;
    case Condition::AnsweredErrorRackEnclosure:
      return facts.contact == Contact::AnsweredWithError &&
             facts.lights_out == LightsOutKind::RackEnclosure;
  }
  return false;
}

const RuleEntry* first_holding(const PassRule& rule, const DeviceFacts& facts) {
  for (const RuleEntry& entry : rule.entries)
    if (holds(entry.condition, facts)) return &entry;
  return nullptr;
}

}  // namespace orxdetect
