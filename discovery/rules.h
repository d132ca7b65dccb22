// The constant tables of discovery: the reclassification passes with their
// rules, and the classes the association passes visit.
#pragma once
#include <span>
#include <string_view>

#include "identify.h"

namespace orxdetect {

// What an entry of a pass asks of the device's answers and of the mode.
enum class Condition {
  Answered,                    // identification answered
  AnsweredBoard,               // answered, lights-out kind = board
  AnsweredAllSystems,          // answered, all-systems mode
  AnsweredStorageAllSystems,   // answered, product = storage appliance, all-systems mode
  AnsweredTarvikAllSystems,    // answered, product = Tarvik server, all-systems mode
  AnsweredErrorRackEnclosure,  // answered with an error, lights-out kind = rack enclosure
};

struct RuleEntry {
  Condition condition;
  std::string_view target;
  const char* announcement;  // printf format with the object's name
};

struct PassRule {
  std::string_view framework_class;
  Form form;
  bool all_systems_only;  // skipped in lights-out-only mode
  bool asks_lights_out_kind;
  bool asks_product_kind;
  // Rack enclosures answer the server identity with an error; their kind is
  // asked while the identification session is still open.
  bool rack_enclosure_on_error;
  std::span<const RuleEntry> entries;  // the first that holds is applied
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

bool holds(Condition condition, const DeviceFacts& facts);
// The first entry of the rule that holds, or null.
const RuleEntry* first_holding(const PassRule& rule, const DeviceFacts& facts);

// The classes whose servers are asked for their lights-out board.
struct AssociationClass {
  std::string_view name;
  bool all_systems_only;
  bool prints_matches;  // prints "Remote Vistrel CLASS: ..." for each match
};

extern const std::span<const AssociationClass> kAssociationClasses;

// The Orvex classes that must exist before a run, in the order checked.
extern const std::span<const std::string_view> kRequiredClasses;

}  // namespace orxdetect
