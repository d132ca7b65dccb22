// SNMPv3 with the user-based security model over net-snmp: what a
// credential set becomes once the library can use it, the keys localised
// for each agent engine, and what an agent's refusal means.
//
// The pass phrases of a set are turned into their keys (Ku) when the set is
// first looked up and wiped; the key of each engine (Kul) is made once per
// engine and handed to the library's user table, so that no question costs
// a key localisation.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

struct snmp_session;
struct snmp_pdu;

namespace tng::snmp {

using EngineId = std::vector<uint8_t>;

// One credential set, ready for the library.
struct Security {
  std::string set_name;
  std::string user;
  int level = 0;  // the library's SNMP_SEC_LEVEL_*
  const unsigned long* auth_protocol = nullptr;
  std::size_t auth_protocol_length = 0;
  const unsigned long* priv_protocol = nullptr;
  std::size_t priv_protocol_length = 0;
  std::vector<uint8_t> auth_ku;  // empty below authNoPriv
  std::vector<uint8_t> priv_ku;  // empty below authPriv
  std::set<EngineId> localised;  // the engines whose keys the library holds

  Security() = default;
  Security(const Security&) = delete;
  Security& operator=(const Security&) = delete;
  ~Security();  // wipes the keys
};

enum class CommunityKind { community, credentials, refused };

// What the community answer of a run means, looked up once per process
// (a refusal is reported on stderr the first time). `security` is set for
// a credential set.
CommunityKind resolve_community(const std::string& community, std::shared_ptr<Security>& security);

// The key (Ku) of a pass phrase for an authentication protocol (one of the
// library's usmHMAC*AuthProtocol identifiers); empty when none can be made.
std::vector<uint8_t> key_of_pass_phrase(const unsigned long* auth_protocol, std::size_t length,
                                        std::string_view pass);

// Sets up the parts of the library that SNMPv3 needs (the security module,
// a local engine ID for the user table), once per process, still without
// reading any configuration.
void prepare_usm();

// The v3 fields of a session that carries the set's questions.
void configure_session(::snmp_session& session, const Security& security);

// Makes the set's user known to the library for `engine`, its keys
// localised now unless they were before. False when the library refuses.
bool localise(Security& security, const EngineId& engine);

// The engine ID an engine-discovery answer names.
std::optional<EngineId> discovered_engine(const ::snmp_pdu& answer);

// Why an agent refused a question: a report (unknown user, wrong digest,
// unsupported level, ...) or an authorizationError. Nothing for an answer.
std::optional<std::string> refusal_of(const ::snmp_pdu& answer);

// Says once per run and reason on stderr that agents refuse the set, and
// count as not answering.
void tell_refusal(const Security& security, const std::string& reason, std::string_view agent);

}  // namespace tng::snmp
