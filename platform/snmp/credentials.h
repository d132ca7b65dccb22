// Named SNMPv3 credential sets: $TNG_HOME/snmp-credentials.ini, one section
// per set:
//
//   [lab]
//   user = monitor
//   level = authPriv          ; noAuthNoPriv | authNoPriv | authPriv
//   auth = SHA-512            ; SHA | SHA-256 | SHA-512
//   auth_pass = ...
//   priv = AES-256            ; AES | AES-256
//   priv_pass = ...
//
// A run whose community answer names a set asks every agent over SNMPv3
// with it; any other answer is a v1/v2c community. The file holds secrets:
// one that group or others may use is refused whatever the answer, and so
// is a named set with a key missing, unknown or unusable. A refusal is one
// line on stderr that names the file and the key, never a value of a
// pass phrase.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace tng::snmp {

enum class SecurityLevel { no_auth_no_priv, auth_no_priv, auth_priv };
enum class AuthProtocol { sha, sha256, sha512 };
enum class PrivProtocol { aes, aes256 };

struct CredentialSet {
  std::string name;  // the section
  std::string user;
  SecurityLevel level = SecurityLevel::no_auth_no_priv;
  AuthProtocol auth = AuthProtocol::sha;
  PrivProtocol priv = PrivProtocol::aes;
  std::string auth_pass;  // empty below authNoPriv
  std::string priv_pass;  // empty below authPriv
};

struct CredentialLookup {
  enum class Kind {
    community,  // the answer names no set: a v1/v2c community
    set,        // the answer names a usable set
    refused,    // the file or the set cannot be used; `message` says why
  };
  Kind kind = Kind::community;
  std::optional<CredentialSet> set;
  std::string message;  // one line, no newline
};

// The credential file: $TNG_HOME/snmp-credentials.ini ($HOME/.tng without
// TNG_HOME).
std::string credential_file_path();

// Looks `name` up in the text of a credential file (`path` names it in a
// refusal).
CredentialLookup find_credential_set(std::string_view text, std::string_view name,
                                     std::string_view path);

// Looks the community answer up in the credential file: a community when
// there is no file; refused when group or others may use the file or it
// cannot be read.
CredentialLookup look_up_credentials(std::string_view name);

// Overwrites a secret before its memory is given back.
void wipe(std::string& secret);

}  // namespace tng::snmp
