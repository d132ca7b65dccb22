// Fault injection for tests. TNG_FAULTS holds a comma-separated list of
// FUNCTION[@N]=RC: the N-th call (counted from 1 in this process; every call
// when @N is left out) of the named stand-in operation answers RC. Only the
// stand-ins under platform/ ask; the programs of the suite know nothing of it.
// The list is read and checked before main by the tng_faults_on object that
// every suite program links; the platform's own command tools do not link it
// and so always do their real work.
#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

namespace tng::faults {

// Counts one call of `operation` (a name of faults.def) and says whether a
// fault answers it, and with which code. Qualified names count on their own:
// a read of property P also counts as "ObjectPropertyGet/P".
std::optional<int32_t> hit(std::string_view operation);

// Whether TNG_FAULTS names `operation` (a name of faults.def), for any call
// or a numbered one. No call is counted.
bool named(std::string_view operation);

// The count K of an entry "GetRepositoryObject/count=K" (no call is counted).
std::optional<uint32_t> reported_count();

// Parses TNG_FAULTS and switches injection on. An unknown name or a bad entry
// is reported on stderr and ends the process with exit code 125.
void enable_from_environment();

}  // namespace tng::faults
