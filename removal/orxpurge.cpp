// orxpurge: removes the older Vistrel integration from a repository chosen
// in the selection dialog, unattended: it asks nothing and attempts every
// step whatever happened before; the last failure gives the exit code.
#include <cstdio>

#include "purge.h"

namespace {

constexpr purge::StartupMessages kStartup{
    .kernel = "WorldView Kernel Start Failed: ",
    .select = "WorldView Repository Select Dialog Failed: ",
    .name = "WorldView Repository Name Get Failed: ",
    .connect = "Repository Connect Failed: ",
};

constexpr const char* kMethodCriteriaFailed = "WorldView Object Criteria Allocate Failed: ";
constexpr const char* kObjectDeleteFailed = "WorldView Object Delete Failed: ";

constexpr purge::Removal kManagers{"VistrelManager",
                                   "class_name",
                                   "VistrelManager",
                                   "TNGWV_ObjectCriteria_Allocate fails! rc = ",
                                   "TNGWV_Object_Delete fails! rc = ",
                                   true,
                                   " VistrelManager object(s) deleted successfully.\n"};

// Removed whether or not the objects and the class could be, in this order.
constexpr purge::Removal kMenusAndMethods[] = {
    {"Popup_Menu", "name", "TRMAgt",
     "TNGWV_ObjectCriteria_Allocate fails! rc = ", kObjectDeleteFailed, false, nullptr},
    {"Method", "name", "TRM", kMethodCriteriaFailed, kObjectDeleteFailed, false,
     "Integration method TRM was deleted successfully.\n"},
    {"Method", "name", "TRW", kMethodCriteriaFailed, kObjectDeleteFailed, false,
     "Integration method TRW was deleted successfully.\n"},
    {"Method", "name", "TRMXE", kMethodCriteriaFailed, kObjectDeleteFailed, false,
     "Integration method TRMXE was deleted successfully.\n"},
    {"Method", "name", "orvm7", kMethodCriteriaFailed, kObjectDeleteFailed, false,
     "Integration method ORVM7 was deleted successfully.\n"},
    {"Method", "name", "orvm72", kMethodCriteriaFailed, kObjectDeleteFailed, false,
     "Integration method ORVM72 was deleted successfully.\n"},
};

// A later failure replaces the code of an earlier one; a success keeps it.
void keep_failure(int& exit_code, int step_code) {
  if (step_code != purge::kDone) exit_code = step_code;
}

// Everything up to the final release; returns the exit code.
int purge_integration(tng::RepositorySession& session) {
  if (const auto ended = purge::open(session, kStartup)) return *ended;
  purge::print_introduction();

  const auto listing = purge::list_managers(session, 20);
  int exit_code = listing.exit_code;
  if (listing.outcome == purge::Listing::Listed) {
    const int objects = purge::remove_objects(session, kManagers);
    keep_failure(exit_code, objects);
    // The class goes only once its objects have gone.
    if (objects == purge::kDone) keep_failure(exit_code, purge::remove_manager_class(session));
  }
  for (const purge::Removal& removal : kMenusAndMethods)
    keep_failure(exit_code, purge::remove_objects(session, removal));
  return exit_code;
}

}  // namespace

int main() {
  tng::RepositorySession session("ORXPURGE");
  const int exit_code = purge_integration(session);
  session.close();
  return exit_code;
}
