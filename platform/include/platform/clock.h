// The time as the framework's records write it.
#pragma once
#include <string>

namespace tng::clock {

// The current time in UTC as "YYYY-MM-DDTHH:MM:SSZ".
std::string utc_now();

}  // namespace tng::clock
