#include "snmp_core.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <chrono>
#include <memory>
#include <utility>

#include "address.h"
#include "carrier.h"
#include "engine_discovery.h"
#include "poller.h"
#include "settings.h"
#include "usm.h"
#include "values.h"
#include "wire.h"

namespace tng::snmp {

Session::Session(CarrierSettings settings, std::optional<sockaddr_in> agent,
                 std::unique_ptr<Carrier> own)
    : settings_(std::move(settings)), agent_(agent), own_(std::move(own)) {}

std::unique_ptr<Session> Session::open(const std::string& address, uint16_t default_port,
                                       const std::string& community, Timing timing,
                                       OpenError& error) {
  error = OpenError::none;
  const Environment& env = environment();
  if (!env.usable) {
    error = OpenError::bad_setting;
    return nullptr;
  }
  auto target = split_address(address, default_port, error);
  if (!target) return nullptr;
  auto peer = resolve(*target, error);
  if (!peer) return nullptr;

  std::shared_ptr<Security> security;
  if (resolve_community(community, security) == CommunityKind::refused) {
    error = OpenError::bad_setting;
    return nullptr;
  }
  CarrierSettings settings{security ? SNMP_VERSION_3 : env.version, community,
                           static_cast<long>(env.timeout_ms.value_or(timing.timeout_ms)) * 1000L,
                           env.retries.value_or(timing.retries), security};
  std::unique_ptr<Carrier> own;
  if (peer->v4) {
    // A session the library refuses is told now, not at the first send.
    if (Poller::instance().carrier_for(settings) == nullptr) {
      error = OpenError::transport;
      return nullptr;
    }
  } else {
    own = Carrier::open(settings, peer->spec.c_str());
    if (!own) {
      error = OpenError::transport;
      return nullptr;
    }
  }
  std::unique_ptr<Session> session(new Session(std::move(settings), peer->v4, std::move(own)));
  if (security) session->engine_key_ = peer->spec;
  return session;
}

Session::~Session() {
  Poller& poller = Poller::instance();
  if (awaiting_engine_) stop_awaiting_engine(this, engine_key_);
  poller.forget(this);
  if (carrier_ != nullptr) poller.drop(*this);
  if (own_) poller.stop_watching(own_.get());
}

std::optional<Reply> Session::request(uint8_t pdu_type, const std::vector<Oid>& names) {
  if (!send(pdu_type, names)) return std::nullopt;
  Poller::instance().wait_for(*this);
  return reply_;
}

bool Session::send(uint8_t pdu_type, const std::vector<Oid>& names) {
  reply_.reset();
  if (under_way()) return false;
  if (settings_.security) return send_v3(pdu_type, names);
  Poller& poller = Poller::instance();
  if (!own_) return poller.send_shared(*this, pdu_type, names);
  Carrier* carrier = own_.get();
  netsnmp_pdu* pdu = question(pdu_type, names);
  if (!pdu) return false;
  const long request_id = snmp_sess_async_send(carrier->handle, pdu, &Session::on_event, carrier);
  if (request_id == 0) {
    snmp_free_pdu(pdu);  // the library keeps only what it sent
    return false;
  }
  carrier->exchanges.emplace(request_id, this);
  poller.sent_on(carrier);
  poller.under_way(*this, carrier, request_id, std::chrono::steady_clock::now());
  return true;
}

int Session::on_event(int operation, ::snmp_session*, int request_id, ::snmp_pdu* pdu,
                      void* magic) {
  auto* carrier = static_cast<Carrier*>(magic);
  if (carrier->closing) return 1;
  // A resend (or a connection step) is news, not the end of the exchange.
  if (operation == NETSNMP_CALLBACK_OP_RESEND || operation == NETSNMP_CALLBACK_OP_CONNECT) return 1;
  if (carrier->outstanding > 0) --carrier->outstanding;
  auto found = carrier->exchanges.find(request_id);
  if (found == carrier->exchanges.end()) return 1;  // its session ended
  Session* session = found->second;
  carrier->exchanges.erase(found);
  if (operation == NETSNMP_CALLBACK_OP_RECEIVED_MESSAGE && pdu && pdu->command != SNMP_MSG_REPORT)
    session->reply_ = take_reply(*pdu);
  Poller::instance().settled(session);
  return 1;
}

bool community_usable(const std::string& community) {
  std::shared_ptr<Security> security;
  return resolve_community(community, security) != CommunityKind::refused;
}

Session* wait_any(std::size_t fresh_below) { return Poller::instance().wait_any(fresh_below); }

std::size_t fresh() { return Poller::instance().fresh(); }

}  // namespace tng::snmp
