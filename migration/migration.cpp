#include "migration.h"

#include <cstdio>
#include <string>

#include "foundation/reclass.h"
#include "foundation/report.h"
#include "foundation/session.h"
#include "platform/preview.h"

#include "foundation/progress.h"

namespace migration {
namespace {

constexpr int kExitCode = 1;

void print_lines(std::span<const char* const> lines) {
  for (const char* line : lines) std::fputs(line, stdout);
}

// Deletes the inclusion objects that tie lights-out boards into their
// Unispace container, as discovery makes them (sequence number 99 at both
// ends).
void remove_lights_out_inclusions(tng::RepositorySession& session) {
  std::fputs("\nOrvex_RemoteVistrel Inclusion object(s) will be deleted first.\n", stdout);
  if (WV_RC rc = session.allocate_criteria(20); rc != WV_OK) {
    std::printf("TNGWV_ObjectCriteria_Allocate fails! rc = %d\n", rc);
    return;
  }
  session.add_text_criterion("class_name", "Inclusion");
  session.add_text_criterion("parent_class", "Unispace");
  session.add_text_criterion("child_class", "Orvex_RemoteVistrel");
  session.add_integer_criterion("child_sequence_no", 99);
  session.add_integer_criterion("parent_sequence_no", 99);
  uint32_t deleted = 0;
  const WV_RC rc =
      TNGWV_Object_Delete(session.repository(), "Inclusion", session.criteria(), &deleted);
  if (rc != WV_OK)
    std::printf("TNGWV_Object_Delete fails! rc = %d\n", rc);
  else
    std::printf("\n%lu RemoteVistrel Inclusion object(s) deleted successfully.\n\n",
                static_cast<unsigned long>(deleted));
  session.end_pass();
}

enum class PassOutcome { Completed, NotCompleted };

// Moves every object of the rule's source class to its target class, one
// reclass run per object, with the pass messages.
PassOutcome class_pass(tng::Sink& console, tng::RepositorySession& session,
                       const tng::ReclassCommand& reclass, const ReclassRule& rule) {
  const auto query = session.query_class(rule.source, "name,label");
  if (!tng::report_query(console, rule.source, query)) {
    session.end_pass();
    return PassOutcome::NotCompleted;
  }
  tng::progress::pass(rule.source, query.count);
  const std::string before = "Device being reclassified as " + std::string(rule.label) + ": ";
  const tng::ObjectWording::Line name_line{before, "...\n"};
  PassOutcome outcome = PassOutcome::Completed;
  for (uint32_t index = 0; index < query.count; ++index) {
    const auto fetch = session.next_object();
    tng::progress::object();
    if (fetch.outcome == tng::RepositorySession::Fetch::End) break;
    if (fetch.outcome == tng::RepositorySession::Fetch::Failed) {
      tng::report_fetch_failed(console, fetch.rc);
      outcome = PassOutcome::NotCompleted;
      break;
    }
    const auto name = session.read_property("name");
    if (name.rc != WV_OK) break;
    reclass.run(rule.source, tng::report_name(console, name, name_line), rule.target);
  }
  session.end_pass();
  return outcome;
}

}  // namespace

int run(const MigrationTool& tool, int argc, char* const* argv) {
  const auto answers = tng::run_front_end(tool.profile, argc, argv);
  if (!answers) return kExitCode;
  tng::progress::start(false);
  tng::preview::begin();
  print_lines(tool.banner);

  tng::RepositorySession session(tool.application);
  if (session.open_by_name(*answers) != tng::RepositorySession::Opened::Connected) return kExitCode;
  const tng::ReclassCommand reclass(*answers, tool.profile.reclass_fields);

  if (tool.removes_lights_out_inclusions) remove_lights_out_inclusions(session);

  tng::Sink console;
  PassOutcome last = PassOutcome::NotCompleted;
  for (const ReclassRule& rule : tool.rules) last = class_pass(console, session, reclass, rule);
  if (last == PassOutcome::Completed) print_lines(tool.closing);

  session.close();
  return kExitCode;
}

}  // namespace migration
