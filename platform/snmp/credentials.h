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
// whatever the answer, it is refused when it is not a regular file of this
// user (or of root), when group or others may use it, when it is larger
// than 1 MiB, begins with a byte-order mark, names a set twice or has a line
// that is no part of a set; and so is a named set with a key missing,
// unknown or unusable. A refusal is one line on stderr that names the file
// and the key, never a value of a pass phrase.
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

// The credential file: snmp-credentials.ini in the framework home
// (platform/home.h); empty when there is no home.
std::string credential_file_path();

// Looks `name` up in the text of a credential file (`path` names it in a
// refusal).
CredentialLookup find_credential_set(std::string_view text, std::string_view name,
                                     std::string_view path);

// Looks the community answer up in the credential file: a community when
// there is no file; refused when the file cannot be one (above) or cannot
// be read. A FIFO or a device in the file's place is refused without
// waiting for it, a symbolic link without following it.
CredentialLookup look_up_credentials(std::string_view name);

// Overwrites a secret before its memory is given back.
void wipe(std::string& secret);

}  // namespace tng::snmp
