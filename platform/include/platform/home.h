// The framework's home folder, which every tool and `wvrepo setup` agree
// on: TNG_HOME when set, else .tng in the user's home folder (HOME, else the
// password database's entry for the user). Nothing when none of these names
// a folder: the caller refuses then.
#pragma once
#include <optional>
#include <string>

namespace tng::home {

std::optional<std::string> framework_home();

// The sentence a tool prints when framework_home() has nothing.
inline constexpr const char* kNoHome =
    "no framework home: neither TNG_HOME nor HOME is set and the user has no home folder";

}  // namespace tng::home
