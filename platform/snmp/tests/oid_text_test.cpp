#include "oid_text.h"

#include <gtest/gtest.h>

namespace tng::snmp {
namespace {

struct Case {
  const char* text;
  std::optional<Oid> want;
};

TEST(OidText, ParsesNumericIdentifiers) {
  const Case cases[] = {
      {".1.3.6.1.4.1.232.11.2.2.4.0", Oid{1, 3, 6, 1, 4, 1, 232, 11, 2, 2, 4, 0}},
      {".1.3.6.1.4.1.232.1.1.1.0", Oid{1, 3, 6, 1, 4, 1, 232, 1, 1, 1, 0}},
      {"1.1.0", Oid{1, 3, 6, 1, 2, 1, 1, 1, 0}},  // relative to mib-2
      {".0", Oid{0}},
      {".1.4294967295", Oid{1, 4294967295u}},
      {"", std::nullopt},
      {".", std::nullopt},
      {"..1", std::nullopt},
      {".1..3", std::nullopt},
      {".1.3.", std::nullopt},
      {".1.4294967296", std::nullopt},
      {".1.-3", std::nullopt},
      {".1.+3", std::nullopt},
      {".1. 3", std::nullopt},
      {".iso.3", std::nullopt},
      {"sysDescr.0", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_oid(c.text), c.want) << "text: '" << c.text << "'";
}

TEST(OidText, RefusesMoreThanTheLongestIdentifier) {
  std::string text;
  for (std::size_t i = 0; i < max_oid_length; ++i) text += ".1";
  ASSERT_TRUE(parse_oid(text));
  EXPECT_EQ(parse_oid(text)->size(), max_oid_length);
  EXPECT_FALSE(parse_oid(text + ".1"));
  // Relative texts count the mib-2 prefix as well.
  EXPECT_FALSE(parse_oid(text.substr(1)));
}

TEST(OidText, FormatsWithLeadingDots) {
  EXPECT_EQ(format_oid(Oid{1, 3, 6, 1, 4, 1, 232}), ".1.3.6.1.4.1.232");
  EXPECT_EQ(format_oid(Oid{}), "");
  EXPECT_EQ(format_oid(*parse_oid(".1.3.6.1.4.1.232.9.2.5.1.1.5.2")),
            ".1.3.6.1.4.1.232.9.2.5.1.1.5.2");
}

}  // namespace
}  // namespace tng::snmp
