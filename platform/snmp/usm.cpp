#include "usm.h"

// The library's configuration comes before its other headers.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/keytools.h>
#include <net-snmp/library/snmpusm.h>
#include <net-snmp/library/snmpv3.h>
#include <net-snmp/library/transform_oids.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <map>
#include <type_traits>

#include <openssl/evp.h>

#include "credentials.h"
#include "platform/diag.h"

static_assert(std::is_same_v<oid, unsigned long>, "identifiers are unsigned long");

namespace tng::snmp {
namespace {

struct Resolved {
  CommunityKind kind;
  std::shared_ptr<Security> security;
};

// The hash that makes the keys of an authentication protocol.
const EVP_MD* key_hash(const unsigned long* protocol, std::size_t length) {
  const auto is = [&](const auto& known) {
    return length == std::size(known) && std::equal(known, known + length, protocol);
  };
  if (is(usmHMACSHA1AuthProtocol)) return EVP_sha1();
  if (is(usmHMAC192SHA256AuthProtocol)) return EVP_sha256();
  if (is(usmHMAC384SHA512AuthProtocol)) return EVP_sha512();
  return nullptr;
}

}  // namespace

// The hash of the first megabyte of the pass phrase repeated without end.
// The library's own derivation hands the hash 64 bytes at a time, which at
// SHA-512 costs 3.3 ms a key (a run makes two); here the hash takes a run
// of whole pass phrases of some 64 KiB at a time, 1.25 ms a key. The run of
// pass phrases is wiped.
std::vector<uint8_t> key_of_pass_phrase(const unsigned long* auth_protocol, std::size_t length,
                                        std::string_view pass) {
  constexpr std::size_t total = 1048576;  // bytes of repeated pass phrase hashed
  const EVP_MD* hash = key_hash(auth_protocol, length);
  if (hash == nullptr || pass.empty()) return {};
  const std::size_t copies = (65536 + pass.size() - 1) / pass.size();
  std::vector<uint8_t> run(copies * pass.size());
  for (std::size_t i = 0; i < copies; ++i)
    std::memcpy(run.data() + i * pass.size(), pass.data(), pass.size());
  std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                  &EVP_MD_CTX_free);
  bool done = context && EVP_DigestInit_ex(context.get(), hash, nullptr) == 1;
  // Each run ends on a whole pass phrase, so the next starts where the
  // repetition goes on.
  for (std::size_t hashed = 0; done && hashed < total; hashed += run.size())
    done = EVP_DigestUpdate(context.get(), run.data(), std::min(run.size(), total - hashed)) == 1;
  std::vector<uint8_t> key(EVP_MAX_MD_SIZE, 0);
  unsigned int made = 0;
  done = done && EVP_DigestFinal_ex(context.get(), key.data(), &made) == 1;
  explicit_bzero(run.data(), run.size());
  key.resize(done ? made : 0);
  return key;
}

namespace {

// The set's pass phrases as keys (Ku); the pass phrases are wiped.
std::optional<std::string> make_keys(CredentialSet& set, Security& security) {
  security.set_name = set.name;
  security.user = set.user;
  switch (set.level) {
    case SecurityLevel::no_auth_no_priv:
      security.level = SNMP_SEC_LEVEL_NOAUTH;
      break;
    case SecurityLevel::auth_no_priv:
      security.level = SNMP_SEC_LEVEL_AUTHNOPRIV;
      break;
    case SecurityLevel::auth_priv:
      security.level = SNMP_SEC_LEVEL_AUTHPRIV;
      break;
  }
  const auto use = [](const auto& protocol, const unsigned long*& to, std::size_t& length) {
    to = protocol;
    length = std::size(protocol);
  };
  switch (set.auth) {
    case AuthProtocol::sha:
      use(usmHMACSHA1AuthProtocol, security.auth_protocol, security.auth_protocol_length);
      break;
    case AuthProtocol::sha256:
      use(usmHMAC192SHA256AuthProtocol, security.auth_protocol, security.auth_protocol_length);
      break;
    case AuthProtocol::sha512:
      use(usmHMAC384SHA512AuthProtocol, security.auth_protocol, security.auth_protocol_length);
      break;
  }
  switch (set.priv) {
    case PrivProtocol::aes:
      use(usmAESPrivProtocol, security.priv_protocol, security.priv_protocol_length);
      break;
    case PrivProtocol::aes256:
      use(usmAES256PrivProtocol, security.priv_protocol, security.priv_protocol_length);
      break;
  }
  const auto ku = [&](std::string& pass, std::vector<uint8_t>& key) {
    key = key_of_pass_phrase(security.auth_protocol, security.auth_protocol_length, pass);
    wipe(pass);
    return !key.empty();
  };
  std::optional<std::string> failed;
  if (security.level >= SNMP_SEC_LEVEL_AUTHNOPRIV && !ku(set.auth_pass, security.auth_ku))
    failed = "auth_pass";
  if (security.level == SNMP_SEC_LEVEL_AUTHPRIV && !ku(set.priv_pass, security.priv_ku))
    failed = failed.value_or("priv_pass");
  wipe(set.auth_pass);
  wipe(set.priv_pass);
  return failed;
}

Resolved resolve(const std::string& community) {
  CredentialLookup lookup = look_up_credentials(community);
  switch (lookup.kind) {
    case CredentialLookup::Kind::community:
      return {CommunityKind::community, nullptr};
    case CredentialLookup::Kind::refused:
      tng::diag::say_plain("%s: nothing was done\n", lookup.message.c_str());
      return {CommunityKind::refused, nullptr};
    case CredentialLookup::Kind::set:
      break;
  }
  prepare_usm();
  auto security = std::make_shared<Security>();
  if (auto failed = make_keys(*lookup.set, *security)) {
    tng::diag::say_plain("%s: set '%s': the library cannot make a key of '%s': nothing was done\n",
                         credential_file_path().c_str(), security->set_name.c_str(),
                         failed->c_str());
    return {CommunityKind::refused, nullptr};
  }
  return {CommunityKind::credentials, std::move(security)};
}

bool is_usm_stat(const netsnmp_variable_list& v, oid& which) {
  static const oid usm_stats[] = {1, 3, 6, 1, 6, 3, 15, 1, 1};
  constexpr std::size_t n = sizeof usm_stats / sizeof usm_stats[0];
  if (v.name_length != n + 2 || std::memcmp(v.name, usm_stats, sizeof usm_stats) != 0) return false;
  which = v.name[n];
  return true;
}

}  // namespace

Security::~Security() {
  for (std::vector<uint8_t>* key : {&auth_ku, &priv_ku})
    if (!key->empty()) explicit_bzero(key->data(), key->size());
}

CommunityKind resolve_community(const std::string& community, std::shared_ptr<Security>& security) {
  static std::map<std::string, Resolved> known;
  auto found = known.find(community);
  if (found == known.end()) found = known.emplace(community, resolve(community)).first;
  security = found->second.security;
  return found->second.kind;
}

void prepare_usm() {
  static const bool prepared = [] {
    // The library's defaults for what an application would read from its
    // configuration: the name only labels configuration files, which are
    // never read. The user table needs a local engine ID (made from the
    // host, not stored) and an empty user through which the answers to an
    // engine discovery are read.
    netsnmp_ds_set_string(NETSNMP_DS_LIBRARY_ID, NETSNMP_DS_LIB_APPTYPE, "tng");
    setup_engineID(nullptr, nullptr);
    sc_init();
    init_secmod();
    snmp_call_callbacks(SNMP_CALLBACK_LIBRARY, SNMP_CALLBACK_POST_PREMIB_READ_CONFIG, nullptr);
    return true;
  }();
  (void)prepared;
}

void configure_session(::snmp_session& session, const Security& security) {
  session.version = SNMP_VERSION_3;
  session.securityModel = USM_SEC_MODEL_NUMBER;
  session.securityLevel = security.level;
  session.securityName = const_cast<char*>(security.user.c_str());
  session.securityNameLen = security.user.size();
  // Each request names its agent's engine; the library must not find one
  // for the session itself (it would ask the socket's own address).
  session.flags |= SNMP_FLAGS_DONT_PROBE;
}

bool localise(Security& security, const EngineId& engine) {
  if (security.localised.contains(engine)) return true;
  struct usmUser* user = usm_create_user();
  if (!user) return false;
  const auto fail = [&] {
    usm_free_user(user);
    return false;
  };
  user->engineID = static_cast<u_char*>(netsnmp_memdup(engine.data(), engine.size()));
  user->engineIDLen = engine.size();
  user->name = strdup(security.user.c_str());
  user->secName = strdup(security.user.c_str());
  if (!user->engineID || !user->name || !user->secName) return fail();
  if (security.level >= SNMP_SEC_LEVEL_AUTHNOPRIV) {
    SNMP_FREE(user->authProtocol);
    user->authProtocol =
        snmp_duplicate_objid(security.auth_protocol, security.auth_protocol_length);
    user->authProtocolLen = security.auth_protocol_length;
    user->authKey = static_cast<u_char*>(std::calloc(1, USM_AUTH_KU_LEN));
    user->authKeyLen = USM_AUTH_KU_LEN;
    if (!user->authProtocol || !user->authKey ||
        generate_kul(user->authProtocol, user->authProtocolLen, user->engineID, user->engineIDLen,
                     security.auth_ku.data(), security.auth_ku.size(), user->authKey,
                     &user->authKeyLen) != SNMPERR_SUCCESS)
      return fail();
  }
  if (security.level == SNMP_SEC_LEVEL_AUTHPRIV) {
    SNMP_FREE(user->privProtocol);
    user->privProtocol =
        snmp_duplicate_objid(security.priv_protocol, security.priv_protocol_length);
    user->privProtocolLen = security.priv_protocol_length;
    user->privKey = static_cast<u_char*>(std::calloc(1, USM_PRIV_KU_LEN));
    user->privKeyLen = USM_PRIV_KU_LEN;
    // The privacy key is localised with the authentication hash, then
    // lengthened as the cipher needs (AES-256 after SHA-1).
    if (!user->privProtocol || !user->privKey ||
        generate_kul(user->authProtocol, user->authProtocolLen, user->engineID, user->engineIDLen,
                     security.priv_ku.data(), security.priv_ku.size(), user->privKey,
                     &user->privKeyLen) != SNMPERR_SUCCESS ||
        usm_extend_user_kul(user, USM_PRIV_KU_LEN) != SNMPERR_SUCCESS)
      return fail();
  }
  user->userStatus = RS_ACTIVE;
  user->userStorageType = ST_READONLY;
  usm_add_user(user);
  security.localised.insert(engine);
  return true;
}

std::optional<EngineId> discovered_engine(const ::snmp_pdu& answer) {
  if (answer.securityEngineIDLen == 0 || answer.securityEngineID == nullptr) return std::nullopt;
  return EngineId(answer.securityEngineID, answer.securityEngineID + answer.securityEngineIDLen);
}

std::optional<std::string> refusal_of(const ::snmp_pdu& answer) {
  if (answer.command == SNMP_MSG_RESPONSE && answer.errstat == SNMP_ERR_AUTHORIZATIONERROR)
    return "it grants the user no access at this level (key 'level')";
  if (answer.command != SNMP_MSG_REPORT) return std::nullopt;
  oid which = 0;
  if (answer.variables && is_usm_stat(*answer.variables, which)) {
    switch (which) {
      case 1:
        return "it does not support this level for the user (key 'level')";
      case 2:
        return "the question is outside its time window";
      case 3:
        return "it does not know the user (key 'user')";
      case 4:
        return "it does not know the engine asked";
      case 5:
        return "the authentication key is wrong (keys 'auth', 'auth_pass')";
      case 6:
        return "it cannot decrypt the question (keys 'priv', 'priv_pass')";
      default:
        break;
    }
  }
  return "it answers with a report";
}

void tell_refusal(const Security& security, const std::string& reason, std::string_view agent) {
  static std::set<std::string> told;
  if (!told.insert(reason).second) return;
  tng::diag::say_plain(
      "SNMPv3: the agent at %.*s refuses credential set '%s': %s; every agent that refuses it "
      "counts as not answering\n",
      static_cast<int>(agent.size()), agent.data(), security.set_name.c_str(), reason.c_str());
}

}  // namespace tng::snmp
