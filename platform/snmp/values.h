// The values of an answer as the library hands them over, turned into this
// layer's Reply: each binding's name and value, and an exception value of
// v2c counted as error status noSuchName.
#pragma once
#include "snmp_core.h"

struct snmp_pdu;

namespace tng::snmp {

Reply take_reply(const ::snmp_pdu& answer);

}  // namespace tng::snmp
