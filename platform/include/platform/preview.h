// A preview run: with TNG_PREVIEW=PLANFILE in the environment, a program
// that can preview (it calls begin() before it connects) runs as always,
// but on a private copy of its repository, and writes every change the run
// made there, in order, to PLANFILE: the plan, which `wvrepo plan apply`
// applies to the repository later, exactly, in one transaction.
//
// The copy is made at the program's first connection to the repository
// and named in the environment (TNG_PREVIEW_COPY=REPO=COPY), so that the
// reclass runs it starts open the copy too: the run sees its own changes,
// later passes included. The repository itself is left as it was. At the
// end of the run the plan is written in one step, one line on standard
// error tells how many changes it holds, and the copy is removed; a watcher
// process removes it when the run is ended otherwise (an interruption or a
// kill).
//
// A program that never calls begin() cannot connect to a repository while
// TNG_PREVIEW is set: a change it made would be neither previewed nor
// written to the plan.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tng::preview {

// One question put to a device, and its answer as received.
struct Question {
  std::string asked;   // what was asked, in words ("identification (server)")
  std::string oid;     // the object asked for, dotted
  std::string answer;  // see answer_text(); "no answer" when none came
};

// Why the run makes its next change: the device it asked, the questions
// with their answers, and the rule that decided.
struct Evidence {
  std::string address;  // the device address asked; empty when no device was asked
  std::vector<Question> questions;
  std::string rule_class;  // the class of the pass whose rule decided
  std::string rule_entry;  // the entry that decided, in words
  // Text properties of the object the decision rests on (its address):
  // `plan apply` refuses the change when one of them differs then.
  std::vector<std::pair<std::string, std::string>> read;
};

// Whether TNG_PREVIEW is set: the run is to be a preview.
bool requested();

// The program can preview; it calls this before its first connection. Its
// name (platform/diag.h) is written into the plan.
void begin();

// Whether this run previews and records its changes (begin() was called
// and TNG_PREVIEW is set).
bool active();

// The changes the run makes next (up to the next settle()) carry this
// evidence. Does nothing outside a preview.
void decide(Evidence evidence);

// A step that may have changed the repository outside this process (a
// reclass run) has ended: its changes are taken into the plan, with the
// evidence decided for them. Does nothing outside a preview.
void settle();

// Ends the preview: writes the plan, prints "preview: N changes written to
// PLANFILE" on standard error and removes the copy. Called before the run's
// summary line, and at the latest when the process exits; later calls do
// nothing.
void finish();

// Answers as a plan records them. `tag` is the ASN.1 tag of the value as
// it arrived: for integers, counters, gauges and time ticks `value` points
// to an int32_t; otherwise to `length` octets.
std::string answer_text(uint8_t tag, const void* value, uint32_t length);
// An answer with a non-zero error status: "error status 2 (noSuchName)".
std::string error_answer(int32_t error_status);
// The dotted text of an object identifier.
std::string oid_text(const uint32_t* ids, std::size_t count);

inline constexpr const char* kNoAnswer = "no answer";

}  // namespace tng::preview
