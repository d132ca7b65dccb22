#include "purge.h"

#include <cstdio>

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

void print_name(const tng::RepositorySession::Property& name) {
  switch (name.type) {
    case WV_TYPE_TEXT:
      std::printf("  %s = %s\n", "name", static_cast<const char*>(name.value));
      break;
    case WV_TYPE_INTEGER:
      std::printf("  %s = %d\n", "name", *static_cast<const int32_t*>(name.value));
      break;
    default:
      std::printf("  %s has data type not handled\n", "name");
      break;
  }
}

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
  const auto query = session.query_class(kManagerClass, kListedProperties, kCriteriaCapacity, batch);
  switch (query.outcome) {
    case Query::CriteriaFailed:
      std::fputs("Allocate_REPOSITORY_OBJECT_CRITERIA Fails!\n", stdout);
      return {Listing::Failed, kConnectFailed};
    case Query::NoSuchClass:
      std::fputs("Class VistrelManager does not exist\n", stdout);
      return {Listing::NothingToDelete, kDone};
    case Query::Failed:
      print_code("GetRepositoryObject Fails! tngwv_rc = ", query.rc);
      return {Listing::Failed, kStepFailed};
    case Query::NoObjects:
      std::fputs("Objects of class VistrelManager do not exist!\n", stdout);
      return {Listing::NothingToDelete, kDone};
    case Query::Found:
      break;
  }

  std::printf("There were %u objects found:\n", query.count);
  using Fetch = tng::RepositorySession::Fetch;
  for (uint32_t index = 0; index < query.count; ++index) {
    const auto fetched = session.next_object();
    if (fetched.outcome == Fetch::End) break;
    if (fetched.outcome == Fetch::Failed) {
      print_code("TNGWV_Object_GetNext Fails! rc = ", fetched.rc);
      return {Listing::Failed, kDone};
    }
    std::printf("Object %u:  ", index + 1);
    const auto name = session.read_property("name");
    if (name.rc != WV_OK) break;
    print_name(name);
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
