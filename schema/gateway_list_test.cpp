#include "gateway_list.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

constexpr std::string_view kAdded = "Orvex_Host|Orvex_Workstation|";

struct Case {
  const char* title;
  std::string content;
  std::string list;      // the first word
  std::string expected;  // the file afterwards
};

class AppendTest : public testing::TestWithParam<Case> {};

TEST_P(AppendTest, AppendsToTheFirstWordAndKeepsTheRest) {
  const Case& c = GetParam();
  const schema::GatewayFile file = schema::split_gateway_file(c.content);
  EXPECT_EQ(file.list, c.list);
  const auto updated = schema::with_classes_appended(file, kAdded);
  ASSERT_TRUE(updated.has_value());
  EXPECT_EQ(*updated, c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    GatewayFiles, AppendTest,
    testing::Values(
        Case{"empty", "", "", "Orvex_Host|Orvex_Workstation|"},
        Case{"only white space", "\n\n", "", "Orvex_Host|Orvex_Workstation|\n\n"},
        Case{"one word", "Host|NT|", "Host|NT|", "Host|NT|Orvex_Host|Orvex_Workstation|"},
        Case{"line end kept", "Host|\n", "Host|", "Host|Orvex_Host|Orvex_Workstation|\n"},
        Case{"later lines kept", "Host|\r\n# gateway notes\nport 7001\n", "Host|",
             "Host|Orvex_Host|Orvex_Workstation|\r\n# gateway notes\nport 7001\n"},
        Case{"leading white space kept", " \tHost| more", "Host|",
             " \tHost|Orvex_Host|Orvex_Workstation| more"}),
    [](const testing::TestParamInfo<Case>& info) {
      std::string name;
      for (const char* p = info.param.title; *p; ++p) name += std::isalnum(*p) ? *p : '_';
      return name;
    });

TEST(AppendTest, ListAtTheLimitFitsAndOneMoreIsRefused) {
  const std::string longest(schema::kClassListMax - kAdded.size(), 'A');
  const auto fits =
      schema::with_classes_appended(schema::split_gateway_file(longest + "\nrest"), kAdded);
  ASSERT_TRUE(fits.has_value());
  EXPECT_EQ(*fits, longest + std::string(kAdded) + "\nrest");

  const std::string too_long = longest + "A";
  EXPECT_FALSE(
      schema::with_classes_appended(schema::split_gateway_file(too_long), kAdded).has_value());
}

}  // namespace
