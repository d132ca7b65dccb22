// The framework's SNMP library over net-snmp (see platform/tng_snmp.h).
#include "platform/tng_snmp.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "handle_table.h"
#include "platform/faults.h"
#include "snmp_core.h"

struct tng_snmp_session;
struct tng_snmp_request;

namespace {

using tng::snmp::Oid;

constexpr tng::snmp::Timing session_timing{2000, 2};

// The fault name of the function known by `ordinal`: "TNG_SNMP_" and the
// three digits of the ordinal.
struct FaultName {
  std::array<char, 12> text;
  constexpr operator std::string_view() const { return {text.data(), text.size()}; }
};

constexpr FaultName fault_name(int ordinal) {
  return {{'T', 'N', 'G', '_', 'S', 'N', 'M', 'P', '_', static_cast<char>('0' + ordinal / 100),
           static_cast<char>('0' + ordinal / 10 % 10), static_cast<char>('0' + ordinal % 10)}};
}

// Every fault name made here is one the fault-injection contract knows.
constexpr bool known_fault(std::string_view name) {
  constexpr std::string_view known[] = {
#define TNG_FAULT(name) #name,
#include "platform/snmp_faults.def"
#undef TNG_FAULT
  };
  return std::find(std::begin(known), std::end(known), name) != std::end(known);
}

constexpr FaultName kOpenSessionFault = fault_name(TNG_SNMP_ORDINAL_OPEN_SESSION);
constexpr FaultName kCreateRequestFault = fault_name(TNG_SNMP_ORDINAL_CREATE_REQUEST);
constexpr FaultName kAddBindingFault = fault_name(TNG_SNMP_ORDINAL_ADD_BINDING);
constexpr FaultName kSendAndWaitFault = fault_name(TNG_SNMP_ORDINAL_SEND_AND_WAIT);
constexpr FaultName kReleaseRequestFault = fault_name(TNG_SNMP_ORDINAL_RELEASE_REQUEST);
constexpr FaultName kEndSessionFault = fault_name(TNG_SNMP_ORDINAL_END_SESSION);
static_assert(known_fault(kOpenSessionFault) && known_fault(kCreateRequestFault) &&
              known_fault(kAddBindingFault) && known_fault(kSendAndWaitFault) &&
              known_fault(kReleaseRequestFault) && known_fault(kEndSessionFault));

// One answer as the caller reads it: the record, its bindings and the bytes
// their values point to.
struct StoredBinding {
  TNG_SNMP_BINDING binding{};
  Oid name;
  int32_t integer = 0;
  uint64_t counter64 = 0;
  std::vector<uint8_t> bytes;  // texts with a terminating zero
  std::vector<uint32_t> object;
};

struct StoredResponse {
  TNG_SNMP_RESPONSE response{};
  std::vector<std::unique_ptr<StoredBinding>> bindings;
};

struct Session {
  std::unique_ptr<tng::snmp::Session> link;
  std::unique_ptr<StoredResponse> last;  // the answer to the latest send
  // The requests sent on this session, released when it ends (unless sent
  // on another session since): ending a session costs its own requests,
  // not a scan of every request of the process.
  std::vector<TNG_SNMP_REQUEST> sent;
};

struct Request {
  uint8_t pdu_type = 0;
  std::vector<Oid> names;
  TNG_SNMP_SESSION sent_on = nullptr;
};

tng::snmp::HandleTable<Session, TNG_SNMP_SESSION>& sessions() {
  static tng::snmp::HandleTable<Session, TNG_SNMP_SESSION> table;
  return table;
}

// The handle of each open session's link, to name the session whose
// exchange finished.
std::unordered_map<const tng::snmp::Session*, TNG_SNMP_SESSION>& handles() {
  static std::unordered_map<const tng::snmp::Session*, TNG_SNMP_SESSION> map;
  return map;
}

tng::snmp::HandleTable<Request, TNG_SNMP_REQUEST>& requests() {
  static tng::snmp::HandleTable<Request, TNG_SNMP_REQUEST> table;
  return table;
}

// Marks the request as sent on the session.
void mark_sent(Session& session, TNG_SNMP_SESSION session_handle, Request& request,
               TNG_SNMP_REQUEST request_handle) {
  if (request.sent_on != session_handle) session.sent.push_back(request_handle);
  request.sent_on = session_handle;
}

std::unique_ptr<StoredBinding> store(const tng::snmp::VarBind& from) {
  auto to = std::make_unique<StoredBinding>();
  to->name = from.name;
  const tng::snmp::Value& v = from.value;
  TNG_SNMP_BINDING& b = to->binding;
  b.value_type = v.tag;
  switch (v.tag) {
    case tng::snmp::tag_integer:
    case tng::snmp::tag_counter:
    case tng::snmp::tag_gauge:
    case tng::snmp::tag_time_ticks:
    case tng::snmp::tag_unsigned:
      to->integer = static_cast<int32_t>(static_cast<uint32_t>(v.number));
      b.value = &to->integer;
      b.value_length = sizeof to->integer;
      break;
    case tng::snmp::tag_counter64:
      to->counter64 = v.number;
      b.value = &to->counter64;
      b.value_length = sizeof to->counter64;
      break;
    case tng::snmp::tag_octet_string:
    case tng::snmp::tag_ip_address:
    case tng::snmp::tag_opaque:
    case 0x03:  // bit string
      to->bytes = v.bytes;
      to->bytes.push_back(0);
      b.value = to->bytes.data();
      b.value_length = static_cast<uint32_t>(v.bytes.size());
      break;
    case tng::snmp::tag_object_id:
      to->object = v.object;
      b.value = to->object.data();
      b.value_length = static_cast<uint32_t>(to->object.size() * sizeof(uint32_t));
      break;
    default:
      break;  // no value
  }
  b.oid = to->name.data();
  b.oid_count = static_cast<uint32_t>(to->name.size());
  return to;
}

std::unique_ptr<StoredResponse> store(const tng::snmp::Reply& reply) {
  auto stored = std::make_unique<StoredResponse>();
  stored->response.error_status = reply.error_status;
  stored->response.error_index = reply.error_index;
  for (const auto& binding : reply.bindings) stored->bindings.push_back(store(binding));
  for (std::size_t i = 0; i + 1 < stored->bindings.size(); ++i)
    stored->bindings[i]->binding.next = &stored->bindings[i + 1]->binding;
  if (!stored->bindings.empty()) stored->response.first = &stored->bindings.front()->binding;
  return stored;
}

}  // namespace

extern "C" {

TNG_SNMP_SESSION TngSnmp_OpenSession(const char* community, const char* address, int32_t, int32_t,
                                     int32_t, uint16_t port, TNG_SNMP_CALLBACK, int32_t) {
  if (tng::faults::hit(kOpenSessionFault)) return nullptr;
  tng::snmp::OpenError error;
  auto link = tng::snmp::Session::open(address ? address : "", port ? port : tng::snmp::agent_port,
                                       community ? community : "", session_timing, error);
  if (!link) return nullptr;
  auto session = std::make_unique<Session>();
  session->link = std::move(link);
  const tng::snmp::Session* key = session->link.get();
  TNG_SNMP_SESSION handle = sessions().add(std::move(session));
  handles()[key] = handle;
  return handle;
}

TNG_SNMP_REQUEST TngSnmp_CreateRequest(int32_t pdu_type) {
  if (tng::faults::hit(kCreateRequestFault)) return nullptr;
  if (pdu_type != TNG_SNMP_GET_REQUEST && pdu_type != TNG_SNMP_GET_NEXT_REQUEST) return nullptr;
  auto request = std::make_unique<Request>();
  request->pdu_type = static_cast<uint8_t>(pdu_type);
  return requests().add(std::move(request));
}

int32_t TngSnmp_AddBinding(TNG_SNMP_REQUEST handle, const uint32_t* oid, uint32_t count) {
  auto fault = tng::faults::hit(kAddBindingFault);
  if (fault && *fault == 0) return 0;
  Request* request = requests().find(handle);
  if (!request || !oid || count == 0 || count > tng::snmp::max_oid_length) return 0;
  request->names.emplace_back(oid, oid + count);
  return fault ? *fault : 1;
}

const TNG_SNMP_RESPONSE* TngSnmp_SendAndWait(TNG_SNMP_SESSION session_handle,
                                             TNG_SNMP_REQUEST request_handle) {
  if (tng::faults::hit(kSendAndWaitFault)) return nullptr;
  Session* session = sessions().find(session_handle);
  Request* request = requests().find(request_handle);
  if (!session || !request || request->names.empty()) return nullptr;
  mark_sent(*session, session_handle, *request, request_handle);
  session->last.reset();
  auto reply = session->link->request(request->pdu_type, request->names);
  if (!reply) return nullptr;
  session->last = store(*reply);
  return &session->last->response;
}

int32_t TngSnmp_Send(TNG_SNMP_SESSION session_handle, TNG_SNMP_REQUEST request_handle) {
  if (tng::faults::hit(kSendAndWaitFault)) return 0;
  Session* session = sessions().find(session_handle);
  Request* request = requests().find(request_handle);
  if (!session || !request || request->names.empty()) return 0;
  mark_sent(*session, session_handle, *request, request_handle);
  session->last.reset();
  return session->link->send(request->pdu_type, request->names) ? 1 : 0;
}

TNG_SNMP_SESSION TngSnmp_WaitAny(void) { return TngSnmp_WaitAnyOrRoom(0); }

TNG_SNMP_SESSION TngSnmp_WaitAnyOrRoom(int32_t fresh_below) {
  const tng::snmp::Session* finished =
      tng::snmp::wait_any(static_cast<std::size_t>(std::max<int32_t>(fresh_below, 0)));
  if (!finished) return nullptr;
  auto it = handles().find(finished);
  return it == handles().end() ? nullptr : it->second;
}

int32_t TngSnmp_Fresh(void) { return static_cast<int32_t>(tng::snmp::fresh()); }

const TNG_SNMP_RESPONSE* TngSnmp_Response(TNG_SNMP_SESSION handle) {
  Session* session = sessions().find(handle);
  if (!session || session->link->under_way()) return nullptr;
  if (!session->last) {
    const auto& reply = session->link->reply();
    if (!reply) return nullptr;
    session->last = store(*reply);
  }
  return &session->last->response;
}

int32_t TngSnmp_WindowSize(int32_t default_window, int32_t sessions_per_device) {
  return tng::snmp::window_size(default_window, sessions_per_device);
}

int32_t TngSnmp_InFlightLimit(int32_t default_window, int32_t sessions_per_device) {
  return static_cast<int32_t>(tng::snmp::in_flight_limit(default_window, sessions_per_device));
}

int32_t TngSnmp_CheckCommunity(const char* community) {
  return tng::snmp::community_usable(community ? community : "") ? 1 : 0;
}

void TngSnmp_ReleaseRequest(TNG_SNMP_REQUEST handle) {
  if (tng::faults::hit(kReleaseRequestFault)) return;
  requests().remove(handle);
}

int32_t TngSnmp_EndSession(TNG_SNMP_SESSION handle) {
  auto fault = tng::faults::hit(kEndSessionFault);
  if (fault && *fault == 0) return 0;
  Session* session = sessions().find(handle);
  if (!session) return 0;
  handles().erase(session->link.get());
  const std::vector<TNG_SNMP_REQUEST> sent = std::move(session->sent);
  sessions().remove(handle);
  for (TNG_SNMP_REQUEST request_handle : sent)
    if (const Request* request = requests().find(request_handle);
        request && request->sent_on == handle)
      requests().remove(request_handle);
  return fault ? *fault : 1;
}

}  // extern "C"
