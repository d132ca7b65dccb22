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
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "foundation/foundation.h"
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
  BeforeObjects,   // criteria, query, missing class or no objects
  ObjectsWalked,   // count exhausted, end of list, or a failed property read
  GetNextFailed,
  ConversionFailed,
};

// Devices probed at once when ORX_SNMP_WINDOW does not say: enough for
// every device of a large class to wait out a silent agent's time-out and
// retries together.
constexpr int kDefaultWindow = 1024;

struct Run {
  tng::RepositorySession& session;
  const tng::ReclassCommand& reclass;
  const char* community;
  int window;  // how many devices are probed at once
};

// One step of the walk, read ahead, with its probe under way.
struct AheadObject : tng::AheadStep {
  AheadObject() = default;
  explicit AheadObject(tng::AheadStep step) : tng::AheadStep(std::move(step)) {}
  std::unique_ptr<pln::SnmpProbe> probe;
};

// The objects of the run's passes read ahead of the one the walk is at,
// with their probes under way: up to `window` devices are asked at once,
// across the ends of passes, and each pass still takes its objects strictly
// in list order. Each pass holds its own criteria and result list; a list is
// a snapshot taken at its query, and no pass moves objects into or out of a
// class that a later pass queries, so querying ahead changes nothing a pass
// sees, and every repository operation is called in the same order as
// without look-ahead. Where a pass would stop, its look-ahead stops too; a
// window of 1 is the plain object-by-object walk.
class Walk {
 public:
  Walk(const Run& run, std::vector<const pln::LegacyRule*> rules) : run_(run) {
    for (const pln::LegacyRule* rule : rules) {
      auto state = std::make_unique<PassState>();
      state->rule = rule;
      passes_.push_back(std::move(state));
    }
  }
  ~Walk() {
    for (auto& state : passes_) state->release();
  }
  Walk(const Walk&) = delete;
  Walk& operator=(const Walk&) = delete;

  std::size_t size() const { return passes_.size(); }
  const pln::LegacyRule& rule(std::size_t pass) const { return *passes_[pass]->rule; }

  // The query of pass `pass`, made now unless the look-ahead made it.
  tng::RepositorySession::QueryResult begin(std::size_t pass) {
    PassState& state = *passes_[pass];
    if (!state.queried) query(state);
    return state.result;
  }

  // Reads ahead until the window is full or nothing is left to read.
  void fill() {
    while (held_ < static_cast<std::size_t>(run_.window) && filling_ < passes_.size()) {
      PassState& state = *passes_[filling_];
      if (!state.queried) query(state);
      if (state.exhausted()) {
        ++filling_;
        continue;
      }
      fetch(state);
    }
  }

  // The next step of pass `pass`, once its probe has settled; the others'
  // answers are taken as they come and kept meanwhile.
  AheadObject take(std::size_t pass) {
    PassState& state = *passes_[pass];
    if (state.ahead.empty()) return {};
    AheadObject& head = state.ahead.front();
    while (head.probe && !head.probe->settled()) {
      LPSNMP_MGR_SESSION session = SnmpMgrWaitAny();
      if (!session) break;  // nothing under way: cannot happen while the head waits
      auto found = waiting_.find(session);
      if (found == waiting_.end()) continue;
      pln::SnmpProbe* probe = found->second;
      waiting_.erase(found);
      probe->answer_arrived();
    }
    AheadObject object = std::move(head);
    state.ahead.pop_front();
    --held_;
    return object;
  }

  // Releases the pass's result list and criteria.
  void finish(std::size_t pass) {
    PassState& state = *passes_[pass];
    for (AheadObject& object : state.ahead)
      if (object.probe)
        if (LPSNMP_MGR_SESSION session = object.probe->waiting_on()) waiting_.erase(session);
    held_ -= state.ahead.size();
    state.ahead.clear();
    state.release();
    if (filling_ <= pass) filling_ = pass + 1;
  }

 private:
  struct PassState {
    const pln::LegacyRule* rule = nullptr;
    bool queried = false;
    tng::RepositorySession::QueryResult result{};
    WV_CRITERIA criteria = nullptr;
    WV_OBJECT_LIST list = nullptr;
    uint32_t fetched = 0;
    bool stopped = false;
    std::deque<AheadObject> ahead;

    void release() {
      if (list) ObjectListFree(&list);
      if (criteria) ObjectCriteriaFree(&criteria);
      list = nullptr;
      criteria = nullptr;
    }
    bool exhausted() const {
      return queried && (result.outcome != tng::RepositorySession::Query::Found || stopped ||
                         fetched >= result.count);
    }
  };

  void query(PassState& state) {
    state.queried = true;
    state.result = tng::query_class_into(run_.session.repository(), state.rule->framework_class,
                                         "name,address", state.criteria, state.list,
                                         kCriteriaCapacity, kBatch);
  }

  // Reads the pass's next object and starts its probe.
  void fetch(PassState& state) {
    ++state.fetched;
    AheadObject object(tng::read_ahead(state.list));
    if (object.kind == AheadObject::Kind::Object) {
      object.probe = std::make_unique<pln::SnmpProbe>(object.address_text().c_str(),
                                                      run_.community, state.rule->probe_oid);
      if (LPSNMP_MGR_SESSION session = object.probe->waiting_on())
        waiting_[session] = object.probe.get();
    }
    // A conversion failure ends the run at this object.
    state.stopped = object.kind != AheadObject::Kind::Object || object.probe->conversion_failed();
    if (object.probe && object.probe->conversion_failed()) filling_ = passes_.size();
    state.ahead.push_back(std::move(object));
    ++held_;
  }

  static constexpr int32_t kCriteriaCapacity = 20;
  static constexpr int32_t kBatch = 10;

  const Run& run_;
  std::vector<std::unique_ptr<PassState>> passes_;
  std::size_t filling_ = 0;  // the pass the look-ahead reads from
  std::size_t held_ = 0;     // steps read ahead and not yet taken
  std::unordered_map<LPSNMP_MGR_SESSION, pln::SnmpProbe*> waiting_;
};

enum class ObjectEnd { Next, EndPass, ConversionFailed };

ObjectEnd handle_object(const Run& run, const pln::LegacyRule& rule, AheadObject& object) {
  switch (object.kind) {
    case AheadObject::Kind::End:
    case AheadObject::Kind::NameFailed:
      return ObjectEnd::EndPass;
    case AheadObject::Kind::FetchFailed:
      std::printf("Object GetNext Failed - rc = %d\n", object.fetch_rc);
      return ObjectEnd::EndPass;
    case AheadObject::Kind::AddressFailed:
    case AheadObject::Kind::Object:
      break;
  }
  const std::string name = tng::property_text(object.name.view(), "name");
  if (object.name.type == WV_TYPE_TEXT)
    std::printf("Device name to use for SNMP query: %s\n", name.c_str());
  if (object.kind == AheadObject::Kind::AddressFailed) {
    std::printf("TNGWV returned unsuccessful: %d\n", object.address.rc);
    return ObjectEnd::EndPass;
  }
  const std::string address = tng::property_text(object.address.view(), "address");
  if (object.address.type == WV_TYPE_TEXT)
    std::printf("Device address to use for SNMP query: %s\n", address.c_str());

  switch (object.probe->report()) {
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

PassEnd run_pass(const Run& run, Walk& walk, std::size_t pass) {
  const pln::LegacyRule& rule = walk.rule(pass);
  const int class_length = static_cast<int>(rule.framework_class.size());
  const char* class_name = rule.framework_class.data();
  const auto query = walk.begin(pass);
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
  const Run run{session, reclass, community.get(), SnmpMgrWindowSize(kDefaultWindow)};
  const bool novell = answers->mode == "Y";
  std::vector<const pln::LegacyRule*> rules;
  for (const pln::LegacyRule& rule : pln::kLegacyRules)
    if (!rule.novell_only || novell) rules.push_back(&rule);
  Walk walk(run, std::move(rules));
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
