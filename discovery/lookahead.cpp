#include "lookahead.h"

namespace orxdetect {

namespace {
constexpr int32_t kCriteriaCapacity = 20;
constexpr int32_t kBatch = 10;
}  // namespace

// A pass's own criteria and result list, held apart from the session's so
// that several passes can be read at once.
struct Walk::PassState {
  WalkPass pass;
  bool queried = false;
  tng::RepositorySession::QueryResult result{};
  WV_CRITERIA criteria = nullptr;
  WV_OBJECT_LIST list = nullptr;
  uint32_t fetched = 0;
  bool stopped = false;
  std::deque<AheadObject> ahead;

  void release() {
    if (list != nullptr) ObjectListFree(&list);
    if (criteria != nullptr) ObjectCriteriaFree(&criteria);
    list = nullptr;
    criteria = nullptr;
  }
  bool exhausted() const {
    return queried && (result.outcome != tng::RepositorySession::Query::Found || stopped ||
                       fetched >= result.count);
  }
};

Walk::Walk(Run& run, std::vector<WalkPass> passes) : run_(run) {
  for (const WalkPass& pass : passes) {
    auto state = std::make_unique<PassState>();
    state->pass = pass;
    passes_.push_back(std::move(state));
  }
}

Walk::~Walk() {
  for (auto& state : passes_) state->release();
}

void Walk::query(PassState& state) {
  state.queried = true;
  state.result = tng::query_class_into(run_.session.repository(), state.pass.class_name,
                                       "name,address", state.criteria, state.list,
                                       kCriteriaCapacity, kBatch);
}

tng::RepositorySession::QueryResult Walk::begin(std::size_t pass) {
  PassState& state = *passes_[pass];
  if (!state.queried) query(state);
  return state.result;
}

// Reads the pass's next object and starts its questions. False when the
// pass stops there.
bool Walk::fetch(PassState& state) {
  ++state.fetched;
  AheadObject object(tng::read_ahead(state.list));
  if (object.kind == AheadObject::Kind::Object) {
    object.inquiry = std::make_unique<Inquiry>(SnmpTarget{run_.community, object.address_text()},
                                               state.pass.questions);
    watch(*object.inquiry);
  }
  state.stopped = object.kind != AheadObject::Kind::Object;
  state.ahead.push_back(std::move(object));
  ++held_;
  return !state.stopped;
}

void Walk::fill() {
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

void Walk::watch(Inquiry& inquiry) {
  if (TNG_SNMP_SESSION session = inquiry.waiting_on()) waiting_[session] = &inquiry;
}

AheadObject Walk::take(std::size_t pass) {
  PassState& state = *passes_[pass];
  if (state.ahead.empty()) return {};  // the count is reached: the pass ends
  AheadObject& head = state.ahead.front();
  while (head.inquiry != nullptr && !head.inquiry->finished()) {
    TNG_SNMP_SESSION session = TngSnmp_WaitAny();
    if (session == nullptr) break;  // nothing under way: cannot happen while the head waits
    auto found = waiting_.find(session);
    if (found == waiting_.end()) continue;
    Inquiry* inquiry = found->second;
    waiting_.erase(found);
    inquiry->answer_arrived();
    watch(*inquiry);
  }
  AheadObject object = std::move(head);
  state.ahead.pop_front();
  --held_;
  return object;
}

void Walk::finish(std::size_t pass) {
  PassState& state = *passes_[pass];
  for (AheadObject& object : state.ahead)
    if (object.inquiry != nullptr)
      if (TNG_SNMP_SESSION session = object.inquiry->waiting_on()) waiting_.erase(session);
  held_ -= state.ahead.size();
  state.ahead.clear();
  state.release();
  if (filling_ <= pass) filling_ = pass + 1;
}

bool print_device_target(Run& run, const AheadObject& object, DeviceTarget& target) {
  switch (object.kind) {
    case AheadObject::Kind::End:
    case AheadObject::Kind::NameFailed:
      return false;
    case AheadObject::Kind::FetchFailed:
      run.out.say(To::Console, "Object GetNext Failed - rc = %d\n", object.fetch_rc);
      return false;
    case AheadObject::Kind::AddressFailed:
    case AheadObject::Kind::Object:
      break;
  }
  const auto name = object.name.view();
  target.name = tng::property_text(name, "name");
  if (name.type == WV_TYPE_TEXT)
    run.out.say(To::ConsoleAndLog, "Device name to use for SNMP query: %s\n", target.name.c_str());
  if (object.kind == AheadObject::Kind::AddressFailed) {
    run.out.say(To::Console, "TNGWV returned unsuccessful: %d\n", object.address.rc);
    return false;
  }
  const auto address = object.address.view();
  target.address = tng::property_text(address, "address");
  if (address.type == WV_TYPE_TEXT)
    run.out.say(To::ConsoleAndLog, "Device address to use for SNMP query:%s:\n",
                target.address.c_str());
  return true;
}

}  // namespace orxdetect
