// The SNMP Manager API over net-snmp (see platform/snmp_mgr.h).
#include "platform/snmp_mgr.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "handle_table.h"
#include "platform/faults.h"
#include "snmp_core.h"

struct snmp_mgr_session;

namespace {

using tng::snmp::Oid;

thread_local uint32_t last_error = 0;

// Every block this API hands out, so that what a caller never frees is
// freed when the process ends.
class Blocks {
 public:
  ~Blocks() {
    for (void* block : live_) std::free(block);
  }
  void* allocate(std::size_t bytes) {
    void* block = std::calloc(1, bytes ? bytes : 1);
    if (block) live_.insert(block);
    return block;
  }
  void* reallocate(void* block, std::size_t bytes) {
    if (!block) return allocate(bytes);
    void* moved = std::realloc(block, bytes ? bytes : 1);
    if (!moved) return nullptr;
    live_.erase(block);
    live_.insert(moved);
    return moved;
  }
  void free(void* block) {
    if (!block) return;
    live_.erase(block);
    std::free(block);
  }

 private:
  std::unordered_set<void*> live_;
};

Blocks& blocks() {
  static Blocks b;
  return b;
}

bool copy_oid(const uint32_t* ids, std::size_t count, AsnObjectIdentifier& to) {
  to = {};
  if (count == 0) return true;
  auto* copy = static_cast<uint32_t*>(blocks().allocate(count * sizeof(uint32_t)));
  if (!copy) return false;
  std::memcpy(copy, ids, count * sizeof(uint32_t));
  to.ids = copy;
  to.idLength = static_cast<uint32_t>(count);
  return true;
}

void free_oid(AsnObjectIdentifier& oid) {
  blocks().free(oid.ids);
  oid = {};
}

bool holds_stream(uint8_t type) {
  return type == tng::snmp::tag_octet_string || type == tng::snmp::tag_ip_address ||
         type == tng::snmp::tag_opaque || type == 0x03;
}

void free_value(AsnAny& value) {
  if (holds_stream(value.asnType)) blocks().free(value.asnValue.string.stream);
  if (value.asnType == tng::snmp::tag_object_id) free_oid(value.asnValue.object);
  value = {};
  value.asnType = ASN_NULL_TYPE;
}

bool set_value(const tng::snmp::Value& from, AsnAny& to) {
  free_value(to);
  to.asnType = from.tag;
  switch (from.tag) {
    case tng::snmp::tag_integer:
    case tng::snmp::tag_counter:
    case tng::snmp::tag_gauge:
    case tng::snmp::tag_time_ticks:
    case tng::snmp::tag_unsigned:
      to.asnValue.number = static_cast<int32_t>(static_cast<uint32_t>(from.number));
      return true;
    case tng::snmp::tag_counter64:
      to.asnValue.counter64 = from.number;
      return true;
    case tng::snmp::tag_object_id:
      return copy_oid(from.object.data(), from.object.size(), to.asnValue.object);
    default:
      break;
  }
  if (!holds_stream(from.tag)) return true;
  // Kept with a terminating zero, which the length does not count.
  auto* stream = static_cast<uint8_t*>(blocks().allocate(from.bytes.size() + 1));
  if (!stream) {
    to.asnType = ASN_NULL_TYPE;
    return false;
  }
  if (!from.bytes.empty()) std::memcpy(stream, from.bytes.data(), from.bytes.size());
  to.asnValue.string.stream = stream;
  to.asnValue.string.length = static_cast<uint32_t>(from.bytes.size());
  return true;
}

uint32_t open_error_code(tng::snmp::OpenError error) {
  switch (error) {
    case tng::snmp::OpenError::host_not_found:
      return WSAHOST_NOT_FOUND;
    case tng::snmp::OpenError::bad_address:
    case tng::snmp::OpenError::bad_setting:
      return WSAEINVAL;
    default:
      return WSAENETDOWN;
  }
}

struct MgrSession {
  std::unique_ptr<tng::snmp::Session> link;
  int answer_code = 1;  // what a completed request returns (a fault may name another)
};

tng::snmp::HandleTable<MgrSession, LPSNMP_MGR_SESSION>& sessions() {
  static tng::snmp::HandleTable<MgrSession, LPSNMP_MGR_SESSION> table;
  return table;
}

// The handle of each open session's link, to name the session whose
// exchange finished.
std::unordered_map<const tng::snmp::Session*, LPSNMP_MGR_SESSION>& handles() {
  static std::unordered_map<const tng::snmp::Session*, LPSNMP_MGR_SESSION> map;
  return map;
}

// The request's names, or nothing (with the reason in last_error) when the
// call is invalid.
std::optional<std::vector<Oid>> request_names(const SnmpVarBindList* list, uint8_t pdu_type) {
  if (!list || !list->list || list->len == 0 ||
      (pdu_type != SNMP_PDU_GET && pdu_type != SNMP_PDU_GETNEXT)) {
    last_error = SNMP_MGMTAPI_INVALID_CALL;
    return std::nullopt;
  }
  std::vector<Oid> names;
  for (uint32_t i = 0; i < list->len; ++i) {
    const AsnObjectIdentifier& name = list->list[i].name;
    if (name.idLength == 0 || !name.ids || name.idLength > tng::snmp::max_oid_length) {
      last_error = SNMP_MGMTAPI_INVALID_CALL;
      return std::nullopt;
    }
    names.emplace_back(name.ids, name.ids + name.idLength);
  }
  return names;
}

// What a request (waited for or not) checks before it goes out: a fault
// injected into SnmpMgrRequest, the session, the names. Nothing (with the
// reason in last_error) when it does not go out.
struct Outgoing {
  MgrSession* session;
  std::vector<Oid> names;
  int answer_code;  // what an answer makes SnmpMgrRequest return
};

std::optional<Outgoing> begin_request(LPSNMP_MGR_SESSION handle, uint8_t pdu_type,
                                      const SnmpVarBindList* list) {
  auto fault = tng::faults::hit("SnmpMgrRequest");
  if (fault && *fault == 0) {
    last_error = SNMP_MGMTAPI_TIMEOUT;
    return std::nullopt;
  }
  MgrSession* session = sessions().find(handle);
  if (!session) {
    last_error = SNMP_MGMTAPI_INVALID_CALL;
    return std::nullopt;
  }
  auto names = request_names(list, pdu_type);
  if (!names) return std::nullopt;
  return Outgoing{session, std::move(*names), fault ? *fault : 1};
}

// Puts an answer into the caller's list, as SnmpMgrRequest reports it.
void deliver(const tng::snmp::Reply& reply, SnmpVarBindList* list, int32_t* error_status,
             int32_t* error_index) {
  const std::size_t count =
      list && list->list ? std::min<std::size_t>(list->len, reply.bindings.size()) : 0;
  for (std::size_t i = 0; i < count; ++i) {
    SnmpVarBind& entry = list->list[i];
    const tng::snmp::VarBind& answer = reply.bindings[i];
    if (!answer.name.empty() &&
        Oid(entry.name.ids, entry.name.ids + entry.name.idLength) != answer.name) {
      AsnObjectIdentifier renamed;
      if (copy_oid(answer.name.data(), answer.name.size(), renamed)) {
        free_oid(entry.name);
        entry.name = renamed;
      }
    }
    set_value(answer.value, entry.value);
  }
  if (error_status) *error_status = reply.error_status;
  if (error_index) *error_index = reply.error_index;
}

}  // namespace

extern "C" {

int SnmpMgrStrToOid(const char* text, AsnObjectIdentifier* oid) {
  auto fault = tng::faults::hit("SnmpMgrStrToOid");
  if (fault && *fault == 0) return 0;
  if (!text || !oid) return 0;
  auto parsed = tng::snmp::parse_oid(text);
  if (!parsed) return 0;
  AsnObjectIdentifier converted;
  if (!copy_oid(parsed->data(), parsed->size(), converted)) return 0;
  *oid = converted;
  return fault ? *fault : 1;
}

void* SnmpUtilMemAlloc(size_t bytes) {
  if (tng::faults::hit("SnmpUtilMemAlloc")) return nullptr;
  return blocks().allocate(bytes);
}

void* SnmpUtilMemReAlloc(void* memory, size_t bytes) {
  if (tng::faults::hit("SnmpUtilMemReAlloc")) return nullptr;
  return blocks().reallocate(memory, bytes);
}

void SnmpUtilMemFree(void* memory) { blocks().free(memory); }

LPSNMP_MGR_SESSION SnmpMgrOpen(const char* agent, const char* community, int32_t timeout_ms,
                               int32_t retries) {
  if (auto fault = tng::faults::hit("SnmpMgrOpen")) {
    last_error = static_cast<uint32_t>(*fault);
    return nullptr;
  }
  tng::snmp::OpenError error;
  auto session = tng::snmp::Session::open(
      agent ? agent : "", tng::snmp::agent_port, community ? community : "",
      {timeout_ms > 0 ? timeout_ms : 1, retries > 0 ? retries : 0}, error);
  if (!session) {
    last_error = open_error_code(error);
    return nullptr;
  }
  last_error = 0;
  auto entry = std::make_unique<MgrSession>();
  entry->link = std::move(session);
  const tng::snmp::Session* key = entry->link.get();
  LPSNMP_MGR_SESSION handle = sessions().add(std::move(entry));
  handles()[key] = handle;
  return handle;
}

int SnmpMgrRequest(LPSNMP_MGR_SESSION handle, uint8_t pdu_type, SnmpVarBindList* list,
                   int32_t* error_status, int32_t* error_index) {
  auto request = begin_request(handle, pdu_type, list);
  if (!request) return 0;
  // A send and a wait for this one answer, on the machinery every send uses.
  auto reply = request->session->link->request(pdu_type, request->names);
  if (!reply) {
    last_error = SNMP_MGMTAPI_TIMEOUT;
    return 0;
  }
  deliver(*reply, list, error_status, error_index);
  last_error = 0;
  return request->answer_code;
}

int SnmpMgrSend(LPSNMP_MGR_SESSION handle, uint8_t pdu_type, const SnmpVarBindList* list) {
  auto request = begin_request(handle, pdu_type, list);
  if (!request) return 0;
  if (!request->session->link->send(pdu_type, request->names)) {
    last_error = SNMP_MGMTAPI_TIMEOUT;
    return 0;
  }
  request->session->answer_code = request->answer_code;
  last_error = 0;
  return 1;
}

LPSNMP_MGR_SESSION SnmpMgrWaitAny(void) { return SnmpMgrWaitAnyOrRoom(0); }

int SnmpMgrFresh(void) { return static_cast<int>(tng::snmp::fresh()); }

LPSNMP_MGR_SESSION SnmpMgrWaitAnyOrRoom(int fresh_below) {
  const tng::snmp::Session* finished =
      tng::snmp::wait_any(static_cast<std::size_t>(std::max(fresh_below, 0)));
  if (!finished) return nullptr;
  auto it = handles().find(finished);
  return it == handles().end() ? nullptr : it->second;
}

int SnmpMgrCollect(LPSNMP_MGR_SESSION handle, SnmpVarBindList* list, int32_t* error_status,
                   int32_t* error_index) {
  MgrSession* session = sessions().find(handle);
  if (!session || session->link->under_way()) {
    last_error = SNMP_MGMTAPI_INVALID_CALL;
    return 0;
  }
  const auto& reply = session->link->reply();
  if (!reply) {
    last_error = SNMP_MGMTAPI_TIMEOUT;
    return 0;
  }
  deliver(*reply, list, error_status, error_index);
  last_error = 0;
  return session->answer_code;
}

int SnmpMgrWindowSize(int default_window) { return tng::snmp::window_size(default_window, 1); }

int SnmpMgrInFlightLimit(int default_window) {
  return static_cast<int>(tng::snmp::in_flight_limit(default_window, 1));
}

int SnmpMgrCheckCommunity(const char* community) {
  return tng::snmp::community_usable(community ? community : "") ? 1 : 0;
}

void SnmpUtilVarBindListFree(SnmpVarBindList* list) {
  if (tng::faults::hit("SnmpUtilVarBindListFree")) return;
  if (!list) return;
  for (uint32_t i = 0; list->list && i < list->len; ++i) {
    free_oid(list->list[i].name);
    free_value(list->list[i].value);
  }
  blocks().free(list->list);
  list->list = nullptr;
  list->len = 0;
}

int SnmpMgrClose(LPSNMP_MGR_SESSION handle) {
  auto fault = tng::faults::hit("SnmpMgrClose");
  if (fault && *fault == 0) return 0;
  if (MgrSession* session = sessions().find(handle)) handles().erase(session->link.get());
  if (!sessions().remove(handle)) return 0;
  return fault ? *fault : 1;
}

uint32_t GetLastError(void) { return last_error; }

}  // extern "C"
