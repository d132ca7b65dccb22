// snmp-driver: one GET through either SNMP interface, printing every step's
// result on standard output, so that the tests can compare it.
//
//   snmp-driver mgr AGENT COMMUNITY OID...   SNMP Manager API (4000 ms, 3 retries)
//   snmp-driver tng AGENT COMMUNITY OID...   the framework's library (ordinals)
//
// OIDs are numeric texts (".1.3.6.1..."). Exit code 0 when every step ran,
// 1 when one failed, 2 for a bad command line.
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "oid_text.h"
#include "platform/snmp_mgr.h"
#include "platform/tng_snmp.h"

namespace {

void print_value(uint8_t type, const void* value, uint32_t length) {
  std::printf("type 0x%02x", type);
  if (!value) {
    std::printf(" no value\n");
    return;
  }
  const auto* bytes = static_cast<const uint8_t*>(value);
  switch (type) {
    case 0x02:
      std::printf(" %d\n", *static_cast<const int32_t*>(value));
      return;
    case 0x41:
    case 0x42:
    case 0x43:
    case 0x47:
      std::printf(" %u\n", *static_cast<const uint32_t*>(value));
      return;
    case 0x46:
      std::printf(" %llu\n", static_cast<unsigned long long>(*static_cast<const uint64_t*>(value)));
      return;
    case 0x40:
      if (length == 4) {
        std::printf(" %u.%u.%u.%u\n", bytes[0], bytes[1], bytes[2], bytes[3]);
        return;
      }
      break;
    case 0x06: {
      const auto* ids = static_cast<const uint32_t*>(value);
      std::printf(" %s\n", tng::snmp::format_oid(tng::snmp::Oid(ids, ids + length / 4)).c_str());
      return;
    }
    default:
      break;
  }
  // Texts and other octets: printable bytes as they are, others in hex; the
  // terminating zero the interfaces promise is checked too.
  std::printf(" \"");
  for (uint32_t i = 0; i < length; ++i) {
    if (bytes[i] >= 0x20 && bytes[i] < 0x7f)
      std::putchar(bytes[i]);
    else
      std::printf("\\x%02x", bytes[i]);
  }
  std::printf("\"%s\n", bytes[length] == 0 ? "" : " (not terminated)");
}

int run_mgr(const char* agent, const char* community, const std::vector<const char*>& oids) {
  SnmpVarBindList list{};
  list.list =
      static_cast<SnmpVarBind*>(SnmpUtilMemReAlloc(nullptr, oids.size() * sizeof(SnmpVarBind)));
  if (!list.list) {
    std::printf("no memory for the list\n");
    return 1;
  }
  list.len = static_cast<uint32_t>(oids.size());
  for (std::size_t i = 0; i < oids.size(); ++i) {
    if (!SnmpMgrStrToOid(oids[i], &list.list[i].name)) {
      std::printf("cannot convert %s\n", oids[i]);
      SnmpUtilVarBindListFree(&list);
      return 1;
    }
    list.list[i].value.asnType = ASN_NULL_TYPE;
  }
  LPSNMP_MGR_SESSION session = SnmpMgrOpen(agent, community, 4000, 3);
  if (!session) {
    std::printf("open failed, error %u\n", GetLastError());
    SnmpUtilVarBindListFree(&list);
    return 1;
  }
  int32_t status = -1, index = -1;
  int rc = 0;
  if (!SnmpMgrRequest(session, SNMP_PDU_GET, &list, &status, &index)) {
    std::printf("request not completed, error %u\n", GetLastError());
    rc = 1;
  } else {
    std::printf("error status %d index %d\n", status, index);
    for (uint32_t i = 0; i < list.len; ++i) {
      const SnmpVarBind& entry = list.list[i];
      std::vector<uint32_t> name(entry.name.ids, entry.name.ids + entry.name.idLength);
      std::printf("%s ", tng::snmp::format_oid(name).c_str());
      const AsnAny& v = entry.value;
      switch (v.asnType) {
        case 0x04:
        case 0x40:
        case 0x44:
          print_value(v.asnType, v.asnValue.string.stream, v.asnValue.string.length);
          break;
        case 0x06:
          print_value(v.asnType, v.asnValue.object.ids, v.asnValue.object.idLength * 4);
          break;
        case 0x46:
          print_value(v.asnType, &v.asnValue.counter64, 8);
          break;
        case 0x02:
        case 0x41:
        case 0x42:
        case 0x43:
        case 0x47:
          print_value(v.asnType, &v.asnValue.number, 4);
          break;
        default:
          print_value(v.asnType, nullptr, 0);
          break;
      }
    }
  }
  SnmpUtilVarBindListFree(&list);
  if (!SnmpMgrClose(session)) {
    std::printf("close failed\n");
    rc = 1;
  }
  return rc;
}

int one_always() { return 1; }

int run_tng(const char* agent, const char* community, const std::vector<const char*>& oids) {
  TNG_SNMP_SESSION session = TngSnmp_OpenSession(community, agent, 2, 8, 0, 161, one_always, 0);
  if (!session) {
    std::printf("open failed\n");
    return 1;
  }
  int rc = 0;
  TNG_SNMP_REQUEST request = TngSnmp_CreateRequest(TNG_SNMP_GET_REQUEST);
  if (!request) {
    std::printf("create failed\n");
    rc = 1;
  }
  for (const char* text : oids) {
    if (!request) break;
    auto oid = tng::snmp::parse_oid(text);
    if (!oid || !TngSnmp_AddBinding(request, oid->data(), static_cast<uint32_t>(oid->size()))) {
      std::printf("binding of %s not added\n", text);
      TngSnmp_ReleaseRequest(request);
      request = nullptr;
      rc = 1;
    }
  }
  if (request) {
    const TNG_SNMP_RESPONSE* response = TngSnmp_SendAndWait(session, request);
    if (!response) {
      std::printf("no response\n");
      rc = 1;
    } else {
      std::printf("error status %d index %d\n", response->error_status, response->error_index);
      for (const TNG_SNMP_BINDING* b = response->first; b; b = b->next) {
        std::printf("%s ",
                    tng::snmp::format_oid(tng::snmp::Oid(b->oid, b->oid + b->oid_count)).c_str());
        print_value(b->value_type, b->value, b->value_length);
      }
    }
    // A request that was sent goes with its session; releasing it as well
    // must do no harm.
    TngSnmp_ReleaseRequest(request);
  }
  if (!TngSnmp_EndSession(session)) {
    std::printf("end failed\n");
    rc = 1;
  }
  return rc;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (std::strcmp(argv[1], "mgr") != 0 && std::strcmp(argv[1], "tng") != 0)) {
    std::fprintf(stderr, "usage: snmp-driver mgr|tng AGENT COMMUNITY OID...\n");
    return 2;
  }
  std::vector<const char*> oids(argv + 4, argv + argc);
  return std::strcmp(argv[1], "mgr") == 0 ? run_mgr(argv[2], argv[3], oids)
                                          : run_tng(argv[2], argv[3], oids);
}
