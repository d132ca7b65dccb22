// The account of a long run on standard error: a progress line while the
// run goes on, and one summary line at its end. Standard output is never
// touched.
//
// A tool calls start() once its answers are in; the walks report through
// the hooks below, which do nothing before start(). The summary line is
// printed once, at the latest when the process exits (whatever path it
// takes to exit):
//
//   ClassLift: 9998 objects moved, 2 reclass runs failed (2 with exit code 2), 61.2 s
//   orxdetect: 12 objects moved, 0 reclass runs failed, 4 devices silent, 1.3 s
//
// The progress line is redrawn in place, at most ten times a second, only
// when console::status_line_possible() says so; otherwise nothing of it is
// written.
#pragma once
#include <cstdint>
#include <string_view>

namespace tng::progress {

// Begins the account: the program's name (platform/diag.h) leads every
// line; asks_devices adds the silent devices to the lines (the discovery
// tools).
void start(bool asks_devices);

// A pass over the objects of a class begins.
void pass(std::string_view class_name, uint32_t objects);
// One object of the current pass has been handled (or is being handled).
void object();
// A reclass run is about to start: the progress line is taken away, so that
// the child's own messages start on a line of their own.
void reclass_starting();
// A reclass run ended with this status (process::spawn_and_wait's: -1 when
// it could not be started). 0 is an object moved; anything else a failure.
void reclass_ended(int status);
// A device did not answer.
void silent_device();

// Prints the summary line now (once; later calls and the exit do nothing).
void finish();

}  // namespace tng::progress
