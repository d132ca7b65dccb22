// The Orvex class catalogue (orvex_classes.def): the classes the rules move
// devices into, the classes the class check asks for, and what
// ORXAddClass.TNG creates.
#pragma once
#include <span>
#include <string_view>

namespace orxdetect {

enum class OrvexClass {
#define ORVEX_CLASS(name, parent, checked) name,
#include "orvex_classes.def"
#undef ORVEX_CLASS
};

struct OrvexClassRow {
  OrvexClass id;
  std::string_view name;
  std::string_view parent;
  bool checked;  // must exist before a discovery run
};

inline constexpr OrvexClassRow kOrvexClasses[] = {
#define ORVEX_CLASS(name, parent, checked) {OrvexClass::name, #name, #parent, checked},
#include "orvex_classes.def"
#undef ORVEX_CLASS
};

constexpr std::string_view class_name(OrvexClass id) {
  return kOrvexClasses[static_cast<std::size_t>(id)].name;
}

}  // namespace orxdetect
