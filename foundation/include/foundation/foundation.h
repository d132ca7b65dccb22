// Every facility of the foundation at once. A tool includes only the
// headers of the facilities it uses:
//   front_end.h   the command line and the prompts (FrontEndProfile)
//   session.h     the repository session and its queries
//   result_list.h a class query's result list read one object at a time
//                 (name and address kept for a walk), property texts
//   reclass.h     the reclass command line (ReclassCommand)
//   report.h      the messages of a query's outcome and of an object
//   lookahead_walk.h  the walk of the discovery tools, which asks the
//                 devices of the objects it has read ahead (a template)
#pragma once
#include "foundation/front_end.h"
#include "foundation/reclass.h"
#include "foundation/report.h"
#include "foundation/result_list.h"
#include "foundation/session.h"
