// plndetect: finds the predecessor brand's devices among the repository's
// system objects by asking each object's address over SNMP, and moves every
// device whose agent answers into the matching Pellion_ class through reclass.
//
//   plndetect RepositoryName UserName Password CommunityString Y/N
//
// Exit code 0, or 1 when a probe identifier cannot be converted, or 2 when
// an argument does not fit its field (or the community string cannot be
// kept, or names an SNMPv3 credential set that cannot be used) and nothing
// was done.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/front_end.h"
#include "foundation/lookahead_walk.h"
#include "foundation/progress.h"
#include "foundation/reclass.h"
#include "foundation/report.h"
#include "foundation/session.h"
#include "platform/diag.h"
#include "platform/preview.h"
#include "platform/snmp_mgr.h"
#include "probe.h"
#include "profile.h"
#include "rules.h"

namespace {

constexpr const char* kBanner[] = {
    "This utility connects to the local Unicenter TNG repository and\n",
    "checks all objects to see if they are Pellion objects.\n",
    "Pellion objects will be reclassified as Pellion devices.\n\n",
};

using plndetect::kProfile;
constexpr std::size_t kObjectNameMax = kProfile.reclass_fields.object - 4;

constexpr int kExitDone = 0;
constexpr int kExitConversionFailed = 1;
constexpr int kExitRefused = 2;

struct SnmpMemoryFree {
  void operator()(char* block) const { SnmpUtilMemFree(block); }
};
using SnmpText = std::unique_ptr<char, SnmpMemoryFree>;

// How a pass ended, for the closing lines and the conversion failure.
enum class PassEnd {
  BeforeObjects,  // criteria, query, missing class or no objects
  ObjectsWalked,  // count exhausted, end of list, or a failed property read
  GetNextFailed,
  ConversionFailed,
};

// Devices probed at once when ORX_SNMP_WINDOW does not say, not counting
// those that only wait for their time-outs and retries.
constexpr int kDefaultWindow = 1024;

// plndetect's object lines: the address after a blank.
constexpr tng::ObjectWording kObjectLines{tng::kSnmpQueryName,
                                          {"Device address to use for SNMP query: ", "\n"}};

struct Run {
  tng::RepositorySession& session;
  tng::Sink& sink;  // the console

  const tng::ReclassCommand& reclass;
  const char* community;
  int window;  // how many devices are probed at once
  // How many may be in flight, counting those that only wait for their
  // time-outs.
  std::size_t in_flight;
};

// How plndetect asks a device read ahead: one probe for the pass's
// identifier. A probe whose identifier cannot be converted ends the run at
// its object.
struct DeviceAsking {
  using Pass = const pln::LegacyRule*;
  using Probe = pln::SnmpProbe;
  using Session = LPSNMP_MGR_SESSION;

  const char* community;
  bool keep_answers;  // a preview: the answers go into the plan's evidence

  std::string_view class_of(const pln::LegacyRule* rule) const { return rule->framework_class; }
  std::unique_ptr<pln::SnmpProbe> ask(const pln::LegacyRule* rule,
                                      const tng::AheadStep& step) const {
    return std::make_unique<pln::SnmpProbe>(step.address_text().c_str(), community, rule->probe_oid,
                                            keep_answers);
  }
  bool ends_run(const pln::SnmpProbe& probe) const { return probe.conversion_failed(); }
  static LPSNMP_MGR_SESSION wait_any(std::size_t fresh_below) {
    return SnmpMgrWaitAnyOrRoom(static_cast<int>(fresh_below));
  }
  static std::size_t fresh() { return static_cast<std::size_t>(SnmpMgrFresh()); }
};

using Walk = tng::LookaheadWalk<DeviceAsking>;
using AheadObject = Walk::Object;

enum class ObjectEnd { Next, EndPass, ConversionFailed };

ObjectEnd handle_object(Run& run, const pln::LegacyRule& rule, AheadObject& object) {
  tng::ObjectNames names;
  if (!tng::report_object(run.sink, object, kObjectLines, names)) return ObjectEnd::EndPass;
  const std::string& name = names.name;
  switch (object.probe->report()) {
    case pln::ProbeOutcome::ConversionFailed:
      return ObjectEnd::ConversionFailed;
    case pln::ProbeOutcome::Answered:
      break;
    case pln::ProbeOutcome::RequestFailed:
      tng::progress::silent_device();
      return ObjectEnd::Next;
    default:
      return ObjectEnd::Next;
  }
  // The device answered: reclassify it while the probe's session is open.
  if (name.size() > kObjectNameMax) {
    tng::diag::say("%s not reclassified: the object name is %zu characters long; at most %zu fit\n",
                   name.c_str(), name.size(), kObjectNameMax);
    return ObjectEnd::Next;
  }
  std::printf("Reclassify %s as a Pellion %s\n\n", name.c_str(), rule.label);
  if (tng::preview::active()) {
    // The plan's evidence: the probe, its answer and the pass that decided.
    std::string_view oid = rule.probe_oid;
    if (oid.starts_with('.')) oid.remove_prefix(1);
    tng::preview::decide({.address = names.address,
                          .questions = {{"probe", std::string(oid), object.probe->answer()}},
                          .rule_class = std::string(rule.framework_class),
                          .rule_entry = "to " + std::string(rule.target_class) +
                                        " when the device answers the probe without an error",
                          .read = {{"address", names.address}}});
  }
  run.reclass.run(rule.framework_class, name, rule.target_class);
  return ObjectEnd::Next;
}

PassEnd run_pass(Run& run, Walk& walk, std::size_t pass) {
  const pln::LegacyRule& rule = *walk.pass(pass);
  const auto query = walk.begin(pass);
  if (!tng::report_query(run.sink, rule.framework_class, query)) return PassEnd::BeforeObjects;
  tng::progress::pass(rule.framework_class, query.count);

  for (uint32_t index = 0; index < query.count; ++index) {
    tng::progress::object();
    walk.fill();
    AheadObject object = walk.take(pass);
    const ObjectEnd end = handle_object(run, rule, object);
    if (end == ObjectEnd::ConversionFailed) return PassEnd::ConversionFailed;
    if (end == ObjectEnd::EndPass) {
      return object.kind == AheadObject::Kind::FetchFailed ? PassEnd::GetNextFailed
                                                           : PassEnd::ObjectsWalked;
    }
  }
  return PassEnd::ObjectsWalked;
}

}  // namespace

int main(int argc, char** argv) {
  const auto answers = tng::run_front_end(kProfile, argc, argv);
  if (!answers) return argc - 1 >= kProfile.minimum_arguments ? kExitRefused : kExitDone;
  tng::progress::start(true);
  tng::preview::begin();

  for (const char* line : kBanner) std::fputs(line, stdout);
  // A community answer that names an unusable SNMPv3 credential set, or a
  // credential file that others may read, ends the run before anything is
  // opened (the SNMP layer says why on stderr).
  if (!SnmpMgrCheckCommunity(answers->community.c_str())) return kExitRefused;

  // The community string is kept for the whole run.
  SnmpText community(static_cast<char*>(SnmpUtilMemAlloc(answers->community.size() + 1)));
  if (!community) {
    tng::diag::say("no memory for the community string; nothing was done\n");
    return kExitRefused;
  }
  std::memcpy(community.get(), answers->community.c_str(), answers->community.size() + 1);

  tng::RepositorySession session("PLNDETECT");
  if (session.open_by_name(*answers) != tng::RepositorySession::Opened::Connected) return kExitDone;

  const tng::ReclassCommand reclass(*answers, kProfile.reclass_fields);
  tng::Sink console;
  Run run{session,
          console,
          reclass,
          community.get(),
          SnmpMgrWindowSize(kDefaultWindow),
          static_cast<std::size_t>(SnmpMgrInFlightLimit(kDefaultWindow))};
  const bool novell = answers->mode == "Y";
  std::vector<const pln::LegacyRule*> rules;
  for (const pln::LegacyRule& rule : pln::kLegacyRules)
    if (!rule.novell_only || novell) rules.push_back(&rule);
  Walk walk(DeviceAsking{run.community, tng::preview::active()}, session, run.window, run.in_flight,
            std::move(rules));
  PassEnd last = PassEnd::BeforeObjects;
  for (std::size_t pass = 0; pass < walk.size(); ++pass) {
    last = run_pass(run, walk, pass);
    walk.finish(pass);
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
