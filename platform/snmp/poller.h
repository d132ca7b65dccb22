// The poller: waits on every carrier with exchanges under way, reads the
// answers, resends or gives up what times out, and hands the settled
// exchanges to the sessions in the order they settled.
#pragma once
#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <queue>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "carrier.h"
#include "snmp_core.h"

struct snmp_pdu;

namespace tng::snmp {

// Waits on every carrier with exchanges under way.
class Poller {
 public:
  using Clock = std::chrono::steady_clock;

  // Never destroyed: sessions a caller never ended are closed at exit,
  // after every other static is gone, and still tell the poller. The idle
  // shared carriers stay open until the process ends, for the next
  // exchanges.
  static Poller& instance();

  // A shared carrier with room for one more exchange with the settings,
  // opened when none has room; null when the library refuses a new one.
  Carrier* carrier_for(const CarrierSettings& settings);

  // Sends a session's request on a shared carrier, kept here until its
  // answer or its last time-out. False when it could not be sent.
  bool send_shared(Session& session, uint8_t pdu_type, const std::vector<Oid>& names);

  // Every bookkeeping step is constant time per exchange: a window of
  // thousands of exchanges must not cost a scan of all of them for each
  // answer. A session knows whether it counts among those under way and the
  // ticket of its unclaimed settlement (a ticket whose session was claimed
  // or ended is skipped when its turn comes).
  void under_way(Session& session, Carrier* carrier, long request_id, Clock::time_point now);
  void settled(Session* session);
  void forget(Session* session);

  // The exchange of an ending session is no longer wanted. On a shared
  // carrier it keeps its place until its time-out (its answer may still
  // come) and is never sent again; a session's own carrier ends with it.
  void drop(Session& session);

  // Serves every exchange until the session's own is settled, and claims it.
  void wait_for(Session& session);
  // See snmp::wait_any.
  Session* wait_any(std::size_t fresh_below);
  // See snmp::fresh.
  std::size_t fresh();

  // SNMPv3: a session whose request waits for its agent's engine counts
  // among those under way, with no exchange yet.
  void awaits_engine(Session& session);

  // SNMPv3: the session's request went out on a carrier that leaves it to
  // the library (after its engine was found out, if it waited for it).
  void sent_v3(Session& session, Carrier* carrier, long request_id);

  // Stops watching a session's own carrier as it closes.
  void stop_watching(Carrier* carrier);

  // Starts watching a session's own carrier that has just been given its
  // exchange.
  void sent_on(Carrier* carrier);

 private:
  // A request on a shared carrier, kept until its answer or its last
  // time-out: the message as built, sent again unchanged for each retry,
  // and what it takes to time it. About a hundred bytes and the message
  // (some 50).
  struct Pending {
    Session* session;  // null once dropped: its session ended
    Carrier* carrier;
    sockaddr_in agent;
    Clock::time_point deadline;
    int32_t retries_left;
    uint32_t length;
    std::unique_ptr<unsigned char[]> message;
  };

  // When a pending request is next due: resent or given up.
  struct Due {
    Clock::time_point at;
    long id;
    bool operator>(const Due& other) const { return at > other.at; }
  };

  Poller() = default;

  void untrack(Session* session);
  void claim(Session* session);
  // Exchanges sent `fresh_for` ago or longer are no longer fresh.
  void age(Clock::time_point now);
  // A pending request is answered (`answer`) or has run out of retries.
  void settle(std::unordered_map<long, Pending>::iterator found, const ::snmp_pdu* answer);
  // Reads every datagram already on a shared carrier's socket and settles
  // the requests they answer. A datagram that answers no pending request of
  // this carrier (a late or a foreign one) is read and ignored.
  void receive(Carrier* carrier);
  // Resends or gives up the pending requests whose time-outs are due.
  void expire(Clock::time_point now);
  // One round: wait until a socket is readable, a timer is due or (when
  // the caller waits for fewer than `fresh_below` fresh exchanges) the
  // oldest fresh exchange stops being fresh; read every answer already
  // there, and only then let the due timers resend or give up, so that an
  // answer that arrived while the tool was busy elsewhere counts.
  void step(std::size_t fresh_below);

  std::vector<std::unique_ptr<Carrier>> shared_;
  Carrier* last_ = nullptr;       // the shared carrier the latest exchange went on
  std::vector<Carrier*> busy_;    // carriers holding requests, shared or not
  std::size_t live_ = 0;          // the sessions under way
  std::deque<uint64_t> settled_;  // tickets, in the order the exchanges settled
  std::unordered_map<uint64_t, Session*> unclaimed_;
  uint64_t last_ticket_ = 0;
  std::vector<pollfd> polled_;
  // The shared carriers' requests, by request id, and their time-outs,
  // soonest first (an entry whose request was answered or resent since is
  // skipped when its turn comes).
  std::unordered_map<long, Pending> pending_;
  std::priority_queue<Due, std::vector<Due>, std::greater<>> due_;
  // The fresh exchanges by request id, and every exchange in the order it
  // was sent, until it is no longer fresh.
  std::unordered_set<long> fresh_;
  std::deque<std::pair<Clock::time_point, long>> sent_order_;
  std::vector<unsigned char> inbox_ = std::vector<unsigned char>(65536);
};

}  // namespace tng::snmp
