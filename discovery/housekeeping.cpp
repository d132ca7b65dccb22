#include "housekeeping.h"
#include "platform/diag.h"

#include <cstdio>

#include "platform/preview.h"

namespace orxdetect {
namespace {

constexpr int32_t kCriteriaCapacity = 20;
constexpr const char* kAbsentStatus = "ANY:ABSENT";

bool allocate_criteria(Run& run) {
  const WV_RC rc = run.session.allocate_criteria(kCriteriaCapacity);
  if (rc != WV_OK) run.out.say(To::Console, "TNGWV_ObjectCriteria_Allocate fails! rc = %d\n", rc);
  return rc == WV_OK;
}

// Deletes the objects of the class that meet the session's criteria.
std::optional<uint32_t> delete_matching(Run& run, const char* class_name) {
  uint32_t deleted = 0;
  const WV_RC rc =
      TNGWV_Object_Delete(run.session.repository(), class_name, run.session.criteria(), &deleted);
  if (rc != WV_OK) {
    run.out.say(To::Console, "TNGWV_Object_Delete fails! rc = %d\n", rc);
    return std::nullopt;
  }
  return deleted;
}

// What a preview's plan records of a deletion: the rule that selects the
// objects (the criteria go into the plan with each object).
void decide_by_rule(std::string_view class_name, std::string entry) {
  tng::preview::Evidence evidence;
  evidence.rule_class = class_name;
  evidence.rule_entry = std::move(entry);
  tng::preview::decide(std::move(evidence));
}

}  // namespace

bool delete_old_inclusions(Run& run) {
  if (!allocate_criteria(run)) return false;
  auto& session = run.session;
  session.add_text_criterion("class_name", kInclusionClass);
  session.add_text_criterion("parent_class", kInclusionParentClass);
  session.add_text_criterion("child_class", kInclusionChildClass);
  session.add_integer_criterion("child_sequence_no", kInclusionSequenceNo);
  session.add_integer_criterion("parent_sequence_no", kInclusionSequenceNo);
  decide_by_rule(kInclusionClass, "the links of lights-out boards to their servers are made anew");
  const auto deleted = delete_matching(run, "Inclusion");
  if (!deleted) return false;
  run.out.say(To::ConsoleAndLog,
              "\n%lu old RemoteVistrel Inclusion object(s) deleted successfully.\n",
              static_cast<unsigned long>(*deleted));
  return true;
}

void delete_absent_managers(Run& run) {
  int32_t absent = 0;
  const WV_RC looked_up = StatusNameToNumber(run.session.repository(), kAbsentStatus, &absent, 0);
  if (looked_up != WV_OK) {
    // Without the number every manager could match; delete none.
    tng::diag::say(
        "the repository does not know the status %s (rc = %d); no VistrelManager objects were "
        "deleted\n",
        kAbsentStatus, looked_up);
    return;
  }
  if (!allocate_criteria(run)) return;
  run.session.add_integer_criterion("status_no", absent);
  decide_by_rule("VistrelManager", std::string("status ") + kAbsentStatus);
  const auto deleted = delete_matching(run, "VistrelManager");
  if (!deleted) return;
  run.out.say(To::ConsoleAndLog, "\nThere were %lu down VistrelManager object(s) deleted.\n",
              static_cast<unsigned long>(*deleted));
}

}  // namespace orxdetect
