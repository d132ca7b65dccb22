#include "purge.h"

#include <cstdio>

#include "foundation/report.h"

namespace purge {
namespace {

constexpr const char* kIntroduction[] = {
    "This utility connects to the local Unicenter repository, and\n",
    "deletes all objects under the VistrelManager Class.\n\n",
    "The VistrelManager Class is located under TNGRoot - ManagedObject - Agent.\n",
    "This utility deletes the VistrelManager Class and integration specific\n",
    "menu items from the database.\n\n",
    "This utility also deletes the integration methods defined in the database.\n\n",
};

constexpr int32_t kCriteriaCapacity = 20;
constexpr const char* kListedProperties = "name, label";

void print_code(const char* text, WV_RC rc) { std::printf("%s%d\n", text, rc); }

// The removal tools word their listing in their own way.
constexpr tng::QueryWording kListingWording{
    "Allocate_REPOSITORY_OBJECT_CRITERIA Fails!\n",
    "Class %.*s does not exist\n",
    "GetRepositoryObject Fails! tngwv_rc = %d\n",
    "Objects of class %.*s do not exist!\n",
    "There were %u objects found:\n",
    "TNGWV_Object_GetNext Fails! rc = %d\n",
};
constexpr tng::ObjectWording::Line kNameLine{"  name = ", "\n"};

}  // namespace

std::optional<int> open(tng::RepositorySession& session, const StartupMessages& messages) {
  const auto opened = session.open_by_dialog();
  using Step = tng::RepositorySession::DialogStep;
  switch (opened.step) {
    case Step::Connected:
      return std::nullopt;
    case Step::Cancelled:
      return kDone;
    case Step::KernelFailed:
      print_code(messages.kernel, opened.rc);
      return kKernelFailed;
    case Step::SelectFailed:
      print_code(messages.select, opened.rc);
      return kSelectFailed;
    case Step::NameFailed:
      print_code(messages.name, opened.rc);
      return kNameFailed;
    case Step::ConnectFailed:
      print_code(messages.connect, opened.rc);
      return kConnectFailed;
  }
  return kDone;
}

void print_introduction() {
  for (const char* line : kIntroduction) std::fputs(line, stdout);
}

ListingResult list_managers(tng::RepositorySession& session, int32_t batch) {
  using Query = tng::RepositorySession::Query;
  const auto query =
      session.query_class(kManagerClass, kListedProperties, kCriteriaCapacity, batch);
  tng::Sink console;
  if (!tng::report_query(console, kManagerClass, query, true, kListingWording)) {
    switch (query.outcome) {
      case Query::CriteriaFailed:
        return {Listing::Failed, kConnectFailed};
      case Query::Failed:
        return {Listing::Failed, kStepFailed};
      default:
        return {Listing::NothingToDelete, kDone};
    }
  }
  using Fetch = tng::RepositorySession::Fetch;
  for (uint32_t index = 0; index < query.count; ++index) {
    const auto fetched = session.next_object();
    if (fetched.outcome == Fetch::End) break;
    if (fetched.outcome == Fetch::Failed) {
      tng::report_fetch_failed(console, fetched.rc, kListingWording);
      return {Listing::Failed, kDone};
    }
    console.console("Object %u:  ", index + 1);
    const auto name = session.read_property("name");
    if (name.rc != WV_OK) break;
    tng::report_name(console, name, kNameLine);
  }
  return {Listing::Listed, kDone};
}

int remove_objects(tng::RepositorySession& session, const Removal& removal) {
  if (WV_RC rc = session.allocate_criteria(kCriteriaCapacity); rc != WV_OK) {
    print_code(removal.criteria_failed, rc);
    return kStepFailed;
  }
  session.add_text_criterion(removal.property, removal.value);
  uint32_t deleted = 0;
  if (WV_RC rc = TNGWV_Object_Delete(session.repository(), removal.class_name, session.criteria(),
                                     &deleted);
      rc != WV_OK) {
    print_code(removal.delete_failed, rc);
    return kDeleteFailed;
  }
  if (removal.success == nullptr) return kDone;
  if (removal.shows_count)
    std::printf("%lu%s", static_cast<unsigned long>(deleted), removal.success);
  else
    std::fputs(removal.success, stdout);
  return kDone;
}

int remove_manager_class(tng::RepositorySession& session) {
  if (WV_RC rc = DeleteRepositoryClass(session.repository(), kManagerClass); rc != WV_OK) {
    print_code("DeleteRepositoryClass Fails! rc = ", rc);
    return kStepFailed;
  }
  std::fputs("Class VistrelManager deleted successfully.\n", stdout);
  return kDone;
}

}  // namespace purge
