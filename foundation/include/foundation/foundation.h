// Every facility of the foundation at once. A tool includes only the
// headers of the facilities it uses:
//   front_end.h   the command line and the prompts (FrontEndProfile)
//   session.h     the repository session and its queries
//   read_ahead.h  objects read ahead of a walk, property texts
//   reclass.h     the reclass command line (ReclassCommand)
//   report.h      the messages of a query's outcome and of an object
//   lookahead.h   the look-ahead walk of the discovery tools
#pragma once
#include "foundation/front_end.h"
#include "foundation/read_ahead.h"
#include "foundation/reclass.h"
#include "foundation/report.h"
#include "foundation/session.h"
