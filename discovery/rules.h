// The constant tables of discovery: the reclassification passes with their
// rules, and the classes the association passes visit.
//
// A pass is one framework class; its entries say, in named fields, what
// they ask of the device's answers and of the mode, and are tested in order
// by one generic test (`holds`). Which questions a pass asks follows from
// its entries: the lights-out kind or the product kind when an entry asks
// for one, and the kind on an identification answered with an error when
// an entry asks for that contact. A new product kind or pass is a new row.
#pragma once
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "identify.h"
#include "orvex_classes.h"

namespace orxdetect {

// Which modes a pass or an entry runs in.
enum class Modes { Both, AllSystemsOnly };

struct RuleEntry {
  // What the identification must have come to: Answered, or
  // AnsweredWithError for devices that answer the server identity so.
  Contact contact = Contact::Answered;
  std::optional<LightsOutKind> lights_out;  // nothing: any kind, not asked for
  std::optional<ProductKind> product;       // nothing: any product, not asked for
  Modes modes = Modes::Both;
  OrvexClass target = OrvexClass::Orvex;
  const char* announcement = "";  // printf format with the object's name

  // An entry reads as: move_to(CLASS, "announcement").if_lights_out(KIND)...
  constexpr RuleEntry if_lights_out(LightsOutKind kind) const {
    RuleEntry entry = *this;
    entry.lights_out = kind;
    return entry;
  }
  constexpr RuleEntry if_product(ProductKind kind) const {
    RuleEntry entry = *this;
    entry.product = kind;
    return entry;
  }
  constexpr RuleEntry if_answered_with_error() const {
    RuleEntry entry = *this;
    entry.contact = Contact::AnsweredWithError;
    return entry;
  }
  constexpr RuleEntry in_all_systems_mode() const {
    RuleEntry entry = *this;
    entry.modes = Modes::AllSystemsOnly;
    return entry;
  }
};

// An entry that holds for any device that answered, in either mode.
constexpr RuleEntry move_to(OrvexClass target, const char* announcement) {
  RuleEntry entry;
  entry.target = target;
  entry.announcement = announcement;
  return entry;
}

struct PassRule {
  std::string_view framework_class;
  Form form;
  Modes modes;
  std::span<const RuleEntry> entries;  // the first that holds is applied

  // The questions its entries need answered.
  constexpr bool asks_lights_out_kind() const {
    for (const RuleEntry& entry : entries)
      if (entry.contact == Contact::Answered && entry.lights_out) return true;
    return false;
  }
  constexpr bool asks_product_kind() const {
    for (const RuleEntry& entry : entries)
      if (entry.product) return true;
    return false;
  }
  // Devices answering the identification with an error are settled by
  // their lights-out kind, asked while the identification session is open.
  constexpr bool settles_answer_with_error() const {
    for (const RuleEntry& entry : entries)
      if (entry.contact == Contact::AnsweredWithError) return true;
    return false;
  }
  constexpr bool runs_in(bool all_systems) const { return all_systems || modes == Modes::Both; }
};

// The reclassification passes, in the order they run.
extern const std::span<const PassRule> kPassRules;

// The facts an entry is tested against.
struct DeviceFacts {
  Contact contact;
  LightsOutKind lights_out;
  ProductKind product;
  bool all_systems;
};

bool holds(const RuleEntry& entry, const DeviceFacts& facts);
// The first entry of the rule that holds, or null.
const RuleEntry* first_holding(const PassRule& rule, const DeviceFacts& facts);

// An entry of the rule in words, with its place in the rule: "entry 2 of 3:
// to Orvex_Windows2000_Server when the device answered, in all-systems
// mode" (a plan's evidence).
std::string describe(const PassRule& rule, const RuleEntry& entry);

// The classes whose servers are asked for their lights-out board.
struct AssociationClass {
  std::string_view name;
  Modes modes;
  bool prints_matches;  // prints "Remote Vistrel CLASS: ..." for each match
};

extern const std::span<const AssociationClass> kAssociationClasses;

}  // namespace orxdetect
