#include "values.h"

#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

namespace tng::snmp {
namespace {

Value take_value(const netsnmp_variable_list& v) {
  Value value;
  value.tag = v.type;
  switch (v.type) {
    case ASN_INTEGER:
      value.number = static_cast<uint64_t>(static_cast<int64_t>(*v.val.integer));
      break;
    case ASN_COUNTER:
    case ASN_GAUGE:
    case ASN_TIMETICKS:
    case ASN_UINTEGER:
      value.number = static_cast<uint32_t>(*v.val.integer);
      break;
    case ASN_COUNTER64:
      value.number = (static_cast<uint64_t>(v.val.counter64->high) << 32) | v.val.counter64->low;
      break;
    case ASN_OCTET_STR:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
    case ASN_BIT_STR:
      if (v.val.string) value.bytes.assign(v.val.string, v.val.string + v.val_len);
      break;
    case ASN_OBJECT_ID:
      if (v.val.objid) value.object.assign(v.val.objid, v.val.objid + v.val_len / sizeof(oid));
      break;
    default:
      break;  // null and the exception values carry nothing
  }
  return value;
}

bool is_exception(uint8_t tag) {
  return tag == tag_no_such_object || tag == tag_no_such_instance || tag == tag_end_of_mib_view;
}

}  // namespace

Reply take_reply(const ::snmp_pdu& answer) {
  Reply reply;
  reply.error_status = static_cast<int32_t>(answer.errstat);
  reply.error_index = static_cast<int32_t>(answer.errindex);
  int32_t index = 0;
  for (const netsnmp_variable_list* v = answer.variables; v; v = v->next_variable) {
    ++index;
    VarBind binding;
    binding.name.assign(v->name, v->name + v->name_length);
    binding.value = take_value(*v);
    if (reply.error_status == 0 && is_exception(binding.value.tag)) {
      reply.error_status = error_no_such_name;
      reply.error_index = index;
    }
    reply.bindings.push_back(std::move(binding));
  }
  return reply;
}

}  // namespace tng::snmp
