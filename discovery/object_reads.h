// Reads of the current object that the association's passes over the board
// list and the Unispace objects share: the next object of the pass's list,
// and the text form of an object's "uuid" value.
#pragma once
#include <string>

#include "foundation/session.h"
#include "run.h"

namespace orxdetect {

// The text form of the current object's "uuid" value; empty when the value
// cannot be converted. `bad` is printed when the text cannot be made.
std::string uuid_text(const tng::RepositorySession::Property& property, Run& run, To to,
                      const char* bad);

// Fetches the next object of the pass. False when there is none: `failed`
// tells whether the fetch failed (and was reported) or the list ended.
bool fetch_or_report(Run& run, bool& failed);

}  // namespace orxdetect
