// The product text comparison: a case-sensitive prefix test against each
// product text less its last character, the appliance first.
#include <gtest/gtest.h>

#include "device_answers.h"

namespace orxdetect {
namespace {

struct ProductCase {
  const char* text;
  ProductKind kind;
};

constexpr ProductCase kCases[] = {
    {"orvex Quelnet storage management appliance", ProductKind::StorageAppliance},
    {"orvex Quelnet storage management applianc", ProductKind::StorageAppliance},
    {"orvex Quelnet storage management applian", ProductKind::None},
    {"orvex Quelnet storage management appliance 2.1 Tarvik Servers-",
     ProductKind::StorageAppliance},
    {"Orvex Quelnet storage management appliance", ProductKind::None},
    {"Tarvik Servers-7000", ProductKind::TarvikServer},
    {"Tarvik Servers", ProductKind::TarvikServer},
    {"Tarvik Server", ProductKind::None},
    {"tarvik Servers-", ProductKind::None},
    {" Tarvik Servers-", ProductKind::None},
    {"", ProductKind::None},
};

TEST(ProductKind, PrefixOfEachProductTextLessItsLastCharacter) {
  for (const ProductCase& c : kCases) EXPECT_EQ(product_kind_of(c.text), c.kind) << c.text;
}

}  // namespace
}  // namespace orxdetect
