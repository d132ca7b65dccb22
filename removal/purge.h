// The pieces the two integration removal tools share: opening the
// repository through the selection dialog, listing the VistrelManager
// objects, and deleting the objects of a class that meet one criterion.
// Messages that end in a return code are kept as the text before it.
#pragma once
#include <optional>

#include "foundation/front_end.h"
#include "foundation/session.h"

namespace purge {

// Exit codes, the same in both tools.
inline constexpr int kDone = 0;
inline constexpr int kKernelFailed = 1;
inline constexpr int kSelectFailed = 2;
inline constexpr int kNameFailed = 3;
inline constexpr int kConnectFailed = 4;  // also the first criteria allocation
inline constexpr int kStepFailed = 5;     // query, criteria for a deletion, class delete
inline constexpr int kDeleteFailed = 6;

inline constexpr const char* kManagerClass = "VistrelManager";

struct StartupMessages {
  const char* kernel;
  const char* select;
  const char* name;
  const char* connect;
};

// Starts the kernel, shows the selection dialog and connects, printing the
// failing step with its return code. Nothing when connected; otherwise the
// exit code the run ends with (kDone when the administrator cancelled).
std::optional<int> open(tng::RepositorySession& session, const StartupMessages& messages);

// The six lines that say what the tool is about to do.
void print_introduction();

enum class Listing {
  Listed,           // the objects were listed (the list may have ended early)
  NothingToDelete,  // no such class, or no objects in it
  Failed,           // criteria, query or fetch failed
};
struct ListingResult {
  Listing outcome;
  int exit_code;  // kDone, kConnectFailed (criteria) or kStepFailed (query)
};

// Queries the VistrelManager objects with `batch` per batch and prints them
// by number with their names.
ListingResult list_managers(tng::RepositorySession& session, int32_t batch);

// One deletion step: every object of a class whose property equals a value.
struct Removal {
  const char* class_name;
  const char* property;
  const char* value;
  const char* criteria_failed;  // text before the return code
  const char* delete_failed;    // text before the return code
  bool shows_count;             // the success text follows the number deleted
  const char* success;          // null: nothing is printed on success
};

// Runs one deletion step with fresh criteria; returns kDone, kStepFailed
// (criteria) or kDeleteFailed.
int remove_objects(tng::RepositorySession& session, const Removal& removal);

// Deletes the VistrelManager class itself; returns kDone or kStepFailed.
int remove_manager_class(tng::RepositorySession& session);

}  // namespace purge
