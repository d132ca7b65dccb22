#include "migration.h"

#include <cstdio>

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
  const WV_RC rc = TNGWV_Object_Delete(session.repository(), "Inclusion", session.criteria(), &deleted);
  if (rc != WV_OK)
    std::printf("TNGWV_Object_Delete fails! rc = %d\n", rc);
  else
    std::printf("\n%lu RemoteVistrel Inclusion object(s) deleted successfully.\n\n",
                static_cast<unsigned long>(deleted));
  session.end_pass();
}

}  // namespace

int run(const MigrationTool& tool, int argc, const char* const* argv) {
  const auto answers = tng::run_front_end(tool.profile, argc, argv);
  if (!answers) return kExitCode;
  print_lines(tool.banner);

  tng::RepositorySession session(tool.application);
  if (session.open_by_name(*answers) != tng::RepositorySession::Opened::Connected) return kExitCode;
  const tng::ReclassCommand reclass(*answers, tool.profile.reclass_fields);

  if (tool.removes_lights_out_inclusions) remove_lights_out_inclusions(session);

  tng::PassOutcome last = tng::PassOutcome::NotCompleted;
  for (const tng::ReclassRule& rule : tool.rules) last = tng::ClassPass(session, reclass, rule);
  if (last == tng::PassOutcome::Completed) print_lines(tool.closing);

  session.close();
  return kExitCode;
}

}  // namespace migration
