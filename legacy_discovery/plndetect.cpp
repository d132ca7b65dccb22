// plndetect: finds the predecessor brand's devices among the repository's
// system objects by asking each object's address over SNMP, and moves every
// device whose agent answers into the matching Pellion_ class through reclass.
//
//   plndetect RepositoryName UserName Password CommunityString Y/N
//
// Exit code 0, or 1 when a probe identifier cannot be converted, or 2 when
// an argument does not fit its field (or the community string cannot be
// kept) and nothing was done.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "foundation/foundation.h"
#include "platform/snmp_mgr.h"
#include "probe.h"
#include "rules.h"

namespace {

constexpr const char* kUsage[] = {
    "\nTo few arguments passed to PLNDETECT.EXE\n\n",
    "Usage: PLNDETECT RepositoryName UserName Password CommunityString Y/N\n\n",
    "RepositoryName:  Name of the Unicenter TNG Repository\n",
    "UserName:        User name for logging into the repository\n",
    "Password:        Password for the specified user name\n",
    "CommunityString: Community string to be used by SNMP during discovery\n",
    "Y or N:          Reclassify Novell Objects (Yes or No)\n\n",
    "Note: Enter B for the password if the password is blank.\n\n",
};

constexpr const char* kBanner[] = {
    "This utility connects to the local Unicenter TNG repository and\n",
    "checks all objects to see if they are Pellion objects.\n",
    "Pellion objects will be reclassified as Pellion devices.\n\n",
};

// "/R=" plus the name in 32 bytes; "/U=", "/W=" and "/O=" in 256 each.
constexpr tng::ReclassFieldCapacities kFields{32, 256, 256, 256};
constexpr std::size_t kObjectNameMax = kFields.object - 4;

constexpr tng::FrontEndProfile kProfile{
    .program = "plndetect",
    .usage_lines = kUsage,
    .minimum_arguments = 5,
    .silent_without_arguments = false,
    .interactive = false,
    .introduction = {},
    .line_limit = 256,
    .password_capacity = 256,
    .discovery_answers = true,
    .usage_exit_code = 0,
    .reclass_fields = kFields,
};

constexpr int kExitDone = 0;
constexpr int kExitConversionFailed = 1;
constexpr int kExitRefused = 2;

struct SnmpMemoryFree {
  void operator()(char* block) const { SnmpUtilMemFree(block); }
};
using SnmpText = std::unique_ptr<char, SnmpMemoryFree>;

// How a pass ended, for the closing lines and the conversion failure.
enum class PassEnd {
  BeforeObjects,   // criteria, query, missing class or no objects
  ObjectsWalked,   // count exhausted, end of list, or a failed property read
  GetNextFailed,
  ConversionFailed,
};

struct Run {
  tng::RepositorySession& session;
  const tng::ReclassCommand& reclass;
  const char* community;
};

enum class ObjectEnd { Next, EndPass, ConversionFailed };

ObjectEnd handle_object(const Run& run, const pln::LegacyRule& rule) {
  const auto name_property = run.session.read_property("name");
  if (name_property.rc != WV_OK) return ObjectEnd::EndPass;
  std::string name;
  if (name_property.type == WV_TYPE_TEXT) {
    name = static_cast<const char*>(name_property.value);
    std::printf("Device name to use for SNMP query: %s\n", name.c_str());
  } else {
    name = tng::property_text(name_property, "name");
  }

  const auto address_property = run.session.read_property("address");
  if (address_property.rc != WV_OK) {
    std::printf("TNGWV returned unsuccessful: %d\n", address_property.rc);
    return ObjectEnd::EndPass;
  }
  std::string address;
  if (address_property.type == WV_TYPE_TEXT) {
    address = static_cast<const char*>(address_property.value);
    std::printf("Device address to use for SNMP query: %s\n", address.c_str());
  } else {
    address = tng::property_text(address_property, "address");
  }

  const pln::SnmpProbe probe(address.c_str(), run.community, rule.probe_oid);
  switch (probe.outcome()) {
    case pln::ProbeOutcome::ConversionFailed:
      return ObjectEnd::ConversionFailed;
    case pln::ProbeOutcome::Answered:
      break;
    default:
      return ObjectEnd::Next;
  }
  // The device answered: reclassify it while the probe's session is open.
  if (name.size() > kObjectNameMax) {
    std::fflush(stdout);
    std::fprintf(stderr,
                 "plndetect: %s not reclassified: the object name is %zu characters long; at "
                 "most %zu fit\n",
                 name.c_str(), name.size(), kObjectNameMax);
    return ObjectEnd::Next;
  }
  std::printf("Reclassify %s as a Pellion %s\n\n", name.c_str(), rule.label);
  run.reclass.run(rule.framework_class, name, rule.target_class);
  return ObjectEnd::Next;
}

PassEnd run_pass(const Run& run, const pln::LegacyRule& rule) {
  const int class_length = static_cast<int>(rule.framework_class.size());
  const char* class_name = rule.framework_class.data();
  const auto query = run.session.query_class(rule.framework_class, "name,address");
  switch (query.outcome) {
    case tng::RepositorySession::Query::CriteriaFailed:
      std::fputs("Allocating Repository Object Criteria Failed\n", stdout);
      return PassEnd::BeforeObjects;
    case tng::RepositorySession::Query::NoSuchClass:
      std::printf("Class %.*s does not exist\n", class_length, class_name);
      return PassEnd::BeforeObjects;
    case tng::RepositorySession::Query::Failed:
      std::printf("Get Repository Object Failed - rc = %d\n", query.rc);
      return PassEnd::BeforeObjects;
    case tng::RepositorySession::Query::NoObjects:
      std::printf("Objects of class %.*s do not exist!\n", class_length, class_name);
      return PassEnd::BeforeObjects;
    case tng::RepositorySession::Query::Found:
      break;
  }
  std::printf("\nThere were %u %.*s objects found:\n", query.count, class_length, class_name);

  for (uint32_t index = 0; index < query.count; ++index) {
    const auto fetch = run.session.next_object();
    if (fetch.outcome == tng::RepositorySession::Fetch::End) break;
    if (fetch.outcome == tng::RepositorySession::Fetch::Failed) {
      std::printf("Object GetNext Failed - rc = %d\n", fetch.rc);
      return PassEnd::GetNextFailed;
    }
    const ObjectEnd end = handle_object(run, rule);
    if (end == ObjectEnd::ConversionFailed) return PassEnd::ConversionFailed;
    if (end == ObjectEnd::EndPass) break;
  }
  return PassEnd::ObjectsWalked;
}

}  // namespace

int main(int argc, char** argv) {
  const auto answers = tng::run_front_end(kProfile, argc, argv);
  if (!answers) return argc - 1 >= kProfile.minimum_arguments ? kExitRefused : kExitDone;

  for (const char* line : kBanner) std::fputs(line, stdout);

  // The community string is kept for the whole run.
  SnmpText community(static_cast<char*>(SnmpUtilMemAlloc(answers->community.size() + 1)));
  if (!community) {
    std::fflush(stdout);
    std::fputs("plndetect: no memory for the community string; nothing was done\n", stderr);
    return kExitRefused;
  }
  std::memcpy(community.get(), answers->community.c_str(), answers->community.size() + 1);

  tng::RepositorySession session("PLNDETECT");
  if (session.open_by_name(*answers) != tng::RepositorySession::Opened::Connected) return kExitDone;

  const tng::ReclassCommand reclass(*answers, kProfile.reclass_fields);
  const Run run{session, reclass, community.get()};
  const bool novell = answers->mode == "Y";
  PassEnd last = PassEnd::BeforeObjects;
  for (const pln::LegacyRule& rule : pln::kLegacyRules) {
    if (rule.novell_only && !novell) continue;
    last = run_pass(run, rule);
    session.end_pass();
    if (last == PassEnd::ConversionFailed) return kExitConversionFailed;
  }
  // The closing lines follow the last pass (Linux) when it walked its objects.
  if (last == PassEnd::ObjectsWalked) {
    std::fputs("\nPellion devices have been reclassified in the Unicenter TNG\n", stdout);
    std::fputs("Common Object Repository.\n", stdout);
  }
  session.close();
  return kExitDone;
}
