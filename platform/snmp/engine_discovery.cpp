#include "engine_discovery.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "carrier.h"
#include "poller.h"
#include "usm.h"
#include "values.h"
#include "wire.h"

namespace tng::snmp {
namespace {

struct AgentEngine {
  enum class State { unknown, discovering, known };
  State state = State::unknown;
  EngineId id;
  std::vector<Session*> waiting;
};

// By the agent's peer name. Never destroyed: sessions a caller never ended
// end after every other static.
std::unordered_map<std::string, AgentEngine>& agent_engines() {
  static auto* const engines = new std::unordered_map<std::string, AgentEngine>;
  return *engines;
}

// What the library hands back with each event of a v3 request. An agent
// that cannot read a request (an unknown user, a wrong key) reports with
// no request id, so the exchange is found through its ticket.
struct V3Ticket {
  Carrier* carrier;
  bool discovery;  // an engine discovery, else a question
  std::string agent;
  std::shared_ptr<Security> security;
  long request_id = 0;
  bool sent = false;  // the library holds the request; its last event frees the ticket
};

// The agent as a refusal names it: its peer name without the transport.
std::string_view agent_text(std::string_view peer) {
  const auto colon = peer.find(':');
  return colon == std::string_view::npos ? peer : peer.substr(colon + 1);
}

// Sends `pdu` on the carrier with a ticket; the request id, or 0 when it
// could not be sent (the pdu is freed then).
long send_with_ticket(Carrier* carrier, netsnmp_pdu* pdu, std::unique_ptr<V3Ticket> ticket,
                      int (*callback)(int, ::snmp_session*, int, ::snmp_pdu*, void*)) {
  const long request_id = snmp_sess_async_send(carrier->handle, pdu, callback, ticket.get());
  if (request_id == 0) {
    snmp_free_pdu(pdu);
    return 0;
  }
  ticket->request_id = request_id;
  ticket->sent = true;
  // The poller owns the ticket from here: it frees it with the answer.
  static_cast<void>(ticket.release());
  Poller::instance().sent_on(carrier);
  return request_id;
}

}  // namespace

void stop_awaiting_engine(Session* session, const std::string& agent) {
  auto found = agent_engines().find(agent);
  if (found != agent_engines().end()) std::erase(found->second.waiting, session);
}

bool Session::send_v3(uint8_t pdu_type, const std::vector<Oid>& names) {
  pending_type_ = pdu_type;
  pending_names_ = names;
  AgentEngine& engine = agent_engines()[engine_key_];
  if (engine.state == AgentEngine::State::known) return dispatch_v3();
  if (engine.state == AgentEngine::State::unknown) {
    Poller& poller = Poller::instance();
    Carrier* carrier = own_ ? own_.get() : poller.carrier_for(settings_);
    if (carrier == nullptr) return false;
    // An unauthenticated request without bindings: the agent reports its
    // engine ID (and its boots and time, which the library keeps).
    netsnmp_pdu* pdu = snmp_pdu_create(SNMP_MSG_GET);
    if (!pdu) return false;
    // The empty user name: the agent's report names no user either, and
    // the library reads it through its empty user.
    pdu->securityLevel = SNMP_SEC_LEVEL_NOAUTH;
    pdu->securityName = strdup("");
    pdu->securityNameLen = 0;
    if (!pdu->securityName || !address_request(pdu, agent_)) {
      snmp_free_pdu(pdu);
      return false;
    }
    auto ticket =
        std::make_unique<V3Ticket>(V3Ticket{carrier, true, engine_key_, settings_.security});
    if (send_with_ticket(carrier, pdu, std::move(ticket), &Session::on_v3_event) == 0) return false;
    engine.state = AgentEngine::State::discovering;
  }
  engine.waiting.push_back(this);
  awaiting_engine_ = true;
  Poller::instance().awaits_engine(*this);
  return true;
}

bool Session::dispatch_v3() {
  const AgentEngine& engine = agent_engines()[engine_key_];
  const std::vector<Oid> names = std::move(pending_names_);
  pending_names_.clear();
  Poller& poller = Poller::instance();
  Carrier* carrier = own_ ? own_.get() : poller.carrier_for(settings_);
  if (carrier == nullptr || !localise(*settings_.security, engine.id)) return false;
  netsnmp_pdu* pdu = question(pending_type_, names);
  if (!pdu) return false;
  const auto copy = [&engine](u_char*& to, size_t& length) {
    to = static_cast<u_char*>(netsnmp_memdup(engine.id.data(), engine.id.size()));
    length = to ? engine.id.size() : 0;
    return to != nullptr;
  };
  if (!copy(pdu->securityEngineID, pdu->securityEngineIDLen) ||
      !copy(pdu->contextEngineID, pdu->contextEngineIDLen) || !address_request(pdu, agent_)) {
    snmp_free_pdu(pdu);
    return false;
  }
  auto ticket =
      std::make_unique<V3Ticket>(V3Ticket{carrier, false, engine_key_, settings_.security});
  const long request_id = send_with_ticket(carrier, pdu, std::move(ticket), &Session::on_v3_event);
  if (request_id == 0) return false;
  carrier->exchanges.emplace(request_id, this);
  poller.sent_v3(*this, carrier, request_id);
  return true;
}

int Session::on_v3_event(int operation, ::snmp_session*, int, ::snmp_pdu* pdu, void* magic) {
  auto* ticket = static_cast<V3Ticket*>(magic);
  // A resend, a connection step or the security error that comes before
  // the report that carries it is news, not the end of the request.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT ||
      operation == NETSNMP_CALLBACK_OP_SEC_ERROR)
    return 1;
  if (!ticket->sent) return 1;  // a send that failed: its sender still owns the ticket
  const std::unique_ptr<V3Ticket> owner(ticket);
  Carrier* carrier = ticket->carrier;
  const bool received = operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu != nullptr;
  if (!carrier->closing && carrier->outstanding > 0) --carrier->outstanding;
  if (ticket->discovery) {
    discovery_ended(ticket->agent, received && !carrier->closing ? pdu : nullptr, carrier->closing);
    return 1;
  }
  if (carrier->closing) return 1;
  auto found = carrier->exchanges.find(ticket->request_id);
  if (found == carrier->exchanges.end()) return 1;  // its session ended
  Session* session = found->second;
  carrier->exchanges.erase(found);
  const Security& security = *ticket->security;
  if (received) {
    if (auto refusal = refusal_of(*pdu))
      tell_refusal(security, *refusal, agent_text(ticket->agent));
    else
      session->reply_ = take_reply(*pdu);
  } else if (operation == NETSNMP_CALLBACK_OP_TIMED_OUT &&
             security.level == SNMP_SEC_LEVEL_AUTHPRIV) {
    // An agent that cannot decrypt a question may drop it without a word.
    tell_refusal(security,
                 "it answers engine discovery but not the question, as when it cannot decrypt "
                 "it (keys 'priv', 'priv_pass')",
                 agent_text(ticket->agent));
  }
  session->carrier_ = nullptr;
  Poller::instance().settled(session);
  return 1;
}

void Session::discovery_ended(const std::string& agent, const ::snmp_pdu* answer, bool closing) {
  AgentEngine& engine = agent_engines()[agent];
  const std::vector<Session*> waiting = std::move(engine.waiting);
  engine.waiting.clear();
  const std::optional<EngineId> id = answer ? discovered_engine(*answer) : std::nullopt;
  if (id) {
    engine.state = AgentEngine::State::known;
    engine.id = *id;
  } else {
    engine.state = AgentEngine::State::unknown;
  }
  Poller& poller = Poller::instance();
  for (Session* session : waiting) {
    session->awaiting_engine_ = false;
    // A carrier that is closing takes nothing new.
    if (id && !closing && session->dispatch_v3()) continue;
    session->pending_names_.clear();
    poller.settled(session);
  }
}

}  // namespace tng::snmp
