// The class check and the reclassification passes of a discovery run.
#pragma once
#include "rules.h"
#include "run.h"

namespace orxdetect {

// Checks that every Orvex class exists, printing the first missing one.
// False when the run must end.
bool check_orvex_classes(Run& run);

// Every pass of the rule table that runs in the run's mode, in order: each
// device of the pass's framework class is asked over SNMP and moved to the
// class of the first rule entry that holds.
void run_reclassification_passes(Run& run);

// How a pass over `class_name` starts: the query and its messages. True when
// objects were found (and the count line printed, when `print_count`).
bool begin_class_pass(Run& run, std::string_view class_name, const char* properties,
                      bool print_count = true);

}  // namespace orxdetect
