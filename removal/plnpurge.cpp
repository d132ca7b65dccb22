// plnpurge: removes the older Vistrel integration from a repository chosen
// in the selection dialog, interactively: it lists the VistrelManager
// objects, asks before deleting anything, and stops at the first failure.
#include <cstdio>

#include "platform/console.h"
#include "purge.h"

namespace {

constexpr purge::StartupMessages kStartup{
    .kernel = "TNGWV_Kernel_Start Fails! rc = ",
    .select = "TNGWV_RepositoryName_DisplaySelectDialog Fails! rc = ",
    .name = "TNGWV_RepositoryName_GetFirst Fails! rc = ",
    .connect = "TNGWV_Repository_Connect Repository Fails! rc = ",
};

constexpr const char* kCriteriaFailed = "TNGWV_ObjectCriteria_Allocate fails! rc = ";
constexpr const char* kDeleteFailed = "TNGWV_Object_Delete fails! rc = ";

constexpr purge::Removal kManagers{"VistrelManager",
                                   "class_name",
                                   "VistrelManager",
                                   kCriteriaFailed,
                                   kDeleteFailed,
                                   true,
                                   " VistrelManager object(s) deleted successfully.\n"};

// Removed after the class, in this order.
constexpr purge::Removal kMenusAndMethods[] = {
    {"Popup_Menu", "name", "TRMAgt", kCriteriaFailed, kDeleteFailed, true,
     " Integration menu object(s) were deleted successfully.\n"},
    {"Method", "name", "TRM", kCriteriaFailed, kDeleteFailed, false,
     "Integration method TRM was deleted successfully.\n"},
    {"Method", "name", "TRW", kCriteriaFailed, kDeleteFailed, false,
     "Integration method TRW was deleted successfully.\n"},
    {"Method", "name", "TRMXE", kCriteriaFailed, kDeleteFailed, false,
     "Integration method TRMXE was deleted successfully.\n"},
    {"Method", "name", "orvm7", kCriteriaFailed, kDeleteFailed, false,
     "Integration method ORVM7 was deleted successfully.\n"},
};

constexpr const char* kHitAnyKey = "Hit any key to continue\n";

bool confirmed() {
  std::fputs("Do you wish to delete these VistrelManager Objects, the\n", stdout);
  std::fputs("VistrelManager Class, and the menu items? (y=yes)\n", stdout);
  const auto key = tng::console::read_key();
  return key && *key == 'y';
}

// Everything up to the final release; returns the exit code.
int purge_integration(tng::RepositorySession& session) {
  if (const auto ended = purge::open(session, kStartup)) return *ended;

  purge::print_introduction();
  std::fputs(kHitAnyKey, stdout);
  tng::pause_for_any_key();

  const auto listing = purge::list_managers(session, 10);
  if (listing.outcome != purge::Listing::Listed) return listing.exit_code;
  if (!confirmed()) return purge::kDone;

  if (int code = purge::remove_objects(session, kManagers); code != purge::kDone) return code;
  if (int code = purge::remove_manager_class(session); code != purge::kDone) return code;
  for (const purge::Removal& removal : kMenusAndMethods)
    if (int code = purge::remove_objects(session, removal); code != purge::kDone) return code;
  return purge::kDone;
}

}  // namespace

int main() {
  tng::RepositorySession session("PLNPURGE");
  const int exit_code = purge_integration(session);
  session.close();
  std::fputs(kHitAnyKey, stdout);
  tng::pause_for_any_key();
  return exit_code;
}
