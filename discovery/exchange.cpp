#include "exchange.h"

namespace orxdetect {
namespace {

// The session's constants, passed unchanged on every open.
constexpr int32_t kOpenA = 2;
constexpr int32_t kOpenB = 8;
constexpr int32_t kOpenC = 0;
constexpr uint16_t kAgentPort = 161;
constexpr int32_t kOpenD = 0;

int session_callback() { return 1; }

}  // namespace

SnmpSession::SnmpSession(const SnmpTarget& target)
    : handle_(TngSnmp_OpenSession(target.community.c_str(), target.address.c_str(), kOpenA, kOpenB,
                                  kOpenC, kAgentPort, session_callback, kOpenD)) {}

SnmpSession::~SnmpSession() {
  if (handle_ != nullptr) (void)TngSnmp_EndSession(handle_);
}

bool SnmpSession::end() {
  const bool ended = TngSnmp_EndSession(handle_) != 0;
  handle_ = nullptr;
  return ended;
}

SnmpRequest::SnmpRequest() : handle_(TngSnmp_CreateRequest(TNG_SNMP_GET_REQUEST)) {}

SnmpRequest::~SnmpRequest() {
  if (handle_ != nullptr) TngSnmp_ReleaseRequest(handle_);
}

bool SnmpRequest::add(std::span<const uint32_t> oid) {
  return TngSnmp_AddBinding(handle_, oid.data(), static_cast<uint32_t>(oid.size())) != 0;
}

bool SnmpRequest::send(const SnmpSession& session) {
  return TngSnmp_Send(session.handle(), handle_) != 0;
}

void SnmpRequest::release() {
  if (handle_ != nullptr) TngSnmp_ReleaseRequest(handle_);
  handle_ = nullptr;
}

Exchange::Exchange(const SnmpTarget& target, std::span<const uint32_t> oid) : session(target) {
  if (!session.open()) return;
  contact = Contact::NotCompleted;
  if (!request.created() || !request.add(oid)) return;
  if (request.send(session)) {
    waiting = true;
    request.release();
  } else {
    contact = Contact::NoResponse;
  }
}

void Exchange::settle() {
  waiting = false;
  response = TngSnmp_Response(session.handle());
  if (response == nullptr)
    contact = Contact::NoResponse;
  else
    contact = response->error_status == 0 ? Contact::Answered : Contact::AnsweredWithError;
}

}  // namespace orxdetect
