#include "usm.h"

// The library's configuration comes before its other headers.
#include <net-snmp/net-snmp-config.h>
#include <net-snmp/net-snmp-includes.h>

#include <net-snmp/library/keytools.h>
#include <net-snmp/library/transform_oids.h>

#include <gtest/gtest.h>

#include <iterator>
#include <string>
#include <vector>

namespace tng::snmp {
namespace {

struct Protocol {
  const char* name;
  const oid* id;
  std::size_t length;
};

const Protocol kProtocols[] = {
    {"SHA", usmHMACSHA1AuthProtocol, std::size(usmHMACSHA1AuthProtocol)},
    {"SHA-256", usmHMAC192SHA256AuthProtocol, std::size(usmHMAC192SHA256AuthProtocol)},
    {"SHA-512", usmHMAC384SHA512AuthProtocol, std::size(usmHMAC384SHA512AuthProtocol)},
};

// The library's own derivation, which the agents use.
std::vector<uint8_t> library_ku(const Protocol& protocol, const std::string& pass) {
  std::vector<uint8_t> key(USM_AUTH_KU_LEN);
  size_t length = key.size();
  if (generate_Ku(protocol.id, protocol.length, reinterpret_cast<const u_char*>(pass.data()),
                  pass.size(), key.data(), &length) != SNMPERR_SUCCESS)
    return {};
  key.resize(length);
  return key;
}

// Pass phrase lengths that divide the hashed megabyte and that do not, one
// longer than a hash block, and one as long as a run of them.
TEST(PassPhraseKey, IsTheKeyTheAgentsMake) {
  const std::string passes[] = {"maplesyrup",
                                "12345678",
                                "tng-auth-pass-1",
                                std::string(64, 'k'),
                                std::string(129, 'x') + "y",
                                std::string(65537, 'z')};
  for (const Protocol& protocol : kProtocols)
    for (const std::string& pass : passes) {
      const std::vector<uint8_t> expected = library_ku(protocol, pass);
      ASSERT_FALSE(expected.empty());
      EXPECT_EQ(key_of_pass_phrase(protocol.id, protocol.length, pass), expected)
          << protocol.name << ", a pass phrase of " << pass.size() << " bytes";
    }
}

TEST(PassPhraseKey, KnownKeyAndRefusals) {
  // The published SHA-1 key of "maplesyrup".
  const std::vector<uint8_t> maplesyrup = {0x9f, 0xb5, 0xcc, 0x03, 0x81, 0x49, 0x7b,
                                           0x37, 0x93, 0x52, 0x89, 0x39, 0xff, 0x78,
                                           0x8d, 0x5d, 0x79, 0x14, 0x52, 0x11};
  EXPECT_EQ(key_of_pass_phrase(kProtocols[0].id, kProtocols[0].length, "maplesyrup"), maplesyrup);
  EXPECT_TRUE(key_of_pass_phrase(kProtocols[0].id, kProtocols[0].length, "").empty());
  EXPECT_TRUE(
      key_of_pass_phrase(usmAESPrivProtocol, std::size(usmAESPrivProtocol), "12345678").empty());
}

}  // namespace
}  // namespace tng::snmp
