#include "credentials.h"

#include <gtest/gtest.h>

namespace tng::snmp {
namespace {

using Kind = CredentialLookup::Kind;

constexpr const char* kFile = R"(# sets of the lab
[lab]
  user =  monitor
level = authPriv
auth = SHA-512
; the keys
auth_pass = first pass phrase
priv = AES-256
priv_pass = second pass phrase

[quiet]
user = watcher
level = noAuthNoPriv

[other]
colour = blue
)";

TEST(Credentials, ReadsTheNamedSetOnly) {
  const CredentialLookup lab = find_credential_set(kFile, "lab", "f.ini");
  ASSERT_EQ(lab.kind, Kind::set) << lab.message;
  EXPECT_EQ(lab.set->user, "monitor");
  EXPECT_EQ(lab.set->level, SecurityLevel::auth_priv);
  EXPECT_EQ(lab.set->auth, AuthProtocol::sha512);
  EXPECT_EQ(lab.set->priv, PrivProtocol::aes256);
  EXPECT_EQ(lab.set->auth_pass, "first pass phrase");
  EXPECT_EQ(lab.set->priv_pass, "second pass phrase");

  // Keys a level does not use are not needed.
  const CredentialLookup quiet = find_credential_set(kFile, "quiet", "f.ini");
  ASSERT_EQ(quiet.kind, Kind::set) << quiet.message;
  EXPECT_EQ(quiet.set->level, SecurityLevel::no_auth_no_priv);

  // A name that is no set is a community; sets it does not name are not
  // judged, and a set name is matched exactly.
  EXPECT_EQ(find_credential_set(kFile, "public", "f.ini").kind, Kind::community);
  EXPECT_EQ(find_credential_set(kFile, "Lab", "f.ini").kind, Kind::community);
}

TEST(Credentials, RefusesANamedSetThatCannotBeUsed) {
  struct Case {
    const char* text;
    const char* message;
  };
  const Case cases[] = {
      {"[s]\nlevel = noAuthNoPriv\n", "f.ini: set 's': key 'user' is missing"},
      {"[s]\nuser = u\n", "f.ini: set 's': key 'level' is missing"},
      {"[s]\nuser = u\nlevel = authNoPriv\nauth = SHA\n",
       "f.ini: set 's': key 'auth_pass' is missing"},
      {"[s]\nuser = u\nlevel = authPriv\nauth = SHA\nauth_pass = 12345678\npriv_pass = 12345678\n",
       "f.ini: set 's': key 'priv' is missing"},
      {"[s]\nuser = u\nlevel = noAuthNoPriv\npassword = x\n",
       "f.ini: set 's': unknown key 'password'"},
      {"[s]\nuser = u\nuser = v\nlevel = noAuthNoPriv\n",
       "f.ini: set 's': key 'user' is given twice"},
      {"[s]\nuser = u\nlevel = authpriv\n",
       "f.ini: set 's': key 'level' must be noAuthNoPriv, authNoPriv or authPriv"},
      {"[s]\nuser = u\nlevel = authNoPriv\nauth = MD5\nauth_pass = 12345678\n",
       "f.ini: set 's': key 'auth' must be SHA, SHA-256 or SHA-512"},
      {"[s]\nuser = u\nlevel = authPriv\nauth = SHA\nauth_pass = 12345678\npriv = DES\n"
       "priv_pass = 12345678\n",
       "f.ini: set 's': key 'priv' must be AES or AES-256"},
      {"[s]\nuser = u\nlevel = authNoPriv\nauth = SHA\nauth_pass = 1234567\n",
       "f.ini: set 's': key 'auth_pass' must be at least 8 characters long"},
      {"[s]\nuser = u\nlevel = authPriv\nauth = SHA\nauth_pass = 12345678\npriv = AES\npriv_pass "
       "=\n",
       "f.ini: set 's': key 'priv_pass' must be at least 8 characters long"},
      {"[s]\nuser =\nlevel = noAuthNoPriv\n",
       "f.ini: set 's': key 'user' must be 1 to 32 characters long"},
      {"[s]\nuser = 123456789012345678901234567890123\nlevel = noAuthNoPriv\n",
       "f.ini: set 's': key 'user' must be 1 to 32 characters long"},
      // The file cannot be read reliably at all: whatever the name.
      {"user = u\n[s]\n", "f.ini: line 1 is neither a [set] nor a key = value line of a set"},
      {"[t]\nuser\n", "f.ini: line 2 is neither a [set] nor a key = value line of a set"},
      {"[s\n", "f.ini: line 1 opens a set without ']'"},
      // Which of two sets of one name would be meant is open, whichever
      // set the answer names.
      {"[s]\nuser = u\n[t]\n[ s ]\nlevel = noAuthNoPriv\n",
       "f.ini: line 4 names set 's' a second time (first on line 1)"},
      {"[t]\n[s]\n[t]\n", "f.ini: line 3 names set 't' a second time (first on line 1)"},
      {"\xEF\xBB\xBF[s]\nuser = u\nlevel = noAuthNoPriv\n",
       "f.ini: begins with a byte-order mark; save it as plain text without one"},
      {"\xFF\xFE[", "f.ini: begins with a byte-order mark; save it as plain text without one"},
  };
  // The messages are exact: no value of a pass phrase is ever among them.
  for (const Case& c : cases) {
    const CredentialLookup lookup = find_credential_set(c.text, "s", "f.ini");
    EXPECT_EQ(lookup.kind, Kind::refused) << c.text;
    EXPECT_EQ(lookup.message, c.message) << c.text;
    EXPECT_FALSE(lookup.set) << c.text;
  }
}

}  // namespace
}  // namespace tng::snmp
