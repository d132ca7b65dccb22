#include "poller.h"

// The library's configuration comes before its other headers.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/large_fd_set.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "values.h"
#include "wire.h"

namespace tng::snmp {

Poller& Poller::instance() {
  static Poller* const poller = new Poller;
  return *poller;
}

Carrier* Poller::carrier_for(const CarrierSettings& settings) {
  if (last_ != nullptr && last_->has_room() && last_->settings == settings) return last_;
  for (const auto& carrier : shared_)
    if (carrier->has_room() && carrier->settings == settings) return last_ = carrier.get();
  auto carrier = Carrier::open(settings, nullptr);
  if (!carrier) return nullptr;
  shared_.push_back(std::move(carrier));
  return last_ = shared_.back().get();
}

bool Poller::send_shared(Session& session, uint8_t pdu_type, const std::vector<Oid>& names) {
  Carrier* carrier = carrier_for(session.settings_);
  if (carrier == nullptr) return false;
  netsnmp_pdu* pdu = question(pdu_type, names);
  if (!pdu) return false;
  const std::string& community = session.settings_.community;
  pdu->version = session.settings_.version;
  pdu->community = static_cast<u_char*>(std::malloc(community.size() + 1));
  if (pdu->community) {
    std::memcpy(pdu->community, community.c_str(), community.size() + 1);
    pdu->community_len = community.size();
  }
  pdu->reqid = snmp_get_next_reqid();
  pdu->msgid = snmp_get_next_msgid();
  const long id = pdu->reqid;
  auto built = pdu->community ? build_message(carrier->handle, pdu) : std::nullopt;
  snmp_free_pdu(pdu);
  if (!built) return false;
  const Clock::time_point now = Clock::now();
  Pending pending{&session,
                  carrier,
                  *session.agent_,
                  now + std::chrono::microseconds(session.settings_.timeout_us),
                  session.settings_.retries,
                  built->second,
                  std::move(built->first)};
  if (!transmit(carrier->socket, pending.agent, pending.message.get(), pending.length))
    return false;
  due_.push({pending.deadline, id});
  pending_.emplace(id, std::move(pending));
  if (carrier->outstanding++ == 0) busy_.push_back(carrier);
  under_way(session, carrier, id, now);
  return true;
}

void Poller::under_way(Session& session, Carrier* carrier, long request_id, Clock::time_point now) {
  session.carrier_ = carrier;
  session.request_id_ = request_id;
  session.tracked_ = true;
  ++live_;
  fresh_.insert(request_id);
  // An exchange on a carrier of its own stays fresh until it is settled:
  // its socket is a descriptor of its own, so the window bounds how many
  // such devices are in flight.
  if (carrier->shared) sent_order_.emplace_back(now, request_id);
}

void Poller::settled(Session* session) {
  fresh_.erase(session->request_id_);
  session->carrier_ = nullptr;
  untrack(session);
  session->ticket_ = ++last_ticket_;
  unclaimed_.emplace(session->ticket_, session);
  settled_.push_back(session->ticket_);
}

void Poller::forget(Session* session) {
  untrack(session);
  claim(session);
}

void Poller::drop(Session& session) {
  fresh_.erase(session.request_id_);
  Carrier* carrier = session.carrier_;
  session.carrier_ = nullptr;
  if (!carrier->shared) {
    carrier->exchanges.erase(session.request_id_);
    return;
  }
  if (auto found = pending_.find(session.request_id_); found != pending_.end())
    found->second.session = nullptr;
}

void Poller::wait_for(Session& session) {
  while (session.under_way()) step(0);
  claim(&session);
}

Session* Poller::wait_any(std::size_t fresh_below) {
  for (;;) {
    while (!settled_.empty()) {
      const uint64_t ticket = settled_.front();
      settled_.pop_front();
      auto found = unclaimed_.find(ticket);
      if (found == unclaimed_.end()) continue;  // claimed or ended meanwhile
      Session* first = found->second;
      unclaimed_.erase(found);
      first->ticket_ = 0;
      return first;
    }
    if (live_ == 0) return nullptr;
    if (fresh_below > 0 && fresh() < fresh_below) return nullptr;
    step(fresh_below);
  }
}

std::size_t Poller::fresh() {
  age(Clock::now());
  return fresh_.size();
}

void Poller::awaits_engine(Session& session) {
  session.request_id_ = 0;
  session.tracked_ = true;
  ++live_;
}

void Poller::sent_v3(Session& session, Carrier* carrier, long request_id) {
  untrack(&session);
  under_way(session, carrier, request_id, Clock::now());
}

void Poller::stop_watching(Carrier* carrier) { std::erase(busy_, carrier); }

void Poller::sent_on(Carrier* carrier) {
  const auto due = Clock::now() + std::chrono::microseconds(carrier->settings.timeout_us);
  if (carrier->outstanding == 0) {
    carrier->deadline = due;
    // A v3 question may go out from the answer of an engine discovery,
    // on a carrier that this round still watches.
    if (std::find(busy_.begin(), busy_.end(), carrier) == busy_.end()) busy_.push_back(carrier);
  } else {
    carrier->deadline = std::min(carrier->deadline, due);
  }
  ++carrier->outstanding;
}

void Poller::untrack(Session* session) {
  if (!session->tracked_) return;
  session->tracked_ = false;
  --live_;
}

void Poller::claim(Session* session) {
  if (session->ticket_ == 0) return;
  unclaimed_.erase(session->ticket_);
  session->ticket_ = 0;
  if (unclaimed_.empty()) settled_.clear();
}

void Poller::age(Clock::time_point now) {
  while (!sent_order_.empty() && sent_order_.front().first + fresh_for <= now) {
    fresh_.erase(sent_order_.front().second);
    sent_order_.pop_front();
  }
  if (fresh_.empty()) sent_order_.clear();
}

void Poller::settle(std::unordered_map<long, Poller::Pending>::iterator found,
                    const ::snmp_pdu* answer) {
  Session* session = found->second.session;
  --found->second.carrier->outstanding;
  pending_.erase(found);
  if (session == nullptr) return;  // dropped
  if (answer != nullptr && answer->command != SNMP_MSG_REPORT)
    session->reply_ = take_reply(*answer);
  settled(session);
}

void Poller::receive(Carrier* carrier) {
  for (;;) {
    const ssize_t length = ::recv(carrier->socket, inbox_.data(), inbox_.size(), 0);
    if (length < 0) {
      if (errno == EINTR) continue;
      return;
    }
    auto* answer = static_cast<netsnmp_pdu*>(std::calloc(1, sizeof(netsnmp_pdu)));
    if (answer == nullptr) continue;
    if (snmp_parse(static_cast<struct session_list*>(carrier->handle),
                   snmp_sess_session(carrier->handle), answer, inbox_.data(),
                   static_cast<size_t>(length)) == 0 &&
        (answer->command == SNMP_MSG_RESPONSE || answer->command == SNMP_MSG_REPORT)) {
      auto found = pending_.find(answer->reqid);
      if (found != pending_.end() && found->second.carrier == carrier) settle(found, answer);
    }
    snmp_free_pdu(answer);
  }
}

void Poller::expire(Clock::time_point now) {
  while (!due_.empty() && due_.top().at <= now) {
    const Due due = due_.top();
    due_.pop();
    auto found = pending_.find(due.id);
    if (found == pending_.end() || found->second.deadline != due.at) continue;  // settled or resent
    Pending& pending = found->second;
    if (pending.session == nullptr || pending.retries_left == 0) {
      settle(found, nullptr);
      continue;
    }
    --pending.retries_left;
    pending.deadline = now + std::chrono::microseconds(pending.carrier->settings.timeout_us);
    // A resend that cannot go out is as lost as one the network drops:
    // the next time-out resends or gives up.
    (void)transmit(pending.carrier->socket, pending.agent, pending.message.get(), pending.length);
    due_.push({pending.deadline, due.id});
  }
}

void Poller::step(std::size_t fresh_below) {
  using namespace std::chrono;
  const auto now = Clock::now();
  auto first_due = Clock::time_point::max();
  if (!due_.empty()) first_due = due_.top().at;
  if (fresh_below > 0 && !sent_order_.empty())
    first_due = std::min(first_due, sent_order_.front().first + fresh_for);
  polled_.clear();
  for (Carrier* c : busy_) {
    if (!c->shared) first_due = std::min(first_due, c->deadline);
    polled_.push_back({c->socket, POLLIN, 0});
  }
  int wait_ms = 0;
  if (first_due > now)
    wait_ms = static_cast<int>(
        std::min<long long>(ceil<milliseconds>(first_due - now).count(), 3'600'000));
  // A failed wait (a signal) reads nothing; the timers below still run,
  // so every exchange comes to an end.
  const int ready = std::max(::poll(polled_.data(), polled_.size(), wait_ms), 0);

  const std::vector<Carrier*> round(busy_.begin(), busy_.end());
  if (ready > 0) {
    netsnmp_large_fd_set readable;
    netsnmp_large_fd_set_init(&readable, FD_SETSIZE);
    NETSNMP_LARGE_FD_ZERO(&readable);
    for (const pollfd& p : polled_)
      if (p.revents != 0) NETSNMP_LARGE_FD_SET(p.fd, &readable);
    for (std::size_t i = 0; i < round.size(); ++i) {
      if (polled_[i].revents == 0) continue;
      Carrier* c = round[i];
      if (c->shared) {
        receive(c);
        continue;
      }
      // One datagram a read; the socket does not block, so a read of an
      // empty one fails and ends the loop. A bound in any case: each
      // request can be answered once.
      for (int reads = c->outstanding + 1; reads > 0 && c->outstanding > 0; --reads)
        if (snmp_sess_read2(c->handle, &readable) != 0) break;
    }
    netsnmp_large_fd_set_cleanup(&readable);
  }
  const auto after = Clock::now();
  for (Carrier* c : round) {
    if (c->shared || c->outstanding == 0 || c->deadline > after) continue;
    snmp_sess_timeout(c->handle);
    if (c->outstanding > 0) c->refresh_deadline();
  }
  expire(after);
  std::erase_if(busy_, [](const Carrier* c) { return c->outstanding == 0; });
}

}  // namespace tng::snmp
