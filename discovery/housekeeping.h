// Removal of stale objects: the inclusion links earlier runs made, and the
// VistrelManager objects the repository shows as absent.
#pragma once
#include "run.h"

namespace orxdetect {

// The values every inclusion object of a board link carries; the deletion of
// old links tests exactly these.
inline constexpr std::string_view kInclusionClass = "Inclusion";
inline constexpr std::string_view kInclusionParentClass = "Unispace";
inline constexpr std::string_view kInclusionChildClass = "Orvex_RemoteVistrel";
inline constexpr int32_t kInclusionSequenceNo = 99;

// Deletes the board links of earlier runs. False when the run's repository
// work must end.
bool delete_old_inclusions(Run& run);

// Deletes the VistrelManager objects whose status is absent.
void delete_absent_managers(Run& run);

}  // namespace orxdetect
