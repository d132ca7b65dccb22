// SNMPv3 engine discovery. Every request names its agent's engine. The
// engine of an agent is found out once per run (the library's own discovery
// would block and ask the shared socket's address): the first session that
// asks the agent sends a discovery request, those that come meanwhile wait
// with it, and all of them go once the agent's report names its engine. A
// discovery that gets no answer settles its waiting sessions unanswered,
// like a question that gets none, and the next question to the agent tries
// again. (The Session's v3 members are defined in engine_discovery.cpp.)
#pragma once
#include <string>

#include "snmp_core.h"

namespace tng::snmp {

// A session that waits for the engine of `agent` (its peer name) ends: the
// discovery no longer sends its request.
void stop_awaiting_engine(Session* session, const std::string& agent);

}  // namespace tng::snmp
