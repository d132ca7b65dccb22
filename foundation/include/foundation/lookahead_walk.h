// The objects of a run of passes, read ahead of the object the run is at,
// with each device's questions already under way, across the ends of
// passes, while each pass still takes its objects strictly in list order,
// so that the tool prints and reclassifies each exactly as if it had asked
// it alone. A window of 1 is the plain object-by-object walk. (Each object
// is read from its pass's list by result_list.h; a tool's instance names
// how it asks a device, as discovery/inquiry_walk.h does for orxdetect.)
//
// The window counts the devices whose questions are fresh (sent a moment
// ago, their answers may come at any time), not those whose questions only
// wait for their time-outs, nor those already settled behind a device that
// waits: the window grows with what is waiting, so that the silent devices
// of a run wait out their time-outs together however many there are. What
// bounds it then is `in_flight`, the devices read ahead at most (sockets
// and memory); while the head of the walk waits, the walk keeps reading
// ahead whenever a place in the window frees.
//
// Reading ahead changes nothing a pass can see: each pass holds its own
// criteria and result list, a list is a snapshot taken at its query, no pass
// of one run moves objects into or out of a class that a later pass of the
// same run queries, and every repository operation is called in the same
// order as without look-ahead. Where a pass would stop (a failed query, end
// of the list, a failed fetch, a failed name or address read) its look-ahead
// stops too, so nothing is fetched that the walk would not have fetched.
//
// The tool says how a device is asked, through `Tool`:
//   Pass     what a pass queries and asks;
//   Probe    one device's questions: `waiting_on()` (the session whose
//            answer it waits for, null when none), `answer_arrived()`,
//            `settled()`;
//   Session  the handle the SNMP layer names when an exchange finished;
//   std::string_view class_of(const Pass&) const;
//   std::unique_ptr<Probe> ask(const Pass&, const AheadStep&) const
//            starts the questions of an object;
//   bool ends_run(const Probe&) const
//            the run ends at this object: nothing is read beyond it;
//   static Session wait_any(std::size_t fresh_below)
//            the next session whose exchange finished; null when none is
//            under way, or as soon as fewer than `fresh_below` (if not 0)
//            exchanges are fresh;
//   static std::size_t fresh()
//            the exchanges under way that are fresh.
#pragma once
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <unordered_map>
#include <vector>

#include "foundation/result_list.h"

namespace tng {

template <typename Tool>
class LookaheadWalk {
 public:
  using Pass = typename Tool::Pass;
  using Probe = typename Tool::Probe;
  using Session = typename Tool::Session;

  // One step of the walk, read ahead, with the device's questions under way.
  struct Object : AheadStep {
    Object() = default;
    explicit Object(AheadStep step) : AheadStep(std::move(step)) {}
    std::unique_ptr<Probe> probe;  // objects only
  };

  // Passes query their class for "name,address". `window` fresh devices at
  // most, `in_flight` devices read ahead at most (the window when smaller).
  LookaheadWalk(Tool tool, RepositorySession& session, int window, std::size_t in_flight,
                std::vector<Pass> passes)
      : tool_(std::move(tool)),
        session_(session),
        window_(static_cast<std::size_t>(std::max(window, 1))),
        in_flight_(std::max(in_flight, window_)) {
    for (Pass& pass : passes) {
      auto state = std::make_unique<PassState>();
      state->pass = std::move(pass);
      passes_.push_back(std::move(state));
    }
  }
  ~LookaheadWalk() {
    for (auto& state : passes_) state->release();
  }
  LookaheadWalk(const LookaheadWalk&) = delete;
  LookaheadWalk& operator=(const LookaheadWalk&) = delete;

  std::size_t size() const { return passes_.size(); }
  const Pass& pass(std::size_t index) const { return passes_[index]->pass; }

  // The query of pass `pass` (passes are begun in order), made now unless
  // the look-ahead made it already.
  RepositorySession::QueryResult begin(std::size_t pass) {
    PassState& state = *passes_[pass];
    if (!state.queried) query(state);
    return state.result;
  }

  // Reads ahead until the window is full or nothing is left to read,
  // starting each new device's questions.
  void fill() {
    while (may_read_ahead() && Tool::fresh() < window_) {
      PassState& state = *passes_[filling_];
      if (!state.queried) query(state);
      if (state.exhausted()) {
        ++filling_;
        continue;
      }
      fetch(state);
    }
  }

  // The next step of pass `pass`, once its device's questions are all
  // settled; the other devices' answers are taken as they come and kept.
  // An empty step (End) when the pass's count is reached.
  Object take(std::size_t pass) {
    PassState& state = *passes_[pass];
    if (state.ahead.empty()) return {};
    Object& head = state.ahead.front();
    while (head.probe && !head.probe->settled()) {
      fill();
      const bool more = may_read_ahead();
      Session session = Tool::wait_any(more ? window_ : 0);
      if (!session) {
        if (more) continue;  // a place in the window freed: read further ahead
        break;               // nothing under way: cannot happen while the head waits
      }
      auto found = waiting_.find(session);
      if (found == waiting_.end()) continue;
      Probe* probe = found->second;
      waiting_.erase(found);
      probe->answer_arrived();
      watch(*probe);  // a device may go on with another question
    }
    Object object = std::move(head);
    state.ahead.pop_front();
    --held_;
    return object;
  }

  // Releases the pass's result list and criteria, and whatever of it was
  // read ahead and not taken.
  void finish(std::size_t pass) {
    PassState& state = *passes_[pass];
    for (Object& object : state.ahead)
      if (object.probe)
        if (Session session = object.probe->waiting_on()) waiting_.erase(session);
    held_ -= state.ahead.size();
    state.ahead.clear();
    state.release();
    if (filling_ <= pass) filling_ = pass + 1;
  }

 private:
  static constexpr int32_t kCriteriaCapacity = 20;
  static constexpr int32_t kBatch = 10;

  struct PassState {
    Pass pass{};
    bool queried = false;
    RepositorySession::QueryResult result{};
    WV_CRITERIA criteria = nullptr;
    WV_OBJECT_LIST list = nullptr;
    uint32_t fetched = 0;
    bool stopped = false;
    std::deque<Object> ahead;

    void release() {
      if (list != nullptr) ObjectListFree(&list);
      if (criteria != nullptr) ObjectCriteriaFree(&criteria);
      list = nullptr;
      criteria = nullptr;
    }
    bool exhausted() const {
      return queried && (result.outcome != RepositorySession::Query::Found || stopped ||
                         fetched >= result.count);
    }
  };

  void query(PassState& state) {
    state.queried = true;
    state.result =
        query_class_into(session_.repository(), tool_.class_of(state.pass), "name,address",
                         state.criteria, state.list, kCriteriaCapacity, kBatch);
  }

  // Reads the pass's next object and starts its questions.
  void fetch(PassState& state) {
    ++state.fetched;
    Object object(read_ahead(state.list));
    bool ends_run = false;
    if (object.kind == Object::Kind::Object) {
      object.probe = tool_.ask(state.pass, object);
      watch(*object.probe);
      ends_run = tool_.ends_run(*object.probe);
    }
    state.stopped = object.kind != Object::Kind::Object || ends_run;
    if (ends_run) filling_ = passes_.size();
    state.ahead.push_back(std::move(object));
    ++held_;
  }

  // Whether the walk may read one more step ahead, the window aside.
  bool may_read_ahead() const { return held_ < in_flight_ && filling_ < passes_.size(); }

  void watch(Probe& probe) {
    if (Session session = probe.waiting_on()) waiting_[session] = &probe;
  }

  Tool tool_;
  RepositorySession& session_;
  std::size_t window_;
  std::size_t in_flight_;
  std::vector<std::unique_ptr<PassState>> passes_;
  std::size_t filling_ = 0;  // the pass the look-ahead reads from
  std::size_t held_ = 0;     // steps read ahead and not yet taken
  std::unordered_map<Session, Probe*> waiting_;
};

}  // namespace tng
